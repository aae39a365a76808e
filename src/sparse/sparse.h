// Sparse linear algebra: dense vectors, sparse matrices, kernels, ILU(0), CGS and the solve wrapper.
#pragma once

#include "sparse/cgs.h"
#include "sparse/comprow.h"
#include "sparse/ilu.h"
#include "sparse/inversion.h"
#include "sparse/mv_vector.h"
#include "sparse/qsort.h"
#include "sparse/spblas.h"
