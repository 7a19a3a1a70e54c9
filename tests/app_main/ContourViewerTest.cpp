// A contoured terrain in the running viewer: contours traced from a hill,
// saved as a contour set, read by the main window in this process and by
// the viewer executable. Seen from above, the rings of the hill show in
// their colours around its top, with the background between them.

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <regex>
#include <string>

#include "../sd_dtm/DTMTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_ContourDTM.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The hill of the terrain tests over 1000 m x 1000 m of projected metres,
// contoured at 40 m and 80 m (heights 0 ... 100 m), in colour mode 1.
constexpr double kX0 = 500000.0, kY0 = 6000000.0, kSide = 1000.0;
constexpr unsigned kColours[2] = {0x30E0F0FFu, 0xF0A020FFu};  // red in the top byte

bool WriteContourFile(const std::string& path) {
  auto hill = dtm_test::MakeDTM(41, 41);
  hill->SetBounds(0, static_cast<float>(kX0), static_cast<float>(kX0 + kSide));
  hill->SetBounds(1, static_cast<float>(kY0), static_cast<float>(kY0 + kSide));
  Sd_ContourDTM set;
  if (set.LendGrids(hill.get()) != 0) return false;
  set.AddContour(40.0f);
  set.AddContour(80.0f);
  set.SetColourMode(1);
  std::deque<Sd_ContourDTM::ContourRecord> made = set.GetContours();  // the 80 m contour first
  set.ClearContours();
  for (size_t k = 0; k < made.size(); ++k) {
    made[k].colour = kColours[1 - k];
    set.AppendContour(made[k]);
  }
  set.ReturnGrids();
  return dtm_test::WriteSD(path, {&set});
}

class ContoursInTheWindow : public orvanta_mainwindow_test::TerrainWindowFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TerrainWindowFixture::SetUp());
    file = dir.file("contours.sd");
    ASSERT_TRUE(WriteContourFile(file));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }

  std::string file;
};

bool Near(QRgb p, unsigned c) {
  return std::abs(qRed(p) - int(c >> 24)) <= 3 && std::abs(qGreen(p) - int((c >> 16) & 0xFF)) <= 3 &&
         std::abs(qBlue(p) - int((c >> 8) & 0xFF)) <= 3;
}

TEST_F(ContoursInTheWindow, ShowsTheRingsOfTheHillInTheirColours) {
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(kSide);
  ASSERT_GT(view.w, 100);
  // Along the line east from the hill's top: pixels of each ring's colour,
  // the inner (80 m) ring nearer the top, background at the top itself.
  const int y = view.Y(0.0);
  int first[2] = {-1, -1};
  for (int x = view.X(0.0); x < view.X(0.5 * kSide); ++x) {
    for (int k = 0; k < 2; ++k) {
      if (first[k] < 0 && Near(view.Pixel(x, y), kColours[k])) first[k] = x;
    }
  }
  ASSERT_GT(first[0], 0) << "the 40 m ring";
  ASSERT_GT(first[1], 0) << "the 80 m ring";
  EXPECT_LT(first[1], first[0]);
  EXPECT_FALSE(Near(view.Pixel(view.X(0.0), y), kColours[1]));
  // The hill's sigma is 0.18 of the side: the 40 m ring lies about
  // 0.18 sqrt(2 ln 2.5) = 0.24 of the side from the top.
  EXPECT_NEAR((first[0] - view.X(0.0)) * view.unitsPerPixel, 0.243 * kSide, 0.02 * kSide);
}

TEST(ContoursInTheViewer, DataFileWithAContourSetOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteContourFile(dir.file("contours.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("contours.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*contours\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
