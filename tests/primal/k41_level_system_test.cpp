// The kept K41 system of a level against the one-shot functions: every primal step, remembered or
// solved, gives PrimalMinimizer_K41Long's result and printout bit for bit, and the A and B it hands
// out are those of fillingSparseHessian_A and fillingVector_B, through changes of the zero pattern,
// solver failures and lags beyond half the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include "k41_test_util.h"
#include "primal/primal.h"
#include "support/expect.h"

using namespace cimg_library;
using namespace k41test;

namespace {

bool sameBits(const double* a, const double* b, size_t n) { return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0; }

struct LevelInputs {
  int nc, nl, neta, lo;
  CImg<double> Ix, Iy, It, UVtil;
  LevelInputs(int nc_, int nl_, int neta_, int lo_, unsigned seed) : nc(nc_), nl(nl_), neta(neta_), lo(lo_) {
    std::mt19937 g(seed);
    Ix = randomImage(nc, nl, g);
    Iy = randomImage(nc, nl, g);
    It = randomImage(nc, nl, g);
    UVtil = randomImage(nc, nl, g, -1, 1).get_append(randomImage(nc, nl, g, -1, 1), 'z');
  }
};

// One step request: data weights and multipliers.
struct Request {
  CImg<double> data, lamHV, lamX;
};

// The one-shot step and the kept system's step on the same request: same result, same increment
// (when written), same printout.
void expectSameStep(const LevelInputs& in, K41LevelSystem& kept, const Request& q, int nombre, const std::string& what) {
  CImg<double> UV1(in.nc, in.nl, 2, 1, 7.0), UV2(in.nc, in.nl, 2, 1, 7.0);
  bool f1 = false, f2 = false;
  const std::string out1 = captureStdout([&] {
    f1 = PrimalMinimizer_K41Long(UV1, in.UVtil, in.Ix, in.Iy, in.It, q.data, q.lamHV, q.lamX, 0.0f, in.neta, in.lo,
                                 nombre);
  });
  const std::string out2 = captureStdout([&] { f2 = kept.primalStep(UV2, q.data, q.lamHV, q.lamX); });
  EXPECT_EQ(f1, f2) << what;
  EXPECT_EQ(out1, out2) << what;
  EXPECT_TRUE(sameBits(UV1.data(), UV2.data(), UV1.size())) << what;
}

int countFor(const LevelInputs& in, const Request& q) {
  int n = 0;
  captureStdout([&] { n = NumberNonZeroElementInHessian_K41Long(in.Ix, in.Iy, q.data, q.lamHV, q.lamX, 0.0f, in.neta, in.lo); });
  return n;
}

Request randomRequest(const LevelInputs& in, std::mt19937& g) {
  return {randomImage(in.nc, in.nl, g, 0.0, 1.0), randomImage(in.lo + 1, 1, g, 0.5, 3.0),
          randomImage(in.lo + 1, 1, g, 0.5, 3.0)};
}

}  // namespace

TEST(K41LevelSystem, StepsEqualTheOneShotStepSolvedOrRemembered) {
  const LevelInputs in(14, 12, 1, 3, 21);
  std::mt19937 g(5);
  const Request a = randomRequest(in, g), b = randomRequest(in, g);
  const int nombre = countFor(in, a);
  K41LevelSystem kept(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, in.neta, in.lo, nombre);
  // a, b, a again, b again (both remembered), a third one (solved), then b (remembered: the last two).
  const Request c = randomRequest(in, g);
  const Request seq[] = {a, b, a, b, c, b};
  int i = 0;
  for (const Request& q : seq) expectSameStep(in, kept, q, nombre, "step " + std::to_string(i++));
  const K41LevelWork& w = kept.work();
  EXPECT_EQ(w.steps, 6);
  EXPECT_EQ(w.reusedSteps, 3);
  EXPECT_EQ(w.solves, 3);
  EXPECT_EQ(w.structures, 1);
  EXPECT_EQ(w.assemblies, 1);
  EXPECT_EQ(w.valueAssemblies, 2);
  EXPECT_GT(w.cgsIterations, 3);

  // One bit of a weight or a multiplier makes another system.
  Request d = a;
  d.data(3, 4) = std::nextafter(d.data(3, 4), 2.0);
  expectSameStep(in, kept, d, nombre, "weight one ulp off");
  Request e = a;
  e.lamX(1) = std::nextafter(e.lamX(1), 0.0);
  expectSameStep(in, kept, e, nombre, "multiplier one ulp off");
  Request f = e;
  f.lamX(1) *= 2;  // only the diagonal multipliers differ from the last solve
  expectSameStep(in, kept, f, nombre, "diagonal multiplier doubled");
  EXPECT_EQ(kept.work().reusedSteps, 3);
  EXPECT_EQ(kept.work().solves, 6);
}

TEST(K41LevelSystem, ZeroPatternChangesSolverFailuresAndWideLags) {
  const LevelInputs in(9, 9, 1, 4, 8);  // lo 4 > 9/2 - 1: the lag-limit line at every step
  std::mt19937 g(9);
  const Request a = randomRequest(in, g);
  const int nombre = countFor(in, a);
  K41LevelSystem kept(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, in.neta, in.lo, nombre);
  expectSameStep(in, kept, a, nombre, "first");
  // A zero multiplier removes its lag's couplings: another pattern, and the count mismatch line.
  Request z = a;
  z.lamHV(2) = 0.0;
  expectSameStep(in, kept, z, nombre, "zero multiplier");
  expectSameStep(in, kept, a, nombre, "back to the first pattern (remembered)");
  Request a2 = randomRequest(in, g);
  expectSameStep(in, kept, a2, nombre, "back to the first pattern (solved)");
  EXPECT_EQ(kept.work().structures, 3);
  EXPECT_EQ(kept.work().assemblies, 3);
  // A weight that is not a number: the solve breaks down, the increment is left; remembered alike.
  Request n = randomRequest(in, g);
  n.data(5, 5) = std::numeric_limits<double>::quiet_NaN();
  expectSameStep(in, kept, n, nombre, "breakdown");
  expectSameStep(in, kept, n, nombre, "breakdown remembered");
  EXPECT_EQ(kept.work().reusedSteps, 2);
  const std::string out = captureStdout([&] {
    CImg<double> UV(in.nc, in.nl, 2, 1, 0.0);
    EXPECT_TRUE(kept.primalStep(UV, n.data, n.lamHV, n.lamX));
  });
  EXPECT_NE(out.find("Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("no convergence (output CGS "), std::string::npos) << out;
}

TEST(K41LevelSystem, SystemIsTheAssemblyOfTheSameInputsAndIsHeldForThem) {
  const LevelInputs in(10, 9, 1, 2, 3);
  std::mt19937 g(2);
  const Request a = randomRequest(in, g), b = randomRequest(in, g);
  // Zero data weights where IxIy is negative (same-pixel u-v couplings of -0), and a multiplier that is
  // not finite: the constant weights of the kept system give the image lists' coefficients all the same.
  Request c = randomRequest(in, g), d = randomRequest(in, g);
  cimg_forXY(c.data, x, y) if (in.Ix(x, y) * in.Iy(x, y) < 0) c.data(x, y) = 0.0;
  d.lamX(1) = std::numeric_limits<double>::infinity();
  K41LevelSystem kept(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, in.neta, in.lo, 1);  // nombre 1: mismatch lines
  const Lists Z = longLists(in.lo - in.neta + 1, in.nc, in.nl);
  auto expectAssembly = [&](K41LevelSystem& sys, const Lists& W, const Request* q) {
    K41Csr A;
    MV_Vector_double B(2 * in.nc * in.nl, 0.0);
    const std::string out1 = captureStdout([&] {
      fillingVector_B(B, in.It.get_mul(in.Ix), in.It.get_mul(in.Iy), in.UVtil.get_slice(0), in.UVtil.get_slice(1),
                      q->data, q->lamHV, q->lamX, W.z[0], W.z[1], W.z[2], W.z[3], W.z[4], W.z[5], W.z[6], W.z[7],
                      in.neta, in.lo, in.nc, in.nl);
      fillingSparseHessian_A(A, in.Ix.get_mul(in.Ix), in.Ix.get_mul(in.Iy), in.Iy.get_mul(in.Iy), q->data, q->lamHV,
                             q->lamX, W.z[0], W.z[1], W.z[2], W.z[3], W.z[4], W.z[5], W.z[6], W.z[7], in.neta, in.lo,
                             in.nc, in.nl, 1);
    });
    const std::string out2 = captureStdout([&] {
      const K41LevelSystem::System s = sys.system(q->data, q->lamHV, q->lamX);
      ASSERT_EQ(s.A.nnz(), A.nnz());
      EXPECT_TRUE(s.A.row_ptr == A.row_ptr);
      EXPECT_TRUE(std::equal(A.col_ind.begin(), A.col_ind.begin() + A.nnz(), s.A.col_ind.begin()));
      EXPECT_TRUE(sameBits(A.val.data(), s.A.val.data(), A.nnz()));
      EXPECT_TRUE(sameBits(B.data(), s.B.data(), B.size()));
    });
    EXPECT_EQ(out1, out2);
    EXPECT_NE(out2.find("ERROR : number non zero elements not identical to prevision: "), std::string::npos);
  };
  for (const Request* q : std::initializer_list<const Request*>{&a, &a, &b, &a, &c, &d}) expectAssembly(kept, Z, q);
  EXPECT_EQ(kept.work().heldSystems, 1);
  EXPECT_EQ(kept.work().assemblies + kept.work().valueAssemblies, 5);

  // Constant weights 0 with data weights of -0: every same-pixel coefficient starts at -0 and the lags
  // add +0 to it, as they add to the image lists' coefficients.
  Request e = a;
  e.data.fill(-0.0);
  K41LevelSystem none("PrimalMinimizer", in.UVtil, in.Ix, in.Iy, in.It, k41ConstantWeights(0.0, 0.0), 0.0f, in.neta,
                      in.lo, 1);
  Lists Z0;
  for (auto& z : Z0.z) z = constantList(in.lo - in.neta + 1, in.nc, in.nl, 0.0);
  expectAssembly(none, Z0, &e);
  // Lag 1 weights at columns 3 and 5 of line 4, lag 2 weights at columns 3 and 4: with one lag or the
  // other, the rows hold as many entries but in other columns.
  Lists S = Z0;
  S.z[0][0](3, 4) = S.z[0][0](5, 4) = S.z[0][1](3, 4) = S.z[0][1](4, 4) = 1.0;
  K41LevelSystem lists("PrimalMinimizer", in.UVtil, in.Ix, in.Iy, in.It,
                       k41ListWeights(S.z[0], S.z[1], S.z[2], S.z[3], S.z[4], S.z[5], S.z[6], S.z[7]), 0.0f, in.neta,
                       in.lo, 1);
  Request lag1 = a, lag2 = a;
  lag1.lamHV(2) = lag2.lamHV(1) = 0.0;
  expectAssembly(lists, S, &lag1);
  expectAssembly(lists, S, &lag2);
  EXPECT_EQ(lists.work().assemblies, 2);
}

TEST(K41LevelSystem, StepWritesItsLinesOnTheStreamItIsGiven) {
  const LevelInputs in(9, 9, 1, 4, 8);  // lo 4 > 9/2 - 1: the lag-limit line
  std::mt19937 g(3);
  Request q = randomRequest(in, g);
  q.data(2, 2) = std::numeric_limits<double>::quiet_NaN();  // the solve breaks down: the solver's note
  // nombre 1: the mismatch line.
  K41LevelSystem a(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, in.neta, in.lo, 1), b(in.UVtil, in.Ix, in.Iy, in.It, 0.0f,
                                                                              in.neta, in.lo, 1);
  CImg<double> UV(in.nc, in.nl, 2, 1, 0.0);
  const std::string onStdout = captureStdout([&] { a.primalStep(UV, q.data, q.lamHV, q.lamX); });
  std::ostringstream given;
  EXPECT_EQ(captureStdout([&] {
              b.primalStep(UV, q.data, q.lamHV, q.lamX, given);  // solved
              b.primalStep(UV, q.data, q.lamHV, q.lamX, given);  // remembered
            }),
            "");
  EXPECT_EQ(given.str(), onStdout + onStdout);
  for (const char* line : {"Error : lo must respect", "ERROR : number non zero elements", "no convergence (output CGS "})
    EXPECT_NE(onStdout.find(line), std::string::npos) << line;
}

TEST(K41LevelSystem, RefusesWhatThePrimalStepRefuses) {
  const LevelInputs in(8, 8, 1, 2, 1);
  expectRefusal(runInChild([&] { K41LevelSystem k(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, 3, 2, 10); }),
                {"PrimalMinimizer_K41Long", "scale interval"});
  expectRefusal(runInChild([&] {
                  K41LevelSystem k(in.UVtil.get_slice(0), in.Ix, in.Iy, in.It, 0.0f, 1, 2, 10);
                }),
                {"PrimalMinimizer_K41Long", "UVtil"});
  expectRefusal(runInChild([&] {
                  K41LevelSystem k(in.UVtil, in.Ix, in.Iy, in.It, 0.0f, 1, 2, 10);
                  CImg<double> UV(7, 8, 2, 1, 0.0);
                  k.primalStep(UV, CImg<double>(8, 8, 1, 1, 1.0), CImg<double>(3, 1, 1, 1, 1.0),
                               CImg<double>(3, 1, 1, 1, 1.0));
                }),
                {"PrimalMinimizer_K41Long", "increment image"});
  const CImgList<double> ones(2, 8, 8, 1, 1, 1.0);
  K41LagWeights mixed = k41ConstantWeights(1.0, 0.0);
  mixed.list[0] = &ones;
  expectRefusal(runInChild([&] {
                  K41LevelSystem k("PrimalMinimizer", in.UVtil, in.Ix, in.Iy, in.It, mixed, 0.0f, 1, 2, 10);
                }),
                {"PrimalMinimizer", "lag weights that mix image lists and constants"});
}
