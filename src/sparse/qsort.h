// In-place ascending quicksort of an index range of a vector; the paired form carries values along
// with their int keys.
#pragma once

#include "sparse/mv_vector.h"

int QSort(MV_Vector_double& v, int base_ptr, int total_elems);
int QSort(MV_Vector_int& v, MV_Vector_double& x, int base_ptr, int total_elems);
// The paired sort on plain arrays with int values, for ranges inside both arrays: the values undergo
// the permutation that the paired sort above gives values of any type for the same keys (sorting
// positions yields that permutation itself).
int QSort(int* v, int* x, int base_ptr, int total_elems);
