// Interpolating B-splines with whole-sample mirror borders: the in-place prefilter and evaluation
// (degrees 2 to 9), the volume prefilter, its recursive filter, and the derivative kernels at grid points.
#include "spline/bspline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "spline/spline_derivatives.h"
#include "support/expect.h"

namespace {

std::vector<float> randomImage(long n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-50.0f, 200.0f);
  std::vector<float> im((size_t)n);
  for (float& v : im) v = dist(gen);
  return im;
}

// Centred B-spline of degree n by its truncated-power definition, in long double.
long double beta(int n, long double t) {
  if (n == 0) return (t >= -0.5L && t < 0.5L) ? 1 : 0;
  long double sum = 0, binom = 1, fact = 1;
  for (int k = 2; k <= n; k++) fact *= k;
  for (int j = 0; j <= n + 1; j++) {
    const long double s = t + (n + 1) / 2.0L - j;
    if (s > 0) sum += ((j % 2) ? -1 : 1) * binom * std::pow(s, (long double)n);
    binom = binom * (n + 1 - j) / (j + 1);
  }
  return sum / fact;
}

const double kCubicPole = -0.2679491924311228, kEps = 2.220446049250313e-16;

TEST(SamplesToCoefficients, EveryDegreeReproducesEverySample) {
  const long sizes[][2] = {{23, 17}, {2, 5}, {3, 2}, {1, 6}, {7, 1}, {28, 3}, {29, 3}, {40, 2}, {1, 1}};
  for (long degree = 2; degree <= 9; degree++)
    for (const auto& size : sizes) {
      const long w = size[0], h = size[1];
      const std::vector<float> samples = randomImage(w * h, (unsigned)(degree * 100 + w));
      std::vector<float> c = samples;
      ASSERT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
      double largest = 0.0;  // float coefficients carry one rounding each; high degrees amplify them
      for (float v : c) largest = std::max(largest, (double)std::fabs(v));
      for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++)
          EXPECT_NEAR(samples[(size_t)(x + w * y)], InterpolatedValue(c.data(), w, h, (double)x, (double)y, degree),
                      1e-6 * largest)
              << "degree " << degree << " size " << w << "x" << h << " at " << x << "," << y;
    }
}

// Cubic splines reproduce polynomials up to degree 3 away from the borders (where the mirror bends them).
TEST(InterpolatedValue, CubicReproducesLinearAndQuadraticInside) {
  const long w = 64, h = 48;
  std::vector<float> ramp((size_t)(w * h)), square((size_t)(w * h));
  for (long k = 0; k < w * h; k++) ramp[(size_t)k] = (float)(k % w), square[(size_t)k] = (float)((k % w) * (k % w));
  ASSERT_EQ(0, SamplesToCoefficients(ramp.data(), w, h, 3));
  ASSERT_EQ(0, SamplesToCoefficients(square.data(), w, h, 3));
  for (double x = 16.0; x <= 48.0; x += 0.37)
    for (double y = 10.0; y <= 38.0; y += 2.9) {
      EXPECT_NEAR(x, InterpolatedValue(ramp.data(), w, h, x, y, 3), 2e-5) << x << "," << y;
      EXPECT_NEAR(x * x, InterpolatedValue(square.data(), w, h, x, y, 3), 3e-3) << x << "," << y;
    }
}

// Outside the image the spline is mirrored about the first and last samples; a unit coefficient shows
// the centred B-spline itself; a non-finite position has no value.
TEST(InterpolatedValue, MirrorKernelAndNonFinitePositions) {
  const long w = 9, h = 6;
  for (long degree = 2; degree <= 9; degree++) {
    std::vector<float> c = randomImage(w * h, 7), unit(41, 0.0f);
    unit[20] = 1.0f;
    ASSERT_EQ(0, SamplesToCoefficients(c.data(), w, h, degree));
    auto at = [&](double x, double y) { return InterpolatedValue(c.data(), w, h, x, y, degree); };
    for (double a = 0.1; a < 4.0; a += 0.45) {
      EXPECT_NEAR(at(a, 2.3), at(-a, 2.3), 1e-9);
      EXPECT_NEAR(at(w - 1 - a, 2.3), at(w - 1 + a, 2.3), 1e-9);
      EXPECT_NEAR(at(3.7, h - 1 - a), at(3.7, h - 1 + a), 1e-9);
    }
    for (double x = 14.0; x <= 26.0; x += 0.173)
      EXPECT_NEAR((double)beta((int)degree, x - 20.0L), InterpolatedValue(unit.data(), 41, 1, x, 0.0, degree), 1e-14)
          << "degree " << degree << " at " << x;
  }
  std::vector<float> c(16, 1.0f);
  for (double x : {(double)NAN, 1.0, -1e300})
    EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 4, 4, x, x == 1.0 ? INFINITY : 1.0, 3))) << x;
}

TEST(SamplesToCoefficients, FailuresLeaveTheImageAloneAndEmptyImages) {
  for (long degree : {-1L, 0L, 1L, 10L}) {
    std::vector<float> c = randomImage(20, 3);
    const std::vector<float> before = c;
    double v = -1;
    EXPECT_EQ(captureStdout([&] {
                EXPECT_EQ(1, SamplesToCoefficients(c.data(), 5, 4, degree));
                v = InterpolatedValue(c.data(), 5, 4, 1.5, 1.5, degree);
              }),
              "Invalid spline degree\nInvalid spline degree\n");
    EXPECT_TRUE(v == 0.0 && before == c);
  }
  // The work buffers are obtained before the image changes.
  std::vector<float> c = {1.0f, 2.0f, 3.0f, 4.0f};
  const std::vector<float> before = c;
  EXPECT_EQ(captureStdout([&] { EXPECT_EQ(1, SamplesToCoefficients(c.data(), LONG_MAX / 2, 1, 3)); }),
            "Row allocation failed\n");
  EXPECT_EQ(captureStdout([&] { EXPECT_EQ(1, SamplesToCoefficients(c.data(), 2, LONG_MAX / 2, 3)); }),
            "Column allocation failed\n");
  EXPECT_EQ(before, c);
  // Lines of no samples are left alone, and an empty image has no value.
  std::vector<double> line(1, 5.0);
  double pole[1] = {kCubicPole};
  ConvertToInterpolationCoefficients(line.data(), 0, pole, 1, kEps);
  EXPECT_EQ(0, SamplesToCoefficients(c.data(), 0, 3, 3));
  EXPECT_TRUE(line[0] == 5.0 && before == c);
  EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 0, 1, 0.0, 0.0, 3)));
  EXPECT_TRUE(std::isnan(InterpolatedValue(c.data(), 1, 0, 0.0, 0.0, 3)));
}

// The causal start of the cubic pole is the exact mirrored sum for lines up to its horizon of 28
// samples and the sum of the first 28 terms for longer ones: a lone far sample shows which was taken.
TEST(InitialCausalCoefficient, HorizonChoosesExactOrTruncatedSum) {
  const long double z27 = std::pow((long double)kCubicPole, 27.0L);
  std::vector<double> c(28, 0.0);
  c[27] = 1.0;  // 28 samples: sample 27 recurs every 54 terms of the mirrored line
  const double exact = (double)(z27 / (1.0L - z27 * z27));
  EXPECT_NEAR(exact, InitialCausalCoefficient(c.data(), 28, kCubicPole, kEps), 1e-14 * std::fabs(exact));
  c.assign(29, 0.0);
  c[28] = 1.0;  // 29 samples: the last lies beyond the 28 terms
  EXPECT_EQ(0.0, InitialCausalCoefficient(c.data(), 29, kCubicPole, kEps));
  c[28] = 0.0, c[27] = 1.0;  // the last term taken, once
  EXPECT_NEAR((double)z27, InitialCausalCoefficient(c.data(), 29, kCubicPole, kEps), 1e-14 * std::fabs((double)z27));
  // Without a tolerance the exact sum is used: 1, -2, 0.5, -2, 1, ... of period 4.
  std::vector<double> d = {1.0, -2.0, 0.5};
  EXPECT_NEAR((1.0 + 1.0 + 0.125 + 0.25) / (1.0 - 0.0625), InitialCausalCoefficient(d.data(), 3, -0.5, 0.0), 1e-15);
}

// The recursive filter of the volume prefilter against its definition, in long double: the gain, then
// per pole the causal start summed over horizon + 1 terms of the mirrored line (horizons 10; 13; 16, 4;
// 19, 6; 23, 7, 3; 26, 8, 4 for degrees 2 to 7), the causal pass, the anti-causal start and pass. A
// horizon one term off moves the result by about |z|^horizon, far above the tolerance.
TEST(IirConvolveMirror, FollowsTheMirroredRecursion) {
  const struct { std::vector<double> poles; std::vector<long> horizons; } cases[] = {
      {{-0.1715728752538097}, {10}},
      {{kCubicPole}, {13}},
      {{-0.3613412259002118, -0.013725429297341663}, {16, 4}},
      {{-0.43057534709997825, -0.04309628820326328}, {19, 6}},
      {{-0.48829458930304476, -0.08167927107623751, -0.0014141518083258177}, {23, 7, 3}},
      {{-0.5352804307964382, -0.12255461519232669, -0.009148694809608277}, {26, 8, 4}}};
  const double gain = 1.75;
  for (const auto& cs : cases)
    for (long n : {2L, 3L, 4L, 5L, 9L, 14L, 15L, 30L, 61L}) {
      const std::vector<float> samples = randomImage(n, (unsigned)(n * 7 + cs.horizons[0]));
      std::vector<long> mirrored;  // 0, 1, .., n-1, n-2, .., 1, 0, 1, ..
      while ((long)mirrored.size() < 200) {
        for (long s = 0; s < n; s++) mirrored.push_back(s);
        for (long s = n - 2; s >= 1; s--) mirrored.push_back(s);
      }
      std::vector<long double> x(samples.begin(), samples.end());
      for (long double& v : x) v *= gain;
      for (size_t p = 0; p < cs.poles.size(); p++) {
        const long double z = cs.poles[p], last = x[(size_t)(n - 1)];
        long double a = 0, zm = 1;
        for (long m = 0; m <= cs.horizons[p]; m++, zm *= z) a += zm * x[(size_t)mirrored[(size_t)m]];
        x[0] = a;
        for (long i = 1; i < n; i++) x[(size_t)i] += z * x[(size_t)(i - 1)];
        x[(size_t)(n - 1)] = (2 * x[(size_t)(n - 1)] - last) / (1 - z * z);
        for (long i = n - 2; i >= 0; i--) x[(size_t)i] += z * x[(size_t)(i + 1)];
      }
      std::vector<double> line(samples.begin(), samples.end()), poles = cs.poles;
      iirConvolveMirror(line.data(), line.data(), n, gain, poles.data(), (long)poles.size());
      long double largest = 0;
      for (long double v : x) largest = std::max(largest, std::fabs(v));
      for (long i = 0; i < n; i++)
        EXPECT_NEAR((double)x[(size_t)i], line[(size_t)i], 1e-13 * (double)largest) << cs.poles[0] << " n " << n << " " << i;
    }
  double pole[1] = {kCubicPole}, one[1] = {3.0}, out[1] = {0.0}, none[1] = {4.0};
  iirConvolveMirror(one, out, 1, 2.0, pole, 1);  // a single sample: the gain
  iirConvolveMirror(none, none, 0, 2.0, pole, 1);  // an empty line is left alone
  EXPECT_TRUE(out[0] == 6.0 && none[0] == 4.0);
}

TEST(DirectBsplineMirror, AgreesWithTheInPlacePrefilterAndReportsOtherDegrees) {
  const long sizes[][2] = {{31, 22}, {2, 3}, {1, 9}, {9, 1}, {40, 4}};
  for (int degree = 2; degree <= 7; degree++)
    for (const auto& s : sizes) {
      const long n = s[0] * s[1];
      const std::vector<float> in = randomImage(n, (unsigned)(degree + 10 * s[0]));
      std::vector<float> inCopy = in, a((size_t)n), b = in;
      ASSERT_EQ(0, directBsplineMirror(inCopy.data(), a.data(), s[0], s[1], 1, degree));
      ASSERT_EQ(0, SamplesToCoefficients(b.data(), s[0], s[1], degree));
      EXPECT_EQ(in, inCopy);
      for (size_t k = 0; k < a.size(); k++) EXPECT_NEAR(b[k], a[k], 5e-5 * (1.0 + std::fabs(b[k]))) << degree;
    }
  std::vector<float> in = randomImage(12, 5), out(12, 0.0f);
  for (int degree : {0, 1}) {  // a copy
    std::fill(out.begin(), out.end(), 0.0f);
    EXPECT_EQ(0, directBsplineMirror(in.data(), out.data(), 4, 3, 1, degree));
    EXPECT_EQ(in, out);
  }
  for (int degree : {8, 9, -1}) {
    std::fill(out.begin(), out.end(), 0.0f);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(1, directBsplineMirror(in.data(), out.data(), 4, 3, 1, degree)); }),
              "ERROR - Unknown degree");
    EXPECT_EQ(in, out);
  }
}

TEST(GridDerivatives, WeightPolynomialsAndFold) {
  typedef double (*Weight)(long, double);
  const Weight weights[] = {BsplnWght0, BsplnWght1, BsplnWght2, BsplnWght3,
                            BsplnWght4, BsplnWght5, BsplnWght6, BsplnWght7};
  for (int n = 0; n <= 7; n++)
    for (double x = -5.0; x <= 5.0; x += 0.03125 * 0.75)
      EXPECT_NEAR((double)beta(n, (long double)x - 2.0L), weights[n](2, x), 1e-13) << "degree " << n << " at " << x;
  const long folds[][3] = {{0, 5, 0}, {-1, 5, 1}, {5, 5, 3}, {8, 5, 0}, {9, 5, 1},
                           {-10, 5, 2}, {17, 1, 0}, {-3, 2, 1}, {4, 2, 0}};  // whole-sample mirror
  for (const auto& f : folds) EXPECT_EQ(f[2], fold(f[0], f[1])) << f[0] << " " << f[1];
}

// Value, first- and second-derivative weights at integer tap offsets -degree/2 .. degree - degree/2.
struct KernelTable {
  int degree;
  std::vector<double> value, first, second;
};

const KernelTable kTables[] = {
    {3, {1.0 / 6, 2.0 / 3, 1.0 / 6, 0.0}, {-0.5, 0.0, 0.5, 0.0}, {1.0, -2.0, 1.0, 0.0}},
    {4,
     {1.0 / 384, 19.0 / 96, 115.0 / 192, 19.0 / 96, 1.0 / 384},
     {-1.0 / 48, -11.0 / 24, 0.0, 11.0 / 24, 1.0 / 48},
     {1.0 / 8, 1.0 / 2, -5.0 / 4, 1.0 / 2, 1.0 / 8}},
    {6,
     {1.0 / 46080, 361.0 / 23040, 10543.0 / 46080, 5887.0 / 11520, 10543.0 / 46080, 361.0 / 23040, 1.0 / 46080},
     {-1.0 / 3840, -59.0 / 960, -289.0 / 768, 0.0, 289.0 / 768, 59.0 / 960, 1.0 / 3840},
     {1.0 / 384, 37.0 / 192, 79.0 / 384, -77.0 / 96, 79.0 / 384, 37.0 / 192, 1.0 / 384}},
};

// A single unit coefficient at c0 gives, at the pixel c0 - offset, the product of the two axis
// weights at that offset: the five operators show the kernel tables. Other degrees are reported.
TEST(GridDerivatives, UnitImpulseGivesTheKernelTables) {
  const long nx = 15, ny = 13, cx = 7, cy = 6;
  std::vector<float> coeff((size_t)(nx * ny), 0.0f);
  coeff[(size_t)(cx + nx * cy)] = 1.0f;
  typedef int (*Op)(float*, float*, long, long, int, float);
  for (const KernelTable& t : kTables) {
    const long half = t.degree / 2;
    const struct { Op op; const std::vector<double>*along_x, *along_y; } ops[] = {
        {gradX, &t.first, &t.value}, {gradY, &t.value, &t.first}, {derivXX, &t.second, &t.value},
        {derivYY, &t.value, &t.second}, {derivXY, &t.first, &t.first}};
    for (const auto& o : ops) {
      std::vector<float> out((size_t)(nx * ny), -99.0f);
      ASSERT_EQ(0, o.op(coeff.data(), out.data(), nx, ny, t.degree, 0.0f));
      for (long y = 0; y < ny; y++)
        for (long x = 0; x < nx; x++) {
          const long ox = cx - x, oy = cy - y;
          double expected = 0.0;
          if (ox >= -half && ox <= t.degree - half && oy >= -half && oy <= t.degree - half)
            expected = (*o.along_x)[(size_t)(ox + half)] * (*o.along_y)[(size_t)(oy + half)];
          EXPECT_NEAR(expected, out[(size_t)(x + nx * y)], 1e-7 * std::fabs(expected) + 1e-12)
              << "operator " << (&o - ops) << " degree " << t.degree << " offset " << ox << "," << oy;
        }
    }
  }
  for (int degree : {2, 5, 7}) {
    std::vector<float> out(12, 3.5f);
    EXPECT_EQ(captureStdout([&] {
                EXPECT_EQ(1, gradX(coeff.data(), out.data(), 4, 3, degree, 0.0f));
                EXPECT_EQ(1, derivXY(coeff.data(), out.data(), 4, 3, degree, 0.0f));
              }),
              "ERROR - Unknown interpolation specificationERROR - Unknown interpolation specification");
    EXPECT_EQ(std::vector<float>(12, 3.5f), out);
  }
}

}  // namespace
