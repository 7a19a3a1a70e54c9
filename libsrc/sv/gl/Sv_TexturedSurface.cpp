#include "Sv_TexturedSurface.h"

#include <algorithm>
#include <utility>

#include "Sv_2DData.h"
#include "Sv_Debug.h"
#include "Sv_ImageScale.h"
#include "Sv_TextureUpload.h"

const int Sv_TexturedSurface::kTileSide;
const int Sv_TexturedSurface::kLowResSide;

namespace {
const float kNoVertex[3] = {0.0f, 0.0f, 0.0f};
}

Sv_TexturedSurface::Sv_TexturedSurface()
    : m_image(nullptr),
      m_tilesX(0),
      m_tilesY(0),
      m_cornerA{-0.5f, -0.5f, 0.0f},
      m_cornerB{0.5f, 0.5f, 0.0f},
      m_wantLowRes(true),
      m_lowResTried(false),
      m_lowResName(0) {}

Sv_TexturedSurface::~Sv_TexturedSurface() { ReleaseTextures(); }

int Sv_TexturedSurface::SetImage(const Sv_2DData* image) {
  DropTextures();
  m_image = nullptr;
  m_tilesX = m_tilesY = 0;
  m_sMax.clear();
  m_tMax.clear();
  m_lowRes.reset();
  m_lowResTried = false;
  if (!image) {
    BuildGrid();
    return 0;
  }
  if (!image->GetData()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "No image pixels to show", "Sv_TexturedSurface::SetImage");
    BuildGrid();
    return -1;
  }
  if (!Sv_TextureLayout(image->GetFormat(), &m_layout, "Sv_TexturedSurface::SetImage")) {
    BuildGrid();
    return -1;
  }
  m_image = image;
  const int width = image->GetWidth(), height = image->GetHeight();
  m_tilesX = (width + kTileSide - 1) / kTileSide;
  m_tilesY = (height + kTileSide - 1) / kTileSide;
  m_sMax.assign(m_tilesX, 1.0f);
  m_tMax.assign(m_tilesY, 1.0f);
  m_sMax.back() = static_cast<float>(width - (m_tilesX - 1) * kTileSide) / kTileSide;
  m_tMax.back() = static_cast<float>(height - (m_tilesY - 1) * kTileSide) / kTileSide;
  BuildGrid();

  return 0;
}

void Sv_TexturedSurface::SetCorners3D(const float a[3], const float b[3]) {
  std::copy(a, a + 3, m_cornerA);
  std::copy(b, b + 3, m_cornerB);
  BuildGrid();
}

void Sv_TexturedSurface::BuildGrid() {
  const int columns = m_tilesX + 1, rows = m_tilesY + 1;
  m_vertices.assign(static_cast<size_t>(columns) * rows * 3, 0.0f);
  if (!m_image) return;
  // Fraction of the image's width (height) at each tile column (row)
  // boundary; the far edge is the image's.
  const double width = m_image->GetWidth(), height = m_image->GetHeight();
  const bool upright = m_cornerA[2] != m_cornerB[2];
  const float* a = m_cornerA;
  const float* b = m_cornerB;
  for (int r = 0; r < rows; ++r) {
    const double fy = r == m_tilesY ? 1.0 : r * kTileSide / height;
    for (int c = 0; c < columns; ++c) {
      const double fx = c == m_tilesX ? 1.0 : c * kTileSide / width;
      float* v = &m_vertices[(static_cast<size_t>(r) * columns + c) * 3];
      v[0] = static_cast<float>(a[0] + (b[0] - a[0]) * fx);
      if (upright) {
        v[1] = static_cast<float>(a[1] + (b[1] - a[1]) * fx);
        v[2] = static_cast<float>(a[2] + (b[2] - a[2]) * fy);
      } else {
        v[1] = static_cast<float>(a[1] + (b[1] - a[1]) * fy);
        v[2] = a[2];
      }
    }
  }
}

const float* Sv_TexturedSurface::GetVertex(int row, int column) const {
  if (row < 0 || column < 0 || row > m_tilesY || column > m_tilesX || m_vertices.empty()) return kNoVertex;
  return &m_vertices[(static_cast<size_t>(row) * (m_tilesX + 1) + column) * 3];
}

float Sv_TexturedSurface::GetSMax(int column) const {
  return column >= 0 && column < m_tilesX ? m_sMax[column] : 0.0f;
}

float Sv_TexturedSurface::GetTMax(int row) const { return row >= 0 && row < m_tilesY ? m_tMax[row] : 0.0f; }

bool Sv_TexturedSurface::HasLowRes() const {
  return m_image && m_wantLowRes && (m_image->GetWidth() > kLowResSide || m_image->GetHeight() > kLowResSide);
}

const Sv_2DData* Sv_TexturedSurface::GetLowRes() const {
  if (!m_lowResTried && HasLowRes()) {
    // Made at first use: loading an image costs no more than reading it.
    // Without memory for the copy the tiles stand in.
    m_lowResTried = true;
    std::unique_ptr<Sv_2DData> low(new Sv_2DData());
    if (low->Allocate(kLowResSide, kLowResSide, m_image->GetFormat()) == 0 &&
        Sv_AreaAverage(m_image->GetData(), m_image->GetWidth(), m_image->GetHeight(), m_image->GetRowBytes(),
                       m_image->GetChannels(), low->GetData(), kLowResSide, kLowResSide, low->GetRowBytes()) == 0) {
      m_lowRes = std::move(low);
    }
  }
  return m_lowRes.get();
}

float Sv_TexturedSurface::GetFirstSMax() const { return HasLowRes() ? 1.0f : GetSMax(0); }

float Sv_TexturedSurface::GetFirstTMax() const { return HasLowRes() ? 1.0f : GetTMax(0); }

// ------------------------------------------------------------------ textures

void Sv_TexturedSurface::DropTextures() {
  m_staleNames.insert(m_staleNames.end(), m_tileNames.begin(), m_tileNames.end());
  if (m_lowResName) m_staleNames.push_back(m_lowResName);
  m_tileNames.clear();
  m_lowResName = 0;
}

void Sv_TexturedSurface::DeleteStaleNames() {
  if (m_staleNames.empty()) return;
  glDeleteTextures(static_cast<GLsizei>(m_staleNames.size()), m_staleNames.data());
  m_staleNames.clear();
}

void Sv_TexturedSurface::ReleaseTextures() {
  DropTextures();
  DeleteStaleNames();
}

int Sv_TexturedSurface::UploadTiles() {
  DeleteStaleNames();
  m_tileNames.assign(static_cast<size_t>(m_tilesX) * m_tilesY, 0);
  glGenTextures(static_cast<GLsizei>(m_tileNames.size()), m_tileNames.data());
  int result = 0;
  Sv_TextureUploader uploader(*m_image, m_layout);
  for (int r = 0; r < m_tilesY; ++r) {
    for (int c = 0; c < m_tilesX; ++c) {
      glBindTexture(GL_TEXTURE_2D, m_tileNames[static_cast<size_t>(r) * m_tilesX + c]);
      const int x = c * kTileSide, y = r * kTileSide;
      const int w = std::min(kTileSide, m_image->GetWidth() - x), h = std::min(kTileSide, m_image->GetHeight() - y);
      if (uploader.Upload(x, y, w, h, kTileSide, kTileSide, GL_CLAMP_TO_EDGE) != 0) result = -1;
    }
  }
  if (result != 0) Sv_Debug::Message(SV_LEVEL_DEBUG, "Texture tiles not uploaded", "Sv_TexturedSurface::BindTile");
  return result;
}

int Sv_TexturedSurface::BindTile(int row, int column) {
  if (!m_image || row < 0 || column < 0 || row >= m_tilesY || column >= m_tilesX) {
    Unbind();
    return -1;
  }
  if (m_tileNames.empty() && UploadTiles() != 0) {
    ReleaseTextures();
    Unbind();
    return -1;
  }
  glBindTexture(GL_TEXTURE_2D, m_tileNames[static_cast<size_t>(row) * m_tilesX + column]);
  return 0;
}

int Sv_TexturedSurface::BindLowRes() {
  if (!GetLowRes()) return BindTile(0, 0);
  if (!m_lowResName) {
    DeleteStaleNames();
    glGenTextures(1, &m_lowResName);
    glBindTexture(GL_TEXTURE_2D, m_lowResName);
    if (Sv_TextureUploader(*m_lowRes, m_layout)
            .Upload(0, 0, kLowResSide, kLowResSide, kLowResSide, kLowResSide, GL_CLAMP_TO_EDGE) != 0) {
      glDeleteTextures(1, &m_lowResName);
      m_lowResName = 0;
      Unbind();
      return -1;
    }
  }
  glBindTexture(GL_TEXTURE_2D, m_lowResName);
  return 0;
}

void Sv_TexturedSurface::Unbind() { glBindTexture(GL_TEXTURE_2D, 0); }

// ------------------------------------------------------------------- drawing

void Sv_TexturedSurface::DrawQuad(int row0, int column0, int row1, int column1, float s, float t) const {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3fv(GetVertex(row0, column0));
  glTexCoord2f(s, 0.0f);
  glVertex3fv(GetVertex(row0, column1));
  glTexCoord2f(s, t);
  glVertex3fv(GetVertex(row1, column1));
  glTexCoord2f(0.0f, t);
  glVertex3fv(GetVertex(row1, column0));
  glEnd();
}

void Sv_TexturedSurface::DrawTile(int row, int column) {
  if (BindTile(row, column) != 0) return;
  glEnable(GL_TEXTURE_2D);
  DrawQuad(row, column, row + 1, column + 1, m_sMax[column], m_tMax[row]);
  glDisable(GL_TEXTURE_2D);
  Unbind();
}

void Sv_TexturedSurface::DrawTiles() {
  if (BindTile(0, 0) != 0) return;
  glEnable(GL_TEXTURE_2D);
  for (int r = 0; r < m_tilesY; ++r) {
    for (int c = 0; c < m_tilesX; ++c) {
      glBindTexture(GL_TEXTURE_2D, m_tileNames[static_cast<size_t>(r) * m_tilesX + c]);
      DrawQuad(r, c, r + 1, c + 1, m_sMax[c], m_tMax[r]);
    }
  }
  glDisable(GL_TEXTURE_2D);
  Unbind();
}

void Sv_TexturedSurface::Draw() {
  if (!GetLowRes()) {
    DrawTiles();
    return;
  }
  if (BindLowRes() != 0) return;
  glEnable(GL_TEXTURE_2D);
  DrawQuad(0, 0, m_tilesY, m_tilesX, 1.0f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  Unbind();
}
