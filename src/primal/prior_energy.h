// Smoothness energies of a motion field given as its two component images U and V. Each energy is
// the sum over the pixels of 0.5 times the sum of four per-pixel terms.
#pragma once

#include <CImg.h>

// Robust powers of one-sided differences (GradRobX_powK / GradRobY_powK), horizontal differences
// weighted by reg_out[0] and vertical ones by reg_out[1].
double PriorEnergyHS_powK_1st(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V,
                              const cimg_library::CImgList<double>& reg_out, double power, bool periodic);
// The same with all weights 1.
double PriorEnergyHS_powK_1st(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V, double power,
                              bool periodic);

// Powers of central differences; reg_out[0] weighs the vertical differences and reg_out[1] the
// horizontal ones.
double PriorEnergyHS_powK_2nd(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V,
                              const cimg_library::CImgList<double>& reg_out, double power, bool periodic);

// Squares of central differences, weighted as in PriorEnergyHS_powK_2nd.
double PriorEnergyHS_2nd(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V,
                         const cimg_library::CImgList<double>& reg_out, bool periodic);
// The same without weights.
double PriorEnergyHS_2nd(const cimg_library::CImg<double>& U, const cimg_library::CImg<double>& V, bool periodic);
