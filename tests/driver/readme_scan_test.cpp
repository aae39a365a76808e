// The settings scan of the README, run as the README prints it: the lines between its two marker
// lines go to bash with the program, the list file (relative paths, as users write them), the options
// and a small grid set before them, on examples/. The scan must run every cell in its own folder (one
// path component, a ratio included), name first the cell whose result line holds the lowest minus log
// evidence, then the others in ascending order, and say on standard error where the pick lies on an
// edge of the grid and where the cells were padded to different sizes.
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/expect.h"
#include "support/program_run.h"

namespace {

// The README's lines between the marker lines "# <name>: begin" and "# <name>: end", markers included
// (empty when they are not there).
std::string readmeBlock(const std::string& name) {
  const std::vector<std::string> lines = readLines(std::string(VRM_SOURCE_DIR) + "/README.md");
  std::string block;
  bool inside = false;
  for (std::string line : lines) {
    if (line.compare(0, 4, "    ") == 0) line.erase(0, 4);  // the README's code blocks are indented by 4
    if (line == "# " + name + ": begin") inside = true;
    if (inside) block += line + "\n";
    if (line == "# " + name + ": end" && inside) return block;
  }
  return "";
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> w;
  for (size_t k = 0; (k = text.find_first_not_of(' ', k)) != std::string::npos;) {
    const size_t end = std::min(text.find(' ', k), text.size());
    w.push_back(text.substr(k, end - k));
    k = end;
  }
  return w;
}

double valueOf(const std::string& text) {  // a number or a ratio a/b, as the grid holds them
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::stod(text);
  return std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
}

// The edge notice for the pick's value `v` among the grid's values, or nothing.
std::string edgeLine(const std::string& name, const std::string& v, const std::string& grid) {
  double lo = valueOf(v), hi = lo;
  for (const std::string& w : words(grid)) lo = std::min(lo, valueOf(w)), hi = std::max(hi, valueOf(w));
  if (lo == hi || (valueOf(v) != lo && valueOf(v) != hi)) return "";
  return "edge: the pick has " + name + " " + v + ", the " +
         (valueOf(v) == lo ? "smallest scanned: add values below it" : "largest scanned: add values above it") +
         " to the grid and scan again\n";
}

class ReadmeScanTest : public TempDirTest {
 protected:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

TEST_F(ReadmeScanTest, NamesTheCellOfTheLowestMinusLogEvidenceFirstAndSaysWhereToLook) {
  const std::string scan = readmeBlock("scan");
  ASSERT_FALSE(scan.empty()) << "README.md has no scan block";
  std::filesystem::create_symlink(std::string(VRM_SOURCE_DIR) + "/examples", dir + "/ex");
  file("list", "ex/particles_t.pgm\nex/particles_dt.pgm\nunused/\nex/particles_true.motion\n\n");
  // Small windows, a few probes and a loose dual precision keep the runs short. A 64 x 64 window is
  // padded alike by 1 and 2 levels; a 60 x 60 window is not padded by 1 level, and padded to 64 x 64
  // by 3.
  const struct {
    std::string window, gammas, powers, divzeros, levels;
    bool paddedAlike;
  } grids[] = {{"-dx 64 -dy 64", "1e-3 1e-2", "1 2/3", "false true", "1 2", true},
               {"-dx 60 -dy 60", "1e-2", "1", "true", "1 3", false}};
  for (const auto& grid : grids) {
    std::filesystem::remove_all(dir + "/scan");
    file("scan.sh", std::string("prog=") + VRM_PROGRAM + "\nlist=list\nopts=\"-pgm true -GT true -Dx 128 -Dy 128 " +
                        grid.window + " -nbItTrace 4 -eps 1e-6\"\ngammas=\"" + grid.gammas + "\"\npowers=\"" +
                        grid.powers + "\"\ndivzeros=\"" + grid.divzeros + "\"\nlevels=\"" + grid.levels +
                        "\"\njobs=3\n" + scan);
    const ChildResult r = runProgramAt("/bin/bash", dir, {"scan.sh"});
    ASSERT_TRUE(r.exited && r.exitCode == 0) << r.err;
    SCOPED_TRACE(r.err);

    // The cells' third values, read here from their result lines: the scan prints "value<tab>folder"
    // for each, lowest value first.
    struct Cell {
      double value;
      std::string line, gamma, power, padded;
    };
    std::vector<Cell> cells;
    for (const std::string& g : words(grid.gammas))
      for (const std::string& p : words(grid.powers))
        for (const std::string& z : words(grid.divzeros))
          for (const std::string& n : words(grid.levels)) {
            std::string name = "gamma" + g + "_power" + p + "_divZero" + z + "_levels" + n;
            for (size_t k; (k = name.find('/')) != std::string::npos;) name.replace(k, 1, "over");
            const std::string folder = "scan/" + name + "/";
            const std::vector<std::string> lines = readLines(dir + "/" + folder + "evidence_resol0");
            ASSERT_EQ(lines.size(), 1u) << folder;
            const std::vector<double> v = splitTabbedNumbers(lines[0]);
            ASSERT_EQ(v.size(), 20u) << folder;
            EXPECT_NEAR(v[0], valueOf(g), 1e-9) << folder;  // the cell's own settings
            EXPECT_NEAR(v[1], valueOf(p), 1e-6) << folder;
            EXPECT_EQ(readLines(dir + "/" + folder + "evidence_resol" + std::to_string(std::stoi(n) - 1)).size(), 1u)
                << folder;
            // The maps that -GT rewrites are in the cell's own folder, not where the scan runs.
            EXPECT_TRUE(std::filesystem::exists(dir + "/" + folder + "toBeErasedEndPoint.pgm")) << folder;
            std::string padded;
            for (const std::string& line : readLines(dir + "/" + folder + "log"))
              if (line.find("after expanding ") != std::string::npos)
                padded = line.substr(line.find("after expanding ") + 16);
            const size_t from = lines[0].find('\t', lines[0].find('\t') + 1) + 1;
            cells.push_back(
                {v[2], lines[0].substr(from, lines[0].find('\t', from) - from) + "\t" + folder + "\n", g, p, padded});
          }
    std::sort(cells.begin(), cells.end(),
              [](const Cell& a, const Cell& b) { return a.value != b.value ? a.value < b.value : a.line < b.line; });
    std::string expected, sizes;
    for (const Cell& c : cells) {
      expected += c.line;
      if (sizes.find(c.padded) == std::string::npos) sizes += (sizes.empty() ? "" : ", ") + c.padded;
    }
    EXPECT_EQ(sizes.find(',') == std::string::npos, grid.paddedAlike) << sizes;
    EXPECT_EQ(r.out, expected) << grid.window;
    EXPECT_FALSE(std::filesystem::exists(dir + "/toBeErasedEndPoint.pgm"));
    EXPECT_EQ(r.err, edgeLine("gamma", cells[0].gamma, grid.gammas) + edgeLine("power", cells[0].power, grid.powers) +
                         (grid.paddedAlike ? ""
                                           : "the cells were padded to different sizes (" + sizes +
                                                 "): their evidences do not compare; scan level counts that pad the "
                                                 "window alike\n"))
        << grid.window;
  }
}

// The README's first estimate of the largest displacement: the 99th percentile of the displacement
// length over a motion table's window without its border, and the largest, as the README's lines print
// them for the table and border set before them.
TEST_F(ReadmeScanTest, LargestDisplacementIsReadFromTheTableWithoutItsBorder) {
  const std::string block = readmeBlock("largest");
  ASSERT_FALSE(block.empty()) << "README.md has no largest-displacement block";
  // A 40 x 30 table whose displacement length at line i, column j is i + j / 100: without a border of
  // 5, 20 lines of 30 lengths; the 99th percentile is the 594th of the 600 in ascending order.
  std::string table = "40 30\n#i\tj\tU\tV\n";
  for (int i = 0; i < 30; ++i)
    for (int j = 0; j < 40; ++j) {
      const double length = i + j / 100.0;
      table += std::to_string(i) + "\t" + std::to_string(j) + "\t" + std::to_string(0.6 * length) + "\t" +
               std::to_string(-0.8 * length) + "\n";
    }
  file("t.motion", table);
  file("largest.sh", "f=t.motion\nb=5\n" + block);
  const ChildResult r = runProgramAt("/bin/bash", dir, {"largest.sh"});
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.err;
  EXPECT_EQ(r.out, "99th percentile 24.28 px, largest 24.34 px\n");  // line 24, column 28; line 24, column 34
  EXPECT_EQ(r.err, "");
}

}  // namespace
