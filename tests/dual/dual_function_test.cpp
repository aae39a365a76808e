// Lagrangian dual value: its constant part and the quadratic model over the primal system.
#include "dual_test_util.h"


#include <cmath>
#include <vector>

using namespace cimg_library;
using namespace dualtest;

namespace {

std::vector<double> targetsHV(int lo, double beta, double power) {
  std::vector<double> t(lo + 1);
  for (int l = 0; l <= lo; ++l) t[l] = std::pow((double)l, power) * beta;
  return t;
}

std::vector<double> targetsCross(int lo, double beta, double power) {
  std::vector<double> t(lo + 1);
  for (int l = 0; l <= lo; ++l) t[l] = std::pow(kS2 * l, power) * beta;
  return t;
}

// A random level: derivatives, carried field, data weights and positive multipliers.
struct RandomLevel {
  int nc, nl, neta, lo;
  CImg<double> im_x, im_y, im_t, UVtil, data_out, lambda, lambda_cross;
  RandomLevel(int nc_, int nl_, int neta_, int lo_, unsigned s)
      : nc(nc_), nl(nl_), neta(neta_), lo(lo_), im_x(randomImage(nc, nl, 1, -1, 1, s)),
        im_y(randomImage(nc, nl, 1, -1, 1, s + 1)), im_t(randomImage(nc, nl, 1, -1, 1, s + 2)),
        UVtil(randomImage(nc, nl, 2, -1, 1, s + 3)), data_out(randomImage(nc, nl, 1, 0.2, 1, s + 4)),
        lambda(randomImage(lo + 1, 1, 1, 0.5, 2, s + 5)), lambda_cross(randomImage(lo + 1, 1, 1, 0.5, 2, s + 6)) {}
  int count(const CImg<double>& weights, const CImg<double>& lam) const {
    testing::internal::CaptureStdout();
    const int n = NumberNonZeroElementInHessian_K41Long(im_x, im_y, weights, lam, lambda_cross, 0.0f, neta, lo);
    testing::internal::GetCapturedStdout();
    return n;
  }
  int count() const { return count(data_out, lambda); }
  double dual(const CImg<double>& UV, const CImg<double>& weights, double beta, double power, int nombre) const {
    return DualFunction_K41Long(UV, UVtil, im_x, im_y, im_t, weights, lambda, lambda_cross, 0.0f, neta, lo, beta,
                                power, nombre);
  }
};

}  // namespace

TEST(DualFunction, ZeroIncrementGivesTheConstantExactly) {
  const RandomLevel L(12, 11, 1, 3, 10);
  const double beta = 0.05, power = 2.0 / 3;
  const double w = L.dual(CImg<double>(L.nc, L.nl, 2, 1, 0.0), L.data_out, beta, power, L.count());
  const int n = L.lo - L.neta + 1;
  const CImgList<double> ones = constList(n, L.nc, L.nl, 1), zeros = constList(n, L.nc, L.nl, 0);
  const std::vector<double> tHV = targetsHV(L.lo, beta, power), tD = targetsCross(L.lo, beta, power);
  EXPECT_EQ(w, Constant_C(L.im_t.get_mul(L.im_t), L.data_out, L.UVtil.get_slice(0), L.UVtil.get_slice(1), L.lambda,
                          L.lambda_cross, tHV.data(), tD.data(), ones, ones, ones, ones, zeros, zeros, zeros, zeros,
                          L.neta, L.lo, L.nc, L.nl));
}

TEST(DualFunction, WithoutDataItIsTheMultiplierWeightedResidualOfTheTotalField) {
  const RandomLevel L(14, 12, 1, 3, 20);
  const double beta = 0.3, power = 2.0 / 3;
  const CImg<double> UV = randomImage(L.nc, L.nl, 2, -0.5, 0.5, 99), noData(L.nc, L.nl, 1, 1, 0.0);
  const double w = L.dual(UV, noData, beta, power, L.count(noData, L.lambda));
  const CImg<double> S_HV = StructureFunction2nd_horiVertDir(L.UVtil + UV, L.neta, L.lo, false);
  const CImg<double> S_D = StructureFunction2nd_crossDir(L.UVtil + UV, L.neta, L.lo, false);
  double expected = 0;
  for (int l = L.neta; l <= L.lo; ++l) expected += 0.5 * L.lambda[l] * (S_HV[l] - beta * std::pow(l, power));
  for (int l = 1; l <= 3; ++l) expected += 0.5 * L.lambda_cross[l] * (S_D[l] - beta * std::pow(l * kS2, power));
  EXPECT_NEAR(w, expected, 1e-10 * std::fabs(expected));
}

TEST(DualFunction, WithoutMultipliersItIsTheLinearisedDataEnergy) {
  RandomLevel L(10, 9, 1, 2, 30);
  L.lambda.fill(0);
  L.lambda_cross.fill(0);
  const CImg<double> UV = randomImage(L.nc, L.nl, 2, -1, 1, 7);
  double expected = 0;
  cimg_forXY(L.im_x, x, y) {
    const double r = L.im_x(x, y) * UV(x, y, 0) + L.im_y(x, y) * UV(x, y, 1) + L.im_t(x, y);
    expected += 0.5 * L.data_out(x, y) * r * r;
  }
  EXPECT_NEAR(L.dual(UV, L.data_out, 0.1, 2.0 / 3, L.count()), expected, 1e-12 * expected);
}

TEST(DualFunction, LagsWithoutPairsAreLeftOut) {
  // A 2 x 2 level with lag 1: no pair at all, so neither pair terms nor targets.
  const CImg<double> zero(2, 2, 1, 1, 0.0), lambda(2, 1, 1, 1, 1.0), U = randomImage(2, 2, 1, -1, 1, 5);
  const CImgList<double> ones = constList(1, 2, 2, 1), zeros = constList(1, 2, 2, 0);
  const double t[2] = {1, 1};
  EXPECT_EQ(Constant_C(zero, zero, U, U, lambda, lambda, t, t, ones, ones, ones, ones, zeros, zeros, zeros, zeros, 1, 1,
                       2, 2),
            0.0);
  const RandomLevel L(2, 2, 1, 1, 40);
  const int nombre = L.count();
  testing::internal::CaptureStdout();
  const double w = L.dual(randomImage(2, 2, 2, -1, 1, 8), L.data_out, 0.5, 2.0 / 3, nombre);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::isfinite(w));
  EXPECT_NE(out.find("Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n"), std::string::npos);
}

TEST(DualFunction, CountMadeWithAZeroMultiplierStillGivesTheValue) {
  // Counted with one multiplier at 0, assembled with it non-zero: more entries are written, the
  // difference is reported and the value stays that of the full system.
  const RandomLevel L(12, 12, 1, 2, 50);
  CImg<double> lambda0 = L.lambda;
  lambda0[2] = 0;
  const int small = L.count(L.data_out, lambda0), full = L.count();
  EXPECT_GT(full, small);
  const CImg<double> UV = randomImage(L.nc, L.nl, 2, -1, 1, 9);
  testing::internal::CaptureStdout();
  const double a = L.dual(UV, L.data_out, 0.2, 1.0, small);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR : number non zero elements not identical to prevision: "),
            std::string::npos);
  EXPECT_EQ(a, L.dual(UV, L.data_out, 0.2, 1.0, full));
}

TEST(DualFunction, IncrementInALargerImageAndWeightListsGiveTheSameValue) {
  const RandomLevel L(12, 10, 1, 3, 60);
  const double beta = 0.2, power = 2.0 / 3;
  const int nombre = L.count();
  const CImg<double> UV = randomImage(L.nc, L.nl, 2, -1, 1, 11);
  const double w = L.dual(UV, L.data_out, beta, power, nombre);
  CImg<double> larger(L.nc + 3, L.nl + 2, 2, 1, 5.0);
  larger.draw_image(0, 0, 0, 0, UV);
  EXPECT_EQ(w, L.dual(larger, L.data_out, beta, power, nombre));
  // The constant weights of the K41Long variant as image lists (diagonal indices 1..3 as lags 1..3).
  const CImgList<double> ones = constList(3, L.nc, L.nl, 1), zeros = constList(3, L.nc, L.nl, 0);
  const std::vector<double> tHV = targetsHV(L.lo, beta, power), tD = targetsCross(L.lo, beta, power);
  EXPECT_EQ(w, DualFunction(UV, L.UVtil, L.im_x, L.im_y, L.im_t, L.data_out, L.lambda, L.lambda_cross, ones, ones,
                            ones, ones, zeros, zeros, zeros, zeros, 0.0f, L.neta, L.lo, tHV.data(), tD.data(), nombre));
}

namespace {

double sq(double d) { return d * d; }

// Plain reference of the constant part: every pixel, every term, in the documented order.
double referenceC(const CImg<double>& ItIt, const CImg<double>& dout, const CImg<double>& u, const CImg<double>& v,
                  const CImg<double>& lHVv, const CImg<double>& lDv, const double* tHV, const double* tD,
                  const CImgList<double>& zr, const CImgList<double>& zd, const CImgList<double>& zrd,
                  const CImgList<double>& zru, const CImgList<double>& ztr, const CImgList<double>& ztd,
                  const CImgList<double>& ztrd, const CImgList<double>& ztru, int neta, int lo, int nc, int nl) {
  const bool trans = ztd[0].sum() != 0;
  double s0 = 0;
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) s0 += ItIt(x, y) * dout(x, y);
  double C = 0.5 * s0;
  const int l0 = (int)(neta * 0.7071067811865475 + 1), lend = (int)(lo * 0.7071067811865475 + 1);
  auto S = [&](int x, int y) { return u(x, y) + v(x, y); };
  auto D = [&](int x, int y) { return u(x, y) - v(x, y); };
  for (int l = l0; l <= lo; ++l) {
    const bool lHV = l >= neta, lcross = l <= lend;
    const int j = l - neta, k = l - l0;
    double gHV = 2 * (nc * (nl - 2 * l) + nl * (nc - 2 * l)), gD = 4 * (nc - 2 * l) * (nl - 2 * l);
    if (trans) {
      gHV *= 2;
      gD *= 2;
    }
    const double aHV = 0.5 * lHVv(l) / gHV, aD = 0.25 * lDv(l) * (1 / gD);
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x < nc; ++x) {
        const bool h = l <= x && x < nc - l, vc = l <= y && y < nl - l;
        if (lHV) {
          if (h) C += aHV * (zr[j](x, y) * sq(u(x, y) - u(x + l, y)) + zr[j](x - l, y) * sq(u(x, y) - u(x - l, y)));
          if (vc) C += aHV * (zd[j](x, y) * sq(v(x, y) - v(x, y + l)) + zd[j](x, y - l) * sq(v(x, y) - v(x, y - l)));
          if (h) C += aHV * (ztr[j](x, y) * sq(v(x, y) - v(x + l, y)) + ztr[j](x - l, y) * sq(v(x, y) - v(x - l, y)));
          if (vc) C += aHV * (ztd[j](x, y) * sq(u(x, y) - u(x, y + l)) + ztd[j](x, y - l) * sq(u(x, y) - u(x, y - l)));
        }
        if (lcross && h && vc) {
          double t = 0;
          t += zrd[k](x - l, y - l) * sq(S(x, y) - S(x - l, y - l));
          t += zrd[k](x, y) * sq(S(x, y) - S(x + l, y + l));
          t += zru[k](x, y) * sq(D(x, y) - D(x + l, y - l));
          t += zru[k](x - l, y + l) * sq(D(x, y) - D(x - l, y + l));
          t += ztrd[k](x, y) * sq(D(x, y) - D(x + l, y + l));
          t += ztrd[k](x - l, y - l) * sq(D(x, y) - D(x - l, y - l));
          t += ztru[k](x, y) * sq(S(x, y) - S(x + l, y - l));
          t += ztru[k](x - l, y + l) * sq(S(x, y) - S(x - l, y + l));
          C += aD * t;
        }
      }
    if (lHV) C += -0.5 * tHV[l] * lHVv(l);
    if (lcross) C += -0.5 * tD[l] * lDv(l);
  }
  return C;
}

}  // namespace

TEST(ConstantC, MatchesAPlainReferenceBitForBit) {
  // neta 4, lo 6 on 19 x 17: diagonal indices 3..5, lag 3 diagonal only, lag 6 horizontal/vertical only.
  const int nc = 19, nl = 17, neta = 4, lo = 6, nHV = 3, nD = 3;
  const CImg<double> ItIt = randomImage(nc, nl, 1, 0, 1, 1), dout = randomImage(nc, nl, 1, 0, 1, 2);
  const CImg<double> u = randomImage(nc, nl, 1, -1, 1, 3), v = randomImage(nc, nl, 1, -1, 1, 4);
  const std::vector<double> tHV = targetsHV(lo, 0.3, 2.0 / 3), tD = targetsCross(lo, 0.3, 2.0 / 3);
  const CImgList<double> zr = randomList(nHV, nc, nl, 10), zd = randomList(nHV, nc, nl, 20),
                         ztr = randomList(nHV, nc, nl, 30), zrd = randomList(nD, nc, nl, 40),
                         zru = randomList(nD, nc, nl, 50), ztrd = randomList(nD, nc, nl, 60),
                         ztru = randomList(nD, nc, nl, 70);
  CImgList<double> ztd = randomList(nHV, nc, nl, 80);
  const CImg<double> noData(nc, nl, 1, 1, 0.0);
  const std::vector<double> noTarget(lo + 1, 0.0);
  for (int pass = 0; pass < 24; ++pass) {
    // Several multiplier draws, all terms together, then each family alone (so that a coefficient
    // rounded differently is not lost in the larger terms).
    CImg<double> lHV = randomImage(lo + 1, 1, 1, -1, 2, 100 + pass), lD = randomImage(lo + 1, 1, 1, -1, 2, 200 + pass);
    const int family = pass % 3;
    if (family == 1) lD.fill(0);
    if (family == 2) lHV.fill(0);
    const CImg<double>& d = family ? noData : dout;
    const double* th = family ? noTarget.data() : tHV.data();
    const double* td = family ? noTarget.data() : tD.data();
    if (pass == 12) ztd[0].fill(0);  // transverse flag off: image 0 of z_t_down sums to 0
    const double C = Constant_C(ItIt, d, u, v, lHV, lD, th, td, zr, zd, zrd, zru, ztr, ztd, ztrd, ztru, neta, lo, nc, nl);
    const double R = referenceC(ItIt, d, u, v, lHV, lD, th, td, zr, zd, zrd, zru, ztr, ztd, ztrd, ztru, neta, lo, nc, nl);
    EXPECT_EQ(C, R) << "pass " << pass;
  }
}
