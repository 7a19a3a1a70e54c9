// Non-contiguous terrain model on screen: holes where nodes are empty,
// strips that break at gaps, progressive passes and picks next to gaps.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::Budget;
using dtm_test::FinishPass;
using dtm_test::kEmpty;
using dtm_test::Level;
using dtm_test::ObliqueView;
using dtm_test::TopDownView;
using orvanta_test::GLTest;

namespace {

// A flat 17 x 17 terrain (16 pixels a cell from above) with the nodes of
// rows and columns 6 ... 9 empty, at full detail.
std::unique_ptr<Sd_SonarDTM> HoledTerrain() {
  auto dtm = dtm_test::MakeSonar(17, 17, 6, 9, 6, 9, Level);
  dtm->ResetSettings();
  return dtm;
}

// Pixel at the centre of grid cell (row, col) of the holed terrain.
int CellPixel(double index) { return static_cast<int>((index + 0.5) * 16.0); }

// One vertex of a feedback buffer in GL_3D_COLOR form.
struct FeedbackVertex {
  float x, y, z, r, g, b, a;
};

// The polygons (triangles) and line segments drawn by draw, in window
// coordinates.
struct Feedback {
  std::vector<std::vector<FeedbackVertex>> polygons;
  std::vector<std::vector<FeedbackVertex>> lines;
};

template <class Draw>
Feedback Capture(Draw draw) {
  std::vector<GLfloat> buffer(1 << 16);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  const GLint n = glRenderMode(GL_RENDER);
  Feedback out;
  EXPECT_GE(n, 0) << "feedback buffer overflow";
  auto vertex = [&](GLint i) {
    FeedbackVertex v;
    memcpy(&v, &buffer[i], sizeof(v));
    return v;
  };
  for (GLint i = 0; i < n;) {
    const GLint token = static_cast<GLint>(buffer[i++]);
    if (token == GL_POLYGON_TOKEN) {
      const GLint count = static_cast<GLint>(buffer[i++]);
      std::vector<FeedbackVertex> p;
      for (GLint k = 0; k < count; ++k, i += 7) p.push_back(vertex(i));
      out.polygons.push_back(p);
    } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
      out.lines.push_back({vertex(i), vertex(i + 7)});
      i += 14;
    } else if (token == GL_POINT_TOKEN) {
      i += 7;
    } else if (token == GL_PASS_THROUGH_TOKEN) {
      i += 1;
    } else {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
  }
  return out;
}

// Window x of grid column c of an n-column grid seen top-down.
float ColumnX(double c, int n) { return static_cast<float>(c * GLTest::kWidth / (n - 1)); }

}  // namespace

TEST_F(GLTest, HolesAreDrawnWhereTheNodesAreEmpty) {
  Budget budget(0.0f);
  auto dtm = HoledTerrain();
  TopDownView();
  dtm->Render();
  // The cells whose first corner (lowest row and column) is empty stay open.
  for (double r : {6.0, 7.5, 9.0}) {
    for (double c : {6.0, 7.0, 9.0}) {
      EXPECT_EQ(Brightness(CellPixel(c), CellPixel(r)), 0) << "cell " << r << ", " << c;
    }
  }
  // Everything around is drawn, also the cells that only touch the gap.
  for (double r : {0.0, 5.0, 10.0, 15.0}) {
    for (double c : {0.0, 5.0, 7.0, 10.0, 15.0}) {
      EXPECT_GT(Brightness(CellPixel(c), CellPixel(r)), 0) << "cell " << r << ", " << c;
    }
  }
  EXPECT_GT(Brightness(CellPixel(7), CellPixel(5)), 0);
  EXPECT_GT(Brightness(CellPixel(5), CellPixel(7)), 0);
  // The hole is the 4 x 4 cells and nothing else.
  EXPECT_EQ(kWidth * kHeight - CountInk(), 64 * 64);
  // Node colours reach the screen: (10 c, 10 r, 200) near node (2, 12).
  const auto p = ReadPixel(12 * 16 + 1, 2 * 16 + 1);
  EXPECT_NEAR(p.r, 120, 3);
  EXPECT_NEAR(p.g, 20, 3);
  EXPECT_EQ(p.b, 200);
}

TEST_F(GLTest, WireFrameLeavesTheHoleEmptyToo) {
  Budget budget(0.0f);
  auto dtm = HoledTerrain();
  dtm->SetDrawMode(0);
  TopDownView();
  dtm->Render();
  const int ink = CountInk();
  EXPECT_GT(ink, 16 * 256) << "lines along and across the rows";
  EXPECT_LT(ink, kWidth * kHeight / 2);
  int inHole = 0;
  for (int y = 6 * 16 + 4; y < 10 * 16 - 4; ++y) {
    for (int x = 6 * 16 + 4; x < 10 * 16 - 4; ++x) inHole += Brightness(x, y) > 0;
  }
  EXPECT_EQ(inHole, 0);
  EXPECT_GT(std::max(Brightness(3 * 16 - 1, 3 * 16 + 8), Brightness(3 * 16, 3 * 16 + 8)), 0)
      << "a line across the rows at column 3";
}

// One strip of 5 columns with node (0, 2) empty: a piece of four triangles
// up to column 2, closed there with substitute vertices, and a new piece of
// two triangles from column 3. Nothing covers the cell from column 2 to 3.
TEST_F(GLTest, StripBreaksAtAnEmptyNodeWithSubstituteVertices) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeSonar(2, 5, 0, 0, 2, 2, Level);
  dtm->GetElevationGrid()[1][1] = 40000;
  dtm->GetElevationGrid()[1][2] = 20000;
  dtm->ResetSettings();
  TopDownView();
  const Feedback f = Capture([&] { dtm->Render(); });
  ASSERT_EQ(f.polygons.size(), 6u);
  const float x2 = ColumnX(2, 5), x3 = ColumnX(3, 5);
  int closing = 0;
  for (const auto& p : f.polygons) {
    float lo = 1e9f, hi = -1e9f;
    for (const auto& v : p) {
      lo = std::min(lo, v.x);
      hi = std::max(hi, v.x);
      // The substitute on row 0 at column 2: no row below, so the last
      // vertex before it gives height and colour (node (1, 1)).
      if (std::fabs(v.x - x2) < 0.5f && v.y < 1.0f) {
        ++closing;
        EXPECT_NEAR(v.r * 255.0f, 10.0f, 0.6f);
        EXPECT_NEAR(v.g * 255.0f, 10.0f, 0.6f);
      }
    }
    EXPECT_TRUE(hi <= x2 + 0.5f || lo >= x3 - 0.5f) << "a triangle spans the gap " << lo << " ... " << hi;
  }
  EXPECT_GT(closing, 0);
  // The substitute's height: the vertex at (row 0, column 2) lies as deep
  // as node (1, 1); the one above it is node (1, 2) itself.
  float z20 = -1, z21 = -1, z11 = -1;
  for (const auto& p : f.polygons) {
    for (const auto& v : p) {
      const bool top = v.y > kHeight - 1.0f;
      if (std::fabs(v.x - x2) < 0.5f) (top ? z21 : z20) = v.z;
      if (std::fabs(v.x - ColumnX(1, 5)) < 0.5f && top) z11 = v.z;
    }
  }
  EXPECT_FLOAT_EQ(z20, z11);
  EXPECT_NE(z20, z21);
}

// An empty node of row 0 in the wire frame: the line along the row ends
// there with one vertex at the last height, and the row's next node starts
// a new line.
TEST_F(GLTest, WireStripEndsAtAnEmptyNodeOfTheFirstRow) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeSonar(2, 5, 0, 0, 2, 2, Level);
  dtm->SetDrawMode(0);
  dtm->ResetSettings();
  TopDownView();
  const Feedback f = Capture([&] { dtm->Render(); });
  int alongRow = 0, across = 0;
  for (const auto& l : f.lines) {
    const bool horizontal = std::fabs(l[0].y - l[1].y) < 0.5f;
    if (horizontal && l[0].y < 1.0f) {
      ++alongRow;
      const float lo = std::min(l[0].x, l[1].x), hi = std::max(l[0].x, l[1].x);
      EXPECT_TRUE(hi <= ColumnX(2, 5) + 0.5f || lo >= ColumnX(3, 5) - 0.5f);
    } else if (!horizontal) {
      ++across;
    }
  }
  EXPECT_EQ(alongRow, 3) << "0-1, 1-2 (closing) and 3-4";
  EXPECT_EQ(across, 5) << "every column; the empty one's with substitute heights";
}

TEST_F(GLTest, AllEmptyGridDrawsNothingAndEveryPickMisses) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeSonar(9, 9, 0, 8, 0, 8, Level);
  dtm->SetEmptyCode(0);
  for (int r = 0; r < 9; ++r) {
    for (int c = 0; c < 9; ++c) dtm->GetElevationGrid()[r][c] = 0;
  }
  dtm->ResetSettings();
  TopDownView();
  dtm->Render();
  EXPECT_EQ(CountInk(), 0);
  const Feedback f = Capture([&] { dtm->Render(); });
  EXPECT_TRUE(f.polygons.empty());
  dtm->SetDrawMode(0);
  EXPECT_TRUE(Capture([&] { dtm->Render(); }).lines.empty());
  EXPECT_EQ(FinishPass(*dtm), 3) << "begin, one drawing step, end";
  DepthPicker picker(kWidth, kHeight);
  for (int x : {10, 128, 250}) {
    SDN_PickIn in = {&picker, x, 128, 0, 0};
    SDN_PickOut out = dtm_test::NoPick();
    EXPECT_EQ(dtm->QueryPoint(&in, &out), 0);
  }
}

// Picks on the holed terrain seen from above: inside the data a pick hits
// with the geographic point, height, colour and alternate value; on a cell
// drawn next to the gap (one corner empty) and inside the hole it misses.
TEST_F(GLTest, PickNextToAGapMissesAndInsideTheDataHits) {
  Budget budget(0.0f);
  auto dtm = HoledTerrain();
  ASSERT_TRUE(dtm_test::AddAltValues(dtm.get()));
  TopDownView();
  dtm->Render();
  DepthPicker picker(kWidth, kHeight);
  auto pick = [&](double row, double col, SDN_PickOut* out) {
    SDN_PickIn in = {&picker, CellPixel(col), CellPixel(row), 0, 0};
    *out = dtm_test::NoPick();
    return dtm->QueryPoint(&in, out);
  };
  SDN_PickOut out;
  ASSERT_EQ(pick(2, 3, &out), 1);
  const double cell = 1000.0 / 16;
  EXPECT_NEAR(out.x, 1000.0 + 3.5 * cell, cell / 4);
  EXPECT_NEAR(out.y, 5000.0 + 2.5 * cell, cell / 4);
  EXPECT_NEAR(out.z, 30000.0 / 65535.0 * 100.0, 1e-6);
  EXPECT_EQ(out.node, dtm.get());
  EXPECT_EQ(out.found, 1);
  EXPECT_NEAR(out.value, 3003.0 / 65535.0 * 200.0 - 50.0, 1e-9) << "alternate value of node (2, 3)";
  EXPECT_EQ(Sd_Node::GetSharedPick()->value, out.value);
  EXPECT_EQ(Sd_Node::GetSharedPick()->colour, out.colour);
  EXPECT_NEAR(ColourRed(out.colour), 35, 1);

  // Drawn, but one corner of the cell is empty.
  EXPECT_GT(Brightness(CellPixel(5), CellPixel(5)), 0);
  EXPECT_EQ(pick(5, 5, &out), 0);
  EXPECT_EQ(out.found, 0);
  EXPECT_FLOAT_EQ(dtm->GetPickPosition()[0], -1.0f);
  EXPECT_EQ(pick(5, 8, &out), 0);
  EXPECT_EQ(pick(8, 5, &out), 0) << "cell (8, 5): its corner (8, 6) is empty";
  // In the hole: the background.
  EXPECT_EQ(pick(7, 7, &out), 0);
  // Just beyond the gap, inside the data again.
  EXPECT_EQ(pick(10, 10, &out), 1);
  EXPECT_EQ(pick(4, 7, &out), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, FinishedProgressivePassOverGapsMatchesRender) {
  Budget budget(25000.0f);
  auto dtm = dtm_test::MakeSonar(120, 150, 40, 70, 50, 90);
  for (int r = 0; r < 120; r += 7) dtm->GetElevationGrid()[r][(r * 13) % 150] = kEmpty;
  dtm->ResetSettings();
  dtm_test::ExpectFinishedPassMatchesRender(*dtm);
}

TEST_F(GLTest, AbandonedPassAndReleasedGridsLeaveTheStacksBalanced) {
  Budget budget(0.0f);
  auto dtm = dtm_test::MakeSonar(200, 200, 50, 150, 50, 150);
  dtm->ResetSettings();
  dtm->SetAlpha(100);
  ObliqueView();
  dtm_test::ExpectAbandonedPassesBalanced(*dtm, {1, 3});
  // Grids released in the middle of a pass: the pass ends, nothing drawn
  // later, no pick answers.
  EXPECT_EQ(dtm->StepRender(), 0);
  EXPECT_EQ(dtm->StepRender(), 0);
  dtm->FreeData();
  Clear();
  EXPECT_GT(FinishPass(*dtm), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  dtm->Render();
  EXPECT_EQ(CountInk(), 0);
  DepthPicker picker(kWidth, kHeight);
  SDN_PickIn in = {&picker, 128, 128, 0, 0};
  SDN_PickOut out = dtm_test::NoPick();
  EXPECT_EQ(dtm->QueryPoint(&in, &out), 0);
}

TEST_F(GLTest, AlphaBelow255DrawsTheTerrainBlended) {
  Budget budget(0.0f);
  auto dtm = HoledTerrain();
  for (int r = 0; r < 17; ++r) {
    for (int c = 0; c < 17; ++c) dtm->GetColorGrid()[r][c] = PackColour(200, 200, 200, 255);
  }
  dtm->SetAlpha(128);
  TopDownView();
  dtm_test::ClearTo(0.0f, 0.0f, 1.0f);
  dtm->Render();
  const auto p = ReadPixel(CellPixel(2), CellPixel(2));
  EXPECT_NEAR(p.r, 100, 2);
  EXPECT_NEAR(p.b, 100 + 127, 2);
  EXPECT_EQ(ReadPixel(CellPixel(7), CellPixel(7)).b, 255) << "the hole shows the background unblended";
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

// A terrain read from a file through the factory (after a damaged record,
// which the factory discards) draws with its hole.
TEST_F(GLTest, TerrainReadFromAFileDrawsItsHole) {
  orvanta_test::TempDir dir;
  const std::string path = dir.file("gaps.sd");
  {
    auto out = HoledTerrain();
    dtm_test::SDWriter w(path);
    w.Raw(TDR_TAG_SD_SONARDTM, dtm_test::Bytes<unsigned short>(0));
    w.Object(out.get());
    ASSERT_TRUE(w.Close());
  }
  std::unique_ptr<dtm_test::ReadResult> in;
  {
    dtm_test::Messages quiet;
    in = dtm_test::ReadSD(path);
  }
  ASSERT_NE(in->Terrain<Sd_SonarDTM>(0), nullptr);
  EXPECT_EQ(in->children.size(), 1u);
  Budget budget(0.0f);
  TopDownView();
  // The stored z scale (0.2) only flattens the relief; from above the
  // picture is the same.
  in->root->Render();
  EXPECT_EQ(Brightness(CellPixel(7), CellPixel(7)), 0);
  EXPECT_GT(Brightness(CellPixel(3), CellPixel(7)), 0);
  EXPECT_EQ(kWidth * kHeight - CountInk(), 64 * 64);
}
