// Motion tables (write and read, exact text), the two other vector text readers and the curve table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include <CImg.h>

#include "support/child_process.h"
#include "io/io.h"

using namespace cimg_library;

namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

CImg<double> rampField(int w, int h) {
  CImg<double> f(w, h, 2, 1);
  cimg_forXY(f, x, y) {
    f(x, y, 0) = 0.25 * x - 0.125 * y + 0.0625;
    f(x, y, 1) = -1.5 * y + 0.03125 * x;
  }
  return f;
}

}  // namespace

TEST(MotionTable, ExactBytesOfThreeByTwoTable) {
  const std::string dir = makeTempDir("mt");
  const std::string name = dir + "/f.motion";
  CImg<double> f(3, 2, 2, 1, 0.0);
  f(0, 0, 0) = 0.5;      // line 0, column 0
  f(2, 0, 1) = -1.25;    // line 0, column 2
  f(1, 1, 0) = 1e-7;     // below the sixth decimal
  f(2, 1, 0) = 1.0 / 3;  // printed from its single-precision value
  ChildResult r = runInChild([&] { write_aMotionFile(name, f); });
  EXPECT_TRUE(r.exited && r.exitCode == 0);
  EXPECT_EQ(r.out, name + "\n");
  EXPECT_EQ(readFileBytes(name),
            "3 2\n#i\tj\tU\tV\n"
            "0\t0\t0.500000\t0.000000\n"
            "0\t1\t0.000000\t0.000000\n"
            "0\t2\t0.000000\t-1.250000\n"
            "1\t0\t0.000000\t0.000000\n"
            "1\t1\t0.000000\t0.000000\n"
            "1\t2\t0.333333\t0.000000\n");
}

TEST(MotionTable, ImageColumnVariant) {
  const std::string name = makeTempDir("mt") + "/im.motion";
  const float U[2] = {1, 2}, V[2] = {-1, -2}, Im[2] = {10, 20.5f};
  write_champ_im(U, V, Im, 2, 1, name);
  EXPECT_EQ(readFileBytes(name),
            "2 1\n#i\tj\tU\tV\tf\n0\t0\t1.000000\t-1.000000\t10.000000\n"
            "0\t1\t2.000000\t-2.000000\t20.500000\n");
}

TEST(MotionTable, RoundTripAndWindow) {
  const std::string name = makeTempDir("mt") + "/rt.motion";
  const CImg<double> f = rampField(5, 4);
  testing::internal::CaptureStdout();
  write_aMotionFile(name, f);
  const CImg<float> all = read_aMotionFile(name, 5, 4, 5, 0, 0);
  const CImg<float> win = read_aMotionFile(name, 2, 2, 5, 3, 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, name + "\n" + name + "\n" + name + "\n");
  ASSERT_EQ(all.width(), 5);
  ASSERT_EQ(all.height(), 4);
  ASSERT_EQ(all.depth(), 2);
  cimg_forXYZ(all, x, y, z) EXPECT_NEAR(all(x, y, z), f(x, y, z), 5e-7) << x << "," << y << "," << z;
  ASSERT_EQ(win.width(), 2);
  ASSERT_EQ(win.height(), 2);
  cimg_forXYZ(win, x, y, z) EXPECT_EQ(win(x, y, z), all(x + 3, y + 1, z));
}

TEST(MotionTable, LongHeaderLineIsSkippedWhole) {
  const std::string name = makeTempDir("mt") + "/long.motion";
  writeText(name, "2 1\n#" + std::string(250, 'x') + "\n0 0 1.5 2.5\n0 1 -3 4\n");
  testing::internal::CaptureStdout();
  const CImg<float> f = read_aMotionFile(name, 2, 1, 2, 0, 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(f(0, 0, 0), 1.5f);
  EXPECT_EQ(f(0, 0, 1), 2.5f);
  EXPECT_EQ(f(1, 0, 0), -3.0f);
  EXPECT_EQ(f(1, 0, 1), 4.0f);
}

TEST(MotionTable, BadTablesEndTheRunWithOneLine) {
  const std::string dir = makeTempDir("mt");
  const std::string good = dir + "/good.motion";
  writeText(good, "2 2\n#i\tj\tU\tV\n0\t0\t1\t1\n0\t1\t1\t1\n1\t0\t1\t1\n1\t1\t1\t1\n");
  const std::string shortFile = dir + "/short.motion";
  writeText(shortFile, "2 2\n#i\tj\tU\tV\n0\t0\t1\t1\n0\t1\t1\t1\n1\t0\t1\t1\n");
  const std::string garbled = dir + "/garbled.motion";
  writeText(garbled, "2 2\n#i\tj\tU\tV\n0\t0\t1\t1\n0\t1\tabc\t1\n1\t0\t1\t1\n1\t1\t1\t1\n");
  const std::string noSize = dir + "/nosize.motion";
  writeText(noSize, "#i\tj\tU\tV\n");
  const struct {
    std::string file;
    int dx, dy, Dx, ofx, ofy;
    const char* problem;
  } cases[] = {
      {dir + "/absent.motion", 2, 2, 2, 0, 0, "cannot be opened"},
      {shortFile, 2, 2, 2, 0, 0, "ends after 3 of the 4"},
      {garbled, 2, 2, 2, 0, 0, "pixel line 2 does not parse"},
      {noSize, 2, 2, 2, 0, 0, "no column and line count"},
      {good, 2, 3, 2, 0, 0, "does not lie inside"},   // more lines than the table holds
      {good, 2, 2, 2, 1, 0, "does not lie inside"},   // window beyond the right edge
      {good, 1, 1, 3, 0, 0, "columns, not the 3"},    // table narrower than asked
      {good, 1, 1, 2, -1, 0, "does not lie inside"},
  };
  for (const auto& c : cases) {
    ChildResult r = runInChild([&] { read_aMotionFile(c.file, c.dx, c.dy, c.Dx, c.ofx, c.ofy); });
    EXPECT_TRUE(r.exited) << c.file;
    EXPECT_EQ(r.exitCode, 1) << c.file;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

TEST(MotionTable, UncreatableTableExitsWithStatusOne) {
  const float U[1] = {0}, V[1] = {0};
  const std::string name = makeTempDir("mt") + "/missing_dir/x.motion";
  ChildResult r = runInChild([&] { write_champ(U, V, 1, 1, name); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Can't create " + name + " !");
  ChildResult r2 = runInChild([&] { write_champ_im(U, V, U, 1, 1, name); });
  EXPECT_EQ(r2.exitCode, 1);
  EXPECT_EQ(r2.out, "Can't create " + name + " !");
}

TEST(UVFile, ColumnOrderedUpsideDownFieldIsTurnedOver) {
  const std::string name = makeTempDir("uv") + "/f.uv";
  // 2 columns x 3 lines, column by column, y pointing up: value 10*x + y.
  std::string text;
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y)
      text += "7 8 " + std::to_string(10 * x + y) + " " + std::to_string(100 + 10 * x + y) + "\n";
  writeText(name, text);
  testing::internal::CaptureStdout();
  const CImg<float> f = read_aUVFile(name, 2, 3, 2, 3, 0, 0);
  const CImg<float> w = read_aUVFile(name, 1, 2, 2, 3, 1, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), name + "\n" + name + "\n");
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y) {
      EXPECT_EQ(f(x, 2 - y, 0), 10 * x + y);
      EXPECT_EQ(f(x, 2 - y, 1), -(100 + 10 * x + y));
    }
  EXPECT_EQ(w(0, 0, 0), f(1, 1, 0));
  EXPECT_EQ(w(0, 1, 1), f(1, 2, 1));

  ChildResult r = runInChild([&] { read_aUVFile(name, 2, 4, 2, 4, 0, 0); });  // 8 lines asked, 6 present
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(name), std::string::npos);
}

TEST(QuellorFile, MeanRemovedNegatedAndOutsideLinesSkipped) {
  const std::string dir = makeTempDir("q");
  const std::string name = dir + "/q.txt";
  writeText(name,
            "\t1 0 2 1\n"
            "\t0 1 3.5 -2\n"
            "\t5 0 9 9\n"     // column outside the grid
            "\t0 7 9 9\n"     // line beyond dy + ofy
            "\t-1 0 9 9\n"    // negative column
            "##\n"
            "\t0 0 9 9\n");   // after the end marker
  testing::internal::CaptureStdout();
  const CImg<float> f = read_aUVQuellorFile(name, 2, 2, 2, 0, 0, 0.5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), name + "\n");
  EXPECT_FLOAT_EQ(f(1, 0, 0), -1.5f);
  EXPECT_FLOAT_EQ(f(1, 0, 1), -1.0f);
  EXPECT_FLOAT_EQ(f(0, 1, 0), -3.0f);
  EXPECT_FLOAT_EQ(f(0, 1, 1), 2.0f);
  // Places that no line names keep the zeroed field (the mean is taken off read values only).
  EXPECT_EQ(f(0, 0, 0), 0.0f);
  EXPECT_EQ(f(1, 1, 1), 0.0f);

  // Without the end marker the file ends the reading; a window offset shifts the result.
  const std::string open = dir + "/open.txt";
  writeText(open, "\t1 1 4 5\n\t0 0 1 1");
  testing::internal::CaptureStdout();
  const CImg<float> g = read_aUVQuellorFile(open, 1, 1, 2, 1, 1, 0.0);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(g.width(), 1);
  EXPECT_EQ(g(0, 0, 0), -4.0f);
  EXPECT_EQ(g(0, 0, 1), -5.0f);

  const std::string bad = dir + "/bad.txt";
  writeText(bad, "\t1 1 4 5\nnonsense\n##\n");
  ChildResult r = runInChild([&] { read_aUVQuellorFile(bad, 2, 2, 2, 0, 0, 0.0); });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("line 2 does not parse"), std::string::npos) << r.err;
}

TEST(CurveTable, TwentyColumnsAndShortCurveRefused) {
  const std::string dir = makeTempDir("sp");
  const std::string name = dir + "/sp.txt";
  CImg<double> c[20];
  for (int k = 0; k < 20; ++k) {
    c[k].assign(k == 19 ? 3 : 2, 1, 1, 1);  // a longer curve is cut to the first one's length
    cimg_forX(c[k], l) c[k](l) = (k + 1) * 10 + l;
  }
  write_SP(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14],
           c[15], c[16], c[17], c[18], c[19], name);
  std::string expected;
  for (int l = 0; l < 2; ++l) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d", l);
    expected += buf;
    for (int k = 0; k < 20; ++k) {
      std::snprintf(buf, sizeof buf, " %e", (k + 1) * 10.0 + l);
      expected += buf;
    }
    expected += "\n";
  }
  EXPECT_EQ(readFileBytes(name), expected);
  EXPECT_NE(expected.find("0 1.000000e+01 2.000000e+01"), std::string::npos);

  c[7].assign(1, 1, 1, 1, 0.0);
  ChildResult r = runInChild([&] {
    write_SP(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14],
             c[15], c[16], c[17], c[18], c[19], dir + "/short.txt");
  });
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("curve 8"), std::string::npos) << r.err;
  EXPECT_EQ(readFileBytes(dir + "/short.txt"), "");
}
