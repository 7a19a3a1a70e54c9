#ifndef SD_IMAGEOBJECT_H
#define SD_IMAGEOBJECT_H

#include <memory>

#include "Sd_Node.h"

class Sv_ImageIO;
class Sv_TexturedSurface;
class TDR_Manager;

// What the two image objects (Sd_VImage, upright between two corners, and
// Sd_GeoImage, flat over its georeferenced extent) share: the decoded image
// and its tiled texture with the 256 x 256 low-resolution copy, the
// resolution mode, the alpha test, the per-frame choice between the copy
// and the full tiles, the progressive pass that draws one tile per step, and
// the screen pick that answers with the box coordinates of the spot.
//
// Resolution modes: 0 automatic (the detail test decides), 1 low resolution,
// 2 full resolution. Render draws full tiles in mode 2, and in mode 0 when
// the detail test asks for them; otherwise the low-resolution copy. The best
// pass (StepRender while the frame's best-pass flag is set) draws the full
// tiles one per call unless the detail test finds the copy enough.
class Sd_ImageObject : public Sd_Node {
 public:
  ~Sd_ImageObject() override;

  // Releases image and texture; width and height become 0.
  void FreeData() override;
  void Render() override;
  int StepRender() override;
  // Resolution mode 2 (full resolution); 1.
  int ResetSettings() override;
  // A hit on the image gives the box coordinates of the spot (point index
  // -1): 1. Background, or a point outside the unit box: 0, nothing written.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;

  void SetResolutionMode(int mode) { m_mode = mode; }
  int GetResolutionMode() const { return m_mode; }
  void SetAlphaTest(int on) { m_alphaTest = on; }
  int GetAlphaTest() const { return m_alphaTest; }
  int GetImageWidth() const { return m_width; }
  int GetImageHeight() const { return m_height; }
  const Sv_ImageIO* GetImage() const { return m_image.get(); }
  const Sv_TexturedSurface* GetTexture() const { return m_texture.get(); }
  // Last result of the detail test: 1 full tiles, 0 or 2 the copy suffices.
  int GetDetailResult() const { return m_detail; }
  // Stage of the progressive pass: 0 set-up, 1 drawing tiles, 2 finishing.
  int GetStepStage() const { return m_stage; }

  // Tiles of a texture above which mode 0 becomes mode 1.
  static constexpr int kMaxAutoTiles = 16;

 protected:
  Sd_ImageObject();

  // The third line after the version line of the class file, read with
  // "%d", is the resolution mode; a missing file or line keeps mode 0.
  void ReadClassFile(const char* name);
  // Drops image and texture and makes new empty ones.
  void NewImage();
  // The texture takes the loaded image: size, tiles, and mode 0 becomes 1
  // above kMaxAutoTiles tiles. The texture refuses images it cannot show
  // (it stays empty and draws nothing).
  void ShowImage();
  // Reads the image file into a new image (type detected, layout kept).
  // The path becomes the description. false after "Could not load image"
  // (errorText) at error level, the object then empty.
  bool ReadImageFile(const char* path, const char* errorText, bool withPath);
  // The image record followed by the georeference record built from the
  // node's float box (geo-unit type 0): what both classes write after their
  // own record. 0 or -1.
  int WriteImageAndBox(TDR_Manager* manager);

  // Placement of the image inside the transformed unit box, after the node
  // transform, the bounding box and the GL state (Sd_GeoImage lifts it to
  // its plane height).
  virtual void PlaceImage() {}
  // Screen measures of the image for the detail test, from the visible part
  // of the unit box (xmin, xmax, ymin, ymax, zmin, zmax).
  virtual void ScreenMeasures(const float box[6], int* a, int* b) const = 0;

  std::unique_ptr<Sv_ImageIO> m_image;
  std::unique_ptr<Sv_TexturedSurface> m_texture;
  int m_width;
  int m_height;
  int m_mode;
  int m_alphaTest;

 private:
  // Node transform, bounding box, depth test, alpha test, placement.
  void SetUp();
  // 0 when the image is off the screen; else 1 with m_detail set.
  int DetailTest();
  void DrawChosen();
  void EndAlphaTest(int on);

  int m_stage;
  int m_tileRow;
  int m_tileColumn;
  int m_tileCounter;
  int m_matrixPushed;
  int m_detail;
  int m_alphaInPass;
  float m_screenBox[6];
};

#endif
