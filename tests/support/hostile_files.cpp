#include "support/hostile_files.h"

#include <cstring>
#include <vector>

namespace {

struct Entry {
  std::uint16_t tag, type;  // type 3 SHORT, 4 LONG
  std::uint32_t count;
  std::vector<std::uint32_t> values;
};

void put16(std::string& s, std::uint16_t v) {
  s.push_back((char)(v & 0xFF));
  s.push_back((char)(v >> 8));
}
void put32(std::string& s, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) s.push_back((char)((v >> (8 * k)) & 0xFF));
}

Entry shortEntry(std::uint16_t tag, std::uint16_t value, std::uint32_t count = 1) {
  return Entry{tag, 3, count, std::vector<std::uint32_t>(count, value)};
}
Entry longEntry(std::uint16_t tag, std::uint32_t value) { return Entry{tag, 4, 1, {value}}; }

size_t position(std::mt19937& rng, size_t size) {
  if (size == 0) return 0;
  const size_t limit = (rng() & 1) ? (size < 64 ? size : 64) : size;
  return rng() % limit;
}

}  // namespace

std::string tiffBytes(const TiffLayout& t) {
  const std::uint32_t dataOffset = 8;
  const std::uint32_t ifdOffset = dataOffset + (std::uint32_t)t.pixels.size();
  const std::uint32_t at = t.pixelOffset >= 0 ? (std::uint32_t)t.pixelOffset : dataOffset;
  std::vector<Entry> e = {longEntry(256, t.width), longEntry(257, t.height),
                          shortEntry(258, t.bitsPerSample, t.samplesPerPixel), shortEntry(259, t.compression),
                          shortEntry(262, t.photometric)};
  if (!t.tiled) e.push_back(longEntry(273, at));
  e.push_back(shortEntry(277, t.samplesPerPixel));
  if (!t.tiled) e.push_back(longEntry(278, t.height));
  if (!t.tiled) e.push_back(longEntry(279, (std::uint32_t)t.pixels.size()));
  e.push_back(shortEntry(284, t.planar));
  if (!t.colormap.empty())
    e.push_back(Entry{320, 3, (std::uint32_t)t.colormap.size(), {t.colormap.begin(), t.colormap.end()}});
  if (t.tiled || t.tileTagsOnStrips) {
    e.push_back(longEntry(322, t.width));
    e.push_back(longEntry(323, t.height));
  }
  if (t.tiled) {
    e.push_back(longEntry(324, at));
    e.push_back(longEntry(325, (std::uint32_t)t.pixels.size()));
  }
  e.push_back(shortEntry(339, t.sampleFormat, t.samplesPerPixel));

  // Values that do not fit the 4 bytes of an entry go after the directory.
  std::uint32_t extra = ifdOffset + 2 + 12 * (std::uint32_t)e.size() + 4;
  std::string out = "II";
  put16(out, 42);
  put32(out, ifdOffset);
  out += t.pixels;
  std::string tail;
  put16(out, (std::uint16_t)e.size());
  for (const Entry& x : e) {
    put16(out, x.tag);
    put16(out, x.type);
    put32(out, x.count);
    const size_t bytes = (x.type == 3 ? 2 : 4) * (size_t)x.count;
    std::string v;
    for (std::uint32_t value : x.values) x.type == 3 ? put16(v, (std::uint16_t)value) : put32(v, value);
    if (bytes <= 4) {
      v.resize(4, '\0');
      out += v;
    } else {
      put32(out, extra + (std::uint32_t)tail.size());
      tail += v;
    }
  }
  put32(out, 0);  // no next directory
  return out + tail;
}

std::string littleEndianBytes(const std::uint16_t* values, size_t n) {
  std::string s;
  for (size_t k = 0; k < n; ++k) put16(s, values[k]);
  return s;
}

std::string littleEndianBytes(const float* values, size_t n) {
  std::string s;
  for (size_t k = 0; k < n; ++k) {
    std::uint32_t bits;
    std::memcpy(&bits, &values[k], sizeof bits);
    put32(s, bits);
  }
  return s;
}

const char* mutationName(Mutation m) {
  switch (m) {
    case Mutation::BitFlips: return "bit flips";
    case Mutation::Truncation: return "truncation";
    case Mutation::Insertion: return "insertion";
  }
  return "?";
}

std::string mutate(const std::string& bytes, std::mt19937& rng, Mutation& kind) {
  static const char* const tokens[] = {"nan", "inf", "-inf", "1e39", "-", "\r", "\n", " ", "#", "0", "/",
                                       "99999999999", "65535", "32768", "P2", "\xff\xff\xff\x7f"};
  std::string s = bytes;
  kind = (Mutation)(rng() % 3);
  switch (kind) {
    case Mutation::BitFlips: {
      const int flips = 1 + (int)(rng() % 8);
      for (int k = 0; k < flips && !s.empty(); ++k) s[position(rng, s.size())] ^= (char)(1u << (rng() % 8));
      break;
    }
    case Mutation::Truncation:
      s.resize(position(rng, s.size()));
      break;
    case Mutation::Insertion: {
      std::string chunk;
      if (rng() & 1) {
        chunk = tokens[rng() % (sizeof tokens / sizeof *tokens)];
      } else {
        const int n = 1 + (int)(rng() % 16);
        for (int k = 0; k < n; ++k) chunk.push_back((char)(rng() & 0xFF));
      }
      s.insert(position(rng, s.size() + 1), chunk);
      break;
    }
  }
  return s;
}

std::string editLines(const std::string& text, const std::function<void(std::vector<std::string>&)>& edit) {
  std::vector<std::string> lines(1);
  for (char c : text)
    if (c == '\n')
      lines.emplace_back();
    else
      lines.back().push_back(c);
  edit(lines);
  std::string out;
  for (size_t k = 0; k < lines.size(); ++k) out += (k ? "\n" : "") + lines[k];
  return out;
}
