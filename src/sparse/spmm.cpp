// Sparse matrix times dense block: c <- alpha op(A) b + beta c.
//
// Offsets of the one-based addressing are applied as index arithmetic on the pointers passed (for
// instance b[col - 1]), never by forming a pointer before the start of an array.

#include <cstdio>
#include <cstdlib>

#include "sparse/spblas.h"

namespace {

[[noreturn]] void spblas_failure(const char* text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text);
  std::exit(1);
}

// Compressed-row kernel: rows i of the stored m x k matrix, entries in storage order.
template <class T>
void comp_row_mat_vec(int m, int n, const T& alpha, const T* val, const int* indx, const int* pntr,
                      const T* b, int ldb, T* c, int ldc) {
  if (alpha == T(0)) return;
  const int p = pntr[0];
  if (alpha == T(1)) {
    if (n == 1) {
      for (int i = 0; i < m; i++) {
        for (int j = pntr[i]; j < pntr[i + 1]; j++) c[i] = c[i] + val[j - p] * b[indx[j - p] - 1];
      }
    } else {
      for (int l = 0; l < n; l++) {
        const T* bl = b + static_cast<long>(ldb) * l;
        T* cl = c + static_cast<long>(ldc) * l;
        for (int i = 0; i < m; i++) {
          for (int j = pntr[i]; j < pntr[i + 1]; j++) cl[i] = cl[i] + val[j - p] * bl[indx[j - p] - 1];
        }
      }
    }
  } else {
    if (n == 1) {
      for (int i = 0; i < m; i++) {
        for (int j = pntr[i]; j < pntr[i + 1]; j++) c[i] = c[i] + (alpha * b[indx[j - p] - 1]) * val[j - p];
      }
    } else {
      for (int l = 0; l < n; l++) {
        const T* bl = b + static_cast<long>(ldb) * l;
        T* cl = c + static_cast<long>(ldc) * l;
        for (int i = 0; i < m; i++) {
          for (int j = pntr[i]; j < pntr[i + 1]; j++)
            cl[i] = cl[i] + (alpha * bl[indx[j - p] - 1]) * val[j - p];
        }
      }
    }
  }
}

// Compressed-column kernel: columns i of the stored matrix (k of them), entries in storage order,
// scattered into c through the row indices.
template <class T>
void comp_col_mat_vec(int n, int k, const T& alpha, const T* val, const int* indx, const int* pntr,
                      const T* b, int ldb, T* c, int ldc) {
  if (alpha == T(0)) return;
  const int p = pntr[0];
  for (int l = 0; l < n; l++) {
    const T* bl = (n == 1) ? b : b + static_cast<long>(ldb) * l;
    T* cl = (n == 1) ? c : c + static_cast<long>(ldc) * l;
    if (alpha == T(1)) {
      for (int i = 0; i < k; i++) {
        for (int j = pntr[i]; j < pntr[i + 1]; j++) {
          T& ci = cl[indx[j - p] - 1];
          ci = ci + val[j - p] * bl[i];
        }
      }
    } else {
      for (int i = 0; i < k; i++) {
        for (int j = pntr[i]; j < pntr[i + 1]; j++) {
          T& ci = cl[indx[j - p] - 1];
          ci = ci + (alpha * bl[i]) * val[j - p];
        }
      }
    }
  }
}

// Coordinate kernel: indx and jndx are always one-based.
template <class T>
void coord_mat_vec(int n, const T& alpha, const T* val, const int* indx, const int* jndx, int nnz,
                   const T* b, int ldb, T* c, int ldc) {
  for (int l = 0; l < n; l++) {
    const T* bl = (n == 1) ? b : b + static_cast<long>(ldb) * l;
    T* cl = (n == 1) ? c : c + static_cast<long>(ldc) * l;
    if (alpha == T(1)) {
      for (int j = 0; j < nnz; j++) {
        T& ci = cl[indx[j] - 1];
        ci = ci + val[j] * bl[jndx[j] - 1];
      }
    } else {
      for (int j = 0; j < nnz; j++) {
        T& ci = cl[indx[j] - 1];
        ci = ci + (alpha * bl[jndx[j] - 1]) * val[j];
      }
    }
  }
}

// beta = 1: nothing; beta = 0: set to zero (clears NaN and infinities); otherwise multiply, the float
// elements being widened to double for the product.
template <class T>
void scale_rectangular(int m, int n, T* c, int ldc, const double& beta) {
  if (beta == 1.0) return;
  if (beta == 0.0) {
    if (n == 1) {
      for (int i = 0; i < m; i++) c[i] = T(0);
    } else {
      for (int l = 0; l < n; l++)
        for (int i = 0; i < m; i++) c[i + static_cast<long>(ldc) * l] = T(0);
    }
    return;
  }
  if (n == 1) {
    for (int i = 0; i < m; i++) c[i] = static_cast<T>(static_cast<double>(c[i]) * beta);
  } else {
    for (int l = 0; l < n; l++)
      for (int i = 0; i < m; i++) {
        T& e = c[i + static_cast<long>(ldc) * l];
        e = static_cast<T>(static_cast<double>(e) * beta);
      }
  }
}

enum class Scheme { coord, col, row };

template <class T>
void product_entry(Scheme scheme, int transa, int m, int n, int k, const T& alpha, const int* descra,
                   const T* val, const int* indx, const int* jndx_or_pntr, int nnz, const T* b, int ldb,
                   double beta, T* c, int ldc) {
  if (descra[0] != 0) spblas_failure("Must have general matrix");
  scale_rectangular<T>(m, n, c, ldc, beta);
  const bool trans = (transa == 1 || transa == 2);
  switch (scheme) {
    case Scheme::coord:
      if (alpha == T(0)) return;
      if (trans)
        coord_mat_vec<T>(n, alpha, val, jndx_or_pntr, indx, nnz, b, ldb, c, ldc);
      else
        coord_mat_vec<T>(n, alpha, val, indx, jndx_or_pntr, nnz, b, ldb, c, ldc);
      return;
    case Scheme::col:
      if (trans)
        comp_row_mat_vec<T>(m, n, alpha, val, indx, jndx_or_pntr, b, ldb, c, ldc);
      else
        comp_col_mat_vec<T>(n, k, alpha, val, indx, jndx_or_pntr, b, ldb, c, ldc);
      return;
    case Scheme::row:
      if (trans)
        comp_col_mat_vec<T>(n, k, alpha, val, indx, jndx_or_pntr, b, ldb, c, ldc);
      else
        comp_row_mat_vec<T>(m, n, alpha, val, indx, jndx_or_pntr, b, ldb, c, ldc);
      return;
  }
}

}  // namespace

// --- kernels ---------------------------------------------------------------------------------------

void CoordMatVec_double(int, int n, int, const double& alpha, const double val[], const int indx[],
                        const int jndx[], const int& nnz, const double b[], int ldb, double c[], int ldc) {
  coord_mat_vec<double>(n, alpha, val, indx, jndx, nnz, b, ldb, c, ldc);
}
void CoordMatVec_float(int, int n, int, const float& alpha, const float val[], const int indx[],
                       const int jndx[], const int& nnz, const float b[], int ldb, float c[], int ldc) {
  coord_mat_vec<float>(n, alpha, val, indx, jndx, nnz, b, ldb, c, ldc);
}
void CompColMatVec_double(int, int n, int k, const double& alpha, const double val[], const int indx[],
                          const int pntr[], const double b[], int ldb, double c[], int ldc) {
  comp_col_mat_vec<double>(n, k, alpha, val, indx, pntr, b, ldb, c, ldc);
}
void CompColMatVec_float(int, int n, int k, const float& alpha, const float val[], const int indx[],
                         const int pntr[], const float b[], int ldb, float c[], int ldc) {
  comp_col_mat_vec<float>(n, k, alpha, val, indx, pntr, b, ldb, c, ldc);
}
void CompRowMatVec_double(int m, int n, int, const double& alpha, const double val[], const int indx[],
                          const int pntr[], const double b[], int ldb, double c[], int ldc) {
  comp_row_mat_vec<double>(m, n, alpha, val, indx, pntr, b, ldb, c, ldc);
}
void CompRowMatVec_float(int m, int n, int, const float& alpha, const float val[], const int indx[],
                         const int pntr[], const float b[], int ldb, float c[], int ldc) {
  comp_row_mat_vec<float>(m, n, alpha, val, indx, pntr, b, ldb, c, ldc);
}
void ScaleRectangularArray_double(int m, int n, double c[], int ldc, const double& beta) {
  scale_rectangular<double>(m, n, c, ldc, beta);
}
void ScaleRectangularArray_float(int m, int n, float c[], int ldc, const double& beta) {
  scale_rectangular<float>(m, n, c, ldc, beta);
}

// --- entry points ----------------------------------------------------------------------------------

void dcoomm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int jndx[], const int& nnz,
             const double b[], const int& ldb, const double& beta, double c[], const int& ldc, double[],
             const int&) {
  product_entry<double>(Scheme::coord, transa, m, n, k, alpha, descra, val, indx, jndx, nnz, b, ldb, beta,
                        c, ldc);
}
void scoomm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int jndx[], const int& nnz,
             const float b[], const int& ldb, const float& beta, float c[], const int& ldc, float[],
             const int&) {
  product_entry<float>(Scheme::coord, transa, m, n, k, alpha, descra, val, indx, jndx, nnz, b, ldb,
                       static_cast<double>(beta), c, ldc);
}
void dcscmm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int pntr[], const double b[],
             const int& ldb, const double& beta, double c[], const int& ldc, double[], const int&) {
  product_entry<double>(Scheme::col, transa, m, n, k, alpha, descra, val, indx, pntr, 0, b, ldb, beta, c,
                        ldc);
}
void scscmm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int pntr[], const float b[],
             const int& ldb, const float& beta, float c[], const int& ldc, float[], const int&) {
  product_entry<float>(Scheme::col, transa, m, n, k, alpha, descra, val, indx, pntr, 0, b, ldb,
                       static_cast<double>(beta), c, ldc);
}
void dcsrmm_(const int& transa, const int& m, const int& n, const int& k, const double& alpha,
             const int descra[], const double val[], const int indx[], const int pntr[], const double b[],
             const int& ldb, const double& beta, double c[], const int& ldc, double[], const int&) {
  product_entry<double>(Scheme::row, transa, m, n, k, alpha, descra, val, indx, pntr, 0, b, ldb, beta, c,
                        ldc);
}
void scsrmm_(const int& transa, const int& m, const int& n, const int& k, const float& alpha,
             const int descra[], const float val[], const int indx[], const int pntr[], const float b[],
             const int& ldb, const float& beta, float c[], const int& ldc, float[], const int&) {
  product_entry<float>(Scheme::row, transa, m, n, k, alpha, descra, val, indx, pntr, 0, b, ldb,
                       static_cast<double>(beta), c, ldc);
}
