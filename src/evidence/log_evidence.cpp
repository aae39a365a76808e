// Minus the log evidence of the power-law hyper-parameters of a level, with its parts.
#include "evidence/log_evidence.h"

#include <cmath>
#include <iostream>

#include "evidence/data_precision.h"
#include "evidence/derivative_products.h"
#include "evidence/logdet.h"
#include "field/field.h"

using namespace cimg_library;
using evidence_detail::kNaN;

double evidence_powerLaw_Gen_Rob_BruhnAndAl(const CImg<double>& UV, const CImg<double>& im_x,
                                            const CImg<double>& im_y, const CImg<double>& im_t,
                                            const CImg<double>& data_out, double beta, const CImg<double>& lambda_S2,
                                            const CImg<double>& lambda_S2_cross, const CImgList<double>& z_right,
                                            const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                                            const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                                            const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                                            const CImgList<double>& z_t_rightUp, float scale, int neta, int lo,
                                            int nombre, double s, CImg<double>& save, K41LevelSystem* level) {
  if (im_x.is_empty() || UV.depth() < 2) {
    std::cout << "Error : empty images or a motion field without two planes (in log evidence)" << std::endl;
    return kNaN;
  }
  const CImg<double> scaled = data_out * s;
  const double E = evidence_detail::DerivativeProducts(im_x, im_y, im_t, scale).energy(UV, scaled);

  const double logdetPost = logdetA(im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, z_right, z_down,
                                    z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, scale,
                                    neta, lo, nombre, level);
  const CImg<double> noData(data_out.width(), data_out.height(), data_out.depth(), data_out.spectrum(), 0.0);
  const double logdetPrior = logdetA(im_x, im_y, im_t, noData, lambda_S2, lambda_S2_cross, z_right, z_down,
                                     z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, scale,
                                     neta, lo, nombre, level);

  const double N = binarize(scaled, 0).sum();
  double minusLogOccam_part1 = N * (1.8378770664093453 - std::log(beta));  // ln(2 pi) - ln beta per pixel
  minusLogOccam_part1 = minusLogOccam_part1 - treshold_minmax(scaled, 0, 1e30, 1).log().sum();
  double minusLogOccam_part3 = -std::log(beta / E);

  // ln beta and ln(beta / E) need a positive beta and a positive data energy.
  const bool betaPositive = beta > 0, energyPositive = E > 0;
  if ((!betaPositive && !std::isnan(beta)) || (!energyPositive && !std::isnan(E))) {
    std::cout << "Error : data precision " << beta << " and data energy " << E
              << " must be positive: minus log evidence undefined" << std::endl;
  }
  if (!betaPositive) minusLogOccam_part1 = kNaN;
  if (!betaPositive || !energyPositive) minusLogOccam_part3 = kNaN;

  const double logdetRatio = logdetPost - logdetPrior;
  const double occam = 0.5 * ((minusLogOccam_part1 + minusLogOccam_part3) + logdetRatio);
  const double minusLogEvidence =
      0.5 * (((minusLogOccam_part1 + minusLogOccam_part3) + logdetRatio) + 2 * beta * E);

  std::cout << "-log evidence = data energy + -log occam = " << beta * E << " + " << occam << " = "
            << minusLogEvidence << std::endl;
  std::cout << "(-log occam= 0.5logDetRatio: " << 0.5 * logdetRatio
            << ", -0.5 sum logBeta+logZs-log2pi: " << 0.5 * minusLogOccam_part1
            << ", -0.5logBeta/F_d: " << 0.5 * minusLogOccam_part3 << " )" << std::endl;

  if (save.size() < 8) {
    std::cout << "Error : result vector of " << save.size() << " values, slots 2 to 7 not written" << std::endl;
    return minusLogEvidence;
  }
  save[2] = minusLogEvidence;
  save[3] = beta * E;
  save[4] = occam;
  save[5] = 0.5 * logdetRatio;
  save[6] = 0.5 * minusLogOccam_part1;
  save[7] = 0.5 * minusLogOccam_part3;
  return minusLogEvidence;
}

namespace {

// The variants with fixed lag weights: longitudinal 1, transverse `transverse`, for lags neta to lo.
double powerLawFixedWeights(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                            const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                            const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, double transverse,
                            float scale, int neta, int lo, int nombre, double s, CImg<double>& save,
                            K41LevelSystem* level = nullptr) {
  const evidence_detail::FixedLagWeights w(lo - neta + 1, UV.width(), UV.height(), transverse);
  return evidence_powerLaw_Gen_Rob_BruhnAndAl(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, w.lon,
                                              w.lon, w.lon, w.lon, w.trans, w.trans, w.trans, w.trans, scale, neta, lo,
                                              nombre, s, save, level);
}

}  // namespace

double evidence_powerLawLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                             const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int scaleSmooth,
                             int neta, int lo, int nombre, double s, CImg<double>& save, K41LevelSystem* level) {
  return powerLawFixedWeights(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, 0.0,
                              (float)scaleSmooth, neta, lo, nombre, s, save, level);
}

double evidence_powerLawLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                             const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scaleSmooth,
                             int neta, int lo, int nombre, double s) {
  CImg<double> save(20, 1, 1, 1, 0.0);
  return powerLawFixedWeights(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, 0.0, scaleSmooth,
                              neta, lo, nombre, s, save);
}

double evidence_powerLawLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                             const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                             int nombre, double s, CImg<double>& save) {
  return powerLawFixedWeights(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, 0.0, 1.0f, neta, lo,
                              nombre, s, save);
}

double evidence_powerLawLong(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                             const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                             const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                             int nombre, double s) {
  CImg<double> save(20, 1, 1, 1, 0.0);
  return evidence_powerLawLong(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, neta, lo, nombre, s,
                               save);
}

double evidence_powerLawLongTrans(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                                  const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                                  const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta,
                                  int lo, int nombre, double s, CImg<double>& save) {
  return powerLawFixedWeights(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, 1.0, 1.0f, neta, lo,
                              nombre, s, save);
}

double evidence_powerLawLongTrans(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                                  const CImg<double>& im_t, const CImg<double>& data_out, double beta,
                                  const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta,
                                  int lo, int nombre, double s) {
  CImg<double> save(20, 1, 1, 1, 0.0);
  return evidence_powerLawLongTrans(UV, im_x, im_y, im_t, data_out, beta, lambda_S2, lambda_S2_cross, neta, lo,
                                    nombre, s, save);
}
