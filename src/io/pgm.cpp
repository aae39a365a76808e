#include "io/pgm.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include <CImg.h>

#include "io/fail.h"
#include "io/input_file.h"
#include "io/output_file.h"

using namespace cimg_library;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void failPgm(const std::string& nom, const std::string& problem) {
  failRun("PGM file " + quoted(nom) + ": " + problem);
}

// A read that failed (EIO, say) is said as such, not taken for the end of what the file holds.
void refuseIfUnreadable(std::FILE* fp, const std::string& nom) {
  if (std::ferror(fp)) failPgm(nom, std::string("cannot be read (") + std::strerror(errno) + ")");
}

// The header of a binary PGM, read with a bound on its length so that a stream that never ends
// (a device, a pipe) is refused instead of being read forever.
class HeaderScan {
 public:
  HeaderScan(std::FILE* fp, const std::string& nom) : fp_(fp), nom_(nom) {}

  // The next byte, EOF at the end of the file; a read that fails ends the run naming its reason.
  int next() {
    if (++count_ > kMaxHeaderBytes)
      failPgm(nom_, "the header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
    const int c = std::fgetc(fp_);
    if (c == EOF) refuseIfUnreadable(fp_, nom_);
    return c;
  }
  void back(int c) {
    if (c != EOF) {
      std::ungetc(c, fp_);
      --count_;
    }
  }
  // Skips the rest of the current line, its line break included; false at the end of the file.
  bool skipLine() {
    int c;
    while ((c = next()) != EOF && c != '\n') {
    }
    return c != EOF;
  }
  // A decimal integer after white space and comments (each from '#' to the end of its line), with an
  // optional sign, as "%ld" reads it (saturated far beyond any size this reader takes); false when
  // there is none. The character after its digits is left unread.
  bool number(long& v) {
    int c;
    while ((c = next()) != EOF && (std::isspace(c) || c == '#'))
      if (c == '#' && !skipLine()) return false;
    bool negative = false;
    if (c == '+' || c == '-') {
      negative = c == '-';
      c = next();
    }
    if (c == EOF || !std::isdigit(c)) return false;
    long long value = 0;
    for (; c != EOF && std::isdigit(c); c = next())
      if (value < kSaturated) value = value * 10 + (c - '0');
    back(c);
    v = (long)(negative ? -value : value);
    return true;
  }

 private:
  static constexpr long kMaxHeaderBytes = 1L << 20;
  static constexpr long long kSaturated = 1LL << 40;
  std::FILE* fp_;
  const std::string& nom_;
  long count_ = 0;
};

// After the blank or carriage return that follows the maxval: reads on while the maxval line goes on
// as white space (tabs and the other blanks of isspace too), then perhaps a comment, up to its line
// break. True when it ends so, its line break read; false at another byte, at the end of the file, or
// when no line break comes within 1 MiB (a line no header holds: the raster then follows the one
// character).
bool maxvalLineEndsInLineBreak(std::FILE* fp) {
  constexpr long kMaxLine = 1 << 20;
  bool comment = false;
  int c;
  for (long n = 0; n < kMaxLine && (c = std::fgetc(fp)) != EOF; ++n) {
    if (c == '\n') return true;
    if (c == '#') comment = true;
    if (!comment && !std::isspace(c)) return false;
  }
  return false;
}

// The length of the file, the reading position kept. An image is read by seeking in its file.
long fileLength(std::FILE* fp, const std::string& nom) {
  const long here = std::ftell(fp);
  long end = -1;
  if (here >= 0 && std::fseek(fp, 0, SEEK_END) == 0) end = std::ftell(fp);
  if (end < 0 || std::fseek(fp, here, SEEK_SET) != 0)
    failPgm(nom, cannotSeek(errno));
  return end;
}

// Where the raster begins, as an offset in the file of `fileEnd` bytes, once the maxval and the
// white-space character `c` after it are read (c is the line break of a comment written right after
// the maxval). Raster bytes 10 and 32 are samples, not blanks, whichever start it is.
long rasterStart(std::FILE* fp, int c, long fileEnd, size_t rasterBytes) {
  const long afterOneCharacter = std::ftell(fp);
  // After the line break of "255\n" (what writers put) or of a comment written right after the maxval.
  if (c == '\n') return afterOneCharacter;
  // After a blank or a carriage return the file decides. Right after that one character ("255 " +
  // raster) when from there exactly the raster's bytes remain to its end.
  if ((unsigned long)(fileEnd - afterOneCharacter) == rasterBytes) return afterOneCharacter;
  // Else right after the line break that ends the maxval line ("255 \n", "255\r\n", "255 # note\n")
  // where it ends in one: from there exactly the raster's bytes remain, or bytes follow the raster
  // and the line break counts.
  if (maxvalLineEndsInLineBreak(fp)) return std::ftell(fp);
  // Else right after the one character: the raster is followed by bytes, or truncated.
  return afterOneCharacter;
}

}  // namespace

CImg<short> read_pgm(const std::string& nom, int dx, int dy, int ofx, int ofy) {
  const ImageInput in = openImageInput(nom);
  if (in.fd < 0) failPgm(nom, in.problem);
  File f(fdopen(in.fd, "rb"));
  if (!f) {
    const int error = errno;
    close(in.fd);
    failPgm(nom, std::string("cannot be read (") + std::strerror(error) + ")");
  }
  std::FILE* fp = f.get();
  HeaderScan h(fp, nom);

  // The first line is the magic "P5" of binary PGM (blanks and a comment may follow it); ASCII PGM
  // ("P2"), colour PPM ("P6") and anything else are refused rather than read as binary grey.
  int c = h.next();
  const int c2 = c == 'P' ? h.next() : EOF;
  if (c != 'P' || c2 != '5') failPgm(nom, "the first line is not the binary PGM magic \"P5\"");
  while ((c = h.next()) == ' ' || c == '\t' || c == '\r') {
  }
  if (c == '#') c = h.skipLine() ? '\n' : EOF;
  if (c == EOF) failPgm(nom, "the header ends before the image size");
  if (c != '\n') failPgm(nom, "the first line is not the binary PGM magic \"P5\" alone");

  // Width, height and maxval, with white space and comments before each. Sizes are 16-bit values
  // (at most 32767): they are read whole so that a larger one is refused instead of being cut to 16 bits.
  long width = 0, height = 0, maxvalRead = 0;
  const bool gotWidth = h.number(width);
  if (!gotWidth && std::feof(fp)) failPgm(nom, "the header ends before the image size");
  if (!gotWidth || !h.number(height) || !h.number(maxvalRead))
    failPgm(nom, "the header holds no width, height and maxval");
  const int maxval = maxvalRead > INT_MAX ? INT_MAX : maxvalRead < INT_MIN ? INT_MIN : (int)maxvalRead;
  if (maxval != 255 && maxval != 1023) {
    std::printf("Can't read images %s Kestrum problem def=%d (255 ou 1023)!", escaped(nom).c_str(), maxval);
    std::fflush(stdout);
    std::exit(1);
  }
  // The header ends with the white-space character after the maxval, or with the line break of a
  // comment written right after it; the maxval line may go on (rasterStart).
  c = h.next();
  if (c == '#') c = h.skipLine() ? '\n' : EOF;
  if (c == EOF) failPgm(nom, "the header ends before the raster");
  if (!std::isspace(c)) failPgm(nom, "the maxval is not followed by one white-space character");

  if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
    failPgm(nom, "the image size " + std::to_string(width) + " x " + std::to_string(height) +
                     " is not between 1 and 32767");
  if (ofx < 0 || ofy < 0 || dx < 0 || dy < 0 || (long long)ofx + dx > width ||
      (long long)ofy + dy > height)
    failPgm(nom, "the window of " + std::to_string(dx) + " x " + std::to_string(dy) + " at (" +
                     std::to_string(ofx) + ", " + std::to_string(ofy) + ") does not lie inside the image of " +
                     std::to_string(width) + " x " + std::to_string(height));

  const size_t n = (size_t)width * (size_t)height;
  const size_t bytesPerSample = maxval == 255 ? 1 : 2;
  const size_t rasterBytes = n * bytesPerSample;
  const long fileEnd = fileLength(fp, nom);
  const long start = rasterStart(fp, c, fileEnd, rasterBytes);
  // A header may announce far more samples than the file holds: compare with the bytes left before
  // reserving memory for the raster.
  const std::string truncated = "the raster is truncated (expected " + std::to_string(rasterBytes) + " bytes)";
  if (fileEnd - start < (long)rasterBytes) failPgm(nom, truncated);
  if (std::fseek(fp, start, SEEK_SET) != 0) failPgm(nom, "cannot be read");
  std::vector<unsigned char> raw(rasterBytes, 0);
  if (std::fread(raw.data(), 1, raw.size(), fp) != raw.size()) {
    refuseIfUnreadable(fp, nom);
    failPgm(nom, truncated);
  }

  // Ten-bit samples above 1023 (a file written most significant byte first, or 16-bit data) are no
  // samples of this format: they would turn negative in the 16-bit result.
  if (bytesPerSample == 2)
    for (size_t k = 0; k < n; ++k) {
      const unsigned sample = raw[2 * k] | (raw[2 * k + 1] << 8);
      if (sample > 1023)
        failPgm(nom, "the sample at column " + std::to_string(k % (size_t)width) + ", line " +
                         std::to_string(k / (size_t)width) + " is " + std::to_string(sample) +
                         "; with maxval 1023 samples are two bytes, least significant first, at most 1023");
    }

  CImg<short> out(dx, dy, 1, 1, 0);
  for (int j = 0; j < dy; ++j)
    for (int i = 0; i < dx; ++i) {
      const size_t k = (size_t)(ofy + j) * (size_t)width + (size_t)(ofx + i);
      if (bytesPerSample == 1)
        out(i, j) = (short)raw[k];
      else
        out(i, j) = (short)(unsigned short)(raw[2 * k] | (raw[2 * k + 1] << 8));
    }
  return out;
}

void write_pgm255(const CImg<double>& in, const std::string& filename, float min, float max) {
  const int w = in.width(), h = in.height();
  const size_t n = (size_t)w * (size_t)h;
  OutputFile out(filename);
  out.print("P5\n");
  out.print("%d %d\n255\n", w, h);

  const float range = max - min;  // single precision, as the scale has always been computed
  const double factor = (1 / (double)range) * 255;
  std::vector<unsigned char> bytes(n);
  const double* p = in.data();  // plane 0 of channel 0 comes first
  for (size_t k = 0; k < n; ++k) {
    double v = p[k];
    if (v > max) v = max;
    if (v < min) v = min;
    const double scaled = (v - min) * factor + 0.5;
    // A degenerate range or a NaN sample has no byte value: it is written as 0.
    bytes[k] = (scaled >= 0.0 && scaled < 256.0) ? (unsigned char)(int)scaled : 0;
  }
  out.write(bytes.data(), n);
  out.commit();
}
