// Internal to the motion-table reader (motion_file.cpp): the pixel lines "i j u v" of a table read
// in large blocks, one line at a time. A line of the plain form the writers give (integers and
// decimals without exponent, separated by blanks or tabs, then its line break) is converted here
// with exactly the values fscanf's "%d %d %f %f" gives it; any other line is handed over whole, for
// the reader to parse or refuse. Not part of the folder's public headers.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace io_detail {

class PixelLineScanner {
 public:
  // The longest line handed over: a pixel line is never near it.
  static constexpr std::size_t kBlock = 1 << 16;

  explicit PixelLineScanner(std::FILE* fp);
  PixelLineScanner(const PixelLineScanner&) = delete;
  PixelLineScanner& operator=(const PixelLineScanner&) = delete;

  enum class Line { plain, other, end };
  // The next line: `plain` (i, j, u, v set, the line and its line break consumed), `other` (a line
  // of another form, nothing consumed: take() gives it) or `end` (no byte is left).
  Line next(int& i, int& j, float& u, float& v);
  enum class Taken { line, cut, tooLong, none };
  // The next line whole, without its line break, consumed: `line`, or `cut` when the input ends
  // before its line break; `tooLong` when it does not fit in a block (it is not read further);
  // `none` when no byte is left.
  Taken take(std::string& line);

 private:
  bool refill();

  std::FILE* fp_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
};

}  // namespace io_detail
