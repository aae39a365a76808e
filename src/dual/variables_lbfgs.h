// Shared state of one dual maximisation.
//
// liblbfgs hands its callbacks no user data, so optimizeDualFunction_LongK41 fills one file-scope block
// with fresh single-precision copies of the level's data (motion fields nc x nl x 2, plane u then plane
// v, each row-major; images nc x nl) and the level's scalars before it starts the minimiser; the
// callbacks `evaluate` and `progress` read and update the level through it, and the driver copies the
// multipliers, the increment and the data weights back when the minimiser returns. The block lives only
// while one call runs; every buffer is released when the call ends, however it ends.
//
// Internal to the dual optimiser; declared here so that its tests can drive the callbacks.
#pragma once

#include "dual/dual_optimizer.h"
#include "dual/lbfgs_guard.h"
#include "primal/k41_level_system.h"

#include <CImg.h>
#include <lbfgs.h>

#include <functional>
#include <memory>
#include <sstream>
#include <vector>

struct LbfgsSharedState {
  std::unique_ptr<float[]> _trueUV;    // true field; null when the level has none
  std::unique_ptr<float[]> _Xinc;      // stored increment
  std::unique_ptr<float[]> _Xtil;      // field carried from the coarser levels
  std::unique_ptr<float[]> _f_x, _f_y, _f_t;  // derivatives
  std::unique_ptr<float[]> _data_out;  // stored data weights
  std::unique_ptr<float[]> _mask;      // data mask multiplied into re-weighted data weights
  int _resol = 0;
  int _nc = 0, _nl = 0;
  int _nombre = 0;
  int _lo = 0, _neta = 0;
  float _scaleSmooth = 0;
  int _offEdge = 0;
  int _dxOrig = 0, _dyOrig = 0;
  int _norm = 2;
  double _sigma_obs = 0;
  double _gamma = 0, _zeta = 0;
  bool _displayMode = false;
  bool _DivZero = false;
  double _constDev = 1e30;  // constraint deviation at the last accepted iterate
  double _add2fx = 0;       // offset added to every objective value

  // The accepted point the minimiser's multipliers belong to: the start point's evaluation, then each
  // iterate reported to `progress`. The minimiser hands back these multipliers also when it ends on
  // an error after rejected trials, so the increment and data weights handed back are taken from here.
  bool haveAccepted = false;
  std::vector<float> acceptedXinc, acceptedDataOut;
  double acceptedFx = 0;
  // Whether the stored increment (and that of the accepted point) is the result of a converged primal
  // solve of an evaluation, rather than the increment the level started from.
  bool storedIsSolve = false, acceptedIsSolve = false;
  long evaluations = 0;  // evaluate calls so far

  dual_detail::LbfgsGuard guard;  // exception thrown inside a callback, rethrown after lbfgs returns

  // The level's system, shared by every primal step and dual value of the callbacks.
  std::unique_ptr<K41LevelSystem> level;
  // The level's first increment while it is still to be decided: the step that computes it into the
  // caller's increment, the caller's increment, what it reports to, and the text that the maximisation
  // writes until then (its lines belong after those of the step, which come out when it runs).
  std::function<void(cimg_library::CImg<double>&)> firstIncrement;
  cimg_library::CImg<double>* callerXinc = nullptr;
  DualLevelWork* work = nullptr;
  std::unique_ptr<std::ostringstream> held;
};

namespace dual_detail {

// Fills `s` from the arguments of optimizeDualFunction_LongK41 (single-precision copies, scalars,
// deviation reference 1e30, offset 0, the level's system). Refuses (message, exit status 1) images whose sizes do not
// match f_x (fields nc x nl x 2, images nc x nl) and lag intervals outside 1 <= neta <= lo.
void loadSharedState(LbfgsSharedState& s, const cimg_library::CImg<double>& Xinc,
                     const cimg_library::CImg<double>& Xtil, const cimg_library::CImg<double>& trueUV,
                     const cimg_library::CImg<double>& f_x, const cimg_library::CImg<double>& f_y,
                     const cimg_library::CImg<double>& f_t, const cimg_library::CImg<double>& data_out,
                     const cimg_library::CImg<double>& mask, int resol, int nombre, int offEdge, int dxOrig,
                     int dyOrig, int norm, double sigma_obs, double gamma, double zeta, float scaleSmooth,
                     int neta, int lo, bool displayMode, bool DivZero);

// Makes `s` the state that the callbacks see while the object lives (one at a time).
class SharedStateScope {
 public:
  explicit SharedStateScope(LbfgsSharedState& s);
  ~SharedStateScope();
  SharedStateScope(const SharedStateScope&) = delete;
  SharedStateScope& operator=(const SharedStateScope&) = delete;
};

// Number of L-BFGS variables of [neta, lo]: (lo - neta + 1) + (lend - l0 + 1).
int dualVariableCount(int neta, int lo);

// The callbacks handed to lbfgs (library signatures); they work on the state of the active scope.
lbfgsfloatval_t evaluate(void* instance, const lbfgsfloatval_t* x, lbfgsfloatval_t* g, const int n,
                         const lbfgsfloatval_t step);
int progress(void* instance, const lbfgsfloatval_t* x, const lbfgsfloatval_t* g, const lbfgsfloatval_t fx,
             const lbfgsfloatval_t xnorm, const lbfgsfloatval_t gnorm, const lbfgsfloatval_t step, int n, int k,
             int ls);

}  // namespace dual_detail
