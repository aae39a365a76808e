#include "sparse_systems.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

struct Entry {
  int col;
  double val;
};

void appendRow(CsrSystem& s, std::vector<Entry>& row, TestRng& rng, bool shuffle) {
  if (shuffle) {
    for (int k = static_cast<int>(row.size()) - 1; k > 0; k--) std::swap(row[k], row[rng.below(k + 1)]);
  }
  for (const Entry& e : row) {
    s.col_ind.push_back(e.col);
    s.val.push_back(e.val);
  }
  s.row_ptr.push_back(static_cast<int>(s.val.size()));
}

// Columns coupled to unknown r (component c at pixel (x, y)) by the grid pattern, without r itself.
std::vector<int> gridNeighbours(int w, int h, int lags, int c, int x, int y) {
  const int plane = w * h;
  std::vector<int> cols;
  cols.push_back((1 - c) * plane + y * w + x);
  for (int l = 1; l <= lags; l++) {
    if (x - l >= 0) cols.push_back(c * plane + y * w + x - l);
    if (x + l < w) cols.push_back(c * plane + y * w + x + l);
    if (y - l >= 0) cols.push_back(c * plane + (y - l) * w + x);
    if (y + l < h) cols.push_back(c * plane + (y + l) * w + x);
  }
  std::sort(cols.begin(), cols.end());
  return cols;
}

}  // namespace

CsrSystem makeGridSystem(int w, int h, int lags, double dominance, uint64_t seed, bool shuffle) {
  TestRng rng(seed), order(seed + 77);  // values do not depend on the storage order
  CsrSystem s;
  s.n = 2 * w * h;
  s.row_ptr.push_back(0);
  for (int c = 0; c < 2; c++)
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        const int r = c * w * h + y * w + x;
        std::vector<Entry> row;
        double sum = 0.0;
        std::vector<Entry> off;
        for (int col : gridNeighbours(w, h, lags, c, x, y)) {
          const double v = -(0.05 + rng.uniform()) / (1.0 + 0.2 * std::abs(col - r) / (w + 1.0));
          sum += std::fabs(v);
          off.push_back({col, v});
        }
        row.push_back({r, dominance * sum + 1e-3});
        row.insert(row.end(), off.begin(), off.end());
        appendRow(s, row, order, shuffle);
      }
  return s;
}

CsrSystem makeSpdGridSystem(int w, int h, int lags, uint64_t seed) {
  // Coupling between two unknowns from a hash of the unordered pair, so that a(i, j) = a(j, i).
  auto coupling = [seed](int a, int b) {
    if (a > b) std::swap(a, b);
    TestRng rng(seed ^ (static_cast<uint64_t>(a) * 1000003ull + static_cast<uint64_t>(b)));
    return -(0.1 + rng.uniform());
  };
  CsrSystem s;
  s.n = 2 * w * h;
  s.row_ptr.push_back(0);
  TestRng order(seed);
  for (int c = 0; c < 2; c++)
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        const int r = c * w * h + y * w + x;
        std::vector<Entry> row;
        double sum = 0.0;
        std::vector<Entry> off;
        for (int col : gridNeighbours(w, h, lags, c, x, y)) {
          const double v = coupling(r, col);
          sum += std::fabs(v);
          off.push_back({col, v});
        }
        row.push_back({r, sum + 0.5});
        row.insert(row.end(), off.begin(), off.end());
        appendRow(s, row, order, false);
      }
  return s;
}

CsrSystem makeRandomSystem(int n, int per_row, uint64_t seed) {
  TestRng rng(seed);
  CsrSystem s;
  s.n = n;
  s.row_ptr.push_back(0);
  for (int i = 0; i < n; i++) {
    std::vector<int> cols;
    while (static_cast<int>(cols.size()) < std::min(per_row, n - 1)) {
      const int c = rng.below(n);
      if (c != i && std::find(cols.begin(), cols.end(), c) == cols.end()) cols.push_back(c);
    }
    std::vector<Entry> row;
    double sum = 0.0;
    for (int c : cols) {
      const double v = 2.0 * rng.uniform() - 1.0;
      sum += std::fabs(v);
      row.push_back({c, v});
    }
    row.push_back({i, sum + 1.0 + rng.uniform()});
    appendRow(s, row, rng, true);
  }
  return s;
}
