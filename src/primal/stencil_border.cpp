#include "primal/stencil_border.h"

#include <cmath>

using namespace cimg_library;

namespace {

// A pixel of image k of a list, or nullptr when the list or the image does not reach it.
double* at(CImgList<double>& list, int k, int x, int y) {
  if (k < 0 || k >= (int)list.size()) return nullptr;
  CImg<double>& im = list[k];
  if (x < 0 || y < 0 || x >= im.width() || y >= im.height()) return nullptr;
  return im.data(x, y);
}

double* at(CImg<double>& im, int x, int y) {
  if (x < 0 || y < 0 || x >= im.width() || y >= im.height()) return nullptr;
  return im.data(x, y);
}

bool isZeroOrNaN(double v) { return v == 0.0 || std::isnan(v); }

// Clears a coupling of the grid nc x nl: it becomes 0.0 unless it marks a missing entry or is not
// a number. Positions outside the grid are left alone.
struct Ring {
  int nc, nl;
  void clear(CImgList<double>& list, int k, int x, int y) const {
    if (x < 0 || y < 0 || x >= nc || y >= nl) return;
    double* v = at(list, k, x, y);
    if (v && !(*v == kNoEntry) && !std::isnan(*v)) *v = 0.0;
  }
  void set(CImg<double>& im, int x, int y, double value) const {
    if (x < 0 || y < 0 || x >= nc || y >= nl) return;
    if (double* v = at(im, x, y)) *v = value;
  }
};

}  // namespace

void excludeWhite(int neta, int lo, CImgList<double>& A_iljl, CImgList<double>& A_i_lj_l,
                  CImgList<double>& A_i_ljl, CImgList<double>& A_ilj_l) {
  if (lo < neta || A_iljl.size() == 0) return;
  const int nc = A_iljl[0].width(), nl = A_iljl[0].height();
  CImgList<double>* lists[4] = {&A_iljl, &A_i_lj_l, &A_i_ljl, &A_ilj_l};
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x)
      for (CImgList<double>* list : lists)
        for (int k = 0; k <= lo - neta; ++k) {
          double* v = at(*list, k, x, y);
          if (v && isZeroOrNaN(*v)) *v = kNoEntry;
        }
}

void fixDirichletConditions(int nc, int nl, CImgList<double>& A_i_lj, CImgList<double>& A_ij_l,
                            CImgList<double>& A_ijl, CImgList<double>& A_ilj, int neta, int lo) {
  if (lo < neta) return;
  const Ring r{nc, nl};
  // First and last column: the couplings from them and those of their partners back into them.
  for (int y = 0; y < nl; ++y)
    for (int l = lo; l >= neta; --l) {
      const int k = l - neta;
      r.clear(A_ijl, k, 0, y);
      r.clear(A_ij_l, k, l, y);
      r.clear(A_ij_l, k, nc - 1, y);
      r.clear(A_ijl, k, nc - 1 - l, y);
      r.clear(A_ilj, k, 0, y);
      if (y + l < nl) r.clear(A_i_lj, k, 0, y + l);
      r.clear(A_i_lj, k, nc - 1, y);
      if (y - l >= 0) r.clear(A_ilj, k, nc - 1, y - l);
    }
  // First and last line.
  for (int x = 0; x < nc; ++x)
    for (int l = lo; l >= neta; --l) {
      const int k = l - neta;
      r.clear(A_ijl, k, x, 0);
      if (x + l < nc) r.clear(A_ij_l, k, x + l, 0);
      r.clear(A_ij_l, k, x, nl - 1);
      if (x - l >= 0) r.clear(A_ijl, k, x - l, nl - 1);
      r.clear(A_ilj, k, x, 0);
      r.clear(A_i_lj, k, x, l);
      r.clear(A_i_lj, k, x, nl - 1);
      r.clear(A_ilj, k, x, nl - 1 - l);
    }
}

void fixDirichletConditions(int nc, int nl, CImg<double>& A_i_1j, CImg<double>& A_ij, CImg<double>& A_i1j,
                            CImg<double>& A_ij_1, CImg<double>& A_ij1) {
  const Ring r{nc, nl};
  auto ringPixel = [&](int x, int y) {
    r.set(A_ij, x, y, 1.0);
    r.set(A_i1j, x, y, 0.0);
    r.set(A_i_1j, x, y, 0.0);
    r.set(A_ij1, x, y, 0.0);
    r.set(A_ij_1, x, y, 0.0);
  };
  // First and last line, with the couplings of the next lines inwards into them.
  for (int x = 0; x < nc; ++x) {
    ringPixel(x, 0);
    ringPixel(x, nl - 1);
    r.set(A_i_1j, x, 1, 0.0);
    r.set(A_i1j, x, nl - 2, 0.0);
  }
  // First and last column likewise.
  for (int y = 0; y < nl; ++y) {
    ringPixel(0, y);
    ringPixel(nc - 1, y);
    r.set(A_ij_1, 1, y, 0.0);
    r.set(A_ij1, nc - 2, y, 0.0);
  }
  // Couplings that leave the grid, written last so that corners keep the marker in both directions.
  for (int x = 0; x < nc; ++x) {
    r.set(A_i_1j, x, 0, kNoEntry);
    r.set(A_i1j, x, nl - 1, kNoEntry);
  }
  for (int y = 0; y < nl; ++y) {
    r.set(A_ij_1, 0, y, kNoEntry);
    r.set(A_ij1, nc - 1, y, kNoEntry);
  }
}

void fixDirichletConditions_cross(int nc, int nl, CImgList<double>& A_i_lj_l, CImgList<double>& A_i_ljl,
                                  CImgList<double>& A_ilj_l, CImgList<double>& A_iljl, int neta, int lo) {
  if (lo < neta) return;
  const Ring r{nc, nl};
  // The diagonal lists hold step netaSqrt2 + k in image k.
  const int netaSqrt2 = (int)(neta * 0.7071067811865475 + 1);
  for (int k = lo - neta; k >= 0; --k) {
    const int l = netaSqrt2 + k;
    // Down-right / up-left pair: first and last column, then first and last line.
    for (int y = 0; y < nl; ++y) {
      r.clear(A_iljl, k, 0, y);
      if (y + l < nl) r.clear(A_i_lj_l, k, l, y + l);
      r.clear(A_i_lj_l, k, nc - 1, y);
      if (y - l >= 0) r.clear(A_iljl, k, nc - 1 - l, y - l);
    }
    for (int x = 0; x < nc; ++x) {
      r.clear(A_iljl, k, x, 0);
      if (x + l < nc) r.clear(A_i_lj_l, k, x + l, l);
      r.clear(A_i_lj_l, k, x, nl - 1);
      if (x - l >= 0) r.clear(A_iljl, k, x - l, nl - 1 - l);
    }
    // Up-right / down-left pair.
    for (int y = 0; y < nl; ++y) {
      r.clear(A_i_ljl, k, 0, y);
      if (y - l >= 0) r.clear(A_ilj_l, k, l, y - l);
      r.clear(A_ilj_l, k, nc - 1, y);
      if (y + l < nl) r.clear(A_i_ljl, k, nc - 1 - l, y + l);
    }
    for (int x = 0; x < nc; ++x) {
      r.clear(A_ilj_l, k, x, 0);
      if (x - l >= 0) r.clear(A_i_ljl, k, x - l, l);
      r.clear(A_i_ljl, k, x, nl - 1);
      if (x + l < nc) r.clear(A_ilj_l, k, x + l, nl - 1 - l);
    }
  }
}

void fixDirichletConditions_cross(int nc, int nl, CImg<double>& A_ij, CImgList<double>& A_i_lj_l,
                                  CImgList<double>& A_i_ljl, CImgList<double>& A_ilj_l, CImgList<double>& A_iljl,
                                  int neta, int lo) {
  fixDirichletConditions_cross(nc, nl, A_i_lj_l, A_i_ljl, A_ilj_l, A_iljl, neta, lo);
  const Ring r{nc, nl};
  for (int x = 0; x < nc; ++x) {
    r.set(A_ij, x, 0, 0.0);
    r.set(A_ij, x, nl - 1, 0.0);
  }
  for (int y = 0; y < nl; ++y) {
    r.set(A_ij, 0, y, 0.0);
    r.set(A_ij, nc - 1, y, 0.0);
  }
}
