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
  System S{nc, nl, neta, lo, {}, {}, {}, {}, {}, {}, {}, {}, {}};
  S.Ix = randomImage(nc, nl, g);
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

CImg<double> field(const CImg<double>& u, const CImg<double>& v) {
  CImg<double> f(u.width(), u.height(), 2);
  cimg_forXY(u, x, y) {
    f(x, y, 0) = u(x, y);
    f(x, y, 1) = v(x, y);
  }
  return f;
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
    const CImg<double> du = randomImage(c.nc, c.nl, g), dv = randomImage(c.nc, c.nl, g);
    const int N = c.nc * c.nl;
    std::vector<double> w(2 * N);
    for (int p = 0; p < N; ++p) {
      w[p] = du[p];
      w[N + p] = dv[p];
    }
    double wAw = 0, Bw = 0;
    for (int r = 0; r < 2 * N; ++r) {
      double s = 0;
      for (int e = A.row_ptr[r]; e < A.row_ptr[r + 1]; ++e) s += A.val[e] * w[A.col_ind[e]];
      wAw += w[r] * s;
      Bw += B(r) * w[r];
    }
    const CImg<double> zero(c.nc, c.nl, 1, 1, 0.0);
    const double E1 = energy(du, dv, S.U, S.V, S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, S.Z, c.neta, c.lo);
    const double E0 = energy(zero, zero, S.U, S.V, S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, S.Z, c.neta, c.lo);
    const double lhs = 0.5 * wAw - Bw, rhsE = E1 - E0;
    EXPECT_NEAR(lhs, rhsE, 1e-12 * std::fabs(rhsE)) << c.nc << " x " << c.nl << " [" << c.neta << ", " << c.lo << "]";
  }
}

TEST(K41System, RightHandSideEdgeCases) {
  System S = randomSystem(11, 10, 1, 3, 5, true);
  const int N = 110;
  // zero multipliers, or a constant total field: only the data term
  System Z0 = S;
  Z0.lamHV.fill(0.0);
  Z0.lamX.fill(0.0);
  System C = S;
  C.U.fill(0.7);
  C.V.fill(-1.3);
  for (const System* T : {&Z0, &C}) {
    const MV_Vector_double B = rhs(*T);
    const double tol = T == &Z0 ? 0.0 : 1e-12;  // the lag terms of a constant field cancel up to rounding
    for (int p = 0; p < N; ++p) {
      EXPECT_NEAR(B(p), -S.It[p] * S.Ix[p] * S.data[p], tol);
      EXPECT_NEAR(B(N + p), -S.It[p] * S.Iy[p] * S.data[p], tol);
    }
  }
  // only the first 2N entries change
  MV_Vector_double B(2 * N + 3, 5.0);
  fillingVector_B(B, S.It.get_mul(S.Ix), S.It.get_mul(S.Iy), S.U, S.V, S.data, S.lamHV, S.lamX, S.Z.z[0], S.Z.z[1],
                  S.Z.z[2], S.Z.z[3], S.Z.z[4], S.Z.z[5], S.Z.z[6], S.Z.z[7], 1, 3, 11, 10);
  EXPECT_EQ(B(2 * N), 5.0);
  EXPECT_EQ(B(2 * N + 2), 5.0);
}

// A constant increment (a, b) built into the temporal derivative of a smooth image is recovered: the lag
// terms of a constant field vanish, and the data term is minimal there.
TEST(K41System, ConstantIncrementIsRecovered) {
  const int nc = 24, nl = 20;
  const double a = 0.3, b = -0.2;
  CImg<double> Ix(nc, nl), Iy(nc, nl), It(nc, nl);
  cimg_forXY(Ix, x, y) {
    // I = sin(1.1 x + 0.3 y) + cos(0.5 x - 1.3 y) + 0.5 sin(0.7 x) cos(0.9 y), differentiated exactly
    Ix(x, y) = 1.1 * std::cos(1.1 * x + 0.3 * y) - 0.5 * std::sin(0.5 * x - 1.3 * y) +
               0.35 * std::cos(0.7 * x) * std::cos(0.9 * y);
    Iy(x, y) = 0.3 * std::cos(1.1 * x + 0.3 * y) + 1.3 * std::sin(0.5 * x - 1.3 * y) -
               0.45 * std::sin(0.7 * x) * std::sin(0.9 * y);
    It(x, y) = -(a * Ix(x, y) + b * Iy(x, y));
  }
  const CImg<double> data(nc, nl, 1, 1, 1.0), lamHV(5, 1, 1, 1, 100.0), lamX(5, 1, 1, 1, 100.0);
  const CImg<double> UVtil(nc, nl, 2, 1, 0.0);
  for (auto [neta, lo] : {std::pair{1, 3}, {2, 4}}) {
    const int nombre = NumberNonZeroElementInHessian_K41Long(Ix, Iy, data, lamHV, lamX, 0.0f, neta, lo);
    CImg<double> UV(nc, nl, 2, 1, 9.0);
    testing::internal::CaptureStdout();
    const bool failed = PrimalMinimizer_K41Long(UV, UVtil, Ix, Iy, It, data, lamHV, lamX, 0.0f, neta, lo, nombre);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_FALSE(failed);
    cimg_forXY(Ix, x, y) {
      EXPECT_NEAR(UV(x, y, 0), a, 1e-4);
      EXPECT_NEAR(UV(x, y, 1), b, 1e-4);
    }
  }
}

TEST(K41System, VariantsAndScale) {
  const System S = randomSystem(12, 12, 1, 3, 3, false);
  const CImg<double> UVtil = field(S.U, S.V);
  const CImg<double> ones(12, 12, 1, 1, 1.0);
  const Lists& Z = S.Z;
  CImg<double> a(12, 12, 2, 1, 0.0), b = a, c = a, d = a;
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(a, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, 3, 0);
  PrimalMinimizer_K41Long(b, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, -2.0f, 1, 3, 0);  // no smoothing
  PrimalMinimizer(c, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5],
                  Z.z[6], Z.z[7], 0.0f, 1, 3, 0);
  PrimalMinimizer_K41Long(d, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 1.5f, 1, 3, 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(a.data(), c.data(), a.size() * sizeof(double)), 0);
  EXPECT_NE(std::memcmp(a.data(), d.data(), a.size() * sizeof(double)), 0);
  // the variants are the general step with their constant lists, scale and smallest lag
  Lists ones3;
  for (auto& z : ones3.z) z = constantList(3, 12, 12, 1.0);
  const Lists& O = ones3;
  auto general = [&](const Lists& W, float scale) {
    CImg<double> r(12, 12, 2, 1, 0.0);
    PrimalMinimizer(r, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, W.z[0], W.z[1], W.z[2], W.z[3], W.z[4],
                    W.z[5], W.z[6], W.z[7], scale, 1, 3, 0);
    return r;
  };
  auto same = [](const CImg<double>& p, const CImg<double>& q) {
    return std::memcmp(p.data(), q.data(), p.size() * sizeof(double)) == 0;
  };
  testing::internal::CaptureStdout();
  CImg<double> v1(12, 12, 2, 1, 0.0), v2 = v1, v3 = v1, v4 = v1;
  PrimalMinimizer_K41Long(v1, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 1, 3, 0);
  PrimalMinimizer_K41LongTrans(v2, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 1, 3, 0);
  PrimalMinimizer_Gen_BruhnAndAl(v3, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.5f, 3, 0);
  PrimalMinimizer_Gen_Rob_BruhnAndAl(v4, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, O.z[0], O.z[1], O.z[2],
                                     O.z[3], O.z[4], O.z[5], O.z[6], O.z[7], 0.5f, 3, 0);
  EXPECT_TRUE(same(v1, general(Z, 1.0f)));
  EXPECT_TRUE(same(v2, general(O, 1.0f)));
  EXPECT_TRUE(same(v3, general(O, 0.5f)));
  EXPECT_TRUE(same(v4, general(O, 0.5f)));
  EXPECT_FALSE(same(v1, v2));
  testing::internal::GetCapturedStdout();
  // successive calls with the same inputs give the same increment
  CImg<double> e(12, 12, 2, 1, 3.0);
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(e, UVtil, S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, 3, 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::memcmp(a.data(), e.data(), a.size() * sizeof(double)), 0);
}

// A solve that fails leaves the increment exactly as it was.
TEST(K41System, FailedSolveKeepsTheIncrement) {
  System S = randomSystem(10, 10, 1, 2, 8, false);
  S.It(4, 4) = std::nan("");
  std::mt19937 g(1);
  CImg<double> UV(10, 10, 2);
  for (double& v : UV) v = std::uniform_real_distribution<double>(-1, 1)(g);
  const CImg<double> before = UV;
  testing::internal::CaptureStdout();
  const bool failed = PrimalMinimizer_K41Long(UV, field(S.U, S.V), S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, 0.0f,
                                              1, 2, 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(failed);
  EXPECT_NE(out.find("no convergence (output CGS "), std::string::npos) << out;
  EXPECT_EQ(std::memcmp(UV.data(), before.data(), UV.size() * sizeof(double)), 0);
}

// Counted with a zero multiplier, assembled with a non-zero one: the arrays grow to what is written, the
// mismatch line is printed and the solve uses the entries written.
TEST(K41System, AssemblyWithMoreEntriesThanCountedStaysInsideItsArrays) {
  System S = randomSystem(16, 16, 1, 4, 12, false);
  const CImg<double> ones(16, 16, 1, 1, 1.0);
  CImg<double> lamCount = S.lamHV;
  lamCount(2) = 0.0;
  const int counted = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, ones, lamCount, S.lamX, 0.0f, 1, 4);
  const int full = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, ones, S.lamHV, S.lamX, 0.0f, 1, 4);
  ASSERT_LT(counted, full);
  CImg<double> UV(16, 16, 2, 1, 0.0), ref = UV;
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(UV, field(S.U, S.V), S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, 4, counted);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "ERROR : number non zero elements not identical to prevision: " + std::to_string(full) +
                     "!=" + std::to_string(counted) + "\n");
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(ref, field(S.U, S.V), S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, 4, full);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(std::memcmp(UV.data(), ref.data(), UV.size() * sizeof(double)), 0);

  // fewer entries than counted: the line too, and the same solution
  CImg<double> UV2(16, 16, 2, 1, 0.0), ref2 = UV2;
  CImg<double> lamZero = S.lamHV;
  lamZero(2) = 0.0;
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(UV2, field(S.U, S.V), S.Ix, S.Iy, S.It, ones, lamZero, S.lamX, 0.0f, 1, 4, full);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR : number non zero elements not identical to prevision: " + std::to_string(counted) +
                "!=" + std::to_string(full) + "\n");
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(ref2, field(S.U, S.V), S.Ix, S.Iy, S.It, ones, lamZero, S.lamX, 0.0f, 1, 4, counted);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::memcmp(UV2.data(), ref2.data(), UV2.size() * sizeof(double)), 0);
}

TEST(K41SystemDeathTest, CallerArraysTooSmallStopWithAMessage) {
  const System S = randomSystem(8, 8, 1, 2, 4, false);
  const int counted = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, S.lamHV, S.lamX, 0.0f, 1, 2);
  std::vector<double> val(counted - 1);
  std::vector<int> col(counted - 1), ptr(2 * 64 + 1);
  const Lists& Z = S.Z;
  EXPECT_EXIT(fillingSparseHessian_A(val.data(), col.data(), ptr.data(), S.Ix.get_mul(S.Ix), S.Ix.get_mul(S.Iy),
                                     S.Iy.get_mul(S.Iy), S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                                     Z.z[4], Z.z[5], Z.z[6], Z.z[7], 1, 2, 8, 8, counted - 1),
              testing::ExitedWithCode(1), "fillingSparseHessian_A: the arrays hold");
  // with room enough, the caller's arrays receive exactly the counted entries
  val.resize(counted);
  col.resize(counted);
  testing::internal::CaptureStdout();
  fillingSparseHessian_A(val.data(), col.data(), ptr.data(), S.Ix.get_mul(S.Ix), S.Ix.get_mul(S.Iy),
                         S.Iy.get_mul(S.Iy), S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3], Z.z[4], Z.z[5],
                         Z.z[6], Z.z[7], 1, 2, 8, 8, counted);
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
  // a grid whose 2 nc nl unknowns do not fit the solver's int indices
  MV_Vector_double B(10, 0.0);
  const Lists& Z = S.Z;
  EXPECT_EXIT(fillingVector_B(B, S.It, S.It, S.U, S.V, S.data, S.lamHV, S.lamX, Z.z[0], Z.z[1], Z.z[2], Z.z[3],
                              Z.z[4], Z.z[5], Z.z[6], Z.z[7], 1, 2, 40000, 40000),
              testing::ExitedWithCode(1), "fillingVector_B: a grid of 40000 x 40000 gives a system too large");
  CImg<double> shortLam(2, 1, 1, 1, 1.0);
  EXPECT_EXIT(NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, shortLam, S.lamX, 0.0f, 1, 2),
              testing::ExitedWithCode(1), "multiplier vectors");
}

// A 2 x 2 level with lo 1: both normalisers of lag 1 are 0, so the lag is left out; the system is the
// data term alone, with no NaN anywhere.
TEST(K41System, TinyLevelLeavesOutLagsWithoutPairs) {
  System S = randomSystem(2, 2, 1, 1, 6, false);
  testing::internal::CaptureStdout();
  const int count = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, S.data, S.lamHV, S.lamX, 0.0f, 1, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n");
  EXPECT_EQ(count, 16);
  const K41Csr A = hessian(S);
  EXPECT_EQ(A.nnz(), 16);
  EXPECT_FALSE(hasNaN(A.val.data(), A.nnz()));
  const MV_Vector_double B = rhs(S);
  EXPECT_FALSE(hasNaN(B.data(), 8));
  CImg<double> UV(2, 2, 2, 1, 0.0);
  testing::internal::CaptureStdout();
  PrimalMinimizer_K41Long(UV, field(S.U, S.V), S.Ix, S.Iy, S.It, S.data, S.lamHV, S.lamX, 0.0f, 1, 1, count);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(hasNaN(UV.data(), UV.size()));
  // a 12 x 3 level with lags [1, 2]: the diagonal normaliser of step 2 is negative, the step is left out
  System T = randomSystem(12, 3, 1, 2, 6, true);
  const K41Csr A2 = hessian(T);
  EXPECT_FALSE(hasNaN(A2.val.data(), A2.nnz()));
  const MV_Vector_double B2 = rhs(T);
  EXPECT_FALSE(hasNaN(B2.data(), 72));
}

// The scale-interval line comes once per primal step when lo exceeds half the grid, never at the limit.
TEST(K41System, PrimalStepReportsTheScaleIntervalOncePerCall) {
  const char* msg = "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1\n";
  for (int lo : {5, 6}) {
    const System S = randomSystem(12, 14, 1, lo, 30 + lo, false);
    const CImg<double> ones(12, 14, 1, 1, 1.0);
    testing::internal::CaptureStdout();
    const int nombre = NumberNonZeroElementInHessian_K41Long(S.Ix, S.Iy, ones, S.lamHV, S.lamX, 0.0f, 1, lo);
    testing::internal::GetCapturedStdout();
    CImg<double> UV(12, 14, 2, 1, 0.0);
    testing::internal::CaptureStdout();
    const bool failed =
        PrimalMinimizer_K41Long(UV, field(S.U, S.V), S.Ix, S.Iy, S.It, ones, S.lamHV, S.lamX, 0.0f, 1, lo, nombre);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), lo == 5 ? "" : msg) << "lo " << lo;
    EXPECT_FALSE(failed);
  }
}
