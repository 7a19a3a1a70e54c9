// The work area: drawing a frame, the progressive steps, exploring and
// stereo.
#include <GL/gl.h>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"

// ---------------------------------------------------------------------------
// Pieces of a frame

void Qk_GLWorkArea::RenderTree(float scale) {
  glPushMatrix();
  glScalef(scale, scale, scale);
  Sd_Node::BeginFrame(GetDetailBudget());
  if (Sd_Node* root = GetRoot()) root->Render();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  SetDetailRequest(static_cast<int>(Sd_Node::GetDetailFlags()));
}

void Qk_GLWorkArea::DrawView(float scale) {
  if (Qk_GLOverlay* overlay = GetOverlay()) {
    overlay->UpdatePlacement();
    overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  ApplyLights();
  m_cameraPath.RecordingStep(m_lastTime);
  emit ContinuousUpdateSG();
  DrawSceneLayers(scale);
}

void Qk_GLWorkArea::DrawSceneLayers(float scale) {
  RenderTree(scale);
  if (OutlineInFrame()) DrawOutline(1);
  if (GetOverlay()) GetOverlay()->Draw();
  glMatrixMode(GL_MODELVIEW);
}

void Qk_GLWorkArea::DrawCoarsePass(bool stereo) {
  // Nothing is drawn when the pass is abandoned before it began.
  if (!m_abortFlag) {
    SetInfo("Medium Resolution");
    m_lastTime = CurrentSeconds();
    if (stereo) {
      DrawStereoScene();
    } else {
      DrawScene();
    }
  }
  m_pass = 1;
}

void Qk_GLWorkArea::PushPassMatrix() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  AddPushedMatrices(1);
}

void Qk_GLWorkArea::PopPassMatrix() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  AddPushedMatrices(-1);
}

void Qk_GLWorkArea::PushPassScene(float scale, bool place) {
  if (Qk_GLOverlay* overlay = GetOverlay()) {
    if (place) overlay->UpdatePlacement();
    overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  ApplyLights();
  glPushMatrix();
  AddPushedMatrices(1);
  glScalef(scale, scale, scale);
}

bool Qk_GLWorkArea::OutlineInFrame() const {
  // A coarse frame that the best pass refines in place keeps what it drew
  // wherever the best pass draws nothing (the background): an XOR outline
  // drawn there would be cancelled by the one drawn on the finished picture.
  return !(m_running && m_pass == 0 && m_exploreCount == 0 && m_drawBufferMode == BEST_TO_FRONT);
}

void Qk_GLWorkArea::LoadViewProjection(int view) {
  if (!GetCamera()) return;
  double m[16];
  GetCamera()->GetProjectionMatrix(view, m);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(m);
  glMatrixMode(GL_MODELVIEW);
}

void Qk_GLWorkArea::LoadFrameProjection() { LoadViewProjection(m_stereoOn ? SV_VIEW_LEFT : SV_VIEW_MONO); }

void Qk_GLWorkArea::PushFrameView(float scale) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  if (GetOverlay()) GetOverlay()->ApplyCamera();
  glMatrixMode(GL_MODELVIEW);
  glScalef(scale, scale, scale);
}

// ---------------------------------------------------------------------------
// Whole frames

void Qk_GLWorkArea::DrawScene() {
  if (!m_initialised) return;
  MakeCurrent();
  const float s = GetGlobalScale();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (GetCamera()) GetCamera()->SetMonoProjection();
  DrawView(s);
  glPopMatrix();
  emit Render2DInfoSG();
  SwapBuffers();
  TickFrameTimer();
  AdaptDetailBudget();
  m_tools.EmitPendingProfile();
}

void Qk_GLWorkArea::DrawStereo() { DrawStereoScene(); }

void Qk_GLWorkArea::DrawStereoScene() {
  if (!m_initialised) return;
  MakeCurrent();
  Sv_Perspective* camera = GetCamera();
  const float s = GetGlobalScale();
  const bool split = m_stereoMode == QK_STEREO_SPLIT_SCREEN;

  // Left eye. A clear ignores the viewport: in split screen it clears both
  // halves at once.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  SelectLeft(0);
  if (camera) camera->SetLeftEyeProjection();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawView(s);
  if (camera) camera->UpdateCyclopeanScale();
  emit Render2DInfoSG();

  // Right eye, from the same model-view matrix as the left one: the camera
  // is applied afresh, not on top of the left eye's.
  SelectRight(0);
  if (camera) camera->SetRightEyeProjection();
  if (!split) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPopMatrix();
  glPushMatrix();
  if (GetOverlay()) GetOverlay()->ApplyCamera();
  glMatrixMode(GL_MODELVIEW);
  ApplyLights();
  DrawSceneLayers(s);
  glPopMatrix();
  emit Render2DInfoSG();

  SwapBuffers();
  if (split) SelectLeft(0);
  TickFrameTimer();
  AdaptDetailBudget();
}

// ---------------------------------------------------------------------------
// Progressive steps

bool Qk_GLWorkArea::StepRender() {
  const float s = GetGlobalScale();
  Sv_Perspective* camera = GetCamera();
  MakeCurrent();
  if (m_abortFlag && GetRoot()) GetRoot()->Invalidate();

  if (m_stepCounter == 0 && m_pass == 0) {
    // The coarse pass: one whole frame.
    DrawCoarsePass(false);
  } else if (m_stepCounter == 0) {
    BeginPass();
    PushPassMatrix();
    if (camera) camera->SetMonoProjection();
    PushPassScene(s, true);
    Sd_Node::SetBestPass(1);
    m_stepCounter = 1;
  } else if (m_stepCounter == 1) {
    if (!GetRoot() || GetRoot()->StepRender()) m_stepCounter = 2;
    glFlush();
  } else {
    PopPassMatrix();
    if (GetOverlay()) GetOverlay()->Draw();
    m_stepCounter = 0;
    m_bufferSwitched = 0;
    glDepthFunc(GL_LEQUAL);
    PopPassMatrix();
    emit Render2DInfoSG();
    glFlush();
    FinishPass();
  }

  if (m_abortFlag) {
    AbortPass();
    Sd_Node::SetBestPass(0);
  }
  return m_idleSuspended != 0;
}

bool Qk_GLWorkArea::StepRenderStereo() {
  const float s = GetGlobalScale();
  Sv_Perspective* camera = GetCamera();
  const bool split = m_stereoMode == QK_STEREO_SPLIT_SCREEN;
  MakeCurrent();
  if (m_abortFlag && GetRoot()) GetRoot()->Invalidate();

  switch (m_stepCounter) {
    case 0:
      if (m_pass == 0) {
        DrawCoarsePass(true);
        break;
      }
      // The best pass, left eye first.
      BeginStereoPass();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      PushPassMatrix();
      if (camera) camera->SetLeftEyeProjection();
      PushPassScene(s, true);
      Sd_Node::SetBestPass(1);
      m_stepCounter = 1;
      break;
    case 1:
      if (!GetRoot() || GetRoot()->StepRender()) m_stepCounter = 2;
      glFlush();
      break;
    case 2:
      PopPassMatrix();
      if (GetOverlay()) GetOverlay()->Draw();
      emit Render2DInfoSG();
      PopPassMatrix();
      // The right eye.
      m_stepCounter = 3;
      RightStereoPass();
      if (camera) {
        camera->UpdateCyclopeanScale();
        camera->SetRightEyeProjection();
      }
      if (!split) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      PushPassMatrix();
      PushPassScene(s, false);
      m_stepCounter = 4;
      break;
    case 4:
      if (!GetRoot() || GetRoot()->StepRender()) m_stepCounter = 5;
      glFlush();
      break;
    case 5:
      PopPassMatrix();
      if (GetOverlay()) GetOverlay()->Draw();
      PopPassMatrix();
      m_stepCounter = 0;
      emit Render2DInfoSG();
      glFlush();
      Sd_Node::SetBestPass(0);
      FinishStereoPass();
      if (split) SelectLeft(0);
      break;
    default:
      m_stepCounter = 4;
      break;
  }

  if (m_abortFlag) {
    Sd_Node::SetBestPass(0);
    AbortStereoPass();
    if (split) SelectLeft(0);
  }
  return m_idleSuspended != 0;
}

// ---------------------------------------------------------------------------
// Idle steps and exploring

void Qk_GLWorkArea::OnIdle() {
  if (!m_overlays.GetOverlayIdle()) return;
  if (GetOverlay()) GetOverlay()->IdleStep();
  Qk_GLStepWidget::OnIdle();
}

void Qk_GLWorkArea::EndExploring() {
  const int before = GetExploreCount();
  Qk_GLStepWidget::EndExploring();
  if (before >= 1 && GetExploreCount() == 0 && GetOverlay() && GetViewMatrix()) {
    *GetViewMatrix() = GetOverlay()->GetViewMatrix();
  }
}

void Qk_GLWorkArea::ResetFrameTimer() {
  Qk_GLStepWidget::ResetFrameTimer();
  m_cameraPath.ResetRecordingClock();
}

// ---------------------------------------------------------------------------
// Stereo

void Qk_GLWorkArea::SetStereo(int on) { SetStereoView(on); }

void Qk_GLWorkArea::SetStereoView(int on) {
  on = on ? 1 : 0;
  const int before = m_stereoOn;
  if (on == before) return;
  // A pass runs with the eye arrangement it began with: end it before the
  // arrangement changes.
  if (IsRunning()) RestartPasses();
  Qk_GLStereoWidget::SetStereo(on);
  if (m_stereoOn == before) return;  // refused: "Stereo not available."

  MakeCurrent();
  if (Sv_Perspective* camera = GetCamera()) {
    // Stereo off has restored the full viewport, and switching on has not
    // narrowed it yet: the camera reads the whole window.
    camera->SetFullFrustum(m_stereoMode == QK_STEREO_QUAD_BUFFER);
    if (m_initialised) camera->UpdateViewport();
    if (on) {
      if (!camera->IsCyclopeanScale()) camera->EnableCyclopeanScale();
    } else {
      camera->DisableCyclopeanScale();
    }
  }
  UpdateGL();
}
