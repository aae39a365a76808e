// Whole runs of the program on the two turbulence image pairs of the external data (with their true
// fields): the Horn & Schunck path, the default K41 path and the K41 path without evidence, each with
// three pyramid levels. For every run it prints the final end-point and angular errors, the wall time,
// the peak memory of the program, and per level the time, the dual iterations, the primal solves and
// the level's last end-point error.
//
// Usage: bench_run_external [program [data folder]] (defaults: the built program and the project's
// external data folder). The program's standard output is line-buffered through stdbuf when it is
// available, so that the per-level times are those of the lines as they are printed.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Line {
  double t;  // seconds since the start of the run
  std::string text;
};

struct RunResult {
  int status = -1;
  double wall = 0;
  long peakKiB = 0;
  std::vector<Line> lines;
};

bool exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

// Runs the program in `dir` with its standard output on a pipe, timestamps every line as it arrives,
// and collects the exit status and the peak resident memory of the child.
RunResult runTimed(const std::string& program, const std::string& dir, const std::vector<std::string>& args) {
  RunResult res;
  int fd[2];
  if (pipe(fd) != 0) return res;
  std::vector<std::string> text;
  const bool lineBuffered = exists("/usr/bin/stdbuf");
  if (lineBuffered) text = {"/usr/bin/stdbuf", "-oL"};
  text.push_back(program);
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : text) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  const Clock::time_point t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    dup2(fd[1], 1);
    close(fd[1]);
    if (chdir(dir.c_str()) != 0) _exit(98);
    execv(argv[0], argv.data());
    _exit(97);
  }
  close(fd[1]);
  FILE* in = fdopen(fd[0], "r");
  std::string current;
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') {
      res.lines.push_back({std::chrono::duration<double>(Clock::now() - t0).count(), current});
      current.clear();
    } else {
      current.push_back((char)c);
    }
  }
  if (!current.empty()) res.lines.push_back({std::chrono::duration<double>(Clock::now() - t0).count(), current});
  std::fclose(in);
  int status = 0;
  struct rusage ru {};
  if (pid > 0 && wait4(pid, &status, 0, &ru) == pid) {
    res.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    res.peakKiB = ru.ru_maxrss;
  }
  res.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  return res;
}

bool startsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// A line made only of the dual's iteration marks: every evaluation starts with ".", so such a line
// does too (the level header's line of "*" does not).
bool marksOnly(const std::string& s) {
  if (s.empty() || s[0] != '.') return false;
  for (char c : s)
    if (c != '.' && c != '_' && c != '*' && c != '+') return false;
  return true;
}

bool parseErrors(const std::string& s, double& epe, double& ae) {
  double rms;
  return std::sscanf(s.c_str(), "End Point Error :%lf; Barron angular error :%lf; RMS difference with true UV :%lf",
                     &epe, &ae, &rms) == 3;
}

constexpr char kStatusLine[] = " L-BFGS optimization terminated with status code = ";

struct LevelFigures {
  int r = -1;
  double start = 0, end = 0;
  double evidenceStart = -1, evidenceEnd = -1;
  int dots = 0, stars = 0, pluses = 0, penalties = 0, iterations = 0, lbfgsStatus = 0;
  bool k41 = false, haveStatus = false, haveEpe = false;
  double epe = 0, ae = 0;
};

void report(const std::string& label, const RunResult& res) {
  std::vector<LevelFigures> levels;
  double finalEpe = -1, finalAe = -1;
  for (const Line& l : res.lines) {
    const std::string& s = l.text;
    double e, a;
    if (startsWith(s, "Resolution ")) {
      if (!levels.empty()) levels.back().end = l.t;
      LevelFigures f;
      f.r = std::atoi(s.c_str() + 11);
      f.start = l.t;
      levels.push_back(f);
      continue;
    }
    if (startsWith(s, "Processing time duration")) {
      if (!levels.empty()) levels.back().end = l.t;
      continue;
    }
    if (parseErrors(s, e, a)) {
      finalEpe = e;
      finalAe = a;
    }
    if (levels.empty()) continue;
    LevelFigures& f = levels.back();
    if (parseErrors(s, e, a)) {
      f.epe = e;
      f.ae = a;
      f.haveEpe = true;
    } else if (startsWith(s, "number non zero elements: ")) {
      f.k41 = true;
    } else if (startsWith(s, "Iteration ")) {
      ++f.iterations;
    } else if (startsWith(s, kStatusLine)) {
      f.lbfgsStatus = std::atoi(s.c_str() + sizeof kStatusLine - 1);
      f.haveStatus = true;
    } else if (s == "Bayesian evidence") {
      f.evidenceStart = l.t;
    } else if (startsWith(s, "Neglected prior energy: ")) {
      f.evidenceEnd = l.t;
    } else if (marksOnly(s)) {
      for (char c : s) {
        f.dots += c == '.';
        f.stars += c == '*';
        f.pluses += c == '+';
        f.penalties += c == '_';
      }
    }
  }

  std::printf("%-38s exit %d  EPE %.4f px  AE %.3f deg  wall %.1f s  peak %.1f MiB\n", label.c_str(), res.status,
              finalEpe, finalAe, res.wall, res.peakKiB / 1024.0);
  for (const LevelFigures& f : levels) {
    std::printf("    level %d: %6.2f s", f.r, f.end - f.start);
    if (f.k41) {
      // One first increment, one solve per evaluation ("." mark) and one per accepted iteration; a
      // robust re-weighting adds one more per evaluation that reaches it ("*" marks the successful ones).
      std::printf("  dual: %d evaluations, %d iterations, %d penalised (_), %d re-weighted (*), %d accepted (+),"
                  " L-BFGS status %d; primal solves %d",
                  f.dots, f.iterations, f.penalties, f.stars, f.pluses, f.haveStatus ? f.lbfgsStatus : 0,
                  1 + f.dots + f.iterations + f.stars);
      if (f.evidenceStart >= 0 && f.evidenceEnd >= 0)
        std::printf("; evidence %.2f s", f.evidenceEnd - f.evidenceStart);
    } else {
      std::printf("  Horn & Schunck: 6 solves");
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
  if (!exists(program)) {
    std::fprintf(stderr, "bench_run_external: program '%s' not found\n", program.c_str());
    return 1;
  }
  if (!exists(data + "/DNS_turbulence_00001_img1.pgm")) {
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
