// Solve and log-determinant of a square system given as raw 0-based compressed-row arrays.
#pragma once

#include "sparse/mv_vector.h"

namespace cimg_library {
template <typename T>
struct CImg;
}

// Solves A x = B (A: taille x taille, nombre entries; val, row_ptr, col_ind only read) by ILU(0)-
// preconditioned CGS from x = 0, at most 500 iterations, to the relative residual tol. A non-zero code
// is reported as "no convergence (output CGS <code>)" on standard output without a line end. res
// receives the last iterate in every case: res(x, y, z) = x[z*w*h + y*w + x]. Returns the CGS code.
// Inconsistent arrays or an image with more pixels than taille end the process with status 1.
int standard_CGS_inversion(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                           MV_Vector_double B, cimg_library::CImg<double>& res, double tol);
int standard_CGS_inversion(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                           MV_Vector_double B, cimg_library::CImg<double>& res);

// logDetLP of the ILU(0) factor of the matrix given by the same raw arrays.
double ILU_logDetA(int taille, int nombre, double* val, int* row_ptr, int* col_ind);

// The part of standard_CGS_inversion that does not involve the image: checks the arrays, solves from
// x = 0 (x is resized to taille) and prints the no-convergence note. Returns the CGS code.
int cgs_inversion_to_vector(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                            const MV_Vector_double& B, MV_Vector_double& x, double tol);

// One-pass consistency check of raw compressed-row arrays (row pointers start at 0 and never decrease,
// the last is at most nombre, every column index lies in 0..taille-1). On failure writes one line
// naming `who` and the problem to standard error and exits with status 1.
void check_compressed_rows(const char* who, int taille, int nombre, const double* val,
                           const int* row_ptr, const int* col_ind);
