#include "Sv_TextureUpload.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Sv_2DData.h"
#include "Sv_Debug.h"
#include "Sv_ImageScale.h"

namespace {

int g_sideCap = 0;

int FloorPowerOfTwo(int n) {
  int p = 1;
  while (p <= n / 2) p *= 2;
  return p;
}

struct FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};
using Bytes = std::unique_ptr<unsigned char, FreeDeleter>;

Bytes AllocateBytes(size_t n) { return Bytes(static_cast<unsigned char*>(std::malloc(n))); }

}  // namespace

bool Sv_TextureLayout(int format, Sv_GLPixelLayout* layout, const char* reporter) {
  if (layout->Set(format)) return true;
  char text[160];
  snprintf(text, sizeof text,
           "Images of format %d are not shown as textures: textures take 8-bit images (formats 1 to 6)", format);
  Sv_Debug::Message(SV_LEVEL_WARNING, text, reporter);
  return false;
}

int Sv_TextureMaxSide() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  // Every OpenGL context takes at least 64.
  int side = FloorPowerOfTwo(std::max(64, static_cast<int>(size)));
  if (g_sideCap > 0) side = std::min(side, FloorPowerOfTwo(g_sideCap));
  return side;
}

void Sv_SetTextureSideCap(int side) { g_sideCap = side > 0 ? side : 0; }

Sv_TextureUploader::Sv_TextureUploader(const Sv_2DData& image, const Sv_GLPixelLayout& layout)
    : m_image(image), m_layout(layout), m_maxSide(Sv_TextureMaxSide()) {
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, image.GetWidth());
}

Sv_TextureUploader::~Sv_TextureUploader() { glPopClientAttrib(); }

// One block of the image, bottom-left pixel (x, y), into the bound texture
// at texel (tx, ty).
void Sv_TextureUploader::SubImage(int x, int y, int width, int height, int tx, int ty) {
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, x);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, y);
  glTexSubImage2D(GL_TEXTURE_2D, 0, tx, ty, width, height, m_layout.layout, m_layout.type, m_image.GetData());
}

// The texture of texWidth x texHeight texels, area-averaged down to sides
// of at most m_maxSide. The full-size texels are the region itself when it
// fills the texture, else a copy whose padding repeats the region's last
// column and row.
int Sv_TextureUploader::UploadSmaller(int x, int y, int regionWidth, int regionHeight, int texWidth,
                                      int texHeight) {
  const size_t pixelBytes = m_image.GetBytesPerPixel();
  const size_t imageRowBytes = m_image.GetRowBytes();
  const unsigned char* texels = m_image.GetData() + static_cast<size_t>(y) * imageRowBytes + x * pixelBytes;
  size_t texelRowBytes = imageRowBytes;
  Bytes padded;
  if (regionWidth != texWidth || regionHeight != texHeight) {
    texelRowBytes = static_cast<size_t>(texWidth) * pixelBytes;
    padded = AllocateBytes(texelRowBytes * static_cast<size_t>(texHeight));
    if (!padded) return -1;
    for (int ty = 0; ty < texHeight; ++ty) {
      const unsigned char* from = texels + static_cast<size_t>(std::min(ty, regionHeight - 1)) * imageRowBytes;
      unsigned char* to = padded.get() + static_cast<size_t>(ty) * texelRowBytes;
      std::memcpy(to, from, regionWidth * pixelBytes);
      for (int tx = regionWidth; tx < texWidth; ++tx)
        std::memcpy(to + tx * pixelBytes, from + (regionWidth - 1) * pixelBytes, pixelBytes);
    }
    texels = padded.get();
  }
  const int width = std::min(texWidth, m_maxSide), height = std::min(texHeight, m_maxSide);
  Bytes smaller = AllocateBytes(static_cast<size_t>(width) * height * pixelBytes);
  if (!smaller || Sv_AreaAverage(texels, texWidth, texHeight, texelRowBytes, static_cast<int>(pixelBytes),
                                 smaller.get(), width, height, static_cast<size_t>(width) * pixelBytes) != 0) {
    return -1;
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, m_layout.internalFormat, width, height, 0, m_layout.layout, m_layout.type,
               smaller.get());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, m_image.GetWidth());
  return 0;
}

int Sv_TextureUploader::Upload(int x, int y, int regionWidth, int regionHeight, int texWidth, int texHeight,
                               GLint wrap) {
  if (!m_image.GetData() || x < 0 || y < 0 || regionWidth < 1 || regionHeight < 1 ||
      regionWidth > m_image.GetWidth() - x || regionHeight > m_image.GetHeight() - y || regionWidth > texWidth ||
      regionHeight > texHeight) {
    return -1;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  if (texWidth > m_maxSide || texHeight > m_maxSide)
    return UploadSmaller(x, y, regionWidth, regionHeight, texWidth, texHeight);
  if (regionWidth == texWidth && regionHeight == texHeight) {
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, x);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, y);
    glTexImage2D(GL_TEXTURE_2D, 0, m_layout.internalFormat, texWidth, texHeight, 0, m_layout.layout, m_layout.type,
                 m_image.GetData());
    return 0;
  }
  glTexImage2D(GL_TEXTURE_2D, 0, m_layout.internalFormat, texWidth, texHeight, 0, m_layout.layout, m_layout.type,
               nullptr);
  SubImage(x, y, regionWidth, regionHeight, 0, 0);
  const int lastX = x + regionWidth - 1, lastY = y + regionHeight - 1;
  if (regionWidth < texWidth) SubImage(lastX, y, 1, regionHeight, regionWidth, 0);
  if (regionHeight < texHeight) SubImage(x, lastY, regionWidth, 1, 0, regionHeight);
  if (regionWidth < texWidth && regionHeight < texHeight) SubImage(lastX, lastY, 1, 1, regionWidth, regionHeight);
  return 0;
}
