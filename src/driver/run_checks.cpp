#include "driver/run_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "driver/level_loop.h"
#include "io/io.h"

namespace {

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string sizeText(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

// The power law of a K41 level: -gamma must be positive, the factor of the level (which -power
// scales) a positive finite number, and the law finite up to the longest lag, a diagonal one.
void checkPowerLaw(const RunOptions& o, int r, const LevelConstants& c) {
  if (!(o.gamma > 0))
    failRun("Option -gamma: must be positive when a level takes the K41 path (given " + number(o.gamma) + ")");
  if (!(c.gamma > 0) || !std::isfinite(c.gamma))
    failRun("Option -power: " + number(o.power) + " gives level " + std::to_string(r) + " the power-law factor " +
            number(c.gamma) + ", which is not a positive finite number");
  const double longest = c.lo * 1.4142135623730951;
  if (!std::isfinite(std::pow(longest, o.power) * c.gamma))
    failRun("Option -power: " + number(o.power) + " makes the power law of level " + std::to_string(r) +
            " overflow at the lag " + number(longest));
}

}  // namespace

void levelSize(const RunOptions& o, int r, int& width, int& height) {
  int w = 0, h = 0;
  expand_dim(o.dx, o.dy, o.multiresol, w, h);
  const int k = o.multiresol;
  width = (w >> k) << (k - r);
  height = (h >> k) << (k - r);
}

void refuseUnrunnableLevels(const RunOptions& o) {
  // The largest value of max(-lo, -neta) that every K41 level takes, and the first level it exceeds.
  long long allowed = -1;
  int tooLong = -1, tooLongW = 0, tooLongH = 0, tooLongLag = 0;
  for (int r = o.multiresol - 1; r >= o.resolEnd - 1; --r) {
    if (hornAndSchunckLevel(o, r)) {
      if (!(o.alpha > 0))
        failRun("Option -alpha: must be positive when a level takes the Horn & Schunck path (given " +
                number(o.alpha) + ")");
      continue;
    }
    const LevelConstants c = levelConstants(o, r);
    checkPowerLaw(o, r, c);
    int w = 0, h = 0;
    levelSize(o, r, w, h);
    // The lags l of a level reach l pixels in both directions: 2 l must stay below both sides.
    const long long largest = (std::min(w, h) - 1) / 2;
    if (largest < 1)
      failRun(std::string(r > 0 ? "Option -multiresol" : "Option -dx/-dy") + ": level " + std::to_string(r) +
              " is " + sizeText(w, h) + " pixels, too small for the power-law constraints (their smallest lag, 1, "
              "needs at least 3 x 3 pixels)");
    // lo_r = (int)(max(-lo, -neta) / 2^r) stays at most `largest` up to this option value.
    const long long bound = (largest + 1) * (1LL << r) - 1;
    allowed = allowed < 0 ? bound : std::min(allowed, bound);
    if (tooLong < 0 && (2LL * c.lo >= w || 2LL * c.lo >= h)) {
      tooLong = r;
      tooLongW = w, tooLongH = h, tooLongLag = c.lo;
    }
  }
  const bool netaLarger = o.neta > o.lo;
  const char* name = netaLarger ? "-neta" : "-lo";
  const int given = netaLarger ? o.neta : o.lo;
  if (tooLong >= 0)
    failRun(std::string("Option ") + name + ": " + std::to_string(given) + " gives level " +
            std::to_string(tooLong) + " (" + sizeText(tooLongW, tooLongH) + " pixels) the largest lag " +
            std::to_string(tooLongLag) + ", and twice the largest lag must stay below the width and the height; "
            "the largest value allowed here is " + std::to_string(allowed));
  if (o.lo > 32767) failRun("Option -lo: must be at most 32767 (given " + std::to_string(o.lo) + ")");
  if (o.neta > 32767) failRun("Option -neta: must be at most 32767 (given " + std::to_string(o.neta) + ")");
}
