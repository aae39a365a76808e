// Warp, upsampling and derivative operators: images go to float buffers, through the spline
// library, and back.
#include "spline/image_operators.h"

#include <CImg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "field/field.h"
#include "spline/bspline.h"
#include "spline/spline_derivatives.h"

using namespace cimg_library;

namespace {

// One component of a warp shift: the shift U of sample i on an axis of n samples lands at pos. Gives
// the truncated shift I and its fractional magnitude D; a landing outside 0..n-1 is clamped to the
// border sample, with no fraction.
void splitShift(float pos, float U, int i, int n, int& I, float& D) {
  if (pos < 0) {
    I = -i;
    D = 0.0f;
  } else if (pos > n - 1) {
    I = n - 1 - i;
    D = 0.0f;
  } else {
    I = (int)U;
    D = std::fabs(U) - std::fabs((float)I);
  }
}

// Where the warp of pixel (i, j) of a W x H image by the shift (U, V) reads the image: the sample at
// the truncated shift (base), its neighbours one step further in the direction of each shift
// component (next), and the fractional magnitudes of the shift. `fallback` when the pixel takes the
// sample at base whatever the image holds: a component that is not a number (a failed solve can leave
// one; it counts as no shift), or a neighbour outside the image. An infinite component lands beyond
// the border and is clamped there like any other large shift (the clamp comes before any truncation
// to an integer); the clamped case always falls back, its neighbour lying outside.
struct WarpTaps {
  float posX, posY;  // the landing point
  int baseX, baseY, nextX, nextY;
  float Du, Dv;
  bool fallback;
};

WarpTaps warpTaps(float U, float V, int i, int j, int W, int H) {
  bool notANumber = false;
  if (std::isnan(U)) {
    U = 0.0f;
    notANumber = true;
  }
  if (std::isnan(V)) {
    V = 0.0f;
    notANumber = true;
  }
  const int stepX = U > 0 ? 1 : -1;
  const int stepY = V > 0 ? 1 : -1;
  WarpTaps t;
  t.posX = i + U;
  t.posY = j + V;
  int Iu, Iv;
  splitShift(t.posX, U, i, W, Iu, t.Du);
  splitShift(t.posY, V, j, H, Iv, t.Dv);
  t.baseX = i + Iu, t.baseY = j + Iv;
  t.nextX = t.baseX + stepX, t.nextY = t.baseY + stepY;
  t.fallback = notANumber || t.nextX >= W || t.nextX < 0 || t.nextY >= H || t.nextY < 0;
  return t;
}

// Calls visit(x, y) for each of the four samples around the landing point (all inside the image once
// the taps do not fall back), until it returns true; true when one did.
template <class Visit>
bool anyTap(const WarpTaps& t, Visit&& visit) {
  return visit(t.nextX, t.nextY) || visit(t.baseX, t.baseY) || visit(t.nextX, t.baseY) || visit(t.baseX, t.nextY);
}

// A field of the size of a W x H image with at least two planes, else the refusal.
void refuseFieldNotFitting(const CImg<double>& UV, int W, int H) {
  if (UV.width() != W || UV.height() != H || UV.depth() < 2) {
    fprintf(stderr,
            "Recal_spline: motion field of %dx%dx%d does not fit the %dx%d image (same width and height, "
            "two planes needed)\n",
            UV.width(), UV.height(), UV.depth(), W, H);
    exit(1);
  }
}

typedef int (*GridDerivative)(float*, float*, long, long, int, float);

// Cubic mirror-border spline through the (optionally blurred) image, derivative at the grid points.
CImg<double> splineDerivative(const CImg<double>& in, float sigma, GridDerivative derivative) {
  if (in.is_empty()) return CImg<double>();
  CImg<double> im(in);
  if (sigma != 0) blurDeriche(im, sigma);
  const int W = im.width(), H = im.height();
  float* buffer = CImg2float(im);
  float* coefficients = new float[(size_t)W * H]();
  if (directBsplineMirror(buffer, coefficients, W, H, 1, 3) != 0) {
    delete[] buffer;
    delete[] coefficients;
    exit(1);
  }
  derivative(coefficients, buffer, W, H, 3, 0.0f);
  CImg<double> result = float2CImg(W, H, buffer);
  delete[] buffer;
  delete[] coefficients;
  return result;
}

}  // namespace

void Recal_spline(CImg<double>& out, const CImg<double>& in, const CImg<double>& UV, int SplineDegree) {
  puts("\n Recalage");
  if (in.is_empty()) {
    out.assign();
    return;
  }
  const int W = in.width(), H = in.height();
  refuseFieldNotFitting(UV, W, H);
  const long plane = (long)W * H;

  float* samples = CImg2float(in);
  float* field = CImg2float(UV);  // plane 0 = U at [0, plane), plane 1 = V at [plane, 2*plane)
  const float* fieldU = field;
  const float* fieldV = field + plane;
  float* coefficients = new float[plane]();
  Copy_f(coefficients, samples, W, H);
  if (SplineDegree > 2 && SamplesToCoefficients(coefficients, W, H, SplineDegree) != 0) puts("probleme");
  // The evaluation fails the same way as the prefilter for a degree above 9; its message has been
  // printed once already, so the pixels are set to 0 without asking it again.
  const bool splineEvaluates = SplineDegree <= 9;

  const double* original = in.data();  // plane 0 of channel 0 of the input, for the missing-data test
  float* result = new float[plane];

  for (int j = 0; j < H; j++) {
    for (int i = 0; i < W; i++) {
      const long at = i + (long)W * j;
      const WarpTaps t = warpTaps(fieldU[at], fieldV[at], i, j, W, H);
      const bool fallback = t.fallback || anyTap(t, [&](int x, int y) {
                              return std::fabs(original[x + (long)W * y]) >= kMissingSample;
                            });
      float value;
      if (fallback) {
        value = samples[t.baseX + (long)W * t.baseY];
      } else if (SplineDegree > 2) {
        value = splineEvaluates
                    ? (float)InterpolatedValue(coefficients, W, H, (double)t.posX, (double)t.posY, SplineDegree)
                    : 0.0f;
      } else {
        const float p00 = samples[t.baseX + (long)W * t.baseY];
        const float p10 = samples[t.nextX + (long)W * t.baseY];
        const float p01 = samples[t.baseX + (long)W * t.nextY];
        const float p11 = samples[t.nextX + (long)W * t.nextY];
        const float Du = t.Du, Dv = t.Dv;
        value = (1.0f - Dv) * ((1.0f - Du) * p00 + Du * p10) + Dv * ((1.0f - Du) * p01 + Du * p11);
      }
      result[at] = value;
    }
  }

  out = float2CImg(W, H, result);
  delete[] samples;
  delete[] field;
  delete[] coefficients;
  delete[] result;
}

WarpSamples samplesTestedByWarp(const CImg<double>& in, const CImg<double>& UV, int x0, int y0, int w, int h) {
  WarpSamples n;
  if (in.is_empty()) return n;
  const int W = in.width(), H = in.height();
  refuseFieldNotFitting(UV, W, H);
  CImg<unsigned char> seen(W, H, 1, 1, 0);
  const int xEnd = (int)std::min((long long)x0 + w, (long long)W);
  const int yEnd = (int)std::min((long long)y0 + h, (long long)H);
  for (int j = std::max(y0, 0); j < yEnd; ++j)
    for (int i = std::max(x0, 0); i < xEnd; ++i) {
      // The field in single precision, as the warp reads it.
      const WarpTaps t = warpTaps((float)UV(i, j, 0), (float)UV(i, j, 1), i, j, W, H);
      if (t.fallback) continue;
      anyTap(t, [&](int x, int y) {
        if (!seen(x, y)) {
          seen(x, y) = 1;
          ++n.read;
          if (std::fabs(in(x, y)) >= kMissingSample) ++n.missing;
        }
        return false;  // every tap
      });
    }
  return n;
}

void Proj_Dup_Spline(CImg<double>& out, const CImg<double>& in, int SplineDegree) {
  if (in.is_empty()) {
    out.assign();
    return;
  }
  const int W = in.width(), H = in.height();
  const long plane = (long)W * H;
  float* samples = CImg2float(in);
  float* coefficients = new float[plane]();
  Copy_f(coefficients, samples, W, H);
  if (SamplesToCoefficients(coefficients, W, H, SplineDegree) != 0) puts("probleme");

  const long stride = 2L * W;
  float* result = new float[4 * plane];
  auto S = [&](double x, double y) { return (float)InterpolatedValue(coefficients, W, H, x, y, SplineDegree); };
  auto put = [&](long x, long y, float v) { result[x + stride * y] = v; };

  for (int y = 0; y < H - 1; y++) {
    for (int x = 0; x < W - 1; x++) {
      put(2 * x, 2 * y, S(x, y));
      put(2 * x, 2 * y + 1, S(x, y + 0.5));
      put(2 * x + 1, 2 * y, S(x + 0.5, y));
      put(2 * x + 1, 2 * y + 1, S(x + 0.5, y + 0.5));
    }
    const int x = W - 1;
    const float atLine = S(W - 1, y);
    put(2 * x, 2 * y, atLine);
    put(2 * x + 1, 2 * y, atLine);
    const float halfway = S(W - 1, y + 0.5);
    put(2 * x, 2 * y + 1, halfway);
    put(2 * x + 1, 2 * y + 1, halfway);
  }
  const int y = H - 1;
  for (int x = 0; x < W - 1; x++) {
    const float atColumn = S(x, H - 1);
    put(2 * x, 2 * y, atColumn);
    put(2 * x, 2 * y + 1, atColumn);
    const float halfway = S(x + 0.5, H - 1);
    put(2 * x + 1, 2 * y, halfway);
    put(2 * x + 1, 2 * y + 1, halfway);
  }
  const float corner = S(W - 1, H - 1);
  put(2L * W - 2, 2L * H - 2, corner);
  put(2L * W - 1, 2L * H - 2, corner);
  put(2L * W - 2, 2L * H - 1, corner);
  put(2L * W - 1, 2L * H - 1, corner);

  out = float2CImg(2 * W, 2 * H, result);
  delete[] samples;
  delete[] coefficients;
  delete[] result;
}

CImg<double> gradSpline_X(const CImg<double>& in, float sigma) { return splineDerivative(in, sigma, gradX); }
CImg<double> gradSpline_Y(const CImg<double>& in, float sigma) { return splineDerivative(in, sigma, gradY); }
CImg<double> gradSpline_XX(const CImg<double>& in, float sigma) { return splineDerivative(in, sigma, derivXX); }
CImg<double> gradSpline_YY(const CImg<double>& in, float sigma) { return splineDerivative(in, sigma, derivYY); }
CImg<double> gradSpline_XY(const CImg<double>& in, float sigma) { return splineDerivative(in, sigma, derivXY); }

CImg<double> grad_t(const CImg<double>& in, const CImg<double>& indt, float sigma) {
  if (!in.is_sameXYZC(indt)) {
    fprintf(stderr, "grad_t: images of different sizes (%dx%dx%dx%d and %dx%dx%dx%d)\n", in.width(), in.height(),
            in.depth(), in.spectrum(), indt.width(), indt.height(), indt.depth(), indt.spectrum());
    exit(1);
  }
  CImg<double> difference(indt);
  difference -= in;
  if (sigma != 0) blurDeriche(difference, sigma);
  return difference;
}
