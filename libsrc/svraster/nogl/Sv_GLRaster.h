#ifndef SV_GLRASTER_H
#define SV_GLRASTER_H

#include "Sv_ImageIO.h"

// An image that frame-buffer captures are read into: the view of a larger
// picture is drawn tile by tile, and each tile is read from the current
// viewport into its place in the image, which is then written like any
// image (WriteImage).
class Sv_GLRaster : public Sv_ImageIO {
 public:
  // An image of width x height pixels in the format, its pixels copied from
  // data, or cleared when data is null (a capture target: null data and
  // format 2, RGBA). A refused size or format leaves the image empty after
  // an error message.
  Sv_GLRaster(int width, int height, const void* data, int format);
  ~Sv_GLRaster() override;

  // Reads the pixels of the whole current GL viewport, from the current
  // read buffer, into the image with the viewport's bottom-left pixel at
  // column destX, row destY (row 0 is the bottom row, as in GL). The part
  // of the viewport that falls outside the image is left out. Needs a
  // current GL context. 0, also when nothing of the viewport falls inside;
  // -1 after a debug message for an empty image or one of a format OpenGL
  // does not read (8-bit formats 1 to 6 are read).
  int LoadFromViewport(int destX, int destY);
};

#endif
