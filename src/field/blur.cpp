#include "field/blur.h"

using namespace cimg_library;

void blurDeriche(CImg<double>& im, float sigma) {
  if (im.is_empty() || !(sigma > 0)) return;
  if (im.width() > 1) im.deriche(sigma, 0, 'x', 1);
  if (im.height() > 1) im.deriche(sigma, 0, 'y', 1);
  if (im.depth() > 1) im.deriche(sigma, 0, 'z', 1);
}
