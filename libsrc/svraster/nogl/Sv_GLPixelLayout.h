#ifndef SV_GLPIXELLAYOUT_H
#define SV_GLPIXELLAYOUT_H

#include <GL/gl.h>

// How OpenGL reads and writes the pixels of an Sv_2DData image of an 8-bit
// format: RGB (1), RGBA (2), BGR (3), ABGR (4, bytes A, B, G, R), grey (5)
// and grey with alpha (6). Gives the layout and type for glTexImage2D,
// glTexSubImage2D and glReadPixels, and the internal format of a texture
// that keeps every channel. False for the other formats (terrain values of
// 8, 16 and 32 bits), which are no pictures.
struct Sv_GLPixelLayout {
  GLenum layout = 0;          // GL_RGB, GL_RGBA, GL_BGR, GL_LUMINANCE, GL_LUMINANCE_ALPHA
  GLenum type = 0;            // GL_UNSIGNED_BYTE, or a packed type for ABGR
  GLint internalFormat = 0;   // GL_RGB8, GL_RGBA8, GL_LUMINANCE8, GL_LUMINANCE8_ALPHA8

  bool Set(int format);
};

#endif
