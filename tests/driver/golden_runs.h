// Whole runs pinned by their outputs: each run kind of the table below is run by the program with its
// evidence seeded (vrm_seeded_program) in a fresh folder holding copies of its inputs, and every file
// it writes, its standard output (whole seconds of the processing time masked), its standard error and
// its exit status are compared with the rows of tests/driver/golden_digests.txt, and its input files
// with what they held before it. A change that means to change values regenerates that table with
// scripts/regenerate_golden.sh and says so in its commit.
//
// The rows are SHA-256 digests of this platform's outputs (Debian 12, x86-64). The runs with the
// divergence-free projection go through FFTW, whose transforms pick their code by the processor's
// instruction set: their rows pin the text of each output exactly and its numbers instead of its bytes:
// each number of a small output to its last digits, each column of a motion table or PGM by sums that
// catch any change of one or two of its numbers by more than 4 units of the last digit in all
// (support/number_pins.h).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/hostile_files.h"
#include "support/number_pins.h"
#include "support/program_run.h"
#include "support/sha256.h"

namespace golden {

enum class Inputs { Examples, ExamplesTiff, Turbulence };

struct GoldenRun {
  const char* name;
  Inputs inputs;
  std::vector<std::string> options;  // the kind's own options, given before the common ones (the first counts)
  bool byValues;                     // pinned by its numbers instead of its bytes (see above)
};

inline void PrintTo(const GoldenRun& r, std::ostream* os) { *os << r.name; }
inline std::string runName(const ::testing::TestParamInfo<GoldenRun>& info) { return info.param.name; }

const std::string kExamples = std::string(VRM_SOURCE_DIR) + "/examples/";
const std::string kTurbulence = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_00001";
const std::string kTable = std::string(VRM_SOURCE_DIR) + "/tests/driver/golden_digests.txt";

inline bool turbulenceAvailable() {
  return std::filesystem::exists(kTurbulence + "_img1.pgm") && std::filesystem::exists(kTurbulence + "_img2.pgm") &&
         std::filesystem::exists(kTurbulence + "_flow.motion");
}

// An 8-bit PGM's pixels as a one-strip TIFF of the same size.
inline std::string tiffOfPgm(const std::string& pgm) {
  unsigned w = 0, h = 0, maxval = 0;
  int header = 0;
  if (std::sscanf(pgm.c_str(), "P5 %u %u %u%n", &w, &h, &maxval, &header) != 3 || maxval != 255) return "";
  TiffLayout t;
  t.width = w;
  t.height = h;
  t.pixels = pgm.substr(header + 1, (size_t)w * h);
  return tiffBytes(t);
}

// Copies of the inputs under names of their own (so that standard output does not depend on where the
// project lies), the list file, and the options every run of that input set takes.
inline std::vector<std::string> prepareInputs(Inputs inputs, const std::string& dir) {
  const bool tiff = inputs == Inputs::ExamplesTiff;
  const std::string from = inputs == Inputs::Turbulence ? kTurbulence + "_" : kExamples + "particles_";
  const std::string second = inputs == Inputs::Turbulence ? "img2.pgm" : "dt.pgm";
  const std::string first = inputs == Inputs::Turbulence ? "img1.pgm" : "t.pgm";
  const std::string ext = tiff ? ".tif" : ".pgm";
  auto image = [&](const std::string& name) {
    const std::string bytes = readFileBytes(from + name);
    return tiff ? tiffOfPgm(bytes) : bytes;
  };
  EXPECT_TRUE(writeFileBytes(dir + "/in_1" + ext, image(first)));
  EXPECT_TRUE(writeFileBytes(dir + "/in_2" + ext, image(second)));
  EXPECT_TRUE(writeFileBytes(dir + "/in_true.motion",
                             readFileBytes(inputs == Inputs::Turbulence ? kTurbulence + "_flow.motion"
                                                                        : kExamples + "particles_true.motion")));
  EXPECT_TRUE(writeFileBytes(dir + "/in_lambda.txt", readFileBytes(kExamples + "lambda_init.txt")));
  EXPECT_TRUE(writeFileBytes(dir + "/in_list", "in_1" + ext + "\nin_2" + ext + "\nout_\nin_true.motion\nin_lambda.txt\n"));
  std::vector<std::string> common = {"-inPath", "in_list", "-GT", "true"};
  if (!tiff) common.insert(common.end(), {"-pgm", "true"});
  if (inputs == Inputs::Turbulence) {
    common.insert(common.end(), {"-multiresol", "3"});
  } else {  // the whole example pair; a dual precision of 1e-6 keeps the runs short in every build
    common.insert(common.end(), {"-dx", "128", "-dy", "128", "-multiresol", "3", "-eps", "1e-6"});
  }
  return common;
}

inline std::string maskedProcessingTime(std::string out) {
  const std::string key = "Processing time duration (sec): ";
  for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
    size_t end = at + key.size();
    while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
    out.replace(at + key.size(), end - at - key.size(), "N");
  }
  return out;
}

// One row's pin of an output: "sha256\t<hex>", or with byValues its text and numbers (support/number_pins.h).
inline std::string pinOf(const std::string& name, const std::string& bytes, bool byValues) {
  return byValues ? pins::numbersPin(name, bytes) : "sha256\t" + sha256Hex(bytes);
}

// Empty when an output's pin matches the table's, else what differs.
inline std::string pinMismatch(const std::string& name, const std::string& got, const std::string& want) {
  if (want.rfind("numbers\t", 0) == 0) return pins::numbersMismatch(name, got, want);
  return got == want ? "" : "got  " + got + "\n  want " + want;
}

using Pins = std::map<std::string, std::string>;  // output name -> pin

// The table's rows of one run kind: "<run>\t<output>\t<pin>".
inline Pins tablePins(const std::string& run) {
  Pins pins;
  std::ifstream in(kTable);
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b != std::string::npos && line.compare(0, a, run) == 0 && a == run.size())
      pins[line.substr(a + 1, b - a - 1)] = line.substr(b + 1);
  }
  return pins;
}

// Runs one kind and checks its pins; with VRM_GOLDEN_WRITE set to a folder, writes its rows there as
// <run>.tsv instead (scripts/regenerate_golden.sh gathers them into the table).
inline void checkRun(const GoldenRun& run) {
  const std::string dir = makeTempDir("golden");
  std::vector<std::string> args = run.options;
  const std::vector<std::string> common = prepareInputs(run.inputs, dir);
  args.insert(args.end(), common.begin(), common.end());
  std::map<std::string, std::string> inputs;  // what the run is given, to be found unchanged after it
  for (const std::string& f : listFolder(dir)) inputs[f] = readFileBytes(dir + "/" + f);
  const ChildResult r = runProgramAt(VRM_SEEDED_PROGRAM, dir, args);
  ASSERT_TRUE(r.exited) << run.name;
  for (const auto& [name, bytes] : inputs)
    EXPECT_TRUE(readFileBytes(dir + "/" + name) == bytes) << run.name << ": the input " << name << " was changed by the run";

  Pins got;
  got["(exit status)"] = "status\t" + std::to_string(r.exitCode);
  got["(standard output)"] = pinOf("stdout", maskedProcessingTime(r.out), run.byValues);
  got["(standard error)"] = pinOf("stderr", r.err, run.byValues);
  for (const std::string& f : listFolder(dir))
    if (f.rfind("in_", 0) != 0) got[f] = pinOf(f, readFileBytes(dir + "/" + f), run.byValues);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);

  if (const char* out = std::getenv("VRM_GOLDEN_WRITE")) {
    std::ofstream rows(std::string(out) + "/" + run.name + ".tsv");
    for (const auto& [name, pin] : got) rows << run.name << '\t' << name << '\t' << pin << '\n';
    return;
  }
  const Pins want = tablePins(run.name);
  ASSERT_FALSE(want.empty()) << "no rows for " << run.name << " in " << kTable;
  for (const auto& [name, pin] : want) {
    const auto it = got.find(name);
    if (it == got.end()) {
      ADD_FAILURE() << run.name << ": " << name << " was not written";
    } else {
      const std::string mismatch = pinMismatch(name, it->second, pin);
      EXPECT_TRUE(mismatch.empty()) << run.name << ": " << name << ": " << mismatch;
    }
  }
  for (const auto& [name, pin] : got)
    if (!want.count(name)) ADD_FAILURE() << run.name << ": " << name << " written, not in the table";
}

class GoldenRuns : public ::testing::TestWithParam<GoldenRun> {};

}  // namespace golden
