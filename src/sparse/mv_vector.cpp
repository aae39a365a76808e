#include "sparse/mv_vector.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

namespace {

// Storage of n elements, or null when it cannot be obtained (a negative n counts as such).
template <class T>
T* allocate(int n) {
  if (n < 0) return nullptr;
  return new (std::nothrow) T[static_cast<size_t>(n)];
}

[[noreturn]] void out_of_memory(const char* line1, const char* line2) {
  std::cerr << line1 << "\n";
  if (line2) std::cerr << line2 << "\n";
  std::cerr.flush();
  std::exit(1);
}

[[noreturn]] void stdout_failure(const char* text) {
  std::cout << text << "\n";
  std::cout.flush();
  std::exit(1);
}

[[noreturn]] void range_failure(const MV_VecIndex& I, int dim) {
  std::cerr << "MV_VecIndex: (" << I.start() << ":" << I.end() << ") too big for matrix (0:" << dim - 1
            << ") " << "\n";
  std::cerr.flush();
  std::exit(1);
}

// A slice range is usable when 0 <= start <= end < dim.
bool bad_range(const MV_VecIndex& I, int dim) {
  return I.end() >= dim || I.start() < 0 || I.start() > I.end();
}

const char* const kMostLikely = "       Most likely out of memory... ";

}  // namespace

void mv_index_failure(const char* cls, int i, int dim) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: element index %d outside 0..%d: Assertion `i < dim_' failed.\n", cls, i, dim - 1);
  std::fflush(stderr);
  std::abort();
}

// ---------------------------------------------------------------------------------------------------
// The two vector classes share one implementation pattern; a macro keeps them identical.

#define VRM_MV_VECTOR_IMPL(Vec, T, NAME)                                                                 \
  Vec::Vec() : p_(nullptr), dim_(0), ref_(0) {}                                                           \
                                                                                                          \
  Vec::Vec(int n) : p_(allocate<T>(n)), dim_(n), ref_(0) {                                                \
    if (p_ == nullptr) out_of_memory("Error: NULL pointer in " NAME "(int) constructor ", kMostLikely);   \
  }                                                                                                       \
                                                                                                          \
  Vec::Vec(int n, const T& v) : p_(allocate<T>(n)), dim_(n), ref_(0) {                                    \
    if (p_ == nullptr) out_of_memory("Error: NULL pointer in " NAME "(int) constructor ", kMostLikely);   \
    for (int i = 0; i < n; i++) p_[i] = v;                                                                \
  }                                                                                                       \
                                                                                                          \
  Vec::Vec(T* d, int n) : p_(allocate<T>(n)), dim_(n), ref_(0) {                                          \
    if (p_ == nullptr) out_of_memory("Error: Null pointer in " NAME "(" #T "*, int) ", nullptr);          \
    for (int i = 0; i < n; i++) p_[i] = d[i];                                                             \
  }                                                                                                       \
                                                                                                          \
  Vec::Vec(const T* d, int n) : p_(allocate<T>(n)), dim_(n), ref_(0) {                                    \
    if (p_ == nullptr) out_of_memory("Error: Null pointer in " NAME "(" #T "*, int) ", nullptr);          \
    for (int i = 0; i < n; i++) p_[i] = d[i];                                                             \
  }                                                                                                       \
                                                                                                          \
  Vec::Vec(const Vec& m) : p_(allocate<T>(m.dim_)), dim_(m.dim_), ref_(0) {                               \
    if (p_ == nullptr) out_of_memory("Error:  Null pointer in " NAME "(const MV_Vector&); ", nullptr);    \
    for (int i = 0; i < dim_; i++) p_[i] = m.p_[i];                                                       \
  }                                                                                                       \
                                                                                                          \
  Vec::Vec(T* d, int N, MV_Vector_::ref_type i) : p_(d), dim_(N), ref_(i) {}                              \
                                                                                                          \
  Vec::~Vec() {                                                                                           \
    if (p_ && !ref_) delete[] p_;                                                                         \
  }                                                                                                       \
                                                                                                          \
  Vec Vec::operator()() { return Vec(p_, dim_, MV_Vector_::ref); }                                        \
  const Vec Vec::operator()() const { return Vec(p_, dim_, MV_Vector_::ref); }                            \
                                                                                                          \
  Vec Vec::operator()(const MV_VecIndex& I) {                                                             \
    if (I.all()) return Vec(p_, dim_, MV_Vector_::ref);                                                   \
    if (bad_range(I, dim_)) range_failure(I, dim_);                                                       \
    return Vec(p_ + I.start(), I.end() - I.start() + 1, MV_Vector_::ref);                                 \
  }                                                                                                       \
  const Vec Vec::operator()(const MV_VecIndex& I) const {                                                 \
    if (I.all()) return Vec(p_, dim_, MV_Vector_::ref);                                                   \
    if (bad_range(I, dim_)) range_failure(I, dim_);                                                       \
    return Vec(p_ + I.start(), I.end() - I.start() + 1, MV_Vector_::ref);                                 \
  }                                                                                                       \
                                                                                                          \
  Vec& Vec::newsize(int n) {                                                                              \
    if (ref_) {                                                                                           \
      std::cerr << "MV_Vector::newsize can't operator on references.\n";                                  \
      std::cerr.flush();                                                                                  \
      std::exit(1);                                                                                       \
    }                                                                                                     \
    if (n == dim_) return *this;                                                                          \
    if (p_) delete[] p_;                                                                                  \
    p_ = allocate<T>(n);                                                                                  \
    if (p_ == nullptr) out_of_memory("Error: NULL pointer in " NAME "::newsize(int) ", kMostLikely);      \
    dim_ = n;                                                                                             \
    return *this;                                                                                         \
  }                                                                                                       \
                                                                                                          \
  Vec& Vec::operator=(const Vec& m) {                                                                     \
    const int N = m.dim_;                                                                                 \
    if (ref_) {                                                                                           \
      if (dim_ != N) {                                                                                    \
        std::cerr << "MV_VectorRef::operator=  non-conformant assignment.\n";                             \
        std::cerr.flush();                                                                                \
        std::exit(1);                                                                                     \
      }                                                                                                   \
      /* Views may overlap their source in either direction: a move copy gives the source's */           \
      /* old values in every case. */                                                                     \
      if (N > 0 && p_ != m.p_) std::memmove(p_, m.p_, sizeof(T) * static_cast<size_t>(N));                \
      return *this;                                                                                       \
    }                                                                                                     \
    if (N == dim_) {                                                                                      \
      if (N > 0 && p_ != m.p_) std::memmove(p_, m.p_, sizeof(T) * static_cast<size_t>(N));                \
      return *this;                                                                                       \
    }                                                                                                     \
    /* New length: the source may be a view into this vector's own storage, so it is copied */           \
    /* into the new storage before the old storage is released. */                                        \
    T* fresh = allocate<T>(N);                                                                            \
    if (fresh == nullptr) out_of_memory("Error: NULL pointer in " NAME "::newsize(int) ", kMostLikely);   \
    for (int i = 0; i < N; i++) fresh[i] = m.p_[i];                                                       \
    if (p_) delete[] p_;                                                                                  \
    p_ = fresh;                                                                                           \
    dim_ = N;                                                                                             \
    return *this;                                                                                         \
  }                                                                                                       \
                                                                                                          \
  Vec& Vec::operator=(const T& m) {                                                                       \
    const int N = dim_;                                                                                   \
    const int N4 = N - 4;                                                                                 \
    int i = 0;                                                                                            \
    for (; i < N4; i += 4) {                                                                              \
      p_[i] = m;                                                                                          \
      p_[i + 1] = m;                                                                                      \
      p_[i + 2] = m;                                                                                      \
      p_[i + 3] = m;                                                                                      \
    }                                                                                                     \
    for (; i < N; i++) p_[i] = m;                                                                         \
    return *this;                                                                                         \
  }                                                                                                       \
                                                                                                          \
  std::ostream& operator<<(std::ostream& s, const Vec& V) {                                               \
    const int N = V.size();                                                                               \
    const T* p = V.data();                                                                                \
    for (int i = 0; i < N; i++) s << p[i] << "\n";                                                        \
    return s;                                                                                             \
  }

VRM_MV_VECTOR_IMPL(MV_Vector_double, double, "MV_Vector_double")
VRM_MV_VECTOR_IMPL(MV_Vector_int, int, "MV_Vector_int")

#undef VRM_MV_VECTOR_IMPL

// ---------------------------------------------------------------------------------------------------
// Arithmetic on double vectors: plain ascending loops, each element's arithmetic as written.

MV_Vector_double& operator*=(MV_Vector_double& x, const double& a) {
  const int N = x.size();
  double* px = x.data();
  for (int i = 0; i < N; i++) px[i] = a * px[i];
  return x;
}

MV_Vector_double operator*(const double& a, const MV_Vector_double& x) {
  const int N = x.size();
  MV_Vector_double result(N);
  const double* px = x.data();
  double* pr = result.data();
  for (int i = 0; i < N; i++) pr[i] = a * px[i];
  return result;
}

MV_Vector_double operator*(const MV_Vector_double& x, const double& a) { return a * x; }

MV_Vector_double operator+(const MV_Vector_double& x, const MV_Vector_double& y) {
  const int N = x.size();
  if (N != y.size()) stdout_failure("Incompatible vector lengths in +.");
  MV_Vector_double result(N);
  const double* px = x.data();
  const double* py = y.data();
  double* pr = result.data();
  for (int i = 0; i < N; i++) pr[i] = px[i] + py[i];
  return result;
}

MV_Vector_double operator-(const MV_Vector_double& x, const MV_Vector_double& y) {
  const int N = x.size();
  if (N != y.size()) stdout_failure("Incompatible vector lengths in -.");
  MV_Vector_double result(N);
  const double* px = x.data();
  const double* py = y.data();
  double* pr = result.data();
  for (int i = 0; i < N; i++) pr[i] = px[i] - py[i];
  return result;
}

MV_Vector_double& operator+=(MV_Vector_double& x, const MV_Vector_double& y) {
  const int N = x.size();
  if (N != y.size()) stdout_failure("Incompatible vector lengths in -.");
  double* px = x.data();
  const double* py = y.data();
  for (int i = 0; i < N; i++) px[i] += py[i];
  return x;
}

MV_Vector_double& operator-=(MV_Vector_double& x, const MV_Vector_double& y) {
  const int N = x.size();
  if (N != y.size()) stdout_failure("Incompatible vector lengths in -.");
  double* px = x.data();
  const double* py = y.data();
  for (int i = 0; i < N; i++) px[i] -= py[i];
  return x;
}

double dot(const MV_Vector_double& x, const MV_Vector_double& y) {
  const int N = x.size();
  if (N != y.size()) stdout_failure("Incompatible dimensions in dot(). ");
  const double* px = x.data();
  const double* py = y.data();
  double temp = 0.0;
  for (int i = 0; i < N; i++) temp += px[i] * py[i];
  return temp;
}

double norm(const MV_Vector_double& x) {
  const int N = x.size();
  const double* px = x.data();
  double temp = 0.0;
  for (int i = 0; i < N; i++) temp += px[i] * px[i];
  return std::sqrt(temp);
}
