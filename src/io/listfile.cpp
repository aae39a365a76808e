#include "io/listfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "io/fail.h"

namespace {

// Longer than any path the system opens (PATH_MAX is 4096): a longer line is not a file name, and
// the bound keeps a stream without line breaks (a device, a pipe) from being read forever.
constexpr size_t kMaxLine = 4096;

// One line up to its line break (not kept), at most kMaxLine characters; false at the end of the file.
bool readLine(std::istream& in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  std::istream::int_type c;
  bool any = false;
  while ((c = in.get()) != std::istream::traits_type::eof()) {
    any = true;
    if (c == '\n') return true;
    if (line.size() == kMaxLine) {
      tooLong = true;
      return true;
    }
    line.push_back((char)c);
  }
  return any;
}

}  // namespace

std::vector<std::string> alloc_seqPath(int nbIm) { return std::vector<std::string>(nbIm > 0 ? nbIm : 0); }

void read_path(const std::string& ifn1, int nbIm, std::vector<std::string>& fileIm) {
  std::ifstream in(ifn1);
  if (!in) failRun("List file '" + ifn1 + "' cannot be opened (" + std::strerror(errno) + ")");
  if ((int)fileIm.size() < nbIm) fileIm.resize(nbIm);
  int read = 0;
  for (int i = 0; i < nbIm; ++i) {
    std::string line;
    bool tooLong = false;
    if (readLine(in, line, tooLong)) {
      if (tooLong)
        failRun("List file '" + ifn1 + "': line " + std::to_string(i + 1) + " is longer than " +
                std::to_string(kMaxLine) + " characters");
      // A list written on Windows ends its lines with "\r\n": the carriage return is no part of a name.
      if (!line.empty() && line.back() == '\r') line.pop_back();
      fileIm[i] = line;
      ++read;
    } else {
      if (in.bad()) failRun("List file '" + ifn1 + "' cannot be read");
      fileIm[i].clear();
    }
  }
  const int needed = nbIm < 3 ? nbIm : 3;
  if (read < needed)
    failRun("List file '" + ifn1 + "' holds " + std::to_string(read) +
            " line(s); it needs at least three: image 1, image 2, output prefix");
}
