#include "io/input_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

std::string inputFileProblem(const std::string& name) {
  if (name.find('\0') != std::string::npos) return "is not a file name: it holds a NUL byte";
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return "";
  if (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) return "";
  const char* kind = S_ISFIFO(st.st_mode)   ? "a FIFO (named pipe)"
                     : S_ISDIR(st.st_mode)  ? "a directory"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                     : S_ISBLK(st.st_mode)  ? "a block device"
                                            : "of another kind";
  return std::string("is ") + kind + ", not a regular file or a character device";
}

bool readInputLine(std::FILE* f, std::string& line, std::size_t maxLength, bool& tooLong) {
  line.clear();
  tooLong = false;
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line.size() == maxLength) {
      tooLong = true;
      return true;
    }
    line.push_back((char)c);
  }
  return any;
}

std::vector<std::string> lineFields(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> out;
  for (std::size_t k = 0; k < line.size();) {
    const std::size_t start = line.find_first_not_of(" \t", k);
    if (start == std::string::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    out.push_back(line.substr(start, end - start));
    k = end;
  }
  return out;
}

// strtoll and strtof skip leading white space, which a field separated by blanks and tabs only
// holds when it is another control character: such a field is no number; nor is one whose number
// stops at a NUL byte inside it.
bool integerField(const std::string& field, long long& value) {
  if (field.empty() || std::isspace((unsigned char)field[0])) return false;
  char* end = nullptr;
  value = std::strtoll(field.c_str(), &end, 10);
  return end != field.c_str() && end == field.c_str() + field.size();
}

bool floatField(const std::string& field, float& value) {
  if (field.empty() || std::isspace((unsigned char)field[0])) return false;
  char* end = nullptr;
  value = std::strtof(field.c_str(), &end);
  return end != field.c_str() && end == field.c_str() + field.size();
}
