// Internal to the motion-table reader (motion_file.cpp): the pixel lines "i j u v" of a table read
// in large blocks. A line of the plain form the writers give (integers, decimals without exponent,
// separated by blanks) is converted here with exactly the values fscanf's "%d %d %f %f" gives it;
// anything else is left to fscanf itself, on a stream that yields the very bytes fscanf would have
// read from the file. Not part of the folder's public headers.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

namespace io_detail {

class PixelLineScanner {
 public:
  explicit PixelLineScanner(std::FILE* fp);
  ~PixelLineScanner();
  PixelLineScanner(const PixelLineScanner&) = delete;
  PixelLineScanner& operator=(const PixelLineScanner&) = delete;

  // The next pixel line, when it has the plain form; false, consuming nothing, when it does not (or
  // the input ends before it).
  bool next(int& i, int& j, float& u, float& v);
  // The input from the first byte not consumed: what is left of the block, then the rest of the
  // file. The stream belongs to the scanner; next() is not called after it.
  std::FILE* rest();

 private:
  static long readRest(void* cookie, char* to, std::size_t size);
  bool refill();

  std::FILE* fp_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
  std::FILE* rest_ = nullptr;
};

}  // namespace io_detail
