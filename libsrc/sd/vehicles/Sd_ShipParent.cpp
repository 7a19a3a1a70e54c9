// The ship node: construction, class file, records and text files.
#include "Sd_ShipParent.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>

#include "Sd_TextScan.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Bytes of one stored track point (value, x, y) and sonobuoy (x, y, z).
constexpr int kEntryBytes = 12;

// Whether every value fits into a float.
bool FitFloats(const double* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!(std::fabs(v[i]) <= FLT_MAX)) return false;
  }
  return true;
}

// Lowest and highest values met, per axis.
struct Range {
  float lo[3] = {0.0f, 0.0f, 0.0f};
  float hi[3] = {0.0f, 0.0f, 0.0f};
  bool any = false;
  void Add(const float* v, int n) {
    for (int a = 0; a < n; ++a) {
      lo[a] = any ? std::min(lo[a], v[a]) : v[a];
      hi[a] = any ? std::max(hi[a], v[a]) : v[a];
    }
    any = true;
  }
};

}  // namespace

Sd_ShipParent::Sd_ShipParent()
    : m_positions(),
      m_animate(0),
      m_showTrack(0.0f),
      m_showSonobuoys(1),
      m_window(10),
      m_animationPosition(0),
      m_markerKind(0),
      m_wholeRender(0) {
  SetType(kTypeId);
  SetGroup(1);
  SetKeepsOwnBounds(true);
  SetBounds(0, 0.0f, 1.0f);
  SetBounds(1, 0.0f, 1.0f);
  SetBounds(2, -5000.0f, 5000.0f);
  ReadClassConfiguration();
}

Sd_ShipParent::~Sd_ShipParent() {}

void Sd_ShipParent::FreeData() {}

const char* Sd_ShipParent::className() const { return "Ship Node"; }

// --- class file ---

void Sd_ShipParent::ReadClassConfiguration() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("ShipParentClass", &version, &f)) return;
  std::string line;
  double show = 0.0;
  // Show-sonobuoys flag, animate flag, window length, sonobuoy count,
  // track point count.
  int whole[5] = {m_showSonobuoys, m_animate, m_window, m_positions.sonobuoyCount, m_positions.trackCount};
  if (Sd_TextScan::ReadValueLine(&f, &line) && Sd_TextScan::Scan(line, "f", nullptr, &show) && FitFloats(&show, 1)) {
    m_showTrack = static_cast<float>(show);
    for (int i = 0; i < 5 && Sd_TextScan::ReadValueLine(&f, &line) && Sd_TextScan::Scan(line, "i", &whole[i], nullptr);
         ++i) {
    }
  }
  m_showSonobuoys = whole[0];
  m_animate = whole[1];
  m_window = whole[2];
  // The file gives counts without positions: the markers stand at the
  // positions held (zero in a new node).
  m_positions.sonobuoyCount = std::clamp(whole[3], 0, kMaxSonobuoys);
  m_positions.trackCount = std::clamp(whole[4], 0, kMaxTrackPoints);
}

// --- records ---

template <class Take>
bool Sd_ShipParent::ReadEntries(TDR_PayloadReader& in, int count, int capacity, int entryBytes, Take take) {
  if (!in.Ok() || count < 0 || static_cast<long long>(count) * entryBytes > in.Left()) return false;
  const int kept = std::min(count, capacity);
  for (int i = 0; i < kept; ++i) take(i);
  if (count > kept) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  More ship positions than the node holds; the first ones kept",
                      in.Manager()->GetFileName());
    in.Skip(static_cast<long long>(count - kept) * entryBytes);
  }
  return in.Ok();
}

int Sd_ShipParent::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  int firstChild = 0;
  float bounds[6] = {0, 0, 0, 0, 0, 0};
  in.Int32(&firstChild);
  in.Float32s(bounds, 6);
  Positions read = m_positions;
  int tracks = 0, sonobuoys = 0;
  in.Int32(&tracks);
  bool ok = ReadEntries(in, tracks, kMaxTrackPoints, kEntryBytes, [&](int i) {
    in.Float32(&read.values[i]);
    in.Float32s(read.track[i], 2);
  });
  in.Int32(&sonobuoys);
  ok = ok && ReadEntries(in, sonobuoys, kMaxSonobuoys, kEntryBytes, [&](int i) { in.Float32s(read.sonobuoys[i], 3); });
  for (float b : bounds) ok = ok && std::isfinite(b);
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated or damaged ship record", manager->GetFileName());
    return -1;
  }
  read.trackCount = std::min(tracks, kMaxTrackPoints);
  read.sonobuoyCount = std::min(sonobuoys, kMaxSonobuoys);
  m_positions = read;
  for (int a = 0; a < 3; ++a) SetBounds(a, bounds[2 * a], bounds[2 * a + 1]);
  SetStoredFirstChildFlag(firstChild != 0);
  return ReadCommonTags(manager);
}

int Sd_ShipParent::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_SHIPPARENT_ATB) return 0;
  TDR_PayloadReader in(manager);
  // Records of format version 0 hold positions only when the format is 2.0.
  bool positions = true;
  if (in.TagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
    positions = format == 2.0f;
  }
  float showTrack = 0.0f;
  int flags[2] = {0, 0};
  in.Float32(&showTrack);
  in.Int32s(flags, 2);
  Positions read = m_positions;
  bool ok = in.Ok();
  if (positions) {
    int counts[2] = {0, 0};  // track points, sonobuoys
    in.Int32s(counts, 2);
    ok = ReadEntries(in, counts[1], kMaxSonobuoys, kEntryBytes, [&](int i) { in.Float32s(read.sonobuoys[i], 3); }) &&
         ReadEntries(in, counts[0], kMaxTrackPoints, kEntryBytes, [&](int i) {
           in.Float32s(read.track[i], 2);
           in.Float32(&read.values[i]);
         });
    read.trackCount = std::min(counts[0], kMaxTrackPoints);
    read.sonobuoyCount = std::min(counts[1], kMaxSonobuoys);
  }
  if (!ok) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged ship settings record; settings kept", manager->GetFileName());
    return 1;
  }
  m_showTrack = showTrack;
  m_showSonobuoys = flags[0];
  m_animate = flags[1];
  if (positions) m_positions = read;
  return 1;
}

int Sd_ShipParent::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(TDR_TAG_SD_SHIPPARENT, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_children ? 1 : 0);
  out.Float32s(m_bounds, 6);
  out.Int32(m_positions.trackCount);
  for (int i = 0; i < m_positions.trackCount; ++i) {
    out.Float32(m_positions.values[i]);
    out.Float32s(m_positions.track[i], 2);
  }
  out.Int32(m_positions.sonobuoyCount);
  for (int i = 0; i < m_positions.sonobuoyCount; ++i) out.Float32s(m_positions.sonobuoys[i], 3);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_ShipParent::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SHIPPARENT_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Float32(m_showTrack);
  out.Int32(m_showSonobuoys);
  out.Int32(m_animate);
  out.Int32(m_positions.trackCount);
  out.Int32(m_positions.sonobuoyCount);
  for (int i = 0; i < m_positions.sonobuoyCount; ++i) out.Float32s(m_positions.sonobuoys[i], 3);
  for (int i = 0; i < m_positions.trackCount; ++i) {
    out.Float32s(m_positions.track[i], 2);
    out.Float32(m_positions.values[i]);
  }
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_ShipParent::WriteSample(TDR_Manager* manager) {
  Sd_ShipParent ship;
  ship.SetName("Sample Ship");
  ship.SetBounds(0, 0.0f, 1000.0f);
  ship.SetBounds(1, 0.0f, 500.0f);
  ship.SetBounds(2, -100.0f, 0.0f);
  ship.m_showTrack = 1.0f;
  ship.m_animate = 1;
  const float values[] = {1.0f, 2.0f, 3.0f};
  const float xy[] = {100, 100, 500, 250, 900, 400};
  const float buoys[] = {200, 300, -20, 800, 100, -60};
  ship.SetTrack(values, xy, 3);
  ship.SetSonobuoys(buoys, 2);
  return ship.SaveObject(manager, 1, 0);
}

// --- positions ---

int Sd_ShipParent::SetTrack(const float* values, const float* xy, int count) {
  const int n = values && xy ? std::clamp(count, 0, kMaxTrackPoints) : 0;
  for (int i = 0; i < n; ++i) {
    m_positions.values[i] = values[i];
    m_positions.track[i][0] = xy[2 * i];
    m_positions.track[i][1] = xy[2 * i + 1];
  }
  m_positions.trackCount = n;
  return n;
}

int Sd_ShipParent::SetSonobuoys(const float* xyz, int count) {
  const int n = xyz ? std::clamp(count, 0, kMaxSonobuoys) : 0;
  for (int i = 0; i < n; ++i) std::copy(xyz + 3 * i, xyz + 3 * i + 3, m_positions.sonobuoys[i]);
  m_positions.sonobuoyCount = n;
  return n;
}

void Sd_ShipParent::SetOrWidenXY(const float lo[2], const float hi[2]) {
  const bool none = m_bounds[0] == 0.0f && m_bounds[1] == 0.0f && m_bounds[2] == 0.0f && m_bounds[3] == 0.0f;
  for (int a = 0; a < 2; ++a) {
    if (none) {
      SetBounds(a, lo[a], hi[a]);
    } else {
      SetBounds(a, std::min(m_bounds[2 * a], lo[a]), std::max(m_bounds[2 * a + 1], hi[a]));
    }
  }
}

template <class Store>
int Sd_ShipParent::ReadPositionFile(const char* path, const char* openMessage, const char* pattern, int capacity,
                                    Store store) {
  Sv_LineReader f;
  if (!path || !f.Open(path, kMaxPositionFileBytes)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, openMessage, path);
    return -1;
  }
  std::string line;
  int count = 0;
  if (!Sd_TextScan::ReadLine(&f, &line) || !Sd_TextScan::Scan(line, "i", &count, nullptr) || count < 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A ship position file must begin with its count", path);
    return -1;
  }
  if (m_bounds[4] == 0.0f && m_bounds[5] == 0.0f) SetBounds(2, -5000.0f, 5000.0f);
  // Reading ends at the capacity: lines after it could not be stored.
  int stored = 0, skipped = 0, n = 0;
  for (; n < count && stored < capacity && Sd_TextScan::ReadLine(&f, &line); ++n) {
    int unused[8];
    double v[8];
    if (Sd_TextScan::Scan(line, pattern, unused, v) && FitFloats(v, 3)) {
      store(stored++, v);
    } else {
      ++skipped;
    }
  }
  if (n < count && stored == capacity) ++skipped;
  if (skipped > 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Position lines without their numbers, or beyond the capacity, skipped",
                      path);
  }
  return stored;
}

int Sd_ShipParent::ReadTrackFile(const char* path) {
  // Four whole numbers that are not used, the value, y and x.
  Range range;
  const int stored =
      ReadPositionFile(path, "ERROR:  Opening track data for ship parent.", "iiiifff", kMaxTrackPoints,
                       [&](int i, const double* v) {
                         m_positions.values[i] = static_cast<float>(v[0]);
                         m_positions.track[i][0] = static_cast<float>(v[2]);
                         m_positions.track[i][1] = static_cast<float>(v[1]);
                         range.Add(m_positions.track[i], 2);
                       });
  if (stored < 0) return -1;
  m_positions.trackCount = stored;
  if (range.any) SetOrWidenXY(range.lo, range.hi);
  return 0;
}

int Sd_ShipParent::ReadSonobuoyFile(const char* path) {
  // y, x and z.
  Range range;
  const int stored = ReadPositionFile(path, "ERROR:  Opening file for sonobuoy positions.", "fff", kMaxSonobuoys,
                                      [&](int i, const double* v) {
                                        float* b = m_positions.sonobuoys[i];
                                        b[0] = static_cast<float>(v[1]);
                                        b[1] = static_cast<float>(v[0]);
                                        b[2] = static_cast<float>(v[2]);
                                        range.Add(b, 3);
                                      });
  if (stored < 0) return -1;
  m_positions.sonobuoyCount = stored;
  if (range.any) {
    SetOrWidenXY(range.lo, range.hi);
    // Depths only ever widen the z bounds.
    SetBounds(2, std::min(m_bounds[4], range.lo[2]), std::max(m_bounds[5], range.hi[2]));
  }
  return 0;
}
