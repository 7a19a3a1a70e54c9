// The ROV node: its block, records, fit and history track.
#include "Sd_ROVParent.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "Sd_Lines3D.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

const char* const kDefaultBlockName = "ROVMEMDATA";
std::string g_blockName = kDefaultBlockName;

// Whether path names a regular file that can be opened (a pipe or device
// named by another program must not make the viewer wait).
bool IsReadableRegularFile(const std::string& path) {
  FILE* f = Sv_PlatformOpenRegularFile(path.c_str());
  if (!f) return false;
  fclose(f);
  return true;
}

}  // namespace

void Sd_ROVParent::SetBlockName(const char* name) { g_blockName = name && *name ? name : kDefaultBlockName; }
const char* Sd_ROVParent::GetBlockName() { return g_blockName.c_str(); }

Sd_ROVParent::Sd_ROVParent() : m_settings{1, 1}, m_block(nullptr) {
  SetType(kTypeId);
  SetGroup(1);
  SetKeepsOwnBounds(true);
  m_vehicleTransform.SetIdentity();
  if (m_memory.AttachToMemory(g_blockName.c_str(), kBlockBytes)) {
    m_block = static_cast<unsigned char*>(m_memory.GetMemory());
  }
  if (!m_block) Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Allocating shared memory!\n");
}

Sd_ROVParent::~Sd_ROVParent() {
  m_block = nullptr;
  m_memory.DetachFromMemory();
}

void Sd_ROVParent::FreeData() {
  Sd_AlignmentNode::FreeData();
  m_memory.Close();
}

const char* Sd_ROVParent::className() const { return "ROV Node"; }

// --- the block ---

bool Sd_ROVParent::ReadBlock(Pose* pose) const {
  if (!m_block) return false;
  memcpy(pose->v, m_block, sizeof(pose->v));
  return true;
}

void Sd_ROVParent::WriteBlock(int index, const double* values, int count) {
  if (!m_block || index < 0 || count < 0 || index + count > kBlockDoubles) return;
  memcpy(m_block + 8 * index, values, 8 * static_cast<size_t>(count));
}

void Sd_ROVParent::SetGeoBoundInfo() {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "  *** Sd_ROVParent::SetGeoBoundInfo ***\n");
  double bounds[6];
  for (int i = 0; i < 6; ++i) bounds[i] = m_bounds[i];
  const double valid = 1.0;
  WriteBlock(kBounds, bounds, 6);
  WriteBlock(kBoundsValid, &valid, 1);
}

void Sd_ROVParent::SetScale(float scale) {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "Setting ROV Scale");
  const double value = scale;
  WriteBlock(kVehicleScale, &value, 1);
}

double Sd_ROVParent::GetScale() const {
  Pose pose;
  return ReadBlock(&pose) ? pose.v[kVehicleScale] : 0.0;
}

void Sd_ROVParent::FitToScene(Sd_Node* scene, int flag) {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_ROVParent::GeoReference!\n");
  Sd_AlignmentNode::FitToScene(scene, flag);
  SetGeoBoundInfo();
}

void Sd_ROVParent::Information() { Sv_Debug::Message(SV_LEVEL_DEBUG, "  *** Sd_ROVParent Information (TBF) ***\n"); }

int Sd_ROVParent::LoadHistory() {
  if (!m_block) return -1;
  // The name lies within its 152 bytes. One that fills them without a
  // terminator was cut by its writer and would name another file: refused.
  char name[kHistoryNameBytes + 1];
  memcpy(name, m_block + kHistoryName, kHistoryNameBytes);
  name[kHistoryNameBytes] = '\0';
  if (!memchr(name, '\0', kHistoryNameBytes)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: The ROV history name fills its field without an end", name);
    return -1;
  }
  Sv_Debug::Message(SV_LEVEL_DEBUG, "HISTORY FILE: ", name);
  std::string path(name);
  if (path.empty()) return -1;
  // A name written with '\' separators is tried with '/' as well.
  if (!IsReadableRegularFile(path)) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    if (!IsReadableRegularFile(path)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: The ROV history is not a readable file", name);
      return -1;
    }
  }
  Sd_Lines3D* track = new (std::nothrow) Sd_Lines3D();
  if (!track) return -1;
  track->SetName("ROV History");
  if (track->ReadLineFile(path.c_str()) != 0) {
    delete track;
    return -1;
  }
  track->SetDescription("Internal");
  AddChild(track);
  Sv_Debug::Message(SV_LEVEL_DEBUG, "Trigging Update of the hierarchy!\n");
  NotifyHierarchyChanged();
  return 0;
}

// --- records ---

int Sd_ROVParent::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // A format version (written 1.0) and the first-child word; bytes after
  // them are stepped over.
  TDR_PayloadReader in(manager);
  float format = 0.0f;
  int firstChild = 0;
  in.Float32(&format);
  in.Int32(&firstChild);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Truncated or damaged ROV record", manager->GetFileName());
    return -1;
  }
  SetStoredFirstChildFlag(firstChild);
  return ReadCommonTags(manager);
}

int Sd_ROVParent::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(TDR_TAG_SD_ROVPARENT, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Float32(1.0f);
  out.Int32(m_children ? 1 : 0);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_ROVParent::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_ROVPARENT_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32s(m_settings, 2);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_ROVParent::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_ROVPARENT_ATB) return 0;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  int settings[2] = {0, 0};
  if (!in.Int32s(settings, 2)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged ROV settings record; settings kept", manager->GetFileName());
    return 1;
  }
  m_settings[0] = settings[0];
  m_settings[1] = settings[1];
  return 1;
}

int Sd_ROVParent::WriteSample(TDR_Manager* manager) {
  Sd_ROVParent rov;
  rov.SetName("Sample ROV");
  rov.SetBounds(0, 500000.0f, 501000.0f);
  rov.SetBounds(1, 6000000.0f, 6000800.0f);
  rov.SetBounds(2, -120.0f, 0.0f);
  rov.m_settings[1] = 2;
  return rov.SaveObject(manager, 1, 0);
}

int Sd_ROVParent::StepRender() { return StepRenderGroup(false, true); }
