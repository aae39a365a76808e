// Sparse matrices: compressed-row (the format of every system that is solved), and the compressed-column
// and coordinate formats that convert into it.
#pragma once

#include <iosfwd>

#include "sparse/mv_vector.h"

class CompCol_Mat_double {
 public:
  CompCol_Mat_double();
  CompCol_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base);
  CompCol_Mat_double(int M, int N, int nz, const MV_Vector_double& val, const MV_Vector_int& r,
                     const MV_Vector_int& c, int base);

  const double& val(int i) const { return val_(i); }
  const int& row_ind(int i) const { return rowind_(i); }
  const int& col_ptr(int i) const { return colptr_(i); }
  int dim(int i) const { return dim_[i]; }
  int NumNonzeros() const { return nz_; }
  int base() const { return base_; }

 private:
  MV_Vector_double val_;
  MV_Vector_int rowind_;
  MV_Vector_int colptr_;
  int base_;
  int nz_;
  int dim_[2];
};

class Coord_Mat_double {
 public:
  Coord_Mat_double();
  Coord_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base);
  Coord_Mat_double(int M, int N, int nz, const MV_Vector_double& val, const MV_Vector_int& r,
                   const MV_Vector_int& c, int base);

  const double& val(int i) const { return val_(i); }
  const int& row_ind(int i) const { return rowind_(i); }
  const int& col_ind(int i) const { return colind_(i); }
  int dim(int i) const { return dim_[i]; }
  int NumNonzeros() const { return nz_; }
  int base() const { return base_; }

 private:
  MV_Vector_double val_;
  MV_Vector_int rowind_;
  MV_Vector_int colind_;
  int base_;
  int nz_;
  int dim_[2];
};

class CompRow_Mat_double {
 public:
  CompRow_Mat_double();
  CompRow_Mat_double(const CompRow_Mat_double& S);
  // Copies nz values from val, M + 1 row pointers from r and nz column indices from c; the caller
  // keeps its arrays.
  CompRow_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base);
  CompRow_Mat_double(int M, int N, int nz, const MV_Vector_double& val, const MV_Vector_int& r,
                     const MV_Vector_int& c, int base);
  explicit CompRow_Mat_double(const CompCol_Mat_double& C);
  explicit CompRow_Mat_double(const Coord_Mat_double& C);
  ~CompRow_Mat_double();

  CompRow_Mat_double& operator=(const CompRow_Mat_double& R);
  CompRow_Mat_double& newsize(int M, int N, int nz);

  double& val(int i) { return val_(i); }
  int& row_ptr(int i) { return rowptr_(i); }
  int& col_ind(int i) { return colind_(i); }
  const double& val(int i) const { return val_(i); }
  const int& row_ptr(int i) const { return rowptr_(i); }
  const int& col_ind(int i) const { return colind_(i); }

  int dim(int i) const { return dim_[i]; }
  int size(int i) const { return dim_[i]; }
  int NumNonzeros() const { return nz_; }
  int base() const { return base_; }

  // Value at (i, j): the first stored entry of row i with column j, else 0.0.
  double operator()(int i, int j) const;
  // The stored value at (i, j); an entry outside the pattern ends the process.
  double& set(int i, int j);

  MV_Vector_double operator*(const MV_Vector_double& x) const;
  MV_Vector_double trans_mult(const MV_Vector_double& x) const;

  // The three arrays as stored, for kernels that stream through them.
  const MV_Vector_double& values() const { return val_; }
  const MV_Vector_int& row_pointers() const { return rowptr_; }
  const MV_Vector_int& column_indices() const { return colind_; }

 private:
  MV_Vector_double val_;
  MV_Vector_int rowptr_;
  MV_Vector_int colind_;
  int base_;
  int nz_;
  int dim_[2];
};

std::ostream& operator<<(std::ostream& os, const CompRow_Mat_double& mat);
