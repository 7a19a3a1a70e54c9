// VR terrain model: records in both byte orders, saving as a pointer to the
// file it came from, old settings records, the texture and cell operations.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "VRTestSupport.h"

using dtm_test::Bytes;
using dtm_test::ReadSD;
using dtm_test::SDWriter;
using dtm_test::WriteSD;
using orvanta_test::TempDir;
using vr_test::kNoData;
using vr_test::MakeVR;

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExpectSameTerrain(Sd_VRDTM* a, Sd_VRDTM* b) {
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->GetRows(), b->GetRows());
  ASSERT_EQ(a->GetCols(), b->GetCols());
  for (int r = 0; r < a->GetRows(); ++r) {
    for (int c = 0; c < a->GetCols(); ++c) {
      ASSERT_EQ(a->GetElevationGrid()[r][c], b->GetElevationGrid()[r][c]);
      ASSERT_EQ(a->GetColorGrid()[r][c], b->GetColorGrid()[r][c]);
    }
  }
  EXPECT_EQ(a->GetNoDataCode(), b->GetNoDataCode());
  EXPECT_EQ(a->GetMode(), b->GetMode());
  EXPECT_EQ(a->GetDrawStep(), b->GetDrawStep());
  EXPECT_EQ(a->GetPassStep(), b->GetPassStep());
  EXPECT_EQ(a->GetSpareSetting(), b->GetSpareSetting());
  EXPECT_EQ(a->GetAlpha(), b->GetAlpha());
  EXPECT_FLOAT_EQ(a->GetBounds(0)[1], b->GetBounds(0)[1]);
}

}  // namespace

// Written in either byte order, the terrain reads back whole; a loaded
// terrain saves a file-pointer record to its file (no grids), which reads
// back as the same terrain with the saved settings; saved into its own file
// it writes its grids instead.
TEST(VRDTM, LoadsInBothByteOrdersAndSavesAPointerToItsFile) {
  TempDir dir;
  auto made = MakeVR(9, 12, 3, 4, 5, 7);
  made->SetMode(2);
  made->SetDrawStep(3);
  made->SetPassStep(2);
  made->SetSpareSetting(9);
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    const std::string source = dir.file("vr" + std::to_string(order) + ".sd");
    ASSERT_TRUE(WriteSD(source, {made.get()}, order));
    auto in = ReadSD(source);
    Sd_VRDTM* loaded = in->Terrain<Sd_VRDTM>(0);
    ExpectSameTerrain(made.get(), loaded);
    EXPECT_STREQ(loaded->className(), "VR-DTM");
    EXPECT_EQ(loaded->GetType(), 29);
    EXPECT_FLOAT_EQ(*loaded->GetScale('z'), 0.2f);

    loaded->SetDrawStep(6);
    const std::string saved = dir.file("saved.sd");
    ASSERT_TRUE(WriteSD(saved, {loaded}));
    const std::string bytes = FileBytes(saved);
    EXPECT_NE(bytes.find(source), std::string::npos) << "the pointer names the source";
    EXPECT_LT(bytes.size(), 400u) << "no grids";
    auto again = ReadSD(saved);
    ExpectSameTerrain(loaded, again->Terrain<Sd_VRDTM>(0));
    EXPECT_EQ(again->Terrain<Sd_VRDTM>(0)->GetDrawStep(), 6);

    ASSERT_TRUE(WriteSD(source, {loaded}));
    EXPECT_GT(FileBytes(source).size(), 9u * 12u * 6u);
    auto same = ReadSD(source);
    ExpectSameTerrain(loaded, same->Terrain<Sd_VRDTM>(0));
  }
}

// Old records start with a format word (object and settings record alike);
// a terrain whose grid records are missing is refused with its message and
// the next object still loads.
TEST(VRDTM, FormatWordsOfOldRecordsAndMissingGrids) {
  TempDir dir;
  auto made = MakeVR(4, 5);
  const std::string path = dir.file("old.sd");
  SDWriter w(path);
  dtm_test::WriteGridRecords(w, TDR_TAG_SD_VRDTM, made.get(), 0, Bytes(kNoData));
  w.Raw(TDR_TAG_SD_VRDTM_ATB, Bytes(1.0f) + Bytes(short(0)) + Bytes(128) + Bytes(4) + Bytes(3) + Bytes(11), 0);
  w.Raw(TDR_TAG_SD_VRDTM, Bytes(kNoData)).Object(made.get());
  ASSERT_TRUE(w.Close());

  dtm_test::Messages messages;
  auto in = ReadSD(path);
  ASSERT_EQ(in->children.size(), 2u);
  Sd_VRDTM* old = in->Terrain<Sd_VRDTM>(0);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->GetNoDataCode(), kNoData);
  EXPECT_EQ(old->GetMode(), 0);
  EXPECT_EQ(old->GetAlpha(), 128);
  EXPECT_EQ(old->GetDrawStep(), 4);
  EXPECT_EQ(old->GetPassStep(), 3);
  EXPECT_EQ(old->GetSpareSetting(), 11);
  ASSERT_NE(in->Terrain<Sd_VRDTM>(1), nullptr);
  EXPECT_TRUE(messages.Contains("ERROR:  Reading tag for loading VR DTM  -  expected TDR_TAG_SCALAR!"));
}

// Codes of cells, texture mode without a texture, the texture's file name
// (cut to 255 characters), a failed load keeping the texture, and a released
// texture staying loaded with texturing off.
TEST(VRDTM, CellCodesAndTextureOperations) {
  TempDir dir;
  auto dtm = MakeVR(6, 8, 2, 2, 3, 3);
  EXPECT_EQ(dtm->GetElevationCode(8, 0), 0.0);
  EXPECT_EQ(dtm->GetElevationCode(-1, 2), 0.0);
  EXPECT_EQ(dtm->GetElevationCode(3, 2), -65535.0);
  EXPECT_EQ(dtm->GetElevationCode(4, 2), 30020.0);

  {
    dtm_test::Messages messages;
    dtm->SetMode(4);
    EXPECT_EQ(dtm->GetMode(), 4);
    EXPECT_FALSE(dtm->TextureOn());
    EXPECT_TRUE(messages.Contains("Sd_VRDTM::SetMode() -- No texture loaded.  Not going in texture mode."));
  }

  // A path of 300 characters would be cut to another name: refused.
  std::string folder = dir.file(std::string(200 - dir.path().size(), 'd'));
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string image = folder + "/" + std::string(299 - folder.size() - 4, 'i') + ".png";
  ASSERT_EQ(image.size(), 300u);
  ASSERT_TRUE(vr_test::WriteCheckerImage(image));
  {
    dtm_test::Messages messages;
    EXPECT_EQ(dtm->LoadTexture(image.c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR:  Texture file name too long"));
  }
  const std::string fits = image.substr(0, 251) + ".png";
  ASSERT_TRUE(vr_test::WriteCheckerImage(fits));
  ASSERT_EQ(dtm->LoadTexture(fits.c_str()), 0);
  char name[256];
  EXPECT_EQ(std::string(dtm->GetTextureFileName(name)), fits);
  {
    dtm_test::Messages messages;
    EXPECT_EQ(dtm->LoadTexture(dir.file("none.png").c_str()), -1);
    EXPECT_TRUE(messages.Contains("ERROR:  Loading texture  -  "));
  }
  EXPECT_EQ(std::string(dtm->GetTextureFileName(name)), fits);
  dtm->SetMode(4);
  EXPECT_TRUE(dtm->TextureOn());
  dtm->ReleaseTexture();
  EXPECT_TRUE(dtm->HasTexture());
  EXPECT_FALSE(dtm->TextureOn());
}
