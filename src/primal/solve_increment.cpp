#include "primal/solve_increment.h"

#include "sparse/inversion.h"

using namespace cimg_library;

bool solveIncrement(int taille, int nombre, double* val, int* row_ptr, int* col_ind, const MV_Vector_double& B,
                    CImg<double>& X, CImg<double>& UV) {
  const int code = standard_CGS_inversion(taille, nombre, val, row_ptr, col_ind, B, X, 1e-6);
  if (code != 0) return true;
  const int nc = X.width(), nl = X.height();
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      UV(x, y, 0) = X(x, y, 0);
      UV(x, y, 1) = X(x, y, 1);
    }
  return false;
}
