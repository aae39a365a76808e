// Triangular solves with a sparse triangle: c <- op(A)^-1 b (times alpha).
//
// The diagonal of a Diag kernel is taken by position (first or last stored entry of the row or
// column); a row or column without any entry has a zero diagonal, so its result is an IEEE infinity
// or NaN instead of a value read from a neighbouring row. One-based offsets are index arithmetic on
// the pointers passed.

#include <cstdio>
#include <cstdlib>

#include "sparse/spblas.h"

namespace {

[[noreturn]] void spblas_failure(const char* text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text);
  std::exit(1);
}

enum class Diag { unit, first, last };

// Row-oriented solve over rows in the given direction. `skip` says where the stored diagonal sits.
template <class T, bool kDescending, Diag kDiag>
void row_solve(int m, int n, int unitd, T alpha, const T* val, const int* indx, const int* pntr,
               const T* b, int ldb, T* c, int ldc) {
  if (unitd != 1) spblas_failure("unitd != 1 not implemented");
  if (alpha == T(0)) return;
  const int p = pntr[0];
  for (int l = 0; l < n; l++) {
    const T* bl = (n == 1) ? b : b + static_cast<long>(ldb) * l;
    T* cl = (n == 1) ? c : c + static_cast<long>(ldc) * l;
    for (int step = 0; step < m; step++) {
      const int i = kDescending ? m - 1 - step : step;
      int first = pntr[i] - p;
      int last = pntr[i + 1] - p;  // one past the row's last entry
      T diag = T(0);
      if (kDiag == Diag::first && first < last) diag = val[first++];
      if (kDiag == Diag::last && first < last) diag = val[--last];
      T z = T(0);
      for (int j = first; j < last; j++) z = val[j] * cl[indx[j] - 1] + z;
      T r = bl[i] - z;
      if (alpha != T(1)) r = r * alpha;
      if (kDiag != Diag::unit) r = r / diag;
      cl[p + i - 1] = r;
    }
  }
}

template <class T>
void copy_rectangular(int m, int n, const T* b, int ldb, T* c, int ldc) {
  if (b == c) return;
  if (n == 1) {
    for (int i = 0; i < m; i++) c[i] = b[i];
  } else {
    for (int l = 0; l < n; l++)
      for (int i = 0; i < m; i++) c[i + static_cast<long>(ldc) * l] = b[i + static_cast<long>(ldb) * l];
  }
}

// Column-oriented solve: b is copied into c, then each column's value is scattered into the rows that
// remain to be solved.
template <class T, bool kDescending, Diag kDiag>
void col_solve(int m, int n, int unitd, T alpha, const T* val, const int* indx, const int* pntr,
               const T* b, int ldb, T* c, int ldc) {
  if (unitd != 1) spblas_failure("unitd != 1 not implemented");
  if (alpha == T(0)) return;
  const int p = pntr[0];
  T* c0 = c + (p - 1);  // row 0's position of c
  copy_rectangular<T>(m, n, b, ldb, c0, ldc);
  for (int l = 0; l < n; l++) {
    T* cl = (n == 1) ? c : c + static_cast<long>(ldc) * l;
    for (int step = 0; step < m; step++) {
      const int i = kDescending ? m - 1 - step : step;
      int first = pntr[i] - p;
      int last = pntr[i + 1] - p;
      T& ci = cl[p + i - 1];
      T z;
      if (kDiag == Diag::unit) {
        z = (alpha != T(1)) ? ci * alpha : ci;
      } else {
        T diag = T(0);
        if (kDiag == Diag::first && first < last) diag = val[first++];
        if (kDiag == Diag::last && first < last) diag = val[--last];
        z = (alpha != T(1)) ? (ci * alpha) / diag : ci / diag;
        ci = z;
      }
      for (int j = first; j < last; j++) {
        T& cr = cl[indx[j] - 1];
        cr = cr - val[j] * z;
      }
    }
  }
}

enum class Kernel { row_lower_unit, row_lower_diag, row_upper_unit, row_upper_diag,
                    col_lower_unit, col_lower_diag, col_upper_unit, col_upper_diag };

template <class T>
void run_kernel(Kernel kernel, int m, int n, int unitd, T alpha, const T* val, const int* indx,
                const int* pntr, const T* b, int ldb, T* c, int ldc) {
  switch (kernel) {
    case Kernel::row_lower_unit: return row_solve<T, false, Diag::unit>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::row_lower_diag: return row_solve<T, false, Diag::last>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::row_upper_unit: return row_solve<T, true, Diag::unit>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::row_upper_diag: return row_solve<T, true, Diag::first>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::col_lower_unit: return col_solve<T, false, Diag::unit>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::col_lower_diag: return col_solve<T, false, Diag::first>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::col_upper_unit: return col_solve<T, true, Diag::unit>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
    case Kernel::col_upper_diag: return col_solve<T, true, Diag::last>(m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
  }
}

// Chooses the kernel of a solve entry. `row_storage` is true for the compressed-row entries.
template <class T>
void solve_entry(bool row_storage, int transa, int m, int n, int unitd, T alpha, const int* descra,
                 const T* val, const int* indx, const int* pntr, const T* b, int ldb, const T& beta, T* c,
                 int ldc) {
  if (descra[0] != 0) spblas_failure("Must have general matrix");
  if (!(beta == T(0))) spblas_failure("beta != 0 not implemented");
  bool lower;
  bool own_orientation;  // true: the storage's own orientation; false: read as the transpose
  if (transa == 0) {
    own_orientation = true;
    if (descra[1] == 1)
      lower = true;
    else if (descra[1] == 2)
      lower = false;
    else
      spblas_failure("Bad descra[1]");
  } else if (transa == 1 || transa == 2) {
    own_orientation = false;
    if (descra[1] == 1)
      lower = false;  // the transpose of a lower triangle is upper
    else if (descra[1] == 2)
      lower = true;
    else
      spblas_failure("Bad descra[1]");
  } else {
    spblas_failure("Bad transa");
  }
  bool unit;
  if (descra[2] == 0)
    unit = false;
  else if (descra[2] == 1)
    unit = true;
  else
    spblas_failure("Bad descra[2]");
  const bool rows = (row_storage == own_orientation);
  Kernel kernel;
  if (rows)
    kernel = lower ? (unit ? Kernel::row_lower_unit : Kernel::row_lower_diag)
                   : (unit ? Kernel::row_upper_unit : Kernel::row_upper_diag);
  else
    kernel = lower ? (unit ? Kernel::col_lower_unit : Kernel::col_lower_diag)
                   : (unit ? Kernel::col_upper_unit : Kernel::col_upper_diag);
  run_kernel<T>(kernel, m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);
}

}  // namespace

// --- kernels ---------------------------------------------------------------------------------------

#define VRM_SOLVE_KERNEL_DEF(name, T, kind)                                                             \
  void name(int m, int n, int unitd, const T*, T alpha, const T val[], const int indx[], const int pntr[], \
            const T b[], int ldb, T c[], int ldc) {                                                     \
    run_kernel<T>(Kernel::kind, m, n, unitd, alpha, val, indx, pntr, b, ldb, c, ldc);                   \
  }
VRM_SOLVE_KERNEL_DEF(CompRow_LowerUnitSolve_double, double, row_lower_unit)
VRM_SOLVE_KERNEL_DEF(CompRow_LowerDiagSolve_double, double, row_lower_diag)
VRM_SOLVE_KERNEL_DEF(CompRow_UpperUnitSolve_double, double, row_upper_unit)
VRM_SOLVE_KERNEL_DEF(CompRow_UpperDiagSolve_double, double, row_upper_diag)
VRM_SOLVE_KERNEL_DEF(CompCol_LowerUnitSolve_double, double, col_lower_unit)
VRM_SOLVE_KERNEL_DEF(CompCol_LowerDiagSolve_double, double, col_lower_diag)
VRM_SOLVE_KERNEL_DEF(CompCol_UpperUnitSolve_double, double, col_upper_unit)
VRM_SOLVE_KERNEL_DEF(CompCol_UpperDiagSolve_double, double, col_upper_diag)
VRM_SOLVE_KERNEL_DEF(CompRow_LowerUnitSolve_float, float, row_lower_unit)
VRM_SOLVE_KERNEL_DEF(CompRow_LowerDiagSolve_float, float, row_lower_diag)
VRM_SOLVE_KERNEL_DEF(CompRow_UpperUnitSolve_float, float, row_upper_unit)
VRM_SOLVE_KERNEL_DEF(CompRow_UpperDiagSolve_float, float, row_upper_diag)
VRM_SOLVE_KERNEL_DEF(CompCol_LowerUnitSolve_float, float, col_lower_unit)
VRM_SOLVE_KERNEL_DEF(CompCol_LowerDiagSolve_float, float, col_lower_diag)
VRM_SOLVE_KERNEL_DEF(CompCol_UpperUnitSolve_float, float, col_upper_unit)
VRM_SOLVE_KERNEL_DEF(CompCol_UpperDiagSolve_float, float, col_upper_diag)
#undef VRM_SOLVE_KERNEL_DEF

void CopyRectangularArray_double(int m, int n, const double b[], int ldb, double c[], int ldc) {
  copy_rectangular<double>(m, n, b, ldb, c, ldc);
}
void CopyRectangularArray_float(int m, int n, const float b[], int ldb, float c[], int ldc) {
  copy_rectangular<float>(m, n, b, ldb, c, ldc);
}

// --- entry points ----------------------------------------------------------------------------------

void dcscsm_(const int& transa, const int& m, const int& n, const int& unitd, const double[],
             const double& alpha, const int descra[], const double val[], const int indx[], const int pntr[],
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc, double[],
             const int&) {
  solve_entry<double>(false, transa, m, n, unitd, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc);
}
void scscsm_(const int& transa, const int& m, const int& n, const int& unitd, const float[],
             const float& alpha, const int descra[], const float val[], const int indx[], const int pntr[],
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc, float[],
             const int&) {
  solve_entry<float>(false, transa, m, n, unitd, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc);
}
void dcsrsm_(const int& transa, const int& m, const int& n, const int& unitd, const double[],
             const double& alpha, const int descra[], const double val[], const int indx[], const int pntr[],
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc, double[],
             const int&) {
  solve_entry<double>(true, transa, m, n, unitd, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc);
}
void scsrsm_(const int& transa, const int& m, const int& n, const int& unitd, const float[],
             const float& alpha, const int descra[], const float val[], const int indx[], const int pntr[],
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc, float[],
             const int&) {
  solve_entry<float>(true, transa, m, n, unitd, alpha, descra, val, indx, pntr, b, ldb, beta, c, ldc);
}
