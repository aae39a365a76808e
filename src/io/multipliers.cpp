#include "io/multipliers.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include <CImg.h>

#include "io/fail.h"
#include "io/input_file.h"

using namespace cimg_library;

namespace {

constexpr int kMaxBlankLines = 1 << 20;

}  // namespace

void readLambdaInit(CImg<double>& lambda, CImg<double>& lambda_cross, const std::string& filename) {
  if (filename.empty()) failRun("Multiplier file: list-file line 5 names no file");
  const std::string file = "Multiplier file " + quoted(filename);
  std::string problem;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(openTextInput(filename, problem), &std::fclose);
  if (!f) failRun(file + " " + problem);
  std::cout << escaped(filename) << std::endl;
  const int n = lambda.width();
  if (lambda_cross.width() < n) failRun(file + ": the diagonal multiplier vector is shorter than the other");
  int fileLine = 0;
  for (int l = 0; l < n; ++l) {
    // One pair per line: a line with fewer or more numbers is refused rather than paired across lines.
    // Blank lines (blanks, tabs and a carriage return at most) hold no pair and are skipped.
    std::string text;
    bool tooLong = false;
    for (int blank = 0;; ++blank) {
      ++fileLine;
      if (!readInputLine(f.get(), text, tooLong)) {
        if (std::ferror(f.get())) failRun(file + " cannot be read");
        // The file ends before the (l + 1)-th of the n lines of pairs it needs.
        failRun(file + ": line " + std::to_string(l + 1) + " of the " + std::to_string(n) +
                " needed holds no pair of numbers");
      }
      if (tooLong || text.find_first_not_of(" \t\r") != std::string::npos) break;
      // A stream of blank lines that never ends (a device, a pipe) is not read for ever.
      if (blank == kMaxBlankLines)
        failRun(file + " holds more than " + std::to_string(kMaxBlankLines) + " blank lines in a row");
    }
    const std::string line = file + ": line " + std::to_string(fileLine);
    if (tooLong) failRun(lineTooLong(line));
    const std::vector<std::string> pair = lineFields(text);
    if (pair.size() != 2)
      failRun(line + " holds " + std::to_string(pair.size()) + " value(s), not the pair \"lambda lambda_cross\"");
    float a = 0, b = 0;
    for (int k = 0; k < 2; ++k)
      if (!floatField(pair[k], k == 0 ? a : b)) failRun(line + " holds " + quoted(pair[k]) + ", which is not a number");
    // "nan", "inf" and values beyond single precision (1e39) read as numbers but are no multipliers.
    if (!std::isfinite(a) || !std::isfinite(b)) failRun(line + " holds a value that is not a finite number");
    lambda(l) = a;
    lambda_cross(l) = b;
    std::cout << lambda(l) << " " << b << std::endl;
  }
}
