// The evaluation and progress callbacks of the dual maximisation, driven one call at a time on a
// prepared shared state: penalty, robust re-weighting, iteration report and ground-truth report.
#include "dual/dual.h"
#include "dual/variables_lbfgs.h"
#include "field/field.h"
#include "field/ground_truth.h"
#include "field/projection.h"
#include "primal/primal.h"
#include "support/child_process.h"
#include "support/smooth_level.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace cimg_library;

namespace {

CImg<double> floatExact(const CImg<double>& im) { return CImg<double>(CImg<float>(im)); }

// A 16 x 16 level with lags [1, 2] (4 variables), a small non-zero carried field and a first increment.
struct Level {
  const int nc = 16, nl = 16, neta = 1, lo = 2;
  CImg<double> f_x, f_y, f_t, trueUV, Xtil, Xinc, data_out, mask, lambda, lambda_cross;
  double gamma, zeta = 2.0 / 3;
  int nombre = 0;

  Level() {
    const SmoothMotionLevel L = makeSmoothMotionLevel(nc, nl, 3);
    f_x = L.f_x;
    f_y = L.f_y;
    f_t = L.f_t;
    trueUV = L.trueUV;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> d(-0.05, 0.05);
    Xtil.assign(nc, nl, 2);
    cimg_for(Xtil, p, double) *p = d(gen);
    Xtil = floatExact(Xtil);
    data_out.assign(nc, nl, 1, 1, 1.0);
    mask.assign(nc, nl, 1, 1, 1.0);
    lambda.assign(lo + 1, 1, 1, 1, 1.0);
    lambda_cross.assign(lo + 1, 1, 1, 1, 1.0);
    gamma = StructureFunction2nd_horiVertDir(trueUV, 1, 1, false)[1];
    testing::internal::CaptureStdout();
    nombre = NumberNonZeroElementInHessian_K41Long(f_x, f_y, data_out, lambda, lambda_cross, 0.0f, neta, lo);
    Xinc.assign(nc, nl, 2, 1, 0.0);
    PrimalMinimizer_K41Long(Xinc, Xtil, f_x, f_y, f_t, data_out, lambda, lambda_cross, 0.0f, neta, lo, nombre);
    testing::internal::GetCapturedStdout();
    Xinc = floatExact(Xinc);
  }

  void load(LbfgsSharedState& s, int norm, double sigma_obs, int offEdge, bool withTruth, bool divZero) const {
    dual_detail::loadSharedState(s, Xinc, Xtil, withTruth ? trueUV : CImg<double>(nc, nl, 2, 1, 0.0), f_x, f_y, f_t,
                                 data_out, mask, 0, nombre, offEdge, nc, nl, norm, sigma_obs, gamma, zeta, 0.0f, neta,
                                 lo, false, divZero);
  }

  // Multiplier vectors of the variables x (zeros elsewhere).
  void unpack(const std::vector<double>& x, CImg<double>& l, CImg<double>& lc) const {
    l.assign(lo + 1, 1, 1, 1, 0.0);
    lc.assign(lo + 1, 1, 1, 1, 0.0);
    l[1] = x[0];
    l[2] = x[1];
    lc[1] = x[2];
    lc[2] = x[3];
  }

  // One primal step from `start` at the variables x with the given weights.
  CImg<double> solve(const CImg<double>& start, const std::vector<double>& x, const CImg<double>& weights) const {
    CImg<double> l, lc, X = start;
    unpack(x, l, lc);
    testing::internal::CaptureStdout();
    const bool failed =
        PrimalMinimizer_K41Long(X, Xtil, f_x, f_y, f_t, weights, l, lc, 0.0f, neta, lo, nombre);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(failed);
    return X;
  }

  double dual(const CImg<double>& X, const std::vector<double>& x, const CImg<double>& weights) const {
    CImg<double> l, lc;
    unpack(x, l, lc);
    testing::internal::CaptureStdout();
    const double w = DualFunction_K41Long(X, Xtil, f_x, f_y, f_t, weights, l, lc, 0.0f, neta, lo, gamma, zeta, nombre);
    testing::internal::GetCapturedStdout();
    return w;
  }
};

const std::vector<double> kX = {0.5, 1.25, 2, -1};

struct EvalResult {
  double fx;
  std::vector<double> g;
  std::string out;
};

EvalResult evaluateOnce(LbfgsSharedState& s, const std::vector<double>& x) {
  dual_detail::SharedStateScope active(s);
  EvalResult r;
  r.g.assign(x.size(), 0.0);
  testing::internal::CaptureStdout();
  r.fx = dual_detail::evaluate(nullptr, x.data(), r.g.data(), (int)x.size(), 0.0);
  r.out = testing::internal::GetCapturedStdout();
  s.guard.rethrowPending();
  return r;
}

std::string progressOnce(LbfgsSharedState& s, const std::vector<double>& x, double fx, int k) {
  dual_detail::SharedStateScope active(s);
  testing::internal::CaptureStdout();
  const int ret = dual_detail::progress(nullptr, x.data(), nullptr, fx, 2.5, 0.125, 1.0, (int)x.size(), k, 1);
  const std::string out = testing::internal::GetCapturedStdout();
  s.guard.rethrowPending();
  EXPECT_EQ(ret, 0);
  return out;
}

std::vector<float> floats(const float* p, size_t n) { return std::vector<float>(p, p + n); }

// The single-precision copy that the shared state keeps of an image.
std::vector<float> floats(const CImg<double>& im) {
  std::unique_ptr<float[]> f(CImg2float(im));
  return floats(f.get(), im.size());
}

}  // namespace

TEST(EvaluateCallback, PenaltyAboveTheReferenceDeviationOnly) {
  const Level L;
  const CImg<double> X = L.solve(L.Xinc, kX, L.data_out);
  const double dev = ConstraintsAbsDevLong(L.Xtil + X, L.gamma, L.zeta, L.neta, L.lo);
  const double w = L.dual(X, kX, L.data_out);
  ASSERT_GT(dev, 0.0);

  LbfgsSharedState free, equal, below;
  L.load(free, 2, 1.0, 0, false, false);
  L.load(equal, 2, 1.0, 0, false, false);
  L.load(below, 2, 1.0, 0, false, false);
  equal._constDev = dev;
  below._constDev = 0.5 * dev;
  const EvalResult a = evaluateOnce(free, kX), b = evaluateOnce(equal, kX), c = evaluateOnce(below, kX);
  EXPECT_EQ(a.out, ".");
  EXPECT_EQ(b.out, ".");  // a deviation equal to the reference is not penalised
  EXPECT_EQ(c.out, "._");
  EXPECT_EQ(a.fx, 0.0 - w);
  EXPECT_EQ(b.fx, a.fx);
  EXPECT_EQ(c.fx, a.fx + 1e10 * std::fabs(dev - 0.5 * dev));
  EXPECT_EQ(c.g, a.g);  // the penalty leaves the gradient alone
  // The new increment is stored; the data weights are not touched.
  EXPECT_EQ(floats(free._Xinc.get(), 2 * 256), floats(X));
}

TEST(EvaluateCallback, LeclercReweightingFromTheIncrementIsMaskedFramedAndStored) {
  Level L;
  L.gamma *= 1e4;  // constraints "nearly met": the re-weighting runs at once
  L.mask(7, 9) = 0;
  const double sigma = 0.3;
  const int offEdge = 2;

  // First solve, then weights exp(-r^2 / s2) of the increment (not of the total field), with s2 the
  // single-precision square of the single-precision sigma; masked, framed, second solve.
  const CImg<double> X1 = L.solve(L.Xinc, kX, L.data_out);
  const float sf = (float)sigma;
  const float s2f = sf * sf;
  const double s2 = s2f;
  CImg<double> w(L.nc, L.nl, 1, 1, 0.0);
  cimg_forXY(w, x, y) {
    const double r = X1(x, y, 0) * L.f_x(x, y) + X1(x, y, 1) * L.f_y(x, y) + L.f_t(x, y);
    w(x, y) = std::exp(-(r * r) * (1 / s2)) * L.mask(x, y);
    if (x < offEdge || x >= L.nc - offEdge || y < offEdge || y >= L.nl - offEdge) w(x, y) = 0;
  }
  const CImg<double> X2 = L.solve(X1, kX, w);
  const double dev2 = ConstraintsAbsDevLong(L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo);
  ASSERT_LT(dev2, 10 * L.gamma);
  const double offset = -10.0 * L.nc * L.nl;

  LbfgsSharedState s;
  L.load(s, 0, sigma, offEdge, false, false);
  const EvalResult r = evaluateOnce(s, kX);
  EXPECT_EQ(r.out, ".*+");
  EXPECT_EQ(floats(s._data_out.get(), 256), floats(w));
  EXPECT_EQ(floats(s._Xinc.get(), 512), floats(X2));
  EXPECT_EQ(s._add2fx, offset);
  EXPECT_EQ(r.fx, offset - L.dual(X2, kX, w));
  CImg<double> hv(L.lo + 1), cr(L.lo + 1);
  subGradients_K41_horiVertDir(hv, L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo, false);
  subGradients_K41_crossDir(cr, L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo, false);
  EXPECT_EQ(r.g, (std::vector<double>{-hv[1], -hv[2], -cr[1], -cr[2]}));

  // The weights of the total field would differ: the carried field is not part of the residual.
  double rTotal = (L.Xtil(8, 8, 0) + X1(8, 8, 0)) * L.f_x(8, 8) + (L.Xtil(8, 8, 1) + X1(8, 8, 1)) * L.f_y(8, 8) +
                  L.f_t(8, 8);
  EXPECT_NE((float)std::exp(-(rTotal * rTotal) * (1 / s2)), s._data_out[8 + 8 * 16]);
}

TEST(EvaluateCallback, ReweightingThatDoesNotBeatTheReferenceIsNotStored) {
  Level L;
  L.gamma *= 1e4;
  const CImg<double> X1 = L.solve(L.Xinc, kX, L.data_out);
  const CImg<double> w = RobustDataCoef_QuasiTV(X1, L.f_x, L.f_y, L.f_t, 0.2);
  const CImg<double> X2 = L.solve(X1, kX, w);
  const double dev2 = ConstraintsAbsDevLong(L.Xtil + X2, L.gamma, L.zeta, L.neta, L.lo);

  LbfgsSharedState s;
  L.load(s, 1, 0.2, 0, false, false);
  s._constDev = 0;  // nothing beats it
  const EvalResult r = evaluateOnce(s, kX);
  EXPECT_EQ(r.out, ".*_");
  EXPECT_EQ(s._add2fx, 0.0);
  EXPECT_EQ(floats(s._data_out.get(), 256), floats(L.data_out));  // stored weights unchanged
  EXPECT_EQ(floats(s._Xinc.get(), 512), floats(X1));               // the first solve's increment
  // The value is that of the re-weighted solve, plus the penalty of its deviation.
  EXPECT_EQ(r.fx, (0.0 - L.dual(X2, kX, w)) + 1e10 * std::fabs(dev2 - 0.0));
}

TEST(ProgressCallback, ReportsTheIterationAndSetsTheReference) {
  const Level L;
  LbfgsSharedState s;
  L.load(s, 2, 1.0, 0, false, false);
  const std::vector<float> storedX = floats(s._Xinc.get(), 512), storedW = floats(s._data_out.get(), 256);
  const std::string out = progressOnce(s, kX, 1.5, 3);

  const CImg<double> X = L.solve(L.Xinc, kX, L.data_out);
  const double d = ConstraintsAbsDevLong(L.Xtil + X, L.gamma, L.zeta, L.neta, L.lo);
  EXPECT_EQ(s._constDev, d);
  char tail[256];
  std::snprintf(tail, sizeof tail,
                "  w(lambda) = %e, constraints AbsDev = %e\n  xnorm = %e, gnorm = %e, step = %e\n\n", -1.5, d, 2.5,
                0.125, 1.0);
  EXPECT_EQ(out, "\nIteration 3:\nlambdaHV_1 = 0.5, lambdaHV_2 = 1.25, ;\nlambdaD_1.41421 = 2, lambdaD_2.82843 = -1, \n" +
                     std::string(tail));
  // Neither the stored increment nor the stored weights change.
  EXPECT_EQ(floats(s._Xinc.get(), 512), storedX);
  EXPECT_EQ(floats(s._data_out.get(), 256), storedW);
}

TEST(ProgressCallback, GroundTruthReportComparesTheProjectedFieldWithDivZero) {
  const std::string dir = makeTempDir("dual_progress_truth");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const Level L;
  const CImg<double> X = L.solve(L.Xinc, kX, L.data_out);
  const CImg<double> ones(L.nc, L.nl, 1, 1, 1.0);
  auto report = [&](const CImg<double>& field) {
    testing::internal::CaptureStdout();
    groundTruthComparison(field, L.trueUV, ones, "reference");
    return testing::internal::GetCapturedStdout();
  };
  CImg<double> projected = L.Xtil + X;
  maj_vecteurs(projected, L.Xtil + X, true);
  const std::string expectProjected = report(projected), expectPlain = report(L.Xtil + X);
  ASSERT_NE(expectProjected, expectPlain);

  for (bool divZero : {true, false}) {
    LbfgsSharedState s;
    L.load(s, 2, 1.0, 0, true, divZero);
    std::remove("toBeErasedBarron.pgm");
    std::remove("toBeErasedEndPoint.pgm");
    const std::string out = progressOnce(s, kX, 1.5, 1);
    const std::string& expected = divZero ? expectProjected : expectPlain;
    EXPECT_NE(out.find("\n" + expected + "\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - expected.size() - 1), expected + "\n");
    EXPECT_FALSE(readFileBytes("toBeErasedBarron.pgm").empty());
    EXPECT_FALSE(readFileBytes("toBeErasedEndPoint.pgm").empty());
  }
  ASSERT_EQ(chdir(previous), 0);
}

TEST(EvaluateCallback, FailedSolveKeepsTheStoredIncrementAndCountsHalfTheDual) {
  const Level L;
  // Negative diagonal multipliers make the primal system indefinite: the solver gives up.
  const std::vector<double> x = {0.75, 1.0, -1.5, -2.0};
  CImg<double> l, lc, X = L.Xinc;
  L.unpack(x, l, lc);
  testing::internal::CaptureStdout();
  const bool failed = PrimalMinimizer_K41Long(X, L.Xtil, L.f_x, L.f_y, L.f_t, L.data_out, l, lc, 0.0f, L.neta, L.lo,
                                              L.nombre);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(failed);

  LbfgsSharedState s;
  L.load(s, 2, 1.0, 0, false, false);
  const std::vector<float> stored = floats(s._Xinc.get(), 512);
  const EvalResult r = evaluateOnce(s, x);
  EXPECT_EQ(r.out.substr(0, 1), ".");
  EXPECT_EQ(floats(s._Xinc.get(), 512), stored);
  EXPECT_EQ(r.fx, 0.0 - 0.5 * L.dual(L.Xinc, x, L.data_out));
  CImg<double> hv(L.lo + 1), cr(L.lo + 1);
  subGradients_K41_horiVertDir(hv, L.Xtil + L.Xinc, L.gamma, L.zeta, L.neta, L.lo, false);
  subGradients_K41_crossDir(cr, L.Xtil + L.Xinc, L.gamma, L.zeta, L.neta, L.lo, false);
  EXPECT_EQ(r.g, (std::vector<double>{-hv[1], -hv[2], -cr[1], -cr[2]}));
}
