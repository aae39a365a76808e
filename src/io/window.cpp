#include "io/window.h"

#include <climits>
#include <string>

#include <CImg.h>

#include "io/fail.h"

using namespace cimg_library;

namespace {

// Computed in 64 bits so that no size wraps around (a run refuses sizes beyond 32767 at start-up;
// for those the quotient is a 16-bit value, as the pyramid code has always taken it).
int padded(int n, int resol) {
  if (resol <= 0) return n;
  const long long T = 1LL << (resol < 30 ? resol : 30);
  if (n % T == 0) return n;
  const long long p = ((long long)n / T + 1) * T;
  if (p > INT_MAX)
    failRun("Padding: a size of " + std::to_string(n) + " cannot be padded to a multiple of " + std::to_string(T));
  return (int)p;
}

}  // namespace

void expand_dim(int nb_col, int nb_lig, int resol, int& nouv_nb_col, int& nouv_nb_lig) {
  nouv_nb_col = padded(nb_col, resol);
  nouv_nb_lig = padded(nb_lig, resol);
}

CImg<double> expand(const CImg<double>& imOrig, int nbResol) {
  int w = 0, h = 0;
  expand_dim(imOrig.width(), imOrig.height(), nbResol, w, h);
  const int d = imOrig.depth();
  CImg<double> out(w, h, d, 1, 0.0);
  for (int z = 0; z < d; ++z)
    for (int y = 0; y < imOrig.height(); ++y)
      for (int x = 0; x < imOrig.width(); ++x) out(x, y, z) = imOrig(x, y, z);
  return out;
}

bool windowInside(int ofx, int ofy, int dx, int dy, int width, int height) {
  return ofx >= 0 && ofy >= 0 && dx >= 0 && dy >= 0 && (long long)ofx + dx <= width &&
         (long long)ofy + dy <= height;
}

CImg<double> cropWindow(const CImg<double>& image, int ofx, int ofy, int dx, int dy, const std::string& what) {
  if (!windowInside(ofx, ofy, dx, dy, image.width(), image.height()))
    failRun(what + ": the window of " + std::to_string(dx) + " x " + std::to_string(dy) + " at (" +
            std::to_string(ofx) + ", " + std::to_string(ofy) + ") does not lie inside the image of " +
            std::to_string(image.width()) + " x " + std::to_string(image.height()));
  if (dx == 0 || dy == 0) return CImg<double>();
  return image.get_crop(ofx, ofy, 0, 0, ofx + dx - 1, ofy + dy - 1, 0, 0);
}
