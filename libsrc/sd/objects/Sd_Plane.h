#ifndef SD_PLANE_H
#define SD_PLANE_H

#include "Sd_SimpleSolid.h"

// A translucent square across the node's box ("Sd_Plane", type id 1000,
// records SD_PLANE 10500 and SD_PLANE_ATB 10502), drawn unlit in its
// colour: a sea level, a reference surface. With use-geo-height set it lies
// at its geographic height within the node's z bounds; otherwise at the
// height of its corners (z = 0, the middle of the box, unless changed).
class Sd_Plane : public Sd_SimpleSolid {
 public:
  static constexpr int kTypeId = 1000;
  Sd_Plane();
  ~Sd_Plane() override;
  const char* className() const override;
  // A small plane with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Height in map units, used while use-geo-height is set.
  void SetGeoHeight(float height) { m_geoHeight = height; }
  float GetGeoHeight() const { return m_geoHeight; }
  // Clearing the flag puts all four corners back at z = 0.
  void SetUseGeoHeight(int on);
  int GetUseGeoHeight() const { return m_useGeoHeight; }
  // Replaces red, green and blue with those of the packed colour (red in
  // the low byte) and keeps the current alpha.
  void SetColour(unsigned packed);
  // Corner i (0 ... 3) as x, y, z in the unit box; null for other i.
  const float* GetCorner(int i) const { return i >= 0 && i < 4 ? m_corners[i] : nullptr; }
  // The z in the unit box at which the geographic height lies: (height -
  // z min) / (z max - z min) - 0.5 of the node's bounds, 0 for a box
  // without z range.
  float GeoHeightInBox() const;
  // Splits the volume between the plane and height 0 over the node's box:
  // area = x range x y range, volume = area x geo height. A volume above 0
  // gives (volumeAbove, areaAbove), any other (volumeBelow, areaBelow); the
  // other pair is 0.
  void SplitVolume(double* volumeAbove, double* volumeBelow, double* areaAbove, double* areaBelow) const;

 protected:
  // Colour; then, unless the record is of format version 1.0 or below,
  // use-geo-height (int32) and the geo height (float32).
  bool ReadSettingsFields(TDR_PayloadReader& in, const float* formatVersion) override;
  void WriteSettingsFields(TDR_PayloadWriter& out) const override;
  // One polygon through the corners, lifted to the geo height first when
  // use-geo-height is set.
  void DrawShape() override;

 private:
  float m_corners[4][3];
  int m_useGeoHeight;
  float m_geoHeight;
};

#endif
