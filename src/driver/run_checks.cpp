#include "driver/run_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/level_constants.h"
#include "driver/output_names.h"
#include "io/io.h"

namespace {

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string sizeText(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

// The power law of a K41 level: -gamma must be positive, the factor of the level (which -power
// scales) a positive finite number, and the law finite up to the longest lag, a diagonal one.
void checkPowerLaw(const RunOptions& o, int r, const LevelConstants& c) {
  if (!(o.gamma > 0))
    failRun("Option -gamma: must be positive when a level takes the K41 path (given " + number(o.gamma) + ")");
  if (!(c.gamma > 0) || !std::isfinite(c.gamma))
    failRun("Option -power: " + number(o.power) + " gives level " + std::to_string(r) + " the power-law factor " +
            number(c.gamma) + ", which is not a positive finite number");
  const double longest = c.lo * 1.4142135623730951;
  if (!std::isfinite(std::pow(longest, o.power) * c.gamma))
    failRun("Option -power: " + number(o.power) + " makes the power law of level " + std::to_string(r) +
            " overflow at the lag " + number(longest));
}

// The dual optimiser's parameters, which its library rejects before the first step: the run would go
// on with the multipliers it started from.
void checkDualOptimiser(const RunOptions& o) {
  if (o.nbItLbfgs < 1)
    failRun("Option -nbItLbfgs: the line-search limit of the dual optimisation must be at least 1 when a level "
            "takes the K41 path (given " + std::to_string(o.nbItLbfgs) + ")");
  if (o.eps < 0)
    failRun("Option -eps: the precision of the dual optimisation must not be negative when a level takes the "
            "K41 path (given " + number(o.eps) + ")");
}

// A file as the system knows it: its device and inode when it exists, else its resolved path.
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string path;
};

FileIdentity identify(const std::string& name) {
  FileIdentity id;
  struct stat st;
  if (::stat(name.c_str(), &st) == 0) {
    id.exists = true, id.dev = st.st_dev, id.ino = st.st_ino;
    return id;
  }
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::weakly_canonical(name, ec);
  id.path = ec ? std::filesystem::absolute(name, ec).lexically_normal().string() : p.string();
  return id;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.exists != b.exists) return false;
  return a.exists ? a.dev == b.dev && a.ino == b.ino : a.path == b.path;
}

}  // namespace

void refuseOutputsOverInputs(const RunOptions& o, const std::vector<std::string>& fileIm) {
  struct Input {
    std::string what, name;
  };
  std::vector<Input> inputs = {{"the list file", o.inPath}, {"image 1", fileIm[0]}, {"image 2", fileIm[1]}};
  if (o.GT) inputs.push_back({"the true motion table", fileIm[3]});
  if (o.lambdaInitFile) inputs.push_back({"the multiplier file", fileIm[4]});
  std::vector<FileIdentity> ids;
  for (const Input& in : inputs) ids.push_back(identify(in.name));
  for (const std::string& out : runOutputNames(o, fileIm[2])) {
    const FileIdentity id = identify(out);
    for (size_t k = 0; k < inputs.size(); ++k)
      if (sameFile(id, ids[k]))
        failRun("Output " + ::quoted(out) + " would be the same file as " + inputs[k].what + " " +
                ::quoted(inputs[k].name) + ": the run would overwrite its input (list file " + ::quoted(o.inPath) +
                ", line 3: the output prefix)");
  }
}

void levelSize(const RunOptions& o, int r, int& width, int& height) {
  int w = 0, h = 0;
  expand_dim(o.dx, o.dy, o.multiresol, w, h);
  const int k = o.multiresol;
  width = (w >> k) << (k - r);
  height = (h >> k) << (k - r);
}

void refuseUnrunnableLevels(const RunOptions& o) {
  // The largest value of max(-lo, -neta) that every K41 level takes, and the first level it exceeds.
  long long allowed = -1;
  int tooLong = -1, tooLongW = 0, tooLongH = 0, tooLongLag = 0;
  // The largest -offEdeges band that leaves a pixel of the data term at every level, and the first
  // level it leaves none.
  int bandAllowed = INT_MAX, noData = -1, noDataW = 0, noDataH = 0;
  for (int r = o.multiresol - 1; r >= o.resolEnd - 1; --r) {
    int w = 0, h = 0;
    levelSize(o, r, w, h);
    // At level 0 the padding is out of the data term too: the band must leave a pixel of the window.
    if (r == 0) w = o.dxOrig, h = o.dyOrig;
    bandAllowed = std::min(bandAllowed, (std::min(w, h) - 1) / 2);
    if (noData < 0 && (2LL * o.offEdeges >= w || 2LL * o.offEdeges >= h)) noData = r, noDataW = w, noDataH = h;
    if (hornAndSchunckLevel(o, r)) {
      if (!(o.alpha > 0))
        failRun("Option -alpha: must be positive when a level takes the Horn & Schunck path (given " +
                number(o.alpha) + ")");
      continue;
    }
    const LevelConstants c = levelConstants(o, r);
    checkPowerLaw(o, r, c);
    checkDualOptimiser(o);
    levelSize(o, r, w, h);
    // The lags l of a level reach l pixels in both directions: 2 l must stay below both sides.
    const long long largest = (std::min(w, h) - 1) / 2;
    if (largest < 1)
      failRun(std::string(r > 0 ? "Option -multiresol" : "Option -dx/-dy") + ": level " + std::to_string(r) +
              " is " + sizeText(w, h) + " pixels, too small for the power-law constraints (their smallest lag, 1, "
              "needs at least 3 x 3 pixels)");
    // lo_r = (int)(max(-lo, -neta) / 2^r) stays at most `largest` up to this option value.
    const long long bound = (largest + 1) * (1LL << r) - 1;
    allowed = allowed < 0 ? bound : std::min(allowed, bound);
    if (tooLong < 0 && (2LL * c.lo >= w || 2LL * c.lo >= h)) {
      tooLong = r;
      tooLongW = w, tooLongH = h, tooLongLag = c.lo;
    }
  }
  if (noData >= 0)
    failRun("Option -offEdeges: " + std::to_string(o.offEdeges) + " leaves no pixel of the data term at level " +
            std::to_string(noData) + " (" + sizeText(noDataW, noDataH) + " pixels); the largest value allowed here is " +
            std::to_string(bandAllowed));
  const bool netaLarger = o.neta > o.lo;
  const char* name = netaLarger ? "-neta" : "-lo";
  const int given = netaLarger ? o.neta : o.lo;
  if (tooLong >= 0)
    failRun(std::string("Option ") + name + ": " + std::to_string(given) + " gives level " +
            std::to_string(tooLong) + " (" + sizeText(tooLongW, tooLongH) + " pixels) the largest lag " +
            std::to_string(tooLongLag) + ", and twice the largest lag must stay below the width and the height; "
            "the largest value allowed here is " + std::to_string(allowed));
  if (o.lo > 32767) failRun("Option -lo: must be at most 32767 (given " + std::to_string(o.lo) + ")");
  if (o.neta > 32767) failRun("Option -neta: must be at most 32767 (given " + std::to_string(o.neta) + ")");
}
