// A VR terrain in the running viewer: a terrain with a block of no-data
// nodes, read from its file by the main window in this process and by the
// viewer executable.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_dtm/VRTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// 33 x 33 nodes over x 500000 ... 501000, y 6000000 ... 6001000, olive,
// drawn at stride 1, with the nodes of rows 10 ... 14, columns 20 ... 26
// without value (south-east of the centre).
bool WriteVRTerrain(const std::string& path) {
  auto dtm = vr_test::MakeVR(33, 33, 10, 14, 20, 26);
  dtm->SetBounds(0, 500000.0f, 501000.0f);
  dtm->SetBounds(1, 6000000.0f, 6001000.0f);
  dtm->SetBounds(2, -40.0f, 0.0f);
  dtm->SetDrawStep(1);
  dtm->SetPassStep(1);
  return dtm_test::WriteSD(path, {dtm.get()});
}

class VRTerrainInTheWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
};

// Seen from above, the terrain shows its colours, with the background
// showing through the no-data block.
TEST_F(VRTerrainInTheWindow, ShowsTheTerrainWithItsNoDataHole) {
  const std::string file = dir.file("vr.sd");
  ASSERT_TRUE(WriteVRTerrain(file));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  ASSERT_GT(view.h, 100);
  auto pixel = [&](double col, double row) {
    return view.Pixel(view.X(col * 31.25 - 500.0), view.Y(row * 31.25 - 500.0));
  };
  const QRgb background = view.Pixel(3, 3);
  const QRgb land = pixel(8.5, 24.5);
  EXPECT_NE(land, background);
  EXPECT_GT(qRed(land), 3 * qBlue(land)) << "the terrain's own colours";
  EXPECT_GT(qGreen(pixel(16.0, 16.0)), 3 * qBlue(pixel(16.0, 16.0)));
  EXPECT_EQ(pixel(23.0, 12.0), background) << "the no-data block";
}

// The viewer executable reads the terrain given with -data: the caption
// names the file and no error is shown.
TEST(VRTerrainInTheViewer, DataFileWithAVRTerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteVRTerrain(dir.file("vr.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("vr.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*vr\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
