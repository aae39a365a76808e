// VorlaneRegMotion: dense motion estimation between two images of a turbulent flow, regularised by
// the K41 power law of its second-order structure functions. The whole run lives in the driver.
#include <xmmintrin.h>

#include "driver/driver.h"

// Flush-to-zero and denormals-are-zero for the whole process, switched on before main runs. A
// constructor function (not a static object) so that static initialisation builds nothing of ours.
__attribute__((constructor)) static void enable_ftz_daz() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
}

int main(int argc, char** argv) { return vorlaneRegMotionMain(argc, argv); }
