// Image files: round trips through TIFF (plain, compressed, tiled), PNG and
// JPEG, upright files, the TIFF kinds other programs write, georeferences
// from GeoTIFF keys and world files, and the writer's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "ImageTestUtil.h"
#include "Sv_ImageIO.h"
#include "Sv_WorldFile.h"
#include "TestSupport.h"

using image_test::MakePattern;
using image_test::MakeSmooth;
using image_test::SamePixels;
using orvanta_test::MessageCapture;
using orvanta_test::ReadFileBytes;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// "ImageFormats" in a configuration folder of the test's own.
void WriteImageFormats(const TempDir& dir, const std::string& lines) {
  ASSERT_TRUE(WriteFileBytes(dir.file("ImageFormats"), "# image writing\n1\n" + lines));
}

}  // namespace

TEST(ImageFile, TiffRoundTripsExactlyPlainCompressedAndTiled) {
  TempDir dir;
  ScopedEnv conf("WRUCONFIGURATIONS", dir.path().c_str());
  const std::string path = dir.file("image.tif");
  const struct {
    const char* formats;  // the ImageFormats lines
    int option;           // WriteImage's compression override
    int compression;      // expected in the file
    bool tiled;
  } variants[] = {
      {"none\n0\n", 0, COMPRESSION_NONE, false},
      {"lzw\n0\n", 0, COMPRESSION_LZW, false},
      {"none\n0\n", COMPRESSION_PACKBITS, COMPRESSION_PACKBITS, false},
      {"deflate\n16\n", 0, COMPRESSION_ADOBE_DEFLATE, true},
  };
  for (const auto& v : variants) {
    WriteImageFormats(dir, v.formats);
    for (int format : {SV_2D_RGBA, SV_2D_RGB, SV_2D_GREY, SV_2D_GREY_ALPHA, SV_2D_TERRAIN16}) {
      SCOPED_TRACE(std::string(v.formats) + " format " + std::to_string(format));
      Sv_ImageIO written;
      MakePattern(&written, 37, 21, format);
      ASSERT_EQ(written.WriteImage(path.c_str(), SV_IMAGE_TIFF, v.option), 0);

      TIFF* tif = TIFFOpen(path.c_str(), "r");
      ASSERT_TRUE(tif);
      uint16_t compression = 0;
      TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
      EXPECT_EQ(compression, v.compression);
      EXPECT_EQ(TIFFIsTiled(tif) != 0, v.tiled);
      TIFFClose(tif);

      Sv_ImageIO read;
      ASSERT_EQ(read.ReadImage(path.c_str()), 0);
      EXPECT_TRUE(SamePixels(read, written));
    }
  }

  // BGR is written as RGB; any layout reads as RGBA on request.
  Sv_ImageIO bgr;
  MakePattern(&bgr, 5, 3, SV_2D_BGR);
  ASSERT_EQ(bgr.WriteImage(path.c_str(), SV_IMAGE_TIFF), 0);
  Sv_ImageIO rgba;
  ASSERT_EQ(rgba.ReadImage(path.c_str(), SV_IMAGE_DETECT, SV_2D_RGBA), 0);
  ASSERT_EQ(rgba.GetFormat(), SV_2D_RGBA);
  const unsigned char* in = bgr.GetRow(2) + 3 * 4;
  const unsigned char* out = rgba.GetRow(2) + 4 * 4;
  EXPECT_EQ(out[0], in[2]);
  EXPECT_EQ(out[1], in[1]);
  EXPECT_EQ(out[2], in[0]);
  EXPECT_EQ(out[3], 255);
}

TEST(ImageFile, PngRoundTripsExactly) {
  TempDir dir;
  const std::string path = dir.file("image.png");
  for (int format : {SV_2D_RGBA, SV_2D_RGB, SV_2D_GREY, SV_2D_GREY_ALPHA, SV_2D_TERRAIN16}) {
    SCOPED_TRACE("format " + std::to_string(format));
    Sv_ImageIO written;
    MakePattern(&written, 19, 11, format);
    ASSERT_EQ(written.WriteImage(path.c_str(), SV_IMAGE_PNG), 0);
    Sv_ImageIO read;
    ASSERT_EQ(read.ReadImage(path.c_str()), 0);
    EXPECT_TRUE(SamePixels(read, written));
  }
  // Grey as RGBA.
  Sv_ImageIO grey, rgba;
  MakePattern(&grey, 4, 4, SV_2D_GREY);
  ASSERT_EQ(grey.WriteImage(path.c_str(), SV_IMAGE_PNG), 0);
  ASSERT_EQ(rgba.ReadImage(path.c_str(), SV_IMAGE_PNG, SV_2D_RGBA), 0);
  const unsigned char expected[4] = {grey.GetRow(3)[2], grey.GetRow(3)[2], grey.GetRow(3)[2], 255};
  EXPECT_EQ(std::memcmp(rgba.GetRow(3) + 8, expected, 4), 0);
}

TEST(ImageFile, JpegRoundTripsWithinTolerance) {
  TempDir dir;
  const std::string path = dir.file("image.jpg");
  for (int format : {SV_2D_RGB, SV_2D_GREY}) {
    SCOPED_TRACE("format " + std::to_string(format));
    Sv_ImageIO written;
    MakeSmooth(&written, 64, 48, format);
    ASSERT_EQ(written.WriteImage(path.c_str(), SV_IMAGE_JPEG, 95), 0);
    Sv_ImageIO read;
    ASSERT_EQ(read.ReadImage(path.c_str()), 0);
    // Quality 95: grey samples within 2; colour within 12 (the colour
    // planes are stored at half resolution, which blurs the white corner's
    // edge; elsewhere the error is far smaller).
    EXPECT_TRUE(SamePixels(read, written, format == SV_2D_GREY ? 2 : 12));
    EXPECT_GE(read.GetRow(0)[0], 249);  // the marked corner
  }
  // RGBA is written without its alpha and read back as RGBA with alpha 255.
  Sv_ImageIO rgba, read;
  MakeSmooth(&rgba, 16, 16, SV_2D_RGBA);
  ASSERT_EQ(rgba.WriteImage(path.c_str(), SV_IMAGE_JPEG), 0);
  ASSERT_EQ(read.ReadImage(path.c_str(), SV_IMAGE_DETECT, SV_2D_RGBA), 0);
  ASSERT_EQ(read.GetFormat(), SV_2D_RGBA);
  EXPECT_EQ(read.GetRow(5)[4 * 9 + 3], 255);
}

// Other programs read the files as written: the first row in each file is
// the image's top row (its last row in memory).
TEST(ImageFile, FilesComeOutUpright) {
  TempDir dir;
  Sv_ImageIO image;
  MakeSmooth(&image, 24, 16, SV_2D_RGB);
  const unsigned char* top = image.GetRow(15);

  const std::string tif = dir.file("up.tif");
  ASSERT_EQ(image.WriteImage(tif.c_str(), SV_IMAGE_TIFF), 0);
  TIFF* t = TIFFOpen(tif.c_str(), "r");
  ASSERT_TRUE(t);
  std::vector<unsigned char> row(24 * 3);
  ASSERT_EQ(TIFFReadScanline(t, row.data(), 0, 0), 1);
  TIFFClose(t);
  EXPECT_EQ(std::memcmp(row.data(), top, row.size()), 0);

  const std::string png = dir.file("up.png");
  ASSERT_EQ(image.WriteImage(png.c_str(), SV_IMAGE_PNG), 0);
  png_image p;
  std::memset(&p, 0, sizeof p);
  p.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&p, png.c_str()));
  p.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(p));
  ASSERT_TRUE(png_image_finish_read(&p, nullptr, pixels.data(), 0, nullptr));
  EXPECT_EQ(std::memcmp(pixels.data(), top, 24 * 3), 0);

  const std::string jpg = dir.file("up.jpg");
  ASSERT_EQ(image.WriteImage(jpg.c_str(), SV_IMAGE_JPEG, 100), 0);
  FILE* f = std::fopen(jpg.c_str(), "rb");
  ASSERT_TRUE(f);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  JSAMPROW first = row.data();
  jpeg_read_scanlines(&cinfo, &first, 1);
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  EXPECT_LT(row[0], 200);  // the white corner block is at the bottom, not in the first row
}

// Kinds of TIFF this system does not write: palette images, and a bilevel
// image with separate planes that only libtiff's RGBA reader takes.
TEST(ImageFile, ReadsPaletteAndOtherTiffKinds) {
  TempDir dir;
  const std::string path = dir.file("palette.tif");
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_TRUE(t);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  std::vector<uint16_t> r(256), g(256), b(256);
  for (int i = 0; i < 256; ++i) {
    r[i] = static_cast<uint16_t>(i * 257);
    g[i] = static_cast<uint16_t>((255 - i) * 257);
    b[i] = 0x8000;
  }
  TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  unsigned char top[4] = {0, 1, 2, 3}, bottom[4] = {200, 201, 202, 203};
  TIFFWriteScanline(t, top, 0, 0);
  TIFFWriteScanline(t, bottom, 1, 0);
  TIFFClose(t);

  Sv_ImageIO image;
  ASSERT_EQ(image.ReadImage(path.c_str()), 0);
  ASSERT_EQ(image.GetFormat(), SV_2D_RGB);
  const unsigned char expected[3] = {201, 54, 128};  // index 201 in the bottom row
  EXPECT_EQ(std::memcmp(image.GetRow(0) + 3, expected, 3), 0);
  ASSERT_EQ(image.ReadImage(path.c_str(), SV_IMAGE_TIFF, SV_2D_RGBA), 0);
  EXPECT_EQ(image.GetRow(1)[4 * 3 + 0], 3);
  EXPECT_EQ(image.GetRow(1)[4 * 3 + 3], 255);

  const std::string bilevel = dir.file("bilevel.tif");
  t = TIFFOpen(bilevel.c_str(), "w");
  ASSERT_TRUE(t);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  unsigned char bits[2] = {0x80, 0x00};  // top row: first pixel black
  TIFFWriteScanline(t, &bits[0], 0, 0);
  TIFFWriteScanline(t, &bits[1], 1, 0);
  TIFFClose(t);
  ASSERT_EQ(image.ReadImage(bilevel.c_str()), 0);
  ASSERT_EQ(image.GetFormat(), SV_2D_RGBA);
  EXPECT_EQ(image.GetRow(1)[0], 0);    // top row, black
  EXPECT_EQ(image.GetRow(0)[0], 255);  // bottom row, white
}

TEST(ImageFile, GeoTiffAndWorldFilesKeepTheExtent) {
  TempDir dir;
  Sv_ImageIO image;
  MakePattern(&image, 40, 30, SV_2D_RGB);
  image.SetGeoRef(500000.0, 504000.0, 6100000.0, 6103000.0, 0.0, 0.0);
  auto expectExtent = [](const Sv_ImageIO& read) {
    ASSERT_TRUE(read.HasGeoRef());
    double g[6];
    read.GetGeoRef(g);
    EXPECT_NEAR(g[0], 500000.0, 1e-6);
    EXPECT_NEAR(g[1], 504000.0, 1e-6);
    EXPECT_NEAR(g[2], 6100000.0, 1e-6);
    EXPECT_NEAR(g[3], 6103000.0, 1e-6);
  };

  // GeoTIFF: the keys alone give the extent; the world file written beside
  // it gives the same.
  const std::string geo = dir.file("geo.tif");
  ASSERT_EQ(image.WriteImage(geo.c_str(), SV_IMAGE_GEOTIFF), 0);
  double extent[4];
  ASSERT_EQ(Sv_ReadWorldFile(geo.c_str(), 40, 30, extent), 0);
  EXPECT_NEAR(extent[0], 500000.0, 1e-6);
  EXPECT_NEAR(extent[3], 6103000.0, 1e-6);
  ASSERT_EQ(std::remove(dir.file("geo.tfw").c_str()), 0);
  Sv_ImageIO read;
  ASSERT_EQ(read.ReadImage(geo.c_str()), 0);
  expectExtent(read);

  // Plain TIFF: no keys, the world file beside it.
  const std::string plain = dir.file("plain.tif");
  ASSERT_EQ(image.WriteImage(plain.c_str(), SV_IMAGE_TIFF), 0);
  Sv_ImageIO noGeo;
  ASSERT_EQ(noGeo.ReadImage(plain.c_str()), 0);
  EXPECT_FALSE(noGeo.HasGeoRef());
  const double box[4] = {500000.0, 504000.0, 6100000.0, 6103000.0};
  ASSERT_EQ(Sv_WriteWorldFile(plain.c_str(), 40, 30, box), 0);
  ASSERT_EQ(read.ReadImage(plain.c_str()), 0);
  expectExtent(read);
}

TEST(ImageFile, WriteRefusalsLeaveTheTargetAlone) {
  TempDir dir;
  const std::string path = dir.file("kept.tif");
  ASSERT_TRUE(WriteFileBytes(path, "old contents"));
  Sv_ImageIO empty, image, wide;
  MakePattern(&image, 3, 3, SV_2D_RGB);
  ASSERT_EQ(wide.Allocate(3, 3, SV_2D_TERRAIN32), 0);

  MessageCapture messages;
  EXPECT_EQ(empty.WriteImage(path.c_str(), SV_IMAGE_TIFF), -1);
  EXPECT_TRUE(messages.Contains("No image to save!"));
  for (int type : {0, int(SV_IMAGE_GIF), int(SV_IMAGE_C_CODE), 14, 99}) {
    messages.Clear();
    EXPECT_EQ(image.WriteImage(path.c_str(), type), -1);
    EXPECT_TRUE(messages.Contains("Unsupported file type.")) << type;
  }
  messages.Clear();
  EXPECT_EQ(wide.WriteImage(path.c_str(), SV_IMAGE_TIFF), -1);
  EXPECT_EQ(image.WriteImage(path.c_str(), SV_IMAGE_TIFF, 34712), -1);  // JPEG 2000: not in libtiff here
  EXPECT_EQ(image.WriteImage(path.c_str(), SV_IMAGE_JPEG, 101), -1);
  EXPECT_EQ(messages.messages().size(), 3u) << messages.All();
  EXPECT_EQ(ReadFileBytes(path), "old contents");
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()).size(), 1u);  // no temporary file left
}

TEST(ImageFile, FailedReadsLeaveTheImageAsItWas) {
  TempDir dir;
  Sv_ImageIO image, before;
  MakePattern(&image, 3, 2, SV_2D_GREY);
  MakePattern(&before, 3, 2, SV_2D_GREY);
  image.SetGeoRef(1, 2, 3, 4, 5, 6);
  const std::string bmp = dir.file("image.bmp");
  ASSERT_TRUE(WriteFileBytes(bmp, "BM\x36\0\0\0\0\0\0\0\x36\0\0\0"));
  const std::string png = dir.file("image.png");
  Sv_ImageIO pngImage;
  MakePattern(&pngImage, 8, 8, SV_2D_RGB);
  ASSERT_EQ(pngImage.WriteImage(png.c_str(), SV_IMAGE_PNG), 0);

  EXPECT_EQ(image.ReadImage(dir.file("missing.tif").c_str()), -1);
  EXPECT_EQ(image.ReadImage(bmp.c_str()), -1);
  EXPECT_EQ(image.ReadImage(png.c_str(), SV_IMAGE_JPEG), -1);  // the type given is the type read
  EXPECT_EQ(image.ReadImage(png.c_str(), SV_IMAGE_DETECT, SV_2D_BGR), -1);
  EXPECT_TRUE(SamePixels(image, before));
  EXPECT_TRUE(image.HasGeoRef());

  // The format comes from the contents, not from the name.
  const std::string named = dir.file("really-a-png.tif");
  ASSERT_TRUE(WriteFileBytes(named, ReadFileBytes(png)));
  ASSERT_EQ(image.ReadImage(named.c_str()), 0);
  EXPECT_TRUE(SamePixels(image, pngImage));
  EXPECT_FALSE(image.HasGeoRef());
}

namespace {

// A TIFF of the pattern: RGB rows, LZW in strips of 3 rows, deflate in
// 16 x 16 tiles, or JPEG (YCbCr) in strips of 16 rows; rows stored from the
// top or from the bottom.
enum PatternKind { kLzwStrips, kDeflateTiles, kJpegStrips };
void WritePatternTiff(const std::string& path, const Sv_ImageIO& image, PatternKind kind, bool bottomUp) {
  const bool tiled = kind == kDeflateTiles;
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_TRUE(t);
  const uint32_t width = static_cast<uint32_t>(image.GetWidth()), height = static_cast<uint32_t>(image.GetHeight());
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_ORIENTATION, bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_COMPRESSION,
               kind == kJpegStrips ? COMPRESSION_JPEG : tiled ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_LZW);
  if (kind == kJpegStrips) {
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  }
  // File row y is image row height - 1 - y, or y when stored bottom up.
  auto row = [&](uint32_t y) { return image.GetRow(static_cast<int>(bottomUp ? y : height - 1 - y)); };
  if (!tiled) {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kind == kJpegStrips ? 16 : 3);
    for (uint32_t y = 0; y < height; ++y) {
      ASSERT_EQ(TIFFWriteScanline(t, const_cast<unsigned char*>(row(y)), y, 0), 1);
    }
  } else {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    std::vector<unsigned char> tile(16 * 16 * 3);
    for (uint32_t y0 = 0; y0 < height; y0 += 16) {
      for (uint32_t x0 = 0; x0 < width; x0 += 16) {
        std::fill(tile.begin(), tile.end(), 0);
        for (uint32_t r = 0; r < 16 && y0 + r < height; ++r) {
          const uint32_t n = std::min<uint32_t>(16, width - x0);
          std::memcpy(&tile[r * 16 * 3], row(y0 + r) + 3 * x0, 3 * n);
        }
        ASSERT_GE(TIFFWriteTile(t, tile.data(), x0, y0, 0, 0), 0);
      }
    }
  }
  TIFFClose(t);
}

}  // namespace

// Compressed strips and tiles decoded by several workers, in uneven shares,
// give the pixels of one thread; a damaged strip fails the read either way.
TEST(ImageFile, CompressedTiffOnWorkersGivesThePixelsOfOneThread) {
  TempDir dir;
  const std::string path = dir.file("workers.tif");
  Sv_ImageIO written;
  MakePattern(&written, 83, 61, SV_2D_RGB);
  for (PatternKind kind : {kLzwStrips, kDeflateTiles, kJpegStrips}) {
    for (bool bottomUp : {false, true}) {
      SCOPED_TRACE("kind " + std::to_string(kind) + (bottomUp ? ", bottom up" : ""));
      WritePatternTiff(path, written, kind, bottomUp);
      Sv_ImageIO one, many;
      {
        orvanta_test::WorkerLimit limit(1, 0);
        ASSERT_EQ(one.ReadImage(path.c_str()), 0);
      }
      {
        orvanta_test::WorkerLimit limit(4, 64);
        ASSERT_EQ(many.ReadImage(path.c_str()), 0);
      }
      if (kind != kJpegStrips) {
        EXPECT_TRUE(SamePixels(one, written));  // JPEG: only its own decode
      }
      EXPECT_TRUE(SamePixels(many, one));
    }
  }
  // The last strip's bytes made invalid: the share that holds it fails.
  WritePatternTiff(path, written, kLzwStrips, false);
  TIFF* t = TIFFOpen(path.c_str(), "r");
  ASSERT_TRUE(t);
  const tstrip_t last = TIFFNumberOfStrips(t) - 1;
  const uint64_t offset = TIFFGetStrileOffset(t, last), bytes = TIFFGetStrileByteCount(t, last);
  TIFFClose(t);
  std::string file = orvanta_test::ReadFileBytes(path);
  ASSERT_LE(offset + bytes, file.size());
  std::fill(file.begin() + static_cast<long>(offset), file.begin() + static_cast<long>(offset + bytes), '\xFF');
  ASSERT_TRUE(orvanta_test::WriteFileBytes(path, file));
  for (int workers : {1, 4}) {
    orvanta_test::WorkerLimit limit(workers, 64);
    Sv_ImageIO damaged;
    EXPECT_NE(damaged.ReadImage(path.c_str()), 0) << workers;
  }
  // A share that throws (memory running out there) fails the read.
  WritePatternTiff(path, written, kDeflateTiles, false);
  orvanta_test::WorkerLimit limit(4, 64);
  const int before = sv_workers::SetFailingShare(2);
  Sv_ImageIO failed;
  EXPECT_NE(failed.ReadImage(path.c_str()), 0);
  sv_workers::SetFailingShare(before);
}
