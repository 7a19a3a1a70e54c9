// An ROV node over a terrain of the same extent in the running viewer: the
// main window started with -data in this process shows the vehicle where
// the test's writer program puts it and, after the writer moves it and the
// view is redrawn, at its new place; the viewer executable opens the same
// file with -data (no block published there: no vehicle, no message box).

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_dtm/DTMTestSupport.h"
#include "../support/rov/RovWriter.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_ROVParent.h"
#include "Sv_Colour.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: x 500000 ... 501000, y 6000000 ... 6001000 (UTM metres), z
// -40 ... 0: an orange terrain rising from west to east, and an ROV node of
// the same box.
constexpr double kX0 = 500000.0, kY0 = 6000000.0;

bool WriteROVOverTerrain(const std::string& path) {
  auto dtm = dtm_test::MakeDTM(17, 17, dtm_test::RampCode);
  if (!dtm) return false;
  for (int r = 0; r < 17; ++r) {
    for (int c = 0; c < 17; ++c) dtm->GetColorGrid()[r][c] = PackColour(230, 130, 40, 255);
  }
  Sd_ROVParent rov;
  for (Sd_Node* node : {static_cast<Sd_Node*>(dtm.get()), static_cast<Sd_Node*>(&rov)}) {
    node->SetBounds(0, static_cast<float>(kX0), static_cast<float>(kX0 + 1000));
    node->SetBounds(1, static_cast<float>(kY0), static_cast<float>(kY0 + 1000));
    node->SetBounds(2, -40.0f, 0.0f);
  }
  return dtm_test::WriteSD(path, {dtm.get(), &rov});
}

class ROVInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { Sd_Node::SetCoordinateType(0); }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }
};

TEST_F(ROVInTheWindow, VehicleStandsWhereTheWriterPutsItAndFollowsItAtTheNextRedraw) {
  rov_test::PublishedBlock block;
  rov_test::RovWriter& writer = block.writer;
  ASSERT_TRUE(writer.Ready());
  // In the node's data coordinates, at the top of its box.
  ASSERT_TRUE(writer.Pose(kX0 + 250, kY0 + 750, 0.0, 1.0));
  const std::string file = dir.file("rov.sd");
  ASSERT_TRUE(WriteROVOverTerrain(file));
  ASSERT_TRUE(StartWindow({"orvanta", "-data", QString::fromStdString(file)}));
  ASSERT_TRUE(SeeFromAbove());
  // The fit after the load told the writer the node's bounds.
  EXPECT_EQ(writer.Get(Sd_ROVParent::kBounds, 7),
            (std::vector<double>{kX0, kX0 + 1000, kY0, kY0 + 1000, -40, 0, 1.0}));

  auto vehicle = [](QRgb c) { return qBlue(c) > qRed(c) + 60 && qGreen(c) > qRed(c) + 40; };
  auto orange = [](QRgb c) { return qRed(c) > qBlue(c) + 60; };
  SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // Offsets from the scene's centre (500, 500).
  auto at = [&](double east, double north) { return view.Pixel(view.X(east - 500.0), view.Y(north - 500.0)); };
  EXPECT_TRUE(vehicle(at(250, 750))) << "the vehicle";
  EXPECT_TRUE(orange(at(750, 250))) << "the terrain";

  ASSERT_TRUE(writer.Pose(kX0 + 750, kY0 + 250, 0.0, 1.0));
  EXPECT_TRUE(vehicle(Picture(1000.0).Pixel(view.X(-250.0), view.Y(250.0)))) << "not before a redraw";
  ASSERT_TRUE(Redraw());
  view = Picture(1000.0);
  EXPECT_TRUE(vehicle(at(750, 250))) << "the vehicle at its new place";
  EXPECT_TRUE(orange(at(250, 750))) << "the terrain where it was";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(ROVInTheViewer, DataFileWithAnROVNodeOverATerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteROVOverTerrain(dir.file("rov.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("rov.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*rov\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
