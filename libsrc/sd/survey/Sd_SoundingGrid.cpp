// Sounding data sets: the cell grid's storage and shape, and what is
// derived per cell from the binned soundings (heights, normals, spreads)
// and per attribute from the records (data ranges).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Sd_SoundingSet.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Debug.h"

namespace {

// The grids and runs are plain heap blocks on small pages: asking for huge
// pages stalls the first binning of a large data set while the kernel
// gathers them, and drawing reads the grids in order anyway.
template <class T>
T* AllocBlock(size_t count) {
  return static_cast<T*>(malloc(count * sizeof(T)));
}

template <class T>
void Release(T** block) {
  free(*block);
  *block = nullptr;
}

// Workers for a pass over cells cells that read binned soundings: as
// many as the work of both asks for, at most one a cell.
int CellWorkers(size_t cells, int binned) {
  const size_t work = cells + static_cast<size_t>(std::max(binned, 0));
  return static_cast<int>(std::min<size_t>(sd_sounding::WorkerCount(work), std::max<size_t>(cells, 1)));
}

// Steps (row, column) from a cell to the two neighbours A and B of each
// quadrant of its face normals.
constexpr int kNeighbourA[4][2] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
constexpr int kNeighbourB[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};

}  // namespace

// --- storage ---

int Sd_SoundingSet::AllocCellGrids(int rows, int cols) {
  FreeCellGrids();
  if (rows < 1 || cols < 1) return -1;
  const size_t cells = static_cast<size_t>(rows) * cols;
  m_cells = AllocBlock<Sd_SoundingCell>(cells);
  m_cellHeights = AllocBlock<float>(cells);
  m_cellNormals = AllocBlock<float>(3 * cells);
  m_cellColors = AllocBlock<unsigned>(cells);
  m_shadedColors = AllocBlock<unsigned>(cells);
  // The three shading rows in one block: two of 16-bit codes, then colours.
  void* rowsBlock = malloc(static_cast<size_t>(cols) * (2 * sizeof(unsigned short) + sizeof(unsigned)));
  m_shadeColorRow = static_cast<unsigned*>(rowsBlock);
  if (rowsBlock) {
    m_shadeHeightRow = reinterpret_cast<unsigned short*>(m_shadeColorRow + cols);
    m_shadeSpareRow = m_shadeHeightRow + cols;
  }
  if (!m_cells || !m_cellHeights || !m_cellNormals || !m_cellColors || !m_shadedColors || !rowsBlock) {
    FreeCellGrids();
    return -1;
  }
  m_rows = rows;
  m_cols = cols;
  // The first touch of a large grid's pages shared among workers.
  sd_sounding::RunShares(cells, sd_sounding::WorkerCount(cells), [this](int, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      m_cells[i] = Sd_SoundingCell{0, 0.0f, 0, -1, 0};
      m_cellHeights[i] = kNoHeight;
      m_cellColors[i] = 0;
      m_shadedColors[i] = 0;
    }
    for (size_t i = 3 * from; i < 3 * to; ++i) m_cellNormals[i] = 0.0f;
  });
  for (int i = 0; i < cols; ++i) m_shadeHeightRow[i] = m_shadeSpareRow[i] = 0;
  for (int i = 0; i < cols; ++i) m_shadeColorRow[i] = 0;
  return 0;
}

void Sd_SoundingSet::FreeCellGrids() {
  DropSelection();
  Release(&m_cells);
  Release(&m_cellHeights);
  Release(&m_cellNormals);
  Release(&m_cellColors);
  Release(&m_shadedColors);
  Release(&m_shadeColorRow);  // the block of all three rows
  m_shadeHeightRow = m_shadeSpareRow = nullptr;
  Release(&m_cellRun);
  Release(&m_cellRunZ);
  Release(&m_cellRunFlags);
  m_binnedCount = 0;
  m_rows = m_cols = 0;
}

bool Sd_SoundingSet::AllocCellRuns(int count) {
  // A rebin of the same soundings keeps the arrays.
  if (count == m_binnedCount && count > 0) return true;
  Release(&m_cellRun);
  Release(&m_cellRunZ);
  Release(&m_cellRunFlags);
  m_binnedCount = 0;
  if (count < 1) return true;
  m_cellRun = AllocBlock<int>(static_cast<size_t>(count));
  m_cellRunZ = AllocBlock<float>(static_cast<size_t>(count));
  m_cellRunFlags = AllocBlock<unsigned char>(static_cast<size_t>(count));
  if (!m_cellRun || !m_cellRunZ || !m_cellRunFlags) return false;
  m_binnedCount = count;
  return true;
}

size_t Sd_SoundingSet::GetCellGridBytes() const {
  if (!m_cells) return 0;
  return CellCount() * (sizeof(Sd_SoundingCell) + 4 * sizeof(float) + 2 * sizeof(unsigned)) +
         static_cast<size_t>(m_cols) * (2 * sizeof(unsigned short) + sizeof(unsigned));
}

const int* Sd_SoundingSet::GetCellSoundings(int row, int col, int* count) const {
  const Sd_SoundingCell* cell = GetCell(row, col);
  *count = cell ? cell->count : 0;
  return cell && cell->count > 0 ? m_cellRun + cell->run : nullptr;
}

// --- shape ---

int Sd_SoundingSet::PlanCellGrid(CellGridShape* shape) {
  // Only soundings that are in the grid widen the bounds.
  if (!(m_xMin <= m_xMax && m_yMin <= m_yMax)) return 1;
  const char* where = m_class.className;
  float size = m_cellSize;
  if (!(size > 0.0f && std::isfinite(size))) {
    // About ten soundings a cell over the data's box.
    const double derived = std::sqrt(m_xRange * m_yRange / m_sndCount * 10.0);
    if (!(derived > 0.0 && derived <= FLT_MAX)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG,
                        "ERROR:  The soundings carry no cell size, and none can be derived from their extent "
                        "(they lie on one line or at one point)",
                        where);
      return -1;
    }
    size = m_cellSize = static_cast<float>(derived);
  }
  // The origin is the node's minimum, a float, as the grid's edges are.
  const double originX = m_xMin - 0.1 * size;
  const double originY = m_yMin - 0.1 * size;
  if (!(std::fabs(originX) <= FLT_MAX && std::fabs(originY) <= FLT_MAX)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The cell size puts the grid's origin beyond float range", where);
    return -1;
  }
  shape->size = size;
  shape->originX = static_cast<float>(originX);
  shape->originY = static_cast<float>(originY);
  const double rows = std::trunc((m_yMax - shape->originY) / size + 1.0);
  const double cols = std::trunc((m_xMax - shape->originX) / size + 1.0);
  const double limit =
      std::min(static_cast<double>(kMaxCells), static_cast<double>(kCellsPerSounding) * m_sndCount + kMinCellLimit);
  // Written so that NaN fails too.
  if (!(rows >= 1.0 && cols >= 1.0 && rows * cols <= limit)) {
    Sv_Debug::Debug(
        "ERROR:  The cell size %g gives a grid of %.0f x %.0f cells, more than the %.0f that %d "
        "soundings may have: %s",
        static_cast<double>(size), rows, cols, limit, m_sndCount, where);
    return -1;
  }
  shape->rows = static_cast<int>(rows);
  shape->cols = static_cast<int>(cols);
  const float maxX = static_cast<float>(shape->cols) * size + shape->originX;
  const float maxY = static_cast<float>(shape->rows) * size + shape->originY;
  if (!(std::isfinite(maxX) && std::isfinite(maxY))) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The cell size puts the grid's edges beyond float range", where);
    return -1;
  }
  return 0;
}

void Sd_SoundingSet::SetGridBounds(const CellGridShape& shape) {
  const float maxX = static_cast<float>(shape.cols) * shape.size + shape.originX;
  const float maxY = static_cast<float>(shape.rows) * shape.size + shape.originY;
  SetBounds(0, shape.originX, maxX);
  SetBounds(1, shape.originY, maxY);
  SetBounds(2, static_cast<float>(m_zMin), static_cast<float>(m_zMax));
  m_xRange = static_cast<double>(maxX) - shape.originX;
  m_yRange = static_cast<double>(maxY) - shape.originY;
  m_zRange = static_cast<double>(m_bounds[5]) - m_bounds[4];
}

// --- filters ---

int Sd_SoundingSet::IsShownByFlags(unsigned char flags) const {
  for (int i = 0; i < m_class.filterCount; ++i) {
    const Sd_SoundingFilter& f = m_class.filters[i];
    const bool set = (flags & f.bit) != 0;
    if (m_filters[i] && set == (f.hidesWhenSet != 0)) return 0;
  }
  return 1;
}

void Sd_SoundingSet::ShownTable(unsigned char shown[256]) const {
  for (int f = 0; f < 256; ++f) shown[f] = static_cast<unsigned char>(IsShownByFlags(static_cast<unsigned char>(f)));
}

// --- per cell ---

void Sd_SoundingSet::ComputeCellHeights() {
  if (!m_cells || m_surfaceMode < 0 || m_surfaceMode > 2) return;
  unsigned char shown[256];
  ShownTable(shown);
  const size_t cells = CellCount();
  sd_sounding::RunShares(cells, CellWorkers(cells, m_binnedCount), [&](int, size_t from, size_t to) {
    CellHeights(from, to, shown);
  });
}

void Sd_SoundingSet::CellHeights(size_t from, size_t to, const unsigned char shown[256]) {
  for (size_t c = from; c < to; ++c) {
    const int begin = m_cells[c].run;
    const int end = begin + m_cells[c].count;
    float height = kNoHeight;
    if (m_surfaceMode == 0) {
      for (int k = end - 1; k >= begin; --k) {
        if (shown[m_cellRunFlags[k]]) {
          height = m_cellRunZ[k];
          break;
        }
      }
    } else if (m_surfaceMode == 1) {
      for (int k = begin; k < end; ++k) {
        if (shown[m_cellRunFlags[k]]) {
          height = m_cellRunZ[k];
          break;
        }
      }
    } else {
      float sum = 0.0f;
      int n = 0;
      for (int k = begin; k < end; ++k) {
        if (shown[m_cellRunFlags[k]]) {
          sum += m_cellRunZ[k];
          ++n;
        }
      }
      if (n > 0) height = sum / static_cast<float>(n);
    }
    m_cellHeights[c] = height;
  }
}

int Sd_SoundingSet::ComputeFaceNormal(float* n, int row, int col, int q) const {
  if (q < 0 || q > 3 || !IsCell(row, col)) return 0;
  const int ra = row + kNeighbourA[q][0], ca = col + kNeighbourA[q][1];
  const int rb = row + kNeighbourB[q][0], cb = col + kNeighbourB[q][1];
  if (!IsCell(ra, ca) || !IsCell(rb, cb)) return 0;
  const float h = m_cellHeights[CellIndex(row, col)];
  const float ha = m_cellHeights[CellIndex(ra, ca)];
  const float hb = m_cellHeights[CellIndex(rb, cb)];
  if (ha == kNoHeight || hb == kNoHeight) return 0;
  const float a[3] = {static_cast<float>(kNeighbourA[q][0]), static_cast<float>(kNeighbourA[q][1]), ha - h};
  const float b[3] = {static_cast<float>(kNeighbourB[q][0]), static_cast<float>(kNeighbourB[q][1]), hb - h};
  const float v[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  // Heights so far apart that the length overflows give no face.
  if (!(length > 0.0f && std::isfinite(length))) return 0;
  for (int k = 0; k < 3; ++k) n[k] = v[k] / length;
  return 1;
}

void Sd_SoundingSet::ComputeNormals() {
  if (!m_cells) return;
  const size_t rows = static_cast<size_t>(m_rows);
  const int workers = sd_sounding::WorkerCount(CellCount());
  sd_sounding::RunShares(rows, std::min(workers, m_rows), [&](int, size_t from, size_t to) {
    RowNormals(static_cast<int>(from), static_cast<int>(to));
  });
}

void Sd_SoundingSet::RowNormals(int from, int to) {
  for (int r = from; r < to; ++r) {
    for (int c = 0; c < m_cols; ++c) {
      float* out = &m_cellNormals[3 * CellIndex(r, c)];
      out[0] = out[1] = out[2] = 0.0f;
      if (m_cellHeights[CellIndex(r, c)] == kNoHeight) continue;
      const bool faces[4] = {r > 0 && c < m_cols - 1, r >= 1 && c >= 1, r < m_rows - 1 && c >= 1,
                             r < m_rows - 1 && c < m_cols - 1};
      float sum[3] = {0.0f, 0.0f, 0.0f};
      int n = 0;
      for (int q = 0; q < 4; ++q) {
        float face[3];
        if (!faces[q] || !ComputeFaceNormal(face, r, c, q)) continue;
        for (int k = 0; k < 3; ++k) sum[k] += face[k];
        ++n;
      }
      if (n == 0) {
        out[2] = 1.0f;
        continue;
      }
      for (int k = 0; k < 3; ++k) sum[k] /= static_cast<float>(n);
      // Every face normal points up (its z is positive), so their mean
      // has a length.
      const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
      for (int k = 0; k < 3; ++k) out[k] = sum[k] / length;
    }
  }
}

void Sd_SoundingSet::SetSurfaceMode(int mode) {
  m_surfaceMode = mode;
  ComputeCellHeights();
  ColorCells();
  ComputeNormals();
  if (m_preShaded) Reshade();
}

float Sd_SoundingSet::Spread(const Sd_SoundingCell& cell, const unsigned char shown[256]) const {
  float s = 0.0f, q = 0.0f;
  int n = 0;
  for (int k = cell.run; k < cell.run + cell.count; ++k) {
    if (!shown[m_cellRunFlags[k]]) continue;
    const float z = m_cellRunZ[k];
    s += z;
    q += z * z;
    ++n;
  }
  if (n == 0) return 0.0f;
  const float mean = s / static_cast<float>(n);
  const double variance = static_cast<double>(q) / n - static_cast<double>(mean) * mean;
  // Rounding can make the variance of equal values a little negative.
  return variance > 0.0 ? static_cast<float>(std::sqrt(variance)) : 0.0f;
}

float Sd_SoundingSet::CellStdDev(int row, int col) const {
  const Sd_SoundingCell* cell = GetCell(row, col);
  if (!cell || cell->count == 0) return 0.0f;
  unsigned char shown[256];
  ShownTable(shown);
  return Spread(*cell, shown);
}

int Sd_SoundingSet::UpdateCellStatistics(int withRanges) {
  CallBusy(1, 1);
  const int built = BuildCellGrid();
  float low = 1e19f, high = -1e19f;
  if (m_cells) {
    unsigned char shown[256];
    ShownTable(shown);
    // Each cell share's range of spreads, combined in share order.
    const size_t cells = CellCount();
    const int workers = CellWorkers(cells, m_binnedCount);
    std::vector<float> lows(static_cast<size_t>(workers), low), highs(static_cast<size_t>(workers), high);
    sd_sounding::RunShares(cells, workers, [&](int w, size_t from, size_t to) {
      float shareLow = low, shareHigh = high;
      for (size_t c = from; c < to; ++c) {
        const float sd = m_cells[c].count > 0 ? Spread(m_cells[c], shown) : 0.0f;
        m_cells[c].stdDev = sd;
        if (sd < shareLow) shareLow = sd;
        if (sd > shareHigh) shareHigh = sd;
      }
      lows[static_cast<size_t>(w)] = shareLow;
      highs[static_cast<size_t>(w)] = shareHigh;
    });
    for (int w = 0; w < workers; ++w) {
      if (lows[static_cast<size_t>(w)] < low) low = lows[static_cast<size_t>(w)];
      if (highs[static_cast<size_t>(w)] > high) high = highs[static_cast<size_t>(w)];
    }
  }
  m_stdDevMin = low;
  m_stdDevMax = high;
  ComputeCellHeights();
  ComputeNormals();
  if (withRanges) ComputeAttributeRanges();
  ColorCells();
  CallBusy(0, 0);
  if (m_preShaded) Reshade();
  return built;
}

// --- per attribute ---

void Sd_SoundingSet::ComputeAttributeRanges() {
  for (float* range : m_attrDataRange) {
    range[0] = 1.0e12f;
    range[1] = -1.0e12f;
  }
  m_attrDataRange[20][0] = static_cast<float>(m_zMin);
  m_attrDataRange[20][1] = static_cast<float>(m_zMax);
  m_attrDataRange[21][0] = 0.0f;
  m_attrDataRange[21][1] = static_cast<float>(m_maxCellCount);
  m_attrDataRange[19][0] = m_stdDevMin;
  m_attrDataRange[19][1] = m_stdDevMax;
  WidenAttributeRanges(m_attrDataRange);
}
