// Drawing and picking of the plane, cube, quadric and solid model, seen in
// the unit view of LitUnitView.h: object x and y -0.5 ... 0.5 land on pixels
// 64 ... 192, object z maps to depth 0.5 - z / 4.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "../sd_objects/SolidTestSupport.h"
#include "DepthPicker.h"
#include "LitUnitView.h"
#include "Sd_AlignmentNode.h"
#include "Sd_Cube.h"
#include "Sd_Plane.h"
#include "Sd_Quadratic.h"
#include "Sd_SolidModel.h"
#include "Sv_Colour.h"
#include "Sv_Debug.h"

namespace {

using solid_test::Triangle;

class SolidsTest : public orvanta_test::LitUnitViewTest {
 protected:
  // A white square at z = -1.5, behind everything the tests draw.
  static void WhiteBackdrop() {
    glColor3ub(255, 255, 255);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, -1.5f);
    glVertex3f(1, -1, -1.5f);
    glVertex3f(1, 1, -1.5f);
    glVertex3f(-1, 1, -1.5f);
    glEnd();
  }
};

TEST_F(SolidsTest, PlaneLiesAtItsGeoHeightWithinTheNodesZBounds) {
  Sd_Plane plane;
  plane.SetBounds(0, 0, 100);
  plane.SetBounds(1, 0, 100);
  plane.SetBounds(2, -50, 10);
  const struct {
    float height;
    float z;  // in the unit box
  } cases[] = {{-50.0f, -0.5f}, {10.0f, 0.5f}, {-20.0f, 0.0f}};
  for (const auto& c : cases) {
    Clear();
    plane.SetGeoHeight(c.height);
    plane.Render();
    EXPECT_NEAR(ReadDepth(128, 128), 0.5f - c.z / 4.0f, 1e-3) << c.height;
    EXPECT_GT(Brightness(70, 70), 0);
    EXPECT_EQ(Brightness(60, 128), 0) << "nothing outside the box";
  }
  // A box without z range holds the plane in its middle.
  Clear();
  plane.SetBounds(2, 5, 5);
  plane.Render();
  EXPECT_NEAR(ReadDepth(128, 128), 0.5f, 1e-3);
  // Off the geo height, the corners drop back to 0.
  plane.SetBounds(2, -50, 10);
  plane.SetGeoHeight(-50);
  plane.Render();
  plane.SetUseGeoHeight(0);
  EXPECT_EQ(plane.GetCorner(2)[2], 0.0f);
}

TEST_F(SolidsTest, TranslucentPlaneBlendsAndLeavesBlendingOff) {
  WhiteBackdrop();
  Sd_Plane plane;
  plane.SetUseGeoHeight(0);
  plane.SetColour(PackColour(255, 0, 0, 0));
  plane.SetAlpha(128);
  plane.Render();
  const orvanta_test::GLPixel p = ReadPixel(128, 128);
  EXPECT_EQ(p.r, 255);
  EXPECT_NEAR(p.g, 127, 2) << "half of the white behind";
  EXPECT_NEAR(p.b, 127, 2);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  // Drawn whole in one progressive step.
  EXPECT_EQ(plane.StepRender(), 1);
}

TEST_F(SolidsTest, LitCubeIsBrighterOnTheFaceTowardsTheLight) {
  Light(1.0f, 0.0f, 0.3f);
  Sd_Cube cube;
  // Turned 45 degrees about y: the -x face shows left of x = 0, the +z
  // face right of it, which faces the light.
  cube.SetRotation(0, 45, 0);
  cube.Render();
  const int left = Brightness(100, 128);
  const int right = Brightness(156, 128);
  EXPECT_GT(left, 0) << "the face away from the light still gets the ambient light";
  EXPECT_GT(right, left + 150);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(SolidsTest, OnlyASeeThroughSolidMarksTheFrameBlended) {
  // Solids draw with blending on at any alpha; an opaque one blends nothing,
  // and the progressive renderer may refine over it in place.
  Light(0.0f, 0.0f, 1.0f);
  Sd_Cube cube;
  for (int alpha : {255, 128}) {
    Sd_Node::BeginFrame(0.0f);
    cube.SetAlpha(alpha);
    cube.Render();
    EXPECT_EQ(Sd_Node::FrameState().blended, alpha < 255 ? 1 : 0) << "alpha " << alpha;
  }
}

TEST_F(SolidsTest, QuadricKindsDrawTheirShapesAndAnyOtherKindOnlyItsBox) {
  Light(0.0f, 0.0f, 1.0f);
  Sd_Quadratic quadric;
  quadric.SetRotation(-60, 0, 0);  // tilted, so that a cylinder's side shows
  for (int kind = 0; kind <= 3; ++kind) {
    Clear();
    quadric.SetKind(kind);
    quadric.Render();
    EXPECT_GT(CountInk(), 200) << "kind " << kind;
  }
  Clear();
  quadric.SetRotation(0, 0, 0);
  quadric.SetKind(4);
  quadric.SetShowBoundingBox(1);
  quadric.Render();
  // The outline of the box (pixels 64 ... 192), and no more than its four
  // edges: no shape inside.
  const orvanta_test::GLPixelBox box = InkBox();
  EXPECT_NEAR(box.xMin, 64, 1);
  EXPECT_NEAR(box.xMax, 192, 1);
  EXPECT_NEAR(box.yMin, 64, 1);
  EXPECT_LT(CountInk(), 4 * 132);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(SolidsTest, WithoutALightSetLitSolidsDrawNothingAndSaySo) {
  Sd_Cube cube;
  Sd_Quadratic quadric;
  const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
  auto model = solid_test::Box(lo, hi);
  const unsigned long before = Sv_Debug::MessageCount();
  cube.Render();
  EXPECT_NE(std::string(Sv_Debug::LastMessage()).find("Required light manager for render not defined!"),
            std::string::npos);
  quadric.Render();
  model->Render();
  EXPECT_NE(std::string(Sv_Debug::LastMessage()).find("Required light manager for rendering not defined!"),
            std::string::npos);
  EXPECT_EQ(Sv_Debug::MessageCount(), before + 3);
  EXPECT_EQ(model->StepRender(), 1) << "the progressive pass ends at once";
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(SolidsTest, ModelDrawsLitAndBlendsWithAlpha) {
  Light(0.0f, 0.0f, 1.0f);
  // One square at the top of a box 10 deep (the last vertex gives the depth).
  auto model = solid_test::Model({0, 0, 10, 10, 0, 10, 10, 10, 10, 0, 10, 10, 0, 0, 0}, {0, 0, 1},
                                 {Triangle(0, 1, 2, 0), Triangle(0, 2, 3, 0)}, 200, 40, 40);
  model->Render();
  const orvanta_test::GLPixel opaque = ReadPixel(128, 128);
  EXPECT_GT(opaque.r, 150) << "lit head on";
  EXPECT_LT(opaque.g, 80);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));

  // Alpha 128: half of the white behind comes through.
  model->SetAlpha(128);
  Clear();
  WhiteBackdrop();
  model->Render();
  const orvanta_test::GLPixel blended = ReadPixel(128, 128);
  EXPECT_NEAR(blended.g, opaque.g / 2 + 127, 8);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(SolidsTest, TexturedMaterialsSendTextureCoordinates) {
  Light(0.0f, 0.0f, 1.0f);
  for (int flags : {0, 1}) {
    Sd_SolidModel model;
    const unsigned char c[4] = {200, 200, 200, 255};
    model.AddMaterial("m", c, c, c, 0, flags);
    const double v[] = {0, 0, 0, 1, 0, 0, 0, 1, 1};
    const float n[] = {0, 0, 1};
    const float uv[] = {0.25f, 0.75f, 0.5f, 0.5f};
    const Sd_SolidModel::Face f = {0, 1, 2, {0, 0, 0}, {1, 1, 0}, 0};
    ASSERT_EQ(model.SetGeometry(3, v, 1, n, 2, uv, 1, &f), 0);
    glTexCoord2f(0.0f, 0.0f);
    model.Render();
    float current[4];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current);
    EXPECT_EQ(current[0], flags ? 0.25f : 0.0f) << "flags " << flags;
    EXPECT_EQ(current[1], flags ? 0.75f : 0.0f) << "flags " << flags;
  }
}

TEST_F(SolidsTest, ProgressivePassDrawsAThousandFacesAStepAndAnAbandonedPassUnwinds) {
  Light(0.0f, 0.0f, 1.0f);
  // Three squares side by side at the top of the box, x 0-1, 1-2 and 2-3:
  // faces 0 ... 999 repeat the left one, 1000 ... 1999 the middle one,
  // 2000 ... 2499 the right one. Vertex 12 at z = 0 gives the box depth.
  std::vector<double> v;
  for (int s = 0; s <= 3; ++s) {
    v.insert(v.end(), {double(s), 0, 1, double(s), 1, 1});
  }
  v.insert(v.end(), {0, 0, 0});
  std::vector<solid_test::Face> faces;
  for (int i = 0; i < 2500; ++i) {
    const int s = i < 1000 ? 0 : (i < 2000 ? 1 : 2);
    faces.push_back(i % 2 ? Triangle(2 * s, 2 * s + 2, 2 * s + 3, 0) : Triangle(2 * s, 2 * s + 3, 2 * s + 1, 0));
  }
  auto model = solid_test::Model(v, {0, 0, 1}, faces);
  ASSERT_EQ(model->GetFaceCount(), 2500);
  // Pixel columns of the squares' centres: x -0.333, 0, 0.333.
  auto ink = [&](int square) { return Brightness(128 + (square - 1) * 43, 128) > 0; };

  EXPECT_EQ(model->StepRender(), 0);  // set-up
  EXPECT_FALSE(ink(0));
  const bool expected[3][3] = {{true, false, false}, {true, true, false}, {true, true, true}};
  for (int step = 0; step < 3; ++step) {
    EXPECT_EQ(model->StepRender(), 0);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(ink(s), expected[step][s]) << "step " << step << " square " << s;
  }
  EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass holds its matrix between calls";
  EXPECT_EQ(model->StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Abandoned after its first drawing step: the matrix, blending and
  // lighting are undone, and the next pass starts over.
  model->SetAlpha(128);
  Clear();
  model->StepRender();
  model->StepRender();
  model->Invalidate();
  EXPECT_EQ(model->StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(model->GetStepStage(), 0);
  int calls = 1;
  while (model->StepRender() == 0 && calls < 100) ++calls;
  EXPECT_EQ(calls, 5);
}

TEST_F(SolidsTest, PickReturnsTheDataPointUnderThePixelAlsoUnderExaggeration) {
  Light(0.0f, 0.0f, 1.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  // A box model x 100 ... 200, y 1000 ... 1100, z -50 ... -10, seen from
  // above in a root scaled like the vertical exaggeration.
  const double lo[3] = {100, 1000, -50}, hi[3] = {200, 1100, -10};
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  std::unique_ptr<Sd_SolidModel> owned = solid_test::Box(lo, hi);
  Sd_SolidModel* model = owned.release();
  root->AddChild(model);
  DepthPicker picker(kWidth, kHeight);
  for (float exaggeration : {1.0f, 6.0f}) {
    for (int compensate : {1, 0}) {
      SCOPED_TRACE(testing::Message() << "exaggeration " << exaggeration << " compensation " << compensate);
      root->SetScale(1.0f, 1.0f, exaggeration);
      model->SetExaggerationCompensation(compensate);
      Clear();
      root->Render();
      SDN_PickIn in = {&picker, 100, 150, 0, 0};
      SDN_PickOut out = {0, 0, 0, -1e20, 7, nullptr, 0, 0};
      ASSERT_EQ(root->QueryPoint(&in, &out), 1);
      EXPECT_EQ(out.found, 1);
      EXPECT_EQ(out.node, model);
      EXPECT_EQ(out.pointIndex, -1);
      // Pixel centre (100.5, 150.5): unit box x -0.2148, y 0.1758.
      EXPECT_NEAR(out.x, 100.0 + 100.0 * (100.5 / 128.0 - 0.5), 0.8);
      EXPECT_NEAR(out.y, 1000.0 + 100.0 * (150.5 / 128.0 - 0.5), 0.8);
      EXPECT_NEAR(out.z, -10.0, 0.5) << "the top face";
      // The background reports no hit.
      SDN_PickOut miss = {0, 0, 0, -1e20, 7, nullptr, 0, 0};
      in.x = 10;
      in.y = 10;
      EXPECT_EQ(root->QueryPoint(&in, &miss), 0);
      EXPECT_EQ(miss.found, 0);
    }
  }
  Sd_GroupNode::DeleteTree(root);
}

}  // namespace
