#include "Sd_Iterator.h"

#include "Sd_Node.h"

namespace {
const size_t kInitialDepth = 15;
}

Sd_Iterator::Sd_Iterator(Sd_Node* root) : m_root(root), m_current(root) { m_stack.reserve(kInitialDepth); }

Sd_Iterator::~Sd_Iterator() {}

void Sd_Iterator::Reset() {
  m_current = m_root;
  m_stack.clear();
}

void Sd_Iterator::Push(Sd_Node* node) { m_stack.push_back(node); }

Sd_Node* Sd_Iterator::Pop() {
  if (m_stack.empty()) return nullptr;
  Sd_Node* n = m_stack.back();
  m_stack.pop_back();
  return n;
}

Sd_Node* Sd_Iterator::Next() {
  if (!m_current) return nullptr;
  if (m_current->IsGroup()) {
    if (Sd_Node* child = m_current->GetFirstChild()) {
      Push(m_current);
      m_current = child;
      return m_current;
    }
  }
  if (Sd_Node* next = m_current->GetNext()) {
    m_current = next;
    return m_current;
  }
  while (Sd_Node* group = Pop()) {
    if (Sd_Node* next = group->GetNext()) {
      m_current = next;
      return m_current;
    }
  }
  m_current = nullptr;
  return nullptr;
}
