// The non-contiguous terrain seed files of the scene-file fuzzer
// (tests/fuzz/corpus/dtm). The test checks that each one reads as intended; with
// ORVANTA_WRITE_CORPUS set to a folder it also stores them there (how the
// committed seeds were made).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CorpusTestSupport.h"

using dtm_test::Bytes;
using dtm_test::kEmpty;
using dtm_test::SDWriter;

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
  return dtm_test::WriteSD(path, {SeedTerrain().get()}, byteOrder);
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
  const std::string emptyCode = Bytes<unsigned short>(kEmpty);
  bool ok = dtm_test::WriteOldLayout(w, TDR_TAG_SD_SONARDTM, TDR_TAG_SD_SONARDTM_ATB, dtm.get(), emptyCode);
  ok = ok && other->SaveAltValues(w.Manager()) == 0;
  w.Raw(TDR_TAG_SD_SONARDTM, emptyCode).Elevations(dtm.get());
  w.Object(dtm.get());
  return w.Close() && ok;
}

}  // namespace

TEST(SonarCorpus, SeedFilesReadAsIntended) {
  dtm_test::CheckCorpusSeeds<Sd_SonarDTM>(
      {
          {"sonar-dtm.sd", [](const std::string& p) { return WriteCurrent(p, 1); }, 1, 1},
          {"sonar-dtm-big-endian.sd", [](const std::string& p) { return WriteCurrent(p, 0); }, 1, 1},
          {"sonar-dtm-legacy.sd", WriteLegacy, 2, 1},
      },
      [](Sd_SonarDTM* dtm) {
        EXPECT_EQ(dtm->GetRows(), 6);
        EXPECT_TRUE(dtm->IsEmpty(4, 6));
        EXPECT_TRUE(dtm->IsEmpty(2, 3));
        EXPECT_FALSE(dtm->IsEmpty(2, 5));
        EXPECT_EQ(dtm->GetColorGrid()[5][7], PackColour(70, 50, 200, 255));
        EXPECT_EQ(dtm->GeoPickPoint(1500.0, 5400.0, nullptr), 1e12) << "next to the gap";
      });
}
