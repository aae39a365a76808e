#include "particles.h"

#include <cmath>
#include <vector>

using namespace cimg_library;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small portable generator (xorshift32): the same sequence on every platform and library.
struct Xorshift32 {
  std::uint32_t state;
  // The seed is mixed first so that small seeds do not start with a run of small numbers.
  explicit Xorshift32(std::uint32_t seed) {
    std::uint32_t z = seed + 0x9E3779B9u;
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    z ^= z >> 16;
    state = z ? z : 0x9E3779B9u;
  }
  std::uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double uniform() { return (next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
};

void splat(CImg<double>& img, double px, double py, double peak, double sigma) {
  const int r = (int)std::ceil(4 * sigma);
  const int x0 = (int)std::floor(px) - r, x1 = (int)std::floor(px) + r + 1;
  const int y0 = (int)std::floor(py) - r, y1 = (int)std::floor(py) + r + 1;
  const double inv = 1.0 / (2 * sigma * sigma);
  for (int y = y0; y <= y1; ++y) {
    if (y < 0 || y >= img.height()) continue;
    for (int x = x0; x <= x1; ++x) {
      if (x < 0 || x >= img.width()) continue;
      const double dx = x - px, dy = y - py;
      img(x, y) += peak * std::exp(-(dx * dx + dy * dy) * inv);
    }
  }
}

}  // namespace

double VortexMotion::u(double x, double y) const {
  return amplitude * std::sin(2 * kPi * x / period) * std::cos(2 * kPi * y / period);
}

double VortexMotion::v(double x, double y) const {
  return -amplitude * std::cos(2 * kPi * x / period) * std::sin(2 * kPi * y / period);
}

CImg<double> motionField(const VortexMotion& motion, int width, int height) {
  CImg<double> f(width, height, 2, 1, 0.0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      f(x, y, 0) = motion.u(x, y);
      f(x, y, 1) = motion.v(x, y);
    }
  return f;
}

ParticlePair makeParticlePair(const ParticleImageSettings& s, const VortexMotion& motion) {
  ParticlePair pair;
  pair.first.assign(s.width, s.height, 1, 1, 0.0);
  pair.second.assign(s.width, s.height, 1, 1, 0.0);
  Xorshift32 rng(s.seed);
  // Particles may start a little outside the image so that they also enter across the border.
  const double margin = 4 * s.sigma + 2 * std::fabs(motion.amplitude);
  for (int k = 0; k < s.count; ++k) {
    const double px = -margin + rng.uniform() * (s.width + 2 * margin);
    const double py = -margin + rng.uniform() * (s.height + 2 * margin);
    const double peak = s.peakMin + rng.uniform() * (s.peakMax - s.peakMin);
    splat(pair.first, px, py, peak, s.sigma);
    splat(pair.second, px + motion.u(px, py), py + motion.v(px, py), peak, s.sigma);
  }
  pair.first.cut(0, 255);
  pair.second.cut(0, 255);
  pair.motion = motionField(motion, s.width, s.height);
  return pair;
}

ParticlePair makeTranslatedPair(int width, int height, double u, double v) {
  auto texture = [](double x, double y) {
    return 128 + 45 * std::sin(2 * kPi * (x / 23 + y / 37) + 0.3) + 40 * std::cos(2 * kPi * (x / 29 - y / 19) + 1.1) +
           30 * std::sin(2 * kPi * (x / 17 + y / 31) + 2.0);
  };
  ParticlePair pair;
  pair.first.assign(width, height, 1, 1, 0.0);
  pair.second.assign(width, height, 1, 1, 0.0);
  pair.motion.assign(width, height, 2, 1, 0.0);
  cimg_forXY(pair.first, x, y) {
    pair.first(x, y) = texture(x, y);
    pair.second(x, y) = texture(x - u, y - v);
    pair.motion(x, y, 0) = u;
    pair.motion(x, y, 1) = v;
  }
  return pair;
}

void writePgm8(const CImg<double>& image, const std::string& path) {
  std::string bytes = "P5\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n255\n";
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      double v = std::floor(image(x, y) + 0.5);
      v = v < 0 ? 0 : v > 255 ? 255 : v;
      bytes.push_back((char)(unsigned char)v);
    }
  writeFileBytes(path, bytes);
}

