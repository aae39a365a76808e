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

// Elimination without fill of row k (its scatter set), with the final rows above it. A column repeated
// within a row is updated at its first occurrence, except that the search in L only looks after the
// current L entry.
inline void eliminateRow(int k, double* lv, const int* lc, const int* lp, double* uv, const int* uc,
                         const int* up, const int* pos) {
  const int lbeg = lp[k], lend = lp[k + 1];
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
}

// The split of a compressed-row pattern into the L part (columns below the row) and the U part of
// each row, in stored order: row pointers of both parts and the stored position of every entry.
// Returns the range of the column indices (at least 0..N - 1) for the scatter array.
struct SplitCounts {
  int l_nz = 0, u_nz = 0, min_col = 0, max_col = 0;
};
SplitCounts countSplit(int N, const int* arp, const int* acol) {
  SplitCounts c;
  c.max_col = N - 1;
  for (int i = 0; i < N; i++) {
    for (int k = arp[i]; k < arp[i + 1]; k++) {
      const int col = acol[k];
      if (col < i)
        c.l_nz++;
      else
        c.u_nz++;
      if (col < c.min_col) c.min_col = col;
      if (col > c.max_col) c.max_col = col;
    }
  }
  return c;
}

// Writes both parts of every row in stored order: the column and, through put(part, slot, k), what
// belongs to stored entry k; sets the row pointers.
template <class Put>
void splitRows(int N, const int* arp, const int* acol, int* lc, int* lp, int* uc, int* up, Put put) {
  lp[0] = 0;
  up[0] = 0;
  int cn = 0;
  int un = 0;
  for (int j = 0; j < N; j++) {
    for (int k = arp[j]; k < arp[j + 1]; k++) {
      const int col = acol[k];
      if (col < j) {
        lc[cn] = col;
        put(0, cn, k);
        cn++;
      } else {
        uc[un] = col;
        put(1, un, k);
        un++;
      }
    }
    lp[j + 1] = cn;
    up[j + 1] = un;
  }
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

}  // namespace

CompRow_ILUPreconditioner_double::CompRow_ILUPreconditioner_double(const CompRow_Mat_double& A)
    : l_val_(0), l_rowptr_(A.dim(1) + 1), l_colind_(0), l_nz_(0), u_val_(0), u_rowptr_(A.dim(1) + 1),
      u_colind_(0), u_nz_(0), dim_{A.dim(0), A.dim(1)} {
  const int stored = A.column_indices().size() < A.values().size() ? A.column_indices().size()
                                                                      : A.values().size();
  build(A.row_pointers().data(), A.row_pointers().size(), A.column_indices().data(), A.values().data(), stored);
}

CompRow_ILUPreconditioner_double::CompRow_ILUPreconditioner_double(int n, int nnz, const double* val,
                                                                   const int* row_ptr, const int* col_ind)
    : l_val_(0), l_rowptr_(n + 1), l_colind_(0), l_nz_(0), u_val_(0), u_rowptr_(n + 1), u_colind_(0), u_nz_(0),
      dim_{n, n} {
  build(row_ptr, n + 1, col_ind, val, nnz);
}

void CompRow_ILUPreconditioner_double::build(const int* arp, int rowptr_size, const int* acol, const double* aval,
                                             int stored) {
  const int M = dim_[0];
  const int N = dim_[1];
  checkRows(N, arp, rowptr_size, stored);

  // Count the entries of each part; note the range of the column indices for the scatter array.
  const SplitCounts c = countSplit(N, arp, acol);
  l_nz_ = c.l_nz;
  u_nz_ = c.u_nz;
  l_val_.newsize(l_nz_);
  l_colind_.newsize(l_nz_);
  u_val_.newsize(u_nz_);
  u_colind_.newsize(u_nz_);

  // Split each row in stored order.
  {
    double* const lv = l_val_.data();
    double* const uv = u_val_.data();
    splitRows(N, arp, acol, l_colind_.data(), l_rowptr_.data(), u_colind_.data(), u_rowptr_.data(),
              [&](int part, int slot, int k) { (part == 0 ? lv : uv)[slot] = aval[k]; });
  }

  // Each row of each part in ascending column order.
  for (int i = 0; i < N; i++) {
    QSort(l_colind_, l_val_, l_rowptr_(i), l_rowptr_(i + 1) - l_rowptr_(i));
    QSort(u_colind_, u_val_, u_rowptr_(i), u_rowptr_(i + 1) - u_rowptr_(i));
  }

  // Elimination without fill, row after row.
  const int rows = M < N ? M : N;
  if (rows <= 1) return;
  std::vector<int> scatter(static_cast<size_t>(c.max_col - c.min_col) + 1, -1);
  int* const pos = scatter.data() - c.min_col;  // pos[col], col in min_col..max_col
  double* const lv = l_val_.data();
  const int* const lc = l_colind_.data();
  const int* const lp = l_rowptr_.data();
  double* const uv = u_val_.data();
  const int* const uc = u_colind_.data();
  const int* const up = u_rowptr_.data();

  for (int k = 1; k < rows; k++) {
    if (lp[k] == lp[k + 1]) continue;
    scatterRow(pos, lc, lp[k], lp[k + 1], uc, up[k], up[k + 1]);
    eliminateRow(k, lv, lc, lp, uv, uc, up, pos);
    clearRow(pos, lc, lp[k], lp[k + 1], uc, up[k], up[k + 1]);
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
// Row-oriented factor of matrices sharing one pattern.

namespace {

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
  int id(const std::vector<int>& key) {
    const auto it = ids_.find(key);
    if (it != ids_.end()) return it->second;
    const int n = static_cast<int>(ids_.size());
    ids_.emplace(key, n);
    return n;
  }
  int count() const { return static_cast<int>(ids_.size()); }

 private:
  std::unordered_map<std::vector<int>, int, IntsHash> ids_;
};

}  // namespace

void CompRow_ILUPatternFactor::adopt(int n, const int* row_ptr, const int* col_ind) {
  n_ = n;
  nnz_ = n > 0 ? row_ptr[n] : 0;
  const SplitCounts c = countSplit(n, row_ptr, col_ind);
  min_col_ = c.min_col;
  lp_.assign(static_cast<size_t>(n) + 1, 0);
  up_.assign(static_cast<size_t>(n) + 1, 0);
  lc_.assign(static_cast<size_t>(c.l_nz), 0);
  uc_.assign(static_cast<size_t>(c.u_nz), 0);
  lv_.clear();
  uv_.clear();
  lsrc_.clear();
  usrc_.clear();
  rowShape_.clear();
  program_.clear();
  programStart_.clear();
  programsDue_ = false;
  factored_ = 0;
  // The stored position of every entry of each part, sorted with its column: the sort moves the
  // positions exactly as it moves the values of any matrix with this pattern.
  std::vector<int> lsrc(static_cast<size_t>(c.l_nz)), usrc(static_cast<size_t>(c.u_nz));
  splitRows(n, row_ptr, col_ind, lc_.data(), lp_.data(), uc_.data(), up_.data(),
            [&](int part, int slot, int k) { (part == 0 ? lsrc : usrc)[slot] = k; });
  bool repeated = false;
  for (int i = 0; i < n; i++) {
    QSort(lc_.data(), lsrc.data(), lp_[i], lp_[i + 1] - lp_[i]);
    QSort(uc_.data(), usrc.data(), up_[i], up_[i + 1] - up_[i]);
    for (int t = lp_[i] + 1; t < lp_[i + 1]; t++) repeated = repeated || lc_[t] == lc_[t - 1];
    for (int t = up_[i] + 1; t < up_[i + 1]; t++) repeated = repeated || uc_[t] == uc_[t - 1];
  }
  scatter_.assign(static_cast<size_t>(c.max_col - c.min_col) + 1, -1);
  // With repeated columns the order among equal columns is the sort's: the positions are kept.
  if (repeated) {
    lsrc_ = std::move(lsrc);
    usrc_ = std::move(usrc);
    return;
  }
  lsrc = std::vector<int>();
  usrc = std::vector<int>();
  // Programs pay off from the second factorisation on: the first goes through the scatter array.
  programsDue_ = true;
}

// Without repeated columns, the column of an entry names its place in the factor, and what a row's
// factorisation does depends only on the columns relative to the row: of the row itself, in stored
// order, and of the U parts of its pivot rows. Rows of one such shape (most rows of a stencil
// system) share one program, derived from the first of them through the scatter array: where each
// stored value goes, and for every L entry the updates that reach a place of the row (those that
// reach none, dropped as fill, are left out). A pattern with too many shapes keeps none and is
// factorised through the scatter array.
void CompRow_ILUPatternFactor::derivePrograms(const int* row_ptr, const int* col_ind) {
  const int n = n_;
  std::vector<int> uShape(static_cast<size_t>(n));
  {
    Interner shapes;
    std::vector<int> key;
    for (int k = 0; k < n; k++) {
      key.clear();
      for (int t = up_[k]; t < up_[k + 1]; t++) key.push_back(uc_[t] - k);
      uShape[k] = shapes.id(key);
    }
  }
  const size_t budget = static_cast<size_t>(nnz_) + 4096;
  Interner shapes;
  std::vector<int> key;
  rowShape_.assign(static_cast<size_t>(n), 0);
  int* const pos = scatter_.data() - min_col_;
  for (int k = 0; k < n; k++) {
    key.clear();
    for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++) key.push_back(col_ind[j] - k);
    for (int l = lp_[k]; l < lp_[k + 1]; l++) key.push_back(uShape[lc_[l]]);
    const int known = shapes.count();
    const int s = shapes.id(key);
    rowShape_[k] = s;
    if (s < known) continue;
    // A new shape: its program, from this row.
    programStart_.push_back(static_cast<int>(program_.size()));
    const int lbeg = lp_[k], lend = lp_[k + 1], ubeg = up_[k], uend = up_[k + 1];
    scatterRow(pos, lc_.data(), lbeg, lend, uc_.data(), ubeg, uend);
    // Places of the stored values: U slots as they are, L slots as -1 - slot.
    for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++) {
      const int col = col_ind[j];
      program_.push_back(col < k ? -1 - (pos[col] - lbeg) : pos[col] - ubeg);
    }
    // Per L entry: the number of updates into L and into U, then (offset in the pivot's U row, slot)
    // for each, in the order of the pivot row.
    for (int l = lbeg; l < lend; l++) {
      const int q = lc_[l];
      const size_t counts = program_.size();
      program_.push_back(0);
      program_.push_back(0);
      for (int part = 0; part < 2; part++) {
        for (int t = up_[q] + 1; t < up_[q + 1]; t++) {
          const int j = uc_[t];
          const int target = pos[j];
          if (target < 0 || (j < k) != (part == 0)) continue;
          program_.push_back(t - up_[q]);
          program_.push_back(target - (part == 0 ? lbeg : ubeg));
          program_[counts + part]++;
        }
      }
    }
    clearRow(pos, lc_.data(), lbeg, lend, uc_.data(), ubeg, uend);
    if (program_.size() > budget) {
      rowShape_.clear();
      program_.clear();
      programStart_.clear();
      return;
    }
  }
}

void CompRow_ILUPatternFactor::factor(const double* val, const int* row_ptr, const int* col_ind) {
  if (programsDue_ && factored_ > 0) {
    derivePrograms(row_ptr, col_ind);
    programsDue_ = false;
  }
  factored_++;
  lv_.resize(lc_.size());
  uv_.resize(uc_.size());
  double* const lv = lv_.data();
  double* const uv = uv_.data();
  const int* const lc = lc_.data();
  const int* const lp = lp_.data();
  const int* const uc = uc_.data();
  const int* const up = up_.data();
  if (!rowShape_.empty()) {
    // Row by row through the programs. Within one L entry the updates reach distinct places, so doing
    // those into L before those into U changes no value.
    for (int k = 0; k < n_; k++) {
      const int* prog = program_.data() + programStart_[rowShape_[k]];
      double* const lrow = lv + lp[k];
      double* const urow = uv + up[k];
      for (int j = row_ptr[k]; j < row_ptr[k + 1]; j++, prog++) {
        const int place = *prog;
        if (place >= 0)
          urow[place] = val[j];
        else
          lrow[-1 - place] = val[j];
      }
      for (int l = lp[k]; l < lp[k + 1]; l++) {
        const int q = lc[l];
        const int qbeg = up[q], qend = up[q + 1];
        const double pivot = qbeg < qend ? uv[qbeg] : 0.0;
        lv[l] = lv[l] / pivot;
        const double mult = lv[l];
        const double* const qrow = uv + qbeg;
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
  for (int k = 0; k < n_; k++) {
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
