// The non-contiguous terrain seed files of the scene-file fuzzer
// (tests/fuzz/corpus): small SD files made with the project's writers. The
// test checks that each one reads as intended; with ORVANTA_WRITE_CORPUS set
// to a folder it also stores them there (how the committed seeds were made).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "SonarTestSupport.h"
#include "TestSupport.h"

using dtm_test::Bytes;
using dtm_test::kEmpty;
using dtm_test::SDWriter;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// 6 x 8 nodes, a gap of two nodes in row 2 and a lone empty node at (4, 6),
// with alternate values.
std::unique_ptr<Sd_SonarDTM> SeedTerrain() {
  auto dtm = dtm_test::MakeSonar(6, 8, 2, 2, 3, 4);
  dtm->GetElevationGrid()[4][6] = kEmpty;
  dtm_test::AddAltValues(dtm.get());
  dtm->SetLODStep(2);
  return dtm;
}

bool WriteCurrent(const std::string& path, int byteOrder) {
  auto dtm = SeedTerrain();
  SDWriter w(path, byteOrder);
  w.Object(dtm.get());
  return w.Close();
}

// Older and damaged layouts: an object record of tag version 0 (with its
// format word) and settings of versions 0 and 1; a record whose colours are
// missing (refused; the next object follows at once); alternate values of
// another size (dropped); then a current record.
bool WriteLegacy(const std::string& path) {
  auto dtm = SeedTerrain();
  auto other = dtm_test::MakeSonar(3, 8);
  dtm_test::AddAltValues(other.get());
  SDWriter w(path);
  TDR_Manager* m = w.Manager();
  w.Raw(TDR_TAG_SD_SONARDTM, Bytes(1.0f) + Bytes<unsigned short>(kEmpty), 0);
  bool ok = m->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && dtm->SaveElevations(m) == 0 && m->EndTag() == 0;
  ok = ok && dtm->SaveColors(m) == 0 && dtm->Sd_Node::WriteCommonTags(m) == 0;
  const std::string v1 = Bytes<short>(0) + Bytes(200) + Bytes(3) + Bytes(0) + Bytes(0);
  w.Raw(TDR_TAG_SD_SONARDTM_ATB, Bytes(2.0f) + v1, 0);
  w.Raw(TDR_TAG_SD_SONARDTM_ATB, v1, 1);
  ok = ok && other->SaveAltValues(m) == 0;
  w.Raw(TDR_TAG_SD_SONARDTM, Bytes<unsigned short>(kEmpty));
  ok = ok && m->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && dtm->SaveElevations(m) == 0 && m->EndTag() == 0;
  w.Object(dtm.get());
  return w.Close() && ok;
}

struct Seed {
  const char* name;
  std::function<bool(const std::string&)> write;
  int terrains;   // non-contiguous terrains that ReadSDFile gives
  int altValues;  // of which carry alternate values
};

}  // namespace

TEST(SonarCorpus, SeedFilesReadAsIntended) {
  const Seed seeds[] = {
      {"sonar-dtm.sd", [](const std::string& p) { return WriteCurrent(p, 1); }, 1, 1},
      {"sonar-dtm-big-endian.sd", [](const std::string& p) { return WriteCurrent(p, 0); }, 1, 1},
      {"sonar-dtm-legacy.sd", WriteLegacy, 2, 1},
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
    int terrains = 0, alt = 0;
    for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) {
      Sd_SonarDTM* dtm = dynamic_cast<Sd_SonarDTM*>(c);
      ASSERT_NE(dtm, nullptr);
      EXPECT_EQ(dtm->GetRows(), 6);
      EXPECT_TRUE(dtm->IsEmpty(4, 6));
      EXPECT_TRUE(dtm->IsEmpty(2, 3));
      EXPECT_FALSE(dtm->IsEmpty(2, 5));
      EXPECT_EQ(dtm->GetColorGrid()[5][7], PackColour(70, 50, 200, 255));
      EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5400.0, nullptr), 1e12) << "next to the gap";
      ++terrains;
      alt += dtm->HasAltValues();
    }
    EXPECT_EQ(terrains, s.terrains);
    EXPECT_EQ(alt, s.altValues);
    Sd_GroupNode::DeleteTree(root);
    if (out && *out) {
      EXPECT_TRUE(WriteFileBytes(std::string(out) + "/" + s.name, ReadFileBytes(path)));
    }
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}
