// Data energy of a motion increment and the evidence-maximising data precision beta of a level.
#pragma once

#include <CImg.h>

class K41LevelSystem;

// 0.5 sum d (IxIx U^2 + 2 IxIy U V + IyIy V^2) + sum d (ItIx U + ItIy V + 0.5 ItIt), d = data_out:
// the weighted energy of the linearised brightness constancy. All images one plane of one size.
double DataEnergy(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V,
                  const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IyIy,
                  const cimg_library::CImg<double>& IxIy, const cimg_library::CImg<double>& ItIx,
                  const cimg_library::CImg<double>& ItIy, const cimg_library::CImg<double>& ItIt,
                  cimg_library::CImg<double> data_out);

// beta = (N - tr(A^-1 A0)) / (2 E): N the pixels whose scaled weight s*data_out is positive, E the data
// energy of the increment UV with the scaled weights, A the primal Hessian with the unscaled weights
// (products blurred with standard deviation `scale` when it is non-zero) and the trace estimated with
// nbIt Gaussian probes solved to `tol`. A negative beta is reported and returned; a data energy of 0 or
// an unusable probe count gives NaN with one message. `level`: the level's kept system when the lists
// hold its weights (1 and 0), whose Hessian and factor are taken when they are this one's.
double evidence_beta_Gen_Rob_BruhnAndAl(
    const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
    const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
    const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
    const cimg_library::CImg<double>& lambda_S2_cross, const cimg_library::CImgList<double>& z_right,
    const cimg_library::CImgList<double>& z_down, const cimg_library::CImgList<double>& z_rightDown,
    const cimg_library::CImgList<double>& z_rightUp, const cimg_library::CImgList<double>& z_t_right,
    const cimg_library::CImgList<double>& z_t_down, const cimg_library::CImgList<double>& z_t_rightDown,
    const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta, int lo, int nombre, int nbIt,
    double tol, double s, K41LevelSystem* level = nullptr);

// The driver's entry: longitudinal lag weights 1, transverse 0, blur scaleSmooth (0: none), the level's
// kept system as above.
double evidence_betaLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                         const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                         const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                         const cimg_library::CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo,
                         int nombre, int nbIt, double tol, double s, K41LevelSystem* level = nullptr);

// Longitudinal weights 1, transverse 0, blur 1.
double evidence_betaLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                         const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                         const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                         const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre, int nbIt,
                         double tol, double s);

// Longitudinal and transverse weights 1, blur 1.
double evidence_betaLongTrans(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                              const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                              const cimg_library::CImg<double>& data_out,
                              const cimg_library::CImg<double>& lambda_S2,
                              const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre,
                              int nbIt, double tol, double s);

// One list of ones for all eight lag weight lists, blur `scale`.
double evidence_beta_Gen_BruhnAndAl(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                                    const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                                    const cimg_library::CImg<double>& data_out,
                                    const cimg_library::CImg<double>& lambda_S2,
                                    const cimg_library::CImg<double>& lambda_S2_cross, float scale, int neta, int lo,
                                    int nombre, int nbIt, double tol, double s);
