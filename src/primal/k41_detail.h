// Internal to the K41 system code (k41_*.cpp, primal_minimizer.cpp): the per-call setup shared by the
// stencil builder, the row writer and the right-hand side. Not part of the folder's public headers.
#pragma once

#include <CImg.h>

#include <cstdint>
#include <iostream>
#include <vector>

#include "field/field.h"
#include "primal/k41_stencil.h"
#include "primal/stencil_border.h"

namespace k41_detail {

// 0.7071067811865475 squared in double precision: the projection product of the diagonal pairs.
constexpr double kP = 0.4999999999999999;

// Read-only view of a one-plane image, addressed with its own width.
struct Plane {
  const double* p = nullptr;
  long w = 0;
  double operator()(int x, int y) const { return p[x + y * w]; }
};

// One lag weight: an image of a list, or one constant for every pixel (both strides 0).
struct Weight {
  const double* p = nullptr;
  long sx = 0, sy = 0;
  double operator()(int x, int y) const { return p[x * sx + y * sy]; }
};

// The eight lag weight lists (see K41LagWeights), by name.
enum WeightName { zR, zD, zRD, zRU, ztR, ztD, ztRD, ztRU };
using WeightLists = K41LagWeights;

// Neighbour directions of the coefficient lists.
enum Dir { ijl, ij_l, ilj, i_lj, iljl, i_lj_l, ilj_l, i_ljl };

// Everything one assembly needs, checked and derived once per call.
struct Setup {
  int nc = 0, nl = 0, neta = 0, lo = 0, l0 = 1, lend = 1, nList = 0;
  long N = 0;
  Plane IxIx, IxIy, IyIy, data;   // data products (only for the matrix) and data weights
  std::vector<Weight> w[8];       // per weight list, one entry per list index
  bool transverse = false;        // normalisers doubled
  bool zeroList[8] = {};          // the weight list is the constant 0
  std::vector<double> lambdaHV, lambdaX;  // multipliers, by l
  std::vector<std::int64_t> gHV, gX;      // normalisers after doubling, by l
  std::vector<char> useHV, useX;          // lag (step) l enters the system
};

// Checks the arguments (ending the process with a message naming `who` on misuse) and derives the
// setup. The products may be null (right-hand side); data_out is required.
Setup makeSetup(const char* who, int nc, int nl, const cimg_library::CImg<double>* IxIx,
                const cimg_library::CImg<double>* IxIy, const cimg_library::CImg<double>* IyIy,
                const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                const cimg_library::CImg<double>& lambda_S2_cross, const WeightLists& W, int neta, int lo);

// Refuses neta < 0 or neta > lo with a message naming `who`.
void checkScaleInterval(const char* who, int neta, int lo);

// Prints the scale-interval line when lo exceeds half the grid.
void reportLoLimit(int nc, int nl, int lo, std::ostream& out = std::cout);

// Refuses a grid whose system of 2 nc nl unknowns cannot be indexed by int.
void checkGridSize(const char* who, int nc, int nl);

// Coefficients of one row (u or v equation of one pixel): the two same-pixel coefficients and the
// sixteen neighbour coefficients per list index, zero couplings already turned into kNoEntry.
struct RowCoefs {
  int nList = 0;
  double self[2] = {0.0, 0.0};
  std::vector<double> c;  // [block][direction][list index]
  void init(int n) {
    nList = n;
    c.assign(16 * (size_t)n, 0.0);
  }
  double* block(int b) { return c.data() + (size_t)b * 8 * nList; }
  double get(int b, int d, int k) const { return c[((size_t)b * 8 + d) * nList + k]; }
};

// The stencil builder: the coefficients of the u row (vRows false) or v row (vRows true) of pixel (x, y).
void buildRow(const Setup& S, bool vRows, int x, int y, RowCoefs& R);

// Walks one half of the system and writes it through a sink; returns the entry number after its last
// row. With row_ptr null only the count is made. Entries with number >= capacity are not written.
std::int64_t writeHalf(const Setup& S, bool vRows, double* val, int* col_ind, int* row_ptr,
                       std::int64_t capacity, std::int64_t k);

// Counts the entries of both halves.
std::int64_t countEntries(const Setup& S);

// Writes both halves into arrays that grow to what is written, refusing (exit status 1) more entries
// than int indices address; with ringFixed, the log-determinant's rows and false instead of a refusal.
bool fillGrowing(const Setup& S, K41Csr& A, bool ringFixed = false);

// Writes the values of both halves into arrays that already hold the pattern (row pointers and column
// indices) of these inputs, leaving the pattern as it is. Returns false when the inputs give another
// pattern (the values are then partly written and the arrays must be filled anew). With ringFixed, the
// rows are those of the log-determinant's Hessian: the ring of the grid (first and last line and
// column) held fixed, as the Dirichlet fixes of the coefficient images hold it (same pattern).
bool fillValuesInPattern(const Setup& S, K41Csr& A, bool ringFixed = false);

// Right-hand side (products ItIx, ItIy, total field planes Util, Vtil).
void fillRhs(const Setup& S, double* B, const cimg_library::CImg<double>& ItIx, const cimg_library::CImg<double>& ItIy,
             const cimg_library::CImg<double>& Util, const cimg_library::CImg<double>& Vtil);

// Prints the mismatch line of an assembly whose entry count differs from the expected one.
void reportCountMismatch(std::int64_t written, int nombre, std::ostream& out = std::cout);

}  // namespace k41_detail
