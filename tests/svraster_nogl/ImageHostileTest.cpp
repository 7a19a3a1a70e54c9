// Truncated and hostile image files: every read fails with a message,
// leaves the image as it was, never ends the process, and allocates nothing
// above the pixel cap, nor, for uncompressed pixels, above what the file
// holds (the allocation watch of the sanitizer build).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <tiffio.h>
#include <zlib.h>

#include "../tdr/TdrTestUtil.h"
#include "AllocationWatch.h"
#include "ImageTestUtil.h"
#include "Sv_ImageIO.h"
#include "TestSupport.h"

using image_test::MakePattern;
using image_test::SamePixels;
using orvanta_test::AllocationWatch;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using tdr_test::DebugOutput;

namespace {

// A lower pixel cap for the test, so that "nothing above the cap" is a
// bound worth checking: 64 K pixels, 256 KiB as RGBA.
constexpr long long kTestCap = 1 << 16;

class ImageHostile : public ::testing::Test {
 protected:
  void SetUp() override { Sv_ImageIO::SetMaxPixels(kTestCap); }
  void TearDown() override { Sv_ImageIO::SetMaxPixels(0); }

  // The bytes, written to a file, are refused: -1, a message, the image
  // unchanged, and no allocation above the bound.
  void ExpectRefused(const std::string& bytes, size_t bound) {
    // A new file each time: truncating one file over and over is slow on
    // some file systems.
    const std::string path = m_dir.file("bad" + std::to_string(++m_files));
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    Sv_ImageIO image, before;
    MakePattern(&image, 2, 3, SV_2D_GREY_ALPHA);
    MakePattern(&before, 2, 3, SV_2D_GREY_ALPHA);
    DebugOutput out;
    AllocationWatch watch;
    const int result = image.ReadImage(path.c_str());
    watch.Stop();
    std::remove(path.c_str());
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(out.Text().empty());
    EXPECT_TRUE(SamePixels(image, before));
    EXPECT_LE(watch.Largest(), AllocationWatch::kFixedAllocations + bound);
  }

  std::string Written(int type, int option, int format = SV_2D_RGB) {
    Sv_ImageIO image;
    MakePattern(&image, 16, 12, format);
    const std::string path = m_dir.file("good");
    EXPECT_EQ(image.WriteImage(path.c_str(), type, option), 0);
    return ReadFileBytes(path);
  }

  TempDir m_dir;
  int m_files = 0;
};

// The offset of a TIFF directory entry's value (little-endian file).
size_t TiffEntryValue(const std::string& b, uint16_t tag) {
  uint32_t ifd;
  uint16_t count;
  std::memcpy(&ifd, b.data() + 4, 4);
  std::memcpy(&count, b.data() + ifd, 2);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t entry = ifd + 2 + 12 * static_cast<size_t>(i);
    uint16_t id;
    std::memcpy(&id, b.data() + entry, 2);
    if (id == tag) return entry + 8;
  }
  ADD_FAILURE() << "no TIFF tag " << tag;
  return 0;
}

// Width and height of a TIFF (32-bit LONG entries, as libtiff writes them).
std::string TiffClaiming(std::string b, uint32_t width, uint32_t height) {
  std::memcpy(&b[TiffEntryValue(b, TIFFTAG_IMAGEWIDTH)], &width, 4);
  std::memcpy(&b[TiffEntryValue(b, TIFFTAG_IMAGELENGTH)], &height, 4);
  return b;
}

std::string JpegClaiming(std::string b, uint16_t width, uint16_t height) {
  const size_t sof = b.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  b[sof + 5] = static_cast<char>(height >> 8);
  b[sof + 6] = static_cast<char>(height & 0xFF);
  b[sof + 7] = static_cast<char>(width >> 8);
  b[sof + 8] = static_cast<char>(width & 0xFF);
  return b;
}

// IHDR's width and height, with its checksum made right again.
std::string PngClaiming(std::string b, uint32_t width, uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    b[16 + i] = static_cast<char>(width >> (24 - 8 * i));
    b[20 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(b.data() + 12), 17);
  for (int i = 0; i < 4; ++i) b[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return b;
}

}  // namespace

TEST_F(ImageHostile, EveryPrefixOfSmallFilesIsRefused) {
  const struct {
    const char* what;
    std::string bytes;
    bool raw;  // uncompressed pixels: allocations bounded by the file
  } files[] = {
      {"uncompressed TIFF", Written(SV_IMAGE_TIFF, COMPRESSION_NONE), true},
      {"LZW TIFF", Written(SV_IMAGE_TIFF, COMPRESSION_LZW), false},
      {"JPEG", Written(SV_IMAGE_JPEG, 90), false},
      {"PNG", Written(SV_IMAGE_PNG, 0, SV_2D_RGBA), false},
  };
  for (const auto& f : files) {
    for (size_t cut = 0; cut < f.bytes.size(); ++cut) {
      SCOPED_TRACE(std::string(f.what) + " cut at " + std::to_string(cut));
      ExpectRefused(f.bytes.substr(0, cut), f.raw ? cut : 4 * kTestCap);
      if (HasFailure()) return;
    }
  }
}

TEST_F(ImageHostile, SizesClaimingGigabytesAreRefusedBeforeAllocating) {
  const std::string rawTiff = Written(SV_IMAGE_TIFF, COMPRESSION_NONE);
  const std::string lzwTiff = Written(SV_IMAGE_TIFF, COMPRESSION_LZW);
  const std::string jpeg = Written(SV_IMAGE_JPEG, 90);
  const std::string png = Written(SV_IMAGE_PNG, 0);
  const struct {
    const char* what;
    std::string bytes;
    size_t bound;
  } cases[] = {
      {"TIFF of 60000 x 60000", TiffClaiming(lzwTiff, 60000, 60000), 0},
      {"TIFF of 4 G x 4 G", TiffClaiming(lzwTiff, 0xFFFFFFFFu, 0xFFFFFFFFu), 0},
      {"uncompressed TIFF larger than its file", TiffClaiming(rawTiff, 200, 200), 0},
      {"JPEG of 60000 x 60000", JpegClaiming(jpeg, 60000, 60000), 0},
      {"PNG of 60000 x 60000", PngClaiming(png, 60000, 60000), 0},
      // Within the cap, a compressed image may take its pixels before its
      // data turn out to be missing: never more than the cap.
      {"LZW TIFF of 250 x 250", TiffClaiming(lzwTiff, 250, 250), 4 * kTestCap},
      {"JPEG of 250 x 250", JpegClaiming(jpeg, 250, 250), 4 * kTestCap},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefused(c.bytes, c.bound);
  }
}
