// Soundings in the running viewer: an FSD data set with its run lines
// switched on, read by the main window in this process, shows its grey base
// plate under the data and a yellow run line across it; the viewer
// executable opens an HTF data set given with -data.

#include <gtest/gtest.h>

#include <QImage>

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

// Eleven soundings 40 m apart over x 500000 ... 500400, y 6000000 ...
// 6000050; run 1 crosses the data at y 6000025, the middle.
bool WriteRunLineSurvey(const std::string& path) {
  sounding_test::SwitchableSounding s;
  const std::vector<FsdRunRecord> runs = sounding_test::FsdRuns(2);
  const std::vector<FsdFrameRecord> frames = sounding_test::FsdFrames(6);
  const std::vector<FsdSndRecord> records = sounding_test::FsdRecords(11);
  if (s.SetRuns(runs.data(), 2) != 0 || s.SetFrames(frames.data(), 6) != 0 ||
      s.SetSoundings(records.data(), 11) != 0) {
    return false;
  }
  s.Switch(1, 1);
  // Cells of 62.5 m: the grid, whose box the plate covers, spans y
  // 5999993.75 ... 6000056.25, centred on run 1.
  s.SetCellSize(62.5f);
  return sounding_test::WriteData(path, {&s});
}

class SoundingsInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(Sd_RegisterSurveyClasses(), 0);
    Sd_Node::SetCoordinateType(0);
    file = dir.file("runs.sd");
    ASSERT_TRUE(WriteRunLineSurvey(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  std::string file;
};

TEST_F(SoundingsInTheWindow, ShowTheBasePlateAndTheRunLine) {
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(400.0);
  const QRgb background = view.Pixel(3, 3);
  // The plate covers the data's box (400 m x 50 m around the centre).
  const QRgb plate = view.Pixel(view.X(-120.0), view.Y(-12.0));
  EXPECT_NE(plate, background);
  EXPECT_EQ(qRed(plate), qGreen(plate));
  EXPECT_EQ(qGreen(plate), qBlue(plate));
  EXPECT_NEAR(qRed(plate), 128, 2) << "grey";
  EXPECT_EQ(view.Pixel(view.X(0.0), view.Y(60.0)), background) << "north of the data";
  int yellow = 0;
  for (int dy = -2; dy <= 2; ++dy) {
    const QRgb p = view.Pixel(view.X(100.0), view.Y(0.0) + dy);
    yellow += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 60;
  }
  EXPECT_GE(yellow, 1) << "the run line across the middle";
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
