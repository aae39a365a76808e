// A small program built against the relocatable tools object (plus the sparse library, the
// random-number routines and liblbfgs): runs one synthetic K41 level through the entry count,
// a primal step, a structure function, the data precision and minus the log evidence, and checks
// that every value is a finite number, and that writing an output leaves the signal handlers alone.
#include <CImg.h>

#include <cmath>
#include <csignal>
#include <cstdio>

#include "dual/dual.h"
#include "evidence/evidence.h"
#include "field/field.h"
#include "io/outputs.h"
#include "primal/primal.h"

using namespace cimg_library;

int main() {
  const int nc = 16, nl = 16, neta = 1, lo = 2;
  CImg<double> im_x(nc, nl), im_y(nc, nl), im_t(nc, nl), data(nc, nl, 1, 1, 1.0);
  cimg_forXY(im_x, x, y) {
    im_x(x, y) = std::sin(0.7 * x + 0.3 * y);
    im_y(x, y) = std::cos(0.4 * x - 0.9 * y);
    im_t(x, y) = -(0.2 * im_x(x, y) - 0.1 * im_y(x, y)) + 0.05 * std::sin(1.3 * x * y);
  }
  CImg<double> lambda(lo + 1, 1, 1, 1, 1.0), lambda_cross(lo + 2, 1, 1, 1, 1.0);
  const int nombre = NumberNonZeroElementInHessian_K41Long(im_x, im_y, data, lambda, lambda_cross, 0.0f, neta, lo);
  CImg<double> UV(nc, nl, 2, 1, 0.0);
  const CImg<double> UVtil(nc, nl, 2, 1, 0.0);
  const bool failed = PrimalMinimizer_K41Long(UV, UVtil, im_x, im_y, im_t, data, lambda, lambda_cross, 0.0f, neta, lo,
                                              nombre);
  const CImg<double> S2 = StructureFunction2nd_horiVertDir(UV, neta, lo, false);
  const double N = binarize(data, 0).sum();
  // The trace estimate is seeded from the clock in a run; fixed here so that the check is repeatable.
  fixTraceEstimatorSeed(-1);
  const double beta =
      evidence_betaLong(UV, im_x, im_y, im_t, data, lambda, lambda_cross, 0.0f, neta, lo, nombre, 4, 0.01, 1.0);
  CImg<double> save(20, 1, 1, 1, 0.0);
  const double mle = evidence_powerLawLong(UV, im_x, im_y, im_t, data, beta, lambda, lambda_cross, 0, neta, lo, nombre,
                                           1.0, save);
  write_S2(S2, "/dev/null");
  struct sigaction interrupt;
  const bool handlersKept = sigaction(SIGINT, nullptr, &interrupt) == 0 && interrupt.sa_handler == SIG_DFL;
  const bool ok = handlersKept && nombre > 4 * nc * nl && !failed && std::isfinite(S2(lo)) && N == nc * nl &&
                  beta > 0 && std::isfinite(mle) && save[2] == mle;
  std::printf("tools object: count %d, beta %g, -log evidence %g: %s\n", nombre, beta, mle, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
