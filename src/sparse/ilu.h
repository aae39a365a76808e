// Zero-fill incomplete LU factorisation, ILU(0), of a compressed-row (or compressed-column) matrix,
// used as the preconditioner of the CGS solver and for the log-determinant of a system.
#pragma once

#include "sparse/comprow.h"
#include "sparse/mv_vector.h"

class CompRow_ILUPreconditioner_double {
 public:
  explicit CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A);
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
