// The K41 stencil builder and row writer, shared by the entry count, the Hessian fill and the
// log-determinant's fill.
//
// The coefficients are defined by whole-image operations per lag: for each lag, pixelwise products of
// a weight image (or its copy shifted by the pair's offset with zero fill) with 0/1 masks of the centre
// band, scaled and accumulated into one image per neighbour offset. Every such operation writes a pixel
// from inputs at that pixel (and the weight at the pair's other end), so the coefficients of one row
// can be computed alone: buildRow replays, for one pixel, exactly the operations of the whole-image
// formulation on that pixel, in the same order and with the same operands (mask values 0.0 and 1.0
// included), which gives the same values bit for bit without holding 16 (lo - neta + 1) images.
#include <CImg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iostream>
#include <sstream>

#include "io/fail.h"
#include "primal/k41_detail.h"

using namespace cimg_library;

namespace k41_detail {

namespace {

const double kOne = 1.0, kZero = 0.0;

std::string sizeText(const CImg<double>& im) {
  std::ostringstream s;
  s << im.width() << " x " << im.height();
  return s.str();
}

Plane planeOf(const char* who, const char* name, const CImg<double>& im, int nc, int nl) {
  if (im.width() < nc || im.height() < nl) {
    std::ostringstream s;
    s << who << ": image " << name << " is " << sizeText(im) << ", smaller than the grid " << nc << " x " << nl;
    failRun(s.str());
  }
  Plane p;
  p.p = im.data();
  p.w = im.width();
  return p;
}

// Weights of list `which` for list indices 0 .. count - 1.
std::vector<Weight> weightsOf(const char* who, const char* name, const WeightLists& W, int which, int count,
                              int nc, int nl) {
  std::vector<Weight> out(std::max(count, 0));
  if (!W.list[which]) {
    const double* c = W.constant[which] == 1.0 ? &kOne : W.constant[which] == 0.0 ? &kZero : nullptr;
    for (Weight& w : out) {
      w.p = c ? c : &W.constant[which];
      w.sx = w.sy = 0;
    }
    return out;
  }
  const CImgList<double>& list = *W.list[which];
  if ((int)list.size() < count) {
    std::ostringstream s;
    s << who << ": weight list " << name << " holds " << list.size() << " images, " << count << " needed";
    failRun(s.str());
  }
  for (int k = 0; k < count; ++k) {
    const CImg<double>& im = list[k];
    if (im.width() < nc || im.height() < nl) {
      std::ostringstream s;
      s << who << ": image " << k << " of weight list " << name << " is " << sizeText(im)
        << ", smaller than the grid " << nc << " x " << nl;
      failRun(s.str());
    }
    out[k].p = im.data();
    out[k].sx = 1;
    out[k].sy = im.width();
  }
  return out;
}

const char* kWeightNames[8] = {"z_right",   "z_down",   "z_rightDown",   "z_rightUp",
                               "z_t_right", "z_t_down", "z_t_rightDown", "z_t_rightUp"};

inline bool isEntry(double v) { return !(v == kNoEntry) && !std::isnan(v); }

// The two increment families of one direction, as whole-image updates restricted to one pixel:
// family A, the pair that starts at a centre (and the one ending here whose start is a centre);
// family B, the pair that ends at a centre (and the one starting here whose end is a centre).
inline void familyA(double& self, double& ahead, double& back, double s, double w, double wb, double Mc, double Mb,
                    double q) {
  self = self + (s * w * Mc + s * wb * Mb) * q;
  ahead = ahead - s * w * Mc * q;
  back = back - s * wb * Mb * q;
}
inline void familyB(double& self, double& ahead, double& back, double s, double w, double wb, double Mc, double Ma,
                    double q) {
  self = self + (s * wb * Mc + s * w * Ma) * q;
  back = back - s * wb * Mc * q;
  ahead = ahead - s * w * Ma * q;
}

struct Masks {
  double L1, L2, L3, C1, C2, C3;
};

inline Masks masksAt(int nc, int nl, int l, int x, int y) {
  Masks m;
  m.L1 = (l <= x && x < nc - l) ? 1.0 : 0.0;
  m.L2 = (x >= 2 * l) ? 1.0 : 0.0;
  m.L3 = (x < nc - 2 * l) ? 1.0 : 0.0;
  m.C1 = (l <= y && y < nl - l) ? 1.0 : 0.0;
  m.C2 = (y >= 2 * l) ? 1.0 : 0.0;
  m.C3 = (y < nl - 2 * l) ? 1.0 : 0.0;
  return m;
}

// Horizontal pairs of lag l with weight w (list index k) into block A (self s).
inline void horizontal(const Setup& S, double* A, double& self, const Weight& W, int k, int l, int x, int y,
                       const Masks& m, double q) {
  const int n = S.nList;
  const double w = W(x, y);
  const double wb = x - l >= 0 ? W(x - l, y) : 0.0;
  double& ahead = A[ijl * n + k];
  double& back = A[ij_l * n + k];
  familyA(self, ahead, back, 1.0, w, wb, m.L1, m.L2, q);
  familyB(self, ahead, back, 1.0, w, wb, m.L1, m.L3, q);
}

inline void vertical(const Setup& S, double* A, double& self, const Weight& W, int k, int l, int x, int y,
                     const Masks& m, double q) {
  const int n = S.nList;
  const double w = W(x, y);
  const double wb = y - l >= 0 ? W(x, y - l) : 0.0;
  double& ahead = A[ilj * n + k];
  double& back = A[i_lj * n + k];
  familyA(self, ahead, back, 1.0, w, wb, m.C1, m.C2, q);
  familyB(self, ahead, back, 1.0, w, wb, m.C1, m.C3, q);
}

// Diagonal pairs of step l: right-down then right-up, each with its longitudinal weight a (factor sa)
// and its transverse weight b (factor sb): family A with a, family A with b, family B with a, family B
// with b. skip[list] leaves out the families of a weight list that add zeros only (see buildRow).
inline void diagonals(const Setup& S, double* A, double& self, int k, int l, int x, int y, const Masks& m, double q,
                      double sdA, double sdB, double suA, double suB, const bool* skip) {
  const int n = S.nList, nl = S.nl;
  const double M11 = m.C1 * m.L1, M22 = m.C2 * m.L2, M33 = m.C3 * m.L3;
  const double M32 = m.C3 * m.L2, M23 = m.C2 * m.L3;
  {
    const Weight& Wa = S.w[zRD][k];
    const Weight& Wb = S.w[ztRD][k];
    const bool in = x - l >= 0 && y - l >= 0;
    const double a = Wa(x, y), ab = in ? Wa(x - l, y - l) : 0.0;
    const double b = Wb(x, y), bb = in ? Wb(x - l, y - l) : 0.0;
    double& ahead = A[iljl * n + k];
    double& back = A[i_lj_l * n + k];
    if (!skip[zRD]) familyA(self, ahead, back, sdA, a, ab, M11, M22, q);
    if (!skip[ztRD]) familyA(self, ahead, back, sdB, b, bb, M11, M22, q);
    if (!skip[zRD]) familyB(self, ahead, back, sdA, a, ab, M11, M33, q);
    if (!skip[ztRD]) familyB(self, ahead, back, sdB, b, bb, M11, M33, q);
  }
  {
    const Weight& Wa = S.w[zRU][k];
    const Weight& Wb = S.w[ztRU][k];
    const bool in = x - l >= 0 && y + l < nl;
    const double a = Wa(x, y), ab = in ? Wa(x - l, y + l) : 0.0;
    const double b = Wb(x, y), bb = in ? Wb(x - l, y + l) : 0.0;
    double& ahead = A[i_ljl * n + k];
    double& back = A[ilj_l * n + k];
    if (!skip[zRU]) familyA(self, ahead, back, suA, a, ab, M11, M32, q);
    if (!skip[ztRU]) familyA(self, ahead, back, suB, b, bb, M11, M32, q);
    if (!skip[zRU]) familyB(self, ahead, back, suA, a, ab, M11, M23, q);
    if (!skip[ztRU]) familyB(self, ahead, back, suB, b, bb, M11, M23, q);
  }
}

// Row layout of one row: u-column block then v-column block; in each, the upper group, the left
// entries, the self entry, the right entries and the lower group. `coef(b, d, k)` and `self(b)` give
// the coefficients; `put(value, column)` stores one entry.
template <class Coef, class Self, class Put>
inline void walkRow(int nc, long N, int neta, int lo, int l0, int lend, bool vRows, int x, int y, const Coef& coef,
                    const Self& self, Put& put) {
  const long p = (long)y * nc + x;
  for (int b = 0; b < 2; ++b) {
    const long base = b ? N : 0;
    // The entries at lag l on the line that starts at column `row`: diagonal to the left, vertical,
    // diagonal to the right.
    auto line = [&](long row, int l, Dir left, Dir vertical, Dir right) {
      if (l <= lend) {
        const double v = coef(b, left, l - l0);
        if (isEntry(v)) put(v, row + x - l);
      }
      if (l >= neta) {
        const double v = coef(b, vertical, l - neta);
        if (isEntry(v)) put(v, row + x);
      }
      if (l <= lend) {
        const double v = coef(b, right, l - l0);
        if (isEntry(v)) put(v, row + x + l);
      }
    };
    auto upper = [&](int l) { line(base + (long)(y - l) * nc, l, i_lj_l, i_lj, i_ljl); };
    if (vRows && b == 0)
      for (int l = l0; l <= lo; ++l) upper(l);
    else
      for (int l = lo; l >= l0; --l) upper(l);
    for (int l = lo; l >= l0; --l)
      if (l >= neta) {
        const double v = coef(b, ij_l, l - neta);
        if (isEntry(v)) put(v, base + p - l);
      }
    put(self(b), base + p);
    for (int l = l0; l <= lo; ++l)
      if (l >= neta) {
        const double v = coef(b, ijl, l - neta);
        if (isEntry(v)) put(v, base + p + l);
      }
    for (int l = l0; l <= lo; ++l) line(base + (long)(y + l) * nc, l, ilj_l, ilj, iljl);
  }
}

// Stores entries while they fit; counts them all.
struct ArraySink {
  double* val;
  int* col_ind;
  std::int64_t capacity;
  std::int64_t k;
  void operator()(double v, long column) {
    if (k < capacity) {
      val[k] = v;
      col_ind[k] = (int)column;
    }
    ++k;
  }
};

struct CountSink {
  std::int64_t k;
  void operator()(double, long) { ++k; }
};

void refuseEntryCount(const char* who, std::int64_t count) {
  std::ostringstream s;
  s << who << ": the K41 system needs " << count << " entries, more than 32-bit indices can address";
  failRun(s.str());
}

}  // namespace

void checkScaleInterval(const char* who, int neta, int lo) {
  if (neta < 0 || neta > lo) {
    std::ostringstream s;
    s << who << ": scale interval [" << neta << ", " << lo << "] refused (0 <= neta <= lo is required)";
    failRun(s.str());
  }
}

void reportLoLimit(int nc, int nl, int lo, std::ostream& out) {
  if ((double)lo > nc * 0.5 - 1.0 || (double)lo > nl * 0.5 - 1.0)
    out << "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1" << std::endl;
}

void checkGridSize(const char* who, int nc, int nl) {
  if (nc < 0 || nl < 0 || 2 * (std::int64_t)nc * nl + 1 > INT_MAX) {
    std::ostringstream s;
    s << who << ": a grid of " << nc << " x " << nl << " gives a system too large for 32-bit indices";
    failRun(s.str());
  }
}

Setup makeSetup(const char* who, int nc, int nl, const CImg<double>* IxIx, const CImg<double>* IxIy,
                const CImg<double>* IyIy, const CImg<double>& data_out, const CImg<double>& lambda_S2,
                const CImg<double>& lambda_S2_cross, const WeightLists& W, int neta, int lo) {
  checkScaleInterval(who, neta, lo);
  checkGridSize(who, nc, nl);
  Setup S;
  S.nc = nc;
  S.nl = nl;
  S.N = (long)nc * nl;
  S.neta = neta;
  S.lo = lo;
  S.l0 = k41FirstDiagonalStep(neta);
  S.lend = k41LastDiagonalStep(lo);
  S.nList = lo - neta + 1;
  if (IxIx) S.IxIx = planeOf(who, "IxIx", *IxIx, nc, nl);
  if (IxIy) S.IxIy = planeOf(who, "IxIy", *IxIy, nc, nl);
  if (IyIy) S.IyIy = planeOf(who, "IyIy", *IyIy, nc, nl);
  S.data = planeOf(who, "data_out", data_out, nc, nl);
  if (lo < S.l0) return S;  // no lag enters: only the same-pixel entries

  // Lists: horizontal/vertical ones indexed l - neta up to lo, diagonal ones l - l0 up to lend.
  const int nHV = lo - neta + 1, nX = S.lend - S.l0 + 1;
  for (int i = 0; i < 8; ++i) {
    const bool diag = i == zRD || i == zRU || i == ztRD || i == ztRU;
    S.w[i] = weightsOf(who, kWeightNames[i], W, i, diag ? nX : nHV, nc, nl);
  }
  if (W.list[ztD]) {
    S.transverse = W.list[ztD]->size() > 0 && (*W.list[ztD])[0].sum() != 0.0;
  } else {
    S.transverse = S.N > 0 && W.constant[ztD] != 0.0;
  }
  for (int i = 0; i < 8; ++i) S.zeroList[i] = !W.list[i] && W.constant[i] == 0.0;

  if ((long)lambda_S2.size() < lo + 1 || (long)lambda_S2_cross.size() < S.lend + 1) {
    std::ostringstream s;
    s << who << ": multiplier vectors of " << lambda_S2.size() << " and " << lambda_S2_cross.size()
      << " entries, at least " << lo + 1 << " and " << S.lend + 1 << " needed";
    failRun(s.str());
  }
  S.lambdaHV.assign(lo + 1, 0.0);
  S.lambdaX.assign(lo + 1, 0.0);
  S.gHV.assign(lo + 1, 0);
  S.gX.assign(lo + 1, 0);
  S.useHV.assign(lo + 1, 0);
  S.useX.assign(lo + 1, 0);
  for (int l = S.l0; l <= lo; ++l) {
    if (l >= neta) {
      std::int64_t g = k41NormaliserHV(nc, nl, l);
      if (S.transverse) g *= 2;
      S.gHV[l] = g;
      S.useHV[l] = g > 0;
      S.lambdaHV[l] = lambda_S2.data()[l];
    }
    if (l <= S.lend) {
      std::int64_t g = k41NormaliserCross(nc, nl, l);
      if (S.transverse) g *= 2;
      S.gX[l] = g;
      S.useX[l] = g > 0;
      S.lambdaX[l] = lambda_S2_cross.data()[l];
    }
  }
  return S;
}

void buildRow(const Setup& S, bool vRows, int x, int y, RowCoefs& R) {
  if (R.nList != S.nList) R.init(S.nList);
  std::fill(R.c.begin(), R.c.end(), 0.0);
  const double d = S.data(x, y);
  double s1, s2;
  if (!vRows) {
    s1 = S.IxIx(x, y) * d;
    s2 = S.IxIy(x, y) * d;
  } else {
    s1 = S.IxIy(x, y) * d;
    s2 = S.IyIy(x, y) * d;
  }
  double* A1 = R.block(0);
  double* A2 = R.block(1);
  const double P = kP;
  // The pairs of a weight list that is 0 everywhere contribute products of 0 with the finite masks and
  // factors, zeros, as long as the lag's factor q is finite; adding a zero changes a coefficient only
  // when it is -0. The neighbour coefficients start at +0 and never become -0 (a sum is -0 only when
  // both of its terms are), so such families are left out unless the same-pixel coefficient of their
  // block starts at -0.
  bool skip1[8], skip2[8], none[8] = {};
  const bool quiet1 = !(s1 == 0.0 && std::signbit(s1)), quiet2 = !(s2 == 0.0 && std::signbit(s2));
  for (int i = 0; i < 8; ++i) {
    skip1[i] = quiet1 && S.zeroList[i];
    skip2[i] = quiet2 && S.zeroList[i];
  }
  for (int l = S.l0; l <= S.lo; ++l) {
    const bool hv = S.useHV[l], cross = S.useX[l];
    if (!hv && !cross) continue;
    const Masks m = masksAt(S.nc, S.nl, l, x, y);
    const int k = l - S.neta, kd = l - S.l0;
    // q = multiplier / normaliser, as the whole-image build scales every term.
    const double qHV = hv ? S.lambdaHV[l] / (double)S.gHV[l] : 0.0;
    const double qX = cross ? S.lambdaX[l] / (double)S.gX[l] : 0.0;
    const bool* const sHV1 = std::isfinite(qHV) ? skip1 : none;
    const bool* const sHV2 = std::isfinite(qHV) ? skip2 : none;
    const bool* const sX1 = std::isfinite(qX) ? skip1 : none;
    const bool* const sX2 = std::isfinite(qX) ? skip2 : none;
    if (!vRows) {
      if (hv) {
        if (!sHV1[zR]) horizontal(S, A1, s1, S.w[zR][k], k, l, x, y, m, qHV);
        if (!sHV1[ztD]) vertical(S, A1, s1, S.w[ztD][k], k, l, x, y, m, qHV);
      }
      if (cross) {
        diagonals(S, A1, s1, kd, l, x, y, m, qX, +P, +P, +P, +P, sX1);
        diagonals(S, A2, s2, kd, l, x, y, m, qX, +P, -P, -P, +P, sX2);
      }
    } else {
      if (cross) diagonals(S, A1, s1, kd, l, x, y, m, qX, +P, -P, -P, +P, sX1);
      if (hv) {
        if (!sHV2[zD]) vertical(S, A2, s2, S.w[zD][k], k, l, x, y, m, qHV);
        if (!sHV2[ztR]) horizontal(S, A2, s2, S.w[ztR][k], k, l, x, y, m, qHV);
      }
      if (cross) diagonals(S, A2, s2, kd, l, x, y, m, qX, +P, +P, +P, +P, sX2);
    }
  }
  R.self[0] = s1;
  R.self[1] = s2;
  for (double& v : R.c)
    if (v == 0.0 || std::isnan(v)) v = kNoEntry;
}

namespace {

// The ring held fixed on the coefficients of the row of pixel (x, y), as the Dirichlet fixes of the
// coefficient images leave it: a ring row has 1 on its diagonal and 0 as its same-pixel coupling, and
// every lag coupling of a ring pixel or into one becomes 0 (absent ones stay absent). A coupling that
// would leave the grid is always absent (its terms are products with a zero mask or weight).
void fixRingRow(const Setup& S, bool vRows, int x, int y, RowCoefs& R) {
  // No coupling reaches further than lo columns and lines.
  if (x > S.lo && y > S.lo && x < S.nc - 1 - S.lo && y < S.nl - 1 - S.lo) return;
  auto onRing = [&S](long px, long py) { return px == 0 || py == 0 || px == S.nc - 1 || py == S.nl - 1; };
  const bool ring = onRing(x, y);
  if (ring) {
    R.self[vRows ? 1 : 0] = 1.0;
    R.self[vRows ? 0 : 1] = 0.0;
  }
  // Offsets of the directions ijl, ij_l, ilj, i_lj, iljl, i_lj_l, ilj_l, i_ljl.
  static const int dx[8] = {1, -1, 0, 0, 1, -1, -1, 1}, dy[8] = {0, 0, 1, -1, 1, -1, 1, -1};
  for (int b = 0; b < 2; ++b)
    for (int d = 0; d < 8; ++d)
      for (int k = 0; k < S.nList; ++k) {
        double& v = R.block(b)[d * S.nList + k];
        const long l = k + (d < 4 ? S.neta : S.l0);
        if (v != kNoEntry && (ring || onRing(x + dx[d] * l, y + dy[d] * l))) v = 0.0;
      }
}

// Builds and walks the rows of one half, pixel by pixel (with the ring held fixed when ringFixed);
// rowEnd(r, k) follows row r, k being the entry number after it.
template <class Sink, class RowEnd>
void walkHalf(const Setup& S, bool vRows, Sink& sink, RowEnd rowEnd, bool ringFixed = false) {
  const int nc = S.nc, nl = S.nl;
  const long N = S.N;
  RowCoefs R;
  R.init(S.nList);
  auto coef = [&R](int b, int d, int i) { return R.get(b, d, i); };
  auto self = [&R](int b) { return R.self[b]; };
  const long rowBase = vRows ? N : 0;
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      buildRow(S, vRows, x, y, R);
      if (ringFixed) fixRingRow(S, vRows, x, y, R);
      walkRow(nc, N, S.neta, S.lo, S.l0, S.lend, vRows, x, y, coef, self, sink);
      rowEnd(rowBase + (long)y * nc + x, sink.k);
    }
}

// Writes row_ptr (2N + 1 elements) as the rows end; row_ptr[0] = 0 with the u rows.
template <class Sink>
void walkHalfInto(const Setup& S, bool vRows, Sink& sink, int* row_ptr, bool ringFixed = false) {
  if (!vRows) row_ptr[0] = 0;
  walkHalf(
      S, vRows, sink, [row_ptr](long r, std::int64_t k) { row_ptr[r + 1] = (int)std::min<std::int64_t>(k, INT_MAX); },
      ringFixed);
}

// Stores into vectors that grow when an entry does not fit; entries beyond int indices are refused, or
// only counted (overflow) when refuse is false.
struct GrowSink {
  std::vector<double>& val;
  std::vector<int>& col_ind;
  std::int64_t k;
  bool refuse, overflow;
  void operator()(double v, long column) {
    if ((size_t)k >= val.size()) {
      if (k >= INT_MAX) {
        if (refuse) refuseEntryCount("fillingSparseHessian_A", k + 1);
        overflow = true;
        ++k;
        return;
      }
      const size_t n = std::max<size_t>(val.size() + val.size() / 4, val.size() + 4096);
      val.resize(n);
      col_ind.resize(n);
    }
    val[k] = v;
    col_ind[k] = (int)column;
    ++k;
  }
};

// Writes the values of entries whose place the pattern already holds: entry k must have the column
// that the pattern gives it; anything else marks the pattern as another one.
struct PatternSink {
  double* val;
  const int* col_ind;
  std::int64_t nnz;
  std::int64_t k;
  bool same;
  void operator()(double v, long column) {
    if (k < nnz && col_ind[k] == column)
      val[k] = v;
    else
      same = false;
    ++k;
  }
};

}  // namespace

std::int64_t writeHalf(const Setup& S, bool vRows, double* val, int* col_ind, int* row_ptr, std::int64_t capacity,
                       std::int64_t k) {
  if (!row_ptr) {
    CountSink sink{k};
    walkHalf(S, vRows, sink, [](long, std::int64_t) {});
    return sink.k;
  }
  ArraySink sink{val, col_ind, capacity, k};
  walkHalfInto(S, vRows, sink, row_ptr);
  return sink.k;
}

std::int64_t countEntries(const Setup& S) {
  std::int64_t k = writeHalf(S, false, nullptr, nullptr, nullptr, 0, 0);
  return writeHalf(S, true, nullptr, nullptr, nullptr, 0, k);
}

bool fillGrowing(const Setup& S, K41Csr& A, bool ringFixed) {
  A.row_ptr.assign(2 * S.N + 1, 0);
  if (A.col_ind.size() != A.val.size()) A.col_ind.resize(A.val.size());
  GrowSink sink{A.val, A.col_ind, 0, !ringFixed, false};
  walkHalfInto(S, false, sink, A.row_ptr.data(), ringFixed);
  walkHalfInto(S, true, sink, A.row_ptr.data(), ringFixed);
  return !sink.overflow;
}

bool fillValuesInPattern(const Setup& S, K41Csr& A, bool ringFixed) {
  if (A.row_ptr.size() != (size_t)(2 * S.N + 1)) return false;
  const int* rp = A.row_ptr.data();
  PatternSink sink{A.val.data(), A.col_ind.data(), A.nnz(), 0, true};
  auto rowEnd = [&sink, rp](long r, std::int64_t k) { sink.same = sink.same && rp[r + 1] == k; };
  walkHalf(S, false, sink, rowEnd, ringFixed);
  if (sink.same) walkHalf(S, true, sink, rowEnd, ringFixed);
  return sink.same;
}

void reportCountMismatch(std::int64_t written, int nombre, std::ostream& out) {
  if (written != nombre)
    out << "ERROR : number non zero elements not identical to prevision: " << written << "!=" << nombre
        << std::endl;
}

}  // namespace k41_detail

using namespace k41_detail;

K41LagWeights k41ListWeights(const CImgList<double>& z_right, const CImgList<double>& z_down,
                         const CImgList<double>& z_rightDown, const CImgList<double>& z_rightUp,
                         const CImgList<double>& z_t_right, const CImgList<double>& z_t_down,
                         const CImgList<double>& z_t_rightDown, const CImgList<double>& z_t_rightUp) {
  K41LagWeights W;
  const CImgList<double>* l[8] = {&z_right,   &z_down,   &z_rightDown,   &z_rightUp,
                                  &z_t_right, &z_t_down, &z_t_rightDown, &z_t_rightUp};
  for (int i = 0; i < 8; ++i) W.list[i] = l[i];
  return W;
}

K41LagWeights k41ConstantWeights(double longitudinal, double transverse) {
  K41LagWeights W;
  for (int i = 0; i < 4; ++i) {
    W.constant[i] = longitudinal;
    W.constant[i + 4] = transverse;
  }
  return W;
}

ConstantLagWeights::ConstantLagWeights(int count, int nc, int nl, double value) : image(nc, nl, 1, 1, value) {
  if (count > 0) list.insert((unsigned)count, image, ~0U, true);
}

int k41FirstDiagonalStep(int neta) { return (int)(neta * 0.7071067811865475 + 1); }
int k41LastDiagonalStep(int lo) { return (int)(lo * 0.7071067811865475 + 1); }

std::int64_t k41NormaliserHV(int nc, int nl, int l) {
  return 2 * ((std::int64_t)nc * (nl - 2 * (std::int64_t)l) + (std::int64_t)nl * (nc - 2 * (std::int64_t)l));
}
std::int64_t k41NormaliserCross(int nc, int nl, int l) {
  return 4 * ((std::int64_t)nl - 2 * (std::int64_t)l) * ((std::int64_t)nc - 2 * (std::int64_t)l);
}
