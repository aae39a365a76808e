// The coarse-to-fine loop through the program itself: levels run, printed lines, file names, result
// lines, the Horn & Schunck and K41 branches, ground-truth comparisons, hand-over and final outputs.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "dual/dual.h"
#include "io/io.h"
#include "support/expect.h"
#include "support/particles.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

const std::string kTag = "Gamma1.000000e-02Zeta1.000000e+00", kTable = "out_UV_" + kTag + ".motion";
const std::string kEnd = "\n\n ** End algorithm **\n";

class LevelLoopTest : public TempDirTest {
 protected:
  ParticlePair pair;

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // A particle pair of the given size with its true field as a motion table; list file "list".
  void makeInputs(int width, int height, double amplitude = 1.0, double period = 32.0) {
    ParticleImageSettings s;
    s.width = width, s.height = height, s.count = width * height / 12;
    VortexMotion m;
    m.amplitude = amplitude, m.period = period;
    pair = makeParticlePair(s, m);
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    captureStdout([&] { write_aMotionFile(dir + "/true.motion", pair.motion); });
    file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\n\n");
  }

  // A smooth texture moved by the uniform displacement (u, v), with its true field.
  void makeTranslatedInputs(int width, int height, double u, double v) {
    pair = makeTranslatedPair(width, height, u, v);
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    captureStdout([&] { write_aMotionFile(dir + "/true.motion", pair.motion); });
    file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\n\n");
  }

  ChildResult run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"-inPath", "list", "-pgm", "true"});
    return runProgram(dir, args);
  }

  std::vector<std::string> lines(const std::string& name) const { return readLines(dir + "/" + name); }

  // The single result line of a level: 20 tab-separated values.
  std::vector<double> resultLine(int r) const {
    const std::vector<std::string> l = lines("out_evidence_resol" + std::to_string(r));
    EXPECT_EQ(l.size(), 1u) << "level " << r;
    if (l.empty()) return std::vector<double>(20, NAN);
    EXPECT_EQ(std::count(l[0].begin(), l[0].end(), '\t'), 19) << l[0];
    const std::vector<double> v = splitTabbedNumbers(l[0]);
    EXPECT_EQ(v.size(), 20u) << l[0];
    return v.size() == 20 ? v : std::vector<double>(20, NAN);
  }

  CImg<double> readTable(const std::string& name, int width, int height) const {
    CImg<float> f;
    captureStdout([&] { f = read_aMotionFile(dir + "/" + name, width, height, width, 0, 0); });
    return f;
  }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Mean end-point error of an estimate against the truth over columns and lines off to size - off - 1.
double meanEndPoint(const CImg<double>& est, const CImg<double>& truth, int off) {
  double sum = 0;
  int n = 0;
  for (int y = off; y < est.height() - off; ++y)
    for (int x = off; x < est.width() - off; ++x, ++n)
      sum += std::hypot(est(x, y, 0) - truth(x, y, 0), est(x, y, 1) - truth(x, y, 1));
  return sum / n;
}

TEST_F(LevelLoopTest, OneLevelWritesEveryFinalOutput) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-alpha", "1000"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string stars(64, '*');
  EXPECT_TRUE(contains(r.out, stars + "\nResolution 0 (gamma: 0.01 zeta: 1)\n" + stars + "\nScale interval [neta,lo]=[1,4]\n"))
      << r.out;
  EXPECT_FALSE(contains(r.out, "Resolution 1") || contains(r.out, "precision"));  // no K41 branch
  EXPECT_TRUE(contains(r.out, kTable + "\n"));
  EXPECT_EQ(r.out.substr(r.out.size() - kEnd.size()), kEnd);
  EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"a.pgm", "b.pgm", "list", "out_DataOut_" + kTag + ".pgm",
                                                       "out_Im_dt.pgm", "out_Im_t.pgm", "out_S2_Cross_" + kTag,
                                                       "out_S2_HV_" + kTag, kTable, "out_evidence_resol0", "true.motion"}));
  const std::vector<std::string> table = lines(kTable);
  ASSERT_EQ(table.size(), 2u + 32 * 32);
  EXPECT_EQ(table[0], "32 32");
  EXPECT_FALSE(lines("out_S2_HV_" + kTag).empty() || lines("out_S2_Cross_" + kTag).empty());
  EXPECT_EQ(resultLine(0), (std::vector<double>{0.01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // The estimate follows the motion (a zero field scores the mean speed).
  EXPECT_LT(meanEndPoint(readTable(kTable, 32, 32), pair.motion, 4), 0.5 * meanEndPoint(pair.motion * 0.0, pair.motion, 4));
}

TEST_F(LevelLoopTest, StoppingAboveLevelZeroWritesOnlyResultLines) {
  makeInputs(64, 48);
  const ChildResult r = run({"-dx", "64", "-dy", "48", "-HS", "true", "-multiresol", "3", "-resolEnd", "2",
                             "-gamma", "0.5", "-power", "0.5", "-neta", "2", "-lo", "8"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const size_t at2 = r.out.find("Resolution 2 (gamma: 0.0625 zeta: 0.5)\n"), at1 = r.out.find("Resolution 1 (gamma: 0.176777 zeta: 0.5)\n");
  ASSERT_TRUE(at2 != std::string::npos && at1 != std::string::npos) << r.out;
  EXPECT_LT(at2, at1);  // coarsest first
  EXPECT_TRUE(contains(r.out, "Scale interval [neta,lo]=[1,2]\n") && contains(r.out, "Scale interval [neta,lo]=[1,4]\n"));
  EXPECT_FALSE(contains(r.out, "Resolution 0"));
  EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"a.pgm", "b.pgm", "list", "out_Im_dt.pgm", "out_Im_t.pgm",
                                                       "out_evidence_resol1", "out_evidence_resol2", "true.motion"}));
  const std::vector<double> s2 = resultLine(2), s1 = resultLine(1);
  EXPECT_TRUE(s2[0] == 0.0625 && s2[1] == 0.5 && s1[1] == 0.5);
  EXPECT_NEAR(s1[0], 0.5 * std::pow(2.0, -1.5), 1e-6);
  // A second run appends: two lines per file.
  ASSERT_EQ(run({"-dx", "64", "-dy", "48", "-HS", "true", "-multiresol", "3", "-resolEnd", "2"}).exitCode, 0);
  EXPECT_EQ(lines("out_evidence_resol2").size(), 2u);
}

TEST_F(LevelLoopTest, OffsetWithoutWholeImageSizeFallsBackToTheOrigin) {
  makeInputs(40, 40);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-ofx", "5", "-ofy", "3"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\nError in -ofx !! \n") && contains(r.out, "\nError in -ofy !! \n")) << r.out;
  CImg<short> window;
  captureStdout([&] { window = read_pgm(dir + "/out_Im_t.pgm", 32, 32, 0, 0); });
  EXPECT_TRUE(CImg<double>(window) == pair.first.get_crop(0, 0, 31, 31).round().cut(0, 255));
  EXPECT_EQ(lines(kTable).size(), 2u + 32 * 32);
}

// A window that the pyramid does not divide: padded to 64 x 64, compared on the 60 x 60 window.
TEST_F(LevelLoopTest, GroundTruthOnAPaddedSize) {
  makeInputs(60, 60, 1.5, 40.0);
  const ChildResult r = run({"-dx", "60", "-dy", "60", "-HS", "true", "-multiresol", "3", "-GT", "true", "-alpha", "1000"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "image size before 60 60, and after expanding 64 64\n"));
  for (const std::string name : {"out__trueS2_HV", "out__trueS2_Cross", "out_Barron.pgm", "out_EndPoint.pgm"})
    EXPECT_FALSE(readFileBytes(dir + "/" + name).empty()) << name;
  EXPECT_EQ(lines("out__true.motion").size(), 2u + 64 * 64);  // the padded field
  EXPECT_EQ(lines(kTable).size(), 2u + 60 * 60);
  for (int level : {2, 1}) {  // on the Horn & Schunck path only the final comparison fills slots 11 to 13
    const std::vector<double> s = resultLine(level);
    EXPECT_EQ(std::vector<double>(s.begin() + 2, s.end()), std::vector<double>(18, 0.0)) << level;
  }
  const std::vector<double> s0 = resultLine(0);
  const double epe = meanEndPoint(readTable(kTable, 60, 60), pair.motion, 0);
  EXPECT_NEAR(s0[11], epe, 1e-4 * epe + 1e-5);
  EXPECT_TRUE(s0[12] > 0 && s0[13] > 0);
  EXPECT_LT(epe, 0.5 * meanEndPoint(pair.motion * 0.0, pair.motion, 0));
  double e = 0, a = 0, rms = 0;
  ASSERT_TRUE(lastGroundTruthErrors(r.out, e, a, rms));
  EXPECT_NEAR(e, s0[11], 1e-5 * e);
  EXPECT_NEAR(a, s0[12], 1e-5 * a);
  EXPECT_NEAR(rms, s0[13], 1e-5 * rms);
}

// The comparison window leaves an -offGT border; one that leaves nothing is refused before any level.
TEST_F(LevelLoopTest, ComparisonWindowLeavesOffGTBorder) {
  makeInputs(32, 32);
  ASSERT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-GT", "true", "-offGT", "5"}).exitCode, 0);
  const CImg<double> est = readTable(kTable, 32, 32);
  const double epe = meanEndPoint(est, pair.motion, 5);
  EXPECT_NEAR(resultLine(0)[11], epe, 1e-4 * epe + 1e-5);
  EXPECT_NE(std::round(meanEndPoint(est, pair.motion, 0) * 1e5), std::round(epe * 1e5));
  const ChildResult narrow = run({"-dx", "31", "-dy", "32", "-Dx", "32", "-Dy", "32", "-HS", "true", "-GT", "true", "-offGT", "15"});
  EXPECT_EQ(narrow.exitCode, 0) << narrow.err;  // the largest border that leaves one column
  std::filesystem::remove(dir + "/out_evidence_resol0");
  for (const char* off : {"16", "40", "-1"}) {
    const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-GT", "true", "-offGT", off});
    expectRefusal(r, {"-offGT"});
    EXPECT_FALSE(contains(r.out, "Resolution 0"));
    EXPECT_TRUE(readFileBytes(dir + "/out_evidence_resol0").empty());
  }
  EXPECT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-offGT", "16"}).exitCode, 0);  // unused without -GT
}

// The data weights are recomputed between the solves only for the L1 (1) and Leclerc (0) norms; the
// divergence-free run writes the table before and after the projection (which removes the means).
TEST_F(LevelLoopTest, RobustReweightingAndDivergenceFreeRun) {
  makeInputs(32, 32);
  auto tableFor = [&](const char* norm) {
    EXPECT_EQ(run({"-dx", "32", "-dy", "32", "-HS", "true", "-norm", norm, "-sigma_obs", "5"}).exitCode, 0);
    return readFileBytes(dir + "/" + kTable);
  };
  const std::string l2 = tableFor("2"), other = tableFor("1.5"), three = tableFor("3"), l1 = tableFor("1"), leclerc = tableFor("0");
  ASSERT_FALSE(l2.empty());
  EXPECT_TRUE(other == l2 && three == l2 && l1 != l2 && leclerc != l2 && leclerc != l1);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-HS", "true", "-multiresol", "2", "-divZero", "true"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string withDiv = "out_UVwithDiv_" + kTag + ".motion";
  ASSERT_EQ(lines(withDiv).size(), 2u + 32 * 32);
  ASSERT_EQ(lines(kTable).size(), 2u + 32 * 32);
  EXPECT_LT(r.out.find(withDiv), r.out.find(kTable));  // written first
  const CImg<double> a = readTable(withDiv, 32, 32), b = readTable(kTable, 32, 32);
  EXPECT_TRUE(a != b);
  EXPECT_GT(std::fabs(a.get_slice(0).mean()) + std::fabs(a.get_slice(1).mean()), 1e-3);
  EXPECT_NEAR(b.get_slice(0).mean(), a.get_slice(0).mean(), 1e-5);  // the projection keeps the mean
  EXPECT_NEAR(b.get_slice(1).mean(), a.get_slice(1).mean(), 1e-5);
}

// The K41 branch without evidence: the dual runs, slot 10 holds its result, slots 2 to 9 stay 0.
TEST_F(LevelLoopTest, K41LevelWithoutEvidence) {
  makeInputs(16, 16);
  const ChildResult r = run({"-dx", "16", "-dy", "16", "-nbItTrace", "0", "-nbItLbfgs", "3", "-lo", "2", "-GT", "true"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\nprecision 1e-10\n") && contains(r.out, "\nnumber non zero elements: ")) << r.out;
  EXPECT_FALSE(contains(r.out, "Bayesian evidence"));
  EXPECT_LT(r.out.find("precision 1e-10"), r.out.find("number non zero elements: "));
  const std::vector<double> s = resultLine(0);
  EXPECT_EQ(std::vector<double>(s.begin() + 2, s.begin() + 10), std::vector<double>(8, 0.0));
  EXPECT_TRUE(s[10] != 0 && s[11] > 0);
  EXPECT_EQ(lines(kTable).size(), 2u + 16 * 16);
}

// -initHS: Horn & Schunck above level 0, K41 with evidence at level 0; slots 8 and 9 are 0 until the
// evidence first runs.
TEST_F(LevelLoopTest, InitialisationByHornAndSchunckThenK41WithEvidence) {
  makeInputs(32, 32);
  const ChildResult r = run({"-dx", "32", "-dy", "32", "-initHS", "true", "-multiresol", "2", "-nbItTrace", "2",
                             "-nbItLbfgs", "3", "-lo", "2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const size_t level0 = r.out.find("Resolution 0"), ev = r.out.find("\nBayesian evidence\n");
  const size_t beta = r.out.find("max. evidence Beta = "), prior = r.out.find("\nNeglected prior energy: ");
  ASSERT_TRUE(level0 != std::string::npos && ev != std::string::npos && beta != std::string::npos &&
              prior != std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("precision "), r.out.find("precision 1e-10"));  // only level 0 takes the K41 branch
  EXPECT_GT(r.out.find("precision 1e-10"), level0);
  EXPECT_TRUE(ev < beta && beta < prior);
  const std::vector<double> s1 = resultLine(1), s0 = resultLine(0);
  EXPECT_EQ(std::vector<double>(s1.begin() + 2, s1.end()), std::vector<double>(18, 0.0));
  EXPECT_EQ(s1[0], 0.005);
  for (int i = 2; i < 11; ++i) EXPECT_NE(s0[i], 0) << "level 0 slot " << i;
  const double betaPrinted = std::strtod(r.out.c_str() + beta + 21, nullptr), priorPrinted = std::strtod(r.out.c_str() + prior + 25, nullptr);
  EXPECT_NEAR(s0[9], betaPrinted, 1e-5 * std::fabs(betaPrinted));
  EXPECT_NEAR(s0[8], priorPrinted, 1e-5 * std::fabs(priorPrinted));
}

// A translation of several pixels is recovered only through the pyramid: each level's motion is
// doubled, upsampled and carried down, and image 2 alone is warped by it.
TEST_F(LevelLoopTest, TranslationIsRecoveredThroughTheHandOver) {
  makeTranslatedInputs(64, 64, 3.4, -2.2);
  auto epe = [&](const char* levels, const char* divZero = "false") {
    const ChildResult r = run({"-dx", "64", "-dy", "64", "-HS", "true", "-alpha", "1000", "-multiresol", levels,
                               "-divZero", divZero});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return meanEndPoint(readTable(kTable, 64, 64), pair.motion, 8);
  };
  EXPECT_LT(epe("3"), 0.05);
  EXPECT_LT(epe("3", "true"), 0.1);  // a uniform motion is divergence-free: the projection keeps it
  EXPECT_GT(epe("1"), 1.0);  // beyond the reach of one level
}

// -divZero on a periodic wide pair: the example pair (a divergence-free vortex pattern of period 128)
// tiled twice across into 256 x 128. The field is one period of a periodic divergence-free flow, so the
// projection at each hand-over and at the end keeps the true motion and removes only errors: 0.208 px
// without it, 0.084 px with it.
TEST_F(LevelLoopTest, DivergenceFreeRunOnAPeriodicWidePair) {
  const ParticlePair example = makeParticlePair(ParticleImageSettings(), VortexMotion());
  writePgm8(example.first.get_append(example.first, 'x'), dir + "/a.pgm");
  writePgm8(example.second.get_append(example.second, 'x'), dir + "/b.pgm");
  captureStdout([&] { write_aMotionFile(dir + "/true.motion", example.motion.get_append(example.motion, 'x')); });
  file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\n\n");
  auto epe = [&](const char* divZero) {
    const ChildResult r =
        run({"-dx", "256", "-dy", "128", "-HS", "true", "-multiresol", "3", "-GT", "true", "-divZero", divZero});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    double e = NAN, angular, rms;
    EXPECT_TRUE(lastGroundTruthErrors(r.out, e, angular, rms)) << r.out;
    return e;
  };
  const double without = epe("false"), with = epe("true");
  EXPECT_GT(without, 0.15);
  EXPECT_LT(with, 0.1);
}

// The end-point errors printed in `out` (the first number of each "End Point Error :" line).
std::vector<double> endPointErrors(const std::string& out) {
  std::vector<double> e;
  const std::string key = "End Point Error :";
  for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1))
    e.push_back(std::strtod(out.c_str() + at + key.size(), nullptr));
  return e;
}

// Image 2 is pre-shifted by -Umean: the written motion and every comparison with the true field hold
// the estimate plus the shift (the estimate alone scores 3 pixels), the dual's reports included. At
// level 1 the level-size comparison takes the truth in level pixels: its end-point error is half the
// full-size one, where each of the estimate's pixels is compared four times.
TEST_F(LevelLoopTest, PreShiftIsPartOfTheMotion) {
  makeTranslatedInputs(48, 48, 3.0, 0.4);
  const ChildResult r = run({"-dx", "48", "-dy", "48", "-multiresol", "2", "-nbItTrace", "0", "-nbItLbfgs", "10",
                             "-lo", "2", "-gamma", "1e-5", "-GT", "true", "-Umean", "3"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string tag = "Gamma1.000000e-05Zeta1.000000e+00";
  const CImg<double> table = readTable("out_UV_" + tag + ".motion", 48, 48);
  EXPECT_LT(meanEndPoint(table, pair.motion, 6), 0.15);  // the warp clamps the last columns of image 2
  const double epe = meanEndPoint(table, pair.motion, 0);
  EXPECT_NEAR(resultLine(0)[11], epe, 1e-4 * epe);

  const size_t at0 = r.out.find("Resolution 0");
  const std::vector<double> level1 = endPointErrors(r.out.substr(0, at0)), level0 = endPointErrors(r.out.substr(at0));
  ASSERT_TRUE(level1.size() >= 2 && level0.size() > 3) << r.out;
  const double full = level1[level1.size() - 2], level = level1.back();
  EXPECT_NEAR(full, 2 * level, 2e-5 * full);
  EXPECT_NEAR(resultLine(1)[11], level, 1e-5 * level);
  for (double e : level1) EXPECT_LT(e, 1.0);
  for (double e : level0) EXPECT_LT(e, 1.5);

  // The curves of the motion: a constant shift cancels in every increment.
  const CImg<double> hv = StructureFunction2nd_horiVertDir(table, 1, 23, false);
  const std::vector<std::string> curve = lines("out_S2_HV_" + tag);
  ASSERT_EQ(curve.size(), 24u);
  for (int l = 1; l < 24; ++l) EXPECT_NEAR(std::strtod(curve[l].c_str() + 2 + (l > 9), nullptr), hv(l), 1e-4 * hv(l)) << l;
}

// -sigBlur and -sigDiff enter the derivatives: each changes the result, which stays finite.
TEST_F(LevelLoopTest, BlurAndDiffusionChangeTheResult) {
  makeInputs(32, 32);
  auto table = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"-dx", "32", "-dy", "32", "-HS", "true", "-multiresol", "2"});
    EXPECT_EQ(run(extra).exitCode, 0);
    return readTable(kTable, 32, 32);
  };
  const CImg<double> plain = table({}), blurred = table({"-sigBlur", "1"}), diffused = table({"-sigDiff", "0.3"});
  for (const CImg<double>* t : {&plain, &blurred, &diffused}) EXPECT_TRUE(t->is_sameXYZC(32, 32, 2, 1) && std::isfinite(t->sum()));
  EXPECT_TRUE(blurred != plain && diffused != plain && diffused != blurred);
}

}  // namespace
