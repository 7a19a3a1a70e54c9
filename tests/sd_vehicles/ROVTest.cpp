// The ROV node's records, its shared-memory block (attaching, the bounds it
// writes back, missing and short blocks, its mappings) and its history
// track. The block is published by the test's writer program under a name
// of its own.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../support/rov/RovWriter.h"
#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Lines3D.h"
#include "Sd_ROVParent.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

using rov_test::RovBlockScope;
using rov_test::RovWriter;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::LoadedFile;

namespace {

// Bounds x 100 ... 200, y -50 ... 50, z -10 ... 0.
void SetSampleBounds(Sd_Node* node) {
  node->SetBounds(0, 100.0f, 200.0f);
  node->SetBounds(1, -50.0f, 50.0f);
  node->SetBounds(2, -10.0f, 0.0f);
}

// Lines of /proc/self/maps that map the named block, and open descriptors.
int Mappings(const std::string& block) {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find("/dev/shm/" + block) != std::string::npos;
  return n;
}
int OpenDescriptors() {
  return static_cast<int>(orvanta_test::ListDirectory("/proc/self/fd").size());
}

}  // namespace

TEST(ROVNode, RecordsHoldTheFormatWordAndBothSettingsAndAnObjectAfterThemLoads) {
  orvanta_test::TempDir dir;
  RovBlockScope scope(rov_test::MissingBlockName());
  DebugOutput quiet;
  Sd_ROVParent rov;
  SetSampleBounds(&rov);
  Sd_AlignmentNode next;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file("rov" + std::to_string(order) + ".sd");
    {
      FileWriter w(path);
      w.Manager()->SetByteOrder(order);
      ASSERT_TRUE(w.Object(&rov).Object(&next).Close());
    }
    // 9975: the format word 1.0 and the first-child word; the common tags;
    // 9976: 1, 1.
    TDR_Manager m;
    ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0);
    int length = -1;
    ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SD_ROVPARENT);
    EXPECT_EQ(length, 8);
    float format = 0.0f;
    int firstChild = -1;
    TDR_PayloadReader record(&m);
    ASSERT_TRUE(record.Float32(&format) && record.Int32(&firstChild));
    EXPECT_EQ(format, 1.0f);
    EXPECT_EQ(firstChild, 0);
    EXPECT_EQ(m.ReadTag(&length), TDR_TAG_GEOREF);
    ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SD_ROVPARENT_ATB);
    EXPECT_EQ(length, 8);
    int settings[2] = {0, 0};
    TDR_PayloadReader settingsRecord(&m);
    ASSERT_TRUE(settingsRecord.Int32s(settings, 2));
    EXPECT_EQ(settings[0], 1);
    EXPECT_EQ(settings[1], 1);
    EXPECT_EQ(m.ReadTag(&length), TDR_TAG_SD_ALIGNPARENT);
    m.CloseFile();

    LoadedFile file(path);
    const std::vector<Sd_Node*> kids = file.Kids();
    ASSERT_EQ(kids.size(), 2u) << "the object after the ROV node loads too";
    Sd_ROVParent* read = dynamic_cast<Sd_ROVParent*>(kids[0]);
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->className(), "ROV Node");
    EXPECT_EQ(read->GetType(), 6);
    EXPECT_TRUE(read->IsGroup());
    EXPECT_STREQ(read->GetName(), "Unknown");
    EXPECT_EQ(read->GetBounds(1)[0], -50.0f);
    EXPECT_EQ(read->GetFirstSetting(), 1);
    EXPECT_EQ(read->GetSecondSetting(), 1);
    EXPECT_STREQ(kids[1]->className(), "Alignment Node");
  }
}

TEST(ROVNode, FitWritesItsBoundsAndTheValidFlagIntoTheBlock) {
  rov_test::PublishedBlock block;
  RovWriter& writer = block.writer;
  ASSERT_TRUE(writer.Ready());
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  Sd_ROVParent* rov = new Sd_ROVParent();
  ASSERT_TRUE(rov->IsAttached());
  SetSampleBounds(rov);
  root->AddChild(rov);
  EXPECT_EQ(writer.Get(15, 7), std::vector<double>(7, 0.0)) << "nothing written before the fit";

  // Read without children, the node keeps its own bounds in the scene.
  DebugOutput quiet;
  root->ComputeBounds();
  root->FitToScene(nullptr, 0);
  EXPECT_EQ(writer.Get(15, 7), (std::vector<double>{100, 200, -50, 50, -10, 0, 1.0}));

  // The vehicle scale lives in the block.
  rov->SetScale(2.5f);
  EXPECT_EQ(writer.Get(8, 1), std::vector<double>{2.5});
  ASSERT_TRUE(writer.Set(8, {0.75}));
  EXPECT_EQ(rov->GetScale(), 0.75);
  // The node's own scale is still the one of its transform.
  EXPECT_EQ(*rov->GetScale('x'), 1.0f);
  Sd_GroupNode::DeleteTree(root);
}

TEST(ROVNode, WithoutAWholeBlockItSaysSoAndNeverWrites) {
  // No block of that name, and a block of 100 bytes, which is refused
  // rather than mapped past its end: the part that exists stays as its
  // writer left it.
  RovWriter small(100);
  ASSERT_TRUE(small.Ready());
  const std::vector<double> pattern = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_TRUE(small.Set(0, pattern));
  for (const std::string& name : {rov_test::MissingBlockName(), small.Name()}) {
    SCOPED_TRACE(name);
    RovBlockScope scope(name);
    DebugOutput debug;
    Sd_ROVParent rov;
    EXPECT_NE(debug.Take().find("ERROR: Allocating shared memory!"), std::string::npos);
    EXPECT_FALSE(rov.IsAttached());
    DebugOutput quiet;
    SetSampleBounds(&rov);
    rov.FitToScene(nullptr, 0);
    rov.SetScale(3.0f);
    EXPECT_EQ(rov.GetScale(), 0.0);
    EXPECT_EQ(rov.LoadHistory(), -1);
    EXPECT_EQ(rov.GetFirstChild(), nullptr);
  }
  EXPECT_EQ(small.Get(0, 12), pattern);
}

TEST(ROVNode, HistoryNamedInTheBlockBecomesTheLastChild) {
  orvanta_test::TempDir dir;
  DebugOutput quiet;
  const std::string track = dir.file("track.txt");
  {
    Sd_Lines3D writer;
    const double x[] = {100, 150, 190}, y[] = {-40, 0, 30}, z[] = {-9, -5, -1};
    writer.AddLine(3, x, y, z);
    ASSERT_EQ(writer.WriteLineFile(track.c_str()), 0);
  }
  rov_test::PublishedBlock block;
  RovWriter& writer = block.writer;
  ASSERT_TRUE(writer.Ready());
  Sd_ROVParent* rov = new Sd_ROVParent();
  Sd_Node* child = new Sd_Node();
  rov->AddChild(child);
  int notified = 0;
  Sd_Node::SetHierarchyChangedHook([](void* n) { ++*static_cast<int*>(n); }, &notified);

  // A name that fills all its bytes without a terminator is read within
  // them and names no file; a pipe is refused without waiting for a writer.
  ASSERT_TRUE(writer.FillName('a'));
  EXPECT_EQ(rov->LoadHistory(), -1);
  const std::string pipe = dir.file("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_TRUE(writer.HistoryName(pipe));
  EXPECT_EQ(rov->LoadHistory(), -1);
  EXPECT_EQ(Children(rov).size(), 1u) << "nothing added for a name that gives no track";

  ASSERT_TRUE(writer.HistoryName(track));
  EXPECT_EQ(rov->LoadHistory(), 0);
  const std::vector<Sd_Node*> kids = Children(rov);
  ASSERT_EQ(kids.size(), 2u);
  Sd_Lines3D* history = dynamic_cast<Sd_Lines3D*>(kids[1]);
  ASSERT_TRUE(history);
  EXPECT_EQ(history->GetParent(), rov);
  EXPECT_STREQ(history->GetName(), "ROV History");
  EXPECT_STREQ(history->GetDescription(), "Internal");
  ASSERT_EQ(history->GetLineCount(), 1);
  ASSERT_EQ(history->GetLines()[0].VertexCount(), 3);
  EXPECT_EQ(history->GetLines()[0].Vertex(1)[0], 150.0);
  EXPECT_EQ(history->GetLines()[0].Vertex(2)[2], -1.0);
  EXPECT_EQ(notified, 1);
  Sd_Node::ClearHooks();
  Sd_GroupNode::DeleteTree(rov);
}

TEST(ROVNode, DeletedNodesLeaveNoMappingOrHandleBehind) {
  rov_test::PublishedBlock block;
  RovWriter& writer = block.writer;
  ASSERT_TRUE(writer.Ready());
  const int maps = Mappings(writer.Name()), fds = OpenDescriptors();
  std::vector<std::unique_ptr<Sd_ROVParent>> nodes;
  for (int i = 0; i < 100; ++i) nodes.emplace_back(new Sd_ROVParent());
  EXPECT_EQ(Mappings(writer.Name()), maps + 100);
  // Freeing a node's data keeps its block, which every draw reads through
  // its handle; handle and view last as long as the node.
  for (auto& n : nodes) n->FreeData();
  EXPECT_EQ(Mappings(writer.Name()), maps + 100);
  nodes.clear();
  EXPECT_EQ(OpenDescriptors(), fds);
  EXPECT_EQ(Mappings(writer.Name()), maps);
}

TEST(ROVNode, SceneHierarchyKeepsTheNodeWithItsSettingsChildrenAndTheEntriesAfterIt) {
  // In a scene the node record's common tags carry the settings record
  // too; the entries after the node must not be taken for them.
  orvanta_test::TempDir dir;
  RovBlockScope scope(rov_test::MissingBlockName());
  DebugOutput quiet;
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  Sd_ROVParent* rov = new Sd_ROVParent();
  rov->SetFirstSetting(7);
  root->AddChild(rov);
  rov->AddChild(new Sd_Node());
  root->AddChild(new Sd_Lines3D());
  const std::string path = dir.file("rov.scene");
  FileWriter w(path);
  ASSERT_EQ(Sd_IOSupport(root).WriteHierarchy(w.Manager()), 0);
  ASSERT_TRUE(w.Close());
  Sd_GroupNode::DeleteTree(root);

  TDR_Manager m;
  ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0);
  Sd_Node* top = Sd_IOSupport(nullptr).ReadHierarchy(&m);
  ASSERT_TRUE(top);
  const std::vector<Sd_Node*> kids = Children(top);
  ASSERT_EQ(kids.size(), 2u);
  Sd_ROVParent* read = dynamic_cast<Sd_ROVParent*>(kids[0]);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->GetFirstSetting(), 7);
  EXPECT_EQ(Children(read).size(), 1u);
  EXPECT_EQ(kids[1]->GetType(), 35);
  Sd_GroupNode::DeleteTree(top);
}
