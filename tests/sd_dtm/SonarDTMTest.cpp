// Non-contiguous terrain model: the factory, records, alternate values,
// damaged records, queries next to gaps, copies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Sd_IOSupport.h"
#include "SonarTestSupport.h"
#include "Sv_Debug.h"
#include "Sv_Types.h"
#include "TDR_Colormap.h"
#include "TDR_GeoRef.h"
#include "TestSupport.h"

using dtm_test::Bytes;
using dtm_test::kEmpty;
using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using dtm_test::Settings;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;

namespace {

// The tags of a file in order, up to and including the end tag.
std::vector<int> TagsOf(const std::string& path) {
  std::vector<int> tags;
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "rb") != 0 || m.ReadHeader() != 0) return tags;
  for (int tag = m.ReadTag(); tags.size() < 100; tag = m.ReadTag()) {
    tags.push_back(tag);
    if (tag == TDR_TAG_EOF || tag == TDR_TAG_ERROR) break;
  }
  m.CloseFile();
  return tags;
}

// Writes the object record (at the given tag version) and the two grid
// records of dtm, without common tags.
void WriteGridRecords(SDWriter& w, Sd_SonarDTM* dtm, short objectVersion = 1) {
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_SONARDTM, dtm, objectVersion, Bytes<unsigned short>(dtm->GetEmptyCode()));
}

// Geographic point of node (r, c) of the test terrains of n x n nodes.
double NodeX(int c, int n) { return dtm_test::kXMin + c * (dtm_test::kXMax - dtm_test::kXMin) / (n - 1); }
double NodeY(int r, int n) { return dtm_test::kYMin + r * (dtm_test::kYMax - dtm_test::kYMin) / (n - 1); }

}  // namespace

TEST(SonarDTM, JoinsTheFactoryWithItsDefaults) {
  ScopedEnv home("WRUHOME", nullptr);
  ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
  Sd_IOSupport::Factory make = Sd_IOSupport::GetFactory(TDR_TAG_SD_SONARDTM);
  ASSERT_NE(make, nullptr);
  std::unique_ptr<Sd_Node> node(make());
  Sd_SonarDTM* dtm = dynamic_cast<Sd_SonarDTM*>(node.get());
  ASSERT_NE(dtm, nullptr);
  EXPECT_STREQ(dtm->className(), "Non-Cont. DTM");
  EXPECT_EQ(dtm->GetType(), 12);
  EXPECT_EQ(dtm->GetType(), Sd_IOSupport::FindClass(TDR_TAG_SD_SONARDTM)->typeId);
  EXPECT_FLOAT_EQ(*dtm->GetScale('z'), 0.2f);
  EXPECT_FLOAT_EQ(*dtm->GetScale('x'), 1.0f);
  EXPECT_EQ(dtm->GetStepIncrement(), 10);
  EXPECT_EQ(dtm->GetLODStep(), 10);
  EXPECT_EQ(dtm->GetAutoLOD(), 1);
  EXPECT_EQ(dtm->GetDrawMode(), 1);
  EXPECT_EQ(dtm->GetAlpha(), 255);
  EXPECT_EQ(dtm->GetEmptyCode(), 0);
  EXPECT_FLOAT_EQ(dtm->GetPickPosition()[0], -1.0f);
  EXPECT_FLOAT_EQ(dtm->GetFloatNoValue(), 1000000.0f);
  EXPECT_EQ(dtm->HasAltValues(), 0);
  double lo = 9, hi = 9;
  dtm->GetAltRange(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
  EXPECT_EQ(dtm->GetDrawn(), 1);
  EXPECT_EQ(dtm->GetRedrawPending(), 0);
  EXPECT_EQ(dtm->IsColorMapLoaded(), 0) << "no WRUHOME";
}

TEST(SonarDTM, DefaultColourMapComesFromWRUHOME) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("cmaps").c_str(), 0700), 0);
  {
    ScopedEnv home("WRUHOME", dir.path().c_str());
    Messages heard;
    Sd_SonarDTM missing;
    EXPECT_EQ(missing.IsColorMapLoaded(), 0);
    EXPECT_NE(heard.Debug().find("ERROR:  Opening colormap file"), std::string::npos);
  }
  ASSERT_TRUE(dtm_test::WriteRampColormap(dir.file("cmaps/step16.cmap")));
  ScopedEnv home("WRUHOME", dir.path().c_str());
  Sd_SonarDTM dtm;
  EXPECT_EQ(dtm.IsColorMapLoaded(), 1);
  EXPECT_EQ(dtm.GetDefaultColorMap()[10], PackColour(10, 245, 0, 255));
  EXPECT_EQ(dtm.GetDefaultColorMap()[255], PackColour(255, 0, 0, 255));
  EXPECT_EQ(dtm.GetColorMap(), nullptr) << "the node's own colour map stays unset";
}

TEST(SonarDTM, WithoutWRUHOMEItLoadsAndShadesWithTheBuiltInRampReportedOnce) {
  TempDir dir;
  const std::string path = dir.file("flat.sd");
  auto out = dtm_test::MakeSonar(6, 6, 0, -1, 0, -1, [](int, int, int, int) -> unsigned short { return 40000; });
  ASSERT_TRUE(out);
  ASSERT_TRUE(dtm_test::WriteSD(path, {out.get()}));

  ScopedEnv home("WRUHOME", nullptr);
  Sv_Debug::ForgetReported();
  Messages heard;
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 1u);
  Sd_SonarDTM* dtm = in->Terrain<Sd_SonarDTM>(0);
  ASSERT_NE(dtm, nullptr);
  EXPECT_EQ(dtm->GetRows(), 6);
  EXPECT_EQ(dtm->IsColorMapLoaded(), 0);
  unsigned ramp[256];
  TDR_UtlBuiltInColormap(ramp);
  EXPECT_EQ(std::vector<unsigned>(dtm->GetDefaultColorMap(), dtm->GetDefaultColorMap() + 256),
            std::vector<unsigned>(ramp, ramp + 256));

  // Shading twice, and a second terrain: code 40000 is index 156 of the
  // ramp, kept on flat ground. The missing WRUHOME is reported once.
  const float* d = dtm->GetShadingParameters();
  for (int i = 0; i < 2; ++i) dtm->ShadeWithColorMap(d[0], d[1], d[2], d[3], d[4], d[5], 0.0, 1.0, nullptr);
  EXPECT_EQ(dtm->GetColorGrid()[3][3], PackColour(156, 156, 156, 255));
  Sd_SonarDTM another;
  const std::string debug = heard.Debug();
  const std::string report = "WRUHOME is not set";
  size_t reports = 0;
  for (size_t p = debug.find(report); p != std::string::npos; p = debug.find(report, p + 1)) ++reports;
  EXPECT_EQ(reports, 1u) << debug;
}

TEST(SonarDTM, RecordsRoundTripWithAltValuesInBothByteOrders) {
  TempDir dir;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    auto out = dtm_test::MakeSonar(7, 9, 2, 3, 4, 5);
    ASSERT_TRUE(dtm_test::AddAltValues(out.get()));
    dtm_test::SetRoundTripSettings(out.get());
    const std::string path = dir.file("round.sd");
    ASSERT_TRUE(dtm_test::WriteSD(path, {out.get()}, order));
    EXPECT_EQ(TagsOf(path), (std::vector<int>{TDR_TAG_SD_SONARDTM, TDR_TAG_SCALAR, TDR_TAG_SCALAR, TDR_TAG_GEOREF,
                                              TDR_TAG_SD_SONARDTM_ATB, TDR_TAG_SCALAR, TDR_TAG_EOF}))
        << "the alternate values follow the settings";

    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 1u);
    Sd_SonarDTM* dtm = in->Terrain<Sd_SonarDTM>(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_STREQ(dtm->GetName(), "round.sd");
    EXPECT_EQ(dtm->GetRows(), 7);
    EXPECT_EQ(dtm->GetCols(), 9);
    EXPECT_EQ(dtm->GetEmptyCode(), kEmpty);
    EXPECT_TRUE(dtm->IsEmpty(3, 5));
    EXPECT_FALSE(dtm->IsEmpty(1, 5));
    EXPECT_EQ(dtm->GetElevationGrid()[6][8], out->GetElevationGrid()[6][8]);
    EXPECT_EQ(dtm->GetColorGrid()[6][8], PackColour(80, 60, 200, 77));
    ASSERT_EQ(dtm->HasAltValues(), 1);
    EXPECT_EQ(dtm->GetAltValues()[6][8], 7008);
    EXPECT_EQ(dtm->GetAltValues()[0][0], 1000);
    double lo = 0, hi = 0;
    dtm->GetAltRange(&lo, &hi);
    EXPECT_EQ(lo, -50.0);
    EXPECT_EQ(hi, 150.0);
    dtm_test::ExpectRoundTripSettings(dtm);
  }

  // Without alternate values nothing follows the settings.
  auto plain = dtm_test::MakeSonar(3, 3);
  ASSERT_TRUE(dtm_test::WriteSD(dir.file("plain.sd"), {plain.get()}));
  EXPECT_EQ(TagsOf(dir.file("plain.sd")).size(), 6u);
  EXPECT_EQ(ReadSD(dir.file("plain.sd"))->Terrain<Sd_SonarDTM>(0)->HasAltValues(), 0);
}

TEST(SonarDTM, OlderObjectAndSettingsLayouts) {
  TempDir dir;
  auto dtm = dtm_test::MakeSonar(4, 5, 1, 1, 1, 1);
  struct Case {
    short objectVersion;
    int settingsVersion;
    int autoLod;  // expected
  } cases[] = {{0, 0, 1}, {0, 1, 1}, {1, 2, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.settingsVersion);
    const std::string path = dir.file("old.sd");
    SDWriter w(path);
    WriteGridRecords(w, dtm.get(), k.objectVersion);
    ASSERT_EQ(dtm->Sd_Node::WriteCommonTags(w.Manager()), 0);
    w.Raw(TDR_TAG_SD_SONARDTM_ATB, Settings(k.settingsVersion, 0, 99, 4, 0), static_cast<short>(k.settingsVersion));
    ASSERT_TRUE(w.Close());
    auto in = ReadSD(path);
    Sd_SonarDTM* read = in->Terrain<Sd_SonarDTM>(0);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetEmptyCode(), kEmpty);
    EXPECT_TRUE(read->IsEmpty(1, 1));
    EXPECT_EQ(read->GetDrawMode(), 0);
    EXPECT_EQ(read->GetAlpha(), 99);
    EXPECT_EQ(read->GetLODStep(), 4);
    EXPECT_EQ(read->GetAutoLOD(), k.autoLod);
  }
}

// Each file holds a damaged non-contiguous terrain, then a good one. The
// damaged one is reported as a warning and discarded; the good one loads.
TEST(SonarDTM, FailedRecordIsDiscardedWithItsWarningAndTheNextLoads) {
  TempDir dir;
  auto good = dtm_test::MakeSonar(5, 6, 2, 2, 2, 3);
  auto odd = dtm_test::MakeSonar(4, 6);
  auto thin = dtm_test::MakeSonar(1, 6);
  struct Case {
    const char* name;
    std::function<void(SDWriter&)> damaged;
    const char* debug;  // debug message the damage gives
  } cases[] = {
      {"no elevations",
       [&](SDWriter& w) {
         w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(0));
         w.Raw(TDR_TAG_SD_SONARDTM_ATB, Settings(2, 1, 255, 2, 1), 2);
       },
       "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for DTM)!"},
      {"no colours", [&](SDWriter& w) { w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(0)).Elevations(good.get()); },
       "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for shade)!"},
      {"colours of another size",
       [&](SDWriter& w) {
         w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(0)).Elevations(good.get()).Colors(odd.get());
       },
       "differs from the elevation grid's"},
      {"short elevations",
       [&](SDWriter& w) {
         w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(0))
             .Scalar(TDR_TYPE_USHORT, {6, 5}, std::string("\1\0\2\0\3\0", 6));
       },
       "ERROR:  Scalar array is larger than its record"},
      {"no empty code", [&](SDWriter& w) { w.Raw(TDR_TAG_SD_SONARDTM, ""); }, "has no empty code"},
      {"one row", [&](SDWriter& w) { WriteGridRecords(w, thin.get()); }, "needs at least 2 x 2 nodes"},
  };
  const long live = Sd_Node::LiveCount();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file("damaged.sd");
    {
      SDWriter w(path);
      k.damaged(w);
      w.Object(good.get());
      ASSERT_TRUE(w.Close());
    }
    Messages heard;
    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 1u);
    Sd_SonarDTM* dtm = in->Terrain<Sd_SonarDTM>(0);
    ASSERT_NE(dtm, nullptr);
    EXPECT_EQ(dtm->GetRows(), 5);
    EXPECT_TRUE(dtm->IsEmpty(2, 3));
    EXPECT_EQ(dtm->GetLODStep(), 10) << "the damaged record's settings are not taken";
    EXPECT_EQ(heard.CountStarting(SV_LEVEL_WARNING, "Could not load data file: possible data format problem."), 1);
    EXPECT_NE(heard.Debug().find(k.debug), std::string::npos) << heard.Debug();
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}

TEST(SonarDTM, LoadFailureLeavesNoGridBehind) {
  TempDir dir;
  auto dtm = dtm_test::MakeSonar(4, 4);
  ASSERT_TRUE(dtm_test::AddAltValues(dtm.get()));
  const std::string path = dir.file("cut.sd");
  {
    SDWriter w(path);
    w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(3));
    ASSERT_TRUE(w.Close());
  }
  int tag = 0;
  auto m = dtm_test::OpenAtFirstTag(path, &tag);
  ASSERT_TRUE(m);
  ASSERT_EQ(tag, TDR_TAG_SD_SONARDTM);
  Messages heard;
  EXPECT_EQ(dtm->LoadObject(m.get()), -1);
  EXPECT_EQ(dtm->GetRows(), 0);
  EXPECT_EQ(dtm->GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm->HasAltValues(), 0);
  EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5500.0, nullptr), 1e12);
  EXPECT_EQ(dtm->ValueAt(1500.0, 5500.0, 0), 0);
  EXPECT_EQ(m->ReadTag(), TDR_TAG_EOF) << "the record found instead is left for the caller";
  m->CloseFile();
}

TEST(SonarDTM, AltValueRecordsThatDoNotFitAreDroppedAndTheTerrainStays) {
  TempDir dir;
  auto dtm = dtm_test::MakeSonar(6, 8);
  auto smaller = dtm_test::MakeSonar(5, 8);
  ASSERT_TRUE(dtm_test::AddAltValues(smaller.get()));
  std::string words = Bytes<unsigned short>(0) + Bytes<unsigned short>(0xFFFF);
  std::string values;
  for (int i = 0; i < 48; ++i) values += Bytes<unsigned short>(static_cast<unsigned short>(100 + i));

  struct Case {
    const char* name;
    std::function<void(SDWriter&)> write;
    bool kept;
    const char* debug;
  } cases[] = {
      {"another size", [&](SDWriter& w) { ASSERT_EQ(smaller->SaveAltValues(w.Manager()), 0); }, false,
       "The alternate-value grid's size differs from the elevation grid's"},
      {"short rows", [&](SDWriter& w) { w.Scalar(TDR_TYPE_CHAR, {8, 6}, words + values.substr(0, 80), 10.0, 20.0); },
       false, "shorter than its grid"},
      // The values are 16-bit whatever type the descriptor names.
      {"named as bytes", [&](SDWriter& w) { w.Scalar(TDR_TYPE_CHAR, {8, 6}, words + values, 10.0, 20.0); }, true, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = dir.file("alt.sd");
    {
      SDWriter w(path);
      w.Object(dtm.get());
      k.write(w);
      w.Raw(TDR_TAG_SD_SONARDTM_ATB, Settings(2, 1, 255, 3, 1), 2);
      w.Object(dtm.get());
      ASSERT_TRUE(w.Close());
    }
    Messages heard;
    auto in = ReadSD(path);
    ASSERT_EQ(in->children.size(), 2u);
    Sd_SonarDTM* first = in->Terrain<Sd_SonarDTM>(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetLODStep(), 3) << "the settings after the alternate values are read";
    EXPECT_EQ(first->HasAltValues(), k.kept ? 1 : 0);
    if (k.kept) {
      EXPECT_EQ(first->GetAltValues()[5][7], 147);
      double lo = 0, hi = 0;
      first->GetAltRange(&lo, &hi);
      EXPECT_EQ(lo, 10.0);
      EXPECT_EQ(hi, 20.0);
    } else {
      EXPECT_NE(heard.Debug().find(k.debug), std::string::npos) << heard.Debug();
    }
    EXPECT_EQ(heard.Count(SV_LEVEL_WARNING, "Could not load data file: possible data format problem."), 0);
  }
}

TEST(SonarDTM, ParentFrameFlagPassesToNonContiguousTerrainsOnly) {
  TempDir dir;
  auto sonar = dtm_test::MakeSonar(3, 3);
  auto basic = dtm_test::MakeDTM(3, 3);
  const std::string path = dir.file("frames.sd");
  ASSERT_TRUE(dtm_test::WriteSD(path, {sonar.get(), basic.get()}));
  for (int flag : {0, 1}) {
    SCOPED_TRACE(flag);
    auto in = ReadSD(path, flag);
    ASSERT_EQ(in->children.size(), 2u);
    EXPECT_EQ(in->children[0]->GetParentFrame(), flag);
    EXPECT_EQ(in->children[1]->GetParentFrame(), 0);
  }
}

// A 9 x 9 terrain with node (4, 4) empty: every cell that has it as a
// corner gives no height; the cells around them do.
TEST(SonarDTM, GeoPickPointNeedsFourHeights) {
  auto dtm = dtm_test::MakeSonar(9, 9, 4, 4, 4, 4);
  const double cell = 125.0;
  auto at = [&](double row, double col, unsigned* colour = nullptr) {
    return dtm->GeoPickPoint(dtm_test::kXMin + col * cell, dtm_test::kYMin + row * cell, colour);
  };
  for (double r : {3.5, 4.5}) {
    for (double c : {3.5, 4.5}) {
      EXPECT_EQ(at(r, c), 1e12) << r << " " << c;
    }
  }
  EXPECT_EQ(at(3.0, 3.0), 1e12) << "node (3, 3) belongs to cell (3, 3), which has the empty corner";
  unsigned colour = 0;
  const double h = at(2.0, 2.0, &colour);
  EXPECT_NEAR(h, dtm->CodeToHeight(dtm->GetElevationGrid()[2][2]), 1e-6);
  EXPECT_EQ(colour, PackColour(20, 20, 200, 255));
  EXPECT_NE(at(2.5, 4.5), 1e12);
  EXPECT_NE(at(5.5, 5.5), 1e12);
  EXPECT_NE(at(3.5, 2.9), 1e12);
  EXPECT_NEAR(at(8.0, 8.0, &colour), dtm->CodeToHeight(dtm->GetElevationGrid()[8][8]), 1e-6);
  EXPECT_EQ(colour, PackColour(80, 80, 200, 255));
  EXPECT_EQ(dtm->GeoPickPoint(dtm_test::kXMax + 1.0, 5500.0, nullptr), 1e12);
}

TEST(SonarDTM, ValueAtAnswersInsideTheDataWithTheAltValue) {
  auto dtm = dtm_test::MakeSonar(9, 9, 4, 4, 4, 4);
  ASSERT_TRUE(dtm_test::AddAltValues(dtm.get()));
  dtm_test::QueryLog log;
  Sd_Node::SetQueryCallback(dtm_test::QueryLog::Callback, &log);
  SDN_PickOut* shared = Sd_Node::GetSharedPick();
  shared->value = -1e20;

  EXPECT_EQ(dtm->ValueAt(NodeX(2, 9) + 30.0, NodeY(6, 9) + 60.0, 42), 1);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.user, 42);
  const double h = dtm->GeoPickPoint(NodeX(2, 9) + 30.0, NodeY(6, 9) + 60.0, nullptr);
  ASSERT_NE(h, 1e12);
  EXPECT_NEAR(log.value, h, 1e-9) << "the callback gets the height";
  // The alternate value of the cell's base node (6, 2), not blended.
  EXPECT_NEAR(shared->value, 7002.0 / 65535.0 * 200.0 - 50.0, 1e-9);

  // Next to the gap: no answer, nothing reported.
  shared->value = -1e20;
  EXPECT_EQ(dtm->ValueAt(NodeX(3, 9) + 60.0, NodeY(4, 9) + 60.0, 1), 0);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(shared->value, -1e20);
  // On the last row: an answer without a value.
  EXPECT_EQ(dtm->ValueAt(NodeX(2, 9), dtm_test::kYMax, 1), 1);
  EXPECT_EQ(log.calls, 1);
  // Outside.
  EXPECT_EQ(dtm->ValueAt(dtm_test::kXMin - 1.0, 5500.0, 1), 0);
  Sd_Node::SetQueryCallback(nullptr, nullptr);
}

TEST(SonarDTM, GridOfEmptyNodesAnswersNothing) {
  auto dtm = dtm_test::MakeSonar(5, 5, 0, 4, 0, 4);
  for (double x : {1000.0, 1333.0, 1777.0, 2000.0}) {
    for (double y : {5000.0, 5500.0, 5999.0}) {
      EXPECT_EQ(dtm->GeoPickPoint(x, y, nullptr), 1e12);
      if (y < 5999.0 && x < 2000.0) {
        EXPECT_EQ(dtm->ValueAt(x, y, 0), 0);
      }
    }
  }
}

TEST(SonarDTM, SetAlphaWritesEveryAlphaByteEvenOpaque) {
  auto dtm = dtm_test::MakeSonar(3, 4);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) dtm->GetColorGrid()[r][c] = PackColour(1, 2, 3, 10);
  }
  dtm->SetAlpha(255);
  EXPECT_EQ(dtm->GetColorGrid()[2][3], PackColour(1, 2, 3, 255));
  dtm->SetAlpha(40);
  EXPECT_EQ(dtm->GetColorGrid()[0][0], PackColour(1, 2, 3, 40));
  dtm->SetAlpha(400);
  EXPECT_EQ(dtm->GetAlpha(), 255);
}

TEST(SonarDTM, DetailSettingsSaveResetRestore) {
  auto dtm = dtm_test::MakeSonar(3, 3);
  dtm->SetLODStep(12);
  dtm->SaveSettings();
  EXPECT_EQ(dtm->ResetSettings(), 1);
  EXPECT_EQ(dtm->GetLODStep(), 1);
  EXPECT_EQ(dtm->GetAutoLOD(), 0);
  dtm->RestoreSettings();
  EXPECT_EQ(dtm->GetLODStep(), 12);
  EXPECT_EQ(dtm->GetAutoLOD(), 1);
}

TEST(SonarDTM, CopyFromMakesAnIndependentCopy) {
  auto a = dtm_test::MakeSonar(4, 6, 1, 1, 2, 2);
  ASSERT_TRUE(dtm_test::AddAltValues(a.get()));
  a->SetName("original");
  a->SetDrawMode(0);
  a->SetAlpha(120);
  a->SetLODStep(3);
  a->SetPosition(1.0f, 2.0f, 3.0f);
  TDR_GeoRef* geo = new TDR_GeoRef();
  geo->SetXBounds(dtm_test::kXMin, dtm_test::kXMax);
  geo->SetCellDeltas(200.0, 333.0);
  geo->SetRotation(12.5);
  a->SetGeoRef(geo);

  Sd_SonarDTM b;
  ASSERT_EQ(b.CreateGrids(2, 2), 0);
  ASSERT_NE(b.AllocAltValues(2, 2), nullptr) << "released by the copy";
  ASSERT_EQ(b.CopyFrom(a.get()), 0);
  EXPECT_EQ(b.GetRows(), 4);
  EXPECT_EQ(b.GetCols(), 6);
  EXPECT_NE(b.GetElevationGrid(), a->GetElevationGrid());
  EXPECT_EQ(b.GetElevationGrid()[3][5], a->GetElevationGrid()[3][5]);
  EXPECT_EQ(b.GetColorGrid()[3][5], a->GetColorGrid()[3][5]);
  a->GetElevationGrid()[3][5] = 1;
  EXPECT_NE(b.GetElevationGrid()[3][5], 1);
  EXPECT_TRUE(b.IsEmpty(1, 2));
  EXPECT_EQ(b.GetEmptyCode(), kEmpty);
  EXPECT_EQ(b.GetDrawMode(), 0);
  EXPECT_EQ(b.GetAlpha(), 120);
  EXPECT_EQ(b.GetLODStep(), 3);
  EXPECT_FLOAT_EQ(*b.GetPosition('z'), 3.0f);
  EXPECT_FLOAT_EQ(b.GetBounds(1)[1], dtm_test::kYMax);
  EXPECT_STRNE(b.GetName(), "original") << "the name is the copy's own";
  EXPECT_EQ(b.HasAltValues(), 0);
  EXPECT_EQ(b.GetPushCount(), 0);
  ASSERT_NE(b.GetGeoRef(), nullptr);
  EXPECT_NE(b.GetGeoRef(), a->GetGeoRef());
  EXPECT_EQ(b.GetGeoRef()->GetCellDeltas()[1], 333.0);
  EXPECT_EQ(b.GetGeoRef()->GetRotation(), 12.5);

  Sd_SonarDTM c;
  c.SetBounds(0, 1.0f, 2.0f);
  c.SetBounds(2, -5.0f, 5.0f);
  a->SetCodeRange(3, 999);
  c.SetupFrom(a.get());
  EXPECT_EQ(c.GetMinCode(), 3);
  EXPECT_EQ(c.GetMaxCode(), 999);
  ASSERT_NE(c.GetGeoRef(), nullptr);
  EXPECT_EQ(c.GetGeoRef()->GetXBounds()[1], 2.0);
  EXPECT_EQ(c.GetGeoRef()->GetZBounds()[0], -5.0);
}

TEST(SonarDTM, FreeDataIsRepeatableAndLeavesAnInertTerrain) {
  auto dtm = dtm_test::MakeSonar(5, 5);
  ASSERT_TRUE(dtm_test::AddAltValues(dtm.get()));
  ASSERT_EQ(dtm->SetQueryPolygonSize(4), 0);
  dtm->FreeData();
  dtm->FreeData();
  EXPECT_EQ(dtm->GetRows(), 0);
  EXPECT_EQ(dtm->HasAltValues(), 0);
  EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5500.0, nullptr), 1e12);
  EXPECT_EQ(dtm->ValueAt(1500.0, 5500.0, 0), 0);
  EXPECT_EQ(dtm->AllocAltValues(0, 0), nullptr);
  TempDir dir;
  SDWriter w(dir.file("none.sd"));
  EXPECT_EQ(dtm->SaveObject(w.Manager(), 1, 0), -1);
}

TEST(SonarDTM, QueryPolygonArraysAreReplacedAndReleased) {
  Sd_SonarDTM dtm;
  float* x = nullptr;
  float* y = nullptr;
  ASSERT_EQ(dtm.SetQueryPolygonSize(3), 0);
  dtm.GetQueryPolygon(&x, &y);
  ASSERT_NE(x, nullptr);
  ASSERT_NE(y, nullptr);
  x[2] = 5.0f;
  y[2] = 6.0f;
  EXPECT_EQ(dtm.GetQueryPolygonSize(), 3);
  ASSERT_EQ(dtm.SetQueryPolygonSize(5), 0);
  EXPECT_EQ(dtm.GetQueryPolygonSize(), 5);
  EXPECT_EQ(dtm.SetQueryPolygonSize(0), 0);
  dtm.GetQueryPolygon(&x, &y);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(dtm.GetQueryPolygonSize(), 0);
}

TEST(SonarDTM, AltValuesMustHaveTheTerrainsSize) {
  auto dtm = dtm_test::MakeSonar(3, 4);
  EXPECT_EQ(dtm->AllocAltValues(4, 3), nullptr);
  EXPECT_EQ(dtm->HasAltValues(), 0);
  ASSERT_NE(dtm->AllocAltValues(3, 4), nullptr);
  EXPECT_EQ(dtm->GetAltValues()[2][3], 0) << "zeroed";
  dtm->SetAltRange(0.0, 65535.0);
  EXPECT_DOUBLE_EQ(dtm->AltCodeToValue(1234), 1234.0);
}
