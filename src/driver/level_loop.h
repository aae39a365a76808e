// The coarse-to-fine estimation: one level at a time from the coarsest estimated level down to the
// finest requested one, each level's estimation (Horn & Schunck or K41 with its dual maximisation,
// evidence and ground-truth comparisons), the hand-over of the motion to the next finer level, the
// final outputs at level 0 and one result line per level.
#pragma once

#include "driver/run_state.h"
#include "primal/k41_level_system.h"

// What the evidence step of the last K41 level left for slots 8 and 9 of the result line: 0 until
// the evidence first runs, then repeated by the levels that do not compute it.
struct EvidenceCarry {
  double neglectedPrior = 0;  // slot 8: 2 beta times the prior energy
  double beta = 0;            // slot 9: the evidence-maximising data precision
};

// What the estimation of a level cost, for benchmarks: on the K41 path the primal
// steps of the first increment and of the dual maximisation with the work they took, on the Horn &
// Schunck path its solves (one assembly and one factorisation each) and their CGS iterations.
struct LevelWork {
  bool k41 = false;
  bool firstIncrementComputed = false;  // K41: the first increment was computed
  K41LevelWork primal;
};

// Runs level r: derivatives, mask, estimation, comparisons, hand-over to level r - 1 (r > 0) or the
// final outputs (r = 0), then appends the level's result line. Records r as s.lastLevel and, in
// s.lastLevelSolved, whether its motion comes from a converged primal solve. With `work`, reports
// what the estimation cost there.
void runLevel(RunState& s, int r, EvidenceCarry& carry, LevelWork* work = nullptr);

// With -GT, an -offGT that leaves no pixel of the original window for the full-size comparison (or
// is negative) ends the run: one line on standard error, exit status 1. Nothing without -GT.
void refuseEmptyComparisonWindow(const RunOptions& opt);

// Every level of the run, from -multiresol - 1 down to -resolEnd - 1 (none when -resolEnd exceeds
// -multiresol). Refuses an empty comparison window first.
void runLevels(RunState& s);
