// The navigator on a shown work area: drags sent as Qt mouse events move
// the camera by the rates and a fixed frame time, the renderer settles to
// "Normal" after the release; the dials are drawn over the scene (pixel
// probes), with distance ticks only for georeferenced scenes; dial picks,
// the cone drag and the middle-click re-centring; recorded movie frames.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QCoreApplication>
#include <QMouseEvent>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "Movie.h"
#include "Qk_NavDial.h"
#include "Qk_NavigatorOverlay.h"
#include "Sv_Geo.h"
#include "Sv_HersheyFont.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

using orvanta_apptest::ReadPixel;
using orvanta_apptest::Rgb;
using orvanta_apptest::StackDepth;

namespace {

// The picture of the work area, rows from the bottom.
struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  Rgb At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 4;
    return Rgb{rgba[i], rgba[i + 1], rgba[i + 2]};
  }
};

bool Drawn(const Rgb& p) { return p.r != 0 || p.g != 0 || p.b != 0; }

class NavigatorGL : public workarea_test::NavigatorAreaFixture {
 protected:
  // A red tile in the middle of a projected survey, flanked by green and
  // blue ones, under the navigator.
  void Make(int width = 400, int height = 300) { ShowNavigator(width, height); }

  // Settles the renderer and reads the picture.
  Picture Settle() {
    EXPECT_TRUE(area->WaitForNormal());
    area->makeCurrent();
    Picture p;
    p.width = area->GetWidth();
    p.height = area->GetHeight();
    p.rgba.resize(static_cast<size_t>(p.width) * p.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
  }

  void Redraw() {
    area->UpdateGL();
    area->WaitForNormal();
  }

  // Window position (device pixels from the bottom left) of a point of the
  // dial frame: the tilt dial's frame, or with headingFrame the heading
  // dial's (turned by the tilt).
  bool Project(double x, double y, double z, bool headingFrame, int* wx, int* wy) {
    double ox, oy;
    if (!orvanta_apptest::ProjectDialPoint(area.get(), nav, x, y, z, headingFrame, &ox, &oy)) return false;
    *wx = static_cast<int>(std::floor(ox));
    *wy = static_cast<int>(std::floor(oy));
    return *wx >= 0 && *wy >= 0 && *wx < area->GetWidth() && *wy < area->GetHeight();
  }

  // The dial part under a pixel, as the navigator's presses see it.
  int PartAt(Qk_NavDial* dial, int x, int y) {
    double p[3];
    if (!nav->PickWidget(x, y, &p[0], &p[1], &p[2])) return -1;
    return dial->DialHitTest(p[0], p[1], p[2]);
  }

  // A pixel near the projection of a dial point where the pick reports the
  // part (the dials are thin: search a few pixels around).
  bool FindPart(Qk_NavDial* dial, int part, double x, double y, double z, bool headingFrame, int* px, int* py) {
    int cx, cy;
    if (!Project(x, y, z, headingFrame, &cx, &cy)) return false;
    for (int r = 0; r <= 6; ++r) {
      for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
          if (std::abs(dx) != r && std::abs(dy) != r) continue;
          if (PartAt(dial, cx + dx, cy + dy) == part) {
            *px = cx + dx;
            *py = cy + dy;
            return true;
          }
        }
      }
    }
    return false;
  }

  // Qt mouse input at device pixel (x, y from the bottom).
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y) {
    const QPointF at(x, area->height() - 1 - y);
    QMouseEvent event(type, at, area->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(area.get(), &event);
  }

};

int CountDifferent(const Picture& a, const Picture& b) {
  int n = 0;
  for (size_t i = 0; i + 3 < a.rgba.size() && i + 3 < b.rgba.size(); i += 4) {
    if (a.rgba[i] != b.rgba[i] || a.rgba[i + 1] != b.rgba[i + 1] || a.rgba[i + 2] != b.rgba[i + 2]) ++n;
  }
  return n;
}

TEST_F(NavigatorGL, ViewMatrixWithoutGLIsTheCameraGLApplies) {
  Make();
  for (int mode = 0; mode < 3; ++mode) {
    nav->SetCameraMode(mode >= 1, mode == 2);
    nav->SetGeoEyePoint(500100.0, 6000200.0, 150.0);
    nav->SetGeoLookAtPoint(500600.0, 6000800.0, -20.0);
    nav->UpdatePlacement();
    nav->SetTilt(-35.0);
    nav->SetHeading(120.0);
    nav->SetZoom(0.7);
    if (mode == 0) nav->SetCentre(300.0, -200.0, 40.0);
    area->makeCurrent();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    nav->ApplyCamera();
    Sv_Matrix4 gl;
    gl.LoadFromGL();
    glPopMatrix();
    const Sv_Matrix4 cpu = nav->GetViewMatrix();
    for (int i = 0; i < 16; ++i) {
      EXPECT_NEAR(cpu.GetData()[i], gl.GetData()[i], 1e-3 + 1e-5 * std::fabs(gl.GetData()[i])) << mode << " " << i;
    }
  }
  // The eye point lies in the scene where the geographic point is.
  nav->SetCameraMode(1, 0);
  nav->SetGeoEyePoint(500500.0, 6000500.0, -20.0);
  nav->UpdatePlacement();
  EXPECT_NEAR(nav->GetEyePoint()[0], 0.0, 1e-6);
  EXPECT_NEAR(nav->GetEyePoint()[1], 0.0, 1e-6);
  nav->SetCameraMode(0, 0);
}

TEST_F(NavigatorGL, DragsRotateTiltAndZoomAsTheRatesSay) {
  Make();
  nav->SetFixedFrameTime(0.02);
  const int restModelview = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  const Picture before = Settle();

  // Heading: lock with a horizontal move, then hold 100 pixels to the right.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 60);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 72, 61);
  ASSERT_EQ(nav->GetLockedAxis(), Qk_NavigatorOverlay::AXIS_HEADING);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 172, 61);
  for (int i = 0; i < 5; ++i) area->OnIdle();
  EXPECT_NEAR(nav->GetHeading(), 5 * 4.0, 1e-9);
  EXPECT_EQ(area->infos.back(), "Exploring");
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 172, 61);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Picture turned = Settle();
  EXPECT_EQ(area->infos.back(), "Normal");
  EXPECT_GT(CountDifferent(before, turned), 1000);
  // The work area keeps the view the drag ended with.
  const Sv_Matrix4 view = nav->GetViewMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(area->GetViewMatrix()->GetData()[i], view.GetData()[i]);

  // Tilt: a vertical lock, then 25 pixels down turns towards straight down.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 200);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 61, 190);
  ASSERT_EQ(nav->GetLockedAxis(), Qk_NavigatorOverlay::AXIS_TILT);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 61, 165);
  for (int i = 0; i < 4; ++i) area->OnIdle();
  EXPECT_NEAR(nav->GetTilt(), -60.0 + 4 * 25 * 2.0 * 0.02, 1e-9);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 61, 165);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Settle();

  // Zoom: a middle drag 30 pixels up and 10 to the right.
  const double zoom = nav->GetZoom();
  Mouse(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, 20, 20);
  const bool recentring = nav->GetAnimating();
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, 30, 50);
  ASSERT_EQ(nav->GetZoomDrag(), 1);
  for (int i = 0; i < 3; ++i) area->OnIdle();
  EXPECT_NEAR(nav->GetZoom(), zoom * std::pow(1.00025, 3 * 0.02 * 40 * 40), 1e-9);
  Mouse(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, 30, 50);
  // A re-centring started by the press ends by itself.
  for (int i = 0; recentring && i < 20 && nav->GetAnimating(); ++i) area->OnIdle();
  EXPECT_EQ(area->GetExploreCount(), 0);
  Settle();
  EXPECT_EQ(area->infos.back(), "Normal");
  area->makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), restModelview);
  EXPECT_EQ(ReportGLErrors(), 0);

  // The wheel redraws at once.
  const long passes = area->GetFinishedPassCount();
  QWheelEvent wheel(QPointF(50, 50), area->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(area.get(), &wheel);
  EXPECT_TRUE(wheel.isAccepted());
  Settle();
  EXPECT_GT(area->GetFinishedPassCount(), passes);
}

TEST_F(NavigatorGL, DialsAreDrawnOverTheScene) {
  Make(1000, 900);
  const Picture shown = Settle();
  nav->SetShown(0);
  Redraw();
  const Picture hidden = Settle();
  nav->SetShown(1);
  EXPECT_GT(CountDifferent(shown, hidden), 500);

  // The grips of both dials (the heading dial's ring is near the top edge
  // of the view, as in any window of 900 or more pixels' height): lit white on the near side of the rings.
  int x, y;
  ASSERT_TRUE(Project(0.0, -0.21, 1.02, true, &x, &y));
  const Rgb grip = shown.At(x, y);
  EXPECT_GT(grip.r, 90);
  EXPECT_NEAR(grip.r, grip.g, 8);
  EXPECT_NEAR(grip.r, grip.b, 8);
  EXPECT_FALSE(grip.r == hidden.At(x, y).r && grip.g == hidden.At(x, y).g && grip.b == hidden.At(x, y).b);
  ASSERT_TRUE(Project(-1.02, 0.0, 0.21, false, &x, &y));
  EXPECT_TRUE(Drawn(shown.At(x, y)));
  EXPECT_GT(shown.At(x, y).r, 90);
  // The shafts cross the middle of the view.
  ASSERT_TRUE(Project(-0.5, 0.0, 0.0, false, &x, &y));
  EXPECT_TRUE(Drawn(shown.At(x, y)));
  ASSERT_TRUE(Project(0.0, 0.0, 0.5, true, &x, &y));
  EXPECT_TRUE(Drawn(shown.At(x, y)));

  // Without their solids only the ring lines (and labels) remain.
  nav->SetBodyShown(0);
  Redraw();
  const Picture lines = Settle();
  nav->SetBodyShown(1);
  EXPECT_GT(CountDifferent(shown, lines), 200);
  EXPECT_GT(CountDifferent(lines, hidden), 20);
  area->makeCurrent();
  EXPECT_EQ(ReportGLErrors(), 0);
}

TEST_F(NavigatorGL, DistanceTicksOnlyForGeoreferencedScenes) {
  Make();
  ASSERT_EQ(Sd_Node::GetCoordinateType(), 2);  // projected coordinates
  double ground = 0.0, height = 0.0;
  ASSERT_EQ(nav->DialDistances(Qk_NavigatorOverlay::DialFrameScale(400, 300), &ground, &height), 1);
  EXPECT_GT(ground, 0.0);
  EXPECT_GT(height, 0.0);
  const Picture projected = Settle();
  EXPECT_EQ(nav->GetTiltDial()->GetDistancesOn(), 1);
  EXPECT_NEAR(nav->GetTiltDial()->GetDistance(), ground, 1e-6 * ground);
  EXPECT_NEAR(nav->GetHeadingDial()->GetDistance(), height, 1e-6 * height);
  EXPECT_GT(nav->GetTiltDial()->GetStep(), 0.0);

  for (short type : {0, 4}) {
    Sd_Node::SetCoordinateType(type);
    Redraw();
    const Picture plain = Settle();
    EXPECT_EQ(nav->GetTiltDial()->GetDistancesOn(), 0) << type;
    EXPECT_EQ(nav->GetHeadingDial()->GetDistancesOn(), 0) << type;
    EXPECT_GT(CountDifferent(projected, plain), 100) << type;
  }
  Sd_Node::SetCoordinateType(0);
  nav->SetShowDistances(0);
  Sd_Node::SetCoordinateType(2);
  EXPECT_EQ(nav->DistancesOn(), 0);
  nav->SetShowDistances(1);
  EXPECT_EQ(nav->DistancesOn(), 1);
}

TEST_F(NavigatorGL, DistancesFollowZoomExaggerationAndDegrees) {
  Make();
  const double w = Qk_NavigatorOverlay::DialFrameScale(1200, 900);
  double g1, h1, g2, h2;
  nav->DialDistances(w, &g1, &h1);
  // 0.91 dial units of a 1561 frame at zoom 1 over the scene's width in
  // projected metres.
  const double u = 0.91 * w / area->GetGlobalScale();
  EXPECT_NEAR(g1, 1000.0 * u / *area->GetRoot()->GetScale('x'), 1e-6 * g1);
  nav->SetZoom(2.0);
  nav->DialDistances(w, &g2, &h2);
  EXPECT_NEAR(g2, g1 / 2.0, 1e-9 * g1);
  EXPECT_NEAR(h2, h1 / 2.0, 1e-9 * h1);
  nav->SetZoom(1.0);
  area->SetVertExag(2.0f * area->GetVertExag());
  nav->DialDistances(w, &g2, &h2);
  EXPECT_NEAR(g2, g1, 1e-9 * g1);
  EXPECT_NEAR(h2, h1 / 2.0, 1e-6 * h1);
  // In a geographic scene the degrees of the x extent become metres.
  Sd_Node::SetCoordinateType(1);
  nav->DialDistances(w, &g2, &h2);
  EXPECT_NEAR(g2, Sv_Geo::ApproxDistance(0.0, 0.0, g1, 0.0, 1), 1e-9 * g2);
  EXPECT_GT(g2, 1000.0 * g1);
}

TEST_F(NavigatorGL, PicksFindTheDrawnRingsAndPressesTakeThem) {
  Make(1000, 900);
  Settle();
  int x, y;
  ASSERT_TRUE(FindPart(nav->GetHeadingDial(), Qk_NavDial::PART_RING, 0.2, 0.0, 1.02, true, &x, &y));
  ASSERT_TRUE(FindPart(nav->GetTiltDial(), Qk_NavDial::PART_RING, -1.02, 0.2, 0.0, false, &x, &y));
  // The middle of the view's lower left corner holds neither dial.
  EXPECT_EQ(PartAt(nav->GetHeadingDial(), 3, 3) > 0, false);

  // A left press on the heading dial's ring takes the dial: a drag along
  // it turns the heading, blue while held.
  ASSERT_TRUE(FindPart(nav->GetHeadingDial(), Qk_NavDial::PART_RING, 0.2, 0.0, 1.02, true, &x, &y));
  nav->SetFixedFrameTime(0.02);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, x, y);
  EXPECT_EQ(nav->GetActiveDial(), nav->GetHeadingDial());
  EXPECT_EQ(nav->GetHeadingDial()->GetGrabbed(), 1);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, x - 50, y);
  area->OnIdle();
  EXPECT_NEAR(nav->GetHeading(), -2.0, 1e-9);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, x - 50, y);
  EXPECT_EQ(nav->GetActiveDial(), nullptr);
  EXPECT_EQ(nav->GetHeadingDial()->GetGrabbed(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);

  // A left press on a spinning dial stops it and takes hold of it.
  nav->GetHeadingDial()->SetSpinning(1);
  area->BeginExploring();  // the spin's own period
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, x, y);
  EXPECT_EQ(nav->GetHeadingDial()->GetSpinning(), 0);
  EXPECT_EQ(area->GetExploreCount(), 1);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, x, y);
  EXPECT_EQ(area->GetExploreCount(), 0);

  // A middle press on a dial is taken and does nothing else.
  Settle();
  ASSERT_TRUE(FindPart(nav->GetTiltDial(), Qk_NavDial::PART_RING, -1.02, 0.2, 0.0, false, &x, &y));
  Mouse(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, x, y);
  EXPECT_EQ(nav->GetAnimating(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Mouse(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, x, y);
  EXPECT_TRUE(area->WaitForNormal());
}

TEST_F(NavigatorGL, DraggingTheConeChangesTheExaggerationInTwoDigitSteps) {
  Make(1000, 900);
  area->SetVertExag(1.0f);
  Settle();
  int x, y;
  ASSERT_TRUE(FindPart(nav->GetHeadingDial(), Qk_NavDial::PART_CONE, 0.0, 0.0, 0.93, true, &x, &y));
  nav->SetFixedFrameTime(0.02);
  nav->SetCentre(0.0, 0.0, 10.0);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, x, y);
  ASSERT_EQ(nav->GetActiveDial(), nav->GetHeadingDial());
  EXPECT_EQ(nav->GetHeadingDial()->GetConeGrabbed(), 1);
  EXPECT_EQ(nav->GetHeadingDial()->GetGrabbed(), 0);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, x, y + 100);
  std::vector<float> shown;
  double internal = 1.0;
  for (int i = 1; i <= 12; ++i) {
    area->OnIdle();
    internal *= std::pow(1.0005, 100 * 42.0 * 0.02);
    EXPECT_NEAR(nav->GetPressExaggeration(), internal, 1e-9 * internal);
    EXPECT_FLOAT_EQ(area->GetVertExag(), static_cast<float>(Qk_NavigatorOverlay::TwoSignificantDigits(internal)));
    EXPECT_FLOAT_EQ(static_cast<float>(nav->GetHeadingDial()->GetDisplayedExaggeration()), area->GetVertExag());
    // The centre follows the exaggeration.
    EXPECT_NEAR(nav->GetCentre()[2], 10.0 * internal, 1e-6);
    shown.push_back(area->GetVertExag());
  }
  EXPECT_DOUBLE_EQ(nav->GetHeading(), 0.0);  // the cone is no heading drag
  const std::vector<float> first = {1.0f, 1.0f, 1.1f, 1.1f, 1.2f};
  for (size_t i = 0; i < first.size(); ++i) EXPECT_FLOAT_EQ(shown[i], first[i]) << i;
  for (float v : shown) EXPECT_FLOAT_EQ(v * 10.0f, std::round(v * 10.0f));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, x, y + 100);
  EXPECT_EQ(nav->GetHeadingDial()->GetConeGrabbed(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Settle();
  EXPECT_EQ(area->infos.back(), "Normal");

  // Without the two-digit rule the exaggeration follows smoothly.
  nav->SetTwoDigitExaggeration(0);
  ASSERT_TRUE(FindPart(nav->GetHeadingDial(), Qk_NavDial::PART_CONE, 0.0, 0.0, 0.925, true, &x, &y));
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, x, y);
  const double start = nav->GetPressExaggeration();
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, x, y - 50);
  area->OnIdle();
  EXPECT_FLOAT_EQ(area->GetVertExag(), static_cast<float>(start * std::pow(1.0005, -50 * 42.0 * 0.02)));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, x, y - 50);
  EXPECT_EQ(area->GetExploreCount(), 0);
}

TEST_F(NavigatorGL, MiddleClickRecentresInAQuarterSecondOfFrameTime) {
  Make();
  nav->SetZoom(0.2);  // the scene leaves the corners empty
  Redraw();
  // The background: nothing happens.
  Mouse(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, 3, 296);
  EXPECT_EQ(nav->GetAnimating(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  Mouse(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, 3, 296);

  // A point of the scene: the centre moves there linearly.
  int x, y;
  ASSERT_TRUE(Project(0.0, 0.0, 0.0, true, &x, &y));
  x -= 30;  // beside the heading dial's shaft, on the red tile
  y += 25;
  Settle();
  nav->SetFixedFrameTime(0.05);
  Mouse(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, x, y);
  ASSERT_EQ(nav->GetAnimating(), 1);
  Mouse(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, x, y);
  const double* target = nav->GetAnimationTarget();
  const double goal[3] = {target[0], target[1], target[2]};
  EXPECT_GT(std::hypot(goal[0], goal[1]), 1.0);
  area->OnIdle();
  area->OnIdle();
  EXPECT_NEAR(nav->GetCentre()[0], 0.4 * goal[0], 1e-6 * std::fabs(goal[0]) + 1e-9);
  EXPECT_NEAR(nav->GetCentre()[1], 0.4 * goal[1], 1e-6 * std::fabs(goal[1]) + 1e-9);
  EXPECT_EQ(area->GetExploreCount(), 1);
  for (int i = 0; i < 3; ++i) area->OnIdle();
  EXPECT_EQ(nav->GetAnimating(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(nav->GetCentre()[i], goal[i]);
  Settle();
  // The clicked point is now in the middle of the view.
  double wx, wy;
  ASSERT_TRUE(orvanta_apptest::ProjectInView(area.get(), [&] { nav->ApplyCamera(); }, goal[0], goal[1], goal[2], &wx,
                                             &wy));
  EXPECT_NEAR(wx, area->GetWidth() / 2.0, 0.5);
  EXPECT_NEAR(wy, area->GetHeight() / 2.0, 0.5);
}

TEST_F(NavigatorGL, RecordedFramesPlayBackAsTheView) {
  Make();
  Movie* movie = area->GetMovie();
  ASSERT_NE(movie, nullptr);
  movie->Clear();
  area->makeCurrent();
  const int rest = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  // Tilt, heading, zoom and centre: inside the tilt range, looking along
  // the horizon, and beyond the range (a spinning tilt dial is not clamped),
  // where the eye is still on the side the camera looks from.
  const double cameras[][6] = {{-40.0, 30.0, 1.5, 100.0, -50.0, 20.0},
                               {-90.0, -135.0, 0.25, -400.0, 250.0, -30.0},
                               {35.0, 200.0, 3.0, 10.0, 20.0, 30.0}};
  int index = 0;
  for (const auto& c : cameras) {
    nav->SetTilt(c[0]);
    nav->SetHeading(c[1]);
    nav->SetZoom(c[2]);
    nav->SetCentre(c[3], c[4], c[5]);
    nav->RecordFrame();
    ASSERT_EQ(movie->GetNumFrames(), index + 1);
    EXPECT_EQ(movie->GetFrameType(index), 2);
    EXPECT_EQ(movie->GetCurrentFrame(), index);
    float frame[16];
    ASSERT_EQ(movie->GetFrameMatrix(index, frame), 0);
    // Movie::ApplyFrame loads this matrix: the navigator's view.
    const Sv_Matrix4 view = nav->GetViewMatrix();
    EXPECT_LT(orvanta_apptest::ViewDifference(frame, view.GetData()), 1e-4) << index;
    ++index;
  }
  EXPECT_EQ(movie->GetType(), 2);
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), rest);

  // No movie, no frame.
  movie->Clear();
  nav->SetSceneContext(area->GetRoot(), nullptr, area->GetViewMatrix(), area->GetCamera(), area->GetLights());
  nav->RecordFrame();
  EXPECT_EQ(movie->GetNumFrames(), 0);
}

}  // namespace

TEST_F(NavigatorGL, DialsStayWholeReachableUncoveredAndReadableInEveryView) {
  struct View {
    int width, height;
  };
  // The smallest window and its work area, two common windows, a large one.
  const View views[] = {{781, 540}, {781, 470}, {1024, 700}, {1200, 800}, {1920, 1200}};
  // A light surface, just off white, filling every view.
  ASSERT_TRUE(workarea_test::WriteSD(scene, {workarea_test::Tile(500000, 501000, 6000000, 6001000, -20, 0, 255,
                                                                 255, 240)}));
  for (const View& v : views) {
    SCOPED_TRACE(std::to_string(v.width) + " x " + std::to_string(v.height));
    Make(v.width, v.height);
    nav->SetZoom(8.0);
    nav->SetCentre(0.0, 0.0, -300.0);  // the surface passes in front of the dials
    Redraw();
    ASSERT_EQ(Settle().At(0, v.height - 1).g, 255);

    // The cone answers: a drag on it raises the exaggeration.
    const float before = area->GetVertExag();
    int x, y;
    ASSERT_TRUE(FindPart(nav->GetHeadingDial(), Qk_NavDial::PART_CONE, 0.0, 0.0, 0.93, true, &x, &y));
    nav->SetFixedFrameTime(0.02);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, x, y);
    Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, x, y + 100);
    for (int i = 0; i < 5; ++i) area->OnIdle();
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, x, y + 100);
    EXPECT_GT(area->GetVertExag(), before);
    ASSERT_TRUE(FindPart(nav->GetTiltDial(), Qk_NavDial::PART_RING, -1.02, 0.2, 0.0, false, &x, &y));

    // Every dial pixel drawn over an empty background is the same over the
    // light surface; the labels' dark outlines frame their white strokes.
    const Picture over = Settle();
    area->GetRoot()->GetFirstChild()->SetVisible(0);
    Redraw();
    const Picture alone = Settle();
    const Rgb background = alone.At(0, 0);
    int dial = 0, covered = 0, framed = 0;
    for (int py = 1; py + 1 < v.height; ++py) {
      for (int px = 1; px + 1 < v.width; ++px) {
        const Rgb a = alone.At(px, py), o = over.At(px, py);
        if (a.r == background.r && a.g == background.g && a.b == background.b) continue;
        ++dial;
        if (a.r != o.r || a.g != o.g || a.b != o.b) ++covered;
        if (o.r == 255 && o.g == 255 && o.b == 255 && over.At(px + 1, py).g == 0) ++framed;
      }
    }
    EXPECT_GT(dial, 2000);
    EXPECT_EQ(covered, 0) << dial;
    EXPECT_GT(framed, 20);

    // Whole at every tilt: nothing drawn on the view's edges.
    for (double tilt : {0.0, -60.0, -76.0, -90.0, -180.0}) {
      nav->SetTilt(tilt);
      Redraw();
      const Picture p = Settle();
      int edge = 0;
      for (int px = 0; px < v.width; ++px) edge += Drawn(p.At(px, 0)) + Drawn(p.At(px, v.height - 1));
      for (int py = 0; py < v.height; ++py) edge += Drawn(p.At(0, py)) + Drawn(p.At(v.width - 1, py));
      EXPECT_EQ(edge, 0) << tilt;
    }
  }
}
