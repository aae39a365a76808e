// Cost of the sparse solve at the size of a default level-0 system: 131072 unknowns (two per pixel of
// a 256 x 256 window), about 34 entries per row. Prints the time of the ILU(0) factorisation, of one
// CGS iteration (allocation-free solver and, for comparison, the expression form), of one
// matrix-vector product, and one iteration's time against the memory traffic it must move. Runs with
// the program's own allocator settings (freed storage kept in the heap for reuse).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "sparse/sparse.h"
#include "support/sparse_systems.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Best of `reps` timings of f().
template <class F>
double best_of(int reps, F f) {
  double best = 1e300;
  for (int k = 0; k < reps; k++) {
    const auto t0 = Clock::now();
    f();
    const double t = seconds_since(t0);
    if (t < best) best = t;
  }
  return best;
}

// Streaming read bandwidth (bytes/s) over an array far larger than the caches.
double read_bandwidth() {
  std::vector<double> a(32u << 20, 1.0);  // 256 MB
  volatile double sink = 0;
  const double t = best_of(5, [&] {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
      s0 += a[i];
      s1 += a[i + 1];
      s2 += a[i + 2];
      s3 += a[i + 3];
    }
    sink = s0 + s1 + s2 + s3;
  });
  (void)sink;
  return a.size() * sizeof(double) / t;
}

}  // namespace

int main() {
  const int w = 256, h = 256, lags = 8;
  CsrSystem s = makeGridSystem(w, h, lags, 1.0, 2026, true);
  const int n = s.n;
  const int nnz = s.nnz();
  std::printf("system: %d unknowns, %d entries, %.2f entries per row (34 in interior rows)\n", n, nnz,
              static_cast<double>(nnz) / n);

  const double t_copy = best_of(3, [&] {
    CompRow_Mat_double A(n, n, nnz, s.val.data(), s.row_ptr.data(), s.col_ind.data(), 0);
  });
  const CompRow_Mat_double A(n, n, nnz, s.val.data(), s.row_ptr.data(), s.col_ind.data(), 0);
  const double t_ilu = best_of(3, [&] { CompRow_ILUPreconditioner_double M(A); });
  const CompRow_ILUPreconditioner_double M(A);
  const int lnz = M.l_values().size(), unz = M.u_values().size();

  MV_Vector_double x(n);
  for (int i = 0; i < n; i++) x(i) = 1.0 + (i % 7) * 0.125;
  MV_Vector_double y(n);
  const double t_matvec = best_of(20, [&] { y = A * x; });
  const double t_psolve = best_of(20, [&] { y = M.solve(x); });

  MV_Vector_double b(n);
  for (int i = 0; i < n; i++) b(i) = 0.3 + (i % 11) * 0.05;

  // One iteration: (K + 1 iterations - 1 iteration) / K, with a tolerance that is never met.
  // The two forms are timed alternately, best of 5, so that a busy machine affects both alike.
  auto cgs_time = [&](bool fast, int iters) {
    return best_of(1, [&] {
      MV_Vector_double xx(n, 0.0);
      int it = iters;
      double tol = -1.0;
      if (fast)
        CGS(A, xx, b, M, it, tol);
      else
        CGS<CompRow_Mat_double, MV_Vector_double, CompRow_ILUPreconditioner_double, double>(A, xx, b, M, it, tol);
    });
  };
  const int K = 30;
  double t_iter = 1e300, t_iter_expr = 1e300;
  for (int rep = 0; rep < 5; rep++) {
    t_iter = std::min(t_iter, (cgs_time(true, K + 1) - cgs_time(true, 1)) / K);
    t_iter_expr = std::min(t_iter_expr, (cgs_time(false, K + 1) - cgs_time(false, 1)) / K);
  }

  // Full solve as the estimation calls it.
  MV_Vector_double xs(n, 0.0);
  int iters = 500;
  double tol = 1e-6;
  const auto t0 = Clock::now();
  const int code = CGS(A, xs, b, M, iters, tol);
  const double t_solve = seconds_since(t0);

  // Bytes one iteration must move: two products with A, two forward and two backward substitutions
  // (values 8 bytes and column indices 4 bytes per entry, row pointers 4 bytes per row), plus the
  // streamed vectors (24 passes of n doubles over the passes of the solver).
  const double mat_bytes = 12.0 * nnz + 4.0 * (n + 1);
  const double factor_bytes = 12.0 * (lnz + unz) + 8.0 * (n + 1);
  const double vec_bytes = 24.0 * 8.0 * n;
  const double traffic = 2.0 * mat_bytes + 2.0 * factor_bytes + vec_bytes;
  const double bw = read_bandwidth();

  std::printf("copy of the arrays into the matrix : %8.2f ms\n", 1e3 * t_copy);
  std::printf("ILU(0) factorisation               : %8.2f ms\n", 1e3 * t_ilu);
  std::printf("one matrix-vector product (A * x)  : %8.3f ms\n", 1e3 * t_matvec);
  std::printf("one preconditioner solve           : %8.3f ms\n", 1e3 * t_psolve);
  std::printf("one CGS iteration                  : %8.3f ms  (expression form: %.3f ms)\n", 1e3 * t_iter,
              1e3 * t_iter_expr);
  std::printf("CGS to 1e-6 from zero              : %8.2f ms, code %d, %d iterations, residual %.3g\n",
              1e3 * t_solve, code, iters, tol);
  std::printf("traffic of one iteration           : %8.1f MB (matrix %.1f, factor %.1f, vectors %.1f)\n",
              traffic / 1e6, 2 * mat_bytes / 1e6, 2 * factor_bytes / 1e6, vec_bytes / 1e6);
  std::printf("iteration's effective bandwidth    : %8.2f GB/s\n", traffic / t_iter / 1e9);
  std::printf("measured streaming read bandwidth  : %8.2f GB/s\n", bw / 1e9);
  std::printf("iteration time / (traffic / bw)    : %8.2f\n", t_iter / (traffic / bw));

  return 0;
}
