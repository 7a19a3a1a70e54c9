// Sounding data sets: colouring of the cell grid (by depth, spread, count or
// a record attribute) and its hill shading.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"
#include "Sd_SoundingSet.h"
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

}  // namespace

// --- one cell ---

int Sd_SoundingSet::ColorIndex(double index) {
  // Written so that NaN gives 0 too.
  if (!(std::fabs(index) <= 1e300)) return 0;
  if (index <= 0.0) return 0;
  if (index >= 255.0) return 255;
  return static_cast<int>(index);
}

bool Sd_SoundingSet::ConfiguredRange(int k, float range[2]) const {
  if (k < 0 || k >= kAttributeCount || !m_attrRangeSet[k]) return false;
  range[0] = m_attrRange[k][0];
  range[1] = m_attrRange[k][1];
  return true;
}

void Sd_SoundingSet::UseNodeColorMap(const unsigned* table) {
  const unsigned* current = GetColorMap();
  if (current == table || (current && memcmp(current, table, 256 * sizeof(unsigned)) == 0)) return;
  unsigned* copy = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  if (!copy) return;
  memcpy(copy, table, 256 * sizeof(unsigned));
  SetColorMap(copy);
}

void Sd_SoundingSet::PaintCell(size_t c, int k, float value, float offset, float scale, const unsigned* table) {
  float range[2];
  const bool ranged = ConfiguredRange(k, range);
  const double width = static_cast<double>(range[1]) - range[0];
  if (m_cellHeights[c] != kNoHeight) {
    const double index = ranged ? (static_cast<double>(value) - range[0]) / width * 255.0
                                : (static_cast<double>(value) - offset) * static_cast<double>(scale);
    const unsigned a = AlphaWord(m_cellAlpha);
    m_cellColors[c] = a | (table[ColorIndex(index)] & kRgbMask);
    m_shadedColors[c] = (m_shadedColors[c] & kRgbMask) | a;
  } else {
    // The floor of the data, in the configured range.
    const double index = ranged ? (m_zMin - range[0]) / width * 255.0 : 0.0;
    const unsigned a = AlphaWord(m_emptyCellAlpha);
    m_cellColors[c] = a | (table[ColorIndex(index)] & kRgbMask);
    m_shadedColors[c] = a;
  }
}

void Sd_SoundingSet::PaintFlag(size_t c, int k, int flagged) {
  float range[2];
  const bool ranged = ConfiguredRange(k, range);
  double index;
  unsigned a;
  if (m_cellHeights[c] != kNoHeight) {
    index = ranged ? std::trunc(static_cast<double>(flagged ? range[1] : range[0])) : (flagged ? 255.0 : 0.0);
    a = AlphaWord(m_cellAlpha);
  } else {
    index = ranged ? std::trunc(static_cast<double>(range[0])) : 0.0;
    a = AlphaWord(m_emptyCellAlpha);
  }
  m_cellColors[c] = a | (m_colorMap2[ColorIndex(index)] & kRgbMask);
  m_shadedColors[c] = (m_shadedColors[c] & kRgbMask) | a;
}

void Sd_SoundingSet::SetCellColor(int row, int col, int attribute, float value, float offset, float scale,
                                  const unsigned* table) {
  if (!IsCell(row, col) || !table) return;
  UseNodeColorMap(table);
  PaintCell(CellIndex(row, col), attribute, value, offset, scale, table);
}

void Sd_SoundingSet::SetCellFlagColor(int row, int col, int attribute, int flagged) {
  if (IsCell(row, col)) PaintFlag(CellIndex(row, col), attribute, flagged);
}

// --- the whole grid ---

void Sd_SoundingSet::ColorCells() {
  if (m_cells && m_colorMode >= 0 && m_colorMode <= 2) {
    static constexpr int kAttribute[3] = {20, 19, 21};
    const int k = kAttribute[m_colorMode];
    float low, high, offset;
    double scale;
    if (m_colorMode == 0) {
      low = offset = static_cast<float>(m_zMin);
      high = static_cast<float>(m_zMax);
      scale = 255.0 / (m_zMax - m_zMin);
    } else if (m_colorMode == 1) {
      low = offset = m_stdDevMin;
      high = m_stdDevMax;
      scale = 255.0 / (static_cast<double>(m_stdDevMax) - m_stdDevMin);
    } else {
      low = offset = 0.0f;
      high = static_cast<float>(m_maxCellCount);
      scale = 255.0 / m_maxCellCount;
    }
    if (!ConfiguredRange(k, m_colorRange)) {
      m_colorRange[0] = low;
      m_colorRange[1] = high;
    }
    UseNodeColorMap(m_colorMap);
    const size_t cells = CellCount();
    for (size_t c = 0; c < cells; ++c) {
      float value;
      if (m_colorMode == 0) {
        value = m_cellHeights[c];
      } else if (m_colorMode == 1) {
        if (m_cellHeights[c] == kNoHeight) {
          m_cellColors[c] = m_shadedColors[c] = AlphaWord(m_emptyCellAlpha);
          continue;
        }
        value = m_cells[c].stdDev;
      } else {
        value = static_cast<float>(m_cells[c].count);
      }
      PaintCell(c, k, value, offset, static_cast<float>(scale), m_colorMap);
    }
  } else if (m_cells && m_colorMode == 3) {
    CallBusy(1, 1);
    ColorCellsByAttribute();
    CallBusy(0, 0);
  }
  CallColorRange(this, m_colorRange[0], m_colorRange[1]);
}

template <class Value>
void Sd_SoundingSet::ColourByValue(int k, const ValueAttribute& a, Value value) {
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
  UseNodeColorMap(m_colorMap);
  const size_t cells = CellCount();
  for (size_t c = 0; c < cells; ++c) {
    const int* list = m_cellRun + m_cells[c].run;
    const int n = m_cells[c].count;
    if (n == 0 && !a.emptyCalled) continue;
    float kept = kSeed;
    if (n > 0 && a.seedFirst) value(list[0], &kept);
    for (int i = 0; i < n; ++i) {
      float v;
      if (value(list[i], &v)) kept = PickCellValue(v, kept);
    }
    PaintCell(c, k, kept, offset, scale, m_colorMap);
  }
}

template <class Flags>
void Sd_SoundingSet::ColourByFlag(int k, unsigned char bit, int emptyCalled, Flags flags) {
  if (!ConfiguredRange(k, m_colorRange)) {
    m_colorRange[0] = 0.0f;
    m_colorRange[1] = 255.0f;
  }
  const size_t cells = CellCount();
  for (size_t c = 0; c < cells; ++c) {
    const int* list = m_cellRun + m_cells[c].run;
    const int n = m_cells[c].count;
    if (n == 0 && !emptyCalled) continue;
    int flagged = 0;
    for (int i = 0; i < n && !flagged; ++i) flagged = (flags(list[i]) & bit) != 0;
    PaintFlag(c, k, flagged);
  }
}

void Sd_SoundingSet::SetColorMode(int mode) {
  m_colorMode = mode;
  ColorCells();
  if (m_preShaded) Reshade();
}

void Sd_SoundingSet::SetColorRange(float low, float high) {
  static constexpr int kAttribute[3] = {20, 19, 21};
  int k = m_colorMode == 3 ? m_colorAttribute : -1;
  if (m_colorMode >= 0 && m_colorMode <= 2) k = kAttribute[m_colorMode];
  if (k >= 0 && k < kAttributeCount) {
    m_attrRange[k][0] = low;
    m_attrRange[k][1] = high;
    m_attrRangeSet[k] = 1;
  }
  ColorCells();
  if (m_preShaded) Reshade();
}

void Sd_SoundingSet::SetColorAttribute(int attribute) {
  m_colorAttribute = attribute;
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
  const int k = m_colorAttribute;
  const HTFSndRecord* r = m_sndRecords;
  const auto flags = [r](int i) { return r[i].flags; };
  if (k >= 0 && k <= 7) {
    const ValueAttribute a{m_attrDataRange[k][0], m_attrDataRange[k][1], 1, 0.0f, 0.0f, 0, 1};
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
  const int k = m_colorAttribute;
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
    if (k == 15) a = ValueAttribute{m_attrDataRange[15][0], m_attrDataRange[15][1], 1, 0.0f, 0.0f, 0, 1};
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
    if (h[c] == Sd_SoundingSet::kNoHeight) {
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

void Sd_SoundingSet::ShadeCells(float azimuth, float strength, float ambient, float relief, float elevation,
                                float highlight, int) {
  const float parameters[6] = {azimuth, strength, ambient, relief, elevation, highlight};
  memcpy(m_shading, parameters, sizeof parameters);
  if (m_cells) {
    Sv_Shader shader(m_rows, m_cols);
    if (!m_colorMapName.empty()) shader.LoadColormap(m_colorMapName.c_str());
    float range[2];
    const bool ranged = ConfiguredRange(20, range) && static_cast<double>(range[1]) - range[0] > 1e-7;
    ShadeSource source{m_cellHeights,     m_cellColors,     m_cols,         ranged ? range[0] : m_zMin,
                       ranged ? range[1] : m_zMax, m_shadeHeightRow, m_shadeColorRow};
    shader.SetHeightCallback(HeightRow, &source);
    shader.SetColorSourceCallback(ColourRow, &source);
    shader.SetSun(azimuth, strength, ambient, relief, elevation, highlight);
    // Row by row in the shader's sweep order, each into its own row.
    const bool down = shader.GetRowStep() < 1;
    for (int i = 0; i < m_rows; ++i) {
      const int row = down ? m_rows - 1 - i : i;
      shader.ShadeRow(m_shadedColors + static_cast<size_t>(row) * m_cols);
    }
  }
  ColorCells();
}

void Sd_SoundingSet::Reshade() {
  ShadeCells(m_shading[0], m_shading[1], m_shading[2], m_shading[3], m_shading[4], m_shading[5], 0);
}
