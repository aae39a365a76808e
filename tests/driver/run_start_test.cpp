// The start of a run: list file, input windows, padding, written windows, pyramids, multipliers,
// true field; in process and through the program itself.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/run_start.h"
#include "field/field.h"
#include "io/io.h"
#include "spline/spline.h"
#include "support/expect.h"
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

// Samples of magnitude 1022 or more in a TIFF window are named when coarser levels are built from it.
TEST(MissingSamples, NamedPerTiffWindowWhenLevelsAreBuilt) {
  auto line = [](const char* image, int n) {
    return std::string("Image ") + image + "': samples at or above 1022 in magnitude count as missing data when the "
           "coarser levels are built and in the warps (-multiresol above 1): " + std::to_string(n) + " of the 6 of "
           "the window; scale the image into 0 to 1021 to keep them\n";
  };
  const struct { bool pgm; int multiresol; double a, b; int count; } cases[] = {  // image 2: minus image 1
      {false, 3, 1022, 65535, 2}, {false, 2, 1021.99, 1023, 1}, {false, 1, 65535, 1022, 0}, {true, 3, 1023, 1023, 0}};
  for (const auto& c : cases) {
    RunState s;
    s.opt.pgm = c.pgm, s.opt.multiresol = c.multiresol, s.fileIm = {"a.tif", "b.tif"};
    s.imOrig.assign(3, 2, 1, 1, 5.0);
    s.imOrig(0) = c.a, s.imOrig(3) = c.b, s.imdtOrig = -s.imOrig;
    testing::internal::CaptureStderr();
    noteMissingSamples(s);
    const std::string expected = c.count ? line("1 'a.tif", c.count) + line("2 'b.tif", c.count) : "";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
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
