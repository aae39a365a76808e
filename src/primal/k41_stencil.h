// Stencil of the K41 primal system: the coefficients that couple every pixel with itself and with its
// neighbours at every lag (horizontal/vertical) and every diagonal step of the scale interval.
//
// The system has 2N rows (N = nc * nl): the u equation of every pixel (line by line, x fastest), then
// the v equation of every pixel. Each row holds a u-column block (coefficients on u unknowns, "A1_")
// followed by a v-column block (coefficients on v unknowns, "A2_"). One builder computes the
// coefficients of a row; the entry count, the Hessian fill and the log-determinant's fill all use it,
// so their zero patterns agree bit for bit.
//
// Lags: horizontal/vertical l = neta..lo; diagonal steps l = l0..lend with
// l0 = (int)(neta * 0.7071067811865475 + 1) and lend = (int)(lo * 0.7071067811865475 + 1); a diagonal
// step l joins pixels l columns and l lines apart. Horizontal/vertical lists are indexed l - neta,
// diagonal lists l - l0.
//
// A lag whose pair-count normaliser is zero or negative (lo beyond half the grid) is left out of the
// system entirely: it contributes nothing to the matrix, to the right-hand side or to the count.
#pragma once

#include <CImg.h>

#include <cstdint>
#include <vector>

// First and last diagonal step of the scale interval [neta, lo].
int k41FirstDiagonalStep(int neta);
int k41LastDiagonalStep(int lo);

// Pair-count normalisers of lag (step) l on an nc x nl grid, before any doubling for transverse weights:
// 2 (nc (nl - 2l) + nl (nc - 2l)) and 4 (nl - 2l)(nc - 2l), in 64 bits. A lag whose normaliser is zero
// or negative is left out of the K41 system.
std::int64_t k41NormaliserHV(int nc, int nl, int l);
std::int64_t k41NormaliserCross(int nc, int nl, int l);

// The eight lag weight lists of a K41 system, in the order z_right, z_down, z_rightDown, z_rightUp,
// z_t_right, z_t_down, z_t_rightDown, z_t_rightUp: each either an image list (list[i], not owned) or one
// constant for every pixel and lag (list[i] null, constant[i]).
struct K41LagWeights {
  const cimg_library::CImgList<double>* list[8] = {};
  double constant[8] = {};
};
// The eight image lists, in that order.
K41LagWeights k41ListWeights(const cimg_library::CImgList<double>& z_right,
                            const cimg_library::CImgList<double>& z_down,
                            const cimg_library::CImgList<double>& z_rightDown,
                            const cimg_library::CImgList<double>& z_rightUp,
                            const cimg_library::CImgList<double>& z_t_right,
                            const cimg_library::CImgList<double>& z_t_down,
                            const cimg_library::CImgList<double>& z_t_rightDown,
                            const cimg_library::CImgList<double>& z_t_rightUp);
// The same longitudinal weight in the first four lists, the same transverse weight in the last four.
K41LagWeights k41ConstantWeights(double longitudinal, double transverse);

// `count` lag weight images of nc x nl whose values are all `value`, as one list of views of a single
// image: the constant weight lists of the fixed-weight variants, without one copy per lag. Not
// copyable (the views point into `image`).
struct ConstantLagWeights {
  ConstantLagWeights(int count, int nc, int nl, double value);
  ConstantLagWeights(const ConstantLagWeights&) = delete;
  ConstantLagWeights& operator=(const ConstantLagWeights&) = delete;
  cimg_library::CImg<double> image;
  cimg_library::CImgList<double> list;  // max(count, 0) views of `image`
};

// Compressed-row arrays that grow to what the assembly writes (0-based). row_ptr has 2N + 1 elements;
// val and col_ind hold at least nnz() elements (possibly more: only the first nnz() belong to rows).
struct K41Csr {
  std::vector<double> val;
  std::vector<int> col_ind;
  std::vector<int> row_ptr;
  int nnz() const { return row_ptr.empty() ? 0 : row_ptr.back(); }
};
