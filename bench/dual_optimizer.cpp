// Time of one dual maximisation on a synthetic 64 x 64 level, with its number of evaluations,
// iterations and primal solves, beside the time of one primal solve and one dual value.
#include "dual/dual.h"
#include "primal/primal.h"
#include "support/smooth_level.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

using namespace cimg_library;

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs f with standard output sent to a temporary file; returns what it printed.
template <class F>
std::string quietly(F f) {
  std::cout.flush();
  std::fflush(stdout);
  char path[] = "/tmp/bench_dual_XXXXXX";
  const int fd = mkstemp(path);
  const int saved = dup(1);
  dup2(fd, 1);
  f();
  std::cout.flush();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(fd);
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(path);
  return ss.str();
}

// Evaluation marks sit on lines of their own in the optimiser's log (between the solver's failure
// messages, which end no line).
void countMarks(const std::string& log, int& evaluations, int& iterations, int& second) {
  evaluations = iterations = second = 0;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Iteration ", 0) == 0) ++iterations;
    for (size_t p; (p = line.find("no convergence (output CGS ")) != std::string::npos;) {
      const size_t e = line.find(')', p);
      line.erase(p, e == std::string::npos ? std::string::npos : e - p + 1);
    }
    if (!line.empty() && line.find_first_not_of(".*+_") == std::string::npos)
      for (char c : line) {
        if (c == '.') ++evaluations;
        if (c == '*') ++second;
      }
  }
}

void run(int n, int neta, int lo, int norm, double gammaFactor) {
  const SmoothMotionLevel level = makeSmoothMotionLevel(n, n, 7);
  const CImg<double> Xtil(n, n, 2, 1, 0.0), mask(n, n, 1, 1, 1.0), noTruth(n, n, 2, 1, 0.0);
  CImg<double> data_out(n, n, 1, 1, 1.0), lambda(lo + 1, 1, 1, 1, 1.0), lambda_cross(lo + 1, 1, 1, 1, 1.0);
  const double gamma = gammaFactor * StructureFunction2nd_horiVertDir(level.trueUV, 1, 1, false)[1];
  const double zeta = 2.0 / 3;
  int nombre = 0;
  CImg<double> Xinc(n, n, 2, 1, 0.0);
  double tSolve = 0, tDual = 0;
  quietly([&] {
    nombre = NumberNonZeroElementInHessian_K41Long(level.f_x, level.f_y, data_out, lambda, lambda_cross, 0.0f, neta,
                                                   lo);
    auto t0 = std::chrono::steady_clock::now();
    PrimalMinimizer_K41Long(Xinc, Xtil, level.f_x, level.f_y, level.f_t, data_out, lambda, lambda_cross, 0.0f, neta,
                            lo, nombre);
    tSolve = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    DualFunction_K41Long(Xinc, Xtil, level.f_x, level.f_y, level.f_t, data_out, lambda, lambda_cross, 0.0f, neta, lo,
                         gamma, zeta, nombre);
    tDual = seconds(t0);
  });

  double deviation = 0, t = 0;
  const std::string log = quietly([&] {
    const auto t0 = std::chrono::steady_clock::now();
    deviation = optimizeDualFunction_LongK41(lambda, lambda_cross, Xinc, Xtil, noTruth, level.f_x, level.f_y,
                                             level.f_t, data_out, mask, 0, nombre, 0, n, n, norm, 0.5, gamma, zeta,
                                             0.0f, neta, lo, 1e-3, 10, false, false);
    t = seconds(t0);
  });
  if (std::getenv("BENCH_DUAL_LOG")) std::fputs(log.c_str(), stderr);
  int evaluations, iterations, second;
  countMarks(log, evaluations, iterations, second);
  const size_t s = log.rfind("status code = ");
  const int status = s == std::string::npos ? 0 : std::atoi(log.c_str() + s + 14);
  double epe = 0;
  cimg_forXY(data_out, x, y) epe += std::hypot(Xinc(x, y, 0) - level.trueUV(x, y, 0), Xinc(x, y, 1) - level.trueUV(x, y, 1));
  epe /= (double)n * n;
  std::printf(
      "%dx%d lags [%d,%d] norm %d: %.3f s, status %d, %d evaluations, %d iterations, %d primal solves%s "
      "(one solve %.4f s, one dual value %.4f s), deviation %.3g, end-point error %.4f\n",
      n, n, neta, lo, norm, t, status, evaluations, iterations, evaluations + second + iterations,
      norm == 2 ? "" : " (re-weighted solves: those marked, at least)", tSolve, tDual,
      deviation, epe);
}

}  // namespace

int main() {
  run(64, 1, 4, 2, 1.0);
  run(64, 1, 8, 2, 1.0);
  run(64, 1, 4, 1, 1e3);  // quasi-TV data norm, re-weighting from the first evaluation
  return 0;
}
