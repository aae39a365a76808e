// One K41 level's Bayesian evidence beside its dual maximisation, on a synthetic particle-image pair
// (256 x 256, lags [1, 4], 30 probes: the program's defaults). Prints the time of the entry count, the
// first primal step, the dual maximisation, the data precision and minus the log evidence, then the
// trace estimate with one factor for all probes against a fresh matrix copy and factor per probe
// (same value, bit for bit), and the peak memory of the process.
#include <CImg.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "dual/dual.h"
#include "evidence/evidence.h"
#include "primal/k41.h"
#include "primal/primal.h"
#include "sparse/sparse.h"
#include "spline/image_operators.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The trace estimate as a plain loop: every probe copies the arrays and factorises them again.
double tracePerProbeFactor(int taille, K41Csr& A, const CImg<double>& xx, const CImg<double>& xy,
                           const CImg<double>& yy, const CImg<double>& d, int nbIt, long seed) {
  const int nc = xx.width(), nl = xx.height(), ncnl = nc * nl;
  CImg<double> X(nc, nl, 2, 1);
  MV_Vector_double B(taille, 0.0);
  double trace = 0;
  for (int ii = 0; ii < nbIt; ii++) {
    for (int k = 0; k < ncnl; k++) {
      B(k) = gasdev(&seed);
      B(ncnl + k) = gasdev(&seed);
    }
    standard_CGS_inversion(taille, A.nnz(), A.val.data(), A.row_ptr.data(), A.col_ind.data(), B, X, 0.01);
    double s = 0;
    for (int j = 0; j < nl; j++)
      for (int i = 0; i < nc; i++) {
        const int k = j * nc + i;
        const double a0u = (xy(i, j) * B(ncnl + k) + xx(i, j) * B(k)) * d(i, j);
        s += X(i, j, 0) * a0u;
      }
    for (int j = 0; j < nl; j++)
      for (int i = 0; i < nc; i++) {
        const int k = j * nc + i;
        const double a0v = (yy(i, j) * B(ncnl + k) + xy(i, j) * B(k)) * d(i, j);
        s += X(i, j, 1) * a0v;
      }
    trace = trace + s;
  }
  return trace / nbIt;
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 256;
  const int neta = 1, lo = 4, nbIt = 30;
  ParticleImageSettings settings;
  settings.width = settings.height = size;
  settings.count = size * size / 27;
  const ParticlePair pair = makeParticlePair(settings, VortexMotion());
  const CImg<double> f_x = gradSpline_X(pair.second, 0), f_y = gradSpline_Y(pair.second, 0),
                     f_t = grad_t(pair.first, pair.second, 0);
  CImg<double> data(size, size, 1, 1, 1.0);
  const CImg<double> mask(size, size, 1, 1, 1.0), zero(size, size, 2, 1, 0.0);
  CImg<double> lambda(lo + 1, 1, 1, 1, 1.0), lambda_cross(lo + 1, 1, 1, 1, 1.0);

  auto t = std::chrono::steady_clock::now();
  const int nombre = NumberNonZeroElementInHessian_K41Long(f_x, f_y, data, lambda, lambda_cross, 0.0f, neta, lo);
  const double tCount = seconds(t);
  CImg<double> Xinc(size, size, 2, 1, 0.0);
  t = std::chrono::steady_clock::now();
  PrimalMinimizer_K41Long(Xinc, zero, f_x, f_y, f_t, data, lambda, lambda_cross, 0.0f, neta, lo, nombre);
  const double tPrimal = seconds(t);
  t = std::chrono::steady_clock::now();
  const double deviation = optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, zero, zero, f_x, f_y, f_t, data,
                                                        mask, 0, nombre, 0, size, size, 2, 50.0, 0.01, 1.0, 0.0f,
                                                        neta, lo, 1e-10, 10, false, false);
  const double tDual = seconds(t);

  t = std::chrono::steady_clock::now();
  const double beta = evidence_betaLong(Xinc, f_x, f_y, f_t, data, lambda, lambda_cross, 0.0f, neta, lo, nombre,
                                        nbIt, 0.01, 1.0);
  const double tBeta = seconds(t);
  CImg<double> save(20, 1, 1, 1, 0.0);
  t = std::chrono::steady_clock::now();
  const double mle = evidence_powerLawLong(Xinc, f_x, f_y, f_t, data, beta, lambda, lambda_cross, 0, neta, lo, nombre,
                                           1.0, save);
  const double tEvidence = seconds(t);

  // The trace alone: one factor for all probes against a fresh factor per probe.
  const CImg<double> xx = f_x.get_mul(f_x), xy = f_x.get_mul(f_y), yy = f_y.get_mul(f_y);
  const CImgList<double> ones(lo - neta + 1, size, size, 1, 1, 1.0), zeros(lo - neta + 1, size, size, 1, 1, 0.0);
  K41Csr A;
  fillingSparseHessian_A(A, xx, xy, yy, data, lambda, lambda_cross, ones, ones, ones, ones, zeros, zeros, zeros, zeros,
                         neta, lo, size, size, nombre);
  const int taille = 2 * size * size;
  fixTraceEstimatorSeed(-777);
  t = std::chrono::steady_clock::now();
  const double once = CGS_randomB_traceInvAA0(taille, A.nnz(), A.val.data(), A.row_ptr.data(), A.col_ind.data(), xx,
                                              xy, yy, data, nbIt, 0.01);
  const double tOnce = seconds(t);
  releaseTraceEstimatorSeed();
  t = std::chrono::steady_clock::now();
  const double fresh = tracePerProbeFactor(taille, A, xx, xy, yy, data, nbIt, -777);
  const double tFresh = seconds(t);

  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\nlevel %d x %d, lags [%d, %d], %d probes, %d Hessian entries\n", size, size, neta, lo, nbIt, nombre);
  std::printf("entry count              %8.3f s\n", tCount);
  std::printf("first primal step        %8.3f s\n", tPrimal);
  std::printf("dual maximisation        %8.3f s   (deviation %g)\n", tDual, deviation);
  std::printf("data precision (trace)   %8.3f s   (beta %g)\n", tBeta, beta);
  std::printf("minus log evidence       %8.3f s   (%g)\n", tEvidence, mle);
  std::printf("evidence of the level    %8.3f s\n", tBeta + tEvidence);
  std::printf("trace, one factor        %8.3f s   %.17g\n", tOnce, once);
  std::printf("trace, factor per probe  %8.3f s   %.17g   %s\n", tFresh, fresh,
              once == fresh ? "(identical)" : "(DIFFERENT)");
  std::printf("peak memory              %8.1f MiB\n", ru.ru_maxrss / 1024.0);
  return 0;
}
