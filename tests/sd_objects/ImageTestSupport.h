#ifndef ORVANTA_TESTS_SD_IMAGETESTSUPPORT_H
#define ORVANTA_TESTS_SD_IMAGETESTSUPPORT_H

// Images of four coloured quadrants and the scene file of both image
// objects, made with the project's own image and record writers.

#include <string>

#include "Sd_GeoImage.h"
#include "Sd_VImage.h"
#include "Sv_ImageIO.h"
#include "TDR_Manager.h"

namespace image_test {

// Quadrant colours: bottom left red, bottom right green, top left blue,
// top right yellow (row 0 is the bottom row).
struct Rgb {
  unsigned char r, g, b;
};
constexpr Rgb kBottomLeft{255, 0, 0};
constexpr Rgb kBottomRight{0, 255, 0};
constexpr Rgb kTopLeft{0, 0, 255};
constexpr Rgb kTopRight{255, 255, 0};

// An RGB (format 1) or RGBA (2) image of four quadrants; with RGBA, the
// alpha is lowAlpha in the left half and 255 in the right half.
inline bool Quadrants(Sv_ImageIO* image, int width, int height, int format, unsigned char lowAlpha = 255) {
  if (image->Allocate(width, height, format) != 0) return false;
  const int channels = format == 2 ? 4 : 3;
  for (int r = 0; r < height; ++r) {
    unsigned char* row = image->GetRow(r);
    for (int c = 0; c < width; ++c) {
      const bool right = c >= width / 2;
      const bool top = r >= height / 2;
      const Rgb p = top ? (right ? kTopRight : kTopLeft) : (right ? kBottomRight : kBottomLeft);
      unsigned char* px = row + static_cast<size_t>(c) * channels;
      px[0] = p.r;
      px[1] = p.g;
      px[2] = p.b;
      if (channels == 4) px[3] = right ? 255 : lowAlpha;
    }
  }
  return true;
}

// An upright 1000 x 600 quadrant image between (0, 0, 0) and (10, 0, 5),
// read from an uncompressed TIFF in folder.
inline bool MakeUpright(const std::string& folder, Sd_VImage* object) {
  Sv_ImageIO image;
  const std::string path = folder + "/upright.tif";
  if (!Quadrants(&image, 1000, 600, 1) || image.WriteImage(path.c_str(), SV_IMAGE_TIFF, 1) != 0) return false;
  object->LoadImageFile(path.c_str());
  const double a[3] = {0, 0, 0};
  const double b[3] = {10, 0, 5};
  object->SetCorners(a, b);
  return object->GetImageWidth() == 1000;
}

// A 1280 x 1024 RGBA quadrant image (5 x 4 tiles, its left half of alpha
// lowAlpha) georeferenced over x 1000 ... 2000, y 500 ... 700, read from a
// GeoTIFF in folder.
inline bool MakeGeoreferenced(const std::string& folder, Sd_GeoImage* object, unsigned char lowAlpha = 255) {
  Sv_ImageIO image;
  const std::string path = folder + "/geo.tif";
  if (!Quadrants(&image, 1280, 1024, 2, lowAlpha)) return false;
  image.SetGeoRef(1000, 2000, 500, 700, 0, 0);
  if (image.WriteImage(path.c_str(), SV_IMAGE_GEOTIFF, 1) != 0) return false;
  object->LoadImageFile(path.c_str());
  return object->GetImageWidth() == 1280;
}

// The scene file: the upright image (alpha test on) and the georeferenced
// image (mode 1, as its 20 tiles make it; plane height 0.25 on), in the given byte order.
inline bool WriteScene(const std::string& folder, const std::string& path, int byteOrder) {
  Sd_VImage upright;
  Sd_GeoImage geo;
  if (!MakeUpright(folder, &upright) || !MakeGeoreferenced(folder, &geo)) return false;
  upright.SetAlphaTest(1);
  geo.SetPlaneHeight(0.25f, 1);
  TDR_Manager m;
  m.SetByteOrder(byteOrder);
  bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && upright.SaveObject(&m, 1, 0) == 0 &&
            geo.SaveObject(&m, 1, 0) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return m.CloseFile() == 0 && ok;
}

}  // namespace image_test

#endif
