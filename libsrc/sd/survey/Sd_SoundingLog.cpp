// Change logs of sounding, frame and run records, and sounding printouts.
#include "Sd_SoundingLog.h"

#include <cmath>
#include <string>

#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"
#include "Sv_Debug.h"

namespace Sd_SoundingLog {
namespace {

// How a field compares and prints.
enum class Kind {
  kNear,        // floating point, equal within 1e-7, printed with %f
  kExact,       // floating point, exactly equal, printed with %f
  kInt,         // integer, printed with %d
  kIntAsFloat,  // integer, printed as a floating-point value (%f)
  kFlag,        // one bit of the flag byte, printed as 0 or 1 (%d)
  kSkip,        // not compared in this form
};

// One field of a table. The message has the id's %d and the two values'
// conversions; blanks go before it in the pair form.
template <class Rec>
struct Row {
  double (*value)(const Rec&);  // the field, widened (the flag byte for kFlag)
  Kind kind;
  const char* message;
  unsigned mask;          // kFlag: the bit
  int pairBlanks;         // blanks before the pair form's line
  Kind pairKind;          // how the pair form compares it
  const char* pairMessage;  // the pair form's own message, or null
};

constexpr double kNearEnough = 1e-7;

template <class Rec, size_t N>
void Run(const Row<Rec> (&table)[N], int id, const Rec& a, const Rec& b, Form form, FILE* out) {
  if (!out) return;
  for (size_t i = 0; i < N; ++i) {
    const Row<Rec>& row = table[i];
    const bool pair = form == Form::kPair;
    const Kind kind = pair ? row.pairKind : row.kind;
    const double x = row.value(a), y = row.value(b);
    bool differs = false;
    switch (kind) {
      case Kind::kSkip:
        continue;
      case Kind::kNear:
        differs = std::fabs(x - y) >= kNearEnough;
        break;
      case Kind::kFlag:
        // The bits are looked at only when the bytes differ.
        differs = x != y && ((static_cast<unsigned>(x) ^ static_cast<unsigned>(y)) & row.mask) != 0;
        break;
      default:
        differs = x != y;
        break;
    }
    if (!differs) continue;
    const std::string format =
        std::string(pair ? static_cast<size_t>(row.pairBlanks) : 0u, ' ') + (pair && row.pairMessage ? row.pairMessage : row.message);
    switch (kind) {
      case Kind::kInt:
        fprintf(out, format.c_str(), id, static_cast<int>(x), static_cast<int>(y));
        break;
      case Kind::kFlag:
        fprintf(out, format.c_str(), id, (static_cast<unsigned>(x) & row.mask) ? 1 : 0,
                (static_cast<unsigned>(y) & row.mask) ? 1 : 0);
        break;
      default:
        fprintf(out, format.c_str(), id, x, y);
        break;
    }
  }
}

#define FIELD(Rec, expr) [](const Rec& r) -> double { return static_cast<double>(expr); }
#define SND "Change in Sounding with ID %d:  "

// HTF soundings: the first six rows only in the index form.
const Row<HTFSndRecord> kHTF[] = {
    {FIELD(HTFSndRecord, r.lineName), Kind::kInt, "Change in Sounding with ID %d: Line Name changed from %d to %d.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.fixNumber), Kind::kInt, "Change in Sounding with ID %d: Fix Number changed from %d to %d.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.tpePosition), Kind::kExact, "Change in TPE Position with ID %d: TPE Position changed from %f to %f.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.tpeDepth), Kind::kExact, "Change in TPE Depth with ID %d: TPE Depth changed from %f to %f.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.dwCorrection), Kind::kExact, "Change in DW Correction with ID %d: DW Correction changed from %f to %f.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.vbCorrection), Kind::kExact, "Change in VB Correction with ID %d: VB Correction changed from %f to %f.\n", 0, 3, Kind::kSkip, nullptr},
    {FIELD(HTFSndRecord, r.lonStart), Kind::kNear, SND "lonStart changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(HTFSndRecord, r.lat), Kind::kNear, SND "lat changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(HTFSndRecord, r.x), Kind::kNear, SND "x changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(HTFSndRecord, r.y), Kind::kNear, SND "y changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(HTFSndRecord, r.time), Kind::kIntAsFloat, SND "time changed from %f to %f.\n", 0, 3, Kind::kIntAsFloat, nullptr},
    {FIELD(HTFSndRecord, r.depth), Kind::kNear, SND "depth changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(HTFSndRecord, r.flags), Kind::kFlag, SND "HTF_REJECTED_FLAG changed from %d to %d.\n", HTF_REJECTED_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(HTFSndRecord, r.flags), Kind::kFlag, SND "HTF_PLOTTED_FLAG changed from %d to %d.\n", HTF_PLOTTED_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(HTFSndRecord, r.flags), Kind::kFlag, SND "HTF_NBA_FLAG changed from %d to %d.\n", HTF_NBA_FLAG, 3, Kind::kFlag, nullptr},
};

// FSD soundings: the pair form prints the distance as integers.
const Row<FsdSndRecord> kFSD[] = {
    {FIELD(FsdSndRecord, r.lonStart), Kind::kNear, SND "lonStart changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdSndRecord, r.lat), Kind::kNear, SND "lat changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdSndRecord, r.x), Kind::kNear, SND "x changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdSndRecord, r.y), Kind::kNear, SND "y changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdSndRecord, r.time), Kind::kIntAsFloat, SND "time changed from %f to %f.\n", 0, 3, Kind::kIntAsFloat, nullptr},
    {FIELD(FsdSndRecord, r.distance), Kind::kIntAsFloat, SND "distance changed from %f to %f.\n", 0, 3, Kind::kInt, SND "distance changed from %d to %d.\n"},
    {FIELD(FsdSndRecord, r.depth), Kind::kNear, SND "depth changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdSndRecord, r.sndCount), Kind::kInt, SND "sndCount changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.primaryConf[0]), Kind::kInt, SND "primaryConf[0] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.primaryConf[1]), Kind::kInt, SND "primaryConf[1] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.primaryConf[2]), Kind::kInt, SND "primaryConf[2] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.primaryConf[3]), Kind::kInt, SND "primaryConf[3] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.secondConf[0]), Kind::kInt, SND "secondConf[0] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.secondConf[1]), Kind::kInt, SND "secondConf[1] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.secondConf[2]), Kind::kInt, SND "secondConf[2] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.secondConf[3]), Kind::kInt, SND "secondConf[3] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_DELETE_FLAG changed from %d to %d.\n", FSD_DELETE_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_ANOMALY_FLAG changed from %d to %d.\n", FSD_ANOMALY_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_NOACCEPT_FLAG changed from %d to %d.\n", FSD_NOACCEPT_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_CLASH_FLAG changed from %d to %d.\n", FSD_CLASH_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_MANSELECT_FLAG changed from %d to %d.\n", FSD_MANSELECT_FLAG, 4, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.flags), Kind::kFlag, SND "FSD_NBA_FLAG changed from %d to %d.\n", FSD_NBA_FLAG, 3, Kind::kFlag, nullptr},
    {FIELD(FsdSndRecord, r.nbaDepth), Kind::kNear, SND "nbaDepth changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
};

#define FRAME "Change in frame with ID: %d  "
const Row<FsdFrameRecord> kFrame[] = {
    {FIELD(FsdFrameRecord, r.depthCorr), Kind::kNear, FRAME "depthCorr changed from %f to %f.\n", 0, 3, Kind::kNear, nullptr},
    {FIELD(FsdFrameRecord, r.time), Kind::kInt, FRAME "time changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdFrameRecord, r.conf[0]), Kind::kInt, FRAME "conf[0] changed from %d to %d.\n", 0, 0, Kind::kInt, nullptr},
    {FIELD(FsdFrameRecord, r.conf[1]), Kind::kInt, FRAME "conf[1] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdFrameRecord, r.conf[2]), Kind::kInt, FRAME "conf[2] changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdFrameRecord, r.method), Kind::kInt, FRAME "method changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
    {FIELD(FsdFrameRecord, r.pointCount), Kind::kInt, FRAME "pointCount changed from %d to %d.\n", 0, 3, Kind::kInt, nullptr},
};

#define RUN "Change in run with ID: %d  "
#define RUN_NEAR(f, blanks) {FIELD(FsdRunRecord, r.f), Kind::kNear, RUN #f " changed from %f to %f.\n", 0, blanks, Kind::kNear, nullptr}
#define RUN_INT(f, blanks) {FIELD(FsdRunRecord, r.f), Kind::kInt, RUN #f " changed from %d to %d.\n", 0, blanks, Kind::kInt, nullptr}
const Row<FsdRunRecord> kRun[] = {
    RUN_NEAR(lonStart, 3), RUN_NEAR(latStart, 4), RUN_NEAR(xStart, 4), RUN_NEAR(yStart, 3),
    RUN_NEAR(lonEnd, 3),   RUN_NEAR(latEnd, 3),   RUN_NEAR(xEnd, 3),   RUN_NEAR(yEnd, 3),
    RUN_INT(day, 3),       RUN_INT(year, 3),      RUN_INT(status, 3),  RUN_INT(statusType, 3),
    RUN_INT(offset, 3),    RUN_INT(distance, 3),  RUN_INT(limit, 3),   RUN_INT(suf_con, 0),
    RUN_INT(pos_con, 3),   RUN_INT(count, 3),
};

}  // namespace

void CompareHTF(const HTFSndRecord& a, const HTFSndRecord& b, Form form, FILE* out) {
  if (a.id == b.id) Run(kHTF, a.id, a, b, form, out);
}

void CompareFSD(const FsdSndRecord& a, const FsdSndRecord& b, Form form, FILE* out) {
  if (a.id == b.id) Run(kFSD, a.id, a, b, form, out);
}

void CompareFrame(const FsdFrameRecord& a, const FsdFrameRecord& b, Form form, FILE* out) {
  if (a.id == b.id) Run(kFrame, a.id, a, b, form, out);
}

void CompareRun(const FsdRunRecord& a, const FsdRunRecord& b, Form form, FILE* out) {
  if (a.id == b.id) Run(kRun, a.id, a, b, form, out);
}

void PrintHTF(const HTFSndRecord& r, FILE* out) {
  if (!out) return;
  fprintf(out, "\nPrintout for Sounding ID %d.\n", r.id);
  fprintf(out, "x=%f, y=%f, lon=%f, lat=%f, z=%f\n", r.x, r.y, r.lonStart, r.lat, r.z);
}

void PrintFSD(const FsdSndRecord& r, FILE* out) {
  if (!out) return;
  fprintf(out, "\nPrintout for Sounding ID %d.\n", r.id);
  fprintf(out, "frameIdx=%d, frameHeadID=%d, primaryFrameID=%d\n", r.frameIdx, r.frameHeadID, r.primaryFrameID);
  fprintf(out, "x=%f, y=%f, lon=%f, lat=%f, z=%f\n", r.x, r.y, r.lonStart, r.lat, r.z);
  fprintf(out, "time=%d, distance=%d, sndCount=%d.\n", r.time, r.distance, r.sndCount);
}

}  // namespace Sd_SoundingLog

// --- the classes' forms ---

using Sd_SoundingLog::Form;

void Sd_HTFSounding::SndRecordCmp(const HTFSndRecord& record, int index, FILE* out) const {
  if (index < 0 || index >= GetSoundingCount()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_HTFSounding::SndRecordCmp: sounding position index out of bound!\n");
    return;
  }
  Sd_SoundingLog::CompareHTF(record, GetRecords()[index], Form::kIndex, out);
}

void Sd_HTFSounding::SndRecordPairCmp(const HTFSndRecord& a, HTFSndRecord b, FILE* out) {
  Sd_SoundingLog::CompareHTF(a, b, Form::kPair, out);
}

void Sd_HTFSounding::PrintSndRecord(const HTFSndRecord& record, FILE* out) { Sd_SoundingLog::PrintHTF(record, out); }

void Sd_Sounding::SndRecordCmp(const FsdSndRecord& record, int index, FILE* out) const {
  if (index < 0 || index >= GetSoundingCount()) return;
  Sd_SoundingLog::CompareFSD(record, GetRecords()[index], Form::kIndex, out);
}

void Sd_Sounding::FrameRecordCmp(const FsdFrameRecord& record, int index, FILE* out) const {
  if (index < 0 || index >= GetFrameCount() || !m_frames) return;
  if (m_frames[index].id != record.id) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_Sounding, ", "FrameRecordCmp: position index is wrong!\n");
    return;
  }
  Sd_SoundingLog::CompareFrame(record, m_frames[index], Form::kIndex, out);
}

void Sd_Sounding::RunRecordCmp(const FsdRunRecord& record, int index, FILE* out) const {
  if (index < 0 || index >= GetRunCount() || !m_runs) return;
  if (m_runs[index].id != record.id) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_Sounding, ", "RunRecordCmp: position index is wrong!\n");
    return;
  }
  Sd_SoundingLog::CompareRun(record, m_runs[index], Form::kIndex, out);
}

void Sd_Sounding::SndRecordPairCmp(const FsdSndRecord& a, FsdSndRecord b, FILE* out) {
  Sd_SoundingLog::CompareFSD(a, b, Form::kPair, out);
}

void Sd_Sounding::FramePairCmp(const FsdFrameRecord& a, FsdFrameRecord b, FILE* out) {
  Sd_SoundingLog::CompareFrame(a, b, Form::kPair, out);
}

void Sd_Sounding::RunPairCmp(const FsdRunRecord& a, FsdRunRecord b, FILE* out) {
  Sd_SoundingLog::CompareRun(a, b, Form::kPair, out);
}

void Sd_Sounding::PrintSndRecord(const FsdSndRecord& record, FILE* out) { Sd_SoundingLog::PrintFSD(record, out); }
