#ifndef SD_SOUNDINGCORE_H
#define SD_SOUNDINGCORE_H

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "Sd_SoundingRecords.h"
#include "Sd_SoundingSet.h"
#include "Sd_SoundingWorkers.h"

// Whether a record has the flag state that a highlight attribute names: HTF
// 11 NBA, 12 plotted, 14 rejected; FSD 11 NBA, 12 deleted, 13 anomaly, 14
// not "no accept", 22 no clash; 0 for any other attribute.
int Sd_SoundingHighlighted(const HTFSndRecord& r, int attribute);
int Sd_SoundingHighlighted(const FsdSndRecord& r, int attribute);

// The soundings of a sounding data set, for either record type (Rec is
// HTFSndRecord or FsdSndRecord): the record array and what works on records
// alike in both classes. A record array always holds m_sndCount records.
template <class Rec>
class Sd_SoundingCore : public Sd_SoundingSet {
 public:
  using Record = Rec;

  ~Sd_SoundingCore() override;

  const Rec* GetRecords() const { return m_sndRecords; }
  Rec* GetRecords() { return m_sndRecords; }

  // Index of the first sounding (from 0 up) whose id is id; -1 when none.
  int FindRecordByID(int id) const;
  // 1 when sounding index has this id and lies less than 1.0 from (x, y)
  // on both axes; 0 otherwise, also for an index outside the records.
  int MatchRecord(int id, int index, float x, float y) const;

  // Replaces the soundings with copies of count records in their loaded
  // form (z as given), which are then prepared as loading prepares them:
  // chain ends, marks cleared, kept out of the grid when not finite, and
  // the data bounds set. The cell grid goes; UpdateCellStatistics bins
  // them. 0, or -1 when out of memory (nothing changed).
  int SetSoundings(const Rec* records, int count);

  int BuildCellGrid() override;
  int IsSoundingShown(int index) const override;

  // 1 when record r has the flag state that the highlight attribute names
  // (SetHighlightAttribute; -1, the default, names none).
  int IsHighlighted(const Rec& r) const { return Sd_SoundingHighlighted(r, m_style.HighlightAttribute()); }

 protected:
  explicit Sd_SoundingCore(const Sd_SoundingClass& cls) : Sd_SoundingSet(cls), m_sndRecords(nullptr) {}

  // The attribute values a record feeds (HTF: attributes 0 to 7; FSD: 0
  // to 10, 15 and 16), widening part; context is the class's (FSD: its
  // frames), memo a worker's own (HTF: the last date and its day).
  struct WidenMemo {
    int date = 0;
    int day = 0;
    int set = 0;
  };
  using WidenRecordFn = void (*)(const Rec& r, float part[][2], const void* context, WidenMemo* memo);
  // The ranges that widen gives over every record, widened from (1e12,
  // -1e12) as ComputeAttributeRanges starts them; known while the records
  // (and frames) are those they were gathered from: loading gathers them
  // while decoding, so no pass over the records is needed for them.
  struct RecordRanges {
    float range[kAttributeCount][2];
    int known = 0;
  };

  // count soundings read from the payload into a new array (released with
  // FreeRecordArray), widening *bounds; null (after a debug message) when
  // they cannot all be read or there is no memory for them, and for count
  // 0.
  // With widen, the records' attribute ranges are gathered into *ranges
  // on the way.
  Rec* ReadSoundings(TDR_PayloadReader& in, int count, BoundsAccumulator* bounds, RecordRanges* ranges = nullptr,
                     WidenRecordFn widen = nullptr, const void* context = nullptr);
  // The soundings in their stored form.
  bool WriteSoundings(TDR_PayloadWriter& out, int byteOrder) const;
  // Takes records (count of them) as the soundings, releasing the old ones
  // and the cell grid (whose chains and runs name them), and sets the data
  // bounds and the records' attribute ranges (when gathered).
  void ReplaceSoundings(Rec* records, int count, const BoundsAccumulator& bounds,
                        const RecordRanges* ranges = nullptr);

  SoundingPoint GetSoundingPoint(int index) const override {
    const Rec& r = m_sndRecords[index];
    return SoundingPoint{r.x, r.y, r.z, r.mark, IsHighlighted(r)};
  }

  unsigned char ExcludedFlags() const override {
    return std::is_same<Rec, HTFSndRecord>::value ? HTF_REJECTED_FLAG : FSD_DELETE_FLAG;
  }
  unsigned char* SoundingMark(int index) override {
    return index >= 0 && index < m_sndCount ? &m_sndRecords[index].mark : nullptr;
  }

  // Widens range as calling widen for every record in index order does,
  // from the ranges gathered on loading when they are known, else on
  // workers for a large data set: each share widens a copy of range, and
  // the copies are combined in share order.
  // False when a worker's share failed (range is then left as it was).
  bool WidenOverRecords(float range[][2], WidenRecordFn widen, const void* context) const {
    if (m_recordRanges.known) {
      CombineRanges(range, m_recordRanges.range);
      return true;
    }
    using Ranges = std::array<std::array<float, 2>, kAttributeCount>;
    const size_t n = static_cast<size_t>(m_sndCount);
    const int workers = sd_sounding::WorkerCount(n);
    std::vector<Ranges> parts(static_cast<size_t>(workers));
    const bool ok = sd_sounding::RunShares(n, workers, [&](int w, size_t begin, size_t end) {
      float part[kAttributeCount][2];
      memcpy(part, range, sizeof part);
      WidenMemo memo;
      for (size_t i = begin; i < end; ++i) widen(m_sndRecords[i], part, context, &memo);
      memcpy(parts[static_cast<size_t>(w)].data(), part, sizeof part);
    });
    if (!ok) return false;
    for (const Ranges& part : parts) CombineRanges(range, reinterpret_cast<const float(*)[2]>(part.data()));
    return true;
  }
  // Widens range by the lows and highs of part (a share's ranges).
  static void CombineRanges(float range[][2], const float part[][2]) {
    for (int k = 0; k < kAttributeCount; ++k) {
      if (part[k][0] < range[k][0]) range[k][0] = part[k][0];
      if (part[k][1] > range[k][1]) range[k][1] = part[k][1];
    }
  }

  Rec* m_sndRecords;
  RecordRanges m_recordRanges;

 private:
  // The record array of count records, and its release.
  static size_t RecordBytes(int count) { return static_cast<size_t>(count > 0 ? count : 1) * sizeof(Rec); }
  static Rec* AllocRecordArray(int count);
  static void FreeRecordArray(Rec* records, int count);
  // A sounding as loading leaves it: at the end of no cell chain, not
  // marked, in the grid only when its position widened the bounds.
  static void Prepare(Rec* r, BoundsAccumulator* bounds);
};

extern template class Sd_SoundingCore<HTFSndRecord>;
extern template class Sd_SoundingCore<FsdSndRecord>;

#endif
