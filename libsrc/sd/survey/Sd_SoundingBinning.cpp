// The binning of a sounding data set's records into the cell grid.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "Sd_SoundingGrid.h"
#include "Sd_SoundingRecords.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Platform.h"

namespace {

// A scratch array of the binning: large ones on huge pages where they
// pay, released so that the next binning finds their memory ready.
template <class T>
class Scratch {
 public:
  explicit Scratch(size_t count) : m_bytes(std::max<size_t>(count, 1) * sizeof(T)) {
    m_data = static_cast<T*>(Sv_PlatformAllocToFill(m_bytes));
  }
  ~Scratch() { Sv_PlatformFreeLarge(m_data, m_bytes); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T* get() const { return m_data; }
  explicit operator bool() const { return m_data != nullptr; }

 private:
  size_t m_bytes;
  T* m_data;
};

// A record outside the grid, or the end of a list: -1 as an int.
constexpr uint32_t kNoCell = 0xFFFFFFFFu;


// A cell's list order is z not increasing and, of equal z, the later
// record first: what inserting the records one by one in index order,
// each before the first entry of z not above its own, gives.
//
// Where every z is a float (as loading makes them), a sounding's place is
// one 64-bit key, its z mapped to an unsigned integer of the same order
// (-0 as 0) above its index, and the list is the keys in falling order.
// Otherwise the entries carry their z as a double.
inline uint32_t OrderedBits(float z) {
  z += 0.0f;  // -0 becomes 0: they are equal z
  uint32_t u;
  memcpy(&u, &z, 4);
  return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

struct KeyEntry {
  uint64_t key;
  bool operator<(const KeyEntry& o) const { return key > o.key; }  // comes first
  int Index() const { return static_cast<int>(key & 0xFFFFFFFFu); }
};

struct DoubleEntry {
  double z;
  int index;
  bool operator<(const DoubleEntry& o) const { return z > o.z || (z == o.z && index > o.index); }
  int Index() const { return index; }
};

// Insertion sort of a short list.
template <class Entry>
void InsertionSort(Entry* e, int n) {
  for (int i = 1; i < n; ++i) {
    const Entry v = e[i];
    int j = i;
    for (; j > 0 && v < e[j - 1]; --j) e[j] = e[j - 1];
    e[j] = v;
  }
}

constexpr int kShortList = 32;

// A list whose entries stand in falling index order: a stable radix sort
// on the falling z bits (the keys' upper halves) gives the list order.
// Bytes that all entries share are skipped. tmp has room for n entries.
void SortCell(KeyEntry* e, int n, KeyEntry* tmp) {
  if (n <= kShortList) {
    InsertionSort(e, n);
    return;
  }
  const auto digit = [](const KeyEntry& k, int b) { return (~static_cast<uint32_t>(k.key >> 32) >> (8 * b)) & 255u; };
  int count[4][256] = {};
  for (int i = 0; i < n; ++i) {
    for (int b = 0; b < 4; ++b) ++count[b][digit(e[i], b)];
  }
  KeyEntry* from = e;
  KeyEntry* to = tmp;
  for (int b = 0; b < 4; ++b) {
    if (count[b][digit(from[0], b)] == n) continue;
    int place[256];
    for (int d = 0, at = 0; d < 256; ++d) {
      place[d] = at;
      at += count[b][d];
    }
    for (int i = 0; i < n; ++i) to[place[digit(from[i], b)]++] = from[i];
    std::swap(from, to);
  }
  if (from != e) memcpy(e, from, static_cast<size_t>(n) * sizeof(KeyEntry));
}

void SortCell(DoubleEntry* e, int n, DoubleEntry*) {
  if (n <= kShortList) {
    InsertionSort(e, n);
  } else {
    std::sort(e, e + n);
  }
}

}  // namespace

// A counting sort by cell, on workers for a large data set. One pass over
// the records (each worker its share) finds each one's cell, z as a float
// and flags, and counts the cells in the worker's own row of counts; the
// cells' places in the runs follow, and within a cell each worker's place;
// a pass over those arrays places every sounding in its cell; each cell's
// entries are sorted and give its run and its records' chain. A record that
// stays out of the grid has its chain ended in the first pass, which reads
// its record anyway; the chains of a cell are written in list order, and a
// cell's records mostly stand close together in the file (survey lines), so
// no further pass over the records is needed.
template <class Rec>
bool Sd_SoundingGrid::Bin(Rec* records, int count, const Shape& shape) {
  const int rows = shape.rows, cols = shape.cols;
  const double size = shape.size, x0 = shape.originX, y0 = shape.originY;
  const size_t n = static_cast<size_t>(count);
  const size_t cells = CellCount();
  // Every worker has a row of counts over all cells: workers are fewer
  // where the rows would outweigh the records' own arrays.
  int workers = sd_sounding::WorkerCount(n);
  while (workers > 1 && cells * static_cast<size_t>(workers) > std::max<size_t>(n, size_t(1) << 20)) --workers;
  Scratch<uint32_t> cellScratch(n);
  Scratch<float> zScratch(n);
  Scratch<unsigned char> flagScratch(n);
  Scratch<uint32_t> nextScratch(cells * static_cast<size_t>(workers));
  if (!cellScratch || !zScratch || !flagScratch || !nextScratch) return false;
  uint32_t* const cellOf = cellScratch.get();
  float* const zOf = zScratch.get();
  unsigned char* const flagsOf = flagScratch.get();
  uint32_t* const next = nextScratch.get();
  Sd_SoundingCell* const grid = m_cells;
  struct Share {
    size_t binned = 0;
    bool floats = true;
  };
  std::vector<Share> shares(static_cast<size_t>(workers));
  bool ok = sd_sounding::RunShares(n, workers, [&](int w, size_t begin, size_t end) {
    uint32_t* const count = next + static_cast<size_t>(w) * cells;
    memset(count, 0, cells * sizeof(uint32_t));
    Share share;
    for (size_t i = begin; i < end; ++i) {
      const Rec& r = records[i];
      // Loading keeps soundings that are not finite out of the grid; a z
      // that is not a number could not be ordered.
      if (!r.inGrid || std::isnan(r.z)) {
        cellOf[i] = kNoCell;
        records[i].nextInCell = -1;
        continue;
      }
      // A sounding that float rounding of the origin puts just outside the
      // grid goes to the edge cell.
      double row = std::trunc((r.y - y0) / size);
      double col = std::trunc((r.x - x0) / size);
      row = row >= 0.0 ? std::min(row, rows - 1.0) : 0.0;
      col = col >= 0.0 ? std::min(col, cols - 1.0) : 0.0;
      const uint32_t cell = static_cast<uint32_t>(row) * static_cast<uint32_t>(cols) + static_cast<uint32_t>(col);
      cellOf[i] = cell;
      zOf[i] = static_cast<float>(r.z);
      flagsOf[i] = r.flags;
      share.floats = share.floats && static_cast<double>(zOf[i]) == r.z;
      ++count[cell];
      ++share.binned;
    }
    shares[static_cast<size_t>(w)] = share;
  });
  if (!ok) return false;
  size_t binned = 0;
  bool floats = true;
  for (const Share& share : shares) {
    binned += share.binned;
    floats = floats && share.floats;
  }
  if (!AllocRuns(static_cast<int>(binned))) return false;
  // The cells' counts, each cell share's total and largest count, then
  // the runs: cell after cell, and within a cell the workers' places, the
  // last share's first (its records have the higher indices).
  const int cellWorkers = sd_sounding::WorkerCount(cells);
  std::vector<size_t> shareStart(static_cast<size_t>(cellWorkers) + 1, 0);
  std::vector<int> shareMax(static_cast<size_t>(cellWorkers), 0);
  ok = sd_sounding::RunShares(cells, cellWorkers, [&](int s, size_t begin, size_t end) {
    size_t total = 0;
    int largest = 0;
    for (size_t c = begin; c < end; ++c) {
      uint32_t count = 0;
      for (int w = 0; w < workers; ++w) count += next[static_cast<size_t>(w) * cells + c];
      grid[c].count = static_cast<int>(count);
      total += count;
      largest = std::max(largest, static_cast<int>(count));
    }
    shareStart[static_cast<size_t>(s) + 1] = total;
    shareMax[static_cast<size_t>(s)] = largest;
  });
  if (!ok) return false;
  for (int s = 0; s < cellWorkers; ++s) {
    shareStart[static_cast<size_t>(s) + 1] += shareStart[static_cast<size_t>(s)];
    m_maxCellCount = std::max(m_maxCellCount, shareMax[static_cast<size_t>(s)]);
  }
  ok = sd_sounding::RunShares(cells, cellWorkers, [&](int s, size_t begin, size_t end) {
    uint32_t at = static_cast<uint32_t>(shareStart[static_cast<size_t>(s)]);
    for (size_t c = begin; c < end; ++c) {
      grid[c].run = static_cast<int>(at);
      for (int w = workers - 1; w >= 0; --w) {
        uint32_t& place = next[static_cast<size_t>(w) * cells + c];
        const uint32_t count = place;
        place = at;
        at += count;
      }
    }
  });
  if (!ok) return false;
  const auto exactZ = [records](size_t i) { return records[i].z; };
  const auto link = [records](int index, int successor) { records[index].nextInCell = successor; };
  return floats ? Place<KeyEntry>(n, cellOf, zOf, flagsOf, next, workers, exactZ, link)
                : Place<DoubleEntry>(n, cellOf, zOf, flagsOf, next, workers, exactZ, link);
}

template <class Entry, class ExactZ, class Link>
bool Sd_SoundingGrid::Place(size_t n, const uint32_t* cellOf, const float* zOf, const unsigned char* flagsOf,
                            uint32_t* next, int workers, ExactZ exactZ, Link link) {
  const size_t cells = CellCount();
  const size_t binned = static_cast<size_t>(m_binnedCount);
  int* const run = m_cellRun;
  float* const runZ = m_cellRunZ;
  unsigned char* const runFlags = m_cellRunFlags;
  // Keys wait in the runs themselves (the index in the run, the z bits in
  // its z) until their cell is sorted, so that no array of entries the
  // size of the data set is touched; entries with a double z need one.
  constexpr bool kKeys = std::is_same<Entry, KeyEntry>::value;
  Scratch<Entry> entries(kKeys ? 1 : binned);
  if (!entries) return false;
  Entry* const e = entries.get();
  Sd_SoundingCell* const grid = m_cells;
  // Each worker its share in falling index order, so that a stable sort
  // by z alone puts the later of equal z first.
  const bool entered = sd_sounding::RunShares(n, workers, [&](int w, size_t begin, size_t end) {
    uint32_t* const place = next + static_cast<size_t>(w) * cells;
    for (size_t i = end; i-- > begin;) {
      if (cellOf[i] == kNoCell) continue;
      const uint32_t at = place[cellOf[i]]++;
      if constexpr (kKeys) {
        const uint32_t bits = OrderedBits(zOf[i]);
        run[at] = static_cast<int>(i);
        memcpy(&runZ[at], &bits, 4);
      } else {
        e[at] = DoubleEntry{exactZ(i), static_cast<int>(i)};
      }
    }
  });
  if (!entered) return false;
  // Sorting, the runs and the chains, on cell shares of about equal
  // numbers of entries.
  const int sortWorkers = sd_sounding::WorkerCount(binned);
  std::vector<size_t> firstCell(static_cast<size_t>(sortWorkers) + 1, cells);
  for (int s = 0; s < sortWorkers; ++s) {
    // The first cell whose run starts at or after the share's first entry.
    const size_t from = sd_sounding::ShareBegin(binned, sortWorkers, s);
    size_t lo = 0, hi = cells;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (static_cast<size_t>(grid[mid].run) < from) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    firstCell[static_cast<size_t>(s)] = s == 0 ? 0 : lo;
  }
  std::atomic<bool> failed{false};
  const bool sorted = sd_sounding::RunWorkers(sortWorkers, [&](int s) {
    const size_t begin = firstCell[static_cast<size_t>(s)], end = firstCell[static_cast<size_t>(s) + 1];
    int largest = 0;
    for (size_t c = begin; c < end; ++c) largest = std::max(largest, grid[c].count);
    // Room to sort the largest list: for keys, the list itself as well.
    Scratch<Entry> sortScratch(static_cast<size_t>(largest) * (kKeys ? 2 : 1));
    if (!sortScratch) {
      failed = true;
      return;
    }
    Entry* const own = sortScratch.get() + (kKeys ? largest : 0);
    for (size_t c = begin; c < end; ++c) {
      Sd_SoundingCell& cell = grid[c];
      const int first = cell.run, last = cell.run + cell.count;
      Entry* list = e + first;
      if constexpr (kKeys) {
        list = own;
        for (int k = first; k < last; ++k) {
          uint32_t bits;
          memcpy(&bits, &runZ[k], 4);
          list[k - first].key = static_cast<uint64_t>(bits) << 32 | static_cast<uint32_t>(run[k]);
        }
      }
      SortCell(list, cell.count, sortScratch.get());
      for (int k = first; k < last; ++k) {
        const int index = list[k - first].Index();
        run[k] = index;
        runZ[k] = zOf[index];
        runFlags[k] = flagsOf[index];
        link(index, k + 1 < last ? list[k + 1 - first].Index() : -1);
      }
      cell.first = cell.count > 0 ? run[first] : -1;
    }
  });
  return sorted && !failed;
}

template bool Sd_SoundingGrid::Bin<HTFSndRecord>(HTFSndRecord* records, int count, const Shape& shape);
template bool Sd_SoundingGrid::Bin<FsdSndRecord>(FsdSndRecord* records, int count, const Shape& shape);
