// Sounding data sets in OpenGL: the cell surface (lit with the cells'
// normals, or pre-shaded), whole or a strip per progressive step, and the
// overlays: base plate, run lines, grid lines, the selection window's
// outline and the symbols of the selected cells' and the marked soundings.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sd_Sounding.h"
#include "Sd_SoundingSet.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"

namespace {

// The symbol of a sounding: a pyramid of four side faces, apex at the
// sounding, base half a unit below.
constexpr float kApex[3] = {0.0f, 0.0f, 0.0f};
constexpr float kBase[4][3] = {
    {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}};

// Face colours (faces 1 and 3, faces 2 and 4) by list and mark.
constexpr float kSymbolColours[2][2][2][3] = {
    {{{0.0f, 0.0f, 0.9f}, {0.0f, 0.9f, 0.0f}}, {{0.9f, 0.0f, 0.0f}, {0.9f, 0.9f, 0.0f}}},   // cell soundings
    {{{0.4f, 1.0f, 0.1f}, {0.6f, 0.2f, 0.9f}}, {{0.4f, 0.6f, 0.6f}, {0.6f, 0.2f, 0.9f}}}};  // marked list

// Vertices sent to OpenGL in one call of a whole drawing.
constexpr size_t kBatchVertices = 1 << 16;

// The surface's client arrays: colours, and normals when lit.
unsigned SurfaceParts(int preShaded) {
  return Sd_StripArrays::kColours | (preShaded ? 0u : Sd_StripArrays::kNormals);
}

// a / b when that is a finite positive ratio, else 1.
double Ratio(double a, double b) {
  const double r = a / b;
  return r > 0.0 && std::isfinite(r) ? r : 1.0;
}

}  // namespace

void Sd_SoundingSet::QuadricDeleter::operator()(GLUquadric* q) const { gluDeleteQuadric(q); }

// --- lists ---

int Sd_SoundingSet::IsInEditList(int index) const {
  return std::find(m_editList.begin(), m_editList.end(), index) != m_editList.end() ? 1 : 0;
}

void Sd_SoundingSet::SetMarkedList(const int* indices, int count) {
  m_markedList.assign(indices, indices + std::max(count, 0));
  IndexMarkedList();
}

void Sd_SoundingSet::SetEditList(const int* indices, int count) {
  m_editList.assign(indices, indices + std::max(count, 0));
}

// --- symbols ---

void Sd_SoundingSet::NormalisedPoint(const SoundingPoint& p, float out[3]) const {
  NormalisedXY(p.x, p.y, out);
  const double z = (p.z - m_bounds[4]) / m_zRange - 0.5;
  out[2] = m_zRange > 0.0 && std::isfinite(z) ? static_cast<float>(z) : 0.0f;
}

namespace {

// The symbol's scale: square in data units, a third as tall as wide.
void ScaleSymbol(float size, double xRange, double yRange, double zRange) {
  glScaled(size, size * Ratio(xRange, yRange), size * Ratio(xRange, zRange) / 3.0);
}

}  // namespace

void Sd_SoundingSet::DrawSoundingSymbol(int index, int onMarkedList) {
  const int mark = GetSoundingPoint(index).mark ? 1 : 0;
  const float(*colours)[3] = kSymbolColours[onMarkedList ? 1 : 0][mark];
  ScaleSymbol(m_symbolSize, m_xRange, m_yRange, m_zRange);
  glBegin(GL_TRIANGLES);
  for (int f = 0; f < 4; ++f) {
    glColor3fv(colours[f % 2]);
    glVertex3fv(kBase[f]);
    glVertex3fv(kApex);
    glVertex3fv(kBase[(f + 1) % 4]);
  }
  glEnd();
}

void Sd_SoundingSet::DrawFlaggedSymbol(int index) {
  if (!m_quadric) {
    m_quadric.reset(gluNewQuadric());
    if (!m_quadric) return;
  }
  GLUquadric* q = m_quadric.get();
  ScaleSymbol(m_symbolSize, m_xRange, m_yRange, m_zRange);
  glTranslatef(0.0f, 0.0f, -0.5f);
  gluQuadricDrawStyle(q, GLU_FILL);
  gluQuadricNormals(q, GLU_SMOOTH);
  if (GetSoundingPoint(index).mark) {
    glColor3f(0.8f, 0.8f, 0.0f);
  } else {
    glColor3f(0.1f, 0.8f, 0.8f);
  }
  gluCylinder(q, 0.5, 0.5, 0.5, 10, 10);
  gluDisk(q, 0.0, 0.5, 10, 10);
  glTranslatef(0.0f, 0.0f, 0.5f);
  gluDisk(q, 0.0, 0.5, 10, 10);
}

void Sd_SoundingSet::DrawCellSoundings(int row, int col) {
  int n = 0;
  const int* list = GetCellSoundings(row, col, &n);
  glColor3f(1.0f, 1.0f, 1.0f);
  for (int i = 0; i < n; ++i) {
    const int index = list[i];
    if (index < 0 || index >= m_sndCount) continue;
    const SoundingPoint s = GetSoundingPoint(index);
    float p[3];
    NormalisedPoint(s, p);
    // A stem from the floor of the box, red and wider while selected.
    if (s.mark) {
      glColor3f(1.0f, 0.0f, 0.0f);
      glLineWidth(2.0f);
    } else {
      glColor3f(1.0f, 1.0f, 1.0f);
    }
    glBegin(GL_LINES);
    glVertex3f(p[0], p[1], -0.5f);
    glVertex3fv(p);
    glEnd();
    glLineWidth(1.0f);
    glPushMatrix();
    glTranslatef(p[0], p[1], p[2]);
    if (s.highlighted) {
      DrawFlaggedSymbol(index);
    } else {
      DrawSoundingSymbol(index, 0);
    }
    glPopMatrix();
  }
}

void Sd_SoundingSet::DrawMarkedSoundings() {
  for (const int index : m_markedList) {
    if (index < 0) break;
    if (index >= m_sndCount) continue;
    float p[3];
    NormalisedPoint(GetSoundingPoint(index), p);
    // A stem from above the box, yellow for soundings being edited.
    if (IsInEditList(index)) {
      glColor3f(1.0f, 1.0f, 0.0f);
    } else {
      glColor3f(1.0f, 0.0f, 0.0f);
    }
    glBegin(GL_LINES);
    glVertex3f(p[0], p[1], 0.7f);
    glVertex3fv(p);
    glEnd();
    glPushMatrix();
    glTranslatef(p[0], p[1], p[2]);
    glRotatef(180.0f, 1.0f, 0.0f, 0.0f);
    DrawSoundingSymbol(index, 1);
    glPopMatrix();
  }
}

// --- overlays ---

void Sd_Sounding::DrawRunLines() {
  if (!m_showRunLines || m_runCount < 1) return;
  glColor3f(1.0f, 1.0f, 0.0f);
  glBegin(GL_LINES);
  for (int i = 0; i < m_runCount; ++i) {
    const FsdRunRecord& r = m_runs[i];
    float from[2], to[2];
    NormalisedXY(r.xStart, r.yStart, from);
    NormalisedXY(r.xEnd, r.yEnd, to);
    glVertex3f(from[0], from[1], m_gridLineZ);
    glVertex3f(to[0], to[1], m_gridLineZ);
  }
  glEnd();
}

void Sd_SoundingSet::DrawOverlays(int stride) {
  if (m_showBase) {
    // A grey plate just below the unit box.
    glColor3f(0.5f, 0.5f, 0.5f);
    glBegin(GL_POLYGON);
    glVertex3f(-0.5f, -0.5f, -0.525f);
    glVertex3f(0.5f, -0.5f, -0.525f);
    glVertex3f(0.5f, 0.5f, -0.525f);
    glVertex3f(-0.5f, 0.5f, -0.525f);
    glEnd();
  }
  DrawRunLines();
  if (!m_cells) return;
  if (m_showGridLines) {
    glColor3f(0.0f, 1.0f, 0.0f);
    // Every cell border at full detail; a coarse drawing thins them with
    // its surface, keeping the outer edges.
    glBegin(GL_LINES);
    for (int i = 0; i <= m_rows; i = i < m_rows && i + stride > m_rows ? m_rows : i + stride) {
      const float y = static_cast<float>(i) / m_rows - 0.5f;
      glVertex3f(-0.5f, y, m_gridLineZ);
      glVertex3f(0.5f, y, m_gridLineZ);
    }
    glEnd();
    glBegin(GL_LINES);
    for (int j = 0; j <= m_cols; j = j < m_cols && j + stride > m_cols ? m_cols : j + stride) {
      const float x = static_cast<float>(j) / m_cols - 0.5f;
      glVertex3f(x, -0.5f, m_gridLineZ);
      glVertex3f(x, 0.5f, m_gridLineZ);
    }
    glEnd();
  }
  // A z range without extent draws flat rather than dividing by zero.
  const double zSpan = m_zMax - m_zMin;
  const double zScale = zSpan > 0.0 && std::isfinite(1.0 / zSpan) ? 1.0 / zSpan : 1.0;
  if (m_window[0] != -1 && m_outline.size() >= 3) {
    // The window outline: x and y in the unit box, z in data units.
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -0.5f);
    glScaled(1.0, 1.0, zScale);
    glTranslated(0.0, 0.0, -m_zMin);
    glLineWidth(3.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINE_LOOP);
    for (size_t v = 0; v + 2 < m_outline.size(); v += 3) glVertex3fv(&m_outline[v]);
    glEnd();
    glLineWidth(1.0f);
    glPopMatrix();
  }
  if (m_showCellSoundings && m_window[0] != -1) {
    // Only the window's cells carry the selected mark: the rest of a large
    // grid is not walked every frame.
    glPushMatrix();
    for (int r = std::max(m_window[0], 0); r <= std::min(m_window[1], m_rows - 1); ++r) {
      for (int c = std::max(m_window[2], 0); c <= std::min(m_window[3], m_cols - 1); ++c) {
        if (m_cells[CellIndex(r, c)].mark) DrawCellSoundings(r, c);
      }
    }
    glPopMatrix();
  }
  if (m_showMarked) {
    glPushMatrix();
    glLineWidth(2.0f);
    DrawMarkedSoundings();
    glLineWidth(1.0f);
    glPopMatrix();
  }
  // The grid frame: the centre of cell (row r, column c) with height h is
  // (c, r, h).
  glTranslated(0.5 / m_cols - 0.5, 0.5 / m_rows - 0.5, -0.5);
  glScaled(1.0 / m_cols, 1.0 / m_rows, zScale);
  glTranslated(0.0, 0.0, -m_zMin);
  glGetDoublev(GL_MODELVIEW_MATRIX, m_modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, m_projection);
}

// --- the surface ---

bool Sd_SoundingSet::BeginSurface() {
  Sv_Lighting* lights = GetLighting();
  if (!m_preShaded && !lights) return false;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (!m_preShaded) {
    lights->SetLighting(1);
    lights->SetColorMaterial(1);
    lights->ApplyLightPosition(1, SV_LIGHT_POSITION);
    // The grid frame scales the axes apart: normals are made unit again.
    glEnable(GL_NORMALIZE);
  }
  return true;
}

void Sd_SoundingSet::EndSurface() {
  if (!m_preShaded) {
    if (Sv_Lighting* lights = GetLighting()) {
      lights->SetColorMaterial(0);
      lights->SetLighting(0);
    }
    glDisable(GL_NORMALIZE);
  }
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_BLEND);
}

size_t Sd_SoundingSet::AppendSurfaceStrip(int r, int r2, int s, size_t n) {
  const bool lit = !m_preShaded;
  const size_t columns = static_cast<size_t>((m_cols + s - 1) / s);
  // A strip after another is joined to it by repeating the last vertex
  // before and the first after: the triangles between have no area. Every
  // strip has an even number of vertices, so each keeps its winding.
  const size_t join = n > 0 ? 2 : 0;
  m_strips.Reserve(n + join + 2 * columns, SurfaceParts(m_preShaded));
  float* v = m_strips.Vertices();
  unsigned* colours = m_strips.Colours();
  float* normals = lit ? m_strips.Normals() : nullptr;
  const unsigned* source = lit ? m_cellColors : m_shadedColors;
  const float floor = static_cast<float>(m_zMin);
  size_t k = n + join;
  for (int c = 0; c < m_cols; c += s) {
    for (const int row : {r, r2}) {
      const size_t cell = CellIndex(row, c);
      const float h = m_cellHeights[cell];
      v[3 * k] = static_cast<float>(c);
      v[3 * k + 1] = static_cast<float>(row);
      v[3 * k + 2] = h == kNoHeight ? floor : h;
      colours[k] = source[cell];
      if (normals) {
        // Cell normals hold the row component first; x is the column.
        const float* cn = &m_cellNormals[3 * cell];
        normals[3 * k] = cn[1];
        normals[3 * k + 1] = cn[0];
        normals[3 * k + 2] = cn[2];
      }
      ++k;
    }
  }
  if (join) {
    const size_t copies[2][2] = {{n, n - 1}, {n + 1, n + 2}};
    for (const auto& c : copies) {
      memcpy(&v[3 * c[0]], &v[3 * c[1]], 3 * sizeof(float));
      colours[c[0]] = colours[c[1]];
      if (normals) memcpy(&normals[3 * c[0]], &normals[3 * c[1]], 3 * sizeof(float));
    }
  }
  return k;
}

void Sd_SoundingSet::DrawSurfaceArrays(size_t n) {
  if (n == 0) return;
  m_strips.Point(SurfaceParts(m_preShaded));
  glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(n));
}

// --- whole and progressive drawing ---

bool Sd_SoundingSet::HasLightsToDraw() {
  if (!m_showSurface || m_preShaded || GetLighting()) return true;
  // Reported once per object: the frame after would say the same.
  if (!m_lightsReported) {
    const char* text = NoLightsMessage();
    Sv_Debug::Message(text ? SV_LEVEL_ERROR : SV_LEVEL_DEBUG, text ? text : m_class.className,
                      "Required light manager for rendering not defined!");
  }
  m_lightsReported = 1;
  return false;
}

void Sd_SoundingSet::Render() {
  if (!HasLightsToDraw()) return;
  const int stride = m_progressive ? std::max(m_lodStep, 1) : 1;
  glPushMatrix();
  ApplyTransform();
  DrawOverlays(stride);
  if (m_showSurface && m_cells && BeginSurface()) {
    Sd_StripArrays::ClientState arrays(SurfaceParts(m_preShaded));
    // Strips go to OpenGL in batches of about kBatchVertices vertices.
    size_t n = 0;
    for (int r = 0; r < m_rows - stride; r += stride) {
      n = AppendSurfaceStrip(r, r + stride, stride, n);
      if (n >= kBatchVertices) {
        DrawSurfaceArrays(n);
        n = 0;
      }
    }
    DrawSurfaceArrays(n);
    EndSurface();
  }
  glPopMatrix();
}

void Sd_SoundingSet::ClosePass() {
  if (m_pushCount) glPopMatrix();
  if (m_stepState != 0 && m_showSurface && m_cells) {
    EndSurface();
  } else {
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_BLEND);
  }
  m_pushCount = 0;
  m_stepState = 0;
}

int Sd_SoundingSet::StepRender() {
  if (!m_progressive) {
    // Drawn whole at once: nothing of a pass to abandon.
    SetRedrawPending(0);
    Render();
    SetDrawn(1);
    return 1;
  }
  if (GetRedrawPending()) {
    // The pass is abandoned: undo what it holds.
    ClosePass();
    SetDrawn(0);
    SetRedrawPending(0);
    return 0;
  }
  const bool surface = m_showSurface && m_cells;
  if (m_stepState == 0) {
    if (!HasLightsToDraw()) {
      SetDrawn(1);
      return 1;
    }
    SetDrawn(0);
    glPushMatrix();
    m_pushCount = 1;
    ApplyTransform();
    m_stepRow = 0;
    m_passStep = GetBestPass() ? 1 : std::max(m_lodStep, 1);
    DrawOverlays(m_passStep);
    if (surface) BeginSurface();
    m_stepState = 1;
    return 0;
  }
  if (m_stepState == 1) {
    if (surface && m_stepRow < m_rows - m_passStep) {
      Sd_StripArrays::ClientState arrays(SurfaceParts(m_preShaded));
      DrawSurfaceArrays(AppendSurfaceStrip(m_stepRow, m_stepRow + m_passStep, m_passStep, 0));
      m_stepRow += m_passStep;
      return 0;
    }
    m_stepState = 2;
  }
  // Finish: the pass is drawn.
  ClosePass();
  SetDrawn(1);
  return 1;
}
