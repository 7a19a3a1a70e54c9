// Contoured terrain on screen: every contour white in colour mode 0 and in
// its own colour otherwise, flat at its level lifted by the z offset.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "DTMDrawSupport.h"
#include "Sd_ContourDTM.h"

using dtm_test::TopDownView;
using orvanta_test::GLPixel;
using orvanta_test::GLTest;

namespace {

// A 5 x 5 grid with two contours straight across it: a red one along row 1
// at a quarter of the code range, a green one along row 3 at three quarters.
void FillSet(Sd_ContourDTM* set) {
  ASSERT_TRUE(set->SetContourGrid(5, 5, 65535));
  set->SetLineZOffset(0.0f);
  Sd_ContourDTM::ContourRecord red, green;
  red.level = 65535.0f / 4;
  red.colour = 0xFF0000FFu;
  red.segments = {{0.0f, 1.0f, 2.0f, 1.0f}, {2.0f, 1.0f, 4.0f, 1.0f}};
  green.level = 65535.0f * 3 / 4;
  green.colour = 0x00FF00FFu;
  green.segments = {{0.0f, 3.0f, 4.0f, 3.0f}};
  set->AppendContour(red);
  set->AppendContour(green);
}

// The ink in column x within a pixel of row y.
GLPixel InkNear(int x, int y) {
  for (int dy : {0, -1, 1}) {
    const GLPixel p = GLTest::ReadPixel(x, y + dy);
    if (p.r + p.g + p.b > 0) return p;
  }
  return GLPixel{0, 0, 0, 0};
}

// The unit box seen from the south: x across, z up the framebuffer.
void SideView() {
  TopDownView();
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
}

}  // namespace

TEST_F(GLTest, ContoursDrawWhiteOrInTheirColoursAtTheirLevels) {
  Sd_ContourDTM set;
  FillSet(&set);
  TopDownView();
  EXPECT_EQ(set.StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  for (int x : {20, 128, 236}) {
    const GLPixel a = InkNear(x, 64), b = InkNear(x, 192);
    EXPECT_EQ(a.r + a.g + a.b, 3 * 255) << "colour mode 0: white";
    EXPECT_EQ(b.r + b.g + b.b, 3 * 255);
  }
  EXPECT_EQ(InkNear(128, 128).r, 0) << "nothing between the contours";

  Clear();
  set.SetColourMode(1);
  set.Render();
  const GLPixel a = InkNear(128, 64), b = InkNear(128, 192);
  EXPECT_EQ(a.r, 255);
  EXPECT_EQ(a.g, 0);
  EXPECT_EQ(b.g, 255);
  EXPECT_EQ(b.r, 0);

  // From the side, each contour stands at its level (a quarter and three
  // quarters up the box), and the z offset lifts both.
  Clear();
  SideView();
  set.Render();
  EXPECT_EQ(InkNear(128, 64).r, 255);
  EXPECT_EQ(InkNear(128, 192).g, 255);
  Clear();
  set.SetLineZOffset(0.125f);
  set.Render();
  EXPECT_EQ(InkNear(128, 96).r, 255);
  EXPECT_EQ(InkNear(128, 64).r, 0);

  // A pass abandoned before it began draws nothing and reports so.
  Clear();
  set.Invalidate();
  EXPECT_EQ(set.StepRender(), 0);
  EXPECT_EQ(CountInk(), 0);
}
