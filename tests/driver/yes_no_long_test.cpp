// A yes/no option on the example pair: "-HS no" runs the K41 path as "-HS false" does, a text that
// is no yes/no word runs the Horn & Schunck path as "-HS true" does and is named in one line.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/expect.h"
#include "support/program_run.h"

namespace {

class YesNoRun : public TempDirTest {
 protected:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

TEST_F(YesNoRun, HsNoIsTheK41PathAndAWordThatIsNoYesNoWordIsHornSchunck) {
  // The example's list file, its paths made absolute and its output line moved here (the run writes
  // files in its working folder too: it runs here).
  std::vector<std::string> lines = readLines(std::string(VRM_SOURCE_DIR) + "/examples/inputVorlane");
  ASSERT_EQ(lines.size(), 5u);
  std::string list;
  for (size_t k = 0; k < lines.size(); ++k)
    list += (k == 2 ? dir + "/" : std::string(VRM_SOURCE_DIR) + "/" + lines[k]) + "\n";
  file("list", list);
  const struct {
    const char* word;
    double endPointError;  // as printed: -HS false gives 0.156129, -HS true 0.2221
    std::string err;
  } cases[] = {{"no", 0.156129, ""},
               {"flase", 0.2221,
                "Option -HS: 'flase' is not a yes/no word: it is read as on; false, off, no or 0 (any case) turn it "
                "off\n"}};
  for (const auto& c : cases) {
    const ChildResult r = runProgram(dir, {"-inPath", "list", "-pgm", "true", "-dx", "128", "-dy", "128", "-multiresol",
                                           "3", "-GT", "true", "-HS", c.word});
    EXPECT_TRUE(r.exited && r.exitCode == 0) << r.err;
    EXPECT_EQ(r.err, c.err);
    double epe = 0, angular = 0, rms = 0;
    ASSERT_TRUE(lastGroundTruthErrors(r.out, epe, angular, rms)) << c.word;
    EXPECT_DOUBLE_EQ(epe, c.endPointError) << c.word;
  }
}

}  // namespace
