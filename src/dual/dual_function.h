// Value of the Lagrangian dual of the K41-constrained motion problem at one pyramid level.
//
// For an increment X (the field UV) around the carried field UVtil and given multipliers, the value is
// the quadratic model w = 0.5 X.(A X) - X.B + C, with A and B the K41 primal system assembled around
// UVtil and C the constant part: the data energy at zero increment, the multiplier-weighted lag
// increments of the carried field, and minus half of each multiplier times its power-law target. With
// the increment that the primal minimiser returns for these multipliers, w is the dual value w(lambda).
//
// Lag ranges, weight lists and normalisers are those of the structure functions
// (dual/structure_functions.h); a lag that has no pairs (normaliser zero or negative) is left out of C,
// as the primal system leaves it out of A and B.
#pragma once

#include <CImg.h>

#include "primal/k41_level_system.h"

// Constant part C of the dual value. ItIt is the squared temporal derivative, Util and Vtil the two
// planes of the carried field, betaFunc_HV / betaFunc_cross the targets indexed by lag / diagonal index.
double Constant_C(const cimg_library::CImg<double>& ItIt, const cimg_library::CImg<double>& data_out,
                  const cimg_library::CImg<double>& Util, const cimg_library::CImg<double>& Vtil,
                  const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                  const double* betaFunc_HV, const double* betaFunc_cross,
                  const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                  const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
                  const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
                  const cimg_library::CImgList<double>& z_t_rightDown,
                  const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl);

// Dual value w over explicit weight lists and targets. The data products are blurred with standard
// deviation `scale` when it is positive. nombre is the entry count of the level's Hessian (a
// different number of entries is reported by the assembly and otherwise tolerated).
double DualFunction(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                    const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                    const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                    const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                    const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
                    const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
                    const cimg_library::CImgList<double>& z_t_rightDown,
                    const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta, int lo,
                    const double* betaFunc_HV, const double* betaFunc_cross, int nombre);

// Longitudinal weights 1, transverse 0, targets beta * l^power (diagonal beta * (l sqrt 2)^power).
double DualFunction_K41Long(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                            const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                            const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                            const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo,
                            double beta, double power, int nombre);
// The same for the level held by `level` (its carried field, derivatives, blur and scale interval),
// with the A and B of its last assembly when that was made for these data weights and multipliers:
// the value and the standard-output lines of the overload above for the same inputs.
double DualFunction_K41Long(K41LevelSystem& level, const cimg_library::CImg<double>& UV,
                            const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross, double beta, double power);
// The same with blur scale 1.0.
double DualFunction_K41Long(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                            const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                            const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                            const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, double beta,
                            double power, int nombre);
// Longitudinal and transverse weights 1, blur scale 1.0.
double DualFunction_K41LongTrans(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                                 const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                 const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                                 const cimg_library::CImg<double>& lambda_S2,
                                 const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, double beta,
                                 double power, int nombre);
// All weights 1 (lo images), lags 1..lo, the caller's targets.
double DualFunction_Gen_BruhnAndAl(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                                   const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                   const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                                   const cimg_library::CImg<double>& lambda_S2,
                                   const cimg_library::CImg<double>& lambda_S2_cross, float scale, int lo,
                                   const double* betaFunc_HV, const double* betaFunc_cross, int nombre);
// The caller's lists, lags 1..lo, the caller's targets.
double DualFunction_Gen_Rob_BruhnAndAl(
    const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
    const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
    const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
    const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
    const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
    const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
    const cimg_library::CImgList<double>& z_t_rightDown, const cimg_library::CImgList<double>& z_t_rightUp,
    float scale, int lo, const double* betaFunc_HV, const double* betaFunc_cross, int nombre);
