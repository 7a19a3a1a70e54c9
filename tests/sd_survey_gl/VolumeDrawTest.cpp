// Drawing of the scalar volume: the lit iso-surface of a ball seen from
// above, the progressive pass in shares of 10000 triangles, and passes that
// are abandoned or cannot draw.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <vector>

#include "../sd_survey/VolumeTestSupport.h"
#include "GLTestFixture.h"
#include "Sv_Lighting.h"
#include "TDR_Colormap.h"
#include "TestSupport.h"

namespace {

using orvanta_test::GLTest;

// The node's box (-0.5 ... 0.5) seen from above, filling the framebuffer,
// lit by one white light straight from the viewer (diffuse 0.8) and an
// ambient light of 0.2.
class VolumeDraw : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glOrtho(-0.5, 0.5, -0.5, 0.5, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    lights.SetLightParam(1, SV_LIGHT_AMBIENT, 0.0f, 0.0f, 0.0f, 1.0f);
    lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 0.8f, 0.8f, 0.8f, 1.0f);
    lights.SetLightParam(1, SV_LIGHT_POSITION, 0.0f, 0.0f, 1.0f, 0.0f);
    lights.SetLightModelAmbient(0.2f, 0.2f, 0.2f, 1.0f);
    lights.Apply();
    Sv_Lighting::SetGlobal(&lights);
  }
  void TearDown() override {
    Sv_Lighting::SetGlobal(nullptr);
    for (int l = 0; l < 8; ++l) glDisable(GL_LIGHT0 + l);
    GLTest::TearDown();
  }

  // Triangles drawn by one call of the pass (OpenGL's feedback mode).
  static int TrianglesOfStep(Sd_Node& node, int* result) {
    std::vector<GLfloat> buffer(200000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    *result = node.StepRender();
    const int values = glRenderMode(GL_RENDER);
    int triangles = 0;
    for (int at = 0; at < values;) {
      const int token = static_cast<int>(buffer[at]);
      if (token == GL_POLYGON_TOKEN) {
        const int n = static_cast<int>(buffer[at + 1]);
        EXPECT_EQ(n, 3);
        ++triangles;
        at += 2 + 2 * n;
      } else if (token == GL_PASS_THROUGH_TOKEN) {
        at += 2;
      } else {
        ADD_FAILURE() << "unexpected feedback token " << token;
        break;
      }
    }
    return triangles;
  }

  Sv_Lighting lights;
};

TEST_F(VolumeDraw, TheBallsLitSurfaceCoversItsDisc) {
  // An orange colour map under WRUHOME, so the picture shows the map.
  orvanta_test::TempDir home;
  ASSERT_EQ(mkdir(home.file("cmaps").c_str(), 0755), 0);
  std::vector<unsigned int> orange(256, PackColour(255, 128, 0, 255));
  ASSERT_EQ(TDR_UtlWriteColormap(home.file("cmaps/step16.cmap").c_str(), orange.data()), 0);
  orvanta_test::ScopedEnv env("WRUHOME", home.path().c_str());

  // 32 x 32 samples in 30 slices (32 with the zero slices); the ball of
  // radius 10 around the middle sample of each axis.
  Sd_Volume volume;
  volume.SetIsoValue(0.0f);
  volume.SetStep(1);
  const std::vector<signed char> ball = volume_test::Ball(32, 32, 30, 15.5, 15.5, 14.5, 10.0, 12.0);
  ASSERT_EQ(volume.SetSamples(32, 32, 30, ball.data()), 0);
  volume.Render();
  Finish();
  DumpPNG("VolumeDraw.Ball");

  // Vertices lie at sample / 32 of the box, 8 pixels a sample: the ball's
  // centre at pixel 124, its rim (where the samples cross 0.5) 79.7 pixels
  // out.
  const orvanta_test::GLPixelBox box = InkBox(30);
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.CentreX(), 124.0, 3.0);
  EXPECT_NEAR(box.CentreY(), 124.0, 3.0);
  EXPECT_NEAR(box.xMax - box.xMin, 159.0, 4.0);
  EXPECT_NEAR(box.yMax - box.yMin, 159.0, 4.0);
  for (double angle = 0.0; angle < 6.28; angle += 0.5) {
    const int inX = static_cast<int>(124 + 65 * std::cos(angle)), inY = static_cast<int>(124 + 65 * std::sin(angle));
    const int outX = static_cast<int>(124 + 92 * std::cos(angle)), outY = static_cast<int>(124 + 92 * std::sin(angle));
    EXPECT_GT(Brightness(inX, inY), 30) << "inside the disc at " << inX << ", " << inY;
    EXPECT_EQ(Brightness(outX, outY), 0) << "outside the disc at " << outX << ", " << outY;
    EXPECT_EQ(ReadDepth(outX, outY), 1.0f);
  }
  // Lit from the viewer: the top of the ball faces the light, its rim turns
  // away; the colour is the map's orange.
  const orvanta_test::GLPixel top = ReadPixel(124, 124);
  EXPECT_GT(top.r, 200);
  EXPECT_NEAR(top.g, top.r / 2, 8);
  EXPECT_LT(top.b, 10);
  EXPECT_LT(ReadDepth(124, 124), 0.5f) << "the ball's top lies towards the viewer";
  EXPECT_LT(Brightness(124 + 76, 124), Brightness(124, 124) * 6 / 10);
  EXPECT_GT(Brightness(124 + 76, 124), 50) << "the ambient light";
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
}

TEST_F(VolumeDraw, AProgressivePassDrawsTheFullListTenThousandTrianglesACall) {
  Sd_Volume volume;
  volume.SetIsoValue(0.0f);
  const std::vector<signed char> noise = volume_test::Noise(22 * 22 * 20, 3, -10, 10);
  ASSERT_EQ(volume.SetSamples(22, 22, 20, noise.data()), 0);
  const size_t total = volume.GetFullSurface()->TriangleCount();
  ASSERT_GT(total, 20000u);
  ASSERT_LT(total, 30000u);
  // Whatever the step (the coarse list is smaller), the pass draws all.
  ASSERT_LT(volume.GetCoarseSurface()->TriangleCount(), total / 4);
  volume.SetRedrawPending(0);

  int result = -1;
  EXPECT_EQ(TrianglesOfStep(volume, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
  EXPECT_EQ(TrianglesOfStep(volume, &result), 10000);
  EXPECT_EQ(TrianglesOfStep(volume, &result), 10000);
  EXPECT_EQ(TrianglesOfStep(volume, &result), static_cast<int>(total - 20000));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(TrianglesOfStep(volume, &result), 0);
  EXPECT_EQ(result, 1) << "one more call finishes the pass";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  // The whole drawing takes the coarse list, or the full one at step 1
  // (each triangle gives 8 feedback values).
  std::vector<GLfloat> buffer(400000);
  for (const Sd_IsoSurface* list : {volume.GetCoarseSurface(), volume.GetFullSurface()}) {
    if (list == volume.GetFullSurface()) volume.ResetSettings();
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    volume.Render();
    EXPECT_EQ(glRenderMode(GL_RENDER), static_cast<int>(8 * list->TriangleCount()));
  }
}

TEST_F(VolumeDraw, AnAbandonedPassOrOneWithoutLightsLeavesTheStateAsItWas) {
  Sd_Volume volume;
  volume.SetIsoValue(0.0f);
  const std::vector<signed char> noise = volume_test::Noise(22 * 22 * 20, 3, -10, 10);
  ASSERT_EQ(volume.SetSamples(22, 22, 20, noise.data()), 0);
  volume.SetRedrawPending(0);
  EXPECT_EQ(volume.StepRender(), 0);
  EXPECT_EQ(volume.StepRender(), 0);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(ModelViewStackDepth(), 2);
  // A redraw request: the next call pops the pass's matrix and starts over.
  volume.Invalidate();
  EXPECT_EQ(volume.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(volume.GetStepState(), 0);
  int calls = 1;
  while (volume.StepRender() != 1 && calls < 100) ++calls;
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // A new step asks for a redraw as well.
  EXPECT_EQ(volume.StepRender(), 0);
  volume.SetStep(2);
  EXPECT_EQ(volume.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Without the light set nothing is drawn and a pass ends at once.
  Sv_Lighting::SetGlobal(nullptr);
  Clear();
  volume.Render();
  EXPECT_EQ(CountInk(), 0);
  EXPECT_EQ(volume.StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

}  // namespace

namespace {

TEST_F(VolumeDraw, TheClipBoxOutlineIsDrawnWhenShown) {
  // Samples all below the iso-value: only the box is drawn. Index space 0 ...
  // 31 on each axis, the box over 8 ... 24 across, so its sides at a quarter
  // and three quarters of the picture.
  Sd_Volume volume;
  const std::vector<signed char> low(32 * 32 * 30, 1);
  ASSERT_EQ(volume.SetSamples(32, 32, 30, low.data()), 0);
  float corners[8][3];
  const float round[4][2] = {{7.75f, 7.75f}, {23.25f, 7.75f}, {23.25f, 23.25f}, {7.75f, 23.25f}};
  for (int c = 0; c < 8; ++c) {
    corners[c][0] = round[c % 4][0];
    corners[c][1] = round[c % 4][1];
    corners[c][2] = c < 4 ? 0.0f : 31.0f;
  }
  volume.SetClipBox(corners, 15.5f, 15.5f, 31.0f);
  auto redAt = [](int x, int y) {
    for (int dx = -2; dx <= 2; ++dx) {
      const orvanta_test::GLPixel p = ReadPixel(x + dx, y);
      if (p.r > 100 && p.g < 40 && p.b < 40) return true;
    }
    return false;
  };
  volume.Render();
  EXPECT_FALSE(redAt(64, 128)) << "not shown yet";
  volume.SetBoxDisplay(1);
  Clear();
  volume.Render();
  EXPECT_TRUE(redAt(64, 128));
  EXPECT_TRUE(redAt(192, 128));
  EXPECT_FALSE(redAt(128, 128));
}

}  // namespace
