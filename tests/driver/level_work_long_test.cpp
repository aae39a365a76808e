// The work a level keeps changes no output, on full-size runs: the program and its plain build on the
// first turbulence pair of the external data (-pgm true -GT true -multiresol 3; skipped when the data
// is absent) and on the example particle pair (as scripts/demo.sh runs it), for every run of the set,
// compared byte for byte.
#include <sys/stat.h>

#include "level_work_runs.h"

using namespace levelwork;

namespace {

const std::string kDns = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_00001";
const std::string kExamples = std::string(VRM_SOURCE_DIR) + "/examples/";

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST_P(LevelWorkRuns, TurbulencePairRunIsByteIdentical) {
  if (!exists(kDns + "_img1.pgm") || !exists(kDns + "_img2.pgm") || !exists(kDns + "_flow.motion"))
    GTEST_SKIP() << "external data not found: " << kDns;
  const RunInputs dns{kDns + "_img1.pgm", kDns + "_img2.pgm", kDns + "_flow.motion",
                      {"-pgm", "true", "-GT", "true", "-multiresol", "3"}};
  expectSameRuns(dns, GetParam().options, GetParam().name);
}

TEST_P(LevelWorkRuns, ExampleRunIsByteIdentical) {
  const RunInputs examples{kExamples + "particles_t.pgm", kExamples + "particles_dt.pgm",
                           kExamples + "particles_true.motion",
                           {"-pgm", "true", "-dx", "128", "-dy", "128", "-multiresol", "3", "-GT", "true"}};
  expectSameRuns(examples, GetParam().options, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(FullSize, LevelWorkRuns, ::testing::ValuesIn(runSet()), runName);
