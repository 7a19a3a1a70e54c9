#ifndef ORVANTA_TESTS_SD_DTM_CORPUSTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_CORPUSTESTSUPPORT_H

// The terrain seed files of the scene-file fuzzer (tests/fuzz/corpus/dtm): small
// SD files made with the project's writers, checked by reading them back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SonarTestSupport.h"

namespace dtm_test {

// A seed file: its name, its writer, and what reading it through the
// factory gives.
struct CorpusSeed {
  const char* name;
  std::function<bool(const std::string&)> write;
  int terrains;       // top-level terrains of the tested class
  int altValues = 0;  // of which carry alternate values
};

inline int AltValueGrids(Sd_BasicDTM*) { return 0; }
inline int AltValueGrids(Sd_SonarDTM* dtm) { return dtm->HasAltValues(); }

// The oldest layout of a terrain object: the object record at tag version 0
// (its format word, then payload), the grid records of dtm, the common tags,
// and settings records of versions 0 and 1 (draw mode 0, alpha 200, stride 3).
inline bool WriteOldLayout(SDWriter& w, int objectTag, int settingsTag, Sd_BaseDTM* dtm, const std::string& payload) {
  WriteGridRecords(w, objectTag, dtm, 0, payload);
  const bool ok = dtm->Sd_Node::WriteCommonTags(w.Manager()) == 0;
  w.Raw(settingsTag, Settings(0, 0, 200, 3, 0), 0);
  w.Raw(settingsTag, Settings(1, 0, 200, 3, 0), 1);
  return ok;
}

// Writes every seed into a fresh folder and reads it through the factory:
// each top-level object must be a DTM, which check inspects, the counts must
// be the seed's, and no node may be left alive. With ORVANTA_WRITE_CORPUS set
// to a folder the files are also stored there (how the committed seeds were
// made).
template <class DTM, class Check>
void CheckCorpusSeeds(const std::vector<CorpusSeed>& seeds, Check check) {
  ASSERT_EQ(Sd_RegisterTerrainClasses(), 0);
  orvanta_test::TempDir dir;
  const char* out = getenv("ORVANTA_WRITE_CORPUS");
  const long live = Sd_Node::LiveCount();
  for (const CorpusSeed& s : seeds) {
    SCOPED_TRACE(s.name);
    const std::string path = dir.file(s.name);
    ASSERT_TRUE(s.write(path));
    EXPECT_LT(orvanta_test::ReadFileBytes(path).size(), 8192u);
    Messages quiet;
    Sd_Parent* root = new Sd_Parent();
    Sd_IOSupport(root).ReadSDFile(path.c_str());
    int terrains = 0, alt = 0;
    for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) {
      DTM* dtm = dynamic_cast<DTM*>(c);
      ASSERT_NE(dtm, nullptr);
      check(dtm);
      ++terrains;
      alt += AltValueGrids(dtm);
    }
    EXPECT_EQ(terrains, s.terrains);
    EXPECT_EQ(alt, s.altValues);
    Sd_GroupNode::DeleteTree(root);
    if (out && *out) {
      EXPECT_TRUE(orvanta_test::WriteFileBytes(std::string(out) + "/" + s.name, orvanta_test::ReadFileBytes(path)));
    }
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}

}  // namespace dtm_test

#endif
