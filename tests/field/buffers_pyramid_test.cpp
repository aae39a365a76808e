// Field buffers and masks, pyramids, the missing-data low-pass filter, coarse levels and resizing.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "field/field.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

CImg<double> numbered(int w, int h, int d) {
  CImg<double> im(w, h, d, 1);
  cimg_forXYZ(im, x, y, z) im(x, y, z) = 0.1 + x + 10 * y + 100 * z;
  return im;
}

CImg<double> row(std::vector<double> v) { return CImg<double>(v.data(), (int)v.size()); }

TEST(FieldBuffers, FloatCopiesAndPlanes) {
  const CImg<double> uv = numbered(3, 2, 2);
  std::unique_ptr<float[]> buf(CImg2float(uv));
  const CImg<float> narrow(uv);  // plane after plane
  EXPECT_EQ(std::vector<float>(buf.get(), buf.get() + 12), std::vector<float>(narrow.begin(), narrow.end()));
  EXPECT_TRUE(sameImage(float2CImg(3, 2, 2, buf.get()), CImg<double>(narrow)));  // narrowed to single precision
  EXPECT_TRUE(sameImage(float2CImg(3, 2, buf.get()), CImg<double>(narrow.get_slice(0))));
  CImg<double> channels(2, 1, 1, 3);
  cimg_forXYC(channels, x, y, c) channels(x, y, 0, c) = x + 10 * c;
  buf.reset(CImg2float(channels));  // channels above 0 are ignored
  EXPECT_TRUE(buf[0] == 0.f && buf[1] == 1.f);
  EXPECT_TRUE(float2CImg(0, 5, buf.get()).is_empty() && float2CImg(5, 0, 2, buf.get()).is_empty());
  // Copy_f copies element by element from the first: an overlapping forward copy propagates it.
  std::vector<float> a = {1, 2, 3, 4, 5, 6}, b(6, 0.f), c = a;
  Copy_f(b.data(), a.data(), 3, 2);
  Copy_f(b.data(), a.data(), 0, 7);  // nothing
  EXPECT_EQ(a, b);
  Copy_f(a.data() + 1, a.data(), 5, 1);
  Copy_f(c.data(), c.data() + 1, 5, 1);
  EXPECT_EQ(a, (std::vector<float>{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(c, (std::vector<float>{2, 3, 4, 5, 6, 6}));
}

TEST(FieldBuffers, FillChannelsMasksAndDensify) {
  const CImg<double> a = numbered(3, 2, 1), b = numbered(4, 3, 1) * 2.0;
  const CImg<double> f = fill(a, b);
  ASSERT_TRUE(f.is_sameXYZC(3, 2, 2, 1));
  cimg_forXY(f, x, y) EXPECT_TRUE(f(x, y, 0) == a(x, y) && f(x, y, 1) == b.data()[x + y * 4]);  // b's own width
  CImg<double> out(4, 3, 3, 1, -1.0);
  FillChannel(out, a, 2);
  cimg_forXYZ(out, x, y, z) EXPECT_EQ(out(x, y, z), (z == 2 && x < 3 && y < 2) ? a(x, y) : -1.0);
  // binarize: strictly above the threshold, plane 0 only; treshold_minmax: both bounds included.
  const CImg<double> in = row({0.0, 1e-300, -3, 0.5, 2e30, 1e30}).append(row({7, 0, -1, 42, 42, 42}), 'z');
  EXPECT_EQ(valuesOf(binarize(in, 0)), (std::vector<double>{0, 1, 0, 1, 1, 1, 7, 0, -1, 42, 42, 42}));
  EXPECT_EQ(valuesOf(treshold_minmax(in, 0, 1e30, 1)), (std::vector<double>{1, 1e-300, 1, 0.5, 1, 1, 7, 0, -1, 42, 42, 42}));
  // Blocks replicate their origin; origins stop before the last sampInt columns and lines.
  CImg<double> X = numbered(7, 7, 2), Y = X;
  const CImg<double> orig = X;
  BlocDensify(X, 3, 0, 0);  // origins 0 and 3: line and column 6 stay
  cimg_forXYZ(X, x, y, z) EXPECT_EQ(X(x, y, z), (x < 6 && y < 6) ? orig(x / 3 * 3, y / 3 * 3, z) : orig(x, y, z));
  BlocDensify(Y, 0, 0, 0);
  EXPECT_TRUE(Y == orig);
  BlocDensify(Y, 4, 2, 1);  // one origin (2, 1)
  EXPECT_TRUE(Y(5, 4, 1) == orig(2, 1, 1) && Y(6, 4, 1) == orig(6, 4, 1) && Y(1, 1, 0) == orig(1, 1, 0));
}

TEST(Pyramids, SizesZeroFillAndRefusal) {
  const CImgList<double> p = alloc_pyramid(104, 64, 1, 3);
  ASSERT_EQ(p.size(), 8u);
  for (int k = 0; k < 8; ++k)
    EXPECT_TRUE(k > 3 ? p[k].is_empty() : p[k].is_sameXYZC(104 >> k, 64 >> k, 1, 1) && p[k].max() == 0 && p[k].min() == 0);
  const CImgList<double> f = alloc_pyramid(100, 36, 2, 2);  // sizes (nc >> coarse) << (coarse - k)
  EXPECT_TRUE(f[0].is_sameXYZC(100, 36, 2, 1) && f[2].is_sameXYZC(25, 9, 2, 1));
  const CImgList<double> m = alloc_pyramid(4, 2), z = alloc_pyramid(0, 0);  // multipliers
  EXPECT_TRUE(m.size() == 8 && m[0].is_sameXY(5, 1) && m[1].width() == 3 && m[2].width() == 2 && m[3].is_empty());
  EXPECT_TRUE(z[0].width() == 2 && z[1].is_empty());
  expectRefusal(runInChild([] { alloc_pyramid(256, 256, 1, 8); }), {"coarse index 8"});
}

TEST(MissingDataFilter, WeightedSumsMissingSamplesAndMembers) {
  const CImg<double> k = burtKernel(), b = row({1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(k.sum(), 1.0);
  EXPECT_EQ(Filtre_2D_sparse(b, k)(2), 0.05 * 1 + 0.25 * 2 + 0.4 * 3 + 0.25 * 4 + 0.05 * 5);
  EXPECT_EQ(Filtre_2D_sparse(b, k)(0), 0.05 * 1 + 0.25 * 1 + 0.4 * 1 + 0.25 * 2 + 0.05 * 3);  // replicated border
  const CImg<double> shift = Filtre_2D_sparse(b, row({0, 0, 0, 1, 0}));  // correlation, not convolution
  EXPECT_TRUE(shift(2) == 4.0 && shift(6) == 7.0);
  // Missing weight 0.7 > 0.5 gives 1023; one missing tap of weight 0.25 renormalises by 0.75.
  EXPECT_EQ(Filtre_2D_sparse(row({1023, 1023, 1023, 4, 5, 6, 7}), k)(2), 1023.0);
  EXPECT_EQ(Filtre_2D_sparse(row({10, 20, 30, 1022, 50, 60}), k)(2),
            (0.05 * 10 + 0.25 * 20 + 0.4 * 30 + 0.05 * 50) / (1.0 - 0.25));
  // |v| >= 1022 is missing for negative samples too, and after one the marker is -1023.
  const CImg<double> neg = Filtre_2D_sparse(row({-1022, -1022, -1022, 0, 0, 0, 0, 0, 1023, 1023, 1023}), k);
  EXPECT_TRUE(neg(0) == -1023.0 && neg(10) == -1023.0 && neg(5) == 0.0);
  // Given max: missing at |v| >= max - 1, markers max and -max.
  EXPECT_EQ(Filtre_2D_sparse(row({99, 99, 99, 1, 1}), k, 100)(1), 100.0);
  EXPECT_EQ(Filtre_2D_sparse(row({-99, -99, -99, 1, 1}), k, 100)(1), -100.0);
  // Periodic members: missing only for v >= limit, marker always positive, one-step wrap.
  EXPECT_EQ(Filtre_2D_sparse(row({-1022, -1022, -1022, 1, 1}), k, false)(1),
            0.05 * -1022 + 0.25 * -1022 + 0.4 * -1022 + 0.25 * -1022 + 0.05 * 1);
  EXPECT_EQ(Filtre_2D_sparse(row({1022, 1022, 1022, 1, 1}), k, false)(1), 1023.0);
  EXPECT_EQ(Filtre_2D_sparse(row({50, 50, 50, 1, 1}), k, false, 51)(1), 51.0);
  const CImg<double> five = row({1, 2, 3, 4, 5});
  EXPECT_EQ(Filtre_2D_sparse(five, k, true)(0), 0.05 * 4 + 0.25 * 5 + 0.4 * 1 + 0.25 * 2 + 0.05 * 3);
  EXPECT_EQ(Filtre_2D_sparse(five, k, true)(4), 0.05 * 3 + 0.25 * 4 + 0.4 * 5 + 0.25 * 1 + 0.05 * 2);
  EXPECT_EQ(Filtre_2D_sparse(five, k, false)(0), Filtre_2D_sparse(five, k)(0));
  // A column kernel filters along the lines.
  const CImg<double> col = k.get_permute_axes("yxzc");
  EXPECT_EQ(Filtre_2D_sparse(row({0, 1, 4, 9, 16}).permute_axes("yxzc"), col)(0, 2),
            0.05 * 0 + 0.25 * 1 + 0.4 * 4 + 0.25 * 9 + 0.05 * 16);
}

TEST(CoarseLevels, FilterThenEvenSamplesAndNearestResize) {
  CImg<double> level(8, 6, 1, 1);
  cimg_forXY(level, x, y) level(x, y) = std::sin(x * 0.7) * 100 + y * y;
  level(3, 2) = 1023;  // a missing sample
  const CImg<double> k = burtKernel();
  const CImg<double> t2 = Filtre_2D_sparse(Filtre_2D_sparse(level, k), k.get_permute_axes("yxzc"));
  const CImg<double> coarse = coarserLevel(level, k, 4, 3);
  ASSERT_TRUE(coarse.is_sameXY(4, 3));
  cimg_forXY(coarse, x, y) EXPECT_EQ(coarse(x, y), t2(2 * x, 2 * y));
  const CImg<double> f = numbered(8, 4, 2), down = resizeNearest(f, 2, 1), up = resizeNearest(down, 8, 4);
  EXPECT_TRUE(down.depth() == 2 && down(1, 0, 1) == f(4, 0, 1));
  cimg_forXYZ(up, x, y, z) EXPECT_EQ(up(x, y, z), down(x / 4, y / 4, z));  // blocks of 4 x 4
  EXPECT_EQ(valuesOf(resizeNearest(row({0, 1, 2, 3, 4}), 3, 1)), (std::vector<double>{0, 1, 3}));  // x * 5 / 3
}

}  // namespace
