#include "field/pyramid.h"

#include <cmath>
#include <string>

#include <CImg.h>

#include "field/missing_sample.h"
#include "io/fail.h"

using namespace cimg_library;

namespace {

void refuseCoarse(int coarse) {
  if (coarse >= kPyramidEntries)
    failRun("Pyramid: coarse index " + std::to_string(coarse) + " asks for more than " +
            std::to_string(kPyramidEntries) + " entries");
}

// Which samples count as missing, and how a mostly missing output is marked.
struct MissingRule {
  bool periodic;      // one-step wrap instead of replicated border
  bool absolute;      // missing when |v| >= limit (else when v >= limit)
  double limit;       // max - 1
  double marker;      // max
  bool negativeMark;  // -marker once a sample <= -limit has been met in the call
};

inline int borderIndex(int i, int n, bool periodic) {
  if (periodic) {
    // One step of wrap-around; the remainder keeps tiny images inside as well.
    if (i < 0) i = n - 1 - ((-i - 1) % n);
    else if (i >= n) i = i % n;
    return i;
  }
  return i < 0 ? 0 : i >= n ? n - 1 : i;
}

CImg<double> missingDataFilter(const CImg<double>& b, const CImg<double>& filtre, const MissingRule& rule) {
  const int w = b.width(), h = b.height();
  if (w == 0 || h == 0) return CImg<double>();
  const int kw = filtre.width(), kh = filtre.height();
  const int hc = kw / 2, ha = kh / 2;
  // Kernel total in buffer order (plane 0 of the kernel).
  double sum = 0;
  for (int k = 0; k < kh; ++k)
    for (int i = 0; i < kw; ++i) sum += filtre(i, k);

  CImg<double> out(w, h, 1, 1, 0.0);
  const double* src = b.data();  // plane 0 of channel 0
  bool negatif = false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double o = 0, aux = 0;
      for (int k = -ha; k <= ha; ++k) {
        const int yy = borderIndex(y + k, h, rule.periodic);
        for (int i = -hc; i <= hc; ++i) {
          const int xx = borderIndex(x + i, w, rule.periodic);
          const double v = src[xx + (long long)yy * w];
          // A kernel of even size reads one tap beyond its last column or line: that tap weighs 0.
          const double wgt = (i + hc < kw && k + ha < kh) ? filtre(i + hc, k + ha) : 0.0;
          const bool missing = rule.absolute ? std::fabs(v) >= rule.limit : v >= rule.limit;
          if (missing)
            aux += wgt;
          else
            o += v * wgt;
          if (rule.negativeMark && v <= -rule.limit) negatif = true;
        }
      }
      if (aux > 0) o = o / (sum - aux);
      if (aux > 0.5 * sum) o = (rule.negativeMark && negatif) ? -rule.marker : rule.marker;
      out(x, y) = o;
    }
  return out;
}

}  // namespace

CImgList<double> alloc_pyramid(int nc, int nl, int nslice, int coarse) {
  refuseCoarse(coarse);
  CImgList<double> pyr(kPyramidEntries);
  for (int k = 0; k <= coarse; ++k) {
    const int w = (nc >> coarse) << (coarse - k), h = (nl >> coarse) << (coarse - k);
    if (w > 0 && h > 0 && nslice > 0) pyr[k].assign(w, h, nslice, 1, 0.0);
  }
  return pyr;
}

CImgList<double> alloc_pyramid(int nc, int coarse) {
  refuseCoarse(coarse);
  CImgList<double> pyr(kPyramidEntries);
  for (int k = 0; k <= coarse; ++k) {
    const long long n = (long long)(nc >> k) + 1;  // 64 bits: no wrap-around for the largest int
    pyr[k].assign(n > 2 ? (unsigned int)n : 2u, 1, 1, 1, 0.0);
  }
  return pyr;
}

CImg<double> Filtre_2D_sparse(const CImg<double>& b, const CImg<double>& filtre) {
  return Filtre_2D_sparse(b, filtre, kMissingMarker);
}

CImg<double> Filtre_2D_sparse(const CImg<double>& b, const CImg<double>& filtre, int max) {
  return missingDataFilter(b, filtre, MissingRule{false, true, (double)max - 1, (double)max, true});
}

CImg<double> Filtre_2D_sparse(const CImg<double>& b, const CImg<double>& filtre, bool periodic) {
  return Filtre_2D_sparse(b, filtre, periodic, kMissingMarker);
}

CImg<double> Filtre_2D_sparse(const CImg<double>& b, const CImg<double>& filtre, bool periodic, int max) {
  return missingDataFilter(b, filtre, MissingRule{periodic, false, (double)max - 1, (double)max, false});
}

CImg<double> burtKernel() {
  CImg<double> k(5, 1, 1, 1);
  k(0) = 0.05;
  k(1) = 0.25;
  k(2) = 0.4;
  k(3) = 0.25;
  k(4) = 0.05;
  return k;
}

CImg<double> coarserLevel(const CImg<double>& level, const CImg<double>& PB_burt, int width, int height) {
  const CImg<double> t1 = Filtre_2D_sparse(level, PB_burt);
  const CImg<double> t2 = Filtre_2D_sparse(t1, PB_burt.get_permute_axes("yxzc"));
  return resizeNearest(t2, width, height);
}

CImg<double> resizeNearest(const CImg<double>& in, int width, int height) {
  if (in.is_empty() || width <= 0 || height <= 0) return CImg<double>();
  return in.get_resize(width, height, -100, -100, 1);
}
