#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Sd_AlignmentNode.h"
#include "Sd_Parent.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

using orvanta_test::TempDir;

namespace {

// A leaf that counts what its group forwards to it and answers geographic
// picks with a set value.
class Probe : public Sd_Node {
 public:
  explicit Probe(const char* name = "probe") { SetName(name); }
  void SaveSettings() override { ++saves; }
  void RestoreSettings() override { ++restores; }
  int ResetSettings() override {
    ++resets;
    return 1;
  }
  void Hook3() override { ++hook3; }
  double GeoPickPoint(double, double, unsigned* colour) override {
    ++geoPicks;
    if (colour) *colour = 0x11223344u;
    return geoAnswer;
  }
  int saves = 0, restores = 0, resets = 0, hook3 = 0, geoPicks = 0;
  double geoAnswer = 1e12;
};

std::string Chain(Sd_Node* group) {
  std::string s;
  for (Sd_Node* c = group->GetFirstChild(); c; c = c->GetNext()) {
    if (!s.empty()) s += ",";
    s += c->GetName();
  }
  return s;
}

Sd_Node* Leaf(const char* name, float x0, float x1, float y0, float y1, float z0, float z1) {
  Sd_Node* n = new Sd_Node();
  n->SetName(name);
  n->SetBounds(0, x0, x1);
  n->SetBounds(1, y0, y1);
  n->SetBounds(2, z0, z1);
  return n;
}

// Keeps the class-wide fitting settings of the other tests apart.
class GroupFit : public ::testing::Test {
 protected:
  void SetUp() override {
    m_aspect = Sd_Node::GetAspectMode();
    m_coordinates = Sd_Node::GetCoordinateType();
    m_target = Sd_Node::GetGlobalScaleTarget();
    m_base = Sd_Node::GetGlobalScaleBase();
    Sd_Node::SetGlobalScaleTarget(&globalScale, 3500.0f);
    Sd_Node::SetAspectMode(1);
  }
  void TearDown() override {
    Sd_Node::SetAspectMode(m_aspect);
    Sd_Node::SetCoordinateType(m_coordinates);
    Sd_Node::SetGlobalScaleTarget(m_target, m_base);
  }
  static void ExpectFinite(Sd_Node* n) {
    for (char a : {'x', 'y', 'z'}) {
      EXPECT_TRUE(std::isfinite(*n->GetScale(a))) << n->GetName() << " scale " << a;
      EXPECT_TRUE(std::isfinite(*n->GetPosition(a))) << n->GetName() << " position " << a;
    }
  }
  float globalScale = -1.0f;

 private:
  short m_aspect = 0, m_coordinates = 0;
  float* m_target = nullptr;
  float m_base = 0.0f;
};

// Writes the record of group (with or without common tags), a node record
// named "after" and the end tag.
bool WriteGroupFile(const std::string& path, Sd_Node* group, int withCommon, int byteOrder) {
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0) return false;
  m.SetByteOrder(byteOrder);
  if (group->SaveObject(&m, withCommon, -1) != 0) return false;
  Sd_Node after;
  after.SetName("after");
  if (after.SaveObject(&m, 0, 0) != 0) return false;
  m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1);
  return m.CloseFile() == 0;
}

// Writes one record of tag with tag version version and the given payload
// bytes, then the end tag.
bool WriteRawRecord(const std::string& path, int tag, short version, const std::string& payload) {
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0) return false;
  m.WriteTag(tag, version, 0, 0, 1);
  if (!payload.empty()) TDR_PayloadWriter(&m).Bytes(payload.data(), static_cast<int>(payload.size()));
  m.EndTag();
  m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1);
  return m.CloseFile() == 0;
}

std::string LittleInt(unsigned v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

bool OpenAt(TDR_Manager& m, const std::string& path, int tag) {
  return m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0 && m.ReadTag(nullptr) == tag;
}

}  // namespace

TEST(GroupNode, ConstructionSetsTypeAndGroupState) {
  Sd_AlignmentNode a;
  EXPECT_EQ(a.GetType(), 3);
  EXPECT_EQ(a.IsGroup(), 1);
  EXPECT_STREQ(a.className(), "Alignment Node");
  EXPECT_EQ(a.GetFirstChild(), nullptr);
  Sd_Parent p;
  EXPECT_EQ(p.GetType(), 2);
  EXPECT_EQ(p.IsGroup(), 1);
  EXPECT_STREQ(p.className(), "Parent Node");
}

TEST(GroupNode, AddChildAppendsInOrderAndRefusesLoops) {
  Sd_AlignmentNode g, inner;
  Sd_Node a, b, c;
  a.SetName("a");
  b.SetName("b");
  c.SetName("c");
  inner.SetName("inner");
  g.AddChild(&a);
  g.AddChild(&b);
  g.AddChild(&inner);
  inner.AddChild(&c);
  EXPECT_EQ(Chain(&g), "a,b,inner");
  EXPECT_EQ(g.GetChildCount(), 3);
  EXPECT_EQ(a.GetParent(), &g);
  EXPECT_EQ(inner.GetParent(), &g);
  EXPECT_EQ(c.GetParent(), &inner);

  g.AddChild(&a);       // already in the chain
  g.AddChild(&inner);   // the last one, too
  g.AddChild(&g);       // itself
  inner.AddChild(&g);   // its ancestor
  g.AddChild(nullptr);
  EXPECT_EQ(Chain(&g), "a,b,inner");
  EXPECT_EQ(Chain(&inner), "c");

  // Detach clears the next link and the children, not the parent link.
  inner.SetNext(&c);
  inner.Detach();
  EXPECT_EQ(inner.GetFirstChild(), nullptr);
  EXPECT_EQ(inner.GetNext(), nullptr);
  EXPECT_EQ(inner.GetParent(), &g);

  Sd_Parent p;
  Sd_Node d;
  p.AddChild(&d);
  EXPECT_EQ(p.GetFirstChild(), &d);
  EXPECT_EQ(d.GetParent(), &p);
}

TEST(GroupNode, AlignmentNodeUnlinksInsertsAndMovesChildren) {
  Sd_AlignmentNode g, other;
  Sd_Node c1, c2, c3, stranger;
  c1.SetName("c1");
  c2.SetName("c2");
  c3.SetName("c3");
  stranger.SetName("stranger");
  for (Sd_Node* n : {&c1, &c2, &c3}) g.AddChild(n);
  other.AddChild(&stranger);

  // Reorder: move c3 right after c1, then c2 to the front of its group.
  EXPECT_EQ(g.MoveChild(&c3, &c1), 0);
  EXPECT_EQ(Chain(&g), "c1,c3,c2");
  EXPECT_EQ(g.MoveChild(&c2, &g), 0);
  EXPECT_EQ(Chain(&g), "c2,c1,c3");
  EXPECT_EQ(c2.GetParent(), &g);

  // Unlinking the first and a middle child; the parent link stays.
  EXPECT_EQ(other.UnlinkChild(&c2), 0) << "acts on the node's own parent";
  EXPECT_EQ(Chain(&g), "c1,c3");
  EXPECT_EQ(c2.GetNext(), nullptr);
  EXPECT_EQ(c2.GetParent(), &g);
  EXPECT_EQ(g.UnlinkChild(&c2), -1) << "no longer in the chain";
  EXPECT_EQ(Chain(&g), "c1,c3");
  Sd_Node orphan;
  EXPECT_EQ(g.UnlinkChild(&orphan), -1);

  // Inserting into a group that is neither the node's parent nor a sibling's
  // parent changes nothing.
  EXPECT_EQ(g.InsertChild(&c2, &stranger), -1);
  EXPECT_EQ(Chain(&g), "c1,c3");
  EXPECT_EQ(Chain(&other), "stranger");
  // A node still in the chain is not inserted a second time (no loops).
  EXPECT_EQ(g.InsertChild(&c1, &c3), -1);
  EXPECT_EQ(g.InsertChild(&c1, &g), -1);
  EXPECT_EQ(g.InsertChild(&c3, &c3), -1);
  EXPECT_EQ(Chain(&g), "c1,c3");
  EXPECT_EQ(g.InsertChild(&c2, &c1), 0);
  EXPECT_EQ(Chain(&g), "c1,c2,c3");
  EXPECT_EQ(g.GetChildCount(), 3);

  // The plain group keeps the base (no-op) editing.
  Sd_Parent p;
  Sd_Node x, y;
  x.SetName("x");
  y.SetName("y");
  p.AddChild(&x);
  p.AddChild(&y);
  EXPECT_EQ(p.MoveChild(&y, &p), 0);
  EXPECT_EQ(p.UnlinkChild(&x), 0);
  EXPECT_EQ(Chain(&p), "x,y");
}

TEST(GroupNode, DeletingAGroupLeavesChildrenAliveAndDeleteTreeFreesEverything) {
  const long before = Sd_Node::LiveCount();
  Sd_Node* child = new Sd_Node();
  {
    Sd_AlignmentNode g;
    g.AddChild(child);
  }
  EXPECT_EQ(Sd_Node::LiveCount(), before + 1);
  EXPECT_EQ(child->GetType(), 1) << "the child is still usable";
  delete child;

  // root { a, G { x, y }, P { z }, b } with a colour map on a leaf.
  auto* root = new Sd_AlignmentNode();
  auto* G = new Sd_AlignmentNode();
  auto* P = new Sd_Parent();
  Sd_Node* a = new Sd_Node();
  root->AddChild(a);
  root->AddChild(G);
  G->AddChild(new Sd_Node());
  G->AddChild(new Sd_Node());
  root->AddChild(P);
  P->AddChild(new Sd_Node());
  root->AddChild(new Sd_Node());
  a->SetColorMap(static_cast<unsigned*>(calloc(256, sizeof(unsigned))));
  EXPECT_EQ(Sd_Node::LiveCount(), before + 8);

  // A subtree is taken out of its parent's chain before it goes.
  EXPECT_EQ(Sd_GroupNode::DeleteTree(G), 3);
  EXPECT_EQ(root->GetChildCount(), 3);
  EXPECT_EQ(a->GetNext(), P);
  EXPECT_EQ(Sd_Node::LiveCount(), before + 5);

  EXPECT_EQ(Sd_GroupNode::DeleteTree(root), 5);
  EXPECT_EQ(Sd_Node::LiveCount(), before);
  EXPECT_EQ(Sd_GroupNode::DeleteTree(nullptr), 0);

  // A damaged chain that loops back is deleted once per node.
  auto* looped = new Sd_Parent();
  Sd_Node* l1 = new Sd_Node();
  Sd_Node* l2 = new Sd_Node();
  looped->AddChild(l1);
  looped->AddChild(l2);
  l2->SetNext(l1);
  EXPECT_EQ(Sd_GroupNode::DeleteTree(looped), 3);
  EXPECT_EQ(Sd_Node::LiveCount(), before);
}

TEST(GroupNode, SettingsAndHooksAreForwardedAsEachClassDefines) {
  Sd_AlignmentNode g;
  Probe shown("shown"), hidden("hidden");
  hidden.SetVisible(0);
  g.AddChild(&shown);
  g.AddChild(&hidden);
  g.SaveSettings();
  EXPECT_EQ(g.ResetSettings(), 1);
  g.RestoreSettings();
  EXPECT_EQ(shown.saves + shown.resets + shown.restores, 3);
  EXPECT_EQ(hidden.saves + hidden.resets + hidden.restores, 0);
  g.Hook3();
  EXPECT_EQ(shown.hook3, 1);
  EXPECT_EQ(hidden.hook3, 1) << "Hook3 reaches invisible children too";

  // A hidden group passes no settings on; a visible flag other than 1 counts
  // as hidden.
  g.SetVisible(2);
  g.SaveSettings();
  EXPECT_EQ(g.ResetSettings(), 1);
  EXPECT_EQ(shown.saves, 1);
  EXPECT_EQ(shown.resets, 1);

  // The plain group keeps the base settings but forwards Hook3.
  Sd_Parent p;
  Probe q;
  p.AddChild(&q);
  p.SaveSettings();
  EXPECT_EQ(p.ResetSettings(), 1);
  p.Hook3();
  EXPECT_EQ(q.saves + q.resets, 0);
  EXPECT_EQ(q.hook3, 1);
}

TEST(GroupNode, GeoPickPointStopsAtTheFirstValue) {
  Sd_AlignmentNode g;
  Probe none1, none2, hiddenHit, zero, later;
  hiddenHit.SetVisible(0);
  hiddenHit.geoAnswer = 5.0;
  zero.geoAnswer = 0.0;
  later.geoAnswer = 7.0;
  for (Probe* p : {&none1, &none2}) g.AddChild(p);
  unsigned colour = 0;
  EXPECT_EQ(g.GeoPickPoint(1, 2, &colour), 1e12) << "every child reports no value";
  g.AddChild(&hiddenHit);
  g.AddChild(&zero);
  g.AddChild(&later);
  EXPECT_EQ(g.GeoPickPoint(1, 2, &colour), 0.0);
  EXPECT_EQ(colour, 0x11223344u);
  EXPECT_EQ(hiddenHit.geoPicks, 0);
  EXPECT_EQ(later.geoPicks, 0);
  g.SetVisible(0);
  EXPECT_EQ(g.GeoPickPoint(1, 2, &colour), 1e12);
  EXPECT_EQ(zero.geoPicks, 1);
}

TEST(GroupNode, GeoUnitTypeComesFromTheFirstGeoreferencedChild) {
  Sd_AlignmentNode g;
  Sd_Node plain, first, second;
  g.AddChild(&plain);
  EXPECT_EQ(g.GetGeoUnitType(), -1);
  auto* geo1 = new TDR_GeoRef();
  geo1->SetGeoUnitType(2);
  first.SetGeoRef(geo1);
  auto* geo2 = new TDR_GeoRef();
  geo2->SetGeoUnitType(5);
  second.SetGeoRef(geo2);
  g.AddChild(&first);
  g.AddChild(&second);
  EXPECT_EQ(g.GetGeoUnitType(), 2);
}

TEST(GroupNode, ComputeBoundsTakesTheUnionOfRangedAxes) {
  Sd_AlignmentNode root, inner;
  Sd_Node* a = Leaf("a", 0, 10, 100, 200, -5, 0);
  Sd_Node* b = Leaf("b", -20, 5, 150, 150, -50, 0);  // flat on y: y is left out
  Sd_Node* c = Leaf("c", 30, 40, 90, 110, 0, 1);
  root.AddChild(a);
  root.AddChild(b);
  root.AddChild(&inner);
  inner.AddChild(c);
  root.ComputeBounds();
  EXPECT_EQ(inner.GetBounds(0)[0], 30.0f) << "an inner group computes its bounds first";
  EXPECT_EQ(root.GetBounds(0)[0], -20.0f);
  EXPECT_EQ(root.GetBounds(0)[1], 40.0f);
  EXPECT_EQ(root.GetBounds(1)[0], 90.0f);
  EXPECT_EQ(root.GetBounds(1)[1], 200.0f);
  EXPECT_EQ(root.GetBounds(2)[0], -50.0f);
  EXPECT_EQ(root.GetBounds(2)[1], 1.0f);
  EXPECT_DOUBLE_EQ(root.GetExtents()[0], 60.0);
  EXPECT_DOUBLE_EQ(root.GetCentres()[1], 145.0);

  // Children all flat on x: x spans their places; the other axes as ever.
  Sd_AlignmentNode flatX;
  Sd_Node* f1 = Leaf("f1", 5, 5, 0, 10, 0, 10);
  Sd_Node* f2 = Leaf("f2", 7, 7.00000005f, 0, 20, 0, 10);
  flatX.AddChild(f1);
  flatX.AddChild(f2);
  flatX.SetBounds(1, 3, 4);
  flatX.ComputeBounds();
  EXPECT_EQ(flatX.GetBounds(0)[0], 5.0f);
  EXPECT_EQ(flatX.GetBounds(0)[1], 7.00000005f);
  EXPECT_EQ(flatX.GetBounds(1)[1], 20.0f);

  // Children flat on z only, at one height: z gets one unit above it, never
  // the starting values; a child stored max before min counts in its order.
  Sd_AlignmentNode flatZ;
  Sd_Node* z1 = Leaf("z1", 1, 0, 0, 1, -30, -30);
  flatZ.AddChild(z1);
  flatZ.ComputeBounds();
  EXPECT_EQ(flatZ.GetBounds(0)[0], 0.0f);
  EXPECT_EQ(flatZ.GetBounds(0)[1], 1.0f);
  EXPECT_EQ(flatZ.GetBounds(2)[0], -30.0f);
  EXPECT_EQ(flatZ.GetBounds(2)[1], -29.0f);

  // No children at all.
  Sd_AlignmentNode empty;
  empty.SetBounds(0, 1, 2);
  empty.ComputeBounds();
  EXPECT_EQ(empty.GetBounds(0)[1], 0.0f);

  // The plain group keeps the base (nothing).
  Sd_Parent p;
  p.SetBounds(0, 1, 2);
  p.AddChild(Leaf("p1", 0, 100, 0, 100, 0, 100));
  p.ComputeBounds();
  EXPECT_EQ(p.GetBounds(0)[1], 2.0f);

  for (Sd_Node* n : {a, b, c, f1, f2, z1, p.GetFirstChild()}) delete n;
}

TEST_F(GroupFit, WithoutFlagChildrenFitTheGroupBoxAndTheGroupStaysPut) {
  Sd_Node::SetCoordinateType(2);
  Sd_AlignmentNode g;
  Sd_Node* left = Leaf("left", 0, 100, 0, 50, -10, 0);
  Sd_Node* right = Leaf("right", 100, 200, 0, 100, -10, 0);
  g.AddChild(left);
  g.AddChild(right);
  g.SetRotation(1, 2, 3);
  g.SetScale(5, 5, 5);
  g.ComputeBounds();
  g.FitToScene(nullptr, 0);
  EXPECT_EQ(*g.GetScale('x'), 1.0f);
  EXPECT_EQ(*g.GetPosition('x'), 0.0f);
  EXPECT_EQ(*g.GetRotation('z'), 0.0f);
  EXPECT_FLOAT_EQ(*left->GetScale('x'), 0.5f);
  EXPECT_FLOAT_EQ(*left->GetPosition('x'), -0.25f);
  EXPECT_FLOAT_EQ(*left->GetScale('y'), 0.5f);
  EXPECT_FLOAT_EQ(*left->GetPosition('y'), -0.25f);
  EXPECT_FLOAT_EQ(*right->GetPosition('x'), 0.25f);
  EXPECT_EQ(globalScale, -1.0f) << "only a fit with the flag writes the global scale";

  // A spherical scene is not fitted.
  Sd_Node::SetCoordinateType(4);
  left->SetScale(3, 3, 3);
  g.SetScale(2, 2, 2);
  g.FitToScene(nullptr, 0);
  EXPECT_EQ(*left->GetScale('x'), 1.0f);
  EXPECT_EQ(*g.GetScale('x'), 1.0f);
  delete left;
  delete right;
}

TEST_F(GroupFit, WithFlagTheRootTakesTheSceneAspectAndTheGlobalScale) {
  Sd_AlignmentNode g;
  Sd_Node* child = Leaf("child", 0, 200, 0, 100, -10, 0);
  g.AddChild(child);
  g.ComputeBounds();

  // Projected units: x 200, y 100, z 10.
  Sd_Node::SetCoordinateType(2);
  g.FitToScene(nullptr, 1);
  EXPECT_FLOAT_EQ(*g.GetScale('x'), 20.0f);
  EXPECT_FLOAT_EQ(*g.GetScale('y'), 10.0f);
  EXPECT_EQ(*g.GetScale('z'), 1.0f);
  EXPECT_FLOAT_EQ(globalScale, 350.0f);
  EXPECT_FLOAT_EQ(*child->GetScale('x'), 1.0f);

  // Geographic degrees: 2 by 1 degrees, 1110 m of height.
  Sd_Node::SetCoordinateType(1);
  child->SetBounds(0, 10, 12);
  child->SetBounds(1, 50, 51);
  child->SetBounds(2, -1110, 0);
  g.ComputeBounds();
  g.FitToScene(nullptr, 1);
  EXPECT_NEAR(*g.GetScale('x'), 200.0f, 1e-3);
  EXPECT_NEAR(*g.GetScale('y'), 100.0f, 1e-3);
  EXPECT_EQ(*g.GetScale('z'), 1.0f);
  EXPECT_NEAR(globalScale, 35.0f, 1e-4);

  // A spherical scene keeps scale 1 and the base global scale.
  Sd_Node::SetCoordinateType(4);
  g.FitToScene(nullptr, 1);
  EXPECT_EQ(*g.GetScale('x'), 1.0f);
  EXPECT_EQ(globalScale, 3500.0f);

  // Another aspect mode: no aspect, the global scale untouched.
  Sd_Node::SetCoordinateType(2);
  Sd_Node::SetAspectMode(0);
  globalScale = -1.0f;
  g.FitToScene(nullptr, 1);
  EXPECT_EQ(*g.GetScale('x'), 1.0f);
  EXPECT_EQ(globalScale, -1.0f);

  // Without a registered target the fit still works.
  Sd_Node::SetAspectMode(1);
  Sd_Node::SetGlobalScaleTarget(nullptr, 3500.0f);
  g.FitToScene(nullptr, 1);
  EXPECT_NEAR(*g.GetScale('x'), 2.0f / 1110.0f, 1e-7) << "x 2 by y 1 by z 1110 units";
  delete child;
}

TEST_F(GroupFit, FlatScenesFitWithoutInfinitiesOrNaN) {
  struct Case {
    const char* name;
    short coordinates;
    float x0, x1, y0, y1, z0, z1;
    float scaleX, scaleY, global;
  };
  const Case cases[] = {
      // Flat in z: no vertical proportion, x keeps its proportion to y.
      {"flat z projected", 2, 0, 200, 0, 100, -7, -7, 2, 1, 3500},
      {"flat z geographic", 1, 10, 12, 50, 51, 0, 0, 2, 1, 3500},
      // Flat in y: no horizontal reference; z scale stays 1 before normalising.
      {"flat y projected", 2, 0, 200, 5, 5, -10, 0, 1, 1, 3500},
      {"flat y geographic", 1, 10, 12, 51, 51, -100, 0, 1, 1, 3500},
      {"flat y and z", 2, 0, 200, 5, 5, 3, 3, 1, 1, 3500},
      {"a point", 2, 1, 1, 2, 2, 3, 3, 1, 1, 3500},
      {"flat x", 2, 4, 4, 0, 100, -10, 0, 10, 10, 350},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sd_Node::SetCoordinateType(c.coordinates);
    Sd_AlignmentNode g;
    Sd_Node* child = Leaf("child", c.x0, c.x1, c.y0, c.y1, c.z0, c.z1);
    Sd_Node* other = Leaf("other", c.x0, c.x1, c.y0, c.y1, c.z0, c.z1);
    g.AddChild(child);
    g.AddChild(other);
    g.SetBounds(0, c.x0, c.x1);
    g.SetBounds(1, c.y0, c.y1);
    g.SetBounds(2, c.z0, c.z1);
    globalScale = -1.0f;
    g.FitToScene(nullptr, 1);
    ExpectFinite(&g);
    ExpectFinite(child);
    EXPECT_FLOAT_EQ(*g.GetScale('x'), c.scaleX);
    EXPECT_FLOAT_EQ(*g.GetScale('y'), c.scaleY);
    EXPECT_EQ(*g.GetScale('z'), 1.0f);
    EXPECT_TRUE(std::isfinite(globalScale));
    EXPECT_FLOAT_EQ(globalScale, c.global);
    // Fitted through ComputeBounds as the work area does, too.
    g.ComputeBounds();
    g.FitToScene(nullptr, 1);
    ExpectFinite(&g);
    ExpectFinite(child);
    EXPECT_TRUE(std::isfinite(globalScale));
    delete child;
    delete other;
  }
}

TEST(GroupRecord, RoundTripsKeepingTheFirstChildOnlyAsAFlag) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    SCOPED_TRACE(order);
    Sd_AlignmentNode src;
    Sd_Node child;
    src.AddChild(&child);
    src.SetBounds(0, -3, 3);
    const std::string path = dir.file("align" + std::to_string(order) + ".sd");
    ASSERT_TRUE(WriteGroupFile(path, &src, 1, order));

    TDR_Manager m;
    ASSERT_TRUE(OpenAt(m, path, TDR_TAG_SD_ALIGNPARENT));
    EXPECT_EQ(m.GetTagBytesLeft(), 4) << "the payload is the first-child word";
    Sd_AlignmentNode back;
    ASSERT_EQ(back.LoadObject(&m), 0);
    EXPECT_EQ(back.GetStoredFirstChildFlag(), 1);
    EXPECT_EQ(back.GetFirstChild(), nullptr) << "a stored link is never taken as a pointer";
    ASSERT_NE(back.GetGeoRef(), nullptr) << "the common tags are read";
    EXPECT_EQ(back.GetBounds(0)[1], 3.0f);
    ASSERT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
    Sd_Node after;
    ASSERT_EQ(after.LoadObject(&m), 0);
    EXPECT_STREQ(after.GetName(), "after");
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }

  // An empty plain group, written with its common tags: the common tags are
  // consumed, so the next record is found right after.
  Sd_Parent empty;
  const std::string path = dir.file("parent.sd");
  ASSERT_TRUE(WriteGroupFile(path, &empty, 1, 1));
  TDR_Manager m;
  ASSERT_TRUE(OpenAt(m, path, TDR_TAG_SD_PARENT));
  Sd_Parent back;
  ASSERT_EQ(back.LoadObject(&m), 0);
  EXPECT_EQ(back.GetStoredFirstChildFlag(), 0);
  EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_SD_NODE);
}

TEST(GroupRecord, OldVersionAddressWordsAndDamagedRecords) {
  TempDir dir;
  const std::string path = dir.file("g.sd");

  // Tag version 0 carries a format version first; any non-zero word, such
  // as an old program's address, only says that there were children.
  std::string old = LittleInt(0x3F800000u) + LittleInt(0xDEADBEEFu);
  ASSERT_TRUE(WriteRawRecord(path, TDR_TAG_SD_ALIGNPARENT, 0, old));
  Sd_AlignmentNode g;
  {
    TDR_Manager m;
    ASSERT_TRUE(OpenAt(m, path, TDR_TAG_SD_ALIGNPARENT));
    ASSERT_EQ(g.LoadObject(&m), 0);
    EXPECT_EQ(g.GetStoredFirstChildFlag(), 1);
    EXPECT_EQ(g.GetFirstChild(), nullptr);
    EXPECT_EQ(g.GetChildCount(), 0);
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }

  // Every truncation fails, leaves the group as it was and keeps the reader
  // on the record boundaries.
  struct Damaged {
    int tag;
    short version;
    std::string payload;
  };
  std::vector<Damaged> damaged;
  for (size_t keep = 0; keep < 4; ++keep) {
    damaged.push_back({TDR_TAG_SD_ALIGNPARENT, 1, LittleInt(0).substr(0, keep)});
    damaged.push_back({TDR_TAG_SD_PARENT, 1, LittleInt(0).substr(0, keep)});
  }
  for (size_t keep = 0; keep < 8; ++keep) damaged.push_back({TDR_TAG_SD_ALIGNPARENT, 0, old.substr(0, keep)});
  for (const Damaged& d : damaged) {
    SCOPED_TRACE(std::to_string(d.tag) + " v" + std::to_string(d.version) + " bytes " +
                 std::to_string(d.payload.size()));
    ASSERT_TRUE(WriteRawRecord(path, d.tag, d.version, d.payload));
    TDR_Manager m;
    ASSERT_TRUE(OpenAt(m, path, d.tag));
    if (d.tag == TDR_TAG_SD_PARENT) {
      Sd_Parent p;
      EXPECT_NE(p.LoadObject(&m), 0);
      EXPECT_EQ(p.GetStoredFirstChildFlag(), 0);
    } else {
      EXPECT_NE(g.LoadObject(&m), 0);
      EXPECT_EQ(g.GetStoredFirstChildFlag(), 1) << "the flag of the last good record stays";
      EXPECT_EQ(g.GetGeoRef(), nullptr);
    }
    EXPECT_EQ(m.ReadTag(nullptr), TDR_TAG_EOF);
  }
}
