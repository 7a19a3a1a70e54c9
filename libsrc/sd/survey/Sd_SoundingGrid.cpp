// The cell grid of sounding data sets: its storage and shape, and what is
// derived per cell from the binned soundings (heights, normals, spreads).
#include "Sd_SoundingGrid.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Sd_LoadBudget.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Debug.h"

namespace {
std::atomic<int> g_cellLimit{Sd_SoundingGrid::kMaxCells};
}  // namespace

void Sd_SoundingGrid::SetCellLimit(int cells) { g_cellLimit = std::clamp(cells, 1, kMaxCells); }

int Sd_SoundingGrid::CellLimit() { return g_cellLimit; }

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

namespace {

// Per cell: the cell, its height, normal and two colours; per column: the
// three shading rows.
constexpr long long kCellBytes = sizeof(Sd_SoundingCell) + sizeof(float) + 3 * sizeof(float) + 2 * sizeof(unsigned);
constexpr long long kColumnBytes = 2 * sizeof(unsigned short) + sizeof(unsigned);
// The largest grid (all its cells in one row) fits every load's budget.
static_assert(Sd_SoundingGrid::kMaxCells * (kCellBytes + kColumnBytes) <= Sd_LoadBudget::kObjectBoundBytes,
              "a cell grid at its bound must fit the smallest load budget");

}  // namespace

long long Sd_SoundingGrid::Bytes(int rows, int cols) {
  if (rows < 1 || cols < 1) return 0;
  return static_cast<long long>(rows) * cols * kCellBytes + static_cast<long long>(cols) * kColumnBytes;
}

int Sd_SoundingGrid::Alloc(int rows, int cols) {
  Free();
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
    Free();
    return -1;
  }
  m_rows = rows;
  m_cols = cols;
  // The first touch of a large grid's pages shared among workers.
  const int workers = sd_sounding::WorkerCount(cells);
  const bool cleared = sd_sounding::RunShares(cells, workers, [this](int, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      m_cells[i] = Sd_SoundingCell{0, 0.0f, 0, -1, 0};
      m_cellHeights[i] = kNoHeight;
      m_cellColors[i] = 0;
      m_shadedColors[i] = 0;
    }
    for (size_t i = 3 * from; i < 3 * to; ++i) m_cellNormals[i] = 0.0f;
  });
  if (!cleared) {
    Free();
    return -1;
  }
  for (int i = 0; i < cols; ++i) m_shadeHeightRow[i] = m_shadeSpareRow[i] = 0;
  for (int i = 0; i < cols; ++i) m_shadeColorRow[i] = 0;
  return 0;
}

bool Sd_SoundingGrid::SeeThrough(bool shaded) const {
  signed char& known = m_seeThrough[shaded ? 1 : 0];
  if (known == kUnknown) {
    const unsigned* colours = shaded ? m_shadedColors : m_cellColors;
    // The alpha bytes ANDed, a block at a time until one is below 255.
    unsigned alphas = 0xFF000000u;
    const size_t cells = colours ? CellCount() : 0;
    for (size_t i = 0; i < cells && alphas == 0xFF000000u;) {
      const size_t end = std::min(cells, i + 4096);
      for (; i < end; ++i) alphas &= colours[i];
    }
    known = (alphas & 0xFF000000u) != 0xFF000000u ? 1 : 0;
  }
  return known == 1;
}

void Sd_SoundingGrid::Free() {
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
  m_seeThrough[0] = m_seeThrough[1] = kUnknown;
}

void Sd_SoundingGrid::ClearCells() {
  for (size_t c = 0; c < CellCount(); ++c) m_cells[c] = Sd_SoundingCell{0, 0.0f, 0, -1, 0};
}

bool Sd_SoundingGrid::AllocRuns(int count) {
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

size_t Sd_SoundingGrid::Bytes() const {
  if (!m_cells) return 0;
  return CellCount() * (sizeof(Sd_SoundingCell) + 4 * sizeof(float) + 2 * sizeof(unsigned)) +
         static_cast<size_t>(m_cols) * (2 * sizeof(unsigned short) + sizeof(unsigned));
}

const int* Sd_SoundingGrid::CellSoundings(int row, int col, int* count) const {
  const Sd_SoundingCell* cell = Cell(row, col);
  *count = cell ? cell->count : 0;
  return cell && cell->count > 0 ? m_cellRun + cell->run : nullptr;
}

// --- shape ---

int Sd_SoundingGrid::Plan(const Sd_SoundingExtent& data, int count, const char* where, Shape* shape) {
  // Only soundings that are in the grid widen the bounds.
  if (!(data.xMin <= data.xMax && data.yMin <= data.yMax)) return 1;
  float size = m_cellSize;
  if (!(size > 0.0f && std::isfinite(size))) {
    // About ten soundings a cell over the data's box.
    const double derived = std::sqrt(data.xRange * data.yRange / count * 10.0);
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
  const double originX = data.xMin - 0.1 * size;
  const double originY = data.yMin - 0.1 * size;
  if (!(std::fabs(originX) <= FLT_MAX && std::fabs(originY) <= FLT_MAX)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The cell size puts the grid's origin beyond float range", where);
    return -1;
  }
  shape->size = size;
  shape->originX = static_cast<float>(originX);
  shape->originY = static_cast<float>(originY);
  const double rows = std::trunc((data.yMax - shape->originY) / size + 1.0);
  const double cols = std::trunc((data.xMax - shape->originX) / size + 1.0);
  // Bounded by the memory the grid takes, not by how many soundings share
  // a cell: a fine grid over a sparse survey is a choice of its writer.
  // Written so that NaN fails too.
  const int limit = CellLimit();
  if (!(rows >= 1.0 && cols >= 1.0 && rows * cols <= limit)) {
    Sv_Debug::Debug(
        "ERROR:  The cell size %g gives a grid of %.0f x %.0f cells, more than the %d cells a sounding grid may "
        "take in memory: %s",
        static_cast<double>(size), rows, cols, limit, where);
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

// --- per cell ---

bool Sd_SoundingGrid::ComputeHeights(const unsigned char shown[256]) {
  if (!m_cells || m_surfaceMode < 0 || m_surfaceMode > 2) return true;
  const size_t cells = CellCount();
  return sd_sounding::RunShares(cells, CellWorkers(cells, m_binnedCount),
                                [&](int, size_t from, size_t to) { CellHeights(from, to, shown); });
}

void Sd_SoundingGrid::CellHeights(size_t from, size_t to, const unsigned char shown[256]) {
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

int Sd_SoundingGrid::FaceNormal(float* n, int row, int col, int q) const {
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

bool Sd_SoundingGrid::ComputeNormals() {
  if (!m_cells) return true;
  const size_t rows = static_cast<size_t>(m_rows);
  const int workers = sd_sounding::WorkerCount(CellCount());
  return sd_sounding::RunShares(rows, std::min(workers, m_rows), [&](int, size_t from, size_t to) {
    RowNormals(static_cast<int>(from), static_cast<int>(to));
  });
}

void Sd_SoundingGrid::RowNormals(int from, int to) {
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
        if (!faces[q] || !FaceNormal(face, r, c, q)) continue;
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

float Sd_SoundingGrid::Spread(const Sd_SoundingCell& cell, const unsigned char shown[256]) const {
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

bool Sd_SoundingGrid::UpdateStatistics(const unsigned char shown[256]) {
  float low = 1e19f, high = -1e19f;
  bool ok = true;
  if (m_cells) {
    // Each cell share's range of spreads, combined in share order.
    const size_t cells = CellCount();
    const int workers = CellWorkers(cells, m_binnedCount);
    std::vector<float> lows(static_cast<size_t>(workers), low), highs(static_cast<size_t>(workers), high);
    ok = sd_sounding::RunShares(cells, workers, [&](int w, size_t from, size_t to) {
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
  ok = ComputeHeights(shown) && ok;
  return ComputeNormals() && ok;
}

int Sd_SoundingGrid::Interpolate(int row, int col, float rowPos, float colPos, float* z) const {
  const float h00 = Height(row, col);
  const float h10 = Height(row + 1, col);
  const float h01 = Height(row, col + 1);
  const float h11 = Height(row + 1, col + 1);
  float highest = -1e8f;
  int found = 0;
  for (float h : {h00, h10, h01, h11}) {
    if (h == kNoHeight) continue;
    found = 1;
    highest = std::max(highest, h);
  }
  if (h00 != kNoHeight && h10 != kNoHeight && h01 != kNoHeight && h11 != kNoHeight) {
    const float fr = rowPos - static_cast<float>(row);
    const float fc = colPos - static_cast<float>(col);
    *z = (1 - fr) * (1 - fc) * h00 + (1 - fc) * fr * h10 + (1 - fr) * fc * h01 + fr * fc * h11;
  } else {
    *z = highest;
  }
  return found;
}

// --- the box ---

void Sd_SoundingExtent::SetBox(const double min[3], const double max[3]) {
  xMin = min[0];
  xMax = max[0];
  yMin = min[1];
  yMax = max[1];
  zMin = min[2];
  zMax = max[2];
  xRange = xMax - xMin;
  yRange = yMax - yMin;
  zRange = zMax - zMin;
  // Room below the deepest sounding.
  zMin -= 0.05 * zRange;
  zRange = zMax - zMin;
}

void Sd_SoundingExtent::NormalisedXY(const float* nodeBounds, double x, double y, float out[2]) const {
  const double p[2] = {x, y};
  const double range[2] = {xRange, yRange};
  for (int a = 0; a < 2; ++a) {
    const double v = (p[a] - nodeBounds[2 * a]) / range[a] - 0.5;
    out[a] = range[a] > 0.0 && std::isfinite(v) ? static_cast<float>(v) : 0.0f;
  }
}
