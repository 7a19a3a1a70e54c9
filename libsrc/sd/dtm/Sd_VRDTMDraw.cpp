// VR terrain model: strips, the full-resolution window, the pick marker,
// whole and progressive drawing, screen picks.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "Sd_VRDTM.h"
#include "Sv_Texture.h"

namespace {

// Marker half-sizes (codes along z, cells along x and y): in a whole
// drawing, at the end of a progressive pass, at the pick itself.
constexpr float kWholeMarker[2] = {10000.0f, 100.0f};
constexpr float kPassMarker[2] = {5000.0f, 10.0f};
constexpr float kPickMarker[2] = {1000.0f, 3.0f};

bool DrawsSolid(short mode) { return mode == 1 || mode == 2 || mode == 4; }

}  // namespace

// --- strips ---

bool Sd_VRDTM::InGrownWindow(int r, int r2, int c, int next) const {
  // The pair's rows and the columns up to the next pair meet the window: a
  // window narrower than the stride is cut out of the coarse surface too.
  const int m = m_windowMargin;
  return m_windowRowStart - m <= r2 && r <= m_windowRowEnd + m && m_windowColStart - m <= next &&
         c <= m_windowColEnd + m;
}

void Sd_VRDTM::DrawStrip(int r, int r2, int colStart, int colEnd, int s, FullResBounds* window) {
  const bool solid = m_drawMode != 0;
  if (colEnd - colStart < 1 || (solid && !DrawsSolid(m_drawMode))) return;
  unsigned short* const* h = ElevationRows();
  unsigned int* const* colours = ColourRows();
  const bool textured = solid && Textured();
  const unsigned parts = Sd_StripArrays::kColours | (textured ? Sd_StripArrays::kTexCoords : 0u);
  Sd_StripArrays::ClientState on(parts);
  m_strip.Reserve(2 * (static_cast<size_t>(colEnd - colStart - 1) / s + 2), parts);
  float* v = m_strip.Vertices();
  float* tex = textured ? m_strip.TexCoords() : nullptr;
  unsigned* colour = m_strip.Colours();
  // The texture repeats m_textureRepeatX times over the columns and
  // m_textureRepeatY times over the rows.
  const float sScale = m_textureRepeatX / static_cast<float>(GetCols());
  const float tScale = m_textureRepeatY / static_cast<float>(GetRows());
  if (textured) m_texture->Apply(m_texEnvMode);
  m_strip.Point(parts);
  if (!solid) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);

  GLint n = 0, first = 0;
  auto node = [&](int row, int c) {
    v[3 * n] = static_cast<float>(c);
    v[3 * n + 1] = static_cast<float>(row);
    v[3 * n + 2] = h[row][c];
    colour[n] = colours[row][c];
    if (tex) {
      tex[2 * n] = static_cast<float>(c) * sScale;
      tex[2 * n + 1] = static_cast<float>(row) * tScale;
    }
    ++n;
  };
  // Draws the strip gathered since the last break.
  auto flush = [&] {
    if (n - first >= 4) glDrawArrays(GL_QUAD_STRIP, first, n - first);
    first = n;
  };
  // Columns at the stride, then the last column, so the surface reaches the
  // grid's edge at any stride.
  for (int c = colStart, prev = colStart;;) {
    const int next = std::min(c + s, colEnd - 1);
    bool leftOut = solid && (NoData(r, c) || NoData(r2, c));
    if (window && InGrownWindow(r, r2, c, next)) {
      // The window is drawn at full resolution: the coarse quads on either
      // side of this pair become part of it.
      leftOut = true;
      window->rowStart = std::min(window->rowStart, r);
      window->rowEnd = std::max(window->rowEnd, r2 + 1);
      window->colStart = std::min(window->colStart, prev);
      window->colEnd = std::max(window->colEnd, next + 1);
    }
    if (leftOut) {
      flush();
    } else {
      node(r, c);
      node(r2, c);
    }
    if (c >= colEnd - 1) break;
    prev = c;
    c = next;
  }
  flush();

  if (!solid) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  if (textured) m_texture->Disable();
}

void Sd_VRDTM::DrawFullResWindow(FullResBounds b) {
  b.rowStart = std::max(b.rowStart, 0);
  b.colStart = std::max(b.colStart, 0);
  b.rowEnd = std::min(b.rowEnd, GetRows());
  b.colEnd = std::min(b.colEnd, GetCols());
  for (int r = b.rowStart; r + 1 < b.rowEnd; ++r) DrawStrip(r, r + 1, b.colStart, b.colEnd, 1, nullptr);
}

void Sd_VRDTM::DrawMarker(float halfLength, float halfWidth) const {
  const float x = m_pickPos[0], y = m_pickPos[1], z = m_pickPos[2];
  glColor3f(kMarkerGrey, kMarkerGrey, kMarkerGrey);
  glBegin(GL_LINES);
  glVertex3f(x, y, z - halfLength);
  glVertex3f(x, y, z + halfLength);
  glVertex3f(x, y - halfWidth, z);
  glVertex3f(x, y + halfWidth, z);
  glVertex3f(x - halfWidth, y, z);
  glVertex3f(x + halfWidth, y, z);
  glEnd();
}

// --- drawing passes ---

Sd_BaseDTM::PassHooks Sd_VRDTM::VRPassHooks(bool whole, FullResBounds* window) {
  return {[this, whole] {
            if (!HasDrawableGrids()) return false;
            // A largest code of 0 keeps the divisor it is drawn with.
            m_maxCode = static_cast<unsigned short>(CodeDivisor());
            EnterGridSpace(true);
            glGetDoublev(GL_MODELVIEW_MATRIX, m_viewMatrix);
            // The whole grid, from row 0 upwards; a progressive pass draws
            // at the pass step (half the toolkit's coarse step), or at
            // stride 1 in the best pass.
            m_rowStart = m_upRow = m_downRow = 0;
            m_colStart = 0;
            m_rowEnd = GetRows();
            m_colEnd = GetCols();
            m_lodStep = whole ? m_drawStep : 2 * m_passStep;
            m_minStep = 1;
            if (whole && m_drawMode == 0 && m_texture) DisableTexture();
            // A pass in a mode that draws no surface ends at once.
            return whole || m_drawMode == 0 || DrawsSolid(m_drawMode);
          },
          [this, whole, window](int r, int r2, int s) {
            DrawStrip(r, r2, 0, GetCols(), s, whole && m_windowMode && DrawsSolid(m_drawMode) ? window : nullptr);
          },
          [this, whole, window] {
            if (whole && m_windowMode && DrawsSolid(m_drawMode)) DrawFullResWindow(*window);
            // The marker stays until the next pick: every drawing shows it.
            if (!m_windowMode && m_pickPos[0] != -1.0f) {
              const float* size = whole ? kWholeMarker : kPassMarker;
              DrawMarker(size[0], size[1]);
            }
          }};
}

void Sd_VRDTM::Render() {
  FullResBounds window = {m_windowRowStart, m_windowRowEnd, m_windowColStart, m_windowColEnd};
  DrawWholePass(VRPassHooks(true, &window));
}

int Sd_VRDTM::StepRender() { return StepPass(VRPassHooks(false, nullptr)); }

// --- picks ---

int Sd_VRDTM::QueryPoint(SDN_PickIn* request, SDN_PickOut*) {
  if (!request || !request->picker || !HasDrawableGrids()) return 0;
  glPushMatrix();
  EnterGridSpace(false);
  float p[3] = {0.0f, 0.0f, 0.0f};
  const bool picked = PickInFrame(request, p);
  const double col = std::floor(p[0]), row = std::floor(p[1]);
  // Column 0 and row 0 do not take picks.
  if (!picked || !(col >= 1.0 && col < GetCols() && row >= 1.0 && row < GetRows())) {
    m_pickPos[0] = -1.0f;
    glPopMatrix();
    return 0;
  }
  std::copy(p, p + 3, m_pickPos);
  m_pickCell[0] = static_cast<int>(row);
  m_pickCell[1] = static_cast<int>(col);
  if (m_windowMode) SetWindowCenter(m_pickCell[0], m_pickCell[1]);

  // The point in the units of the bounds; an axis without extent gives its
  // minimum.
  auto geo = [this](int axis, double t, double divisor) {
    const double lo = m_bounds[2 * axis], range = static_cast<double>(m_bounds[2 * axis + 1]) - lo;
    return range > 1e-9 ? range * t / divisor + lo : lo;
  };
  const double gx = geo(0, p[0], GetCols() - 1), gy = geo(1, p[1], GetRows() - 1), gz = geo(2, p[2], 65535.0);
  SetQueryPoint(gx, gy, gz);
  CallQueryCallback(gx, gy, gz, request->mode);

  // Shown at once in the picture being picked in; the drawings after this
  // keep showing it.
  if (!m_windowMode) {
    DrawMarker(kPickMarker[0], kPickMarker[1]);
    glFlush();
  }
  glPopMatrix();
  return 0;
}
