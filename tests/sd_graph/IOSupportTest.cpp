#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <sys/stat.h>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_LoadBudget.h"
#include "Sd_Parent.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sd_io_test::Children;
using sd_io_test::DebugOutput;
using sd_io_test::FileWriter;
using sd_io_test::TestClasses;
using sd_io_test::TestObject;

namespace {

// A scene root that deletes its tree when the test ends.
struct Root {
  Sd_AlignmentNode* node = new Sd_AlignmentNode();
  ~Root() { Sd_GroupNode::DeleteTree(node); }
};

int ValueOf(Sd_Node* n) {
  TestObject* t = dynamic_cast<TestObject*>(n);
  return t ? t->Value() : -1000;
}

}  // namespace

TEST(SdClassTable, ListsEveryObjectTagOnceInOrderWithItsTypeId) {
  int count = 0;
  const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
  ASSERT_EQ(count, 33);
  for (int i = 1; i < count; ++i) EXPECT_LT(table[i - 1].tag, table[i].tag);
  char name[TDR_TAG_NAME_SIZE];
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(TDR_Manager::TagName(table[i].tag, name), table[i].tag) << table[i].className;
    if (!table[i].create) continue;
    std::unique_ptr<Sd_Node> object(table[i].create());
    ASSERT_TRUE(object) << table[i].className;
    EXPECT_EQ(object->GetType(), table[i].typeId) << table[i].className;
  }
  EXPECT_EQ(Sd_IOSupport::FindClass(TDR_TAG_SD_ALIGNPARENT)->create, Sd_IOSupport::GetFactory(9955));
  // Names of the format that stand for no class.
  for (int tag : {TDR_TAG_SD_HIERARCHY, TDR_TAG_SD_NODE, TDR_TAG_SD_LAYCABLEPARENT, TDR_TAG_SD_LABELEDGRID,
                  TDR_TAG_SD_GRID3D, TDR_TAG_GEOREF, TDR_TAG_SD_BASICDTM_ATB}) {
    EXPECT_EQ(Sd_IOSupport::FindClass(tag), nullptr) << tag;
    EXPECT_EQ(Sd_IOSupport::SetTestClass(tag, sd_io_test::MakeTestObject<10000>), -1) << tag;
  }
}

TEST(SdClassTable, TestClassReplacesAndRestoresTheTableEntry) {
  EXPECT_EQ(Sd_IOSupport::GetFactory(TDR_TAG_SD_BASICDTM), Sd_IOSupport::FindClass(10000)->create);
  {
    TestClasses classes;
    classes.Add<10000>();
    EXPECT_EQ(Sd_IOSupport::GetFactory(TDR_TAG_SD_BASICDTM), sd_io_test::MakeTestObject<10000>);
  }
  EXPECT_EQ(Sd_IOSupport::GetFactory(TDR_TAG_SD_BASICDTM), Sd_IOSupport::FindClass(10000)->create);
}

class SdFileTest : public testing::Test {
 protected:
  void SetUp() override {
    m_classes.Add<TDR_TAG_SD_BASICDTM>();
    m_classes.Add<TDR_TAG_SD_SONARDTM>();
    m_classes.Add<TDR_TAG_SD_POINT3D>();
    m_classes.Add<TDR_TAG_SD_LINES3D>();
    m_classes.Add<TDR_TAG_SD_SOUNDING>();
    m_classes.Add<TDR_TAG_SD_HTFSOUNDING>();
    m_classes.Add<TDR_TAG_SD_GEOIMAGE>();
    m_classes.Add<TDR_TAG_SD_VIMAGE>();
    m_live = Sd_Node::LiveCount();
    m_root.reset(new Root());
  }
  void TearDown() override {
    m_root.reset();
    EXPECT_EQ(Sd_Node::LiveCount(), m_live);
  }
  Sd_Node* Read(const std::string& path) { return Sd_IOSupport(root()).ReadSDFile(path.c_str()); }
  Sd_AlignmentNode* root() { return m_root->node; }

  TempDir m_dir;
  TestClasses m_classes;
  std::unique_ptr<Root> m_root;
  long m_live = 0;
};

TEST_F(SdFileTest, ThreeRecordsGiveThreeChildrenInFileOrderAndReturnTheThird) {
  const std::string path = m_dir.file("three.sd");
  TestObject a(10000, 1), c(10520, 3);
  Sd_Parent group;
  Sd_Node child;
  group.AddChild(&child);  // the record stores that the group had a child
  group.SetName("Group");
  ASSERT_TRUE(FileWriter(path).Object(&a).Object(&group).Object(&c).Close());
  group.SetFirstChild(nullptr);

  Sd_IOSupport io(root());
  Sd_Node* last = io.ReadSDFile(path.c_str());
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(last, kids[2]);
  EXPECT_EQ(ValueOf(kids[0]), 1);
  EXPECT_EQ(kids[1]->GetType(), 2);
  EXPECT_EQ(ValueOf(kids[2]), 3);
  EXPECT_EQ(io.GetCurrentTag(), TDR_TAG_SD_POINT3D);
  for (Sd_Node* k : kids) EXPECT_EQ(k->GetParent(), root());
  // The group's stored child is a flag only, never a link to follow.
  EXPECT_EQ(kids[1]->GetFirstChild(), nullptr);
  EXPECT_EQ(dynamic_cast<Sd_GroupNode*>(kids[1])->GetStoredFirstChildFlag(), 1);
}

TEST_F(SdFileTest, ObjectsAreNamedAfterTheFileAndGroupsKeepTheirNames) {
  ASSERT_EQ(mkdir(m_dir.file("survey").c_str(), 0700), 0);
  const std::string path = m_dir.file("survey/bay.sd");
  TestObject a(10000, 1);
  Sd_AlignmentNode group;
  ASSERT_TRUE(FileWriter(path).Object(&a).Object(&group).Close());
  ASSERT_NE(Read(path), nullptr);
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_STREQ(kids[0]->GetName(), "bay.sd");
  EXPECT_STREQ(kids[0]->GetDescription(), path.c_str());
  EXPECT_STREQ(kids[1]->GetName(), "Unknown");
  EXPECT_STREQ(kids[1]->GetDescription(), "Unknown");

  // A long file name is cut to the name field.
  const std::string longName(70, 'n');
  const std::string longPath = m_dir.file(longName + ".sd");
  ASSERT_TRUE(FileWriter(longPath).Object(&a).Close());
  Sd_Node* n = Read(longPath);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(std::string(n->GetName()), longName.substr(0, Sd_Node::NAME_SIZE - 1));
}

TEST_F(SdFileTest, ObjectInAFollowedFileIsNamedAfterThatFile) {
  const std::string inner = m_dir.file("inner.sd");
  const std::string outer = m_dir.file("outer.sd");
  TestObject a(10000, 7), b(10000, 8);
  ASSERT_TRUE(FileWriter(inner).Object(&a).Close());
  ASSERT_TRUE(FileWriter(outer).Pointer(TDR_TAG_SD_BASICDTM, inner).Object(&b).Close());
  ASSERT_NE(Read(outer), nullptr);
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_STREQ(kids[0]->GetName(), "inner.sd");
  EXPECT_STREQ(kids[1]->GetName(), "outer.sd");
  EXPECT_EQ(ValueOf(kids[1]), 8);
}

// Every file a pointer names is charged to the load before it is read: a
// small file of many pointers to one file loads what the budget holds,
// refuses the rest naming the file, and says how many were refused. The
// outer file's own records are bounded by its size and are not charged.
TEST_F(SdFileTest, FilesThatPointersNameAreChargedToTheLoadBudget) {
  const std::string inner = m_dir.file("terrain.sd"), outer = m_dir.file("pointers.sd");
  TestObject a(10000, 7), b(10000, 8);
  ASSERT_TRUE(FileWriter(inner).Object(&a).Close());
  FileWriter w(outer);
  for (int i = 0; i < 40; ++i) w.Pointer(TDR_TAG_SD_BASICDTM, inner);
  ASSERT_TRUE(w.Object(&b).Close());
  const long long size = static_cast<long long>(orvanta_test::ReadFileBytes(inner).size());
  const long long before = Sd_LoadBudget::SetBytes(size * 10 + size / 2);
  MessageCapture warnings(SV_LEVEL_WARNING);
  Sd_Node* last = Read(outer);
  Sd_LoadBudget::SetBytes(before);
  ASSERT_EQ(Children(root()).size(), 11u) << warnings.All();
  EXPECT_EQ(ValueOf(last), 8);
  EXPECT_TRUE(warnings.Contains("File \"" + outer + "\": the file \"" + inner + "\" that a file pointer names needs"))
      << warnings.All();
  EXPECT_TRUE(warnings.Contains("File \"" + outer + "\": 30 objects were refused")) << warnings.All();
}

TEST_F(SdFileTest, RecordsWithoutAClassAreSkippedAndTheirNeighboursLoad) {
  const std::string path = m_dir.file("gap.sd");
  TestObject a(10000, 1), b(10000, 2);
  // The class-less payload looks like a complete group record, header and all:
  // it must never be read as one.
  std::string fake(32, '\0');
  fake[0] = 1;
  fake[1] = 1;
  const int groupTag = TDR_TAG_SD_ALIGNPARENT;
  memcpy(&fake[4], &groupTag, 4);
  const int len = 4;
  memcpy(&fake[8], &len, 4);
  fake += std::string(4, '\0');
  ASSERT_TRUE(FileWriter(path)
                  .Object(&a)
                  .Raw(TDR_TAG_SD_LABELEDGRID, fake)
                  .Raw(TDR_TAG_SD_VOLUME, fake)
                  .Raw(TDR_TAG_SD_NODE, fake)
                  .Object(&b)
                  .Close());
  DebugOutput out;
  Sd_Node* last = Read(path);
  const std::string log = out.Take();
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(ValueOf(kids[0]), 1);
  EXPECT_EQ(ValueOf(kids[1]), 2);
  EXPECT_EQ(last, kids[1]);
  EXPECT_NE(log.find("ERROR:  No support for given tag id"), std::string::npos) << log;
}

TEST_F(SdFileTest, HeaderAndEndTagOnlyCreateNothing) {
  const std::string path = m_dir.file("empty.sd");
  ASSERT_TRUE(FileWriter(path).Close());
  const long before = Sd_Node::LiveCount();
  EXPECT_EQ(Read(path), nullptr);
  EXPECT_TRUE(Children(root()).empty());
  EXPECT_EQ(Sd_Node::LiveCount(), before);
}

TEST_F(SdFileTest, FailedLoadsAreDiscardedWithTheirMessagesAndReadingGoesOn) {
  struct Case {
    int tag;
    int level;
    const char* message;
  };
  const Case cases[] = {
      {TDR_TAG_SD_BASICDTM, SV_LEVEL_WARNING, "Could not load data: possible data format problem"},
      {TDR_TAG_SD_SONARDTM, SV_LEVEL_WARNING, "Could not load data file: possible data format problem."},
      {TDR_TAG_SD_SOUNDING, SV_LEVEL_DEBUG, "          ****** OLD SOUNDING CLASS *******"},
      {TDR_TAG_SD_HTFSOUNDING, SV_LEVEL_DEBUG, nullptr},
      {TDR_TAG_SD_POINT3D, SV_LEVEL_DEBUG, nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.tag);
    const std::string path = m_dir.file("failed.sd");
    TestObject bad(k.tag, -1), good(k.tag, 4);
    ASSERT_TRUE(FileWriter(path).Object(&bad).Object(&good).Close());
    const long before = Sd_Node::LiveCount();
    DebugOutput out;
    Sd_Node* last = Read(path);
    const std::string log = out.Take();
    auto kids = Children(root());
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(last, kids[0]);
    EXPECT_EQ(ValueOf(kids[0]), 4);
    if (k.message && k.level == SV_LEVEL_WARNING) {
      ASSERT_EQ(out.capture.messages().size(), 1u) << out.capture.All();
      EXPECT_EQ(out.capture.messages()[0].first, SV_LEVEL_WARNING);
      EXPECT_EQ(out.capture.messages()[0].second, k.message);
    } else {
      // A refusal the user was not told of is summed up once for the file.
      ASSERT_EQ(out.capture.messages().size(), 1u) << out.capture.All();
      EXPECT_EQ(out.capture.messages()[0].first, SV_LEVEL_WARNING);
      EXPECT_NE(out.capture.messages()[0].second.find("failed.sd\": 1 record could not be read"), std::string::npos)
          << out.capture.All();
      if (k.message) {
        EXPECT_NE(log.find(k.message), std::string::npos) << log;
      }
    }
    if (!k.message) {
      EXPECT_EQ(log.find("Could not load"), std::string::npos) << log;
    }
    Sd_GroupNode::DeleteTree(kids[0]);
    EXPECT_EQ(Sd_Node::LiveCount(), before);
  }
}

TEST_F(SdFileTest, LastRecordFailingStillReturnsTheObjectsRead) {
  const std::string path = m_dir.file("lastbad.sd");
  TestObject a(10000, 1), bad(10000, -5);
  ASSERT_TRUE(FileWriter(path).Object(&a).Object(&bad).Close());
  DebugOutput quiet;
  Sd_Node* last = Read(path);
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(last, kids[0]);
}

TEST_F(SdFileTest, ParentFrameIsPassedOnToSonarTerrainAndLinesOnly) {
  const std::string path = m_dir.file("frame.sd");
  TestObject lines(10525, 1), sonar(10005, 2), basic(10000, 3);
  ASSERT_TRUE(FileWriter(path).Object(&lines).Object(&sonar).Object(&basic).Close());
  root()->SetParentFrame(1);
  ASSERT_NE(Read(path), nullptr);
  auto kids = Children(root());
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(dynamic_cast<TestObject*>(kids[0])->ParentFrameAtLoad(), 1);
  EXPECT_EQ(dynamic_cast<TestObject*>(kids[1])->ParentFrameAtLoad(), 1);
  EXPECT_EQ(dynamic_cast<TestObject*>(kids[2])->ParentFrameAtLoad(), 0);
  EXPECT_EQ(kids[2]->GetParentFrame(), 0);

  root()->SetParentFrame(0);
  Sd_GroupNode::DeleteTree(kids[0]);
  ASSERT_NE(Read(path), nullptr);
  EXPECT_EQ(dynamic_cast<TestObject*>(Children(root()).back())->ParentFrameAtLoad(), 0);
}

TEST_F(SdFileTest, ImageRecordsAnnounceThemselves) {
  const std::string path = m_dir.file("images.sd");
  TestObject geo(10530, 1), vimage(10555, 2);
  ASSERT_TRUE(FileWriter(path).Object(&geo).Object(&vimage).Close());
  DebugOutput out;
  Read(path);
  const std::string log = out.Take();
  EXPECT_NE(log.find("Reading a GeoImage Object!"), std::string::npos) << log;
  EXPECT_NE(log.find("Reading a VImage Object!"), std::string::npos) << log;
  EXPECT_EQ(Children(root()).size(), 2u);
}

TEST_F(SdFileTest, MissingOrForeignFilesAreReportedAsErrors) {
  MessageCapture cap;
  const std::string missing = m_dir.file("missing.sd");
  EXPECT_EQ(Read(missing), nullptr);
  ASSERT_EQ(cap.messages().size(), 1u);
  EXPECT_EQ(cap.messages()[0].first, SV_LEVEL_ERROR);
  EXPECT_EQ(cap.messages()[0].second, "Could not open the file \"" + missing + "\". It does not exist.");

  cap.Clear();
  const std::string text = m_dir.file("notes.sd");
  ASSERT_TRUE(WriteFileBytes(text, "just some text\n"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(Read(text), nullptr);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(cap.messages().size(), 1u);
  EXPECT_EQ(cap.messages()[0].second, "File \"" + text + "\" is not a valid SD file.");
  EXPECT_TRUE(Children(root()).empty());

  // A good file whose path is too long to keep (it would be cut to another
  // name when saved or reloaded) is refused before it is read.
  cap.Clear();
  std::string folder = m_dir.path();
  while (folder.size() < 260) {
    folder += "/" + std::string(60, 'd');
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  }
  const std::string deep = folder + "/deep.sd";
  TestObject a(10000, 1);
  ASSERT_TRUE(FileWriter(deep).Object(&a).Close());
  EXPECT_EQ(Read(deep), nullptr);
  ASSERT_EQ(cap.messages().size(), 1u) << cap.All();
  EXPECT_EQ(cap.messages()[0].first, SV_LEVEL_ERROR);
  EXPECT_TRUE(cap.Contains("The file name is too long (" + std::to_string(deep.size()) + " bytes, at most 255)"))
      << cap.All();
  EXPECT_TRUE(Children(root()).empty());
}

TEST_F(SdFileTest, ReadSDFileNeedsARootThatTakesChildren) {
  const std::string path = m_dir.file("one.sd");
  TestObject a(10000, 1);
  ASSERT_TRUE(FileWriter(path).Object(&a).Close());
  Sd_Node leaf;
  const long before = Sd_Node::LiveCount();
  DebugOutput out;
  EXPECT_EQ(Sd_IOSupport(nullptr).ReadSDFile(path.c_str()), nullptr);
  EXPECT_EQ(Sd_IOSupport(&leaf).ReadSDFile(path.c_str()), nullptr);
  EXPECT_EQ(Sd_Node::LiveCount(), before);
}

TEST_F(SdFileTest, ReadTDRFileTakesTheFirstRecordOfTheTag) {
  const std::string path = m_dir.file("mixed.sd");
  TestObject a(10000, 1), p(10520, 2), q(10520, 3);
  ASSERT_TRUE(FileWriter(path).Object(&a).Object(&p).Object(&q).Close());
  Sd_IOSupport io(root());
  Sd_Node* n = io.ReadTDRFile(path.c_str(), TDR_TAG_SD_POINT3D);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(ValueOf(n), 2);
  EXPECT_EQ(Children(root()).size(), 1u);
  EXPECT_EQ(io.ReadTDRFile(path.c_str(), TDR_TAG_SD_VOLUME), nullptr);

  // Without a root the caller owns the object.
  std::unique_ptr<Sd_Node> own(Sd_IOSupport(nullptr).ReadTDRFile(path.c_str(), TDR_TAG_SD_BASICDTM));
  ASSERT_TRUE(own);
  EXPECT_EQ(own->GetParent(), nullptr);

  DebugOutput out;
  EXPECT_EQ(io.ReadTDRFile(m_dir.file("none").c_str(), 10000), nullptr);
  const std::string log = out.Take();
  EXPECT_NE(log.find("ERROR:Sd_IOSupport::ReadTDRFile  Opening TDR file  -  : " + m_dir.file("none")),
            std::string::npos)
      << log;
}

TEST(SdIOSupport, OpenTDRFileReturnsAReadyManagerOrReportsWhy) {
  TempDir dir;
  const std::string path = dir.file("a.sd");
  ASSERT_TRUE(FileWriter(path).Int(TDR_TAG_SD_BASICDTM, 5).Close());
  std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->ReadTag(), TDR_TAG_SD_BASICDTM);

  const std::string text = dir.file("t.sd");
  ASSERT_TRUE(WriteFileBytes(text, "not a tdr file"));
  MessageCapture cap(SV_LEVEL_DEBUG);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Sd_IOSupport::OpenTDRFile(dir.file("missing").c_str()), nullptr);
  EXPECT_EQ(Sd_IOSupport::OpenTDRFile(text.c_str()), nullptr);
  EXPECT_EQ(Sd_IOSupport::OpenTDRFile(nullptr), nullptr);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("ERROR:  Opening tdr file  -  : " + dir.file("missing")), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR:  Reading header from TDR file  -  : " + text), std::string::npos) << log;
}

TEST(SdIOSupport, ReadStringRecordHonoursVersionAndPayloadLength) {
  TempDir dir;
  const std::string path = dir.file("s.tdr");
  auto counted = [](const std::string& s, int n) { return std::string(reinterpret_cast<char*>(&n), 4) + s; };
  const float format = 1.0f;
  const std::string v0 = std::string(reinterpret_cast<const char*>(&format), 4) + counted("old text", 8);
  ASSERT_TRUE(FileWriter(path)
                  .Raw(TDR_TAG_SCALAR, counted("hello", 5))
                  .Raw(TDR_TAG_SCALAR, v0, 0)
                  .Raw(TDR_TAG_SCALAR, counted("", 0))
                  .Raw(TDR_TAG_SCALAR, counted("abc", 4))
                  .Raw(TDR_TAG_SCALAR, counted("abc", -1))
                  .Raw(TDR_TAG_SCALAR, counted("abcdef", 3))
                  .Close());
  std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
  ASSERT_TRUE(m);
  const char* expected[] = {"hello", "old text", "", nullptr, nullptr, "abc"};
  testing::internal::CaptureStderr();
  for (const char* e : expected) {
    ASSERT_EQ(m->ReadTag(), TDR_TAG_SCALAR);
    char* text = Sd_IOSupport::ReadStringRecord(m.get());
    if (e) {
      ASSERT_NE(text, nullptr);
      EXPECT_STREQ(text, e);
    } else {
      EXPECT_EQ(text, nullptr);
    }
    free(text);
  }
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(m->ReadTag(), TDR_TAG_EOF);
  EXPECT_EQ(Sd_IOSupport::ReadStringRecord(nullptr), nullptr);
}

TEST(SdIOSupport, CreateObjectWithoutClassReadsNothing) {
  TempDir dir;
  const std::string path = dir.file("c.sd");
  ASSERT_TRUE(FileWriter(path).Int(TDR_TAG_SD_VOLUME, 5).Int(TDR_TAG_SD_BASICDTM, 6).Close());
  std::unique_ptr<TDR_Manager> m(Sd_IOSupport::OpenTDRFile(path.c_str()));
  ASSERT_TRUE(m);
  Sd_IOSupport io(nullptr);
  ASSERT_EQ(m->ReadTag(), TDR_TAG_SD_VOLUME);
  testing::internal::CaptureStderr();
  EXPECT_EQ(io.CreateObject(m.get(), TDR_TAG_SD_VOLUME, nullptr), nullptr);
  EXPECT_EQ(io.CreateObject(nullptr, TDR_TAG_SD_PARENT, nullptr), nullptr);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(m->GetTagBytesLeft(), 4);
  EXPECT_EQ(m->ReadTag(), TDR_TAG_SD_BASICDTM);
}

TEST(SdIOSupportDeathTest, WritePointerDataBlockEndsTheProgram) {
  EXPECT_EXIT(Sd_IOSupport::WritePointerDataBlock(), testing::ExitedWithCode(255), "WritePointerDataBlock: exiting");
}
