#include <CImg.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "primal/primal.h"

using namespace cimg_library;

namespace {

// The compressed-row matrix of one fill, sized by the closed-form count.
struct Csr {
  int nc, nl, N;
  std::vector<double> val;
  std::vector<int> col, ptr;
  Csr(const CImg<double>& ix, const CImg<double>& iy, const CImg<double>& w, float alpha, bool periodic,
      const CImgList<double>* reg = nullptr)
      : nc(ix.width()), nl(ix.height()), N(nc * nl) {
    const long long n = numberEntriesHornAndSchunck(nc, nl, periodic);
    val.assign(n, 0.0);
    col.assign(n, -1);
    ptr.assign(2 * N + 1, -1);
    if (reg)
      fillingSparseHessian_A_HS(val.data(), col.data(), ptr.data(), ix, iy, w, *reg, alpha, (int)n, periodic);
    else
      fillingSparseHessian_A_HS(val.data(), col.data(), ptr.data(), ix, iy, w, alpha, (int)n, periodic);
  }
  int rowSize(int r) const { return ptr[r + 1] - ptr[r]; }
  // The value at (r, c), NaN when absent.
  double at(int r, int c) const {
    for (int k = ptr[r]; k < ptr[r + 1]; ++k)
      if (col[k] == c) return val[k];
    return std::numeric_limits<double>::quiet_NaN();
  }
  // Row r applied to the u unknowns U (v unknowns 0).
  double applyU(int r, const CImg<double>& U) const {
    double s = 0.0;
    for (int k = ptr[r]; k < ptr[r + 1]; ++k) s += val[k] * (col[k] < N ? U[col[k]] : 0.0);
    return s;
  }
};

CImg<double> smooth(int nc, int nl, double a, double b, double c) {
  CImg<double> im(nc, nl, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = std::sin(a * x + c) + std::cos(b * y - c) + 0.05 * x * std::sin(0.3 * y);
  return im;
}

// Link weights that differ from link to link.
CImgList<double> unevenLinks(int nc, int nl) {
  CImgList<double> z(2, nc, nl, 1, 1);
  cimg_forXY(z[0], x, y) {
    z[0](x, y) = 0.5 + 0.3 * x + 0.07 * y * y;
    z[1](x, y) = 1.5 - 0.1 * y + 0.2 * std::sin(1.3 * x);
  }
  return z;
}

// The images only describe their size here (shared over a one-element buffer that is never read).
void solveOnHugeGrid() {
  static double cell[1];
  CImg<double> big(cell, 20000, 20000, 1, 1, true), bigField(cell, 20000, 20000, 2, 1, true);
  CImg<double> UV(cell, 20000, 20000, 2, 1, true);
  HornAndSchunck(UV, bigField, big, big, big, 1.0f, big, false);
}

}  // namespace

TEST(HornAndSchunckCount, ClosedFormsAndFilledCounts) {
  EXPECT_EQ(numberEntriesHornAndSchunck(3, 3, false), 84);
  EXPECT_EQ(numberEntriesHornAndSchunck(3, 3, true), 108);
  for (int nl : {1, 2, 5, 9}) EXPECT_EQ(numberEntriesHornAndSchunck(1, nl, false), 8 * nl - 4);
  // 64-bit arithmetic: sizes whose count passes the int range.
  EXPECT_EQ(numberEntriesHornAndSchunck(20000, 20000, false), 4799840000LL);
  EXPECT_EQ(numberEntriesHornAndSchunck(20000, 20000, true), 4800000000LL);

  for (auto [nc, nl] : {std::pair{3, 3}, {1, 1}, {1, 6}, {6, 1}, {2, 2}, {7, 4}})
    for (bool periodic : {false, true}) {
      if (periodic && (nc < 3 || nl < 3)) continue;
      const CImg<double> ix = smooth(nc, nl, 0.3, 0.2, 0.1), iy = smooth(nc, nl, 0.25, 0.4, 0.7);
      const Csr m(ix, iy, CImg<double>(nc, nl, 1, 1, 1.0), 1.5f, periodic);
      EXPECT_EQ(m.ptr[2 * nc * nl], numberEntriesHornAndSchunck(nc, nl, periodic)) << nc << "x" << nl;
      EXPECT_EQ(m.ptr[0], 0);
    }
}

TEST(HornAndSchunckFill, NeumannLayoutAndValues) {
  const CImg<double> ix = smooth(3, 3, 0.3, 0.2, 0.1), iy = smooth(3, 3, 0.25, 0.4, 0.7);
  CImg<double> w(3, 3, 1, 1, 0.5);
  w(2, 2) = 0.0;
  const double a = 1.25;
  const Csr m(ix, iy, w, 1.25f, false);
  const int N = 9;
  auto uDiag = [&](int x, int y) { return (ix(x, y) * ix(x, y)) * w(x, y) + a * 4.0; };
  // Centre, edge-middle, corner: each missing neighbour folds -alpha into the diagonal.
  EXPECT_EQ(m.rowSize(4), 6);
  EXPECT_EQ(m.rowSize(1), 5);
  EXPECT_EQ(m.rowSize(0), 4);
  EXPECT_EQ(m.at(0, 0), (uDiag(0, 0) + -a) + -a);
  EXPECT_EQ(m.col[m.ptr[N + 4]], 4);  // v rows: u-v coupling first, then the rest in column order
  EXPECT_EQ(m.at(N + 4, N + 1), -a);
  // A pixel without data weight keeps its u-v couplings, with value 0.
  EXPECT_EQ(m.at(8, N + 8), 0.0);
  EXPECT_EQ(m.at(N + 8, 8), 0.0);
  // Columns increase along every row; the matrix is symmetric.
  for (int r = 0; r < 2 * N; ++r) {
    for (int k = m.ptr[r] + 1; k < m.ptr[r + 1]; ++k) EXPECT_LT(m.col[k - 1], m.col[k]);
    for (int k = m.ptr[r]; k < m.ptr[r + 1]; ++k) EXPECT_EQ(m.at(m.col[k], r), m.val[k]);
  }
  // alpha 0 keeps the neighbour entries, as negative zeros.
  const double up = Csr(ix, iy, w, 0.0f, false).at(4, 1);
  EXPECT_EQ(up, 0.0);
  EXPECT_TRUE(std::signbit(up));
  // One column: both horizontal couplings fold into the diagonal, and the ends fold the vertical one.
  const CImg<double> cx = smooth(1, 5, 0.3, 0.2, 0.1), cy = smooth(1, 5, 0.25, 0.4, 0.7);
  const Csr c(cx, cy, CImg<double>(1, 5, 1, 1, 1.0), 0.75f, false);
  auto cDiag = [&](int y) { return (cx(0, y) * cx(0, y)) * 1.0 + 0.75 * 4.0; };
  EXPECT_EQ(c.at(2, 2), (cDiag(2) + -0.75) + -0.75);
  EXPECT_EQ(c.at(0, 0), ((cDiag(0) + -0.75) + -0.75) + -0.75);
  EXPECT_EQ(c.rowSize(0), 3);
  EXPECT_EQ(c.rowSize(2), 4);
}

TEST(HornAndSchunckFill, NarrowPeriodicGridsMergeCoincidingNeighbours) {
  // Where a wrapped neighbour is a direct one (2 columns or lines) or the pixel itself (1), each
  // column appears once per row, and without data the smoothness part still equals minus alpha times
  // the periodic Laplacian.
  for (auto [nc, nl] : {std::pair{1, 1}, {1, 4}, {2, 2}, {2, 5}, {4, 1}, {5, 2}}) {
    const int N = nc * nl;
    const CImg<double> zero(nc, nl, 1, 1, 0.0);
    const Csr m(zero, zero, zero, 1.0f, true);
    EXPECT_LE(m.ptr[2 * N], numberEntriesHornAndSchunck(nc, nl, true));
    CImg<double> U = smooth(nc, nl, 0.9, 0.6, 0.4);
    const CImg<double> lap = laplacian(U, true);
    for (int r = 0; r < 2 * N; ++r) {
      for (int k = m.ptr[r] + 1; k < m.ptr[r + 1]; ++k) EXPECT_LT(m.col[k - 1], m.col[k]);
      if (r < N) {
        EXPECT_NEAR(m.applyU(r, U), -lap[r], 1e-12) << nc << "x" << nl << " row " << r;
      }
    }
  }
}

TEST(HornAndSchunckSolve, RecoversAUniformTranslation) {
  const int nc = 24, nl = 18;
  CImg<double> I(nc, nl, 1, 1), Ix(nc, nl, 1, 1), Iy(nc, nl, 1, 1);
  cimg_forXY(I, x, y) {
    I(x, y) = std::sin(0.31 * x) * std::cos(0.23 * y) + 0.4 * std::sin(0.17 * x + 0.29 * y);
    Ix(x, y) = 0.31 * std::cos(0.31 * x) * std::cos(0.23 * y) + 0.4 * 0.17 * std::cos(0.17 * x + 0.29 * y);
    Iy(x, y) = -0.23 * std::sin(0.31 * x) * std::sin(0.23 * y) + 0.4 * 0.29 * std::cos(0.17 * x + 0.29 * y);
  }
  const double a = 0.6, b = -0.35;
  const CImg<double> It = -(Ix * a + Iy * b);
  for (bool periodic : {false, true})
    for (double base : {0.0, 1.5}) {
      // A constant accumulated field has no Laplacian, so the increment is the translation.
      const CImg<double> UVtil(nc, nl, 2, 1, base);
      CImg<double> UV(nc, nl, 2, 1, 99.0);
      const bool failed = HornAndSchunck(UV, UVtil, Ix, Iy, It, 0.5f, CImg<double>(nc, nl, 1, 1, 1.0), periodic);
      ASSERT_FALSE(failed);
      cimg_forXY(I, x, y) {
        ASSERT_NEAR(UV(x, y, 0), a, 1e-4);
        ASSERT_NEAR(UV(x, y, 1), b, 1e-4);
      }
    }
}

TEST(HornAndSchunckSolve, FailedSolveLeavesTheIncrementUnchanged) {
  const int nc = 5, nl = 4;
  const CImg<double> ix = smooth(nc, nl, 0.3, 0.2, 0.1), iy = smooth(nc, nl, 0.25, 0.4, 0.7);
  CImg<double> it(nc, nl, 1, 1, 0.1);
  it(3, 2) = std::numeric_limits<double>::quiet_NaN();  // the solver breaks down
  CImg<double> UV(nc, nl, 2, 1);
  cimg_forXYZ(UV, x, y, z) UV(x, y, z) = x + 10 * y + 100 * z;
  const CImg<double> before = UV;
  testing::internal::CaptureStdout();
  const bool failed =
      HornAndSchunck(UV, CImg<double>(nc, nl, 2, 1, 0.0), ix, iy, it, 1.0f, CImg<double>(nc, nl, 1, 1, 1.0), false);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(failed);
  EXPECT_EQ(std::memcmp(UV.data(), before.data(), UV.size() * sizeof(double)), 0);
  EXPECT_NE(out.find("no convergence (output CGS"), std::string::npos);
}

TEST(HornAndSchunckSolveDeathTest, RefusesMismatchedSizesAndOversizedSystems) {
  const CImg<double> im(4, 3, 1, 1, 1.0), field(4, 3, 2, 1, 0.0);
  EXPECT_EXIT(
      {
        CImg<double> UV(4, 3, 1, 1);
        HornAndSchunck(UV, field, im, im, im, 1.0f, im, false);
      },
      testing::ExitedWithCode(1), "HornAndSchunck: the increment image is 4x3x1, expected 4x3x2");
  EXPECT_EXIT(
      {
        CImg<double> UV(4, 3, 2, 1);
        HornAndSchunck(UV, field, im, CImg<double>(3, 3, 1, 1), im, 1.0f, im, false);
      },
      testing::ExitedWithCode(1), "HornAndSchunck: im_y is 3x3x1, expected 4x3");
  // 20000 x 20000 needs 4.8e9 entries: refused before anything is allocated or read.
  EXPECT_EXIT(solveOnHugeGrid(), testing::ExitedWithCode(1), "more than the sparse solver can index");
}

TEST(RobustDataCoefDeathTest, RefusesAFieldThatDoesNotCoverTheGrid) {
  const CImg<double> im(4, 3, 1, 1, 1.0), flat(4, 3, 1, 1, 0.0);
  EXPECT_EXIT(RobustDataCoef(flat, im, im, im, 1.0), testing::ExitedWithCode(1), "RobustDataCoef: the field");
  EXPECT_EXIT(RobustDataCoef_QuasiTV(CImg<double>(3, 3, 2, 1), im, im, im, 1.0), testing::ExitedWithCode(1),
              "RobustDataCoef_QuasiTV: ");
}

TEST(HornAndSchunckFill, LinkWeightsGiveTheSymmetricMatrixOfTheWeightedLaplacian) {
  // The left coupling of a pixel carries the weight of the link to its left neighbour, which sits
  // on that neighbour; the up coupling that of the link above. The matrix is then symmetric and its
  // smoothness part is minus alpha times the weighted Laplacian that builds the right-hand side.
  const int nc = 5, nl = 4, N = nc * nl;
  const CImg<double> ix = smooth(nc, nl, 0.3, 0.2, 0.1), iy = smooth(nc, nl, 0.25, 0.4, 0.7);
  const CImgList<double> z = unevenLinks(nc, nl);
  const float alpha = 0.7f;
  const double a = alpha;
  const CImg<double> w = smooth(nc, nl, 0.1, 0.1, 0.2).abs();
  for (bool periodic : {false, true}) {
    const Csr m(ix, iy, w, alpha, periodic, &z);
    EXPECT_EQ(m.ptr[2 * N], numberEntriesHornAndSchunck(nc, nl, periodic));
    for (int r = 0; r < 2 * N; ++r)
      for (int k = m.ptr[r]; k < m.ptr[r + 1]; ++k) EXPECT_EQ(m.at(m.col[k], r), m.val[k]) << r << " " << periodic;
    // Pixel (2, 1): left coupling -alpha z0(1, 1), up coupling -alpha z1(2, 0).
    const int p = 1 * nc + 2;
    EXPECT_EQ(m.at(p, p - 1), -a * z[0](1, 1));
    EXPECT_EQ(m.at(p, p + 1), -a * z[0](2, 1));
    EXPECT_EQ(m.at(p, p - nc), -a * z[1](2, 0));
    EXPECT_EQ(m.at(N + p, N + p + nc), -a * z[1](2, 1));
    if (periodic) {
      // Column 0 wraps to the last column through the link between them, held by the last column.
      EXPECT_EQ(m.at(nc, 2 * nc - 1), -a * z[0](nc - 1, 1));
      EXPECT_EQ(m.at(N + 1, N + (nl - 1) * nc + 1), -a * z[1](1, nl - 1));
    }
    // Without data: each u row applied to U equals -alpha times the weighted Laplacian of U.
    const CImg<double> zero(nc, nl, 1, 1, 0.0);
    const Csr s(zero, zero, zero, alpha, periodic, &z);
    const CImg<double> U = smooth(nc, nl, 0.9, 0.6, 0.4), lap = laplacian(U, z, periodic);
    for (int r = 0; r < N; ++r) EXPECT_NEAR(s.applyU(r, U), -a * lap[r], 1e-12) << "row " << r << " " << periodic;
    // Unit link weights give the plain matrix bit for bit.
    const CImgList<double> ones(2, nc, nl, 1, 1, 1.0);
    const Csr plain(ix, iy, w, alpha, periodic), unit(ix, iy, w, alpha, periodic, &ones);
    EXPECT_EQ(plain.ptr, unit.ptr);
    EXPECT_EQ(plain.col, unit.col);
    EXPECT_EQ(std::memcmp(plain.val.data(), unit.val.data(), plain.val.size() * sizeof(double)), 0);
  }
}

TEST(HornAndSchunckSolve, LinkWeightsSolveTheStationarityConditions) {
  // w Ix (Ix du + Iy dv + It) = alpha Lw(Util + du) and likewise for v, Lw the weighted Laplacian.
  const int nc = 9, nl = 7;
  const CImg<double> ix = smooth(nc, nl, 0.3, 0.2, 0.1), iy = smooth(nc, nl, 0.25, 0.4, 0.7);
  const CImg<double> it = smooth(nc, nl, 0.5, 0.35, 0.2) * 0.1;
  CImg<double> UVtil(nc, nl, 2, 1);
  cimg_forXYZ(UVtil, x, y, c) UVtil(x, y, c) = 0.1 * x * x - 0.2 * c * y + 0.03 * x * y;
  CImg<double> w(nc, nl, 1, 1);
  cimg_forXY(w, x, y) w(x, y) = 0.2 + 0.1 * ((x + y) % 3);
  const CImgList<double> z = unevenLinks(nc, nl);
  const double a = 0.8;
  for (bool periodic : {false, true}) {
    CImg<double> d(nc, nl, 2, 1, 0.0);
    ASSERT_FALSE(HornAndSchunck(d, UVtil, ix, iy, it, 0.8f, w, z, periodic));
    const CImg<double> total = UVtil + d;
    const CImg<double> lu = laplacian(total.get_slice(0), z, periodic), lv = laplacian(total.get_slice(1), z, periodic);
    cimg_forXY(w, x, y) {
      const double r = ix(x, y) * d(x, y, 0) + iy(x, y) * d(x, y, 1) + it(x, y);
      EXPECT_NEAR(w(x, y) * ix(x, y) * r, a * lu(x, y), 1e-5) << x << "," << y << " periodic " << periodic;
      EXPECT_NEAR(w(x, y) * iy(x, y) * r, a * lv(x, y), 1e-5) << x << "," << y << " periodic " << periodic;
    }
  }
}

TEST(HornAndSchunckLevelWork, KeptArraysAndStructureGiveTheSameSolvesAndLines) {
  const int nc = 11, nl = 9;
  const CImg<double> ix = smooth(nc, nl, 0.4, 0.3, 0.2), iy = smooth(nc, nl, 0.25, 0.5, 1.0),
                     it = smooth(nc, nl, 0.6, 0.2, 2.0) * 0.1;
  CImg<double> UVtil(nc, nl, 2, 1);
  cimg_forXYZ(UVtil, x, y, z) UVtil(x, y, z) = 0.1 * std::sin(0.5 * x + z) * std::cos(0.3 * y);
  HornAndSchunckLevel kept;
  CImg<double> w(nc, nl, 1, 1, 1.0);
  // Weights that change from solve to solve, a coefficient that is not a number (the couplings leave
  // the pattern, and the solve fails), then as before.
  for (int step = 0; step < 5; ++step) {
    if (step > 0) cimg_forXY(w, x, y) w(x, y) = 0.5 + 0.4 * std::sin(step + x * 0.7 + y);
    const float alpha = step == 3 ? std::numeric_limits<float>::quiet_NaN() : 10.0f;
    CImg<double> UV1(nc, nl, 2, 1, 3.0), UV2(nc, nl, 2, 1, 3.0);
    bool f1 = false, f2 = false;
    testing::internal::CaptureStdout();
    f1 = HornAndSchunck(UV1, UVtil, ix, iy, it, alpha, w, false);
    const std::string out1 = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    f2 = HornAndSchunck(UV2, UVtil, ix, iy, it, alpha, w, false, kept);
    const std::string out2 = testing::internal::GetCapturedStdout();
    EXPECT_EQ(f1, f2) << step;
    EXPECT_EQ(f1, step == 3) << step;
    EXPECT_EQ(out1, out2) << step;
    EXPECT_EQ(std::memcmp(UV1.data(), UV2.data(), UV1.size() * sizeof(double)), 0) << step;
  }
  EXPECT_EQ(kept.solves(), 5);
  EXPECT_EQ(kept.structures(), 3);  // the first pattern, the one without couplings, the first again
}
