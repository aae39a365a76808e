#include "io/tiff.h"

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <CImg.h>

#include "io/fail.h"
#include "io/input_file.h"

using namespace cimg_library;

namespace {

// The largest width or height read, as for PGM input.
constexpr std::uint32_t kMaxSide = 32767;
// One decoded line or tile beyond this is not an image this program can use (a line of 32767
// pixels of four float samples is 512 KiB); refusing it keeps a corrupt header from reserving
// gigabytes.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t(1) << 30;

// libtiff's first error message for the file, kept for the one-line report; its warnings are dropped.
struct Messages {
  std::string firstError;
};

int keepFirstError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  Messages* m = static_cast<Messages*>(user);
  if (m && m->firstError.empty()) {
    char text[400];
    std::vsnprintf(text, sizeof text, fmt, ap);
    m->firstError = escaped(text);  // one line whatever the message (and the file name in it) holds
  }
  return 1;  // handled: libtiff's process-wide handler is not called
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's process-wide handlers print on standard error; they stay off while a file is read (the
// handlers of the open file already take every message that names a file) and come back afterwards.
class QuietLibtiff {
 public:
  QuietLibtiff() : error_(TIFFSetErrorHandler(nullptr)), warning_(TIFFSetWarningHandler(nullptr)) {}
  ~QuietLibtiff() {
    TIFFSetErrorHandler(error_);
    TIFFSetWarningHandler(warning_);
  }
  QuietLibtiff(const QuietLibtiff&) = delete;
  QuietLibtiff& operator=(const QuietLibtiff&) = delete;

 private:
  TIFFErrorHandler error_, warning_;
};

struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffClose {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

enum class Sample { U8, U16, F32 };

class Reader {
 public:
  explicit Reader(const std::string& filename) : name_(filename) {}

  CImg<double> read() {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (!opts) fail("cannot be read (no memory for libtiff's options)");
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), keepFirstError, &messages_);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), dropWarning, nullptr);
    // The file is opened here, as libtiff would open it, so that a file that cannot seek is refused
    // before libtiff reads from it; libtiff closes the descriptor with the TIFF.
    const ImageInput in = openImageInput(name_);
    if (in.openError != 0) {
      // Said as libtiff says a file it cannot open.
      messages_.firstError = escaped(name_ + ": " + std::strerror(in.openError));
      fail("cannot be read");
    }
    if (in.fd < 0) fail(in.problem);
    std::unique_ptr<TIFF, TiffClose> tif(TIFFFdOpenExt(in.fd, name_.c_str(), "r", opts.get()));
    if (!tif) {
      close(in.fd);
      fail("cannot be read");
    }
    tif_ = tif.get();
    readLayout();
    CImg<double> img(width_, height_, 1, 1);  // every pixel is written below before it is used
    if (palette_)
      readPalette(img);
    else if (TIFFIsTiled(tif_))
      readTiles(img);
    else
      readLines(img);
    return img;
  }

 private:
  [[noreturn]] void fail(const std::string& problem) const {
    std::string line = "TIFF file " + quoted(name_) + " " + problem;
    if (!messages_.firstError.empty()) line += " (libtiff: " + messages_.firstError + ")";
    failRun(line);
  }

  void readLayout() {
    if (!TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &width_) || !TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &height_))
      fail("cannot be read: it holds no image size");
    if (width_ < 1 || height_ < 1 || width_ > kMaxSide || height_ > kMaxSide)
      fail("cannot be read: the image size " + std::to_string(width_) + " x " + std::to_string(height_) +
           " is not between 1 and 32767");

    std::uint16_t spp = 1, bits = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif_, TIFFTAG_PHOTOMETRIC, &photometric);

    // Palette images: the red component of each pixel's palette entry, as the image library read
    // them through libtiff's RGBA interface.
    palette_ = photometric == PHOTOMETRIC_PALETTE;
    if (palette_ && (format != SAMPLEFORMAT_UINT || spp != 1 || (bits != 1 && bits != 4 && bits != 8)))
      fail("cannot be read: its palette pixels are " + std::to_string(spp) + " sample(s) of " + std::to_string(bits) +
           "-bit " + formatName(format) + "; only palette images of one 1-, 4- or 8-bit index per pixel are read");
    if (palette_)
      sampleBytes_ = 1;
    else if (format == SAMPLEFORMAT_UINT && bits == 8)
      sample_ = Sample::U8, sampleBytes_ = 1;
    else if (format == SAMPLEFORMAT_UINT && bits == 16)
      sample_ = Sample::U16, sampleBytes_ = 2;
    else if (format == SAMPLEFORMAT_IEEEFP && bits == 32)
      sample_ = Sample::F32, sampleBytes_ = 4;
    else
      fail("cannot be read: its samples are " + std::to_string(bits) + "-bit " + formatName(format) +
           "; only unsigned 8-bit, unsigned 16-bit and 32-bit float samples are read");
    if (spp < 1) fail("cannot be read: it announces no sample per pixel");
    if (!palette_ && photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK &&
        photometric != PHOTOMETRIC_RGB)
      fail("cannot be read: its photometric interpretation " + std::to_string(photometric) +
           " is neither grey, RGB nor palette");
    if (planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE)
      fail("cannot be read: its planar configuration " + std::to_string(planar) + " is unknown");
    if (!TIFFIsCODECConfigured(compression))
      fail("cannot be read: its compression scheme " + std::to_string(compression) + " is not one libtiff decodes");
    stride_ = planar == PLANARCONFIG_CONTIG ? spp : 1;

    // Uncompressed pixels must be in the file: a short file is refused before the pixels are reserved.
    if (compression == COMPRESSION_NONE) {
      struct stat st;
      const std::uint64_t need = ((std::uint64_t)width_ * stride_ * bits + 7) / 8 * height_;
      if (stat(name_.c_str(), &st) == 0 && (std::uint64_t)st.st_size < need)
        fail("is truncated: " + std::to_string(width_) + " x " + std::to_string(height_) + " pixels need " +
             std::to_string(need) + " bytes, the file holds " + std::to_string((long long)st.st_size));
    }
  }

  static std::string formatName(std::uint16_t format) {
    switch (format) {
      case SAMPLEFORMAT_UINT: return "unsigned integers";
      case SAMPLEFORMAT_INT: return "signed integers";
      case SAMPLEFORMAT_IEEEFP: return "floats";
      default: return "values of sample format " + std::to_string(format);
    }
  }

  // A buffer for one decoded line or tile of `bytes`, which must hold at least `need` bytes.
  std::vector<unsigned char> buffer(std::int64_t bytes, std::uint64_t need, const char* what) const {
    if (bytes <= 0 || (std::uint64_t)bytes < need)
      fail("cannot be read: its " + std::string(what) + " size is inconsistent with the image");
    if ((std::uint64_t)bytes > kMaxBufferBytes)
      fail("cannot be read: one " + std::string(what) + " would take " + std::to_string(bytes) + " bytes");
    return std::vector<unsigned char>((size_t)bytes);
  }

  // The first sample of pixel k of a decoded line or tile row starting at `row`.
  double value(const unsigned char* row, std::uint64_t k, std::uint32_t x, std::uint32_t y) const {
    const unsigned char* p = row + k * stride_ * sampleBytes_;
    switch (sample_) {
      case Sample::U8: return (double)*p;
      case Sample::U16: {
        std::uint16_t v;
        std::memcpy(&v, p, sizeof v);
        return (double)v;
      }
      case Sample::F32: break;
    }
    float f;
    std::memcpy(&f, p, sizeof f);
    if (!std::isfinite(f))
      fail("cannot be read: the sample at column " + std::to_string(x) + ", line " + std::to_string(y) +
           " is not a finite number");
    return (double)f;
  }

  // libtiff's RGBA image (bottom line first), of which the red component is taken.
  void readPalette(CImg<double>& img) {
    std::vector<std::uint32_t> raster((size_t)width_ * height_);
    if (!TIFFReadRGBAImage(tif_, width_, height_, raster.data(), 1)) fail("cannot be read: its pixels do not decode");
    for (std::uint32_t y = 0; y < height_; ++y)
      for (std::uint32_t x = 0; x < width_; ++x)
        img(x, y) = (double)(float)TIFFGetR(raster[(size_t)width_ * (height_ - 1 - y) + x]);
  }

  void readLines(CImg<double>& img) {
    const std::uint64_t need = (std::uint64_t)width_ * stride_ * sampleBytes_;
    std::vector<unsigned char> line = buffer(TIFFScanlineSize64(tif_), need, "line");
    for (std::uint32_t y = 0; y < height_; ++y) {
      // Lines are read in order, so that compressed strips decode once each.
      if (TIFFReadScanline(tif_, line.data(), y, 0) < 0)
        fail("cannot be read: line " + std::to_string(y) + " does not decode");
      for (std::uint32_t x = 0; x < width_; ++x) img(x, y) = value(line.data(), x, x, y);
    }
  }

  void readTiles(CImg<double>& img) {
    std::uint32_t tw = 0, th = 0;
    TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif_, TIFFTAG_TILELENGTH, &th);
    if (tw < 1 || th < 1) fail("cannot be read: its tiles have no size");
    const std::uint64_t need = (std::uint64_t)tw * th * stride_ * sampleBytes_;
    std::vector<unsigned char> tile = buffer(TIFFTileSize64(tif_), need, "tile");
    for (std::uint32_t ty = 0; ty < height_; ty += th)
      for (std::uint32_t tx = 0; tx < width_; tx += tw) {
        const std::uint32_t t = TIFFComputeTile(tif_, tx, ty, 0, 0);
        const tmsize_t got = TIFFReadEncodedTile(tif_, t, tile.data(), (tmsize_t)tile.size());
        if (got < 0 || (std::uint64_t)got < need)
          fail("cannot be read: tile " + std::to_string(t) + " does not decode");
        for (std::uint32_t y = ty; y < height_ && y - ty < th; ++y) {
          const unsigned char* row = tile.data() + (std::uint64_t)(y - ty) * tw * stride_ * sampleBytes_;
          for (std::uint32_t x = tx; x < width_ && x - tx < tw; ++x) img(x, y) = value(row, x - tx, x, y);
        }
      }
  }

  std::string name_;
  Messages messages_;
  TIFF* tif_ = nullptr;
  std::uint32_t width_ = 0, height_ = 0;
  Sample sample_ = Sample::U8;
  bool palette_ = false;
  std::uint64_t sampleBytes_ = 1, stride_ = 1;
};

}  // namespace

CImg<double> read_tiff(const std::string& filename) {
  QuietLibtiff quiet;
  return Reader(filename).read();
}
