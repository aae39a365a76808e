// The start of a run, step by step: options, list file, the two input windows, padding, the input
// windows written, pyramids and multipliers allocated, the true field, the coarser image levels.
// Each step is its own function so that the coarse-to-fine loop builds on them; startRun calls them
// in the run's order.
#pragma once

#include "driver/run_state.h"

// Options with their headings and the whole-image resolution, the notices of the command line on
// standard error (yes/no texts that are no yes/no word, arguments ignored in an option name's place),
// then the refusals of values that would index missing pyramid entries or empty images, and of levels
// that cannot run (lag range, power-law factor, Horn & Schunck coefficient).
RunOptions startOptions(int argc, char** argv);

// Reads the five list-file lines of opt.inPath. With -GT an empty line 4, with -lambdaInitFile an
// empty line 5, is refused like a file that cannot be opened.
void readListFile(RunState& s);

// imOrig = the window (ofx, ofy, dx, dy) of image 1; image 2 read whole (Dx x Dy from (0, 0)),
// warped by the constant field (-Umean, 0) when -Umean is not 0 (preShiftSamples: the samples the
// warp tests for missing data while computing the window), and cut to the same window into
// imdtOrig. PGM with -pgm, else TIFF (first slice, first channel). A window outside an image is
// refused (one line naming the file, exit status 1).
void readInputImages(RunState& s);

// Names on standard error each input whose samples of magnitude kMissingSample (1022) or more the run
// takes for missing data (saturated ten-bit pixels), one line each with their count and the threshold:
// image 2 when the -Umean pre-shift warp reads such samples for the window ("... count as missing data
// in the -Umean pre-shift warp: <n> of the <m> it reads for the window; ..."), and, when the run builds
// coarser levels (-multiresol above 1), each window holding such samples ("... when the coarser
// levels are built and in the warps (-multiresol above 1): <n> of the <m> of the window; ..."): the
// low-pass filter reads every sample of the windows and the hand-over warps read image 2's. One level
// without -Umean takes no sample for missing and prints nothing. Nothing with -pgm either: an 8-bit
// PGM stays below 1022, and a 10-bit PGM saturates there, so its 1022 and 1023 are missing as meant.
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
