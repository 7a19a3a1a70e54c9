// The drawing of sounding data sets in OpenGL: the cell surface (lit with the cells'
// normals, or pre-shaded), whole or a strip per progressive step, and the
// overlays: base plate, run lines, grid lines, the selection window's
// outline and the symbols of the selected cells' and the marked soundings.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sd_Node.h"
#include "Sd_Sounding.h"
#include "Sd_SoundingPainter.h"
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

void Sd_SoundingPainter::QuadricDeleter::operator()(GLUquadric* q) const { gluDeleteQuadric(q); }

// --- symbols ---

namespace {

// The normalised position of a sounding in the unit box.
void NormalisedPoint(const Sd_SoundingPainter::Scene& scene, const Sd_SoundingPoint& p, float out[3]) {
  const Sd_SoundingExtent& e = scene.extent;
  e.NormalisedXY(scene.bounds, p.x, p.y, out);
  const double z = (p.z - scene.bounds[4]) / e.zRange - 0.5;
  out[2] = e.zRange > 0.0 && std::isfinite(z) ? static_cast<float>(z) : 0.0f;
}

// The symbol's scale: square in data units, a third as tall as wide.
void ScaleSymbol(float size, double xRange, double yRange, double zRange) {
  glScaled(size, size * Ratio(xRange, yRange), size * Ratio(xRange, zRange) / 3.0);
}

// The symbol's scale for a scene.
void ScaleSymbol(const Sd_SoundingPainter::Scene& scene) {
  const Sd_SoundingExtent& e = scene.extent;
  ScaleSymbol(scene.style.SymbolSize(), e.xRange, e.yRange, e.zRange);
}

}  // namespace

void Sd_SoundingPainter::DrawSoundingSymbol(const Scene& scene, int index, int onMarkedList) const {
  const int mark = scene.points.GetSoundingPoint(index).mark ? 1 : 0;
  const float(*colours)[3] = kSymbolColours[onMarkedList ? 1 : 0][mark];
  ScaleSymbol(scene);
  glBegin(GL_TRIANGLES);
  for (int f = 0; f < 4; ++f) {
    glColor3fv(colours[f % 2]);
    glVertex3fv(kBase[f]);
    glVertex3fv(kApex);
    glVertex3fv(kBase[(f + 1) % 4]);
  }
  glEnd();
}

void Sd_SoundingPainter::DrawFlaggedSymbol(const Scene& scene, int index) {
  if (!m_quadric) {
    m_quadric.reset(gluNewQuadric());
    if (!m_quadric) return;
  }
  GLUquadric* q = m_quadric.get();
  ScaleSymbol(scene);
  glTranslatef(0.0f, 0.0f, -0.5f);
  gluQuadricDrawStyle(q, GLU_FILL);
  gluQuadricNormals(q, GLU_SMOOTH);
  if (scene.points.GetSoundingPoint(index).mark) {
    glColor3f(0.8f, 0.8f, 0.0f);
  } else {
    glColor3f(0.1f, 0.8f, 0.8f);
  }
  gluCylinder(q, 0.5, 0.5, 0.5, 10, 10);
  gluDisk(q, 0.0, 0.5, 10, 10);
  glTranslatef(0.0f, 0.0f, 0.5f);
  gluDisk(q, 0.0, 0.5, 10, 10);
}

void Sd_SoundingPainter::DrawCellSoundings(const Scene& scene, int row, int col) {
  int n = 0;
  const int* list = scene.grid.CellSoundings(row, col, &n);
  const int count = scene.points.SoundingCount();
  glColor3f(1.0f, 1.0f, 1.0f);
  for (int i = 0; i < n; ++i) {
    const int index = list[i];
    if (index < 0 || index >= count) continue;
    const Sd_SoundingPoint s = scene.points.GetSoundingPoint(index);
    float p[3];
    NormalisedPoint(scene, s, p);
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
      DrawFlaggedSymbol(scene, index);
    } else {
      DrawSoundingSymbol(scene, index, 0);
    }
    glPopMatrix();
  }
}

void Sd_SoundingPainter::DrawMarkedSoundings(const Scene& scene) {
  const int count = scene.points.SoundingCount();
  for (const int index : scene.editor.MarkedList()) {
    if (index < 0) break;
    if (index >= count) continue;
    float p[3];
    NormalisedPoint(scene, scene.points.GetSoundingPoint(index), p);
    // A stem from above the box, yellow for soundings being edited.
    if (scene.editor.IsInEditList(index)) {
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
    DrawSoundingSymbol(scene, index, 1);
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
    glVertex3f(from[0], from[1], m_painter.GridLineZ());
    glVertex3f(to[0], to[1], m_painter.GridLineZ());
  }
  glEnd();
}

void Sd_SoundingPainter::DrawBase() const {
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
}

bool Sd_SoundingPainter::DrawGridOverlays(const Scene& scene, int stride) {
  const Sd_SoundingGrid& grid = scene.grid;
  if (!grid.HasCells()) return false;
  const int rows = grid.Rows(), cols = grid.Cols();
  const double zMin = scene.extent.zMin, zMax = scene.extent.zMax;
  const int* window = scene.selection.Window();
  const std::vector<float>& outline = scene.selection.Outline();
  if (m_showGridLines) {
    glColor3f(0.0f, 1.0f, 0.0f);
    // Every cell border at full detail; a coarse drawing thins them with
    // its surface, keeping the outer edges.
    glBegin(GL_LINES);
    for (int i = 0; i <= rows; i = i < rows && i + stride > rows ? rows : i + stride) {
      const float y = static_cast<float>(i) / rows - 0.5f;
      glVertex3f(-0.5f, y, m_gridLineZ);
      glVertex3f(0.5f, y, m_gridLineZ);
    }
    glEnd();
    glBegin(GL_LINES);
    for (int j = 0; j <= cols; j = j < cols && j + stride > cols ? cols : j + stride) {
      const float x = static_cast<float>(j) / cols - 0.5f;
      glVertex3f(x, -0.5f, m_gridLineZ);
      glVertex3f(x, 0.5f, m_gridLineZ);
    }
    glEnd();
  }
  // A z range without extent draws flat rather than dividing by zero.
  const double zSpan = zMax - zMin;
  const double zScale = zSpan > 0.0 && std::isfinite(1.0 / zSpan) ? 1.0 / zSpan : 1.0;
  if (window[0] != -1 && outline.size() >= 3) {
    // The window outline: x and y in the unit box, z in data units.
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -0.5f);
    glScaled(1.0, 1.0, zScale);
    glTranslated(0.0, 0.0, -zMin);
    glLineWidth(3.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINE_LOOP);
    for (size_t v = 0; v + 2 < outline.size(); v += 3) glVertex3fv(&outline[v]);
    glEnd();
    glLineWidth(1.0f);
    glPopMatrix();
  }
  if (m_showCellSoundings && window[0] != -1) {
    // Only the window's cells carry the selected mark: the rest of a large
    // grid is not walked every frame.
    glPushMatrix();
    for (int r = std::max(window[0], 0); r <= std::min(window[1], rows - 1); ++r) {
      for (int c = std::max(window[2], 0); c <= std::min(window[3], cols - 1); ++c) {
        if (grid.Cells()[grid.CellIndex(r, c)].mark) DrawCellSoundings(scene, r, c);
      }
    }
    glPopMatrix();
  }
  if (m_showMarked) {
    glPushMatrix();
    glLineWidth(2.0f);
    DrawMarkedSoundings(scene);
    glLineWidth(1.0f);
    glPopMatrix();
  }
  // The grid frame: the centre of cell (row r, column c) with height h is
  // (c, r, h).
  glTranslated(0.5 / cols - 0.5, 0.5 / rows - 0.5, -0.5);
  glScaled(1.0 / cols, 1.0 / rows, zScale);
  glTranslated(0.0, 0.0, -zMin);
  return true;
}

// --- the surface ---

bool Sd_SoundingPainter::BeginSurface(const Scene& scene) const {
  const int preShaded = scene.style.PreShaded();
  Sv_Lighting* lights = Sd_Node::GetLighting();
  if (!preShaded && !lights) return false;
  // The cells' alphas differ. The frame is marked blended when any cell is
  // see-through, whether or not this drawing's lattice holds it: the best
  // pass draws every cell, and must know before it begins whether it may
  // refine over this frame's picture.
  Sd_Node::EnableBlending(255);
  if (scene.grid.SeeThrough(preShaded != 0)) Sd_Node::MarkBlended();
  if (!preShaded) {
    lights->SetLighting(1);
    lights->SetColorMaterial(1);
    lights->ApplyLightPosition(1, SV_LIGHT_POSITION);
    // The grid frame scales the axes apart: normals are made unit again.
    glEnable(GL_NORMALIZE);
  }
  return true;
}

void Sd_SoundingPainter::EndSurface(const Scene& scene) const {
  if (!scene.style.PreShaded()) {
    if (Sv_Lighting* lights = Sd_Node::GetLighting()) {
      lights->SetColorMaterial(0);
      lights->SetLighting(0);
    }
    glDisable(GL_NORMALIZE);
  }
  Sd_Node::DisableBlending();
}

size_t Sd_SoundingPainter::AppendSurfaceStrip(const Scene& scene, int r, int r2, int s, size_t n) {
  const Sd_SoundingGrid& grid = scene.grid;
  const int preShaded = scene.style.PreShaded();
  const bool lit = !preShaded;
  const int cols = grid.Cols();
  const size_t columns = static_cast<size_t>((cols + s - 1) / s);
  // A strip after another is joined to it by repeating the last vertex
  // before and the first after: the triangles between have no area. Every
  // strip has an even number of vertices, so each keeps its winding.
  const size_t join = n > 0 ? 2 : 0;
  m_strips.Reserve(n + join + 2 * columns, SurfaceParts(preShaded));
  float* v = m_strips.Vertices();
  unsigned* colours = m_strips.Colours();
  float* normals = lit ? m_strips.Normals() : nullptr;
  const unsigned* source = lit ? grid.Colours() : grid.ShadedColours();
  const float* heights = grid.Heights();
  const float* cellNormals = grid.Normals();
  const float floor = static_cast<float>(scene.extent.zMin);
  size_t k = n + join;
  for (int c = 0; c < cols; c += s) {
    for (const int row : {r, r2}) {
      const size_t cell = grid.CellIndex(row, c);
      const float h = heights[cell];
      v[3 * k] = static_cast<float>(c);
      v[3 * k + 1] = static_cast<float>(row);
      v[3 * k + 2] = h == Sd_SoundingGrid::kNoHeight ? floor : h;
      colours[k] = source[cell];
      if (normals) {
        // Cell normals hold the row component first; x is the column.
        const float* cn = &cellNormals[3 * cell];
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

void Sd_SoundingPainter::DrawSurfaceArrays(const Scene& scene, size_t n) {
  if (n == 0) return;
  m_strips.Point(SurfaceParts(scene.style.PreShaded()));
  glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(n));
}

void Sd_SoundingPainter::DrawSurface(const Scene& scene, int stride) {
  if (!(m_showSurface && scene.grid.HasCells() && BeginSurface(scene))) return;
  const int rows = scene.grid.Rows();
  Sd_StripArrays::ClientState arrays(SurfaceParts(scene.style.PreShaded()));
  // Strips go to OpenGL in batches of about kBatchVertices vertices.
  size_t n = 0;
  for (int r = 0; r < rows - stride; r += stride) {
    n = AppendSurfaceStrip(scene, r, r + stride, stride, n);
    if (n >= kBatchVertices) {
      DrawSurfaceArrays(scene, n);
      n = 0;
    }
  }
  DrawSurfaceArrays(scene, n);
  EndSurface(scene);
}

// --- progressive passes ---

bool Sd_SoundingPainter::HasLightsToDraw(const Scene& scene, const char* text, const char* where) {
  if (!m_showSurface || scene.style.PreShaded() || Sd_Node::GetLighting()) return true;
  // Reported once per object: the frame after would say the same.
  if (!m_lightsReported) {
    Sv_Debug::Message(text ? SV_LEVEL_ERROR : SV_LEVEL_DEBUG, text ? text : where,
                      "Required light manager for rendering not defined!");
  }
  m_lightsReported = 1;
  return false;
}

void Sd_SoundingPainter::OpenPass(int step) {
  m_pushCount = 1;
  m_stepRow = 0;
  m_passStep = step;
  m_stepState = 1;
}

bool Sd_SoundingPainter::DrawPassStrip(const Scene& scene, bool surface) {
  if (m_stepState == 1) {
    if (surface && m_stepRow < scene.grid.Rows() - m_passStep) {
      Sd_StripArrays::ClientState arrays(SurfaceParts(scene.style.PreShaded()));
      DrawSurfaceArrays(scene, AppendSurfaceStrip(scene, m_stepRow, m_stepRow + m_passStep, m_passStep, 0));
      m_stepRow += m_passStep;
      return true;
    }
    m_stepState = 2;
  }
  return false;
}

void Sd_SoundingPainter::ClosePass(const Scene& scene, bool surface) {
  if (m_pushCount) glPopMatrix();
  if (m_stepState != 0 && surface) {
    EndSurface(scene);
  } else {
    Sd_Node::DisableBlending();
  }
  m_pushCount = 0;
  m_stepState = 0;
}

// --- the data set's drawing ---

Sd_SoundingPainter::Scene Sd_SoundingSet::DrawingScene() const {
  return Sd_SoundingPainter::Scene{m_grid, m_extent, m_bounds, m_style, m_selection, m_editor, *this};
}

void Sd_SoundingSet::DrawOverlays(int stride) {
  m_painter.DrawBase();
  DrawRunLines();
  if (!m_painter.DrawGridOverlays(DrawingScene(), stride)) return;
  glGetDoublev(GL_MODELVIEW_MATRIX, m_modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, m_projection);
}

bool Sd_SoundingSet::HasLightsToDraw() {
  return m_painter.HasLightsToDraw(DrawingScene(), NoLightsMessage(), m_class.className);
}

void Sd_SoundingSet::ClosePass() {
  m_painter.ClosePass(DrawingScene(), m_painter.ShowSurface() && m_grid.HasCells());
}

void Sd_SoundingSet::Render() {
  if (!HasLightsToDraw()) return;
  const int stride = m_style.Progressive() ? std::max(m_style.LodStep(), 1) : 1;
  glPushMatrix();
  ApplyTransform();
  DrawOverlays(stride);
  m_painter.DrawSurface(DrawingScene(), stride);
  glPopMatrix();
}

int Sd_SoundingSet::StepRender() {
  if (!m_style.Progressive()) {
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
  const bool surface = m_painter.ShowSurface() && m_grid.HasCells();
  if (!m_painter.InPass()) {
    if (!HasLightsToDraw()) {
      SetDrawn(1);
      return 1;
    }
    SetDrawn(0);
    glPushMatrix();
    ApplyTransform();
    const int step = GetBestPass() ? 1 : std::max(m_style.LodStep(), 1);
    m_painter.OpenPass(step);
    DrawOverlays(step);
    if (surface) m_painter.BeginSurface(DrawingScene());
    return 0;
  }
  if (m_painter.DrawPassStrip(DrawingScene(), surface)) return 0;
  // Finish: the pass is drawn.
  ClosePass();
  SetDrawn(1);
  return 1;
}
