// Whole runs of the program on the two turbulence image pairs of the external data (with their true
// fields): the Horn & Schunck path, the default K41 path and the K41 path without evidence, each with
// three pyramid levels. For every run it prints the final end-point and angular errors, the wall time,
// the peak memory of the program, and per level the time, the dual iterations, the primal steps and
// the level's last end-point error.
//
// Usage: bench_run_external [program [data folder]] (defaults: the built program and the project's
// external data folder). The program's standard output is line-buffered through stdbuf when it is
// available, so that the per-level times are those of the lines as they are printed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/timed_run.h"

namespace {

void report(const std::string& label, const TimedRun& res) {
  double finalEpe = -1, finalAe = -1;
  const std::vector<RunLevel> levels = levelsOf(res, finalEpe, finalAe);

  std::printf("%-38s exit %d  EPE %.4f px  AE %.3f deg  wall %.1f s  peak %.1f MiB\n", label.c_str(), res.status,
              finalEpe, finalAe, res.wall, res.peakKiB / 1024.0);
  for (const RunLevel& f : levels) {
    std::printf("    level %d: %6.2f s", f.r, f.end - f.start);
    if (f.k41) {
      // The primal steps the algorithm asks for: one first increment, one per evaluation ("." mark)
      // and one per accepted iteration; a robust re-weighting adds one more per evaluation that reaches
      // it ("*" marks the successful ones). A build that keeps the level's work solves fewer of them
      // (bench_level_work counts the solves).
      std::printf("  dual: %d evaluations, %d iterations, %d penalised (_), %d re-weighted (*), %d accepted (+),"
                  " L-BFGS status %d; primal steps %d",
                  f.dots, f.iterations, f.penalties, f.stars, f.pluses, f.haveStatus ? f.lbfgsStatus : 0,
                  f.primalSteps());
      if (f.evidenceStart >= 0 && f.evidenceEnd >= 0)
        std::printf("; evidence %.2f s", f.evidenceEnd - f.evidenceStart);
    } else {
      std::printf("  Horn & Schunck path");
    }
    if (f.haveEpe) std::printf("; level EPE %.4f", f.epe);
    std::printf("\n");
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Absolute, since every run starts in a temporary folder.
  std::error_code absentOk;
  const std::string program = std::filesystem::absolute(argc > 1 ? argv[1] : VRM_PROGRAM, absentOk).string();
  const std::string data = (argc > 2 ? std::string(argv[2]) : std::string(VRM_EXTERNAL_DATA_DIR)) + "/cai-piv-samples";
  if (!pathExists(program)) {
    std::fprintf(stderr, "bench_run_external: program '%s' not found\n", program.c_str());
    return 1;
  }
  if (!pathExists(data + "/DNS_turbulence_00001_img1.pgm")) {
    std::printf("external data not found under %s: nothing to measure\n", data.c_str());
    return 0;
  }
  char tmpl[] = "/tmp/vrm_bench_external_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;

  struct Variant {
    const char* name;
    std::vector<std::string> args;
  };
  const std::vector<Variant> variants = {
      {"Horn & Schunck", {"-HS", "true", "-pgm", "true", "-GT", "true", "-multiresol", "3"}},
      {"K41 (default, evidence 30 probes)", {"-pgm", "true", "-GT", "true", "-multiresol", "3"}},
      {"K41 -nbItTrace 0", {"-pgm", "true", "-GT", "true", "-multiresol", "3", "-nbItTrace", "0"}},
  };
  std::printf("program %s\n", program.c_str());
  for (const char* pair : {"DNS_turbulence_00001", "DNS_turbulence_00002"}) {
    const std::string base = data + "/" + pair;
    std::printf("== %s (256 x 256)\n", pair);
    for (const Variant& v : variants) {
      const std::string prefix = dir + "/run_";
      {
        std::ofstream list(dir + "/list");
        list << base << "_img1.pgm\n" << base << "_img2.pgm\n" << prefix << "\n" << base << "_flow.motion\n\n";
      }
      std::vector<std::string> args = {"-inPath", "list"};
      args.insert(args.end(), v.args.begin(), v.args.end());
      report(std::string(pair).substr(15) + " " + v.name, runTimed(program, dir, args));
      std::error_code ignored;
      for (const auto& e : std::filesystem::directory_iterator(dir, ignored))
        std::filesystem::remove_all(e.path(), ignored);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
