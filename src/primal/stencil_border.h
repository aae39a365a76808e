// Stencil coefficient images: the "no entry" marker, the Dirichlet ring and the removal of zero couplings.
//
// A system is assembled from one coefficient image per neighbour offset (and lag): the value at
// column x, line y is the coefficient that the equation of pixel (x, y) gives to that neighbour.
// The value kNoEntry marks a coupling without a matrix entry; every counter and writer of the
// compressed-row systems skips it (same-pixel coefficients excepted, which are always stored).
#pragma once

#include <CImg.h>

// Marks a coupling that has no entry in the compressed-row matrix.
constexpr double kNoEntry = -1e30;

// Turns every coefficient that is 0.0 (either sign) or not a number into kNoEntry, in images
// 0 .. lo - neta of the four lists, over the grid of image 0 of the first list. Nothing happens
// when lo < neta. Images or lists that are too small are visited only where they exist.
void excludeWhite(int neta, int lo, cimg_library::CImgList<double>& A_iljl,
                  cimg_library::CImgList<double>& A_i_lj_l, cimg_library::CImgList<double>& A_i_ljl,
                  cimg_library::CImgList<double>& A_ilj_l);

// Dirichlet ring (first and last line and column) on the horizontal/vertical lag lists; image k
// holds lag neta + k. Every in-grid coupling with an end on the ring becomes 0.0 unless it holds
// kNoEntry or is not a number. Nothing happens when lo < neta; nothing is written outside the grid.
void fixDirichletConditions(int nc, int nl, cimg_library::CImgList<double>& A_i_lj,
                            cimg_library::CImgList<double>& A_ij_l, cimg_library::CImgList<double>& A_ijl,
                            cimg_library::CImgList<double>& A_ilj, int neta, int lo);

// Dirichlet ring on the five-point images: A_ij = 1 and the couplings 0.0 on the ring, the
// couplings into the ring 0.0, and last the couplings that leave the grid kNoEntry.
void fixDirichletConditions(int nc, int nl, cimg_library::CImg<double>& A_i_1j, cimg_library::CImg<double>& A_ij,
                            cimg_library::CImg<double>& A_i1j, cimg_library::CImg<double>& A_ij_1,
                            cimg_library::CImg<double>& A_ij1);

// Dirichlet ring on the diagonal lag lists. Image k holds diagonal step netaSqrt2 + k, with
// netaSqrt2 = (int)(neta * 0.7071067811865475 + 1), as the K41 builders store them; a step l joins
// pixels l columns and l lines apart. Nothing happens when lo < neta; nothing is written outside
// the grid.
void fixDirichletConditions_cross(int nc, int nl, cimg_library::CImgList<double>& A_i_lj_l,
                                  cimg_library::CImgList<double>& A_i_ljl, cimg_library::CImgList<double>& A_ilj_l,
                                  cimg_library::CImgList<double>& A_iljl, int neta, int lo);

// The same, then A_ij = 0.0 on every ring pixel whatever it held.
void fixDirichletConditions_cross(int nc, int nl, cimg_library::CImg<double>& A_ij,
                                  cimg_library::CImgList<double>& A_i_lj_l, cimg_library::CImgList<double>& A_i_ljl,
                                  cimg_library::CImgList<double>& A_ilj_l, cimg_library::CImgList<double>& A_iljl,
                                  int neta, int lo);
