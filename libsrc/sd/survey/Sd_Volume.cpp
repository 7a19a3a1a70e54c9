// Scalar volume: samples, records, settings and the value mapping.
#include "Sd_Volume.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

namespace {


constexpr const char* kNoScalarMessage = "Reading tag for loading volume object  -  expected TDR_TAG_SCALAR!";
constexpr const char* kNotCharMessage = "ERROR:  Reading TDR file for loading volume object - expected type char!";
constexpr const char* kGridMemoryMessage = "Allocating memory chunk to hold scalar grid!";

// Reports, once for the load, an iso-value that no two samples of the
// file lie on both sides of: the surface would show nothing of them (at
// most the closing faces of the padding slices), and an empty box says
// nothing about why.
void WarnOfIsoValueOutsideSamples(const signed char* samples, size_t count, float iso, const std::string& file) {
  if (!samples || count == 0) return;
  const auto [lo, hi] = std::minmax_element(samples, samples + count);
  // A sample is inside the surface when it is at or above the iso-value.
  if (*lo < iso && iso <= *hi) return;
  Sv_Debug::Warning("The volume \"%s\" shows no iso-surface: its iso-value %g lies outside the range of its samples, "
                    "%d to %d.",
                    file.c_str(), static_cast<double>(iso), *lo, *hi);
}

// Saved detail settings: the step and the iso-value on the sample scale.
struct SavedSettings {
  int step;
  float iso;
};

}  // namespace

Sd_Volume::Sd_Volume()
    : m_working(nullptr),
      m_source(nullptr),
      m_step(4),
      m_isoSample(150.0f),
      m_isoData(0.0f),
      m_vector{1.5f, 2.0f, -1.0f, 0.0f},
      m_modeFlag(0),
      m_dim1(0),
      m_dim2(0),
      m_slices(0),
      m_triangleCount(0),
      m_sampleRange{0.0f, 255.0f},
      m_dataRange{0.0f, 25.5f},
      m_cellSize(0.0f),
      m_boxDisplay(0),
      m_boxClip(0),
      m_boxCorners{},
      m_boxRaw{},
      m_boxPlanes{},
      m_boxWidths{},
      m_markFirst(nullptr),
      m_markLast(nullptr),
      m_markCurrent(nullptr),
      m_stepState(0),
      m_cursor(0),
      m_fullList(nullptr),
      m_coarseList(nullptr),
      m_pushed(0) {
  SetType(kTypeId);
  GetIsoValue();
  // A missing WRUHOME or map file is reported once per process; the
  // built-in ramp stands in.
  bool loaded = false;
  if (char* path = Sv_UtlHomePath("cmaps/step16.cmap")) {
    loaded = TDR_UtlReadColormapOnce(path, m_colours) != nullptr;
    free(path);
  }
  if (!loaded) TDR_UtlBuiltInColormap(m_colours);
}

Sd_Volume::~Sd_Volume() {
  ReleaseVolume();
  RemoveMarkPoint(-1);
}

void Sd_Volume::FreeData() {}

const char* Sd_Volume::className() const { return "Sd_Volume"; }

// --- grids ---

int Sd_Volume::SampleOf(const signed char* grid, int k, int i, int j) const {
  if (!grid || k < 0 || k >= m_slices || i < 0 || i >= m_dim1 || j < 0 || j >= m_dim2) return 0;
  return grid[(static_cast<size_t>(k) * m_dim1 + i) * m_dim2 + j];
}

bool Sd_Volume::AllocateGrids(int dim1, int dim2, int slices) {
  const size_t count = static_cast<size_t>(dim1) * dim2 * slices;
  m_working = static_cast<signed char*>(calloc(count, 1));
  m_source = m_working ? static_cast<signed char*>(calloc(count, 1)) : nullptr;
  if (!m_source) {
    Sv_Debug::Message(SV_LEVEL_ERROR, kGridMemoryMessage);
    ReleaseVolume();
    return false;
  }
  m_dim1 = dim1;
  m_dim2 = dim2;
  m_slices = slices;
  return true;
}

void Sd_Volume::ReleaseVolume() {
  ReleaseSurfaces();
  free(m_working);
  free(m_source);
  m_working = m_source = nullptr;
  m_dim1 = m_dim2 = m_slices = 0;
  m_triangleCount = 0;
  m_dataFile.clear();
}

void Sd_Volume::RestoreVolume() {
  if (m_working && m_source) memcpy(m_working, m_source, static_cast<size_t>(m_dim1) * m_dim2 * m_slices);
}

int Sd_Volume::SetSamples(int dim1, int dim2, int dim3, const signed char* samples) {
  ReleaseVolume();
  if (dim1 < 2 || dim2 < 2 || dim3 < 1 || !samples || dim3 > (1 << 30)) return -1;
  if (!AllocateGrids(dim1, dim2, dim3 + 2)) return -1;
  const size_t slice = static_cast<size_t>(dim1) * dim2;
  memcpy(m_working + slice, samples, slice * dim3);
  memcpy(m_source, m_working, slice * m_slices);
  UpdateBoundsAndCellSize();
  BuildSurfaces();
  return 0;
}

// --- records ---

int Sd_Volume::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // Whatever the object held goes; a failed load leaves it empty.
  ReleaseVolume();
  // Samples read through a file pointer have a data file of their own.
  const std::string dataFile = manager->IsInFollowedFile() ? manager->GetPath() : "";
  const std::string file = manager->GetPath();
  if (manager->GetTagVersion() == 0) {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    if (!in.Float32(&format)) return -1;
  }
  if (!ExpectTag(manager, TDR_TAG_SCALAR, kNoScalarMessage) || ReadSamples(manager) != 0) return -1;
  if (ReadCommonTags(manager) != 0) {
    ReleaseVolume();
    return -1;
  }
  m_dataFile = dataFile;
  // Built after the settings, so their step and iso-value shape the lists.
  BuildSurfaces();
  const size_t slice = static_cast<size_t>(m_dim1) * m_dim2;
  WarnOfIsoValueOutsideSamples(m_source + slice, slice * (m_slices - 2), m_isoSample, file);
  return 0;
}

int Sd_Volume::ReadSamples(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  if (!in.Scalar(&scalar)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged volume SCALAR record", manager->GetFileName());
    return -1;
  }
  if (scalar.GetDataType() != TDR_TYPE_CHAR) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kNotCharMessage);
    return -1;
  }
  const long long dim1 = scalar.GetDimension(1), dim2 = scalar.GetDimension(2), dim3 = scalar.GetDimension(3);
  if (dim1 < 2 || dim2 < 2) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A volume needs at least 2 x 2 samples a slice", manager->GetFileName());
    return -1;
  }
  // The sample minimum and maximum, then dim3 x dim1 rows of dim2 samples.
  const long long bytes = dim1 * dim2 * dim3;
  if (bytes + 2 > in.Left()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Volume SCALAR record shorter than its samples",
                      manager->GetFileName());
    return -1;
  }
  if (!AllocateGrids(static_cast<int>(dim1), static_cast<int>(dim2), static_cast<int>(dim3) + 2)) return -1;
  signed char range[2];
  in.Bytes(range, 2);
  in.Bytes(m_working + dim1 * dim2, static_cast<int>(bytes));
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading volume samples", manager->GetFileName());
    ReleaseVolume();
    return -1;
  }
  memcpy(m_source, m_working, static_cast<size_t>(dim1 * dim2) * m_slices);
  return 0;
}

int Sd_Volume::ReadCommonTags(TDR_Manager* manager) {
  if (Sd_Node::ReadCommonTags(manager) != 0) return -1;
  UpdateBoundsAndCellSize();
  return 0;
}

void Sd_Volume::UpdateBoundsAndCellSize() {
  if (m_dim1 < 2) return;
  bool empty = false;
  for (int axis = 0; axis < 3; ++axis) {
    const float* b = GetBounds(axis);
    if (std::fabs(b[0]) < 1e-6f && std::fabs(b[1]) < 1e-6f) empty = true;
  }
  if (empty) {
    SetBounds(0, 0.0f, static_cast<float>(m_dim1 - 1));
    SetBounds(1, 0.0f, static_cast<float>(m_dim2 - 1));
    SetBounds(2, 0.0f, static_cast<float>(m_slices - 1));
  }
  m_cellSize = (GetBounds(0)[1] - GetBounds(0)[0]) / static_cast<float>(m_dim1 - 1);
}

int Sd_Volume::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_VOLUME_ATB) return 0;
  ReadSettingsRecord(manager);
  return 1;
}

void Sd_Volume::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  in.SkipFormatNumber();
  int step = 0, mode = 0;
  float iso = 0.0f, vector[4] = {};
  in.Int32(&step);
  in.Float32(&iso);
  in.Float32s(vector, 4);
  in.Int32(&mode);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged volume settings record; defaults kept", manager->GetFileName());
    return;
  }
  m_step = std::max(step, 1);
  m_isoSample = iso;
  std::copy(vector, vector + 4, m_vector);
  m_modeFlag = mode;
}

int Sd_Volume::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_VOLUME_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_step);
  out.Float32(m_isoSample);
  out.Float32s(m_vector, 4);
  out.Int32(m_modeFlag);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Volume::SaveDataRecords(TDR_Manager* manager) {
  if (!manager || !m_source) return -1;
  const size_t slice = static_cast<size_t>(m_dim1) * m_dim2;
  const size_t bytes = slice * (m_slices - 2);
  if (bytes > static_cast<size_t>(0x7FFFFF00)) return -1;  // beyond what one record can hold
  const signed char* data = m_source + slice;
  signed char range[2] = {0, 0};
  if (bytes > 0) {
    const auto [lo, hi] = std::minmax_element(data, data + bytes);
    range[0] = *lo;
    range[1] = *hi;
  }
  TDR_Scalar scalar;
  scalar.SetNumDimensions(m_slices > 2 ? 3 : 2);
  scalar.SetDimension(1, m_dim1);
  scalar.SetDimension(2, m_dim2);
  if (m_slices > 2) scalar.SetDimension(3, m_slices - 2);
  scalar.SetDataType(TDR_TYPE_CHAR);
  if (manager->WriteTag(TDR_TAG_SD_VOLUME, 1, 0, 0, 1) != 0 || manager->EndTag() != 0 ||
      manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || scalar.Write(manager) != 0) {
    return -1;
  }
  TDR_PayloadWriter out(manager);
  out.Bytes(range, 2);
  out.Bytes(data, static_cast<int>(bytes));
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Volume::SaveObject(TDR_Manager* manager, int withAttributes, int) {
  if (!manager) return -1;
  // A pointer never names the file being written.
  if (!m_dataFile.empty() && m_dataFile != manager->GetPath()) {
    if (manager->WriteTag(TDR_TAG_SD_VOLUME, 1, 0, 1, 1) != 0 ||
        manager->WriteFilePointerString(m_dataFile.c_str()) != 0 || manager->EndTag() != 0) {
      return -1;
    }
  } else if (SaveDataRecords(manager) != 0) {
    return -1;
  }
  return withAttributes ? WriteCommonTags(manager) : 0;
}

int Sd_Volume::WriteDataFile(const char* path) {
  if (!path || !m_source) return -1;
  TDR_Manager manager;
  if (manager.OpenFile(path, "wb") != 0) return -1;
  if (manager.WriteHeader() != 0 || SaveDataRecords(&manager) != 0 ||
      manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || manager.CloseFile() != 0) {
    manager.DiscardFile();
    return -1;
  }
  m_dataFile = path;
  SetDescription(path);
  return 0;
}

int Sd_Volume::WriteSample(TDR_Manager* manager) {
  // 4 x 3 samples in 2 slices: a rise towards one corner, cut by the
  // iso-value 40.5 (step 2, so the coarse list is a list of its own).
  static const signed char kSamples[24] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110,
                                           5, 15, 25, 35, 45, 55, 65, 75, 85, 95, 105, 115};
  Sd_Volume volume;
  volume.m_step = 2;
  volume.m_isoSample = 40.5f;
  volume.m_vector[3] = 0.25f;
  volume.m_modeFlag = 1;
  volume.SetBounds(0, 500000.0f, 500300.0f);
  volume.SetBounds(1, 6000000.0f, 6000200.0f);
  volume.SetBounds(2, -40.0f, -10.0f);
  if (volume.SetSamples(4, 3, 2, kSamples) != 0) return -1;
  return volume.SaveObject(manager, 1, 0);
}

// --- settings and the value mapping ---

void Sd_Volume::SaveSettings() {
  SavedSettings* saved = static_cast<SavedSettings*>(malloc(sizeof(SavedSettings)));
  if (!saved) return;
  saved->step = m_step;
  saved->iso = m_isoSample;
  SetDataBuffer(reinterpret_cast<unsigned char*>(saved));
}

void Sd_Volume::RestoreSettings() {
  const SavedSettings* saved = reinterpret_cast<const SavedSettings*>(GetDataBuffer());
  if (!saved) return;
  m_step = saved->step;
  m_isoSample = saved->iso;
}

int Sd_Volume::ResetSettings() {
  m_step = 1;
  return 1;
}

float Sd_Volume::ToByteValue(float dataValue) const {
  const float span = m_dataRange[1] - m_dataRange[0];
  if (span == 0.0f) return m_sampleRange[0];
  return (dataValue - m_dataRange[0]) / span * (m_sampleRange[1] - m_sampleRange[0]) + m_sampleRange[0];
}

float Sd_Volume::GetIsoValue() {
  const float span = m_sampleRange[1] - m_sampleRange[0];
  m_isoData = span == 0.0f ? m_dataRange[0]
                           : (m_isoSample - m_sampleRange[0]) / span * (m_dataRange[1] - m_dataRange[0]) +
                                 m_dataRange[0];
  return m_isoData;
}

void Sd_Volume::SetIsoValue(float dataValue) {
  if (dataValue > m_dataRange[1] || dataValue < m_dataRange[0]) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Incorrect iso-value. Try again.");
  }
  m_isoData = dataValue;
  m_isoSample = ToByteValue(dataValue);
  if (std::isfinite(m_isoSample) && std::floor(m_isoSample) == m_isoSample) m_isoSample += 0.5f;
}

void Sd_Volume::SetStep(int step) {
  const int old = m_step;
  m_step = std::max(step, 1);
  BuildCoarseSurface(old);
}
