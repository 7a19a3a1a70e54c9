// Sounding data sets: the surface as a terrain object beside the soundings,
// as a terrain file pair and as a list of grid points; writes that cannot be
// done; and the HTF reader of a file of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../sd_dtm/SonarTestSupport.h"
#include "Sd_GroupNode.h"
#include "Sd_Parent.h"
#include "Sd_SonarDTM.h"
#include "SoundingTestSupport.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::TempDir;
using sounding_test::Sounding;

namespace {

// Cells of 100 over x 1000 ... 5000 (40 columns) and y 1000 ... 1300 (3
// rows). Shallow heights: cell (0, 0) -30, (0, 1) -20, (1, 0) -45, (1, 1)
// -25 (its list: two rejected soundings above two shown ones), (1, 10) -10,
// (0, 20) -50, (2, 39) -60; cell (2, 5) holds only a rejected sounding.
std::vector<HTFSndRecord> SurveyRecords() {
  const unsigned char rejected = HTF_REJECTED_FLAG | HTF_PLOTTED_FLAG;
  return {Sounding(1010, 1010, -30), Sounding(1050, 1050, -40),           Sounding(1150, 1050, -20),
          Sounding(1050, 1150, -45), Sounding(1140, 1160, -15, rejected), Sounding(1150, 1150, -22, rejected),
          Sounding(1160, 1140, -25), Sounding(1150, 1150, -35),           Sounding(2050, 1150, -10),
          Sounding(3050, 1050, -50), Sounding(4950, 1250, -60),           Sounding(1550, 1250, -5, rejected)};
}

std::unique_ptr<Sd_HTFSounding> Survey() {
  std::unique_ptr<Sd_HTFSounding> s(new Sd_HTFSounding());
  s->SetCellSize(100.0f);
  const std::vector<HTFSndRecord> r = SurveyRecords();
  EXPECT_EQ(s->SetSoundings(r.data(), static_cast<int>(r.size())), 0);
  EXPECT_EQ(s->UpdateCellStatistics(1), 0);
  return s;
}

// The surface heights of the configured range (-50, -10), with the deep
// surface in force.
std::unique_ptr<Sd_HTFSounding> RangedDeepSurvey() {
  std::unique_ptr<Sd_HTFSounding> s = Survey();
  s->SetColorMode(0);
  s->SetColorRange(-50.0f, -10.0f);
  s->SetSurfaceMode(0);
  return s;
}

std::vector<float> Heights(const Sd_SoundingSet& s) {
  std::vector<float> h;
  for (int r = 0; r < s.GetRows(); ++r) {
    for (int c = 0; c < s.GetCols(); ++c) h.push_back(s.GetCellHeight(r, c));
  }
  return h;
}

std::vector<unsigned short> Codes(Sd_BaseDTM* dtm) {
  std::vector<unsigned short> codes;
  for (int r = 0; r < dtm->GetRows(); ++r) {
    for (int c = 0; c < dtm->GetCols(); ++c) codes.push_back(dtm->GetElevationGrid()[r][c]);
  }
  return codes;
}

// The codes of the shallow surface over (-50, -10): (h + 50) / 40 x 65534
// + 1, truncated; 0 for -60 and for cells without a height.
std::vector<unsigned short> ShallowCodes() {
  std::vector<unsigned short> codes(3 * 40, 0);
  codes[0] = 32768;   // (-30 + 50) / 40 * 65534 + 1
  codes[1] = 49151;   // -20: 49151.5
  codes[40] = 8192;   // -45: 8192.75
  codes[41] = 40959;  // -25: 40959.75
  codes[40 + 10] = 65535;
  codes[20] = 1;
  return codes;
}

// A group holding the soundings, deleted with everything below it.
struct Scene {
  Sd_Parent* root = new Sd_Parent();
  Scene() = default;
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  ~Scene() { Sd_GroupNode::DeleteTree(root); }
  template <class T>
  T* Add(std::unique_ptr<T> node) {
    root->AddChild(node.get());
    return node.release();
  }
};

struct TreeChanges {
  int count = 0;
  static void Count(void* data) { ++static_cast<TreeChanges*>(data)->count; }
  TreeChanges() { Sd_Node::SetTreeChangeCallback(Count, this); }
  ~TreeChanges() { Sd_Node::SetTreeChangeCallback(nullptr, nullptr); }
};

TEST(SoundingExport, SurfaceTerrainJoinsTheParentWithItsCodesColoursAndBounds) {
  Scene scene;
  Sd_HTFSounding* set = scene.Add(RangedDeepSurvey());
  ASSERT_EQ(set->GetRows(), 3);
  ASSERT_EQ(set->GetCols(), 40);
  const std::vector<float> deep = Heights(*set);
  TreeChanges changes;

  Sd_SonarDTM* shallow = set->CreateSurfaceDTM(1);
  ASSERT_NE(shallow, nullptr);
  EXPECT_EQ(set->GetNext(), shallow);
  EXPECT_EQ(shallow->GetParent(), scene.root);
  EXPECT_EQ(changes.count, 1);
  EXPECT_STREQ(shallow->GetName(), "Shallow Surface");
  EXPECT_STREQ(shallow->GetDescription(), "Internal");
  EXPECT_EQ(shallow->GetEmptyCode(), 0);
  EXPECT_EQ(Codes(shallow), ShallowCodes());
  // The nodes stand at the cell centres; z spans the range of the codes.
  const float* b = shallow->GetBounds(0);
  EXPECT_EQ(std::vector<float>(b, b + 6), (std::vector<float>{1050, 4950, 1050, 1250, -50, -10}));
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 40; ++c) ASSERT_EQ(shallow->GetColorGrid()[r][c], set->GetCellColor(r, c)) << r << " " << c;
  }
  // A pick at a cell's centre gives its height within one code step.
  unsigned colour = 0;
  EXPECT_NEAR(shallow->GeoPickPoint(1050.0, 1050.0, &colour), -30.0, 40.0 / 65534.0);
  EXPECT_EQ(colour & 0xFFFFFFu, set->GetCellColor(0, 0) & 0xFFFFFFu);

  // The deep surface is in force again, heights and all.
  EXPECT_EQ(set->GetSurfaceMode(), 0);
  EXPECT_EQ(Heights(*set), deep);

  // Another mode keeps the heights in force: the deep surface, unnamed.
  Sd_SonarDTM* unknown = set->CreateSurfaceDTM(7);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(shallow->GetNext(), unknown);
  EXPECT_STREQ(unknown->GetName(), "Unknown Surface");
  EXPECT_EQ(unknown->GetElevationGrid()[0][0], 16384);  // -40: 16384.5
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(set->GetSurfaceMode(), 0);
}

TEST(SoundingExport, SurfaceWithoutAConfiguredRangeSpansTheDataAndNeedsAParent) {
  std::unique_ptr<Sd_HTFSounding> set = Survey();
  float low = 0, high = 0;
  set->GetSurfaceHeightRange(&low, &high);
  // The data's z range, 5 % deeper than the deepest sounding.
  EXPECT_EQ(low, -62.75f);
  EXPECT_EQ(high, -5.0f);
  {
    // Alone, the soundings have nowhere to put a terrain.
    MessageCapture messages;
    TreeChanges changes;
    EXPECT_EQ(set->CreateSurfaceDTM(2), nullptr);
    EXPECT_TRUE(messages.Contains("no parent node")) << messages.All();
    EXPECT_EQ(changes.count, 0);
  }
  Scene scene;
  Sd_HTFSounding* child = scene.Add(std::move(set));
  Sd_SonarDTM* average = child->CreateSurfaceDTM(2);
  ASSERT_NE(average, nullptr);
  EXPECT_STREQ(average->GetName(), "Average Surface");
  EXPECT_EQ(average->GetBounds(2)[0], low);
  EXPECT_EQ(average->GetBounds(2)[1], high);
  // The deepest shown sounding alone in its cell is near the bottom, the
  // shallowest shown one at the top.
  EXPECT_EQ(average->GetElevationGrid()[2][39], Sd_SonarDTM::HeightFileCode(-60.0f, low, high));
  EXPECT_GT(average->GetElevationGrid()[2][39], 0);
  EXPECT_EQ(average->GetElevationGrid()[1][10], Sd_SonarDTM::HeightFileCode(-10.0f, low, high));
  EXPECT_EQ(average->GetElevationGrid()[2][5], 0);
}

TEST(SoundingExport, TerrainFilePairAndGridPointsReadBack) {
  TempDir dir;
  Scene scene;
  Sd_HTFSounding* set = scene.Add(RangedDeepSurvey());
  const std::vector<float> deep = Heights(*set);
  const std::string base = dir.file("area");
  ASSERT_EQ(set->ExportDTM(base.c_str(), 1), 0);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), (std::vector<std::string>{"area.dtm", "area.geo"}));
  EXPECT_EQ(set->GetSurfaceMode(), 0);
  EXPECT_EQ(Heights(*set), deep);

  // The heights: the descriptor over the height range, the code words of
  // the terrain files, and the codes the terrain object has too.
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile((base + ".dtm").c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  ASSERT_EQ(m.ReadTag(), TDR_TAG_SCALAR);
  EXPECT_EQ(m.GetTagVersion(), 2);
  Sd_SonarDTM back;
  ASSERT_EQ(back.LoadElevations(&m), 0);
  EXPECT_EQ(m.ReadTag(), TDR_TAG_EOF);
  EXPECT_EQ(back.GetMinCode(), 1);
  EXPECT_EQ(back.GetMaxCode(), 65535);
  EXPECT_EQ(Codes(&back), ShallowCodes());
  Sd_SonarDTM* shallow = set->CreateSurfaceDTM(1);
  ASSERT_NE(shallow, nullptr);
  EXPECT_EQ(Codes(&back), Codes(shallow));

  // The georeference: a box in UTM over the outer cell centres and the
  // height range.
  TDR_Manager g;
  ASSERT_EQ(g.OpenFile((base + ".geo").c_str(), "rb"), 0);
  ASSERT_EQ(g.ReadHeader(), 0);
  ASSERT_EQ(g.ReadTag(), TDR_TAG_GEOREF);
  TDR_GeoRef geo;
  ASSERT_EQ(geo.Read(&g), 0);
  EXPECT_EQ(g.ReadTag(), TDR_TAG_EOF);
  const double bounds[6] = {geo.GetXBounds()[0], geo.GetXBounds()[1], geo.GetYBounds()[0],
                            geo.GetYBounds()[1], geo.GetZBounds()[0], geo.GetZBounds()[1]};
  EXPECT_EQ(std::vector<double>(bounds, bounds + 6), (std::vector<double>{1050, 4950, 1050, 1250, -50, -10}));
  EXPECT_EQ(geo.GetReferenceType(), 0);
  EXPECT_EQ(geo.GetGeoUnitType(), 2);
  EXPECT_EQ(geo.GetSubUnitType(), 0);
  EXPECT_EQ(geo.GetColorResolution(), 0.0f);

  // One point per cell with shown soundings, row by row: the list entry
  // at half the shown count, counting every entry (in cell (1, 1) the
  // second rejected sounding).
  const std::string points = dir.file("points.txt");
  ASSERT_EQ(set->WriteGridPoints(points.c_str()), 0);
  const std::vector<HTFSndRecord> r = SurveyRecords();
  std::string expected;
  for (int i : {1, 2, 9, 3, 5, 8, 10}) {
    char line[128];
    snprintf(line, sizeof line, "%lf %lf %f\n", r[i].x, r[i].y, r[i].z);
    expected += line;
  }
  EXPECT_EQ(orvanta_test::ReadFileBytes(points), expected);
}

TEST(SoundingExport, UnwritableTargetsReportAndChangeNothing) {
  TempDir dir;
  {
    // A write that fails part-way: the old file stays, nothing is left.
    std::unique_ptr<Sd_HTFSounding> set = RangedDeepSurvey();
    const std::vector<float> deep = Heights(*set);
    ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("area.dtm"), "old contents"));
    MessageCapture messages;
    {
      orvanta_test::FileSizeLimit limit(64);
      ASSERT_TRUE(limit.ok());
      EXPECT_EQ(set->ExportDTM(dir.file("area").c_str(), 1), -1);
    }
    EXPECT_TRUE(messages.Contains("ERROR:  Writing DTM file  -  " + dir.file("area.dtm"))) << messages.All();
    EXPECT_EQ(orvanta_test::ReadFileBytes(dir.file("area.dtm")), "old contents");
    EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"area.dtm"});
    EXPECT_EQ(set->GetSurfaceMode(), 0);
    EXPECT_EQ(Heights(*set), deep);
  }
  {
    // A folder that does not exist, for the other class.
    std::unique_ptr<Sd_Sounding> set = sounding_test::MakeFSD(6);
    ASSERT_EQ(set->UpdateCellStatistics(1), 0);
    set->SetSurfaceMode(2);
    MessageCapture messages;
    const std::string missing = dir.file("missing/area");
    EXPECT_EQ(set->ExportDTM(missing.c_str(), 0), -1);
    EXPECT_EQ(set->WriteGridPoints((missing + ".txt").c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR:  Opening DTM file for writing  -  " + missing + ".dtm")) << messages.All();
    EXPECT_TRUE(messages.Contains("ERRROR: Opening fileName: " + missing + ".txt")) << messages.All();
    EXPECT_EQ(set->GetSurfaceMode(), 2);
  }
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"area.dtm"});
}

TEST(SoundingExport, SoundingFileWithForeignRecordsLoadsAndReloads) {
  TempDir dir;
  const std::string path = dir.file("soundings.sd");
  std::unique_ptr<Sd_HTFSounding> source = Survey();
  std::unique_ptr<Sd_SonarDTM> terrain = dtm_test::MakeSonar(3, 4);
  ASSERT_TRUE(terrain);
  {
    dtm_test::SDWriter w(path);
    // A record of no known kind, then a terrain object.
    w.Raw(4242, "unknown", 1).Object(terrain.get());
    ASSERT_EQ(source->WriteDataRecord(w.Manager()), 0);
    ASSERT_EQ(source->WriteCommonTags(w.Manager()), 0);
    w.Raw(TDR_TAG_SCALAR, "not a grid", 2).Object(terrain.get());
    ASSERT_TRUE(w.Close());
  }
  Sd_HTFSounding set;
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    ASSERT_EQ(set.ReadSoundingFile(path.c_str()), 0);
    sounding_test::ExpectSameRecords(set, *source);
    EXPECT_STREQ(set.GetDataPath(), path.c_str());
    EXPECT_EQ(set.GetCellSize(), 100.0f);
    EXPECT_EQ(set.GetRows(), 3);
    EXPECT_EQ(set.GetCols(), 40);
  }
  {
    dtm_test::Messages messages;
    EXPECT_EQ(set.ReadSoundingFile(dir.file("none.sd").c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR:  Opening TDR file  -  ")) << messages.All();
  }
  ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("text.sd"), "plain text\n"));
  {
    dtm_test::Messages messages;
    EXPECT_EQ(set.ReadSoundingFile(dir.file("text.sd").c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR:  Reading header of TDR file  -  ")) << messages.All();
  }
  // What the object held stays.
  EXPECT_EQ(set.GetSoundingCount(), source->GetSoundingCount());
}

}  // namespace
