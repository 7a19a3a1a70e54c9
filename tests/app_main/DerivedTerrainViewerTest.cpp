// A terrain derived by the terrain analysis (the part of a non-contiguous
// terrain above a plane), saved as an ordinary non-contiguous terrain: the
// viewer executable opens it with -data, and the main window shows the
// derived heights where they are and the background where the terrain lay
// below the plane.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_dtm/SonarTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Plane.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// A 33 x 33 terrain over x 500000 ... 501000, y 6000000 ... 6001000 (31.25 m
// a cell), heights rising from -40 m in the west to 0 m in the east; the
// derived model keeps its part above -20 m (columns 17 ... 32, values 1.25
// ... 20 m).
unsigned short Ramp(int, int c, int, int cols) {
  return static_cast<unsigned short>(1.0 + 65534.0 * c / (cols - 1));
}

bool WriteDerivedTerrain(const std::string& path) {
  auto source = dtm_test::MakeSonar(33, 33, 0, -1, 0, -1, Ramp);
  source->SetBounds(0, 500000.0f, 501000.0f);
  source->SetBounds(1, 6000000.0f, 6001000.0f);
  source->SetBounds(2, -40.0f, 0.0f);
  Sd_Plane plane;
  plane.SetGeoHeight(-20.0f);
  plane.SetUseGeoHeight(1);
  Sd_SonarDTM derived;
  if (derived.QueryPlaneAbove(source.get(), &plane) != 1) return false;
  dtm_test::SDWriter w(path);
  w.Object(&derived);
  return w.Close();
}

class DerivedTerrainInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
    file = dir.file("above.sd");
    ASSERT_TRUE(WriteDerivedTerrain(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  std::string file;
};

TEST_F(DerivedTerrainInTheWindow, ShowsThePartAboveThePlane) {
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  auto pixel = [&](double col, double row) {
    return view.Pixel(view.X(col * 31.25 - 500.0), view.Y(row * 31.25 - 500.0));
  };
  const QRgb background = view.Pixel(3, 3);
  EXPECT_EQ(pixel(8.0, 16.0), background) << "below the plane: empty";
  const QRgb high = pixel(30.5, 16.0);
  EXPECT_NE(high, background);
  EXPECT_NE(pixel(20.5, 16.0), background);
  EXPECT_NE(pixel(20.5, 16.0), high) << "coloured by height";
}

TEST(DerivedTerrainInTheViewer, DataFileWithADerivedTerrainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteDerivedTerrain(dir.file("above.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("above.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*above\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
