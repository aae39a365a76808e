#include "sparse/comprow.h"

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <iostream>

#include "sparse/spblas.h"

namespace {

[[noreturn]] void matvec_dimension_failure() {
  std::fflush(stdout);
  std::cerr << "Error in CompCol Matvec -- incompatible dimensions." << "\n";
  std::cerr.flush();
  std::exit(1);
}

// Address one element past `d` formed by index arithmetic; null for an empty vector.
inline const double* one_past_first(const MV_Vector_double& v) {
  return v.size() > 0 ? v.data() + 1 : nullptr;
}
inline double* one_past_first(MV_Vector_double& v) { return v.size() > 0 ? v.data() + 1 : nullptr; }

// Counting sort by row, first half: sets rowptr (M + 1 entries) from the row indices of the nz
// entries of C and returns a copy of it, each row's next free position.
template <class Mat>
MV_Vector_int row_starts(const Mat& C, int M, int nz, MV_Vector_int& rowptr) {
  MV_Vector_int tally(M + 1, 0);
  for (int i = 0; i < nz; i++) tally(C.row_ind(i))++;
  rowptr(0) = 0;
  for (int i = 0; i < M; i++) rowptr(i + 1) = rowptr(i) + tally(i);
  tally = rowptr;
  return tally;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Compressed-column and coordinate containers.

CompCol_Mat_double::CompCol_Mat_double() : val_(0), rowind_(0), colptr_(0), base_(0), nz_(0), dim_{0, 0} {}

CompCol_Mat_double::CompCol_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base)
    : val_(val, nz), rowind_(r, nz), colptr_(c, N + 1), base_(base), nz_(nz), dim_{M, N} {}

CompCol_Mat_double::CompCol_Mat_double(int M, int N, int nz, const MV_Vector_double& val,
                                       const MV_Vector_int& r, const MV_Vector_int& c, int base)
    : val_(val), rowind_(r), colptr_(c), base_(base), nz_(nz), dim_{M, N} {}

Coord_Mat_double::Coord_Mat_double() : val_(0), rowind_(0), colind_(0), base_(0), nz_(0), dim_{0, 0} {}

Coord_Mat_double::Coord_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base)
    : val_(val, nz), rowind_(r, nz), colind_(c, nz), base_(base), nz_(nz), dim_{M, N} {}

Coord_Mat_double::Coord_Mat_double(int M, int N, int nz, const MV_Vector_double& val, const MV_Vector_int& r,
                                   const MV_Vector_int& c, int base)
    : val_(val), rowind_(r), colind_(c), base_(base), nz_(nz), dim_{M, N} {}

// ---------------------------------------------------------------------------------------------------
// Compressed-row matrix.

CompRow_Mat_double::CompRow_Mat_double() : val_(0), rowptr_(0), colind_(0), base_(0), nz_(0), dim_{0, 0} {}

CompRow_Mat_double::CompRow_Mat_double(const CompRow_Mat_double& S)
    : val_(S.val_), rowptr_(S.rowptr_), colind_(S.colind_), base_(S.base_), nz_(S.nz_),
      dim_{S.dim_[0], S.dim_[1]} {}

CompRow_Mat_double::CompRow_Mat_double(int M, int N, int nz, double* val, int* r, int* c, int base)
    : val_(val, nz), rowptr_(r, M + 1), colind_(c, nz), base_(base), nz_(nz), dim_{M, N} {}

CompRow_Mat_double::CompRow_Mat_double(int M, int N, int nz, const MV_Vector_double& val,
                                       const MV_Vector_int& r, const MV_Vector_int& c, int base)
    : val_(val), rowptr_(r), colind_(c), base_(base), nz_(nz), dim_{M, N} {}

// Counting sort by row: each row ends up in ascending column order.
CompRow_Mat_double::CompRow_Mat_double(const CompCol_Mat_double& C)
    : val_(C.NumNonzeros()), rowptr_(C.dim(0) + 1), colind_(C.NumNonzeros()), base_(C.base()),
      nz_(C.NumNonzeros()), dim_{C.dim(0), C.dim(1)} {
  const int M = dim_[0];
  const int N = dim_[1];
  MV_Vector_int tally = row_starts(C, M, nz_, rowptr_);
  int start = 0;
  for (int k = 1; k <= N; k++) {
    const int end = C.col_ptr(k);
    for (int j = start; j < end; j++) {
      const int to = tally(C.row_ind(j))++;
      val_(to) = C.val(j);
      colind_(to) = k - 1;
    }
    start = end;
  }
}

// The same counting; within a row the entries keep their list order.
CompRow_Mat_double::CompRow_Mat_double(const Coord_Mat_double& C)
    : val_(C.NumNonzeros()), rowptr_(C.dim(0) + 1), colind_(C.NumNonzeros()), base_(C.base()),
      nz_(C.NumNonzeros()), dim_{C.dim(0), C.dim(1)} {
  const int M = dim_[0];
  MV_Vector_int tally = row_starts(C, M, nz_, rowptr_);
  for (int j = 0; j < nz_; j++) {
    const int to = tally(C.row_ind(j))++;
    val_(to) = C.val(j);
    colind_(to) = C.col_ind(j);
  }
}

CompRow_Mat_double::~CompRow_Mat_double() = default;  // members go colind_, rowptr_, val_

CompRow_Mat_double& CompRow_Mat_double::operator=(const CompRow_Mat_double& R) {
  dim_[0] = R.dim_[0];
  dim_[1] = R.dim_[1];
  base_ = R.base_;
  nz_ = R.nz_;
  val_ = R.val_;
  colind_ = R.colind_;
  rowptr_ = R.rowptr_;
  return *this;
}

CompRow_Mat_double& CompRow_Mat_double::newsize(int M, int N, int nz) {
  dim_[0] = M;
  dim_[1] = N;
  nz_ = nz;
  val_.newsize(nz);
  rowptr_.newsize(M + 1);
  colind_.newsize(nz);
  return *this;
}

double CompRow_Mat_double::operator()(int i, int j) const {
  for (int t = rowptr_(i); t < rowptr_(i + 1); t++) {
    if (colind_(t) == j) return val_(t);
  }
  if (i < dim_[0] && j < dim_[1]) return 0.0;
  std::cerr << "Array accessing exception -- out of bounds." << "\n";
  return 0.0;
}

double& CompRow_Mat_double::set(int i, int j) {
  for (int t = rowptr_(i); t < rowptr_(i + 1); t++) {
    if (colind_(t) == j) return val_(t);
  }
  std::fflush(stdout);
  std::cerr << "Array element (" << i << "," << j << ") not in sparse structure -- cannot assign." << "\n";
  std::cerr.flush();
  std::exit(1);
}

MV_Vector_double CompRow_Mat_double::operator*(const MV_Vector_double& x) const {
  const int M = dim_[0];
  const int N = dim_[1];
  if (x.size() != N) matvec_dimension_failure();
  MV_Vector_double result(M, 0.0);
  MV_Vector_double work(M);
  const int descra[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  // The column indices address x one-based: x is passed from its second element.
  dcsrmm_(0, M, 1, N, 1.0, descra, val_.data(), colind_.data(), rowptr_.data(), one_past_first(x), N, 1.0,
          result.data(), M, work.data(), M);
  return result;
}

MV_Vector_double CompRow_Mat_double::trans_mult(const MV_Vector_double& x) const {
  const int M = dim_[0];
  const int N = dim_[1];
  if (x.size() != M) matvec_dimension_failure();
  MV_Vector_double result(N, 0.0);
  MV_Vector_double work(N);
  const int descra[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  dcsrmm_(1, N, 1, M, 1.0, descra, val_.data(), colind_.data(), rowptr_.data(), x.data(), M, 1.0,
          one_past_first(result), N, work.data(), N);
  return result;
}

std::ostream& operator<<(std::ostream& os, const CompRow_Mat_double& mat) {
  const std::ios_base::fmtflags old = os.flags();
  os.setf(std::ios_base::right, std::ios_base::adjustfield);
  os.setf(std::ios_base::scientific, std::ios_base::floatfield);
  const std::streamsize oldp = os.precision(12);

  const int M = mat.dim(0);
  const int N = mat.dim(1);
  bool corner_printed = false;
  for (int i = 0; i < M; i++) {
    for (int j = mat.row_ptr(i); j < mat.row_ptr(i + 1); j++) {
      os << std::setw(14) << i + 1 << "    " << std::setw(14) << mat.col_ind(j) + 1 << "    "
         << std::setw(20) << mat.val(j) << "\n";
      if (i + 1 == M && mat.col_ind(j) + 1 == N) corner_printed = true;
    }
  }
  if (!corner_printed) {
    os << std::setw(14) << M << "    " << std::setw(14) << N << "    " << std::setw(20)
       << (M > 0 && N > 0 ? mat(M - 1, N - 1) : 0.0) << "\n";
  }
  os.setf(old & std::ios_base::adjustfield, std::ios_base::adjustfield);
  os.setf(old & std::ios_base::floatfield, std::ios_base::floatfield);
  os.precision(oldp);
  return os;
}
