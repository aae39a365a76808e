// Motion files: motion tables (exact text, round trip, refusals), the two other vector readers, the
// curve table, the binary field file (value code, saturation, header, failures) and a published true
// field against the flow file beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

using TextFiles = TempDirTest;

TEST_F(TextFiles, MotionTableExactBytes) {
  const std::string name = dir + "/f.motion", im = dir + "/im.motion";
  CImg<double> f(3, 2, 2, 1, 0.0);
  f(0, 0, 0) = 0.5, f(2, 0, 1) = -1.25;  // line 0: columns 0 and 2
  f(1, 1, 0) = 1e-7;                      // below the sixth decimal
  f(2, 1, 0) = 1.0 / 3;                   // printed from its single-precision value
  const ChildResult r = runInChild([&] { write_aMotionFile(name, f); });
  EXPECT_TRUE(r.exited && r.exitCode == 0);
  EXPECT_EQ(r.out, name + "\n");
  EXPECT_EQ(readFileBytes(name), "3 2\n#i\tj\tU\tV\n0\t0\t0.500000\t0.000000\n0\t1\t0.000000\t0.000000\n"
                                 "0\t2\t0.000000\t-1.250000\n1\t0\t0.000000\t0.000000\n"
                                 "1\t1\t0.000000\t0.000000\n1\t2\t0.333333\t0.000000\n");
  const float U[2] = {1, 2}, V[2] = {-1, -2}, Im[2] = {10, 20.5f};
  write_champ_im(U, V, Im, 2, 1, im);
  EXPECT_EQ(readFileBytes(im), "2 1\n#i\tj\tU\tV\tf\n0\t0\t1.000000\t-1.000000\t10.000000\n"
                               "0\t1\t2.000000\t-2.000000\t20.500000\n");
  const std::string bad = dir + "/missing_dir/x.motion";
  expectCantCreate(runInChild([&] { write_champ(U, V, 1, 1, bad); }), bad);
  expectCantCreate(runInChild([&] { write_champ_im(U, V, U, 1, 1, bad); }), bad);
}

// The table's numbers are what "%f" prints, for every kind of single-precision value: halfway cases
// of the sixth decimal (1/128 = 0.0078125), the largest magnitudes, both sides of 2^43 (where the
// integer formatting hands over to std::to_chars), signed zeros and small negative values, infinities
// and NaN, and a spread of magnitudes. Several blocks of output, so the buffered writing is crossed too.
TEST_F(TextFiles, MotionTableNumbersAreThoseOfPrintf) {
  std::vector<float> values = {0.0078125f, -0.0078125f, 0.0234375f, 2.5e-7f, 5e-7f, -5e-7f, 0.0f, -0.0f,
                               std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::min(), 1e-45f, 123456.789f, -9.9999995e-7f,
                               8796093022208.0f, -8796092497920.0f, 4.5e12f, -1e-7f, 0.4999995f, 2.5e-6f,
                               INFINITY, -INFINITY, NAN, -NAN};
  std::uint32_t state = 12345;
  while (values.size() < 6000) {
    state = state * 1664525u + 1013904223u;
    const float mantissa = (float)(state >> 8) / 16777216.0f - 0.5f;
    values.push_back(std::ldexp(mantissa, (int)(state % 61) - 30));
  }
  const short cols = 100, lines = (short)(values.size() / 2 / cols);
  const std::string name = dir + "/p.motion";
  captureStdout([&] { write_champ(values.data(), values.data() + cols * lines, cols, lines, name); });
  std::string expected = std::to_string(cols) + " " + std::to_string(lines) + "\n#i\tj\tU\tV\n";
  char line[200];
  for (int i = 0; i < lines; ++i)
    for (int j = 0; j < cols; ++j) {
      const long k = (long)i * cols + j;
      std::snprintf(line, sizeof line, "%hd\t%hd\t%f\t%f\n", (short)i, (short)j, values[k], values[k + cols * lines]);
      expected += line;
    }
  EXPECT_EQ(readFileBytes(name), expected);
}

TEST_F(TextFiles, MotionTableRoundTripWindowAndLongHeader) {
  const std::string name = dir + "/rt.motion";
  CImg<double> f(5, 4, 2, 1);
  cimg_forXY(f, x, y) f(x, y, 0) = 0.25 * x - 0.125 * y + 0.0625, f(x, y, 1) = -1.5 * y + 0.03125 * x;
  CImg<float> all, win;
  const std::string out = captureStdout([&] {
    write_aMotionFile(name, f);
    all = read_aMotionFile(name, 5, 4, 5, 0, 0);
    win = read_aMotionFile(name, 2, 2, 5, 3, 1);
  });
  EXPECT_EQ(out, name + "\n" + name + "\n" + name + "\n");
  ASSERT_TRUE(all.is_sameXYZC(5, 4, 2, 1) && win.is_sameXYZC(2, 2, 2, 1));
  cimg_forXYZ(all, x, y, z) EXPECT_NEAR(all(x, y, z), f(x, y, z), 5e-7) << x << "," << y << "," << z;
  EXPECT_TRUE(win == all.get_crop(3, 1, 4, 2));
  // A window reaching beyond the table, of which only a corner must lie inside: zero beyond the table.
  CImg<float> wide;
  captureStdout([&] { wide = read_aMotionFileWindow(name, 4, 4, 2, 3, 5, 2, 1); });
  ASSERT_TRUE(wide.is_sameXYZC(4, 4, 2, 1));
  cimg_forXYZ(wide, x, y, z) EXPECT_EQ(wide(x, y, z), x < 3 && y < 3 ? all(x + 2, y + 1, z) : 0.0f) << x << "," << y;
  // A header line longer than the buffer is skipped whole.
  const std::string longHead = file("long.motion", "2 1\n#" + std::string(250, 'x') + "\n0 0 1.5 2.5\n0 1 -3 4\n");
  captureStdout([&] { all = read_aMotionFile(longHead, 2, 1, 2, 0, 0); });
  EXPECT_EQ(valuesOf(all), (std::vector<double>{1.5, -3, 2.5, 4}));
}

// The pixel lines are read with the values fscanf's "%d %d %f %f" gives them, whatever their form:
// plain decimals of every length (halfway cases, subnormal and overflowing magnitudes, -0), blanks and
// tabs of every mix and "\r\n" line ends across many blocks; and forms the
// block scanner leaves to fscanf (exponents, '+', '.5', "1.", hexadecimal) from a line far into a file.
TEST_F(TextFiles, PixelLinesHoldWhatFscanfReads) {
  const char* odd[] = {"1e-3", "+2.5", ".5", "7.", "0x1.8p1", "1.17549435e-38", "-12345678.5e-2"};
  const char* plain[] = {"-0", "-0.000000", "0.00000000000000000000000000000000000000000000140129846432481707",
                         "340282346638528859811704183484516925440", "0.500000059604644775390625",
                         "0.50000005960464477539062500000000000000000001", "123456789"};
  const int cols = 7, lines = 1500;
  auto table = [&](int oddFrom) {
    std::uint32_t state = 99;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    std::string text = std::to_string(cols) + " " + std::to_string(lines) + "\n#i\tj\tU\tV\n";
    for (int k = 0; k < cols * lines; ++k) {
      const char* sep[] = {"\t", " ", "  \t", "\t ", " \t "};
      std::string u, v;
      for (std::string* x : {&u, &v}) {
        const std::uint32_t r = next();
        char num[80];
        if (r % 23 == 0)
          *x = k >= oddFrom ? odd[(r >> 8) % 7] : plain[(r >> 8) % 7];
        else
          std::snprintf(num, sizeof num, "%.*f", (int)((r >> 5) % 12),
                        std::ldexp((double)(r >> 12) - 524288.0, (int)((r >> 3) % 40) - 30)), *x = num;
      }
      const std::uint32_t r = next();
      text += std::to_string(k / cols) + (r % 11 == 0 ? sep[(r >> 4) % 5] : "\t") + std::to_string(k % cols) + "\t" +
              u + (r % 13 == 0 ? " \t " : "\t") + v;
      text += r % 17 == 0 ? "\r\n" : "\n";
    }
    return text;
  };
  for (const int oddFrom : {cols * lines, 8000}) {
    const std::string name = file("forms" + std::to_string(oddFrom) + ".motion", table(oddFrom));
    CImg<float> got;
    captureStdout([&] { got = read_aMotionFile(name, cols, lines, cols, 0, 0); });
    std::FILE* f = std::fopen(name.c_str(), "r");
    ASSERT_NE(f, nullptr);
    int i, j;
    ASSERT_EQ(std::fscanf(f, "%d %d", &i, &j), 2);
    for (int line = 0; line < 2; ++line)
      for (int ch; (ch = std::fgetc(f)) != EOF && ch != '\n';) {}
    std::vector<float> u(cols * lines), v(cols * lines);
    for (int k = 0; k < cols * lines; ++k) ASSERT_EQ(std::fscanf(f, "%d %d %f %f", &i, &j, &u[k], &v[k]), 4) << k;
    std::fclose(f);
    ASSERT_TRUE(got.is_sameXYZC(cols, lines, 2, 1));
    EXPECT_EQ(std::memcmp(got.data(0, 0, 0), u.data(), u.size() * sizeof(float)), 0) << oddFrom;
    EXPECT_EQ(std::memcmp(got.data(0, 0, 1), v.data(), v.size() * sizeof(float)), 0) << oddFrom;
  }
  // A fault far into the file is named as before: its pixel line, or where the file ends.
  const std::string head = "2 3000\n#i\tj\tU\tV\n";
  std::string body;
  size_t at5000 = 0;
  for (int k = 0; k < 6000; ++k) {
    if (k == 5000) at5000 = body.size();
    body += std::to_string(k / 2) + "\t" + std::to_string(k % 2) + "\t0.250000\t-1.500000\n";
  }
  std::string garbled = head + body;
  garbled.replace(garbled.rfind("0.250000", head.size() + at5000), 8, "0.2x0000");
  const std::string cut = file("cut.motion", head + body.substr(0, at5000 + 7));
  expectRefusal(runInChild([&] { read_aMotionFile(file("g.motion", garbled), 2, 3000, 2, 0, 0); }),
                {"pixel line 5000 does not parse"});
  expectRefusal(runInChild([&] { read_aMotionFile(cut, 2, 3000, 2, 0, 0); }), {"ends after 5000 of the 6000"});
}

TEST_F(TextFiles, BadMotionTablesEndTheRunWithOneLine) {
  const std::string head = "2 2\n#i\tj\tU\tV\n0\t0\t1\t1\n";
  const std::string good = file("good.motion", head + "0\t1\t1\t1\n1\t0\t1\t1\n1\t1\t1\t1\n");
  const std::string shortFile = file("short.motion", head + "0\t1\t1\t1\n1\t0\t1\t1\n");
  const std::string garbled = file("garbled.motion", head + "0\t1\tabc\t1\n1\t0\t1\t1\n1\t1\t1\t1\n");
  const std::string noSize = file("nosize.motion", "#i\tj\tU\tV\n");
  const struct { std::string file; int dx, dy, Dx, ofx, ofy; const char* problem; } cases[] = {
      {dir + "/absent.motion", 2, 2, 2, 0, 0, "cannot be opened"}, {shortFile, 2, 2, 2, 0, 0, "ends after 3 of the 4"},
      {garbled, 2, 2, 2, 0, 0, "pixel line 2 does not parse"}, {noSize, 2, 2, 2, 0, 0, "no column and line count"},
      {good, 2, 3, 2, 0, 0, "does not lie inside"},  // more lines than the table holds
      {good, 2, 2, 2, 1, 0, "does not lie inside"},  // beyond the right edge
      {good, 1, 1, 3, 0, 0, "columns, not the 3"},   // table narrower than asked
      {good, 1, 1, 2, -1, 0, "does not lie inside"}};
  for (const auto& c : cases)
    expectRefusal(runInChild([&] { read_aMotionFile(c.file, c.dx, c.dy, c.Dx, c.ofx, c.ofy); }), {c.file, c.problem});
  // The part of a wider window that must lie inside the table is still checked.
  expectRefusal(runInChild([&] { read_aMotionFileWindow(good, 4, 4, 2, 2, 2, 1, 0); }), {good, "does not lie inside"});
}

// The size line is read up to 4096 characters: a longer one is named as too long, whatever it holds.
TEST_F(TextFiles, MotionTableSizeLineOfAtMost4096Characters) {
  const std::string pixels = "#i\tj\tU\tV\n0\t0\t1.5\t-2\n0\t1\t3\t4\n";
  const struct { std::string sizeLine; const char* problem; } cases[] = {
      {"2 1" + std::string(4093, ' '), ""},
      {"2 1" + std::string(4092, ' ') + "\r", ""},
      {"2" + std::string(4094, '\t') + "1", ""},
      {"2 1" + std::string(4094, ' '), "line 1 is longer than 4096 characters"},
      {"128 128" + std::string(4090, ' '), "line 1 is longer than 4096 characters"},
      {std::string(5000, '7'), "line 1 is longer than 4096 characters"},
      {"2 1 " + std::string(4092, 'x'), "the first line holds more than the column and line count"}};
  for (const auto& c : cases) {
    const std::string f = file("size.motion", c.sizeLine + "\n" + pixels);
    if (*c.problem) {
      const ChildResult r = runInChild([&] { read_aMotionFile(f, 2, 1, 2, 0, 0); });
      expectRefusal(r, {});
      EXPECT_EQ(r.err, "read_aMotionFile: '" + f + "': " + c.problem + "\n") << c.sizeLine.size();
    } else {
      CImg<float> got;
      captureStdout([&] { got = read_aMotionFile(f, 2, 1, 2, 0, 0); });
      EXPECT_EQ(valuesOf(got), (std::vector<double>{1.5, 3, -2, 4})) << c.sizeLine.size();
    }
  }
}

// A read that fails is named as such, not as a first line without counts: /proc/self/mem is a file
// whose first bytes (address 0, never mapped) cannot be read.
TEST_F(TextFiles, MotionTableThatCannotBeReadIsNamedAsSuch) {
  if (access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem here";
  const ChildResult r = runInChild([] { read_aMotionFile("/proc/self/mem", 2, 1, 2, 0, 0); });
  expectRefusal(r, {});
  EXPECT_EQ(r.err, "read_aMotionFile: '/proc/self/mem': cannot be read on (Input/output error)\n");
}

// A read that fails after line 1 is named as such too, not taken for the end of the table: on line 2
// and on the pixel lines. The table is a terminal whose other end closes once the reader has read the
// lines written to it and waits for more: that waiting read fails (Input/output error). A read begun
// after the close would find the terminal hung up and read nothing, as at an end: hence the wait.
TEST_F(TextFiles, MotionTableThatCannotBeReadAfterLine1IsNamedAsSuch) {
  if (readFileBytes("/proc/self/syscall").empty()) GTEST_SKIP() << "no /proc/<pid>/syscall here";
  const std::string header = "4 4\n#i\tj\tU\tV\n";
  for (const std::string& written : {std::string("4 4\n"), header + "0\t0\t1\t1\n0\t1\t1\t1\n"}) {
    std::string terminal;
    const int master = openTerminalHolding(written, terminal);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminal here";
    bool waited = false;
    const ChildResult r = runInChild(
        [&] { close(master), read_aMotionFile(terminal, 4, 4, 4, 0, 0); },  // the parent's copy is the last open
        [&](pid_t reader) { waited = waitUntilReading(reader), close(master); });
    EXPECT_TRUE(waited) << written;
    expectRefusal(r, {});
    EXPECT_EQ(r.err, "read_aMotionFile: '" + terminal + "': cannot be read on (Input/output error)\n") << written;
  }
}

TEST_F(TextFiles, UVFileIsTurnedOver) {
  std::string text;  // 2 columns x 3 lines, column by column, y pointing up: value 10 x + y
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y)
      text += "7 8 " + std::to_string(10 * x + y) + " " + std::to_string(100 + 10 * x + y) + "\n";
  const std::string name = file("f.uv", text);
  CImg<float> f, w;
  EXPECT_EQ(captureStdout([&] { f = read_aUVFile(name, 2, 3, 2, 3, 0, 0), w = read_aUVFile(name, 1, 2, 2, 3, 1, 1); }),
            name + "\n" + name + "\n");
  EXPECT_EQ(valuesOf(f), (std::vector<double>{2, 12, 1, 11, 0, 10, -102, -112, -101, -111, -100, -110}));
  EXPECT_EQ(valuesOf(w), (std::vector<double>{11, 10, -111, -110}));
  expectRefusal(runInChild([&] { read_aUVFile(name, 2, 4, 2, 4, 0, 0); }), {name});  // 8 lines asked, 6 there
}

TEST_F(TextFiles, QuellorFileMeanRemovedNegatedOutsideLinesSkipped) {
  const std::string name = file("q.txt", "\t1 0 2 1\n\t0 1 3.5 -2\n"
                                         "\t5 0 9 9\n\t0 7 9 9\n\t-1 0 9 9\n"  // outside the grid
                                         "##\n\t0 0 9 9\n");                   // after the end marker
  CImg<float> f, g;
  EXPECT_EQ(captureStdout([&] { f = read_aUVQuellorFile(name, 2, 2, 2, 0, 0, 0.5); }), name + "\n");
  // Places that no line names keep the zeroed field (the mean is taken off read values only).
  EXPECT_EQ(valuesOf(f), (std::vector<double>{0, -1.5, -3, 0, 0, -1, 2, 0}));
  // Without the end marker the file ends the reading; a window offset shifts the result.
  const std::string open = file("open.txt", "\t1 1 4 5\n\t0 0 1 1");
  captureStdout([&] { g = read_aUVQuellorFile(open, 1, 1, 2, 1, 1, 0.0); });
  EXPECT_EQ(valuesOf(g), (std::vector<double>{-4, -5}));
  const std::string bad = file("bad.txt", "\t1 1 4 5\nnonsense\n##\n");
  expectRefusal(runInChild([&] { read_aUVQuellorFile(bad, 2, 2, 2, 0, 0, 0.0); }), {"line 2 does not parse"});
}

TEST_F(TextFiles, CurveTableOfTwentyColumnsRefusesAShortCurve) {
  CImg<double> c[20];
  std::string expected = "0", line1 = "1";
  for (int k = 0; k < 20; ++k) {
    c[k].assign(k == 19 ? 3 : 2, 1, 1, 1);  // a longer curve is cut to the first one's length
    cimg_forX(c[k], l) c[k](l) = (k + 1) * 10 + l;
    char buf[32];
    std::snprintf(buf, sizeof buf, " %e", (k + 1) * 10.0);
    expected += buf;
    std::snprintf(buf, sizeof buf, " %e", (k + 1) * 10.0 + 1);
    line1 += buf;
  }
  auto write = [&](const std::string& name) {
    write_SP(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14], c[15],
             c[16], c[17], c[18], c[19], dir + "/" + name);
  };
  write("sp.txt");
  EXPECT_EQ(readFileBytes(dir + "/sp.txt"), expected + "\n" + line1 + "\n");
  EXPECT_EQ(expected.substr(0, 28), "0 1.000000e+01 2.000000e+01 ");
  c[7].assign(1, 1, 1, 1, 0.0);
  expectRefusal(runInChild([&] { write("short.txt"); }), {"curve 8"});
  EXPECT_EQ(readFileBytes(dir + "/short.txt"), "");
}

// The published table against the binary flow file beside it (tag 202021.25, int32 width and height,
// then (u, v) float pairs row-major, in this machine's byte order).
TEST(ExternalMotionTable, MatchesFlowFileBeside) {
  const std::string base = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_00001_flow";
  struct stat st;
  if (stat((base + ".motion").c_str(), &st) != 0 || stat((base + ".flo").c_str(), &st) != 0)
    GTEST_SKIP() << "external data absent: " << base;
  std::ifstream in(base + ".flo", std::ios::binary);
  float tag = 0;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(in.read((char*)&tag, 4) && in.read((char*)&w, 4) && in.read((char*)&h, 4));
  ASSERT_EQ(tag, 202021.25f);
  ASSERT_TRUE(w == 256 && h == 256);
  std::vector<float> uv((size_t)2 * w * h);
  ASSERT_TRUE(in.read((char*)uv.data(), (std::streamsize)(uv.size() * sizeof(float))));
  CImg<float> all, win;
  const int dx = 100, dy = 60, ofx = 37, ofy = 150;
  captureStdout([&] { all = read_aMotionFile(base + ".motion", w, h, w, 0, 0); });
  captureStdout([&] { win = read_aMotionFile(base + ".motion", dx, dy, w, ofx, ofy); });
  ASSERT_TRUE(all.is_sameXYZC(w, h, 2, 1) && win.is_sameXYZC(dx, dy, 2, 1));
  double maxDiff = 0, maxAbs = 0;
  cimg_forXYZ(all, x, y, c) {
    const float ref = uv[2 * ((size_t)y * w + x) + c];
    maxDiff = std::max(maxDiff, (double)std::fabs(all(x, y, c) - ref));
    maxAbs = std::max(maxAbs, (double)std::fabs(ref));
  }
  EXPECT_LE(maxDiff, 5e-7 + 1e-6 * maxAbs);  // six decimals plus float rounding
  EXPECT_GT(maxAbs, 0.1);                    // a real field, not zeros
  EXPECT_TRUE(win == all.get_crop(ofx, ofy, ofx + dx - 1, ofy + dy - 1));
}

using FieldFile = TempDirTest;

// Writes the values as the u plane of a 1-line field; returns the u-plane bytes and sets the error code.
std::string encode(const std::string& f, const std::vector<float>& values, short* error) {
  const std::vector<float> zeros(values.size(), 0.0f);
  write_field(f, values.data(), zeros.data(), (short)values.size(), 1, error);
  return readFileBytes(f).substr(4, 2 * values.size());
}

TEST_F(FieldFile, ValueCodesSaturationAndReadBack) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct { float v; signed char e; int d; short error; } cases[] = {  // d -1: not checked
      {1.234f, 2, 46, 0},      {-0.5f, -1, 100, 0},    {0.0f, 1, 0, 0},        {-0.0f, 1, 0, 0},
      {126.5f, 127, 100, 0},   {-127.5f, -128, 100, 0}, {2.9999f, 3, 199, 0},  {126.99f, 127, -1, 0},
      {-127.99f, -128, -1, 0}, {127.0f, 127, 199, 3},  {500.0f, 127, 199, 3},  {inf, 127, 199, 3},
      {-128.0f, -128, 199, 3}, {-1e6f, -128, 199, 3},  {-inf, -128, 199, 3},   {nan, 1, 0, 3}};
  for (const auto& c : cases) {
    short error = -1;
    const std::string b = encode(dir + "/codes.bin", {c.v}, &error);
    EXPECT_EQ(error, c.error) << c.v;
    EXPECT_EQ((signed char)b[0], c.e) << c.v;
    EXPECT_TRUE(c.d < 0 || (unsigned char)b[1] == c.d) << c.v << ": " << (int)(unsigned char)b[1];
  }
  short error = -1;
  encode(dir + "/rb.bin", {1.234f, -0.5f, 0.0f, 126.5f, -127.5f}, &error);
  std::vector<float> u(5), v(5);
  read_field(dir + "/rb.bin", u.data(), v.data(), 5, 1, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(u, (std::vector<float>{1.23f, -0.5f, 0.0f, 126.5f, -127.5f}));
}

TEST_F(FieldFile, RoundTripTruncatesTowardZeroWithinHalfCentipixel) {
  std::vector<float> u, v;
  for (int k = -2530; k <= 2530; ++k) u.push_back(k * 0.05f + 0.0013f), v.push_back(-k * 0.0317f);
  const short n = (short)u.size();
  const std::vector<float> uCopy = u, vCopy = v;
  std::vector<float> ub(n), vb(n);
  short e1 = -1, e2 = -1;
  write_field(dir + "/rt.bin", u.data(), v.data(), n, 1, &e1);
  read_field(dir + "/rt.bin", ub.data(), vb.data(), n, 1, &e2);
  EXPECT_TRUE(e1 == 0 && e2 == 0);
  EXPECT_TRUE(u == uCopy && v == vCopy);  // the caller's buffers stay unchanged
  for (int k = 0; k < n; ++k) {
    EXPECT_LE(std::fabs(ub[k]), std::fabs(u[k]) + 1e-5f) << u[k];
    EXPECT_LT(std::fabs(ub[k] - u[k]), 0.005f + 1e-5f) << u[k];
    EXPECT_LT(std::fabs(vb[k] - v[k]), 0.005f + 1e-5f) << v[k];
  }
}

TEST_F(FieldFile, HeaderAndPermissions) {
  const std::string name = dir + "/h.bin";
  const std::vector<float> zeros(300 * 200, 0.0f);
  const mode_t old = umask(022);
  short e1 = -1, e2 = -1, col = 0, lig = 0;
  write_field(name, zeros.data(), zeros.data(), 300, 200, &e1);
  umask(old);
  const std::string bytes = readFileBytes(name);
  ASSERT_EQ(bytes.size(), 4u + 4u * 300 * 200);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\0\xc8\x01\x2c", 4));  // 200 lines, 300 = 256 + 44 columns
  read_entete_field(name, &col, &lig, &e2);
  EXPECT_TRUE(e1 == 0 && e2 == 0 && col == 300 && lig == 200);
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(FieldFile, FailuresReportThroughTheErrorArgument) {
  float u[4] = {1, 2, 3, 4}, v[4] = {5, 6, 7, 8};
  short e1 = 0, e2 = 0, e3 = 0, e4 = 0, col = 0, lig = 0;
  testing::internal::CaptureStderr();
  write_field(dir + "/no/such/dir.bin", u, v, 2, 2, &e1);
  read_entete_field(dir + "/absent.bin", &col, &lig, &e2);
  read_field(dir + "/absent.bin", u, v, 2, 2, &e3);
  write_field(dir + "/small.bin", u, v, 2, 1, &e4);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(e1 == 1 && e2 == 1 && e3 == 1 && e4 == 0);
  EXPECT_NE(err.find("fichier vecteurs"), std::string::npos) << err;
  EXPECT_NE(err.find("fichier vect."), std::string::npos) << err;
  // A file shorter than the planes asked for leaves both buffers untouched.
  testing::internal::CaptureStderr();
  read_field(dir + "/small.bin", u, v, 2, 2, &e1);
  const std::string err2 = testing::internal::GetCapturedStderr();
  EXPECT_EQ(e1, 4);
  EXPECT_NE(err2.find(dir + "/small.bin"), std::string::npos) << err2;
  EXPECT_TRUE(u[3] == 4.0f && v[0] == 5.0f);
}

TEST_F(FieldFile, ImageLevelWrappersAndWindow) {
  const std::string name = dir + "/f.xa";
  CImg<double> f(4, 3, 2, 1);
  cimg_forXYZ(f, x, y, z) f(x, y, z) = (z ? -1.0 : 1.0) * (x + 10 * y) * 0.5;
  CImg<float> all, win, missing, tooBig;
  EXPECT_EQ(captureStdout([&] {
              write_XAmotionH(name, f);
              all = lire_XAmotionH(name, 4, 3, 0, 0, 4, 3);
              win = lire_XAmotionH(name, 2, 1, 1, 2, 4, 3);
            }),
            "writing " + name + "\nreading file " + name + "\nreading file " + name + "\n");
  ASSERT_TRUE(all.is_sameXYZC(4, 3, 2, 1) && win.is_sameXYZC(2, 1, 2, 1));
  EXPECT_EQ(valuesOf(all), valuesOf(CImg<float>(f)));
  EXPECT_TRUE(win == all.get_crop(1, 2, 2, 2));
  // A reader failure gives the empty image after one line naming the file.
  testing::internal::CaptureStderr();
  captureStdout([&] {
    missing = lire_XAmotionH(dir + "/absent.xa", 2, 2, 0, 0, 2, 2);
    tooBig = lire_XAmotionH(name, 4, 4, 0, 0, 4, 4);  // the file holds 4 x 3
  });
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(missing.is_empty() && tooBig.is_empty());
  EXPECT_NE(err.find("lire_XAmotionH: '" + dir + "/absent.xa'"), std::string::npos) << err;
  EXPECT_NE(err.find("lire_XAmotionH: '" + name + "'"), std::string::npos) << err;
}

}  // namespace
