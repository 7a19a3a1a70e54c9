#ifndef SD_CUBE_H
#define SD_CUBE_H

#include "Sd_SimpleSolid.h"

// A lit, translucent cube filling the node's box ("Sd_Cube", type id 1001,
// records SD_CUBE 10505 and SD_CUBE_ATB 10507), one flat normal per face.
// Drawn through the scene's light set; without one it draws nothing.
class Sd_Cube : public Sd_SimpleSolid {
 public:
  Sd_Cube();
  ~Sd_Cube() override;

  static constexpr int kTypeId = 1001;
  const char* className() const override;
  // A small cube with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Replaces the whole colour (packed, red in the low byte).
  void SetColour(unsigned packed);
  // Corner i (0 ... 7) as x, y, z in the unit box; null for other i.
  const float* GetCorner(int i) const { return i >= 0 && i < 8 ? m_corners[i] : nullptr; }

 protected:
  // The colour.
  bool ReadSettingsFields(TDR_PayloadReader& in, const float* formatVersion) override;
  void WriteSettingsFields(TDR_PayloadWriter& out) const override;
  // Six polygons with flat normals.
  void DrawShape() override;

 private:
  float m_corners[8][3];
};

#endif
