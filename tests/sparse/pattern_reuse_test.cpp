// Solves that reuse what a pattern determines: the incomplete-LU factor of an adopted pattern (its row
// programs included) against the elimination of a one-shot factor of a matrix copy, the CGS solver on
// arrays read in place, and the pattern solver against standard_CGS_inversion, each bit for bit, over
// sequences of values that share one pattern.
#include <gtest/gtest.h>

#include <CImg.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sparse_test_util.h"
#include "sparse/sparse.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

bool sameBits(const double* a, const double* b, int n) { return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0; }

// New values in the same pattern: every value scaled by its own factor in [0.5, 1.5).
void perturb(CsrSystem& s, uint64_t seed) {
  TestRng rng(seed);
  for (double& v : s.val) v *= 0.5 + rng.uniform();
}

// A system with a column stored twice in some rows (u-v coupling repeated), and a row without its
// diagonal.
CsrSystem withRepeatsAndAMissingDiagonal() {
  CsrSystem s = makeGridSystem(5, 4, 1, 1.5, 3, true);
  CsrSystem t;
  t.n = s.n;
  t.row_ptr.push_back(0);
  for (int i = 0; i < s.n; i++) {
    for (int k = s.row_ptr[i]; k < s.row_ptr[i + 1]; k++) {
      if (i == 7 && s.col_ind[k] == i) continue;  // row 7 loses its diagonal
      t.col_ind.push_back(s.col_ind[k]);
      t.val.push_back(s.val[k]);
      if (i % 3 == 0 && k == s.row_ptr[i]) {  // the first entry again
        t.col_ind.push_back(s.col_ind[k]);
        t.val.push_back(0.25 * s.val[k]);
      }
    }
    t.row_ptr.push_back(t.nnz());
  }
  return t;
}

void expectSameFactor(const CompRow_ILUPreconditioner_double& P, const CompRow_ILUPreconditioner_double& F,
                      const std::string& what) {
  ASSERT_EQ(P.dim(0), F.dim(0)) << what;
  const int n = P.dim(0);
  for (int i = 0; i <= n; i++) {
    ASSERT_EQ(P.l_row_pointers()(i), F.l_row_pointers()(i)) << what << " row " << i;
    ASSERT_EQ(P.u_row_pointers()(i), F.u_row_pointers()(i)) << what << " row " << i;
  }
  const int nl = F.l_values().size(), nu = F.u_values().size();
  for (int t = 0; t < nl; t++) ASSERT_EQ(P.l_column_indices()(t), F.l_column_indices()(t)) << what;
  for (int t = 0; t < nu; t++) ASSERT_EQ(P.u_column_indices()(t), F.u_column_indices()(t)) << what;
  EXPECT_TRUE(sameBits(P.l_values().data(), F.l_values().data(), nl)) << what;
  EXPECT_TRUE(sameBits(P.u_values().data(), F.u_values().data(), nu)) << what;
}

struct Case {
  const char* name;
  CsrSystem s;
  int shapes;  // row shapes with a program: -1 for a few (stencil), else exactly
};

// Stencil rows in stored order (rows of few shapes: the factor keeps programs), rows in random order
// (too many shapes: the factor works through the scatter array), random patterns, repeated columns.
std::vector<Case> cases() {
  return {{"grid", makeGridSystem(30, 24, 2, 1.5, 5, false), -1},
          {"grid, rows in random order", makeGridSystem(30, 24, 2, 1.5, 5, true), 0},
          {"random", makeRandomSystem(150, 7, 11), 150},
          {"repeated columns, missing diagonal", withRepeatsAndAMissingDiagonal(), 0}};
}

}  // namespace

TEST(PatternReuse, RowProgramsEqualTheElimination) {
  for (Case& c : cases()) {
    CompRow_ILUPreconditioner_double P;
    P.adopt(c.s.n, c.s.row_ptr.data(), c.s.col_ind.data());
    for (uint64_t round = 0; round < 3; round++) {
      if (round > 0) perturb(c.s, round);
      P.factor(c.s.val.data(), c.s.row_ptr.data(), c.s.col_ind.data());
      // The first factorisation goes through the scatter array; the programs come with the second and
      // must give the factor of the elimination itself.
      // A stencil has rows of a few shapes only (the border rows and the inner ones); rows stored in
      // random order have too many, a small random pattern one per row, repeated columns none.
      if (round == 0)
        EXPECT_EQ(P.rowShapes(), 0) << c.name;
      else if (c.shapes < 0)
        EXPECT_LT(P.rowShapes(), c.s.n / 8) << c.name;
      else
        EXPECT_EQ(P.rowShapes(), c.shapes) << c.name;
      const CompRow_ILUPreconditioner_double F(fromSystem(c.s));
      expectSameFactor(P, F, std::string(c.name) + ", round " + std::to_string(round));
      // The raw-array factor reads the same arrays in place.
      const CompRow_ILUPreconditioner_double R(c.s.n, c.s.nnz(), c.s.val.data(), c.s.row_ptr.data(),
                                               c.s.col_ind.data());
      EXPECT_TRUE(sameBits(R.u_values().data(), F.u_values().data(), F.u_values().size())) << c.name;
      EXPECT_TRUE(sameBits(R.l_values().data(), F.l_values().data(), F.l_values().size())) << c.name;
    }
  }
}

TEST(PatternReuse, NonFiniteValuesAndZeroPivotsFactoriseAlike) {
  CsrSystem s = makeGridSystem(8, 6, 2, 1.1, 2, false);
  CompRow_ILUPreconditioner_double P;
  P.adopt(s.n, s.row_ptr.data(), s.col_ind.data());
  s.val[s.row_ptr[5]] = 0.0;  // a zero pivot
  s.val[40] = std::numeric_limits<double>::quiet_NaN();
  s.val[41] = -std::numeric_limits<double>::infinity();
  P.factor(s.val.data(), s.row_ptr.data(), s.col_ind.data());
  expectSameFactor(P, CompRow_ILUPreconditioner_double(fromSystem(s)), "non-finite");
}

TEST(PatternReuse, SortedKeysCarryIntValuesLikeDoubleValues) {
  TestRng rng(4);
  for (int n : {1, 4, 5, 6, 17, 40}) {
    std::vector<int> keys(n);
    for (int& k : keys) k = rng.below(9);  // many equal keys
    MV_Vector_int k1(keys.data(), n);
    MV_Vector_double v1(n);
    std::vector<int> k2 = keys, v2(n);
    for (int i = 0; i < n; i++) {
      v1(i) = i;
      v2[i] = i;
    }
    QSort(k1, v1, 0, n);
    QSort(k2.data(), v2.data(), 0, n);
    for (int i = 0; i < n; i++) {
      EXPECT_EQ(k1(i), k2[i]);
      EXPECT_EQ(v1(i), v2[i]) << "n " << n << " position " << i;
    }
  }
}

TEST(PatternReuse, SolvesEqualStandardInversionInValuesCodesAndLines) {
  for (Case& c : cases()) {
    PatternCGSInversion solver;
    solver.adopt(c.s.n, c.s.nnz(), c.s.val.data(), c.s.row_ptr.data(), c.s.col_ind.data());
    for (uint64_t round = 0; round < 3; round++) {
      if (round > 0) perturb(c.s, 10 + round);
      MV_Vector_double B(c.s.n);
      for (int i = 0; i < c.s.n; i++) B(i) = std::sin(0.3 * i + round) + 0.2;
      for (double tol : {1e-6, -1.0}) {  // no residual reaches the second: it fails
        CImg<double> res(c.s.n, 1, 1, 1, 0.0);
        int code1 = -1, code2 = -1;
        const std::string out1 = captureStdout([&] {
          code1 = standard_CGS_inversion(c.s.n, c.s.nnz(), c.s.val.data(), c.s.row_ptr.data(), c.s.col_ind.data(), B,
                                         res, tol);
        });
        const std::string out2 = captureStdout(
            [&] { code2 = solver.solve(c.s.val.data(), c.s.row_ptr.data(), c.s.col_ind.data(), B, tol); });
        EXPECT_EQ(code1, code2) << c.name;
        EXPECT_EQ(out1, out2) << c.name;
        EXPECT_TRUE(sameBits(res.data(), solver.solution().data(), c.s.n)) << c.name << ", tol " << tol;
        if (tol < 0) {
          EXPECT_NE(code2, 0) << c.name;
          EXPECT_EQ(out2, "no convergence (output CGS " + std::to_string(code2) + ")");
        } else {
          EXPECT_EQ(code2, 0) << c.name;
          EXPECT_EQ(out2, "");
        }
      }
    }
    EXPECT_EQ(solver.structures(), 1);
    EXPECT_EQ(solver.factorisations(), 6);
    EXPECT_EQ(solver.solves(), 6);
    EXPECT_GT(solver.iterations(), 6);
    EXPECT_LE(solver.iterations(), 6 * 500);
  }
}

TEST(PatternReuse, RawArrayCgsMatchesTheMatrixForm) {
  CsrSystem s = makeGridSystem(10, 10, 2, 1.05, 8, true);
  const CompRow_Mat_double A = fromSystem(s);
  const CompRow_ILUPreconditioner_double M(A);
  MV_Vector_double b(s.n), x1(s.n, 0.0), x2(s.n, 0.0);
  for (int i = 0; i < s.n; i++) b(i) = std::cos(0.7 * i);
  int it1 = 500, it2 = 500;
  double tol1 = 1e-9, tol2 = 1e-9;
  const int code1 = CGS(A, x1, b, M, it1, tol1);
  CGSWork work;
  const int code2 = CGS(s.n, {s.val.data(), s.col_ind.data(), s.row_ptr.data()}, M, x2.data(), b.data(), work, it2,
                        tol2);
  EXPECT_EQ(code1, 0);
  EXPECT_EQ(code1, code2);
  EXPECT_EQ(it1, it2);
  EXPECT_EQ(work.iterations, it2);
  EXPECT_TRUE(sameBits(&tol1, &tol2, 1));
  EXPECT_TRUE(sameBits(x1.data(), x2.data(), s.n));
}

// From a zero start the start residual is formed without the product: the same code, iteration count,
// tolerance and iterate bit for bit as the expression form, with right-hand sides holding -0, denormals
// (read as zero by the process settings), a NaN or only zeros, no iteration allowed, and non-finite
// entries of A (the solve is then run again with the product).
TEST(PatternReuse, ZeroStartSkipsTheProductWithTheSameBits) {
  const double tiny = std::numeric_limits<double>::denorm_min() * 3, nan = std::nan("");
  struct Row {
    std::vector<double> b;  // entries 0, 5, 10, ...; -1: the whole right-hand side -0
    double a17;             // entry 17 of A
    int max_iter;
  } rows[] = {{{}, 0, 500},           {{-0.0, 0.0}, 0, 500}, {{tiny, -tiny, 1.0}, 0, 500}, {{-0.0, nan}, 0, 500},
              {{-1}, 0, 500},         {{}, 0, 0},            {{}, HUGE_VAL, 500},          {{}, nan, 500},
              {{-1}, HUGE_VAL, 500},  {{}, nan, 0}};
  for (const Row& r : rows) {
    CsrSystem s = makeGridSystem(9, 7, 2, 1.2, 6, false);
    if (r.a17 != 0) s.val[17] = r.a17;
    const CompRow_Mat_double A = fromSystem(s);
    const CompRow_ILUPreconditioner_double M(A);
    MV_Vector_double b(s.n);
    for (int i = 0; i < s.n; i++) b(i) = r.b == std::vector<double>{-1} ? -0.0 : std::cos(0.3 * i);
    for (size_t i = 0; i < r.b.size() && r.b[0] != -1; i++) b(int(5 * i)) = r.b[i];
    MV_Vector_double x[2] = {MV_Vector_double(s.n, 0.0), MV_Vector_double(s.n, 0.0)};
    int it[2] = {r.max_iter, r.max_iter}, code[2];
    double tol[2] = {1e-8, 1e-8};
    CGSWork work;
    code[0] = CGS(s.n, {s.val.data(), s.col_ind.data(), s.row_ptr.data()}, M, x[0].data(), b.data(), work, it[0],
                  tol[0]);
    code[1] = CGS<CompRow_Mat_double, MV_Vector_double, CompRow_ILUPreconditioner_double, double>(A, x[1], b, M, it[1],
                                                                                                 tol[1]);
    const std::string what = "b of " + std::to_string(r.b.size()) + ", a " + std::to_string(r.a17);
    EXPECT_EQ(code[0], code[1]) << what;
    EXPECT_EQ(it[0], it[1]) << what;
    EXPECT_TRUE(sameBits(&tol[0], &tol[1], 1)) << what;
    EXPECT_TRUE(sameBits(x[0].data(), x[1].data(), s.n)) << what;
  }
}

TEST(PatternReuse, RefusesInconsistentArraysAndMisuse) {
  CsrSystem s = makeGridSystem(4, 4, 1, 1.5, 1, false);
  s.col_ind[3] = s.n;  // a column outside the system
  expectRefusal(runInChild([&] {
                  PatternCGSInversion p;
                  p.adopt(s.n, s.nnz(), s.val.data(), s.row_ptr.data(), s.col_ind.data());
                }),
                {"standard_CGS_inversion", "column index outside the system"});
  CsrSystem t = makeGridSystem(4, 4, 1, 1.5, 1, false);
  expectRefusal(runInChild([&] {
                  PatternCGSInversion p;
                  p.adopt(t.n, t.nnz(), t.val.data(), t.row_ptr.data(), t.col_ind.data());
                  p.solve(t.val.data(), t.row_ptr.data(), t.col_ind.data(), MV_Vector_double(t.n - 1, 1.0), 1e-6);
                }),
                {"standard_CGS_inversion", "right-hand side"});
}
