// Test and benchmark programs run with the program's own process settings: flush-to-zero and
// denormals-are-zero, and freed heap blocks kept for reuse (see src/main.cpp and src/driver/heap.cpp),
// switched on before main.
#include <malloc.h>
#include <xmmintrin.h>

#include <climits>

__attribute__((constructor)) static void enable_program_process_settings() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}
