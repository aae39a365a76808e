#include "driver/driver.h"

#include "driver/level_loop.h"
#include "driver/run_start.h"
#include "driver/run_status.h"

int vorlaneRegMotionMain(int argc, char** argv) {
  return exitStatusOf([&] {
    RunState s;
    startRun(argc, argv, s);
    runLevels(s);
    endRun(s);
    return finalMotionStatus(s);
  });
}
