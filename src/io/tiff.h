// TIFF input through the image library (libtiff in-process).
#pragma once

#include <string>

namespace cimg_library {
template <typename T> struct CImg;
}

// The first slice and first channel of the TIFF file `filename`. A file that cannot be opened or
// decoded prints one line naming the file and the problem on standard error and exits with status 1.
cimg_library::CImg<double> read_tiff(const std::string& filename);
