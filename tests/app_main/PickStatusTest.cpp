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
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

class WindowReadout : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    file = dir.file("tiles.sd");
    ASSERT_TRUE(workarea_test::WriteSD(file, {workarea_test::Tile(500250, 500750, 6000000, 6001000, -20, 0),
                                              workarea_test::Tile(500750, 501000, 6000000, 6001000, -40, 0)}));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  pick_test::PickTileClasses classes;
  std::string file;
};

TEST_F(WindowReadout, PointerPositionShowsInTheStatusField) {
  Qk_GLWorkArea* area = window->m_workarea;
  // A camera that looks straight down at the scene, which fills 60 % of the
  // view's width around its centre.
  ASSERT_TRUE(LoadSeenFromAbove(file));

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
