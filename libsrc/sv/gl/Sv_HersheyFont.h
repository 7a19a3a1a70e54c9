#ifndef SV_HERSHEYFONT_H
#define SV_HERSHEYFONT_H

#include <vector>

// A Hershey stroke font drawn as GL line strips.
//
// Glyphs map to the characters 32 to 127 in the order of the font; any
// other character, and a character the font has no glyph for, draws as the
// replacement glyph (an open box), which every loaded font has as its last
// glyph. Coordinates are font units times the scale given to LoadFont, x
// growing to the right from the glyph's left margin and y upwards from the
// baseline.
class Sv_HersheyFont {
 public:
  // An empty font: no glyphs; draws nothing, all widths and heights 0.
  Sv_HersheyFont();
  virtual ~Sv_HersheyFont();
  Sv_HersheyFont(const Sv_HersheyFont&) = delete;
  Sv_HersheyFont& operator=(const Sv_HersheyFont&) = delete;

  // Loads the font scaled by scale. While the process-wide built-in switch
  // is on (Sv_HersheySetBuiltIn) the built-in roman simplex font is built
  // and the name is not used. Otherwise the named '.jhf' file is read: a
  // name starting with '/' as given, any other name from $WRUHOME/fonts,
  // else from $SVHFONTPATH. Returns 0, or -1 when the file cannot be found
  // or read or is malformed, or the scale is not finite; the font then
  // keeps the glyphs it had.
  int LoadFont(const char* fontFile, float scale);

  // Width of the text (the sum of its glyphs' advances) times scale; 0 for
  // a null text.
  float GetStringWidth(const char* text, float scale) const;
  // Height of the font, from its lowest to its highest stroke, times scale.
  float GetHeight(float scale) const;
  // The lowest and the highest stroke of the font's glyphs (y, loaded
  // units; the replacement glyph does not count).
  float GetMinY() const { return m_minY; }
  float GetMaxY() const { return m_maxY; }
  // Number of glyphs, the replacement glyph included; 0 when empty.
  int GetNumGlyphs() const { return int(m_glyphs.size()); }

  // Draws the text in the current colour in the plane z of the current
  // frame. Horizontal alignment: 0 starts the text at x, 1 centres it on
  // x, 2 ends it at x. Vertical alignment: 0 puts the font's lowest stroke
  // on y, 2 its highest stroke, any other value uses y as the baseline.
  // The flag is accepted for callers and has no effect.
  void DrawString(const char* text, float x, float y, float z, int hAlign, int vAlign, int flag);
  // The same with the glyphs scaled by xScale and yScale (the alignment
  // offsets included).
  void DrawString(float xScale, float yScale, const char* text, float x, float y, float z, int hAlign, int vAlign,
                  int flag);

 private:
  struct Glyph {
    float advance;
    // Pen-down runs of (x, y) pairs.
    std::vector<std::vector<float>> strokes;
  };

  // Turns parsed glyphs (margins and vertex pairs as signed values) into
  // scaled glyphs, adds the replacement glyph and takes them over.
  void Build(const std::vector<std::vector<signed char>>& raw, float scale);
  const Glyph* Lookup(unsigned char c) const;

  std::vector<Glyph> m_glyphs;
  // Glyphs that came from the font (without the replacement glyph).
  int m_fontGlyphs;
  float m_minY;
  float m_maxY;
};

// Process-wide switch: while flag is non-zero, Sv_HersheyFont::LoadFont
// builds the built-in font (the 96 roman simplex glyphs and the replacement
// glyph) instead of reading a file.
void Sv_HersheySetBuiltIn(int flag);

#endif
