// Textured terrain model: the visible window, the tile rings, and the whole
// and progressive drawing of tiles and of the low-resolution texture.
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "Sd_StripArrays.h"
#include "Sd_TextureDTM.h"
#include "Sv_ImageIO.h"
#include "Sv_Matrix4.h"
#include "Sv_TexturedSurface.h"

namespace {

// Rows drawn upwards and downwards per progressive step.
constexpr int kRowsPerStep = 10;

// A drawing stride: at least 1, at most a grid's largest side (a larger
// one draws the same and would overflow the row and column counters).
int Stride(int s) { return std::clamp(s, 1, Sd_BaseDTM::kMaxGridSide); }

// The columns a row visits: from first in steps of stride while below
// limit, a column within one stride of last (other than column 0) taken at
// last; each column once.
void RowColumns(int first, int limit, int last, int stride, std::vector<int>* columns) {
  columns->clear();
  for (int c = first; c < limit; c += stride) {
    const int k = (c != 0 && last - c < stride) ? last : c;
    if (columns->empty() || columns->back() != k) columns->push_back(k);
  }
}

}  // namespace

void Sd_TextureDTM::DrawTexturedStrip(const float* x, const float* s, const unsigned short* h0,
                                      const unsigned short* h1, float y0, float y1, float t0, float t1) {
  const size_t columns = m_rowColumns.size();
  if (columns < 2) return;
  const unsigned parts = Sd_StripArrays::kTexCoords;
  m_strip.Reserve(columns * 2, parts);
  float* v = m_strip.Vertices();
  float* tex = m_strip.TexCoords();
  const unsigned short empty = GetEmptyCode();
  m_texPieces.clear();
  size_t n = 0, first = 0;
  auto endPiece = [&]() {
    if (n - first >= 4) {
      m_texPieces.push_back(static_cast<int>(first));
      m_texPieces.push_back(static_cast<int>(n - first));
    }
    first = n;
  };
  auto put = [&](float xk, float y, unsigned short h, float sk, float t) {
    v[3 * n] = xk;
    v[3 * n + 1] = y;
    v[3 * n + 2] = h;
    tex[2 * n] = sk;
    tex[2 * n + 1] = t;
    ++n;
  };
  for (int k : m_rowColumns) {
    if (h0[k] == empty || h1[k] == empty) {
      endPiece();
      continue;
    }
    const float xk = x ? x[k] : static_cast<float>(k);
    put(xk, y0, h0[k], s[k], t0);
    put(xk, y1, h1[k], s[k], t1);
  }
  endPiece();
  if (m_texPieces.empty()) return;
  m_strip.Point(parts);
  for (size_t k = 0; k + 1 < m_texPieces.size(); k += 2) {
    glDrawArrays(GL_TRIANGLE_STRIP, m_texPieces[k], m_texPieces[k + 1]);
  }
}

int Sd_TextureDTM::Optimize() { return Optimize(FrameState().CurrentView()); }

int Sd_TextureDTM::Optimize(const Sd_DTMView& view) {
  if (!m_texture || m_tileMeshes.empty() || !HasDrawableGrids()) return 0;
  // The window and the stride of the terrain base.
  if (!Sd_BaseDTM::Optimize(view)) return 0;
  const int rows = GetRows(), cols = GetCols();
  float pm[16], inverse[16];
  MultMatrix4(pm, view.projection, view.modelview);
  InvertMatrix4(inverse, pm);
  const float box[6] = {0.0f, static_cast<float>(cols - 1), 0.0f, static_cast<float>(rows - 1), 0.0f,
                        static_cast<float>(CodeDivisor())};
  float visible[6];
  if (!ComputeVisibleBox(pm, inverse, box, visible)) return 0;
  for (int i = 0; i < 6; ++i) {
    if (!std::isfinite(visible[i])) visible[i] = box[i];
  }
  std::copy(visible, visible + 4, m_walk.viewExtent);
  GetViewCentre(view.projection, inverse, &m_walk.viewCentre[0], &m_walk.viewCentre[1]);

  // Texture detail: 2 small on screen, 1 full resolution needed, 0 not.
  m_textureDetail = 0;
  const float factor = GetDetailBudget();
  if (m_textureMode == 2 && factor != 0.0f) {
    const int width = m_image->GetWidth(), height = m_image->GetHeight();
    if (width < 256 && height < 256) {
      m_textureDetail = 1;
    } else {
      const long long imageCols = static_cast<long long>(m_colEnd - m_colStart) * width / cols;
      const long long imageRows = static_cast<long long>(m_rowEnd - m_rowStart) * height / rows;
      unsigned flags = GetDetailFlags();
      m_textureDetail = NeedsReduction(EstimateScreenSize(pm, visible), static_cast<int>(std::min<long long>(imageCols, INT_MAX)),
                                       static_cast<int>(std::min<long long>(imageRows, INT_MAX)), view.viewport[2],
                                       view.viewport[3], factor, &flags);
      SetDetailFlags(flags);
    }
  }

  // The tile under the view centre: the first whose far edge lies beyond it.
  auto centreTile = [](float centre, int nodes, int tiles, auto farEdge) {
    if (!(centre > 0.0f)) return 0;
    if (centre >= nodes) return tiles - 1;
    for (int k = 0; k < tiles; ++k) {
      if (farEdge(k) > centre) return k;
    }
    return tiles - 1;
  };
  m_walk.centreCol = centreTile(m_walk.viewCentre[1], cols, m_tileCols,
                                [this](int j) { return GetTileMesh(0, j)->x.back(); });
  m_walk.centreRow = centreTile(m_walk.viewCentre[0], rows, m_tileRows,
                                [this](int i) { return GetTileMesh(i, 0)->y.back(); });
  m_walk.lastRing = std::max({m_tileCols - m_walk.centreCol, m_walk.centreCol, m_tileRows - m_walk.centreRow,
                              m_walk.centreRow});
  m_walk.ring = m_walk.side = m_walk.steps = 0;
  return 1;
}

int Sd_TextureDTM::NextVisibleTile() {
  TileWalk& w = m_walk;
  if (m_tileMeshes.empty()) return 1;
  for (;;) {
    if (w.ring == 0 && w.side == 0) {
      w.tileCol = w.centreCol;
      w.tileRow = w.centreRow;
      w.side = -1;
    } else {
      if (w.side < 0) {
        // On to the next ring, from its lower-left corner.
        --w.tileCol;
        --w.tileRow;
        w.side = 3;
        ++w.ring;
        w.steps = 2 * w.ring;
        if (w.ring > w.lastRing) return 1;
      }
      switch (w.side) {
        case 0: --w.tileRow; break;
        case 1: --w.tileCol; break;
        case 2: ++w.tileRow; break;
        default: ++w.tileCol; break;
      }
      if (--w.steps == 0) {
        --w.side;
        w.steps = 2 * w.ring;
      }
    }
    const TextureTileMesh* mesh = GetTileMesh(w.tileRow, w.tileCol);
    if (!mesh || mesh->cols < 1 || mesh->rows < 1) continue;
    const float* v = w.viewExtent;
    if (mesh->x.front() > v[1] || mesh->x.back() < v[0] || mesh->y.front() > v[3] || mesh->y.back() < v[2]) continue;

    // The tile's own window: one position beyond the visible range each way.
    int colStart = 0, colEnd = mesh->cols - 1, rowStart = 0, rowEnd = mesh->rows - 1;
    while (colStart < mesh->cols - 1 && mesh->x[colStart + 1] < v[0]) ++colStart;
    while (colEnd > 0 && mesh->x[colEnd - 1] > v[1]) --colEnd;
    while (rowStart < mesh->rows - 1 && mesh->y[rowStart + 1] < v[2]) ++rowStart;
    while (rowEnd > 0 && mesh->y[rowEnd - 1] > v[3]) --rowEnd;
    const float centre = w.viewCentre[0];
    int up = rowStart;
    if (centre >= mesh->y[rowEnd]) {
      up = rowEnd;
    } else if (centre > mesh->y[rowStart]) {
      while (up + 1 <= rowEnd && mesh->y[up + 1] <= centre) ++up;
    }
    AlignRangeToStep(&colStart, &colEnd, m_lodStep, mesh->cols - 1);
    AlignRangeToStep(&rowStart, &rowEnd, m_lodStep, mesh->rows - 1);
    // The progressive rows keep to the rows of the window's stride, so
    // that a pass draws the rows a whole drawing draws.
    const int step = Stride(m_stepIncrement);
    up = std::clamp(up, rowStart, rowEnd);
    up = rowStart + (up - rowStart) / step * step;
    w.window[0] = colStart;
    w.window[1] = colEnd;
    w.window[2] = rowStart;
    w.window[3] = rowEnd;
    m_upRow = up;
    m_downRow = up - step;
    return 0;
  }
}

bool Sd_TextureDTM::DrawsTiles() const {
  return m_textureMode == 1 || m_textureMode == 3 || (m_textureMode == 2 && m_textureDetail == 1);
}

void Sd_TextureDTM::BeginDrawMode() const {
  if (m_drawMode == 0) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
}

void Sd_TextureDTM::EndDrawMode() { glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); }

void Sd_TextureDTM::DrawTileRow(int stride, int r) {
  const TextureTileMesh* mesh = GetTileMesh(m_walk.tileRow, m_walk.tileCol);
  if (!mesh || r < 0 || r >= mesh->rows - 1) return;
  stride = Stride(stride);
  const int r2 = std::min(r + stride, mesh->rows - 1);
  RowColumns(m_walk.window[0], m_walk.window[1] + stride, m_walk.window[1], stride, &m_rowColumns);
  DrawTexturedStrip(mesh->x.data(), mesh->s.data(), mesh->HeightRow(r), mesh->HeightRow(r2), mesh->y[r],
                    mesh->y[r2], mesh->t[r], mesh->t[r2]);
}

void Sd_TextureDTM::DrawTile(int stride) {
  if (m_texture->BindTile(m_walk.tileRow, m_walk.tileCol) != 0) return;
  stride = Stride(stride);
  Sd_StripArrays::ClientState arrays(Sd_StripArrays::kTexCoords);
  glEnable(GL_TEXTURE_2D);
  for (int r = m_walk.window[2]; r <= m_walk.window[3]; r += stride) DrawTileRow(stride, r);
  glDisable(GL_TEXTURE_2D);
  m_texture->Unbind();
}

void Sd_TextureDTM::DrawLowRes(int stride) {
  if (m_texture->BindLowRes() != 0) return;
  stride = Stride(stride);
  const int rows = GetRows();
  const int last = GetCols() - 1;
  RowColumns(m_colStart, m_colEnd, last, stride, &m_rowColumns);
  Sd_StripArrays::ClientState arrays(Sd_StripArrays::kTexCoords);
  glEnable(GL_TEXTURE_2D);
  unsigned short* const* heights = ElevationRows();
  for (int r = m_rowStart; r < m_rowEnd && r < rows - 1; r += stride) {
    const int r2 = std::min(r + stride, rows - 1);
    DrawTexturedStrip(nullptr, m_sCoords.data(), heights[r], heights[r2], static_cast<float>(r),
                      static_cast<float>(r2), m_tCoords[r], m_tCoords[r2]);
  }
  glDisable(GL_TEXTURE_2D);
  m_texture->Unbind();
}

void Sd_TextureDTM::Render() {
  if (!m_texture) return;
  if (!m_showTexture) {
    Sd_SonarDTM::Render();
    return;
  }
  // A progressive pass may be under way: its window and walk stay as they are.
  const TileWalk walk = m_walk;
  const WindowFields window = KeepWindow();
  glPushMatrix();
  EnterGridSpace(true);
  if (Optimize()) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    BeginDrawMode();
    if (DrawsTiles()) {
      while (NextVisibleTile() == 0) DrawTile(m_lodStep);
    } else {
      DrawLowRes(m_lodStep);
    }
    EndDrawMode();
  }
  m_walk = walk;
  RestoreWindow(window);
  glPopMatrix();
  EndBlending();
}

int Sd_TextureDTM::EndPass(int drawn) {
  CloseStepPass();
  glDisable(GL_TEXTURE_2D);
  EndDrawMode();
  if (m_texture) m_texture->Unbind();
  m_stepState = 0;
  SetRedrawPending(0);
  SetDrawn(drawn);
  return drawn;
}

int Sd_TextureDTM::StepRender() {
  // Released during a pass: the pass ends with what it pushed.
  if (!m_texture) return EndPass(1);
  if (!m_showTexture) return Sd_SonarDTM::StepRender();
  if (GetRedrawPending()) return EndPass(0);
  if (!GetBestPass()) {
    // Coarse passes draw whole, at half the stride.
    EndPass(1);
    const int step = m_lodStep;
    m_lodStep = std::max(step / 2, 1);
    Render();
    m_lodStep = step;
    return 1;
  }

  if (m_stepState == 0) {
    SetDrawn(0);
    glPushMatrix();
    ++m_pushCount;
    EnterGridSpace(true);
    m_stepState = 2;
    if (Optimize()) {
      glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
      m_stepIncrement = Stride(m_minStep);
      if (m_textureDetail == 2) {
        BeginDrawMode();
        DrawLowRes(m_stepIncrement);
        EndDrawMode();
      } else if (NextVisibleTile() == 0) {
        m_stepState = 1;
      }
    }
    return 0;
  }

  if (m_stepState == 1) {
    // The grids or the texture may have gone since the pass began.
    if (!HasDrawableGrids() || m_tileMeshes.empty() ||
        m_texture->BindTile(m_walk.tileRow, m_walk.tileCol) != 0) {
      m_stepState = 2;
      return 0;
    }
    const int s = m_stepIncrement;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    Sd_StripArrays::ClientState arrays(Sd_StripArrays::kTexCoords);
    glEnable(GL_TEXTURE_2D);
    BeginDrawMode();
    for (int k = 0; k < kRowsPerStep && m_upRow <= m_walk.window[3]; ++k, m_upRow += s) DrawTileRow(s, m_upRow);
    for (int k = 0; k < kRowsPerStep && m_downRow >= m_walk.window[2]; ++k, m_downRow -= s) DrawTileRow(s, m_downRow);
    EndDrawMode();
    glDisable(GL_TEXTURE_2D);
    m_texture->Unbind();
    if (m_upRow > m_walk.window[3] && m_downRow < m_walk.window[2] && NextVisibleTile() != 0) m_stepState = 2;
    return 0;
  }

  // State 2: the pass is finished.
  glFlush();
  return EndPass(1);
}
