#ifndef SD_GROUPNODE_H
#define SD_GROUPNODE_H

#include "Sd_Node.h"

// What the two group classes (Sd_Parent, Sd_AlignmentNode) share: the chain
// of children (first child, then each child's next link), the state of the
// progressive renderer, the group record and the deletion of whole trees.
//
// A group does not own its children: deleting a group leaves them alive and
// editing moves them between chains. Whoever clears a scene deletes the whole
// tree with DeleteTree.
//
// Progressive drawing: each StepRender call does one step of a pass. A pass
// pushes the matrix in its first call and keeps it pushed until its last, so
// the caller must leave the model-view stack alone between the calls of a
// pass. A pending redraw (Invalidate) abandons the pass at the end of the
// current call, undoing every outstanding push.
class Sd_GroupNode : public Sd_Node {
 public:
  ~Sd_GroupNode() override;

  // Appends node at the end of the chain and makes this group its parent.
  // The node's own next link is kept, so a chain hangs in whole. A null
  // node, this group itself, one of its ancestors or a node already in the
  // chain is refused (it would close a loop).
  void AddChild(Sd_Node* node) override;
  void SetFirstChild(Sd_Node* node) override;
  Sd_Node* GetFirstChild() override;
  // Sd_Node's unlinking from the chain.
  int RemoveChild(Sd_Node* node) override;
  // Clears the next link and the first child; the parent link stays.
  void Detach() override;
  // Calls Hook3 of every child, visible or not.
  void Hook3() override;

  // Number of children in the chain.
  int GetChildCount();
  // Forgets where the chain ended; whoever unlinks a node of a group's chain
  // other than through the group's own operations calls it.
  void ForgetLastChild() { m_lastChild = nullptr; }

  // Whether the group record read last stored a first child. The stored
  // value is the writer's memory address: only its presence means anything
  // and it is never used as a pointer. The hierarchy reader uses it to know
  // whether the entries that follow belong inside this group.
  int GetStoredFirstChildFlag() const { return m_storedFirstChild; }

  // State of the progressive renderer: stage 0 (next call starts a pass),
  // 1 (stepping the children) or 2 (next call finishes); the matrix pushes
  // outstanding; the child being stepped.
  int GetStage() const { return m_stage; }
  int GetDepth() const { return m_depth; }
  Sd_Node* GetCursor() const { return m_cursor; }

  // Deletes root and every node below it (descending into groups) with all
  // they own. When root hangs in a parent's chain it is first taken out of it
  // (RemoveChild), and a parent whose progressive pass was working on root
  // moves on to root's next visible sibling. Passes still open in the
  // deleted groups are abandoned first, so their matrix pushes are undone.
  // Returns the number of nodes deleted.
  static long DeleteTree(Sd_Node* root);

 protected:
  explicit Sd_GroupNode(int type);

  // The group record: a float format version when the tag version is 0,
  // then the first-child word. Reads it completely or fails (-1) leaving
  // the group unchanged.
  int ReadGroupRecord(TDR_Manager* manager);
  // Writes the group record under tag, then the common tags when asked.
  int WriteGroupRecord(TDR_Manager* manager, int tag, int withCommonTags);

  // Render of both classes: push, transform (around DrawOwn), the visible
  // children (and with decorate the own bounding box and profile points)
  // when visible, pop.
  void RenderGroup(bool decorate);
  // One progressive step. honourParentFrame: skip the own transform when
  // the parent-frame flag is set; decorate: draw the own bounding box and
  // profile points when the pass finishes. The first step of a pass calls
  // DrawOwn.
  int StepRenderGroup(bool honourParentFrame, bool decorate);

  // What a group-like node draws of its own (the cable's tube, the ship's
  // markers, the vehicle, the globe), whatever its visibility, which gates
  // only its children, bounding box and profile points. Render and the
  // first step of a progressive pass call it with the group's matrix pushed,
  // after the node's translation and rotation and before its scale (a node
  // that draws in its scaled frame pushes and scales itself). The plain
  // groups draw nothing of their own.
  virtual void DrawOwn();
  // Group-like nodes that draw something of their own keep their own bounds
  // on every axis that no child covers (ComputeBounds), so that one read
  // without children still has the box its data are drawn in. Plain groups
  // take all their bounds from their children.
  void SetKeepsOwnBounds(bool on) { m_keepsOwnBounds = on ? 1 : 0; }
  int KeepsOwnBounds() const { return m_keepsOwnBounds; }
  // Ends a pass at once: pops every outstanding push, back to stage 0.
  void AbandonPass();

  void SetStoredFirstChildFlag(int on) { m_storedFirstChild = on ? 1 : 0; }

  // The first visible (flag exactly 1) node from node on along its chain.
  static Sd_Node* FirstVisibleFrom(Sd_Node* node);

  Sd_Node* m_children;  // first child
  // A node of the chain at or before its end, so that appending does not
  // walk the whole chain (loading appends every object of a file); null
  // when unknown. Every operation that may take a node out of the chain
  // clears it.
  Sd_Node* m_lastChild;
  int m_stage;
  int m_depth;
  Sd_Node* m_cursor;
  int m_storedFirstChild;
  int m_keepsOwnBounds;

 private:
  // The node transform with DrawOwn between rotation and scale.
  void TransformAroundOwnDrawing();
};

#endif
