// The coordinate readout in the main window: moving the pointer over a
// drawn scene of known geometry shows the geographic point in the window's
// status field; over the background and after leaving the view the field
// is empty.

#include <gtest/gtest.h>

#include <QLineEdit>

#include <string>

#include "../app/PickTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "orvanta.h"

using orvanta_mainwindow_test::DesktopRecorder;
using orvanta_mainwindow_test::WaitFor;

namespace {

class WindowReadout : public ::testing::Test {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    file = dir.file("tiles.sd");
    ASSERT_TRUE(workarea_test::WriteSD(file, {workarea_test::Tile(500250, 500750, 6000000, 6001000, -20, 0),
                                              workarea_test::Tile(500750, 501000, 6000000, 6001000, -40, 0)}));
    window = new orvanta();
    window->SetArguments({"orvanta"});
    window->show();
    ASSERT_TRUE(WaitFor([&] { return window->IsStarted(); }));
  }
  void TearDown() override {
    {
      DesktopRecorder quiet;
      orvanta::ShowPendingMessages();
    }
    delete window;
    window = nullptr;
    Sd_Node::SetCoordinateType(0);
  }

  pick_test::PickTileClasses classes;
  orvanta_test::TempDir dir;
  orvanta_test::ScopedEnv home{"HOME", dir.path().c_str()};
  std::string file;
  orvanta* window = nullptr;
};

TEST_F(WindowReadout, PointerPositionShowsInTheStatusField) {
  Qk_GLWorkArea* area = window->m_workarea;
  // A camera that looks straight down at the scene, which fills 60 % of the
  // view's width around its centre.
  workarea_test::TestOverlay* overlay = new workarea_test::TestOverlay();
  overlay->distance = 0.0;
  area->InstallOverlay(overlay);
  area->SetInteractionMode(0);
  ASSERT_EQ(window->LoadDataFile(file.c_str()), 0);
  ASSERT_TRUE(WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));

  const int w = area->GetViewportWidth();
  const int h = area->GetViewportHeight();
  ASSERT_GT(w, 50);
  // Half a pixel right of the scene's centre line (500625 east: the scene
  // spans 500250 ... 501000).
  const double metresPerPixel = 750.0 / (0.6 * w);
  pick_test::Move(area, w / 2, h / 2);
  double x = 0, y = 0, z = 0;
  const std::string text = window->GeorefEdit->text().toStdString();
  ASSERT_TRUE(pick_test::ParseCoords(text, &x, &y, &z)) << text;
  EXPECT_NEAR(x, 500625.0 + (w / 2 + 0.5 - w / 2.0) * metresPerPixel, 1.5 * metresPerPixel);
  EXPECT_NEAR(y, 6000500.0 + (h / 2 + 0.5 - h / 2.0) * metresPerPixel, 1.5 * metresPerPixel);
  EXPECT_NEAR(z, -10.0, 0.5);  // the western tile, at the middle of its heights

  // The background left of the scene.
  pick_test::Move(area, 2, h / 2);
  EXPECT_EQ(window->GeorefEdit->text(), "");
  pick_test::Move(area, w / 2, h / 2);
  EXPECT_EQ(window->GeorefEdit->text().toStdString(), text);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(area, &leave);
  EXPECT_EQ(window->GeorefEdit->text(), "");
}

}  // namespace
