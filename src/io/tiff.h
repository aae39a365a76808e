// TIFF input through libtiff: the first directory, the first sample of each pixel.
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// The first image (directory) of the TIFF file `filename`, first sample of each pixel, as a
// width x height image of one slice and one channel. Samples are unsigned 8-bit, unsigned 16-bit or
// 32-bit floats (values as stored); grey (either polarity) or RGB pixels, any compression libtiff
// decodes, strips or tiles, either planar layout. Palette images of one 1-, 4- or 8-bit index per
// pixel give the red component of each pixel's palette entry, 0 to 255, as libtiff's RGBA interface
// converts it.
//
// Refused with one line on standard error naming the file and the problem, exit status 1: a file
// that is not a regular file or a character device (refused before it is opened), that cannot be
// opened or is not a TIFF; a width or height of 0 or above 32767 (checked before any
// memory is reserved for the pixels); other sample types, other palettes or colour models; a
// compression libtiff cannot decode; a line, strip or tile that cannot be read or decodes to fewer
// bytes than it must hold; a float sample that is not a finite number. libtiff's own warnings and
// errors never reach the terminal: its first error is quoted in that line.
cimg_library::CImg<double> read_tiff(const std::string& filename);
