// The K41 primal system: entry count, Hessian, right-hand side and the primal minimiser.
//
// For fixed Lagrange multipliers (lambda_S2 per horizontal/vertical lag l, lambda_S2_cross per diagonal
// step l, both indexed by l itself), the motion increment w = (du, dv) minimises a quadratic energy: the
// linearised data term weighted by data_out plus, for every lag of [neta, lo], the lag increments of the
// total field weighted by the lag weight lists and by the multiplier over the lag's pair count. A w = B
// is its minimum condition; A is stored in compressed rows (see primal/k41_stencil.h for the layout).
//
// Weight lists: z_right, z_down, z_rightDown, z_rightUp (longitudinal) and z_t_right, z_t_down,
// z_t_rightDown, z_t_rightUp (transverse), each of at least lo - neta + 1 images of the grid's size.
// The "K41Long" variants use 1 and 0, "K41LongTrans" 1 and 1, "Gen_BruhnAndAl" 1 and 1 with neta 1.
//
// Misuse ends the process with a one-line message and exit status 1: neta < 0 or neta > lo, lists,
// images or multiplier vectors too small, a system too large for 32-bit indices.
#pragma once

#include <CImg.h>

#include "primal/k41_stencil.h"
#include "sparse/mv_vector.h"

// ---- Entry count ------------------------------------------------------------------------------------

// Number of entries of the compressed-row K41 Hessian for these inputs (what fillingSparseHessian_A
// stores for the same inputs). Prints "Error : lo must respect lo <= nc/2 - 1 and lo <= nl/2 - 1" when
// lo exceeds half the grid, and goes on. scale != 0 smooths the data products (positive scale only).
int NumberNonZeroElementInHessian(const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                  const cimg_library::CImg<double>& data_out,
                                  const cimg_library::CImg<double>& lambda_S2,
                                  const cimg_library::CImg<double>& lambda_S2_cross,
                                  const cimg_library::CImgList<double>& z_right,
                                  const cimg_library::CImgList<double>& z_down,
                                  const cimg_library::CImgList<double>& z_rightDown,
                                  const cimg_library::CImgList<double>& z_rightUp,
                                  const cimg_library::CImgList<double>& z_t_right,
                                  const cimg_library::CImgList<double>& z_t_down,
                                  const cimg_library::CImgList<double>& z_t_rightDown,
                                  const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta,
                                  int lo);

int NumberNonZeroElementInHessian_K41Long(const cimg_library::CImg<double>& im_x,
                                          const cimg_library::CImg<double>& im_y,
                                          cimg_library::CImg<double> data_out,
                                          const cimg_library::CImg<double>& lambda_S2,
                                          const cimg_library::CImg<double>& lambda_S2_cross, float scaleSmooth,
                                          int neta, int lo);
// Scale 1.0.
int NumberNonZeroElementInHessian_K41Long(const cimg_library::CImg<double>& im_x,
                                          const cimg_library::CImg<double>& im_y,
                                          cimg_library::CImg<double> data_out,
                                          const cimg_library::CImg<double>& lambda_S2,
                                          const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo);
// Longitudinal and transverse weights 1, scale 1.0.
int NumberNonZeroElementInHessian_K41LongTrans(const cimg_library::CImg<double>& im_x,
                                               const cimg_library::CImg<double>& im_y,
                                               cimg_library::CImg<double> data_out,
                                               const cimg_library::CImg<double>& lambda_S2,
                                               const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo);
// All weights 1 (lo images), neta 1.
int NumberNonZeroElementInHessian_Gen_BruhnAndAl(const cimg_library::CImg<double>& im_x,
                                                 const cimg_library::CImg<double>& im_y,
                                                 cimg_library::CImg<double> data_out,
                                                 const cimg_library::CImg<double>& lambda_S2,
                                                 const cimg_library::CImg<double>& lambda_S2_cross, float scale,
                                                 int lo);
// The caller's lists, neta 1.
int NumberNonZeroElementInHessian_Gen_Rob_BruhnAndAl(
    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
    cimg_library::CImg<double> data_out, const cimg_library::CImg<double>& lambda_S2,
    const cimg_library::CImg<double>& lambda_S2_cross, const cimg_library::CImgList<double>& z_right,
    const cimg_library::CImgList<double>& z_down, const cimg_library::CImgList<double>& z_rightDown,
    const cimg_library::CImgList<double>& z_rightUp, const cimg_library::CImgList<double>& z_t_right,
    const cimg_library::CImgList<double>& z_t_down, const cimg_library::CImgList<double>& z_t_rightDown,
    const cimg_library::CImgList<double>& z_t_rightUp, float scale, int lo);

// ---- Hessian ----------------------------------------------------------------------------------------

// Writes the 2N x 2N matrix into the caller's arrays: val and col_ind hold nombre elements, row_ptr
// 2N + 1. When the number of entries written differs from nombre, prints
// "ERROR : number non zero elements not identical to prevision: <written>!=<nombre>" and a line end.
// When the system needs more entries than nombre, nothing is written beyond the arrays: after that line
// it prints why on standard error and ends the process with status 1 (use the K41Csr overload to let
// the arrays grow).
void fillingSparseHessian_A(double* val, int* col_ind, int* row_ptr, const cimg_library::CImg<double>& IxIx,
                            const cimg_library::CImg<double>& IxIy, const cimg_library::CImg<double>& IyIy,
                            const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross,
                            const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                            const cimg_library::CImgList<double>& z_rightDown,
                            const cimg_library::CImgList<double>& z_rightUp,
                            const cimg_library::CImgList<double>& z_t_right,
                            const cimg_library::CImgList<double>& z_t_down,
                            const cimg_library::CImgList<double>& z_t_rightDown,
                            const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl,
                            int nombre);

// The same into arrays that grow to what is written (A.nnz() entries; hand A.nnz() to the solver).
// Prints the same mismatch line when A.nnz() differs from nombre.
void fillingSparseHessian_A(K41Csr& A, const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                            const cimg_library::CImg<double>& IyIy, const cimg_library::CImg<double>& data_out,
                            const cimg_library::CImg<double>& lambda_S2,
                            const cimg_library::CImg<double>& lambda_S2_cross,
                            const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                            const cimg_library::CImgList<double>& z_rightDown,
                            const cimg_library::CImgList<double>& z_rightUp,
                            const cimg_library::CImgList<double>& z_t_right,
                            const cimg_library::CImgList<double>& z_t_down,
                            const cimg_library::CImgList<double>& z_t_rightDown,
                            const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl,
                            int nombre);

// The same Hessian with the ring of the grid (first and last line and column) held fixed, as the
// log-determinant factorises it: ring rows identity rows, every lag coupling of or into a ring pixel an
// explicit 0 (absent ones stay absent), in the pattern of the overload above, into growing arrays.
// False when the entries exceed int indices (nothing printed).
bool fillingSparseHessianRingFixed_A(K41Csr& A, const cimg_library::CImg<double>& IxIx,
                                     const cimg_library::CImg<double>& IxIy, const cimg_library::CImg<double>& IyIy,
                                     const cimg_library::CImg<double>& data_out,
                                     const cimg_library::CImg<double>& lambda_S2,
                                     const cimg_library::CImg<double>& lambda_S2_cross,
                                     const cimg_library::CImgList<double>& z_right,
                                     const cimg_library::CImgList<double>& z_down,
                                     const cimg_library::CImgList<double>& z_rightDown,
                                     const cimg_library::CImgList<double>& z_rightUp,
                                     const cimg_library::CImgList<double>& z_t_right,
                                     const cimg_library::CImgList<double>& z_t_down,
                                     const cimg_library::CImgList<double>& z_t_rightDown,
                                     const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo);

// ---- Right-hand side --------------------------------------------------------------------------------

// Overwrites B[0 .. 2N-1] with minus the energy gradient at w = 0 around the total field (Util, Vtil):
// B[p] = -ItIx(p) data_out(p) and B[N + p] = -ItIy(p) data_out(p), less the lag terms.
void fillingVector_B(MV_Vector_double& B, const cimg_library::CImg<double>& ItIx, const cimg_library::CImg<double>& ItIy,
                     const cimg_library::CImg<double>& Util, const cimg_library::CImg<double>& Vtil,
                     const cimg_library::CImg<double>& data_out, const cimg_library::CImg<double>& lambda_S2,
                     const cimg_library::CImg<double>& lambda_S2_cross,
                     const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                     const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
                     const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
                     const cimg_library::CImgList<double>& z_t_rightDown,
                     const cimg_library::CImgList<double>& z_t_rightUp, int neta, int lo, int nc, int nl);

// ---- Primal minimiser -------------------------------------------------------------------------------

// One primal step: assembles A w = B around UVtil and solves it (ILU(0)-preconditioned CGS, tolerance
// 1e-6). Returns false and writes the increment into UV (nc x nl x 2) on success; returns true and leaves
// UV untouched when the solve fails. nombre is the expected entry count: the arrays are sized by what
// the assembly writes, and a different number is reported by the mismatch line.
bool PrimalMinimizer(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                     const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                     const cimg_library::CImg<double>& im_t, const cimg_library::CImg<double>& data_out,
                     const cimg_library::CImg<double>& lambda_S2, const cimg_library::CImg<double>& lambda_S2_cross,
                     const cimg_library::CImgList<double>& z_right, const cimg_library::CImgList<double>& z_down,
                     const cimg_library::CImgList<double>& z_rightDown, const cimg_library::CImgList<double>& z_rightUp,
                     const cimg_library::CImgList<double>& z_t_right, const cimg_library::CImgList<double>& z_t_down,
                     const cimg_library::CImgList<double>& z_t_rightDown,
                     const cimg_library::CImgList<double>& z_t_rightUp, float scale, int neta, int lo, int nombre);

bool PrimalMinimizer_K41Long(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                             const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                             const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, float scaleSmooth, int neta, int lo,
                             int nombre);
// Scale 1.0.
bool PrimalMinimizer_K41Long(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                             const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                             const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                             const cimg_library::CImg<double>& lambda_S2,
                             const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre);
bool PrimalMinimizer_K41LongTrans(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                                  const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                  const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                                  const cimg_library::CImg<double>& lambda_S2,
                                  const cimg_library::CImg<double>& lambda_S2_cross, int neta, int lo, int nombre);
bool PrimalMinimizer_Gen_BruhnAndAl(cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil,
                                    const cimg_library::CImg<double>& im_x, const cimg_library::CImg<double>& im_y,
                                    const cimg_library::CImg<double>& im_t, cimg_library::CImg<double> data_out,
                                    const cimg_library::CImg<double>& lambda_S2,
                                    const cimg_library::CImg<double>& lambda_S2_cross, float scale, int lo,
                                    int nombre);
bool PrimalMinimizer_Gen_Rob_BruhnAndAl(
    cimg_library::CImg<double>& UV, const cimg_library::CImg<double>& UVtil, const cimg_library::CImg<double>& im_x,
    const cimg_library::CImg<double>& im_y, const cimg_library::CImg<double>& im_t,
    cimg_library::CImg<double> data_out, const cimg_library::CImg<double>& lambda_S2,
    const cimg_library::CImg<double>& lambda_S2_cross, const cimg_library::CImgList<double>& z_right,
    const cimg_library::CImgList<double>& z_down, const cimg_library::CImgList<double>& z_rightDown,
    const cimg_library::CImgList<double>& z_rightUp, const cimg_library::CImgList<double>& z_t_right,
    const cimg_library::CImgList<double>& z_t_down, const cimg_library::CImgList<double>& z_t_rightDown,
    const cimg_library::CImgList<double>& z_t_rightUp, float scale, int lo, int nombre);
