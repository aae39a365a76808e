// Maximisation of the Lagrangian dual over the K41 multipliers of one pyramid level, by L-BFGS.
#pragma once

#include <CImg.h>

#include <functional>
#include <memory>

#include "primal/k41_level_system.h"

// File prefix of the ground-truth maps of the dual iterations (a name in the working directory).
inline constexpr const char* kIterationMapsPrefix = "toBeErased";

// What the driver hands a level's dual maximisation so that work whose result is already held is not
// done again, and what it gets back.
struct DualLevelWork {
  // The level's first increment: a step that writes it into its argument (the caller's Xinc) unless it
  // fails. When given, the step runs only if its increment is used: when the first evaluation's primal
  // solve fails (the evaluation then falls back on the stored increment) or when the minimiser ends
  // before evaluating. Otherwise the first evaluation's own solve replaces it, and the step is skipped.
  // The lines the step prints come first on standard output all the same: what the maximisation prints
  // is held back until the step is decided. Empty: Xinc already holds the first increment.
  std::function<void(cimg_library::CImg<double>& Xinc)> firstIncrement;

  // Filled on return: whether firstIncrement ran, the work of the callbacks' primal steps, and the
  // level's kept system with its last assembly, for the evidence of the level.
  bool firstIncrementComputed = false;
  K41LevelWork primal;
  std::unique_ptr<K41LevelSystem> level;
};

// Maximises the dual w(lambda) over the multipliers lambda[neta..lo] (horizontal/vertical lags) and
// lambda_cross[l0..lend] (diagonal indices) by minimising -w with liblbfgs (epsilon = eps, strong-Wolfe
// backtracking with at most nbIt_lbfgs trials per line search, gtol 0.1, no iteration bound). Each
// evaluation solves the primal problem at trial multipliers; with norm 1 (quasi-TV) or 0 (Leclerc) the
// data weights are re-weighted once the constraints are nearly met. With a true field (trueUV not all
// zero) every iteration is compared with it, writing the maps of prefix kIterationMapsPrefix
// ("toBeErasedBarron.pgm", "toBeErasedEndPoint.pgm" in the working directory).
//
// On return lambda, lambda_cross, Xinc (the level's increment, nc x nl x 2) and data_out (nc x nl) hold
// the values of the last accepted iterate, and the result is the constraint deviation
// ConstraintsAbsDevLong(Xtil + Xinc, gamma, zeta, neta, lo). When the variable block cannot be allocated
// it prints "ERROR: Failed to allocate a memory block for variables.", changes nothing and returns NaN.
// An exception raised during the minimisation is rethrown after the minimiser has stopped, with the
// caller's images unchanged. Needs 1 <= neta <= lo and images of the size of f_x (message and exit
// status 1 otherwise). Not re-entrant.
//
// The callbacks share one K41LevelSystem for the level: the data products, the pattern, the
// incomplete-LU structure and every buffer are kept from one primal step to the next; a progress step
// takes the solve of the evaluation it follows when its multipliers and data weights are exactly those
// of that solve, and a dual value takes the A and B of the primal step it follows. With `work` (see
// DualLevelWork) the first increment is left to the maximisation, and the work is reported.
//
// When `incrementSolved` is given it receives whether the increment handed back comes from a converged
// primal solve of an evaluation (false: it is the increment passed in, or the first increment that
// `work` computed).
double optimizeDualFunction_LongK41(cimg_library::CImg<double>& lambda, cimg_library::CImg<double>& lambda_cross,
                                    cimg_library::CImg<double>& Xinc, const cimg_library::CImg<double>& Xtil,
                                    const cimg_library::CImg<double>& trueUV, const cimg_library::CImg<double>& f_x,
                                    const cimg_library::CImg<double>& f_y, const cimg_library::CImg<double>& f_t,
                                    cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& mask,
                                    int resol, int nombre, int offEdge, int dxOrig, int dyOrig, int norm,
                                    double sigma_obs, double gamma, double zeta, float scaleSmooth, int neta, int lo,
                                    double eps, int nbIt_lbfgs, bool displayMode, bool DivZero,
                                    DualLevelWork* work = nullptr, bool* incrementSolved = nullptr);
