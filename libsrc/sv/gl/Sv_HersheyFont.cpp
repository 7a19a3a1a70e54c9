#include "Sv_HersheyFont.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Sv_Debug.h"
#include "Sv_HersheyBuiltIn.h"
#include "Sv_HersheyParse.h"
#include "Sv_Stdio.h"

namespace {

int g_builtIn = 0;

// Glyphs map to the characters 32 to 127.
const int kFirstChar = 32;
const size_t kMaxFontGlyphs = 96;
// Hershey y grows downwards; the roman glyphs stand on y = 9.
const int kBaseline = 9;
// A font file larger than this is not a stroke font.

// The replacement glyph, in the same coding as the parsed ones: margins
// -8 and 8, an open box from the baseline to the cap height (y -12).
const signed char kReplacement[] = {-8, 8, -5, 9, 5, 9, 5, -12, -5, -12, -5, 9};

// The name resolved to a file, or "" when it is found nowhere.
std::string FindFontFile(const char* name) {
  if (name[0] == '/') return Sv_UtlFileExists(name) ? std::string(name) : std::string();
  const char* home = getenv("WRUHOME");
  if (home && *home) {
    std::string path = std::string(home) + "/fonts/" + name;
    if (Sv_UtlFileExists(path.c_str())) return path;
  }
  const char* fontPath = getenv("SVHFONTPATH");
  if (fontPath && *fontPath) {
    std::string path = std::string(fontPath) + "/" + name;
    if (Sv_UtlFileExists(path.c_str())) return path;
  }
  return std::string();
}


}  // namespace

void Sv_HersheySetBuiltIn(int flag) { g_builtIn = flag; }

Sv_HersheyFont::Sv_HersheyFont() : m_fontGlyphs(0), m_minY(0.0f), m_maxY(0.0f) {}

Sv_HersheyFont::~Sv_HersheyFont() {}

int Sv_HersheyFont::LoadFont(const char* fontFile, float scale) {
  if (!std::isfinite(scale)) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "Font scale is not a number", "Sv_HersheyFont::LoadFont");
    return -1;
  }
  std::vector<Sv_HersheyRawGlyph> raw;
  if (g_builtIn) {
    raw.reserve(size_t(kSvHersheyBuiltInCount));
    for (int i = 0; i < kSvHersheyBuiltInCount; ++i) {
      const Sv_HersheyBuiltInGlyph& g = kSvHersheyBuiltIn[i];
      raw.emplace_back(g.values, g.values + 2 * g.count);
    }
    Build(raw, scale);
    return 0;
  }

  if (!fontFile || !*fontFile) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "No font file name given", "Sv_HersheyFont::LoadFont");
    return -1;
  }
  const std::string path = FindFontFile(fontFile);
  if (path.empty()) {
    std::string text = std::string("Font file not found: ") + fontFile;
    Sv_Debug::Message(SV_LEVEL_DEBUG, text.c_str(), "Sv_HersheyFont::LoadFont");
    return -1;
  }
  // A font file named in the configuration is opened only when it is a
  // regular file.
  std::string data;
  FILE* file = Sv_UtlOpenForReading(path.c_str(), SV_LEVEL_WARNING);
  const bool read = file && Sv_HersheyReadStream(file, &data);
  if (file) fclose(file);
  if (!read) {
    std::string text = "Cannot read font file " + path;
    Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str(), "Sv_HersheyFont::LoadFont");
    return -1;
  }
  std::string error;
  if (Sv_HersheyParseText(data.data(), data.size(), kMaxFontGlyphs, &raw, &error) != 0) {
    std::string text = "Bad font file " + path + ", " + error;
    Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str(), "Sv_HersheyFont::LoadFont");
    return -1;
  }
  Build(raw, scale);
  return 0;
}

void Sv_HersheyFont::Build(const std::vector<Sv_HersheyRawGlyph>& raw, float scale) {
  std::vector<Glyph> glyphs;
  glyphs.reserve(raw.size() + 1);
  bool any = false;
  float minY = 0.0f, maxY = 0.0f;
  for (size_t g = 0; g <= raw.size(); ++g) {
    const signed char* v = nullptr;
    size_t n = 0;
    if (g < raw.size()) {
      v = raw[g].data();
      n = raw[g].size();
    } else {
      v = kReplacement;
      n = sizeof(kReplacement);
    }
    Glyph glyph;
    glyph.advance = 0.0f;
    if (n >= 2) {
      const int left = v[0];
      glyph.advance = float(v[1] - left) * scale;
      std::vector<float> stroke;
      for (size_t i = 2; i + 1 < n; i += 2) {
        if (v[i] == SV_HERSHEY_PEN_UP_X && v[i + 1] == 0) {
          if (!stroke.empty()) glyph.strokes.push_back(stroke);
          stroke.clear();
          continue;
        }
        const float x = float(v[i] - left) * scale;
        const float y = float(kBaseline - v[i + 1]) * scale;
        stroke.push_back(x);
        stroke.push_back(y);
        // The font's extent is that of its own glyphs.
        if (g == raw.size()) continue;
        if (!any) {
          minY = maxY = y;
          any = true;
        } else {
          if (y < minY) minY = y;
          if (y > maxY) maxY = y;
        }
      }
      if (!stroke.empty()) glyph.strokes.push_back(stroke);
    }
    glyphs.push_back(glyph);
  }
  m_glyphs.swap(glyphs);
  m_fontGlyphs = int(raw.size());
  // A negative scale turns the font upside down; keep min below max.
  m_minY = minY < maxY ? minY : maxY;
  m_maxY = minY < maxY ? maxY : minY;
}

const Sv_HersheyFont::Glyph* Sv_HersheyFont::Lookup(unsigned char c) const {
  if (m_glyphs.empty()) return nullptr;
  const int index = int(c) - kFirstChar;
  if (index >= 0 && index < m_fontGlyphs) return &m_glyphs[size_t(index)];
  return &m_glyphs.back();
}

float Sv_HersheyFont::GetStringWidth(const char* text, float scale) const {
  if (!text) return 0.0f;
  float width = 0.0f;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const Glyph* g = Lookup(*p);
    if (g) width += g->advance;
  }
  return width * scale;
}

float Sv_HersheyFont::GetHeight(float scale) const { return (m_maxY - m_minY) * scale; }

void Sv_HersheyFont::DrawString(const char* text, float x, float y, float z, int hAlign, int vAlign, int flag) {
  DrawString(1.0f, 1.0f, text, x, y, z, hAlign, vAlign, flag);
}

void Sv_HersheyFont::DrawString(float xScale, float yScale, const char* text, float x, float y, float z, int hAlign,
                                int vAlign, int /*flag*/) {
  if (!text || m_glyphs.empty()) return;
  const float width = GetStringWidth(text, xScale);
  float penX = x;
  if (hAlign == 1) {
    penX = x - 0.5f * width;
  } else if (hAlign == 2) {
    penX = x - width;
  }
  float baseY = y;
  if (vAlign == 0) {
    baseY = y - m_minY * yScale;
  } else if (vAlign == 2) {
    baseY = y - m_maxY * yScale;
  }
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const Glyph* g = Lookup(*p);
    if (!g) continue;
    for (const std::vector<float>& stroke : g->strokes) {
      glBegin(GL_LINE_STRIP);
      for (size_t i = 0; i + 1 < stroke.size(); i += 2) {
        glVertex3f(penX + stroke[i] * xScale, baseY + stroke[i + 1] * yScale, z);
      }
      glEnd();
    }
    penX += g->advance * xScale;
  }
}
