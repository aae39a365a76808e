// Preconditioned conjugate-gradient-squared solver.
//
// Returns 0 when converged (max_iter = iterations done, tol = relative residual reached), 1 when
// max_iter iterations end without convergence (tol = last relative residual), 2 on breakdown: a zero
// or non-finite inner product rho = (rtilde, r) or divisor (rtilde, vhat), a non-finite step alpha or
// correction M^-1 (u + q), a non-finite residual (also at the start). A breakdown is detected before x is changed, so x is then the last finite
// iterate and tol its relative residual; a non-finite solution is never reported as converged.
#pragma once

#include <cmath>

#include "sparse/comprow.h"
#include "sparse/ilu.h"
#include "sparse/mv_vector.h"

// The outcome of a run before its first iteration, from the starting relative residual: a non-finite
// one is a breakdown (2), one at or below tol has converged without iterating (0), no iteration
// allowed ends unconverged (1); tol then receives resid. -1 when the iterations are to run.
template <class Real>
int cgs_start_code(Real resid, Real& tol, int& max_iter) {
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
  return -1;
}

// The solver of the system: the same arithmetic as the generic form below, value for value, with its
// work vectors allocated once and the vector operations fused into a few passes per iteration.
int CGS(const CompRow_Mat_double& A, MV_Vector_double& x, const MV_Vector_double& b,
        const CompRow_ILUPreconditioner_double& M, int& max_iter, double& tol);

// 0-based compressed-row arrays read in place.
struct CompRowView {
  const double* val;
  const int* col_ind;
  const int* row_ptr;
};

// The work vectors of the solver, kept by a caller that solves many systems of one order.
struct CGSWork {
  MV_Vector_double r, rtilde, p, phat, q, u, uhat, vhat;
  int iterations = 0;   // iterations begun by the last solve (0 when it ended at the start test)
  void reserve(int n);  // n elements each (kept when they already have them)
};

// The same solver on arrays read in place: A of order n, its incomplete-LU factor M, x (the start, n
// elements, updated) and b (n elements). Same codes and arithmetic as the form above; every work vector
// is in `work`, so nothing is allocated once it holds n elements. From a zero start (+0 in every
// element) the start residual b - A x is formed without the product, which gives the same values.
int CGS(int n, const CompRowView& A, const CompRow_ILUPreconditioner_double& M, double* x, const double* b,
        CGSWork& work, int& max_iter, double& tol);

// Generic form over a matrix, vector, preconditioner and real type.
template <class Matrix, class Vector, class Preconditioner, class Real>
int CGS(const Matrix& A, Vector& x, const Vector& b, const Preconditioner& M, int& max_iter, Real& tol) {
  Real resid;
  Real rho_1 = 0, rho_2 = 0, alpha = 0, beta = 0;
  Vector p, phat, q, qhat, vhat, u, uhat;

  Real normb = norm(b);
  Vector r = b - A * x;
  Vector rtilde = r;

  if (normb == 0.0) normb = 1;

  resid = norm(r) / normb;
  const int start = cgs_start_code(resid, tol, max_iter);
  if (start >= 0) return start;
  const Real inv_normb = 1.0 / normb;

  for (int i = 1; i <= max_iter; i++) {
    rho_1 = dot(rtilde, r);
    if (rho_1 == 0 || !std::isfinite(rho_1)) {
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
    const Real sigma = dot(rtilde, vhat);
    alpha = rho_1 / sigma;
    if (sigma == 0 || !std::isfinite(sigma) || !std::isfinite(alpha)) {
      tol = norm(r) / normb;
      return 2;
    }
    q = u - alpha * vhat;
    uhat = M.solve(u + q);
    bool finite_step = true;
    for (int k = 0; k < uhat.size(); k++) finite_step = finite_step && std::isfinite(uhat(k));
    const Real rnorm_old = norm(r);
    qhat = A * uhat;
    r -= alpha * qhat;
    resid = norm(r) * inv_normb;
    if (!std::isfinite(resid) || !finite_step) {
      tol = rnorm_old / normb;
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
