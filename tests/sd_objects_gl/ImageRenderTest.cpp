// Drawing and picking of the image objects: the upright image seen along
// y, the georeferenced image seen from above, the progressive best pass.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "../sd_objects/ImageTestSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sd_GeoImage.h"
#include "Sd_VImage.h"
#include "Sv_TexturedSurface.h"
#include "TestSupport.h"

namespace {

using orvanta_test::ScopedEnv;

class ImageDraw : public orvanta_test::GLTest {
 protected:
  // The unit box spans -0.6 ... 0.6 of the view on x and y; depth -2 ... 2
  // (object z at depth 0.5 - z / 4). Along y: x right, z up.
  static void View(bool alongY) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.6, 0.6, -0.6, 0.6, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (alongY) glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  }
  // Pixel of a unit-box coordinate.
  static int Pixel(double v) { return static_cast<int>((v / 0.6 + 1.0) * 0.5 * kWidth); }
  static bool Is(const orvanta_test::GLPixel& p, image_test::Rgb c) {
    auto near = [](int a, int b) { return a > b - 40 && a < b + 40; };
    return near(p.r, c.r) && near(p.g, c.g) && near(p.b, c.b);
  }
  static std::vector<unsigned char> Frame() {
    std::vector<unsigned char> pixels(4 * kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }
  void TearDown() override {
    Sd_Node::SetBestPass(0);
    orvanta_test::GLTest::TearDown();
  }

  ScopedEnv m_config{"WRUCONFIGURATIONS", nullptr};
  ScopedEnv m_home{"WRUHOME", nullptr};
  orvanta_test::TempDir m_dir;
};

TEST_F(ImageDraw, QuadrantsStandWhereTheCornersPutThemAndMirror) {
  Sd_VImage image;
  ASSERT_TRUE(image_test::MakeUpright(m_dir.path(), &image));
  View(true);
  for (int mode : {2, 1}) {
    for (bool mirrored : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << (mirrored ? " mirrored" : ""));
      const double a[3] = {mirrored ? 10.0 : 0.0, 0, 0};
      const double b[3] = {mirrored ? 0.0 : 10.0, 0, 5};
      image.SetCorners(a, b);
      image.SetResolutionMode(mode);
      Clear();
      image.Render();
      const int left = Pixel(-0.25), right = Pixel(0.25), low = Pixel(-0.25), high = Pixel(0.25);
      EXPECT_TRUE(Is(ReadPixel(left, low), mirrored ? image_test::kBottomRight : image_test::kBottomLeft));
      EXPECT_TRUE(Is(ReadPixel(right, low), mirrored ? image_test::kBottomLeft : image_test::kBottomRight));
      EXPECT_TRUE(Is(ReadPixel(left, high), mirrored ? image_test::kTopRight : image_test::kTopLeft));
      EXPECT_TRUE(Is(ReadPixel(right, high), mirrored ? image_test::kTopLeft : image_test::kTopRight));
      EXPECT_EQ(Brightness(Pixel(0.55), Pixel(0.0)), 0) << "nothing beyond the corners";
      EXPECT_EQ(ModelViewStackDepth(), 1);
      ExpectNoGLError("render");
    }
  }
}

TEST_F(ImageDraw, GeoImageLiesAtItsPlaneHeightAndTheAlphaTestLeavesOutTranslucentPixels) {
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(m_dir.path(), &geo, 128));
  geo.SetResolutionMode(2);
  View(false);
  const int left = Pixel(-0.25), right = Pixel(0.25), low = Pixel(-0.25);
  Clear();
  geo.Render();
  EXPECT_TRUE(Is(ReadPixel(left, low), image_test::kBottomLeft)) << "without the alpha test";
  EXPECT_NEAR(ReadDepth(right, low), 0.5, 1e-3) << "in the middle of the box";
  // Box z 0 ... 1, plane height 0.25: normalised z -0.25.
  geo.SetPlaneHeight(0.25f, 1);
  geo.SetAlphaTest(1);
  Clear();
  geo.Render();
  EXPECT_TRUE(Is(ReadPixel(right, low), image_test::kBottomRight));
  EXPECT_NEAR(ReadDepth(right, low), 0.5 + 0.25 / 4, 1e-3);
  EXPECT_EQ(Brightness(left, low), 0) << "alpha 128 is below 0.95";
  EXPECT_EQ(ReadDepth(left, low), 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  // A box without a z range keeps the image in the middle.
  geo.SetBounds(2, 3.0f, 3.0f);
  Clear();
  geo.Render();
  EXPECT_NEAR(ReadDepth(right, low), 0.5, 1e-3);
}

TEST_F(ImageDraw, BestPassDrawsOneTilePerStepAndEndsWithThePictureOfRender) {
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(m_dir.path(), &geo));
  ASSERT_EQ(geo.GetResolutionMode(), 1);
  View(false);
  Sd_Node::SetBestPass(1);
  Clear();
  EXPECT_EQ(geo.StepRender(), 0) << "set-up";
  EXPECT_EQ(CountInk(), 0);
  int steps = 0;
  int lastInk = 0;
  while (geo.StepRender() == 0 && steps < 100) {
    ++steps;
    const int ink = CountInk();
    if (steps == 1) {
      // Tile (0, 0): x -0.5 ... -0.3, y -0.5 ... -0.25.
      const orvanta_test::GLPixelBox box = InkBox();
      EXPECT_NEAR(box.xMax, Pixel(-0.3), 2);
      EXPECT_NEAR(box.yMax, Pixel(-0.25), 2);
    }
    if (steps <= 20) {
      EXPECT_GT(ink, lastInk) << "tile " << steps;
    }
    lastInk = ink;
  }
  EXPECT_EQ(steps, 21) << "20 tiles and the step that finds them done";
  EXPECT_EQ(geo.GetDrawn(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  const std::vector<unsigned char> stepped = Frame();
  Sd_Node::SetBestPass(0);
  geo.ResetSettings();
  Clear();
  geo.Render();
  EXPECT_TRUE(stepped == Frame()) << "the full tiles of Render";
}

TEST_F(ImageDraw, AbandonedPassLeavesTheStacksAndStateBalanced) {
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(m_dir.path(), &geo));
  geo.SetAlphaTest(1);
  View(false);
  Sd_Node::SetBestPass(1);
  Clear();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(geo.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass holds its matrix";
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  geo.SetRedrawPending(1);
  EXPECT_EQ(geo.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_EQ(geo.GetRedrawPending(), 0);
  EXPECT_EQ(geo.GetStepStage(), 0);
  // Outside the best pass one call draws everything.
  Sd_Node::SetBestPass(0);
  EXPECT_EQ(geo.StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(ImageDraw, PicksGiveTheGeoreferencedSpotAndNothingOverTheBackground) {
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(m_dir.path(), &geo));
  geo.SetPlaneHeight(0.25f, 1);
  View(false);
  Clear();
  geo.Render();
  DepthPicker picker(kWidth, kHeight);
  const int x = Pixel(0.2), y = Pixel(-0.3);
  SDN_PickIn in = {&picker, x, y, 0, 0};
  SDN_PickOut out = {0, 0, 0, -1e20, 7, nullptr, 0, 0};
  ASSERT_EQ(geo.QueryPoint(&in, &out), 1);
  const double ux = ((x + 0.5) / kWidth * 2.0 - 1.0) * 0.6;
  const double uy = ((y + 0.5) / kHeight * 2.0 - 1.0) * 0.6;
  EXPECT_NEAR(out.x, 1000.0 + (ux + 0.5) * 1000.0, 2.0);
  EXPECT_NEAR(out.y, 500.0 + (uy + 0.5) * 200.0, 0.5);
  EXPECT_NEAR(out.z, 0.25, 0.01);
  EXPECT_EQ(out.pointIndex, -1);
  EXPECT_EQ(out.node, &geo);
  EXPECT_EQ(out.found, 1);
  SDN_PickOut miss = {0, 0, 0, -1e20, 7, nullptr, 0, 0};
  in.x = 5;
  in.y = 5;
  EXPECT_EQ(geo.QueryPoint(&in, &miss), 0);
  EXPECT_EQ(miss.found, 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

}  // namespace
