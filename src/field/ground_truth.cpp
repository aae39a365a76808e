#include "field/ground_truth.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include <CImg.h>

#include "io/fail.h"
#include "io/pgm.h"

using namespace cimg_library;

namespace {

std::string sizeText(const CImg<double>& im) {
  return std::to_string(im.width()) + " x " + std::to_string(im.height()) + " x " +
         std::to_string(im.depth());
}

}  // namespace

std::string angularErrorMapName(const std::string& filename) { return filename + "Barron.pgm"; }
std::string endPointErrorMapName(const std::string& filename) { return filename + "EndPoint.pgm"; }

void groundTruthComparison(const CImg<double>& XOrig, const CImg<double>& trueUV, const CImg<double>& maskFlag,
                           const std::string& filename, CImg<double>& save) {
  const int w = trueUV.width(), h = trueUV.height();
  if (XOrig.width() != w || XOrig.height() != h || maskFlag.width() != w || maskFlag.height() != h ||
      XOrig.depth() < 2 || trueUV.depth() < 2 || maskFlag.depth() < 1)
    failRun("groundTruthComparison (maps '" + filename + "'): the estimate (" + sizeText(XOrig) +
            "), the truth (" + sizeText(trueUV) + ") and the mask (" + sizeText(maskFlag) +
            ") must be two fields and a mask of the same width and height");
  if (save.size() < 14)
    failRun("groundTruthComparison (maps '" + filename + "'): the result vector holds " +
            std::to_string(save.size()) + " values, fewer than 14");
  // Map names of any length, like every other output name of a run.
  const std::string barronName = angularErrorMapName(filename);
  const std::string endPointName = endPointErrorMapName(filename);

  const size_t n = (size_t)w * (size_t)h;
  const double* ue = XOrig.data(0, 0, 0);
  const double* ve = XOrig.data(0, 0, 1);
  const double* ut = trueUV.data(0, 0, 0);
  const double* vt = trueUV.data(0, 0, 1);
  const double* m = maskFlag.data();

  double M = 0;
  for (size_t k = 0; k < n; ++k) M += m[k];
  if (M == 0) {
    std::cout << "groundTruthComparison: the mask sums to 0, no comparison (maps '" << filename
              << "' not written)" << std::endl;
    return;
  }

  CImg<double> e(w, h), a(w, h);
  double sumE = 0, sumA = 0, sumSq = 0;
  for (size_t k = 0; k < n; ++k) {
    const double du = ue[k] - ut[k], dv = ve[k] - vt[k];
    const double sq = du * du + dv * dv;
    e[k] = std::sqrt(sq);
    double r = (ue[k] * ut[k] + ve[k] * vt[k] + 1) /
               (std::sqrt(ue[k] * ue[k] + ve[k] * ve[k] + 1) * std::sqrt(ut[k] * ut[k] + vt[k] * vt[k] + 1));
    // Rounding can carry the cosine just outside [-1, 1] where the arc cosine is not defined.
    if (r > 1) r = 1;
    if (r < -1) r = -1;
    a[k] = std::acos(r);
    sumE += m[k] * e[k];
    sumA += m[k] * a[k];
    sumSq += m[k] * sq;
  }

  const double EPE = sumE / M;
  std::cout << "End Point Error :" << EPE << "; ";
  save[11] = EPE;

  const double AE = sumA / M * 57.29577951308232;
  std::cout << "Barron angular error :" << AE << "; ";
  save[12] = AE;

  // The masked angle in degrees, 0 to 30 onto the byte range.
  CImg<double> map(w, h);
  for (size_t k = 0; k < n; ++k) map[k] = a[k] * m[k] * 180 * 0.3183098861837907;
  write_pgm255(map, barronName, 0, 30);

  const double RMS = std::sqrt(sumSq / M);
  std::cout << "RMS difference with true UV :" << RMS << std::endl;
  save[13] = RMS;

  // The masked end-point error, 0 to 0.7 pixel onto the byte range.
  for (size_t k = 0; k < n; ++k) map[k] = e[k] * m[k];
  write_pgm255(map, endPointName, 0, 0.7f);
}

void groundTruthComparison(const CImg<double>& XOrig, const CImg<double>& trueUV, const CImg<double>& maskFlag,
                           const std::string& filename) {
  CImg<double> save(20, 1, 1, 1, 0.0);
  groundTruthComparison(XOrig, trueUV, maskFlag, filename, save);
}

void groundTruthComparison(const CImg<double>& XOrig, const CImg<double>& trueUV) {
  const CImg<double> mask(trueUV.width(), trueUV.height(), 1, 1, 1.0);
  groundTruthComparison(XOrig, trueUV, mask, "toBeErased");
}
