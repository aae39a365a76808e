// How a run ends: its exit status (0 a motion estimate, 1 a refusal or failure, 2 outputs written but
// the final motion is not an estimate), and memory shortages reported as one line naming the step.
#pragma once

#include <functional>
#include <new>
#include <string>

#include "driver/run_state.h"

// Memory ran out during a step of the run.
class OutOfMemory : public std::bad_alloc {
 public:
  explicit OutOfMemory(const std::string& step) : what_("out of memory while " + step) {}
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::string what_;
};

namespace run_status_detail {
[[noreturn]] void rethrowAsOutOfMemory(const std::string& step);
}

// Runs `body` as the step `step`: a std::bad_alloc or the image library's failure to allocate an
// image inside it becomes OutOfMemory(step) (a step inside another keeps its own, finer name).
template <class Body>
void runStep(const std::string& step, Body&& body) {
  try {
    body();
  } catch (const OutOfMemory&) {
    throw;
  } catch (...) {
    run_status_detail::rethrowAsOutOfMemory(step);
  }
}

// After the levels: 0 when the last level estimated has a motion estimate (or no level ran), else 2
// after one line on standard error saying why: no converged primal solve of that level gave its
// motion, the final motion (at level 0 the window written) holds a value that is not finite in
// single precision, the precision of the motion table, a displacement of it (the -Umean pre-shift
// left out, in full-resolution pixels) is longer than the window's larger side, or the level's data
// weights are 0 at every pixel.
int finalMotionStatus(const RunState& s);

// Runs `run` with the image library's own exception reports off and returns its exit status; an
// exception that escapes it ends the run with one line on standard error, "VorlaneRegMotion: <what>",
// and status 1 ("out of memory while <step>" for OutOfMemory, "out of memory" for any other
// allocation failure).
int exitStatusOf(const std::function<int()>& run);
