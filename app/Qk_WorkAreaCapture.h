#ifndef QK_WORKAREACAPTURE_H
#define QK_WORKAREACAPTURE_H

#include "Qk_WorkAreaPart.h"

class Qk_GLWorkArea;
class Sv_GLRaster;

// Saving what the work area shows: the view drawn as a grid of tiles into
// one image larger than the window, and the camera in view files. It keeps
// nothing between calls.
class Qk_WorkAreaCapture : private Qk_WorkAreaPart {
 public:
  explicit Qk_WorkAreaCapture(Qk_GLWorkArea* area) : Qk_WorkAreaPart(area) {}

  // The work area's operations of the same names.
  int CaptureImage(const char* fileName, int fileType, int n);
  int RenderTiles(int n);
  int SaveViewFile(const char* path);
  int LoadViewFile(const char* path);

 private:
  // 0 when n x n tiles of the window fit an image; else -1 after a message
  // naming who asked.
  int CheckTileGrid(int n, const char* who);
  // The tile loop of CaptureImage and RenderTiles; each tile is read into
  // raster (when given) at its place.
  void DrawTiles(int n, Sv_GLRaster* raster, bool infoAfterEveryTile);

};

#endif
