// Zero-fill incomplete LU factorisation, ILU(0), of a compressed-row (or compressed-column) matrix,
// used as the preconditioner of the CGS solver and for the log-determinant of a system.
#pragma once

#include <vector>

#include "sparse/comprow.h"
#include "sparse/mv_vector.h"

// The ILU(0) factor of a compressed-row matrix, in two steps: the analysis of its pattern (the split
// of every row into its L part, columns below the row, and its U part, the ascending column order of
// each part and where each stored entry goes) and the numeric factorisation, which places the values
// and eliminates without fill. One matrix: analyse, then factor once (the constructors from a matrix).
// A sequence of matrices of one pattern, as a level's solves give them: adopt() the pattern once, then
// factor() the values of each.
class CompRow_ILUPreconditioner_double {
 public:
  // No pattern yet: adopt() one.
  CompRow_ILUPreconditioner_double() = default;
  explicit CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A);
  // The factor of the square n x n matrix held by raw 0-based compressed-row arrays (nnz stored
  // entries), read in place: the same factor as that of a CompRow_Mat_double copied from them.
  CompRow_ILUPreconditioner_double(int n, int nnz, const double* val, const int* row_ptr, const int* col_ind);

  // Analyses the pattern of n rows: row_ptr (n + 1 entries) and col_ind (row_ptr[n] entries) with
  // column indices in 0..n - 1 (checked by the caller).
  void adopt(int n, const int* row_ptr, const int* col_ind);
  // Factorises the matrix whose values val lie in the stored order of the analysed pattern, given again
  // by row_ptr and col_ind (the arrays it was analysed from, or equal ones). From the second
  // factorisation of an adopted pattern on, rows of one shape share a program: the places and updates
  // that the elimination derives for that shape, replayed with the same operations in the same order.
  void factor(const double* val, const int* row_ptr, const int* col_ind);
  // Row shapes that share a program (0: the factorisation goes through the scatter array).
  int rowShapes() const { return static_cast<int>(programStart_.size()); }

  // y = U^-1 (L^-1 x)
  MV_Vector_double solve(const MV_Vector_double& x) const;
  // y = L^-T (U^-T x)
  MV_Vector_double trans_solve(const MV_Vector_double& x) const;
  // Product of U's diagonal entries (0.0 when a row lacks its diagonal).
  double detLP();
  // Sum of log|u_ii|; negative diagonal values of U are made positive in place.
  double logDetLP();

  // solve() without allocation: the same arithmetic as solve(), from b into y (both of length M; they
  // may be the same storage).
  void solve_into(const double* b, double* y) const;

  // Read access to the factor.
  const MV_Vector_double& l_values() const { return l_val_; }
  const MV_Vector_int& l_row_pointers() const { return l_rowptr_; }
  const MV_Vector_int& l_column_indices() const { return l_colind_; }
  const MV_Vector_double& u_values() const { return u_val_; }
  const MV_Vector_int& u_row_pointers() const { return u_rowptr_; }
  const MV_Vector_int& u_column_indices() const { return u_colind_; }
  int dim(int i) const { return dim_[i]; }

 private:
  // The analysis of the first dim_[1] rows of a pattern (any column indices).
  void analyse(const int* row_ptr, const int* col_ind, bool programs);
  void derivePrograms(const int* row_ptr, const int* col_ind);

  MV_Vector_double l_val_, u_val_;
  MV_Vector_int l_rowptr_, l_colind_, u_rowptr_, u_colind_;
  int dim_[2] = {0, 0};
  int min_col_ = 0;
  std::vector<int> lsrc_, usrc_;  // stored position of each factor entry; only with repeated columns
  std::vector<int> scatter_;      // -1 between rows
  // Rows of one shape share a program (see derivePrograms); empty when the pattern keeps none.
  std::vector<int> rowShape_, programStart_, program_;
  bool programsDue_ = false;  // programs to derive before the next factorisation
  int factored_ = 0;          // factorisations since the pattern was analysed
};

class CompCol_ILUPreconditioner_double {
 public:
  explicit CompCol_ILUPreconditioner_double(const CompCol_Mat_double& A);

  MV_Vector_double solve(const MV_Vector_double& x) const;
  MV_Vector_double trans_solve(const MV_Vector_double& x) const;

  const MV_Vector_double& l_values() const { return l_val_; }
  const MV_Vector_int& l_column_pointers() const { return l_colptr_; }
  const MV_Vector_int& l_row_indices() const { return l_rowind_; }
  const MV_Vector_double& u_values() const { return u_val_; }
  const MV_Vector_int& u_column_pointers() const { return u_colptr_; }
  const MV_Vector_int& u_row_indices() const { return u_rowind_; }

 private:
  MV_Vector_double l_val_;
  MV_Vector_int l_colptr_;
  MV_Vector_int l_rowind_;
  int l_nz_;
  MV_Vector_double u_val_;
  MV_Vector_int u_colptr_;
  MV_Vector_int u_rowind_;
  int u_nz_;
  int dim_[2];
};
