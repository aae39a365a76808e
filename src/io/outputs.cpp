#include "io/outputs.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <memory>

#include <CImg.h>

#include "io/fail.h"

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
  std::FILE* f = std::fopen(filename.c_str(), "w");
  if (!f) failCreate(filename);
  const double* p = S2.data();
  bool ok = true;
  for (int i = 0; i < S2.width(); ++i) ok = std::fprintf(f, "%d %e\n", i, p[i]) > 0 && ok;
  if (std::fclose(f) != 0 || !ok) failCreate(filename);
}

void writeLine(const CImg<double>& save, const std::string& filename) {
  std::ofstream out(filename, std::ios::app);
  if (!out) failCreate(filename);
  const double* p = save.data();
  for (int i = 0; i < save.width(); ++i) {
    if (i > 0) out << "\t";
    out << p[i];
  }
  out << "\n";
  out.close();
  if (!out) failCreate(filename);
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
