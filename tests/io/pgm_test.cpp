#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/child_process.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

class PgmTest : public ::testing::Test {
 protected:
  std::string dir = makeTempDir("pgm");
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string file(const std::string& name, const std::string& bytes) const {
    const std::string p = path(name);
    EXPECT_TRUE(writeFileBytes(p, bytes));
    return p;
  }
};

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back((char)(unsigned char)v);
  return s;
}

TEST_F(PgmTest, ReadsEightBitRasterAndWindow) {
  const std::string f = file("a.pgm", "P5\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 255}));
  const CImg<short> all = read_pgm(f, 3, 2, 0, 0);
  ASSERT_EQ(all.width(), 3);
  ASSERT_EQ(all.height(), 2);
  EXPECT_EQ(all(0, 0), 1);
  EXPECT_EQ(all(2, 0), 3);
  EXPECT_EQ(all(0, 1), 4);
  EXPECT_EQ(all(2, 1), 255);
  const CImg<short> win = read_pgm(f, 2, 1, 1, 1);
  ASSERT_EQ(win.width(), 2);
  ASSERT_EQ(win.height(), 1);
  EXPECT_EQ(win(0, 0), 5);
  EXPECT_EQ(win(1, 0), 255);
}

TEST_F(PgmTest, CommentLinesAreSkippedAndRasterBytes10And32AreData) {
  const std::string raster = bytes({10, 32, 7, 10});
  const std::string plain = file("plain.pgm", "P5\n2 2\n255\n" + raster);
  const std::string commented = file("comments.pgm", "P5\n# first comment\n# second comment\n2 2\n255\n" + raster);
  const CImg<short> a = read_pgm(plain, 2, 2, 0, 0), b = read_pgm(commented, 2, 2, 0, 0);
  EXPECT_EQ(a(0, 0), 10);
  EXPECT_EQ(a(1, 0), 32);
  EXPECT_EQ(a(0, 1), 7);
  EXPECT_EQ(a(1, 1), 10);
  EXPECT_TRUE(a == b);
}

TEST_F(PgmTest, TenBitSamplesAreLeastSignificantByteFirst) {
  const std::string f = file("ten.pgm", "P5\n3 1\n1023\n" + bytes({0xFF, 0x03, 0x00, 0x01, 0x0A, 0x00}));
  const CImg<short> im = read_pgm(f, 3, 1, 0, 0);
  EXPECT_EQ(im(0, 0), 1023);
  EXPECT_EQ(im(1, 0), 256);
  EXPECT_EQ(im(2, 0), 10);
}

TEST_F(PgmTest, UnsupportedMaxvalPrintsItsMessageAndExits1) {
  const std::string f = file("nine.pgm", "P5\n2 1\n511\n" + bytes({1, 2, 3, 4}));
  const ChildResult r = runInChild([&] { read_pgm(f, 2, 1, 0, 0); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't read images " + f + " Kestrum problem def=511 (255 ou 1023)!");
}

TEST_F(PgmTest, BadFilesAreRefusedWithOneLineNamingTheFile) {
  const std::string missing = path("missing.pgm");
  const std::string shortRaster = file("short.pgm", "P5\n4 4\n255\n" + bytes({1, 2, 3}));
  const std::string ok = file("ok.pgm", "P5\n4 4\n255\n" + std::string(16, 'a'));
  const std::string noHeader = file("empty.pgm", "P5\n");
  struct Case {
    std::string file;
    int dx, dy, ofx, ofy;
    const char* problem;
  } cases[] = {
      {missing, 2, 2, 0, 0, "cannot be opened"},
      {shortRaster, 2, 2, 0, 0, "truncated"},
      {ok, 4, 4, 1, 0, "does not lie inside"},
      {ok, 2, 2, 0, 3, "does not lie inside"},
      {ok, 2, 2, -1, 0, "does not lie inside"},
      {noHeader, 2, 2, 0, 0, "header"},
  };
  for (const Case& c : cases) {
    const ChildResult r = runInChild([&] { read_pgm(c.file, c.dx, c.dy, c.ofx, c.ofy); });
    EXPECT_TRUE(r.exited) << c.file;
    EXPECT_EQ(r.exitCode, 1) << c.file;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
}

TEST_F(PgmTest, WritePgm255RoundsClampsAndWritesTheHeader) {
  CImg<double> im(4, 1, 1, 1);
  im(0) = 300;
  im(1) = 127.4;
  im(2) = 127.5;
  im(3) = -4;
  write_pgm255(im, path("w.pgm"), 0, 255);
  EXPECT_EQ(readFileBytes(path("w.pgm")), "P5\n4 1\n255\n" + bytes({255, 127, 128, 0}));
}

TEST_F(PgmTest, WritePgm255UnitRangeAndFirstSliceOnly) {
  CImg<double> field(2, 1, 2, 1);
  field(0, 0, 0) = 0.5;
  field(1, 0, 0) = 1.0;
  field(0, 0, 1) = 0.0;
  field(1, 0, 1) = 0.0;
  write_pgm255(field, path("u.pgm"), 0, 1);
  EXPECT_EQ(readFileBytes(path("u.pgm")), "P5\n2 1\n255\n" + bytes({128, 255}));
}

TEST_F(PgmTest, WritePgm255DegenerateRangeAndNaNWriteZero) {
  CImg<double> im(3, 1, 1, 1);
  im(0) = 5;
  im(1) = std::numeric_limits<double>::quiet_NaN();
  im(2) = -7;
  write_pgm255(im, path("flat.pgm"), 5, 5);
  EXPECT_EQ(readFileBytes(path("flat.pgm")), "P5\n3 1\n255\n" + bytes({0, 0, 0}));
  write_pgm255(im, path("nan.pgm"), 0, 255);
  EXPECT_EQ(readFileBytes(path("nan.pgm")), "P5\n3 1\n255\n" + bytes({5, 0, 0}));
}

TEST_F(PgmTest, WritePgm255ThenReadPgmRoundTrips) {
  ParticleImageSettings s;
  s.width = 17;
  s.height = 9;
  s.count = 20;
  const CImg<double> im = makeParticlePair(s, VortexMotion()).first.get_round();
  write_pgm255(im, path("rt.pgm"), 0, 255);
  const CImg<double> back(read_pgm(path("rt.pgm"), 17, 9, 0, 0));
  EXPECT_TRUE(back == im);
}

TEST_F(PgmTest, WritePgm255ThatCannotCreateItsFileExits1) {
  const std::string f = dir + "/no/such/dir/x.pgm";
  const ChildResult r = runInChild([&] { write_pgm255(CImg<double>(2, 2, 1, 1, 0.0), f, 0, 255); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't create " + f + " !");
}

}  // namespace
