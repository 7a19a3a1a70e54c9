// Real-time terrain model on screen: the writer's colours, and after the
// writer changes the block, the next drawing shows the change.
#include <gtest/gtest.h>

#include "../sd_dtm/RealTimeTestSupport.h"
#include "DTMDrawSupport.h"

using orvanta_test::GLPixel;
using orvanta_test::GLTest;

TEST_F(GLTest, RealTimeTerrainDrawsTheBlockAsItIsAtEachDrawing) {
  realtime_test::TerrainBlock block(5, 5);
  ASSERT_TRUE(block.Ok());
  ASSERT_TRUE(block.Uniform(30000, PackColour(200, 40, 10, 255)));
  orvanta_test::TempDir dir;
  ASSERT_TRUE(realtime_test::WriteRecordFile(dir.file("rt.sd"), block.Name(), 0, 0));
  auto read = dtm_test::ReadSD(dir.file("rt.sd"));
  Sd_RealTimeDTM* dtm = read->Terrain<Sd_RealTimeDTM>(0);
  ASSERT_TRUE(dtm && dtm->IsAttached());
  dtm->ResetSettings();
  dtm_test::TopDownView();
  dtm->Render();
  GLPixel p = ReadPixel(128, 128);
  EXPECT_EQ(p.r, 200);
  EXPECT_EQ(p.g, 40);
  EXPECT_EQ(p.b, 10);
  EXPECT_GT(CountInk(), kWidth * kHeight * 9 / 10);

  ASSERT_TRUE(block.Uniform(30000, PackColour(20, 220, 90, 255)));
  Clear();
  dtm->Render();
  p = ReadPixel(128, 128);
  EXPECT_EQ(p.r, 20);
  EXPECT_EQ(p.g, 220);
  EXPECT_EQ(p.b, 90);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}
