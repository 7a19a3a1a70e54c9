// The soundings of both sounding classes: reading, writing and look-ups.
#include "Sd_SoundingCore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "Sd_LoadBudget.h"
#include "Sd_SoundingCodec.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"

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

// The record array is filled as soon as it is had (decoded into or copied
// to): on huge pages where they pay, and released so that the next array
// finds its memory ready.
template <class Rec>
Rec* Sd_SoundingCore<Rec>::AllocRecordArray(int count) {
  return static_cast<Rec*>(Sv_PlatformAllocToFill(RecordBytes(count)));
}

template <class Rec>
void Sd_SoundingCore<Rec>::FreeRecordArray(Rec* records, int count) {
  Sv_PlatformFreeLarge(records, RecordBytes(count));
}

template <class Rec>
Sd_SoundingCore<Rec>::~Sd_SoundingCore() {
  FreeRecordArray(m_sndRecords, m_sndCount);
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
Rec* Sd_SoundingCore<Rec>::ReadSoundings(TDR_PayloadReader& in, int count, BoundsAccumulator* bounds,
                                         RecordRanges* ranges, WidenRecordFn widen, const void* context) {
  if (count <= 0) return nullptr;
  // Each worker prepares its share of the records with bounds (and
  // attribute ranges) of its own; they are combined in share order.
  struct Preparer {
    BoundsAccumulator bounds;
    RecordRanges ranges;
    WidenMemo memo;
    WidenRecordFn widen;
    const void* context;
    void operator()(Rec& r) {
      Prepare(&r, &bounds);
      if (widen) widen(r, ranges.range, context, &memo);
    }
  };
  std::vector<Preparer> parts(1);
  Preparer& first = parts[0];
  for (auto& range : first.ranges.range) {
    range[0] = 1.0e12f;
    range[1] = -1.0e12f;
  }
  first.widen = ranges ? widen : nullptr;
  first.context = context;
  Rec* records = AllocRecordArray(count);
  if (records && !sd_sounding::ReadRecordsShared<typename CodecOf<Rec>::Type>(in, records, count, &parts)) {
    FreeRecordArray(records, count);
    records = nullptr;
  }
  if (!records) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the soundings", m_class.className);
    return nullptr;
  }
  if (ranges) {
    *ranges = parts[0].ranges;
    ranges->known = parts[0].widen != nullptr;
  }
  for (const Preparer& part : parts) {
    for (int a = 0; a < 3; ++a) {
      if (part.bounds.min[a] < bounds->min[a]) bounds->min[a] = part.bounds.min[a];
      if (part.bounds.max[a] > bounds->max[a]) bounds->max[a] = part.bounds.max[a];
    }
    if (ranges) CombineRanges(ranges->range, part.ranges.range);
  }
  return records;
}

template <class Rec>
bool Sd_SoundingCore<Rec>::WriteSoundings(TDR_PayloadWriter& out, int byteOrder) const {
  return sd_sounding::WriteRecords<typename CodecOf<Rec>::Type>(out, byteOrder, m_sndRecords, m_sndCount);
}

template <class Rec>
void Sd_SoundingCore<Rec>::ReplaceSoundings(Rec* records, int count, const BoundsAccumulator& bounds,
                                            const RecordRanges* ranges) {
  m_recordRanges.known = 0;
  if (ranges && ranges->known) m_recordRanges = *ranges;
  FreeCellGrids();
  m_grid.ForgetMaxCellCount();
  FreeRecordArray(m_sndRecords, m_sndCount);
  m_sndRecords = records;
  m_sndCount = records ? count : 0;
  SetDataBounds(bounds);
}

template <class Rec>
int Sd_SoundingCore<Rec>::SetSoundings(const Rec* records, int count) {
  Rec* copy = nullptr;
  if (count > 0) {
    if (!records || !(copy = AllocRecordArray(count))) return -1;
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
  // Binning clears the cells' marks: the window goes with them.
  DropSelection();
  m_grid.ForgetMaxCellCount();
  Sd_SoundingGrid::Shape shape;
  // Messages name the file the soundings came from.
  const char* where = GetDataPath()[0] ? GetDataPath() : m_class.className;
  const int planned = m_grid.Plan(m_extent, m_sndCount, where, &shape);
  const char* failure = nullptr;
  if (planned == 0) {
    SetGridBounds(shape);
    bool charged = true;
    if (shape.rows != m_grid.Rows() || shape.cols != m_grid.Cols()) {
      // A load charges the grid to the file's memory budget, which says
      // why when it does not fit.
      charged = Sd_LoadBudget::Charge(Sd_SoundingGrid::Bytes(shape.rows, shape.cols), "sounding cell grid");
      if (charged && AllocCellGrids(shape.rows, shape.cols) != 0) failure = "ERROR:  No memory for the cell grid";
    } else {
      m_grid.ClearCells();
    }
    if (charged && !failure && !m_grid.Bin(m_sndRecords, m_sndCount, shape)) {
      failure = "ERROR:  No memory for binning the soundings";
    }
    if (charged && !failure) return 0;
    if (failure) Sv_Debug::Message(SV_LEVEL_DEBUG, failure, where);
  }
  // No grid: no sounding is in a cell.
  FreeCellGrids();
  m_grid.ForgetMaxCellCount();
  for (int i = 0; i < m_sndCount; ++i) m_sndRecords[i].nextInCell = -1;
  return planned > 0 ? 0 : -1;
}

template class Sd_SoundingCore<HTFSndRecord>;
template class Sd_SoundingCore<FsdSndRecord>;
