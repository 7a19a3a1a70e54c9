// The cable-sphere node: the cable's place on the globe, a terrain child on
// the globe, the globe's styles, the class file and the records.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_CableSphParent.h"
#include "Sd_SphereTerrain.h"
#include "Sd_VectorPipe.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::LoadedFile;

namespace {

// A terrain on the globe (node type 14) of its own: its height is 100 m
// per degree of latitude east of longitude 0, and it has none (0) west of it.
class GlobeTerrain : public Sd_Node, public Sd_SphereTerrain {
 public:
  GlobeTerrain() { SetType(14); }
  void SetExaggeration(float e) override { exaggeration = e; }
  double GetElevation(double longitude, double latitude) override { return longitude > 0.0 ? 100.0 * latitude : 0.0; }
  float exaggeration = 0.0f;
};

void ExpectAt(const CablePoint& p, double x, double y, double z) {
  EXPECT_NEAR(p.scene[0], x, 1e-9);
  EXPECT_NEAR(p.scene[1], y, 1e-9);
  EXPECT_NEAR(p.scene[2], z, 1e-9);
}

}  // namespace

TEST(CableSphere, PointsLieOnTheGlobeByHeightOffsetAndExaggeration) {
  Sd_CableSphParent globe;
  const double points[] = {0, 90, 0, 90, 0, 6371000};
  ASSERT_EQ(globe.SetPoints(points, 2), 0);
  const CablePointList& list = *globe.GetPointList();
  // Latitude 0, longitude 90, height 0 at exaggeration 1: (0, 0.5, 0).
  ExpectAt(list[0], 0.0, 0.5, 0.0);
  // The pole at a height of Earth's radius: radius 1.
  ExpectAt(list[1], 0.0, 0.0, 1.0);
  EXPECT_TRUE(list.HasRings());
  // A height offset of Earth's diameter: base radius 1.5.
  globe.SetHeightOffset(12742000);
  EXPECT_DOUBLE_EQ(globe.GetBaseRadius(), 1.5);
  ExpectAt(list[0], 0.0, 1.5, 0.0);
  globe.SetHeightOffset(0);
  globe.SetExaggeration(3.0f);
  EXPECT_DOUBLE_EQ(globe.GetHeightScale(), 3.0 / 12742000.0);
  ExpectAt(list[1], 0.0, 0.0, 2.0);
  EXPECT_EQ(globe.SetPoints(nullptr, 0), 0);
  EXPECT_EQ(globe.BuildPipe(), -1);
}

TEST(CableSphere, TerrainChildrenOnTheGlobeGiveHeightsAndTakeTheExaggeration) {
  Sd_CableSphParent globe;
  Sd_Node* plain = new Sd_Node();
  GlobeTerrain* first = new GlobeTerrain();
  GlobeTerrain* second = new GlobeTerrain();
  globe.AddChild(plain);
  globe.AddChild(first);
  globe.AddChild(second);
  // Latitude, longitude, height.
  const double points[] = {10, 20, 55, 30, -5, 77, 0, 90, 1};
  ASSERT_EQ(globe.SetPoints(points, 3), 0);
  DebugOutput debug;
  globe.DrapeOnSphereDTM();
  EXPECT_NE(debug.Take().find("Found SphereDTM!"), std::string::npos);
  const CablePointList& list = *globe.GetPointList();
  EXPECT_EQ(list[0].source[2], 1000.0);
  EXPECT_EQ(list[1].source[2], 0.0) << "no height there";
  EXPECT_EQ(list[2].source[2], 0.0);
  // The cable moved with its heights: 1000 m lifts the first point.
  EXPECT_NEAR(std::hypot(list[0].scene[0], list[0].scene[1], list[0].scene[2]), 0.5 + 1000.0 / 12742000.0, 1e-12);

  // Every terrain child on the globe takes the exaggeration.
  DebugOutput quiet;
  globe.SetExaggeration(4.0f);
  EXPECT_EQ(first->exaggeration, 4.0f);
  EXPECT_EQ(second->exaggeration, 4.0f);
  EXPECT_EQ(globe.GetExaggeration(), 4.0f);
  Sd_GroupNode::DeleteTree(plain);
  Sd_GroupNode::DeleteTree(first);
  Sd_GroupNode::DeleteTree(second);
}

TEST(CableSphere, GlobeStylesGiveTheirRadiusAndColours) {
  Sd_CableSphParent globe;
  auto radius = [&](int i, int j) {
    const float* v = globe.GetGlobeVertex(i, j);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  };
  auto colour = [&](int i) {
    const unsigned char* c = globe.GetGlobeColour(i, 5);
    return std::vector<int>(c, c + 4);
  };
  // The default style 3: grey, darker towards the poles, at 0.48.
  EXPECT_EQ(globe.GetGlobeStyle(), 3);
  EXPECT_NEAR(radius(4, 7), 0.48, 1e-6);
  EXPECT_EQ(colour(8), (std::vector<int>{220, 220, 220, 255}));
  EXPECT_EQ(colour(0), (std::vector<int>{93, 93, 93, 255}));
  // Row 0 lies at latitude -80, column 9 at longitude 90.
  EXPECT_NEAR(globe.GetGlobeVertex(0, 9)[2], -0.48 * std::sin(80 * M_PI / 180), 1e-6);
  globe.SetGlobeStyle(2);
  EXPECT_NEAR(radius(4, 7), 0.5, 1e-6);
  EXPECT_EQ(colour(16), (std::vector<int>{0, 0, 153, 160}));
  EXPECT_EQ(colour(8), (std::vector<int>{0, 0, 255, 160}));
  globe.SetGlobeStyle(1);
  EXPECT_EQ(colour(16), (std::vector<int>{0, 0, 153, 160})) << "style 1 keeps the colours";
  globe.SetGlobeStyle(0);
  EXPECT_NEAR(radius(12, 30), 0.47, 1e-6);
  EXPECT_EQ(colour(12), (std::vector<int>{0, 0, 0, 255}));
}

TEST(CableSphere, ClassFileGivesTheCableOnItsThirdLine) {
  TempDir dir;
  ScopedEnv config("WRUCONFIGURATIONS", dir.path().c_str());
  {
    Sd_CableSphParent plain;
    float r = 1, g = 1, b = 1;
    plain.GetCableColour(&r, &g, &b);
    EXPECT_EQ(r + g + b, 0.0f) << "no colour without a class file";
    EXPECT_EQ(plain.GetCableRadius(), 0.0003f);
    EXPECT_EQ(plain.GetCableSegments(), 9);
  }
  ASSERT_TRUE(WriteFileBytes(dir.file("CableSphClass"), "# globe\n1\nfirst\nsecond\n0.002 12 0.25 0.5 0.75\n"));
  {
    Sd_CableSphParent globe;
    float r = 0, g = 0, b = 0;
    globe.GetCableColour(&r, &g, &b);
    EXPECT_EQ(globe.GetCableRadius(), 0.002f);
    EXPECT_EQ(globe.GetCableSegments(), 12);
    EXPECT_EQ(r, 0.25f);
    EXPECT_EQ(b, 0.75f);
  }
  // A segment count no tube can have keeps the built-in cable.
  ASSERT_TRUE(WriteFileBytes(dir.file("CableSphClass"), "1\n\n\n0.002 1 0.25 0.5 0.75\n"));
  DebugOutput quiet;
  EXPECT_EQ(Sd_CableSphParent().GetCableSegments(), 9);
}

TEST(CableSphere, SettingsRecordsReadBackInBothByteOrdersOrAreRefusedWhole) {
  TempDir dir;
  Sd_CableSphParent globe;
  for (int a = 0; a < 3; ++a) globe.SetBounds(a, -1, 1);
  globe.SetShowAxes(0);
  globe.SetGlobeStyle(0);
  globe.SetReserved(4);
  globe.SetCableColour(0.1f, 0.2f, 0.3f);
  globe.SetHeightOffset(-200);
  const double points[] = {10, 20, 30, 40, 50, 60};
  ASSERT_EQ(globe.SetPoints(points, 2), 0);
  const_cast<CablePointList*>(globe.GetPointList())->SetExtra(99);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("globe" + std::to_string(order) + ".sd");
    ASSERT_TRUE(FileWriter(path, order).Object(&globe).Close());
    LoadedFile file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    auto* read = dynamic_cast<Sd_CableSphParent*>(file.Kids()[0]);
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->className(), "Cable Sphere Parent");
    EXPECT_EQ(read->GetType(), 7);
    EXPECT_EQ(read->GetShowAxes(), 0);
    EXPECT_EQ(read->GetShowRings(), 1);
    EXPECT_EQ(read->GetReserved(), 4);
    EXPECT_EQ(read->GetHeightOffset(), -200);
    // The stored style is drawn as that style.
    EXPECT_EQ(read->GetGlobeStyle(), 0);
    EXPECT_EQ(read->GetGlobeColour(8, 0)[0], 0);
    const CablePointList* list = read->GetPointList();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetExtra(), 99);
    EXPECT_EQ((*list)[1].source[1], 50.0);
    EXPECT_TRUE(list->HasRings()) << "placed and built as read";
    EXPECT_DOUBLE_EQ((*list)[1].scene[0], (*globe.GetPointList())[1].scene[0]);
  }

  // Settings records that cannot be taken keep what the node had.
  struct Case {
    const char* what;
    int segments;
    float exaggeration;
    int count;   // points announced
    int stored;  // points present
  } cases[] = {
      {"2 segments", 2, 1.0f, 2, 2},
      {"no exaggeration", 9, std::nanf(""), 2, 2},
      {"more points than the record holds", 9, 1.0f, 3, 2},
      {"negative count", 9, 1.0f, -1, 0},
  };
  const std::string path = dir.file("refused.sd");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string p;
    auto put = [&](auto v) { p.append(reinterpret_cast<const char*>(&v), sizeof(v)); };
    for (int v : {1, 1, 1, 2, 0}) put(v);
    put(c.exaggeration);
    for (int v : {1, 0, c.segments}) put(v);
    for (float v : {0.01f, 1.0f, 0.0f, 0.0f}) put(v);
    put(1);
    put(c.count);
    put(0);
    for (int i = 0; i < 3 * c.stored; ++i) put(double(i));
    Sd_CableSphParent plain;
    FileWriter w(path);
    w.Object(&plain).Raw(TDR_TAG_SD_CABLESPHPARENT_ATB, p);
    ASSERT_TRUE(w.Close());
    DebugOutput quiet;
    LoadedFile file(path);
    ASSERT_EQ(file.Kids().size(), 1u) << "the node itself loads";
    auto* read = static_cast<Sd_CableSphParent*>(file.Kids()[0]);
    EXPECT_EQ(read->GetGlobeStyle(), 3);
    EXPECT_EQ(read->GetCableSegments(), 9);
    EXPECT_FALSE(read->GetPointList());
  }
}
