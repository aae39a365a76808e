// The dual maximisation with the level's first increment left to it (computed only when used, its
// lines still first) against the one that is handed the first increment computed before: the same
// multipliers, increment, data weights, result and printout, bit for bit, for every data norm, with a
// truth and its projection, and when the first increment is needed after all. Both share one K41
// system for every callback (remembered solves, held systems).
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

#include "dual_test_util.h"
#include "support/child_process.h"

using namespace cimg_library;
using namespace dualtest;

namespace {

struct Outcome {
  CImg<double> lambda, lambda_cross, Xinc, data_out;
  double d = 0;
  std::string log;
  DualLevelWork work;
};

struct Settings {
  int nbIt = 10, norm = 2;
  double sigma_obs = 1.0;
  int offEdge = 0;
  bool truth = false, divZero = false;
};

// The driver's sequence for one level: the first increment from a zero start, then the maximisation.
Outcome maximise(const Level& L, bool keep, const Settings& o) {
  Outcome r;
  r.lambda = L.lambda;
  r.lambda_cross = L.lambda_cross;
  r.Xinc.assign(L.nc, L.nl, 2, 1, 0.0);
  r.data_out = L.data_out;
  const CImg<double> truth = o.truth ? L.trueUV : CImg<double>(L.nc, L.nl, 2, 1, 0.0);
  auto run = [&](DualLevelWork* work) {
    return optimizeDualFunction_LongK41(r.lambda, r.lambda_cross, r.Xinc, L.Xtil, truth, L.f_x, L.f_y, L.f_t,
                                        r.data_out, L.mask, 0, L.nombre, o.offEdge, L.nc, L.nl, o.norm, o.sigma_obs,
                                        L.gamma, L.zeta, 0.0f, L.neta, L.lo, 1e-3, o.nbIt, false, o.divZero, work);
  };
  const CImg<double> weights = L.data_out, lambda = L.lambda, lambda_cross = L.lambda_cross;
  testing::internal::CaptureStdout();
  if (keep) {
    r.work.firstIncrement = [&](CImg<double>& X) {
      K41LevelSystem first(L.Xtil, L.f_x, L.f_y, L.f_t, 0.0f, L.neta, L.lo, L.nombre);
      first.primalStep(X, weights, lambda, lambda_cross);
    };
    r.d = run(&r.work);
  } else {
    PrimalMinimizer_K41Long(r.Xinc, L.Xtil, L.f_x, L.f_y, L.f_t, weights, lambda, lambda_cross, 0.0f, L.neta, L.lo,
                            L.nombre);
    r.d = run(nullptr);
  }
  r.log = testing::internal::GetCapturedStdout();
  return r;
}

bool sameBits(const CImg<double>& a, const CImg<double>& b) {
  return a.is_sameXYZC(b) && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

void expectSame(const Outcome& plain, const Outcome& kept, const std::string& what) {
  EXPECT_TRUE(sameBits(plain.lambda, kept.lambda)) << what;
  EXPECT_TRUE(sameBits(plain.lambda_cross, kept.lambda_cross)) << what;
  EXPECT_TRUE(sameBits(plain.Xinc, kept.Xinc)) << what;
  EXPECT_TRUE(sameBits(plain.data_out, kept.data_out)) << what;
  EXPECT_EQ(std::memcmp(&plain.d, &kept.d, sizeof(double)), 0) << what << ": " << plain.d << " vs " << kept.d;
  EXPECT_EQ(plain.log, kept.log) << what;
}

// Runs in a fresh folder: with a truth, the iterations write their error maps into the working one.
class LevelWork : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(cwd_), 0);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  char cwd_[4096];
  const std::string dir_ = makeTempDir("level_work");
};

}  // namespace

TEST_F(LevelWork, KeptWorkGivesThePlainResultsForEveryNorm) {
  for (int norm : {2, 1, 0}) {
    Level L(20, 1, 2, 3, 0.3);
    Settings o;
    o.norm = norm;
    o.sigma_obs = 0.05;
    o.offEdge = 1;
    if (norm != 2) L.gamma *= 1e3;  // constraints nearly met from the start: re-weighting at once
    const Outcome plain = maximise(L, false, o), kept = maximise(L, true, o);
    const std::string what = "norm " + std::to_string(norm);
    expectSame(plain, kept, what);
    EXPECT_FALSE(kept.work.firstIncrementComputed) << what;
    EXPECT_EQ(kept.work.primal.steps, kept.work.primal.reusedSteps + kept.work.primal.solves) << what;
    EXPECT_GT(kept.work.primal.heldSystems, 0) << what;
    if (norm == 2) {
      // Every progress step follows an evaluation with the same multipliers and weights.
      EXPECT_GT(kept.work.primal.reusedSteps, 0) << what;
      EXPECT_NE(plain.log.find("Iteration 2:"), std::string::npos) << plain.log;
    } else {
      EXPECT_NE(plain.log.find("*"), std::string::npos) << what << ": " << plain.log;
    }
  }
}

TEST_F(LevelWork, KeptWorkGivesThePlainResultsWithATruthAndItsProjection) {
  for (bool divZero : {false, true}) {
    const Level L(16, 1, 3, 7);
    Settings o;
    o.truth = true;
    o.divZero = divZero;
    expectSame(maximise(L, false, o), maximise(L, true, o), divZero ? "projected" : "truth");
  }
}

TEST_F(LevelWork, FirstIncrementComesFirstWhenNoEvaluationRuns) {
  // No line-search trial allowed: the minimiser stops before evaluating, and the stored increment,
  // handed back, is the first one. Lags beyond half the grid make its step print.
  Level L(8, 1, 4, 2);
  Settings o;
  o.nbIt = 0;
  const Outcome plain = maximise(L, false, o), kept = maximise(L, true, o);
  expectSame(plain, kept, "no evaluation");
  EXPECT_TRUE(kept.work.firstIncrementComputed);
  EXPECT_EQ(kept.log.rfind("Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\nNumber of constraints", 0),
            0u)
      << kept.log;
}

TEST_F(LevelWork, FirstIncrementIsUsedWhenTheFirstSolveFails) {
  // A temporal derivative that is not a number: every solve breaks down, the first one included, and
  // its line comes before the maximisation's first line.
  Level L(12, 1, 2, 5);
  L.f_t(4, 6) = std::numeric_limits<double>::quiet_NaN();
  Settings o;
  o.nbIt = 3;
  const Outcome plain = maximise(L, false, o), kept = maximise(L, true, o);
  expectSame(plain, kept, "breakdown");
  EXPECT_TRUE(kept.work.firstIncrementComputed);
  EXPECT_EQ(kept.log.rfind("no convergence (output CGS 2)Number of constraints", 0), 0u) << kept.log;
}

TEST_F(LevelWork, HeldLinesComeOutAfterAFirstIncrementThatThrows) {
  Level L(12, 1, 2, 5);
  L.f_t(4, 6) = std::numeric_limits<double>::quiet_NaN();  // the first solve fails: the first increment is used
  DualLevelWork work;
  work.firstIncrement = [](CImg<double>&) {
    std::cout << "first increment\n";
    throw std::runtime_error("step failed");
  };
  CImg<double> lambda = L.lambda, lambda_cross = L.lambda_cross, Xinc(L.nc, L.nl, 2, 1, 0.0), data_out = L.data_out;
  testing::internal::CaptureStdout();
  EXPECT_THROW(optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, L.Xtil, CImg<double>(L.nc, L.nl, 2, 1, 0.0),
                                            L.f_x, L.f_y, L.f_t, data_out, L.mask, 0, L.nombre, 0, L.nc, L.nl, 2, 1.0,
                                            L.gamma, L.zeta, 0.0f, L.neta, L.lo, 1e-3, 3, false, false, &work),
               std::runtime_error);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.rfind("first increment\nNumber of constraints in scale interval= 4\n.no convergence", 0), 0u) << log;
}
