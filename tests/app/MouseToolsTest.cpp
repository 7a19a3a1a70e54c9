// The mouse tools of the interaction modes, driven with Qt mouse events on a
// shown work area: point selection and object drag (1), polygon selection
// (2), extraction rectangle (4), the right-button profile line, and events
// that the overlay consumes.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "PickFixture.h"

using pick_test::Click;
using pick_test::DataX;
using pick_test::DataY;
using pick_test::DoubleClick;
using pick_test::kMetresPerPixel;
using pick_test::Move;
using pick_test::Press;
using pick_test::Release;

namespace {

class MouseGL : public pick_test::PickFixture {
 protected:
  // The (query kind, action code) pairs the red tile saw since the mark.
  std::vector<std::pair<int, int>> RedRequestsSince(size_t mark) {
    const auto& all = TileAt(0)->requests;
    return std::vector<std::pair<int, int>>(all.begin() + static_cast<long>(mark), all.end());
  }
  bool Saw(const std::vector<std::pair<int, int>>& requests, int kind, int action) {
    for (const auto& r : requests) {
      if (r.first == kind && r.second == action) return true;
    }
    return false;
  }
};

TEST_F(MouseGL, ModeOneClickSelectsThePoint) {
  Make();
  area->SetInteractionMode(1);
  const size_t mark = TileAt(0)->requests.size();
  Click(area.get(), 100, 75);
  EXPECT_TRUE(Saw(RedRequestsSince(mark), 1, 1));  // release
  EXPECT_FALSE(Saw(RedRequestsSince(mark), 1, 4));  // no drag to end
  ASSERT_EQ(area->GetSelection().GetPointSelected(), 1);
  EXPECT_EQ(area->GetSelection().GetSelectedNode(), TileAt(0));
  int count = 0;
  const double* p = area->GetSelectedPoints(&count);
  EXPECT_EQ(count, 1);
  EXPECT_NEAR(p[0], DataX(100), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(p[2], -10.0, 0.5);
  double qx = 0, qy = 0, qz = 0;
  Sd_Node::GetQueryPoint(&qx, &qy, &qz);
  EXPECT_EQ(qx, p[0]);
  ASSERT_EQ(area->picked.size(), 1u);
  EXPECT_EQ(area->picked[0].node, TileAt(0));
  EXPECT_EQ(area->picked[0].found, 1);
  EXPECT_EQ(area->LastText().rfind("Geo Coords (x,y,z) -> (", 0), 0u);

  // A release outside the view picks nothing and keeps the selection.
  Press(area.get(), 100, 75);
  Release(area.get(), -5, 75);
  EXPECT_EQ(area->GetPickRecord()->found, 0);
  EXPECT_EQ(area->picked.size(), 1u);
  EXPECT_EQ(area->GetSelection().GetSelectedNode(), TileAt(0));
  ExpectBalanced();
}

TEST_F(MouseGL, ModeOneDragStartsBeyondFourPixels) {
  Make();
  area->SetInteractionMode(1);
  const size_t mark = TileAt(0)->requests.size();
  Press(area.get(), 100, 75);
  Move(area.get(), 104, 79, Qt::LeftButton);
  EXPECT_EQ(area->GetMouseTools().GetDragStarted(), 0);
  EXPECT_FALSE(Saw(RedRequestsSince(mark), 1, 3));
  Move(area.get(), 105, 75, Qt::LeftButton);
  EXPECT_EQ(area->GetMouseTools().GetDragStarted(), 1);
  EXPECT_EQ(area->GetMouseTools().GetDragNode(), TileAt(0));
  EXPECT_TRUE(Saw(RedRequestsSince(mark), 1, 3));  // drag start at the press

  const size_t moved = TileAt(0)->requests.size();
  Move(area.get(), 110, 80, Qt::LeftButton);
  EXPECT_TRUE(Saw(RedRequestsSince(moved), 1, 2));  // drag to
  // Over another object the drag does not follow.
  const size_t away = TileAt(0)->requests.size();
  Move(area.get(), 150, 80, Qt::LeftButton);
  EXPECT_FALSE(Saw(RedRequestsSince(away), 1, 2));

  const size_t released = TileAt(0)->requests.size();
  Release(area.get(), 110, 80);
  EXPECT_TRUE(Saw(RedRequestsSince(released), 1, 1));
  EXPECT_TRUE(Saw(RedRequestsSince(released), 1, 4));  // drag end
  EXPECT_EQ(area->GetMouseTools().GetDragStarted(), 0);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);  // a drag selects nothing
  EXPECT_TRUE(area->picked.empty());
}

TEST_F(MouseGL, ModeTwoBuildsAndClosesPolygons) {
  Make();
  area->SetInteractionMode(2);
  Click(area.get(), 80, 40);
  EXPECT_EQ(area->GetSelection().GetPolygonActive(), 1);
  Click(area.get(), 80, 40);  // the same point again adds nothing
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 1);
  Click(area.get(), 120, 40);
  Click(area.get(), 120, 110);
  ASSERT_EQ(area->GetSelection().GetPolygonSize(), 3);
  // Newest first, doubly linked.
  Qk_PolygonVertex* head = area->GetSelection().GetPolygonHead();
  EXPECT_NEAR(head->y, DataY(110), 1.5 * kMetresPerPixel);
  EXPECT_EQ(head->node, TileAt(0));
  EXPECT_EQ(head->previous, nullptr);
  EXPECT_EQ(head->next->previous, head);

  // The rubber band follows the pointer over the scene and returns to the
  // newest vertex over the background.
  Move(area.get(), 140, 60);
  EXPECT_NEAR(area->GetSelection().GetMovingPoint()[0], DataX(140), 1.5 * kMetresPerPixel);
  EXPECT_EQ(area->GetSelection().GetMovingNode(), TileAt(1));
  Move(area.get(), 3, 3);
  EXPECT_EQ(area->GetSelection().GetMovingPoint()[0], head->x);
  EXPECT_EQ(area->GetSelection().GetMovingNode(), head->node);

  // Double click, then its release: closed, three vertices kept.
  DoubleClick(area.get(), 120, 110);
  EXPECT_EQ(area->GetSelection().GetFinishRequest(), 1);
  Release(area.get(), 120, 110);
  EXPECT_EQ(area->GetSelection().GetPolygonActive(), 0);
  EXPECT_EQ(area->GetSelection().GetPolygonClosed(), 1);
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 3);
  Qk_PolygonVertex* out = nullptr;
  int closed = -1;
  EXPECT_EQ(area->GetPolygon(&out, &closed), 1);
  EXPECT_EQ(out, area->GetSelection().GetPolygonHead());
  EXPECT_EQ(closed, 1);
  area->SetInteractionMode(0);
  EXPECT_EQ(area->GetPolygon(&out, &closed), -1);

  // A new click starts a new polygon; two vertices finish open.
  area->SetInteractionMode(2);
  Click(area.get(), 60, 60);
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 1);
  Click(area.get(), 90, 60);
  DoubleClick(area.get(), 90, 60);
  Release(area.get(), 90, 60);
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 2);
  EXPECT_EQ(area->GetSelection().GetPolygonClosed(), 0);
  EXPECT_EQ(area->GetSelection().GetPolygonActive(), 0);

  area->ClearPolygonSelectionSL();
  EXPECT_EQ(area->GetPolygon(&out, &closed), 0);
  EXPECT_EQ(out, nullptr);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();
}

TEST_F(MouseGL, ModeFourDrawsTheRectangleAndExtracts) {
  Make();
  area->SetInteractionMode(4);
  // A right click without a rectangle asks for an area around the point.
  Click(area.get(), 100, 75, Qt::RightButton);
  ASSERT_EQ(area->centres.size(), 1u);
  EXPECT_NEAR(area->centres[0][0], DataX(100), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(area->centres[0][1], DataY(75), 1.5 * kMetresPerPixel);
  EXPECT_EQ(area->extractions, 0);

  const size_t mark = TileAt(0)->requests.size();
  Press(area.get(), 80, 40);
  EXPECT_TRUE(Saw(RedRequestsSince(mark), 0, 2));
  EXPECT_EQ(area->GetSelection().GetRectangleActive(), 1);
  EXPECT_EQ(area->GetMouseTools().GetDragNode(), area->GetRoot()->GetFirstChild());
  Move(area.get(), 120, 110, Qt::LeftButton);
  Release(area.get(), 120, 110);
  double r[4];
  area->GetSelection().GetRectangle(r);
  EXPECT_NEAR(r[0], DataX(80), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(r[1], DataX(120), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(r[2], DataY(40), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(r[3], DataY(110), 1.5 * kMetresPerPixel);
  EXPECT_EQ(area->LastText().rfind("Geo Coords (x,y,z) -> (", 0), 0u);

  // The right button extracts; a right drag defines no profile here.
  Press(area.get(), 60, 75, Qt::RightButton);
  Move(area.get(), 140, 75, Qt::RightButton);
  Release(area.get(), 140, 75, Qt::RightButton);
  EXPECT_EQ(area->extractions, 1);
  EXPECT_EQ(area->centres.size(), 1u);
  EXPECT_TRUE(area->profiles.empty());
  EXPECT_EQ(area->GetMouseTools().GetProfileActive(), 0);
  ExpectBalanced();
}

TEST_F(MouseGL, RightDragDefinesTheProfileLine) {
  Make();
  // Too short: 9 pixels (|dx| + |dy|), nothing at all.
  Press(area.get(), 100, 75, Qt::RightButton);
  Release(area.get(), 105, 79, Qt::RightButton);
  EXPECT_TRUE(area->profiles.empty());
  EXPECT_EQ(area->profileFailures, 0);

  Press(area.get(), 60, 75, Qt::RightButton);
  Move(area.get(), 140, 80, Qt::RightButton);
  EXPECT_EQ(area->profiles.size(), 1u);
  Release(area.get(), 140, 80, Qt::RightButton);
  ASSERT_EQ(area->profiles.size(), 2u);
  const std::vector<double>& p = area->profiles.back();
  EXPECT_NEAR(p[0], DataX(60), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(p[1], DataY(75), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(p[2], DataX(140), 1.5 * kMetresPerPixel);
  EXPECT_NEAR(p[3], DataY(80), 1.5 * kMetresPerPixel);
  double a[2] = {0, 0}, b[2] = {0, 0};
  EXPECT_EQ(area->GetProfileLine(a, b), 1);
  EXPECT_EQ(a[0], p[0]);
  EXPECT_EQ(b[1], p[3]);
  // While a profile is defined the outline asks for the profile line.
  const int renders = area->profileLineRenders;
  area->AfterPass();
  area->AfterPass();
  EXPECT_EQ(area->profileLineRenders, renders + 2);

  // Begun on the background: the release reports the failure.
  Press(area.get(), 3, 3, Qt::RightButton);
  Release(area.get(), 100, 75, Qt::RightButton);
  EXPECT_EQ(area->profileFailures, 1);
  EXPECT_EQ(area->profiles.size(), 2u);
  ExpectBalanced();
}

TEST_F(MouseGL, ModeThreeHasOnlyTheProfile) {
  Make();
  area->SetInteractionMode(3);
  const size_t texts = area->texts.size();
  Click(area.get(), 100, 75);
  Move(area.get(), 110, 75);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);
  EXPECT_EQ(area->GetSelection().GetPolygonHead(), nullptr);
  EXPECT_EQ(area->GetSelection().GetRectangleActive(), 0);
  EXPECT_EQ(area->texts.size(), texts);
  Press(area.get(), 60, 75, Qt::RightButton);
  Release(area.get(), 140, 75, Qt::RightButton);
  EXPECT_EQ(area->profiles.size(), 1u);
}

TEST_F(MouseGL, ConsumedEventsReachNoTool) {
  Make();
  overlay->consume = 1;
  area->SetInteractionMode(4);
  Press(area.get(), 80, 40);
  EXPECT_EQ(overlay->presses, 1);
  EXPECT_EQ(area->GetSelection().GetRectangleActive(), 0);
  // Moves are not consumed by this overlay: the readout of mode 4 runs.
  Move(area.get(), 100, 75);
  EXPECT_EQ(area->LastText().rfind("Geo Coords (x,y,z) -> (", 0), 0u);
}

}  // namespace
