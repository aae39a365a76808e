#include "driver/run_status.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include <CImg.h>

using namespace cimg_library;

namespace {

// The image library turns a failed allocation into an exception of its own.
bool isImageAllocationFailure(const CImgException& e) { return std::strstr(e.what(), "allocate memory") != nullptr; }

// One line on standard error, after what standard output holds so far.
void statusLine(const std::string& line) {
  std::fflush(stdout);
  std::fprintf(stderr, "VorlaneRegMotion: %s\n", line.c_str());
  std::fflush(stderr);
}

int failWith(const std::string& line) {
  statusLine(line);
  return 1;
}

// Finite also in the single precision in which motion tables are written.
bool allFinite(const CImg<double>& im) {
  cimg_for(im, p, double) if (!std::isfinite((float)*p)) return false;
  return true;
}

// The largest length of the motion vectors of a field, its horizontal components less `shift`.
double largestDisplacement(const CImg<double>& motion, double shift) {
  const size_t n = (size_t)motion.width() * motion.height();
  const double* u = motion.data(0, 0, 0);
  const double* v = motion.data(0, 0, 1);
  double largest = 0;
  for (size_t k = 0; k < n; ++k) largest = std::max(largest, std::hypot(u[k] - shift, v[k]));
  return largest;
}

std::string pixels(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g px", v);
  return text;
}

}  // namespace

namespace run_status_detail {

void rethrowAsOutOfMemory(const std::string& step) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    throw OutOfMemory(step);
  } catch (const CImgException& e) {
    if (isImageAllocationFailure(e)) throw OutOfMemory(step);
    throw;
  }
}

}  // namespace run_status_detail

int finalMotionStatus(const RunState& s) {
  if (s.lastLevel < 0) return 0;
  const int r = s.lastLevel;
  const RunOptions& o = s.opt;
  // At level 0 the final motion is the field written (the window of X, which holds the -Umean
  // pre-shift); above it, the total motion of the level, in its own pixels and without the pre-shift.
  const CImg<double> motion =
      r == 0 ? s.X.get_crop(0, 0, 0, 0, o.dxOrig - 1, o.dyOrig - 1, 1, 0) : s.pyrXinc[r] + s.pyrXtil[r];
  const int side = std::max(o.dxOrig, o.dyOrig);
  std::string why;
  if (!s.lastLevelSolved) {
    why = "no converged primal solve gave the motion of level " + std::to_string(r) +
          ": the final motion is not an estimate";
  } else if (!allFinite(motion)) {
    why = "the final motion holds values that are not finite numbers: it is not an estimate";
  } else if (const double d = largestDisplacement(motion, r == 0 ? o.Umean : 0.0) * std::pow(2.0, r); d > side) {
    // No displacement between two images of one window can be longer than the window itself.
    why = "the final motion's largest displacement, " + pixels(d) + " (the -Umean pre-shift left out), is " +
          "larger than the window's larger side, " + std::to_string(side) + " px: it is not an estimate";
  } else if (s.pyrOut[r].max() == 0 && s.pyrOut[r].min() == 0) {
    why = "the data weights of level " + std::to_string(r) +
          " are 0 at every pixel: the final motion is not an estimate";
  }
  if (why.empty()) return 0;
  statusLine(why);
  return 2;
}

int exitStatusOf(const std::function<int()>& run) {
  // The image library would print its own report of each exception it raises: it stays quiet, and
  // the one line below names the operation and the file instead.
  cimg::exception_mode(0);
  try {
    return run();
  } catch (const OutOfMemory& e) {
    return failWith(e.what());
  } catch (const std::bad_alloc&) {
    return failWith("out of memory");
  } catch (const CImgException& e) {
    return failWith(isImageAllocationFailure(e) ? std::string("out of memory (") + e.what() + ")" : e.what());
  } catch (const std::exception& e) {
    return failWith(e.what());
  }
}
