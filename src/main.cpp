// VorlaneRegMotion: dense motion estimation between two images of a turbulent flow, regularised by
// the K41 power law of its second-order structure functions. The whole run lives in the driver.
#include <xmmintrin.h>

#include "driver/driver.h"
#include "driver/heap.h"

// Flush-to-zero and denormals-are-zero for the whole process, switched on before main runs. A
// constructor function (not a static object) so that static initialisation builds nothing of ours.
__attribute__((constructor)) static void enable_ftz_daz() {
  _mm_setcsr(_mm_getcsr() | 0x8040);
}

int main(int argc, char** argv) {
  // A level allocates its large buffers once and frees many level-sized images as it goes: freed
  // memory stays in the heap for the level's later allocations and is returned between levels (see
  // runLevels); the values computed do not change.
  keepFreedMemoryInHeap();
  return vorlaneRegMotionMain(argc, argv);
}
