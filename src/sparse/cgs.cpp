// CGS for the system's matrix, vector and preconditioner types without allocation inside the
// iterations. Each pass below walks the rows once and computes, element by element, exactly the
// operations of the expression form (generic CGS in cgs.h) in the same order:
//   A: u = r + beta q, p = u + beta (q + beta p), then the forward substitution of phat = M^-1 p
//   B: the backward substitution of phat
//   C: vhat = A phat and sigma = (rtilde, vhat)
//   D: q = u - alpha vhat, then the forward substitution of uhat = M^-1 (u + q)
//   E: the backward substitution of uhat
//   G: qhat = A uhat, r = r - alpha qhat, |r|^2 and the next rho = (rtilde, r)
//   F: x = x + alpha uhat, once the new residual is known to be finite

#include <cmath>

#include "sparse/cgs.h"
#include "sparse/upper_solve.h"

namespace {

inline bool is_finite(double v) { return std::isfinite(v); }

}  // namespace

void CGSWork::reserve(int n) {
  if (r.size() == n) return;
  for (MV_Vector_double* v : {&r, &rtilde, &p, &phat, &q, &u, &uhat, &vhat}) v->newsize(n);
}

int CGS(const CompRow_Mat_double& A, MV_Vector_double& x, const MV_Vector_double& b,
        const CompRow_ILUPreconditioner_double& M, int& max_iter, double& tol) {
  const int n = A.dim(0);
  if (A.dim(1) != n || x.size() != n || b.size() != n || M.dim(0) != n) {
    // Shapes that the system never builds: the expression form reports them as it meets them.
    return CGS<CompRow_Mat_double, MV_Vector_double, CompRow_ILUPreconditioner_double, double>(A, x, b, M,
                                                                                                max_iter, tol);
  }
  CGSWork work;
  return CGS(n, {A.values().data(), A.column_indices().data(), A.row_pointers().data()}, M, x.data(), b.data(),
             work, max_iter, tol);
}

namespace {

// The solver. With skipProduct (x +0 in every element) the start residual is b - x instead of b - A x:
// the same values when A is finite (each product with +0 is a zero, their sum from +0 stays +0), which
// the first iteration shows (a non-finite entry of A makes sigma = (rtilde, A phat) non-finite). A
// solve that would end before that returns kRerun, x unchanged, to be run again with the product.
constexpr int kRerun = -1;
int run(int n, const CompRowView& A, const CompRow_ILUPreconditioner_double& M, double* x, const double* b,
        CGSWork& work, int& max_iter, double& tol, bool skipProduct) {
  const double* const av = A.val;
  const int* const ac = A.col_ind;
  const int* const ap = A.row_ptr;
  const double* const lv = M.l_values().data();
  const int* const lc = M.l_column_indices().data();
  const int* const lp = M.l_row_pointers().data();
  const double* const uv = M.u_values().data();
  const int* const uc = M.u_column_indices().data();
  const int* const up = M.u_row_pointers().data();

  work.reserve(n);
  double* const r = work.r.data();
  double* const rtilde = work.rtilde.data();
  double* const p = work.p.data();
  double* const phat = work.phat.data();
  double* const q = work.q.data();
  double* const u = work.u.data();
  double* const uhat = work.uhat.data();
  double* const vhat = work.vhat.data();
  double* const xp = x;
  const double* const bp = b;

  // normb = norm(b)
  double normb;
  {
    double s = 0.0;
    for (int i = 0; i < n; i++) s += bp[i] * bp[i];
    normb = std::sqrt(s);
  }
  // r = b - A x, rtilde = r, |r|^2 (= (rtilde, r)); without the product, y is x[i] (+0) itself.
  double rr = 0.0;
  for (int i = 0; i < n; i++) {
    double y = xp[i];
    if (!skipProduct) {
      y = 0.0;
      for (int j = ap[i]; j < ap[i + 1]; j++) y = y + av[j] * xp[ac[j]];
    }
    const double ri = bp[i] - y;
    r[i] = ri;
    rtilde[i] = ri;
    rr += ri * ri;
  }
  double rho_next = rr;
  double rnorm = std::sqrt(rr);

  if (normb == 0.0) normb = 1.0;

  double resid = rnorm / normb;
  work.iterations = 0;
  const int start = cgs_start_code(resid, tol, max_iter);
  if (start >= 0) return skipProduct ? kRerun : start;
  const double inv_normb = 1.0 / normb;

  double rho_1 = 0.0, rho_2 = 0.0, alpha = 0.0, beta = 0.0;
  for (int it = 1; it <= max_iter; it++) {
    work.iterations = it;
    rho_1 = rho_next;
    if (rho_1 == 0.0 || !is_finite(rho_1)) {
      if (skipProduct) return kRerun;
      tol = rnorm / normb;
      return 2;
    }

    // Pass A.
    if (it == 1) {
      for (int i = 0; i < n; i++) {
        const double ui = r[i];
        u[i] = ui;
        p[i] = ui;
        double z = 0.0;
        for (int j = lp[i]; j < lp[i + 1]; j++) z = lv[j] * phat[lc[j]] + z;
        phat[i] = ui - z;
      }
    } else {
      beta = rho_1 / rho_2;
      for (int i = 0; i < n; i++) {
        const double ui = r[i] + beta * q[i];
        u[i] = ui;
        const double t = q[i] + beta * p[i];
        const double pi = ui + beta * t;
        p[i] = pi;
        double z = 0.0;
        for (int j = lp[i]; j < lp[i + 1]; j++) z = lv[j] * phat[lc[j]] + z;
        phat[i] = pi - z;
      }
    }
    // Pass B.
    sparse_detail::upper_solve_in_place(n, uv, uc, up, phat);
    // Pass C.
    double sigma = 0.0;
    for (int i = 0; i < n; i++) {
      double y = 0.0;
      for (int j = ap[i]; j < ap[i + 1]; j++) y = y + av[j] * phat[ac[j]];
      vhat[i] = y;
      sigma += rtilde[i] * y;
    }
    alpha = rho_1 / sigma;
    if (sigma == 0.0 || !is_finite(sigma) || !is_finite(alpha)) {
      if (skipProduct) return kRerun;
      tol = rnorm / normb;
      return 2;
    }
    skipProduct = false;  // sigma is finite: so is every entry of A
    // Pass D.
    for (int i = 0; i < n; i++) {
      const double ui = u[i];
      const double qi = ui - alpha * vhat[i];
      q[i] = qi;
      const double t = ui + qi;
      double z = 0.0;
      for (int j = lp[i]; j < lp[i + 1]; j++) z = lv[j] * uhat[lc[j]] + z;
      uhat[i] = t - z;
    }
    // Pass E.
    sparse_detail::upper_solve_in_place(n, uv, uc, up, uhat);
    // Pass G.
    rr = 0.0;
    rho_next = 0.0;
    bool finite_step = true;
    for (int i = 0; i < n; i++) {
      double y = 0.0;
      for (int j = ap[i]; j < ap[i + 1]; j++) y = y + av[j] * uhat[ac[j]];
      const double ri = r[i] - alpha * y;
      r[i] = ri;
      rr += ri * ri;
      rho_next += rtilde[i] * ri;
      finite_step = finite_step && is_finite(uhat[i]);
    }
    const double rnorm_new = std::sqrt(rr);
    resid = rnorm_new * inv_normb;
    if (!is_finite(resid) || !finite_step) {
      tol = rnorm / normb;
      return 2;
    }
    // Pass F.
    for (int i = 0; i < n; i++) xp[i] = xp[i] + alpha * uhat[i];

    rho_2 = rho_1;
    rnorm = rnorm_new;
    if (resid < tol) {
      tol = resid;
      max_iter = it;
      return 0;
    }
  }
  tol = resid;
  return 1;
}

}  // namespace

int CGS(int n, const CompRowView& A, const CompRow_ILUPreconditioner_double& M, double* x, const double* b,
        CGSWork& work, int& max_iter, double& tol) {
  bool zeroStart = true;
  for (int i = 0; i < n && zeroStart; i++) zeroStart = x[i] == 0.0 && !std::signbit(x[i]);
  const int max_iter0 = max_iter;
  const double tol0 = tol;
  if (const int code = run(n, A, M, x, b, work, max_iter, tol, zeroStart); code != kRerun) return code;
  max_iter = max_iter0;
  tol = tol0;
  return run(n, A, M, x, b, work, max_iter, tol, false);
}
