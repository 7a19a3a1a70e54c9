// Uniform terrain model on screen: surfaces, strides, blending, progressive
// passes and screen picks.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <memory>
#include <vector>

#include "../sd_dtm/DTMTestSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"

using dtm_test::SDWriter;
using orvanta_test::GLTest;
using orvanta_test::TempDir;

namespace {

// The grid's unit box seen from above, filling the framebuffer: node
// (r, c) of an n x m grid lands near pixel (c / (m - 1), r / (n - 1)) * 256.
void TopDownView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-0.5, 0.5, -0.5, 0.5, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// An oblique view from the south, above the grid.
void ObliqueView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.0, 0.1, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, -1.3, 1.1, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
}

std::vector<unsigned char> Picture() {
  std::vector<unsigned char> pixels(GLTest::kWidth * GLTest::kHeight * 4);
  glReadPixels(0, 0, GLTest::kWidth, GLTest::kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// Runs a progressive pass to its end; the number of calls, or -1 when it
// does not end.
int FinishPass(Sd_BasicDTM& dtm) {
  for (int calls = 1; calls <= 100000; ++calls) {
    if (dtm.StepRender() == 1) return calls;
  }
  return -1;
}

struct Budget {
  explicit Budget(float budget) : old(Sd_Node::GetDetailBudget()) { Sd_Node::SetDetailBudget(budget); }
  ~Budget() {
    Sd_Node::SetDetailBudget(old);
    Sd_Node::SetBestPass(0);
  }
  float old;
};

unsigned short Level(int, int, int, int) { return 30000; }

}  // namespace

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
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  Clear();
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  dtm->Render();
  EXPECT_EQ(ReadPixel(128, 128).b, 200) << "opaque";

  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  Clear();
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
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
  const std::string cmap = dir.file("flat.cmap");
  ASSERT_TRUE(dtm_test::WriteFlatColormap(cmap, 150, 150, 150));
  {
    auto hill = dtm_test::MakeDTM(1024, 1024);
    const float* d = hill->GetShadingParameters();
    hill->ShadeWithColorMap(d[0], d[1], d[2], d[3], d[4], d[5], 0.0, 1.0, cmap.c_str());
    SDWriter w(dir.file("hill.sd"));
    w.Object(hill.get());
    ASSERT_TRUE(w.Close());
  }
  ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
  Sd_Parent* root = new Sd_Parent();
  Sd_Node* read = Sd_IOSupport(root).ReadSDFile(dir.file("hill.sd").c_str());
  ASSERT_NE(dynamic_cast<Sd_BasicDTM*>(read), nullptr);

  Budget budget(25000.0f);
  TopDownView();
  root->Render();
  for (int d : {20, 40, 60}) {
    SCOPED_TRACE(d);
    EXPECT_GT(Brightness(128 + d, 128 + d), 3 * 150);
    EXPECT_LT(Brightness(128 - d, 128 - d), 3 * 150);
    EXPECT_GT(Brightness(128 + d, 128), Brightness(128 - d, 128)) << "east over west";
  }
  Sd_GroupNode::DeleteTree(root);
}

TEST_F(GLTest, FinishedProgressivePassAtFullDetailMatchesRender) {
  Budget budget(25000.0f);
  auto dtm = dtm_test::MakeDTM(150, 200);
  for (int r = 0; r < 150; ++r) {
    for (int c = 0; c < 200; ++c) dtm->GetColorGrid()[r][c] = PackColour(c, r, (r * c) & 255, 255);
  }
  EXPECT_EQ(dtm->ResetSettings(), 1);
  for (int best : {0, 1}) {
    SCOPED_TRACE(best);
    Sd_Node::SetBestPass(best);
    Clear();
    ObliqueView();
    dtm->Render();
    const auto whole = Picture();
    Clear();
    const int calls = FinishPass(*dtm);
    ASSERT_GT(calls, 2);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(dtm->GetDrawn(), 1);
    EXPECT_TRUE(Picture() == whole) << "the pass drew other pixels than Render";
    EXPECT_GT(CountInk(), 1000);
  }
}

TEST_F(GLTest, AbandonedProgressivePassLeavesTheStacksBalanced) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeDTM(300, 300);
  dtm->ResetSettings();
  ObliqueView();
  for (int steps : {1, 2, 5}) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(dtm->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    dtm->Invalidate();
    EXPECT_EQ(dtm->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(dtm->GetPushCount(), 0);
    EXPECT_EQ(dtm->GetStepState(), 0);
    EXPECT_EQ(dtm->GetRedrawPending(), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
  }
  // A new pass runs to its end.
  EXPECT_GT(FinishPass(*dtm), 0);
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
  SDN_PickOut out = {0, 0, 0, -1e20, -1, nullptr, 0, 0};
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
  SDN_PickOut untouched = {0, 0, 0, -1e20, -1, nullptr, 0, 0};
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
