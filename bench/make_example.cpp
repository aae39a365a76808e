// Writes the example input of the program: a 128 x 128 synthetic particle-image pair (binary PGM,
// maxval 255), its true displacement as a motion table, a file of initial multipliers and the
// five-line list file that names them.
//
//   bench_make_example [directory] [output prefix]
//
// Defaults: directory "examples", prefix "build/demo/". The list file names the files relative to
// the working directory of the run (run the program from the directory the paths are relative to).
#include <cstdio>
#include <string>

#include <CImg.h>

#include "io/io.h"
#include "support/particles.h"

using namespace cimg_library;

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "examples";
  const std::string prefix = argc > 2 ? argv[2] : "build/demo/";

  ParticleImageSettings settings;  // 128 x 128, 600 particles of radius 1, seed 1
  VortexMotion motion;             // vortex cells of 128 pixels, up to 1.5 pixels of displacement
  const ParticlePair pair = makeParticlePair(settings, motion);

  const std::string first = dir + "/particles_t.pgm", second = dir + "/particles_dt.pgm";
  const std::string truth = dir + "/particles_true.motion", multipliers = dir + "/lambda_init.txt";
  const std::string list = dir + "/inputVorlane";
  writePgm8(pair.first, first);
  writePgm8(pair.second, second);
  write_aMotionFile(truth, pair.motion);

  std::FILE* f = std::fopen(multipliers.c_str(), "w");
  if (!f) failCreate(multipliers);
  for (int l = 0; l < 8; ++l) std::fprintf(f, "%f %f\n", 1.0, 1.0);
  std::fclose(f);

  f = std::fopen(list.c_str(), "w");
  if (!f) failCreate(list);
  std::fprintf(f, "%s\n%s\n%s\n%s\n%s\n", first.c_str(), second.c_str(), prefix.c_str(), truth.c_str(),
               multipliers.c_str());
  std::fclose(f);
  std::printf("%s\n%s\n%s\n%s\n", first.c_str(), second.c_str(), multipliers.c_str(), list.c_str());
  return 0;
}
