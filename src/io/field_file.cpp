#include "io/field_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <CImg.h>

#include "io/field_planes.h"

using namespace cimg_library;

namespace {

// Encodes one value into its two bytes; returns false when the value had to be saturated.
bool encodeValue(float v, unsigned char* out) {
  if (std::isnan(v)) {
    out[0] = 1;
    out[1] = 0;
    return false;
  }
  const float w = v >= 0 ? v + 1.0f : v - 1.0f;
  if (w >= 128.0f) {  // the integer byte would wrap to a negative value
    out[0] = (unsigned char)(signed char)127;
    out[1] = 199;
    return false;
  }
  if (w <= -129.0f) {  // the integer byte would wrap to a positive value
    out[0] = (unsigned char)(signed char)-128;
    out[1] = 199;
    return false;
  }
  const signed char k = (signed char)(int)w;  // truncated toward zero, fits in 8 bits here
  const float frac = w >= 0 ? w - (float)k : (float)k - w;  // single precision
  const int d = (int)(200 * (double)frac);                  // product in double, truncated
  out[0] = (unsigned char)k;
  out[1] = (unsigned char)d;
  return true;
}

float decodeValue(const unsigned char* in) {
  const int e = (signed char)in[0];
  const int d = in[1];
  const double v = e < 0 ? e + 1 - d * 0.005 : e - 1 + d * 0.005;
  return (float)v;
}

// Writes all n bytes, retrying partial writes; false on a write error.
bool writeAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= (size_t)w;
  }
  return true;
}

// Reads exactly n bytes; false on a read error or an early end of file.
bool readAll(int fd, unsigned char* p, size_t n) {
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    p += r;
    n -= (size_t)r;
  }
  return true;
}

}  // namespace

void write_field(const std::string& name_field, const float* ima_u, const float* ima_v, short nbcol,
                 short nblig, short* error) {
  *error = 0;
  if (nbcol < 0 || nblig < 0) {
    std::fprintf(stderr, "write_field: '%s': negative field size %d x %d\n", name_field.c_str(), nbcol,
                 nblig);
    *error = 1;
    return;
  }
  const int fd = ::open(name_field.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror("fichier vecteurs");
    *error = 1;
    return;
  }
  const size_t n = (size_t)nbcol * (size_t)nblig;
  unsigned char* buf = (unsigned char*)std::malloc(2 * n > 0 ? 2 * n : 1);
  if (!buf) {
    std::perror("allocation");
    ::close(fd);
    *error = 2;
    return;
  }
  const unsigned char header[4] = {(unsigned char)(nblig / 256), (unsigned char)(nblig % 256),
                                   (unsigned char)(nbcol / 256), (unsigned char)(nbcol % 256)};
  bool ok = writeAll(fd, header, 4);
  bool saturated = false;
  for (int p = 0; p < 2 && ok; ++p) {
    const float* src = p == 0 ? ima_u : ima_v;
    for (size_t k = 0; k < n; ++k)
      if (!encodeValue(src[k], buf + 2 * k)) saturated = true;
    ok = writeAll(fd, buf, 2 * n);
  }
  std::free(buf);
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    std::perror("fichier vecteurs");
    *error = 1;
  } else if (saturated) {
    *error = 3;
  }
}

void read_entete_field(const std::string& name_field, short* nbcol, short* nblig, short* error) {
  *error = 0;
  const int fd = ::open(name_field.c_str(), O_RDONLY);
  if (fd < 0) {
    std::perror("fichier vect.");
    *error = 1;
    return;
  }
  unsigned char h[4];
  const bool ok = readAll(fd, h, 4);
  ::close(fd);
  if (!ok) {
    std::fprintf(stderr, "read_entete_field: '%s': the file is shorter than its 4-byte header\n",
                 name_field.c_str());
    *error = 4;
    return;
  }
  *nblig = (short)(h[0] * 256 + h[1]);
  *nbcol = (short)(h[2] * 256 + h[3]);
}

void read_field(const std::string& name_field, float* field_u, float* field_v, short col, short lig,
                short* error) {
  *error = 0;
  if (col < 0 || lig < 0) {
    std::fprintf(stderr, "read_field: '%s': negative field size %d x %d\n", name_field.c_str(), col, lig);
    *error = 1;
    return;
  }
  const int fd = ::open(name_field.c_str(), O_RDONLY);
  if (fd < 0) {
    std::perror("fichier");
    *error = 1;
    return;
  }
  const size_t n = (size_t)col * (size_t)lig;
  // Both planes are read before either buffer is written, so a short file changes nothing.
  unsigned char* buf = (unsigned char*)std::malloc(4 * n > 0 ? 4 * n : 1);
  if (!buf) {
    std::perror("allocation");
    ::close(fd);
    *error = 2;
    return;
  }
  unsigned char header[4];
  const bool ok = readAll(fd, header, 4) && readAll(fd, buf, 4 * n);
  ::close(fd);
  if (!ok) {
    std::fprintf(stderr, "read_field: '%s': the file is too short for a field of %d x %d\n",
                 name_field.c_str(), col, lig);
    std::free(buf);
    *error = 4;
    return;
  }
  for (size_t k = 0; k < n; ++k) field_u[k] = decodeValue(buf + 2 * k);
  for (size_t k = 0; k < n; ++k) field_v[k] = decodeValue(buf + 2 * (n + k));
  std::free(buf);
}

void write_XAmotionH(const std::string& fileXafOut, const CImg<double>& im) {
  std::printf("writing %s\n", fileXafOut.c_str());
  if (im.depth() < 2 || im.width() > 32767 || im.height() > 32767) {
    std::fprintf(stderr,
                 "write_XAmotionH: '%s': not written, the field needs two planes and at most 32767 "
                 "columns and lines\n",
                 fileXafOut.c_str());
    return;
  }
  const int w = im.width(), h = im.height();
  std::vector<float> u, v;
  io_detail::floatPlanes(im, u, v);
  short error = 0;
  write_field(fileXafOut, u.data(), v.data(), (short)w, (short)h, &error);
}

CImg<float> lire_XAmotionH(const std::string& filename, int dx, int dy, int ofx, int ofy, int Dx, int Dy) {
  std::printf("reading file %s\n", filename.c_str());
  if (Dx < 0 || Dy < 0 || Dx > 32767 || Dy > 32767 || dx < 0 || dy < 0 || ofx < 0 || ofy < 0 ||
      (long long)ofx + dx > Dx || (long long)ofy + dy > Dy) {
    std::fprintf(stderr,
                 "lire_XAmotionH: '%s': the window of %d x %d at (%d, %d) does not lie inside a field "
                 "of %d x %d\n",
                 filename.c_str(), dx, dy, ofx, ofy, Dx, Dy);
    return CImg<float>();
  }
  const size_t n = (size_t)Dx * (size_t)Dy;
  std::vector<float> u(n), v(n);
  short error = 0;
  read_field(filename, u.data(), v.data(), (short)Dx, (short)Dy, &error);
  if (error != 0) {
    std::fprintf(stderr, "lire_XAmotionH: '%s': the field file could not be read\n", filename.c_str());
    return CImg<float>();
  }
  return io_detail::fieldWindow(u, v, dx, dy, ofx, ofy, Dx, Dy);
}
