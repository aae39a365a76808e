// Reads a published true motion table and checks it against the binary flow file stored beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <CImg.h>

#include "io/io.h"

using namespace cimg_library;

namespace {

const std::string kDir = std::string(VRM_EXTERNAL_DATA_DIR) + "/cai-piv-samples";

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Flow file: float tag 202021.25, int32 width, int32 height, then (u, v) float pairs row-major,
// little-endian (the byte order of this machine).
bool readFlo(const std::string& path, int& w, int& h, std::vector<float>& uv) {
  std::ifstream in(path, std::ios::binary);
  float tag = 0;
  int32_t ww = 0, hh = 0;
  if (!in.read((char*)&tag, 4) || !in.read((char*)&ww, 4) || !in.read((char*)&hh, 4)) return false;
  if (tag != 202021.25f || ww <= 0 || hh <= 0) return false;
  w = ww;
  h = hh;
  uv.resize((size_t)2 * w * h);
  return (bool)in.read((char*)uv.data(), (std::streamsize)(uv.size() * sizeof(float)));
}

}  // namespace

TEST(ExternalMotionTable, MatchesFlowFileBeside) {
  const std::string motion = kDir + "/DNS_turbulence_00001_flow.motion";
  const std::string flo = kDir + "/DNS_turbulence_00001_flow.flo";
  if (!exists(motion) || !exists(flo)) GTEST_SKIP() << "external data absent: " << kDir;

  int w = 0, h = 0;
  std::vector<float> uv;
  ASSERT_TRUE(readFlo(flo, w, h, uv));
  ASSERT_EQ(w, 256);
  ASSERT_EQ(h, 256);

  testing::internal::CaptureStdout();
  const CImg<float> all = read_aMotionFile(motion, w, h, w, 0, 0);
  const int dx = 100, dy = 60, ofx = 37, ofy = 150;
  const CImg<float> win = read_aMotionFile(motion, dx, dy, w, ofx, ofy);
  testing::internal::GetCapturedStdout();

  ASSERT_EQ(all.width(), w);
  ASSERT_EQ(all.height(), h);
  ASSERT_EQ(all.depth(), 2);
  double maxDiff = 0, maxAbs = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 2; ++c) {
        const float ref = uv[2 * ((size_t)y * w + x) + c];
        // Six decimals in the table: half a unit of the last decimal plus float rounding.
        maxDiff = std::max(maxDiff, (double)std::fabs(all(x, y, c) - ref));
        maxAbs = std::max(maxAbs, (double)std::fabs(ref));
      }
  EXPECT_LE(maxDiff, 5e-7 + 1e-6 * maxAbs);
  EXPECT_GT(maxAbs, 0.1);  // a real field, not zeros

  ASSERT_EQ(win.width(), dx);
  ASSERT_EQ(win.height(), dy);
  cimg_forXYZ(win, x, y, c) ASSERT_EQ(win(x, y, c), all(x + ofx, y + ofy, c));
}
