#include "io/fail.h"

#include <cstdio>
#include <cstdlib>

void failRun(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  std::exit(1);
}

void failCreate(const std::string& filename) {
  std::printf("Can't create %s !", filename.c_str());
  std::fflush(stdout);
  std::exit(1);
}

namespace {

// The number of bytes of the control character that begins at text[k], or 0: one byte below 32 or
// 127, or the two bytes 0xC2 0x80..0x9F of a character 128 to 159 in UTF-8.
std::string::size_type controlLength(const std::string& text, std::string::size_type k) {
  const unsigned char c = (unsigned char)text[k];
  if (c < 32 || c == 127) return 1;
  if (c == 0xC2 && k + 1 < text.size() && (unsigned char)text[k + 1] >= 0x80 && (unsigned char)text[k + 1] <= 0x9F)
    return 2;
  return 0;
}

}  // namespace

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::string::size_type k = 0; k < text.size();) {
    const std::string::size_type n = controlLength(text, k);
    out.push_back(n == 0 ? text[k] : '?');
    k += n == 0 ? 1 : n;
  }
  return out;
}

std::string quoted(const std::string& text) { return "'" + escaped(text) + "'"; }

std::string::size_type firstControlCharacter(const std::string& text) {
  for (std::string::size_type k = 0; k < text.size(); ++k)
    if (controlLength(text, k) > 0) return k;
  return std::string::npos;
}
