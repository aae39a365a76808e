#include "driver/heap.h"

#include <malloc.h>

#include <climits>

void keepFreedMemoryInHeap() {
  // Blocks up to 1 GiB come from the heap rather than from their own mappings, and nothing is trimmed
  // automatically: a level's solves then reuse the pages that its earlier solves touched.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

void returnFreedMemory() { malloc_trim(0); }
