#include "driver/run_start.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "driver/output_names.h"
#include "driver/run_checks.h"
#include "driver/run_status.h"
#include "dual/dual.h"
#include "field/field.h"
#include "io/io.h"
#include "spline/spline.h"

using namespace cimg_library;

namespace {

constexpr int kListLines = 5;
constexpr int kResultSlots = 20;

// The dx x dy window at (ofx, ofy) of an image file: binary PGM read for the window itself with
// -pgm, else the TIFF loaded whole and cut.
CImg<double> readImageWindow(const RunOptions& o, const std::string& file, int ofx, int ofy, int dx, int dy) {
  if (o.pgm) return CImg<double>(read_pgm(file, dx, dy, ofx, ofy));
  return cropWindow(read_tiff(file), ofx, ofy, dx, dy, "TIFF file " + quoted(file));
}

// One line of the missing-sample notice: `where` names the steps that take the samples for missing,
// `among` what the count is out of.
void missingSampleLine(const char* which, const std::string& file, const char* where, long missing,
                       unsigned long among, const char* amongWhat) {
  std::fprintf(stderr,
               "%s %s: samples at or above %g in magnitude count as missing data %s: %ld of the %lu %s; scale the "
               "image into 0 to %g to keep them\n",
               which, quoted(file).c_str(), kMissingSample, where, missing, among, amongWhat, kMissingSample - 1);
}

}  // namespace

RunOptions startOptions(int argc, char** argv) {
  RunOptions o = parseOptions(argc, argv);
  for (const std::string& notice : o.commandLineNotices) std::fprintf(stderr, "%s\n", notice.c_str());
  refuseInvalidOptions(o);
  refuseUnrunnableLevels(o);
  return o;
}

void readListFile(RunState& s) {
  s.fileIm = alloc_seqPath(kListLines);
  read_path(s.opt.inPath, kListLines, s.fileIm, {true, true, true, s.opt.GT, s.opt.lambdaInitFile});
  if (s.opt.GT && s.fileIm[3].empty())
    failRun("List file " + quoted(s.opt.inPath) + ": line 4 names no true motion file (needed by -GT)");
  if (s.opt.lambdaInitFile && s.fileIm[4].empty())
    failRun("List file " + quoted(s.opt.inPath) + ": line 5 names no multiplier file (needed by -lambdaInitFile)");
}

void readInputImages(RunState& s) {
  const RunOptions& o = s.opt;
  s.imOrig = readImageWindow(o, s.fileIm[0], o.ofx, o.ofy, o.dx, o.dy);
  CImg<double> tmpLarge = readImageWindow(o, s.fileIm[1], 0, 0, o.Dx, o.Dy);
  if (o.Umean != 0) {
    const CImg<double> read = tmpLarge;
    const CImg<double> shift = fill(CImg<double>(o.Dx, o.Dy, 1, 1, o.Umean), CImg<double>(o.Dx, o.Dy, 1, 1, 0.0));
    s.preShiftSamples = samplesTestedByWarp(read, shift, o.ofx, o.ofy, o.dx, o.dy);
    Recal_spline(tmpLarge, read, shift, 3);
  }
  s.imdtOrig = cropWindow(tmpLarge, o.ofx, o.ofy, o.dx, o.dy,
                          "Image 2 " + quoted(s.fileIm[1]) + " (read as " + std::to_string(o.Dx) + " x " +
                              std::to_string(o.Dy) + " by -Dx/-Dy)");
}

void noteMissingSamples(const RunState& s) {
  // A ten-bit PGM reaches 1022 only where it saturates, an 8-bit one never: those are read as meant.
  if (s.opt.pgm) return;
  if (s.preShiftSamples.missing > 0)
    missingSampleLine("Image 2", s.fileIm[1], "in the -Umean pre-shift warp", s.preShiftSamples.missing,
                      (unsigned long)s.preShiftSamples.read, "it reads for the window");
  if (s.opt.multiresol < 2) return;
  const struct {
    const char* which;
    const std::string& file;
    const CImg<double>& window;
  } images[] = {{"Image 1", s.fileIm[0], s.imOrig}, {"Image 2", s.fileIm[1], s.imdtOrig}};
  for (const auto& im : images) {
    long missing = 0;
    cimg_for(im.window, p, double) if (std::fabs(*p) >= kMissingSample) ++missing;
    if (missing == 0) continue;
    missingSampleLine(im.which, im.file, "when the coarser levels are built and in the warps (-multiresol above 1)",
                      missing, (unsigned long)im.window.size(), "of the window");
  }
}

void padInputs(RunState& s) {
  expand_dim(s.imOrig.width(), s.imOrig.height(), s.opt.multiresol, s.dx, s.dy);
  std::cout << "image size before " << s.opt.dxOrig << " " << s.opt.dyOrig << ", and after expanding " << s.dx
            << " " << s.dy << std::endl;
  s.im = expand(s.imOrig, s.opt.multiresol);
  s.imdt = expand(s.imdtOrig, s.opt.multiresol);
}

void writeInputWindows(const RunState& s) {
  write_pgm255(s.imOrig, inputWindowName(s.prefix(), 1), 0, 255);
  write_pgm255(s.imdtOrig, inputWindowName(s.prefix(), 2), 0, 255);
}

void allocateRunState(RunState& s) {
  const int coarse = s.opt.multiresol;
  s.pyrIm = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrImdt = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrOut = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrf_x = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrf_y = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrf_t = alloc_pyramid(s.dx, s.dy, 1, coarse);
  s.pyrXtil = alloc_pyramid(s.dx, s.dy, 2, coarse);
  s.pyrXinc = alloc_pyramid(s.dx, s.dy, 2, coarse);
  s.pyrTmp = alloc_pyramid(s.dx, s.dy, 1, coarse);
  const int n = s.opt.lo > s.opt.neta ? s.opt.lo : s.opt.neta;
  s.pyrf_lambda = alloc_pyramid(n, coarse);
  s.pyrf_lambda_cross = alloc_pyramid(n, coarse);
  s.X.assign(s.dx, s.dy, 2, 1, 0.0);
  s.trueUV.assign(s.dx, s.dy, 2, 1, 0.0);
  s.save.assign(kResultSlots, 1, 1, 1, 0.0);
}

void readTrueField(RunState& s) {
  if (!s.opt.GT) return;
  const RunOptions& o = s.opt;
  // The padded window of the table: the table must hold the window itself; the padding is read where
  // the table holds it too (a table wider or longer than the window) and is zero beyond the table.
  s.trueUV = CImg<double>(read_aMotionFileWindow(s.fileIm[3], s.dx, s.dy, o.dxOrig, o.dyOrig, o.Dx, o.ofx, o.ofy));
  write_aMotionFile(trueFieldName(s.prefix()), s.trueUV);
  write_S2(StructureFunction2nd_horiVertDir(s.trueUV, 1, o.MaxAll - 1, false), trueCurveName(s.prefix(), false));
  write_S2(StructureFunction2nd_crossDir(s.trueUV, 1, o.MaxAll - 1, false), trueCurveName(s.prefix(), true));
}

void buildPyramids(RunState& s) {
  const RunOptions& o = s.opt;
  s.PB_burt = burtKernel();
  s.pyrIm[0] = s.im;
  s.pyrImdt[0] = s.imdt;
  if (o.lambdaInitFile)
    readLambdaInit(s.pyrf_lambda[0], s.pyrf_lambda_cross[0], s.fileIm[4]);
  else {
    s.pyrf_lambda[0].fill(o.lambdaInit);
    s.pyrf_lambda_cross[0].fill(o.lambdaInit);
  }
  for (int i = 0; i <= o.multiresol - 2; ++i) {
    s.pyrIm[i + 1] = coarserLevel(s.pyrIm[i], s.PB_burt, s.pyrIm[i + 1].width(), s.pyrIm[i + 1].height());
    s.pyrImdt[i + 1] = coarserLevel(s.pyrImdt[i], s.PB_burt, s.pyrImdt[i + 1].width(), s.pyrImdt[i + 1].height());
    s.pyrf_lambda[i + 1].fill(o.lambdaInit);
    s.pyrf_lambda_cross[i + 1].fill(o.lambdaInit);
  }
  s.pyrXtil[o.multiresol - 1].fill(0.0);
  s.tdeb = std::time(nullptr);
}

void startRun(int argc, char** argv, RunState& s) {
  runStep("reading the options", [&] { s.opt = startOptions(argc, argv); });
  runStep("reading the list file", [&] { readListFile(s); });
  runStep("checking the output names", [&] { refuseOutputsOverInputs(s.opt, s.fileIm); });
  runStep("reading the input images", [&] { readInputImages(s); });
  noteMissingSamples(s);
  runStep("padding the input windows", [&] { padInputs(s); });
  runStep("writing the input windows", [&] { writeInputWindows(s); });
  runStep("allocating the pyramids", [&] { allocateRunState(s); });
  runStep("reading the true field", [&] { readTrueField(s); });
  runStep("building the pyramids", [&] { buildPyramids(s); });
}

void endRun(const RunState& s) {
  const std::time_t tfin = std::time(nullptr);
  std::printf("Processing time duration (sec): %d\n", (int)(tfin - s.tdeb));
  std::printf("\n ** End algorithm **\n");
  std::fflush(stdout);
}
