// Start-up refusals of levels that cannot run: the lag range and power-law factor of every K41 level,
// the Horn & Schunck coefficient of every Horn & Schunck level, lags beyond any image.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/run_checks.h"
#include "support/expect.h"

namespace {

RunOptions options(int dx, int dy, int multiresol, int resolEnd = 1) {
  RunOptions o;
  o.dx = dx, o.dy = dy, o.multiresol = multiresol, o.resolEnd = resolEnd;
  return o;
}

ChildResult check(const RunOptions& o) {
  return runInChild([&] { refuseUnrunnableLevels(o); });
}

TEST(RunChecks, LevelSizesArePaddedAndHalved) {
  int w = 0, h = 0;
  levelSize(options(100, 60, 3), 0, w, h);
  EXPECT_TRUE(w == 104 && h == 64);
  levelSize(options(100, 60, 3), 2, w, h);
  EXPECT_TRUE(w == 26 && h == 16);
}

// For every run shape, the largest value the message names is accepted and the next one refused, for
// -lo and (when it is the larger) -neta.
TEST(RunChecks, LagRangeRefusalNamesTheLargestAllowedValue) {
  const struct {
    RunOptions o;
    int allowed;
  } shapes[] = {{options(32, 32, 1), 15},     {options(32, 20, 1), 9},       {options(100, 60, 3), 31},
                {options(100, 60, 3, 3), 31}, {options(128, 128, 3, 2), 63}, {options(33, 33, 1), 16}};
  for (const auto& shape : shapes)
    for (const char* name : {"-lo", "-neta"}) {
      RunOptions o = shape.o;
      int& value = std::string(name) == "-lo" ? o.lo : o.neta;
      value = shape.allowed;
      EXPECT_EQ(check(o).exitCode, 0) << name << " " << value;
      value = shape.allowed + 1;
      const ChildResult r = check(o);
      expectRefusal(r, {std::string("Option ") + name + ": " + std::to_string(value) + " gives level ",
                        "the largest value allowed here is " + std::to_string(shape.allowed)});
    }
  // A level too small for lag 1.
  expectRefusal(check(options(128, 128, 7)), {"Option -multiresol: level 6 is 2 x 2 pixels"});
  expectRefusal(check(options(2, 40, 1)), {"Option -dx/-dy: level 0 is 2 x 40 pixels"});
}

TEST(RunChecks, CoefficientsOfThePathsEachLevelTakes) {
  RunOptions k41 = options(64, 64, 2);
  k41.gamma = 0;
  expectRefusal(check(k41), {"Option -gamma: must be positive when a level takes the K41 path (given 0)"});
  k41.gamma = -0.01;
  expectRefusal(check(k41), {"Option -gamma: must be positive", "(given -0.01)"});
  k41.gamma = 0.01, k41.power = -3000;  // the factor of level 1, 0.01 2^(power - 2), underflows to 0
  expectRefusal(check(k41), {"Option -power: -3000 gives level 1 the power-law factor 0"});
  k41.power = 3000;  // and overflows
  expectRefusal(check(k41), {"Option -power: 3000 gives level 1 the power-law factor inf"});
  k41.power = 450;  // 0.0025 (2 x 1.41)^450 overflows at level 1, the first to run
  expectRefusal(check(k41), {"Option -power: 450 makes the power law of level 1 overflow at the lag 2.82843"});
  k41.power = 400;
  EXPECT_EQ(check(k41).exitCode, 0);
  k41.power = 1, k41.alpha = 0;  // no Horn & Schunck level
  EXPECT_EQ(check(k41).exitCode, 0);

  RunOptions hs = options(64, 64, 2);
  hs.HS = true, hs.gamma = 0, hs.lo = 32767;  // no K41 level: neither gamma nor the lags matter
  EXPECT_EQ(check(hs).exitCode, 0);
  hs.alpha = 0;
  expectRefusal(check(hs), {"Option -alpha: must be positive when a level takes the Horn & Schunck path (given 0)"});
  hs.alpha = 10, hs.lo = 32768;
  expectRefusal(check(hs), {"Option -lo: must be at most 32767 (given 32768)"});
  hs.lo = 4, hs.neta = 40000;
  expectRefusal(check(hs), {"Option -neta: must be at most 32767 (given 40000)"});

  // -initHS: Horn & Schunck above level 0 (alpha checked), K41 at level 0 (gamma and lags checked).
  RunOptions init = options(64, 64, 2);
  init.initHS = true, init.alpha = -1;
  expectRefusal(check(init), {"Option -alpha"});
  init.alpha = 10, init.lo = 32;
  expectRefusal(check(init), {"Option -lo: 32 gives level 0", "allowed here is 31"});
  init.resolEnd = 2, init.gamma = 0;  // level 1 only: Horn & Schunck
  EXPECT_EQ(check(init).exitCode, 0);
  // No level runs: only the bound on the lags.
  RunOptions none = options(8, 8, 2, 3);
  none.gamma = 0, none.lo = 1000;
  EXPECT_EQ(check(none).exitCode, 0);
}

}  // namespace
