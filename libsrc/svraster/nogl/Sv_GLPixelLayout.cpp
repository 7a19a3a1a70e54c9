#include "Sv_GLPixelLayout.h"

#include "Sv_2DData.h"

bool Sv_GLPixelLayout::Set(int format) {
  type = GL_UNSIGNED_BYTE;
  switch (format) {
    case SV_2D_RGB:
      layout = GL_RGB;
      internalFormat = GL_RGB8;
      return true;
    case SV_2D_RGBA:
      layout = GL_RGBA;
      internalFormat = GL_RGBA8;
      return true;
    case SV_2D_BGR:
      layout = GL_BGR;
      internalFormat = GL_RGB8;
      return true;
    case SV_2D_ABGR:
      // Bytes A, B, G, R: one 32-bit RGBA value with red in the highest
      // byte, read in this machine's byte order.
      layout = GL_RGBA;
      internalFormat = GL_RGBA8;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      type = GL_UNSIGNED_INT_8_8_8_8_REV;
#else
      type = GL_UNSIGNED_INT_8_8_8_8;
#endif
      return true;
    case SV_2D_GREY:
      layout = GL_LUMINANCE;
      internalFormat = GL_LUMINANCE8;
      return true;
    case SV_2D_GREY_ALPHA:
      layout = GL_LUMINANCE_ALPHA;
      internalFormat = GL_LUMINANCE8_ALPHA8;
      return true;
    default:
      layout = 0;
      type = 0;
      internalFormat = 0;
      return false;
  }
}
