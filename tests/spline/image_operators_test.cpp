// Derivative operators, warp and upsampling of images.
#include "spline/spline.h"

#include <CImg.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "support/expect.h"

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
  return CImg<double>(w, h, 1, 1, u).append(CImg<double>(w, h, 1, 1, v), 'z');
}

// The warp, quietly.
CImg<double> warp(const CImg<double>& in, const CImg<double>& uv, int degree) {
  CImg<double> out;
  captureStdout([&] { Recal_spline(out, in, uv, degree); });
  return out;
}

double f32(double v) { return (double)(float)v; }

// The spline of `in` evaluated as the warp and the upsampling do it, for comparisons.
struct Spline {
  int w, h, degree;
  std::vector<float> c;
  Spline(const CImg<double>& in, int d) : w(in.width()), h(in.height()), degree(d), c(in.begin(), in.end()) {
    EXPECT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
  }
  float at(double x, double y) { return (float)InterpolatedValue(c.data(), w, h, x, y, degree); }
};

TEST(GradSpline, PolynomialsInsideAndMirrorBorder) {
  const int w = 48, h = 40;  // the mirror bends polynomials at the borders; the error dies out as 0.268^distance
  const CImg<double> fx = image(w, h, [](int x, int) { return (double)x; });
  const CImg<double> dx = gradSpline_X(fx, 0.0f), dyOfX = gradSpline_Y(fx, 0.0f);
  const CImg<double> dy = gradSpline_Y(image(w, h, [](int, int y) { return (double)y; }), 0.0f);
  const CImg<double> dxx = gradSpline_XX(image(w, h, [](int x, int) { return (double)(x * x); }), 0.0f);
  const CImg<double> dyy = gradSpline_YY(image(w, h, [](int, int y) { return (double)(y * y); }), 0.0f);
  const CImg<double> dxy = gradSpline_XY(image(w, h, [](int x, int y) { return (double)(x * y); }), 0.0f);
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
  for (int y = 0; y < h; y++) EXPECT_TRUE(dx(0, y) == 0.0 && dx(w - 1, y) == 0.0);  // no slope across the border
  // A single line has no derivative along y; an empty image gives an empty result.
  const CImg<double> line = image(40, 1, [](int x, int) { return 3.0 * x; });
  const CImg<double> ly = gradSpline_Y(line, 0.0f), lyy = gradSpline_YY(line, 0.0f), lx = gradSpline_X(line, 0.0f);
  for (int x = 0; x < 40; x++) EXPECT_TRUE(ly(x, 0) == 0.0 && lyy(x, 0) == 0.0);
  for (int x = 14; x < 26; x++) EXPECT_NEAR(3.0, lx(x, 0), 1e-5);
  EXPECT_TRUE(gradSpline_X(CImg<double>(), 1.0f).is_empty());
}

TEST(GradSpline, BlurOnlyForPositiveSigma) {
  const CImg<double> in = randomImage(20, 15, 8);
  CImg<double> blurred(in);
  blurred.deriche(1.5f, 0, 'x', 1).deriche(1.5f, 0, 'y', 1);
  typedef CImg<double> (*Op)(const CImg<double>&, float);
  for (Op op : {gradSpline_X, gradSpline_Y, gradSpline_XX, gradSpline_YY, gradSpline_XY}) {
    const CImg<double> plain = op(in, 0.0f);
    EXPECT_EQ(plain, op(in, -1.5f));  // a negative amplitude leaves the image alone
    EXPECT_EQ(op(blurred, 0.0f), op(in, 1.5f));
    EXPECT_NE(plain, op(in, 1.5f));
  }
  EXPECT_LT(gradSpline_X(CImg<double>(10, 10, 1, 1, 42.0), 2.0f).abs().max(), 1e-4);  // a blurred constant
}

TEST(GradT, DifferenceBlurAndSizeRefusal) {
  const CImg<double> a = randomImage(16, 12, 1), b = randomImage(16, 12, 2);
  CImg<double> blurred = b - a;
  EXPECT_TRUE(sameImage(grad_t(a, b, 0.0f), blurred));
  EXPECT_EQ(grad_t(a, b, -2.0f), blurred);
  blurred.deriche(1.0f, 0, 'x', 1).deriche(1.0f, 0, 'y', 1);
  EXPECT_EQ(blurred, grad_t(a, b, 1.0f));
  for (float s : {0.0f, 1.0f}) EXPECT_EQ(grad_t(a, a, s).abs().max(), 0.0);
  EXPECT_EXIT(grad_t(a, CImg<double>(16, 13, 1, 1, 0.0), 0.0f), testing::ExitedWithCode(1), "grad_t");
}

TEST(RecalSpline, ZeroShiftAndShiftOfOne) {
  const int w = 14, h = 10;
  const CImg<double> in = randomImage(w, h, 3);
  CImg<double> out;
  EXPECT_EQ("\n Recalage\n", captureStdout([&] { Recal_spline(out, in, field(w, h, 0.0, 0.0), 3); }));
  ASSERT_TRUE(out.is_sameXYZC(in));
  cimg_forXY(in, x, y) {
    if (x == 0 || y == 0) {
      EXPECT_EQ(f32(in(x, y)), out(x, y));  // the step of -1 for a zero shift falls back
    } else {
      EXPECT_NEAR(in(x, y), out(x, y), 2e-4);
    }
  }
  out = warp(in, field(w, h, 1.0, 0.0), 3);  // one column
  cimg_forXY(in, x, y) {
    const int from = std::min(x + 1, w - 1);
    if (y == 0 || x >= w - 2) {
      EXPECT_EQ(f32(in(from, y)), out(x, y));
    } else {
      EXPECT_NEAR(in(from, y), out(x, y), 2e-4);
    }
  }
}

TEST(RecalSpline, ShiftOfTwoAndAHalf) {
  const int w = 13, h = 7;
  const CImg<double> in = randomImage(w, h, 6), out = warp(in, field(w, h, 2.5, 0.0), 3);
  Spline s(in, 3);
  cimg_forXY(in, i, j) {
    const double expected = i + 2.5 > w - 1 ? f32(in(w - 1, j)) : j == 0 ? f32(in(i + 2, 0)) : s.at(i + 2.5, j);
    EXPECT_EQ(expected, out(i, j)) << i << "," << j;
  }
  const CImg<double> sq = warp(image(40, 6, [](int x, int) { return x * x / 4.0; }), field(40, 6, 2.5, 0.0), 3);
  for (int i = 12; i < 24; i++) EXPECT_NEAR((i + 2.5) * (i + 2.5) / 4.0, sq(i, 3), 1e-3) << i;  // the parabola
}

TEST(RecalSpline, NegativeHalfAtColumnZeroAndClamps) {
  const int w = 9, h = 6;
  const CImg<double> in = randomImage(w, h, 7);
  CImg<double> uv = field(w, h, 0.0, 1.25);
  cimg_forY(uv, y) uv(0, y, 0) = -0.5;
  uv(4, 2, 0) = 1e30, uv(5, 2, 0) = -1e30, uv(6, 2, 1) = 3e9;  // clamped to the last / first column, last line
  const CImg<double> out = warp(in, uv, 3);
  for (int y = 0; y < h; y++) EXPECT_EQ(f32(in(0, y + 1.25 > h - 1 ? h - 1 : y + 1)), out(0, y)) << y;
  EXPECT_EQ(f32(in(w - 1, 3)), out(4, 2));
  EXPECT_EQ(f32(in(0, 3)), out(5, 2));
  EXPECT_EQ(f32(in(6, h - 1)), out(6, 2));
}

TEST(RecalSpline, MissingNeighbourFallsBack) {
  const CImg<double> in = randomImage(10, 10, 9), uv = field(10, 10, 0.5, 0.5);  // neighbours (6,5), (5,6), (6,6)
  EXPECT_NE(f32(in(5, 5)), warp(in, uv, 3)(5, 5));
  for (double mark : {1023.0, -1022.0, 1022.0})
    for (int k = 0; k < 3; k++) {
      CImg<double> marked(in);
      marked(k == 1 ? 5 : 6, k == 0 ? 5 : 6) = mark;
      EXPECT_EQ(f32(in(5, 5)), warp(marked, uv, 3)(5, 5)) << mark << " at " << k;
      EXPECT_EQ(f32(in(5, 5)), warp(marked, uv, 2)(5, 5)) << mark << " at " << k;  // bilinear too
    }
  CImg<double> almost(in), base(in);
  almost(6, 6) = 1021.9;
  base(5, 5) = 1023.0;  // a missing base sample is copied as it is
  EXPECT_NE(f32(in(5, 5)), warp(almost, uv, 3)(5, 5));
  EXPECT_EQ(1023.0, warp(base, uv, 3)(5, 5));
}

TEST(RecalSpline, DegreeAboveNineReportsOnce) {
  const CImg<double> in = randomImage(6, 5, 11);
  CImg<double> out;
  EXPECT_EQ("\n Recalage\nInvalid spline degree\nprobleme\n",
            captureStdout([&] { Recal_spline(out, in, field(6, 5, 0.5, 0.5), 10); }));
  cimg_forXY(in, x, y) EXPECT_EQ((x == 5 || y == 4) ? f32(in(x, y)) : 0.0, out(x, y));
}

// A failed solve can leave NaN in the field: no shift, the unshifted sample. An infinite component is
// clamped to the border like any shift beyond it (and falls back, its neighbour lying outside).
TEST(RecalSpline, NaNTakesTheSampleAndInfinityTheBorder) {
  const CImg<double> in = randomImage(8, 6, 12);
  CImg<double> uv = field(8, 6, 0.5, 0.5);
  uv(2, 2, 0) = NAN;
  uv(3, 3, 1) = INFINITY;                          // line clamped to 5, column 3 + 0.5 truncated
  uv(4, 4, 0) = -INFINITY, uv(4, 4, 1) = NAN;      // column clamped to 0, no line shift
  uv(5, 1, 0) = NAN, uv(5, 1, 1) = 2.0;            // no column shift, line shift truncated
  uv(1, 2, 0) = INFINITY, uv(1, 2, 1) = -INFINITY;  // the top-right corner
  for (int degree : {3, 1}) {
    const CImg<double> out = warp(in, uv, degree);
    EXPECT_EQ(f32(in(2, 2)), out(2, 2)) << degree;
    EXPECT_EQ(f32(in(3, 5)), out(3, 3)) << degree;
    EXPECT_EQ(f32(in(0, 4)), out(4, 4)) << degree;
    EXPECT_EQ(f32(in(5, 3)), out(5, 1)) << degree;
    EXPECT_EQ(f32(in(7, 0)), out(1, 2)) << degree;
    cimg_forXY(out, x, y) EXPECT_TRUE(std::isfinite(out(x, y)));
  }
}

TEST(RecalSpline, OutputSizedByTheOperatorAndMismatchRefused) {
  const CImg<double> in = randomImage(11, 7, 13), uv = field(11, 7, 0.3, -1.6);
  CImg<double> out(3, 3, 1, 1, 0.0), same(in), empty(4, 4, 1, 1, 1.0);
  captureStdout([&] {
    Recal_spline(out, in, uv, 3);
    Recal_spline(same, same, uv, 3);
    Recal_spline(empty, CImg<double>(), CImg<double>(), 3);
  });
  EXPECT_TRUE(sameImage(out, same) && out.is_sameXYZC(in) && empty.is_empty());
  for (const CImg<double>& bad : {field(11, 8, 0, 0), field(12, 7, 0, 0), CImg<double>(11, 7, 1, 1, 0.0)})
    EXPECT_EXIT(Recal_spline(out, in, bad, 3), testing::ExitedWithCode(1), "Recal_spline");
}

// Random fields (whole, half and arbitrary shifts, zeros, far clamps) over images with missing
// samples: every pixel equals a plain per-pixel statement of the warp rule, bit for bit, for the
// bilinear degrees and the spline ones; the samples counted as tested for missing data are those the
// rule tests, pixel by pixel and over the whole image.
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
    CImg<unsigned char> tested(W, H, 1, 1, 0);
    for (int degree : {2, 3, 5}) {
      Spline s(in, degree > 2 ? degree : 3);
      const CImg<float> f(in);
      const CImg<double> out = warp(in, uv, degree);
      cimg_forXY(in, i, j) {
        const float U = (float)uv(i, j, 0), V = (float)uv(i, j, 1);
        int Iu = (int)U, Iv = (int)V;
        float Du = std::fabs(U) - (float)std::abs(Iu), Dv = std::fabs(V) - (float)std::abs(Iv);
        if (i + U < 0) Iu = -i, Du = 0;
        if (i + U > W - 1) Iu = W - 1 - i, Du = 0;
        if (j + V < 0) Iv = -j, Dv = 0;
        if (j + V > H - 1) Iv = H - 1 - j, Dv = 0;
        const int bx = i + Iu, by = j + Iv, nx = bx + (U > 0 ? 1 : -1), ny = by + (V > 0 ? 1 : -1);
        if (degree == 3) {
          const bool inside = nx >= 0 && nx < W && ny >= 0 && ny < H;
          long missing = 0;
          const std::pair<int, int> taps[] = {{bx, by}, {nx, by}, {bx, ny}, {nx, ny}};
          for (const auto& tap : taps)
            if (inside) {
              tested(tap.first, tap.second) = 1;
              missing += std::fabs(in(tap.first, tap.second)) >= 1022;
            }
          const WarpSamples one = samplesTestedByWarp(in, uv, i, j, 1, 1);
          ASSERT_TRUE(one.read == (inside ? 4 : 0) && one.missing == missing)
              << W << "x" << H << " at " << i << "," << j;
        }
        float expected;
        if (nx < 0 || nx >= W || ny < 0 || ny >= H || std::fabs(in(nx, ny)) >= 1022 || std::fabs(in(bx, by)) >= 1022 ||
            std::fabs(in(nx, by)) >= 1022 || std::fabs(in(bx, ny)) >= 1022)
          expected = f(bx, by);
        else if (degree > 2)
          expected = s.at((double)(i + U), (double)(j + V));
        else
          expected = (1 - Dv) * ((1 - Du) * f(bx, by) + Du * f(nx, by)) + Dv * ((1 - Du) * f(bx, ny) + Du * f(nx, ny));
        ASSERT_EQ((double)expected, out(i, j)) << "degree " << degree << " " << W << "x" << H << " at " << i << "," << j;
      }
    }
    long missing = 0;
    cimg_forXY(in, x, y) missing += tested(x, y) && std::fabs(in(x, y)) >= 1022;
    const WarpSamples all = samplesTestedByWarp(in, uv, 0, 0, W, H);
    EXPECT_TRUE(all.read == (long)tested.sum() && all.missing == missing) << W << "x" << H;
  }
}

// The samples tested for missing data while the window's pixels are computed, by hand: a shift
// (U, V) tests columns i + trunc(U) and one further in the direction of U (leftwards when U <= 0),
// lines j + trunc(V) and one further in the direction of V (upwards when V <= 0); a pixel whose
// neighbour lies outside, or whose shift is not a number, tests none. Missing samples at (26, 3)
// (1022), (12, 11), (24, 8) and (5, 5) (60000); the window 16 x 8 at (8, 4) of 32 x 16.
TEST(SamplesTestedByWarp, WhereTheWarpReadsForTheWindow) {
  CImg<double> in(32, 16, 1, 1, 100.0);
  in(12, 11) = in(24, 8) = in(5, 5) = 60000;
  in(26, 3) = 1022;    // the threshold itself
  in(6, 5) = 1021.99;  // below it
  const struct {
    const char* what;
    double u, v;
    int x0, y0, w, h;
    long read, missing;
  } rows[] = {
      {"right 2.5: columns 10-26, lines 3-11", 2.5, 0, 8, 4, 16, 8, 17 * 9, 3},
      {"left 2.5: columns 5-21, lines 3-11", -2.5, 0, 8, 4, 16, 8, 17 * 9, 2},
      {"no shift: columns 7-23, lines 3-11", 0, 0, 8, 4, 16, 8, 17 * 9, 1},
      {"left 2.5, down 1.5: columns 5-21, lines 5-13", -2.5, 1.5, 8, 4, 16, 8, 17 * 9, 2},
      {"whole image, right 2.5: columns 2-31, lines 0-15", 2.5, 0, 0, 0, 32, 16, 30 * 16, 4},
      {"window clipped to column 28 (31 reaches beyond the border)", 2.5, 0, 28, 12, 10, 10, 2 * 5, 0},
      {"a shift that is not a number", NAN, 0, 8, 4, 16, 8, 0, 0},
      {"shift beyond the border: clamped, no neighbour", 100, 0, 8, 4, 16, 8, 0, 0},
  };
  for (const auto& r : rows) {
    const WarpSamples n = samplesTestedByWarp(in, field(32, 16, r.u, r.v), r.x0, r.y0, r.w, r.h);
    EXPECT_EQ(n.read, r.read) << r.what;
    EXPECT_EQ(n.missing, r.missing) << r.what;
  }
  const WarpSamples none = samplesTestedByWarp(CImg<double>(), CImg<double>(), 0, 0, 4, 4);
  EXPECT_TRUE(none.read == 0 && none.missing == 0);
  EXPECT_EXIT(samplesTestedByWarp(in, field(31, 16, 0, 0), 0, 0, 4, 4), testing::ExitedWithCode(1), "Recal_spline");
}

TEST(ProjDupSpline, ConstantRampAndLayout) {
  CImg<double> out;
  Proj_Dup_Spline(out, CImg<double>(7, 5, 1, 1, -3.5));
  ASSERT_TRUE(out.is_sameXY(14, 10));
  cimg_forXY(out, x, y) EXPECT_NEAR(-3.5, out(x, y), 1e-5);
  Proj_Dup_Spline(out, image(40, 30, [](int x, int) { return (double)x; }), 3);
  for (int y = 10; y < 20; y++)
    for (int x = 10; x < 30; x++) {
      EXPECT_TRUE(std::fabs(out(2 * x, 2 * y) - x) < 1e-5 && std::fabs(out(2 * x, 2 * y + 1) - x) < 1e-5) << x;
      EXPECT_NEAR(x + 0.5, out(2 * x + 1, 2 * y), 1e-5);
      EXPECT_NEAR(x + 0.5, out(2 * x + 1, 2 * y + 1), 1e-5);
    }
  // Sample (x / 2, y / 2), the last line and column repeating the one before.
  const CImg<double> in = image(2, 2, [](int x, int y) { return 1.0 + 3.0 * x + 7.0 * y * y; });
  Spline s(in, 3);
  Proj_Dup_Spline(out, in, 3);
  cimg_forXY(out, x, y) EXPECT_EQ(s.at(std::min(x, 2) / 2.0, std::min(y, 2) / 2.0), out(x, y)) << x << "," << y;
}

TEST(ProjDupSpline, SingleColumnLineOrPixelAndOutputSize) {
  CImg<double> out, same = randomImage(5, 4, 15);
  Proj_Dup_Spline(out, image(1, 5, [](int, int y) { return 2.0 * y; }));
  ASSERT_TRUE(out.is_sameXY(2, 10));
  cimg_forY(out, y) EXPECT_EQ(out(0, y), out(1, y));
  for (int y = 0; y < 4; y++) EXPECT_NEAR(2.0 * y, out(0, 2 * y), 1e-5);
  Proj_Dup_Spline(out, image(6, 1, [](int x, int) { return (double)(x * x); }));
  ASSERT_TRUE(out.is_sameXY(12, 2));
  cimg_forX(out, x) EXPECT_EQ(out(x, 0), out(x, 1));
  EXPECT_EQ(out(10, 0), out(11, 0));
  Proj_Dup_Spline(out, CImg<double>(1, 1, 1, 1, 4.0));
  EXPECT_TRUE(out.is_sameXY(2, 2) && out.min() == 4.0 && out.max() == 4.0);
  // The output is sized by the operator and may be the input; an empty input gives an empty output.
  out.assign(3, 3, 1, 1, 0.0);
  Proj_Dup_Spline(out, same);
  Proj_Dup_Spline(same, same);
  EXPECT_TRUE(out.is_sameXY(10, 8) && sameImage(out, same));
  Proj_Dup_Spline(out, CImg<double>());
  EXPECT_TRUE(out.is_empty());
}

}  // namespace
