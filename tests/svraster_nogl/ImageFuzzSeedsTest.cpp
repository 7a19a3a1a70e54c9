// The seeds of the image fuzz target (tests/fuzz/image-corpus, replayed by
// the ctest case image_fuzz_corpus): small files of each kind the writers
// make. ORVANTA_WRITE_CORPUS=<folder> writes them there; every run checks
// that the committed seeds read back as the images they were made from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <tiffio.h>

#include "ImageTestUtil.h"
#include "Sv_ImageIO.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using image_test::MakeSmooth;
using image_test::SamePixels;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

const int kRecord = 0;  // not a file type: the image record of a TDR file

struct Seed {
  const char* name;
  int type;
  int option;
  int format;
};

const Seed kSeeds[] = {
    {"rgb-lzw.tif", SV_IMAGE_TIFF, COMPRESSION_LZW, SV_2D_RGB},
    {"rgba-none.tif", SV_IMAGE_TIFF, COMPRESSION_NONE, SV_2D_RGBA},
    {"grey16-deflate.tif", SV_IMAGE_TIFF, COMPRESSION_ADOBE_DEFLATE, SV_2D_TERRAIN16},
    {"grey-alpha-packbits.tif", SV_IMAGE_TIFF, COMPRESSION_PACKBITS, SV_2D_GREY_ALPHA},
    {"geo-tiled.tif", SV_IMAGE_GEOTIFF, 0, SV_2D_RGB},  // tiles from ImageFormats
    {"rgb.jpg", SV_IMAGE_JPEG, 90, SV_2D_RGB},
    {"grey.jpg", SV_IMAGE_JPEG, 90, SV_2D_GREY},
    {"rgba.png", SV_IMAGE_PNG, 0, SV_2D_RGBA},
    {"grey16.png", SV_IMAGE_PNG, 0, SV_2D_TERRAIN16},
    {"record-rgba.sd", kRecord, 0, SV_2D_RGBA},
};

void MakeSeedImage(Sv_ImageIO* image, const Seed& seed) {
  MakeSmooth(image, 16, 12, seed.format == SV_2D_TERRAIN16 ? SV_2D_GREY : seed.format);
  if (seed.format == SV_2D_TERRAIN16) {
    Sv_ImageIO wide;
    ASSERT_EQ(wide.Allocate(16, 12, SV_2D_TERRAIN16), 0);
    for (int i = 0; i < 16 * 12; ++i) {
      const unsigned short v = static_cast<unsigned short>(image->GetData()[i] * 257);
      std::memcpy(wide.GetData() + 2 * i, &v, 2);
    }
    image->SetData(16, 12, wide.GetData(), SV_2D_TERRAIN16);
  }
  if (seed.type == SV_IMAGE_GEOTIFF) image->SetGeoRef(10.0, 26.0, 50.0, 62.0, 0.0, 0.0);
}

int WriteSeed(Sv_ImageIO& image, const Seed& seed, const std::string& path) {
  if (seed.type != kRecord) return image.WriteImage(path.c_str(), seed.type, seed.option);
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0 || image.SaveToTDR(&m) != 0 ||
      m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0) {
    return -1;
  }
  return m.CloseFile();
}

int ReadSeed(Sv_ImageIO* image, const Seed& seed, const std::string& path) {
  if (seed.type != kRecord) return image->ReadImage(path.c_str());
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "rb") != 0 || m.ReadHeader() != 0) return -1;
  return image->LoadFromTDR(&m);
}

}  // namespace

TEST(ImageFuzzSeeds, SeedFilesReadAsIntended) {
  TempDir dir;
  ScopedEnv conf("WRUCONFIGURATIONS", dir.path().c_str());
  ASSERT_TRUE(WriteFileBytes(dir.file("ImageFormats"), "1\nlzw\n16\n"));
  const char* writeTo = std::getenv("ORVANTA_WRITE_CORPUS");
  for (const Seed& seed : kSeeds) {
    SCOPED_TRACE(seed.name);
    Sv_ImageIO image;
    MakeSeedImage(&image, seed);
    const std::string fresh = dir.file(seed.name);
    ASSERT_EQ(WriteSeed(image, seed, fresh), 0);
    if (writeTo && *writeTo) {
      ASSERT_TRUE(WriteFileBytes(std::string(writeTo) + "/" + seed.name, ReadFileBytes(fresh)));
    }
    Sv_ImageIO read;
    ASSERT_EQ(ReadSeed(&read, seed, std::string(ORVANTA_IMAGE_CORPUS_DIR) + "/" + seed.name), 0)
        << "missing or unreadable seed; write them with ORVANTA_WRITE_CORPUS=" ORVANTA_IMAGE_CORPUS_DIR;
    EXPECT_TRUE(SamePixels(read, image, seed.type == SV_IMAGE_JPEG ? 16 : 0));
    EXPECT_EQ(read.HasGeoRef(), seed.type == SV_IMAGE_GEOTIFF);
  }
}
