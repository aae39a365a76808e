// Mirror-border prefilter of float volumes and the derivative kernels at grid points.
#include "spline/spline_derivatives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "spline/bspline.h"

namespace {

std::vector<float> randomVolume(long n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-20.0f, 100.0f);
  std::vector<float> v((size_t)n);
  for (float& x : v) x = dist(gen);
  return v;
}

long double betaReference(int n, long double t) {
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

typedef double (*Weight)(long, double);

TEST(BsplnWght, PolynomialsAreTheCentredBSpline) {
  const Weight weights[] = {BsplnWght0, BsplnWght1, BsplnWght2, BsplnWght3,
                            BsplnWght4, BsplnWght5, BsplnWght6, BsplnWght7};
  for (int n = 0; n <= 7; n++)
    for (double x = -5.0; x <= 5.0; x += 0.03125 * 0.75) {
      const double expected = (double)betaReference(n, (long double)x - 2.0L);
      EXPECT_NEAR(expected, weights[n](2, x), 1e-13) << "degree " << n << " at " << x;
    }
}

// Value, first- and second-derivative weights at integer tap offsets, degrees 3, 4, 6.
struct KernelTable {
  int degree;
  std::vector<double> value, first, second;  // offsets -degree/2 .. degree - degree/2
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
// weights at that offset: the five operators show the kernel tables.
TEST(GridDerivatives, UnitImpulseGivesTheKernelTables) {
  const long nx = 15, ny = 13, cx = 7, cy = 6;
  std::vector<float> coeff((size_t)(nx * ny), 0.0f);
  coeff[(size_t)(cx + nx * cy)] = 1.0f;
  typedef int (*Op)(float*, float*, long, long, int, float);
  for (const KernelTable& t : kTables) {
    const long half = t.degree / 2;
    const struct {
      Op op;
      const std::vector<double>*along_x, *along_y;
      const char* name;
    } ops[] = {{gradX, &t.first, &t.value, "gradX"},     {gradY, &t.value, &t.first, "gradY"},
               {derivXX, &t.second, &t.value, "derivXX"}, {derivYY, &t.value, &t.second, "derivYY"},
               {derivXY, &t.first, &t.first, "derivXY"}};
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
              << o.name << " degree " << t.degree << " offset " << ox << "," << oy;
        }
    }
  }
}

// Convolving the coefficients with the integer samples of the B-spline gives back the input.
void expectReproduction(const std::vector<float>& samples, const std::vector<float>& coeff, long nx, long ny,
                        long nz, int degree) {
  std::vector<double> beta;
  const long half = degree / 2 + 1;
  for (long k = -half; k <= half; k++) beta.push_back((double)betaReference(degree, (long double)k));
  double largest = 0.0;
  for (float v : coeff) largest = std::max(largest, (double)std::fabs(v));
  for (long z = 0; z < nz; z++)
    for (long y = 0; y < ny; y++)
      for (long x = 0; x < nx; x++) {
        double v = 0.0;
        for (long kz = -half; kz <= half; kz++)
          for (long ky = -half; ky <= half; ky++)
            for (long kx = -half; kx <= half; kx++) {
              const double w = (nz > 1 ? beta[(size_t)(kz + half)] : (kz == 0)) *
                               (ny > 1 ? beta[(size_t)(ky + half)] : (ky == 0)) *
                               (nx > 1 ? beta[(size_t)(kx + half)] : (kx == 0));
              if (w == 0.0) continue;
              v += w * coeff[(size_t)(fold(x + kx, nx) + nx * (fold(y + ky, ny) + ny * fold(z + kz, nz)))];
            }
        EXPECT_NEAR(samples[(size_t)(x + nx * (y + ny * z))], v, 2e-6 * largest + 1e-5)
            << "degree " << degree << " size " << nx << "x" << ny << "x" << nz << " at " << x << "," << y << ","
            << z;
      }
}

TEST(DirectBsplineMirror, CoefficientsInterpolateTheSamples) {
  const long sizes[][3] = {{17, 11, 1}, {2, 3, 1}, {1, 9, 1}, {9, 1, 1}, {40, 4, 1}, {6, 5, 4}};
  for (int degree = 2; degree <= 7; degree++)
    for (const auto& s : sizes) {
      const long n = s[0] * s[1] * s[2];
      const std::vector<float> in = randomVolume(n, (unsigned)(degree + 10 * s[0]));
      std::vector<float> inCopy = in, out((size_t)n, 0.0f);
      ASSERT_EQ(0, directBsplineMirror(inCopy.data(), out.data(), s[0], s[1], s[2], degree));
      EXPECT_EQ(in, inCopy);
      expectReproduction(in, out, s[0], s[1], s[2], degree);
    }
}

// Both prefilters compute the same mirror-border interpolating coefficients (to float precision).
TEST(DirectBsplineMirror, AgreesWithTheInPlacePrefilter) {
  const long nx = 31, ny = 22;
  for (int degree = 2; degree <= 7; degree++) {
    std::vector<float> in = randomVolume(nx * ny, 99), a((size_t)(nx * ny)), b = in;
    ASSERT_EQ(0, directBsplineMirror(in.data(), a.data(), nx, ny, 1, degree));
    ASSERT_EQ(0, SamplesToCoefficients(b.data(), nx, ny, degree));
    for (size_t k = 0; k < a.size(); k++) EXPECT_NEAR(b[k], a[k], 5e-5 * (1.0 + std::fabs(b[k]))) << degree;
  }
}

TEST(DirectBsplineMirror, CopyForLowDegreesAndErrorsForOthers) {
  std::vector<float> in = randomVolume(12, 5), out(12, 0.0f);
  for (int degree : {0, 1}) {
    std::fill(out.begin(), out.end(), 0.0f);
    EXPECT_EQ(0, directBsplineMirror(in.data(), out.data(), 4, 3, 1, degree));
    EXPECT_EQ(in, out);
  }
  for (int degree : {8, 9, -1}) {
    std::fill(out.begin(), out.end(), 0.0f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, directBsplineMirror(in.data(), out.data(), 4, 3, 1, degree));
    EXPECT_EQ("ERROR - Unknown degree", testing::internal::GetCapturedStdout());
    EXPECT_EQ(in, out);
  }
}

TEST(GridDerivatives, UnsupportedDegreeLeavesOutputAlone) {
  std::vector<float> c = randomVolume(12, 6);
  for (int degree : {2, 5, 7}) {
    std::vector<float> out(12, 3.5f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, gradX(c.data(), out.data(), 4, 3, degree, 0.0f));
    EXPECT_EQ(1, derivXY(c.data(), out.data(), 4, 3, degree, 0.0f));
    EXPECT_EQ("ERROR - Unknown interpolation specificationERROR - Unknown interpolation specification",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(std::vector<float>(12, 3.5f), out);
  }
}

// The mirror makes the antisymmetric first-derivative kernel cancel on the first and last column
// (line); a ramp of coefficients has slope 1 and no curvature inside.
TEST(GridDerivatives, BordersAndRamps) {
  const long nx = 14, ny = 11;
  std::vector<float> c = randomVolume(nx * ny, 11), out((size_t)(nx * ny));
  for (int degree : {3, 4, 6}) {
    ASSERT_EQ(0, gradX(c.data(), out.data(), nx, ny, degree, 0.0f));
    for (long y = 0; y < ny; y++) {
      EXPECT_NEAR(0.0, out[(size_t)(nx * y)], 2e-5);
      EXPECT_NEAR(0.0, out[(size_t)(nx - 1 + nx * y)], 2e-5);
    }
    ASSERT_EQ(0, gradY(c.data(), out.data(), nx, ny, degree, 0.0f));
    for (long x = 0; x < nx; x++) {
      EXPECT_NEAR(0.0, out[(size_t)x], 2e-5);
      EXPECT_NEAR(0.0, out[(size_t)(x + nx * (ny - 1))], 2e-5);
    }
  }
  std::vector<float> ramp((size_t)(nx * ny));
  for (long y = 0; y < ny; y++)
    for (long x = 0; x < nx; x++) ramp[(size_t)(x + nx * y)] = (float)x;
  for (int degree : {3, 4, 6}) {
    std::vector<float> dx((size_t)(nx * ny)), dxx((size_t)(nx * ny)), dy((size_t)(nx * ny));
    ASSERT_EQ(0, gradX(ramp.data(), dx.data(), nx, ny, degree, 0.0f));
    ASSERT_EQ(0, derivXX(ramp.data(), dxx.data(), nx, ny, degree, 0.0f));
    ASSERT_EQ(0, gradY(ramp.data(), dy.data(), nx, ny, degree, 0.0f));
    for (long y = 0; y < ny; y++)
      for (long x = degree / 2; x < nx - degree / 2; x++) {
        EXPECT_NEAR(1.0, dx[(size_t)(x + nx * y)], 1e-6) << degree;
        EXPECT_NEAR(0.0, dxx[(size_t)(x + nx * y)], 1e-5) << degree;
        EXPECT_NEAR(0.0, dy[(size_t)(x + nx * y)], 1e-6) << degree;
      }
  }
}

TEST(GridDerivatives, SingleColumn) {
  std::vector<float> c = {1.0f, 5.0f, 2.0f, -3.0f}, out(4);
  ASSERT_EQ(0, gradX(c.data(), out.data(), 1, 4, 3, 0.0f));
  for (float v : out) EXPECT_EQ(0.0f, v);
  ASSERT_EQ(0, gradY(c.data(), out.data(), 1, 4, 3, 0.0f));
  EXPECT_FLOAT_EQ(0.0f, out[0]);
  EXPECT_FLOAT_EQ(0.5f * (2.0f - 1.0f), out[1]);
  EXPECT_FLOAT_EQ(0.5f * (-3.0f - 5.0f), out[2]);
  EXPECT_FLOAT_EQ(0.0f, out[3]);
}

TEST(Fold, WholeSampleMirror) {
  EXPECT_EQ(0, fold(0, 5));
  EXPECT_EQ(1, fold(-1, 5));
  EXPECT_EQ(3, fold(5, 5));
  EXPECT_EQ(0, fold(8, 5));
  EXPECT_EQ(1, fold(9, 5));
  EXPECT_EQ(2, fold(-10, 5));
  EXPECT_EQ(0, fold(17, 1));
  EXPECT_EQ(1, fold(-3, 2));
  EXPECT_EQ(0, fold(4, 2));
}

// Short lines (a mirror period of 2 or 4 samples, shorter than the horizon, so the causal start
// wraps round several times): the cubic kernel over the folded coefficients gives the line back.
TEST(IirConvolveMirror, TwoAndThreeSampleLines) {
  const double z = -0.2679491924311228;
  double pole[1] = {z};
  for (long n : {2L, 3L}) {
    double line[3] = {2.0, -7.0, 4.0};
    double orig[3] = {2.0, -7.0, 4.0};
    iirConvolveMirror(line, line, n, 1.607695154586736, pole, 1);
    for (long i = 0; i < n; i++) {
      const double v = (line[fold(i - 1, n)] + 4.0 * line[i] + line[fold(i + 1, n)]) / 6.0;
      EXPECT_NEAR(orig[i], v, 1e-6) << n << " " << i;
    }
  }
  double single[1] = {3.0}, out[1];
  iirConvolveMirror(single, out, 1, 2.0, pole, 1);
  EXPECT_EQ(6.0, out[0]);
}

// The recursive filter against its definition, in long double: the gain, then per pole the causal
// start summed over horizon + 1 terms of the mirrored line (horizons 10; 13; 16, 4; 19, 6; 23, 7, 3;
// 26, 8, 4 for degrees 2 to 7), the causal pass, the mirrored anti-causal start and pass. A horizon
// one term too short or too long moves the result by about |z|^horizon, far above the tolerance.
TEST(IirConvolveMirror, FollowsTheMirroredRecursion) {
  struct Case {
    std::vector<double> poles;
    std::vector<long> horizons;
  };
  const Case cases[] = {
      {{-0.1715728752538097}, {10}},
      {{-0.2679491924311228}, {13}},
      {{-0.3613412259002118, -0.013725429297341663}, {16, 4}},
      {{-0.43057534709997825, -0.04309628820326328}, {19, 6}},
      {{-0.48829458930304476, -0.08167927107623751, -0.0014141518083258177}, {23, 7, 3}},
      {{-0.5352804307964382, -0.12255461519232669, -0.009148694809608277}, {26, 8, 4}},
  };
  const double gain = 1.75;
  for (const Case& cs : cases)
    for (long n : {2L, 3L, 4L, 5L, 9L, 14L, 15L, 30L, 61L}) {
      const std::vector<float> samples = randomVolume(n, (unsigned)(n * 7 + cs.horizons[0]));
      // The mirrored line of period 2n - 2 written out: 0, 1, .., n-1, n-2, .., 1, 0, 1, ..
      std::vector<long> mirrored;
      while ((long)mirrored.size() < 200) {
        for (long s = 0; s < n; s++) mirrored.push_back(s);
        for (long s = n - 2; s >= 1; s--) mirrored.push_back(s);
      }
      std::vector<long double> x(samples.begin(), samples.end());
      for (long double& v : x) v *= gain;
      for (size_t p = 0; p < cs.poles.size(); p++) {
        const long double z = cs.poles[p];
        long double a = 0, zm = 1;
        for (long m = 0; m <= cs.horizons[p]; m++, zm *= z) a += zm * x[(size_t)mirrored[(size_t)m]];
        const long double last = x[(size_t)(n - 1)];
        x[0] = a;
        for (long i = 1; i < n; i++) x[(size_t)i] += z * x[(size_t)(i - 1)];
        x[(size_t)(n - 1)] = (2 * x[(size_t)(n - 1)] - last) / (1 - z * z);
        for (long i = n - 2; i >= 0; i--) x[(size_t)i] += z * x[(size_t)(i + 1)];
      }
      std::vector<double> line(samples.begin(), samples.end());
      std::vector<double> poles = cs.poles;
      iirConvolveMirror(line.data(), line.data(), n, gain, poles.data(), (long)poles.size());
      long double largest = 0;
      for (long double v : x) largest = std::max(largest, std::fabs(v));
      for (long i = 0; i < n; i++)
        EXPECT_NEAR((double)x[(size_t)i], line[(size_t)i], 1e-13 * (double)largest)
            << "poles " << cs.poles.size() << " first " << cs.poles[0] << " n " << n << " at " << i;
    }
  // An empty line is left alone.
  std::vector<double> one(1, 4.0);
  double pole[1] = {-0.2679491924311228};
  iirConvolveMirror(one.data(), one.data(), 0, 2.0, pole, 1);
  EXPECT_EQ(4.0, one[0]);
}

}  // namespace
