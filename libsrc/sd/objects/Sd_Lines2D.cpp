// 2-D lines: records, normalisation and the file-pointer save.
#include "Sd_Lines2D.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


// One coordinate mapped from [min, max] into -0.5 ... 0.5; 0 (the middle)
// when the range is empty, so a set of points on one line stays drawable.
// Computed in double, so no finite range overflows.
float Normalise(float v, float min, float max) {
  const double range = static_cast<double>(max) - min;
  if (range == 0.0) return 0.0f;
  return static_cast<float>((v - static_cast<double>(min)) / range - 0.5);
}

// Whether path names the same file as target (which may not exist yet).
bool SameFile(const char* path, const char* target) {
  std::error_code ec;
  if (std::filesystem::equivalent(path, target, ec) && !ec) return true;
  const std::filesystem::path a = std::filesystem::weakly_canonical(path, ec);
  if (ec) return strcmp(path, target) == 0;
  const std::filesystem::path b = std::filesystem::weakly_canonical(target, ec);
  if (ec) return strcmp(path, target) == 0;
  return a == b;
}

}  // namespace

Sd_Lines2D::Sd_Lines2D()
    : m_headerValue(0), m_count(0), m_lineWidth(2), m_points(nullptr), m_range{0, 0, 0, 0}, m_colour{255, 255, 255, 255} {
  SetType(kTypeId);
}

Sd_Lines2D::~Sd_Lines2D() { free(m_points); }

void Sd_Lines2D::FreeData() {}

const char* Sd_Lines2D::className() const { return "Sd_Lines2D"; }

void Sd_Lines2D::SetColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  m_colour[0] = r;
  m_colour[1] = g;
  m_colour[2] = b;
  m_colour[3] = a;
}

// --- records ---

int Sd_Lines2D::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) in.Skip(4);  // the format version
  int header = 0, count = 0;
  float range[4] = {0, 0, 0, 0};  // y min, y max, x min, x max
  in.Int32(&header);
  in.Int32(&count);
  in.Float32s(range, 4);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated or damaged 2-D lines record", manager->GetFileName());
    return -1;
  }
  // Eight bytes a point: a count the payload cannot hold is refused before
  // anything is allocated.
  if (count < 0 || count > in.Left() / 8) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  2-D lines point count does not fit the record", manager->GetFileName());
    return -1;
  }
  for (float r : range) {
    if (!std::isfinite(r)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  2-D lines data range is not a number", manager->GetFileName());
      return -1;
    }
  }
  float* points = nullptr;
  if (count > 0) {
    points = static_cast<float*>(malloc(sizeof(float) * 2 * static_cast<size_t>(count)));
    if (!points) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  Not enough memory for the 2-D lines", manager->GetFileName());
      return -1;
    }
    if (!in.Float32s(points, 2 * count)) {
      free(points);
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated or damaged 2-D lines record", manager->GetFileName());
      return -1;
    }
  }
  for (int i = 0; i < count; ++i) {
    float* p = points + 2 * i;
    if (p[0] == kPenUp) continue;
    p[0] = Normalise(p[0], range[2], range[3]);
    p[1] = Normalise(p[1], range[0], range[1]);
    // A point that is not a number breaks the line instead of drawing to it.
    if (!std::isfinite(p[0]) || !std::isfinite(p[1])) p[0] = kPenUp;
  }

  free(m_points);
  m_points = points;
  m_count = count;
  m_headerValue = header;
  memcpy(m_range, range, sizeof(m_range));
  SetBounds(0, range[2], range[3]);
  SetBounds(1, range[0], range[1]);
  SetBounds(2, -kZBound, kZBound);
  return ReadCommonTags(manager);
}

// The settings record carries nothing but, at tag version 0, a format
// version; its payload is stepped over when the next record is read.
int Sd_Lines2D::ReadOwnRecord(TDR_Manager*, int tag) { return tag == TDR_TAG_SD_LINES2D_ATB ? 1 : 0; }

int Sd_Lines2D::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_description[0]) return -1;
  if (SameFile(m_description, manager->GetPath())) {
    Sv_Debug::Message(SV_LEVEL_ERROR,
                      "ERROR:  The 2-D lines are saved as a pointer to the file they came from, which is the file "
                      "being written; save to another file",
                      m_description);
    return -1;
  }
  if (manager->WriteTag(TDR_TAG_SD_LINES2D, 1, 0, 1, 1) != 0 || manager->WriteFilePointerString(m_description) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Lines2D::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_LINES2D_ATB, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  return 0;
}

int Sd_Lines2D::WriteRecord(TDR_Manager* manager, int headerValue, const float* xy, int count, const float range[4]) {
  if (!manager || count < 0 || (count > 0 && !xy)) return -1;
  if (manager->WriteTag(TDR_TAG_SD_LINES2D, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(headerValue);
  out.Int32(count);
  out.Float32s(range, 4);
  if (count > 0) out.Float32s(xy, 2 * count);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Lines2D::WriteSample(TDR_Manager* manager) {
  // Two polylines split by a pen-up marker.
  static const float kPoints[] = {0.0f, 0.0f, 40.0f, 30.0f, kPenUp, 0.0f, 60.0f, 10.0f, 100.0f, 40.0f};
  static const float kRange[4] = {0.0f, 40.0f, 0.0f, 100.0f};
  if (WriteRecord(manager, 0, kPoints, 5, kRange) != 0) return -1;
  Sd_Lines2D lines;
  lines.SetBounds(0, kRange[2], kRange[3]);
  lines.SetBounds(1, kRange[0], kRange[1]);
  lines.SetBounds(2, -kZBound, kZBound);
  return lines.WriteCommonTags(manager);
}
