#include <CImg.h>
#include <gtest/gtest.h>

#include <cmath>

#include "primal/primal.h"

using namespace cimg_library;

namespace {

CImg<double> ramp(int nc, int nl) {
  CImg<double> im(nc, nl, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = x;
  return im;
}

CImg<double> wavy(int nc, int nl) {
  CImg<double> im(nc, nl, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = std::sin(0.7 * x + 0.3) * std::cos(0.45 * y) + 0.01 * x * y;
  return im;
}

}  // namespace

TEST(Laplacian, ConstantRampAndPeriodicNeighbours) {
  for (bool periodic : {false, true}) {
    const CImg<double> l = laplacian(CImg<double>(5, 4, 1, 1, 3.25), periodic);
    EXPECT_TRUE(l.width() == 5 && l.height() == 4 && l.min() == 0.0 && l.max() == 0.0);
  }
  // A ramp: the clamped border sees the pixel itself, the periodic one the opposite column.
  const CImg<double> clamped = laplacian(ramp(4, 3), false), wrapped = laplacian(ramp(4, 3), true);
  const double wantClamped[4] = {1, 0, 0, -1}, wantWrapped[4] = {4, 0, 0, -4};
  cimg_forXY(clamped, x, y) {
    EXPECT_EQ(clamped(x, y), wantClamped[x]);
    EXPECT_EQ(wrapped(x, y), wantWrapped[x]);
  }
  // Non-square: column 4 has neighbours columns 3 and 0; line 0 wraps to line 2.
  CImg<double> im(5, 3, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = x * x + 10.0 * y;
  const CImg<double> l = laplacian(im, true);
  EXPECT_EQ(l(4, 1), (9.0 + 10) + (0.0 + 10) + (16.0 + 0) + (16.0 + 20) - 4 * (16.0 + 10));
  EXPECT_EQ(l(2, 0), (1.0) + (9.0) + (4.0 + 20) + (4.0 + 10) - 4 * 4.0);
}

TEST(Filtre2D, ThreeByOneDerivativeKernelOnRamp) {
  const CImg<double> k = CImg<double>(3, 1, 1, 1, -0.5, 0.0, 0.5);
  const CImg<double> d = Filtre_2D(ramp(5, 2), k);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(d(0, y), 0.5);
    EXPECT_EQ(d(1, y), 1.0);
    EXPECT_EQ(d(3, y), 1.0);
    EXPECT_EQ(d(4, y), 0.5);
  }
  // A correlation: the kernel is not mirrored.
  const CImg<double> pick = CImg<double>(3, 1, 1, 1, 0.0, 0.0, 1.0);
  EXPECT_EQ(Filtre_2D(ramp(5, 1), pick)(1, 0), 2.0);
  // The periodic=false overload is the clamped one, bit for bit.
  const CImg<double> w = wavy(7, 6);
  const CImg<double> k33 = CImg<double>(3, 3, 1, 1, 0.1, 0.2, 0.3, -0.4, 0.5, 0.6, 0.7, -0.8, 0.9);
  const CImg<double> a = Filtre_2D(w, k33), b = Filtre_2D(w, k33, false);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

TEST(Filtre2D, PeriodicWrapsModuloTheSizeForAnyRadius) {
  // Kernel of radius 3 that picks the sample three columns to the left.
  CImg<double> k(7, 1, 1, 1, 0.0);
  k(0, 0) = 1.0;
  for (int nc : {1, 2, 3, 5}) {
    const CImg<double> r = ramp(nc, 2);
    const CImg<double> f = Filtre_2D(r, k, true);
    for (int x = 0; x < nc; ++x) EXPECT_EQ(f(x, 1), (double)(((x - 3) % nc + nc) % nc)) << nc << " " << x;
  }
  // Vertical radius 2 on a 3-line image.
  CImg<double> kv(1, 5, 1, 1, 0.0);
  kv(0, 4) = 1.0;
  CImg<double> im(2, 3, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = y;
  const CImg<double> f = Filtre_2D(im, kv, true);
  EXPECT_EQ(f(0, 0), 2.0);
  EXPECT_EQ(f(0, 1), 0.0);
  EXPECT_EQ(f(1, 2), 1.0);
}

TEST(WeightedLaplacian, PowerZeroOfSecondImageIsTheWeightedLaplacian) {
  const CImg<double> im = wavy(6, 5), U = wavy(6, 5).get_mul(wavy(6, 5));
  CImgList<double> z(2, 6, 5, 1, 1);
  cimg_forXY(z[0], x, y) {
    z[0](x, y) = 0.5 + 0.1 * x;
    z[1](x, y) = 0.2 + 0.05 * y;
  }
  for (bool periodic : {false, true}) {
    const CImg<double> a = laplacianPiemeDerivRobustWeight(im, z, U, 0.0, periodic), b = laplacian(im, z, periodic);
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
  }
  // With power 1 and U = im on a ramp, only the horizontal links count: each gives 1 * 1 * weight.
  const CImg<double> r = ramp(4, 3);
  const CImgList<double> ones(2, 4, 3, 1, 1, 1.0);
  const CImg<double> p = laplacianPiemeDerivRobustWeight(r, ones, r, 1.0, false);
  EXPECT_EQ(p(1, 1), 0.0);   // (+1)(+1) + (+1)(-1): forward difference times outward difference
  EXPECT_EQ(p(0, 1), 1.0);   // the missing left neighbour is the pixel itself
}

TEST(RobustGradients, PowerTwoOnRamp) {
  const CImg<double> r = ramp(6, 3);
  const CImg<double> z(6, 3, 1, 1, 1.0);
  const CImg<double> g = GradRobX_powK(r, z, 2.0, false);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(g(0, y), 0.5);
    for (int x = 1; x <= 4; ++x) EXPECT_EQ(g(x, y), 1.0);
    EXPECT_EQ(g(5, y), 0.5);
  }
  // Vertically the same ramp is constant; its transpose gives the same profile along the lines.
  EXPECT_EQ(GradRobY_powK(r, z, 2.0, false).max(), 0.0);
  const CImg<double> gy = GradRobY_powK(r.get_transpose(), z.get_transpose(), 2.0, false);
  EXPECT_EQ(gy(1, 0), 0.5);
  EXPECT_EQ(gy(1, 3), 1.0);
  EXPECT_EQ(gy(2, 5), 0.5);
  // Periodic: the last column compares with column 0 (difference -5 from 5 to 0).
  const CImg<double> gp = GradRobX_powK(r, z, 2.0, true);
  EXPECT_EQ(gp(5, 0), 0.5 * (1.0 + 25.0));
  EXPECT_EQ(gp(0, 0), 0.5 * (25.0 + 1.0));
  // A negative difference to a non-integer power is not a number.
  EXPECT_TRUE(std::isnan(GradRobX_powK(r.get_mul(CImg<double>(6, 3, 1, 1, -1.0)), z, 0.5, false)(2, 0)));
}
