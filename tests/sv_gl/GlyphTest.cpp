#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "GLTestFixture.h"
#include "Sv_Glyphs.h"

using orvanta_test::GLPixel;
using orvanta_test::GLPixelBox;
using orvanta_test::GLTest;

namespace {

const unsigned char kColour[3] = {200, 100, 50};

// Glyphs 100 pixels across, centred on pixel (128, 128), with depth room
// for the solids.
void SetGlyphFrame() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, GLTest::kWidth, 0.0, GLTest::kHeight, -200.0, 200.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(128.5f, 128.5f, 0.0f);
  glScalef(100.0f, 100.0f, 100.0f);
}

void ResetFrame() {
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void ExpectShade(const GLPixel& p, float factor, const char* what) {
  EXPECT_NEAR(p.r, kColour[0] * factor, 1.0) << what;
  EXPECT_NEAR(p.g, kColour[1] * factor, 1.0) << what;
  EXPECT_NEAR(p.b, kColour[2] * factor, 1.0) << what;
}

// Every drawn pixel is the colour times one grey factor; returns the number
// of distinct shades.
int CheckGreyMultiples(const char* what) {
  std::set<int> shades;
  for (int y = 0; y < GLTest::kHeight; y += 2) {
    for (int x = 0; x < GLTest::kWidth; x += 2) {
      const GLPixel p = GLTest::ReadPixel(x, y);
      if (p.r == 0 && p.g == 0 && p.b == 0) continue;
      EXPECT_LE(p.r, kColour[0]) << what;
      EXPECT_NEAR(p.g * 2, p.r, 2) << what << " at " << x << ", " << y;
      EXPECT_NEAR(p.b * 4, p.r, 4) << what << " at " << x << ", " << y;
      shades.insert(p.r);
    }
  }
  return int(shades.size());
}

}  // namespace

TEST_F(GLTest, FlatGlyphsCoverTheirUnitShape) {
  SetGlyphFrame();
  DrawSquareGlyph(kColour);
  GLPixelBox box = InkBox();
  EXPECT_EQ(box.xMin, 78);
  EXPECT_EQ(box.xMax, 177);
  EXPECT_EQ(box.yMin, 78);
  EXPECT_EQ(box.yMax, 177);
  EXPECT_EQ(CountInk(), 100 * 100);
  ExpectShade(ReadPixel(128, 128), 1.0f, "square");

  Clear();
  DrawCrossGlyph(kColour);
  ExpectShade(ReadPixel(128 + 40, 128), 1.0f, "cross, x arm");
  ExpectShade(ReadPixel(128, 128 - 40), 1.0f, "cross, y arm");
  EXPECT_EQ(Brightness(128 + 30, 128 + 30), 0);
  box = InkBox();
  EXPECT_NEAR(box.xMin, 78, 1);
  EXPECT_NEAR(box.xMax, 178, 1);
  EXPECT_NEAR(box.yMin, 78, 1);
  EXPECT_NEAR(box.yMax, 178, 1);

  Clear();
  DrawCircleGlyph(kColour);
  EXPECT_EQ(Brightness(128, 128), 0) << "the circle is an outline";
  box = InkBox();
  EXPECT_NEAR(box.xMin, 78, 1);
  EXPECT_NEAR(box.xMax, 178, 1);
  EXPECT_NEAR(box.yMin, 78, 1);
  EXPECT_NEAR(box.yMax, 178, 1);
  const int ring = CountInk();
  EXPECT_GT(ring, 250);  // eight chords of a circle of radius 50
  EXPECT_LT(ring, 330);
  // The midpoint of the first chord, from (50, 0) to (35.4, 35.4).
  EXPECT_GT(Brightness(128 + 43, 128 + 18), 0);

  Clear();
  SetPixelProjection();
  glTranslatef(128.5f, 128.5f, 0.0f);
  DrawPointGlyph(kColour);
  EXPECT_EQ(CountInk(), 1);
  ExpectShade(ReadPixel(128, 128), 1.0f, "point");
  ResetFrame();
}

TEST_F(GLTest, NullColourDrawsInTheCurrentColour) {
  SetGlyphFrame();
  glColor3ub(10, 20, 30);
  DrawSquareGlyph(nullptr);
  const GLPixel p = ReadPixel(128, 128);
  EXPECT_EQ(p.r, 10);
  EXPECT_EQ(p.g, 20);
  EXPECT_EQ(p.b, 30);
  ResetFrame();
}

TEST_F(GLTest, ShadedSolidsAreGreyShadesOfTheirColour) {
  void (*solids[4])(const unsigned char*) = {DrawShadedCubeGlyph, DrawShadedDiamondGlyph, DrawShadedCylinderGlyph,
                                             DrawShadedSphereGlyph};
  const char* names[4] = {"cube", "diamond", "cylinder", "sphere"};
  for (int i = 0; i < 4; ++i) {
    // Seen from straight above: at most 100 pixels across.
    Clear();
    SetGlyphFrame();
    solids[i](kColour);
    GLPixelBox box = InkBox();
    ASSERT_FALSE(box.empty) << names[i];
    EXPECT_NEAR(box.xMax - box.xMin, 100, 2) << names[i];
    EXPECT_NEAR(box.CentreX(), 128, 1) << names[i];
    EXPECT_NEAR(box.CentreY(), 128, 1) << names[i];

    // Seen obliquely: several faces, each the colour times a grey factor.
    Clear();
    SetGlyphFrame();
    glRotatef(35.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(25.0f, 0.0f, 1.0f, 0.0f);
    solids[i](kColour);
    EXPECT_GE(CheckGreyMultiples(names[i]), 3) << names[i];
  }
  ResetFrame();
}
