// Uniform terrain model: records, settings, the factory and the queries.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_IOSupport.h"
#include "TestSupport.h"

using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using dtm_test::Settings;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// The object record (at tag version 0 or 1) and the two grid records of
// dtm, without common tags.
void WriteGridRecords(SDWriter& w, Sd_BasicDTM* dtm, bool objectVersion0 = false) {
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_BASICDTM, dtm, objectVersion0 ? 0 : 1);
}

}  // namespace

TEST(BasicDTM, RegistrationJoinsTheFactory) {
  EXPECT_EQ(Sd_RegisterTerrainClasses(), 0);
  EXPECT_EQ(Sd_RegisterTerrainClasses(), 0) << "a second call changes nothing";
  Sd_IOSupport::Factory make = Sd_IOSupport::GetFactory(TDR_TAG_SD_BASICDTM);
  ASSERT_NE(make, nullptr);
  Sd_Node* node = make();
  EXPECT_STREQ(node->className(), "Uniform DTM");
  EXPECT_EQ(node->GetType(), Sd_IOSupport::FindClass(TDR_TAG_SD_BASICDTM)->typeId);
  delete node;
  EXPECT_EQ(Sd_IOSupport::RegisterClass(TDR_TAG_SD_BASICDTM, [] { return static_cast<Sd_Node*>(nullptr); }), -1)
      << "another constructor for a taken tag";
  EXPECT_EQ(Sd_IOSupport::RegisterClass(TDR_TAG_SD_BASICDTM_ATB, make), -1) << "not an object tag";
}

TEST(BasicDTM, RecordsRoundTripWithSettingsAndBounds) {
  TempDir dir;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    auto out = dtm_test::MakeDTM(7, 9);
    dtm_test::SetRoundTripSettings(out.get());
    out->GetColorGrid()[3][4] = PackColour(1, 2, 3, 77);
    const std::string path = dir.file("round.sd");
    ASSERT_TRUE(dtm_test::WriteSD(path, {out.get()}, order));

    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 1u);
    Sd_BasicDTM* dtm = in->Terrain(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_STREQ(dtm->GetName(), "round.sd");
    EXPECT_EQ(dtm->GetRows(), 7);
    EXPECT_EQ(dtm->GetCols(), 9);
    EXPECT_EQ(dtm->GetMinCode(), 1);
    EXPECT_EQ(dtm->GetMaxCode(), 65535);
    EXPECT_EQ(dtm->GetElevationGrid()[6][8], out->GetElevationGrid()[6][8]);
    EXPECT_EQ(dtm->GetColorGrid()[3][4], PackColour(1, 2, 3, 77));
    dtm_test::ExpectRoundTripSettings(dtm);
  }
}

TEST(BasicDTM, SettingsRecordsOfEveryVersion) {
  TempDir dir;
  auto out = dtm_test::MakeDTM(3, 3);
  struct Case {
    int version;
    int autoLodWord;
    int expectedAutoLod;
  };
  for (const Case& k : {Case{0, 0, 1}, Case{1, 0, 1}, Case{2, 0, 0}, Case{2, 1, 1}}) {
    SCOPED_TRACE(k.version);
    const std::string path = dir.file("settings.sd");
    SDWriter w(path);
    WriteGridRecords(w, out.get(), /*objectVersion0=*/k.version == 0);
    ASSERT_EQ(out->Sd_Node::WriteCommonTags(w.Manager()), 0);
    // An earlier record is overwritten by a later one.
    w.Raw(TDR_TAG_SD_BASICDTM_ATB, Settings(k.version, 1, 11, 3, 0), static_cast<short>(k.version));
    w.Raw(TDR_TAG_SD_BASICDTM_ATB, Settings(k.version, 2, 128, 4, k.autoLodWord), static_cast<short>(k.version));
    ASSERT_TRUE(w.Close());
    auto in = ReadSD(path);
    ASSERT_NE(in->Terrain(0), nullptr);
    EXPECT_EQ(in->Terrain(0)->GetDrawMode(), 2);
    EXPECT_EQ(in->Terrain(0)->GetAlpha(), 128);
    EXPECT_EQ(in->Terrain(0)->GetLODStep(), 4);
    EXPECT_EQ(in->Terrain(0)->GetAutoLOD(), k.expectedAutoLod);
  }
}

TEST(BasicDTM, DamagedSettingsKeepTheDefaultsAndOddValuesAreTamed) {
  TempDir dir;
  auto out = dtm_test::MakeDTM(3, 3);
  const std::string path = dir.file("settings.sd");
  SDWriter w(path);
  WriteGridRecords(w, out.get());
  w.Raw(TDR_TAG_SD_BASICDTM_ATB, Settings(2, 0, 999, -4, 1).substr(0, 9), 2);
  w.Raw(TDR_TAG_SD_BASICDTM_ATB, Settings(2, 0, 999, -4, 1), 2);
  ASSERT_TRUE(w.Close());
  Messages messages;
  auto in = ReadSD(path);
  ASSERT_NE(in->Terrain(0), nullptr);
  EXPECT_TRUE(messages.Contains("Damaged uniform DTM settings record")) << messages.All();
  EXPECT_EQ(in->Terrain(0)->GetAlpha(), 255) << "alpha is at most 255";
  EXPECT_EQ(in->Terrain(0)->GetLODStep(), 1) << "a stride below 1 would never end a drawing";
}

// The factory's rule for tag 10000: a record that cannot be loaded is
// refused with the warning and the object discarded; the next record loads.
TEST(BasicDTM, TruncatedAndCorruptRecordsAreRefusedAndTheNextRecordLoads) {
  TempDir dir;
  auto good = dtm_test::MakeDTM(4, 5);
  auto other = dtm_test::MakeDTM(5, 4);
  struct Case {
    const char* name;
    std::function<void(SDWriter&)> write;
    const char* debug;
  };
  const Case cases[] = {
      {"no grids", [&](SDWriter& w) { w.Raw(TDR_TAG_SD_BASICDTM, ""); },
       "expected TDR_TAG_SCALAR!"},
      {"no colours", [&](SDWriter& w) { w.Raw(TDR_TAG_SD_BASICDTM, "").Elevations(good.get()); },
       "expected TDR_TAG_SCALAR!"},
      {"rows cut short",
       [&](SDWriter& w) {
         w.Raw(TDR_TAG_SD_BASICDTM, "")
             .Scalar(TDR_TYPE_USHORT, {5, 4}, std::string(40, '\x02'))  // codes and 18 of 20 heights
             .Colors(good.get());
       },
       "shorter than its grid"},
      {"colours of another size",
       [&](SDWriter& w) { w.Raw(TDR_TAG_SD_BASICDTM, "").Elevations(good.get()).Colors(other.get()); },
       "differs from the elevation grid"},
      {"one row only",
       [&](SDWriter& w) {
         auto flat = dtm_test::MakeDTM(1, 5, [](int, int, int, int) -> unsigned short { return 9; });
         WriteGridRecords(w, flat.get());
       },
       "at least 2 x 2"},
      {"damaged georeference",
       [&](SDWriter& w) {
         WriteGridRecords(w, good.get());
         w.Raw(TDR_TAG_GEOREF, "xx");
       },
       "Damaged georeference record"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file("bad.sd");
    SDWriter w(path);
    k.write(w);
    w.Object(good.get());
    ASSERT_TRUE(w.Close());
    Messages messages;
    const long live = Sd_Node::LiveCount();
    {
      auto in = ReadSD(path);
      ASSERT_EQ(in->children.size(), 1u) << messages.All();
      ASSERT_NE(in->Terrain(0), nullptr);
      EXPECT_EQ(in->Terrain(0)->GetRows(), 4);
    }
    EXPECT_EQ(Sd_Node::LiveCount(), live);
    const std::string all = messages.All();
    EXPECT_NE(all.find("Could not load data: possible data format problem"), std::string::npos) << all;
    EXPECT_NE(all.find(k.debug), std::string::npos) << all;
  }
}

TEST(BasicDTM, AFileCutInsideItsLastRecordKeepsTheRecordsBefore) {
  TempDir dir;
  auto good = dtm_test::MakeDTM(6, 6);
  const std::string one = dir.file("one.sd");
  const std::string path = dir.file("cut.sd");
  ASSERT_TRUE(dtm_test::WriteSD(one, {good.get()}));
  ASSERT_TRUE(dtm_test::WriteSD(path, {good.get(), good.get()}));
  // The second object starts where the first file has its end tag; cut the
  // file inside that object's elevation record.
  const size_t second = ReadFileBytes(one).size() - TDR_Manager::kTagHeaderSize;
  const size_t end = second + 2 * TDR_Manager::kTagHeaderSize + 40;
  ASSERT_TRUE(WriteFileBytes(path, ReadFileBytes(path).substr(0, end)));
  Messages messages;
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 1u);
  EXPECT_EQ(in->Terrain(0)->GetRows(), 6);
  EXPECT_TRUE(messages.Contains("cut.sd\" ends early at byte " + std::to_string(end) + " after 1 object loaded."))
      << messages.All();
  // The class's text comes first, then where the file ends.
  const std::string all = messages.All();
  EXPECT_LT(all.find("Could not load data"), all.find("ends early")) << all;
}

TEST(BasicDTM, FailedLoadLeavesAnObjectThatIsSafeToQuery) {
  TempDir dir;
  const std::string path = dir.file("empty.sd");
  SDWriter w(path);
  w.Raw(TDR_TAG_SD_BASICDTM, "");
  ASSERT_TRUE(w.Close());
  int tag = 0;
  auto m = dtm_test::OpenAtFirstTag(path, &tag);
  ASSERT_TRUE(m);
  ASSERT_EQ(tag, TDR_TAG_SD_BASICDTM);
  auto dtm = dtm_test::MakeDTM(5, 5);
  Messages messages;
  EXPECT_EQ(dtm->LoadObject(m.get()), -1);
  EXPECT_EQ(m->ReadTag(nullptr), TDR_TAG_EOF) << "the foreign tag was left for the caller";
  EXPECT_EQ(dtm->GetRows(), 0);
  EXPECT_EQ(dtm->GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5500.0, nullptr), 1e12);
  EXPECT_EQ(dtm->ValueAt(1500.0, 5500.0, 0), 0);
  EXPECT_EQ(dtm->SaveObject(m.get(), 1, 0), -1);
}

TEST(BasicDTM, GeoPickPointBlendsTheFourCornersOfItsCell) {
  auto dtm = dtm_test::MakeDTM(11, 11, dtm_test::RampCode);  // height rises along x
  for (int r = 0; r < 11; ++r) {
    for (int c = 0; c < 11; ++c) dtm->GetColorGrid()[r][c] = PackColour(20 * c, 0, 10 * r, 255);
  }
  auto height = [&](double code) { return code / 65535.0 * 100.0; };
  unsigned colour = 0;
  // Middle of cell (2, 3): x = 1000 + 3.5 * 100, y = 5000 + 2.5 * 100.
  EXPECT_NEAR(dtm->GeoPickPoint(1350.0, 5250.0, &colour), height(0.5 * (dtm_test::RampCode(0, 3, 11, 11) +
                                                                       dtm_test::RampCode(0, 4, 11, 11))),
              1e-4);
  EXPECT_EQ(colour, PackColour(70, 0, 25, 255));
  // The far corner answers with the corner node itself.
  EXPECT_NEAR(dtm->GeoPickPoint(2000.0, 6000.0, &colour), 100.0, 1e-6);
  EXPECT_EQ(colour, PackColour(200, 0, 100, 255));
  EXPECT_NEAR(dtm->GeoPickPoint(1000.0, 5000.0, nullptr), height(1), 1e-9);
  EXPECT_EQ(dtm->GeoPickPoint(2000.01, 5500.0, &colour), 1e12);
  EXPECT_EQ(dtm->GeoPickPoint(1500.0, 4999.9, &colour), 1e12);
  // Heights outside the z bounds are no heights.
  dtm->SetBounds(2, 100.0f, 0.0f);
  EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5500.0, nullptr), 1e12);
}

TEST(BasicDTM, ValueAtAnswersThroughTheQueryCallback) {
  auto dtm = dtm_test::MakeDTM(11, 11, dtm_test::RampCode);
  dtm_test::QueryLog log;
  Sd_Node::SetQueryCallback(dtm_test::QueryLog::Callback, &log);
  EXPECT_EQ(dtm->ValueAt(1500.0, 5500.0, 42), 1);
  EXPECT_EQ(log.calls, 1);
  EXPECT_DOUBLE_EQ(log.x, 1500.0);
  EXPECT_NEAR(log.value, dtm_test::RampCode(0, 5, 11, 11) / 65535.0 * 100.0, 1e-6);
  EXPECT_EQ(log.user, 42);
  EXPECT_EQ(log.colour, PackColour(200, 200, 200, 255)) << "the last picked colour";
  double qx, qy, qz;
  Sd_Node::GetQueryPoint(&qx, &qy, &qz);
  EXPECT_DOUBLE_EQ(qz, log.value);
  // On the last row: inside, but no cell to blend: 1 without a callback.
  EXPECT_EQ(dtm->ValueAt(1500.0, 6000.0, 1), 1);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(dtm->ValueAt(999.0, 5500.0, 1), 0);
  Sd_Node::SetQueryCallback(nullptr, nullptr);
}

TEST(BasicDTM, AlphaReplacesTheAlphaOfEveryColour) {
  auto dtm = dtm_test::MakeDTM(3, 3);
  dtm->SetAlpha(255);
  EXPECT_EQ(dtm->GetColorGrid()[1][1], PackColour(200, 200, 200, 255));
  dtm->SetAlpha(128);
  EXPECT_EQ(dtm->GetAlpha(), 128);
  EXPECT_EQ(dtm->GetColorGrid()[2][0], PackColour(200, 200, 200, 128));
  dtm->SetAlpha(255);
  EXPECT_EQ(dtm->GetColorGrid()[2][0], PackColour(200, 200, 200, 128)) << "255 leaves the colours";
  dtm->SetAlpha(-3);
  EXPECT_EQ(dtm->GetColorGrid()[2][0], PackColour(200, 200, 200, 0));
}

TEST(BasicDTM, DetailSettingsAreKeptAndRestored) {
  Sd_BasicDTM dtm;
  dtm.RestoreSettings();
  EXPECT_EQ(dtm.GetLODStep(), 10) << "nothing kept yet";
  dtm.SetLODStep(12);
  dtm.SaveSettings();
  EXPECT_EQ(dtm.ResetSettings(), 1);
  EXPECT_EQ(dtm.GetLODStep(), 1);
  EXPECT_EQ(dtm.GetAutoLOD(), 0);
  dtm.RestoreSettings();
  EXPECT_EQ(dtm.GetLODStep(), 12);
  EXPECT_EQ(dtm.GetAutoLOD(), 1);
}

// A 1024 x 1024 hill shaded at the default sun azimuth (pi / 4: the sun in
// the north-east), written and read back through the factory: the slopes
// facing the sun are brighter than those facing away.
TEST(BasicDTM, ShadedHillLoadsWithItsSunnySlopesBrighter) {
  TempDir dir;
  constexpr int n = 1024;
  ASSERT_TRUE(dtm_test::WriteShadedHill(dir.file("hill.sd"), dir.file("flat.cmap"), 160, n));
  auto in = ReadSD(dir.file("hill.sd"));
  Sd_BasicDTM* hill = in->Terrain(0);
  ASSERT_NE(hill, nullptr);
  ASSERT_EQ(hill->GetRows(), n);
  unsigned int** colours = hill->GetColorGrid();
  const int m = n / 2;
  for (int d : {60, 120, 200}) {
    SCOPED_TRACE(d);
    const int northEast = dtm_test::Brightness(colours[m + d][m + d]);
    const int southWest = dtm_test::Brightness(colours[m - d][m - d]);
    EXPECT_GT(northEast, 3 * 160) << "lit more than flat ground";
    EXPECT_LT(southWest, 3 * 160);
    EXPECT_GT(dtm_test::Brightness(colours[m][m + d]), dtm_test::Brightness(colours[m][m - d])) << "east over west";
    EXPECT_GT(dtm_test::Brightness(colours[m + d][m]), dtm_test::Brightness(colours[m - d][m])) << "north over south";
  }
  EXPECT_NEAR(dtm_test::Brightness(colours[m][m]), 3 * 160, 3) << "the flat top";
}
