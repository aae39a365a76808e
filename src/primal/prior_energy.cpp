#include "primal/prior_energy.h"

#include "primal/filters.h"

using namespace cimg_library;

namespace {

// Central differences: mask_x between the lines above and below, mask_y between the columns left
// and right.
const CImg<double>& maskX() {
  static const double m[3] = {-0.5, 0.0, 0.5};
  static const CImg<double> mask(m, 1, 3, 1, 1);
  return mask;
}
const CImg<double>& maskY() {
  static const double m[3] = {-0.5, 0.0, 0.5};
  static const CImg<double> mask(m, 3, 1, 1, 1);
  return mask;
}

// Sum over the pixels of 0.5 * (((a + b) + c) + d): the images are added, halved, then summed.
double halfSum(const CImg<double>& a, const CImg<double>& b, const CImg<double>& c, const CImg<double>& d) {
  double s = 0.0;
  const double *pa = a.data(), *pb = b.data(), *pc = c.data(), *pd = d.data();
  for (size_t n = 0, N = a.size(); n < N; ++n) s += (((pa[n] + pb[n]) + pc[n]) + pd[n]) * 0.5;
  return s;
}

}  // namespace

double PriorEnergyHS_powK_1st(const CImg<double>& U, const CImg<double>& V, const CImgList<double>& reg_out,
                              double power, bool periodic) {
  const CImg<double> gradP_Ux = GradRobX_powK(U, reg_out[0], power, periodic);
  const CImg<double> gradP_Uy = GradRobY_powK(U, reg_out[1], power, periodic);
  const CImg<double> gradP_Vx = GradRobX_powK(V, reg_out[0], power, periodic);
  const CImg<double> gradP_Vy = GradRobY_powK(V, reg_out[1], power, periodic);
  return halfSum(gradP_Ux, gradP_Uy, gradP_Vx, gradP_Vy);
}

double PriorEnergyHS_powK_1st(const CImg<double>& U, const CImg<double>& V, double power, bool periodic) {
  CImgList<double> ones(2, U.width(), U.height(), 1, 1, 1.0);
  return PriorEnergyHS_powK_1st(U, V, ones, power, periodic);
}

double PriorEnergyHS_powK_2nd(const CImg<double>& U, const CImg<double>& V, const CImgList<double>& reg_out,
                              double power, bool periodic) {
  const CImg<double> gradP_Ux = Filtre_2D(U, maskX(), periodic).pow(power);
  const CImg<double> gradP_Uy = Filtre_2D(U, maskY(), periodic).pow(power);
  const CImg<double> gradP_Vx = Filtre_2D(V, maskX(), periodic).pow(power);
  const CImg<double> gradP_Vy = Filtre_2D(V, maskY(), periodic).pow(power);
  return halfSum(gradP_Ux.get_mul(reg_out[0]), gradP_Uy.get_mul(reg_out[1]), gradP_Vx.get_mul(reg_out[0]),
                 gradP_Vy.get_mul(reg_out[1]));
}

double PriorEnergyHS_2nd(const CImg<double>& U, const CImg<double>& V, const CImgList<double>& reg_out,
                         bool periodic) {
  const CImg<double> grad_Ux = Filtre_2D(U, maskX(), periodic);
  const CImg<double> grad_Uy = Filtre_2D(U, maskY(), periodic);
  const CImg<double> grad_Vx = Filtre_2D(V, maskX(), periodic);
  const CImg<double> grad_Vy = Filtre_2D(V, maskY(), periodic);
  return halfSum(grad_Ux.get_mul(grad_Ux).mul(reg_out[0]), grad_Uy.get_mul(grad_Uy).mul(reg_out[1]),
                 grad_Vx.get_mul(grad_Vx).mul(reg_out[0]), grad_Vy.get_mul(grad_Vy).mul(reg_out[1]));
}

double PriorEnergyHS_2nd(const CImg<double>& U, const CImg<double>& V, bool periodic) {
  const CImg<double> grad_Ux = Filtre_2D(U, maskX(), periodic);
  const CImg<double> grad_Uy = Filtre_2D(U, maskY(), periodic);
  const CImg<double> grad_Vx = Filtre_2D(V, maskX(), periodic);
  const CImg<double> grad_Vy = Filtre_2D(V, maskY(), periodic);
  return halfSum(grad_Ux.get_mul(grad_Ux), grad_Uy.get_mul(grad_Uy), grad_Vx.get_mul(grad_Vx),
                 grad_Vy.get_mul(grad_Vy));
}
