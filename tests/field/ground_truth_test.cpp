// Comparison with a true field: the three statistics, the printed line, the result slots and the maps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <random>
#include <string>

#include <CImg.h>

#include "support/child_process.h"
#include "field/field.h"

using namespace cimg_library;

namespace {

CImg<double> constantField(int w, int h, double u, double v) {
  CImg<double> f(w, h, 2, 1);
  cimg_forXY(f, x, y) {
    f(x, y, 0) = u;
    f(x, y, 1) = v;
  }
  return f;
}

// Raster bytes of an 8-bit PGM after checking its header.
std::string pgmRaster(const std::string& path, int w, int h) {
  const std::string bytes = readFileBytes(path);
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  if (bytes.compare(0, header.size(), header) != 0) return "bad header";
  return bytes.substr(header.size());
}

}  // namespace

TEST(GroundTruthComparison, UnitErrorAgainstZeroTruth) {
  const std::string prefix = makeTempDir("gt") + "/run_";
  const CImg<double> est = constantField(4, 3, 1, 0), truth = constantField(4, 3, 0, 0);
  const CImg<double> mask(4, 3, 1, 1, 1.0);
  CImg<double> save(20, 1, 1, 1, -7.0);
  testing::internal::CaptureStdout();
  groundTruthComparison(est, truth, mask, prefix, save);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "End Point Error :1; Barron angular error :45; RMS difference with true UV :1\n");
  EXPECT_DOUBLE_EQ(save[11], 1.0);
  EXPECT_NEAR(save[12], 45.0, 1e-12);
  EXPECT_DOUBLE_EQ(save[13], 1.0);
  for (int k = 0; k < 20; ++k) {
    if (k < 11 || k > 13) {
      EXPECT_EQ(save[k], -7.0) << k;  // other slots untouched
    }
  }
  EXPECT_EQ(pgmRaster(prefix + "Barron.pgm", 4, 3), std::string(12, '\xff'));
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 4, 3), std::string(12, '\xff'));
}

TEST(GroundTruthComparison, SmallErrorMapsAndMaskWeights) {
  const std::string prefix = makeTempDir("gt") + "/p";
  const CImg<double> est = constantField(3, 2, 0, 0), truth = constantField(3, 2, 0.14, 0);
  CImg<double> save(20, 1, 1, 1, 0.0);
  testing::internal::CaptureStdout();
  groundTruthComparison(est, truth, CImg<double>(3, 2, 1, 1, 1.0), prefix, save);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 3, 2), std::string(6, (char)51));
  const double angle = std::acos(1 / std::sqrt(0.14 * 0.14 + 1)) * 57.29577951308232;
  EXPECT_NEAR(save[12], angle, 1e-12);
  const int byte = (int)(angle * (255.0 / 30.0) + 0.5);
  EXPECT_EQ(pgmRaster(prefix + "Barron.pgm", 3, 2), std::string(6, (char)byte));

  // Weights: only the pixels of mask 1 count, the maps are zero where the mask is 0.
  CImg<double> e2 = est;
  e2(0, 0, 0) = 3;  // a large error at a pixel that the mask leaves out
  CImg<double> mask(3, 2, 1, 1, 1.0);
  mask(0, 0) = 0;
  testing::internal::CaptureStdout();
  groundTruthComparison(e2, truth, mask, prefix, save);
  testing::internal::GetCapturedStdout();
  EXPECT_NEAR(save[11], 0.14, 1e-15);
  EXPECT_NEAR(save[13], 0.14, 1e-15);
  const std::string ep = pgmRaster(prefix + "EndPoint.pgm", 3, 2);
  EXPECT_EQ(ep, std::string(1, '\0') + std::string(5, (char)51));
}

TEST(GroundTruthComparison, EqualFieldsGiveZeroAngleWithoutNaN) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-3, 3);
  CImg<double> f(16, 16, 2, 1);
  cimg_forXYZ(f, x, y, z) f(x, y, z) = d(gen);
  const std::string prefix = makeTempDir("gt") + "/eq";
  CImg<double> save(20, 1, 1, 1, 0.0);
  testing::internal::CaptureStdout();
  groundTruthComparison(f, f, CImg<double>(16, 16, 1, 1, 1.0), prefix, save);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(save[11], 0.0);
  EXPECT_FALSE(std::isnan(save[12]));
  EXPECT_LT(save[12], 1e-5);  // acos of a cosine rounded just below 1 is a few 1e-8 rad at most
  EXPECT_EQ(save[13], 0.0);
}

TEST(GroundTruthComparison, ShorterFormsWriteTheirMaps) {
  const std::string dir = makeTempDir("gt");
  const CImg<double> est = constantField(2, 2, 1, 0), truth = constantField(2, 2, 0, 0);
  testing::internal::CaptureStdout();
  groundTruthComparison(est, truth, CImg<double>(2, 2, 1, 1, 1.0), dir + "/four_");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(pgmRaster(dir + "/four_Barron.pgm", 2, 2), std::string(4, '\xff'));

  // The two-argument form writes "toBeErased" maps in the working directory.
  ChildResult r = runInChild([&] {
    if (chdir(dir.c_str()) != 0) return;
    groundTruthComparison(est, truth);
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "End Point Error :1; Barron angular error :45; RMS difference with true UV :1\n");
  EXPECT_EQ(pgmRaster(dir + "/toBeErasedBarron.pgm", 2, 2), std::string(4, '\xff'));
  EXPECT_EQ(pgmRaster(dir + "/toBeErasedEndPoint.pgm", 2, 2), std::string(4, '\xff'));
}

TEST(GroundTruthComparison, EmptyMaskChangesNothing) {
  const std::string prefix = makeTempDir("gt") + "/z";
  CImg<double> save(20, 1, 1, 1, 2.5);
  testing::internal::CaptureStdout();
  groundTruthComparison(constantField(2, 2, 1, 0), constantField(2, 2, 0, 0), CImg<double>(2, 2, 1, 1, 0.0),
                        prefix, save);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("mask sums to 0"), std::string::npos) << out;
  EXPECT_EQ(save[11], 2.5);
  EXPECT_EQ(save[12], 2.5);
  EXPECT_EQ(save[13], 2.5);
  EXPECT_EQ(readFileBytes(prefix + "Barron.pgm"), "");
}

TEST(GroundTruthComparison, MismatchedInputsAreRefused) {
  const std::string prefix = makeTempDir("gt") + "/m";
  const CImg<double> a = constantField(4, 4, 0, 0), b = constantField(4, 3, 0, 0);
  const CImg<double> ones44(4, 4, 1, 1, 1.0), ones43(4, 3, 1, 1, 1.0);
  CImg<double> save(20, 1, 1, 1, 0.0), shortSave(13, 1, 1, 1, 0.0);
  const std::function<void()> calls[] = {
      [&] { groundTruthComparison(a, b, ones44, prefix, save); },
      [&] { groundTruthComparison(a, a, ones43, prefix, save); },
      [&] { groundTruthComparison(a.get_slice(0), a, ones44, prefix, save); },
      [&] { groundTruthComparison(a, a, ones44, prefix, shortSave); },
  };
  for (const auto& call : calls) {
    ChildResult r = runInChild(call);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("groundTruthComparison"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(GroundTruthComparison, LongPrefixGivesFullMapNames) {
  // Map names are not cut to a fixed buffer: a prefix of more than 87 characters still names its maps.
  const std::string prefix = makeTempDir("gt") + "/" + std::string(95, 'x');
  ASSERT_GT(prefix.size() + std::string("EndPoint.pgm").size(), 99u);
  CImg<double> save(20, 1, 1, 1, 0.0);
  ChildResult r = runInChild([&] {
    groundTruthComparison(constantField(2, 2, 1, 0), constantField(2, 2, 0, 0), CImg<double>(2, 2, 1, 1, 1.0),
                          prefix, save);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(pgmRaster(prefix + "Barron.pgm", 2, 2), std::string(4, '\xff'));
  EXPECT_EQ(pgmRaster(prefix + "EndPoint.pgm", 2, 2), std::string(4, '\xff'));
}
