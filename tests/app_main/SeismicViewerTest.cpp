// A seismic curtain in the running viewer: a generated curtain read by the
// main window in this process (its picture seen from above) and by the
// viewer executable given it with -data.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <regex>
#include <string>

#include "../sd_survey/SeismicTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// A curtain of 400 track points over a 400 x 300 band image.
bool WriteCurtain(const std::string& path) {
  Sd_Seismic curtain;
  return seismic_test::MakeCurtain(curtain, 400, 300) == 0 && seismic_test::WriteFile(curtain, path);
}

class SeismicInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    ASSERT_TRUE(WriteCurtain(dir.file("curtain.sd")));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }
};

TEST_F(SeismicInTheWindow, ShowsTheCurtainAlongItsTrack) {
  ASSERT_TRUE(LoadSeenFromAbove(dir.file("curtain.sd")));
  const SeenFromAbove view = Picture(3990.0);
  ASSERT_GT(view.w, 100);
  // Seen from above in perspective, the upright curtain shows its face
  // beside the track's curve: the three bands, and the white stripe of its
  // first columns at the west end (the track runs west to east).
  auto is = [](QRgb p, int r, int g, int b) {
    return std::abs(qRed(p) - r) < 40 && std::abs(qGreen(p) - g) < 40 && std::abs(qBlue(p) - b) < 40;
  };
  int red = 0, green = 0, blue = 0, whiteWest = 0, whiteEast = 0;
  for (int y = 0; y < view.h; ++y) {
    for (int x = 0; x < view.w; ++x) {
      const QRgb p = view.Pixel(x, y);
      red += is(p, 255, 0, 0);
      green += is(p, 0, 255, 0);
      blue += is(p, 0, 0, 255);
      if (is(p, 255, 255, 255) && y < view.h / 2) (x < view.w / 2 ? whiteWest : whiteEast) += 1;
    }
  }
  EXPECT_GT(red, 100);
  EXPECT_GT(green, red);
  EXPECT_GT(blue, green);
  EXPECT_GT(whiteWest, 50);
  EXPECT_LT(whiteEast, whiteWest / 4);
  if (HasFailure()) view.picture.save("/tmp/seismic-window.png");
}

// The viewer executable reads the curtain given with -data: the caption
// names the file, and no error is shown.
TEST(SeismicInTheViewer, DataFileWithACurtainOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteCurtain(dir.file("curtain.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("curtain.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*curtain\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
