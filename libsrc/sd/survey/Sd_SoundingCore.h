#ifndef SD_SOUNDINGCORE_H
#define SD_SOUNDINGCORE_H

#include <cstdint>

#include "Sd_SoundingRecords.h"
#include "Sd_SoundingSet.h"

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

 protected:
  explicit Sd_SoundingCore(const Sd_SoundingClass& cls) : Sd_SoundingSet(cls), m_sndRecords(nullptr) {}

  // count soundings read from the payload into a new array (released with
  // free()), widening *bounds; null (after a debug message) when they
  // cannot all be read or there is no memory for them, and for count 0.
  Rec* ReadSoundings(TDR_PayloadReader& in, int count, BoundsAccumulator* bounds);
  // The soundings in their stored form.
  bool WriteSoundings(TDR_PayloadWriter& out, int byteOrder) const;
  // Takes records (count of them) as the soundings, releasing the old ones
  // and the cell grid (whose chains and runs name them), and sets the data
  // bounds.
  void ReplaceSoundings(Rec* records, int count, const BoundsAccumulator& bounds);

  Rec* m_sndRecords;

 private:
  // A sounding as loading leaves it: at the end of no cell chain, not
  // marked, in the grid only when its position widened the bounds.
  static void Prepare(Rec* r, BoundsAccumulator* bounds);
  // Bins the soundings into the grid of shape, which has its storage:
  // counts, runs and chains. false when out of memory.
  bool Bin(const CellGridShape& shape);
  // Places the binned soundings (cell, z as float and flags of each
  // record) in their cells' lists and runs, with entries of type Entry;
  // leaves each record's successor in its list in cellOf.
  template <class Entry>
  bool Place(uint32_t* cellOf, const float* zOf, const unsigned char* flagsOf);
};

extern template class Sd_SoundingCore<HTFSndRecord>;
extern template class Sd_SoundingCore<FsdSndRecord>;

#endif
