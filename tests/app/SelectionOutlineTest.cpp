// Selection outlines with a GL context: XOR drawing that a second drawing
// undoes exactly, outlines over the background after a best pass, outlines
// following the interaction mode, the point slots and selections ending
// with the scene.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PickFixture.h"

using orvanta_apptest::Rgb;
using pick_test::Click;
using pick_test::Differences;
using pick_test::IsBlack;
using pick_test::IsWhite;
using pick_test::Move;
using pick_test::Press;

namespace {

class OutlineGL : public pick_test::PickFixture {
 protected:
  // Whether any of the rows y - 1 ... y + 1 of column x is white (a two
  // pixel wide line drawn with XOR over black).
  bool WhiteNear(int x, int y) {
    for (int dy = -1; dy <= 1; ++dy) {
      if (IsWhite(PixelAt(x, y + dy))) return true;
    }
    return false;
  }

  // A second AfterPass undoes the first one exactly, and the first one
  // changed the picture.
  void ExpectXorPair() {
    const std::vector<unsigned char> shown = Grab();
    area->AfterPass();
    const std::vector<unsigned char> erased = Grab();
    area->AfterPass();
    const std::vector<unsigned char> again = Grab();
    EXPECT_GT(Differences(shown, erased), 20);
    EXPECT_EQ(Differences(shown, again), 0);
  }
};

TEST_F(OutlineGL, PointMarkerDrawnTwiceRestoresThePicture) {
  Make();
  area->SetInteractionMode(1);
  const std::vector<unsigned char> bare = Grab();
  // A point on the green tile near its east edge: the marker's right arm
  // (75 pixels) reaches over the background.
  Click(area.get(), 150, 75);
  ASSERT_EQ(area->GetSelection().GetPointSelected(), 1);
  EXPECT_TRUE(WhiteNear(180, 75));
  // The outline is no scene geometry: depth picks see through it.
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(area->PickDepth(180, 75, &x, &y, &z), 0);
  ExpectXorPair();
  // Erasing gives back the picture without a selection.
  area->AfterPass();
  EXPECT_EQ(Differences(bare, Grab()), 0);
  area->AfterPass();
  ExpectBalanced();
}

TEST_F(OutlineGL, OutlineOverTheBackgroundSurvivesARedraw) {
  Make();
  area->SetInteractionMode(1);
  Click(area.get(), 150, 75);
  const std::vector<unsigned char> shown = Grab();
  // A new coarse frame and best pass show the same picture, outline over
  // the background included.
  area->UpdateGL();
  ASSERT_TRUE(area->WaitForNormal());
  EXPECT_TRUE(WhiteNear(180, 75));
  EXPECT_EQ(Differences(shown, Grab()), 0);
  ExpectBalanced();
}

TEST_F(OutlineGL, PolygonAndRectangleDrawnTwiceRestoreThePicture) {
  Make();
  area->SetInteractionMode(2);
  Click(area.get(), 80, 40);
  Click(area.get(), 120, 40);
  Click(area.get(), 120, 110);
  ASSERT_EQ(area->GetSelection().GetPolygonSize(), 3);
  Move(area.get(), 90, 100);  // the rubber band follows
  ExpectXorPair();

  area->SetInteractionMode(4);
  Press(area.get(), 60, 30);
  Move(area.get(), 140, 120, Qt::LeftButton);
  ASSERT_EQ(area->GetSelection().GetRectangleActive(), 1);
  ExpectXorPair();
  ExpectBalanced();
}

TEST_F(OutlineGL, ModeChangesKeepTheOutlineConsistent) {
  Make();
  const std::vector<unsigned char> bare = Grab();
  area->SetInteractionMode(1);
  Click(area.get(), 150, 75);
  const std::vector<unsigned char> marked = Grab();
  ASSERT_GT(Differences(bare, marked), 20);
  // Mode 0 keeps the outline of the last mode (1); mode 2 without a
  // polygon shows none; back in mode 1 the marker returns.
  area->SetInteractionMode(0);
  EXPECT_EQ(Differences(marked, Grab()), 0);
  area->SetInteractionMode(2);
  EXPECT_EQ(Differences(bare, Grab()), 0);
  area->SetInteractionMode(1);
  EXPECT_EQ(Differences(marked, Grab()), 0);
  ExpectBalanced();
}

TEST_F(OutlineGL, SplitScreenOutlinesPairUp) {
  Make(400, 150, QK_STEREO_SPLIT_SCREEN);
  area->SetStereoView(1);
  ASSERT_TRUE(area->WaitForNormal());
  area->SetInteractionMode(1);
  Click(area.get(), 100, 75);
  ASSERT_EQ(area->GetSelection().GetPointSelected(), 1);
  ExpectXorPair();
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[2], 200);
  ExpectBalanced();
}

TEST_F(OutlineGL, SelectedPointFromOutsideHasAMarkerAndAText) {
  Make();
  area->SetInteractionMode(1);
  SDN_PickOut* pick = area->GetPickRecord();
  ASSERT_EQ(area->Pick(100, 75, 0, 0, pick), 1);  // the record's found flag is kept
  SVdouble pt[3] = {500500.0, 6000500.0, -10.0};
  area->SelectPointSL(pt);
  EXPECT_EQ(area->LastText(), "Geo Coords (x,y,z) -> (500500.00, 6000500.00, -10.00)");
  ASSERT_EQ(area->picked.size(), 1u);
  EXPECT_EQ(area->picked[0].node, nullptr);
  EXPECT_EQ(area->picked[0].x, 500500.0);
  EXPECT_EQ(area->GetSelection().GetSelectedNode(), nullptr);
  double qx = 0, qy = 0, qz = 0;
  Sd_Node::GetQueryPoint(&qx, &qy, &qz);
  EXPECT_EQ(qy, 6000500.0);

  // The redraw draws the marker in the scene's frame at the scene's centre:
  // its arm 20 pixels right of the centre lies over the red tile (red XOR
  // white).
  ASSERT_TRUE(area->WaitForNormal());
  bool cyan = false;
  for (int dy = -1; dy <= 1; ++dy) {
    const Rgb p = PixelAt(120, 75 + dy);
    if (p.r == 0 && p.g == 255 && p.b == 255) cyan = true;
  }
  EXPECT_TRUE(cyan);
  ExpectBalanced();
}

TEST_F(OutlineGL, ReloadingEndsEverySelection) {
  Make();
  area->SetInteractionMode(1);
  Click(area.get(), 100, 75);
  ASSERT_EQ(area->GetSelection().GetSelectedNode(), TileAt(0));
  area->SetInteractionMode(2);
  Click(area.get(), 80, 40);
  Click(area.get(), 120, 40);
  area->SetInteractionMode(4);
  Press(area.get(), 60, 30);
  ASSERT_NE(area->GetMouseTools().GetDragNode(), nullptr);

  ASSERT_EQ(area->LoadSD(scene.c_str(), 1, 0, 0), 0);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);
  EXPECT_EQ(area->GetSelection().GetSelectedNode(), nullptr);
  EXPECT_EQ(area->GetSelection().GetPolygonHead(), nullptr);
  EXPECT_EQ(area->GetSelection().GetPolygonActive(), 0);
  EXPECT_EQ(area->GetSelection().GetMovingNode(), nullptr);
  EXPECT_EQ(area->GetMouseTools().GetDragNode(), nullptr);
  EXPECT_EQ(area->GetSelection().GetRectangleActive(), 0);
  EXPECT_EQ(area->GetPickRecord()->node, nullptr);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();
}

}  // namespace
