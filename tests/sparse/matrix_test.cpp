// Compressed-row matrix, its siblings' conversions, and the paired quicksort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "support/child_process.h"
#include "sparse/sparse.h"

namespace {

// [[1, 0, 2], [0, 0, 3], [4, 5, 0]] with row 0 stored out of order and an explicit zero in row 1.
struct Small {
  double val[6] = {2, 1, 0, 3, 4, 5};
  int col[6] = {2, 0, 0, 2, 0, 1};
  int ptr[4] = {0, 2, 4, 6};
  CompRow_Mat_double make() { return CompRow_Mat_double(3, 3, 6, val, ptr, col, 0); }
};

TEST(CompRow, RawArraysAreCopiedLookupAndSet) {
  Small s;
  CompRow_Mat_double A = s.make();
  s.val[0] = 100;
  s.col[0] = 1;
  s.ptr[1] = 0;
  EXPECT_EQ(A(0, 2), 2.0);
  EXPECT_EQ(A.row_ptr(1), 2);
  EXPECT_TRUE(A.dim(0) == 3 && A.dim(1) == 3 && A.NumNonzeros() == 6 && A.base() == 0);
  CompRow_Mat_double B(A), C;
  C = A;
  A.set(2, 1) = -7;
  EXPECT_EQ(B(2, 1), 5.0);
  EXPECT_EQ(C(2, 1), 5.0);
  EXPECT_EQ(A(2, 1), -7.0);
  EXPECT_EQ(A(0, 0), 1.0);
  EXPECT_EQ(A(1, 1), 0.0);  // absent inside: no message
  EXPECT_EQ(A(1, 0), 0.0);  // stored zero
  A.set(1, 0) = 9;          // a stored zero accepts set
  EXPECT_EQ(A(1, 0), 9.0);
  // Out of bounds: a message and 0.0; only i < M and j < N are compared, so a negative column inside
  // those bounds is a silent 0.0; assigning to an absent element ends the process.
  struct Case {
    int i, j, exitCode;
    const char* err;
  } const cases[] = {{0, 3, 0, "Array accessing exception -- out of bounds.\n"},
                     {1, -1, 0, ""},
                     {1, 1, 1, "Array element (1,1) not in sparse structure -- cannot assign.\n"}};
  for (const Case& c : cases) {
    ChildResult r = runInChild([&] {
      Small t;
      CompRow_Mat_double M = t.make();
      if (c.exitCode) M.set(c.i, c.j) = 1;
      if (M(c.i, c.j) != 0.0) std::exit(3);
    });
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(CompRow, ProductsAndDuplicateColumns) {
  Small s;
  const CompRow_Mat_double A = s.make();
  double xv[3] = {1, 2, 3};
  const MV_Vector_double x(xv, 3), y = A * x, t = A.trans_mult(x);
  EXPECT_TRUE(y(0) == 7.0 && y(1) == 9.0 && y(2) == 14.0);
  EXPECT_TRUE(t(0) == 1.0 + 12.0 && t(1) == 15.0 && t(2) == 2.0 + 6.0);
  // A row storing column 0 twice: the product adds both, lookup returns the first.
  double v2[3] = {1, 10, 100};
  int c2[3] = {0, 0, 1}, p2[3] = {0, 2, 3};
  const CompRow_Mat_double D(2, 2, 3, v2, p2, c2, 0);
  EXPECT_EQ((D * MV_Vector_double(2, 1.0))(0), 11.0);
  EXPECT_EQ(D(0, 0), 1.0);
  // 1 x 1 through the one-based offsets of the kernel.
  double v1[1] = {3};
  int c1[1] = {0}, p1[2] = {0, 1};
  const CompRow_Mat_double One(1, 1, 1, v1, p1, c1, 0);
  EXPECT_EQ((One * MV_Vector_double(1, 2.0))(0), 6.0);
  EXPECT_EQ(One.trans_mult(MV_Vector_double(1, 2.0))(0), 6.0);
  // Rectangular 2 x 3: a vector of length 2 is wrong for the product, of length 3 for the transposed one.
  for (int len : {2, 3}) {
    ChildResult r = runInChild([len] {
      double v[2] = {1, 2};
      int c[2] = {0, 2}, p[3] = {0, 1, 2};
      const CompRow_Mat_double R(2, 3, 2, v, p, c, 0);
      (void)(len == 2 ? R * MV_Vector_double(len, 1.0) : R.trans_mult(MV_Vector_double(len, 1.0)));
    });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error in CompCol Matvec -- incompatible dimensions.\n");
  }
}

TEST(CompRow, Printing) {
  Small s;
  std::ostringstream os;
  os.precision(3);
  os << s.make() << 1.5;
  const std::string line1 = "             1                 3      2.000000000000e+00\n";
  EXPECT_EQ(os.str().substr(0, line1.size()), line1);
  EXPECT_EQ(os.str().substr(os.str().size() - 3), "1.5");  // flags and precision restored
  // Bottom-right corner not stored: one extra line with M, N and the lookup.
  double v[1] = {4};
  int c[1] = {0}, p[3] = {0, 1, 1};
  std::ostringstream o2;
  o2 << CompRow_Mat_double(2, 2, 1, v, p, c, 0);
  EXPECT_EQ(o2.str(),
            "             1                 1      4.000000000000e+00\n"
            "             2                 2      0.000000000000e+00\n");
}

TEST(CompRow, Conversions) {
  // Column storage of [[1, 0, 2], [0, 0, 3], [4, 5, 0]].
  double cv[5] = {1, 4, 5, 2, 3};
  int ri[5] = {0, 2, 2, 0, 1}, cp[4] = {0, 2, 3, 5};
  const CompCol_Mat_double C(3, 3, 5, cv, ri, cp, 0);
  const CompRow_Mat_double R(C);
  EXPECT_EQ(R.NumNonzeros(), 5);
  const int want_ptr[4] = {0, 2, 3, 5}, want_col[5] = {0, 2, 2, 0, 1};
  const double want_val[5] = {1, 2, 3, 4, 5};
  for (int i = 0; i < 5; i++) EXPECT_TRUE(R.row_ptr(i % 4) == want_ptr[i % 4] && R.col_ind(i) == want_col[i] && R.val(i) == want_val[i]) << i;
  // Coordinate list with row 2 out of column order: the order is kept.
  double ov[4] = {5, 1, 4, 3};
  int orow[4] = {2, 0, 2, 1}, ocol[4] = {1, 0, 0, 2};
  const CompRow_Mat_double Q{Coord_Mat_double(3, 3, 4, ov, orow, ocol, 0)};
  EXPECT_EQ(Q.col_ind(2), 1);
  EXPECT_EQ(Q.col_ind(3), 0);
  EXPECT_EQ(Q.val(2), 5.0);
  EXPECT_EQ(Q(2, 0), 4.0);
}

// The paired quicksort written out step by step on plain arrays: median of three, partition around a
// copy of the middle key, the larger part pushed and the smaller processed next, partitions of at most
// five elements left to the insertion pass, which first moves the smallest of the first five keys to
// the front. Equal keys make the order of their values depend on every exchange, so the final
// permutation shows whether each step is the same.
void referencePairedSort(std::vector<int>& v, std::vector<double>& x, int base, int total) {
  auto exchange = [&](int a, int b) {
    std::swap(v[a], v[b]);
    std::swap(x[a], x[b]);
  };
  if (total > 4) {
    int lo = base, hi = base + total - 1;
    std::vector<std::pair<int, int>> stack{{0, 0}};
    while (!stack.empty()) {
      const int mid = lo + (hi - lo) / 2;
      if (v[mid] < v[lo]) exchange(lo, mid);
      if (v[hi] < v[mid]) {
        exchange(mid, hi);
        if (v[mid] < v[lo]) exchange(lo, mid);
      }
      const int pivot = v[mid];
      int left = lo + 1, right = hi - 1;
      do {
        while (v[left] < pivot) left++;
        while (pivot < v[right]) right--;
        if (left < right) {
          exchange(left, right);
          left++;
          right--;
        } else if (left == right) {
          left++;
          right--;
          break;
        }
      } while (left <= right);
      const int L = right - lo, R = hi - left;
      if (L <= 4 && R <= 4) {
        lo = stack.back().first;
        hi = stack.back().second;
        stack.pop_back();
      } else if (L <= 4) {
        lo = left;
      } else if (R <= 4) {
        hi = right;
      } else if (L > R) {
        stack.push_back({lo, right});
        lo = left;
      } else {
        stack.push_back({left, hi});
        hi = right;
      }
    }
  }
  const int end = base + total - 1;
  const int thresh = std::min(end, base + 4);
  int tmp = base;
  for (int run = base + 1; run <= thresh; run++)
    if (v[run] < v[tmp]) tmp = run;
  if (tmp != base) exchange(tmp, base);
  for (int run = base + 2; run <= end; run++) {
    tmp = run - 1;
    while (v[run] < v[tmp]) tmp--;
    tmp++;
    if (tmp != run) {
      const int key = v[run];
      const double val = x[run];
      for (int h = run - 1; h >= tmp; h--) {
        v[h + 1] = v[h];
        x[h + 1] = x[h];
      }
      v[tmp] = key;
      x[tmp] = val;
    }
  }
}

TEST(QSortTest, SamePermutationAsTheStepByStepSort) {
  unsigned seed = 7u;
  for (int trial = 0; trial < 600; trial++) {
    const int n = 1 + trial % 70, base = trial % 3, range = 1 + trial % 9;
    std::vector<int> keys(n + base + 2);
    std::vector<double> vals(keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
      seed = seed * 1103515245u + 12345u;
      keys[i] = static_cast<int>((seed >> 16) % range);  // few distinct keys: many ties
      vals[i] = static_cast<double>(i);
    }
    std::vector<int> want_keys = keys;
    std::vector<double> want_vals = vals;
    referencePairedSort(want_keys, want_vals, base, n);
    MV_Vector_int k(keys.data(), static_cast<int>(keys.size()));
    MV_Vector_double x(vals.data(), static_cast<int>(vals.size()));
    QSort(k, x, base, n);
    for (size_t i = 0; i < keys.size(); i++) {
      ASSERT_EQ(k(static_cast<int>(i)), want_keys[i]) << "trial " << trial << " at " << i;
      ASSERT_EQ(x(static_cast<int>(i)), want_vals[i]) << "trial " << trial << " at " << i;
    }
  }
}

TEST(QSortTest, PairedAndSingle) {
  int k[3] = {3, 1, 2};
  double v[3] = {30, 10, 20};
  MV_Vector_int keys(k, 3);
  MV_Vector_double vals(v, 3);
  EXPECT_EQ(QSort(keys, vals, 0, 3), 1);
  for (int i = 0; i < 3; i++) EXPECT_TRUE(keys(i) == i + 1 && vals(i) == 10.0 * (i + 1)) << i;
  // Nothing read for 0 or 1 elements (start beyond the end is fine then).
  QSort(keys, vals, 9, 0);
  QSort(keys, vals, 2, 1);
  // Single keys: sorted.
  MV_Vector_double single(200);
  for (int i = 0; i < 200; i++) single(i) = static_cast<double>((i * 7919) % 211);
  QSort(single, 0, 200);
  for (int i = 1; i < 200; i++) EXPECT_LE(single(i - 1), single(i));
  // Keys that are not numbers compare false both ways: the sort ends and stays inside its range (the
  // whole vector here, so a step below it would fail the element check).
  unsigned seed = 99u;
  for (int trial = 0; trial < 400; trial++) {
    const int n = 2 + trial % 37;
    MV_Vector_double nan_keys(n);
    for (int i = 0; i < n; i++) {
      seed = seed * 1103515245u + 12345u;
      nan_keys(i) = ((seed >> 20) % 4 == 0) ? std::nan("") : static_cast<double>((seed >> 8) % 100);
    }
    EXPECT_EQ(QSort(nan_keys, 0, n), 1);
  }
  MV_Vector_int same(64, 7);
  MV_Vector_double sv(64, 1.0);
  QSort(same, sv, 0, 64);
  EXPECT_EQ(same(63), 7);
}

}  // namespace
