// Terrain grids: rows that belong to a caller's block (held rows), and
// terrains read, copied, saved and released with their grids in one block
// (the layout of normal builds; the sanitizer build's default is separate
// rows).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Sd_SonarDTM.h"
#include "SonarTestSupport.h"
#include "Sv_Stdlib.h"
#include "TestSupport.h"

using dtm_test::HoldingTerrain;
using dtm_test::kEmpty;
using dtm_test::RowBlock;
using orvanta_test::TempDir;

namespace {

// Sets the layout of new row grids while it lives.
struct GridLayout {
  explicit GridLayout(int layout) : before(Sv_UtlSetGridLayout(layout)) {}
  ~GridLayout() { Sv_UtlSetGridLayout(before); }
  GridLayout(const GridLayout&) = delete;
  GridLayout& operator=(const GridLayout&) = delete;
  int before;
};

}  // namespace

// The sanitizers see to the rest: freeing a row of the block would be an
// invalid free, not freeing the row tables a leak.
TEST(GridRows, HeldRowsAreReadInPlaceAndOnlyTheirTablesAreFreed) {
  TempDir dir;
  auto source = dtm_test::MakeSonar(6, 7, 2, 3, 3, 4);
  RowBlock block(6, 7);
  block.CopyFrom(source.get());
  auto dtm = HoldingTerrain(&block);
  ASSERT_NE(dtm, nullptr);
  EXPECT_TRUE(dtm->HoldsRows());
  EXPECT_EQ(dtm->GetRows(), 6);
  EXPECT_EQ(dtm->GetCols(), 7);
  EXPECT_EQ(dtm->GetElevationGrid()[5], block.heights[5]) << "the rows are the block's own";
  EXPECT_EQ(dtm->GetColorGrid()[1], block.colours[1]);

  // Picks read the block as it is now; the gap answers nothing.
  const double x = dtm_test::kXMin + 1.5 * (dtm_test::kXMax - dtm_test::kXMin) / 6;
  const double y = dtm_test::kYMin + 0.5 * (dtm_test::kYMax - dtm_test::kYMin) / 5;
  const double before = dtm->GeoPickPoint(x, y, nullptr);
  EXPECT_EQ(before, source->GeoPickPoint(x, y, nullptr));
  for (int r : {0, 1}) {
    for (int c : {1, 2}) block.heights[r][c] = 65535;
  }
  EXPECT_NEAR(dtm->GeoPickPoint(x, y, nullptr), dtm_test::kZMax, 1e-6);
  EXPECT_EQ(dtm->GeoPickPoint(dtm_test::kXMin + 3.5 * 1000.0 / 6, dtm_test::kYMin + 2.5 * 200.0, nullptr), 1e12);

  // The next frame of the same size: the same tables point at other rows,
  // the alternate values stay.
  ASSERT_NE(dtm->AllocAltValues(6, 7), nullptr);
  unsigned short** table = dtm->GetElevationGrid();
  RowBlock next(6, 7);
  next.CopyFrom(source.get());
  ASSERT_EQ(dtm->HoldRows(next.heights.data(), next.colours.data(), 6, 7), 0);
  EXPECT_EQ(dtm->GetElevationGrid(), table);
  EXPECT_EQ(dtm->GetElevationGrid()[0], next.heights[0]);
  EXPECT_EQ(dtm->HasAltValues(), 1);
  EXPECT_EQ(dtm->GeoPickPoint(x, y, nullptr), before);

  // Saved from the block, the terrain reads back as an ordinary one.
  ASSERT_TRUE(dtm_test::WriteSD(dir.file("held.sd"), {dtm.get()}));
  auto in = dtm_test::ReadSD(dir.file("held.sd"));
  ASSERT_NE(in->Terrain<Sd_SonarDTM>(0), nullptr);
  EXPECT_FALSE(in->Terrain<Sd_SonarDTM>(0)->HoldsRows());
  EXPECT_EQ(in->Terrain<Sd_SonarDTM>(0)->GeoPickPoint(x, y, nullptr), before);

  // Released, or replaced by grids of its own: the blocks stay as they were.
  const std::string contents = next.Contents();
  dtm->FreeData();
  EXPECT_EQ(dtm->GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm->GetRows(), 0);
  EXPECT_FALSE(dtm->HoldsRows());
  EXPECT_EQ(next.Contents(), contents);
  ASSERT_EQ(dtm->HoldRows(block.heights.data(), block.colours.data(), 6, 7), 0);
  ASSERT_EQ(dtm->CreateGrids(6, 7), 0);
  EXPECT_FALSE(dtm->HoldsRows());
  EXPECT_NE(dtm->GetElevationGrid()[0], block.heights[0]);

  // A terrain deleted while it holds rows frees its tables only.
  auto other = HoldingTerrain(&block);
  ASSERT_NE(other, nullptr);
  other.reset();

  // Rows that are not there are refused, and nothing is held.
  std::vector<unsigned short*> missing = block.heights;
  missing[4] = nullptr;
  EXPECT_EQ(dtm->HoldRows(missing.data(), block.colours.data(), 6, 7), -1);
  EXPECT_EQ(dtm->HoldRows(block.heights.data(), block.colours.data(), 0, 7), -1);
  EXPECT_EQ(dtm->GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm->GetRows(), 0);
}

TEST(GridRows, TerrainsReadCopySaveAndReleaseInTheOneBlockLayout) {
  TempDir dir;
  auto out = dtm_test::MakeSonar(9, 11, 3, 4, 5, 7);
  ASSERT_TRUE(dtm_test::AddAltValues(out.get()));
  const std::string written = dir.file("separate.sd");
  ASSERT_TRUE(dtm_test::WriteSD(written, {out.get()}));

  GridLayout layout(SV_GRID_ONE_BLOCK);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("in.sd");
    ASSERT_TRUE(dtm_test::WriteSD(path, {out.get()}, order));
    auto in = dtm_test::ReadSD(path);
    Sd_SonarDTM* dtm = in->Terrain<Sd_SonarDTM>(0);
    ASSERT_NE(dtm, nullptr);
    for (int r = 0; r + 1 < 9; ++r) {
      ASSERT_EQ(dtm->GetElevationGrid()[r + 1], dtm->GetElevationGrid()[r] + 11) << "one block";
      ASSERT_EQ(dtm->GetColorGrid()[r + 1], dtm->GetColorGrid()[r] + 11);
      ASSERT_EQ(dtm->GetAltValues()[r + 1], dtm->GetAltValues()[r] + 11);
    }
    for (int r = 0; r < 9; ++r) {
      ASSERT_EQ(memcmp(dtm->GetElevationGrid()[r], out->GetElevationGrid()[r], 22), 0) << r;
      ASSERT_EQ(memcmp(dtm->GetAltValues()[r], out->GetAltValues()[r], 22), 0) << r;
    }

    // A copy in the same layout, saved, is the file of the original.
    Sd_SonarDTM copy;
    ASSERT_EQ(copy.CopyFrom(dtm), 0);
    ASSERT_EQ(copy.GetElevationGrid()[1], copy.GetElevationGrid()[0] + 11);
    ASSERT_TRUE(dtm_test::AddAltValues(&copy));
    copy.SetName(out->GetName());
    const std::string again = dir.file("again.sd");
    ASSERT_TRUE(dtm_test::WriteSD(again, {&copy}));
    EXPECT_EQ(orvanta_test::ReadFileBytes(again), orvanta_test::ReadFileBytes(written));
    dtm->FreeData();
    dtm->FreeData();
    EXPECT_EQ(dtm->GetAltValues(), nullptr);
  }
}
