// Drawing and picking of the ship node: its four-coloured markers seen
// through small orthographic windows around them (the markers are a few
// ten-thousandths of the box), the animated track and the progressive pass.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>

#include "LitUnitView.h"
#include "Sd_ShipParent.h"

namespace {

// A leaf that answers every pick and notes the x translation it is asked in.
class PickProbe : public Sd_Node {
 public:
  int QueryPoint(SDN_PickIn*, SDN_PickOut*) override {
    ++queries;
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    translateX = m[12];
    return 1;
  }
  int queries = 0;
  float translateX = 0.0f;
};

// A leaf that draws nothing and finishes its pass in one step.
class Quiet : public Sd_Node {
 public:
  void Render() override {}
  int StepRender() override { return 1; }
};

// The markers are unlit; the view is set anew by each test.
class ShipTest : public orvanta_test::LitUnitViewTest {
 protected:
  // The window x0 ... x1, y0 ... y1 of the box across the framebuffer.
  static void View(double x0, double x1, double y0, double y1) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(x0, x1, y0, y1, -2, 2);
    glMatrixMode(GL_MODELVIEW);
  }
  // A square window of half-width half around (x, y).
  static void Around(double x, double y, double half) { View(x - half, x + half, y - half, y + half); }

  // The four faces seen from above, dx and dy pixels from the apex at the
  // framebuffer's centre: blue west, green north, red east, yellow south.
  static void ExpectFaces(int dx, int dy) {
    EXPECT_TRUE(Is(ReadPixel(128 - dx, 128), 0, 0, 204)) << "west face blue";
    EXPECT_TRUE(Is(ReadPixel(128, 128 + dy), 0, 204, 0)) << "north face green";
    EXPECT_TRUE(Is(ReadPixel(128 + dx, 128), 204, 0, 0)) << "east face red";
    EXPECT_TRUE(Is(ReadPixel(128, 128 - dy), 204, 204, 0)) << "south face yellow";
  }
};

TEST_F(ShipTest, TrackAndSonobuoyMarkersShowTheirFourFacesAlsoWhenHidden) {
  Sd_ShipParent ship;
  ship.SetBounds(0, 0, 100);
  ship.SetBounds(1, 0, 100);
  ship.SetBounds(2, -100, 0);
  const float value = 1.0f, xy[] = {50, 50}, buoy[] = {75, 25, -50};
  ship.SetTrack(&value, xy, 1);
  ship.SetSonobuoys(buoy, 1);
  ship.SetShowTrack(1.0f);
  ship.SetVisible(0);
  // The track marker at the box's centre, 0.0004 wide: 102 pixels here.
  Around(0.0, 0.0, 0.0005);
  ship.Render();
  ExpectFaces(30, 30);
  // Its apex at height 0.1 of the box.
  EXPECT_NEAR(ReadDepth(128, 128), 0.5f - 0.1f / 4.0f, 0.001f);
  // The sonobuoy marker at (0.25, -0.25, 0): 0.00075 by 0.002, 64 by 171
  // pixels here.
  Clear();
  Around(0.25, -0.25, 0.0015);
  ship.Render();
  ExpectFaces(16, 50);
  // Without the two flags there are no markers.
  Clear();
  ship.SetShowTrack(0.0f);
  ship.SetShowSonobuoys(0);
  ship.Render();
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(ShipTest, RenderMovesTheAnimatedWindowAndThePassDrawsTheWholeTrack) {
  Sd_ShipParent ship;
  ship.SetBounds(0, 0, 10000);
  ship.SetBounds(1, 0, 10000);
  // Five points 0.001 apart along x from the centre: in this window their
  // markers lie at pixels 43, 85, 128, 171 and 213 of row 128.
  float values[5], xy[10];
  for (int k = 0; k < 5; ++k) {
    values[k] = 0.0f;
    xy[2 * k] = 5000.0f + 10.0f * k;
    xy[2 * k + 1] = 5000.0f;
  }
  ship.SetTrack(values, xy, 5);
  ship.SetShowTrack(1.0f);
  ship.SetShowSonobuoys(0);
  ship.SetAnimate(1);
  ship.SetAnimationWindow(1);
  ship.AddChild(new Quiet());
  View(-0.001, 0.005, -0.003, 0.003);
  const int at[5] = {43, 85, 128, 171, 213};
  auto drawn = [&](int k) { return Brightness(at[k] - 3, 128) > 0; };

  ship.Render();
  EXPECT_TRUE(drawn(0) && drawn(1));
  EXPECT_FALSE(drawn(2) || drawn(3) || drawn(4));
  Clear();
  ship.Render();
  EXPECT_FALSE(drawn(0));
  EXPECT_TRUE(drawn(1) && drawn(2));
  EXPECT_EQ(ship.GetAnimationPosition(), 2);

  // The progressive pass draws every point and leaves the window alone;
  // its first step keeps the matrix pushed until the pass ends.
  Clear();
  EXPECT_EQ(ship.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(drawn(k)) << k;
  int calls = 1;
  while (ship.StepRender() != 1 && calls < 10) ++calls;
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(ship.GetAnimationPosition(), 2);

  // An abandoned pass undoes its push.
  EXPECT_EQ(ship.StepRender(), 0);
  ship.Invalidate();
  EXPECT_EQ(ship.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(ship.GetStage(), 0);
  Sd_GroupNode::DeleteTree(ship.GetFirstChild());
}

TEST_F(ShipTest, PickReachesEveryVisibleChildAndTheShipReportsNoHit) {
  Sd_ShipParent ship;
  ship.SetPosition(0.25f, 0.0f, 0.0f);
  PickProbe* first = new PickProbe();
  PickProbe* second = new PickProbe();
  PickProbe* hidden = new PickProbe();
  hidden->SetVisible(0);
  ship.AddChild(first);
  ship.AddChild(hidden);
  ship.AddChild(second);
  SDN_PickIn in = {nullptr, 128, 128, 1, 1};
  SDN_PickOut out = {0, 0, 0, -1e20, -1, nullptr, 0, 0};
  EXPECT_EQ(ship.QueryPoint(&in, &out), 0);
  EXPECT_EQ(first->queries, 1);
  EXPECT_EQ(second->queries, 1) << "asked although the first child answered";
  EXPECT_EQ(hidden->queries, 0);
  EXPECT_FLOAT_EQ(second->translateX, 0.25f) << "in the ship's frame";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  // A hidden ship asks none of its children.
  ship.SetVisible(0);
  EXPECT_EQ(ship.QueryPoint(&in, &out), 0);
  EXPECT_EQ(first->queries, 1);
  for (Sd_Node* c : {static_cast<Sd_Node*>(first), static_cast<Sd_Node*>(second), static_cast<Sd_Node*>(hidden)}) {
    Sd_GroupNode::DeleteTree(c);
  }
}

}  // namespace
