// The terrain files of the non-contiguous DTM: the scalar file's codes and
// descriptor, the georeference file's bounds, the names they are written
// under, and writes that cannot be done.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "Sd_SonarDTM.h"
#include "SonarTestSupport.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace {

using dtm_test::kEmpty;
using dtm_test::Messages;

// The code the file format gives height h over zmin ... zmax (whose
// difference is taken in single precision).
unsigned short FormulaCode(float h, float zmin, float zmax) {
  const float range = zmax - zmin;
  return static_cast<unsigned short>(std::trunc((static_cast<double>(h) - zmin) / range * 65534.0 + 1.0));
}

// 2 x 4 nodes whose codes run from below the terrain's code range to
// above it, with one empty node; z bounds not exactly representable.
std::unique_ptr<Sd_SonarDTM> MixedTerrain() {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  if (dtm->CreateGrids(2, 4) != 0) return nullptr;
  dtm->SetEmptyCode(kEmpty);
  dtm->SetCodeRange(100, 60100);
  dtm->SetBounds(0, 1000.0f, 1300.0f);
  dtm->SetBounds(1, 5000.0f, 5100.0f);
  dtm->SetBounds(2, -123.4f, 567.8f);
  const unsigned short codes[2][4] = {{100, 60100, kEmpty, 50}, {65000, 30000, 12345, 59999}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 4; ++c) dtm->GetElevationGrid()[r][c] = codes[r][c];
  }
  return dtm;
}

// Opens path and reads its header and first tag header; the tag id.
int FirstTag(TDR_Manager* m, const std::string& path) {
  if (m->OpenFile(path.c_str(), "rb") != 0 || m->ReadHeader() != 0) return -1;
  return m->ReadTag();
}

TEST(SonarWrite, ScalarAndGeoFilesReadBackWithTheirCodesAndBounds) {
  orvanta_test::TempDir dir;
  std::unique_ptr<Sd_SonarDTM> dtm = MixedTerrain();
  ASSERT_TRUE(dtm);
  ASSERT_EQ(dtm->GetFloatGrid(), nullptr);
  // The extension is replaced; the float grid is made from the codes.
  ASSERT_EQ(dtm->WriteDTMFile(dir.file("area.xyz").c_str()), 0);
  ASSERT_NE(dtm->GetFloatGrid(), nullptr);
  ASSERT_EQ(dtm->WriteScalarFile(dir.file("area.xyz").c_str()), 0);
  ASSERT_EQ(dtm->WriteGeoFile(dir.file("area").c_str()), 0);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), (std::vector<std::string>{"area.dtm", "area.geo", "area.scalar"}));
  EXPECT_EQ(orvanta_test::ReadFileBytes(dir.file("area.dtm")), orvanta_test::ReadFileBytes(dir.file("area.scalar")));

  // Descriptor: columns, rows, USHORT over the z bounds.
  TDR_Manager m;
  ASSERT_EQ(FirstTag(&m, dir.file("area.dtm")), TDR_TAG_SCALAR);
  EXPECT_EQ(m.GetTagVersion(), 2);
  TDR_Scalar scalar;
  {
    TDR_PayloadReader in(&m);
    ASSERT_TRUE(in.Scalar(&scalar));
  }
  EXPECT_EQ(scalar.GetDimension(1), 4);
  EXPECT_EQ(scalar.GetDimension(2), 2);
  EXPECT_EQ(scalar.GetDataType(), TDR_TYPE_USHORT);
  EXPECT_EQ(scalar.GetRange()[0], -123.4f);
  EXPECT_EQ(scalar.GetRange()[1], 567.8f);

  // Codes: zmin 1, zmax 65535, empty and out-of-range nodes 0, the rest
  // by the formula; the words name the span 1 ... 65535.
  ASSERT_EQ(m.UnreadTagHeader(), 0);
  ASSERT_EQ(m.ReadTag(), TDR_TAG_SCALAR);
  Sd_SonarDTM back;
  ASSERT_EQ(back.LoadElevations(&m), 0);
  EXPECT_EQ(m.ReadTag(), TDR_TAG_EOF);
  EXPECT_EQ(back.GetMinCode(), 1);
  EXPECT_EQ(back.GetMaxCode(), 65535);
  ASSERT_EQ(back.GetRows(), 2);
  ASSERT_EQ(back.GetCols(), 4);
  // Row 0: zmin, zmax, empty, below; row 1: above, then the formula.
  unsigned short** codes = back.GetElevationGrid();
  float** h = dtm->GetFloatGrid();
  const float z0 = -123.4f, z1 = 567.8f;
  const unsigned short expected[2][4] = {
      {1, 65535, 0, 0}, {0, FormulaCode(h[1][1], z0, z1), FormulaCode(h[1][2], z0, z1), FormulaCode(h[1][3], z0, z1)}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(codes[r][c], expected[r][c]) << r << " " << c;
  }
  EXPECT_GT(expected[1][3], 1);
  EXPECT_LT(expected[1][3], 65535);

  // The georeference: the six bounds, colour resolution 0, defaults else.
  TDR_Manager g;
  ASSERT_EQ(FirstTag(&g, dir.file("area.geo")), TDR_TAG_GEOREF);
  TDR_GeoRef geo;
  ASSERT_EQ(geo.Read(&g), 0);
  EXPECT_EQ(g.ReadTag(), TDR_TAG_EOF);
  const double bounds[6] = {geo.GetXBounds()[0], geo.GetXBounds()[1], geo.GetYBounds()[0],
                            geo.GetYBounds()[1], geo.GetZBounds()[0], geo.GetZBounds()[1]};
  EXPECT_EQ(std::vector<double>(bounds, bounds + 6), (std::vector<double>{1000.0, 1300.0, 5000.0, 5100.0, z0, z1}));
  EXPECT_EQ(geo.GetColorResolution(), 0.0f);
  EXPECT_EQ(geo.GetReferenceType(), 0);
  EXPECT_EQ(geo.GetGeoUnitType(), 0);
  EXPECT_EQ(geo.GetRotation(), 0.0);
}

TEST(SonarWrite, HeightCodesOfRoundedNaNAndFlatBoundsHeights) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(10.0f, -10.0f, 30.0f), 32768);
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(-10.5f, -10.0f, 30.0f), 0);
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(nan, -10.0f, 30.0f), 0);
  // Rounding of the float grid's top node does not drop it.
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(std::nextafter(567.8f, 1e9f), -123.4f, 567.8f), 65535);
  // Equal bounds: no division by zero, their height is code 1.
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(5.0f, 5.0f, 5.0f), 1);
  EXPECT_EQ(Sd_SonarDTM::HeightFileCode(6.0f, 5.0f, 5.0f), 0);
}

TEST(SonarWrite, FailedWritesReportAndLeaveTheFolderAsItWas) {
  orvanta_test::TempDir dir;
  std::unique_ptr<Sd_SonarDTM> dtm = dtm_test::MakeSonar(64, 64, 3, 5, 3, 5);
  ASSERT_TRUE(dtm);
  {
    // A folder that does not exist.
    Messages messages;
    const std::string path = dir.file("missing/area.dtm");
    EXPECT_EQ(dtm->OutputDTM(path.c_str()), -1);
    EXPECT_EQ(dtm->WriteGeoFile(dir.file("missing/area").c_str()), -1);
    const std::string all = messages.All();
    EXPECT_NE(all.find("ERROR: OutputDTM: Opening file: " + path), std::string::npos) << all;
    EXPECT_NE(all.find("ERROR:  Opening geo file for writing  -  : " + dir.file("missing/area.geo")),
              std::string::npos);
  }
  {
    // A disk that fills up half-way: the old file stays, nothing is left.
    ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("old.dtm"), "old contents"));
    Messages messages;
    orvanta_test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.ok());
    EXPECT_EQ(dtm->OutputDTM(dir.file("old.dtm").c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR: OutputDTM: Writing file")) << messages.All();
  }
  EXPECT_EQ(orvanta_test::ReadFileBytes(dir.file("old.dtm")), "old contents");
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"old.dtm"});
  // A DTM without heights writes nothing.
  Sd_SonarDTM empty;
  EXPECT_EQ(empty.WriteDTMFile(dir.file("none").c_str()), -1);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"old.dtm"});
}

}  // namespace
