// The image objects in the running viewer: one generated file with a
// georeferenced image and an upright image, read by the main window in this
// process (its pixels checked from above and from a tilted view) and by the
// viewer executable given it with -data.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QImage>

#include <regex>
#include <string>

#include "../sd_objects/ImageTestSupport.h"
#include "AppMainSupport.h"
#include "Qk_GLWorkArea.h"
#include "Sd_GeoImage.h"
#include "Sd_VImage.h"
#include "TDR_Manager.h"
#include "TestSupport.h"
#include "WindowFixture.h"
#include "orvanta.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;

namespace {

// The scene: the quadrant image over x 1000 ... 2000, y 500 ... 700 (its
// middle at z 0.5), and standing across its middle at y 600 an image from
// x 1200 to 1800 and z 0 to 200 whose left half is magenta and right half
// cyan.
bool WriteImages(const std::string& folder, const std::string& path) {
  Sd_GeoImage geo;
  if (!image_test::MakeGeoreferenced(folder, &geo)) return false;
  Sv_ImageIO halves;
  if (halves.Allocate(64, 32, 1) != 0) return false;
  for (int r = 0; r < 32; ++r) {
    for (int c = 0; c < 64; ++c) {
      unsigned char* p = halves.GetRow(r) + 3 * c;
      p[0] = c < 32 ? 255 : 0;
      p[1] = c < 32 ? 0 : 255;
      p[2] = 255;
    }
  }
  const std::string png = folder + "/halves.png";
  if (halves.WriteImage(png.c_str(), SV_IMAGE_PNG) != 0) return false;
  Sd_VImage upright;
  upright.LoadImageFile(png.c_str());
  const double a[3] = {1200, 600, 0};
  const double b[3] = {1800, 600, 200};
  upright.SetCorners(a, b);
  upright.SetResolutionMode(2);
  TDR_Manager m;
  return m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && geo.SaveObject(&m, 1, 0) == 0 &&
         upright.SaveObject(&m, 1, 0) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

// The test camera turned 70 degrees about x: the scene's z points up the
// screen, so the standing image faces the eye.
class TiltedOverlay : public workarea_test::TestOverlay {
 public:
  void ApplyCamera() override {
    workarea_test::TestOverlay::ApplyCamera();
    glRotated(-70.0, 1.0, 0.0, 0.0);
  }
};

using ImagesInTheWindow = orvanta_mainwindow_test::WindowFixture;

TEST_F(ImagesInTheWindow, ShowsTheGeoreferencedImageInPlaceAndTheStandingImageFacingTheEye) {
  struct FreshCoordinateType {
    FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
    ~FreshCoordinateType() { Sd_Node::SetCoordinateType(0); }
  } fresh;
  orvanta_test::ScopedEnv config("WRUCONFIGURATIONS", nullptr);
  orvanta_test::ScopedEnv wruhome("WRUHOME", nullptr);
  const std::string file = dir.file("images.sd");
  ASSERT_TRUE(WriteImages(dir.path(), file));
  ASSERT_TRUE(StartWindow({"orvanta"}));
  ASSERT_TRUE(LoadSeenFromAbove(file));
  const SeenFromAbove view = Picture(1000.0);
  ASSERT_GT(view.w, 100);
  auto at = [&](double east, double north) { return view.Pixel(view.X(east - 1500.0), view.Y(north - 600.0)); };
  auto is = [](QRgb c, image_test::Rgb want) {
    return std::abs(qRed(c) - want.r) < 50 && std::abs(qGreen(c) - want.g) < 50 && std::abs(qBlue(c) - want.b) < 50;
  };
  EXPECT_TRUE(is(at(1100, 520), image_test::kBottomLeft));
  EXPECT_TRUE(is(at(1900, 520), image_test::kBottomRight));
  EXPECT_TRUE(is(at(1100, 680), image_test::kTopLeft));
  EXPECT_TRUE(is(at(1900, 680), image_test::kTopRight));
  const QRgb outside = at(1500, 760);
  EXPECT_TRUE(qRed(outside) < 60 && qGreen(outside) < 60 && qBlue(outside) < 60) << "north of the image";

  // Turned so that the standing image faces the eye: magenta left of cyan.
  Qk_GLWorkArea* area = window->m_workarea;
  area->InstallOverlay(new TiltedOverlay());
  area->PaintGL();
  ASSERT_TRUE(orvanta_mainwindow_test::WaitFor([&] { return !area->IsIdleTimerActive() && !area->IsRunning(); }));
  const QImage picture = area->grabFramebuffer();
  long magenta = 0, cyan = 0;
  double magentaX = 0, cyanX = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb c = picture.pixel(x, y);
      if (qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) > 200) {
        ++magenta;
        magentaX += x;
      } else if (qRed(c) < 60 && qGreen(c) > 200 && qBlue(c) > 200) {
        ++cyan;
        cyanX += x;
      }
    }
  }
  ASSERT_GT(magenta, 100);
  ASSERT_GT(cyan, 100);
  EXPECT_LT(magentaX / magenta, cyanX / cyan);
}

// The viewer executable reads the file given with -data: the caption names
// it and no error is shown.
TEST(ImagesInTheViewer, DataFileWithBothImagesOpens) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteImages(dir.path(), dir.file("images.sd")));
  const ViewerRun run = RunViewer({"-data", dir.file("images.sd")}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*images\\.sd"))) << run.Last("title");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

}  // namespace
