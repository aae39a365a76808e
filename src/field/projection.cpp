#include "field/projection.h"

#include <cmath>
#include <vector>

#include <CImg.h>

#include "io/fail.h"

using namespace cimg_library;

namespace {

// Frequency index of each position along an axis of length n: 0 .. n/2, then negative; the index n/2
// of an even length counts as positive.
std::vector<double> frequencyIndices(int n) {
  std::vector<double> k(n);
  for (int j = 0; j < n; ++j) k[j] = j <= n / 2 ? j : j - n;
  return k;
}

std::string sizeText(const CImg<double>& im) {
  return std::to_string(im.width()) + " x " + std::to_string(im.height()) + " x " +
         std::to_string(im.depth());
}

}  // namespace

void maj_vecteurs(CImg<double>& X, const CImg<double>& Xin, bool divNul) {
  const int nbc = Xin.width(), nbl = Xin.height();
  if (Xin.is_empty() || Xin.depth() < 2)
    failRun("maj_vecteurs: the input field (" + sizeText(Xin) + ") needs two planes (u, v)");
  if (X.width() < nbc || X.height() < nbl || X.depth() < 2)
    failRun("maj_vecteurs: the output field (" + sizeText(X) + ") is smaller than the input (" + sizeText(Xin) +
            ")");

  // The mean of each component, summed in pixel order. A uniform motion has no divergence: the
  // projection keeps it and works on the rest (the zero-frequency terms below are left out).
  double meanU = 0, meanV = 0;
  for (int y = 0; y < nbl; ++y)
    for (int x = 0; x < nbc; ++x) {
      meanU += Xin(x, y, 0);
      meanV += Xin(x, y, 1);
    }
  meanU /= (double)nbc * (double)nbl;
  meanV /= (double)nbc * (double)nbl;

  // Spectra of u and v (unnormalised forward transforms). The input is read completely here, so X
  // may be the input itself.
  CImg<double> FuRe = Xin.get_crop(0, 0, 0, 0, nbc - 1, nbl - 1, 0, 0), FuIm;
  CImg<double> FvRe = Xin.get_crop(0, 0, 1, 0, nbc - 1, nbl - 1, 1, 0), FvIm;
  CImg<double>::FFT(FuRe, FuIm, false);
  CImg<double>::FFT(FvRe, FvIm, false);

  // The split uses the wavenumbers kx = 2*pi*a/nbc and ky = 2*pi*b/nbl of the frequency indices a, b.
  // The rebuild uses the indices on one common scale, ra = a*L/nbc and rb = b*L/nbl with
  // L = sqrt(nbc*nbl): (ra, rb) is (kx, ky) times L/(2*pi), so with the final factor L/(2*pi) each mode
  // comes back as its part along (kx, ky) (from the divergence) plus its part across (from the curl),
  // whatever the shape of the field. For a square field ra is a exactly (a*N/N, and L is N exactly), so
  // every value is the one of the plain indices.
  const std::vector<double> ak = frequencyIndices(nbc), bk = frequencyIndices(nbl);
  const double L = std::sqrt((double)nbc * (double)nbl);
  std::vector<double> ra(nbc), rb(nbl), ra2(nbc), rb2(nbl);
  for (int j = 0; j < nbc; ++j) ra[j] = ak[j] * L / nbc, ra2[j] = ra[j] * ra[j];
  for (int j = 0; j < nbl; ++j) rb[j] = bk[j] * L / nbl, rb2[j] = rb[j] * rb[j];

  // Rebuilt spectra of u and v, from the divergence spectrum (zero when divNul) and the curl spectrum.
  CImg<double> fxRe(nbc, nbl), fxIm(nbc, nbl), fyRe(nbc, nbl), fyIm(nbc, nbl);
  const double stepX = 6.283185307179586 / nbc, stepY = 6.283185307179586 / nbl;
  for (int k = 0; k < nbl; ++k)
    for (int m = 0; m < nbc; ++m) {
      const double kx = stepX * ak[m], ky = stepY * bk[k];
      const double reFu = FuRe(m, k), imFu = FuIm(m, k), reFv = FvRe(m, k), imFv = FvIm(m, k);
      double divRe = 0, divIm = 0;
      if (!divNul) {
        divRe = -(kx * imFu + ky * imFv);
        divIm = kx * reFu + ky * reFv;
      }
      const double curlRe = ky * imFu - kx * imFv;
      const double curlIm = kx * reFv - ky * reFu;

      const double a = ra[m], b = rb[k];
      double xr, xi, yr, yi;
      if (m == 0 && k == 0) {  // the means, added back after the inverse transforms
        xr = xi = yr = yi = 0;
      } else if (k == 0) {  // b = 0: its terms are left out
        const double d = ra2[m];
        xr = (a * divIm) / d;
        xi = -(a * divRe) / d;
        yr = (a * curlIm) / d;
        yi = -(a * curlRe) / d;
      } else if (m == 0) {  // a = 0: its terms are left out
        const double d = rb2[k];
        xr = -(b * curlIm) / d;
        xi = (b * curlRe) / d;
        yr = (b * divIm) / d;
        yi = -(b * divRe) / d;
      } else {
        const double d = ra2[m] + rb2[k];
        xr = (a * divIm - b * curlIm) / d;
        xi = (b * curlRe - a * divRe) / d;
        yr = (b * divIm + a * curlIm) / d;
        yi = -(a * curlRe + b * divRe) / d;
      }
      fxRe(m, k) = xr;
      fxIm(m, k) = xi;
      fyRe(m, k) = yr;
      fyIm(m, k) = yi;
    }

  // Inverse transforms (divided by nbc*nbl); the imaginary parts are dropped.
  CImg<double>::FFT(fxRe, fxIm, true);
  CImg<double>::FFT(fyRe, fyIm, true);
  for (int y = 0; y < nbl; ++y)
    for (int x = 0; x < nbc; ++x) {
      X(x, y, 0) = fxRe(x, y) * L * 0.15915494309189535 + meanU;
      X(x, y, 1) = fyRe(x, y) * L * 0.15915494309189535 + meanV;
    }
}

CImg<double> divImOrder2(const CImg<double>& im) {
  const int w = im.width(), h = im.height();
  CImg<double> divIm(w, h, 1, 1);
  if (divIm.is_empty()) return divIm;
  if (im.depth() < 2) failRun("divImOrder2: the field (" + sizeText(im) + ") needs two planes (u, v)");
  CImg<float> u(w, h), v(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      u(x, y) = (float)im(x, y, 0);
      v(x, y) = (float)im(x, y, 1);
    }
  for (int y = 0; y < h; ++y) {
    const int yp = y + 1 < h ? y + 1 : h - 1, ym = y > 0 ? y - 1 : 0;
    for (int x = 0; x < w; ++x) {
      const int xp = x + 1 < w ? x + 1 : w - 1, xm = x > 0 ? x - 1 : 0;
      const float Ux = (u(xp, y) - u(xm, y)) * 0.5f;
      const float Vy = (v(x, yp) - v(x, ym)) * 0.5f;
      divIm(x, y) = (double)(Ux + Vy);
    }
  }
  return divIm;
}
