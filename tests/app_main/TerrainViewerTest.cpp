// Terrain in the running viewer: a non-contiguous terrain with a gap, read
// from its file by the viewer executable and by the main window in this
// process. The window shows the terrain with its hole, and moving the
// pointer over the terrain shows the point's coordinates in the status
// field; over the hole, and next to it where a cell lacks a corner, the field
// stays empty.

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>

#include <regex>
#include <string>

#include "../app/PickTestSupport.h"
#include "../sd_dtm/SonarTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// 33 x 33 nodes over x 500000 ... 501000, y 6000000 ... 6001000 (31.25 m
// a cell), depths rising from -40 m in the west to 0 m in the east, and the
// nodes of rows 10 ... 14, columns 20 ... 26 empty (south-east of the
// centre).
constexpr double kX0 = 500000.0, kY0 = 6000000.0, kCell = 31.25;

unsigned short Ramp(int, int c, int, int cols) {
  return static_cast<unsigned short>(1.0 + 65534.0 * c / (cols - 1));
}

bool WriteGapTerrain(const std::string& path) {
  auto dtm = dtm_test::MakeSonar(33, 33, 10, 14, 20, 26, Ramp);
  for (int r = 0; r < 33; ++r) {
    for (int c = 0; c < 33; ++c) dtm->GetColorGrid()[r][c] = PackColour(230, 120 + 3 * r, 40 + 5 * c, 255);
  }
  dtm->SetBounds(0, 500000.0f, 501000.0f);
  dtm->SetBounds(1, 6000000.0f, 6001000.0f);
  dtm->SetBounds(2, -40.0f, 0.0f);
  dtm_test::SDWriter w(path);
  w.Object(dtm.get());
  return w.Close();
}

class TerrainInTheWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    file = dir.file("gaps.sd");
    ASSERT_TRUE(WriteGapTerrain(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }

  std::string file;
};

TEST_F(TerrainInTheWindow, ShowsTheTerrainWithItsHoleAndThePointersCoordinates) {
  Qk_GLWorkArea* area = window->m_workarea;
  // A camera straight above the scene, which fills 60 % of the view's width
  // around its centre.
  ASSERT_TRUE(LoadSeenFromAbove(file));

  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  ASSERT_GT(view.h, 100);
  const double metresPerPixel = view.unitsPerPixel;
  // Pointer position (the event record's: pixels from the bottom left) of a
  // grid point (column, row).
  auto pixelX = [&](double col) { return view.X(col * kCell - 500.0); };
  auto pixelY = [&](double row) { return view.Y(row * kCell - 500.0); };

  // The terrain is on screen, with the background showing through its hole.
  auto pixel = [&](int x, int y) { return view.Pixel(x, y); };
  const QRgb background = pixel(3, 3);
  const QRgb land = pixel(pixelX(8.5), pixelY(24.5));
  EXPECT_NE(land, background);
  EXPECT_GT(qRed(land), qBlue(land)) << "the terrain's own colours";
  EXPECT_EQ(pixel(pixelX(23.0), pixelY(12.0)), background) << "the hole";
  EXPECT_NE(pixel(pixelX(18.0), pixelY(12.0)), background) << "west of the hole";

  // Over the data: the point and its depth.
  pick_test::Move(area, pixelX(16.0), pixelY(16.0));
  double x = 0, y = 0, z = 0;
  const std::string text = window->GeorefEdit->text().toStdString();
  ASSERT_TRUE(pick_test::ParseCoords(text, &x, &y, &z)) << text;
  EXPECT_NEAR(x, kX0 + 16.0 * kCell, 2.0 * metresPerPixel);
  EXPECT_NEAR(y, kY0 + 16.0 * kCell, 2.0 * metresPerPixel);
  EXPECT_NEAR(z, -40.0 + 40.0 * (x - kX0) / 1000.0, 0.2);

  // Over the hole, and on a drawn cell west of it whose eastern corners are
  // empty: no coordinates.
  pick_test::Move(area, pixelX(23.0), pixelY(12.5));
  EXPECT_EQ(window->GeorefEdit->text(), "");
  pick_test::Move(area, pixelX(8.5), pixelY(24.5));
  EXPECT_TRUE(pick_test::ParseCoords(window->GeorefEdit->text().toStdString(), &x, &y, &z));
  pick_test::Move(area, pixelX(19.5), pixelY(12.5));
  EXPECT_EQ(window->GeorefEdit->text(), "");
}

// The viewer executable reads the terrain file given with -data: the
// caption names the file (nothing read would leave it "Orvanta") and no
// error is shown.
TEST(TerrainInTheViewer, DataFileWithANonContiguousTerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteGapTerrain(dir.file("gaps.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("gaps.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*gaps\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
