#include "primal/horn_schunck.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "io/fail.h"
#include "primal/filters.h"
#include "primal/robust_weights.h"
#include "primal/solve_increment.h"
#include "primal/stencil_border.h"
#include "sparse/sparse.h"

using namespace cimg_library;

long long numberEntriesHornAndSchunck(int nc, int nl, bool periodic) {
  const long long c = nc, l = nl, N = c * l;
  if (periodic) return 2 * 5 * N + 2 * N;
  return 2 * ((5 * l - 2) * (c - 2) + 8 * l - 4) + 2 * N;
}

namespace {

// Takes the links that leave the grid out of the matrix: on each border pixel, side by side in the
// order left, right, upper, lower, hands the link's coefficient to take(target coefficient, link) and
// marks the link as no entry.
template <class Take>
void takeBorderLinks(int nc, int nl, CImg<double>& left, CImg<double>& leftTo, CImg<double>& right,
                     CImg<double>& rightTo, CImg<double>& up, CImg<double>& upTo, CImg<double>& down,
                     CImg<double>& downTo, Take take) {
  for (int i = 0; i < nl; ++i)
    for (int j = 0; j < nc; ++j) {
      if (j == 0) {
        take(leftTo(j, i), left(j, i));
        left(j, i) = kNoEntry;
      }
      if (j == nc - 1) {
        take(rightTo(j, i), right(j, i));
        right(j, i) = kNoEntry;
      }
      if (i == 0) {
        take(upTo(j, i), up(j, i));
        up(j, i) = kNoEntry;
      }
      if (i == nl - 1) {
        take(downTo(j, i), down(j, i));
        down(j, i) = kNoEntry;
      }
    }
}

}  // namespace

void fixNeumannConditions(int nc, int nl, CImg<double>& A1_i_1j, CImg<double>& A1_ij, CImg<double>& A1_i1j,
                          CImg<double>& A1_ij_1, CImg<double>& A1_ij1) {
  takeBorderLinks(nc, nl, A1_ij_1, A1_ij, A1_ij1, A1_ij, A1_i_1j, A1_ij, A1_i1j, A1_ij,
                  [](double& to, double link) { to += link; });
}

void fixPeriodConditions(int nc, int nl, CImg<double>& A1_i_1j, CImg<double>& A1_i1j, CImg<double>& A1_ij_1,
                         CImg<double>& A1_ij1, CImg<double>& A1_ijnc, CImg<double>& A1_ij0, CImg<double>& A1_inlj,
                         CImg<double>& A1_i0j) {
  takeBorderLinks(nc, nl, A1_ij_1, A1_ijnc, A1_ij1, A1_ij0, A1_i_1j, A1_inlj, A1_i1j, A1_i0j,
                  [](double& to, double link) { to = link; });
}

namespace {

// Coefficient images of one row block: the two same-pixel coefficients (on u and on v) and the
// neighbour and wrap-around couplings of the component whose equations the block holds.
struct RowBlock {
  CImg<double> A1_ij, A2_ij;
  CImg<double> up, down, left, right;   // _i_1j, _i1j, _ij_1, _ij1
  CImg<double> ijnc, ij0, inlj, i0j;    // wrap-around couplings of the periodic border
};

// Builds the block of the u rows (vRows false) or of the v rows, then applies the border rule.
// reg_out null: the plain smoothness term; otherwise its link weights.
void buildBlock(RowBlock& b, const CImg<double>& im_x, const CImg<double>& im_y, const CImg<double>& data_out,
                const CImgList<double>* reg_out, double alpha, bool vRows, bool periodic) {
  const int nc = im_x.width(), nl = im_x.height();
  for (CImg<double>* im : {&b.A1_ij, &b.A2_ij, &b.up, &b.down, &b.left, &b.right})
    im->assign(nc, nl, 1, 1);
  for (CImg<double>* im : {&b.ijnc, &b.ij0, &b.inlj, &b.i0j}) im->assign(nc, nl, 1, 1, kNoEntry);

  CImg<double> T0, T1;
  if (reg_out) {
    // The weights of the links to the left and upper neighbours, by the image library's periodic
    // translation (T0(x, y) = z0(x - 1, y), T1(x, y) = z1(x, y - 1)): a link's weight sits on its
    // left or upper pixel, so this keeps the matrix symmetric and equal to minus alpha times the
    // weighted Laplacian of the right-hand side; across the border T0 and T1 hold the wrap-around
    // link's weight, which the periodic rule needs and the Neumann rule folds away.
    T0 = (*reg_out)[0].get_shift(1, 0, 0, 0, 2);
    T1 = (*reg_out)[1].get_shift(0, 1, 0, 0, 2);
  }
  const double negAlpha = -alpha;
  for (int i = 0; i < nl; ++i)
    for (int j = 0; j < nc; ++j) {
      const double Ix = im_x(j, i), Iy = im_y(j, i), w = data_out(j, i);
      double smooth;
      if (reg_out) {
        const double z0 = (*reg_out)[0](j, i), z1 = (*reg_out)[1](j, i), t0 = T0(j, i), t1 = T1(j, i);
        smooth = alpha * (((z1 + t1) + z0) + t0);
        b.right(j, i) = negAlpha * z0;
        b.left(j, i) = negAlpha * t0;
        b.down(j, i) = negAlpha * z1;
        b.up(j, i) = negAlpha * t1;
      } else {
        smooth = alpha * 4.0;
        b.right(j, i) = b.left(j, i) = b.down(j, i) = b.up(j, i) = negAlpha;
      }
      if (vRows) {
        b.A1_ij(j, i) = (Ix * Iy) * w;
        b.A2_ij(j, i) = (Iy * Iy) * w + smooth;
      } else {
        b.A1_ij(j, i) = (Ix * Ix) * w + smooth;
        b.A2_ij(j, i) = (Ix * Iy) * w;
      }
    }
  CImg<double>& diag = vRows ? b.A2_ij : b.A1_ij;
  if (periodic)
    fixPeriodConditions(nc, nl, b.up, b.down, b.left, b.right, b.ijnc, b.ij0, b.inlj, b.i0j);
  else
    fixNeumannConditions(nc, nl, b.up, diag, b.down, b.left, b.right);
}

// Writes rows into the compressed-row arrays. On periodic grids narrower than 3 a wrapped neighbour
// can be a direct neighbour or the pixel itself; such rows are sorted by column and entries of the
// same column summed in the order they were produced, so that every column appears once.
class RowWriter {
 public:
  RowWriter(double* val, int* col_ind, bool mergeColumns) : val_(val), col_(col_ind), merge_(mergeColumns) {}

  void always(double c, int column) { push(c, column); }
  void optional(double c, int column) {
    if (!(c == kNoEntry) && !std::isnan(c)) push(c, column);
  }
  // Ends the current row; returns the number of entries written so far.
  int endRow() {
    if (merge_ && k_ > rowStart_) {
      std::stable_sort(pending_, pending_ + (k_ - rowStart_),
                       [](const std::pair<int, double>& a, const std::pair<int, double>& b) { return a.first < b.first; });
      int n = rowStart_;
      for (int e = 0; e < k_ - rowStart_; ++e) {
        if (n > rowStart_ && col_[n - 1] == pending_[e].first) {
          val_[n - 1] += pending_[e].second;
        } else {
          col_[n] = pending_[e].first;
          val_[n] = pending_[e].second;
          ++n;
        }
      }
      k_ = n;
    }
    rowStart_ = k_;
    return k_;
  }

 private:
  void push(double c, int column) {
    if (merge_) {
      pending_[k_ - rowStart_] = {column, c};
    } else {
      val_[k_] = c;
      col_[k_] = column;
    }
    ++k_;
  }

  double* val_;
  int* col_;
  bool merge_;
  int k_ = 0, rowStart_ = 0;
  std::pair<int, double> pending_[10];  // a row holds at most 10 entries
};

void fillRows(double* val, int* col_ind, int* row_ptr, const CImg<double>& im_x, const CImg<double>& im_y,
              const CImg<double>& data_out, const CImgList<double>* reg_out, float alpha, bool periodic) {
  const int nc = im_x.width(), nl = im_x.height(), N = nc * nl;
  const double a = alpha;
  RowWriter out(val, col_ind, periodic && (nc < 3 || nl < 3));
  RowBlock b;

  // u rows
  buildBlock(b, im_x, im_y, data_out, reg_out, a, false, periodic);
  row_ptr[0] = 0;
  for (int i = 0; i < nl; ++i)
    for (int j = 0; j < nc; ++j) {
      const int p = i * nc + j;
      out.optional(b.i0j(j, i), j);
      out.optional(b.up(j, i), p - nc);
      out.optional(b.ij0(j, i), i * nc);
      out.optional(b.left(j, i), p - 1);
      out.always(b.A1_ij(j, i), p);
      out.optional(b.right(j, i), p + 1);
      out.optional(b.ijnc(j, i), i * nc + nc - 1);
      out.optional(b.down(j, i), p + nc);
      out.optional(b.inlj(j, i), (nl - 1) * nc + j);
      out.always(b.A2_ij(j, i), N + p);
      row_ptr[p + 1] = out.endRow();
    }

  // v rows
  buildBlock(b, im_x, im_y, data_out, reg_out, a, true, periodic);
  for (int i = 0; i < nl; ++i)
    for (int j = 0; j < nc; ++j) {
      const int p = i * nc + j;
      out.always(b.A1_ij(j, i), p);
      out.optional(b.i0j(j, i), N + j);
      out.optional(b.up(j, i), N + p - nc);
      out.optional(b.ij0(j, i), N + i * nc);
      out.optional(b.left(j, i), N + p - 1);
      out.always(b.A2_ij(j, i), N + p);
      out.optional(b.right(j, i), N + p + 1);
      out.optional(b.ijnc(j, i), N + i * nc + nc - 1);
      out.optional(b.down(j, i), N + p + nc);
      out.optional(b.inlj(j, i), N + (nl - 1) * nc + j);
      row_ptr[N + p + 1] = out.endRow();
    }
}

std::string sizeText(const CImg<double>& im) {
  return std::to_string(im.width()) + "x" + std::to_string(im.height()) + "x" + std::to_string(im.depth());
}

void requirePlane(const char* name, const CImg<double>& im, int nc, int nl) {
  if (im.width() != nc || im.height() != nl)
    failRun(std::string("HornAndSchunck: ") + name + " is " + sizeText(im) + ", expected " + std::to_string(nc) +
            "x" + std::to_string(nl));
}

void requireField(const char* name, const CImg<double>& im, int nc, int nl) {
  if (im.width() != nc || im.height() != nl || im.depth() != 2)
    failRun(std::string("HornAndSchunck: ") + name + " is " + sizeText(im) + ", expected " + std::to_string(nc) +
            "x" + std::to_string(nl) + "x2");
}

}  // namespace

void HornAndSchunckLevel::reserve(int taille, int entries) {
  if (val_.size() < (size_t)entries) {
    val_.resize(entries);
    col_ind_.resize(entries);
  }
  row_ptr_.resize((size_t)taille + 1);
}

bool HornAndSchunckLevel::solve(int taille, const MV_Vector_double& B, CImg<double>& UV) {
  // The structure is derived anew when the pattern is not the one it was derived from.
  const int nnz = row_ptr_[taille];
  if (!solver_.adopted() || adoptedRows_ != row_ptr_ ||
      !std::equal(col_ind_.begin(), col_ind_.begin() + nnz, adoptedCols_.begin(), adoptedCols_.end())) {
    solver_.adopt(taille, nnz, val_.data(), row_ptr_.data(), col_ind_.data());
    adoptedRows_ = row_ptr_;
    adoptedCols_.assign(col_ind_.begin(), col_ind_.begin() + nnz);
  }
  const int code = solver_.solve(val_.data(), row_ptr_.data(), col_ind_.data(), B, 1e-6);
  if (code != 0) return true;
  const int nc = UV.width(), nl = UV.height();
  const double* x = solver_.solution().data();
  for (int c = 0; c < 2; ++c)
    for (int y = 0; y < nl; ++y)
      for (int xx = 0; xx < nc; ++xx) UV(xx, y, c) = x[(long)c * nc * nl + (long)y * nc + xx];
  return false;
}

namespace {

bool solveHornAndSchunck(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x,
                         const CImg<double>& im_y, const CImg<double>& im_t, float alpha,
                         const CImg<double>& data_out, const CImgList<double>* reg_out, bool periodic,
                         HornAndSchunckLevel* level = nullptr) {
  const int nc = im_x.width(), nl = im_x.height();
  if (nc < 1 || nl < 1) failRun("HornAndSchunck: empty derivative image");
  requirePlane("im_y", im_y, nc, nl);
  requirePlane("im_t", im_t, nc, nl);
  requirePlane("data_out", data_out, nc, nl);
  requireField("the accumulated field", UVtil, nc, nl);
  requireField("the increment image", UV, nc, nl);
  if (reg_out) {
    if (reg_out->size() < 2) failRun("HornAndSchunck: the link weights need two images");
    requirePlane("link weight image 0", (*reg_out)[0], nc, nl);
    requirePlane("link weight image 1", (*reg_out)[1], nc, nl);
  }

  const long long count = numberEntriesHornAndSchunck(nc, nl, periodic);
  if (count > INT_MAX)
    failRun("HornAndSchunck: a " + std::to_string(nc) + "x" + std::to_string(nl) + " grid needs " +
            std::to_string(count) + " matrix entries, more than the sparse solver can index");
  const int nombre = (int)count;
  const int N = nc * nl, taille = 2 * N;

  std::unique_ptr<double[]> ownVal;
  std::unique_ptr<int[]> ownCol, ownRows;
  double* val;
  int *col_ind, *row_ptr;
  if (level) {
    level->reserve(taille, nombre);
    val = level->values();
    col_ind = level->columns();
    row_ptr = level->rows();
  } else {
    ownVal.reset(new double[nombre]);
    ownCol.reset(new int[nombre]);
    ownRows.reset(new int[taille + 1]);
    val = ownVal.get();
    col_ind = ownCol.get();
    row_ptr = ownRows.get();
  }
  MV_Vector_double B(taille, 0.0);

  const CImg<double> Util = UVtil.get_slice(0), Vtil = UVtil.get_slice(1);
  const CImg<double> Delta_Util = reg_out ? laplacian(Util, *reg_out, periodic) : laplacian(Util, periodic);
  const CImg<double> Delta_Vtil = reg_out ? laplacian(Vtil, *reg_out, periodic) : laplacian(Vtil, periodic);

  fillRows(val, col_ind, row_ptr, im_x, im_y, data_out, reg_out, alpha, periodic);

  const double a = alpha;
  double* b = B.data();
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      const int p = y * nc + x;
      const double w = data_out(x, y);
      b[p] = a * Delta_Util(x, y) - (w * im_x(x, y)) * im_t(x, y);
      b[N + p] = a * Delta_Vtil(x, y) - (w * im_y(x, y)) * im_t(x, y);
    }

  if (level) return level->solve(taille, B, UV);
  CImg<double> X(nc, nl, 2, 1);
  return solveIncrement(taille, row_ptr[taille], val, row_ptr, col_ind, B, X, UV);
}

}  // namespace

void fillingSparseHessian_A_HS(double* val, int* col_ind, int* row_ptr, const CImg<double>& im_x,
                               const CImg<double>& im_y, const CImg<double>& data_out, float alpha, int /*nombre*/,
                               bool periodic) {
  fillRows(val, col_ind, row_ptr, im_x, im_y, data_out, nullptr, alpha, periodic);
}

void fillingSparseHessian_A_HS(double* val, int* col_ind, int* row_ptr, const CImg<double>& im_x,
                               const CImg<double>& im_y, const CImg<double>& data_out, const CImgList<double>& reg_out,
                               float alpha, int /*nombre*/, bool periodic) {
  fillRows(val, col_ind, row_ptr, im_x, im_y, data_out, &reg_out, alpha, periodic);
}

bool HornAndSchunck(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x, const CImg<double>& im_y,
                    const CImg<double>& im_t, float alpha, const CImg<double>& data_out, bool periodic) {
  return solveHornAndSchunck(UV, UVtil, im_x, im_y, im_t, alpha, data_out, nullptr, periodic);
}

bool HornAndSchunck(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x, const CImg<double>& im_y,
                    const CImg<double>& im_t, float alpha, const CImg<double>& data_out, bool periodic,
                    HornAndSchunckLevel& level) {
  return solveHornAndSchunck(UV, UVtil, im_x, im_y, im_t, alpha, data_out, nullptr, periodic, &level);
}

bool HornAndSchunck(CImg<double>& UV, const CImg<double>& UVtil, const CImg<double>& im_x, const CImg<double>& im_y,
                    const CImg<double>& im_t, float alpha, const CImg<double>& data_out,
                    const CImgList<double>& reg_out, bool periodic) {
  return solveHornAndSchunck(UV, UVtil, im_x, im_y, im_t, alpha, data_out, &reg_out, periodic);
}

namespace {

// The weight functions read u, v, im_y and im_t over the grid of im_x.
void requireWeightInputs(const char* who, const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                         const CImg<double>& im_t) {
  const int nc = im_x.width(), nl = im_x.height();
  const auto covers = [&](const CImg<double>& im, int depth) {
    return im.width() >= nc && im.height() >= nl && im.depth() >= depth;
  };
  if (!covers(UV, 2) || !covers(im_y, 1) || !covers(im_t, 1))
    failRun(std::string(who) + ": the field (" + sizeText(UV) + "), im_y (" + sizeText(im_y) + ") or im_t (" +
            sizeText(im_t) + ") does not cover the " + std::to_string(nc) + "x" + std::to_string(nl) +
            " grid of im_x");
}

}  // namespace

CImg<double> RobustDataCoef(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                            const CImg<double>& im_t, double sigma) {
  requireWeightInputs("RobustDataCoef", UV, im_x, im_y, im_t);
  const CImg<double> u = UV.get_slice(0), v = UV.get_slice(1);
  CImg<double> res(im_x.width(), im_x.height(), 1, 1);
  Data_Out_Gen_f(u, v, im_x, im_y, im_t, (float)sigma, im_x.width(), im_x.height(), res);
  return res;
}

CImg<double> RobustDataCoef_QuasiTV(const CImg<double>& UV, const CImg<double>& im_x, const CImg<double>& im_y,
                                    const CImg<double>& im_t, double sigma) {
  requireWeightInputs("RobustDataCoef_QuasiTV", UV, im_x, im_y, im_t);
  const CImg<double> u = UV.get_slice(0), v = UV.get_slice(1);
  CImg<double> res(im_x.width(), im_x.height(), 1, 1);
  Data_Out_Gen_f_QuasiTV(u, v, im_x, im_y, im_t, (float)sigma, im_x.width(), im_x.height(), res);
  return res;
}
