// Robust weight images: per-pixel weights of the data term and per-link weights of the smoothness term.
#pragma once

#include <CImg.h>

// Leclerc weights exp(-r^2 / sigma^2) of the linearised brightness residual
// r = (u*fx + v*fy) + ft, with sigma^2 formed in single precision; all 0 when sigma^2 is 0.
// Writes the nb_col x nb_line pixels of Data_out (allocated by the caller).
void Data_Out_Gen_f(const cimg_library::CImg<double>& u, const cimg_library::CImg<double>& v,
                    const cimg_library::CImg<double>& fx, const cimg_library::CImg<double>& fy,
                    const cimg_library::CImg<double>& ft, float sigma, int nb_col, int nb_line,
                    cimg_library::CImg<double>& Data_out);

// Quasi-total-variation weights s / sqrt(r^2 + s^2), s^2 formed in single precision.
void Data_Out_Gen_f_QuasiTV(const cimg_library::CImg<double>& u, const cimg_library::CImg<double>& v,
                            const cimg_library::CImg<double>& fx, const cimg_library::CImg<double>& fy,
                            const cimg_library::CImg<double>& ft, float s, int nb_col, int nb_line,
                            cimg_library::CImg<double>& Data_out);

// Link weights of a motion field UV (slice 0 u, slice 1 v): z[0](x, y) for the link to (x + 1, y),
// z[1](x, y) for the link to (x, y + 1); the mean of the Leclerc weights exp(-tau d^2) of the u and v
// differences. At the last column (line) the neighbour is the pixel itself, or column (line) 0
// when periodic. z must hold two images of the field's size.
void UpdateRobustWeight_Leclerc(const cimg_library::CImg<double>& UV, cimg_library::CImgList<double>& z,
                                double tau, bool periodic);

// The same with quasi-TV weights s / sqrt(d^2 + s^2), s = 0.5 / tau.
void UpdateRobustWeight_QuasiTV(const cimg_library::CImg<double>& UV, cimg_library::CImgList<double>& z,
                                double tau, bool periodic);
