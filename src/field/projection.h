// Divergence tools for motion fields: the Fourier-space projection onto the divergence-free part and
// the second-order centred divergence.
#pragma once

namespace cimg_library {
template <typename T> struct CImg;
}

// Splits the spectrum of the field Xin (nbc x nbl, planes u and v, taken as periodic) into divergence
// and curl spectra, drops the divergence spectrum when divNul is true and rebuilds u and v into the
// nbc x nbl window of planes 0 and 1 of X. The mean of each component has no divergence and is kept: a
// uniform field comes back as it was. X may be the same object as Xin. Any size is
// accepted (transforms in double precision). Non-square fields use the wavenumbers of each axis for
// the split, the plain frequency indices for the rebuild and the factor sqrt(nbc*nbl)/(2*pi), as the
// program always has. An input without two planes, or an X smaller than nbc x nbl x 2, prints one
// line on standard error and ends the process with status 1.
void maj_vecteurs(cimg_library::CImg<double>& X, const cimg_library::CImg<double>& Xin, bool divNul);

// Divergence of the field im with centred differences on single-precision copies of u and v:
// 0.5*(u(x+1,y) - u(x-1,y)) + 0.5*(v(x,y+1) - v(x,y-1)), a sample outside the image taking the value of
// the nearest border sample. One-plane image of im's width and height.
cimg_library::CImg<double> divImOrder2(const cimg_library::CImg<double>& im);
