// Internal to the ILU(0) preconditioner and the CGS solver: the backward substitution with the
// upper factor. Not part of the folder's public headers.
#pragma once

namespace sparse_detail {

// y = U^-1 y in place, rows n-1 down to 0, for an upper factor stored in compressed rows (values uv,
// columns uc, row pointers up) whose diagonal entry comes first in each row; an empty row divides by 0.
inline void upper_solve_in_place(int n, const double* uv, const int* uc, const int* up, double* y) {
  for (int i = n - 1; i >= 0; i--) {
    int first = up[i];
    const int last = up[i + 1];
    const double diag = first < last ? uv[first++] : 0.0;
    double z = 0.0;
    for (int j = first; j < last; j++) z = uv[j] * y[uc[j]] + z;
    const double r = y[i] - z;
    y[i] = r / diag;
  }
}

}  // namespace sparse_detail
