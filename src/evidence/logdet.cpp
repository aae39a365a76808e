// Log-determinant of the K41 Hessian under a fixed ring. The rows are built by the K41 stencil builder
// with the ring conditions imposed on each row's coefficients, which keeps the stored pattern of the
// unconstrained system and turns every ring row into an identity row.
#include "evidence/logdet.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <iostream>

#include "evidence/derivative_products.h"
#include "primal/primal.h"
#include "sparse/sparse.h"

using namespace cimg_library;

using evidence_detail::kNaN;

namespace {

// The line of a ring-fixed Hessian with more entries than the storage the entry count reserves.
void reportDirichletCount(std::int64_t entries, int nombre) {
  if (entries > logdetCapacity(nombre))
    std::cout << "ERROR : number non zero elements in Hessian matrix with Dirichlet conditions !!! " << entries
              << std::endl;
}

}  // namespace

int logdetCapacity(int nombre) {
  if (nombre <= 0) return 0;
  const double capacity = 1.2 * nombre;
  return capacity >= (double)INT_MAX ? INT_MAX : (int)capacity;  // no int overflow for huge counts
}

bool fillDirichletHessian(K41Csr& H, const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                          const CImg<double>& data_out, const CImg<double>& lambda_S2,
                          const CImg<double>& lambda_S2_cross, const CImgList<double>& z_right,
                          const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                          const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                          const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                          const CImgList<double>& z_t_rightUp, int neta, int lo, int nombre) {
  const int nc = IxIx.width(), nl = IxIx.height();
  const std::int64_t taille = 2 * (std::int64_t)nc * nl;
  if (taille == 0) {
    std::cout << "Error : empty images (in log-determinant)" << std::endl;
    return false;
  }
  if (taille + 1 > INT_MAX) {
    std::cout << "Error : system of " << taille << " unknowns too large (in log-determinant)" << std::endl;
    return false;
  }
  const int capacity = logdetCapacity(nombre);
  H.val.assign((size_t)capacity, 0.0);
  H.col_ind.assign((size_t)capacity, 0);
  if (!fillingSparseHessianRingFixed_A(H, IxIx, IxIy, IyIy, data_out, lambda_S2, lambda_S2_cross, z_right, z_down,
                                       z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, neta,
                                       lo)) {
    std::cout << "Error : more Hessian entries than int indices can address (in log-determinant)" << std::endl;
    return false;
  }
  reportDirichletCount(H.nnz(), nombre);
  return true;
}

double logdetA(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& /*im_t*/,
               CImg<double> data_out, const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
               const CImgList<double>& z_right, const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
               const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
               const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp, float scale, int neta,
               int lo, int nombre, K41LevelSystem* level) {
  const int nc = im_x.width(), nl = im_x.height();
  if ((double)lo > nc * 0.5 || (double)lo > nl * 0.5)
    std::cout << "Error : lo must respect lo <= nc/2 and lo <= nl/2" << std::endl;
  using evidence_detail::product;
  const CImg<double> IxIx = product(im_x, im_x, scale), IyIy = product(im_y, im_y, scale),
                     IxIy = product(im_x, im_y, scale);
  int entries = 0;
  CompRow_ILUPreconditioner_double* kept =
      level ? level->ringFixedFactor(IxIx, IxIy, IyIy, data_out, lambda_S2, lambda_S2_cross, neta, lo, entries)
            : nullptr;
  double value;
  if (kept) {
    reportDirichletCount(entries, nombre);
    value = kept->logDetLP();
  } else {
    K41Csr H;
    if (!fillDirichletHessian(H, IxIx, IxIy, IyIy, data_out, lambda_S2, lambda_S2_cross, z_right, z_down,
                              z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, neta, lo,
                              nombre))
      return kNaN;
    const int taille = (int)H.row_ptr.size() - 1;
    value = ILU_logDetA(taille, H.nnz(), H.val.data(), H.row_ptr.data(), H.col_ind.data());
  }
  if (!std::isfinite(value)) {
    std::cout << "Error : zero or non-finite pivot in the incomplete-LU log-determinant (" << value << ")"
              << std::endl;
    return kNaN;
  }
  return value;
}

namespace {

// The variants with fixed lag weights: longitudinal 1, transverse `transverse`, for lags neta to lo.
double logdetFixedWeights(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                          const CImg<double>& data_out, const CImg<double>& lambda_S2,
                          const CImg<double>& lambda_S2_cross, double transverse, float scale, int neta, int lo,
                          int nombre) {
  const evidence_detail::FixedLagWeights w(lo - neta + 1, im_x.width(), im_x.height(), transverse);
  return logdetA(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, w.lon, w.lon, w.lon, w.lon, w.trans, w.trans,
                 w.trans, w.trans, scale, neta, lo, nombre);
}

}  // namespace

double logdetA_K41Long(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                       const CImg<double>& data_out, const CImg<double>& lambda_S2,
                       const CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo, int nombre) {
  return logdetFixedWeights(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 0.0, scaleSmooth, neta, lo,
                            nombre);
}

double logdetA_K41Long(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                       const CImg<double>& data_out, const CImg<double>& lambda_S2,
                       const CImg<double>& lambda_S2_cross, int neta, int lo, int nombre) {
  return logdetA_K41Long(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0f, neta, lo, nombre);
}

double logdetA_K41LongTrans(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                            const CImg<double>& data_out, const CImg<double>& lambda_S2,
                            const CImg<double>& lambda_S2_cross, int neta, int lo, int nombre) {
  return logdetFixedWeights(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0, 1.0f, neta, lo, nombre);
}

double logdetA_Gen_BruhnAndAl(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                              const CImg<double>& data_out, const CImg<double>& lambda_S2,
                              const CImg<double>& lambda_S2_cross, float scale, int lo, int nombre) {
  return logdetFixedWeights(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0, scale, 1, lo, nombre);
}

double logdetA_Gen_Rob_BruhnAndAl(const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& im_t,
                                  const CImg<double>& data_out, const CImg<double>& lambda_S2,
                                  const CImg<double>& lambda_S2_cross, float scale, const CImgList<double>& z_right,
                                  const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                                  const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                                  const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                                  const CImgList<double>& z_t_rightUp, int lo, int nombre) {
  return logdetA(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, z_right, z_down, z_rightDown, z_rightUp,
                 z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, scale, 1, lo, nombre);
}
