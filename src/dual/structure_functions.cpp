// Second-order structure functions, K41 residuals and the constraint deviation.
#include "dual/structure_functions.h"

#include "dual/lag_weights.h"
#include "dual/structure_passes.h"

#include <algorithm>
#include <cmath>
#include <iostream>

using namespace cimg_library;
using dual_detail::ConstantWeights;
using dual_detail::ListWeights;
using dual_detail::warnScaleInterval;
using dual_detail::zeroVector;
using dual_detail::checkHVLists;
using dual_detail::checkCrossLists;
using dual_detail::signedCrossPass;
using dual_detail::signedHoriVertPass;
using dual_detail::withConstantWeights;

namespace {

constexpr double kInvSqrt2 = 0.7071067811865475;
constexpr double kSqrt2 = 1.4142135623730951;

inline double sq(double d) { return d * d; }

// Whether every squared increment of the field is finite: its values are finite and below 2^510 in
// magnitude, so that no difference of two of them squares beyond the double range.
bool squaresFinite(const CImg<double>& UV) {
  const double bound = std::ldexp(1.0, 510);
  const long n = 2L * UV.width() * UV.height();
  const double* p = UV.data();
  for (long i = 0; i < n; ++i)
    if (!(std::fabs(p[i]) < bound)) return false;
  return true;
}

// Horizontal/vertical pass; WL weighs longitudinal pairs, WT transverse pairs.
template <class WL, class WT>
CImg<double> horiVert(const CImg<double>& UV, int neta, int lo, const WL& z_right, const WL& z_down,
                      const WT& z_t_right, const WT& z_t_down) {
  return signedHoriVertPass(UV, neta, lo, z_right, z_down, z_t_right, z_t_down, [](double d) { return sq(d); },
                            squaresFinite(UV));
}

// Diagonal pass over the indices l0..lend of [neta, lo].
template <class WL, class WT>
CImg<double> cross(const CImg<double>& UV, int neta, int lo, const WL& z_rightDown, const WL& z_rightUp,
                   const WT& z_t_rightDown, const WT& z_t_rightUp) {
  const int nc = UV.width();
  const long N = (long)nc * UV.height();
  const double* u = UV.data();
  const double* v = UV.data() + N;
  // A weight that is 0 everywhere adds nothing when the terms are finite (see addsNothing).
  const bool finite = squaresFinite(UV);
  const bool longitudinal = !dual_detail::addsNothing(z_rightDown, finite) || !dual_detail::addsNothing(z_rightUp, finite);
  const bool transverse =
      !dual_detail::addsNothing(z_t_rightDown, finite) || !dual_detail::addsNothing(z_t_rightUp, finite);
  return signedCrossPass(UV, neta, lo, z_t_rightDown, [&](double& sum, int j, int l, int x, int y, long p) {
    const long rd = p + l + (long)l * nc;  // (x + l, y + l)
    const long lu = p - l - (long)l * nc;  // (x - l, y - l)
    const long ld = p - l + (long)l * nc;  // (x - l, y + l)
    const long ru = p + l - (long)l * nc;  // (x + l, y - l)
    const double du1 = u[p] - u[rd], dv1 = v[p] - v[rd];
    const double du2 = u[p] - u[lu], dv2 = v[p] - v[lu];
    const double du3 = u[p] - u[ld], dv3 = v[p] - v[ld];
    const double du4 = u[p] - u[ru], dv4 = v[p] - v[ru];
    const double h1 = (du1 * du1 + dv1 * dv1) * 0.5, c1 = du1 * dv1;
    const double h2 = (du2 * du2 + dv2 * dv2) * 0.5, c2 = du2 * dv2;
    const double h3 = (du3 * du3 + dv3 * dv3) * 0.5, c3 = du3 * dv3;
    const double h4 = (du4 * du4 + dv4 * dv4) * 0.5, c4 = du4 * dv4;
    if (longitudinal) {
      sum += z_rightDown(j, x, y) * (h1 + c1);
      sum += z_rightDown(j, x - l, y - l) * (h2 + c2);
      sum += z_rightUp(j, x - l, y + l) * (h3 - c3);
      sum += z_rightUp(j, x, y) * (h4 - c4);
    }
    if (transverse) {
      sum += z_t_rightDown(j, x, y) * (h1 - c1);
      sum += z_t_rightDown(j, x - l, y - l) * (h2 - c2);
      sum += z_t_rightUp(j, x - l, y + l) * (h3 + c3);
      sum += z_t_rightUp(j, x, y) * (h4 + c4);
    }
  });
}

CImg<double> horiVertConstant(const CImg<double>& UV, int neta, int lo, double zLong, double zTrans) {
  return withConstantWeights(UV, zLong, zTrans, "StructureFunction2nd_horiVertDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return horiVert(UV, neta, lo, wl, wl, wt, wt);
                             });
}

CImg<double> crossConstant(const CImg<double>& UV, int neta, int lo, double zLong, double zTrans) {
  return withConstantWeights(UV, zLong, zTrans, "StructureFunction2nd_crossDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return cross(UV, neta, lo, wl, wl, wt, wt);
                             });
}

// Writes residuals S2 - target into subGrad for l = first..last, within its length, after zeroing the
// entries below LMin; lags that are not constrained get 0.
template <class Constrained, class Target>
void writeResiduals(CImg<double>& subGrad, const CImg<double>& S2, int LMin, int first, int last,
                    Constrained constrained, Target target) {
  const int size = (int)subGrad.size();
  for (int l = 0; l < std::min(LMin, size); ++l) subGrad[l] = 0;
  for (int l = std::max(first, 0); l <= last && l < size; ++l)
    subGrad[l] = (constrained(l) && l < (int)S2.size()) ? S2[l] - target(l) : 0.0;
}

template <class Target>
void writeResidualsHV(CImg<double>& subGrad, const CImg<double>& S2, int nc, int nl, int LMin, int LMax,
                      Target target) {
  writeResiduals(subGrad, S2, LMin, LMin, LMax, [&](int l) { return lagConstrainedHV(nc, nl, l); }, target);
}

template <class Target>
void writeResidualsCross(CImg<double>& subGrad, const CImg<double>& S2, int nc, int nl, int LMin, int LMax,
                         Target target) {
  writeResiduals(subGrad, S2, LMin, diagonalFirstIndex(LMin), std::min(diagonalLastIndex(LMax), LMax),
                 [&](int l) { return lagConstrainedCross(nc, nl, l); }, target);
}

double absDev(const CImg<double>& UV, double beta, double power, int neta, int lo, bool trans) {
  const int n = std::max(lo + 1, 0);
  CImg<double> subGrad_horiVertDir(n), subGrad_crossDir(n);
  subGrad_horiVertDir.fill(0.0);
  subGrad_crossDir.fill(0.0);
  subGradients_K41_horiVertDir(subGrad_horiVertDir, UV, beta, power, neta, lo, trans);
  subGradients_K41_crossDir(subGrad_crossDir, UV, beta, power, neta, lo, trans);
  const int l0 = diagonalFirstIndex(neta);
  const int lend = std::min(diagonalLastIndex(lo), lo);
  double costEq1 = 0, costEq2 = 0;
  int count = 0;
  if (lo >= neta) {
    for (int l = std::max(neta, 0); l <= lo; ++l) costEq1 += std::fabs(subGrad_horiVertDir[l]);
    count += lo - neta + 1;
  }
  if (lend >= l0) {
    for (int l = std::max(l0, 0); l <= lend; ++l) costEq2 += std::fabs(subGrad_crossDir[l]);
    count += lend - l0 + 1;
  }
  if (count <= 0) return 0.0;
  return (costEq2 + costEq1) / count;
}

}  // namespace

double gammaHV(int nc, int nl, int l) {
  return (double)(2LL * ((long long)nc * (nl - 2LL * l) + (long long)nl * (nc - 2LL * l)));
}

double gammaCross(int nc, int nl, int l) { return (double)(4LL * (nc - 2LL * l) * (nl - 2LL * l)); }

bool lagConstrainedHV(int nc, int nl, int l) { return l >= 0 && gammaHV(nc, nl, l) > 0; }

bool lagConstrainedCross(int nc, int nl, int l) { return l >= 0 && nc - 2LL * l > 0 && nl - 2LL * l > 0; }

int diagonalFirstIndex(int neta) { return (int)(neta * kInvSqrt2 + 1); }

int diagonalLastIndex(int lo) { return (int)(lo * kInvSqrt2 + 1); }

CImg<double> StructureFunction2nd_horiVertDir(const CImg<double>& UV, int neta, int lo,
                                              const CImgList<double>& z_right, const CImgList<double>& z_down,
                                              const CImgList<double>& z_t_right,
                                              const CImgList<double>& z_t_down) {
  checkHVLists(UV, neta, lo, z_right, z_down, z_t_right, z_t_down, "StructureFunction2nd_horiVertDir");
  return horiVert(UV, neta, lo, ListWeights{z_right}, ListWeights{z_down}, ListWeights{z_t_right},
                  ListWeights{z_t_down});
}

CImg<double> StructureFunction2nd_horiVertDir(const CImg<double>& UV, int neta, int lo, bool trans) {
  return horiVertConstant(UV, neta, lo, 1.0, trans ? 1.0 : 0.0);
}

CImg<double> StructureFunction2ndLong_horiVertDir(const CImg<double>& UV, int neta, int lo) {
  return horiVertConstant(UV, neta, lo, 1.0, 0.0);
}

CImg<double> StructureFunction2ndTrans_horiVertDir(const CImg<double>& UV, int neta, int lo) {
  return horiVertConstant(UV, neta, lo, 0.0, 1.0);
}

CImg<double> StructureFunction2nd_crossDir(const CImg<double>& UV, int neta, int lo,
                                           const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                           const CImgList<double>& z_t_rightDown,
                                           const CImgList<double>& z_t_rightUp) {
  checkCrossLists(UV, neta, lo, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp, "StructureFunction2nd_crossDir");
  return cross(UV, neta, lo, ListWeights{z_rightDown}, ListWeights{z_rightUp}, ListWeights{z_t_rightDown},
               ListWeights{z_t_rightUp});
}

CImg<double> StructureFunction2nd_crossDir(const CImg<double>& UV, int neta, int lo, bool trans) {
  return crossConstant(UV, neta, lo, 1.0, trans ? 1.0 : 0.0);
}

CImg<double> StructureFunction2ndLong_crossDir(const CImg<double>& UV, int neta, int lo) {
  return crossConstant(UV, neta, lo, 1.0, 0.0);
}

CImg<double> StructureFunction2ndTrans_crossDir(const CImg<double>& UV, int neta, int lo) {
  return crossConstant(UV, neta, lo, 0.0, 1.0);
}

void subGradients_K41_horiVertDir(CImg<double>& subGrad, const CImg<double>& UV, double beta, double power,
                                  int LMin, int LMax, bool trans) {
  const CImg<double> S2 = StructureFunction2nd_horiVertDir(UV, LMin, LMax, trans);
  writeResidualsHV(subGrad, S2, UV.width(), UV.height(), LMin, LMax,
                   [&](int l) { return std::pow((double)l, power) * beta; });
}

void subGradients_K41_crossDir(CImg<double>& subGrad, const CImg<double>& UV, double beta, double power, int LMin,
                               int LMax, bool trans) {
  const CImg<double> S2 = StructureFunction2nd_crossDir(UV, LMin, LMax, trans);
  writeResidualsCross(subGrad, S2, UV.width(), UV.height(), LMin, LMax,
                      [&](int l) { return std::pow(l * kSqrt2, power) * beta; });
}

void subGradients_K41_horiVertDir(CImg<double>& subGrad, const CImg<double>& UV, const double* betaFunc_HV,
                                  int LMin, int LMax, const CImgList<double>& z_right,
                                  const CImgList<double>& z_down, const CImgList<double>& z_t_right,
                                  const CImgList<double>& z_t_down) {
  const CImg<double> S2 = StructureFunction2nd_horiVertDir(UV, LMin, LMax, z_right, z_down, z_t_right, z_t_down);
  writeResidualsHV(subGrad, S2, UV.width(), UV.height(), LMin, LMax, [&](int l) { return betaFunc_HV[l]; });
}

void subGradients_K41_crossDir(CImg<double>& subGrad, const CImg<double>& UV, const double* betaFunc_cross,
                               int LMin, int LMax, const CImgList<double>& z_rightDown,
                               const CImgList<double>& z_rightUp, const CImgList<double>& z_t_rightDown,
                               const CImgList<double>& z_t_rightUp) {
  const CImg<double> S2 =
      StructureFunction2nd_crossDir(UV, LMin, LMax, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp);
  writeResidualsCross(subGrad, S2, UV.width(), UV.height(), LMin, LMax, [&](int l) { return betaFunc_cross[l]; });
}

double ConstraintsAbsDevLong(const CImg<double>& UV, double beta, double power, int neta, int lo) {
  return absDev(UV, beta, power, neta, lo, false);
}

double ConstraintsAbsDevLongTrans(const CImg<double>& UV, double beta, double power, int neta, int lo) {
  return absDev(UV, beta, power, neta, lo, true);
}
