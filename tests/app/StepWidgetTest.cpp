// The progressive renderer: idle timer, coarse and best passes, abandoning a
// pass, exploring, the busy flag shared by several widgets, re-entrancy, and
// the adaptive detail budget.
//
// Most tests drive the idle steps by hand (OnIdle with no event processing
// in between, so the real timer cannot interfere); the tests of the timer
// itself run the event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "Qk_GLStepWidget.h"
#include "Sd_Node.h"

using orvanta_apptest::ReadPixel;
using orvanta_apptest::StackDepth;
using orvanta_apptest::WaitFor;

namespace {

// A scene object drawn progressively: a vertical strip of its colour made of
// `rows` quads. Its step pushes and places its matrix, draws one row per
// call, then pops; a pending redraw abandons the step, popping what it
// pushed.
class StripNode : public Sd_Node {
 public:
  StripNode(int index, int count, int rows, unsigned char r, unsigned char g, unsigned char b)
      : m_index(index), m_count(count), m_rows(rows), m_colour{r, g, b} {}

  void Render() override {
    glPushMatrix();
    Place();
    for (int i = 0; i < m_rows; ++i) DrawRow(i);
    glPopMatrix();
  }

  int StepRender() override {
    if (GetRedrawPending()) {
      if (m_stage > 0) glPopMatrix();
      m_stage = 0;
      m_row = 0;
      SetRedrawPending(0);
      return 0;
    }
    switch (m_stage) {
      case 0:
        glPushMatrix();
        Place();
        m_stage = 1;
        return 0;
      case 1:
        DrawRow(m_row++);
        if (m_row >= m_rows) m_stage = 2;
        return 0;
      default:
        glPopMatrix();
        m_stage = 0;
        m_row = 0;
        return 1;
    }
  }

  int Stage() const { return m_stage; }

 private:
  void Place() {
    glTranslatef(static_cast<float>(m_index) / m_count, 0.0f, 0.0f);
    glScalef(1.0f / m_count, 1.0f / m_rows, 1.0f);
  }
  void DrawRow(int i) {
    glColor3ub(m_colour[0], m_colour[1], m_colour[2]);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, static_cast<float>(i));
    glVertex2f(1.0f, static_cast<float>(i));
    glVertex2f(1.0f, static_cast<float>(i + 1));
    glVertex2f(0.0f, static_cast<float>(i + 1));
    glEnd();
  }

  int m_index, m_count, m_rows;
  unsigned char m_colour[3];
  int m_stage = 0;
  int m_row = 0;
};

// A small work area: a coarse pass is one whole frame, the best pass steps
// through the strips, exploring draws whole frames.
class StripArea : public Qk_GLStepWidget {
 public:
  explicit StripArea(int options = QK_GL_DEPTH | QK_GL_DOUBLE) : Qk_GLStepWidget(nullptr, "strips", options) {
    connect(this, &Qk_GLStepWidget::SetInfoSG, [this](char* text) { infos.emplace_back(text); });
    const unsigned char colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int i = 0; i < 3; ++i) {
      nodes.push_back(std::make_unique<StripNode>(i, 3, 4, colours[i][0], colours[i][1], colours[i][2]));
    }
  }

  void DrawScene() override {
    ++frames;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetProjection();
    glPushMatrix();
    for (auto& n : nodes) n->Render();
    glPopMatrix();
    if (nestedLoop) RunNestedLoop();
    SwapBuffers();
    TickFrameTimer();
    AdaptDetailBudget();
  }

  bool StepRender() override {
    MakeCurrent();
    if (m_abortFlag) {
      for (auto& n : nodes) n->Invalidate();
    }
    if (m_stepCounter == 0 && m_pass == 0) {
      // Nothing to draw when the pass is being abandoned before it began.
      if (!m_abortFlag) {
        SetInfo("Medium Resolution");
        m_lastTime = CurrentSeconds();
        DrawScene();
      }
      m_pass = 1;
    } else if (m_stepCounter == 0) {
      BeginPass();
      bestFlagInPass = Sd_Node::GetBestPass();
      glPushMatrix();
      AddPushedMatrices(1);
      SetProjection();
      glPushMatrix();
      AddPushedMatrices(1);
      m_current = 0;
      m_stepCounter = 1;
    } else if (m_stepCounter == 1) {
      if (m_current < nodes.size() && nodes[m_current]->StepRender()) ++m_current;
      if (m_current >= nodes.size()) m_stepCounter = 2;
      glFlush();
    } else {
      glPopMatrix();
      glPopMatrix();
      AddPushedMatrices(-2);
      m_stepCounter = 0;
      FinishPass();
    }
    if (m_abortFlag) AbortPass();
    return m_idleSuspended != 0;
  }

  void OnIdle() override {
    ++idleDepth;
    if (idleDepth > maxIdleDepth) maxIdleDepth = idleDepth;
    Qk_GLStepWidget::OnIdle();
    --idleDepth;
  }

  // Runs idle steps until the picture is complete; false when it never is.
  bool RunToNormal(int limit = 200) { return orvanta_apptest::RunToNormal(this, limit); }

  std::vector<std::unique_ptr<StripNode>> nodes;
  std::vector<std::string> infos;
  int frames = 0;
  int bestFlagInPass = -1;
  bool nestedLoop = false;
  int idleDepth = 0, maxIdleDepth = 0;

 private:
  void SetProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
  }
  void RunNestedLoop() {
    // What a modal dialog opened by drawing code does: run events.
    nestedLoop = false;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
    UpdateGL();
    MakeCurrent();
  }

  size_t m_current = 0;
};

// Shows a widget and waits for its first complete picture.
template <typename W>
void ShowAndSettle(W* w, int width = 90, int height = 60) {
  w->resize(width, height);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return w->IsInitialised() && w->GetHeight() == height; }));
  ASSERT_TRUE(WaitFor([&] { return !w->IsIdleTimerActive(); }));
}

std::vector<std::string> Texts(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

TEST(StepWidgetTimer, RedrawRunsCoarseThenBestThenStops) {
  Qk_GLStepWidget w(nullptr, "steps", QK_GL_DEPTH | QK_GL_DOUBLE);
  std::vector<std::string> infos;
  QObject::connect(&w, &Qk_GLStepWidget::SetInfoSG, [&](char* text) { infos.emplace_back(text); });
  ShowAndSettle(&w);
  EXPECT_EQ(infos, Texts({"Medium Resolution", "Rendering Best...", "Normal"}));
  EXPECT_EQ(w.GetFinishedPassCount(), 1);

  infos.clear();
  w.UpdateGL();
  EXPECT_TRUE(w.IsIdleTimerActive());
  ASSERT_TRUE(WaitFor([&] { return !infos.empty() && infos.back() == "Normal"; }));
  EXPECT_EQ(infos, Texts({"Medium Resolution", "Rendering Best...", "Normal"}));
  EXPECT_FALSE(w.IsIdleTimerActive());
  EXPECT_EQ(w.GetIdleTimerCount(), 0);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);

  // No idle work once the picture is complete.
  const long ticks = w.GetIdleTickCount();
  orvanta_apptest::Spin(30);
  EXPECT_EQ(w.GetIdleTickCount(), ticks);
  EXPECT_EQ(infos.size(), 3u);
}

TEST(StepWidgetTimer, ReferenceCountAndSuspension) {
  Qk_GLStepWidget w(nullptr, "steps", QK_GL_DEPTH | QK_GL_DOUBLE);
  ShowAndSettle(&w);
  ASSERT_EQ(w.GetIdleTimerCount(), 0);

  w.StartIdleTimer();
  w.StartIdleTimer();
  w.StopIdleTimer();
  EXPECT_TRUE(w.IsIdleTimerActive());
  EXPECT_EQ(w.GetIdleTimerCount(), 1);

  w.SuspendIdle(false);  // count 2
  w.SuspendIdle(true);   // count 1
  w.SuspendIdle(true);   // already suspended: no second stop
  EXPECT_TRUE(w.IsIdleTimerActive());
  EXPECT_EQ(w.GetIdleTimerCount(), 1);

  w.StopIdleTimer();
  w.StopIdleTimer();  // never below zero
  EXPECT_FALSE(w.IsIdleTimerActive());
  EXPECT_EQ(w.GetIdleTimerCount(), 0);
}

TEST(StepWidgetTimer, HiddenWidgetDoesNoIdleWork) {
  StripArea area;
  ShowAndSettle(&area);
  area.makeCurrent();
  const int modelview = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  area.UpdateGL();
  for (int i = 0; i < 4; ++i) area.OnIdle();
  ASSERT_EQ(Qk_GLStepWidget::GetBusy(), 1);
  // Hiding abandons the pass: no busy flag held by an invisible widget.
  area.hide();
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  EXPECT_EQ(area.IsRunning(), 0);
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview);

  area.UpdateGL();
  EXPECT_EQ(area.GetIdleTimerCount(), 1);
  EXPECT_FALSE(area.IsIdleTimerActive());
  const long ticks = area.GetIdleTickCount();
  orvanta_apptest::Spin(20);
  EXPECT_EQ(area.GetIdleTickCount(), ticks);

  area.show();
  EXPECT_TRUE(area.IsIdleTimerActive());
  ASSERT_TRUE(WaitFor([&] { return !area.IsIdleTimerActive(); }));
  EXPECT_EQ(area.infos.back(), "Normal");
}

TEST(StepWidgetPasses, RedrawInMidPassAbandonsItBalanced) {
  StripArea area;
  ShowAndSettle(&area);
  area.makeCurrent();
  const int modelview = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  const int projection = StackDepth(GL_PROJECTION_STACK_DEPTH);

  area.frames = 0;
  area.UpdateGL();
  EXPECT_EQ(area.frames, 0);  // the request itself draws nothing
  area.OnIdle();              // coarse pass: one whole frame
  EXPECT_EQ(area.frames, 1);
  area.OnIdle();  // best pass begins: two matrices pushed
  EXPECT_EQ(area.bestFlagInPass, 1);
  area.OnIdle();  // the first strip pushes its own
  area.OnIdle();  // and draws a row
  ASSERT_EQ(area.GetPass(), 1);
  ASSERT_EQ(area.nodes[0]->Stage(), 1);
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview + 3);
  EXPECT_EQ(area.GetPushedMatrices(), 2);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 1);

  area.infos.clear();
  const int frames = area.frames;
  area.UpdateGL();
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview);
  EXPECT_EQ(StackDepth(GL_PROJECTION_STACK_DEPTH), projection);
  EXPECT_EQ(area.nodes[0]->Stage(), 0);
  EXPECT_EQ(area.GetPushedMatrices(), 0);
  EXPECT_EQ(area.GetPass(), 0);
  EXPECT_EQ(area.GetStepCounter(), 0);
  EXPECT_EQ(area.IsRunning(), 0);
  EXPECT_EQ(area.GetAbortFlag(), 0);
  EXPECT_EQ(area.GetRestartPending(), 1);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
  EXPECT_EQ(area.frames, frames);
  EXPECT_EQ(ReportGLErrors(), 0);

  // The next idle step starts again with a coarse frame.
  area.OnIdle();
  EXPECT_EQ(area.infos, Texts({"Medium Resolution"}));
  ASSERT_TRUE(area.RunToNormal());
  EXPECT_EQ(area.infos, Texts({"Medium Resolution", "Rendering Best...", "Normal"}));
  EXPECT_EQ(area.frames, frames + 1);  // the best pass drew in steps
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview);
  EXPECT_EQ(StackDepth(GL_PROJECTION_STACK_DEPTH), projection);
  EXPECT_EQ(ReadPixel(10, 30).r, 255);
  EXPECT_EQ(ReadPixel(45, 30).g, 255);
  EXPECT_EQ(ReadPixel(80, 30).b, 255);
  EXPECT_EQ(ReportGLErrors(), 0);
}

TEST(StepWidgetPasses, RedrawBeforeTheCoarseFrameDrawsNothing) {
  StripArea area;
  ShowAndSettle(&area);
  area.UpdateGL();
  area.OnIdle();  // coarse frame
  const int frames = area.frames;
  area.UpdateGL();  // pass 1, counter 0: nothing pushed yet
  area.UpdateGL();  // not running: only asks for a restart
  EXPECT_EQ(area.frames, frames);
  area.makeCurrent();
  EXPECT_EQ(ReportGLErrors(), 0);
  ASSERT_TRUE(area.RunToNormal());
  EXPECT_EQ(area.frames, frames + 1);
}

TEST(StepWidgetPasses, DrawBufferModesDecideTheFinalSwap) {
  for (int mode : {0, 1, 2}) {
    Qk_GLStepWidget w(nullptr, "steps", QK_GL_DEPTH | QK_GL_DOUBLE);
    ShowAndSettle(&w);
    w.SetDrawBufferMode(mode);
    w.UpdateGL();
    const long swaps = w.GetSwapCount();
    for (int i = 0; i < 50 && !(w.GetIdleSuspended() && !w.IsRunning()); ++i) w.OnIdle();
    ASSERT_EQ(w.GetFinishedPassCount(), 2);
    // The coarse pass always swaps; the best pass swaps unless it drew
    // straight into the visible picture.
    EXPECT_EQ(w.GetSwapCount() - swaps, mode == 0 ? 1 : 2) << "mode " << mode;
    EXPECT_EQ(w.GetDrawBuffer(), static_cast<GLenum>(GL_BACK));
  }
}

TEST(StepWidgetExploring, EachIdleTickDrawsOneWholeFrame) {
  StripArea area;
  ShowAndSettle(&area);
  area.infos.clear();
  area.BeginExploring();
  EXPECT_EQ(area.infos, Texts({"Exploring"}));
  EXPECT_TRUE(area.IsIdleTimerActive());
  area.BeginExploring();  // nested
  const long ticks = area.GetIdleTickCount();
  const int frames = area.frames;
  ASSERT_TRUE(WaitFor([&] { return area.GetIdleTickCount() >= ticks + 10; }));
  EXPECT_EQ(area.frames - frames, area.GetIdleTickCount() - ticks);
  EXPECT_EQ(area.IsRunning(), 0);

  area.EndExploring();
  EXPECT_EQ(area.GetExploreCount(), 1);
  EXPECT_TRUE(area.IsIdleTimerActive());
  const int before = area.frames;
  area.EndExploring();  // the last one draws a last frame and asks for the passes
  EXPECT_EQ(area.frames, before + 1);
  EXPECT_EQ(area.GetExploreCount(), 0);
  area.EndExploring();  // unbalanced: ignored
  EXPECT_EQ(area.GetExploreCount(), 0);
  ASSERT_TRUE(WaitFor([&] { return !area.IsIdleTimerActive(); }));
  EXPECT_EQ(area.infos, Texts({"Exploring", "Medium Resolution", "Rendering Best...", "Normal"}));
}

TEST(StepWidgetExploring, ExploringAbandonsARunningPass) {
  StripArea area;
  ShowAndSettle(&area);
  area.makeCurrent();
  const int modelview = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  area.UpdateGL();
  for (int i = 0; i < 4; ++i) area.OnIdle();
  ASSERT_EQ(area.GetPass(), 1);
  area.BeginExploring();
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview);
  EXPECT_EQ(area.IsRunning(), 0);
  const int frames = area.frames;
  area.OnIdle();
  area.OnIdle();
  EXPECT_EQ(area.frames, frames + 2);
  EXPECT_EQ(area.IsRunning(), 0);
  area.EndExploring();
  ASSERT_TRUE(area.RunToNormal());
}

TEST(StepWidgetBusy, OnlyOneWidgetRunsAPass) {
  StripArea a, b;
  ShowAndSettle(&a);
  ShowAndSettle(&b);
  a.UpdateGL();
  b.UpdateGL();
  a.OnIdle();
  EXPECT_EQ(a.IsRunning(), 1);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 1);

  b.infos.clear();
  const int bFrames = b.frames;
  b.OnIdle();  // a holds the busy flag: b explores instead
  EXPECT_EQ(b.IsRunning(), 0);
  EXPECT_EQ(b.GetExploreCount(), 1);
  EXPECT_EQ(b.infos, Texts({"Exploring"}));
  EXPECT_EQ(b.frames, bFrames + 1);
  b.OnIdle();  // still waiting
  EXPECT_EQ(b.frames, bFrames + 1);

  ASSERT_TRUE(a.RunToNormal());
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  b.OnIdle();  // exploring ends with one frame, then b's own pass begins
  EXPECT_EQ(b.GetExploreCount(), 0);
  EXPECT_EQ(b.IsRunning(), 1);
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 1);
  ASSERT_TRUE(b.RunToNormal());
  EXPECT_EQ(b.infos, Texts({"Exploring", "Medium Resolution", "Rendering Best...", "Normal"}));
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
}

TEST(StepWidgetBusy, DestroyingARunningWidgetReleasesTheBusyFlag) {
  auto area = std::make_unique<StripArea>();
  ShowAndSettle(area.get());
  area->UpdateGL();
  for (int i = 0; i < 4; ++i) area->OnIdle();
  ASSERT_EQ(Qk_GLStepWidget::GetBusy(), 1);
  area.reset();
  EXPECT_EQ(Qk_GLStepWidget::GetBusy(), 0);
  EXPECT_EQ(Sd_Node::GetBestPass(), 0);
}

TEST(StepWidgetReentrancy, NestedEventLoopDoesNotReenterTheRenderer) {
  StripArea area;
  ShowAndSettle(&area);
  area.makeCurrent();
  const int modelview = StackDepth(GL_MODELVIEW_STACK_DEPTH);
  area.UpdateGL();
  area.nestedLoop = true;
  const long ticks = area.GetIdleTickCount();
  area.OnIdle();  // the coarse frame runs events and asks for a redraw
  EXPECT_EQ(area.maxIdleDepth, 1);
  EXPECT_EQ(area.GetIdleTickCount(), ticks);
  // The redraw asked for inside the step took effect after it.
  EXPECT_EQ(area.IsRunning(), 0);
  EXPECT_EQ(area.GetPass(), 0);
  EXPECT_EQ(area.GetRestartPending(), 1);
  area.makeCurrent();
  EXPECT_EQ(StackDepth(GL_MODELVIEW_STACK_DEPTH), modelview);
  ASSERT_TRUE(area.RunToNormal());
}

TEST(StepWidgetStereo, StereoPassSelectsEachHalf) {
  class StereoSteps : public Qk_GLStepWidget {
   public:
    StereoSteps() : Qk_GLStepWidget(nullptr, "stereo", QK_GL_DEPTH | QK_GL_DOUBLE | QK_GL_STEREO) {
      SetStereoMode(QK_STEREO_SPLIT_SCREEN);
    }
    bool StepRenderStereo() override {
      const bool done = Qk_GLStepWidget::StepRenderStereo();
      eyes.push_back(GetCurrentEye());
      return done;
    }
    std::vector<int> eyes;
  } w;
  std::vector<std::string> infos;
  QObject::connect(&w, &Qk_GLStepWidget::SetInfoSG, [&](char* text) { infos.emplace_back(text); });
  ShowAndSettle(&w, 100, 50);
  w.SetStereo(1);
  w.UpdateGL();
  infos.clear();
  for (int i = 0; i < 40 && !(w.GetIdleSuspended() && !w.IsRunning()); ++i) w.OnIdle();
  EXPECT_EQ(infos, Texts({"Medium Resolution", "Rendering Best...", "Normal"}));
  // Coarse and best pass: six steps each, left half first, then the right.
  const std::vector<int> expected = {0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1};
  EXPECT_EQ(w.eyes, expected);
  EXPECT_EQ(w.GetViewportWidth(), 50);
}

// A clock the test sets.
class ClockedWidget : public Qk_GLStepWidget {
 public:
  ClockedWidget() : Qk_GLStepWidget(nullptr, "clocked", QK_GL_DEPTH | QK_GL_DOUBLE) {}
  double now = 100.0;

  // One frame of t seconds with the given detail-request bits.
  void Frame(double t, int bits) {
    now += t;
    TickFrameTimer();
    SetDetailRequest(bits);
    AdaptDetailBudget();
  }

 protected:
  double CurrentSeconds() override { return now; }
};

TEST(StepWidgetDetail, QualityThresholdsAndFrameTimer) {
  ClockedWidget w;
  EXPECT_FLOAT_EQ(w.GetTargetTime(), 1.0f / 15.01f);
  w.SetQuality(1.0f);
  EXPECT_FLOAT_EQ(w.GetLowThreshold(), 1.0f / 45.0f);
  EXPECT_FLOAT_EQ(w.GetTargetTime(), 1.0f / 40.0f);
  EXPECT_FLOAT_EQ(w.GetHighThreshold(), 1.0f / 35.0f);
  w.SetQuality(-3.0f);  // taken as 0
  EXPECT_FLOAT_EQ(w.GetHighThreshold(), 1.0f / 5.0f);

  w.ResetFrameTimer();
  EXPECT_NEAR(w.GetFrameTime(), 0.016666668, 1e-9);
  w.now += 2.0;
  w.TickFrameTimer();
  EXPECT_DOUBLE_EQ(w.GetFrameTime(), 0.5);
  w.now += 0.03;
  w.TickFrameTimer();
  EXPECT_NEAR(w.GetFrameTime(), 0.03, 1e-9);
}

TEST(StepWidgetDetail, BudgetFollowsTheFrameTime) {
  ClockedWidget w;
  w.ResetFrameTimer();
  const float start = w.GetDetailBudget();
  EXPECT_FLOAT_EQ(start, 25000.0f);

  w.Frame(0.001, 0);  // no object asked: nothing changes
  EXPECT_FLOAT_EQ(w.GetDetailBudget(), start);
  EXPECT_EQ(w.GetDetailState(), 0);

  // Fast frames with room for more detail: the budget grows by 500000 d^2.
  w.Frame(0.01, 1);
  EXPECT_EQ(w.GetDetailState(), -1);
  const float d = w.GetTargetTime() - 0.01f;
  EXPECT_NEAR(w.GetDetailBudget(), start + 500000.0f * d * d, 0.5f);
  const float grown = w.GetDetailBudget();

  // Fast frames that could only lose detail change nothing.
  w.Frame(0.01, 2);
  EXPECT_FLOAT_EQ(w.GetDetailBudget(), grown);

  // A slow frame turns the direction: shrink and widen the thresholds.
  const float low = w.GetLowThreshold(), high = w.GetHighThreshold();
  w.Frame(0.3, 3);
  EXPECT_EQ(w.GetDetailState(), 1);
  EXPECT_LT(w.GetDetailBudget(), grown);
  EXPECT_LT(w.GetLowThreshold(), low);
  EXPECT_GT(w.GetHighThreshold(), high);

  // A frame between the low threshold and the target settles.
  w.Frame(0.5 * (w.GetLowThreshold() + w.GetTargetTime()), 3);
  EXPECT_EQ(w.GetDetailState(), 0);
}

TEST(StepWidgetDetail, BudgetAndThresholdsStayInBounds) {
  ClockedWidget w;
  w.ResetFrameTimer();
  for (int i = 0; i < 200; ++i) w.Frame(0.5, 3);
  EXPECT_FLOAT_EQ(w.GetDetailBudget(), 100.0f);
  for (int i = 0; i < 2000; ++i) w.Frame(0.0001, 3);
  EXPECT_FLOAT_EQ(w.GetDetailBudget(), 500000.0f);
  // Alternating directions widen at every turn, but never past the limits.
  for (int i = 0; i < 100; ++i) {
    w.Frame(i % 2 ? 0.0001 : 0.5, 3);
    EXPECT_GE(w.GetDetailBudget(), 100.0f);
    EXPECT_LE(w.GetDetailBudget(), 500000.0f);
    EXPECT_GE(w.GetLowThreshold(), 0.001f);
    EXPECT_LE(w.GetHighThreshold(), 0.14285715f);
  }
  EXPECT_FLOAT_EQ(w.GetLowThreshold(), 0.001f);
  EXPECT_FLOAT_EQ(w.GetHighThreshold(), 0.14285715f);
  // A restart resets the thresholds and forgets the requests.
  w.ResetQualityThresholds();
  EXPECT_FLOAT_EQ(w.GetTargetTime(), 1.0f / 15.01f);
  EXPECT_EQ(w.GetDetailRequest(), 0);
}

}  // namespace
