// Sounding data sets in OpenGL: what the thinning tool marks is drawn, each
// marked sounding with its stem and symbol, and nothing else changes.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "../sd_survey/SoundingTestSupport.h"
#include "GLTestFixture.h"

using orvanta_test::GLPixel;
using orvanta_test::GLTest;

namespace {

// HTF soundings with symbols large enough to see.
struct Thinned : Sd_HTFSounding {
  void SetSymbolSize(float size) { m_style.SetSymbolSize(size); }
};

class SoundingThinDraw : public GLTest {
 protected:
  static std::vector<GLPixel> Picture() {
    std::vector<GLPixel> p(kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
};

}  // namespace

TEST_F(SoundingThinDraw, MarkedSoundingsShowWithTheirSymbols) {
  // 2 rows x 8 columns of 100 m cells, one sounding at each cell's centre,
  // rising from -40 m in the west to -5 m in the east; row 1 lies 10 m
  // lower.
  std::vector<HTFSndRecord> records;
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 8; ++c) {
      HTFSndRecord h{};
      h.x = 100.0 * c;
      h.y = 100.0 * r;
      h.z = -40.0 + 5.0 * c - 10.0 * r;
      records.push_back(h);
    }
  }
  Thinned s;
  s.SetSymbolSize(0.05f);
  ASSERT_EQ(s.SetSoundings(records.data(), static_cast<int>(records.size())), 0);
  s.SetCellSize(100.0f);
  ASSERT_EQ(s.UpdateCellStatistics(1), 0);
  ASSERT_EQ(s.GetCols(), 8);
  // Pre-shaded, the surface needs no light set.
  Sd_Node::SetLighting(nullptr);
  s.SetPreShaded(1);
  // Seen from the south, x across and z up; only the soundings' overlays.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1.0, 1.0, -1.0, 1.0, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);

  // A radius of 250 m keeps columns 7, 4 and 1 of row 0.
  s.SetThinRadius(250.0f);
  s.ThinSoundings();
  int n = 0;
  const int* marked = s.GetMarkedList(&n);
  ASSERT_EQ(std::vector<int>(marked, marked + n), (std::vector<int>{7, 4, 1}));

  s.SetShowMarked(0);
  s.Render();
  const std::vector<GLPixel> without = Picture();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  s.SetShowMarked(1);
  s.Render();
  const std::vector<GLPixel> with = Picture();
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Screen x of column c: ((100 c + 10) / 800 + 0.5) * 128 (the grid
  // starts 10 m west of the first sounding). The marked soundings change
  // the picture around their columns only: a red stem from above and the
  // symbol at the sounding.
  const auto column = [](int c) { return static_cast<int>(((100.0 * c + 10.0) / 800.0 + 0.5) * 128.0); };
  std::set<int> changedColumns;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const size_t i = static_cast<size_t>(y) * kWidth + x;
      if (memcmp(&with[i], &without[i], sizeof(GLPixel)) == 0) continue;
      int nearest = 0;
      for (int c = 1; c < 8; ++c) {
        if (std::abs(column(c) - x) < std::abs(column(nearest) - x)) nearest = c;
      }
      changedColumns.insert(nearest);
    }
  }
  EXPECT_EQ(changedColumns, (std::set<int>{1, 4, 7}));
  for (int c : {1, 4, 7}) {
    int red = 0, symbol = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = column(c) - 4; x <= column(c) + 4; ++x) {
        const size_t i = static_cast<size_t>(y) * kWidth + x;
        const GLPixel& p = with[i];
        const bool stem = p.r > 200 && p.g < 40 && p.b < 40;
        red += stem && x == column(c);
        symbol += !stem && memcmp(&p, &without[i], sizeof(GLPixel)) != 0;
      }
    }
    EXPECT_GE(red, 5) << "stem of column " << c;
    EXPECT_GE(symbol, 4) << "symbol of column " << c;
  }
}
