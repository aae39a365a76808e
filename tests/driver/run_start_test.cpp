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
#include "support/child_process.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

struct Args {
  std::vector<std::string> text;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : text(std::move(a)) {
    text.insert(text.begin(), VRM_PROGRAM);
    for (std::string& s : text) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
};

class RunStartTest : public ::testing::Test {
 protected:
  std::string dir = makeTempDir("runstart");
  ParticlePair pair;

  void SetUp() override {
    ParticleImageSettings s;
    s.width = 120;
    s.height = 90;
    s.count = 300;
    pair = makeParticlePair(s, VortexMotion());
    pair.first.round();
    pair.second.round();
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    list("a.pgm\nb.pgm\nout_\ntrue.motion\nlambda.txt\n");
  }
  void list(const std::string& text) const { ASSERT_TRUE(writeFileBytes(dir + "/list", text)); }

  // Runs the program in the test's directory.
  ChildResult program(std::vector<std::string> a) const {
    Args args(std::move(a));
    return runInChild([&] {
      if (chdir(dir.c_str()) != 0) _exit(98);
      execv(VRM_PROGRAM, args.ptrs.data());
      _exit(97);
    });
  }

  // Runs the start-up in this process, in the test's directory, quietly.
  RunState start(std::vector<std::string> a) const {
    Args args(std::move(a));
    char cwd[4096];
    EXPECT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(chdir(dir.c_str()), 0);
    RunState s;
    testing::internal::CaptureStdout();
    startRun((int)args.text.size(), args.ptrs.data(), s);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(chdir(cwd), 0);
    return s;
  }
};

std::string pgmBytes(const CImg<double>& im) {
  std::string s = "P5\n" + std::to_string(im.width()) + " " + std::to_string(im.height()) + "\n255\n";
  cimg_forXY(im, x, y) s.push_back((char)(unsigned char)(im(x, y) > 255 ? 255 : im(x, y)));
  return s;
}

TEST_F(RunStartTest, ProgramWritesTheInputWindowsAndEnds) {
  const ChildResult r = program({"-inPath", "list", "-pgm", "true", "-dx", "100", "-dy", "60", "-ofx", "7",
                                 "-ofy", "5", "-Dx", "120", "-Dy", "90", "-multiresol", "3", "-resolEnd", "4"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("image size before 100 60, and after expanding 104 64\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--MISC----"), std::string::npos);
  EXPECT_NE(r.out.find("Processing time duration (sec): "), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n\n ** End algorithm **\n");
  EXPECT_EQ(readFileBytes(dir + "/out_Im_t.pgm"), pgmBytes(pair.first.get_crop(7, 5, 106, 64)));
  EXPECT_EQ(readFileBytes(dir + "/out_Im_dt.pgm"), pgmBytes(pair.second.get_crop(7, 5, 106, 64)));
}

TEST_F(RunStartTest, PaddingPyramidsAndMultipliers) {
  const RunState s = start({"-inPath", "list", "-pgm", "1", "-dx", "100", "-dy", "60", "-multiresol", "3",
                            "-lo", "6", "-neta", "2", "-lambdaInit", "0.5"});
  EXPECT_EQ(s.dx, 104);
  EXPECT_EQ(s.dy, 64);
  EXPECT_EQ(s.opt.dxOrig, 100);
  ASSERT_EQ(s.im.width(), 104);
  cimg_forXY(s.im, x, y) EXPECT_EQ(s.im(x, y), (x < 100 && y < 60) ? pair.first(x, y) : 0.0);
  const CImgList<double>* lists[] = {&s.pyrIm, &s.pyrImdt, &s.pyrOut, &s.pyrf_x, &s.pyrf_y,
                                     &s.pyrf_t, &s.pyrXtil, &s.pyrXinc, &s.pyrTmp};
  for (const CImgList<double>* l : lists) {
    ASSERT_EQ(l->size(), 8u);
    for (int k = 0; k <= 3; ++k) {
      EXPECT_EQ((*l)[k].width(), 104 >> k);
      EXPECT_EQ((*l)[k].height(), 64 >> k);
    }
    for (int k = 4; k < 8; ++k) EXPECT_TRUE((*l)[k].is_empty());
  }
  EXPECT_EQ(s.pyrXtil[0].depth(), 2);
  EXPECT_EQ(s.pyrXinc[2].depth(), 2);
  EXPECT_TRUE(s.pyrIm[0] == s.im);
  EXPECT_TRUE(s.pyrImdt[0] == s.imdt);
  const CImg<double> k = burtKernel();
  EXPECT_TRUE(s.pyrIm[1] == coarserLevel(s.im, k, 52, 32));
  EXPECT_TRUE(s.pyrIm[2] == coarserLevel(s.pyrIm[1], k, 26, 16));
  EXPECT_TRUE(s.pyrImdt[2] == coarserLevel(coarserLevel(s.imdt, k, 52, 32), k, 26, 16));
  EXPECT_EQ(s.pyrIm[3].max(), 0.0);  // entry -multiresol is never filled
  // Multipliers: n = max(lo, neta) = 6, lengths 7, 4, 2 (entry 3 allocated, not filled).
  const int len[] = {7, 4, 2};
  for (int l = 0; l < 3; ++l) {
    EXPECT_EQ(s.pyrf_lambda[l].width(), len[l]);
    EXPECT_EQ(s.pyrf_lambda[l].min(), 0.5);
    EXPECT_EQ(s.pyrf_lambda_cross[l].max(), 0.5);
  }
  EXPECT_EQ(s.save.width(), 20);
  EXPECT_EQ(s.save.sum(), 0.0);
  EXPECT_EQ(s.trueUV.width(), 104);
  EXPECT_EQ(s.trueUV.depth(), 2);
  EXPECT_EQ(s.X.depth(), 2);
}

TEST_F(RunStartTest, MultipliersFromTheFileAndTrueField) {
  ASSERT_TRUE(writeFileBytes(dir + "/lambda.txt", "0.5 0.25\n1 2\n3 4\n5 6\n7 8\n9 9\n"));
  write_aMotionFile(dir + "/true.motion", pair.motion);
  const RunState s = start({"-inPath", "list", "-pgm", "1", "-dx", "62", "-dy", "31", "-ofx", "3", "-ofy", "4",
                            "-Dx", "120", "-Dy", "90", "-multiresol", "2", "-lambdaInitFile", "1", "-GT", "1"});
  ASSERT_EQ(s.pyrf_lambda[0].width(), 5);
  EXPECT_EQ(s.pyrf_lambda[0](0), 0.5);
  EXPECT_EQ(s.pyrf_lambda_cross[0](0), 0.25);
  EXPECT_EQ(s.pyrf_lambda[0](4), 7.0);
  EXPECT_EQ(s.pyrf_lambda_cross[0](4), 8.0);
  EXPECT_EQ(s.pyrf_lambda[1].min(), 1.0);  // coarser levels: -lambdaInit
  ASSERT_EQ(s.trueUV.width(), 64);
  EXPECT_NEAR(s.trueUV(10, 7, 0), pair.motion(13, 11, 0), 1e-6);
  EXPECT_NEAR(s.trueUV(10, 7, 1), pair.motion(13, 11, 1), 1e-6);
  EXPECT_NEAR(s.trueUV(61, 30, 0), pair.motion(64, 34, 0), 1e-6);
  // The padding of the 62 x 31 window to 64 x 32 is zero.
  for (int z = 0; z < 2; ++z) {
    for (int y = 0; y < 32; ++y) EXPECT_EQ(s.trueUV(62, y, z), 0.0);
    for (int x = 0; x < 64; ++x) EXPECT_EQ(s.trueUV(x, 31, z), 0.0);
  }
  EXPECT_FALSE(readFileBytes(dir + "/out__true.motion").empty());
  EXPECT_FALSE(readFileBytes(dir + "/out__trueS2_HV").empty());
  EXPECT_FALSE(readFileBytes(dir + "/out__trueS2_Cross").empty());
}

TEST_F(RunStartTest, HorizontalPreShiftWarpsImageTwoBeforeCropping) {
  const RunState s = start({"-inPath", "list", "-pgm", "1", "-dx", "50", "-dy", "40", "-ofx", "10", "-ofy", "20",
                            "-Dx", "120", "-Dy", "90", "-Umean", "1.5"});
  CImg<double> shifted;
  const CImg<double> field = fill(CImg<double>(120, 90, 1, 1, 1.5), CImg<double>(120, 90, 1, 1, 0.0));
  Recal_spline(shifted, pair.second, field, 3);
  EXPECT_TRUE(s.imdtOrig == shifted.get_crop(10, 20, 59, 59));
  EXPECT_FALSE(s.imdtOrig == pair.second.get_crop(10, 20, 59, 59));
}

TEST_F(RunStartTest, TiffInputAndTenBitSaturation) {
  pair.first.get_crop(0, 0, 31, 15).save_tiff((dir + "/a.tif").c_str());
  CImg<double> ten = pair.second.get_crop(0, 0, 31, 15) * 4.0;
  ten.save_tiff((dir + "/b.tif").c_str());
  list("a.tif\nb.tif\nt_\n");
  ChildResult r = program({"-inPath", "list", "-dx", "32", "-dy", "16", "-resolEnd", "2"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFileBytes(dir + "/t_Im_t.pgm"), pgmBytes(pair.first.get_crop(0, 0, 31, 15)));
  EXPECT_EQ(readFileBytes(dir + "/t_Im_dt.pgm"), pgmBytes(ten));  // values above 255 saturate
}

void expectOneLineRefusal(const ChildResult& r, const std::string& needle) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1) << needle;
  EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

TEST_F(RunStartTest, InputsThatCannotBeUsedAreRefused) {
  expectOneLineRefusal(program({"-inPath", "nolist", "-pgm", "1"}), "nolist");
  // Windows outside the images: image 1, image 2 as read whole, image 2's region.
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "121", "-dy", "10"}), "a.pgm");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "100", "-dy", "10", "-Dx", "130"}), "b.pgm");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "50", "-dy", "10", "-ofx", "20", "-Dx",
                                "60", "-ofy", "0", "-Dy", "10"}),
                       "b.pgm");
  expectOneLineRefusal(program({"-inPath", "list", "-dx", "50", "-dy", "10"}), "a.pgm");  // not a TIFF
  list("a.pgm\nb.pgm\nout_\n\n\n");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "50", "-dy", "10", "-GT", "1"}), "line 4");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "50", "-dy", "10", "-lambdaInitFile", "1"}),
                       "line 5");
  list("a.pgm\nb.pgm\nout_\ntrue.motion\nmissing_lambda\n");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-dx", "50", "-dy", "10", "-lambdaInitFile", "1"}),
                       "missing_lambda");
  expectOneLineRefusal(program({"-inPath", "list", "-pgm", "1", "-multiresol", "9"}), "-multiresol");
}

TEST_F(RunStartTest, NoLevelRunsWhenResolEndIsAboveMultiresol) {
  const ChildResult r =
      program({"-inPath", "list", "-pgm", "1", "-dx", "64", "-dy", "64", "-multiresol", "2", "-resolEnd", "3"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(readFileBytes(dir + "/out_Im_t.pgm").empty());
  EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n\n ** End algorithm **\n");
}

}  // namespace
