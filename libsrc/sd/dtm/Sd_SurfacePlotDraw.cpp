// Surface plot and spectrum: axes and labels, the surface, whole and
// progressive drawing, the surface plot's screen pick.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "Sd_SurfacePlot.h"

namespace {

// Marker half-sizes: codes along z, cells along x and y.
constexpr float kMarkerLength = 600.0f;
constexpr float kMarkerWidth = 2.0f;

}  // namespace

// --- axes ---

void Sd_PlotDTM::DrawAxes() {
  ApplyTransform();
  const float z = m_labelZ;
  glColor4ubv(m_axisColour);
  // OpenGL refuses widths below 1 (a damaged or odd setting draws thin).
  glLineWidth(m_lineWidth >= 1 ? static_cast<float>(m_lineWidth) : 1.0f);
  // Labels centred on their point; alignment 2 hangs a text below it, 0
  // stands it on it.
  m_axisFont.DrawString(m_texts[kXLabel], 0.0f, -0.7f, z, 1, 2, 0);
  m_titleFont.DrawString(m_texts[kTitle], 0.0f, 0.7f, z, 1, 0, 0);
  auto ticks = [&](const std::vector<Tick>& list) {
    for (const Tick& t : list) {
      m_tickFont.DrawString(t.label.c_str(), t.position, -0.55f, z, 1, 2, 0);
      glBegin(GL_LINES);
      glVertex3f(t.position, -0.55f, z);
      glVertex3f(t.position, 0.5f, z);
      glEnd();
    }
  };
  ticks(XTicks());
  // The y axis: the same layout turned a quarter about z.
  glPushMatrix();
  glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
  m_axisFont.DrawString(m_texts[kYLabel], 0.0f, -0.7f, z, 1, 2, 0);
  ticks(YTicks());
  glPopMatrix();
  glLineWidth(1.0f);
}

// --- the surface ---

void Sd_PlotDTM::PutVertex(int i, int r, int c) {
  float* v = m_strip.Vertices() + 3 * i;
  v[0] = static_cast<float>(ColumnPosition(c));
  v[1] = static_cast<float>(r);
  v[2] = ElevationRows()[r][c];
  m_strip.Colours()[i] = ColourRows()[r][c];
}

int Sd_PlotDTM::StrideColumns(int s) const { return GetCols() > s ? (GetCols() - s - 1) / s + 1 : 0; }

void Sd_PlotDTM::DrawRowLine(int r, int s) {
  const int n = StrideColumns(s);
  m_strip.Reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) PutVertex(i, r, i * s);
  m_strip.Point();
  glDrawArrays(GL_LINE_STRIP, 0, n);
}

int Sd_PlotDTM::PutColumnPairs(int r, int s) {
  const int n = StrideColumns(s);
  m_strip.Reserve(2 * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    PutVertex(2 * i, r, i * s);
    PutVertex(2 * i + 1, r + s, i * s);
  }
  m_strip.Point();
  return n;
}

void Sd_PlotDTM::DrawQuadStrip(int r, int s) { glDrawArrays(GL_QUAD_STRIP, 0, 2 * PutColumnPairs(r, s)); }

void Sd_PlotDTM::DrawSurface(int s) {
  if (!HasDrawableGrids()) return;
  Sd_StripArrays::ClientState arrays;
  const int rows = GetRows();
  if (m_drawMode == 1) {
    for (int r = 0; r < rows - s; r += s) DrawQuadStrip(r, s);
    return;
  }
  if (m_drawMode != 0) return;
  for (int r = 0; r < rows - s; r += s) DrawRowLine(r, s);
  // The lines along the columns.
  const int n = rows > s ? (rows - s - 1) / s + 1 : 0;
  m_strip.Reserve(static_cast<size_t>(n));
  for (int c = 0; c < GetCols() - s; c += s) {
    for (int i = 0; i < n; ++i) PutVertex(i, i * s, c);
    m_strip.Point();
    glDrawArrays(GL_LINE_STRIP, 0, n);
  }
}

void Sd_PlotDTM::DrawProgressiveRow(int r, int s) {
  if (m_drawMode == 1) {
    DrawQuadStrip(r, s);
    return;
  }
  if (m_drawMode != 0) return;
  DrawRowLine(r, s);
  // Links from each column of row r to row r + s: one batch of lines for
  // the surface plot, a two-point line per column for the spectrum.
  const int n = PutColumnPairs(r, s);
  if (IsSpectrum()) {
    for (int i = 0; i < n; ++i) glDrawArrays(GL_LINE_STRIP, 2 * i, 2);
  } else {
    glDrawArrays(GL_LINES, 0, 2 * n);
  }
}

// --- drawing passes ---

void Sd_PlotDTM::Render() {
  glPushMatrix();
  glPushMatrix();
  DrawAxes();
  glPopMatrix();
  EnterGridSpace(false);
  DrawSurface(m_drawStep);
  glPopMatrix();
}

int Sd_PlotDTM::StepRender() {
  if (GetRedrawPending()) return AbandonStepPass();
  if (m_stepState == 0) {
    SetDrawn(0);
    glPushMatrix();
    m_pushCount = 1;
    glPushMatrix();
    DrawAxes();
    glPopMatrix();
    EnterGridSpace(false);
    m_currentRow = 0;
    m_stepInUse = GetBestPass() ? 1 : m_passStep;
    m_stepState = 1;
    return 0;
  }
  if (m_stepState == 1) {
    const int s = m_stepInUse;
    // The grids may have been released since the pass began.
    if (!HasDrawableGrids() || m_currentRow >= GetRows() - s) {
      m_stepState = 2;
      return 0;
    }
    {
      Sd_StripArrays::ClientState arrays;
      DrawProgressiveRow(m_currentRow, s);
    }
    m_currentRow += s;
    return 0;
  }
  CloseStepPass();
  SetDrawn(1);
  m_stepState = 0;
  return 1;
}

// --- picks ---

int Sd_SurfacePlot::QueryPoint(SDN_PickIn* request, SDN_PickOut*) {
  if (!request || !HasDrawableGrids()) return 0;
  glPushMatrix();
  EnterGridSpace(false);
  float p[3] = {0.0f, 0.0f, 0.0f};
  const bool picked = PickInFrame(request, p);
  const double col = std::floor(p[0]), row = std::floor(p[1]);
  // Column 0 and row 0 do not take picks.
  if (!picked || !(col > 0.0 && col < GetCols() && row > 0.0 && row < GetRows())) {
    m_pickPos[0] = -1.0f;
    glPopMatrix();
    return 0;
  }
  std::copy(p, p + 3, m_pickPos);
  // Shown at once in the picture being picked in.
  glColor3f(kMarkerGrey, kMarkerGrey, kMarkerGrey);
  glBegin(GL_LINES);
  glVertex3f(p[0], p[1], p[2] - kMarkerLength);
  glVertex3f(p[0], p[1], p[2] + kMarkerLength);
  glVertex3f(p[0], p[1] - kMarkerWidth, p[2]);
  glVertex3f(p[0], p[1] + kMarkerWidth, p[2]);
  glVertex3f(p[0] - kMarkerWidth, p[1], p[2]);
  glVertex3f(p[0] + kMarkerWidth, p[1], p[2]);
  glEnd();
  glFlush();
  glPopMatrix();
  return 0;
}
