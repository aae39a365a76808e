// A synthetic level for the dual tests (exactly linear data term of a vortex motion, unit data weights,
// mask and multipliers, a first increment from one primal step) and helpers that drive the dual
// optimiser and its callbacks on it.
#pragma once

#include "dual/dual.h"
#include "dual/variables_lbfgs.h"
#include "primal/primal.h"
#include "support/smooth_level.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dualtest {

using cimg_library::CImg;

const double kS2 = 1.4142135623730951;

inline CImg<double> randomImage(int nc, int nl, int nz, double lo, double hi, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(lo, hi);
  CImg<double> im(nc, nl, nz);
  cimg_for(im, p, double) *p = d(gen);
  return im;
}
inline cimg_library::CImgList<double> randomList(int n, int nc, int nl, unsigned seed) {
  cimg_library::CImgList<double> L;
  for (int i = 0; i < n; ++i) L.push_back(randomImage(nc, nl, 1, 0, 1, seed + 17 * i));
  return L;
}
inline cimg_library::CImgList<double> constList(int n, int nc, int nl, double c) {
  return cimg_library::CImgList<double>(n, nc, nl, 1, 1, c);
}

// Values that survive the single-precision copies of the shared state unchanged.
inline CImg<double> floatExact(const CImg<double>& im) { return CImg<double>(CImg<float>(im)); }

struct Level {
  int nc, nl, neta, lo;
  CImg<double> f_x, f_y, f_t, trueUV, Xtil, Xinc, data_out, mask, lambda, lambda_cross;
  double gamma, zeta = 2.0 / 3;
  int nombre = 0;

  // `carried` > 0 gives a random carried field of that amplitude (else zero).
  Level(int n, int neta_, int lo_, unsigned seed = 1, double carried = 0.0) : nc(n), nl(n), neta(neta_), lo(lo_) {
    const SmoothMotionLevel L = makeSmoothMotionLevel(n, n, seed);
    f_x = L.f_x;
    f_y = L.f_y;
    f_t = L.f_t;
    trueUV = L.trueUV;
    Xtil.assign(nc, nl, 2, 1, 0.0);
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> d(-carried, carried);
    if (carried > 0) cimg_for(Xtil, p, double) *p = d(gen);
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

  void load(LbfgsSharedState& s, int norm = 2, double sigma_obs = 1.0, int offEdge = 0, bool withTruth = false,
            bool divZero = false) const {
    dual_detail::loadSharedState(s, Xinc, Xtil, withTruth ? trueUV : CImg<double>(nc, nl, 2, 1, 0.0), f_x, f_y, f_t,
                                 data_out, mask, 0, nombre, offEdge, nc, nl, norm, sigma_obs, gamma, zeta, 0.0f, neta,
                                 lo, false, divZero);
  }

  // Multiplier vectors of the variables x of lags [1, 2] (zeros elsewhere).
  void unpack(const std::vector<double>& x, CImg<double>& l, CImg<double>& lc) const {
    l.assign(lo + 1, 1, 1, 1, 0.0);
    lc.assign(lo + 1, 1, 1, 1, 0.0);
    l[1] = x[0];
    l[2] = x[1];
    lc[1] = x[2];
    lc[2] = x[3];
  }

  // One primal step from `start` at the variables x with the given weights; true when it failed.
  bool solve(CImg<double>& X, const std::vector<double>& x, const CImg<double>& weights) const {
    CImg<double> l, lc;
    unpack(x, l, lc);
    testing::internal::CaptureStdout();
    const bool failed = PrimalMinimizer_K41Long(X, Xtil, f_x, f_y, f_t, weights, l, lc, 0.0f, neta, lo, nombre);
    testing::internal::GetCapturedStdout();
    return failed;
  }
  CImg<double> solved(const CImg<double>& start, const std::vector<double>& x, const CImg<double>& weights) const {
    CImg<double> X = start;
    EXPECT_FALSE(solve(X, x, weights));
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

  // Runs the dual maximisation on copies; the outputs land in the *_out members, the printout in `log`.
  CImg<double> lambda_out, lambda_cross_out, Xinc_out, data_out_out;
  std::string log;
  double run(int nbIt, int norm = 2, double sigma_obs = 1.0, int offEdge = 0) {
    lambda_out = lambda;
    lambda_cross_out = lambda_cross;
    Xinc_out = Xinc;
    data_out_out = data_out;
    testing::internal::CaptureStdout();
    const double d = optimizeDualFunction_LongK41(lambda_out, lambda_cross_out, Xinc_out, Xtil,
                                                  CImg<double>(nc, nl, 2, 1, 0.0), f_x, f_y, f_t, data_out_out, mask,
                                                  0, nombre, offEdge, nc, nl, norm, sigma_obs, gamma, zeta, 0.0f,
                                                  neta, lo, 1e-3, nbIt, false, false);
    log = testing::internal::GetCapturedStdout();
    return d;
  }
};

struct EvalResult {
  double fx;
  std::vector<double> g;
  std::string out;
};

// One call of the evaluation callback on the prepared state.
inline EvalResult evaluateOnce(LbfgsSharedState& s, const std::vector<double>& x) {
  dual_detail::SharedStateScope active(s);
  EvalResult r;
  r.g.assign(x.size(), 0.0);
  testing::internal::CaptureStdout();
  r.fx = dual_detail::evaluate(nullptr, x.data(), r.g.data(), (int)x.size(), 0.0);
  r.out = testing::internal::GetCapturedStdout();
  s.guard.rethrowPending();
  return r;
}

// The objective at x through the evaluation callback on a fresh state of the level.
inline EvalResult objective(const Level& L, const std::vector<double>& x, int norm = 2) {
  LbfgsSharedState s;
  L.load(s, norm);
  return evaluateOnce(s, x);
}

}  // namespace dualtest
