#include "Qk_GLStepWidget.h"

#include <QHideEvent>
#include <QShowEvent>
#include <QTimerEvent>

#include "Sd_Node.h"

int Qk_GLStepWidget::s_busy = 0;

namespace {

const double kInitialFrameTime = 0.016666668;
const double kMaxFrameTime = 0.5;
const float kMinBudget = 100.0f;
const float kMaxBudget = 500000.0f;
const float kLowestThreshold = 0.001f;
const float kHighestThreshold = 0.14285715f;
// Front-buffer drawing is presented at most this often while a pass runs.
const double kFrontPresentInterval = 1.0 / 30.0;

}  // namespace

class Qk_GLStepWidget::StepScope {
 public:
  explicit StepScope(Qk_GLStepWidget* w) : m_w(w) { ++m_w->m_stepDepth; }
  ~StepScope() {
    if (--m_w->m_stepDepth == 0) m_w->AfterStep();
  }
  StepScope(const StepScope&) = delete;
  StepScope& operator=(const StepScope&) = delete;

 private:
  Qk_GLStepWidget* m_w;
};

Qk_GLStepWidget::Qk_GLStepWidget(QWidget* parent, const char* name, int options)
    : Qk_GLStereoWidget(parent, name, options),
      m_timerId(0),
      m_timerCount(0),
      m_drawBufferMode(BEST_TO_FRONT),
      m_exploreCount(0),
      m_abortFlag(0),
      m_running(0),
      m_restart(0),
      m_progressive(1),
      m_pass(0),
      m_stepCounter(0),
      m_pushedMatrices(0),
      m_bufferSwitched(0),
      m_idleSuspended(1),
      m_stopwatch(),
      m_lastTime(0.0),
      m_frameTime(kInitialFrameTime),
      m_detailBudget(25000.0f),
      m_lowThreshold(0.0f),
      m_highThreshold(0.0f),
      m_target(0.0f),
      m_detailState(0),
      m_detailRequest(0),
      m_quality(0.167f),
      m_baseLow(0.0f),
      m_baseHigh(0.0f),
      m_outlineBeforeSwap(1),
      m_pendingEndExploring(0),
      m_stepDepth(0),
      m_deferredRestart(0),
      m_lastFrontPresent(0.0),
      m_tickCount(0),
      m_passCount(0) {
  m_lastTime = m_stopwatch.GetSeconds();
  ResetQualityThresholds();
}

Qk_GLStepWidget::~Qk_GLStepWidget() {
  // Abandon a running pass (pops what it pushed and releases the busy flag).
  // Open exploring periods are closed without drawing: nothing is shown any
  // more.
  if (m_stepDepth == 0) RestartPasses();
  m_exploreCount = 0;
  m_pendingEndExploring = 0;
  m_restart = 0;
  SuspendIdle(true);
  m_timerCount = 0;
  if (m_timerId) {
    killTimer(m_timerId);
    m_timerId = 0;
  }
  if (m_running && m_progressive) s_busy = 0;
}

// ---------------------------------------------------------------------------
// Idle timer

void Qk_GLStepWidget::UpdateTimer() {
  const bool wanted = m_timerCount > 0 && m_initialised && isVisible();
  if (wanted && m_timerId == 0) {
    m_timerId = startTimer(0);
  } else if (!wanted && m_timerId != 0) {
    killTimer(m_timerId);
    m_timerId = 0;
  }
}

void Qk_GLStepWidget::StartIdleTimer() {
  ++m_timerCount;
  UpdateTimer();
}

void Qk_GLStepWidget::StopIdleTimer() {
  if (m_timerCount <= 0) return;
  --m_timerCount;
  UpdateTimer();
}

void Qk_GLStepWidget::SuspendIdle(bool suspend) {
  if (suspend && !m_idleSuspended) {
    m_idleSuspended = 1;
    StopIdleTimer();
  } else if (!suspend && m_idleSuspended) {
    m_idleSuspended = 0;
    StartIdleTimer();
  }
}

void Qk_GLStepWidget::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timerId || m_timerId == 0) {
    Qk_GLStereoWidget::timerEvent(event);
    return;
  }
  // A tick inside a step comes from a nested event loop: the step holds
  // matrices and state that the tick must not disturb.
  if (m_stepDepth > 0) return;
  ++m_tickCount;
  OnIdle();
}

void Qk_GLStepWidget::showEvent(QShowEvent* event) {
  Qk_GLStereoWidget::showEvent(event);
  UpdateTimer();
}

void Qk_GLStepWidget::hideEvent(QHideEvent* event) {
  Qk_GLStereoWidget::hideEvent(event);
  // A hidden widget does no idle work. A pass it was running is abandoned,
  // so that it does not hold the busy flag while hidden; it starts again
  // when the widget is shown.
  if (m_running) RestartPasses();
  UpdateTimer();
}

void Qk_GLStepWidget::initializeGL() {
  Qk_GLStereoWidget::initializeGL();
  UpdateTimer();
}

// ---------------------------------------------------------------------------
// Pass machine

void Qk_GLStepWidget::SetInfo(const char* text) { emit SetInfoSG(const_cast<char*>(text)); }

double Qk_GLStepWidget::CurrentSeconds() { return m_stopwatch.GetSeconds(); }

void Qk_GLStepWidget::OnIdle() { RenderStepInMode(); }

void Qk_GLStepWidget::RequestPass() {
  if (m_drawBufferMode == DIRECT) {
    RenderStepInMode();
    return;
  }
  if (m_running) {
    m_abortFlag = 2;
    return;
  }
  if (s_busy && m_progressive) {
    // Another widget runs a pass: explore until it has finished.
    if (m_pendingEndExploring) return;
    m_pendingEndExploring = 1;
    BeginExploring();
    return;
  }
  m_running = 1;
  if (m_progressive) s_busy = 1;
}

void Qk_GLStepWidget::RenderStep() { RunStep(false); }

void Qk_GLStepWidget::RenderStepStereo() { RunStep(true); }

void Qk_GLStepWidget::RenderStepInMode() { RunStep(m_stereoOn != 0); }

// One idle step, mono or split-screen stereo: finish a pending end of
// exploring, restart passes asked for, advance the running pass, and draw a
// whole frame while exploring.
void Qk_GLStepWidget::RunStep(bool stereo) {
  // Nothing can be drawn before the context exists; the work waits for it.
  if (!m_initialised) return;
  StepScope scope(this);
  MakeCurrent();
  if (m_pendingEndExploring) {
    if (s_busy) return;
    m_pendingEndExploring = 0;
    EndExploring();
  }
  if (m_restart) {
    m_restart = 0;
    if (m_exploreCount == 0) RequestPass();
  }
  if (m_running) {
    if (stereo ? StepRenderStereo() : StepRender()) m_running = 0;
    m_abortFlag = 0;
  }
  if (m_exploreCount > 0) {
    if (stereo) {
      DrawStereo();
    } else {
      DrawScene();
    }
  }
}

void Qk_GLStepWidget::AfterStep() {
  // Drawing into the front buffer is meant to be seen as it happens.
  if (DrawingToFront()) {
    const double now = m_stopwatch.GetSeconds();
    if (now - m_lastFrontPresent >= kFrontPresentInterval) {
      m_lastFrontPresent = now;
      Present();
    }
  }
  if (m_deferredRestart) {
    m_deferredRestart = 0;
    RestartPasses();
  }
}

bool Qk_GLStepWidget::StepRender() {
  switch (m_stepCounter) {
    case 0:
      BeginPass();
      m_stepCounter = 1;
      break;
    case 1:
      m_stepCounter = 2;
      break;
    default:
      FinishPass();
      m_stepCounter = 0;
      break;
  }
  if (m_abortFlag) AbortPass();
  return m_idleSuspended != 0;
}

bool Qk_GLStepWidget::StepRenderStereo() {
  switch (m_stepCounter) {
    case 0:
      BeginStereoPass();
      m_stepCounter = 1;
      break;
    case 3:
      RightStereoPass();
      m_stepCounter = 4;
      break;
    case 5:
      FinishStereoPass();
      m_stepCounter = 0;
      break;
    default:
      ++m_stepCounter;
      break;
  }
  if (m_abortFlag) AbortStereoPass();
  return m_idleSuspended != 0;
}

bool Qk_GLStepWidget::StartPass() {
  SuspendIdle(false);
  m_pushedMatrices = 0;
  m_bufferSwitched = 0;
  if (m_pass == 1) {
    SetInfo("Rendering Best...");
    Sd_Node::SetBestPass(1);
    return true;
  }
  SetInfo("Medium Resolution");
  return false;
}

void Qk_GLStepWidget::BeginPass() {
  if (StartPass()) {
    // Over a coarse frame that blended, pixels drawn see-through would mix
    // with the coarse ones under them: the pass is drawn as in the
    // back-buffer mode, and the coarse picture stays until it is done.
    const int mode = m_drawBufferMode == BEST_TO_FRONT && Sd_Node::FrameState().blended ? BEST_TO_BACK
                                                                                        : m_drawBufferMode;
    if (mode == BEST_TO_FRONT) {
      // Refine over the coarse picture, which stays visible meanwhile. Its
      // depth goes now: the readers read a copy of the whole coarse frame
      // until the pass ends.
      KeepShownPicture();
      glClear(GL_DEPTH_BUFFER_BIT);
      SelectDrawBuffer(GL_FRONT);
    } else if (mode == BEST_TO_BOTH) {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      SelectDrawBuffer(GL_FRONT_AND_BACK);
    } else {
      BeginHidden();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      SelectDrawBuffer(GL_BACK);
    }
    m_bufferSwitched = 1;
  } else {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
}

void Qk_GLStepWidget::FinishPass() {
  // A finished pass has popped what it pushed.
  m_pushedMatrices = 0;
  if (m_pass == 0) {
    ShowCoarseFrame(m_outlineBeforeSwap != 0);
    return;
  }
  // The front-buffer mode drew straight into the visible picture; the
  // back-buffer mode drew hidden and is shown now.
  const bool hidden = DrawingHidden();
  ShowHidden();
  DropShownPicture();
  if (hidden || m_drawBufferMode == BEST_TO_BACK || m_drawBufferMode == BEST_TO_BOTH) SwapBuffers();
  SelectDrawBuffer(GL_BACK);
  m_bufferSwitched = 0;
  EndBestPass(false);
}

void Qk_GLStepWidget::ShowCoarseFrame(bool outline) {
  if (outline) DrawOutline(1);
  SwapBuffers();
  m_pass = 1;
}

void Qk_GLStepWidget::EndBestPass(bool swap) {
  SuspendIdle(true);
  m_pass = 0;
  Sd_Node::SetBestPass(0);
  if (m_progressive) s_busy = 0;
  SetInfo("Normal");
  if (swap) {
    SwapBuffers();
  } else {
    glFlush();
  }
  AfterPass();
  Present();
  ++m_passCount;
}

void Qk_GLStepWidget::AbortPass() {
  m_pass = 0;
  // A pass drawn hidden is dropped; the picture before it stays. The
  // readers read the shown framebuffer object again.
  EndHidden();
  DropShownPicture();
  if (m_bufferSwitched) {
    SelectDrawBuffer(GL_BACK);
    m_bufferSwitched = 0;
  }
  m_stepCounter = 0;
  if (m_pushedMatrices > 0) {
    glMatrixMode(GL_MODELVIEW);
    while (m_pushedMatrices > 0) {
      glPopMatrix();
      --m_pushedMatrices;
    }
  }
  m_pushedMatrices = 0;
  Sd_Node::SetBestPass(0);
  // The timer keeps running so that the restart can begin.
  SuspendIdle(false);
}

void Qk_GLStepWidget::BeginStereoPass() {
  // The best pass draws both halves into the back buffer and shows them
  // together when both are done.
  if (StartPass()) BeginHidden();
  SelectLeft(0);
}

void Qk_GLStepWidget::RightStereoPass() { SelectRight(0); }

void Qk_GLStepWidget::FinishStereoPass() {
  m_pushedMatrices = 0;
  if (m_pass == 0) {
    ShowCoarseFrame(true);
    return;
  }
  ShowHidden();
  EndBestPass(true);
}

void Qk_GLStepWidget::AbortStereoPass() {
  m_pass = 0;
  m_stepCounter = 0;
  AbortPass();
}

void Qk_GLStepWidget::PaintGL() { RestartPasses(); }

void Qk_GLStepWidget::RestartPasses() {
  if (m_stepDepth > 0) {
    // Asked from inside a step: restart once the step has returned.
    m_deferredRestart = 1;
    return;
  }
  if (m_running) {
    StepScope scope(this);
    MakeCurrent();
    if (m_stepCounter == 0 && m_pushedMatrices == 0) {
      // Between two passes (or before the first step of one) nothing is
      // half drawn: abandon without running a step, which would draw a
      // whole coarse frame only to throw it away.
      if (m_stereoOn) {
        AbortStereoPass();
      } else {
        AbortPass();
      }
    } else {
      m_abortFlag = 1;
      if (m_stereoOn) {
        StepRenderStereo();
      } else {
        StepRender();
      }
    }
    // The abandoned pass has been cleaned up; the next pass starts afresh.
    m_abortFlag = 0;
    m_running = 0;
    if (m_progressive) s_busy = 0;
  }
  SuspendIdle(false);
  m_restart = 1;
  ResetQualityThresholds();
}

// ---------------------------------------------------------------------------
// Exploring

void Qk_GLStepWidget::BeginExploring() {
  if (m_exploreCount == 0) {
    if (m_running || m_idleSuspended) RestartPasses();
    SetInfo("Exploring");
    ResetFrameTimer();
  }
  ++m_exploreCount;
}

void Qk_GLStepWidget::EndExploring() {
  if (m_exploreCount < 1) return;
  if (m_exploreCount == 1) RenderStepInMode();
  --m_exploreCount;
  if (m_exploreCount == 0) m_restart = 1;
}

void Qk_GLStepWidget::SetDrawBufferMode(int mode) {
  if (mode == m_drawBufferMode) return;
  const int old = m_drawBufferMode;
  m_drawBufferMode = mode;
  if (old == DIRECT) {
    EndExploring();
  } else if (mode == DIRECT) {
    BeginExploring();
  }
}

void Qk_GLStepWidget::DrawStereo() {}
void Qk_GLStepWidget::AfterPass() {}
void Qk_GLStepWidget::DrawOutline(int) {}

// ---------------------------------------------------------------------------
// Frame time and detail budget

void Qk_GLStepWidget::ResetFrameTimer() {
  m_lastTime = CurrentSeconds();
  m_frameTime = kInitialFrameTime;
}

void Qk_GLStepWidget::TickFrameTimer() {
  const double now = CurrentSeconds();
  m_frameTime = now - m_lastTime;
  m_lastTime = now;
  if (m_frameTime > kMaxFrameTime) m_frameTime = kMaxFrameTime;
}

void Qk_GLStepWidget::SetQuality(float q) {
  // Outside [0, 1] the thresholds would divide by zero or turn negative.
  if (!(q >= 0.0f)) q = 0.0f;
  if (q > 1.0f) q = 1.0f;
  m_quality = q;
  ResetQualityThresholds();
}

void Qk_GLStepWidget::ResetQualityThresholds() {
  const float r = 10.0f + 30.0f * m_quality;
  m_detailState = 0;
  m_detailRequest = 0;
  m_lowThreshold = 1.0f / (r + 5.0f);
  m_target = 1.0f / r;
  m_highThreshold = 1.0f / (r - 5.0f);
  m_baseLow = m_lowThreshold;
  m_baseHigh = m_highThreshold;
}

void Qk_GLStepWidget::AdjustBudget() {
  const float d = m_target - static_cast<float>(m_frameTime);
  const float step = 500000.0f * d * d;
  if (d > 0.0f && (m_detailRequest & 1)) {
    m_detailBudget += step;
  } else if (d < 0.0f && (m_detailRequest & 2)) {
    m_detailBudget -= step;
  }
  if (m_detailBudget < kMinBudget) m_detailBudget = kMinBudget;
  if (m_detailBudget > kMaxBudget) m_detailBudget = kMaxBudget;
}

void Qk_GLStepWidget::WidenThresholds() {
  m_lowThreshold += (kLowestThreshold - m_baseLow) / 4.0f;
  if (m_lowThreshold < kLowestThreshold) m_lowThreshold = kLowestThreshold;
  m_highThreshold += (kHighestThreshold - m_baseHigh) / 4.0f;
  if (m_highThreshold > kHighestThreshold) m_highThreshold = kHighestThreshold;
}

void Qk_GLStepWidget::AdaptDetailBudget() {
  if (m_detailRequest == 0) return;
  const float t = static_cast<float>(m_frameTime);
  switch (m_detailState) {
    case -1:
      if (t >= m_target) {
        if (t > m_highThreshold) {
          m_detailState = 1;
          AdjustBudget();
          WidenThresholds();
        } else {
          m_detailState = 0;
        }
      } else {
        AdjustBudget();
      }
      break;
    case 0:
      if (t >= m_lowThreshold) {
        if (t > m_highThreshold) {
          m_detailState = 1;
          AdjustBudget();
        }
      } else {
        m_detailState = -1;
        AdjustBudget();
      }
      break;
    default:
      if (t >= m_lowThreshold) {
        if (t > m_target) {
          AdjustBudget();
        } else {
          m_detailState = 0;
        }
      } else {
        m_detailState = -1;
        AdjustBudget();
        WidenThresholds();
      }
      break;
  }
}
