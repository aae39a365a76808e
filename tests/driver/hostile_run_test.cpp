// Whole runs on hostile input, one table per family: impossible or non-numeric options, malformed
// inputs, runs whose final motion is not an estimate, and a run that runs out of memory. Each ends
// with its exit status and one line on standard error naming the cause; none crashes, hangs or
// leaves NaN with status 0.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "driver/options.h"
#include "driver/output_names.h"
#include "io/io.h"
#include "support/expect.h"
#include "support/hostile_files.h"
#include "support/particles.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

const std::string kTable = "out_UV_Gamma1.000000e-02Zeta1.000000e+00.motion";

class HostileRun : public TempDirTest {
 protected:
  void SetUp() override {
    ParticleImageSettings s;
    s.width = s.height = 32, s.count = 90;
    VortexMotion m;
    m.period = 32;
    const ParticlePair pair = makeParticlePair(s, m);
    writePgm8(pair.first, dir + "/a.pgm");
    writePgm8(pair.second, dir + "/b.pgm");
    captureStdout([&] { write_aMotionFile(dir + "/true.motion", pair.motion); });
    file("lambda.txt", "1 1\n1 1\n1 1\n1 1\n1 1\n");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // A run on 32 x 32 windows of the PGM images named by the list file "list"; the first value of an
  // option counts, so `args` come first (and may switch to TIFF). With a file-size limit, see
  // runProgramAt.
  ChildResult run(std::vector<std::string> args, long fileSizeLimit = 0, bool fileSizeSignal = false) const {
    args.insert(args.end(), {"-inPath", "list", "-dx", "32", "-dy", "32", "-nbItTrace", "0", "-pgm", "true"});
    return runProgramAt(VRM_PROGRAM, dir, args, 0, fileSizeLimit, fileSizeSignal);
  }
};

TEST_F(HostileRun, ImpossibleOrNonNumericOptionsAreRefusedAtStartUp) {
  file("list", "a.pgm\nb.pgm\nout_\n");
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> parts;
  } cases[] = {
      {{"-lo", "100000"}, {"Option -lo: 100000 gives level 0 (32 x 32 pixels)", "allowed here is 15"}},
      {{"-neta", "20"}, {"Option -neta: 20 gives level 0", "allowed here is 15"}},
      {{"-lo", "16", "-multiresol", "3"}, {"Option -lo: 16 gives level 2 (8 x 8 pixels) the largest lag 4", "is 15"}},
      {{"-gamma", "0/0"}, {"Option -gamma: '0/0' is not a finite number"}},
      {{"-power", "inf"}, {"Option -power: 'inf' is not a finite number"}},
      {{"-dx", "1e3"}, {"Option -dx: '1e3' is not an integer"}},
      {{"-HS", "true", "-alpha", "abc"}, {"Option -alpha: 'abc' is not a finite number"}},
      {{"-HS", "true", "-alpha", "0"}, {"Option -alpha: must be positive"}},
      {{"-initHS", "true", "-multiresol", "2", "-alpha", "-1"}, {"Option -alpha: must be positive"}},
      {{"-gamma", "0"}, {"Option -gamma: must be positive"}},
      {{"-dx", "131073", "-dy", "2"}, {"Option -dx: must be at most 32767 (given 131073)"}},
      {{"-nbItLbfgs", "0"}, {"Option -nbItLbfgs: the line-search limit", "at least 1", "(given 0)"}},
      {{"-eps", "-1"}, {"Option -eps: the precision of the dual optimisation must not be negative"}},
      {{"-offEdeges", "-2147483648"}, {"Option -offEdeges: must be at least 0 (given -2147483648)"}},
      {{"-offEdeges", "16"}, {"Option -offEdeges: 16 leaves no pixel of the data term at level 0", "allowed here is 15"}},
      {{"-dx", "31", "-offEdeges", "16"}, {"at level 0 (31 x 32 pixels)", "allowed here is 15"}},  // padded to 32
      {{"-HS", "true", "-offEdeges", "8", "-multiresol", "2"}, {"at level 1 (16 x 16 pixels)", "allowed here is 7"}}};
  for (const auto& c : cases) {
    const ChildResult r = run(c.args);
    expectRefusal(r, c.parts);
    EXPECT_EQ(r.out.find("Resolution"), std::string::npos) << "refused before any level";
  }
}

// The notices of the command line reach standard error before anything else: before a refusal of
// the options, and in a run that goes on.
TEST_F(HostileRun, CommandLineNoticesArePrinted) {
  file("list", "a.pgm\nb.pgm\nout_\n");
  const std::string misspelt = "Argument '-multiresolution' is not an option name: it is ignored, and so is the "
                               "argument after it, '3' (did you mean -multiresol, the number of pyramid levels?)\n",
                    vmean = "Argument '-Vmean' is not an option name: it is ignored, and so is the argument after "
                            "it, '2' (did you mean -Umean, the horizontal pre-shift?)\n",
                    nein = "Option -GT: 'nein' is not a yes/no word: it is read as on; false, off, no or 0 (any "
                           "case) turn it off\n",
                    refused = "Option -dx: must be at least 1 (given 0)\n";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {{{"-multiresolution", "3", "-dx", "0"}, 1, misspelt + refused},
               {{"-Vmean", "2", "-GT", "nein", "-dx", "0"}, 1, nein + vmean + refused},
               {{"-multiresolution", "3", "-HS", "true"}, 0, misspelt},
               {{"-HS", "true", "-GT", "no"}, 0, ""}};
  for (const auto& c : cases) {
    const ChildResult r = run(c.args);
    EXPECT_TRUE(r.exited && r.exitCode == c.exitCode) << r.err;
    EXPECT_EQ(r.err, c.err);
  }
}

// The readers' refusals are tested one by one beside them; here, that a run reaches them and ends
// with their line, and that a list written with "\r\n" gives outputs named without a carriage return.
TEST_F(HostileRun, MalformedInputsEndTheRunWithTheReadersLine) {
  TiffLayout pastEnd;
  pastEnd.width = pastEnd.height = 32, pastEnd.pixels = std::string(32 * 32, '\x40'), pastEnd.pixelOffset = 1 << 20;
  file("pastend.tif", tiffBytes(pastEnd));
  file("ascii.pgm", "P2\n32 32\n255\n" + std::string(32 * 32 * 2, '1'));
  file("nan_lambda.txt", "1 1\n1 1\nnan 1\n1 1\n1 1\n");
  ASSERT_EQ(mkfifo((dir + "/fifo.pgm").c_str(), 0600), 0);  // without a writer, opening it would block
  const struct {
    std::string list;
    std::vector<std::string> args, parts;
  } cases[] = {{"pastend.tif\nb.pgm\nout_\n", {"-pgm", "false"}, {"TIFF file 'pastend.tif'", "does not decode"}},
               {"ascii.pgm\nb.pgm\nout_\n", {}, {"PGM file 'ascii.pgm'", "magic"}},
               {"a.pgm\nb.pgm\nout_\n\nnan_lambda.txt\n", {"-lambdaInitFile", "true"}, {"nan_lambda.txt", "line 3"}},
               {"a.pgm\nfifo.pgm\nout_\n", {}, {"PGM file 'fifo.pgm': is a FIFO"}},
               {"a.pgm\nb.pgm\nout_\ntrue.motion\n", {"-GT", "true", "-dx", "30", "-dy", "30"},
                {"'true.motion': the table has 32 columns, not the 30 asked for: a true motion table covers the "
                 "whole image, -Dx columns (give -Dx and -Dy, the image's width and height, when the -dx x -dy "
                 "window is not the whole image)"}}};
  for (const auto& c : cases) {
    file("list", c.list);
    expectRefusal(run(c.args), c.parts);
  }
  file("list", "a.pgm\r\nb.pgm\r\nout_\r\ntrue.motion\r\nlambda.txt\r\n");
  const ChildResult r = run({"-HS", "true", "-GT", "true", "-lambdaInitFile", "true"});
  EXPECT_TRUE(r.exited && r.exitCode == 0) << r.err;
  for (const std::string& name : listFolder(dir)) EXPECT_EQ(name.find('\r'), std::string::npos) << name;
  EXPECT_EQ(readLines(dir + "/" + kTable).size(), 2u + 32 * 32);
}

TEST_F(HostileRun, FinalMotionThatIsNotAnEstimateEndsWithStatusTwo) {
  // A pair with noise everywhere, where no residual of the data term is 0.
  const std::string examples = std::string(VRM_SOURCE_DIR) + "/examples/particles_",
                    noisy = examples + "t.pgm\n" + examples + "dt.pgm\nout_\n";
  const std::string noSolve = "VorlaneRegMotion: no converged primal solve gave the motion of level 0: the final "
                              "motion is not an estimate\n",
                    notFinite = "VorlaneRegMotion: the final motion holds values that are not finite numbers: it "
                                "is not an estimate\n",
                    tooLong = "VorlaneRegMotion: the final motion's largest displacement, ",
                    tooLongEnd = " px (the -Umean pre-shift left out), is larger than the window's larger side, 32 "
                                 "px: it is not an estimate\n";
  const struct {
    std::vector<std::string> args;
    std::string line, end = "";  // the whole line, or its beginning and end around the displacement
    std::string list = "a.pgm\nb.pgm\nout_\n";
  } cases[] = {{{"-lambdaInit", "0"}, noSolve},
               {{"-HS", "true", "-alpha", "1e-30"}, noSolve},
               {{"-sigDiff", "1e30"}, notFinite},
               {{"-HS", "true", "-sigDiff", "1e30"}, notFinite},
               {{"-lambdaInit", "-5"}, tooLong, tooLongEnd},
               {{"-sigDiff", "2147483647"}, tooLong, tooLongEnd},
               {{"-sigBlur", "1e6"}, tooLong, tooLongEnd},
               {{"-norm", "0", "-sigma_obs", "1e-30"},
                "VorlaneRegMotion: the data weights of level 0 are 0 at every pixel: the final motion is not an "
                "estimate\n", "", noisy}};
  for (const auto& c : cases) {
    std::filesystem::remove(dir + "/" + kTable);
    file("list", c.list);
    const ChildResult r = run(c.args);
    EXPECT_TRUE(r.exited && r.exitCode == 2) << c.args[0] << " " << c.args[1] << ": " << r.err;
    const size_t tail = r.err.size() - std::min(r.err.size(), c.end.size());
    EXPECT_TRUE(c.end.empty() ? r.err == c.line
                              : r.err.rfind(c.line, 0) == 0 && r.err.find('\n') == r.err.size() - 1 &&
                                    r.err.compare(tail, std::string::npos, c.end) == 0)
        << r.err;
    // The outputs are still written, and the run ends as usual.
    EXPECT_EQ(readLines(dir + "/" + kTable).size(), 2u + 32 * 32);
    EXPECT_NE(r.out.find("** End algorithm **"), std::string::npos);
  }
  // A motion estimate: status 0, no line.
  file("list", "a.pgm\nb.pgm\nout_\n");
  const ChildResult ok = run({});
  EXPECT_TRUE(ok.exited && ok.exitCode == 0 && ok.err.empty()) << ok.err;
}

// A write that fails (a file-size limit standing in for a full disk) ends the run with one line naming
// the file and the system's reason; the file of that name keeps what it held, and no temporary file is
// left behind, also when the limit's signal ends the run.
TEST_F(HostileRun, FailedWritesLeaveOutputsWholeOrAbsent) {
  file("list", "a.pgm\nb.pgm\nout_\n");
  const struct {
    long limit;          // file-size limit in bytes (0: none)
    bool bySignal;       // SIGXFSZ left to end the run
    std::string output, before, reason;  // the output that fails, what its name held before, the reason
  } cases[] = {{512, false, "out_Im_t.pgm", "", "File too large"},
               {16384, false, kTable, "old table\n", "File too large"},
               {16384, true, kTable, "old table\n", ""},
               {30010, false, "out_evidence_resol0", std::string(30000, 'x'), "File too large"}};
  for (const auto& c : cases) {
    for (const std::string& name : listFolder(dir))
      if (name.rfind("out_", 0) == 0) std::filesystem::remove_all(dir + "/" + name);
    const std::string path = dir + "/" + c.output;
    if (!c.before.empty()) file(c.output, c.before);
    const ChildResult r = run({}, c.limit, c.bySignal);
    EXPECT_EQ(r.exited, !c.bySignal) << c.output;
    if (!c.bySignal) expectRefusal(r, {"Output '" + c.output + "': could not be written (" + c.reason + ")"});
    EXPECT_EQ(std::filesystem::exists(path) ? readFileBytes(path) : "(absent)", c.before.empty() ? "(absent)" : c.before);
    for (const std::string& name : listFolder(dir)) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

// An output that would be the same file as an input is refused before anything is written, naming
// both: by its name, through a link, by another spelling of the path, or a name the run would create
// before reading it.
TEST_F(HostileRun, OutputThatIsAnInputIsRefusedAtStartUp) {
  namespace fs = std::filesystem;
  fs::create_directory(dir + "/sub");
  fs::copy_file(dir + "/a.pgm", dir + "/out_Im_t.pgm");
  fs::copy_file(dir + "/b.pgm", dir + "/sub/Im_dt.pgm");
  fs::copy_file(dir + "/b.pgm", dir + "/toBeErasedEndPoint.pgm");
  fs::copy_file(dir + "/lambda.txt", dir + "/out_evidence_resol0");
  fs::create_symlink("b.pgm", dir + "/out_DataOut_Gamma1.000000e-02Zeta1.000000e+00.pgm");
  const struct {
    std::string list;
    std::vector<std::string> args;
    std::string output, input;  // "Output '<output>' would be the same file as <input>"
  } cases[] = {
      {"out_Im_t.pgm\nb.pgm\nout_\n", {}, "out_Im_t.pgm", "image 1 'out_Im_t.pgm'"},
      {"a.pgm\n./sub/../sub/Im_dt.pgm\nsub/\n", {}, "sub/Im_dt.pgm", "image 2 './sub/../sub/Im_dt.pgm'"},
      {"a.pgm\nb.pgm\nout_\n", {}, "out_DataOut_Gamma1.000000e-02Zeta1.000000e+00.pgm", "image 2 'b.pgm'"},
      {"a.pgm\nb.pgm\nout_\nout_Im_dt.pgm\n", {"-GT", "true"}, "out_Im_dt.pgm", "the true motion table"},
      {"a.pgm\nb.pgm\nout_\n\nout_evidence_resol0\n", {"-lambdaInitFile", "true"}, "out_evidence_resol0",
       "the multiplier file 'out_evidence_resol0'"},
      {"a.pgm\ntoBeErasedEndPoint.pgm\nout_\ntrue.motion\n", {"-GT", "true"}, "toBeErasedEndPoint.pgm", "image 2"},
      {"a.pgm\nb.pgm\nlist\n", {"-inPath", "listevidence_resol0"}, "listevidence_resol0", "the list file"}};
  auto files = [&] {
    std::vector<std::string> named;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (!e.is_directory()) named.push_back(e.path().string() + ": " + readFileBytes(e.path()));
    std::sort(named.begin(), named.end());
    return named;
  };
  for (const auto& c : cases) {
    file("list", c.list);
    file("listevidence_resol0", c.list);
    const std::vector<std::string> before = files();
    expectRefusal(run(c.args), {"Output '" + c.output + "' would be the same file as " + c.input});
    EXPECT_EQ(files(), before) << "nothing written";
  }
}

// The outputs that the start-up check compares with the inputs are the files that the run writes.
TEST_F(HostileRun, OutputNamesAreTheFilesTheRunWrites) {
  file("list", "a.pgm\nb.pgm\nout_\ntrue.motion\n");
  const std::vector<std::string> inputs = listFolder(dir);
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"-GT", "true"}, {"-GT", "true", "-HS", "true", "-divZero", "true"},
           {"-GT", "true", "-initHS", "true", "-multiresol", "3", "-resolEnd", "2"}}) {
    for (const std::string& name : listFolder(dir))
      if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) std::filesystem::remove(dir + "/" + name);
    ASSERT_EQ(run(args).exitCode, 0);
    args.insert(args.begin(), "VorlaneRegMotion");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    RunOptions o;
    captureStdout([&] { o = parseOptions((int)argv.size(), argv.data()); });
    std::vector<std::string> names = runOutputNames(o, "out_"), written, all = listFolder(dir);
    std::sort(names.begin(), names.end());
    std::set_difference(all.begin(), all.end(), inputs.begin(), inputs.end(), std::back_inserter(written));
    EXPECT_EQ(written, names);
  }
}

TEST_F(HostileRun, RunningOutOfMemoryIsOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
  ParticleImageSettings s;
  s.width = s.height = 2048, s.count = 10;
  writePgm8(makeParticlePair(s, VortexMotion()).first, dir + "/big.pgm");
  file("list", "big.pgm\nbig.pgm\nout_\n");
  const ChildResult r = runProgram(dir, {"-inPath", "list", "-pgm", "true", "-dx", "2048", "-dy", "2048"}, 400L << 20);
  expectRefusal(r, {"VorlaneRegMotion: out of memory while "});
}

}  // namespace
