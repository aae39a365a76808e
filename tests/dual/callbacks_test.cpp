// The evaluation and progress callbacks of the dual maximisation, driven one call at a time on a
// prepared shared state: penalty, robust re-weighting, failed solves, iteration and ground-truth reports.
#include "dual_test_util.h"
#include "field/field.h"
#include "field/ground_truth.h"
#include "field/projection.h"
#include "support/child_process.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace cimg_library;
using namespace dualtest;

namespace {

const std::vector<double> kX = {0.5, 1.25, 2, -1};

// 16 x 16, lags [1, 2] (4 variables), a small non-zero carried field.
Level level() { return Level(16, 1, 2, 3, 0.05); }

std::string progressOnce(LbfgsSharedState& s, const std::vector<double>& x, double fx, int k) {
  dual_detail::SharedStateScope active(s);
  testing::internal::CaptureStdout();
  EXPECT_EQ(dual_detail::progress(nullptr, x.data(), nullptr, fx, 2.5, 0.125, 1.0, (int)x.size(), k, 1), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  s.guard.rethrowPending();
  return out;
}

std::vector<float> floats(const std::unique_ptr<float[]>& p, size_t n) { return std::vector<float>(p.get(), p.get() + n); }
std::vector<float> floats(const CImg<double>& im) { return floats(std::unique_ptr<float[]>(CImg2float(im)), im.size()); }

// The evaluation's gradient: minus the residuals of the total field Xtil + X.
std::vector<double> minusResiduals(const Level& L, const CImg<double>& X) {
  CImg<double> hv(L.lo + 1), cr(L.lo + 1);
  subGradients_K41_horiVertDir(hv, L.Xtil + X, L.gamma, L.zeta, L.neta, L.lo, false);
  subGradients_K41_crossDir(cr, L.Xtil + X, L.gamma, L.zeta, L.neta, L.lo, false);
  return {-hv[1], -hv[2], -cr[1], -cr[2]};
}

}  // namespace

TEST(EvaluateCallback, PenaltyAboveTheReferenceDeviationOnly) {
  const Level L = level();
  const CImg<double> X = L.solved(L.Xinc, kX, L.data_out);
  const double dev = ConstraintsAbsDevLong(L.Xtil + X, L.gamma, L.zeta, L.neta, L.lo);
  ASSERT_GT(dev, 0.0);
  LbfgsSharedState free, equal, below;
  L.load(free);
  L.load(equal);
  L.load(below);
  equal._constDev = dev;
  below._constDev = 0.5 * dev;
  const EvalResult a = evaluateOnce(free, kX), b = evaluateOnce(equal, kX), c = evaluateOnce(below, kX);
  EXPECT_EQ(a.out, ".");
  EXPECT_EQ(b.out, ".");  // a deviation equal to the reference is not penalised
  EXPECT_EQ(c.out, "._");
  EXPECT_EQ(a.fx, 0.0 - L.dual(X, kX, L.data_out));
  EXPECT_EQ(b.fx, a.fx);
  EXPECT_EQ(c.fx, a.fx + 1e10 * std::fabs(dev - 0.5 * dev));
  EXPECT_EQ(a.g, minusResiduals(L, X));
  EXPECT_EQ(c.g, a.g);  // the penalty leaves the gradient alone
  EXPECT_EQ(floats(free._Xinc, 512), floats(X));  // the new increment is stored
  EXPECT_EQ(floats(free._data_out, 256), floats(L.data_out));
}

TEST(EvaluateCallback, LeclercReweightingFromTheIncrementIsMaskedFramedAndStored) {
  Level L = level();
  L.gamma *= 1e4;  // constraints "nearly met": the re-weighting runs at once
  L.mask(7, 9) = 0;
  const double sigma = 0.3;
  const int offEdge = 2;
  // First solve, then weights exp(-r^2 / s2) of the increment (not of the total field), with s2 the
  // single-precision square of the single-precision sigma; masked, framed, second solve.
  const CImg<double> X1 = L.solved(L.Xinc, kX, L.data_out);
  const float sf = (float)sigma;
  const double s2 = (float)(sf * sf);
  CImg<double> w(L.nc, L.nl, 1, 1, 0.0);
  cimg_forXY(w, x, y) {
    const double r = X1(x, y, 0) * L.f_x(x, y) + X1(x, y, 1) * L.f_y(x, y) + L.f_t(x, y);
    const bool frame = x < offEdge || x >= L.nc - offEdge || y < offEdge || y >= L.nl - offEdge;
    w(x, y) = frame ? 0.0 : std::exp(-(r * r) * (1 / s2)) * L.mask(x, y);
  }
  const CImg<double> X2 = L.solved(X1, kX, w);
  ASSERT_LT(ConstraintsAbsDevLong(L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo), 10 * L.gamma);
  const double offset = -10.0 * L.nc * L.nl;

  LbfgsSharedState s;
  L.load(s, 0, sigma, offEdge);
  const EvalResult r = evaluateOnce(s, kX);
  EXPECT_EQ(r.out, ".*+");
  EXPECT_EQ(floats(s._data_out, 256), floats(w));
  EXPECT_EQ(floats(s._Xinc, 512), floats(X2));
  EXPECT_EQ(s._add2fx, offset);
  EXPECT_EQ(r.fx, offset - L.dual(X2, kX, w));
  EXPECT_EQ(r.g, minusResiduals(L, X2));
}

TEST(EvaluateCallback, ReweightingThatDoesNotBeatTheReferenceIsNotStored) {
  Level L = level();
  L.gamma *= 1e4;
  const CImg<double> X1 = L.solved(L.Xinc, kX, L.data_out);
  const CImg<double> w = RobustDataCoef_QuasiTV(X1, L.f_x, L.f_y, L.f_t, 0.2);
  const CImg<double> X2 = L.solved(X1, kX, w);
  const double dev2 = ConstraintsAbsDevLong(L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo);
  LbfgsSharedState s;
  L.load(s, 1, 0.2);
  s._constDev = 0;  // nothing beats it
  const EvalResult r = evaluateOnce(s, kX);
  EXPECT_EQ(r.out, ".*_");
  EXPECT_EQ(s._add2fx, 0.0);
  EXPECT_EQ(floats(s._data_out, 256), floats(L.data_out));  // stored weights unchanged
  EXPECT_EQ(floats(s._Xinc, 512), floats(X1));               // the first solve's increment
  // The value is that of the re-weighted solve, plus the penalty of its deviation.
  EXPECT_EQ(r.fx, (0.0 - L.dual(X2, kX, w)) + 1e10 * std::fabs(dev2 - 0.0));
}

TEST(EvaluateCallback, FailedSolveKeepsTheStoredIncrementAndCountsHalfTheDual) {
  const Level L = level();
  // Negative diagonal multipliers make the primal system indefinite: the solver gives up.
  const std::vector<double> x = {0.75, 1.0, -1.5, -2.0};
  CImg<double> X = L.Xinc;
  ASSERT_TRUE(L.solve(X, x, L.data_out));
  LbfgsSharedState s;
  L.load(s);
  const std::vector<float> stored = floats(s._Xinc, 512);
  const EvalResult r = evaluateOnce(s, x);
  EXPECT_EQ(r.out.substr(0, 1), ".");
  EXPECT_EQ(floats(s._Xinc, 512), stored);
  EXPECT_EQ(r.fx, 0.0 - 0.5 * L.dual(L.Xinc, x, L.data_out));
  EXPECT_EQ(r.g, minusResiduals(L, L.Xinc));
}

TEST(ProgressCallback, ReportsTheIterationAndSetsTheReference) {
  const Level L = level();
  LbfgsSharedState s;
  L.load(s);
  const std::vector<float> storedX = floats(s._Xinc, 512), storedW = floats(s._data_out, 256);
  const std::string out = progressOnce(s, kX, 1.5, 3);
  const double d = ConstraintsAbsDevLong(L.Xtil + L.solved(L.Xinc, kX, L.data_out), L.gamma, L.zeta, L.neta, L.lo);
  EXPECT_EQ(s._constDev, d);
  char tail[256];
  std::snprintf(tail, sizeof tail,
                "  w(lambda) = %e, constraints AbsDev = %e\n  xnorm = %e, gnorm = %e, step = %e\n\n", -1.5, d, 2.5,
                0.125, 1.0);
  EXPECT_EQ(out, "\nIteration 3:\nlambdaHV_1 = 0.5, lambdaHV_2 = 1.25, ;\nlambdaD_1.41421 = 2, lambdaD_2.82843 = -1, \n" +
                     std::string(tail));
  // Neither the stored increment nor the stored weights change.
  EXPECT_EQ(floats(s._Xinc, 512), storedX);
  EXPECT_EQ(floats(s._data_out, 256), storedW);
}

TEST(ProgressCallback, GroundTruthReportComparesTheProjectedFieldWithDivZero) {
  const std::string dir = makeTempDir("dual_progress_truth");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const Level L = level();
  const CImg<double> total = L.Xtil + L.solved(L.Xinc, kX, L.data_out);
  auto report = [&](const CImg<double>& field) {
    testing::internal::CaptureStdout();
    groundTruthComparison(field, L.trueUV, CImg<double>(L.nc, L.nl, 1, 1, 1.0), "reference");
    return testing::internal::GetCapturedStdout();
  };
  CImg<double> projected = total;
  maj_vecteurs(projected, total, true);
  const std::string expectProjected = report(projected), expectPlain = report(total);
  ASSERT_NE(expectProjected, expectPlain);
  for (bool divZero : {true, false}) {
    LbfgsSharedState s;
    L.load(s, 2, 1.0, 0, true, divZero);
    std::remove("toBeErasedBarron.pgm");
    std::remove("toBeErasedEndPoint.pgm");
    const std::string out = progressOnce(s, kX, 1.5, 1);
    const std::string& expected = divZero ? expectProjected : expectPlain;
    EXPECT_EQ(out.substr(out.size() - expected.size() - 2), "\n" + expected + "\n") << out;
    EXPECT_FALSE(readFileBytes("toBeErasedBarron.pgm").empty());
    EXPECT_FALSE(readFileBytes("toBeErasedEndPoint.pgm").empty());
  }
  ASSERT_EQ(chdir(previous), 0);
}

TEST(SharedState, TruthIsAnyNonZeroFieldEvenWhenItsValuesCancel) {
  const Level L(12, 1, 2);
  CImg<double> cancelling(L.nc, L.nl, 2, 1, 0.0);
  cancelling(3, 4, 0, 0) = 0.75;
  cancelling(8, 2, 1, 0) = -0.75;
  ASSERT_EQ(cancelling.sum(), 0.0);
  for (const bool nonZero : {false, true}) {
    LbfgsSharedState s;
    dual_detail::loadSharedState(s, L.Xinc, L.Xtil, nonZero ? cancelling : CImg<double>(L.nc, L.nl, 2, 1, 0.0),
                                 L.f_x, L.f_y, L.f_t, L.data_out, L.mask, 0, L.nombre, 0, L.nc, L.nl, 2, 1.0, L.gamma,
                                 L.zeta, 0.0f, L.neta, L.lo, false, false);
    EXPECT_EQ(s._trueUV != nullptr, nonZero);
  }
}
