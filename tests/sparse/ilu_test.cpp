// ILU(0) factor: exactness where the pattern admits no fill, the defining identity on the pattern,
// determinants, and the scatter-array elimination against the forward-merge formulation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "sparse_test_util.h"
#include "sparse/sparse.h"

namespace {

// (L U)(i, j) from the factor, L with its implied unit diagonal.
double luEntry(const CompRow_ILUPreconditioner_double& F, int i, int j) {
  const MV_Vector_double &lv = F.l_values(), &uv = F.u_values();
  const MV_Vector_int &lc = F.l_column_indices(), &lp = F.l_row_pointers();
  const MV_Vector_int &uc = F.u_column_indices(), &up = F.u_row_pointers();
  double s = 0.0;
  auto u_at = [&](int r, int c) {
    for (int t = up(r); t < up(r + 1); t++)
      if (uc(t) == c) return uv(t);
    return 0.0;
  };
  for (int t = lp(i); t < lp(i + 1); t++) s += lv(t) * u_at(lc(t), j);
  return s + u_at(i, j);
}

CsrSystem tridiagonal(int n, bool reversed_rows) {
  CsrSystem s;
  s.n = n;
  s.row_ptr.push_back(0);
  for (int i = 0; i < n; i++) {
    std::vector<std::pair<int, double>> row;
    if (i > 0) row.push_back({i - 1, -1.0});
    row.push_back({i, 2.0});
    if (i + 1 < n) row.push_back({i + 1, -1.0});
    if (reversed_rows) std::reverse(row.begin(), row.end());
    for (auto& e : row) {
      s.col_ind.push_back(e.first);
      s.val.push_back(e.second);
    }
    s.row_ptr.push_back(s.nnz());
  }
  return s;
}

TEST(Ilu, TwoByTwo) {
  double val[4] = {4, 1, 2, 3};
  int col[4] = {0, 1, 0, 1}, ptr[3] = {0, 2, 4};
  const CompRow_Mat_double A(2, 2, 4, val, ptr, col, 0);
  CompRow_ILUPreconditioner_double F(A);
  EXPECT_EQ(F.detLP(), 10.0);
  const MV_Vector_double x = F.solve(MV_Vector_double(2, 5.0));
  EXPECT_EQ(x(0), 1.0);
  EXPECT_EQ(x(1), 1.0);
  EXPECT_EQ(F.logDetLP(), std::log(2.5) + (std::log(4.0) + 0.0));
  EXPECT_EQ(ILU_logDetA(2, 4, val, ptr, col), F.logDetLP());
  // Transposed solve: A^T [6, 4] = ... A^T = [[4, 2], [1, 3]]; [1, 1] gives [6, 4].
  double tb[2] = {6, 4};
  MV_Vector_double t = F.trans_solve(MV_Vector_double(tb, 2));
  EXPECT_NEAR(t(0), 1.0, 1e-15);
  EXPECT_NEAR(t(1), 1.0, 1e-15);
}

TEST(Ilu, TridiagonalIsExact) {
  for (bool reversed : {false, true}) {
    const int n = 50;
    CsrSystem s = tridiagonal(n, reversed);
    const CompRow_Mat_double A = fromSystem(s);
    CompRow_ILUPreconditioner_double F(A);
    for (int i = 0; i < n; i++)
      for (int j = std::max(0, i - 1); j <= std::min(n - 1, i + 1); j++)
        EXPECT_NEAR(luEntry(F, i, j), A(i, j), 1e-14);
    // The factor solves exactly: A (M^-1 b) = b.
    MV_Vector_double b(n);
    for (int i = 0; i < n; i++) b(i) = std::sin(i + 1.0);
    const MV_Vector_double r = A * F.solve(b), rt = A.trans_mult(F.trans_solve(b));
    for (int i = 0; i < n; i++) {
      EXPECT_NEAR(r(i), b(i), 1e-12);
      EXPECT_NEAR(rt(i), b(i), 1e-12);
    }
    EXPECT_NEAR(F.logDetLP(), std::log(n + 1.0), 1e-12);
    EXPECT_NEAR(ILU_logDetA(n, s.nnz(), s.val.data(), s.row_ptr.data(), s.col_ind.data()), std::log(n + 1.0),
                1e-12);
  }
}

TEST(Ilu, DiagonalLowerTriangularNegativeAndMissingPivots) {
  double dv[3] = {2, -3, 0.5};
  int dc[3] = {0, 1, 2}, dp[4] = {0, 1, 2, 3};
  CompRow_ILUPreconditioner_double D(CompRow_Mat_double(3, 3, 3, dv, dp, dc, 0));
  EXPECT_EQ(D.l_values().size(), 0);
  EXPECT_EQ(D.detLP(), 0.5 * (-3.0 * (2.0 * 1.0)));
  double bv[3] = {1, 1, 1};
  MV_Vector_double q = D.solve(MV_Vector_double(bv, 3));
  EXPECT_EQ(q(1), 1.0 / -3.0);
  EXPECT_EQ(D.logDetLP(), std::log(0.5) + (std::log(3.0) + (std::log(2.0) + 0.0)));
  EXPECT_EQ(D.u_values()(1), 3.0);  // negated in place
  EXPECT_EQ(D.logDetLP(), std::log(0.5) + (std::log(3.0) + (std::log(2.0) + 0.0)));

  // A row without its diagonal: detLP 0, logDetLP skips the row.
  double mv[3] = {2, 5, 4};
  int mc[3] = {0, 2, 2}, mp[4] = {0, 1, 2, 3};
  CompRow_ILUPreconditioner_double Mi(CompRow_Mat_double(3, 3, 3, mv, mp, mc, 0));
  EXPECT_EQ(Mi.detLP(), 0.0);
  EXPECT_EQ(Mi.logDetLP(), std::log(4.0) + std::log(2.0));

  // An empty pivot row: the multiplier divides by zero instead of taking the next row's entry.
  double ev[2] = {2, 5};
  int ec[2] = {0, 1}, ep[3] = {0, 0, 2};
  CompRow_ILUPreconditioner_double E(CompRow_Mat_double(2, 2, 2, ev, ep, ec, 0));
  EXPECT_TRUE(std::isinf(E.l_values()(0)));
  EXPECT_EQ(E.u_values()(0), 5.0);

  double nv[1] = {-2};
  int nc[1] = {0}, np[2] = {0, 1};
  CompRow_ILUPreconditioner_double N(CompRow_Mat_double(1, 1, 1, nv, np, nc, 0));
  EXPECT_EQ(N.logDetLP(), std::log(2.0));
  EXPECT_EQ(N.u_values()(0), 2.0);
  EXPECT_EQ(N.logDetLP(), std::log(2.0));
}

TEST(Ilu, FactorReproducesTheMatrixOnItsPattern) {
  for (uint64_t seed = 1; seed <= 4; seed++) {
    CsrSystem s = makeRandomSystem(120, 6, seed);
    const CompRow_Mat_double A = fromSystem(s);
    const CompRow_ILUPreconditioner_double F(A);
    for (int i = 0; i < s.n; i++)
      for (int t = s.row_ptr[i]; t < s.row_ptr[i + 1]; t++) {
        const int j = s.col_ind[t];
        EXPECT_NEAR(luEntry(F, i, j), s.val[t], 1e-12 * (1 + std::fabs(s.val[t]))) << i << "," << j;
      }
  }
  // Rows out of column order factorise as if sorted.
  CsrSystem shuffled = makeGridSystem(6, 5, 2, 1.2, 9, true), sorted = makeGridSystem(6, 5, 2, 1.2, 9, false);
  const CompRow_ILUPreconditioner_double F1(fromSystem(shuffled)), F2(fromSystem(sorted));
  for (int k = 0; k < F1.u_values().size(); k++) EXPECT_EQ(F1.u_values()(k), F2.u_values()(k));
  for (int k = 0; k < F1.l_values().size(); k++) EXPECT_EQ(F1.l_values()(k), F2.l_values()(k));
}

// The elimination as a forward merge over the sorted rows (one cursor per row part, restarted for
// every L entry, never moving back), on a split and sorted copy of A.
void forwardMergeFactor(const CompRow_Mat_double& A, MV_Vector_double& lv, MV_Vector_int& lc,
                        MV_Vector_int& lp, MV_Vector_double& uv, MV_Vector_int& uc, MV_Vector_int& up) {
  const int n = A.dim(0);
  std::vector<double> lvv, uvv;
  std::vector<int> lcv, ucv, lpv{0}, upv{0};
  for (int i = 0; i < n; i++) {
    for (int k = A.row_ptr(i); k < A.row_ptr(i + 1); k++) {
      if (A.col_ind(k) < i) {
        lvv.push_back(A.val(k));
        lcv.push_back(A.col_ind(k));
      } else {
        uvv.push_back(A.val(k));
        ucv.push_back(A.col_ind(k));
      }
    }
    lpv.push_back(static_cast<int>(lvv.size()));
    upv.push_back(static_cast<int>(uvv.size()));
  }
  lv = MV_Vector_double(lvv.data(), static_cast<int>(lvv.size()));
  uv = MV_Vector_double(uvv.data(), static_cast<int>(uvv.size()));
  lc = MV_Vector_int(lcv.data(), static_cast<int>(lcv.size()));
  uc = MV_Vector_int(ucv.data(), static_cast<int>(ucv.size()));
  lp = MV_Vector_int(lpv.data(), n + 1);
  up = MV_Vector_int(upv.data(), n + 1);
  for (int i = 0; i < n; i++) {
    QSort(lc, lv, lp(i), lp(i + 1) - lp(i));
    QSort(uc, uv, up(i), up(i + 1) - up(i));
  }
  for (int k = 1; k < n; k++) {
    for (int l = lp(k); l < lp(k + 1); l++) {
      const int q = lc(l);
      lv(l) = lv(l) / uv(up(q));
      int lcur = l + 1, ucur = up(k);
      for (int t = up(q) + 1; t < up(q + 1); t++) {
        const int j = uc(t);
        if (j < k) {
          while (lcur < lp(k + 1) && lc(lcur) < j) lcur++;
          if (lcur < lp(k + 1) && lc(lcur) == j) lv(lcur) = lv(lcur) - uv(t) * lv(l);
        } else {
          while (ucur < up(k + 1) && uc(ucur) < j) ucur++;
          if (ucur < up(k + 1) && uc(ucur) == j) uv(ucur) = uv(ucur) - uv(t) * lv(l);
        }
      }
    }
  }
}

void expectSameFactor(CsrSystem& s) {
  const CompRow_Mat_double A = fromSystem(s);
  const CompRow_ILUPreconditioner_double F(A);
  MV_Vector_double lv, uv;
  MV_Vector_int lc, lp, uc, up;
  forwardMergeFactor(A, lv, lc, lp, uv, uc, up);
  ASSERT_EQ(F.l_values().size(), lv.size());
  ASSERT_EQ(F.u_values().size(), uv.size());
  int diff = 0;
  for (int k = 0; k < lv.size(); k++) diff += !sameBits(F.l_values()(k), lv(k)) || F.l_column_indices()(k) != lc(k);
  for (int k = 0; k < uv.size(); k++) diff += !sameBits(F.u_values()(k), uv(k)) || F.u_column_indices()(k) != uc(k);
  EXPECT_EQ(diff, 0);
}

TEST(Ilu, ScatterEliminationEqualsForwardMergeBitForBit) {
  CsrSystem grid = makeGridSystem(16, 12, 8, 1.05, 3, true);
  expectSameFactor(grid);
  CsrSystem random = makeRandomSystem(300, 12, 17);
  expectSameFactor(random);

  // Repeated columns within rows (in L, in U and on the diagonal) and explicit zeros.
  TestRng rng(5);
  CsrSystem dup;
  dup.n = 80;
  dup.row_ptr.push_back(0);
  for (int i = 0; i < dup.n; i++) {
    const int count = 3 + rng.below(8);
    dup.col_ind.push_back(i);
    dup.val.push_back(20.0 + rng.uniform());
    for (int c = 0; c < count; c++) {
      const int j = std::max(0, std::min(dup.n - 1, i + rng.below(11) - 5));
      dup.col_ind.push_back(j);
      dup.val.push_back(rng.below(6) == 0 ? 0.0 : rng.uniform() - 0.5);
      if (rng.below(3) == 0) {  // the same column again
        dup.col_ind.push_back(j);
        dup.val.push_back(rng.uniform() - 0.5);
      }
    }
    dup.row_ptr.push_back(dup.nnz());
  }
  expectSameFactor(dup);
}

TEST(Ilu, FusedSolveEqualsKernelSolve) {
  CsrSystem s = makeGridSystem(10, 9, 4, 1.1, 21, true);
  const CompRow_ILUPreconditioner_double F(fromSystem(s));
  MV_Vector_double b(s.n);
  for (int i = 0; i < s.n; i++) b(i) = std::cos(0.37 * i);
  const MV_Vector_double y = F.solve(b);
  MV_Vector_double z(s.n), w = b;
  F.solve_into(b.data(), z.data());
  F.solve_into(w.data(), w.data());  // in place
  for (int i = 0; i < s.n; i++) {
    EXPECT_TRUE(sameBits(y(i), z(i)));
    EXPECT_TRUE(sameBits(y(i), w(i)));
  }
}

TEST(Ilu, ColumnTwinIsExactOnATridiagonal) {
  // Column storage of tridiag(-1, 2, -1), rows of each column in reverse order.
  const int n = 20;
  std::vector<double> v;
  std::vector<int> r, p{0};
  for (int j = 0; j < n; j++) {
    if (j + 1 < n) { r.push_back(j + 1); v.push_back(-1); }
    r.push_back(j);
    v.push_back(2);
    if (j > 0) { r.push_back(j - 1); v.push_back(-1); }
    p.push_back(static_cast<int>(v.size()));
  }
  const CompCol_Mat_double C(n, n, static_cast<int>(v.size()), v.data(), r.data(), p.data(), 0);
  const CompCol_ILUPreconditioner_double F(C);
  const CompRow_Mat_double A(C);
  MV_Vector_double b(n);
  for (int i = 0; i < n; i++) b(i) = 1.0 + i % 3;
  const MV_Vector_double x = F.solve(b), ax = A * x;
  const MV_Vector_double xt = F.trans_solve(b), atx = A.trans_mult(xt);
  for (int i = 0; i < n; i++) {
    EXPECT_NEAR(ax(i), b(i), 1e-12);
    EXPECT_NEAR(atx(i), b(i), 1e-12);
  }
  // The U columns keep the diagonal last.
  EXPECT_EQ(F.u_row_indices()(F.u_column_pointers()(4) - 1), 3);
}

}  // namespace
