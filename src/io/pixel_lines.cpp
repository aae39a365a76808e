#include "io/pixel_lines.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sys/types.h>
#include <system_error>

namespace io_detail {

namespace {

constexpr std::size_t kBlock = 1 << 16;
constexpr int kMaxIntDigits = 9;      // never beyond int

// The characters fscanf skips as white space (isspace in the "C" locale).
inline bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline bool digit(char c) { return c >= '0' && c <= '9'; }

enum class Scan { plain, other, incomplete };

// -?[0-9]{1,9} at p, ending before a blank.
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
  if (digits == 0 || !blank(*q)) return Scan::other;
  out = negative ? -value : value;
  p = q;
  return Scan::plain;
}

// -?[0-9]+(\.[0-9]+)? at p, ending before a blank (or at the end of the input when atEnd). Both the
// conversion here and fscanf's give the float nearest to the decimal.
Scan scanDecimal(const char*& p, const char* e, bool atEnd, float& out) {
  const char* q = p;
  if (q < e && *q == '-') ++q;
  const char* digits = q;
  while (q < e && digit(*q)) ++q;
  if (q == digits) return q == e ? Scan::incomplete : Scan::other;
  if (q < e && *q == '.') {
    const char* fraction = ++q;
    while (q < e && digit(*q)) ++q;
    if (q == fraction && q < e) return Scan::other;
  }
  if (q == e) {
    if (!atEnd) return Scan::incomplete;
    if (q[-1] == '.') return Scan::other;
  } else if (!blank(*q)) {
    return Scan::other;
  }
  const std::from_chars_result r = std::from_chars(p, q, out);
  if (r.ec != std::errc() || r.ptr != q) return Scan::other;
  p = q;
  return Scan::plain;
}

inline Scan skipBlanks(const char*& p, const char* e, bool required) {
  const char* q = p;
  while (q < e && blank(*q)) ++q;
  if (q == e) return Scan::incomplete;
  if (required && q == p) return Scan::other;
  p = q;
  return Scan::plain;
}

}  // namespace

PixelLineScanner::PixelLineScanner(std::FILE* fp) : fp_(fp), buf_(kBlock) {}

PixelLineScanner::~PixelLineScanner() {
  if (rest_) std::fclose(rest_);
}

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

bool PixelLineScanner::next(int& i, int& j, float& u, float& v) {
  for (;;) {
    const char* p = buf_.data() + pos_;
    const char* const e = buf_.data() + end_;
    int ti = 0, tj = 0;
    float tu = 0, tv = 0;
    Scan s = skipBlanks(p, e, false);
    if (s == Scan::plain) s = scanInt(p, e, ti);
    if (s == Scan::plain) s = skipBlanks(p, e, true);
    if (s == Scan::plain) s = scanInt(p, e, tj);
    if (s == Scan::plain) s = skipBlanks(p, e, true);
    if (s == Scan::plain) s = scanDecimal(p, e, eof_, tu);
    if (s == Scan::plain) s = skipBlanks(p, e, true);
    if (s == Scan::plain) s = scanDecimal(p, e, eof_, tv);
    if (s == Scan::plain) {
      i = ti, j = tj, u = tu, v = tv;
      pos_ = p - buf_.data();
      return true;
    }
    if (s == Scan::other || !refill()) return false;
  }
}

long PixelLineScanner::readRest(void* cookie, char* to, std::size_t size) {
  PixelLineScanner& s = *static_cast<PixelLineScanner*>(cookie);
  if (s.pos_ < s.end_) {
    const std::size_t n = std::min(size, s.end_ - s.pos_);
    std::memcpy(to, s.buf_.data() + s.pos_, n);
    s.pos_ += n;
    return static_cast<long>(n);
  }
  return static_cast<long>(std::fread(to, 1, size, s.fp_));
}

std::FILE* PixelLineScanner::rest() {
  if (!rest_) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* to, std::size_t size) -> ssize_t { return readRest(c, to, size); };
    rest_ = fopencookie(this, "r", io);
  }
  return rest_;
}

}  // namespace io_detail
