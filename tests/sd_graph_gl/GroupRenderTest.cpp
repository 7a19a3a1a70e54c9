#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "GLTestFixture.h"
#include "Sd_AlignmentNode.h"
#include "Sd_Parent.h"

using orvanta_test::GLTest;

namespace {

// A leaf that needs a set number of StepRender calls per pass and records
// the calls it gets, the model-view stack depth and the translation in x it
// is drawn with.
class StepProbe : public Sd_Node {
 public:
  explicit StepProbe(int stepsPerPass = 1) : m_stepsPerPass(stepsPerPass) {}
  int StepRender() override {
    ++steps;
    if (m_redrawPending) {
      m_redrawPending = 0;
      m_progress = 0;
    }
    Record();
    if (++m_progress >= m_stepsPerPass) {
      m_progress = 0;
      ++passes;
      return 1;
    }
    return 0;
  }
  void Render() override {
    ++renders;
    Record();
  }
  void Invalidate() override {
    ++invalidates;
    m_redrawPending = 1;
  }
  int QueryPoint(SDN_PickIn*, SDN_PickOut* out) override {
    ++queries;
    Record();
    if (answer == 1 && out) out->node = this;
    return answer;
  }
  int ValueAt(double, double, int) override {
    ++values;
    Record();
    return answer;
  }
  int steps = 0, passes = 0, renders = 0, invalidates = 0, queries = 0, values = 0, answer = 0;
  int lastDepth = 0;
  float lastTranslateX = 0.0f;

 private:
  void Record() {
    lastDepth = GLTest::ModelViewStackDepth();
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    lastTranslateX = m[12];
  }
  int m_stepsPerPass;
  int m_progress = 0;
};

void UnitView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -2, 2);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// Steps node until a call returns non-zero; returns the number of calls
// (at most limit).
int CallsForPass(Sd_Node& node, int limit = 1000) {
  for (int calls = 1; calls <= limit; ++calls) {
    if (node.StepRender()) return calls;
  }
  return -1;
}

}  // namespace

TEST_F(GLTest, GroupRenderDrawsVisibleChildrenInsideItsTransform) {
  UnitView();
  Sd_AlignmentNode g;
  Sd_Node axes, hidden;
  hidden.SetVisible(0);
  hidden.SetPosition(-0.6f, 0.6f, 0.0f);
  g.AddChild(&axes);
  g.AddChild(&hidden);
  g.SetPosition(0.5f, 0.0f, 0.0f);
  g.SetScale(0.5f, 0.5f, 0.5f);
  g.Render();
  EXPECT_EQ(ModelViewStackDepth(), 1);
  // The child's x axis spans 0.25 ... 0.75 of the view; the hidden child
  // would draw around (0.2, 0.3).
  auto box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.xMin, 160, 1);
  EXPECT_NEAR(box.xMax, 224, 1);

  // The alignment node transforms even when drawn in its parent's frame.
  Clear();
  g.SetParentFrame(1);
  g.Render();
  EXPECT_NEAR(InkBox().xMin, 160, 1);

  // A hidden group draws nothing but leaves the stack as it was.
  Clear();
  g.SetVisible(0);
  g.Render();
  EXPECT_EQ(CountInk(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  Sd_Parent p;
  Sd_Node child;
  p.AddChild(&child);
  p.SetPosition(-0.5f, 0.0f, 0.0f);
  p.SetScale(0.5f, 0.5f, 0.5f);
  Clear();
  p.Render();
  EXPECT_NEAR(InkBox().xMax, 96, 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, OnlyTheAlignmentNodeDrawsItsProfilePoints) {
  UnitView();
  // Turned about x, a profile line (along z) stands upright in the view.
  auto setUp = [](Sd_Node& g) {
    g.SetBounds(0, 0, 10);
    g.SetBounds(1, 0, 10);
    g.SetRotation(90, 0, 0);
    g.SetProfilePoint(1, 7.5, 5);
    g.ShowProfilePoint(1, 1);
  };
  Sd_AlignmentNode a;
  setUp(a);
  a.Render();
  auto box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.CentreX(), 160, 2);
  EXPECT_NEAR(box.yMax - box.yMin, 128, 3);

  Clear();
  ASSERT_EQ(CallsForPass(a), 3);
  EXPECT_NEAR(InkBox().CentreX(), 160, 2) << "the progressive pass draws them when it finishes";

  Clear();
  a.SetVisible(0);
  EXPECT_EQ(CallsForPass(a), 3);
  EXPECT_EQ(CountInk(), 0) << "a hidden group shows nothing of itself";

  Clear();
  Sd_Parent p;
  setUp(p);
  p.Render();
  EXPECT_EQ(CallsForPass(p), 3);
  EXPECT_EQ(CountInk(), 0);
}

TEST_F(GLTest, ProgressivePassTakesOneCallPerChildPlusThree) {
  UnitView();
  for (int n = 0; n <= 4; ++n) {
    SCOPED_TRACE(n);
    Sd_AlignmentNode g;
    // n visible probes with hidden ones before, between and after them.
    std::vector<StepProbe> probes(n);
    std::vector<StepProbe> hidden(n + 1);
    for (StepProbe& h : hidden) h.SetVisible(0);
    g.AddChild(&hidden[0]);
    for (int i = 0; i < n; ++i) {
      g.AddChild(&probes[i]);
      g.AddChild(&hidden[i + 1]);
    }
    ASSERT_EQ(g.GetChildCount(), 2 * n + 1);

    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_EQ(g.StepRender(), 0);
      EXPECT_EQ(ModelViewStackDepth(), 2) << "the pass keeps its matrix pushed between calls";
      EXPECT_EQ(g.GetStage(), 1);
      EXPECT_EQ(g.GetDrawn(), 0);
      EXPECT_EQ(CallsForPass(g), n + 2) << "one call per child, one that finds none, one to finish";
      EXPECT_EQ(ModelViewStackDepth(), 1);
      EXPECT_EQ(g.GetDrawn(), 1);
      EXPECT_EQ(g.GetStage(), 0);
    }
    for (StepProbe& p : probes) {
      EXPECT_EQ(p.steps, 2);
      EXPECT_EQ(p.lastDepth, 2);
    }
    for (StepProbe& h : hidden) EXPECT_EQ(h.steps, 0);
  }

  // A child that needs three steps is stepped until it is done.
  Sd_Parent p;
  StepProbe slow(3), quick;
  p.AddChild(&slow);
  p.AddChild(&quick);
  EXPECT_EQ(CallsForPass(p), 1 + 3 + 1 + 1 + 1);
  EXPECT_EQ(slow.passes, 1);
  EXPECT_EQ(quick.steps, 1);

  // Nested: root { G { a, b }, c } takes 1 + (1 + 2 + 2) + 1 + 1 + 1 calls,
  // with the inner group's children two pushes deep.
  Sd_AlignmentNode root, G;
  StepProbe a, b, c;
  root.AddChild(&G);
  root.AddChild(&c);
  G.AddChild(&a);
  G.AddChild(&b);
  EXPECT_EQ(CallsForPass(root), 9);
  EXPECT_EQ(a.lastDepth, 3);
  EXPECT_EQ(c.lastDepth, 2);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, HiddenGroupFinishesAfterThreeCallsWithoutSteppingChildren) {
  UnitView();
  Sd_AlignmentNode g;
  StepProbe child;
  g.AddChild(&child);
  g.SetVisible(0);
  EXPECT_EQ(g.StepRender(), 0);
  EXPECT_EQ(g.StepRender(), 0);
  EXPECT_EQ(g.StepRender(), 1);
  EXPECT_EQ(child.steps, 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, AbandonedPassUndoesEveryPushAndRestarts) {
  UnitView();
  Sd_AlignmentNode root;
  Sd_Parent inner;
  StepProbe slow(3), after, last;
  root.AddChild(&inner);
  root.AddChild(&last);
  inner.AddChild(&slow);
  inner.AddChild(&after);

  // Into the middle of slow's pass: root pushed, inner pushed.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(root.StepRender(), 0);
  ASSERT_EQ(slow.steps, 2);
  ASSERT_EQ(ModelViewStackDepth(), 3);

  root.Invalidate();
  EXPECT_EQ(root.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1) << "the abandoned pass leaves the stack as it found it";
  EXPECT_EQ(root.GetRedrawPending(), 0);
  EXPECT_EQ(root.GetStage(), 0);
  EXPECT_EQ(root.GetDepth(), 0);
  EXPECT_EQ(root.GetCursor(), nullptr);
  EXPECT_EQ(inner.GetStage(), 0) << "the inner group was invalidated and abandoned too";
  EXPECT_EQ(inner.GetDepth(), 0);
  EXPECT_EQ(inner.GetRedrawPending(), 0);
  EXPECT_EQ(after.steps, 0);

  // The next call starts afresh and the whole pass completes. slow made the
  // first step of its fresh pass in the abandoning call:
  // root 1 + inner (1 + 2 + 1 + 1 + 1) + last 1 + 1 + 1.
  EXPECT_EQ(slow.invalidates, 1);
  EXPECT_EQ(CallsForPass(root), 10);
  EXPECT_EQ(slow.passes, 1);
  EXPECT_EQ(last.steps, 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Invalidated before a pass: the first call pushes and pops again.
  root.Invalidate();
  EXPECT_EQ(root.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(root.GetStage(), 0);

  // Invalidated at the finishing call: drawn is taken back.
  EXPECT_EQ(CallsForPass(root, 10), -1);
  ASSERT_EQ(root.GetStage(), 2);
  root.Invalidate();
  EXPECT_EQ(root.StepRender(), 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // A leaf invalidated by itself restarts only its own work.
  StepProbe again(2);
  Sd_AlignmentNode g;
  g.AddChild(&again);
  EXPECT_EQ(g.StepRender(), 0);
  EXPECT_EQ(g.StepRender(), 0);
  again.Invalidate();
  EXPECT_EQ(CallsForPass(g), 2 + 1 + 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);
}

TEST_F(GLTest, ParentFrameDecidesTheStepTransformOfTheAlignmentNodeOnly) {
  UnitView();
  Sd_AlignmentNode a;
  Sd_Parent p;
  StepProbe ca, cp;
  a.AddChild(&ca);
  p.AddChild(&cp);
  for (Sd_Node* g : {static_cast<Sd_Node*>(&a), static_cast<Sd_Node*>(&p)}) {
    g->SetPosition(0.25f, 0.0f, 0.0f);
    g->SetParentFrame(1);
    CallsForPass(*g);
  }
  EXPECT_EQ(ca.lastTranslateX, 0.0f);
  EXPECT_FLOAT_EQ(cp.lastTranslateX, 0.25f) << "the plain group always transforms";
  a.SetParentFrame(0);
  CallsForPass(a);
  EXPECT_FLOAT_EQ(ca.lastTranslateX, 0.25f);
}

TEST_F(GLTest, QueryPointAndValueAtAskVisibleChildrenUntilOneAnswers) {
  UnitView();
  Sd_AlignmentNode g;
  StepProbe miss, hidden, hit, after;
  hidden.SetVisible(0);
  hidden.answer = 1;
  hit.answer = 1;
  after.answer = 1;
  for (StepProbe* c : {&miss, &hidden, &hit, &after}) g.AddChild(c);
  g.SetPosition(0.5f, 0.0f, 0.0f);

  SDN_PickIn in = {nullptr, 10, 20, 1, 0};
  SDN_PickOut out = {0, 0, 0, -1e20, -1, nullptr, 0, 0};
  EXPECT_EQ(g.QueryPoint(&in, &out), 1);
  EXPECT_EQ(out.node, &hit);
  EXPECT_EQ(miss.queries, 1);
  EXPECT_EQ(hidden.queries, 0);
  EXPECT_EQ(after.queries, 0);
  EXPECT_FLOAT_EQ(hit.lastTranslateX, 0.5f) << "asked inside the group's transform";
  EXPECT_EQ(hit.lastDepth, 2);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  EXPECT_EQ(g.ValueAt(1.0, 2.0, 3), 1);
  EXPECT_EQ(miss.values, 1);
  EXPECT_EQ(hit.values, 1);
  EXPECT_EQ(after.values, 0);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Drawn in the parent's frame: no own transform.
  g.SetParentFrame(1);
  EXPECT_EQ(g.QueryPoint(&in, &out), 1);
  EXPECT_EQ(hit.lastTranslateX, 0.0f);

  // No child answers, or the group is hidden: 0.
  hit.answer = 0;
  after.answer = 0;
  EXPECT_EQ(g.ValueAt(0, 0, 0), 0);
  EXPECT_EQ(after.values, 1);
  g.SetVisible(0);
  EXPECT_EQ(g.QueryPoint(&in, &out), 0);
  EXPECT_EQ(miss.queries, 2);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // The plain group keeps the base answer.
  Sd_Parent p;
  StepProbe yes;
  yes.answer = 1;
  p.AddChild(&yes);
  EXPECT_EQ(p.QueryPoint(&in, &out), 0);
  EXPECT_EQ(p.ValueAt(0, 0, 0), 0);
  EXPECT_EQ(yes.queries + yes.values, 0);
}

TEST_F(GLTest, DeletingTreesInTheMiddleOfAPassKeepsTheStackBalanced) {
  UnitView();
  const long before = Sd_Node::LiveCount();

  // Deleting a subtree that the parent's pass is working on: the parent
  // moves on to the next child and finishes normally.
  auto* root = new Sd_AlignmentNode();
  auto* G = new Sd_AlignmentNode();
  auto* inside = new StepProbe(5);
  auto* next = new StepProbe();
  root->AddChild(G);
  root->AddChild(next);
  G->AddChild(inside);
  for (int i = 0; i < 3; ++i) root->StepRender();
  ASSERT_EQ(ModelViewStackDepth(), 3);
  ASSERT_EQ(root->GetCursor(), G);
  EXPECT_EQ(Sd_GroupNode::DeleteTree(G), 2);
  EXPECT_EQ(ModelViewStackDepth(), 2);
  EXPECT_EQ(root->GetCursor(), next);
  EXPECT_EQ(CallsForPass(*root), 3);
  EXPECT_EQ(next->steps, 1);
  EXPECT_EQ(ModelViewStackDepth(), 1);

  // Clearing the whole scene in the middle of a pass.
  auto* G2 = new Sd_Parent();
  root->AddChild(G2);
  G2->AddChild(new StepProbe(4));
  for (int i = 0; i < 5; ++i) root->StepRender();
  ASSERT_EQ(ModelViewStackDepth(), 3);
  EXPECT_EQ(Sd_GroupNode::DeleteTree(root), 4);
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(Sd_Node::LiveCount(), before);
}
