// Sounding data sets: colouring of the cells by depth, spread, count and the
// record attributes of either class, the colour-map index rule, the
// colour-range listener, and hill shading of the pre-shaded colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "SoundingTestSupport.h"

namespace {

// A data set whose maps a test can see through: map 1 entry i is i (in
// the red byte), map 2 entry i is i in the green byte, so a cell's colour
// names the entry it took.
template <class Base>
struct Colourable : Base {
  using Base::ColorCells;
  void IdentityMaps() {
    for (unsigned i = 0; i < 256; ++i) {
      this->m_style.Map(0)[i] = i | 0x7F000000u;  // alpha bytes are never taken
      this->m_style.Map(1)[i] = i << 8;
    }
  }
  void FillMap(unsigned colour) {
    for (unsigned i = 0; i < 256; ++i) this->m_style.Map(0)[i] = colour;
  }
  void SetEmptyAlpha(int a) { this->m_style.SetEmptyCellAlpha(a); }
  void Bin(float cellSize) {
    this->SetCellSize(cellSize);
    EXPECT_EQ(this->UpdateCellStatistics(1), 0);
  }
};

HTFSndRecord Htf(double x, double y, double z, unsigned char flags, int date) {
  HTFSndRecord r{};
  r.x = x;
  r.y = y;
  r.z = z;
  r.flags = flags;
  r.date = date;
  return r;
}

int g_listened = 0;
float g_listenedRange[2];
void Listen(Sd_Node*, float low, float high, void*) {
  ++g_listened;
  g_listenedRange[0] = low;
  g_listenedRange[1] = high;
}

struct ListenerScope {
  ListenerScope() {
    g_listened = 0;
    Sd_Node::SetColorRangeCallback(Listen, nullptr);
  }
  ~ListenerScope() { Sd_Node::SetColorRangeCallback(nullptr, nullptr); }
};

constexpr unsigned kAlpha230 = 230u << 24;

}  // namespace

// One row of three cells: A (five soundings, none plotted, dated 0), B
// empty, C (one plotted sounding dated the 29th of February 2024).
TEST(SoundingColour, HtfModesAttributesAndTheIndexRule) {
  ListenerScope listener;
  Colourable<Sd_HTFSounding> s;
  std::vector<HTFSndRecord> r;
  for (int i = 0; i < 5; ++i) r.push_back(Htf(0.0, 0.0, -10.0 - i, 0, 0));
  r.push_back(Htf(200.0, 0.0, -12.0, HTF_PLOTTED_FLAG, 20240229));
  ASSERT_EQ(s.SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  s.IdentityMaps();
  s.Bin(100.0f);
  ASSERT_EQ(s.GetRows(), 1);
  ASSERT_EQ(s.GetCols(), 3);
  const auto colour = [&](int col) { return s.GetCellColor(0, col); };

  // Count: 5 of the configured 10 is entry 127 (127.5 truncated), 1 of 10
  // entry 25; the empty cell takes entry 0 with the empty-cell alpha 0.
  g_listened = 0;
  s.SetColorMode(2);
  s.SetColorRange(0.0f, 10.0f);
  EXPECT_EQ(colour(0), kAlpha230 | 127u);
  EXPECT_EQ(colour(2), kAlpha230 | 25u);
  EXPECT_EQ(colour(1), 0u);
  EXPECT_EQ(s.GetShadedColor(0, 0), kAlpha230) << "colouring sets only the pre-shaded alpha";
  EXPECT_EQ(s.GetShadedColor(0, 1), 0u);
  EXPECT_EQ(g_listened, 2) << "once per recolouring";
  EXPECT_EQ(g_listenedRange[1], 10.0f);
  // The node holds its own copy of the map it was coloured with.
  ASSERT_NE(s.GetColorMap(), nullptr);
  EXPECT_NE(s.GetColorMap(), s.GetColorMap1());
  EXPECT_EQ(memcmp(s.GetColorMap(), s.GetColorMap1(), 256 * sizeof(unsigned)), 0);

  // A range without width: entry 0 for every cell with a height.
  s.SetColorRange(2.0f, 2.0f);
  EXPECT_EQ(colour(0), kAlpha230);
  EXPECT_EQ(colour(2), kAlpha230);

  // A mode outside 0 ... 3 colours nothing and still tells the listener.
  g_listened = 0;
  s.SetColorMode(7);
  EXPECT_EQ(g_listened, 1);
  EXPECT_EQ(colour(0), kAlpha230);

  // Spread: a cell without height gets the bare empty-cell alpha in both
  // colours.
  s.SetEmptyAlpha(255);
  s.SetColorMode(1);
  EXPECT_EQ(colour(1), 0xFF000000u);
  EXPECT_EQ(s.GetShadedColor(0, 1), 0xFF000000u);
  s.SetEmptyAlpha(0);
  s.SetColorMode(1);
  EXPECT_EQ(colour(1), 0u);

  // Day of the year in a configured range of 0 ... 255: the 29th of
  // February is day 60, date 0 is day 0.
  s.SetColorMode(3);
  s.SetColorAttribute(5);
  s.SetColorRange(0.0f, 255.0f);
  EXPECT_EQ(colour(2), kAlpha230 | 60u);
  EXPECT_EQ(colour(0), kAlpha230);
  EXPECT_EQ(colour(1), 0u);

  // Flags through map 2: plotted (12) gives entry 255 where a sounding has
  // the flag, 0 where none has, and 0 with the empty-cell alpha for the
  // empty cell; NBA (11) leaves empty cells as they were.
  s.SetEmptyAlpha(255);
  s.SetColorAttribute(12);
  EXPECT_EQ(colour(2), kAlpha230 | (255u << 8));
  EXPECT_EQ(colour(0), kAlpha230);
  EXPECT_EQ(colour(1), 0xFF000000u);
  s.SetEmptyAlpha(0);
  s.SetColorAttribute(11);
  EXPECT_EQ(colour(1), 0xFF000000u);
  EXPECT_EQ(colour(2), kAlpha230) << "no NBA sounding";
  float low, high;
  s.GetColorRange(&low, &high);
  EXPECT_EQ(high, 255.0f);

  // The index rule, value through offset 0 and scale 1: truncated toward
  // zero and limited to 0 ... 255; infinite and NaN indices give 0.
  const unsigned* map = s.GetColorMap1();
  const struct {
    float value;
    unsigned entry;
  } rule[] = {{-0.7f, 0u},
              {255.9f, 255u},
              {300.0f, 255u},
              {1e12f, 255u},
              {std::numeric_limits<float>::infinity(), 0u},
              {std::numeric_limits<float>::quiet_NaN(), 0u}};
  for (const auto& c : rule) {
    s.SetCellColor(0, 0, 0, c.value, 0.0f, 1.0f, map);
    EXPECT_EQ(colour(0), kAlpha230 | c.entry) << c.value;
  }
}

// Depth with all soundings at one z: entry 0, alpha 230, no division by
// zero. FSD confidences and frame values.
TEST(SoundingColour, FsdAttributesAndAZeroDepthRange) {
  {
    Colourable<Sd_HTFSounding> flat;
    const HTFSndRecord r[2] = {Htf(0.0, 0.0, -5.0, 0, 0), Htf(100.0, 0.0, -5.0, 0, 0)};
    ASSERT_EQ(flat.SetSoundings(r, 2), 0);
    flat.IdentityMaps();
    flat.Bin(100.0f);
    flat.SetColorMode(0);
    EXPECT_EQ(flat.GetCellColor(0, 0), kAlpha230);
    EXPECT_EQ(flat.GetCellColor(0, 1), kAlpha230);
  }
  // Cell 0: primary confidences 3, 7 and 5, frame 0; cell 1: one sounding
  // without a frame.
  Colourable<Sd_Sounding> s;
  std::vector<FsdSndRecord> r = sounding_test::FsdRecords(4);
  const signed char conf[4] = {3, 7, 5, 1};
  for (int i = 0; i < 4; ++i) {
    r[i].x = i < 3 ? 0.0 : 100.0;
    r[i].y = 0.0;
    r[i].z = -10.0 - i;
    r[i].flags = 0;
    r[i].primaryConf[0] = conf[i];
    r[i].frameIdx = i < 3 ? 0 : 99;
  }
  std::vector<FsdFrameRecord> frames = sounding_test::FsdFrames(1);
  frames[0].method = 2;
  ASSERT_EQ(s.SetFrames(frames.data(), 1), 0);
  ASSERT_EQ(s.SetSoundings(r.data(), 4), 0);
  s.IdentityMaps();
  s.Bin(100.0f);
  ASSERT_EQ(s.GetCols(), 2);

  s.SetColorMode(3);
  EXPECT_EQ(s.GetCellColor(0, 0), kAlpha230 | 85u) << "3 x 28.333334";
  float low, high;
  s.GetColorRange(&low, &high);
  EXPECT_EQ(high, 9.0f);
  // Method 2 of frame 0 is entry 170; the sounding without a frame keeps
  // the seed, which the index rule holds at 255.
  s.SetColorAttribute(16);
  EXPECT_EQ(s.GetCellColor(0, 0), kAlpha230 | 170u);
  EXPECT_EQ(s.GetCellColor(0, 1), kAlpha230 | 255u);

  int index = 7;
  EXPECT_EQ(s.GetFrame(-1, &index), nullptr);
  EXPECT_EQ(index, -1);
  index = 7;
  EXPECT_EQ(s.GetFrame(1, &index), nullptr);
  EXPECT_EQ(index, -1);
}

// A ridge across the rows, rising to row 3 and falling after it, in one
// grey: the slope facing the sun comes out brighter, whichever way the
// shader sweeps, and every row is shaded.
TEST(SoundingColour, PreShadingFollowsTheSunInEitherSweep) {
  Colourable<Sd_HTFSounding> s;
  const double z[6] = {0.0, 10.0, 20.0, 30.0, 15.0, 0.0};
  std::vector<HTFSndRecord> r;
  for (int row = 0; row < 6; ++row) {
    for (int col = 0; col < 3; ++col) r.push_back(Htf(100.0 * col, 100.0 * row, z[row], 0, 0));
  }
  ASSERT_EQ(s.SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  s.FillMap(0xFF808080u);
  s.Bin(100.0f);
  ASSERT_EQ(s.GetRows(), 6);
  const auto grey = [&](int row) { return static_cast<int>(s.GetShadedColor(row, 1) & 0xFFu); };

  // Sun from the south (-y), azimuth below 0: the sweep runs from the last
  // row down. The rising rows face the sun.
  s.ShadeCells(-3.1f, 1.0f, 0.1f, 1.0f, 0.5f, 0.0f);
  EXPECT_EQ(s.GetShadingParameters()[0], -3.1f);
  EXPECT_GT(grey(1), grey(4) + 20);
  for (int row = 0; row < 6; ++row) EXPECT_GT(grey(row), 0) << row;
  EXPECT_EQ(s.GetShadedColor(1, 1) >> 24, 230u) << "colouring set the alpha afterwards";

  // Sun from the north: the falling rows are the bright ones.
  s.ShadeCells(0.05f, 1.0f, 0.1f, 1.0f, 0.5f, 0.0f);
  EXPECT_GT(grey(4), grey(1) + 20);

  // Switching pre-shading on shades with the kept parameters again.
  s.ShadeCells(-3.1f, 1.0f, 0.1f, 1.0f, 0.5f, 0.0f);
  const unsigned before = s.GetShadedColor(4, 1);
  s.SetPreShaded(1);
  EXPECT_EQ(s.GetShadedColor(4, 1), before);
}
