// Drawing of the seismic curtain, seen from the side: the image's bands at
// their heights and the marked stripe at the track's start in each texture
// mode, progressive passes (their share per call, the finished picture,
// abandoning) and picks.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "../sd_survey/SeismicTestSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sv_TexturedSurface.h"

namespace {

using orvanta_test::GLPixel;
using orvanta_test::GLTest;

// The node's box seen along +y, x to the right and z up, the box's x and z
// filling 80 % of the framebuffer.
class SeismicDraw : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glOrtho(-0.625, 0.625, -0.625, 0.625, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    Sd_Node::SetDetailBudget(0.0f);
    Sd_Node::SetBestPass(0);
    ASSERT_EQ(seismic_test::MakeCurtain(curtain), 0);
  }
  void TearDown() override {
    Sd_Node::SetBestPass(0);
    curtain.GetTexture()->ReleaseTextures();
    GLTest::TearDown();
  }
  // Pixel column of track point k (x = 10 k along a 9990 wide box) and row
  // of height z (-3000 ... 0).
  static int Column(int k) { return static_cast<int>(128 + (k / 999.0 - 0.5) * 0.8 * 256); }
  static int Row(double z) { return static_cast<int>(128 + ((z + 3000.0) / 3000.0 - 0.5) * 0.8 * 256); }

  static bool Is(const GLPixel& p, int r, int g, int b) {
    return std::abs(p.r - r) < 40 && std::abs(p.g - g) < 40 && std::abs(p.b - b) < 40;
  }
  void ExpectBandsAndMark() {
    for (int k : {100, 500, 900}) {
      EXPECT_TRUE(Is(ReadPixel(Column(k), Row(-2500.0)), 255, 0, 0)) << k;
      EXPECT_TRUE(Is(ReadPixel(Column(k), Row(-1500.0)), 0, 255, 0)) << k;
      EXPECT_TRUE(Is(ReadPixel(Column(k), Row(-500.0)), 0, 0, 255)) << k;
    }
    // The first 16 of 1000 columns are white: about 3 pixels at the start.
    EXPECT_TRUE(Is(ReadPixel(Column(0) + 1, Row(-1500.0)), 255, 255, 255));
    EXPECT_TRUE(Is(ReadPixel(Column(40), Row(-1500.0)), 0, 255, 0));
    // Nothing beside the box.
    EXPECT_TRUE(Is(ReadPixel(8, 128), 0, 0, 0));
  }
  // Quads drawn by one call of a progressive pass (feedback mode).
  static int QuadsOfStep(Sd_Node& node, int* result) {
    std::vector<GLfloat> buffer(400000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    *result = node.StepRender();
    const int values = glRenderMode(GL_RENDER);
    int corners = 0;  // two triangles or one quad per quad: corners - 2 per polygon, halved
    for (int at = 0; at < values;) {
      const int token = static_cast<int>(buffer[at]);
      if (token == GL_POLYGON_TOKEN) {
        const int n = static_cast<int>(buffer[at + 1]);
        corners += n - 2;
        at += 2 + 3 * n;
      } else {
        at += token == GL_PASS_THROUGH_TOKEN ? 2 : 1;
      }
    }
    return corners / 2;
  }

  Sd_Seismic curtain;
};

TEST_F(SeismicDraw, BandsAndMarkInFullAndLowResolution) {
  for (int mode : {1, 0}) {
    SCOPED_TRACE(mode);
    Clear();
    curtain.SetTextureMode(mode);
    curtain.Render();
    Finish();
    ExpectBandsAndMark();
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_TRUE(ExpectNoGLError("Render"));
  }
}

TEST_F(SeismicDraw, ProgressivePassesShareAndFinish) {
  // Mode 3 draws the low-resolution curtain at once, even in the best pass.
  Sd_Node::SetBestPass(1);
  curtain.SetTextureMode(3);
  Clear();
  EXPECT_EQ(curtain.StepRender(), 1);
  EXPECT_EQ(curtain.GetStepState(), 0);
  Finish();
  ExpectBandsAndMark();

  // The full-detail picture of Render ...
  curtain.SaveSettings();
  curtain.ResetSettings();
  Clear();
  curtain.Render();
  Finish();
  std::vector<GLubyte> whole(kWidth * kHeight * 4), stepped(kWidth * kHeight * 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, whole.data());

  // ... is what a finished best pass leaves, drawn in shares of at most 50
  // track points of one tile.
  Clear();
  int result = curtain.StepRender();
  ASSERT_EQ(result, 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  int calls = 0, most = 0;
  while (result == 0 && calls < 1000) {
    most = std::max(most, QuadsOfStep(curtain, &result));
    ++calls;
  }
  // Feedback mode draws no pixels: a second pass draws the picture.
  EXPECT_EQ(result, 1);
  EXPECT_GT(most, 0);
  EXPECT_LE(most, Sd_Seismic::kPointsPerStep - 1);
  EXPECT_GE(calls, 999 / 49 * 3);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  Clear();
  result = 0;
  for (calls = 0; result == 0 && calls < 1000; ++calls) result = curtain.StepRender();
  Finish();
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, stepped.data());
  int different = 0;
  for (size_t i = 0; i < whole.size(); ++i) different += std::abs(whole[i] - stepped[i]) > 8;
  EXPECT_LE(different, 40);
  ExpectBandsAndMark();

  // A pass abandoned midway pops its matrix and starts again at state 0.
  ASSERT_EQ(curtain.StepRender(), 0);
  ASSERT_EQ(curtain.StepRender(), 0);
  EXPECT_EQ(curtain.GetStepState(), 1);
  curtain.SetRedrawPending(1);
  EXPECT_EQ(curtain.StepRender(), 0);
  EXPECT_EQ(curtain.GetStepState(), 0);
  EXPECT_EQ(curtain.GetRedrawPending(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_TRUE(ExpectNoGLError("StepRender"));
  curtain.RestoreSettings();
  EXPECT_EQ(curtain.GetTextureMode(), 3);
}

TEST_F(SeismicDraw, PickFindsTheTrackAndMissesTheBackground) {
  curtain.SetTextureMode(1);
  Clear();
  curtain.Render();
  Finish();
  DepthPicker picker(kWidth, kHeight);
  SDN_PickIn in = {&picker, Column(500), Row(-1000.0), 0, 0};
  SDN_PickOut out = {};
  ASSERT_EQ(curtain.QueryPoint(&in, &out), 1);
  EXPECT_EQ(out.found, 1);
  EXPECT_EQ(out.node, &curtain);
  EXPECT_EQ(out.colour, 0xFFFFFFFFu);
  EXPECT_NEAR(out.z, -1000.0, 3000.0 / 200.0);
  // The point lies on the track, within one step of a track point.
  double nearest = 1e30;
  for (int k = 0; k < curtain.GetTrackCount(); ++k) {
    double x, y;
    curtain.GetTrackPoint(k, &x, &y);
    nearest = std::min(nearest, std::hypot(out.x - x, out.y - y));
  }
  EXPECT_LE(nearest, seismic_test::kStep);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  SDN_PickIn background = {&picker, 4, 4, 0, 0};
  SDN_PickOut none = {};
  EXPECT_EQ(curtain.QueryPoint(&background, &none), 0);
  EXPECT_EQ(none.found, 0);
}

}  // namespace
