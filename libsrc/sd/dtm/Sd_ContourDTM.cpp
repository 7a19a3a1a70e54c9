// Contoured terrain model: records, class configuration, contour making,
// colouring and the export as 3-D lines.
#include "Sd_ContourDTM.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "Sd_TextScan.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Bytes of a contour's header (level, colour, segment count) and of a segment.
constexpr long long kContourBytes = 12;
constexpr long long kSegmentBytes = 16;
// Settings of an object without class configuration.
constexpr float kDefaultZOffset = 0.0015f;

}  // namespace

Sd_ContourDTM::Sd_ContourDTM() : m_currentLevel(0.0f), m_lineZOffset(kDefaultZOffset), m_colourMode(0) {
  SetType(kTypeId);
  ReadClassConfiguration();
}

Sd_ContourDTM::~Sd_ContourDTM() { ReturnGrids(); }

const char* Sd_ContourDTM::className() const { return "Contoured DTM"; }

unsigned Sd_ContourDTM::ReverseColour(unsigned c) {
  return (c & 0xFFu) << 24 | ((c >> 8) & 0xFFu) << 16 | ((c >> 16) & 0xFFu) << 8 | c >> 24;
}

// After the version line, the first line not starting with '#' holds the
// line z offset and the next such line the colour mode; a missing file or
// line keeps the built-in value.
void Sd_ContourDTM::ReadClassConfiguration() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("ContourDTMClass", &version, &f)) return;
  std::string line;
  double offset = 0.0;
  int mode = 0;
  if (Sd_TextScan::ReadValueLine(&f, &line) && Sd_TextScan::Scan(line, "f", nullptr, &offset)) {
    m_lineZOffset = static_cast<float>(offset);
  }
  if (Sd_TextScan::ReadValueLine(&f, &line) && Sd_TextScan::Scan(line, "i", &mode, nullptr)) m_colourMode = mode;
}

bool Sd_ContourDTM::SetContourGrid(int rows, int cols, unsigned short maxCode) {
  // A maximum code of 0 draws with the z axis scaled as if it were 1.
  if (rows < 2 || cols < 2 || rows > kMaxGridSide || cols > kMaxGridSide) return false;
  SetGridShape(rows, cols);
  SetCodeRange(GetMinCode(), maxCode);
  return true;
}

void Sd_ContourDTM::AppendContour(ContourRecord contour) { m_contours.push_back(std::move(contour)); }

// --- records ---

bool Sd_ContourDTM::ReadContourRecord(TDR_Manager* manager, std::deque<ContourRecord>* contours) {
  TDR_PayloadReader in(manager);
  float version = 0.0f;
  if (in.TagVersion() == 0) in.Float32(&version);
  int rows = 0, cols = 0, count = 0;
  unsigned short maxCode = 0;
  in.Int32(&rows);
  in.Int32(&cols);
  in.Read(&maxCode, 2, 1);
  in.Int32(&count);
  const char* where = "Sd_ContourDTM::LoadObject";
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contour record shorter than its header", where);
    return false;
  }
  if (rows < 2 || cols < 2 || rows > kMaxGridSide || cols > kMaxGridSide) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contours need a grid of at least 2 x 2 nodes", where);
    return false;
  }
  if (count < 0 || count > in.Left() / kContourBytes) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contour count beyond the record", where);
    return false;
  }
  for (int k = 0; k < count; ++k) {
    ContourRecord contour;
    int segments = 0;
    in.Float32(&contour.level);
    in.Read(&contour.colour, 4, 1);
    in.Int32(&segments);
    if (!in.Ok() || segments < 0 || segments > in.Left() / kSegmentBytes) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contour segment count beyond the record", where);
      return false;
    }
    contour.segments.resize(static_cast<size_t>(segments));
    if (segments > 0 && !in.Float32s(&contour.segments[0].x1, 4 * segments)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contour record shorter than its segments", where);
      return false;
    }
    contours->push_back(std::move(contour));
  }
  if (!SetContourGrid(rows, cols, maxCode)) return false;
  return true;
}

int Sd_ContourDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  ReturnGrids();
  m_contours.clear();
  std::deque<ContourRecord> contours;
  if (!ReadContourRecord(manager, &contours)) return -1;
  m_contours = std::move(contours);
  if (ReadCommonTags(manager) != 0) {
    m_contours.clear();
    return -1;
  }
  return 0;
}

int Sd_ContourDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_CONTOURDTM_ATB) return 0;
  TDR_PayloadReader in(manager);
  float version = 0.0f, offset = 0.0f;
  int mode = 0;
  if (in.TagVersion() == 0) in.Float32(&version);
  in.Float32(&offset);
  in.Int32(&mode);
  if (!in.Ok() || !std::isfinite(offset)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged contour settings record; settings kept",
                      "Sd_ContourDTM::LoadObject");
    return 1;
  }
  m_lineZOffset = offset;
  m_colourMode = mode;
  return 1;
}

int Sd_ContourDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || GetRows() < 2 || GetCols() < 2) return -1;
  if (manager->WriteTag(TDR_TAG_SD_CONTOURDTM, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const unsigned short maxCode = GetMaxCode();
  out.Int32(GetRows());
  out.Int32(GetCols());
  out.Write(&maxCode, 2, 1);
  out.Int32(static_cast<int>(m_contours.size()));
  for (const ContourRecord& contour : m_contours) {
    out.Float32(contour.level);
    out.Write(&contour.colour, 4, 1);
    out.Int32(static_cast<int>(contour.segments.size()));
    if (!contour.segments.empty()) out.Float32s(&contour.segments[0].x1, 4 * static_cast<int>(contour.segments.size()));
  }
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_ContourDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_CONTOURDTM_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Float32(m_lineZOffset);
  out.Int32(m_colourMode);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

// Two contours of a 4 x 5 grid around a low mound, coloured.
int Sd_ContourDTM::WriteSample(TDR_Manager* manager) {
  Sd_ContourDTM set;
  set.SetContourGrid(4, 5, 65535);
  set.SetBounds(0, 0.0f, 400.0f);
  set.SetBounds(1, 0.0f, 300.0f);
  set.SetBounds(2, -50.0f, 0.0f);
  set.SetColourMode(1);
  ContourRecord low;
  low.level = 20000.0f;
  low.colour = 0x2080C0FFu;
  low.segments = {{1.0f, 0.5f, 0.5f, 1.5f}, {0.5f, 1.5f, 1.5f, 2.5f}, {1.5f, 2.5f, 3.0f, 2.0f}};
  ContourRecord high;
  high.level = 50000.0f;
  high.colour = 0xE0C020FFu;
  high.segments = {{2.0f, 1.0f, 2.5f, 1.5f}, {2.5f, 1.5f, 2.0f, 2.0f}};
  set.AppendContour(low);
  set.AppendContour(high);
  return set.SaveObject(manager, 1, 0);
}

// --- grids of another DTM ---

int Sd_ContourDTM::LendGrids(Sd_BaseDTM* source) {
  const char* where = "Sd_ContourDTM::LendGrids";
  unsigned short** heights = source ? source->GetElevationGrid() : nullptr;
  unsigned int** colours = source ? source->GetColorGrid() : nullptr;
  if (!heights || !colours || source->GetRows() < 2 || source->GetCols() < 2) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Contours need a terrain with heights and colours of 2 x 2 nodes", where);
    return -1;
  }
  if (!m_contours.empty() && (source->GetRows() != GetRows() || source->GetCols() != GetCols())) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The terrain's grid differs from the grid of the contours", where);
    return -1;
  }
  if (HoldRows(heights, colours, source->GetRows(), source->GetCols()) != 0) return -1;
  SetCodeRange(source->GetMinCode(), source->GetMaxCode());
  for (int axis = 0; axis < 3; ++axis) SetBounds(axis, source->GetBounds(axis)[0], source->GetBounds(axis)[1]);
  return 0;
}

void Sd_ContourDTM::ReturnGrids() {
  if (!HoldsRows()) return;
  const int rows = GetRows(), cols = GetCols();
  SetGridShape(rows, cols);
}

void Sd_ContourDTM::FreeData() {
  ReturnGrids();
  Sd_BaseDTM::FreeData();
}

// --- contours ---

int Sd_ContourDTM::AddContour(float z) {
  const char* where = "Sd_ContourDTM::AddContour";
  if (!HasLentGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No terrain grid lent for contouring", where);
    return -1;
  }
  float level = 0.0f;
  if (!ContourLevel(z, &level)) return -1;
  // Memory running out refuses the contour; those before stay.
  try {
    ContourRecord contour;
    contour.level = level;
    if (ContourScan(&level, 1, &contour.segments)) {
      // Each segment went to the front of the contour's list as it was found.
      std::reverse(contour.segments.begin(), contour.segments.end());
      m_contours.push_front(std::move(contour));
      m_currentLevel = level;
      return 0;
    }
  } catch (const std::bad_alloc&) {
  }
  Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR:  No memory to trace the contour line", where);
  return -1;
}

void Sd_ContourDTM::ColourContours() {
  const unsigned* map = GetColorMap();
  unsigned int* const* grid = ColourRows();
  const double lo = GetMinCode(), hi = GetMaxCode();
  for (ContourRecord& contour : m_contours) {
    if (map) {
      const double t = hi > lo ? (contour.level - lo) / (hi - lo) * 255.0 : 0.0;
      // Levels outside the code range take the map's ends.
      const int k = t >= 255.0 ? 255 : (t > 0.0 ? static_cast<int>(t) : 0);
      contour.colour = ReverseColour(map[k]);
    } else if (grid && !contour.segments.empty()) {
      const float x = contour.segments.front().x1, y = contour.segments.front().y1;
      if (x >= 0.0f && y >= 0.0f && x < static_cast<float>(GetCols()) && y < static_cast<float>(GetRows())) {
        contour.colour = ReverseColour(grid[static_cast<int>(y)][static_cast<int>(x)]);
      }
    }
  }
}

// A segment end (x, y) at level L goes to the map point of its grid place;
// its height is the one the level was made from, the inverse of the level
// quantisation.
int Sd_ContourDTM::ExportContours(const char* path) {
  const char* where = "Sd_ContourDTM::ExportContours";
  TDR_Manager manager;
  if (!path || manager.OpenFile(path, "wb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Creating contour export file!", where);
    return -1;
  }
  if (manager.WriteHeader() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Writing TDR header to file!", where);
    manager.DiscardFile();
    return -1;
  }
  long long segments = 0;
  for (const ContourRecord& contour : m_contours) segments += static_cast<long long>(contour.segments.size());
  const double b[6] = {m_bounds[0], m_bounds[1], m_bounds[2], m_bounds[3], m_bounds[4], m_bounds[5]};
  const double sx = GetCols() > 1 ? (b[1] - b[0]) / (GetCols() - 1) : 0.0;
  const double sy = GetRows() > 1 ? (b[3] - b[2]) / (GetRows() - 1) : 0.0;
  bool ok = segments <= (1LL << 28) && manager.WriteTag(TDR_TAG_SD_LINES3D, 2, 0, 0, 1) == 0;
  TDR_PayloadWriter out(&manager);
  if (ok) {
    const int header[6] = {0, static_cast<int>(segments), static_cast<int>(2 * segments), 0, 0, 1};
    out.Int32s(header, 6);
    out.Float64s(b, 6);
    for (double v : b) out.Float64(v);
    for (const ContourRecord& contour : m_contours) {
      const double z = (static_cast<double>(contour.level) - 1.0) / 65534.0 * (b[5] - b[4]) + b[4];
      for (const ContourSegment& s : contour.segments) {
        const double points[6] = {b[0] + s.x1 * sx, b[2] + s.y1 * sy, z, b[0] + s.x2 * sx, b[2] + s.y2 * sy, z};
        out.Int32(2);
        out.Float64s(points, 6);
      }
    }
    ok = out.Ok() && manager.EndTag() == 0 && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Writing contour export file!", where);
    manager.DiscardFile();
    return -1;
  }
  if (manager.CloseFile() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Writing contour export file!", where);
    return -1;
  }
  return 0;
}
