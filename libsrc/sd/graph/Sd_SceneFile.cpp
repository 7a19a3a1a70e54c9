// Scene files: the scene record and the hierarchy around it.
//
// Two parts of the record ignore the file's byte order as a whole: the
// 24-byte reserved block is one element (reversed as a unit when the byte
// order differs), and the view matrix is always little-endian.
#include "Sd_SceneFile.h"

#include <cstdint>
#include <cstring>

#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

const char* const Sd_SceneFile::kComment = "Brannovick wrote this scene file!\n";

namespace {

constexpr int kBlockBytes = 24;
constexpr int kMatrixBytes = 64;
// Format version of the old layout (tag version 0).
constexpr float kOldFormat = 1.0f;

// The reserved block as writers fill it: 16 zero bytes, then 0.1 and
// 10000.0 in this machine's order (the block is swapped as one unit).
void FillBlock(unsigned char block[kBlockBytes]) {
  memset(block, 0, kBlockBytes);
  const float tail[2] = {0.1f, 10000.0f};
  memcpy(block + 16, tail, sizeof(tail));
}

bool ReadMatrix(TDR_PayloadReader& in, float out[16]) {
  unsigned char bytes[kMatrixBytes];
  if (!in.Bytes(bytes, kMatrixBytes)) return false;
  for (int i = 0; i < 16; ++i) {
    const unsigned char* b = bytes + 4 * i;
    const uint32_t word = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    memcpy(&out[i], &word, 4);
  }
  return true;
}

bool WriteMatrix(TDR_PayloadWriter& out, const float m[16]) {
  unsigned char bytes[kMatrixBytes];
  for (int i = 0; i < 16; ++i) {
    uint32_t word;
    memcpy(&word, &m[i], 4);
    for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<unsigned char>(word >> (8 * k));
  }
  return out.Bytes(bytes, kMatrixBytes);
}

void ReportInvalid(const char* path) { Sv_Debug::Error("File \"%s\" is not a valid scene file.", path); }

}  // namespace

int Sd_SceneFile::ReadRecord(TDR_Manager* manager, Sd_SceneSettings* out) {
  if (!manager || !out) return -1;
  Sd_SceneSettings s;
  s.tagVersion = manager->GetTagVersion();
  TDR_PayloadReader in(manager);
  float format = 0.0f;
  if (s.tagVersion == 0) in.Float32(&format);
  int reserved = 0;
  unsigned char block[kBlockBytes];
  in.Int32(&reserved);
  in.Read(block, kBlockBytes, 1);

  if (s.tagVersion == 0 && format == kOldFormat) {
    float values[4];  // one ignored, then three of which the last is the base value
    in.Float32s(values, 4);
    s.oldLayout = 1;
    s.aspectMode = 1;
    s.baseScaleValue = values[3];
    ReadMatrix(in, s.viewMatrix);
    float trailing[2];
    in.Float32s(trailing, 2);
    s.hasCameraBaseScale = 0;
  } else {
    float values[4];
    in.Read(&s.aspectMode, 2, 1);
    in.Read(&s.coordinateType, 2, 1);
    in.Float32s(values, 4);
    s.nearScale = values[0];
    s.farClip = values[1];
    s.globalScale = values[2];
    s.baseScaleValue = values[3];
    ReadMatrix(in, s.viewMatrix);
    s.hasCameraBaseScale = s.tagVersion >= 3 ? 1 : 0;
    if (s.hasCameraBaseScale) in.Float32(&s.cameraBaseScale);
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Scene record cut short", manager->GetFileName());
    return -1;
  }
  *out = s;
  return 0;
}

int Sd_SceneFile::WriteRecord(TDR_Manager* manager, const Sd_SceneSettings& s, int tagVersion) {
  if (!manager || (tagVersion != 0 && tagVersion != 2 && tagVersion != 3)) return -1;
  if (manager->WriteTag(TDR_TAG_BK_SCENE, static_cast<short>(tagVersion), 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  unsigned char block[kBlockBytes];
  FillBlock(block);
  if (tagVersion == 0) out.Float32(kOldFormat);
  out.Int32(0);
  out.Write(block, kBlockBytes, 1);
  if (tagVersion == 0) {
    const float values[4] = {0.0f, 0.0f, 0.0f, s.baseScaleValue};
    out.Float32s(values, 4);
    WriteMatrix(out, s.viewMatrix);
    const float trailing[2] = {0.0f, 0.0f};
    out.Float32s(trailing, 2);
  } else {
    out.Write(&s.aspectMode, 2, 1);
    out.Write(&s.coordinateType, 2, 1);
    const float values[4] = {s.nearScale, s.farClip, s.globalScale, s.baseScaleValue};
    out.Float32s(values, 4);
    WriteMatrix(out, s.viewMatrix);
    if (tagVersion == 3) out.Float32(s.cameraBaseScale);
  }
  if (!out.Ok()) return -1;
  return manager->EndTag() == 0 ? 0 : -1;
}

Sd_Node* Sd_SceneFile::Read(const char* path, Sd_SceneSettings* out) {
  if (!path || !out || !Sd_IOSupport::PathFits(path)) return nullptr;
  TDR_Manager manager;
  if (manager.OpenFile(path, "rb") != 0) {
    Sv_Debug::Error("Could not open the scene \"%s\".", path);
    return nullptr;
  }
  Sd_SceneSettings settings;
  if (manager.ReadHeader() != 0 || manager.ReadTag() != TDR_TAG_BK_SCENE || ReadRecord(&manager, &settings) != 0) {
    manager.CloseFile();
    ReportInvalid(path);
    return nullptr;
  }

  Sd_Node* top = Sd_IOSupport(nullptr).ReadHierarchy(&manager);
  // The hierarchy reader closes the file when it finds no hierarchy.
  if (manager.GetFilePtr()) manager.CloseFile();
  if (!top) {
    ReportInvalid(path);
    return nullptr;
  }

  if (settings.oldLayout) {
    top->ComputeBounds();
    settings.coordinateType = 0;
    Sd_Iterator it(top);
    for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
      const int unit = n->GetGeoUnitType();
      if (unit != -1) {
        settings.coordinateType = static_cast<short>(unit);
        break;
      }
    }
  }
  *out = settings;
  return top;
}

int Sd_SceneFile::WriteTo(TDR_Manager* manager, const Sd_SceneSettings& settings, Sd_Node* root) {
  if (!manager || !root) return -1;
  manager->AddComment(kComment);
  if (manager->WriteHeader() != 0) return -1;
  if (WriteRecord(manager, settings, kTagVersion) != 0) return -1;
  if (Sd_IOSupport(root).WriteHierarchy(manager) != 0) return -1;
  return manager->WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 ? 0 : -1;
}

int Sd_SceneFile::Write(const char* path, const Sd_SceneSettings& settings, Sd_Node* root) {
  if (!path || !root) return -1;
  TDR_Manager manager;
  if (manager.OpenFile(path, "wb") != 0) return -1;
  if (WriteTo(&manager, settings, root) != 0) {
    // A file cut short would read as a damaged scene: the old one stays.
    manager.DiscardFile();
    return -1;
  }
  return manager.CloseFile() == 0 ? 0 : -1;
}
