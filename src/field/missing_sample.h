// The one rule for missing image data: a sample whose magnitude reaches kMissingSample (a saturated
// ten-bit pixel) counts as missing. The pyramid's low-pass filter leaves such samples out and marks a
// mostly missing output with kMissingMarker, the warps do not interpolate across them, and the run
// names the input windows that hold them.
#pragma once

constexpr double kMissingSample = 1022;

// The threshold plus one: the value of a low-pass output whose kernel weight is mostly missing, itself
// missing for every later filter or warp.
constexpr int kMissingMarker = static_cast<int>(kMissingSample) + 1;

// The samples a step tested for missing data (`read`), and how many of them were missing.
struct WarpSamples {
  long read = 0;
  long missing = 0;
};
