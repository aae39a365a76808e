// Default runs (K41 with evidence, three pyramid levels, true field) on windows larger than the
// turbulence pairs: the first pair of the external data tiled 2 x 2 (512 x 512) and 4 x 4 (1024 x 1024),
// its true field tiled alike, written into a temporary folder. For each program given (say the build
// before a change and the one after, measured side by side), prints per size the wall time, the peak
// memory, the time of the finest level's dual maximisation with the primal steps it asked for and the
// cost per step, then the exponent of that cost from 512 to 1024 (1 when it grows like the pixel
// count, 2 like its square).
//
//   bench_large_window [program...] [-runs n] [-sizes 2,4] [-- option value...]
//     (default: the built program, one run per size; with several runs the minimum wall time counts;
//     options after "--" are added to every run, say "-- -nbItTrace 0" for runs without evidence)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_args.h"
#include "support/child_process.h"
#include "support/timed_run.h"

namespace {

struct Pgm {
  int w = 0, h = 0;
  std::string samples;
};

bool readPgm(const std::string& path, Pgm& p) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  if (!(f >> magic >> p.w >> p.h >> maxval) || magic != "P5" || maxval != 255) return false;
  f.get();
  p.samples.resize((size_t)p.w * p.h);
  return (bool)f.read(&p.samples[0], (std::streamsize)p.samples.size());
}

bool writeTiledPgm(const Pgm& p, int tiles, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P5\n" << p.w * tiles << " " << p.h * tiles << "\n255\n";
  for (int ty = 0; ty < tiles; ++ty)
    for (int y = 0; y < p.h; ++y)
      for (int tx = 0; tx < tiles; ++tx) f.write(p.samples.data() + (size_t)y * p.w, p.w);
  return (bool)f;
}

// The true-motion table tiled: the size line, the header line, then every pixel of the tiled grid with
// the values of its place in the original (the value fields copied as written).
bool writeTiledMotion(const std::string& in, int tiles, const std::string& out) {
  std::ifstream f(in);
  int w = 0, h = 0;
  std::string header, line;
  if (!(f >> w >> h)) return false;
  std::getline(f, line);
  std::getline(f, header);
  std::vector<std::string> values((size_t)w * h);
  while (std::getline(f, line)) {
    std::istringstream s(line);
    int i, j;
    std::string u, v;
    if (!(s >> i >> j >> u >> v) || i < 0 || i >= h || j < 0 || j >= w) continue;
    values[(size_t)i * w + j] = u + "\t" + v;
  }
  std::ofstream o(out);
  o << w * tiles << " " << h * tiles << "\n" << header << "\n";
  for (int i = 0; i < h * tiles; ++i)
    for (int j = 0; j < w * tiles; ++j) o << i << "\t" << j << "\t" << values[(size_t)(i % h) * w + j % w] << "\n";
  return (bool)o;
}

struct SizeFigures {
  bool done = false;
  double wall = 1e30, peakMiB = 0, dual = 0, perStep = 0;
  int steps = 0, status = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const BenchArgs cmd = parseBenchArgs(argc, argv, {"-runs", "-sizes"});
  std::vector<std::string> programs = cmd.programs;
  const std::vector<std::string>& extra = cmd.extra;
  int runs = 1;
  std::vector<int> tilings = {2, 4};
  for (const auto& [option, value] : cmd.values) {
    if (option == "-runs") runs = std::max(1, std::atoi(value.c_str()));
    if (option == "-sizes") tilings = intList(value);
  }
  if (programs.empty()) programs.push_back(VRM_PROGRAM);
  const std::string base = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_00001";
  Pgm i1, i2;
  if (!readPgm(base + "_img1.pgm", i1) || !readPgm(base + "_img2.pgm", i2) || !pathExists(base + "_flow.motion")) {
    std::printf("external data not found under %s: nothing to measure\n", base.c_str());
    return 0;
  }
  const std::string dir = makeTempDir("bench_large_window");
  for (int t : tilings) {
    const std::string tag = std::to_string(t);
    if (!writeTiledPgm(i1, t, dir + "/img1_" + tag + ".pgm") || !writeTiledPgm(i2, t, dir + "/img2_" + tag + ".pgm") ||
        !writeTiledMotion(base + "_flow.motion", t, dir + "/flow_" + tag + ".motion")) {
      std::fprintf(stderr, "bench_large_window: cannot write the tiled inputs under %s\n", dir.c_str());
      return 1;
    }
    std::ofstream(dir + "/list_" + tag) << dir << "/img1_" << tag << ".pgm\n"
                                         << dir << "/img2_" << tag << ".pgm\n"
                                         << dir << "/out_\n"
                                         << dir << "/flow_" << tag << ".motion\n\n";
  }

  std::vector<std::vector<SizeFigures>> figures(programs.size(), std::vector<SizeFigures>(tilings.size()));
  for (int run = 0; run < runs; ++run)
    for (size_t ti = 0; ti < tilings.size(); ++ti)
      for (size_t pi = 0; pi < programs.size(); ++pi) {  // the programs side by side, one after the other
        const int side = 256 * tilings[ti];
        std::vector<std::string> args = {"-inPath", "list_" + std::to_string(tilings[ti]), "-pgm", "true", "-GT", "true",
                                         "-multiresol", "3", "-dx", std::to_string(side), "-dy", std::to_string(side)};
        args.insert(args.end(), extra.begin(), extra.end());
        const TimedRun r = runTimed(programs[pi], dir, args);
        double epe = 0, ae = 0;
        const std::vector<RunLevel> levels = levelsOf(r, epe, ae);
        SizeFigures& f = figures[pi][ti];
        if (r.wall < f.wall) {
          f.done = true;
          f.wall = r.wall;
          f.status = r.status;
          f.peakMiB = r.peakKiB / 1024.0;
          if (!levels.empty() && levels.back().dualStart >= 0 && levels.back().dualEnd >= 0) {
            f.dual = levels.back().dualEnd - levels.back().dualStart;
            f.steps = levels.back().primalSteps();
            f.perStep = f.dual / f.steps;
          }
        }
        std::printf("run %d, %dx%d, %s: exit %d, wall %.1f s, peak %.1f MiB\n", run + 1, side, side,
                    programs[pi].c_str(), r.status, r.wall, r.peakKiB / 1024.0);
        std::fflush(stdout);
      }

  std::printf("\nminimum over %d run(s)\n", runs);
  for (size_t pi = 0; pi < programs.size(); ++pi) {
    std::printf("%s\n", programs[pi].c_str());
    for (size_t ti = 0; ti < tilings.size(); ++ti) {
      const SizeFigures& f = figures[pi][ti];
      const int side = 256 * tilings[ti];
      std::printf("  %4dx%-4d exit %d  wall %7.1f s  peak %7.1f MiB (%.2f GiB)  finest-level dual %7.1f s, %d primal "
                  "steps, %.3f s per step\n",
                  side, side, f.status, f.wall, f.peakMiB, f.peakMiB / 1024.0, f.dual, f.steps, f.perStep);
    }
    for (size_t ti = 1; ti < tilings.size(); ++ti) {
      const SizeFigures &a = figures[pi][ti - 1], &b = figures[pi][ti];
      if (a.perStep > 0 && b.perStep > 0) {
        const double pixels = std::pow((double)tilings[ti] / tilings[ti - 1], 2);
        std::printf("  cost per primal step from %d to %d: x%.2f for x%.0f pixels, exponent %.2f\n",
                    256 * tilings[ti - 1], 256 * tilings[ti], b.perStep / a.perStep, pixels,
                    std::log(b.perStep / a.perStep) / std::log(pixels));
      }
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
