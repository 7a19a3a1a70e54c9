#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_LoadBudget.h"
#include "Sd_Parent.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::TestClasses;
using sd_io_test::TestObject;

namespace {

// Builds trees from a compact description and owns every node it made.
class TreeBuilder {
 public:
  ~TreeBuilder() {
    for (Sd_Node* n : m_nodes) delete n;
  }
  Sd_Node* Group(const char* name, std::vector<Sd_Node*> children, bool plain = false) {
    Sd_GroupNode* g = plain ? static_cast<Sd_GroupNode*>(new Sd_Parent()) : new Sd_AlignmentNode();
    g->SetName(name);
    for (Sd_Node* c : children) g->AddChild(c);
    m_nodes.push_back(g);
    return g;
  }
  Sd_Node* Leaf(const char* name) {
    Sd_Node* n = new Sd_Node();
    n->SetName(name);
    m_nodes.push_back(n);
    return n;
  }
  Sd_Node* Object(const char* name, int value, int tag = TDR_TAG_SD_BASICDTM) {
    TestObject* n = new TestObject(tag, value);
    n->SetName(name);
    m_nodes.push_back(n);
    return n;
  }

 private:
  std::vector<Sd_Node*> m_nodes;
};

// The tree as text: name, and for groups their children in braces.
std::string Shape(Sd_Node* n) {
  std::string s = n->GetName();
  if (n->IsGroup()) {
    s += "{";
    bool first = true;
    for (Sd_Node* c : Children(n)) {
      if (!first) s += ",";
      first = false;
      if (c->GetParent() != n) s += "!";
      s += Shape(c);
    }
    s += "}";
  }
  return s;
}

// A scene-like file: a foreign record first, then the hierarchy, the end tag.
bool WriteScene(const std::string& path, Sd_Node* root) {
  FileWriter w(path);
  w.Int(TDR_TAG_BK_SCENE, 42);
  if (Sd_IOSupport(root).WriteHierarchy(w.Manager()) != 0) return false;
  return w.Close();
}

// Reads the hierarchy of the file; the result is owned by the caller.
Sd_Node* ReadScene(const std::string& path) {
  std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
  if (!m) return nullptr;
  return Sd_IOSupport(nullptr).ReadHierarchy(m.get());
}

struct Tree {
  explicit Tree(Sd_Node* t) : top(t) {}
  ~Tree() { Sd_GroupNode::DeleteTree(top); }
  Sd_Node* top;
};

class HierarchyTest : public testing::Test {
 protected:
  void SetUp() override {
    m_classes.Add<TDR_TAG_SD_BASICDTM>();
    m_live = Sd_Node::LiveCount();
  }
  // Writes the tree, reads it back and returns the shape read.
  std::string RoundTrip(Sd_Node* root) {
    const std::string path = m_dir.file("scene.scene");
    if (!WriteScene(path, root)) return "write failed";
    const long before = Sd_Node::LiveCount();
    Tree read(ReadScene(path));
    if (!read.top) return Sd_Node::LiveCount() == before ? "null" : "null (leak)";
    std::string s = Shape(read.top);
    if (read.top->GetParent() || read.top->GetNext()) s += " (top linked)";
    Sd_GroupNode::DeleteTree(read.top);
    read.top = nullptr;
    if (Sd_Node::LiveCount() != before) s += " (leak)";
    return s;
  }

  TempDir m_dir;
  TestClasses m_classes;
  TreeBuilder b;
  long m_live = 0;
};

}  // namespace

TEST_F(HierarchyTest, ShapesRoundTrip) {
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Leaf("a"), b.Leaf("b")})), "R{a,b}");
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Group("G", {b.Leaf("x"), b.Leaf("y")}), b.Leaf("z")})), "R{G{x,y},z}");
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Group("E", {}), b.Leaf("s")})), "R{E{},s}");
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Group("G", {b.Group("H", {b.Leaf("w")})}), b.Leaf("z")})), "R{G{H{w}},z}");
  EXPECT_EQ(RoundTrip(b.Group("R", {})), "R{}");
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Leaf("a"), b.Group("E", {})})), "R{a,E{}}");
  EXPECT_EQ(RoundTrip(b.Group("R", {b.Group("A", {b.Group("B", {b.Group("C", {b.Object("c1", 1)})}, true),
                                                  b.Object("b2", 2)}),
                                    b.Group("P", {b.Leaf("p1")}, true), b.Leaf("q"), b.Group("E2", {})})),
            "R{A{B{C{c1}},b2},P{p1},q,E2{}}");
}

TEST_F(HierarchyTest, NodesKeepTheirStoredFieldsAndClasses) {
  Sd_Node* obj = b.Object("seabed", 17);
  obj->SetDescription("/data/bay.sd");
  obj->SetPosition(1, 2, 3);
  obj->SetVisible(0);
  Sd_Node* plain = b.Group("P", {obj}, true);
  plain->SetRotation(0, 0, 45);
  Sd_Node* root = b.Group("Root Node", {plain, b.Leaf("axes")});
  const std::string path = m_dir.file("fields.scene");
  ASSERT_TRUE(WriteScene(path, root));
  Tree read(ReadScene(path));
  ASSERT_NE(read.top, nullptr);
  EXPECT_STREQ(read.top->className(), "Alignment Node");
  auto kids = Children(read.top);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_STREQ(kids[0]->className(), "Parent Node");
  EXPECT_EQ(*kids[0]->GetRotation('z'), 45.0f);
  auto inner = Children(kids[0]);
  ASSERT_EQ(inner.size(), 1u);
  TestObject* t = dynamic_cast<TestObject*>(inner[0]);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Value(), 17);
  // Names come from the node records, not from the file.
  EXPECT_STREQ(t->GetName(), "seabed");
  EXPECT_STREQ(t->GetDescription(), "/data/bay.sd");
  EXPECT_EQ(*t->GetPosition('y'), 2.0f);
  EXPECT_EQ(t->GetVisible(), 0);
  EXPECT_EQ(t->GetType(), TestObject::kStandInType) << "the table gives no type id for a class this build lacks";
  EXPECT_EQ(kids[1]->GetType(), 1);
  EXPECT_STREQ(kids[1]->GetName(), "axes");
}

TEST_F(HierarchyTest, DeepNestingRoundTripsAndTooDeepIsRefused) {
  auto chain = [&](int depth) {
    Sd_Node* inner = b.Leaf("leaf");
    for (int i = 0; i < depth; ++i) inner = b.Group("g", {inner});
    return inner;
  };
  std::string expected = "leaf";
  for (int i = 0; i < 40; ++i) expected = "g{" + expected + "}";
  EXPECT_EQ(RoundTrip(chain(40)), expected);

  Sd_Node* tooDeep = chain(Sd_IOSupport::kMaxHierarchyDepth + 2);
  DebugOutput out;
  const std::string result = RoundTrip(tooDeep);
  const std::string log = out.Take();
  EXPECT_EQ(result, "null");
  EXPECT_NE(log.find("nested too deep"), std::string::npos) << log;
}

TEST_F(HierarchyTest, EntriesThatCannotBeCreatedAreDroppedWithoutShiftingTheRest) {
  Sd_Node* root = b.Group("R", {b.Group("G", {b.Leaf("x"), b.Object("t", 1), b.Leaf("y")}), b.Leaf("z")});
  Sd_Node* lastChild = b.Group("R", {b.Group("G", {b.Leaf("x"), b.Object("t", 1)}), b.Leaf("z")});
  Sd_Node* failing = b.Group("R", {b.Group("G", {b.Leaf("x"), b.Object("t", -1)}), b.Leaf("z")});
  const std::string a = m_dir.file("a.scene"), c = m_dir.file("c.scene"), f = m_dir.file("f.scene");
  ASSERT_TRUE(WriteScene(a, root));
  ASSERT_TRUE(WriteScene(c, lastChild));
  ASSERT_TRUE(WriteScene(f, failing));
  const long built = Sd_Node::LiveCount();

  DebugOutput out;
  {
    Tree read(ReadScene(f));  // a load that fails
    ASSERT_NE(read.top, nullptr);
    EXPECT_EQ(Shape(read.top), "R{G{x},z}");
  }
  EXPECT_EQ(out.capture.messages().size(), 1u) << "the factory's warning alone: " << out.capture.All();
  Sd_IOSupport::ClearTestClasses();  // the object's class is gone
  for (const auto& k : {std::make_pair(a, "R{G{x,y},z}"), std::make_pair(c, "R{G{x},z}")}) {
    out.capture.Clear();
    Tree read(ReadScene(k.first));
    ASSERT_NE(read.top, nullptr);
    EXPECT_EQ(Shape(read.top), k.second);
    // The user is told, once, what was left out of the scene and why.
    ASSERT_EQ(out.capture.messages().size(), 1u) << out.capture.All();
    EXPECT_EQ(out.capture.messages()[0].second,
              "File \"" + k.first + "\": 1 record could not be read (no support for records of type SD_BASICDTM); "
              "the others were loaded.");
  }
  const std::string log = out.Take();
  EXPECT_NE(log.find("ERROR:  No support for given tag id"), std::string::npos) << log;
  EXPECT_EQ(Sd_Node::LiveCount(), built);
}

// An object saved as a file-pointer record to a file of its data.
class PointerObject : public TestObject {
 public:
  explicit PointerObject(const std::string& target) : TestObject(TDR_TAG_SD_BASICDTM), m_target(target) {}
  int SaveObject(TDR_Manager* manager, int, int) override {
    manager->WriteTag(TDR_TAG_SD_BASICDTM, 1, 0, 1, 1);
    manager->WriteFilePointerString(m_target.c_str());
    return manager->EndTag();
  }

 private:
  std::string m_target;
};

TEST_F(HierarchyTest, EntriesWhosePointerIsRefusedAreDroppedAndTheSceneLoads) {
  const std::string data = m_dir.file("data.sd"), path = m_dir.file("p.scene");
  TestObject a(TDR_TAG_SD_BASICDTM, 5);
  ASSERT_TRUE(FileWriter(data).Object(&a).Close());
  PointerObject p1(data), p2(data);
  p1.SetName("p1");
  p2.SetName("p2");
  ASSERT_TRUE(WriteScene(path, b.Group("R", {b.Group("G", {b.Leaf("x"), &p1, &p2, b.Leaf("y")}), b.Leaf("z")})));
  // Room for the file once: the second pointer to it is refused.
  const long long before = Sd_LoadBudget::SetBytes(static_cast<long long>(ReadFileBytes(data).size()) * 3 / 2);
  MessageCapture warnings(SV_LEVEL_WARNING);
  Tree read(ReadScene(path));
  Sd_LoadBudget::SetBytes(before);
  ASSERT_NE(read.top, nullptr) << warnings.All();
  EXPECT_EQ(Shape(read.top), "R{G{x,p1,y},z}");
  EXPECT_TRUE(warnings.Contains("\"" + data + "\" that a file pointer names needs")) << warnings.All();
}

TEST_F(HierarchyTest, FileWithoutHierarchyGivesTheMessageAndNull) {
  const std::string path = m_dir.file("nohier.scene");
  ASSERT_TRUE(FileWriter(path).Int(TDR_TAG_BK_SCENE, 1).Close());
  DebugOutput out;
  EXPECT_EQ(ReadScene(path), nullptr);
  const std::string log = out.Take();
  EXPECT_NE(log.find("ERROR:  TDR File did not contains a data hierarchy!"), std::string::npos) << log;
}

TEST_F(HierarchyTest, FirstEntryMustBeAGroup) {
  DebugOutput out;
  EXPECT_EQ(RoundTrip(b.Leaf("lonely")), "null");
  EXPECT_EQ(RoundTrip(b.Object("obj", 3)), "null");
}

TEST_F(HierarchyTest, OnlyTheRootsSubtreeIsWritten) {
  Sd_Node* root = b.Group("R", {b.Leaf("a")});
  Sd_Node* sibling = b.Leaf("sibling");
  root->SetNext(sibling);
  EXPECT_EQ(RoundTrip(root), "R{a}");
  root->SetNext(nullptr);
  EXPECT_EQ(Sd_IOSupport(nullptr).WriteHierarchy(nullptr), -1);
}

TEST_F(HierarchyTest, DamagedFilesGiveNullAndLeaveNothingBehind) {
  const std::string path = m_dir.file("whole.scene");
  ASSERT_TRUE(WriteScene(path, b.Group("R", {b.Group("G", {b.Leaf("x"), b.Object("t", 5)}), b.Leaf("z")})));
  const std::string bytes = ReadFileBytes(path);
  const std::string cutPath = m_dir.file("cut.scene");
  DebugOutput out;
  const long before = Sd_Node::LiveCount();
  // Cut anywhere in the second half: the hierarchy is incomplete.
  for (size_t cut = bytes.size() - 1; cut > bytes.size() / 2; cut -= 3) {
    ASSERT_TRUE(WriteFileBytes(cutPath, bytes.substr(0, cut)));
    Tree read(ReadScene(cutPath));
    EXPECT_EQ(read.top, nullptr) << "cut at " << cut;
  }
  EXPECT_EQ(Sd_Node::LiveCount(), before);
}

TEST_F(HierarchyTest, MismatchedEntryIsDroppedAndOldStartRecordIsRead) {
  const std::string path = m_dir.file("odd.scene");
  Sd_Node* x = b.Leaf("x");
  Sd_Node* root = b.Group("R", {x});
  Sd_Node* obj = b.Object("t", 1);  // type id 11 ...
  Sd_Parent group;                   // ... followed by a group record
  FileWriter w(path);
  const float format = 1.0f;
  w.Raw(TDR_TAG_SD_HIERARCHY, std::string(reinterpret_cast<const char*>(&format), 4), 0);
  ASSERT_EQ(root->Sd_Node::SaveObject(w.Manager(), 1, -1), 0);
  ASSERT_EQ(root->SaveObject(w.Manager(), 1, -1), 0);
  obj->SetNext(x);  // has a next sibling: x follows
  ASSERT_EQ(obj->Sd_Node::SaveObject(w.Manager(), 1, -1), 0);
  obj->SetNext(nullptr);
  ASSERT_EQ(group.SaveObject(w.Manager(), 1, -1), 0);
  x->SetParent(root);
  ASSERT_EQ(x->Sd_Node::SaveObject(w.Manager(), 1, -1), 0);
  ASSERT_TRUE(w.Close());
  DebugOutput out;
  Tree read(ReadScene(path));
  const std::string log = out.Take();
  ASSERT_NE(read.top, nullptr);
  EXPECT_EQ(Shape(read.top), "R{x}");
  EXPECT_NE(log.find("does not match"), std::string::npos) << log;
}
