// Non-contiguous terrain model: records, alternate values, settings, the
// default colour map, copies and the pick rules of empty nodes.
#include "Sd_SonarDTM.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "Sv_Types.h"
#include "TDR_Colormap.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

namespace {


}  // namespace

Sd_SonarDTM::Sd_SonarDTM()
    : Sd_GridDTM({TDR_TAG_SD_SONARDTM_ATB, "ERROR:  Damaged non-contiguous DTM settings record; defaults kept", false,
                  true}),
      m_queryType(0),
      m_altRange{0.0, 1.0},
      m_floatGrid(nullptr),
      m_emptyCode(0),
      m_floatNoValue(1000000.0f),
      m_defaultColorMap{},
      m_colorMapLoaded(0),
      m_polygonCount(0),
      m_polygonX(nullptr),
      m_polygonY(nullptr) {
  SetType(kTypeId);
  m_scale[2] = 0.2f;
  m_stepIncrement = 10;
  LoadDefaultColorMap();
}

Sd_SonarDTM::~Sd_SonarDTM() {
  ReleaseFloatGrid();
  ReleaseQueryPolygon();
}

const char* Sd_SonarDTM::className() const { return "Non-Cont. DTM"; }

void Sd_SonarDTM::FreeData() {
  ReleaseFloatGrid();
  Sd_GridDTM::FreeData();
}

void Sd_SonarDTM::FreeFloatGrid(float** grid, int rows) {
  if (!grid) return;
  for (int r = 0; r < rows; ++r) free(grid[r]);
  free(grid);
}

// --- records ---

int Sd_SonarDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // Whatever the object held goes; a failed load leaves it without grids.
  FreeData();
  {
    TDR_PayloadReader in(manager);
    in.SkipFormatNumber();
    unsigned short empty = 0;
    in.Read(&empty, 2, 1);
    if (!in.Ok()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The non-contiguous DTM record has no empty code",
                        manager->GetFileName());
      FreeData();
      return -1;
    }
    m_emptyCode = empty;
  }
  return LoadGridRecords(manager, "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for DTM)!",
                         "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for shade)!",
                         "ERROR:  A non-contiguous DTM needs at least 2 x 2 nodes");
}

int Sd_SonarDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !ElevationRows() || !ColourRows()) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SONARDTM, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_emptyCode, 2, 1);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return SaveGridRecords(manager, withCommonTags);
}

int Sd_SonarDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SCALAR) return Sd_GridDTM::ReadOwnRecord(manager, tag);
  // The grid is whole without them; a bad record only loses them.
  LoadAltValues(manager);
  return 1;
}

int Sd_SonarDTM::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_GridDTM::WriteCommonTags(manager) != 0) return -1;
  if (GetAltValues()) return SaveAltValues(manager);
  return 0;
}

int Sd_SonarDTM::WriteSample(TDR_Manager* manager) {
  Sd_SonarDTM dtm;
  if (dtm.FillSample(7, 6) != 0 || !dtm.AllocAltValues(7, 6)) return -1;
  // A gap of empty nodes and alternate values on every node.
  unsigned short* const* heights = dtm.ElevationRows();
  heights[3][2] = heights[3][3] = heights[4][3] = dtm.m_emptyCode;
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c < 6; ++c) dtm.AltValueRows()[r][c] = static_cast<unsigned short>(1000 * r + 100 * c + 1);
  }
  dtm.SetAltRange(0.0, 50.0);
  return dtm.SaveObject(manager, 1, 0);
}

// --- alternate values ---

unsigned short** Sd_SonarDTM::AllocAltValues(int rows, int cols) {
  if (rows != GetRows() || cols != GetCols() || rows < 1 || cols < 1) return nullptr;
  unsigned short** grid = Sv_UtlAlloc2DShort(rows, cols);
  if (!grid) return nullptr;
  for (int r = 0; r < rows; ++r) memset(grid[r], 0, static_cast<size_t>(cols) * sizeof(unsigned short));
  if (!InstallAltValues(grid, rows, cols)) {
    Sv_UtlFree2D(grid, rows);
    return nullptr;
  }
  return grid;
}

int Sd_SonarDTM::LoadAltValues(TDR_Manager* manager) {
  const char* where = "Sd_SonarDTM::LoadAltValues";
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  if (!in.Scalar(&scalar)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the alternate-value scalar record", manager->GetFileName());
    return -1;
  }
  int rows = 0, cols = 0;
  // Drawing and picking index the alternate values like the heights.
  if (!GridDimensions(scalar, &rows, &cols) || !ElevationRows() || rows != GetRows() || cols != GetCols()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The alternate-value grid's size differs from the elevation grid's",
                      where);
    return -1;
  }
  // Whatever type the descriptor names, the values are 16-bit.
  static const CodeGridMessages kMessages = {"ERROR:  The alternate-value record is shorter than its grid",
                                             "ERROR:  Out of memory for the alternate values",
                                             "ERROR:  Reading the alternate-value rows"};
  unsigned short words[2] = {0, 0};
  unsigned short** grid = ReadCodeGrid(in, rows, cols, words, kMessages, where);
  if (!grid) return -1;
  if (!InstallAltValues(grid, rows, cols)) {
    Sv_UtlFree2D(grid, rows);
    return -1;
  }
  m_altRange[0] = scalar.GetRange()[0];
  m_altRange[1] = scalar.GetRange()[1];
  return 0;
}

int Sd_SonarDTM::SaveAltValues(TDR_Manager* manager) {
  if (!manager || !AltValueRows() || GetRows() < 1 || GetCols() < 1) return -1;
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0) return -1;
  const unsigned short words[2] = {0, 0xFFFF};
  if (WriteCodeGrid(manager, AltValueRows(), GetRows(), GetCols(), m_altRange[0], m_altRange[1], words) != 0) {
    return -1;
  }
  return manager->EndTag() == 0 ? 0 : -1;
}

void Sd_SonarDTM::GetAltRange(double* min, double* max) const {
  if (min) *min = m_altRange[0];
  if (max) *max = m_altRange[1];
}

void Sd_SonarDTM::SetAltRange(double min, double max) {
  m_altRange[0] = min;
  m_altRange[1] = max;
}

double Sd_SonarDTM::AltCodeToValue(double code) const {
  return code / 65535.0 * (m_altRange[1] - m_altRange[0]) + m_altRange[0];
}

// --- empty nodes ---

bool Sd_SonarDTM::IsEmpty(int row, int col) const {
  if (!ElevationRows() || row < 0 || row >= GetRows() || col < 0 || col >= GetCols()) return true;
  return ElevationRows()[row][col] == m_emptyCode;
}

// --- default colour map ---

int Sd_SonarDTM::LoadDefaultColorMap() {
  m_colorMapLoaded = 0;
  // A missing WRUHOME or map file is reported once per process; the
  // built-in ramp stands in and loading goes on.
  if (char* path = Sv_UtlHomePath("cmaps/step16.cmap")) {
    if (TDR_UtlReadColormapOnce(path, m_defaultColorMap)) m_colorMapLoaded = 1;
    free(path);
  }
  if (!m_colorMapLoaded) TDR_UtlBuiltInColormap(m_defaultColorMap);
  return m_colorMapLoaded;
}

// --- query polygon ---

void Sd_SonarDTM::ReleaseQueryPolygon() {
  free(m_polygonX);
  free(m_polygonY);
  m_polygonX = nullptr;
  m_polygonY = nullptr;
  m_polygonCount = 0;
}

int Sd_SonarDTM::SetQueryPolygonSize(int n) {
  ReleaseQueryPolygon();
  if (n < 1) return 0;
  m_polygonX = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
  m_polygonY = static_cast<float*>(calloc(static_cast<size_t>(n), sizeof(float)));
  if (!m_polygonX || !m_polygonY) {
    ReleaseQueryPolygon();
    return -1;
  }
  m_polygonCount = n;
  return 0;
}

void Sd_SonarDTM::GetQueryPolygon(float** x, float** y) {
  if (x) *x = m_polygonX;
  if (y) *y = m_polygonY;
}

// --- copies ---

void Sd_SonarDTM::SetupFrom(const Sd_BaseDTM* other) {
  if (!other) return;
  m_minCode = other->GetMinCode();
  m_maxCode = other->GetMaxCode();
  TDR_GeoRef* geoRef = new (std::nothrow) TDR_GeoRef();
  if (!geoRef) return;
  geoRef->SetBounds(m_bounds);
  SetGeoRef(geoRef);
}

int Sd_SonarDTM::CopyFrom(const Sd_SonarDTM* other) {
  if (!other || other == this) return 0;
  FreeData();
  m_type = other->m_type;
  m_isGroup = other->m_isGroup;
  m_auxFlag = other->m_auxFlag;
  m_visible = other->m_visible;
  SetRedrawPending(0);
  SetDrawn(1);
  memcpy(m_rotation, other->m_rotation, sizeof(m_rotation));
  memcpy(m_scale, other->m_scale, sizeof(m_scale));
  memcpy(m_position, other->m_position, sizeof(m_position));
  memcpy(m_auxRecords, other->m_auxRecords, sizeof(m_auxRecords));
  memcpy(m_auxTriple, other->m_auxTriple, sizeof(m_auxTriple));
  for (int axis = 0; axis < 3; ++axis) SetBounds(axis, other->m_bounds[2 * axis], other->m_bounds[2 * axis + 1]);

  m_minCode = other->m_minCode;
  m_maxCode = other->m_maxCode;
  m_drawMode = other->m_drawMode;
  m_lodStep = other->m_lodStep;
  m_autoLod = other->m_autoLod;
  m_alpha = other->m_alpha;
  memcpy(m_pickPos, other->m_pickPos, sizeof(m_pickPos));
  m_emptyCode = other->m_emptyCode;
  m_stepIncrement = other->m_stepIncrement;
  // The copy has no progressive pass of its own open: taking the other's
  // pushed-matrix count would pop matrices this object never pushed.
  m_stepState = 0;
  m_pushCount = 0;

  if (const TDR_GeoRef* from = other->GetGeoRef()) {
    TDR_GeoRef* geoRef = new (std::nothrow) TDR_GeoRef();
    if (geoRef) {
      geoRef->SetSubUnitType(from->GetSubUnitType());
      geoRef->SetXBounds(from->GetXBounds()[0], from->GetXBounds()[1]);
      geoRef->SetYBounds(from->GetYBounds()[0], from->GetYBounds()[1]);
      geoRef->SetZBounds(from->GetZBounds()[0], from->GetZBounds()[1]);
      geoRef->SetCellDeltas(from->GetCellDeltas()[0], from->GetCellDeltas()[1]);
      geoRef->SetMinXY(from->GetMinXY()[0], from->GetMinXY()[1]);
      geoRef->SetRotation(from->GetRotation());
      geoRef->SetColorResolution(from->GetColorResolution());
      SetGeoRef(geoRef);
    }
  } else {
    SetGeoRef(nullptr);
  }

  if (!other->ElevationRows() || !other->ColourRows() || other->GetRows() < 1 || other->GetCols() < 1) return 0;
  if (CreateGrids(other->GetRows(), other->GetCols()) != 0) return -1;
  const size_t rowCodes = static_cast<size_t>(GetCols()) * sizeof(unsigned short);
  const size_t rowColours = static_cast<size_t>(GetCols()) * sizeof(unsigned int);
  for (int r = 0; r < GetRows(); ++r) {
    memcpy(ElevationRows()[r], other->ElevationRows()[r], rowCodes);
    memcpy(ColourRows()[r], other->ColourRows()[r], rowColours);
  }
  return 0;
}

// --- picking and queries ---

bool Sd_SonarDTM::CellFilled(int row, int col) const {
  const unsigned short e = m_emptyCode;
  const unsigned short* r0 = ElevationRows()[row];
  const unsigned short* r1 = ElevationRows()[row + 1];
  return r0[col] != e && r0[col + 1] != e && r1[col] != e && r1[col + 1] != e;
}

bool Sd_SonarDTM::AltValueAt(int row, int col, double* value) const {
  if (!AltValueRows()) return false;
  *value = AltCodeToValue(AltValueRows()[row][col]);
  return true;
}
