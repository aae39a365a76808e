// Mirror-border B-spline prefilter of float volumes and derivative kernels at grid points.
#include "spline/spline_derivatives.h"
#include "spline/spline_poles.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Buffers and line transfers

namespace {
// Bytes for n elements of the given size, or 0 when n elements cannot be represented (the
// allocation then fails). An empty buffer still gets one element, so that success is never null.
size_t bytesFor(long n, size_t element) {
  if (n < 1) n = 1;
  if ((unsigned long)n > (size_t)PTRDIFF_MAX / element) return 0;
  return (size_t)n * element;
}
void* allocate(long n, size_t element) {
  const size_t bytes = bytesFor(n, element);
  return bytes == 0 ? nullptr : malloc(bytes);
}
}  // namespace

double* allocLinD(long n) { return (double*)allocate(n, sizeof(double)); }
float* allocLinF(long n) { return (float*)allocate(n, sizeof(float)); }
float* allocVolF(long nx, long ny, long nz) {
  if (nx > 0 && ny > 0 && nz > 0 && (nx > PTRDIFF_MAX / ny || nx * ny > PTRDIFF_MAX / nz)) return nullptr;
  return (float*)allocate(nx * ny * nz, sizeof(float));
}
void freeLinD(double* line) { free(line); }
void freeLinF(float* line) { free(line); }
void freeVolF(float* volume) { free(volume); }

void getxF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  const float* p = volume + x + nx * (y + ny * z);
  for (long k = 0; k < n; k++) line[k] = (double)p[k];
}
void getyF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  const float* p = volume + x + nx * (y + ny * z);
  for (long k = 0; k < n; k++) line[k] = (double)p[k * nx];
}
void getzF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  const float* p = volume + x + nx * (y + ny * z);
  const long step = nx * ny;
  for (long k = 0; k < n; k++) line[k] = (double)p[k * step];
}
void putxD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  float* p = volume + x + nx * (y + ny * z);
  for (long k = 0; k < n; k++) p[k] = (float)line[k];
}
void putyD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  float* p = volume + x + nx * (y + ny * z);
  for (long k = 0; k < n; k++) p[k * nx] = (float)line[k];
}
void putzD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n) {
  float* p = volume + x + nx * (y + ny * z);
  const long step = nx * ny;
  for (long k = 0; k < n; k++) p[k * step] = (float)line[k];
}
void getxF2F(float* volume, long x, long y, long z, long nx, long ny, float* line, long n) {
  if (n > 0) memcpy(line, volume + x + nx * (y + ny * z), (size_t)n * sizeof(float));
}
void putxF2F(float* volume, long x, long y, long z, long nx, long ny, float* line, long n) {
  if (n > 0) memcpy(volume + x + nx * (y + ny * z), line, (size_t)n * sizeof(float));
}

void errorReport(const char* errorMessage) {
  fputs(errorMessage, stdout);
}

long fold(long i, long n) {
  const long t = i < 0 ? -i : i;
  if (t < n) return t;
  if (n == 1) return 0;
  const long n2 = 2 * n - 2;
  const long r = t % n2;
  return r >= n ? n2 - r : r;
}

// ---------------------------------------------------------------------------------------------
// Recursive prefilter

void iirConvolveMirror(double* inPtr, double* outPtr, long n, double gain, double* realPoles, long np) {
  for (long i = 0; i < n; i++) outPtr[i] = inPtr[i] * gain;
  if (n <= 1) return;  // an empty line would make the mirror period negative
  const long period = 2 * n - 2;
  double* x = outPtr;  // the line as it stands before the current pole
  for (long p = 0; p < np; p++) {
    const double z = realPoles[p];
    const long horizon = (long)ceil(-6.923689900271567 / log10(fabs(z)));
    const long k = horizon % period;

    // Causal start: sum over m = 0..horizon of z^m x[fold(m, n)], Horner from the farthest term in.
    double a = 0.0;
    long m = k;
    for (; m >= n; m--) a = z * a + x[period - m];
    for (; m >= 0; m--) a = z * a + x[m];
    for (long q = (horizon - k) / period; q > 0; q--) {
      for (long s = 1; s <= n - 1; s++) a = z * a + x[s];
      for (long s = n - 2; s >= 0; s--) a = z * a + x[s];
    }
    const double b = x[n - 1];

    outPtr[0] = a;
    for (long i = 1; i < n; i++) outPtr[i] = outPtr[i] + z * outPtr[i - 1];
    outPtr[n - 1] = (2.0 * outPtr[n - 1] - b) / (1.0 - z * z);
    for (long i = n - 2; i >= 0; i--) outPtr[i] = outPtr[i] + z * outPtr[i + 1];
  }
}

namespace {

// Prefilters in place every line of the volume along one axis (0: x, 1: y, 2: z), when the volume is
// longer than one sample along it. Returns 1, after the message, when the line buffer cannot be had.
int filterLines(float* volume, long nx, long ny, long nz, int axis, double gain, double* realPoles, long np,
                const char* noMemory) {
  using Transfer = void (*)(float*, long, long, long, long, long, double*, long);
  static const Transfer get[3] = {getxF2D, getyF2D, getzF2D};
  static const Transfer put[3] = {putxD2F, putyD2F, putzD2F};
  const long n = axis == 0 ? nx : axis == 1 ? ny : nz;
  if (n <= 1) return 0;
  double* line = allocLinD(n);
  if (line == nullptr) {
    errorReport(noMemory);
    return 1;
  }
  // Lines start on the face where the axis coordinate is 0; the outer loop runs over the slower of
  // the two other coordinates.
  const long outer = axis == 2 ? ny : nz, inner = axis == 0 ? ny : nx;
  for (long a = 0; a < outer; a++)
    for (long b = 0; b < inner; b++) {
      const long x = axis == 0 ? 0 : b, y = axis == 0 ? b : (axis == 1 ? 0 : a), z = axis == 2 ? 0 : a;
      get[axis](volume, x, y, z, nx, ny, line, n);
      iirConvolveMirror(line, line, n, gain, realPoles, np);
      put[axis](volume, x, y, z, nx, ny, line, n);
    }
  freeLinD(line);
  return 0;
}

}  // namespace

int directBsplineMirror(float* inPtr, float* outPtr, long nx, long ny, long nz, int degree) {
  float* row = allocLinF(nx);
  if (row == nullptr) {
    errorReport("ERROR - Not enough memory in directBsplineMirror");
    return 1;
  }
  for (long z = 0; z < nz; z++)
    for (long y = 0; y < ny; y++) {
      getxF2F(inPtr, 0, y, z, nx, ny, row, nx);
      putxF2F(outPtr, 0, y, z, nx, ny, row, nx);
    }
  freeLinF(row);

  if (degree == 0 || degree == 1) return 0;
  double realPoles[4];
  const long np = degree <= 7 ? spline_detail::polesOfDegree(degree, realPoles) : 0;
  if (np == 0) {
    errorReport("ERROR - Unknown degree");
    return 1;
  }
  double gain;
  if (degree == 4 || degree == 5) {
    const double g = (1.0 - realPoles[0]) * (1.0 - realPoles[1]);
    gain = g * g;
  } else {
    gain = degree == 2   ? 1.3725830020304777
           : degree == 3 ? 1.607695154586736
           : degree == 6 ? 2.598975999348578
                         : 3.0248282036441845;
  }

  if (filterLines(outPtr, nx, ny, nz, 0, gain, realPoles, np, "ERROR - Unable to allocate x data")) return 1;
  if (filterLines(outPtr, nx, ny, nz, 1, gain, realPoles, np, "ERROR - Unable to allocate y data")) return 1;
  if (filterLines(outPtr, nx, ny, nz, 2, gain, realPoles, np, "ERROR - Unable to allocate z data")) return 1;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Weights

double BsplnWght0(long i, double x) {
  const double d = x - (double)i;
  return (-0.5 <= d && d < 0.5) ? 1.0 : 0.0;
}

double BsplnWght1(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t > 1.0) return 0.0;
  return 1.0 - t;
}

double BsplnWght2(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 0.5) return 3.0 / 4.0 - t * t;
  if (t < 1.5) {
    const double u = 1.5 - t;
    return u * u / 2.0;
  }
  return 0.0;
}

double BsplnWght3(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 1.0) return (3.0 * t * t * t - 6.0 * t * t + 4.0) / 6.0;
  if (t < 2.0) {
    const double u = 2.0 - t;
    return u * u * u / 6.0;
  }
  return 0.0;
}

double BsplnWght4(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 0.5) return t * t * (t * t / 4.0 - 5.0 / 8.0) + 115.0 / 192.0;
  if (t < 1.5) return (((5.0 / 6.0 - t / 6.0) * t - 5.0 / 4.0) * t + 5.0 / 24.0) * t + 55.0 / 96.0;
  if (t < 2.5) {
    const double u = t - 2.5;
    return u * u * u * u / 24.0;
  }
  return 0.0;
}

double BsplnWght5(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 1.0) return t * t * ((1.0 / 4.0 - t / 12.0) * t * t - 1.0 / 2.0) + 11.0 / 20.0;
  if (t < 2.0)
    return ((((t / 24.0 - 3.0 / 8.0) * t + 5.0 / 4.0) * t - 7.0 / 4.0) * t + 5.0 / 8.0) * t + 17.0 / 40.0;
  if (t < 3.0) {
    const double u = 3.0 - t;
    return u * u * u * u * u / 120.0;
  }
  return 0.0;
}

double BsplnWght6(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 0.5) return t * t * (t * t * (7.0 / 48.0 - t * t / 36.0) - 77.0 / 192.0) + 5887.0 / 11520.0;
  if (t < 1.5)
    return (((((t / 48.0 - 7.0 / 48.0) * t + 21.0 / 64.0) * t - 35.0 / 288.0) * t - 91.0 / 256.0) * t -
            7.0 / 768.0) * t + 7861.0 / 15360.0;
  if (t < 2.5)
    return (((((7.0 / 60.0 - t / 120.0) * t - 21.0 / 32.0) * t + 133.0 / 72.0) * t - 329.0 / 128.0) * t +
            1267.0 / 960.0) * t + 1379.0 / 7680.0;
  if (t < 3.5) {
    const double u = t - 3.5;
    return u * u * u * u * u * u / 720.0;
  }
  return 0.0;
}

double BsplnWght7(long i, double x) {
  const double t = fabs(x - (double)i);
  if (t < 1.0) return t * t * (t * t * ((t / 144.0 - 1.0 / 36.0) * t * t + 1.0 / 9.0) - 1.0 / 3.0) + 151.0 / 315.0;
  if (t < 2.0)
    return ((((((1.0 / 20.0 - t / 240.0) * t - 7.0 / 30.0) * t + 1.0 / 2.0) * t - 7.0 / 18.0) * t - 1.0 / 10.0) * t -
            7.0 / 90.0) * t + 103.0 / 210.0;
  if (t < 3.0)
    return ((((((t / 720.0 - 1.0 / 36.0) * t + 7.0 / 30.0) * t - 19.0 / 18.0) * t + 49.0 / 18.0) * t - 23.0 / 6.0) * t +
            217.0 / 90.0) * t - 139.0 / 630.0;
  if (t < 4.0) {
    const double u = 4.0 - t;
    return u * u * u * u * u * u * u / 5040.0;
  }
  return 0.0;
}

double BsplnWght2Deriv(long i, double x) { return BsplnWght1(i, x + 0.5) - BsplnWght1(i, x - 0.5); }
double BsplnWght3Deriv(long i, double x) { return BsplnWght2(i, x + 0.5) - BsplnWght2(i, x - 0.5); }
double BsplnWght4Deriv(long i, double x) { return BsplnWght3(i, x + 0.5) - BsplnWght3(i, x - 0.5); }
double BsplnWght5Deriv(long i, double x) { return BsplnWght4(i, x + 0.5) - BsplnWght4(i, x - 0.5); }
double BsplnWght6Deriv(long i, double x) { return BsplnWght5(i, x + 0.5) - BsplnWght5(i, x - 0.5); }

double BsplnWght3DerivSecond(long i, double x) {
  return BsplnWght2Deriv(i, x + 0.5) - BsplnWght2Deriv(i, x - 0.5);
}
double BsplnWght4DerivSecond(long i, double x) {
  return BsplnWght3Deriv(i, x + 0.5) - BsplnWght3Deriv(i, x - 0.5);
}
double BsplnWght6DerivSecond(long i, double x) {
  return BsplnWght5Deriv(i, x + 0.5) - BsplnWght5Deriv(i, x - 0.5);
}

// ---------------------------------------------------------------------------------------------
// Derivatives at grid points

namespace {

typedef double (*Weight)(long, double);

enum Kind { VALUE, FIRST, SECOND };

Weight weightOf(int degree, Kind kind) {
  switch (degree) {
    case 3:
      return kind == VALUE ? BsplnWght3 : kind == FIRST ? BsplnWght3Deriv : BsplnWght3DerivSecond;
    case 4:
      return kind == VALUE ? BsplnWght4 : kind == FIRST ? BsplnWght4Deriv : BsplnWght4DerivSecond;
    case 6:
      return kind == VALUE ? BsplnWght6 : kind == FIRST ? BsplnWght6Deriv : BsplnWght6DerivSecond;
    default:
      return nullptr;
  }
}

// Separable evaluation at every grid point: the kernel kx along x times the kernel ky along y,
// applied to the coefficients with mirror folding.
int gridKernel(float* splinePtr, float* outPtr, long nx, long ny, int degree, Kind kx, Kind ky) {
  const Weight wX = weightOf(degree, kx);
  const Weight wY = weightOf(degree, ky);
  if (wX == nullptr || wY == nullptr) {
    errorReport("ERROR - Unknown interpolation specification");
    return 1;
  }
  const long half = degree / 2;
  const long taps = degree + 1;
  double weightX[7], weightY[7];
  long column[7], rowOffset[7];
  float* out = outPtr;
  for (long y = 0; y < ny; y++) {
    for (long k = 0; k < taps; k++) {
      const long j = y - half + k;
      weightY[k] = wY(j, (double)y);
      rowOffset[k] = fold(j, ny) * nx;
    }
    for (long x = 0; x < nx; x++) {
      for (long k = 0; k < taps; k++) {
        const long i = x - half + k;
        weightX[k] = wX(i, (double)x);
        column[k] = fold(i, nx);
      }
      double value = 0.0;
      for (long ky2 = 0; ky2 < taps; ky2++) {
        const float* row = splinePtr + rowOffset[ky2];
        double across = 0.0;
        for (long kx2 = 0; kx2 < taps; kx2++) across += weightX[kx2] * (double)row[column[kx2]];
        value += weightY[ky2] * across;
      }
      *out++ = (float)value;
    }
  }
  return 0;
}

}  // namespace

int gradX(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float) {
  return gridKernel(splinePtr, outPtr, nx, ny, interpolationDegree, FIRST, VALUE);
}
int gradY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float) {
  return gridKernel(splinePtr, outPtr, nx, ny, interpolationDegree, VALUE, FIRST);
}
int derivXX(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float) {
  return gridKernel(splinePtr, outPtr, nx, ny, interpolationDegree, SECOND, VALUE);
}
int derivYY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float) {
  return gridKernel(splinePtr, outPtr, nx, ny, interpolationDegree, VALUE, SECOND);
}
int derivXY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float) {
  return gridKernel(splinePtr, outPtr, nx, ny, interpolationDegree, FIRST, FIRST);
}
