// Terrain base class: grids, their records, shading and the grid services.
#include "Sd_BaseDTM.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Sv_Debug.h"
#include "Sv_Shader.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Utl.h"

namespace {

// Node type of the contoured DTM, whose grids belong to another DTM.
constexpr int kAliasType = 26;

bool SizeOk(int rows, int cols) {
  return rows >= 1 && cols >= 1 && rows <= Sd_BaseDTM::kMaxGridSide && cols <= Sd_BaseDTM::kMaxGridSide;
}

}  // namespace

Sd_BaseDTM::Sd_BaseDTM()
    : m_drawMode(1),
      m_alpha(255),
      m_pickPos{-1.0f, 0.0f, 0.0f},
      m_stepState(0),
      m_pushCount(0),
      m_minCode(0),
      m_maxCode(65535),
      m_useAltValues(0),
      m_lodStep(10),
      m_autoLod(1),
      m_stepIncrement(1),
      m_minStep(1),
      m_colStart(0),
      m_colEnd(0),
      m_rowStart(0),
      m_rowEnd(0),
      m_upRow(0),
      m_downRow(0),
      m_shadeRow(0),
      m_contourColor(0),
      m_cancel(0),
      m_elevation(nullptr),
      m_altValues(nullptr),
      m_colors(nullptr),
      m_rows(0),
      m_cols(0),
      m_rowBuffer(nullptr),
      m_altRowBuffer(nullptr),
      m_heldRows(false) {}

Sd_BaseDTM::~Sd_BaseDTM() {
  // The grids of a DTM of type 26 belong to another DTM and stay; the row
  // tables of held rows are this DTM's own and always go.
  if (GetType() != kAliasType || m_heldRows) ReleaseGrids();
}

void Sd_BaseDTM::FreeData() {
  if (GetType() == kAliasType) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Noted! don't deleted alias DTM data!\n");
    return;
  }
  ReleaseGrids();
  Sd_Node::FreeData();
}

void Sd_BaseDTM::DropGrid(void* table) {
  if (m_heldRows) {
    free(table);
  } else {
    Sv_UtlFree2D(table, m_rows);
  }
}

void Sd_BaseDTM::ReleaseGrids() {
  free(m_rowBuffer);
  free(m_altRowBuffer);
  m_rowBuffer = nullptr;
  m_altRowBuffer = nullptr;
  DropGrid(m_elevation);
  DropGrid(m_colors);
  Sv_UtlFree2D(m_altValues, m_rows);
  m_elevation = nullptr;
  m_colors = nullptr;
  m_altValues = nullptr;
  m_heldRows = false;
  m_rows = 0;
  m_cols = 0;
  m_colStart = m_colEnd = m_rowStart = m_rowEnd = 0;
  m_upRow = m_downRow = 0;
}

void Sd_BaseDTM::KeepOnlyOwnGridsOfSize(int rows, int cols) {
  if (m_heldRows || rows != m_rows || cols != m_cols) ReleaseGrids();
}

bool Sd_BaseDTM::AllocRowBuffers() {
  free(m_rowBuffer);
  free(m_altRowBuffer);
  m_rowBuffer = nullptr;
  m_altRowBuffer = nullptr;
  if (m_cols < 1) return false;
  m_rowBuffer = static_cast<unsigned short*>(calloc(static_cast<size_t>(m_cols), sizeof(unsigned short)));
  m_altRowBuffer = static_cast<unsigned short*>(calloc(static_cast<size_t>(m_cols), sizeof(unsigned short)));
  return m_rowBuffer && m_altRowBuffer;
}

bool Sd_BaseDTM::HasDrawableGrids() const { return m_elevation && m_colors && m_rows >= 2 && m_cols >= 2; }

const char* Sd_BaseDTM::className() const { return "Sd_BaseDTM"; }

int Sd_BaseDTM::ValueAt(double, double, int) { return 0; }

unsigned short** Sd_BaseDTM::GetElevationGrid() { return m_elevation; }

unsigned int** Sd_BaseDTM::GetColorGrid() { return m_colors; }

void Sd_BaseDTM::SetLODStep(int step) { m_lodStep = UsableStep(step); }

void Sd_BaseDTM::SetCodeRange(unsigned short minCode, unsigned short maxCode) {
  m_minCode = minCode;
  m_maxCode = maxCode;
}

void Sd_BaseDTM::GetWindow(int* colStart, int* colEnd, int* rowStart, int* rowEnd) const {
  if (colStart) *colStart = m_colStart;
  if (colEnd) *colEnd = m_colEnd;
  if (rowStart) *rowStart = m_rowStart;
  if (rowEnd) *rowEnd = m_rowEnd;
}

double Sd_BaseDTM::CodeToHeight(double code) const {
  return code / 65535.0 * (static_cast<double>(m_bounds[5]) - m_bounds[4]) + m_bounds[4];
}

// --- grids ---

int Sd_BaseDTM::CreateGrids(int rows, int cols) {
  if (CreateElevationGrid(rows, cols) != 0) return -1;
  return CreateColorGrid(rows, cols);
}

int Sd_BaseDTM::CreateElevationGrid(int rows, int cols) {
  if (!SizeOk(rows, cols)) return -1;
  KeepOnlyOwnGridsOfSize(rows, cols);
  unsigned short** heights = Sv_UtlAlloc2DShort(rows, cols);
  if (!heights) {
    ReleaseGrids();
    return -1;
  }
  return InstallElevationGrid(heights, rows, cols) ? 0 : -1;
}

int Sd_BaseDTM::CreateColorGrid(int rows, int cols) {
  if (!SizeOk(rows, cols)) return -1;
  KeepOnlyOwnGridsOfSize(rows, cols);
  unsigned int** colours = Sv_UtlAlloc2DInt(rows, cols);
  if (!colours) {
    ReleaseGrids();
    return -1;
  }
  InstallColorGrid(colours, rows, cols);
  return 0;
}

bool Sd_BaseDTM::InstallElevationGrid(unsigned short** grid, int rows, int cols) {
  KeepOnlyOwnGridsOfSize(rows, cols);
  Sv_UtlFree2D(m_elevation, m_rows);
  m_elevation = grid;
  m_rows = rows;
  m_cols = cols;
  if (!AllocRowBuffers()) {
    ReleaseGrids();
    return false;
  }
  return true;
}

void Sd_BaseDTM::InstallColorGrid(unsigned int** grid, int rows, int cols) {
  KeepOnlyOwnGridsOfSize(rows, cols);
  Sv_UtlFree2D(m_colors, m_rows);
  m_colors = grid;
  m_rows = rows;
  m_cols = cols;
}

bool Sd_BaseDTM::InstallAltValues(unsigned short** grid, int rows, int cols) {
  if (!grid || !m_elevation || rows != m_rows || cols != m_cols) return false;
  Sv_UtlFree2D(m_altValues, m_rows);
  m_altValues = grid;
  return true;
}

int Sd_BaseDTM::HoldRows(unsigned short* const* elevationRows, unsigned int* const* colourRows, int rows,
                         int cols) {
  bool ok = SizeOk(rows, cols) && elevationRows && colourRows;
  for (int r = 0; ok && r < rows; ++r) ok = elevationRows[r] && colourRows[r];
  if (!ok) {
    ReleaseGrids();
    return -1;
  }
  // The next rows of the same size: the tables (and the alternate values
  // and row buffers) stay.
  if (!(m_heldRows && rows == m_rows && cols == m_cols)) {
    ReleaseGrids();
    const size_t tableBytes = static_cast<size_t>(rows) * sizeof(void*);
    m_elevation = static_cast<unsigned short**>(malloc(tableBytes));
    m_colors = static_cast<unsigned int**>(malloc(tableBytes));
    m_heldRows = true;
    m_rows = rows;
    m_cols = cols;
    if (!m_elevation || !m_colors || !AllocRowBuffers()) {
      ReleaseGrids();
      return -1;
    }
  }
  memcpy(m_elevation, elevationRows, static_cast<size_t>(rows) * sizeof(unsigned short*));
  memcpy(m_colors, colourRows, static_cast<size_t>(rows) * sizeof(unsigned int*));
  return 0;
}

unsigned short** Sd_BaseDTM::AllocElevationGrid() {
  if (!SizeOk(m_rows, m_cols)) return nullptr;
  unsigned short** grid = Sv_UtlAlloc2DShort(m_rows, m_cols);
  if (grid && !AllocRowBuffers()) {
    Sv_UtlFree2D(grid, m_rows);
    return nullptr;
  }
  return grid;
}

unsigned int** Sd_BaseDTM::AllocColorGrid() {
  if (!SizeOk(m_rows, m_cols)) return nullptr;
  return Sv_UtlAlloc2DInt(m_rows, m_cols);
}

// --- records ---

int Sd_BaseDTM::LoadElevations(TDR_Manager* manager) {
  const char* where = "Sd_BaseDTM::LoadElevations";
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_PayloadReader in(manager);
  TDR_Scalar scalar;
  const unsigned long messages = Sv_Debug::MessageCount();
  if (!in.Scalar(&scalar)) {
    // The descriptor's reader names the fault (a grid larger than its
    // record, a bad size or type): that reason is the one to pass on.
    if (Sv_Debug::MessageCount() == messages) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the elevation scalar record", manager->GetFileName());
    }
    return -1;
  }
  // A height grid of another type cannot be shown; the record is refused.
  if (scalar.GetDataType() != TDR_TYPE_USHORT) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading scalar file  -  expected type unsigned short!");
    return -1;
  }
  int rows = 0, cols = 0;
  if (!GridDimensions(scalar, &rows, &cols) || !SizeOk(rows, cols)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The elevation record is not a grid of a size that can be shown", where);
    return -1;
  }
  static const CodeGridMessages kMessages = {"ERROR:  The elevation record is shorter than its grid",
                                             "ERROR:  Out of memory for the elevation grid",
                                             "ERROR:  Reading the elevation rows"};
  unsigned short codes[2] = {0, 0};
  unsigned short** grid = ReadCodeGrid(in, rows, cols, codes, kMessages, where);
  if (!grid) return -1;

  m_minCode = codes[0];
  m_maxCode = codes[1];
  if (!InstallElevationGrid(grid, rows, cols)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Out of memory for the elevation grid", where);
    return -1;
  }
  return 0;
}

int Sd_BaseDTM::LoadColors(TDR_Manager* manager) {
  const char* where = "Sd_BaseDTM::LoadColors";
  if (!manager) return -1;
  int rows = 0, cols = 0;
  unsigned int** grid = TDR_UtlReadScalar32Tag(manager, &rows, &cols);
  if (!grid) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the colour scalar record", manager->GetFileName());
    return -1;
  }
  // Every grid of a DTM has the same size; a colour grid of another size
  // would be read and written past its rows.
  if (!SizeOk(rows, cols) || (m_elevation && (rows != m_rows || cols != m_cols))) {
    Sv_UtlFree2D(grid, rows);
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The colour grid's size differs from the elevation grid's", where);
    return -1;
  }
  InstallColorGrid(grid, rows, cols);
  return 0;
}

int Sd_BaseDTM::SaveElevations(TDR_Manager* manager) {
  if (!manager || !manager->GetFilePtr() || !m_elevation || m_rows < 1 || m_cols < 1) return -1;
  const unsigned short codes[2] = {m_minCode, m_maxCode};
  return WriteCodeGrid(manager, m_elevation, m_rows, m_cols, 0.0, 65535.0, codes);
}

int Sd_BaseDTM::SaveColors(TDR_Manager* manager) {
  if (!manager || !m_colors || m_rows < 1 || m_cols < 1) return -1;
  return TDR_UtlWriteScalar32Tag(manager, m_colors, m_rows, m_cols);
}

bool Sd_BaseDTM::GridDimensions(const TDR_Scalar& scalar, int* rows, int* cols) {
  bool flat = scalar.GetNumDimensions() >= 2;
  for (int i = 3; i <= scalar.GetNumDimensions(); ++i) flat = flat && scalar.GetDimension(i) == 1;
  *cols = scalar.GetDimension(1);
  *rows = scalar.GetDimension(2);
  return flat;
}

unsigned short** Sd_BaseDTM::ReadCodeGrid(TDR_PayloadReader& in, int rows, int cols, unsigned short words[2],
                                          const CodeGridMessages& messages, const char* where) {
  const long long need = 4 + 2LL * rows * cols;
  if (in.Left() < need) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, messages.shortRecord, where);
    return nullptr;
  }
  unsigned short** grid = Sv_UtlAlloc2DShort(rows, cols);
  if (!grid) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, messages.outOfMemory, where);
    return nullptr;
  }
  in.Read(words, 2, 2);
  if (!in.Rows(reinterpret_cast<void* const*>(grid), 2, cols, rows)) {
    Sv_UtlFree2D(grid, rows);
    Sv_Debug::Message(SV_LEVEL_DEBUG, messages.readFailed, where);
    return nullptr;
  }
  return grid;
}

int Sd_BaseDTM::WriteCodeGridHead(TDR_Manager* manager, int rows, int cols, double rangeMin, double rangeMax,
                                  const unsigned short words[2]) {
  TDR_Scalar scalar;
  scalar.SetNumDimensions(2);
  scalar.SetDimension(1, cols);
  scalar.SetDimension(2, rows);
  scalar.SetDataType(TDR_TYPE_USHORT);
  scalar.SetRange(rangeMin, rangeMax);
  if (scalar.Write(manager) != 0) return -1;
  TDR_PayloadWriter out(manager);
  return out.Write(words, 2, 2) ? 0 : -1;
}

int Sd_BaseDTM::WriteCodeGrid(TDR_Manager* manager, unsigned short* const* grid, int rows, int cols, double rangeMin,
                              double rangeMax, const unsigned short words[2]) {
  if (WriteCodeGridHead(manager, rows, cols, rangeMin, rangeMax, words) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Rows(reinterpret_cast<const void* const*>(grid), 2, cols, rows);
  return out.Ok() ? 0 : -1;
}

// --- nodes and rows ---

int Sd_BaseDTM::GetCell(int row, int col, unsigned short* code, unsigned int* colour) const {
  if (row < 0 || row >= m_rows || col < 0 || col >= m_cols) return -1;
  if (code && m_elevation) *code = m_elevation[row][col];
  if (colour && m_colors) *colour = m_colors[row][col];
  return 0;
}

unsigned short* Sd_BaseDTM::GetElevationRow(int r) {
  if (!m_elevation || !m_rowBuffer || r < 0 || r >= m_rows) return nullptr;
  memcpy(m_rowBuffer, m_elevation[r], static_cast<size_t>(m_cols) * sizeof(unsigned short));
  return m_rowBuffer;
}

unsigned short* Sd_BaseDTM::GetAltValueRow(int r) {
  if (!m_altValues || !m_altRowBuffer || r < 0 || r >= m_rows) return nullptr;
  memcpy(m_altRowBuffer, m_altValues[r], static_cast<size_t>(m_cols) * sizeof(unsigned short));
  return m_altRowBuffer;
}

unsigned short* Sd_BaseDTM::ElevationRowSource(int row, void* dtm) {
  return dtm ? static_cast<Sd_BaseDTM*>(dtm)->GetElevationRow(row) : nullptr;
}

unsigned short* Sd_BaseDTM::AltValueRowSource(int row, void* dtm) {
  return dtm ? static_cast<Sd_BaseDTM*>(dtm)->GetAltValueRow(row) : nullptr;
}

// --- shading and synthetic surfaces ---

void Sd_BaseDTM::ShadeWithColorMap(float p1, float p2, float p3, float p4, float p5, float p6, double altMin,
                                   double altMax, const char* colorMapFile) {
  const float parameters[6] = {p1, p2, p3, p4, p5, p6};
  for (int i = 0; i < 6; ++i) m_shading[i] = parameters[i];
  if (!m_elevation || !m_colors || m_rows < 1 || m_cols < 1) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ShadeWithColorMap: no grid to shade");
    return;
  }
  Sv_Shader* shader = new (std::nothrow) Sv_Shader(m_rows, m_cols);
  if (!shader) return;
  m_cancel = 0;

  // Without a colour map (no WRUHOME, or no such file) the shader keeps its
  // built-in ramp; each missing thing is reported once per process.
  if (colorMapFile) {
    shader->LoadColormap(colorMapFile);
  } else if (char* path = Sv_UtlHomePath("cmaps/step16.cmap")) {
    shader->LoadColormap(path);
    free(path);
  }

  shader->SetHeightCallback(ElevationRowSource, this);
  shader->SetHeightRange(m_bounds[4], m_bounds[5]);
  shader->SetAltHeightRange(altMin, altMax);
  if (m_useAltValues && m_altValues) {
    shader->SetAltHeightCallback(AltValueRowSource, this);
    shader->SetAltHeightMode(1);
  }
  shader->SetSun(p1, p2, p3, p4, p5, p6);

  const int rows = m_rows;
  const int step = shader->GetRowStep();
  for (int i = 0; i < rows; ++i) {
    // The progress hook may do anything to this DTM; a grid that went away
    // ends the sweep.
    if (!m_colors || m_rows != rows) break;
    const int r = step > 0 ? i : rows - 1 - i;
    if (shader->ShadeRow(m_colors[r]) != 0) break;
    m_shadeRow = r;
    ReportProgress(r, rows);
    if (m_cancel) break;
  }
  delete shader;
}

int Sd_BaseDTM::FillSample(int rows, int cols) {
  if (CreateGrids(rows, cols) != 0) return -1;
  m_minCode = 65535;
  m_maxCode = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      // A tilted plane with a bump: every node a height, none at the "no value" code.
      const unsigned code = 1000u + 40000u * static_cast<unsigned>(r + c) / static_cast<unsigned>(rows + cols) +
                            ((r % 3 == 1 && c % 3 == 1) ? 9000u : 0u);
      m_elevation[r][c] = static_cast<unsigned short>(code);
      m_minCode = std::min<unsigned short>(m_minCode, m_elevation[r][c]);
      m_maxCode = std::max<unsigned short>(m_maxCode, m_elevation[r][c]);
      m_colors[r][c] = PackColour(40 + 20 * (r % 8), 200 - 20 * (c % 8), 90, 255);
    }
  }
  SetBounds(0, 500000.0f, 500000.0f + 25.0f * (cols - 1));
  SetBounds(1, 6200000.0f, 6200000.0f + 25.0f * (rows - 1));
  SetBounds(2, -120.0f, -20.0f);
  return 0;
}

void Sd_BaseDTM::CreateSurface(int width, int height, double cellSize, SurfaceFunction fn) {
  if (cellSize == 0.0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Sd_BaseDTM::CreateSurface: cell size is 0!\n");
    return;
  }
  const double c = width / cellSize;
  const double r = height / cellSize;
  if (!fn || !(c >= 1.0 && r >= 1.0 && c <= kMaxGridSide && r <= kMaxGridSide)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Sd_BaseDTM::CreateSurface: no grid of that size");
    return;
  }
  const int cols = static_cast<int>(c);
  const int rows = static_cast<int>(r);
  if (CreateGrids(rows, cols) != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Sd_BaseDTM::CreateSurface: out of memory");
    return;
  }
  m_maxCode = 0;
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) {
      const unsigned short code = fn(i, j, rows, cols);
      m_elevation[i][j] = code;
      if (code > m_maxCode) m_maxCode = code;
      const unsigned g = code / 257u;
      m_colors[i][j] = PackColour(g, g, g, 255);
    }
  }
}

// --- records after the object's own ---

int Sd_BaseDTM::LoadGridRecords(TDR_Manager* manager, const char* elevationTagMessage, const char* colourTagMessage,
                                const char* sizeMessage) {
  bool ok = ExpectTag(manager, TDR_TAG_SCALAR, elevationTagMessage) && LoadElevations(manager) == 0 &&
            ExpectTag(manager, TDR_TAG_SCALAR, colourTagMessage) && LoadColors(manager) == 0;
  if (ok && !HasDrawableGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, sizeMessage, manager->GetFileName());
    ok = false;
  }
  if (!ok || ReadCommonTags(manager) != 0 || !RangesUsable(manager->GetFileName())) {
    // A failed load leaves the object without grids.
    FreeData();
    return -1;
  }
  return 0;
}

bool Sd_BaseDTM::RangesUsable(const char* file) const {
  // Every code range and every finite z range draws and picks: flat and
  // inverted ranges, a largest code of 0 (grid space scales z by 1), a grid
  // of empty nodes (nothing drawn, every pick a miss). Only bounds that are
  // not numbers cannot be drawn.
  Sd_BaseDTM* self = const_cast<Sd_BaseDTM*>(this);
  for (int axis = 0; axis < 3; ++axis) {
    const float* b = self->GetBounds(axis);
    if (!std::isfinite(b[0]) || !std::isfinite(b[1])) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The terrain's bounds are not numbers", file);
      return false;
    }
  }
  return true;
}

int Sd_BaseDTM::SaveGridRecords(TDR_Manager* manager, int withCommonTags) {
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || SaveElevations(manager) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  if (SaveColors(manager) != 0) return -1;
  if (withCommonTags) return WriteCommonTags(manager);
  return 0;
}

void Sd_BaseDTM::WriteDrawSettings(TDR_PayloadWriter& out) const {
  out.Write(&m_drawMode, 2, 1);
  out.Int32(m_alpha);
  out.Int32(m_lodStep);
  out.Int32(m_autoLod);
  out.Int32(0);
}

// --- detail settings ---

void Sd_BaseDTM::SaveSettings() { KeepDetailSettings(m_lodStep, m_autoLod); }

void Sd_BaseDTM::RestoreSettings() { KeptDetailSettings(&m_lodStep, &m_autoLod); }

int Sd_BaseDTM::ResetSettings() {
  m_lodStep = 1;
  m_autoLod = 0;
  return 1;
}
