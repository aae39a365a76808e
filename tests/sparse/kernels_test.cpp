// Sparse BLAS entry points against dense references, in all three storage schemes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/child_process.h"
#include "sparse/sparse.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
// Matrix descriptors: general, lower with diagonal, lower unit, upper with diagonal.
const int kGeneral[3] = {0, 0, 0}, kD010[3] = {0, 1, 0}, kD011[3] = {0, 1, 1}, kD020[3] = {0, 2, 0};

// A dense m x k matrix and its three sparse forms (base 0 or 1; entries in ascending order).
struct Sparse {
  int m, k;
  std::vector<double> dense;  // row-major
  std::vector<double> rval, cval, oval;
  std::vector<int> rind, rptr, cind, cptr, orow, ocol;

  Sparse(int m_, int k_, std::vector<double> d, int base) : m(m_), k(k_), dense(std::move(d)) {
    rptr.push_back(base);
    for (int i = 0; i < m; i++) {
      for (int j = 0; j < k; j++)
        if (at(i, j) != 0.0) {
          rval.push_back(at(i, j));
          rind.push_back(j + base);
          oval.push_back(at(i, j));
          orow.push_back(i + 1);
          ocol.push_back(j + 1);
        }
      rptr.push_back(static_cast<int>(rval.size()) + base);
    }
    cptr.push_back(base);
    for (int j = 0; j < k; j++) {
      for (int i = 0; i < m; i++)
        if (at(i, j) != 0.0) {
          cval.push_back(at(i, j));
          cind.push_back(i + base);
        }
      cptr.push_back(static_cast<int>(cval.size()) + base);
    }
  }
  double at(int i, int j) const { return dense[i * k + j]; }
};

const std::vector<double> kRect = {2, 0, -1, 0.5,  //
                                   0, 3, 0, 0,     //
                                   1, 0, 0, 4};   // 3 x 4

std::vector<double> denseProduct(const Sparse& s, bool trans, double alpha, const std::vector<double>& x,
                                 double beta, std::vector<double> y) {
  const int rows = trans ? s.k : s.m, inner = trans ? s.m : s.k;
  for (int i = 0; i < rows; i++) {
    double acc = 0;
    for (int j = 0; j < inner; j++) acc += (trans ? s.at(j, i) : s.at(i, j)) * x[j];
    y[i] = (beta == 0 ? 0.0 : beta * y[i]) + alpha * acc;
  }
  return y;
}

void expectSame(const std::vector<double>& got, const std::vector<double>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) EXPECT_DOUBLE_EQ(got[i], want[i]) << what << " " << i;
}

// Zero-based arrays reach the array addressed through stored indices one element early (b for the
// compressed-row product, c for the compressed-column one, the other way round when transposed). Where
// that array is c, the scaling by beta runs over c as passed, so those cases use one-based arrays.
TEST(Kernels, ProductsMatchDenseInEveryScheme) {
  const Sparse s(3, 4, kRect, 0), s1(3, 4, kRect, 1);
  const std::vector<double> x4 = {1, -2, 3, 0.25}, x3 = {0.5, 1, -1}, y0 = {1, 2, 3}, t0 = {1, 1, 1, 1};
  const int nnz = static_cast<int>(s.oval.size());
  double work[8];
  for (double alpha : {1.0, 2.5, -0.5})
    for (double beta : {0.0, 1.0, 0.5}) {
      // No transposition: y (3) = alpha A x4 + beta y.
      const std::vector<double> want = denseProduct(s, false, alpha, x4, beta, y0);
      std::vector<double> y = y0;
      dcsrmm_(0, 3, 1, 4, alpha, kGeneral, s.rval.data(), s.rind.data(), s.rptr.data(), x4.data() + 1, 4, beta,
              y.data(), 3, work, 8);
      expectSame(y, want, "csr");
      y = y0;
      dcscmm_(0, 3, 1, 4, alpha, kGeneral, s1.cval.data(), s1.cind.data(), s1.cptr.data(), x4.data(), 4, beta,
              y.data(), 3, work, 8);
      expectSame(y, want, "csc");
      y = y0;
      dcoomm_(0, 3, 1, 4, alpha, kGeneral, s.oval.data(), s.orow.data(), s.ocol.data(), nnz, x4.data(), 4, beta,
              y.data(), 3, work, 8);
      expectSame(y, want, "coo");
      // Transposed (codes 1 and 2): y (4) = alpha A^T x3 + beta y.
      const std::vector<double> twant = denseProduct(s, true, alpha, x3, beta, t0);
      for (int code : {1, 2}) {
        std::vector<double> t = t0;
        dcsrmm_(code, 4, 1, 3, alpha, kGeneral, s1.rval.data(), s1.rind.data(), s1.rptr.data(), x3.data(), 3,
                beta, t.data(), 4, work, 8);
        expectSame(t, twant, "csr^T");
        for (const Sparse* c : {&s, &s1}) {
          t = t0;
          dcscmm_(code, 4, 1, 3, alpha, kGeneral, c->cval.data(), c->cind.data(), c->cptr.data(),
                  x3.data() + (c == &s ? 1 : 0), 3, beta, t.data(), 4, work, 8);
          expectSame(t, twant, "csc^T");
        }
        t = t0;
        dcoomm_(code, 4, 1, 3, alpha, kGeneral, s.oval.data(), s.orow.data(), s.ocol.data(), nnz, x3.data(), 3,
                beta, t.data(), 4, work, 8);
        expectSame(t, twant, "coo^T");
      }
    }
  // Zero-based arrays with c addressed through the indices, from c = 0 and beta 1: the one-based results.
  for (int trans : {0, 1}) {
    std::vector<double> c0(5, 0.0), c1(4, 0.0);
    const int m = trans ? 4 : 3, k = trans ? 3 : 4;
    const double* x = trans ? x3.data() : x4.data();
    if (trans) {
      dcsrmm_(1, m, 1, k, 1.0, kGeneral, s.rval.data(), s.rind.data(), s.rptr.data(), x, k, 1.0, c0.data() + 1, m, work, 8);
      dcsrmm_(1, m, 1, k, 1.0, kGeneral, s1.rval.data(), s1.rind.data(), s1.rptr.data(), x, k, 1.0, c1.data(), m, work, 8);
    } else {
      dcscmm_(0, m, 1, k, 1.0, kGeneral, s.cval.data(), s.cind.data(), s.cptr.data(), x, k, 1.0, c0.data() + 1, m, work, 8);
      dcscmm_(0, m, 1, k, 1.0, kGeneral, s1.cval.data(), s1.cind.data(), s1.cptr.data(), x, k, 1.0, c1.data(), m, work, 8);
    }
    for (int i = 0; i < m; i++) EXPECT_EQ(c0[i], c1[i]) << trans << " " << i;
  }
}

TEST(Kernels, BetaZeroClearsAndAlphaZeroReadsNothing) {
  const Sparse s(3, 4, kRect, 0);
  const std::vector<double> x4 = {1, -2, 3, 0.25};
  double work[4];
  std::vector<double> y = {kNaN, std::numeric_limits<double>::infinity(), kNaN};
  dcsrmm_(0, 3, 1, 4, 1.0, kGeneral, s.rval.data(), s.rind.data(), s.rptr.data(), x4.data() + 1, 4, 0.0,
          y.data(), 3, work, 4);
  EXPECT_EQ(y[0], 2.0 * 1 + -1.0 * 3 + 0.5 * 0.25);
  EXPECT_EQ(y[1], -6.0);
  EXPECT_EQ(y[2], 2.0);
  // alpha 0: c = beta c, the matrix and b not read (null pointers here).
  std::vector<double> z = {1, 2, 3};
  dcsrmm_(0, 3, 1, 4, 0.0, kGeneral, nullptr, nullptr, s.rptr.data(), nullptr, 4, 2.0, z.data(), 3, work, 4);
  EXPECT_EQ(z, (std::vector<double>{2, 4, 6}));
  dcoomm_(0, 3, 1, 4, 0.0, kGeneral, nullptr, nullptr, nullptr, 5, nullptr, 4, 0.0, z.data(), 3, work, 4);
  EXPECT_EQ(z, (std::vector<double>{0, 0, 0}));
}

TEST(Kernels, BlocksOfSeveralColumnsUseTheLeadingDimensions) {
  const Sparse s(3, 4, kRect, 0);
  // Two right-hand columns, ldb 5 and ldc 4 (one unused element per column).
  const std::vector<double> b = {1, -2, 3, 0.25, 99, 2, 0, -1, 1, 99};
  std::vector<double> c = {7, 7, 7, -5, 7, 7, 7, -5};
  double work[8];
  dcsrmm_(0, 3, 2, 4, 2.0, kGeneral, s.rval.data(), s.rind.data(), s.rptr.data(), b.data() + 1, 5, 0.0, c.data(),
          4, work, 8);
  for (int l = 0; l < 2; l++) {
    const std::vector<double> xl(b.begin() + 5 * l, b.begin() + 5 * l + 4);
    const std::vector<double> want = denseProduct(s, false, 2.0, xl, 0.0, {0, 0, 0});
    for (int i = 0; i < 3; i++) EXPECT_DOUBLE_EQ(c[4 * l + i], want[i]);
    EXPECT_EQ(c[4 * l + 3], -5);
  }
}

// Triangles for the solves: lower with diagonal, the same without it, upper with diagonal (first).
const std::vector<double> kLower = {2, 0, 0, 0,   //
                                    1, 4, 0, 0,   //
                                    0, -1, 5, 0,  //
                                    3, 0, 2, 8};
std::vector<double> transposed(const std::vector<double>& a) {
  std::vector<double> t(16);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) t[j * 4 + i] = a[i * 4 + j];
  return t;
}
std::vector<double> withoutDiagonal(std::vector<double> a) {
  for (int i = 0; i < 4; i++) a[i * 5] = 0;
  return a;
}
// Dense substitution y_i = alpha (b_i - sum_j t_ij y_j) / t_ii over the triangle (unit: t_ii taken as
// 1); for alpha 1 this is T^-1 b, for other alpha the recurrence of the kernels. The column-oriented
// Unit kernels keep y_i unscaled and scatter alpha y_i (`column_unit`).
std::vector<double> denseTriSolve(const std::vector<double>& t, bool lower, bool unit, double alpha,
                                  const std::vector<double>& b, bool column_unit = false) {
  std::vector<double> y(4);
  for (int s = 0; s < 4; s++) {
    const int i = lower ? s : 3 - s;
    double acc = b[i];
    for (int j = 0; j < 4; j++)
      if (j != i) acc -= t[i * 4 + j] * (column_unit ? alpha * y[j] : y[j]) * ((lower ? j < i : j > i) ? 1 : 0);
    if (!column_unit) acc *= alpha;
    y[i] = unit ? acc : acc / t[i * 5];
  }
  return y;
}

TEST(Kernels, TriangularSolvesMatchDense) {
  const std::vector<double> b = {1, -2, 0.5, 3};
  double work[4];
  struct Tri {
    std::vector<double> dense;
    bool lower, unit;
  };
  const Tri tris[] = {{kLower, true, false},
                      {withoutDiagonal(kLower), true, true},
                      {transposed(kLower), false, false},
                      {transposed(withoutDiagonal(kLower)), false, true}};
  for (const Tri& t : tris) {
    const int descra[3] = {0, t.lower ? 1 : 2, t.unit ? 1 : 0};
    for (double alpha : {1.0, -1.5}) {
      const std::vector<double> want = denseTriSolve(t.dense, t.lower, t.unit, alpha, b);
      const std::vector<double> want_col = denseTriSolve(t.dense, t.lower, t.unit, alpha, b, t.unit);
      for (int base : {0, 1}) {
        // The transpose: the other scheme's arrays read as this triangle's transpose.
        const Sparse s(4, 4, t.dense, base), st(4, 4, transposed(t.dense), base);
        const int tdescra[3] = {0, t.lower ? 2 : 1, t.unit ? 1 : 0};
        using Solve = decltype(&dcsrsm_);
        auto check = [&](Solve solve, int transa, const int* d, const std::vector<double>& v, const std::vector<int>& ind,
                         const std::vector<int>& ptr, const std::vector<double>& expected, const char* what) {
          std::vector<double> c(4, kNaN);
          solve(transa, 4, 1, 1, nullptr, alpha, d, v.data(), ind.data(), ptr.data(), b.data(), 4, 0.0,
                base == 0 ? c.data() + 1 : c.data(), 4, work, 4);
          for (int i = 0; i < 4; i++) EXPECT_NEAR(c[i], expected[i], 1e-14) << what << " base " << base;
        };
        check(dcsrsm_, 0, descra, s.rval, s.rind, s.rptr, want, "csr");
        check(dcscsm_, 0, descra, s.cval, s.cind, s.cptr, want_col, "csc");
        check(dcsrsm_, 1, tdescra, st.rval, st.rind, st.rptr, want_col, "csr^T");
        check(dcscsm_, 2, tdescra, st.cval, st.cind, st.cptr, want, "csc^T");
      }
    }
  }
}

TEST(Kernels, SolveEdgeCases) {
  double work[4];
  // In place: b = y, c = y advanced by one element (the preconditioner's upper solve).
  const Sparse up(4, 4, transposed(kLower), 0);
  std::vector<double> y = {1, -2, 0.5, 3};
  const std::vector<double> want = denseTriSolve(transposed(kLower), false, false, 1.0, y);
  const int upper[3] = {0, 2, 0};
  dcsrsm_(0, 4, 1, 1, nullptr, 1.0, upper, up.rval.data(), up.rind.data(), up.rptr.data(), y.data(), 4, 0.0,
          y.data() + 1, 4, work, 4);
  for (int i = 0; i < 4; i++) EXPECT_NEAR(y[i], want[i], 1e-14);

  // alpha 0: c untouched, not even the copy of b.
  std::vector<double> c = {5, 6, 7, 8};
  const std::vector<double> b = {1, 1, 1, 1};
  dcscsm_(0, 4, 1, 1, nullptr, 0.0, upper, up.cval.data(), up.cind.data(), up.cptr.data(), b.data(), 4, 0.0,
          c.data() + 1, 4, work, 4);
  EXPECT_EQ(c, (std::vector<double>{5, 6, 7, 8}));

  // An empty row: Unit gives b; Diag divides by a zero diagonal instead of borrowing another row's entry.
  const std::vector<double> val = {2.0, 3.0};
  const std::vector<int> ind = {0, 2}, ptr = {0, 1, 1, 2};
  std::vector<double> r(3);
  dcsrsm_(0, 3, 1, 1, nullptr, 1.0, kD011, val.data(), ind.data(), ptr.data(), b.data(), 3, 0.0,
          r.data() + 1, 3, work, 3);
  EXPECT_EQ(r[1], 1.0);
  dcsrsm_(0, 3, 1, 1, nullptr, 1.0, upper, val.data(), ind.data(), ptr.data(), b.data(), 3, 0.0, r.data() + 1, 3,
          work, 3);
  EXPECT_EQ(r[2], 1.0 / 3.0);
  EXPECT_TRUE(std::isinf(r[1]));
  EXPECT_EQ(r[0], 0.5);

  // A lower Diag solve divides by the row's last stored entry, whatever its column.
  const std::vector<double> lv = {4.0, 2.0, 8.0};
  const std::vector<int> li = {0, 0, 1}, lp = {0, 1, 3};
  std::vector<double> s(2);
  dcsrsm_(0, 2, 1, 1, nullptr, 1.0, kD010, lv.data(), li.data(), lp.data(), b.data(), 2, 0.0,
          s.data() + 1, 2, work, 2);
  EXPECT_EQ(s[0], 0.25);
  EXPECT_EQ(s[1], (1.0 - 2.0 * 0.25) / 8.0);

  // 1 x 1 systems, zero-based, through the whole chain.
  const double one_val[1] = {4.0};
  const int one_ind[1] = {0}, one_ptr[2] = {0, 1};
  double x1[1] = {2.0}, y1[1] = {0.0};
  dcsrmm_(0, 1, 1, 1, 1.0, kGeneral, one_val, one_ind, one_ptr, x1 + 1, 1, 1.0, y1, 1, work, 1);
  EXPECT_EQ(y1[0], 8.0);
  dcsrsm_(0, 1, 1, 1, nullptr, 1.0, upper, one_val, one_ind, one_ptr, y1, 1, 0.0, y1 + 1, 1, work, 1);
  EXPECT_EQ(y1[0], 2.0);
}

// The order of the arithmetic, which the solver's bit-for-bit results rest on: sums run over a row's
// entries in storage order (1, 1e16, -1e16 sums to 0 that way and to 1 backwards), and a scaled Diag
// solve multiplies by alpha before it divides.
TEST(Kernels, ArithmeticOrderIsStorageOrder) {
  double work[4];
  const double v[3] = {1.0, 1e16, -1e16};
  const int ind[3] = {0, 1, 2}, ptr[2] = {0, 3};
  const double ones[3] = {1, 1, 1};
  double y = 0.0;
  dcsrmm_(0, 1, 1, 3, 1.0, kGeneral, v, ind, ptr, ones + 1, 3, 1.0, &y, 1, work, 1);
  EXPECT_EQ(y, 0.0);

  // Unit lower solve: rows 0 to 2 empty (c = b = 1), row 3 holds the three entries.
  const int lptr[5] = {0, 0, 0, 0, 3};
  const double b[4] = {1, 1, 1, 1};
  double c[4] = {kNaN, kNaN, kNaN, kNaN};
  dcsrsm_(0, 4, 1, 1, nullptr, 1.0, kD011, v, ind, lptr, b, 4, 0.0, c + 1, 4, work, 4);
  EXPECT_EQ(c[3], 1.0);

  // (0.7 * 0.1) / 0.2 = 0.3499999999999999, whereas (0.7 / 0.2) * 0.1 = 0.35.
  const double d[1] = {0.2}, bb[1] = {0.7};
  const int dind[1] = {0}, dptr[2] = {0, 1};
  double r[1];
  dcsrsm_(0, 1, 1, 1, nullptr, 0.1, kD020, d, dind, dptr, bb, 1, 0.0, r + 1, 1, work, 1);
  EXPECT_EQ(r[0], (0.7 * 0.1) / 0.2);
  EXPECT_NE(r[0], (0.7 / 0.2) * 0.1);
}

TEST(Kernels, SinglePrecisionForms) {
  const float val[3] = {2.f, -1.f, 3.f};
  const int ind[3] = {0, 1, 1}, ptr[3] = {0, 2, 3};
  const float x[2] = {1.5f, 0.25f};
  float y[2] = {1.f, 3.f}, work[2];
  scsrmm_(0, 2, 1, 2, 1.f, kGeneral, val, ind, ptr, x + 1, 2, 0.1f, y, 2, work, 2);
  // beta 0.1f is widened to double; each element goes through double and back to float.
  EXPECT_EQ(y[0], static_cast<float>(1.0 * static_cast<double>(0.1f)) + 2.f * 1.5f + -1.f * 0.25f);
  EXPECT_EQ(y[1], static_cast<float>(3.0 * static_cast<double>(0.1f)) + 3.f * 0.25f);
  float r[2];
  scsrsm_(0, 2, 1, 1, nullptr, 1.f, kD020, val, ind, ptr, x, 2, 0.f, r + 1, 2, work, 2);
  EXPECT_EQ(r[1], 0.25f / 3.f);
  EXPECT_EQ(r[0], (1.5f - (-1.f * r[1])) / 2.f);
}

TEST(KernelsMisuse, MessagesAndExitStatus) {
  static double val[1] = {1}, b[1] = {1}, c[2], work[1];
  static int ind[1] = {0}, ptr[2] = {0, 1};
  struct Case {
    int code, d0, d1, d2, unitd;
    double beta;
    const char* err;
  } const cases[] = {
      {-1, 1, 0, 0, 1, 1.0, "Must have general matrix\n"},  // product (compressed rows)
      {-2, 2, 0, 0, 1, 1.0, "Must have general matrix\n"},  // product (coordinates)
      {3, 1, 9, 9, 1, 1.0, "Must have general matrix\n"},
      {0, 0, 1, 0, 1, 0.5, "beta != 0 not implemented\n"},
      {10, 0, 1, 0, 1, std::numeric_limits<double>::quiet_NaN(), "beta != 0 not implemented\n"},
      {3, 0, 9, 9, 1, 0.0, "Bad transa\n"},
      {0, 0, 1, 2, 1, 0.0, "Bad descra[2]\n"},
      {11, 0, 3, 0, 1, 0.0, "Bad descra[1]\n"},
      {0, 0, 0, 0, 1, 0.0, "Bad descra[1]\n"},
      {0, 0, 2, 0, 2, 0.0, "unitd != 1 not implemented\n"},
  };
  for (const Case& cs : cases) {
    ChildResult r = runInChild([&] {
      const int d[3] = {cs.d0, cs.d1, cs.d2};
      if (cs.code == -1)
        dcsrmm_(0, 1, 1, 1, 1.0, d, val, ind, ptr, b, 1, cs.beta, c, 1, work, 1);
      else if (cs.code == -2)
        dcoomm_(0, 1, 1, 1, 1.0, d, val, ind, ind, 1, b, 1, cs.beta, c, 1, work, 1);
      else if (cs.code >= 10)  // compressed-column solve with transa code - 10
        dcscsm_(cs.code - 10, 1, 1, cs.unitd, nullptr, 1.0, d, val, ind, ptr, b, 1, cs.beta, c + 1, 1, work, 1);
      else
        dcsrsm_(cs.code, 1, 1, cs.unitd, nullptr, 1.0, d, val, ind, ptr, b, 1, cs.beta, c + 1, 1, work, 1);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 1) << cs.err;
    EXPECT_EQ(r.err, cs.err);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
