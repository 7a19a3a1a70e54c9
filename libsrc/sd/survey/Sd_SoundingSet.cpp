// Sounding data sets: the object record's header, bounds, the attribute
// record, saving as a file pointer, the colour maps' loading, and what the
// data set does across its parts (statistics, filters, the tools).
#include "Sd_SoundingSet.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Whether the file the records came from is the file a manager is writing:
// both exist and are the same file (a target that does not exist yet
// cannot hold the records).
bool IsFileBeingWritten(const std::string& dataPath, const char* target) {
  if (!target || !*target) return false;
  std::error_code ec;
  const bool same = std::filesystem::equivalent(dataPath, target, ec);
  return same && !ec;
}

}  // namespace

Sd_SoundingSet::Sd_SoundingSet(const Sd_SoundingClass& cls)
    : m_class(cls),
      m_sndCount(0),
      m_runCount(0),
      m_frameCount(0),
      m_payloadHeaderSize(4 * cls.countFields),
      m_filters{0, 0, 0, 0},
      m_lastSwitch(0),
      m_selection(*this),
      m_editor(*this),
      m_attributeVersionError(0) {
  SetType(cls.typeId);
  for (int i = 0; i < cls.filterCount && i < 4; ++i) m_filters[i] = cls.filters[i].defaultOn;
  // The derived class's constructor reads the class configuration last,
  // once the object is whole.
}

Sd_SoundingSet::~Sd_SoundingSet() { FreeCellGrids(); }

const char* Sd_SoundingSet::className() const { return m_class.className; }

void Sd_SoundingSet::FreeData() {
  m_style.ForgetMapName(0);
  m_style.ForgetMapName(1);
  Sd_Node::FreeData();
}

// --- the object record ---

int Sd_SoundingSet::ReadHeader(TDR_PayloadReader& in, const Sd_SoundingClass& cls, Sd_SoundingHeader* header) {
  const char* where = cls.className;
  Sd_SoundingHeader h;
  h.size = 4 * cls.countFields;
  const int tagVersion = in.TagVersion();
  if (tagVersion == 0) {
    if (!in.Float32(&h.version)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The sounding record ends before its format version", where);
      return -2;
    }
    h.hasVersion = 1;
    // Records of format versions before 2.0 have another layout.
    if (!(h.version >= 2.0f)) return -1;
    h.size += 4;
  }
  if (tagVersion >= 2) {
    in.Float32(&h.cellSize);
    h.hasCellSize = 1;
    h.size += 4;
  }
  if (cls.countFields == 3) {
    in.Int32(&h.runCount);
    in.Int32(&h.frameCount);
  }
  in.Int32(&h.sndCount);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The sounding record ends within its header", where);
    return -2;
  }
  const long long bytes = static_cast<long long>(h.runCount) * kStoredRunSize +
                          static_cast<long long>(h.frameCount) * kStoredFrameSize +
                          static_cast<long long>(h.sndCount) * cls.storedSoundingSize;
  if (h.runCount < 0 || h.frameCount < 0 || h.sndCount < 0 || bytes > in.Left()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The sounding record's counts do not fit its payload", where);
    return -2;
  }
  *header = h;
  return 0;
}

int Sd_SoundingSet::ReadPayloadHeader(TDR_Manager* manager, Sd_SoundingHeader* header) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  Sd_SoundingHeader h;
  if (ReadHeader(in, m_class, &h) != 0) return -1;
  m_payloadHeaderSize = h.size;
  if (h.hasVersion) m_grid.SetCellSize(kDefaultCellSize);
  if (h.hasCellSize) m_grid.SetCellSize(h.cellSize);
  if (header) *header = h;
  return 0;
}

int Sd_SoundingSet::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  Sd_SoundingHeader header;
  const int result = ReadHeader(in, m_class, &header);
  // A record of an old format is refused without a message of its own: the
  // factory's table says what is reported for the class.
  if (result == -1) return -1;
  if (result != 0 || ReadRecords(in, header) != 0) return -1;
  m_payloadHeaderSize = header.size;
  if (header.hasVersion) m_grid.SetCellSize(kDefaultCellSize);
  if (header.hasCellSize) m_grid.SetCellSize(header.cellSize);
  m_dataPath = manager->GetPath();
  m_grid.ForgetMaxCellCount();
  // The records are whole: damage in what follows costs only settings.
  ReadCommonTags(manager);
  // Binned once the records after the object's own have set the filters
  // and the surface mode, and from the data's own bounds: a georeference
  // record among them (of another writer) would otherwise move the cells
  // off their soundings.
  return UpdateCellStatistics(1) == 0 ? 0 : -1;
}

int Sd_SoundingSet::WriteDataRecord(TDR_Manager* manager, int tagVersion, float formatVersion) const {
  if (!manager || manager->WriteTag(m_class.objectTag, static_cast<short>(tagVersion), 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  if (tagVersion == 0) out.Float32(formatVersion);
  if (tagVersion >= 2) out.Float32(m_grid.CellSize());
  if (!WriteRecords(out, manager->GetByteOrder())) return -1;
  return manager->EndTag() == 0 ? 0 : -1;
}

int Sd_SoundingSet::SetSampleSettings() {
  m_grid.SetCellSize(50.0f);
  const int filters[3] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) m_filters[i] = filters[i];
  m_grid.SetSurfaceMode(2);
  m_painter.SetGridLineZ(-0.25f);
  m_style.SetCellAlpha(200);
  m_style.SetColourMode(1);
  m_painter.SetShowGridLines(0);
  m_painter.SetShowSurface(1);
  m_painter.SetShowCellSoundings(0);
  m_painter.SetShowBase(1);
  m_lastSwitch = 1;
  m_style.ForgetMapName(0);
  return UpdateCellStatistics(1);
}

// --- bounds ---

void Sd_SoundingSet::SetDataBounds(const BoundsAccumulator& b) {
  m_extent.SetBox(b.min, b.max);
  const Sd_SoundingExtent& e = m_extent;
  SetBounds(0, static_cast<float>(e.xMin), static_cast<float>(e.xMax));
  SetBounds(1, static_cast<float>(e.yMin), static_cast<float>(e.yMax));
  SetBounds(2, static_cast<float>(e.zMin), static_cast<float>(e.zMax));
}

void Sd_SoundingSet::GetDataBounds(double bounds[6]) const {
  const Sd_SoundingExtent& e = m_extent;
  const double b[6] = {e.xMin, e.xMax, e.yMin, e.yMax, e.zMin, e.zMax};
  memcpy(bounds, b, sizeof b);
}

void Sd_SoundingSet::GetDataRanges(double ranges[3]) const {
  ranges[0] = m_extent.xRange;
  ranges[1] = m_extent.yRange;
  ranges[2] = m_extent.zRange;
}

int Sd_SoundingSet::GetAttributeDataRange(int i, float* low, float* high) const {
  const bool valid = i >= 0 && i < kAttributeCount;
  if (low) *low = valid ? m_style.DataRange(i)[0] : 0.0f;
  if (high) *high = valid ? m_style.DataRange(i)[1] : 0.0f;
  return valid ? 1 : 0;
}

// --- records after the object's own ---

int Sd_SoundingSet::ReadCommonTags(TDR_Manager* manager) {
  m_attributeVersionError = 0;
  const int result = Sd_Node::ReadCommonTags(manager);
  return result != 0 || m_attributeVersionError ? -1 : 0;
}

int Sd_SoundingSet::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag == m_class.attributeTag) {
    ReadAttributeRecord(manager);
    return 1;
  }
  // Edits are never applied: the next read steps over the payload.
  return tag == m_class.editsTag ? 1 : 0;
}

void Sd_SoundingSet::ReadAttributeRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  if (manager->GetTagVersion() == 0) {
    float version = 0.0f;
    if (!in.Float32(&version) || version != 1.0f) {
      if (m_class.versionText) Sv_Debug::Message(SV_LEVEL_DEBUG, m_class.versionText, m_class.versionDetail);
      m_attributeVersionError = 1;
      return;
    }
  }
  int head[4];  // the three filters and the surface mode
  float gridLineZ = 0.0f;
  int tail[7];  // cell alpha, colour mode, the five switches
  int length = 0;
  in.Int32s(head, 4);
  in.Float32(&gridLineZ);
  in.Int32s(tail, 7);
  in.Int32(&length);
  std::string name;
  if (in.Ok() && length >= 0 && length <= in.Left()) {
    name.resize(static_cast<size_t>(length));
    in.Bytes(&name[0], length);
  } else {
    in.Fail();
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged sounding attribute record; the settings are kept",
                      m_class.className);
    return;
  }
  for (int i = 0; i < 3; ++i) m_filters[i] = head[i];
  m_grid.SetSurfaceMode(head[3]);
  m_painter.SetGridLineZ(gridLineZ);
  m_style.SetCellAlpha(std::clamp(tail[0], 0, 255));
  m_style.SetColourMode(tail[1]);
  m_painter.SetShowGridLines(tail[2]);
  m_painter.SetShowSurface(tail[3]);
  m_painter.SetShowCellSoundings(tail[4]);
  m_painter.SetShowBase(tail[5]);
  m_lastSwitch = tail[6];
  // The name ends at its length or at a terminator stored with it. A
  // record without a name (as this program writes for an object that has
  // none) keeps the map and name the object has.
  name.resize(strlen(name.c_str()));
  if (!name.empty()) LoadColorMap(name.c_str(), 1);
}

int Sd_SoundingSet::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(m_class.attributeTag, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32s(m_filters, 3);
  out.Int32(m_grid.SurfaceMode());
  out.Float32(m_painter.GridLineZ());
  const int tail[7] = {m_style.CellAlpha(),           m_style.ColourMode(),  m_painter.ShowGridLines(),
                       m_painter.ShowSurface(),       m_painter.ShowCellSoundings(), m_painter.ShowBase(),
                       m_lastSwitch};
  out.Int32s(tail, 7);
  out.CountedText(m_style.MapName(0).c_str());
  if (!out.Ok()) return -1;
  return manager->EndTag() == 0 ? 0 : -1;
}

int Sd_SoundingSet::SaveObject(TDR_Manager* manager, int withAttributes, int) {
  if (!manager) return -1;
  if (m_dataPath.empty()) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  The soundings were not read from a file; there is nothing to point at",
                      m_class.className);
    return -1;
  }
  // The records stay in their own file: a pointer to the file being
  // written would point at itself once the write is done.
  if (IsFileBeingWritten(m_dataPath, manager->GetPath())) {
    Sv_Debug::Message(SV_LEVEL_ERROR,
                      "ERROR:  The soundings are saved as a pointer to the file they came from, which is the file "
                      "being written; save to another file",
                      m_dataPath.c_str());
    return -1;
  }
  if (manager->WriteTag(m_class.objectTag, 1, 0, 1, 1) != 0 ||
      manager->WriteFilePointerString(m_dataPath.c_str()) != 0 || manager->EndTag() != 0) {
    return -1;
  }
  return withAttributes ? WriteCommonTags(manager) : 0;
}

// --- colour maps and the class configuration ---

void Sd_SoundingSet::LoadMap(int map, const char* path, int recolour) {
  if (!path) return;
  m_style.LoadMap(map, path);
  if (recolour) ColorCells();
  CallColorRange(this, m_style.ColourRange()[0], m_style.ColourRange()[1]);
}

void Sd_SoundingSet::ReadClassConfiguration() {
  Sd_SoundingStyle::Switches s{m_painter.ShowGridLines(), m_painter.ShowBase(), m_lastSwitch,
                               m_painter.ShowCellSoundings()};
  m_style.ReadConfiguration(m_class.configName, &s, [this](int map, const char* path) { LoadMap(map, path, 0); });
  m_painter.SetShowGridLines(s.showGridLines);
  m_painter.SetShowBase(s.showBase);
  m_lastSwitch = s.lastSwitch;
  m_painter.SetShowCellSoundings(s.showCellSoundings);
}

// --- the grid ---

int Sd_SoundingSet::AllocCellGrids(int rows, int cols) {
  DropSelection();
  return m_grid.Alloc(rows, cols);
}

void Sd_SoundingSet::FreeCellGrids() {
  DropSelection();
  m_grid.Free();
}

void Sd_SoundingSet::SetGridBounds(const Sd_SoundingGrid::Shape& shape) {
  const float maxX = static_cast<float>(shape.cols) * shape.size + shape.originX;
  const float maxY = static_cast<float>(shape.rows) * shape.size + shape.originY;
  SetBounds(0, shape.originX, maxX);
  SetBounds(1, shape.originY, maxY);
  SetBounds(2, static_cast<float>(m_extent.zMin), static_cast<float>(m_extent.zMax));
  m_extent.xRange = static_cast<double>(maxX) - shape.originX;
  m_extent.yRange = static_cast<double>(maxY) - shape.originY;
  m_extent.zRange = static_cast<double>(m_bounds[5]) - m_bounds[4];
}

int Sd_SoundingSet::IsShownByFlags(unsigned char flags) const {
  for (int i = 0; i < m_class.filterCount; ++i) {
    const Sd_SoundingFilter& f = m_class.filters[i];
    const bool set = (flags & f.bit) != 0;
    if (m_filters[i] && set == (f.hidesWhenSet != 0)) return 0;
  }
  return 1;
}

void Sd_SoundingSet::ShownTable(unsigned char shown[256]) const {
  for (int f = 0; f < 256; ++f) shown[f] = static_cast<unsigned char>(IsShownByFlags(static_cast<unsigned char>(f)));
}

bool Sd_SoundingSet::ComputeCellHeights() {
  unsigned char shown[256];
  ShownTable(shown);
  return m_grid.ComputeHeights(shown);
}

float Sd_SoundingSet::CellStdDev(int row, int col) const {
  const Sd_SoundingCell* cell = m_grid.Cell(row, col);
  if (!cell || cell->count == 0) return 0.0f;
  unsigned char shown[256];
  ShownTable(shown);
  return m_grid.Spread(*cell, shown);
}

void Sd_SoundingSet::SetSurfaceMode(int mode) {
  m_grid.SetSurfaceMode(mode);
  const bool heights = ComputeCellHeights();
  ColorCells();
  if (!ComputeNormals() || !heights) ReportFailedPass();
  if (m_style.PreShaded()) Reshade();
}

int Sd_SoundingSet::UpdateCellStatistics(int withRanges) {
  CallBusy(1, 1);
  const int built = BuildCellGrid();
  unsigned char shown[256];
  ShownTable(shown);
  bool ok = m_grid.UpdateStatistics(shown);
  if (withRanges) ok = ComputeAttributeRanges() && ok;
  ColorCells();
  CallBusy(0, 0);
  if (m_style.PreShaded()) Reshade();
  if (!ok) {
    ReportFailedPass();
    return -1;
  }
  return built;
}

void Sd_SoundingSet::ReportFailedPass() const {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A pass over the cells failed", m_class.className);
}

bool Sd_SoundingSet::ComputeAttributeRanges() {
  float(*range)[2] = m_style.DataRanges();
  for (int k = 0; k < kAttributeCount; ++k) {
    range[k][0] = 1.0e12f;
    range[k][1] = -1.0e12f;
  }
  range[20][0] = static_cast<float>(m_extent.zMin);
  range[20][1] = static_cast<float>(m_extent.zMax);
  range[21][0] = 0.0f;
  range[21][1] = static_cast<float>(m_grid.MaxCellCount());
  m_grid.GetStdDevRange(&range[19][0], &range[19][1]);
  return WidenAttributeRanges(range);
}

// --- the editing tools ---

void Sd_SoundingSet::ThinSoundings() {
  CallBusy(1, 1);
  m_editor.ThinSoundings(m_grid);
  ReportProgress(0, 0);
  m_selection.NotifyMarked();
  CallBusy(0, 0);
}

void Sd_SoundingSet::FindSpikes() {
  CallBusy(1, 1);
  m_editor.FindSpikes(m_grid);
  ReportProgress(0, 0);
  m_selection.NotifyMarked();
  CallBusy(0, 0);
}
