// The viewer end to end in this process: the main window started on the
// build's sample scene (as ./run.sh starts it) shows the scene under the
// navigator's dials, and a drag in the window turns the view.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>

#include <cstdlib>
#include <string>

#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Qk_NavDial.h"
#include "Qk_NavigatorOverlay.h"
#include "Sd_DTMClasses.h"
#include "Sd_Node.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::WaitFor;

namespace {

class NavigatorWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    // Tall enough for the whole heading dial: its ring stands near the top
    // of views less than about 900 pixels high.
    ASSERT_TRUE(StartWindow({"orvanta", "-data", ORVANTA_SAMPLE_SD}, QSize(1100, 1000)));
    area = window->m_workarea;
    ASSERT_TRUE(Settle());
  }

  QImage Grab(const char* name) {
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (const char* out = getenv("ORVANTA_TEST_OUT")) {
      std::string cmd = std::string("mkdir -p '") + out + "'";
      if (system(cmd.c_str()) == 0) shot.save(QString::fromLocal8Bit(out) + "/" + name + ".png");
    }
    return shot;
  }

  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y) {
    const QPointF at(x, y);
    QMouseEvent event(type, at, area->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(area, &event);
  }

  Qk_GLWorkArea* area = nullptr;
};

int Differences(const QImage& a, const QImage& b, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    }
  }
  return n;
}

TEST_F(NavigatorWindow, TheSampleIsDrawnUnderTheDials) {
  Qk_NavigatorOverlay* nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
  ASSERT_NE(nav, nullptr) << "the window installs the navigator at start-up";
  EXPECT_EQ(Sd_Node::GetCoordinateType(), 2);  // the sample is in projected metres
  EXPECT_EQ(nav->DistancesOn(), 1);
  EXPECT_GT(nav->GetTiltDial()->GetDistance(), 0.0);

  const QImage with = Grab("navigator_window");
  const QRect view(area->mapTo(window, QPoint(0, 0)), area->size() * with.devicePixelRatio());

  // The dials: the grips on both rings and the two shafts.
  QPoint at;
  ASSERT_TRUE(DialPointInGrab(nav, 0.0, -0.21, 1.02, true, &at));
  QColor grip = with.pixelColor(at);
  EXPECT_GT(grip.red(), 90);
  EXPECT_NEAR(grip.red(), grip.blue(), 8);
  ASSERT_TRUE(DialPointInGrab(nav, -1.02, 0.0, 0.21, false, &at));
  grip = with.pixelColor(at);
  EXPECT_GT(grip.red(), 90);
  EXPECT_NEAR(grip.red(), grip.green(), 8);
  // The shafts between two ticks, whose outlines are dark.
  ASSERT_TRUE(DialPointInGrab(nav, 0.0, 0.0, 0.75 * nav->GetHeadingDial()->GetSpacing(), true, &at));
  EXPECT_GT(with.pixelColor(at).red(), 20);
  ASSERT_TRUE(DialPointInGrab(nav, 0.75 * nav->GetTiltDial()->GetSpacing(), 0.0, 0.0, false, &at));
  EXPECT_GT(with.pixelColor(at).red(), 20);

  // Without the dials the scene alone remains, and it is drawn: the view
  // is not just background.
  nav->SetShown(0);
  area->UpdateGL();
  ASSERT_TRUE(Settle());
  const QImage without = Grab("navigator_window_scene");
  nav->SetShown(1);
  EXPECT_GT(Differences(with, without, view), 5000);
  const QRgb background = without.pixel(view.left() + 2, view.bottom() - 2);
  int scene = 0;
  for (int y = view.top(); y <= view.bottom(); y += 2) {
    for (int x = view.left(); x <= view.right() - 200; x += 2) {  // the logo sits in the top right
      if (without.pixel(x, y) != background) ++scene;
    }
  }
  EXPECT_GT(scene, 200);
}

TEST_F(NavigatorWindow, ADragInTheWindowTurnsTheView) {
  Qk_NavigatorOverlay* nav = dynamic_cast<Qk_NavigatorOverlay*>(area->GetOverlay());
  ASSERT_NE(nav, nullptr);
  nav->SetFixedFrameTime(0.02);
  const QImage before = Grab("navigator_before_drag");
  // A left drag locked to the heading, well away from the dials.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 60);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 72, 61);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 172, 61);
  ASSERT_EQ(nav->GetLockedAxis(), Qk_NavigatorOverlay::AXIS_HEADING);
  for (int i = 0; i < 10; ++i) area->OnIdle();
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 172, 61);
  EXPECT_NEAR(nav->GetHeading(), 40.0, 1e-9);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(window->IsStarted(), true);
  const QImage after = Grab("navigator_after_drag");
  const QRect view(area->mapTo(window, QPoint(0, 0)), area->size() * after.devicePixelRatio());
  EXPECT_GT(Differences(before, after, view), 1000);
}

}  // namespace
