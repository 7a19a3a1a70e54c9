// Drawing of the 3-D lines, seen from above in the unit view of
// LitUnitView.h (unlit): normalised x and y -0.5 ... 0.5 land on pixels
// 64 ... 192.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "../sd_objects/Lines3DTestSupport.h"
#include "LitUnitView.h"
#include "TestSupport.h"

using lines_test::Add;
using lines_test::AddLabelled;
using lines_test::Loaded;
using lines_test::Points;

namespace {

class LinesRenderTest : public orvanta_test::LitUnitViewTest {
 protected:
  void SetUp() override {
    LitUnitViewTest::SetUp();
    Sd_Node::SetDetailBudget(0.0f);
  }

  // Pixels with ink in the box x0 ... x1, y0 ... y1 (inclusive).
  static int Ink(int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) n += Brightness(x, y) > 0 ? 1 : 0;
    }
    return n;
  }

  // Runs a progressive pass to its end; the number of calls.
  static int FinishPass(Sd_Node& node) {
    int calls = 1;
    while (node.StepRender() != 1 && calls < 100000) ++calls;
    return calls;
  }

  lines_test::BuiltInFont font;
};

// A square ring 0 ... 100 of 10 vertices a side, drawn in colour (200,
// 100, 50), read from a file so that it is triangulated.
std::unique_ptr<Loaded> SquareRing(const orvanta_test::TempDir& dir) {
  Sd_Lines3D ring;
  ring.SetPolygonMode(1);
  ring.SetColour(PackColour(200, 100, 50, 255));
  ring.SetLevelOfDetail(0);
  Points p;
  for (int i = 0; i < 10; ++i) p.push_back({10.0 * i, 0, 0});
  for (int i = 0; i < 10; ++i) p.push_back({100, 10.0 * i, 0});
  for (int i = 0; i < 10; ++i) p.push_back({100 - 10.0 * i, 100, 0});
  for (int i = 0; i <= 10; ++i) p.push_back({0, 100 - 10.0 * i, 0});
  Add(&ring, p);
  EXPECT_TRUE(lines_test::WriteSD(dir.file("ring.sd"), {&ring}));
  return std::make_unique<Loaded>(dir.file("ring.sd"));
}

}  // namespace

// Two contours 100 long at y = 25 and y = 75, the lower one labelled 40
// along: its line breaks for the label's width, and the text stands in the
// break, across the line.
TEST_F(LinesRenderTest, LabelledContoursShowGapsWithTheirTextInside) {
  Sd_Lines3D lines;
  lines.SetLabelScale(6.0);
  lines.SetLevelOfDetail(0);
  Points lower, upper;
  for (int i = 0; i <= 10; ++i) {
    lower.push_back({10.0 * i, 25, 0});
    upper.push_back({10.0 * i, 75, 0});
  }
  AddLabelled(&lines, lower, {40.0}, {"50"});
  Add(&lines, upper);
  const double width = lines.LabelWidth("50");
  // The gap in pixels: normalised x = data x / 100 - 0.5.
  const int gapStart = 64 + static_cast<int>(40.0 / 100.0 * 128.0);
  const int gapEnd = 64 + static_cast<int>((40.0 + width) / 100.0 * 128.0);
  ASSERT_GT(gapEnd - gapStart, 12);

  lines.Render();
  DumpPNG("LabelledContours");
  const int row = 64;  // y = 25
  EXPECT_GT(Ink(70, row - 1, gapStart - 4, row + 1), gapStart - 4 - 70) << "the line up to the gap";
  EXPECT_GT(Ink(gapEnd + 4, row - 1, 186, row + 1), 186 - gapEnd - 4) << "the line after the gap";
  EXPECT_LT(Ink(gapStart + 1, row, gapEnd - 1, row), (gapEnd - gapStart) / 2) << "the gap";
  EXPECT_GT(Ink(gapStart, row + 2, gapEnd, row + 16), 10) << "the text above the line";
  EXPECT_GT(Ink(gapStart, row - 16, gapEnd, row - 2), 5) << "and below it";
  EXPECT_EQ(Ink(gapEnd + 6, row + 2, 190, row + 20), 0) << "no text beside the gap";
  EXPECT_GT(Ink(70, 192 - 1, 186, 192 + 1), 100) << "the unlabelled contour";
  EXPECT_EQ(Ink(70, 180, 186, 188), 0);
}

TEST_F(LinesRenderTest, FilledRingCoversItsInsideAtStep1AndShowsItsOutlineAtStep2) {
  orvanta_test::TempDir dir;
  auto in = SquareRing(dir);
  Sd_Lines3D* ring = in->Lines(0);
  ASSERT_NE(ring, nullptr);
  ASSERT_EQ(ring->GetLines()[0].triangleValid, 1);

  ring->Render();
  EXPECT_EQ(ring->GetEffectiveFill(), 1);
  const orvanta_test::GLPixel inside = ReadPixel(128, 128);
  EXPECT_EQ(inside.r, 200);
  EXPECT_EQ(inside.g, 100);
  EXPECT_EQ(inside.b, 50);
  EXPECT_GT(CountInk(), 120 * 120);

  Clear();
  ring->SetDetailStep(2);
  ring->Render();
  EXPECT_EQ(ring->GetEffectiveFill(), 0);
  EXPECT_EQ(Brightness(128, 128), 0) << "only the outline";
  EXPECT_GT(Ink(100, 62, 156, 66), 50) << "the bottom side";
  EXPECT_GT(Ink(190, 100, 194, 156), 50) << "the right side";
  EXPECT_LT(CountInk(), 4 * 4 * 128);

  // The progressive pass always fills.
  Clear();
  EXPECT_EQ(FinishPass(*ring), 3);
  EXPECT_EQ(ReadPixel(128, 128).r, 200);
}

// In its parent's frame the object draws its raw coordinates: no transform,
// no bounding box, white in colour mode 0 whatever its colour.
TEST_F(LinesRenderTest, ParentFrameObjectDrawsRawCoordinatesWithoutABox) {
  SetPixelProjection();
  Sd_Lines3D lines;
  // Half pixels: the centres of pixel rows and columns.
  Add(&lines, {{20.5, 30.5, 0}, {220.5, 30.5, 0}});
  Add(&lines, {{20.5, 200.5, 0.5}, {220.5, 210.5, 0.5}});
  lines.SetColour(PackColour(255, 0, 0, 255));
  lines.SetPosition(40.0f, 40.0f, 0.0f);
  lines.SetShowBoundingBox(1);
  lines.SetParentFrame(1);
  lines.Render();
  const orvanta_test::GLPixel p = ReadPixel(120, 30);
  EXPECT_EQ(p.r, 255);
  EXPECT_EQ(p.g, 255) << "white";
  EXPECT_GT(Brightness(120, 205), 0);
  const orvanta_test::GLPixelBox box = InkBox();
  EXPECT_EQ(box.xMin, 20);
  EXPECT_EQ(box.yMin, 30);
  EXPECT_LE(box.xMax, 220);

  Clear();
  EXPECT_EQ(lines.StepRender(), 1) << "in one call";
  EXPECT_EQ(InkBox().xMin, 20);
}

TEST_F(LinesRenderTest, AbandonedPassLeavesTheStacksBalancedAndAFinishedOneMatchesRender) {
  Sd_Lines3D lines;
  lines.SetLevelOfDetail(0);
  for (int i = 0; i < 2500; ++i) Add(&lines, {{0, double(i), 0}, {100, double(i) + 0.5 * (i % 7), 1}});
  lines.Render();
  std::vector<unsigned char> whole(4 * kWidth * kHeight), stepped(whole.size());
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, whole.data());

  for (int steps : {1, 2, 3}) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(lines.StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    lines.Invalidate();
    EXPECT_EQ(lines.StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(lines.GetMatrixPushed(), 0);
    EXPECT_EQ(lines.GetStepStage(), 0);
    EXPECT_EQ(lines.GetRedrawPending(), 0);
  }
  Clear();
  EXPECT_EQ(FinishPass(lines), 1 + 3 + 1) << "set-up, 1000 lines a call, finish";
  EXPECT_EQ(lines.GetDrawn(), 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, stepped.data());
  EXPECT_TRUE(stepped == whole);
}

// With a detail budget the step follows the object's size on screen, and
// the renderer learns that more detail is possible.
TEST_F(LinesRenderTest, DetailBudgetThinsTheDrawing) {
  Sd_Lines3D lines;
  for (int i = 0; i < 200; ++i) {
    Points p;
    for (int k = 0; k < 200; ++k) p.push_back({double(k), double(i), double(k % 5)});
    Add(&lines, p);
  }
  Sd_Node::BeginFrame(1000.0f);
  lines.Render();
  EXPECT_GT(lines.GetDetailStep(), 1);
  EXPECT_NE(Sd_Node::GetDetailFlags() & 1u, 0u);
  EXPECT_GT(CountInk(), 1000);
  Sd_Node::BeginFrame(0.0f);
  lines.ResetSettings();
  EXPECT_EQ(lines.GetDetailStep(), 1);
}
