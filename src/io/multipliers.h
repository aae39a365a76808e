// The file of initial Lagrange multipliers: one line per lag index, "lambda_S2 lambda_S2_cross".
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// Fills lambda[l] and lambda_cross[l] for l = 0 .. n - 1 (n = width of lambda) from the first n
// lines of the multiplier file that are not blank (blank lines, of blanks, tabs and a carriage
// return at most, are skipped), each holding exactly two numbers separated by blanks or tabs, read as
// single-precision numbers; prints the file name, then every pair, as lines on standard output. The
// file may be a pipe. A file that is a directory, a socket or a block device, that cannot be opened
// (an empty name included) or is empty, that holds fewer than n pairs, a line with fewer or more than
// two fields or a field that is not a number, or a value that is not a finite number (nan, inf,
// beyond single precision) prints one line naming the file and the line on standard error and exits
// with status 1.
void readLambdaInit(cimg_library::CImg<double>& lambda, cimg_library::CImg<double>& lambda_cross,
                    const std::string& filename);
