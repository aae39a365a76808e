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

// The length of the valid UTF-8 character that begins with the byte 0x80 or above at text[k], or 0
// when the bytes there are no such character (a lone continuation byte, a cut, overlong or surrogate
// form, a byte of another 8-bit encoding).
std::string::size_type utf8Length(const std::string& text, std::string::size_type k) {
  const unsigned char c = (unsigned char)text[k];
  const std::string::size_type n = c >= 0xC2 && c <= 0xDF   ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
  if (n == 0 || k + n > text.size()) return 0;
  for (std::string::size_type i = 1; i < n; ++i)
    if (((unsigned char)text[k + i] & 0xC0) != 0x80) return 0;
  // The second byte's range where the first allows fewer: no overlong forms, surrogates or values
  // beyond U+10FFFF.
  const unsigned char second = (unsigned char)text[k + 1];
  if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
      (c == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

// The number of bytes of the character that begins at text[k] (a whole UTF-8 character, else one
// byte), and whether it is a control character: a byte below 32 or 127, the UTF-8 form of a
// character 128 to 159 (0xC2 0x80..0x9F), or a byte 0x80..0x9F that is no part of a UTF-8
// character (a terminal reading 8-bit codes takes 0x9B as the start of an escape sequence).
std::string::size_type characterAt(const std::string& text, std::string::size_type k, bool& control) {
  const unsigned char c = (unsigned char)text[k];
  const std::string::size_type n = c < 0x80 ? 1 : utf8Length(text, k);
  if (n == 0) {
    control = c <= 0x9F;
    return 1;
  }
  control = c < 32 || c == 127 || (c == 0xC2 && (unsigned char)text[k + 1] <= 0x9F);
  return n;
}

}  // namespace

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::string::size_type k = 0; k < text.size();) {
    bool control = false;
    const std::string::size_type n = characterAt(text, k, control);
    if (control)
      out.push_back('?');
    else
      out.append(text, k, n);
    k += n;
  }
  return out;
}

std::string quoted(const std::string& text) { return "'" + escaped(text) + "'"; }

std::string::size_type firstControlCharacter(const std::string& text) {
  for (std::string::size_type k = 0; k < text.size();) {
    bool control = false;
    const std::string::size_type n = characterAt(text, k, control);
    if (control && !(n == 1 && (unsigned char)text[k] >= 0x80)) return k;
    k += n;
  }
  return std::string::npos;
}
