// VorlaneRegMotion: dense motion estimation between two images of a turbulent flow, regularised by
// the K41 power law of its second-order structure functions. The whole run lives in the driver.
#include <malloc.h>
#include <xmmintrin.h>

#include "driver/driver.h"

// Flush-to-zero and denormals-are-zero for the whole process, switched on before main runs. A
// constructor function (not a static object) so that static initialisation builds nothing of ours.
__attribute__((constructor)) static void enable_ftz_daz() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
}

int main(int argc, char** argv) {
  // Every level allocates and frees the same large images and sparse arrays many times (one set per
  // primal solve). Keeping freed blocks in the heap instead of returning them to the system avoids
  // paying fresh page faults for each of them; the values computed do not change.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return vorlaneRegMotionMain(argc, argv);
}
