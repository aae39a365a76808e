// The factorisation of the column-compressed ILU(0) sibling: split by columns, sorted, and a
// left-looking elimination column after column (its solves are with the row factor in ilu.cpp).
#include "sparse/ilu.h"
#include "sparse/qsort.h"

CompCol_ILUPreconditioner_double::CompCol_ILUPreconditioner_double(const CompCol_Mat_double& A)
    : l_val_(0), l_colptr_(A.dim(1) + 1), l_rowind_(0), l_nz_(0), u_val_(0), u_colptr_(A.dim(1) + 1),
      u_rowind_(0), u_nz_(0), dim_{A.dim(0), A.dim(1)} {
  const int M = dim_[0];
  const int N = dim_[1];
  for (int i = 0; i < N; i++) {
    for (int k = A.col_ptr(i); k < A.col_ptr(i + 1); k++) {
      if (A.row_ind(k) > i)
        l_nz_++;
      else
        u_nz_++;
    }
  }
  l_val_.newsize(l_nz_);
  l_rowind_.newsize(l_nz_);
  u_val_.newsize(u_nz_);
  u_rowind_.newsize(u_nz_);

  l_colptr_(0) = 0;
  u_colptr_(0) = 0;
  int cn = 0;
  int un = 0;
  for (int j = 0; j < N; j++) {
    for (int k = A.col_ptr(j); k < A.col_ptr(j + 1); k++) {
      if (A.row_ind(k) > j) {
        l_val_(cn) = A.val(k);
        l_rowind_(cn) = A.row_ind(k);
        cn++;
      } else {
        u_val_(un) = A.val(k);
        u_rowind_(un) = A.row_ind(k);
        un++;
      }
    }
    l_colptr_(j + 1) = cn;
    u_colptr_(j + 1) = un;
  }
  for (int i = 0; i < N; i++) {
    QSort(l_rowind_, l_val_, l_colptr_(i), l_colptr_(i + 1) - l_colptr_(i));
    QSort(u_rowind_, u_val_, u_colptr_(i), u_colptr_(i + 1) - u_colptr_(i));
  }

  // Left-looking elimination, column after column, with forward-only cursors and no fill.
  const int cols = M < N ? M : N;
  for (int k = 0; k + 1 < cols; k++) {
    const int ubeg = u_colptr_(k), uend = u_colptr_(k + 1);
    const double pivot = ubeg < uend ? u_val_(uend - 1) : 0.0;  // an empty column has a zero pivot
    for (int t = l_colptr_(k); t < l_colptr_(k + 1); t++) l_val_(t) = l_val_(t) / pivot;

    const int nbeg = u_colptr_(k + 1), nend = u_colptr_(k + 1 + 1);
    const int lnbeg = l_colptr_(k + 1), lnend = l_colptr_(k + 2);
    for (int t = nbeg; t + 1 < nend; t++) {
      const int r = u_rowind_(t);
      const double w = u_val_(t);
      if (r < 0 || r >= N) continue;
      int ucur = t + 1;
      int lcur = lnbeg;
      for (int s = l_colptr_(r); s < l_colptr_(r + 1); s++) {
        const int row = l_rowind_(s);
        if (row <= k + 1) {
          while (ucur < nend && u_rowind_(ucur) < row) ucur++;
          if (ucur < nend && u_rowind_(ucur) == row) u_val_(ucur) = u_val_(ucur) - l_val_(s) * w;
        } else {
          while (lcur < lnend && l_rowind_(lcur) < row) lcur++;
          if (lcur < lnend && l_rowind_(lcur) == row) l_val_(lcur) = l_val_(lcur) - l_val_(s) * w;
        }
      }
    }
  }
}
