// Real-time terrain model: the block layout, a grid laid over a copy of a
// writer's block, the block's changes taken at the next draw, saving as an
// ordinary non-contiguous terrain, and blocks that cannot be used.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "RealTimeTestSupport.h"
#include "Sv_Types.h"
#include "TestSupport.h"

using realtime_test::TerrainBlock;

namespace {

TEST(RealTimeLayout, RowsStartOnTheNextSixteenByteBoundary) {
  const Sd_RealTimeLayout small = Sd_RealTimeLayout::Of(2, 3);
  EXPECT_EQ(small.ElevationRow(0), 48u);
  EXPECT_EQ(small.ElevationRow(1), 64u);
  EXPECT_EQ(small.ColourRow(0), 80u);
  EXPECT_EQ(small.ColourRow(1), 96u);
  EXPECT_EQ(small.bytes, 108u);
  // A row of exactly 16 bytes is followed by 16 bytes of gap.
  const Sd_RealTimeLayout eight = Sd_RealTimeLayout::Of(3, 8);
  EXPECT_EQ(eight.ElevationRow(1) - eight.ElevationRow(0), 32u);
  EXPECT_EQ(eight.ColourRow(0), 48u + 3 * 32u);
  // Sizes beyond 32 bits are computed, not wrapped.
  EXPECT_GT(Sd_RealTimeLayout::Of(1 << 20, 1 << 20).bytes, 1ull << 40);
}

TEST(RealTimeDTM, LaysTheGridOverTheWritersBlockAndFollowsItsChanges) {
  TerrainBlock block(4, 5);
  ASSERT_TRUE(block.Ok());
  orvanta_test::TempDir dir;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string file = dir.file("rt" + std::to_string(order) + ".sd");
    ASSERT_TRUE(realtime_test::WriteRecordFile(file, block.Name(), 0, order));
    auto read = dtm_test::ReadSD(file);
    Sd_RealTimeDTM* dtm = read->Terrain<Sd_RealTimeDTM>(0);
    ASSERT_NE(dtm, nullptr);
    ASSERT_TRUE(dtm->IsAttached());
    ASSERT_EQ(dtm->Refresh(), 1) << "what each draw does first";
    EXPECT_EQ(dtm->GetType(), 40);
    EXPECT_STREQ(dtm->className(), "Non-Cont. DTM");
    EXPECT_EQ(dtm->GetMemoryName(), block.Name());
    EXPECT_EQ(dtm->GetHeaderWord(), 7);
    ASSERT_EQ(dtm->GetRows(), 4);
    ASSERT_EQ(dtm->GetCols(), 5);
    EXPECT_FLOAT_EQ(dtm->GetBounds(0)[1], 40.0f);
    EXPECT_FLOAT_EQ(dtm->GetBounds(1)[1], 30.0f);
    const unsigned char* base = static_cast<const unsigned char*>(dtm->GetBlock());
    const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(4, 5);
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(reinterpret_cast<const unsigned char*>(dtm->GetElevationGrid()[r]), base + layout.ElevationRow(r));
      for (int c = 0; c < 5; ++c) {
        unsigned short code = 0;
        unsigned colour = 0;
        ASSERT_EQ(dtm->GetCell(r, c, &code, &colour), 0);
        EXPECT_EQ(code, TerrainBlock::Code(r, c, 0));
        EXPECT_EQ(colour, TerrainBlock::Colour(r, c, 0));
      }
    }
    // The writer changes every node: the next draw takes it (Refresh)
    // without a reload, and the queries answer for it.
    const double before = dtm->GeoPickPoint(10.0, 10.0, nullptr);
    ASSERT_TRUE(block.Uniform(40000, PackColour(1, 2, 3, 255)));
    ASSERT_EQ(dtm->Refresh(), 1);
    unsigned colour = 0;
    const double after = dtm->GeoPickPoint(10.0, 10.0, &colour);
    EXPECT_NEAR(after, 40000.0 / 65535.0 * 100.0, 1e-3);
    EXPECT_NE(before, after);
    EXPECT_EQ(colour & 0xFFFFFFu, PackColour(1, 2, 3, 0));
    ASSERT_TRUE(block.Fill(0));
  }
}

TEST(RealTimeDTM, SavesTheBlocksContentsAsANonContiguousTerrain) {
  TerrainBlock block(3, 4);
  ASSERT_TRUE(block.Ok());
  orvanta_test::TempDir dir;
  ASSERT_TRUE(realtime_test::WriteRecordFile(dir.file("rt.sd"), block.Name(), 0));
  auto read = dtm_test::ReadSD(dir.file("rt.sd"));
  Sd_RealTimeDTM* dtm = read->Terrain<Sd_RealTimeDTM>(0);
  ASSERT_TRUE(dtm && dtm->IsAttached());
  ASSERT_TRUE(dtm_test::WriteSD(dir.file("saved.sd"), {dtm}));
  // Later changes of the block are not in the saved file.
  ASSERT_TRUE(block.Fill(50));
  int tag = 0;
  ASSERT_TRUE(dtm_test::OpenAtFirstTag(dir.file("saved.sd"), &tag));
  EXPECT_EQ(tag, TDR_TAG_SD_SONARDTM);
  auto again = dtm_test::ReadSD(dir.file("saved.sd"));
  Sd_SonarDTM* sonar = again->Terrain<Sd_SonarDTM>(0);
  ASSERT_NE(sonar, nullptr);
  EXPECT_EQ(sonar->GetType(), 12);
  unsigned short code = 0;
  unsigned colour = 0;
  ASSERT_EQ(sonar->GetCell(2, 3, &code, &colour), 0);
  EXPECT_EQ(code, TerrainBlock::Code(2, 3, 0));
  EXPECT_EQ(colour, TerrainBlock::Colour(2, 3, 0));
}

// A missing block, one smaller than the record's size and one whose header
// claims more rows than it holds: each says why and leaves an empty terrain
// that stays in the tree; saved, it names its block again.
TEST(RealTimeDTM, UnusableBlocksLeaveAnEmptyTerrainThatSaysWhy) {
  TerrainBlock block(3, 4);
  ASSERT_TRUE(block.Ok());
  TerrainBlock lying(3, 4);
  ASSERT_TRUE(lying.Ok() && lying.Header(300, 4));
  const int size = static_cast<int>(Sd_RealTimeLayout::Of(3, 4).bytes);
  struct Case {
    std::string name;
    int size;
    const char* message;
  };
  const Case cases[] = {
      {"orvanta-dtm-test-missing-" + std::to_string(getpid()), 0, "Error starting shared server memory!"},
      {block.Name(), size + 4096 * 4, "Error getting shared memory view!"},
      {lying.Name(), 0, "smaller than its grid"},
  };
  orvanta_test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(realtime_test::WriteRecordFile(dir.file("bad.sd"), c.name, c.size));
    orvanta_test::MessageCapture debugLevel(-1);
    testing::internal::CaptureStderr();
    auto read = dtm_test::ReadSD(dir.file("bad.sd"));
    const std::string said = testing::internal::GetCapturedStderr() + debugLevel.All();
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    Sd_RealTimeDTM* dtm = read->Terrain<Sd_RealTimeDTM>(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_FALSE(dtm->IsAttached());
    EXPECT_EQ(dtm->GetRows(), 0);
    EXPECT_GT(dtm->GeoPickPoint(10.0, 10.0, nullptr), 1e11);
    ASSERT_TRUE(dtm_test::WriteSD(dir.file("again.sd"), {dtm}));
    auto again = dtm_test::ReadSD(dir.file("again.sd"));
    ASSERT_NE(again->Terrain<Sd_RealTimeDTM>(0), nullptr);
    EXPECT_EQ(again->Terrain<Sd_RealTimeDTM>(0)->GetMemoryName(), c.name);
  }
  // A name longer than a name may be is refused, and said so.
  dtm_test::SDWriter w(dir.file("long.sd"));
  w.Raw(TDR_TAG_SD_REALTIMEDTM, std::string("\x2c\x01\x00\x00", 4) + std::string(300, 'n') + std::string(4, '\0'));
  ASSERT_TRUE(w.Close());
  orvanta_test::MessageCapture debugLevel(-1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(dtm_test::ReadSD(dir.file("long.sd"))->children.size(), 0u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("block name is longer than the 255 characters"),
            std::string::npos);
}

// A block that cannot be shown is said once, at warning level, naming the
// block and why; a block too large to copy at every draw is not copied.
TEST(RealTimeDTM, RefusedBlocksAreSaidOnceNamingTheBlock) {
  TerrainBlock huge(2, 2, static_cast<long long>(Sd_RealTimeLayout::Of(16384, 16384).bytes)), notFinite(3, 4);
  ASSERT_TRUE(huge.Ok() && huge.Header(16384, 16384) && notFinite.Ok() && notFinite.Put("f32", 20, {std::nan("")}));
  const std::pair<std::string, const char*> cases[] = {
      {"orvanta-dtm-test-missing-" + std::to_string(getpid()), "it is missing"},
      {notFinite.Name(), "its bounds are not finite numbers"},
      {huge.Name(), "it is too large"}};
  orvanta_test::TempDir dir;
  for (const auto& [name, why] : cases) {
    SCOPED_TRACE(why);
    ASSERT_TRUE(realtime_test::WriteRecordFile(dir.file("refused.sd"), name, 0));
    orvanta_test::MessageCapture warnings(SV_LEVEL_WARNING);
    auto read = dtm_test::ReadSD(dir.file("refused.sd"));
    Sd_RealTimeDTM* dtm = read->Terrain<Sd_RealTimeDTM>(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_EQ(dtm->Refresh(), 0) << "what each draw does first";
    EXPECT_TRUE(dtm->GetBlock() == nullptr && dtm->GetRows() == 0);
    EXPECT_EQ(warnings.messages().size(), 1u) << warnings.All();
    EXPECT_TRUE(warnings.Contains(why) && warnings.Contains(name)) << warnings.All();
  }
}

}  // namespace
