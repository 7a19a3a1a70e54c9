// Sounding data sets in OpenGL: the cell surface, lit and pre-shaded, over
// the grey base plate with grid and run lines; the window outline; stems
// and symbols of selected and marked soundings; progressive passes,
// finished and abandoned; and drawing without a light set.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <vector>

#include "../sd_survey/SoundingTestSupport.h"
#include "GLTestFixture.h"
#include "Sv_Lighting.h"

using orvanta_test::GLPixel;
using orvanta_test::GLTest;

namespace {

// FSD soundings with the switches and lists a test sets.
struct DrawnSounding : Sd_Sounding {
  void Show(int surface, int runLines, int gridLines) {
    m_painter.SetShowSurface(surface);
    m_showRunLines = runLines;
    m_painter.SetShowGridLines(gridLines);
  }
  void SelectCellOf(int index) {
    m_sndRecords[index].mark = 1;
    int count = 0;
    for (int r = 0; r < GetRows(); ++r) {
      for (int c = 0; c < GetCols(); ++c) {
        const int* list = GetCellSoundings(r, c, &count);
        for (int i = 0; i < count; ++i) {
          if (list[i] != index) continue;
          // A window of that one cell.
          m_grid.Cells()[m_grid.CellIndex(r, c)].mark = 1;
          m_selection.SetWindow(r, r, c, c);
        }
      }
    }
  }
  void SetOutline(std::vector<float> outline) {
    m_selection.SetWindow(0, 0, 0, 0);
    m_selection.SetOutline(std::move(outline));
  }
  double ZMax() const { return m_extent.zMax; }
};

// 4 rows x 8 columns of 100 m cells, one sounding at each cell's centre
// (depth rising from -40 m in the west to -5 m in the east), none in cell
// (1, 5); one run along y = 150 m across the whole survey.
void MakeSurvey(DrawnSounding* s) {
  std::vector<FsdSndRecord> records;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) {
      if (r == 1 && c == 5) continue;
      FsdSndRecord f{};
      f.x = 100.0 * c;
      f.y = 100.0 * r;
      f.z = -40.0 + 5.0 * c;
      records.push_back(f);
    }
  }
  FsdRunRecord run{};
  run.xStart = 0.0;
  run.xEnd = 700.0;
  run.yStart = run.yEnd = 150.0;
  ASSERT_EQ(s->SetRuns(&run, 1), 0);
  ASSERT_EQ(s->SetSoundings(records.data(), static_cast<int>(records.size())), 0);
  s->SetCellSize(100.0f);
  ASSERT_EQ(s->UpdateCellStatistics(1), 0);
  ASSERT_EQ(s->GetRows(), 4);
  ASSERT_EQ(s->GetCols(), 8);
}

class SoundingDraw : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    m_lights.SetLightModelAmbient(0.1f, 0.1f, 0.1f, 1.0f);
    m_lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 1.0f, 1.0f, 1.0f, 1.0f);
    m_lights.SetLightParam(1, SV_LIGHT_POSITION, 0.0f, 0.0f, 1.0f, 0.0f);
    m_lights.Apply();
    Sd_Node::SetLighting(&m_lights);
    MakeSurvey(&s);
  }
  void TearDown() override {
    Sd_Node::SetLighting(nullptr);
    Sd_Node::SetBestPass(0);
    GLTest::TearDown();
  }
  // The unit box seen from above, filling the framebuffer: cell (row, col)
  // centres at pixel ((col + 0.5) * 32, (row + 0.5) * 64).
  static void TopDown() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.5, 0.5, -0.5, 0.5, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
  // Seen from the south: x across, z up, -1 ... 1 on both.
  static void FromTheSouth() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  }
  static std::vector<GLPixel> Picture() {
    std::vector<GLPixel> p(kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
  static bool Near(const GLPixel& p, int r, int g, int b, int tolerance) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
  }
  // A colour at alpha 230 over the grey plate.
  static int OverPlate(unsigned channel) { return static_cast<int>((230 * channel + 25 * 128) / 255); }
  // Pixels of the column x between rows y0 and y1 that are (r, g, b).
  static int Count(int x, int y0, int y1, int r, int g, int b) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) n += Near(ReadPixel(x, y), r, g, b, 10);
    return n;
  }

  Sv_Lighting m_lights;
  DrawnSounding s;
};

}  // namespace

TEST_F(SoundingDraw, SurfaceShowsTheCellColoursOverThePlateLitAndPreShaded) {
  TopDown();
  s.Show(1, 1, 1);
  s.Render();
  // Depth colours of the default ramp: red at the deep west end, white at
  // the shallow east end; the empty cell lets the grey plate through.
  const GLPixel west = ReadPixel(17, 160), east = ReadPixel(239, 160);
  EXPECT_GT(west.r, 150);
  EXPECT_LT(west.g, 60);
  EXPECT_GT(east.g, 180);
  EXPECT_GT(east.b, 180);
  EXPECT_TRUE(Near(ReadPixel(176, 96), 128, 128, 128, 8)) << "the plate through the empty cell";
  EXPECT_LT(ReadDepth(176, 96), 1.0f);
  EXPECT_GE(Count(8, 98, 106, 255, 255, 0), 1) << "the run line west of the surface";
  EXPECT_GE(Count(8, 60, 68, 0, 255, 0), 1) << "a grid line west of the surface";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  // Pre-shaded: the shaded colours at alpha 230, no light set needed.
  Clear();
  Sd_Node::SetLighting(nullptr);
  s.SetPreShaded(1);
  s.Render();
  for (const int c : {0, 7}) {
    const unsigned shaded = s.GetShadedColor(2, c);
    const GLPixel p = ReadPixel(c == 0 ? 17 : 239, 160);
    EXPECT_TRUE(Near(p, OverPlate(shaded & 255), OverPlate(shaded >> 8 & 255), OverPlate(shaded >> 16 & 255), 6))
        << "column " << c << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b);
  }

  // The window outline: a white loop above the surface.
  Clear();
  const float z = static_cast<float>(s.ZMax()) + 1.0f;
  s.SetOutline({-0.3f, -0.3f, z, 0.3f, -0.3f, z, 0.3f, 0.3f, z, -0.3f, 0.3f, z});
  s.Render();
  EXPECT_GE(Count(100, 48, 54, 255, 255, 255), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(SoundingDraw, StemsOfSelectedAndMarkedSoundings) {
  FromTheSouth();
  s.Show(0, 0, 0);
  // Soundings 0 (column 0), 2 (column 2) and 4 (column 4) of row 0; the
  // cell of sounding 0 is selected and the sounding marked. The marked
  // list holds 2 (on the edit list) and 4, then an end mark and 6.
  s.SelectCellOf(0);
  const int marked[4] = {2, 4, -1, 6};
  s.SetMarkedList(marked, 4);
  const int edited = 2;
  s.SetEditList(&edited, 1);
  s.Render();
  // Screen x of the soundings of column c: ((100 c + 10) / 800 - 0.5 + 1)
  // * 128 (the grid starts 10 m west of the first); the floor is at pixel
  // 64, sounding 0 at 70, and the stems of the marked list come down from
  // z 0.7 (pixel 217).
  const auto column = [](int c) { return static_cast<int>(((100.0 * c + 10.0) / 800.0 + 0.5) * 128.0); };
  EXPECT_GE(Count(column(0), 64, 69, 255, 0, 0), 4) << "the selected sounding's red stem from the floor";
  EXPECT_GE(Count(column(2), 190, 210, 255, 255, 0), 10) << "yellow: on the edit list";
  EXPECT_GE(Count(column(4), 190, 210, 255, 0, 0), 10) << "red: marked only";
  EXPECT_EQ(Count(column(6), 100, 210, 255, 0, 0), 0) << "after the end mark";
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(SoundingDraw, ProgressivePassesAndMissingLights) {
  TopDown();
  s.Show(1, 0, 1);
  s.Render();
  const std::vector<GLPixel> whole = Picture();

  // A finished best pass draws the pixels of the stride-1 drawing.
  Clear();
  s.SetProgressive(1);
  Sd_Node::SetBestPass(1);
  int calls = 0;
  while (s.StepRender() == 0 && ++calls < 100) {
  }
  EXPECT_EQ(calls, 4) << "set-up and three strips";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  const std::vector<GLPixel> stepped = Picture();
  EXPECT_EQ(memcmp(whole.data(), stepped.data(), whole.size() * sizeof(GLPixel)), 0);
  Sd_Node::SetBestPass(0);

  // An abandoned pass pops the one matrix it holds; a finished one none.
  s.SetLodStep(2);
  EXPECT_EQ(s.StepRender(), 0);
  EXPECT_EQ(s.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  s.SetRedrawPending(1);
  EXPECT_EQ(s.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  calls = 0;
  while (s.StepRender() == 0 && ++calls < 100) {
  }
  EXPECT_EQ(calls, 2) << "a new pass: set-up and one strip";
  s.SetRedrawPending(1);
  EXPECT_EQ(s.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // A grid of m_lodStep rows (4) or fewer draws no strip.
  Clear();
  s.SetLodStep(4);
  s.Render();
  EXPECT_TRUE(Near(ReadPixel(100, 160), 128, 128, 128, 2)) << "the bare plate";
  // The coarse drawing keeps every fourth grid line (x pixel 128) and
  // leaves the others (x pixel 32).
  const auto greenNear = [](int x) {
    int n = 0;
    for (int dx = -1; dx <= 1; ++dx) n += Near(ReadPixel(x + dx, 240), 0, 255, 0, 10);
    return n;
  };
  EXPECT_GE(greenNear(128), 1);
  EXPECT_EQ(greenNear(32), 0);

  // Without a light set nothing is drawn, and drawing goes on.
  Clear();
  Sd_Node::SetLighting(nullptr);
  s.Render();
  EXPECT_EQ(s.StepRender(), 1);
  EXPECT_EQ(CountInk(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}
