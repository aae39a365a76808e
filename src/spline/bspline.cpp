// B-spline prefilter (recursive, one causal and one anti-causal pass per pole) and evaluation.
#include "spline/bspline.h"
#include "spline/spline_poles.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void GetRow(float* Image, long y, double* Line, long Width) {
  const float* p = Image + y * Width;
  for (long x = 0; x < Width; x++) Line[x] = (double)p[x];
}

void PutRow(float* Image, long y, double* Line, long Width) {
  float* p = Image + y * Width;
  for (long x = 0; x < Width; x++) p[x] = (float)Line[x];
}

void GetColumn(float* Image, long Width, long x, double* Line, long Height) {
  const float* p = Image + x;
  for (long y = 0; y < Height; y++) Line[y] = (double)p[y * Width];
}

void PutColumn(float* Image, long Width, long x, double* Line, long Height) {
  float* p = Image + x;
  for (long y = 0; y < Height; y++) p[y * Width] = (float)Line[y];
}

// Folds a tap index into [0, n-1] with the whole-sample mirror of period 2n - 2.
inline long mirrorIndex(long k, long n) {
  if (n == 1) return 0;
  const long n2 = 2 * n - 2;
  k = (k < 0 ? -k : k) % n2;
  if (k >= n) k = n2 - k;
  return k;
}

// The n + 1 weights beta^n(w + n/2 - k), k = 0..n, where w is the position minus the tap n/2
// (0 <= w < 1 for odd n, -1/2 <= w < 1/2 for even n).
void splineWeights(double w, long n, double* weight) {
  switch (n) {
    case 2:
      weight[1] = 3.0 / 4.0 - w * w;
      weight[2] = (w - weight[1] + 1.0) / 2.0;
      weight[0] = 1.0 - weight[1] - weight[2];
      return;
    case 3:
      weight[3] = w * w * w / 6.0;
      weight[0] = 1.0 / 6.0 + w * (w - 1.0) / 2.0 - weight[3];
      weight[2] = weight[0] + w - 2.0 * weight[3];
      weight[1] = 1.0 - weight[0] - weight[2] - weight[3];
      return;
    default: {
      // Higher degrees: the triangular recurrence of the cardinal B-spline N_d (support [0, d+1]),
      // N_d(t) = (t N_{d-1}(t) + (d + 1 - t) N_{d-1}(t - 1)) / d, evaluated at t = u + k with
      // u in [0, 1): every term is non-negative, so the values are accurate to a few roundings.
      // beta^n(s) = N_n(s + (n+1)/2), hence weight[k] = N_n(u + n - k) with u = w (odd n) or
      // w + 1/2 (even n).
      const double u = (n % 2) ? w : w + 0.5;
      double b[10];
      b[0] = 1.0;
      for (long d = 1; d <= n; d++) {
        b[d] = (1.0 - u) * b[d - 1] / (double)d;  // t = u + d, only N_{d-1}(t - 1) contributes
        for (long k = d - 1; k >= 1; k--)
          b[k] = ((u + (double)k) * b[k] + ((double)(d + 1 - k) - u) * b[k - 1]) / (double)d;
        b[0] = u * b[0] / (double)d;
      }
      for (long k = 0; k <= n; k++) weight[k] = b[n - k];
      return;
    }
  }
}

}  // namespace

double InitialCausalCoefficient(double* c, long DataLength, double z, double Tolerance) {
  long Horizon = DataLength;
  if (Tolerance > 0.0) Horizon = (long)ceil(log(Tolerance) / log(fabs(z)));
  if (Horizon < DataLength) {
    // Accelerated loop: the powers of z beyond the horizon are negligible.
    double zn = z;
    double Sum = c[0];
    for (long n = 1; n < Horizon; n++) {
      Sum += zn * c[n];
      zn *= z;
    }
    return Sum;
  }
  // Exact sum over the whole mirrored signal.
  double zn = z;
  const double iz = 1.0 / z;
  double z2n = pow(z, (double)(DataLength - 1));
  double Sum = c[0] + z2n * c[DataLength - 1];
  z2n = z2n * z2n / z;
  for (long n = 1; n <= DataLength - 2; n++) {
    Sum += (zn + z2n) * c[n];
    zn *= z;
    z2n *= iz;
  }
  return Sum / (1.0 - zn * zn);
}

double InitialAntiCausalCoefficient(double* c, long DataLength, double z) {
  return (z / (z * z - 1.0)) * (z * c[DataLength - 2] + c[DataLength - 1]);
}

void ConvertToInterpolationCoefficients(double* c, long DataLength, double* z, long NbPoles,
                                        double Tolerance) {
  if (DataLength <= 1) return;  // one value is its own coefficient; an empty line has nothing to filter
  double Lambda = 1.0;
  for (long k = 0; k < NbPoles; k++) Lambda = Lambda * (1.0 - z[k]) * (1.0 - 1.0 / z[k]);
  for (long n = 0; n < DataLength; n++) c[n] *= Lambda;
  for (long k = 0; k < NbPoles; k++) {
    c[0] = InitialCausalCoefficient(c, DataLength, z[k], Tolerance);
    for (long n = 1; n < DataLength; n++) c[n] += z[k] * c[n - 1];
    c[DataLength - 1] = InitialAntiCausalCoefficient(c, DataLength, z[k]);
    for (long n = DataLength - 2; n >= 0; n--) c[n] = z[k] * (c[n + 1] - c[n]);
  }
}

int SamplesToCoefficients(float* Image, long Width, long Height, long SplineDegree) {
  double Pole[4];
  const long NbPoles = spline_detail::polesOfDegree(SplineDegree, Pole);
  if (NbPoles == 0) {
    puts("Invalid spline degree");
    return 1;
  }
  if (Width <= 0 || Height <= 0) return 0;  // an empty image has no coefficients to compute

  // Both line buffers first, so that a failure leaves the image untouched. A length whose byte
  // count cannot be represented is a failed allocation too.
  const long maxLength = (long)(PTRDIFF_MAX / (ptrdiff_t)sizeof(double));
  double* Line = Width > maxLength ? nullptr : (double*)malloc((size_t)Width * sizeof(double));
  if (Line == nullptr) {
    puts("Row allocation failed");
    return 1;
  }
  double* Column = Height > maxLength ? nullptr : (double*)malloc((size_t)Height * sizeof(double));
  if (Column == nullptr) {
    free(Line);
    puts("Column allocation failed");
    return 1;
  }

  for (long y = 0; y < Height; y++) {
    GetRow(Image, y, Line, Width);
    ConvertToInterpolationCoefficients(Line, Width, Pole, NbPoles, DBL_EPSILON);
    PutRow(Image, y, Line, Width);
  }
  free(Line);

  for (long x = 0; x < Width; x++) {
    GetColumn(Image, Width, x, Column, Height);
    ConvertToInterpolationCoefficients(Column, Height, Pole, NbPoles, DBL_EPSILON);
    PutColumn(Image, Width, x, Column, Height);
  }
  free(Column);
  return 0;
}

double InterpolatedValue(float* Bcoeff, long Width, long Height, double x, double y, long SplineDegree) {
  if (SplineDegree < 2 || SplineDegree > 9) {
    puts("Invalid spline degree");
    return 0.0;
  }
  // Beyond this range the integer tap indices could not be formed; an empty image has no value.
  if (!(fabs(x) < 1e15 && fabs(y) < 1e15) || Width < 1 || Height < 1) return NAN;

  const long n = SplineDegree;
  long xIndex[10], yIndex[10];
  double xWeight[10], yWeight[10];

  long i = (n & 1L) ? (long)floor(x) - n / 2 : (long)floor(x + 0.5) - n / 2;
  long j = (n & 1L) ? (long)floor(y) - n / 2 : (long)floor(y + 0.5) - n / 2;
  for (long k = 0; k <= n; k++) {
    xIndex[k] = i++;
    yIndex[k] = j++;
  }

  splineWeights(x - (double)xIndex[n / 2], n, xWeight);
  splineWeights(y - (double)yIndex[n / 2], n, yWeight);

  for (long k = 0; k <= n; k++) {
    xIndex[k] = mirrorIndex(xIndex[k], Width);
    yIndex[k] = mirrorIndex(yIndex[k], Height);
  }

  double interpolated = 0.0;
  for (long jj = 0; jj <= n; jj++) {
    const float* p = Bcoeff + yIndex[jj] * Width;
    double w = 0.0;
    for (long ii = 0; ii <= n; ii++) w += xWeight[ii] * (double)p[xIndex[ii]];
    interpolated += yWeight[jj] * w;
  }
  return interpolated;
}
