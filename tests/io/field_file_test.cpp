// Binary field file: header, 2-byte value code (exact bytes, saturation), round trips, failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <CImg.h>

#include "support/child_process.h"
#include "io/io.h"

using namespace cimg_library;

namespace {

// Encodes the values as a 1 x n field (u plane) and returns the u-plane bytes and the error code.
std::string encode(const std::vector<float>& values, short* error) {
  const std::string name = makeTempDir("ff") + "/codes.bin";
  const std::vector<float> zeros(values.size(), 0.0f);
  write_field(name, values.data(), zeros.data(), (short)values.size(), 1, error);
  const std::string bytes = readFileBytes(name);
  return bytes.substr(4, 2 * values.size());
}

std::vector<float> decode(const std::string& name, short col, short lig, short* error) {
  std::vector<float> u(col * lig), v(col * lig);
  read_field(name, u.data(), v.data(), col, lig, error);
  return u;
}

}  // namespace

TEST(FieldFile, ValueCodesAndReadBack) {
  short error = -1;
  const std::vector<float> values = {1.234f, -0.5f, 0.0f, -0.0f, 126.5f, -127.5f, 2.9999f};
  const std::string b = encode(values, &error);
  EXPECT_EQ(error, 0);
  const signed char expect[][2] = {{2, 46}, {-1, 100}, {1, 0}, {1, 0}, {127, 100}, {-128, 100}, {3, (signed char)199}};
  for (size_t k = 0; k < values.size(); ++k) {
    EXPECT_EQ((signed char)b[2 * k], expect[k][0]) << values[k];
    EXPECT_EQ((unsigned char)b[2 * k + 1], (unsigned char)expect[k][1]) << values[k];
  }

  const std::string name = makeTempDir("ff") + "/rb.bin";
  std::vector<float> zeros(values.size(), 0.0f);
  write_field(name, values.data(), zeros.data(), (short)values.size(), 1, &error);
  const std::vector<float> back = decode(name, (short)values.size(), 1, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(back[0], 1.23f);
  EXPECT_EQ(back[1], -0.5f);
  EXPECT_EQ(back[2], 0.0f);
  EXPECT_EQ(back[4], 126.5f);
  EXPECT_EQ(back[5], -127.5f);
}

TEST(FieldFile, OutOfRangeValuesSaturateWithCodeThree) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    float v;
    signed char e;
    unsigned char d;
  } cases[] = {{127.0f, 127, 199},   {500.0f, 127, 199},   {inf, 127, 199},  {-128.0f, -128, 199},
               {-1e6f, -128, 199},   {-inf, -128, 199},    {nan, 1, 0}};
  for (const auto& c : cases) {
    short error = -1;
    const std::string b = encode({c.v}, &error);
    EXPECT_EQ(error, 3) << c.v;
    EXPECT_EQ((signed char)b[0], c.e) << c.v;
    EXPECT_EQ((unsigned char)b[1], c.d) << c.v;
  }
  // Just inside the range: exact encoding, no error.
  short error = -1;
  const std::string b = encode({126.99f, -127.99f}, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ((signed char)b[0], 127);
  EXPECT_EQ((signed char)b[2], -128);
}

TEST(FieldFile, RoundTripTruncatesTowardZeroWithinHalfCentipixel) {
  std::vector<float> u, v;
  for (int k = -2530; k <= 2530; ++k) {
    u.push_back(k * 0.05f + 0.0013f);
    v.push_back(-k * 0.0317f);
  }
  const short n = (short)u.size();
  const std::string name = makeTempDir("ff") + "/rt.bin";
  const std::vector<float> uCopy = u, vCopy = v;
  short error = -1;
  write_field(name, u.data(), v.data(), n, 1, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(u, uCopy);  // the caller's buffers stay unchanged
  EXPECT_EQ(v, vCopy);
  std::vector<float> ub(n), vb(n);
  read_field(name, ub.data(), vb.data(), n, 1, &error);
  EXPECT_EQ(error, 0);
  for (int k = 0; k < n; ++k) {
    EXPECT_LE(std::fabs(ub[k]), std::fabs(u[k]) + 1e-5f) << u[k];
    EXPECT_LT(std::fabs(ub[k] - u[k]), 0.005f + 1e-5f) << u[k];
    EXPECT_LT(std::fabs(vb[k] - v[k]), 0.005f + 1e-5f) << v[k];
  }
}

TEST(FieldFile, HeaderAndPermissions) {
  const std::string name = makeTempDir("ff") + "/h.bin";
  const std::vector<float> zeros(300 * 200, 0.0f);
  const mode_t old = umask(022);
  short error = -1;
  write_field(name, zeros.data(), zeros.data(), 300, 200, &error);
  umask(old);
  EXPECT_EQ(error, 0);
  const std::string bytes = readFileBytes(name);
  ASSERT_EQ(bytes.size(), 4u + 4u * 300 * 200);
  EXPECT_EQ((unsigned char)bytes[0], 0);    // 200 lines
  EXPECT_EQ((unsigned char)bytes[1], 200);
  EXPECT_EQ((unsigned char)bytes[2], 1);    // 300 columns = 256 + 44
  EXPECT_EQ((unsigned char)bytes[3], 44);
  short col = 0, lig = 0;
  read_entete_field(name, &col, &lig, &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(col, 300);
  EXPECT_EQ(lig, 200);
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(FieldFile, FailuresReportThroughTheErrorArgument) {
  const std::string dir = makeTempDir("ff");
  float u[4] = {1, 2, 3, 4}, v[4] = {5, 6, 7, 8};
  short error = 0, col = 0, lig = 0;

  testing::internal::CaptureStderr();
  write_field(dir + "/no/such/dir.bin", u, v, 2, 2, &error);
  EXPECT_EQ(error, 1);
  read_entete_field(dir + "/absent.bin", &col, &lig, &error);
  EXPECT_EQ(error, 1);
  read_field(dir + "/absent.bin", u, v, 2, 2, &error);
  EXPECT_EQ(error, 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("fichier vecteurs"), std::string::npos) << err;
  EXPECT_NE(err.find("fichier vect."), std::string::npos) << err;

  // A file shorter than the planes asked for leaves both buffers untouched.
  const std::string small = dir + "/small.bin";
  write_field(small, u, v, 2, 1, &error);
  ASSERT_EQ(error, 0);
  testing::internal::CaptureStderr();
  read_field(small, u, v, 2, 2, &error);
  const std::string err2 = testing::internal::GetCapturedStderr();
  EXPECT_EQ(error, 4);
  EXPECT_NE(err2.find(small), std::string::npos) << err2;
  EXPECT_EQ(u[3], 4.0f);
  EXPECT_EQ(v[0], 5.0f);
}

TEST(FieldFile, ImageLevelWrappersAndWindow) {
  const std::string dir = makeTempDir("ff");
  const std::string name = dir + "/f.xa";
  CImg<double> f(4, 3, 2, 1);
  cimg_forXYZ(f, x, y, z) f(x, y, z) = (z ? -1.0 : 1.0) * (x + 10 * y) * 0.5;
  testing::internal::CaptureStdout();
  write_XAmotionH(name, f);
  const CImg<float> all = lire_XAmotionH(name, 4, 3, 0, 0, 4, 3);
  const CImg<float> win = lire_XAmotionH(name, 2, 1, 1, 2, 4, 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "writing " + name + "\nreading file " + name + "\nreading file " + name + "\n");
  ASSERT_EQ(all.width(), 4);
  ASSERT_EQ(all.depth(), 2);
  cimg_forXYZ(all, x, y, z) EXPECT_EQ(all(x, y, z), (float)f(x, y, z));
  ASSERT_EQ(win.width(), 2);
  ASSERT_EQ(win.height(), 1);
  EXPECT_EQ(win(0, 0, 0), all(1, 2, 0));
  EXPECT_EQ(win(1, 0, 1), all(2, 2, 1));

  // A reader failure gives the empty image after one line naming the file.
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const CImg<float> missing = lire_XAmotionH(dir + "/absent.xa", 2, 2, 0, 0, 2, 2);
  const CImg<float> tooBig = lire_XAmotionH(name, 4, 4, 0, 0, 4, 4);  // file holds 4 x 3
  const std::string err = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(missing.is_empty());
  EXPECT_TRUE(tooBig.is_empty());
  EXPECT_NE(err.find("lire_XAmotionH: '" + dir + "/absent.xa'"), std::string::npos) << err;
  EXPECT_NE(err.find("lire_XAmotionH: '" + name + "'"), std::string::npos) << err;
}
