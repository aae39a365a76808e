#include <cfloat>

#include <gtest/gtest.h>

// Subnormal results flush to zero in every test program, as in the program itself.
TEST(FloatingPointModes, FlushToZeroIsOn) {
  volatile double tiny = DBL_MIN;
  volatile double half = tiny * 0.5;
  EXPECT_EQ(half, 0.0);
}
