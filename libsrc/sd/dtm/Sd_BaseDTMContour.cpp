// Terrain base class: contour lines of the height grid (marching squares),
// joined into polylines of a 3-D line set.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "Sd_BaseDTM.h"
#include "Sd_Lines3D.h"
#include "Sv_Debug.h"
#include "Sv_Workers.h"

namespace {

// Two coordinates closer than this are the same point.
constexpr float kSamePoint = 0.0001f;

bool Same(float a, float b) { return std::fabs(a - b) < kSamePoint; }

// The cells whose segments a saddle's neighbours vote for: a line entering
// through the left and top edges (cases 1, 7, 8, 14) or through the top and
// right or left and bottom edges (2, 4, 11, 13).
bool VotesLeftTop(int c) { return c == 1 || c == 7 || c == 8 || c == 14; }
bool VotesTopRight(int c) { return c == 2 || c == 4 || c == 11 || c == 13; }

// Segment end e (0 first, 1 second) of s.
float EndX(const Sd_BaseDTM::ContourSegment& s, int e) { return e ? s.x2 : s.x1; }
float EndY(const Sd_BaseDTM::ContourSegment& s, int e) { return e ? s.y2 : s.y1; }

// Ends of segments by the square of side 2 x kSamePoint that holds them:
// an open-addressing table of end ids, so that the ends near a point are
// found in at most four squares without allocating per end.
class EndTable {
 public:
  EndTable(const std::vector<Sd_BaseDTM::ContourSegment>& s, const std::vector<char>& skip) : m_s(s) {
    size_t size = 16;
    while (size < 4 * s.size()) size *= 2;
    m_slots.assign(size, kEmpty);
    m_mask = size - 1;
    for (size_t id = 0; id < 2 * s.size(); ++id) {
      if (skip[id / 2]) continue;
      const uint64_t h = Hash(Square(X(id)), Square(Y(id)));
      size_t at = static_cast<size_t>(h) & m_mask;
      while (m_slots[at] != kEmpty) at = (at + 1) & m_mask;
      m_slots[at] = (h >> 32) << 32 | static_cast<uint64_t>(id);
    }
  }
  // Calls fn(id) for every end in the squares that may hold a point within
  // kSamePoint of (x, y), and perhaps for a few others (the table keeps a
  // fingerprint of each end's square, not the square).
  template <class Fn>
  void Near(float x, float y, Fn fn) const {
    const int64_t sx = Square(x), sy = Square(y);
    const int64_t nx = Side(x, sx), ny = Side(y, sy);
    for (int64_t ix : {sx, sx + nx}) {
      for (int64_t iy : {sy, sy + ny}) {
        const uint64_t h = Hash(ix, iy);
        for (size_t at = static_cast<size_t>(h) & m_mask; m_slots[at] != kEmpty; at = (at + 1) & m_mask) {
          if (m_slots[at] >> 32 == h >> 32) fn(static_cast<size_t>(m_slots[at] & 0xFFFFFFFFu));
        }
        if (ny == 0) break;
      }
      if (nx == 0) break;
    }
  }
  float X(size_t id) const { return EndX(m_s[id / 2], static_cast<int>(id % 2)); }
  float Y(size_t id) const { return EndY(m_s[id / 2], static_cast<int>(id % 2)); }

 private:
  static constexpr uint64_t kEmpty = UINT64_MAX;
  static constexpr double kSide = 2.0 * kSamePoint;
  static int64_t Square(float v) {
    const double q = static_cast<double>(v) * (1.0 / kSide);
    const int64_t i = static_cast<int64_t>(q);
    return q < static_cast<double>(i) ? i - 1 : i;
  }
  // The neighbouring square (-1 or 1) within kSamePoint of v, else 0.
  static int64_t Side(float v, int64_t square) {
    const double within = static_cast<double>(v) - static_cast<double>(square) * kSide;
    if (within < kSamePoint) return -1;
    if (kSide - within <= kSamePoint) return 1;
    return 0;
  }
  static uint64_t Hash(int64_t ix, int64_t iy) {
    uint64_t z = static_cast<uint64_t>(ix) * 0x100000001B3ull + static_cast<uint64_t>(iy);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  const std::vector<Sd_BaseDTM::ContourSegment>& m_s;
  std::vector<uint64_t> m_slots;
  size_t m_mask = 0;
};

}  // namespace

void Sd_BaseDTM::SetGridShape(int rows, int cols) {
  ReleaseGrids();
  if (rows < 0 || cols < 0 || rows > kMaxGridSide || cols > kMaxGridSide) return;
  m_rows = rows;
  m_cols = cols;
}

bool Sd_BaseDTM::ContourLevel(float z, float* level) const {
  const float zMin = m_bounds[4], zMax = m_bounds[5];
  // Flat z bounds cannot quantise a height.
  if (!(z >= zMin && z <= zMax) || !(zMax > zMin)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Elevation for contouring out of range. ");
    return false;
  }
  *level = static_cast<float>((static_cast<double>(z) - zMin) / (static_cast<double>(zMax) - zMin) * 65534.0 + 1.0);
  return true;
}

int Sd_BaseDTM::ContourCellCase(int row, int col, float level) const {
  if (!m_elevation || row < 0 || col < 0 || row > m_rows - 2 || col > m_cols - 2) return 0;
  const unsigned short* r0 = m_elevation[row];
  const unsigned short* r1 = m_elevation[row + 1];
  return (r0[col] >= level ? 1 : 0) | (r0[col + 1] >= level ? 2 : 0) | (r1[col] >= level ? 4 : 0) |
         (r1[col + 1] >= level ? 8 : 0);
}

bool Sd_BaseDTM::ContourEdgePoint(int r1, int c1, int r2, int c2, float level, float* x, float* y) const {
  if (!m_elevation || r1 < 0 || c1 < 0 || r2 >= m_rows || c2 >= m_cols) return false;
  const double a = m_elevation[r1][c1];
  const double b = m_elevation[r2][c2];
  const double t = b != a ? (level - a) / (b - a) : 0.0;
  if (r1 == r2) {
    *x = static_cast<float>(t + c1);
    *y = static_cast<float>(r1);
  } else if (c1 == c2) {
    *x = static_cast<float>(c1);
    *y = static_cast<float>(t + r1);
  } else {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Error in interpolation.");
    return false;
  }
  return true;
}

void Sd_BaseDTM::AddContourSegment(ContourSegmentList* list, float x1, float y1, float x2, float y2) {
  list->push_back({x1, y1, x2, y2});
}

// Edges of cell (r, c): top (r, c)-(r, c+1), left (r, c)-(r+1, c), right
// (r, c+1)-(r+1, c+1), bottom (r+1, c)-(r+1, c+1); each segment runs from
// its first edge to its second.
void Sd_BaseDTM::ContourCell(int cellCase, int row, int col, float level, ContourSegmentList* list) const {
  enum Edge { kTop, kLeft, kRight, kBottom };
  auto segment = [&](Edge from, Edge to) {
    float p[2][2];
    const Edge edges[2] = {from, to};
    for (int i = 0; i < 2; ++i) {
      bool ok = false;
      switch (edges[i]) {
        case kTop: ok = ContourEdgePoint(row, col, row, col + 1, level, &p[i][0], &p[i][1]); break;
        case kLeft: ok = ContourEdgePoint(row, col, row + 1, col, level, &p[i][0], &p[i][1]); break;
        case kRight: ok = ContourEdgePoint(row, col + 1, row + 1, col + 1, level, &p[i][0], &p[i][1]); break;
        case kBottom: ok = ContourEdgePoint(row + 1, col, row + 1, col + 1, level, &p[i][0], &p[i][1]); break;
      }
      if (!ok) return;
    }
    AddContourSegment(list, p[0][0], p[0][1], p[1][0], p[1][1]);
  };
  switch (cellCase) {
    case 1: case 14: segment(kLeft, kTop); break;
    case 2: case 13: segment(kTop, kRight); break;
    case 3: case 12: segment(kLeft, kRight); break;
    case 4: case 11: segment(kLeft, kBottom); break;
    case 5: case 10: segment(kTop, kBottom); break;
    case 7: case 8: segment(kBottom, kRight); break;
    case 6: case 9: {
      // A saddle: the neighbours decide which corners the lines cut off.
      int leftTop = 0, topRight = 0;
      for (int n : {ContourCellCase(row, col - 1, level), ContourCellCase(row - 1, col, level),
                    ContourCellCase(row, col + 1, level), ContourCellCase(row + 1, col, level)}) {
        leftTop += VotesLeftTop(n) ? 1 : 0;
        topRight += VotesTopRight(n) ? 1 : 0;
      }
      if (leftTop < topRight) {
        segment(kTop, kRight);
        segment(kLeft, kBottom);
      } else {
        segment(kLeft, kTop);
        segment(kBottom, kRight);
      }
      break;
    }
    default: break;
  }
}

namespace {

// The band of every code: the number of sorted levels at or below it.
template <class Band>
std::vector<Band> BandTable(const std::vector<float>& sorted) {
  const size_t count = sorted.size();
  std::vector<Band> band(65536);
  size_t k = 0;
  for (int code = 0; code < 65536; ++code) {
    while (k < count && sorted[k] <= static_cast<float>(code)) ++k;
    band[static_cast<size_t>(code)] = static_cast<Band>(k);
  }
  return band;
}

// The sweep of ContourScan over the rows of cells [first, end) with bands
// of type Band (wide enough for the number of levels): calls cell(r, c, lo,
// hi), row by row and left to right, for each cell whose corners hold
// values and lie in the bands lo ... hi, lo < hi. Bands grow with the code,
// so a stretch of kStretch cells whose lowest and highest corner code share
// a band has no line at all: it costs a minimum and a maximum in the vector
// unit and two lookups.
constexpr size_t kStretch = 16;

template <class Band, class Cell>
void SweepBands(unsigned short* const* grid, int first, int end, int cols, const std::vector<Band>& band,
                const std::vector<float>& sorted, Cell cell) {
  const size_t n = static_cast<size_t>(cols);
  // The codes of the band of the stretch before: [below, above), so that a
  // stretch in the same band needs no lookup.
  float below = 1.0f, above = 0.0f;
  for (int r = first; r < end; ++r) {
    const unsigned short* __restrict r0 = grid[r];
    const unsigned short* __restrict r1 = grid[r + 1];
    for (size_t c0 = 0; c0 + 1 < n; c0 += kStretch) {
      const size_t last = std::min(c0 + kStretch, n - 1);  // cells c0 ... last - 1
      // In signed 16 bits (the codes offset by 32768) for the vector unit.
      int16_t lowest = INT16_MAX, highest = INT16_MIN;
      for (size_t c = c0; c <= last; ++c) {
        const int16_t a = static_cast<int16_t>(r0[c] ^ 0x8000u), b = static_cast<int16_t>(r1[c] ^ 0x8000u);
        lowest = std::min(lowest, std::min(a, b));
        highest = std::max(highest, std::max(a, b));
      }
      const unsigned low = static_cast<uint16_t>(lowest) ^ 0x8000u, high = static_cast<uint16_t>(highest) ^ 0x8000u;
      if (static_cast<float>(low) >= below && static_cast<float>(high) < above) continue;
      const Band b = band[low];
      if (b == band[high]) {
        below = b > 0 ? sorted[b - 1] : -HUGE_VALF;
        above = b < sorted.size() ? sorted[b] : HUGE_VALF;
        continue;
      }
      for (size_t c = c0; c < last; ++c) {
        const Band b00 = band[r0[c]], b01 = band[r0[c + 1]], b10 = band[r1[c]], b11 = band[r1[c + 1]];
        if (b00 == b01 && b00 == b10 && b00 == b11) continue;
        // Cells with a corner without value have no line.
        if (r0[c] == 0 || r0[c + 1] == 0 || r1[c] == 0 || r1[c + 1] == 0) continue;
        cell(r, static_cast<int>(c), std::min({b00, b01, b10, b11}), std::max({b00, b01, b10, b11}));
      }
    }
  }
}

}  // namespace

// One sweep over the grid for any number of levels. Each node gets its band,
// the number of levels at or below its code; a level L crosses a cell when
// some corner is at or above L and another below it, that is when L lies
// between the bands of the cell's lowest and highest corner. Cells whose
// four corners share a band (nearly all of them) cost a few comparisons.
// A large grid is swept on worker threads, each taking runs of rows of
// cells in turn into lists of the run's own; the lists are joined in row
// order, as one sweep makes them.
bool Sd_BaseDTM::ContourScan(const float* levels, int count, ContourSegmentList* lists) const {
  if (!m_elevation || m_rows < 2 || m_cols < 2 || count < 1) return true;
  try {
    return ScanLevels(levels, count, lists);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Sd_BaseDTM::ScanLevels(const float* levels, int count, ContourSegmentList* lists) const {
  std::vector<int> order(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](int a, int b) { return levels[a] < levels[b]; });
  std::vector<float> sorted(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) sorted[k] = levels[order[k]];
  const int cellRows = m_rows - 1;
  const int workers = std::min(sv_workers::WorkerCount(static_cast<size_t>(m_rows) * m_cols), cellRows);
  // On workers the rows are cut into a few runs a worker, taken in turn as
  // workers finish, each into lists of its own.
  const int runs = workers > 1 ? std::min(cellRows, 4 * workers) : 1;
  std::vector<std::vector<ContourSegmentList>> parts(static_cast<size_t>(runs > 1 ? runs : 0));
  // Memory running out on a worker ends the sweep as it would on one thread.
  std::atomic<bool> noMemory{false};
  std::atomic<int> next{0};
  auto sweep = [&](const auto& band) {
    const bool ran = sv_workers::RunWorkers(workers, [&](int) {
      for (int run; !noMemory && (run = next.fetch_add(1)) < runs;) {
        const size_t first = sv_workers::ShareBegin(static_cast<size_t>(cellRows), runs, run);
        const size_t end = sv_workers::ShareBegin(static_cast<size_t>(cellRows), runs, run + 1);
        try {
          ContourSegmentList* out = lists;
          if (runs > 1) {
            // Room for a few segments a row and level from the start (1 MiB
            // at most a run), so that the lists seldom grow (a growing list
            // moves in memory).
            parts[static_cast<size_t>(run)].resize(static_cast<size_t>(count));
            out = parts[static_cast<size_t>(run)].data();
            const size_t room = std::min<size_t>(2 * (end - first), (size_t(1) << 20) / sizeof(ContourSegment) / count);
            for (int k = 0; k < count; ++k) out[k].reserve(room);
          }
          auto cell = [&](int r, int c, size_t lo, size_t hi) {
            for (size_t i = lo; i < hi; ++i) {
              const int cellCase = ContourCellCase(r, c, sorted[i]);
              if (cellCase != 0 && cellCase != 15) ContourCell(cellCase, r, c, sorted[i], &out[order[i]]);
            }
          };
          SweepBands(m_elevation, static_cast<int>(first), static_cast<int>(end), m_cols, band, sorted, cell);
        } catch (const std::bad_alloc&) {
          noMemory = true;
        }
      }
    });
    return ran && !noMemory;
  };
  bool swept = false;
  if (count < 256) {
    swept = sweep(BandTable<uint8_t>(sorted));
  } else if (count < 65536) {
    swept = sweep(BandTable<uint16_t>(sorted));
  } else {
    swept = sweep(BandTable<uint32_t>(sorted));
  }
  if (!swept) return false;
  for (int k = 0; k < count && runs > 1; ++k) {
    size_t total = lists[k].size();
    for (const auto& part : parts) total += part[static_cast<size_t>(k)].size();
    lists[k].reserve(total);
    for (auto& part : parts) {
      lists[k].insert(lists[k].end(), part[static_cast<size_t>(k)].begin(), part[static_cast<size_t>(k)].end());
      ContourSegmentList().swap(part[static_cast<size_t>(k)]);
    }
  }
  return true;
}

int Sd_BaseDTM::Contour(float z, Sd_Lines3D* lines, int color) { return ContourLevels(&z, 1, lines, color); }

int Sd_BaseDTM::ContourLevels(const float* z, int count, Sd_Lines3D* lines, int color) {
  m_contourColor = color;
  if (!z || count < 1 || !lines) return 0;
  if (!m_elevation || m_rows < 2 || m_cols < 2) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No height grid of at least 2 x 2 nodes to contour",
                      "Sd_BaseDTM::Contour");
    return 0;
  }
  // Memory running out anywhere in the sweep, the joining or the adding of
  // lines refuses the contours (lines added before stay whole).
  try {
    if (TraceLevels(z, count, lines)) return 0;
  } catch (const std::bad_alloc&) {
  }
  Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR:  No memory to trace the contour lines", "Sd_BaseDTM::Contour");
  return -1;
}

bool Sd_BaseDTM::TraceLevels(const float* z, int count, Sd_Lines3D* lines) {
  std::vector<float> levels;
  std::vector<float> heights;
  for (int k = 0; k < count; ++k) {
    float level = 0.0f;
    if (!ContourLevel(z[k], &level)) continue;
    levels.push_back(level);
    heights.push_back(z[k]);
  }
  if (levels.empty()) return true;
  std::vector<ContourSegmentList> lists(levels.size());
  if (!ContourScan(levels.data(), static_cast<int>(levels.size()), lists.data())) return false;
  // The heights are joined on worker threads, each taking the next height
  // not yet taken; their polylines are added in height order. Joining a
  // segment costs about as much as kJoinItems items of a plain pass.
  constexpr size_t kJoinItems = 16;
  size_t segments = 0;
  for (const ContourSegmentList& list : lists) segments += list.size();
  const int workers = std::min(sv_workers::WorkerCount(segments * kJoinItems), static_cast<int>(lists.size()));
  std::vector<ContourPolylines> polylines(lists.size());
  std::vector<char> refused(lists.size(), 0);
  // The heights with the most segments are taken first, so that no worker
  // is left with a long one at the end.
  std::vector<size_t> byLength(lists.size());
  for (size_t k = 0; k < lists.size(); ++k) byLength[k] = k;
  std::stable_sort(byLength.begin(), byLength.end(),
                   [&](size_t a, size_t b) { return lists[a].size() > lists[b].size(); });
  std::atomic<size_t> next{0};
  std::atomic<bool> noMemory{false};
  const bool ran = sv_workers::RunWorkers(workers, [&](int) {
    for (size_t n; !noMemory && (n = next.fetch_add(1)) < lists.size();) {
      const size_t k = byLength[n];
      try {
        if (!lists[k].empty() && !JoinContourSegments(&lists[k], heights[k], &polylines[k])) refused[k] = 1;
      } catch (const std::bad_alloc&) {
        noMemory = true;
      }
      ContourSegmentList().swap(lists[k]);
    }
  });
  if (noMemory || !ran) return false;
  for (size_t k = 0; k < polylines.size(); ++k) {
    if (refused[k]) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Too many contour segments to join",
                        "Sd_BaseDTM::ChainContourSegments");
    }
    AddContourPolylines(polylines[k], lines);
    polylines[k] = ContourPolylines();
  }
  return true;
}

bool Sd_BaseDTM::CompareSegments(const ContourSegment& a, const ContourSegment& b) {
  if (a.x1 != b.x1) return a.x1 < b.x1;
  if (a.y1 != b.y1) return a.y1 < b.y1;
  if (a.x2 != b.x2) return a.x2 < b.x2;
  return a.y2 < b.y2;
}

// Joins the segments into polylines. Segments are oriented left to right
// and sorted; a segment equal to the next one is a duplicate (two cells
// that gave the same piece) and is left out. Every segment end is then
// linked to at most one end of another segment at the same point, found
// through a table of the ends by place, so the links form paths and rings; each is
// walked once from its free end (or, for a ring, from any segment, the ring
// repeating its first point at the end). The walks take at most as many
// steps as there are segments.
void Sd_BaseDTM::ChainContourSegments(ContourSegmentList* list, float z, Sd_Lines3D* lines) {
  if (!list || list->empty() || !lines || m_rows < 2 || m_cols < 2) return;
  ContourPolylines polylines;
  if (!JoinContourSegments(list, z, &polylines)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Too many contour segments to join", "Sd_BaseDTM::ChainContourSegments");
    return;
  }
  AddContourPolylines(polylines, lines);
}

void Sd_BaseDTM::AddContourPolylines(const ContourPolylines& polylines, Sd_Lines3D* lines) const {
  const unsigned colour = static_cast<unsigned>(m_contourColor);
  const double start = 0.0;
  size_t at = 0;
  for (int count : polylines.counts) {
    if (m_contourColor != 0) {
      lines->AddColouredLine(count, &polylines.x[at], &polylines.y[at], &polylines.z[at], 1, &start, &colour);
    } else {
      lines->AddLine(count, &polylines.x[at], &polylines.y[at], &polylines.z[at]);
    }
    at += static_cast<size_t>(count);
  }
}

bool Sd_BaseDTM::JoinContourSegments(ContourSegmentList* list, float z, ContourPolylines* out) const {
  if (!list || list->empty() || m_rows < 2 || m_cols < 2) return true;
  ContourSegmentList& s = *list;
  const size_t n = s.size();
  // The table of ends numbers them in 32 bits.
  if (n > 0x7FFFFFFFu) return false;
  const double dx = (static_cast<double>(m_bounds[1]) - m_bounds[0]) / (m_cols - 1);
  const double dy = (static_cast<double>(m_bounds[3]) - m_bounds[2]) / (m_rows - 1);
  for (ContourSegment& g : s) {
    if (g.x1 > g.x2) {
      std::swap(g.x1, g.x2);
      std::swap(g.y1, g.y2);
    }
  }
  std::sort(s.begin(), s.end(), [](const ContourSegment& a, const ContourSegment& b) {
    if (a.x1 != b.x1) return a.x1 < b.x1;
    if (a.y1 != b.y1) return a.y1 < b.y1;
    return CompareSegments(a, b);
  });
  std::vector<char> used(n, 0);
  for (size_t i = 0; i + 1 < n; ++i) {
    const ContourSegment& a = s[i];
    const ContourSegment& b = s[i + 1];
    if (Same(a.x1, b.x1) && Same(a.y1, b.y1) && Same(a.x2, b.x2) && Same(a.y2, b.y2)) used[i] = 1;
  }

  // Each end links to the first free end of another segment at its point.
  const EndTable ends(s, used);
  std::vector<size_t> link(2 * n, SIZE_MAX);
  for (size_t id = 0; id < 2 * n; ++id) {
    if (used[id / 2] || link[id] != SIZE_MAX) continue;
    const float x = ends.X(id), y = ends.Y(id);
    size_t best = SIZE_MAX;
    ends.Near(x, y, [&](size_t o) {
      if (o / 2 != id / 2 && link[o] == SIZE_MAX && o < best && Same(ends.X(o), x) && Same(ends.Y(o), y)) best = o;
    });
    if (best != SIZE_MAX) {
      link[id] = best;
      link[best] = id;
    }
  }

  std::vector<double>& vx = out->x;
  std::vector<double>& vy = out->y;
  std::vector<double>& vz = out->z;
  for (size_t i = 0; i < n; ++i) {
    if (used[i]) continue;
    // Back to the free end of the path (or round a ring to i again).
    size_t seg = i;
    size_t entry = 0;  // the end through which the walk enters seg
    for (size_t steps = 0; steps < n; ++steps) {
      const size_t prev = link[2 * seg + entry];
      if (prev == SIZE_MAX || prev / 2 == i || used[prev / 2]) break;
      seg = prev / 2;
      entry = 1 - prev % 2;
    }
    if (link[2 * seg + entry] != SIZE_MAX && link[2 * seg + entry] / 2 == i) {
      seg = i;
      entry = 0;
    }
    const size_t first = vx.size();
    auto vertex = [&](size_t g, size_t e) {
      vx.push_back(m_bounds[0] + EndX(s[g], static_cast<int>(e)) * dx);
      vy.push_back(m_bounds[2] + EndY(s[g], static_cast<int>(e)) * dy);
      vz.push_back(z);
    };
    vertex(seg, entry);
    for (size_t steps = 0; steps < n; ++steps) {
      vertex(seg, 1 - entry);
      used[seg] = 1;
      const size_t out = link[2 * seg + 1 - entry];
      if (out == SIZE_MAX || used[out / 2]) break;
      seg = out / 2;
      entry = out % 2;
    }
    out->counts.push_back(static_cast<int>(vx.size() - first));
  }
  return true;
}
