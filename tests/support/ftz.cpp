// Test and benchmark programs run with the same floating-point modes as the program itself:
// flush-to-zero and denormals-are-zero, switched on before main.
#include <xmmintrin.h>

__attribute__((constructor)) static void enable_ftz_daz_for_tests() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
}
