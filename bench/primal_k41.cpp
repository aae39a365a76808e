// Cost of the K41 primal system on a 256 x 256 level: the entry count, one assembly of the Hessian and
// the right-hand side, one primal solve (with its CGS iteration count), and the peak memory.
//
// Inputs: a synthetic particle pair (always), and the first DNS turbulence pair of the external data
// when present. Derivatives are central differences of the first image, the temporal difference is
// image 2 - image 1, data weights 1 and every multiplier 1 (the driver's first step of a level).
//
// Runs with the program's own allocator settings (freed blocks kept in the heap for reuse), so that
// repeated assemblies and solves do not pay fresh page faults.
#include <CImg.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "primal/primal.h"
#include "sparse/sparse.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peakMemoryKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

bool readPgm8(const std::string& path, CImg<double>& im) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  if (!(f >> magic >> w >> h >> maxval) || magic != "P5" || maxval != 255) return false;
  f.get();
  im.assign(w, h, 1, 1);
  for (double& v : im) {
    const int c = f.get();
    if (c < 0) return false;
    v = c;
  }
  return true;
}

void run(const char* name, const CImg<double>& I1, const CImg<double>& I2, int neta, int lo) {
  const int nc = I1.width(), nl = I1.height(), N = nc * nl;
  CImg<double> Ix(nc, nl), Iy(nc, nl);
  cimg_forXY(I1, x, y) {
    Ix(x, y) = 0.5 * (I1(x < nc - 1 ? x + 1 : x, y) - I1(x > 0 ? x - 1 : x, y));
    Iy(x, y) = 0.5 * (I1(x, y < nl - 1 ? y + 1 : y) - I1(x, y > 0 ? y - 1 : y));
  }
  const CImg<double> It = I2 - I1, data(nc, nl, 1, 1, 1.0), lam(lo + 1, 1, 1, 1, 1.0), lamX(lo + 1, 1, 1, 1, 1.0);
  const CImg<double> UVtil(nc, nl, 2, 1, 0.0);

  auto t0 = std::chrono::steady_clock::now();
  const int nombre = NumberNonZeroElementInHessian_K41Long(Ix, Iy, data, lam, lamX, 0.0f, neta, lo);
  const double tCount = seconds(t0);

  // one assembly: right-hand side and Hessian, as a primal step makes them
  const int n = lo - neta + 1;
  const CImgList<double> ones(n, nc, nl, 1, 1, 1.0), zeros(n, nc, nl, 1, 1, 0.0);
  t0 = std::chrono::steady_clock::now();
  MV_Vector_double B(2 * N, 0.0);
  fillingVector_B(B, It.get_mul(Ix), It.get_mul(Iy), UVtil.get_slice(0), UVtil.get_slice(1), data, lam, lamX, ones,
                  ones, ones, ones, zeros, zeros, zeros, zeros, neta, lo, nc, nl);
  K41Csr A;
  fillingSparseHessian_A(A, Ix.get_mul(Ix), Ix.get_mul(Iy), Iy.get_mul(Iy), data, lam, lamX, ones, ones, ones, ones,
                         zeros, zeros, zeros, zeros, neta, lo, nc, nl, nombre);
  const double tAssemble = seconds(t0);

  // the solve alone, for its iteration count
  t0 = std::chrono::steady_clock::now();
  int iterations = 500;
  double tol = 1e-6;
  int code;
  {
    CompRow_Mat_double M(2 * N, 2 * N, A.nnz(), A.val.data(), A.row_ptr.data(), A.col_ind.data(), 0);
    CompRow_ILUPreconditioner_double P(M);
    MV_Vector_double x(2 * N, 0.0);
    code = CGS(M, x, B, P, iterations, tol);
  }
  const double tSolveOnly = seconds(t0);

  // one whole primal step
  CImg<double> UV(nc, nl, 2, 1, 0.0);
  t0 = std::chrono::steady_clock::now();
  const bool failed = PrimalMinimizer_K41Long(UV, UVtil, Ix, Iy, It, data, lam, lamX, 0.0f, neta, lo, nombre);
  const double tPrimal = seconds(t0);
  std::cout << std::endl;

  std::printf("%-9s %dx%d lags [%d,%d]: entries %d | count %.3f s | assembly A+B %.3f s | ILU+CGS %.3f s, "
              "%d iterations (code %d, residual %.2e) | primal step %.3f s (%s) | peak memory %.1f MiB\n",
              name, nc, nl, neta, lo, nombre, tCount, tAssemble, tSolveOnly, iterations, code, tol, tPrimal,
              failed ? "no convergence" : "converged", peakMemoryKiB() / 1024.0);
  std::fflush(stdout);
}

}  // namespace

int main() {
  ParticleImageSettings settings;
  settings.width = settings.height = 256;
  settings.count = 2400;
  const ParticlePair pair = makeParticlePair(settings, VortexMotion{});
  const std::string dir = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/";
  CImg<double> I1, I2;
  const bool dns =
      readPgm8(dir + "DNS_turbulence_00001_img1.pgm", I1) && readPgm8(dir + "DNS_turbulence_00001_img2.pgm", I2);
  if (!dns) std::printf("DNS pair not found under %s: skipped\n", dir.c_str());

  for (int lo : {4, 8}) run("particles", pair.first, pair.second, 1, lo);
  if (dns)
    for (int lo : {4, 8}) run("DNS", I1, I2, 1, lo);
  return 0;
}
