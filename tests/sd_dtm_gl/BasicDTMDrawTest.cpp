// Uniform terrain model on screen: surfaces, strides, blending, progressive
// passes and screen picks.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <string>

#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::Budget;
using dtm_test::Level;
using dtm_test::ObliqueView;
using dtm_test::TopDownView;
using orvanta_test::GLTest;
using orvanta_test::TempDir;

TEST_F(GLTest, SolidWireAndHiddenDrawModes) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(33, 33, dtm_test::RampCode);
  dtm->SetLODStep(1);
  TopDownView();
  dtm->Render();
  const int solid = CountInk();
  EXPECT_GT(solid, kWidth * kHeight * 95 / 100);
  EXPECT_EQ(ReadPixel(128, 128).g, 200);

  Clear();
  dtm->SetDrawMode(0);
  dtm->Render();
  const int wire = CountInk();
  EXPECT_GT(wire, 0);
  EXPECT_LT(wire, solid / 2);

  Clear();
  dtm->SetDrawMode(2);
  dtm->Render();
  EXPECT_EQ(CountInk(), 0) << "mode 2 draws only the bounding box, which is off";
}

TEST_F(GLTest, CoarseStrideStillReachesTheGridsEdges) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(25, 25, Level);
  dtm->SetAutoLOD(0);
  dtm->SetLODStep(10);
  TopDownView();
  dtm->Render();
  const auto box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_LE(box.xMin, 1);
  EXPECT_LE(box.yMin, 1);
  EXPECT_GE(box.xMax, kWidth - 2);
  EXPECT_GE(box.yMax, kHeight - 2);
  EXPECT_GT(CountInk(), kWidth * kHeight * 97 / 100);
}

TEST_F(GLTest, AlphaBelow255DrawsBlended) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(9, 9, Level);
  TopDownView();
  dtm_test::ClearTo(0.0f, 0.0f, 1.0f);
  dtm->Render();
  EXPECT_EQ(ReadPixel(128, 128).b, 200) << "opaque";

  dtm_test::ClearTo(0.0f, 0.0f, 1.0f);
  dtm->SetAlpha(128);
  dtm->Render();
  const auto p = ReadPixel(128, 128);
  EXPECT_NEAR(p.r, 100, 2);
  EXPECT_NEAR(p.b, 100 + 127, 2);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// A 1024 x 1024 hill shaded at the default sun azimuth, written to an SD
// file, read through the factory and drawn from above: the slopes facing the
// sun (north-east) are drawn brighter than those facing away.
TEST_F(GLTest, ShadedHillFromAFileIsBrighterOnItsSunnySlopes) {
  TempDir dir;
  ASSERT_TRUE(dtm_test::WriteShadedHill(dir.file("hill.sd"), dir.file("flat.cmap"), 150, 1024));
  auto in = dtm_test::ReadSD(dir.file("hill.sd"));
  ASSERT_NE(in->Terrain(0), nullptr);

  Budget budget(25000.0f);
  TopDownView();
  in->root->Render();
  for (int d : {20, 40, 60}) {
    SCOPED_TRACE(d);
    EXPECT_GT(Brightness(128 + d, 128 + d), 3 * 150);
    EXPECT_LT(Brightness(128 - d, 128 - d), 3 * 150);
    EXPECT_GT(Brightness(128 + d, 128), Brightness(128 - d, 128)) << "east over west";
  }
}

TEST_F(GLTest, FinishedProgressivePassAtFullDetailMatchesRender) {
  Budget budget(25000.0f);
  auto dtm = dtm_test::MakeDTM(150, 200);
  for (int r = 0; r < 150; ++r) {
    for (int c = 0; c < 200; ++c) dtm->GetColorGrid()[r][c] = PackColour(c, r, (r * c) & 255, 255);
  }
  EXPECT_EQ(dtm->ResetSettings(), 1);
  dtm_test::ExpectFinishedPassMatchesRender(*dtm);
}

TEST_F(GLTest, AbandonedProgressivePassLeavesTheStacksBalanced) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(300, 300);
  dtm->ResetSettings();
  ObliqueView();
  dtm_test::ExpectAbandonedPassesBalanced(*dtm, {1, 2, 5});
  // A new pass runs to its end.
  EXPECT_GT(dtm_test::FinishPass(*dtm), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, ProgressivePassWithNothingInViewEndsOnItsSecondCall) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(20, 20);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(5.0, 6.0, 5.0, 6.0, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  EXPECT_EQ(dtm->StepRender(), 0);
  EXPECT_EQ(dtm->StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(CountInk(), 0);
}

// Picks node (20, 40) of a ramp seen from an oblique angle: the pick finds
// the node's geographic point within one cell and its height.
TEST_F(GLTest, PickOnAKnownSlopeReturnsTheKnownPoint) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(65, 65, dtm_test::RampCode);
  dtm->ResetSettings();
  ObliqueView();
  dtm->Render();

  // Window position of the node, through the same transforms as drawing.
  glPushMatrix();
  glTranslatef(-0.5f, -0.5f, -0.5f);
  glScalef(1.0f / 64, 1.0f / 64, 1.0f / 65535);
  GLdouble mv[16], pr[16];
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  glPopMatrix();
  const int row = 20, col = 40;
  GLdouble wx, wy, wz;
  ASSERT_EQ(gluProject(col, row, dtm_test::RampCode(row, col, 65, 65), mv, pr, vp, &wx, &wy, &wz), GL_TRUE);

  DepthPicker picker(kWidth, kHeight);
  SDN_PickIn in = {&picker, static_cast<int>(wx), static_cast<int>(wy), 0, 0};
  SDN_PickOut out = dtm_test::NoPick();
  ASSERT_EQ(dtm->QueryPoint(&in, &out), 1);
  const double cell = 1000.0 / 64;
  EXPECT_NEAR(out.x, 1000.0 + col * cell, cell);
  EXPECT_NEAR(out.y, 5000.0 + row * cell, cell);
  EXPECT_NEAR(out.z, 100.0 * col / 64, 100.0 / 64) << "the height within one cell's rise";
  EXPECT_EQ(out.node, dtm.get());
  EXPECT_EQ(out.found, 1);
  EXPECT_EQ(out.colour, PackColour(200, 200, 200, 255));
  EXPECT_EQ(Sd_Node::GetSharedPick()->colour, out.colour);
  EXPECT_NEAR(dtm->GetPickPosition()[0], col, 1.0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // The hit test only: a hit, but nothing written.
  SDN_PickOut untouched = dtm_test::NoPick();
  in.mode = 1;
  EXPECT_EQ(dtm->QueryPoint(&in, &untouched), 1);
  EXPECT_EQ(untouched.found, 0);

  // The background: a miss.
  in.mode = 0;
  in.x = 2;
  in.y = kHeight - 3;
  EXPECT_EQ(dtm->QueryPoint(&in, &untouched), 0);
  EXPECT_FLOAT_EQ(dtm->GetPickPosition()[0], -1.0f);
}
