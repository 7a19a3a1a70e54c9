// The scalar volume's records, settings and value mapping: a volume behind a
// file pointer read through the object factory in both byte orders, refused
// records, saving, the iso-value and step rules, and the lists through any
// order of detail changes.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Sd_AlignmentNode.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Volume.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Scalar.h"
#include "TestSupport.h"
#include "VolumeTestSupport.h"

namespace {

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;

// Collects what is sent at debug level (which goes to the error stream)
// while it lives.
class DebugMessages {
 public:
  DebugMessages() : m_level(Sv_Debug::GetLevel()) {
    Sv_Debug::SetLevel(-1);
    testing::internal::CaptureStderr();
  }
  ~DebugMessages() { Text(); }
  const std::string& Text() {
    if (!m_done) {
      m_text = testing::internal::GetCapturedStderr();
      Sv_Debug::SetLevel(m_level);
      m_done = true;
    }
    return m_text;
  }
  bool Contains(const char* fragment) { return Text().find(fragment) != std::string::npos; }

 private:
  int m_level;
  bool m_done = false;
  std::string m_text;
};

struct Scene {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  ~Scene() { Sd_GroupNode::DeleteTree(root); }
  std::vector<Sd_Volume*> Volumes() {
    std::vector<Sd_Volume*> out;
    for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) out.push_back(dynamic_cast<Sd_Volume*>(c));
    return out;
  }
};

// 5 x 4 samples in 3 slices: a block of 100 with one stored byte 200 (the
// sample -56) in the second slice.
std::vector<signed char> BlockSamples() {
  std::vector<signed char> s(60, 0);
  for (int k = 0; k < 3; ++k) {
    for (int i = 1; i < 4; ++i) {
      for (int j = 1; j < 3; ++j) s[(k * 5 + i) * 4 + j] = 100;
    }
  }
  s[(1 * 5 + 4) * 4 + 3] = static_cast<signed char>(200);
  return s;
}

TEST(VolumeRecords, AVolumeBehindAFilePointerLoadsInBothByteOrders) {
  TempDir dir;
  const std::vector<signed char> samples = BlockSamples();
  for (int order : {1, 0}) {
    SCOPED_TRACE(order ? "little-endian" : "big-endian");
    const std::string data = dir.file(order ? "block.vol" : "block-be.vol");
    const std::string scene = dir.file("scene.sd");
    Sd_Volume written;
    ASSERT_EQ(written.SetSamples(5, 4, 3, samples.data()), 0);
    // Settings that differ from the defaults; the iso-value (about 40 on the
    // sample scale) cuts the block, the default 150 (no signed sample
    // reaches it) would not.
    written.SetIsoValue(4.0f);
    written.SetStep(2);
    written.SetVectorParam(2, 7.5f);
    written.SetModeFlag(3);
    ASSERT_TRUE(volume_test::WriteDataFile(written, data, order));
    // The scene holds no georeference: the bounds become index space.
    ASSERT_TRUE(volume_test::WriteScene(written, scene, data, order, false));

    Scene loaded;
    ASSERT_TRUE(Sd_IOSupport(loaded.root).ReadSDFile(scene.c_str()));
    ASSERT_EQ(loaded.Volumes().size(), 1u);
    Sd_Volume* v = loaded.Volumes()[0];
    ASSERT_TRUE(v);
    EXPECT_STREQ(v->GetName(), order ? "block.vol" : "block-be.vol");
    EXPECT_EQ(v->GetDescription(), data);
    ASSERT_EQ(v->GetDim1(), 5);
    ASSERT_EQ(v->GetDim2(), 4);
    ASSERT_EQ(v->GetSlices(), 5);
    EXPECT_EQ(v->GetSample(2, 4, 3), -56);
    EXPECT_EQ(v->GetSourceSample(2, 4, 3), -56);
    EXPECT_EQ(v->GetSample(1, 2, 1), 100);
    for (int k : {0, 4}) {
      for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_EQ(v->GetSample(k, i, j), 0) << k << " " << i << " " << j;
      }
    }
    const float expected[3][2] = {{0, 4}, {0, 3}, {0, 4}};
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_FLOAT_EQ(v->GetBounds(axis)[0], expected[axis][0]);
      EXPECT_FLOAT_EQ(v->GetBounds(axis)[1], expected[axis][1]);
    }
    EXPECT_FLOAT_EQ(v->GetCellSize(), 1.0f);
    EXPECT_EQ(v->GetStep(), 2);
    EXPECT_FLOAT_EQ(v->GetSampleIsoValue(), written.GetSampleIsoValue());
    EXPECT_NEAR(v->GetSampleIsoValue(), 40.25f, 0.25f);
    EXPECT_FLOAT_EQ(v->GetVectorParam(2), 7.5f);
    EXPECT_EQ(v->GetModeFlag(), 3);
    // The lists follow the settings record: the block's closed surface at
    // 40.5 in the full list, and a coarse list of its own.
    ASSERT_TRUE(v->GetFullSurface());
    EXPECT_GT(v->GetFullSurface()->TriangleCount(), 20u);
    ASSERT_TRUE(v->GetCoarseSurface());
    EXPECT_NE(v->GetCoarseSurface(), v->GetFullSurface());

    // Saved into another scene, it stays a pointer to its data file.
    auto save = [&](const std::string& path, int withAttributes) {
      TDR_Manager m;
      return m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && v->SaveObject(&m, withAttributes, 0) == 0 &&
             m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
    };
    // The file-pointer flag of the first record (offset 12 of its header).
    auto pointerFlag = [](const std::string& bytes) { return bytes[bytes.find("END_HEADER\n") + 11 + 12]; };
    const std::string again = dir.file("again.sd");
    ASSERT_TRUE(save(again, 1));
    EXPECT_EQ(pointerFlag(ReadFileBytes(again)), 1);
    EXPECT_NE(ReadFileBytes(again).find(data), std::string::npos);
    Scene reread;
    ASSERT_TRUE(Sd_IOSupport(reread.root).ReadSDFile(again.c_str()));
    ASSERT_EQ(reread.Volumes().size(), 1u);
    EXPECT_EQ(reread.Volumes()[0]->GetSample(2, 4, 3), -56);
    EXPECT_EQ(reread.Volumes()[0]->GetFullSurface()->TriangleCount(), v->GetFullSurface()->TriangleCount());

    // Saved into its own data file, it holds its samples (never a pointer
    // to the file being written).
    ASSERT_TRUE(save(data, 0));
    EXPECT_EQ(pointerFlag(ReadFileBytes(data)), 0);
    Scene own;
    ASSERT_TRUE(Sd_IOSupport(own.root).ReadSDFile(data.c_str()));
    EXPECT_EQ(own.Volumes()[0]->GetSample(2, 4, 3), -56);
  }
}

// A SCALAR record of another element type is refused with its message, and
// so are grids thinner than 2 x 2; the records after each are read.
// A volume whose iso-value no samples lie on both sides of draws an empty
// box: the load says so once, naming the file and the samples' range; a
// volume whose iso-value cuts its samples says nothing.
TEST(VolumeRecords, AnIsoValueOutsideTheSamplesIsReportedOnceWithFileAndRange) {
  TempDir dir;
  Sd_Volume written;
  ASSERT_EQ(written.SetSamples(5, 4, 3, BlockSamples().data()), 0);
  // Without a settings record the iso-value is 150 on the sample scale.
  const std::string alone = dir.file("alone.vol");
  ASSERT_TRUE(volume_test::WriteDataFile(written, alone));
  written.SetIsoValue(4.0f);
  written.SetStep(1);
  const std::string cut = dir.file("cut.vol"), scene = dir.file("scene.sd");
  ASSERT_TRUE(volume_test::WriteDataFile(written, cut));
  ASSERT_TRUE(volume_test::WriteScene(written, scene, cut));
  {
    orvanta_test::MessageCapture messages(-3);
    Scene loaded;
    ASSERT_TRUE(Sd_IOSupport(loaded.root).ReadSDFile(alone.c_str()));
    ASSERT_EQ(messages.messages().size(), 1u) << messages.All();
    EXPECT_EQ(messages.messages()[0].first, SV_LEVEL_WARNING);
    const std::string& text = messages.messages()[0].second;
    EXPECT_NE(text.find(alone), std::string::npos) << text;
    EXPECT_NE(text.find("iso-value 150 lies outside the range of its samples, -56 to 100"), std::string::npos) << text;
  }
  orvanta_test::MessageCapture messages(-3);
  Scene loaded;
  ASSERT_TRUE(Sd_IOSupport(loaded.root).ReadSDFile(scene.c_str()));
  EXPECT_TRUE(messages.messages().empty()) << messages.All();
  ASSERT_EQ(loaded.Volumes().size(), 1u);
  EXPECT_GT(loaded.Volumes()[0]->GetTriangleCount(), 0);
}

TEST(VolumeRecords, RefusedRecordsCostOnlyTheirObject) {
  TempDir dir;
  const std::string path = dir.file("mixed.sd");
  Sd_Volume good;
  const std::vector<signed char> samples = BlockSamples();
  ASSERT_EQ(good.SetSamples(5, 4, 3, samples.data()), 0);
  {
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    // An object record and a SCALAR record of the descriptor with n bytes.
    auto raw = [&](TDR_Scalar& scalar, const std::string& bytes) {
      return m.WriteTag(TDR_TAG_SD_VOLUME, 1, 0, 0, 1) == 0 && m.EndTag() == 0 &&
             m.WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && scalar.Write(&m) == 0 &&
             TDR_PayloadWriter(&m).Bytes(bytes.data(), static_cast<int>(bytes.size())) && m.EndTag() == 0;
    };
    // Type 2 (16 bits) with a complete payload of its own, then a volume
    // one sample wide; each followed by a sound volume.
    TDR_Scalar scalar;
    scalar.SetNumDimensions(3);
    scalar.SetDimension(1, 3);
    scalar.SetDimension(2, 3);
    scalar.SetDimension(3, 2);
    scalar.SetDataType(2);
    ASSERT_TRUE(raw(scalar, std::string(2 + 2 * 18, '\x01')));
    ASSERT_EQ(good.SaveObject(&m, 1, 0), 0);
    scalar.SetDimension(1, 1);
    scalar.SetDataType(TDR_TYPE_CHAR);
    ASSERT_TRUE(raw(scalar, std::string(2 + 6, '\x01')));
    ASSERT_EQ(good.SaveObject(&m, 1, 0), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  DebugMessages messages;
  Scene scene;
  Sd_IOSupport(scene.root).ReadSDFile(path.c_str());
  EXPECT_TRUE(messages.Contains("ERROR:  Reading TDR file for loading volume object - expected type char!"));
  EXPECT_TRUE(messages.Contains("at least 2 x 2 samples"));
  ASSERT_EQ(scene.Volumes().size(), 2u);
  for (Sd_Volume* v : scene.Volumes()) EXPECT_EQ(v->GetSample(2, 4, 3), -56);
}

TEST(VolumeSettings, IsoValueStepAndDetailSettings) {
  Sd_Volume v;
  EXPECT_FLOAT_EQ(v.GetIsoValue(), 15.0f);  // 150 on the sample scale
  EXPECT_EQ(v.GetStep(), 4);
  // A whole sample value gets a half added; a value outside the data range
  // is reported and applied all the same.
  v.SetIsoValue(15.0f);
  EXPECT_FLOAT_EQ(v.GetSampleIsoValue(), 150.5f);
  {
    DebugMessages messages;
    v.SetIsoValue(30.0f);
    EXPECT_TRUE(messages.Contains("Incorrect iso-value. Try again."));
  }
  EXPECT_FLOAT_EQ(v.GetSampleIsoValue(), 300.5f);
  EXPECT_FLOAT_EQ(v.ToByteValue(2.55f), 25.5f);
  v.SetStep(0);
  EXPECT_EQ(v.GetStep(), 1);
  v.SetStep(3);
  // Frame capture: keep, draw at full detail, restore (nothing rebuilt).
  v.SaveSettings();
  EXPECT_EQ(v.ResetSettings(), 1);
  EXPECT_EQ(v.GetStep(), 1);
  v.SetIsoValue(1.0f);
  v.RestoreSettings();
  EXPECT_EQ(v.GetStep(), 3);
  EXPECT_FLOAT_EQ(v.GetSampleIsoValue(), 300.5f);
}

// Steps, detail settings and rebuilds in any order never free a list that
// is still used (the coarse list is the full list exactly at step 1).
TEST(VolumeSettings, DetailChangesAndRebuildsInAnyOrderKeepTheListsSound) {
  const std::vector<signed char> samples = volume_test::Noise(6 * 5 * 4, 11, -20, 40);
  Sd_Volume v;
  v.SetIsoValue(0.0f);
  ASSERT_EQ(v.SetSamples(6, 5, 4, samples.data()), 0);
  std::mt19937 random(5);
  for (int n = 0; n < 400; ++n) {
    switch (random() % 6) {
      case 0: v.SetStep(static_cast<int>(random() % 4)); break;
      case 1: v.SaveSettings(); break;
      case 2: v.ResetSettings(); break;
      case 3: v.RestoreSettings(); break;
      case 4: v.RebuildSurface(); break;
      default: v.SetIsoValue(static_cast<float>(random() % 5)); break;
    }
    ASSERT_TRUE(v.GetFullSurface());
    ASSERT_TRUE(v.GetCoarseSurface());
    // Every list still in use can be read whole.
    for (const Sd_IsoSurface* list : {v.GetFullSurface(), v.GetCoarseSurface()}) {
      size_t refs = 0;
      for (size_t i = 0; i < list->VertexCount(); ++i) refs += list->Vertex(i).refs;
      ASSERT_EQ(refs, 3 * list->TriangleCount());
    }
  }
}

}  // namespace
