// Bulk reads of the payload reader: rows straight into row tables of both
// layouts, in both byte orders, large blocks by the workers, and blocks
// that must stay inside the record they are read from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"
#include "TdrTestUtil.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using tdr_test::DebugOutput;

namespace {

constexpr int kRows = 37, kCols = 53;

// A row table in one block (rows one after another) or with every row on
// its own, filled with a pattern whose every byte differs.
struct Rows {
  explicit Rows(bool oneBlock) {
    block.resize(static_cast<size_t>(kRows) * kCols);
    separate.resize(kRows, std::vector<unsigned short>(kCols));
    for (int r = 0; r < kRows; ++r) table.push_back(oneBlock ? &block[static_cast<size_t>(r) * kCols] : separate[r].data());
  }
  void Fill() {
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c) table[r][c] = static_cast<unsigned short>(0x0102 * (r + 1) + 3 * c);
  }
  std::vector<unsigned short> block;
  std::vector<std::vector<unsigned short>> separate;
  std::vector<unsigned short*> table;
};

void WriteRowsFile(const std::string& path, int order, const Rows& rows) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  ASSERT_EQ(m.WriteHeader(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1), 0);
  TDR_PayloadWriter out(&m);
  EXPECT_TRUE(out.Rows(reinterpret_cast<const void* const*>(rows.table.data()), 2, kCols, kRows));
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

}  // namespace

TEST(TdrPayloadRows, ReadStraightIntoEitherLayoutInBothByteOrders) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    for (bool writeBlock : {true, false}) {
      Rows written(writeBlock);
      written.Fill();
      const std::string path = dir.file("rows.sd");
      WriteRowsFile(path, order, written);
      // The one-block table is also read by three workers in uneven parts.
      for (auto [readBlock, workers] : {std::pair{true, 1}, std::pair{false, 1}, std::pair{true, 3}}) {
        orvanta_test::WorkerLimit limit(workers, 3);
        Rows read(readBlock);
        TDR_Manager m;
        ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0);
        ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SCALAR);
        EXPECT_EQ(m.GetTagLength(), 2 * kRows * kCols);
        TDR_PayloadReader in(&m);
        // One row more than the payload holds is refused before anything is read.
        EXPECT_FALSE(TDR_PayloadReader(&m).Rows(reinterpret_cast<void* const*>(read.table.data()), 2, kCols + 1, kRows));
        EXPECT_EQ(read.table[0][0], 0);
        ASSERT_TRUE(in.Rows(reinterpret_cast<void* const*>(read.table.data()), 2, kCols, kRows));
        EXPECT_EQ(in.Left(), 0);
        for (int r = 0; r < kRows; ++r) EXPECT_EQ(memcmp(read.table[r], written.table[r], 2 * kCols), 0) << r;
        EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
      }
    }
  }
}

TEST(TdrPayloadColourMap, BlockMustLieInsideTheRecordThatCarriesIt) {
  TempDir dir;
  const std::string path = dir.file("cmap.sd");
  unsigned colours[256];
  for (unsigned i = 0; i < 256; ++i) colours[i] = i | ((i ^ 0x5A) << 8) | ((255 - i) << 16) | 0xFF000000u;
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    // An object record that carries the colours after a field of its own,
    // then one whose payload ends half-way through them, then a whole one.
    for (int bytes : {4 + 768, 4 + 500}) {
      ASSERT_EQ(m.WriteTag(TDR_TAG_SD_POINT3D, 1, 0, 0, 1), 0);
      TDR_PayloadWriter out(&m);
      out.Int32(7);
      std::vector<unsigned char> rgb(768, 0x33);
      out.Bytes(rgb.data(), bytes - 4);
      ASSERT_EQ(m.EndTag(), 0);
    }
    ASSERT_EQ(m.WriteTag(TDR_TAG_BK_CMAP, 1, 0, 0, 1), 0);
    ASSERT_EQ(TDR_UtlWriteColormapTag(&m, colours), 0);
    ASSERT_EQ(m.EndTag(), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  TDR_Manager m;
  ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0);
  unsigned out[256];
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_POINT3D);
  TDR_PayloadReader first(&m);
  int field = 0;
  ASSERT_TRUE(first.Int32(&field));
  ASSERT_EQ(TDR_UtlReadColormapTag(&m, out), out);
  EXPECT_EQ(out[10], 0xFF333333u);

  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_POINT3D);
  ASSERT_TRUE(TDR_PayloadReader(&m).Int32(&field));
  {
    // The next record's bytes never complete a short block.
    DebugOutput log;
    EXPECT_EQ(TDR_UtlReadColormapTag(&m, out), nullptr);
    EXPECT_TRUE(log.Contains("too short"));
  }
  EXPECT_EQ(out[10], 0xFF333333u) << "a refused block leaves the array as it was";
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_BK_CMAP);
  ASSERT_EQ(TDR_UtlReadColormapTag(&m, out), out);
  EXPECT_EQ(memcmp(out, colours, sizeof out), 0);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
}
