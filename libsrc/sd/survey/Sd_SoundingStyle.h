#ifndef SD_SOUNDINGSTYLE_H
#define SD_SOUNDINGSTYLE_H

#include <cstddef>
#include <functional>
#include <string>

#include "Sd_SoundingGrid.h"

// The look of a sounding data set: the class configuration, the two colour
// maps, the colour mode, range and attribute, the cells' alphas, the
// configured and the data ranges of the colour attributes, and the
// colouring and hill shading of the cell grid's colours. It paints the
// grid it is given; the node's colour map and the colour-range listener
// are the data set's to tell.
//
// A cell's colour is an entry of a 256-colour map with the cell's alpha as
// the top byte. Colour modes: 0 depth, 1 spread, 2 sounding count, 3 an
// attribute of the records (the record classes walk their records through
// ColourByValue and ColourByFlag); any other colours nothing.
class Sd_SoundingStyle {
 public:
  static constexpr int kAttributeCount = 23;

  // The switches of the configuration file that the drawing keeps.
  struct Switches {
    int showGridLines;
    int showBase;
    int lastSwitch;
    int showCellSoundings;
  };

  // A value attribute of mode 3: its default colour range, how scale and
  // offset are found, the seed of a cell's walk and what becomes of cells
  // without soundings.
  struct ValueAttribute {
    float low, high;     // colour range without a configured one
    int fromRange;       // 1: scale and offset follow the colour range
    float scale, offset;  // else these
    int seedFirst;       // 1: the walk starts from the first sounding's value, else from kNoHeight
    int emptyCalled;     // 1: cells without soundings are coloured from the seed; 0: left as they are
  };

  Sd_SoundingStyle();

  // --- class configuration (Sd_SoundingConfig.cpp) ---
  // Applies the configuration file name in its version 1, 2 or 3 layout;
  // the drawing's switches come and go through *switches, and
  // loadMap(map, path) loads colour map 0 (1) from a file it names. A
  // missing file keeps the defaults; a file that ends early keeps the
  // defaults of the fields it lacks.
  void ReadConfiguration(const char* name, Switches* switches,
                         const std::function<void(int map, const char* path)>& loadMap);

  // --- colour maps ---
  // Kind 0: colour map 1 becomes the default ramp. Any other kind changes
  // nothing.
  void SetDefaultColorMap(int kind);
  // Reads map 0 (colour map 1) or 1 (colour map 2) from a colour-map file;
  // a missing file is reported once per process, a damaged one with
  // "Error loading color map: %s"; either way the map keeps its colours
  // and the path becomes its name.
  void LoadMap(int map, const char* path);
  unsigned* Map(int map) { return map == 0 ? m_colorMap : m_colorMap2; }
  const unsigned* Map(int map) const { return map == 0 ? m_colorMap : m_colorMap2; }
  // The path of map 0 (1), "" when none was loaded.
  const std::string& MapName(int map) const { return map == 0 ? m_colorMapName : m_colorMap2Name; }
  void ForgetMapName(int map);

  // --- settings ---
  int PreShaded() const { return m_preShaded; }
  void SetPreShaded(int on) { m_preShaded = on; }
  int Progressive() const { return m_progressive; }
  void SetProgressive(int on) { m_progressive = on; }
  int LodStep() const { return m_lodStep; }
  void SetLodStep(int step) { m_lodStep = step; }
  int EmptyCellAlpha() const { return m_emptyCellAlpha; }
  void SetEmptyCellAlpha(int alpha) { m_emptyCellAlpha = alpha; }
  float SymbolSize() const { return m_symbolSize; }
  void SetSymbolSize(float size) { m_symbolSize = size; }
  int CellAlpha() const { return m_cellAlpha; }
  void SetCellAlpha(int alpha) { m_cellAlpha = alpha; }
  int ColourMode() const { return m_colorMode; }
  void SetColourMode(int mode) { m_colorMode = mode; }
  int ColourAttribute() const { return m_colorAttribute; }
  void SetColourAttribute(int attribute) { m_colorAttribute = attribute; }
  int HighlightAttribute() const { return m_highlightAttribute; }
  void SetHighlightAttribute(int attribute) { m_highlightAttribute = attribute; }
  const float* ColourRange() const { return m_colorRange; }
  // Configured colour range of attribute i: 1 with the range when one is
  // configured, else 0 (and 0, 0).
  int GetAttributeRange(int i, float* low, float* high) const;
  // The configured range of attribute k when one is set (range untouched
  // otherwise): true when set.
  bool ConfiguredRange(int k, float range[2]) const;
  // Makes (low, high) the configured range of the attribute the current
  // mode colours by (20 depth, 19 spread, 21 count, or the colour
  // attribute in mode 3; no other).
  void ConfigureColourRange(float low, float high);
  // Data ranges of the attributes over the records, (low, high) each.
  float (*DataRanges())[2] { return m_attrDataRange; }
  const float* DataRange(int k) const { return m_attrDataRange[k]; }

  // --- colouring (Sd_SoundingColour.cpp) ---
  // Modes 0 to 2 over a grid with cells, zMin and zMax the data's z
  // bounds: the colour range (the configured one, else the mode's values')
  // and every cell's colours from colour map 1.
  void ColourCells(Sd_SoundingGrid& grid, double zMin, double zMax);
  // Mode 3 by a value attribute k: value(record index, float*) returns
  // false for a sounding that has no such value. Cells are coloured from
  // colour map 1.
  template <class Value>
  void ColourByValue(Sd_SoundingGrid& grid, double zMin, int k, const ValueAttribute& a, Value value);
  // Mode 3 by whether any of a cell's soundings has bit set in its flags
  // (flags(record index)), from colour map 2; cells without soundings are
  // coloured as unflagged when emptyCalled, else left as they are.
  template <class Flags>
  void ColourByFlag(Sd_SoundingGrid& grid, int k, unsigned char bit, int emptyCalled, Flags flags);
  // Cell c from value v through table: with a configured range of
  // attribute k the entry is (v - low) / (high - low) * 255, else (v -
  // offset) * scale. A cell without height takes the entry of zMin in a
  // configured range (else 0) and the empty-cell alpha, and its pre-shaded
  // colour only that alpha.
  void PaintCell(Sd_SoundingGrid& grid, double zMin, size_t c, int k, float value, float offset, float scale,
                 const unsigned* table) const;
  // Cell c from colour map 2 by a flag state: entry 255 (the range's high
  // end when attribute k has a configured range) when flagged, else 0
  // (its low end).
  void PaintFlag(Sd_SoundingGrid& grid, size_t c, int k, int flagged) const;
  // Hill-shades the lit colours of the grid into its pre-shaded colours
  // with the six shading parameters (in the order of Sv_Shader::SetSun),
  // the heights coded over the configured depth range or zMin ... zMax.
  void Shade(Sd_SoundingGrid& grid, double zMin, double zMax, const float parameters[6]) const;

  // The value a cell keeps while its soundings are walked: the smaller.
  static float PickCellValue(float candidate, float current) { return candidate < current ? candidate : current; }
  // v limited to 0 ... 255.
  static int ClampColorIndex(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
  // A colour-map entry from a real index: truncated toward zero and
  // limited to 0 ... 255; infinite and not-a-number indices give 0.
  static int ColorIndex(double index);
  // The alpha word of an alpha value: a (limited to 0 ... 255) in the top
  // byte, the colour bytes 0.
  static unsigned AlphaWord(int alpha) { return static_cast<unsigned>(ClampColorIndex(alpha)) << 24; }

 private:
  // --- class configuration ---
  int m_preShaded = 0;
  int m_progressive = 0;
  int m_lodStep = 4;
  int m_emptyCellAlpha = 0;
  float m_symbolSize = 0.00075f;
  unsigned char m_attrRangeSet[kAttributeCount] = {};
  float m_attrRange[kAttributeCount][2] = {};

  // --- colour maps ---
  unsigned m_colorMap[256] = {};
  unsigned m_colorMap2[256] = {};
  std::string m_colorMapName;
  std::string m_colorMap2Name;

  // --- colouring ---
  int m_cellAlpha = 230;
  int m_colorMode = 0;
  int m_colorAttribute = 0;
  int m_highlightAttribute = -1;
  float m_colorRange[2] = {0.0f, 1.0f};
  float m_attrDataRange[kAttributeCount][2];
};

#endif
