#ifndef SD_HTFSOUNDING_H
#define SD_HTFSOUNDING_H

#include <cstdio>

#include "Sd_SoundingCore.h"

// HTF soundings (object tag 10545, attribute tag 10546, edits tag 10547,
// node type 38): one flat list of sounding records (HTFSndRecord). A
// sounding's z is minus its depth. The filters are, in order, "hide
// rejected" (on), "plotted only" (off) and "hide NBA" (off). The class
// configuration file is "HTFSoundingClass", in the layout of the FSD
// class's file with a spare switch in place of the run-line switch.
//
// An object record of a format version below 2.0 is refused without a
// message (the factory drops it); a damaged one too, after a debug message.
class Sd_HTFSounding : public Sd_SoundingCore<HTFSndRecord> {
 public:
  static constexpr int kTypeId = 38;
  Sd_HTFSounding();

  // Byte offset of stored sounding i within the object record's payload.
  long long GetStoredRecord(int i) const {
    return m_payloadHeaderSize + static_cast<long long>(i) * HTF_STORED_SOUNDING_SIZE;
  }
  static int GetStoredRecordSize() { return HTF_STORED_SOUNDING_SIZE; }

  // Day of the year of a decimal date YYYYMMDD; 0 for a month or day out
  // of range.
  static int DayOfYear(int date);

  // A small data set (a few soundings with their flags, attributes set)
  // written as its object record, common tags and attribute record: the
  // factory's sample.
  static int WriteSample(TDR_Manager* manager);

  // Loads the HTF sounding records of a TDR file of its own into this
  // object (Sd_SoundingExport.cpp): every object record of the class in the
  // file is read as the factory reads it, with the records that follow it,
  // and replaces what the object held; other records are stepped over. 0
  // when a record was loaded; -1 (after a debug message) when the file
  // cannot be opened or is not a TDR file, or none of its records loaded.
  int ReadSoundingFile(const char* path);

  // --- change log ---
  // One line on out for each field in which record differs from stored
  // sounding index (same id; an index outside the soundings is reported,
  // another id writes nothing).
  void SndRecordCmp(const HTFSndRecord& record, int index, FILE* out) const;
  // The same for two records of one id (their position fields only).
  static void SndRecordPairCmp(const HTFSndRecord& a, HTFSndRecord b, FILE* out);
  // The record's id, positions and height on out.
  static void PrintSndRecord(const HTFSndRecord& record, FILE* out);

 protected:
  int ReadRecords(TDR_PayloadReader& in, const Sd_SoundingHeader& header) override;
  bool WriteRecords(TDR_PayloadWriter& out, int byteOrder) const override;
  // Attributes 0 to 7: TPE position, TPE depth, DW and VB corrections,
  // field17, the day of the year, the line name and field14.
  bool WidenAttributeRanges(float range[][2]) const override;
  static void WidenRecord(const HTFSndRecord& r, float part[][2], const void* context, WidenMemo* memo);
  // A select request selects only with action code 0, which the viewer's
  // selecting tool (actions 1 to 4) does not send.
  bool SelectsOnAction(int action) const override { return action == 0; }
  // The HTF table of sort keys (Sd_SoundingSort.cpp).
  int SortKeyDirection(int key) const override;
  bool SortKeyOf(int key, int index, uint64_t* value) const override;
  size_t GatherSortKeys(int key, const int* list, size_t n, uint64_t* values, unsigned char* lacks) const override;
  // Mode 3 by the class's table of colour attributes.
  void ColorCellsByAttribute() override;
  const char* NoLightsMessage() const override { return "Sd_HTFSounding, "; }

  // The class's names of its filters and of the attribute record's last
  // value.
  int& m_hideRejected = m_filters[0];
  int& m_plottedOnly = m_filters[1];
  int& m_hideNba = m_filters[2];
  int& m_spareSwitch = m_lastSwitch;
};

#endif
