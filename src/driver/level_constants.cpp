#include "driver/level_constants.h"

#include <algorithm>
#include <cmath>

LevelConstants levelConstants(const RunOptions& opt, int r) {
  LevelConstants c;
  // A field with S2(L) = gamma L^power at full resolution has, at level r (lags and values in level
  // pixels: both shrink by 2^r), S2_r(l) = 4^-r S2(2^r l) = gamma 2^((power - 2) r) l^power.
  c.gamma = opt.gamma * std::pow(2.0, (opt.power - 2.0) * r);
  const double shrink = std::pow(2.0, -r);
  c.neta = std::max(1, (int)(opt.neta * shrink));
  c.lo = std::max(1, (int)(std::max(opt.lo, opt.neta) * shrink));
  return c;
}

bool hornAndSchunckLevel(const RunOptions& opt, int r) { return opt.HS || (opt.initHS && r > 0); }
