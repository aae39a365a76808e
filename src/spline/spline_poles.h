// Internal to the spline code (bspline.cpp, spline_derivatives.cpp): the poles of the interpolating
// B-spline filters. Not part of the folder's public headers.
#pragma once

namespace spline_detail {

// Poles of the interpolating B-spline filter of each degree, in the order they are applied.
// Returns the number of poles, 0 for an unsupported degree.
inline long polesOfDegree(long degree, double z[4]) {
  switch (degree) {
    case 2:
      z[0] = -0.1715728752538097;
      return 1;
    case 3:
      z[0] = -0.2679491924311228;
      return 1;
    case 4:
      z[0] = -0.3613412259002118;
      z[1] = -0.013725429297341663;
      return 2;
    case 5:
      z[0] = -0.43057534709997825;
      z[1] = -0.04309628820326328;
      return 2;
    case 6:
      z[0] = -0.48829458930304476;
      z[1] = -0.08167927107623751;
      z[2] = -0.0014141518083258177;
      return 3;
    case 7:
      z[0] = -0.5352804307964382;
      z[1] = -0.12255461519232669;
      z[2] = -0.009148694809608277;
      return 3;
    case 8:
      z[0] = -0.5746869092487654;
      z[1] = -0.16303526929728093;
      z[2] = -0.02363229469484485;
      z[3] = -0.00015382131064169092;
      return 4;
    case 9:
      z[0] = -0.6079973891686258;
      z[1] = -0.20175052019315323;
      z[2] = -0.04322260854048175;
      z[3] = -0.002121306903180818;
      return 4;
    default:
      return 0;
  }
}

}  // namespace spline_detail
