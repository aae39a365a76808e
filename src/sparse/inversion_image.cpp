// standard_CGS_inversion: the solve of inversion.cpp with the solution written into an image.

#include <CImg.h>

#include <cstdio>
#include <cstdlib>

#include "sparse/inversion.h"

using namespace cimg_library;

int standard_CGS_inversion(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                           MV_Vector_double B, CImg<double>& res, double tol) {
  const long w = res.width(), h = res.height(), d = res.depth();
  if (w * h * d > static_cast<long>(taille < 0 ? 0 : taille)) {
    std::fflush(stdout);
    std::fprintf(stderr, "standard_CGS_inversion: solution image of %ldx%ldx%ld pixels larger than the system (%d)\n",
                 w, h, d, taille);
    std::exit(1);
  }
  MV_Vector_double x;
  const int code = cgs_inversion_to_vector(taille, nombre, val, row_ptr, col_ind, B, x, tol);
  // Slice z, line y, column x of channel 0 receives element z*w*h + y*w + x.
  for (long y = 0; y < h; y++)
    for (long xx = 0; xx < w; xx++)
      for (long z = 0; z < d; z++) res(xx, y, z, 0) = x(static_cast<int>(z * w * h + y * w + xx));
  return code;
}

int standard_CGS_inversion(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                           MV_Vector_double B, CImg<double>& res) {
  return standard_CGS_inversion(taille, nombre, val, row_ptr, col_ind, B, res, 1e-6);
}
