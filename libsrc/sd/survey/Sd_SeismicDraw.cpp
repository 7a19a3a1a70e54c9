// Seismic curtain: windowing, drawing (whole and progressive) and picking.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "Sd_Seismic.h"
#include "Sv_ImageIO.h"
#include "Sv_Matrix4.h"
#include "Sv_TexturedSurface.h"

void Sd_Seismic::ApplyCurtainSpace() {
  ApplyTransform();
  DrawBoundingBox();
  // Relative track point p lands at (p + origin + centre) / range: the unit
  // box around 0.
  glScaled(m_inverse[0], m_inverse[1], m_inverse[2]);
  glTranslated(m_centre[0] + m_origin[0], m_centre[1] + m_origin[1], m_centre[2]);
  if (m_alphaTest) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.01f);
  }
  glEnable(GL_DEPTH_TEST);
}

int Sd_Seismic::Optimize() { return Optimize(FrameState().CurrentView()); }

int Sd_Seismic::Optimize(const Sd_DTMView& view) {
  if (m_tree.empty()) return 0;
  float pm[16], inverse[16];
  MultMatrix4(pm, view.projection, view.modelview);
  InvertMatrix4(inverse, pm);
  const float* b = m_bounds;
  const float box[6] = {static_cast<float>(b[0] - m_origin[0]), static_cast<float>(b[1] - m_origin[0]),
                        static_cast<float>(b[2] - m_origin[1]), static_cast<float>(b[3] - m_origin[1]),
                        b[4], b[5]};
  float visible[6];
  if (!ComputeVisibleBox(pm, inverse, box, visible)) return 0;
  for (int i = 0; i < 6; ++i) {
    if (!std::isfinite(visible[i])) visible[i] = box[i];
  }
  SetVisibleBox(visible);
  if (!UpdateVisibleRange()) return 0;

  const float factor = GetDetailBudget();
  const float size = EstimateScreenSize(pm, visible);
  unsigned flags = GetDetailFlags();
  m_textureDetail = 0;
  if (m_textureMode == 2 && factor != 0.0f) {
    const int width = m_image ? m_image->GetWidth() : 0;
    const int height = m_image ? m_image->GetHeight() : 0;
    if (width < 256 && height < 256) {
      m_textureDetail = 1;
    } else {
      const double zRange = m_zTop - m_zBottom;
      const int rows = zRange > 0.0 ? static_cast<int>(height * (visible[5] - visible[4]) / zRange) : height;
      m_textureDetail = NeedsReduction(size, m_last - m_first, std::max(rows, 1), view.viewport[2],
                                       view.viewport[3], factor, &flags);
    }
  }
  if (m_autoLod && factor != 0.0f) {
    ChooseDetailLevel(&m_lodStep, &m_minStep, size, m_last - m_first, view.viewport[2], view.viewport[3], factor,
                      &flags, 1);
  } else {
    m_minStep = 1;
  }
  SetDetailFlags(flags);
  if (m_lodStep < 1) m_lodStep = 1;
  if (m_minStep < 1) m_minStep = 1;
  AlignRangeToStep(&m_first, &m_last, m_lodStep, m_trackCount);
  return 1;
}

void Sd_Seismic::DrawStrip(int base, int from, int to, int stride, float sScale, double z0, double z1,
                           float t) const {
  if (stride < 1) stride = 1;
  glBegin(GL_QUAD_STRIP);
  for (int k = from; k <= to;) {
    const double* p = &m_track[2 * static_cast<size_t>(base + k)];
    const float s = k * sScale;
    glTexCoord2f(s, 0.0f);
    glVertex3d(p[0], p[1], z0);
    glTexCoord2f(s, t);
    glVertex3d(p[0], p[1], z1);
    if (k == to) break;
    // The last point of the range is always drawn.
    k += std::min(stride, to - k);
  }
  glEnd();
}

void Sd_Seismic::DrawTileSpan(int row, int column, int stride, int from, int to) {
  if (row < 0 || row >= m_tileRows || column < 0 || column >= m_tileCols) return;
  const int b0 = m_colBounds[column];
  const int n = m_colBounds[column + 1] - b0;
  // An empty span scales by 1 (its one point sits at s = 0).
  const float sScale = m_sMax[column] / static_cast<float>(n > 0 ? n : 1);
  DrawStrip(b0, std::max(from, 0), std::min(to, n), stride, sScale, m_rowZ[row], m_rowZ[row + 1], m_tMax[row]);
}

void Sd_Seismic::DrawTileRange(int row, int column, int stride, int from, int to) {
  if (!m_texture || row < 0 || row >= m_tileRows || column < 0 || column >= m_tileCols) return;
  const int b0 = m_colBounds[column], b1 = m_colBounds[column + 1];
  if (b1 < m_first || b0 > m_last) return;
  from = std::max(from, m_first - b0);
  to = std::min(to, m_last - b0);
  if (from > to) return;
  m_texture->BindTile(row, column);
  glEnable(GL_TEXTURE_2D);
  DrawTileSpan(row, column, stride, from, to);
  glDisable(GL_TEXTURE_2D);
  m_texture->Unbind();
}

void Sd_Seismic::DrawTile(int row, int column, int stride) {
  if (column < 0 || column >= m_tileCols) return;
  DrawTileRange(row, column, stride, 0, m_colBounds[column + 1] - m_colBounds[column]);
}

void Sd_Seismic::DrawLowRes(int stride) {
  if (!m_texture || m_trackCount < 1 || m_first < 0) return;
  const int last = std::min(m_last, m_trackCount) - 1;
  const float sScale = m_lowS / static_cast<float>(m_trackCount > 1 ? m_trackCount - 1 : 1);
  m_texture->BindLowRes();
  glEnable(GL_TEXTURE_2D);
  DrawStrip(0, m_first, last, stride, sScale, m_zBottom, m_zTop, m_lowT);
  glDisable(GL_TEXTURE_2D);
  m_texture->Unbind();
}

void Sd_Seismic::Render() {
  if (!m_texture || m_tree.empty()) return;
  glPushMatrix();
  ApplyCurtainSpace();
  if (Optimize()) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (m_textureMode == 1 || (m_textureMode == 2 && m_textureDetail == 1)) {
      for (int r = 0; r < m_tileRows; ++r) {
        for (int c = 0; c < m_tileCols; ++c) DrawTile(r, c, m_lodStep);
      }
    } else {
      DrawLowRes(m_lodStep);
    }
  }
  if (m_alphaTest) glDisable(GL_ALPHA_TEST);
  glPopMatrix();
  glDisable(GL_BLEND);
}

void Sd_Seismic::ClosePass() {
  if (m_pushCount > 0) glPopMatrix();
  m_pushCount = 0;
  if (m_alphaTest) glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  if (m_texture) m_texture->Unbind();
  m_stepState = 0;
}

int Sd_Seismic::StepRender() {
  if (GetRedrawPending()) {
    ClosePass();
    Sd_Node::DisableBlending();
    SetRedrawPending(0);
    SetDrawn(0);
    return 0;
  }
  if (!m_texture || m_tree.empty()) {
    SetDrawn(1);
    return 1;
  }
  // Coarse passes, and the mode that never refines, draw the low-resolution
  // curtain whole at full stride.
  if (!GetBestPass() || m_textureMode == 3) {
    const int mode = m_textureMode, step = m_lodStep, autoLod = m_autoLod;
    m_textureMode = 0;
    m_lodStep = 1;
    m_autoLod = 0;
    Render();
    m_textureMode = mode;
    m_lodStep = step;
    m_autoLod = autoLod;
    m_stepState = 0;
    SetDrawn(1);
    return 1;
  }
  SetDrawn(0);
  if (m_stepState == 0) {
    glPushMatrix();
    ++m_pushCount;
    m_tileRow = m_tileColumn = 0;
    m_columnCursor = 0;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    ApplyCurtainSpace();
    if (!Optimize()) {
      m_stepState = 2;
    } else if (m_textureDetail == 2) {
      DrawLowRes(std::max(m_minStep, 1));
      m_stepState = 2;
    } else {
      m_stepIncrement = std::max(m_minStep, 1);
      m_texture->BindTile(0, 0);
      m_stepState = 1;
    }
    return 0;
  }
  if (m_stepState == 1) {
    if (m_tileColumn < m_tileCols) {
      glEnable(GL_TEXTURE_2D);
      const int n = m_colBounds[m_tileColumn + 1] - m_colBounds[m_tileColumn];
      // At most kPointsPerStep points; consecutive shares meet at a point.
      const int to = std::min(m_columnCursor + kPointsPerStep - 1, n);
      DrawTileSpan(m_tileRow, m_tileColumn, m_stepIncrement, m_columnCursor, to);
      glDisable(GL_TEXTURE_2D);
      m_columnCursor = to;
      if (m_columnCursor >= n) {
        if (++m_tileRow >= m_tileRows) {
          m_tileRow = 0;
          ++m_tileColumn;
        }
        m_columnCursor = 0;
        if (m_tileColumn < m_tileCols) m_texture->BindTile(m_tileRow, m_tileColumn);
      }
    }
    if (m_tileColumn >= m_tileCols) m_stepState = 2;
    return 0;
  }
  // State 2: the pass is finished.
  ClosePass();
  glFlush();
  SetDrawn(1);
  return 1;
}

int Sd_Seismic::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!out || !m_texture || m_trackCount < 1) return 0;
  float p[3];
  glPushMatrix();
  ApplyTransform();
  const bool picked = PickInFrame(request, p);
  glPopMatrix();
  if (!picked) return 0;
  for (int a = 0; a < 3; ++a) {
    if (!(p[a] >= -0.5f && p[a] <= 0.5f)) return 0;
  }
  const float* b = m_bounds;
  out->x = (p[0] + 0.5) * (static_cast<double>(b[1]) - b[0]) + b[0];
  out->y = (p[1] + 0.5) * (static_cast<double>(b[3]) - b[2]) + b[2];
  out->z = (p[2] + 0.5) * (static_cast<double>(b[5]) - b[4]) + b[4];
  out->colour = 0xFFFFFFFFu;
  out->node = this;
  out->found = 1;
  return 1;
}
