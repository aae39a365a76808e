// Structure functions of order p: signed increments to the power p, and absolute increments to the
// power p averaged over the terms above a threshold.
#include "dual/structure_functions_pth.h"

#include "dual/lag_weights.h"
#include "dual/structure_passes.h"
#include "dual/structure_functions.h"

#include <algorithm>
#include <cmath>

using namespace cimg_library;
using dual_detail::checkCrossLists;
using dual_detail::checkHVLists;
using dual_detail::ConstantWeights;
using dual_detail::ListWeights;
using dual_detail::signedCrossPass;
using dual_detail::signedHoriVertPass;
using dual_detail::withConstantWeights;
using dual_detail::warnScaleInterval;
using dual_detail::zeroVector;

namespace {

constexpr double kInvSqrt2 = 0.7071067811865475;
constexpr double kEps = 1e-15;

// Signed family, horizontal/vertical: the second-order pass with d^p in place of d^2.
template <class WL, class WT>
CImg<double> signedHoriVert(const CImg<double>& UV, int neta, int lo, const WL& z_right, const WL& z_down,
                            const WT& z_t_right, const WT& z_t_down, double p) {
  return signedHoriVertPass(UV, neta, lo, z_right, z_down, z_t_right, z_t_down,
                            [p](double d) { return std::pow(d, p); });
}

// The four diagonal neighbours of a centre, in the order of the terms: (x+l, y+l), (x-l, y-l),
// (x-l, y+l), (x+l, y-l); du, dv are centre minus neighbour.
struct DiagonalIncrements {
  double du[4], dv[4];
  DiagonalIncrements(const double* u, const double* v, long q, int l, int nc) {
    const long off[4] = {l + (long)l * nc, -l - (long)l * nc, -l + (long)l * nc, l - (long)l * nc};
    for (int k = 0; k < 4; ++k) {
      du[k] = u[q] - u[q + off[k]];
      dv[k] = v[q] - v[q + off[k]];
    }
  }
  double plus(int k) const { return (du[k] + dv[k]) * kInvSqrt2; }    // along (1, 1)/sqrt(2)
  double minus(int k) const { return (du[k] - dv[k]) * kInvSqrt2; }   // along (1, -1)/sqrt(2)
  double transRD(int k) const { return (dv[k] - du[k]) * kInvSqrt2; } // across a right-down pair
};

// The eight signed projections of a diagonal centre with their weights (image j of the four lists,
// read at the pair's left end), in the order of the terms: four longitudinal, then four transverse.
template <class WL, class WT, class F>
void forEachDiagonalTerm(const DiagonalIncrements& d, int j, int x, int y, int l, const WL& z_rightDown,
                         const WL& z_rightUp, const WT& z_t_rightDown, const WT& z_t_rightUp, F term) {
  term(z_rightDown(j, x, y), d.plus(0));
  term(z_rightDown(j, x - l, y - l), d.plus(1));
  term(z_rightUp(j, x - l, y + l), d.minus(2));
  term(z_rightUp(j, x, y), d.minus(3));
  term(z_t_rightDown(j, x, y), d.transRD(0));
  term(z_t_rightDown(j, x - l, y - l), d.transRD(1));
  term(z_t_rightUp(j, x - l, y + l), d.plus(2));
  term(z_t_rightUp(j, x, y), d.plus(3));
}

template <class WL, class WT>
CImg<double> signedCross(const CImg<double>& UV, int neta, int lo, const WL& z_rightDown, const WL& z_rightUp,
                         const WT& z_t_rightDown, const WT& z_t_rightUp, double p) {
  const int nc = UV.width();
  const double* u = UV.data();
  const double* v = UV.data() + (long)nc * UV.height();
  return signedCrossPass(UV, neta, lo, z_t_rightDown, [&](double& sum, int j, int l, int x, int y, long q) {
    const DiagonalIncrements d(u, v, q, l, nc);
    forEachDiagonalTerm(d, j, x, y, l, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp,
                        [&](double w, double proj) { sum += w * std::pow(proj, p); });
  });
}

inline bool accepted(double m, double p, double epsPowp) { return (p >= 0 && m > epsPowp) || (p < 0 && m < epsPowp); }

// Absolute family, horizontal/vertical: pair sums of the two weighted terms of one component.
template <class WL, class WT>
CImg<double> absHoriVert(const CImg<double>& UV, int neta, int lo, const WL& z_right, const WL& z_down,
                         const WT& z_t_right, const WT& z_t_down, double p) {
  const int nc = UV.width(), nl = UV.height();
  CImg<double> S2 = zeroVector(lo);
  warnScaleInterval(lo, nc, nl);
  if (lo < neta) return S2;
  const double epsPowp = 2 * std::pow(kEps, p);
  const double* u = UV.data();
  const double* v = UV.data() + (long)nc * nl;
  for (int l = std::max(neta, 0); l <= lo; ++l) {
    const int j = l - neta;
    double sum = 0, count = 0;
    auto take = [&](double m) {
      if (accepted(m, p, epsPowp)) {
        sum += m;
        count += 2;
      }
    };
    for (int y = 0; y < nl; ++y) {
      const bool vCentre = l <= y && y < nl - l;
      for (int x = 0; x < nc; ++x) {
        const long q = x + (long)y * nc;
        if (l <= x && x < nc - l) {
          take(std::pow(std::fabs(u[q] - u[q - l]), p) * z_right(j, x - l, y) +
               std::pow(std::fabs(u[q] - u[q + l]), p) * z_right(j, x, y));
          take(std::pow(std::fabs(v[q] - v[q - l]), p) * z_t_right(j, x - l, y) +
               std::pow(std::fabs(v[q] - v[q + l]), p) * z_t_right(j, x, y));
        }
        if (vCentre) {
          const long up = q - (long)l * nc, down = q + (long)l * nc;
          take(std::pow(std::fabs(v[q] - v[up]), p) * z_down(j, x, y - l) +
               std::pow(std::fabs(v[q] - v[down]), p) * z_down(j, x, y));
          take(std::pow(std::fabs(u[q] - u[up]), p) * z_t_down(j, x, y - l) +
               std::pow(std::fabs(u[q] - u[down]), p) * z_t_down(j, x, y));
        }
      }
    }
    S2[l] = count > 0 ? sum / count : 0.0;
  }
  return S2;
}

// Absolute family, diagonal: every weighted term tested by itself.
template <class WL, class WT>
CImg<double> absCross(const CImg<double>& UV, int neta, int lo, const WL& z_rightDown, const WL& z_rightUp,
                      const WT& z_t_rightDown, const WT& z_t_rightUp, double p) {
  const int nc = UV.width(), nl = UV.height();
  CImg<double> S2 = zeroVector(lo);
  warnScaleInterval(lo, nc, nl);
  const int l0 = diagonalFirstIndex(neta);
  const int lend = std::min(diagonalLastIndex(lo), lo);
  if (lend < l0) return S2;
  const double epsPowp = std::pow(kEps, p);
  const double* u = UV.data();
  const double* v = UV.data() + (long)nc * nl;
  for (int l = std::max(l0, 0); l <= lend; ++l) {
    const int j = l - l0;
    double sum = 0, count = 0;
    for (int y = l; y < nl - l; ++y)
      for (int x = l; x < nc - l; ++x) {
        const DiagonalIncrements d(u, v, x + (long)y * nc, l, nc);
        forEachDiagonalTerm(d, j, x, y, l, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp,
                            [&](double w, double proj) {
          const double t = std::pow(std::fabs(proj), p) * w;
          if (accepted(t, p, epsPowp)) {
            sum += t;
            count += 1;
          }
        });
      }
    S2[l] = count > 0 ? sum / count : 0.0;
  }
  return S2;
}

}  // namespace

// Signed, horizontal/vertical.
CImg<double> StructureFunctionPth_horiVertDir(const CImg<double>& UV, int neta, int lo,
                                              const CImgList<double>& z_right, const CImgList<double>& z_down,
                                              const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                              double p) {
  checkHVLists(UV, neta, lo, z_right, z_down, z_t_right, z_t_down, "StructureFunctionPth_horiVertDir");
  return signedHoriVert(UV, neta, lo, ListWeights{z_right}, ListWeights{z_down}, ListWeights{z_t_right},
                        ListWeights{z_t_down}, p);
}

CImg<double> StructureFunctionPth_horiVertDir(const CImg<double>& UV, int neta, int lo, bool trans, double p) {
  return withConstantWeights(UV, 1.0, trans ? 1.0 : 0.0, "StructureFunctionPth_horiVertDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return signedHoriVert(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

CImg<double> StructureFunctionPthLong_horiVertDir(const CImg<double>& UV, int neta, int lo, double p) {
  return StructureFunctionPth_horiVertDir(UV, neta, lo, false, p);
}

CImg<double> StructureFunctionPthTrans_horiVertDir(const CImg<double>& UV, int neta, int lo, double p) {
  return withConstantWeights(UV, 0.0, 1.0, "StructureFunctionPthTrans_horiVertDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return signedHoriVert(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

// Signed, diagonal.
CImg<double> StructureFunctionPth_crossDir(const CImg<double>& UV, int neta, int lo,
                                           const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                           const CImgList<double>& z_t_rightDown,
                                           const CImgList<double>& z_t_rightUp, double p) {
  checkCrossLists(UV, neta, lo, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp, "StructureFunctionPth_crossDir");
  return signedCross(UV, neta, lo, ListWeights{z_rightDown}, ListWeights{z_rightUp}, ListWeights{z_t_rightDown},
                     ListWeights{z_t_rightUp}, p);
}

CImg<double> StructureFunctionPth_crossDir(const CImg<double>& UV, int neta, int lo, bool trans, double p) {
  return withConstantWeights(UV, 1.0, trans ? 1.0 : 0.0, "StructureFunctionPth_crossDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return signedCross(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

CImg<double> StructureFunctionPthLong_crossDir(const CImg<double>& UV, int neta, int lo, double p) {
  return StructureFunctionPth_crossDir(UV, neta, lo, false, p);
}

CImg<double> StructureFunctionPthTrans_crossDir(const CImg<double>& UV, int neta, int lo, double p) {
  return withConstantWeights(UV, 0.0, 1.0, "StructureFunctionPthTrans_crossDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return signedCross(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

// Absolute, horizontal/vertical.
CImg<double> StructureFunctionPthAbs_horiVertDir(const CImg<double>& UV, int neta, int lo,
                                                 const CImgList<double>& z_right, const CImgList<double>& z_down,
                                                 const CImgList<double>& z_t_right,
                                                 const CImgList<double>& z_t_down, double p) {
  checkHVLists(UV, neta, lo, z_right, z_down, z_t_right, z_t_down, "StructureFunctionPthAbs_horiVertDir");
  return absHoriVert(UV, neta, lo, ListWeights{z_right}, ListWeights{z_down}, ListWeights{z_t_right},
                     ListWeights{z_t_down}, p);
}

CImg<double> StructureFunctionPthAbs_horiVertDir(const CImg<double>& UV, int neta, int lo, bool trans, double p) {
  return withConstantWeights(UV, 1.0, trans ? 1.0 : 0.0, "StructureFunctionPthAbs_horiVertDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return absHoriVert(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

CImg<double> StructureFunctionPthLongAbs_horiVertDir(const CImg<double>& UV, int neta, int lo, double p) {
  return StructureFunctionPthAbs_horiVertDir(UV, neta, lo, false, p);
}

CImg<double> StructureFunctionPthTransAbs_horiVertDir(const CImg<double>& UV, int neta, int lo, double p) {
  return withConstantWeights(UV, 0.0, 1.0, "StructureFunctionPthTransAbs_horiVertDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return absHoriVert(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

// Absolute, diagonal.
CImg<double> StructureFunctionPthAbs_crossDir(const CImg<double>& UV, int neta, int lo,
                                              const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                              const CImgList<double>& z_t_rightDown,
                                              const CImgList<double>& z_t_rightUp, double p) {
  checkCrossLists(UV, neta, lo, z_rightDown, z_rightUp, z_t_rightDown, z_t_rightUp,
                  "StructureFunctionPthAbs_crossDir");
  return absCross(UV, neta, lo, ListWeights{z_rightDown}, ListWeights{z_rightUp}, ListWeights{z_t_rightDown},
                  ListWeights{z_t_rightUp}, p);
}

CImg<double> StructureFunctionPthAbs_crossDir(const CImg<double>& UV, int neta, int lo, bool trans, double p) {
  return withConstantWeights(UV, 1.0, trans ? 1.0 : 0.0, "StructureFunctionPthAbs_crossDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return absCross(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}

CImg<double> StructureFunctionPthLongAbs_crossDir(const CImg<double>& UV, int neta, int lo, double p) {
  return StructureFunctionPthAbs_crossDir(UV, neta, lo, false, p);
}

CImg<double> StructureFunctionPthTransAbs_crossDir(const CImg<double>& UV, int neta, int lo, double p) {
  return withConstantWeights(UV, 0.0, 1.0, "StructureFunctionPthTransAbs_crossDir",
                             [&](const ConstantWeights& wl, const ConstantWeights& wt) {
                               return absCross(UV, neta, lo, wl, wl, wt, wt, p);
                             });
}
