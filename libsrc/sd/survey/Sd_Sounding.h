#ifndef SD_SOUNDING_H
#define SD_SOUNDING_H

#include <cstdio>

#include "Sd_SoundingCore.h"

// FSD soundings (object tag 10400, attribute tag 10402, edits tag 10403,
// node type 19): survey runs, their frames and the soundings of the frames
// (FsdRunRecord, FsdFrameRecord, FsdSndRecord). On loading a sounding's
// depth and NBA depth are negated, and its z is the NBA depth when
// FSD_NBA_FLAG is set, else the depth. The filters are, in order, "hide
// not accepted" (off), "hide deleted" (on), "hide anomalies" (off) and
// "hide NBA" (off, not stored in the attribute record, whose last value is
// the run-line switch). The class configuration file is "SoundingClass".
//
// An object record of a format version below 2.0 makes LoadObject fail, and
// the factory drops the object after "          ****** OLD SOUNDING CLASS
// *******" (debug level); a damaged one too.
class Sd_Sounding : public Sd_SoundingCore<FsdSndRecord> {
 public:
  static constexpr int kTypeId = 19;
  Sd_Sounding();
  ~Sd_Sounding() override;

  const FsdRunRecord* GetRuns() const { return m_runs; }
  const FsdFrameRecord* GetFrames() const { return m_frames; }
  // Replace the runs (frames) with copies of count records. 0, or -1 when
  // out of memory (nothing changed).
  int SetRuns(const FsdRunRecord* runs, int count);
  int SetFrames(const FsdFrameRecord* frames, int count);
  // Frame frameIndex, or null when there is none of that index; *indexOut
  // (when given) is the index, or -1 for none.
  const FsdFrameRecord* GetFrame(int frameIndex, int* indexOut) const;
  // The run that frame frameIndex names, or null when the frame or the run
  // does not exist; *runIndexOut (when given) is the run's index, or -1.
  const FsdRunRecord* GetRunOfFrame(int frameIndex, int* runIndexOut) const;

  // Byte offsets of stored run, frame and sounding i within the object
  // record's payload, and the stored sizes.
  long long GetStoredRun(int i) const { return m_payloadHeaderSize + static_cast<long long>(i) * kStoredRunSize; }
  long long GetStoredFrame(int i) const {
    return m_payloadHeaderSize + static_cast<long long>(m_runCount) * kStoredRunSize +
           static_cast<long long>(i) * kStoredFrameSize;
  }
  long long GetStoredSounding(int i) const {
    return GetStoredFrame(m_frameCount) + static_cast<long long>(i) * FSD_STORED_SOUNDING_SIZE;
  }
  static int GetStoredRunSize() { return kStoredRunSize; }
  static int GetStoredFrameSize() { return kStoredFrameSize; }
  static int GetStoredSoundingSize() { return FSD_STORED_SOUNDING_SIZE; }

  // A small data set (two runs, their frames and a few soundings, one of
  // them NBA) written as its object record, common tags and attribute
  // record: the factory's sample.
  static int WriteSample(TDR_Manager* manager);

  // --- change log ---
  // One line on out for each field in which a record differs from stored
  // sounding, frame or run index, of the same id. An index outside the
  // records writes nothing; a frame or run of another id is reported.
  void SndRecordCmp(const FsdSndRecord& record, int index, FILE* out) const;
  void FrameRecordCmp(const FsdFrameRecord& record, int index, FILE* out) const;
  void RunRecordCmp(const FsdRunRecord& record, int index, FILE* out) const;
  // The same for two records of one id.
  static void SndRecordPairCmp(const FsdSndRecord& a, FsdSndRecord b, FILE* out);
  static void FramePairCmp(const FsdFrameRecord& a, FsdFrameRecord b, FILE* out);
  static void RunPairCmp(const FsdRunRecord& a, FsdRunRecord b, FILE* out);
  // The record's ids, positions, height, time, distance and count on out.
  static void PrintSndRecord(const FsdSndRecord& record, FILE* out);

 protected:
  int ReadRecords(TDR_PayloadReader& in, const Sd_SoundingHeader& header) override;
  bool WriteRecords(TDR_PayloadWriter& out, int byteOrder) const override;
  // Attributes 0 to 3 and 7 to 10: the sounding's primary and secondary
  // confidences; 4 to 6, 15 and 16, of soundings that have a frame: its
  // three confidences, depth correction and method.
  bool WidenAttributeRanges(float range[][2]) const override;
  // context: the frames (Frames).
  struct Frames {
    const FsdFrameRecord* frames;
    int count;
  };
  static void WidenRecord(const FsdSndRecord& r, float part[][2], const void* context, WidenMemo* memo);
  // The FSD table of sort keys (Sd_SoundingSort.cpp).
  int SortKeyDirection(int key) const override;
  bool SortKeyOf(int key, int index, uint64_t* value) const override;
  size_t GatherSortKeys(int key, const int* list, size_t n, uint64_t* values, unsigned char* lacks) const override;
  // Mode 3 by the class's table of colour attributes.
  void ColorCellsByAttribute() override;
  // One yellow line per run from its start to its end, at the grid-line
  // height, while the run-line switch is on.
  void DrawRunLines() override;

  FsdRunRecord* m_runs;
  FsdFrameRecord* m_frames;

  // The class's names of its filters and of the attribute record's last
  // value.
  int& m_hideNoAccept = m_filters[0];
  int& m_hideDeleted = m_filters[1];
  int& m_hideAnomaly = m_filters[2];
  int& m_hideNba = m_filters[3];
  int& m_showRunLines = m_lastSwitch;
};

#endif
