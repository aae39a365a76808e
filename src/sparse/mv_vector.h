// Dense vectors of the sparse linear algebra: owning vectors and views over another vector's storage.
#pragma once

#include <iosfwd>

// Scope of the view tag: MV_Vector_::ref asks a constructor for a view instead of a copy.
struct MV_Vector_ {
  enum ref_type { ref = 1 };
};

// Inclusive index range selecting a contiguous slice of a vector.
class MV_VecIndex {
 public:
  MV_VecIndex() : start_(0), end_(0), all_(1) {}
  MV_VecIndex(int i1) : start_(i1), end_(i1), all_(0) {}
  MV_VecIndex(int i1, int i2) : start_(i1), end_(i2), all_(0) {}

  int start() const { return all_ == 1 ? 0 : start_; }
  int end() const { return all_ == 1 ? 0 : end_; }
  int all() const { return all_; }

 private:
  int start_;
  int end_;
  char all_;
};

// Index check that stays on in every build: an index outside 0..dim-1 (negative ones included) is
// reported like a failed assertion and aborts the process.
[[noreturn]] void mv_index_failure(const char* cls, int i, int dim);

class MV_Vector_double {
 public:
  MV_Vector_double();
  explicit MV_Vector_double(int n);
  MV_Vector_double(int n, const double& v);
  MV_Vector_double(double* d, int n);
  MV_Vector_double(const double* d, int n);
  MV_Vector_double(const MV_Vector_double& m);
  MV_Vector_double(double* d, int N, MV_Vector_::ref_type i);
  ~MV_Vector_double();

  double& operator()(int i) {
    if (static_cast<unsigned>(i) >= static_cast<unsigned>(dim_)) mv_index_failure("MV_Vector_double", i, dim_);
    return p_[i];
  }
  const double& operator()(int i) const {
    if (static_cast<unsigned>(i) >= static_cast<unsigned>(dim_)) mv_index_failure("MV_Vector_double", i, dim_);
    return p_[i];
  }
  double& operator[](int i) { return (*this)(i); }
  const double& operator[](int i) const { return (*this)(i); }

  int size() const { return dim_; }
  int ref() const { return ref_; }

  // Unchecked address of element 0 (null for the default-constructed vector); for kernels that walk the
  // storage with index arithmetic.
  double* data() { return p_; }
  const double* data() const { return p_; }

  MV_Vector_double operator()();
  const MV_Vector_double operator()() const;
  MV_Vector_double operator()(const MV_VecIndex& I);
  const MV_Vector_double operator()(const MV_VecIndex& I) const;

  MV_Vector_double& newsize(int n);
  MV_Vector_double& operator=(const MV_Vector_double& m);
  MV_Vector_double& operator=(const double& m);

 private:
  double* p_;
  int dim_;
  int ref_;
};

class MV_Vector_int {
 public:
  MV_Vector_int();
  explicit MV_Vector_int(int n);
  MV_Vector_int(int n, const int& v);
  MV_Vector_int(int* d, int n);
  MV_Vector_int(const int* d, int n);
  MV_Vector_int(const MV_Vector_int& m);
  MV_Vector_int(int* d, int N, MV_Vector_::ref_type i);
  ~MV_Vector_int();

  int& operator()(int i) {
    if (static_cast<unsigned>(i) >= static_cast<unsigned>(dim_)) mv_index_failure("MV_Vector_int", i, dim_);
    return p_[i];
  }
  const int& operator()(int i) const {
    if (static_cast<unsigned>(i) >= static_cast<unsigned>(dim_)) mv_index_failure("MV_Vector_int", i, dim_);
    return p_[i];
  }
  int& operator[](int i) { return (*this)(i); }
  const int& operator[](int i) const { return (*this)(i); }

  int size() const { return dim_; }
  int ref() const { return ref_; }

  int* data() { return p_; }
  const int* data() const { return p_; }

  MV_Vector_int operator()();
  const MV_Vector_int operator()() const;
  MV_Vector_int operator()(const MV_VecIndex& I);
  const MV_Vector_int operator()(const MV_VecIndex& I) const;

  MV_Vector_int& newsize(int n);
  MV_Vector_int& operator=(const MV_Vector_int& m);
  MV_Vector_int& operator=(const int& m);

 private:
  int* p_;
  int dim_;
  int ref_;
};

// Arithmetic on double vectors (length mismatches end the process with status 1).
MV_Vector_double& operator*=(MV_Vector_double& x, const double& a);
MV_Vector_double operator*(const double& a, const MV_Vector_double& x);
MV_Vector_double operator*(const MV_Vector_double& x, const double& a);
MV_Vector_double operator+(const MV_Vector_double& x, const MV_Vector_double& y);
MV_Vector_double operator-(const MV_Vector_double& x, const MV_Vector_double& y);
MV_Vector_double& operator+=(MV_Vector_double& x, const MV_Vector_double& y);
MV_Vector_double& operator-=(MV_Vector_double& x, const MV_Vector_double& y);
double dot(const MV_Vector_double& x, const MV_Vector_double& y);
double norm(const MV_Vector_double& x);

std::ostream& operator<<(std::ostream& s, const MV_Vector_double& V);
std::ostream& operator<<(std::ostream& s, const MV_Vector_int& V);
