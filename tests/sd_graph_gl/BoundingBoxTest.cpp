#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>

#include "GLTestFixture.h"
#include "Sd_Node.h"
#include "Sv_HersheyFont.h"
#include "TestSupport.h"

namespace {

// Draws bounding boxes seen from above in orthographic views: the whole box
// (-1 ... 1), or, magnified so the labels are large enough to find, the
// front-left corner (-0.6 ... -0.3) or the back-right corner (0.3 ... 0.6).
class BoundingBoxTest : public orvanta_test::GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    m_savedType = Sd_Node::GetCoordinateType();
    Sv_HersheySetBuiltIn(1);
    Sd_Node::ReleaseFont();
    Sd_Node::InitHersheyFont();
    m_node.SetBounds(0, 0.0f, 100.0f);
    m_node.SetBounds(1, 0.0f, 100.0f);
    m_node.SetBounds(2, 0.0f, 50.0f);
    m_node.SetShowBoundingBox(1);
    Sd_Node::SetCoordinateType(2);
  }
  void TearDown() override {
    Sd_Node::SetCoordinateType(m_savedType);
    Sv_HersheySetBuiltIn(1);
    Sd_Node::ReleaseFont();
    Sd_Node::InitHersheyFont();
    GLTest::TearDown();
  }

  void Draw(double lo = -1.0, double hi = 1.0) {
    m_lo = lo;
    m_hi = hi;
    Clear();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(lo, hi, lo, hi, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    m_node.DrawBoundingBox();
    Finish();
    ExpectNoGLError("DrawBoundingBox");
  }
  void DrawFrontLeft() { Draw(-0.6, -0.3); }
  void DrawBackRight() { Draw(0.3, 0.6); }

  int Pixel(double v) const { return static_cast<int>((v - m_lo) / (m_hi - m_lo) * kWidth); }
  // Ink inside a rectangle given in the box's normalised coordinates.
  int InkIn(double x0, double y0, double x1, double y1) const {
    int n = 0;
    for (int y = std::max(Pixel(y0), 0); y <= std::min(Pixel(y1), kHeight - 1); ++y) {
      for (int x = std::max(Pixel(x0), 0); x <= std::min(Pixel(x1), kWidth - 1); ++x) n += Brightness(x, y) > 0;
    }
    return n;
  }
  // Label regions beyond the tick marks, which reach 0.505 from the centre.
  // In the front-left view: x labels below the front edge, y labels left of
  // the left edge, z labels off the corner; in the back-right view the
  // second sides.
  int XLabels() const { return m_lo < 0 ? InkIn(-0.49, -0.6, -0.3, -0.507) : InkIn(0.3, 0.507, 0.49, 0.6); }
  int YLabels() const { return m_lo < 0 ? InkIn(-0.6, -0.49, -0.507, -0.3) : InkIn(0.507, 0.3, 0.6, 0.49); }
  int ZLabels() const { return m_lo < 0 ? InkIn(-0.6, -0.6, -0.507, -0.507) : InkIn(0.507, 0.507, 0.6, 0.6); }
  int Labels() const { return XLabels() + YLabels() + ZLabels(); }

  // The outline in the whole view: the middle of each edge of the square.
  static bool OutlineDrawn() {
    auto lit = [](int x, int y) { return Brightness(x, y) + Brightness(x - 1, y) + Brightness(x, y - 1) > 0; };
    return lit(128, 64) && lit(128, 192) && lit(64, 128) && lit(192, 128);
  }

  Sd_Node m_node;
  short m_savedType = 0;
  double m_lo = -1.0, m_hi = 1.0;
};

}  // namespace

TEST_F(BoundingBoxTest, NothingWithoutTheFlag) {
  m_node.SetShowBoundingBox(0);
  Draw();
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(BoundingBoxTest, LabelsOnlyForLabelledCoordinateTypesAndRealZRanges) {
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  DrawFrontLeft();
  EXPECT_GT(XLabels(), 20) << "x labels under the front edge";
  EXPECT_GT(YLabels(), 20) << "y labels beside the left edge";
  EXPECT_GT(ZLabels(), 20) << "z labels off the front-left corner";
  EXPECT_EQ(m_node.GetBoxTickSettings()[6], 0);

  for (short type : {0, 4}) {
    Sd_Node::SetCoordinateType(type);
    Draw();
    EXPECT_TRUE(OutlineDrawn()) << "type " << type;
    DrawFrontLeft();
    EXPECT_EQ(Labels(), 0) << "type " << type;
    DrawBackRight();
    EXPECT_EQ(Labels(), 0) << "type " << type;
  }

  Sd_Node::SetCoordinateType(1);
  DrawFrontLeft();
  EXPECT_GT(XLabels(), 20);
  EXPECT_EQ(m_node.GetBoxTickSettings()[6], 1) << "geographic labels";

  Sd_Node::SetCoordinateType(2);
  m_node.SetBounds(2, 10.0f, 10.00005f);
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  DrawFrontLeft();
  EXPECT_EQ(Labels(), 0) << "flat z range";
}

TEST_F(BoundingBoxTest, SecondSidesOnlyInLabelModeTwo) {
  DrawBackRight();
  EXPECT_GT(XLabels(), 20) << "x labels behind the back edge";
  EXPECT_GT(YLabels(), 20) << "y labels beside the right edge";
  EXPECT_GT(ZLabels(), 20) << "z labels off the back-right corner";

  int* ticks = m_node.GetBoxTickSettings();
  ticks[3] = ticks[4] = ticks[5] = 1;
  DrawFrontLeft();
  EXPECT_GT(Labels(), 60);
  DrawBackRight();
  EXPECT_EQ(Labels(), 0);
}

TEST_F(BoundingBoxTest, TickCountsFollowTheLongerSide) {
  m_node.SetBounds(0, 0.0f, 200.0f);
  Draw();
  EXPECT_EQ(m_node.GetBoxTickSettings()[0], 10);
  EXPECT_EQ(m_node.GetBoxTickSettings()[1], 5);
  EXPECT_EQ(m_node.GetBoxTickSettings()[2], 5);
}

TEST_F(BoundingBoxTest, LongThinAndFlatBoxesDrawABoundedNumberOfLabels) {
  m_node.SetBounds(0, 0.0f, 1e7f);
  m_node.SetBounds(1, 0.0f, 1.0f);
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  EXPECT_EQ(m_node.GetBoxTickSettings()[0], Sd_Node::MAX_BOX_TICKS);

  m_node.SetBounds(1, 5.0f, 5.0f);
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  EXPECT_EQ(m_node.GetBoxTickSettings()[0], Sd_Node::MAX_BOX_TICKS);
}

TEST_F(BoundingBoxTest, WithoutAFontOnlyTheOutline) {
  Sd_Node::ReleaseFont();
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  DrawFrontLeft();
  EXPECT_EQ(Labels(), 0);

  // A font that failed to load has no glyphs.
  Sv_HersheySetBuiltIn(0);
  {
    orvanta_test::ScopedEnv home("WRUHOME", nullptr);
    orvanta_test::ScopedEnv path("SVHFONTPATH", nullptr);
    Sd_Node::InitHersheyFont();
  }
  ASSERT_NE(Sd_Node::GetFont(), nullptr);
  ASSERT_EQ(Sd_Node::GetFont()->GetNumGlyphs(), 0);
  Draw();
  EXPECT_TRUE(OutlineDrawn());
  DrawFrontLeft();
  EXPECT_EQ(Labels(), 0);
}
