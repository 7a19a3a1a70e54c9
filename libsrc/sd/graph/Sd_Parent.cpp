#include "Sd_Parent.h"

#include "Sv_Debug.h"
#include "TDR_Tags.h"

Sd_Parent::Sd_Parent() : Sd_GroupNode(kTypeId) {}
Sd_Parent::~Sd_Parent() {}

void Sd_Parent::SetFirstChild(Sd_Node* node) {
  Sd_GroupNode::SetFirstChild(node);
  Sv_Debug::Debug("Sd_Parent::SetChild, setting m_children = %p", static_cast<void*>(node));
}

// The common tags are read as well: SaveObject writes them, and a hierarchy
// entry must end where the next entry's node record starts.
int Sd_Parent::LoadObject(TDR_Manager* manager) {
  if (ReadGroupRecord(manager) != 0) return -1;
  return ReadCommonTags(manager);
}

int Sd_Parent::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  return WriteGroupRecord(manager, TDR_TAG_SD_PARENT, withCommonTags);
}

int Sd_Parent::WriteSample(TDR_Manager* manager) {
  Sd_Parent group;
  group.SetName("Sample Group");
  group.SetPosition(0.25f, -0.25f, 0.0f);
  group.SetBounds(0, 0.0f, 100.0f);
  group.SetBounds(1, 0.0f, 50.0f);
  group.SetBounds(2, -10.0f, 10.0f);
  return group.SaveObject(manager, 1, 0);
}

void Sd_Parent::Render() { RenderGroup(false); }
int Sd_Parent::StepRender() { return StepRenderGroup(false, false); }
const char* Sd_Parent::className() const { return "Parent Node"; }
