// The seed files of the scene-file fuzzer (tests/fuzz/corpus/graph): small valid
// SD and scene files made with the project's writers. The test checks that
// each one reads as intended; with ORVANTA_WRITE_CORPUS set to a folder it
// also stores them there (how the committed corpus was made).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sd_Parent.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;

namespace {

unsigned* GreyColours() {
  unsigned* colours = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, i, i, 255);
  return colours;
}

// Group records of both classes, a class-less record between them and a
// colour table that the common tags step over.
bool WriteGroups(const std::string& path, int byteOrder) {
  Sd_Parent parent;
  Sd_AlignmentNode align;
  Sd_Node child;
  parent.AddChild(&child);
  parent.SetColorMap(GreyColours());
  align.SetBounds(0, -10, 10);
  align.SetBounds(2, 0, 5);
  FileWriter w(path);
  w.Manager()->SetByteOrder(byteOrder);
  w.Object(&parent).Int(TDR_TAG_SD_LABELEDGRID, 3).Object(&align).Int(TDR_TAG_BK_CMAPTABLE, 0);
  w.Int(TDR_TAG_SD_VOLUME, 9).Object(&align);
  parent.SetFirstChild(nullptr);
  return w.Close();
}

// A scene-like file: a leading record, then the hierarchy of root.
bool WriteScene(const std::string& path, Sd_Node* root) {
  FileWriter w(path);
  w.Int(TDR_TAG_BK_SCENE, 1);
  if (Sd_IOSupport(root).WriteHierarchy(w.Manager()) != 0) return false;
  return w.Close();
}

bool WriteNestedScene(const std::string& path) {
  Sd_AlignmentNode r, g, h;
  Sd_Parent p;
  Sd_Node x, y, w, z;
  r.SetName("Root Node");
  x.SetName("x");
  x.SetColorMap(GreyColours());
  y.SetPosition(1, 2, 3);
  r.AddChild(&g);
  g.AddChild(&x);
  g.AddChild(&h);
  h.AddChild(&w);
  r.AddChild(&p);
  r.AddChild(&z);
  g.AddChild(&y);
  return WriteScene(path, &r);
}

bool WriteOldStartRecord(const std::string& path) {
  Sd_AlignmentNode r;
  Sd_Node a;
  r.AddChild(&a);
  FileWriter w(path);
  const float format = 1.0f;
  w.Raw(TDR_TAG_SD_HIERARCHY, std::string(reinterpret_cast<const char*>(&format), 4), 0);
  Sd_Iterator it(&r);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    n->Sd_Node::SaveObject(w.Manager(), 1, -1);
    if (n->GetType() != 1) n->SaveObject(w.Manager(), 1, -1);
  }
  return w.Close();
}

// File-pointer records among groups: one to a seed of the corpus (found as
// given from the fuzzer's working folder, or by its bare name beside this
// file), one to a file that is not there.
bool WritePointers(const std::string& path) {
  Sd_Parent group;
  FileWriter w(path);
  w.Object(&group);
  for (const char* target : {"corpus/groups.sd", "missing.sd"}) w.Pointer(TDR_TAG_SD_PARENT, target);
  w.Object(&group);
  return w.Close();
}

// A long run of small records between two groups.
bool WriteManyRecords(const std::string& path) {
  Sd_Parent group;
  FileWriter w(path);
  w.Object(&group);
  for (int i = 0; i < 200; ++i) w.Raw(TDR_TAG_BK_CMAPTABLE, "");
  w.Object(&group);
  return w.Close();
}

struct Seed {
  const char* name;
  std::function<bool(const std::string&)> write;
  int sdChildren;       // children that ReadSDFile gives
  const char* hierarchy;  // shape that ReadHierarchy gives, null for none
};

std::string Shape(Sd_Node* n) {
  std::string s = n->GetName();
  if (n->IsGroup()) {
    s += "{";
    bool first = true;
    for (Sd_Node* c : Children(n)) {
      s += first ? "" : ",";
      first = false;
      s += Shape(c);
    }
    s += "}";
  }
  return s;
}

}  // namespace

TEST(FuzzCorpus, SeedFilesReadAsIntended) {
  const Seed seeds[] = {
      {"groups.sd", [](const std::string& p) { return WriteGroups(p, 1); }, 3, nullptr},
      {"groups-big-endian.sd", [](const std::string& p) { return WriteGroups(p, 0); }, 3, nullptr},
      {"nested.scene", WriteNestedScene, 4, "Root Node{Unknown{x,Unknown{Unknown},Unknown},Unknown{},Unknown}"},
      {"old-start-record.scene", WriteOldStartRecord, 1, "Unknown{Unknown}"},
      {"pointers.sd", WritePointers, 5, nullptr},  // groups.sd found beside it
      {"many-records.sd", WriteManyRecords, 2, nullptr},
  };
  TempDir dir;
  const char* out = getenv("ORVANTA_WRITE_CORPUS");
  const long live = Sd_Node::LiveCount();
  for (const Seed& s : seeds) {
    SCOPED_TRACE(s.name);
    const std::string path = dir.file(s.name);
    ASSERT_TRUE(s.write(path));
    EXPECT_LT(ReadFileBytes(path).size(), 8192u);
    DebugOutput quiet;
    {
      Sd_Parent* root = new Sd_Parent();
      Sd_IOSupport(root).ReadSDFile(path.c_str());
      EXPECT_EQ(static_cast<int>(Children(root).size()), s.sdChildren);
      Sd_GroupNode::DeleteTree(root);
    }
    std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
    ASSERT_TRUE(m);
    Sd_Node* top = Sd_IOSupport(nullptr).ReadHierarchy(m.get());
    if (s.hierarchy) {
      ASSERT_NE(top, nullptr);
      EXPECT_EQ(Shape(top), s.hierarchy);
    } else {
      EXPECT_EQ(top, nullptr);
    }
    Sd_GroupNode::DeleteTree(top);
    if (out && *out) {
      EXPECT_TRUE(WriteFileBytes(std::string(out) + "/" + s.name, ReadFileBytes(path)));
    }
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}
