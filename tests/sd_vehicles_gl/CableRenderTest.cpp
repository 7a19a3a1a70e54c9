// Drawing of the cable node: its lit grey tube, its children, visibility,
// the missing light set and progressive passes, seen in the unit view of
// LitUnitView.h (x and y -0.5 ... 0.5 on pixels 64 ... 192, z maps to
// depth 0.5 - z / 4).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "LitUnitView.h"
#include "Sd_CableParent.h"
#include "Sd_VectorPipe.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

namespace {

class CableTest : public orvanta_test::LitUnitViewTest {
 protected:
  // A cable in the box 0 ... 10 on each axis along x through its centre
  // (y = z = 5), radius 0.05, no lift, built at scale 1: in the view a tube
  // from pixel 64 to 192 across row 128, about 13 pixels thick.
  static std::unique_ptr<Sd_CableParent> Cable() {
    std::unique_ptr<Sd_CableParent> cable(new Sd_CableParent());
    for (int a = 0; a < 3; ++a) cable->SetBounds(a, 0, 10);
    const double xyz[] = {0, 5, 5, 4, 5, 5, 10, 5, 5};
    cable->SetPoints(xyz, 3);
    cable->SetPipeRadius(0.05f);
    cable->SetPipeLift(0.0f);
    cable->PostLoadOperations(0);
    return cable;
  }

  // Axes of a plain node placed at (0, 0.4) at a fifth of the size: ink
  // around pixel (128, 179), away from the tube.
  static Sd_Node* AddChild(Sd_CableParent* cable) {
    Sd_Node* child = new Sd_Node();
    child->SetPosition(0.0f, 0.4f, 0.0f);
    child->SetScale(0.2f, 0.2f, 0.2f);
    cable->AddChild(child);
    return child;
  }

  static bool Grey(const orvanta_test::GLPixel& p) {
    return p.r > 100 && std::abs(p.r - p.g) <= 2 && std::abs(p.g - p.b) <= 2;
  }

  // Steps a pass to its end; the number of calls.
  static int Pass(Sd_Node* node) {
    int calls = 1;
    while (node->StepRender() != 1 && calls < 100) ++calls;
    return calls;
  }
};

TEST_F(CableTest, LitGreyTubeRunsThroughTheCentrePlaneUnscaled) {
  Light();
  std::unique_ptr<Sd_CableParent> cable = Cable();
  cable->Render();
  EXPECT_TRUE(Grey(ReadPixel(128, 128)));
  EXPECT_TRUE(Grey(ReadPixel(70, 128)));
  // The front of the tube: z = radius (up to the ring's facets).
  EXPECT_NEAR(ReadDepth(128, 128), 0.5f - 0.05f / 4.0f, 0.002f);
  const orvanta_test::GLPixelBox box = InkBox();
  EXPECT_NEAR(box.xMin, 64, 2);
  EXPECT_NEAR(box.xMax, 192, 2);
  EXPECT_NEAR(box.yMax - box.yMin, 13, 2);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));

  // Built at scale (0.5, 0.25, 1): half as long, just as thick, since the
  // tube is drawn before the node's scale.
  Clear();
  cable->SetScale(0.5f, 0.25f, 1.0f);
  cable->BuildPipe();
  cable->Render();
  const orvanta_test::GLPixelBox half = InkBox();
  EXPECT_NEAR(half.xMin, 96, 2);
  EXPECT_NEAR(half.xMax, 160, 2);
  EXPECT_NEAR(half.yMax - half.yMin, 13, 2);
  EXPECT_NEAR(half.CentreY(), 128, 1);
}

TEST_F(CableTest, ChildrenDrawWithoutPointsAndOnlyTheTubeWhenHidden) {
  Light();
  // Without points: no tube, the children still draw, whole and in a pass.
  std::unique_ptr<Sd_CableParent> empty(new Sd_CableParent());
  AddChild(empty.get());
  empty->Render();
  EXPECT_GT(Brightness(128, 179), 0);
  EXPECT_EQ(Brightness(100, 128), 0);
  Clear();
  Pass(empty.get());
  EXPECT_GT(Brightness(128, 179), 0);
  Sd_GroupNode::DeleteTree(empty.release());

  // A hidden cable draws its tube, not its children.
  std::unique_ptr<Sd_CableParent> cable = Cable();
  AddChild(cable.get());
  cable->SetVisible(0);
  for (int progressive : {0, 1}) {
    SCOPED_TRACE(progressive);
    Clear();
    if (progressive) {
      Pass(cable.get());
    } else {
      cable->Render();
    }
    EXPECT_TRUE(Grey(ReadPixel(100, 128)));
    EXPECT_EQ(Brightness(128, 179), 0);
  }
  Sd_GroupNode::DeleteTree(cable.release());
}

TEST_F(CableTest, WithoutALightSetNoTubeAndOneMessage) {
  std::unique_ptr<Sd_CableParent> cable = Cable();
  orvanta_test::MessageCapture errors;
  cable->Render();
  Pass(cable.get());
  cable->Render();
  EXPECT_EQ(CountInk(), 0);
  auto sent = [&] {
    int n = 0;
    for (const auto& m : errors.messages()) {
      n += m.first == SV_LEVEL_ERROR && m.second.find("Required light manager for render not defined!") != std::string::npos;
    }
    return n;
  };
  EXPECT_EQ(sent(), 1) << "once per node";
  // Another cable says so once as well.
  std::unique_ptr<Sd_CableParent> other = Cable();
  other->Render();
  EXPECT_EQ(sent(), 2);
}

TEST_F(CableTest, PassDrawsTheTubeFirstAndAnAbandonedPassLeavesTheStacksBalanced) {
  Light();
  std::unique_ptr<Sd_CableParent> cable = Cable();
  AddChild(cable.get());
  // The first step pushes and draws the tube; the matrix stays pushed
  // until the pass ends.
  EXPECT_EQ(cable->StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  EXPECT_TRUE(Grey(ReadPixel(128, 128)));
  cable->Invalidate();
  EXPECT_EQ(cable->StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(cable->GetStage(), 0);
  // The next pass runs whole: push, the child, the end.
  Clear();
  EXPECT_EQ(Pass(cable.get()), 4);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_TRUE(Grey(ReadPixel(128, 128)));
  EXPECT_GT(Brightness(128, 179), 0);
  Sd_GroupNode::DeleteTree(cable.release());
}

}  // namespace
