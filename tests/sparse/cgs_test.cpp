// CGS and the solve wrapper: convergence, the documented edge cases, breakdowns, the allocation-free
// solver against a plain expression-by-expression reference, and misuse of the wrapper.
#include <gtest/gtest.h>

#include <CImg.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/child_process.h"
#include "sparse_test_util.h"
#include "sparse/sparse.h"

using namespace cimg_library;

namespace {

MV_Vector_double rhs(int n, double phase) {
  MV_Vector_double b(n);
  for (int i = 0; i < n; i++) b(i) = std::sin(phase + 0.1 * i) + 0.3;
  return b;
}

// Relative residual |b - A x| / |b| recomputed in long double from the raw arrays.
double trueResidual(const CsrSystem& s, const MV_Vector_double& x, const MV_Vector_double& b) {
  long double rr = 0, bb = 0;
  for (int i = 0; i < s.n; i++) {
    long double ax = 0;
    for (int t = s.row_ptr[i]; t < s.row_ptr[i + 1]; t++) ax += (long double)s.val[t] * x(s.col_ind[t]);
    const long double d = b(i) - ax;
    rr += d * d;
    bb += (long double)b(i) * b(i);
  }
  return static_cast<double>(std::sqrt(rr / bb));
}

// The method written out step by step as vector expressions, one new vector per expression, with
// the breakdown rules: a zero or non-finite rho or divisor, a non-finite step or correction, a
// non-finite residual end with code 2 before x changes.
int referenceCgs(const CompRow_Mat_double& A, MV_Vector_double& x, const MV_Vector_double& b,
                 const CompRow_ILUPreconditioner_double& M, int& max_iter, double& tol) {
  double normb = norm(b);
  MV_Vector_double r = b - A * x;
  MV_Vector_double rtilde = r;
  if (normb == 0.0) normb = 1.0;
  double resid = norm(r) / normb;
  if (!std::isfinite(resid)) {
    tol = resid;
    return 2;
  }
  if (resid <= tol) {
    tol = resid;
    max_iter = 0;
    return 0;
  }
  if (max_iter <= 0) {
    tol = resid;
    return 1;
  }
  const double inv = 1.0 / normb;
  MV_Vector_double p, phat, q, qhat, vhat, u, uhat;
  double rho_1, rho_2 = 0, alpha, beta;
  for (int i = 1; i <= max_iter; i++) {
    rho_1 = dot(rtilde, r);
    if (rho_1 == 0.0 || !std::isfinite(rho_1)) {
      tol = norm(r) / normb;
      return 2;
    }
    if (i == 1) {
      u = r;
      p = u;
    } else {
      beta = rho_1 / rho_2;
      u = r + beta * q;
      p = u + beta * (q + beta * p);
    }
    phat = M.solve(p);
    vhat = A * phat;
    const double sigma = dot(rtilde, vhat);
    alpha = rho_1 / sigma;
    if (sigma == 0.0 || !std::isfinite(sigma) || !std::isfinite(alpha)) {
      tol = norm(r) / normb;
      return 2;
    }
    q = u - alpha * vhat;
    uhat = M.solve(u + q);
    qhat = A * uhat;
    const double old_norm = norm(r);
    r -= alpha * qhat;
    resid = norm(r) * inv;
    bool finite = std::isfinite(resid);
    for (int k = 0; k < uhat.size(); k++) finite = finite && std::isfinite(uhat(k));
    if (!finite) {
      tol = old_norm / normb;
      return 2;
    }
    x += alpha * uhat;
    rho_2 = rho_1;
    if (resid < tol) {
      tol = resid;
      max_iter = i;
      return 0;
    }
  }
  tol = resid;
  return 1;
}

struct Outcome {
  int code, iters;
  double tol;
  MV_Vector_double x;
};

template <class Solver>
Outcome run(Solver solver, const CompRow_Mat_double& A, const MV_Vector_double& b,
            const CompRow_ILUPreconditioner_double& M, int max_iter, double tol, const MV_Vector_double* x0 = nullptr) {
  Outcome o{0, max_iter, tol, x0 ? *x0 : MV_Vector_double(A.dim(0), 0.0)};
  o.code = solver(A, o.x, b, M, o.iters, o.tol);
  return o;
}

int fastCgs(const CompRow_Mat_double& A, MV_Vector_double& x, const MV_Vector_double& b,
            const CompRow_ILUPreconditioner_double& M, int& max_iter, double& tol) {
  return CGS(A, x, b, M, max_iter, tol);
}
int genericCgs(const CompRow_Mat_double& A, MV_Vector_double& x, const MV_Vector_double& b,
               const CompRow_ILUPreconditioner_double& M, int& max_iter, double& tol) {
  return CGS<CompRow_Mat_double, MV_Vector_double, CompRow_ILUPreconditioner_double, double>(A, x, b, M, max_iter,
                                                                                              tol);
}

void expectIdentical(const Outcome& a, const Outcome& b, const char* what) {
  EXPECT_EQ(a.code, b.code) << what;
  EXPECT_EQ(a.iters, b.iters) << what;
  EXPECT_TRUE(sameBits(a.tol, b.tol)) << what << " " << a.tol << " " << b.tol;
  ASSERT_EQ(a.x.size(), b.x.size());
  int diff = 0;
  for (int i = 0; i < a.x.size(); i++) diff += !sameBits(a.x(i), b.x(i));
  EXPECT_EQ(diff, 0) << what;
}

TEST(Cgs, AllocationFreeSolverIsBitForBitTheExpressionForm) {
  // Non-symmetric, 34 entries in interior rows, rows stored in random order.
  CsrSystem s = makeGridSystem(24, 24, 8, 1.02, 11, true);
  const CompRow_Mat_double A = fromSystem(s);
  const CompRow_ILUPreconditioner_double M(A);
  const MV_Vector_double b = rhs(s.n, 0.4);
  for (double tol : {1e-6, 1e-12}) {
    const Outcome ref = run(referenceCgs, A, b, M, 500, tol);
    EXPECT_EQ(ref.code, 0);
    EXPECT_GT(ref.iters, 3);
    expectIdentical(run(fastCgs, A, b, M, 500, tol), ref, "fast");
    expectIdentical(run(genericCgs, A, b, M, 500, tol), ref, "generic");
  }
  // Stopped by the iteration limit, from a non-zero start.
  MV_Vector_double x0 = rhs(s.n, 1.0);
  const Outcome ref = run(referenceCgs, A, b, M, 3, 1e-14, &x0);
  EXPECT_EQ(ref.code, 1);
  EXPECT_EQ(ref.iters, 3);
  expectIdentical(run(fastCgs, A, b, M, 3, 1e-14, &x0), ref, "fast limit");
}

TEST(Cgs, SolvesSpdAndNonSymmetricSystems) {
  CsrSystem spd = makeSpdGridSystem(20, 18, 8, 4);
  CsrSystem nonsym = makeGridSystem(20, 18, 8, 1.01, 8, true);
  for (CsrSystem* s : {&spd, &nonsym}) {
    const CompRow_Mat_double A = fromSystem(*s);
    const CompRow_ILUPreconditioner_double M(A);
    const MV_Vector_double b = rhs(s->n, 2.0);
    const Outcome o = run(fastCgs, A, b, M, 500, 1e-10);
    ASSERT_EQ(o.code, 0);
    EXPECT_GE(o.iters, 1);
    EXPECT_LT(o.tol, 1e-10);
    EXPECT_LT(trueResidual(*s, o.x, b), 1e-9);
  }
}

TEST(Cgs, EdgeCases) {
  CsrSystem s = makeGridSystem(8, 7, 3, 1.1, 2, false);
  const CompRow_Mat_double A = fromSystem(s);
  const CompRow_ILUPreconditioner_double M(A);

  // Zero right-hand side: code 0 with no iteration, residual 0.
  const Outcome z = run(fastCgs, A, MV_Vector_double(s.n, 0.0), M, 500, 1e-6);
  EXPECT_EQ(z.code, 0);
  EXPECT_EQ(z.iters, 0);
  EXPECT_EQ(z.tol, 0.0);

  const MV_Vector_double b = rhs(s.n, 0.0);
  // From x = 0 the start residual is exactly 1: a tolerance of 1 is met at once, 0.999 is not.
  const Outcome at_once = run(fastCgs, A, b, M, 500, 1.0);
  EXPECT_EQ(at_once.code, 0);
  EXPECT_EQ(at_once.iters, 0);
  EXPECT_EQ(at_once.tol, 1.0);
  // max_iter 0 (or negative) with a residual left: code 1 without iterating.
  for (int limit : {0, -3}) {
    const Outcome none = run(fastCgs, A, b, M, limit, 1e-6);
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.iters, limit);
    EXPECT_EQ(none.tol, 1.0);
  }
  // Inside the loop a residual equal to the tolerance does not stop it.
  const Outcome one = run(fastCgs, A, b, M, 1, 0.0);
  ASSERT_EQ(one.code, 1);
  const Outcome equal = run(fastCgs, A, b, M, 500, one.tol);
  EXPECT_EQ(equal.code, 0);
  EXPECT_GT(equal.iters, 1);
  EXPECT_LT(equal.tol, one.tol);

  // Identity: exact factor, solved by the first iteration.
  std::vector<double> iv(5, 1.0);
  std::vector<int> ic = {0, 1, 2, 3, 4}, ip = {0, 1, 2, 3, 4, 5};
  const CompRow_Mat_double I(5, 5, 5, iv.data(), ip.data(), ic.data(), 0);
  const CompRow_ILUPreconditioner_double MI(I);
  const MV_Vector_double bi = rhs(5, 1.0);
  const Outcome id = run(fastCgs, I, bi, MI, 500, 1e-300);
  EXPECT_EQ(id.code, 0);
  EXPECT_EQ(id.iters, 1);
  for (int i = 0; i < 5; i++) EXPECT_EQ(id.x(i), bi(i));
}

TEST(Cgs, NotANumberIsABreakdownNeverConvergence) {
  // A zero pivot: the factor holds infinities, the first direction is NaN.
  double v[2] = {1, 1};
  int c[2] = {1, 0}, p[3] = {0, 1, 2};
  const CompRow_Mat_double A(2, 2, 2, v, p, c, 0);
  const CompRow_ILUPreconditioner_double M(A);
  MV_Vector_double b(2, 1.0);
  for (auto solver : {fastCgs, genericCgs, referenceCgs}) {
    const Outcome o = run(solver, A, b, M, 500, 1e-6);
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.iters, 500);
    EXPECT_EQ(o.x(0), 0.0);  // x untouched
    EXPECT_EQ(o.x(1), 0.0);
    EXPECT_EQ(o.tol, 1.0);
  }
  // A NaN in the matrix: the start residual is NaN.
  double nv[1] = {std::numeric_limits<double>::quiet_NaN()};
  int nc[1] = {0}, np[2] = {0, 1};
  const CompRow_Mat_double N(1, 1, 1, nv, np, nc, 0);
  const CompRow_ILUPreconditioner_double MN(N);
  const Outcome o = run(fastCgs, N, MV_Vector_double(1, 1.0), MN, 500, 1e-6);
  EXPECT_EQ(o.code, 2);
  EXPECT_TRUE(std::isnan(o.tol));
  // A NaN right-hand side likewise.
  const Outcome ob = run(fastCgs, N, MV_Vector_double(1, std::numeric_limits<double>::quiet_NaN()), MN, 500, 1e-6);
  EXPECT_EQ(ob.code, 2);
}

// A skew-symmetric operator with the identity preconditioner: (rtilde, A p) is exactly 0 at the first
// iteration, a zero divisor that ends the generic form with a breakdown before x changes.
struct Skew2 {
  MV_Vector_double operator*(const MV_Vector_double& x) const {
    MV_Vector_double y(2);
    y(0) = x(1);
    y(1) = -x(0);
    return y;
  }
};
struct IdentityPreconditioner {
  MV_Vector_double solve(const MV_Vector_double& x) const { return x; }
};

TEST(Cgs, ZeroDivisorIsABreakdown) {
  double bv[2] = {1, 2};
  const MV_Vector_double b(bv, 2);
  MV_Vector_double x(2, 0.0);
  int max_iter = 50;
  double tol = 1e-8;
  EXPECT_EQ(CGS(Skew2(), x, b, IdentityPreconditioner(), max_iter, tol), 2);
  EXPECT_EQ(max_iter, 50);
  EXPECT_EQ(tol, 1.0);
  EXPECT_EQ(x(0), 0.0);
  EXPECT_EQ(x(1), 0.0);

  // A zero divisor at the second iteration, from a zero start: the solve stops there with its first
  // iterate, whichever form runs it.
  double v[6] = {3, 2, 2, -2, -3, -2}, b3[3] = {2, -3, 1};
  int c[6] = {0, 2, 0, 1, 1, 2}, p[4] = {0, 2, 4, 6};
  const CompRow_Mat_double A(3, 3, 6, v, p, c, 0);
  const CompRow_ILUPreconditioner_double M(A);
  const Outcome ref = run(referenceCgs, A, MV_Vector_double(b3, 3), M, 500, 1e-8);
  EXPECT_EQ(ref.code, 2);
  EXPECT_NE(ref.x(0), 0.0);
  expectIdentical(run(fastCgs, A, MV_Vector_double(b3, 3), M, 500, 1e-8), ref, "fast");
}

TEST(Inversion, WritesTheSolutionIntoTheImage) {
  // Diagonal system with solution x_i = i: a 2 x 2 image of depth 2 gets element z*4 + y*2 + x.
  std::vector<double> v(8, 2.0);
  std::vector<int> c(8), p(9);
  for (int i = 0; i < 9; i++) p[i] = i;
  for (int i = 0; i < 8; i++) c[i] = i;
  MV_Vector_double b(8);
  for (int i = 0; i < 8; i++) b(i) = 2.0 * i;
  CImg<double> res(2, 2, 2, 1, -1.0), zero(4, 2, 1, 1, 7.0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(standard_CGS_inversion(8, 8, v.data(), p.data(), c.data(), b, res, 1e-6), 0);
  // The overload without a tolerance, and a zero right-hand side: zeros.
  EXPECT_EQ(standard_CGS_inversion(8, 8, v.data(), p.data(), c.data(), MV_Vector_double(8, 0.0), zero), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // nothing printed on success
  cimg_forXYZ(res, x, y, z) EXPECT_NEAR(res(x, y, z), z * 4 + y * 2 + x, 1e-12);
  EXPECT_EQ(v, std::vector<double>(8, 2.0));  // arrays untouched
  EXPECT_EQ(b(3), 6.0);                      // passed by value
  EXPECT_TRUE(zero.max() == 0.0 && zero.min() == 0.0);
}

TEST(Inversion, FailuresAreReportedOnOneLineWithoutNewline) {
  // Zero pivot: breakdown, reported and the (zero) last iterate still written.
  ChildResult r = runInChild([] {
    double v[2] = {1, 1};
    int c[2] = {1, 0}, p[3] = {0, 1, 2};
    CImg<double> res(2, 1, 1, 1, 5.0);
    const int code = standard_CGS_inversion(2, 2, v, p, c, MV_Vector_double(2, 1.0), res, 1e-6);
    std::exit(code * 10 + (res(0) == 0.0 && res(1) == 0.0 ? 1 : 0));
  });
  EXPECT_EQ(r.exitCode, 21);
  EXPECT_EQ(r.out, "no convergence (output CGS 2)");

  // Not converged within 500 iterations: a slowly converging system and a negative tolerance. The
  // image still receives the 500th iterate (u in slice 0, v in slice 1).
  CsrSystem s = makeGridSystem(30, 30, 8, 1.0, 5, true);
  const CompRow_Mat_double A = fromSystem(s);
  const CompRow_ILUPreconditioner_double M(A);
  const Outcome last = run(referenceCgs, A, MV_Vector_double(s.n, 1.0), M, 500, -1.0);
  ASSERT_EQ(last.code, 1);
  r = runInChild([&s, &last] {
    CImg<double> res(30, 30, 2);
    const int code = standard_CGS_inversion(s.n, s.nnz(), s.val.data(), s.row_ptr.data(), s.col_ind.data(),
                                            MV_Vector_double(s.n, 1.0), res, -1.0);
    bool same = true;
    for (int z = 0; z < 2; z++)
      for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) same = same && sameBits(res(x, y, z), last.x(z * 900 + y * 30 + x));
    std::exit(code * 10 + (same ? 1 : 0));
  });
  EXPECT_EQ(r.exitCode, 11);
  EXPECT_EQ(r.out, "no convergence (output CGS 1)");
}

TEST(Inversion, BadArraysEndTheProcess) {
  struct Case {
    int taille, p[3], c[3], w, h;
    bool logDet;
    const char* needle;
  } const cases[] = {
      {2, {1, 2, 3}, {0, 1, 1}, 2, 1, false, "start at 0"},
      {2, {0, 2, 1}, {0, 1, 1}, 2, 1, false, "decrease"},
      {2, {0, 2, 4}, {0, 1, 1}, 2, 1, false, "beyond the entry count"},
      {2, {0, 2, 3}, {0, 2, 1}, 2, 1, false, "column index outside"},
      {2, {0, 2, 3}, {0, -1, 1}, 2, 1, false, "column index outside"},
      {2, {0, 2, 3}, {0, 1, 1}, 2, 2, false, "solution image"},
      {2, {0, 2, 3}, {0, 5, 1}, 0, 0, true, "ILU_logDetA: column index outside"},
      {-2, {0, 2, 3}, {0, 1, 1}, 0, 0, true, "ILU_logDetA: negative"},
  };
  for (const Case& cs : cases) {
    ChildResult r = runInChild([&cs] {
      double v[3] = {1, 1, 1};
      int p[3] = {cs.p[0], cs.p[1], cs.p[2]}, c[3] = {cs.c[0], cs.c[1], cs.c[2]};
      CImg<double> res(cs.w, cs.h);
      if (cs.logDet)
        (void)ILU_logDetA(cs.taille, 3, v, p, c);
      else
        standard_CGS_inversion(cs.taille, 3, v, p, c, MV_Vector_double(2, 1.0), res);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 1) << cs.needle;
    EXPECT_NE(r.err.find(cs.needle), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // A right-hand side of the wrong length: the vector arithmetic's message.
  ChildResult r = runInChild([] {
    double v[3] = {1, 1, 1};
    int c[3] = {0, 1, 1}, p[3] = {0, 2, 3};
    CImg<double> res(2);
    standard_CGS_inversion(2, 3, v, p, c, MV_Vector_double(3, 1.0), res);
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Incompatible vector lengths in -.\n");
}

}  // namespace
