#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Sv_Geo.h"

TEST(Geo, CoordinateKindBoundaries) {
  EXPECT_EQ(1, Sv_Geo::GetCoordinateKind(-10.0, 20.0, 50.0, 60.0));
  EXPECT_EQ(1, Sv_Geo::GetCoordinateKind(-361.0, 360.99, -91.0, 90.99));
  EXPECT_EQ(2, Sv_Geo::GetCoordinateKind(-361.01, 0.0, 0.0, 0.0));
  EXPECT_EQ(2, Sv_Geo::GetCoordinateKind(0.0, 361.0, 0.0, 0.0));
  EXPECT_EQ(2, Sv_Geo::GetCoordinateKind(0.0, 1.0, -91.5, 0.0));
  EXPECT_EQ(2, Sv_Geo::GetCoordinateKind(0.0, 1.0, 0.0, 91.0));
  EXPECT_EQ(2, Sv_Geo::GetCoordinateKind(500000.0, 510000.0, 6.6e6, 6.7e6));
}

TEST(Geo, ApproxDistanceByKind) {
  // One degree of latitude on the 6371 km sphere: 111.19 km.
  double d = Sv_Geo::ApproxDistance(10.0, 60.0, 10.0, 61.0, 1);
  EXPECT_NEAR(d, 111194.9, 1.0);
  // One degree of longitude shrinks with the cosine of the latitude.
  EXPECT_NEAR(Sv_Geo::ApproxDistance(0.0, 60.0, 1.0, 60.0, 1), 111194.9 * 0.5, 1.0);
  EXPECT_NEAR(Sv_Geo::ApproxDistance(0.0, 0.0, 1.0, 0.0, 1), 111194.9, 1.0);
  // The navigator's use: degrees across the scene from the origin.
  EXPECT_NEAR(Sv_Geo::ApproxDistance(0.0, 0.0, 0.5, 0.0, 1), 55597.5, 1.0);

  for (int kind : {0, 2, 3}) EXPECT_DOUBLE_EQ(5.0, Sv_Geo::ApproxDistance(1.0, 1.0, 4.0, 5.0, kind));
  EXPECT_EQ(0.0, Sv_Geo::ApproxDistance(1.0, 1.0, 4.0, 5.0, 4));
  EXPECT_EQ(0.0, Sv_Geo::ApproxDistance(1.0, 1.0, 4.0, 5.0, -1));
}

TEST(Geo, NiceStepBelowAtBothEndsOfTheSeries) {
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(0.0));
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(-3.0));
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(0.004));
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(0.005));
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(0.0099));
  EXPECT_EQ(0.01, Sv_Geo::NiceStepBelow(0.01));
  EXPECT_EQ(0.2, Sv_Geo::NiceStepBelow(0.3));
  EXPECT_EQ(1.0, Sv_Geo::NiceStepBelow(1.99));
  EXPECT_EQ(5.0, Sv_Geo::NiceStepBelow(9.99));
  EXPECT_EQ(500.0, Sv_Geo::NiceStepBelow(999.0));
  EXPECT_EQ(2000000.0, Sv_Geo::NiceStepBelow(4999999.0));
  EXPECT_EQ(5000000.0, Sv_Geo::NiceStepBelow(5000000.0));
  EXPECT_EQ(5000000.0, Sv_Geo::NiceStepBelow(1e12));
  EXPECT_EQ(5000000.0, Sv_Geo::NiceStepBelow(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(0.005, Sv_Geo::NiceStepBelow(std::nan("")));

  // The series is 1-2-5 and has 28 distinct values.
  int distinct = 0;
  double last = 0.0;
  for (double v = 0.001; v < 1e8; v *= 1.01) {
    double s = Sv_Geo::NiceStepBelow(v);
    EXPECT_LE(s, std::max(v, 0.005));
    if (s != last) {
      ++distinct;
      last = s;
    }
  }
  EXPECT_EQ(distinct, 28);
}
