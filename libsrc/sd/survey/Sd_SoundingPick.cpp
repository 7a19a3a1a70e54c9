// Sounding data sets: screen picks, value look-ups, the selection window of
// cells with its lists and outline, and the window's keyboard commands.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "Sd_SoundingSelection.h"
#include "Sd_SoundingSet.h"

namespace {

// Moves from the unit box into the frame in which the centre of cell (row,
// col) of height h is (col, row, h). Without a z extent the heights keep
// their unit scale, so the frame stays invertible (x and y do not depend
// on it).
void EnterGridFrame(int rows, int cols, double zMin, double zMax) {
  const double zExtent = zMax - zMin;
  const double zScale = zExtent > 0.0 ? 1.0 / zExtent : 1.0;
  glTranslated(0.5 / cols - 0.5, 0.5 / rows - 0.5, -0.5);
  glScaled(1.0 / cols, 1.0 / rows, zScale);
  glTranslated(0.0, 0.0, -zMin);
}

bool HasHeight(float h) { return h != Sd_SoundingGrid::kNoHeight; }

}  // namespace

// --- picks ---

int Sd_SoundingSet::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request) return 0;
  if (request->mode == 1 && request->subMode == 2) return 0;
  int result = 0;
  glPushMatrix();
  if (request->mode == 1) {
    const int rows = m_grid.Rows(), cols = m_grid.Cols();
    if (SelectsOnAction(request->subMode) && rows > 0 && cols > 0) {
      ApplyTransform();
      EnterGridFrame(rows, cols, m_extent.zMin, m_extent.zMax);
      float w[3];
      // The cell is tested in floating point: a miss lies far outside.
      if (PickInFrame(request, w)) {
        const double row = std::floor(static_cast<double>(w[1]) + 0.5);
        const double col = std::floor(static_cast<double>(w[0]) + 0.5);
        if (row >= 0.0 && row < rows && col >= 0.0 && col < cols) {
          SelectWindow(static_cast<int>(row), static_cast<int>(col), 0);
          ReportProgress(0, 0);
          result = 1;
        }
      }
    }
  } else if (request->mode == 0) {
    ApplyTransform();
    float w[3];
    const bool picked = PickInFrame(request, w);
    const bool inBox = picked && w[0] >= -0.5f && w[0] <= 0.5f && w[1] >= -0.5f && w[1] <= 0.5f;
    const float* bx = &m_bounds[0];
    const float* by = &m_bounds[2];
    const float* bz = &m_bounds[4];
    if (inBox && std::fabs(static_cast<double>(bz[1]) - bz[0]) > 1e-9) {
      const double x = (w[0] + 0.5) * (static_cast<double>(bx[1]) - bx[0]) + bx[0];
      const double y = (w[1] + 0.5) * (static_cast<double>(by[1]) - by[0]) + by[0];
      const float rowPos = (w[1] + 0.5f) * static_cast<float>(m_grid.Rows()) - 0.5f;
      const float colPos = (w[0] + 0.5f) * static_cast<float>(m_grid.Cols()) - 0.5f;
      const int row = static_cast<int>(rowPos);
      const int col = static_cast<int>(colPos);
      float z = 0.0f;
      // A point whose four cells hold no height is no answer.
      if (m_grid.IsCell(row, col) && InterpolateCell(row, col, rowPos, colPos, &z)) {
        SDN_PickOut* shared = GetSharedPick();
        shared->colour = std::as_const(m_grid).Colours()[m_grid.CellIndex(row, col)];
        shared->value = 0.0;
        if (out) {
          out->x = x;
          out->y = y;
          out->z = z;
          out->colour = shared->colour;
          out->node = this;
          out->found = 1;
        }
        result = 1;
      }
    }
  }
  glPopMatrix();
  return result;
}

int Sd_SoundingSet::ValueAt(double x, double y, int user) {
  const float* b = m_bounds;
  if (!(x >= b[0] && x <= b[1] && y >= b[2] && y <= b[3])) return 0;
  // Bounds without extent hold no cell.
  if (!(b[1] > b[0] && b[3] > b[2])) return 0;
  const int rows = m_grid.Rows(), cols = m_grid.Cols();
  const float rowPos = static_cast<float>((y - b[2]) / (static_cast<double>(b[3]) - b[2])) * rows;
  const float colPos = static_cast<float>((x - b[0]) / (static_cast<double>(b[1]) - b[0])) * cols;
  const float row0 = std::floor(rowPos);
  const float col0 = std::floor(colPos);
  if (row0 < 0.0f || row0 >= rows - 1 || col0 < 0.0f || col0 >= cols - 1) return 0;
  const int row = static_cast<int>(row0);
  const int col = static_cast<int>(col0);
  const float fr = rowPos - row0;
  const float fc = colPos - col0;
  const double h00 = m_grid.Height(row, col);
  const double h01 = m_grid.Height(row, col + 1);
  const double h10 = m_grid.Height(row + 1, col);
  const double h11 = m_grid.Height(row + 1, col + 1);
  const int found = HasHeight(static_cast<float>(h00)) && HasHeight(static_cast<float>(h01)) &&
                            HasHeight(static_cast<float>(h10)) && HasHeight(static_cast<float>(h11))
                        ? 1
                        : 0;
  SDN_PickOut* shared = GetSharedPick();
  shared->colour = std::as_const(m_grid).Colours()[m_grid.CellIndex(row, col)];
  shared->value = 0.0;
  // The blend of the stored values, as the callback is told it whether or
  // not all four cells hold a height.
  const double z = (1 - fr) * (1 - fc) * h00 + (1 - fc) * fr * h10 + (1 - fr) * fc * h01 + fr * fc * h11;
  SetQueryPoint(x, y, z);
  CallQueryCallback(x, y, z, user);
  return found;
}

// --- the selection window ---

void Sd_SoundingSelection::ClearMarks(const std::vector<int>& list) {
  for (int index : list) {
    if (unsigned char* mark = m_records.SoundingMark(index)) *mark = 0;
  }
}

void Sd_SoundingSelection::Drop() {
  ClearMarks(m_selIndices);
  ClearMarks(m_selectedList);
  std::vector<int>().swap(m_selIndices);
  std::vector<int>().swap(m_selectedList);
  std::vector<float>().swap(m_outline);
  for (int& w : m_window) w = -1;
  m_selRow = m_selCol = -1;
}

bool Sd_SoundingSelection::SelectWindow(Sd_SoundingGrid& grid, double zMin, int row, int col) {
  const int rows = grid.Rows(), cols = grid.Cols();
  if (rows < 1 || cols < 1) return false;
  Sd_SoundingCell* cells = grid.Cells();
  // The window's old cells and soundings lose their marks.
  if (m_window[0] != -1) {
    for (int r = std::max(m_window[0], 0); r <= std::min(m_window[1], rows - 1); ++r) {
      for (int c = std::max(m_window[2], 0); c <= std::min(m_window[3], cols - 1); ++c) {
        cells[grid.CellIndex(r, c)].mark = 0;
        int n = 0;
        const int* list = grid.CellSoundings(r, c, &n);
        for (int k = 0; k < n; ++k) {
          if (unsigned char* mark = m_records.SoundingMark(list[k])) *mark = 0;
        }
      }
    }
  }
  if (2 * m_selRadius + 1 > rows || 2 * m_selRadius + 1 > cols) {
    m_selRadius = std::max(std::min(rows, cols) / 2 - 1, 0);
  }
  const int r = m_selRadius;
  // A centre beyond the grid places the window as the grid's edge cell
  // does.
  row = std::clamp(row, 0, rows - 1);
  col = std::clamp(col, 0, cols - 1);
  int* w = m_window;
  w[0] = row - r;
  w[1] = row + r;
  w[2] = col - r;
  w[3] = col + r;
  for (int axis = 0; axis < 2; ++axis) {
    int& first = w[2 * axis];
    int& last = w[2 * axis + 1];
    const int size = axis == 0 ? rows : cols;
    if (first < 0) {
      last -= first;
      first = 0;
    }
    if (last >= size - 1) {
      last = size - 1;
      first = last - 2 * r;
    }
  }
  m_selSize = 2 * r + 1;
  m_selRow = std::clamp(row, r, rows - r - 1);
  m_selCol = std::clamp(col, r, cols - r - 1);

  Notify(0);
  // The selected list goes with the window; its records lose their marks.
  ClearMarks(m_selectedList);
  std::vector<int>().swap(m_selIndices);
  std::vector<int>().swap(m_selectedList);
  size_t count = 0;
  for (int rr = w[0]; rr <= w[1]; ++rr) {
    for (int c = w[2]; c <= w[3]; ++c) {
      Sd_SoundingCell& cell = cells[grid.CellIndex(rr, c)];
      cell.mark = 1;
      count += static_cast<size_t>(cell.count);
    }
  }
  m_selIndices.reserve(count);
  m_selectedList.reserve(count);
  for (int rr = w[0]; rr <= w[1]; ++rr) {
    for (int c = w[2]; c <= w[3]; ++c) {
      int n = 0;
      const int* list = grid.CellSoundings(rr, c, &n);
      m_selIndices.insert(m_selIndices.end(), list, list + n);
    }
  }
  Sort(m_sortKey, 1);
  Notify(1);
  BuildOutline(grid, zMin);
  return true;
}

double Sd_SoundingSelection::CornerHeight(const Sd_SoundingGrid& grid, double zMin, int row, int col) {
  double sum = 0.0;
  int n = 0;
  for (int r = row - 1; r <= row; ++r) {
    for (int c = col - 1; c <= col; ++c) {
      if (!grid.IsCell(r, c)) continue;
      const float h = grid.Height(r, c);
      sum += HasHeight(h) ? h : zMin;
      ++n;
    }
  }
  return (n > 0 ? sum / n : zMin) + 0.25;
}

void Sd_SoundingSelection::BuildOutline(const Sd_SoundingGrid& grid, double zMin) {
  m_outline.clear();
  const int rows = grid.Rows(), cols = grid.Cols();
  if (m_window[0] == -1 || rows < 1 || cols < 1) return;
  const int s = m_selSize;
  const int r0 = m_window[0];
  const int c0 = m_window[2];
  const int c1 = m_window[3];
  m_outline.reserve(static_cast<size_t>(12) * s);
  const auto add = [&](int r, int c) {
    m_outline.push_back(static_cast<float>(c) / cols - 0.5f);
    m_outline.push_back(static_cast<float>(r) / rows - 0.5f);
    m_outline.push_back(static_cast<float>(CornerHeight(grid, zMin, r, c)));
  };
  for (int i = 0; i <= s; ++i) add(r0, c0 + i);
  for (int i = 1; i <= s - 1; ++i) add(r0 + i, c1 + 1);
  for (int i = s; i >= 0; --i) add(r0 + s, c0 + i);
  for (int i = s - 1; i >= 1; --i) add(r0 + i, c0);
}

bool Sd_SoundingSelection::Command(int code, int* row, int* col, int* centre) {
  int& r = m_selRadius;
  // Resizing, round the same centre.
  const int resized = code == 1    ? std::max(r - 1, 0)
                      : code == 2  ? r + 1
                      : code == 11 ? r / 2
                      : code == 12 ? (r > 1 ? r + r / 2 : r + 3)
                                   : -1;
  if (resized >= 0) {
    r = resized;
    *row = m_selRow;
    *col = m_selCol;
    *centre = 0;
    return true;
  }
  // Moving by a cell, a window (a cell when the radius is 0) or a radius
  // (3 cells when it is 0), centred.
  enum Step { kCell, kWindow, kRadius };
  struct Move {
    int code, dRow, dCol;
    Step step;
  };
  static constexpr Move kMoves[] = {{3, -1, 0, kWindow}, {4, 1, 0, kWindow},   {5, 0, -1, kWindow},
                                    {6, 0, 1, kWindow},  {7, 0, -1, kCell},    {8, 0, 1, kCell},
                                    {9, -1, 0, kCell},   {10, 1, 0, kCell},    {13, 0, -1, kRadius},
                                    {14, 0, 1, kRadius}, {15, -1, 0, kRadius}, {16, 1, 0, kRadius}};
  for (const Move& m : kMoves) {
    if (m.code != code) continue;
    const int step = m.step == kCell ? 1 : m.step == kWindow ? (r == 0 ? 1 : 2 * r + 1) : (r == 0 ? 3 : r);
    *row = m_selRow + m.dRow * step;
    *col = m_selCol + m.dCol * step;
    *centre = 1;
    return true;
  }
  return false;
}

void Sd_SoundingSelection::SetWindow(int firstRow, int lastRow, int firstCol, int lastCol) {
  m_window[0] = firstRow;
  m_window[1] = lastRow;
  m_window[2] = firstCol;
  m_window[3] = lastCol;
}

void Sd_SoundingSelection::Notify(int phase) const {
  if (m_selectCallback) {
    m_selectCallback(phase, m_selIndices.data(), static_cast<int>(m_selIndices.size()), m_selectCallbackData);
  }
}

void Sd_SoundingSelection::NotifyMarked() const {
  if (m_selectCallback) m_selectCallback(2, nullptr, 0, m_selectCallbackData);
}

// --- the selected list ---

void Sd_SoundingSelection::AddSelected(int index) {
  unsigned char* mark = m_records.SoundingMark(index);
  if (!mark) return;
  *mark = 1;
  m_selectedList.push_back(index);
}

void Sd_SoundingSelection::RemoveSelected(int index) {
  const auto at = std::find(m_selectedList.begin(), m_selectedList.end(), index);
  if (at == m_selectedList.end()) return;
  if (unsigned char* mark = m_records.SoundingMark(index)) *mark = 0;
  *at = m_selectedList.back();
  m_selectedList.pop_back();
}

void Sd_SoundingSelection::ClearSelected() {
  ClearMarks(m_selectedList);
  m_selectedList.clear();
}

// --- the data set's window ---

void Sd_SoundingSet::SelectWindow(int row, int col, int centre) {
  if (!m_selection.SelectWindow(m_grid, m_extent.zMin, row, col)) return;
  // The edit list gets room for the window's soundings on first use.
  m_editor.ReserveEditListOnce(m_selection.Indices().size());
  if (centre) {
    const int r = m_selection.CentreRow(), c = m_selection.CentreCol();
    const float h = m_grid.Height(r, c);
    m_selectedPoint[0] = static_cast<float>(c) + 0.5f;
    m_selectedPoint[1] = static_cast<float>(r) + 0.5f;
    m_selectedPoint[2] = h > 1e11f ? static_cast<float>(m_extent.zMin) : h;
    CallCellSelect(m_selectedPoint, m_projection, m_modelview);
  }
}

void Sd_SoundingSet::HandleSelectionCommand(int code) {
  if (code == 19) {
    SetPreShaded(m_style.PreShaded() ? 0 : 1);
    return;
  }
  // Without cells there is no window to move or resize (and the radius,
  // which selecting fits to the grid, stays as it is).
  if (m_grid.Rows() < 1 || m_grid.Cols() < 1) return;
  int row = 0, col = 0, centre = 0;
  if (m_selection.Command(code, &row, &col, &centre)) SelectWindow(row, col, centre);
}

// --- accessors ---

void Sd_SoundingSet::GetWindow(int* firstRow, int* lastRow, int* firstCol, int* lastCol) const {
  const int* w = m_selection.Window();
  if (firstRow) *firstRow = w[0];
  if (lastRow) *lastRow = w[1];
  if (firstCol) *firstCol = w[2];
  if (lastCol) *lastCol = w[3];
}

const int* Sd_SoundingSet::GetSelection(int* count) const {
  if (count) *count = static_cast<int>(m_selection.Indices().size());
  return m_selection.Indices().data();
}

const float* Sd_SoundingSet::GetWindowOutline(int* count) const {
  if (count) *count = static_cast<int>(m_selection.Outline().size() / 3);
  return m_selection.Outline().data();
}

const int* Sd_SoundingSet::GetSelectedList(int* count) const {
  if (count) *count = static_cast<int>(m_selection.Selected().size());
  return m_selection.Selected().data();
}
