#ifndef SV_TEXTURE_H
#define SV_TEXTURE_H

#include <GL/gl.h>

#include <memory>

#include "Sv_GLPixelLayout.h"

class Sv_2DData;

// One image as one repeating texture (GL_TEXTURE_2D), for surfaces that
// lay a pattern over themselves many times.
//
// LoadTexture reads an image file and keeps its pixels with both sides
// scaled to powers of two; the texture is uploaded at the first Apply
// (with a context current), made smaller by area averaging when a side
// exceeds what the context takes. The GL name exists only after an Apply;
// Free and the destructor delete it and then need that context current.
// A texture never applied makes no GL call.
class Sv_Texture {
 public:
  Sv_Texture();
  // Free.
  ~Sv_Texture();
  Sv_Texture(const Sv_Texture&) = delete;
  Sv_Texture& operator=(const Sv_Texture&) = delete;

  // Reads the image file (type detected from its contents) in the target
  // format (2 = RGBA; 0 keeps the file's layout) and keeps its pixels,
  // each side that is not a power of two scaled to the nearest one (a tie
  // goes up) by area averaging. 0; -1 after a debug message when the file
  // cannot be read or its pixels are not an 8-bit format 1 to 6 (a warning
  // says so); the texture then keeps what it had.
  int LoadTexture(const char* file, int targetFormat = 2);

  // Binds the texture, uploading it first when its pixels are new (linear
  // filtering, repeating on both axes), sets the texture environment mode
  // (GL_MODULATE, GL_DECAL, ...), enables GL_TEXTURE_2D and becomes the
  // current texture. 0, or -1 without pixels.
  int Apply(int envMode);
  // The same as Apply.
  int ApplyTexture(int envMode);
  // When enabled: disables GL_TEXTURE_2D and clears the enabled flag. The
  // current texture becomes none when it is this one.
  void Disable();
  // Disable, then releases the pixels and deletes the GL name.
  void Free();

  bool IsEnabled() const { return m_enabled; }
  // The pixels kept (sides powers of two), or null.
  const Sv_2DData* GetPixels() const { return m_pixels.get(); }
  // The texture applied last and not disabled or freed since, or null.
  static const Sv_Texture* GetCurrent();

 private:
  std::unique_ptr<Sv_2DData> m_pixels;
  Sv_GLPixelLayout m_layout;
  GLuint m_name;
  bool m_uploaded;
  bool m_enabled;
};

#endif
