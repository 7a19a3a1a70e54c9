// Spherical terrain model: strips, graticule, whole and progressive drawing,
// screen picks.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "Sd_SphereDTM.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A picked point counts as on the shell within this share of the radius
// (the depth buffer's resolution).
constexpr double kShellTolerance = 1e-3;

}  // namespace

// --- strips ---

size_t Sd_SphereDTM::FillStrip(int r, int r2, int s, std::initializer_list<ColumnRun> runs, bool closeRing) {
  unsigned short* const* h = ElevationRows();
  unsigned int* const* colours = ColourRows();
  size_t most = 2;
  for (const ColumnRun& run : runs) most += run.end > run.start ? static_cast<size_t>(run.end - run.start) + 1 : 0;
  m_strip.Reserve(2 * most);
  float* v = m_strip.Vertices();
  unsigned* colour = m_strip.Colours();
  size_t n = 0;
  const float hs = static_cast<float>(m_heightScale), base = static_cast<float>(m_baseRadius);
  auto node = [&](int row, int c) {
    const float rho = h[row][c] * hs + base;
    const float ring = rho * m_latCos[row];
    v[3 * n] = ring * m_lonCos[c];
    v[3 * n + 1] = ring * m_lonSin[c];
    v[3 * n + 2] = rho * m_latSin[row];
    colour[n++] = colours[row][c];
  };
  // Upper node first, so the quads face outwards.
  auto column = [&](int c) {
    node(r2, c);
    node(r, c);
  };
  for (const ColumnRun& run : runs) {
    if (run.end <= run.start) continue;
    // At stride s, then the run's last column, so a coarse stride still
    // reaches the window's edge.
    for (int c = run.start; c < run.end - 1; c += s) column(c);
    column(run.end - 1);
  }
  if (closeRing) column(0);
  return n;
}

void Sd_SphereDTM::DrawColumnRuns(unsigned mode, int r, int r2, int s) {
  auto draw = [&](std::initializer_list<ColumnRun> runs, bool closeRing) {
    const size_t n = FillStrip(r, r2, s, runs, closeRing);
    m_strip.Point();
    glDrawArrays(mode, 0, static_cast<GLsizei>(n));
  };
  const int cols = GetCols();
  if (m_colStart > m_colEnd) {
    // Across the seam: the columns east of the window's start, then those
    // from column 0, in one strip where the grid closes its ring and in two
    // where it does not.
    if (m_wrapsAround) {
      draw({{m_colStart, cols}, {0, m_colEnd}}, false);
    } else {
      draw({{m_colStart, cols}}, false);
      draw({{0, m_colEnd}}, false);
    }
  } else {
    draw({{m_colStart, m_colEnd}}, m_wrapsAround && m_colStart == 0 && m_colEnd == cols);
  }
}

void Sd_SphereDTM::DrawPatchStrip(int r, int r2, int s) { DrawColumnRuns(GL_TRIANGLE_STRIP, r, r2, s); }

void Sd_SphereDTM::DrawWireStrip(int r, int r2, int s) {
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  // The same vertices as quads: lines along rows and columns only.
  DrawColumnRuns(GL_QUAD_STRIP, r, r2, s);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void Sd_SphereDTM::DrawStrip(int r, int r2, int s) {
  if (m_drawMode == 0) {
    DrawWireStrip(r, r2, s);
  } else if (m_drawMode == 1) {
    DrawPatchStrip(r, r2, s);
  }
}

void Sd_SphereDTM::DrawGraticule() const {
  // One line through count graticule points; at(k) gives the k-th point's
  // parallel and meridian.
  auto line = [this](GLenum mode, float width, int count, auto at) {
    glLineWidth(width);
    glBegin(mode);
    for (int k = 0; k < count; ++k) {
      const auto [i, j] = at(k);
      glColor4ubv(reinterpret_cast<const GLubyte*>(&m_graticuleColors[i][j]));
      glVertex3fv(m_graticule[i][j]);
    }
    glEnd();
  };
  // Parallels as loops (the equator wider), then meridians (longitude 0
  // wider).
  for (int i = 0; i < kParallels; ++i) {
    line(GL_LINE_LOOP, i == 8 ? 3.0f : 1.0f, kMeridians, [i](int k) { return std::pair<int, int>(i, k); });
  }
  for (int j = 0; j < kMeridians; ++j) {
    line(GL_LINE_STRIP, j == 0 ? 3.0f : 1.0f, kParallels, [j](int k) { return std::pair<int, int>(k, j); });
  }
  glLineWidth(1.0f);
}

// --- drawing passes ---

Sd_BaseDTM::PassHooks Sd_SphereDTM::SpherePassHooks() {
  return {[this] {
            ApplyTransform();
            DrawBoundingBox();
            return ComputeVisibleWindow() != 0;
          },
          [this](int r, int r2, int s) {
            // The tables may be gone with the grids since the window was made.
            if (static_cast<int>(m_latCos.size()) != GetRows() || static_cast<int>(m_lonCos.size()) != GetCols()) {
              return;
            }
            if (!m_drawBackFaces) glEnable(GL_CULL_FACE);
            DrawStrip(r, r2, s);
            glDisable(GL_CULL_FACE);
          },
          [this] {
            if (m_showGraticule) DrawGraticule();
          }};
}

void Sd_SphereDTM::Render() { DrawWholePass(SpherePassHooks()); }

int Sd_SphereDTM::StepRender() { return StepPass(SpherePassHooks()); }

// --- picks ---

int Sd_SphereDTM::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request || !request->picker || !HasDrawableGrids()) return 0;
  glPushMatrix();
  ApplyTransform();
  float p[3];
  const bool picked = PickInFrame(request, p);
  glPopMatrix();
  if (!picked) return 0;
  const double r = std::sqrt(static_cast<double>(p[0]) * p[0] + static_cast<double>(p[1]) * p[1] +
                             static_cast<double>(p[2]) * p[2]);
  const double outer = OuterRadius();
  if (!(r >= m_baseRadius - kShellTolerance * outer && r <= outer * (1.0 + kShellTolerance)) || !(r > 0.0)) return 0;
  std::copy(p, p + 3, m_pickPoint);
  const double latitude = std::asin(std::clamp(p[2] / r, -1.0, 1.0)) * 180.0 / kPi;
  const double longitude = WrapLongitude(std::atan2(p[1], p[0]) * 180.0 / kPi);
  double height = 0.0;
  unsigned colour = 0;
  if (!HeightAt(static_cast<float>(longitude), static_cast<float>(latitude), &height, &colour)) return 0;
  GetSharedPick()->colour = colour;
  if (out && request->mode == 0) {
    out->x = longitude;
    out->y = latitude;
    out->z = height;
    out->colour = colour;
    out->node = this;
    out->found = 1;
  }
  return 1;
}
