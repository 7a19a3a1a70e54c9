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
  void WidenAttributeRanges(float range[][2]) const override;

  // The class's names of its filters and of the attribute record's last
  // value.
  int& m_hideRejected = m_filters[0];
  int& m_plottedOnly = m_filters[1];
  int& m_hideNba = m_filters[2];
  int& m_spareSwitch = m_lastSwitch;
};

#endif
