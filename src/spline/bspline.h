// B-spline prefilter and interpolation of single-plane float images, degrees 2 to 9, with
// whole-sample mirror borders (the sample at -k equals the sample at k, and likewise at the far end).
//
// An image buffer holds Width x Height floats, row-major: sample (x, y) at index x + Width*y.
// Failures are reported by one line on standard output and a return value; nothing here exits.
#pragma once

// Turns the samples of Image, in place, into the coefficients of the tensor-product B-spline of
// the given degree that interpolates them. Returns 0 on success; 1 after "Invalid spline degree"
// (degree outside 2..9), "Row allocation failed" or "Column allocation failed". Both line buffers
// are obtained before the image is touched, so on failure the image is left as it was.
int SamplesToCoefficients(float* Image, long Width, long Height, long SplineDegree);

// Value at column position x, line position y of the spline whose coefficients are Bcoeff (the same
// degree as the prefilter). Prints "Invalid spline degree" and returns 0.0 for a degree outside 2..9.
// A position that is not finite (or too far out to index), or an empty image, gives NaN.
double InterpolatedValue(float* Bcoeff, long Width, long Height, double x, double y, long SplineDegree);

// Building blocks of the prefilter, one line at a time (exposed so they can be checked on their own).

// 1-D prefilter of the DataLength values of c in place, with the poles z[0..NbPoles-1] applied in
// order; a line of one value (or none) is left unchanged.
void ConvertToInterpolationCoefficients(double* c, long DataLength, double* z, long NbPoles,
                                        double Tolerance);
// Causal start of one pole on a mirrored line: the exact infinite sum when the line is no longer than
// the horizon ceil(log(Tolerance)/log|z|), otherwise the sum truncated at the horizon.
double InitialCausalCoefficient(double* c, long DataLength, double z, double Tolerance);
// Anti-causal start of one pole on the causally filtered line.
double InitialAntiCausalCoefficient(double* c, long DataLength, double z);
