// Randomised (Hutchinson) estimates of traces of A^-1 times a second matrix, for the sparse Hessian A
// of the primal system given as 0-based compressed-row arrays. Every probe is a vector of independent
// standard normal deviates; every probe costs one preconditioned CGS solve.
#pragma once

#include <CImg.h>

class CompRow_ILUPreconditioner_double;
struct CGSWork;

// Estimate of tr(A^-1 A0), A0 the per-pixel data block data_out * [IxIx IxIy; IxIy IyIy]: the mean of
// b' A^-1 A0 b over nbIt probes b. taille = 2 * width * height of IxIx; nombre = entries stored in the
// arrays (only read). A solve that does not converge is reported and its probe still counts; a probe
// whose sample is not a finite number is reported and left out of the mean. NaN when nbIt < 1 or when
// no probe is left. `factor`, `work`: the caller's incomplete-LU factor of these (checked) arrays and
// solver work vectors; without them the arrays are checked and factorised here.
double CGS_randomB_traceInvAA0(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                               const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                               const cimg_library::CImg<double>& IyIy, const cimg_library::CImg<double>& data_out,
                               int nbIt, double tol, const CompRow_ILUPreconditioner_double* factor = nullptr,
                               CGSWork* work = nullptr);

// Estimate of tr(A^-1) for an nc x nl grid (taille = 2 nc nl).
double CGS_randomB_traceInvA(int taille, int nombre, int nc, int nl, double* val, int* row_ptr, int* col_ind,
                             int nbIt, double tol);

// Four estimates from the same probes, in a new array of 4 doubles (release with delete[]): the traces of
// A^-1 R, A^-1 A0, A^-1 A0 F and A^-1 A0 F^2, with R the regulariser operator minus laplacian(., reg_out,
// periodic) applied to each half of a vector and F the per-pixel factor x2.
double* CGS_randomB_traceInvAA0Fx(int taille, int nombre, double* val, int* row_ptr, int* col_ind,
                                  const cimg_library::CImg<double>& IxIx, const cimg_library::CImg<double>& IxIy,
                                  const cimg_library::CImg<double>& IyIy, const cimg_library::CImg<double>& data_out,
                                  const cimg_library::CImgList<double>& reg_out, const cimg_library::CImg<double>& x2,
                                  int nbIt, double tol, bool periodic);

// Test hook: every later estimate starts its generators from `seed` (0 or below restarts the uniform
// generator) instead of a clock-derived seed, until releaseTraceEstimatorSeed().
void fixTraceEstimatorSeed(long seed);
void releaseTraceEstimatorSeed();
