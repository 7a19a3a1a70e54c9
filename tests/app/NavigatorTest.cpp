// The navigator overlay's camera model and mouse navigation, driven through
// the work area's live event record and idle steps by hand, with a fixed
// frame time. The work area is not shown: nothing here needs a picture.

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <memory>

#include "Qk_NavDial.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_AlignmentNode.h"
#include "Sv_Matrix4.h"
#include "WorkAreaTestSupport.h"

using workarea_test::RecordingArea;

namespace {

class NavigatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    area = std::make_unique<RecordingArea>();
    nav = new Qk_NavigatorOverlay();
    ASSERT_EQ(area->InstallOverlay(nav), 0);
    nav->SetFixedFrameTime(0.02);
    ev = area->GetEventRecord();
  }
  void TearDown() override { EXPECT_EQ(area->GetExploreCount(), 0) << "an armed mode was left open"; }

  // Mouse input as the GL widget delivers it: the live record, pressed
  // position kept while a button is down.
  int Press(int button, int x, int y) {
    ev->button = button;
    ev->x = x;
    ev->y = y;
    if (ev->dragButton == 0) {
      ev->dragButton = button;
      ev->pressX = x;
      ev->pressY = y;
    }
    return nav->MousePress(ev);
  }
  int Move(int x, int y) {
    ev->button = ev->dragButton;
    ev->x = x;
    ev->y = y;
    return nav->MouseMove(ev);
  }
  int Release(int button, int x, int y) {
    ev->button = button;
    ev->x = x;
    ev->y = y;
    if (button == ev->dragButton) ev->dragButton = 0;
    return nav->MouseRelease(ev);
  }
  void Idle(int steps = 1) {
    for (int i = 0; i < steps; ++i) nav->IdleStep();
  }

  std::unique_ptr<RecordingArea> area;
  Qk_NavigatorOverlay* nav = nullptr;  // owned by the area
  Qk_GLEventRecord* ev = nullptr;
};

TEST_F(NavigatorTest, ConstructionAndReset) {
  Qk_NavDial* h = nav->GetHeadingDial();
  Qk_NavDial* t = nav->GetTiltDial();
  EXPECT_EQ(h->GetConeShown(), 1);
  EXPECT_EQ(t->GetHorizontal(), 0);
  for (Qk_NavDial* d : {h, t}) {
    EXPECT_EQ(d->GetSinglePass(), 0);
    EXPECT_EQ(d->GetOwner(), nav);
    EXPECT_EQ(d->GetPressCallback(), &Qk_NavigatorOverlay::DialPressed);
  }
  // The first install reset the camera, before any GL context existed.
  EXPECT_FALSE(area->IsInitialised());
  EXPECT_DOUBLE_EQ(nav->GetTilt(), -60.0);
  EXPECT_DOUBLE_EQ(t->GetValue(), 60.0);

  nav->SetTilt(-20.0);
  nav->SetHeading(33.0);
  nav->SetZoom(4.0);
  nav->SetCentre(1.0, 2.0, 3.0);
  EXPECT_DOUBLE_EQ(h->GetValue(), 33.0);
  EXPECT_DOUBLE_EQ(t->GetValue(), 20.0);
  area->ResetCamera();
  EXPECT_DOUBLE_EQ(nav->GetTilt(), -60.0);
  EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 1.0);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(nav->GetCentre()[i], 0.0);
  EXPECT_DOUBLE_EQ(h->GetValue(), 0.0);
  EXPECT_DOUBLE_EQ(t->GetValue(), 60.0);
  // The work area's view matrix is the camera's.
  const Sv_Matrix4 expected = nav->GetViewMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(area->GetViewMatrix()->GetData()[i], expected.GetData()[i]);
  EXPECT_FLOAT_EQ(expected.Get(3, 2), -5000.0f);
}

TEST_F(NavigatorTest, ViewMatrixRoundTrip) {
  struct Camera {
    double tilt, heading, zoom, x, y, z;
  };
  for (const Camera& c : {Camera{-60, 0, 1, 0, 0, 0}, Camera{-10, 135, 0.25, 100, -50, 7},
                          Camera{-170, -80, 12.5, -3000, 2000, -400}, Camera{0, 179, 1e-3, 1, 1, 1}}) {
    nav->SetTilt(c.tilt);
    nav->SetHeading(c.heading);
    nav->SetZoom(c.zoom);
    nav->SetCentre(c.x, c.y, c.z);
    Sv_Matrix4 m = nav->GetViewMatrix();
    nav->Reset();
    nav->SetViewMatrix(&m);
    EXPECT_NEAR(nav->GetTilt(), c.tilt, 1e-3);
    EXPECT_NEAR(nav->GetHeading(), c.heading, 1e-3);
    EXPECT_NEAR(nav->GetZoom(), c.zoom, 1e-5 * c.zoom);
    const double tolerance = 1e-5 * 5000.0 / c.zoom;
    EXPECT_NEAR(nav->GetCentre()[0], c.x, tolerance);
    EXPECT_NEAR(nav->GetCentre()[1], c.y, tolerance);
    EXPECT_NEAR(nav->GetCentre()[2], c.z, tolerance);
    EXPECT_DOUBLE_EQ(nav->GetTiltDial()->GetValue(), -nav->GetTilt());
    EXPECT_DOUBLE_EQ(nav->GetHeadingDial()->GetValue(), nav->GetHeading());
  }
  // A matrix that no orbit camera makes leaves zoom and centre alone.
  nav->SetZoom(2.0);
  nav->SetCentre(5.0, 6.0, 7.0);
  Sv_Matrix4 zero;
  nav->SetViewMatrix(&zero);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 2.0);
  EXPECT_DOUBLE_EQ(nav->GetCentre()[1], 6.0);
  nav->SetViewMatrix(nullptr);
}

TEST_F(NavigatorTest, LockAxisThresholdAndTilt) {
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(3, 3), 0);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(-3, 2), 0);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(10, 3), 1);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(-10, -4), 1);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(3, 10), 2);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(0, -4), 2);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(10, 8), 0);
  EXPECT_EQ(Qk_NavigatorOverlay::LockAxis(4, 0), 1);
  EXPECT_EQ(Qk_NavigatorOverlay::PastThreshold(4, -4), 0);
  EXPECT_EQ(Qk_NavigatorOverlay::PastThreshold(0, -5), 1);
  EXPECT_EQ(Qk_NavigatorOverlay::PastThreshold(5, 0), 1);

  EXPECT_DOUBLE_EQ(nav->ClampTilt(-45.0), -45.0);
  EXPECT_DOUBLE_EQ(nav->ClampTilt(10.0), 0.0);
  EXPECT_DOUBLE_EQ(nav->ClampTilt(-200.0), -180.0);
  EXPECT_DOUBLE_EQ(nav->ClampTilt(-370.0), -10.0);  // wrapped, keeping its sign
  EXPECT_DOUBLE_EQ(nav->ClampTilt(370.0), 0.0);
  nav->SetTiltLimit(0);
  EXPECT_DOUBLE_EQ(nav->ClampTilt(-370.0), -370.0);
  EXPECT_DOUBLE_EQ(nav->ClampTilt(25.0), 25.0);
}

TEST_F(NavigatorTest, TwoSignificantDigitsAndDialFrame) {
  EXPECT_NEAR(Qk_NavigatorOverlay::TwoSignificantDigits(3.4567), 3.4, 1e-12);
  EXPECT_NEAR(Qk_NavigatorOverlay::TwoSignificantDigits(123.4), 120.0, 1e-9);
  EXPECT_NEAR(Qk_NavigatorOverlay::TwoSignificantDigits(0.0123), 0.012, 1e-15);
  EXPECT_NEAR(Qk_NavigatorOverlay::TwoSignificantDigits(1.0), 1.0, 1e-12);
  EXPECT_NEAR(Qk_NavigatorOverlay::TwoSignificantDigits(1.19), 1.1, 1e-12);
  EXPECT_DOUBLE_EQ(Qk_NavigatorOverlay::TwoSignificantDigits(1e-9), 1e-5);
  EXPECT_DOUBLE_EQ(Qk_NavigatorOverlay::TwoSignificantDigits(0.0), 1e-5);
  EXPECT_DOUBLE_EQ(Qk_NavigatorOverlay::TwoSignificantDigits(-4.0), 1e-5);

  // Views large enough for the whole dials keep 2.23 x 700; smaller ones,
  // a stereo eye's, an orthographic one and a long cone make them smaller.
  EXPECT_NEAR(Qk_NavigatorOverlay::DialFrameScale(2000, 1600), 1561.0, 1e-9);
  EXPECT_NEAR(Qk_NavigatorOverlay::DialFrameScale(1600, 2000), 1561.0, 1e-9);
  const double s = Qk_NavigatorOverlay::DialFrameScale(1200, 900);
  EXPECT_LT(s, 1561.0);
  EXPECT_GT(s, Qk_NavigatorOverlay::DialFrameScale(781, 540));
  EXPECT_LT(Qk_NavigatorOverlay::DialFrameScale(1200, 900, 0, 240.0), s);
  EXPECT_LT(Qk_NavigatorOverlay::DialFrameScale(1200, 900, 1), s);
  EXPECT_DOUBLE_EQ(Qk_NavigatorOverlay::DialFrameScale(1200, 900, 0, 0.0, 20.0), s);
  EXPECT_LT(Qk_NavigatorOverlay::DialFrameScale(1200, 900, 0, 0.0, 1000.0), s);
}

TEST_F(NavigatorTest, HeadingDragTurnsFourDegreesPerStepAt100Pixels) {
  EXPECT_EQ(Press(1, 200, 100), 0);  // nothing under the pointer to take
  EXPECT_EQ(nav->GetHeldButton(), 1);
  EXPECT_EQ(Move(203, 102), 0);  // within 4 pixels: nothing locks
  EXPECT_EQ(Move(210, 108), 0);  // diagonal: nothing locks
  EXPECT_EQ(nav->GetLockedAxis(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  EXPECT_EQ(Move(220, 104), 1);  // clearly horizontal
  EXPECT_EQ(nav->GetLockedAxis(), Qk_NavigatorOverlay::AXIS_HEADING);
  EXPECT_EQ(area->GetExploreCount(), 1);
  EXPECT_EQ(ev->pressX, 220);  // rates count from the lock
  EXPECT_EQ(ev->pressY, 104);
  EXPECT_EQ(nav->GetHeadingDial()->GetGrabbed(), 1);

  Move(320, 104);
  Idle();
  EXPECT_NEAR(nav->GetHeading(), 4.0, 1e-9);
  Idle(2);
  EXPECT_NEAR(nav->GetHeading(), 12.0, 1e-9);
  EXPECT_DOUBLE_EQ(nav->GetHeadingDial()->GetValue(), nav->GetHeading());
  EXPECT_DOUBLE_EQ(nav->GetHeadingDial()->GetDragOffset(), 100.0);
  Move(170, 110);  // 50 to the left of the lock point
  Idle();
  EXPECT_NEAR(nav->GetHeading(), 10.0, 1e-9);
  EXPECT_DOUBLE_EQ(nav->GetTilt(), -60.0);

  EXPECT_EQ(Release(1, 170, 110), 1);
  EXPECT_EQ(nav->GetLockedAxis(), 0);
  EXPECT_EQ(nav->GetHeldButton(), 0);
  EXPECT_EQ(nav->GetHeadingDial()->GetGrabbed(), 0);
  EXPECT_DOUBLE_EQ(nav->GetHeadingDial()->GetDragOffset(), 0.0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Idle();  // nothing armed: the idle step changes nothing
  EXPECT_NEAR(nav->GetHeading(), 10.0, 1e-9);
}

TEST_F(NavigatorTest, TiltDragIsClampedToStraightDownAndHorizonBelow) {
  Press(1, 100, 100);
  EXPECT_EQ(Move(102, 90), 1);
  EXPECT_EQ(nav->GetLockedAxis(), Qk_NavigatorOverlay::AXIS_TILT);
  Move(102, 40);  // 50 pixels down: the tilt grows by 2 degrees per step
  Idle();
  EXPECT_NEAR(nav->GetTilt(), -58.0, 1e-9);
  EXPECT_DOUBLE_EQ(nav->GetTiltDial()->GetValue(), 58.0);
  EXPECT_DOUBLE_EQ(nav->GetTiltDial()->GetDragOffset(), -50.0);
  Idle(40);
  EXPECT_DOUBLE_EQ(nav->GetTilt(), 0.0);
  Move(102, 590);  // far up: towards the horizon and below
  Idle(200);
  EXPECT_DOUBLE_EQ(nav->GetTilt(), -180.0);
  EXPECT_EQ(Release(1, 102, 590), 1);
  EXPECT_EQ(area->GetExploreCount(), 0);
}

TEST_F(NavigatorTest, OtherInteractionModesAndRotationLockOffLockNothing) {
  area->SetInteractionMode(1);
  Press(1, 100, 100);
  EXPECT_EQ(Move(150, 100), 0);
  EXPECT_EQ(nav->GetLockedAxis(), 0);
  Release(1, 150, 100);
  area->SetInteractionMode(0);
  nav->SetRotationLock(0);
  Press(1, 100, 100);
  EXPECT_EQ(Move(150, 100), 0);
  Release(1, 150, 100);
  EXPECT_EQ(area->GetExploreCount(), 0);
}

TEST_F(NavigatorTest, MiddleDragZoomsAndWheelSteps) {
  EXPECT_EQ(Press(2, 100, 100), 0);  // no scene under the pointer
  EXPECT_EQ(Move(100, 104), 0);      // not past the threshold
  EXPECT_EQ(Move(100, 105), 1);
  EXPECT_EQ(nav->GetZoomDrag(), 1);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Move(110, 150);  // d = 50 + 10
  Idle();
  EXPECT_NEAR(nav->GetZoom(), std::pow(1.00025, 0.02 * 60 * 40), 1e-12);
  // The wheel waits while a zoom drag runs.
  const double before = nav->GetZoom();
  ev->wheelDelta = 120;
  nav->Wheel(ev);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), before);
  EXPECT_EQ(Release(2, 110, 150), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);

  nav->SetZoom(1.0);
  ev->accepted = 0;
  nav->Wheel(ev);
  EXPECT_NEAR(nav->GetZoom(), 1.1, 1e-12);
  EXPECT_EQ(ev->accepted, 1);
  ev->wheelDelta = -120;
  nav->Wheel(ev);
  nav->Wheel(ev);
  EXPECT_NEAR(nav->GetZoom(), 1.0 / 1.1, 1e-12);
  nav->SetZoom(1.05e-7);
  nav->Wheel(ev);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 1e-7);
  nav->SetZoom(-3.0);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 1e-7);
}

TEST_F(NavigatorTest, AZoomDragHeldForLongStaysFinite) {
  Press(2, 0, 0);
  Move(0, 10000);
  nav->SetFixedFrameTime(0.5);
  Idle(2000);
  EXPECT_TRUE(std::isfinite(nav->GetZoom()));
  const Sv_Matrix4 m = nav->GetViewMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(m.GetData()[i]));
  Move(0, -10000);
  Idle(4000);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 1e-7);
  Release(2, 0, -10000);
}

TEST_F(NavigatorTest, MiddleClickDuringALeftDragThrowsTheDial) {
  Press(1, 100, 100);
  Move(120, 100);  // heading locked
  Move(150, 100);  // 30 pixels right of the lock
  Idle();
  EXPECT_NEAR(nav->GetHeading(), 1.2, 1e-9);
  EXPECT_EQ(Press(2, 150, 100), 1);  // the middle button throws the dial
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 1);
  EXPECT_EQ(area->GetExploreCount(), 2);
  EXPECT_EQ(Release(2, 150, 100), 0);
  EXPECT_EQ(Release(1, 150, 100), 1);
  EXPECT_EQ(area->GetExploreCount(), 1);  // the spin holds its own period
  EXPECT_DOUBLE_EQ(nav->GetHeadingDial()->GetDragOffset(), 30.0);
  Idle(5);
  EXPECT_NEAR(nav->GetHeading(), 1.2 + 5 * 30 * 2.0 * 0.02, 1e-9);

  // A new left drag that locks the heading catches the dial.
  Press(1, 300, 300);
  Move(320, 300);
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 0);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Release(1, 320, 300);
  EXPECT_EQ(area->GetExploreCount(), 0);

  // The tilt dial spins the other way round its offset.
  nav->SetTilt(-60.0);
  Press(1, 300, 300);
  Move(300, 290);  // tilt locked
  Move(300, 280);  // 10 down
  Idle();
  EXPECT_NEAR(nav->GetTilt(), -59.6, 1e-9);
  Press(2, 300, 280);
  Release(2, 300, 280);
  Release(1, 300, 280);
  Idle(3);
  EXPECT_NEAR(nav->GetTilt(), -59.6 + 3 * 10 * 2.0 * 0.02, 1e-9);
  Press(1, 0, 0);
  Move(0, 20);
  Release(1, 0, 20);
}

TEST_F(NavigatorTest, TheLastReleaseEndsWhatPressesArmedAndResetStopsEverything) {
  // A dial thrown before it turned (rate 0) does not outlast the buttons,
  // whichever comes up last: no exploring period stays open.
  for (bool leftFirst : {true, false}) {
    SCOPED_TRACE(leftFirst ? "left released first" : "middle released first");
    Press(1, 100, 100);
    Move(120, 100);  // heading locked here: no offset yet
    Press(2, 120, 100);
    EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 1);
    Release(leftFirst ? 1 : 2, 120, 100);
    Release(leftFirst ? 2 : 1, 120, 100);
    EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 0);
    EXPECT_EQ(area->GetExploreCount(), 0);
    Idle(20);
    EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);
  }

  // Thrown while turning, it spins on after both releases; Reset Camera
  // stops it for good.
  Press(1, 100, 100);
  Move(120, 100);
  Move(150, 100);
  Idle();
  Press(2, 150, 100);
  Release(1, 150, 100);
  Release(2, 150, 100);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Idle(5);
  EXPECT_GT(nav->GetHeading(), 1.2);
  area->ResetCamera();
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Idle(20);
  EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);

  // Reset in mid-drag ends the drag; the button still down moves nothing
  // and its release ends nothing more.
  Press(2, 0, 0);
  Move(0, 10);
  ASSERT_EQ(nav->GetZoomDrag(), 1);
  nav->Reset();
  EXPECT_EQ(nav->GetZoomDrag(), 0);
  EXPECT_EQ(nav->GetHeldButton(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  EXPECT_EQ(Move(0, 50), 0);
  Idle(5);
  EXPECT_DOUBLE_EQ(nav->GetZoom(), 1.0);
  Release(2, 0, 50);
  EXPECT_EQ(area->GetExploreCount(), 0);

  // So does a held scroll bar.
  QWidget bar;
  bar.setObjectName("ScrollBarLeft");
  bar.setProperty("value", 700.0);
  area->ScrollBarMouseDownSL(&bar, 1, 0, 0);
  nav->Reset();
  EXPECT_EQ(nav->GetScrollBarMode(), 0);
  EXPECT_DOUBLE_EQ(bar.property("value").toDouble(), 500.0);
  EXPECT_EQ(area->GetExploreCount(), 0);
}

TEST_F(NavigatorTest, APressWhileAButtonIsHeldIsNotTaken) {
  Press(1, 100, 100);
  EXPECT_EQ(Press(3, 100, 100), 0);
  EXPECT_EQ(nav->GetHeldButton(), 1);
  EXPECT_EQ(Release(3, 100, 100), 0);
  EXPECT_EQ(nav->GetHeldButton(), 1);
  EXPECT_EQ(Release(1, 100, 100), 0);
  EXPECT_EQ(nav->GetHeldButton(), 0);
  EXPECT_EQ(nav->MouseDoubleClick(ev), 0);
}

TEST_F(NavigatorTest, ExaggerationChangesKeepTheCentreOnItsFeature) {
  area->SetScene(new Sd_AlignmentNode(), nullptr);
  nav->SetCentre(1.0, 2.0, 10.0);
  area->SetVertExag(6.0f);  // the navigator knew 1.0
  EXPECT_DOUBLE_EQ(nav->GetCentre()[2], 60.0);
  EXPECT_DOUBLE_EQ(nav->GetPressExaggeration(), 6.0);
  area->SetVertExag(3.0f);
  EXPECT_DOUBLE_EQ(nav->GetCentre()[2], 30.0);
  area->SetVertExag(3.0f);
  EXPECT_DOUBLE_EQ(nav->GetCentre()[2], 30.0);
  EXPECT_DOUBLE_EQ(nav->GetCentre()[0], 1.0);
  EXPECT_DOUBLE_EQ(nav->GetCentre()[1], 2.0);
}

TEST_F(NavigatorTest, ScrollBarsByName) {
  QWidget left;
  left.setObjectName("ScrollBarLeft");
  left.setProperty("value", 600.0);
  QWidget bottom;
  bottom.setObjectName("ScrollBarBottom");
  bottom.setProperty("value", 400.0);
  QWidget right;
  right.setObjectName("ScrollBarRight");
  right.setProperty("value", 510.0);
  QWidget other;
  other.setObjectName("Slider");

  area->ScrollBarMouseDownSL(&other, 1, 0, 0);
  area->ScrollBarMouseDownSL(nullptr, 1, 0, 0);
  EXPECT_EQ(nav->GetScrollBarMode(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);

  area->ScrollBarMouseDownSL(&left, 1, 0, 0);
  EXPECT_EQ(nav->GetScrollBarMode(), Qk_NavigatorOverlay::SCROLL_LEFT);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Idle();
  EXPECT_NEAR(nav->GetZoom(), std::pow(1.00025, 0.02 * 100 * 20), 1e-12);
  area->ScrollBarMouseUpSL(&left, 1, 0, 0);
  EXPECT_DOUBLE_EQ(left.property("value").toDouble(), 500.0);
  EXPECT_EQ(area->GetExploreCount(), 0);

  nav->SetZoom(2.0);
  nav->SetHeading(90.0);
  nav->SetCentre(0.0, 0.0, 0.0);
  area->ScrollBarMouseDownSL(&bottom, 1, 0, 0);
  Idle();  // v = -100: across the view, which looks along +x at heading 90
  EXPECT_NEAR(nav->GetCentre()[0], 0.0, 1e-9);
  EXPECT_NEAR(nav->GetCentre()[1], 0.02 * 100 * 10.0 / 2.0, 1e-9);
  // A second bar taken meanwhile replaces the first in the same period.
  area->ScrollBarMouseDownSL(&right, 1, 0, 0);
  EXPECT_EQ(area->GetExploreCount(), 1);
  area->ScrollBarMouseUpSL(&right, 1, 0, 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  area->ScrollBarMouseUpSL(&right, 1, 0, 0);  // nothing held: nothing ends
  EXPECT_EQ(area->GetExploreCount(), 0);

  // A bar that goes away while held is not touched again.
  {
    QWidget gone;
    gone.setObjectName("ScrollBarRight");
    gone.setProperty("value", 700.0);
    area->ScrollBarMouseDownSL(&gone, 1, 0, 0);
  }
  Idle();
  area->ScrollBarMouseUpSL(nullptr, 1, 0, 0);
  EXPECT_EQ(area->GetExploreCount(), 0);

  // Arrows step at once.
  nav->SetHeading(0.0);
  nav->SetTilt(-90.0);
  nav->SetCentre(0.0, 0.0, 0.0);
  area->ScrollBarArrowPressSL(&right, 1, 0, 0);  // along the view: +y at heading 0, level
  EXPECT_NEAR(nav->GetCentre()[1], 0.0, 1e-9);
  EXPECT_NEAR(nav->GetCentre()[2], 20.0 * 10.0 / 2.0, 1e-9);
  area->ScrollBarArrowPressSL(&bottom, 0, 0, 0);
  EXPECT_NEAR(nav->GetCentre()[0], -20.0 * 10.0 / 2.0, 1e-9);
  area->ScrollBarArrowPressSL(&left, 1, 0, 0);
  EXPECT_NEAR(nav->GetZoom(), 2.0 * std::pow(1.00025, 400.0), 1e-9);
  area->ScrollBarArrowPressSL(nullptr, 1, 0, 0);
}

}  // namespace
