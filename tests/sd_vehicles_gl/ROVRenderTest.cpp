// Drawing of the ROV node: the vehicle and its yellow marker at the pose the
// test's writer program publishes, read anew at every draw; visibility; a
// missing or short block; progressive passes. The view is the unit box,
// orthographic -1 ... 1 across the 256 x 256 framebuffer (-0.5 ... 0.5 on
// pixels 64 ... 192), seen from above or from the side.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "../support/rov/RovWriter.h"
#include "LitUnitView.h"
#include "Sd_GroupNode.h"
#include "Sd_ROVParent.h"
#include "TestSupport.h"

using orvanta_test::GLPixel;
using orvanta_test::GLPixelBox;
using rov_test::RovBlockScope;
using rov_test::RovWriter;

namespace {

class ROVDrawTest : public orvanta_test::LitUnitViewTest {
 protected:
  // Each test publishes a block of its own and lights the scene.
  void SetUp() override {
    LitUnitViewTest::SetUp();
    ASSERT_TRUE(m_block.writer.Ready());
    Light();
  }

  // Screen x and y from the node's x and z (seen from the south), or from
  // its y and z (seen from the east).
  static void FromSouth() { glRotatef(-90.0f, 1.0f, 0.0f, 0.0f); }
  static void FromEast() {
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(-90.0f, 0.0f, 0.0f, 1.0f);
  }
  // Draws the node in a fresh picture in one of the views (0 above, 1
  // south, 2 east), whole or in a progressive pass.
  static void Draw(Sd_Node* node, int view, bool progressive = false) {
    Clear();
    glPushMatrix();
    if (view == 1) FromSouth();
    if (view == 2) FromEast();
    if (progressive) {
      for (int calls = 0; node->StepRender() != 1 && calls < 100; ++calls) {
      }
    } else {
      node->Render();
    }
    glPopMatrix();
  }

  static bool Yellow(const GLPixel& p) { return p.r > 200 && p.g > 200 && p.b < 60; }
  // The blue-green of the body (0, 0.7, 0.8) and the sphere (0, 0.5, 0.5),
  // lit or not.
  static bool Body(const GLPixel& p) { return p.r < 40 && p.g > 80 && p.b > 80; }
  template <typename Test>
  static GLPixelBox Find(Test test, int rowFrom = 0, int rowTo = kHeight - 1) {
    GLPixelBox box;
    for (int y = rowFrom; y <= rowTo; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (!test(ReadPixel(x, y))) continue;
        if (box.empty) {
          box.empty = false;
          box.xMin = box.xMax = x;
          box.yMin = box.yMax = y;
        }
        box.xMin = std::min(box.xMin, x);
        box.xMax = std::max(box.xMax, x);
        box.yMin = std::min(box.yMin, y);
        box.yMax = std::max(box.yMax, y);
      }
    }
    return box;
  }
  // The marker's column in a side view, away from the vehicle (rows below
  // 100 and above 160 when the vehicle is at mid-height).
  static double MarkerColumn() {
    const GLPixelBox low = Find(Yellow, 66, 100), high = Find(Yellow, 160, 190);
    if (low.empty || high.empty) return -1.0;
    EXPECT_LE(low.xMax - low.xMin, 1);
    return 0.5 * (low.CentreX() + high.CentreX());
  }

  // A node with the box 0 ... 1 on each axis, attached to the test's block
  // (unless told another name), in which the vehicle is at (x, y, z) in
  // coordinate mode mode.
  std::unique_ptr<Sd_ROVParent> Node(double x = 0.0, double y = 0.0, double z = 0.0, double mode = 0.0) {
    EXPECT_TRUE(m_block.writer.Pose(x, y, z, mode));
    std::unique_ptr<Sd_ROVParent> rov(new Sd_ROVParent());
    for (int a = 0; a < 3; ++a) rov->SetBounds(a, 0.0f, 1.0f);
    return rov;
  }
  RovWriter& Writer() { return m_block.writer; }
  // Axes of a plain node at (0.3, 0, 0.3), a fifth of the size: from the
  // south, ink around pixel (166, 166), away from a vehicle at the centre.
  static void AddChild(Sd_ROVParent* rov) {
    Sd_Node* child = new Sd_Node();
    child->SetPosition(0.3f, 0.0f, 0.3f);
    child->SetScale(0.2f, 0.2f, 0.2f);
    rov->AddChild(child);
  }

  // The sphere at the vehicle's front (+x) reaches 0.04 beyond the body:
  // the blue-green box's centre lies this many pixels ahead of the vehicle's.
  static constexpr double kFront = 0.02 * 128.0;

  rov_test::PublishedBlock m_block;
};

TEST_F(ROVDrawTest, MarkerStandsAtTheBoxCornerInMode1AndAtTheRawPlaceOtherwise) {
  // Data coordinates at the node's x and y minimum, mid-height: the marker
  // runs through the corner (-0.5, -0.5) from the bottom to the top.
  std::unique_ptr<Sd_ROVParent> rov = Node(0.0, 0.0, 0.5, 1.0);
  Draw(rov.get(), 1);
  EXPECT_NEAR(MarkerColumn(), 64.0, 1.0);
  EXPECT_TRUE(Yellow(ReadPixel(static_cast<int>(MarkerColumn()), 65)));
  EXPECT_TRUE(Yellow(ReadPixel(static_cast<int>(MarkerColumn()), 190)));
  Draw(rov.get(), 2);
  EXPECT_NEAR(MarkerColumn(), 64.0, 1.0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));

  // Mode 0.999: the same numbers are the place in the box itself.
  ASSERT_TRUE(Writer().Pose(0.25, 0.1, 0.0, 0.999));
  Draw(rov.get(), 1);
  EXPECT_NEAR(MarkerColumn(), 128.0 + 0.25 * 128.0, 1.0);
  EXPECT_NEAR(Find(Body).CentreX(), 160.0 + kFront, 1.5);
  EXPECT_NEAR(Find(Body).CentreY(), 128.0, 4.0);
  Draw(rov.get(), 2);
  EXPECT_NEAR(MarkerColumn(), 128.0 + 0.1 * 128.0, 1.0);
}

TEST_F(ROVDrawTest, EachDrawFollowsTheBlockAndAPoseThatCannotBeDrawnIsLeftOut) {
  std::unique_ptr<Sd_ROVParent> rov = Node(-0.25, 0.2, 0.0);
  Draw(rov.get(), 0);
  GLPixelBox body = Find(Body);
  EXPECT_NEAR(body.CentreX(), 96.0 + kFront, 1.5);
  EXPECT_NEAR(body.CentreY(), 153.6, 3.0);

  ASSERT_TRUE(Writer().Pose(0.25, -0.2, 0.0, 0.0));
  Draw(rov.get(), 0);
  body = Find(Body);
  EXPECT_NEAR(body.CentreX(), 160.0 + kFront, 1.5);
  EXPECT_NEAR(body.CentreY(), 102.4, 3.0);
  EXPECT_EQ(Brightness(96, 154), 0) << "nothing left at the old place";

  // A scale that is not a number, and mode 1 in a box without x range: no
  // vehicle and no marker in that frame.
  ASSERT_TRUE(Writer().Set(Sd_ROVParent::kScaleXYZ + 1, {std::numeric_limits<double>::quiet_NaN()}));
  Draw(rov.get(), 1);
  EXPECT_EQ(CountInk(), 0);
  ASSERT_TRUE(Writer().Pose(0.5, 0.5, 0.5, 1.0));
  rov->SetBounds(0, 1.0f, 1.0f);
  Draw(rov.get(), 1);
  EXPECT_EQ(CountInk(), 0);
  rov->SetBounds(0, 0.0f, 1.0f);
  Draw(rov.get(), 1);
  EXPECT_NEAR(MarkerColumn(), 128.0, 1.0);
}

TEST_F(ROVDrawTest, WithoutALightSetTheVehicleIsUnlitAndTurnedByItsAngles) {
  Sd_Node::SetLighting(nullptr);
  std::unique_ptr<Sd_ROVParent> rov = Node();
  // From above: the body's top in its own colour, the sphere at the front
  // (+x) and a thruster on the left (+y) beside it.
  Draw(rov.get(), 0);
  auto is = [](const GLPixel& p, int r, int g, int b) { return Is(p, r, g, b, 1); };
  EXPECT_TRUE(is(ReadPixel(128, 128), 0, 178, 204));
  EXPECT_TRUE(is(ReadPixel(144, 128), 0, 128, 128)) << "the sphere";
  EXPECT_TRUE(is(ReadPixel(128, 144), 128, 128, 128)) << "a thruster";
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  // Heading 90 degrees turns the front to +y; a vehicle scale of 2 doubles
  // the body.
  ASSERT_TRUE(Writer().Set(Sd_ROVParent::kAngles + 2, {90.0}));
  Draw(rov.get(), 0);
  EXPECT_TRUE(is(ReadPixel(128, 144), 0, 128, 128)) << "the sphere";
  const int width = Find(Body).xMax - Find(Body).xMin;
  ASSERT_TRUE(Writer().Set(Sd_ROVParent::kVehicleScale, {2.0}));
  Draw(rov.get(), 0);
  EXPECT_NEAR(Find(Body).xMax - Find(Body).xMin, 2 * width, 2);
}

TEST_F(ROVDrawTest, HiddenNodeDrawsItsVehicleButNeitherChildrenNorBox) {
  std::unique_ptr<Sd_ROVParent> rov = Node();
  AddChild(rov.get());
  rov->SetShowBoundingBox(1);
  for (int progressive : {0, 1}) {
    SCOPED_TRACE(progressive);
    rov->SetVisible(1);
    Draw(rov.get(), 1, progressive);
    EXPECT_GT(Brightness(166, 166), 0) << "the child";
    EXPECT_GT(Brightness(63, 110) + Brightness(64, 110), 0) << "the box's edge";
    rov->SetVisible(0);
    Draw(rov.get(), 1, progressive);
    EXPECT_TRUE(Body(ReadPixel(128, 128)));
    EXPECT_NEAR(MarkerColumn(), 128.0, 1.0) << "the marker";
    EXPECT_EQ(Brightness(166, 166), 0);
    EXPECT_EQ(Brightness(63, 110) + Brightness(64, 110), 0);
  }
  Sd_GroupNode::DeleteTree(rov.release());
}

TEST_F(ROVDrawTest, MissingOrShortBlockDrawsOnlyTheChildren) {
  RovWriter small(100);
  ASSERT_TRUE(small.Ready());
  ASSERT_TRUE(small.Set(0, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
  for (const std::string& name : {rov_test::MissingBlockName(), small.Name()}) {
    SCOPED_TRACE(name);
    RovBlockScope scope(name);
    std::unique_ptr<Sd_ROVParent> rov = Node();
    AddChild(rov.get());
    for (int progressive : {0, 1}) {
      Draw(rov.get(), 1, progressive);
      EXPECT_GT(Brightness(166, 166), 0) << "the child";
      EXPECT_TRUE(Find(Body).empty);
      EXPECT_TRUE(Find(Yellow).empty);
    }
    Sd_GroupNode::DeleteTree(rov.release());
  }
}

TEST_F(ROVDrawTest, PassDrawsTheVehicleFirstAndAnAbandonedPassLeavesTheStacksBalanced) {
  std::unique_ptr<Sd_ROVParent> rov = Node();
  AddChild(rov.get());
  EXPECT_EQ(rov->StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  EXPECT_TRUE(Body(ReadPixel(128, 128)));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  rov->Invalidate();
  EXPECT_EQ(rov->StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(rov->GetStage(), 0);
  // The next pass runs whole: push with the vehicle, the child, the end.
  Clear();
  int calls = 1;
  while (rov->StepRender() != 1 && calls < 100) ++calls;
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_TRUE(Body(ReadPixel(128, 128)));
  Sd_GroupNode::DeleteTree(rov.release());
}

}  // namespace
