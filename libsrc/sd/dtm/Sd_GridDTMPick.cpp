// Grid terrain models: screen picks, value queries and geographic height
// queries.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "DepthPicker.h"
#include "Sd_GridDTM.h"
#include "Sv_Matrix4.h"

int Sd_GridDTM::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request || !request->picker || !HasDrawableGrids()) return 0;
  glPushMatrix();
  EnterGridSpace(false);
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  float g[3] = {-1e10f, -1e10f, -1e10f};
  bool onGrid = false;
  if (request->picker->SetModelMatrix(modelView) == 0 &&
      request->picker->Pick(static_cast<short>(request->x), static_cast<short>(request->y), &g[0], &g[1], &g[2]) ==
          0) {
    const double fgx = std::floor(g[0]);
    const double fgy = std::floor(g[1]);
    onGrid = fgx >= 0.0 && fgx <= GetCols() - 2 && fgy >= 0.0 && fgy <= GetRows() - 2;
  }
  double height = 0.0;
  unsigned colour = 0;
  const int row = onGrid ? static_cast<int>(g[1]) : 0;
  const int col = onGrid ? static_cast<int>(g[0]) : 0;
  const bool hit = onGrid && Blend(row, col, g[1] - std::floor(g[1]), g[0] - std::floor(g[0]), &height, &colour);
  if (hit || (onGrid && m_rules.keepRefusedPickPosition)) {
    m_pickPos[0] = g[0];
    m_pickPos[1] = g[1];
    m_pickPos[2] = g[2];
  } else {
    m_pickPos[0] = -1.0f;
  }
  if (hit) {
    const double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
    const double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
    // Bounds without extent put every column (row) at their minimum.
    const double x = std::fabs(dx) > 1e-9 ? g[0] / (GetCols() - 1.0) * dx + m_bounds[0] : m_bounds[0];
    const double y = std::fabs(dy) > 1e-9 ? g[1] / (GetRows() - 1.0) * dy + m_bounds[2] : m_bounds[2];
    SDN_PickOut* shared = GetSharedPick();
    shared->colour = colour;
    double value = 0.0;
    const bool hasValue = AltValueAt(row, col, &value);
    if (hasValue) shared->value = value;
    if (out && request->mode == 0) {
      out->x = x;
      out->y = y;
      out->z = height;
      if (hasValue) out->value = value;
      out->colour = colour;
      out->node = this;
      out->found = 1;
    }
  }
  glPopMatrix();
  return hit ? 1 : 0;
}

int Sd_GridDTM::ValueAt(double x, double y, int user) {
  if (!HasDrawableGrids()) return 0;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return 0;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  const double row = std::floor(ry);
  const double col = std::floor(cx);
  if (!(row >= 0.0 && row <= GetRows() - 2 && col >= 0.0 && col <= GetCols() - 2)) return 1;
  const int r = static_cast<int>(row);
  const int c = static_cast<int>(col);
  double height = 0.0;
  unsigned colour = 0;
  if (!Blend(r, c, ry - row, cx - col, &height, &colour)) return 0;
  SDN_PickOut* shared = GetSharedPick();
  shared->colour = colour;
  double value = 0.0;
  if (AltValueAt(r, c, &value)) shared->value = value;
  SetQueryPoint(x, y, height);
  CallQueryCallback(x, y, height, user);
  return 1;
}

double Sd_GridDTM::GeoPickPoint(double x, double y, unsigned* colour) {
  if (!HasDrawableGrids()) return SD_PICK_NO_SURFACE;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return SD_PICK_NO_SURFACE;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  double row = std::floor(ry);
  double col = std::floor(cx);
  double fy = ry - row;
  double fx = cx - col;
  // On the top (right) edge the cell below (left) answers, at its far side,
  // so the edge node's own height comes back.
  if (row >= GetRows() - 1) {
    row = GetRows() - 2;
    fy = 1.0;
  }
  if (col >= GetCols() - 1) {
    col = GetCols() - 2;
    fx = 1.0;
  }
  if (!(row >= 0.0 && col >= 0.0)) return SD_PICK_NO_SURFACE;
  double height = 0.0;
  unsigned c = 0;
  if (!Blend(static_cast<int>(row), static_cast<int>(col), fy, fx, &height, &c)) return SD_PICK_NO_SURFACE;
  if (colour) *colour = c;
  return height;
}
