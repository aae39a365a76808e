// Separable B-spline prefilter of float volumes with mirror borders, and exact first and second
// derivatives of the resulting spline at the grid points.
//
// A volume holds nx x ny x nz floats, sample (x, y, z) at index x + nx*(y + ny*z). Lines are filtered
// in double and written back as float. Failures are reported through errorReport (standard output,
// no newline) and a result of 1; nothing here exits.
#pragma once

// Writes the B-spline coefficients of inPtr (degree 0..7; 0 and 1 give a plain copy) into outPtr
// (same size, a distinct buffer). Returns 0, or 1 after "ERROR - Not enough memory in
// directBsplineMirror" (output untouched), "ERROR - Unknown degree" (output = copy of the input) or
// "ERROR - Unable to allocate x data" / "... y data" / "... z data" (earlier passes applied).
int directBsplineMirror(float* inPtr, float* outPtr, long nx, long ny, long nz, int degree);

// Derivatives at every grid point of the one-plane spline with coefficients splinePtr (nx x ny),
// written row-major to outPtr: d/dx, d/dy, d2/dx2, d2/dy2, d2/dxdy. Degrees 3, 4 and 6 only;
// any other prints "ERROR - Unknown interpolation specification", returns 1 and leaves outPtr alone.
// `background` is accepted and not used.
int gradX(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float background);
int gradY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float background);
int derivXX(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float background);
int derivYY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float background);
int derivXY(float* splinePtr, float* outPtr, long nx, long ny, int interpolationDegree, float background);

// Writes the text to standard output, without a newline.
void errorReport(const char* errorMessage);

// Whole-sample mirror of period 2n - 2: folds any index i into [0, n-1].
long fold(long i, long n);

// Symmetric recursive filter of one line of n samples with mirror borders: multiplies by gain, then
// applies a causal and an anti-causal pass per pole (none for n <= 1). inPtr may equal outPtr.
void iirConvolveMirror(double* inPtr, double* outPtr, long n, double gain, double* realPoles, long np);

// Line transfers between a float volume and a line buffer; the line starts at sample (x, y, z) and
// runs n samples along the named axis.
void getxF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void getyF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void getzF2D(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void putxD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void putyD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void putzD2F(float* volume, long x, long y, long z, long nx, long ny, double* line, long n);
void getxF2F(float* volume, long x, long y, long z, long nx, long ny, float* line, long n);
void putxF2F(float* volume, long x, long y, long z, long nx, long ny, float* line, long n);

// Line and volume buffers (malloc; null on failure).
double* allocLinD(long n);
float* allocLinF(long n);
float* allocVolF(long nx, long ny, long nz);
void freeLinD(double* line);
void freeLinF(float* line);
void freeVolF(float* volume);

// Centred B-spline weights beta^N(x - i) of degree N = 0..7 (evaluated at t = |x - i|; degree 0 at
// the signed x - i).
double BsplnWght0(long i, double x);
double BsplnWght1(long i, double x);
double BsplnWght2(long i, double x);
double BsplnWght3(long i, double x);
double BsplnWght4(long i, double x);
double BsplnWght5(long i, double x);
double BsplnWght6(long i, double x);
double BsplnWght7(long i, double x);

// First-derivative weights of degree N: central differences of degree N - 1 at x +- 1/2.
double BsplnWght2Deriv(long i, double x);
double BsplnWght3Deriv(long i, double x);
double BsplnWght4Deriv(long i, double x);
double BsplnWght5Deriv(long i, double x);
double BsplnWght6Deriv(long i, double x);

// Second-derivative weights of degree N: central differences of the first-derivative weights of
// degree N - 1 at x +- 1/2.
double BsplnWght3DerivSecond(long i, double x);
double BsplnWght4DerivSecond(long i, double x);
double BsplnWght6DerivSecond(long i, double x);
