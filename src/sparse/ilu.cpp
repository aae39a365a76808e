#include "sparse/ilu.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "sparse/qsort.h"
#include "sparse/spblas.h"
#include "sparse/upper_solve.h"

namespace {

[[noreturn]] void solve_dimension_failure() {
  std::fflush(stdout);
  std::cerr << "Error in ILU preconditioner solve -- incompatible dimensions." << "\n";
  std::cerr.flush();
  std::exit(1);
}

inline double* one_past_first(MV_Vector_double& v) { return v.size() > 0 ? v.data() + 1 : nullptr; }

const int kLowerUnit[3] = {0, 1, 1};
const int kUpperDiag[3] = {0, 2, 0};

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Row-oriented factor.

CompRow_ILUPreconditioner_double::CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A)
    : l_val_(0), l_rowptr_(A.dim(1) + 1), l_colind_(0), l_nz_(0), u_val_(0), u_rowptr_(A.dim(1) + 1),
      u_colind_(0), u_nz_(0), dim_{A.dim(0), A.dim(1)} {
  const int M = dim_[0];
  const int N = dim_[1];

  // The rows read, 0 to N - 1, must lie inside A's arrays (checked once per row; the entries are then
  // read directly).
  const int* const arp = A.row_pointers().data();
  const int* const acol = A.column_indices().data();
  const double* const aval = A.values().data();
  {
    const int stored = A.column_indices().size() < A.values().size() ? A.column_indices().size()
                                                                        : A.values().size();
    if (N >= A.row_pointers().size()) mv_index_failure("MV_Vector_int", N, A.row_pointers().size());
    for (int i = 0; i < N; i++) {
      if (arp[i] < 0) mv_index_failure("MV_Vector_int", arp[i], stored);
      if (arp[i + 1] > stored) mv_index_failure("MV_Vector_int", arp[i + 1] - 1, stored);
    }
  }

  // Count the entries of each part; note the range of the column indices for the scatter array.
  int min_col = 0;
  int max_col = N - 1;
  for (int i = 0; i < N; i++) {
    for (int k = arp[i]; k < arp[i + 1]; k++) {
      const int col = acol[k];
      if (col < i)
        l_nz_++;
      else
        u_nz_++;
      if (col < min_col) min_col = col;
      if (col > max_col) max_col = col;
    }
  }
  l_val_.newsize(l_nz_);
  l_colind_.newsize(l_nz_);
  u_val_.newsize(u_nz_);
  u_colind_.newsize(u_nz_);

  // Split each row in stored order.
  {
    double* const lv = l_val_.data();
    int* const lc = l_colind_.data();
    int* const lp = l_rowptr_.data();
    double* const uv = u_val_.data();
    int* const uc = u_colind_.data();
    int* const up = u_rowptr_.data();
    lp[0] = 0;
    up[0] = 0;
    int cn = 0;
    int un = 0;
    for (int j = 0; j < N; j++) {
      for (int k = arp[j]; k < arp[j + 1]; k++) {
        const int col = acol[k];
        if (col < j) {
          lv[cn] = aval[k];
          lc[cn] = col;
          cn++;
        } else {
          uv[un] = aval[k];
          uc[un] = col;
          un++;
        }
      }
      lp[j + 1] = cn;
      up[j + 1] = un;
    }
  }

  // Each row of each part in ascending column order.
  for (int i = 0; i < N; i++) {
    QSort(l_colind_, l_val_, l_rowptr_(i), l_rowptr_(i + 1) - l_rowptr_(i));
    QSort(u_colind_, u_val_, u_rowptr_(i), u_rowptr_(i + 1) - u_rowptr_(i));
  }

  // Elimination without fill. The position that a pivot row's entry (q, j) updates in row k is found
  // through a scatter array holding, for every column of row k, the first position that stores it (in
  // L for columns below k, in U otherwise): the position a forward merge over the sorted row reaches.
  // A column repeated within a row is thereby updated at its first occurrence, except that the search
  // in L only looks after the current L entry.
  const int rows = M < N ? M : N;
  if (rows <= 1) return;
  std::vector<int> scatter(static_cast<size_t>(max_col - min_col) + 1, -1);
  int* const pos = scatter.data() - min_col;  // pos[col], col in min_col..max_col
  double* const lv = l_val_.data();
  const int* const lc = l_colind_.data();
  const int* const lp = l_rowptr_.data();
  double* const uv = u_val_.data();
  const int* const uc = u_colind_.data();
  const int* const up = u_rowptr_.data();

  for (int k = 1; k < rows; k++) {
    const int lbeg = lp[k], lend = lp[k + 1];
    const int ubeg = up[k], uend = up[k + 1];
    if (lbeg == lend) continue;
    for (int t = uend - 1; t >= ubeg; t--) pos[uc[t]] = t;
    for (int t = lend - 1; t >= lbeg; t--) pos[lc[t]] = t;

    for (int l = lbeg; l < lend; l++) {
      const int q = lc[l];
      if (q < 0) continue;  // not a row: no pivot row to eliminate with
      const int qbeg = up[q], qend = up[q + 1];
      // An empty pivot row has a zero pivot (the multiplier becomes infinite or NaN).
      const double pivot = qbeg < qend ? uv[qbeg] : 0.0;
      lv[l] = lv[l] / pivot;
      const double mult = lv[l];
      for (int t = qbeg + 1; t < qend; t++) {
        const int j = uc[t];
        int target;
        if (j < k) {
          target = pos[j];
          if (target <= l) {
            // The first occurrence lies at or before l: only column q itself (j == q) can do so; the
            // next occurrence after l, if any, is l + 1.
            target = (target >= 0 && l + 1 < lend && lc[l + 1] == j) ? l + 1 : -1;
          }
          if (target >= 0) lv[target] = lv[target] - uv[t] * mult;
        } else {
          target = pos[j];
          if (target >= 0) uv[target] = uv[target] - uv[t] * mult;
        }
      }
    }
    for (int t = ubeg; t < uend; t++) pos[uc[t]] = -1;
    for (int t = lbeg; t < lend; t++) pos[lc[t]] = -1;
  }
}

CompRow_ILUPreconditioner_double::~CompRow_ILUPreconditioner_double() = default;

MV_Vector_double CompRow_ILUPreconditioner_double::solve(const MV_Vector_double& x) const {
  const int M = x.size();
  if (M != dim_[0]) solve_dimension_failure();
  MV_Vector_double y(M);
  MV_Vector_double work(M);
  dcsrsm_(0, M, 1, 1, nullptr, 1.0, kLowerUnit, l_val_.data(), l_colind_.data(), l_rowptr_.data(), x.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  dcsrsm_(0, M, 1, 1, nullptr, 1.0, kUpperDiag, u_val_.data(), u_colind_.data(), u_rowptr_.data(), y.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  return y;
}

MV_Vector_double CompRow_ILUPreconditioner_double::trans_solve(const MV_Vector_double& x) const {
  const int M = x.size();
  if (M != dim_[0]) solve_dimension_failure();
  MV_Vector_double y(M);
  MV_Vector_double work(M);
  dcsrsm_(1, M, 1, 1, nullptr, 1.0, kUpperDiag, u_val_.data(), u_colind_.data(), u_rowptr_.data(), x.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  dcsrsm_(1, M, 1, 1, nullptr, 1.0, kLowerUnit, l_val_.data(), l_colind_.data(), l_rowptr_.data(), y.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  return y;
}

void CompRow_ILUPreconditioner_double::solve_into(const double* b, double* y) const {
  const int M = dim_[0];
  const double* const lv = l_val_.data();
  const int* const lc = l_colind_.data();
  const int* const lp = l_rowptr_.data();
  // Forward substitution with the unit lower factor.
  for (int i = 0; i < M; i++) {
    double z = 0.0;
    for (int j = lp[i]; j < lp[i + 1]; j++) z = lv[j] * y[lc[j]] + z;
    y[i] = b[i] - z;
  }
  // Backward substitution with the upper factor, its diagonal first in each row.
  sparse_detail::upper_solve_in_place(M, u_val_.data(), u_colind_.data(), u_rowptr_.data(), y);
}

double CompRow_ILUPreconditioner_double::detLP() {
  double det = 1.0;
  for (int i = 0; i < dim_[0]; i++) {
    bool found = false;
    for (int j = u_rowptr_(i); j < u_rowptr_(i + 1); j++) {
      if (u_colind_(j) == i) {
        det = u_val_(j) * det;
        found = true;
      }
    }
    if (!found) det = 0.0;
  }
  return det;
}

double CompRow_ILUPreconditioner_double::logDetLP() {
  double sum = 0.0;
  for (int i = 0; i < dim_[0]; i++) {
    for (int j = u_rowptr_(i); j < u_rowptr_(i + 1); j++) {
      if (u_colind_(j) == i) {
        // The factor is left with non-negative pivots: its users discard it right after this call.
        if (u_val_(j) < 0.0) u_val_(j) = -u_val_(j);
        sum = std::log(u_val_(j)) + sum;
      }
    }
  }
  return sum;
}

// ---------------------------------------------------------------------------------------------------
// Column-oriented factor.

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

MV_Vector_double CompCol_ILUPreconditioner_double::solve(const MV_Vector_double& x) const {
  const int M = x.size();
  if (M != dim_[0]) solve_dimension_failure();
  MV_Vector_double y(M);
  MV_Vector_double work(M);
  dcscsm_(0, M, 1, 1, nullptr, 1.0, kLowerUnit, l_val_.data(), l_rowind_.data(), l_colptr_.data(), x.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  dcscsm_(0, M, 1, 1, nullptr, 1.0, kUpperDiag, u_val_.data(), u_rowind_.data(), u_colptr_.data(), y.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  return y;
}

MV_Vector_double CompCol_ILUPreconditioner_double::trans_solve(const MV_Vector_double& x) const {
  const int M = x.size();
  if (M != dim_[0]) solve_dimension_failure();
  MV_Vector_double y(M);
  MV_Vector_double work(M);
  dcscsm_(1, M, 1, 1, nullptr, 1.0, kUpperDiag, u_val_.data(), u_rowind_.data(), u_colptr_.data(), x.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  dcscsm_(1, M, 1, 1, nullptr, 1.0, kLowerUnit, l_val_.data(), l_rowind_.data(), l_colptr_.data(), y.data(), M,
          0.0, one_past_first(y), M, work.data(), M);
  return y;
}
