#ifndef SD_ALIGNMENTNODE_H
#define SD_ALIGNMENTNODE_H

#include "Sd_GroupNode.h"

// The full group ("Alignment Node", type id 3, record SD_ALIGNPARENT 9955):
// the scene root of the work area and the base of the ship, ROV, cable and
// cable-sphere nodes. Besides drawing its children it reorders them, passes
// picks, settings and hooks on to them, computes its bounds as the union of
// theirs, fits them into its box and sets the scene's aspect and vertical
// scale.
class Sd_AlignmentNode : public Sd_GroupNode {
 public:
  static constexpr int kTypeId = 3;
  Sd_AlignmentNode();
  ~Sd_AlignmentNode() override;

  // Child editing. These act on node's own parent (and target's), not
  // necessarily on this group.
  // Unlink then insert; returns what InsertChild returns.
  int MoveChild(Sd_Node* node, Sd_Node* target) override;
  // Takes node out of its parent's chain and clears its next link; the
  // parent link stays. -1 when node has no parent or is not in its chain.
  int UnlinkChild(Sd_Node* node) override;
  // When target is node's parent, node becomes target's first child; when
  // both have the same parent, node goes right after target. Otherwise, or
  // when node is still in the chain it would join, nothing changes and -1 is
  // returned.
  int InsertChild(Sd_Node* node, Sd_Node* target) override;

  // Reads the group record, then the common tags.
  int LoadObject(TDR_Manager* manager) override;
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // Writes a small group record with its common tags (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Forward to every visible child when the group is visible, then draw
  // the own bounding box.
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // Push, transform (even with the parent-frame flag set), the visible
  // children, the own bounding box and profile points when the group is
  // visible, pop.
  void Render() override;
  // One step of a progressive pass; the own transform is left out when the
  // parent-frame flag is set.
  int StepRender() override;
  const char* className() const override;

  // Fits every child into this group's box. With flag 0 the group itself
  // stays unscaled and unmoved; with a flag it takes the scene's aspect
  // (aspect mode 1) and writes the vertical scale to the global-scale target.
  void FitToScene(Sd_Node* scene, int flag) override;
  // The union of the children's bounds (groups compute theirs first); a
  // child's axis counts only when its range exceeds 1e-7 (in either order).
  // An axis no child covers with a range keeps the node's own bounds when
  // it keeps them (SetKeepsOwnBounds); otherwise it is the union of the children
  // flat there, with one unit added above when that is flatter than 1e-4,
  // or 0 ... 0 when no child has finite bounds there.
  void ComputeBounds() override;
  // The geo-unit type of the first child that holds a georeference, -1 when
  // none does.
  int GetGeoUnitType() override;

  // Ask the visible children in order until one answers 1, inside the
  // group's transform (unless drawn in the parent's frame).
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  int ValueAt(double x, double y, int user) override;
  // Asks the visible children in order until one returns a value other than
  // SD_PICK_NO_SURFACE.
  double GeoPickPoint(double x, double y, unsigned* colour) override;

 protected:
  // FitToScene's work. globeBranch: with aspect mode 1, a spherical scene
  // (coordinate type 4) leaves the group unscaled and writes the base
  // global scale; without it such a scene is fitted like a projected one.
  void FitGroup(int flag, bool globeBranch);
};

#endif
