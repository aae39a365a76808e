#include "support/smooth_level.h"

#include <cmath>
#include <random>

using namespace cimg_library;

namespace {
CImg<double> floatExact(const CImg<double>& im) { return CImg<double>(CImg<float>(im)); }
}  // namespace

SmoothMotionLevel makeSmoothMotionLevel(int nc, int nl, unsigned seed, double amplitude) {
  const double twoPi = 6.283185307179586;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> phase(0, twoPi);
  const double p1 = phase(gen), p2 = phase(gen), p3 = phase(gen);
  CImg<double> ix(nc, nl), iy(nc, nl), it(nc, nl), truth(nc, nl, 2);
  cimg_forXY(ix, x, y) {
    // gradient of I = sin(0.7 x + p1) cos(0.5 y + p2) + 0.5 sin(0.3 x + 0.9 y + p3)
    ix(x, y) = 0.7 * std::cos(0.7 * x + p1) * std::cos(0.5 * y + p2) + 0.15 * std::cos(0.3 * x + 0.9 * y + p3);
    iy(x, y) = -0.5 * std::sin(0.7 * x + p1) * std::sin(0.5 * y + p2) + 0.45 * std::cos(0.3 * x + 0.9 * y + p3);
    truth(x, y, 0) = amplitude * std::sin(twoPi * x / nc) * std::cos(twoPi * y / nl);
    truth(x, y, 1) = -amplitude * std::cos(twoPi * x / nc) * std::sin(twoPi * y / nl);
  }
  SmoothMotionLevel L;
  L.f_x = floatExact(ix);
  L.f_y = floatExact(iy);
  L.trueUV = floatExact(truth);
  cimg_forXY(it, x, y) it(x, y) = -(L.f_x(x, y) * L.trueUV(x, y, 0) + L.f_y(x, y) * L.trueUV(x, y, 1));
  L.f_t = floatExact(it);
  return L;
}
