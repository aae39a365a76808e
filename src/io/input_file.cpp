#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The kind of a file that no reader opens, as it follows the quoted name in a message.
std::string kindProblem(mode_t mode) {
  const char* kind = S_ISDIR(mode)    ? "a directory"
                     : S_ISSOCK(mode) ? "a socket"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISFIFO(mode) ? "a FIFO (named pipe)"
                                      : "of another kind";
  return std::string("is ") + kind + ", not a regular file or a character device";
}

// The kind of a file that no image reader opens: a pipe also cannot seek.
std::string imageKindProblem(mode_t mode) {
  if (S_ISFIFO(mode))
    return kindProblem(mode) + ": an image is read by seeking in its file, which a pipe does not allow";
  return kindProblem(mode);
}

const char* const kNulName = "is not a file name: it holds a NUL byte";

}  // namespace

std::string inputFileProblem(const std::string& name) {
  if (name.find('\0') != std::string::npos) return kNulName;
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return "";
  if (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) return "";
  return imageKindProblem(st.st_mode);
}

std::string cannotSeek(int error) {
  return std::string("cannot be read: an image is read by seeking in its file, which this one does not allow (") +
         std::strerror(error) + ")";
}

ImageInput openImageInput(const std::string& name) {
  ImageInput in;
  in.problem = inputFileProblem(name);
  if (!in.problem.empty()) return in;
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    in.openError = errno;
    in.problem = std::string("cannot be opened (") + std::strerror(in.openError) + ")";
    return in;
  }
  struct stat st;
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || flags < 0) {
    in.problem = std::string("cannot be read (") + std::strerror(errno) + ")";
  } else if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
    in.problem = imageKindProblem(st.st_mode);
  } else if (lseek(fd, 0, SEEK_CUR) < 0) {
    in.problem = cannotSeek(errno);
  } else if (fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    in.problem = std::string("cannot be read (") + std::strerror(errno) + ")";
  }
  if (!in.problem.empty()) {
    close(fd);
    return in;
  }
  in.fd = fd;
  return in;
}

std::FILE* openTextInput(const std::string& name, std::string& problem) {
  if (name.find('\0') != std::string::npos) {
    problem = kNulName;
    return nullptr;
  }
  struct stat st;
  if (stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    problem = kindProblem(st.st_mode);
    return nullptr;
  }
  // Opened without blocking, whatever the name is by the time it is opened: a FIFO then opens at once
  // even without a writer. Blocking is restored for the reads, which wait for a writer's data; with
  // no writer the first read finds the end of the pipe.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = std::string("cannot be opened (") + std::strerror(errno) + ")";
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    problem = std::string("cannot be read (") + std::strerror(errno) + ")";
    close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    problem = kindProblem(st.st_mode);
    close(fd);
    return nullptr;
  }
  std::FILE* f = fdopen(fd, "r");
  if (!f) {
    problem = std::string("cannot be read (") + std::strerror(errno) + ")";
    close(fd);
  }
  return f;
}

std::string lineTooLong(const std::string& where) {
  return where + " is longer than " + std::to_string(kMaxTextLine) + " characters";
}

bool readInputLine(std::FILE* f, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line.size() == kMaxTextLine) {
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
