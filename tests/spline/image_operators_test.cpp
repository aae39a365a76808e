// Warp, upsampling and derivative operators on images.
#include "spline/spline.h"

#include <CImg.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace cimg_library;

namespace {

CImg<double> image(int w, int h, const std::function<double(int, int)>& f) {
  CImg<double> im(w, h, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = f(x, y);
  return im;
}

CImg<double> randomImage(int w, int h, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(0.0, 255.0);
  return image(w, h, [&](int, int) { return dist(gen); });
}

CImg<double> field(int w, int h, double u, double v) {
  CImg<double> uv(w, h, 2, 1);
  cimg_forXY(uv, x, y) {
    uv(x, y, 0) = u;
    uv(x, y, 1) = v;
  }
  return uv;
}

// The cubic spline of `in` evaluated as the warp does it, for comparisons.
struct Spline {
  int w, h, degree;
  std::vector<float> c;
  Spline(const CImg<double>& in, int d) : w(in.width()), h(in.height()), degree(d) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) c.push_back((float)in(x, y));
    EXPECT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
  }
  float at(double x, double y) { return (float)InterpolatedValue(c.data(), w, h, x, y, degree); }
};

std::string quietly(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// ------------------------------------------------------------------------------------------------
// Derivative operators

TEST(GradSpline, PolynomialsInside) {
  // The mirror bends polynomials at the borders; the error dies out as 0.268^distance.
  const int w = 48, h = 40;
  const CImg<double> fx = image(w, h, [](int x, int) { return (double)x; });
  const CImg<double> fy = image(w, h, [](int, int y) { return (double)y; });
  const CImg<double> fxx = image(w, h, [](int x, int) { return (double)(x * x); });
  const CImg<double> fyy = image(w, h, [](int, int y) { return (double)(y * y); });
  const CImg<double> fxy = image(w, h, [](int x, int y) { return (double)(x * y); });
  const CImg<double> dx = gradSpline_X(fx, 0.0f), dy = gradSpline_Y(fy, 0.0f);
  const CImg<double> dxx = gradSpline_XX(fxx, 0.0f), dyy = gradSpline_YY(fyy, 0.0f);
  const CImg<double> dxy = gradSpline_XY(fxy, 0.0f), dyOfX = gradSpline_Y(fx, 0.0f);
  ASSERT_TRUE(dx.is_sameXYZC(fx));
  for (int y = 14; y < h - 14; y++)
    for (int x = 14; x < w - 14; x++) {
      EXPECT_NEAR(1.0, dx(x, y), 1e-5);
      EXPECT_NEAR(1.0, dy(x, y), 1e-5);  // y grows downwards: the derivative along the lines is +1
      EXPECT_NEAR(2.0, dxx(x, y), 2e-3);
      EXPECT_NEAR(2.0, dyy(x, y), 2e-3);
      EXPECT_NEAR(1.0, dxy(x, y), 1e-3);
      EXPECT_NEAR(0.0, dyOfX(x, y), 1e-5);
    }
  // The mirror border: no slope across the first and last column.
  for (int y = 0; y < h; y++) {
    EXPECT_EQ(0.0, dx(0, y));
    EXPECT_EQ(0.0, dx(w - 1, y));
  }
}

// Without blur the operator is the cubic grid kernel on the mirror-border coefficients:
// d/dx = (c[x+1] - c[x-1])/2 across, smoothed 1/6, 2/3, 1/6 along y.
TEST(GradSpline, IsTheCubicGridKernel) {
  const CImg<double> in = randomImage(12, 9, 4);
  std::vector<float> buf, c(12 * 9);
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 12; x++) buf.push_back((float)in(x, y));
  ASSERT_EQ(0, directBsplineMirror(buf.data(), c.data(), 12, 9, 1, 3));
  auto C = [&](int x, int y) { return (double)c[(size_t)(fold(x, 12) + 12 * fold(y, 9))]; };
  const CImg<double> dx = gradSpline_X(in, 0.0f), dxx = gradSpline_XX(in, 0.0f);
  for (int y = 0; y < 9; y++)
    for (int x = 0; x < 12; x++) {
      double d = 0, dd = 0;
      const double wy[3] = {1.0 / 6, 2.0 / 3, 1.0 / 6};
      for (int k = -1; k <= 1; k++) {
        d += wy[k + 1] * 0.5 * (C(x + 1, y + k) - C(x - 1, y + k));
        dd += wy[k + 1] * (C(x - 1, y + k) - 2.0 * C(x, y + k) + C(x + 1, y + k));
      }
      EXPECT_NEAR(d, dx(x, y), 1e-4);
      EXPECT_NEAR(dd, dxx(x, y), 1e-4);
    }
}

TEST(GradSpline, BlurOnlyForPositiveSigma) {
  const CImg<double> in = randomImage(20, 15, 8);
  typedef CImg<double> (*Op)(const CImg<double>&, float);
  for (Op op : {gradSpline_X, gradSpline_Y, gradSpline_XX, gradSpline_YY, gradSpline_XY}) {
    const CImg<double> plain = op(in, 0.0f);
    EXPECT_EQ(plain, op(in, -1.5f));  // a negative amplitude leaves the image alone
    CImg<double> blurred(in);
    blurred.deriche(1.5f, 0, 'x', 1).deriche(1.5f, 0, 'y', 1);
    EXPECT_EQ(op(blurred, 0.0f), op(in, 1.5f));
    EXPECT_NE(plain, op(in, 1.5f));
  }
  // A blurred constant keeps no slope.
  const CImg<double> flat(10, 10, 1, 1, 42.0);
  const CImg<double> d = gradSpline_X(flat, 2.0f);
  cimg_forXY(d, x, y) EXPECT_NEAR(0.0, d(x, y), 1e-4);
}

TEST(GradSpline, SingleLineAndEmpty) {
  const CImg<double> line = image(40, 1, [](int x, int) { return 3.0 * x; });
  const CImg<double> dy = gradSpline_Y(line, 0.0f), dyy = gradSpline_YY(line, 0.0f);
  const CImg<double> dx = gradSpline_X(line, 0.0f);
  for (int x = 0; x < 40; x++) {
    EXPECT_EQ(0.0, dy(x, 0));
    EXPECT_EQ(0.0, dyy(x, 0));
  }
  for (int x = 14; x < 26; x++) EXPECT_NEAR(3.0, dx(x, 0), 1e-5);
  EXPECT_TRUE(gradSpline_X(CImg<double>(), 1.0f).is_empty());
}

TEST(GradT, DifferenceAndBlur) {
  const CImg<double> a = randomImage(16, 12, 1), b = randomImage(16, 12, 2);
  const CImg<double> d = grad_t(a, b, 0.0f);
  cimg_forXY(d, x, y) EXPECT_EQ(b(x, y) - a(x, y), d(x, y));
  EXPECT_EQ(d, grad_t(a, b, -2.0f));
  CImg<double> blurred = b - a;
  blurred.deriche(1.0f, 0, 'x', 1).deriche(1.0f, 0, 'y', 1);
  EXPECT_EQ(blurred, grad_t(a, b, 1.0f));
  for (float s : {0.0f, 1.0f}) {
    const CImg<double> zero = grad_t(a, a, s);
    cimg_forXY(zero, x, y) EXPECT_EQ(0.0, zero(x, y));
  }
}

TEST(GradTDeathTest, DifferentSizesAreRefused) {
  const CImg<double> a(8, 8, 1, 1, 0.0), b(8, 9, 1, 1, 0.0);
  EXPECT_EXIT(grad_t(a, b, 0.0f), testing::ExitedWithCode(1), "grad_t");
}

// ------------------------------------------------------------------------------------------------
// Warp

TEST(RecalSpline, ZeroFieldGivesTheInput) {
  const CImg<double> in = randomImage(14, 10, 3);
  CImg<double> out;
  EXPECT_EQ("\n Recalage\n", quietly([&] { Recal_spline(out, in, field(14, 10, 0.0, 0.0), 3); }));
  ASSERT_TRUE(out.is_sameXYZC(in));
  cimg_forXY(in, x, y) {
    if (x == 0 || y == 0)
      EXPECT_EQ((double)(float)in(x, y), out(x, y));  // the step of -1 for a zero shift falls back
    else
      EXPECT_NEAR(in(x, y), out(x, y), 2e-4);
  }
}

TEST(RecalSpline, ShiftOfOneMovesOneColumn) {
  const int w = 12, h = 8;
  const CImg<double> in = randomImage(w, h, 5);
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, field(w, h, 1.0, 0.0), 3); });
  cimg_forXY(in, x, y) {
    const int from = std::min(x + 1, w - 1);
    if (y == 0 || x >= w - 2)
      EXPECT_EQ((double)(float)in(from, y), out(x, y));
    else
      EXPECT_NEAR(in(from, y), out(x, y), 2e-4);
  }
}

TEST(RecalSpline, UniformShiftTwoAndAHalf) {
  const int w = 13, h = 7;
  const CImg<double> in = randomImage(w, h, 6);
  Spline s(in, 3);
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, field(w, h, 2.5, 0.0), 3); });
  cimg_forXY(in, i, j) {
    if (i + 2.5 > w - 1)
      EXPECT_EQ((double)(float)in(w - 1, j), out(i, j)) << i << "," << j;
    else if (j == 0)
      EXPECT_EQ((double)(float)in(i + 2, 0), out(i, j)) << i;
    else
      EXPECT_EQ((double)s.at(i + 2.5, j), out(i, j)) << i << "," << j;
  }
  // On x^2 the interpolated pixels are the parabola itself.
  const CImg<double> sq = image(40, 6, [](int x, int) { return x * x / 4.0; });
  quietly([&] { Recal_spline(out, sq, field(40, 6, 2.5, 0.0), 3); });
  for (int i = 12; i < 24; i++) EXPECT_NEAR((i + 2.5) * (i + 2.5) / 4.0, out(i, 3), 1e-3) << i;
}

TEST(RecalSpline, NegativeHalfAtColumnZeroAndClamps) {
  const int w = 9, h = 6;
  const CImg<double> in = randomImage(w, h, 7);
  CImg<double> uv = field(w, h, 0.0, 1.25);
  cimg_forY(uv, y) uv(0, y, 0) = -0.5;
  uv(4, 2, 0) = 1e30;   // clamped to the last column
  uv(5, 2, 0) = -1e30;  // clamped to the first column
  uv(6, 2, 1) = 3e9;    // clamped to the last line
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, uv, 3); });
  for (int y = 0; y < h; y++) {
    const int line = y + 1.25 > h - 1 ? h - 1 : y + 1;
    EXPECT_EQ((double)(float)in(0, line), out(0, y)) << y;
  }
  EXPECT_EQ((double)(float)in(w - 1, 3), out(4, 2));
  EXPECT_EQ((double)(float)in(0, 3), out(5, 2));
  EXPECT_EQ((double)(float)in(6, h - 1), out(6, 2));
}

TEST(RecalSpline, MissingNeighbourFallsBack) {
  const int w = 10, h = 10;
  CImg<double> in = randomImage(w, h, 9);
  const CImg<double> uv = field(w, h, 0.5, 0.5);  // base (i, j), neighbours (i+1, j), (i, j+1), (i+1, j+1)
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, uv, 3); });
  const double interpolated = out(5, 5);
  EXPECT_NE((double)(float)in(5, 5), interpolated);
  for (double mark : {1023.0, -1022.0, 1022.0}) {
    for (int k = 0; k < 3; k++) {
      CImg<double> marked(in);
      const int nx[3] = {6, 5, 6}, ny[3] = {5, 6, 6};
      marked(nx[k], ny[k]) = mark;
      quietly([&] { Recal_spline(out, marked, uv, 3); });
      EXPECT_EQ((double)(float)in(5, 5), out(5, 5)) << mark << " at " << k;
      // Degree 2 (bilinear) falls back the same way.
      quietly([&] { Recal_spline(out, marked, uv, 2); });
      EXPECT_EQ((double)(float)in(5, 5), out(5, 5)) << mark << " at " << k;
    }
  }
  CImg<double> almost(in);
  almost(6, 6) = 1021.9;
  quietly([&] { Recal_spline(out, almost, uv, 3); });
  EXPECT_NE((double)(float)in(5, 5), out(5, 5));
  // A missing base sample is copied as it is.
  CImg<double> base(in);
  base(5, 5) = 1023.0;
  quietly([&] { Recal_spline(out, base, uv, 3); });
  EXPECT_EQ(1023.0, out(5, 5));
}

TEST(RecalSpline, DegreeTwoIsBilinear) {
  const int w = 8, h = 7;
  const CImg<double> in = randomImage(w, h, 10);
  CImg<double> uv = field(w, h, 0.25, -0.75);
  uv(3, 3, 0) = -1.5;
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, uv, 2); });
  auto f = [&](int x, int y) { return (float)in(x, y); };
  for (int j = 1; j < h; j++)
    for (int i = 0; i < w - 1; i++) {
      const float U = (float)uv(i, j, 0), V = (float)uv(i, j, 1);
      const int bx = i + (int)U, by = j + (int)V, nx = bx + (U > 0 ? 1 : -1), ny = by + (V > 0 ? 1 : -1);
      if (nx < 0) continue;
      const float du = std::fabs(U) - std::fabs((float)(int)U), dv = std::fabs(V) - std::fabs((float)(int)V);
      const float expected = (1.0f - dv) * ((1.0f - du) * f(bx, by) + du * f(nx, by)) +
                             dv * ((1.0f - du) * f(bx, ny) + du * f(nx, ny));
      EXPECT_EQ((double)expected, out(i, j)) << i << "," << j;
    }
}

TEST(RecalSpline, DegreeAboveNineReportsOnce) {
  const CImg<double> in = randomImage(6, 5, 11);
  CImg<double> out;
  const std::string text = quietly([&] { Recal_spline(out, in, field(6, 5, 0.5, 0.5), 10); });
  EXPECT_EQ("\n Recalage\nInvalid spline degree\nprobleme\n", text);
  cimg_forXY(in, x, y) {
    if (x == 5 || y == 4)
      EXPECT_EQ((double)(float)in(x, y), out(x, y));
    else
      EXPECT_EQ(0.0, out(x, y));
  }
}

// A failed solve can leave a non-finite value in the field: no shift, the unshifted sample.
TEST(RecalSpline, NonFiniteFieldTakesTheSample) {
  const int w = 8, h = 6;
  const CImg<double> in = randomImage(w, h, 12);
  CImg<double> uv = field(w, h, 0.5, 0.5);
  uv(2, 2, 0) = NAN;
  uv(3, 3, 1) = INFINITY;
  uv(4, 4, 0) = -INFINITY;
  uv(4, 4, 1) = NAN;
  uv(5, 1, 0) = NAN;
  uv(5, 1, 1) = 2.0;
  CImg<double> out;
  quietly([&] { Recal_spline(out, in, uv, 3); });
  EXPECT_EQ((double)(float)in(2, 2), out(2, 2));
  EXPECT_EQ((double)(float)in(3, 3), out(3, 3));
  EXPECT_EQ((double)(float)in(4, 4), out(4, 4));
  EXPECT_EQ((double)(float)in(5, 3), out(5, 1));
  quietly([&] { Recal_spline(out, in, uv, 1); });
  EXPECT_EQ((double)(float)in(2, 2), out(2, 2));
  cimg_forXY(out, x, y) EXPECT_TRUE(std::isfinite(out(x, y)));
}

TEST(RecalSpline, OutputSizedByTheOperatorAndMayBeTheInput) {
  const CImg<double> in = randomImage(11, 7, 13);
  const CImg<double> uv = field(11, 7, 0.3, -1.6);
  CImg<double> out(3, 3, 1, 1, 0.0), same(in);
  quietly([&] {
    Recal_spline(out, in, uv, 3);
    Recal_spline(same, same, uv, 3);
  });
  ASSERT_TRUE(out.is_sameXYZC(in));
  EXPECT_EQ(out, same);
  CImg<double> empty(4, 4, 1, 1, 1.0);
  quietly([&] { Recal_spline(empty, CImg<double>(), CImg<double>(), 3); });
  EXPECT_TRUE(empty.is_empty());
}

TEST(RecalSplineDeathTest, MismatchedFieldIsRefused) {
  const CImg<double> in(8, 6, 1, 1, 1.0);
  CImg<double> out;
  EXPECT_EXIT(Recal_spline(out, in, field(8, 7, 0, 0), 3), testing::ExitedWithCode(1), "Recal_spline");
  EXPECT_EXIT(Recal_spline(out, in, field(9, 6, 0, 0), 3), testing::ExitedWithCode(1), "Recal_spline");
  EXPECT_EXIT(Recal_spline(out, in, CImg<double>(8, 6, 1, 1, 0.0), 3), testing::ExitedWithCode(1),
              "Recal_spline");
}

// Random fields (whole, half and arbitrary shifts, zeros, far clamps) over images with missing
// samples: every pixel equals a plain per-pixel statement of the warp rule, bit for bit, for the
// bilinear degrees and the spline ones.
TEST(RecalSpline, RandomFieldsFollowThePixelRule) {
  std::mt19937 gen(21);
  std::uniform_real_distribution<double> grey(0.0, 255.0), shift(-6.0, 6.0);
  for (int trial = 0; trial < 40; trial++) {
    const int W = 1 + (int)(gen() % 16), H = 1 + (int)(gen() % 12);
    CImg<double> in(W, H, 1, 1), uv(W, H, 2, 1);
    cimg_forXY(in, x, y) in(x, y) = gen() % 9 == 0 ? (gen() % 2 ? 1023.0 : -1022.0) : grey(gen);
    cimg_forXYZ(uv, x, y, z) {
      const int kind = (int)(gen() % 5);
      uv(x, y, z) = kind == 0 ? 0.0 : kind == 1 ? std::round(shift(gen)) : kind == 2 ? std::round(2 * shift(gen)) / 2 : shift(gen);
    }
    for (int degree : {2, 3, 5}) {
      std::vector<float> f;
      cimg_forXY(in, x, y) f.push_back((float)in(x, y));
      Spline s(in, degree > 2 ? degree : 3);
      CImg<double> out;
      quietly([&] { Recal_spline(out, in, uv, degree); });
      cimg_forXY(in, i, j) {
        const float U = (float)uv(i, j, 0), V = (float)uv(i, j, 1);
        int Iu = (int)U, Iv = (int)V;
        float Du = std::fabs(U) - (float)std::abs(Iu), Dv = std::fabs(V) - (float)std::abs(Iv);
        if (i + U < 0) Iu = -i, Du = 0;
        if (i + U > W - 1) Iu = W - 1 - i, Du = 0;
        if (j + V < 0) Iv = -j, Dv = 0;
        if (j + V > H - 1) Iv = H - 1 - j, Dv = 0;
        const int bx = i + Iu, by = j + Iv, nx = bx + (U > 0 ? 1 : -1), ny = by + (V > 0 ? 1 : -1);
        auto F = [&](int x, int y) { return f[(size_t)(x + W * y)]; };
        float expected;
        if (nx < 0 || nx >= W || ny < 0 || ny >= H || std::fabs(in(nx, ny)) >= 1022 || std::fabs(in(bx, by)) >= 1022 ||
            std::fabs(in(nx, by)) >= 1022 || std::fabs(in(bx, ny)) >= 1022)
          expected = F(bx, by);
        else if (degree > 2)
          expected = s.at((double)(i + U), (double)(j + V));
        else
          expected = (1 - Dv) * ((1 - Du) * F(bx, by) + Du * F(nx, by)) + Dv * ((1 - Du) * F(bx, ny) + Du * F(nx, ny));
        ASSERT_EQ((double)expected, out(i, j)) << "degree " << degree << " " << W << "x" << H << " at " << i << "," << j;
      }
    }
  }
}

// ------------------------------------------------------------------------------------------------
// Upsampling

TEST(ProjDupSpline, ConstantAndRamp) {
  CImg<double> out;
  Proj_Dup_Spline(out, CImg<double>(7, 5, 1, 1, -3.5));
  ASSERT_EQ(14, out.width());
  ASSERT_EQ(10, out.height());
  cimg_forXY(out, x, y) EXPECT_NEAR(-3.5, out(x, y), 1e-5);

  const int w = 40, h = 30;
  Proj_Dup_Spline(out, image(w, h, [](int x, int) { return (double)x; }), 3);
  for (int y = 10; y < h - 10; y++)
    for (int x = 10; x < w - 10; x++) {
      EXPECT_NEAR(x, out(2 * x, 2 * y), 1e-5);
      EXPECT_NEAR(x + 0.5, out(2 * x + 1, 2 * y), 1e-5);
      EXPECT_NEAR(x + 0.5, out(2 * x + 1, 2 * y + 1), 1e-5);
      EXPECT_NEAR(x, out(2 * x, 2 * y + 1), 1e-5);
    }
}

TEST(ProjDupSpline, EvenPositionsKeepTheSamples) {
  const CImg<double> in = randomImage(9, 8, 14);
  CImg<double> out;
  Proj_Dup_Spline(out, in);
  for (int y = 0; y <= 6; y++)
    for (int x = 0; x <= 7; x++) EXPECT_NEAR(in(x, y), out(2 * x, 2 * y), 2e-4);
}

TEST(ProjDupSpline, TwoByTwoLayout) {
  const CImg<double> in = image(2, 2, [](int x, int y) { return 1.0 + 3.0 * x + 7.0 * y * y; });
  Spline s(in, 3);
  CImg<double> out;
  Proj_Dup_Spline(out, in, 3);
  const double rows[4][4] = {{s.at(0, 0), s.at(0.5, 0), s.at(1, 0), s.at(1, 0)},
                             {s.at(0, 0.5), s.at(0.5, 0.5), s.at(1, 0.5), s.at(1, 0.5)},
                             {s.at(0, 1), s.at(0.5, 1), s.at(1, 1), s.at(1, 1)},
                             {s.at(0, 1), s.at(0.5, 1), s.at(1, 1), s.at(1, 1)}};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(rows[y][x], out(x, y)) << x << "," << y;
}

TEST(ProjDupSpline, SingleColumnOrLine) {
  const CImg<double> column = image(1, 5, [](int, int y) { return 2.0 * y; });
  CImg<double> out;
  Proj_Dup_Spline(out, column);
  ASSERT_EQ(2, out.width());
  ASSERT_EQ(10, out.height());
  cimg_forY(out, y) EXPECT_EQ(out(0, y), out(1, y));
  for (int y = 0; y < 4; y++) EXPECT_NEAR(2.0 * y, out(0, 2 * y), 1e-5);

  const CImg<double> line = image(6, 1, [](int x, int) { return (double)(x * x); });
  Proj_Dup_Spline(out, line);
  ASSERT_EQ(12, out.width());
  ASSERT_EQ(2, out.height());
  cimg_forX(out, x) EXPECT_EQ(out(x, 0), out(x, 1));
  EXPECT_EQ(out(10, 0), out(11, 0));

  const CImg<double> one(1, 1, 1, 1, 4.0);
  Proj_Dup_Spline(out, one);
  ASSERT_EQ(2, out.width());
  cimg_forXY(out, x, y) EXPECT_EQ(4.0, out(x, y));
}

TEST(ProjDupSpline, OutputSizedByTheOperator) {
  const CImg<double> in = randomImage(5, 4, 15);
  CImg<double> out(3, 3, 1, 1, 0.0), same(in);
  Proj_Dup_Spline(out, in);
  EXPECT_EQ(10, out.width());
  EXPECT_EQ(8, out.height());
  Proj_Dup_Spline(same, same);
  EXPECT_EQ(out, same);
  Proj_Dup_Spline(out, CImg<double>());
  EXPECT_TRUE(out.is_empty());
}

}  // namespace
