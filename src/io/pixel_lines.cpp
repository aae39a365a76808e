#include "io/pixel_lines.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace io_detail {

namespace {

constexpr int kMaxIntDigits = 9;  // never beyond int

// Fields of a pixel line are separated by blanks and tabs; a carriage return may end the line.
inline bool separator(char c) { return c == ' ' || c == '\t'; }
inline bool fieldEnd(char c) { return separator(c) || c == '\r' || c == '\n'; }
inline bool digit(char c) { return c >= '0' && c <= '9'; }

enum class Scan { plain, other, incomplete };

// -?[0-9]{1,9} at p, followed by a separator.
Scan scanInt(const char*& p, const char* e, int& out) {
  const char* q = p;
  bool negative = false;
  if (q < e && *q == '-') negative = true, ++q;
  int value = 0, digits = 0;
  while (q < e && digit(*q)) {
    if (++digits > kMaxIntDigits) return Scan::other;
    value = value * 10 + (*q++ - '0');
  }
  if (q == e) return Scan::incomplete;
  if (digits == 0 || !separator(*q)) return Scan::other;
  out = negative ? -value : value;
  p = q;
  return Scan::plain;
}

// -?[0-9]+(\.[0-9]+)? at p, followed by a separator or the line's end. Both the conversion here and
// fscanf's give the float nearest to the decimal.
Scan scanDecimal(const char*& p, const char* e, float& out) {
  const char* q = p;
  if (q < e && *q == '-') ++q;
  const char* digits = q;
  while (q < e && digit(*q)) ++q;
  if (q < e && *q == '.' && q > digits) {
    const char* fraction = ++q;
    while (q < e && digit(*q)) ++q;
    if (q == fraction && q < e) return Scan::other;
  }
  if (q == e) return Scan::incomplete;
  if (q == digits || !fieldEnd(*q)) return Scan::other;
  const std::from_chars_result r = std::from_chars(p, q, out);
  if (r.ec != std::errc() || r.ptr != q) return Scan::other;
  p = q;
  return Scan::plain;
}

// Blanks and tabs at p; at least one when `required`.
inline Scan skipSeparators(const char*& p, const char* e, bool required) {
  const char* q = p;
  while (q < e && separator(*q)) ++q;
  if (q == e) return Scan::incomplete;
  if (required && q == p) return Scan::other;
  p = q;
  return Scan::plain;
}

// Blanks, tabs and a carriage return, then the line break (consumed).
inline Scan lineEnd(const char*& p, const char* e) {
  const char* q = p;
  while (q < e && separator(*q)) ++q;
  if (q < e && *q == '\r') ++q;
  if (q == e) return Scan::incomplete;
  if (*q != '\n') return Scan::other;
  p = q + 1;
  return Scan::plain;
}

}  // namespace

PixelLineScanner::PixelLineScanner(std::FILE* fp) : fp_(fp), buf_(kBlock) {}

// Moves what is left of the block to its front and reads more after it; false when nothing more can
// come (the end of the input is known already, or one line fills the block).
bool PixelLineScanner::refill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == buf_.size()) return false;
  const std::size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, fp_);
  end_ += got;
  if (got == 0) eof_ = true;  // scanned once more, now knowing where the input ends
  return true;
}

PixelLineScanner::Line PixelLineScanner::next(int& i, int& j, float& u, float& v) {
  for (;;) {
    const char* p = buf_.data() + pos_;
    const char* const e = buf_.data() + end_;
    if (p == e && eof_) return Line::end;
    int ti = 0, tj = 0;
    float tu = 0, tv = 0;
    Scan s = skipSeparators(p, e, false);
    if (s == Scan::plain) s = scanInt(p, e, ti);
    if (s == Scan::plain) s = skipSeparators(p, e, true);
    if (s == Scan::plain) s = scanInt(p, e, tj);
    if (s == Scan::plain) s = skipSeparators(p, e, true);
    if (s == Scan::plain) s = scanDecimal(p, e, tu);
    if (s == Scan::plain) s = skipSeparators(p, e, true);
    if (s == Scan::plain) s = scanDecimal(p, e, tv);
    if (s == Scan::plain) s = lineEnd(p, e);
    if (s == Scan::plain) {
      i = ti, j = tj, u = tu, v = tv;
      pos_ = p - buf_.data();
      return Line::plain;
    }
    if (s == Scan::other || !refill()) return Line::other;
  }
}

PixelLineScanner::Taken PixelLineScanner::take(std::string& line) {
  for (;;) {
    const char* p = buf_.data() + pos_;
    const char* const e = buf_.data() + end_;
    if (const void* nl = std::memchr(p, '\n', e - p)) {
      line.assign(p, static_cast<const char*>(nl));
      pos_ = static_cast<const char*>(nl) + 1 - buf_.data();
      return Taken::line;
    }
    if (eof_) {
      if (p == e) return Taken::none;
      line.assign(p, e);
      pos_ = end_;
      return Taken::cut;
    }
    if (!refill()) return Taken::tooLong;
  }
}

}  // namespace io_detail
