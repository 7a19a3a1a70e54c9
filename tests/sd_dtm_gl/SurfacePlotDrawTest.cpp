// Surface plots on screen: colours of the surface, tick lines and labels in
// the label plane, the surface's last row and column at each step, the
// progressive pass and its restart, picks and their marker.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "../sd_dtm/PlotTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"
#include "Sv_HersheyFont.h"

using orvanta_test::GLTest;
using plot_test::MakePlot;

namespace {

// The plot's unit box and its labels seen from above: x and y -1 ... 1
// fill the framebuffer, so unit-box point (x, y) lands on pixel
// ((x + 1) 128, (y + 1) 128).
void PlotView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1.0, 1.0, -1.0, 1.0, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

int Pixel(double unit) { return static_cast<int>((unit + 1.0) * 128.0); }

// Pixel of node (r, c) of an n x n plot.
int NodePixel(int i, int n) { return Pixel(static_cast<double>(i) / (n - 1) - 0.5); }

// Pixels of the box [x0, x1] x [y0, y1] brighter than dark; each found
// pixel's depth goes into depths.
int InkIn(int x0, int x1, int y0, int y1, std::vector<float>* depths = nullptr) {
  int n = 0;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (GLTest::Brightness(x, y) > 300) {
        ++n;
        if (depths) depths->push_back(GLTest::ReadDepth(x, y));
      }
    }
  }
  return n;
}

// Window depth of the label plane z = -0.9 in PlotView: normalised depth
// -z / 2 = 0.45, window depth (0.45 + 1) / 2.
constexpr float kLabelPlaneDepth = 0.725f;

// Largest grid column and row among the polygon vertices drawn by draw in
// PlotView, for an n x n plot; {-1, -1} when none.
template <class Draw>
std::pair<int, int> LastPolygonNode(int n, Draw draw) {
  std::vector<GLfloat> buffer(1 << 18);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  const GLint used = glRenderMode(GL_RENDER);
  EXPECT_GE(used, 0) << "feedback buffer overflow";
  std::pair<int, int> last(-1, -1);
  auto node = [n](GLfloat w) { return static_cast<int>(std::lround((w / 128.0 - 0.5) * (n - 1))); };
  for (GLint i = 0; i < used;) {
    const GLint token = static_cast<GLint>(buffer[i++]);
    GLint count = token == GL_POLYGON_TOKEN ? static_cast<GLint>(buffer[i++]) : 0;
    if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) count = 2;
    if (token == GL_POINT_TOKEN || token == GL_PASS_THROUGH_TOKEN) count = 1;
    for (GLint k = 0; k < count; ++k, i += 3) {
      if (token != GL_POLYGON_TOKEN) continue;
      last.first = std::max(last.first, node(buffer[i]));
      last.second = std::max(last.second, node(buffer[i + 1]));
    }
  }
  return last;
}

// Largest multiple of s below limit.
int LastMultipleBelow(int limit, int s) { return (limit - 1) / s * s; }

}  // namespace

// The surface shows its colours at its nodes; tick lines and labels lie in
// the label plane below the surface in the axis colour (the x ticks' lines
// show between the labels and the surface's edge, the title above, the y
// labels turned to the right). Without its font the plot draws all but the
// texts.
TEST_F(GLTest, PlotShowsColoursTicksAndLabelsInTheLabelPlane) {
  orvanta_test::ScopedEnv home("WRUHOME", nullptr);
  orvanta_test::ScopedEnv fonts("SVHFONTPATH", nullptr);
  for (int builtIn : {1, 0}) {
    SCOPED_TRACE(builtIn);
    Sv_HersheySetBuiltIn(builtIn);  // as the viewer does at start
    auto plot = MakePlot<Sd_SurfacePlot>(9, 9);
    plot->SetLabelZ(-0.9f);
    plot->SetSteps(1, 1, 1);
    Clear();
    PlotView();
    plot->Render();
    Sv_HersheySetBuiltIn(0);

    const orvanta_test::GLPixel red = ReadPixel(NodePixel(1, 9), NodePixel(4, 9));
    const orvanta_test::GLPixel blue = ReadPixel(NodePixel(6, 9), NodePixel(4, 9));
    EXPECT_TRUE(red.r > 200 && red.b < 60) << int(red.r) << " " << int(red.b);
    EXPECT_TRUE(blue.b > 200 && blue.r < 60) << int(blue.r) << " " << int(blue.b);

    // Tick lines between the tick labels (y -0.55) and the surface (y -0.5).
    std::vector<float> depths;
    const int lineY = Pixel(-0.525);
    for (double x : {-0.5, -0.25, 0.0, 0.25}) EXPECT_GT(InkIn(Pixel(x) - 2, Pixel(x) + 1, lineY, lineY, &depths), 0);
    // Labels: tick labels below the ticks, the x label below them, the title
    // above the box, the y labels right of it.
    const int title = InkIn(Pixel(-0.3), Pixel(0.3), Pixel(0.7), kHeight - 1, &depths);
    const int below = InkIn(0, kWidth - 1, 0, Pixel(-0.56), &depths);
    const int right = InkIn(Pixel(0.56), kWidth - 1, Pixel(-0.5), Pixel(0.5), &depths);
    for (float d : depths) ASSERT_NEAR(d, kLabelPlaneDepth, 1e-3) << "in the label plane";
    if (builtIn) {
      EXPECT_GT(title, 20);
      EXPECT_GT(below, 40);
      EXPECT_GT(right, 40);
    } else {
      EXPECT_EQ(title + below + right, 0) << "no texts without the font";
    }
  }
}

// At drawing step s the surface's last drawn row and column are the largest
// multiples of s below rows - s and cols - s (the strips of the last row
// reach row r + s); a progressive pass at the same step draws the same.
TEST_F(GLTest, PlotSurfaceEndsAtTheLastMultipleOfTheStep) {
  const int n = 11;
  auto plot = MakePlot<Sd_SurfacePlot>(n, n);
  PlotView();
  for (int s : {1, 3, 4}) {
    SCOPED_TRACE(s);
    plot->SetSteps(s, s, 1);
    const int lastCol = LastMultipleBelow(n - s, s);
    const int lastRow = LastMultipleBelow(n - s, s) + s;
    EXPECT_EQ(LastPolygonNode(n, [&] { plot->Render(); }), std::make_pair(lastCol, lastRow));
    EXPECT_EQ(LastPolygonNode(n, [&] { EXPECT_GT(dtm_test::FinishPass(*plot), n / s); }),
              std::make_pair(lastCol, lastRow));
    EXPECT_EQ(ModelViewStackDepth(), 1);
  }
}

// A pass restarted after the redraw-pending flag leaves no matrix pushed and
// starts again from its first stage; the best pass draws at step 1.
TEST_F(GLTest, PlotPassRestartsAfterRedrawPending) {
  auto plot = MakePlot<Sd_SpectrumDTM>(9, 9);
  plot->SetSteps(4, 2, 1);
  PlotView();
  for (int steps : {1, 3}) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(plot->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    plot->Invalidate();
    EXPECT_EQ(plot->StepRender(), 0);
    EXPECT_EQ(ModelViewStackDepth(), 1);
    EXPECT_EQ(plot->GetPushCount(), 0);
    EXPECT_EQ(plot->GetStepState(), 0);
    EXPECT_EQ(plot->GetRedrawPending(), 0);
    EXPECT_EQ(plot->GetDrawn(), 0);
  }
  Sd_Node::SetBestPass(1);
  EXPECT_EQ(dtm_test::FinishPass(*plot), 1 + 8 + 2) << "stage 0, one call per row, the end of the rows, stage 2";
  Sd_Node::SetBestPass(0);
  EXPECT_EQ(plot->GetStepInUse(), 1);
  EXPECT_EQ(plot->GetDrawn(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

// A pick on the surface keeps the grid point and marks it at once in grey;
// a pick on column 0 or row 0, or beside the surface, is no hit.
TEST_F(GLTest, PlotPickKeepsThePointAndMarksIt) {
  const int n = 9;
  auto plot = MakePlot<Sd_SurfacePlot>(n, n);
  PlotView();
  plot->Render();
  // The marker is drawn over the surface, whatever the depth test says.
  glDisable(GL_DEPTH_TEST);
  DepthPicker picker(kWidth, kHeight);
  auto pick = [&](int x, int y) {
    SDN_PickIn in = {&picker, x, y, 0, 1};
    SDN_PickOut out = dtm_test::NoPick();
    EXPECT_EQ(plot->QueryPoint(&in, &out), 0);
    EXPECT_EQ(out.found, 0);
    return plot->GetPickPosition()[0];
  };
  const int x = NodePixel(5, n) + 4, y = NodePixel(3, n) + 4;
  EXPECT_NEAR(pick(x, y), 5.25, 0.1);
  EXPECT_NEAR(plot->GetPickPosition()[1], 3.25, 0.1);
  EXPECT_NEAR(plot->GetPickPosition()[2], 20000 + 20000 * 3.25 / 8, 300);
  // The marker's cross: two cells to each side.
  const orvanta_test::GLPixel grey = ReadPixel(x + 20, y);
  EXPECT_EQ(grey.r, 171);
  EXPECT_EQ(grey.g, 171);
  EXPECT_EQ(ReadPixel(x, y - 20).b, 171);

  EXPECT_EQ(pick(NodePixel(0, n) + 4, y), -1.0f) << "column 0";
  EXPECT_EQ(pick(x, NodePixel(0, n) + 4), -1.0f) << "row 0";
  EXPECT_EQ(pick(Pixel(-0.9), Pixel(0.9)), -1.0f) << "background";
  glEnable(GL_DEPTH_TEST);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}
