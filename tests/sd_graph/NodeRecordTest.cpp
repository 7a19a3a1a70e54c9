#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Sd_Node.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

void FillNode(Sd_Node& n) {
  n.SetName("Seabed");
  n.SetDescription("/data/survey/seabed.sd");
  n.SetRotation(1, 2, 3);
  n.SetScale(4, 5, 6);
  n.SetPosition(7, 8, 9);
  n.SetVisible(0);
  n.SetShowBoundingBox(1);
  for (int i = 0; i < 6; ++i) n.GetAuxRecords()[i] = 100 + i;
  n.GetAuxTriple()[0] = 0.25f;
  for (int i = 0; i < 4; ++i) *n.GetAuxRecord(i) = Sd_Range{-1.0f * (i + 1), 2.0f * (i + 1), 0.5f * i};
  n.SetBounds(0, 10, 20);
  n.SetBounds(1, 30, 45);
  n.SetBounds(2, -5, 5);
}

// Opens path for writing, lets write add records, then writes the end tag;
// false when any step (or write) fails.
template <class Write>
bool WriteRecords(const std::string& path, Write write, int byteOrder = 1) {
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0) return false;
  m.SetByteOrder(byteOrder);
  if (!write(m)) return false;
  return m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

// Writes the nodes' records (optionally followed by a foreign tag) and the end tag.
bool WriteFile(const std::string& path, Sd_Node* nodes[], int count, int withCommon, int byteOrder,
               bool foreignTag = false) {
  return WriteRecords(
      path,
      [&](TDR_Manager& m) {
        for (int i = 0; i < count; ++i) {
          if (nodes[i]->SaveObject(&m, withCommon, 0) != 0) return false;
        }
        if (foreignTag) {
          m.WriteTag(TDR_TAG_SCALAR, 1, 0, 0, 1);
          TDR_PayloadWriter(&m).Int32(7);
          m.EndTag();
        }
        return true;
      },
      byteOrder);
}

// The fields of a hand-made node record.
struct NodeFields {
  short tagVersion = 1;
  float format = 1.0f;  // tag version 0 only: the format word (1.5 and later add the parent word)
  int parent = 0, next = 0;
  float transform[9] = {0, 0, 0, 1, 1, 1, 0, 0, 0};  // rotation, scale, position
  int flags[4] = {1, 0, 1, 1};                       // type, aux flag, visible, ...
  std::string name, description;
  int showBoundingBox = 0;
};

// A file holding one hand-made node record with the given fields.
bool WriteNodeRecord(const std::string& path, const NodeFields& f) {
  return WriteRecords(path, [&](TDR_Manager& m) {
    if (m.WriteTag(TDR_TAG_SD_NODE, f.tagVersion, 0, 0, 1) != 0) return false;
    TDR_PayloadWriter w(&m);
    if (f.tagVersion == 0) {
      w.Float32(f.format);
      if (f.format > 1.0f) w.Int32(f.parent);
    } else {
      w.Int32(f.parent);
    }
    w.Int32(f.next);
    w.Float32s(f.transform, 9);
    w.Int32s(f.flags, 4);
    w.CountedText(f.name.c_str());
    w.CountedText(f.description.c_str());
    const int aux[6] = {0};
    w.Int32s(aux, 6);
    const float rest[3 + 12 + 6] = {0};
    w.Float32s(rest, 21);
    w.Int32(f.showBoundingBox);
    return w.Ok() && m.EndTag() == 0;
  });
}

void ExpectSameNode(Sd_Node& a, Sd_Node& b) {
  EXPECT_STREQ(a.GetName(), b.GetName());
  EXPECT_STREQ(a.GetDescription(), b.GetDescription());
  for (char c : {'x', 'y', 'z'}) {
    EXPECT_EQ(*a.GetRotation(c), *b.GetRotation(c));
    EXPECT_EQ(*a.GetScale(c), *b.GetScale(c));
    EXPECT_EQ(*a.GetPosition(c), *b.GetPosition(c));
  }
  EXPECT_EQ(a.GetVisible(), b.GetVisible());
  EXPECT_EQ(a.GetType(), b.GetType());
  EXPECT_EQ(a.GetAuxFlag(), b.GetAuxFlag());
  EXPECT_EQ(a.GetShowBoundingBox(), b.GetShowBoundingBox());
  EXPECT_EQ(memcmp(a.GetAuxRecords(), b.GetAuxRecords(), 24), 0);
  EXPECT_EQ(memcmp(a.GetAuxTriple(), b.GetAuxTriple(), 12), 0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a.GetAuxRecord(i)->min, b.GetAuxRecord(i)->min);
    EXPECT_EQ(a.GetAuxRecord(i)->max, b.GetAuxRecord(i)->max);
    EXPECT_EQ(a.GetAuxRecord(i)->third, b.GetAuxRecord(i)->third);
  }
  for (int ax = 0; ax < 3; ++ax) {
    EXPECT_EQ(a.GetBounds(ax)[0], b.GetBounds(ax)[0]);
    EXPECT_EQ(a.GetBounds(ax)[1], b.GetBounds(ax)[1]);
  }
}

// Opens the file and reads up to the first tag, which must be a node record.
bool OpenAtNode(TDR_Manager& m, const std::string& path) {
  if (m.OpenFile(path.c_str(), "rb") != 0 || m.ReadHeader() != 0) return false;
  return m.ReadTag(nullptr) == TDR_TAG_SD_NODE;
}

// Opens the file at its first record, a node record, and loads it into n.
bool LoadFirstNode(TDR_Manager& m, const std::string& path, Sd_Node& n) {
  return OpenAtNode(m, path) && n.LoadObject(&m) == 0;
}

}  // namespace

TEST(NodeRecord, RoundTripsInBothByteOrdersWithCommonTags) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    SCOPED_TRACE(order);
    Sd_Node src;
    FillNode(src);
    unsigned* cmap = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
    for (unsigned i = 0; i < 256; ++i) cmap[i] = PackColour(i, 255 - i, i / 2, 255);
    src.SetColorMap(cmap);
    Sd_Node* nodes[] = {&src};
    const std::string path = dir.file("node" + std::to_string(order) + ".sd");
    ASSERT_TRUE(WriteFile(path, nodes, 1, 1, order, true));

    TDR_Manager m;
    ASSERT_TRUE(OpenAtNode(m, path));
    EXPECT_EQ(m.GetByteOrder(), order);
    Sd_Node back;
    ASSERT_EQ(back.LoadObject(&m), 0);
    ExpectSameNode(src, back);
    ASSERT_NE(back.GetGeoRef(), nullptr);
    EXPECT_EQ(back.GetGeoRef()->GetYBounds()[1], 45.0);
    EXPECT_DOUBLE_EQ(back.GetExtents()[1], 15.0) << "extents come from the georeference after a 15000";
    EXPECT_DOUBLE_EQ(back.GetCentres()[2], 0.0);
    ASSERT_NE(back.GetColorMap(), nullptr);
    EXPECT_EQ(memcmp(back.GetColorMap(), cmap, 256 * sizeof(unsigned)), 0);
    // The foreign tag after the common tags is left for the caller.
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_SCALAR);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }
}

TEST(NodeRecord, WithoutCommonTagsExtentsComeFromRangesAndEndTagIsNotConsumed) {
  TempDir dir;
  Sd_Node a, b;
  FillNode(a);
  b.SetName("second");
  a.SetNext(&b);
  Sd_Node* nodes[] = {&a, &b};
  const std::string path = dir.file("two.sd");
  ASSERT_TRUE(WriteFile(path, nodes, 2, 0, 1));
  TDR_Manager m;
  Sd_Node back;
  ASSERT_TRUE(LoadFirstNode(m, path, back));
  EXPECT_EQ(back.GetGeoRef(), nullptr);
  EXPECT_DOUBLE_EQ(back.GetExtents()[0], 3.0) << "range x is -1 ... 2";
  EXPECT_DOUBLE_EQ(back.GetCentres()[0], 0.5);
  EXPECT_EQ(back.GetStoredNextFlag(), 1);
  EXPECT_EQ(back.GetStoredParentFlag(), 0);
  EXPECT_EQ(back.GetNext(), nullptr) << "a stored link is never taken as a pointer";
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
  Sd_Node second;
  ASSERT_EQ(second.LoadObject(&m), 0);
  EXPECT_STREQ(second.GetName(), "second");
  EXPECT_EQ(second.GetStoredNextFlag(), 0);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
}

TEST(NodeRecord, OldVersionsWithAndWithoutParentField) {
  TempDir dir;
  for (float format : {1.0f, 1.5f}) {
    SCOPED_TRACE(format);
    const std::string path = dir.file("old.sd");
    NodeFields f;
    f.tagVersion = 0;
    f.format = format;
    f.parent = 1;  // written from format 1.5 on
    f.next = 1;
    const float transform[9] = {0, 0, 45, 2, 2, 2, 0.5f, 0, 0};
    std::copy(transform, transform + 9, f.transform);
    f.flags[0] = 7;
    f.name = "old";
    f.description = "desc";
    ASSERT_TRUE(WriteNodeRecord(path, f));
    TDR_Manager m;
    Sd_Node n;
    ASSERT_TRUE(LoadFirstNode(m, path, n));
    EXPECT_STREQ(n.GetName(), "old");
    EXPECT_EQ(n.GetType(), 7);
    EXPECT_EQ(*n.GetRotation('z'), 45.0f);
    EXPECT_EQ(n.GetStoredNextFlag(), 1);
    EXPECT_EQ(n.GetStoredParentFlag(), format > 1.0f ? 1 : 0);
  }
}

TEST(NodeRecord, OverlongTextsAreCutAndDamagedRecordsFailCleanly) {
  TempDir dir;
  const std::string path = dir.file("long.sd");
  NodeFields f;
  f.name = std::string(80, 'N');
  f.description = std::string(1000, 'D');
  f.showBoundingBox = 1;
  ASSERT_TRUE(WriteNodeRecord(path, f));
  {
    TDR_Manager m;
    Sd_Node n;
    ASSERT_TRUE(LoadFirstNode(m, path, n));
    EXPECT_EQ(std::string(n.GetName()), std::string(49, 'N'));
    EXPECT_EQ(std::string(n.GetDescription()), std::string(255, 'D'));
    EXPECT_EQ(n.GetShowBoundingBox(), 1) << "the fields after the texts are read in place";
  }

  // Every truncation of the node payload fails and leaves the node as it was.
  const std::string bytes = ReadFileBytes(path);
  const size_t idAt = bytes.find(std::string("\xB6\x26\x00\x00", 4));  // id 9910, little-endian
  ASSERT_NE(idAt, std::string::npos);
  const size_t payloadStart = idAt - 4;  // the header starts 4 bytes before its id
  // Each shorter payload, under a header whose length says so, fails.
  const size_t eofHeader = bytes.size() - 32;
  const size_t payloadLength = eofHeader - (payloadStart + 32);
  int tried = 0;
  for (size_t keep = 0; keep < payloadLength; keep += 5) {
    std::string damaged = bytes.substr(0, payloadStart + 32);
    const unsigned len = static_cast<unsigned>(keep);
    for (int i = 0; i < 4; ++i) damaged[payloadStart + 8 + i] = static_cast<char>((len >> (8 * i)) & 0xFF);
    damaged += bytes.substr(payloadStart + 32, keep) + bytes.substr(eofHeader);
    const std::string p = dir.file("cut.sd");
    WriteFileBytes(p, damaged);
    TDR_Manager m;
    ASSERT_TRUE(OpenAtNode(m, p)) << keep;
    Sd_Node n;
    EXPECT_NE(n.LoadObject(&m), 0) << keep;
    EXPECT_STREQ(n.GetName(), "Unknown");
    EXPECT_EQ(n.GetShowBoundingBox(), 0);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF) << "the next record is still found";
    ++tried;
  }
  EXPECT_GT(tried, 200);

  // A negative text length is refused.
  std::string bad = bytes;
  const size_t nameLength = payloadStart + 32 + 8 + 36 + 16;
  bad[nameLength + 3] = '\x80';
  WriteFileBytes(dir.file("neg.sd"), bad);
  TDR_Manager m;
  ASSERT_TRUE(OpenAtNode(m, dir.file("neg.sd")));
  Sd_Node n;
  EXPECT_NE(n.LoadObject(&m), 0);
}

TEST(NodeRecord, CommonTagsSkipColourTablesAndLaterGeorefsReplaceEarlier) {
  TempDir dir;
  const std::string path = dir.file("common.sd");
  Sd_Node src;
  FillNode(src);
  ASSERT_TRUE(WriteRecords(path, [&](TDR_Manager& m) {
    if (src.SaveObject(&m, 1, 0) != 0) return false;
    m.WriteTag(TDR_TAG_BK_CMAPTABLE, 1, 0, 0, 1);
    TDR_PayloadWriter(&m).Int32s(std::vector<int>(10, 3).data(), 10);
    m.EndTag();
    m.WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1);
    TDR_GeoRef g;
    g.SetXBounds(-100, 100);
    g.SetYBounds(0, 1);
    g.SetZBounds(0, 2);
    g.Write(&m);
    m.EndTag();
    return true;
  }));
  TDR_Manager m;
  Sd_Node n;
  ASSERT_TRUE(LoadFirstNode(m, path, n));
  EXPECT_EQ(n.GetBounds(0)[0], -100.0f);
  EXPECT_EQ(n.GetGeoRef()->GetXBounds()[1], 100.0);
  EXPECT_DOUBLE_EQ(n.GetExtents()[0], 200.0);
  EXPECT_EQ(n.GetColorMap(), nullptr);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
}

TEST(NodeRecord, TransferFileHoldsTheCommonFields) {
  TempDir dir;
  Sd_Node n;
  FillNode(n);
  const std::string path = dir.file("transfer");
  ASSERT_EQ(n.WriteTemporaryData(path.c_str()), 0);
  const std::string bytes = ReadFileBytes(path);
  const size_t expected = 8 + 36 + 16 + 4 + strlen(n.GetName()) + 4 + strlen(n.GetDescription()) + 24 + 12 + 48;
  EXPECT_EQ(bytes.size(), expected);
  EXPECT_EQ(bytes.substr(8 + 36 + 16 + 4, 6), "Seabed");
  EXPECT_NE(n.WriteTemporaryData(dir.file("missing/transfer").c_str()), 0);

  // A write that fails part-way (the disk fills after 64 bytes) keeps the
  // old transfer file and leaves nothing beside it.
  n.SetName("Another seabed");
  int written = 0;
  {
    orvanta_test::FileSizeLimit limit(64);
    ASSERT_TRUE(limit.ok());
    written = n.WriteTemporaryData(path.c_str());
  }
  EXPECT_NE(written, 0);
  EXPECT_EQ(ReadFileBytes(path), bytes);
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()), std::vector<std::string>{"transfer"});
}
