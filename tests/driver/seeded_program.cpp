// The program for the end-to-end tests that compare whole runs byte for byte: the program's own entry,
// with the random probes of the evidence started from a fixed seed instead of the clock (the process
// settings of the program come with the test support). Built twice: over the level driver of the
// program, and over a test-only build of it that does every step of a level on its own
// (VRM_PLAIN_LEVEL_WORK), the reference of those tests.
#include "driver/driver.h"
#include "evidence/evidence.h"

int main(int argc, char** argv) {
  fixTraceEstimatorSeed(-20131);
  return vorlaneRegMotionMain(argc, argv);
}
