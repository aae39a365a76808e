// Synthetic particle images with a known smooth displacement, for tests, benchmarks and the example
// generator: Gaussian particles scattered over the first image and moved by the displacement in the
// second.
#pragma once

#include <cstdint>
#include <string>

#include <CImg.h>

#include "support/child_process.h"  // writeFileBytes

// A smooth, divergence-free displacement in pixels (a cellular vortex pattern):
//   u(x, y) =  amplitude * sin(2 pi x / period) * cos(2 pi y / period)
//   v(x, y) = -amplitude * cos(2 pi x / period) * sin(2 pi y / period)
struct VortexMotion {
  double amplitude = 1.5;
  double period = 128.0;
  double u(double x, double y) const;
  double v(double x, double y) const;
};

// The displacement sampled at every pixel: width x height x 2 (plane 0 u, plane 1 v).
cimg_library::CImg<double> motionField(const VortexMotion& motion, int width, int height);

struct ParticleImageSettings {
  int width = 128;
  int height = 128;
  int count = 600;        // particles scattered over the image (and a margin around it)
  double sigma = 1.0;     // Gaussian radius of a particle (pixels)
  double peakMin = 120;   // peak intensity of a particle, uniform in [peakMin, peakMax]
  double peakMax = 255;
  std::uint32_t seed = 1;
};

struct ParticlePair {
  cimg_library::CImg<double> first;   // particles at their positions p, values 0 to 255
  cimg_library::CImg<double> second;  // the same particles at p + (u(p), v(p))
  cimg_library::CImg<double> motion;  // the displacement at every pixel (width x height x 2)
};

// A deterministic pair for the given settings (the same seed gives the same images everywhere).
ParticlePair makeParticlePair(const ParticleImageSettings& settings, const VortexMotion& motion);

// A smooth texture (a few plane waves of wavelengths about 15 to 30 pixels, values within 0..255)
// and the same texture moved by the uniform displacement (u, v): second(x + u, y + v) = first(x, y).
ParticlePair makeTranslatedPair(int width, int height, double u, double v);

// Writes `image` (plane 0, values rounded and clamped to 0..255) as a binary PGM with maxval 255.
void writePgm8(const cimg_library::CImg<double>& image, const std::string& path);

