// Sounding data sets: the records after the object record (attribute,
// edits and foreign records in any order), attribute versions, the colour
// map an attribute record names, and saving as a file pointer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SoundingTestSupport.h"
#include "Sv_Debug.h"
#include "TDR_Colormap.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using dtm_test::Messages;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using sounding_test::Child;
using sounding_test::Stored;

namespace {

// The twelve values of an attribute record, in its order.
struct Attributes {
  int filters[3];
  int surfaceMode;
  float gridLineZ;
  int cellAlpha, colorMode, showGridLines, showSurface, showCellSoundings, showBase, last;
};

const Attributes kA = {{0, 1, 1}, 2, -0.125f, 99, 3, 0, 0, 1, 0, 7};
const Attributes kB = {{1, 0, 0}, 0, 0.25f, 12, 1, 1, 1, 0, 1, 1};

// An attribute record's payload; tag version 0 opens with the version.
std::string AttributePayload(const Attributes& a, const std::string& name = "", int tagVersion = 1,
                             float version = 1.0f) {
  Stored p(1);
  if (tagVersion == 0) p.Put<float>(version);
  for (int f : a.filters) p.Put<int>(f);
  p.Put<int>(a.surfaceMode).Put<float>(a.gridLineZ).Put<int>(a.cellAlpha).Put<int>(a.colorMode);
  p.Put<int>(a.showGridLines).Put<int>(a.showSurface).Put<int>(a.showCellSoundings).Put<int>(a.showBase).Put<int>(a.last);
  p.Put<int>(static_cast<int>(name.size()));
  return p.str() + name;
}

void ExpectAttributes(const Sd_SoundingSet& s, const Attributes& a) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s.GetFilter(i), a.filters[i]) << "filter " << i;
  EXPECT_EQ(s.GetSurfaceMode(), a.surfaceMode);
  EXPECT_EQ(s.GetGridLineZ(), a.gridLineZ);
  EXPECT_EQ(s.GetCellAlpha(), a.cellAlpha);
  EXPECT_EQ(s.GetColorMode(), a.colorMode);
  EXPECT_EQ(s.GetShowGridLines(), a.showGridLines);
  EXPECT_EQ(s.GetShowSurface(), a.showSurface);
  EXPECT_EQ(s.GetShowCellSoundings(), a.showCellSoundings);
  EXPECT_EQ(s.GetShowBase(), a.showBase);
  EXPECT_EQ(s.GetLastSwitch(), a.last);
}

// Reads the records of path from its first on with s's ReadCommonTags;
// the tag after them goes to *next.
int ReadAfterObject(Sd_SoundingSet* s, const std::string& path, int* next) {
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "rb") != 0 || m.ReadHeader() != 0) return -9;
  const int result = s->ReadCommonTags(&m);
  *next = m.ReadTag();
  return result;
}

// Colour-range listener: how often it was told, and what last.
struct Listener {
  static int calls;
  static Sd_Node* node;
  static float range[2];
  static void Hear(Sd_Node* n, float low, float high, void*) {
    ++calls;
    node = n;
    range[0] = low;
    range[1] = high;
  }
};
int Listener::calls = 0;
Sd_Node* Listener::node = nullptr;
float Listener::range[2] = {0, 0};

}  // namespace

// Attribute and edits records are taken in any order, a later one winning;
// the first foreign record (here the next object) ends them.
TEST(SoundingAttributes, AttributeEditsAndForeignRecordsInAnyOrder) {
  TempDir dir;
  auto htf = sounding_test::MakeHTF(3);
  auto fsd = sounding_test::MakeFSD(4);
  const std::string path = dir.file("seq.sd");
  {
    SDWriter w(path);
    ASSERT_EQ(htf->WriteDataRecord(w.Manager()), 0);
    w.Raw(TDR_TAG_SD_HTFSOUNDING_EDITS, std::string(20, '\x7f'));
    w.Raw(TDR_TAG_SD_HTFSOUNDING_ATB, AttributePayload(kA, "", 0), 0);
    w.Raw(TDR_TAG_SD_HTFSOUNDING_EDITS, "");
    ASSERT_EQ(fsd->WriteDataRecord(w.Manager(), 1), 0);
    w.Raw(TDR_TAG_SD_SOUNDING_ATB, AttributePayload(kA));
    w.Raw(TDR_TAG_SD_SOUNDING_EDITS, std::string(9, '\x01'));
    w.Raw(TDR_TAG_SD_SOUNDING_ATB, AttributePayload(kB));
    ASSERT_EQ(htf->WriteDataRecord(w.Manager()), 0);
    ASSERT_TRUE(w.Close());
  }
  auto read = ReadSD(path);
  ASSERT_EQ(read->children.size(), 3u);
  Sd_HTFSounding* first = Child<Sd_HTFSounding>(*read, 0);
  Sd_Sounding* second = Child<Sd_Sounding>(*read, 1);
  Sd_HTFSounding* third = Child<Sd_HTFSounding>(*read, 2);
  ASSERT_TRUE(first && second && third);
  ExpectAttributes(*first, kA);
  ExpectAttributes(*second, kB);
  EXPECT_EQ(second->GetSoundingCount(), 4);
  // Without an attribute record the defaults stand (hide rejected on).
  EXPECT_EQ(third->GetFilter(0), 1);
  EXPECT_EQ(third->GetCellAlpha(), 230);
  EXPECT_EQ(third->GetSurfaceMode(), 1);
}

// An attribute record of another version is skipped and reported (HTF
// only); the values of the records before it stay and reading goes on.
TEST(SoundingAttributes, WrongVersionIsSkippedWithTheClassesMessage) {
  TempDir dir;
  Sd_HTFSounding htf;
  Sd_Sounding fsd;
  struct Case {
    Sd_SoundingSet* set;
    int tag;
    bool message;
  } cases[] = {{&htf, TDR_TAG_SD_HTFSOUNDING_ATB, true}, {&fsd, TDR_TAG_SD_SOUNDING_ATB, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set->className());
    const std::string path = dir.file("atb.sd");
    SDWriter w(path);
    w.Raw(c.tag, AttributePayload(kA, "", 0), 0).Raw(c.tag, AttributePayload(kB, "", 0, 2.0f), 0);
    ASSERT_TRUE(w.Close());
    Messages messages;
    int next = 0;
    EXPECT_EQ(ReadAfterObject(c.set, path, &next), -1);
    EXPECT_EQ(next, TDR_TAG_EOF);
    ExpectAttributes(*c.set, kA);
    EXPECT_EQ(messages.Contains("Sd_HTFSounding : Error: Expected version 1 sounding atbribute data!"), c.message)
        << messages.All();
  }
}

// The map an attribute record names is loaded as colour map 1 and the
// cells recoloured; a missing map is reported once, a damaged one as an
// error; either way the map keeps its colours and the path is kept. A
// record without a name keeps the map.
TEST(SoundingAttributes, ColourMapOfTheAttributeRecord) {
  TempDir dir;
  const std::string good = dir.file("sea.cmap");
  const std::string missing = dir.file("gone.cmap");
  const std::string damaged = dir.file("bad.cmap");
  ASSERT_TRUE(dtm_test::WriteFlatColormap(good, 10, 20, 30));
  ASSERT_TRUE(WriteFileBytes(damaged, "TDR 2.0 Binary\nEND_HEADER\nnot a record"));
  auto write = [&](const std::string& name) {
    SDWriter w(dir.file("atb.sd"));
    w.Raw(TDR_TAG_SD_SOUNDING_ATB, AttributePayload(kA, name));
    return w.Close();
  };
  Sd_Node::SetColorRangeCallback(Listener::Hear, nullptr);
  Sd_Sounding fsd;
  const unsigned ramp0 = fsd.GetColorMap1()[0];
  EXPECT_EQ(ramp0, 0x000000FFu);
  EXPECT_EQ(fsd.GetColorMap1()[255], 0xFFFFFFFFu);
  EXPECT_EQ(fsd.GetColorMapName(), nullptr);
  int next = 0;

  Listener::calls = 0;
  ASSERT_TRUE(write(good));
  EXPECT_EQ(ReadAfterObject(&fsd, dir.file("atb.sd"), &next), 0);
  EXPECT_EQ(fsd.GetColorMap1()[0], PackColour(10, 20, 30, 255));
  EXPECT_STREQ(fsd.GetColorMapName(), good.c_str());
  EXPECT_GE(Listener::calls, 1);
  EXPECT_EQ(Listener::node, &fsd);
  EXPECT_EQ(Listener::range[0], 0.0f);
  EXPECT_EQ(Listener::range[1], 1.0f);

  ASSERT_TRUE(write(""));
  EXPECT_EQ(ReadAfterObject(&fsd, dir.file("atb.sd"), &next), 0);
  EXPECT_STREQ(fsd.GetColorMapName(), good.c_str());

  ASSERT_TRUE(write(missing));
  Sv_Debug::ForgetReported();
  for (int round = 0; round < 2; ++round) {
    Messages messages;
    EXPECT_EQ(ReadAfterObject(&fsd, dir.file("atb.sd"), &next), 0);
    EXPECT_EQ(messages.Contains(missing), round == 0) << messages.All();
    EXPECT_FALSE(messages.Contains("Error loading color map"));
  }
  EXPECT_EQ(fsd.GetColorMap1()[0], PackColour(10, 20, 30, 255));
  EXPECT_STREQ(fsd.GetColorMapName(), missing.c_str());

  ASSERT_TRUE(write(damaged));
  {
    MessageCapture errors;
    EXPECT_EQ(ReadAfterObject(&fsd, dir.file("atb.sd"), &next), 0);
    ASSERT_FALSE(errors.messages().empty());
    EXPECT_EQ(errors.messages().back().first, SV_LEVEL_ERROR);
    EXPECT_EQ(errors.messages().back().second, "Error loading color map: " + damaged);
  }
  EXPECT_EQ(fsd.GetColorMap1()[0], PackColour(10, 20, 30, 255));
  EXPECT_STREQ(fsd.GetColorMapName(), damaged.c_str());
  Sd_Node::SetColorRangeCallback(nullptr, nullptr);

  fsd.FreeData();
  EXPECT_EQ(fsd.GetColorMapName(), nullptr);
  EXPECT_EQ(fsd.GetSoundingCount(), 0);
}

// Saved, a data set is a pointer to its data file and its attributes, which
// win over those of the data file when read back. The data file is never
// written, and saving into it is refused.
TEST(SoundingAttributes, SavedAsAPointerAndReadBack) {
  TempDir dir;
  const std::string data = dir.file("survey.sd");
  auto fsd = sounding_test::MakeFSD(6, 2, 3);
  ASSERT_TRUE(sounding_test::WriteData(data, {fsd.get()}));
  const std::string bytes = ReadFileBytes(data);
  auto read = ReadSD(data);
  Sd_Sounding* loaded = Child<Sd_Sounding>(*read, 0);
  ASSERT_NE(loaded, nullptr);
  loaded->SetFilter(0, 1);
  loaded->SetFilter(1, 0);
  ASSERT_TRUE(dtm_test::WriteSD(dir.file("scene.sd"), {loaded}));

  // The saved object: the pointer record, the georeference, the attributes.
  {
    int tag = 0;
    auto m = dtm_test::OpenAtFirstTag(dir.file("scene.sd"), &tag);
    ASSERT_TRUE(m);
    EXPECT_EQ(tag, TDR_TAG_SD_SOUNDING);
    EXPECT_STREQ(m->GetPath(), data.c_str()) << "the record is a file pointer to the data file";
  }
  auto again = ReadSD(dir.file("scene.sd"));
  Sd_Sounding* back = Child<Sd_Sounding>(*again, 0);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(again->children.size(), 1u);
  sounding_test::ExpectSameRecords(*loaded, *back);
  EXPECT_EQ(back->GetFilter(0), 1);
  EXPECT_EQ(back->GetFilter(1), 0);
  EXPECT_EQ(back->GetCellAlpha(), loaded->GetCellAlpha());
  EXPECT_STREQ(back->GetDataPath(), data.c_str());
  EXPECT_STREQ(back->GetDescription(), data.c_str());
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(back->GetBounds(a)[0], loaded->GetBounds(a)[0]);
    EXPECT_EQ(back->GetBounds(a)[1], loaded->GetBounds(a)[1]);
  }

  {
    Messages messages;
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(data.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    EXPECT_EQ(back->SaveObject(&m, 1, 0), -1);
    m.DiscardFile();
    EXPECT_TRUE(messages.Contains("which is the file being written"));
  }
  EXPECT_TRUE(ReadFileBytes(data) == bytes) << "the data file is never written";

  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(dir.file("other.sd").c_str(), "wb"), 0);
  Messages quiet;
  EXPECT_EQ(fsd->SaveObject(&m, 1, 0), -1) << "an object that was not read from a file has nothing to point at";
  m.DiscardFile();
}
