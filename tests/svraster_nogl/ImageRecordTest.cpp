// The image record of tagged-data-record files: exact round trips in both
// byte orders, the record's layout, foreign tags left for the next reader,
// and damaged or hostile records refused without over-allocating.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../tdr/TdrTestUtil.h"
#include "AllocationWatch.h"
#include "ImageTestUtil.h"
#include "Sv_ImageIO.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using image_test::MakePattern;
using image_test::SamePixels;
using orvanta_test::AllocationWatch;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using tdr_test::DebugOutput;

namespace {

// An image record followed by a georeference record and the end tag.
void WriteRecordFile(const std::string& path, Sv_ImageIO& image, int order) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  ASSERT_EQ(m.WriteHeader(), 0);
  ASSERT_EQ(image.SaveToTDR(&m), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  TDR_GeoRef geo;
  ASSERT_EQ(geo.Write(&m), 0);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

// Offset of the first tag header of a file.
size_t FirstRecord(const std::string& bytes) { return bytes.find("END_HEADER\n") + 11; }

}  // namespace

TEST(ImageRecord, RoundTripsExactlyInBothByteOrdersAndLeavesTheNextTag) {
  TempDir dir;
  const std::string path = dir.file("image.sd");
  for (int order : {1, 0}) {
    for (int format : {SV_2D_RGBA, SV_2D_RGB, SV_2D_GREY, SV_2D_TERRAIN16}) {
      SCOPED_TRACE("byte order " + std::to_string(order) + ", format " + std::to_string(format));
      Sv_ImageIO written;
      MakePattern(&written, 7, 5, format);
      WriteRecordFile(path, written, order);

      TDR_Manager m;
      ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
      ASSERT_EQ(m.ReadHeader(), 0);
      Sv_ImageIO read;
      ASSERT_EQ(read.LoadFromTDR(&m), 0);
      EXPECT_TRUE(SamePixels(read, written));
      EXPECT_EQ(read.GetRow(0)[0], 250);  // the marked corner is still row 0, column 0

      // The georeference record is not an image: refused, the image kept,
      // the record still there for the next reader.
      EXPECT_EQ(read.LoadFromTDR(&m), -1);
      EXPECT_TRUE(SamePixels(read, written));
      EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
    }
  }
}

TEST(ImageRecord, LayoutIsTheDocumentedScalarRecord) {
  TempDir dir;
  const std::string path = dir.file("layout.sd");
  Sv_ImageIO written;
  MakePattern(&written, 3, 2, SV_2D_RGB);
  WriteRecordFile(path, written, 1);

  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SCALAR);
  EXPECT_EQ(m.GetTagVersion(), 2);
  EXPECT_EQ(m.GetTagLength(), 4 + 3 * 4 + 4 + 4 + 16 + 4 + 3 * 2 * 3);
  TDR_PayloadReader in(&m);
  TDR_Scalar scalar;
  int format = 0;
  unsigned char bottomRow[9];
  ASSERT_TRUE(in.Scalar(&scalar) && in.Int32(&format) && in.Bytes(bottomRow, 9));
  EXPECT_EQ(scalar.GetNumDimensions(), 3);
  EXPECT_EQ(scalar.GetDimension(1), 3);  // channels
  EXPECT_EQ(scalar.GetDimension(2), 3);  // width
  EXPECT_EQ(scalar.GetDimension(3), 2);  // height
  EXPECT_EQ(scalar.GetDataType(), TDR_TYPE_CHAR);
  EXPECT_EQ(format, SV_2D_RGB);
  EXPECT_EQ(std::memcmp(bottomRow, written.GetRow(0), 9), 0);
  EXPECT_EQ(in.Left(), 9);
}

TEST(ImageRecord, DamagedAndHostileRecordsFailWithoutOverAllocating) {
  TempDir dir;
  const std::string good = dir.file("good.sd");
  const std::string bad = dir.file("bad.sd");
  Sv_ImageIO source;
  MakePattern(&source, 6, 4, SV_2D_RGBA);
  WriteRecordFile(good, source, 1);
  const std::string bytes = ReadFileBytes(good);
  const size_t record = FirstRecord(bytes);
  const size_t payload = record + 32;
  const int recordLength = 4 + 12 + 8 + 16 + 4 + 6 * 4 * 4;

  Sv_ImageIO before;
  MakePattern(&before, 2, 2, SV_2D_GREY);
  auto expectRefused = [&](const std::string& file, size_t fileBytes) {
    Sv_ImageIO image;
    MakePattern(&image, 2, 2, SV_2D_GREY);
    DebugOutput out;
    AllocationWatch watch;
    TDR_Manager m;
    int result = -1;
    if (m.OpenFile(file.c_str(), "rb") == 0 && m.ReadHeader() == 0) result = image.LoadFromTDR(&m);
    watch.Stop();
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(out.Text().empty());
    EXPECT_TRUE(SamePixels(image, before));
    EXPECT_LE(watch.Largest(), AllocationWatch::kFixedAllocations + fileBytes);
  };

  // Every prefix that cuts the record.
  for (size_t cut = record; cut < payload + recordLength; ++cut) {
    SCOPED_TRACE("prefix of " + std::to_string(cut) + " bytes");
    // A new file each time: truncating one file over and over is slow on
    // some file systems.
    const std::string prefix = dir.file("prefix" + std::to_string(cut));
    ASSERT_TRUE(WriteFileBytes(prefix, bytes.substr(0, cut)));
    expectRefused(prefix, cut);
  }

  auto patched = [&](size_t offset, int value, size_t offset2 = 0, int value2 = 0) {
    std::string b = bytes;
    std::memcpy(&b[offset], &value, 4);
    if (offset2) std::memcpy(&b[offset2], &value2, 4);
    return b;
  };
  const size_t width = payload + 8, height = payload + 12, format = payload + 40;
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"sides claiming 16 GiB", patched(width, 65536, height, 65536)},
      {"a height claiming 24 MiB", patched(height, 1 << 20)},
      {"a channel count that is not the format's", patched(format, SV_2D_RGB)},
      {"an unknown format", patched(format, 77)},
      {"a descriptor larger than its payload", patched(record + 8, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(bad, c.file));
    expectRefused(bad, c.file.size());
  }

  // Within the payload but beyond the pixel cap: refused before allocating.
  Sv_ImageIO::SetMaxPixels(20);
  expectRefused(good, 0);
  Sv_ImageIO::SetMaxPixels(0);
}
