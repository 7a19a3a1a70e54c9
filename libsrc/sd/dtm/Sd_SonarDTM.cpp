// Non-contiguous terrain model: records, alternate values, settings, the
// default colour map, copies and picking.
#include "Sd_SonarDTM.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "DepthPicker.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
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

constexpr int kTypeId = 12;
constexpr double kNoHeight = 1e12;

// Reads the next tag header and checks that it opens a SCALAR record. Any
// other tag is left for the caller (it may be the next object).
bool ExpectScalar(TDR_Manager* manager, const char* message) {
  const int tag = manager->ReadTag(nullptr);
  if (tag == TDR_TAG_SCALAR) return true;
  Sv_Debug::Message(SV_LEVEL_DEBUG, message);
  if (tag != TDR_TAG_ERROR) manager->UnreadTagHeader();
  return false;
}

}  // namespace

Sd_SonarDTM::Sd_SonarDTM()
    : m_queryType(0),
      m_drawMode(1),
      m_alpha(255),
      m_pickPos{-1.0f, 0.0f, 0.0f},
      m_altRange{0.0, 1.0},
      m_floatGrid(nullptr),
      m_emptyCode(0),
      m_floatNoValue(1000000.0f),
      m_defaultColorMap{},
      m_colorMapLoaded(0),
      m_stepState(0),
      m_pushCount(0),
      m_polygonCount(0),
      m_polygonX(nullptr),
      m_polygonY(nullptr) {
  SetType(kTypeId);
  m_scale[2] = 0.2f;
  m_stepIncrement = 10;
  SetRedrawPending(0);
  SetDrawn(1);
  LoadDefaultColorMap();
}

Sd_SonarDTM::~Sd_SonarDTM() {
  FreeFloatGrid(m_floatGrid, m_rows);
  m_floatGrid = nullptr;
  ReleaseQueryPolygon();
}

const char* Sd_SonarDTM::className() const { return "Non-Cont. DTM"; }

void Sd_SonarDTM::FreeData() {
  FreeFloatGrid(m_floatGrid, m_rows);
  m_floatGrid = nullptr;
  Sd_BaseDTM::FreeData();
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
  auto fail = [this]() {
    FreeData();
    return -1;
  };
  {
    TDR_PayloadReader in(manager);
    if (manager->GetTagVersion() == 0) {
      float format = 0.0f;
      in.Float32(&format);
    }
    unsigned short empty = 0;
    in.Read(&empty, 2, 1);
    if (!in.Ok()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The non-contiguous DTM record has no empty code",
                        manager->GetFileName());
      return fail();
    }
    m_emptyCode = empty;
  }
  if (!ExpectScalar(manager, "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for DTM)!") ||
      LoadElevations(manager) != 0) {
    return fail();
  }
  if (!ExpectScalar(manager, "ERROR:  Reading TDR file for loading  -  expected TDR_TAG_SCALAR(for shade)!") ||
      LoadColors(manager) != 0) {
    return fail();
  }
  if (!HasDrawableGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A non-contiguous DTM needs at least 2 x 2 nodes",
                      manager->GetFileName());
    return fail();
  }
  if (ReadCommonTags(manager) != 0) return fail();
  return 0;
}

int Sd_SonarDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_elevation || !m_colors) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SONARDTM, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_emptyCode, 2, 1);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || SaveElevations(manager) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  if (SaveColors(manager) != 0) return -1;
  if (withCommonTags) return WriteCommonTags(manager);
  return 0;
}

int Sd_SonarDTM::ReadCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (Sd_Node::ReadCommonTags(manager) != 0) return -1;
  for (;;) {
    const int tag = manager->ReadTag(nullptr);
    if (tag == TDR_TAG_SCALAR) {
      // The grid is whole without them; a bad record only loses them.
      LoadAltValues(manager);
    } else if (tag == TDR_TAG_SD_SONARDTM_ATB) {
      ReadSettings(manager);
    } else {
      manager->UnreadTagHeader();
      return 0;
    }
  }
}

void Sd_SonarDTM::ReadSettings(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  const int version = manager->GetTagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  short mode = 0;
  int words[4] = {0, 0, 0, 0};
  in.Read(&mode, 2, 1);
  in.Int32s(words, 4);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged non-contiguous DTM settings record; defaults kept",
                      manager->GetFileName());
    return;
  }
  m_drawMode = mode;
  m_alpha = std::clamp(words[0], 0, 255);
  m_lodStep = words[1] < 1 ? 1 : words[1];
  if (version >= 2) m_autoLod = words[2];
}

int Sd_SonarDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SONARDTM_ATB, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_drawMode, 2, 1);
  out.Int32(m_alpha);
  out.Int32(m_lodStep);
  out.Int32(m_autoLod);
  out.Int32(0);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (m_altValues) return SaveAltValues(manager);
  return 0;
}

// --- alternate values ---

unsigned short** Sd_SonarDTM::AllocAltValues(int rows, int cols) {
  if (rows != m_rows || cols != m_cols || rows < 1 || cols < 1) return nullptr;
  unsigned short** grid = Sv_UtlAlloc2DShort(rows, cols);
  if (!grid) return nullptr;
  for (int r = 0; r < rows; ++r) memset(grid[r], 0, static_cast<size_t>(cols) * sizeof(unsigned short));
  Sv_UtlFree2D(m_altValues, m_rows);
  m_altValues = grid;
  return grid;
}

int Sd_SonarDTM::LoadAltValues(TDR_Manager* manager) {
  const char* where = "Sd_SonarDTM::LoadAltValues";
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_Scalar scalar;
  if (scalar.Read(manager) != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the alternate-value scalar record", manager->GetFileName());
    return -1;
  }
  bool flat = scalar.GetNumDimensions() >= 2;
  for (int i = 3; i <= scalar.GetNumDimensions(); ++i) flat = flat && scalar.GetDimension(i) == 1;
  const int cols = scalar.GetDimension(1);
  const int rows = scalar.GetDimension(2);
  // Drawing and picking index the alternate values like the heights.
  if (!flat || !m_elevation || rows != m_rows || cols != m_cols) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The alternate-value grid's size differs from the elevation grid's",
                      where);
    return -1;
  }
  // Whatever type the descriptor names, the values are 16-bit.
  const long long need = 4 + 2LL * rows * cols;
  if (manager->GetTagBytesLeft() < need) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The alternate-value record is shorter than its grid", where);
    return -1;
  }
  unsigned short** grid = Sv_UtlAlloc2DShort(rows, cols);
  if (!grid) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for the alternate values", where);
    return -1;
  }
  FILE* file = manager->GetFilePtr();
  const int order = manager->GetByteOrder();
  unsigned short words[2] = {0, 0};
  bool ok = Sv_UtlFread(words, 2, 2, file, order) == 2;
  for (int r = 0; ok && r < rows; ++r) ok = Sv_UtlFread(grid[r], 2, cols, file, order) == cols;
  if (!ok) {
    Sv_UtlFree2D(grid, rows);
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the alternate-value rows", where);
    return -1;
  }
  Sv_UtlFree2D(m_altValues, m_rows);
  m_altValues = grid;
  m_altRange[0] = scalar.GetRange()[0];
  m_altRange[1] = scalar.GetRange()[1];
  return 0;
}

int Sd_SonarDTM::SaveAltValues(TDR_Manager* manager) {
  if (!manager || !m_altValues || m_rows < 1 || m_cols < 1) return -1;
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0) return -1;
  TDR_Scalar scalar;
  scalar.SetNumDimensions(2);
  scalar.SetDimension(1, m_cols);
  scalar.SetDimension(2, m_rows);
  scalar.SetDataType(TDR_TYPE_USHORT);
  scalar.SetRange(m_altRange[0], m_altRange[1]);
  if (scalar.Write(manager) != 0 || !manager->GetFilePtr()) return -1;
  FILE* file = manager->GetFilePtr();
  const int order = manager->GetByteOrder();
  const unsigned short words[2] = {0, 0xFFFF};
  if (Sv_UtlFwriteCopy(words, 2, 2, file, order) != 2) return -1;
  for (int r = 0; r < m_rows; ++r) {
    if (Sv_UtlFwriteCopy(m_altValues[r], 2, m_cols, file, order) != m_cols) return -1;
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

// --- settings ---

void Sd_SonarDTM::SaveSettings() {
  int* saved = static_cast<int*>(malloc(2 * sizeof(int)));
  if (!saved) return;
  saved[0] = m_lodStep;
  saved[1] = m_autoLod;
  SetDataBuffer(reinterpret_cast<unsigned char*>(saved));
}

void Sd_SonarDTM::RestoreSettings() {
  const unsigned char* saved = GetDataBuffer();
  if (!saved) return;
  int values[2];
  memcpy(values, saved, sizeof(values));
  m_lodStep = values[0] < 1 ? 1 : values[0];
  m_autoLod = values[1];
}

int Sd_SonarDTM::ResetSettings() {
  m_lodStep = 1;
  m_autoLod = 0;
  return 1;
}

void Sd_SonarDTM::SetAlpha(int alpha) {
  m_alpha = std::clamp(alpha, 0, 255);
  if (!m_colors) return;
  const unsigned a = static_cast<unsigned>(m_alpha) << 24;
  for (int r = 0; r < m_rows; ++r) {
    unsigned* row = m_colors[r];
    for (int c = 0; c < m_cols; ++c) row[c] = (row[c] & 0x00FFFFFFu) | a;
  }
}

bool Sd_SonarDTM::IsEmpty(int row, int col) const {
  if (!m_elevation || row < 0 || row >= m_rows || col < 0 || col >= m_cols) return true;
  return m_elevation[row][col] == m_emptyCode;
}

// --- default colour map ---

int Sd_SonarDTM::LoadDefaultColorMap() {
  m_colorMapLoaded = 0;
  const char* home = getenv("WRUHOME");
  if (!home || !*home) return 0;
  const std::string path = std::string(home) + "/cmaps/step16.cmap";
  if (TDR_UtlReadColormap(path.c_str(), m_defaultColorMap)) m_colorMapLoaded = 1;
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
  geoRef->SetXBounds(m_bounds[0], m_bounds[1]);
  geoRef->SetYBounds(m_bounds[2], m_bounds[3]);
  geoRef->SetZBounds(m_bounds[4], m_bounds[5]);
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

  if (!other->m_elevation || !other->m_colors || other->m_rows < 1 || other->m_cols < 1) return 0;
  if (CreateGrids(other->GetRows(), other->GetCols()) != 0) return -1;
  const size_t rowCodes = static_cast<size_t>(m_cols) * sizeof(unsigned short);
  const size_t rowColours = static_cast<size_t>(m_cols) * sizeof(unsigned int);
  for (int r = 0; r < m_rows; ++r) {
    memcpy(m_elevation[r], other->m_elevation[r], rowCodes);
    memcpy(m_colors[r], other->m_colors[r], rowColours);
  }
  return 0;
}

// --- picking and queries ---

bool Sd_SonarDTM::HeightInRange(double height) const {
  const double lo = m_bounds[4];
  const double hi = m_bounds[5];
  // The top code converts to zmax only up to rounding.
  const double tolerance = 1e-9 * std::max({1.0, std::fabs(lo), std::fabs(hi)});
  return height >= lo - tolerance && height <= hi + tolerance;
}

bool Sd_SonarDTM::CellFilled(int row, int col) const {
  const unsigned short e = m_emptyCode;
  const unsigned short* r0 = m_elevation[row];
  const unsigned short* r1 = m_elevation[row + 1];
  return r0[col] != e && r0[col + 1] != e && r1[col] != e && r1[col + 1] != e;
}

bool Sd_SonarDTM::Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const {
  if (!CellFilled(row, col)) return false;
  if (!HeightInRange(CodeToHeight(m_elevation[row][col]))) return false;
  const double w00 = (1.0 - fy) * (1.0 - fx);
  const double w10 = fy * (1.0 - fx);
  const double w01 = (1.0 - fy) * fx;
  const double w11 = fy * fx;
  const unsigned short* r0 = m_elevation[row];
  const unsigned short* r1 = m_elevation[row + 1];
  const double code = w00 * r0[col] + w10 * r1[col] + w01 * r0[col + 1] + w11 * r1[col + 1];
  *height = CodeToHeight(code);
  const unsigned* c0 = m_colors[row];
  const unsigned* c1 = m_colors[row + 1];
  unsigned channel[3];
  for (int k = 0; k < 3; ++k) {
    const int shift = 8 * k;
    const double v = w00 * ((c0[col] >> shift) & 0xFFu) + w10 * ((c1[col] >> shift) & 0xFFu) +
                     w01 * ((c0[col + 1] >> shift) & 0xFFu) + w11 * ((c1[col + 1] >> shift) & 0xFFu);
    channel[k] = v <= 0.0 ? 0u : (v >= 255.0 ? 255u : static_cast<unsigned>(v));
  }
  *colour = PackColour(channel[0], channel[1], channel[2], 255);
  return true;
}

void Sd_SonarDTM::GridPosition(double x, double y, double* ry, double* cx) const {
  // Single precision, as the grid's own coordinates are.
  const float dx = m_bounds[1] - m_bounds[0];
  const float dy = m_bounds[3] - m_bounds[2];
  *cx = dx != 0.0f ? static_cast<float>((x - m_bounds[0]) / dx) * static_cast<float>(m_cols - 1) : 0.0f;
  *ry = dy != 0.0f ? static_cast<float>((y - m_bounds[2]) / dy) * static_cast<float>(m_rows - 1) : 0.0f;
}

int Sd_SonarDTM::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request || !request->picker || !HasDrawableGrids()) return 0;
  glPushMatrix();
  EnterGridSpace(false);
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  float g[3] = {-1e10f, -1e10f, -1e10f};
  int hit = 0;
  if (request->picker->SetModelMatrix(modelView) == 0 &&
      request->picker->Pick(static_cast<short>(request->x), static_cast<short>(request->y), &g[0], &g[1], &g[2]) ==
          0) {
    const double fgx = std::floor(g[0]);
    const double fgy = std::floor(g[1]);
    hit = fgx >= 0.0 && fgx <= m_cols - 2 && fgy >= 0.0 && fgy <= m_rows - 2;
  }
  double height = 0.0;
  unsigned colour = 0;
  int row = 0, col = 0;
  if (hit) {
    row = static_cast<int>(g[1]);
    col = static_cast<int>(g[0]);
    hit = Blend(row, col, g[1] - std::floor(g[1]), g[0] - std::floor(g[0]), &height, &colour);
  }
  if (!hit) {
    m_pickPos[0] = -1.0f;
  } else {
    m_pickPos[0] = g[0];
    m_pickPos[1] = g[1];
    m_pickPos[2] = g[2];
    const double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
    const double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
    // Bounds without extent put every column (row) at their minimum.
    const double x = std::fabs(dx) > 1e-9 ? g[0] / (m_cols - 1.0) * dx + m_bounds[0] : m_bounds[0];
    const double y = std::fabs(dy) > 1e-9 ? g[1] / (m_rows - 1.0) * dy + m_bounds[2] : m_bounds[2];
    SDN_PickOut* shared = GetSharedPick();
    shared->colour = colour;
    const bool hasValue = m_altValues != nullptr;
    const double value = hasValue ? AltCodeToValue(m_altValues[row][col]) : 0.0;
    if (hasValue) shared->value = value;
    if (out && request->mode == 0) {
      out->x = x;
      out->y = y;
      out->z = height;
      if (hasValue) out->value = value;
      out->colour = colour;
      out->node = this;
      out->found = 1;
    }
  }
  glPopMatrix();
  return hit;
}

int Sd_SonarDTM::ValueAt(double x, double y, int user) {
  if (!HasDrawableGrids()) return 0;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return 0;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  const double row = std::floor(ry);
  const double col = std::floor(cx);
  if (!(row >= 0.0 && row <= m_rows - 2 && col >= 0.0 && col <= m_cols - 2)) return 1;
  const int r = static_cast<int>(row);
  const int c = static_cast<int>(col);
  double height = 0.0;
  unsigned colour = 0;
  if (!Blend(r, c, ry - row, cx - col, &height, &colour)) return 0;
  SDN_PickOut* shared = GetSharedPick();
  shared->colour = colour;
  if (m_altValues) shared->value = AltCodeToValue(m_altValues[r][c]);
  SetQueryPoint(x, y, height);
  CallQueryCallback(x, y, height, user);
  return 1;
}

double Sd_SonarDTM::GeoPickPoint(double x, double y, unsigned* colour) {
  if (!HasDrawableGrids()) return kNoHeight;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return kNoHeight;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  double row = std::floor(ry);
  double col = std::floor(cx);
  double fy = ry - row;
  double fx = cx - col;
  // On the top (right) edge the cell below (left) answers at its far side,
  // so the edge node's own height comes back.
  if (row >= m_rows - 1) {
    row = m_rows - 2;
    fy = 1.0;
  }
  if (col >= m_cols - 1) {
    col = m_cols - 2;
    fx = 1.0;
  }
  if (!(row >= 0.0 && col >= 0.0)) return kNoHeight;
  double height = 0.0;
  unsigned c = 0;
  if (!Blend(static_cast<int>(row), static_cast<int>(col), fy, fx, &height, &c)) return kNoHeight;
  if (colour) *colour = c;
  return height;
}
