// Every value of a run pinned, on the first turbulence pair of the external data (256 x 256, three
// levels; skipped when the data is absent), for each kind of run below; see golden_runs.h.
#include "golden_runs.h"

using namespace golden;

namespace {

const std::vector<GoldenRun> kRuns = {
    {"TurbulenceDefault", Inputs::Turbulence, {}, false},
    {"TurbulenceNoEvidence", Inputs::Turbulence, {"-nbItTrace", "0"}, false},
    {"TurbulenceHornAndSchunck", Inputs::Turbulence, {"-HS", "true", "-alpha", "100"}, false},
    {"TurbulenceSquareLaw", Inputs::Turbulence, {"-power", "2", "-gamma", "3e-3", "-nbItTrace", "0"}, false},
    {"TurbulenceL1", Inputs::Turbulence, {"-norm", "1", "-sigma_obs", "10"}, false},
    {"TurbulenceLeclerc", Inputs::Turbulence, {"-norm", "0", "-sigma_obs", "10"}, false},
    {"TurbulenceDivergenceFree", Inputs::Turbulence, {"-divZero", "true"}, true},
};

}  // namespace

TEST_P(GoldenRuns, OutputsMatchTheTable) {
  if (!turbulenceAvailable()) GTEST_SKIP() << "external data not found: " << kTurbulence;
  checkRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Turbulence, GoldenRuns, ::testing::ValuesIn(kRuns), runName);
