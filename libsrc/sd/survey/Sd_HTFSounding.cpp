// HTF soundings: the class's table, its records and its sample.
#include "Sd_HTFSounding.h"

#include "Sv_Stdlib.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

const Sd_SoundingClass kClass = {
    "Sd_HTFSounding",
    Sd_HTFSounding::kTypeId,
    TDR_TAG_SD_HTFSOUNDING,
    TDR_TAG_SD_HTFSOUNDING_ATB,
    TDR_TAG_SD_HTFSOUNDING_EDITS,
    1,
    HTF_STORED_SOUNDING_SIZE,
    3,
    {{HTF_REJECTED_FLAG, 1, 1}, {HTF_PLOTTED_FLAG, 0, 0}, {HTF_NBA_FLAG, 1, 0}, {0, 0, 0}},
    "HTFSoundingClass",
    "Sd_HTFSounding ",
    "Error: Expected version 1 sounding atbribute data!\n",
};

}  // namespace

Sd_HTFSounding::Sd_HTFSounding() : Sd_SoundingCore<HTFSndRecord>(kClass) { ReadClassConfiguration(); }

int Sd_HTFSounding::ReadRecords(TDR_PayloadReader& in, const Sd_SoundingHeader& header) {
  BoundsAccumulator bounds;
  RecordRanges ranges;
  HTFSndRecord* records = ReadSoundings(in, header.sndCount, &bounds, &ranges, WidenRecord);
  if (header.sndCount > 0 && !records) return -1;
  ReplaceSoundings(records, header.sndCount, bounds, records ? &ranges : nullptr);
  return 0;
}

bool Sd_HTFSounding::WriteRecords(TDR_PayloadWriter& out, int byteOrder) const {
  return out.Int32(m_sndCount) && WriteSoundings(out, byteOrder);
}

int Sd_HTFSounding::DayOfYear(int date) {
  const int year = date / 10000;
  const int month = (date - year * 10000) / 100;
  return Sv_UtlDayOfYear(year, month, date % 100);
}

void Sd_HTFSounding::WidenRecord(const HTFSndRecord& r, float part[][2], const void*, WidenMemo* memo) {
  // Soundings come in runs of one date.
  if (!memo->set || r.date != memo->date) {
    memo->day = DayOfYear(memo->date = r.date);
    memo->set = 1;
  }
  const float v[8] = {r.tpePosition,
                      r.tpeDepth,
                      r.dwCorrection,
                      r.vbCorrection,
                      static_cast<float>(r.field17),
                      static_cast<float>(memo->day),
                      static_cast<float>(r.lineName),
                      r.field14};
  for (int k = 0; k < 8; ++k) Widen(part[k], v[k]);
}

bool Sd_HTFSounding::WidenAttributeRanges(float range[][2]) const {
  return WidenOverRecords(range, WidenRecord, nullptr);
}

int Sd_HTFSounding::WriteSample(TDR_Manager* manager) {
  HTFSndRecord r[5] = {};
  for (int i = 0; i < 5; ++i) {
    r[i].id = 101 + i;
    r[i].lineName = 7 + i / 3;
    r[i].fixNumber = 1000 + 10 * i;
    r[i].date = 20240227 + i;
    r[i].x = 500000.0 + 40.0 * i;
    r[i].y = 6000000.0 + 25.0 * (i % 3);
    r[i].lonStart = 3.0 + 0.0006 * i;
    r[i].lat = 54.1 + 0.0002 * (i % 3);
    r[i].time = 3600 * i + 17;
    r[i].depth = 12.5f + 1.75f * i;
    r[i].z = -r[i].depth;
    r[i].field10 = i;
    r[i].field11 = -i;
    r[i].tpePosition = 0.5f + 0.1f * i;
    r[i].tpeDepth = 0.25f * i;
    r[i].field14 = 3.0f - i;
    r[i].dwCorrection = 0.125f * i;
    r[i].vbCorrection = -0.0625f * i;
    r[i].field17 = 0x10000u * i + 3u;
  }
  r[1].flags = HTF_PLOTTED_FLAG;
  r[2].flags = HTF_REJECTED_FLAG;
  r[3].flags = HTF_NBA_FLAG | HTF_PLOTTED_FLAG | 0x80;
  Sd_HTFSounding set;
  if (set.SetSoundings(r, 5) != 0) return -1;
  if (set.SetSampleSettings() != 0) return -1;
  return set.WriteDataRecord(manager) == 0 && set.WriteCommonTags(manager) == 0 ? 0 : -1;
}
