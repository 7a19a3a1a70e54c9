// Sounding data sets picked in OpenGL: a query pick reads the cell under the
// pointer (its geographic point, height and colour) and misses beside the
// data or over cells without height; a select pick of FSD soundings selects
// the window under the pointer, which then draws its white outline and the
// stems of its soundings; HTF soundings do not select on the selecting
// tool's actions.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "../sd_survey/SoundingPickSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sv_Lighting.h"

using orvanta_test::GLPixel;
using orvanta_test::GLTest;
using sounding_pick::Grid;
using sounding_pick::Tilted;
using sounding_pick::Window;
using sounding_pick::WindowOf;

namespace {

constexpr int kRows = 8;
constexpr int kCols = 10;

// The unit box seen from above, covering the middle 80 % of the
// framebuffer, lit from above.
class SoundingPick : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glOrtho(-0.625, 0.625, -0.625, 0.625, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    m_lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 1.0f, 1.0f, 1.0f, 1.0f);
    m_lights.SetLightParam(1, SV_LIGHT_POSITION, 0.0f, 0.0f, 1.0f, 0.0f);
    m_lights.Apply();
    Sd_Node::SetLighting(&m_lights);
  }
  void TearDown() override {
    Sd_Node::SetLighting(nullptr);
    GLTest::TearDown();
  }
  // The pixel over unit-box position u (-0.5 ... 0.5).
  static int Pixel(double u) { return static_cast<int>(std::floor((u + 0.625) / 1.25 * kWidth)); }
  // The unit-box position of a pixel's centre.
  static double Unit(int pixel) { return (pixel + 0.5) / kWidth * 1.25 - 0.625; }
  // The pixels a quarter cell beyond the centre of cell (row, col), whose
  // row and column positions are (row + 1/4, col + 1/4).
  static int CellX(int col) { return Pixel((col + 0.75) / kCols - 0.5); }
  static int CellY(int row) { return Pixel((row + 0.75) / kRows - 0.5); }

  static bool IsWhite(const GLPixel& p) { return p.r > 240 && p.g > 240 && p.b > 240; }
  // Whether a pixel within d of the window position of unit-box point p
  // in the current matrices is white.
  static bool WhiteNear(const double p[3], int d) {
    double model[16], projection[16], wx, wy, wz;
    int viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (gluProject(p[0], p[1], p[2], model, projection, viewport, &wx, &wy, &wz) != GL_TRUE) return false;
    for (int y = static_cast<int>(wy) - d; y <= static_cast<int>(wy) + d; ++y) {
      for (int x = static_cast<int>(wx) - d; x <= static_cast<int>(wx) + d; ++x) {
        if (IsWhite(ReadPixel(x, y))) return true;
      }
    }
    return false;
  }

  Sv_Lighting m_lights;
};

struct FlatSounding : Sd_Sounding {
  // No surface: what lies below it shows.
  void HideSurface() { m_painter.SetShowSurface(0); }
};

TEST_F(SoundingPick, QueryReadsTheCellUnderThePointer) {
  // Cells (3 ... 4, 6 ... 7) hold no soundings.
  auto s = Grid<Sd_HTFSounding>(kRows, kCols,
                                [](int r, int c) { return r >= 3 && r <= 4 && c >= 6 && c <= 7 ? NAN : Tilted(r, c); });
  s->Render();
  Finish();
  DepthPicker picker(kWidth, kHeight);
  const int px = CellX(2), py = CellY(5);
  SDN_PickIn in = {&picker, px, py, 0, 0};
  SDN_PickOut out = {};
  out.value = -1e20;
  ASSERT_EQ(s->QueryPoint(&in, &out), 1);
  EXPECT_EQ(out.found, 1);
  EXPECT_EQ(out.node, s.get());
  EXPECT_EQ(out.value, -1e20);
  const float* bx = s->GetBounds(0);
  const float* by = s->GetBounds(1);
  const double halfPixel = 0.5 * 1.25 / kWidth;
  EXPECT_NEAR(out.x, (Unit(px) + 0.5) * (bx[1] - bx[0]) + bx[0], halfPixel * (bx[1] - bx[0]) * 1.01);
  EXPECT_NEAR(out.y, (Unit(py) + 0.5) * (by[1] - by[0]) + by[0], halfPixel * (by[1] - by[0]) * 1.01);
  // The plane at the point's row and column positions.
  const double rowPos = (Unit(py) + 0.5) * kRows - 0.5;
  const double colPos = (Unit(px) + 0.5) * kCols - 0.5;
  EXPECT_NEAR(out.z, -50.0 + 2.0 * rowPos + 3.0 * colPos, 5.0 * halfPixel * (2.0 * kRows + 3.0 * kCols));
  EXPECT_EQ(out.colour, s->GetCellColor(5, 2));
  EXPECT_EQ(Sd_Node::GetSharedPick()->colour, out.colour);
  EXPECT_EQ(Sd_Node::GetSharedPick()->value, 0.0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Beside the data, and over four cells without height: no answer and
  // nothing written.
  for (const auto& at : {std::pair<int, int>{4, 4}, {CellX(6), CellY(3)}}) {
    SDN_PickIn miss = {&picker, at.first, at.second, 0, 0};
    SDN_PickOut none;
    memset(&none, 0x5A, sizeof none);
    SDN_PickOut before = none;
    EXPECT_EQ(s->QueryPoint(&miss, &none), 0) << at.first << ", " << at.second;
    EXPECT_EQ(memcmp(&none, &before, sizeof none), 0);
  }
}

TEST_F(SoundingPick, SelectingToolSelectsFsdWindowsThatThenDraw) {
  auto htf = Grid<Sd_HTFSounding>(kRows, kCols, Tilted);
  std::unique_ptr<FlatSounding> fsd(new FlatSounding());
  {
    const auto records = sounding_pick::GridRecords<FsdSndRecord>(kRows, kCols, 1, Tilted);
    fsd->SetCellSize(sounding_pick::kCell);
    ASSERT_EQ(fsd->SetSoundings(records.data(), static_cast<int>(records.size())), 0);
    ASSERT_EQ(fsd->UpdateCellStatistics(1), 0);
  }
  fsd->HideSurface();
  DepthPicker picker(kWidth, kHeight);
  SDN_PickOut out = {};
  // The selecting tool's release over cell (4, 6).
  SDN_PickIn release = {&picker, CellX(6), CellY(4), 1, 1};
  htf->Render();
  EXPECT_EQ(htf->QueryPoint(&release, &out), 0) << "HTF soundings select with action 0 only";
  EXPECT_EQ(WindowOf(*htf).r0, -1);
  SDN_PickIn plain = {&picker, CellX(6), CellY(4), 1, 0};
  EXPECT_EQ(htf->QueryPoint(&plain, &out), 1);
  EXPECT_EQ(WindowOf(*htf), (Window{3, 5, 5, 7}));

  Clear();
  fsd->Render();
  SDN_PickIn dragTo = {&picker, CellX(6), CellY(4), 1, 2};
  EXPECT_EQ(fsd->QueryPoint(&dragTo, &out), 0);
  SDN_PickIn background = {&picker, 2, 2, 1, 1};
  EXPECT_EQ(fsd->QueryPoint(&background, &out), 0);
  EXPECT_EQ(WindowOf(*fsd).r0, -1);
  ASSERT_EQ(fsd->QueryPoint(&release, &out), 1);
  EXPECT_EQ(WindowOf(*fsd), (Window{3, 5, 5, 7}));
  EXPECT_EQ(out.found, 0) << "a selection is no readout";
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Seen from the side (x to the right, z up): the outline's first edge,
  // along row 3's lower border from column 5 to 6, and the stem of the
  // window's sounding in cell (4, 6) are white; no stem stands in column 1.
  Clear();
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
  fsd->Render();
  Finish();
  int n = 0;
  const float* outline = fsd->GetWindowOutline(&n);
  ASSERT_EQ(n, 12);
  const float* bz = fsd->GetBounds(2);
  const auto unitZ = [&](double z) { return (z - bz[0]) / (bz[1] - bz[0]) - 0.5; };
  const double edge[3] = {0.5 * (outline[0] + outline[3]), 0.5 * (outline[1] + outline[4]),
                          unitZ(0.5 * (outline[2] + outline[5]))};
  EXPECT_TRUE(WhiteNear(edge, 1)) << "the outline";
  const float* bx = fsd->GetBounds(0);
  const auto stem = [&](int row, int col) {
    const FsdSndRecord& r = fsd->GetRecords()[row * kCols + col];
    return std::array<double, 3>{(r.x - bx[0]) / (bx[1] - bx[0]) - 0.5, 0.0, 0.5 * (unitZ(r.z) - 0.5)};
  };
  EXPECT_TRUE(WhiteNear(stem(4, 6).data(), 1)) << "a stem in the window";
  EXPECT_FALSE(WhiteNear(stem(4, 1).data(), 1)) << "no stem outside it";
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

}  // namespace
