// Start-up refusals that depend on the levels a run will estimate and on the path each takes: the
// power-law factor and the lag range of every K41 level, the Horn & Schunck coefficient of every
// Horn & Schunck level.
#pragma once

#include <string>
#include <vector>

#include "driver/options.h"

// Width and height of pyramid level r for the window of the options, padded as the run pads it.
void levelSize(const RunOptions& opt, int r, int& width, int& height);

// For every level that will run (-multiresol - 1 down to -resolEnd - 1):
//  - a K41 level needs -gamma > 0 and a positive finite power-law factor (its reciprocal enters the
//    Hessian), a power law that stays finite up to its longest (diagonal) lag, and a largest lag
//    lo_r with 2 lo_r below the level's width and height (the message names -lo, or -neta when it
//    is the larger, and the largest value the run allows), a line-search limit -nbItLbfgs of at least 1
//    and a precision -eps that is not negative;
//  - a Horn & Schunck level needs -alpha > 0;
//  - every level needs a pixel of the data term inside the -offEdeges band (at level 0 inside the
//    window, without the padding): the message names the largest value allowed.
// Then -lo and -neta beyond 32767 (a lag longer than any image) are refused whatever the path.
// One line on standard error naming the option, exit status 1. Expects options that passed
// refuseInvalidOptions (sizes 1 to 32767, 1 <= -multiresol <= 7, -resolEnd >= 1, -offEdeges >= 0).
void refuseUnrunnableLevels(const RunOptions& opt);

// Refuses a run of which an output (runOutputNames) would be the same file as one of its inputs: the
// list file, the two images, with -GT the true motion table, with -lambdaInitFile the multiplier
// file (`fileIm`: the list-file lines). Files that exist are compared by device and inode (a link or
// another spelling of the name is the same file), names of files that do not exist yet by their
// resolved paths. One line on standard error naming both, exit status 1.
void refuseOutputsOverInputs(const RunOptions& opt, const std::vector<std::string>& fileIm);
