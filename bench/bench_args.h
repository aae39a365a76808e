// The command line of a benchmark: its own options with their values, the programs it measures and
// the options it adds to every run.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The words of a benchmark's command line: the values of its own options (each named in `options`
// and followed by one value), the other words as program paths made absolute, and every word after
// "--" as options added to each run.
struct BenchArgs {
  std::vector<std::pair<std::string, std::string>> values;  // option, value; in their order
  std::vector<std::string> programs;
  std::vector<std::string> extra;
};

inline BenchArgs parseBenchArgs(int argc, char** argv, const std::vector<std::string>& options) {
  BenchArgs b;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--") {
      b.extra.assign(argv + a + 1, argv + argc);
      break;
    }
    if (a + 1 < argc && std::find(options.begin(), options.end(), arg) != options.end()) {
      b.values.emplace_back(arg, argv[++a]);
    } else {
      std::error_code absentOk;
      b.programs.push_back(std::filesystem::absolute(arg, absentOk).string());
    }
  }
  return b;
}

// The integers of a comma-separated list ("2,3,4").
inline std::vector<int> intList(const std::string& commaSeparated) {
  std::vector<int> v;
  std::stringstream s(commaSeparated);
  std::string t;
  while (std::getline(s, t, ',')) v.push_back(std::atoi(t.c_str()));
  return v;
}
