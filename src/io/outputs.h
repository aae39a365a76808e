// Plain outputs of a run: curve files, the per-level result line, and the border masks of the data
// term. (PGM output: io/pgm.h.)
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// An output file name built from a printf format, e.g. formatFileName("%sIm_t.pgm", prefix.c_str()),
// of any length (no fixed buffer).
std::string formatFileName(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line "%d %e\n" per index i of the vector S2 (its width is the length); the file is replaced,
// whole or not at all (io/output_file.h). A file that cannot be created prints "Can't create %s !" and
// exits with status 1.
void write_S2(const cimg_library::CImg<double>& S2, const std::string& filename);

// Appends one line to `filename` (created when absent): the values of `save` in index order,
// separated by one tab, in the stream's default format (6 significant digits), with one write
// (appendLine, io/output_file.h). A file that cannot be opened prints "Can't create %s !" and exits
// with status 1.
void writeLine(const cimg_library::CImg<double>& save, const std::string& filename);

// In plane 0 of a, sets to 0 every pixel with x < ofx, x >= width - ofx, y < ofy or y >= height - ofy.
void setZeroBorder(cimg_library::CImg<double>& a, int ofx, int ofy);

// In plane 0 of a, sets to 0 every pixel with x >= dxOrig or y >= dyOrig (the padding region).
void setZeroBorderOnExpandedRegion(cimg_library::CImg<double>& a, int dxOrig, int dyOrig);
