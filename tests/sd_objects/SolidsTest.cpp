// Plane, cube, quadric and solid model: their records (old and current
// layouts, settings versions, hostile counts, indices and name lengths)
// and the operations that change them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_Cube.h"
#include "Sd_Plane.h"
#include "Sd_Quadratic.h"
#include "Sd_SolidModel.h"
#include "SolidTestSupport.h"
#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "TDR_Tags.h"

using sd_io_test::Children;
using sd_io_test::FileWriter;
using solid_test::Bytes;
using solid_test::kNone;

namespace {

using Loaded = sd_io_test::LoadedFile;

// A cube record with its common tags: the object after a refused one.
void AddCube(FileWriter& w) {
  Sd_Cube cube;
  cube.SetBounds(0, 0, 1);
  w.Object(&cube);
}

std::string QuadricShape(int slices, int stacks, int loops, int kind, double radius) {
  Bytes b;
  b.I32(static_cast<int>(PackColour(10, 20, 30, 40)));
  for (double d : {radius, 0.3, 0.2, 0.05, 0.45, 0.7, 45.0, 180.0}) b.F64(d);
  b.I32(slices).I32(stacks).I32(loops).I32(kind);
  return b.s;
}

TEST(PlaneSettings, FormatOneHoldsTheColourOnlyAndFormatTwoAlsoTheHeight) {
  orvanta_test::TempDir dir;
  const std::string colour = Bytes().I32(static_cast<int>(PackColour(1, 2, 3, 4))).s;
  for (float format : {1.0f, 2.0f}) {
    const std::string path = dir.file("plane.sd");
    FileWriter w(path);
    w.Raw(TDR_TAG_SD_PLANE, Bytes().F32(format).s, 0);
    w.Raw(TDR_TAG_SD_PLANE_ATB, Bytes().F32(format).Raw(colour).I32(0).F32(7.5f).s, 0);
    ASSERT_TRUE(w.Close());
    Loaded file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    auto* plane = dynamic_cast<Sd_Plane*>(file.Kids()[0]);
    ASSERT_TRUE(plane);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plane->GetColourBytes()), 4), "\x01\x02\x03\x04");
    if (format == 1.0f) {
      // The height words are not part of the record: they stay unread.
      EXPECT_EQ(plane->GetUseGeoHeight(), 1);
      EXPECT_EQ(plane->GetGeoHeight(), 0.0f);
    } else {
      EXPECT_EQ(plane->GetUseGeoHeight(), 0);
      EXPECT_EQ(plane->GetGeoHeight(), 7.5f);
    }
  }
}

TEST(PlaneSettings, AccessorsColourAndVolumeSplit) {
  Sd_Plane plane;
  plane.SetAlpha(90);
  plane.SetColour(PackColour(10, 20, 30, 250));
  EXPECT_EQ(plane.GetColourBytes()[0], 10);
  EXPECT_EQ(plane.GetAlpha(), 90) << "the plane keeps its alpha";
  Sd_Cube cube;
  cube.SetColour(PackColour(10, 20, 30, 250));
  EXPECT_EQ(cube.GetAlpha(), 250) << "the cube takes the whole colour";

  // Heights in the box; a box without z range puts the plane in its middle.
  plane.SetBounds(0, 0, 100);
  plane.SetBounds(1, 0, 20);
  plane.SetBounds(2, -50, 10);
  plane.SetGeoHeight(-50);
  EXPECT_FLOAT_EQ(plane.GeoHeightInBox(), -0.5f);
  plane.SetBounds(2, 5, 5);
  EXPECT_EQ(plane.GeoHeightInBox(), 0.0f);

  double above = -1, below = -1, areaAbove = -1, areaBelow = -1;
  plane.SetGeoHeight(-3);
  plane.SplitVolume(&above, &below, &areaAbove, &areaBelow);
  EXPECT_EQ(below, -6000.0);
  EXPECT_EQ(areaBelow, 2000.0);
  EXPECT_EQ(above, 0.0);
  EXPECT_EQ(areaAbove, 0.0);
  plane.SetGeoHeight(2);
  plane.SplitVolume(&above, &below, &areaAbove, &areaBelow);
  EXPECT_EQ(above, 4000.0);
  EXPECT_EQ(below, 0.0);
}

TEST(QuadricRecords, SettingsReplaceEveryShapeFieldAndHostileCountsAreRefused) {
  orvanta_test::TempDir dir;
  const std::string path = dir.file("q.sd");
  FileWriter w(path);
  // 1: shape from the object record, replaced by a settings record; a
  // settings record with 5000 stacks after it is refused and changes
  // nothing.
  w.Raw(TDR_TAG_SD_QUADRATIC, QuadricShape(12, 6, 3, 1, 0.1));
  w.Raw(TDR_TAG_SD_QUADRATIC_ATB, QuadricShape(20, 9, 4, 2, 0.4));
  w.Raw(TDR_TAG_SD_QUADRATIC_ATB, QuadricShape(20, 5000, 4, 0, 0.9));
  // 2, 3: object records with no slices and too many loops: refused.
  w.Raw(TDR_TAG_SD_QUADRATIC, QuadricShape(0, 6, 3, 1, 0.1));
  w.Raw(TDR_TAG_SD_QUADRATIC, QuadricShape(12, 6, 1025, 1, 0.1));
  AddCube(w);
  ASSERT_TRUE(w.Close());
  Loaded file(path);
  const std::vector<Sd_Node*> kids = file.Kids();
  ASSERT_EQ(kids.size(), 2u);
  auto* q = dynamic_cast<Sd_Quadratic*>(kids[0]);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetKind(), 2);
  EXPECT_EQ(q->GetSlices(), 20);
  EXPECT_EQ(q->GetStacks(), 9);
  EXPECT_EQ(q->GetLoops(), 4);
  EXPECT_EQ(q->GetRadius(), 0.4);
  EXPECT_EQ(q->GetOuterRadius(), 0.45);
  EXPECT_EQ(q->GetSweepAngle(), 180.0);
  EXPECT_EQ(q->GetAlpha(), 40);
  EXPECT_EQ(kids[1]->GetType(), 1001) << "the cube after the refused records";
  q->SetSlices(100000);
  EXPECT_EQ(q->GetSlices(), Sd_Quadratic::kMaxDivisions);
}

TEST(OldSolidModel, ThreeTrianglesLoadWithTheirNormalsAndTheGreyMaterial) {
  orvanta_test::TempDir dir;
  const std::string path = dir.file("old.sd");
  FileWriter w(path);
  const std::vector<float> xyz = {0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 2};
  const std::vector<float> normals = {0, 0, -1, 0, -1, 0, 0.6f, 0.8f, 0};
  w.Raw(TDR_TAG_SD_SOLIDMODEL, solid_test::OldModelPayload(xyz, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}}, normals), 0);
  AddCube(w);
  ASSERT_TRUE(w.Close());
  Loaded file(path);
  ASSERT_EQ(file.Kids().size(), 2u);
  auto* model = dynamic_cast<Sd_SolidModel*>(file.Kids()[0]);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->GetVertexCount(), 4);
  EXPECT_EQ(model->GetVertices()[1].x, 4.0);
  EXPECT_EQ(model->GetFaceCount(), 3);
  ASSERT_EQ(model->GetNormalCount(), 3);
  EXPECT_FLOAT_EQ(model->GetNormals()[2].y, 0.8f);
  const Sd_SolidModel::Face& f = model->GetFaces()[2];
  EXPECT_EQ(f.a, 1);
  EXPECT_EQ(f.c, 3);
  EXPECT_EQ(f.normal[1], 2) << "every corner takes its face's normal";
  EXPECT_EQ(f.texture[0], kNone);
  ASSERT_EQ(model->GetMaterialCount(), 1);
  const Sd_SolidModel::Material* grey = model->GetMaterial(0);
  EXPECT_EQ(grey->diffuse[0], 204);
  EXPECT_EQ(grey->ambient[2], 51);
  EXPECT_EQ(grey->specular[3], 255);
  EXPECT_EQ(grey->value, 89.5f);
  EXPECT_EQ(grey->shininess, 1);
  EXPECT_STREQ(model->GetMaterialName(0), "");
  // Bounds and the unit box.
  EXPECT_EQ(model->GetModelBounds()[1], 4.0);
  EXPECT_EQ(model->GetBounds(2)[1], 2.0f);
  EXPECT_EQ(model->GetNormalisedVertices()[1].x, 0.5);
}

TEST(OldSolidModel, TooManyFacesOrAFourSidedFaceIsRefusedAndTheNextRecordLoads) {
  orvanta_test::TempDir dir;
  const std::vector<float> xyz = {0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 2};
  const std::vector<std::string> refused = {
      solid_test::OldModelPayload(xyz, {}, {}, 65536),
      solid_test::OldModelPayload(xyz, {{0, 1, 2}, {0, 1, 2, 3}}, {0, 0, 1, 0, 0, 1}),
      // An index beyond the vertices.
      solid_test::OldModelPayload(xyz, {{0, 1, 4}}, {0, 0, 1})};
  for (size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string path = dir.file("old.sd");
    FileWriter w(path);
    w.Raw(TDR_TAG_SD_SOLIDMODEL, refused[i], 0);
    AddCube(w);
    ASSERT_TRUE(w.Close());
    orvanta_test::MessageCapture messages;
    Loaded file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    EXPECT_EQ(file.Kids()[0]->GetType(), 1001);
    const bool partsMessage = i < 2;
    EXPECT_EQ(messages.Contains("Could not read this old style model. Please convert using the new voxtend program."),
              partsMessage)
        << messages.All();
  }
}

TEST(CurrentSolidModel, HostileCountsIndicesAndNameLengthsRefuseTheRecord) {
  using solid_test::ModelRecord;
  struct Case {
    const char* what;
    void (*spoil)(ModelRecord&);
  };
  const Case cases[] = {
      {"vertex count beyond the payload", [](ModelRecord& r) { r.vertexCount = 1000; }},
      {"face count beyond the payload", [](ModelRecord& r) { r.faceCount = 2; }},
      {"name longer than 128", [](ModelRecord& r) { r.materials[0] = {129, std::string(129, 'x')}; }},
      {"negative name length", [](ModelRecord& r) { r.materials[0].nameLength = -1; }},
      {"vertex index", [](ModelRecord& r) { r.faces[0].b = 3; }},
      {"negative vertex index", [](ModelRecord& r) { r.faces[0].c = -1; }},
      {"normal index", [](ModelRecord& r) { r.faces[0].normal[2] = 1; }},
      {"texture index", [](ModelRecord& r) { r.faces[0].texture[0] = 1; }},
      {"material index", [](ModelRecord& r) { r.faces[0].material = 1; }},
  };
  orvanta_test::TempDir dir;
  const std::string path = dir.file("m.sd");
  // The record as it is loads: 128-byte names and texture index 65535 are fine.
  {
    ModelRecord r = solid_test::OneTriangle();
    r.materials.push_back({128, std::string(128, 'n')});
    FileWriter w(path);
    w.Raw(TDR_TAG_SD_SOLIDMODEL, r.Payload(), 3);
    ASSERT_TRUE(w.Close());
    Loaded file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    auto* model = dynamic_cast<Sd_SolidModel*>(file.Kids()[0]);
    ASSERT_TRUE(model);
    EXPECT_EQ(std::string(model->GetMaterialName(1)), std::string(127, 'n')) << "names keep 127 characters";
    EXPECT_EQ(model->GetFaces()[0].texture[1], kNone);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ModelRecord r = solid_test::OneTriangle();
    c.spoil(r);
    FileWriter w(path);
    w.Raw(TDR_TAG_SD_SOLIDMODEL, r.Payload(), 3);
    AddCube(w);
    ASSERT_TRUE(w.Close());
    Loaded file(path);
    ASSERT_EQ(file.Kids().size(), 1u);
    EXPECT_EQ(file.Kids()[0]->GetType(), 1001);
  }
}

TEST(SolidModelChanges, TurningAboutZMovesVerticesAndNormalsAndTheBoxFollows) {
  auto model = solid_test::Model({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 0, 1, 0.6f, 0.8f, 0},
                                 {solid_test::Triangle(0, 1, 2, 0), solid_test::Triangle(0, 1, 3, 2)});
  ASSERT_EQ(model->GetFaceCount(), 2);
  // Translation comes first, then the turn: (1, 0, 0) + (1, 0, 0) turned
  // 90 degrees about z is (0, 2, 0).
  model->TransformModel(0, 0, 90, 1, 0, 0, 1, 1, 1);
  const Sd_SolidModel::Vertex& v = model->GetVertices()[0];
  EXPECT_NEAR(v.x, 0.0, 1e-6);
  EXPECT_NEAR(v.y, 2.0, 1e-6);
  EXPECT_NEAR(v.z, 0.0, 1e-6);
  const Sd_SolidModel::Normal* n = model->GetNormals();
  EXPECT_NEAR(n[0].x, 0.0, 1e-6);
  EXPECT_NEAR(n[0].y, 1.0, 1e-6) << "normals turn with the faces";
  EXPECT_NEAR(n[2].x, -0.8, 1e-6);
  EXPECT_NEAR(n[2].y, 0.6, 1e-6);
  EXPECT_NEAR(n[1].z, 1.0, 1e-6);
  // Vertices now span x -1 ... 0, y 1 ... 2; the box was the vertex bounds
  // and stays so.
  EXPECT_NEAR(model->GetBounds(0)[0], -1.0, 1e-6);
  EXPECT_NEAR(model->GetBounds(0)[1], 0.0, 1e-6);
  EXPECT_NEAR(model->GetBounds(1)[0], 1.0, 1e-6);
  EXPECT_NEAR(model->GetBounds(1)[1], 2.0, 1e-6);
  // A scale keeps normals at unit length and perpendicular to the faces.
  model->TransformModel(0, 0, 0, 0, 0, 0, 1, 4, 1);
  EXPECT_NEAR(std::hypot(n[2].x, n[2].y), 1.0, 1e-6);
  EXPECT_NEAR(n[2].x / n[2].y, -0.8 / 0.6 * 4.0, 1e-5);
}

TEST(SolidModelChanges, AlphaAndColourReachEveryMaterial) {
  Sd_SolidModel model;
  const unsigned char a[4] = {1, 2, 3, 255}, d[4] = {4, 5, 6, 255}, s[4] = {7, 8, 9, 255};
  model.AddMaterial("one", a, d, s, 10, 0);
  model.AddMaterial("two", a, d, s, 10, 0);
  EXPECT_EQ(model.AddMaterial(std::string(128, 'x').c_str(), a, d, s, 10, 0), -1);
  model.SetAlpha(128);
  model.SetColour(90, 31, 200);
  for (int i = 0; i < 2; ++i) {
    const Sd_SolidModel::Material* m = model.GetMaterial(i);
    EXPECT_EQ(m->ambient[3], 128);
    EXPECT_EQ(m->diffuse[3], 128);
    EXPECT_EQ(m->specular[3], 128);
    EXPECT_EQ(m->diffuse[1], 31);
    EXPECT_EQ(m->ambient[1], 10);
    EXPECT_EQ(m->specular[2], 66);
  }
  int r = 0, g = 0, b = 0;
  model.GetColour(&r, &g, &b);
  EXPECT_EQ(r, 90);
  EXPECT_STREQ(model.GetMaterialName(1), "two");
  // A face pointing at a material the model does not have is refused.
  const solid_test::Face bad = solid_test::Triangle(0, 1, 2, 0, 2);
  const double v[9] = {0, 0, 0, 1, 0, 0, 0, 1, 1};
  const float n[3] = {0, 0, 1};
  EXPECT_EQ(model.SetGeometry(3, v, 1, n, 0, nullptr, 1, &bad), -1);
  EXPECT_EQ(model.GetFaceCount(), 0);
}

}  // namespace
