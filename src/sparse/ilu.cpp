#include "sparse/ilu.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unordered_map>
#include <utility>
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

namespace {

// The scatter array of the elimination: for every column of row k, the first position that stores it
// (in L for columns below k, in U otherwise), the position a forward merge over the sorted row
// reaches. Set before row k is eliminated and reset after it.
inline void scatterRow(int* pos, const int* lc, int lbeg, int lend, const int* uc, int ubeg, int uend) {
  for (int t = uend - 1; t >= ubeg; t--) pos[uc[t]] = t;
  for (int t = lend - 1; t >= lbeg; t--) pos[lc[t]] = t;
}
inline void clearRow(int* pos, const int* lc, int lbeg, int lend, const int* uc, int ubeg, int uend) {
  for (int t = ubeg; t < uend; t++) pos[uc[t]] = -1;
  for (int t = lbeg; t < lend; t++) pos[lc[t]] = -1;
}

// The elimination without fill of row k (its scatter set) with the final rows above it, step by step:
// for every L entry l, whose column q names the pivot row, pivot(l, q); then, in the order of the
// pivot row, update(t, inL, target) for every entry t of q's U part after its first that reaches a
// place of row k (target: a position in L when inL, in U otherwise); the others would be fill and are
// dropped. A column repeated within a row is updated at its first occurrence, except that the search
// in L only looks after the current L entry.
template <class Pivot, class Update>
inline void eliminationSteps(int k, const int* lc, const int* lp, const int* uc, const int* up, const int* pos,
                             Pivot pivot, Update update) {
  const int lend = lp[k + 1];
  for (int l = lp[k]; l < lend; l++) {
    const int q = lc[l];
    if (q < 0) continue;  // not a row: no pivot row to eliminate with
    pivot(l, q);
    for (int t = up[q] + 1; t < up[q + 1]; t++) {
      const int j = uc[t];
      int target = pos[j];
      if (j < k) {
        if (target <= l) {
          // The first occurrence lies at or before l: only column q itself (j == q) can do so; the
          // next occurrence after l, if any, is l + 1.
          target = (target >= 0 && l + 1 < lend && lc[l + 1] == j) ? l + 1 : -1;
        }
        if (target >= 0) update(t, true, target);
      } else if (target >= 0) {
        update(t, false, target);
      }
    }
  }
}

// The numeric elimination of row k: each L entry divided by its pivot (an empty pivot row has a zero
// pivot: the multiplier becomes infinite or NaN) becomes the multiplier of its updates.
inline void eliminateRow(int k, double* lv, const int* lc, const int* lp, double* uv, const int* uc, const int* up,
                         const int* pos) {
  double mult = 0.0;
  eliminationSteps(
      k, lc, lp, uc, up, pos,
      [&](int l, int q) {
        const double pivot = up[q] < up[q + 1] ? uv[up[q]] : 0.0;
        lv[l] = lv[l] / pivot;
        mult = lv[l];
      },
      [&](int t, bool inL, int target) {
        double* const v = inL ? lv : uv;
        v[target] = v[target] - uv[t] * mult;
      });
}

// The rows of A that the factor reads, 0 to N - 1, must lie inside A's arrays (checked once per row;
// the entries are then read directly).
void checkRows(int N, const int* arp, int rowptr_size, int stored) {
  if (N >= rowptr_size) mv_index_failure("MV_Vector_int", N, rowptr_size);
  for (int i = 0; i < N; i++) {
    if (arp[i] < 0) mv_index_failure("MV_Vector_int", arp[i], stored);
    if (arp[i + 1] > stored) mv_index_failure("MV_Vector_int", arp[i + 1] - 1, stored);
  }
}

struct IntsHash {
  size_t operator()(const std::vector<int>& v) const {
    size_t h = v.size();
    for (int x : v) h = (h ^ static_cast<size_t>(static_cast<unsigned>(x))) * 0x100000001b3ull;
    return h;
  }
};

// Interns a sequence of ints: its number among the distinct sequences met so far.
class Interner {
 public:
  int id(const std::vector<int>& key) { return ids_.try_emplace(key, static_cast<int>(ids_.size())).first->second; }
  int count() const { return static_cast<int>(ids_.size()); }

 private:
  std::unordered_map<std::vector<int>, int, IntsHash> ids_;
};

}  // namespace

CompRow_ILUPreconditioner_double::CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A)
    : dim_{A.dim(0), A.dim(1)} {
  const int stored = A.column_indices().size() < A.values().size() ? A.column_indices().size()
                                                                      : A.values().size();
  checkRows(dim_[1], A.row_pointers().data(), A.row_pointers().size(), stored);
  analyse(A.row_pointers().data(), A.column_indices().data(), false);
  factor(A.values().data(), A.row_pointers().data(), A.column_indices().data());
}

CompRow_ILUPreconditioner_double::CompRow_ILUPreconditioner_double(int n, int nnz, const double* val,
                                                                   const int* row_ptr, const int* col_ind)
    : dim_{n, n} {
  checkRows(n, row_ptr, n + 1, nnz);
  analyse(row_ptr, col_ind, false);
  factor(val, row_ptr, col_ind);
}

void CompRow_ILUPreconditioner_double::adopt(int n, const int* row_ptr, const int* col_ind) {
  dim_[0] = dim_[1] = n;
  analyse(row_ptr, col_ind, true);
}

void CompRow_ILUPreconditioner_double::analyse(const int* arp, const int* acol, bool programs) {
  const int N = dim_[1];
  // Count the entries of each part; note the range of the column indices for the scatter array.
  int l_nz = 0, u_nz = 0, max_col = N - 1;
  min_col_ = 0;
  for (int i = 0; i < N; i++)
    for (int k = arp[i]; k < arp[i + 1]; k++) {
      const int col = acol[k];
      (col < i ? l_nz : u_nz)++;
      if (col < min_col_) min_col_ = col;
      if (col > max_col) max_col = col;
    }
  l_rowptr_.newsize(N + 1);
  u_rowptr_.newsize(N + 1);
  l_colind_.newsize(l_nz);
  u_colind_.newsize(u_nz);
  int* const lc = l_colind_.data();
  int* const lp = l_rowptr_.data();
  int* const uc = u_colind_.data();
  int* const up = u_rowptr_.data();
  // Split each row in stored order, noting the stored position of every entry.
  std::vector<int> lsrc(static_cast<size_t>(l_nz)), usrc(static_cast<size_t>(u_nz));
  lp[0] = up[0] = 0;
  for (int j = 0, cn = 0, un = 0; j < N; j++) {
    for (int k = arp[j]; k < arp[j + 1]; k++) {
      if (acol[k] < j) {
        lc[cn] = acol[k];
        lsrc[cn++] = k;
      } else {
        uc[un] = acol[k];
        usrc[un++] = k;
      }
    }
    lp[j + 1] = cn;
    up[j + 1] = un;
  }
  // Each row of each part in ascending column order; the sort moves the positions exactly as it
  // moves the values of any matrix with this pattern.
  bool repeated = false;
  for (int i = 0; i < N; i++) {
    QSort(lc, lsrc.data(), lp[i], lp[i + 1] - lp[i]);
    QSort(uc, usrc.data(), up[i], up[i + 1] - up[i]);
    for (int t = lp[i] + 1; t < lp[i + 1]; t++) repeated = repeated || lc[t] == lc[t - 1];
    for (int t = up[i] + 1; t < up[i + 1]; t++) repeated = repeated || uc[t] == uc[t - 1];
  }
  scatter_.assign(static_cast<size_t>(max_col - min_col_) + 1, -1);
  // Without repeated columns the scatter array places every value; with them the order among equal
  // columns is the sort's, and the positions are kept.
  lsrc_.clear();
  usrc_.clear();
  if (repeated) {
    lsrc_ = std::move(lsrc);
    usrc_ = std::move(usrc);
  }
  rowShape_.clear();
  program_.clear();
  programStart_.clear();
  // Programs pay off from the second factorisation on, for columns inside the system.
  programsDue_ = programs && !repeated && min_col_ >= 0 && max_col < N;
  factored_ = 0;
}

// Without repeated columns, the column of an entry names its place in the factor, and what a row's
// factorisation does depends only on the columns relative to the row: of the row itself, in stored
// order, and of the U parts of its pivot rows. Rows of one such shape (most rows of a stencil
// system) share one program, recorded from the elimination of the first of them: where each stored
// value goes, and for every L entry the updates that reach a place of the row. A pattern with too
// many shapes keeps none and is factorised through the scatter array.
void CompRow_ILUPreconditioner_double::derivePrograms(const int* row_ptr, const int* col_ind) {
  const int n = dim_[1];
  const int* const lc = l_colind_.data();
  const int* const lp = l_rowptr_.data();
  const int* const uc = u_colind_.data();
  const int* const up = u_rowptr_.data();
  std::vector<int> uShape(static_cast<size_t>(n));
  {
    Interner shapes;
    std::vector<int> key;
    for (int k = 0; k < n; k++) {
      key.clear();
      for (int t = up[k]; t < up[k + 1]; t++) key.push_back(uc[t] - k);
      uShape[k] = shapes.id(key);
    }
  }
  const size_t budget = static_cast<size_t>(row_ptr[n]) + 4096;
  Interner shapes;
  std::vector<int> key;
  rowShape_.assign(static_cast<size_t>(n), 0);
  int* const pos = scatter_.data() - min_col_;
  for (int k = 0; k < n; k++) {
    key.clear();
    for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++) key.push_back(col_ind[j] - k);
    for (int l = lp[k]; l < lp[k + 1]; l++) key.push_back(uShape[lc[l]]);
    const int known = shapes.count();
    const int s = shapes.id(key);
    rowShape_[k] = s;
    if (s < known) continue;
    // A new shape: its program, from this row.
    programStart_.push_back(static_cast<int>(program_.size()));
    const int lbeg = lp[k], lend = lp[k + 1], ubeg = up[k], uend = up[k + 1];
    scatterRow(pos, lc, lbeg, lend, uc, ubeg, uend);
    // Places of the stored values: U slots as they are, L slots as -1 - slot.
    for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++) {
      const int col = col_ind[j];
      program_.push_back(col < k ? -1 - (pos[col] - lbeg) : pos[col] - ubeg);
    }
    // Per L entry: the number of updates into L and into U, then (offset in the pivot's U row, slot)
    // for each, in the order of the elimination: the pivot row is in ascending column order, so its
    // updates into L (columns below k) come before those into U.
    size_t counts = 0;
    int qbeg = 0;
    eliminationSteps(
        k, lc, lp, uc, up, pos,
        [&](int, int q) {
          counts = program_.size();
          program_.push_back(0);
          program_.push_back(0);
          qbeg = up[q];
        },
        [&](int t, bool inL, int target) {
          program_.push_back(t - qbeg);
          program_.push_back(target - (inL ? lbeg : ubeg));
          program_[counts + (inL ? 0 : 1)]++;
        });
    clearRow(pos, lc, lbeg, lend, uc, ubeg, uend);
    if (program_.size() > budget) {
      rowShape_.clear();
      program_.clear();
      programStart_.clear();
      return;
    }
  }
}

void CompRow_ILUPreconditioner_double::factor(const double* val, const int* row_ptr, const int* col_ind) {
  if (programsDue_ && factored_ > 0) {
    derivePrograms(row_ptr, col_ind);
    programsDue_ = false;
  }
  factored_++;
  const int N = dim_[1];
  l_val_.newsize(l_colind_.size());
  u_val_.newsize(u_colind_.size());
  double* const lv = l_val_.data();
  double* const uv = u_val_.data();
  const int* const lc = l_colind_.data();
  const int* const lp = l_rowptr_.data();
  const int* const uc = u_colind_.data();
  const int* const up = u_rowptr_.data();
  if (!rowShape_.empty()) {
    // Row by row through the programs: the places and the updates of eliminateRow, in its order.
    for (int k = 0; k < N; k++) {
      const int* prog = program_.data() + programStart_[rowShape_[k]];
      double* const lrow = lv + lp[k];
      double* const urow = uv + up[k];
      for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++, prog++) {
        if (*prog >= 0)
          urow[*prog] = val[j];
        else
          lrow[-1 - *prog] = val[j];
      }
      for (int l = lp[k]; l < lp[k + 1]; l++) {
        const int q = lc[l];
        const double pivot = up[q] < up[q + 1] ? uv[up[q]] : 0.0;
        lv[l] = lv[l] / pivot;
        const double mult = lv[l];
        const double* const qrow = uv + up[q];
        const int toL = prog[0], toU = prog[1];
        prog += 2;
        for (int h = 0; h < toL; h++, prog += 2) lrow[prog[1]] = lrow[prog[1]] - qrow[prog[0]] * mult;
        for (int h = 0; h < toU; h++, prog += 2) urow[prog[1]] = urow[prog[1]] - qrow[prog[0]] * mult;
      }
    }
    return;
  }
  int* const pos = scatter_.data() - min_col_;
  const bool gathered = !lsrc_.empty() || !usrc_.empty();
  if (gathered) {
    for (size_t t = 0; t < lsrc_.size(); t++) lv[t] = val[lsrc_[t]];
    for (size_t t = 0; t < usrc_.size(); t++) uv[t] = val[usrc_[t]];
  }
  for (int k = 0; k < N; k++) {
    const int lbeg = lp[k], lend = lp[k + 1], ubeg = up[k], uend = up[k + 1];
    scatterRow(pos, lc, lbeg, lend, uc, ubeg, uend);
    if (!gathered) {
      for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++) {
        const int col = col_ind[j];
        (col < k ? lv : uv)[pos[col]] = val[j];
      }
    }
    if (k >= 1 && lbeg < lend) eliminateRow(k, lv, lc, lp, uv, uc, up, pos);
    clearRow(pos, lc, lbeg, lend, uc, ubeg, uend);
  }
}

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
// Column-oriented factor: its solves (its factorisation is in ilu_column.cpp).

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
