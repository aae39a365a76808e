// Data energy, data precision and minus log evidence on small synthetic levels: formulas against
// independent evaluations, the result slots and their identities, and the reported failures.
#include <gtest/gtest.h>

#include <CImg.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "evidence/evidence.h"
#include "primal/k41.h"
#include "support/sparse_systems.h"

using namespace cimg_library;

namespace {

struct Level {
  int nc, nl, neta, lo;
  CImg<double> UV, im_x, im_y, im_t, data, lambda, lambda_cross;
  int nombre;
};

Level makeLevel(int nc, int nl, uint64_t seed) {
  TestRng rng(seed);
  Level L{nc, nl, 1, 2, CImg<double>(nc, nl, 2), CImg<double>(nc, nl), CImg<double>(nc, nl), CImg<double>(nc, nl),
          CImg<double>(nc, nl), CImg<double>(3, 1, 1, 1, 0.0), CImg<double>(4, 1, 1, 1, 0.0), 0};
  cimg_forXY(L.im_x, x, y) {
    L.im_x(x, y) = rng.uniform() * 2 - 1;
    L.im_y(x, y) = rng.uniform() * 2 - 1;
    L.im_t(x, y) = rng.uniform() * 2 - 1;
    L.data(x, y) = 0.2 + rng.uniform();
    L.UV(x, y, 0) = 0.3 * (rng.uniform() - 0.5);
    L.UV(x, y, 1) = 0.3 * (rng.uniform() - 0.5);
  }
  for (int l = 1; l <= 2; l++) L.lambda(l) = 1 + rng.uniform();
  for (int l = 1; l <= 3; l++) L.lambda_cross(l) = 1 + rng.uniform();
  L.nombre = NumberNonZeroElementInHessian_K41Long(L.im_x, L.im_y, L.data, L.lambda, L.lambda_cross, 0.0f, 1, 2);
  return L;
}

double energyOf(const Level& L, const CImg<double>& weights) {
  const CImg<double> xx = L.im_x.get_mul(L.im_x), yy = L.im_y.get_mul(L.im_y), xy = L.im_x.get_mul(L.im_y),
                     tx = L.im_t.get_mul(L.im_x), ty = L.im_t.get_mul(L.im_y), tt = L.im_t.get_mul(L.im_t);
  return DataEnergy(L.UV.get_slice(0), L.UV.get_slice(1), xx, yy, xy, tx, ty, tt, weights);
}

double betaOf(const Level& L, const CImg<double>& data, int nbIt, double s) {
  return evidence_betaLong(L.UV, L.im_x, L.im_y, L.im_t, data, L.lambda, L.lambda_cross, 0.0f, L.neta, L.lo, L.nombre,
                           nbIt, 0.01, s);
}

double minusLogEvidence(const Level& L, const CImg<double>& data, double beta, double s, CImg<double>& save) {
  return evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, data, beta, L.lambda, L.lambda_cross, 0, L.neta, L.lo,
                               L.nombre, s, save);
}

CImg<double> markedSave() {
  CImg<double> save(20);
  for (int i = 0; i < 20; i++) save[i] = 100 + i;
  return save;
}

class EvidenceTest : public ::testing::Test {
 protected:
  void SetUp() override { fixTraceEstimatorSeed(-2024); }
  void TearDown() override { releaseTraceEstimatorSeed(); }
};

}  // namespace

TEST(DataEnergy, IsHalfTheWeightedSquaredResidual) {
  const Level L = makeLevel(9, 7, 1);
  double expected = 0;
  cimg_forXY(L.im_x, x, y) {
    const double r = L.UV(x, y, 0) * L.im_x(x, y) + L.UV(x, y, 1) * L.im_y(x, y) + L.im_t(x, y);
    expected += 0.5 * L.data(x, y) * r * r;
  }
  EXPECT_NEAR(energyOf(L, L.data), expected, 1e-12 * expected);

  Level Z = L;
  Z.UV.fill(0.0);
  const CImg<double> tt = L.im_t.get_mul(L.im_t);
  EXPECT_DOUBLE_EQ(energyOf(Z, L.data), 0.5 * tt.get_mul(L.data).sum());

  // A zero weight removes the pixel; a negative one enters with its sign.
  CImg<double> w = L.data;
  w(3, 3) = 0;
  const double r33 = L.UV(3, 3, 0) * L.im_x(3, 3) + L.UV(3, 3, 1) * L.im_y(3, 3) + L.im_t(3, 3);
  EXPECT_NEAR(energyOf(L, w), expected - 0.5 * L.data(3, 3) * r33 * r33, 1e-12 * expected);
  w(3, 3) = -L.data(3, 3);
  EXPECT_NEAR(energyOf(L, w), expected - L.data(3, 3) * r33 * r33, 1e-12 * expected);
}

TEST_F(EvidenceTest, BetaIsActivePixelsMinusTraceOverTwiceTheEnergy) {
  const Level L = makeLevel(12, 10, 2);
  for (double s : {1.0, 2.5}) {
    const double beta = betaOf(L, L.data, 6, s);
    // Independently: the same Hessian, the same probes, the scaled energy, the active pixels.
    const CImg<double> xx = L.im_x.get_mul(L.im_x), yy = L.im_y.get_mul(L.im_y), xy = L.im_x.get_mul(L.im_y);
    const int n = L.lo - L.neta + 1;
    const CImgList<double> ones(n, L.nc, L.nl, 1, 1, 1.0), zeros(n, L.nc, L.nl, 1, 1, 0.0);
    K41Csr A;
    fillingSparseHessian_A(A, xx, xy, yy, L.data, L.lambda, L.lambda_cross, ones, ones, ones, ones, zeros, zeros,
                           zeros, zeros, L.neta, L.lo, L.nc, L.nl, L.nombre);
    const double trace = CGS_randomB_traceInvAA0(2 * L.nc * L.nl, A.nnz(), A.val.data(), A.row_ptr.data(),
                                                 A.col_ind.data(), xx, xy, yy, L.data, 6, 0.01);
    const double E = energyOf(L, L.data * s);
    EXPECT_EQ(beta, (L.nc * L.nl - trace) / (2 * E)) << "s " << s;
    EXPECT_GT(trace, 0);
    EXPECT_LT(trace, L.nc * L.nl);
  }
}

TEST_F(EvidenceTest, NegativeBetaIsReportedAndReturned) {
  Level L = makeLevel(12, 10, 3);
  // Residual 0 where the weight is positive, large where a few weights are negative: E < 0.
  CImg<double> data = L.data;
  cimg_forXY(data, x, y) {
    const bool negative = (x + 2 * y) % 9 == 0;
    if (negative) data(x, y) = -data(x, y);
    const double flow = L.UV(x, y, 0) * L.im_x(x, y) + L.UV(x, y, 1) * L.im_y(x, y);
    L.im_t(x, y) = negative ? 3.0 - flow : -flow;
  }
  int active = 0;
  cimg_forXY(data, x, y) active += data(x, y) > 0;
  testing::internal::CaptureStdout();
  const double beta = betaOf(L, data, 4, 1.0);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_LT(beta, 0);
  const double E = energyOf(L, data);
  EXPECT_EQ(out.rfind("Error : negative data misfit (=" + std::to_string(active) + "- ", 0), 0u) << out;
  std::ostringstream tail;
  tail << " / " << 2 * E << " < 0)\n";
  EXPECT_NE(out.find(tail.str()), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST_F(EvidenceTest, ZeroEnergyOrNoProbeGivesNaN) {
  Level L = makeLevel(10, 10, 4);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(std::isnan(betaOf(L, L.data, 0, 1.0)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error : number of random probes 0 below 1 (in trace randomization)\n");
  L.UV.fill(0.0);
  L.im_t.fill(0.0);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(std::isnan(betaOf(L, L.data, 3, 1.0)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error : data energy 0 (in data precision): beta undefined\n");
}

TEST_F(EvidenceTest, BetaWrappersForwardTheirLists) {
  const Level L = makeLevel(12, 10, 5);
  const int n = L.lo - L.neta + 1;
  const CImgList<double> ones(n, L.nc, L.nl, 1, 1, 1.0), zeros(n, L.nc, L.nl, 1, 1, 0.0);
  auto general = [&](const CImgList<double>& t, float scale) {
    fixTraceEstimatorSeed(-5);
    return evidence_beta_Gen_Rob_BruhnAndAl(L.UV, L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, ones, ones,
                                            ones, ones, t, t, t, t, scale, L.neta, L.lo, 100000, 3, 0.01, 1.0);
  };
  testing::internal::CaptureStdout();  // the count differs from 100000: mismatch lines
  const double longBlur = general(zeros, 1.0f), transBlur = general(ones, 1.0f);
  fixTraceEstimatorSeed(-5);
  EXPECT_EQ(evidence_betaLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, L.neta, L.lo, 100000, 3,
                              0.01, 1.0),
            longBlur);
  fixTraceEstimatorSeed(-5);
  EXPECT_EQ(evidence_betaLongTrans(L.UV, L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, L.neta, L.lo,
                                   100000, 3, 0.01, 1.0),
            transBlur);
  fixTraceEstimatorSeed(-5);
  EXPECT_EQ(evidence_beta_Gen_BruhnAndAl(L.UV, L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 1.0f, L.neta,
                                         L.lo, 100000, 3, 0.01, 1.0),
            transBlur);
  testing::internal::GetCapturedStdout();
}

TEST_F(EvidenceTest, MinusLogEvidenceFillsSlotsTwoToSevenOnly) {
  const Level L = makeLevel(12, 10, 6);
  const double beta = betaOf(L, L.data, 5, 1.0);
  ASSERT_GT(beta, 0);
  CImg<double> save = markedSave();
  testing::internal::CaptureStdout();
  const double value = minusLogEvidence(L, L.data, beta, 1.0, save);
  const std::string out = testing::internal::GetCapturedStdout();
  for (int i : {0, 1, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}) EXPECT_EQ(save[i], 100 + i);
  for (int i = 2; i <= 7; i++) EXPECT_TRUE(std::isfinite(save[i])) << i;
  EXPECT_EQ(save[2], value);
  EXPECT_NEAR(save[2], save[3] + save[4], 1e-12 * std::fabs(save[2]) + 1e-12);
  EXPECT_NEAR(save[4], save[5] + save[6] + save[7], 1e-12 * std::fabs(save[4]) + 1e-12);

  // The parts, evaluated independently.
  const double E = energyOf(L, L.data);
  EXPECT_EQ(save[3], beta * E);
  const int N = L.nc * L.nl;
  double sumLogT = 0;
  cimg_forXY(L.data, x, y) sumLogT += std::log(L.data(x, y));
  EXPECT_NEAR(save[6], 0.5 * (N * (std::log(2 * M_PI) - std::log(beta)) - sumLogT), 1e-11 * N);
  EXPECT_NEAR(save[7], -0.5 * std::log(beta / E), 1e-12);
  const double post = logdetA_K41Long(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 0.0f, L.neta, L.lo,
                                      L.nombre);
  const double prior = logdetA_K41Long(L.im_x, L.im_y, L.im_t, CImg<double>(L.nc, L.nl, 1, 1, 0.0), L.lambda,
                                       L.lambda_cross, 0.0f, L.neta, L.lo, L.nombre);
  EXPECT_EQ(save[5], 0.5 * (post - prior));

  std::ostringstream lines;
  lines << "-log evidence = data energy + -log occam = " << save[3] << " + " << save[4] << " = " << save[2] << "\n"
        << "(-log occam= 0.5logDetRatio: " << save[5] << ", -0.5 sum logBeta+logZs-log2pi: " << save[6]
        << ", -0.5logBeta/F_d: " << save[7] << " )\n";
  EXPECT_EQ(out, lines.str());

  // Unit weights and s = 1: the sum of ln t vanishes.
  CImg<double> unit(L.nc, L.nl, 1, 1, 1.0);
  testing::internal::CaptureStdout();
  minusLogEvidence(L, unit, beta, 1.0, save);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(save[6], 0.5 * (N * (1.8378770664093453 - std::log(beta))));
}

TEST_F(EvidenceTest, ScaledWeightsEnterTheEnergyCountAndThresholdOnly) {
  Level L = makeLevel(12, 10, 7);
  L.data(2, 2) = 0;  // inactive pixel
  L.data(5, 5) = 2e30;  // so large that the threshold replaces it by 1
  const double s = 0.5, beta = 3.0;
  CImg<double> save = markedSave();
  testing::internal::CaptureStdout();
  minusLogEvidence(L, L.data, beta, s, save);
  testing::internal::GetCapturedStdout();
  const int N = L.nc * L.nl - 1;
  double sumLogT = 0;
  cimg_forXY(L.data, x, y) {
    const double t = s * L.data(x, y);
    if (t > 0 && t < 1e30) sumLogT += std::log(t);
  }
  EXPECT_NEAR(save[6], 0.5 * (N * (1.8378770664093453 - std::log(beta)) - sumLogT), 1e-10 * N);
  EXPECT_EQ(save[3], beta * energyOf(L, L.data * s));
}

TEST_F(EvidenceTest, UndefinedLogarithmsGiveNaNInTheirSlotsOnly) {
  const Level L = makeLevel(12, 10, 8);
  for (double beta : {-2.0, 0.0}) {
    CImg<double> save = markedSave();
    testing::internal::CaptureStdout();
    minusLogEvidence(L, L.data, beta, 1.0, save);
    const std::string out = testing::internal::GetCapturedStdout();
    for (int i : {2, 4, 6, 7}) EXPECT_TRUE(std::isnan(save[i])) << "beta " << beta << " slot " << i;
    EXPECT_EQ(save[3], beta * energyOf(L, L.data));
    EXPECT_TRUE(std::isfinite(save[5]));
    EXPECT_EQ(out.rfind("Error : data precision ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);  // the message and the two lines
  }
  Level Z = L;  // zero data energy
  Z.UV.fill(0.0);
  Z.im_t.fill(0.0);
  CImg<double> save = markedSave();
  testing::internal::CaptureStdout();
  minusLogEvidence(Z, Z.data, 2.0, 1.0, save);
  testing::internal::GetCapturedStdout();
  for (int i : {2, 4, 7}) EXPECT_TRUE(std::isnan(save[i])) << i;
  for (int i : {3, 5, 6}) EXPECT_TRUE(std::isfinite(save[i])) << i;
}

TEST_F(EvidenceTest, PowerLawWrappersAgree) {
  const Level L = makeLevel(12, 10, 9);
  CImg<double> save = markedSave();
  testing::internal::CaptureStdout();
  const double withBlur = evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross,
                                                L.neta, L.lo, L.nombre, 1.0, save);
  EXPECT_EQ(evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross, L.neta, L.lo,
                                  L.nombre, 1.0),
            withBlur);
  EXPECT_EQ(evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross, 1.0f, L.neta,
                                  L.lo, L.nombre, 1.0),
            withBlur);
  const double none = minusLogEvidence(L, L.data, 2.0, 1.0, save);
  EXPECT_EQ(evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross, 0.0f, L.neta,
                                  L.lo, L.nombre, 1.0),
            none);
  const double trans = evidence_powerLawLongTrans(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross,
                                                  L.neta, L.lo, 100000, 1.0, save);
  EXPECT_EQ(evidence_powerLawLongTrans(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross, L.neta,
                                       L.lo, 100000, 1.0),
            trans);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(trans, withBlur);
}

TEST_F(EvidenceTest, AssembliesHoldMoreEntriesThanCounted) {
  // Counted with zero multipliers, assembled with non-zero ones: far more entries than the count, and
  // more than the log-determinant's fifth of margin.
  Level L = makeLevel(12, 10, 10);
  const CImg<double> lambda0(L.lambda.width(), 1, 1, 1, 0.0), cross0(L.lambda_cross.width(), 1, 1, 1, 0.0);
  const int small = NumberNonZeroElementInHessian_K41Long(L.im_x, L.im_y, L.data, lambda0, cross0, 0.0f, 1, 2);
  ASSERT_EQ(small, 4 * L.nc * L.nl);
  ASSERT_GT(L.nombre, logdetCapacity(small));
  Level S = L;
  S.nombre = small;
  testing::internal::CaptureStdout();
  const double beta = betaOf(S, S.data, 3, 1.0);
  std::string out = testing::internal::GetCapturedStdout();
  fixTraceEstimatorSeed(-2024);
  testing::internal::CaptureStdout();
  const double exact = betaOf(L, L.data, 3, 1.0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(beta, exact);
  EXPECT_NE(out.find("ERROR : number non zero elements not identical to prevision: " + std::to_string(L.nombre) +
                     "!=" + std::to_string(small)),
            std::string::npos)
      << out;
  CImg<double> save = markedSave(), saveExact = markedSave();
  testing::internal::CaptureStdout();
  minusLogEvidence(S, S.data, exact, 1.0, save);
  out = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  minusLogEvidence(L, L.data, exact, 1.0, saveExact);
  testing::internal::GetCapturedStdout();
  for (int i = 2; i <= 7; i++) EXPECT_EQ(save[i], saveExact[i]) << i;
  EXPECT_NE(out.find("ERROR : number non zero elements in Hessian matrix with Dirichlet conditions !!! " +
                     std::to_string(L.nombre) + "\n"),
            std::string::npos)
      << out;
}
