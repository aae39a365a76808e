// Divergence tools for motion fields: the Fourier-space projection onto the divergence-free part and
// the second-order centred divergence.
#pragma once

namespace cimg_library {
template <typename T> struct CImg;
}

// Splits the spectrum of the field Xin (nbc x nbl, planes u and v, taken as one period of a periodic
// field) into divergence and curl spectra, drops the divergence spectrum when divNul is true and
// rebuilds u and v into the nbc x nbl window of planes 0 and 1 of X. With divNul this is the solenoidal
// projection for every nbc x nbl, wide or tall, odd or even: a periodic divergence-free field comes
// back as it was (to rounding) and what comes back has no divergence; without divNul the field comes
// back as it was. The mean of each component has no divergence and is kept: a uniform field comes back
// as it was. X may be the same object as Xin. Any size is accepted (transforms in double precision).
// The Nyquist column of an even nbc and the Nyquist row of an even nbl are left as the program always
// had them: both of their conjugate halves are rebuilt with the index +n/2, so their rebuilt spectrum
// is not conjugate-symmetric, the imaginary part of the inverse transform is dropped, and those modes
// are not projected exactly (a field with Nyquist content keeps some of its divergence there). An input
// without two planes, or an X smaller than nbc x nbl x 2, prints one line on standard error and ends
// the process with status 1.
void maj_vecteurs(cimg_library::CImg<double>& X, const cimg_library::CImg<double>& Xin, bool divNul);

// Divergence of the field im with centred differences on single-precision copies of u and v:
// 0.5*(u(x+1,y) - u(x-1,y)) + 0.5*(v(x,y+1) - v(x,y-1)), a sample outside the image taking the value of
// the nearest border sample. One-plane image of im's width and height.
cimg_library::CImg<double> divImOrder2(const cimg_library::CImg<double>& im);
