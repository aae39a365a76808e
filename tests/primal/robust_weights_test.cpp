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

TEST(DataWeights, LeclercValues) {
  CImg<double> out(3, 2, 1, 1, -7.0);
  Data_Out_Gen_f(Residual(0).u, Residual(0).v, Residual(0).fx, Residual(0).fy, Residual(0).ft, 2.0f, 3, 2, out);
  EXPECT_EQ(out.min(), 1.0);
  EXPECT_EQ(out.max(), 1.0);

  Residual r50(50.0);
  Data_Out_Gen_f(r50.u, r50.v, r50.fx, r50.fy, r50.ft, 50.0f, 3, 2, out);
  EXPECT_EQ(out(2, 1), 0.36787944117144233);

  Data_Out_Gen_f(r50.u, r50.v, r50.fx, r50.fy, r50.ft, 0.0f, 3, 2, out);
  EXPECT_EQ(out.max(), 0.0);
  EXPECT_EQ(out.min(), 0.0);

  // sigma 0.1: its square is formed in single precision, 0.010000000707805157 after widening.
  Residual r01(0.1);
  Data_Out_Gen_f(r01.u, r01.v, r01.fx, r01.fy, r01.ft, 0.1f, 3, 2, out);
  EXPECT_EQ(out(0, 0), std::exp(-(0.1 * 0.1) * (1.0 / 0.010000000707805157)));
}

TEST(DataWeights, ResidualUsesEveryTerm) {
  Residual r(0.5);
  r.u.fill(2.0);
  r.v.fill(-1.0);
  r.fx.fill(0.25);
  r.fy.fill(3.0);  // (2 * 0.25 + (-1) * 3) + 0.5 = -2
  CImg<double> out(3, 2, 1, 1);
  Data_Out_Gen_f_QuasiTV(r.u, r.v, r.fx, r.fy, r.ft, 1.0f, 3, 2, out);
  EXPECT_EQ(out(1, 1), 1.0 / std::sqrt(4.0 + 1.0));
}

TEST(DataWeights, QuasiTVValues) {
  CImg<double> out(3, 2, 1, 1);
  Residual r0(0.0), r1(1.0);
  Data_Out_Gen_f_QuasiTV(r0.u, r0.v, r0.fx, r0.fy, r0.ft, 1.0f, 3, 2, out);
  EXPECT_EQ(out(0, 1), 1.0);
  Data_Out_Gen_f_QuasiTV(r1.u, r1.v, r1.fx, r1.fy, r1.ft, 1.0f, 3, 2, out);
  EXPECT_EQ(out(0, 1), 0.7071067811865475);
  Data_Out_Gen_f_QuasiTV(r1.u, r1.v, r1.fx, r1.fy, r1.ft, 0.0f, 3, 2, out);
  EXPECT_EQ(out(2, 0), 0.0);
  Data_Out_Gen_f_QuasiTV(r0.u, r0.v, r0.fx, r0.fy, r0.ft, 0.0f, 3, 2, out);
  EXPECT_TRUE(std::isnan(out(2, 0)));
}

TEST(DataWeights, RobustDataCoefOnAField) {
  const CImg<double> fx(4, 3, 1, 1, 1.0), fy(4, 3, 1, 1, 2.0), ft(4, 3, 1, 1, -5.0);
  CImg<double> UV(4, 3, 2, 1);
  UV.get_shared_slice(0).fill(1.0);
  UV.get_shared_slice(1).fill(2.0);  // residual 1 + 4 - 5 = 0
  const CImg<double> w = RobustDataCoef(UV, fx, fy, ft, 3.0), q = RobustDataCoef_QuasiTV(UV, fx, fy, ft, 3.0);
  EXPECT_EQ(w.width(), 4);
  EXPECT_EQ(w.height(), 3);
  EXPECT_EQ(w.depth(), 1);
  EXPECT_EQ(w.spectrum(), 1);
  EXPECT_EQ(w.min(), 1.0);
  EXPECT_EQ(q.min(), 1.0);
  EXPECT_EQ(q.max(), 1.0);
  EXPECT_EQ(RobustDataCoef(UV, fx, fy, ft + 1.0, 0.0).max(), 0.0);
  // sigma is narrowed to single precision.
  const CImg<double> w2 = RobustDataCoef(UV, fx, fy, ft + 0.1, 0.1);
  EXPECT_EQ(w2(3, 2), std::exp(-(((1.0 + 4.0) + (-5.0 + 0.1)) * ((1.0 + 4.0) + (-5.0 + 0.1))) *
                               (1.0 / (double)(0.1f * 0.1f))));
}

TEST(LinkWeights, LastColumnAndLineWithBothBorders) {
  CImg<double> UV(4, 3, 2, 1);
  cimg_forXYZ(UV, x, y, z) UV(x, y, z) = z == 0 ? 0.5 * x : 0.25 * y;
  for (int kind = 0; kind < 2; ++kind) {
    CImgList<double> z(2, 4, 3, 1, 1, -1.0);
    if (kind == 0)
      UpdateRobustWeight_Leclerc(UV, z, 2.0, false);
    else
      UpdateRobustWeight_QuasiTV(UV, z, 2.0, false);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(z[0](3, y), 1.0);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(z[1](x, 2), 1.0);
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
