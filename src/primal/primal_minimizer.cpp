// One primal step of the K41 estimator and its weight-list variants.
#include <CImg.h>

#include "primal/k41.h"
#include "primal/k41_level_system.h"

using namespace cimg_library;

namespace {

// The step of a level system built for it alone.
bool minimize(const char* who, CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
              const CImg<double>& im_y, const CImg<double>& im_t, const CImg<double>& data_out,
              const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const K41LagWeights& W, float scale,
              int neta, int lo, int nombre) {
  K41LevelSystem level(who, UVtil, im_x, im_y, im_t, W, scale, neta, lo, nombre);
  return level.primalStep(UV, data_out, lambda_S2, lambda_S2_cross);
}

}  // namespace

bool PrimalMinimizer(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x, const CImg<double>& im_y,
                     const CImg<double>& im_t, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                     const CImg<double>& lambda_S2_cross, const CImgList<double>& z_right,
                     const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                     const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                     const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                     const CImgList<double>& z_t_rightUp, float scale, int neta, int lo, int nombre) {
  return minimize("PrimalMinimizer", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                  k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown,
                                 z_t_rightUp),
                  scale, neta, lo, nombre);
}

// The variants pass constant weight lists, read as constants instead of images of that constant.
bool PrimalMinimizer_K41Long(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                             const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scaleSmooth,
                             int neta, int lo, int nombre) {
  return minimize("PrimalMinimizer_K41Long", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                  k41ConstantWeights(1.0, 0.0), scaleSmooth, neta, lo, nombre);
}

bool PrimalMinimizer_K41Long(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                             const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                             int nombre) {
  return minimize("PrimalMinimizer_K41Long", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                  k41ConstantWeights(1.0, 0.0), 1.0f, neta, lo, nombre);
}

bool PrimalMinimizer_K41LongTrans(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                  const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                  const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                                  int nombre) {
  return minimize("PrimalMinimizer_K41LongTrans", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2,
                  lambda_S2_cross, k41ConstantWeights(1.0, 1.0), 1.0f, neta, lo, nombre);
}

bool PrimalMinimizer_Gen_BruhnAndAl(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                    const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                    const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scale,
                                    int lo, int nombre) {
  return minimize("PrimalMinimizer_Gen_BruhnAndAl", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2,
                  lambda_S2_cross, k41ConstantWeights(1.0, 1.0), scale, 1, lo, nombre);
}

bool PrimalMinimizer_Gen_Rob_BruhnAndAl(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                        const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                        const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                        const CImgList<double>& z_right, const CImgList<double>& z_down,
                                        const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                        const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                        const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
                                        float scale, int lo, int nombre) {
  return minimize("PrimalMinimizer_Gen_Rob_BruhnAndAl", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2,
                  lambda_S2_cross,
                  k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown,
                                 z_t_rightUp),
                  scale, 1, lo, nombre);
}
