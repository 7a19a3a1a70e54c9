// A surface series in the running viewer: read from its file by the viewer
// executable (-data) and by the main window in this process, which shows
// the current frame with its hole and the next frame once the view is
// redrawn.

#include <gtest/gtest.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_dtm/SeriesTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// 3 frames of 33 x 33 nodes over x 500000 ... 501000, y 6000000 ... 6001000,
// flat at a height per frame, the nodes of rows 10 ... 14, columns 20 ... 26
// empty; frame f red, green or blue (dtm_test::FrameColour).
unsigned short Tide(int f, int r, int c) {
  return r >= 10 && r <= 14 && c >= 20 && c <= 26 ? 0 : static_cast<unsigned short>(20000 + 5000 * f);
}

bool WriteTideSeries(const std::string& path) {
  auto series = dtm_test::MakeSeries(3, 33, 33, Tide);
  if (!series) return false;
  series->SetBounds(0, 500000.0f, 501000.0f);
  series->SetBounds(1, 6000000.0f, 6001000.0f);
  series->SetBounds(2, -40.0f, 0.0f);
  return dtm_test::WriteSeries(path, series.get());
}

// The frame a pixel shows by its dominant colour, -1 for none.
int FrameOf(QRgb p) {
  if (qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100) return 0;
  if (qGreen(p) > 150 && qRed(p) < 100 && qBlue(p) < 100) return 1;
  if (qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100) return 2;
  return -1;
}

class SeriesInTheWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    file = dir.file("tides.sd");
    ASSERT_TRUE(WriteTideSeries(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }

  std::string file;
};

TEST_F(SeriesInTheWindow, ShowsTheCurrentFrameAndTheNextOneWhenRedrawn) {
  Qk_GLWorkArea* area = window->m_workarea;
  ASSERT_TRUE(LoadSeenFromAbove(file));
  Sd_SurfaceSeries* series = dynamic_cast<Sd_SurfaceSeries*>(area->GetRoot()->GetFirstChild());
  ASSERT_NE(series, nullptr);
  series->SetAnimate(0);

  const double kCell = 31.25;
  SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  auto pixelX = [&](double col) { return view.X(col * kCell - 500.0); };
  auto pixelY = [&](double row) { return view.Y(row * kCell - 500.0); };
  const QRgb background = view.Pixel(3, 3);
  const int first = FrameOf(view.Pixel(pixelX(8.5), pixelY(24.5)));
  EXPECT_EQ(first, series->GetFrame()) << "the frame drawn last is the current one";
  EXPECT_EQ(view.Pixel(pixelX(23.0), pixelY(12.0)), background) << "the hole";

  // Redrawn with frame stepping on, the view shows another frame.
  series->SetAnimate(1);
  area->UpdateGL();
  ASSERT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));
  series->SetAnimate(0);
  view = Picture(1000.0);
  const int next = FrameOf(view.Pixel(pixelX(8.5), pixelY(24.5)));
  EXPECT_NE(next, -1);
  EXPECT_NE(next, first);
  EXPECT_EQ(view.Pixel(pixelX(23.0), pixelY(12.0)), background);
}

// The viewer executable reads the series given with -data: the caption
// names the file and no error is shown.
TEST(SeriesInTheViewer, DataFileWithASurfaceSeriesOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteTideSeries(dir.file("tides.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("tides.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*tides\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
