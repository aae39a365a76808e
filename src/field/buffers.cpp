#include "field/buffers.h"

#include <cstring>

#include <CImg.h>
using namespace cimg_library;

float* CImg2float(const CImg<double>& in) {
  const long long w = in.width(), h = in.height(), d = in.depth();
  const long long plane = w * h;
  float* out = new float[plane * d];
  // Channel 0 is the first w*h*d values of the image, in the same order as the buffer.
  const double* src = in.data();
  for (long long k = 0; k < plane * d; ++k) out[k] = (float)src[k];
  return out;
}

CImg<double> float2CImg(int dx, int dy, const float* in) { return float2CImg(dx, dy, 1, in); }

CImg<double> float2CImg(int dx, int dy, int dz, const float* in) {
  if (dx <= 0 || dy <= 0 || dz <= 0) return CImg<double>();
  CImg<double> out(dx, dy, dz, 1);
  double* dst = out.data();
  const long long n = (long long)dx * dy * dz;
  for (long long k = 0; k < n; ++k) dst[k] = (double)in[k];
  return out;
}

void Copy_f(float* im1, const float* im2, int nb_col, int nb_line) {
  const long long n = (long long)nb_col * nb_line;
  if (n < 1) return;
  const bool overlap = im1 < im2 + n && im2 < im1 + n;
  if (!overlap) {
    std::memcpy(im1, im2, (size_t)n * sizeof(float));
  } else {
    for (long long k = 0; k < n; ++k) im1[k] = im2[k];
  }
}

CImg<double> fill(const CImg<double>& a, const CImg<double>& b) {
  const int w = a.width(), h = a.height();
  CImg<double> out(w, h, 2, 1);
  const int bw = b.width();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      out(x, y, 0) = a(x, y);
      out(x, y, 1) = b.data()[x + (long long)y * bw];
    }
  return out;
}

void FillChannel(CImg<double>& out, const CImg<double>& im, int band) {
  const long long ow = out.width(), oh = out.height();
  const int w = im.width(), h = im.height();
  double* o = out.data();
  const double* s = im.data();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) o[x + ow * (band * oh + y)] = s[x + (long long)y * w];
}

namespace {

// A copy of in with change(v) applied to every value v of the first plane; the sizes are taken as
// short, like the counts of the image files.
template <class Change>
CImg<double> changedCopy(const CImg<double>& in, Change change) {
  const short nc = (short)in.width(), nl = (short)in.height();
  CImg<double> out(in);
  const long long w = out.width();
  double* p = out.data();
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) change(p[x + y * w]);
  return out;
}

}  // namespace

CImg<double> binarize(const CImg<double>& in, double tresh) {
  return changedCopy(in, [tresh](double& v) { v = v > tresh ? 1.0 : 0.0; });
}

CImg<double> treshold_minmax(const CImg<double>& in, double treshmin, double treshmax, double flag) {
  return changedCopy(in, [=](double& v) {
    if (v <= treshmin || v >= treshmax) v = flag;
  });
}

void BlocDensify(CImg<double>& X, int sampInt, int sampInitx, int sampInity) {
  if (sampInt <= 0) return;
  const int w = X.width(), h = X.height();
  const int planes = X.depth() < 2 ? X.depth() : 2;
  for (int y0 = sampInity; y0 < h - sampInt; y0 += sampInt)
    for (int x0 = sampInitx; x0 < w - sampInt; x0 += sampInt)
      for (int z = 0; z < planes; ++z) {
        if (x0 < 0 || y0 < 0) continue;  // an origin left of or above the image has no sample
        const double v = X(x0, y0, z);
        for (int i = 0; i < sampInt; ++i)
          for (int j = 0; j < sampInt; ++j) X(x0 + j, y0 + i, z) = v;
      }
}
