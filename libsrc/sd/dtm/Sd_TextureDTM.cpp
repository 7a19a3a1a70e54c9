// Textured terrain model: records, settings, the class configuration, the
// tile meshes and the grey colours of a terrain without colour record.
#include "Sd_TextureDTM.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_Stdio.h"
#include "Sv_TexturedSurface.h"
#include "Sv_Types.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Texture display mode 2 turns into 0 for textures of more tiles.
constexpr int kMaxAutoTiles = 16;

// Reads a GEOREF payload (header read) into six float bounds; false when
// the record is damaged or a bound is beyond what a float holds.
bool ReadBoundsRecord(TDR_Manager* manager, float bounds[6]) {
  TDR_GeoRef geo;
  if (geo.Read(manager) != 0) return false;
  const double values[6] = {geo.GetXBounds()[0], geo.GetXBounds()[1], geo.GetYBounds()[0],
                            geo.GetYBounds()[1], geo.GetZBounds()[0], geo.GetZBounds()[1]};
  for (double v : values) {
    if (!(std::fabs(v) <= FLT_MAX)) return false;
  }
  for (int i = 0; i < 6; ++i) bounds[i] = static_cast<float>(values[i]);
  return true;
}

// Grid position of a tile boundary given as a fraction of the image (the
// texture's vertex grid runs from -0.5 to 0.5); positions within rounding
// of a grid node are put on it, so that a boundary on a node gets no
// border column.
double BoundaryPosition(float vertex, int nodes) {
  const double p = (static_cast<double>(vertex) + 0.5) * (nodes - 1);
  const double nearest = std::round(p);
  return std::fabs(p - nearest) < 1e-4 ? nearest : p;
}

// The mesh positions between two boundaries: the border at p0 (when not on
// a node), every node inside, the border at p1 (when not on a node); and
// texture coordinates from 0 at p0 to limit at p1.
void MeshPositions(double p0, double p1, float limit, std::vector<float>* pos, std::vector<float>* tex) {
  pos->clear();
  tex->clear();
  const double first = std::ceil(p0);
  const double last = std::floor(p1);
  if (first != p0) pos->push_back(static_cast<float>(p0));
  for (double k = first; k <= last; k += 1.0) pos->push_back(static_cast<float>(k));
  if (last != p1) pos->push_back(static_cast<float>(p1));
  const double scale = p1 > p0 ? limit / (p1 - p0) : 0.0;
  for (float v : *pos) tex->push_back(static_cast<float>((v - p0) * scale));
  tex->back() = limit;
}

}  // namespace

Sd_TextureDTM::Sd_TextureDTM()
    : m_tileRows(0),
      m_tileCols(0),
      m_imageBounds{},
      m_textureMode(2),
      m_showTexture(1),
      m_textureDetail(0),
      m_greyColours(false) {
  SetType(kTypeId);
  SetEmptyCode(0);
  m_drawMode = 1;
  // The texture mode: the third line of the class configuration.
  Sv_UtlReadConfigInt("TextureDTMClass", 3, &m_textureMode);
}

Sd_TextureDTM::~Sd_TextureDTM() {
  m_texture.reset();
  m_image.reset();
}

const char* Sd_TextureDTM::className() const { return "Textured DTM"; }

void Sd_TextureDTM::FreeData() {
  DropDrape();
  m_greyColours = false;
  Sd_SonarDTM::FreeData();
}

const TextureTileMesh* Sd_TextureDTM::GetTileMesh(int row, int col) const {
  if (row < 0 || col < 0 || row >= m_tileRows || col >= m_tileCols) return nullptr;
  return &m_tileMeshes[static_cast<size_t>(row) * m_tileCols + col];
}

void Sd_TextureDTM::SetImageBounds(const float bounds[6]) { std::copy(bounds, bounds + 6, m_imageBounds); }

// --- records ---

int Sd_TextureDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  FreeData();
  if (manager->GetTagVersion() == 0) {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    in.Float32(&format);
  }
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (image->LoadFromTDR(manager) != 0) {
    Sv_Debug::Error("Error loading texturedtm object.");
    return -1;
  }
  bool ok = ExpectTag(manager, TDR_TAG_GEOREF, "ERROR: expected TDR_TAG_GEOREF!");
  if (ok && !ReadBoundsRecord(manager, m_imageBounds)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged image georeference record", manager->GetFileName());
    ok = false;
  }
  ok = ok && ExpectTag(manager, TDR_TAG_SCALAR, "ERROR: 2 Reading TDR file for loading  -  expected TDR_TAG_SCALAR!") &&
       LoadElevations(manager) == 0;
  if (ok) {
    // The colour record is optional: whatever comes instead must be the
    // grid's GEOREF. A file pointer there is the next object's.
    const int tag = manager->ReadTrailingTag(nullptr);
    if (tag == TDR_TAG_SCALAR && !manager->IsFilePointer()) {
      ok = LoadColors(manager) == 0;
    } else {
      if (tag != TDR_TAG_ERROR) manager->UnreadTagHeader();
      m_greyColours = true;
    }
  }
  float bounds[6];
  ok = ok && ExpectTag(manager, TDR_TAG_GEOREF, "LoadDTM:ERROR:  expected TDR_TAG_GEOREF!");
  if (ok && !ReadBoundsRecord(manager, bounds)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged terrain georeference record", manager->GetFileName());
    ok = false;
  }
  if (ok) {
    for (int axis = 0; axis < 3; ++axis) SetBounds(axis, bounds[2 * axis], bounds[2 * axis + 1]);
    // Without a colour record every node is grey by its height.
    if (m_greyColours && ElevationRows()) {
      if (CreateColorGrid(GetRows(), GetCols()) == 0) MakeGreyColours();
    }
    if (!HasDrawableGrids()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A textured DTM needs at least 2 x 2 nodes", manager->GetFileName());
      ok = false;
    }
  }
  if (ok && SetImage(std::move(image)) != 0) {
    Sv_Debug::Error("Error loading texturedtm object.");
    ok = false;
  }
  if (ok && m_textureMode == 2 && m_tileRows * m_tileCols > kMaxAutoTiles) m_textureMode = 0;
  if (!ok || ReadCommonTags(manager) != 0 || !RangesUsable(manager->GetFileName())) {
    FreeData();
    return -1;
  }
  return 0;
}

void Sd_TextureDTM::MakeGreyColours() {
  unsigned int* const* colours = ColourRows();
  unsigned short* const* heights = ElevationRows();
  if (!colours || !heights) return;
  m_greyColours = true;
  for (int r = 0; r < GetRows(); ++r) {
    for (int c = 0; c < GetCols(); ++c) {
      const unsigned h = heights[r][c] >> 8;
      colours[r][c] = PackColour(h, h, h, 255);
    }
  }
}

int Sd_TextureDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_image || !m_image->GetData() || !ElevationRows() || !ColourRows()) return -1;
  if (manager->WriteTag(TDR_TAG_SD_TEXTUREDTM, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  if (m_image->SaveToTDR(manager) != 0 || TDR_GeoRef::WriteBoundsRecord(manager, m_imageBounds) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || SaveElevations(manager) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  if (!m_greyColours && SaveColors(manager) != 0) return -1;
  if (TDR_GeoRef::WriteBoundsRecord(manager, m_bounds) != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_TextureDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag == TDR_TAG_SD_TEXTUREDTM_ATB) {
    ReadSettingsRecord(manager);
    return 1;
  }
  if (tag == TDR_TAG_SCALAR) {
    // The grid is whole without them; a bad record only loses them.
    LoadAltValues(manager);
    return 1;
  }
  return 0;
}

void Sd_TextureDTM::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  float version = static_cast<float>(manager->GetTagVersion());
  if (manager->GetTagVersion() == 0) in.Float32(&version);
  // Only the second layout is known; any other is stepped over whole.
  if (!in.Ok() || version != 2.0f) return;
  unsigned short modes[2] = {0, 0};
  int words[3] = {0, 0, 0};
  in.Read(modes, 2, 2);
  in.Int32s(words, 3);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged textured DTM settings record; defaults kept",
                      manager->GetFileName());
    return;
  }
  m_drawMode = static_cast<short>(modes[0]);
  m_textureMode = modes[1];
  m_lodStep = UsableStep(words[0]);
  m_autoLod = words[1];
  m_showTexture = words[2];
}

int Sd_TextureDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_TEXTUREDTM_ATB, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const unsigned short modes[2] = {static_cast<unsigned short>(m_drawMode), static_cast<unsigned short>(m_textureMode)};
  out.Write(modes, 2, 2);
  out.Int32(m_lodStep);
  out.Int32(m_autoLod);
  out.Int32(m_showTexture);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (GetAltValues()) return SaveAltValues(manager);
  return 0;
}

int Sd_TextureDTM::WriteSample(TDR_Manager* manager) {
  // A 5 x 4 grid with one empty node under a 3 x 2 RGB image.
  static const unsigned char kPixels[18] = {200, 30, 30, 30, 200, 30, 30, 30, 200,
                                            200, 200, 30, 30, 200, 200, 200, 30, 200};
  Sd_TextureDTM dtm;
  if (dtm.FillSample(5, 4) != 0) return -1;
  dtm.ElevationRows()[2][1] = dtm.GetEmptyCode();
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (image->SetData(3, 2, kPixels, 1) != 0) return -1;
  const float* b = dtm.m_bounds;
  const float imageBounds[6] = {b[0], b[1], b[2], b[3], b[4], b[5]};
  dtm.SetImageBounds(imageBounds);
  dtm.m_textureMode = 1;
  dtm.m_lodStep = 2;
  dtm.m_autoLod = 0;
  if (dtm.SetImage(std::move(image)) != 0) return -1;
  return dtm.SaveObject(manager, 1, 0);
}

// --- settings ---

void Sd_TextureDTM::SaveSettings() { KeepDetailSettings(m_lodStep, m_autoLod, m_textureMode); }

void Sd_TextureDTM::RestoreSettings() { KeptDetailSettings(&m_lodStep, &m_autoLod, &m_textureMode); }

int Sd_TextureDTM::ResetSettings() {
  m_lodStep = 1;
  m_textureMode = 1;
  m_autoLod = 0;
  return 1;
}

// --- the drape ---

void Sd_TextureDTM::DropDrape() {
  // The texture shows the image: it goes first.
  m_texture.reset();
  m_image.reset();
  m_tileMeshes.clear();
  m_sCoords.clear();
  m_tCoords.clear();
  m_tileRows = m_tileCols = 0;
}

int Sd_TextureDTM::SetImage(std::unique_ptr<Sv_ImageIO> image) {
  DropDrape();
  if (!image || !ElevationRows() || GetRows() < 2 || GetCols() < 2) return -1;
  std::unique_ptr<Sv_TexturedSurface> texture(new Sv_TexturedSurface());
  if (texture->SetImage(image.get()) != 0 || texture->GetNumTilesX() < 1 || texture->GetNumTilesY() < 1) return -1;
  m_image = std::move(image);
  m_texture = std::move(texture);
  m_tileRows = m_texture->GetNumTilesY();
  m_tileCols = m_texture->GetNumTilesX();
  BuildTileMeshes();
  return 0;
}

void Sd_TextureDTM::BuildTileMeshes() {
  m_tileMeshes.assign(static_cast<size_t>(m_tileRows) * m_tileCols, TextureTileMesh());
  for (int i = 0; i < m_tileRows; ++i) {
    for (int j = 0; j < m_tileCols; ++j) BuildTileMesh(i, j, &m_tileMeshes[static_cast<size_t>(i) * m_tileCols + j]);
  }
  const int cols = GetCols(), rows = GetRows();
  const double s0 = m_texture->GetFirstSMax(), t0 = m_texture->GetFirstTMax();
  m_sCoords.resize(cols);
  m_tCoords.resize(rows);
  for (int c = 0; c < cols; ++c) m_sCoords[c] = static_cast<float>(c * s0 / (cols - 1));
  for (int r = 0; r < rows; ++r) m_tCoords[r] = static_cast<float>(r * t0 / (rows - 1));
}

void Sd_TextureDTM::BuildTileMesh(int i, int j, TextureTileMesh* mesh) const {
  const float* a = m_texture->GetVertex(i, j);
  const float* b = m_texture->GetVertex(i + 1, j + 1);
  MeshPositions(BoundaryPosition(a[0], GetCols()), BoundaryPosition(b[0], GetCols()), m_texture->GetSMax(j),
                &mesh->x, &mesh->s);
  MeshPositions(BoundaryPosition(a[1], GetRows()), BoundaryPosition(b[1], GetRows()), m_texture->GetTMax(i),
                &mesh->y, &mesh->t);
  mesh->cols = static_cast<int>(mesh->x.size());
  mesh->rows = static_cast<int>(mesh->y.size());
  mesh->heights.resize(static_cast<size_t>(mesh->cols) * mesh->rows);
  // The columns on grid nodes form one run between the border columns.
  const int first = mesh->x.front() == std::floor(mesh->x.front()) ? 0 : 1;
  const int last = mesh->x.back() == std::floor(mesh->x.back()) ? mesh->cols - 1 : mesh->cols - 2;
  for (int r = 0; r < mesh->rows; ++r) {
    const float y = mesh->y[r];
    unsigned short* out = &mesh->heights[static_cast<size_t>(r) * mesh->cols];
    int c = 0;
    if (y == std::floor(y) && first <= last) {
      // Interior nodes: copied from the grid row.
      const unsigned short* row = ElevationRows()[static_cast<int>(y)] + static_cast<int>(mesh->x[first]);
      std::copy(row, row + (last - first + 1), out + first);
      for (; c < first; ++c) out[c] = SampleElevation(mesh->x[c], y);
      c = last + 1;
    }
    for (; c < mesh->cols; ++c) out[c] = SampleElevation(mesh->x[c], y);
  }
}

unsigned short Sd_TextureDTM::SampleElevation(float x, float y) const {
  unsigned short* const* grid = ElevationRows();
  if (!grid || GetRows() < 1 || GetCols() < 1) return GetEmptyCode();
  x = std::clamp(x, 0.0f, static_cast<float>(GetCols() - 1));
  y = std::clamp(y, 0.0f, static_cast<float>(GetRows() - 1));
  if (!(x >= 0.0f && y >= 0.0f)) x = y = 0.0f;  // not a number
  const int c0 = static_cast<int>(std::floor(x)), c1 = static_cast<int>(std::ceil(x));
  const int r0 = static_cast<int>(std::floor(y)), r1 = static_cast<int>(std::ceil(y));
  const unsigned short e = GetEmptyCode();
  const unsigned short h00 = grid[r0][c0], h01 = grid[r0][c1], h10 = grid[r1][c0], h11 = grid[r1][c1];
  if (h00 == e || h01 == e || h10 == e || h11 == e) return e;
  const double fx = x - c0, fy = y - r0;
  const double low = h00 + (h01 - h00) * fx;
  const double high = h10 + (h11 - h10) * fx;
  return static_cast<unsigned short>(low + (high - low) * fy);
}

void Sd_TextureDTM::MakeImageOpaque() {
  if (!m_image || !m_image->GetData() || m_image->GetChannels() != 4 || m_image->GetBytesPerChannel() != 1) return;
  // RGBA keeps alpha last, ABGR first.
  const int alpha = m_image->GetFormat() == 4 ? 0 : 3;
  for (int r = 0; r < m_image->GetHeight(); ++r) {
    unsigned char* p = m_image->GetRow(r);
    for (int c = 0; c < m_image->GetWidth(); ++c, p += 4) p[alpha] = 255;
  }
  // The tiles are read from the image at their upload: a new upload.
  if (m_texture) m_texture->SetImage(m_image.get());
}
