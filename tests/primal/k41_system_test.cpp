// K41 primal system: right-hand side and Hessian against the energy, the primal step, and the guarded
// behaviour at the edges (count/assembly mismatch, lags beyond half the grid, misuse).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "k41_test_util.h"
#include "primal/primal.h"

using namespace cimg_library;
using namespace k41test;

namespace {

struct System {
  int nc, nl, neta, lo;
  CImg<double> Ix, Iy, It, data, lamHV, lamX, U, V;
  Lists Z;
};

System randomSystem(int nc, int nl, int neta, int lo, unsigned seed, bool randomWeights) {
  std::mt19937 g(seed);
  System S{nc, nl, neta, lo, randomImage(nc, nl, g), {}, {}, {}, {}, {}, {}, {}, {}};
  S.Iy = randomImage(nc, nl, g);
  S.It = randomImage(nc, nl, g);
  S.data = randomImage(nc, nl, g, 0.0, 1.0);
  S.lamHV = randomImage(lo + 1, 1, g, 0.5, 3.0);
  S.lamX = randomImage(lo + 1, 1, g, 0.5, 3.0);
  S.U = randomImage(nc, nl, g, -2, 2);
  S.V = randomImage(nc, nl, g, -2, 2);
  S.Z = randomWeights ? randomLists(lo - neta + 1, nc, nl, g) : longLists(lo - neta + 1, nc, nl);
  return S;
}

MV_Vector_double rhs(const System& S) {
  MV_Vector_double B(2 * S.nc * S.nl, 0.0);
  const Lists& Z = S.Z;
  fillingVector_B(B, S.It.get_mul(S.Ix), S.It.get_mul(S.Iy), S.U, S.V, S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1],
                  Z.z[2], Z.z[3], Z.z[4], Z.z[5], Z.z[6], Z.z[7], S.neta, S.lo, S.nc, S.nl);
  return B;
}

K41Csr hessian(const System& S) {
  K41Csr A;
  const Lists& Z = S.Z;
  testing::internal::CaptureStdout();
  fillingSparseHessian_A(A, S.Ix.get_mul(S.Ix), S.Ix.get_mul(S.Iy), S.Iy.get_mul(S.Iy), S.data, S.lamHV, S.lamX,
                         Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5], Z.z[6], Z.z[7], S.neta, S.lo, S.nc, S.nl, 0);
  testing::internal::GetCapturedStdout();
  return A;
}

CImg<double> field(const CImg<double>& u, const CImg<double>& v) { return u.get_append(v, 'z'); }

bool sameBits(const CImg<double>& p, const CImg<double>& q) {
  return std::memcmp(p.data(), q.data(), p.size() * sizeof(double)) == 0;
}

// One K41Long primal step of the system at the given weights and multipliers; returns the printout.
std::string step(const System& S, CImg<double>& UV, const CImg<double>& data, const CImg<double>& lamHV, int nombre,
                 bool* failed = nullptr) {
  testing::internal::CaptureStdout();
  const bool f = PrimalMinimizer_K41Long(UV, field(S.U, S.V), S.Ix, S.Iy, S.It, data, lamHV, S.lamX, 0.0f, S.neta,
                                         S.lo, nombre);
  if (failed) *failed = f;
  return testing::internal::GetCapturedStdout();
}

int count(const System& S, const CImg<double>& data, const CImg<double>& lamHV) {
  testing::internal::CaptureStdout();
  const int n = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, data, lamHV, S.lamX, 0.0f, S.neta, S.lo);
  testing::internal::GetCapturedStdout();
  return n;
}

bool hasNaN(const double* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (std::isnan(p[i])) return true;
  return false;
}

}  // namespace

// 0.5 w'Aw - B'w equals E(w) - E(0), with E written from the energy's definition.
TEST(K41System, QuadraticFormIsTheEnergy) {
  struct Case {
    int nc, nl, neta, lo;
    bool randomWeights;
  } cases[] = {{12, 11, 1, 3, true}, {14, 12, 2, 4, true}, {10, 10, 1, 1, false}, {16, 13, 4, 5, true},
               {9, 9, 1, 4, true}};
  for (const Case& c : cases) {
    const System S = randomSystem(c.nc, c.nl, c.neta, c.lo, 17 + c.lo, c.randomWeights);
    const MV_Vector_double B = rhs(S);
    const K41Csr A = hessian(S);
    std::mt19937 g(99);
    const CImg<double> du = randomImage(c.nc, c.nl, g), dv = randomImage(c.nc, c.nl, g), zero = du.get_fill(0.0);
    const int N = c.nc * c.nl;
    auto w = [&](int i) { return i < N ? du[i] : dv[i - N]; };
    double wAw = 0, Bw = 0;
    for (int r = 0; r < 2 * N; ++r) {
      double s = 0;
      for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e) s += A.val[e] * w(A.col_ind[e]);
      wAw += w(r) * s;
      Bw += B(r) * w(r);
    }
    const double E = energy(du, dv, S.U, S.V, S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, S.Z, c.neta, c.lo) -
                     energy(zero, zero, S.U, S.V, S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, S.Z, c.neta, c.lo);
    EXPECT_NEAR(0.5 * wAw - Bw, E, 1e-12 * std::fabs(E)) << c.nc << " x " << c.nl << " [" << c.neta << ", " << c.lo << "]";
  }
}

// A constant increment (a, b) built into the temporal derivative of a smooth image is recovered: the lag
// terms of a constant field vanish, and the data term is minimal there.
TEST(K41System, ConstantIncrementIsRecovered) {
  const double a = 0.3, b = -0.2;
  System S{24, 20, 1, 3, CImg<double>(24, 20), CImg<double>(24, 20), CImg<double>(24, 20), CImg<double>(24, 20, 1, 1, 1.0),
           CImg<double>(5, 1, 1, 1, 100.0), CImg<double>(5, 1, 1, 1, 100.0), CImg<double>(24, 20, 1, 1, 0.0),
           CImg<double>(24, 20, 1, 1, 0.0), {}};
  cimg_forXY(S.Ix, x, y) {
    // I = sin(1.1 x + 0.3 y) + cos(0.5 x - 1.3 y) + 0.5 sin(0.7 x) cos(0.9 y), differentiated exactly
    S.Ix(x, y) = 1.1 * std::cos(1.1 * x + 0.3 * y) - 0.5 * std::sin(0.5 * x - 1.3 * y) +
                 0.35 * std::cos(0.7 * x) * std::cos(0.9 * y);
    S.Iy(x, y) = 0.3 * std::cos(1.1 * x + 0.3 * y) + 1.3 * std::sin(0.5 * x - 1.3 * y) -
                 0.45 * std::sin(0.7 * x) * std::sin(0.9 * y);
    S.It(x, y) = -(a * S.Ix(x, y) + b * S.Iy(x, y));
  }
  for (auto [neta, lo] : {std::pair{1, 3}, {2, 4}}) {
    S.neta = neta;
    S.lo = lo;
    CImg<double> UV(24, 20, 2, 1, 9.0);
    bool failed = true;
    EXPECT_EQ(step(S, UV, S.data, S.lamHV, count(S, S.data, S.lamHV), &failed), "");
    ASSERT_FALSE(failed);
    cimg_forXY(S.Ix, x, y) {
      EXPECT_NEAR(UV(x, y, 0), a, 1e-4);
      EXPECT_NEAR(UV(x, y, 1), b, 1e-4);
    }
  }
}

// The variants are the general step with their constant lists, scale and smallest lag; a negative scale
// smooths nothing, like 0; the start value is not used.
TEST(K41System, VariantsAndScale) {
  const System S = randomSystem(12, 12, 1, 3, 3, false);
  const CImg<double> UVtil = field(S.U, S.V), ones(12, 12, 1, 1, 1.0);
  const Lists O = onesLists(3, 12, 12);
  auto general = [&](const Lists& W, float scale) {
    CImg<double> r(12, 12, 2, 1, 0.0);
    PrimalMinimizer(r, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, W.z[0], W.z[1], W.z[2], W.z[3], W.z[4], W.z[5],
                    W.z[6], W.z[7], scale, 1, 3, 0);
    return r;
  };
  testing::internal::CaptureStdout();
  CImg<double> v[6];
  for (auto& im : v) im.assign(12, 12, 2, 1, 3.0);
  PrimalMinimizer_K41Long(v[0], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, 3, 0);
  PrimalMinimizer_K41Long(v[1], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, -2.0f, 1, 3, 0);
  PrimalMinimizer_K41Long(v[2], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 1, 3, 0);
  PrimalMinimizer_K41LongTrans(v[3], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 1, 3, 0);
  PrimalMinimizer_Gen_BruhnAndAl(v[4], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.5f, 3, 0);
  PrimalMinimizer_Gen_Rob_BruhnAndAl(v[5], UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, O.z[0], O.z[1], O.z[2],
                                     O.z[3], O.z[4], O.z[5], O.z[6], O.z[7], 0.5f, 3, 0);
  EXPECT_TRUE(sameBits(v[0], general(S.Z, 0.0f)));
  EXPECT_TRUE(sameBits(v[1], v[0]));
  EXPECT_TRUE(sameBits(v[2], general(S.Z, 1.0f)));
  EXPECT_TRUE(sameBits(v[3], general(O, 1.0f)));
  EXPECT_TRUE(sameBits(v[4], general(O, 0.5f)));
  EXPECT_TRUE(sameBits(v[5], general(O, 0.5f)));
  EXPECT_FALSE(sameBits(v[2], v[0]));
  EXPECT_FALSE(sameBits(v[2], v[3]));
  testing::internal::GetCapturedStdout();
}

// A solve that fails leaves the increment exactly as it was.
TEST(K41System, FailedSolveKeepsTheIncrement) {
  System S = randomSystem(10, 10, 1, 2, 8, false);
  S.It(4, 4) = std::nan("");
  std::mt19937 g(1);
  CImg<double> UV = randomImage(10, 10, g).append(randomImage(10, 10, g), 'z');
  const CImg<double> before = UV;
  bool failed = false;
  const std::string out = step(S, UV, S.data, S.lamHV, 0, &failed);
  EXPECT_TRUE(failed);
  EXPECT_NE(out.find("no convergence (output CGS "), std::string::npos) << out;
  EXPECT_TRUE(sameBits(UV, before));
}

// Counted with a zero multiplier, assembled with a non-zero one: the arrays grow to what is written, the
// mismatch line is printed and the solve uses the entries written.
TEST(K41System, AssemblyWithMoreEntriesThanCountedStaysInsideItsArrays) {
  const System S = randomSystem(16, 16, 1, 4, 12, false);
  const CImg<double> ones(16, 16, 1, 1, 1.0);
  CImg<double> lamCount = S.lamHV;
  lamCount(2) = 0.0;
  const int counted = count(S, ones, lamCount), full = count(S, ones, S.lamHV);
  ASSERT_LT(counted, full);
  CImg<double> UV(16, 16, 2, 1, 0.0), ref = UV;
  EXPECT_EQ(step(S, UV, ones, S.lamHV, counted), "ERROR : number non zero elements not identical to prevision: " +
                                                     std::to_string(full) + "!=" + std::to_string(counted) + "\n");
  EXPECT_EQ(step(S, ref, ones, S.lamHV, full), "");
  EXPECT_TRUE(sameBits(UV, ref));
}

TEST(K41SystemDeathTest, CallerArraysTooSmallStopWithAMessage) {
  const System S = randomSystem(8, 8, 1, 2, 4, false);
  const int counted = count(S, S.data, S.lamHV);
  std::vector<double> val(counted);
  std::vector<int> col(counted), ptr(2 * 64 + 1);
  const Lists& Z = S.Z;
  auto fillRaw = [&](int room) {
    fillingSparseHessian_A(val.data(), col.data(), ptr.data(), S.Ix.get_mul(S.Ix), S.Ix.get_mul(S.Iy),
                           S.Iy.get_mul(S.Iy), S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5],
                           Z.z[6], Z.z[7], 1, 2, 8, 8, room);
  };
  EXPECT_EXIT(fillRaw(counted - 1), testing::ExitedWithCode(1), "fillingSparseHessian_A: the arrays hold");
  // With room enough, the caller's arrays receive exactly the counted entries.
  testing::internal::CaptureStdout();
  fillRaw(counted);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ptr[0], 0);
  EXPECT_EQ(ptr[128], counted);
}

TEST(K41SystemDeathTest, EmptyScaleIntervalIsRefused) {
  const System S = randomSystem(8, 8, 1, 2, 4, false);
  EXPECT_EXIT(NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, S.lamHV, S.lamX, 0.0f, 3, 2),
              testing::ExitedWithCode(1), "scale interval \\[3, 2\\] refused");
  CImg<double> UV(8, 8, 2, 1, 0.0);
  EXPECT_EXIT(PrimalMinimizer_K41Long(UV, UV, S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, 0.0f, 2, 1, 10),
              testing::ExitedWithCode(1), "PrimalMinimizer_K41Long: scale interval");
  // A grid whose 2 nc nl unknowns do not fit the solver's int indices.
  MV_Vector_double B(10, 0.0);
  const Lists& Z = S.Z;
  EXPECT_EXIT(fillingVector_B(B, S.It, S.It, S.U, S.V, S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                              Z.z[4], Z.z[5], Z.z[6], Z.z[7], 1, 2, 40000, 40000),
              testing::ExitedWithCode(1), "fillingVector_B: a grid of 40000 x 40000 gives a system too large");
  EXPECT_EXIT(NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, CImg<double>(2, 1, 1, 1, 1.0), S.lamX, 0.0f, 1,
                                                    2),
              testing::ExitedWithCode(1), "multiplier vectors");
}

// A 2 x 2 level with lo 1: both normalisers of lag 1 are 0, so the lag is left out; the system is the
// data term alone, with no NaN anywhere. A 12 x 3 level with lags [1, 2]: the diagonal normaliser of
// step 2 is negative, the step is left out.
TEST(K41System, TinyLevelLeavesOutLagsWithoutPairs) {
  const System S = randomSystem(2, 2, 1, 1, 6, false);
  testing::internal::CaptureStdout();
  const int n = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, S.lamHV, S.lamX, 0.0f, 1, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n");
  EXPECT_EQ(n, 16);
  CImg<double> UV(2, 2, 2, 1, 0.0);
  step(S, UV, S.data, S.lamHV, n);
  EXPECT_FALSE(hasNaN(UV.data(), UV.size()));
  for (const System& T : {S, randomSystem(12, 3, 1, 2, 6, true)}) {
    const K41Csr A = hessian(T);
    const MV_Vector_double B = rhs(T);
    EXPECT_TRUE(T.nc != 2 || A.nnz() == 16);
    EXPECT_FALSE(hasNaN(A.val.data(), A.nnz()));
    EXPECT_FALSE(hasNaN(B.data(), B.size()));
  }
}

// The scale-interval line comes once per primal step when lo exceeds half the grid, never at the limit.
TEST(K41System, PrimalStepReportsTheScaleIntervalOncePerCall) {
  for (int lo : {5, 6}) {
    const System S = randomSystem(12, 14, 1, lo, 30 + lo, false);
    const CImg<double> ones(12, 14, 1, 1, 1.0);
    CImg<double> UV(12, 14, 2, 1, 0.0);
    bool failed = true;
    EXPECT_EQ(step(S, UV, ones, S.lamHV, count(S, ones, S.lamHV), &failed),
              lo == 5 ? "" : "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n")
        << "lo " << lo;
    EXPECT_FALSE(failed);
  }
}
