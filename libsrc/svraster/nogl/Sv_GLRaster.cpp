#include "Sv_GLRaster.h"

#include <GL/gl.h>

#include <algorithm>

#include "Sv_Debug.h"
#include "Sv_GLPixelLayout.h"

Sv_GLRaster::Sv_GLRaster(int width, int height, const void* data, int format) {
  SetData(width, height, data, format);
}

Sv_GLRaster::~Sv_GLRaster() {}

int Sv_GLRaster::LoadFromViewport(int destX, int destY) {
  Sv_GLPixelLayout pixels;
  if (!GetData()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "No image to read the view into", "Sv_GLRaster::LoadFromViewport");
    return -1;
  }
  if (!pixels.Set(GetFormat())) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "The view cannot be read into an image of this format",
                      "Sv_GLRaster::LoadFromViewport");
    return -1;
  }
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  // The viewport's rectangle at the destination, clipped to the image; in
  // 64 bits, so that no offset can overflow.
  const long long x0 = std::max<long long>(destX, 0);
  const long long y0 = std::max<long long>(destY, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(destX) + viewport[2], GetWidth());
  const long long y1 = std::min<long long>(static_cast<long long>(destY) + viewport[3], GetHeight());
  if (x1 <= x0 || y1 <= y0) return 0;

  // Straight into place: rows of the image's width, starting at the
  // clipped rectangle's first pixel.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, GetWidth());
  glPixelStorei(GL_PACK_SKIP_PIXELS, static_cast<GLint>(x0));
  glPixelStorei(GL_PACK_SKIP_ROWS, static_cast<GLint>(y0));
  glReadPixels(static_cast<GLint>(viewport[0] + (x0 - destX)), static_cast<GLint>(viewport[1] + (y0 - destY)),
               static_cast<GLsizei>(x1 - x0), static_cast<GLsizei>(y1 - y0), pixels.layout, pixels.type, GetData());
  glPopClientAttrib();
  return 0;
}
