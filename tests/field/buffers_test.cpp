#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "field/field.h"

using namespace cimg_library;

namespace {

CImg<double> numbered(int w, int h, int d) {
  CImg<double> im(w, h, d, 1);
  cimg_forXYZ(im, x, y, z) im(x, y, z) = 0.1 + x + 10 * y + 100 * z;
  return im;
}

TEST(FloatBuffers, MotionFieldGoesOutPlaneAfterPlaneAndComesBackNarrowed) {
  const CImg<double> uv = numbered(3, 2, 2);
  std::unique_ptr<float[]> buf(CImg2float(uv));
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(buf[x + 3 * y + 6 * z], (float)uv(x, y, z));
  const CImg<double> back = float2CImg(3, 2, 2, buf.get());
  ASSERT_EQ(back.depth(), 2);
  cimg_forXYZ(back, x, y, z) EXPECT_EQ(back(x, y, z), (double)(float)uv(x, y, z));
  const CImg<double> plane = float2CImg(3, 2, buf.get());
  ASSERT_EQ(plane.depth(), 1);
  cimg_forXY(plane, x, y) EXPECT_EQ(plane(x, y), (double)(float)uv(x, y, 0));
}

TEST(FloatBuffers, ChannelsAboveZeroAreIgnoredAndZeroSizesGiveEmptyImages) {
  CImg<double> im(2, 1, 1, 3);
  cimg_forXYC(im, x, y, c) im(x, y, 0, c) = x + 10 * c;
  std::unique_ptr<float[]> buf(CImg2float(im));
  EXPECT_EQ(buf[0], 0.f);
  EXPECT_EQ(buf[1], 1.f);
  const float one = 1;
  EXPECT_TRUE(float2CImg(0, 5, &one).is_empty());
  EXPECT_TRUE(float2CImg(5, 0, 2, &one).is_empty());
}

TEST(FloatBuffers, CopyFCopiesBlocksAndOverlappingRangesFromTheFirst) {
  std::vector<float> a = {1, 2, 3, 4, 5, 6}, b(6, 0.f);
  Copy_f(b.data(), a.data(), 3, 2);
  EXPECT_EQ(a, b);
  Copy_f(b.data(), a.data(), 0, 7);  // nothing
  EXPECT_EQ(a, b);
  // Overlapping, destination after the source: the element-by-element copy from the first value
  // propagates it.
  Copy_f(a.data() + 1, a.data(), 5, 1);
  EXPECT_EQ(a, (std::vector<float>{1, 1, 1, 1, 1, 1}));
  std::vector<float> c = {1, 2, 3, 4, 5, 6};
  Copy_f(c.data(), c.data() + 1, 5, 1);
  EXPECT_EQ(c, (std::vector<float>{2, 3, 4, 5, 6, 6}));
}

TEST(FieldAssembly, FillAndFillChannel) {
  const CImg<double> a = numbered(3, 2, 1), b = numbered(4, 3, 1) * 2.0;
  const CImg<double> f = fill(a, b);
  ASSERT_EQ(f.width(), 3);
  ASSERT_EQ(f.height(), 2);
  ASSERT_EQ(f.depth(), 2);
  cimg_forXY(f, x, y) {
    EXPECT_EQ(f(x, y, 0), a(x, y));
    // b is addressed with its own width
    EXPECT_EQ(f(x, y, 1), b.data()[x + y * 4]);
  }
  CImg<double> out(4, 3, 3, 1, -1.0);
  FillChannel(out, a, 2);
  cimg_forXYZ(out, x, y, z) {
    const double expected = (z == 2 && x < 3 && y < 2) ? a(x, y) : -1.0;
    EXPECT_EQ(out(x, y, z), expected);
  }
}

TEST(BufferMasks, BinarizeIsStrictAndTouchesPlaneZeroOnly) {
  CImg<double> in(3, 1, 2, 1);
  in(0, 0, 0) = 0.0;
  in(1, 0, 0) = 1e-300;  // just above the threshold (a subnormal would read as 0 here)
  in(2, 0, 0) = -3;
  in(0, 0, 1) = 7;
  in(1, 0, 1) = 0;
  in(2, 0, 1) = -1;
  const CImg<double> out = binarize(in, 0);
  EXPECT_EQ(out(0, 0, 0), 0.0);
  EXPECT_EQ(out(1, 0, 0), 1.0);
  EXPECT_EQ(out(2, 0, 0), 0.0);
  EXPECT_EQ(out(0, 0, 1), 7.0);
  EXPECT_EQ(out(2, 0, 1), -1.0);
}

TEST(BufferMasks, TresholdMinmaxIncludesBothBounds) {
  CImg<double> in(5, 1, 2, 1, 42.0);
  in(0) = 0;
  in(1) = -2;
  in(2) = 1e30;
  in(3) = 0.5;
  in(4) = 2e30;
  const CImg<double> out = treshold_minmax(in, 0, 1e30, 1);
  EXPECT_EQ(out(0), 1.0);
  EXPECT_EQ(out(1), 1.0);
  EXPECT_EQ(out(2), 1.0);
  EXPECT_EQ(out(3), 0.5);
  EXPECT_EQ(out(4), 1.0);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(out(x, 0, 1), 42.0);
}

TEST(Densify, BlocksReplicateTheirOriginButNotAtTheBorder) {
  CImg<double> X = numbered(7, 7, 2);
  const CImg<double> orig = X;
  BlocDensify(X, 3, 0, 0);
  // Origins x0, y0 in {0, 3} (6 is not below 7 - 3): blocks cover 0..5; line and column 6 stay.
  cimg_forXYZ(X, x, y, z) {
    if (x < 6 && y < 6)
      EXPECT_EQ(X(x, y, z), orig(x / 3 * 3, y / 3 * 3, z)) << x << "," << y << "," << z;
    else
      EXPECT_EQ(X(x, y, z), orig(x, y, z));
  }
  CImg<double> Y = orig;
  BlocDensify(Y, 0, 0, 0);
  EXPECT_TRUE(Y == orig);
  BlocDensify(Y, 4, 2, 1);  // one origin (2, 1): 2 < 7 - 4 and 1 < 3, 5 is not
  EXPECT_EQ(Y(5, 4, 1), orig(2, 1, 1));
  EXPECT_EQ(Y(6, 4, 1), orig(6, 4, 1));
  EXPECT_EQ(Y(1, 1, 0), orig(1, 1, 0));
}

}  // namespace
