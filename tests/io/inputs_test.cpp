// List file, multiplier file, TIFF input, padding and windows.
#include <string>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/child_process.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

class InputsTest : public ::testing::Test {
 protected:
  std::string dir = makeTempDir("inputs");
  std::string file(const std::string& name, const std::string& text) const {
    const std::string p = dir + "/" + name;
    EXPECT_TRUE(writeFileBytes(p, text));
    return p;
  }
};

void expectRefusal(const ChildResult& r, const std::string& name, const std::string& problem) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

TEST_F(InputsTest, ListFileLinesAreReadWholeAndMissingLastLinesAreEmpty) {
  const std::string longLine(700, 'x');
  const std::string full = file("full", "a.pgm\nb.pgm\nout/\ntrue.motion\nlambda.txt\n");
  const std::string three = file("three", "a.pgm\n" + longLine + "\nout/");
  std::vector<std::string> lines = alloc_seqPath(5);
  read_path(full, 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.pgm", "b.pgm", "out/", "true.motion", "lambda.txt"}));
  lines = alloc_seqPath(5);
  read_path(three, 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a.pgm", longLine, "out/", "", ""}));
}

TEST_F(InputsTest, ListFileMissingOrTooShortIsRefused) {
  const std::string missing = dir + "/missing";
  const std::string two = file("two", "a.pgm\nb.pgm\n");
  std::vector<std::string> lines = alloc_seqPath(5);
  expectRefusal(runInChild([&] { read_path(missing, 5, lines); }), missing, "cannot be opened");
  expectRefusal(runInChild([&] { read_path(two, 5, lines); }), two, "at least three");
}

TEST_F(InputsTest, MultiplierFileFillsBothVectorsAndEchoesThePairs) {
  const std::string f = file("lambda", "0.5 0.25\n2 3\n0.1 1e3\n");
  CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
  ChildResult r = runInChild([&] {
    readLambdaInit(lambda, cross, f);
    std::printf("%.17g %.17g %.17g %.17g\n", lambda(0), cross(0), lambda(2), cross(2));
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, f + "\n0.5 0.25\n2 3\n0.1 1000\n0.5 0.25 0.10000000149011612 1000\n");
}

TEST_F(InputsTest, MultiplierFileMissingEmptyNameOrShortIsRefused) {
  const std::string shortFile = file("short", "1 1\n2 2\n");
  const std::string missing = dir + "/none";
  CImg<double> lambda(3, 1, 1, 1, 0.0), cross(3, 1, 1, 1, 0.0);
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, shortFile); }), shortFile, "line 3");
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, missing); }), missing, "cannot be opened");
  expectRefusal(runInChild([&] { readLambdaInit(lambda, cross, ""); }), "Multiplier file", "no file");
}

TEST(Padding, SizesFollowThePyramidDivisor) {
  int w = 0, h = 0;
  expand_dim(100, 96, 3, w, h);
  EXPECT_EQ(w, 104);
  EXPECT_EQ(h, 96);
  expand_dim(100, 1, 0, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 1);
  expand_dim(127, 128, 1, w, h);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 128);
  expand_dim(5, 7, 7, w, h);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 128);
}

TEST(Padding, ExpandPadsEverySliceWithZeros) {
  CImg<double> field(3, 2, 2, 1);
  cimg_forXYZ(field, x, y, z) field(x, y, z) = 1 + x + 10 * y + 100 * z;
  const CImg<double> out = expand(field, 2);
  ASSERT_EQ(out.width(), 4);
  ASSERT_EQ(out.height(), 4);
  ASSERT_EQ(out.depth(), 2);
  ASSERT_EQ(out.spectrum(), 1);
  cimg_forXYZ(out, x, y, z) {
    const double expected = (x < 3 && y < 2) ? field(x, y, z) : 0.0;
    EXPECT_EQ(out(x, y, z), expected) << x << "," << y << "," << z;
  }
}

TEST(Window, CropWindowChecksTheImageBounds) {
  CImg<double> im(5, 4, 1, 1);
  cimg_forXY(im, x, y) im(x, y) = x + 10 * y;
  const CImg<double> w = cropWindow(im, 1, 2, 3, 2, "test");
  ASSERT_EQ(w.width(), 3);
  ASSERT_EQ(w.height(), 2);
  EXPECT_EQ(w(0, 0), 21);
  EXPECT_EQ(w(2, 1), 33);
  expectRefusal(runInChild([&] { cropWindow(im, 3, 0, 3, 2, "image 'a.tif'"); }), "image 'a.tif'",
                "does not lie inside");
  expectRefusal(runInChild([&] { cropWindow(im, 0, 3, 1, 2, "image 'a.tif'"); }), "image 'a.tif'",
                "does not lie inside");
}

TEST_F(InputsTest, TiffInputTakesFirstSliceAndFirstChannel) {
  CImg<float> im(4, 3, 2, 2);
  cimg_forXYZC(im, x, y, z, c) im(x, y, z, c) = 0.5f + x + 10 * y + 100 * z + 1000 * c;
  const std::string f = dir + "/multi.tif";
  im.save_tiff(f.c_str());
  const CImg<double> back = read_tiff(f);
  ASSERT_EQ(back.width(), 4);
  ASSERT_EQ(back.height(), 3);
  ASSERT_EQ(back.depth(), 1);
  ASSERT_EQ(back.spectrum(), 1);
  cimg_forXY(back, x, y) EXPECT_EQ(back(x, y), 0.5 + x + 10 * y);
}

TEST_F(InputsTest, TiffThatCannotBeReadIsRefused) {
  const std::string missing = dir + "/none.tif";
  const std::string junk = file("junk.tif", "not a tiff at all");
  expectRefusal(runInChild([&] { read_tiff(missing); }), missing, "cannot be read");
  expectRefusal(runInChild([&] { read_tiff(junk); }), junk, "cannot be read");
}

}  // namespace
