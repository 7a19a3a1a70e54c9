// Terrain base class: grid space, grid positions, the visible window of the
// grid and the drawing stride.
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "Sd_BaseDTM.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Types.h"

namespace {

// Depth of the eye-space point on the view axis whose row starts a
// progressive pass.
constexpr float kCentreDepth = -5000.0f;

// The point of the view axis at kCentreDepth in normalised device
// coordinates; false when the projection maps it nowhere.
bool CentreInDevice(const float p[16], float ndc[3]) {
  const double z = kCentreDepth;
  const double w = p[11] * z + p[15];
  if (!(std::fabs(w) > 1e-30)) return false;
  ndc[0] = static_cast<float>((p[8] * z + p[12]) / w);
  ndc[1] = static_cast<float>((p[9] * z + p[13]) / w);
  ndc[2] = static_cast<float>((p[10] * z + p[14]) / w);
  return std::isfinite(ndc[0]) && std::isfinite(ndc[1]) && std::isfinite(ndc[2]);
}

}  // namespace

void Sd_BaseDTM::EnterGridSpace(bool boundingBox) {
  ApplyTransform();
  if (boundingBox) DrawBoundingBox();
  const float sx = m_cols > 1 ? 1.0f / static_cast<float>(m_cols - 1) : 1.0f;
  const float sy = m_rows > 1 ? 1.0f / static_cast<float>(m_rows - 1) : 1.0f;
  const float sz = 1.0f / static_cast<float>(CodeDivisor());
  glTranslatef(-0.5f, -0.5f, -0.5f);
  glScalef(sx, sy, sz);
}

bool Sd_BaseDTM::HeightInRange(double height) const {
  const double lo = m_bounds[4];
  const double hi = m_bounds[5];
  // The top code converts to zmax only up to rounding.
  const double tolerance = 1e-9 * std::max({1.0, std::fabs(lo), std::fabs(hi)});
  return height >= lo - tolerance && height <= hi + tolerance;
}

void Sd_BaseDTM::GridPosition(double x, double y, double* ry, double* cx) const {
  // Single precision, as the grid's own coordinates are.
  const float dx = m_bounds[1] - m_bounds[0];
  const float dy = m_bounds[3] - m_bounds[2];
  *cx = dx != 0.0f ? static_cast<float>((x - m_bounds[0]) / dx) * static_cast<float>(m_cols - 1) : 0.0f;
  *ry = dy != 0.0f ? static_cast<float>((y - m_bounds[2]) / dy) * static_cast<float>(m_rows - 1) : 0.0f;
}

int Sd_BaseDTM::Optimize() { return Optimize(FrameState().CurrentView()); }

int Sd_BaseDTM::Optimize(const Sd_DTMView& view) {
  if (m_rows < 1 || m_cols < 1) return 0;
  float pm[16], inverse[16];
  MultMatrix4(pm, view.projection, view.modelview);
  InvertMatrix4(inverse, pm);

  const float box[6] = {0.0f, static_cast<float>(m_cols - 1), 0.0f, static_cast<float>(m_rows - 1), 0.0f,
                        static_cast<float>(CodeDivisor())};
  float visible[6];
  if (!ComputeVisibleBox(pm, inverse, box, visible)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Optimize: No bounds!", "Giving up.");
    return 0;
  }
  for (int i = 0; i < 6; ++i) {
    if (!std::isfinite(visible[i])) visible[i] = box[i];
  }

  auto toIndex = [](double v, int limit) {
    if (!(v > 0.0)) return 0;
    return v >= limit ? limit : static_cast<int>(v);
  };
  int colStart = toIndex(std::floor(visible[0]), m_cols);
  int colEnd = toIndex(std::ceil(visible[1]), m_cols);
  int rowStart = toIndex(std::floor(visible[2]), m_rows);
  int rowEnd = toIndex(std::ceil(visible[3]), m_rows);
  if (colEnd < m_cols) ++colEnd;
  if (rowEnd < m_rows) ++rowEnd;

  const float factor = GetDetailBudget();
  if (m_autoLod && factor != 0.0f) {
    const float size = EstimateScreenSize(pm, visible);
    const long long cells = static_cast<long long>(colEnd - colStart) * (rowEnd - rowStart);
    unsigned flags = GetDetailFlags();
    ChooseDetailLevel(&m_lodStep, &m_minStep, size, cells > INT_MAX ? INT_MAX : static_cast<int>(cells),
                      view.viewport[2], view.viewport[3], factor, &flags, 0);
    SetDetailFlags(flags);
  } else {
    m_minStep = 1;
  }
  if (m_lodStep < 1) m_lodStep = 1;
  if (m_minStep < 1) m_minStep = 1;

  AlignRangeToStep(&colStart, &colEnd, m_lodStep, m_cols);
  AlignRangeToStep(&rowStart, &rowEnd, m_lodStep, m_rows);
  m_colStart = colStart;
  m_colEnd = colEnd;
  m_rowStart = rowStart;
  m_rowEnd = rowEnd;

  // A progressive pass starts at the row under the view centre, taken
  // within the window so that it never draws rows the window leaves out.
  int centre = GetViewCentreRow(view.projection, inverse);
  if (centre >= m_rowEnd) centre = m_rowEnd - 1;
  if (centre < m_rowStart) centre = m_rowStart;
  m_upRow = m_downRow = centre;
  return 1;
}

int Sd_BaseDTM::GetViewCentreRow(const float projection[16], const float inverse[16]) const {
  if (m_rows < 1) return 0;
  float ndc[3], grid[3];
  double row = 0.5 * (m_rows - 1);
  if (projection && inverse && CentreInDevice(projection, ndc)) {
    TransformPoint4(grid, inverse, ndc[0], ndc[1], ndc[2]);
    if (std::isfinite(grid[1])) row = std::floor(grid[1]);
  }
  if (row < 0.0) return 0;
  if (row > m_rows - 1) return m_rows - 1;
  return static_cast<int>(row);
}

void Sd_BaseDTM::GetViewCentre(const float projection[16], const float inverse[16], float* row,
                               float* col) const {
  float ndc[3] = {0.0f, 0.0f, 0.0f};
  float grid[3] = {0.5f * (m_cols - 1), 0.5f * (m_rows - 1), 0.0f};
  if (projection && inverse && CentreInDevice(projection, ndc)) {
    TransformPoint4(grid, inverse, 0.0f, 0.0f, ndc[2]);
  }
  if (row) *row = grid[1];
  if (col) *col = grid[0];
}

// --- drawing and picking toolkit ---

void Sd_BaseDTM::BeginBlending() {
  if (m_alpha == 255) return;
  EnableBlending(m_alpha);
}

void Sd_BaseDTM::EndBlending() { DisableBlending(); }

void Sd_BaseDTM::CloseStepPass() {
  for (; m_pushCount > 0; --m_pushCount) glPopMatrix();
  EndBlending();
  m_pushCount = 0;
}

bool Sd_BaseDTM::CellFilled(int, int) const { return true; }

bool Sd_BaseDTM::AltValueAt(int, int, double*) const { return false; }

bool Sd_BaseDTM::Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const {
  if (!CellFilled(row, col)) return false;
  if (!HeightInRange(CodeToHeight(ElevationRows()[row][col]))) return false;
  const double w00 = (1.0 - fy) * (1.0 - fx);
  const double w10 = fy * (1.0 - fx);
  const double w01 = (1.0 - fy) * fx;
  const double w11 = fy * fx;
  const unsigned short* r0 = ElevationRows()[row];
  const unsigned short* r1 = ElevationRows()[row + 1];
  const double code = w00 * r0[col] + w10 * r1[col] + w01 * r0[col + 1] + w11 * r1[col + 1];
  *height = CodeToHeight(code);
  const unsigned* c0 = ColourRows()[row];
  const unsigned* c1 = ColourRows()[row + 1];
  unsigned channel[3];
  for (int k = 0; k < 3; ++k) {
    const int shift = 8 * k;
    const double v = w00 * ((c0[col] >> shift) & 0xFFu) + w10 * ((c1[col] >> shift) & 0xFFu) +
                     w01 * ((c0[col + 1] >> shift) & 0xFFu) + w11 * ((c1[col + 1] >> shift) & 0xFFu);
    channel[k] = v <= 0.0 ? 0u : (v >= 255.0 ? 255u : static_cast<unsigned>(v));
  }
  *colour = PackColour(channel[0], channel[1], channel[2], 255);
  return true;
}
