// The work a level keeps changes no output: the program and its plain build on a 64 x 64 window of the
// example particle pair (two levels, dual precision 1e-6 so that the runs stay short), for every run of
// the set, compared byte for byte.
#include "level_work_runs.h"

using namespace levelwork;

namespace {

const std::string kExamples = std::string(VRM_SOURCE_DIR) + "/examples/";

RunInputs exampleWindow() {
  return {kExamples + "particles_t.pgm", kExamples + "particles_dt.pgm", kExamples + "particles_true.motion",
          {"-pgm", "true", "-dx", "64", "-dy", "64", "-Dx", "128", "-Dy", "128", "-ofx", "32", "-ofy", "16",
           "-multiresol", "2", "-eps", "1e-6", "-GT", "true"}};
}

}  // namespace

TEST_P(LevelWorkRuns, SmallWindowRunIsByteIdentical) { expectSameRuns(exampleWindow(), GetParam().options, GetParam().name); }

INSTANTIATE_TEST_SUITE_P(ExampleWindow, LevelWorkRuns, ::testing::ValuesIn(runSet()), runName);
