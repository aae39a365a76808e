// Small image operators of the motion solver: correlation with a small kernel, Laplacians and
// robust one-sided difference powers. All read plane 0 of their inputs and return a new image of
// the input's width and height.
//
// Border rule: with periodic false a neighbour outside the grid is the nearest border pixel (the
// pixel itself for one-step neighbours); with periodic true indices wrap modulo the size.
#pragma once

#include <CImg.h>

// Correlation (the kernel is not mirrored) of b with an odd-sized kernel, clamped border.
cimg_library::CImg<double> Filtre_2D(const cimg_library::CImg<double>& b, const cimg_library::CImg<double>& filtre);

// The same with a wrap-around border when periodic (modulo the size, whatever the kernel radius).
cimg_library::CImg<double> Filtre_2D(const cimg_library::CImg<double>& b, const cimg_library::CImg<double>& filtre,
                                     bool periodic);

// Five-point Laplacian: the four neighbours minus 4 times the pixel.
cimg_library::CImg<double> laplacian(const cimg_library::CImg<double>& im, bool periodic);

// Laplacian with link weights: z[0](x, y) weighs the link to (x + 1, y), z[1](x, y) the link to (x, y + 1).
cimg_library::CImg<double> laplacian(const cimg_library::CImg<double>& im, const cimg_library::CImgList<double>& z,
                                     bool periodic);

// Weighted Laplacian whose links are also multiplied by the power of the forward differences of U.
cimg_library::CImg<double> laplacianPiemeDerivRobustWeight(const cimg_library::CImg<double>& im,
                                                           const cimg_library::CImgList<double>& z,
                                                           const cimg_library::CImg<double>& U, double power,
                                                           bool periodic);

// 0.5 * (pow(im(x,y) - im(xp,y), power) * z(xp,y) + pow(im(xn,y) - im(x,y), power) * z(x,y)).
cimg_library::CImg<double> GradRobX_powK(const cimg_library::CImg<double>& im, const cimg_library::CImg<double>& z,
                                         double power, bool periodic);

// The same along the lines.
cimg_library::CImg<double> GradRobY_powK(const cimg_library::CImg<double>& im, const cimg_library::CImg<double>& z,
                                         double power, bool periodic);
