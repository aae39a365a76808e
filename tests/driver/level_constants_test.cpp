// The constants of a pyramid level: the power law that a field obeying gamma L^power at full
// resolution obeys at level r, where it is decimated and measured in level pixels.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/level_constants.h"
#include "dual/dual.h"
#include "field/field.h"

using namespace cimg_library;

namespace {

// A Gaussian random field (n x n, periodic) whose spectral density falls as |k|^-(power + 2): its
// second-order structure function grows as l^power for lags well inside the field.
CImg<double> powerLawComponent(int n, double power, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  CImg<double> re(n, n), im(n, n);
  cimg_forXY(re, x, y) {
    const double kx = x <= n / 2 ? x : x - n, ky = y <= n / 2 ? y : y - n;
    const double k2 = kx * kx + ky * ky;
    const double a = k2 > 0 ? std::pow(k2, -(power + 2) / 4) : 0.0;
    re(x, y) = a * g(gen);
    im(x, y) = a * g(gen);
  }
  CImg<double>::FFT(re, im, true);
  return re;
}

TEST(LevelConstants, FollowTheFullResolutionPowerLawDownThePyramid) {
  const int n = 512;
  for (const double power : {1.0, 2.0 / 3}) {
    CImg<double> field(n, n, 2);
    field.get_shared_slice(0) = powerLawComponent(n, power, 3);
    field.get_shared_slice(1) = powerLawComponent(n, power, 4);

    // The field's own power law: a least-squares line through its level-0 structure function in
    // log-log over lags 8 to 32 (the law itself must hold to a few percent there).
    const CImg<double> s0 = StructureFunction2nd_horiVertDir(field, 1, 32, false);
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const int count = 25;
    for (int L = 8; L <= 32; ++L) {
      const double x = std::log((double)L), y = std::log(s0(L));
      sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    const double gamma = std::exp((sy - slope * sx) / count);
    EXPECT_NEAR(slope, power, 0.1 * power);
    for (int L = 8; L <= 32; ++L) EXPECT_NEAR(s0(L) / (gamma * std::pow(L, slope)), 1.0, 0.02) << power << " lag " << L;

    RunOptions opt;
    opt.gamma = gamma;
    opt.power = slope;
    EXPECT_EQ(levelConstants(opt, 0).gamma, gamma);
    for (int r = 1; r <= 2; ++r) {
      // Level r: every 2^r-th sample, in level pixels.
      const CImg<double> level = resizeNearest(field, n >> r, n >> r) * (1.0 / (1 << r));
      const CImg<double> sr = StructureFunction2nd_horiVertDir(level, 1, 16, false);
      const double gamma_r = levelConstants(opt, r).gamma;
      for (int l = 8 >> r; l <= 32 >> r; ++l)
        EXPECT_NEAR(sr(l) / (gamma_r * std::pow(l, slope)), 1.0, 0.03) << "power " << power << " level " << r << " lag " << l;
    }
  }
}

}  // namespace
