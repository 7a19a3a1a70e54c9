#ifndef SV_TEXTUREUPLOAD_H
#define SV_TEXTUREUPLOAD_H

#include "Sv_GLPixelLayout.h"

class Sv_2DData;

// What the tiled textures (Sv_TexturedSurface) and the image textures
// (Sv_Texture) share: the formats textures take, the largest side the
// context takes, and the upload of a part of an image into the bound
// texture.

// The layout of an image format that textures take (8-bit formats 1 to 6).
// For any other format: false after a warning naming the format, with the
// reporter as detail.
bool Sv_TextureLayout(int format, Sv_GLPixelLayout* layout, const char* reporter);

// The largest texture side the current context takes: GL_MAX_TEXTURE_SIZE
// rounded down to a power of two, and no more than the cap of
// Sv_SetTextureSideCap. Needs a current GL context.
int Sv_TextureMaxSide();

// Caps the texture side below what the context allows, so that tests can
// run the path for contexts with small textures; 0 or less removes the cap.
void Sv_SetTextureSideCap(int side);

// Uploads parts of one image into textures, one texture after another:
// the pixel-store state (alignment 1, the image's width as row length) and
// the context's size limit are set up once, and the pixel-store state is
// put back as it was when the uploader goes. Needs a current GL context
// while it lives.
class Sv_TextureUploader {
 public:
  Sv_TextureUploader(const Sv_2DData& image, const Sv_GLPixelLayout& layout);
  ~Sv_TextureUploader();
  Sv_TextureUploader(const Sv_TextureUploader&) = delete;
  Sv_TextureUploader& operator=(const Sv_TextureUploader&) = delete;

  // Makes the bound GL_TEXTURE_2D a texture of texWidth x texHeight texels
  // (powers of two) from the region of regionWidth x regionHeight pixels
  // whose bottom-left pixel is (column x, row y), read straight from the
  // image (pixel-store row length and skips). A region smaller than the
  // texture fills its bottom-left part; the texel column and row after it
  // repeat the region's last column and row, so that linear filtering up
  // to the region's edge never reaches the texels beyond. When a side
  // exceeds Sv_TextureMaxSide(), the texture is made smaller by area
  // averaging (the region keeping its share of it) instead. Sets linear
  // filtering and the wrap mode (GL_CLAMP_TO_EDGE, GL_REPEAT) on both axes.
  // 0, or -1 for a region outside the image or larger than the texture, or
  // when the memory for a smaller texture cannot be had.
  int Upload(int x, int y, int regionWidth, int regionHeight, int texWidth, int texHeight, GLint wrap);

 private:
  void SubImage(int x, int y, int width, int height, int tx, int ty);
  int UploadSmaller(int x, int y, int regionWidth, int regionHeight, int texWidth, int texHeight);

  const Sv_2DData& m_image;
  Sv_GLPixelLayout m_layout;
  int m_maxSide;
};

#endif
