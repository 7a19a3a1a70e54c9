// The terrain seed files of the scene-file fuzzer (tests/fuzz/corpus): small
// SD files with uniform terrain records, made with the project's writers.
// The test checks that each one reads as intended; with ORVANTA_WRITE_CORPUS
// set to a folder it also stores them there (how the committed seeds were
// made).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TestSupport.h"

using dtm_test::Bytes;
using dtm_test::SDWriter;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

std::unique_ptr<Sd_BasicDTM> SeedTerrain() {
  auto dtm = dtm_test::MakeDTM(6, 8);
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 8; ++c) dtm->GetColorGrid()[r][c] = PackColour(30 * c, 40 * r, 90, 255);
  }
  dtm->SetLODStep(2);
  return dtm;
}

bool WriteUniform(const std::string& path, int byteOrder) {
  auto dtm = SeedTerrain();
  SDWriter w(path, byteOrder);
  w.Object(dtm.get());
  return w.Close();
}

// Older layouts: an object record of tag version 0 (with its format word)
// and settings of versions 0 and 1; then a record with colours of another
// size (refused) and a current one.
bool WriteLegacy(const std::string& path) {
  auto dtm = SeedTerrain();
  auto other = dtm_test::MakeDTM(3, 3);
  SDWriter w(path);
  TDR_Manager* m = w.Manager();
  w.Raw(TDR_TAG_SD_BASICDTM, Bytes(1.0f), 0);
  bool ok = m->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && dtm->SaveElevations(m) == 0 && m->EndTag() == 0;
  ok = ok && dtm->SaveColors(m) == 0 && dtm->Sd_Node::WriteCommonTags(m) == 0;
  const std::string v1 = Bytes<short>(0) + Bytes(200) + Bytes(3) + Bytes(0) + Bytes(0);
  w.Raw(TDR_TAG_SD_BASICDTM_ATB, Bytes(2.0f) + v1, 0);
  w.Raw(TDR_TAG_SD_BASICDTM_ATB, v1, 1);
  w.Raw(TDR_TAG_SD_BASICDTM, "");
  ok = ok && m->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && dtm->SaveElevations(m) == 0 && m->EndTag() == 0;
  ok = ok && other->SaveColors(m) == 0;
  w.Object(dtm.get());
  return w.Close() && ok;
}

struct Seed {
  const char* name;
  std::function<bool(const std::string&)> write;
  int terrains;  // uniform terrain objects that ReadSDFile gives
};

}  // namespace

TEST(TerrainCorpus, SeedFilesReadAsIntended) {
  const Seed seeds[] = {
      {"uniform-dtm.sd", [](const std::string& p) { return WriteUniform(p, 1); }, 1},
      {"uniform-dtm-big-endian.sd", [](const std::string& p) { return WriteUniform(p, 0); }, 1},
      {"uniform-dtm-legacy.sd", WriteLegacy, 2},
  };
  ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
  TempDir dir;
  const char* out = getenv("ORVANTA_WRITE_CORPUS");
  const long live = Sd_Node::LiveCount();
  for (const Seed& s : seeds) {
    SCOPED_TRACE(s.name);
    const std::string path = dir.file(s.name);
    ASSERT_TRUE(s.write(path));
    EXPECT_LT(ReadFileBytes(path).size(), 8192u);
    dtm_test::Messages quiet;
    Sd_Parent* root = new Sd_Parent();
    Sd_IOSupport(root).ReadSDFile(path.c_str());
    int terrains = 0;
    for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) {
      Sd_BasicDTM* dtm = dynamic_cast<Sd_BasicDTM*>(c);
      ASSERT_NE(dtm, nullptr);
      EXPECT_EQ(dtm->GetRows(), 6);
      EXPECT_EQ(dtm->GetColorGrid()[5][7], PackColour(210, 200, 90, 255));
      ++terrains;
    }
    EXPECT_EQ(terrains, s.terrains);
    Sd_GroupNode::DeleteTree(root);
    if (out && *out) {
      EXPECT_TRUE(WriteFileBytes(std::string(out) + "/" + s.name, ReadFileBytes(path)));
    }
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}
