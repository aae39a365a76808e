#include "driver/driver.h"

#include <cstdio>

#include <CImg.h>

#include "driver/level_loop.h"
#include "driver/run_start.h"

int vorlaneRegMotionMain(int argc, char** argv) {
  // The image library reports its own failures (an unreadable TIFF, say) through exceptions; it
  // stays quiet and the run ends with one line naming the operation and the file instead.
  cimg_library::cimg::exception_mode(0);
  try {
    RunState s;
    startRun(argc, argv, s);
    runLevels(s);
    endRun(s);
  } catch (const cimg_library::CImgException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "VorlaneRegMotion: %s\n", e.what());
    return 1;
  }
  return 0;
}
