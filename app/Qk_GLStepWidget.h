#ifndef QK_GLSTEPWIDGET_H
#define QK_GLSTEPWIDGET_H

#include "Qk_GLStereoWidget.h"
#include "Sv_Timer.h"

class QHideEvent;
class QShowEvent;
class QTimerEvent;

// Progressive renderer. Drawing runs as small steps from one zero-interval
// Qt timer: after a change the view shows a coarse frame ("Medium
// Resolution"), then refines it with a best pass ("Rendering Best...") spread
// over idle steps, shows "Normal" and stops the timer, so an idle view costs
// nothing. While the user drags the view ("Exploring") every idle step draws
// one whole frame. A redraw request (PaintGL/UpdateGL) abandons a running
// pass and starts again with a coarse frame. Only one widget of the process
// runs a pass at a time (the busy flag); the others explore meanwhile.
//
// Subclasses supply the drawing: DrawScene (one whole frame), StepRender
// (one step of a pass; the base version only walks the pass states), and
// their stereo twins. A step that pushes GL matrices counts them with
// AddPushedMatrices so that an abandoned pass pops them.
//
// The timer runs only while the widget is shown and its GL context exists;
// hiding the widget abandons a running pass and holds the rest of the work
// until it is shown again. Steps are not re-entered: a
// timer tick that arrives inside a step (a modal dialog opened by drawing
// code runs a nested event loop) is skipped, and a redraw requested there
// takes effect when the step has returned.
class Qk_GLStepWidget : public Qk_GLStereoWidget {
  Q_OBJECT

 public:
  // Draw-buffer modes.
  enum { DIRECT = -1, BEST_TO_FRONT = 0, BEST_TO_BACK = 1, BEST_TO_BOTH = 2 };

  Qk_GLStepWidget(QWidget* parent, const char* name, int options);
  ~Qk_GLStepWidget() override;

  // --- virtual operations added, in slot order ---
  // One whole stereo frame; empty here.
  virtual void DrawStereo();
  // One step of the running pass; returns the idle-suspended flag (true when
  // the picture is complete and the timer is no longer wanted).
  virtual bool StepRender();
  virtual bool StepRenderStereo();
  // Exploring periods nest; while any is open each idle step draws a whole
  // frame and no pass runs. The last EndExploring draws one more frame and
  // requests a coarse-then-best sequence.
  virtual void BeginExploring();
  virtual void EndExploring();
  // The idle step: RenderStepStereo when stereo is on, else RenderStep.
  virtual void OnIdle();
  // Runs on the finished picture (selection outline); empty here.
  virtual void AfterPass();
  // Draws the selection outline; empty here.
  virtual void DrawOutline(int flag);
  // Frame stopwatch: Reset starts a new measurement with a frame time of
  // 1/60 s; Tick measures the time since the last tick (at most 0.5 s).
  virtual void ResetFrameTimer();
  virtual void TickFrameTimer();

  // Redraw request: restarts the passes (no drawing happens at once).
  void PaintGL() override;

  // --- idle timer ---
  void StartIdleTimer();
  void StopIdleTimer();
  void SuspendIdle(bool suspend);
  int GetIdleTimerCount() const { return m_timerCount; }
  bool IsIdleTimerActive() const { return m_timerId != 0; }
  int GetIdleSuspended() const { return m_idleSuspended; }

  // --- pass machine ---
  void RequestPass();
  void RenderStep();
  void RenderStepStereo();
  // RenderStepStereo when stereo is on, else RenderStep.
  void RenderStepInMode();
  // Abandons a running pass, releases the busy flag and asks for a new
  // coarse pass at the next idle step.
  void RestartPasses();
  void BeginPass();
  void FinishPass();
  void AbortPass();
  // Stereo twins: begin on the left half, go on with the right half, finish,
  // abandon.
  void BeginStereoPass();
  void RightStereoPass();
  void FinishStereoPass();
  void AbortStereoPass();
  // Counts matrices pushed by the running pass (popped when it is abandoned).
  void AddPushedMatrices(int n) { m_pushedMatrices += n; }

  void SetDrawBufferMode(int mode);
  int GetDrawBufferMode() const { return m_drawBufferMode; }
  void SetProgressive(int on) { m_progressive = on; }
  int GetProgressive() const { return m_progressive; }
  void SetOutlineBeforeSwap(int on) { m_outlineBeforeSwap = on; }

  int IsRunning() const { return m_running; }
  int GetPass() const { return m_pass; }
  int GetStepCounter() const { return m_stepCounter; }
  int GetAbortFlag() const { return m_abortFlag; }
  int GetPushedMatrices() const { return m_pushedMatrices; }
  int GetExploreCount() const { return m_exploreCount; }
  int GetRestartPending() const { return m_restart; }
  static int GetBusy() { return s_busy; }

  // --- frame time and detail budget ---
  double GetFrameTime() const { return m_frameTime; }
  double GetLastTime() const { return m_lastTime; }
  // Quality q in [0, 1]: the renderer aims at 10 + 30 q frames per second
  // while exploring.
  void SetQuality(float q);
  float GetQuality() const { return m_quality; }
  void ResetQualityThresholds();
  // Adapts the detail budget to the last frame time; run after every whole
  // frame, once the detail-request bits of that frame are set.
  void AdaptDetailBudget();
  float GetDetailBudget() const { return m_detailBudget; }
  void SetDetailBudget(float budget) { m_detailBudget = budget; }
  // Bits 1 (more detail possible) and 2 (less detail possible) of the last frame.
  void SetDetailRequest(int bits) { m_detailRequest = bits; }
  int GetDetailRequest() const { return m_detailRequest; }
  int GetDetailState() const { return m_detailState; }
  float GetLowThreshold() const { return m_lowThreshold; }
  float GetTargetTime() const { return m_target; }
  float GetHighThreshold() const { return m_highThreshold; }

  // --- counters ---
  long GetIdleTickCount() const { return m_tickCount; }      // timer ticks handled
  long GetFinishedPassCount() const { return m_passCount; }  // best passes completed

 signals:
  void SetInfoSG(char* text);
  void SetPickInfoSG(char* text);
  void Render2DInfoSG();

 protected:
  void timerEvent(QTimerEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void initializeGL() override;

  // The clock of the frame timer, in seconds.
  virtual double CurrentSeconds();
  // Emits SetInfoSG with the text.
  void SetInfo(const char* text);

  int m_timerId;
  int m_timerCount;
  int m_drawBufferMode;
  int m_exploreCount;
  int m_abortFlag;
  int m_running;
  int m_restart;
  int m_progressive;
  int m_pass;
  int m_stepCounter;
  int m_pushedMatrices;
  int m_bufferSwitched;
  int m_idleSuspended;
  Sv_Timer m_stopwatch;
  double m_lastTime;
  double m_frameTime;
  float m_detailBudget;
  float m_lowThreshold;
  float m_highThreshold;
  float m_target;
  int m_detailState;
  int m_detailRequest;
  float m_quality;
  float m_baseLow;
  float m_baseHigh;
  int m_outlineBeforeSwap;
  int m_pendingEndExploring;

 private:
  // Marks the extent of one step (for the re-entrancy guard).
  class StepScope;
  friend class StepScope;

  void UpdateTimer();
  void AdjustBudget();
  void WidenThresholds();
  void AfterStep();
  void RunStep(bool stereo);
  // The start shared by both kinds of pass: the timer runs, nothing is
  // pushed or switched yet, the status names the pass, and the best pass
  // sets the scene's best-pass flag. True for the best pass.
  bool StartPass();
  // The end of the coarse pass: its frame is shown (after the selection
  // outline when outline is set) and the best pass comes next.
  void ShowCoarseFrame(bool outline);
  // The end of the best pass: idle work stops, the busy and best-pass
  // flags are released, "Normal" shows, the picture is swapped (swap) or
  // flushed where it was drawn, the outline goes over it and it is
  // presented.
  void EndBestPass(bool swap);

  int m_stepDepth;
  int m_deferredRestart;
  double m_lastFrontPresent;
  long m_tickCount;
  long m_passCount;

  static int s_busy;
};

#endif
