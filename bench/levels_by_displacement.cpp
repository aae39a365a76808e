// The end-point error against the number of pyramid levels for a displacement of several pixels: a
// 256 x 256 synthetic particle-image pair (2400 particles, the density of examples/) moved by one cell
// of the vortex pattern with the given largest displacement, run with each number of levels (K41
// path, default law, evidence off, true field on). Prints per number of levels the exit status, the
// final end-point and angular errors, the wall time and the peak memory.
//
//   bench_levels_by_displacement [program] [-amplitude a] [-levels 2,3,4,5] [-- option value...]
//     (defaults: the built program, amplitude 6 pixels, levels 2 to 5; options after "--" are added
//     to every run)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_args.h"
#include "io/io.h"
#include "support/child_process.h"
#include "support/particles.h"
#include "support/timed_run.h"

int main(int argc, char** argv) {
  const BenchArgs cmd = parseBenchArgs(argc, argv, {"-amplitude", "-levels"});
  const std::string program = cmd.programs.empty() ? std::string(VRM_PROGRAM) : cmd.programs.back();
  const std::vector<std::string>& extra = cmd.extra;
  double amplitude = 6.0;
  std::vector<int> levels = {2, 3, 4, 5};
  for (const auto& [option, value] : cmd.values) {
    if (option == "-amplitude") amplitude = std::atof(value.c_str());
    if (option == "-levels") levels = intList(value);
  }

  ParticleImageSettings settings;
  settings.width = settings.height = 256;
  settings.count = 2400;
  VortexMotion motion;
  motion.amplitude = amplitude;
  motion.period = 256;
  const ParticlePair pair = makeParticlePair(settings, motion);
  const std::string dir = makeTempDir("bench_levels_by_displacement");
  writePgm8(pair.first, dir + "/im1.pgm");
  writePgm8(pair.second, dir + "/im2.pgm");
  write_aMotionFile(dir + "/true.motion", pair.motion);
  double largest = 0;
  cimg_forXY(pair.motion, x, y) largest = std::max(largest, std::hypot(pair.motion(x, y, 0), pair.motion(x, y, 1)));
  std::printf("256 x 256 particle pair, largest displacement %.2f px; program %s\n", largest, program.c_str());

  for (int n : levels) {
    const std::string out = dir + "/levels" + std::to_string(n);
    std::filesystem::create_directory(out);
    std::ofstream(out + "/list") << dir << "/im1.pgm\n" << dir << "/im2.pgm\n" << out << "/\n" << dir << "/true.motion\n\n";
    std::vector<std::string> args = {"-inPath", out + "/list", "-pgm", "true", "-GT", "true", "-dx", "256", "-dy", "256",
                                     "-multiresol", std::to_string(n), "-nbItTrace", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    const TimedRun r = runTimed(program, out, args);
    double epe = -1, ae = -1;
    levelsOf(r, epe, ae);
    std::printf("-multiresol %d: exit %d  EPE %.3f px  AE %.2f deg  wall %.1f s  peak %.1f MiB\n", n, r.status, epe, ae,
                r.wall, r.peakKiB / 1024.0);
    std::fflush(stdout);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
