#include "Sv_Texture.h"

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_ImageScale.h"
#include "Sv_TextureUpload.h"

namespace {

const Sv_Texture* g_current = nullptr;

// The power of two nearest to n (n >= 1); a tie goes up.
int NearestPowerOfTwo(int n) {
  int below = 1;
  while (below <= n / 2) below *= 2;
  const long long above = 2LL * below;
  return n - below < above - n ? below : static_cast<int>(above);
}

}  // namespace

Sv_Texture::Sv_Texture() : m_name(0), m_uploaded(false), m_enabled(false) {}

Sv_Texture::~Sv_Texture() { Free(); }

const Sv_Texture* Sv_Texture::GetCurrent() { return g_current; }

int Sv_Texture::LoadTexture(const char* file, int targetFormat) {
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (!file || image->ReadImage(file, SV_IMAGE_DETECT, targetFormat) != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Texture image not read", "Sv_Texture::LoadTexture");
    return -1;
  }
  Sv_GLPixelLayout layout;
  if (!Sv_TextureLayout(image->GetFormat(), &layout, "Sv_Texture::LoadTexture")) return -1;
  const int width = NearestPowerOfTwo(image->GetWidth()), height = NearestPowerOfTwo(image->GetHeight());
  std::unique_ptr<Sv_2DData> pixels(std::move(image));
  if (width != pixels->GetWidth() || height != pixels->GetHeight()) {
    std::unique_ptr<Sv_2DData> scaled(new Sv_2DData());
    if (scaled->Allocate(width, height, pixels->GetFormat()) != 0 ||
        Sv_AreaAverage(pixels->GetData(), pixels->GetWidth(), pixels->GetHeight(), pixels->GetRowBytes(),
                       pixels->GetChannels(), scaled->GetData(), width, height, scaled->GetRowBytes()) != 0) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Texture image not scaled", "Sv_Texture::LoadTexture");
      return -1;
    }
    pixels = std::move(scaled);
  }
  m_pixels = std::move(pixels);
  m_layout = layout;
  m_uploaded = false;
  return 0;
}

int Sv_Texture::Apply(int envMode) {
  if (!m_pixels) return -1;
  if (!m_name) glGenTextures(1, &m_name);
  glBindTexture(GL_TEXTURE_2D, m_name);
  if (!m_uploaded) {
    const int width = m_pixels->GetWidth(), height = m_pixels->GetHeight();
    if (Sv_TextureUploader(*m_pixels, m_layout).Upload(0, 0, width, height, width, height, GL_REPEAT) != 0) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Texture not uploaded", "Sv_Texture::Apply");
      glBindTexture(GL_TEXTURE_2D, 0);
      return -1;
    }
    m_uploaded = true;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
  glEnable(GL_TEXTURE_2D);
  m_enabled = true;
  g_current = this;
  return 0;
}

int Sv_Texture::ApplyTexture(int envMode) { return Apply(envMode); }

void Sv_Texture::Disable() {
  if (m_enabled) {
    glDisable(GL_TEXTURE_2D);
    m_enabled = false;
  }
  if (g_current == this) g_current = nullptr;
}

void Sv_Texture::Free() {
  Disable();
  if (m_name) {
    glDeleteTextures(1, &m_name);
    m_name = 0;
  }
  m_pixels.reset();
  m_uploaded = false;
}
