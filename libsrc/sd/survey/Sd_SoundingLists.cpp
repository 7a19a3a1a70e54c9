// The editing lists of sounding data sets: the candidate array and the
// marked and edit lists, and the two editing tools built on them: thinning (the highest
// sounding of every block of cells inside the depth window) and the spike
// search (soundings standing out above the rest of their cell).
//
// The tools read the cell grid's run arrays (each cell's soundings in list
// order with their heights as floats and their flags as binned), which lie
// in memory in the order the tools visit them. A decision that the float
// height cannot settle (two heights rounding to the same float, a height
// next to a window limit) is taken again on the record's own z.
//
// The two reductions give the result of comparing every pair of
// candidates, but look only at the candidates in the buckets (squares a
// radius wide) within a radius of each one.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Sd_SoundingEditor.h"

namespace {

struct Spot {
  double x, y;
};

double Distance(const Spot& a, const Spot& b) {
  const double dx = a.x - b.x, dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

bool Finite(const Spot& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// v rounded to float, held inside the float range (a NaN stays one), so
// that it converts without overflow and keeps the order of doubles: a
// float above Limit(v) rounds from a double above v.
float Limit(double v) {
  if (v > FLT_MAX) return FLT_MAX;
  if (v < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(v);
}

// Square buckets over the plane, as wide as the radius, each a chain of
// entries, found through an open-addressed table of their coordinates. The
// buckets that may hold a point closer than the radius to p are those
// between the buckets of p - radius and p + radius on each axis, as
// rounded: rounding and the bucket of a coordinate both keep the order of
// numbers, so no such point lies outside them. A point far enough from the
// origin that rounding spreads this range over many buckets is "loose":
// the callers compare it with every other point instead.
class BucketGrid {
 public:
  struct Range {
    int64_t x0, x1, y0, y1;
  };

  BucketGrid(size_t points, double radius) : m_radius(radius), m_edge(std::min(radius, DBL_MAX)), m_next(points, -1) {
    size_t slots = 16;
    while (slots < 2 * points) slots *= 2;
    m_mask = slots - 1;
    m_slots.assign(slots, Slot{0, 0, -1});
  }

  // The buckets around p (finite); false when p is loose.
  bool Around(const Spot& p, Range* r) const {
    r->x0 = Coordinate(std::max(p.x - m_radius, -DBL_MAX));
    r->x1 = Coordinate(std::min(p.x + m_radius, DBL_MAX));
    r->y0 = Coordinate(std::max(p.y - m_radius, -DBL_MAX));
    r->y1 = Coordinate(std::min(p.y + m_radius, DBL_MAX));
    return r->x1 - r->x0 <= kSpread && r->y1 - r->y0 <= kSpread;
  }
  // Calls visit(entry) for every entry in the buckets of r.
  template <class Visit>
  void ForEach(const Range& r, Visit visit) const {
    for (int64_t x = r.x0; x <= r.x1; ++x) {
      for (int64_t y = r.y0; y <= r.y1; ++y) {
        const int* next = m_next.data();
        for (int e = m_slots[Find(x, y)].head; e >= 0; e = next[e]) visit(e);
      }
    }
  }
  // Puts entry (of point p, finite) into its bucket's chain, first.
  void Insert(const Spot& p, int entry) {
    const int64_t x = Coordinate(p.x), y = Coordinate(p.y);
    Slot& slot = m_slots[Find(x, y)];
    slot.x = x;
    slot.y = y;
    m_next[static_cast<size_t>(entry)] = slot.head;
    slot.head = entry;
  }

 private:
  static constexpr int64_t kSpread = 8;
  static constexpr double kTop = 2305843009213693952.0;  // 2^61
  struct Slot {
    int64_t x, y;
    int head;  // -1: empty
  };
  int64_t Coordinate(double v) const {
    const double c = std::floor(v / m_edge);
    return static_cast<int64_t>(c < kTop ? (c > -kTop ? c : -kTop) : kTop);
  }
  size_t Find(int64_t x, int64_t y) const {
    // Mixed so that the neighbouring buckets of a grid spread over the
    // table.
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(y);
    h = (h ^ (h >> 32)) * 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    size_t slot = static_cast<size_t>(h) & m_mask;
    const Slot* slots = m_slots.data();
    while (slots[slot].head >= 0 && (slots[slot].x != x || slots[slot].y != y)) slot = (slot + 1) & m_mask;
    return slot;
  }

  double m_radius;
  double m_edge;
  size_t m_mask = 0;
  std::vector<Slot> m_slots;
  std::vector<int> m_next;
};

}  // namespace

// --- candidates ---

void Sd_SoundingEditor::AddThinCandidate(const Sd_SoundingGrid& grid, int index) {
  const int count = m_points.SoundingCount();
  if (index < 0 || index >= count) return;
  if (m_candidates.capacity() == 0) {
    const long long block = std::max(m_thinBlock, 1);
    const long long blocks = ((grid.Rows() + block - 1) / block) * ((grid.Cols() + block - 1) / block);
    m_candidates.reserve(static_cast<size_t>(std::min(blocks, static_cast<long long>(count)) + 10));
  }
  m_candidates.push_back(index);
}

void Sd_SoundingEditor::AddSpikeCandidate(int index) {
  if (index < 0 || index >= m_points.SoundingCount()) return;
  m_candidates.push_back(index);
}

void Sd_SoundingEditor::SortCandidatesByZ(int* indices, int n) const {
  if (!indices || n < 2) return;
  struct Keyed {
    double z;
    int index;
  };
  std::vector<Keyed> keyed(static_cast<size_t>(n));
  const int count = m_points.SoundingCount();
  for (int i = 0; i < n; ++i) {
    const int index = indices[i];
    // An index outside the records sorts last.
    const double z = index >= 0 && index < count ? m_points.GetSoundingPoint(index).z : -HUGE_VAL;
    keyed[static_cast<size_t>(i)] = Keyed{std::isnan(z) ? -HUGE_VAL : z, index};
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.z > b.z; });
  for (int i = 0; i < n; ++i) indices[i] = keyed[static_cast<size_t>(i)].index;
}

double Sd_SoundingEditor::HorizontalDistance(int a, int b) const {
  const int count = m_points.SoundingCount();
  if (a < 0 || a >= count || b < 0 || b >= count) return 0.0;
  const Sd_SoundingPoint p = m_points.GetSoundingPoint(a), q = m_points.GetSoundingPoint(b);
  return Distance(Spot{p.x, p.y}, Spot{q.x, q.y});
}

void Sd_SoundingEditor::ThinCandidatesByDistance() {
  std::vector<int> order;
  order.swap(m_candidates);
  SortCandidatesByZ(order.data(), static_cast<int>(order.size()));
  const double radius = m_thinRadius;
  if (!(radius > 0.0)) {
    for (int index : order) AddMarked(index);
    return;
  }
  std::vector<Spot> spots(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    const Sd_SoundingPoint p = m_points.GetSoundingPoint(order[i]);
    spots[i] = Spot{p.x, p.y};
  }
  // A candidate is marked unless a candidate marked before it lies closer
  // than the radius; only marked ones enter the buckets, and any two of
  // them lie at least the radius apart, so a bucket holds a few at most.
  BucketGrid grid(spots.size(), radius);
  std::vector<int> marked, loose;  // positions in order
  for (size_t i = 0; i < order.size(); ++i) {
    const Spot& p = spots[i];
    bool near = false;
    const auto test = [&](int e) { near = near || Distance(p, spots[static_cast<size_t>(e)]) < radius; };
    BucketGrid::Range range;
    // A position that is not finite is no distance from anything.
    const bool finite = Finite(p);
    const bool bucketed = finite && grid.Around(p, &range);
    if (bucketed) {
      grid.ForEach(range, test);
      for (int e : loose) test(e);
    } else if (finite) {
      for (int e : marked) test(e);
    }
    if (near) continue;
    AddMarked(order[i]);
    if (!finite) continue;
    marked.push_back(static_cast<int>(i));
    if (bucketed) {
      grid.Insert(p, static_cast<int>(i));
    } else {
      loose.push_back(static_cast<int>(i));
    }
  }
}

void Sd_SoundingEditor::PruneCandidateClusters() {
  std::vector<int> list;
  list.swap(m_candidates);
  const size_t n = list.size();
  std::vector<unsigned char> dropped(n, 0);
  const double radius = m_clusterRadius;
  if (radius > 0.0 && n > 1) {
    std::vector<Spot> spots(n);
    for (size_t i = 0; i < n; ++i) {
      const Sd_SoundingPoint p = m_points.GetSoundingPoint(list[i]);
      spots[i] = Spot{p.x, p.y};
    }
    BucketGrid grid(n, radius);
    std::vector<int> loose;
    BucketGrid::Range range;
    for (size_t i = n; i-- > 0;) {
      if (!Finite(spots[i])) continue;
      if (grid.Around(spots[i], &range)) {
        grid.Insert(spots[i], static_cast<int>(i));
      } else {
        loose.push_back(static_cast<int>(i));
      }
    }
    // The candidates still standing when their turn comes lie at least the
    // radius apart, so only a few of them look into any one bucket.
    for (size_t i = 0; i < n; ++i) {
      if (dropped[i] || !Finite(spots[i])) continue;
      bool clustered = false;
      const auto test = [&](int e) {
        const size_t j = static_cast<size_t>(e);
        if (j > i && !dropped[j] && Distance(spots[i], spots[j]) < radius) {
          dropped[j] = 1;
          clustered = true;
        }
      };
      if (grid.Around(spots[i], &range)) {
        grid.ForEach(range, test);
        for (int e : loose) test(e);
      } else {
        for (size_t j = i + 1; j < n; ++j) test(static_cast<int>(j));
      }
      if (clustered) dropped[i] = 1;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    if (!dropped[i]) AddMarked(list[i]);
  }
}

// --- the cell grid as the tools see it ---

int Sd_SoundingEditor::FirstValidRecord(const Sd_SoundingGrid& grid, int row, int col) const {
  const Sd_SoundingCell* cell = grid.Cell(row, col);
  if (!cell) return -1;
  const unsigned char excluded = m_points.ExcludedFlags();
  const unsigned char* runFlags = grid.RunFlags();
  for (int k = cell->run; k < cell->run + cell->count; ++k) {
    if (!(runFlags[k] & excluded)) return grid.RunIndices()[k];
  }
  return -1;
}

int Sd_SoundingEditor::HasHigherNeighbour(const Sd_SoundingGrid& grid, int index, int row, int col) const {
  if (index < 0 || index >= m_points.SoundingCount() || !grid.IsCell(row, col)) return 0;
  const double zi = m_points.GetSoundingPoint(index).z;
  const float fi = Limit(zi);
  static const int kSteps[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};
  const unsigned char excluded = m_points.ExcludedFlags();
  const int* run = grid.RunIndices();
  const float* runZ = grid.RunZ();
  const unsigned char* runFlags = grid.RunFlags();
  for (const auto& step : kSteps) {
    const Sd_SoundingCell* cell = grid.Cell(row + step[0], col + step[1]);
    if (!cell) continue;
    for (int k = cell->run; k < cell->run + cell->count; ++k) {
      if (runFlags[k] & excluded) continue;
      // Heights that round to different floats compare as those do.
      const float f = runZ[k];
      if (f != fi ? f > fi : m_points.GetSoundingPoint(run[k]).z > zi) return 1;
      break;
    }
  }
  return 0;
}

// --- marked list ---

void Sd_SoundingEditor::AddMarked(int index) {
  const int count = m_points.SoundingCount();
  if (index < 0 || index >= count) return;
  if (m_markedFlags.size() < static_cast<size_t>(count)) m_markedFlags.resize(static_cast<size_t>(count), 0);
  unsigned char& flag = m_markedFlags[static_cast<size_t>(index)];
  if (flag) return;
  flag = 1;
  m_markedList.push_back(index);
}

void Sd_SoundingEditor::RemoveMarked(int index) {
  if (!IsMarked(index)) return;
  m_markedFlags[static_cast<size_t>(index)] = 0;
  m_markedList.erase(std::find(m_markedList.begin(), m_markedList.end(), index));
}

int Sd_SoundingEditor::IsMarked(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_markedFlags.size() && m_markedFlags[static_cast<size_t>(index)]
             ? 1
             : 0;
}

void Sd_SoundingEditor::ClearMarkedList() {
  for (int index : m_markedList) {
    if (index >= 0 && static_cast<size_t>(index) < m_markedFlags.size()) m_markedFlags[static_cast<size_t>(index)] = 0;
  }
  std::vector<int>().swap(m_markedList);
  std::vector<int>().swap(m_candidates);
}

void Sd_SoundingEditor::IndexMarkedList() {
  std::fill(m_markedFlags.begin(), m_markedFlags.end(), 0);
  for (int index : m_markedList) {
    if (index < 0) continue;
    if (m_markedFlags.size() <= static_cast<size_t>(index)) m_markedFlags.resize(static_cast<size_t>(index) + 1, 0);
    m_markedFlags[static_cast<size_t>(index)] = 1;
  }
}

// --- edit list ---

void Sd_SoundingEditor::AddToEditList(int index) {
  if (m_editList.empty() && m_editList.capacity() == 0) m_editList.reserve(std::max<size_t>(m_markedList.size(), 1));
  m_editList.push_back(index);
}

void Sd_SoundingEditor::RemoveFromEditList(int index) {
  const auto at = std::find(m_editList.begin(), m_editList.end(), index);
  if (at == m_editList.end()) return;
  *at = m_editList.back();
  m_editList.pop_back();
}

void Sd_SoundingEditor::ReserveEditList(int n, size_t extra) {
  if (n < 1) return;
  std::vector<int>().swap(m_editList);
  m_editList.reserve(static_cast<size_t>(n) + extra);
}

int Sd_SoundingEditor::IsInEditList(int index) const {
  return std::find(m_editList.begin(), m_editList.end(), index) != m_editList.end() ? 1 : 0;
}

void Sd_SoundingEditor::SetMarkedList(const int* indices, int count) {
  m_markedList.assign(indices, indices + std::max(count, 0));
  IndexMarkedList();
}

void Sd_SoundingEditor::SetEditList(const int* indices, int count) {
  m_editList.assign(indices, indices + std::max(count, 0));
}

// --- depth window ---

void Sd_SoundingEditor::SetDepthWindowLow(double z) {
  m_depthWindowLow = z;
  m_depthWindowState |= 1;
}

void Sd_SoundingEditor::SetDepthWindowHigh(double z) {
  m_depthWindowHigh = z;
  m_depthWindowState |= 2;
}

int Sd_SoundingEditor::InDepthWindow(double z) const {
  if ((m_depthWindowState & 1) && !(z >= m_depthWindowLow)) return 0;
  if ((m_depthWindowState & 2) && !(z <= m_depthWindowHigh)) return 0;
  return 1;
}

// --- the tools ---

void Sd_SoundingEditor::ThinSoundings(const Sd_SoundingGrid& grid) {
  ClearMarkedList();
  const long long block = std::max(m_thinBlock, 1);
  const unsigned char excluded = m_points.ExcludedFlags();
  const int state = m_depthWindowState;
  const float low = Limit(m_depthWindowLow), high = Limit(m_depthWindowHigh);
  const int rows = grid.Rows(), cols = grid.Cols();
  const Sd_SoundingCell* cells = grid.Cells();
  const int* run = grid.RunIndices();
  const float* runZ = grid.RunZ();
  const unsigned char* runFlags = grid.RunFlags();
  auto exactZ = [this, run](int k) { return m_points.GetSoundingPoint(run[k]).z; };
  // InDepthWindow of the sounding at run position k, from its float height
  // unless that equals a limit's.
  auto inWindow = [&](int k) {
    const float f = runZ[k];
    bool exact = false;
    if (state & 1) {
      if (f < low) return false;
      exact = exact || !(f > low);
    }
    if (state & 2) {
      if (f > high) return false;
      exact = exact || !(f < high);
    }
    return exact ? InDepthWindow(exactZ(k)) != 0 : true;
  };
  for (long long r0 = 0; r0 < rows; r0 += block) {
    const int r1 = static_cast<int>(std::min<long long>(r0 + block, rows));
    for (long long c0 = 0; c0 < cols; c0 += block) {
      const int c1 = static_cast<int>(std::min<long long>(c0 + block, cols));
      int taken = -1;  // run position of the block's sounding
      float kept = 0.0f;
      for (int row = static_cast<int>(r0); row < r1; ++row) {
        for (int col = static_cast<int>(c0); col < c1; ++col) {
          const Sd_SoundingCell& cell = cells[grid.CellIndex(row, col)];
          for (int k = cell.run; k < cell.run + cell.count; ++k) {
            if ((runFlags[k] & excluded) || !inWindow(k)) continue;
            const float f = runZ[k];
            if (taken >= 0) {
              // The list falls: nothing after a lower sounding replaces the
              // kept one.
              if (f < kept) break;
              if (f == kept && !(static_cast<double>(kept) < exactZ(k))) continue;
            }
            taken = k;
            kept = f;
          }
        }
      }
      if (taken >= 0) AddThinCandidate(grid, run[taken]);
    }
  }
  ThinCandidatesByDistance();
}

void Sd_SoundingEditor::FindSpikes(const Sd_SoundingGrid& grid) {
  ClearMarkedList();
  const unsigned char excluded = m_points.ExcludedFlags();
  const double threshold = m_spikeThreshold;
  const int rows = grid.Rows(), cols = grid.Cols();
  const Sd_SoundingCell* cells = grid.Cells();
  const int* run = grid.RunIndices();
  const float* runZ = grid.RunZ();
  const unsigned char* runFlags = grid.RunFlags();
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      const Sd_SoundingCell& cell = cells[grid.CellIndex(row, col)];
      const int end = cell.run + cell.count;
      float sum = 0.0f;
      int n = 0;
      for (int k = cell.run; k < end; ++k) {
        if (runFlags[k] & excluded) continue;
        sum += runZ[k];
        ++n;
      }
      if (n < 2) continue;
      int k = cell.run;
      while (runFlags[k] & excluded) ++k;
      sum -= runZ[k];
      --n;
      float mean = sum / static_cast<float>(n);
      for (;;) {
        if (n == 0) break;
        // z - mean against the threshold, from the float height unless the
        // two lie too close for it to tell.
        const double f = runZ[k];
        const double gap = f - mean - threshold;
        const bool below = std::fabs(gap) > std::fabs(f) * 1e-7 + 1e-30
                               ? gap < 0.0
                               : m_points.GetSoundingPoint(run[k]).z - mean < threshold;
        if (below || HasHigherNeighbour(grid, run[k], row, col)) break;
        AddSpikeCandidate(run[k]);
        ++k;
        while (k < end && (runFlags[k] & excluded)) ++k;
        if (k == end) break;
        sum -= runZ[k];
        --n;
        if (n > 0) mean = sum / static_cast<float>(n);
      }
    }
  }
  PruneCandidateClusters();
}
