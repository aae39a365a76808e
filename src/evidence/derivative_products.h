// Internal to the evidence code: pixelwise products of the image derivatives, optionally smoothed, and
// the constant lag weight lists of the fixed-weight variants.
#pragma once

#include <CImg.h>

#include <limits>

#include "evidence/data_precision.h"
#include "primal/k41_stencil.h"

namespace evidence_detail {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Recursive Gaussian (Deriche) blur of standard deviation s along x, then y, then z, each axis only
// when the image has more than one sample along it; nothing for s <= 0 (or NaN) or an empty image.
inline void blurProduct(cimg_library::CImg<double>& im, float s) {
  if (im.is_empty() || !(s > 0)) return;
  if (im.width() > 1) im.deriche(s, 0, 'x', 1);
  if (im.height() > 1) im.deriche(s, 0, 'y', 1);
  if (im.depth() > 1) im.deriche(s, 0, 'z', 1);
}

// a * b pixel by pixel, then the blur above when scale is non-zero.
inline cimg_library::CImg<double> product(const cimg_library::CImg<double>& a, const cimg_library::CImg<double>& b,
                                          float scale) {
  cimg_library::CImg<double> p = a.get_mul(b);
  if (scale != 0) blurProduct(p, scale);
  return p;
}

// The six products that the data term reads, each formed and blurred as product() does.
struct DerivativeProducts {
  cimg_library::CImg<double> IxIx, IyIy, IxIy, ItIx, ItIy, ItIt;
  DerivativeProducts(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                     const cimg_library::CImg<double>& im_t, float scale)
      : IxIx(product(im_x, im_x, scale)), IyIy(product(im_y, im_y, scale)), IxIy(product(im_x, im_y, scale)),
        ItIx(product(im_t, im_x, scale)), ItIy(product(im_t, im_y, scale)), ItIt(product(im_t, im_t, scale)) {}
  // Data energy of the increment UV (plane 0 u, plane 1 v) under the data weights `weights`.
  double energy(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& weights) const {
    return DataEnergy(UV.get_slice(0), UV.get_slice(1), IxIx, IyIy, IxIy, ItIx, ItIy, ItIt, weights);
  }
};

// Lag weight lists of the fixed-weight variants for `count` lags on an nc x nl grid: the longitudinal
// weights 1, the transverse ones `transverse` (none for a count of 0 or below).
struct FixedLagWeights {
  ConstantLagWeights lonWeights, transWeights;
  const cimg_library::CImgList<double>&lon, &trans;
  FixedLagWeights(int count, int nc, int nl, double transverse)
      : lonWeights(count, nc, nl, 1.0),
        transWeights(count, nc, nl, transverse),
        lon(lonWeights.list),
        trans(transWeights.list) {}
};

}  // namespace evidence_detail
