#include "primal/robust_weights.h"

#include <cmath>

using namespace cimg_library;

namespace {

// The linearised brightness residual at column j, line i; each image addressed with its own width.
inline double residual(const CImg<double>& u, const CImg<double>& v, const CImg<double>& fx,
                       const CImg<double>& fy, const CImg<double>& ft, int j, int i) {
  return (u(j, i) * fx(j, i) + v(j, i) * fy(j, i)) + ft(j, i);
}

}  // namespace

void Data_Out_Gen_f(const CImg<double>& u, const CImg<double>& v, const CImg<double>& fx, const CImg<double>& fy,
                    const CImg<double>& ft, float sigma, int nb_col, int nb_line, CImg<double>& Data_out) {
  const float sigma2 = sigma * sigma;  // single precision, as the scale parameter is held
  const double var = (double)sigma2;
  if (var == 0.0 || std::isnan(var)) {
    for (int i = 0; i < nb_line; ++i)
      for (int j = 0; j < nb_col; ++j) Data_out(j, i) = 0.0;
    return;
  }
  const double f = 1.0 / var;
  for (int i = 0; i < nb_line; ++i)
    for (int j = 0; j < nb_col; ++j) {
      const double r = residual(u, v, fx, fy, ft, j, i);
      Data_out(j, i) = std::exp(-(r * r) * f);
    }
}

void Data_Out_Gen_f_QuasiTV(const CImg<double>& u, const CImg<double>& v, const CImg<double>& fx,
                            const CImg<double>& fy, const CImg<double>& ft, float s, int nb_col, int nb_line,
                            CImg<double>& Data_out) {
  const float s2f = s * s;
  const double s2 = (double)s2f, sd = (double)s;
  for (int i = 0; i < nb_line; ++i)
    for (int j = 0; j < nb_col; ++j) {
      const double r = residual(u, v, fx, fy, ft, j, i);
      Data_out(j, i) = sd / std::sqrt(r * r + s2);
    }
}

namespace {

// Visits every pixel with its next column and next line under the border rule of the link weights.
template <typename F>
void forEachLink(int nc, int nl, bool periodic, F f) {
  for (int y = 0; y < nl; ++y) {
    const int yn = (y + 1 < nl) ? y + 1 : (periodic ? 0 : y);
    for (int x = 0; x < nc; ++x) {
      const int xn = (x + 1 < nc) ? x + 1 : (periodic ? 0 : x);
      f(x, y, xn, yn);
    }
  }
}

}  // namespace

void UpdateRobustWeight_Leclerc(const CImg<double>& UV, CImgList<double>& z, double tau, bool periodic) {
  forEachLink(UV.width(), UV.height(), periodic, [&](int x, int y, int xn, int yn) {
    const double v0 = UV(x, y, 1), u0 = UV(x, y, 0);
    const double dvh = v0 - UV(xn, y, 1), duh = u0 - UV(xn, y, 0);
    const double dvv = v0 - UV(x, yn, 1), duv = u0 - UV(x, yn, 0);
    z[0](x, y) = 0.5 * (std::exp(-tau * (dvh * dvh)) + std::exp(-tau * (duh * duh)));
    z[1](x, y) = 0.5 * (std::exp(-tau * (dvv * dvv)) + std::exp(-tau * (duv * duv)));
  });
}

void UpdateRobustWeight_QuasiTV(const CImg<double>& UV, CImgList<double>& z, double tau, bool periodic) {
  const double s = 0.5 / tau, s2 = s * s;
  forEachLink(UV.width(), UV.height(), periodic, [&](int x, int y, int xn, int yn) {
    const double v0 = UV(x, y, 1), u0 = UV(x, y, 0);
    const double dvh = v0 - UV(xn, y, 1), duh = u0 - UV(xn, y, 0);
    const double dvv = v0 - UV(x, yn, 1), duv = u0 - UV(x, yn, 0);
    z[0](x, y) = (1 / std::sqrt(dvh * dvh + s2) + 1 / std::sqrt(duh * duh + s2)) * (s * 0.5);
    z[1](x, y) = (1 / std::sqrt(dvv * dvv + s2) + 1 / std::sqrt(duv * duv + s2)) * (s * 0.5);
  });
}
