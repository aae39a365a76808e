// In-place ascending quicksort of an index range of a vector; the paired form carries values along
// with their int keys.
#pragma once

#include "sparse/mv_vector.h"

int QSort(MV_Vector_double& v, int base_ptr, int total_elems);
int QSort(MV_Vector_int& v, MV_Vector_double& x, int base_ptr, int total_elems);
