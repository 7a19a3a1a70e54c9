// Uniform terrain model: the strips of the surface and of the mesh.
#include <GL/gl.h>

#include "Sd_BasicDTM.h"

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
  if (last <= m_colStart || r2 <= r || r2 >= GetRows()) return;
  m_strip.Reserve(static_cast<size_t>((last - m_colStart) / s + 2) * 2);
  float* v = m_strip.Vertices();
  unsigned int* col = m_strip.Colours();
  const unsigned short* h0 = ElevationRows()[r];
  const unsigned short* h1 = ElevationRows()[r2];
  const unsigned int* c0 = ColourRows()[r];
  const unsigned int* c1 = ColourRows()[r2];
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
  m_strip.Point();
  glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(n));
}

void Sd_BasicDTM::DrawWireStrip(int r, int r2, int s) {
  const int last = m_colEnd - 1;
  if (last < m_colStart || r2 <= r || r2 >= GetRows()) return;
  const unsigned short* h0 = ElevationRows()[r];
  const unsigned short* h1 = ElevationRows()[r2];
  const unsigned int* c0 = ColourRows()[r];
  const unsigned int* c1 = ColourRows()[r2];
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
