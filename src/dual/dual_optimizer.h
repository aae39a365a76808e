// Maximisation of the Lagrangian dual over the K41 multipliers of one pyramid level, by L-BFGS.
#pragma once

#include <CImg.h>

// Maximises the dual w(lambda) over the multipliers lambda[neta..lo] (horizontal/vertical lags) and
// lambda_cross[l0..lend] (diagonal indices) by minimising -w with liblbfgs (epsilon = eps, strong-Wolfe
// backtracking with at most nbIt_lbfgs trials per line search, gtol 0.1, no iteration bound). Each
// evaluation solves the primal problem at trial multipliers; with norm 1 (quasi-TV) or 0 (Leclerc) the
// data weights are re-weighted once the constraints are nearly met. With a true field (trueUV not all
// zero) every iteration is compared with it, writing "toBeErased" + "Barron.pgm" / "EndPoint.pgm".
//
// On return lambda, lambda_cross, Xinc (the level's increment, nc x nl x 2) and data_out (nc x nl) hold
// the values of the last accepted iterate, and the result is the constraint deviation
// ConstraintsAbsDevLong(Xtil + Xinc, gamma, zeta, neta, lo). When the variable block cannot be allocated
// it prints "ERROR: Failed to allocate a memory block for variables.", changes nothing and returns NaN.
// An exception raised during the minimisation is rethrown after the minimiser has stopped, with the
// caller's images unchanged. Needs 1 <= neta <= lo and images of the size of f_x (message and exit
// status 1 otherwise). Not re-entrant. When `incrementSolved` is given it receives whether the
// increment handed back comes from a converged primal solve of an evaluation (false: it is the
// increment passed in).
double optimizeDualFunction_LongK41(cimg_library::CImg<double>& lambda, cimg_library::CImg<double>& lambda_cross,
                                    cimg_library::CImg<double>& Xinc, const cimg_library::CImg<double>& Xtil,
                                    const cimg_library::CImg<double>& trueUV, const cimg_library::CImg<double>& f_x,
                                    const cimg_library::CImg<double>& f_y, const cimg_library::CImg<double>& f_t,
                                    cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& mask,
                                    int resol, int nombre, int offEdge, int dxOrig, int dyOrig, int norm,
                                    double sigma_obs, double gamma, double zeta, float scaleSmooth, int neta, int lo,
                                    double eps, int nbIt_lbfgs, bool displayMode, bool DivZero,
                                    bool* incrementSolved = nullptr);
