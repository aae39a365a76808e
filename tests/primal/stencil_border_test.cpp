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

// A subnormal built at run time, so that the compiler cannot fold the comparison.
double subnormal() {
  const std::uint64_t bits = 1;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(ExcludeWhite, MarksZerosOfBothSignsAndNaNOnly) {
  CImgList<double> a = makeList(2, 3, 2, 2.5), b = makeList(2, 3, 2, 2.5), c = makeList(2, 3, 2, 2.5),
                   d = makeList(2, 3, 2, 2.5);
  a[0](0, 0) = -0.0;
  a[1](2, 1) = 0.0;
  b[1](1, 0) = kNaN;
  c[0](2, 0) = 1e-300;
  d[1](0, 1) = subnormal();
  excludeWhite(3, 4, a, b, c, d);
  EXPECT_EQ(a[0](0, 0), kNoEntry);
  EXPECT_EQ(a[1](2, 1), kNoEntry);
  EXPECT_EQ(b[1](1, 0), kNoEntry);
  EXPECT_EQ(c[0](2, 0), 1e-300);
  // Denormals compare equal to zero in this process.
  EXPECT_EQ(d[1](0, 1), kNoEntry);
  EXPECT_EQ(a[0](1, 0), 2.5);
  EXPECT_EQ(kNoEntry, -1e30);
}

TEST(ExcludeWhite, NothingWhenLoBelowNeta) {
  CImgList<double> a = makeList(1, 2, 2, 0.0), b = a, c = a, d = a;
  excludeWhite(3, 2, a, b, c, d);
  for (const CImgList<double>* l : {&a, &b, &c, &d}) EXPECT_EQ((*l)[0].max(), 0.0);
}

TEST(DirichletLagLists, ClearsRingCouplingsButKeepsMarkersAndNaN) {
  const int nc = 8, nl = 7, neta = 1, lo = 2;
  CImgList<double> up = makeList(2, nc, nl, 2.5), left = up, right = up, down = up;
  right[0](0, 3) = kNoEntry;  // a marker on the ring stays
  down[1](0, 2) = kNaN;       // so does a value that is not a number
  fixDirichletConditions(nc, nl, up, left, right, down, neta, lo);
  EXPECT_EQ(right[0](0, 3), kNoEntry);
  EXPECT_TRUE(std::isnan(down[1](0, 2)));
  EXPECT_EQ(right[1](0, 4), 0.0);               // right coupling on column 0
  EXPECT_EQ(left[1](2, 4), 0.0);                // left coupling of column l into column 0
  EXPECT_EQ(right[0](nc - 2, 4), 0.0);          // right coupling of column nc-1-l
  EXPECT_EQ(up[1](4, 2), 0.0);                  // up coupling of line l into line 0
  EXPECT_EQ(down[0](4, nl - 2), 0.0);           // down coupling of line nl-1-l
  // The other couplings of a pixel not on the ring and not reaching it stay.
  EXPECT_EQ(left[1](3, 3), 2.5);
  EXPECT_EQ(up[1](4, 3), 2.5);
  EXPECT_EQ(right[0](3, 3), 2.5);
  EXPECT_EQ(down[0](3, 3), 2.5);
}

TEST(DirichletLagLists, NothingWhenLoBelowNeta) {
  CImgList<double> up = makeList(1, 5, 5, 2.5), left = up, right = up, down = up;
  fixDirichletConditions(5, 5, up, left, right, down, 3, 2);
  for (const CImgList<double>* l : {&up, &left, &right, &down}) EXPECT_EQ((*l)[0].min(), 2.5);
}

// Builds the lag lists as the system builders leave them: couplings whose partner leaves the grid
// are 0 and then marked by excludeWhite.
struct HVLists {
  CImgList<double> up, left, right, down;
  HVLists(int nc, int nl, int neta, int lo)
      : up(makeList(lo - neta + 1, nc, nl, 0)), left(up), right(up), down(up) {
    for (int l = neta; l <= lo; ++l)
      for (int y = 0; y < nl; ++y)
        for (int x = 0; x < nc; ++x) {
          const int k = l - neta;
          const double v = 1.0 + x + 10 * y + 100 * l;
          if (x + l < nc) right[k](x, y) = v;
          if (x - l >= 0) left[k](x, y) = v + 0.25;
          if (y + l < nl) down[k](x, y) = v + 0.5;
          if (y - l >= 0) up[k](x, y) = v + 0.75;
        }
    excludeWhite(neta, lo, left, right, up, down);
  }
};

TEST(DirichletLagLists, RingCouplingsBecomeExplicitZerosAndFarPixelsKeepTheirs) {
  const int nc = 11, nl = 10, neta = 1, lo = 3;
  HVLists s(nc, nl, neta, lo);
  const HVLists ref = s;
  fixDirichletConditions(nc, nl, s.up, s.left, s.right, s.down, neta, lo);
  auto onRing = [&](int x, int y) { return x == 0 || y == 0 || x == nc - 1 || y == nl - 1; };
  for (int l = neta; l <= lo; ++l) {
    const int k = l - neta;
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x < nc; ++x) {
        const struct {
          const CImg<double>& now;
          const CImg<double>& before;
          int px, py;
        } links[4] = {{s.right[k], ref.right[k], x + l, y},
                      {s.left[k], ref.left[k], x - l, y},
                      {s.down[k], ref.down[k], x, y + l},
                      {s.up[k], ref.up[k], x, y - l}};
        for (const auto& c : links) {
          const bool inGrid = c.px >= 0 && c.px < nc && c.py >= 0 && c.py < nl;
          if (!inGrid)
            EXPECT_EQ(c.now(x, y), kNoEntry);
          else if (onRing(x, y) || onRing(c.px, c.py))
            EXPECT_EQ(c.now(x, y), 0.0) << x << "," << y << " lag " << l;
          else
            EXPECT_EQ(c.now(x, y), c.before(x, y));
        }
      }
  }
}

TEST(DirichletLagLists, NeverWritesOutsideTheGrid) {
  // Images larger than the grid: only the nc x nl corner belongs to the system; lags beyond the
  // grid's size are accepted.
  for (int n : {1, 2, 3}) {
    CImgList<double> up = makeList(4, 6, 6, 2.5), left = up, right = up, down = up;
    fixDirichletConditions(n, n, up, left, right, down, 1, 4);
    for (const CImgList<double>* l : {&up, &left, &right, &down})
      for (int k = 0; k < 4; ++k)
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < 6; ++x)
            if (x >= n || y >= n) {
              EXPECT_EQ((*l)[k](x, y), 2.5);
            }
  }
}

// Diagonal lists as the K41 builders store them: image k holds diagonal step netaSqrt2 + k.
struct DiagLists {
  CImgList<double> ul, ur, dl, dr;  // up-left, up-right, down-left, down-right
  DiagLists(int nc, int nl, int neta, int lo, int steps)
      : ul(makeList(lo - neta + 1, nc, nl, 0)), ur(ul), dl(ul), dr(ul) {
    const int l0 = (int)(neta * 0.7071067811865475 + 1);
    for (int k = 0; k < steps; ++k) {
      const int l = l0 + k;
      for (int y = 0; y < nl; ++y)
        for (int x = 0; x < nc; ++x) {
          const double v = 1.0 + x + 10 * y + 100 * l;
          if (x - l >= 0 && y - l >= 0) ul[k](x, y) = v;
          if (x + l < nc && y - l >= 0) ur[k](x, y) = v + 0.25;
          if (x - l >= 0 && y + l < nl) dl[k](x, y) = v + 0.5;
          if (x + l < nc && y + l < nl) dr[k](x, y) = v + 0.75;
        }
    }
    excludeWhite(neta, lo, dr, ul, dl, ur);
  }
};

TEST(DirichletDiagonalLists, FourByFourWithOneStep) {
  DiagLists s(4, 4, 1, 1, 1);
  fixDirichletConditions_cross(4, 4, s.ul, s.ur, s.dl, s.dr, 1, 1);
  for (int x = 0; x <= 2; ++x) EXPECT_EQ(s.dr[0](x, 0), 0.0);
  for (int x = 1; x <= 3; ++x) EXPECT_EQ(s.ul[0](x, 1), 0.0);
  EXPECT_EQ(s.dr[0](3, 0), kNoEntry);
  // The couplings between the two inner pixels of a diagonal keep their values.
  EXPECT_EQ(s.dr[0](1, 1), 1.0 + 1 + 10 + 100 + 0.75);
  EXPECT_EQ(s.ul[0](2, 2), 1.0 + 2 + 20 + 100);
  EXPECT_EQ(s.ur[0](1, 2), 1.0 + 1 + 20 + 100 + 0.25);
}

TEST(DirichletDiagonalLists, ImageKIsStepNetaSqrt2PlusK) {
  // neta = 5 stores steps from (int)(5 * 0.7071... + 1) = 4 on; lo = 6 gives images for steps 4 and 5.
  const int nc = 14, nl = 13, neta = 5, lo = 6;
  DiagLists s(nc, nl, neta, lo, 2);
  const DiagLists ref = s;
  fixDirichletConditions_cross(nc, nl, s.ul, s.ur, s.dl, s.dr, neta, lo);
  auto onRing = [&](int x, int y) { return x == 0 || y == 0 || x == nc - 1 || y == nl - 1; };
  for (int k = 0; k < 2; ++k) {
    const int l = 4 + k;
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x < nc; ++x) {
        const struct {
          const CImg<double>& now;
          const CImg<double>& before;
          int px, py;
        } links[4] = {{s.ul[k], ref.ul[k], x - l, y - l},
                      {s.ur[k], ref.ur[k], x + l, y - l},
                      {s.dl[k], ref.dl[k], x - l, y + l},
                      {s.dr[k], ref.dr[k], x + l, y + l}};
        for (const auto& c : links) {
          const bool inGrid = c.px >= 0 && c.px < nc && c.py >= 0 && c.py < nl;
          if (!inGrid)
            EXPECT_EQ(c.now(x, y), kNoEntry);
          else if (onRing(x, y) || onRing(c.px, c.py))
            EXPECT_EQ(c.now(x, y), 0.0) << x << "," << y << " step " << l;
          else
            EXPECT_EQ(c.now(x, y), c.before(x, y)) << x << "," << y << " step " << l;
        }
      }
  }
  // Image 0 is step 4: the up-left coupling of (4, 4) reaches the corner; that of (5, 5) does not.
  EXPECT_EQ(s.ul[0](4, 4), 0.0);
  EXPECT_EQ(s.ul[0](5, 5), ref.ul[0](5, 5));
}

TEST(DirichletDiagonalLists, SelfImageClearedOnTheRingAndNothingOutsideTheGrid) {
  const int n = 3;
  CImg<double> self(5, 5, 1, 1, 7.0);
  CImgList<double> ul = makeList(3, 5, 5, 2.5), ur = ul, dl = ul, dr = ul;
  fixDirichletConditions_cross(n, n, self, ul, ur, dl, dr, 1, 3);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      if (x >= n || y >= n) {
        EXPECT_EQ(self(x, y), 7.0);
        for (const CImgList<double>* l : {&ul, &ur, &dl, &dr})
          for (int k = 0; k < 3; ++k) EXPECT_EQ((*l)[k](x, y), 2.5);
      } else {
        EXPECT_EQ(self(x, y), (x == 1 && y == 1) ? 7.0 : 0.0);
      }
    }
  // Lists shorter than the lag range are visited only where they have images.
  CImgList<double> shortList = makeList(1, 4, 4, 2.5);
  CImgList<double> a = shortList, b = shortList, c = shortList, d = shortList;
  fixDirichletConditions_cross(4, 4, a, b, c, d, 1, 5);
  EXPECT_EQ(a.size(), 1u);
}

TEST(DirichletFivePoint, ThreeByThreeKeepsOnlyTheCentreEquation) {
  CImg<double> up(3, 3, 1, 1, 2.5), self(3, 3, 1, 1, 9.0), down = up, left = up, right = up;
  fixDirichletConditions(3, 3, up, self, down, left, right);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      if (x == 1 && y == 1) {
        EXPECT_EQ(self(x, y), 9.0);
        // Its four couplings all reach the ring.
        EXPECT_EQ(up(x, y), 0.0);
        EXPECT_EQ(down(x, y), 0.0);
        EXPECT_EQ(left(x, y), 0.0);
        EXPECT_EQ(right(x, y), 0.0);
        continue;
      }
      EXPECT_EQ(self(x, y), 1.0);
      EXPECT_EQ(up(x, y), y == 0 ? kNoEntry : 0.0);
      EXPECT_EQ(down(x, y), y == 2 ? kNoEntry : 0.0);
      EXPECT_EQ(left(x, y), x == 0 ? kNoEntry : 0.0);
      EXPECT_EQ(right(x, y), x == 2 ? kNoEntry : 0.0);
    }
}

TEST(DirichletFivePoint, NarrowGridsStayInsideTheGrid) {
  for (auto [nc, nl] : {std::pair{1, 1}, {1, 4}, {4, 1}, {2, 2}}) {
    CImg<double> up(5, 5, 1, 1, 2.5), self = up, down = up, left = up, right = up;
    fixDirichletConditions(nc, nl, up, self, down, left, right);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 5; ++x) {
        if (x < nc && y < nl) {
          EXPECT_EQ(self(x, y), 1.0);
          EXPECT_EQ(up(x, y), y == 0 ? kNoEntry : 0.0);
          EXPECT_EQ(right(x, y), x == nc - 1 ? kNoEntry : 0.0);
        } else {
          for (const CImg<double>* im : {&up, &self, &down, &left, &right}) EXPECT_EQ((*im)(x, y), 2.5);
        }
      }
  }
  EXPECT_TRUE(sameBits(kNoEntry, -1e30));
}
