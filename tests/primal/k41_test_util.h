// Helpers of the K41 system tests: random inputs and plain, independent references (whole-image
// coefficient build, row walk, pair-rule count, energy).
#pragma once

#include <CImg.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace k41test {

using cimg_library::CImg;
using cimg_library::CImgList;

inline int firstStep(int neta) { return (int)(neta * 0.7071067811865475 + 1); }
inline int lastStep(int lo) { return (int)(lo * 0.7071067811865475 + 1); }

inline CImg<double> randomImage(int nc, int nl, std::mt19937& g, double a = -1.0, double b = 1.0) {
  std::uniform_real_distribution<double> d(a, b);
  CImg<double> im(nc, nl, 1, 1);
  for (double& v : im) v = d(g);
  return im;
}

inline CImgList<double> constantList(int n, int nc, int nl, double v) {
  return CImgList<double>(n, nc, nl, 1, 1, v);
}

inline CImgList<double> randomList(int n, int nc, int nl, std::mt19937& g, double a = 0.0, double b = 1.0) {
  CImgList<double> L;
  for (int i = 0; i < n; ++i) L.insert(randomImage(nc, nl, g, a, b));
  return L;
}

// The eight weight lists in the order z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down,
// z_t_rightDown, z_t_rightUp.
struct Lists {
  CImgList<double> z[8];
};

inline Lists longLists(int n, int nc, int nl) {
  Lists L;
  for (int i = 0; i < 4; ++i) L.z[i] = constantList(n, nc, nl, 1.0);
  for (int i = 4; i < 8; ++i) L.z[i] = constantList(n, nc, nl, 0.0);
  return L;
}

inline Lists onesLists(int n, int nc, int nl) {
  Lists L;
  for (auto& z : L.z) z = constantList(n, nc, nl, 1.0);
  return L;
}

inline Lists randomLists(int n, int nc, int nl, std::mt19937& g) {
  Lists L;
  for (auto& z : L.z) z = randomList(n, nc, nl, g);
  return L;
}

// ---- Pair-rule count ---------------------------------------------------------------------------------
// A pair (P, Q) of lag l is coupled when at least one of its points lies in the centre band of its lag
// (and the lag's normaliser is positive). With longitudinal weights 1, transverse 0 and non-zero
// multipliers: horizontal pairs give a u-u coupling, vertical pairs a v-v coupling, diagonal pairs a
// coupling in all four blocks. Every row stores its two same-pixel entries.
inline std::int64_t pairRuleCountLong(int nc, int nl, int neta, int lo, const std::vector<double>& lamHV,
                                      const std::vector<double>& lamX) {
  const int l0 = firstStep(neta), lend = lastStep(lo);
  std::int64_t total = 4LL * nc * nl;
  auto inX = [&](int x, int l) { return l <= x && x < nc - l; };
  auto inY = [&](int y, int l) { return l <= y && y < nl - l; };
  for (int l = std::max(neta, l0); l <= lo; ++l) {
    if (l == 0 || lamHV[l] == 0.0) continue;
    if (2LL * ((std::int64_t)nc * (nl - 2 * l) + (std::int64_t)nl * (nc - 2 * l)) <= 0) continue;
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x + l < nc; ++x)
        if (inX(x, l) || inX(x + l, l)) total += 2;  // u row of P and of Q
    for (int y = 0; y + l < nl; ++y)
      for (int x = 0; x < nc; ++x)
        if (inY(y, l) || inY(y + l, l)) total += 2;  // v rows
  }
  for (int l = l0; l <= lend && l <= lo; ++l) {
    if (lamX[l] == 0.0) continue;
    if (4LL * (nl - 2 * l) * (nc - 2 * l) <= 0) continue;
    auto centre = [&](int x, int y) { return inX(x, l) && inY(y, l); };
    for (int y = 0; y + l < nl; ++y)
      for (int x = 0; x + l < nc; ++x)
        if (centre(x, y) || centre(x + l, y + l)) total += 8;  // right-down
    for (int y = l; y < nl; ++y)
      for (int x = 0; x + l < nc; ++x)
        if (centre(x, y) || centre(x + l, y - l)) total += 8;  // right-up
  }
  return total;
}

// ---- Whole-image coefficient build ----------------------------------------------------------------
// The coefficient images built with whole-image operations per lag: shifted weights with zero fill,
// products with 0/1 mask images made as outer products of mask vectors, scaled and accumulated.
struct RefHalf {
  CImg<double> A1_ij, A2_ij;
  CImgList<double> A[2][8];  // block, direction: ijl, ij_l, ilj, i_lj, iljl, i_lj_l, ilj_l, i_ljl
};

inline void refFamilyA(CImg<double>& self, CImg<double>& ahead, CImg<double>& back, double s, const CImg<double>& w,
                       const CImg<double>& wb, const CImg<double>& Mc, const CImg<double>& Mb, double q) {
  self += ((w * s).get_mul(Mc) + (wb * s).get_mul(Mb)) * q;
  ahead -= (w * s).get_mul(Mc) * q;
  back -= (wb * s).get_mul(Mb) * q;
}
inline void refFamilyB(CImg<double>& self, CImg<double>& ahead, CImg<double>& back, double s, const CImg<double>& w,
                       const CImg<double>& wb, const CImg<double>& Mc, const CImg<double>& Ma, double q) {
  self += ((wb * s).get_mul(Mc) + (w * s).get_mul(Ma)) * q;
  back -= (wb * s).get_mul(Mc) * q;
  ahead -= (w * s).get_mul(Ma) * q;
}

inline void refExclude(CImgList<double>& L) {
  for (auto& im : L)
    for (double& v : im)
      if (v == 0.0 || std::isnan(v)) v = -1e30;
}

inline RefHalf refBuild(bool vRows, const CImg<double>& IxIx, const CImg<double>& IxIy, const CImg<double>& IyIy,
                        const CImg<double>& data, const CImg<double>& lamHV, const CImg<double>& lamX,
                        const Lists& Z, int neta, int lo) {
  const int nc = IxIx.width(), nl = IxIx.height();
  const int l0 = firstStep(neta), lend = lastStep(lo), n = lo - neta + 1;
  const double P = 0.7071067811865475 * 0.7071067811865475;
  const bool transverse = Z.z[5][0].sum() != 0.0;
  RefHalf H;
  H.A1_ij = (vRows ? IxIy : IxIx).get_mul(data);
  H.A2_ij = (vRows ? IyIy : IxIy).get_mul(data);
  for (auto& block : H.A)
    for (auto& L : block) L.assign(n, nc, nl, 1, 1, 0.0);
  const CImg<double> colOfOne(1, nl, 1, 1, 1.0), lineOfOne(nc, 1, 1, 1, 1.0);
  for (int l = l0; l <= lo; ++l) {
    CImg<double> L1(nc, 1, 1, 1, 0.0), L2 = L1, L3 = L1, C1(1, nl, 1, 1, 0.0), C2 = C1, C3 = C1;
    for (int x = 0; x < nc; ++x) {
      L1(x) = (l <= x && x < nc - l);
      L2(x) = (x >= 2 * l);
      L3(x) = (x < nc - 2 * l);
    }
    for (int y = 0; y < nl; ++y) {
      C1(0, y) = (l <= y && y < nl - l);
      C2(0, y) = (y >= 2 * l);
      C3(0, y) = (y < nl - 2 * l);
    }
    const CImg<double> Ind1_long = colOfOne * L1, Ind2_long = colOfOne * L2, Ind3_long = colOfOne * L3;
    const CImg<double> Ind1_trans = C1 * lineOfOne, Ind2_trans = C2 * lineOfOne, Ind3_trans = C3 * lineOfOne;
    const CImg<double> M11 = C1 * L1, M22 = C2 * L2, M33 = C3 * L3, M32 = C3 * L2, M23 = C2 * L3;
    long long gHV = 2LL * ((long long)nc * (nl - 2 * l) + (long long)nl * (nc - 2 * l));
    long long gX = 4LL * (nl - 2 * l) * (nc - 2 * l);
    if (transverse) {
      gHV *= 2;
      gX *= 2;
    }
    const bool hv = l >= neta && gHV > 0, cross = l <= lend && gX > 0;
    const int k = l - neta, kd = l - l0;
    auto horiz = [&](int b, CImg<double>& self, const CImg<double>& w, double q) {
      const CImg<double> wb = w.get_shift(l, 0, 0, 0, 0);
      refFamilyA(self, H.A[b][0][k], H.A[b][1][k], 1.0, w, wb, Ind1_long, Ind2_long, q);
      refFamilyB(self, H.A[b][0][k], H.A[b][1][k], 1.0, w, wb, Ind1_long, Ind3_long, q);
    };
    auto vert = [&](int b, CImg<double>& self, const CImg<double>& w, double q) {
      const CImg<double> wb = w.get_shift(0, l, 0, 0, 0);
      refFamilyA(self, H.A[b][2][k], H.A[b][3][k], 1.0, w, wb, Ind1_trans, Ind2_trans, q);
      refFamilyB(self, H.A[b][2][k], H.A[b][3][k], 1.0, w, wb, Ind1_trans, Ind3_trans, q);
    };
    // signs: right-down longitudinal, right-down transverse, right-up longitudinal, right-up transverse
    auto diag = [&](int b, CImg<double>& self, double q, double s1, double s2, double s3, double s4) {
      const CImg<double>&a = Z.z[2][kd], &bt = Z.z[6][kd];
      const CImg<double> ab = a.get_shift(l, l, 0, 0, 0), bb = bt.get_shift(l, l, 0, 0, 0);
      refFamilyA(self, H.A[b][4][kd], H.A[b][5][kd], s1, a, ab, M11, M22, q);
      refFamilyA(self, H.A[b][4][kd], H.A[b][5][kd], s2, bt, bb, M11, M22, q);
      refFamilyB(self, H.A[b][4][kd], H.A[b][5][kd], s1, a, ab, M11, M33, q);
      refFamilyB(self, H.A[b][4][kd], H.A[b][5][kd], s2, bt, bb, M11, M33, q);
      const CImg<double>&u = Z.z[3][kd], &ut = Z.z[7][kd];
      const CImg<double> ub = u.get_shift(l, -l, 0, 0, 0), utb = ut.get_shift(l, -l, 0, 0, 0);
      refFamilyA(self, H.A[b][7][kd], H.A[b][6][kd], s3, u, ub, M11, M32, q);
      refFamilyA(self, H.A[b][7][kd], H.A[b][6][kd], s4, ut, utb, M11, M32, q);
      refFamilyB(self, H.A[b][7][kd], H.A[b][6][kd], s3, u, ub, M11, M23, q);
      refFamilyB(self, H.A[b][7][kd], H.A[b][6][kd], s4, ut, utb, M11, M23, q);
    };
    const double qH = hv ? lamHV(l) / (double)gHV : 0.0;
    const double qX = cross ? lamX(l) / (double)gX : 0.0;
    if (!vRows) {
      if (hv) {
        horiz(0, H.A1_ij, Z.z[0][k], qH);
        vert(0, H.A1_ij, Z.z[5][k], qH);
      }
      if (cross) diag(0, H.A1_ij, qX, P, P, P, P);
      if (cross) diag(1, H.A2_ij, qX, P, -P, -P, P);
    } else {
      if (cross) diag(0, H.A1_ij, qX, P, -P, -P, P);
      if (hv) {
        vert(1, H.A2_ij, Z.z[1][k], qH);
        horiz(1, H.A2_ij, Z.z[4][k], qH);
      }
      if (cross) diag(1, H.A2_ij, qX, P, P, P, P);
    }
  }
  for (auto& block : H.A)
    for (auto& L : block) refExclude(L);
  return H;
}

// ---- Row walk --------------------------------------------------------------------------------------
struct Csr {
  std::vector<double> val;
  std::vector<int> col;
  std::vector<int> ptr{0};
};

// Appends the rows of one half from coefficient images, in the documented row layout.
inline void refWalk(Csr& out, const RefHalf& H, bool vRows, int neta, int lo) {
  const int nc = H.A1_ij.width(), nl = H.A1_ij.height(), N = nc * nl;
  const int l0 = firstStep(neta), lend = lastStep(lo);
  auto put = [&](double v, int c, bool always) {
    if (always || (v != -1e30 && !std::isnan(v))) {
      out.val.push_back(v);
      out.col.push_back(c);
    }
  };
  for (int i = 0; i < nl; ++i)
    for (int j = 0; j < nc; ++j) {
      for (int b = 0; b < 2; ++b) {
        const int base = b * N;
        const auto& A = H.A[b];
        std::vector<int> up;
        if (vRows && b == 0)
          for (int l = l0; l <= lo; ++l) up.push_back(l);
        else
          for (int l = lo; l >= l0; --l) up.push_back(l);
        for (int l : up) {
          if (l <= lend) put(A[5][l - l0](j, i), base + (i - l) * nc + j - l, false);
          if (l >= neta) put(A[3][l - neta](j, i), base + (i - l) * nc + j, false);
          if (l <= lend) put(A[7][l - l0](j, i), base + (i - l) * nc + j + l, false);
        }
        for (int l = lo; l >= l0; --l)
          if (l >= neta) put(A[1][l - neta](j, i), base + i * nc + j - l, false);
        put(b ? H.A2_ij(j, i) : H.A1_ij(j, i), base + i * nc + j, true);
        for (int l = l0; l <= lo; ++l)
          if (l >= neta) put(A[0][l - neta](j, i), base + i * nc + j + l, false);
        for (int l = l0; l <= lo; ++l) {
          if (l <= lend) put(A[6][l - l0](j, i), base + (i + l) * nc + j - l, false);
          if (l >= neta) put(A[2][l - neta](j, i), base + (i + l) * nc + j, false);
          if (l <= lend) put(A[4][l - l0](j, i), base + (i + l) * nc + j + l, false);
        }
      }
      out.ptr.push_back((int)out.val.size());
    }
}

// ---- Energy ----------------------------------------------------------------------------------------
// E(du, dv): data term plus, per lag, the squared increments of the total field over the pairs of every
// centre (backward and forward), weighted by the pair's weight, multiplier / (2 normaliser) and, for
// diagonals, the projection product on the longitudinal and transverse combinations.
inline double energy(const CImg<double>& du, const CImg<double>& dv, const CImg<double>& U, const CImg<double>& V,
                     const CImg<double>& Ix, const CImg<double>& Iy, const CImg<double>& It, const CImg<double>& data,
                     const CImg<double>& lamHV, const CImg<double>& lamX, const Lists& Z, int neta, int lo) {
  const int nc = Ix.width(), nl = Ix.height();
  const int l0 = firstStep(neta), lend = lastStep(lo);
  const double P = 0.4999999999999999;
  double E = 0;
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      const double a = du(x, y), b = dv(x, y), ix = Ix(x, y), iy = Iy(x, y), it = It(x, y);
      E += data(x, y) * (0.5 * (ix * ix * a * a + 2 * ix * iy * a * b + iy * iy * b * b) + it * ix * a + it * iy * b);
    }
  const bool transverse = Z.z[5][0].sum() != 0.0;
  auto tu = [&](int x, int y) { return U(x, y) + du(x, y); };
  auto tv = [&](int x, int y) { return V(x, y) + dv(x, y); };
  for (int l = l0; l <= lo; ++l) {
    double gHV = 2.0 * (nc * (nl - 2.0 * l) + nl * (nc - 2.0 * l));
    double gX = 4.0 * (nl - 2.0 * l) * (nc - 2.0 * l);
    if (transverse) {
      gHV *= 2;
      gX *= 2;
    }
    // pairs (x, y) -> (x + ox, y + oy), weight read at the pair's first point
    auto pairHV = [&](int x0, int y0, int x1, int y1, int k, bool horizontal) {
      const double dU = tu(x1, y1) - tu(x0, y0), dV = tv(x1, y1) - tv(x0, y0);
      const double wl = horizontal ? Z.z[0][k](x0, y0) : Z.z[1][k](x0, y0);  // longitudinal
      const double wt = horizontal ? Z.z[4][k](x0, y0) : Z.z[5][k](x0, y0);  // transverse
      return horizontal ? wl * dU * dU + wt * dV * dV : wl * dV * dV + wt * dU * dU;
    };
    if (l >= neta && gHV > 0) {
      const double c = lamHV(l) / gHV;
      for (int y = 0; y < nl; ++y)
        for (int x = 0; x < nc; ++x) {
          if (l <= x && x < nc - l)
            E += 0.5 * c * (pairHV(x - l, y, x, y, l - neta, true) + pairHV(x, y, x + l, y, l - neta, true));
          if (l <= y && y < nl - l)
            E += 0.5 * c * (pairHV(x, y - l, x, y, l - neta, false) + pairHV(x, y, x, y + l, l - neta, false));
        }
    }
    if (l <= lend && gX > 0) {
      const double c = lamX(l) / gX;
      const int k = l - l0;
      auto rd = [&](int x0, int y0) {  // (x0, y0) -> (x0 + l, y0 + l)
        const double dU = tu(x0 + l, y0 + l) - tu(x0, y0), dV = tv(x0 + l, y0 + l) - tv(x0, y0);
        return P * (Z.z[2][k](x0, y0) * (dU + dV) * (dU + dV) + Z.z[6][k](x0, y0) * (dU - dV) * (dU - dV));
      };
      auto ru = [&](int x0, int y0) {  // (x0, y0) -> (x0 + l, y0 - l)
        const double dU = tu(x0 + l, y0 - l) - tu(x0, y0), dV = tv(x0 + l, y0 - l) - tv(x0, y0);
        return P * (Z.z[3][k](x0, y0) * (dU - dV) * (dU - dV) + Z.z[7][k](x0, y0) * (dU + dV) * (dU + dV));
      };
      for (int y = l; y < nl - l; ++y)
        for (int x = l; x < nc - l; ++x)
          E += 0.5 * c * (rd(x - l, y - l) + rd(x, y) + ru(x - l, y + l) + ru(x, y));
    }
  }
  return E;
}

}  // namespace k41test
