#include "support/program_run.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

ChildResult runProgram(const std::string& dir, const std::vector<std::string>& args, long addressSpaceBytes) {
  return runProgramAt(VRM_PROGRAM, dir, args, addressSpaceBytes);
}

ChildResult runProgramAt(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                         long addressSpaceBytes, long fileSizeBytes, bool fileSizeSignal) {
  std::vector<std::string> text(args);
  text.insert(text.begin(), program);
  std::vector<char*> ptrs;
  for (std::string& s : text) ptrs.push_back(&s[0]);
  ptrs.push_back(nullptr);
  return runInChild([&] {
    if (chdir(dir.c_str()) != 0) _exit(98);
    const rlimit limit{(rlim_t)addressSpaceBytes, (rlim_t)addressSpaceBytes};
    if (addressSpaceBytes > 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(96);
    const rlimit size{(rlim_t)fileSizeBytes, (rlim_t)fileSizeBytes};
    if (fileSizeBytes > 0 && setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(96);
    if (fileSizeBytes > 0 && !fileSizeSignal) std::signal(SIGXFSZ, SIG_IGN);
    execv(program.c_str(), ptrs.data());
    _exit(97);
  });
}

std::vector<std::string> listFolder(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<double> splitTabbedNumbers(const std::string& line) {
  std::vector<double> values;
  std::stringstream ss(line);
  std::string field;
  while (std::getline(ss, field, '\t')) values.push_back(std::strtod(field.c_str(), nullptr));
  return values;
}

bool lastGroundTruthErrors(const std::string& out, double& epe, double& angular, double& rms) {
  const std::string key = "End Point Error :";
  const size_t at = out.rfind(key);
  if (at == std::string::npos) return false;
  return std::sscanf(out.c_str() + at,
                     "End Point Error :%lf; Barron angular error :%lf; RMS difference with true UV :%lf", &epe,
                     &angular, &rms) == 3;
}
