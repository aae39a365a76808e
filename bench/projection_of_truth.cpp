// How far the divergence-free projection moves a true field: reads the window of a true motion table,
// projects it as -divZero projects an estimate (the window taken as one period of a periodic flow) and
// prints the rms and the largest length of the change, and the rms divergence before and after. A
// window that is one period of a divergence-free 2-D flow barely moves; a window cut from a larger
// flow, or a plane through a 3-D flow, is no such period and moves.
//
//   bench_projection_of_truth <table> -Dx <table width> [-dx w] [-dy h] [-ofx x] [-ofy y]
//     (defaults: the whole table, offsets 0)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <CImg.h>

#include "bench_args.h"
#include "field/projection.h"
#include "io/io.h"

using namespace cimg_library;

namespace {

double rms(const CImg<double>& one) {
  double s = 0;
  cimg_forXY(one, x, y) s += one(x, y) * one(x, y);
  return std::sqrt(s / (double)(one.width() * one.height()));
}

}  // namespace

int main(int argc, char** argv) {
  const BenchArgs cmd = parseBenchArgs(argc, argv, {"-Dx", "-dx", "-dy", "-ofx", "-ofy"});
  int Dx = 0, dx = 0, dy = 0, ofx = 0, ofy = 0;
  for (const auto& [option, value] : cmd.values) {
    const int v = std::atoi(value.c_str());
    if (option == "-Dx") Dx = v;
    if (option == "-dx") dx = v;
    if (option == "-dy") dy = v;
    if (option == "-ofx") ofx = v;
    if (option == "-ofy") ofy = v;
  }
  if (cmd.programs.size() != 1 || Dx < 1) {
    std::fprintf(stderr, "usage: bench_projection_of_truth <table> -Dx <table width> [-dx w] [-dy h] [-ofx x] [-ofy y]\n");
    return 1;
  }
  if (dx < 1) dx = Dx;
  if (dy < 1) dy = Dx;
  const CImg<double> truth(read_aMotionFile(cmd.programs[0], dx, dy, Dx, ofx, ofy));
  CImg<double> projected(truth);
  maj_vecteurs(projected, truth, true);
  CImg<double> change(dx, dy, 1, 1, 0.0);
  double largest = 0;
  cimg_forXY(change, x, y) {
    const double du = projected(x, y, 0) - truth(x, y, 0), dv = projected(x, y, 1) - truth(x, y, 1);
    change(x, y) = std::hypot(du, dv);
    if (change(x, y) > largest) largest = change(x, y);
  }
  std::printf("window %d x %d at (%d, %d): the projection moves the true field by %.4f px rms, %.4f px at most; "
              "rms divergence %.4g before, %.4g after\n",
              dx, dy, ofx, ofy, rms(change), largest, rms(divImOrder2(truth)), rms(divImOrder2(projected)));
  return 0;
}
