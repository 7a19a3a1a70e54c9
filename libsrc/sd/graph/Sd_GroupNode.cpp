#include "Sd_GroupNode.h"

#include <GL/gl.h>

#include <unordered_set>
#include <vector>

#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

Sd_GroupNode::Sd_GroupNode(int type)
    : m_children(nullptr),
      m_lastChild(nullptr),
      m_stage(0),
      m_depth(0),
      m_cursor(nullptr),
      m_storedFirstChild(0),
      m_keepsOwnBounds(0) {
  SetType(type);
  SetGroup(1);
  m_drawn = 1;
  m_redrawPending = 0;
}

// Children are not destroyed with their group.
Sd_GroupNode::~Sd_GroupNode() {}

namespace {

// The last node of the chain that starts at node.
Sd_Node* ChainEnd(Sd_Node* node) {
  while (Sd_Node* next = node->GetNext()) node = next;
  return node;
}

}  // namespace

void Sd_GroupNode::AddChild(Sd_Node* node) {
  if (!node) return;
  for (Sd_Node* up = this; up; up = up->GetParent()) {
    if (up == node) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "A group cannot hold itself or its ancestor", "Sd_GroupNode::AddChild");
      return;
    }
  }
  Sd_Node* nodeEnd = ChainEnd(node);
  if (!m_children) {
    m_children = node;
    node->SetParent(this);
    m_lastChild = nodeEnd;
    return;
  }
  // Chains are linear: node belongs to this chain exactly when its own
  // chain ends where this one does.
  Sd_Node* last = ChainEnd(m_lastChild ? m_lastChild : m_children);
  if (nodeEnd == last) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "The node is already a child of this group", "Sd_GroupNode::AddChild");
    m_lastChild = last;
    return;
  }
  last->AppendSibling(this, node);
  m_lastChild = nodeEnd;
}

void Sd_GroupNode::SetFirstChild(Sd_Node* node) {
  m_children = node;
  m_lastChild = nullptr;
}

Sd_Node* Sd_GroupNode::GetFirstChild() { return m_children; }

int Sd_GroupNode::RemoveChild(Sd_Node* node) {
  m_lastChild = nullptr;
  return Sd_Node::RemoveChild(node);
}

void Sd_GroupNode::Detach() {
  m_next = nullptr;
  m_children = nullptr;
  m_lastChild = nullptr;
}

void Sd_GroupNode::Hook3() {
  for (Sd_Node* c = m_children; c; c = c->GetNext()) c->Hook3();
}

int Sd_GroupNode::GetChildCount() {
  int count = 0;
  for (Sd_Node* c = m_children; c; c = c->GetNext()) ++count;
  return count;
}

Sd_Node* Sd_GroupNode::FirstVisibleFrom(Sd_Node* node) {
  while (node && node->GetVisible() != 1) node = node->GetNext();
  return node;
}

// --- record ---

int Sd_GroupNode::ReadGroupRecord(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  in.SkipFormatNumber();
  int firstChild = 0;
  in.Int32(&firstChild);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Truncated or damaged group record", manager->GetFileName());
    return -1;
  }
  m_storedFirstChild = firstChild != 0 ? 1 : 0;
  return 0;
}

int Sd_GroupNode::WriteGroupRecord(TDR_Manager* manager, int tag, int withCommonTags) {
  if (!manager) return -1;
  if (manager->WriteTag(tag, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_children ? 1 : 0);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (withCommonTags) return WriteCommonTags(manager);
  return 0;
}

// --- drawing ---

void Sd_GroupNode::DrawOwn() {}

void Sd_GroupNode::TransformAroundOwnDrawing() {
  glTranslatef(m_position[0], m_position[1], m_position[2]);
  glRotatef(m_rotation[0], 1.0f, 0.0f, 0.0f);
  glRotatef(m_rotation[1], 0.0f, 1.0f, 0.0f);
  glRotatef(m_rotation[2], 0.0f, 0.0f, 1.0f);
  DrawOwn();
  glScalef(m_scale[0], m_scale[1], m_scale[2]);
}

void Sd_GroupNode::RenderGroup(bool decorate) {
  glPushMatrix();
  TransformAroundOwnDrawing();
  if (m_visible == 1) {
    for (Sd_Node* c = m_children; c; c = c->GetNext()) {
      if (c->GetVisible() == 1) c->Render();
    }
    if (decorate) {
      DrawBoundingBox();
      DrawProfilePoints();
    }
  }
  glPopMatrix();
}

int Sd_GroupNode::StepRenderGroup(bool honourParentFrame, bool decorate) {
  switch (m_stage) {
    case 0:
      // Pushes left over from a pass that never finished would unbalance
      // the stack for good; a pass always starts from none.
      while (m_depth > 0) {
        glPopMatrix();
        --m_depth;
      }
      m_drawn = 0;
      m_cursor = nullptr;
      glPushMatrix();
      ++m_depth;
      if (honourParentFrame && m_parentFrame) {
        DrawOwn();
      } else {
        TransformAroundOwnDrawing();
      }
      m_cursor = m_visible == 1 ? FirstVisibleFrom(m_children) : nullptr;
      m_stage = 1;
      break;
    case 1:
      if (!m_cursor) {
        m_stage = 2;
        break;
      }
      if (m_redrawPending) m_cursor->Invalidate();
      if (m_cursor->StepRender()) m_cursor = FirstVisibleFrom(m_cursor->GetNext());
      break;
    case 2:
      // A hidden group shows nothing of itself, as in Render.
      if (decorate && m_visible == 1) {
        DrawBoundingBox();
        DrawProfilePoints();
      }
      glPopMatrix();
      --m_depth;
      if (m_depth != 0) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "Step Render (Matrix Stage Mismatch)");
        while (m_depth > 0) {
          glPopMatrix();
          --m_depth;
        }
        m_depth = 0;
      }
      m_stage = 0;
      m_drawn = 1;
      break;
    default:
      AbandonPass();
      break;
  }
  if (m_redrawPending == 1) {
    AbandonPass();
    m_redrawPending = 0;
  }
  return m_drawn;
}

void Sd_GroupNode::AbandonPass() {
  m_stage = 0;
  while (m_depth > 0) {
    glPopMatrix();
    --m_depth;
  }
  m_depth = 0;
  m_drawn = 0;
  m_cursor = nullptr;
}

// --- deleting trees ---

long Sd_GroupNode::DeleteTree(Sd_Node* root) {
  if (!root) return 0;

  // Collect the subtree first: nothing is deleted while links are followed.
  // The visited set stops a damaged chain that loops back on itself.
  std::vector<Sd_Node*> nodes;
  std::unordered_set<Sd_Node*> seen;
  std::vector<Sd_Node*> open;
  nodes.push_back(root);
  seen.insert(root);
  open.push_back(root);
  while (!open.empty()) {
    Sd_Node* n = open.back();
    open.pop_back();
    if (!n->IsGroup()) continue;
    for (Sd_Node* c = n->GetFirstChild(); c; c = c->GetNext()) {
      if (!seen.insert(c).second) break;
      nodes.push_back(c);
      open.push_back(c);
    }
  }

  for (Sd_Node* n : nodes) {
    if (Sd_GroupNode* g = dynamic_cast<Sd_GroupNode*>(n)) g->AbandonPass();
  }

  if (Sd_Node* parent = root->GetParent()) {
    if (Sd_GroupNode* g = dynamic_cast<Sd_GroupNode*>(parent)) {
      if (g->m_cursor == root) g->m_cursor = FirstVisibleFrom(root->GetNext());
    }
    parent->RemoveChild(root);
  }

  for (Sd_Node* n : nodes) delete n;
  return static_cast<long>(nodes.size());
}
