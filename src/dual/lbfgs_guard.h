// Keeps C++ exceptions from unwinding through liblbfgs's C frames.
//
// A callback body that throws is caught at the callback boundary: the exception is kept, the
// evaluation callback reports a non-number objective with a zero gradient (the minimiser then ends its
// line search or stops as already minimised) and the progress callback asks the minimiser to stop.
// Once lbfgs has returned, the caller releases what it holds and rethrows the kept exception.
#pragma once

#include <algorithm>
#include <exception>
#include <limits>

namespace dual_detail {

struct LbfgsGuard {
  std::exception_ptr pending;  // first exception thrown by a callback body
  bool failed() const { return pending != nullptr; }
  // Rethrows the kept exception, if any.
  void rethrowPending() const {
    if (pending) std::rethrow_exception(pending);
  }
};

// Runs an evaluation body (returning the objective and writing the n-entry gradient g); after a
// failure, and for every later call, returns NaN with a zero gradient.
template <class Body>
double guardedEvaluate(LbfgsGuard& guard, double* g, int n, Body body) noexcept {
  if (!guard.failed()) {
    try {
      return body();
    } catch (...) {
      guard.pending = std::current_exception();
    }
  }
  std::fill(g, g + std::max(n, 0), 0.0);
  return std::numeric_limits<double>::quiet_NaN();
}

// Runs a progress body; returns 0 to go on, non-zero to stop the minimiser after a failure.
template <class Body>
int guardedProgress(LbfgsGuard& guard, Body body) noexcept {
  if (!guard.failed()) {
    try {
      body();
      return 0;
    } catch (...) {
      guard.pending = std::current_exception();
    }
  }
  return 1;
}

}  // namespace dual_detail
