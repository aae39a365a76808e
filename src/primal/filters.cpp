#include "primal/filters.h"

#include <cmath>

using namespace cimg_library;

namespace {

inline int clampIndex(int i, int n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }
inline int wrapIndex(int i, int n) {
  const int m = i % n;
  return m < 0 ? m + n : m;
}

// Next and previous index under the border rule of the operators.
inline int nextIndex(int i, int n, bool periodic) { return i + 1 < n ? i + 1 : (periodic ? 0 : i); }
inline int prevIndex(int i, int n, bool periodic) { return i > 0 ? i - 1 : (periodic ? n - 1 : i); }

// An nc x nl image whose value at (x, y) is value(x, y, xn, xp, yn, yp), given the next and previous
// column and line under the border rule.
template <class Value>
CImg<double> fourNeighbourMap(int nc, int nl, bool periodic, Value value) {
  CImg<double> res(nc, nl, 1, 1);
  for (int y = 0; y < nl; ++y) {
    const int yn = nextIndex(y, nl, periodic), yp = prevIndex(y, nl, periodic);
    for (int x = 0; x < nc; ++x) {
      const int xn = nextIndex(x, nc, periodic), xp = prevIndex(x, nc, periodic);
      res(x, y) = value(x, y, xn, xp, yn, yp);
    }
  }
  return res;
}

template <int (*Border)(int, int)>
CImg<double> correlate(const CImg<double>& b, const CImg<double>& filtre) {
  const int nc = b.width(), nl = b.height();
  const int nb_colF = filtre.width(), nb_ligF = filtre.height();
  const int hc = nb_colF / 2, hl = nb_ligF / 2;
  CImg<double> res(nc, nl, 1, 1);
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      double s = 0.0;
      for (int k = -hl; k <= hl; ++k) {
        const int Y = Border(y + k, nl);
        for (int l = -hc; l <= hc; ++l) s += b(Border(x + l, nc), Y) * filtre(l + hc, k + hl);
      }
      res(x, y) = s;
    }
  return res;
}

}  // namespace

CImg<double> Filtre_2D(const CImg<double>& b, const CImg<double>& filtre) {
  return correlate<clampIndex>(b, filtre);
}

CImg<double> Filtre_2D(const CImg<double>& b, const CImg<double>& filtre, bool periodic) {
  if (!periodic) return Filtre_2D(b, filtre);
  return correlate<wrapIndex>(b, filtre);
}

CImg<double> laplacian(const CImg<double>& im, bool periodic) {
  static const double m[9] = {0, 1, 0, 1, -4, 1, 0, 1, 0};
  const CImg<double> mask(m, 3, 3, 1, 1);
  return Filtre_2D(im, mask, periodic);
}

CImg<double> laplacian(const CImg<double>& im, const CImgList<double>& z, bool periodic) {
  const CImg<double>&z0 = z[0], &z1 = z[1];
  return fourNeighbourMap(im.width(), im.height(), periodic, [&](int x, int y, int xn, int xp, int yn, int yp) {
    const double c = im(x, y);
    double s = 0.0;
    s += z1(x, y) * (im(x, yn) - c);
    s += z1(x, yp) * (im(x, yp) - c);
    s += z0(x, y) * (im(xn, y) - c);
    s += z0(xp, y) * (im(xp, y) - c);
    return s;
  });
}

CImg<double> laplacianPiemeDerivRobustWeight(const CImg<double>& im, const CImgList<double>& z, const CImg<double>& U,
                                             double power, bool periodic) {
  const CImg<double>&z0 = z[0], &z1 = z[1];
  return fourNeighbourMap(im.width(), im.height(), periodic, [&](int x, int y, int xn, int xp, int yn, int yp) {
    const double c = im(x, y), uc = U(x, y);
    double s = 0.0;
    s += (im(x, yn) - c) * z1(x, y) * std::pow(U(x, yn) - uc, power);
    s += std::pow(uc - U(x, yp), power) * (im(x, yp) - c) * z1(x, yp);
    s += std::pow(U(xn, y) - uc, power) * (im(xn, y) - c) * z0(x, y);
    s += std::pow(uc - U(xp, y), power) * (im(xp, y) - c) * z0(xp, y);
    return s;
  });
}

CImg<double> GradRobX_powK(const CImg<double>& im, const CImg<double>& z, double power, bool periodic) {
  const int nc = im.width(), nl = im.height();
  CImg<double> res(nc, nl, 1, 1);
  for (int y = 0; y < nl; ++y)
    for (int x = 0; x < nc; ++x) {
      const int xn = nextIndex(x, nc, periodic), xp = prevIndex(x, nc, periodic);
      res(x, y) = 0.5 * (std::pow(im(x, y) - im(xp, y), power) * z(xp, y) +
                         std::pow(im(xn, y) - im(x, y), power) * z(x, y));
    }
  return res;
}

CImg<double> GradRobY_powK(const CImg<double>& im, const CImg<double>& z, double power, bool periodic) {
  const int nc = im.width(), nl = im.height();
  CImg<double> res(nc, nl, 1, 1);
  for (int y = 0; y < nl; ++y) {
    const int yn = nextIndex(y, nl, periodic), yp = prevIndex(y, nl, periodic);
    for (int x = 0; x < nc; ++x)
      res(x, y) = 0.5 * (std::pow(im(x, y) - im(x, yp), power) * z(x, yp) +
                         std::pow(im(x, yn) - im(x, y), power) * z(x, y));
  }
  return res;
}
