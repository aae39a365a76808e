#include "io/listfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "io/fail.h"

std::vector<std::string> alloc_seqPath(int nbIm) { return std::vector<std::string>(nbIm > 0 ? nbIm : 0); }

void read_path(const std::string& ifn1, int nbIm, std::vector<std::string>& fileIm) {
  std::ifstream in(ifn1);
  if (!in) failRun("List file '" + ifn1 + "' cannot be opened (" + std::strerror(errno) + ")");
  if ((int)fileIm.size() < nbIm) fileIm.resize(nbIm);
  int read = 0;
  for (int i = 0; i < nbIm; ++i) {
    std::string line;
    if (std::getline(in, line)) {
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
