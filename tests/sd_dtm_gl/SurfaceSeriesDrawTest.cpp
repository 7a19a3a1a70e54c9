// Surface series on screen: a frame per whole drawing (with a frame delay),
// holes at empty nodes, progressive passes over the current frame and
// picks of the current frame's height.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "../sd_dtm/SeriesTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::Budget;
using dtm_test::TopDownView;
using orvanta_test::GLTest;

namespace {

// 17 x 17 flat frames (16 pixels a cell from above), frame f at code 20000
// + 10000 f, with the nodes of rows and columns 6 ... 9 empty.
unsigned short FlatWithHole(int f, int r, int c) {
  return r >= 6 && r <= 9 && c >= 6 && c <= 9 ? 0 : static_cast<unsigned short>(20000 + 10000 * f);
}

std::unique_ptr<Sd_SurfaceSeries> HoledSeries() {
  auto series = dtm_test::MakeSeries(3, 17, 17, FlatWithHole);
  series->ResetSettings();
  return series;
}

// Centre pixel of grid cell (row, col) seen top-down.
int CellPixel(double index) { return static_cast<int>((index + 0.5) * 16.0); }

// The frame whose colour the pixel shows (its dominant channel), -1 for
// background.
int FrameAt(int x, int y) {
  const auto p = GLTest::ReadPixel(x, y);
  if (p.r > 200) return 0;
  if (p.g > 200) return 1;
  if (p.b > 200) return 2;
  return -1;
}

void CountCall(void* data) { ++*static_cast<int*>(data); }

}  // namespace

TEST_F(GLTest, SeriesShowsTheNextFrameAtEachWholeDrawingAndWaitsItsDelay) {
  Budget budget(0.0f);
  auto series = HoledSeries();
  int callbacks = 0;
  Sd_Node::SetFrameCallback(CountCall, &callbacks);
  std::vector<int> shown;
  auto draw = [&] {
    Clear();
    TopDownView();
    series->Render();
    shown.push_back(FrameAt(CellPixel(2), CellPixel(12)));
    // The hole stays open in every frame.
    EXPECT_EQ(Brightness(CellPixel(7), CellPixel(7)), 0);
  };
  for (int i = 0; i < 4; ++i) draw();
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0}));
  EXPECT_EQ(callbacks, 4) << "the frame callback after each whole drawing";

  // With a delay of 1 drawing, each frame is shown twice.
  shown.clear();
  series->SetFrameDelay(1);
  for (int i = 0; i < 6; ++i) draw();
  EXPECT_EQ(shown, (std::vector<int>{1, 1, 2, 2, 0, 0}));
  Sd_Node::SetFrameCallback(nullptr, nullptr);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, SeriesProgressivePassDrawsTheCurrentFrameWithoutStepping) {
  Budget budget(0.0f);
  auto series = HoledSeries();
  series->SetFrame(2);
  TopDownView();
  ASSERT_GT(dtm_test::FinishPass(*series), 2);
  EXPECT_EQ(series->GetFrame(), 2);
  EXPECT_EQ(FrameAt(CellPixel(12), CellPixel(3)), 2);
  EXPECT_EQ(Brightness(CellPixel(7), CellPixel(8)), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(series->GetDrawn(), 1);

  // Passes abandoned after one and after three steps end with the stacks
  // balanced and nothing left pending or enabled.
  series->SetAlpha(128);
  for (int steps : {1, 3}) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(series->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    series->Invalidate();
    EXPECT_EQ(series->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(series->GetPushCount(), 0);
    EXPECT_EQ(series->GetStepState(), 0);
    EXPECT_EQ(series->GetRedrawPending(), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
  }
}

TEST_F(GLTest, SeriesPickReturnsTheCurrentFramesHeight) {
  Budget budget(0.0f);
  auto series = HoledSeries();
  series->SetAnimate(0);
  series->SetFrame(1);
  TopDownView();
  series->Render();
  DepthPicker picker(kWidth, kHeight);
  SDN_PickIn in = {&picker, CellPixel(12), CellPixel(3), 0, 0};
  SDN_PickOut out = dtm_test::NoPick();
  ASSERT_EQ(series->QueryPoint(&in, &out), 1);
  EXPECT_NEAR(out.z, 30000.0 / 65535.0 * 100.0, 0.05);
  EXPECT_NEAR(out.x, 1000.0 + 12.5 * 1000.0 / 16, 1000.0 / 16);
  EXPECT_EQ(out.node, series.get());
  EXPECT_EQ(ColourGreen(out.colour), 230u);

  // A cell next to the hole (one corner empty) misses.
  in.x = CellPixel(5);
  in.y = CellPixel(7);
  out = dtm_test::NoPick();
  EXPECT_EQ(series->QueryPoint(&in, &out), 0);
  EXPECT_EQ(out.found, 0);
  EXPECT_EQ(series->GetPickPosition()[0], -1.0f);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}
