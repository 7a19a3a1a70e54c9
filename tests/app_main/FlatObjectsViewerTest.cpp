// 2-D lines and a text label in the running viewer: one generated file,
// read by the main window in this process (seen from above, its pixels
// checked) and by the viewer executable given it with -data.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "AppMainSupport.h"
#include "Sd_Label.h"
#include "Sd_Lines2D.h"
#include "TDR_Manager.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: x 500000 ... 501000, y 6000000 ... 6001000 (UTM metres). The
// lines: an east-west line at y + 200 from x + 100 to x + 900, a pen-up, a
// north-south line at x + 800 from y + 300 to y + 900. The label "HH" in
// yellow, centred in its box x + 100 ... 700, y + 400 ... 900.
constexpr float kX0 = 500000.0f, kY0 = 6000000.0f;

bool WriteLinesAndLabel(const std::string& path) {
  const float M = Sd_Lines2D::kPenUp;
  const float xy[] = {kX0 + 100, kY0 + 200, kX0 + 900, kY0 + 200, M, 0, kX0 + 800, kY0 + 300, kX0 + 800, kY0 + 900};
  const float range[4] = {kY0, kY0 + 1000, kX0, kX0 + 1000};
  Sd_Lines2D frame;
  frame.SetBounds(0, range[2], range[3]);
  frame.SetBounds(1, range[0], range[1]);
  frame.SetBounds(2, -Sd_Lines2D::kZBound, Sd_Lines2D::kZBound);
  Sd_Label label;
  label.SetText("HH");
  label.SetLineWidth(2);
  label.SetColour(255, 255, 0, 255);
  label.SetBounds(0, kX0 + 100, kX0 + 700);
  label.SetBounds(1, kY0 + 400, kY0 + 900);
  label.SetBounds(2, 0.0f, 0.0f);
  TDR_Manager m;
  return m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && Sd_Lines2D::WriteRecord(&m, 0, xy, 5, range) == 0 &&
         frame.WriteCommonTags(&m) == 0 && label.SaveObject(&m, 1, 0) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 &&
         m.CloseFile() == 0;
}

using FlatObjectsInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(FlatObjectsInTheWindow, ShowsTheLinesWithTheirBreakAndTheLabel) {
  // The coordinate type the load decides is process-wide: gone afterwards.
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  const std::string file = dir.file("lines.sd");
  ASSERT_TRUE(WriteLinesAndLabel(file));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  // Offsets from the scene's centre (500, 500).
  auto px = [&](double east) { return view.X(east - 500.0); };
  auto py = [&](double north) { return view.Y(north - 500.0); };
  const QRgb background = view.Pixel(3, 3);
  // Some pixel within two of (x, y) satisfies what.
  auto near = [&](int x, int y, auto what) {
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        if (what(view.Pixel(x + dx, y + dy))) return true;
      }
    }
    return false;
  };
  auto white = [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; };
  auto yellow = [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80; };
  EXPECT_TRUE(near(px(300), py(200), white)) << "the east-west line";
  EXPECT_TRUE(near(px(800), py(600), white)) << "the north-south line";
  EXPECT_FALSE(near(px(850), py(250), [&](QRgb c) { return c != background; })) << "the pen-up between them";
  // "HH" centred on (400, 650): its strokes stand left and right of the
  // centre, just above the baseline.
  int labelPixels = 0;
  for (int y = py(650); y < py(650) + 30; ++y) {
    for (int x = px(400) - 40; x <= px(400) + 40; ++x) labelPixels += yellow(view.Pixel(x, y));
  }
  EXPECT_GT(labelPixels, 20) << "the label";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(FlatObjectsInTheViewer, DataFileWithLinesAndALabelOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteLinesAndLabel(dir.file("lines.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("lines.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*lines\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
