// Helpers shared by the solver tests: the synthetic systems as matrices, and bitwise comparison.
#pragma once

#include <cstring>

#include "sparse/sparse.h"
#include "support/sparse_systems.h"

inline CompRow_Mat_double fromSystem(CsrSystem& s) {
  return CompRow_Mat_double(s.n, s.n, s.nnz(), s.val.data(), s.row_ptr.data(), s.col_ind.data(), 0);
}

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
