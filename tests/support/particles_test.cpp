// The synthetic particle images: deterministic, displaced by the stated motion, and the shipped
// example made by them.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <CImg.h>

#include "io/io.h"
#include "support/child_process.h"
#include "support/particles.h"

using namespace cimg_library;

namespace {

TEST(Particles, OneParticleMovesByTheDisplacementAtItsPosition) {
  ParticleImageSettings s;
  s.width = 40;
  s.height = 40;
  s.count = 1;
  s.sigma = 1.5;
  VortexMotion m;
  m.amplitude = 2.0;
  m.period = 40.0;
  int inside = 0;
  for (std::uint32_t seed = 1; seed < 41; ++seed) {
    s.seed = seed;
    const ParticlePair p = makeParticlePair(s, m);
    // Intensity-weighted centroids of particles that lie well inside the image.
    auto centroid = [](const CImg<double>& im, double& cx, double& cy) {
      double sum = 0;
      cx = cy = 0;
      cimg_forXY(im, x, y) {
        sum += im(x, y);
        cx += x * im(x, y);
        cy += y * im(x, y);
      }
      cx /= sum;
      cy /= sum;
      return sum;
    };
    double x1, y1, x2, y2;
    const double s1 = centroid(p.first, x1, y1), s2 = centroid(p.second, x2, y2);
    if (!(x1 >= 10 && x1 <= 30 && y1 >= 10 && y1 <= 30)) continue;  // also an empty image (no sum)
    ++inside;
    EXPECT_NEAR(s1, s2, 1e-4 * s1);  // the same particle, sampled at another offset
    EXPECT_NEAR(x2 - x1, m.u(x1, y1), 1e-3);
    EXPECT_NEAR(y2 - y1, m.v(x1, y1), 1e-3);
  }
  EXPECT_GE(inside, 3);
}

TEST(Particles, TheDisplacementIsSmoothAndDivergenceFree) {
  VortexMotion m;
  const CImg<double> f = motionField(m, 64, 48);
  ASSERT_EQ(f.depth(), 2);
  EXPECT_EQ(f(10, 20, 0), m.u(10, 20));
  EXPECT_EQ(f(10, 20, 1), m.v(10, 20));
  const double h = 1e-4;
  for (double x : {3.0, 17.5, 40.0})
    for (double y : {5.0, 33.3}) {
      const double div = (m.u(x + h, y) - m.u(x - h, y) + m.v(x, y + h) - m.v(x, y - h)) / (2 * h);
      EXPECT_NEAR(div, 0.0, 1e-8);
    }
  EXPECT_LE(f.max(), m.amplitude);
  EXPECT_GE(f.min(), -m.amplitude);
}

TEST(Particles, TheShippedExampleIsTheGeneratorsOutput) {
  const std::string ex = std::string(VRM_SOURCE_DIR) + "/examples/";
  const ParticlePair p = makeParticlePair(ParticleImageSettings(), VortexMotion());
  const std::string dir = makeTempDir("example");
  writePgm8(p.first, dir + "/t.pgm");
  writePgm8(p.second, dir + "/dt.pgm");
  EXPECT_EQ(readFileBytes(ex + "particles_t.pgm"), readFileBytes(dir + "/t.pgm"));
  EXPECT_EQ(readFileBytes(ex + "particles_dt.pgm"), readFileBytes(dir + "/dt.pgm"));
  ::testing::internal::CaptureStdout();
  const CImg<double> truth(read_aMotionFile(ex + "particles_true.motion", 128, 128, 128, 0, 0));
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(truth.width(), 128);
  cimg_forXYZ(truth, x, y, z) ASSERT_NEAR(truth(x, y, z), p.motion(x, y, z), 1e-6);  // six decimals of a float
  std::vector<std::string> lines = alloc_seqPath(5);
  read_path(ex + "inputVorlane", 5, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"examples/particles_t.pgm", "examples/particles_dt.pgm", "build/demo/",
                                             "examples/particles_true.motion", "examples/lambda_init.txt"}));
}

}  // namespace
