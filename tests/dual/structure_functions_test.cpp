// Second-order and p-th order structure functions, K41 residuals and the constraint deviation.
#include "dual_test_util.h"
#include "support/child_process.h"


#include <cmath>
#include <limits>

using namespace cimg_library;
using namespace dualtest;

namespace {

double sq(double d) { return d * d; }

CImg<double> field(int nc, int nl, double (*u)(int, int), double (*v)(int, int)) {
  CImg<double> F(nc, nl, 2);
  cimg_forXY(F, x, y) {
    F(x, y, 0) = u(x, y);
    F(x, y, 1) = v(x, y);
  }
  return F;
}

CImg<double> randomField(int nc, int nl, unsigned seed) { return randomImage(nc, nl, 2, -2, 2, seed); }

// Plain reference of the horizontal/vertical operation: every pixel, every term, in the documented order.
CImg<double> referenceHV(const CImg<double>& F, int neta, int lo, const CImgList<double>& zr,
                         const CImgList<double>& zd, const CImgList<double>& ztr, const CImgList<double>& ztd) {
  const int nc = F.width(), nl = F.height();
  CImg<double> S(lo + 1, 1, 1, 1, 0.0);
  for (int l = neta; l <= lo; ++l) {
    const int j = l - neta;
    double sum = 0;
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x < nc; ++x) {
        if (l <= x && x < nc - l) {
          sum += zr[j](x, y) * sq(F(x, y, 0) - F(x + l, y, 0));
          sum += zr[j](x - l, y) * sq(F(x, y, 0) - F(x - l, y, 0));
          sum += ztr[j](x - l, y) * sq(F(x, y, 1) - F(x - l, y, 1));
          sum += ztr[j](x, y) * sq(F(x, y, 1) - F(x + l, y, 1));
        }
        if (l <= y && y < nl - l) {
          sum += zd[j](x, y - l) * sq(F(x, y, 1) - F(x, y - l, 1));
          sum += zd[j](x, y) * sq(F(x, y, 1) - F(x, y + l, 1));
          sum += ztd[j](x, y - l) * sq(F(x, y, 0) - F(x, y - l, 0));
          sum += ztd[j](x, y) * sq(F(x, y, 0) - F(x, y + l, 0));
        }
      }
    S[l] = sum / (double)(2 * (nc * (nl - 2 * l) + nl * (nc - 2 * l)));
    if (ztd[j].sum() != 0) S[l] *= 0.5;
  }
  return S;
}

CImg<double> referenceCross(const CImg<double>& F, int neta, int lo, const CImgList<double>& zrd,
                            const CImgList<double>& zru, const CImgList<double>& ztrd, const CImgList<double>& ztru) {
  const int nc = F.width(), nl = F.height();
  CImg<double> S(lo + 1, 1, 1, 1, 0.0);
  const int l0 = (int)(neta * 0.7071067811865475 + 1), lend = (int)(lo * 0.7071067811865475 + 1);
  for (int l = l0; l <= lend; ++l) {
    const int j = l - l0;
    double sum = 0;
    auto P = [&](int x, int y, int xn, int yn, bool plus) {
      const double du = F(x, y, 0) - F(xn, yn, 0), dv = F(x, y, 1) - F(xn, yn, 1);
      return plus ? (du * du + dv * dv) * 0.5 + du * dv : (du * du + dv * dv) * 0.5 - du * dv;
    };
    for (int y = 0; y < nl; ++y)
      for (int x = 0; x < nc; ++x) {
        if (!(l <= x && x < nc - l && l <= y && y < nl - l)) continue;
        sum += zrd[j](x, y) * P(x, y, x + l, y + l, true);
        sum += zrd[j](x - l, y - l) * P(x, y, x - l, y - l, true);
        sum += zru[j](x - l, y + l) * P(x, y, x - l, y + l, false);
        sum += zru[j](x, y) * P(x, y, x + l, y - l, false);
        sum += ztrd[j](x, y) * P(x, y, x + l, y + l, false);
        sum += ztrd[j](x - l, y - l) * P(x, y, x - l, y - l, false);
        sum += ztru[j](x - l, y + l) * P(x, y, x - l, y + l, true);
        sum += ztru[j](x, y) * P(x, y, x + l, y - l, true);
      }
    S[l] = sum / (double)(4 * (nc - 2 * l) * (nl - 2 * l));
    if (ztrd[j].sum() != 0) S[l] *= 0.5;
  }
  return S;
}

void expectSameBits(const CImg<double>& a, const CImg<double>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (unsigned i = 0; i < a.size(); ++i)
    EXPECT_TRUE(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))) << "entry " << i << ": " << a[i] << " " << b[i];
}

}  // namespace

TEST(StructureFunction2nd, LinearShearGivesTheDocumentedValues) {
  const CImg<double> F = field(8, 8, [](int x, int) { return (double)x; }, [](int, int) { return 0.0; });
  const CImg<double> S = StructureFunction2nd_horiVertDir(F, 1, 1, false);
  ASSERT_EQ(S.size(), 2u);
  EXPECT_EQ(S[0], 0.0);
  EXPECT_DOUBLE_EQ(S[1], 0.5);
  EXPECT_DOUBLE_EQ(StructureFunction2nd_horiVertDir(F, 1, 1, true)[1], 0.25);
  EXPECT_DOUBLE_EQ(StructureFunction2nd_crossDir(F, 1, 1, false)[1], 0.5);
  // One lag: the deviation averages the two constraints.
  const double beta = 0.1, power = 2.0 / 3;
  EXPECT_DOUBLE_EQ(ConstraintsAbsDevLong(F, beta, power, 1, 1),
                   (std::fabs(0.5 - beta) + std::fabs(0.5 - beta * std::pow(kS2, power))) / 2);
}

TEST(StructureFunction2nd, UniformStrainFollowsThePowerLaw) {
  // u = a x, v = a y: every longitudinal increment at distance r is a r, so S2 = a^2 r^2.
  const double a = 0.3;
  CImg<double> F(40, 36, 2);
  cimg_forXY(F, x, y) {
    F(x, y, 0) = a * x;
    F(x, y, 1) = a * y;
  }
  const int neta = 1, lo = 10;
  const CImg<double> hv = StructureFunction2nd_horiVertDir(F, neta, lo, false);
  const CImg<double> cr = StructureFunction2nd_crossDir(F, neta, lo, false);
  for (int l = neta; l <= lo; ++l) EXPECT_NEAR(hv[l], a * a * l * l, 1e-12) << l;
  for (int l = 1; l <= 8; ++l) EXPECT_NEAR(cr[l], a * a * 2 * l * l, 1e-12) << l;
  EXPECT_EQ(cr[9], 0.0);
  EXPECT_EQ(cr[10], 0.0);

  CImg<double> r(lo + 1, 1, 1, 1, 7.0);
  subGradients_K41_horiVertDir(r, F, a * a, 2.0, neta, lo, false);
  for (int l = neta; l <= lo; ++l) EXPECT_LT(std::fabs(r[l]), 1e-12);
  EXPECT_EQ(r[0], 0.0);
  EXPECT_LT(ConstraintsAbsDevLong(F, a * a, 2.0, neta, lo), 1e-12);
}

TEST(StructureFunction2nd, GeneralOperationMatchesAPlainReferenceBitForBit) {
  const int nc = 17, nl = 13, neta = 2, lo = 5;
  const CImg<double> F = randomField(nc, nl, 3);
  const int n = lo - neta + 1;
  const CImgList<double> a = randomList(n, nc, nl, 11), b = randomList(n, nc, nl, 12), c = randomList(n, nc, nl, 13),
                         d = randomList(n, nc, nl, 14);
  expectSameBits(StructureFunction2nd_horiVertDir(F, neta, lo, a, b, c, d), referenceHV(F, neta, lo, a, b, c, d));
  expectSameBits(StructureFunction2nd_crossDir(F, neta, lo, a, b, c, d), referenceCross(F, neta, lo, a, b, c, d));
}

TEST(StructureFunction2nd, ConstantWeightOverloadsEqualExplicitListsBitForBit) {
  const int nc = 15, nl = 19, neta = 1, lo = 6, n = lo - neta + 1;
  const CImgList<double> ones = constList(n, nc, nl, 1), zeros = constList(n, nc, nl, 0);
  // An infinite value: its weight-0 terms are not numbers, nor is the sum.
  CImg<double> infinite = randomField(nc, nl, 5);
  infinite(7, 9, 0) = std::numeric_limits<double>::infinity();
  for (const CImg<double>& F : {randomField(nc, nl, 5), infinite}) {
    expectSameBits(StructureFunction2nd_horiVertDir(F, neta, lo, false),
                   StructureFunction2nd_horiVertDir(F, neta, lo, ones, ones, zeros, zeros));
    expectSameBits(StructureFunction2nd_horiVertDir(F, neta, lo, true),
                   StructureFunction2nd_horiVertDir(F, neta, lo, ones, ones, ones, ones));
    expectSameBits(StructureFunction2ndTrans_horiVertDir(F, neta, lo),
                   StructureFunction2nd_horiVertDir(F, neta, lo, zeros, zeros, ones, ones));
    expectSameBits(StructureFunction2nd_crossDir(F, neta, lo, false),
                   StructureFunction2nd_crossDir(F, neta, lo, ones, ones, zeros, zeros));
    expectSameBits(StructureFunction2nd_crossDir(F, neta, lo, true),
                   StructureFunction2nd_crossDir(F, neta, lo, ones, ones, ones, ones));
    expectSameBits(StructureFunction2ndTrans_crossDir(F, neta, lo),
                   StructureFunction2nd_crossDir(F, neta, lo, zeros, zeros, ones, ones));
    expectSameBits(StructureFunction2ndLong_crossDir(F, neta, lo), StructureFunction2nd_crossDir(F, neta, lo, false));
  }
  EXPECT_TRUE(std::isnan(StructureFunction2nd_horiVertDir(infinite, neta, lo, false)[1]));
}

TEST(StructureFunction2nd, EdgeIntervalsAndMessages) {
  const CImg<double> F = randomField(9, 12, 1);
  EXPECT_EQ(StructureFunction2nd_horiVertDir(F, 1, 0, false).size(), 1u);
  EXPECT_EQ(StructureFunction2nd_horiVertDir(F, 1, 0, false)[0], 0.0);
  EXPECT_TRUE(StructureFunction2nd_horiVertDir(F, 0, -1, false).is_empty());
  EXPECT_EQ(StructureFunction2nd_crossDir(F, 1, 0, false)[0], 0.0);  // lend 1 would lie past the vector
  for (int lo : {5, 4}) {
    testing::internal::CaptureStdout();
    const CImg<double> S = StructureFunction2nd_horiVertDir(F, 1, lo, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), lo == 5 ? "Error : lo must respect lo <= nc/2 and lo <= nl/2\n" : "");
    EXPECT_GT(S[4], 0.0);
  }
}

TEST(StructureFunction2nd, LagsWithoutPairsGiveZeroAndNoResidual) {
  // 4 x 4, lags 1..3: lag 2 has a zero normaliser, lag 3 a negative one; diagonal index 2 has no centre.
  const CImg<double> F = randomField(4, 4, 9);
  testing::internal::CaptureStdout();
  const CImg<double> hv = StructureFunction2nd_horiVertDir(F, 1, 3, false);
  const CImg<double> cr = StructureFunction2nd_crossDir(F, 1, 3, false);
  CImg<double> rh(4, 1, 1, 1, 5.0), rc(4, 1, 1, 1, 5.0);
  subGradients_K41_horiVertDir(rh, F, 1.0, 1.0, 1, 3, false);
  subGradients_K41_crossDir(rc, F, 1.0, 1.0, 1, 3, false);
  const double dev = ConstraintsAbsDevLong(F, 1.0, 1.0, 1, 3);
  testing::internal::GetCapturedStdout();
  EXPECT_GT(hv[1], 0.0);
  EXPECT_GT(cr[1], 0.0);
  EXPECT_NE(rh[1], 0.0);
  for (double v : {hv[2], hv[3], cr[2], rh[2], rh[3], rc[2], rc[3]}) EXPECT_EQ(v, 0.0);
  EXPECT_DOUBLE_EQ(dev, (std::fabs(rh[1]) + std::fabs(rc[1])) / 6);  // 3 + 3 constraints

  // A 2 x 2 level with lag 1: nothing to average, no NaN.
  const CImg<double> tiny = randomField(2, 2, 4);
  testing::internal::CaptureStdout();
  const double d2 = ConstraintsAbsDevLong(tiny, 1.0, 2.0, 1, 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(d2, 0.0);
}

TEST(StructureFunction2nd, DiagonalResidualStartsAtItsOwnFirstIndex) {
  const CImg<double> F = randomField(30, 30, 2);
  CImg<double> r(8, 1, 1, 1, 5.0);
  subGradients_K41_crossDir(r, F, 0.5, 1.0, 4, 7, false);  // l0 = 3, lend = 5
  const CImg<double> S = StructureFunction2nd_crossDir(F, 4, 7, false);
  for (int l = 0; l < 8; ++l)
    EXPECT_DOUBLE_EQ(r[l], l < 3 ? 0.0 : l > 5 ? 5.0 : S[l] - std::pow(l * kS2, 1.0) * 0.5) << l;
}

TEST(StructureFunctionPth, OrderTwoReproducesTheSecondOrder) {
  const int neta = 1, lo = 5;
  const CImg<double> F = randomField(14, 16, 8);
  auto expectNear = [](const CImg<double>& a, const CImg<double>& b, int from, int to) {
    for (int l = from; l <= to; ++l) EXPECT_NEAR(a[l], b[l], 1e-12 * (1 + b[l])) << l;
  };
  for (bool trans : {false, true}) {
    expectNear(StructureFunctionPth_horiVertDir(F, neta, lo, trans, 2.0),
               StructureFunction2nd_horiVertDir(F, neta, lo, trans), 0, lo);
    expectNear(StructureFunctionPth_crossDir(F, neta, lo, trans, 2.0), StructureFunction2nd_crossDir(F, neta, lo, trans),
               0, lo);
  }
  // Absolute family, p = 2: every pair sum of a random field is above the threshold.
  expectNear(StructureFunctionPthLongAbs_horiVertDir(F, neta, lo, 2.0),
             StructureFunction2nd_horiVertDir(F, neta, lo, false), neta, lo);
  expectNear(StructureFunctionPthLongAbs_crossDir(F, neta, lo, 2.0), StructureFunction2nd_crossDir(F, neta, lo, false),
             1, 4);
  expectNear(StructureFunctionPthAbs_horiVertDir(F, neta, lo, true, 2.0),
             StructureFunction2nd_horiVertDir(F, neta, lo, true), neta, lo);
}

TEST(StructureFunctionPth, ThresholdsAndSigns) {
  const CImg<double> F = randomField(12, 12, 6);
  // p = 0 with unit weights: every sum equals its threshold, nothing is accepted, the value is 0.
  const CImg<double> z = StructureFunctionPthAbs_horiVertDir(F, 1, 3, true, 0.0);
  const CImg<double> zx = StructureFunctionPthAbs_crossDir(F, 1, 3, true, 0.0);
  EXPECT_EQ(z.max(), 0.0);
  EXPECT_EQ(zx.max(), 0.0);
  // Transverse-only absolute variant: the mean of the transverse terms, not half of it.
  const CImg<double> G = field(10, 10, [](int, int) { return 0.0; }, [](int x, int) { return 2.0 * x; });
  const CImg<double> t = StructureFunctionPthTransAbs_horiVertDir(G, 1, 1, 1.0);
  EXPECT_DOUBLE_EQ(t[1], 2.0);  // horizontal transverse pair sums of |2| + |2| over two terms
  const CImg<double> ts = StructureFunctionPthTrans_horiVertDir(G, 1, 1, 2.0);
  EXPECT_GT(ts[1], 0.0);

  // Odd p: pairs with both ends inside the centre range cancel; a linear field leaves only the
  // border pairs, all of one sign.
  const CImg<double> L = field(12, 12, [](int x, int) { return (double)x; }, [](int, int y) { return (double)y; });
  const CImg<double> odd = StructureFunctionPthLong_horiVertDir(L, 1, 1, 3.0);
  EXPECT_NEAR(odd[1], 0.0, 1e-12);
}

TEST(StructureFunction2nd, RefusesListsThatDoNotCoverTheLags) {
  const CImg<double> F = randomField(10, 10, 2);
  const CImgList<double> two = constList(2, 10, 10, 1), small = constList(3, 9, 10, 1);
  const ChildResult tooFew = runInChild([&] { StructureFunction2nd_horiVertDir(F, 1, 3, two, two, two, two); });
  EXPECT_TRUE(tooFew.exited);
  EXPECT_EQ(tooFew.exitCode, 1);
  EXPECT_NE(tooFew.err.find("StructureFunction2nd_horiVertDir: weight list needs 3 images"), std::string::npos)
      << tooFew.err;
  const ChildResult tooSmall = runInChild([&] { StructureFunction2nd_crossDir(F, 1, 3, small, small, small, small); });
  EXPECT_EQ(tooSmall.exitCode, 1);
  const ChildResult onePlane = runInChild([&] { StructureFunction2nd_horiVertDir(F.get_slice(0), 1, 2, false); });
  EXPECT_EQ(onePlane.exitCode, 1);
  EXPECT_NE(onePlane.err.find("two planes"), std::string::npos);
}
