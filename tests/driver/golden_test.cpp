// Every value of a run pinned, on the example particle pair (128 x 128, three levels), for each kind
// of run below; see golden_runs.h.
#include "golden_runs.h"

using namespace golden;

namespace {

const std::vector<GoldenRun> kRuns = {
    {"Default", Inputs::Examples, {}, false},
    {"NoEvidence", Inputs::Examples, {"-nbItTrace", "0"}, false},
    {"HornAndSchunck", Inputs::Examples, {"-HS", "true"}, false},
    {"L1", Inputs::Examples, {"-norm", "1"}, false},
    {"Leclerc", Inputs::Examples, {"-norm", "0", "-sigma_obs", "10"}, false},
    {"DivergenceFree", Inputs::Examples, {"-divZero", "true"}, true},
    {"HornAndSchunckCoarse", Inputs::Examples, {"-initHS", "true"}, false},
    {"Diffusion", Inputs::Examples, {"-sigDiff", "0.1"}, false},
    {"Blur", Inputs::Examples, {"-sigBlur", "1"}, false},
    {"ScaleInterval", Inputs::Examples, {"-neta", "2", "-lo", "6"}, false},
    {"CoarseEnd", Inputs::Examples, {"-multiresol", "4", "-resolEnd", "2"}, false},
    {"MultiplierFile", Inputs::Examples, {"-lambdaInitFile", "true", "-Umean", "0.5"}, false},
    {"Tiff", Inputs::ExamplesTiff, {}, false},
    {"PaddedWindow", Inputs::Examples,
     {"-dx", "64", "-dy", "64", "-Dx", "128", "-Dy", "128", "-ofx", "32", "-ofy", "16", "-multiresol", "2"}, false},
};

}  // namespace

TEST_P(GoldenRuns, OutputsMatchTheTable) { checkRun(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Examples, GoldenRuns, ::testing::ValuesIn(kRuns), runName);
