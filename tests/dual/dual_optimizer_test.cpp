// Dual maximisation by L-BFGS: the callbacks, the driver and its failure paths.
#include "dual/dual.h"
#include "dual/lbfgs_guard.h"
#include "dual/variables_lbfgs.h"
#include "primal/primal.h"
#include "support/child_process.h"
#include "support/smooth_level.h"

#include <gtest/gtest.h>
#include <lbfgs.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace cimg_library;

namespace {

// Values that survive the single-precision copies of the shared state unchanged.
CImg<double> floatExact(const CImg<double>& im) { return CImg<double>(CImg<float>(im)); }

// A synthetic level (exactly linear data term of a vortex motion), a zero carried field, unit data
// weights and multipliers, and a first increment from one primal step.
struct SyntheticLevel {
  int nc, nl, neta, lo;
  CImg<double> f_x, f_y, f_t, Xtil, Xinc, trueUV, data_out, mask, lambda, lambda_cross;
  double gamma, zeta = 2.0 / 3;
  int nombre = 0;

  SyntheticLevel(int n, int neta_, int lo_, unsigned seed = 1) : nc(n), nl(n), neta(neta_), lo(lo_) {
    const SmoothMotionLevel level = makeSmoothMotionLevel(n, n, seed);
    f_x = level.f_x;
    f_y = level.f_y;
    f_t = level.f_t;
    trueUV = level.trueUV;
    Xtil.assign(nc, nl, 2, 1, 0.0);
    data_out.assign(nc, nl, 1, 1, 1.0);
    mask.assign(nc, nl, 1, 1, 1.0);
    lambda.assign(lo + 1, 1, 1, 1, 0.0);
    lambda_cross.assign(lo + 1, 1, 1, 1, 0.0);
    for (int l = 0; l <= lo; ++l) {
      lambda[l] = 1.0;
      lambda_cross[l] = 1.0;
    }
    gamma = StructureFunction2nd_horiVertDir(trueUV, 1, 1, false)[1];
    testing::internal::CaptureStdout();
    nombre = NumberNonZeroElementInHessian_K41Long(f_x, f_y, data_out, lambda, lambda_cross, 0.0f, neta, lo);
    Xinc.assign(nc, nl, 2, 1, 0.0);
    PrimalMinimizer_K41Long(Xinc, Xtil, f_x, f_y, f_t, data_out, lambda, lambda_cross, 0.0f, neta, lo, nombre);
    testing::internal::GetCapturedStdout();
    Xinc = floatExact(Xinc);
  }

  // Runs the dual maximisation on copies; the outputs land in the *_out members.
  CImg<double> lambda_out, lambda_cross_out, Xinc_out, data_out_out;
  std::string log;
  double run(int nbIt, int norm = 2, double sigma_obs = 1.0, int offEdge = 0, bool withTruth = false,
             bool divZero = false, double eps = 1e-3) {
    lambda_out = lambda;
    lambda_cross_out = lambda_cross;
    Xinc_out = Xinc;
    data_out_out = data_out;
    const CImg<double> noTruth(nc, nl, 2, 1, 0.0);
    testing::internal::CaptureStdout();
    const double d = optimizeDualFunction_LongK41(lambda_out, lambda_cross_out, Xinc_out, Xtil,
                                                  withTruth ? trueUV : noTruth, f_x, f_y, f_t, data_out_out, mask, 0,
                                                  nombre, offEdge, nc, nl, norm, sigma_obs, gamma, zeta, 0.0f, neta,
                                                  lo, eps, nbIt, false, divZero);
    log = testing::internal::GetCapturedStdout();
    return d;
  }
};

std::string afterLast(const std::string& s, const std::string& key) {
  const size_t p = s.rfind(key);
  return p == std::string::npos ? "" : s.substr(p + key.size());
}

// The objective at x through the evaluation callback on a fresh state of the level.
double objective(const SyntheticLevel& L, const std::vector<double>& x, std::vector<double>& g, int norm = 2) {
  LbfgsSharedState s;
  dual_detail::loadSharedState(s, L.Xinc, L.Xtil, CImg<double>(L.nc, L.nl, 2, 1, 0.0), L.f_x, L.f_y, L.f_t,
                               L.data_out, L.mask, 0, L.nombre, 0, L.nc, L.nl, norm, 1.0, L.gamma, L.zeta, 0.0f, L.neta,
                               L.lo, false, false);
  dual_detail::SharedStateScope active(s);
  g.assign(x.size(), 0.0);
  testing::internal::CaptureStdout();
  const double fx = dual_detail::evaluate(nullptr, x.data(), g.data(), (int)x.size(), 0.0);
  testing::internal::GetCapturedStdout();
  s.guard.rethrowPending();
  return fx;
}

}  // namespace

TEST(DualOptimizer, VariableCount) {
  EXPECT_EQ(dual_detail::dualVariableCount(1, 10), 18);
  EXPECT_EQ(dual_detail::dualVariableCount(1, 1), 2);
  EXPECT_EQ(dual_detail::dualVariableCount(1, 2), 4);
}

TEST(DualOptimizer, GradientIsTwiceTheDerivativeOfTheObjective) {
  const SyntheticLevel L(16, 1, 2);
  const std::vector<double> x0 = {0.8, 1.3, 0.6, 1.1};
  std::vector<double> g, gp, gm;
  objective(L, x0, g);
  for (size_t i = 0; i < x0.size(); ++i) {
    const double h = 1e-3;
    std::vector<double> xp = x0, xm = x0;
    xp[i] += h;
    xm[i] -= h;
    const double fd = (objective(L, xp, gp) - objective(L, xm, gm)) / (2 * h);
    EXPECT_NEAR(g[i], 2 * fd, 1e-3 * std::max(1.0, std::fabs(g[i]))) << "variable " << i;
  }
}

TEST(DualOptimizer, NoLineSearchTrialsLeavesEverythingAsPassed) {
  SyntheticLevel L(16, 1, 2);
  L.data_out = floatExact(CImg<double>(L.nc, L.nl).rand(0.5, 1.0));
  const double d = L.run(0);
  EXPECT_NE(L.log.find("Number of constraints in scale interval= 4\n"), std::string::npos);
  EXPECT_NE(L.log.find("\n L-BFGS optimization terminated with status code = -1007\n"), std::string::npos);
  EXPECT_NE(L.log.find("w(lambda) = nan, constraints AbsDev = "), std::string::npos);
  EXPECT_NE(L.log.find("lambdaHV_1 = 1, lambdaHV_2 = 1, ;\nlambdaD_1.41421 = 1, lambdaD_2.82843 = 1, \n w(lambda) = "),
            std::string::npos)
      << L.log;
  EXPECT_GT(L.log.find('.'), L.log.find("lambdaD_1.41421"));  // no evaluation mark before it
  for (int l = 0; l <= L.lo; ++l) {
    EXPECT_EQ(L.lambda_out[l], L.lambda[l]);
    EXPECT_EQ(L.lambda_cross_out[l], L.lambda_cross[l]);
  }
  EXPECT_TRUE(L.Xinc_out == L.Xinc);
  EXPECT_TRUE(L.data_out_out == L.data_out);
  EXPECT_EQ(d, ConstraintsAbsDevLong(L.Xtil + L.Xinc, L.gamma, L.zeta, L.neta, L.lo));
}

TEST(DualOptimizer, RaisesTheDualAndHandsBackTheAcceptedPoint) {
  for (int nbIt : {1, 2, 10}) {
    SyntheticLevel L(32, 1, 3);
    std::vector<double> x0, g;
    for (int l = 1; l <= 3; ++l) x0.push_back(L.lambda[l]);
    for (int l = 1; l <= 3; ++l) x0.push_back(L.lambda_cross[l]);
    const double wStart = -objective(L, x0, g);

    const double d = L.run(nbIt);
    const std::string closing = afterLast(L.log, "\n w(lambda) = ");
    ASSERT_FALSE(closing.empty()) << L.log;
    double wEnd = 0, dev = 0;
    ASSERT_EQ(std::sscanf(closing.c_str(), "%lf, constraints AbsDev = %lf", &wEnd, &dev), 2);
    const int status = std::stoi(afterLast(L.log, "status code = "));
    std::printf("max_linesearch %d: status %d, w %g -> %g, deviation %g\n", nbIt, status, wStart, wEnd, d);
    EXPECT_GE(wEnd, wStart - 1e-6 * std::fabs(wStart));
    EXPECT_EQ(d, ConstraintsAbsDevLong(L.Xtil + L.Xinc_out, L.gamma, L.zeta, L.neta, L.lo));
    EXPECT_NEAR(dev, d, 1e-6 * d);

    // The increment handed back is the primal solution at the multipliers handed back.
    CImg<double> X(L.nc, L.nl, 2, 1, 0.0);
    testing::internal::CaptureStdout();
    const bool failed = PrimalMinimizer_K41Long(X, L.Xtil, L.f_x, L.f_y, L.f_t, L.data_out_out, L.lambda_out,
                                                L.lambda_cross_out, 0.0f, L.neta, L.lo, L.nombre);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(failed);
    EXPECT_TRUE(floatExact(X) == L.Xinc_out) << "max_linesearch " << nbIt;
  }
}

TEST(DualOptimizer, RobustReweightingStoresFramedWeights) {
  SyntheticLevel L(24, 1, 2);
  L.gamma *= 1e3;  // constraints "nearly met" from the start: re-weighting at once
  L.run(5, 1, 0.05, 2);
  EXPECT_NE(L.log.find("*+"), std::string::npos);
  cimg_forXY(L.data_out_out, x, y) {
    const bool frame = x < 2 || x >= L.nc - 2 || y < 2 || y >= L.nl - 2;
    if (frame)
      EXPECT_EQ(L.data_out_out(x, y), 0.0);
    else {
      EXPECT_GT(L.data_out_out(x, y), 0.0);
      EXPECT_LE(L.data_out_out(x, y), 1.0);
    }
  }
}

TEST(DualOptimizer, QuadraticNormNeverReweights) {
  SyntheticLevel L(16, 1, 2);
  L.gamma *= 1e3;
  L.run(5, 2);
  EXPECT_EQ(L.log.find('*'), std::string::npos);
  EXPECT_TRUE(L.data_out_out == L.data_out);
}

TEST(DualOptimizer, GroundTruthReportAtEveryIteration) {
  const std::string dir = makeTempDir("dual_truth");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  SyntheticLevel L(16, 1, 2);
  L.run(5, 2, 1.0, 0, true, true);
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_NE(L.log.find("Iteration 1:"), std::string::npos) << L.log;
  EXPECT_NE(L.log.find("End Point Error :"), std::string::npos);
  EXPECT_FALSE(readFileBytes(dir + "/toBeErasedBarron.pgm").empty());
  EXPECT_FALSE(readFileBytes(dir + "/toBeErasedEndPoint.pgm").empty());
}

TEST(DualOptimizer, ExceptionInsideTheMinimiserIsRethrownAfterIt) {
  // The display mode needs a window, which this build cannot open.
  SyntheticLevel L(12, 1, 1);
  CImg<double> lambda = L.lambda, lambda_cross = L.lambda_cross, Xinc = L.Xinc, data_out = L.data_out;
  cimg::exception_mode(0);
  testing::internal::CaptureStdout();
  EXPECT_THROW(optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, L.Xtil, CImg<double>(12, 12, 2, 1, 0.0),
                                            L.f_x, L.f_y, L.f_t, data_out, L.mask, 0, L.nombre, 0, 12, 12, 2, 1.0,
                                            L.gamma, L.zeta, 0.0f, 1, 1, 1e-3, 5, true, false),
               CImgException);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(lambda == L.lambda);
  EXPECT_TRUE(Xinc == L.Xinc);
  EXPECT_TRUE(data_out == L.data_out);
  // The state was released: a second run works.
  EXPECT_TRUE(std::isfinite(L.run(3)));
}

namespace {
dual_detail::LbfgsGuard toyGuard;
int toyEvaluations = 0, toyThrowAt = 0, toyProgressThrowAt = 0, toyProgressCalls = 0;

lbfgsfloatval_t toyEvaluate(void*, const lbfgsfloatval_t* x, lbfgsfloatval_t* g, const int n,
                            const lbfgsfloatval_t) {
  return dual_detail::guardedEvaluate(toyGuard, g, n, [&] {
    if (++toyEvaluations == toyThrowAt) throw std::runtime_error("evaluation failed");
    double f = 0;
    for (int i = 0; i < n; ++i) {
      f += (i + 1) * (x[i] - 1) * (x[i] - 1);
      g[i] = 2 * (i + 1) * (x[i] - 1);
    }
    return f;
  });
}

int toyProgress(void*, const lbfgsfloatval_t*, const lbfgsfloatval_t*, const lbfgsfloatval_t,
                const lbfgsfloatval_t, const lbfgsfloatval_t, const lbfgsfloatval_t, int, int, int) {
  return dual_detail::guardedProgress(toyGuard, [&] {
    if (++toyProgressCalls == toyProgressThrowAt) throw std::logic_error("report failed");
  });
}

int runToy(int throwAt, int progressThrowAt) {
  toyGuard = dual_detail::LbfgsGuard();
  toyEvaluations = toyProgressCalls = 0;
  toyThrowAt = throwAt;
  toyProgressThrowAt = progressThrowAt;
  double x[5] = {3, -2, 0, 7, 1.5}, fx = 0;
  lbfgs_parameter_t p;
  lbfgs_parameter_init(&p);
  p.linesearch = LBFGS_LINESEARCH_BACKTRACKING_STRONG_WOLFE;
  return lbfgs(5, x, &fx, toyEvaluate, toyProgress, nullptr, &p);
}
}  // namespace

TEST(LbfgsGuard, StopsTheMinimiserAndKeepsTheException) {
  EXPECT_EQ(runToy(0, 0), 0);  // converges without failures
  EXPECT_FALSE(toyGuard.failed());

  for (int at : {1, 2, 4}) {
    runToy(at, 0);
    EXPECT_TRUE(toyGuard.failed());
    EXPECT_LE(toyEvaluations, at + 1) << at;  // at most one further (ignored) call
    EXPECT_THROW(toyGuard.rethrowPending(), std::runtime_error);
  }
  runToy(0, 2);
  EXPECT_EQ(toyProgressCalls, 2);
  EXPECT_THROW(toyGuard.rethrowPending(), std::logic_error);
}

TEST(DualOptimizer, RefusesABadScaleInterval) {
  SyntheticLevel L(12, 1, 2);
  const ChildResult r = runInChild([&] {
    CImg<double> lambda = L.lambda, lambda_cross = L.lambda_cross, Xinc = L.Xinc, data_out = L.data_out;
    optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, L.Xtil, L.trueUV, L.f_x, L.f_y, L.f_t, data_out, L.mask,
                                 0, L.nombre, 0, 12, 12, 2, 1.0, L.gamma, L.zeta, 0.0f, 3, 2, 1e-3, 5, false, false);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("neta <= lo"), std::string::npos) << r.err;
}

TEST(DualOptimizer, OnlyTheConstrainedMultipliersChange) {
  // neta 2, lo 3: variables lambda[2..3] and lambda_cross[2..3] (l0 = 2, lend = 3).
  SyntheticLevel L(16, 2, 3);
  L.lambda.assign(6, 1, 1, 1, 0.0);
  L.lambda_cross.assign(6, 1, 1, 1, 0.0);
  for (int l = 0; l < 6; ++l) {
    L.lambda[l] = 0.25 * (l + 1);
    L.lambda_cross[l] = 0.5 * (l + 1);
  }
  const CImg<double> before = L.lambda, beforeCross = L.lambda_cross;
  L.run(5);
  EXPECT_NE(L.log.find("Number of constraints in scale interval= 4\n"), std::string::npos);
  EXPECT_NE(L.log.find("Iteration 1:"), std::string::npos) << L.log;
  for (int l : {0, 1, 4, 5}) {
    EXPECT_EQ(L.lambda_out[l], before[l]) << l;
    EXPECT_EQ(L.lambda_cross_out[l], beforeCross[l]) << l;
  }
  EXPECT_TRUE(L.lambda_out[2] != before[2] || L.lambda_out[3] != before[3] || L.lambda_cross_out[2] != beforeCross[2] ||
              L.lambda_cross_out[3] != beforeCross[3]);
  EXPECT_NE(L.log.find("lambdaHV_2 = "), std::string::npos);
  EXPECT_EQ(L.log.find("lambdaHV_1 ="), std::string::npos);
  EXPECT_EQ(L.log.find("lambdaD_1.41421"), std::string::npos);
  EXPECT_NE(L.log.find("lambdaD_2.82843 = "), std::string::npos);
  EXPECT_NE(L.log.find("lambdaD_4.24264 = "), std::string::npos);
}
