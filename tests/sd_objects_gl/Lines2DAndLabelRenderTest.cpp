// Drawing of the 2-D lines and the text label, seen from above in a view of
// the unit box: orthographic -1 ... 1 across the 256 x 256 framebuffer, so
// object x and y -0.5 ... 0.5 land on pixels 64 ... 192.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "LitUnitView.h"
#include "Sd_Label.h"
#include "Sd_Lines2D.h"
#include "Sv_HersheyFont.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

namespace {

constexpr float M = Sd_Lines2D::kPenUp;

class FlatObjectsTest : public orvanta_test::LitUnitViewTest {
 protected:
  void SetUp() override {
    LitUnitViewTest::SetUp();
    Sv_HersheySetBuiltIn(1);  // as the viewer does at start
  }
  void TearDown() override {
    Sv_HersheySetBuiltIn(0);
    LitUnitViewTest::TearDown();
  }

  // Lines loaded from a record with the points (data range 0 ... 100 on both
  // axes unless given).
  static std::unique_ptr<Sd_Lines2D> Lines(const std::vector<float>& xy, const float* range = nullptr) {
    static const float kRange[4] = {0, 100, 0, 100};
    orvanta_test::TempDir dir;
    const std::string path = dir.file("l.sd");
    TDR_Manager out;
    EXPECT_TRUE(out.OpenFile(path.c_str(), "wb") == 0 && out.WriteHeader() == 0 &&
                Sd_Lines2D::WriteRecord(&out, 0, xy.data(), static_cast<int>(xy.size() / 2), range ? range : kRange) == 0 &&
                out.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && out.CloseFile() == 0);
    auto lines = std::make_unique<Sd_Lines2D>();
    TDR_Manager in;
    EXPECT_TRUE(in.OpenFile(path.c_str(), "rb") == 0 && in.ReadHeader() == 0 && in.ReadTag() == TDR_TAG_SD_LINES2D &&
                lines->LoadObject(&in) == 0);
    return lines;
  }

  // The whole picture, RGBA rows from the bottom.
  static std::vector<unsigned char> Picture() {
    std::vector<unsigned char> pixels(4 * kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }

  // Pixels with ink in the box x0 ... x1, y0 ... y1 (inclusive).
  static int InkIn(int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) n += Brightness(x, y) > 0;
    }
    return n;
  }
};

TEST_F(FlatObjectsTest, LinesBreakAtPenUpMarkersAndMarkersAtTheEndsAddNothing) {
  // Data (0, 10) - (40, 10), a marker, (60, 90) - (100, 90): pixel rows 77
  // and 179, and a joining segment through the centre that must not show.
  Lines({0, 10, 40, 10, M, 0, 60, 90, 100, 90})->Render();
  EXPECT_GT(InkIn(88, 75, 92, 79), 0) << "the first strip";
  EXPECT_GT(InkIn(164, 177, 168, 181), 0) << "the second strip";
  EXPECT_EQ(InkIn(110, 84, 146, 172), 0) << "nothing between the strips";
  const std::vector<unsigned char> split = Picture();

  Clear();
  Lines({M, 0, 0, 10, 40, 10, M, 0, M, 0, 60, 90, 100, 90, M, 5})->Render();
  EXPECT_TRUE(Picture() == split) << "markers first, last and in a row";
}

TEST_F(FlatObjectsTest, EmptyXRangeDrawsTheLineDownTheMiddle) {
  const float range[4] = {0, 100, 5, 5};
  Lines({5, 0, 5, 100}, range)->Render();
  const orvanta_test::GLPixelBox box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.CentreX(), 127.5, 1.0);
  EXPECT_LE(box.xMax - box.xMin, 2) << "one vertical line, two pixels wide";
  EXPECT_NEAR(box.yMin, 64, 1);
  EXPECT_NEAR(box.yMax, 192, 1);
}

TEST_F(FlatObjectsTest, LabelTextIsCentredOnTheOriginWithItsBaselineThere) {
  Sd_Label label;
  label.SetText("HH");  // symmetric, nothing below the baseline
  label.SetScale(4, 4, 4);
  label.Render();
  const orvanta_test::GLPixelBox box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.CentreX(), 127.5, 1.0);
  EXPECT_NEAR(box.yMin, 128, 1) << "the baseline at the origin";
  // Cap height: 21 font units x 0.005 x 4 x 128 pixels a unit.
  EXPECT_NEAR(box.yMax - box.yMin, 54, 2);
}

TEST_F(FlatObjectsTest, EmptyLabelDrawsOnlyItsBoundingBox) {
  Sd_Label label;
  label.SetRotation(30, 0, 20);
  label.Render();
  EXPECT_EQ(CountInk(), 0) << "no box asked for, nothing drawn";

  label.SetShowBoundingBox(1);
  label.Render();
  const std::vector<unsigned char> drawn = Picture();
  EXPECT_GT(CountInk(), 0);
  Clear();
  Sd_Node box;
  box.SetRotation(30, 0, 20);
  box.SetShowBoundingBox(1);
  glPushMatrix();
  box.ApplyTransform();
  box.DrawBoundingBox();
  glPopMatrix();
  EXPECT_TRUE(Picture() == drawn);
}

TEST_F(FlatObjectsTest, StepRenderDrawsWhatRenderDrawsAndAbandonsAPassWhenAsked) {
  std::unique_ptr<Sd_Lines2D> lines = Lines({0, 10, 40, 10, M, 0, 60, 90, 100, 90});
  Sd_Label label;
  label.SetText("Label 1");
  label.SetScale(3, 3, 3);
  for (Sd_Node* node : {static_cast<Sd_Node*>(lines.get()), static_cast<Sd_Node*>(&label)}) {
    SCOPED_TRACE(node->className());
    Clear();
    node->Render();
    const std::vector<unsigned char> rendered = Picture();
    Clear();
    node->SetRedrawPending(1);
    EXPECT_EQ(node->StepRender(), 0);
    EXPECT_EQ(node->GetRedrawPending(), 0);
    EXPECT_EQ(CountInk(), 0);
    EXPECT_EQ(node->StepRender(), 1);
    EXPECT_EQ(node->GetDrawn(), 1);
    EXPECT_GT(CountInk(), 0);
    EXPECT_TRUE(Picture() == rendered);
  }
}

}  // namespace
