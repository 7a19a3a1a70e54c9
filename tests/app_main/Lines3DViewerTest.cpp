// 3-D lines in the running viewer: labelled contours and a filled area
// outline, read from one file by the main window in this process and by the
// viewer executable. Seen from above, the area is filled with its colour,
// the contours run across the view in theirs, and the labelled contour
// breaks for its label, whose text stands in the break.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <regex>
#include <string>

#include "../sd_objects/Lines3DTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: x 500000 ... 501000, y 6000050 ... 6001050 (projected metres).
constexpr double kX0 = 500000.0, kY0 = 6000050.0, kWidth = 1000.0, kHeight = 1000.0;
// The area: 300 m wide from (500100, 6000050), as high as the scene.
constexpr double kAreaX = 500100.0, kAreaY = 6000050.0, kAreaWidth = 300.0, kAreaHeight = 1000.0;
// Contours across the scene, above the area, at these heights of y; the
// first is labelled 600 m along.
constexpr double kContourY[3] = {6000300.0, 6000550.0, 6000800.0};
constexpr double kLabelAt = 600.0;
constexpr unsigned kAreaColour[3] = {40, 160, 220};
constexpr unsigned kLineColour[3] = {250, 220, 60};

// Writes the file; the label's width in metres goes to *labelWidth.
bool WriteLinesFile(const std::string& path, double* labelWidth) {
  lines_test::BuiltInFont font;  // as the viewer draws them
  Sd_Lines3D area;
  area.SetPolygonMode(1);
  area.SetColour(PackColour(kAreaColour[0], kAreaColour[1], kAreaColour[2], 255));
  lines_test::Add(&area, {{kAreaX, kAreaY, -20},
                          {kAreaX + kAreaWidth, kAreaY, -20},
                          {kAreaX + kAreaWidth, kAreaY + kAreaHeight, -20},
                          {kAreaX, kAreaY + kAreaHeight, -20},
                          {kAreaX, kAreaY, -20}});
  Sd_Lines3D contours;
  contours.SetColour(PackColour(kLineColour[0], kLineColour[1], kLineColour[2], 255));
  contours.SetLabelScale(20.0);
  for (int c = 2; c >= 0; --c) {
    lines_test::Points p;
    for (int i = 0; i <= 20; ++i) p.push_back({kX0 + 50.0 * i, kContourY[c], -10});
    if (c == 0) {
      lines_test::AddLabelled(&contours, p, {kLabelAt}, {"20"});
    } else {
      lines_test::Add(&contours, p);
    }
  }
  *labelWidth = contours.LabelWidth("20");
  return lines_test::WriteSD(path, {&area, &contours});
}

class LinesInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    file = dir.file("contours.sd");
    ASSERT_TRUE(WriteLinesFile(file, &labelWidth));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  std::string file;
  double labelWidth = 0.0;
};

bool Near(QRgb p, const unsigned c[3]) {
  return std::abs(qRed(p) - int(c[0])) <= 3 && std::abs(qGreen(p) - int(c[1])) <= 3 &&
         std::abs(qBlue(p) - int(c[2])) <= 3;
}

TEST_F(LinesInTheWindow, ShowsTheFilledAreaAndTheLabelledContours) {
  Qk_GLWorkArea* area = window->m_workarea;
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const int w = area->GetViewportWidth();
  const int h = area->GetViewportHeight();
  ASSERT_GT(w, 100);
  ASSERT_GT(h, 100);
  const double metresPerPixel = kWidth / (0.6 * w);
  // Pixel (from the bottom left) of a scene point.
  auto px = [&](double x) { return static_cast<int>(w / 2 + (x - kX0 - 0.5 * kWidth) / metresPerPixel); };
  auto py = [&](double y) { return static_cast<int>(h / 2 + (y - kY0 - 0.5 * kHeight) / metresPerPixel); };
  const QImage picture = area->grabFramebuffer();
  const double ratio = picture.width() / static_cast<double>(w);
  auto pixel = [&](int x, int y) {
    return picture.pixel(static_cast<int>(x * ratio), static_cast<int>((h - 1 - y) * ratio));
  };
  // Pixels of the colour in the box x0 ... x1, y0 ... y1.
  auto count = [&](int x0, int y0, int x1, int y1, const unsigned c[3]) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) n += Near(pixel(x, y), c) ? 1 : 0;
    }
    return n;
  };

  EXPECT_TRUE(Near(pixel(px(kAreaX + 150), py(6000430)), kAreaColour)) << "filled";
  EXPECT_TRUE(Near(pixel(px(kAreaX + 50), py(6000950)), kAreaColour));
  EXPECT_FALSE(Near(pixel(px(kAreaX + 450), py(6000430)), kAreaColour)) << "outside";
  const int overArea = px(kAreaX + 150), row1 = py(kContourY[1]);
  EXPECT_GE(count(overArea - 2, row1 - 2, overArea + 2, row1 + 2, kLineColour), 5) << "a contour over the area";

  // Each contour runs across the view (within two pixels of its height).
  for (double y : kContourY) {
    SCOPED_TRACE(y);
    EXPECT_GT(count(px(kX0 + 700), py(y) - 2, px(kX0 + 900), py(y) + 2, kLineColour),
              px(kX0 + 900) - px(kX0 + 700));
  }
  // The labelled one breaks for its label; the text stands in the break.
  const int gap0 = px(kX0 + kLabelAt) + 2, gap1 = px(kX0 + kLabelAt + labelWidth) - 2;
  const int row = py(kContourY[0]);
  ASSERT_GT(gap1 - gap0, 8);
  const int before = count(px(kX0 + 100), row - 2, px(kX0 + 100) + gap1 - gap0, row + 2, kLineColour);
  const int inGap = count(gap0, row - 2, gap1, row + 2, kLineColour);
  EXPECT_LT(inGap, before / 2) << "the break";
  EXPECT_GT(count(gap0, row + 3, gap1, row + 20, kLineColour), 5) << "the text";
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(LinesInTheViewer, DataFileWithContoursAndAnAreaOpens) {
  orvanta_test::TempDir dir;
  double width = 0.0;
  ASSERT_TRUE(WriteLinesFile(dir.file("contours.sd"), &width));
  const ViewerRun run = RunViewer({"-data", dir.file("contours.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*contours\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
