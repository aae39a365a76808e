// What a run holds from its start to its end: the options, the list-file lines, the input windows,
// every pyramid and the results. The start fills it (run_start.h), the levels work on it
// (level_loop.h), and the end reads it (run_status.h).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include <CImg.h>

#include "driver/options.h"
#include "field/missing_sample.h"

struct RunState {
  RunOptions opt;
  std::vector<std::string> fileIm;  // list-file lines: image 1, image 2, prefix, true field, multipliers
  int dx = 0, dy = 0;               // padded window size (opt.dxOrig, opt.dyOrig: the window itself)

  cimg_library::CImg<double> imOrig;    // window of image 1 (dxOrig x dyOrig)
  cimg_library::CImg<double> imdtOrig;  // window of (pre-shifted) image 2
  // The samples of image 2 that the -Umean pre-shift warp tested for missing data while computing
  // the window, and how many of them were missing (both 0 without -Umean).
  WarpSamples preShiftSamples;
  cimg_library::CImg<double> im, imdt;  // the two windows padded with zeros (dx x dy)

  // Pyramids of 8 entries, entries 0 to opt.multiresol allocated (zero-filled).
  cimg_library::CImgList<double> pyrIm, pyrImdt;          // images 1 and 2 per level
  cimg_library::CImgList<double> pyrOut;                  // data-term weight per level
  cimg_library::CImgList<double> pyrf_x, pyrf_y, pyrf_t;  // derivatives per level
  cimg_library::CImgList<double> pyrXtil, pyrXinc;        // carried motion and increment (2 slices)
  cimg_library::CImgList<double> pyrTmp;                  // scratch per level
  cimg_library::CImgList<double> pyrf_lambda, pyrf_lambda_cross;  // multipliers per level

  cimg_library::CImg<double> trueUV;   // true motion (dx x dy x 2), zero without -GT
  cimg_library::CImg<double> X;        // final motion field (dx x dy x 2): estimate plus the -Umean pre-shift
  cimg_library::CImg<double> save;     // result vector, 20 values
  cimg_library::CImg<double> PB_burt;  // low-pass kernel of the pyramid

  std::time_t tdeb = 0;  // wall-clock start of the estimation

  int lastLevel = -1;               // the last level estimated so far (-1: none yet)
  bool lastLevelSolved = false;  // whether its motion comes from a converged primal solve

  // Output prefix (list-file line 3).
  const std::string& prefix() const { return fileIm[2]; }
};
