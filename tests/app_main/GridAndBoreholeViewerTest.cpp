// A reference grid and drill holes in the running viewer: one generated
// file, read by the main window in this process (seen from above, its
// pixels checked) and by the viewer executable given it with -data.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::WriteGridAndHolesFile;
using orvanta_mainwindow_test::ViewerRun;

namespace {

using GridAndBoreholeInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(GridAndBoreholeInTheWindow, ShowsTheGridAndTheHolesInTheirClassColours) {
  // The coordinate type the load decides is process-wide: gone afterwards.
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  orvanta_test::ScopedEnv config("WRUCONFIGURATIONS", nullptr);
  const std::string file = dir.file("holes.sd");
  ASSERT_TRUE(WriteGridAndHolesFile(file));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  // The holes' depth, seen from above, would put them far nearer the eye
  // than the scene's middle: the exaggeration flattens the scene so that
  // every depth shows at the picture's scale.
  Qk_GLWorkArea* area = window->m_workarea;
  area->SetVertExag(0.001f);
  area->PaintGL();
  ASSERT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // Offsets from the scene's centre (500, 500).
  auto px = [&](double east) { return view.X(east - 500.0); };
  auto py = [&](double north) { return view.Y(north - 500.0); };
  // Some pixel within two of (east, north) satisfies what.
  auto near = [&](double east, double north, auto what) {
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        if (what(view.Pixel(px(east) + dx, py(north) + dy))) return true;
      }
    }
    return false;
  };
  auto white = [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; };
  auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; };
  auto blue = [](QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) > 200; };
  auto dark = [](QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60; };
  EXPECT_TRUE(near(100, 900, white)) << "a north-south grid line";
  EXPECT_TRUE(near(50, 500, white)) << "an east-west grid line";
  EXPECT_TRUE(dark(view.Pixel(px(150), py(150)))) << "between grid lines";
  EXPECT_TRUE(near(250, 300, red)) << "hole A, classes 1 and 2";
  EXPECT_TRUE(near(750, 300, blue)) << "hole A, class 5";
  EXPECT_TRUE(near(500, 650, blue)) << "hole B";
  EXPECT_FALSE(near(250, 300, blue)) << "no class-5 colour on hole A's western half";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(GridAndBoreholeInTheViewer, DataFileWithAGridAndHolesOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteGridAndHolesFile(dir.file("holes.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("holes.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*holes\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
