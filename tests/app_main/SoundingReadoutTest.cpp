// Soundings under the pointer in the main window: moving the pointer over a
// generated data set shows the geographic point and the surface's height
// there in the status field; beside the data the field is empty.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <string>

#include "../app/PickTestSupport.h"
#include "../sd_survey/SoundingPickSupport.h"
#include "../sd_survey/SoundingTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_SurveyClasses.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

class SoundingReadout : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(Sd_RegisterSurveyClasses(), 0);
    Sd_Node::SetCoordinateType(0);
    file = dir.file("plane.sd");
    // 8 rows and 10 columns of 10 m cells on a tilted plane: the grid
    // spans x 999 ... 1099 and y 1999 ... 2079.
    auto s = sounding_pick::Grid<Sd_HTFSounding>(8, 10, sounding_pick::Tilted);
    ASSERT_TRUE(sounding_test::WriteData(file, {s.get()}));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  std::string file;
};

TEST_F(SoundingReadout, PointerOverTheSoundingsShowsTheirSurface) {
  Qk_GLWorkArea* area = window->m_workarea;
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const int w = area->GetViewportWidth();
  const int h = area->GetViewportHeight();
  ASSERT_GT(w, 50);
  const double metresPerPixel = 100.0 / (0.6 * w);
  pick_test::Move(area, w / 2, h / 2);
  const std::string text = window->GeorefEdit->text().toStdString();
  double x = 0, y = 0, z = 0;
  ASSERT_TRUE(pick_test::ParseCoords(text, &x, &y, &z)) << text;
  EXPECT_NEAR(x, 1049.0, 1.5 * metresPerPixel);
  EXPECT_NEAR(y, 2039.0, 1.5 * metresPerPixel);
  // Row position 3.5 and column position 4.5 on the plane.
  EXPECT_NEAR(z, -50.0 + 2.0 * 3.5 + 3.0 * 4.5, 5.0 * 3.0 * metresPerPixel / 10.0 + 0.05);

  pick_test::Move(area, 2, h / 2);
  EXPECT_EQ(window->GeorefEdit->text(), "");
}

}  // namespace
