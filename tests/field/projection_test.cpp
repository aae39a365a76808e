// Divergence-free projection in Fourier space and the second-order divergence.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include <CImg.h>

#include "support/child_process.h"
#include "field/field.h"

using namespace cimg_library;

namespace {

const double kTwoPi = 6.283185307179586;
using cd = std::complex<double>;

CImg<double> randomField(int w, int h, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  CImg<double> f(w, h, 2, 1);
  cimg_forXYZ(f, x, y, z) f(x, y, z) = d(gen);
  return f;
}

double maxAbs(const CImg<double>& f) {
  double m = 0;
  cimg_for(f, p, double) m = std::max(m, std::fabs(*p));
  return m;
}

double maxDiff(const CImg<double>& a, const CImg<double>& b) {
  double m = 0;
  cimg_forXYZ(a, x, y, z) m = std::max(m, std::fabs(a(x, y, z) - b(x, y, z)));
  return m;
}

// Plain two-dimensional DFT of a w x h complex array (sign -1 forward, +1 inverse, no scaling).
std::vector<cd> dft(const std::vector<cd>& in, int w, int h, int sign) {
  std::vector<cd> out((size_t)w * h);
  for (int k = 0; k < h; ++k)
    for (int m = 0; m < w; ++m) {
      cd s = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const double ph = sign * kTwoPi * ((double)m * x / w + (double)k * y / h);
          s += in[(size_t)y * w + x] * cd(std::cos(ph), std::sin(ph));
        }
      out[(size_t)k * w + m] = s;
    }
  return out;
}

std::vector<cd> plane(const CImg<double>& f, int z) {
  std::vector<cd> p((size_t)f.width() * f.height());
  cimg_forXY(f, x, y) p[(size_t)y * f.width() + x] = f(x, y, z);
  return p;
}

int freqIndex(int j, int n) { return j <= n / 2 ? j : j - n; }

// The projection evaluated step by step with plain DFTs and complex arithmetic.
CImg<double> directProjection(const CImg<double>& in, bool divNul) {
  const int w = in.width(), h = in.height();
  const std::vector<cd> Fu = dft(plane(in, 0), w, h, -1), Fv = dft(plane(in, 1), w, h, -1);
  std::vector<cd> fx((size_t)w * h), fy((size_t)w * h);
  const cd I(0, 1);
  for (int k = 0; k < h; ++k)
    for (int m = 0; m < w; ++m) {
      const size_t p = (size_t)k * w + m;
      const double a = freqIndex(m, w), b = freqIndex(k, h);
      const double kx = kTwoPi / w * a, ky = kTwoPi / h * b;
      const cd div = divNul ? cd(0) : I * (kx * Fu[p] + ky * Fv[p]);
      const cd curl = I * (kx * Fv[p] - ky * Fu[p]);
      if (m == 0 && k == 0) continue;
      const double d = a * a + b * b;
      // (fx, fy) = -i (a div - b curl, b div + a curl) / d
      fx[p] = -I * (a * div - b * curl) / d;
      fy[p] = -I * (b * div + a * curl) / d;
    }
  const std::vector<cd> u = dft(fx, w, h, 1), v = dft(fy, w, h, 1);
  CImg<double> out(w, h, 2, 1);
  const double factor = std::sqrt((double)w * h) / (w * h) / kTwoPi;
  cimg_forXY(out, x, y) {
    out(x, y, 0) = u[(size_t)y * w + x].real() * factor;
    out(x, y, 1) = v[(size_t)y * w + x].real() * factor;
  }
  return out;
}

CImg<double> project(const CImg<double>& in, bool divNul = true) {
  CImg<double> out(in.width(), in.height(), 2, 1, 0.0);
  maj_vecteurs(out, in, divNul);
  return out;
}

}  // namespace

TEST(DivergenceFreeProjection, ConstantFieldBecomesZero) {
  CImg<double> f(16, 16, 2, 1);
  cimg_forXY(f, x, y) {
    f(x, y, 0) = 2;
    f(x, y, 1) = -1;
  }
  EXPECT_LT(maxAbs(project(f)), 1e-14);
  EXPECT_LT(maxAbs(project(f, false)), 1e-14);
}

TEST(DivergenceFreeProjection, SolenoidalFieldsComeBackAndDivergentOnesVanish) {
  const int N = 16;
  CImg<double> vAlongX(N, N, 2, 1, 0.0), shear(N, N, 2, 1, 0.0), compress(N, N, 2, 1, 0.0), grad(N, N, 2, 1);
  cimg_forXY(vAlongX, x, y) {
    vAlongX(x, y, 1) = std::sin(kTwoPi * x / N);
    shear(x, y, 0) = std::sin(kTwoPi * y / N);
    compress(x, y, 0) = std::sin(kTwoPi * x / N);
    // Gradient of phi = cos(2 pi x/N + 0.3) sin(4 pi y/N).
    grad(x, y, 0) = -kTwoPi / N * std::sin(kTwoPi * x / N + 0.3) * std::sin(2 * kTwoPi * y / N);
    grad(x, y, 1) = 2 * kTwoPi / N * std::cos(kTwoPi * x / N + 0.3) * std::cos(2 * kTwoPi * y / N);
  }
  EXPECT_LT(maxDiff(project(vAlongX), vAlongX), 1e-13);
  EXPECT_LT(maxDiff(project(shear), shear), 1e-13);
  EXPECT_LT(maxAbs(project(compress)), 1e-13);
  EXPECT_LT(maxAbs(project(grad)), 1e-13);

  // Without the projection a square zero-mean field comes back as it was.
  CImg<double> r = randomField(N, N, 3);
  for (int z = 0; z < 2; ++z) {
    const double mean = r.get_slice(z).mean();
    cimg_forXY(r, x, y) r(x, y, z) -= mean;
  }
  EXPECT_LT(maxDiff(project(r, false), r), 1e-13);
}

TEST(DivergenceFreeProjection, RandomOddSquareFieldHasNoSpectralDivergence) {
  const int N = 15;
  const CImg<double> out = project(randomField(N, N, 11));
  const std::vector<cd> Fu = dft(plane(out, 0), N, N, -1), Fv = dft(plane(out, 1), N, N, -1);
  double worst = 0, mean = 0;
  for (int k = 0; k < N; ++k)
    for (int m = 0; m < N; ++m) {
      const size_t p = (size_t)k * N + m;
      const double kx = kTwoPi / N * freqIndex(m, N), ky = kTwoPi / N * freqIndex(k, N);
      worst = std::max(worst, std::abs(kx * Fu[p] + ky * Fv[p]) / (N * N));
    }
  for (int z = 0; z < 2; ++z) mean = std::max(mean, std::fabs(out.get_slice(z).mean()));
  EXPECT_LT(worst, 1e-10);
  EXPECT_LT(mean, 1e-14);
  EXPECT_GT(maxAbs(out), 0.1);  // the solenoidal part of a random field is not zero
}

TEST(DivergenceFreeProjection, NonSquareFieldsFollowTheStatedSteps) {
  const int sizes[][2] = {{6, 4}, {5, 8}, {12, 8}, {7, 1}};
  for (const auto& s : sizes) {
    const CImg<double> in = randomField(s[0], s[1], 17 + s[0]);
    for (bool divNul : {true, false}) {
      const CImg<double> ref = directProjection(in, divNul);
      const CImg<double> out = project(in, divNul);
      EXPECT_LT(maxDiff(out, ref), 1e-12 * (1 + maxAbs(ref))) << s[0] << "x" << s[1] << " " << divNul;
    }
  }
}

TEST(DivergenceFreeProjection, InPlaceAndLargerOutput) {
  const CImg<double> in = randomField(8, 6, 23);
  const CImg<double> separate = project(in);
  CImg<double> same = in;
  maj_vecteurs(same, same, true);
  EXPECT_EQ(maxDiff(same, separate), 0.0);

  // Only the input-sized window of planes 0 and 1 of a larger output is written.
  CImg<double> big(10, 7, 3, 1, 9.0);
  maj_vecteurs(big, in, true);
  cimg_forXYZ(big, x, y, z) {
    if (x < 8 && y < 6 && z < 2)
      EXPECT_EQ(big(x, y, z), separate(x, y, z));
    else
      EXPECT_EQ(big(x, y, z), 9.0);
  }
}

TEST(DivergenceFreeProjection, UnusableArgumentsAreRefused) {
  const CImg<double> in = randomField(8, 8, 1);
  ChildResult small = runInChild([&] {
    CImg<double> out(4, 8, 2, 1);
    maj_vecteurs(out, in, true);
  });
  EXPECT_EQ(small.exitCode, 1);
  EXPECT_NE(small.err.find("maj_vecteurs"), std::string::npos);
  ChildResult onePlane = runInChild([&] {
    CImg<double> out(8, 8, 2, 1);
    maj_vecteurs(out, in.get_slice(0), true);
  });
  EXPECT_EQ(onePlane.exitCode, 1);
}

TEST(SecondOrderDivergence, CentredDifferencesWithNearestBorder) {
  const int w = 6, h = 5;
  CImg<double> ux(w, h, 2, 1, 0.0), vy(w, h, 2, 1, 0.0), c(w, h, 2, 1, 3.5);
  cimg_forXY(ux, x, y) {
    ux(x, y, 0) = x;
    vy(x, y, 1) = 2 * y;
  }
  const CImg<double> d1 = divImOrder2(ux), d2 = divImOrder2(vy), d3 = divImOrder2(c);
  ASSERT_EQ(d1.width(), w);
  ASSERT_EQ(d1.height(), h);
  ASSERT_EQ(d1.depth(), 1);
  cimg_forXY(d1, x, y) {
    EXPECT_EQ(d1(x, y), (x == 0 || x == w - 1) ? 0.5 : 1.0);
    EXPECT_EQ(d2(x, y), (y == 0 || y == h - 1) ? 1.0 : 2.0);
    EXPECT_EQ(d3(x, y), 0.0);
  }
  // Differences are taken in single precision.
  CImg<double> fine(3, 1, 2, 1, 0.0);
  fine(0, 0, 0) = 1.0;
  fine(2, 0, 0) = 1.0 + 1e-12;
  EXPECT_EQ(divImOrder2(fine)(1, 0), 0.0);
}
