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
