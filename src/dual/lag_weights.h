// Internal to the structure-function code: uniform access to lag weights that come either from a
// weight list (one image per lag) or from a constant, so the constant-weight variants need not build
// lists of field-sized images. Both give w * term with the same operands, hence the same values.
#pragma once

#include "dual/structure_functions.h"
#include "io/fail.h"

#include <CImg.h>

#include <algorithm>
#include <iostream>
#include <sstream>

namespace dual_detail {

// Weights read from image j of a list, at (x, y), with the image's own width.
struct ListWeights {
  const cimg_library::CImgList<double>& list;
  double operator()(int j, int x, int y) const {
    const cimg_library::CImg<double>& im = list[j];
    return im.data()[x + (long)y * im.width()];
  }
  // Whether the values of image j sum to a non-zero number.
  bool imageSumNonZero(int j) const { return list[j].sum() != 0.0; }
  bool zero() const { return false; }  // not known to be 0 everywhere
};

// The same weight everywhere.
struct ConstantWeights {
  double c;
  long pixels;  // pixel count of the lists this constant stands for
  double operator()(int, int, int) const { return c; }
  bool imageSumNonZero(int) const { return pixels > 0 && c != 0.0; }
  bool zero() const { return c == 0.0; }
};

// Refuses a field that is not a two-plane image.
inline void checkMotionField(const cimg_library::CImg<double>& UV, const char* what) {
  if (UV.depth() < 2 && !UV.is_empty())
    failRun(std::string(what) + ": motion field needs two planes (u, v)");
}

// Checks the field (messages name `what`) and runs pass(wl, wt) with the constant longitudinal weight
// zLong and transverse weight zTrans, both standing for lists of field-sized images.
template <class Pass>
cimg_library::CImg<double> withConstantWeights(const cimg_library::CImg<double>& UV, double zLong, double zTrans,
                                               const char* what, Pass pass) {
  checkMotionField(UV, what);
  const long pixels = (long)UV.width() * UV.height();
  const ConstantWeights wl{zLong, pixels}, wt{zTrans, pixels};
  return pass(wl, wt);
}

// Refuses (message, exit status 1) weight lists with too few images or images smaller than the field.
inline void checkWeightList(const cimg_library::CImgList<double>& list, int images, int nc, int nl,
                            const char* what) {
  if (images <= 0) return;
  bool ok = (int)list.size() >= images;
  for (int j = 0; ok && j < images; ++j)
    ok = list[j].width() >= nc && list[j].height() >= nl;
  if (!ok) {
    std::ostringstream msg;
    msg << what << ": weight list needs " << images << " images of at least " << nc << " x " << nl;
    failRun(msg.str());
  }
}

// Refuses a field or horizontal/vertical weight lists that do not cover lags neta..lo.
inline void checkHVLists(const cimg_library::CImg<double>& UV, int neta, int lo,
                         const cimg_library::CImgList<double>& a, const cimg_library::CImgList<double>& b,
                         const cimg_library::CImgList<double>& c, const cimg_library::CImgList<double>& d,
                         const char* what) {
  checkMotionField(UV, what);
  const int n = lo - neta + 1;
  for (const cimg_library::CImgList<double>* L : {&a, &b, &c, &d}) checkWeightList(*L, n, UV.width(), UV.height(), what);
}

// Refuses a field or diagonal weight lists that do not cover the diagonal indices of [neta, lo].
inline void checkCrossLists(const cimg_library::CImg<double>& UV, int neta, int lo,
                            const cimg_library::CImgList<double>& a, const cimg_library::CImgList<double>& b,
                            const cimg_library::CImgList<double>& c, const cimg_library::CImgList<double>& d,
                            const char* what) {
  checkMotionField(UV, what);
  const int n = std::min(diagonalLastIndex(lo), lo) - diagonalFirstIndex(neta) + 1;
  for (const cimg_library::CImgList<double>* L : {&a, &b, &c, &d}) checkWeightList(*L, n, UV.width(), UV.height(), what);
}

// The scale-interval message of the structure functions (printed, never enforced).
inline void warnScaleInterval(int lo, int nc, int nl) {
  if ((double)lo > nc * 0.5 || (double)lo > nl * 0.5)
    std::cout << "Error : lo must respect lo <= nc/2 and lo <= nl/2" << std::endl;
}

// A structure-function vector of lo + 1 zeros (empty when lo < 0).
inline cimg_library::CImg<double> zeroVector(int lo) {
  cimg_library::CImg<double> S2(std::max(lo + 1, 0));
  S2.fill(0.0);
  return S2;
}

}  // namespace dual_detail
