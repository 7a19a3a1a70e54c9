// FSD soundings: the class's table, its runs, frames and soundings, and its
// sample.
#include "Sd_Sounding.h"

#include <cstdlib>
#include <cstring>

#include "Sd_SoundingCodec.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

const Sd_SoundingClass kClass = {
    "Sd_Sounding",
    Sd_Sounding::kTypeId,
    TDR_TAG_SD_SOUNDING,
    TDR_TAG_SD_SOUNDING_ATB,
    TDR_TAG_SD_SOUNDING_EDITS,
    3,
    FSD_STORED_SOUNDING_SIZE,
    4,
    {{FSD_NOACCEPT_FLAG, 1, 0}, {FSD_DELETE_FLAG, 1, 1}, {FSD_ANOMALY_FLAG, 1, 0}, {FSD_NBA_FLAG, 1, 0}},
    "SoundingClass",
    nullptr,
    nullptr,
};

// Makes *records a copy of count records (null for none), releasing the
// old ones, and *held their count. false when out of memory (nothing
// changed).
template <class T>
bool Replace(const T* from, int count, T** records, int* held) {
  T* copy = nullptr;
  if (count > 0) {
    if (!from || !(copy = sd_sounding::AllocRecords<T>(count))) return false;
    memcpy(copy, from, static_cast<size_t>(count) * sizeof(T));
  }
  free(*records);
  *records = copy;
  *held = copy ? count : 0;
  return true;
}

}  // namespace

Sd_Sounding::Sd_Sounding() : Sd_SoundingCore<FsdSndRecord>(kClass), m_runs(nullptr), m_frames(nullptr) {
  ReadClassConfiguration();
}

Sd_Sounding::~Sd_Sounding() {
  free(m_runs);
  free(m_frames);
}

int Sd_Sounding::SetRuns(const FsdRunRecord* runs, int count) {
  return Replace(runs, count, &m_runs, &m_runCount) ? 0 : -1;
}

int Sd_Sounding::SetFrames(const FsdFrameRecord* frames, int count) {
  // The soundings' ranges read their frames.
  m_recordRanges.known = 0;
  return Replace(frames, count, &m_frames, &m_frameCount) ? 0 : -1;
}

const FsdFrameRecord* Sd_Sounding::GetFrame(int frameIndex, int* indexOut) const {
  const bool exists = frameIndex >= 0 && frameIndex < m_frameCount;
  if (indexOut) *indexOut = exists ? frameIndex : -1;
  return exists ? &m_frames[frameIndex] : nullptr;
}

const FsdRunRecord* Sd_Sounding::GetRunOfFrame(int frameIndex, int* runIndexOut) const {
  const FsdFrameRecord* frame = GetFrame(frameIndex, nullptr);
  const bool exists = frame && frame->runIdx >= 0 && frame->runIdx < m_runCount;
  if (runIndexOut) *runIndexOut = exists ? frame->runIdx : -1;
  return exists ? &m_runs[frame->runIdx] : nullptr;
}

void Sd_Sounding::WidenRecord(const FsdSndRecord& r, float part[][2], const void* context, WidenMemo*) {
  for (int k = 0; k < 4; ++k) {
    Widen(part[k], r.primaryConf[k]);
    Widen(part[7 + k], r.secondConf[k]);
  }
  const Frames& f = *static_cast<const Frames*>(context);
  if (r.frameIdx >= 0 && r.frameIdx < f.count) {
    const FsdFrameRecord& frame = f.frames[r.frameIdx];
    for (int k = 0; k < 3; ++k) Widen(part[4 + k], static_cast<float>(frame.conf[k]));
    Widen(part[15], frame.depthCorr);
    Widen(part[16], static_cast<float>(frame.method));
  }
}

bool Sd_Sounding::WidenAttributeRanges(float range[][2]) const {
  const Frames frames{m_frames, m_frameCount};
  return WidenOverRecords(range, WidenRecord, &frames);
}

int Sd_Sounding::ReadRecords(TDR_PayloadReader& in, const Sd_SoundingHeader& header) {
  auto none = [](auto&) {};
  FsdRunRecord* runs = sd_sounding::ReadNewRecords<sd_sounding::FsdRunCodec>(in, header.runCount, none);
  FsdFrameRecord* frames = nullptr;
  if (header.runCount == 0 || runs) {
    frames = sd_sounding::ReadNewRecords<sd_sounding::FsdFrameCodec>(in, header.frameCount, none);
  }
  BoundsAccumulator bounds;
  RecordRanges ranges;
  const Frames read{frames, header.frameCount};
  FsdSndRecord* soundings = nullptr;
  const bool ok =
      (header.runCount == 0 || runs) && (header.frameCount == 0 || frames) &&
      (header.sndCount == 0 || (soundings = ReadSoundings(in, header.sndCount, &bounds, &ranges, WidenRecord, &read)));
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading the runs and frames of the soundings", kClass.className);
    free(runs);
    free(frames);
    return -1;
  }
  free(m_runs);
  free(m_frames);
  m_runs = runs;
  m_frames = frames;
  m_runCount = header.runCount;
  m_frameCount = header.frameCount;
  ReplaceSoundings(soundings, header.sndCount, bounds, soundings ? &ranges : nullptr);
  return 0;
}

bool Sd_Sounding::WriteRecords(TDR_PayloadWriter& out, int byteOrder) const {
  out.Int32(m_runCount);
  out.Int32(m_frameCount);
  out.Int32(m_sndCount);
  return sd_sounding::WriteRecords<sd_sounding::FsdRunCodec>(out, byteOrder, m_runs, m_runCount) &&
         sd_sounding::WriteRecords<sd_sounding::FsdFrameCodec>(out, byteOrder, m_frames, m_frameCount) &&
         WriteSoundings(out, byteOrder);
}

int Sd_Sounding::WriteSample(TDR_Manager* manager) {
  FsdRunRecord runs[2] = {};
  for (int i = 0; i < 2; ++i) {
    FsdRunRecord& r = runs[i];
    r.id = 11 + i;
    r.day = 59 + i;
    r.year = 2024;
    r.status = 1;
    r.statusType = 2 + i;
    r.offset = 5 * i;
    r.distance = 400;
    r.limit = 30;
    r.suf_con = 1;
    r.pos_con = 2;
    r.count = 2 - i;
    r.xStart = 500000.0;
    r.xEnd = 500160.0;
    r.yStart = r.yEnd = 6000000.0 + 60.0 * i;
    r.lonStart = 3.0;
    r.lonEnd = 3.0024;
    r.latStart = r.latEnd = 54.1 + 0.0005 * i;
  }
  FsdFrameRecord frames[3] = {};
  for (int i = 0; i < 3; ++i) {
    FsdFrameRecord& f = frames[i];
    f.runIdx = i / 2;
    f.id = 200 + i;
    f.time = 36000 + 60 * i;
    f.conf[0] = i;
    f.conf[1] = 2 * i;
    f.conf[2] = 3 - i;
    f.depthCorr = 0.25f * i;
    f.method = 1 + i;
    f.pointCount = 2 - i / 2;
  }
  FsdSndRecord s[5] = {};
  for (int i = 0; i < 5; ++i) {
    FsdSndRecord& r = s[i];
    r.frameIdx = i / 2;
    r.id = 301 + i;
    r.frameHeadID = 200 + i / 2;
    r.primaryFrameID = 200;
    r.x = 500000.0 + 40.0 * i;
    r.y = 6000000.0 + 60.0 * (i % 2);
    r.lonStart = 3.0 + 0.0006 * i;
    r.lat = 54.1 + 0.0005 * (i % 2);
    r.time = 36000 + 7 * i;
    r.distance = 40 * i;
    r.sndCount = 5;
    r.depth = -(20.0f + 2.5f * i);
    r.nbaDepth = r.depth + 0.5f;
    r.z = r.depth;
    for (int k = 0; k < 4; ++k) {
      r.primaryConf[k] = static_cast<signed char>(k + i);
      r.secondConf[k] = static_cast<signed char>(-k - i);
    }
  }
  s[1].flags = FSD_DELETE_FLAG;
  s[2].flags = FSD_NBA_FLAG | FSD_CLASH_FLAG;
  s[2].z = s[2].nbaDepth;
  s[4].flags = FSD_ANOMALY_FLAG | FSD_MANSELECT_FLAG;
  Sd_Sounding set;
  if (set.SetRuns(runs, 2) != 0 || set.SetFrames(frames, 3) != 0 || set.SetSoundings(s, 5) != 0) return -1;
  if (set.SetSampleSettings() != 0) return -1;
  return set.WriteDataRecord(manager) == 0 && set.WriteCommonTags(manager) == 0 ? 0 : -1;
}
