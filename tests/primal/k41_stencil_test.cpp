// K41 system stencil: entry counts, row sizes, symmetry, and the per-pixel builder against the
// whole-image formulation.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "k41_test_util.h"
#include "primal/primal.h"

using namespace cimg_library;
using namespace k41test;

namespace {

const char* kLimitLine = "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n";

struct Level {
  int nc, nl, neta, lo;
  CImg<double> ix, iy, data, lamHV, lamX;
};

Level makeLevel(int nc, int nl, int neta, int lo, unsigned seed) {
  std::mt19937 g(seed);
  Level L{nc, nl, neta, lo, randomImage(nc, nl, g), randomImage(nc, nl, g), randomImage(nc, nl, g, 0.1, 1.0),
          CImg<double>(), CImg<double>()};
  L.lamHV = randomImage(lo + 1, 1, g, 0.5, 2.0);
  L.lamX = randomImage(lo + 2, 1, g, 0.5, 2.0);
  return L;
}

int countLong(const Level& L) {
  return NumberNonZeroElementInHessian_K41Long(L.ix, L.iy, L.data, L.lamHV, L.lamX, 0.0f, L.neta, L.lo);
}

// Fills the system of a level (K41Long weights unless other lists are given) into growing arrays.
K41Csr fill(const Level& L, int nombre, const Lists* lists = nullptr) {
  const Lists Z = lists ? *lists : longLists(L.lo - L.neta + 1, L.nc, L.nl);
  K41Csr A;
  testing::internal::CaptureStdout();
  fillingSparseHessian_A(A, L.ix.get_mul(L.ix), L.ix.get_mul(L.iy), L.iy.get_mul(L.iy), L.data, L.lamHV, L.lamX,
                         Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5], Z.z[6], Z.z[7], L.neta, L.lo, L.nc, L.nl,
                         nombre);
  const std::string out = testing::internal::GetCapturedStdout();
  if (nombre > 0) {
    EXPECT_EQ(out, "");  // the counted number is the one written
  }
  return A;
}

// The log-determinant's ring on the reference images of one half: the Dirichlet fixes in their order,
// with five-point scratch images for the same-pixel coefficients; the diagonal fix that takes the
// same-pixel image zeroes the coupling (A2_ij of the u rows, A1_ij of the v rows).
void fixRing(RefHalf& H, bool vRows, int nc, int nl, int neta, int lo) {
  for (int b = 0; b < 2; ++b) {
    CImg<double>& self = b ? H.A2_ij : H.A1_ij;
    CImgList<double>* A = H.A[b];  // ijl, ij_l, ilj, i_lj, iljl, i_lj_l, ilj_l, i_ljl
    CImg<double> s1(nc, nl, 1, 1, 0.0), s2(s1), s3(s1), s4(s1);
    fixDirichletConditions(nc, nl, s1, self, s2, s3, s4);
    fixDirichletConditions(nc, nl, A[3], A[1], A[0], A[2], neta, lo);
    if (vRows == (b == 0))
      fixDirichletConditions_cross(nc, nl, self, A[5], A[7], A[6], A[4], neta, lo);
    else
      fixDirichletConditions_cross(nc, nl, A[5], A[7], A[6], A[4], neta, lo);
  }
}

}  // namespace

// Totals with longitudinal weights 1, transverse 0 and every multiplier non-zero (unless stated); each
// is also derived here from the pair rule, independently of the builder.
TEST(K41Count, ExactTotalsFollowThePairRule) {
  const int kAllZero = -2;
  struct Case {
    int nc, nl, neta, lo;
    long long expected;
    int zeroLag;
    bool limitLine;
  } cases[] = {{6, 6, 1, 1, 632, -1, false},    {8, 8, 1, 3, 2128, -1, false},    {16, 16, 1, 4, 13472, -1, false},
               {16, 16, 1, 4, 12576, 2, false}, {12, 10, 1, 2, 4012, -1, false},  {20, 14, 2, 4, 9900, -1, false},
               {16, 16, 4, 5, 6704, -1, false}, {9, 7, 1, 2, 4 * 63, kAllZero, false}, {5, 5, 0, 0, 4 * 25, -1, false},
               // pairs with neither point in the band (l > nc/3), and a lag left out (normaliser < 0)
               {12, 12, 1, 5, -1, -1, false},   {7, 7, 1, 4, -1, -1, true},
               // the limit line: 4 > 9/2 - 1, while 3 > 8/2 - 1 is false
               {9, 12, 1, 4, -1, -1, true},     {8, 12, 1, 3, -1, -1, false}};
  for (const Case& c : cases) {
    Level L = makeLevel(c.nc, c.nl, c.neta, c.lo, 7);
    if (c.zeroLag >= 0) L.lamHV(c.zeroLag) = 0.0;
    if (c.zeroLag == kAllZero) {
      L.lamHV.fill(0.0);
      L.lamX.fill(0.0);
      L.data.fill(0.0);
    }
    testing::internal::CaptureStdout();
    const int count = countLong(L);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.limitLine ? kLimitLine : "");
    const std::string what = std::to_string(c.nc) + "x" + std::to_string(c.nl) + " [" + std::to_string(c.neta) + ", " +
                             std::to_string(c.lo) + "]";
    if (c.expected >= 0) {
      EXPECT_EQ(count, c.expected) << what;
    }
    std::vector<double> lamHV(L.lamHV.begin(), L.lamHV.end()), lamX(L.lamX.begin(), L.lamX.end());
    EXPECT_EQ(count, pairRuleCountLong(c.nc, c.nl, c.neta, c.lo, lamHV, lamX)) << what;
    EXPECT_EQ(fill(L, count).nnz(), count) << what;
  }
}

TEST(K41Count, InteriorRowsHoldTheFullStencil) {
  for (auto [neta, lo] : {std::pair{1, 1}, {1, 4}, {2, 4}, {4, 5}, {3, 3}}) {
    const Level L = makeLevel(24, 22, neta, lo, 11);
    const K41Csr A = fill(L, countLong(L));
    const int N = 24 * 22, n = lo - neta + 1, nd = lastStep(lo) - firstStep(neta) + 1;
    const int p = 11 * 24 + 12;  // at least lo from every border
    auto rowSize = [](const K41Csr& M, int r) { return M.row_ptr[r + 1] - M.row_ptr[r]; };
    EXPECT_EQ(rowSize(A, p), 2 + 2 * n + 8 * nd) << "u row, [" << neta << ", " << lo << "]";
    EXPECT_EQ(rowSize(A, N + p), 2 + 2 * n + 8 * nd) << "v row";
    for (int e = A.row_ptr[p] + 1; e < A.row_ptr[p + 1]; ++e) EXPECT_LT(A.col_ind[e - 1], A.col_ind[e]);
    for (int e = 0; e < A.nnz(); ++e) ASSERT_TRUE(A.col_ind[e] >= 0 && A.col_ind[e] < 2 * N);
    // Transverse weights 1 as well: vertical u-u and horizontal v-v couplings appear, and equal
    // longitudinal and transverse diagonal weights cancel the u-v couplings exactly.
    const Lists ones = onesLists(n, 24, 22);
    const K41Csr T = fill(L, 0, &ones);
    EXPECT_EQ(rowSize(T, p), 2 + 4 * n + 4 * nd);
    EXPECT_EQ(rowSize(T, N + p), 2 + 4 * n + 4 * nd);
    EXPECT_EQ(NumberNonZeroElementInHessian_K41LongTrans(L.ix, L.iy, L.data, L.lamHV, L.lamX, neta, lo), T.nnz());
  }
}

TEST(K41Count, VariantsAgreeWithTheGeneralCount) {
  const Level L = makeLevel(14, 12, 1, 3, 8);
  const Lists ones = onesLists(3, 14, 12), lng = longLists(3, 14, 12);
  auto general = [&](const Lists& Z, float scale) {
    return NumberNonZeroElementInHessian(L.ix, L.iy, L.data, L.lamHV, L.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4],
                                         Z.z[5], Z.z[6], Z.z[7], scale, 1, 3);
  };
  EXPECT_EQ(countLong(L), general(lng, 0.0f));
  EXPECT_EQ(NumberNonZeroElementInHessian_K41Long(L.ix, L.iy, L.data, L.lamHV, L.lamX, 1, 3), general(lng, 1.0f));
  EXPECT_EQ(NumberNonZeroElementInHessian_K41LongTrans(L.ix, L.iy, L.data, L.lamHV, L.lamX, 1, 3), general(ones, 1.0f));
  EXPECT_EQ(NumberNonZeroElementInHessian_Gen_BruhnAndAl(L.ix, L.iy, L.data, L.lamHV, L.lamX, 2.0f, 3),
            general(ones, 2.0f));
  const Lists& O = ones;
  EXPECT_EQ(NumberNonZeroElementInHessian_Gen_Rob_BruhnAndAl(L.ix, L.iy, L.data, L.lamHV, L.lamX, O.z[0], O.z[1],
                                                             O.z[2], O.z[3], O.z[4], O.z[5], O.z[6], O.z[7], 2.0f, 3),
            general(ones, 2.0f));
}

// The builder computes each row alone; its rows must be those of a plain walk over the whole images of
// the whole-image formulation, bit for bit, without and with the log-determinant's ring fixed.
TEST(K41Stencil, PerPixelBuilderMatchesWholeImageFormulationBitForBit) {
  struct Case {
    int nc, nl, neta, lo;
    bool randomWeights;
  } cases[] = {{13, 11, 1, 3, true}, {12, 14, 2, 4, true}, {11, 11, 1, 1, false}, {16, 9, 4, 5, true},
               {7, 7, 1, 4, true}};
  for (const Case& c : cases) {
    std::mt19937 g(c.nc * 100 + c.lo);
    const int n = c.lo - c.neta + 1;
    Lists Z = c.randomWeights ? randomLists(n, c.nc, c.nl, g) : longLists(n, c.nc, c.nl);
    if (c.randomWeights) {
      Z.z[2][0](3, 4) = 0.0;  // exact zeros and a cancelling pair exercise the no-entry marker
      Z.z[6][0] = Z.z[2][0];
    }
    const CImg<double> ix = randomImage(c.nc, c.nl, g), iy = randomImage(c.nc, c.nl, g);
    CImg<double> data = randomImage(c.nc, c.nl, g, -0.5, 1.0);
    data(2, 2) = -0.0;
    CImg<double> lamHV = randomImage(c.lo + 1, 1, g, -1.0, 2.0), lamX = randomImage(c.lo + 1, 1, g, -1.0, 2.0);
    lamHV(c.lo) = 0.0;
    const CImg<double> IxIx = ix.get_mul(ix), IxIy = ix.get_mul(iy), IyIy = iy.get_mul(iy);
    Csr ref, ring;
    for (bool vRows : {false, true}) {
      RefHalf H = refBuild(vRows, IxIx, IxIy, IyIy, data, lamHV, lamX, Z, c.neta, c.lo);
      refWalk(ref, H, vRows, c.neta, c.lo);
      fixRing(H, vRows, c.nc, c.nl, c.neta, c.lo);
      refWalk(ring, H, vRows, c.neta, c.lo);
    }
    // The Hessian fill (rows built pixel by pixel) against the walk over the reference images; the count
    // agrees with the entries written.
    const Level L{c.nc, c.nl, c.neta, c.lo, ix, iy, data, lamHV, lamX};
    K41Csr R;
    ASSERT_TRUE(fillingSparseHessianRingFixed_A(R, IxIx, IxIy, IyIy, data, lamHV, lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                                                Z.z[4], Z.z[5], Z.z[6], Z.z[7], c.neta, c.lo));
    for (const auto& [F, expected] : {std::pair<K41Csr, const Csr*>{fill(L, (int)ref.val.size(), &Z), &ref}, {R, &ring}}) {
      ASSERT_EQ(F.nnz(), (int)expected->val.size());
      EXPECT_EQ(F.row_ptr, expected->ptr);
      EXPECT_EQ(std::vector<int>(F.col_ind.begin(), F.col_ind.begin() + F.nnz()), expected->col);
      EXPECT_EQ(std::memcmp(F.val.data(), expected->val.data(), expected->val.size() * sizeof(double)), 0);
    }
    EXPECT_EQ(NumberNonZeroElementInHessian(ix, iy, data, lamHV, lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5],
                                            Z.z[6], Z.z[7], 0.0f, c.neta, c.lo),
              (int)ref.val.size());
  }
}

TEST(K41Stencil, MatrixIsExactlySymmetric) {
  for (bool randomWeights : {false, true}) {
    const Level L = makeLevel(15, 13, 1, 4, 21);
    std::mt19937 g(5);
    const Lists Z = randomWeights ? randomLists(4, 15, 13, g) : longLists(4, 15, 13);
    const K41Csr A = fill(L, 0, &Z);
    std::map<std::pair<int, int>, double> entries;
    for (int r = 0; r < 2 * 15 * 13; ++r)
      for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e)
        ASSERT_TRUE(entries.emplace(std::pair{r, A.col_ind[e]}, A.val[e]).second) << "duplicate entry";
    for (const auto& [rc, v] : entries) {
      auto it = entries.find({rc.second, rc.first});
      ASSERT_NE(it, entries.end()) << rc.first << "," << rc.second;
      EXPECT_EQ(std::memcmp(&it->second, &v, sizeof v), 0) << rc.first << "," << rc.second;
    }
  }
}
