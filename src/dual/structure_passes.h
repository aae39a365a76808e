// Internal to the structure-function code: the lag loops that the second-order and the signed
// order-p structure functions share. Each pass sums weighted increment terms over the centres of a
// lag, divides by the lag's normaliser and halves the value when transverse weights are present; the
// caller supplies what one increment (horizontal/vertical) or one centre (diagonal) adds.
#pragma once

#include "dual/lag_weights.h"
#include "dual/structure_functions.h"

#include <CImg.h>

#include <algorithm>

namespace dual_detail {

// Weighted terms of a weight that is 0 everywhere add zeros to a sum when the terms are finite; a sum
// that starts at +0 never is -0, so such terms leave it as it is and need not be formed. `finiteTerms`
// says whether every term of the pass is finite.
template <class W>
bool addsNothing(const W& w, bool finiteTerms) {
  return finiteTerms && w.zero();
}

// Horizontal/vertical pass; WL weighs longitudinal pairs, WT transverse pairs, term(d) is what an
// increment d (centre minus neighbour) contributes before its weight.
template <class WL, class WT, class Term>
cimg_library::CImg<double> signedHoriVertPass(const cimg_library::CImg<double>& UV, int neta, int lo,
                                              const WL& z_right, const WL& z_down, const WT& z_t_right,
                                              const WT& z_t_down, Term term, bool finiteTerms = false) {
  const int nc = UV.width(), nl = UV.height();
  cimg_library::CImg<double> S2 = zeroVector(lo);
  warnScaleInterval(lo, nc, nl);
  if (lo < neta) return S2;
  const long N = (long)nc * nl;
  const double* u = UV.data();
  const double* v = UV.data() + N;
  const bool rightTerms = !addsNothing(z_right, finiteTerms), downTerms = !addsNothing(z_down, finiteTerms);
  const bool tRightTerms = !addsNothing(z_t_right, finiteTerms), tDownTerms = !addsNothing(z_t_down, finiteTerms);
  for (int l = std::max(neta, 0); l <= lo; ++l) {
    if (!lagConstrainedHV(nc, nl, l)) continue;
    const int j = l - neta;
    double sum = 0;
    for (int y = 0; y < nl; ++y) {
      const bool vCentre = l <= y && y < nl - l;
      for (int x = 0; x < nc; ++x) {
        const long p = x + (long)y * nc;
        if (l <= x && x < nc - l) {
          if (rightTerms) {
            sum += z_right(j, x, y) * term(u[p] - u[p + l]);
            sum += z_right(j, x - l, y) * term(u[p] - u[p - l]);
          }
          if (tRightTerms) {
            sum += z_t_right(j, x - l, y) * term(v[p] - v[p - l]);
            sum += z_t_right(j, x, y) * term(v[p] - v[p + l]);
          }
        }
        if (vCentre) {
          const long up = p - (long)l * nc, down = p + (long)l * nc;
          if (downTerms) {
            sum += z_down(j, x, y - l) * term(v[p] - v[up]);
            sum += z_down(j, x, y) * term(v[p] - v[down]);
          }
          if (tDownTerms) {
            sum += z_t_down(j, x, y - l) * term(u[p] - u[up]);
            sum += z_t_down(j, x, y) * term(u[p] - u[down]);
          }
        }
      }
    }
    S2[l] = sum / gammaHV(nc, nl, l);
    if (z_t_down.imageSumNonZero(j)) S2[l] = S2[l] * 0.5;
  }
  return S2;
}

// Diagonal pass over the indices l0..lend of [neta, lo]; addCentre(sum, j, l, x, y, p) adds the
// weighted terms of the centre (x, y) (storage index p) of diagonal index l (weight image j) to sum.
template <class WT, class AddCentre>
cimg_library::CImg<double> signedCrossPass(const cimg_library::CImg<double>& UV, int neta, int lo,
                                           const WT& z_t_rightDown, AddCentre addCentre) {
  const int nc = UV.width(), nl = UV.height();
  cimg_library::CImg<double> S2 = zeroVector(lo);
  warnScaleInterval(lo, nc, nl);
  const int l0 = diagonalFirstIndex(neta);
  const int lend = std::min(diagonalLastIndex(lo), lo);  // never beyond the vector
  if (lend < l0) return S2;
  for (int l = std::max(l0, 0); l <= lend; ++l) {
    if (!lagConstrainedCross(nc, nl, l)) continue;
    const int j = l - l0;
    double sum = 0;
    for (int y = l; y < nl - l; ++y)
      for (int x = l; x < nc - l; ++x) addCentre(sum, j, l, x, y, x + (long)y * nc);
    S2[l] = sum / gammaCross(nc, nl, l);
    if (z_t_rightDown.imageSumNonZero(j)) S2[l] = S2[l] * 0.5;
  }
  return S2;
}

}  // namespace dual_detail
