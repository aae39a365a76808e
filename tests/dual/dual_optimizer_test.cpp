// Dual maximisation by L-BFGS: the driver, its hand-back of the accepted point and its failure paths.
#include "dual/lbfgs_guard.h"
#include "dual_test_util.h"
#include "support/child_process.h"

#include <lbfgs.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

using namespace cimg_library;
using namespace dualtest;

namespace {

std::string afterLast(const std::string& s, const std::string& key) {
  const size_t p = s.rfind(key);
  return p == std::string::npos ? "" : s.substr(p + key.size());
}

}  // namespace

// Without and with a carried field (which enters the right-hand side and the dual's constant).
TEST(DualOptimizer, GradientIsTwiceTheDerivativeOfTheObjective) {
  for (const double carried : {0.0, 0.4}) {
    const Level L(16, 1, 2, 1, carried);
    const std::vector<double> x0 = {0.8, 1.3, 0.6, 1.1};
    const std::vector<double> g = objective(L, x0).g;
    for (size_t i = 0; i < x0.size(); ++i) {
      const double h = 1e-3;
      std::vector<double> xp = x0, xm = x0;
      xp[i] += h;
      xm[i] -= h;
      const double fd = (objective(L, xp).fx - objective(L, xm).fx) / (2 * h);
      EXPECT_NEAR(g[i], 2 * fd, 1e-3 * std::max(1.0, std::fabs(g[i]))) << "carried " << carried << ", variable " << i;
    }
  }
}

TEST(DualOptimizer, NoLineSearchTrialsLeavesEverythingAsPassed) {
  Level L(16, 1, 2);
  L.data_out = floatExact(CImg<double>(L.nc, L.nl).rand(0.5, 1.0));
  const double d = L.run(0);
  for (const char* line : {"Number of constraints in scale interval= 4\n",
                           "\n L-BFGS optimization terminated with status code = -1007\n",
                           "w(lambda) = nan, constraints AbsDev = ",
                           "lambdaHV_1 = 1, lambdaHV_2 = 1, ;\nlambdaD_1.41421 = 1, lambdaD_2.82843 = 1, \n w(lambda) = "})
    EXPECT_NE(L.log.find(line), std::string::npos) << line << "\n" << L.log;
  EXPECT_GT(L.log.find('.'), L.log.find("lambdaD_1.41421"));  // no evaluation mark before it
  EXPECT_TRUE(L.lambda_out == L.lambda);
  EXPECT_TRUE(L.lambda_cross_out == L.lambda_cross);
  EXPECT_TRUE(L.Xinc_out == L.Xinc);
  EXPECT_TRUE(L.data_out_out == L.data_out);
  EXPECT_EQ(d, ConstraintsAbsDevLong(L.Xtil + L.Xinc, L.gamma, L.zeta, L.neta, L.lo));
}

TEST(DualOptimizer, RaisesTheDualAndHandsBackTheAcceptedPoint) {
  for (int nbIt : {1, 2, 10}) {
    Level L(32, 1, 3);
    const double wStart = -objective(L, {1, 1, 1, 1, 1, 1}).fx;
    const double d = L.run(nbIt);
    double wEnd = 0, dev = 0;
    ASSERT_EQ(std::sscanf(afterLast(L.log, "\n w(lambda) = ").c_str(), "%lf, constraints AbsDev = %lf", &wEnd, &dev), 2)
        << L.log;
    std::printf("max_linesearch %d: status %s, w %g -> %g, deviation %g\n", nbIt,
                afterLast(L.log, "status code = ").substr(0, 6).c_str(), wStart, wEnd, d);
    EXPECT_GE(wEnd, wStart - 1e-6 * std::fabs(wStart));
    EXPECT_EQ(d, ConstraintsAbsDevLong(L.Xtil + L.Xinc_out, L.gamma, L.zeta, L.neta, L.lo));
    EXPECT_NEAR(dev, d, 1e-6 * d);
    // The increment handed back is the primal solution at the multipliers handed back.
    CImg<double> X(L.nc, L.nl, 2, 1, 0.0);
    testing::internal::CaptureStdout();
    ASSERT_FALSE(PrimalMinimizer_K41Long(X, L.Xtil, L.f_x, L.f_y, L.f_t, L.data_out_out, L.lambda_out,
                                         L.lambda_cross_out, 0.0f, L.neta, L.lo, L.nombre));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(floatExact(X) == L.Xinc_out) << "max_linesearch " << nbIt;
  }
}

TEST(DualOptimizer, ReweightsOnlyForTheRobustNorms) {
  for (int norm : {1, 2}) {
    Level L(24, 1, 2);
    L.gamma *= 1e3;  // constraints "nearly met" from the start: re-weighting at once for norm 1
    L.run(5, norm, 0.05, 2);
    EXPECT_EQ(L.log.find("*+") != std::string::npos, norm == 1);
    cimg_forXY(L.data_out_out, x, y) {
      const bool frame = x < 2 || x >= L.nc - 2 || y < 2 || y >= L.nl - 2;
      const double w = L.data_out_out(x, y);
      EXPECT_TRUE(norm == 2 ? w == 1.0 : frame ? w == 0.0 : (w > 0 && w <= 1)) << x << "," << y;
    }
  }
}

TEST(DualOptimizer, ExceptionInsideTheMinimiserIsRethrownAfterIt) {
  // The display mode needs a window, which this build cannot open.
  Level L(12, 1, 1);
  CImg<double> lambda = L.lambda, lambda_cross = L.lambda_cross, Xinc = L.Xinc, data_out = L.data_out;
  cimg::exception_mode(0);
  testing::internal::CaptureStdout();
  EXPECT_THROW(optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, L.Xtil, CImg<double>(12, 12, 2, 1, 0.0),
                                            L.f_x, L.f_y, L.f_t, data_out, L.mask, 0, L.nombre, 0, 12, 12, 2, 1.0,
                                            L.gamma, L.zeta, 0.0f, 1, 1, 1e-3, 5, true, false),
               CImgException);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(lambda == L.lambda && Xinc == L.Xinc && data_out == L.data_out);
  EXPECT_TRUE(std::isfinite(L.run(3)));  // the state was released: a second run works
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
  Level L(12, 1, 2);
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
  Level L(16, 2, 3);
  L.lambda.assign(6, 1, 1, 1, 0.0);
  L.lambda_cross.assign(6, 1, 1, 1, 0.0);
  for (int l = 0; l < 6; ++l) {
    L.lambda[l] = 0.25 * (l + 1);
    L.lambda_cross[l] = 0.5 * (l + 1);
  }
  L.run(5);
  for (const char* line : {"Number of constraints in scale interval= 4\n", "Iteration 1:", "lambdaHV_2 = ",
                           "lambdaD_2.82843 = ", "lambdaD_4.24264 = "})
    EXPECT_NE(L.log.find(line), std::string::npos) << line << "\n" << L.log;
  EXPECT_EQ(L.log.find("lambdaHV_1 ="), std::string::npos);
  EXPECT_EQ(L.log.find("lambdaD_1.41421"), std::string::npos);
  for (int l : {0, 1, 4, 5}) {
    EXPECT_EQ(L.lambda_out[l], L.lambda[l]) << l;
    EXPECT_EQ(L.lambda_cross_out[l], L.lambda_cross[l]) << l;
  }
  EXPECT_FALSE(L.lambda_out == L.lambda && L.lambda_cross_out == L.lambda_cross);
}
