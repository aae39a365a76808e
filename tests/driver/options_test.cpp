// The command line: defaults, headings, parser rules, help, offset check, derived constants, refusals.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/options.h"
#include "support/expect.h"

namespace {

struct Args {
  std::vector<std::string> text;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : text(std::move(a)) {
    text.insert(text.begin(), "/some/dir/VorlaneRegMotion");
    for (std::string& s : text) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
};

struct Parsed {
  RunOptions opt;
  std::string out, err;
};

Parsed parse(std::vector<std::string> a) {
  Args args(std::move(a));
  Parsed p;
  testing::internal::CaptureStderr();
  p.out = captureStdout([&] { p.opt = parseOptions((int)args.text.size(), args.ptrs.data()); });
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

const std::string kBar = "--------------------------------------------------------\n";
const std::string kHeadings = "\n" + kBar + "---------------Input Parameters-------------------------\n" + kBar + "\n" + kBar +
                              "---------------Options ---------------------------------\n" + kBar +
                              "--Mutiresolution pyramid --------------------------------------------------------\n"
                              "--Data model --------------------------------------------------------------------\n"
                              "--Optimization and Initialization------------------------------------------------ \n"
                              "--ROI (cropping)-----------------------------------------------------------------\n";
const std::string kMisc = "--MISC---------------------------------------------------------------------------- \n";

TEST(Options, DefaultsAndHeadings) {
  const Parsed p = parse({});
  EXPECT_EQ(p.out, kHeadings + kMisc);
  EXPECT_EQ(p.err, "");
  const RunOptions& o = p.opt;
  EXPECT_EQ(o.inPath, "inputVorlane");
  EXPECT_EQ((std::vector<double>{(double)o.dx, (double)o.dy, (double)o.neta, (double)o.lo, o.gamma, o.power,
                                 (double)o.multiresol, (double)o.resolEnd, o.norm, o.sigma_obs, o.sigBlur, o.sigDiff,
                                 (double)o.offEdeges, (double)o.nbItTrace, o.eps, (double)o.nbItLbfgs, o.Umean,
                                 o.alpha, o.lambdaInit, (double)o.ofx, (double)o.ofy, (double)o.Dx, (double)o.Dy,
                                 (double)o.offGT, (double)o.dxOrig, (double)o.dyOrig, (double)o.MaxAll,
                                 o.FactorRobParam}),
            (std::vector<double>{256, 256, 0, 4, 0.01, 1, 1, 1, 2, 50, 0, 0, 0, 30, 1e-10, 10, 0, 10, 1, 0, 0, 256, 256,
                                 0, 256, 256, 128, 1}));
  EXPECT_FALSE(o.HS || o.initHS || o.lambdaInitFile || o.pgm || o.divZero || o.GT);
}

TEST(Options, ParserRules) {
  // A double is a single-precision ratio "a/b".
  Parsed p = parse({"-gamma", "1/100", "-power", "0.6666", "-eps", "2", "-Umean", " -1.5 ", "-alpha", "3/ 4"});
  EXPECT_EQ(p.opt.gamma, 0.0099999997764825821);
  EXPECT_EQ((std::vector<double>{p.opt.power, p.opt.eps, p.opt.Umean, p.opt.alpha}),
            (std::vector<double>{(double)0.6666f, 2, -1.5, 0.75}));
  EXPECT_EQ(p.opt.numberTextProblem, "");
  // Ints are decimal integers; yes/no options: see YesNoWords.
  p = parse({"-dx", "+12", "-dy", " -7", "-pgm", "off", "-GT", "0", "-HS", "FALSE", "-divZero", "yes"});
  EXPECT_TRUE(p.opt.dx == 12 && p.opt.dy == -7 && !p.opt.pgm && !p.opt.GT && !p.opt.HS && p.opt.divZero);
  // An option given last takes its own name; the first argument equal to the name counts.
  p = parse({"-dx", "40", "-pgm"});
  EXPECT_TRUE(p.opt.pgm && p.opt.dx == 40);
  EXPECT_EQ(parse({"-pgm", "true", "-dx"}).opt.dx, 0);
  EXPECT_EQ(parse({"-gamma"}).opt.gamma, 0.0);
  EXPECT_EQ(parse({"-inPath"}).opt.inPath, "-inPath");
  EXPECT_EQ(parse({"-lo", "7", "-lo", "9"}).opt.lo, 7);
}

TEST(Options, HelpGoesToStandardErrorAndTheRunGoesOn) {
  for (const char* h : {"-h", "-help", "--help"}) {
    const Parsed p = parse({h, "-dx", "64"});
    EXPECT_EQ(p.out, kHeadings + kMisc);
    EXPECT_EQ(p.opt.dx, 64);
    for (const char* part : {"VorlaneRegMotion: Optic flow estimation with K41 regularization. ", "-inPath", "-dy",
                             "-dx", "-gamma", "-multiresol", "-offEdeges", "-lambdaInitFile", "-Dy", "-pgm", "-offGT",
                             "image column number", "64"})
      EXPECT_NE(p.err.find(part), std::string::npos) << part;
    EXPECT_LT(p.err.find("-inPath"), p.err.find("-offGT"));
  }
}

std::string yesNoNotice(const std::string& name, const std::string& text) {
  return "Option " + name + ": '" + text + "' is not a yes/no word: it is read as on; false, off, no or 0 (any case) "
         "turn it off";
}

// Yes/no texts: the words that mean off, those that mean on, and any other text (on, and named).
TEST(Options, YesNoWords) {
  const struct {
    std::vector<std::string> args;
    bool on;
    std::vector<std::string> notices;
  } cases[] = {
      {{"-HS", "no"}, false, {}}, {{"-HS", "NO"}, false, {}}, {{"-HS", "No"}, false, {}},
      {{"-HS", "false"}, false, {}}, {{"-HS", "FaLsE"}, false, {}}, {{"-HS", "OFF"}, false, {}},
      {{"-HS", "0"}, false, {}}, {{"-HS", "yes"}, true, {}}, {{"-HS", "YES"}, true, {}}, {{"-HS", "on"}, true, {}},
      {{"-HS", "True"}, true, {}}, {{"-HS", "1"}, true, {}}, {{"-dx", "9", "-HS"}, true, {}} /* written last */,
      {{"-HS", "flase"}, true, {yesNoNotice("-HS", "flase")}}, {{"-HS", "nein"}, true, {yesNoNotice("-HS", "nein")}},
      {{"-HS", "2"}, true, {yesNoNotice("-HS", "2")}}, {{"-HS", "0 "}, true, {yesNoNotice("-HS", "0 ")}},
      {{"-HS", ""}, true, {yesNoNotice("-HS", "")}}, {{"-HS", "n\x1bo"}, true, {yesNoNotice("-HS", "n?o")}},
      // A name in the value's place is the value, and the option it names is still read where it is
      // the first of its name (here written last); a repeated name is the value only.
      {{"-HS", "-dx"}, true, {yesNoNotice("-HS", "-dx") + "; -dx is still read as given, with the argument after it"}},
      {{"-dx", "9", "-HS", "-dx"}, true, {yesNoNotice("-HS", "-dx")}}};
  for (const auto& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.opt.HS, c.on) << c.args[1];
    EXPECT_EQ(p.opt.commandLineNotices, c.notices) << c.args[1];
    EXPECT_EQ(p.out, kHeadings + kMisc);
  }
  // Every yes/no option reads the words, noticed in the order of the options; the help shows the value.
  const Parsed p = parse({"-GT", "nein", "-divZero", "No", "-pgm", "ja", "-initHS", "yes", "-lambdaInitFile", "off",
                          "-h"});
  EXPECT_TRUE(p.opt.GT && !p.opt.divZero && p.opt.pgm && p.opt.initHS && !p.opt.lambdaInitFile);
  EXPECT_EQ(p.opt.commandLineNotices,
            (std::vector<std::string>{yesNoNotice("-pgm", "ja"), yesNoNotice("-GT", "nein")}));
  for (const auto& shown : std::vector<std::pair<std::string, std::string>>{
           {"-GT", "true"}, {"-divZero", "false"}, {"-pgm", "true"}, {"-HS", "false"}, {"-lambdaInitFile", "false"}}) {
    const size_t at = p.err.find(shown.first + " ");
    ASSERT_NE(at, std::string::npos) << shown.first;
    const std::string line = p.err.substr(at, p.err.find('\n', at) - at);
    EXPECT_NE(line.find(" " + shown.second + " "), std::string::npos) << line;
  }
}

// Every argument the parser leaves unread where an option name belongs is named, with the unread
// argument after it and the option meant with what it does; repeated options, values and help
// switches are not.
TEST(Options, IgnoredArgumentsAreNamed) {
  auto notice = [](const std::string& arg, const std::string& next, const std::string& meant) {
    return "Argument '" + arg + "' is not an option name: it is ignored" +
           (next.empty() ? "" : ", and so is the argument after it, '" + next + "'") +
           (meant.empty() ? "" : " (did you mean " + meant + "?)");
  };
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      // "-dx": the value of -pgm (no yes/no word) and the name of -dx.
      {{"-pgm", "-dx", "64", "-lo", "3", "-lo", "4", "-h"},
       {yesNoNotice("-pgm", "-dx") + "; -dx is still read as given, with the argument after it"}},
      {{"-multiresolution", "3", "-offEdges", "5", "-DX", "9"},
       {notice("-multiresolution", "3", "-multiresol, the number of pyramid levels"),
        notice("-offEdges", "5", "-offEdeges, the border band left out of the data term"),
        notice("-DX", "9", "-Dx, the width of image 2 read whole")}},
      {{"-foo", "-dx", "64", "7", "-x\x1b[0m"}, {notice("-foo", "", ""), notice("7", "-x?[0m", "")}},
      // Two edits away from a name of more than four letters, one from a shorter one.
      {{"-multirseol", "3", "-sigma_osb", "2", "-nbItLbgfs", "5", "-eos", "1"},
       {notice("-multirseol", "3", "-multiresol, the number of pyramid levels"),
        notice("-sigma_osb", "2", "-sigma_obs, the robust parameter of the data term"),
        notice("-nbItLbgfs", "5", "-nbItLbfgs, the line-search limit of the dual optimisation"),
        notice("-eos", "1", "-eps, the precision of the dual optimisation")}},
      {{"-Vmean", "2", "-Umean", "1"}, {notice("-Vmean", "2", "-Umean, the horizontal pre-shift")}},
      {{"-Hs", "no", "-gama", "0.1"},
       {notice("-Hs", "no", "-HS, Horn & Schunck at every level"),
        notice("-gama", "0.1", "-gamma, the factor of the power law")}},
      // Case counts for no edit: a name written in capitals is the name it spells.
      {{"-NBITTRACE", "3"}, {notice("-NBITTRACE", "3", "-nbItTrace, the probes of the evidence estimate")}},
      // An option written last is read (its name is its text); a help switch is read wherever it is.
      {{"-dx", "64", "-foo", "-GT"}, {notice("-foo", "", "")}},
      {{"-foo", "--help", "-bar", "-help", "-h"}, {notice("-foo", "", ""), notice("-bar", "", "")}},
      {{"-inPath", "-help", "-xyz", "-h"}, {notice("-xyz", "", "")}},
      // A repeated option is no news, and takes its value along.
      {{"-lo", "7", "-lo", "-lo", "-nbItTrace", "0", "-gamma", "1", "-gamma"}, {}},
      // Values that look like names are values; the name they would be is read where it first stands.
      {{"-inPath", "-dy", "-dx", "5"}, {}},
      {{"-inPath", "-dx", "-dx", "5"}, {notice("5", "", "")}},  // -dx written twice in a row is -dx's text
      {{"-GT", "-Vmean", "-Vmean", "2"},
       {yesNoNotice("-GT", "-Vmean"), notice("-Vmean", "2", "-Umean, the horizontal pre-shift")}}};
  for (const auto& c : cases) EXPECT_EQ(parse(c.first).opt.commandLineNotices, c.second) << c.first[0];
  // The parser reads the 31 options in this order (as its help lists them).
  const std::string help = parse({"-h"}).err;
  std::vector<std::string> listed;
  for (size_t at = 0; (at = help.find("\n    -", at + 1)) != std::string::npos;)
    listed.push_back(help.substr(at + 5, help.find(' ', at + 5) - at - 5));
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "-inPath", "-dy", "-dx", "-neta", "-lo", "-gamma", "-power", "-multiresol", "-resolEnd",
                        "-norm", "-sigma_obs", "-sigBlur", "-sigDiff", "-offEdeges", "-nbItTrace", "-eps",
                        "-nbItLbfgs", "-Umean", "-HS", "-initHS", "-alpha", "-lambdaInit", "-lambdaInitFile", "-ofy",
                        "-ofx", "-Dx", "-Dy", "-pgm", "-divZero", "-GT", "-offGT"}));
}

TEST(Options, OffsetCheckAndDerivedConstants) {
  Parsed p = parse({"-ofx", "5", "-dx", "100"});
  EXPECT_EQ(p.out, kHeadings + "Error in -ofx !! \n" + kMisc);
  EXPECT_TRUE(p.opt.ofx == 0 && p.opt.Dx == 100 && !p.opt.DxGiven);
  p = parse({"-ofy", "-2", "-dy", "30"});
  EXPECT_EQ(p.out, kHeadings + "Error in -ofy !! \n" + kMisc);
  EXPECT_TRUE(p.opt.ofy == 0 && p.opt.Dy == 30);
  p = parse({"-ofx", "5", "-Dx", "300", "-ofy", "6", "-Dy", "200"});
  EXPECT_EQ(p.out, kHeadings + kMisc);
  EXPECT_TRUE(p.opt.ofx == 5 && p.opt.ofy == 6 && p.opt.Dx == 300 && p.opt.Dy == 200 && p.opt.DxGiven);
  p = parse({"-dx", "101", "-dy", "61", "-norm", "1", "-sigma_obs", "50"});
  EXPECT_TRUE(p.opt.MaxAll == 30 && p.opt.dxOrig == 101 && p.opt.FactorRobParam == 0.5 / 50.0);
  EXPECT_EQ(parse({"-norm", "0", "-sigma_obs", "3"}).opt.FactorRobParam, std::pow(3.0, -2.0));
  EXPECT_EQ(parse({"-norm", "1.5", "-sigma_obs", "3"}).opt.FactorRobParam, 1.0);
}

// Texts that are not numbers of the option's type are noted (the first one) and keep the default.
TEST(Options, NumberTextsThatDoNotParse) {
  const std::vector<std::pair<std::string, std::string>> doubles = {
      {"nan", "'nan'"}, {"inf", "'inf'"}, {"-Infinity", "'-Infinity'"}, {"1/0", "'1/0'"}, {"0/0", "'0/0'"},
      {"abc", "'abc'"}, {"", "''"}, {"1e39", "'1e39'"}, {"3/", "'3/'"}, {"0.5abc", "'0.5abc'"}, {"1 /2", "'1 /2'"},
      {"1\n2", "'1?2'"}};
  for (const auto& c : doubles) {
    const Parsed p = parse({"-alpha", "xyz", "-sigBlur", c.first});  // -sigBlur is read first
    EXPECT_EQ(p.opt.numberTextProblem,
              "Option -sigBlur: " + c.second + " is not a finite number (a number, or a ratio a/b)");
    EXPECT_EQ(p.opt.sigBlur, 0.0);
  }
  for (const std::string t : {"1e3", "2.5", "99999999999", "-2147483649", "12abc", "", "abc", "-"}) {
    const Parsed p = parse({"-dx", t});
    EXPECT_EQ(p.opt.numberTextProblem,
              "Option -dx: '" + t + "' is not an integer between -2147483648 and 2147483647");
    EXPECT_EQ(p.opt.dx, 256);
  }
  const Parsed edge = parse({"-offGT", "2147483647", "-Dx", "-2147483648", "-eps", "1e-50"});
  EXPECT_TRUE(edge.opt.offGT == INT_MAX && edge.opt.Dx == 256 && !edge.opt.DxGiven && edge.opt.eps == 0.0);
  EXPECT_EQ(edge.opt.numberTextProblem, "");
  // Refused before any other check, with the option's own line.
  expectRefusal(runInChild([] {
                  RunOptions o;
                  o.numberTextProblem = "Option -gamma: '0/0' is not a finite number (a number, or a ratio a/b)";
                  o.multiresol = 0;
                  refuseInvalidOptions(o);
                }),
                {"Option -gamma: '0/0'"});
}

ChildResult checkOptions(std::vector<std::string> a) {
  Args args(std::move(a));
  return runInChild([&] { refuseInvalidOptions(parseOptions((int)args.text.size(), args.ptrs.data())); });
}

TEST(Options, ValuesThatIndexMissingEntriesAreRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-multiresol", "0"}, "-multiresol"}, {{"-multiresol", "8"}, "-multiresol"}, {{"-resolEnd", "0"}, "-resolEnd"},
      {{"-dx", "0"}, "-dx"}, {{"-dy", "-3"}, "-dy"}, {{"-ofx", "-1", "-Dx", "300"}, "-ofx"},
      {{"-ofy", "-1", "-Dy", "300"}, "-ofy"}, {{"-norm", "0", "-sigma_obs", "0"}, "-sigma_obs"},
      {{"-norm", "1", "-sigma_obs", "0"}, "-sigma_obs"}, {{"-norm", "0.5", "-sigma_obs", "0"}, "-sigma_obs"},  // part 0
      {{"-norm", "1.5", "-sigma_obs", "-2"}, "-sigma_obs"},                                                     // part 1
      {{"-norm", "1", "-sigma_obs", "-2"}, "-sigma_obs"}, {{"-norm", "1e30"}, "-norm"}, {{"-nbItTrace", "-1"}, "-nbItTrace"},
      {{"-dx", "32768"}, "-dx"}, {{"-dy", "40000"}, "-dy"}, {{"-Dx", "32768"}, "-Dx"}, {{"-Dy", "99999"}, "-Dy"},
      {{"-dx", "1e3"}, "-dx"}, {{"-gamma", "0/0"}, "-gamma"}};
  for (const auto& c : cases) {
    const ChildResult r = checkOptions(c.first);
    expectRefusal(r, {"Option " + c.second + ": "});
    EXPECT_EQ(r.err.rfind("Option " + c.second + ": ", 0), 0u) << r.err;
  }
  const std::vector<std::vector<std::string>> accepted = {
      {}, {"-multiresol", "7", "-resolEnd", "9"} /* no level runs */, {"-multiresol", "1", "-dx", "1", "-dy", "1"},
      {"-norm", "2", "-sigma_obs", "0"}, {"-norm", "0", "-sigma_obs", "-2"} /* Leclerc squares it */,
      {"-ofx", "-4"} /* reset to 0 by the offset check */, {"-nbItTrace", "0"},
      {"-dx", "32767", "-dy", "32767", "-Dx", "32767", "-Dy", "32767"}};
  for (const auto& a : accepted) {
    const ChildResult r = checkOptions(a);
    EXPECT_TRUE(r.exitCode == 0 && r.err.empty()) << r.err;
  }
}

}  // namespace
