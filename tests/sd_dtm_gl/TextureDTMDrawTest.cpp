// Drawing of the textured terrain seen from above: the checker's texels in
// place with full-resolution tiles and with the low-resolution texture, the
// hole at the gap, tile borders without cracks, progressive passes and
// picks.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "../sd_dtm/TextureTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"
#include "Sv_TexturedSurface.h"

using namespace dtm_test;
using orvanta_test::GLPixel;

namespace {

constexpr int kImageW = 600, kImageH = 520;
// Gap of the test terrain: rows 100 ... 140, columns 150 ... 200 of 257.
constexpr int kGapR0 = 100, kGapR1 = 140, kGapC0 = 150, kGapC1 = 200;

class TexturedDraw : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    dtm = MakeTextured(257, kImageW, kImageH, kGapR0, kGapR1, kGapC0, kGapC1, Level);
    ASSERT_TRUE(dtm);
    dtm->SetAutoLOD(0);
    dtm->SetLODStep(1);
    TopDownView();
  }
  void TearDown() override {
    Sd_Node::SetBestPass(0);
    dtm.reset();
    GLTest::TearDown();
  }
  // Framebuffer pixel of image pixel (px, py): the image covers the grid,
  // the grid the framebuffer.
  static int X(double px) { return static_cast<int>(px * kWidth / kImageW); }
  static int Y(double py) { return static_cast<int>(py * kHeight / kImageH); }
  static bool InGap(int x, int y) { return x >= kGapC0 - 3 && x <= kGapC1 + 3 && y >= kGapR0 - 3 && y <= kGapR1 + 3; }
  static bool IsRed(const GLPixel& p) { return p.r > 180 && p.b < 80; }
  static bool IsBlue(const GLPixel& p) { return p.b > 180 && p.r < 80; }
  static bool IsBackground(const GLPixel& p) { return p.r + p.g + p.b == 0; }

  // Every square's middle shows its colour; the gap shows the background.
  void ExpectChecker() {
    int probed = 0;
    for (int j = 0; j * kSquare < kImageH; ++j) {
      for (int i = 0; i * kSquare < kImageW; ++i) {
        const int px = std::min(i * kSquare + kSquare / 2, kImageW - 4);
        const int py = std::min(j * kSquare + kSquare / 2, kImageH - 4);
        if (InGap(X(px), Y(py))) continue;
        const GLPixel p = ReadPixel(X(px), Y(py));
        EXPECT_TRUE(CheckerRed(px, py) ? IsRed(p) : IsBlue(p))
            << "square " << i << ", " << j << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b);
        ++probed;
      }
    }
    EXPECT_GT(probed, 60);
    EXPECT_TRUE(IsBackground(ReadPixel((kGapC0 + kGapC1) / 2, (kGapR0 + kGapR1) / 2))) << "the hole";
    EXPECT_EQ(ReadDepth((kGapC0 + kGapC1) / 2, (kGapR0 + kGapR1) / 2), 1.0f);
  }

  std::unique_ptr<Sd_TextureDTM> dtm;
};

TEST_F(TexturedDraw, TilesAndLowResolutionTextureShowTheCheckerWithTheHoleAndNoCracks) {
  Budget budget(0.0f);
  dtm->SetTextureMode(1);
  dtm->Render();
  ExpectChecker();
  // Along the tile borders (image columns 256 and 512, rows 256 and 512)
  // every pixel outside the gap is drawn.
  int cracks = 0;
  for (int k = 0; k < kWidth; ++k) {
    for (int border : {X(256), X(256) + 1, X(512), X(512) + 1}) {
      if (!InGap(border, k)) cracks += IsBackground(ReadPixel(border, k));
    }
    for (int border : {Y(256), Y(256) + 1, Y(512)}) {
      if (!InGap(k, border)) cracks += IsBackground(ReadPixel(k, border));
    }
  }
  EXPECT_EQ(cracks, 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  Clear();
  dtm->SetTextureMode(0);
  ASSERT_TRUE(dtm->GetTexture()->GetFirstSMax() == 1.0f);
  dtm->Render();
  ExpectChecker();

  // Without the texture it is the non-contiguous terrain: the grid's colours.
  Clear();
  dtm->SetShowTexture(0);
  dtm->Render();
  const GLPixel p = ReadPixel(X(32), Y(32));
  EXPECT_EQ(p.b, 200);
  EXPECT_TRUE(IsBackground(ReadPixel((kGapC0 + kGapC1) / 2, (kGapR0 + kGapR1) / 2)));
}

TEST_F(TexturedDraw, BestPassAfterResetDrawsRendersPixelsAndCoarsePassesOneCall) {
  Budget budget(25000.0f);
  dtm->SetTextureMode(2);
  dtm->ResetSettings();
  ObliqueView();
  dtm->Render();
  const auto whole = Picture();
  Clear();
  Sd_Node::SetBestPass(1);
  const int calls = FinishPass(*dtm);
  EXPECT_GT(calls, 9) << "nine tiles, each over several calls";
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_TRUE(Picture() == whole) << "the pass drew other pixels than Render";
  EXPECT_GT(CountInk(), 10000);

  // Outside the best pass a pass is one whole drawing.
  Sd_Node::SetBestPass(0);
  Clear();
  EXPECT_EQ(dtm->StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_GT(CountInk(), 10000);
}

TEST_F(TexturedDraw, AbandonedOrReleasedPassesLeaveTheStacksBalanced) {
  Budget budget(0.0f);
  dtm->SetTextureMode(1);
  Sd_Node::SetBestPass(1);
  ExpectAbandonedPassesBalanced(*dtm, {1, 3});
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(dtm->StepRender(), 0);
  EXPECT_EQ(dtm->StepRender(), 0);
  dtm->FreeData();
  EXPECT_EQ(dtm->StepRender(), 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  Clear();
  dtm->Render();
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(TexturedDraw, PickReturnsThePointAndAnEmptyBaseCellMisses) {
  Budget budget(0.0f);
  dtm->SetTextureMode(1);
  dtm->Render();
  DepthPicker picker(kWidth, kHeight);
  auto pick = [&](int x, int y, SDN_PickOut* out) {
    SDN_PickIn in = {&picker, x, y, 0, 0};
    *out = NoPick();
    return dtm->QueryPoint(&in, out);
  };
  const double cell = (kXMax - kXMin) / 256.0;
  SDN_PickOut out;
  ASSERT_EQ(pick(60, 200, &out), 1);
  EXPECT_NEAR(out.x, kXMin + 60.5 * cell, cell);
  EXPECT_NEAR(out.y, kYMin + 200.5 * cell, cell);
  EXPECT_NEAR(out.z, 30000.0 / 65535.0 * 100.0, 1e-6);
  EXPECT_EQ(out.node, dtm.get());
  // In the hole, and on the drawn cells just below and left of it, whose
  // corners reach into the gap.
  EXPECT_EQ(pick(175, 120, &out), 0);
  EXPECT_EQ(pick(kGapC0 - 1, 120, &out), 0);
  EXPECT_EQ(pick(175, kGapR0 - 1, &out), 0);
  EXPECT_EQ(out.found, 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

}  // namespace
