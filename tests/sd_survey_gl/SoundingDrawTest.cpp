// Sounding data sets in OpenGL: the grey base plate below the unit box and
// the yellow run lines of FSD soundings, whole and through the progressive
// entry.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "../sd_survey/SoundingTestSupport.h"
#include "GLTestFixture.h"

using orvanta_test::GLPixel;
using orvanta_test::GLTest;

namespace {

// The unit box seen from above, filling the framebuffer.
void TopDownView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-0.5, 0.5, -0.5, 0.5, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

bool IsGrey(const GLPixel& p) { return p.r >= 126 && p.r <= 129 && p.g == p.r && p.b == p.r; }
bool IsYellow(const GLPixel& p) { return p.r == 255 && p.g == 255 && p.b == 0; }

}  // namespace

TEST_F(GLTest, SoundingsDrawTheBasePlateAndTheRunLines) {
  // Eleven soundings 40 m apart from x0 to x0 + 400, y from y0 to y0 + 50;
  // run 1 crosses the data at y0 + 25, the middle of the box.
  sounding_test::SwitchableSounding s;
  const std::vector<FsdRunRecord> runs = sounding_test::FsdRuns(2);
  const std::vector<FsdSndRecord> records = sounding_test::FsdRecords(11);
  ASSERT_EQ(s.SetRuns(runs.data(), 2), 0);
  ASSERT_EQ(s.SetSoundings(records.data(), 11), 0);
  TopDownView();

  s.Switch(1, 1);
  s.Render();
  EXPECT_TRUE(IsGrey(ReadPixel(128, 64))) << "the base plate";
  EXPECT_TRUE(IsGrey(ReadPixel(5, 250)));
  EXPECT_LT(ReadDepth(128, 64), 1.0f);
  int yellow = 0;
  for (int y = 126; y <= 130; ++y) yellow += IsYellow(ReadPixel(128, y));
  EXPECT_GE(yellow, 1) << "the run line across the middle";
  EXPECT_EQ(ModelViewStackDepth(), 1);

  Clear();
  s.Switch(1, 0);
  EXPECT_EQ(s.StepRender(), 1);
  for (int y = 126; y <= 130; ++y) EXPECT_TRUE(IsGrey(ReadPixel(128, y))) << y;

  Clear();
  s.Switch(0, 0);
  s.Render();
  EXPECT_EQ(CountInk(), 0) << "nothing without the base plate";
  EXPECT_EQ(ModelViewStackDepth(), 1);
}
