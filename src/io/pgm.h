// Binary PGM input (maxval 255 and little-endian 10-bit) and 8-bit PGM output scaled from a range.
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// The dx x dy window whose top-left pixel is column ofx, line ofy of the binary PGM file `nom`.
// The header is the magic "P5" alone on its line (a comment may follow it), then width, height and
// maxval, each after white space and comments (from '#' to the end of the line). The raster follows
// the line break of "255\n" or of a comment right after the maxval. After blanks or a carriage return
// (a tab is a blank) it begins either right after that one white-space character or right after the
// line break that ends the maxval line (blanks or a carriage return, perhaps a comment, then the line
// break): right after the one character when from there exactly the raster's bytes remain to the end
// of the file, else after the line break where the maxval line ends in one within 1 MiB, else after
// the one character. Maxval 255: one byte per sample; maxval 1023: two bytes per sample, least
// significant first, values at most 1023.
// Any other maxval prints "Can't read images %s Kestrum problem def=%d (255 ou 1023)!" and exits
// with status 1. A file that is not a regular file or a character device (refused before it is
// opened; a pipe, as the reader seeks in its file) or cannot be opened, a device that cannot seek,
// another first line, a header longer than 1 MiB (a stream that never ends), a maxval not followed by
// white space, a truncated raster, a ten-bit sample above 1023 or a window that does not lie inside
// the image print one line on standard error naming the file and exit with status 1.
cimg_library::CImg<short> read_pgm(const std::string& nom, int dx, int dy, int ofx, int ofy);

// Writes plane 0 of `in` as an 8-bit binary PGM, values clamped to [min, max] and scaled to 0..255
// (rounded half up). A degenerate range (max == min) or a NaN sample writes 0. A file that cannot be
// created prints "Can't create %s !" on standard output and exits with status 1; the file is written
// whole or not at all (io/output_file.h).
void write_pgm255(const cimg_library::CImg<double>& in, const std::string& filename, float min, float max);
