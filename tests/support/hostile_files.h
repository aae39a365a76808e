// Hand-made and mutated input files for the hostile-input tests: TIFF files built byte by byte (so
// that their tags can lie), and seeded mutations of a file's bytes (bit flips, truncations,
// insertions).
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

// A little-endian TIFF of one directory whose pixels are one strip (or, with tiled, one tile of the
// image's size); every field is written as given, true or not.
struct TiffLayout {
  std::uint32_t width = 4, height = 3;
  std::uint16_t bitsPerSample = 8, samplesPerPixel = 1, sampleFormat = 1;  // 1 unsigned, 2 signed, 3 float
  std::uint16_t compression = 1, photometric = 1, planar = 1;              // none, min-is-black, contiguous
  std::string pixels;                 // the bytes of the strip (or tile)
  std::int64_t pixelOffset = -1;      // where the strip is said to be; -1: where it is written
  bool tiled = false;                 // a tiled layout (one tile of width x height)
  bool tileTagsOnStrips = false;      // tile size tags added to the strip layout
  std::vector<std::uint16_t> colormap;  // a palette (photometric 3): all red, then green, then blue entries
};
std::string tiffBytes(const TiffLayout& layout);

// The bytes of `values` as stored by a little-endian TIFF of that sample type.
std::string littleEndianBytes(const std::uint16_t* values, size_t n);
std::string littleEndianBytes(const float* values, size_t n);

enum class Mutation { BitFlips, Truncation, Insertion };
const char* mutationName(Mutation m);

// One seeded mutation of `bytes` (chosen by `rng`, its kind returned in `kind`): a few bit flips, a
// cut at some length, or a few bytes or a token ("nan", "inf", "1e39", "-", "\r", a huge number...)
// inserted; half of the positions fall in the first 64 bytes, where the headers are.
std::string mutate(const std::string& bytes, std::mt19937& rng, Mutation& kind);

// The lines of `text` (split at each '\n'; after a final one, an empty last line), changed by `edit`
// and joined again: for a table with a line removed, two lines swapped, a field dropped...
std::string editLines(const std::string& text, const std::function<void(std::vector<std::string>&)>& edit);
