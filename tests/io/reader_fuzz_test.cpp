// A seeded mutation fuzzer over the readers of a run's input files: bit flips, truncations and
// insertions applied to the shipped example files (PGM image, TIFF images made from it, list file,
// motion table, multiplier file). Every case runs in a child process with a time limit; it must end
// either with a sound read (exit status 0, values checked) or with a refusal (exit status 1 and one
// line on standard error naming the file; for a PGM maxval, the historical message on standard
// output). A signal, a sanitizer report, a hang, another status or a second line is a fault, and so is
// a motion table or multiplier file read whose lines do not hold, by sscanf, the values read.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"
#include "support/hostile_files.h"

using namespace cimg_library;

namespace {

constexpr int kCasesPerReader = 300;
const std::string kExamples = std::string(VRM_SOURCE_DIR) + "/examples/";

bool finite(const float* p, size_t n) {
  for (size_t k = 0; k < n; ++k)
    if (!std::isfinite(p[k])) return false;
  return true;
}

// The numbers of the first `count` lines of a text file when each holds exactly `fields` numbers
// (sscanf's "%f" on each, nothing after them but white space) and ends with its line break (the last
// may lack it when `lastUnended`); empty when they do not. With `skipBlank`, lines of blanks, tabs
// and carriage returns only are passed over.
std::vector<float> lineNumbers(std::istream& in, int count, int fields, bool lastUnended, bool skipBlank = false) {
  std::vector<float> out;
  std::string line;
  for (int k = 0; k < count; ++k) {
    do
      if (!std::getline(in, line) || (in.eof() && !lastUnended)) return {};
    while (skipBlank && line.find_first_not_of(" \t\r") == std::string::npos);
    float x[4];
    int end = -1;
    const int got = fields == 2 ? std::sscanf(line.c_str(), "%f %f %n", &x[0], &x[1], &end)
                                : std::sscanf(line.c_str(), "%f %f %f %f %n", &x[0], &x[1], &x[2], &x[3], &end);
    if (got != fields || end != (int)line.size()) return {};
    out.insert(out.end(), x, x + fields);
  }
  return out;
}

class ReaderFuzz : public TempDirTest {
 protected:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // Mutates the seeds (taken in turn) kCasesPerReader times; `read` runs on each mutated file in a
  // child and returns false when what it read is not sound.
  void fuzz(const char* reader, const std::vector<std::string>& seeds, std::uint32_t seed,
            const std::function<bool(const std::string&)>& read) {
    std::mt19937 rng(seed);
    int sound = 0, refused = 0;
    std::vector<std::string> faults;
    const std::string path = dir + "/case";
    for (int i = 0; i < kCasesPerReader; ++i) {
      Mutation kind;
      ASSERT_TRUE(writeFileBytes(path, mutate(seeds[i % seeds.size()], rng, kind)));
      const ChildResult r = runInChild([&] {
        alarm(60);  // a hang ends as a signal, reported below
        if (!read(path)) _exit(3);
      });
      const bool oneLine = !r.err.empty() && r.err.find('\n') == r.err.size() - 1;
      const bool maxvalMessage = r.err.empty() && r.out.rfind("Can't read images " + path + " ", 0) == 0;
      if (r.exited && r.exitCode == 0 && r.err.empty())
        ++sound;
      else if (r.exited && r.exitCode == 1 && ((oneLine && r.err.find(path) != std::string::npos) || maxvalMessage))
        ++refused;
      else
        faults.push_back("case " + std::to_string(i) + " (" + mutationName(kind) + "): " +
                         (r.exited ? "exit status " + std::to_string(r.exitCode) : std::string("signal")) + ": " +
                         r.err.substr(0, 300));
    }
    std::printf("%s: %d cases, %d read soundly, %d refused, %zu faults\n", reader, kCasesPerReader, sound, refused,
                faults.size());
    for (const std::string& f : faults) ADD_FAILURE() << reader << " " << f;
  }
};

TEST_F(ReaderFuzz, PgmImage) {
  fuzz("PGM", {readFileBytes(kExamples + "particles_t.pgm")}, 1401, [](const std::string& f) {
    const CImg<short> im = read_pgm(f, 16, 16, 0, 0);
    return im.min() >= 0 && im.max() <= 1023;
  });
}

TEST_F(ReaderFuzz, TiffImage) {
  // 8-bit uncompressed, 16-bit LZW and float TIFFs of the example image, written by the image library.
  const CImg<double> im(read_pgm(kExamples + "particles_t.pgm", 64, 32, 0, 0));
  CImg<unsigned char>(im).save_tiff((dir + "/u8.tif").c_str());
  CImg<unsigned short>(im * 257.0).save_tiff((dir + "/u16.tif").c_str(), 1);
  CImg<float>(im / 255.0).save_tiff((dir + "/f32.tif").c_str());
  TiffLayout palette;  // and a palette file of its bytes as indices
  palette.width = 64, palette.height = 32, palette.photometric = 3;
  palette.pixels.assign((const char*)CImg<unsigned char>(im).data(), 64 * 32);
  for (int c = 0; c < 768; ++c) palette.colormap.push_back((std::uint16_t)(c * 85));
  const std::vector<std::string> seeds = {readFileBytes(dir + "/u8.tif"), readFileBytes(dir + "/u16.tif"),
                                          readFileBytes(dir + "/f32.tif"), tiffBytes(palette)};
  fuzz("TIFF", seeds, 1402, [](const std::string& f) {
    const CImg<double> t = read_tiff(f);
    if (t.width() > 32767 || t.height() > 32767 || t.depth() != 1 || t.spectrum() != 1) return false;
    cimg_for(t, p, double) if (!std::isfinite(*p)) return false;
    return true;
  });
}

TEST_F(ReaderFuzz, ListFile) {
  fuzz("list", {readFileBytes(kExamples + "inputVorlane")}, 1403, [](const std::string& f) {
    std::vector<std::string> lines = alloc_seqPath(5);
    read_path(f, 5, lines);
    for (const std::string& l : lines)
      if (l.size() > 4096 || (!l.empty() && l.back() == '\r')) return false;
    return true;
  });
}

TEST_F(ReaderFuzz, MotionTable) {
  // The size line, the header and the first sixteen lines of pixels, of which a window of 128 x 8
  // reads the first eight: a line lost or added there shifts the lines read instead of ending the file.
  const std::string table = readFileBytes(kExamples + "particles_true.motion");
  size_t end = 0;
  for (int line = 0; line < 2 + 16 * 128; ++line) end = table.find('\n', end) + 1;
  fuzz("motion table", {table.substr(0, end)}, 1404, [](const std::string& f) {
    const CImg<float> uv = read_aMotionFile(f, 128, 8, 128, 0, 0);
    if (!uv.is_sameXYZC(128, 8, 2, 1) || !finite(uv.data(), uv.size())) return false;
    // A table: its size line, a header, then its pixel lines with their own indices.
    std::ifstream in(f);
    std::string size, header;
    int cols = 0, rows = 0;
    std::getline(in, size), std::getline(in, header);
    if (std::sscanf(size.c_str(), "%d %d", &cols, &rows) != 2 || cols != 128 || rows < 8 || header[0] != '#') return false;
    const std::vector<float> said = lineNumbers(in, 1024, 4, false);
    if (said.empty()) return false;
    for (int k = 0; k < 1024; ++k)
      if (said[4 * k] != k / 128 || said[4 * k + 1] != k % 128 || std::memcmp(&said[4 * k + 2], uv.data(k), 4) != 0 ||
          std::memcmp(&said[4 * k + 3], uv.data(k % 128, k / 128, 1), 4) != 0)
        return false;
    return true;
  });
}

TEST_F(ReaderFuzz, MultiplierFile) {
  fuzz("multipliers", {readFileBytes(kExamples + "lambda_init.txt")}, 1405, [](const std::string& f) {
    CImg<double> lambda(5, 1, 1, 1, 0.0), cross(5, 1, 1, 1, 0.0);
    readLambdaInit(lambda, cross, f);
    std::ifstream in(f);
    const std::vector<float> said = lineNumbers(in, 5, 2, true, true);
    if (said.empty()) return false;
    for (int l = 0; l < 5; ++l)
      if (lambda(l) != said[2 * l] || cross(l) != said[2 * l + 1] || !std::isfinite(lambda(l) + cross(l)))
        return false;
    return true;
  });
}

}  // namespace
