// What the number pins of the processor-dependent golden runs let through and what they catch.
#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/number_pins.h"

namespace {

// A 40 x 40 motion table (6400 numbers: pinned by columns), its u values given by `u`.
std::string motionTable(const std::function<double(int, int)>& u) {
  std::string t = "40 40\n#i\tj\tU\tV\n";
  char line[96];
  for (int i = 0; i < 40; ++i)
    for (int j = 0; j < 40; ++j) {
      std::snprintf(line, sizeof line, "%d\t%d\t%f\t%f\n", i, j, u(i, j), 0.25 - 0.001 * j);
      t += line;
    }
  return t;
}

double smooth(int i, int j) { return 0.5 + 0.01 * i - 0.003 * j; }

struct Case {
  const char* what;
  std::string name, want, got;
  bool matches;
};

TEST(NumberPins, LastDigitFlipsPassChangesOfTheFifthDigitOrOfTheTextDoNot) {
  const std::string evidence = "0.01\t1\t155159\t0.31331\t0.000144054\t0\n";
  const std::string log = "Resolution 0 (gamma: 0.01 zeta: 1)\nEnd Point Error :0.189; Barron angular error :3.91147\n";
  const Case cases[] = {
      {"the same motion table", "a.motion", motionTable(smooth), motionTable(smooth), true},
      {"one u one unit of its last digit off", "a.motion", motionTable(smooth),
       motionTable([](int i, int j) { return smooth(i, j) + (i == 7 && j == 3 ? 1e-6 : 0); }), true},
      {"one u 1e-5 off", "a.motion", motionTable(smooth),
       motionTable([](int i, int j) { return smooth(i, j) + (i == 39 && j == 39 ? 1e-5 : 0); }), false},
      {"every u 1e-5 off", "a.motion", motionTable(smooth),
       motionTable([](int i, int j) { return smooth(i, j) + 1e-5; }), false},
      {"one u 3 px off", "a.motion", motionTable(smooth),
       motionTable([](int i, int j) { return smooth(i, j) + (i == 0 && j == 0 ? 3 : 0); }), false},
      {"two lines of u swapped", "a.motion", motionTable(smooth),
       motionTable([](int i, int j) { return smooth(i == 1 ? 2 : i == 2 ? 1 : i, j); }), false},
      {"a result slot's sixth digit", "r0", evidence, "0.01\t1\t155160\t0.313311\t0.000144055\t0\n", true},
      {"a result slot's fifth digit", "r0", evidence, "0.01\t1\t155159\t0.31332\t0.000144054\t0\n", false},
      {"a small result slot's fifth digit", "r0", evidence, "0.01\t1\t155159\t0.31331\t0.000144064\t0\n", false},
      {"a zero slot that becomes 0.3", "r0", evidence, "0.01\t1\t155159\t0.31331\t0.000144054\t0.3\n", false},
      {"a curve's last digit", "S2", "1 5.684831e-03\n", "1 5.684832e-03\n", true},
      {"a curve's fifth digit", "S2", "1 5.684831e-03\n", "1 5.684931e-03\n", false},
      {"the printed end-point error", "log", log, "Resolution 0 (gamma: 0.01 zeta: 1)\nEnd Point Error :0.489; Barron angular error :3.91147\n", false},
      {"a wording", "log", log, "Resolution 0 (gamma: 0.01 zeta: 1)\nEnd point error :0.189; Barron angular error :3.91147\n", false},
      {"a number more", "log", log, log + "1\n", false},
  };
  for (const Case& c : cases) {
    const std::string mismatch = pins::numbersMismatch(c.name, pins::numbersPin(c.name, c.got), pins::numbersPin(c.name, c.want));
    EXPECT_EQ(mismatch.empty(), c.matches) << c.what << ": " << mismatch;
  }
}

}  // namespace
