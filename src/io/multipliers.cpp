#include "io/multipliers.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include <CImg.h>

#include "io/fail.h"

using namespace cimg_library;

void readLambdaInit(CImg<double>& lambda, CImg<double>& lambda_cross, const std::string& filename) {
  if (filename.empty()) failRun("Multiplier file: list-file line 5 names no file");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(filename.c_str(), "r"), &std::fclose);
  if (!f) failRun("Multiplier file '" + filename + "' cannot be opened (" + std::strerror(errno) + ")");
  std::cout << filename << std::endl;
  const int n = lambda.width();
  if (lambda_cross.width() < n)
    failRun("Multiplier file '" + filename + "': the diagonal multiplier vector is shorter than the other");
  for (int l = 0; l < n; ++l) {
    float a = 0, b = 0;
    if (std::fscanf(f.get(), "%f %f\n", &a, &b) != 2)
      failRun("Multiplier file '" + filename + "': line " + std::to_string(l + 1) + " of the " +
              std::to_string(n) + " needed holds no pair of numbers");
    // "nan", "inf" and values beyond single precision (1e39) read as numbers but are no multipliers.
    if (!std::isfinite(a) || !std::isfinite(b))
      failRun("Multiplier file '" + filename + "': line " + std::to_string(l + 1) +
              " holds a value that is not a finite number");
    lambda(l) = a;
    lambda_cross(l) = b;
    std::cout << lambda(l) << " " << b << std::endl;
  }
}
