// K41 system stencil: entry counts, row layout, symmetry, and the per-pixel builder against the
// whole-image formulation.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "k41_test_util.h"
#include "primal/primal.h"

using namespace cimg_library;
using namespace k41test;

namespace {

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

std::vector<double> asVector(const CImg<double>& v) { return std::vector<double>(v.begin(), v.end()); }

// Fills the K41Long system of a level into growing arrays.
K41Csr fillLong(const Level& L, int nombre, const Lists* lists = nullptr) {
  const int n = L.lo - L.neta + 1;
  const Lists Z = lists ? *lists : longLists(n, L.nc, L.nl);
  K41Csr A;
  fillingSparseHessian_A(A, L.ix.get_mul(L.ix), L.ix.get_mul(L.iy), L.iy.get_mul(L.iy), L.data, L.lamHV, L.lamX,
                         Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5], Z.z[6], Z.z[7], L.neta, L.lo, L.nc, L.nl,
                         nombre);
  return A;
}

bool sameBits(const CImg<double>& a, const CImg<double>& b, int nc, int nl) {
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      const double u = a(x, y), v = b(x, y);
      if (std::memcmp(&u, &v, sizeof u) != 0) return false;
    }
  return true;
}

}  // namespace

// Totals with longitudinal weights 1, transverse 0 and every multiplier non-zero; each is also derived
// here from the pair rule, independently of the builder.
TEST(K41Count, ExactTotalsFollowThePairRule) {
  struct Case {
    int nc, nl, neta, lo;
    long long expected;
    int zeroLag;
  } cases[] = {{6, 6, 1, 1, 632, -1},    {8, 8, 1, 3, 2128, -1},  {16, 16, 1, 4, 13472, -1},
               {16, 16, 1, 4, 12576, 2}, {12, 10, 1, 2, 4012, -1}, {20, 14, 2, 4, 9900, -1},
               {16, 16, 4, 5, 6704, -1},
               // pairs with neither point in the band (l > nc/3), and a lag left out (normaliser < 0)
               {12, 12, 1, 5, -1, -1},   {7, 7, 1, 4, -1, -1}};
  for (const Case& c : cases) {
    Level L = makeLevel(c.nc, c.nl, c.neta, c.lo, 7);
    if (c.zeroLag >= 0) L.lamHV(c.zeroLag) = 0.0;
    testing::internal::CaptureStdout();
    const int count = countLong(L);
    testing::internal::GetCapturedStdout();
    if (c.expected >= 0) EXPECT_EQ(count, c.expected) << c.nc << " x " << c.nl << " [" << c.neta << ", " << c.lo << "]";
    EXPECT_EQ(count, pairRuleCountLong(c.nc, c.nl, c.neta, c.lo, asVector(L.lamHV), asVector(L.lamX)));
    // the fill writes exactly what was counted, and says nothing
    testing::internal::CaptureStdout();
    const K41Csr A = fillLong(L, count);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(A.nnz(), count);
  }
}

TEST(K41Count, ZeroMultipliersLeaveTheTwoSamePixelEntriesPerRow) {
  Level L = makeLevel(9, 7, 1, 2, 3);
  L.lamHV.fill(0.0);
  L.lamX.fill(0.0);
  L.data.fill(0.0);
  EXPECT_EQ(countLong(L), 4 * 9 * 7);
  // neta = lo = 0: no lag at all (the first diagonal step is 1)
  Level Z = makeLevel(5, 5, 0, 0, 4);
  EXPECT_EQ(countLong(Z), 4 * 25);
}

TEST(K41Count, InteriorRowsHoldTheFullStencil) {
  for (auto [neta, lo] : {std::pair{1, 1}, {1, 4}, {2, 4}, {4, 5}, {3, 3}}) {
    Level L = makeLevel(24, 22, neta, lo, 11);
    const int count = countLong(L);
    const K41Csr A = fillLong(L, count);
    const int N = 24 * 22, l0 = firstStep(neta), lend = lastStep(lo);
    const int expected = 2 + 2 * (lo - neta + 1) + 8 * (lend - l0 + 1);
    const int p = 11 * 24 + 12;  // at least lo from every border
    EXPECT_EQ(A.row_ptr[p + 1] - A.row_ptr[p], expected) << "u row, [" << neta << ", " << lo << "]";
    EXPECT_EQ(A.row_ptr[N + p + 1] - A.row_ptr[N + p], expected) << "v row";
    // every column on the grid, rows ascending except the v rows' upper u-column group
    for (int r = 0; r < 2 * N; ++r)
      for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e) {
        ASSERT_GE(A.col_ind[e], 0);
        ASSERT_LT(A.col_ind[e], 2 * N);
      }
    for (int e = A.row_ptr[p] + 1; e < A.row_ptr[p + 1]; ++e) EXPECT_LT(A.col_ind[e - 1], A.col_ind[e]);
    // transverse weights 1 as well: vertical u-u and horizontal v-v couplings appear, and equal
    // longitudinal and transverse diagonal weights cancel the u-v couplings exactly
    Lists ones;
    for (auto& z : ones.z) z = constantList(lo - neta + 1, 24, 22, 1.0);
    testing::internal::CaptureStdout();
    const K41Csr T = fillLong(L, 0, &ones);
    testing::internal::GetCapturedStdout();
    const int trans = 2 + 4 * (lo - neta + 1) + 4 * (lend - l0 + 1);
    EXPECT_EQ(T.row_ptr[p + 1] - T.row_ptr[p], trans);
    EXPECT_EQ(T.row_ptr[N + p + 1] - T.row_ptr[N + p], trans);
    EXPECT_EQ(NumberNonZeroElementInHessian_K41LongTrans(L.ix, L.iy, L.data, L.lamHV, L.lamX, neta, lo), T.nnz());
  }
}

TEST(K41Count, VRowsUpperGroupComesInDescendingLines) {
  Level L = makeLevel(20, 20, 1, 3, 5);
  const K41Csr A = fillLong(L, countLong(L));
  const int N = 400, p = 10 * 20 + 10;
  std::vector<int> cols(A.col_ind.begin() + A.row_ptr[N + p], A.col_ind.begin() + A.row_ptr[N + p + 1]);
  // u-column block of the v row of (10, 10): diagonal entries only, steps 1, 2, 3 upper, then self,
  // then the lower ones
  std::vector<int> expected;
  for (int l = 1; l <= 3; ++l) expected.insert(expected.end(), {(10 - l) * 20 + 10 - l, (10 - l) * 20 + 10 + l});
  expected.push_back(p);
  for (int l = 1; l <= 3; ++l) expected.insert(expected.end(), {(10 + l) * 20 + 10 - l, (10 + l) * 20 + 10 + l});
  ASSERT_GE(cols.size(), expected.size());
  EXPECT_EQ(std::vector<int>(cols.begin(), cols.begin() + expected.size()), expected);
}

TEST(K41Count, VariantsAgreeWithTheGeneralCount) {
  Level L = makeLevel(14, 12, 1, 3, 8);
  const int n = 3;
  Lists ones;
  for (auto& z : ones.z) z = constantList(n, 14, 12, 1.0);
  const Lists lng = longLists(n, 14, 12);
  auto general = [&](const Lists& Z, float scale, int neta) {
    return NumberNonZeroElementInHessian(L.ix, L.iy, L.data, L.lamHV, L.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                                         Z.z[4], Z.z[5], Z.z[6], Z.z[7], scale, neta, 3);
  };
  EXPECT_EQ(countLong(L), general(lng, 0.0f, 1));
  EXPECT_EQ(NumberNonZeroElementInHessian_K41Long(L.ix, L.iy, L.data, L.lamHV, L.lamX, 1, 3), general(lng, 1.0f, 1));
  EXPECT_EQ(NumberNonZeroElementInHessian_K41LongTrans(L.ix, L.iy, L.data, L.lamHV, L.lamX, 1, 3),
            general(ones, 1.0f, 1));
  EXPECT_EQ(NumberNonZeroElementInHessian_Gen_BruhnAndAl(L.ix, L.iy, L.data, L.lamHV, L.lamX, 2.0f, 3),
            general(ones, 2.0f, 1));
  EXPECT_EQ(NumberNonZeroElementInHessian_Gen_Rob_BruhnAndAl(L.ix, L.iy, L.data, L.lamHV, L.lamX, ones.z[0],
                                                             ones.z[1], ones.z[2], ones.z[3], ones.z[4], ones.z[5],
                                                             ones.z[6], ones.z[7], 2.0f, 3),
            general(ones, 2.0f, 1));
}

TEST(K41Count, LimitMessage) {
  const char* msg = "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n";
  Level a = makeLevel(9, 12, 1, 4, 1);  // 4 > 3.5
  testing::internal::CaptureStdout();
  countLong(a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), msg);
  Level b = makeLevel(8, 12, 1, 3, 1);  // 3 > 3 is false
  testing::internal::CaptureStdout();
  countLong(b);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The builder computes each row alone; its coefficients must be those of the whole-image formulation bit
// for bit, and its rows those of a plain walk over the whole images.
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
      Z.z[2][0](3, 4) = 0.0;   // exact zeros and a cancelling pair exercise the no-entry marker
      Z.z[6][0] = Z.z[2][0];
    }
    const CImg<double> ix = randomImage(c.nc, c.nl, g), iy = randomImage(c.nc, c.nl, g);
    CImg<double> data = randomImage(c.nc, c.nl, g, -0.5, 1.0);
    data(2, 2) = -0.0;
    CImg<double> lamHV = randomImage(c.lo + 1, 1, g, -1.0, 2.0), lamX = randomImage(c.lo + 1, 1, g, -1.0, 2.0);
    lamHV(c.lo) = 0.0;
    const CImg<double> IxIx = ix.get_mul(ix), IxIy = ix.get_mul(iy), IyIy = iy.get_mul(iy);
    Csr ref;
    std::int64_t k = 0;
    const int N = c.nc * c.nl;
    std::vector<double> val(20 * N * (n + 1));
    std::vector<int> col(val.size()), ptr(2 * N + 1);
    for (bool vRows : {false, true}) {
      const RefHalf H = refBuild(vRows, IxIx, IxIy, IyIy, data, lamHV, lamX, Z, c.neta, c.lo);
      K41CoefImages A;
      buildK41CoefImages(A, vRows, IxIx, IxIy, IyIy, data, lamHV, lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4],
                         Z.z[5], Z.z[6], Z.z[7], c.neta, c.lo);
      EXPECT_TRUE(sameBits(A.A1_ij, H.A1_ij, c.nc, c.nl));
      EXPECT_TRUE(sameBits(A.A2_ij, H.A2_ij, c.nc, c.nl));
      const CImgList<double>* mine[2][8] = {
          {&A.A1_ijl, &A.A1_ij_l, &A.A1_ilj, &A.A1_i_lj, &A.A1_iljl, &A.A1_i_lj_l, &A.A1_ilj_l, &A.A1_i_ljl},
          {&A.A2_ijl, &A.A2_ij_l, &A.A2_ilj, &A.A2_i_lj, &A.A2_iljl, &A.A2_i_lj_l, &A.A2_ilj_l, &A.A2_i_ljl}};
      for (int b = 0; b < 2; ++b)
        for (int d = 0; d < 8; ++d)
          for (int i = 0; i < n; ++i)
            EXPECT_TRUE(sameBits((*mine[b][d])[i], H.A[b][d][i], c.nc, c.nl))
                << "block " << b << " direction " << d << " index " << i << " vRows " << vRows;
      refWalk(ref, H, vRows, c.neta, c.lo);
      k = fillK41RowsFromImages(A, vRows, c.neta, c.lo, val.data(), col.data(), ptr.data(), (std::int64_t)val.size(),
                                k);
    }
    // the Hessian fill (rows built pixel by pixel) against the walk over the reference images
    testing::internal::CaptureStdout();
    K41Csr F;
    fillingSparseHessian_A(F, IxIx, IxIy, IyIy, data, lamHV, lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5],
                           Z.z[6], Z.z[7], c.neta, c.lo, c.nc, c.nl, (int)ref.val.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(F.nnz(), (int)ref.val.size());
    ASSERT_EQ(k, (std::int64_t)ref.val.size());
    EXPECT_EQ(F.row_ptr, ref.ptr);
    EXPECT_EQ(std::vector<int>(ptr.begin(), ptr.end()), ref.ptr);
    EXPECT_EQ(std::vector<int>(F.col_ind.begin(), F.col_ind.begin() + F.nnz()), ref.col);
    EXPECT_EQ(std::memcmp(F.val.data(), ref.val.data(), ref.val.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(val.data(), ref.val.data(), ref.val.size() * sizeof(double)), 0);
    // and the count agrees with the entries written
    const int count = NumberNonZeroElementInHessian(ix, iy, data, lamHV, lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                                                    Z.z[4], Z.z[5], Z.z[6], Z.z[7], 0.0f, c.neta, c.lo);
    EXPECT_EQ(count, (int)ref.val.size());
  }
}

TEST(K41Stencil, MatrixIsExactlySymmetric) {
  for (bool randomWeights : {false, true}) {
    Level L = makeLevel(15, 13, 1, 4, 21);
    std::mt19937 g(5);
    const Lists Z = randomWeights ? randomLists(4, 15, 13, g) : longLists(4, 15, 13);
    testing::internal::CaptureStdout();
    const K41Csr A = fillLong(L, 0, &Z);
    testing::internal::GetCapturedStdout();
    std::map<std::pair<int, int>, double> entries;
    const int n2 = 2 * 15 * 13;
    for (int r = 0; r < n2; ++r)
      for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e)
        ASSERT_TRUE(entries.emplace(std::pair{r, A.col_ind[e]}, A.val[e]).second) << "duplicate entry";
    for (const auto& [rc, v] : entries) {
      auto it = entries.find({rc.second, rc.first});
      ASSERT_NE(it, entries.end()) << rc.first << "," << rc.second;
      EXPECT_EQ(std::memcmp(&it->second, &v, sizeof v), 0) << rc.first << "," << rc.second;
    }
  }
}

TEST(K41Stencil, TransverseWeightsDoubleEveryNormaliser) {
  Level L = makeLevel(12, 12, 1, 3, 2);
  Lists Z = longLists(3, 12, 12);
  testing::internal::CaptureStdout();
  const K41Csr plain = fillLong(L, 0, &Z);
  testing::internal::GetCapturedStdout();
  Z.z[5][0](0, 0) = 1e-3;  // any non-zero sum of the first vertical transverse image
  testing::internal::CaptureStdout();
  const K41Csr doubled = fillLong(L, 0, &Z);
  testing::internal::GetCapturedStdout();
  // the horizontal coupling of the u row of an interior pixel at lag 2 is halved exactly
  const int p = 6 * 12 + 6;
  auto find = [](const K41Csr& A, int r, int c) {
    for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e)
      if (A.col_ind[e] == c) return A.val[e];
    return 0.0;
  };
  EXPECT_NE(find(plain, p, p + 2), 0.0);
  EXPECT_EQ(find(doubled, p, p + 2), find(plain, p, p + 2) / 2);
  EXPECT_EQ(find(doubled, p, p + 13), find(plain, p, p + 13) / 2);  // diagonal step 1
}
