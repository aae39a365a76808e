// Synthetic sparse systems in 0-based compressed-row form, shaped like the motion systems: two
// unknowns per pixel of a w x h grid (all u, then all v), each row coupling its unknown to the other
// component of the same pixel and to the same component `lags` pixels away in the four directions.
#pragma once

#include <cstdint>
#include <vector>

struct CsrSystem {
  int n = 0;
  std::vector<double> val;
  std::vector<int> row_ptr;  // n + 1 entries, first 0
  std::vector<int> col_ind;
  int nnz() const { return static_cast<int>(val.size()); }
};

// Small deterministic generator (xorshift64*), independent of the standard library's distributions.
class TestRng {
 public:
  explicit TestRng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 2685821657736338717ull;
  }
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t s_;
};

// Non-symmetric, diagonally dominant by the factor `dominance` (> 1 converges fast; close to 1 slowly).
// Interior rows hold 2 + 4 * lags entries (34 for lags = 8). With `shuffle` the entries of each row are
// stored in a random order, else self first, then the rest in ascending column order.
CsrSystem makeGridSystem(int w, int h, int lags, double dominance, uint64_t seed, bool shuffle);

// Symmetric positive definite system of the same pattern (symmetric couplings, dominant diagonal).
CsrSystem makeSpdGridSystem(int w, int h, int lags, uint64_t seed);

// Random square matrix with `per_row` distinct random columns per row plus the diagonal, in random
// order within each row; diagonal dominance makes every pivot of ILU(0) non-zero.
CsrSystem makeRandomSystem(int n, int per_row, uint64_t seed);
