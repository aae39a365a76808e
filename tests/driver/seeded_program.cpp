// The program for the end-to-end tests that pin whole runs byte for byte (the golden table): the
// program's own entry, with the random probes of the evidence started from a fixed seed instead of the
// clock (the process settings of the program come with the test support).
#include "driver/driver.h"
#include "evidence/evidence.h"

int main(int argc, char** argv) {
  fixTraceEstimatorSeed(-20131);
  return vorlaneRegMotionMain(argc, argv);
}
