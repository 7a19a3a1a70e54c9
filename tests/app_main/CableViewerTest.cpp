// A cable beside a terrain of the same extent in the running viewer: one
// generated file, read by the main window in this process (seen from
// above, its pixels checked) and by the viewer executable given it with
// -data.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <regex>
#include <string>

#include "../sd_dtm/DTMTestSupport.h"
#include "AppMainSupport.h"
#include "Sd_CableParent.h"
#include "Sv_Colour.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: x 500000 ... 501000, y 6000000 ... 6001000 (UTM metres), z
// -40 ... 0. An orange terrain rising from west to east over all of it, and
// a cable at the surface from (x + 100, y + 500) east to (x + 500, y + 500),
// then north-east to (x + 900, y + 800).
constexpr double kX0 = 500000.0, kY0 = 6000000.0;

bool WriteCableOverTerrain(const std::string& path) {
  auto dtm = dtm_test::MakeDTM(17, 17, dtm_test::RampCode);
  if (!dtm) return false;
  for (int r = 0; r < 17; ++r) {
    for (int c = 0; c < 17; ++c) dtm->GetColorGrid()[r][c] = PackColour(230, 130, 40, 255);
  }
  Sd_CableParent cable;
  for (Sd_Node* node : {static_cast<Sd_Node*>(dtm.get()), static_cast<Sd_Node*>(&cable)}) {
    node->SetBounds(0, static_cast<float>(kX0), static_cast<float>(kX0 + 1000));
    node->SetBounds(1, static_cast<float>(kY0), static_cast<float>(kY0 + 1000));
    node->SetBounds(2, -40.0f, 0.0f);
  }
  const double xyz[] = {kX0 + 100, kY0 + 500, 0, kX0 + 500, kY0 + 500, 0, kX0 + 900, kY0 + 800, 0};
  return cable.SetPoints(xyz, 3) == 0 && dtm_test::WriteSD(path, {dtm.get(), &cable});
}

using CableInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(CableInTheWindow, ShowsTheTubeOverTheTerrain) {
  // The coordinate type the load decides is process-wide: gone afterwards.
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  const std::string file = dir.file("cable.sd");
  ASSERT_TRUE(WriteCableOverTerrain(file));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // Offsets from the scene's centre (500, 500).
  auto at = [&](double east, double north) { return view.Pixel(view.X(east - 500.0), view.Y(north - 500.0)); };
  auto grey = [](QRgb c) {
    return qRed(c) > 60 && std::abs(qRed(c) - qGreen(c)) < 12 && std::abs(qGreen(c) - qBlue(c)) < 12;
  };
  auto orange = [](QRgb c) { return qRed(c) > qBlue(c) + 60; };
  EXPECT_TRUE(grey(at(300, 500))) << "the tube's first stretch";
  EXPECT_TRUE(grey(at(700, 650))) << "the tube's second stretch";
  EXPECT_TRUE(orange(at(300, 300))) << "the terrain beside it";
  EXPECT_TRUE(orange(at(700, 400)));
  EXPECT_TRUE(orange(at(50, 500))) << "the terrain west of the cable's end";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(CableInTheViewer, DataFileWithACableOverATerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteCableOverTerrain(dir.file("cable.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("cable.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*cable\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
