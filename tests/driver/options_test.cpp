#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/options.h"
#include "support/child_process.h"

namespace {

struct Args {
  std::vector<std::string> text;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : text(std::move(a)) {
    text.insert(text.begin(), "/some/dir/VorlaneRegMotion");
    for (std::string& s : text) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
  int argc() const { return (int)text.size(); }
  char** argv() { return ptrs.data(); }
};

struct Parsed {
  RunOptions opt;
  std::string out, err;
};

Parsed parse(std::vector<std::string> a) {
  Args args(std::move(a));
  Parsed p;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  p.opt = parseOptions(args.argc(), args.argv());
  p.out = testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

const char* const kHeadingsBeforeMisc =
    "\n--------------------------------------------------------\n"
    "---------------Input Parameters-------------------------\n"
    "--------------------------------------------------------\n"
    "\n--------------------------------------------------------\n"
    "---------------Options ---------------------------------\n"
    "--------------------------------------------------------\n"
    "--Mutiresolution pyramid --------------------------------------------------------\n"
    "--Data model --------------------------------------------------------------------\n"
    "--Optimization and Initialization------------------------------------------------ \n"
    "--ROI (cropping)-----------------------------------------------------------------\n";
const char* const kMiscHeading = "--MISC---------------------------------------------------------------------------- \n";

TEST(Options, DefaultsAndHeadings) {
  const Parsed p = parse({});
  EXPECT_EQ(p.out, std::string(kHeadingsBeforeMisc) + kMiscHeading);
  EXPECT_EQ(p.err, "");
  const RunOptions& o = p.opt;
  EXPECT_EQ(o.inPath, "inputVorlane");
  EXPECT_EQ(o.dx, 256);
  EXPECT_EQ(o.dy, 256);
  EXPECT_EQ(o.neta, 0);
  EXPECT_EQ(o.lo, 4);
  EXPECT_EQ(o.gamma, 0.01);
  EXPECT_EQ(o.power, 1.0);
  EXPECT_EQ(o.multiresol, 1);
  EXPECT_EQ(o.resolEnd, 1);
  EXPECT_EQ(o.norm, 2.0);
  EXPECT_EQ(o.sigma_obs, 50.0);
  EXPECT_EQ(o.sigBlur, 0.0);
  EXPECT_EQ(o.sigDiff, 0.0);
  EXPECT_EQ(o.offEdeges, 0);
  EXPECT_EQ(o.nbItTrace, 30);
  EXPECT_EQ(o.eps, 1e-10);
  EXPECT_EQ(o.nbItLbfgs, 10);
  EXPECT_EQ(o.Umean, 0.0);
  EXPECT_FALSE(o.HS);
  EXPECT_FALSE(o.initHS);
  EXPECT_EQ(o.alpha, 10.0);
  EXPECT_EQ(o.lambdaInit, 1.0);
  EXPECT_FALSE(o.lambdaInitFile);
  EXPECT_EQ(o.ofx, 0);
  EXPECT_EQ(o.ofy, 0);
  EXPECT_EQ(o.Dx, 256);
  EXPECT_EQ(o.Dy, 256);
  EXPECT_FALSE(o.pgm);
  EXPECT_FALSE(o.divZero);
  EXPECT_FALSE(o.GT);
  EXPECT_EQ(o.offGT, 0);
  EXPECT_EQ(o.dxOrig, 256);
  EXPECT_EQ(o.dyOrig, 256);
  EXPECT_EQ(o.MaxAll, 128);
  EXPECT_EQ(o.FactorRobParam, 1.0);
}

TEST(Options, DoublesAreSinglePrecisionRatios) {
  const Parsed p = parse({"-gamma", "1/100", "-power", "0.6666", "-eps", "2", "-Umean", "abc", "-alpha", "3/"});
  EXPECT_EQ(p.opt.gamma, 0.0099999997764825821);
  EXPECT_EQ(p.opt.gamma, (double)(1.0f / 100.0f));
  EXPECT_EQ(p.opt.power, (double)0.6666f);
  EXPECT_EQ(p.opt.eps, 2.0);
  EXPECT_EQ(p.opt.Umean, 0.0);
  EXPECT_EQ(p.opt.alpha, 3.0);
}

TEST(Options, IntsBoolsAndAnOptionGivenLast) {
  Parsed p = parse({"-dx", "12abc", "-dy", " -7", "-pgm", "off", "-GT", "0", "-HS", "FALSE", "-divZero", "yes"});
  EXPECT_EQ(p.opt.dx, 12);
  EXPECT_EQ(p.opt.dy, -7);
  EXPECT_FALSE(p.opt.pgm);
  EXPECT_FALSE(p.opt.GT);
  EXPECT_FALSE(p.opt.HS);
  EXPECT_TRUE(p.opt.divZero);
  p = parse({"-dx", "40", "-pgm"});
  EXPECT_TRUE(p.opt.pgm);
  EXPECT_EQ(p.opt.dx, 40);
  p = parse({"-pgm", "true", "-dx"});
  EXPECT_EQ(p.opt.dx, 0);
  p = parse({"-gamma"});
  EXPECT_EQ(p.opt.gamma, 0.0);
  p = parse({"-inPath"});
  EXPECT_EQ(p.opt.inPath, "-inPath");
  // The first argument equal to the name counts.
  p = parse({"-lo", "7", "-lo", "9"});
  EXPECT_EQ(p.opt.lo, 7);
}

TEST(Options, HelpGoesToStandardErrorAndTheRunGoesOn) {
  for (const char* h : {"-h", "-help", "--help"}) {
    const Parsed p = parse({h, "-dx", "64"});
    EXPECT_EQ(p.out, std::string(kHeadingsBeforeMisc) + kMiscHeading);
    EXPECT_EQ(p.opt.dx, 64);
    EXPECT_NE(p.err.find("VorlaneRegMotion: Optic flow estimation with K41 regularization. "), std::string::npos)
        << p.err;
    for (const char* name : {"-inPath", "-dy", "-dx", "-gamma", "-multiresol", "-offEdeges", "-lambdaInitFile",
                             "-Dy", "-pgm", "-offGT"})
      EXPECT_NE(p.err.find(name), std::string::npos) << name;
    EXPECT_NE(p.err.find("image column number"), std::string::npos);
    EXPECT_NE(p.err.find("64"), std::string::npos);
    EXPECT_LT(p.err.find("-inPath"), p.err.find("-offGT"));
  }
}

TEST(Options, OffsetWithoutWholeImageSizeIsReportedAndReset) {
  Parsed p = parse({"-ofx", "5", "-dx", "100"});
  EXPECT_EQ(p.out, std::string(kHeadingsBeforeMisc) + "Error in -ofx !! \n" + kMiscHeading);
  EXPECT_EQ(p.opt.ofx, 0);
  EXPECT_EQ(p.opt.Dx, 100);
  EXPECT_FALSE(p.opt.DxGiven);
  p = parse({"-ofy", "-2", "-dy", "30"});
  EXPECT_EQ(p.out, std::string(kHeadingsBeforeMisc) + "Error in -ofy !! \n" + kMiscHeading);
  EXPECT_EQ(p.opt.ofy, 0);
  EXPECT_EQ(p.opt.Dy, 30);
  p = parse({"-ofx", "5", "-Dx", "300", "-ofy", "6", "-Dy", "200"});
  EXPECT_EQ(p.out, std::string(kHeadingsBeforeMisc) + kMiscHeading);
  EXPECT_EQ(p.opt.ofx, 5);
  EXPECT_EQ(p.opt.ofy, 6);
  EXPECT_EQ(p.opt.Dx, 300);
  EXPECT_EQ(p.opt.Dy, 200);
  EXPECT_TRUE(p.opt.DxGiven);
}

TEST(Options, DerivedConstants) {
  Parsed p = parse({"-dx", "101", "-dy", "61", "-norm", "1", "-sigma_obs", "50"});
  EXPECT_EQ(p.opt.MaxAll, 30);
  EXPECT_EQ(p.opt.dxOrig, 101);
  EXPECT_EQ(p.opt.FactorRobParam, 0.5 / 50.0);
  p = parse({"-norm", "0", "-sigma_obs", "3"});
  EXPECT_EQ(p.opt.FactorRobParam, std::pow(3.0, -2.0));
  p = parse({"-norm", "1.5", "-sigma_obs", "3"});
  EXPECT_EQ(p.opt.FactorRobParam, 1.0);
}

void expectRefused(std::vector<std::string> a, const std::string& option) {
  Args args(std::move(a));
  const ChildResult r = runInChild([&] { refuseInvalidOptions(parseOptions(args.argc(), args.argv())); });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 1) << option;
  EXPECT_EQ(r.err.rfind("Option " + option + ": ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

void expectAccepted(std::vector<std::string> a) {
  Args args(std::move(a));
  const ChildResult r = runInChild([&] { refuseInvalidOptions(parseOptions(args.argc(), args.argv())); });
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST(Options, ValuesThatIndexMissingEntriesAreRefused) {
  expectRefused({"-multiresol", "0"}, "-multiresol");
  expectRefused({"-multiresol", "8"}, "-multiresol");
  expectRefused({"-resolEnd", "0"}, "-resolEnd");
  expectRefused({"-dx", "0"}, "-dx");
  expectRefused({"-dy", "-3"}, "-dy");
  expectRefused({"-ofx", "-1", "-Dx", "300"}, "-ofx");
  expectRefused({"-ofy", "-1", "-Dy", "300"}, "-ofy");
  expectRefused({"-norm", "0", "-sigma_obs", "0"}, "-sigma_obs");
  expectRefused({"-norm", "1", "-sigma_obs", "0"}, "-sigma_obs");
  expectRefused({"-norm", "0.5", "-sigma_obs", "0"}, "-sigma_obs");  // integer part 0
  expectRefused({"-norm", "1.5", "-sigma_obs", "-2"}, "-sigma_obs");  // integer part 1
  expectRefused({"-norm", "1", "-sigma_obs", "-2"}, "-sigma_obs");
  expectRefused({"-norm", "1e30"}, "-norm");
  expectRefused({"-nbItTrace", "-1"}, "-nbItTrace");
}

TEST(Options, DocumentedValuesAreAccepted) {
  expectAccepted({});
  expectAccepted({"-multiresol", "7", "-resolEnd", "9"});  // no level runs
  expectAccepted({"-multiresol", "1", "-dx", "1", "-dy", "1"});
  expectAccepted({"-norm", "2", "-sigma_obs", "0"});
  expectAccepted({"-norm", "0", "-sigma_obs", "-2"});  // Leclerc squares it
  expectAccepted({"-ofx", "-4"});                       // reset to 0 by the offset check
  expectAccepted({"-nbItTrace", "0"});
}

}  // namespace
