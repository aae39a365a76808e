// Log-determinant of the Hessian under a fixed ring: capacity, ring rows, closed forms, exact LU when
// ILU(0) makes no fill, invariances, and the reported failures.
#include <gtest/gtest.h>

#include <CImg.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "evidence/logdet.h"
#include "primal/k41.h"
#include "support/sparse_systems.h"

using namespace cimg_library;

namespace {

struct Level {
  int nc, nl, neta, lo;
  CImg<double> im_x, im_y, im_t, data, lambda, lambda_cross;
};

Level makeLevel(int nc, int nl, int neta, int lo, uint64_t seed) {
  TestRng rng(seed);
  Level L{nc, nl, neta, lo, CImg<double>(nc, nl), CImg<double>(nc, nl), CImg<double>(nc, nl), CImg<double>(nc, nl),
          CImg<double>(lo + 1, 1, 1, 1, 0.0), CImg<double>(lo + 2, 1, 1, 1, 0.0)};
  cimg_forXY(L.im_x, x, y) {
    L.im_x(x, y) = rng.uniform() * 2 - 1;
    L.im_y(x, y) = rng.uniform() * 2 - 1;
    L.im_t(x, y) = rng.uniform() * 2 - 1;
    L.data(x, y) = 0.2 + rng.uniform();
  }
  for (int l = 0; l <= lo; l++) L.lambda(l) = 0.5 + rng.uniform();
  for (int l = 0; l <= lo + 1; l++) L.lambda_cross(l) = 0.5 + rng.uniform();
  return L;
}

int countOf(const Level& L, const CImg<double>& data, float scale) {
  return NumberNonZeroElementInHessian_K41Long(L.im_x, L.im_y, data, L.lambda, L.lambda_cross, scale, L.neta, L.lo);
}

double logdet(const Level& L, const CImg<double>& data, float scale, int nombre) {
  return logdetA_K41Long(L.im_x, L.im_y, L.im_t, data, L.lambda, L.lambda_cross, scale, L.neta, L.lo, nombre);
}

CImg<double> blurred(CImg<double> im) {
  im.deriche(1.0f, 0, 'x', 1);
  im.deriche(1.0f, 0, 'y', 1);
  return im;
}

// The matrix that logdetA factorises, for the K41Long weights of L.
K41Csr dirichletHessian(const Level& L, const CImg<double>& data, int nombre) {
  const int n = L.lo - L.neta + 1;
  const CImgList<double> ones(n, L.nc, L.nl, 1, 1, 1.0), zeros(n, L.nc, L.nl, 1, 1, 0.0);
  K41Csr H;
  EXPECT_TRUE(fillDirichletHessian(H, L.im_x.get_mul(L.im_x), L.im_x.get_mul(L.im_y), L.im_y.get_mul(L.im_y), data,
                                   L.lambda, L.lambda_cross, ones, ones, ones, ones, zeros, zeros, zeros, zeros, L.neta,
                                   L.lo, nombre));
  return H;
}

bool onRing(int p, int nc, int nl) {
  const int x = p % nc, y = p / nc;
  return x == 0 || y == 0 || x == nc - 1 || y == nl - 1;
}

}  // namespace

TEST(Logdet, CapacityIsTheTruncatedFifthMore) {
  EXPECT_EQ(logdetCapacity(10), 12);
  EXPECT_EQ(logdetCapacity(7), 8);
  EXPECT_EQ(logdetCapacity(0), 0);
  EXPECT_EQ(logdetCapacity(1000), 1200);
}

TEST(Logdet, RingRowsAreIdentityRowsAndThePatternIgnoresTheData) {
  const Level L = makeLevel(9, 8, 1, 2, 1);
  const int nombre = countOf(L, L.data, 0);
  const K41Csr H = dirichletHessian(L, L.data, nombre);
  const int N = L.nc * L.nl;
  ASSERT_EQ((int)H.row_ptr.size(), 2 * N + 1);
  EXPECT_EQ(H.nnz(), nombre);  // the ring fix keeps the counted pattern
  for (int r = 0; r < 2 * N; r++) {
    const int p = r % N;
    for (int k = H.row_ptr[r]; k < H.row_ptr[r + 1]; k++) {
      const int c = H.col_ind[k];
      if (onRing(p, L.nc, L.nl)) EXPECT_EQ(H.val[k], c == r ? 1.0 : 0.0) << "row " << r << " col " << c;
      else if (onRing(c % N, L.nc, L.nl)) EXPECT_EQ(H.val[k], 0.0) << "row " << r << " col " << c;
    }
  }
  const K41Csr P = dirichletHessian(L, CImg<double>(L.nc, L.nl, 1, 1, 0.0), nombre);
  EXPECT_EQ(P.row_ptr, H.row_ptr);
  EXPECT_EQ(std::vector<int>(P.col_ind.begin(), P.col_ind.begin() + P.nnz()),
            std::vector<int>(H.col_ind.begin(), H.col_ind.begin() + H.nnz()));
}

TEST(Logdet, BlockDiagonalCaseHasItsClosedForm) {
  // No multiplier: every interior pixel is the 2 x 2 block d [XX XY; XY YY] of the blurred products.
  Level L = makeLevel(10, 9, 1, 2, 2);
  L.lambda.fill(0.0);
  L.lambda_cross.fill(0.0);
  const int nombre = countOf(L, L.data, 1.0f);
  EXPECT_EQ(nombre, 4 * L.nc * L.nl);
  const double value = logdet(L, L.data, 1.0f, nombre);
  const CImg<double> XX = blurred(L.im_x.get_mul(L.im_x)), YY = blurred(L.im_y.get_mul(L.im_y)),
                     XY = blurred(L.im_x.get_mul(L.im_y));
  double expected = 0;
  for (int y = 1; y < L.nl - 1; y++)
    for (int x = 1; x < L.nc - 1; x++) {
      const double d = L.data(x, y);
      expected += std::log(std::fabs(d * d * (XX(x, y) * YY(x, y) - XY(x, y) * XY(x, y))));
    }
  EXPECT_NEAR(value, expected, 1e-9 * std::fabs(expected));
}

TEST(Logdet, WithoutFillIlu0EqualsTheDenseLu) {
  // Prior alone, horizontal/vertical lags only: the interior u block couples along lines, the v block
  // along columns, u and v only through stored zeros, so ILU(0) creates no fill.
  Level L = makeLevel(7, 6, 1, 1, 3);
  L.lambda_cross.fill(0.0);
  const CImg<double> none(L.nc, L.nl, 1, 1, 0.0);
  const int nombre = countOf(L, none, 0);
  const K41Csr H = dirichletHessian(L, none, nombre);
  const int n = (int)H.row_ptr.size() - 1;
  std::vector<std::vector<double>> A(n, std::vector<double>(n, 0.0));
  std::vector<std::vector<bool>> stored(n, std::vector<bool>(n, false));
  for (int r = 0; r < n; r++)
    for (int k = H.row_ptr[r]; k < H.row_ptr[r + 1]; k++) {
      A[r][H.col_ind[k]] = H.val[k];
      stored[r][H.col_ind[k]] = true;
    }
  double dense = 0;
  for (int c = 0; c < n; c++) {
    ASSERT_NE(A[c][c], 0.0);
    dense += std::log(std::fabs(A[c][c]));
    for (int r = c + 1; r < n; r++) {
      if (A[r][c] == 0) continue;
      const double f = A[r][c] / A[c][c];
      for (int k = c; k < n; k++) {
        A[r][k] -= f * A[c][k];
        if (k > c && !stored[r][k]) ASSERT_EQ(A[r][k], 0.0) << "fill at " << r << ", " << k;
      }
    }
  }
  const double value = logdet(L, none, 0, nombre);
  EXPECT_NEAR(value, dense, 1e-12 * std::fabs(dense));
}

TEST(Logdet, RingDataAndRingDerivativesDoNotMatter) {
  const Level L = makeLevel(9, 9, 1, 2, 4);
  const int nombre = countOf(L, L.data, 0);
  const double value = logdet(L, L.data, 0, nombre);
  EXPECT_TRUE(std::isfinite(value));
  Level M = L;
  cimg_forXY(M.data, x, y) if (onRing(y * L.nc + x, L.nc, L.nl)) {
    M.data(x, y) *= 3.5;
    M.im_x(x, y) += 1.25;
    M.im_y(x, y) -= 0.5;
  }
  EXPECT_EQ(logdet(M, M.data, 0, nombre), value);
  // An interior change does matter.
  M.data(4, 4) *= 2;
  EXPECT_NE(logdet(M, M.data, 0, nombre), value);
}

TEST(Logdet, MoreEntriesThanTheCapacityAreStoredAndReported) {
  const Level L = makeLevel(8, 8, 1, 2, 5);
  const int nombre = countOf(L, L.data, 0);
  testing::internal::CaptureStdout();
  const double good = logdet(L, L.data, 0, nombre);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  for (int small : {0, 7, nombre / 2}) {
    testing::internal::CaptureStdout();
    const double value = logdet(L, L.data, 0, small);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR : number non zero elements in Hessian matrix with Dirichlet conditions !!! " +
                  std::to_string(nombre) + "\n");
    EXPECT_EQ(value, good);
  }
}

TEST(Logdet, LagLimitMessageIsStrict) {
  const std::string msg = "Error : lo must respect lo <= nc/2 and lo <= nl/2\n";
  auto occurrences = [&](const std::string& out) {
    int n = 0;
    for (size_t p = out.find(msg); p != std::string::npos; p = out.find(msg, p + 1)) n++;
    return n;
  };
  const Level even = makeLevel(6, 12, 1, 3, 6);  // nc = 2 lo
  testing::internal::CaptureStdout();
  logdet(even, even.data, 0, 100000);
  EXPECT_EQ(occurrences(testing::internal::GetCapturedStdout()), 0);
  const Level odd = makeLevel(5, 12, 1, 3, 6);  // nc = 2 lo - 1
  testing::internal::CaptureStdout();
  logdet(odd, odd.data, 0, 100000);
  EXPECT_EQ(occurrences(testing::internal::GetCapturedStdout()), 1);
}

TEST(Logdet, ZeroPivotGivesNaNWithOneMessage) {
  // Unblurred products make every data block singular; without multipliers nothing else is left.
  Level L = makeLevel(6, 6, 1, 1, 7);
  L.lambda.fill(0.0);
  L.lambda_cross.fill(0.0);
  const int nombre = countOf(L, L.data, 0);
  testing::internal::CaptureStdout();
  const double value = logdet(L, L.data, 0, nombre);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::isnan(value));
  EXPECT_EQ(out.rfind("Error : zero or non-finite pivot in the incomplete-LU log-determinant (", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST(Logdet, WrappersForwardTheirWeightLists) {
  const Level L = makeLevel(9, 8, 1, 2, 8);
  const int n = L.lo - L.neta + 1;
  const CImgList<double> ones(n, L.nc, L.nl, 1, 1, 1.0), zeros(n, L.nc, L.nl, 1, 1, 0.0);
  const int nombre = countOf(L, L.data, 1.0f);
  const double general = logdetA(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, ones, ones, ones, ones,
                                 zeros, zeros, zeros, zeros, 1.0f, L.neta, L.lo, nombre);
  EXPECT_EQ(logdetA_K41Long(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, L.neta, L.lo, nombre), general);
  EXPECT_EQ(logdetA_K41Long(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 1.0f, L.neta, L.lo, nombre),
            general);
  const double trans = logdetA(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, ones, ones, ones, ones, ones,
                               ones, ones, ones, 1.0f, L.neta, L.lo, 100000);
  EXPECT_EQ(logdetA_K41LongTrans(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, L.neta, L.lo, 100000),
            trans);
  EXPECT_EQ(logdetA_Gen_BruhnAndAl(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 1.0f, L.lo, 100000),
            trans);  // neta 1: the same lists
  EXPECT_EQ(logdetA_Gen_Rob_BruhnAndAl(L.im_x, L.im_y, L.im_t, L.data, L.lambda, L.lambda_cross, 1.0f, ones, ones,
                                       ones, ones, zeros, zeros, zeros, zeros, L.lo, nombre),
            general);
}
