// VR terrain model: records, settings, texture, window and cell queries.
#include "Sd_VRDTM.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_Texture.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


constexpr const char* kNoScalarMessage = "ERROR:  Reading tag for loading VR DTM  -  expected TDR_TAG_SCALAR!";
constexpr const char* kSizeMessage = "ERROR:  A VR DTM needs at least 2 x 2 nodes";
constexpr const char* kDamagedObject = "ERROR:  Damaged VR DTM object record";
constexpr const char* kDamagedSettings = "ERROR:  Damaged VR DTM settings record; defaults kept";

// Settings record: draw mode (i16), alpha, draw step, pass step, spare (i32).
constexpr int kSettingsVersion = 1;

int ClampStep(int step) { return std::clamp(step, 1, Sd_BaseDTM::kMaxGridSide); }

}  // namespace

Sd_VRDTM::Sd_VRDTM()
    : m_viewMatrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
      m_windowMode(0),
      m_windowCols(60),
      m_windowRows(60),
      m_windowMargin(0),
      m_windowCentreRow(0),
      m_windowCentreCol(0),
      m_windowRowStart(0),
      m_windowRowEnd(0),
      m_windowColStart(0),
      m_windowColEnd(0),
      m_textureRepeatX(10.0f),
      m_textureRepeatY(10.0f),
      m_drawStep(10),
      m_passStep(5),
      m_spareSetting(1),
      m_pickCell{0, 0},
      m_textureOn(0),
      m_textureFile{},
      m_texEnvMode(GL_MODULATE),
      m_noDataCode(0) {
  SetType(kTypeId);
  SetRedrawPending(0);
  SetDrawn(1);
  m_pickPos[0] = -1.0f;
  RecomputeWindow();
}

Sd_VRDTM::~Sd_VRDTM() {
  // An open progressive pass keeps nothing enabled between its calls, so
  // only the texture's own state is left to switch off.
  if (m_texture) m_texture->Disable();
}

const char* Sd_VRDTM::className() const { return "VR-DTM"; }

// --- records ---

int Sd_VRDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  FreeData();
  {
    TDR_PayloadReader in(manager);
    unsigned short code = 0;
    in.SkipFormatNumber();
    in.Read(&code, 2, 1);
    if (!in.Ok()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, kDamagedObject, manager->GetFileName());
      return -1;
    }
    m_noDataCode = code;
  }
  // Defaults, which the settings record read with the common tags replaces.
  SetMode(1);
  SetDrawStep(10);
  SetPassStep(4);
  SetSpareSetting(1);
  m_alpha = 255;
  SetScale(1.0f, 1.0f, 0.2f);
  m_windowMode = 0;
  m_windowRows = m_windowCols = 60;
  SetWindowCenter(0, 0);
  SetWindowMargin(0);
  m_pickPos[0] = -1.0f;
  return LoadGridRecords(manager, kNoScalarMessage, kNoScalarMessage, kSizeMessage);
}

int Sd_VRDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_VRDTM_ATB) return 0;
  TDR_PayloadReader in(manager);
  in.SkipFormatNumber();
  short mode = 0;
  int words[4] = {0, 0, 0, 0};
  in.Read(&mode, 2, 1);
  in.Int32s(words, 4);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kDamagedSettings, manager->GetFileName());
    return 1;
  }
  m_drawMode = mode;
  m_alpha = std::clamp(words[0], 0, 255);
  SetDrawStep(words[1]);
  SetPassStep(words[2]);
  m_spareSetting = words[3];
  return 1;
}

int Sd_VRDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_VRDTM_ATB, kSettingsVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_drawMode, 2, 1);
  const int words[4] = {m_alpha, m_drawStep, m_passStep, m_spareSetting};
  out.Int32s(words, 4);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_VRDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  // The grids stay in the file they came from. A pointer to the file being
  // written would name itself once the write is done, and one to no file
  // would lose the grids: the records are written instead.
  if (!manager->IsOtherExistingFile(GetDescription())) return SaveDataRecords(manager, withCommonTags);
  if (manager->WriteTag(TDR_TAG_SD_VRDTM, 1, 0, 1, 1) != 0 || manager->WriteFilePointerString(GetDescription()) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_VRDTM::SaveDataRecords(TDR_Manager* manager, int withCommonTags) {
  if (!manager || !HasDrawableGrids()) return -1;
  if (manager->WriteTag(TDR_TAG_SD_VRDTM, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_noDataCode, 2, 1);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return SaveGridRecords(manager, withCommonTags);
}

int Sd_VRDTM::WriteSample(TDR_Manager* manager) {
  Sd_VRDTM dtm;
  if (dtm.FillSample(6, 7) != 0) return -1;
  // Two no-data nodes in the middle.
  dtm.m_noDataCode = 3;
  unsigned short* const* h = dtm.ElevationRows();
  h[2][3] = h[3][3] = 3;
  dtm.m_drawMode = 1;
  dtm.m_drawStep = 2;
  dtm.m_passStep = 1;
  dtm.m_spareSetting = 7;
  return dtm.SaveDataRecords(manager, 1);
}

// --- detail settings ---

void Sd_VRDTM::SaveSettings() { KeepDetailSettings(m_drawStep, 0); }

void Sd_VRDTM::RestoreSettings() {
  int step = m_drawStep, unused = 0;
  if (KeptDetailSettings(&step, &unused)) m_drawStep = step;
}

int Sd_VRDTM::ResetSettings() {
  m_drawStep = 1;
  return 1;
}

// --- settings ---

void Sd_VRDTM::SetMode(short mode) {
  m_drawMode = mode;
  if (mode == 4) {
    if (m_texture) {
      m_textureOn = 1;
    } else {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_VRDTM::SetMode() -- No texture loaded.  Not going in texture mode.");
    }
    return;
  }
  m_textureOn = 0;
  if (m_texture) DisableTexture();
}

void Sd_VRDTM::SetDrawStep(int step) { m_drawStep = ClampStep(step); }

void Sd_VRDTM::SetPassStep(int step) { m_passStep = ClampStep(step); }

void Sd_VRDTM::SetAlpha(int alpha) {
  m_alpha = std::clamp(alpha, 0, 255);
  unsigned int* const* colours = ColourRows();
  if (!colours || m_alpha == 255) return;
  // The last row and column keep their alpha.
  for (int r = 0; r + 1 < GetRows(); ++r) {
    for (int c = 0; c + 1 < GetCols(); ++c) colours[r][c] = ColourWithAlpha(colours[r][c], m_alpha);
  }
}

// --- texture ---

int Sd_VRDTM::LoadTexture(const char* file) {
  // The name is kept for GetTextureFileName: one cut to fit would name
  // another file.
  if (file && strlen(file) >= sizeof m_textureFile) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Texture file name too long  -  ", file);
    return -1;
  }
  std::unique_ptr<Sv_Texture> texture(new Sv_Texture());
  if (!file || texture->LoadTexture(file, 2) != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Loading texture  -  ", file ? file : "");
    return -1;
  }
  if (m_texture) m_texture->Disable();
  m_texture = std::move(texture);
  snprintf(m_textureFile, sizeof m_textureFile, "%s", file);
  return 0;
}

void Sd_VRDTM::ReleaseTexture() {
  if (m_texture) m_texture->Free();
  m_textureOn = 0;
}

void Sd_VRDTM::EnableTexture() {
  if (!m_texture) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Enabling texturing without a texture!");
    return;
  }
  m_textureOn = 1;
}

void Sd_VRDTM::DisableTexture() {
  if (!m_texture) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Disabling texturing without a texture!");
    return;
  }
  m_textureOn = 0;
}

bool Sd_VRDTM::HasTexture() { return m_texture != nullptr; }

char* Sd_VRDTM::GetTextureFileName(char* out) {
  if (out) memcpy(out, m_textureFile, sizeof m_textureFile);
  return out;
}

bool Sd_VRDTM::Textured() const { return m_drawMode == 4 && m_texture && m_textureOn && m_texture->GetPixels(); }

// --- window ---

void Sd_VRDTM::EnableWindowMode() { m_windowMode = 1; }

void Sd_VRDTM::DisableWindowMode() { m_windowMode = 0; }

unsigned char Sd_VRDTM::GetWindowMode() { return m_windowMode; }

void Sd_VRDTM::SetWindowSize(int rows, int cols) {
  m_windowRows = std::clamp(rows, 0, kMaxGridSide);
  m_windowCols = std::clamp(cols, 0, kMaxGridSide);
  RecomputeWindow();
}

void Sd_VRDTM::SetWindowCenter(int row, int col) {
  m_windowCentreRow = std::clamp(row, -kMaxGridSide, kMaxGridSide);
  m_windowCentreCol = std::clamp(col, -kMaxGridSide, kMaxGridSide);
  RecomputeWindow();
}

void Sd_VRDTM::SetWindowMargin(int margin) { m_windowMargin = std::clamp(margin, 0, kMaxGridSide); }

void Sd_VRDTM::RecomputeWindow() {
  m_windowRowStart = m_windowCentreRow - m_windowRows / 2;
  m_windowRowEnd = m_windowRowStart + m_windowRows;
  m_windowColStart = m_windowCentreCol - m_windowCols / 2;
  m_windowColEnd = m_windowColStart + m_windowCols;
}

void Sd_VRDTM::GetFullResWindow(int* rowStart, int* rowEnd, int* colStart, int* colEnd) const {
  if (rowStart) *rowStart = m_windowRowStart;
  if (rowEnd) *rowEnd = m_windowRowEnd;
  if (colStart) *colStart = m_windowColStart;
  if (colEnd) *colEnd = m_windowColEnd;
}

// --- matrix and cells ---

void Sd_VRDTM::GetMatrix(double out[16]) {
  if (out) std::copy(m_viewMatrix, m_viewMatrix + 16, out);
}

void Sd_VRDTM::MultMatrix() { glMultMatrixd(m_viewMatrix); }

double Sd_VRDTM::GetElevationCode(int col, int row) {
  if (!ElevationRows() || col < 0 || row < 0 || col >= GetCols() || row >= GetRows()) return 0.0;
  if (NoData(row, col)) return -static_cast<double>(m_maxCode);
  return ElevationRows()[row][col];
}

void Sd_VRDTM::GetPickedCell(int* row, int* col) {
  if (row) *row = m_pickCell[0];
  if (col) *col = m_pickCell[1];
}
