// Runs a program as a child process for the benchmarks of whole runs: every line of its standard output
// with the time it arrived, its exit status, wall time and peak resident memory.
#pragma once

#include <string>
#include <vector>

struct TimedLine {
  double t;  // seconds since the start of the run
  std::string text;
};

struct TimedRun {
  int status = -1;  // exit status (-1: killed or not started)
  double wall = 0;  // seconds
  long peakKiB = 0;
  std::vector<TimedLine> lines;
};

// Runs `program` with `args` in folder `dir`, its standard output on a pipe (line-buffered through
// stdbuf when available, so that the times are those of the lines as they are printed) and its standard
// error discarded.
TimedRun runTimed(const std::string& program, const std::string& dir, const std::vector<std::string>& args);

// Whether a file or folder exists.
bool pathExists(const std::string& path);

// What the standard output of a run tells about each of its levels: its times, the dual's marks,
// iterations and status, the evidence, the last ground-truth errors.
struct RunLevel {
  int r = -1;
  double start = 0, end = 0;             // times of the level header's line and of the next level's
  double dualStart = -1, dualEnd = -1;   // "number non zero elements" line, L-BFGS status line
  double evidenceStart = -1, evidenceEnd = -1;
  int dots = 0, stars = 0, pluses = 0, penalties = 0, iterations = 0, lbfgsStatus = 0;
  bool k41 = false, haveStatus = false, haveEpe = false;
  double epe = 0, ae = 0;
  // The primal steps the K41 path asks for: one first increment, one per evaluation ("." mark) and one
  // per accepted iteration, and one more per successful robust re-weighting ("*").
  int primalSteps() const { return 1 + dots + iterations + stars; }
};

// The levels of a run, in their order; finalEpe and finalAe receive the run's last end-point and
// angular errors (unchanged when there are none).
std::vector<RunLevel> levelsOf(const TimedRun& run, double& finalEpe, double& finalAe);
