// Log-determinant of the K41 primal Hessian with the ring of the grid (first and last line and column)
// held fixed: every ring pixel's u and v rows become identity rows. The value is the sum of ln |pivot|
// of the ILU(0) factor on the stored pattern, not the exact log-determinant.
#pragma once

#include <CImg.h>

#include "primal/k41_stencil.h"

class K41LevelSystem;

// Storage that the log-determinant reserves from the level's entry count: (int)(1.2 * nombre), 0 for
// a count of 0 or below, at most INT_MAX. More entries than this are still stored but reported.
int logdetCapacity(int nombre);

// The Hessian that logdetA factorises: the K41 Hessian of these inputs (products IxIx, IxIy, IyIy already
// formed and smoothed) with the ring fixed, as 0-based compressed-row arrays in the K41 row layout.
// The arrays hold every entry; when there are more than logdetCapacity(nombre), the Dirichlet count
// line is printed. Returns false (after one message) for an empty grid or a system beyond int indices.
bool fillDirichletHessian(K41Csr& H, const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                          const cimg_library::CImg<double>& IyIy, const cimg_library::CImg<double>& data_out,
                          const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                          const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                          const cimg_library::CImgList<double>& z_rightDown,
                          const cimg_library::CImgList<double>& z_rightUp,
                          const cimg_library::CImgList<double>& z_t_right,
                          const cimg_library::CImgList<double>& z_t_down,
                          const cimg_library::CImgList<double>& z_t_rightDown,
                          const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo, int nombre);

// ILU(0) log-determinant of the Hessian built from the products of im_x and im_y (blurred with standard
// deviation `scale` when non-zero), the data weights data_out, the multipliers and the eight lag weight
// lists, under the fixed ring. im_t takes no part. A zero or non-finite pivot sum gives NaN with one
// message. `level`: the level's kept system when the lists hold its weights (1 and 0), whose pattern and
// incomplete-LU analysis are taken when they are this Hessian's.
double logdetA(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
               const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
               const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
               const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
               const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
               const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
               const cimg_library::CImgList<double>& z_t_rightDown,
               const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta, int lo, int nombre,
               K41LevelSystem* level = nullptr);

// Longitudinal lag weights 1, transverse 0, blur scaleSmooth.
double logdetA_K41Long(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                       const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                       const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                       float scaleSmooth, int neta, int lo, int nombre);

// Longitudinal lag weights 1, transverse 0, blur 1.
double logdetA_K41Long(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                       const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                       const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                       int neta, int lo, int nombre);

// Longitudinal and transverse lag weights 1, blur 1.
double logdetA_K41LongTrans(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                            const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                            const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre);

// Lags 1..lo, every lag weight 1, blur `scale`.
double logdetA_Gen_BruhnAndAl(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                              const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                              const cimg_library::CImg<double>& lambda_S2,
                              const cimg_library::CImg<double>& lambda_S2_cross, float scale, int lo, int nombre);

// Lags 1..lo with the caller's lag weight lists, blur `scale`.
double logdetA_Gen_Rob_BruhnAndAl(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                  const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                                  const cimg_library::CImg<double>& lambda_S2,
                                  const cimg_library::CImg<double>& lambda_S2_cross, float scale,
                                  const cimg_library::CImgList<double>& z_right,
                                  const cimg_library::CImgList<double>& z_down,
                                  const cimg_library::CImgList<double>& z_rightDown,
                                  const cimg_library::CImgList<double>& z_rightUp,
                                  const cimg_library::CImgList<double>& z_t_right,
                                  const cimg_library::CImgList<double>& z_t_down,
                                  const cimg_library::CImgList<double>& z_t_rightDown,
                                  const cimg_library::CImgList<double>& z_t_rightUp, int lo, int nombre);
