// One primal step of the K41 estimator and its weight-list variants.
#include <CImg.h>

#include <sstream>

#include "io/fail.h"
#include "primal/k41.h"
#include "primal/k41_detail.h"
#include "primal/solve_increment.h"

using namespace cimg_library;
using namespace k41_detail;

namespace {

void requireSize(const char* who, const char* name, const CImg<double>& im, int nc, int nl, int planes) {
  if (im.width() < nc || im.height() < nl || im.depth() < planes) {
    std::ostringstream s;
    s << who << ": image " << name << " is " << im.width() << " x " << im.height() << " x " << im.depth()
      << ", smaller than " << nc << " x " << nl << " x " << planes;
    failRun(s.str());
  }
}

bool minimize(const char* who, CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
              const CImg<double>& im_y, const CImg<double>& im_t, const CImg<double>& data_out,
              const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const WeightLists& W, float scale,
              int neta, int lo, int nombre) {
  checkScaleInterval(who, neta, lo);
  const int nc = im_x.width(), nl = im_x.height();
  checkGridSize(who, nc, nl);
  reportLoLimit(nc, nl, lo);
  requireSize(who, "im_y", im_y, nc, nl, 1);
  requireSize(who, "im_t", im_t, nc, nl, 1);
  requireSize(who, "UVtil", UVtil, nc, nl, 2);
  if (UV.width() != nc || UV.height() != nl || UV.depth() < 2) {
    std::ostringstream s;
    s << who << ": the increment image is " << UV.width() << " x " << UV.height() << " x " << UV.depth()
      << ", not " << nc << " x " << nl << " x 2";
    failRun(s.str());
  }
  const CImg<double> Ix = im_x.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0), Iy = im_y.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0),
                     It = im_t.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0);
  CImg<double> IxIx = Ix.get_mul(Ix), IyIy = Iy.get_mul(Iy), IxIy = Ix.get_mul(Iy), ItIx = It.get_mul(Ix),
               ItIy = It.get_mul(Iy);
  if (scale != 0) {
    blurDeriche(IxIx, scale);
    blurDeriche(IyIy, scale);
    blurDeriche(IxIy, scale);
    blurDeriche(ItIx, scale);
    blurDeriche(ItIy, scale);
  }
  const Setup S = makeSetup(who, nc, nl, &IxIx, &IxIy, &IyIy, data_out, lambda_S2, lambda_S2_cross, W, neta, lo);
  const int taille = 2 * nc * nl;

  CImg<double> X(nc, nl, 2, 1, 0.0);
  MV_Vector_double B(taille, 0.0);
  const CImg<double> Util = UVtil.get_slice(0), Vtil = UVtil.get_slice(1);
  fillRhs(S, B.data(), ItIx, ItIy, Util, Vtil);

  // The arrays are sized by what this assembly writes (nombre is only the expectation): a multiplier
  // or weight that was zero when nombre was counted adds entries.
  K41Csr A;
  if (nombre > 0) {
    A.val.resize(nombre);
    A.col_ind.resize(nombre);
  }
  fillGrowing(S, A);
  reportCountMismatch(A.nnz(), nombre);

  return solveIncrement(taille, A.nnz(), A.val.data(), A.row_ptr.data(), A.col_ind.data(), B, X, UV);
}

WeightLists listsOf(const CImgList<double>& z_right, const CImgList<double>& z_down,
                    const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                    const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                    const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp) {
  return imageWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp);
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
                  listsOf(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp),
                  scale, neta, lo, nombre);
}

// The variants pass constant weight lists, read as constants instead of images of that constant.
bool PrimalMinimizer_K41Long(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                             const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scaleSmooth,
                             int neta, int lo, int nombre) {
  return minimize("PrimalMinimizer_K41Long", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                  constantWeights(1.0, 0.0), scaleSmooth, neta, lo, nombre);
}

bool PrimalMinimizer_K41Long(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                             const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                             int nombre) {
  return minimize("PrimalMinimizer_K41Long", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                  constantWeights(1.0, 0.0), 1.0f, neta, lo, nombre);
}

bool PrimalMinimizer_K41LongTrans(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                  const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                  const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                                  int nombre) {
  return minimize("PrimalMinimizer_K41LongTrans", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2,
                  lambda_S2_cross, constantWeights(1.0, 1.0), 1.0f, neta, lo, nombre);
}

bool PrimalMinimizer_Gen_BruhnAndAl(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                    const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                    const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scale,
                                    int lo, int nombre) {
  return minimize("PrimalMinimizer_Gen_BruhnAndAl", UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2,
                  lambda_S2_cross, constantWeights(1.0, 1.0), scale, 1, lo, nombre);
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
                  listsOf(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp),
                  scale, 1, lo, nombre);
}
