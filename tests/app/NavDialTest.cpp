// The navigator's dial objects without drawing: hit-test bands, the cone,
// the distance scale's steps and labels, presses and releases, the angle
// readout.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Qk_NavDial.h"

namespace {

struct Call {
  Qk_NavControl* control;
  int button, x, y;
  void* owner;
};

std::vector<Call> g_presses, g_motions, g_releases;

void OnPress(Qk_NavControl* c, int b, int x, int y, void* o) { g_presses.push_back({c, b, x, y, o}); }
void OnMotion(Qk_NavControl* c, int b, int x, int y, void* o) { g_motions.push_back({c, b, x, y, o}); }
void OnRelease(Qk_NavControl* c, int b, int x, int y, void* o) { g_releases.push_back({c, b, x, y, o}); }

class NavDialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_presses.clear();
    g_motions.clear();
    g_releases.clear();
    heading.SetConeShown(1);
    heading.SetSecondPartShown(1);
    tilt.SetHorizontal(0);
    for (Qk_NavDial* d : {&heading, &tilt}) {
      d->SetPressCallback(OnPress);
      d->SetMotionCallback(OnMotion);
      d->SetReleaseCallback(OnRelease);
      d->SetOwner(&owner);
    }
  }

  int owner = 0;
  Qk_NavDial heading;  // horizontal, with the cone
  Qk_NavDial tilt;     // turned into the view's horizontal
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST_F(NavDialTest, StartsAsABareHorizontalDial) {
  Qk_NavDial d;
  EXPECT_EQ(d.GetHorizontal(), 1);
  EXPECT_EQ(d.GetConeShown(), 0);
  EXPECT_EQ(d.GetSinglePass(), 1);
  EXPECT_EQ(d.GetBodyShown(), 1);
  EXPECT_EQ(d.GetDistancesOn(), 0);
  EXPECT_DOUBLE_EQ(d.GetDisplayedExaggeration(), 1.0);
  EXPECT_EQ(d.GetPressCallback(), nullptr);
  EXPECT_EQ(d.GetOwner(), nullptr);
  EXPECT_EQ(d.Hit(0.0, 0.0, 1.0), 0);
}

TEST_F(NavDialTest, ConeLengthFollowsTheExaggeration) {
  EXPECT_NEAR(Qk_NavDial::ConeLength(1.0), (std::log(6.0) - 1.5) * 0.1125, 1e-12);
  EXPECT_NEAR(Qk_NavDial::ConeLength(1.0), 0.0328, 5e-5);
  EXPECT_GT(Qk_NavDial::ConeLength(10.0), Qk_NavDial::ConeLength(2.0));
  EXPECT_DOUBLE_EQ(Qk_NavDial::ConeLength(0.00009), 0.0001);
  EXPECT_DOUBLE_EQ(Qk_NavDial::ConeLength(0.0), 0.0001);
  EXPECT_DOUBLE_EQ(Qk_NavDial::ConeLength(-3.0), 0.0001);
  EXPECT_DOUBLE_EQ(Qk_NavDial::ConeLength(kNaN), 0.0001);
  heading.SetDisplayedExaggeration(1.0);
  EXPECT_NEAR(heading.GetConeLength(), 0.0328, 5e-5);
}

TEST_F(NavDialTest, ScaleStepsAndLabels) {
  // 1500 / 1.2 = 1250: the step below it is 1000, one label on each side.
  EXPECT_DOUBLE_EQ(Qk_NavDial::ScaleStep(1500.0), 1000.0);
  heading.SetDistance(1500.0);
  EXPECT_NEAR(heading.GetSpacing(), 0.91 * 1000.0 / 1500.0, 1e-12);
  EXPECT_NEAR(heading.GetSpacing(), 0.607, 5e-4);
  char text[32];
  Qk_NavDial::FormatLabel(text, sizeof(text), 1000.0, 1000.0);
  EXPECT_STREQ(text, "1000.0");
  Qk_NavDial::FormatLabel(text, sizeof(text), -1000.0, 1000.0);
  EXPECT_STREQ(text, "-1000.0");

  // 0.25 is not in the series: 0.2, printed with %g.
  EXPECT_DOUBLE_EQ(Qk_NavDial::ScaleStep(0.3), 0.2);
  Qk_NavDial::FormatLabel(text, sizeof(text), 0.2, 0.2);
  EXPECT_STREQ(text, "0.2");
  Qk_NavDial::FormatLabel(text, sizeof(text), -0.2, 0.2);
  EXPECT_STREQ(text, "-0.2");

  // Beyond the largest step of the series the step doubles until at most
  // four steps fit.
  EXPECT_DOUBLE_EQ(Qk_NavDial::ScaleStep(1e8), 4e7);
  EXPECT_DOUBLE_EQ(Qk_NavDial::ScaleStep(5000.0), 2000.0);

  // No scale for distances that are not finite and positive; no endless
  // tick loops either.
  for (double bad : {0.0, -1500.0, kNaN, kInf, -kInf}) {
    EXPECT_EQ(Qk_NavDial::ScaleStep(bad), 0.0) << bad;
    heading.SetDistance(bad);
    heading.SetDistancesOn(1);
    EXPECT_EQ(heading.GetSpacing(), 0.0) << bad;
    EXPECT_EQ(heading.DialHitTest(0.025, 0.0, 0.3), Qk_NavDial::PART_NONE) << bad;
  }
}

TEST_F(NavDialTest, RingConeSeatAndShaftBands) {
  heading.SetDisplayedExaggeration(1.0);
  const double top = 0.9119989 + heading.GetConeLength();
  // Ring: 0.998 to 1.161 along the axis, radius 0.2 +- 0.05, at any angle.
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, 1.02), Qk_NavDial::PART_RING);
  EXPECT_EQ(heading.DialHitTest(0.0, -0.16, 1.0), Qk_NavDial::PART_RING);
  EXPECT_EQ(heading.DialHitTest(-0.17, 0.17, 1.16), Qk_NavDial::PART_RING);
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, 1.17), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, 0.99), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.145, 0.0, 1.02), Qk_NavDial::PART_NONE);
  // Cone: from its base (0.912 - 0.002) to its apex (+ 0.002), radius 0.04.
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, 0.93), Qk_NavDial::PART_CONE);
  EXPECT_EQ(heading.DialHitTest(0.03, 0.0, 0.911), Qk_NavDial::PART_CONE);
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, top + 0.0015), Qk_NavDial::PART_CONE);
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, top + 0.003), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.045, 0.0, 0.93), Qk_NavDial::PART_NONE);
  // A longer cone reaches further.
  heading.SetDisplayedExaggeration(50.0);
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, top + 0.003), Qk_NavDial::PART_CONE);
  // The seat counts only where no cone stands, or when the body is hidden.
  EXPECT_EQ(tilt.DialHitTest(-0.9, 0.0, 0.05), Qk_NavDial::PART_OTHER);
  heading.SetBodyShown(0);
  EXPECT_EQ(heading.DialHitTest(0.045, 0.0, 0.93), Qk_NavDial::PART_OTHER);
  heading.SetBodyShown(1);
  // Shaft: radius 0.02 from -0.912 to 0.912.
  EXPECT_EQ(heading.DialHitTest(0.01, 0.01, -0.9), Qk_NavDial::PART_OTHER);
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, 0.0), Qk_NavDial::PART_OTHER);
  EXPECT_EQ(heading.DialHitTest(0.025, 0.0, 0.5), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.0, 0.0, -0.93), Qk_NavDial::PART_NONE);
}

TEST_F(NavDialTest, DialAcrossTheViewTestsTheTurnedPoint) {
  // The tilt dial's axis points along -x: its ring lies around x = -1.
  EXPECT_EQ(tilt.DialHitTest(-1.02, 0.0, 0.2), Qk_NavDial::PART_RING);
  EXPECT_EQ(tilt.DialHitTest(-1.02, 0.2, 0.0), Qk_NavDial::PART_RING);
  EXPECT_EQ(tilt.DialHitTest(-1.02, -0.12, -0.12), Qk_NavDial::PART_RING);
  EXPECT_EQ(tilt.DialHitTest(1.02, 0.0, 0.2), Qk_NavDial::PART_NONE);
  EXPECT_EQ(tilt.DialHitTest(0.5, 0.0, 0.01), Qk_NavDial::PART_OTHER);  // shaft
  // No cone on this dial: its place is empty.
  EXPECT_EQ(tilt.DialHitTest(0.0, 0.0, 0.93), Qk_NavDial::PART_NONE);
  EXPECT_EQ(tilt.DialHitTest(-0.93, 0.0, 0.0), Qk_NavDial::PART_OTHER);  // the seat
}

TEST_F(NavDialTest, TicksAndLabelsOnlyWithDistances) {
  heading.SetDistance(1500.0);  // spacing 0.607: ticks at 0.303 and 0.607
  EXPECT_EQ(heading.DialHitTest(0.025, 0.01, 0.303), Qk_NavDial::PART_NONE);
  heading.SetDistancesOn(1);
  for (double a : {0.303, 0.607, -0.303, -0.607, 0.32}) {
    EXPECT_EQ(heading.DialHitTest(0.025, 0.01, a), Qk_NavDial::PART_OTHER) << a;
  }
  EXPECT_EQ(heading.DialHitTest(0.025, 0.01, 0.45), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.025, 0.01, 0.9), Qk_NavDial::PART_NONE);  // no tick at 0.91
  EXPECT_EQ(heading.DialHitTest(0.025, 0.03, 0.303), Qk_NavDial::PART_NONE);
  // Labels beside the shaft at the label positions only.
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, 0.607 + 0.045), Qk_NavDial::PART_OTHER);
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, -0.607), Qk_NavDial::PART_OTHER);
  EXPECT_EQ(heading.DialHitTest(0.2, 0.0, 0.45), Qk_NavDial::PART_NONE);
  EXPECT_EQ(heading.DialHitTest(0.42, 0.0, 0.607), Qk_NavDial::PART_NONE);
  // The dial across the view has ticks but no label band.
  tilt.SetDistance(1500.0);
  tilt.SetDistancesOn(1);
  EXPECT_EQ(tilt.DialHitTest(-0.303, 0.01, 0.025), Qk_NavDial::PART_OTHER);
  EXPECT_EQ(tilt.DialHitTest(-0.607, 0.0, 0.2), Qk_NavDial::PART_NONE);
}

TEST_F(NavDialTest, PressesTakeTheRingAndTheConeWithTheLeftButton) {
  // Left on the ring: grabbed and reported.
  EXPECT_EQ(heading.Press(1, 10, 20, 0.2, 0.0, 1.02), 1);
  EXPECT_EQ(heading.GetGrabbed(), 1);
  ASSERT_EQ(g_presses.size(), 1u);
  EXPECT_EQ(g_presses[0].control, &heading);
  EXPECT_EQ(g_presses[0].button, 1);
  EXPECT_EQ(g_presses[0].x, 10);
  EXPECT_EQ(g_presses[0].y, 20);
  EXPECT_EQ(g_presses[0].owner, &owner);
  heading.Release(1, 11, 21);
  EXPECT_EQ(heading.GetGrabbed(), 0);
  ASSERT_EQ(g_releases.size(), 1u);
  EXPECT_EQ(g_releases[0].x, 11);

  // Middle on the cone: taken (1) but nothing is grabbed or reported.
  EXPECT_EQ(heading.Press(2, 0, 0, 0.0, 0.0, 0.93), 1);
  EXPECT_EQ(heading.GetConeGrabbed(), 0);
  EXPECT_EQ(heading.GetGrabbed(), 0);
  EXPECT_EQ(g_presses.size(), 1u);
  // Left on the cone grabs the cone only.
  EXPECT_EQ(heading.Press(1, 0, 0, 0.0, 0.0, 0.93), 1);
  EXPECT_EQ(heading.GetConeGrabbed(), 1);
  EXPECT_EQ(heading.GetGrabbed(), 0);
  EXPECT_EQ(g_presses.size(), 2u);
  heading.Release(1, 0, 0);
  EXPECT_EQ(heading.GetConeGrabbed(), 0);

  // The shaft and empty space are not taken.
  EXPECT_EQ(heading.Press(1, 0, 0, 0.0, 0.0, 0.2), 0);
  EXPECT_EQ(heading.Press(1, 0, 0, 0.5, 0.5, 0.5), 0);
  EXPECT_EQ(g_presses.size(), 2u);
  EXPECT_EQ(heading.GetGrabbed(), 0);

  heading.Motion(1, 5, 6);
  ASSERT_EQ(g_motions.size(), 1u);
  EXPECT_EQ(g_motions[0].y, 6);
  Qk_NavDial bare;
  bare.Motion(1, 0, 0);  // no callbacks set: nothing happens
  bare.Release(1, 0, 0);
  EXPECT_EQ(bare.Press(1, 0, 0, 0.2, 0.0, 1.02), 1);
  EXPECT_EQ(bare.GetGrabbed(), 1);
}

TEST_F(NavDialTest, AngleReadout) {
  heading.SetValue(370.7);
  EXPECT_EQ(heading.ReadoutAngle(), 10);
  heading.SetValue(-10.0);
  EXPECT_EQ(heading.ReadoutAngle(), 350);
  heading.SetValue(-0.5);
  EXPECT_EQ(heading.ReadoutAngle(), 0);
  heading.SetValue(1e300);
  const int big = heading.ReadoutAngle();
  EXPECT_GE(big, 0);
  EXPECT_LT(big, 360);
  heading.SetValue(kNaN);
  EXPECT_EQ(heading.ReadoutAngle(), 0);
  // The tilt dial shows the angle below the horizon.
  tilt.SetValue(60.0);  // tilt -60
  EXPECT_EQ(tilt.ReadoutAngle(), -30);
  tilt.SetValue(90.0);  // looking horizontally
  EXPECT_EQ(tilt.ReadoutAngle(), 0);
  tilt.SetValue(0.0);  // straight down
  EXPECT_EQ(tilt.ReadoutAngle(), -90);
  tilt.SetValue(300.0);
  EXPECT_EQ(tilt.ReadoutAngle(), -150);
}

}  // namespace
