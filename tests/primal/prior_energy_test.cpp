#include <CImg.h>
#include <gtest/gtest.h>

#include "primal/primal.h"

using namespace cimg_library;

TEST(PriorEnergy, ConstantFieldHasNoEnergy) {
  const CImg<double> U(5, 4, 1, 1, 1.5), V(5, 4, 1, 1, -2.0);
  const CImgList<double> w(2, 5, 4, 1, 1, 0.7);
  for (bool periodic : {false, true}) {
    EXPECT_EQ(PriorEnergyHS_powK_1st(U, V, w, 2.0, periodic), 0.0);
    EXPECT_EQ(PriorEnergyHS_powK_1st(U, V, 1.0, periodic), 0.0);
    EXPECT_EQ(PriorEnergyHS_powK_2nd(U, V, w, 2.0, periodic), 0.0);
    EXPECT_EQ(PriorEnergyHS_2nd(U, V, w, periodic), 0.0);
    EXPECT_EQ(PriorEnergyHS_2nd(U, V, periodic), 0.0);
  }
}

TEST(PriorEnergy, HorizontalRamp) {
  CImg<double> U(4, 3, 1, 1);
  cimg_forXY(U, x, y) U(x, y) = x;
  const CImg<double> V(4, 3, 1, 1, 0.0);
  EXPECT_EQ(PriorEnergyHS_2nd(U, V, false), 3.75);
  EXPECT_EQ(PriorEnergyHS_powK_1st(U, V, 2.0, false), 4.5);
  const CImgList<double> ones(2, 4, 3, 1, 1, 1.0);
  EXPECT_EQ(PriorEnergyHS_2nd(U, V, ones, false), 3.75);
  EXPECT_EQ(PriorEnergyHS_powK_2nd(U, V, ones, 2.0, false), 3.75);
  EXPECT_EQ(PriorEnergyHS_powK_1st(U, V, ones, 2.0, false), 4.5);
}

TEST(PriorEnergy, WeightImagesPairDifferentlyInTheTwoFamilies) {
  CImgList<double> w(2, 4, 3, 1, 1, 1.0);
  w[0].fill(0.0);  // W0 zero, W1 one
  CImg<double> Ux(4, 3, 1, 1), Uy(4, 3, 1, 1);
  cimg_forXY(Ux, x, y) {
    Ux(x, y) = x;
    Uy(x, y) = y;
  }
  const CImg<double> zero(4, 3, 1, 1, 0.0);
  // Central differences: W1 weighs the horizontal ones.
  EXPECT_EQ(PriorEnergyHS_2nd(Ux, zero, w, false), 3.75);
  EXPECT_EQ(PriorEnergyHS_2nd(Uy, zero, w, false), 0.0);
  // One-sided differences: W1 weighs the vertical ones (0.5, 1, 0.5 down each of 4 columns).
  EXPECT_EQ(PriorEnergyHS_powK_1st(Ux, zero, w, 2.0, false), 0.0);
  EXPECT_EQ(PriorEnergyHS_powK_1st(zero, Uy, w, 2.0, false), 4.0);
  // Power 1 of a central difference: 0.5, 1, 0.5 down the columns, weighted by W0 = 0 here.
  EXPECT_EQ(PriorEnergyHS_powK_2nd(Uy, zero, w, 1.0, false), 0.0);
  EXPECT_EQ(PriorEnergyHS_powK_2nd(Ux, zero, w, 1.0, false), 0.5 * 3 * (0.5 + 1 + 1 + 0.5));
}
