// Minus the log evidence of a level's power-law hyper-parameters: the data-energy term beta E plus an
// Occam term from the ILU(0) log-determinants of the posterior and prior Hessians (fixed ring), the
// data precision, the data weights and the data energy. Prints two lines and stores, in save:
//   [2] minus log evidence, [3] beta E, [4] Occam term, [5] 0.5 log-determinant ratio,
//   [6] 0.5 (N (ln 2 pi - ln beta) - sum ln t), [7] -0.5 ln(beta / E);
// no other slot changes. When beta or E is 0 or below, one message says so and the slots whose
// logarithms are undefined receive NaN (2, 4, 6 and 7 for beta; 2, 4 and 7 for E). `level`: the level's
// kept system when the lists hold its weights (1 and 0), for the log-determinants (see logdetA).
#pragma once

#include <CImg.h>

class K41LevelSystem;

double evidence_powerLaw_Gen_Rob_BruhnAndAl(
    const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
    const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
    const cimg_library::CImg<double>& data_out, double beta, const cimg_library::CImg<double>& lambda_S2,
    const cimg_library::CImg<double>& lambda_S2_cross, const cimg_library::CImgList<double>& z_right,
    const cimg_library::CImgList<double>& z_down, const cimg_library::CImgList<double>& z_rightDown,
    const cimg_library::CImgList<double>& z_rightUp, const cimg_library::CImgList<double>& z_t_right,
    const cimg_library::CImgList<double>& z_t_down, const cimg_library::CImgList<double>& z_t_rightDown,
    const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta, int lo, int nombre, double s,
    cimg_library::CImg<double>& save, K41LevelSystem* level = nullptr);

// The driver's entry: longitudinal lag weights 1, transverse 0, blur scaleSmooth (0: none), the level's
// kept system as above.
double evidence_powerLawLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                             const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                             const cimg_library::CImg<double>& data_out, double beta,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, int scaleSmooth, int neta, int lo,
                             int nombre, double s, cimg_library::CImg<double>& save, K41LevelSystem* level = nullptr);

// The same with a float blur and a result vector of its own, dropped after the call.
double evidence_powerLawLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                             const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                             const cimg_library::CImg<double>& data_out, double beta,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo,
                             int nombre, double s);

// Blur 1, the caller's result vector.
double evidence_powerLawLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                             const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                             const cimg_library::CImg<double>& data_out, double beta,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre, double s,
                             cimg_library::CImg<double>& save);

// Blur 1, a result vector of its own.
double evidence_powerLawLong(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                             const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                             const cimg_library::CImg<double>& data_out, double beta,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre,
                             double s);

// Longitudinal and transverse lag weights 1, blur 1, the caller's result vector.
double evidence_powerLawLongTrans(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                                  const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                                  const cimg_library::CImg<double>& data_out, double beta,
                                  const cimg_library::CImg<double>& lambda_S2,
                                  const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre,
                                  double s, cimg_library::CImg<double>& save);

// The same with a result vector of its own.
double evidence_powerLawLongTrans(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                                  const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
                                  const cimg_library::CImg<double>& data_out, double beta,
                                  const cimg_library::CImg<double>& lambda_S2,
                                  const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre,
                                  double s);
