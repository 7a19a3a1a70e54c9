#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Sd_Iterator.h"
#include "Sd_Node.h"

namespace {

// A minimal group for tree tests: keeps its children in the first-child
// chain and deletes nothing.
class TestGroup : public Sd_Node {
 public:
  TestGroup() { SetGroup(1); }
  void AddChild(Sd_Node* node) override {
    if (!m_first) {
      m_first = node;
      node->SetParent(this);
    } else {
      m_first->AppendSibling(this, node);
    }
  }
  void SetFirstChild(Sd_Node* node) override { m_first = node; }
  Sd_Node* GetFirstChild() override { return m_first; }

 private:
  Sd_Node* m_first = nullptr;
};

// A leaf that claims a first child, which the walk must ignore.
class LeafWithChild : public Sd_Node {
 public:
  explicit LeafWithChild(Sd_Node* c) : m_child(c) {}
  Sd_Node* GetFirstChild() override { return m_child; }

 private:
  Sd_Node* m_child;
};

struct Owner {
  std::vector<std::unique_ptr<Sd_Node>> nodes;
  template <typename T, typename... A>
  T* Make(const char* name, A... args) {
    T* n = new T(args...);
    n->SetName(name);
    nodes.emplace_back(n);
    return n;
  }
};

std::string Walk(Sd_Node* root) {
  std::string order;
  Sd_Iterator it(root);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    if (!order.empty()) order += ",";
    order += n->GetName();
  }
  return order;
}

}  // namespace

TEST(SdIterator, PreOrderDescendsOnlyIntoGroups) {
  Owner o;
  auto* R = o.Make<TestGroup>("R");
  auto* A = o.Make<TestGroup>("A");
  auto* B = o.Make<Sd_Node>("B");
  R->AddChild(A);
  R->AddChild(B);
  A->AddChild(o.Make<Sd_Node>("a1"));
  A->AddChild(o.Make<Sd_Node>("a2"));
  R->AddChild(o.Make<TestGroup>("empty"));
  auto* hidden = o.Make<Sd_Node>("hidden");
  R->AddChild(o.Make<LeafWithChild>("leaf", hidden));
  EXPECT_EQ(Walk(R), "R,A,a1,a2,B,empty,leaf");

  Sd_Iterator it(R);
  it.Next();
  it.Next();
  it.Reset();
  EXPECT_EQ(it.Next(), A);

  // A root without children but with a sibling walks on into the sibling.
  auto* lone = o.Make<Sd_Node>("lone");
  auto* sib = o.Make<TestGroup>("sib");
  sib->AddChild(o.Make<Sd_Node>("s1"));
  lone->SetNext(sib);
  EXPECT_EQ(Walk(lone), "lone,sib,s1");
  EXPECT_EQ(Walk(o.Make<Sd_Node>("single")), "single");
}

TEST(SdIterator, WalksAThousandDeepTree) {
  Owner o;
  std::vector<TestGroup*> chain;
  for (int i = 0; i < 1000; ++i) {
    chain.push_back(o.Make<TestGroup>(("g" + std::to_string(i)).c_str()));
    if (i) chain[i - 1]->AddChild(chain[i]);
  }
  chain.back()->AddChild(o.Make<Sd_Node>("deepest"));
  chain[10]->AddChild(o.Make<Sd_Node>("after"));
  int count = 0;
  Sd_Iterator it(chain[0]);
  Sd_Node* last = nullptr;
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    ++count;
    last = n;
  }
  EXPECT_EQ(count, 1002);
  EXPECT_STREQ(last->GetName(), "after");
}

TEST(SdNode, DefaultsAccessorsAndTextLimits) {
  Sd_Node n;
  EXPECT_STREQ(n.GetName(), "Unknown");
  EXPECT_STREQ(n.GetDescription(), "Unknown");
  EXPECT_EQ(n.GetType(), 1);
  EXPECT_EQ(n.GetVisible(), 1);
  EXPECT_EQ(n.GetAuxFlag(), 1);
  EXPECT_EQ(n.GetDrawn(), 1);
  EXPECT_EQ(n.GetScale('q'), nullptr);
  EXPECT_EQ(n.GetScale('y'), n.GetScale('Y'));
  EXPECT_EQ(*n.GetScale('y'), 1.0f);
  EXPECT_EQ(n.GetBounds(3), nullptr);
  EXPECT_FLOAT_EQ(n.GetShadingParameters()[0], 0.7853982f);
  EXPECT_EQ(n.GetBoxTickSettings()[1], 10);
  EXPECT_EQ(n.GetAuxTriple()[2], 1.0f);
  EXPECT_EQ(n.GeoPickPoint(1, 2, nullptr), 1e12);
  unsigned char flag = 9;
  EXPECT_EQ(n.Hook2(1, 2, 3, 4, &flag), 0);
  EXPECT_EQ(flag, 0);

  std::string longName(300, 'n');
  n.SetName(longName.c_str());
  EXPECT_EQ(strlen(n.GetName()), Sd_Node::NAME_SIZE - 1u);
  n.SetDescription(longName.c_str());
  EXPECT_EQ(strlen(n.GetDescription()), Sd_Node::DESCRIPTION_SIZE - 1u);
  n.Invalidate();
  EXPECT_EQ(n.GetRedrawPending(), 1);
}

TEST(SdNode, RemoveChildKeepsChainAndCallsHooks) {
  Owner o;
  auto* g = o.Make<TestGroup>("g");
  auto* c1 = o.Make<Sd_Node>("c1");
  auto* c2 = o.Make<Sd_Node>("c2");
  auto* c3 = o.Make<Sd_Node>("c3");
  g->AddChild(c1);
  g->AddChild(c2);
  g->AddChild(c3);
  static int removed, firstRemoved;
  removed = firstRemoved = 0;
  Sd_Node::SetChildRemovedHook([](void*) { ++removed; }, nullptr);
  Sd_Node::SetFirstChildRemovedHook([](void*) { ++firstRemoved; }, nullptr);

  EXPECT_EQ(g->RemoveChild(c2), 0);
  EXPECT_EQ(c1->GetNext(), c3);
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(firstRemoved, 0);
  EXPECT_EQ(g->RemoveChild(c1), 0);
  EXPECT_EQ(g->GetFirstChild(), c3);
  EXPECT_EQ(firstRemoved, 1);
  EXPECT_EQ(g->RemoveChild(o.Make<Sd_Node>("stranger")), -1);
  EXPECT_EQ(g->GetFirstChild(), c3);
  Sd_Node plain;
  EXPECT_EQ(plain.RemoveChild(c3), -1);
  Sd_Node::ClearHooks();
}

TEST(SdNode, FitToSceneMapsBoxIntoParentAndHandlesFlatAndSphericalScenes) {
  Sd_Node scene, node;
  scene.SetBounds(0, 0, 100);
  scene.SetBounds(1, 0, 50);
  scene.SetBounds(2, -10, 10);
  node.SetBounds(0, 50, 100);
  node.SetBounds(1, 0, 50);
  node.SetBounds(2, 0, 10);
  node.SetRotation(10, 20, 30);
  Sd_Node::SetCoordinateType(2);
  node.FitToScene(&scene, 0);
  EXPECT_FLOAT_EQ(*node.GetScale('x'), 0.5f);
  EXPECT_FLOAT_EQ(*node.GetPosition('x'), 0.25f);
  EXPECT_FLOAT_EQ(*node.GetScale('y'), 1.0f);
  EXPECT_FLOAT_EQ(*node.GetPosition('y'), 0.0f);
  EXPECT_FLOAT_EQ(*node.GetScale('z'), 0.5f);
  EXPECT_FLOAT_EQ(*node.GetPosition('z'), 0.25f);
  EXPECT_EQ(*node.GetRotation('z'), 0.0f);

  Sd_Node flat;
  flat.SetBounds(0, 0, 10);
  flat.SetBounds(1, 5, 5);
  node.FitToScene(&flat, 0);
  for (char a : {'x', 'y', 'z'}) {
    EXPECT_TRUE(std::isfinite(*node.GetScale(a)));
    EXPECT_TRUE(std::isfinite(*node.GetPosition(a)));
  }

  Sd_Node::SetCoordinateType(4);
  node.FitToScene(&scene, 0);
  EXPECT_EQ(*node.GetScale('x'), 1.0f);
  EXPECT_EQ(*node.GetPosition('x'), 0.0f);
  Sd_Node::SetCoordinateType(0);
}

TEST(SdNode, ProfilePointsCopyFromAndNames) {
  Sd_Node n;
  n.SetBounds(0, 0, 10);
  n.SetBounds(1, 100, 200);
  n.SetProfilePoint(1, 10, 150);
  EXPECT_DOUBLE_EQ(n.GetProfilePoint(1)[0], 0.5);
  EXPECT_DOUBLE_EQ(n.GetProfilePoint(1)[1], 0.0);
  n.SetProfilePoint(3, 1, 1);
  EXPECT_EQ(n.GetProfilePoint(3), nullptr);
  EXPECT_DOUBLE_EQ(n.GetProfilePoint(2)[0], 0.0);

  Sd_Node src;
  src.SetName("source");
  src.SetPosition(1, 2, 3);
  src.GetAuxRecord(3)->third = 7.0f;
  src.GetAuxRecords()[5] = 42;
  src.SetShowBoundingBox(1);
  src.Invalidate();
  n.CopyFrom(&src);
  EXPECT_STREQ(n.GetName(), "source");
  EXPECT_EQ(*n.GetPosition('z'), 3.0f);
  EXPECT_EQ(n.GetAuxRecord(3)->third, 7.0f);
  EXPECT_EQ(n.GetAuxRecords()[5], 42);
  EXPECT_EQ(n.GetShowBoundingBox(), 1);
  EXPECT_EQ(n.GetRedrawPending(), 0);
  EXPECT_EQ(n.GetBounds(0)[1], 0.0f) << "bounds are copied too";

  Owner o;
  auto* root = o.Make<TestGroup>("root");
  auto unique = [&](int first) {
    char* s = Sd_Node::MakeUniqueName(root, "Line", first);
    std::string r = s ? s : "<null>";
    free(s);
    return r;
  };
  EXPECT_EQ(unique(1), "Line1");
  root->AddChild(o.Make<Sd_Node>("Line1"));
  EXPECT_EQ(unique(1), "Line2");
  EXPECT_EQ(Sd_Node::FindByName(root, "Line1")->GetParent(), root);
  EXPECT_EQ(Sd_Node::FindByName(root, "Line"), nullptr);
  EXPECT_EQ(Sd_Node::MakeUniqueName(root, "Line", 10000), nullptr);
}
