// Randomised trace estimates: with the seed fixed by the test hook, one factor for all probes gives exactly
// a fresh solve per probe; the estimates converge to dense traces; refused inputs and dropped probes.
#include <limits>

#include "evidence/random.h"
#include "evidence_testing.h"

using namespace cimg_library;

namespace {

struct DataBlocks {
  CImg<double> IxIx, IxIy, IyIy, d;
};

DataBlocks randomBlocks(int nc, int nl, uint64_t seed) {
  TestRng rng(seed);
  DataBlocks b{CImg<double>(nc, nl), CImg<double>(nc, nl), CImg<double>(nc, nl), CImg<double>(nc, nl)};
  cimg_foroff(b.d, k) {
    const double gx = rng.uniform() * 2 - 1, gy = rng.uniform() * 2 - 1;
    b.IxIx[k] = gx * gx;
    b.IxIy[k] = gx * gy;
    b.IyIy[k] = gy * gy;
    b.d[k] = 0.5 + rng.uniform();
  }
  return b;
}

// The estimate of tr(A^-1 A0) as a plain loop of fresh solves (a new matrix copy and factor per probe),
// leaving out, and reporting, samples that are not finite numbers.
double referenceTraceInvAA0(CsrSystem& S, const DataBlocks& b, int nbIt, double tol, long seed) {
  const int N = (int)b.d.size();
  CImg<double> X(b.d.width(), b.d.height(), 2, 1);
  MV_Vector_double B(S.n, 0.0);
  double trace = 0;
  int used = 0;
  for (int ii = 0; ii < nbIt; ii++) {
    for (int k = 0; k < N; k++) {
      B(k) = gasdev(&seed);
      B(N + k) = gasdev(&seed);
    }
    const int err = standard_CGS_inversion(S.n, S.nnz(), S.val.data(), S.row_ptr.data(), S.col_ind.data(), B, X, tol);
    if (err != 0) std::cout << "Error CGS convergence " << err << " (in trace randomization)" << std::endl;
    double s = 0;
    for (int k = 0; k < N; k++) s += X[k] * ((b.IxIy[k] * B(N + k) + b.IxIx[k] * B(k)) * b.d[k]);
    for (int k = 0; k < N; k++) s += X[N + k] * ((b.IyIy[k] * B(N + k) + b.IxIy[k] * B(k)) * b.d[k]);
    if (std::isfinite(s)) {
      trace = trace + s;
      used++;
    } else {
      std::cout << "Error : probe " << ii << " gives a sample that is not a finite number (" << s
                << "), left out of the mean (in trace randomization)" << std::endl;
    }
  }
  return used == 0 ? std::nan("") : trace / used;
}

CsrSystem identity(int n) {
  CsrSystem S{n, std::vector<double>(n, 1.0), {}, {}};
  for (int r = 0; r <= n; r++) S.row_ptr.push_back(r);
  S.col_ind.assign(S.row_ptr.begin(), S.row_ptr.end() - 1);
  return S;
}

DataBlocks unitBlocks(int nc, int nl) {  // A0 = I
  const CImg<double> one(nc, nl, 1, 1, 1.0);
  return {one, CImg<double>(nc, nl, 1, 1, 0.0), one, one};
}

double traceAA0(CsrSystem& S, const DataBlocks& b, int nbIt, double tol) {
  return CGS_randomB_traceInvAA0(S.n, S.nnz(), S.val.data(), S.row_ptr.data(), S.col_ind.data(), b.IxIx, b.IxIy, b.IyIy,
                                 b.d, nbIt, tol);
}

double* fourTraces(CsrSystem& S, const DataBlocks& b, const CImgList<double>& reg, const CImg<double>& x2, int nbIt,
                   double tol, bool periodic) {
  return CGS_randomB_traceInvAA0Fx(S.n, S.nnz(), S.val.data(), S.row_ptr.data(), S.col_ind.data(), b.IxIx, b.IxIy,
                                   b.IyIy, b.d, reg, x2, nbIt, tol, periodic);
}

}  // namespace

TEST_F(EvidenceTest, OneFactorForAllProbesEqualsAFreshFactorPerProbe) {
  // The last two rows: a non-symmetric system and a tolerance no residual meets, so every solve fails and
  // its probe enters the mean with its last iterate and both messages; the identity with a largest-value
  // product at pixel 0, whose sample overflows exactly when the probe's first entry exceeds 1 in magnitude
  // (the tiny weight keeps the others finite): those probes are dropped, the rest averaged.
  DataBlocks overflow = unitBlocks(3, 2);
  overflow.IxIx[0] = std::numeric_limits<double>::max();
  overflow.d[0] = std::ldexp(1.0, -900);
  struct Row {
    CsrSystem S;
    DataBlocks b;
    double tol;
    int nbIt;
  } rows[] = {{makeSpdGridSystem(6, 5, 2, 17), randomBlocks(6, 5, 3), 1e-2, 7},
              {makeSpdGridSystem(6, 5, 2, 17), randomBlocks(6, 5, 3), 1e-8, 7},
              {makeGridSystem(6, 5, 1, 1.0001, 9, true), randomBlocks(6, 5, 3), -1.0, 3},
              {identity(12), overflow, 0.01, 8}};
  std::string out[4];
  double fast[4];
  for (int r = 0; r < 4; r++) {
    double plain = 0;
    fixTraceEstimatorSeed(-77);
    out[r] = printed([&] { fast[r] = traceAA0(rows[r].S, rows[r].b, rows[r].nbIt, rows[r].tol); });
    const std::string refOut =
        printed([&] { plain = referenceTraceInvAA0(rows[r].S, rows[r].b, rows[r].nbIt, rows[r].tol, -77); });
    EXPECT_EQ(fast[r], plain) << r;
    EXPECT_EQ(out[r], refOut) << r;
    EXPECT_TRUE(std::isfinite(fast[r]) && fast[r] != 0.0) << r;
  }
  EXPECT_EQ(out[2].rfind("no convergence (output CGS ", 0), 0u) << out[2];
  EXPECT_NE(out[2].find(")Error CGS convergence "), std::string::npos) << out[2];
  EXPECT_TRUE(lineCount(out[3]) > 0 && lineCount(out[3]) < 8) << out[3];  // some probes dropped, not all
  // No sample a number: none left, NaN.
  rows[3].b.IxIx[1] = std::nan("");
  EXPECT_NE(printed([&] { EXPECT_TRUE(std::isnan(traceAA0(rows[3].S, rows[3].b, 2, 0.01))); }).find("probe 1 "),
            std::string::npos);
  // The other estimators draw the same probes: tr(A^-1) of the identity is the A0 = I estimate; the four
  // traces hold tr(A^-1 A0) in entry 1 and, for F = 2, exactly twice and four times it in entries 2 and 3.
  CsrSystem& I = rows[3].S;
  EXPECT_EQ(CGS_randomB_traceInvA(I.n, I.nnz(), 3, 2, I.val.data(), I.row_ptr.data(), I.col_ind.data(), 5, 0.01),
            referenceTraceInvAA0(I, unitBlocks(3, 2), 5, 0.01, -77));
  double* four = fourTraces(rows[0].S, rows[0].b, CImgList<double>(2, 6, 5, 1, 1, 1.0), CImg<double>(6, 5, 1, 1, 2.0),
                            7, 1e-2, false);
  EXPECT_DOUBLE_EQ(four[1], fast[0]);
  EXPECT_EQ(four[2], 2 * four[1]);
  EXPECT_EQ(four[3], 4 * four[1]);
  delete[] four;
}

TEST_F(EvidenceTest, ConvergesToTheDenseTraceWithinFiveStandardErrors) {
  const int nc = 4, nl = 3, N = nc * nl, nbIt = 3000;
  CsrSystem S = makeSpdGridSystem(nc, nl, 1, 5);
  const DataBlocks b = randomBlocks(nc, nl, 8);
  CImg<double> A(S.n, S.n, 1, 1, 0.0), A0(S.n, S.n, 1, 1, 0.0);  // (column, row)
  for (int r = 0; r < S.n; r++)
    for (int k = S.row_ptr[r]; k < S.row_ptr[r + 1]; k++) A(S.col_ind[k], r) += S.val[k];
  for (int k = 0; k < N; k++) {
    A0(k, k) = b.d[k] * b.IxIx[k];
    A0(N + k, k) = A0(k, N + k) = b.d[k] * b.IxIy[k];
    A0(N + k, N + k) = b.d[k] * b.IyIy[k];
  }
  const CImg<double> Ainv = A.get_invert();
  auto expectWithinFiveErrors = [&](double estimate, const CImg<double>& M) {
    const double se = std::sqrt(2 * ((M + M.get_transpose()) * 0.5).sqr().sum() / nbIt);  // Var b'Mb = 2|sym M|^2
    EXPECT_GT(se, 0);
    EXPECT_NEAR(estimate, M.trace(), 5 * se);
  };
  fixTraceEstimatorSeed(-123);
  expectWithinFiveErrors(traceAA0(S, b, nbIt, 1e-12), Ainv * A0);
  expectWithinFiveErrors(
      CGS_randomB_traceInvA(S.n, S.nnz(), nc, nl, S.val.data(), S.row_ptr.data(), S.col_ind.data(), nbIt, 1e-12), Ainv);
}

TEST_F(EvidenceTest, UnusableInputsGiveNaNWithOneMessage) {
  const int nc = 4, nl = 3;
  CsrSystem S = identity(2 * nc * nl);
  const CImg<double> one(nc, nl, 1, 1, 1.0), small(nc, nl - 1, 1, 1, 1.0);
  const CImgList<double> reg(2, nc, nl, 1, 1, 1.0), regSmall(2, nc, nl - 1, 1, 1, 1.0), regShort(1, nc, nl, 1, 1, 1.0);
  const std::string cover = "Error : an image of 4 x 2 does not cover the 4 x 3 grid (in trace randomization)\n";
  const struct Case {
    int nbIt, smallImage;  // 0..2: IxIy, IyIy, data_out; 3: x2 (read by the four traces only)
    const CImgList<double>& reg;
    std::string out;
  } cases[] = {{0, -1, reg, "Error : number of random probes 0 below 1 (in trace randomization)\n"},
               {-2, -1, reg, "Error : number of random probes -2 below 1 (in trace randomization)\n"},
               {2, 0, reg, cover},
               {2, 1, reg, cover},
               {2, 2, reg, cover},
               {2, 3, reg, cover},
               {2, -1, regSmall, cover},
               {2, -1, regShort, "Error : 1 regulariser weight images, 2 needed (in trace randomization)\n"}};
  for (const Case& c : cases) {
    const DataBlocks b{one, c.smallImage == 0 ? small : one, c.smallImage == 1 ? small : one,
                       c.smallImage == 2 ? small : one};
    if (c.smallImage != 3 && &c.reg == &reg) {
      EXPECT_EQ(printed([&] { EXPECT_TRUE(std::isnan(traceAA0(S, b, c.nbIt, 0.01))); }), c.out);
    }
    double* four = nullptr;
    EXPECT_EQ(printed([&] { four = fourTraces(S, b, c.reg, c.smallImage == 3 ? small : one, c.nbIt, 0.01, false); }),
              c.out);
    for (int e = 0; e < 4; e++) EXPECT_TRUE(std::isnan(four[e])) << e;
    delete[] four;
  }
}
