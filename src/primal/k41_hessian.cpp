// Entry count and compressed-row fill of the K41 Hessian, and the count's weight-list variants.
#include <CImg.h>

#include <climits>
#include <iostream>
#include <sstream>

#include "io/fail.h"
#include "primal/k41.h"
#include "primal/k41_detail.h"

using namespace cimg_library;
using namespace k41_detail;

namespace {

// Count with the derivative products formed (and smoothed) here.
int countWith(const char* who, const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& data_out,
              const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const WeightLists& W, float scale,
              int neta, int lo) {
  checkScaleInterval(who, neta, lo);
  const int nc = im_x.width(), nl = im_x.height();
  reportLoLimit(nc, nl, lo);
  if (im_y.width() < nc || im_y.height() < nl) failRun(std::string(who) + ": im_y is smaller than im_x");
  CImg<double> IxIx = im_x.get_mul(im_x);
  CImg<double> IyIy = im_y.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0);
  IyIy.mul(IyIy);
  CImg<double> IxIy = im_x.get_mul(im_y.get_crop(0, 0, 0, 0, nc - 1, nl - 1, 0, 0));
  if (scale != 0) {
    blurDeriche(IxIx, scale);
    blurDeriche(IyIy, scale);
    blurDeriche(IxIy, scale);
  }
  const Setup S = makeSetup(who, nc, nl, &IxIx, &IxIy, &IyIy, data_out, lambda_S2, lambda_S2_cross, W, neta, lo);
  const std::int64_t count = countEntries(S);
  if (count > INT_MAX) {
    std::ostringstream s;
    s << who << ": the K41 system needs " << count << " entries, more than 32-bit indices can address";
    failRun(s.str());
  }
  return (int)count;
}

Setup fillSetup(const char* who, const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                const CImg<double>& data_out, const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                const WeightLists& W, int neta, int lo, int nc, int nl) {
  return makeSetup(who, nc, nl, &IxIx, &IxIy, &IyIy, data_out, lambda_S2, lambda_S2_cross, W, neta, lo);
}

}  // namespace

int NumberNonZeroElementInHessian(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& data_out,
                                  const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                  const CImgList<double>& z_right, const CImgList<double>& z_down,
                                  const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                  const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                  const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
                                  float scale, int neta, int lo) {
  return countWith("NumberNonZeroElementInHessian", im_x, im_y, data_out, lambda_S2, lambda_S2_cross,
                   k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown,
                                z_t_rightUp),
                   scale, neta, lo);
}

// The variants pass constant weight lists (every image of a list holds the same value), read as
// constants instead of images: the same operands, hence the same count.
int NumberNonZeroElementInHessian_K41Long(const CImg<double>& im_x, const CImg<double>& im_y, CImg<double> data_out,
                                          const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                          float scaleSmooth, int neta, int lo) {
  return countWith("NumberNonZeroElementInHessian_K41Long", im_x, im_y, data_out, lambda_S2, lambda_S2_cross,
                   k41ConstantWeights(1.0, 0.0), scaleSmooth, neta, lo);
}

int NumberNonZeroElementInHessian_K41Long(const CImg<double>& im_x, const CImg<double>& im_y, CImg<double> data_out,
                                          const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta,
                                          int lo) {
  return countWith("NumberNonZeroElementInHessian_K41Long", im_x, im_y, data_out, lambda_S2, lambda_S2_cross,
                   k41ConstantWeights(1.0, 0.0), 1.0f, neta, lo);
}

int NumberNonZeroElementInHessian_K41LongTrans(const CImg<double>& im_x, const CImg<double>& im_y,
                                               CImg<double> data_out, const CImg<double>& lambda_S2,
                                               const CImg<double>& lambda_S2_cross, int neta, int lo) {
  return countWith("NumberNonZeroElementInHessian_K41LongTrans", im_x, im_y, data_out, lambda_S2, lambda_S2_cross,
                   k41ConstantWeights(1.0, 1.0), 1.0f, neta, lo);
}

int NumberNonZeroElementInHessian_Gen_BruhnAndAl(const CImg<double>& im_x, const CImg<double>& im_y,
                                                 CImg<double> data_out, const CImg<double>& lambda_S2,
                                                 const CImg<double>& lambda_S2_cross, float scale, int lo) {
  return countWith("NumberNonZeroElementInHessian_Gen_BruhnAndAl", im_x, im_y, data_out, lambda_S2,
                   lambda_S2_cross, k41ConstantWeights(1.0, 1.0), scale, 1, lo);
}

int NumberNonZeroElementInHessian_Gen_Rob_BruhnAndAl(
    const CImg<double>& im_x, const CImg<double>& im_y, CImg<double> data_out, const CImg<double>& lambda_S2,
    const CImg<double>& lambda_S2_cross, const CImgList<double>& z_right, const CImgList<double>& z_down,
    const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
    const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
    float scale, int lo) {
  return countWith("NumberNonZeroElementInHessian_Gen_Rob_BruhnAndAl", im_x, im_y, data_out, lambda_S2,
                   lambda_S2_cross,
                   k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown,
                                z_t_rightUp),
                   scale, 1, lo);
}

void fillingSparseHessian_A(double* val, int* col_ind, int* row_ptr, const CImg<double>& IxIx,
                            const CImg<double>& IxIy, const CImg<double>& IyIy, const CImg<double>& data_out,
                            const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                            const CImgList<double>& z_right, const CImgList<double>& z_down,
                            const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                            const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                            const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp, int neta,
                            int lo, int nc, int nl, int nombre) {
  const char* who = "fillingSparseHessian_A";
  const Setup S = fillSetup(who, IxIx, IxIy, IyIy, data_out, lambda_S2, lambda_S2_cross,
                            k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down,
                                         z_t_rightDown, z_t_rightUp),
                            neta, lo, nc, nl);
  const std::int64_t cap = nombre > 0 ? nombre : 0;
  std::int64_t k = writeHalf(S, false, val, col_ind, row_ptr, cap, 0);
  k = writeHalf(S, true, val, col_ind, row_ptr, cap, k);
  reportCountMismatch(k, nombre);
  if (k > cap) {
    std::ostringstream s;
    s << who << ": the arrays hold " << nombre << " entries but the system has " << k
      << " (count again with the current multipliers and weights)";
    failRun(s.str());
  }
}

void fillingSparseHessian_A(K41Csr& A, const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                            const CImg<double>& data_out, const CImg<double>& lambda_S2,
                            const CImg<double>& lambda_S2_cross, const CImgList<double>& z_right,
                            const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                            const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                            const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                            const CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl, int nombre) {
  const Setup S = fillSetup("fillingSparseHessian_A", IxIx, IxIy, IyIy, data_out, lambda_S2, lambda_S2_cross,
                            k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down,
                                         z_t_rightDown, z_t_rightUp),
                            neta, lo, nc, nl);
  if (nombre > 0 && A.val.size() < (size_t)nombre) {
    A.val.resize(nombre);
    A.col_ind.resize(nombre);
  }
  fillGrowing(S, A);
  reportCountMismatch(A.nnz(), nombre);
}

bool fillingSparseHessianRingFixed_A(K41Csr& A, const CImg<double>& IxIx, const CImg<double>& IxIy,
                                     const CImg<double>& IyIy, const CImg<double>& data_out,
                                     const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                     const CImgList<double>& z_right, const CImgList<double>& z_down,
                                     const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                     const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                     const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
                                     int neta, int lo) {
  const Setup S = fillSetup("fillingSparseHessianRingFixed_A", IxIx, IxIy, IyIy, data_out, lambda_S2,
                            lambda_S2_cross,
                            k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down,
                                         z_t_rightDown, z_t_rightUp),
                            neta, lo, IxIx.width(), IxIx.height());
  return fillGrowing(S, A, true);
}
