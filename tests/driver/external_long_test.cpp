// A full-size run on a pair of particle images of 2-D turbulence with its true field: the
// Horn & Schunck path over three pyramid levels must recover the motion to well under a pixel.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/particles.h"
#include "support/program_run.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TEST(ExternalData, HornAndSchunckOnTurbulenceRecoversTheMotion) {
  const std::string data = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples/DNS_turbulence_00001";
  if (!exists(data + "_img1.pgm") || !exists(data + "_img2.pgm") || !exists(data + "_flow.motion"))
    GTEST_SKIP() << "external data not found: " << data;

  const std::string dir = makeTempDir("external");
  ASSERT_TRUE(writeFileBytes(dir + "/list", data + "_img1.pgm\n" + data + "_img2.pgm\n" + dir + "/out_\n" + data +
                                                "_flow.motion\n\n"));
  const ChildResult r =
      runProgram(dir, {"-inPath", "list", "-HS", "true", "-pgm", "true", "-GT", "true", "-multiresol", "3"});
  ASSERT_TRUE(r.exited);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  double epe = 0, angular = 0, rms = 0;
  ASSERT_TRUE(lastGroundTruthErrors(r.out, epe, angular, rms)) << r.out;
  // A zero field scores 0.88 pixel on this pair.
  EXPECT_LT(epe, 0.3);
  EXPECT_GT(epe, 0);
  EXPECT_EQ(readLines(dir + "/out_UV_Gamma1.000000e-02Zeta1.000000e+00.motion").size(), 2u + 256 * 256);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace
