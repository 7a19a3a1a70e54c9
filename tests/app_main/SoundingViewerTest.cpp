// Soundings in the running viewer: an FSD data set read by the main window
// in this process shows its lit surface coloured by depth over the grey
// base plate, the plate through a column of empty cells, and its run line;
// the viewer executable opens an HTF data set given with -data.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <regex>
#include <string>

#include "../sd_survey/SoundingTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_SurveyClasses.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// Soundings on a 25 m lattice over x 500000 ... 500400, y 6000000 ...
// 6000050, one in each 25 m cell, depths rising from -40 m in the west to
// 0 m in the east, none at x 500200 (a column of empty cells); one run
// along y 6000025 from 100 m west to 100 m east of the data. The grid spans
// x 499997.5 ... 500422.5, y 5999997.5 ... 6000072.5.
bool WriteSurvey(const std::string& path) {
  sounding_test::SwitchableSounding s;
  std::vector<FsdSndRecord> records;
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i <= 16; ++i) {
      if (i == 8) continue;
      FsdSndRecord r{};
      r.x = 500000.0 + 25.0 * i;
      r.y = 6000000.0 + 25.0 * j;
      r.depth = static_cast<float>(-40.0 + 2.5 * i);
      r.z = r.depth;
      r.frameIdx = -1;
      records.push_back(r);
    }
  }
  FsdRunRecord run{};
  run.xStart = 499900.0;
  run.xEnd = 500500.0;
  run.yStart = run.yEnd = 6000025.0;
  if (s.SetRuns(&run, 1) != 0 || s.SetSoundings(records.data(), static_cast<int>(records.size())) != 0) return false;
  s.Switch(1, 1);
  s.SetCellSize(25.0f);
  return sounding_test::WriteData(path, {&s});
}

class SoundingsInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(Sd_RegisterSurveyClasses(), 0);
    Sd_Node::SetCoordinateType(0);
    file = dir.file("survey.sd");
    ASSERT_TRUE(WriteSurvey(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  std::string file;
};

TEST_F(SoundingsInTheWindow, ShowTheSurfaceThePlateAndTheRunLine) {
  ASSERT_TRUE(LoadSeenFromAbove(file));
  // The scene's centre is the grid's: x 500210, y 6000035.
  const SeenFromAbove view = Picture(425.0);
  const QRgb background = view.Pixel(3, 3);
  // Depth colours of the default ramp: red where deep (west), light where
  // shallow (east). The camera's perspective makes the shallow end a
  // little larger, so the probes keep off the edges.
  const QRgb west = view.Pixel(view.X(-150.0), view.Y(0.0));
  const QRgb east = view.Pixel(view.X(150.0), view.Y(0.0));
  EXPECT_GT(qRed(west), qGreen(west) + 60) << std::hex << west;
  EXPECT_GT(qGreen(east), qGreen(west) + 60) << std::hex << east;
  EXPECT_GT(qBlue(east), qBlue(west) + 60);
  // The empty column (x 500200, 10 m west of the centre) lets the grey
  // plate through, and north of the last row of cells the plate is bare.
  const auto isPlate = [&](QRgb p) {
    return p != background && std::abs(qRed(p) - 128) <= 12 && std::abs(qGreen(p) - qRed(p)) <= 6 &&
           std::abs(qBlue(p) - qRed(p)) <= 6;
  };
  // The empty cells' floor lies deeper than the surface around, so the
  // perspective draws it a little towards the centre.
  int gap = 0;
  for (int dx = -4; dx <= 20; ++dx) gap += isPlate(view.Pixel(view.X(-10.0) + dx, view.Y(3.0)));
  EXPECT_GE(gap, 1) << "the plate through the empty cells";
  const QRgb bare = view.Pixel(view.X(-100.0), view.Y(30.0));
  EXPECT_TRUE(isPlate(bare)) << std::hex << bare;
  EXPECT_EQ(view.Pixel(view.X(0.0), view.Y(60.0)), background) << "north of the data";
  int yellow = 0;
  for (int dy = -2; dy <= 2; ++dy) {
    const QRgb p = view.Pixel(view.X(-250.0), view.Y(-10.0) + dy);
    yellow += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 60;
  }
  EXPECT_GE(yellow, 1) << "the run line west of the data";
}

// The viewer executable reads an HTF data set given with -data: the caption
// names the file and no error is shown.
TEST(SoundingsInTheViewer, DataFileWithHtfSoundingsOpens) {
  orvanta_test::TempDir dir;
  auto htf = sounding_test::MakeHTF(12);
  ASSERT_TRUE(sounding_test::WriteData(dir.file("htf.sd"), {htf.get()}));
  const ViewerRun run = RunViewer({"-data", dir.file("htf.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*htf\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
