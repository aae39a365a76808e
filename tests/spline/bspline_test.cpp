// Prefilter and evaluation of interpolating B-splines, degrees 2 to 9, with mirror borders.
#include "spline/bspline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<float> randomImage(long w, long h, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-50.0f, 200.0f);
  std::vector<float> im((size_t)(w * h));
  for (float& v : im) v = dist(gen);
  return im;
}

// Centred B-spline of degree n by its truncated-power definition, in long double.
long double betaReference(int n, long double t) {
  long double sum = 0, binom = 1, fact = 1;
  for (int k = 2; k <= n; k++) fact *= k;
  for (int j = 0; j <= n + 1; j++) {
    const long double s = t + (n + 1) / 2.0L - j;
    if (s > 0) sum += ((j % 2) ? -1 : 1) * binom * std::pow(s, (long double)n);
    binom = binom * (n + 1 - j) / (j + 1);
  }
  return sum / fact;
}

// The spline through coefficients c reproduces the samples: every degree, every pixel (borders too).
TEST(SamplesToCoefficients, EveryDegreeReproducesEverySample) {
  const long sizes[][2] = {{23, 17}, {2, 5}, {3, 2}, {1, 6}, {7, 1}, {28, 3}, {29, 3}, {40, 2}};
  for (long degree = 2; degree <= 9; degree++) {
    for (const auto& size : sizes) {
      const long w = size[0], h = size[1];
      const std::vector<float> samples = randomImage(w, h, (unsigned)(degree * 100 + w));
      std::vector<float> c = samples;
      ASSERT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
      // Float coefficients carry one rounding each; high degrees amplify them.
      double largest = 0.0;
      for (float v : c) largest = std::max(largest, (double)std::fabs(v));
      const double tolerance = 1e-6 * largest;
      for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
          const double v = InterpolatedValue(c.data(), w, h, (double)x, (double)y, degree);
          EXPECT_NEAR(samples[(size_t)(x + w * y)], v, tolerance)
              << "degree " << degree << " size " << w << "x" << h << " at " << x << "," << y;
        }
    }
  }
}

TEST(SamplesToCoefficients, ConstantStaysConstant) {
  for (long degree = 2; degree <= 9; degree++) {
    std::vector<float> c(30 * 20, 7.25f);
    ASSERT_EQ(0, SamplesToCoefficients(c.data(), 30, 20, degree));
    for (float v : c) EXPECT_NEAR(7.25, v, 1e-5) << "degree " << degree;
    EXPECT_NEAR(7.25, InterpolatedValue(c.data(), 30, 20, 3.3, 11.9, degree), 1e-5);
  }
}

// Cubic splines reproduce polynomials up to degree 3; away from the borders the mirror no longer
// matters, so x and x^2 come back at any position.
TEST(InterpolatedValue, CubicReproducesLinearAndQuadraticInside) {
  const long w = 64, h = 48;
  std::vector<float> ramp((size_t)(w * h)), square((size_t)(w * h));
  for (long y = 0; y < h; y++)
    for (long x = 0; x < w; x++) {
      ramp[(size_t)(x + w * y)] = (float)x;
      square[(size_t)(x + w * y)] = (float)(x * x);
    }
  ASSERT_EQ(0, SamplesToCoefficients(ramp.data(), w, h, 3));
  ASSERT_EQ(0, SamplesToCoefficients(square.data(), w, h, 3));
  for (double x = 16.0; x <= 48.0; x += 0.37)
    for (double y = 10.0; y <= 38.0; y += 2.9) {
      EXPECT_NEAR(x, InterpolatedValue(ramp.data(), w, h, x, y, 3), 2e-5) << x << "," << y;
      EXPECT_NEAR(x * x, InterpolatedValue(square.data(), w, h, x, y, 3), 3e-3) << x << "," << y;
    }
}

TEST(InterpolatedValue, MirrorOutsideTheImage) {
  const long w = 9, h = 6;
  for (long degree = 2; degree <= 9; degree++) {
    std::vector<float> c = randomImage(w, h, 7);
    ASSERT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
    for (double a = 0.1; a < 4.0; a += 0.45) {
      const double y = 2.3;
      EXPECT_NEAR(InterpolatedValue(c.data(), w, h, a, y, degree),
                  InterpolatedValue(c.data(), w, h, -a, y, degree), 1e-9);
      EXPECT_NEAR(InterpolatedValue(c.data(), w, h, w - 1 - a, y, degree),
                  InterpolatedValue(c.data(), w, h, w - 1 + a, y, degree), 1e-9);
      EXPECT_NEAR(InterpolatedValue(c.data(), w, h, 3.7, h - 1 - a, degree),
                  InterpolatedValue(c.data(), w, h, 3.7, h - 1 + a, degree), 1e-9);
    }
  }
}

// The weights of every degree are the centred B-spline at the tap distances: a single unit
// coefficient in a wide image shows the kernel itself.
TEST(InterpolatedValue, UnitCoefficientGivesTheBSpline) {
  const long w = 41, h = 1;
  std::vector<float> c((size_t)w, 0.0f);
  c[20] = 1.0f;
  for (long degree = 2; degree <= 9; degree++)
    for (double x = 14.0; x <= 26.0; x += 0.173) {
      const double expected = (double)betaReference((int)degree, (long double)(x - 20.0));
      EXPECT_NEAR(expected, InterpolatedValue(c.data(), w, h, x, 0.0, degree), 1e-14)
          << "degree " << degree << " at " << x;
    }
}

TEST(InterpolatedValue, NonFinitePositionGivesNaN) {
  std::vector<float> c(16, 1.0f);
  EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 4, 4, NAN, 1.0, 3)));
  EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 4, 4, 1.0, INFINITY, 3)));
  EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 4, 4, -1e300, 1.0, 3)));
}

// One column: rows of length 1 pass unchanged, the column pass still filters; evaluation reads column 0.
TEST(SamplesToCoefficients, SingleColumnAndSingleLine) {
  const std::vector<float> samples = {1.0f, 4.0f, -2.0f, 8.0f, 3.0f};
  std::vector<float> column = samples, line = samples;
  ASSERT_EQ(0, SamplesToCoefficients(column.data(), 1, 5, 3));
  ASSERT_EQ(0, SamplesToCoefficients(line.data(), 5, 1, 3));
  for (size_t k = 0; k < samples.size(); k++) EXPECT_FLOAT_EQ(column[k], line[k]);
  EXPECT_NE(samples[1], column[1]);
  for (long y = 0; y < 5; y++) {
    EXPECT_NEAR(samples[(size_t)y], InterpolatedValue(column.data(), 1, 5, 0.0, (double)y, 3), 1e-5);
    EXPECT_NEAR(samples[(size_t)y], InterpolatedValue(column.data(), 1, 5, 3.6, (double)y, 3), 1e-5);
  }
  std::vector<float> single = {5.5f};
  ASSERT_EQ(0, SamplesToCoefficients(single.data(), 1, 1, 7));
  EXPECT_EQ(5.5f, single[0]);
  EXPECT_DOUBLE_EQ(5.5, InterpolatedValue(single.data(), 1, 1, -3.2, 7.9, 7));
}

TEST(SamplesToCoefficients, InvalidDegreeLeavesImageAlone) {
  for (long degree : {-1L, 0L, 1L, 10L}) {
    std::vector<float> c = randomImage(5, 4, 3);
    const std::vector<float> before = c;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, SamplesToCoefficients(c.data(), 5, 4, degree));
    const double v = InterpolatedValue(c.data(), 5, 4, 1.5, 1.5, degree);
    EXPECT_EQ("Invalid spline degree\nInvalid spline degree\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0.0, v);
    EXPECT_EQ(before, c);
  }
}

// The work buffers are obtained before the image changes: a failure of either leaves it as it was.
TEST(SamplesToCoefficients, AllocationFailureLeavesImageAlone) {
  std::vector<float> c = {1.0f, 2.0f, 3.0f, 4.0f};
  const std::vector<float> before = c;
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, SamplesToCoefficients(c.data(), LONG_MAX / 2, 1, 3));
  EXPECT_EQ("Row allocation failed\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ(before, c);
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, SamplesToCoefficients(c.data(), 2, LONG_MAX / 2, 3));
  EXPECT_EQ("Column allocation failed\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ(before, c);
}

// Causal start on a mirrored line (c[-k] = c[k], c[N-1+k] = c[N-1-k]): exact for short lines,
// truncated at the horizon (28 for the cubic pole) for longer ones.
TEST(InitialCausalCoefficient, MatchesTheMirroredSum) {
  const double z = -0.2679491924311228;
  for (long n : {2L, 3L, 5L, 28L, 29L, 60L}) {
    std::vector<double> c((size_t)n);
    for (long k = 0; k < n; k++) c[(size_t)k] = std::cos(0.7 * k) * 10.0 + k;
    long double sum = 0, zk = 1;
    const long period = 2 * n - 2;
    for (long k = 0; k < 4000; k++) {
      long r = k % period;
      if (r >= n) r = period - r;
      sum += zk * c[(size_t)r];
      zk *= z;
    }
    EXPECT_NEAR((double)sum, InitialCausalCoefficient(c.data(), n, z, 2.220446049250313e-16), 1e-13) << n;
  }
  // Without a tolerance the exact sum is used whatever the length.
  std::vector<double> c = {1.0, -2.0, 0.5};
  const double exact = InitialCausalCoefficient(c.data(), 3, -0.5, 0.0);
  // Mirrored line 1, -2, 0.5, -2, 1, -2, ... with period 4: sum = (1 - 2z + 0.5z^2 - 2z^3) / (1 - z^4).
  EXPECT_NEAR((1.0 + 1.0 + 0.125 + 0.25) / (1.0 - 0.0625), exact, 1e-15);
}

// The causal start of the cubic pole is the exact mirrored sum for lines up to its horizon of 28
// samples and the sum of the first 28 terms for longer ones: a lone far sample shows which was taken.
TEST(InitialCausalCoefficient, HorizonChoosesExactOrTruncatedSum) {
  const double z = -0.2679491924311228;
  // 28 samples, sample 27 alone: it recurs every 54 terms of the mirrored line.
  std::vector<double> c(28, 0.0);
  c[27] = 1.0;
  const long double z27 = std::pow((long double)z, 27.0L);
  const double exact = (double)(z27 / (1.0L - z27 * z27));
  EXPECT_NEAR(exact, InitialCausalCoefficient(c.data(), 28, z, 2.220446049250313e-16), 1e-14 * std::fabs(exact));
  // 29 samples: the last one lies beyond the 28 terms and does not count at all.
  c.assign(29, 0.0);
  c[28] = 1.0;
  EXPECT_EQ(0.0, InitialCausalCoefficient(c.data(), 29, z, 2.220446049250313e-16));
  // Sample 27 is the last term taken, once (its mirror images lie beyond the horizon).
  c[28] = 0.0;
  c[27] = 1.0;
  EXPECT_NEAR((double)z27, InitialCausalCoefficient(c.data(), 29, z, 2.220446049250313e-16), 1e-14 * std::fabs((double)z27));
}

// Lines of no samples are left alone (nothing is read or written), and an empty image has no value.
TEST(SamplesToCoefficients, EmptyLinesAndImages) {
  std::vector<double> line(1, 5.0);
  double pole[1] = {-0.2679491924311228};
  ConvertToInterpolationCoefficients(line.data(), 0, pole, 1, 2.220446049250313e-16);
  EXPECT_EQ(5.0, line[0]);
  std::vector<float> none(1, 2.0f);
  EXPECT_EQ(0, SamplesToCoefficients(none.data(), 0, 3, 3));
  EXPECT_EQ(2.0f, none[0]);
  EXPECT_TRUE(std::isnan(InterpolatedValue(none.data(), 0, 1, 0.0, 0.0, 3)));
  EXPECT_TRUE(std::isnan(InterpolatedValue(none.data(), 1, 0, 0.0, 0.0, 3)));
}

}  // namespace
