// Internal to the evidence code: pixelwise products of the image derivatives, optionally smoothed.
#pragma once

#include <CImg.h>

namespace evidence_detail {

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

}  // namespace evidence_detail
