#include "driver/driver.h"

#include "driver/level_loop.h"
#include "driver/run_start.h"
#include "driver/run_status.h"
#include "io/output_file.h"

int vorlaneRegMotionMain(int argc, char** argv) {
  // An interrupted run leaves no temporary file of an output behind.
  removeTemporaryOnTerminatingSignals();
  return exitStatusOf([&] {
    RunState s;
    startRun(argc, argv, s);
    runLevels(s);
    endRun(s);
    return finalMotionStatus(s);
  });
}
