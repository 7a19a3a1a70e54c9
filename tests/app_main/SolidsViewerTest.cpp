// A lit solid model beside a translucent plane in the running viewer: one
// generated file, read by the main window in this process (seen from
// above, its pixels checked) and by the viewer executable given it with
// -data.

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>

#include "../sd_objects/SolidTestSupport.h"
#include "AppMainSupport.h"
#include "Sd_Plane.h"
#include "Sd_SolidModel.h"
#include "Sv_Colour.h"
#include "TDR_Manager.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: x 500000 ... 501000, y 6000000 ... 6001000 (UTM metres). A red
// pyramid 400 m high on the square x + 0 ... 400, y + 0 ... 400, and a
// half-transparent blue plane over x + 500 ... 1000, y + 0 ... 1000 at
// height 0.
constexpr double kX0 = 500000.0, kY0 = 6000000.0;

bool WriteModelAndPlane(const std::string& path) {
  using solid_test::Triangle;
  const std::vector<double> v = {kX0,       kY0,       0, kX0 + 400, kY0,       0,  kX0 + 400, kY0 + 400, 0,
                                 kX0,       kY0 + 400, 0, kX0 + 200, kY0 + 200, 400};
  // Side normals: south, east, north, west (slope 400 over 200), then down.
  const float s = 0.8944f, c = 0.4472f;
  const std::vector<float> n = {0, -s, c, s, 0, c, 0, s, c, -s, 0, c, 0, 0, -1};
  auto model = solid_test::Model(v, n,
                                 {Triangle(0, 1, 4, 0), Triangle(1, 2, 4, 1), Triangle(2, 3, 4, 2),
                                  Triangle(3, 0, 4, 3), Triangle(0, 2, 1, 4), Triangle(0, 3, 2, 4)},
                                 230, 30, 30);
  Sd_Plane plane;
  plane.SetColour(PackColour(0, 0, 255, 0));
  plane.SetAlpha(128);
  plane.SetGeoHeight(0.0f);
  plane.SetBounds(0, static_cast<float>(kX0 + 500), static_cast<float>(kX0 + 1000));
  plane.SetBounds(1, static_cast<float>(kY0), static_cast<float>(kY0 + 1000));
  plane.SetBounds(2, -50.0f, 50.0f);
  TDR_Manager m;
  return model->GetFaceCount() == 6 && m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
         model->SaveObject(&m, 1, 0) == 0 && plane.SaveObject(&m, 1, 0) == 0 &&
         m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

using SolidsInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(SolidsInTheWindow, ShowsALitModelBesideATranslucentPlane) {
  // The coordinate type the load decides is process-wide: gone afterwards.
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  const std::string file = dir.file("solids.sd");
  ASSERT_TRUE(WriteModelAndPlane(file));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // Offsets from the scene's centre (500, 500).
  auto at = [&](double east, double north) { return view.Pixel(view.X(east - 500.0), view.Y(north - 500.0)); };
  const QRgb background = view.Pixel(3, 3);
  const QRgb west = at(100, 200), east = at(300, 200), south = at(200, 100), north = at(200, 300);
  for (QRgb face : {west, east, south, north}) {
    EXPECT_NE(face, background);
    EXPECT_GT(qRed(face), 2 * qGreen(face) + 10) << "the model's red material";
  }
  // Lit: faces turned differently towards the light differ in brightness.
  const int spread = std::max({qRed(west), qRed(east), qRed(south), qRed(north)}) -
                     std::min({qRed(west), qRed(east), qRed(south), qRed(north)});
  EXPECT_GT(spread, 30) << qRed(west) << " " << qRed(east) << " " << qRed(south) << " " << qRed(north);
  // The plane: blue, half of it, over the background.
  const QRgb plane = at(750, 500);
  EXPECT_GT(qBlue(plane), qBlue(background) + 90);
  EXPECT_LT(qBlue(plane), 200) << "translucent";
  EXPECT_LT(qRed(plane), 60);
  EXPECT_EQ(at(450, 800), background) << "between the two";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(SolidsInTheViewer, DataFileWithAModelAndAPlaneOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteModelAndPlane(dir.file("solids.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("solids.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*solids\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
