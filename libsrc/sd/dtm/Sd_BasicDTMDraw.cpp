// Uniform terrain model: the strips of the surface and of the mesh.
#include <GL/gl.h>

#include <initializer_list>

#include "Sd_BasicDTM.h"

namespace {

// One grid row of a strip: its heights, its colours and its y.
struct StripRow {
  const unsigned short* heights;
  const unsigned int* colours;
  float y;
};

StripRow RowOf(unsigned short* const* heights, unsigned int* const* colours, int r) {
  return {heights[r], colours[r], static_cast<float>(r)};
}

}  // namespace

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
  const StripRow row0 = RowOf(ElevationRows(), ColourRows(), r);
  const StripRow row1 = RowOf(ElevationRows(), ColourRows(), r2);
  size_t n = 0;
  auto emit = [&](int c) {
    for (const StripRow* row : {&row0, &row1}) {
      col[n] = row->colours[c];
      v[3 * n] = static_cast<float>(c);
      v[3 * n + 1] = row->y;
      v[3 * n + 2] = row->heights[c];
      ++n;
    }
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
  const StripRow row0 = RowOf(ElevationRows(), ColourRows(), r);
  const StripRow row1 = RowOf(ElevationRows(), ColourRows(), r2);
  auto vertex = [](const StripRow& row, int c) {
    glColor4ubv(reinterpret_cast<const GLubyte*>(&row.colours[c]));
    glVertex3f(static_cast<float>(c), row.y, row.heights[c]);
  };
  glBegin(GL_LINE_STRIP);
  for (int c = m_colStart; c < last; c += s) vertex(row0, c);
  vertex(row0, last);
  glEnd();
  glBegin(GL_LINES);
  for (int c = m_colStart; c < last; c += s) {
    vertex(row0, c);
    vertex(row1, c);
  }
  vertex(row0, last);
  vertex(row1, last);
  glEnd();
}
