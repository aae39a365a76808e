// Solve and log-determinant of a square system given as raw 0-based compressed-row arrays.
#pragma once

#include "sparse/cgs.h"
#include "sparse/ilu.h"
#include "sparse/mv_vector.h"

#include <iostream>

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

// logDetLP of the ILU(0) factor of the matrix given by the same raw arrays (read in place).
double ILU_logDetA(int taille, int nombre, double* val, int* row_ptr, int* col_ind);

// The solves of standard_CGS_inversion for a sequence of systems that share one sparsity pattern, as
// the primal steps of one pyramid level give them. The pattern is checked and the structure of its
// incomplete-LU factor derived once (adopt); every solve reads the caller's arrays in place (no copy
// of the matrix) and keeps the factor's and the solver's buffers, so that nothing is allocated after
// the first solve. A solve gives the code, the solution and the note of standard_CGS_inversion with the
// same arrays, right-hand side and tolerance, bit for bit.
class PatternCGSInversion {
 public:
  // Checks the arrays as standard_CGS_inversion does (ending the process on inconsistent ones) and
  // derives the factor's structure from their pattern.
  void adopt(int taille, int nombre, const double* val, const int* row_ptr, const int* col_ind);
  bool adopted() const { return adopted_; }
  // Solves A x = B for the values val in the adopted pattern (given again by row_ptr and col_ind) from
  // x = 0 (at most 500 iterations, relative residual tol); prints "no convergence (output CGS <code>)"
  // without a line end on `note` when the code is not 0. B holds taille elements. Returns the CGS code.
  int solve(const double* val, const int* row_ptr, const int* col_ind, const MV_Vector_double& B, double tol,
            std::ostream& note = std::cout);
  // The last solution (taille elements, the last iterate when the solve failed).
  const MV_Vector_double& solution() const { return x_; }
  // Factorises the values val in the adopted pattern (adopt() first) as a solve of them does.
  CompRow_ILUPreconditioner_double& factorize(const double* val, const int* row_ptr, const int* col_ind);
  // The factor of the last solve or factorisation, and the solver's work vectors.
  const CompRow_ILUPreconditioner_double& factor() const { return factor_; }
  CGSWork& work() { return work_; }

  // Work done so far: patterns adopted, factorisations, solves and CGS iterations.
  long structures() const { return structures_; }
  long factorisations() const { return factorisations_; }
  long solves() const { return solves_; }
  long iterations() const { return iterations_; }

 private:
  bool adopted_ = false;
  int taille_ = 0;
  CompRow_ILUPreconditioner_double factor_;
  CGSWork work_;
  MV_Vector_double x_;
  long structures_ = 0, factorisations_ = 0, solves_ = 0, iterations_ = 0;
};

// The part of standard_CGS_inversion that does not involve the image: checks the arrays, solves from
// x = 0 (x is resized to taille) and prints the no-convergence note. Returns the CGS code.
int cgs_inversion_to_vector(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                            const MV_Vector_double& B, MV_Vector_double& x, double tol);

// One-pass consistency check of raw compressed-row arrays (row pointers start at 0 and never decrease,
// the last is at most nombre, every column index lies in 0..taille-1). On failure writes one line
// naming `who` and the problem to standard error and exits with status 1.
void check_compressed_rows(const char* who, int taille, int nombre, const double* val,
                           const int* row_ptr, const int* col_ind);
