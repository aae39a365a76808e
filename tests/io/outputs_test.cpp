// Curve files, result lines, border masks and output names.
#include <string>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/child_process.h"

using namespace cimg_library;

namespace {

TEST(Curves, WriteS2WritesOneLinePerIndex) {
  const std::string f = makeTempDir("s2") + "/curve";
  CImg<double> s2(4, 1, 1, 1);
  s2(0) = 0;
  s2(1) = 1.5;
  s2(2) = -2.25e-7;
  s2(3) = 12345.678;
  write_S2(s2, f);
  EXPECT_EQ(readFileBytes(f), "0 0.000000e+00\n1 1.500000e+00\n2 -2.250000e-07\n3 1.234568e+04\n");
  s2.assign(1, 1, 1, 1, 3.0);
  write_S2(s2, f);  // the file is replaced
  EXPECT_EQ(readFileBytes(f), "0 3.000000e+00\n");
}

TEST(ResultLines, WriteLineAppendsTabSeparatedValues) {
  const std::string f = makeTempDir("line") + "/evidence_resol0";
  CImg<double> save(20, 1, 1, 1, 0.0);
  save(0) = 1.23456789;
  save(1) = -2;
  save(2) = 1e-12;
  save(19) = 123456789.0;
  for (int i = 0; i < 3; ++i) writeLine(save, f);
  std::string line = "1.23457\t-2\t1e-12";
  for (int i = 3; i < 19; ++i) line += "\t0";
  line += "\t1.23457e+08\n";
  EXPECT_EQ(readFileBytes(f), line + line + line);
}

TEST(ResultLines, UnwritableFilesAreReported) {
  const std::string dir = makeTempDir("unwritable");
  const std::string f = dir + "/missing/evidence_resol0";
  ChildResult r = runInChild([&] { writeLine(CImg<double>(20, 1, 1, 1, 0.0), f); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't create " + f + " !");
  r = runInChild([&] { write_S2(CImg<double>(3, 1, 1, 1, 0.0), f); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't create " + f + " !");
}

TEST(BorderMasks, SetZeroBorderClearsTheBandInPlaneZeroOnly) {
  CImg<double> a(8, 5, 2, 1, 1.0);
  setZeroBorder(a, 0, 0);
  EXPECT_EQ(a.sum(), 80.0);
  setZeroBorder(a, 2, 1);
  cimg_forXY(a, x, y) {
    const bool band = x < 2 || x >= 6 || y < 1 || y >= 4;
    EXPECT_EQ(a(x, y, 0), band ? 0.0 : 1.0) << x << "," << y;
    EXPECT_EQ(a(x, y, 1), 1.0);
  }
}

TEST(BorderMasks, SetZeroBorderOnExpandedRegionClearsThePadding) {
  CImg<double> a(8, 6, 1, 1, 1.0);
  setZeroBorderOnExpandedRegion(a, 8, 6);
  EXPECT_EQ(a.sum(), 48.0);
  setZeroBorderOnExpandedRegion(a, 5, 4);
  cimg_forXY(a, x, y) EXPECT_EQ(a(x, y), (x < 5 && y < 4) ? 1.0 : 0.0);
}

TEST(Names, FormatFileNameHasNoLengthLimit) {
  const std::string prefix(300, 'p');
  EXPECT_EQ(formatFileName("%sIm_t.pgm", prefix.c_str()), prefix + "Im_t.pgm");
  EXPECT_EQ(formatFileName("%sUV_Gamma%eZeta%e.motion", "out/", 0.01, 1.0),
            "out/UV_Gamma1.000000e-02Zeta1.000000e+00.motion");
  EXPECT_EQ(formatFileName("%sevidence_resol%d", "o_", 2), "o_evidence_resol2");
}

}  // namespace
