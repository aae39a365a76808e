// Hutchinson trace estimates with Gaussian probes. The matrix of all probes is the same, so it is
// copied and factorised once per estimate; every probe then runs the same preconditioned CGS solve
// from a zero start that a solve with a fresh copy and factor would run, with identical results.
#include "evidence/trace.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <iostream>
#include <memory>

#include "evidence/derivative_products.h"
#include "evidence/random.h"
#include "primal/primal.h"
#include "sparse/sparse.h"

using namespace cimg_library;

namespace {

using evidence_detail::kNaN;

bool g_seedFixed = false;
long g_fixedSeed = 0;

// Seed cell of one estimate: the clock reseeds the C generator, whose next value, scaled into
// 0..10000 in single precision, gives the (non-positive) seed of the uniform generator.
long traceSeed() {
  if (g_seedFixed) return g_fixedSeed;
  std::srand((unsigned)std::time(NULL));
  float r = (float)std::rand();
  return -(long)(r * 4.656613e-6f);
}

bool probeCountUsable(int nbIt) {
  if (nbIt >= 1) return true;
  std::cout << "Error : number of random probes " << nbIt << " below 1 (in trace randomization)" << std::endl;
  return false;
}

bool sizeMatches(int taille, int nc, int nl) {
  if (nc >= 0 && nl >= 0 && (long long)taille == 2LL * nc * nl) return true;
  std::cout << "Error : system size " << taille << " is not twice the " << nc << " x " << nl
            << " grid (in trace randomization)" << std::endl;
  return false;
}

// Every per-pixel image that an estimator reads must cover the nc x nl grid.
bool imagesCover(int nc, int nl, std::initializer_list<const CImg<double>*> images) {
  for (const CImg<double>* im : images)
    if (im->width() < nc || im->height() < nl) {
      std::cout << "Error : an image of " << im->width() << " x " << im->height() << " does not cover the " << nc
                << " x " << nl << " grid (in trace randomization)" << std::endl;
      return false;
    }
  return true;
}

// The caller's matrix, read in place, and its incomplete-LU factor and the solver's work vectors, the
// caller's or made once for every probe of an estimate.
struct FactoredSystem {
  int n;
  CompRowView A;
  std::unique_ptr<CompRow_ILUPreconditioner_double> own;
  const CompRow_ILUPreconditioner_double& M;
  CGSWork ownWork;
  CGSWork& work;
  FactoredSystem(const char* who, int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                 const CompRow_ILUPreconditioner_double* factor = nullptr, CGSWork* kept = nullptr)
      : n(taille),
        A{val, col_ind, row_ptr},
        own(factor ? nullptr
                   : (check_compressed_rows(who, taille, nombre, val, row_ptr, col_ind),
                      new CompRow_ILUPreconditioner_double(taille, nombre, val, row_ptr, col_ind))),
        M(factor ? *factor : *own),
        work(kept ? *kept : ownWork) {}
};

// x = A^-1 B from a zero start, at most 500 iterations, tolerance tol: the solve of
// standard_CGS_inversion on a prebuilt factor. A failure is reported on the current line.
int solveProbe(FactoredSystem& sys, const MV_Vector_double& B, MV_Vector_double& x, double tol) {
  x = 0.0;
  int max_iter = 500;
  double t = tol;
  const CompRow_ILUPreconditioner_double& M = sys.M;
  int code = CGS(sys.n, sys.A, M, x.data(), B.data(), sys.work, max_iter, t);
  if (code != 0) std::cout << "no convergence (output CGS " << code << ")";
  if (code != 0) std::cout << "Error CGS convergence " << code << " (in trace randomization)" << std::endl;
  return code;
}

// Fills the probe: u and v of pixel k are two successive deviates, line by line.
void drawProbe(MV_Vector_double& B, int ncnl, long* seed) {
  double* b = B.data();
  for (int k = 0; k < ncnl; k++) {
    b[k] = (double)gasdev(seed);
    b[ncnl + k] = (double)gasdev(seed);
  }
}

// x . y over n entries, summed in index order.
double dot(const double* x, const double* y, int n) {
  double sum = 0.0;
  for (int m = 0; m < n; m++) sum += x[m] * y[m];
  return sum;
}

// Mean over nbIt probes b of sampleOf(b, x), x = A^-1 b solved on the shared factor. A sample that is
// not a finite number is reported and left out of the mean; NaN when none is left.
template <class SampleOf>
double meanOverProbes(FactoredSystem& sys, int ncnl, int nbIt, double tol, long* seed, SampleOf sampleOf) {
  MV_Vector_double B(2 * ncnl, 0.0), A_1B(2 * ncnl, 0.0);
  double trace = 0.0;
  int used = 0;
  for (int ii = 0; ii < nbIt; ii++) {
    drawProbe(B, ncnl, seed);
    solveProbe(sys, B, A_1B, tol);
    const double sample = sampleOf(B.data(), A_1B.data());
    if (std::isfinite(sample)) {
      trace = trace + sample;
      used++;
    } else {
      std::cout << "Error : probe " << ii << " gives a sample that is not a finite number (" << sample
                << "), left out of the mean (in trace randomization)" << std::endl;
    }
  }
  if (used == 0) return kNaN;
  return trace / used;
}

}  // namespace

void fixTraceEstimatorSeed(long seed) {
  g_seedFixed = true;
  g_fixedSeed = seed;
}

void releaseTraceEstimatorSeed() { g_seedFixed = false; }

double CGS_randomB_traceInvAA0(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                               const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                               const CImg<double>& data_out, int nbIt, double tol,
                               const CompRow_ILUPreconditioner_double* factor, CGSWork* work) {
  const int nc = IxIx.width(), nl = IxIx.height(), ncnl = nc * nl;
  if (!probeCountUsable(nbIt) || !sizeMatches(taille, nc, nl) || !imagesCover(nc, nl, {&IxIy, &IyIy, &data_out}))
    return kNaN;
  if (taille == 0) return 0.0;  // every sample is an empty sum
  long seed = traceSeed();
  FactoredSystem sys("CGS_randomB_traceInvAA0", taille, nombre, val, row_ptr, col_ind, factor, work);
  MV_Vector_double A0B(taille, 0.0);
  return meanOverProbes(sys, ncnl, nbIt, tol, &seed, [&](const double* b, const double* x) {
    double* a0b = A0B.data();
    for (int j = 0; j < nl; j++)
      for (int i = 0; i < nc; i++) {
        const int k = j * nc + i;
        const double d = data_out(i, j);
        a0b[k] = (IxIy(i, j) * b[ncnl + k] + IxIx(i, j) * b[k]) * d;
        a0b[ncnl + k] = (IyIy(i, j) * b[ncnl + k] + IxIy(i, j) * b[k]) * d;
      }
    return dot(x, a0b, taille);
  });
}

double CGS_randomB_traceInvA(int taille, int nombre, int nc, int nl, double* val, int* row_ptr, int* col_ind,
                             int nbIt, double tol) {
  if (!probeCountUsable(nbIt) || !sizeMatches(taille, nc, nl)) return kNaN;
  if (taille == 0) return 0.0;
  long seed = traceSeed();
  FactoredSystem sys("CGS_randomB_traceInvA", taille, nombre, val, row_ptr, col_ind);
  return meanOverProbes(sys, nc * nl, nbIt, tol, &seed,
                        [&](const double* b, const double* x) { return dot(x, b, taille); });
}

double* CGS_randomB_traceInvAA0Fx(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                                  const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                                  const CImg<double>& data_out, const CImgList<double>& reg_out,
                                  const CImg<double>& x2, int nbIt, double tol, bool periodic) {
  double* result = new double[4];
  for (int e = 0; e < 4; e++) result[e] = 0.0;
  const int nc = IxIx.width(), nl = IxIx.height(), ncnl = nc * nl;
  bool usable = probeCountUsable(nbIt) && sizeMatches(taille, nc, nl) &&
                imagesCover(nc, nl, {&IxIy, &IyIy, &data_out, &x2});
  if (usable && reg_out.size() < 2) {
    std::cout << "Error : " << reg_out.size() << " regulariser weight images, 2 needed (in trace randomization)"
              << std::endl;
    usable = false;
  }
  if (usable) usable = imagesCover(nc, nl, {&reg_out[0], &reg_out[1]});
  if (!usable) {
    for (int e = 0; e < 4; e++) result[e] = kNaN;
    return result;
  }
  if (taille == 0) return result;
  long seed = traceSeed();
  FactoredSystem sys("CGS_randomB_traceInvAA0Fx", taille, nombre, val, row_ptr, col_ind);
  CImg<double> B_u(nc, nl, 1, 1, 0.0), B_v(nc, nl, 1, 1, 0.0);
  MV_Vector_double B(taille, 0.0), A_1B(taille, 0.0), A0B(taille, 0.0), ArB(taille, 0.0), A0FxB(taille, 0.0),
      A0dFxB(taille, 0.0);
  int used = 0;
  for (int ii = 0; ii < nbIt; ii++) {
    drawProbe(B, ncnl, &seed);
    const double* b = B.data();
    for (int j = 0; j < nl; j++)
      for (int i = 0; i < nc; i++) {
        B_u(i, j) = b[j * nc + i];
        B_v(i, j) = b[ncnl + j * nc + i];
      }
    B_u = laplacian(B_u, reg_out, periodic);
    B_u *= -1.0;
    B_v = laplacian(B_v, reg_out, periodic);
    B_v *= -1.0;
    solveProbe(sys, B, A_1B, tol);
    double *a0b = A0B.data(), *arb = ArB.data(), *a0fxb = A0FxB.data(), *a0dfxb = A0dFxB.data();
    for (int j = 0; j < nl; j++)
      for (int i = 0; i < nc; i++) {
        const int k = j * nc + i;
        const double d = data_out(i, j), f = x2(i, j);
        const double bu = IxIy(i, j) * b[ncnl + k] + IxIx(i, j) * b[k];
        const double bv = IyIy(i, j) * b[ncnl + k] + IxIy(i, j) * b[k];
        a0b[k] = bu * d;
        a0b[ncnl + k] = bv * d;
        arb[k] = B_u(i, j);
        arb[ncnl + k] = B_v(i, j);
        a0fxb[k] = f * d * bu;
        a0fxb[ncnl + k] = f * d * bv;
        a0dfxb[k] = f * f * d * bu;
        a0dfxb[ncnl + k] = f * f * d * bv;
      }
    const double* x = A_1B.data();
    const double samples[4] = {dot(x, arb, taille), dot(x, a0b, taille), dot(x, a0fxb, taille),
                               dot(x, a0dfxb, taille)};
    bool finite = true;
    for (int e = 0; e < 4; e++) finite = finite && std::isfinite(samples[e]);
    if (!finite) {
      std::cout << "Error : probe " << ii << " gives samples that are not finite numbers, left out of the mean"
                << " (in trace randomization)" << std::endl;
      continue;
    }
    for (int e = 0; e < 4; e++) result[e] += samples[e];
    used++;
  }
  for (int e = 0; e < 4; e++) result[e] = used == 0 ? kNaN : result[e] * (1.0 / used);
  return result;
}
