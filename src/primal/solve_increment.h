// Internal to the Horn & Schunck solver (horn_schunck.cpp): the solve that ends a
// primal step. Not part of the folder's public headers.
#pragma once

#include <CImg.h>

#include "sparse/mv_vector.h"

// Solves the assembled system (compressed-row arrays, relative tolerance 1e-6) into X, an image of the
// increment's size with two planes, and when the solver converged copies both planes of X into UV.
// Returns true when the solve failed (the solver has reported it; UV is left as it was).
bool solveIncrement(int taille, int nombre, double* val, int* row_ptr, int* col_ind, const MV_Vector_double& B,
                    cimg_library::CImg<double>& X, cimg_library::CImg<double>& UV);
