#ifndef SD_PARENT_H
#define SD_PARENT_H

#include "Sd_GroupNode.h"

// The plain group ("Parent Node", type id 2, record SD_PARENT 9950): draws
// its children inside its own transform, whole or progressively, and keeps
// the base behaviour for everything else (no child editing beyond adding,
// no picking, fitting or bounds of its own).
class Sd_Parent : public Sd_GroupNode {
 public:
  Sd_Parent();
  ~Sd_Parent() override;

  void SetFirstChild(Sd_Node* node) override;
  // Reads the group record, then the common tags that follow it.
  int LoadObject(TDR_Manager* manager) override;
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // Writes a small group record with its common tags (the factory's sample).
  static int WriteSample(TDR_Manager* manager);
  // Push, transform, the visible children when the group is visible, pop.
  void Render() override;
  // One step of a progressive pass; always applies the own transform.
  int StepRender() override;

  static constexpr int kTypeId = 2;
  const char* className() const override;
};

#endif
