#include "io/listfile.h"

#include <cstdio>
#include <memory>

#include "io/fail.h"
#include "io/input_file.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::vector<std::string> alloc_seqPath(int nbIm) { return std::vector<std::string>(nbIm > 0 ? nbIm : 0); }

void read_path(const std::string& ifn1, int nbIm, std::vector<std::string>& fileIm, const std::vector<bool>& used) {
  const std::string list = "List file " + quoted(ifn1);
  std::string problem;
  std::unique_ptr<std::FILE, FileCloser> in(openTextInput(ifn1, problem));
  if (!in) failRun(list + " " + problem);
  if ((int)fileIm.size() < nbIm) fileIm.resize(nbIm);
  int read = 0;
  for (int i = 0; i < nbIm; ++i) {
    std::string line;
    bool tooLong = false;
    if (readInputLine(in.get(), line, tooLong)) {
      const std::string where = list + ": line " + std::to_string(i + 1);
      if (tooLong) failRun(lineTooLong(where));
      // A list written on Windows ends its lines with "\r\n": the carriage return is no part of a name.
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // A control character (escape sequence, carriage return, NUL...) is no part of a file name:
      // it would open another file or act on the terminal when the name is shown. A line the run
      // does not use is kept as it is.
      const std::string::size_type c = firstControlCharacter(line);
      if (c != std::string::npos && (i >= (int)used.size() || used[i]))
        failRun(where + " is not text: " + quoted(line) + " holds a control character at position " +
                std::to_string(c + 1));
      fileIm[i] = line;
      ++read;
    } else {
      if (std::ferror(in.get())) failRun(list + " cannot be read");
      fileIm[i].clear();
    }
  }
  const int needed = nbIm < 3 ? nbIm : 3;
  if (read < needed)
    failRun(list + " holds " + std::to_string(read) +
            " line(s); it needs at least three: image 1, image 2, output prefix");
}
