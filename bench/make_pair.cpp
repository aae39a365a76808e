// Writes a synthetic particle-image pair of the test-support generator into a folder, for runs that
// measure the program by hand: im1.pgm, im2.pgm (binary PGM, maxval 255), true.motion (the exact
// displacement) and a list file "list" naming them by absolute paths, with the folder itself as the
// output prefix. Prints the pair's settings and its largest displacement.
//
//   bench_make_pair <folder> [-size 256] [-count 2400] [-sigma 1] [-amplitude 1.5] [-period 128] [-seed 1]
//
// The defaults are the density and the motion of examples/ on a 256 x 256 window; -sigma is the
// particles' Gaussian radius in pixels, -amplitude the largest displacement of the vortex cells,
// -period their size (one cell of the pattern is half a period).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_args.h"
#include "io/io.h"
#include "support/particles.h"

int main(int argc, char** argv) {
  const BenchArgs cmd = parseBenchArgs(argc, argv, {"-size", "-count", "-sigma", "-amplitude", "-period", "-seed"});
  if (cmd.programs.size() != 1) {
    std::fprintf(stderr,
                 "usage: bench_make_pair <folder> [-size n] [-count n] [-sigma s] [-amplitude a] [-period p] "
                 "[-seed n]\n");
    return 1;
  }
  const std::string dir = cmd.programs[0];  // made absolute by the parser
  ParticleImageSettings settings;
  settings.width = settings.height = 256;
  settings.count = 2400;
  VortexMotion motion;
  for (const auto& [option, value] : cmd.values) {
    const double v = std::atof(value.c_str());
    if (option == "-size") settings.width = settings.height = (int)v;
    if (option == "-count") settings.count = (int)v;
    if (option == "-sigma") settings.sigma = v;
    if (option == "-amplitude") motion.amplitude = v;
    if (option == "-period") motion.period = v;
    if (option == "-seed") settings.seed = (std::uint32_t)v;
  }

  std::filesystem::create_directories(dir);
  const ParticlePair pair = makeParticlePair(settings, motion);
  writePgm8(pair.first, dir + "/im1.pgm");
  writePgm8(pair.second, dir + "/im2.pgm");
  write_aMotionFile(dir + "/true.motion", pair.motion);
  std::ofstream(dir + "/list") << dir << "/im1.pgm\n" << dir << "/im2.pgm\n" << dir << "/\n" << dir << "/true.motion\n\n";
  double largest = 0;
  cimg_forXY(pair.motion, x, y) largest = std::max(largest, std::hypot(pair.motion(x, y, 0), pair.motion(x, y, 1)));
  std::printf("%s: %d x %d, %d particles of radius %g, vortex cells of period %g, largest displacement %.2f px\n",
              dir.c_str(), settings.width, settings.height, settings.count, settings.sigma, motion.period, largest);
  return 0;
}
