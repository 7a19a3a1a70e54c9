// The uniform terrain seed files of the scene-file fuzzer (tests/fuzz/corpus/dtm).
// The test checks that each one reads as intended; with ORVANTA_WRITE_CORPUS
// set to a folder it also stores them there (how the committed seeds were
// made).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CorpusTestSupport.h"

using dtm_test::SDWriter;

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
  return dtm_test::WriteSD(path, {SeedTerrain().get()}, byteOrder);
}

// Older layouts: an object record of tag version 0 (with its format word)
// and settings of versions 0 and 1; then a record with colours of another
// size (refused) and a current one.
bool WriteLegacy(const std::string& path) {
  auto dtm = SeedTerrain();
  auto other = dtm_test::MakeDTM(3, 3);
  SDWriter w(path);
  const bool ok = dtm_test::WriteOldLayout(w, TDR_TAG_SD_BASICDTM, TDR_TAG_SD_BASICDTM_ATB, dtm.get(), "");
  w.Raw(TDR_TAG_SD_BASICDTM, "").Elevations(dtm.get()).Colors(other.get());
  w.Object(dtm.get());
  return w.Close() && ok;
}

}  // namespace

TEST(TerrainCorpus, SeedFilesReadAsIntended) {
  dtm_test::CheckCorpusSeeds<Sd_BasicDTM>(
      {
          {"uniform-dtm.sd", [](const std::string& p) { return WriteUniform(p, 1); }, 1},
          {"uniform-dtm-big-endian.sd", [](const std::string& p) { return WriteUniform(p, 0); }, 1},
          {"uniform-dtm-legacy.sd", WriteLegacy, 2},
      },
      [](Sd_BasicDTM* dtm) {
        EXPECT_EQ(dtm->GetRows(), 6);
        EXPECT_EQ(dtm->GetColorGrid()[5][7], PackColour(210, 200, 90, 255));
      });
}
