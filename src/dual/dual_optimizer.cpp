// Dual maximisation by L-BFGS: the driver, the file-scope shared state and the two callbacks.
#include "dual/dual_optimizer.h"

#include "dual/dual_function.h"
#include "dual/structure_functions.h"
#include "dual/variables_lbfgs.h"
#include "field/field.h"
#include "field/ground_truth.h"
#include "field/projection.h"
#include "io/fail.h"
#include "primal/primal.h"

#include <lbfgs.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>

using namespace cimg_library;

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

// The state of the running dual maximisation; null outside one.
LbfgsSharedState* variables_lbfgs = nullptr;

LbfgsSharedState& state() {
  if (!variables_lbfgs) failRun("dual optimiser: callback invoked outside a dual maximisation");
  return *variables_lbfgs;
}

std::unique_ptr<float[]> toFloat(const CImg<double>& im) { return std::unique_ptr<float[]>(CImg2float(im)); }

// Where the maximisation writes: its own buffer while the first increment is pending, else standard output.
std::ostream& out(LbfgsSharedState& s) {
  if (s.held) return *s.held;
  return std::cout;
}

void mark(LbfgsSharedState& s, const char* c) { out(s) << c << std::flush; }

void requireSize(const CImg<double>& im, int nc, int nl, int nz, const char* name) {
  if (im.width() != nc || im.height() != nl || im.depth() != nz) {
    std::ostringstream msg;
    msg << "optimizeDualFunction_LongK41: " << name << " is " << im.width() << " x " << im.height() << " x "
        << im.depth() << ", expected " << nc << " x " << nl << " x " << nz;
    failRun(msg.str());
  }
}

// The level's images and multipliers rebuilt in double precision from the shared state.
struct Level {
  int nc, nl, neta, lo, l0, lend;
  CImg<double> Xinc, Xtil, f_x, f_y, f_t, data_out;
  CImg<double> x_lambda, x_lambda_cross;

  Level(const LbfgsSharedState& s, const double* x)
      : nc(s._nc),
        nl(s._nl),
        neta(s._neta),
        lo(s._lo),
        l0(diagonalFirstIndex(s._neta)),
        lend(diagonalLastIndex(s._lo)),
        Xinc(float2CImg(s._nc, s._nl, 2, s._Xinc.get())),
        Xtil(float2CImg(s._nc, s._nl, 2, s._Xtil.get())),
        f_x(float2CImg(s._nc, s._nl, s._f_x.get())),
        f_y(float2CImg(s._nc, s._nl, s._f_y.get())),
        f_t(float2CImg(s._nc, s._nl, s._f_t.get())),
        data_out(float2CImg(s._nc, s._nl, s._data_out.get())),
        x_lambda(s._lo + 1, 1, 1, 1, 0.0),
        x_lambda_cross(s._lo + 1, 1, 1, 1, 0.0) {
    for (int l = neta; l <= lo; ++l) x_lambda[l] = x[l - neta];
    for (int l = l0; l <= lend; ++l) x_lambda_cross[l] = x[lo - neta + 1 + l - l0];
  }

  // One primal step at the level's multipliers with the given data weights; true when the solve failed
  // (Xinc then unchanged).
  bool primalStep(LbfgsSharedState& s, const CImg<double>& weights) {
    return s.level->primalStep(Xinc, weights, x_lambda, x_lambda_cross, out(s));
  }

  double dualValue(const LbfgsSharedState& s, const CImg<double>& weights) const {
    return DualFunction_K41Long(*s.level, Xinc, weights, x_lambda, x_lambda_cross, s._gamma, s._zeta);
  }

  double deviation(const LbfgsSharedState& s) const {
    return ConstraintsAbsDevLong(Xtil + Xinc, s._gamma, s._zeta, neta, lo);
  }

  void restoreStoredIncrement(const LbfgsSharedState& s) { Xinc = float2CImg(nc, nl, 2, s._Xinc.get()); }
};

// Live view of the evaluation (u, v and the data weights; with a truth also twice the errors); the
// window stays open while the caller holds it.
std::unique_ptr<CImgDisplay> display(const LbfgsSharedState& s, const Level& L) {
  const CImg<double> total = L.Xtil + L.Xinc;
  CImgList<double> shown;
  const char* title;
  if (s._trueUV) {
    const CImg<double> truth = float2CImg(L.nc, L.nl, 2, s._trueUV.get());
    shown.push_back(total.get_slice(0));
    shown.push_back((total.get_slice(0) - truth.get_slice(0)).abs() * 2.0);
    shown.push_back(total.get_slice(1));
    shown.push_back((total.get_slice(1) - truth.get_slice(1)).abs() * 2.0);
    shown.push_back(L.data_out);
    title = "U,Uerror,V,Verror & Out ";
  } else {
    shown.push_back(total.get_slice(0));
    shown.push_back(total.get_slice(1));
    shown.push_back(L.data_out);
    title = "U,V & Out ";
  }
#if cimg_display == 0
  // No window system in this build: raise the library's own exception without constructing a window
  // (its constructor would leak its key buffers when it throws).
  (void)title;
  throw CImgDisplayException("CImgDisplay(): No display available.");
#else
  return std::unique_ptr<CImgDisplay>(new CImgDisplay(shown.get_append('x'), title));
#endif
}

// New data weights of the robust data norm, from the increment (not the total field).
CImg<double> robustWeights(const LbfgsSharedState& s, const Level& L) {
  if (s._norm == 1) return RobustDataCoef_QuasiTV(L.Xinc, L.f_x, L.f_y, L.f_t, s._sigma_obs);
  if (s._norm == 0) {
    const float sf = (float)s._sigma_obs;
    const float s2f = sf * sf;
    const double s2 = s2f;
    CImg<double> w(L.nc, L.nl, 1, 1, 0.0);
    if (s2 != 0) {
      for (int y = 0; y < L.nl; ++y)
        for (int x = 0; x < L.nc; ++x) {
          const double r = L.Xinc(x, y, 0) * L.f_x(x, y) + L.Xinc(x, y, 1) * L.f_y(x, y) + L.f_t(x, y);
          w(x, y) = std::exp(-(r * r) * (1 / s2));
        }
    }
    return w;
  }
  return L.data_out;
}

// Decides the level's first increment, when it is still pending: with `used`, the step runs into the
// caller's increment, which becomes the stored increment; without, it is dropped. The step's lines go
// out first, then what the maximisation wrote meanwhile (also when the step throws); from then on it
// writes to standard output.
void settleFirstIncrement(LbfgsSharedState& s, bool used) {
  if (!s.firstIncrement) return;
  const std::function<void(CImg<double>&)> step = std::move(s.firstIncrement);
  s.firstIncrement = nullptr;
  struct WriteOut {
    std::unique_ptr<std::ostringstream> held;
    ~WriteOut() {
      const std::string text = held->str();
      if (!text.empty()) std::cout << text << std::flush;
    }
  } writeOut{std::move(s.held)};
  if (used) {
    step(*s.callerXinc);
    s._Xinc = toFloat(*s.callerXinc);
    s.work->firstIncrementComputed = true;
  }
}

double evaluateBody(LbfgsSharedState& s, const double* x, double* g) {
  Level L(s, x);
  const CImg<double> mask = float2CImg(s._nc, s._nl, s._mask.get());
  mark(s, ".");
  std::unique_ptr<CImgDisplay> window;
  if (s._displayMode) window = display(s, L);
  bool notConverged = L.primalStep(s, L.data_out);
  window.reset();  // closed right after the solve
  // The first increment is used only when this solve failed: the stored increment is then taken.
  settleFirstIncrement(s, notConverged);
  double fx;
  if (notConverged) {
    L.restoreStoredIncrement(s);
    fx = s._add2fx - 0.5 * L.dualValue(s, L.data_out);
  } else {
    s._Xinc = toFloat(L.Xinc);
    s.storedIsSolve = true;
    fx = s._add2fx - L.dualValue(s, L.data_out);
  }
  double absConstDev = L.deviation(s);

  // Robust re-weighting once the constraints are nearly met.
  if (absConstDev < 10 * s._gamma && s._norm != 2) {
    CImg<double> w = robustWeights(s, L);
    w.mul(mask);
    const int e = s._offEdge;
    for (int y = 0; y < L.nl; ++y)
      for (int xx = 0; xx < L.nc; ++xx)
        if (xx < e || xx >= L.nc - e || y < e || y >= L.nl - e) w(xx, y) = 0;
    L.data_out = w;
    notConverged = L.primalStep(s, L.data_out);
    absConstDev = L.deviation(s);
    if (!notConverged && absConstDev < 10 * s._gamma) {
      mark(s, "*");
      if (absConstDev < s._constDev) {
        s._Xinc = toFloat(L.Xinc);
        s.storedIsSolve = true;
        s._add2fx = s._add2fx - 10.0 * L.nc * L.nl;
        s._data_out = toFloat(L.data_out);
        mark(s, "+");
      }
      fx = s._add2fx - L.dualValue(s, L.data_out);
    } else {
      L.restoreStoredIncrement(s);
      fx = s._add2fx - 0.5 * L.dualValue(s, L.data_out);
    }
  }

  // Gradient: the negated K41 residuals of the total field.
  const CImg<double> total = L.Xtil + L.Xinc;
  CImg<double> subGrad_HV(L.lo + 1, 1, 1, 1, 0.0), subGrad_cross(L.lo + 1, 1, 1, 1, 0.0);
  subGradients_K41_horiVertDir(subGrad_HV, total, s._gamma, s._zeta, L.neta, L.lo, false);
  subGradients_K41_crossDir(subGrad_cross, total, s._gamma, s._zeta, L.neta, L.lo, false);
  for (int k = 0; k <= L.lo - L.neta; ++k) g[k] = -subGrad_HV[L.neta + k];
  for (int j = 0; j <= L.lend - L.l0; ++j) g[L.lo - L.neta + 1 + j] = -subGrad_cross[L.l0 + j];

  // Penalty on trials that move away from the accepted deviation.
  if (absConstDev > s._constDev) {
    mark(s, "_");
    fx = fx + 1e10 * std::fabs(absConstDev - s._constDev);
  }
  return fx;
}

void keepAcceptedPoint(LbfgsSharedState& s, double fx) {
  const size_t N = (size_t)s._nc * s._nl;
  s.acceptedXinc.assign(s._Xinc.get(), s._Xinc.get() + 2 * N);
  s.acceptedDataOut.assign(s._data_out.get(), s._data_out.get() + N);
  s.acceptedFx = fx;
  s.acceptedIsSolve = s.storedIsSolve;
  s.haveAccepted = true;
}

void printMultipliers(const double* x, int neta, int lo) {
  const int l0 = diagonalFirstIndex(neta), lend = diagonalLastIndex(lo);
  for (int l = neta; l <= lo; ++l) std::cout << "lambdaHV_" << l << " = " << x[l - neta] << ", ";
  std::cout << ";\n";
  for (int l = l0; l <= lend; ++l)
    std::cout << "lambdaD_" << l * kSqrt2 << " = " << x[lo - neta + 1 + l - l0] << ", ";
}

void progressBody(LbfgsSharedState& s, const double* x, double fx, double xnorm, double gnorm, double step, int k) {
  Level L(s, x);
  if (L.primalStep(s, L.data_out))
    std::cout << "ERROR CGS : attention old increment value taken into account!" << std::endl;
  const double d = L.deviation(s);
  s._constDev = d;
  keepAcceptedPoint(s, fx);

  std::printf("\nIteration %d:\n", k);
  printMultipliers(x, s._neta, s._lo);
  std::cout << std::endl;
  std::printf("  w(lambda) = %e, constraints AbsDev = %e\n", -fx, d);
  std::printf("  xnorm = %e, gnorm = %e, step = %e\n", xnorm, gnorm, step);

  if (s._trueUV) {
    CImg<double> Xrot = L.Xtil + L.Xinc;
    if (s._DivZero) maj_vecteurs(Xrot, L.Xtil + L.Xinc, true);
    const CImg<double> truth = float2CImg(L.nc, L.nl, 2, s._trueUV.get());
    CImg<double> save(20, 1, 1, 1, 0.0);
    groundTruthComparison(Xrot, truth, CImg<double>(L.nc, L.nl, 1, 1, 1.0), kIterationMapsPrefix, save);
  }
  std::printf("\n");
  std::fflush(stdout);
}

// Frees the variable block of liblbfgs.
struct LbfgsVector {
  lbfgsfloatval_t* x;
  explicit LbfgsVector(int n) : x(lbfgs_malloc(n)) {}
  ~LbfgsVector() {
    if (x) lbfgs_free(x);
  }
  LbfgsVector(const LbfgsVector&) = delete;
  LbfgsVector& operator=(const LbfgsVector&) = delete;
};

}  // namespace

namespace dual_detail {

int dualVariableCount(int neta, int lo) {
  const int l0 = diagonalFirstIndex(neta), lend = diagonalLastIndex(lo);
  return (lo >= neta ? lo - neta + 1 : 0) + (lend >= l0 ? lend - l0 + 1 : 0);
}

void loadSharedState(LbfgsSharedState& s, const CImg<double>& Xinc, const CImg<double>& Xtil,
                     const CImg<double>& trueUV, const CImg<double>& f_x, const CImg<double>& f_y,
                     const CImg<double>& f_t, const CImg<double>& data_out, const CImg<double>& mask, int resol,
                     int nombre, int offEdge, int dxOrig, int dyOrig, int norm, double sigma_obs, double gamma,
                     double zeta, float scaleSmooth, int neta, int lo, bool displayMode, bool DivZero) {
  if (neta < 1 || neta > lo) {
    std::ostringstream msg;
    msg << "optimizeDualFunction_LongK41: the scale interval needs 1 <= neta <= lo (neta " << neta << ", lo " << lo
        << ")";
    failRun(msg.str());
  }
  const int nc = f_x.width(), nl = f_x.height();
  requireSize(f_x, nc, nl, 1, "f_x");
  requireSize(f_y, nc, nl, 1, "f_y");
  requireSize(f_t, nc, nl, 1, "f_t");
  requireSize(data_out, nc, nl, 1, "data_out");
  requireSize(mask, nc, nl, 1, "mask");
  requireSize(Xinc, nc, nl, 2, "Xinc");
  requireSize(Xtil, nc, nl, 2, "Xtil");

  s = LbfgsSharedState();
  // An all-zero field stands for "no true field". Any non-zero value counts as a truth, also when the
  // values cancel in a sum (a symmetric vortex sums to exactly 0 and still deserves its reports).
  bool hasTruth = false;
  cimg_for(trueUV, p, double) if (*p != 0) { hasTruth = true; break; }
  if (hasTruth) {
    requireSize(trueUV, nc, nl, 2, "trueUV");
    s._trueUV = toFloat(trueUV);
  }
  s._Xinc = toFloat(Xinc);
  s._Xtil = toFloat(Xtil);
  s._f_x = toFloat(f_x);
  s._f_y = toFloat(f_y);
  s._f_t = toFloat(f_t);
  s._data_out = toFloat(data_out);
  s._mask = toFloat(mask);
  s._resol = resol;
  s._nc = nc;
  s._nl = nl;
  s._nombre = nombre;
  s._lo = lo;
  s._neta = neta;
  s._scaleSmooth = scaleSmooth;
  s._offEdge = offEdge;
  s._dxOrig = dxOrig;
  s._dyOrig = dyOrig;
  s._norm = norm;
  s._sigma_obs = sigma_obs;
  s._gamma = gamma;
  s._zeta = zeta;
  s._displayMode = displayMode;
  s._DivZero = DivZero;
  s._constDev = 1e30;
  s._add2fx = 0;
  // The level as the callbacks see it: the double images rebuilt from the shared single-precision ones.
  s.level.reset(new K41LevelSystem(float2CImg(nc, nl, 2, s._Xtil.get()), float2CImg(nc, nl, s._f_x.get()),
                                   float2CImg(nc, nl, s._f_y.get()), float2CImg(nc, nl, s._f_t.get()), scaleSmooth,
                                   neta, lo, nombre));
}

SharedStateScope::SharedStateScope(LbfgsSharedState& s) {
  if (variables_lbfgs) failRun("optimizeDualFunction_LongK41: a dual maximisation is already running");
  variables_lbfgs = &s;
}

SharedStateScope::~SharedStateScope() { variables_lbfgs = nullptr; }

lbfgsfloatval_t evaluate(void*, const lbfgsfloatval_t* x, lbfgsfloatval_t* g, const int n,
                         const lbfgsfloatval_t) {
  LbfgsSharedState& s = state();
  return guardedEvaluate(s.guard, g, n, [&] {
    const double fx = evaluateBody(s, x, g);
    if (s.evaluations++ == 0) keepAcceptedPoint(s, fx);  // the start point
    return fx;
  });
}

int progress(void*, const lbfgsfloatval_t* x, const lbfgsfloatval_t*, const lbfgsfloatval_t fx,
             const lbfgsfloatval_t xnorm, const lbfgsfloatval_t gnorm, const lbfgsfloatval_t step, int, int k, int) {
  LbfgsSharedState& s = state();
  return guardedProgress(s.guard, [&] { progressBody(s, x, fx, xnorm, gnorm, step, k); });
}

}  // namespace dual_detail

double optimizeDualFunction_LongK41(CImg<double>& lambda, CImg<double>& lambda_cross, CImg<double>& Xinc,
                                    const CImg<double>& Xtil, const CImg<double>& trueUV, const CImg<double>& f_x,
                                    const CImg<double>& f_y, const CImg<double>& f_t, CImg<double>& data_out,
                                    const CImg<double>& mask, int resol, int nombre, int offEdge, int dxOrig,
                                    int dyOrig, int norm, double sigma_obs, double gamma, double zeta,
                                    float scaleSmooth, int neta, int lo, double eps, int nbIt_lbfgs,
                                    bool displayMode, bool DivZero, DualLevelWork* work, bool* incrementSolved) {
  LbfgsSharedState s;
  // The first evaluation of display mode shows the stored increment before it solves: it is needed at once.
  if (work && work->firstIncrement && displayMode) {
    work->firstIncrement(Xinc);
    work->firstIncrementComputed = true;
  }
  dual_detail::loadSharedState(s, Xinc, Xtil, trueUV, f_x, f_y, f_t, data_out, mask, resol, nombre, offEdge, dxOrig,
                               dyOrig, norm, sigma_obs, gamma, zeta, scaleSmooth, neta, lo, displayMode, DivZero);
  if (work) {
    s.work = work;
    if (!displayMode && work->firstIncrement) {
      s.firstIncrement = work->firstIncrement;
      s.callerXinc = &Xinc;
      s.held.reset(new std::ostringstream);
    }
  }
  const int l0 = diagonalFirstIndex(neta), lend = diagonalLastIndex(lo);
  if ((int)lambda.size() < lo + 1 || (int)lambda_cross.size() < lend + 1) {
    std::ostringstream msg;
    msg << "optimizeDualFunction_LongK41: multiplier vectors of " << lambda.size() << " and " << lambda_cross.size()
        << " values, need " << lo + 1 << " and " << lend + 1;
    failRun(msg.str());
  }
  const int N = dual_detail::dualVariableCount(neta, lo);
  out(s) << "Number of constraints in scale interval= " << N << std::endl;

  LbfgsVector vars(N);
  lbfgsfloatval_t* x = vars.x;
  if (!x) {
    out(s) << "ERROR: Failed to allocate a memory block for variables." << std::endl;
    settleFirstIncrement(s, true);
    return std::numeric_limits<double>::quiet_NaN();
  }
  for (int k = 0; k <= lo - neta; ++k) x[k] = lambda[neta + k];
  for (int j = 0; j <= lend - l0; ++j) x[lo - neta + 1 + j] = lambda_cross[l0 + j];

  lbfgs_parameter_t param;
  lbfgs_parameter_init(&param);
  param.epsilon = eps;
  param.linesearch = LBFGS_LINESEARCH_BACKTRACKING_STRONG_WOLFE;
  param.max_linesearch = nbIt_lbfgs;
  param.gtol = 0.1;

  lbfgsfloatval_t fx = std::numeric_limits<double>::quiet_NaN();
  int ret;
  {
    dual_detail::SharedStateScope active(s);
    ret = lbfgs(N, x, &fx, dual_detail::evaluate, dual_detail::progress, nullptr, &param);
  }
  // Still pending: no evaluation came to its first solve, and the stored increment is the first one.
  settleFirstIncrement(s, true);
  if (work) {
    work->primal = s.level->work();
    work->level = std::move(s.level);
  }
  s.guard.rethrowPending();  // the caller's images are still untouched
  if (incrementSolved) *incrementSolved = s.haveAccepted ? s.acceptedIsSolve : s.storedIsSolve;

  // The multipliers are those of the last accepted point: so are the increment, weights and value.
  if (s.haveAccepted) {
    std::copy(s.acceptedXinc.begin(), s.acceptedXinc.end(), s._Xinc.get());
    std::copy(s.acceptedDataOut.begin(), s.acceptedDataOut.end(), s._data_out.get());
    fx = s.acceptedFx;
  }

  const int nc = s._nc, nl = s._nl;
  Xinc = float2CImg(nc, nl, 2, s._Xinc.get());
  for (int k = 0; k <= lo - neta; ++k) lambda[neta + k] = x[k];
  for (int j = 0; j <= lend - l0; ++j) lambda_cross[l0 + j] = x[lo - neta + 1 + j];

  std::printf("\n L-BFGS optimization terminated with status code = %d\n", ret);
  printMultipliers(x, neta, lo);
  const double d = ConstraintsAbsDevLong(Xtil + Xinc, gamma, zeta, neta, lo);
  std::printf("\n w(lambda) = %e, constraints AbsDev = %e\n", std::isnan(fx) ? fx : -fx, d);
  std::fflush(stdout);
  data_out = float2CImg(nc, nl, s._data_out.get());
  return d;
}
