// What the number pins of the processor-dependent golden runs let through and what they catch.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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

// The smooth table with the u values of line 7 from column 10 on changed by `d` (d[0] at column 10,
// d[1] at 11, ...; neighbours in the table's order), and `flips` other u values one unit (1e-6) off.
std::string changed(const std::vector<double>& d, const std::vector<double>& flips = {}) {
  return motionTable([&](int i, int j) {
    double u = smooth(i, j);
    if (i == 7 && j >= 10 && j - 10 < (int)d.size()) u += d[j - 10];
    if (i == 30 && j < (int)flips.size()) u += flips[j] * 1e-6;
    return u;
  });
}

// A PGM 64 bytes wide and `lines` high (64 x 64 by default) whose raster byte k is `at(k)`.
std::string pgm(const std::function<int(int)>& at, int lines = 64) {
  std::string p = "P5\n64 " + std::to_string(lines) + "\n255\n";
  for (int k = 0; k < 64 * lines; ++k) p.push_back((char)at(k));
  return p;
}

int gradient(int k) { return (k % 64) * 3 + k / 64; }
int tall(int k) { return (k % 64) * 3 + k / 2048; }  // for 512 lines of 64 bytes

struct Case {
  const char* what;
  std::string name, want, got;
  bool matches;
};

TEST(NumberPins, LastDigitFlipsPassChangesOfOneOrTwoValuesOrOfTheTextDoNot) {
  const std::string evidence = "0.01\t1\t155159\t0.31331\t0.000144054\t0\n";
  const std::string log = "Resolution 0 (gamma: 0.01 zeta: 1)\nEnd Point Error :0.189; Barron angular error :3.91147\n";
  const std::string table = motionTable(smooth), image = pgm(gradient);
  const Case cases[] = {
      {"the same motion table", "a.motion", table, changed({}), true},
      {"one u one unit of its last digit off", "a.motion", table, changed({1e-6}), true},
      {"four u one unit off each (last-digit flips)", "a.motion", table, changed({}, {1, 1, 1, 1}), true},
      {"four u one unit off, signs mixed", "a.motion", table, changed({}, {1, -1, -1, 1}), true},
      {"one u 4 units off (the tolerance)", "a.motion", table, changed({4e-6}), true},
      {"one u 5 units off", "a.motion", table, changed({5e-6}), false},
      {"one u 1e-5 off", "a.motion", table, changed({1e-5}), false},
      {"one u 1e-5 off, five others one unit the other way", "a.motion", table,
       changed({1e-5}, {-1, -1, -1, -1, -1}), false},
      {"the last u 1e-5 off", "a.motion", table,
       motionTable([](int i, int j) { return smooth(i, j) + (i == 39 && j == 39 ? 1e-5 : 0); }), false},
      {"every u 1e-5 off", "a.motion", table, motionTable([](int i, int j) { return smooth(i, j) + 1e-5; }), false},
      {"one u 3 px off", "a.motion", table, changed({3}), false},
      {"neighbours +2 and -2 units", "a.motion", table, changed({2e-6, -2e-6}), true},
      {"neighbours +3 and -3 units", "a.motion", table, changed({3e-6, -3e-6}), false},
      {"neighbours +0.05 and -0.05 px", "a.motion", table, changed({0.05, -0.05}), false},
      {"neighbours +3, -6, +3 px", "a.motion", table, changed({3, -6, 3}), false},
      {"neighbours +3, -6, +3 units", "a.motion", table, changed({3e-6, -6e-6, 3e-6}), false},
      {"three neighbours rotated (same sum)", "a.motion", table,
       changed({smooth(7, 11) - smooth(7, 10), smooth(7, 12) - smooth(7, 11), smooth(7, 10) - smooth(7, 12)}), false},
      {"two lines of u swapped", "a.motion", table,
       motionTable([](int i, int j) { return smooth(i == 1 ? 2 : i == 2 ? 1 : i, j); }), false},
      {"the same raster", "a.pgm", image, pgm(gradient), true},
      {"one raster byte 4 off", "a.pgm", image, pgm([](int k) { return gradient(k) + (k == 1000 ? 4 : 0); }), true},
      {"one raster byte 5 off", "a.pgm", image, pgm([](int k) { return gradient(k) + (k == 1000 ? 5 : 0); }), false},
      {"neighbour bytes +3 and -3", "a.pgm", image,
       pgm([](int k) { return gradient(k) + (k == 1000 ? 3 : k == 1001 ? -3 : 0); }), false},
      // The sign words of positions 23334 and 31429 are alike in their 32 low bits: the sum and signed
      // sums 1 to 32 stay, 19 of the signed sums 33 to 64 move by 6.
      {"bytes 23334 and 31429 +3 and -3", "a.pgm", pgm(tall, 512),
       pgm([](int k) { return tall(k) + (k == 23334 ? 3 : k == 31429 ? -3 : 0); }, 512), false},
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

// Two numbers of a column changed by a and b move sum k by a s_k(i) + b s_k(j). Unless the sign words
// of positions i and j are equal or opposite, some sum moves by |a + b| and another by |a - b|, so
// every pair with |a| + |b| above the tolerance is caught. Proven here for every position the pins
// accept: each word and its complement brought to one form (top bit clear), then all forms distinct.
TEST(NumberPins, NoTwoPositionsHaveEqualOrOppositeSigns) {
  std::vector<uint64_t> forms(pins::kSignsProvenUpTo);
  for (uint64_t p = 0; p < forms.size(); ++p) {
    const uint64_t w = pins::signWord(p);
    forms[p] = w >> 63 ? ~w : w;
  }
  std::sort(forms.begin(), forms.end());
  EXPECT_TRUE(std::adjacent_find(forms.begin(), forms.end()) == forms.end());
}

}  // namespace
