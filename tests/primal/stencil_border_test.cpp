// The no-entry marker and the Dirichlet border of the lag lists, the diagonal lists and the five-point
// stencil.
#include <CImg.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "primal/primal.h"

using namespace cimg_library;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

CImgList<double> makeList(int n, int w, int h, double v) { return CImgList<double>(n, w, h, 1, 1, v); }

// Coupling lists as the system builders leave them: image k holds step first + k; a coupling whose
// partner (x + l dx, y + l dy) leaves the grid is 0, and is then marked by excludeWhite.
struct Couplings {
  int nc, nl, first;
  CImgList<double> z[4];
  int dx[4], dy[4];
  Couplings(int nc_, int nl_, int neta, int lo, int first_, int steps, const int (&d)[4][2])
      : nc(nc_), nl(nl_), first(first_) {
    for (int i = 0; i < 4; ++i) {
      z[i] = makeList(lo - neta + 1, nc, nl, 0.0);
      dx[i] = d[i][0];
      dy[i] = d[i][1];
      for (int k = 0; k < steps; ++k) {
        const int l = first + k;
        cimg_forXY(z[i][k], x, y) {
          const int px = x + l * dx[i], py = y + l * dy[i];
          if (px >= 0 && px < nc && py >= 0 && py < nl) z[i][k](x, y) = 1.0 + x + 10 * y + 100 * l + 0.25 * i;
        }
      }
    }
    excludeWhite(neta, lo, z[0], z[1], z[2], z[3]);
  }
  // After the Dirichlet fix: couplings leaving the grid stay marked, markers and NaN stay, couplings that
  // touch the one-pixel ring become explicit zeros, the others keep their values.
  void expectRingRule(const Couplings& before, int steps) const {
    auto onRing = [&](int x, int y) { return x == 0 || y == 0 || x == nc - 1 || y == nl - 1; };
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < steps; ++k) {
        const int l = first + k;
        cimg_forXY(z[i][k], x, y) {
          const int px = x + l * dx[i], py = y + l * dy[i];
          const double now = z[i][k](x, y), old = before.z[i][k](x, y);
          const bool inGrid = px >= 0 && px < nc && py >= 0 && py < nl;
          if (!inGrid) {
            EXPECT_EQ(now, kNoEntry);
          } else if (std::isnan(old)) {
            EXPECT_TRUE(std::isnan(now));
          } else if (old != kNoEntry && (onRing(x, y) || onRing(px, py))) {
            EXPECT_EQ(now, 0.0) << "list " << i << " at " << x << "," << y << " step " << l;
          } else {
            EXPECT_EQ(now, old) << "list " << i << " at " << x << "," << y << " step " << l;
          }
        }
      }
  }
};

const int kUpLeftRightDown[4][2] = {{0, -1}, {-1, 0}, {1, 0}, {0, 1}};
const int kDiagonals[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};  // up-left, up-right, down-left, down-right

}  // namespace

TEST(ExcludeWhite, MarksZerosOfBothSignsAndNaNOnly) {
  CImgList<double> a = makeList(2, 3, 2, 2.5), b = a, c = a, d = a;
  a[0](0, 0) = -0.0;
  a[1](2, 1) = 0.0;
  b[1](1, 0) = kNaN;
  c[0](2, 0) = 1e-300;
  const std::uint64_t bits = 1;  // a subnormal built at run time: it compares equal to zero in this process
  std::memcpy(&d[1](0, 1), &bits, sizeof bits);
  excludeWhite(3, 4, a, b, c, d);
  EXPECT_EQ(a[0](0, 0), kNoEntry);
  EXPECT_EQ(a[1](2, 1), kNoEntry);
  EXPECT_EQ(b[1](1, 0), kNoEntry);
  EXPECT_EQ(c[0](2, 0), 1e-300);
  EXPECT_EQ(d[1](0, 1), kNoEntry);
  EXPECT_EQ(a[0](1, 0), 2.5);
  EXPECT_EQ(kNoEntry, -1e30);
}

TEST(ExcludeWhite, NothingWhenLoBelowNeta) {
  CImgList<double> a = makeList(1, 5, 5, 0.0), b = a, c = a, d = a, e = makeList(1, 5, 5, 2.5), f = e, g = e, h = e;
  excludeWhite(3, 2, a, b, c, d);
  fixDirichletConditions(5, 5, e, f, g, h, 3, 2);
  for (const CImgList<double>* l : {&a, &b, &c, &d}) EXPECT_EQ((*l)[0].get_abs().max(), 0.0);
  for (const CImgList<double>* l : {&e, &f, &g, &h}) EXPECT_EQ((*l)[0].min(), 2.5);
}

TEST(DirichletLagLists, RingCouplingsBecomeExplicitZerosAndFarPixelsKeepTheirs) {
  const int nc = 11, nl = 10, neta = 1, lo = 3;
  Couplings s(nc, nl, neta, lo, neta, lo - neta + 1, kUpLeftRightDown);
  s.z[2][0](0, 3) = kNoEntry;  // a marker on the ring stays
  s.z[3][1](0, 2) = kNaN;      // so does a value that is not a number
  const Couplings before = s;
  fixDirichletConditions(nc, nl, s.z[0], s.z[1], s.z[2], s.z[3], neta, lo);
  s.expectRingRule(before, lo - neta + 1);
}

TEST(DirichletLagLists, NeverWritesOutsideTheGrid) {
  // Images larger than the grid: only the n x n corner belongs to the system; lags beyond the grid's
  // size are accepted.
  for (int n : {1, 2, 3}) {
    CImgList<double> up = makeList(4, 6, 6, 2.5), left = up, right = up, down = up;
    fixDirichletConditions(n, n, up, left, right, down, 1, 4);
    for (const CImgList<double>* l : {&up, &left, &right, &down})
      for (int k = 0; k < 4; ++k) {
        const CImg<double> right = (*l)[k].get_crop(n, 0, 5, 5), below = (*l)[k].get_crop(0, n, 5, 5);
        EXPECT_TRUE(right.min() == 2.5 && right.max() == 2.5 && below.min() == 2.5 && below.max() == 2.5) << n;
      }
  }
}

TEST(DirichletDiagonalLists, ImageKIsStepNetaSqrt2PlusK) {
  // neta = 5 stores steps from (int)(5 * 0.7071... + 1) = 4 on; lo = 6 gives images for steps 4 and 5.
  const int nc = 14, nl = 13, neta = 5, lo = 6;
  Couplings s(nc, nl, neta, lo, 4, 2, kDiagonals);
  const Couplings before = s;
  fixDirichletConditions_cross(nc, nl, s.z[0], s.z[1], s.z[2], s.z[3], neta, lo);
  s.expectRingRule(before, 2);
  // Image 0 is step 4: the up-left coupling of (4, 4) reaches the corner; that of (5, 5) does not.
  EXPECT_EQ(s.z[0][0](4, 4), 0.0);
  EXPECT_EQ(s.z[0][0](5, 5), before.z[0][0](5, 5));
  // One step on a 4 x 4 grid: only the couplings between the two inner pixels of a diagonal stay.
  Couplings t(4, 4, 1, 1, 1, 1, kDiagonals);
  const Couplings t0 = t;
  fixDirichletConditions_cross(4, 4, t.z[0], t.z[1], t.z[2], t.z[3], 1, 1);
  t.expectRingRule(t0, 1);
}

TEST(DirichletDiagonalLists, SelfImageClearedOnTheRingAndNothingOutsideTheGrid) {
  const int n = 3;
  CImg<double> self(5, 5, 1, 1, 7.0);
  CImgList<double> ul = makeList(3, 5, 5, 2.5), ur = ul, dl = ul, dr = ul;
  fixDirichletConditions_cross(n, n, self, ul, ur, dl, dr, 1, 3);
  cimg_forXY(self, x, y) {
    if (x < n && y < n) {
      EXPECT_EQ(self(x, y), (x == 1 && y == 1) ? 7.0 : 0.0);
      continue;
    }
    EXPECT_EQ(self(x, y), 7.0);
    for (const CImgList<double>* l : {&ul, &ur, &dl, &dr})
      for (int k = 0; k < 3; ++k) EXPECT_EQ((*l)[k](x, y), 2.5);
  }
  // Lists shorter than the lag range are visited only where they have images.
  CImgList<double> a = makeList(1, 4, 4, 2.5), b = a, c = a, d = a;
  fixDirichletConditions_cross(4, 4, a, b, c, d, 1, 5);
  EXPECT_EQ(a.size(), 1u);
}

// Five-point stencil: the ring keeps only its diagonal (1) with explicit zero couplings, marked where they
// leave the grid; the centre of a 3 x 3 grid keeps its diagonal, its couplings all reach the ring. Narrow
// grids stay inside the grid.
TEST(DirichletFivePoint, RingRowsAndNarrowGrids) {
  for (auto [nc, nl] : {std::pair{3, 3}, {1, 1}, {1, 4}, {4, 1}, {2, 2}}) {
    CImg<double> up(5, 5, 1, 1, 2.5), self(5, 5, 1, 1, 9.0), down = up, left = up, right = up;
    fixDirichletConditions(nc, nl, up, self, down, left, right);
    cimg_forXY(self, x, y) {
      if (x >= nc || y >= nl) {
        for (const CImg<double>* im : {&up, &down, &left, &right}) EXPECT_EQ((*im)(x, y), 2.5);
        EXPECT_EQ(self(x, y), 9.0);
        continue;
      }
      const bool centre = x > 0 && y > 0 && x < nc - 1 && y < nl - 1;
      EXPECT_EQ(self(x, y), centre ? 9.0 : 1.0) << nc << "x" << nl << " at " << x << "," << y;
      EXPECT_EQ(up(x, y), y == 0 ? kNoEntry : 0.0);
      EXPECT_EQ(down(x, y), y == nl - 1 ? kNoEntry : 0.0);
      EXPECT_EQ(left(x, y), x == 0 ? kNoEntry : 0.0);
      EXPECT_EQ(right(x, y), x == nc - 1 ? kNoEntry : 0.0);
    }
  }
}
