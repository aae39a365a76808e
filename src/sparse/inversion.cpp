// Solve and log-determinant of systems given as raw compressed-row arrays (the image-free part).

#include "sparse/inversion.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "sparse/cgs.h"
#include "sparse/comprow.h"
#include "sparse/ilu.h"

namespace {

[[noreturn]] void array_failure(const char* who, const char* what, long a, long b) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s (%ld, %ld)\n", who, what, a, b);
  std::exit(1);
}

}  // namespace

void check_compressed_rows(const char* who, int taille, int nombre, const double* val, const int* row_ptr,
                           const int* col_ind) {
  if (taille < 0 || nombre < 0) array_failure(who, "negative system size or entry count", taille, nombre);
  if (row_ptr == nullptr) array_failure(who, "null row-pointer array for system size and entry count", taille, nombre);
  if (nombre > 0 && (val == nullptr || col_ind == nullptr))
    array_failure(who, "null value or column-index array for system size and entry count", taille, nombre);
  if (row_ptr[0] != 0) array_failure(who, "row pointers must start at 0: row and pointer", 0, row_ptr[0]);
  for (int i = 0; i < taille; i++) {
    const int begin = row_ptr[i];
    const int end = row_ptr[i + 1];
    if (end < begin) array_failure(who, "row pointers decrease: row and pointer", i + 1, end);
    if (end > nombre) array_failure(who, "row pointer beyond the entry count: row and pointer", i + 1, end);
    for (int k = begin; k < end; k++) {
      const int c = col_ind[k];
      if (c < 0 || c >= taille) array_failure(who, "column index outside the system: entry and column", k, c);
    }
  }
}

int cgs_inversion_to_vector(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                            const MV_Vector_double& B, MV_Vector_double& x, double tol) {
  check_compressed_rows("standard_CGS_inversion", taille, nombre, val, row_ptr, col_ind);
  x = MV_Vector_double(taille, 0.0);
  int code;
  {
    const CompRow_Mat_double A(taille, taille, nombre, val, row_ptr, col_ind, 0);
    const CompRow_ILUPreconditioner_double M(A);
    int max_iter = 500;
    code = CGS(A, x, B, M, max_iter, tol);
  }
  if (code != 0) std::cout << "no convergence (output CGS " << code << ")";
  return code;
}

double ILU_logDetA(int taille, int nombre, double* val, int* row_ptr, int* col_ind) {
  check_compressed_rows("ILU_logDetA", taille, nombre, val, row_ptr, col_ind);
  CompRow_ILUPreconditioner_double M(taille, nombre, val, row_ptr, col_ind);
  return M.logDetLP();
}

void PatternCGSInversion::adopt(int taille, int nombre, const double* val, const int* row_ptr,
                                const int* col_ind) {
  check_compressed_rows("standard_CGS_inversion", taille, nombre, val, row_ptr, col_ind);
  taille_ = taille;
  factor_.adopt(taille, row_ptr, col_ind);
  work_.reserve(taille);
  x_.newsize(taille);
  adopted_ = true;
  structures_++;
}

int PatternCGSInversion::solve(const double* val, const int* row_ptr, const int* col_ind, const MV_Vector_double& B,
                               double tol, std::ostream& note) {
  if (!adopted_) array_failure("PatternCGSInversion", "solve before a pattern was adopted: size and entries", 0, 0);
  if (B.size() != taille_)
    array_failure("standard_CGS_inversion", "right-hand side and system of different sizes", B.size(), taille_);
  x_ = 0.0;
  factorize(val, row_ptr, col_ind);
  int max_iter = 500;
  const int code = CGS(taille_, {val, col_ind, row_ptr}, factor_, x_.data(), B.data(), work_, max_iter, tol);
  solves_++;
  iterations_ += work_.iterations;
  if (code != 0) note << "no convergence (output CGS " << code << ")";
  return code;
}

CompRow_ILUPreconditioner_double& PatternCGSInversion::factorize(const double* val, const int* row_ptr,
                                                                 const int* col_ind) {
  factor_.factor(val, row_ptr, col_ind);
  factorisations_++;
  return factor_;
}
