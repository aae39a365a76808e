// Gaussian smoothing of images by the image library's recursive (Deriche) filter.
#pragma once

#include <CImg.h>

// Blurs im in place with the zero-order Deriche filter of standard deviation sigma (Neumann border)
// along x, then y, then z, each axis only when the image has more than one sample along it. Only a
// positive sigma blurs (the library would read a negative one as a percentage of the size); an empty
// image is left as it is.
void blurDeriche(cimg_library::CImg<double>& im, float sigma);
