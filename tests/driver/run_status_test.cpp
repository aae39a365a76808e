// How a run ends: the exit status of a final motion that is not an estimate, and memory shortages and
// other escaping exceptions reported as one line.
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/run_status.h"
#include "support/expect.h"

using namespace cimg_library;

namespace {

// The exit status and standard error of exitStatusOf(run), in a child process.
ChildResult statusOf(const std::function<int()>& run) {
  return runInChild([&] { std::exit(exitStatusOf(run)); });
}

TEST(RunStatus, EscapingFailuresEndWithOneLine) {
  const struct {
    std::function<int()> run;
    std::string line;
  } cases[] = {
      {[] {
         runStep("reading the input images", [] { throw std::bad_alloc(); });
         return 0;
       },
       "VorlaneRegMotion: out of memory while reading the input images\n"},
      {[] {  // the inner step names the shortage
         runStep("estimating level 2", [] { runStep("building the pyramids", [] { throw std::bad_alloc(); }); });
         return 0;
       },
       "VorlaneRegMotion: out of memory while building the pyramids\n"},
      {[] {  // the image library's allocation failure
         runStep("allocating the pyramids", [] {
           throw CImgInstanceException("CImg<float64>::assign(): Failed to allocate memory (64 Gio) for image.");
         });
         return 0;
       },
       "VorlaneRegMotion: out of memory while allocating the pyramids\n"},
      {[]() -> int { throw std::bad_alloc(); }, "VorlaneRegMotion: out of memory\n"},
      {[] {  // other exceptions pass a step unchanged
         runStep("reading the input images", [] { throw CImgIOException("load_tiff(): Failed to open file 'x'."); });
         return 0;
       },
       "VorlaneRegMotion: load_tiff(): Failed to open file 'x'.\n"},
      {[]() -> int { throw std::length_error("vector too long"); }, "VorlaneRegMotion: vector too long\n"}};
  for (const auto& c : cases) {
    const ChildResult r = statusOf(c.run);
    EXPECT_TRUE(r.exited && r.exitCode == 1) << r.err;
    EXPECT_EQ(r.err, c.line);
  }
  const ChildResult ok = statusOf([] { return 2; });
  EXPECT_TRUE(ok.exited && ok.exitCode == 2 && ok.err.empty());
}

// A run state whose last level is `r`, with a finite motion of 6 x 4 (window 5 x 3 at level 0).
RunState lastLevel(int r) {
  RunState s;
  s.opt.dxOrig = 5, s.opt.dyOrig = 3;
  s.lastLevel = r;
  s.lastLevelSolved = true;
  s.X.assign(6, 4, 2, 1, 0.25);
  s.pyrXinc.assign(8);
  s.pyrXtil.assign(8);
  s.pyrXinc[r].assign(3, 2, 2, 1, 0.5);
  s.pyrXtil[r].assign(3, 2, 2, 1, 1.0);
  s.pyrOut.assign(8);
  s.pyrOut[r].assign(3, 2, 1, 1, 0.0);
  s.pyrOut[r](2, 1) = 0.5;
  return s;
}

TEST(RunStatus, FinalMotionThatIsNotAnEstimateGivesStatusTwo) {
  const std::string noSolve = "VorlaneRegMotion: no converged primal solve gave the motion of level 0: the final "
                              "motion is not an estimate\n",
                    notFinite = "VorlaneRegMotion: the final motion holds values that are not finite numbers: it "
                                "is not an estimate\n",
                    tooLong = "VorlaneRegMotion: the final motion's largest displacement, 5.01623 px (the -Umean "
                              "pre-shift left out), is larger than the window's larger side, 5 px: it is not an "
                              "estimate\n",
                    noData = "VorlaneRegMotion: the data weights of level 0 are 0 at every pixel: the final motion "
                             "is not an estimate\n";
  const double nan = std::numeric_limits<double>::quiet_NaN();
  RunState s = lastLevel(0);
  const struct {
    std::function<void(RunState&)> change;
    int status;
    std::string err;
  } cases[] = {{[](RunState&) {}, 0, ""},
               {[](RunState& t) { t.lastLevel = -1, t.lastLevelSolved = false; }, 0, ""},  // no level ran
               {[](RunState& t) { t.lastLevelSolved = false; }, 2, noSolve},
               {[&](RunState& t) { t.X(4, 2, 1) = nan; }, 2, notFinite},
               {[](RunState& t) { t.X(0, 0, 0) = -INFINITY; }, 2, notFinite},
               {[](RunState& t) { t.X(1, 1, 0) = 1e39; }, 2, notFinite},  // infinite in the written table
               {[&](RunState& t) { t.X(5, 3, 1) = nan; }, 0, ""},          // padding, not written
               {[&](RunState& t) { t.lastLevelSolved = false, t.X(0, 0, 0) = nan; }, 2, noSolve},
               // Longer than the window's larger side (5) unless the pre-shift is left out; no data weight.
               {[](RunState& t) { t.X(4, 2, 1) = 5.01; }, 2, tooLong},
               {[](RunState& t) { t.X.get_shared_slice(0).fill(9), t.opt.Umean = 8.75; }, 0, ""},
               {[](RunState& t) { t.pyrOut[0](2, 1) = 0; }, 2, noData}};
  for (const auto& c : cases) {
    RunState t = s;
    c.change(t);
    const ChildResult r = runInChild([&] { std::exit(finalMotionStatus(t)); });
    EXPECT_TRUE(r.exited && r.exitCode == c.status) << r.err;
    EXPECT_EQ(r.err, c.err);
  }
  // Above level 0 the total motion of the level counts, in full-resolution pixels (|(1.5, 1.5)| x 2^2).
  RunState upper = lastLevel(2);
  EXPECT_NE(runInChild([&] { std::exit(finalMotionStatus(upper)); }).err.find("displacement, 8.48528 px"), std::string::npos);
  upper.pyrXtil[2](2, 1, 0) = nan;
  const ChildResult r = runInChild([&] { std::exit(finalMotionStatus(upper)); });
  EXPECT_TRUE(r.exited && r.exitCode == 2);
  EXPECT_EQ(r.err, notFinite);
  upper.lastLevelSolved = false;
  EXPECT_NE(runInChild([&] { std::exit(finalMotionStatus(upper)); }).err.find("level 2"), std::string::npos);
}

}  // namespace
