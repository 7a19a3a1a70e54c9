// A real-time terrain in the running viewer: the main window started with
// -data on a record naming a writer's block shows the block's grid, and
// after the writer recolours the block a redraw shows the new colours.

#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "../sd_dtm/RealTimeTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "WindowFixture.h"
#include "orvanta.h"

namespace {

class RealTimeInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { Sd_Node::SetCoordinateType(0); }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }
};

TEST_F(RealTimeInTheWindow, ShowsTheWritersGridAndItsChangesAtTheNextRedraw) {
  // 9 x 9 nodes over 80 x 80 m.
  realtime_test::TerrainBlock block(9, 9);
  ASSERT_TRUE(block.Ok());
  ASSERT_TRUE(block.Uniform(20000, PackColour(230, 60, 30, 255)));
  const std::string file = dir.file("realtime.sd");
  ASSERT_TRUE(realtime_test::WriteRecordFile(file, block.Name(), 0));
  ASSERT_TRUE(StartWindow({"orvanta", "-data", QString::fromStdString(file)}));
  ASSERT_TRUE(SeeFromAbove());
  SeenFromAbove view = Picture(80.0);
  ASSERT_GT(view.w, 100);
  QRgb c = view.Pixel(view.X(10.0), view.Y(-10.0));
  EXPECT_TRUE(qRed(c) > qGreen(c) + 80 && qRed(c) > qBlue(c) + 80) << std::hex << c;

  ASSERT_TRUE(block.Uniform(20000, PackColour(30, 60, 230, 255)));
  ASSERT_TRUE(Redraw());
  view = Picture(80.0);
  c = view.Pixel(view.X(10.0), view.Y(-10.0));
  EXPECT_TRUE(qBlue(c) > qRed(c) + 80 && qBlue(c) > qGreen(c) + 80) << std::hex << c;
}

}  // namespace
