// Padding of the analysis window to a size that the pyramid divides, and window checks.
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// The padded size for a pyramid of `resol` halvings: unchanged when resol <= 0; otherwise a width
// (height) that is a multiple of 2^resol stays, any other becomes (w / 2^resol + 1) * 2^resol
// (computed in 64 bits; a result beyond the int range ends the run with one line, exit status 1).
void expand_dim(int nb_col, int nb_lig, int resol, int& nouv_nb_col, int& nouv_nb_lig);

// imOrig padded with zeros at the right and at the bottom to the size of expand_dim; every slice
// keeps its pixels at the same (x, y, z); one channel.
cimg_library::CImg<double> expand(const cimg_library::CImg<double>& imOrig, int nbResol);

// Whether the window of dx x dy at (ofx, ofy) lies inside an image of width x height.
bool windowInside(int ofx, int ofy, int dx, int dy, int width, int height);

// The dx x dy window at (ofx, ofy) of plane 0, channel 0 of `image`. A window that does not lie
// inside the image prints one line naming `what` (the file it came from) and exits with status 1.
cimg_library::CImg<double> cropWindow(const cimg_library::CImg<double>& image, int ofx, int ofy, int dx,
                                      int dy, const std::string& what);
