// Internal to the motion-field readers and writers (field_file.cpp, motion_file.cpp): conversion
// between a two-plane field image and the row-after-row float arrays u, v of the file formats. Not
// part of the folder's public headers.
#pragma once

#include <CImg.h>

#include <cstddef>
#include <vector>

namespace io_detail {

// Planes 0 and 1 of im (w x h) as floats, row after row.
inline void floatPlanes(const cimg_library::CImg<double>& im, std::vector<float>& u, std::vector<float>& v) {
  const size_t n = (size_t)im.width() * (size_t)im.height();
  u.assign(n, 0.0f);
  v.assign(n, 0.0f);
  const double* pu = im.data(0, 0, 0);
  const double* pv = im.data(0, 0, 1);
  for (size_t k = 0; k < n; ++k) {
    u[k] = (float)pu[k];
    v[k] = (float)pv[k];
  }
}

// The dx x dy window at (ofx, ofy) of the arrays u, v of a field Dx columns wide and `lines` lines, as a
// two-plane image; window pixels beyond the field's columns or lines are 0.
inline cimg_library::CImg<float> fieldWindow(const std::vector<float>& u, const std::vector<float>& v, int dx,
                                             int dy, int ofx, int ofy, int Dx, long long lines) {
  cimg_library::CImg<float> out(dx, dy, 2, 1, 0.0f);
  for (int y = 0; y < dy && y + (long long)ofy < lines; ++y)
    for (int x = 0; x < dx && x + (long long)ofx < Dx; ++x) {
      const size_t k = (size_t)(y + ofy) * Dx + (x + ofx);
      out(x, y, 0) = u[k];
      out(x, y, 1) = v[k];
    }
  return out;
}

}  // namespace io_detail
