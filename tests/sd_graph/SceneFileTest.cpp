// Scene files: the scene record in its three layouts and both byte orders,
// the tree around it, and damaged files. The two seeds of the scene-file
// fuzzer are made here (ORVANTA_WRITE_CORPUS).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sd_SceneFile.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;

namespace {

Sd_SceneSettings SampleSettings() {
  Sd_SceneSettings s;
  s.aspectMode = 3;
  s.coordinateType = 2;
  s.nearScale = 0.05f;
  s.farClip = 123456.0f;
  s.globalScale = 1750.0f;
  s.baseScaleValue = 3600.0f;
  for (int i = 0; i < 16; ++i) s.viewMatrix[i] = 0.5f * i - 3.25f;
  s.cameraBaseScale = 75.0f;
  return s;
}

// Root Node{G{a, b}, c}: an alignment root, a hidden Sd_Parent group with a
// transform, plain leaves; all owned by the caller's tree.
Sd_AlignmentNode* SampleTree() {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  root->SetName("Root Node");
  root->SetScale(1.0f, 1.0f, 6.0f);
  Sd_Parent* g = new Sd_Parent();
  g->SetName("G");
  g->SetVisible(0);
  g->SetPosition(1.0f, 2.0f, 3.0f);
  g->SetRotation(10.0f, 20.0f, 30.0f);
  g->SetScale(2.0f, 2.0f, 0.5f);
  Sd_Node* a = new Sd_Node();
  a->SetName("a");
  Sd_Node* b = new Sd_Node();
  b->SetName("b");
  Sd_Node* c = new Sd_Node();
  c->SetName("c");
  root->AddChild(g);
  g->AddChild(a);
  g->AddChild(b);
  root->AddChild(c);
  return root;
}

std::string Shape(Sd_Node* n) {
  std::string s = std::string(n->className()) + ":" + n->GetName();
  if (n->IsGroup()) {
    s += "{";
    for (Sd_Node* c : Children(n)) s += Shape(c) + ";";
    s += "}";
  }
  return s;
}

void ExpectSameSettings(const Sd_SceneSettings& a, const Sd_SceneSettings& b) {
  EXPECT_EQ(a.aspectMode, b.aspectMode);
  EXPECT_EQ(a.coordinateType, b.coordinateType);
  EXPECT_EQ(a.nearScale, b.nearScale);
  EXPECT_EQ(a.farClip, b.farClip);
  EXPECT_EQ(a.globalScale, b.globalScale);
  EXPECT_EQ(a.baseScaleValue, b.baseScaleValue);
  EXPECT_EQ(0, memcmp(a.viewMatrix, b.viewMatrix, sizeof(a.viewMatrix)));
}

// A scene file with the record at a tag version and byte order of choice.
bool WriteScene(const std::string& path, const Sd_SceneSettings& s, Sd_Node* root, int tagVersion, int byteOrder) {
  FileWriter w(path, byteOrder);
  if (Sd_SceneFile::WriteRecord(w.Manager(), s, tagVersion) != 0) return false;
  if (Sd_IOSupport(root).WriteHierarchy(w.Manager()) != 0) return false;
  return w.Close();
}

// The fuzzer's seeds are files of these tests: with ORVANTA_WRITE_CORPUS set
// they are stored there under name.
void StoreSeed(const std::string& path, const char* name) {
  const char* out = getenv("ORVANTA_WRITE_CORPUS");
  if (out && *out) {
    EXPECT_LT(ReadFileBytes(path).size(), 8192u);
    EXPECT_TRUE(WriteFileBytes(std::string(out) + "/" + name, ReadFileBytes(path)));
  }
}

// Writes SampleTree with write, then reads the file back (null when it
// does not read).
Sd_Node* WriteSampleAndRead(const std::string& path, const std::function<bool(Sd_Node*)>& write,
                            Sd_SceneSettings* read) {
  Sd_Node* tree = SampleTree();
  const bool written = write(tree);
  Sd_GroupNode::DeleteTree(tree);
  return written ? Sd_SceneFile::Read(path.c_str(), read) : nullptr;
}

// Old layout whose first child group carries a georeference of geo-unit
// type 1 (geographic): Root Node{P{x}}.
bool WriteOldGeographicScene(const std::string& path, int byteOrder) {
  Sd_AlignmentNode root;
  Sd_Parent p;
  Sd_Node x;
  root.SetName("Root Node");
  p.SetName("P");
  x.SetName("x");
  p.SetBounds(0, 10.0f, 11.0f);
  p.SetBounds(1, 50.0f, 51.0f);
  root.AddChild(&p);
  p.AddChild(&x);
  FileWriter w(path, byteOrder);
  TDR_Manager* m = w.Manager();
  Sd_SceneSettings s = SampleSettings();
  bool ok = Sd_SceneFile::WriteRecord(m, s, 0) == 0;
  ok = ok && m->WriteTag(TDR_TAG_SD_HIERARCHY, 1, 0, 0, 1) == 0 && m->EndTag() == 0;
  ok = ok && root.Sd_Node::SaveObject(m, 1, -1) == 0 && root.SaveObject(m, 1, -1) == 0;
  ok = ok && p.Sd_Node::SaveObject(m, 1, -1) == 0 && p.SaveObject(m, 0, -1) == 0;
  TDR_GeoRef geo;
  geo.SetGeoUnitType(1);
  geo.SetXBounds(10.0, 11.0);
  geo.SetYBounds(50.0, 51.0);
  ok = ok && m->WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1) == 0 && geo.Write(m) == 0 && m->EndTag() == 0;
  ok = ok && x.Sd_Node::SaveObject(m, 1, -1) == 0;
  root.RemoveChild(&p);
  p.RemoveChild(&x);
  return w.Close() && ok;
}

}  // namespace

TEST(SceneFile, SavedSceneComesBackWithEveryFieldAndTheTree) {
  TempDir dir;
  const std::string path = dir.file("view.scene");
  const long live = Sd_Node::LiveCount();
  const Sd_SceneSettings written = SampleSettings();
  Sd_SceneSettings read;
  Sd_Node* top = WriteSampleAndRead(
      path, [&](Sd_Node* tree) { return Sd_SceneFile::Write(path.c_str(), written, tree) == 0; }, &read);
  ASSERT_NE(top, nullptr);
  StoreSeed(path, "scene-current.scene");
  ExpectSameSettings(read, written);
  EXPECT_EQ(read.tagVersion, 3);
  EXPECT_EQ(read.oldLayout, 0);
  EXPECT_EQ(read.hasCameraBaseScale, 1);
  EXPECT_EQ(read.cameraBaseScale, 75.0f);
  EXPECT_EQ(Shape(top), "Alignment Node:Root Node{Parent Node:G{Node:a;Node:b;};Node:c;}");
  EXPECT_EQ(*top->GetScale('z'), 6.0f);
  Sd_Node* g = top->GetFirstChild();
  EXPECT_EQ(g->GetVisible(), 0);
  EXPECT_EQ(*g->GetPosition('y'), 2.0f);
  double rotation[3];
  g->GetRotationAngles(rotation);
  EXPECT_EQ(rotation[2], 30.0);
  EXPECT_EQ(*g->GetScale('z'), 0.5f);
  Sd_GroupNode::DeleteTree(top);
  EXPECT_EQ(Sd_Node::LiveCount(), live);

  // The header names the writer.
  std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
  ASSERT_TRUE(m);
  ASSERT_EQ(m->GetCommentCount(), 1);
  EXPECT_STREQ(m->GetComment(0), "Brannovick wrote this scene file!");
}

TEST(SceneFile, OlderLayoutsAndTheOtherByteOrder) {
  TempDir dir;
  const Sd_SceneSettings written = SampleSettings();
  DebugOutput quiet;

  // Tag version 2: everything but the camera base scale.
  {
    const std::string path = dir.file("v2.scene");
    Sd_SceneSettings read;
    Sd_Node* top =
        WriteSampleAndRead(path, [&](Sd_Node* tree) { return WriteScene(path, written, tree, 2, 1); }, &read);
    ASSERT_NE(top, nullptr);
    ExpectSameSettings(read, written);
    EXPECT_EQ(read.hasCameraBaseScale, 0);
    Sd_GroupNode::DeleteTree(top);
  }

  // The old layout (tag version 0, format 1.0), big-endian: aspect mode 1,
  // the base value and the matrix; the coordinate type is the geo-unit
  // type of the first georeferenced node, and the tree has its bounds.
  {
    const std::string path = dir.file("old.scene");
    ASSERT_TRUE(WriteOldGeographicScene(path, 0));
    StoreSeed(path, "scene-old-big-endian.scene");
    Sd_SceneSettings read;
    Sd_Node* top = Sd_SceneFile::Read(path.c_str(), &read);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(read.oldLayout, 1);
    EXPECT_EQ(read.aspectMode, 1);
    EXPECT_EQ(read.coordinateType, 1);
    EXPECT_EQ(read.baseScaleValue, 3600.0f);
    EXPECT_EQ(0, memcmp(read.viewMatrix, written.viewMatrix, sizeof(read.viewMatrix)));
    EXPECT_EQ(read.hasCameraBaseScale, 0);
    EXPECT_EQ(top->GetBounds(1)[0], 50.0f);
    Sd_GroupNode::DeleteTree(top);
  }

  // Big-endian, current layout: the 24-byte block is reversed as one unit,
  // the matrix is stored little-endian all the same.
  {
    const std::string path = dir.file("big.scene");
    Sd_SceneSettings read;
    Sd_Node* top =
        WriteSampleAndRead(path, [&](Sd_Node* tree) { return WriteScene(path, written, tree, 3, 0); }, &read);
    ASSERT_NE(top, nullptr);
    ExpectSameSettings(read, written);
    EXPECT_EQ(read.cameraBaseScale, 75.0f);
    Sd_GroupNode::DeleteTree(top);
    const std::string bytes = ReadFileBytes(path);
    unsigned char block[24] = {0};
    const float tail[2] = {0.1f, 10000.0f};
    memcpy(block + 16, tail, 8);
    std::string reversed(reinterpret_cast<const char*>(block), 24);
    const uint16_t probe = 1;
    if (*reinterpret_cast<const unsigned char*>(&probe) == 1) {  // this machine is little-endian
      reversed.assign(reversed.rbegin(), reversed.rend());
    }
    const size_t at = bytes.find(reversed);
    ASSERT_NE(at, std::string::npos);
    std::string matrix;
    for (float v : written.viewMatrix) {
      uint32_t w;
      memcpy(&w, &v, 4);
      for (int k = 0; k < 4; ++k) matrix += static_cast<char>(w >> (8 * k));
    }
    EXPECT_EQ(bytes.substr(at + 24 + 4 + 16, 64), matrix);  // after the shorts and the four floats
  }
}

TEST(SceneFile, DamagedFilesGiveNothingAndLeaveNothing) {
  TempDir dir;
  const std::string good = dir.file("good.scene");
  {
    // A small tree keeps the number of cuts down: Root Node{a}.
    Sd_AlignmentNode root;
    Sd_Node a;
    root.AddChild(&a);
    ASSERT_EQ(Sd_SceneFile::Write(good.c_str(), SampleSettings(), &root), 0);
  }
  const std::string bytes = ReadFileBytes(good);
  const long live = Sd_Node::LiveCount();
  const std::string cut = dir.file("cut.scene");
  ASSERT_TRUE(WriteFileBytes(cut, bytes));
  // Every cut, from the missing end tag down to an empty file.
  {
    DebugOutput quiet;
    for (size_t n = bytes.size(); n-- > 0;) {
      ASSERT_EQ(truncate(cut.c_str(), static_cast<off_t>(n)), 0);
      quiet.capture.Clear();
      Sd_SceneSettings read;
      Sd_Node* top = Sd_SceneFile::Read(cut.c_str(), &read);
      EXPECT_EQ(top, nullptr) << n;
      Sd_GroupNode::DeleteTree(top);
      EXPECT_TRUE(quiet.capture.Contains("is not a valid scene file")) << n;
    }
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);

  {
    DebugOutput out;
    Sd_SceneSettings read;
    EXPECT_EQ(Sd_SceneFile::Read(dir.file("missing.scene").c_str(), &read), nullptr);
    EXPECT_TRUE(out.capture.Contains("Could not open the scene"));
  }
}
