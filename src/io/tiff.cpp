#include "io/tiff.h"

#include <CImg.h>

#include "io/fail.h"

using namespace cimg_library;

CImg<double> read_tiff(const std::string& filename) {
  // The library would print its own multi-line report of an exception: keep it quiet here and
  // report the failure as one line.
  const unsigned int mode = cimg::exception_mode();
  cimg::exception_mode(0);
  CImg<double> img;
  try {
    img.load_tiff(filename.c_str(), 0, 0);
  } catch (const CImgException& e) {
    cimg::exception_mode(mode);
    failRun("TIFF file '" + filename + "' cannot be read: " + e.what());
  }
  cimg::exception_mode(mode);
  if (img.is_empty()) failRun("TIFF file '" + filename + "' holds no image");
  if (img.depth() > 1 || img.spectrum() > 1) img = img.get_slice(0).get_channel(0);
  return img;
}
