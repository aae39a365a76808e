#include <cmath>

#include <gtest/gtest.h>

#include <CImg.h>

#include "field/field.h"
#include "support/child_process.h"

using namespace cimg_library;

namespace {

TEST(Pyramids, ImagePyramidSizes) {
  const CImgList<double> p = alloc_pyramid(104, 64, 1, 3);
  ASSERT_EQ(p.size(), 8u);
  const int w[] = {104, 52, 26, 13}, h[] = {64, 32, 16, 8};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(p[k].width(), w[k]);
    EXPECT_EQ(p[k].height(), h[k]);
    EXPECT_EQ(p[k].depth(), 1);
    EXPECT_EQ(p[k].spectrum(), 1);
    EXPECT_EQ(p[k].max(), 0.0);
    EXPECT_EQ(p[k].min(), 0.0);
  }
  for (int k = 4; k < 8; ++k) EXPECT_TRUE(p[k].is_empty());
  const CImgList<double> f = alloc_pyramid(100, 36, 2, 2);  // sizes from (nc >> coarse) << (coarse - k)
  EXPECT_EQ(f[0].width(), 100);
  EXPECT_EQ(f[0].height(), 36);
  EXPECT_EQ(f[0].depth(), 2);
  EXPECT_EQ(f[2].width(), 25);
  EXPECT_EQ(f[2].height(), 9);
}

TEST(Pyramids, MultiplierPyramidLengths) {
  const CImgList<double> p = alloc_pyramid(4, 2);
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[0].width(), 5);
  EXPECT_EQ(p[1].width(), 3);
  EXPECT_EQ(p[2].width(), 2);
  EXPECT_TRUE(p[3].is_empty());
  EXPECT_EQ(p[0].height(), 1);
  const CImgList<double> q = alloc_pyramid(0, 0);
  EXPECT_EQ(q[0].width(), 2);
  EXPECT_TRUE(q[1].is_empty());
}

TEST(Pyramids, MoreThanEightEntriesAreRefused) {
  const ChildResult r = runInChild([] { alloc_pyramid(256, 256, 1, 8); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("coarse index 8"), std::string::npos) << r.err;
}

CImg<double> row(std::initializer_list<double> v) {
  CImg<double> im((int)v.size(), 1, 1, 1);
  int i = 0;
  for (double x : v) im(i++) = x;
  return im;
}

TEST(MissingDataFilter, PlainWeightedSumWithoutMissingSamples) {
  const CImg<double> k = burtKernel();
  EXPECT_EQ(k.sum(), 1.0);
  const CImg<double> b = row({1, 2, 3, 4, 5, 6, 7});
  const CImg<double> out = Filtre_2D_sparse(b, k);
  // Centre: 0.05*1 + 0.25*2 + 0.4*3 + 0.25*4 + 0.05*5 in that order.
  EXPECT_EQ(out(2), 0.05 * 1 + 0.25 * 2 + 0.4 * 3 + 0.25 * 4 + 0.05 * 5);
  // Replicated border at x = 0: taps read 1, 1, 1, 2, 3.
  EXPECT_EQ(out(0), 0.05 * 1 + 0.25 * 1 + 0.4 * 1 + 0.25 * 2 + 0.05 * 3);
  // Correlation, not convolution: an asymmetric kernel reads forward with its right half.
  const CImg<double> out2 = Filtre_2D_sparse(b, row({0, 0, 0, 1, 0}));
  EXPECT_EQ(out2(2), 4.0);
  EXPECT_EQ(out2(6), 7.0);
}

TEST(MissingDataFilter, MostlyMissingGives1023AndOneMissingTapRenormalises) {
  const CImg<double> k = burtKernel();
  // Taps at x = 2: values 1023, 1023, 1023, 4, 5 -> missing weight 0.05 + 0.25 + 0.4 = 0.7 > 0.5.
  const CImg<double> out = Filtre_2D_sparse(row({1023, 1023, 1023, 4, 5, 6, 7}), k);
  EXPECT_EQ(out(2), 1023.0);
  // One missing tap of weight 0.25 (x = 3 at position 1 of the taps around x = 2).
  const CImg<double> b = row({10, 20, 30, 1022, 50, 60});
  const CImg<double> one = Filtre_2D_sparse(b, k);
  EXPECT_EQ(one(2), (0.05 * 10 + 0.25 * 20 + 0.4 * 30 + 0.05 * 50) / (1.0 - 0.25));
  // |v| >= 1022 counts as missing for negative samples too, and after one the marker is -1023.
  const CImg<double> neg = Filtre_2D_sparse(row({-1022, -1022, -1022, 0, 0, 0, 0, 0, 1023, 1023, 1023}), k);
  EXPECT_EQ(neg(0), -1023.0);
  EXPECT_EQ(neg(10), -1023.0);
  EXPECT_EQ(neg(5), 0.0);
}

TEST(MissingDataFilter, OtherMembersOfTheFamily) {
  const CImg<double> k = burtKernel();
  // Given max: missing at |v| >= max - 1, markers max and -max.
  EXPECT_EQ(Filtre_2D_sparse(row({99, 99, 99, 1, 1}), k, 100)(1), 100.0);
  EXPECT_EQ(Filtre_2D_sparse(row({-99, -99, -99, 1, 1}), k, 100)(1), -100.0);
  // Periodic members: missing only for v >= limit, marker always positive.
  EXPECT_EQ(Filtre_2D_sparse(row({-1022, -1022, -1022, 1, 1}), k, false)(1),
            0.05 * -1022 + 0.25 * -1022 + 0.4 * -1022 + 0.25 * -1022 + 0.05 * 1);
  EXPECT_EQ(Filtre_2D_sparse(row({1022, 1022, 1022, 1, 1}), k, false)(1), 1023.0);
  EXPECT_EQ(Filtre_2D_sparse(row({50, 50, 50, 1, 1}), k, false, 51)(1), 51.0);
  // One-step wrap: at x = 0 the taps read columns 3, 4, 0, 1, 2 of a 5-wide image.
  const CImg<double> b = row({1, 2, 3, 4, 5});
  EXPECT_EQ(Filtre_2D_sparse(b, k, true)(0), 0.05 * 4 + 0.25 * 5 + 0.4 * 1 + 0.25 * 2 + 0.05 * 3);
  EXPECT_EQ(Filtre_2D_sparse(b, k, true)(4), 0.05 * 3 + 0.25 * 4 + 0.4 * 5 + 0.25 * 1 + 0.05 * 2);
  // Not periodic: replicated.
  EXPECT_EQ(Filtre_2D_sparse(b, k, false)(0), Filtre_2D_sparse(b, k)(0));
}

TEST(MissingDataFilter, ColumnKernelFiltersAlongLines) {
  CImg<double> b(1, 5, 1, 1);
  for (int y = 0; y < 5; ++y) b(0, y) = y * y;
  const CImg<double> col = burtKernel().get_permute_axes("yxzc");
  ASSERT_EQ(col.width(), 1);
  ASSERT_EQ(col.height(), 5);
  EXPECT_EQ(Filtre_2D_sparse(b, col)(0, 2), 0.05 * 0 + 0.25 * 1 + 0.4 * 4 + 0.25 * 9 + 0.05 * 16);
}

TEST(CoarseLevels, RowFilterColumnFilterThenEvenSamples) {
  CImg<double> level(8, 6, 1, 1);
  cimg_forXY(level, x, y) level(x, y) = std::sin(x * 0.7) * 100 + y * y;
  level(3, 2) = 1023;  // a missing sample
  const CImg<double> k = burtKernel();
  const CImg<double> t2 = Filtre_2D_sparse(Filtre_2D_sparse(level, k), k.get_permute_axes("yxzc"));
  const CImg<double> coarse = coarserLevel(level, k, 4, 3);
  ASSERT_EQ(coarse.width(), 4);
  ASSERT_EQ(coarse.height(), 3);
  cimg_forXY(coarse, x, y) EXPECT_EQ(coarse(x, y), t2(2 * x, 2 * y));
}

TEST(CoarseLevels, NearestResizeRule) {
  CImg<double> f(8, 4, 2, 1);
  cimg_forXYZ(f, x, y, z) f(x, y, z) = x + 10 * y + 100 * z;
  const CImg<double> down = resizeNearest(f, 2, 1);  // shrink by 4
  ASSERT_EQ(down.depth(), 2);
  EXPECT_EQ(down(1, 0, 1), f(4, 0, 1));
  const CImg<double> up = resizeNearest(down, 8, 4);  // enlarge by 4: blocks of 4 x 4
  cimg_forXYZ(up, x, y, z) EXPECT_EQ(up(x, y, z), down(x / 4, y / 4, z));
  const CImg<double> odd = resizeNearest(row({0, 1, 2, 3, 4}), 3, 1);  // floor(x * 5 / 3)
  EXPECT_EQ(odd(0), 0.0);
  EXPECT_EQ(odd(1), 1.0);
  EXPECT_EQ(odd(2), 3.0);
}

}  // namespace
