// What the text inputs hold at their limits: the list lines that must be text (the first three
// always, line 4 when the run compares with a true motion table, line 5 when it reads its multipliers
// from a file), list lines holding bytes 0x80..0x9F outside UTF-8 (letters of an 8-bit encoding,
// read as they are), and the bounds on a line and on blank lines in a row of a multiplier file.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/expect.h"
#include "support/program_run.h"

using namespace cimg_library;

namespace {

class TextInputLimits : public TempDirTest {
 protected:
  void TearDown() override { std::filesystem::remove_all(dir); }
};

// A five-line list whose line `bad` (1 to 5) is `text`.
std::string listWith(int bad, const std::string& text) {
  const char* lines[5] = {"a.pgm", "b.pgm", "out_", "true.motion", "lambda.txt"};
  std::string list;
  for (int k = 1; k <= 5; ++k) list += (k == bad ? text : lines[k - 1]) + std::string("\n");
  return list;
}

const std::string kEscape = "\x1b[31mx";

TEST_F(TextInputLimits, ListLinesThatTheRunUsesHoldNoControlCharacter) {
  const std::vector<bool> all(5, true), no4 = {true, true, true, false, true}, no5 = {true, true, true, true, false},
                          none = {true, true, true, false, false};
  const struct { int line; std::vector<bool> used; bool refused; } cases[] = {
      {4, all, true}, {4, no5, true}, {4, no4, false}, {4, none, false},
      {5, all, true}, {5, no4, true}, {5, no5, false}, {5, none, false}};
  for (const auto& c : cases) {
    const std::string f = file("list", listWith(c.line, kEscape));
    std::vector<std::string> lines = alloc_seqPath(5);
    const std::string where = "List file '" + f + "': line " + std::to_string(c.line);
    if (c.refused) {
      expectRefusal(runInChild([&] { read_path(f, 5, lines, c.used); }),
                    {where + " is not text: '?[31mx' holds a control character at position 1"});
    } else {  // an unused line is kept as it is
      const ChildResult r = runInChild([&] {
        read_path(f, 5, lines, c.used);
        std::printf("%s", lines[c.line - 1].c_str());
      });
      EXPECT_TRUE(r.exitCode == 0 && r.out == kEscape) << where << ": " << r.err;
    }
  }
}

// The run uses line 4 with -GT and line 5 with -lambdaInitFile: a control character there ends it.
TEST_F(TextInputLimits, RunRefusesAControlCharacterInTheListLineItsOptionsUse) {
  const struct { const char* option; int line; } cases[] = {{"-GT", 4}, {"-lambdaInitFile", 5}};
  for (const auto& c : cases) {
    const std::string f = file("list", listWith(c.line, kEscape));
    expectRefusal(runProgram(dir, {"-inPath", f, c.option, "true"}),
                  {"List file '" + f + "': line " + std::to_string(c.line) + " is not text: '?[31mx' holds"});
  }
}

// A byte 0x80..0x9F that is no part of a UTF-8 character may be a letter of a name in an 8-bit
// encoding (cp1252): such a line is read byte for byte. Messages show it as '?' and count it in the
// position of a control character; the UTF-8 form of a character 128..159 is one.
TEST_F(TextInputLimits, ListLinesWithLoneBytes80To9FAreReadAndShownAsQuestionMarks) {
  const std::vector<std::string> names = {"caf\x85.pgm", "\x80\x9f b.pgm", "out\x9b\xc3\x9b/", "t\x81.motion",
                                          "\x90.txt"};
  std::string list, shown;
  for (const std::string& n : names) list += n + "\n", shown += n + "|";
  std::vector<std::string> lines = alloc_seqPath(5);
  const std::string f = file("list", list);
  const ChildResult read = runInChild([&] {
    read_path(f, 5, lines, std::vector<bool>(5, true));
    for (const std::string& l : lines) std::printf("%s|", l.c_str());
  });
  EXPECT_TRUE(read.exitCode == 0 && read.out == shown) << read.out << read.err;
  const struct { std::string line; const char* shown; int position; } refused[] = {
      {"x\x9by\x1b", "x?y?", 4}, {"\x85\x85\r\x85", "????", 3}, {"a\xc2\x85" "b", "a?b", 2}};
  for (const auto& r : refused) {
    const std::string bad = file("list", listWith(2, r.line));
    expectRefusal(runInChild([&] { read_path(bad, 5, lines); }),
                  {"List file '" + bad + "': line 2 is not text: '" + r.shown +
                   "' holds a control character at position " + std::to_string(r.position) + "\n"});
  }
}

// A line is read up to 4096 characters, and blank lines, which hold no pair, are skipped up to 2^20
// in a row: a stream without line breaks or of blank lines that never ends (a device, a pipe) is not
// read for ever. A longer line is refused, not cut into lines that each hold a pair.
TEST_F(TextInputLimits, MultiplierFileLinesAndBlankLinesInARowAreBounded) {
  const int bound = 1 << 20;
  const std::string blanks(4093, ' ');
  const struct { std::string content; const char* problem; } cases[] = {
      {"1 2\n" + std::string(bound, '\n') + "3 4\n", ""},
      {"1 2\n" + std::string(bound + 1, '\n') + "3 4\n", " holds more than 1048576 blank lines in a row"},
      {"1 2" + blanks + "\n3 4\n", ""},  // 4096 characters
      {"1 2" + blanks + " 3 4\n", ": line 1 is longer than 4096 characters"}};
  for (const auto& c : cases) {
    const std::string f = file("lambda", c.content);
    CImg<double> lambda(2, 1, 1, 1, 0.0), cross(2, 1, 1, 1, 0.0);
    const ChildResult r = runInChild([&] { readLambdaInit(lambda, cross, f); });
    if (*c.problem)
      expectRefusal(r, {"Multiplier file '" + f + "'" + c.problem + "\n"});
    else
      EXPECT_TRUE(r.exitCode == 0 && r.out == f + "\n1 2\n3 4\n") << c.content.size() << ": " << r.out << r.err;
  }
}

}  // namespace
