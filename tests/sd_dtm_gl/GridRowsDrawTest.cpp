// Terrain grids on screen: rows held in a caller's block draw as the
// terrain's own rows do, and show the block as it is at each drawing.
#include <gtest/gtest.h>

#include "DTMDrawSupport.h"

using dtm_test::Budget;
using dtm_test::FinishPass;
using dtm_test::ObliqueView;
using dtm_test::Picture;
using orvanta_test::GLTest;

TEST_F(GLTest, HeldRowsDrawAsOwnRowsAndShowTheBlockAsItIsNow) {
  Budget budget(0.0f);
  auto own = dtm_test::MakeSonar(40, 50, 10, 20, 15, 30);
  own->ResetSettings();
  dtm_test::RowBlock block(40, 50);
  block.CopyFrom(own.get());
  auto held = dtm_test::HoldingTerrain(&block);
  ASSERT_NE(held, nullptr);
  held->ResetSettings();

  ObliqueView();
  own->Render();
  const auto picture = Picture();
  EXPECT_GT(CountInk(), 1000);
  Clear();
  held->Render();
  EXPECT_TRUE(Picture() == picture) << "held rows drew other pixels";
  Clear();
  EXPECT_GT(FinishPass(*held), 2);
  EXPECT_TRUE(Picture() == picture) << "the progressive pass over held rows drew other pixels";

  // The block changes under the terrain: the next drawing shows it.
  for (int r = 0; r < 40; ++r) {
    for (int c = 0; c < 50; ++c) block.colours[r][c] = PackColour(255, 0, 0, 255);
  }
  Clear();
  held->Render();
  int red = 0, other = 0;
  const auto now = Picture();
  for (size_t i = 0; i < now.size(); i += 4) {
    if (now[i] == 0 && now[i + 1] == 0 && now[i + 2] == 0) continue;
    (now[i] == 255 && now[i + 1] == 0 && now[i + 2] == 0 ? red : other) += 1;
  }
  EXPECT_GT(red, 1000);
  EXPECT_EQ(other, 0);
}
