// Non-contiguous terrain model: strips that break at empty nodes, whole and
// progressive drawing.
#include <GL/gl.h>

#include <algorithm>

#include "Sd_SonarDTM.h"

// Colours go to OpenGL as the bytes R, G, B, A of the packed word.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed colours are handed to OpenGL as bytes");

namespace {

// Strips drawn upwards and downwards per progressive step.
constexpr int kStripsPerStep = 5;

}  // namespace

void Sd_SonarDTM::EnterGridSpace(bool boundingBox) {
  ApplyTransform();
  if (boundingBox) DrawBoundingBox();
  const float sx = m_cols > 1 ? 1.0f / static_cast<float>(m_cols - 1) : 1.0f;
  const float sy = m_rows > 1 ? 1.0f / static_cast<float>(m_rows - 1) : 1.0f;
  // A maximum code of 0 is drawn as if it were 1.
  const float sz = 1.0f / static_cast<float>(m_maxCode > 0 ? m_maxCode : 1);
  glTranslatef(-0.5f, -0.5f, -0.5f);
  glScalef(sx, sy, sz);
}

void Sd_SonarDTM::BeginBlending() {
  if (m_alpha == 255) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Sd_SonarDTM::EndBlending() {
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_BLEND);
}

void Sd_SonarDTM::StripColumns(int s) {
  m_stripColumns.clear();
  const int last = m_colEnd - 1;
  for (int c = m_colStart; c < last; c += s) m_stripColumns.push_back(c);
  if (last >= m_colStart) m_stripColumns.push_back(last);
}

void Sd_SonarDTM::DrawStrip(int r, int r2, int rPrev, int s) {
  if (r2 <= r || r < 0 || r2 >= m_rows || m_colEnd > m_cols || m_colStart < 0) return;
  if (rPrev >= r) rPrev = -1;
  if (m_drawMode == 1) {
    DrawSolidStrip(r, r2, rPrev, s);
  } else if (m_drawMode == 0) {
    DrawWireStrip(r, r2, rPrev, s);
  }
}

// The surface between rows r and r2 as pieces of triangle strips (the quads
// of each piece) over the strip's columns. A piece begins at a node of row r
// that holds a height and ends at the next empty one of that row, with a
// closing pair of vertices there whose heights and colours are taken from
// the node below (row rPrev) and above (row r2) when those hold heights, else
// from the vertex before; a node of row r2 that is empty takes the height and
// colour of its partner on row r.
void Sd_SonarDTM::DrawSolidStrip(int r, int r2, int rPrev, int s) {
  StripColumns(s);
  const size_t columns = m_stripColumns.size();
  if (columns < 2) return;
  if (m_stripVertices.size() < columns * 6) m_stripVertices.resize(columns * 6);
  if (m_stripColours.size() < columns * 2) m_stripColours.resize(columns * 2);
  m_stripPieces.clear();
  float* v = m_stripVertices.data();
  unsigned int* col = m_stripColours.data();
  const unsigned short e = m_emptyCode;
  const unsigned short* h0 = m_elevation[r];
  const unsigned short* h1 = m_elevation[r2];
  const unsigned short* hp = rPrev >= 0 ? m_elevation[rPrev] : nullptr;
  const unsigned int* c0 = m_colors[r];
  const unsigned int* c1 = m_colors[r2];
  const unsigned int* cp = rPrev >= 0 ? m_colors[rPrev] : nullptr;
  const float y0 = static_cast<float>(r);
  const float y1 = static_cast<float>(r2);

  size_t n = 0;
  size_t first = 0;
  bool open = false;
  unsigned short lastHeight = 0;
  unsigned int lastColour = 0;
  auto emit = [&](int c, float y, unsigned short h, unsigned int colour) {
    v[3 * n] = static_cast<float>(c);
    v[3 * n + 1] = y;
    v[3 * n + 2] = h;
    col[n] = colour;
    ++n;
    lastHeight = h;
    lastColour = colour;
  };
  auto close = [&]() {
    if (n - first >= 4) {
      m_stripPieces.push_back(static_cast<int>(first));
      m_stripPieces.push_back(static_cast<int>(n - first));
    }
    first = n;
    open = false;
  };
  for (size_t i = 0; i < columns; ++i) {
    const int c = m_stripColumns[i];
    if (h0[c] != e) {
      if (!open) {
        first = n;
        open = true;
      }
      emit(c, y0, h0[c], c0[c]);
      if (h1[c] != e) {
        emit(c, y1, h1[c], c1[c]);
      } else {
        emit(c, y1, h0[c], c0[c]);
      }
    } else if (open) {
      if (hp && hp[c] != e) {
        emit(c, y0, hp[c], cp[c]);
      } else {
        emit(c, y0, lastHeight, lastColour);
      }
      if (h1[c] != e) {
        emit(c, y1, h1[c], c1[c]);
      } else {
        emit(c, y1, lastHeight, lastColour);
      }
      close();
    }
  }
  if (open) close();
  if (m_stripPieces.empty()) return;
  glVertexPointer(3, GL_FLOAT, 0, v);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, col);
  for (size_t k = 0; k + 1 < m_stripPieces.size(); k += 2) {
    glDrawArrays(GL_TRIANGLE_STRIP, m_stripPieces[k], m_stripPieces[k + 1]);
  }
}

// The mesh of row r: line strips along the row that end at empty nodes (an
// empty node with a height on row rPrev is drawn at that height; one closing
// vertex repeats the last height), then lines from row r to row r2 at every
// column, from the first node after a gap on.
void Sd_SonarDTM::DrawWireStrip(int r, int r2, int rPrev, int s) {
  StripColumns(s);
  if (m_stripColumns.empty()) return;
  const unsigned short e = m_emptyCode;
  const unsigned short* h0 = m_elevation[r];
  const unsigned short* h1 = m_elevation[r2];
  const unsigned short* hp = rPrev >= 0 ? m_elevation[rPrev] : nullptr;
  const unsigned int* c0 = m_colors[r];
  const unsigned int* c1 = m_colors[r2];
  const unsigned int* cp = rPrev >= 0 ? m_colors[rPrev] : nullptr;
  const float y0 = static_cast<float>(r);
  const float y1 = static_cast<float>(r2);
  unsigned short lastHeight = 0;
  unsigned int lastColour = 0;
  auto vertex = [&](int c, float y, unsigned short h, unsigned int colour) {
    glColor4ubv(reinterpret_cast<const GLubyte*>(&colour));
    glVertex3f(static_cast<float>(c), y, h);
    lastHeight = h;
    lastColour = colour;
  };

  // Along the row.
  bool open = false;
  for (int c : m_stripColumns) {
    if (h0[c] != e) {
      if (!open) glBegin(GL_LINE_STRIP);
      open = true;
      vertex(c, y0, h0[c], c0[c]);
    } else if (hp && hp[c] != e) {
      if (!open) glBegin(GL_LINE_STRIP);
      open = true;
      vertex(c, y0, hp[c], cp[c]);
    } else if (open) {
      vertex(c, y0, lastHeight, lastColour);
      glEnd();
      open = false;
    }
  }
  if (open) glEnd();

  // Towards row r2.
  open = false;
  glBegin(GL_LINES);
  for (int c : m_stripColumns) {
    if (h0[c] != e) {
      open = true;
      vertex(c, y0, h0[c], c0[c]);
      if (h1[c] != e) {
        vertex(c, y1, h1[c], c1[c]);
      } else {
        vertex(c, y1, h0[c], c0[c]);
      }
    } else if (open) {
      if (hp && hp[c] != e) {
        vertex(c, y0, hp[c], cp[c]);
      } else {
        vertex(c, y0, lastHeight, lastColour);
      }
      if (h1[c] != e) {
        vertex(c, y1, h1[c], c1[c]);
      } else {
        vertex(c, y1, lastHeight, lastColour);
      }
      open = false;
    }
  }
  glEnd();
}

void Sd_SonarDTM::Render() {
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
    for (int r = m_rowStart; r < lastRow; r += s) DrawStrip(r, std::min(r + s, lastRow), r - s, s);
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

void Sd_SonarDTM::CloseStepPass() {
  for (; m_pushCount > 0; --m_pushCount) glPopMatrix();
  EndBlending();
  m_pushCount = 0;
}

int Sd_SonarDTM::StepRender() {
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
        DrawStrip(m_upRow, std::min(m_upRow + s, lastRow), m_upRow - s, s);
        m_upRow += s;
      }
      // Downwards; the last strip begins at the window's first row.
      for (int k = 0; k < kStripsPerStep && m_downRow + s > m_rowStart; ++k) {
        const int r = std::max(m_downRow, m_rowStart);
        DrawStrip(r, m_downRow + s, r - s, s);
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
