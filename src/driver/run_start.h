// The start of a run, step by step: options, list file, the two input windows, padding, the input
// windows written, pyramids and multipliers allocated, the true field, the coarser image levels.
// Each step is its own function so that the coarse-to-fine loop builds on them; startRun calls them
// in the run's order.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include <CImg.h>

#include "driver/options.h"

struct RunState {
  RunOptions opt;
  std::vector<std::string> fileIm;  // list-file lines: image 1, image 2, prefix, true field, multipliers
  int dx = 0, dy = 0;               // padded window size (opt.dxOrig, opt.dyOrig: the window itself)

  cimg_library::CImg<double> imOrig;    // window of image 1 (dxOrig x dyOrig)
  cimg_library::CImg<double> imdtOrig;  // window of (pre-shifted) image 2
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

// Options with their headings and the whole-image resolution, the notices of the command line on
// standard error (yes/no texts that are no yes/no word, arguments ignored in an option name's place),
// then the refusals of values that would index missing pyramid entries or empty images, and of levels
// that cannot run (lag range, power-law factor, Horn & Schunck coefficient).
RunOptions startOptions(int argc, char** argv);

// Reads the five list-file lines of opt.inPath. With -GT an empty line 4, with -lambdaInitFile an
// empty line 5, is refused like a file that cannot be opened.
void readListFile(RunState& s);

// imOrig = the window (ofx, ofy, dx, dy) of image 1; image 2 read whole (Dx x Dy from (0, 0)),
// warped by the constant field (-Umean, 0) when -Umean is not 0, and cut to the same window into
// imdtOrig. PGM with -pgm, else TIFF (first slice, first channel). A window outside an image is
// refused (one line naming the file, exit status 1).
void readInputImages(RunState& s);

// When the run builds coarser levels from TIFF images: for each window that holds samples of
// magnitude 1022 or more, which the low-pass filter and the warps take for missing data (saturated
// ten-bit pixels), one line on standard error naming the file, their count and the threshold. Nothing
// with -pgm (8-bit PGM stays below 1022, and 10-bit PGM saturates there) or with one level.
void noteMissingSamples(const RunState& s);

// Pads both windows to a size that the pyramid divides and prints
// "image size before <dxOrig> <dyOrig>, and after expanding <dx> <dy>".
void padInputs(RunState& s);

// Writes "<prefix>Im_t.pgm" and "<prefix>Im_dt.pgm" from the two windows (range 0 to 255).
void writeInputWindows(const RunState& s);

// Allocates every pyramid (padded size, coarse index -multiresol), X, trueUV, the multiplier
// pyramids (n = max(-lo, -neta)) and the result vector, all zero.
void allocateRunState(RunState& s);

// With -GT: reads the true field (list-file line 4: the padded dx x dy window at (ofx, ofy) of a table
// Dx columns wide, which must hold the dxOrig x dyOrig window; zero where the padding reaches beyond
// the table), and writes "<prefix>_true.motion",
// "<prefix>_trueS2_HV" and "<prefix>_trueS2_Cross". Nothing without -GT.
void readTrueField(RunState& s);

// Level 0 of the image pyramids, the level-0 multipliers (file of list-file line 5 with
// -lambdaInitFile, else -lambdaInit), and the levels 1 to -multiresol - 1 (low-pass filter and
// decimation; multipliers -lambdaInit). Then zeroes the carried motion of the coarsest level and
// takes the start time.
void buildPyramids(RunState& s);

// Every start-up step above, in the run's order (a memory shortage names the step), with the refusal
// of outputs that would be inputs (refuseOutputsOverInputs) right after the list file.
void startRun(int argc, char** argv, RunState& s);

// The end of a run: "Processing time duration (sec): %d\n" with the whole seconds since s.tdeb,
// then "\n ** End algorithm **" as a line.
void endRun(const RunState& s);
