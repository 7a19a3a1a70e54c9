// VR terrain model on screen: holes at no-data nodes, the repeating
// texture, progressive passes in every mode, the full-resolution window and
// the pick marker.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../sd_dtm/VRTestSupport.h"
#include "DTMDrawSupport.h"
#include "DepthPicker.h"

using dtm_test::FinishPass;
using dtm_test::ObliqueView;
using dtm_test::TopDownView;
using orvanta_test::GLPixel;
using orvanta_test::GLTest;
using orvanta_test::TempDir;
using vr_test::MakeVR;

namespace {

bool Near(const GLPixel& p, int r, int g, int b, int tolerance = 12) {
  return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

bool IsOlive(const GLPixel& p) { return Near(p, 200, 180, 40); }

// Pixels of the marker's grey.
int CountMarkerGrey() {
  const int grey = static_cast<int>(Sd_VRDTM::kMarkerGrey * 255.0f + 0.5f);
  int n = 0;
  for (int y = 0; y < GLTest::kHeight; ++y) {
    for (int x = 0; x < GLTest::kWidth; ++x) n += Near(GLTest::ReadPixel(x, y), grey, grey, grey, 6);
  }
  return n;
}

// Red on odd columns, blue everywhere.
unsigned OddColumnsRed(int, int c) { return PackColour(c % 2 ? 255 : 0, 120, 200, 255); }

}  // namespace

// A block of no-data nodes in the middle of a 21 x 21 grid (pixel 128 is its
// centre) is a hole in solid drawing, whole and progressive, but the wire
// frame runs across it.
TEST_F(GLTest, NoDataNodesAreHolesInSolidDrawingButNotInTheWireFrame) {
  auto dtm = MakeVR(21, 21, 8, 12, 8, 12);
  dtm->SetDrawStep(1);
  dtm->SetPassStep(1);
  TopDownView();
  dtm->Render();
  EXPECT_TRUE(IsOlive(ReadPixel(38, 38)));
  EXPECT_TRUE(IsOlive(ReadPixel(128, 60)));
  EXPECT_EQ(Brightness(128, 128), 0);
  const auto whole = dtm_test::Picture();

  Clear();
  EXPECT_GT(FinishPass(*dtm), 2);
  EXPECT_TRUE(dtm_test::Picture() == whole) << "the progressive pass drew other pixels";

  dtm->SetMode(0);
  Clear();
  dtm->Render();
  int ink = 0;
  for (int y = 100; y < 156; ++y) {
    for (int x = 100; x < 156; ++x) ink += Brightness(x, y) > 0;
  }
  EXPECT_GT(ink, 50) << "the wire frame crosses the no-data nodes";
}

// The texture repeats ten times across the columns and the rows and is
// modulated by the node colours; texture mode without a texture draws the
// plain colours.
TEST_F(GLTest, TextureRepeatsTenTimesModulatedByTheColours) {
  TempDir dir;
  ASSERT_TRUE(vr_test::WriteCheckerImage(dir.file("checker.png")));
  auto dtm = MakeVR(41, 41);
  dtm->SetDrawStep(1);
  ASSERT_EQ(dtm->LoadTexture(dir.file("checker.png").c_str()), 0);
  dtm->SetMode(4);
  TopDownView();
  dtm->Render();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  // Pixel x is column x / 6.4, texture coordinate s = column x 10 / 41
  // (t alike): pixel 59 lies a quarter into the third repeat, pixel 72
  // three quarters.
  EXPECT_TRUE(IsOlive(ReadPixel(59, 59)));
  EXPECT_TRUE(Near(ReadPixel(72, 59), 0, 0, 0));
  EXPECT_TRUE(Near(ReadPixel(59, 72), 0, 0, 0));
  EXPECT_TRUE(IsOlive(ReadPixel(72, 72)));
  // Light to dark along a row and along a column, once per repeat.
  for (bool alongRows : {true, false}) {
    int darkenings = 0;
    bool light = true;
    for (int i = 2; i < kWidth - 2; ++i) {
      const int b = alongRows ? Brightness(i, 59) : Brightness(59, i);
      if (light && b < 100) ++darkenings;
      if (b < 100 || b > 300) light = b > 300;
    }
    EXPECT_EQ(darkenings, 10) << (alongRows ? "along a row" : "along a column");
  }

  auto plain = MakeVR(41, 41);
  plain->SetDrawStep(1);
  plain->SetMode(4);
  Clear();
  plain->Render();
  EXPECT_TRUE(IsOlive(ReadPixel(59, 59)));
  EXPECT_TRUE(IsOlive(ReadPixel(72, 59)));
}

// Progressive passes end in every draw mode (those without a surface at
// once), in ordinary and best passes; abandoned passes leave the stacks
// balanced and texturing off.
TEST_F(GLTest, PassesEndInEveryModeAndAbandonedOnesLeaveNothingBehind) {
  TempDir dir;
  ASSERT_TRUE(vr_test::WriteCheckerImage(dir.file("checker.png")));
  auto dtm = MakeVR(41, 41, 10, 12, 10, 30);
  ASSERT_EQ(dtm->LoadTexture(dir.file("checker.png").c_str()), 0);
  dtm->SetPassStep(1);
  ObliqueView();
  for (short mode : {0, 1, 2, 4, 7}) {
    dtm->SetMode(mode);
    for (int best : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " best " << best);
      Sd_Node::SetBestPass(best);
      const int calls = FinishPass(*dtm);
      EXPECT_GT(calls, 0);
      if (mode == 7) {
        EXPECT_EQ(calls, 2);
      }
      EXPECT_EQ(ModelViewStackDepth(), 1);
      EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    }
  }
  Sd_Node::SetBestPass(0);
  dtm->SetMode(4);
  dtm_test::ExpectAbandonedPassesBalanced(*dtm, {1, 3});
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// In window mode a pick re-centres the window on the picked cell, which is
// then drawn at full resolution, without a marker; with window mode off the
// pick leaves a marker that later drawings show, until a pick on column 0
// clears it. Picks reach the query callback in the units of the bounds.
TEST_F(GLTest, PicksMoveTheWindowOrSetTheMarker) {
  auto dtm = MakeVR(41, 41, 0, -1, 0, -1, OddColumnsRed);
  dtm->SetDrawStep(8);
  dtm->EnableWindowMode();
  dtm->SetWindowSize(6, 6);
  dtm_test::QueryLog log;
  Sd_Node::SetQueryCallback(dtm_test::QueryLog::Callback, &log);
  DepthPicker picker(kWidth, kHeight);
  SDN_PickOut out = dtm_test::NoPick();
  auto pickAt = [&](int x, int y) {
    TopDownView();
    Clear();
    dtm->Render();
    SDN_PickIn in = {&picker, x, y, 0, 0};
    EXPECT_EQ(dtm->QueryPoint(&in, &out), 0);
  };

  // Pixel 131 is column and row 20.5.
  pickAt(131, 131);
  int row = -1, col = -1;
  dtm->GetPickedCell(&row, &col);
  EXPECT_EQ(row, 20);
  EXPECT_EQ(col, 20);
  EXPECT_EQ(log.calls, 1);
  EXPECT_NEAR(log.x, 1000.0 + 1000.0 * 20.5 / 40.0, 5.0);
  EXPECT_NEAR(log.y, 5000.0 + 1000.0 * 20.5 / 40.0, 5.0);
  int rs, re, cs, ce;
  dtm->GetFullResWindow(&rs, &re, &cs, &ce);
  EXPECT_EQ(rs, 17);
  EXPECT_EQ(ce, 23);
  Clear();
  dtm->Render();
  EXPECT_GT(ReadPixel(134, 134).r, 200) << "node (21, 21) at full resolution";
  EXPECT_LT(ReadPixel(32, 32).r, 60) << "coarse drawing elsewhere";
  EXPECT_GT(ReadPixel(128, 128).b, 150);
  ObliqueView();
  Clear();
  dtm->Render();
  const int noMarker = CountMarkerGrey();
  EXPECT_EQ(noMarker, 0);

  dtm->DisableWindowMode();
  pickAt(131, 131);
  EXPECT_NEAR(dtm->GetPickPosition()[0], 20.5, 0.3);
  ObliqueView();
  Clear();
  dtm->Render();
  EXPECT_GT(CountMarkerGrey(), 20);
  Clear();
  EXPECT_GT(FinishPass(*dtm), 1);
  EXPECT_GT(CountMarkerGrey(), 20) << "a finished pass shows the marker too";

  pickAt(2, 131);
  EXPECT_EQ(dtm->GetPickPosition()[0], -1.0f);
  EXPECT_EQ(log.calls, 2);
  ObliqueView();
  Clear();
  dtm->Render();
  EXPECT_EQ(CountMarkerGrey(), 0);
  Sd_Node::SetQueryCallback(nullptr, nullptr);
}
