// The coarse-to-fine loop through the program itself: levels run, printed lines, file names, result
// lines, the Horn & Schunck and K41 branches, ground-truth comparisons, hand-over and final outputs.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/level_loop.h"
#include "io/io.h"
#include "support/particles.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

const std::string kTag = "Gamma1.000000e-02Zeta1.000000e+00";

class LevelLoopTest : public ::testing::Test {
 protected:
  std::string dir = makeTempDir("levelloop");
  ParticlePair pair;

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // A particle pair of the given size with its true field as a motion table; list file "list".
  void makeInputs(int width, int height, double amplitude = 1.0, double period = 32.0) {
    ParticleImageSettings s;
    s.width = width;
    s.height = height;
    s.count = width * height / 12;
    VortexMotion m;
    m.amplitude = amplitude;
    m.period = period;
    pair = makeParticlePair(s, m);
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    testing::internal::CaptureStdout();
    write_aMotionFile(dir + "/true.motion", pair.motion);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(writeFileBytes(dir + "/list", "a.pgm\nb.pgm\nout_\ntrue.motion\n\n"));
  }

  ChildResult run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"-inPath", "list", "-pgm", "true"});
    return runProgram(dir, args);
  }

  std::vector<std::string> files() const { return listFolder(dir); }
  std::vector<std::string> lines(const std::string& name) const { return readLines(dir + "/" + name); }

  // The single result line of a level: 20 tab-separated values.
  std::vector<double> resultLine(int r) const {
    const std::vector<std::string> l = lines("out_evidence_resol" + std::to_string(r));
    EXPECT_EQ(l.size(), 1u) << "level " << r;
    if (l.empty()) return std::vector<double>(20, NAN);
    const std::vector<double> v = splitTabbedNumbers(l[0]);
    EXPECT_EQ(v.size(), 20u) << l[0];
    EXPECT_EQ(std::count(l[0].begin(), l[0].end(), '\t'), 19) << l[0];
    return v;
  }

  // u and v of a motion table, in its pixel order.
  CImg<double> readTable(const std::string& name, int width, int height) const {
    testing::internal::CaptureStdout();
    const CImg<double> f(read_aMotionFile(dir + "/" + name, width, height, width, 0, 0));
    testing::internal::GetCapturedStdout();
    return f;
  }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Mean end-point error of an estimate against the truth over columns and lines off to size - off - 1.
double meanEndPoint(const CImg<double>& est, const CImg<double>& truth, int off) {
  double sum = 0;
  int n = 0;
  for (int y = off; y < est.height() - off; ++y)
    for (int x = off; x < est.width() - off; ++x) {
      const double du = est(x, y, 0) - truth(x, y, 0), dv = est(x, y, 1) - truth(x, y, 1);
      sum += std::sqrt(du * du + dv * dv);
      ++n;
    }
  return sum / n;
}

TEST(LevelConstants, GammaAndScaleIntervalShrinkWithTheLevel) {
  RunOptions o;
  o.gamma = 0.5;
  o.power = 0.5;
  o.neta = 3;
  o.lo = 9;
  LevelConstants c = levelConstants(o, 0);
  EXPECT_EQ(c.gamma, 0.5);
  EXPECT_EQ(c.neta, 3);
  EXPECT_EQ(c.lo, 9);
  c = levelConstants(o, 2);
  EXPECT_EQ(c.gamma, 0.5 * std::pow(2.0, 3.0));
  EXPECT_EQ(c.neta, 1);  // (int)0.75 is 0, raised to 1
  EXPECT_EQ(c.lo, 2);
  o.lo = 2;  // the larger of lo and neta bounds the interval
  c = levelConstants(o, 1);
  EXPECT_EQ(c.neta, 1);
  EXPECT_EQ(c.lo, 1);
  EXPECT_EQ(levelConstants(o, 0).lo, 3);
}

TEST_F(LevelLoopTest, OneLevelWritesEveryFinalOutput) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-alpha", "1000"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string stars(64, '*');
  EXPECT_TRUE(contains(r.out, stars + "\nResolution 0 (gamma: 0.01 zeta: 1)\n" + stars +
                                  "\nScale interval [neta,lo]=[1,4]\n"))
      << r.out;
  EXPECT_FALSE(contains(r.out, "Resolution 1"));
  EXPECT_FALSE(contains(r.out, "precision"));  // no K41 branch
  EXPECT_TRUE(contains(r.out, "out_UV_" + kTag + ".motion\n"));
  EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n\n ** End algorithm **\n");

  const std::vector<std::string> expected = {"a.pgm",
                                             "b.pgm",
                                             "list",
                                             "out_DataOut_" + kTag + ".pgm",
                                             "out_Im_dt.pgm",
                                             "out_Im_t.pgm",
                                             "out_S2_Cross_" + kTag,
                                             "out_S2_HV_" + kTag,
                                             "out_UV_" + kTag + ".motion",
                                             "out_evidence_resol0",
                                             "true.motion"};
  EXPECT_EQ(files(), expected);

  const std::vector<std::string> table = lines("out_UV_" + kTag + ".motion");
  ASSERT_EQ(table.size(), 2u + 32 * 32);
  EXPECT_EQ(table[0], "32 32");
  EXPECT_FALSE(lines("out_S2_HV_" + kTag).empty());
  EXPECT_FALSE(lines("out_S2_Cross_" + kTag).empty());

  const std::vector<double> save = resultLine(0);
  EXPECT_EQ(save[0], 0.01);
  EXPECT_EQ(save[1], 1);
  for (int i = 2; i < 20; ++i) EXPECT_EQ(save[i], 0) << "slot " << i;  // no evidence, no dual, no truth

  // The estimate follows the motion (a zero field scores the mean speed).
  const CImg<double> est = readTable("out_UV_" + kTag + ".motion", 32, 32);
  EXPECT_LT(meanEndPoint(est, pair.motion, 4), 0.5 * meanEndPoint(pair.motion * 0.0, pair.motion, 4));
}

TEST_F(LevelLoopTest, NoLevelRunsWhenResolEndIsAboveMultiresol) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-multiresol", "2", "-resolEnd", "3"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(contains(r.out, "Resolution"));
  EXPECT_TRUE(contains(r.out, "Processing time duration (sec): "));
  EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n\n ** End algorithm **\n");
  const std::vector<std::string> expected = {"a.pgm", "b.pgm", "list", "out_Im_dt.pgm", "out_Im_t.pgm",
                                             "true.motion"};
  EXPECT_EQ(files(), expected);
}

TEST_F(LevelLoopTest, StoppingAboveLevelZeroWritesOnlyResultLines) {
  makeInputs(64, 48);
  const ChildResult r = run({"-dx", "64", "-dy", "48", "-HS", "true", "-multiresol", "3", "-resolEnd", "2",
                             "-gamma", "0.5", "-power", "0.5", "-neta", "2", "-lo", "8"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const size_t at2 = r.out.find("Resolution 2 (gamma: 4 zeta: 0.5)\n");
  const size_t at1 = r.out.find("Resolution 1 (gamma: 1.41421 zeta: 0.5)\n");
  ASSERT_NE(at2, std::string::npos) << r.out;
  ASSERT_NE(at1, std::string::npos) << r.out;
  EXPECT_LT(at2, at1);  // coarsest first
  EXPECT_TRUE(contains(r.out, "Scale interval [neta,lo]=[1,2]\n"));
  EXPECT_TRUE(contains(r.out, "Scale interval [neta,lo]=[1,4]\n"));
  EXPECT_FALSE(contains(r.out, "Resolution 0"));

  const std::vector<std::string> expected = {"a.pgm",        "b.pgm",
                                             "list",         "out_Im_dt.pgm",
                                             "out_Im_t.pgm", "out_evidence_resol1",
                                             "out_evidence_resol2", "true.motion"};
  EXPECT_EQ(files(), expected);
  const std::vector<double> s2 = resultLine(2), s1 = resultLine(1);
  EXPECT_EQ(s2[0], 4);
  EXPECT_NEAR(s1[0], 0.5 * std::pow(2.0, 1.5), 1e-5);
  EXPECT_EQ(s2[1], 0.5);
  EXPECT_EQ(s1[1], 0.5);

  // A second run appends: two lines per file.
  ASSERT_EQ(run({"-dx", "64", "-dy", "48", "-HS", "true", "-multiresol", "3", "-resolEnd", "2"}).exitCode, 0);
  EXPECT_EQ(lines("out_evidence_resol2").size(), 2u);
}

TEST_F(LevelLoopTest, OffsetWithoutWholeImageSizeFallsBackToTheOrigin) {
  makeInputs(40, 40);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-ofx", "5", "-ofy", "3"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\nError in -ofx !! \n")) << r.out;
  EXPECT_TRUE(contains(r.out, "\nError in -ofy !! \n")) << r.out;
  testing::internal::CaptureStdout();
  const CImg<short> window = read_pgm(dir + "/out_Im_t.pgm", 32, 32, 0, 0);
  testing::internal::GetCapturedStdout();
  CImg<double> expected = pair.first.get_crop(0, 0, 31, 31);
  expected.round().cut(0, 255);
  EXPECT_TRUE(CImg<double>(window) == expected);
  EXPECT_EQ(lines("out_UV_" + kTag + ".motion").size(), 2u + 32 * 32);
}

// A window that the pyramid does not divide: padded to 64 x 64, compared on the 60 x 60 window.
TEST_F(LevelLoopTest, GroundTruthOnAPaddedSize) {
  makeInputs(60, 60, 1.5, 40.0);
  const ChildResult r = run({"-dx", "60", "-dy", "60", "-HS", "true", "-multiresol", "3", "-GT", "true", "-alpha", "1000"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "image size before 60 60, and after expanding 64 64\n"));
  for (const char* name : {"out__true.motion", "out__trueS2_HV", "out__trueS2_Cross", "out_Barron.pgm",
                           "out_EndPoint.pgm", "out_UV_Gamma1.000000e-02Zeta1.000000e+00.motion"})
    EXPECT_FALSE(readFileBytes(dir + "/" + name).empty()) << name;
  EXPECT_EQ(lines("out__true.motion").size(), 2u + 64 * 64);  // the padded field
  EXPECT_EQ(lines("out_UV_" + kTag + ".motion").size(), 2u + 60 * 60);

  // On the Horn & Schunck path only the final comparison fills slots 11 to 13.
  for (int level : {2, 1}) {
    const std::vector<double> s = resultLine(level);
    for (int i = 2; i < 20; ++i) EXPECT_EQ(s[i], 0) << "level " << level << " slot " << i;
  }
  const std::vector<double> s0 = resultLine(0);
  const CImg<double> est = readTable("out_UV_" + kTag + ".motion", 60, 60);
  const double epe = meanEndPoint(est, pair.motion, 0);
  EXPECT_NEAR(s0[11], epe, 1e-4 * epe + 1e-5);
  EXPECT_GT(s0[12], 0);
  EXPECT_GT(s0[13], 0);
  EXPECT_LT(epe, 0.5 * meanEndPoint(pair.motion * 0.0, pair.motion, 0));
  double e = 0, a = 0, rms = 0;
  ASSERT_TRUE(lastGroundTruthErrors(r.out, e, a, rms));
  EXPECT_NEAR(e, s0[11], 1e-5 * e);
  EXPECT_NEAR(a, s0[12], 1e-5 * a);
  EXPECT_NEAR(rms, s0[13], 1e-5 * rms);
}

TEST_F(LevelLoopTest, ComparisonWindowLeavesOffGTBorder) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-GT", "true", "-offGT", "5"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const CImg<double> est = readTable("out_UV_" + kTag + ".motion", 32, 32);
  const double epe = meanEndPoint(est, pair.motion, 5);
  EXPECT_NEAR(resultLine(0)[11], epe, 1e-4 * epe + 1e-5);
  EXPECT_NE(std::round(meanEndPoint(est, pair.motion, 0) * 1e5), std::round(epe * 1e5));

  // The largest border that leaves one column: accepted.
  const ChildResult narrow =
      run({"-dx", "31", "-dy", "32", "-Dx", "32", "-Dy", "32", "-HS", "true", "-GT", "true", "-offGT", "15"});
  EXPECT_EQ(narrow.exitCode, 0) << narrow.err;
}

// An -offGT that leaves nothing to compare is refused before any level runs.
TEST_F(LevelLoopTest, EmptyComparisonWindowIsRefused) {
  makeInputs(32, 32);
  for (const char* off : {"16", "40", "-1"}) {
    const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-GT", "true", "-offGT", off});
    ASSERT_TRUE(r.exited) << off;
    EXPECT_EQ(r.exitCode, 1) << off;
    EXPECT_TRUE(contains(r.err, "-offGT")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(contains(r.out, "Resolution 0"));
    EXPECT_TRUE(readFileBytes(dir + "/out_evidence_resol0").empty());
  }
  // Without -GT the border is not used.
  EXPECT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-offGT", "16"}).exitCode, 0);
}

// The data weights are recomputed between the solves only for the L1 (1) and Leclerc (0) norms.
TEST_F(LevelLoopTest, RobustReweightingOnlyForNormOneOrZero) {
  makeInputs(32, 32);
  const std::string table = "out_UV_" + kTag + ".motion";
  auto tableFor = [&](const char* norm) {
    EXPECT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-norm", norm, "-sigma_obs", "5"}).exitCode, 0);
    return readFileBytes(dir + "/" + table);
  };
  const std::string l2 = tableFor("2"), other = tableFor("1.5"), three = tableFor("3"), l1 = tableFor("1"),
                    leclerc = tableFor("0");
  ASSERT_FALSE(l2.empty());
  EXPECT_EQ(other, l2);
  EXPECT_EQ(three, l2);
  EXPECT_NE(l1, l2);
  EXPECT_NE(leclerc, l2);
  EXPECT_NE(leclerc, l1);
}

TEST_F(LevelLoopTest, DiffusionTermChangesTheTemporalDerivative) {
  makeInputs(32, 32);
  const std::string table = "out_UV_" + kTag + ".motion";
  ASSERT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true"}).exitCode, 0);
  const std::string plain = readFileBytes(dir + "/" + table);
  ASSERT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-sigDiff", "0.5"}).exitCode, 0);
  EXPECT_NE(readFileBytes(dir + "/" + table), plain);
}

TEST_F(LevelLoopTest, DivergenceFreeRunWritesBothTables) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-multiresol", "2", "-divZero", "true"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string withDiv = "out_UVwithDiv_" + kTag + ".motion", projected = "out_UV_" + kTag + ".motion";
  ASSERT_EQ(lines(withDiv).size(), 2u + 32 * 32);
  ASSERT_EQ(lines(projected).size(), 2u + 32 * 32);
  EXPECT_LT(r.out.find(withDiv), r.out.find(projected));  // written first
  const CImg<double> a = readTable(withDiv, 32, 32), b = readTable(projected, 32, 32);
  EXPECT_TRUE(a != b);
  // The projection removes the mean of each component.
  EXPECT_GT(std::fabs(a.get_slice(0).mean()) + std::fabs(a.get_slice(1).mean()), 1e-3);
  EXPECT_NEAR(b.get_slice(0).mean(), 0, 1e-5);
  EXPECT_NEAR(b.get_slice(1).mean(), 0, 1e-5);
}

// The K41 branch without evidence: the dual runs, slot 10 holds its result, slots 2 to 9 stay 0.
TEST_F(LevelLoopTest, K41LevelWithoutEvidence) {
  makeInputs(16, 16);
  const ChildResult r =
      run({"-dx", "16", "-dy", "16", "-nbItTrace", "0", "-nbItLbfgs", "3", "-lo", "2", "-GT", "true"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\nprecision 1e-10\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "\nnumber non zero elements: "));
  EXPECT_FALSE(contains(r.out, "Bayesian evidence"));
  EXPECT_LT(r.out.find("precision 1e-10"), r.out.find("number non zero elements: "));
  const std::vector<double> s = resultLine(0);
  EXPECT_NE(s[10], 0);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(s[i], 0) << "slot " << i;
  EXPECT_GT(s[11], 0);
  EXPECT_EQ(lines("out_UV_" + kTag + ".motion").size(), 2u + 16 * 16);
}

// -initHS: Horn & Schunck above level 0, K41 with evidence at level 0; slots 8 and 9 are 0 until the
// evidence first runs.
TEST_F(LevelLoopTest, InitialisationByHornAndSchunckThenK41WithEvidence) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-initHS", "true", "-multiresol", "2", "-nbItTrace", "2",
                             "-nbItLbfgs", "3", "-lo", "2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const size_t level0 = r.out.find("Resolution 0");
  ASSERT_NE(level0, std::string::npos);
  EXPECT_EQ(r.out.find("precision "), r.out.find("precision 1e-10"));  // only level 0 takes the K41 branch
  EXPECT_GT(r.out.find("precision 1e-10"), level0);
  const size_t ev = r.out.find("\nBayesian evidence\n");
  const size_t beta = r.out.find("max. evidence Beta = ");
  const size_t prior = r.out.find("\nNeglected prior energy: ");
  ASSERT_NE(ev, std::string::npos) << r.out;
  ASSERT_NE(beta, std::string::npos);
  ASSERT_NE(prior, std::string::npos);
  EXPECT_LT(ev, beta);
  EXPECT_LT(beta, prior);

  const std::vector<double> s1 = resultLine(1), s0 = resultLine(0);
  for (int i = 2; i < 20; ++i) EXPECT_EQ(s1[i], 0) << "level 1 slot " << i;
  EXPECT_EQ(s1[0], 0.02);
  for (int i = 2; i < 11; ++i) EXPECT_NE(s0[i], 0) << "level 0 slot " << i;
  const double betaPrinted = std::strtod(r.out.c_str() + beta + 21, nullptr);
  const double priorPrinted = std::strtod(r.out.c_str() + prior + 25, nullptr);
  EXPECT_NEAR(s0[9], betaPrinted, 1e-5 * std::fabs(betaPrinted));
  EXPECT_NEAR(s0[8], priorPrinted, 1e-5 * std::fabs(priorPrinted));
}

}  // namespace
