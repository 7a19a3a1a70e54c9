#ifndef SD_GEOIMAGE_H
#define SD_GEOIMAGE_H

#include "Sd_ImageObject.h"

// A georeferenced raster image lying flat over its extent ("Sd_GeoImage",
// type id 36, record SD_GEOIMAGE 10530, settings SD_GEOIMAGE_ATB 10531),
// in the middle of its box or, with the plane height on, at the plane
// height. "GeoImageClass" gives the resolution mode of every new image.
class Sd_GeoImage : public Sd_ImageObject {
 public:
  static constexpr int kTypeId = 36;
  Sd_GeoImage();
  ~Sd_GeoImage() override;

  void FreeData() override;
  // SD_GEOIMAGE (empty), the image record, a georeference record that must
  // follow it (its x and y extent become the box, z 0 ... 1), then the
  // common tags. -1 when the image or the georeference cannot be read (a
  // record in its place is left for the next reader); 0 otherwise, also
  // when a settings record is refused.
  int LoadObject(TDR_Manager* manager) override;
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags with SD_GEOIMAGE_ATB; -1 after a settings record of a
  // version other than 1 (the object keeps its settings).
  int ReadCommonTags(TDR_Manager* manager) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // Keep / bring back mode, alpha test, plane height on and plane height.
  void SaveSettings() override;
  void RestoreSettings() override;
  const char* className() const override;

  // Reads a georeference record (header read) into the geographic bounds.
  // -1 for a damaged record.
  int ReadGeoRefBounds(TDR_Manager* manager);
  // Clears the alpha of every pixel over which the scene reports a surface
  // (the root's GeoPickPoint), for images with an alpha channel.
  void HideOverSurface();
  // Reads an image file (type detected). The box becomes the image's
  // georeference, else the parent's box, else its pixel size. On failure
  // "Could not load image" and the object is empty.
  void LoadImageFile(const char* path);

  void SetPlaneHeight(float height, int on) {
    m_planeHeight = height;
    m_planeHeightOn = on;
  }
  float GetPlaneHeight() const { return m_planeHeight; }
  int GetPlaneHeightOn() const { return m_planeHeightOn; }
  // x min, x max, y min, y max of the georeference read last; false
  // before one was read.
  bool GetGeoBounds(float out[4]) const;

  // A small georeferenced image with its common tags (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

 protected:
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  void PlaceImage() override;
  void ScreenMeasures(const float box[6], int* a, int* b) const override;

 private:
  float m_geoBounds[4];
  bool m_hasGeoBounds;
  float m_planeHeight;
  int m_planeHeightOn;
  bool m_badSettings;
};

#endif
