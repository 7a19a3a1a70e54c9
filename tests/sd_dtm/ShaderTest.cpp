// The row shader: sweep order, row requests, colour sources and the light
// that slopes get from the sun.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "DTMTestSupport.h"
#include "Sv_Shader.h"
#include "TestSupport.h"

using dtm_test::Brightness;
using orvanta_test::TempDir;

namespace {

constexpr float kPi = 3.14159265f;

// A grid handed to the shader row by row through one shared buffer, as the
// terrain classes do; records which rows were asked for.
struct Rows {
  std::vector<std::vector<unsigned short>> data;
  std::vector<unsigned short> buffer;
  std::vector<int> asked;

  Rows(int rows, int cols, unsigned short (*fn)(int, int, int, int)) : data(rows), buffer(cols) {
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) data[r].push_back(fn(r, c, rows, cols));
    }
  }
  static unsigned short* Source(int row, void* self) {
    Rows* g = static_cast<Rows*>(self);
    g->asked.push_back(row);
    g->buffer = g->data[row];
    return g->buffer.data();
  }
};

unsigned short Level(int, int, int, int) { return 30000; }
unsigned short NorthRamp(int r, int, int rows, int) { return static_cast<unsigned short>(1 + 65534 * r / (rows - 1)); }

// Shades a whole grid; row r of the result is grid row r.
std::vector<std::vector<unsigned>> ShadeAll(Sv_Shader& shader, int rows, int cols) {
  std::vector<std::vector<unsigned>> out(rows, std::vector<unsigned>(cols, 0));
  while (shader.GetNextRow() >= 0) {
    const int r = shader.GetNextRow();
    if (shader.ShadeRow(out[r].data()) != 0) break;
  }
  return out;
}

}  // namespace

TEST(Shader, SweepFollowsTheSunAndAsksForEveryRowOnce) {
  Rows grid(6, 4, Level);
  Sv_Shader up(6, 4);
  up.SetHeightCallback(Rows::Source, &grid);
  EXPECT_EQ(up.GetRowStep(), 1);
  std::vector<int> shaded;
  std::vector<unsigned> row(4);
  while (up.GetNextRow() >= 0) {
    shaded.push_back(up.GetNextRow());
    ASSERT_EQ(up.ShadeRow(row.data()), 0);
  }
  EXPECT_EQ(shaded, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(grid.asked, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(up.ShadeRow(row.data()), -1) << "the sweep is over";

  Rows grid2(6, 4, Level);
  Sv_Shader down(6, 4);
  down.SetHeightCallback(Rows::Source, &grid2);
  down.SetSun(-1.0f, 0.5f, 0.1f, 0.1f, 0.5f, 0.3f);
  EXPECT_EQ(down.GetRowStep(), -1);
  shaded.clear();
  while (down.GetNextRow() >= 0) {
    shaded.push_back(down.GetNextRow());
    ASSERT_EQ(down.ShadeRow(row.data()), 0);
  }
  EXPECT_EQ(shaded, (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(grid2.asked, (std::vector<int>{5, 4, 3, 2, 1, 0}));
}

TEST(Shader, FlatGroundKeepsTheColourMapColourOfItsCode) {
  TempDir dir;
  ASSERT_TRUE(dtm_test::WriteRampColormap(dir.file("ramp.cmap")));
  Rows grid(4, 5, Level);
  Sv_Shader shader(4, 5);
  ASSERT_EQ(shader.LoadColormap(dir.file("ramp.cmap").c_str()), 0);
  shader.SetHeightCallback(Rows::Source, &grid);
  shader.SetHeightRange(0.0, 100.0);
  const auto out = ShadeAll(shader, 4, 5);
  const unsigned expected = PackColour(30000 >> 8, 255 - (30000 >> 8), 0, 255);
  for (const auto& row : out) {
    for (unsigned c : row) EXPECT_EQ(c, expected);
  }
}

TEST(Shader, SlopesFacingTheSunAreBrighterThanFlatGroundAndThoseFacingAway) {
  // The ramp rises towards +x, so it faces -x; the ramp of rows faces -y.
  auto centre = [](float azimuth, unsigned short (*fn)(int, int, int, int)) {
    Rows grid(9, 9, fn);
    Sv_Shader shader(9, 9);
    shader.SetHeightCallback(Rows::Source, &grid);
    shader.SetHeightRange(0.0, 100.0);
    shader.SetSun(azimuth, 0.5f, 0.1f, 0.10622f, 0.5f, 0.35f);
    return Brightness(ShadeAll(shader, 9, 9)[4][4]);
  };
  const int flat = 3 * 128;  // the grey ramp's colour of a code near 32768
  const int fromWest = centre(-kPi / 2, dtm_test::RampCode);
  const int fromEast = centre(kPi / 2, dtm_test::RampCode);
  EXPECT_GT(fromWest, flat);
  EXPECT_LT(fromEast, flat);
  const int fromSouth = centre(kPi, NorthRamp);
  const int fromNorth = centre(0.0f, NorthRamp);
  EXPECT_GT(fromSouth, fromNorth);
  // Sun from the side: the slope is lit like flat ground (up to the
  // steepness it loses against the sun's height).
  EXPECT_NEAR(centre(0.0f, dtm_test::RampCode), centre(kPi, dtm_test::RampCode), 3);
}

TEST(Shader, StrengthZeroOrAnEmptyHeightRangeGivesFlatColours) {
  for (int variant = 0; variant < 2; ++variant) {
    Rows grid(5, 5, dtm_test::RampCode);
    Sv_Shader shader(5, 5);
    shader.SetHeightCallback(Rows::Source, &grid);
    shader.SetHeightRange(0.0, variant == 0 ? 100.0 : 0.0);
    shader.SetSun(-kPi / 2, variant == 0 ? 0.0f : 1.0f, 0.1f, 1.0f, 0.5f, 0.35f);
    const auto out = ShadeAll(shader, 5, 5);
    for (int c = 0; c < 5; ++c) {
      const unsigned grey = grid.data[2][c] >> 8;
      EXPECT_EQ(out[2][c], PackColour(grey, grey, grey, 255)) << variant << " " << c;
    }
  }
}

TEST(Shader, NodesWithoutValueMakeNoCliffs) {
  Rows grid(3, 5, Level);
  grid.data[1][2] = 0;
  Sv_Shader shader(3, 5);
  shader.SetHeightCallback(Rows::Source, &grid);
  shader.SetHeightRange(0.0, 100.0);
  shader.SetSun(kPi / 4, 1.0f, 0.1f, 1.0f, 0.5f, 0.35f);
  const auto out = ShadeAll(shader, 3, 5);
  const unsigned level = PackColour(30000 >> 8, 30000 >> 8, 30000 >> 8, 255);
  EXPECT_EQ(out[1][1], level);
  EXPECT_EQ(out[1][3], level);
  EXPECT_EQ(out[0][2], level);
  EXPECT_EQ(out[1][2], PackColour(0, 0, 0, 255)) << "no value: colour of index 0, unlit";
}

TEST(Shader, AlternateModeTakesTheColourIndexFromTheSecondSource) {
  TempDir dir;
  ASSERT_TRUE(dtm_test::WriteRampColormap(dir.file("ramp.cmap")));
  Rows heights(3, 4, Level);
  Rows alt(3, 4, dtm_test::RampCode);
  Sv_Shader shader(3, 4);
  ASSERT_EQ(shader.LoadColormap(dir.file("ramp.cmap").c_str()), 0);
  shader.SetHeightCallback(Rows::Source, &heights);
  shader.SetHeightRange(0.0, 100.0);
  shader.SetAltHeightCallback(Rows::Source, &alt);
  shader.SetAltHeightRange(-1.0, 1.0);
  shader.SetAltHeightMode(1);
  const auto out = ShadeAll(shader, 3, 4);
  for (int c = 0; c < 4; ++c) {
    const unsigned i = alt.data[1][c] >> 8;
    EXPECT_EQ(out[1][c], PackColour(i, 255 - i, 0, 255)) << "lit by the level heights, coloured by the ramp";
  }
  EXPECT_EQ(alt.asked.size(), 3u);
}

TEST(Shader, ColourSourceGivesTheBaseColoursAndKeepsTheirAlpha) {
  struct Colours {
    std::vector<unsigned> row = std::vector<unsigned>(4, PackColour(10, 20, 30, 99));
    static unsigned* Source(int, void* self) { return static_cast<Colours*>(self)->row.data(); }
  } colours;
  Rows heights(3, 4, Level);
  Sv_Shader shader(3, 4);
  shader.SetHeightCallback(Rows::Source, &heights);
  shader.SetHeightRange(0.0, 100.0);
  shader.SetColorSourceCallback(Colours::Source, &colours);
  const auto out = ShadeAll(shader, 3, 4);
  EXPECT_EQ(out[2][3], PackColour(10, 20, 30, 99));
}

