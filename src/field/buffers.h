// Conversions between images, motion fields and packed float buffers, and two small mask helpers.
//
// A float buffer holds every depth plane of channel 0 of an image, plane after plane, each plane
// row-major (x fastest). Whoever receives a buffer from CImg2float owns it and frees it with delete[];
// the functions that only read a buffer never free it.
//
// This header does not pull in the image library: callers that use the returned images include
// <CImg.h> themselves.
#pragma once

namespace cimg_library {
template <typename T> struct CImg;
}

// New buffer of width*height*depth floats from channel 0 of `in` (values narrowed to float).
float* CImg2float(const cimg_library::CImg<double>& in);

// dx x dy image whose value at (x, y) is in[x + y*dx]. A zero size gives the empty image.
cimg_library::CImg<double> float2CImg(int dx, int dy, const float* in);

// dx x dy x dz image whose value at (x, y, z) is in[x + y*dx + z*dx*dy] (dz = 2 rebuilds a motion field).
cimg_library::CImg<double> float2CImg(int dx, int dy, int dz, const float* in);

// Copies nb_col*nb_line floats from im2 (source) to im1 (destination), first to last; nothing when
// the product is below 1.
void Copy_f(float* im1, const float* im2, int nb_col, int nb_line);

// New motion field a.width x a.height x 2: plane 0 from plane 0 of a, plane 1 from plane 0 of b
// (b addressed with its own width; it must be at least as large as a).
cimg_library::CImg<double> fill(const cimg_library::CImg<double>& a, const cimg_library::CImg<double>& b);

// Writes plane 0 of im into depth plane `band` of out (out must be at least as wide and high as im
// and have at least band + 1 planes).
void FillChannel(cimg_library::CImg<double>& out, const cimg_library::CImg<double>& im, int band);

// Copy of in whose plane-0 values become 1.0 when greater than tresh, 0.0 otherwise.
cimg_library::CImg<double> binarize(const cimg_library::CImg<double>& in, double tresh);

// Copy of in whose plane-0 values v with v <= treshmin or v >= treshmax become flag.
cimg_library::CImg<double> treshold_minmax(const cimg_library::CImg<double>& in, double treshmin,
                                           double treshmax, double flag);

// Replicates the sample at each block origin over its sampInt x sampInt block, in both planes of a
// motion field; block origins start at (sampInitx, sampInity). Nothing when sampInt <= 0.
void BlocDensify(cimg_library::CImg<double>& X, int sampInt, int sampInitx, int sampInity);
