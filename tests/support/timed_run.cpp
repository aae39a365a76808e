#include "support/timed_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

bool pathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TimedRun runTimed(const std::string& program, const std::string& dir, const std::vector<std::string>& args) {
  using Clock = std::chrono::steady_clock;
  TimedRun res;
  int fd[2];
  if (pipe(fd) != 0) return res;
  std::vector<std::string> text;
  if (pathExists("/usr/bin/stdbuf")) text = {"/usr/bin/stdbuf", "-oL"};
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
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
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

namespace {

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

}  // namespace

std::vector<RunLevel> levelsOf(const TimedRun& run, double& finalEpe, double& finalAe) {
  std::vector<RunLevel> levels;
  for (const TimedLine& l : run.lines) {
    const std::string& s = l.text;
    double e, a;
    if (startsWith(s, "Resolution ")) {
      if (!levels.empty()) levels.back().end = l.t;
      RunLevel f;
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
    RunLevel& f = levels.back();
    if (parseErrors(s, e, a)) {
      f.epe = e;
      f.ae = a;
      f.haveEpe = true;
    } else if (startsWith(s, "number non zero elements: ")) {
      f.k41 = true;
      f.dualStart = l.t;
    } else if (startsWith(s, "Iteration ")) {
      ++f.iterations;
    } else if (startsWith(s, kStatusLine)) {
      f.lbfgsStatus = std::atoi(s.c_str() + sizeof kStatusLine - 1);
      f.haveStatus = true;
      f.dualEnd = l.t;
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
  return levels;
}
