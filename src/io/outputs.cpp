#include "io/outputs.h"

#include <cstdarg>
#include <cstdio>
#include <sstream>

#include <CImg.h>

#include "io/output_file.h"

using namespace cimg_library;

std::string formatFileName(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string name(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) std::vsnprintf(&name[0], (size_t)n + 1, format, again);
  va_end(again);
  return name;
}

void write_S2(const CImg<double>& S2, const std::string& filename) {
  OutputFile out(filename);
  const double* p = S2.data();
  for (int i = 0; i < S2.width(); ++i) out.print("%d %e\n", i, p[i]);
  out.commit();
}

void writeLine(const CImg<double>& save, const std::string& filename) {
  std::ostringstream line;  // the stream's default format, as the line has always been written
  const double* p = save.data();
  for (int i = 0; i < save.width(); ++i) {
    if (i > 0) line << "\t";
    line << p[i];
  }
  line << "\n";
  appendLine(filename, line.str());
}

void setZeroBorder(CImg<double>& a, int ofx, int ofy) {
  const int w = a.width(), h = a.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (x < ofx || x >= w - ofx || y < ofy || y >= h - ofy) a(x, y, 0) = 0;
}

void setZeroBorderOnExpandedRegion(CImg<double>& a, int dxOrig, int dyOrig) {
  const int w = a.width(), h = a.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (x >= dxOrig || y >= dyOrig) a(x, y, 0) = 0;
}
