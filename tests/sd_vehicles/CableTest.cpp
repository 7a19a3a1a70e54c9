// The tube geometry along a cable (rings, their alignment and normals, the
// pipe build) and the cable node's records, bounds and tube build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_CableParent.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_VectorPipe.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;

namespace {

double Dot(const float* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Length(const float* v) { return std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]); }

// A list of the given scene positions (x, y, z triples).
std::unique_ptr<CablePointList> Line(const std::vector<double>& xyz) {
  std::unique_ptr<CablePointList> list(new CablePointList(static_cast<int>(xyz.size() / 3)));
  for (int i = 0; i < list->Count(); ++i) {
    for (int j = 0; j < 3; ++j) (*list)[i].scene[j] = xyz[3 * i + j];
  }
  return list;
}

// Every ring and normal value of a built list is finite; every normal is a
// unit vector pointing away from its point.
void ExpectFiniteOutwardNormals(const CablePointList& list) {
  ASSERT_TRUE(list.HasRings());
  for (int i = 0; i < list.Count(); ++i) {
    for (int k = 0; k < list.GetSegments(); ++k) {
      const float* v = list[i].ring + 3 * k;
      const float* n = list[i].normals + 3 * k;
      for (int j = 0; j < 3; ++j) ASSERT_TRUE(std::isfinite(v[j]) && std::isfinite(n[j])) << i << " " << k;
      const double out[3] = {v[0] - list[i].scene[0], v[1] - list[i].scene[1], v[2] - list[i].scene[2]};
      EXPECT_NEAR(Length(n), 1.0, 1e-5) << i << " " << k;
      EXPECT_GT(Dot(n, out), 0.0) << "outward at " << i << " " << k;
    }
  }
}

}  // namespace

TEST(VectorPipe, RingsLieAroundThePointAcrossTheDirection) {
  Sd_VectorPipe pipe(1.0f, 4);
  float ring[12];
  const double p[3] = {1.0, 2.0, 3.0};

  // Along z the ring is the template circle (-1, 0), (0, 1), (1, 0), (0, -1)
  // around the point.
  const float alongZ[3] = {0, 0, 5};
  pipe.ComputePipePos(ring, p, alongZ);
  const float circle[12] = {-1, 0, 0, 0, 1, 0, 1, 0, 0, 0, -1, 0};
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(ring[i], circle[i] + p[i % 3], 1e-6) << i;

  // Along x (no y or z part): a ring in the y-z plane through the point.
  const float alongX[3] = {2, 0, 0};
  pipe.ComputePipePos(ring, p, alongX);
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(ring[3 * k], 1.0, 1e-6);
    EXPECT_NEAR(std::hypot(ring[3 * k + 1] - 2.0, ring[3 * k + 2] - 3.0), 1.0, 1e-6);
  }

  // A direction of no length is reported and still gives a finite ring.
  DebugOutput debug;
  const float none[3] = {0, 0, 0};
  pipe.ComputePipePos(ring, p, none);
  EXPECT_NE(debug.Take().find("Sd_VectorPipe::ComputePipePos! Divided by zero!"), std::string::npos);
  for (float v : ring) EXPECT_TRUE(std::isfinite(v));
  float zero[3] = {0, 0, 0};
  Sd_VectorPipe::Normalize(zero);
  EXPECT_EQ(zero[0] + zero[1] + zero[2], 0.0f);
}

TEST(VectorPipe, TwistedRingIsTurnedToLineUpWithTheRingBefore) {
  Sd_VectorPipe pipe(1.0f, 6);
  CablePointList list(2);
  ASSERT_TRUE(list.AllocateRings(6));
  const float up[3] = {0, 0, 1};
  list[1].scene[2] = 1.0;
  pipe.ComputePipePos(list[0].ring, list[0].scene, up);
  pipe.ComputePipePos(list[1].ring, list[1].scene, up);
  // Twist the second ring by two vertices.
  std::vector<float> twisted(list[1].ring, list[1].ring + 18);
  for (int k = 0; k < 6; ++k) std::memcpy(list[1].ring + 3 * k, &twisted[3 * ((k + 4) % 6)], 3 * sizeof(float));
  pipe.AlignRings(&list[0], &list[1]);
  for (int k = 0; k < 6; ++k) {
    EXPECT_NEAR(list[1].ring[3 * k], list[0].ring[3 * k], 1e-6) << k;
    EXPECT_NEAR(list[1].ring[3 * k + 1], list[0].ring[3 * k + 1], 1e-6) << k;
  }
}

TEST(VectorPipe, BuiltTubeHasUnitOutwardNormalsAcrossItsDirection) {
  // A straight oblique cable: normals across the direction, straight out.
  std::unique_ptr<CablePointList> straight = Line({0, 0, 0, 1, 2, 2, 2, 4, 4});
  ASSERT_EQ(Sd_VectorPipe::BuildPipe(straight.get(), 0.1f, 9), 0);
  ASSERT_NO_FATAL_FAILURE(ExpectFiniteOutwardNormals(*straight));
  const double d[3] = {1.0 / 3, 2.0 / 3, 2.0 / 3};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(Dot((*straight)[i].direction, d), 1.0, 1e-6);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(Dot((*straight)[i].normals + 3 * k, d), 0.0, 1e-5);
  }
  // The last point's normals are those of the point before.
  EXPECT_EQ(std::memcmp((*straight)[2].normals, (*straight)[1].normals, 27 * sizeof(float)), 0);

  // A bent cable: the inner point's direction is the mean of its two
  // segments'; the normals still point out.
  std::unique_ptr<CablePointList> bent = Line({0, 0, 0, 1, 0, 0, 1, 1, 0});
  ASSERT_EQ(Sd_VectorPipe::BuildPipe(bent.get(), 0.1f, 8), 0);
  ASSERT_NO_FATAL_FAILURE(ExpectFiniteOutwardNormals(*bent));
  EXPECT_NEAR((*bent)[1].direction[0], std::sqrt(0.5), 1e-6);
  EXPECT_NEAR((*bent)[1].direction[1], std::sqrt(0.5), 1e-6);
}

TEST(VectorPipe, RepeatedPointsAndShortListsGiveNoBrokenTube) {
  // A repeated point and a cable that turns straight back: finite rings,
  // normals of unit length pointing out.
  std::unique_ptr<CablePointList> repeated = Line({0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0, 1, 0, 0, 1, 1, 0});
  ASSERT_EQ(Sd_VectorPipe::BuildPipe(repeated.get(), 0.2f, 5), 0);
  ASSERT_NO_FATAL_FAILURE(ExpectFiniteOutwardNormals(*repeated));
  EXPECT_EQ(std::memcmp((*repeated)[1].ring, (*repeated)[2].ring, 15 * sizeof(float)), 0)
      << "the repeated point keeps its neighbour's direction";

  // Fewer than two points, points that all coincide or lie beyond the
  // range of floats, or a segment count outside 3 ... 256: no tube.
  DebugOutput debug;
  for (const auto& list : {Line({1, 2, 3}), Line({1, 2, 3, 1, 2, 3}), Line({0, 0, 0, 1e200, 0, 0})}) {
    EXPECT_EQ(Sd_VectorPipe::BuildPipe(list.get(), 0.1f, 9), -1);
    EXPECT_FALSE(list->HasRings());
  }
  std::unique_ptr<CablePointList> line = Line({0, 0, 0, 1, 0, 0});
  EXPECT_EQ(Sd_VectorPipe::BuildPipe(line.get(), 0.1f, 2), -1);
  EXPECT_EQ(Sd_VectorPipe::BuildPipe(line.get(), 0.1f, 257), -1);
  EXPECT_FALSE(line->HasRings());
  EXPECT_EQ(CablePointList(0).Count(), 0);
}

// --- the cable node ---

namespace {

// The cable of the record tests: bounds x 0 ... 10, y 100 ... 120,
// z -4 ... 0, points (x, y, z) (0, 100, -4), (5, 110, -2), (10, 120, 0).
std::unique_ptr<Sd_CableParent> SampleCable() {
  std::unique_ptr<Sd_CableParent> cable(new Sd_CableParent());
  cable->SetBounds(0, 0, 10);
  cable->SetBounds(1, 100, 120);
  cable->SetBounds(2, -4, 0);
  const double xyz[] = {0, 100, -4, 5, 110, -2, 10, 120, 0};
  EXPECT_EQ(cable->SetPoints(xyz, 3), 0);
  EXPECT_EQ(cable->SetPipeSegments(5), 0);
  cable->SetPipeRadius(0.25f);
  cable->SetPipeLift(0.5f);
  cable->SetShowPipe(0);
  return cable;
}


// A settings record's payload: show, lift, segments, radius, count, then
// (when given) the second count and the point values.
std::string Settings(int segments, int count, int again = -1, std::vector<double> values = {}) {
  std::string b;
  auto put = [&](const void* v, size_t n) { b.append(static_cast<const char*>(v), n); };
  const int show = 1;
  const float lift = 0.0f, radius = 0.1f;
  put(&show, 4);
  put(&lift, 4);
  put(&segments, 4);
  put(&radius, 4);
  put(&count, 4);
  if (again >= 0) put(&again, 4);
  for (double v : values) put(&v, 8);
  return b;
}

}  // namespace

TEST(CableNode, SavedCableReadsBackInBothByteOrdersWithItsPoints) {
  orvanta_test::TempDir dir;
  std::unique_ptr<Sd_CableParent> cable = SampleCable();
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("cable" + std::to_string(order) + ".sd");
    TDR_Manager m;
    m.SetByteOrder(order);
    ASSERT_TRUE(m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && cable->SaveObject(&m, 1, 0) == 0 &&
                m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0);
    sd_io_test::LoadedFile file(path);
    const std::vector<Sd_Node*> kids = file.Kids();
    ASSERT_EQ(kids.size(), 1u);
    Sd_CableParent* read = dynamic_cast<Sd_CableParent*>(kids[0]);
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->className(), "Cable Parent");
    EXPECT_EQ(read->GetType(), 4);
    EXPECT_TRUE(read->IsGroup());
    EXPECT_EQ(read->GetShowPipe(), 0);
    EXPECT_EQ(read->GetPipeSegments(), 5);
    EXPECT_EQ(read->GetPipeRadius(), 0.25f);
    EXPECT_EQ(read->GetPipeLift(), 0.5f);
    const CablePointList* list = read->GetPointList();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Count(), 3);
    // Each point's values are y, x, z.
    EXPECT_EQ((*list)[1].source[0], 110.0);
    EXPECT_EQ((*list)[1].source[1], 5.0);
    EXPECT_EQ((*list)[1].source[2], -2.0);
    EXPECT_FALSE(list->HasRings()) << "the tube waits for the build";
  }
}

TEST(CableNode, SettingsRecordsGiveTheirPointsOrAreRefusedWhole) {
  orvanta_test::TempDir dir;
  const std::string path = dir.file("settings.sd");
  const std::vector<double> points = {110, 5, -2, 120, 10, 0};  // y, x, z
  const float format1 = 1.0f, format2 = 2.0f;
  const std::string v1(reinterpret_cast<const char*>(&format1), 4), v2(reinterpret_cast<const char*>(&format2), 4);
  Sd_CableParent group;
  struct Case {
    const char* what;
    std::string payload;
    short version;
    int points;    // points of the list read, -1: the record is refused
    int segments;  // segment count afterwards
  } cases[] = {
      {"two points", Settings(4, 2, 2, points), 1, 2, 4},
      {"count 0", Settings(4, 0), 1, 0, 4},
      {"format 1.0 holds no points", v1 + Settings(4, 2, 2, points), 0, 0, 4},
      {"format 2.0", v2 + Settings(4, 2, 2, points), 0, 2, 4},
      {"counts that disagree", Settings(4, 2, 3, points), 1, -1, 9},
      {"more points than the record holds", Settings(4, 3, 3, points), 1, -1, 9},
      {"2 segments", Settings(2, 2, 2, points), 1, -1, 9},
      {"257 segments", Settings(257, 2, 2, points), 1, -1, 9},
      {"cut short", Settings(4, 2, 2, points).substr(0, 18), 1, -1, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileWriter w(path);
    w.Object(&group).Raw(TDR_TAG_SD_CABLEPARENT_ATB, c.payload, c.version);
    ASSERT_TRUE(w.Close());
    DebugOutput quiet;
    sd_io_test::LoadedFile file(path);
    const std::vector<Sd_Node*> kids = file.Kids();
    ASSERT_EQ(kids.size(), 1u) << "the cable itself always loads";
    Sd_CableParent* read = static_cast<Sd_CableParent*>(kids[0]);
    const CablePointList* list = read->GetPointList();
    EXPECT_EQ(list ? list->Count() : 0, c.points < 0 ? 0 : c.points);
    EXPECT_EQ(read->GetPipeSegments(), c.segments);
    EXPECT_EQ(read->GetPipeRadius(), c.points < 0 ? 0.02f : 0.1f);
  }
}

TEST(CableNode, PointsMapThroughTheOwnBoundsAlsoWithoutChildren) {
  // Bounds 0 ... 10 and a point at 5: scene x 0.5.
  orvanta_test::TempDir dir;
  const std::string path = dir.file("cable.sd");
  std::unique_ptr<Sd_CableParent> cable = SampleCable();
  cable->SetPipeLift(0.0f);
  FileWriter w(path);
  ASSERT_TRUE(w.Object(cable.get()).Close());

  // Read without children into a scene and fitted: its own bounds stay, so
  // the points keep their place in its box.
  sd_io_test::LoadedFile file(path);
  Sd_AlignmentNode& root = *file.root;
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 1u);
  Sd_CableParent* read = static_cast<Sd_CableParent*>(kids[0]);
  root.ComputeBounds();
  EXPECT_EQ(read->GetBounds(1)[0], 100.0f);
  EXPECT_EQ(read->GetBounds(2)[1], 0.0f);
  EXPECT_EQ(root.GetBounds(0)[1], 10.0f);
  root.FitToScene(nullptr, 0);
  const CablePointList* list = read->GetPointList();
  ASSERT_TRUE(list && list->HasRings());
  EXPECT_DOUBLE_EQ((*list)[1].scene[0], 0.5);
  EXPECT_DOUBLE_EQ((*list)[1].scene[1], 0.5);
  EXPECT_DOUBLE_EQ((*list)[1].scene[2], 0.5);
  EXPECT_DOUBLE_EQ((*list)[2].scene[0], 1.0);

  // A child covering x only replaces x; y and z stay the cable's own.
  Sd_Node* child = new Sd_Node();
  child->SetBounds(0, 2, 8);
  read->AddChild(child);
  root.ComputeBounds();
  EXPECT_EQ(read->GetBounds(0)[0], 2.0f);
  EXPECT_EQ(read->GetBounds(0)[1], 8.0f);
  EXPECT_EQ(read->GetBounds(1)[1], 120.0f);

  // An axis without range maps to the middle of the box.
  read->SetBounds(2, 3, 3);
  ASSERT_EQ(read->BuildPipe(), 0);
  EXPECT_DOUBLE_EQ((*list)[0].scene[2], 0.5);
}

TEST(CableNode, ScaleReachesTheTubeAtTheNextBuild) {
  std::unique_ptr<Sd_CableParent> cable = SampleCable();
  DebugOutput debug;
  cable->PostLoadOperations(0);
  EXPECT_NE(debug.Take().find("Sd_CableParent::PostLoadOperations called!"), std::string::npos);
  DebugOutput quiet;
  const CablePointList* list = cable->GetPointList();
  ASSERT_TRUE(list->HasRings());
  EXPECT_DOUBLE_EQ((*list)[2].scene[0], 1.0);
  // The lift is added to every ring vertex: the ring's middle lies above
  // the point by the lift.
  double z = 0.0;
  for (int k = 0; k < 5; ++k) z += (*list)[0].ring[3 * k + 2];
  EXPECT_NEAR(z / 5 - (*list)[0].scene[2], 0.5, 1e-5);

  cable->SetScale(2.0f, 1.0f, 1.0f);
  EXPECT_DOUBLE_EQ((*list)[2].scene[0], 1.0) << "not before the next build";
  cable->PostLoadOperations(0);
  EXPECT_DOUBLE_EQ((*list)[2].scene[0], 2.0);
  // Fitting resets the scale and builds again.
  cable->FitToScene(nullptr, 0);
  EXPECT_DOUBLE_EQ((*list)[2].scene[0], 1.0);
  // Without points there is no tube.
  EXPECT_EQ(cable->SetPoints(nullptr, 0), 0);
  EXPECT_EQ(cable->BuildPipe(), -1);
}
