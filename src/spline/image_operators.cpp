// Warp, upsampling and derivative operators: images go to float buffers, through the spline
// library, and back.
#include "spline/image_operators.h"

#include <CImg.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "field/field.h"
#include "spline/bspline.h"
#include "spline/spline_derivatives.h"

using namespace cimg_library;

namespace {

// A sample whose magnitude reaches this value marks missing data.
const double kMissing = 1022.0;

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
  if (UV.width() != W || UV.height() != H || UV.depth() < 2) {
    fprintf(stderr,
            "Recal_spline: motion field of %dx%dx%d does not fit the %dx%d image (same width and height, "
            "two planes needed)\n",
            UV.width(), UV.height(), UV.depth(), W, H);
    exit(1);
  }
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
      float U = fieldU[at];
      float V = fieldV[at];
      // A component that is not a number (a failed solve can leave one) counts as no shift and the
      // pixel takes the unshifted sample. An infinite one lands beyond the border and is clamped
      // there like any other large shift (the clamp comes before any truncation to an integer).
      bool fallback = false;
      if (std::isnan(U)) {
        U = 0.0f;
        fallback = true;
      }
      if (std::isnan(V)) {
        V = 0.0f;
        fallback = true;
      }

      const int stepX = U > 0 ? 1 : -1;
      const int stepY = V > 0 ? 1 : -1;
      const float posX = i + U;
      const float posY = j + V;

      // Truncated shift and fractional magnitude; clamped into the image (the clamped case always
      // falls back, its neighbour lying outside).
      int Iu, Iv;
      float Du, Dv;
      splitShift(posX, U, i, W, Iu, Du);
      splitShift(posY, V, j, H, Iv, Dv);

      const int baseX = i + Iu, baseY = j + Iv;
      const int nextX = baseX + stepX, nextY = baseY + stepY;
      if (!fallback)
        fallback = nextX >= W || nextX < 0 || nextY >= H || nextY < 0 ||
                   std::fabs(original[nextX + (long)W * nextY]) >= kMissing ||
                   std::fabs(original[baseX + (long)W * baseY]) >= kMissing ||
                   std::fabs(original[nextX + (long)W * baseY]) >= kMissing ||
                   std::fabs(original[baseX + (long)W * nextY]) >= kMissing;

      float value;
      if (fallback) {
        value = samples[baseX + (long)W * baseY];
      } else if (SplineDegree > 2) {
        value = splineEvaluates
                    ? (float)InterpolatedValue(coefficients, W, H, (double)posX, (double)posY, SplineDegree)
                    : 0.0f;
      } else {
        const float p00 = samples[baseX + (long)W * baseY];
        const float p10 = samples[nextX + (long)W * baseY];
        const float p01 = samples[baseX + (long)W * nextY];
        const float p11 = samples[nextX + (long)W * nextY];
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
