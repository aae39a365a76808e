// The power-law scan of the README, run as the README prints it: the lines between its two marker
// lines go to bash with the program, the list file, the options and a 2 x 2 grid set before them, on
// examples/. The scan must run every cell in its own folder and name first the cell whose result line
// holds the lowest minus log evidence, then the others in ascending order.
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/expect.h"
#include "support/program_run.h"

namespace {

const std::string kBegin = "# scan: begin", kEnd = "# scan: end";

// The README's lines between the marker lines, markers included (empty when they are not there).
std::string readmeScan() {
  const std::vector<std::string> lines = readLines(std::string(VRM_SOURCE_DIR) + "/README.md");
  std::string block;
  bool inside = false;
  for (std::string line : lines) {
    if (line.compare(0, 4, "    ") == 0) line.erase(0, 4);  // the README's code blocks are indented by 4
    if (line == kBegin) inside = true;
    if (inside) block += line + "\n";
    if (line == kEnd && inside) return block;
  }
  return "";
}

class ReadmeScanTest : public TempDirTest {
 protected:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

TEST_F(ReadmeScanTest, NamesTheCellOfTheLowestMinusLogEvidenceFirst) {
  const std::string scan = readmeScan();
  ASSERT_FALSE(scan.empty()) << "README.md has no block between '" << kBegin << "' and '" << kEnd << "'";
  const std::string ex = std::string(VRM_SOURCE_DIR) + "/examples/";
  file("list", ex + "particles_t.pgm\n" + ex + "particles_dt.pgm\nunused/\n" + ex + "particles_true.motion\n\n");
  // A 64 x 64 window, one level, a few probes and a loose dual precision keep the four runs short.
  file("scan.sh", std::string("prog=") + VRM_PROGRAM +
                      "\nlist=list\nopts=\"-pgm true -dx 64 -dy 64 -nbItTrace 4 -eps 1e-6\"\ngammas=\"1e-3 1e-2\"\npowers=\"1 2\"\n" +
                      scan);
  const ChildResult r = runProgramAt("/bin/bash", dir, {"scan.sh"});
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.err;
  EXPECT_EQ(r.err, "");

  // The cells' third values, read here from their result lines: the scan prints "value<tab>folder"
  // for each, lowest value first.
  std::vector<std::pair<double, std::string>> cells;
  for (const char* g : {"1e-3", "1e-2"})
    for (const char* p : {"1", "2"}) {
      const std::string folder = std::string("scan/gamma") + g + "_power" + p + "/";
      const std::vector<std::string> lines = readLines(dir + "/" + folder + "evidence_resol0");
      ASSERT_EQ(lines.size(), 1u) << folder;
      const std::vector<double> v = splitTabbedNumbers(lines[0]);
      ASSERT_EQ(v.size(), 20u) << folder;
      EXPECT_NEAR(v[0], std::stod(g), 1e-9) << folder;  // the cell's own law
      EXPECT_EQ(v[1], std::stod(p)) << folder;
      const size_t from = lines[0].find('\t', lines[0].find('\t') + 1) + 1;
      cells.push_back({v[2], lines[0].substr(from, lines[0].find('\t', from) - from) + "\t" + folder + "\n"});
    }
  std::sort(cells.begin(), cells.end());
  std::string expected;
  for (const auto& c : cells) expected += c.second;
  EXPECT_EQ(r.out, expected);
}

}  // namespace
