// What the options give each pyramid level: its constants and the path it takes.
#pragma once

#include "driver/options.h"

// The constants of pyramid level r: the power-law factor and the scale interval in its pixels.
struct LevelConstants {
  double gamma = 0;  // -gamma * 2^((power - 2) r): the power law of the full-resolution field at level r
  int neta = 1;      // max(1, (int)(-neta 2^-r))
  int lo = 1;        // max(1, (int)(max(-lo, -neta) 2^-r))
};
LevelConstants levelConstants(const RunOptions& opt, int r);

// Whether level r takes the Horn & Schunck path (every level with -HS, the levels above 0 with
// -initHS); the others take the K41 path.
bool hornAndSchunckLevel(const RunOptions& opt, int r);
