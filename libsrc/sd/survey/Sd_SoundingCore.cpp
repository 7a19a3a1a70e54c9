// The soundings of both sounding classes: reading, writing and look-ups.
#include "Sd_SoundingCore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "Sd_SoundingCodec.h"
#include "Sv_Debug.h"

namespace {

template <class Rec>
struct CodecOf;
template <>
struct CodecOf<HTFSndRecord> {
  using Type = sd_sounding::HTFSoundingCodec;
};
template <>
struct CodecOf<FsdSndRecord> {
  using Type = sd_sounding::FsdSoundingCodec;
};

}  // namespace

template <class Rec>
Sd_SoundingCore<Rec>::~Sd_SoundingCore() {
  free(m_sndRecords);
}

template <class Rec>
int Sd_SoundingCore<Rec>::FindRecordByID(int id) const {
  for (int i = 0; i < m_sndCount; ++i) {
    if (m_sndRecords[i].id == id) return i;
  }
  return -1;
}

template <class Rec>
int Sd_SoundingCore<Rec>::MatchRecord(int id, int index, float x, float y) const {
  if (index < 0 || index >= m_sndCount) return 0;
  const Rec& r = m_sndRecords[index];
  return r.id == id && std::fabs(r.x - static_cast<double>(x)) < 1.0 && std::fabs(r.y - static_cast<double>(y)) < 1.0
             ? 1
             : 0;
}

template <class Rec>
void Sd_SoundingCore<Rec>::Prepare(Rec* r, BoundsAccumulator* bounds) {
  r->nextInCell = -1;
  r->mark = 0;
  r->inGrid = static_cast<unsigned short>(bounds->Add(r->x, r->y, r->z));
}

template <class Rec>
Rec* Sd_SoundingCore<Rec>::ReadSoundings(TDR_PayloadReader& in, int count, BoundsAccumulator* bounds) {
  if (count <= 0) return nullptr;
  Rec* records = sd_sounding::ReadNewRecords<typename CodecOf<Rec>::Type>(
      in, count, [bounds](Rec& r) { Prepare(&r, bounds); });
  if (!records) Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the soundings", m_class.className);
  return records;
}

template <class Rec>
bool Sd_SoundingCore<Rec>::WriteSoundings(TDR_PayloadWriter& out, int byteOrder) const {
  return sd_sounding::WriteRecords<typename CodecOf<Rec>::Type>(out, byteOrder, m_sndRecords, m_sndCount);
}

template <class Rec>
void Sd_SoundingCore<Rec>::ReplaceSoundings(Rec* records, int count, const BoundsAccumulator& bounds) {
  FreeCellGrids();
  m_maxCellCount = 0;
  free(m_sndRecords);
  m_sndRecords = records;
  m_sndCount = records ? count : 0;
  SetDataBounds(bounds);
}

template <class Rec>
int Sd_SoundingCore<Rec>::SetSoundings(const Rec* records, int count) {
  Rec* copy = nullptr;
  if (count > 0) {
    if (!records || !(copy = sd_sounding::AllocRecords<Rec>(count))) return -1;
    memcpy(copy, records, static_cast<size_t>(count) * sizeof(Rec));
  }
  BoundsAccumulator bounds;
  for (int i = 0; i < count; ++i) Prepare(&copy[i], &bounds);
  ReplaceSoundings(copy, count, bounds);
  return 0;
}

// --- the cell grid ---

template <class Rec>
int Sd_SoundingCore<Rec>::IsSoundingShown(int index) const {
  return index >= 0 && index < m_sndCount ? IsShownByFlags(m_sndRecords[index].flags) : 0;
}

template <class Rec>
int Sd_SoundingCore<Rec>::BuildCellGrid() {
  m_maxCellCount = 0;
  CellGridShape shape;
  const int planned = PlanCellGrid(&shape);
  const char* failure = nullptr;
  if (planned == 0) {
    SetGridBounds(shape);
    if (shape.rows != m_rows || shape.cols != m_cols) {
      if (AllocCellGrids(shape.rows, shape.cols) != 0) failure = "ERROR:  No memory for the cell grid";
    } else {
      for (size_t c = 0; c < CellCount(); ++c) m_cells[c] = Sd_SoundingCell{0, 0.0f, 0, -1, 0};
    }
    if (!failure && !Bin(shape)) failure = "ERROR:  No memory for binning the soundings";
    if (!failure) return 0;
    Sv_Debug::Message(SV_LEVEL_DEBUG, failure, m_class.className);
  }
  // No grid: no sounding is in a cell.
  FreeCellGrids();
  m_maxCellCount = 0;
  for (int i = 0; i < m_sndCount; ++i) m_sndRecords[i].nextInCell = -1;
  return planned > 0 ? 0 : -1;
}

namespace {

// Block memory released with free(), for the binning's scratch arrays.
template <class T>
using Scratch = std::unique_ptr<T, decltype(&free)>;

// A record outside the grid, or the end of a list: -1 as an int.
constexpr uint32_t kNoCell = 0xFFFFFFFFu;

template <class T>
Scratch<T> AllocScratch(size_t count) {
  return Scratch<T>(static_cast<T*>(malloc(std::max<size_t>(count, 1) * sizeof(T))), free);
}

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

// A counting sort by cell. One pass over the records finds each one's
// cell, z as a float and flags, and counts the cells; the cells' places in
// the runs follow; a pass over those arrays places every sounding in its
// cell; each cell's entries are sorted and give its run; and a last pass
// over the records writes their chains in record order (in list order the
// writes would jump about the records, a cache miss each).
template <class Rec>
bool Sd_SoundingCore<Rec>::Bin(const CellGridShape& shape) {
  const int rows = shape.rows, cols = shape.cols;
  const double size = shape.size, x0 = shape.originX, y0 = shape.originY;
  const int n = m_sndCount;
  Scratch<uint32_t> cellScratch = AllocScratch<uint32_t>(static_cast<size_t>(n));
  Scratch<float> zScratch = AllocScratch<float>(static_cast<size_t>(n));
  Scratch<unsigned char> flagScratch = AllocScratch<unsigned char>(static_cast<size_t>(n));
  if (!cellScratch || !zScratch || !flagScratch) return false;
  uint32_t* const cellOf = cellScratch.get();
  float* const zOf = zScratch.get();
  unsigned char* const flagsOf = flagScratch.get();
  Sd_SoundingCell* const grid = m_cells;
  const Rec* const records = m_sndRecords;
  int binned = 0;
  bool floats = true;
  for (int i = 0; i < n; ++i) {
    const Rec& r = records[i];
    // Loading keeps soundings that are not finite out of the grid; a z that
    // is not a number could not be ordered.
    if (!r.inGrid || std::isnan(r.z)) {
      cellOf[i] = kNoCell;
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
    floats = floats && static_cast<double>(zOf[i]) == r.z;
    ++grid[cell].count;
    ++binned;
  }
  if (!AllocCellRuns(binned)) return false;
  const size_t cells = CellCount();
  int at = 0;
  for (size_t c = 0; c < cells; ++c) {
    grid[c].run = at;
    grid[c].first = at;  // the cell's next free place while placing
    at += grid[c].count;
    m_maxCellCount = std::max(m_maxCellCount, grid[c].count);
  }
  const bool placed = floats ? Place<KeyEntry>(cellOf, zOf, flagsOf) : Place<DoubleEntry>(cellOf, zOf, flagsOf);
  if (!placed) return false;
  // Place left each record's successor in cellOf (kNoCell, that is -1,
  // for the last of a list and for records outside the grid).
  for (int i = 0; i < n; ++i) m_sndRecords[i].nextInCell = static_cast<int>(cellOf[i]);
  return true;
}

template <class Rec>
template <class Entry>
bool Sd_SoundingCore<Rec>::Place(uint32_t* cellOf, const float* zOf, const unsigned char* flagsOf) {
  Scratch<Entry> entries = AllocScratch<Entry>(static_cast<size_t>(m_binnedCount));
  Scratch<Entry> sortScratch = AllocScratch<Entry>(static_cast<size_t>(m_maxCellCount));
  if (!entries || !sortScratch) return false;
  Entry* const e = entries.get();
  Sd_SoundingCell* const grid = m_cells;
  // In falling index order, so that a stable sort by z alone puts the
  // later of equal z first.
  for (int i = m_sndCount - 1; i >= 0; --i) {
    if (cellOf[i] == kNoCell) continue;
    Entry& to = e[grid[cellOf[i]].first++];
    if constexpr (std::is_same<Entry, KeyEntry>::value) {
      to.key = static_cast<uint64_t>(OrderedBits(zOf[i])) << 32 | static_cast<uint32_t>(i);
    } else {
      to = DoubleEntry{m_sndRecords[i].z, i};
    }
  }
  // From here on cellOf holds each record's successor in its list.
  int* const run = m_cellRun;
  float* const runZ = m_cellRunZ;
  unsigned char* const runFlags = m_cellRunFlags;
  const size_t cells = CellCount();
  for (size_t c = 0; c < cells; ++c) {
    Sd_SoundingCell& cell = grid[c];
    const int begin = cell.run, end = cell.run + cell.count;
    SortCell(e + begin, cell.count, sortScratch.get());
    for (int k = begin; k < end; ++k) {
      const int index = e[k].Index();
      run[k] = index;
      runZ[k] = zOf[index];
      runFlags[k] = flagsOf[index];
      cellOf[index] = k + 1 < end ? static_cast<uint32_t>(e[k + 1].Index()) : kNoCell;
    }
    cell.first = cell.count > 0 ? run[begin] : -1;
  }
  return true;
}

template class Sd_SoundingCore<HTFSndRecord>;
template class Sd_SoundingCore<FsdSndRecord>;
