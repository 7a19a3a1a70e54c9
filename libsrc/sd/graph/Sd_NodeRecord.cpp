// The node record (SD_NODE), the common tags that follow an object's own
// record, and the transfer file.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "Sv_Stdlib.h"
#include "TDR_Colormap.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

namespace {

// The fields of a node record, read completely before any is stored in the
// node, so that a damaged record leaves the node as it was.
struct NodeRecord {
  int parent = 0;
  int next = 0;
  float rotation[3];
  float scale[3];
  float position[3];
  int type, isGroup, auxFlag, visible;
  char name[Sd_Node::NAME_SIZE];
  char description[Sd_Node::DESCRIPTION_SIZE];
  int auxRecords[6];
  float auxTriple[3];
  float ranges[12];
  float boundsY[2], boundsX[2], boundsZ[2];
  int showBoundingBox;
};

void ReportTransferError(const char* text, const char* path) {
  char message[1024];
  snprintf(message, sizeof(message), "%s%s", text, path);
  Sv_Debug::Message(SV_LEVEL_ERROR, message);
}

}  // namespace

int Sd_Node::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  NodeRecord r;
  bool hasParent = true;
  if (manager->GetTagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
    hasParent = format > 1.0f;
  }
  if (hasParent) in.Int32(&r.parent);
  in.Int32(&r.next);
  in.Float32s(r.rotation, 3);
  in.Float32s(r.scale, 3);
  in.Float32s(r.position, 3);
  in.Int32(&r.type);
  in.Int32(&r.isGroup);
  in.Int32(&r.auxFlag);
  in.Int32(&r.visible);
  in.CountedText(r.name, sizeof(r.name));
  in.CountedText(r.description, sizeof(r.description));
  in.Read(r.auxRecords, 24, 1);  // both 3-word records as one unit
  in.Float32s(r.auxTriple, 3);
  in.Float32s(r.ranges, 12);
  in.Float32s(r.boundsY, 2);
  in.Float32s(r.boundsX, 2);
  in.Float32s(r.boundsZ, 2);
  in.Int32(&r.showBoundingBox);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Truncated or damaged node record", manager->GetFileName());
    return -1;
  }

  m_storedLinks[0] = r.parent != 0;
  m_storedLinks[1] = r.next != 0;
  memcpy(m_rotation, r.rotation, sizeof(m_rotation));
  memcpy(m_scale, r.scale, sizeof(m_scale));
  memcpy(m_position, r.position, sizeof(m_position));
  m_type = r.type;
  m_isGroup = r.isGroup;
  m_auxFlag = r.auxFlag;
  m_visible = r.visible;
  memcpy(m_name, r.name, sizeof(m_name));
  memcpy(m_description, r.description, sizeof(m_description));
  memcpy(m_auxRecords, r.auxRecords, sizeof(m_auxRecords));
  memcpy(m_auxTriple, r.auxTriple, sizeof(m_auxTriple));
  for (int i = 0; i < 4; ++i) m_ranges[i] = Sd_Range{r.ranges[3 * i], r.ranges[3 * i + 1], r.ranges[3 * i + 2]};
  m_bounds[0] = r.boundsX[0];
  m_bounds[1] = r.boundsX[1];
  m_bounds[2] = r.boundsY[0];
  m_bounds[3] = r.boundsY[1];
  m_bounds[4] = r.boundsZ[0];
  m_bounds[5] = r.boundsZ[1];
  m_showBoundingBox = r.showBoundingBox;
  for (int a = 0; a < 3; ++a) {
    m_extents[a] = static_cast<double>(m_ranges[a].max) - m_ranges[a].min;
    m_centres[a] = (static_cast<double>(m_ranges[a].min) + m_ranges[a].max) * 0.5;
  }
  return ReadCommonTags(manager);
}

int Sd_Node::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  if (manager->WriteTag(TDR_TAG_SD_NODE, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_parent ? 1 : 0);
  out.Int32(m_next ? 1 : 0);
  out.Float32s(m_rotation, 3);
  out.Float32s(m_scale, 3);
  out.Float32s(m_position, 3);
  out.Int32(m_type);
  out.Int32(m_isGroup);
  out.Int32(m_auxFlag);
  out.Int32(m_visible);
  out.CountedText(m_name);
  out.CountedText(m_description);
  out.Write(m_auxRecords, 24, 1);
  out.Float32s(m_auxTriple, 3);
  for (const Sd_Range& range : m_ranges) {
    out.Float32(range.min);
    out.Float32(range.max);
    out.Float32(range.third);
  }
  out.Float32s(&m_bounds[2], 2);
  out.Float32s(&m_bounds[0], 2);
  out.Float32s(&m_bounds[4], 2);
  out.Int32(m_showBoundingBox);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (withCommonTags) return WriteCommonTags(manager);
  return 0;
}

int Sd_Node::ReadCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  for (;;) {
    // A file-pointer record stands for the next object, whatever its tag:
    // it, and any damage in the file it names, belong to the caller.
    const int tag = manager->ReadTrailingTag(nullptr);
    if (manager->IsFilePointer()) {
      manager->UnreadTagHeader();
      return 0;
    }
    if (tag == TDR_TAG_GEOREF) {
      TDR_GeoRef* geo = new TDR_GeoRef();
      if (geo->Read(manager) != 0) {
        delete geo;
        Sv_Debug::Message(SV_LEVEL_DEBUG, "Damaged georeference record", manager->GetFileName());
        return -1;
      }
      const double* x = geo->GetXBounds();
      const double* y = geo->GetYBounds();
      const double* z = geo->GetZBounds();
      // The node keeps its bounds as floats: a bound beyond their range
      // would turn into infinity and the object would draw nothing.
      for (double v : {x[0], x[1], y[0], y[1], z[0], z[1]}) {
        if (!(std::fabs(v) <= FLT_MAX)) {
          delete geo;
          Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Georeference bounds beyond the range a node can hold",
                            manager->GetFileName());
          return -1;
        }
      }
      SetGeoRef(geo);
      SetBounds(0, static_cast<float>(x[0]), static_cast<float>(x[1]));
      SetBounds(1, static_cast<float>(y[0]), static_cast<float>(y[1]));
      SetBounds(2, static_cast<float>(z[0]), static_cast<float>(z[1]));
    } else if (tag == TDR_TAG_BK_CMAP) {
      unsigned* colours = TDR_UtlReadColormapTag(manager, nullptr);
      if (!colours) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "Damaged colour map record", manager->GetFileName());
        return -1;
      }
      SetColorMap(colours);
    } else if (tag == TDR_TAG_BK_CMAPTABLE) {
      manager->SkipTagData(0);
    } else if (tag == TDR_TAG_ERROR && DamagedOwnRecord(manager)) {
      return -1;
    } else if (tag == TDR_TAG_EOF || tag == TDR_TAG_ERROR || ReadOwnRecord(manager, tag) == 0) {
      // A foreign tag (or the end tag) belongs to the caller.
      manager->UnreadTagHeader();
      return 0;
    }
  }
}

int Sd_Node::ReadOwnRecord(TDR_Manager*, int) { return 0; }

bool Sd_Node::DamagedOwnRecord(const TDR_Manager* manager) {
  // A header whose id names an object, a scene entry or the end tag starts
  // what follows the object: the damage is not the object's. A header cut
  // before its id is where the file ends.
  int tag = TDR_TAG_ERROR;
  if (!manager->MetDamagedHeader(&tag)) return false;
  return tag != TDR_TAG_ERROR && tag != TDR_TAG_EOF && tag != TDR_TAG_SD_NODE && tag != TDR_TAG_SD_HIERARCHY &&
         !Sd_IOSupport::FindClass(tag);
}

bool Sd_Node::ExpectTag(TDR_Manager* manager, int tag, const char* message) {
  const int read = manager->ReadTag(nullptr);
  if (read == tag) return true;
  Sv_Debug::Message(SV_LEVEL_DEBUG, message);
  if (read != TDR_TAG_ERROR) manager->UnreadTagHeader();
  return false;
}

int Sd_Node::WriteCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (TDR_GeoRef::WriteBoundsRecord(manager, m_bounds) != 0) return -1;
  if (m_colorMap) {
    if (manager->WriteTag(TDR_TAG_BK_CMAP, 1, 0, 0, 1) != 0) return -1;
    if (TDR_UtlWriteColormapTag(manager, m_colorMap) != 0) return -1;
    if (manager->EndTag() != 0) return -1;
  }
  return 0;
}

// The transfer file: the node's common fields as a raw record in this
// machine's byte order, without bounds.
int Sd_Node::WriteTemporaryData(const char* path) {
  const char* target = path ? path : "/tmp/brannovick.transfer";
  // Written beside the target and renamed over it at the end, so a reader
  // never sees a half-written transfer file and a failure keeps the old one.
  Sv_AtomicFile out;
  FILE* f = out.Open(target, 1);
  if (!f) {
    ReportTransferError("ERROR:  Opening temporary file for writing  -  ", target);
    return -1;
  }
  const int links[2] = {m_parent ? 1 : 0, m_next ? 1 : 0};
  const int flags[4] = {m_type, m_isGroup, m_auxFlag, m_visible};
  const int nameLength = static_cast<int>(strlen(m_name));
  const int descriptionLength = static_cast<int>(strlen(m_description));
  bool ok = fwrite(links, sizeof(links), 1, f) == 1 && fwrite(m_rotation, sizeof(m_rotation), 1, f) == 1 &&
            fwrite(m_scale, sizeof(m_scale), 1, f) == 1 && fwrite(m_position, sizeof(m_position), 1, f) == 1 &&
            fwrite(flags, sizeof(flags), 1, f) == 1 && fwrite(&nameLength, 4, 1, f) == 1 &&
            fwrite(m_name, 1, static_cast<size_t>(nameLength), f) == static_cast<size_t>(nameLength) &&
            fwrite(&descriptionLength, 4, 1, f) == 1 &&
            fwrite(m_description, 1, static_cast<size_t>(descriptionLength), f) ==
                static_cast<size_t>(descriptionLength) &&
            fwrite(m_auxRecords, sizeof(m_auxRecords), 1, f) == 1 &&
            fwrite(m_auxTriple, sizeof(m_auxTriple), 1, f) == 1 && fwrite(m_ranges, sizeof(m_ranges), 1, f) == 1;
  if (!ok) {
    out.Discard();
  } else {
    ok = out.Commit() == 0;
  }
  if (!ok) {
    ReportTransferError("ERROR:  Writing temporary file  -  ", target);
    return -1;
  }
  return 0;
}

int Sd_Node::WriteTemporaryData() {
  Sv_Debug::Message(SV_LEVEL_ERROR, "Sd_Node::WriteTemporaryData: This function is obsolete.");
  Sv_UtlExitProcess(-1);
}
