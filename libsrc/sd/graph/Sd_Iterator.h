#ifndef SD_ITERATOR_H
#define SD_ITERATOR_H

#include <vector>

class Sd_Node;

// Depth-first pre-order walk of a node tree: a node, then its children and
// their subtrees in chain order, then its next sibling. Descends only into
// group nodes. The stack of open groups grows as deep as the tree is.
//
// A walk: visit GetRoot(), then call Next() until it returns null.
class Sd_Iterator {
 public:
  explicit Sd_Iterator(Sd_Node* root);
  virtual ~Sd_Iterator();
  virtual const char* className() const { return "Sd_Iterator"; }

  void Reset();
  Sd_Node* GetRoot() const { return m_root; }
  Sd_Node* Next();
  Sd_Node* Current() const { return m_current; }
  int Depth() const { return static_cast<int>(m_stack.size()); }

 protected:
  void Push(Sd_Node* node);
  Sd_Node* Pop();

 private:
  Sd_Node* m_root;
  Sd_Node* m_current;
  std::vector<Sd_Node*> m_stack;
};

#endif
