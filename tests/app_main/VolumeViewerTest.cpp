// A scalar volume in the running viewer: a scene whose volume is a file
// pointer to its data file, read by the main window in this process (seen
// from above, the ball's iso-surface in its pixels) and by the viewer
// executable given it with -data.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "../sd_survey/VolumeTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "TDR_Colormap.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// A ball of radius 10 samples in a volume of 32 x 32 samples and 30 slices
// over x 500000 ... 501000, y 6000000 ... 6001000 (UTM metres), depth
// -100 ... 0; the iso-value 0.5 (data value 0.0) at step 2. The scene file
// scene.sd points at ball.vol.
bool WriteBallScene(const orvanta_test::TempDir& dir) {
  Sd_Volume volume;
  volume.SetIsoValue(0.0f);
  volume.SetStep(2);
  const std::vector<signed char> ball = volume_test::Ball(32, 32, 30, 15.5, 15.5, 14.5, 10.0, 12.0);
  volume.SetBounds(0, 500000.0f, 501000.0f);
  volume.SetBounds(1, 6000000.0f, 6001000.0f);
  volume.SetBounds(2, -100.0f, 0.0f);
  return volume.SetSamples(32, 32, 30, ball.data()) == 0 && volume.WriteDataFile(dir.file("ball.vol").c_str()) == 0 &&
         volume_test::WriteScene(volume, dir.file("scene.sd"), dir.file("ball.vol"));
}

class VolumeInTheWindow : public orvanta_mainwindow_test::WindowFixture {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    // The volume's colours: an orange map under WRUHOME.
    ASSERT_EQ(mkdir(dir.file("cmaps").c_str(), 0755), 0);
    std::vector<unsigned int> orange(256, PackColour(255, 128, 0, 255));
    ASSERT_EQ(TDR_UtlWriteColormap(dir.file("cmaps/step16.cmap").c_str(), orange.data()), 0);
    ASSERT_TRUE(WriteBallScene(dir));
    ASSERT_TRUE(StartWindow({"orvanta"}));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    Sd_Node::SetCoordinateType(0);
  }

  orvanta_test::ScopedEnv wruhome{"WRUHOME", dir.path().c_str()};
};

TEST_F(VolumeInTheWindow, ShowsTheBallsIsoSurface) {
  Qk_GLWorkArea* area = window->m_workarea;
  // The scene fills 60 % of the view's width around its centre; the ball
  // spans 20 of its 32 samples (a radius of 0.6 x 10 / 32 of the width).
  ASSERT_TRUE(LoadSeenFromAbove(dir.file("scene.sd")));
  const int w = area->GetViewportWidth();
  const int h = area->GetViewportHeight();
  ASSERT_GT(w, 100);
  ASSERT_GT(h, 100);
  const QImage picture = area->grabFramebuffer();
  const double ratio = picture.width() / static_cast<double>(w);
  auto pixel = [&](double x, double y) {
    return picture.pixel(static_cast<int>(x * ratio), static_cast<int>((h - 1 - y) * ratio));
  };
  const double radius = 0.6 * w * 10.0 / 32.0;
  // The ball's centre lies half a sample west and south of the box centre.
  const double cx = w / 2 - 0.6 * w / 64.0, cy = h / 2 - 0.6 * w / 64.0;
  const QRgb background = pixel(3, 3);
  for (double f : {0.0, 0.5, 0.8}) {
    for (double angle = 0.0; angle < 6.28; angle += 1.5) {
      const QRgb in = pixel(cx + f * radius * std::cos(angle), cy + f * radius * std::sin(angle));
      EXPECT_NE(in, background) << "inside the ball at " << f << ", " << angle;
      EXPECT_GT(qRed(in), qBlue(in) + 40) << "the orange map";
    }
  }
  for (double angle = 0.0; angle < 6.28; angle += 1.5) {
    EXPECT_EQ(pixel(cx + 1.25 * radius * std::cos(angle), cy + 1.25 * radius * std::sin(angle)), background);
  }
}

// The viewer executable reads the scene given with -data, following the
// pointer to the data file: the caption names the scene, and no error is
// shown.
TEST(VolumeInTheViewer, DataFileWithAVolumeOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteBallScene(dir));
  const ViewerRun run = RunViewer({"-data", dir.file("scene.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*scene\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
