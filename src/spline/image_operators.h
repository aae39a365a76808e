// Image operators on top of the cubic B-spline library: warping an image by a motion field, doubling
// a field's resolution, and spatial and temporal derivatives of images.
//
// Images are CImg<double>; only channel 0 of depth plane 0 is read (the motion field's planes 0 and
// 1 are u and v). This header does not pull in the image library: callers include <CImg.h>.
#pragma once

#include "field/missing_sample.h"

namespace cimg_library {
template <typename T> struct CImg;
}

// out becomes the image `in` resampled at (i + U(i, j), j + V(i, j)) for every pixel (i, j): B-spline
// of degree SplineDegree (above 2) or bilinear (2 or less); next to the border or to a missing
// sample (|value| >= kMissingSample, 1022), and where a field value is not finite, the sample at the
// shift truncated towards zero. out gets the width and height of `in` and may be the same object as `in`. An empty
// `in` gives an empty out. A field whose width or height differs from the image's, or with fewer
// than two planes, is refused: message on standard error, exit status 1.
void Recal_spline(cimg_library::CImg<double>& out, const cimg_library::CImg<double>& in,
                  const cimg_library::CImg<double>& UV, int SplineDegree);

// The samples of `in` that the missing-data test of Recal_spline(out, in, UV, degree) tests while it
// computes the output pixels of the window (x0, y0, w, h) of `in` (clipped to the image): `read`
// distinct samples, `missing` of them of magnitude kMissingSample or more. A pixel whose shift is
// not a number, or whose neighbour in the direction of the shift lies outside the image, reads none
// (it takes the sample at its truncated shift). A field that does not fit is refused as by Recal_spline.
WarpSamples samplesTestedByWarp(const cimg_library::CImg<double>& in, const cimg_library::CImg<double>& UV, int x0,
                                int y0, int w, int h);

// out becomes the 2W x 2H image of the B-spline through `in` (W x H) sampled at the grid points
// and half-way between them; the last column and line repeat the ones before them. An empty `in`
// gives an empty out. out may be the same object as `in`.
void Proj_Dup_Spline(cimg_library::CImg<double>& out, const cimg_library::CImg<double>& in,
                     int SplineDegree = 3);

// Exact derivatives at the grid points of the cubic mirror-border B-spline through `in` (channel 0
// of plane 0), after a recursive Gaussian blur of amplitude sigma along each axis when sigma > 0.
// x is the column index, y the line index (downwards). Exit status 1 if the prefilter fails.
cimg_library::CImg<double> gradSpline_X(const cimg_library::CImg<double>& in, float sigma);
cimg_library::CImg<double> gradSpline_Y(const cimg_library::CImg<double>& in, float sigma);
cimg_library::CImg<double> gradSpline_XX(const cimg_library::CImg<double>& in, float sigma);
cimg_library::CImg<double> gradSpline_YY(const cimg_library::CImg<double>& in, float sigma);
cimg_library::CImg<double> gradSpline_XY(const cimg_library::CImg<double>& in, float sigma);

// indt - in, blurred like the spatial operators when sigma > 0. Images of different sizes are
// refused: message on standard error, exit status 1.
cimg_library::CImg<double> grad_t(const cimg_library::CImg<double>& in, const cimg_library::CImg<double>& indt,
                                  float sigma);
