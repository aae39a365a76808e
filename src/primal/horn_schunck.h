// The Horn & Schunck path: assembly of its sparse normal equations, the solve of one motion
// increment, and the robust re-weighting of its data term.
#pragma once

#include <CImg.h>

#include <vector>

#include "sparse/inversion.h"

// Number of entries that fillingSparseHessian_A_HS writes on an nc x nl grid, in 64 bits:
// 12 N - 4 nc - 4 nl with the Neumann border, 12 N with the periodic one (N = nc nl). On periodic
// grids narrower than 3 columns or lines, where a wrapped neighbour is a direct one or the pixel
// itself, the fill merges such entries and writes fewer; this is then the capacity to allocate.
long long numberEntriesHornAndSchunck(int nc, int nl, bool periodic);

// Border rules on the coefficient images of one row block (the family that holds the diagonal):
// a coupling that leaves the grid is folded into the diagonal...
void fixNeumannConditions(int nc, int nl, cimg_library::CImg<double>& A1_i_1j, cimg_library::CImg<double>& A1_ij,
                          cimg_library::CImg<double>& A1_i1j, cimg_library::CImg<double>& A1_ij_1,
                          cimg_library::CImg<double>& A1_ij1);
// ...or moved to the wrap-around image of the opposite border.
void fixPeriodConditions(int nc, int nl, cimg_library::CImg<double>& A1_i_1j, cimg_library::CImg<double>& A1_i1j,
                         cimg_library::CImg<double>& A1_ij_1, cimg_library::CImg<double>& A1_ij1,
                         cimg_library::CImg<double>& A1_ijnc, cimg_library::CImg<double>& A1_ij0,
                         cimg_library::CImg<double>& A1_inlj, cimg_library::CImg<double>& A1_i0j);

// Writes the compressed-row matrix (2N rows: all u rows, then all v rows) of the Horn & Schunck
// normal equations into row_ptr[0 .. 2N], val and col_ind[0 .. row_ptr[2N] - 1]. The caller
// allocates val and col_ind with numberEntriesHornAndSchunck places and row_ptr with 2N + 1;
// nombre is not consulted. im_y and data_out have the size of im_x.
void fillingSparseHessian_A_HS(double* val, int* col_ind, int* row_ptr, const cimg_library::CImg<double>& im_x,
                               const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& data_out,
                               float alpha, int nombre, bool periodic);

// The same with link weights: reg_out[0] on the horizontal links, reg_out[1] on the vertical ones.
void fillingSparseHessian_A_HS(double* val, int* col_ind, int* row_ptr, const cimg_library::CImg<double>& im_x,
                               const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& data_out,
                               const cimg_library::CImgList<double>& reg_out, float alpha, int nombre,
                               bool periodic);

// Solves for the increment (du, dv) to add to UVtil: returns false with UV (nc x nl x 2) written, or
// true when the solve failed, UV then keeping its content. Inputs of mismatched size, or a system
// whose entry count does not fit the solver's int indices, end the process with status 1 and a
// one-line message.
bool HornAndSchunck(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                    const cimg_library::CImg<double>& im_t, float alpha, const cimg_library::CImg<double>& data_out,
                    bool periodic);

// What the Horn & Schunck solves of one level keep from one solve to the next: the arrays of the system,
// its right-hand side, and the incomplete-LU structure of its pattern (which depends on the grid
// alone, so that only a coefficient that is not a number can change it).
class HornAndSchunckLevel {
 public:
  // Arrays for a system of taille rows and `entries` places, kept from the last solve when large enough.
  void reserve(int taille, int entries);
  double* values() { return val_.data(); }
  int* columns() { return col_ind_.data(); }
  int* rows() { return row_ptr_.data(); }
  // Solves the system held in the arrays (tolerance 1e-6): false with the increment in UV (nc x nl x 2),
  // true when the solve failed (UV untouched); the lines of standard_CGS_inversion.
  bool solve(int taille, const MV_Vector_double& B, cimg_library::CImg<double>& UV);

  long solves() const { return solver_.solves(); }
  long structures() const { return solver_.structures(); }
  long cgsIterations() const { return solver_.iterations(); }

 private:
  std::vector<double> val_;
  std::vector<int> col_ind_, row_ptr_;
  std::vector<int> adoptedCols_, adoptedRows_;  // the pattern the solver's structure was derived from
  PatternCGSInversion solver_;
};

// HornAndSchunck with the arrays, the right-hand side and the incomplete-LU structure kept in `level`
// for the level's next solves: the same result and the same lines.
bool HornAndSchunck(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                    const cimg_library::CImg<double>& im_t, float alpha, const cimg_library::CImg<double>& data_out,
                    bool periodic, HornAndSchunckLevel& level);

// The same with link weights reg_out (two images of the field's size) in the smoothness term.
bool HornAndSchunck(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                    const cimg_library::CImg<double>& im_t, float alpha, const cimg_library::CImg<double>& data_out,
                    const cimg_library::CImgList<double>& reg_out, bool periodic);

// Leclerc data weights of the residual u*im_x + v*im_y + im_t of the field UV (nc x nl x 1 x 1,
// the size of im_x). A field or image that does not cover that grid ends the process with status 1.
cimg_library::CImg<double> RobustDataCoef(const cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& im_x,
                                          const cimg_library::CImg<double>& im_y,
                                          const cimg_library::CImg<double>& im_t, double sigma);

// Quasi-TV data weights of the same residual.
cimg_library::CImg<double> RobustDataCoef_QuasiTV(const cimg_library::CImg<double>& UV,
                                                  const cimg_library::CImg<double>& im_x,
                                                  const cimg_library::CImg<double>& im_y,
                                                  const cimg_library::CImg<double>& im_t, double sigma);
