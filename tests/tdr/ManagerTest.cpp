#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TdrTestUtil.h"
#include "TestSupport.h"

using orvanta_test::FileSizeLimit;
using orvanta_test::ListDirectory;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using tdr_test::DebugOutput;
using tdr_test::Word;

namespace {

struct TagCase {
  int id;
  short version;
  short filePointer;
  char flag;
  int payloadInts;  // payload: this many int32 values 0, 1, 2, ...
};

const TagCase kTags[] = {
    {TDR_TAG_SD_NODE, 1, 0, 1, 3},
    {TDR_TAG_GEOREF, 7, 0, 'x', 0},
    {TDR_TAG_SD_CONTOURDTM_ATB, -2, 0, 0, 1},
    {TDR_TAG_SCALAR, 32767, 0, 1, 5},
};

void WriteTags(const std::string& path, int order) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  m.AddComment("first comment");
  m.AddComment("two\nlines\r\n");
  ASSERT_EQ(m.WriteHeader(), 0);
  for (const TagCase& t : kTags) {
    ASSERT_EQ(m.WriteTag(t.id, t.version, 0, t.filePointer, t.flag), 0);
    EXPECT_EQ(m.GetByteOrder(), order);
    EXPECT_EQ(m.GetTagVersion(), t.version);
    for (int i = 0; i < t.payloadInts; ++i) ASSERT_EQ(Sv_UtlFwriteCopy(&i, 4, 1, m.GetFilePtr(), m.GetByteOrder()), 1);
    ASSERT_EQ(m.EndTag(), 0);
    EXPECT_EQ(m.GetTagLength(), 4 * t.payloadInts);
  }
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  EXPECT_EQ(m.CloseFile(), 0);
}

}  // namespace

TEST(TdrManager, DefaultsAndOpenFailures) {
  TDR_Manager m;
  EXPECT_STREQ(m.GetClass(), "TDR");
  EXPECT_STREQ(m.GetVersion(), "2.0");
  EXPECT_EQ(m.IsBinary(), 1);
  EXPECT_EQ(m.GetTagVersion(), 1);
  EXPECT_EQ(m.GetByteOrder(), 1);
  EXPECT_EQ(m.GetFilePtr(), nullptr);
  EXPECT_NE(m.OpenFile(nullptr, "rb"), 0);
  EXPECT_NE(m.OpenFile("", "rb"), 0);
  EXPECT_NE(m.OpenFile("/nonexistent/dir/file.sd", "rb"), 0);
  EXPECT_NE(m.OpenFile("/tmp", "rb"), 0) << "a directory is not a TDR file";
  EXPECT_NE(m.CloseFile(), 0);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_ERROR);
  EXPECT_NE(m.ReadHeader(), 0);
  EXPECT_NE(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  EXPECT_NE(m.EndTag(), 0);
}

TEST(TdrManager, HeadersAndTagsRoundTripInBothByteOrders) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    const std::string path = dir.file("tags" + std::to_string(order) + ".sd");
    WriteTags(path, order);
    const std::string bytes = ReadFileBytes(path);
    const std::string header = "TDR 2.0 Binary\n# first comment\n# two\n# lines\nEND_HEADER\n";
    ASSERT_EQ(bytes.compare(0, header.size(), header), 0) << bytes.substr(0, header.size());
    // First tag header, byte by byte.
    const std::string h = bytes.substr(header.size(), 32);
    EXPECT_EQ(h[0], order);
    EXPECT_EQ(h[1], 1) << "extended flag";
    EXPECT_EQ(h[2], 1) << "flag";
    EXPECT_EQ(h.substr(4, 4), Word(TDR_TAG_SD_NODE, order));
    EXPECT_EQ(h.substr(8, 4), Word(12, order));
    EXPECT_EQ(h.substr(16), std::string(16, '\0'));

    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
    ASSERT_EQ(m.ReadHeader(), 0);
    ASSERT_EQ(m.GetCommentCount(), 3);
    EXPECT_STREQ(m.GetComment(0), "first comment");
    EXPECT_STREQ(m.GetComment(1), "two");
    EXPECT_STREQ(m.GetComment(2), "lines");
    EXPECT_EQ(m.GetComment(3), nullptr);
    for (const TagCase& t : kTags) {
      int length = -1;
      ASSERT_EQ(m.ReadTag(&length), t.id);
      EXPECT_EQ(length, 4 * t.payloadInts);
      EXPECT_EQ(m.GetTagLength(), 4 * t.payloadInts);
      EXPECT_EQ(m.GetTagVersion(), t.version);
      EXPECT_EQ(m.GetTagFlag(), t.flag);
      EXPECT_EQ(m.GetByteOrder(), order);
      EXPECT_EQ(m.GetTagBytesLeft(), 4 * t.payloadInts);
      for (int i = 0; i < t.payloadInts; ++i) {
        int v = -1;
        ASSERT_EQ(Sv_UtlFread(&v, 4, 1, m.GetFilePtr(), m.GetByteOrder()), 1);
        EXPECT_EQ(v, i);
      }
    }
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
    EXPECT_EQ(m.CloseFile(), 0);
  }
}

TEST(TdrManager, UnreadSkipAndUnreadPayloads) {
  TempDir dir;
  const std::string path = dir.file("skip.sd");
  WriteTags(path, 1);
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  EXPECT_EQ(m.UnreadTagHeader(), -1) << "nothing read yet";

  int length = 0;
  ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SD_NODE);
  int v;
  ASSERT_EQ(Sv_UtlFread(&v, 4, 1, m.GetFilePtr(), 1), 1);
  EXPECT_EQ(m.UnreadTagHeader(), 0);
  EXPECT_EQ(m.UnreadTagHeader(), -1) << "only the header just read can be unread";
  ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SD_NODE) << "the same tag again";
  EXPECT_EQ(length, 12);
  ASSERT_EQ(Sv_UtlFread(&v, 4, 1, m.GetFilePtr(), 1), 1);
  EXPECT_EQ(v, 0) << "the payload starts over";

  // Part of the payload read: SkipTagData(0) still lands on the next header.
  ASSERT_EQ(m.SkipTagData(0), 0);
  ASSERT_EQ(m.ReadTag(&length), TDR_TAG_GEOREF);
  // An explicit length moves from the current position.
  ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SD_CONTOURDTM_ATB);
  ASSERT_EQ(m.SkipTagData(length), 0);
  ASSERT_EQ(m.ReadTag(&length), TDR_TAG_SCALAR);
  // A payload left unread is never taken for a header.
  ASSERT_EQ(Sv_UtlFread(&v, 4, 1, m.GetFilePtr(), 1), 1);
  EXPECT_EQ(m.ReadTag(&length), TDR_TAG_EOF);
  EXPECT_EQ(m.UnreadTagHeader(), 0);
  EXPECT_EQ(m.ReadTag(&length), TDR_TAG_EOF) << "the end tag can be pushed back too";
  {
    DebugOutput out;
    EXPECT_EQ(m.SkipTagData(1000), -1);
    EXPECT_TRUE(out.Contains("beyond the end"));
  }
}

TEST(TdrManager, TagNameTableCoversEveryTagAndRefusesOthers) {
  // One entry per id, in ascending order, every name unique.
  struct E {
    int id;
    const char* name;
  };
#define ENTRY(name, id) {id, #name},
  const E all[] = {TDR_TAG_LIST(ENTRY)};
#undef ENTRY
  std::set<std::string> names;
  for (size_t i = 0; i < sizeof all / sizeof all[0]; ++i) {
    if (i > 0) {
      EXPECT_LT(all[i - 1].id, all[i].id) << all[i].name;
    }
    EXPECT_TRUE(names.insert(all[i].name).second) << all[i].name;
    char out[TDR_TAG_NAME_SIZE];
    EXPECT_EQ(TDR_Manager::TagName(all[i].id, out), all[i].id);
    EXPECT_STREQ(out, all[i].name);
  }
  EXPECT_EQ(sizeof all / sizeof all[0], 84u);

  char out[TDR_TAG_NAME_SIZE] = "junk";
  EXPECT_EQ(TDR_Manager::TagName(9910, out), 9910);
  EXPECT_STREQ(out, "SD_NODE");
  EXPECT_EQ(TDR_Manager::TagName(15000, out), TDR_TAG_GEOREF);
  EXPECT_STREQ(out, "GEOREF");
  EXPECT_EQ(TDR_Manager::TagName(999999999, out), TDR_TAG_EOF);
  EXPECT_STREQ(out, "EOF");
  EXPECT_EQ(TDR_Manager::TagName(20010, out), TDR_TAG_BK_CMAP);
  EXPECT_STREQ(out, "BK_CMAP");
  EXPECT_EQ(TDR_Manager::TagName(10031, out), 10031);
  EXPECT_STREQ(out, "SD_CONTOURDTM_ATB");
  EXPECT_EQ(TDR_Manager::TagName(1000, nullptr), TDR_TAG_SCALAR);
  for (int missing : {0, 2, 999, 1001, 10001, 10560, 15001, 999999998, -1}) {
    EXPECT_EQ(TDR_Manager::TagName(missing, out), TDR_TAG_ERROR) << missing;
    EXPECT_STREQ(out, "") << missing;
  }
}

TEST(TdrManager, UnknownIdReadsAsErrorAndCanBeSkipped) {
  TempDir dir;
  const std::string path = dir.file("unknown.sd");
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    ASSERT_EQ(m.WriteTag(4242, 1, 0, 0, 1), 0);
    fputs("payload", m.GetFilePtr());
    ASSERT_EQ(m.EndTag(), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  DebugOutput out;
  int length = -1;
  EXPECT_EQ(m.ReadTag(&length), TDR_TAG_ERROR);
  EXPECT_EQ(length, 0);
  EXPECT_TRUE(out.Contains("Unknown TDR tag id 4242"));
  EXPECT_EQ(m.ReadTag(&length), TDR_TAG_EOF) << "reading goes on after the unknown record";
}

TEST(TdrManager, HeaderWithoutExtendedFlagHasTagVersionZero) {
  TempDir dir;
  const std::string path = dir.file("old.sd");
  for (int order = 0; order <= 1; ++order) {
    std::string h(32, '\0');
    h[0] = static_cast<char>(order);
    h[1] = 0;  // no extended header
    h.replace(4, 4, Word(TDR_TAG_SD_NODE, order));
    h.replace(8, 4, Word(4, order));
    h[order ? 14 : 15] = 5;  // a version field that must be ignored
    std::string eof(32, '\0');
    eof[0] = static_cast<char>(order);
    eof.replace(4, 4, Word(TDR_TAG_EOF, order));
    ASSERT_TRUE(WriteFileBytes(path, "TDR 2.0 Binary\r\nEND_HEADER\r\n" + h + "1.0f" + eof));
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
    ASSERT_EQ(m.ReadHeader(), 0) << "CRLF line ends are accepted";
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    EXPECT_EQ(m.GetTagVersion(), 0);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }
}

TEST(TdrManager, HeaderChecks) {
  TempDir dir;
  const std::string path = dir.file("h.sd");
  struct Case {
    std::string text;
    int result;
    const char* message;
  };
  const Case cases[] = {
      {"TDR 2.0 Binary\nEND_HEADER\n", 0, ""},
      {"TDR 2.1 binary\n#raw comment\nEND_HEADER\n", 0, ""},
      {"TDR 2.0 Ascii\nEND_HEADER\n", 0, ""},
      {"TDX 2.0 Binary\nEND_HEADER\n", -1, "Not a TDR file"},
      {"TDR 1.0 Binary\nEND_HEADER\n", -1, "Unsupported TDR version"},
      {"TDR 2.0 Text\nEND_HEADER\n", -1, "Unknown TDR format"},
      {"TDR 2.0 Binary extra\nEND_HEADER\n", -1, "Not a TDR file"},
      {"TDR 2.0 Binary\n# no end\n", -1, "no end mark"},
      {"", -1, "No TDR header line"},
      {"TDR 2.0 Binary\n" + std::string(5000, 'c') + "\nEND_HEADER\n", -1, "no end mark"},
      {"TDR 2.0 Binary\n" + std::string(70000, '\n') + "END_HEADER\n", -1, "no end mark"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(path, c.text));
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
    DebugOutput out;
    EXPECT_EQ(m.ReadHeader(), c.result) << c.text.substr(0, 40);
    EXPECT_TRUE(out.Contains(c.message)) << out.Text();
  }
  // An Ascii file's header reads, but its tags are not binary records.
  ASSERT_TRUE(WriteFileBytes(path, "TDR 2.0 Ascii\n# made by hand\nEND_HEADER\n"));
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(m.ReadHeader(), 0);
  EXPECT_EQ(m.IsBinary(), 0);
  EXPECT_STREQ(m.GetComment(0), "made by hand");
  DebugOutput out;
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_ERROR);
  EXPECT_TRUE(out.Contains("Ascii"));
}

TEST(TdrManager, EndTagPatchesOnlyTheLastHeader) {
  TempDir dir;
  const std::string path = dir.file("patch.sd");
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  ASSERT_EQ(m.WriteHeader(), 0);
  EXPECT_EQ(m.EndTag(), -1) << "no header written yet";
  ASSERT_EQ(m.WriteTag(TDR_TAG_SD_HIERARCHY, 1, 0, 0, 1), 0);  // left at length 0
  ASSERT_EQ(m.WriteTag(TDR_TAG_SD_NODE, 1, 0, 0, 1), 0);
  fputs("abcdef", m.GetFilePtr());
  ASSERT_EQ(m.EndTag(), 0);
  fputs("more", m.GetFilePtr());
  ASSERT_EQ(m.EndTag(), 0) << "patching again counts everything since the header";
  EXPECT_EQ(m.GetTagLength(), 10);
  EXPECT_EQ(m.WriteTag(TDR_TAG_EOF, 1, -1, 0, 1), -1) << "negative lengths are refused";
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);

  TDR_Manager r;
  ASSERT_EQ(r.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(r.ReadHeader(), 0);
  int length = -1;
  EXPECT_EQ(r.ReadTag(&length), TDR_TAG_SD_HIERARCHY);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(r.ReadTag(&length), TDR_TAG_SD_NODE);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(r.ReadTag(&length), TDR_TAG_EOF);
}

TEST(TdrManager, WritesReplaceTheFileOnlyWhenTheyCompleteAndClose) {
  TempDir dir;
  const std::string path = dir.file("scene.sd");
  WriteTags(path, 1);
  const std::string old = ReadFileBytes(path);
  ASSERT_FALSE(old.empty());
  const std::vector<std::string> before = ListDirectory(dir.path());

  // A manager destroyed in the middle of a write.
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_SD_NODE, 1, 0, 0, 1), 0);
    fputs("half a record", m.GetFilePtr());
    fflush(m.GetFilePtr());
    EXPECT_EQ(ReadFileBytes(path), old) << "readers see the old file while it is written";
  }
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);

  // A writer that gives up.
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    EXPECT_EQ(m.DiscardFile(), 0);
    EXPECT_EQ(m.GetFilePtr(), nullptr);
    EXPECT_NE(m.CloseFile(), 0) << "nothing left to close";
    EXPECT_NE(m.DiscardFile(), 0);
  }
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);

  // A write that fails part-way: no file may grow past 2 KiB and the
  // payload is 64 KiB. Closing reports the failure.
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    int closed = 0;
    {
      FileSizeLimit limit(2048);
      ASSERT_TRUE(limit.ok());
      ASSERT_EQ(m.WriteHeader(), 0);
      ASSERT_EQ(m.WriteTag(TDR_TAG_SCALAR, 1, 0, 0, 1), 0);
      const std::string payload(65536, 'p');
      EXPECT_LT(fwrite(payload.data(), 1, payload.size(), m.GetFilePtr()), payload.size());
      m.EndTag();
      m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1);
      closed = m.CloseFile();
    }
    EXPECT_NE(closed, 0);
  }
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);

  // A complete write replaces the file.
  WriteTags(path, 0);
  EXPECT_NE(ReadFileBytes(path), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);
  TDR_Manager r;
  ASSERT_EQ(r.OpenFile(path.c_str(), "rb"), 0);
  ASSERT_EQ(r.ReadHeader(), 0);
  EXPECT_EQ(r.ReadTag(nullptr), TDR_TAG_SD_NODE);
  EXPECT_EQ(r.GetByteOrder(), 0);
}
