#include "Sv_ImageFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "Sv_Debug.h"
#include "Sv_ImageJpeg.h"
#include "Sv_ImagePng.h"
#include "Sv_ImageTiff.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"

void Sv_ImageMessage(int level, const char* who, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Sv_Debug::Message(level, text, who);
}

const Sv_ImageFormat* Sv_ImageFormat::ForType(int type) {
  static const Sv_ImageTiff tiff(false);
  static const Sv_ImageTiff geoTiff(true);
  static const Sv_ImageJpeg jpeg;
  static const Sv_ImagePng png;
  switch (type) {
    case SV_IMAGE_TIFF:
      return &tiff;
    case SV_IMAGE_GEOTIFF:
      return &geoTiff;
    case SV_IMAGE_JPEG:
      return &jpeg;
    case SV_IMAGE_PNG:
      return &png;
    default:
      return nullptr;
  }
}

Sv_ImageWriteSettings::Sv_ImageWriteSettings() : tiffCompression(5), tiffTileSize(0), jpegQuality(90) {}

int Sv_ImageWriteSettings::ParseCompression(const char* word) {
  static const struct {
    const char* name;
    int code;
  } kNames[] = {{"none", 1}, {"lzw", 5}, {"jpeg", 7}, {"deflate", 8}, {"zip", 8}, {"packbits", 32773}};
  if (!word || !*word) return -1;
  for (const auto& n : kNames) {
    if (strcasecmp(word, n.name) == 0) return n.code;
  }
  char* end = nullptr;
  const long code = std::strtol(word, &end, 10);
  return (*end == '\0' && code > 0 && code < 65536) ? static_cast<int>(code) : -1;
}

Sv_ImageWriteSettings Sv_ImageWriteSettings::FromConfiguration() {
  static const char* kWho = "ImageFormats";
  Sv_ImageWriteSettings s;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("ImageFormats", nullptr, &f)) return s;
  std::string line;
  for (int i = 0; i < 3 && f.ReadLine(&line, 255); ++i) {
    char word[64];
    if (std::sscanf(line.c_str(), "%63s", word) != 1) continue;
    const int value = std::atoi(word);
    if (i == 0) {
      const int code = ParseCompression(word);
      if (code > 0) {
        s.tiffCompression = code;
      } else {
        Sv_ImageMessage(SV_LEVEL_DEBUG, kWho, "Unknown TIFF compression '%s', LZW is used", word);
      }
    } else if (i == 1) {
      // Tiles are multiples of 16 pixels (a TIFF rule); at most 4096.
      if (value > 0) s.tiffTileSize = value > 4096 ? 4096 : (value + 15) / 16 * 16;
    } else if (value >= 1 && value <= 100) {
      s.jpegQuality = value;
    }
  }
  return s;
}

Sv_ImageWriteRows::Sv_ImageWriteRows(const Sv_2DData& image, bool dropAlpha)
    : m_image(image), m_layout(0), m_channels(0), m_bits(8), m_convert(false) {
  switch (image.GetFormat()) {
    case SV_2D_RGB:
      m_layout = SV_2D_RGB;
      break;
    case SV_2D_RGBA:
      m_layout = dropAlpha ? SV_2D_RGB : SV_2D_RGBA;
      m_convert = dropAlpha;
      break;
    case SV_2D_BGR:
      m_layout = SV_2D_RGB;
      m_convert = true;
      break;
    case SV_2D_ABGR:
      m_layout = dropAlpha ? SV_2D_RGB : SV_2D_RGBA;
      m_convert = true;
      break;
    case SV_2D_GREY:
    case SV_2D_TERRAIN8:
      m_layout = SV_2D_GREY;
      break;
    case SV_2D_GREY_ALPHA:
      m_layout = dropAlpha ? SV_2D_GREY : SV_2D_GREY_ALPHA;
      m_convert = dropAlpha;
      break;
    case SV_2D_TERRAIN16:
      m_layout = SV_2D_TERRAIN16;
      m_bits = 16;
      break;
    default:
      break;
  }
  m_channels = Sv_2DData::ChannelsOfFormat(m_layout);
  if (m_convert) m_scratch.resize(static_cast<size_t>(image.GetWidth()) * static_cast<size_t>(m_channels));
}

const unsigned char* Sv_ImageWriteRows::Row(int y) {
  const unsigned char* s = m_image.GetRow(m_image.GetHeight() - 1 - y);
  if (!m_convert || !s) return s;
  unsigned char* d = m_scratch.data();
  const size_t n = static_cast<size_t>(m_image.GetWidth());
  const bool alpha = m_channels == 4;
  switch (m_image.GetFormat()) {
    case SV_2D_RGBA:  // to RGB
      for (size_t i = 0; i < n; ++i, s += 4, d += 3) std::memcpy(d, s, 3);
      break;
    case SV_2D_BGR:  // bytes B, G, R
      for (size_t i = 0; i < n; ++i, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
      break;
    case SV_2D_ABGR:  // bytes A, B, G, R
      for (size_t i = 0; i < n; ++i, s += 4) {
        *d++ = s[3];
        *d++ = s[2];
        *d++ = s[1];
        if (alpha) *d++ = s[0];
      }
      break;
    case SV_2D_GREY_ALPHA:  // to grey
      for (size_t i = 0; i < n; ++i, s += 2) *d++ = s[0];
      break;
    default:
      break;
  }
  return m_scratch.data();
}
