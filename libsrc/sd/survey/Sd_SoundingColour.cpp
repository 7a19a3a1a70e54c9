// The look of sounding data sets: colouring of the cell grid (by depth,
// spread, count or a record attribute) and its hill shading; the record
// classes' tables of colour attributes.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"
#include "Sd_SoundingSet.h"
#include "Sd_SoundingStyle.h"
#include "Sv_Shader.h"

namespace {

// The colour bytes of a packed colour.
constexpr unsigned kRgbMask = 0x00FFFFFFu;
// A cell's walk starts from this value; a cell without soundings keeps it.
constexpr float kSeed = 1.0e12f;
// Fixed scales of the FSD confidence, method and day attributes: 255/9,
// 255/3 and 255/366.
constexpr float kConfScale = 28.333334f;
constexpr float kMethodScale = 85.0f;
constexpr float kDayScale = 0.6967213f;

// Calls visit(c, list, n) for every cell c of the grid, list holding the
// indices of its n soundings; a cell without soundings only when withEmpty.
template <class Visit>
void ForEachCell(const Sd_SoundingGrid& grid, bool withEmpty, Visit visit) {
  const Sd_SoundingCell* cellsOf = grid.Cells();
  const int* runs = grid.RunIndices();
  const size_t cells = grid.CellCount();
  for (size_t c = 0; c < cells; ++c) {
    const int n = cellsOf[c].count;
    if (n == 0 && !withEmpty) continue;
    visit(c, runs + cellsOf[c].run, n);
  }
}

}  // namespace

// --- one cell ---

int Sd_SoundingStyle::ColorIndex(double index) {
  // Written so that NaN gives 0 too.
  if (!(std::fabs(index) <= 1e300)) return 0;
  if (index <= 0.0) return 0;
  if (index >= 255.0) return 255;
  return static_cast<int>(index);
}

bool Sd_SoundingStyle::ConfiguredRange(int k, float range[2]) const {
  if (k < 0 || k >= kAttributeCount || !m_attrRangeSet[k]) return false;
  range[0] = m_attrRange[k][0];
  range[1] = m_attrRange[k][1];
  return true;
}

void Sd_SoundingStyle::PaintCell(Sd_SoundingGrid& grid, double zMin, size_t c, int k, float value, float offset,
                                 float scale, const unsigned* table) const {
  float range[2];
  const bool ranged = ConfiguredRange(k, range);
  const double width = static_cast<double>(range[1]) - range[0];
  unsigned* colours = grid.Colours();
  unsigned* shaded = grid.ShadedColours();
  if (grid.Heights()[c] != Sd_SoundingGrid::kNoHeight) {
    const double index = ranged ? (static_cast<double>(value) - range[0]) / width * 255.0
                                : (static_cast<double>(value) - offset) * static_cast<double>(scale);
    const unsigned a = AlphaWord(m_cellAlpha);
    colours[c] = a | (table[ColorIndex(index)] & kRgbMask);
    shaded[c] = (shaded[c] & kRgbMask) | a;
  } else {
    // The floor of the data, in the configured range.
    const double index = ranged ? (zMin - range[0]) / width * 255.0 : 0.0;
    const unsigned a = AlphaWord(m_emptyCellAlpha);
    colours[c] = a | (table[ColorIndex(index)] & kRgbMask);
    shaded[c] = a;
  }
}

void Sd_SoundingStyle::PaintFlag(Sd_SoundingGrid& grid, size_t c, int k, int flagged) const {
  float range[2];
  const bool ranged = ConfiguredRange(k, range);
  double index;
  unsigned a;
  if (grid.Heights()[c] != Sd_SoundingGrid::kNoHeight) {
    index = ranged ? std::trunc(static_cast<double>(flagged ? range[1] : range[0])) : (flagged ? 255.0 : 0.0);
    a = AlphaWord(m_cellAlpha);
  } else {
    index = ranged ? std::trunc(static_cast<double>(range[0])) : 0.0;
    a = AlphaWord(m_emptyCellAlpha);
  }
  unsigned* shaded = grid.ShadedColours();
  grid.Colours()[c] = a | (m_colorMap2[ColorIndex(index)] & kRgbMask);
  shaded[c] = (shaded[c] & kRgbMask) | a;
}

// --- the whole grid ---

void Sd_SoundingStyle::ColourCells(Sd_SoundingGrid& grid, double zMin, double zMax) {
  static constexpr int kAttribute[3] = {20, 19, 21};
  const int k = kAttribute[m_colorMode];
  float stdDevMin, stdDevMax;
  grid.GetStdDevRange(&stdDevMin, &stdDevMax);
  const int maxCellCount = grid.MaxCellCount();
  float low, high, offset;
  double scale;
  if (m_colorMode == 0) {
    low = offset = static_cast<float>(zMin);
    high = static_cast<float>(zMax);
    scale = 255.0 / (zMax - zMin);
  } else if (m_colorMode == 1) {
    low = offset = stdDevMin;
    high = stdDevMax;
    scale = 255.0 / (static_cast<double>(stdDevMax) - stdDevMin);
  } else {
    low = offset = 0.0f;
    high = static_cast<float>(maxCellCount);
    scale = 255.0 / maxCellCount;
  }
  if (!ConfiguredRange(k, m_colorRange)) {
    m_colorRange[0] = low;
    m_colorRange[1] = high;
  }
  const Sd_SoundingCell* cellsOf = grid.Cells();
  const float* heights = grid.Heights();
  const size_t cells = grid.CellCount();
  for (size_t c = 0; c < cells; ++c) {
    float value;
    if (m_colorMode == 0) {
      value = heights[c];
    } else if (m_colorMode == 1) {
      if (heights[c] == Sd_SoundingGrid::kNoHeight) {
        grid.Colours()[c] = grid.ShadedColours()[c] = AlphaWord(m_emptyCellAlpha);
        continue;
      }
      value = cellsOf[c].stdDev;
    } else {
      value = static_cast<float>(cellsOf[c].count);
    }
    PaintCell(grid, zMin, c, k, value, offset, static_cast<float>(scale), m_colorMap);
  }
}

template <class Value>
void Sd_SoundingStyle::ColourByValue(Sd_SoundingGrid& grid, double zMin, int k, const ValueAttribute& a,
                                     Value value) {
  if (!ConfiguredRange(k, m_colorRange)) {
    m_colorRange[0] = a.low;
    m_colorRange[1] = a.high;
  }
  float scale = a.scale, offset = a.offset;
  if (a.fromRange) {
    const float width = m_colorRange[1] - m_colorRange[0];
    scale = width > 0.0001f ? static_cast<float>(255.0 / width) : 1.0f;
    offset = m_colorRange[0];
  }
  ForEachCell(grid, a.emptyCalled != 0, [&](size_t c, const int* list, int n) {
    float kept = kSeed;
    if (n > 0 && a.seedFirst) value(list[0], &kept);
    for (int i = 0; i < n; ++i) {
      float v;
      if (value(list[i], &v)) kept = PickCellValue(v, kept);
    }
    PaintCell(grid, zMin, c, k, kept, offset, scale, m_colorMap);
  });
}

template <class Flags>
void Sd_SoundingStyle::ColourByFlag(Sd_SoundingGrid& grid, int k, unsigned char bit, int emptyCalled, Flags flags) {
  if (!ConfiguredRange(k, m_colorRange)) {
    m_colorRange[0] = 0.0f;
    m_colorRange[1] = 255.0f;
  }
  ForEachCell(grid, emptyCalled != 0, [&](size_t c, const int* list, int n) {
    int flagged = 0;
    for (int i = 0; i < n && !flagged; ++i) flagged = (flags(list[i]) & bit) != 0;
    PaintFlag(grid, c, k, flagged);
  });
}

void Sd_SoundingStyle::ConfigureColourRange(float low, float high) {
  static constexpr int kAttribute[3] = {20, 19, 21};
  int k = m_colorMode == 3 ? m_colorAttribute : -1;
  if (m_colorMode >= 0 && m_colorMode <= 2) k = kAttribute[m_colorMode];
  if (k >= 0 && k < kAttributeCount) {
    m_attrRange[k][0] = low;
    m_attrRange[k][1] = high;
    m_attrRangeSet[k] = 1;
  }
}

// --- the data set's colouring ---

void Sd_SoundingSet::UseNodeColorMap(const unsigned* table) {
  const unsigned* current = GetColorMap();
  if (current == table || (current && memcmp(current, table, 256 * sizeof(unsigned)) == 0)) return;
  unsigned* copy = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  if (!copy) return;
  memcpy(copy, table, 256 * sizeof(unsigned));
  SetColorMap(copy);
}

void Sd_SoundingSet::SetCellColor(int row, int col, int attribute, float value, float offset, float scale,
                                  const unsigned* table) {
  if (!m_grid.IsCell(row, col) || !table) return;
  UseNodeColorMap(table);
  m_style.PaintCell(m_grid, m_extent.zMin, m_grid.CellIndex(row, col), attribute, value, offset, scale, table);
}

void Sd_SoundingSet::SetCellFlagColor(int row, int col, int attribute, int flagged) {
  if (m_grid.IsCell(row, col)) m_style.PaintFlag(m_grid, m_grid.CellIndex(row, col), attribute, flagged);
}

void Sd_SoundingSet::ColorCells() {
  const int mode = m_style.ColourMode();
  if (m_grid.HasCells() && mode >= 0 && mode <= 2) {
    UseNodeColorMap(m_style.Map(0));
    m_style.ColourCells(m_grid, m_extent.zMin, m_extent.zMax);
  } else if (m_grid.HasCells() && mode == 3) {
    CallBusy(1, 1);
    ColorCellsByAttribute();
    CallBusy(0, 0);
  }
  CallColorRange(this, m_style.ColourRange()[0], m_style.ColourRange()[1]);
}

template <class Value>
void Sd_SoundingSet::ColourByValue(int k, const ValueAttribute& a, Value value) {
  UseNodeColorMap(m_style.Map(0));
  m_style.ColourByValue(m_grid, m_extent.zMin, k, a, value);
}

template <class Flags>
void Sd_SoundingSet::ColourByFlag(int k, unsigned char bit, int emptyCalled, Flags flags) {
  m_style.ColourByFlag(m_grid, k, bit, emptyCalled, flags);
}

void Sd_SoundingSet::SetColorMode(int mode) {
  m_style.SetColourMode(mode);
  ColorCells();
  if (m_style.PreShaded()) Reshade();
}

void Sd_SoundingSet::SetColorRange(float low, float high) {
  m_style.ConfigureColourRange(low, high);
  ColorCells();
  if (m_style.PreShaded()) Reshade();
}

void Sd_SoundingSet::SetColorAttribute(int attribute) {
  m_style.SetColourAttribute(attribute);
  ColorCells();
}

// --- the attribute tables ---

namespace {

// A flag attribute of mode 3: its number, its bit, and whether cells
// without soundings are coloured (as unflagged) or left as they are.
struct FlagAttribute {
  int k;
  unsigned char bit;
  int emptyCalled;
};

}  // namespace

void Sd_HTFSounding::ColorCellsByAttribute() {
  const int k = m_style.ColourAttribute();
  const HTFSndRecord* r = m_sndRecords;
  const auto flags = [r](int i) { return r[i].flags; };
  if (k >= 0 && k <= 7) {
    const ValueAttribute a{m_style.DataRange(k)[0], m_style.DataRange(k)[1], 1, 0.0f, 0.0f, 0, 1};
    ColourByValue(k, a, [r, k](int i, float* v) {
      const HTFSndRecord& s = r[i];
      switch (k) {
        case 0: *v = s.tpePosition; break;
        case 1: *v = s.tpeDepth; break;
        case 2: *v = s.dwCorrection; break;
        case 3: *v = s.vbCorrection; break;
        case 4: *v = static_cast<float>(s.field17); break;
        case 5: *v = static_cast<float>(DayOfYear(s.date)); break;
        case 6: *v = static_cast<float>(s.lineName); break;
        default: *v = s.field14; break;
      }
      return true;
    });
  } else {
    // Flags: NBA (cells without soundings keep their colours), plotted,
    // rejected.
    static constexpr FlagAttribute kFlags[] = {
        {11, HTF_NBA_FLAG, 0}, {12, HTF_PLOTTED_FLAG, 1}, {14, HTF_REJECTED_FLAG, 1}};
    for (const FlagAttribute& f : kFlags) {
      if (f.k == k) ColourByFlag(k, f.bit, f.emptyCalled, flags);
    }
  }
}

void Sd_Sounding::ColorCellsByAttribute() {
  const int k = m_style.ColourAttribute();
  const FsdSndRecord* r = m_sndRecords;
  const auto flags = [r](int i) { return r[i].flags; };
  // The sounding's own confidences: seeded by the first sounding's value.
  const ValueAttribute conf{0.0f, 9.0f, 0, kConfScale, 0.0f, 1, 0};
  if ((k >= 0 && k <= 3) || (k >= 7 && k <= 10)) {
    const bool primary = k <= 3;
    const int j = primary ? k : k - 7;
    ColourByValue(k, conf, [r, primary, j](int i, float* v) {
      *v = static_cast<float>(primary ? r[i].primaryConf[j] : r[i].secondConf[j]);
      return true;
    });
  } else if ((k >= 4 && k <= 6) || k == 15 || k == 16) {
    // The frame's values; soundings without a frame are left out.
    ValueAttribute a{0.0f, 9.0f, 0, kConfScale, 0.0f, 0, 0};
    if (k == 15) a = ValueAttribute{m_style.DataRange(15)[0], m_style.DataRange(15)[1], 1, 0.0f, 0.0f, 0, 1};
    if (k == 16) a = ValueAttribute{0.0f, 3.0f, 0, kMethodScale, 0.0f, 0, 1};
    ColourByValue(k, a, [this, r, k](int i, float* v) {
      const FsdFrameRecord* f = GetFrame(r[i].frameIdx, nullptr);
      if (!f) return false;
      *v = k == 15 ? f->depthCorr : static_cast<float>(k == 16 ? f->method : f->conf[k - 4]);
      return true;
    });
  } else if (k == 17) {
    const ValueAttribute day{0.0f, 366.0f, 0, kDayScale, 1.0f, 0, 1};
    ColourByValue(k, day, [this, r](int i, float* v) {
      const FsdRunRecord* run = GetRunOfFrame(r[i].frameIdx, nullptr);
      if (!run) return false;
      *v = static_cast<float>(run->day);
      return true;
    });
  } else {
    // Flags: NBA (cells without soundings keep their colours), deleted,
    // anomaly, not accepted, clash.
    static constexpr FlagAttribute kFlags[] = {{11, FSD_NBA_FLAG, 0},
                                               {12, FSD_DELETE_FLAG, 1},
                                               {13, FSD_ANOMALY_FLAG, 1},
                                               {14, FSD_NOACCEPT_FLAG, 1},
                                               {22, FSD_CLASH_FLAG, 1}};
    for (const FlagAttribute& f : kFlags) {
      if (f.k == k) ColourByFlag(k, f.bit, f.emptyCalled, flags);
    }
  }
}

int Sd_SoundingHighlighted(const HTFSndRecord& r, int attribute) {
  switch (attribute) {
    case 11: return (r.flags & HTF_NBA_FLAG) != 0;
    case 12: return (r.flags & HTF_PLOTTED_FLAG) != 0;
    case 14: return (r.flags & HTF_REJECTED_FLAG) != 0;
    default: return 0;
  }
}

int Sd_SoundingHighlighted(const FsdSndRecord& r, int attribute) {
  switch (attribute) {
    case 11: return (r.flags & FSD_NBA_FLAG) != 0;
    case 12: return (r.flags & FSD_DELETE_FLAG) != 0;
    case 13: return (r.flags & FSD_ANOMALY_FLAG) != 0;
    case 14: return (r.flags & FSD_NOACCEPT_FLAG) == 0;
    case 22: return (r.flags & FSD_CLASH_FLAG) == 0;
    default: return 0;
  }
}

// --- hill shading ---

namespace {

// The shader's row sources: the cells' heights as 16-bit codes and their
// lit colours, one row at a time into the object's row buffers.
struct ShadeSource {
  const float* heights;
  const unsigned* colours;
  int cols;
  double low, high;
  unsigned short* heightRow;
  unsigned* colourRow;
};

unsigned short* HeightRow(int row, void* data) {
  const ShadeSource& s = *static_cast<const ShadeSource*>(data);
  const float* h = s.heights + static_cast<size_t>(row) * s.cols;
  const double scale = 65535.0 / (s.high - s.low);
  for (int c = 0; c < s.cols; ++c) {
    if (h[c] == Sd_SoundingGrid::kNoHeight) {
      s.heightRow[c] = 0;  // no value
      continue;
    }
    // Heights outside the range (or a range without width) stay within
    // the codes of a height.
    const double code = std::trunc((h[c] - s.low) * scale);
    s.heightRow[c] = static_cast<unsigned short>(code >= 1.0 ? (code <= 65535.0 ? code : 65535.0) : 1.0);
  }
  return s.heightRow;
}

unsigned* ColourRow(int row, void* data) {
  const ShadeSource& s = *static_cast<const ShadeSource*>(data);
  memcpy(s.colourRow, s.colours + static_cast<size_t>(row) * s.cols, static_cast<size_t>(s.cols) * sizeof(unsigned));
  return s.colourRow;
}

}  // namespace

void Sd_SoundingStyle::Shade(Sd_SoundingGrid& grid, double zMin, double zMax, const float parameters[6]) const {
  if (!grid.HasCells()) return;
  const int rows = grid.Rows(), cols = grid.Cols();
  Sv_Shader shader(rows, cols);
  if (!m_colorMapName.empty()) shader.LoadColormap(m_colorMapName.c_str());
  float range[2];
  const bool ranged = ConfiguredRange(20, range) && static_cast<double>(range[1]) - range[0] > 1e-7;
  ShadeSource source{grid.Heights(),        grid.Colours(),        cols, ranged ? range[0] : zMin,
                     ranged ? range[1] : zMax, grid.ShadeHeightRow(), grid.ShadeColourRow()};
  shader.SetHeightCallback(HeightRow, &source);
  shader.SetColorSourceCallback(ColourRow, &source);
  const float* p = parameters;
  shader.SetSun(p[0], p[1], p[2], p[3], p[4], p[5]);
  // Row by row in the shader's sweep order, each into its own row.
  const bool down = shader.GetRowStep() < 1;
  for (int i = 0; i < rows; ++i) {
    const int row = down ? rows - 1 - i : i;
    shader.ShadeRow(grid.ShadedColours() + static_cast<size_t>(row) * cols);
  }
}

void Sd_SoundingSet::ShadeCells(float azimuth, float strength, float ambient, float relief, float elevation,
                                float highlight, int) {
  const float parameters[6] = {azimuth, strength, ambient, relief, elevation, highlight};
  memcpy(m_shading, parameters, sizeof parameters);
  m_style.Shade(m_grid, m_extent.zMin, m_extent.zMax, parameters);
  ColorCells();
}

void Sd_SoundingSet::Reshade() {
  ShadeCells(m_shading[0], m_shading[1], m_shading[2], m_shading[3], m_shading[4], m_shading[5], 0);
}
