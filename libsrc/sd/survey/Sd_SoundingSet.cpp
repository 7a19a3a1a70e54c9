// Sounding data sets: the object record's header, bounds, the attribute
// record, saving as a file pointer, and the colour maps.
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
      m_xMin(0.0),
      m_xMax(0.0),
      m_yMin(0.0),
      m_yMax(0.0),
      m_zMin(0.0),
      m_zMax(0.0),
      m_xRange(0.0),
      m_yRange(0.0),
      m_zRange(0.0),
      m_cellSize(kDefaultCellSize),
      m_payloadHeaderSize(4 * cls.countFields),
      m_maxCellCount(0),
      m_rows(0),
      m_cols(0),
      m_cells(nullptr),
      m_cellHeights(nullptr),
      m_cellNormals(nullptr),
      m_cellColors(nullptr),
      m_shadedColors(nullptr),
      m_shadeHeightRow(nullptr),
      m_shadeSpareRow(nullptr),
      m_shadeColorRow(nullptr),
      m_binnedCount(0),
      m_cellRun(nullptr),
      m_cellRunZ(nullptr),
      m_cellRunFlags(nullptr),
      m_stdDevMin(1e19f),
      m_stdDevMax(-1e19f),
      m_attrDataRange{},
      m_filters{0, 0, 0, 0},
      m_surfaceMode(1),
      m_gridLineZ(-0.5f),
      m_cellAlpha(230),
      m_colorMode(0),
      m_showGridLines(1),
      m_showSurface(1),
      m_showCellSoundings(1),
      m_showBase(1),
      m_lastSwitch(0),
      m_preShaded(0),
      m_progressive(0),
      m_lodStep(4),
      m_emptyCellAlpha(0),
      m_symbolSize(0.00075f),
      m_attrRangeSet{},
      m_attrRange{},
      m_colorMap{},
      m_colorMap2{},
      m_colorRange{0.0f, 1.0f},
      m_attributeVersionError(0) {
  SetType(cls.typeId);
  for (int i = 0; i < cls.filterCount && i < 4; ++i) m_filters[i] = cls.filters[i].defaultOn;
  for (float* range : m_attrDataRange) {
    range[0] = 1.0e12f;
    range[1] = -1.0e12f;
  }
  SetDefaultColorMap(0);
  // Flag colouring reads map 2: it starts as the same ramp.
  memcpy(m_colorMap2, m_colorMap, sizeof m_colorMap2);
  // The derived class's constructor reads the class configuration last,
  // once the object is whole.
}

Sd_SoundingSet::~Sd_SoundingSet() { FreeCellGrids(); }

const char* Sd_SoundingSet::className() const { return m_class.className; }

void Sd_SoundingSet::FreeData() {
  m_colorMapName.clear();
  m_colorMap2Name.clear();
  m_colorMapName.shrink_to_fit();
  m_colorMap2Name.shrink_to_fit();
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
  if (h.hasVersion) m_cellSize = kDefaultCellSize;
  if (h.hasCellSize) m_cellSize = h.cellSize;
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
  if (header.hasVersion) m_cellSize = kDefaultCellSize;
  if (header.hasCellSize) m_cellSize = header.cellSize;
  m_dataPath = manager->GetPath();
  m_maxCellCount = 0;
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
  if (tagVersion >= 2) out.Float32(m_cellSize);
  if (!WriteRecords(out, manager->GetByteOrder())) return -1;
  return manager->EndTag() == 0 ? 0 : -1;
}

int Sd_SoundingSet::SetSampleSettings() {
  m_cellSize = 50.0f;
  const int filters[3] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) m_filters[i] = filters[i];
  m_surfaceMode = 2;
  m_gridLineZ = -0.25f;
  m_cellAlpha = 200;
  m_colorMode = 1;
  m_showGridLines = 0;
  m_showSurface = 1;
  m_showCellSoundings = 0;
  m_showBase = 1;
  m_lastSwitch = 1;
  m_colorMapName.clear();
  return UpdateCellStatistics(1);
}

// --- bounds ---

void Sd_SoundingSet::SetDataBounds(const BoundsAccumulator& b) {
  m_xMin = b.min[0];
  m_xMax = b.max[0];
  m_yMin = b.min[1];
  m_yMax = b.max[1];
  m_zMin = b.min[2];
  m_zMax = b.max[2];
  m_xRange = m_xMax - m_xMin;
  m_yRange = m_yMax - m_yMin;
  m_zRange = m_zMax - m_zMin;
  // Room below the deepest sounding.
  m_zMin -= 0.05 * m_zRange;
  m_zRange = m_zMax - m_zMin;
  SetBounds(0, static_cast<float>(m_xMin), static_cast<float>(m_xMax));
  SetBounds(1, static_cast<float>(m_yMin), static_cast<float>(m_yMax));
  SetBounds(2, static_cast<float>(m_zMin), static_cast<float>(m_zMax));
}

void Sd_SoundingSet::GetDataBounds(double bounds[6]) const {
  const double b[6] = {m_xMin, m_xMax, m_yMin, m_yMax, m_zMin, m_zMax};
  memcpy(bounds, b, sizeof b);
}

void Sd_SoundingSet::GetDataRanges(double ranges[3]) const {
  ranges[0] = m_xRange;
  ranges[1] = m_yRange;
  ranges[2] = m_zRange;
}

void Sd_SoundingSet::NormalisedXY(double x, double y, float out[2]) const {
  const double p[2] = {x, y};
  const double range[2] = {m_xRange, m_yRange};
  for (int a = 0; a < 2; ++a) {
    const double v = (p[a] - m_bounds[2 * a]) / range[a] - 0.5;
    out[a] = range[a] > 0.0 && std::isfinite(v) ? static_cast<float>(v) : 0.0f;
  }
}

int Sd_SoundingSet::GetAttributeRange(int i, float* low, float* high) const {
  const bool set = i >= 0 && i < kAttributeCount && m_attrRangeSet[i];
  if (low) *low = set ? m_attrRange[i][0] : 0.0f;
  if (high) *high = set ? m_attrRange[i][1] : 0.0f;
  return set ? 1 : 0;
}

int Sd_SoundingSet::GetAttributeDataRange(int i, float* low, float* high) const {
  const bool valid = i >= 0 && i < kAttributeCount;
  if (low) *low = valid ? m_attrDataRange[i][0] : 0.0f;
  if (high) *high = valid ? m_attrDataRange[i][1] : 0.0f;
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
  m_surfaceMode = head[3];
  m_gridLineZ = gridLineZ;
  m_cellAlpha = std::clamp(tail[0], 0, 255);
  m_colorMode = tail[1];
  m_showGridLines = tail[2];
  m_showSurface = tail[3];
  m_showCellSoundings = tail[4];
  m_showBase = tail[5];
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
  out.Int32(m_surfaceMode);
  out.Float32(m_gridLineZ);
  const int tail[7] = {m_cellAlpha,         m_colorMode, m_showGridLines, m_showSurface,
                       m_showCellSoundings, m_showBase,  m_lastSwitch};
  out.Int32s(tail, 7);
  out.CountedText(m_colorMapName.c_str());
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

// --- colour maps ---

void Sd_SoundingSet::SetDefaultColorMap(int kind) {
  if (kind != 0) return;
  for (unsigned i = 0; i < 256; ++i) m_colorMap[i] = (i << 24) | (i << 16) | (i << 8) | 255u;
}

void Sd_SoundingSet::LoadColorMap(const char* path, int recolour) {
  LoadMap(path, recolour, m_colorMap, &m_colorMapName);
}

void Sd_SoundingSet::LoadColorMap2(const char* path, int recolour) {
  LoadMap(path, recolour, m_colorMap2, &m_colorMap2Name);
}

void Sd_SoundingSet::LoadMap(const char* path, int recolour, unsigned* colours, std::string* name) {
  if (!path) return;
  // A missing map is reported once per process; a damaged one every time.
  if (!TDR_UtlReadColormapOnce(path, colours) && Sv_UtlFileExists(path)) {
    Sv_Debug::Error("Error loading color map: %s", path);
  }
  *name = path;
  if (recolour) ColorCells();
  CallColorRange(this, m_colorRange[0], m_colorRange[1]);
}

