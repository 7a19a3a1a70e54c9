// Picking with a GL context: the coordinate readout under the pointer,
// viewport bounds, depth picks, orthographic picks, split-screen stereo and
// the matrix stacks after many missed picks.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "PickFixture.h"

using orvanta_apptest::StackDepth;
using pick_test::DataX;
using pick_test::DataY;
using pick_test::kMetresPerPixel;
using pick_test::Move;
using pick_test::ParseCoords;

namespace {

class PickGL : public pick_test::PickFixture {};

// The text is exactly the two-decimal form of the numbers it shows.
void ExpectTwoDecimals(const std::string& text) {
  double x = 0, y = 0, z = 0;
  ASSERT_TRUE(ParseCoords(text, &x, &y, &z)) << text;
  char again[128];
  snprintf(again, sizeof(again), "Geo Coords (x,y,z) -> (%.2f, %.2f, %.2f)", x, y, z);
  EXPECT_EQ(text, again);
}

TEST_F(PickGL, ReadoutFollowsThePointerOverKnownGeometry) {
  Make();
  ASSERT_EQ(Sd_Node::GetCoordinateType(), 2);
  ASSERT_EQ(area->GetInteractionMode(), 0);

  struct Probe {
    int px, py;
    double z;
    int tile;
  };
  // Centre of the red tile, the green tile, the blue tile, near the top.
  const Probe probes[] = {{100, 75, -10.0, 0}, {145, 75, -20.0, 1}, {55, 40, -5.0, 2}, {110, 130, -10.0, 0}};
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.px);
    Move(area.get(), p.px, p.py);
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(ParseCoords(area->LastText(), &x, &y, &z)) << area->LastText();
    // Within a pixel and a half: heights away from the window plane are
    // drawn slightly smaller or larger.
    EXPECT_NEAR(x, DataX(p.px), 1.5 * kMetresPerPixel);
    EXPECT_NEAR(y, DataY(p.py), 1.5 * kMetresPerPixel);
    EXPECT_NEAR(z, p.z, 0.5);
    ExpectTwoDecimals(area->LastText());
    EXPECT_EQ(area->GetPickRecord()->node, TileAt(p.tile));
  }

  // Over the background the text is empty, and leaving the view empties it.
  Move(area.get(), 3, 3);
  EXPECT_EQ(area->LastText(), "");
  EXPECT_EQ(area->GetPickRecord()->found, 0);
  Move(area.get(), 100, 75);
  ASSERT_NE(area->LastText(), "");
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(area.get(), &leave);
  EXPECT_EQ(area->LastText(), "");
  ExpectBalanced();
}

TEST_F(PickGL, PixelsOutsideTheViewportAskNobody) {
  Make();
  SDN_PickOut* pick = area->GetPickRecord();
  ASSERT_EQ(area->Pick(100, 75, 0, 0, pick), 1);
  ASSERT_EQ(pick->found, 1);

  int asked = TileAt(0)->queries;
  for (const auto& xy : {std::make_pair(200, 75), std::make_pair(-1, 75), std::make_pair(100, 150),
                         std::make_pair(100, -1)}) {
    pick->found = 1;
    EXPECT_EQ(area->Pick(xy.first, xy.second, 0, 0, pick), 0);
    EXPECT_EQ(pick->found, 0);
    pick->found = 1;
    EXPECT_EQ(area->PickRefreshed(xy.first, xy.second, 0, 0, pick), 0);
    EXPECT_EQ(pick->found, 0);
  }
  EXPECT_EQ(TileAt(0)->queries, asked);
  // The last column and row are asked (the red tile is first in the tree).
  area->Pick(199, 149, 0, 0, pick);
  EXPECT_EQ(TileAt(0)->queries, asked + 1);
  EXPECT_EQ(pick->found, 0);  // background there
  // The request carries the pixel, the query kind and the action code.
  area->Pick(120, 80, 1, 3, pick);
  EXPECT_EQ(area->GetPicking().GetPickRequest()->x, 120);
  EXPECT_EQ(area->GetPicking().GetPickRequest()->y, 80);
  EXPECT_EQ(TileAt(0)->requests.back(), std::make_pair(1, 3));
  EXPECT_EQ(area->GetPicking().GetPickRequest()->picker, area->GetPicker());
}

TEST_F(PickGL, ThousandMissedPicksLeaveTheStacksBalanced) {
  Make();
  SDN_PickOut* pick = area->GetPickRecord();
  double x = 7, y = 8, z = 9;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(area->Pick(3, 3, 0, 0, pick), 0);
    ASSERT_EQ(area->PickRefreshed(3, 3, 0, 0, pick), 0);
    ASSERT_EQ(area->PickDepth(3, 3, &x, &y, &z), 0);
  }
  EXPECT_EQ(x, 7);  // a miss leaves the outputs alone
  ExpectBalanced();

  // Misses while a best pass is refining the picture (a copy of the coarse
  // frame in place, the picture itself in the front-and-back mode, where
  // they draw whole frames and ask again); every matrix pushed is popped.
  for (int i = 0; i < 40; ++i) {
    area->SetDrawBufferMode(i < 20 ? Qk_GLStepWidget::BEST_TO_FRONT : Qk_GLStepWidget::BEST_TO_BOTH);
    area->UpdateGL();
    for (int k = 0; k < 200 && !(area->IsRunning() && area->GetPass() == 1 && area->GetStepCounter() == 1); ++k) {
      area->OnIdle();
    }
    ASSERT_EQ(area->GetStepCounter(), 1);
    ASSERT_EQ(area->GetPass(), 1);
    area->makeCurrent();
    EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), restModelview + 2);
    if (i % 2) {
      EXPECT_EQ(area->PickDepth(3, 3, &x, &y, &z), 0);
    } else {
      EXPECT_EQ(area->PickRefreshed(3, 3, 0, 0, pick), 0);
    }
    EXPECT_EQ(area->GetExploreCount(), 0);
    ASSERT_TRUE(area->RunToNormal());
    ExpectBalanced();
  }
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
}

TEST_F(PickGL, PicksDuringABestPassFindWhatIsOnShow) {
  Make();
  SDN_PickOut* pick = area->GetPickRecord();
  // A pass refining the coarse frame in place leaves it to the picks; one
  // that clears the picture on show (front and back) leaves a cleared depth
  // buffer until it draws the tree: a plain pick misses, the refreshed one
  // draws a whole frame and finds the tile.
  for (const int mode : {Qk_GLStepWidget::BEST_TO_FRONT, Qk_GLStepWidget::BEST_TO_BOTH}) {
    SCOPED_TRACE("draw-buffer mode " + std::to_string(mode));
    const bool inPlace = mode == Qk_GLStepWidget::BEST_TO_FRONT;
    area->SetDrawBufferMode(mode);
    area->UpdateGL();
    for (int k = 0; k < 200 && !(area->GetPass() == 1 && area->GetStepCounter() == 1); ++k) area->OnIdle();
    ASSERT_EQ(area->GetStepCounter(), 1);
    EXPECT_EQ(area->Pick(100, 75, 0, 0, pick), inPlace ? 1 : 0);
    EXPECT_EQ(area->PickRefreshed(100, 75, 0, 0, pick), 1);
    EXPECT_NEAR(pick->x, DataX(100), 1.5 * kMetresPerPixel);
    EXPECT_EQ(area->IsRunning() && area->GetStepCounter() == 1, inPlace) << "the pass goes on";
    ASSERT_TRUE(area->RunToNormal());

    area->UpdateGL();
    for (int k = 0; k < 200 && !(area->GetPass() == 1 && area->GetStepCounter() == 1); ++k) area->OnIdle();
    double x = 0, y = 0, z = 0;
    EXPECT_EQ(area->PickDepth(100, 75, &x, &y, &z), 1);
    EXPECT_EQ(area->IsRunning() && area->GetStepCounter() == 1, inPlace) << "the pass goes on";
    ASSERT_TRUE(area->RunToNormal());
    ExpectBalanced();
  }
}

TEST_F(PickGL, DepthPicksReturnPointsInTheCameraFrame) {
  Make();
  double cx = 0, cy = 0, cz = 0;
  ASSERT_EQ(area->PickDepth(100, 75, &cx, &cy, &cz), 1);
  double ex = 0, ey = 0, ez = 0;
  ASSERT_EQ(area->PickDepth(125, 75, &ex, &ey, &ez), 1);
  double wx = 0, wy = 0, wz = 0;
  ASSERT_EQ(area->PickDepth(75, 75, &wx, &wy, &wz), 1);
  // 25 pixels of the 120 the scene spans, on the red tile: the scene is
  // global scale times the root's x scale wide in this frame.
  const double width = area->GetGlobalScale() * *area->GetRoot()->GetScale('x');
  EXPECT_NEAR(ex - cx, 25.0 / 120.0 * width, width / 120.0);
  EXPECT_NEAR(cx - wx, 25.0 / 120.0 * width, width / 120.0);
  EXPECT_NEAR(ey, cy, width / 120.0);
  EXPECT_NEAR(cx, 0.5 / 120.0 * width, width / 120.0);
  EXPECT_NEAR(cz, ez, 1e-3 * width);  // a flat tile
  EXPECT_NEAR(cz, wz, 1e-3 * width);
  // The green tile lies lower.
  double gx = 0, gy = 0, gz = 0;
  ASSERT_EQ(area->PickDepth(145, 75, &gx, &gy, &gz), 1);
  EXPECT_LT(gz, cz - 1.0);

  // The search covers 4 pixels around the pixel: the red tile's last row
  // (134) is found from 4 rows above it, not from 5.
  EXPECT_EQ(area->PickDepth(100, 138, &cx, &cy, &cz), 1);
  EXPECT_EQ(area->PickDepth(100, 139, &cx, &cy, &cz), 0);
  EXPECT_EQ(area->PickDepth(3, 3, &cx, &cy, &cz), 0);
  ExpectBalanced();
}

TEST_F(PickGL, OrthographicViewsPickTheSceneSquare) {
  Make();
  area->SetOrthographic(1);
  area->UpdateGL();
  ASSERT_TRUE(area->WaitForNormal());
  for (int i = 0; i < 3; ++i) TileAt(i)->answer = false;

  SDN_PickOut* pick = area->GetPickRecord();
  pick->node = TileAt(0);
  ASSERT_EQ(area->Pick(100, 75, 0, 0, pick), 1);
  EXPECT_EQ(pick->found, 1);
  EXPECT_EQ(pick->z, 1e12);
  EXPECT_EQ(pick->node, nullptr);
  EXPECT_NEAR(pick->x, 500500.0, 2 * kMetresPerPixel);
  EXPECT_NEAR(pick->y, 6000500.0, 2 * kMetresPerPixel);
  area->ShowPickText(pick);
  double x = 0, y = 0;
  ASSERT_EQ(sscanf(area->LastText().c_str(), "Geo Coords (x,y) -> (%lf, %lf)", &x, &y), 2) << area->LastText();
  // Outside the square nothing is found.
  EXPECT_EQ(area->Pick(3, 3, 0, 0, pick), 0);
  EXPECT_EQ(pick->found, 0);

  // Answering objects come first.
  TileAt(0)->answer = true;
  ASSERT_EQ(area->Pick(100, 75, 0, 0, pick), 1);
  EXPECT_EQ(pick->node, TileAt(0));
  EXPECT_NEAR(pick->z, -10.0, 0.5);
  ExpectBalanced();
}

TEST_F(PickGL, SplitScreenPicksTheLeftHalfOnly) {
  // In the window plane the scene shows at the same place to both eyes.
  Make(400, 150, QK_STEREO_SPLIT_SCREEN);
  area->SetStereoView(1);
  ASSERT_TRUE(area->WaitForNormal());
  ASSERT_EQ(area->GetViewportWidth(), 200);
  SDN_PickOut* pick = area->GetPickRecord();
  ASSERT_EQ(area->Pick(100, 75, 0, 0, pick), 1);
  EXPECT_GE(pick->x, 500000.0);
  EXPECT_LE(pick->x, 501000.0);
  EXPECT_GE(pick->y, 6000000.0);
  EXPECT_LE(pick->y, 6001000.0);
  EXPECT_EQ(area->GetPicker()->GetWidth(), 200.0f);
  const int asked = TileAt(0)->queries;
  EXPECT_EQ(area->Pick(300, 75, 0, 0, pick), 0);
  EXPECT_EQ(TileAt(0)->queries, asked);
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(area->PickDepth(100, 75, &x, &y, &z), 1);
  ExpectBalanced();
  // The frames' viewport (the left half) is left as it was.
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 200);
}

}  // namespace
