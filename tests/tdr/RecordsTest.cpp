#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"
#include "TDR_Utl.h"
#include "TdrTestUtil.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using tdr_test::DebugOutput;

namespace {

// Writes a file with one record of the tag (version given) whose payload
// the function writes, then the end tag.
void WriteRecord(const std::string& path, int order, int tag, short version,
                 const std::function<void(TDR_Manager&)>& payload) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  ASSERT_EQ(m.WriteHeader(), 0);
  ASSERT_EQ(m.WriteTag(tag, version, 0, 0, 1), 0);
  payload(m);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

// Opens the file and reads up to the first record's payload.
bool OpenAtRecord(TDR_Manager& m, const std::string& path, int tag) {
  return m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0 && m.ReadTag(nullptr) == tag;
}

TDR_GeoRef SampleGeoRef() {
  TDR_GeoRef g;
  g.SetReferenceType(3);
  g.m_geoUnitType = 2;
  g.SetSubUnitType(17);
  g.SetXBounds(500000.25, 510000.5);
  g.SetYBounds(-4200000.125, -4100000.0);
  g.SetZBounds(-5123.5, 12.75);
  g.SetCellDeltas(2.5, 3.25);
  g.SetMinXY(499999.0, -4200001.0);
  g.SetRotation(12.5);
  g.SetColorResolution(0.125f);
  return g;
}

}  // namespace

TEST(TdrGeoRef, DefaultsAndMissingManager) {
  TDR_GeoRef g;
  EXPECT_EQ(g.GetTagVersion(), 1);
  EXPECT_EQ(g.GetFormatVersion(), 2.0f);
  EXPECT_EQ(g.GetReferenceType(), 0);
  EXPECT_EQ(g.m_geoUnitType, 0);
  EXPECT_EQ(g.GetXBounds()[1], 0.0);
  EXPECT_EQ(g.GetColorResolution(), 0.0f);
  EXPECT_EQ(g.Read(nullptr), -1);
  EXPECT_EQ(g.Write(nullptr), -1);
}

TEST(TdrGeoRef, RoundTripsEveryFieldInBothByteOrdersAndTagVersions) {
  TempDir dir;
  const TDR_GeoRef src = SampleGeoRef();
  for (int order = 0; order <= 1; ++order) {
    for (short version : {0, 1, 4}) {
      const std::string path = dir.file("geo.sd");
      WriteRecord(path, order, TDR_TAG_GEOREF, version, [&](TDR_Manager& m) {
        TDR_GeoRef copy = src;
        ASSERT_EQ(copy.Write(&m), 0);
      });
      TDR_Manager m;
      ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_GEOREF));
      EXPECT_EQ(m.GetTagLength(), TDR_GeoRef::kPayloadSize + (version == 0 ? 4 : 0));
      TDR_GeoRef g;
      ASSERT_EQ(g.Read(&m), 0);
      EXPECT_EQ(g.GetReferenceType(), 3);
      EXPECT_EQ(g.m_geoUnitType, 2);
      EXPECT_EQ(g.GetSubUnitType(), 17);
      EXPECT_EQ(g.GetXBounds()[0], 500000.25);
      EXPECT_EQ(g.GetXBounds()[1], 510000.5);
      EXPECT_EQ(g.GetYBounds()[0], -4200000.125);
      EXPECT_EQ(g.GetYBounds()[1], -4100000.0);
      EXPECT_EQ(g.GetZBounds()[0], -5123.5);
      EXPECT_EQ(g.GetZBounds()[1], 12.75);
      EXPECT_EQ(g.GetCellDeltas()[0], 2.5);
      EXPECT_EQ(g.GetCellDeltas()[1], 3.25);
      EXPECT_EQ(g.GetMinXY()[0], 499999.0);
      EXPECT_EQ(g.GetMinXY()[1], -4200001.0);
      EXPECT_EQ(g.GetRotation(), 12.5);
      EXPECT_EQ(g.GetColorResolution(), 0.125f);
      EXPECT_EQ(g.GetTagVersion(), version);
      EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
    }
  }
}

TEST(TdrGeoRef, OldSinglePrecisionLayoutIsConverted) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    const std::string path = dir.file("old.sd");
    WriteRecord(path, order, TDR_TAG_GEOREF, 0, [&](TDR_Manager& m) {
      const float format = 1.0f;
      const int types[2] = {1, 2};
      const float bounds[6] = {10.5f, 20.5f, -3.0f, 4.0f, -100.0f, 0.0f};
      FILE* f = m.GetFilePtr();
      Sv_UtlFwriteCopy(&format, 4, 1, f, m.GetByteOrder());
      Sv_UtlFwriteCopy(types, 4, 2, f, m.GetByteOrder());
      Sv_UtlFwriteCopy(bounds, 4, 6, f, m.GetByteOrder());
    });
    TDR_Manager m;
    ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_GEOREF));
    TDR_GeoRef g = SampleGeoRef();
    ASSERT_EQ(g.Read(&m), 0);
    EXPECT_EQ(g.GetReferenceType(), 1);
    EXPECT_EQ(g.m_geoUnitType, 2);
    EXPECT_EQ(g.GetSubUnitType(), 0);
    EXPECT_EQ(g.GetXBounds()[0], 10.5);
    EXPECT_EQ(g.GetXBounds()[1], 20.5);
    EXPECT_EQ(g.GetYBounds()[0], -3.0);
    EXPECT_EQ(g.GetZBounds()[0], -100.0);
    EXPECT_EQ(g.GetMinXY()[0], 10.5);
    EXPECT_EQ(g.GetMinXY()[1], -3.0);
    EXPECT_EQ(g.GetCellDeltas()[0], 0.0);
    EXPECT_EQ(g.GetRotation(), 0.0);
    EXPECT_EQ(g.GetColorResolution(), 0.0f);
    EXPECT_EQ(g.GetFormatVersion(), 2.0f);
  }
}

TEST(TdrGeoRef, ShortOrNonFinitePayloadIsRefusedAndLeavesTheRecord) {
  TempDir dir;
  const std::string path = dir.file("bad.sd");
  WriteRecord(path, 1, TDR_TAG_GEOREF, 1, [](TDR_Manager& m) {
    TDR_GeoRef g = SampleGeoRef();
    g.Write(&m);
    fseek(m.GetFilePtr(), -4, SEEK_CUR);  // drop the colour resolution
  });
  {
    TDR_Manager m;
    ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_GEOREF));
    TDR_GeoRef g;
    DebugOutput out;
    EXPECT_EQ(g.Read(&m), -1);
    EXPECT_TRUE(out.Contains("too short"));
    EXPECT_EQ(g.GetXBounds()[0], 0.0) << "unchanged";
  }
  WriteRecord(path, 0, TDR_TAG_GEOREF, 1, [](TDR_Manager& m) {
    TDR_GeoRef g = SampleGeoRef();
    g.SetRotation(std::numeric_limits<double>::quiet_NaN());
    g.Write(&m);
  });
  TDR_Manager m;
  ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_GEOREF));
  TDR_GeoRef g;
  DebugOutput out;
  EXPECT_EQ(g.Read(&m), -1);
  EXPECT_TRUE(out.Contains("not a number"));
}

TEST(TdrScalar, DescriptorRoundTripsAndTypeCodes) {
  TDR_Scalar d;
  EXPECT_EQ(d.GetDataType(), TDR_TYPE_NULL);
  EXPECT_EQ(d.GetNumDimensions(), 0);
  EXPECT_EQ(d.GetElementCount(), 0);
  const int widths[TDR_TYPE_COUNT] = {0, 8, 16, 16, 32, 32, 32, 32, 64, 64, 32, 64};
  for (int t = 0; t < TDR_TYPE_COUNT; ++t) EXPECT_EQ(TDR_Scalar::BitWidth(t), widths[t]);
  EXPECT_EQ(TDR_TYPE_CHAR, 1);
  EXPECT_EQ(TDR_TYPE_USHORT, 3);
  EXPECT_EQ(TDR_TYPE_UINT, 5);
  EXPECT_EQ(TDR_TYPE_ULONG, 7);
  EXPECT_EQ(TDR_Scalar::BitWidth(12), -1);
  d.SetDataType(99);
  EXPECT_EQ(d.GetDataType(), TDR_TYPE_NULL);

  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    for (short version : {0, 2}) {
      const std::string path = dir.file("scalar.sd");
      WriteRecord(path, order, TDR_TAG_SCALAR, version, [&](TDR_Manager& m) {
        TDR_Scalar s;
        EXPECT_EQ(s.Write(&m), -1) << "an empty descriptor is not written";
        s.SetNumDimensions(3);
        s.SetDimension(1, 4);
        s.SetDimension(2, 3);
        s.SetDimension(3, 2);
        s.SetDataType(TDR_TYPE_DOUBLE);
        s.SetRange(-1.5, 1e300);
        ASSERT_EQ(s.Write(&m), 0);
        for (int i = 0; i < 24; ++i) {
          const double v = i * 0.5;
          Sv_UtlFwriteCopy(&v, 8, 1, m.GetFilePtr(), m.GetByteOrder());
        }
      });
      TDR_Manager m;
      ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_SCALAR));
      TDR_Scalar s;
      ASSERT_EQ(s.Read(&m), 0);
      EXPECT_EQ(s.GetNumDimensions(), 3);
      EXPECT_EQ(s.GetDimension(1), 4);
      EXPECT_EQ(s.GetDimension(2), 3);
      EXPECT_EQ(s.GetDimension(3), 2);
      EXPECT_EQ(s.GetDimension(4), 0);
      EXPECT_EQ(s.GetDataType(), TDR_TYPE_DOUBLE);
      EXPECT_EQ(s.GetBitWidth(), 64);
      EXPECT_EQ(s.GetRange()[0], -1.5);
      EXPECT_EQ(s.GetRange()[1], 1e300);
      EXPECT_EQ(s.GetDataSize(), 24 * 8);
      EXPECT_EQ(m.GetTagBytesLeft(), 24 * 8);
      double data[24];
      ASSERT_EQ(Sv_UtlFread(data, 8, 24, m.GetFilePtr(), m.GetByteOrder()), 24);
      EXPECT_EQ(data[23], 11.5);
    }
  }
}

TEST(TdrScalar, BadDescriptorsAreRefused) {
  TempDir dir;
  struct Case {
    int dims;
    int sizes[4];
    int type;
    int width;
    int dataBytes;
    const char* message;
  };
  const Case cases[] = {
      {0, {1, 1, 1, 1}, 3, 16, 0, "number of dimensions"},
      {5, {1, 1, 1, 1}, 3, 16, 0, "number of dimensions"},
      {-1, {1, 1, 1, 1}, 3, 16, 0, "number of dimensions"},
      {2, {4, 0, 1, 1}, 3, 16, 0, "dimension size"},
      {2, {-4, 4, 1, 1}, 3, 16, 0, "dimension size"},
      {2, {2, 2, 1, 1}, 12, 16, 8, "unknown data type"},
      {2, {2, 2, 1, 1}, 0, 0, 8, "unknown data type"},
      {2, {2, 2, 1, 1}, 3, 32, 8, "bit width"},
      {2, {2, 2, 1, 1}, 3, 16, 7, "larger than its record"},
      {4, {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}, 11, 64, 8, "larger than its record"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("bad.sd");
    WriteRecord(path, 1, TDR_TAG_SCALAR, 2, [&](TDR_Manager& m) {
      FILE* f = m.GetFilePtr();
      Sv_UtlFwriteCopy(&c.dims, 4, 1, f, 1);
      Sv_UtlFwriteCopy(c.sizes, 4, c.dims > 0 && c.dims <= 4 ? c.dims : 1, f, 1);
      const int tw[2] = {c.type, c.width};
      Sv_UtlFwriteCopy(tw, 4, 2, f, 1);
      const double range[2] = {0.0, 1.0};
      Sv_UtlFwriteCopy(range, 8, 2, f, 1);
      for (int i = 0; i < c.dataBytes; ++i) fputc(0, f);
    });
    TDR_Manager m;
    ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_SCALAR));
    TDR_Scalar s;
    DebugOutput out;
    EXPECT_EQ(s.Read(&m), -1) << c.message;
    EXPECT_TRUE(out.Contains(c.message)) << out.Text();
    EXPECT_EQ(s.GetDataType(), TDR_TYPE_NULL) << "unchanged";
  }
}

TEST(TdrScalar32, GridRoundTripsInBothByteOrders) {
  TempDir dir;
  // Large enough (300 KB) to be read through the manager's larger stream buffer.
  const int rows = 300, cols = 257;
  unsigned int** grid = Sv_UtlAlloc2DInt(rows, cols);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) grid[r][c] = 0x01020304u * static_cast<unsigned>(r + 1) + static_cast<unsigned>(c);
  for (int order = 0; order <= 1; ++order) {
    const std::string path = dir.file("grid.sd");
    {
      TDR_Manager m;
      ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
      m.SetByteOrder(order);
      ASSERT_EQ(m.WriteHeader(), 0);
      EXPECT_EQ(TDR_UtlWriteScalar32Tag(&m, grid, 0, cols), -1);
      ASSERT_EQ(TDR_UtlWriteScalar32Tag(&m, grid, rows, cols), 0);
      ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
      ASSERT_EQ(m.CloseFile(), 0);
    }
    TDR_Manager m;
    ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_SCALAR));
    EXPECT_EQ(m.GetTagVersion(), 2);
    EXPECT_EQ(m.GetTagLength(), 36 + 8 + rows * cols * 4);
    int r = 0, c = 0;
    unsigned int** back = TDR_UtlReadScalar32Tag(&m, &r, &c);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(r, rows);
    ASSERT_EQ(c, cols);
    for (int i = 0; i < rows; ++i) EXPECT_EQ(memcmp(back[i], grid[i], cols * 4), 0);
    Sv_UtlFree2D(back, r);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }
  // A 16-bit scalar is not a 32-bit grid.
  const std::string path = dir.file("short.sd");
  WriteRecord(path, 1, TDR_TAG_SCALAR, 2, [](TDR_Manager& m) {
    TDR_Scalar s;
    s.SetNumDimensions(2);
    s.SetDataType(TDR_TYPE_USHORT);
    s.Write(&m);
    fwrite("\0\0\0\0\0\0", 1, 6, m.GetFilePtr());
  });
  TDR_Manager m;
  ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_SCALAR));
  int r = 7, c = 7;
  DebugOutput out;
  EXPECT_EQ(TDR_UtlReadScalar32Tag(&m, &r, &c), nullptr);
  EXPECT_TRUE(out.Contains("32-bit"));
  EXPECT_EQ(r, 0);
  Sv_UtlFree2D(grid, rows);
}

TEST(TdrColormap, TagAndFileRoundTripWithAlpha255) {
  TempDir dir;
  unsigned int colours[256];
  for (unsigned i = 0; i < 256; ++i) colours[i] = i | ((255 - i) << 8) | ((i * 7 & 255) << 16) | (0x12u << 24);
  for (int order = 0; order <= 1; ++order) {
    for (short version : {0, 1}) {
      const std::string path = dir.file("map.sd");
      WriteRecord(path, order, TDR_TAG_BK_CMAP, version,
                  [&](TDR_Manager& m) { ASSERT_EQ(TDR_UtlWriteColormapTag(&m, colours), 0); });
      TDR_Manager m;
      ASSERT_TRUE(OpenAtRecord(m, path, TDR_TAG_BK_CMAP));
      EXPECT_EQ(m.GetTagLength(), 768 + (version == 0 ? 4 : 0));
      unsigned int* back = TDR_UtlReadColormapTag(&m, nullptr);
      ASSERT_NE(back, nullptr);
      for (int i = 0; i < 256; ++i) ASSERT_EQ(back[i], (colours[i] & 0xFFFFFFu) | 0xFF000000u) << i;
      free(back);
    }
  }
  EXPECT_EQ(colours[1] & 0xFF, 1u) << "red is the low byte";

  const std::string file = dir.file("step16.cmap");
  ASSERT_EQ(TDR_UtlWriteColormap(file.c_str(), colours), 0);
  unsigned int into[256] = {};
  EXPECT_EQ(TDR_UtlReadColormap(file.c_str(), into), into);
  EXPECT_EQ(into[200], (colours[200] & 0xFFFFFFu) | 0xFF000000u);
}

TEST(TdrColormap, FileFailuresGiveTheirMessagesAndLeaveTheArray) {
  TempDir dir;
  unsigned int into[256];
  for (unsigned int& c : into) c = 7;
  {
    DebugOutput out;
    const std::string missing = dir.file("none.cmap");
    EXPECT_EQ(TDR_UtlReadColormap(missing.c_str(), into), nullptr);
    EXPECT_TRUE(out.Contains("ERROR:  Opening colormap file - " + missing)) << out.Text();
  }
  const std::string text = dir.file("text.cmap");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(text, "not a colour map\n"));
  {
    DebugOutput out;
    EXPECT_EQ(TDR_UtlReadColormap(text.c_str(), into), nullptr);
    EXPECT_TRUE(out.Contains("ERROR:  Reading colormap header - " + text)) << out.Text();
  }
  const std::string noMap = dir.file("nomap.cmap");
  WriteRecord(noMap, 1, TDR_TAG_GEOREF, 1, [](TDR_Manager& m) { SampleGeoRef().Write(&m); });
  {
    DebugOutput out;
    EXPECT_EQ(TDR_UtlReadColormap(noMap.c_str(), into), nullptr);
    EXPECT_TRUE(out.Contains("ERROR:  No end of colormap tag found!")) << out.Text();
  }
  const std::string shortMap = dir.file("short.cmap");
  WriteRecord(shortMap, 1, TDR_TAG_BK_CMAP, 1, [](TDR_Manager& m) { fwrite("abc", 1, 3, m.GetFilePtr()); });
  {
    DebugOutput out;
    EXPECT_EQ(TDR_UtlReadColormap(shortMap.c_str(), into), nullptr);
    EXPECT_TRUE(out.Contains("Colormap record is too short")) << out.Text();
  }
  for (unsigned int c : into) ASSERT_EQ(c, 7u);
}
