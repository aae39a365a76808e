#include <CImg.h>
#include <gtest/gtest.h>

#include <cmath>

#include "primal/primal.h"

using namespace cimg_library;

namespace {

// A 3 x 2 problem whose residual (u fx + v fy) + ft equals r at every pixel.
struct Residual {
  CImg<double> u, v, fx, fy, ft;
  explicit Residual(double r)
      : u(3, 2, 1, 1, 0.0), v(3, 2, 1, 1, 0.0), fx(3, 2, 1, 1, 1.0), fy(3, 2, 1, 1, 1.0), ft(3, 2, 1, 1, r) {}
};

}  // namespace

TEST(DataWeights, LeclercAndQuasiTVValues) {
  struct Case {
    bool quasiTV;
    double r;
    float sigma;
    double expected;  // NaN: not a number expected
  } const cases[] = {
      {false, 0.0, 2.0f, 1.0},
      {false, 50.0, 50.0f, 0.36787944117144233},
      {false, 50.0, 0.0f, 0.0},
      // sigma 0.1: its square is formed in single precision, 0.010000000707805157 after widening
      {false, 0.1, 0.1f, std::exp(-(0.1 * 0.1) * (1.0 / 0.010000000707805157))},
      {true, 0.0, 1.0f, 1.0},
      {true, 1.0, 1.0f, 0.7071067811865475},
      {true, 1.0, 0.0f, 0.0},
      {true, 0.0, 0.0f, std::nan("")},
  };
  for (const Case& c : cases) {
    const Residual r(c.r);
    CImg<double> out(3, 2, 1, 1, -7.0);
    (c.quasiTV ? Data_Out_Gen_f_QuasiTV : Data_Out_Gen_f)(r.u, r.v, r.fx, r.fy, r.ft, c.sigma, 3, 2, out);
    cimg_forXY(out, x, y) EXPECT_TRUE(std::isnan(c.expected) ? std::isnan(out(x, y)) : out(x, y) == c.expected)
        << c.quasiTV << " " << c.r << " " << c.sigma << ": " << out(x, y);
  }
  // The residual uses every term: (2 * 0.25 + (-1) * 3) + 0.5 = -2.
  Residual r(0.5);
  r.u.fill(2.0);
  r.v.fill(-1.0);
  r.fx.fill(0.25);
  r.fy.fill(3.0);
  CImg<double> out(3, 2, 1, 1);
  Data_Out_Gen_f_QuasiTV(r.u, r.v, r.fx, r.fy, r.ft, 1.0f, 3, 2, out);
  EXPECT_EQ(out(1, 1), 1.0 / std::sqrt(4.0 + 1.0));
}

TEST(DataWeights, RobustDataCoefOnAField) {
  const CImg<double> fx(4, 3, 1, 1, 1.0), fy(4, 3, 1, 1, 2.0), ft(4, 3, 1, 1, -5.0);
  CImg<double> UV(4, 3, 2, 1);
  UV.get_shared_slice(0).fill(1.0);
  UV.get_shared_slice(1).fill(2.0);  // residual 1 + 4 - 5 = 0
  const CImg<double> w = RobustDataCoef(UV, fx, fy, ft, 3.0), q = RobustDataCoef_QuasiTV(UV, fx, fy, ft, 3.0);
  EXPECT_TRUE(w.width() == 4 && w.height() == 3 && w.depth() == 1 && w.spectrum() == 1);
  EXPECT_TRUE(w.min() == 1.0 && q.min() == 1.0 && q.max() == 1.0);
  EXPECT_EQ(RobustDataCoef(UV, fx, fy, ft + 1.0, 0.0).max(), 0.0);
  // sigma is narrowed to single precision.
  const CImg<double> w2 = RobustDataCoef(UV, fx, fy, ft + 0.1, 0.1);
  EXPECT_EQ(w2(3, 2), std::exp(-(((1.0 + 4.0) + (-5.0 + 0.1)) * ((1.0 + 4.0) + (-5.0 + 0.1))) *
                               (1.0 / (double)(0.1f * 0.1f))));
}

TEST(LinkWeights, LastColumnAndLineWithBothBorders) {
  CImg<double> UV(4, 3, 2, 1);
  cimg_forXYZ(UV, x, y, z) UV(x, y, z) = z == 0 ? 0.5 * x : 0.25 * y;
  for (auto update : {UpdateRobustWeight_Leclerc, UpdateRobustWeight_QuasiTV}) {
    CImgList<double> z(2, 4, 3, 1, 1, -1.0);
    update(UV, z, 2.0, false);
    EXPECT_TRUE(z[0].get_column(3).min() == 1.0 && z[0].get_column(3).max() == 1.0);
    EXPECT_TRUE(z[1].get_row(2).min() == 1.0 && z[1].get_row(2).max() == 1.0);
  }
  CImgList<double> z(2, 4, 3, 1, 1);
  UpdateRobustWeight_Leclerc(UV, z, 2.0, true);
  // Last column against column 0: u differs by 1.5, v not at all.
  EXPECT_EQ(z[0](3, 1), 0.5 * (1.0 + std::exp(-2.0 * (1.5 * 1.5))));
  EXPECT_EQ(z[1](0, 2), 0.5 * (std::exp(-2.0 * (0.5 * 0.5)) + 1.0));
  UpdateRobustWeight_QuasiTV(UV, z, 2.0, true);
  const double s = 0.25, s2 = s * s;
  EXPECT_EQ(z[0](3, 1), (1 / std::sqrt(0.0 + s2) + 1 / std::sqrt(1.5 * 1.5 + s2)) * (s * 0.5));
  EXPECT_EQ(z[0](0, 0), (1 / std::sqrt(0.0 + s2) + 1 / std::sqrt(0.25 + s2)) * (s * 0.5));
}
