// Non-contiguous terrain model: strips that break at empty nodes.
#include <GL/gl.h>

#include <vector>

#include "Sd_SonarDTM.h"

namespace {

// The rows one strip of the non-contiguous DTM reads: row r (heights h0,
// colours c0, drawn at y0), row r2 (h1, c1, y1) and the row before r whose
// nodes stand in for empty ones of row r (hp, cp; null when there is none).
struct StripRows {
  const unsigned short* h0;
  const unsigned short* h1;
  const unsigned short* hp;
  const unsigned int* c0;
  const unsigned int* c1;
  const unsigned int* cp;
  float y0, y1;
  unsigned short empty;
};

StripRows MakeStripRows(unsigned short* const* heights, unsigned int* const* colours, int r, int r2, int rPrev,
                        unsigned short empty) {
  StripRows rows;
  rows.h0 = heights[r];
  rows.h1 = heights[r2];
  rows.hp = rPrev >= 0 ? heights[rPrev] : nullptr;
  rows.c0 = colours[r];
  rows.c1 = colours[r2];
  rows.cp = rPrev >= 0 ? colours[rPrev] : nullptr;
  rows.y0 = static_cast<float>(r);
  rows.y1 = static_cast<float>(r2);
  rows.empty = empty;
  return rows;
}

// Walks the strip's columns as pairs of vertices from row r to row r2, as
// far as row r holds heights: emit(c, y, height, colour) takes each vertex,
// begin() comes before the first pair after a gap and end() after the
// closing pair at the next gap (and at the end of an open run). The pair of
// a node of row r: the node, and its partner on row r2, which takes the
// node's height and colour when it is empty. The closing pair at an empty
// node of row r: the node of row rPrev and the partner on row r2 where they
// hold heights, else the height and colour of the vertex before. A template,
// so that the per-vertex calls are inlined.
template <class Emit, class Begin, class End>
inline void WalkStripPairs(const StripRows& s, const std::vector<int>& columns, Emit emit, Begin begin, End end) {
  const unsigned short e = s.empty;
  bool open = false;
  unsigned short lastHeight = 0;
  unsigned int lastColour = 0;
  auto put = [&](int c, float y, unsigned short h, unsigned int colour) {
    emit(c, y, h, colour);
    lastHeight = h;
    lastColour = colour;
  };
  for (int c : columns) {
    if (s.h0[c] != e) {
      if (!open) {
        begin();
        open = true;
      }
      put(c, s.y0, s.h0[c], s.c0[c]);
      if (s.h1[c] != e) {
        put(c, s.y1, s.h1[c], s.c1[c]);
      } else {
        put(c, s.y1, s.h0[c], s.c0[c]);
      }
    } else if (open) {
      if (s.hp && s.hp[c] != e) {
        put(c, s.y0, s.hp[c], s.cp[c]);
      } else {
        put(c, s.y0, lastHeight, lastColour);
      }
      if (s.h1[c] != e) {
        put(c, s.y1, s.h1[c], s.c1[c]);
      } else {
        put(c, s.y1, lastHeight, lastColour);
      }
      end();
      open = false;
    }
  }
  if (open) end();
}

}  // namespace

void Sd_SonarDTM::StripColumns(int s) {
  m_stripColumns.clear();
  const int last = m_colEnd - 1;
  for (int c = m_colStart; c < last; c += s) m_stripColumns.push_back(c);
  if (last >= m_colStart) m_stripColumns.push_back(last);
}

void Sd_SonarDTM::DrawStrip(int r, int r2, int s) {
  if (r2 <= r || r < 0 || r2 >= GetRows() || m_colEnd > GetCols() || m_colStart < 0) return;
  int rPrev = r - s;
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
  m_strip.Reserve(columns * 2);
  m_stripPieces.clear();
  float* v = m_strip.Vertices();
  unsigned int* col = m_strip.Colours();
  size_t n = 0;
  size_t first = 0;
  WalkStripPairs(
      MakeStripRows(ElevationRows(), ColourRows(), r, r2, rPrev, m_emptyCode), m_stripColumns,
      [&](int c, float y, unsigned short h, unsigned int colour) {
        v[3 * n] = static_cast<float>(c);
        v[3 * n + 1] = y;
        v[3 * n + 2] = h;
        col[n] = colour;
        ++n;
      },
      [&]() { first = n; },
      [&]() {
        if (n - first >= 4) {
          m_stripPieces.push_back(static_cast<int>(first));
          m_stripPieces.push_back(static_cast<int>(n - first));
        }
        first = n;
      });
  if (m_stripPieces.empty()) return;
  m_strip.Point();
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
  const StripRows rows = MakeStripRows(ElevationRows(), ColourRows(), r, r2, rPrev, m_emptyCode);
  const unsigned short e = rows.empty;
  auto vertex = [](int c, float y, unsigned short h, unsigned int colour) {
    glColor4ubv(reinterpret_cast<const GLubyte*>(&colour));
    glVertex3f(static_cast<float>(c), y, h);
  };

  // Along the row.
  unsigned short lastHeight = 0;
  unsigned int lastColour = 0;
  auto rowVertex = [&](int c, unsigned short h, unsigned int colour) {
    vertex(c, rows.y0, h, colour);
    lastHeight = h;
    lastColour = colour;
  };
  bool open = false;
  for (int c : m_stripColumns) {
    if (rows.h0[c] != e) {
      if (!open) glBegin(GL_LINE_STRIP);
      open = true;
      rowVertex(c, rows.h0[c], rows.c0[c]);
    } else if (rows.hp && rows.hp[c] != e) {
      if (!open) glBegin(GL_LINE_STRIP);
      open = true;
      rowVertex(c, rows.hp[c], rows.cp[c]);
    } else if (open) {
      rowVertex(c, lastHeight, lastColour);
      glEnd();
      open = false;
    }
  }
  if (open) glEnd();

  // Towards row r2.
  glBegin(GL_LINES);
  WalkStripPairs(rows, m_stripColumns, vertex, [] {}, [] {});
  glEnd();
}
