// Comparison with a true field (statistics, printed line, result slots, maps, refusals), the
// divergence-free projection in Fourier space and the second-order divergence.
#include <unistd.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "field/field.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

const double kTwoPi = 6.283185307179586;
using cd = std::complex<double>;

CImg<double> constantField(int w, int h, double u, double v) {
  return CImg<double>(w, h, 1, 1, u).append(CImg<double>(w, h, 1, 1, v), 'z');
}

CImg<double> randomField(int w, int h, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  CImg<double> f(w, h, 2, 1);
  cimg_for(f, p, double) *p = d(gen);
  return f;
}

// Raster bytes of an 8-bit PGM after checking its header.
std::string pgmRaster(const std::string& path, int w, int h) {
  const std::string bytes = readFileBytes(path);
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  return bytes.compare(0, header.size(), header) == 0 ? bytes.substr(header.size()) : "bad header";
}

const char* const kUnitLine = "End Point Error :1; Barron angular error :45; RMS difference with true UV :1\n";

TEST(GroundTruthComparison, UnitErrorAgainstZeroTruthWithALongPrefix) {
  // Map names are not cut to a fixed buffer.
  const std::string prefix = makeTempDir("gt") + "/" + std::string(95, 'x');
  CImg<double> save(20, 1, 1, 1, -7.0);
  EXPECT_EQ(captureStdout([&] {
              groundTruthComparison(constantField(4, 3, 1, 0), constantField(4, 3, 0, 0), CImg<double>(4, 3, 1, 1, 1.0),
                                    prefix, save);
            }),
            kUnitLine);
  EXPECT_DOUBLE_EQ(save[11], 1.0);
  EXPECT_NEAR(save[12], 45.0, 1e-12);
  EXPECT_DOUBLE_EQ(save[13], 1.0);
  for (int k = 0; k < 20; ++k) EXPECT_TRUE((k >= 11 && k <= 13) || save[k] == -7.0) << k;  // others untouched
  EXPECT_EQ(pgmRaster(prefix + "Barron.pgm", 4, 3), std::string(12, '\xff'));
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 4, 3), std::string(12, '\xff'));
}

TEST(GroundTruthComparison, SmallErrorMapsMaskWeightsAndEqualFields) {
  const std::string prefix = makeTempDir("gt") + "/p";
  const CImg<double> est = constantField(3, 2, 0, 0), truth = constantField(3, 2, 0.14, 0);
  CImg<double> save(20, 1, 1, 1, 0.0), mask(3, 2, 1, 1, 1.0);
  captureStdout([&] { groundTruthComparison(est, truth, mask, prefix, save); });
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 3, 2), std::string(6, (char)51));
  const double angle = std::acos(1 / std::sqrt(0.14 * 0.14 + 1)) * 57.29577951308232;
  EXPECT_NEAR(save[12], angle, 1e-12);
  EXPECT_EQ(pgmRaster(prefix + "Barron.pgm", 3, 2), std::string(6, (char)(int)(angle * (255.0 / 30.0) + 0.5)));
  // Only pixels of mask 1 count; the maps are zero where the mask is 0.
  CImg<double> e2 = est;
  e2(0, 0, 0) = 3, mask(0, 0) = 0;
  captureStdout([&] { groundTruthComparison(e2, truth, mask, prefix, save); });
  EXPECT_NEAR(save[11], 0.14, 1e-15);
  EXPECT_NEAR(save[13], 0.14, 1e-15);
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 3, 2), std::string(1, '\0') + std::string(5, (char)51));
  // Equal fields: the cosine is clamped, no NaN.
  const CImg<double> f = randomField(16, 16, 5) * 3.0;
  captureStdout([&] { groundTruthComparison(f, f, CImg<double>(16, 16, 1, 1, 1.0), prefix, save); });
  EXPECT_TRUE(save[11] == 0.0 && save[13] == 0.0);
  EXPECT_TRUE(save[12] >= 0 && save[12] < 1e-5) << save[12];
}

TEST(GroundTruthComparison, ShorterFormsEmptyMaskAndRefusals) {
  const std::string dir = makeTempDir("gt");
  const CImg<double> est = constantField(2, 2, 1, 0), truth = constantField(2, 2, 0, 0), ones(2, 2, 1, 1, 1.0);
  captureStdout([&] { groundTruthComparison(est, truth, ones, dir + "/four_"); });
  EXPECT_EQ(pgmRaster(dir + "/four_Barron.pgm", 2, 2), std::string(4, '\xff'));
  // The two-argument form writes "toBeErased" maps in the working directory.
  const ChildResult r = runInChild([&] {
    if (chdir(dir.c_str()) == 0) groundTruthComparison(est, truth);
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kUnitLine);
  EXPECT_EQ(pgmRaster(dir + "/toBeErasedBarron.pgm", 2, 2), std::string(4, '\xff'));
  EXPECT_EQ(pgmRaster(dir + "/toBeErasedEndPoint.pgm", 2, 2), std::string(4, '\xff'));
  // An all-zero mask prints a message and changes nothing.
  CImg<double> save(20, 1, 1, 1, 2.5), shortSave(13, 1, 1, 1, 0.0);
  EXPECT_NE(captureStdout([&] { groundTruthComparison(est, truth, ones * 0.0, dir + "/z", save); }).find("mask sums to 0"),
            std::string::npos);
  EXPECT_TRUE(save[11] == 2.5 && save[12] == 2.5 && save[13] == 2.5);
  EXPECT_EQ(readFileBytes(dir + "/zBarron.pgm"), "");
  // Estimate, truth, mask or result vector of unusable sizes are refused.
  const CImg<double> a = constantField(4, 4, 0, 0), b = constantField(4, 3, 0, 0), ones44(4, 4, 1, 1, 1.0);
  const std::function<void()> calls[] = {[&] { groundTruthComparison(a, b, ones44, dir + "/m", save); },
                                         [&] { groundTruthComparison(a, a, ones, dir + "/m", save); },
                                         [&] { groundTruthComparison(a.get_slice(0), a, ones44, dir + "/m", save); },
                                         [&] { groundTruthComparison(a, a, ones44, dir + "/m", shortSave); }};
  for (const auto& call : calls) {
    const ChildResult bad = runInChild(call);
    EXPECT_TRUE(bad.exited && bad.exitCode == 1);
    EXPECT_NE(bad.err.find("groundTruthComparison"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");
  }
}

double maxAbs(const CImg<double>& f) { return std::max(f.max(), -f.min()); }

// Plain two-dimensional DFT of a w x h complex array (sign -1 forward, +1 inverse, no scaling), summed
// along the lines, then along the columns.
std::vector<cd> dft(const std::vector<cd>& in, int w, int h, int sign) {
  const auto roots = [sign](int n) {
    std::vector<cd> r(n);
    for (int j = 0; j < n; ++j) r[j] = std::polar(1.0, sign * kTwoPi * j / n);
    return r;
  };
  const std::vector<cd> rw = roots(w), rh = roots(h);
  std::vector<cd> lines((size_t)w * h), out((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int m = 0; m < w; ++m)
      for (int x = 0; x < w; ++x) lines[(size_t)y * w + m] += in[(size_t)y * w + x] * rw[(size_t)m * x % w];
  for (int k = 0; k < h; ++k)
    for (int m = 0; m < w; ++m)
      for (int y = 0; y < h; ++y) out[(size_t)k * w + m] += lines[(size_t)y * w + m] * rh[(size_t)k * y % h];
  return out;
}

std::vector<cd> plane(const CImg<double>& f, int z) { return std::vector<cd>(f.data(0, 0, z), f.data(0, 0, z + 1)); }

int freqIndex(int j, int n) { return j <= n / 2 ? j : j - n; }

// The projection with plain DFTs and complex arithmetic: the spectrum F of (u, v) at the wavenumber
// k = (kx, ky) loses its part along k, k (k . F) / |k|^2, when divNul; the mean stays. The index n/2
// of an even size counts as positive in both conjugate halves of the spectrum, and the imaginary part
// of the inverse transform is dropped.
CImg<double> directProjection(const CImg<double>& in, bool divNul) {
  const int w = in.width(), h = in.height();
  std::vector<cd> fx = dft(plane(in, 0), w, h, -1), fy = dft(plane(in, 1), w, h, -1);
  for (int k = 0; k < h; ++k)
    for (int m = 0; m < w; ++m) {
      if ((m == 0 && k == 0) || !divNul) continue;
      const size_t p = (size_t)k * w + m;
      const double kx = kTwoPi / w * freqIndex(m, w), ky = kTwoPi / h * freqIndex(k, h);
      const cd along = (kx * fx[p] + ky * fy[p]) / (kx * kx + ky * ky);
      fx[p] -= kx * along;
      fy[p] -= ky * along;
    }
  const std::vector<cd> u = dft(fx, w, h, 1), v = dft(fy, w, h, 1);
  CImg<double> out(w, h, 2, 1);
  cimg_forXY(out, x, y) out(x, y, 0) = u[(size_t)y * w + x].real() / (w * h), out(x, y, 1) = v[(size_t)y * w + x].real() / (w * h);
  return out;
}

// Largest modulus of the divergence spectrum kx Fu + ky Fv of a field (divided by its size), the Nyquist
// column and row of even sizes left out.
double spectralDivergence(const CImg<double>& f) {
  const int w = f.width(), h = f.height();
  const std::vector<cd> Fu = dft(plane(f, 0), w, h, -1), Fv = dft(plane(f, 1), w, h, -1);
  double worst = 0;
  for (int k = 0; k < h; ++k)
    for (int m = 0; m < w; ++m)
      if (2 * m != w && 2 * k != h) {
        const size_t p = (size_t)k * w + m;
        worst = std::max(worst, std::abs(kTwoPi / w * freqIndex(m, w) * Fu[p] + kTwoPi / h * freqIndex(k, h) * Fv[p]));
      }
  return worst / ((double)w * h);
}

// Six seeded plane waves c cos(2 pi (p x / w + q y / h) + phase) of a potential, summed, as the field
// (d/dy, -d/dx) of the sum taken as a stream function when `solenoidal`, else its gradient. No wave
// has the zero or a Nyquist frequency, so the field is periodic and, mode by mode, exactly
// divergence-free or curl-free.
CImg<double> waveField(int w, int h, unsigned seed, bool solenoidal) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick_p(-(w - 1) / 2, (w - 1) / 2), pick_q(0, (h - 1) / 2);
  std::uniform_real_distribution<double> pick_c(0.2, 1.0), pick_phase(0, kTwoPi);
  CImg<double> f(w, h, 2, 1, 0.0);
  for (int waves = 0; waves < 6;) {
    const int p = pick_p(gen), q = pick_q(gen);
    const double c = pick_c(gen), phase = pick_phase(gen);
    if (p == 0 && q == 0) continue;
    ++waves;
    cimg_forXY(f, x, y) {
      const double s = -c * std::sin(kTwoPi * ((double)p * x / w + (double)q * y / h) + phase);
      const double dx = s * kTwoPi * p / w, dy = s * kTwoPi * q / h;
      f(x, y, 0) += solenoidal ? dy : dx;
      f(x, y, 1) += solenoidal ? -dx : dy;
    }
  }
  return f;
}

CImg<double> project(const CImg<double>& in, bool divNul = true) {
  CImg<double> out(in.width(), in.height(), 2, 1, 0.0);
  maj_vecteurs(out, in, divNul);
  return out;
}

TEST(DivergenceFreeProjection, ConstantSolenoidalAndGradientFields) {
  const int N = 16;
  const CImg<double> uniform = constantField(N, N, 2, -1);
  EXPECT_TRUE(project(uniform) == uniform);  // a uniform motion has no divergence: it stays
  EXPECT_TRUE(project(uniform, false) == uniform);
  CImg<double> vAlongX(N, N, 2, 1, 0.0), shear(N, N, 2, 1, 0.0), compress(N, N, 2, 1, 0.0), grad(N, N, 2, 1);
  cimg_forXY(vAlongX, x, y) {
    vAlongX(x, y, 1) = std::sin(kTwoPi * x / N);
    shear(x, y, 0) = std::sin(kTwoPi * y / N);
    compress(x, y, 0) = std::sin(kTwoPi * x / N);
    // Gradient of phi = cos(2 pi x/N + 0.3) sin(4 pi y/N).
    grad(x, y, 0) = -kTwoPi / N * std::sin(kTwoPi * x / N + 0.3) * std::sin(2 * kTwoPi * y / N);
    grad(x, y, 1) = 2 * kTwoPi / N * std::cos(kTwoPi * x / N + 0.3) * std::cos(2 * kTwoPi * y / N);
  }
  EXPECT_LT(maxAbs(project(vAlongX) - vAlongX), 1e-13);
  EXPECT_LT(maxAbs(project(shear) - shear), 1e-13);
  EXPECT_LT(maxAbs(project(compress)), 1e-13);
  EXPECT_LT(maxAbs(project(grad)), 1e-13);
  // A uniform motion added to a field is kept beside the field's own projection.
  EXPECT_LT(maxAbs(project(shear + uniform) - (shear + uniform)), 1e-13);
  EXPECT_LT(maxAbs(project(compress + uniform) - uniform), 1e-13);
  EXPECT_LT(maxAbs(project(grad + uniform) - uniform), 1e-13);
  // Without the projection a square field comes back as it was, its mean included.
  const CImg<double> r = randomField(N, N, 3);
  EXPECT_LT(maxAbs(project(r, false) - r), 1e-13);
}

// Wide and tall, odd and even, down to one line or one column; square ones as well.
const std::pair<int, int> kShapes[] = {{128, 64}, {64, 128}, {65, 33}, {33, 65}, {12, 8},
                                       {8, 12},   {7, 1},    {1, 7},   {16, 16}, {15, 15}};

TEST(DivergenceFreeProjection, EveryShapeKeepsDivergenceFreeRemovesGradientAndSplitsMixedFields) {
  for (const auto& s : kShapes) {
    const int w = s.first, h = s.second;
    const CImg<double> sol = waveField(w, h, 100 + w, true), grad = waveField(w, h, 200 + h, false);
    const CImg<double> uniform = constantField(w, h, 0.7, -0.4), mixed = sol + grad + uniform;
    const double tol = 1e-13 * (1 + maxAbs(sol) + maxAbs(grad));
    ASSERT_GT(maxAbs(sol), 0.05);
    ASSERT_GT(maxAbs(grad), 0.05);
    EXPECT_LT(maxAbs(project(sol + uniform) - (sol + uniform)), tol) << w << "x" << h;
    EXPECT_LT(maxAbs(project(grad + uniform) - uniform), tol) << w << "x" << h;  // only the mean stays
    EXPECT_LT(maxAbs(project(mixed) - (sol + uniform)), tol) << w << "x" << h;
    EXPECT_LT(maxAbs(project(mixed, false) - mixed), tol) << w << "x" << h;  // without divNul: as it was
  }
}

TEST(DivergenceFreeProjection, EveryShapeLeavesNoSpectralDivergenceAndKeepsTheMean) {
  for (const auto& s : kShapes) {
    const int w = s.first, h = s.second;
    const CImg<double> in = randomField(w, h, 11 + w * h), out = project(in);
    EXPECT_LT(spectralDivergence(out), 1e-13) << w << "x" << h;
    EXPECT_GT(spectralDivergence(in), 0.01) << w << "x" << h;
    EXPECT_NEAR(out.get_slice(0).mean(), in.get_slice(0).mean(), 1e-14) << w << "x" << h;  // the mean is kept
    EXPECT_NEAR(out.get_slice(1).mean(), in.get_slice(1).mean(), 1e-14) << w << "x" << h;
    EXPECT_GT(maxAbs(out - constantField(w, h, out.get_slice(0).mean(), out.get_slice(1).mean())), 0.1)
        << w << "x" << h;  // the divergence-free part of a random field is not zero
  }
}

TEST(DivergenceFreeProjection, SmallFieldsWithNyquistModesMatchThePlainTransformProjection) {
  const std::pair<int, int> sizes[] = {{6, 4}, {4, 6}, {5, 8}, {12, 8}, {7, 1}, {8, 8}, {9, 9}};
  for (const auto& s : sizes) {
    const CImg<double> in = randomField(s.first, s.second, 17 + s.first);
    for (bool divNul : {true, false}) {
      const CImg<double> ref = directProjection(in, divNul);
      EXPECT_LT(maxAbs(project(in, divNul) - ref), 1e-13 * (1 + maxAbs(ref))) << s.first << "x" << s.second << divNul;
    }
  }
}

TEST(DivergenceFreeProjection, InPlaceLargerOutputAndRefusals) {
  const CImg<double> in = randomField(8, 6, 23), separate = project(in);
  CImg<double> same = in, big(10, 7, 3, 1, 9.0);
  maj_vecteurs(same, same, true);
  EXPECT_TRUE(same == separate);
  maj_vecteurs(big, in, true);  // only the input-sized window of planes 0 and 1 is written
  cimg_forXYZ(big, x, y, z) EXPECT_EQ(big(x, y, z), (x < 8 && y < 6 && z < 2) ? separate(x, y, z) : 9.0);
  const CImg<double> sq = randomField(8, 8, 1);
  CImg<double> narrow(4, 8, 2, 1), out(8, 8, 2, 1);
  const ChildResult small = runInChild([&] { maj_vecteurs(narrow, sq, true); });
  EXPECT_EQ(small.exitCode, 1);
  EXPECT_NE(small.err.find("maj_vecteurs"), std::string::npos);
  EXPECT_EQ(runInChild([&] { maj_vecteurs(out, sq.get_slice(0), true); }).exitCode, 1);
}

TEST(SecondOrderDivergence, CentredDifferencesWithNearestBorder) {
  const int w = 6, h = 5;
  CImg<double> ux(w, h, 2, 1, 0.0), vy(w, h, 2, 1, 0.0);
  cimg_forXY(ux, x, y) ux(x, y, 0) = x, vy(x, y, 1) = 2 * y;
  const CImg<double> d1 = divImOrder2(ux), d2 = divImOrder2(vy), d3 = divImOrder2(constantField(w, h, 3.5, 3.5));
  ASSERT_TRUE(d1.is_sameXYZC(w, h, 1, 1));
  cimg_forXY(d1, x, y) {
    EXPECT_EQ(d1(x, y), (x == 0 || x == w - 1) ? 0.5 : 1.0);
    EXPECT_EQ(d2(x, y), (y == 0 || y == h - 1) ? 1.0 : 2.0);
    EXPECT_EQ(d3(x, y), 0.0);
  }
  CImg<double> fine(3, 1, 2, 1, 0.0);  // differences are taken in single precision
  fine(0, 0, 0) = 1.0, fine(2, 0, 0) = 1.0 + 1e-12;
  EXPECT_EQ(divImOrder2(fine)(1, 0), 0.0);
}

}  // namespace
