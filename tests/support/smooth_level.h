// A synthetic pyramid level with an exactly linear data term: the derivatives of a smooth textured
// image and a cellular vortex motion, with the temporal derivative chosen so that
// f_x u + f_y v + f_t = 0 holds for the true motion. Every value is representable in single precision,
// so single-precision copies of the level are exact.
#pragma once

#include <CImg.h>

struct SmoothMotionLevel {
  cimg_library::CImg<double> f_x, f_y, f_t;  // nc x nl
  cimg_library::CImg<double> trueUV;         // nc x nl x 2 (u, v)
};

// Texture phases drawn from `seed`; the vortex has amplitude `amplitude` pixels and one cell per image.
SmoothMotionLevel makeSmoothMotionLevel(int nc, int nl, unsigned seed, double amplitude = 0.8);
