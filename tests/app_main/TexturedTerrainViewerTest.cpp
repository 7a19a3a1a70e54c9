// A textured terrain in the running viewer: a checker draped over a terrain
// with a gap, read by the main window in this process (seen from above: the
// checker's squares in place and the hole) and by the viewer executable
// given it with -data.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_dtm/TextureTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

constexpr int kImageW = 600, kImageH = 520;

unsigned short Flat(int, int, int, int) { return 30000; }

// 65 x 65 nodes over the test bounds (1000 m square); nodes of rows 20 ... 30,
// columns 40 ... 50 empty.
bool WriteTexturedTerrain(const std::string& path) {
  auto dtm = dtm_test::MakeTextured(65, kImageW, kImageH, 20, 30, 40, 50, Flat);
  return dtm && dtm_test::WriteSD(path, {dtm.get()});
}

class TexturedTerrainInTheWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    ASSERT_TRUE(WriteTexturedTerrain(dir.file("draped.sd")));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
};

TEST_F(TexturedTerrainInTheWindow, ShowsTheDrapedCheckerWithItsHole) {
  ASSERT_TRUE(LoadSeenFromAbove(dir.file("draped.sd")));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // View pixel of image pixel (px, py): the image covers the terrain.
  auto pixel = [&](double px, double py) {
    return view.Pixel(view.X(px / kImageW * 1000.0 - 500.0), view.Y(py / kImageH * 1000.0 - 500.0));
  };
  int checked = 0;
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 9; ++i) {
      const double px = i * dtm_test::kSquare + dtm_test::kSquare / 2, py = j * dtm_test::kSquare + dtm_test::kSquare / 2;
      // Squares over the gap (image x 369 ... 469, y 163 ... 244) are left out.
      if (px > 340 && px < 500 && py > 130 && py < 280) continue;
      const QRgb p = pixel(px, py);
      const bool red = dtm_test::CheckerRed(static_cast<int>(px), static_cast<int>(py));
      EXPECT_TRUE(red ? qRed(p) > 150 && qBlue(p) < 100 : qBlue(p) > 150 && qRed(p) < 100)
          << i << ", " << j << ": " << qRed(p) << " " << qGreen(p) << " " << qBlue(p);
      ++checked;
    }
  }
  EXPECT_GT(checked, 50);
  // The hole shows the background.
  const QRgb background = view.Pixel(2, 2);
  EXPECT_EQ(pixel(45.0 / 64.0 * kImageW, 25.0 / 64.0 * kImageH), background);
}

TEST(TexturedTerrainInTheViewer, DataFileWithATexturedTerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteTexturedTerrain(dir.file("draped.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("draped.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*draped\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
