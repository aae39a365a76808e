// Second-order structure functions of a motion field and their distance to the K41 power law.
//
// A motion field is a CImg<double> of nc x nl x 2: plane 0 holds u (x component), plane 1 holds v
// (y component, positive downwards). The structure function S2(l) is the weighted mean of squared
// velocity increments between pixels l apart: horizontal/vertical lags l = neta..lo (both directions
// pooled) and diagonal lag indices l = l0..lend (distance l*sqrt(2), both diagonals pooled), with
//   l0 = (int)(neta * 0.7071067811865475 + 1),  lend = (int)(lo * 0.7071067811865475 + 1).
// Result vectors hold lo + 1 entries indexed by lag (or by diagonal index); entries outside the
// computed range are 0.
//
// Weight lists hold one image per lag: horizontal/vertical lists image l - neta, diagonal lists image
// l - l0. A pair's weight is read at its left end (horizontal and diagonal pairs) or upper end
// (vertical pairs).
//
// A lag that has no pairs to average over (its normaliser is zero or negative, or, for a diagonal
// index, the field is not wider and higher than 2l) gives 0, and its residual is 0: such a lag is also
// left out of the primal system and the dual value, so nothing constrains it.
#pragma once

#include <CImg.h>

// Normalisers: the number of longitudinal terms of a lag with unit weights (32-bit arithmetic in the
// formulation of the method; computed here without overflow).
double gammaHV(int nc, int nl, int l);     // 2 * (nc * (nl - 2l) + nl * (nc - 2l))
double gammaCross(int nc, int nl, int l);  // 4 * (nc - 2l) * (nl - 2l)

// Whether a horizontal/vertical lag (resp. a diagonal index) of an nc x nl field is constrained:
// gammaHV(l) > 0 (resp. nc - 2l > 0 and nl - 2l > 0), and l >= 0.
bool lagConstrainedHV(int nc, int nl, int l);
bool lagConstrainedCross(int nc, int nl, int l);

// First and last diagonal lag index of the lag interval [neta, lo].
int diagonalFirstIndex(int neta);
int diagonalLastIndex(int lo);

// Horizontal/vertical structure function over explicit weight lists.
cimg_library::CImg<double> StructureFunction2nd_horiVertDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            const cimg_library::CImgList<double>& z_right,
                                                            const cimg_library::CImgList<double>& z_down,
                                                            const cimg_library::CImgList<double>& z_t_right,
                                                            const cimg_library::CImgList<double>& z_t_down);
// Unit longitudinal weights; unit transverse weights when trans is true, zero otherwise.
cimg_library::CImg<double> StructureFunction2nd_horiVertDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                            bool trans);
cimg_library::CImg<double> StructureFunction2ndLong_horiVertDir(const cimg_library::CImg<double>& UV, int neta, int lo);
// Zero longitudinal, unit transverse weights (half the mean of the transverse terms).
cimg_library::CImg<double> StructureFunction2ndTrans_horiVertDir(const cimg_library::CImg<double>& UV, int neta,
                                                                 int lo);

// Diagonal structure function (indexed by diagonal lag index) over explicit weight lists.
cimg_library::CImg<double> StructureFunction2nd_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                         const cimg_library::CImgList<double>& z_rightDown,
                                                         const cimg_library::CImgList<double>& z_rightUp,
                                                         const cimg_library::CImgList<double>& z_t_rightDown,
                                                         const cimg_library::CImgList<double>& z_t_rightUp);
cimg_library::CImg<double> StructureFunction2nd_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo,
                                                         bool trans);
cimg_library::CImg<double> StructureFunction2ndLong_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo);
cimg_library::CImg<double> StructureFunction2ndTrans_crossDir(const cimg_library::CImg<double>& UV, int neta, int lo);

// K41 residuals S2(l) - beta * l^power (diagonal: beta * (l*sqrt(2))^power) for l = LMin..LMax
// (diagonal: its indices l0..lend of that interval); entries below LMin are zeroed first. subGrad
// should hold LMax + 1 entries; nothing is written beyond its length.
void subGradients_K41_horiVertDir(cimg_library::CImg<double>& subGrad, const cimg_library::CImg<double>& UV,
                                  double beta, double power, int LMin, int LMax, bool trans);
void subGradients_K41_crossDir(cimg_library::CImg<double>& subGrad, const cimg_library::CImg<double>& UV,
                               double beta, double power, int LMin, int LMax, bool trans);
// The same with explicit weight lists and targets betaFunc_HV[l] / betaFunc_cross[l].
void subGradients_K41_horiVertDir(cimg_library::CImg<double>& subGrad, const cimg_library::CImg<double>& UV,
                                  const double* betaFunc_HV, int LMin, int LMax,
                                  const cimg_library::CImgList<double>& z_right,
                                  const cimg_library::CImgList<double>& z_down,
                                  const cimg_library::CImgList<double>& z_t_right,
                                  const cimg_library::CImgList<double>& z_t_down);
void subGradients_K41_crossDir(cimg_library::CImg<double>& subGrad, const cimg_library::CImg<double>& UV,
                               const double* betaFunc_cross, int LMin, int LMax,
                               const cimg_library::CImgList<double>& z_rightDown,
                               const cimg_library::CImgList<double>& z_rightUp,
                               const cimg_library::CImgList<double>& z_t_rightDown,
                               const cimg_library::CImgList<double>& z_t_rightUp);

// Mean absolute K41 residual over the (lo - neta + 1) + (lend - l0 + 1) constraints of [neta, lo],
// longitudinal increments only; 0 when the interval holds no constraint.
double ConstraintsAbsDevLong(const cimg_library::CImg<double>& UV, double beta, double power, int neta, int lo);
// The same with longitudinal and transverse increments.
double ConstraintsAbsDevLongTrans(const cimg_library::CImg<double>& UV, double beta, double power, int neta,
                                  int lo);
