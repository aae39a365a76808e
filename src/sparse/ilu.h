// Zero-fill incomplete LU factorisation, ILU(0), of a compressed-row (or compressed-column) matrix,
// used as the preconditioner of the CGS solver and for the log-determinant of a system.
#pragma once

#include <vector>

#include "sparse/comprow.h"
#include "sparse/mv_vector.h"

class CompRow_ILUPreconditioner_double {
 public:
  explicit CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A);
  // The factor of the square n x n matrix held by raw 0-based compressed-row arrays (nnz stored
  // entries), read in place: the same factor as that of a CompRow_Mat_double copied from them.
  CompRow_ILUPreconditioner_double(int n, int nnz, const double* val, const int* row_ptr, const int* col_ind);
  ~CompRow_ILUPreconditioner_double();

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
  // Split, sort and eliminate from A's row pointers (rowptr_size of them), columns and values (stored
  // entries each).
  void build(const int* arp, int rowptr_size, const int* acol, const double* aval, int stored);

  MV_Vector_double l_val_;
  MV_Vector_int l_rowptr_;
  MV_Vector_int l_colind_;
  int l_nz_;
  MV_Vector_double u_val_;
  MV_Vector_int u_rowptr_;
  MV_Vector_int u_colind_;
  int u_nz_;
  int dim_[2];
};

// ILU(0) factors of a sequence of square matrices that share one sparsity pattern (the same row
// pointers and the same column indices in the same stored order), as a level's primal steps give
// them. What depends on the pattern alone is derived once by adopt(): the split of every row into its
// L and U parts, the ascending column order of each part and where each stored entry goes. factor()
// then places the values and eliminates; its factor equals CompRow_ILUPreconditioner_double of the
// same matrix bit for bit. The buffers are kept from one factorisation to the next.
class CompRow_ILUPatternFactor {
 public:
  // n rows; row_ptr (n + 1 entries) and col_ind (row_ptr[n] entries) hold column indices in 0..n - 1
  // (checked by the caller).
  void adopt(int n, const int* row_ptr, const int* col_ind);
  // Factor of the matrix whose values val lie in the stored order of the adopted pattern, given again
  // by row_ptr and col_ind (the arrays it was adopted from, or equal ones).
  void factor(const double* val, const int* row_ptr, const int* col_ind);

  int size() const { return n_; }
  int entries() const { return nnz_; }
  // Row shapes that share a program, derived at the second factorisation of a pattern (0: the
  // factorisation goes through the scatter array).
  int rowShapes() const { return static_cast<int>(programStart_.size()); }
  const double* l_values() const { return lv_.data(); }
  const int* l_column_indices() const { return lc_.data(); }
  const int* l_row_pointers() const { return lp_.data(); }
  const double* u_values() const { return uv_.data(); }
  const int* u_column_indices() const { return uc_.data(); }
  const int* u_row_pointers() const { return up_.data(); }

 private:
  void derivePrograms(const int* row_ptr, const int* col_ind);

  int n_ = 0, nnz_ = 0, min_col_ = 0;
  std::vector<int> lp_, lc_, up_, uc_;  // the factor's pattern
  std::vector<int> lsrc_, usrc_;        // stored position of each factor entry; only with repeated columns
  std::vector<int> scatter_;            // -1 between rows
  // Rows of one shape share a program (see derivePrograms); empty when the pattern keeps none.
  std::vector<int> rowShape_, programStart_, program_;
  bool programsDue_ = false;  // programs to derive before the next factorisation
  int factored_ = 0;          // factorisations since the pattern was adopted
  std::vector<double> lv_, uv_;         // the factor's values
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
