// Whole runs of the program and of its build that does every step of a level on its own
// (VRM_PLAIN_LEVEL_WORK), both with the evidence seeded alike, compared byte for byte: every file
// written, standard output (but for the whole seconds of the processing time), standard error and the
// exit status. The work a level keeps must change no output.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/program_run.h"

namespace levelwork {

struct RunInputs {
  std::string image1, image2, truth;  // the true field may be empty (no -GT)
  std::vector<std::string> options;   // the options every run of the set takes
};

// The output with the whole seconds of every "Processing time duration (sec): " line replaced by "N".
inline std::string maskedProcessingTime(std::string out) {
  const std::string key = "Processing time duration (sec): ";
  for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
    size_t end = at + key.size();
    while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
    out.replace(at + key.size(), end - at - key.size(), "N");
  }
  return out;
}

struct Run {
  ChildResult result;
  std::string dir;
  std::vector<std::string> files;
};

inline Run runIn(const std::string& program, const RunInputs& in, const std::vector<std::string>& extra) {
  Run r;
  r.dir = makeTempDir("level_work");
  EXPECT_TRUE(writeFileBytes(r.dir + "/list", in.image1 + "\n" + in.image2 + "\nout_\n" + in.truth + "\n\n"));
  std::vector<std::string> args = {"-inPath", "list"};
  args.insert(args.end(), in.options.begin(), in.options.end());
  args.insert(args.end(), extra.begin(), extra.end());
  r.result = runProgramAt(program, r.dir, args);
  r.files = listFolder(r.dir);
  return r;
}

// Both programs on the same inputs: the same outputs, byte for byte.
inline void expectSameRuns(const RunInputs& in, const std::vector<std::string>& extra, const std::string& what) {
  const Run kept = runIn(VRM_SEEDED_PROGRAM, in, extra);
  const Run plain = runIn(VRM_SEEDED_PLAIN_PROGRAM, in, extra);
  EXPECT_TRUE(kept.result.exited) << what;
  EXPECT_EQ(kept.result.exitCode, 0) << what << ": " << kept.result.err;
  EXPECT_EQ(kept.result.exitCode, plain.result.exitCode) << what;
  EXPECT_EQ(kept.result.err, plain.result.err) << what;
  EXPECT_EQ(maskedProcessingTime(kept.result.out), maskedProcessingTime(plain.result.out)) << what;
  EXPECT_EQ(kept.files, plain.files) << what;
  EXPECT_GT(kept.files.size(), 5u) << what;
  for (const std::string& f : kept.files)
    EXPECT_TRUE(readFileBytes(kept.dir + "/" + f) == readFileBytes(plain.dir + "/" + f)) << what << ": " << f;
  std::error_code ignored;
  std::filesystem::remove_all(kept.dir, ignored);
  std::filesystem::remove_all(plain.dir, ignored);
}

// The runs the level's kept work must leave unchanged: the default run, without evidence, the Horn &
// Schunck path, the L1 and Leclerc data terms, the divergence-free projection.
struct RunVariant {
  const char* name;
  std::vector<std::string> options;
};
inline const std::vector<RunVariant>& runSet() {
  static const std::vector<RunVariant> set = {{"Default", {}},
                                              {"NoEvidence", {"-nbItTrace", "0"}},
                                              {"HornAndSchunck", {"-HS", "true"}},
                                              {"L1", {"-norm", "1", "-sigma_obs", "10"}},
                                              {"Leclerc", {"-norm", "0", "-sigma_obs", "10"}},
                                              {"DivergenceFree", {"-divZero", "true"}}};
  return set;
}

inline void PrintTo(const RunVariant& v, std::ostream* os) { *os << v.name; }

// Parameterised over the run set, one test per run.
class LevelWorkRuns : public ::testing::TestWithParam<RunVariant> {};

inline std::string runName(const ::testing::TestParamInfo<RunVariant>& info) { return info.param.name; }

}  // namespace levelwork
