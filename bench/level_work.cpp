// The work of every level of a run, so that repeated work stays visible: a whole run of the program
// (the same command line as VorlaneRegMotion), with, per level, the wall time, the primal steps that
// the K41 path asked for and how they were answered (solved, or taken from a remembered solve of the
// same system), the linear solves, their CGS iterations, the incomplete-LU factorisations and
// structures, the assemblies of A and B (writing the pattern, or values only) and the requests for A
// and B that the last assembly answered, and the time of the solved steps (assembly, factorisation and
// CGS) per solve; on the Horn & Schunck path the solves and their CGS iterations.
//
//   bench_level_work -inPath <list> [options...] > run.log
//
// The run's own output goes to standard output as usual; the figures go to standard error. The
// evidence is seeded from the clock as in the program.
#include <chrono>
#include <cstdio>

#include <CImg.h>

#include "driver/heap.h"
#include "driver/level_loop.h"
#include "driver/run_start.h"

namespace {

void report(int r, double seconds, const LevelWork& w) {
  std::fprintf(stderr, "level %d: %7.2f s", r, seconds);
  const K41LevelWork& p = w.primal;
  if (!w.k41) {
    std::fprintf(stderr, "  Horn & Schunck: solves %ld (one assembly and one ILU(0) factorisation each), CGS iterations %ld, ILU structures %ld\n",
                 p.solves, p.cgsIterations, p.structures);
    return;
  }
  std::fprintf(stderr,
               "  first increment %s; primal steps %ld (%ld taken from a remembered solve), solves %ld, "
               "CGS iterations %ld (%.1f per solve), ILU factorisations %ld, ILU structures %ld, "
               "assemblies %ld (%ld writing the pattern, %ld values only), A and B reused %ld times; "
               "%.2f s in the solved steps, %.3f s per solve\n",
               w.firstIncrementComputed ? "computed" : "skipped", p.steps, p.reusedSteps, p.solves, p.cgsIterations,
               p.solves ? (double)p.cgsIterations / p.solves : 0.0, p.solves, p.structures,
               p.assemblies + p.valueAssemblies, p.assemblies, p.valueAssemblies, p.heldSystems, p.solveSeconds,
               p.solves ? p.solveSeconds / p.solves : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  keepFreedMemoryInHeap();
  cimg_library::cimg::exception_mode(0);
  try {
    RunState s;
    startRun(argc, argv, s);
    refuseEmptyComparisonWindow(s.opt);
    EvidenceCarry carry;
    const auto t0 = std::chrono::steady_clock::now();
    for (int r = s.opt.multiresol - 1; r >= s.opt.resolEnd - 1; --r) {
      LevelWork w;
      const auto t = std::chrono::steady_clock::now();
      runLevel(s, r, carry, &w);
      returnFreedMemory();
      std::fflush(stdout);
      report(r, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count(), w);
    }
    endRun(s);
    std::fprintf(stderr, "all levels: %.2f s\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  } catch (const cimg_library::CImgException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "bench_level_work: %s\n", e.what());
    return 1;
  }
  return 0;
}
