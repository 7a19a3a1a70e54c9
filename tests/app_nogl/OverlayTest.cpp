// The overlay interface: placement (fixed, node and chase modes), scene
// context, and the work area's install, swap and delete protocol.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "../app/WorkAreaTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sv_Matrix4.h"

using workarea_test::RecordingArea;
using workarea_test::TestOverlay;
using workarea_test::TileObject;

namespace {

void ExpectPoint(const double* p, double x, double y, double z) {
  EXPECT_NEAR(p[0], x, 1e-9);
  EXPECT_NEAR(p[1], y, 1e-9);
  EXPECT_NEAR(p[2], z, 1e-9);
}

TEST(OverlayPlacement, FixedPointsAndNodeCentres) {
  Qk_GLOverlay overlay;
  TileObject node;
  node.Set(0, 10, 20, 40, -4, 0, 0, 0, 0);

  Qk_OverlayPlacement eye = {0, 0, Qk_GLOverlay::PLACE_POINT, 1.0, 2.0, 3.0, nullptr};
  Qk_OverlayPlacement target = {0, 1, Qk_GLOverlay::PLACE_NODE, 0.0, 0.0, 0.0, &node};
  overlay.SetPlacement(&eye);
  overlay.SetPlacement(&target);
  EXPECT_EQ(overlay.GetTargetNode(), &node);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 1.0, 2.0, 3.0);
  ExpectPoint(overlay.GetTargetPosition(), 5.0, 30.0, -2.0);

  // The eye from a node, the target from a fixed point.
  eye = {0, 0, Qk_GLOverlay::PLACE_NODE, 0.0, 0.0, 0.0, &node};
  target = {0, 7, Qk_GLOverlay::PLACE_POINT, -1.0, -2.0, -3.0, nullptr};
  overlay.SetPlacement(&eye);
  overlay.SetPlacement(&target);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 5.0, 30.0, -2.0);
  ExpectPoint(overlay.GetTargetPosition(), -1.0, -2.0, -3.0);

  // Node modes without their node, and unknown modes, keep the positions of
  // the last update.
  overlay.ForgetSceneNodes();
  overlay.SetTargetMode(Qk_GLOverlay::PLACE_CHASE);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 5.0, 30.0, -2.0);
  ExpectPoint(overlay.GetTargetPosition(), -1.0, -2.0, -3.0);
  overlay.SetEyeMode(9);
  overlay.SetTargetMode(9);
  overlay.SetEyePoint(7, 7, 7);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 5.0, 30.0, -2.0);
}

TEST(OverlayPlacement, ChaseFollowsTheNodesHeading) {
  Qk_GLOverlay overlay;
  TileObject ship;
  overlay.SetEyeMode(Qk_GLOverlay::PLACE_POINT);
  overlay.SetEyePoint(10.0, 20.0, 30.0);
  Qk_OverlayPlacement chase = {0, 1, Qk_GLOverlay::PLACE_CHASE, 0.0, 0.0, 0.0, &ship};
  overlay.SetPlacement(&chase);
  EXPECT_EQ(overlay.GetChaseNode(), &ship);
  EXPECT_EQ(overlay.GetTargetNode(), nullptr);
  overlay.SetChaseBack(4.0);
  overlay.SetChaseUp(2.0);

  // No rotation: forward (0, 0, 1), up (0, 1, 0).
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 10.0, 22.0, 26.0);
  ExpectPoint(overlay.GetTargetPosition(), 10.0, 22.0, 126.0);

  // 90 degrees about y: forward (-1, 0, 0); up unchanged.
  ship.SetRotation(0.0f, 90.0f, 0.0f);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 14.0, 22.0, 30.0);
  ExpectPoint(overlay.GetTargetPosition(), -86.0, 22.0, 30.0);

  // 90 degrees about x: forward (0, 1, 0), up (0, 0, -1).
  ship.SetRotation(90.0f, 0.0f, 0.0f);
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 10.0, 16.0, 28.0);
  ExpectPoint(overlay.GetTargetPosition(), 10.0, 116.0, 28.0);

  // Without a fixed eye the chase offset accumulates on the last eye.
  overlay.SetEyeMode(Qk_GLOverlay::PLACE_NONE);
  ship.SetRotation(0.0f, 0.0f, 0.0f);
  overlay.UpdatePlacement();
  overlay.UpdatePlacement();
  ExpectPoint(overlay.GetEyePosition(), 10.0, 20.0, 20.0);
}

TEST(OverlayBase, HarmlessDefaults) {
  Qk_GLOverlay overlay;
  Qk_GLEventRecord event = {};
  EXPECT_EQ(overlay.Reset(), 1);
  EXPECT_EQ(overlay.MousePress(&event), 0);
  EXPECT_EQ(overlay.MouseMove(&event), 0);
  EXPECT_EQ(overlay.MouseRelease(&event), 0);
  EXPECT_EQ(overlay.MouseDoubleClick(&event), 0);
  double x = 5, y = 5, z = 5;
  EXPECT_EQ(overlay.PickWidget(1, 1, &x, &y, &z), 0);
  EXPECT_DOUBLE_EQ(overlay.ApplyWidgetFrame(), 1.0);
  // Without a context the view matrix is the identity.
  const Sv_Matrix4 m = overlay.GetViewMatrix();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(m.Get(r, c), r == c ? 1.0f : 0.0f);
  }
  EXPECT_EQ(overlay.GetWorkArea(), nullptr);
  EXPECT_EQ(overlay.GetRoot(), nullptr);
}

TEST(OverlayInstall, InstallSwapAndDelete) {
  int deaths = 0;
  auto area = std::make_unique<RecordingArea>();
  Qk_GLOverlay* plain = area->GetOverlay();
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->GetWorkArea(), area.get());
  EXPECT_EQ(plain->GetViewMatrixPointer(), nullptr);  // no context handed yet
  area->SetPlacement(nullptr);

  // First install: the camera is reset; the plain overlay is displaced.
  TestOverlay* a = new TestOverlay(&deaths);
  EXPECT_EQ(area->InstallOverlay(a), 0);
  EXPECT_EQ(area->GetOverlay(), a);
  EXPECT_EQ(area->GetDisplacedOverlay(), plain);
  EXPECT_EQ(a->GetWorkArea(), area.get());
  EXPECT_EQ(a->GetViewMatrixPointer(), area->GetViewMatrix());
  EXPECT_EQ(a->starts, 1);
  EXPECT_EQ(a->inits, 1);
  EXPECT_EQ(a->font, Sd_Node::GetFont());
  EXPECT_EQ(a->resets, 1);
  EXPECT_EQ(a->viewMatrixSets, 0);

  // Later installs continue from the view matrix; the plain one goes.
  TestOverlay* b = new TestOverlay(&deaths);
  area->InstallOverlay(b);
  EXPECT_EQ(b->resets, 0);
  EXPECT_EQ(b->viewMatrixSets, 1);
  EXPECT_EQ(b->lastViewMatrix, area->GetViewMatrix());
  EXPECT_EQ(a->stops, 1);
  EXPECT_EQ(area->GetDisplacedOverlay(), a);
  EXPECT_EQ(deaths, 0);

  // Reinstalling the displaced overlay swaps the two, deleting nothing.
  area->InstallOverlay(a);
  EXPECT_EQ(area->GetOverlay(), a);
  EXPECT_EQ(area->GetDisplacedOverlay(), b);
  EXPECT_EQ(a->starts, 2);
  EXPECT_EQ(a->viewMatrixSets, 1);
  EXPECT_EQ(b->stops, 1);
  EXPECT_EQ(deaths, 0);

  // Installing the current overlay again changes nothing.
  area->InstallOverlay(a);
  EXPECT_EQ(area->GetOverlay(), a);
  EXPECT_EQ(area->GetDisplacedOverlay(), b);
  EXPECT_EQ(a->stops, 1);
  EXPECT_EQ(a->starts, 2);
  EXPECT_EQ(area->InstallOverlay(nullptr), -1);
  EXPECT_EQ(area->GetOverlay(), a);

  // A third overlay deletes the one displaced before.
  TestOverlay* c = new TestOverlay(&deaths);
  area->InstallOverlay(c);
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(area->GetDisplacedOverlay(), a);

  // Input reaches the current overlay.
  Qk_GLEventRecord event = {};
  area->Wheel(&event);
  area->KeyPress(&event);
  area->MousePress(&event);
  EXPECT_EQ(c->wheels, 1);
  EXPECT_EQ(c->keys, 1);
  EXPECT_EQ(c->presses, 1);
  EXPECT_EQ(a->wheels, 0);
  area->OnIdle();
  EXPECT_EQ(c->idleSteps, 1);
  area->GetOverlays().SetOverlayIdle(0);
  area->OnIdle();
  EXPECT_EQ(c->idleSteps, 1);
  area->ResetCamera();
  EXPECT_EQ(c->resets, 1);

  // The work area owns both overlays it holds.
  area.reset();
  EXPECT_EQ(deaths, 3);
}

TEST(OverlayInstall, EnterLeaveAndInteractionModes) {
  RecordingArea area;
  struct Counting : TestOverlay {
    void Enter() override { ++enters; }
    void Leave() override { ++leaves; }
    int enters = 0, leaves = 0;
  };
  Counting* overlay = new Counting();
  area.InstallOverlay(overlay);
  area.Enter();
  area.Leave();
  EXPECT_EQ(overlay->enters, 1);
  EXPECT_EQ(overlay->leaves, 1);

  EXPECT_EQ(area.GetInteractionMode(), 0);
  area.SetInteractionMode(2);
  area.SetInteractionMode(0);
  EXPECT_EQ(area.GetInteractionMode(), 0);
  EXPECT_EQ(area.GetMouseTools().GetLastInteractionMode(), 2);  // only a non-zero mode is remembered
  area.SetLastInteractionMode(4);
  EXPECT_EQ(area.GetMouseTools().GetLastInteractionMode(), 4);
}

TEST(OverlayInstall, BothOverlaysFollowTheRoot) {
  workarea_test::TileClasses classes;
  RecordingArea area;
  TestOverlay* a = new TestOverlay();
  TestOverlay* b = new TestOverlay();
  area.InstallOverlay(a);
  area.InstallOverlay(b);
  area.SetScene(new Sd_AlignmentNode(), nullptr);
  EXPECT_EQ(b->GetRoot(), area.GetRoot());
  // The displaced overlay never keeps a released root.
  EXPECT_EQ(a->GetRoot(), area.GetRoot());
  area.ClearScene();
  EXPECT_EQ(a->GetRoot(), area.GetRoot());
  EXPECT_EQ(b->GetRoot(), area.GetRoot());
}

}  // namespace
