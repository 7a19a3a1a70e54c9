// Sounding data sets: screen picks, value look-ups, the selection window of
// cells with its lists and outline, and the window's keyboard commands.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

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

bool HasHeight(float h) { return h != Sd_SoundingSet::kNoHeight; }

}  // namespace

// --- picks ---

int Sd_SoundingSet::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request) return 0;
  if (request->mode == 1 && request->subMode == 2) return 0;
  int result = 0;
  glPushMatrix();
  if (request->mode == 1) {
    if (SelectsOnAction(request->subMode) && m_rows > 0 && m_cols > 0) {
      ApplyTransform();
      EnterGridFrame(m_rows, m_cols, m_zMin, m_zMax);
      float w[3];
      // The cell is tested in floating point: a miss lies far outside.
      if (PickInFrame(request, w)) {
        const double row = std::floor(static_cast<double>(w[1]) + 0.5);
        const double col = std::floor(static_cast<double>(w[0]) + 0.5);
        if (row >= 0.0 && row < m_rows && col >= 0.0 && col < m_cols) {
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
      const float rowPos = (w[1] + 0.5f) * static_cast<float>(m_rows) - 0.5f;
      const float colPos = (w[0] + 0.5f) * static_cast<float>(m_cols) - 0.5f;
      const int row = static_cast<int>(rowPos);
      const int col = static_cast<int>(colPos);
      float z = 0.0f;
      // A point whose four cells hold no height is no answer.
      if (IsCell(row, col) && InterpolateCell(row, col, rowPos, colPos, &z)) {
        SDN_PickOut* shared = GetSharedPick();
        shared->colour = m_cellColors[CellIndex(row, col)];
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

int Sd_SoundingSet::InterpolateCell(int row, int col, float rowPos, float colPos, float* z) const {
  const float h00 = GetCellHeight(row, col);
  const float h10 = GetCellHeight(row + 1, col);
  const float h01 = GetCellHeight(row, col + 1);
  const float h11 = GetCellHeight(row + 1, col + 1);
  float highest = -1e8f;
  int found = 0;
  for (float h : {h00, h10, h01, h11}) {
    if (!HasHeight(h)) continue;
    found = 1;
    highest = std::max(highest, h);
  }
  if (HasHeight(h00) && HasHeight(h10) && HasHeight(h01) && HasHeight(h11)) {
    const float fr = rowPos - static_cast<float>(row);
    const float fc = colPos - static_cast<float>(col);
    *z = (1 - fr) * (1 - fc) * h00 + (1 - fc) * fr * h10 + (1 - fr) * fc * h01 + fr * fc * h11;
  } else {
    *z = highest;
  }
  return found;
}

int Sd_SoundingSet::ValueAt(double x, double y, int user) {
  const float* b = m_bounds;
  if (!(x >= b[0] && x <= b[1] && y >= b[2] && y <= b[3])) return 0;
  // Bounds without extent hold no cell.
  if (!(b[1] > b[0] && b[3] > b[2])) return 0;
  const float rowPos = static_cast<float>((y - b[2]) / (static_cast<double>(b[3]) - b[2])) * m_rows;
  const float colPos = static_cast<float>((x - b[0]) / (static_cast<double>(b[1]) - b[0])) * m_cols;
  const float row0 = std::floor(rowPos);
  const float col0 = std::floor(colPos);
  if (row0 < 0.0f || row0 >= m_rows - 1 || col0 < 0.0f || col0 >= m_cols - 1) return 0;
  const int row = static_cast<int>(row0);
  const int col = static_cast<int>(col0);
  const float fr = rowPos - row0;
  const float fc = colPos - col0;
  const double h00 = GetCellHeight(row, col);
  const double h01 = GetCellHeight(row, col + 1);
  const double h10 = GetCellHeight(row + 1, col);
  const double h11 = GetCellHeight(row + 1, col + 1);
  const int found = HasHeight(static_cast<float>(h00)) && HasHeight(static_cast<float>(h01)) &&
                            HasHeight(static_cast<float>(h10)) && HasHeight(static_cast<float>(h11))
                        ? 1
                        : 0;
  SDN_PickOut* shared = GetSharedPick();
  shared->colour = m_cellColors[CellIndex(row, col)];
  shared->value = 0.0;
  // The blend of the stored values, as the callback is told it whether or
  // not all four cells hold a height.
  const double z = (1 - fr) * (1 - fc) * h00 + (1 - fc) * fr * h10 + (1 - fr) * fc * h01 + fr * fc * h11;
  SetQueryPoint(x, y, z);
  CallQueryCallback(x, y, z, user);
  return found;
}

// --- the selection window ---

void Sd_SoundingSet::DropSelection() {
  for (const std::vector<int>* list : {&m_selIndices, &m_selectedList}) {
    for (int index : *list) {
      if (unsigned char* mark = SoundingMark(index)) *mark = 0;
    }
  }
  std::vector<int>().swap(m_selIndices);
  std::vector<int>().swap(m_selectedList);
  std::vector<float>().swap(m_outline);
  for (int& w : m_window) w = -1;
  m_selRow = m_selCol = -1;
}

void Sd_SoundingSet::SelectWindow(int row, int col, int centre) {
  if (m_rows < 1 || m_cols < 1) return;
  // The window's old cells and soundings lose their marks.
  if (m_window[0] != -1) {
    for (int r = std::max(m_window[0], 0); r <= std::min(m_window[1], m_rows - 1); ++r) {
      for (int c = std::max(m_window[2], 0); c <= std::min(m_window[3], m_cols - 1); ++c) {
        m_cells[CellIndex(r, c)].mark = 0;
        int n = 0;
        const int* list = GetCellSoundings(r, c, &n);
        for (int k = 0; k < n; ++k) {
          if (unsigned char* mark = SoundingMark(list[k])) *mark = 0;
        }
      }
    }
  }
  if (2 * m_selRadius + 1 > m_rows || 2 * m_selRadius + 1 > m_cols) {
    m_selRadius = std::max(std::min(m_rows, m_cols) / 2 - 1, 0);
  }
  const int r = m_selRadius;
  // A centre beyond the grid places the window as the grid's edge cell
  // does.
  row = std::clamp(row, 0, m_rows - 1);
  col = std::clamp(col, 0, m_cols - 1);
  int* w = m_window;
  w[0] = row - r;
  w[1] = row + r;
  w[2] = col - r;
  w[3] = col + r;
  for (int axis = 0; axis < 2; ++axis) {
    int& first = w[2 * axis];
    int& last = w[2 * axis + 1];
    const int size = axis == 0 ? m_rows : m_cols;
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
  m_selRow = std::clamp(row, r, m_rows - r - 1);
  m_selCol = std::clamp(col, r, m_cols - r - 1);

  if (m_selectCallback)
    m_selectCallback(0, m_selIndices.data(), static_cast<int>(m_selIndices.size()), m_selectCallbackData);
  // The selected list goes with the window; its records lose their marks.
  for (int index : m_selectedList) {
    if (unsigned char* mark = SoundingMark(index)) *mark = 0;
  }
  std::vector<int>().swap(m_selIndices);
  std::vector<int>().swap(m_selectedList);
  size_t count = 0;
  for (int rr = w[0]; rr <= w[1]; ++rr) {
    for (int c = w[2]; c <= w[3]; ++c) {
      Sd_SoundingCell& cell = m_cells[CellIndex(rr, c)];
      cell.mark = 1;
      count += static_cast<size_t>(cell.count);
    }
  }
  m_selIndices.reserve(count);
  m_selectedList.reserve(count);
  if (m_editList.capacity() == 0) m_editList.reserve(count);
  for (int rr = w[0]; rr <= w[1]; ++rr) {
    for (int c = w[2]; c <= w[3]; ++c) {
      int n = 0;
      const int* list = GetCellSoundings(rr, c, &n);
      m_selIndices.insert(m_selIndices.end(), list, list + n);
    }
  }
  SortRecords(m_sortKey, 1);
  NotifySelection();
  BuildWindowOutline();
  if (centre) {
    const float h = GetCellHeight(m_selRow, m_selCol);
    m_selectedPoint[0] = static_cast<float>(m_selCol) + 0.5f;
    m_selectedPoint[1] = static_cast<float>(m_selRow) + 0.5f;
    m_selectedPoint[2] = h > 1e11f ? static_cast<float>(m_zMin) : h;
    CallCellSelect(m_selectedPoint, m_projection, m_modelview);
  }
}

double Sd_SoundingSet::CornerHeight(int row, int col) const {
  double sum = 0.0;
  int n = 0;
  for (int r = row - 1; r <= row; ++r) {
    for (int c = col - 1; c <= col; ++c) {
      if (!IsCell(r, c)) continue;
      const float h = m_cellHeights[CellIndex(r, c)];
      sum += HasHeight(h) ? h : m_zMin;
      ++n;
    }
  }
  return (n > 0 ? sum / n : m_zMin) + 0.25;
}

void Sd_SoundingSet::BuildWindowOutline() {
  m_outline.clear();
  if (m_window[0] == -1 || m_rows < 1 || m_cols < 1) return;
  const int s = m_selSize;
  const int r0 = m_window[0];
  const int c0 = m_window[2];
  const int c1 = m_window[3];
  m_outline.reserve(static_cast<size_t>(12) * s);
  const auto add = [this](int r, int c) {
    m_outline.push_back(static_cast<float>(c) / m_cols - 0.5f);
    m_outline.push_back(static_cast<float>(r) / m_rows - 0.5f);
    m_outline.push_back(static_cast<float>(CornerHeight(r, c)));
  };
  for (int i = 0; i <= s; ++i) add(r0, c0 + i);
  for (int i = 1; i <= s - 1; ++i) add(r0 + i, c1 + 1);
  for (int i = s; i >= 0; --i) add(r0 + s, c0 + i);
  for (int i = s - 1; i >= 1; --i) add(r0 + i, c0);
}

void Sd_SoundingSet::HandleSelectionCommand(int code) {
  if (code == 19) {
    SetPreShaded(m_preShaded ? 0 : 1);
    return;
  }
  // Without cells there is no window to move or resize (and the radius,
  // which selecting fits to the grid, stays as it is).
  if (m_rows < 1 || m_cols < 1) return;
  int& r = m_selRadius;
  // Resizing, round the same centre.
  const int resized = code == 1    ? std::max(r - 1, 0)
                      : code == 2  ? r + 1
                      : code == 11 ? r / 2
                      : code == 12 ? (r > 1 ? r + r / 2 : r + 3)
                                   : -1;
  if (resized >= 0) {
    r = resized;
    SelectWindow(m_selRow, m_selCol, 0);
    return;
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
    SelectWindow(m_selRow + m.dRow * step, m_selCol + m.dCol * step, 1);
    return;
  }
}

// --- accessors ---

void Sd_SoundingSet::GetWindow(int* firstRow, int* lastRow, int* firstCol, int* lastCol) const {
  if (firstRow) *firstRow = m_window[0];
  if (lastRow) *lastRow = m_window[1];
  if (firstCol) *firstCol = m_window[2];
  if (lastCol) *lastCol = m_window[3];
}

const int* Sd_SoundingSet::GetSelection(int* count) const {
  if (count) *count = static_cast<int>(m_selIndices.size());
  return m_selIndices.data();
}

const float* Sd_SoundingSet::GetWindowOutline(int* count) const {
  if (count) *count = static_cast<int>(m_outline.size() / 3);
  return m_outline.data();
}

const int* Sd_SoundingSet::GetSelectedList(int* count) const {
  if (count) *count = static_cast<int>(m_selectedList.size());
  return m_selectedList.data();
}

void Sd_SoundingSet::NotifySelection() const {
  if (m_selectCallback) {
    m_selectCallback(1, m_selIndices.data(), static_cast<int>(m_selIndices.size()), m_selectCallbackData);
  }
}
