// Pick texts, point normalisation, the selection polygon and the point
// slots without a GL context (leak detection on): the texts of every
// coordinate type, polygon lists and their release, picks and mouse tools
// that find no context.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "../app/PickTestSupport.h"
#include "TestSupport.h"

using pick_test::PickArea;
using pick_test::PickTile;
using pick_test::PickTileClasses;

namespace {

SDN_PickOut Hit(double x, double y, double z, double value = -1e20) {
  SDN_PickOut p{};
  p.x = x;
  p.y = y;
  p.z = z;
  p.value = value;
  p.found = 1;
  return p;
}

std::string Text(const SDN_PickOut& p, int type) {
  char text[256];
  const int n = Qk_WorkAreaPicking::FormatPickText(&p, type, text, sizeof(text));
  EXPECT_EQ(n, static_cast<int>(strlen(text)));
  return text;
}

TEST(PickText, EveryCoordinateTypeInThreeAndTwoDimensions) {
  const SDN_PickOut p = Hit(12.123456789, -3.5, 7.25);
  const SDN_PickOut flat = Hit(12.123456789, -3.5, 1e12);
  for (int type : {0, 2}) {
    EXPECT_EQ(Text(p, type), "Geo Coords (x,y,z) -> (12.12, -3.50, 7.25)");
    EXPECT_EQ(Text(flat, type), "Geo Coords (x,y) -> (12.12, -3.50)");
  }
  for (int type : {1, 4, 5, -1, 99}) {
    EXPECT_EQ(Text(p, type), "Geo Coords (x,y,z) -> (12.12345679, -3.50000000, 7.25)");
    EXPECT_EQ(Text(flat, type), "Geo Coords (x,y) -> (12.12345679, -3.50000000)");
  }
  EXPECT_EQ(Text(p, 3), "Geo Coords (x,y,z) -> (12.12, -3.50, 7.250)");
  EXPECT_EQ(Text(flat, 3), "Geo Coords (x,y) -> (12.12, -3.50)");
}

TEST(PickText, ScalarsMissesAndShortBuffers) {
  // Only exactly -1e20 means "no value"; zero is a value.
  EXPECT_EQ(Text(Hit(1, 2, 3, 0.0), 2), "Geo Coords (x,y,z) -> (1.00, 2.00, 3.00), Scalar = 0.00");
  EXPECT_EQ(Text(Hit(1, 2, 1e12, -4.567), 2), "Geo Coords (x,y) -> (1.00, 2.00), Scalar = -4.57");
  EXPECT_NE(Text(Hit(1, 2, 3, -1e20 * 1.0000001), 2).find(", Scalar = "), std::string::npos);

  SDN_PickOut miss = Hit(1, 2, 3, 5.0);
  miss.found = 0;
  EXPECT_EQ(Text(miss, 2), "");
  char text[16];
  strcpy(text, "junk");
  EXPECT_EQ(Qk_WorkAreaPicking::FormatPickText(nullptr, 2, text, sizeof(text)), 0);
  EXPECT_STREQ(text, "");

  // Cut to the buffer, always terminated, scalar included.
  const SDN_PickOut p = Hit(1e300, 2, 3, 1.0);
  EXPECT_EQ(Qk_WorkAreaPicking::FormatPickText(&p, 2, text, sizeof(text)), 15);
  EXPECT_EQ(strlen(text), 15u);
  char big[350];  // room for the coordinates (340 characters), not the whole scalar
  const int n = Qk_WorkAreaPicking::FormatPickText(&p, 2, big, sizeof(big));
  EXPECT_EQ(n, static_cast<int>(sizeof(big)) - 1);
  EXPECT_NE(strstr(big, "), Scal"), nullptr);
  EXPECT_EQ(Qk_WorkAreaPicking::FormatPickText(&p, 2, text, 0), 0);
}

TEST(NormalizePoint, UnitBoxAndAxesWithoutExtent) {
  PickTile node;
  node.Set(100, 200, -50, 50, 7, 7, 0, 0, 0);
  const double in[3] = {150, 50, 1000};
  double out[3] = {9, 9, 9};
  Qk_GLWorkArea::NormalizePoint(in, &node, out);
  EXPECT_DOUBLE_EQ(out[0], 0.0);
  EXPECT_DOUBLE_EQ(out[1], 0.5);
  EXPECT_DOUBLE_EQ(out[2], 0.0);  // no extent in z
  const double corner[3] = {100, -50, 7};
  Qk_GLWorkArea::NormalizePoint(corner, &node, out);
  EXPECT_DOUBLE_EQ(out[0], -0.5);
  EXPECT_DOUBLE_EQ(out[1], -0.5);
  Qk_GLWorkArea::NormalizePoint(in, nullptr, out);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.0);
}

class SelectionNoGL : public ::testing::Test {
 protected:
  void SetUp() override {
    Sd_Node::SetCoordinateType(0);
    file = dir.file("tiles.sd");
    ASSERT_TRUE(workarea_test::WriteSD(file, {workarea_test::Tile(1000, 2000, 1000, 2000, -10, 0)}));
    area = std::make_unique<PickArea>();
  }
  void TearDown() override {
    area.reset();
    Sd_Node::SetCoordinateType(0);
  }

  PickTileClasses classes;
  orvanta_test::TempDir dir;
  std::string file;
  std::unique_ptr<PickArea> area;
};

TEST_F(SelectionNoGL, PolygonVerticesAreNewestFirstWithoutRepeats) {
  const double a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
  Qk_PolygonVertex* head = nullptr;
  int closed = -1;
  EXPECT_EQ(area->GetPolygon(&head, &closed), 0);
  EXPECT_EQ(head, nullptr);

  area->AddPolygonVertex(a, nullptr);
  area->AddPolygonVertex(a, nullptr);
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 1);
  area->AddPolygonVertex(b, nullptr);
  area->AddPolygonVertex(a, nullptr);  // only a repeat of the newest is dropped
  ASSERT_EQ(area->GetSelection().GetPolygonSize(), 3);
  head = area->GetSelection().GetPolygonHead();
  EXPECT_EQ(head->x, 1);
  EXPECT_EQ(head->next->x, 4);
  EXPECT_EQ(head->next->next->x, 1);
  EXPECT_EQ(head->next->next->previous, head->next);
  EXPECT_EQ(head->next->next->next, nullptr);

  area->SetInteractionMode(2);
  EXPECT_EQ(area->GetPolygon(&head, &closed), 1);
  EXPECT_EQ(closed, 0);
  area->SetInteractionMode(1);
  EXPECT_EQ(area->GetPolygon(&head, &closed), -1);

  area->ResetSelection();
  EXPECT_EQ(area->GetSelection().GetPolygonHead(), nullptr);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);
  // Vertices left at destruction are released too (leak detection).
  area->AddPolygonVertex(a, nullptr);
  area->AddPolygonVertex(b, nullptr);
}

TEST_F(SelectionNoGL, SlotsAnswerFromTheScene) {
  SVdouble z = 5;
  SVuint colour = 5;
  area->GeoPickPointSL(1500, 1500, &z, &colour);  // no scene yet
  EXPECT_EQ(z, 1e12);
  EXPECT_EQ(colour, 0u);

  ASSERT_EQ(area->LoadSD(file.c_str(), 1, 0, 0), 0);
  area->GeoPickPointSL(1500, 1500, &z, &colour);
  EXPECT_EQ(z, -5.0);
  EXPECT_EQ(colour, 0x00FF8040u);
  area->GeoPickPointSL(2500, 1500, &z, &colour);
  EXPECT_EQ(z, 1e12);
  EXPECT_EQ(colour, 0u);
  area->GeoPickPointSL(2500, 1500, nullptr, nullptr);

  SVdouble in[3] = {1250, 2000, -10};
  SVdouble out[3];
  area->TransformPointSL(in, out);
  EXPECT_DOUBLE_EQ(out[0], -0.25);
  EXPECT_DOUBLE_EQ(out[1], 0.5);
  EXPECT_DOUBLE_EQ(out[2], -0.5);

  // A point selected from outside: no object, its own text without the
  // scalar of an earlier pick.
  SDN_PickOut* pick = area->GetPickRecord();
  pick->found = 1;
  pick->value = 3.0;
  SVdouble pt[3] = {10, 20, -3};
  area->SelectPointSL(pt);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 1);
  EXPECT_EQ(area->GetSelection().GetSelectedNode(), nullptr);
  EXPECT_EQ(area->LastText(), "Geo Coords (x,y,z) -> (10.00, 20.00, -3.00)");
  ASSERT_EQ(area->picked.size(), 1u);
  EXPECT_EQ(area->picked[0].z, -3.0);
  pick->found = 0;
  area->SelectPointSL(pt);
  EXPECT_EQ(area->LastText(), "");
}

TEST_F(SelectionNoGL, WithoutAContextPicksAndToolsFindNothing) {
  ASSERT_EQ(area->LoadSD(file.c_str(), 1, 0, 0), 0);
  SDN_PickOut* pick = area->GetPickRecord();
  pick->found = 1;
  EXPECT_EQ(area->Pick(0, 0, 0, 0, pick), 0);
  EXPECT_EQ(pick->found, 0);
  EXPECT_EQ(area->PickRefreshed(0, 0, 0, 0, pick), 0);
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(area->PickDepth(0, 0, &x, &y, &z), 0);
  EXPECT_EQ(area->PickOverlayWidget(0, 0, &x, &y, &z), 0);

  Qk_GLEventRecord event{};
  event.button = QK_BUTTON_LEFT;
  for (int mode : {0, 1, 2, 3, 4}) {
    area->SetInteractionMode(mode);
    area->MousePress(&event);
    area->MouseMove(&event);
    area->MouseDoubleClick(&event);
    area->MouseRelease(&event);
    event.button = QK_BUTTON_RIGHT;
    event.x = 50;
    area->MouseMove(&event);
    area->MouseRelease(&event);
    event.button = QK_BUTTON_LEFT;
    event.x = 0;
  }
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);
  EXPECT_EQ(area->GetSelection().GetPolygonHead(), nullptr);
  EXPECT_TRUE(area->profiles.empty());
  area->Leave();
  area->AfterPass();
  area->DrawOutline(1);
}

TEST_F(SelectionNoGL, ReleasingTheSceneEndsSelections) {
  ASSERT_EQ(area->LoadSD(file.c_str(), 1, 0, 0), 0);
  Sd_Node* tile = area->GetRoot()->GetFirstChild();
  const double p[3] = {1, 2, 3};
  area->AddPolygonVertex(p, tile);
  SVdouble pt[3] = {10, 20, -3};
  area->SelectPointSL(pt);
  // A load without clear keeps them.
  ASSERT_EQ(area->LoadSD(file.c_str(), 0, 0, 0), 0);
  EXPECT_EQ(area->GetSelection().GetPolygonSize(), 1);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 1);
  area->ClearScene();
  EXPECT_EQ(area->GetSelection().GetPolygonHead(), nullptr);
  EXPECT_EQ(area->GetSelection().GetPointSelected(), 0);
  EXPECT_EQ(area->GetMouseTools().GetProfileActive(), 0);
}

}  // namespace
