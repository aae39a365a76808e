// Right-hand side of the K41 primal system: minus the energy gradient at a zero increment.
#include <CImg.h>

#include <sstream>

#include "io/fail.h"
#include "primal/k41.h"
#include "primal/k41_detail.h"

using namespace cimg_library;

namespace k41_detail {

namespace {

// Two weights of a pair: longitudinal a, transverse b.
struct PairWeights {
  double a, b;
};

// A right-down pair from p to q (dU = U(p) - U(q), dV = V(p) - V(q)).
inline void rightDownPair(double& Bu, double& Bv, double c, double a, double b, double dU, double dV) {
  Bu = Bu - c * a * (dU + dV);
  Bv = Bv - c * a * (dU + dV);
  Bu = Bu - c * b * (dU - dV);
  Bv = Bv - c * b * (dV - dU);
}

// A right-up pair from p to q.
inline void rightUpPair(double& Bu, double& Bv, double c, double a, double b, double dU, double dV) {
  Bu = Bu - c * a * (dU - dV);
  Bv = Bv - c * a * (dV - dU);
  Bu = Bu - c * b * (dU + dV);
  Bv = Bv - c * b * (dU + dV);
}

// One component's pair terms: subtract the product with the centre value, then add the neighbour
// products one by one.
inline void twoPairs(double& B, double cH, double centre, double wBack, double back, double wAhead, double ahead) {
  B = B - cH * centre * (wBack + wAhead);
  B = B + cH * wBack * back;
  B = B + cH * wAhead * ahead;
}
inline void onePair(double& B, double cH, double centre, double w, double other) {
  B = B - cH * centre * w;
  B = B + cH * w * other;
}

}  // namespace

void fillRhs(const Setup& S, double* B, const CImg<double>& ItIx, const CImg<double>& ItIy, const CImg<double>& Util,
             const CImg<double>& Vtil) {
  const int nc = S.nc, nl = S.nl;
  const long N = S.N;
  const Plane tx{ItIx.data(), ItIx.width()}, ty{ItIy.data(), ItIy.width()};
  const Plane U{Util.data(), Util.width()}, V{Vtil.data(), Vtil.width()};
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      const long p = (long)y * nc + x;
      B[p] = -tx(x, y) * S.data(x, y);
      B[N + p] = -ty(x, y) * S.data(x, y);
    }
  if (S.lo < S.l0) return;
  for (int l = S.l0; l <= S.lo; ++l) {
    const bool hv = S.useHV[l], cross = S.useX[l];
    if (!hv && !cross) continue;
    const double cH = hv ? S.lambdaHV[l] * (1 / (double)S.gHV[l]) : 0.0;
    const double cX = cross ? S.lambdaX[l] * (1 / (double)S.gX[l]) : 0.0;
    const double cP = cX * kP;
    const int k = l - S.neta, kd = l - S.l0;
    for (int y = 0; y < nl; ++y) {
      const bool C1 = l <= y && y < nl - l, C2 = y >= 2 * l, C3 = y < nl - 2 * l;
      for (int x = 0; x < nc; ++x) {
        const bool L1 = l <= x && x < nc - l, L2 = x >= 2 * l, L3 = x < nc - 2 * l;
        double& Bu = B[(long)y * nc + x];
        double& Bv = B[N + (long)y * nc + x];
        if (hv) {
          const Weight &zr = S.w[zR][k], &zd = S.w[zD][k], &tr = S.w[ztR][k], &td = S.w[ztD][k];
          const double u = U(x, y), v = V(x, y);
          if (L1) {
            twoPairs(Bu, cH, u, zr(x - l, y), U(x - l, y), zr(x, y), U(x + l, y));
            twoPairs(Bv, cH, v, tr(x - l, y), V(x - l, y), tr(x, y), V(x + l, y));
          }
          if (C1) {
            twoPairs(Bv, cH, v, zd(x, y - l), V(x, y - l), zd(x, y), V(x, y + l));
            twoPairs(Bu, cH, u, td(x, y - l), U(x, y - l), td(x, y), U(x, y + l));
          }
          if (L2) {
            onePair(Bu, cH, u, zr(x - l, y), U(x - l, y));
            onePair(Bv, cH, v, tr(x - l, y), V(x - l, y));
          }
          if (C2) {
            onePair(Bv, cH, v, zd(x, y - l), V(x, y - l));
            onePair(Bu, cH, u, td(x, y - l), U(x, y - l));
          }
          if (L3) {
            onePair(Bu, cH, u, zr(x, y), U(x + l, y));
            onePair(Bv, cH, v, tr(x, y), V(x + l, y));
          }
          if (C3) {
            onePair(Bv, cH, v, zd(x, y), V(x, y + l));
            onePair(Bu, cH, u, td(x, y), U(x, y + l));
          }
        }
        if (cross) {
          const Weight &wd = S.w[zRD][kd], &wdt = S.w[ztRD][kd], &wu = S.w[zRU][kd], &wut = S.w[ztRU][kd];
          const double u = U(x, y), v = V(x, y);
          // right-down forward: q = (x + l, y + l), weights at p
          auto rdForward = [&] {
            rightDownPair(Bu, Bv, cP, wd(x, y), wdt(x, y), u - U(x + l, y + l), v - V(x + l, y + l));
          };
          // right-down backward: q = (x - l, y - l), weights at q
          auto rdBackward = [&] {
            rightDownPair(Bu, Bv, cP, wd(x - l, y - l), wdt(x - l, y - l), u - U(x - l, y - l),
                          v - V(x - l, y - l));
          };
          // right-up forward: q = (x + l, y - l), weights at p
          auto ruForward = [&] {
            rightUpPair(Bu, Bv, cP, wu(x, y), wut(x, y), u - U(x + l, y - l), v - V(x + l, y - l));
          };
          // right-up backward: q = (x - l, y + l), weights at q
          auto ruBackward = [&] {
            rightUpPair(Bu, Bv, cP, wu(x - l, y + l), wut(x - l, y + l), u - U(x - l, y + l),
                        v - V(x - l, y + l));
          };
          if (C1 && L1) {
            rdForward();
            rdBackward();
            ruForward();
            ruBackward();
          }
          if (C2 && L2) rdBackward();
          if (C3 && L3) rdForward();
          if (C3 && L2) ruBackward();
          if (C2 && L3) ruForward();
        }
      }
    }
  }
}

}  // namespace k41_detail

using namespace k41_detail;

void fillingVector_B(MV_Vector_double& B, const CImg<double>& ItIx, const CImg<double>& ItIy,
                     const CImg<double>& Util, const CImg<double>& Vtil, const CImg<double>& data_out,
                     const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                     const CImgList<double>& z_right, const CImgList<double>& z_down,
                     const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                     const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                     const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp, int neta, int lo,
                     int nc, int nl) {
  const char* who = "fillingVector_B";
  const Setup S = makeSetup(who, nc, nl, nullptr, nullptr, nullptr, data_out, lambda_S2, lambda_S2_cross,
                            k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down,
                                         z_t_rightDown, z_t_rightUp),
                            neta, lo);
  const CImg<double>* ims[4] = {&ItIx, &ItIy, &Util, &Vtil};
  const char* names[4] = {"ItIx", "ItIy", "Util", "Vtil"};
  for (int i = 0; i < 4; ++i)
    if (ims[i]->width() < nc || ims[i]->height() < nl) {
      std::ostringstream s;
      s << who << ": image " << names[i] << " is " << ims[i]->width() << " x " << ims[i]->height()
        << ", smaller than the grid " << nc << " x " << nl;
      failRun(s.str());
    }
  // An index beyond the vector's length is the vector's own failure, reported before anything is written.
  if ((long)B.size() < 2 * S.N) mv_index_failure("MV_Vector_double", B.size(), B.size());
  fillRhs(S, B.data(), ItIx, ItIy, Util, Vtil);
}
