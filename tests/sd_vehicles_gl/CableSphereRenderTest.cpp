// Drawing of the cable-sphere node seen from above its north pole in the
// unit view of LitUnitView.h (the globe's centre at pixel (128, 128), 128
// pixels per unit).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "LitUnitView.h"
#include "Sd_CableSphParent.h"
#include "Sd_VectorPipe.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

namespace {

class CableSphereTest : public orvanta_test::LitUnitViewTest {
 protected:
  // A magenta cable of radius 0.02 at height 0 along longitude 135 from
  // latitude 20 to 70: seen from above it crosses pixel (103, 153), which
  // lies 0.276 from the centre.
  static void AddCable(Sd_CableSphParent* globe) {
    double points[18];
    for (int i = 0; i < 6; ++i) {
      points[3 * i] = 20.0 + 10.0 * i;
      points[3 * i + 1] = 135.0;
      points[3 * i + 2] = 0.0;
    }
    globe->SetCableColour(1.0f, 0.0f, 1.0f);
    globe->SetCableRadius(0.02f);
    ASSERT_EQ(globe->SetPoints(points, 6), 0);
  }

  // Pixels of one colour.
  static int Count(int r, int g, int b) {
    std::vector<orvanta_test::GLPixel> picture(kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, picture.data());
    int n = 0;
    for (const orvanta_test::GLPixel& p : picture) n += Is(p, r, g, b);
    return n;
  }
};

// A pixel of the globe alone, 0.276 from the centre between the rings of
// latitudes 50 and 60, off the axes.
constexpr int kGlobeX = 153, kGlobeY = 153;

TEST_F(CableSphereTest, GlobeRingsAndAxesAndStyleOneWithoutTheGlobe) {
  Sd_CableSphParent globe;
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(kGlobeX, kGlobeY), 204, 204, 204)) << "style 3: a grey globe";
  // Rings: red in the north (towards the viewer), the white equator.
  EXPECT_GT(Count(255, 0, 0), 200);
  EXPECT_GT(Count(255, 255, 255), 200);
  // The axes reach 0.54, beyond the globe and the equator: green along x,
  // blue along y.
  EXPECT_TRUE(Is(ReadPixel(195, 128), 0, 255, 0));
  EXPECT_TRUE(Is(ReadPixel(61, 128), 0, 255, 0));
  EXPECT_TRUE(Is(ReadPixel(128, 195), 0, 0, 255));
  EXPECT_EQ(Brightness(200, 200), 0);

  Clear();
  globe.SetGlobeStyle(1);
  globe.Render();
  EXPECT_EQ(Brightness(kGlobeX, kGlobeY), 0) << "style 1 draws no globe";
  EXPECT_GT(Count(255, 0, 0), 200);
  EXPECT_TRUE(Is(ReadPixel(195, 128), 0, 255, 0));

  // Styles 0 and 2 draw the globe in its own colours.
  Clear();
  globe.SetGlobeStyle(2);
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(kGlobeX, kGlobeY), 0, 0, 255));
  Clear();
  globe.SetShowRings(0);
  globe.SetShowAxes(0);
  globe.Render();
  EXPECT_EQ(Count(255, 0, 0) + Count(0, 255, 0), 0);
}

TEST_F(CableSphereTest, CableLiesOnTheGlobeLit) {
  Light();
  Sd_CableSphParent globe;
  ASSERT_NO_FATAL_FAILURE(AddCable(&globe));
  globe.Render();
  const orvanta_test::GLPixel p = ReadPixel(103, 153);
  EXPECT_TRUE(p.r > 150 && p.b > 150 && p.g < 60) << int(p.r) << " " << int(p.g) << " " << int(p.b);
  // Its surface lies on the globe's radius 0.5 plus the tube's radius.
  const double d = std::hypot(103.5 - 128.0, 153.5 - 128.0) / 128.0;
  const double z = (0.5 - ReadDepth(103, 153)) * 4.0;
  const double r = std::hypot(d, z);
  EXPECT_GT(r, 0.5);
  EXPECT_LT(r, 0.525);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  // Without the show flag only the globe is there.
  Clear();
  globe.SetShowCable(0);
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(103, 153), 204, 204, 204));
}

TEST_F(CableSphereTest, WithoutALightSetTheGlobeDrawsAndTheCableIsLeftOutOnce) {
  Sd_CableSphParent globe;
  ASSERT_NO_FATAL_FAILURE(AddCable(&globe));
  orvanta_test::MessageCapture errors;
  globe.Render();
  int calls = 1;
  while (globe.StepRender() != 1 && calls < 10) ++calls;
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(103, 153), 204, 204, 204)) << "the globe, unlit, without the cable";
  int sent = 0;
  for (const auto& m : errors.messages()) {
    sent += m.first == SV_LEVEL_ERROR && m.second.find("Required light manager for render not defined!") != std::string::npos;
  }
  EXPECT_EQ(sent, 1) << "once per node";
}

TEST_F(CableSphereTest, HiddenNodeDrawsTheGlobeAndAnAbandonedPassLeavesTheStacksBalanced) {
  Light();
  Sd_CableSphParent globe;
  // A child's axes near the viewer, 0.05 long, centred on pixel (141, 141):
  // white there, in front of the globe.
  Sd_Node* child = new Sd_Node();
  child->SetPosition(13.5f / 128.0f, 13.5f / 128.0f, 0.9f);
  child->SetScale(0.1f, 0.1f, 0.1f);
  globe.AddChild(child);
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(141, 141), 255, 255, 255));
  Clear();
  globe.SetVisible(0);
  globe.Render();
  EXPECT_TRUE(Is(ReadPixel(141, 141), 204, 204, 204)) << "the globe without the child";
  EXPECT_TRUE(Is(ReadPixel(kGlobeX, kGlobeY), 204, 204, 204));

  // The first step draws the globe and keeps the matrix pushed.
  globe.SetVisible(1);
  Clear();
  EXPECT_EQ(globe.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  EXPECT_TRUE(Is(ReadPixel(kGlobeX, kGlobeY), 204, 204, 204));
  globe.Invalidate();
  EXPECT_EQ(globe.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(globe.GetStage(), 0);
  Sd_GroupNode::DeleteTree(child);
}

}  // namespace
