// Damaged and hostile SD files: nothing blocks, nothing grows quadratically,
// a refused record costs only itself, and a file that shows nothing, or not
// everything, says why once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <memory>
#include <string>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::TestClasses;
using sd_io_test::TestObject;

namespace {

constexpr int kTag = TDR_TAG_SD_POINT3D;

class DamagedFiles : public testing::Test {
 protected:
  void SetUp() override {
    m_classes.Add<kTag>();
    m_live = Sd_Node::LiveCount();
  }
  void TearDown() override {
    Sd_GroupNode::DeleteTree(m_root);
    EXPECT_EQ(Sd_Node::LiveCount(), m_live);
  }
  // Reads path into a fresh root; the values of the objects read, in order.
  std::vector<int> Read(const std::string& path) {
    Sd_GroupNode::DeleteTree(m_root);
    m_root = new Sd_AlignmentNode();
    Sd_IOSupport(m_root).ReadSDFile(path.c_str());
    std::vector<int> values;
    for (Sd_Node* n : Children(m_root)) {
      TestObject* t = dynamic_cast<TestObject*>(n);
      values.push_back(t ? t->Value() : -1);
    }
    return values;
  }
  // A file with an object, a file-pointer record to target, and an object.
  std::string PointerFile(const std::string& name, const std::string& target) {
    const std::string path = m_dir.file(name);
    TestObject before(kTag, 1), after(kTag, 2);
    EXPECT_TRUE(FileWriter(path).Object(&before).Pointer(kTag, target).Object(&after).Close());
    return path;
  }

  TempDir m_dir;
  TestClasses m_classes;
  Sd_AlignmentNode* m_root = nullptr;
  long m_live = 0;
};

}  // namespace

TEST_F(DamagedFiles, RefusedFilePointersCostOnlyTheirRecord) {
  ASSERT_EQ(mkfifo(m_dir.file("pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(m_dir.file("folder").c_str(), 0700), 0);
  // A followed file that itself holds a pointer: nested twice.
  ASSERT_TRUE(FileWriter(m_dir.file("nested.sd")).Pointer(kTag, m_dir.file("missing.sd")).Close());
  const struct {
    const char* name;
    std::string target;
    const char* message;
  } cases[] = {
      {"pipe.sd", m_dir.file("pipe"), "Opening the file named by a TDR file pointer"},
      {"folder.sd", m_dir.file("folder"), "Opening the file named by a TDR file pointer"},
      {"missing.sd", m_dir.file("none.sd"), "Opening the file named by a TDR file pointer"},
      {"self.sd", m_dir.file("self.sd"), "names the file that holds it"},
      {"twice.sd", m_dir.file("nested.sd"), "inside a followed TDR file is not supported"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string path = PointerFile(k.name, k.target);
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(Read(path), (std::vector<int>{1, 2}));
    EXPECT_TRUE(messages.Contains(k.message)) << messages.All();
    EXPECT_EQ(messages.messages().size(), 1u) << "the refusal alone, no second word: " << messages.All();
  }
  // A damaged path length (longer than the record) is refused the same way.
  std::string bytes = orvanta_test::ReadFileBytes(PointerFile("length.sd", "x.sd"));
  const size_t at = bytes.find("x.sd") - 4;
  bytes[at] = 100;
  ASSERT_TRUE(WriteFileBytes(m_dir.file("length.sd"), bytes));
  orvanta_test::MessageCapture messages;
  EXPECT_EQ(Read(m_dir.file("length.sd")), (std::vector<int>{1, 2}));
  EXPECT_TRUE(messages.Contains("file-pointer record is damaged")) << messages.All();
}

TEST_F(DamagedFiles, AFileThatShowsNothingOrNotEverythingSaysWhyOnce) {
  TestObject good(kTag, 7);
  // Only a text header and an end tag; a followed file holding only that.
  ASSERT_TRUE(FileWriter(m_dir.file("empty.sd")).Close());
  const std::string pointer = m_dir.file("pointer-to-empty.sd");
  ASSERT_TRUE(FileWriter(pointer).Pointer(kTag, m_dir.file("empty.sd")).Close());
  // A record of an id no reader knows, between two good objects.
  ASSERT_TRUE(FileWriter(m_dir.file("unknown.sd")).Object(&good).Close());
  std::string unknown = orvanta_test::ReadFileBytes(m_dir.file("unknown.sd"));
  const std::string header = unknown.substr(0, unknown.find("END_HEADER") + 11);
  const std::string record = unknown.substr(header.size(), unknown.size() - header.size() - 32);
  std::string strange = record;
  strange[4] = 0x39;  // id 0x...39: not in the tag-name table
  strange[5] = 0x30;
  ASSERT_TRUE(WriteFileBytes(m_dir.file("unknown.sd"), header + record + strange + record + unknown.substr(unknown.size() - 32)));
  // The first tag header cut short; a text header without its end mark.
  ASSERT_TRUE(WriteFileBytes(m_dir.file("cut.sd"), header + record.substr(0, 20)));
  ASSERT_TRUE(WriteFileBytes(m_dir.file("noend.sd"), "TDR 2.0 Binary\nsome comment\n"));

  const struct {
    const char* name;
    std::vector<int> values;
    int level;
    const char* fragment;
  } cases[] = {
      {"empty.sd", {}, SV_LEVEL_ERROR, "holds nothing that can be shown: it holds no object records"},
      {"pointer-to-empty.sd", {}, SV_LEVEL_ERROR, "holds nothing that can be shown"},
      {"unknown.sd", {7, 7}, SV_LEVEL_WARNING, "1 record could not be read (Unknown TDR tag id"},
      {"cut.sd", {}, SV_LEVEL_ERROR, "holds nothing that can be shown: it ends early at byte"},
      {"noend.sd", {}, SV_LEVEL_ERROR, "is not a valid SD file"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(Read(m_dir.file(k.name)), k.values);
    ASSERT_EQ(messages.messages().size(), 1u) << messages.All();
    EXPECT_EQ(messages.messages()[0].first, k.level);
    EXPECT_NE(messages.messages()[0].second.find(k.name), std::string::npos) << "names the file";
    EXPECT_TRUE(messages.Contains(k.fragment)) << messages.All();
  }
}

TEST_F(DamagedFiles, AGeoreferenceBeyondTheNodesRangeRefusesTheObject) {
  const std::string path = m_dir.file("huge.sd");
  TestObject object(kTag, 3), next(kTag, 4);
  FileWriter w(path);
  TDR_Manager* m = w.Manager();
  ASSERT_EQ(m->WriteTag(kTag, 1, 0, 0, 1), 0);
  ASSERT_TRUE(TDR_PayloadWriter(m).Int32(3));
  ASSERT_EQ(m->EndTag(), 0);
  ASSERT_EQ(m->WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  TDR_GeoRef g;
  g.SetXBounds(0.0, 1e300);
  ASSERT_EQ(g.Write(m), 0);
  ASSERT_EQ(m->EndTag(), 0);
  w.Object(&next);
  ASSERT_TRUE(w.Close());
  orvanta_test::MessageCapture messages;
  EXPECT_EQ(Read(path), (std::vector<int>{4}));
  EXPECT_TRUE(messages.Contains("Georeference bounds beyond the range a node can hold")) << messages.All();
}

TEST_F(DamagedFiles, AHundredThousandRecordsLoadInOrder) {
  const std::string path = m_dir.file("many.sd");
  {
    FileWriter w(path);
    Sd_Parent group;
    for (int i = 0; i < 100000; ++i) w.Object(&group);
    TestObject last(kTag, 9);
    w.Object(&last);
    ASSERT_TRUE(w.Close());
  }
  Read(path);
  std::vector<Sd_Node*> kids;
  for (Sd_Node* c = m_root->GetFirstChild(); c; c = c->GetNext()) kids.push_back(c);
  ASSERT_EQ(kids.size(), 100001u);
  EXPECT_EQ(dynamic_cast<TestObject*>(kids.back())->Value(), 9);
  // Appending still refuses a node already in the chain, wherever it stands.
  m_root->AddChild(kids[500]);
  m_root->AddChild(kids.back());
  EXPECT_EQ(m_root->GetChildCount(), 100001);
  EXPECT_EQ(kids.back()->GetNext(), nullptr);
}
