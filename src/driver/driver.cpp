#include "driver/driver.h"

#include <CImg.h>

#include "driver/level_loop.h"
#include "driver/run_start.h"
#include "driver/run_status.h"

int vorlaneRegMotionMain(int argc, char** argv) {
  // The image library reports its own failures (an unreadable image, say) through exceptions; it
  // stays quiet and the run ends with one line naming the operation and the file instead.
  cimg_library::cimg::exception_mode(0);
  return exitStatusOf([&] {
    RunState s;
    startRun(argc, argv, s);
    runLevels(s);
    endRun(s);
    return finalMotionStatus(s);
  });
}
