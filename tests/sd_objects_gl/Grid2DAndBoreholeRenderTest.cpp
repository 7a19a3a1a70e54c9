// Drawing of the 2-D grid and of boreholes as lines and tubes, seen straight
// down the z axis with an orthographic view.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "../sd_objects/BoreholeTestSupport.h"
#include "IOTestSupport.h"
#include "GLTestFixture.h"
#include "Sd_Borehole.h"
#include "Sd_Grid2D.h"
#include "Sv_Colour.h"
#include "TestSupport.h"

namespace {

using borehole_test::Hole;
using orvanta_test::ScopedEnv;

class Grid2DAndBoreholeDraw : public orvanta_test::GLTest {
 protected:
  // The view spans -half ... half on x and y, depth -2 ... 2 (object z
  // maps to depth 0.5 - z / 4).
  void View(double half) {
    m_half = half;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half, half, -half, half, -2, 2);
    glMatrixMode(GL_MODELVIEW);
  }
  // The pixel column or row of a unit-box coordinate.
  int Pixel(double v) const { return static_cast<int>((v / m_half + 1.0) * 0.5 * kWidth); }
  static bool White(const orvanta_test::GLPixel& p) { return p.r > 200 && p.g > 200 && p.b > 200; }

  double m_half = 1.0;
  // No class file: the built-in grid.
  ScopedEnv m_config{"WRUCONFIGURATIONS", nullptr};
  ScopedEnv m_home{"WRUHOME", nullptr};
};

TEST_F(Grid2DAndBoreholeDraw, DefaultGridDrawsWhiteLinesAcrossTheUnitSquareAtTheMiddleDepth) {
  View(0.6);
  Sd_Grid2D grid;
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "Render" : "StepRender");
    Clear();
    if (pass == 0) {
      grid.Render();
    } else {
      ASSERT_EQ(grid.StepRender(), 1);
    }
    const double step = 1.0 / 49.0;
    // Between two lines parallel to y, so that only the rows are seen.
    const int column = Pixel(-0.5 + 24.5 * step);
    for (int i : {0, 1, 17, 30, 49}) {
      const int row = Pixel(-0.5 + i * step);
      EXPECT_TRUE(White(ReadPixel(column, row))) << "line " << i;
      EXPECT_NEAR(ReadDepth(column, row), 0.5, 1e-3) << "at z = 0";
    }
    for (int i : {0, 20, 48}) {
      EXPECT_EQ(Brightness(column, Pixel(-0.5 + (i + 0.5) * step)), 0) << "between lines " << i << " and " << i + 1;
    }
    const orvanta_test::GLPixelBox box = InkBox();
    EXPECT_NEAR(box.xMin, Pixel(-0.5), 2);
    EXPECT_NEAR(box.xMax, Pixel(0.5), 2);
    EXPECT_NEAR(box.yMin, Pixel(-0.5), 2);
    EXPECT_NEAR(box.yMax, Pixel(0.5), 2);
    EXPECT_EQ(ModelViewStackDepth(), 1);
  }
  // A pass abandoned before the grid's step draws nothing.
  Clear();
  grid.Invalidate();
  EXPECT_EQ(grid.StepRender(), 0);
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(Grid2DAndBoreholeDraw, GridGivenAPackedGreenDrawsGreen) {
  View(1.0);
  Sd_Grid2D grid(3, 3, PackColour(0, 255, 0, 255));
  grid.Render();
  // Lines at -0.5, 0 and 0.5 each way.
  const orvanta_test::GLPixel p = ReadPixel(Pixel(0.25), Pixel(0.0));
  EXPECT_EQ(p.r, 0);
  EXPECT_EQ(p.g, 255);
  EXPECT_EQ(p.b, 0);
  EXPECT_EQ(Brightness(Pixel(0.25), Pixel(0.25)), 0);
}

// A borehole of the holes, read from a file written with the test writer.
class LoadedBorehole {
 public:
  explicit LoadedBorehole(const std::vector<Hole>& holes) {
    const std::string path = m_dir.file("holes.sd");
    sd_io_test::FileWriter w(path);
    if (borehole_test::Write(w.Manager(), borehole_test::Text(holes), borehole_test::RedToBlue()) && w.Close()) {
      m_file.reset(new sd_io_test::LoadedFile(path));
    }
  }
  Sd_Borehole* Get() const { return m_file ? dynamic_cast<Sd_Borehole*>(m_file->root->GetFirstChild()) : nullptr; }

 private:
  orvanta_test::TempDir m_dir;
  std::unique_ptr<sd_io_test::LoadedFile> m_file;
};

TEST_F(Grid2DAndBoreholeDraw, TubesTakeTheColoursOfTheirClassesAndLinesFollowThePath) {
  View(1.0);
  // One hole along x at the middle of the box (y has no range), sinking.
  LoadedBorehole loaded({{{0, 5, 0, 1}, {10, 5, -1, 2}, {20, 5, -2, 5}}});
  Sd_Borehole* bore = loaded.Get();
  ASSERT_TRUE(bore);
  // A radius that shows: 1 of 20 units across the box, 6 pixels.
  bore->SetTubeRadius(1.0f);
  EXPECT_EQ(bore->StepRender(), 1);
  // The first segment takes the class of its end (2: entry 0, red), the
  // second class 5 (entry 255, blue).
  const orvanta_test::GLPixel first = ReadPixel(Pixel(-0.25), Pixel(0.0) + 3);
  const orvanta_test::GLPixel second = ReadPixel(Pixel(0.25), Pixel(0.0) - 3);
  EXPECT_TRUE(first.r == 255 && first.g == 0 && first.b == 0) << int(first.r) << " " << int(first.g);
  EXPECT_TRUE(second.r == 0 && second.g == 0 && second.b == 255) << int(second.r) << " " << int(second.b);
  EXPECT_EQ(Brightness(Pixel(-0.25), Pixel(0.0) + 10), 0) << "outside the tube";
  EXPECT_EQ(ModelViewStackDepth(), 1);

  Clear();
  bore->Render();
  const orvanta_test::GLPixelBox box = InkBox();
  EXPECT_NEAR(box.xMin, Pixel(-0.5), 2);
  EXPECT_NEAR(box.xMax, Pixel(0.5), 2);
  EXPECT_NEAR(box.CentreY(), Pixel(0.0), 1) << "the line runs through the middle";
  EXPECT_LE(box.yMax - box.yMin, 2);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(Grid2DAndBoreholeDraw, HoleOfOnePointDrawsNothing) {
  View(1.0);
  LoadedBorehole loaded({{{3, 4, 5, 1}}});
  Sd_Borehole* bore = loaded.Get();
  ASSERT_TRUE(bore);
  bore->SetTubeRadius(1.0f);
  bore->Render();
  EXPECT_EQ(bore->StepRender(), 1);
  EXPECT_EQ(CountInk(), 0);
}

}  // namespace
