// A spherical terrain in the running viewer: a globe coloured by quadrant,
// opened with -data by the main window in this process and by the viewer
// executable.

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <regex>
#include <string>

#include "../sd_dtm/SphereTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// A whole globe of 37 x 73 nodes (every 5 degrees), heights 0 ... 10000 m,
// coloured by quadrant: north-east red, north-west green, south-east blue,
// south-west yellow.
bool WriteGlobe(const std::string& path) {
  auto dtm = sphere_test::MakeSphere(37, 73, -180.0f, 180.0f, -90.0f, 90.0f, sphere_test::Slope, sphere_test::Quadrant);
  return dtm && dtm_test::WriteSD(path, {dtm.get()});
}

class SphereInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override { Sd_Node::SetCoordinateType(0); }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }
};

// Seen from above the north pole, the eastern longitudes (red) lie north of
// the pole in the picture and the western ones (green) south of it, with
// the background around the globe.
TEST_F(SphereInTheWindow, GlobeFromTheDataFileShowsItsQuadrants) {
  const std::string file = dir.file("globe.sd");
  ASSERT_TRUE(WriteGlobe(file));
  ASSERT_TRUE(StartWindow({"orvanta", "-data", QString::fromStdString(file)}));
  Qk_GLWorkArea* area = window->m_workarea;
  area->InstallOverlay(new workarea_test::TestOverlay());
  area->SetInteractionMode(0);
  area->UpdateGL();
  ASSERT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));
  EXPECT_EQ(Sd_Node::GetCoordinateType(), SD_COORDS_SPHERE);

  const SeenFromAbove view = Picture(360.0);
  ASSERT_GT(view.w, 100);
  auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; };
  auto green = [](QRgb c) { return qGreen(c) > 200 && qRed(c) < 60 && qBlue(c) < 60; };
  int reds = 0, greens = 0;
  for (int y = 0; y < view.h; y += 4) {
    for (int x = 0; x < view.w; x += 4) {
      const QRgb c = view.Pixel(x, y);
      reds += red(c) && y > view.h / 2;
      greens += green(c) && y < view.h / 2;
    }
  }
  EXPECT_GT(reds, 50);
  EXPECT_GT(greens, 50);
  const QRgb corner = view.Pixel(2, 2);
  EXPECT_FALSE(red(corner) || green(corner)) << "background";
}

// The viewer executable reads the globe given with -data: the caption names
// the file and no error is shown.
TEST(SphereInTheViewer, DataFileWithAGlobeOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteGlobe(dir.file("globe.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("globe.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*globe\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
