// Uniform terrain model: whole and progressive drawing.
#include <GL/gl.h>

#include <algorithm>

#include "Sd_BasicDTM.h"

// Colours go to OpenGL as the bytes R, G, B, A of the packed word.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed colours are handed to OpenGL as bytes");

namespace {

// Strips drawn upwards and downwards per progressive step.
constexpr int kStripsPerStep = 5;

}  // namespace

void Sd_BasicDTM::EnterGridSpace(bool boundingBox) {
  ApplyTransform();
  if (boundingBox) DrawBoundingBox();
  const float sx = m_cols > 1 ? 1.0f / static_cast<float>(m_cols - 1) : 1.0f;
  const float sy = m_rows > 1 ? 1.0f / static_cast<float>(m_rows - 1) : 1.0f;
  // A maximum code of 0 (a grid of no-value nodes) is drawn as if it were 1.
  const float sz = 1.0f / static_cast<float>(m_maxCode > 0 ? m_maxCode : 1);
  glTranslatef(-0.5f, -0.5f, -0.5f);
  glScalef(sx, sy, sz);
}

void Sd_BasicDTM::BeginBlending() {
  if (m_alpha == 255) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Sd_BasicDTM::EndBlending() {
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_BLEND);
}

void Sd_BasicDTM::DrawStrip(int r, int r2, int s) {
  if (m_drawMode == 1) {
    DrawSolidStrip(r, r2, s);
  } else if (m_drawMode == 0) {
    DrawWireStrip(r, r2, s);
  }
}

// Columns of a strip: the window's columns at the stride, then the window's
// last column, so the surface always reaches the window's edge.
void Sd_BasicDTM::DrawSolidStrip(int r, int r2, int s) {
  const int last = m_colEnd - 1;
  if (last <= m_colStart || r2 <= r || r2 >= m_rows) return;
  const size_t most = static_cast<size_t>((last - m_colStart) / s + 2) * 2;
  if (m_stripVertices.size() < most * 3) m_stripVertices.resize(most * 3);
  if (m_stripColours.size() < most) m_stripColours.resize(most);
  float* v = m_stripVertices.data();
  unsigned int* col = m_stripColours.data();
  const unsigned short* h0 = m_elevation[r];
  const unsigned short* h1 = m_elevation[r2];
  const unsigned int* c0 = m_colors[r];
  const unsigned int* c1 = m_colors[r2];
  const float y0 = static_cast<float>(r);
  const float y1 = static_cast<float>(r2);
  size_t n = 0;
  auto emit = [&](int c) {
    const float x = static_cast<float>(c);
    col[n] = c0[c];
    v[3 * n] = x;
    v[3 * n + 1] = y0;
    v[3 * n + 2] = h0[c];
    ++n;
    col[n] = c1[c];
    v[3 * n] = x;
    v[3 * n + 1] = y1;
    v[3 * n + 2] = h1[c];
    ++n;
  };
  int c = m_colStart;
  for (; c < last; c += s) emit(c);
  emit(last);
  glVertexPointer(3, GL_FLOAT, 0, v);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, col);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(n));
}

void Sd_BasicDTM::DrawWireStrip(int r, int r2, int s) {
  const int last = m_colEnd - 1;
  if (last < m_colStart || r2 <= r || r2 >= m_rows) return;
  const unsigned short* h0 = m_elevation[r];
  const unsigned short* h1 = m_elevation[r2];
  const unsigned int* c0 = m_colors[r];
  const unsigned int* c1 = m_colors[r2];
  const float y0 = static_cast<float>(r);
  const float y1 = static_cast<float>(r2);
  auto vertex = [](const unsigned int* colours, const unsigned short* heights, int c, float y) {
    glColor4ubv(reinterpret_cast<const GLubyte*>(&colours[c]));
    glVertex3f(static_cast<float>(c), y, heights[c]);
  };
  glBegin(GL_LINE_STRIP);
  for (int c = m_colStart; c < last; c += s) vertex(c0, h0, c, y0);
  vertex(c0, h0, last, y0);
  glEnd();
  glBegin(GL_LINES);
  for (int c = m_colStart; c < last; c += s) {
    vertex(c0, h0, c, y0);
    vertex(c1, h1, c, y1);
  }
  vertex(c0, h0, last, y0);
  vertex(c1, h1, last, y1);
  glEnd();
}

void Sd_BasicDTM::Render() {
  const int window[6] = {m_colStart, m_colEnd, m_rowStart, m_rowEnd, m_upRow, m_downRow};
  glPushMatrix();
  EnterGridSpace(true);
  if (HasDrawableGrids() && Optimize()) {
    BeginBlending();
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    const int s = m_lodStep;
    const int lastRow = m_rowEnd - 1;
    // Strips of the stride, then one up to the window's last row.
    for (int r = m_rowStart; r < lastRow; r += s) DrawStrip(r, std::min(r + s, lastRow), s);
    glPopClientAttrib();
  }
  m_colStart = window[0];
  m_colEnd = window[1];
  m_rowStart = window[2];
  m_rowEnd = window[3];
  m_upRow = window[4];
  m_downRow = window[5];
  glPopMatrix();
  EndBlending();
}

void Sd_BasicDTM::CloseStepPass() {
  for (; m_pushCount > 0; --m_pushCount) glPopMatrix();
  EndBlending();
  m_pushCount = 0;
}

int Sd_BasicDTM::StepRender() {
  if (GetRedrawPending()) {
    CloseStepPass();
    SetDrawn(0);
    m_stepState = 0;
    SetRedrawPending(0);
    return 0;
  }

  if (m_stepState == 0) {
    SetDrawn(0);
    glPushMatrix();
    ++m_pushCount;
    EnterGridSpace(true);
    if (HasDrawableGrids() && Optimize()) {
      BeginBlending();
      m_stepIncrement = GetBestPass() ? m_minStep : m_lodStep / 2;
      if (m_stepIncrement < 1) m_stepIncrement = 1;
      m_stepState = 1;
      m_downRow -= m_stepIncrement;
    } else {
      m_stepState = 2;
    }
    return GetDrawn();
  }

  if (m_stepState == 1) {
    // The grids may have been released since the pass began.
    if (HasDrawableGrids()) {
      const int s = m_stepIncrement;
      const int lastRow = m_rowEnd - 1;
      glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
      glEnableClientState(GL_VERTEX_ARRAY);
      glEnableClientState(GL_COLOR_ARRAY);
      // Upwards from the centre row; the last strip ends at the window's
      // last row.
      for (int k = 0; k < kStripsPerStep && m_upRow < lastRow; ++k) {
        DrawStrip(m_upRow, std::min(m_upRow + s, lastRow), s);
        m_upRow += s;
      }
      // Downwards; the last strip begins at the window's first row.
      for (int k = 0; k < kStripsPerStep && m_downRow + s > m_rowStart; ++k) {
        const int r = std::max(m_downRow, m_rowStart);
        DrawStrip(r, m_downRow + s, s);
        m_downRow -= s;
      }
      glPopClientAttrib();
    }
    if (!HasDrawableGrids() || (m_upRow >= m_rowEnd - 1 && m_downRow + m_stepIncrement <= m_rowStart)) {
      m_stepState = 2;
    }
    return GetDrawn();
  }

  // State 2: the pass is finished.
  CloseStepPass();
  SetDrawn(1);
  m_stepState = 0;
  return GetDrawn();
}
