// Lagrangian dual value: constant part, quadratic model over the K41 primal system, and its wrappers.
#include "dual/dual_function.h"

#include "dual/lag_weights.h"
#include "dual/structure_functions.h"
#include "field/field.h"
#include "io/fail.h"
#include "primal/primal.h"
#include "sparse/sparse.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <vector>

using namespace cimg_library;

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

void requireImage(const CImg<double>& im, int nc, int nl, int depth, const char* what, const char* name) {
  if (im.width() < nc || im.height() < nl || im.depth() < depth) {
    std::ostringstream msg;
    msg << what << ": " << name << " is " << im.width() << " x " << im.height() << " x " << im.depth()
        << ", needs at least " << nc << " x " << nl << " x " << depth;
    failRun(msg.str());
  }
}

void requireEntries(const CImg<double>& v, int n, const char* what, const char* name) {
  if ((int)v.size() < n) {
    std::ostringstream msg;
    msg << what << ": " << name << " holds " << v.size() << " values, needs " << n;
    failRun(msg.str());
  }
}

inline double sq(double d) { return d * d; }

// Power-law targets l^power * beta and (sqrt 2 l)^power * beta for l = lo down to 0.
void buildTargets(int lo, double beta, double power, std::vector<double>& hv, std::vector<double>& cross) {
  hv.assign(std::max(lo + 1, 1), 0.0);
  cross.assign(std::max(lo + 1, 1), 0.0);
  for (int l = lo; l >= 0; --l) {
    hv[l] = std::pow((double)l, power) * beta;
    cross[l] = std::pow(kSqrt2 * l, power) * beta;
  }
}

// 0.5 X.(A X) - X.B + C for the increment UV (planes u and v of nc x nl) as the solution vector (UV
// itself when it has the grid's size, else a packed copy), A X accumulated row by row in stored order.
// One compiled body for every caller, so that even the sign of a value that is not a number comes out
// alike (the order of the operands of a sum of two such values is the compiler's choice).
__attribute__((noinline)) double quadraticModel(const CImg<double>& UV, int nc, int nl, const K41Csr& A,
                                                const MV_Vector_double& B, double C) {
  const long N = (long)nc * nl;
  const int taille = (int)(2 * N);
  std::vector<double> packed;
  const double* x = UV.data();
  if (UV.width() != nc || UV.height() != nl) {
    packed.resize(taille);
    const double* u = UV.data();
    const double* v = UV.data() + (long)UV.width() * UV.height();
    for (int y = 0; y < nl; ++y)
      for (int c = 0; c < nc; ++c) {
        const long q = c + (long)y * UV.width();
        packed[y * (long)nc + c] = u[q];
        packed[N + y * (long)nc + c] = v[q];
      }
    x = packed.data();
  }

  const double* val = A.val.data();
  const int* col_ind = A.col_ind.data();
  const int* row_ptr = A.row_ptr.data();
  const double* b = B.data();
  double lagrangian = 0;
  for (int r = 0; r < taille; ++r) {
    double acc = 0;
    for (int k = row_ptr[r]; k < row_ptr[r + 1]; ++k) acc += val[k] * x[col_ind[k]];
    lagrangian += x[r] * (0.5 * acc - b[r]);
  }
  return lagrangian + C;
}

void reportLoLimit(int nc, int nl, int lo) {
  if ((double)lo > nc * 0.5 - 1 || (double)lo > nl * 0.5 - 1)
    std::cout << "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1" << std::endl;
}

// Refuses a weight list of fewer than `images` images of the grid's size; a constant covers any.
void checkWeights(const dual_detail::ListWeights& W, int images, int nc, int nl, const char* what) {
  dual_detail::checkWeightList(W.list, images, nc, nl, what);
}
void checkWeights(const dual_detail::ConstantWeights&, int, int, int, const char*) {}

// The carried field's planes u and v, their sum s and difference d, each nc x nl line by line: the
// squared diagonal projections of the lag increments are 0.5 (du + dv)^2 and 0.5 (du - dv)^2.
struct CarriedPlanes {
  const double *u, *v, *s, *d;
};

// The constant part over the lag weights z (in the order z_right, z_down, z_rightDown, z_rightUp,
// z_t_right, z_t_down, z_t_rightDown, z_t_rightUp), read as lists or as constants with the same operands.
// `transverse`: the transverse weights are present (every normaliser counts their terms too). ItIt and
// data_out cover the grid.
template <class W>
double constantPart(const CImg<double>& ItIt, const CImg<double>& data_out, const CarriedPlanes& P,
                    const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const double* betaFunc_HV,
                    const double* betaFunc_cross, const W* z, bool transverse, int neta, int lo, int nc, int nl) {
  const char* what = "Constant_C";
  const int l0 = diagonalFirstIndex(neta);
  const int lend = std::min(diagonalLastIndex(lo), lo);
  if (lo >= neta) {
    requireEntries(lambda_S2, lo + 1, what, "lambda_S2");
    for (int i : {0, 1, 4, 5}) checkWeights(z[i], lo - neta + 1, nc, nl, what);
  }
  if (lend >= l0) {
    requireEntries(lambda_S2_cross, lend + 1, what, "lambda_S2_cross");
    for (int i : {2, 3, 6, 7}) checkWeights(z[i], lend - l0 + 1, nc, nl, what);
  }
  const W &z_right = z[0], &z_down = z[1], &z_rightDown = z[2], &z_rightUp = z[3], &z_t_right = z[4],
          &z_t_down = z[5], &z_t_rightDown = z[6], &z_t_rightUp = z[7];
  double sum = 0;
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) sum += ItIt(x, y) * data_out(x, y);
  double C = 0.5 * sum;
  if (lo < l0) return C;
  const double *u = P.u, *v = P.v, *s = P.s, *d = P.d;

  for (int l = std::max(l0, 0); l <= lo; ++l) {
    const bool lHV = l >= neta && lagConstrainedHV(nc, nl, l);
    const bool lcross = l <= lend && lagConstrainedCross(nc, nl, l);
    if (!lHV && !lcross) continue;  // no pairs: left out of the system and of the dual
    const int j = l - neta, k = l - l0;
    double gHV = gammaHV(nc, nl, l), gD = gammaCross(nc, nl, l);
    if (transverse) {
      gHV = 2 * gHV;
      gD = 2 * gD;
    }
    const double aHV = lHV ? 0.5 * lambda_S2(l) / gHV : 0.0;
    const double aD = lcross ? 0.25 * lambda_S2_cross(l) * (1 / gD) : 0.0;
    for (int y = 0; y < nl; ++y) {
      const bool vCentre = l <= y && y < nl - l;
      for (int x = 0; x < nc; ++x) {
        const bool hCentre = l <= x && x < nc - l;
        const long p = x + (long)y * nc;
        if (lHV) {
          const long up = p - (long)l * nc, down = p + (long)l * nc;
          if (hCentre)
            C += aHV * (z_right(j, x, y) * sq(u[p] - u[p + l]) + z_right(j, x - l, y) * sq(u[p] - u[p - l]));
          if (vCentre)
            C += aHV * (z_down(j, x, y) * sq(v[p] - v[down]) + z_down(j, x, y - l) * sq(v[p] - v[up]));
          if (hCentre)
            C += aHV *
                 (z_t_right(j, x, y) * sq(v[p] - v[p + l]) + z_t_right(j, x - l, y) * sq(v[p] - v[p - l]));
          if (vCentre)
            C += aHV *
                 (z_t_down(j, x, y) * sq(u[p] - u[down]) + z_t_down(j, x, y - l) * sq(u[p] - u[up]));
        }
        if (lcross && hCentre && vCentre) {
          const long lu = p - l - (long)l * nc;  // (x - l, y - l)
          const long rd = p + l + (long)l * nc;  // (x + l, y + l)
          const long ru = p + l - (long)l * nc;  // (x + l, y - l)
          const long ld = p - l + (long)l * nc;  // (x - l, y + l)
          double t = z_rightDown(k, x - l, y - l) * sq(s[p] - s[lu]);
          t += z_rightDown(k, x, y) * sq(s[p] - s[rd]);
          t += z_rightUp(k, x, y) * sq(d[p] - d[ru]);
          t += z_rightUp(k, x - l, y + l) * sq(d[p] - d[ld]);
          t += z_t_rightDown(k, x, y) * sq(d[p] - d[rd]);
          t += z_t_rightDown(k, x - l, y - l) * sq(d[p] - d[lu]);
          t += z_t_rightUp(k, x, y) * sq(s[p] - s[ru]);
          t += z_t_rightUp(k, x - l, y + l) * sq(s[p] - s[ld]);
          C += aD * t;
        }
      }
    }
    if (lHV) C += -0.5 * betaFunc_HV[l] * lambda_S2(l);
    if (lcross) C += -0.5 * betaFunc_cross[l] * lambda_S2_cross(l);
  }
  return C;
}

}  // namespace

double Constant_C(const CImg<double>& ItIt, const CImg<double>& data_out, const CImg<double>& Util,
                  const CImg<double>& Vtil, const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                  const double* betaFunc_HV, const double* betaFunc_cross, const CImgList<double>& z_right,
                  const CImgList<double>& z_down, const CImgList<double>& z_rightDown,
                  const CImgList<double>& z_rightUp, const CImgList<double>& z_t_right,
                  const CImgList<double>& z_t_down, const CImgList<double>& z_t_rightDown,
                  const CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl) {
  const char* what = "Constant_C";
  requireImage(ItIt, nc, nl, 1, what, "ItIt");
  requireImage(data_out, nc, nl, 1, what, "data_out");
  requireImage(Util, nc, nl, 1, what, "Util");
  requireImage(Vtil, nc, nl, 1, what, "Vtil");
  CImg<double> U(nc, nl), V(nc, nl), S(nc, nl), D(nc, nl);
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      U(x, y) = Util(x, y);
      V(x, y) = Vtil(x, y);
      S(x, y) = U(x, y) + V(x, y);
      D(x, y) = U(x, y) - V(x, y);
    }
  const dual_detail::ListWeights z[8] = {{z_right},   {z_down},   {z_rightDown},   {z_rightUp},
                                         {z_t_right}, {z_t_down}, {z_t_rightDown}, {z_t_rightUp}};
  const bool transverse = z_t_down.size() > 0 && z_t_down[0].sum() != 0.0;
  return constantPart(ItIt, data_out, {U.data(), V.data(), S.data(), D.data()}, lambda_S2, lambda_S2_cross,
                      betaFunc_HV, betaFunc_cross, z, transverse, neta, lo, nc, nl);
}

namespace {

// The dual value of a level: its constant part, then the quadratic model over the level's A and B for
// these data weights and multipliers.
double levelDualValue(K41LevelSystem& level, const CImg<double>& UV, const CImg<double>& data_out,
                      const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const double* betaFunc_HV,
                      const double* betaFunc_cross) {
  const int nc = level.width(), nl = level.height(), neta = level.neta(), lo = level.lo();
  const K41LagWeights& W = level.weights();
  requireImage(data_out, nc, nl, 1, "Constant_C", "data_out");
  const CarriedPlanes P{level.Util().data(), level.Vtil().data(), level.carriedSum().data(),
                        level.carriedDifference().data()};
  double C;
  if (W.list[0]) {
    const dual_detail::ListWeights z[8] = {{*W.list[0]}, {*W.list[1]}, {*W.list[2]}, {*W.list[3]},
                                           {*W.list[4]}, {*W.list[5]}, {*W.list[6]}, {*W.list[7]}};
    const bool transverse = W.list[5]->size() > 0 && (*W.list[5])[0].sum() != 0.0;
    C = constantPart(level.ItIt(), data_out, P, lambda_S2, lambda_S2_cross, betaFunc_HV, betaFunc_cross, z,
                     transverse, neta, lo, nc, nl);
  } else {
    const long pixels = (long)nc * nl;
    dual_detail::ConstantWeights z[8];
    for (int i = 0; i < 8; ++i) z[i] = {W.constant[i], pixels};
    C = constantPart(level.ItIt(), data_out, P, lambda_S2, lambda_S2_cross, betaFunc_HV, betaFunc_cross, z,
                     z[5].imageSumNonZero(0), neta, lo, nc, nl);
  }
  const K41LevelSystem::System sys = level.system(data_out, lambda_S2, lambda_S2_cross);
  return quadraticModel(UV, nc, nl, sys.A, sys.B, C);
}

// The dual value of a level built for this one value.
double oneShotDualValue(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                        const CImg<double>& im_y, const CImg<double>& im_t, const CImg<double>& data_out,
                        const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, const K41LagWeights& W,
                        float scale, int neta, int lo, const double* betaFunc_HV, const double* betaFunc_cross,
                        int nombre) {
  const char* what = "DualFunction";
  const int nc = im_x.width(), nl = im_x.height();
  reportLoLimit(nc, nl, lo);
  requireImage(UV, nc, nl, 2, what, "UV");
  requireImage(UVtil, nc, nl, 2, what, "UVtil");
  requireImage(im_y, nc, nl, 1, what, "im_y");
  requireImage(im_t, nc, nl, 1, what, "im_t");
  if (2 * ((long)nc * nl) > 2147483647L) failRun("DualFunction: system too large for 32-bit indices");
  K41LevelSystem level(what, UVtil, im_x, im_y, im_t, W, scale, neta, lo, nombre);
  return levelDualValue(level, UV, data_out, lambda_S2, lambda_S2_cross, betaFunc_HV, betaFunc_cross);
}

}  // namespace

double DualFunction(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                    const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                    const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                    const CImgList<double>& z_right, const CImgList<double>& z_down,
                    const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                    const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                    const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp, float scale,
                    int neta, int lo, const double* betaFunc_HV, const double* betaFunc_cross, int nombre) {
  return oneShotDualValue(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                          k41ListWeights(z_right, z_down, z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown,
                                         z_t_rightUp),
                          scale, neta, lo, betaFunc_HV, betaFunc_cross, nombre);
}

double DualFunction_K41Long(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                            const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                            const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scaleSmooth,
                            int neta, int lo, double beta, double power, int nombre) {
  std::vector<double> betaFunc_HV, betaFunc_cross;
  buildTargets(lo, beta, power, betaFunc_HV, betaFunc_cross);
  return oneShotDualValue(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                          k41ConstantWeights(1.0, 0.0), scaleSmooth, neta, lo, betaFunc_HV.data(),
                          betaFunc_cross.data(), nombre);
}

double DualFunction_K41Long(K41LevelSystem& level, const CImg<double>& UV, const CImg<double>& data_out,
                            const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, double beta,
                            double power) {
  const int lo = level.lo();
  reportLoLimit(level.width(), level.height(), lo);
  requireImage(UV, level.width(), level.height(), 2, "DualFunction", "UV");
  std::vector<double> betaFunc_HV, betaFunc_cross;
  buildTargets(lo, beta, power, betaFunc_HV, betaFunc_cross);
  return levelDualValue(level, UV, data_out, lambda_S2, lambda_S2_cross, betaFunc_HV.data(), betaFunc_cross.data());
}

double DualFunction_K41Long(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                            const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                            const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta, int lo,
                            double beta, double power, int nombre) {
  return DualFunction_K41Long(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, 1.0f, neta, lo,
                              beta, power, nombre);
}

double DualFunction_K41LongTrans(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                 const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                 const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, int neta,
                                 int lo, double beta, double power, int nombre) {
  std::vector<double> betaFunc_HV, betaFunc_cross;
  buildTargets(lo, beta, power, betaFunc_HV, betaFunc_cross);
  return oneShotDualValue(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                          k41ConstantWeights(1.0, 1.0), 1.0f, neta, lo, betaFunc_HV.data(), betaFunc_cross.data(),
                          nombre);
}

double DualFunction_Gen_BruhnAndAl(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                   const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                   const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross, float scale,
                                   int lo, const double* betaFunc_HV, const double* betaFunc_cross, int nombre) {
  return oneShotDualValue(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross,
                          k41ConstantWeights(1.0, 1.0), scale, 1, lo, betaFunc_HV, betaFunc_cross, nombre);
}

double DualFunction_Gen_Rob_BruhnAndAl(const CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                                       const CImg<double>& im_y, const CImg<double>& im_t, CImg<double> data_out,
                                       const CImg<double>& lambda_S2, const CImg<double>& lambda_S2_cross,
                                       const CImgList<double>& z_right, const CImgList<double>& z_down,
                                       const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                                       const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                                       const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp,
                                       float scale, int lo, const double* betaFunc_HV, const double* betaFunc_cross,
                                       int nombre) {
  return DualFunction(UV, UVtil, im_x, im_y, im_t, data_out, lambda_S2, lambda_S2_cross, z_right, z_down,
                      z_rightDown, z_rightUp, z_t_right, z_t_down, z_t_rightDown, z_t_rightUp, scale, 1, lo,
                      betaFunc_HV, betaFunc_cross, nombre);
}
