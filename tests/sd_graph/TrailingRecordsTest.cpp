// The records that follow an object's own record: common tags and the
// class's settings records in any order, a later record winning, also
// across a followed file pointer (the outer file's records come later).
#include <gtest/gtest.h>

#include <string>

#include "IOTestSupport.h"
#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

using orvanta_test::TempDir;
using sd_io_test::Children;
using sd_io_test::FileWriter;

namespace {

// An object with a one-word record and a one-word settings record.
class SettingsObject : public Sd_Node {
 public:
  int LoadObject(TDR_Manager* manager) override {
    if (!TDR_PayloadReader(manager).Int32(&value)) return -1;
    return ReadCommonTags(manager);
  }
  int ReadOwnRecord(TDR_Manager* manager, int tag) override {
    if (tag != TDR_TAG_SD_LABEL_ATB) return 0;
    TDR_PayloadReader(manager).Int32(&setting);
    return 1;
  }
  int value = -1;
  int setting = 0;
};

Sd_Node* MakeSettingsObject() { return new SettingsObject(); }

void GeoRef(FileWriter& w, float xmin) {
  TDR_Manager* m = w.Manager();
  ASSERT_EQ(m->WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  TDR_GeoRef g;
  g.SetXBounds(xmin, xmin + 10);
  g.SetYBounds(0, 1);
  g.SetZBounds(0, 1);
  ASSERT_EQ(g.Write(m), 0);
  ASSERT_EQ(m->EndTag(), 0);
}

void ColourMap(FileWriter& w) {
  unsigned colours[256] = {};
  TDR_Manager* m = w.Manager();
  ASSERT_EQ(m->WriteTag(TDR_TAG_BK_CMAP, 1, 0, 0, 1), 0);
  ASSERT_TRUE(TDR_PayloadWriter(m).ColourMap(colours));
  ASSERT_EQ(m->EndTag(), 0);
}

// The objects a file gives, read into a fresh root.
struct Scene : sd_io_test::LoadedFile {
  using LoadedFile::LoadedFile;
  SettingsObject* child(size_t i) {
    auto c = Children(root);
    return i < c.size() ? dynamic_cast<SettingsObject*>(c[i]) : nullptr;
  }
};

class TrailingRecords : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Sd_IOSupport::SetTestClass(TDR_TAG_SD_LABEL, MakeSettingsObject), 0); }
  void TearDown() override { Sd_IOSupport::ClearTestClasses(); }
  TempDir m_dir;
};

}  // namespace

TEST_F(TrailingRecords, CommonTagsAndSettingsComeInAnyOrderAndTheLaterWins) {
  const std::string path = m_dir.file("order.sd");
  FileWriter w(path);
  w.Int(TDR_TAG_SD_LABEL, 5).Int(TDR_TAG_SD_LABEL_ATB, 1);
  GeoRef(w, 100);
  w.Int(TDR_TAG_BK_CMAPTABLE, 0).Int(TDR_TAG_SD_LABEL_ATB, 2);
  ColourMap(w);
  GeoRef(w, 300);
  w.Int(TDR_TAG_SD_LABEL, 6).Int(TDR_TAG_SD_LABEL_ATB, 3);
  ASSERT_TRUE(w.Close());

  Scene scene(path);
  ASSERT_EQ(Children(scene.root).size(), 2u);
  SettingsObject* first = scene.child(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->value, 5);
  EXPECT_EQ(first->setting, 2);
  EXPECT_FLOAT_EQ(first->GetBounds(0)[0], 300.0f);
  EXPECT_NE(first->GetColorMap(), nullptr);
  EXPECT_EQ(scene.child(1)->value, 6);
  EXPECT_EQ(scene.child(1)->setting, 3);
}

TEST_F(TrailingRecords, OuterFileRecordsAfterAFilePointerWin) {
  const std::string inner = m_dir.file("inner.sd"), outer = m_dir.file("outer.sd");
  {
    FileWriter w(inner);
    w.Int(TDR_TAG_SD_LABEL, 5).Int(TDR_TAG_SD_LABEL_ATB, 1);
    GeoRef(w, 100);
    ASSERT_TRUE(w.Close());
  }
  FileWriter w(outer);
  w.Pointer(TDR_TAG_SD_LABEL, inner);
  GeoRef(w, 700);
  w.Int(TDR_TAG_SD_LABEL_ATB, 9).Int(TDR_TAG_SD_LABEL, 6);
  ASSERT_TRUE(w.Close());

  Scene scene(outer);
  ASSERT_EQ(Children(scene.root).size(), 2u);
  SettingsObject* first = scene.child(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->value, 5);
  EXPECT_EQ(first->setting, 9);
  EXPECT_FLOAT_EQ(first->GetBounds(0)[0], 700.0f);
  EXPECT_STREQ(first->GetName(), "inner.sd") << "named after the file that holds its record";
  EXPECT_EQ(scene.child(1)->value, 6);
}
