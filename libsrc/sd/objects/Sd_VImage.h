#ifndef SD_VIMAGE_H
#define SD_VIMAGE_H

#include "Sd_ImageObject.h"

// A raster image spanned between two corner points ("Sd_VImage", type id
// 41, record SD_VIMAGE 10555, settings SD_VIMAGE_ATB 10556). Corners that
// differ in height stand it upright; corners at one height lay it flat.
// "VImageClass" gives the resolution mode of every new image.
class Sd_VImage : public Sd_ImageObject {
 public:
  static constexpr int kTypeId = 41;
  Sd_VImage();
  ~Sd_VImage() override;

  // SD_VIMAGE (two corners), the image record, then the common tags (the
  // georeference gives the box; SD_VIMAGE_ATB the mode and alpha test).
  // -1 after "Error loading vimage object." when corners or image cannot
  // be read; 0 otherwise.
  int LoadObject(TDR_Manager* manager) override;
  // SD_VIMAGE version 1, the image record, the georeference of the box,
  // and, when asked, the common tags with SD_VIMAGE_ATB version 2. 0 or -1
  // (also for an object without an image).
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // Keeps / brings back the resolution mode.
  void SaveSettings() override;
  void RestoreSettings() override;
  const char* className() const override;

  // Stores both corners and sets the box and the texture corners from them
  // (a flat axis gets a box of 1 around its value; z always keeps a height).
  void SetCorners(const double corner1[3], const double corner2[3]);
  void GetCorners(double corner1[3], double corner2[3]) const;
  // The texture corners SetCorners computed (normalised object space).
  void GetTextureCorners(float a[3], float b[3]) const;
  // Reads an image file (type detected). Corners that are all zero become
  // the parent's box, or (0, 0, 0) to (1, 1, 1) without one. On failure
  // "Could not load image.\n" and the object is empty.
  void LoadImageFile(const char* path);

  // A small image object with its common tags (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

 protected:
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  void ScreenMeasures(const float box[6], int* a, int* b) const override;

 private:
  double m_corner1[3];
  double m_corner2[3];
  float m_textureA[3];
  float m_textureB[3];
};

#endif
