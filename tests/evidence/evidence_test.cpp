// Log-determinant, data energy, data precision and minus log evidence on small synthetic levels: closed
// forms and dense references, the result slots and their identities, sized assemblies, reported failures.
#include <climits>
#include <sstream>

#include "evidence_testing.h"

using namespace cimg_library;

namespace {

struct Level {
  int nc, nl, lo;
  CImg<double> UV, im_x, im_y, im_t, data, lambda, lambda_cross;
  int nombre;  // entries of the Hessian of the unblurred products

  Level(int nc_, int nl_, uint64_t seed, int lo_ = 2) : nc(nc_), nl(nl_), lo(lo_), UV(nc, nl, 2) {
    for (CImg<double>* im : {&im_x, &im_y, &im_t, &data}) im->assign(nc, nl);
    lambda.assign(lo + 1);
    lambda_cross.assign(lo + 2);
    TestRng rng(seed);
    cimg_forXY(im_x, x, y) {
      for (CImg<double>* im : {&im_x, &im_y, &im_t}) (*im)(x, y) = rng.uniform() * 2 - 1;
      data(x, y) = 0.2 + rng.uniform();
      for (int c = 0; c < 2; c++) UV(x, y, c) = 0.3 * (rng.uniform() - 0.5);
    }
    for (CImg<double>* l : {&lambda, &lambda_cross})
      for (size_t k = 0; k < l->size(); k++) (*l)[k] = 1 + rng.uniform();
    nombre = countWith(data, lambda, lambda_cross, 0.0f);
  }
  int countWith(const CImg<double>& d, const CImg<double>& la, const CImg<double>& lc, float scale) const {
    return NumberNonZeroElementInHessian_K41Long(im_x, im_y, d, la, lc, scale, 1, lo);
  }
};

double logdet(const Level& L, const CImg<double>& data, float scale, int nombre) {
  return logdetA_K41Long(L.im_x, L.im_y, L.im_t, data, L.lambda, L.lambda_cross, scale, 1, L.lo, nombre);
}

double energyOf(const Level& L, const CImg<double>& weights) {
  const CImg<double>&x = L.im_x, &y = L.im_y, &t = L.im_t;
  return DataEnergy(L.UV.get_slice(0), L.UV.get_slice(1), x.get_sqr(), y.get_sqr(), x.get_mul(y), t.get_mul(x),
                    t.get_mul(y), t.get_sqr(), weights);
}

double betaOf(const Level& L, const CImg<double>& data, int nbIt, double s) {
  return evidence_betaLong(L.UV, L.im_x, L.im_y, L.im_t, data, L.lambda, L.lambda_cross, 0.0f, 1, L.lo, L.nombre, nbIt,
                           0.01, s);
}

// Minus log evidence into a result vector whose slot i holds 100 + i beforehand.
CImg<double> minusLogEvidence(const Level& L, const CImg<double>& data, double beta, double s) {
  CImg<double> save(20);
  cimg_foroff(save, i) save[i] = 100 + i;
  evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, data, beta, L.lambda, L.lambda_cross, 0, 1, L.lo, L.nombre, s,
                        save);
  return save;
}

}  // namespace

TEST(Logdet, CapacityIsTheTruncatedFifthMoreCappedAtTheLargestInt) {
  const int in[] = {10, 7, 0, -5, 1000, INT_MAX, 1789569706, 1789569705};  // 1.2 x 1789569706 > INT_MAX
  const int out[] = {12, 8, 0, 0, 1200, INT_MAX, INT_MAX, 2147483646};
  for (int i = 0; i < 8; i++) EXPECT_EQ(logdetCapacity(in[i]), out[i]) << in[i];
}

TEST(Logdet, BlockDiagonalCaseHasItsClosedForm) {
  // No multiplier: each interior pixel is the 2 x 2 block d [XX XY; XY YY] of the blurred products, each
  // ring row an identity row.
  Level L(10, 9, 2);
  L.lambda.fill(0.0);
  L.lambda_cross.fill(0.0);
  const int nombre = L.countWith(L.data, L.lambda, L.lambda_cross, 1.0f);
  EXPECT_EQ(nombre, 4 * L.nc * L.nl);
  auto blurred = [](CImg<double> im) { return im.deriche(1.0f, 0, 'x', 1).deriche(1.0f, 0, 'y', 1); };
  const CImg<double> XX = blurred(L.im_x.get_sqr()), YY = blurred(L.im_y.get_sqr()),
                     XY = blurred(L.im_x.get_mul(L.im_y));
  double expected = 0;
  for (int y = 1; y < L.nl - 1; y++)
    for (int x = 1; x < L.nc - 1; x++)
      expected += std::log(std::fabs(L.data(x, y) * L.data(x, y) * (XX(x, y) * YY(x, y) - XY(x, y) * XY(x, y))));
  EXPECT_NEAR(logdet(L, L.data, 1.0f, nombre), expected, 1e-9 * std::fabs(expected));
}

TEST(Logdet, WithoutFillIlu0EqualsTheDenseLu) {
  // Prior alone, horizontal/vertical lags only: the interior u block couples along lines, the v block
  // along columns, u and v only through stored zeros, so ILU(0) creates no fill.
  Level L(7, 6, 3, 1);
  L.lambda_cross.fill(0.0);
  const CImg<double> none(L.nc, L.nl, 1, 1, 0.0);
  const int nombre = L.countWith(none, L.lambda, L.lambda_cross, 0.0f);
  const CImgList<double> ones(1, L.nc, L.nl, 1, 1, 1.0), zeros(1, L.nc, L.nl, 1, 1, 0.0);
  K41Csr H;
  ASSERT_TRUE(fillDirichletHessian(H, L.im_x.get_sqr(), L.im_x.get_mul(L.im_y), L.im_y.get_sqr(), none, L.lambda,
                                   L.lambda_cross, ones, ones, ones, ones, zeros, zeros, zeros, zeros, 1, 1, nombre));
  const int n = (int)H.row_ptr.size() - 1;
  CImg<double> dense(n, n, 1, 1, 0.0);  // (column, row)
  for (int r = 0; r < n; r++)
    for (int k = H.row_ptr[r]; k < H.row_ptr[r + 1]; k++) dense(H.col_ind[k], r) = H.val[k];
  const double expected = std::log(std::fabs(dense.det()));  // LU with partial pivoting
  EXPECT_NEAR(logdet(L, none, 0, nombre), expected, 1e-12 * std::fabs(expected));
}

TEST(Logdet, ZeroPivotGivesNaNWithOneMessage) {
  // Unblurred products make every data block singular; without multipliers nothing else is left.
  Level L(6, 6, 7, 1);
  L.lambda.fill(0.0);
  L.lambda_cross.fill(0.0);
  const std::string out = printed([&] { EXPECT_TRUE(std::isnan(logdet(L, L.data, 0, L.nombre))); });
  EXPECT_EQ(out.rfind("Error : zero or non-finite pivot in the incomplete-LU log-determinant (", 0), 0u) << out;
  EXPECT_EQ(lineCount(out), 1);
}

TEST(DataEnergy, IsHalfTheWeightedSquaredResidual) {
  const Level L(9, 7, 1);
  CImg<double> w = L.data;
  w(3, 3) = 0;  // a zero weight removes the pixel, a negative one enters with its sign
  w(4, 4) = -w(4, 4);
  double expected = 0;
  cimg_forXY(w, x, y) expected +=
      0.5 * w(x, y) * std::pow(L.UV(x, y, 0) * L.im_x(x, y) + L.UV(x, y, 1) * L.im_y(x, y) + L.im_t(x, y), 2);
  EXPECT_NEAR(energyOf(L, w), expected, 1e-12 * std::fabs(expected));
}

TEST_F(EvidenceTest, BetaIsActivePixelsMinusTraceOverTwiceTheEnergy) {
  const Level L(12, 10, 2);
  const CImg<double> xx = L.im_x.get_sqr(), yy = L.im_y.get_sqr(), xy = L.im_x.get_mul(L.im_y);
  const CImgList<double> ones(2, L.nc, L.nl, 1, 1, 1.0), zeros(2, L.nc, L.nl, 1, 1, 0.0);
  K41Csr A;
  fillingSparseHessian_A(A, xx, xy, yy, L.data, L.lambda, L.lambda_cross, ones, ones, ones, ones, zeros, zeros, zeros,
                         zeros, 1, L.lo, L.nc, L.nl, L.nombre);
  const double trace = CGS_randomB_traceInvAA0(2 * L.nc * L.nl, A.nnz(), A.val.data(), A.row_ptr.data(),
                                               A.col_ind.data(), xx, xy, yy, L.data, 6, 0.01);  // the same probes
  for (double s : {1.0, 2.5})
    EXPECT_EQ(betaOf(L, L.data, 6, s), (L.nc * L.nl - trace) / (2 * energyOf(L, L.data * s))) << "s " << s;
}

TEST_F(EvidenceTest, NegativeBetaIsReportedAndUnusableInputsGiveNaN) {
  Level L(12, 10, 3);
  // Residual 0 where the weight is positive, large where a few weights are negative: E < 0.
  CImg<double> data = L.data;
  int active = 0;
  cimg_forXY(data, x, y) {
    const bool negative = (x + 2 * y) % 9 == 0;
    data(x, y) *= negative ? -1 : 1;
    active += !negative;
    L.im_t(x, y) = (negative ? 3.0 : 0.0) - (L.UV(x, y, 0) * L.im_x(x, y) + L.UV(x, y, 1) * L.im_y(x, y));
  }
  double beta = 0;
  std::ostringstream tail;
  tail << " / " << 2 * energyOf(L, data) << " < 0)\n";
  std::string out = printed([&] { beta = betaOf(L, data, 4, 1.0); });
  EXPECT_LT(beta, 0);
  EXPECT_EQ(out.rfind("Error : negative data misfit (=" + std::to_string(active) + "- ", 0), 0u) << out;
  EXPECT_TRUE(out.find(tail.str()) != std::string::npos && lineCount(out) == 1) << out;
  out = printed([&] { EXPECT_TRUE(std::isnan(betaOf(L, L.data, 0, 1.0))); });
  EXPECT_EQ(out, "Error : number of random probes 0 below 1 (in trace randomization)\n");
  L.UV.fill(0.0);  // data energy 0
  L.im_t.fill(0.0);
  out = printed([&] { EXPECT_TRUE(std::isnan(betaOf(L, L.data, 3, 1.0))); });
  EXPECT_EQ(out, "Error : data energy 0 (in data precision): beta undefined\n");
}

TEST_F(EvidenceTest, MinusLogEvidenceFillsSlotsTwoToSevenOnly) {
  const Level L(12, 10, 6);
  const double beta = betaOf(L, L.data, 5, 1.0), E = energyOf(L, L.data);
  ASSERT_GT(beta, 0);
  CImg<double> save;
  const std::string out = printed([&] { save = minusLogEvidence(L, L.data, beta, 1.0); });
  for (int i : {0, 1, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}) EXPECT_EQ(save[i], 100 + i);
  for (int i = 2; i <= 7; i++) EXPECT_TRUE(std::isfinite(save[i])) << i;
  EXPECT_NEAR(save[2], save[3] + save[4], 1e-12 * std::fabs(save[2]) + 1e-12);
  EXPECT_NEAR(save[4], save[5] + save[6] + save[7], 1e-12 * std::fabs(save[4]) + 1e-12);
  // The parts, evaluated independently, and the two printed lines.
  EXPECT_EQ(save[3], beta * E);
  EXPECT_EQ(save[5],
            0.5 * (logdet(L, L.data, 0, L.nombre) - logdet(L, CImg<double>(L.nc, L.nl, 1, 1, 0.0), 0, L.nombre)));
  EXPECT_NEAR(save[6], 0.5 * (L.nc * L.nl * (std::log(2 * M_PI) - std::log(beta)) - L.data.get_log().sum()), 1e-9);
  EXPECT_NEAR(save[7], -0.5 * std::log(beta / E), 1e-12);
  std::ostringstream lines;
  lines << "-log evidence = data energy + -log occam = " << save[3] << " + " << save[4] << " = " << save[2] << "\n"
        << "(-log occam= 0.5logDetRatio: " << save[5] << ", -0.5 sum logBeta+logZs-log2pi: " << save[6]
        << ", -0.5logBeta/F_d: " << save[7] << " )\n";
  EXPECT_EQ(out, lines.str());
}

TEST_F(EvidenceTest, UndefinedLogarithmsGiveNaNInTheirSlotsOnly) {
  Level L(12, 10, 8);
  for (double beta : {-2.0, 0.0}) {
    CImg<double> save;
    const std::string out = printed([&] { save = minusLogEvidence(L, L.data, beta, 1.0); });
    for (int i : {2, 4, 6, 7}) EXPECT_TRUE(std::isnan(save[i])) << "beta " << beta << " slot " << i;
    EXPECT_TRUE(save[3] == beta * energyOf(L, L.data) && std::isfinite(save[5]));
    EXPECT_EQ(out.rfind("Error : data precision ", 0), 0u) << out;
    EXPECT_EQ(lineCount(out), 3);  // the message and the two lines
  }
  L.UV.fill(0.0);  // data energy 0
  L.im_t.fill(0.0);
  CImg<double> save;
  printed([&] { save = minusLogEvidence(L, L.data, 2.0, 1.0); });
  for (int i = 2; i <= 7; i++) EXPECT_EQ(std::isnan(save[i]), i == 2 || i == 4 || i == 7) << i;
}

TEST_F(EvidenceTest, AssembliesAreSizedByWhatTheyWrite) {
  // Counted with zero multipliers, assembled with non-zero ones: far more entries than the count and
  // than the log-determinant's fifth of margin. Everything is stored, the overflow only reported.
  const Level L(12, 10, 10);
  Level S = L;
  S.nombre = L.countWith(L.data, CImg<double>(L.lo + 1, 1, 1, 1, 0.0), CImg<double>(L.lo + 2, 1, 1, 1, 0.0), 0.0f);
  ASSERT_GT(L.nombre, logdetCapacity(S.nombre));
  double exact = 0;
  EXPECT_EQ(printed([&] { exact = logdet(L, L.data, 0, L.nombre); }), "");
  for (int small : {0, 7, S.nombre}) {
    EXPECT_EQ(printed([&] { EXPECT_EQ(logdet(L, L.data, 0, small), exact); }),
              "ERROR : number non zero elements in Hessian matrix with Dirichlet conditions !!! " +
                  std::to_string(L.nombre) + "\n");
  }
  double beta = 0;
  const std::string out = printed([&] { beta = betaOf(S, S.data, 3, 1.0); });
  EXPECT_NE(out.find("ERROR : number non zero elements not identical to prevision: " + std::to_string(L.nombre) +
                     "!=" + std::to_string(S.nombre)),
            std::string::npos)
      << out;
  printed([&] {
    EXPECT_EQ(beta, betaOf(L, L.data, 3, 1.0));
    EXPECT_EQ(minusLogEvidence(S, S.data, beta, 1.0), minusLogEvidence(L, L.data, beta, 1.0));
  });
}

// The data precision and minus log evidence on the level's kept system equal those built afresh, value
// and lines: with the multipliers of its last solve (its pattern and factor taken), with another zero
// pattern (a multiplier of 0: the ring-fixed Hessian no longer fits the kept pattern), on a grid that is
// all ring, with lags beyond half the grid, and on a system of other derivatives (its vertical one
// negated: only IxIy differs), which is not taken.
TEST_F(EvidenceTest, KeptLevelSystemGivesTheValuesBuiltAfresh) {
  struct Row {
    int nc, nl, lo;
    bool zeroLag, otherIxIy;
  } rows[] = {{12, 10, 2, false, false}, {12, 10, 3, true, false}, {3, 4, 2, false, false}, {9, 7, 4, false, false},
              {12, 10, 2, false, true}};
  for (const Row& r : rows) {
    const std::string what = std::to_string(r.nc) + "x" + std::to_string(r.nl) + " lo " + std::to_string(r.lo);
    Level L(r.nc, r.nl, 7 + r.nc, r.lo);
    K41LevelSystem level(L.UV, L.im_x, r.otherIxIy ? -L.im_y : L.im_y, L.im_t, 0.0f, 1, L.lo, L.nombre);
    CImg<double> step(L.nc, L.nl, 2, 1, 0.0);
    printed([&] { level.primalStep(step, L.data, L.lambda, L.lambda_cross); });
    if (r.zeroLag) L.lambda[2] = 0.0;
    // The ring-fixed factor, every entry of it (couplings into the ring included), against the one-shot
    // factor of the Hessian that the coefficient images give.
    const CImg<double> XX = L.im_x.get_sqr(), XY = L.im_x.get_mul(L.im_y), YY = L.im_y.get_sqr();
    int entries = 0;
    const CompRow_ILUPreconditioner_double* M =
        level.ringFixedFactor(XX, XY, YY, L.data, L.lambda, L.lambda_cross, 1, L.lo, entries);
    EXPECT_EQ(M != nullptr, !r.zeroLag && !r.otherIxIy) << what;
    const ConstantLagWeights on(L.lo, L.nc, L.nl, 1.0), off(L.lo, L.nc, L.nl, 0.0);
    K41Csr H;
    fillDirichletHessian(H, XX, XY, YY, L.data, L.lambda, L.lambda_cross, on.list, on.list, on.list, on.list, off.list,
                         off.list, off.list, off.list, 1, L.lo, L.nombre);
    const CompRow_ILUPreconditioner_double F(2 * L.nc * L.nl, H.nnz(), H.val.data(), H.row_ptr.data(), H.col_ind.data());
    if (M) {
      EXPECT_EQ(entries, H.nnz()) << what;
      for (auto part : {&CompRow_ILUPreconditioner_double::l_values, &CompRow_ILUPreconditioner_double::u_values})
        EXPECT_TRUE(std::memcmp((M->*part)().data(), (F.*part)().data(), (F.*part)().size() * sizeof(double)) == 0)
            << what;
    }
    for (K41LevelSystem* kept : {(K41LevelSystem*)nullptr, &level, &level}) {
      double beta[2];
      CImg<double> save[2];
      std::string out[2];
      for (int k = 0; k < 2; k++) {
        releaseTraceEstimatorSeed();
        fixTraceEstimatorSeed(-2024);
        save[k].assign(20, 1, 1, 1, 0.0);
        out[k] = printed([&] {
          beta[k] = evidence_betaLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 0.0f, 1, L.lo,
                                      L.nombre, 3, 0.01, 1.0, k ? kept : nullptr);
          evidence_powerLawLong(L.UV, L.im_x, L.im_y, L.im_t, L.data, 2.0, L.lambda, L.lambda_cross, 0, 1, L.lo,
                                L.nombre, 1.0, save[k], k ? kept : nullptr);
        });
      }
      EXPECT_EQ(out[0], out[1]) << what;
      EXPECT_TRUE(std::memcmp(&beta[0], &beta[1], sizeof(double)) == 0) << what;
      EXPECT_TRUE(std::memcmp(save[0].data(), save[1].data(), 20 * sizeof(double)) == 0) << what;
    }
  }
}
