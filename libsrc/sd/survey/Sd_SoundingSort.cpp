// The selection of sounding data sets: the order of the window's list by a
// key of the class's key table, and the classes' key tables.
//
// Every key value is mapped to an unsigned number that orders as the key's
// comparison does (numbers, flags, frame and run fields alike); the list is
// then ordered by a stable radix sort of those numbers, so equal keys keep
// their previous order and the cost grows linearly with the list.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"
#include "Sd_SoundingSelection.h"
#include "Sv_Workers.h"

namespace {

// Ascending order of signed and real numbers as unsigned numbers.
uint64_t OrderOf(int v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }
uint64_t OrderOf(unsigned v) { return v; }
// Not a number has no place in an order: false.
bool OrderOf(double v, uint64_t* out) {
  if (std::isnan(v)) return false;
  v += 0.0;  // -0 becomes 0: they are equal
  uint64_t u;
  memcpy(&u, &v, sizeof u);
  *out = (u >> 63) ? ~u : (u | (uint64_t{1} << 63));
  return true;
}

template <class T>
T Load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}

// How a key reads its value, and which record holds it: the sounding, its
// frame or the frame's run.
enum Kind : unsigned char { kInt8, kInt32, kUint32, kFloat, kDouble, kFlag, kYearThenDay, kDayOfHours, kHourOfHours };
enum Source : unsigned char { kSounding, kFrame, kRun };

// A row of a class's key table: the key, its direction (1 as its
// comparison, -1 reversed), where and how its value is read.
struct KeyRow {
  int key;
  int direction;
  Source source;
  Kind kind;
  size_t offset;      // of the field in its record
  unsigned char bit;  // of a flag
};

constexpr KeyRow kHtfKeys[] = {
    {0, 1, kSounding, kFloat, offsetof(HTFSndRecord, tpePosition), 0},
    {1, 1, kSounding, kFloat, offsetof(HTFSndRecord, tpeDepth), 0},
    {2, 1, kSounding, kFloat, offsetof(HTFSndRecord, dwCorrection), 0},
    {3, 1, kSounding, kFloat, offsetof(HTFSndRecord, vbCorrection), 0},
    {4, 1, kSounding, kUint32, offsetof(HTFSndRecord, field17), 0},
    {5, -1, kSounding, kInt32, offsetof(HTFSndRecord, date), 0},
    {6, -1, kSounding, kInt32, offsetof(HTFSndRecord, lineName), 0},
    {7, -1, kSounding, kFloat, offsetof(HTFSndRecord, field14), 0},
    {11, 1, kSounding, kFlag, offsetof(HTFSndRecord, flags), HTF_NBA_FLAG},
    {12, 1, kSounding, kFlag, offsetof(HTFSndRecord, flags), HTF_PLOTTED_FLAG},
    {14, 1, kSounding, kFlag, offsetof(HTFSndRecord, flags), HTF_REJECTED_FLAG},
    {18, 1, kSounding, kInt32, offsetof(HTFSndRecord, time), 0},
    {30, 1, kSounding, kDouble, offsetof(HTFSndRecord, z), 0},
    {36, 1, kSounding, kDouble, offsetof(HTFSndRecord, x), 0},
    {37, 1, kSounding, kDouble, offsetof(HTFSndRecord, y), 0},
    {38, 1, kSounding, kDouble, offsetof(HTFSndRecord, lat), 0},
    {39, 1, kSounding, kDouble, offsetof(HTFSndRecord, lonStart), 0},
    {40, 1, kSounding, kInt32, offsetof(HTFSndRecord, field11), 0},
    {41, 1, kSounding, kInt32, offsetof(HTFSndRecord, field10), 0},
    {42, 1, kSounding, kInt32, offsetof(HTFSndRecord, fixNumber), 0},
};

constexpr size_t kPrimary = offsetof(FsdSndRecord, primaryConf);
constexpr size_t kSecond = offsetof(FsdSndRecord, secondConf);
constexpr size_t kFrameConf = offsetof(FsdFrameRecord, conf);

constexpr KeyRow kFsdKeys[] = {
    {0, 1, kSounding, kInt8, kPrimary, 0},
    {1, 1, kSounding, kInt8, kPrimary + 1, 0},
    {2, 1, kSounding, kInt8, kPrimary + 2, 0},
    {3, 1, kSounding, kInt8, kPrimary + 3, 0},
    {4, 1, kFrame, kInt32, kFrameConf, 0},
    {5, 1, kFrame, kInt32, kFrameConf + sizeof(int), 0},
    {6, 1, kFrame, kInt32, kFrameConf + 2 * sizeof(int), 0},
    {7, 1, kSounding, kInt8, kSecond, 0},
    {8, 1, kSounding, kInt8, kSecond + 1, 0},
    {9, 1, kSounding, kInt8, kSecond + 2, 0},
    {10, 1, kSounding, kInt8, kSecond + 3, 0},
    {11, 1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_NBA_FLAG},
    {12, 1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_DELETE_FLAG},
    {13, 1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_ANOMALY_FLAG},
    {14, -1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_NOACCEPT_FLAG},
    {15, 1, kFrame, kFloat, offsetof(FsdFrameRecord, depthCorr), 0},
    {16, 1, kFrame, kInt32, offsetof(FsdFrameRecord, method), 0},
    {17, 1, kRun, kYearThenDay, 0, 0},
    {18, 1, kSounding, kInt32, offsetof(FsdSndRecord, time), 0},
    {22, 1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_CLASH_FLAG},
    {30, -1, kSounding, kDouble, offsetof(FsdSndRecord, z), 0},
    {31, 1, kSounding, kInt32, offsetof(FsdSndRecord, id), 0},
    {32, 1, kFrame, kInt32, offsetof(FsdFrameRecord, id), 0},
    {33, 1, kRun, kInt32, offsetof(FsdRunRecord, id), 0},
    {36, 1, kSounding, kDouble, offsetof(FsdSndRecord, x), 0},
    {37, 1, kSounding, kDouble, offsetof(FsdSndRecord, y), 0},
    {38, 1, kSounding, kDouble, offsetof(FsdSndRecord, lat), 0},
    {39, 1, kSounding, kDouble, offsetof(FsdSndRecord, lonStart), 0},
    {40, 1, kSounding, kInt32, offsetof(FsdSndRecord, sndCount), 0},
    {41, 1, kSounding, kFlag, offsetof(FsdSndRecord, flags), FSD_MANSELECT_FLAG},
    {42, 1, kSounding, kDayOfHours, offsetof(FsdSndRecord, sndCount), 0},
    {43, 1, kSounding, kHourOfHours, offsetof(FsdSndRecord, sndCount), 0},
};

template <size_t N>
const KeyRow* FindKey(const KeyRow (&rows)[N], int key) {
  for (const KeyRow& row : rows) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

// The value a row reads from the record at base.
bool ReadKey(const unsigned char* base, const KeyRow& row, uint64_t* value) {
  const unsigned char* p = base + row.offset;
  int day = 0, hour = 0;
  switch (row.kind) {
    case kInt8:
      *value = OrderOf(static_cast<int>(static_cast<signed char>(*p)));
      return true;
    case kInt32:
      *value = OrderOf(Load<int>(p));
      return true;
    case kUint32:
      *value = OrderOf(Load<unsigned>(p));
      return true;
    case kFloat:
      return OrderOf(static_cast<double>(Load<float>(p)), value);
    case kDouble:
      return OrderOf(Load<double>(p), value);
    case kFlag:
      *value = (*p & row.bit) ? 1 : 0;
      return true;
    case kYearThenDay: {
      const FsdRunRecord* run = reinterpret_cast<const FsdRunRecord*>(base);
      *value = OrderOf(run->year) << 32 | OrderOf(run->day);
      return true;
    }
    case kDayOfHours:
    case kHourOfHours:
      Sd_SoundingSelection::SplitHours(Load<int>(p), &day, &hour);
      *value = OrderOf(row.kind == kDayOfHours ? day : hour);
      return true;
  }
  return false;
}

// The record that holds a row's value for sounding index (null when the
// sounding has no such frame or run).
const unsigned char* Holder(const Sd_HTFSounding& s, int index, Source) {
  return reinterpret_cast<const unsigned char*>(s.GetRecords() + index);
}

const unsigned char* Holder(const Sd_Sounding& s, int index, Source source) {
  const FsdSndRecord& r = s.GetRecords()[index];
  switch (source) {
    case kFrame:
      return reinterpret_cast<const unsigned char*>(s.GetFrame(r.frameIdx, nullptr));
    case kRun:
      return reinterpret_cast<const unsigned char*>(s.GetRunOfFrame(r.frameIdx, nullptr));
    default:
      return reinterpret_cast<const unsigned char*>(&r);
  }
}

template <class Set>
bool KeyOf(const Set& s, const KeyRow* row, int index, uint64_t* value) {
  if (!row || index < 0 || index >= s.GetSoundingCount()) return false;
  const unsigned char* base = Holder(s, index, row->source);
  return base && ReadKey(base, *row, value);
}

// Keys of the soundings list[from ... to), the records read ahead of their
// use (a list visits the records in no useful memory order); the number
// that lack a key.
template <class Set>
size_t GatherKeyRange(const Set& s, const KeyRow* row, const int* list, size_t from, size_t to, uint64_t* values,
                      unsigned char* lacks) {
  constexpr size_t kAhead = 16;
  const auto* records = s.GetRecords();
  const int count = s.GetSoundingCount();
  size_t lacking = 0;
  for (size_t i = from; i < to; ++i) {
    if (i + kAhead < to && list[i + kAhead] >= 0 && list[i + kAhead] < count) {
      const char* ahead = reinterpret_cast<const char*>(records + list[i + kAhead]);
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + sizeof(*records) - 1);
    }
    lacks[i] = KeyOf(s, row, list[i], &values[i]) ? 0 : 1;
    lacking += lacks[i];
  }
  return lacking;
}

// Keys of the n soundings of a list. Reading them waits on memory at every
// sounding, so the list is shared among the workers; each fills its own
// part of values and lacks.
template <class Set>
size_t GatherKeys(const Set& s, const KeyRow* row, const int* list, size_t n, uint64_t* values, unsigned char* lacks) {
  size_t lacking[sv_workers::kMaxWorkers] = {};
  const int workers = sv_workers::WorkerCount(n);
  const bool ran = workers > 1 && sv_workers::RunShares(n, workers, [&](int w, size_t from, size_t to) {
                     lacking[w] = GatherKeyRange(s, row, list, from, to, values, lacks);
                   });
  if (!ran) return GatherKeyRange(s, row, list, 0, n, values, lacks);
  size_t total = 0;
  for (int w = 0; w < workers; ++w) total += lacking[w];
  return total;
}

// Stable ascending sort of the n entries at a by the bits of key(entry),
// least significant digit first, over the digits in which differs has
// bits (the bits that differ among the keys); b has room for n entries.
// Returns a or b, whichever holds the result.
template <class Entry, class Key>
Entry* RadixSort(Entry* a, Entry* b, size_t n, uint64_t differs, Key key) {
  constexpr int kBits = 11;
  constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
  constexpr size_t kBuckets = size_t{1} << kBits;
  int digits[(64 + kBits - 1) / kBits];
  int used = 0;
  for (int d = 0; d * kBits < 64; ++d) {
    if ((differs >> (d * kBits)) & kMask) digits[used++] = d;
  }
  std::vector<uint32_t> count(static_cast<size_t>(used) * kBuckets, 0);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t k = key(a[i]);
    for (int u = 0; u < used; ++u) ++count[u * kBuckets + ((k >> (digits[u] * kBits)) & kMask)];
  }
  for (int u = 0; u < used; ++u) {
    uint32_t* place = &count[u * kBuckets];
    uint32_t at = 0;
    for (size_t d = 0; d < kBuckets; ++d) {
      const uint32_t c = place[d];
      place[d] = at;
      at += c;
    }
    const int shift = digits[u] * kBits;
    for (size_t i = 0; i < n; ++i) b[place[(key(a[i]) >> shift) & kMask]++] = a[i];
    std::swap(a, b);
  }
  return a;
}

}  // namespace

void Sd_SoundingSelection::SplitHours(int hours, int* day, int* hour) {
  const long long h = hours;
  long long d = (h + 23) / 24;
  if ((h + 23) % 24 < 0) --d;  // rounded down, also below 0
  *day = static_cast<int>(d);
  *hour = static_cast<int>(h - (d - 1) * 24);
}

void Sd_SoundingSelection::Sort(int key, int keepDirection) {
  if (!keepDirection) m_sortDescending = key == m_sortKey && m_sortDescending == 0 ? 1 : 0;
  m_sortKey = key;
  const size_t n = m_selIndices.size();
  if (n == 0) return;
  if (const int direction = m_records.SortKeyDirection(key)) {
    const bool descending = (direction < 0) != (m_sortDescending != 0);
    const int* list = m_selIndices.data();
    std::unique_ptr<uint64_t[]> values(new uint64_t[n]);
    std::unique_ptr<unsigned char[]> lacks(new unsigned char[n]);
    const size_t lacking = m_records.GatherSortKeys(key, list, n, values.get(), lacks.get());
    const size_t m = n - lacking;
    // The bits in which the keys differ; a descending order sorts the
    // keys' complements ascending.
    uint64_t first = 0, differs = 0;
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
      if (lacks[i]) continue;
      if (descending) values[i] = ~values[i];
      if (!any) first = values[i];
      any = true;
      differs |= values[i] ^ first;
    }
    std::vector<int> sorted(n);
    const int low = differs ? __builtin_ctzll(differs) : 0;
    const int width = differs ? 64 - __builtin_clzll(differs) - low : 0;
    size_t k = 0;
    if (width <= 32) {
      // The differing bits above the entry's list position, in one word.
      uint64_t* packed = values.get();
      size_t j = 0;
      for (size_t i = 0; i < n; ++i) {
        if (!lacks[i]) packed[j++] = ((values[i] >> low) & 0xFFFFFFFFu) << 32 | i;
      }
      std::unique_ptr<uint64_t[]> scratch(new uint64_t[m]);
      const uint64_t* order = RadixSort(packed, scratch.get(), m, (differs >> low) << 32, [](uint64_t e) { return e; });
      for (; k < m; ++k) sorted[k] = list[order[k] & 0xFFFFFFFFu];
    } else {
      struct Wide {
        uint64_t key;
        size_t position;
      };
      std::unique_ptr<Wide[]> wide(new Wide[2 * m]);
      size_t j = 0;
      for (size_t i = 0; i < n; ++i) {
        if (!lacks[i]) wide[j++] = Wide{values[i], i};
      }
      const Wide* order = RadixSort(wide.get(), wide.get() + m, m, differs, [](const Wide& e) { return e.key; });
      for (; k < m; ++k) sorted[k] = list[order[k].position];
    }
    for (size_t i = 0; i < n; ++i) {
      if (lacks[i]) sorted[k++] = list[i];
    }
    m_selIndices.swap(sorted);
  }
  Notify(1);
}

int Sd_SoundingSelection::Compare(int a, int b) const {
  const int n = static_cast<int>(m_selIndices.size());
  if (a < 0 || a >= n || b < 0 || b >= n) return 0;
  const int direction = m_records.SortKeyDirection(m_sortKey);
  if (!direction) return 0;
  uint64_t ka = 0, kb = 0;
  const bool hasA = m_records.SortKeyOf(m_sortKey, m_selIndices[a], &ka);
  const bool hasB = m_records.SortKeyOf(m_sortKey, m_selIndices[b], &kb);
  if (!hasA || !hasB) return !hasA && hasB ? 1 : 0;
  const bool descending = (direction < 0) != (m_sortDescending != 0);
  return (descending ? ka < kb : ka > kb) ? 1 : 0;
}

// --- the classes' key tables ---

int Sd_HTFSounding::SortKeyDirection(int key) const {
  const KeyRow* row = FindKey(kHtfKeys, key);
  return row ? row->direction : 0;
}

bool Sd_HTFSounding::SortKeyOf(int key, int index, uint64_t* value) const {
  return KeyOf(*this, FindKey(kHtfKeys, key), index, value);
}

size_t Sd_HTFSounding::GatherSortKeys(int key, const int* list, size_t n, uint64_t* values,
                                      unsigned char* lacks) const {
  return GatherKeys(*this, FindKey(kHtfKeys, key), list, n, values, lacks);
}

int Sd_Sounding::SortKeyDirection(int key) const {
  const KeyRow* row = FindKey(kFsdKeys, key);
  return row ? row->direction : 0;
}

bool Sd_Sounding::SortKeyOf(int key, int index, uint64_t* value) const {
  return KeyOf(*this, FindKey(kFsdKeys, key), index, value);
}

size_t Sd_Sounding::GatherSortKeys(int key, const int* list, size_t n, uint64_t* values, unsigned char* lacks) const {
  return GatherKeys(*this, FindKey(kFsdKeys, key), list, n, values, lacks);
}
