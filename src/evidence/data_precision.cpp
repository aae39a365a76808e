// Data energy and the evidence-maximising data precision of a level.
#include "evidence/data_precision.h"

#include <cmath>
#include <iostream>

#include "evidence/derivative_products.h"
#include "evidence/trace.h"
#include "field/field.h"
#include "primal/primal.h"

using namespace cimg_library;
using evidence_detail::kNaN;

double DataEnergy(const CImg<double>& U, const CImg<double>& V, const CImg<double>& IxIx, const CImg<double>& IyIy,
                  const CImg<double>& IxIy, const CImg<double>& ItIx, const CImg<double>& ItIy,
                  const CImg<double>& ItIt, CImg<double> data_out) {
  const size_t n = U.size();
  for (const CImg<double>* im : {&V, &IxIx, &IyIy, &IxIy, &ItIx, &ItIy, &ItIt, (const CImg<double>*)&data_out})
    if (im->size() < n) {
      std::cout << "Error : images of different sizes (in data energy)" << std::endl;
      return kNaN;
    }
  const double *u = U.data(), *v = V.data(), *xx = IxIx.data(), *yy = IyIy.data(), *xy = IxIy.data(),
               *tx = ItIx.data(), *ty = ItIy.data(), *tt = ItIt.data(), *d = data_out.data();
  // Two image sums, each in pixel order: the quadratic bracket, then the linear one.
  double quadratic = 0.0;
  for (size_t p = 0; p < n; p++) quadratic += (xx[p] * (u[p] * u[p]) + 2 * xy[p] * u[p] * v[p] + yy[p] * (v[p] * v[p])) * d[p];
  double linear = 0.0;
  for (size_t p = 0; p < n; p++) linear += (tx[p] * u[p] + ty[p] * v[p] + 0.5 * tt[p]) * d[p];
  return linear + 0.5 * quadratic;
}

double evidence_beta_Gen_Rob_BruhnAndAl(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                                        const CImg<double>& im_t, const CImg<double>& data_out,
                                        const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                        const CImgList<double>& z_right, const CImgList<double>& z_down,
                                        const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                        const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                        const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
                                        float scale, int neta, int lo, int nombre, int nbIt, double tol, double s,
                                        K41LevelSystem* level) {
  const int nc = im_x.width(), nl = im_x.height();
  if (nc * nl == 0 || UV.depth() < 2) {
    std::cout << "Error : empty images or a motion field without two planes (in data precision)" << std::endl;
    return kNaN;
  }
  const evidence_detail::DerivativeProducts P(im_x, im_y, im_t, scale);

  const K41LevelSystem::Factored kept =
      level ? level->factoredHessian(P.IxIx, P.IxIy, P.IyIy, data_out, lambda_S2, lambda_S2_cross, neta, lo, nombre)
            : K41LevelSystem::Factored{};
  K41Csr own;
  if (!kept.A)
    fillingSparseHessian_A(own, P.IxIx, P.IxIy, P.IyIy, data_out, lambda_S2, lambda_S2_cross, z_right, z_down,
                           z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, neta, lo, nc, nl,
                           nombre);
  // The estimator only reads the arrays.
  K41Csr& A = kept.A ? const_cast<K41Csr&>(*kept.A) : own;
  const int taille = 2 * nc * nl;
  const double trace = CGS_randomB_traceInvAA0(taille, A.nnz(), A.val.data(), A.row_ptr.data(), A.col_ind.data(),
                                               P.IxIx, P.IxIy, P.IyIy, data_out, nbIt, tol, kept.M, kept.work);

  const CImg<double> scaled = data_out * s;
  const double E = P.energy(UV, scaled);
  const double N = binarize(scaled, 0).sum();
  if (E == 0 || !std::isfinite(E)) {
    std::cout << "Error : data energy " << E << " (in data precision): beta undefined" << std::endl;
    return kNaN;
  }
  const double beta = (N - trace) / (2 * E);
  if (beta < 0)
    std::cout << "Error : negative data misfit (=" << N << "- " << trace << " / " << 2 * E << " < 0)" << std::endl;
  return beta;
}

namespace {

// The variants with fixed lag weights: longitudinal 1, transverse `transverse`, for lags neta to lo.
double betaFixedWeights(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                        const CImg<double>& im_t, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                        const CImg<double>& lambda_S2_cross, double transverse, float scale, int neta, int lo,
                        int nombre, int nbIt, double tol, double s, K41LevelSystem* level = nullptr) {
  const evidence_detail::FixedLagWeights w(lo - neta + 1, UV.width(), UV.height(), transverse);
  return evidence_beta_Gen_Rob_BruhnAndAl(UV, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, w.lon, w.lon,
                                          w.lon, w.lon, w.trans, w.trans, w.trans, w.trans, scale, neta, lo, nombre,
                                          nbIt, tol, s, level);
}

}  // namespace

double evidence_betaLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                         const CImg<double>& im_t, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                         const CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo, int nombre,
                         int nbIt, double tol, double s, K41LevelSystem* level) {
  return betaFixedWeights(UV, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 0.0, scaleSmooth, neta, lo,
                          nombre, nbIt, tol, s, level);
}

double evidence_betaLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                         const CImg<double>& im_t, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                         const CImg<double>& lambda_S2_cross, int neta, int lo, int nombre, int nbIt, double tol,
                         double s) {
  return evidence_betaLong(UV, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0f, neta, lo, nombre, nbIt,
                           tol, s);
}

double evidence_betaLongTrans(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                              const CImg<double>& im_t, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                              const CImg<double>& lambda_S2_cross, int neta, int lo, int nombre, int nbIt,
                              double tol, double s) {
  return betaFixedWeights(UV, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0, 1.0f, neta, lo, nombre,
                          nbIt, tol, s);
}

double evidence_beta_Gen_BruhnAndAl(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                                    const CImg<double>& im_t, const CImg<double>& data_out,
                                    const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scale,
                                    int neta, int lo, int nombre, int nbIt, double tol, double s) {
  return betaFixedWeights(UV, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0, scale, neta, lo, nombre,
                          nbIt, tol, s);
}
