#include <gtest/gtest.h>

#include <string>

#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TdrTestUtil.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using tdr_test::DebugOutput;

namespace {

// A file with one SD_NODE record holding the int value, then optionally a
// file pointer to target, then GEOREF and the end tag.
void WriteFile(const std::string& path, int value, const char* target = nullptr, int order = 1,
               int pointerTag = TDR_TAG_SD_VRDTM) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  ASSERT_EQ(m.WriteHeader(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_SD_NODE, 3, 0, 0, 1), 0);
  ASSERT_EQ(Sv_UtlFwriteCopy(&value, 4, 1, m.GetFilePtr(), m.GetByteOrder()), 1);
  ASSERT_EQ(m.EndTag(), 0);
  if (target) {
    ASSERT_EQ(m.WriteTag(pointerTag, 1, 0, 1, 1), 0);
    ASSERT_EQ(m.WriteFilePointerString(target), 0);
    ASSERT_EQ(m.EndTag(), 0);
  }
  ASSERT_EQ(m.WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

int ReadNodeValue(TDR_Manager& m) {
  int v = -1;
  Sv_UtlFread(&v, 4, 1, m.GetFilePtr(), m.GetByteOrder());
  return v;
}

}  // namespace

TEST(TdrFilePointer, IsFollowedOneLevelAndReturnsAfterTheRecord) {
  TempDir dir;
  const std::string inner = dir.file("inner.sd");
  const std::string outer = dir.file("outer.sd");
  WriteFile(inner, 22, nullptr, 0);  // the inner file is big-endian
  WriteFile(outer, 11, inner.c_str(), 1);

  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(outer.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  FILE* outerFile = m.GetFilePtr();
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
  EXPECT_EQ(ReadNodeValue(m), 11);
  EXPECT_STREQ(m.GetFileName(), "outer.sd");

  // The pointer record leads into the inner file: its tags come next.
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
  EXPECT_NE(m.GetFilePtr(), outerFile);
  EXPECT_STREQ(m.GetFileName(), "inner.sd");
  EXPECT_EQ(std::string(m.GetPath()), inner);
  EXPECT_EQ(m.GetByteOrder(), 0);
  EXPECT_EQ(m.GetTagVersion(), 3);
  EXPECT_EQ(m.UnreadTagHeader(), 0);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE) << "unread works inside the followed file";
  EXPECT_EQ(ReadNodeValue(m), 22);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
  EXPECT_STREQ(m.GetFileName(), "inner.sd");

  // The inner end tag is not returned: reading goes on in the outer file.
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
  EXPECT_EQ(m.GetFilePtr(), outerFile);
  EXPECT_STREQ(m.GetFileName(), "outer.sd");
  EXPECT_EQ(m.GetByteOrder(), 1);
  // Pushing that tag back returns to the followed file, before its end tag,
  // as a reader that stops at a foreign tag expects.
  EXPECT_EQ(m.UnreadTagHeader(), 0);
  EXPECT_STREQ(m.GetFileName(), "inner.sd");
  EXPECT_NE(m.GetFilePtr(), outerFile);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
  EXPECT_STREQ(m.GetFileName(), "outer.sd");
  EXPECT_EQ(m.GetByteOrder(), 1);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  EXPECT_EQ(m.CloseFile(), 0);
}

TEST(TdrFilePointer, WindowsPathsAreTriedWithSlashesThenNextToTheFile) {
  TempDir dir;
  const std::string inner = dir.file("data.sd");
  WriteFile(inner, 5);
  std::string backslashed = inner;
  for (char& c : backslashed) {
    if (c == '/') c = '\\';
  }
  const std::string targets[] = {backslashed, "C:\\Survey\\2004\\data.sd", "data.sd"};
  for (const std::string& target : targets) {
    const std::string outer = dir.file("outer.sd");
    WriteFile(outer, 1, target.c_str());
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(outer.c_str(), "rb"), 0);
    ASSERT_EQ(m.ReadHeader(), 0);
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE) << target;
    EXPECT_EQ(ReadNodeValue(m), 5);
    EXPECT_STREQ(m.GetFileName(), "data.sd");
  }
}

TEST(TdrFilePointer, BadPointersAreRefusedWithAMessage) {
  TempDir dir;
  const std::string self = dir.file("self.sd");
  WriteFile(self, 1, self.c_str());
  const std::string third = dir.file("third.sd");
  WriteFile(third, 3);
  const std::string second = dir.file("second.sd");
  WriteFile(second, 2, third.c_str());
  const std::string nested = dir.file("nested.sd");
  WriteFile(nested, 1, second.c_str());
  const std::string missing = dir.file("missing.sd");
  WriteFile(missing, 1, dir.file("nowhere.sd").c_str());
  const std::string notTdr = dir.file("plain.txt");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(notTdr, "just text\n"));
  const std::string toText = dir.file("totext.sd");
  WriteFile(toText, 1, notTdr.c_str());

  struct Case {
    std::string path;
    const char* message;
    int innerTags;  // tags of the inner file returned before the failure
  };
  const Case cases[] = {
      {self, "names the file that holds it", 0},
      {nested, "file pointer inside a followed TDR file", 1},
      {missing, "Opening the file named by a TDR file pointer", 0},
      {toText, "Reading the header of the file named", 0},
  };
  for (const Case& c : cases) {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(c.path.c_str(), "rb"), 0);
    ASSERT_EQ(m.ReadHeader(), 0);
    FILE* outerFile = m.GetFilePtr();
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    for (int i = 0; i < c.innerTags; ++i) ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    DebugOutput out;
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_ERROR) << c.path;
    EXPECT_TRUE(out.Contains(c.message)) << out.Text();
    // The file that holds the refused record stays current, positioned
    // after it: a nested pointer costs that record only, and the rest of
    // the followed file comes before the outer file's.
    EXPECT_EQ(m.GetFilePtr() == outerFile, c.innerTags == 0);
    if (c.innerTags) {
      EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF) << c.path;
    }
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF) << c.path;
    EXPECT_EQ(m.GetFilePtr(), outerFile);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }
}

TEST(TdrFilePointer, TruncatedInnerFileFailsAndReturnsToTheOuterFile) {
  TempDir dir;
  const std::string inner = dir.file("inner.sd");
  WriteFile(inner, 7);
  std::string bytes = orvanta_test::ReadFileBytes(inner);
  ASSERT_TRUE(orvanta_test::WriteFileBytes(inner, bytes.substr(0, bytes.size() - 32)));  // no end tag
  const std::string outer = dir.file("outer.sd");
  WriteFile(outer, 1, inner.c_str());
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(outer.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
  ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
  DebugOutput out;
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_ERROR);
  EXPECT_TRUE(out.Contains("ends without an end tag"));
  EXPECT_STREQ(m.GetFileName(), "outer.sd");
}

TEST(TdrFilePointer, TwoPointersInARowAreFollowedInTurn) {
  TempDir dir;
  const std::string a = dir.file("a.sd"), b = dir.file("b.sd"), outer = dir.file("outer.sd");
  WriteFile(a, 1);
  WriteFile(b, 2);
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(outer.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    for (const std::string* target : {&a, &b}) {
      ASSERT_EQ(m.WriteTag(TDR_TAG_SD_SONARDTM, 1, 0, 1, 1), 0);
      ASSERT_EQ(m.WriteFilePointerString(target->c_str()), 0);
      ASSERT_EQ(m.EndTag(), 0);
    }
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(outer.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  for (int value : {1, 2}) {
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    EXPECT_EQ(ReadNodeValue(m), value);
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_GEOREF);
  }
  EXPECT_STREQ(m.GetFileName(), "b.sd");
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  EXPECT_STREQ(m.GetFileName(), "outer.sd");
}
