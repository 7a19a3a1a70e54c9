// The image objects' records, corners, image files and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "IOTestSupport.h"
#include "ImageTestSupport.h"
#include "Sd_GeoImage.h"
#include "Sd_VImage.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace {

using orvanta_test::ScopedEnv;
using sd_io_test::FileWriter;
using sd_io_test::LoadedFile;

// No class files: every image starts in mode 0.
struct NoClassFiles {
  ScopedEnv config{"WRUCONFIGURATIONS", nullptr};
  ScopedEnv home{"WRUHOME", nullptr};
};

TEST(ImageObjects, SceneOfBothImagesReadsBackInBothByteOrders) {
  NoClassFiles none;
  orvanta_test::TempDir dir;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order ? "little-endian" : "big-endian");
    const std::string path = dir.file("images.sd");
    ASSERT_TRUE(image_test::WriteScene(dir.path(), path, order));
    LoadedFile file(path);
    ASSERT_EQ(file.Kids().size(), 2u);
    auto* upright = dynamic_cast<Sd_VImage*>(file.Kids()[0]);
    auto* geo = dynamic_cast<Sd_GeoImage*>(file.Kids()[1]);
    ASSERT_TRUE(upright && geo);
    double c1[3], c2[3];
    upright->GetCorners(c1, c2);
    EXPECT_EQ(c1[0], 0.0);
    EXPECT_EQ(c2[0], 10.0);
    EXPECT_EQ(c2[2], 5.0);
    const float uprightBox[6] = {0, 10, -0.5f, 0.5f, 0, 5};
    const float geoBox[6] = {1000, 2000, 500, 700, 0, 1};
    for (int i = 0; i < 6; ++i) {
      EXPECT_FLOAT_EQ(upright->GetBounds(i / 2)[i % 2], uprightBox[i]) << i;
      EXPECT_FLOAT_EQ(geo->GetBounds(i / 2)[i % 2], geoBox[i]) << i;
    }
    EXPECT_EQ(upright->GetImageWidth(), 1000);
    EXPECT_EQ(upright->GetImageHeight(), 600);
    EXPECT_EQ(upright->GetResolutionMode(), 0) << "12 tiles stay automatic";
    EXPECT_EQ(upright->GetAlphaTest(), 1);
    EXPECT_EQ(geo->GetTexture()->GetNumTilesX() * geo->GetTexture()->GetNumTilesY(), 20);
    EXPECT_EQ(geo->GetResolutionMode(), 1);
    EXPECT_EQ(geo->GetAlphaTest(), 0);
    EXPECT_EQ(geo->GetPlaneHeightOn(), 1);
    EXPECT_FLOAT_EQ(geo->GetPlaneHeight(), 0.25f);
    float bounds[4];
    ASSERT_TRUE(geo->GetGeoBounds(bounds));
    EXPECT_FLOAT_EQ(bounds[1], 2000.0f);
    // The pixels came through: bottom left red, top right yellow.
    const unsigned char* first = geo->GetImage()->GetRow(0);
    const unsigned char* last = geo->GetImage()->GetRow(1023) + 4 * 1279;
    EXPECT_EQ(first[0], 255);
    EXPECT_EQ(first[1], 0);
    EXPECT_EQ(last[1], 255);
    EXPECT_EQ(last[2], 0);
  }
}

TEST(ImageObjects, ModeZeroBecomesLowResolutionAboveSixteenTiles) {
  NoClassFiles none;
  orvanta_test::TempDir dir;
  // The same records without settings: the reader's own mode 0 decides.
  for (int side : {1280, 1024}) {
    Sd_GeoImage source;
    Sv_ImageIO pixels;
    ASSERT_TRUE(image_test::Quadrants(&pixels, side, 1024, 2));
    pixels.SetGeoRef(0, 1, 0, 1, 0, 0);
    const std::string tif = dir.file("q.tif");
    ASSERT_EQ(pixels.WriteImage(tif.c_str(), SV_IMAGE_GEOTIFF, 1), 0);
    source.LoadImageFile(tif.c_str());
    FileWriter w(dir.file("bare.sd"));
    ASSERT_EQ(source.SaveObject(w.Manager(), 0, 0), 0);
    ASSERT_TRUE(w.Close());
    LoadedFile file(dir.file("bare.sd"));
    ASSERT_EQ(file.Kids().size(), 1u);
    EXPECT_EQ(dynamic_cast<Sd_ImageObject*>(file.Kids()[0])->GetResolutionMode(), side == 1280 ? 1 : 0) << side;
  }
}

TEST(ImageObjects, CornersSetBoxAndTextureCorners) {
  NoClassFiles none;
  struct Case {
    double c1[3], c2[3];
    float box[6];
    float a[3], b[3];
  } cases[] = {
      // Upright in the x-z plane.
      {{0, 0, 0}, {10, 0, 5}, {0, 10, -0.5f, 0.5f, 0, 5}, {-0.5f, 0, -0.5f}, {0.5f, 0, 0.5f}},
      // Mirrored left to right.
      {{10, 0, 0}, {0, 0, 5}, {0, 10, -0.5f, 0.5f, 0, 5}, {0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f}},
      // Equal heights keep the image's height.
      {{2, 3, 7}, {4, 5, 7}, {2, 4, 3, 5, 6.5f, 7.5f}, {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}},
  };
  for (const Case& c : cases) {
    Sd_VImage image;
    image.SetCorners(c.c1, c.c2);
    float a[3], b[3];
    image.GetTextureCorners(a, b);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(image.GetBounds(i / 2)[i % 2], c.box[i]) << c.c1[0] << " " << i;
    for (int i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(a[i], c.a[i]) << c.c1[0] << " " << i;
      EXPECT_FLOAT_EQ(b[i], c.b[i]) << c.c1[0] << " " << i;
    }
  }
}

TEST(ImageObjects, SettingsAreKeptResetAndRestored) {
  NoClassFiles none;
  Sd_GeoImage geo;
  geo.SetResolutionMode(1);
  geo.SetAlphaTest(1);
  geo.SetPlaneHeight(3.5f, 1);
  geo.RestoreSettings();  // nothing kept: nothing changes
  EXPECT_EQ(geo.GetResolutionMode(), 1);
  geo.SaveSettings();
  EXPECT_EQ(geo.ResetSettings(), 1);
  EXPECT_EQ(geo.GetResolutionMode(), 2);
  geo.SetPlaneHeight(0.0f, 0);
  geo.RestoreSettings();
  EXPECT_EQ(geo.GetResolutionMode(), 1);
  EXPECT_EQ(geo.GetPlaneHeightOn(), 1);
  EXPECT_FLOAT_EQ(geo.GetPlaneHeight(), 3.5f);
  Sd_VImage upright;
  upright.SetResolutionMode(0);
  upright.SaveSettings();
  upright.ResetSettings();
  upright.RestoreSettings();
  EXPECT_EQ(upright.GetResolutionMode(), 0);
}

// A corner record, then an image record whose descriptor promises far more
// pixels than its payload holds.
std::string Corners() {
  const double c[6] = {0, 0, 0, 1, 0, 1};
  return std::string(reinterpret_cast<const char*>(c), sizeof(c));
}
std::string OversizedImage() {
  const int head[6] = {3, 3, 4000, 4000, 1, 8};
  const double range[2] = {0, 255};
  const int format = 1;
  std::string s(reinterpret_cast<const char*>(head), sizeof(head));
  s.append(reinterpret_cast<const char*>(range), sizeof(range));
  s.append(reinterpret_cast<const char*>(&format), 4);
  s.append(30, '\x7f');
  return s;
}

TEST(ImageObjects, RefusedRecordsKeepTheNextObjectAndTheirMessages) {
  NoClassFiles none;
  orvanta_test::TempDir dir;
  const std::string path = dir.file("bad.sd");
  const std::string good = dir.file("good.sd");
  {
    // One good object to copy records from.
    Sd_GeoImage sample;
    Sv_ImageIO pixels;
    ASSERT_TRUE(image_test::Quadrants(&pixels, 8, 4, 2));
    pixels.SetGeoRef(0, 8, 0, 4, 0, 0);
    const std::string tif = dir.file("s.tif");
    ASSERT_EQ(pixels.WriteImage(tif.c_str(), SV_IMAGE_GEOTIFF, 1), 0);
    sample.LoadImageFile(tif.c_str());
    FileWriter w(path);
    // A descriptor larger than its payload.
    w.Raw(TDR_TAG_SD_VIMAGE, Corners()).Raw(TDR_TAG_SCALAR, OversizedImage(), 2);
    // A georeferenced image whose georeference is missing: its image is
    // followed at once by the next object.
    ASSERT_EQ(w.Manager()->WriteTag(TDR_TAG_SD_GEOIMAGE, 1, 0, 0, 1), 0);
    ASSERT_EQ(w.Manager()->EndTag(), 0);
    ASSERT_EQ(const_cast<Sv_ImageIO*>(sample.GetImage())->SaveToTDR(w.Manager()), 0);
    // The next object, with a settings record of version 0 that is not 1.0.
    ASSERT_EQ(sample.SaveObject(w.Manager(), 1, 0), 0);
    const float version = 2.0f;
    const int fields[3] = {2, 1, 1};
    std::string atb(reinterpret_cast<const char*>(&version), 4);
    atb.append(reinterpret_cast<const char*>(fields), sizeof(fields));
    atb.append(4, '\0');
    w.Raw(TDR_TAG_SD_GEOIMAGE_ATB, atb, 0);
    ASSERT_TRUE(w.Close());
  }
  sd_io_test::DebugOutput out;
  LoadedFile file(path);
  const std::string text = out.Take() + out.capture.All();
  EXPECT_NE(text.find("Error loading vimage object."), std::string::npos);
  EXPECT_NE(text.find("ERROR: expected TDR_TAG_GEOREF!"), std::string::npos);
  EXPECT_NE(text.find("Error: Expected version 1 sounding atbribute data!"), std::string::npos);
  // Only the last object is left, with its settings, not the refused ones.
  ASSERT_EQ(file.Kids().size(), 1u);
  auto* geo = dynamic_cast<Sd_GeoImage*>(file.Kids()[0]);
  ASSERT_TRUE(geo);
  EXPECT_EQ(geo->GetImageWidth(), 8);
  EXPECT_EQ(geo->GetResolutionMode(), 0);
  EXPECT_FLOAT_EQ(geo->GetBounds(0)[1], 8.0f);
}

TEST(ImageObjects, ImageFilesGiveTheirGeoreferenceAndFailuresLeaveTheObjectEmpty) {
  NoClassFiles none;
  orvanta_test::TempDir dir;
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(dir.path(), &geo));
  EXPECT_FLOAT_EQ(geo.GetBounds(0)[0], 1000.0f);
  EXPECT_FLOAT_EQ(geo.GetBounds(0)[1], 2000.0f);
  EXPECT_FLOAT_EQ(geo.GetBounds(1)[0], 500.0f);
  EXPECT_FLOAT_EQ(geo.GetBounds(1)[1], 700.0f);
  EXPECT_FLOAT_EQ(geo.GetBounds(2)[1], 1.0f) << "no heights in the file: z 0 ... 1";
  EXPECT_STREQ(geo.GetDescription(), dir.file("geo.tif").c_str());
  EXPECT_EQ(geo.GetResolutionMode(), 1);
  // An upright image without corners takes its parent's box.
  Sd_VImage upright;
  upright.SetParent(&geo);
  upright.LoadImageFile(dir.file("geo.tif").c_str());
  double c1[3], c2[3];
  upright.GetCorners(c1, c2);
  EXPECT_EQ(c1[0], 1000.0);
  EXPECT_EQ(c2[1], 700.0);
  upright.SetParent(nullptr);
  orvanta_test::MessageCapture errors(SV_LEVEL_ERROR);
  sd_io_test::DebugOutput quiet;
  geo.LoadImageFile(dir.file("missing.tif").c_str());
  upright.LoadImageFile(dir.file("missing.tif").c_str());
  EXPECT_TRUE(errors.Contains("Could not load image"));
  EXPECT_TRUE(errors.Contains("Could not load image.\n"));
  EXPECT_EQ(geo.GetImage(), nullptr);
  EXPECT_EQ(upright.GetTexture(), nullptr);
}

// A scene that reports a surface west of x = 1500.
class WestSurface : public Sd_Node {
 public:
  double GeoPickPoint(double x, double, unsigned*) override { return x < 1500.0 ? -20.0 : 1e12; }
};

TEST(ImageObjects, HideOverSurfaceClearsAlphaExactlyOverTheSurface) {
  NoClassFiles none;
  orvanta_test::TempDir dir;
  Sd_GeoImage geo;
  ASSERT_TRUE(image_test::MakeGeoreferenced(dir.path(), &geo));
  WestSurface root;
  geo.SetParent(&root);
  geo.HideOverSurface();
  geo.SetParent(nullptr);
  // Column c lies at x = 1000 + c * 1000 / 1280: columns 0 ... 639 are west.
  for (int r : {0, 700, 1023}) {
    const unsigned char* row = geo.GetImage()->GetRow(r);
    EXPECT_EQ(row[4 * 0 + 3], 0);
    EXPECT_EQ(row[4 * 639 + 3], 0);
    EXPECT_EQ(row[4 * 640 + 3], 255);
    EXPECT_EQ(row[4 * 1279 + 3], 255);
    EXPECT_EQ(row[4 * 639 + (r < 512 ? 0 : 2)], 255) << "colours stay";
  }
}

}  // namespace
