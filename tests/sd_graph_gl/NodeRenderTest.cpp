#include <gtest/gtest.h>

#include <GL/gl.h>

#include "GLTestFixture.h"
#include "Sd_Node.h"
#include "Sv_Matrix4.h"

using orvanta_test::GLTest;

namespace {

// Draws the node in a view of the unit box: orthographic, -1 ... 1 across
// the framebuffer, so object x 0.5 lands on pixel 192.
void DrawInUnitView(Sd_Node& node) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -2, 2);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  node.Render();
}

}  // namespace

TEST_F(GLTest, BaseRenderDrawsTheAxesInsideItsTransform) {
  Sd_Node node;
  DrawInUnitView(node);
  // The x axis runs along the middle row from pixel 64 to 192.
  EXPECT_GT(Brightness(100, 128) + Brightness(100, 127), 0);
  EXPECT_GT(Brightness(128, 180) + Brightness(127, 180), 0);
  EXPECT_EQ(Brightness(20, 128) + Brightness(20, 127), 0) << "the axes end at -0.5";
  EXPECT_EQ(Brightness(100, 100), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Moved right by 0.5 and scaled by half, the x axis spans 0.25 ... 0.75.
  Clear();
  node.SetPosition(0.5f, 0.0f, 0.0f);
  node.SetScale(0.5f, 0.5f, 0.5f);
  DrawInUnitView(node);
  auto box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.xMin, 160, 1);
  EXPECT_NEAR(box.xMax, 224, 1);
}

TEST_F(GLTest, ParentFrameNodeDrawsNothing) {
  Sd_Node node;
  node.SetParentFrame(1);
  DrawInUnitView(node);
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(GLTest, ApplyTransformTranslatesRotatesInXYZOrderThenScales) {
  Sd_Node node;
  node.SetPosition(1, 2, 3);
  node.SetRotation(90, 0, 90);
  node.SetScale(2, 2, 2);
  glLoadIdentity();
  node.ApplyTransform();
  Sv_Matrix4 got;
  got.LoadFromGL();
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glRotatef(90, 1, 0, 0);
  glRotatef(0, 0, 1, 0);
  glRotatef(90, 0, 0, 1);
  glScalef(2, 2, 2);
  Sv_Matrix4 want;
  want.LoadFromGL();
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(got.GetMatrixPTR()[i], want.GetMatrixPTR()[i], 1e-5) << i;
  glLoadIdentity();
}
