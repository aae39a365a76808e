// The start of a run: list file, input windows, padding, written windows, pyramids, multipliers,
// true field; in process and through the program itself.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/run_start.h"
#include "field/field.h"
#include "io/io.h"
#include "spline/spline.h"
#include "support/expect.h"
#include "support/hostile_files.h"
#include "support/particles.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

class RunStartTest : public TempDirTest {
 protected:
  ParticlePair pair;

  void SetUp() override {
    ParticleImageSettings s;
    s.width = 120, s.height = 90, s.count = 300;
    pair = makeParticlePair(s, VortexMotion());
    pair.first.round();
    pair.second.round();
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\nlambda.txt\n");
  }

  // Runs the start-up in this process, in the test's directory, quietly.
  RunState start(std::vector<std::string> a) const {
    a.insert(a.begin(), {VRM_PROGRAM, "-inPath", "list", "-pgm", "1"});
    std::vector<char*> argv;
    for (std::string& s : a) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    char cwd[4096];
    EXPECT_TRUE(getcwd(cwd, sizeof cwd) != nullptr && chdir(dir.c_str()) == 0);
    RunState s;
    captureStdout([&] { startRun((int)a.size(), argv.data(), s); });
    EXPECT_EQ(chdir(cwd), 0);
    return s;
  }
};

std::string pgmBytes(const CImg<double>& im) {
  std::string s = "P5\n" + std::to_string(im.width()) + " " + std::to_string(im.height()) + "\n255\n";
  cimg_forXY(im, x, y) s.push_back((char)(unsigned char)(im(x, y) > 255 ? 255 : im(x, y)));
  return s;
}

TEST_F(RunStartTest, ProgramWritesTheInputWindowsAndEndsWhenNoLevelRuns) {
  const ChildResult r = runProgram(dir, {"-inPath", "list", "-pgm", "true", "-dx", "100", "-dy", "60", "-ofx", "7",
                                         "-ofy", "5", "-Dx", "120", "-Dy", "90", "-multiresol", "3", "-resolEnd", "4"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("image size before 100 60, and after expanding 104 64\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--MISC----"), std::string::npos);
  // -resolEnd above -multiresol: no level runs, only the windows are written.
  EXPECT_EQ(r.out.find("Resolution"), std::string::npos);
  EXPECT_NE(r.out.find("Processing time duration (sec): "), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n\n ** End algorithm **\n");
  EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"a.pgm", "b.pgm", "list", "out_Im_dt.pgm", "out_Im_t.pgm"}));
  EXPECT_EQ(readFileBytes(dir + "/out_Im_t.pgm"), pgmBytes(pair.first.get_crop(7, 5, 106, 64)));
  EXPECT_EQ(readFileBytes(dir + "/out_Im_dt.pgm"), pgmBytes(pair.second.get_crop(7, 5, 106, 64)));
  // TIFF input; values above 255 saturate in the written window.
  pair.first.get_crop(0, 0, 31, 15).save_tiff((dir + "/a.tif").c_str());
  const CImg<double> ten = pair.second.get_crop(0, 0, 31, 15) * 4.0;
  ten.save_tiff((dir + "/b.tif").c_str());
  file("list", "a.tif\nb.tif\nt_\n");
  EXPECT_EQ(runProgram(dir, {"-inPath", "list", "-dx", "32", "-dy", "16", "-resolEnd", "2"}).exitCode, 0);
  EXPECT_EQ(readFileBytes(dir + "/t_Im_t.pgm"), pgmBytes(pair.first.get_crop(0, 0, 31, 15)));
  EXPECT_EQ(readFileBytes(dir + "/t_Im_dt.pgm"), pgmBytes(ten));
}

TEST_F(RunStartTest, PaddingPyramidsAndMultipliers) {
  const RunState s = start({"-dx", "100", "-dy", "60", "-multiresol", "3", "-lo", "6", "-neta", "2", "-lambdaInit", "0.5"});
  EXPECT_TRUE(s.dx == 104 && s.dy == 64 && s.opt.dxOrig == 100);
  ASSERT_EQ(s.im.width(), 104);
  cimg_forXY(s.im, x, y) EXPECT_EQ(s.im(x, y), (x < 100 && y < 60) ? pair.first(x, y) : 0.0);
  for (const CImgList<double>* l : {&s.pyrIm, &s.pyrImdt, &s.pyrOut, &s.pyrf_x, &s.pyrf_y, &s.pyrf_t, &s.pyrXtil,
                                    &s.pyrXinc, &s.pyrTmp}) {
    ASSERT_EQ(l->size(), 8u);
    for (int k = 0; k < 8; ++k)
      EXPECT_TRUE(k > 3 ? (*l)[k].is_empty() : (*l)[k].is_sameXY(104 >> k, 64 >> k)) << k;
  }
  EXPECT_TRUE(s.pyrXtil[0].depth() == 2 && s.pyrXinc[2].depth() == 2);
  EXPECT_TRUE(s.pyrIm[0] == s.im && s.pyrImdt[0] == s.imdt);
  const CImg<double> k = burtKernel();
  EXPECT_TRUE(s.pyrIm[1] == coarserLevel(s.im, k, 52, 32) && s.pyrIm[2] == coarserLevel(s.pyrIm[1], k, 26, 16));
  EXPECT_TRUE(s.pyrImdt[2] == coarserLevel(coarserLevel(s.imdt, k, 52, 32), k, 26, 16));
  EXPECT_EQ(s.pyrIm[3].max(), 0.0);  // entry -multiresol is never filled
  const int lengths[] = {7, 4, 2};  // n = max(lo, neta) = 6
  for (int l = 0; l < 3; ++l)
    EXPECT_TRUE(s.pyrf_lambda[l].width() == lengths[l] && s.pyrf_lambda[l].min() == 0.5 &&
                s.pyrf_lambda_cross[l].max() == 0.5) << l;
  EXPECT_TRUE(s.save.width() == 20 && s.save.sum() == 0.0);
  EXPECT_TRUE(s.trueUV.is_sameXYZC(104, 64, 2, 1) && s.X.depth() == 2);
}

TEST_F(RunStartTest, MultipliersFromTheFileAndTrueField) {
  file("lambda.txt", "0.5 0.25\n1 2\n3 4\n5 6\n7 8\n9 9\n");
  captureStdout([&] { write_aMotionFile(dir + "/true.motion", pair.motion); });
  const RunState s = start({"-dx", "62", "-dy", "31", "-ofx", "3", "-ofy", "4", "-Dx", "120", "-Dy", "90",
                            "-multiresol", "2", "-lambdaInitFile", "1", "-GT", "1"});
  ASSERT_EQ(s.pyrf_lambda[0].width(), 5);
  EXPECT_TRUE(s.pyrf_lambda[0](0) == 0.5 && s.pyrf_lambda_cross[0](0) == 0.25);
  EXPECT_TRUE(s.pyrf_lambda[0](4) == 7.0 && s.pyrf_lambda_cross[0](4) == 8.0);
  EXPECT_EQ(s.pyrf_lambda[1].min(), 1.0);  // coarser levels: -lambdaInit
  ASSERT_EQ(s.trueUV.width(), 64);
  for (const auto& p : {std::make_pair(10, 7), std::make_pair(61, 30)})
    for (int z = 0; z < 2; ++z) EXPECT_NEAR(s.trueUV(p.first, p.second, z), pair.motion(p.first + 3, p.second + 4, z), 1e-6);
  for (int z = 0; z < 2; ++z) {  // the padding of the 62 x 31 window to 64 x 32 lies inside the table
    for (int y = 0; y < 32; ++y) EXPECT_NEAR(s.trueUV(63, y, z), pair.motion(66, y + 4, z), 1e-6);
    for (int x = 0; x < 64; ++x) EXPECT_NEAR(s.trueUV(x, 31, z), pair.motion(x + 3, 35, z), 1e-6);
  }
  for (const char* name : {"/out__true.motion", "/out__trueS2_HV", "/out__trueS2_Cross"})
    EXPECT_FALSE(readFileBytes(dir + name).empty()) << name;

  // A table 64 x 33: the padded window at (1, 1) reaches one column beyond it, which is zero.
  captureStdout([&] { write_aMotionFile(dir + "/true.motion", pair.motion.get_crop(0, 0, 0, 0, 63, 32, 1, 0)); });
  const RunState t = start({"-dx", "62", "-dy", "31", "-ofx", "1", "-ofy", "1", "-Dx", "64", "-Dy", "33",
                            "-multiresol", "2", "-GT", "1"});
  ASSERT_TRUE(t.trueUV.is_sameXYZC(64, 32, 2, 1));
  for (int z = 0; z < 2; ++z) {
    for (int y = 0; y < 32; ++y) {
      EXPECT_NEAR(t.trueUV(62, y, z), pair.motion(63, y + 1, z), 1e-6);
      EXPECT_EQ(t.trueUV(63, y, z), 0.0);
    }
    for (int x = 0; x < 63; ++x) EXPECT_NEAR(t.trueUV(x, 31, z), pair.motion(x + 1, 32, z), 1e-6);
  }
}

TEST_F(RunStartTest, HorizontalPreShiftWarpsImageTwoBeforeCropping) {
  const RunState s = start({"-dx", "50", "-dy", "40", "-ofx", "10", "-ofy", "20", "-Dx", "120", "-Dy", "90", "-Umean", "1.5"});
  CImg<double> shifted;
  captureStdout([&] { Recal_spline(shifted, pair.second, fill(CImg<double>(120, 90, 1, 1, 1.5), CImg<double>(120, 90, 1, 1, 0.0)), 3); });
  EXPECT_TRUE(s.imdtOrig == shifted.get_crop(10, 20, 59, 59));
  EXPECT_FALSE(s.imdtOrig == pair.second.get_crop(10, 20, 59, 59));
}

// The two lines of the missing-sample notice, for files a.tif and b.tif.
std::string levelsLine(int image, long n, long of) {
  return "Image " + std::to_string(image) + (image == 1 ? " 'a.tif'" : " 'b.tif'") +
         ": samples at or above 1022 in magnitude count as missing data when the coarser levels are built and in "
         "the warps (-multiresol above 1): " + std::to_string(n) + " of the " + std::to_string(of) +
         " of the window; scale the image into 0 to 1021 to keep them\n";
}
std::string preShiftLine(long n, long of) {
  return "Image 2 'b.tif': samples at or above 1022 in magnitude count as missing data in the -Umean pre-shift "
         "warp: " + std::to_string(n) + " of the " + std::to_string(of) +
         " it reads for the window; scale the image into 0 to 1021 to keep them\n";
}

// Samples of magnitude 1022 or more are named for each step that takes them for missing: the pre-shift
// warp (image 2, the samples it tested) and the coarser levels (each window); nothing with -pgm.
TEST(MissingSamples, NamedForEachStepThatTakesThemForMissing) {
  const struct {
    bool pgm;
    int multiresol;
    double a, b;                    // image 1 holds a and b, image 2 minus them, among 5s
    long shiftRead, shiftMissing;   // what the pre-shift warp tested
    std::string expected;
  } rows[] = {
      {false, 3, 1022, 65535, 0, 0, levelsLine(1, 2, 6) + levelsLine(2, 2, 6)},
      {false, 2, 1021.99, 1023, 0, 0, levelsLine(1, 1, 6) + levelsLine(2, 1, 6)},
      {false, 1, 65535, 1022, 0, 0, ""},
      {true, 3, 1023, 1023, 0, 0, ""},
      {false, 1, 65535, 1022, 12, 3, preShiftLine(3, 12)},
      {false, 2, 5, 5, 12, 3, preShiftLine(3, 12)},
      {false, 3, 1022, 5, 12, 3, preShiftLine(3, 12) + levelsLine(1, 1, 6) + levelsLine(2, 1, 6)},
      {false, 1, 5, 5, 12, 0, ""},
      {true, 3, 1023, 1023, 12, 3, ""},
  };
  for (const auto& r : rows) {
    RunState s;
    s.opt.pgm = r.pgm, s.opt.multiresol = r.multiresol, s.fileIm = {"a.tif", "b.tif"};
    s.imOrig.assign(3, 2, 1, 1, 5.0);
    s.imOrig(0) = r.a, s.imOrig(3) = r.b, s.imdtOrig = -s.imOrig;
    s.preShiftSamples.read = r.shiftRead, s.preShiftSamples.missing = r.shiftMissing;
    testing::internal::CaptureStderr();
    noteMissingSamples(s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), r.expected)
        << r.multiresol << " " << r.a << " " << r.shiftMissing;
  }
}

std::string tiff16(const CImg<double>& im) {
  TiffLayout t;
  t.width = im.width(), t.height = im.height(), t.bitsPerSample = 16;
  std::vector<std::uint16_t> v(im.begin(), im.end());
  t.pixels = littleEndianBytes(v.data(), v.size());
  return tiffBytes(t);
}

std::string pgm10(const CImg<double>& im) {
  std::string s = "P5\n" + std::to_string(im.width()) + " " + std::to_string(im.height()) + "\n1023\n";
  for (double v : im) s += std::string{(char)((int)v & 255), (char)((int)v >> 8)};
  return s;
}

// Whole runs on 16-bit TIFF windows 16 x 8 at (8, 4) of 32 x 16 images (from examples/): the run
// names an image where one of its steps takes its samples for missing, and only there. Image 1 holds
// 1022 and 65535 in the window; image 2 1200 at (12, 11) in the window, and 1022 at (26, 3), 1200 at
// (24, 8) and (5, 5) beside it: the pre-shift by 2.5 tests columns 10 to 26 and lines 3 to 11 (153
// samples), three of them missing, and copies (12, 11) and (24, 8) into the window (pixels (10, 11)
// and (22, 8), their bases), where the coarser levels then take them for missing. A large -alpha
// keeps the estimates short, so that the runs end with status 0.
TEST_F(RunStartTest, MissingSamplesNamedWhereTheRunTakesThemForMissing) {
  const std::string examples = std::string(VRM_SOURCE_DIR) + "/examples/particles_";
  CImg<double> one = CImg<double>((examples + "t.pgm").c_str()).crop(0, 0, 31, 15);
  CImg<double> two = CImg<double>((examples + "dt.pgm").c_str()).crop(0, 0, 31, 15);
  one(10, 6) = 1022, one(20, 9) = 65535;
  CImg<double> beside = two;  // missing only just beside what the pre-shift tests
  beside(5, 5) = beside(27, 3) = 1022;
  two(26, 3) = 1022, two(12, 11) = two(24, 8) = two(5, 5) = 1200;
  file("a.tif", tiff16(one));
  file("b.tif", tiff16(two));
  file("c.tif", tiff16(beside));
  file("a.pgm", pgm10(one.get_min(1023.0)));
  file("b.pgm", pgm10(two.get_min(1023.0)));
  const struct {
    const char* what;
    std::string list;
    std::vector<std::string> options;
    std::string expected;
  } rows[] = {
      {"one level, pre-shift", "a.tif\nb.tif\nout_\n", {"-Umean", "2.5"}, preShiftLine(3, 153)},
      {"one level", "a.tif\nb.tif\nout_\n", {}, ""},
      {"one level, pre-shift reading no missing sample", "a.tif\nc.tif\nout_\n", {"-Umean", "2.5"}, ""},
      {"two levels", "a.tif\nb.tif\nout_\n", {"-multiresol", "2"}, levelsLine(1, 2, 128) + levelsLine(2, 1, 128)},
      {"two levels, pre-shift", "a.tif\nb.tif\nout_\n", {"-multiresol", "2", "-Umean", "2.5"},
       preShiftLine(3, 153) + levelsLine(1, 2, 128) + levelsLine(2, 2, 128)},
      {"ten-bit PGM, two levels, pre-shift", "a.pgm\nb.pgm\nout_\n",
       {"-pgm", "true", "-multiresol", "2", "-Umean", "2.5"}, ""},
  };
  for (const auto& r : rows) {
    file("list", r.list);
    std::vector<std::string> args = {"-inPath", "list", "-dx", "16", "-dy", "8", "-ofx", "8", "-ofy", "4",
                                     "-Dx", "32", "-Dy", "16", "-HS", "true", "-alpha", "1e9"};
    args.insert(args.end(), r.options.begin(), r.options.end());
    const ChildResult run = runProgram(dir, args);
    ASSERT_TRUE(run.exited) << r.what;
    EXPECT_EQ(run.exitCode, 0) << r.what << "\n" << run.err;
    EXPECT_EQ(run.err, r.expected) << r.what;
  }
}

TEST_F(RunStartTest, InputsThatCannotBeUsedAreRefused) {
  auto refused = [&](std::vector<std::string> args, const std::string& needle) {
    args.insert(args.begin(), {"-inPath", "list"});
    expectRefusal(runProgram(dir, args), {needle});
  };
  expectRefusal(runProgram(dir, {"-inPath", "nolist", "-pgm", "1"}), {"nolist"});
  // Windows outside the images: image 1, image 2 as read whole, image 2's region.
  refused({"-pgm", "1", "-dx", "121", "-dy", "10"}, "a.pgm");
  refused({"-pgm", "1", "-dx", "100", "-dy", "10", "-Dx", "130"}, "b.pgm");
  refused({"-pgm", "1", "-dx", "50", "-dy", "10", "-ofx", "20", "-Dx", "60", "-ofy", "0", "-Dy", "10"}, "b.pgm");
  refused({"-dx", "50", "-dy", "10"}, "a.pgm");  // not a TIFF
  refused({"-pgm", "1", "-multiresol", "9"}, "-multiresol");
  file("list", "a.pgm\nb.pgm\nout_\n\n\n");
  refused({"-pgm", "1", "-dx", "50", "-dy", "10", "-GT", "1"}, "line 4");
  refused({"-pgm", "1", "-dx", "50", "-dy", "10", "-lambdaInitFile", "1"}, "line 5");
  file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\nmissing_lambda\n");
  refused({"-pgm", "1", "-dx", "50", "-dy", "10", "-lambdaInitFile", "1"}, "missing_lambda");
}

}  // namespace
