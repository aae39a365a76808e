// Minimal standard uniform generator with a shuffle table, and polar-method Gaussian deviates.
#include "evidence/random.h"

#include <cmath>

namespace {

const long kMultiplier = 16807;           // x <- a * x mod m
const long kModulus = 2147483647;         // 2^31 - 1
const long kSchrageQ = 127773;            // m / a
const long kSchrageR = 2836;              // m mod a
const int kTableSize = 32;
const long kSlotDivisor = 67108864;       // 1 + (m - 1) / table size
const double kScale = 4.656612875245797e-10;  // 1 / m
const double kLargest = 0.99999988;       // 1 - 1.2e-7: keeps the result below 1

// x <- a * x mod m without any intermediate beyond 31 bits (0 < x < m).
inline void schrageStep(long* x) {
  long k = *x / kSchrageQ;
  *x = kMultiplier * (*x - k * kSchrageQ) - kSchrageR * k;
  if (*x < 0) *x += kModulus;
}

}  // namespace

float ran1(long* idum) {
  static long iy = 0;  // last value taken out of the table; 0 means never initialised
  static long iv[kTableSize];
  if (*idum <= 0 || iy == 0) {
    *idum = -(*idum);
    if (*idum <= 0) *idum = 1;
    // 8 warm-up steps, then fill the table from its last slot down to slot 0.
    for (int j = kTableSize + 7; j >= 0; j--) {
      schrageStep(idum);
      if (j < kTableSize) iv[j] = *idum;
    }
    iy = iv[0];
  }
  schrageStep(idum);
  int j = (int)(iy / kSlotDivisor);
  iy = iv[j];
  iv[j] = *idum;
  float temp = (float)(kScale * (double)iy);
  if ((double)temp > kLargest) return (float)kLargest;
  return temp;
}

float gasdev(long* idum) {
  static int iset = 0;  // 1 when a deviate is kept for the next call
  static float gset;
  if (iset != 0) {
    iset = 0;
    return gset;
  }
  float v1, v2, rsq;
  do {
    v1 = (float)(2.0 * (double)ran1(idum) - 1.0);
    v2 = (float)(2.0 * (double)ran1(idum) - 1.0);
    rsq = v1 * v1 + v2 * v2;
  } while (rsq >= 1.0f || rsq == 0.0f);
  float fac = (float)std::sqrt(-2.0 * std::log((double)rsq) / (double)rsq);
  gset = v1 * fac;
  iset = 1;
  return v2 * fac;
}
