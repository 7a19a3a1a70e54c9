// The work area: drawing a frame, the progressive steps, exploring, stereo
// and the vertical exaggeration.
#include <GL/gl.h>

#include <cmath>

#include "Movie.h"
#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Lighting.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"

namespace {

// Movie frames are recorded at most this often.
const double kRecordInterval = 1.0 / 30.0;

}  // namespace

// ---------------------------------------------------------------------------
// Pieces of a frame

void Qk_GLWorkArea::ApplyLights() {
  if (m_lights) m_lights->Apply();
}

void Qk_GLWorkArea::RecordingStep() {
  if (!m_recording || !m_overlay) return;
  double now = m_lastTime;
  if (m_fixedRecordingStep > 0.0) {
    m_recordingClock += m_fixedRecordingStep;
    now = m_recordingClock;
  }
  if (now - m_lastRecordedTime <= kRecordInterval) return;
  m_overlay->RecordFrame();
  m_lastRecordedTime = now;
  emit MovieFrameChangedSG(m_movie ? m_movie->GetCurrentFrame() : -1);
}

void Qk_GLWorkArea::RenderTree(float scale) {
  glPushMatrix();
  glScalef(scale, scale, scale);
  Sd_Node::BeginFrame(GetDetailBudget());
  if (m_root) m_root->Render();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  SetDetailRequest(static_cast<int>(Sd_Node::GetDetailFlags()));
}

void Qk_GLWorkArea::DrawView(float scale) {
  if (m_overlay) {
    m_overlay->UpdatePlacement();
    m_overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  ApplyLights();
  RecordingStep();
  emit ContinuousUpdateSG();
  DrawSceneLayers(scale);
}

void Qk_GLWorkArea::DrawSceneLayers(float scale) {
  RenderTree(scale);
  if (OutlineInFrame()) DrawOutline(1);
  if (m_overlay) m_overlay->Draw();
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
  if (m_overlay) {
    if (place) m_overlay->UpdatePlacement();
    m_overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  ApplyLights();
  glPushMatrix();
  AddPushedMatrices(1);
  glScalef(scale, scale, scale);
}

void Qk_GLWorkArea::EmitPendingProfile() {
  if (!m_profileRequest) return;
  m_profileRequest = 0;
  emit ProfileSG(m_profilePoint1, m_profilePoint2);
}

// ---------------------------------------------------------------------------
// Whole frames

void Qk_GLWorkArea::DrawScene() {
  if (!m_initialised) return;
  MakeCurrent();
  const float s = m_globalScale;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (m_camera) m_camera->SetMonoProjection();
  DrawView(s);
  glPopMatrix();
  emit Render2DInfoSG();
  SwapBuffers();
  TickFrameTimer();
  AdaptDetailBudget();
  EmitPendingProfile();
}

void Qk_GLWorkArea::DrawStereo() { DrawStereoScene(); }

void Qk_GLWorkArea::DrawStereoScene() {
  if (!m_initialised) return;
  MakeCurrent();
  const float s = m_globalScale;
  const bool split = m_stereoMode == QK_STEREO_SPLIT_SCREEN;

  // Left eye. A clear ignores the viewport: in split screen it clears both
  // halves at once.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  SelectLeft(0);
  if (m_camera) m_camera->SetLeftEyeProjection();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawView(s);
  if (m_camera) m_camera->UpdateCyclopeanScale();
  emit Render2DInfoSG();

  // Right eye, from the same model-view matrix as the left one: the camera
  // is applied afresh, not on top of the left eye's.
  SelectRight(0);
  if (m_camera) m_camera->SetRightEyeProjection();
  if (!split) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPopMatrix();
  glPushMatrix();
  if (m_overlay) m_overlay->ApplyCamera();
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
  const float s = m_globalScale;
  MakeCurrent();
  if (m_abortFlag && m_root) m_root->Invalidate();

  if (m_stepCounter == 0 && m_pass == 0) {
    // The coarse pass: one whole frame.
    DrawCoarsePass(false);
  } else if (m_stepCounter == 0) {
    BeginPass();
    PushPassMatrix();
    if (m_camera) m_camera->SetMonoProjection();
    PushPassScene(s, true);
    Sd_Node::SetBestPass(1);
    m_stepCounter = 1;
  } else if (m_stepCounter == 1) {
    if (!m_root || m_root->StepRender()) m_stepCounter = 2;
    glFlush();
  } else {
    PopPassMatrix();
    if (m_overlay) m_overlay->Draw();
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
  const float s = m_globalScale;
  const bool split = m_stereoMode == QK_STEREO_SPLIT_SCREEN;
  MakeCurrent();
  if (m_abortFlag && m_root) m_root->Invalidate();

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
      if (m_camera) m_camera->SetLeftEyeProjection();
      PushPassScene(s, true);
      Sd_Node::SetBestPass(1);
      m_stepCounter = 1;
      break;
    case 1:
      if (!m_root || m_root->StepRender()) m_stepCounter = 2;
      glFlush();
      break;
    case 2:
      PopPassMatrix();
      if (m_overlay) m_overlay->Draw();
      emit Render2DInfoSG();
      PopPassMatrix();
      // The right eye.
      m_stepCounter = 3;
      RightStereoPass();
      if (m_camera) {
        m_camera->UpdateCyclopeanScale();
        m_camera->SetRightEyeProjection();
      }
      if (!split) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      PushPassMatrix();
      PushPassScene(s, false);
      m_stepCounter = 4;
      break;
    case 4:
      if (!m_root || m_root->StepRender()) m_stepCounter = 5;
      glFlush();
      break;
    case 5:
      PopPassMatrix();
      if (m_overlay) m_overlay->Draw();
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
  if (!m_overlayIdle) return;
  if (m_overlay) m_overlay->IdleStep();
  Qk_GLStepWidget::OnIdle();
}

void Qk_GLWorkArea::EndExploring() {
  const int before = GetExploreCount();
  Qk_GLStepWidget::EndExploring();
  if (before >= 1 && GetExploreCount() == 0 && m_overlay && m_viewMatrix) {
    *m_viewMatrix = m_overlay->GetViewMatrix();
  }
}

void Qk_GLWorkArea::ResetFrameTimer() {
  Qk_GLStepWidget::ResetFrameTimer();
  m_lastRecordedTime = 0.0;
  m_recordingClock = 0.0;
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
  if (m_camera) {
    // Stereo off has restored the full viewport, and switching on has not
    // narrowed it yet: the camera reads the whole window.
    m_camera->SetFullFrustum(m_stereoMode == QK_STEREO_QUAD_BUFFER);
    if (m_initialised) m_camera->UpdateViewport();
    if (on) {
      if (!m_camera->IsCyclopeanScale()) m_camera->EnableCyclopeanScale();
    } else {
      m_camera->DisableCyclopeanScale();
    }
  }
  UpdateGL();
}

// ---------------------------------------------------------------------------
// Vertical exaggeration

float Qk_GLWorkArea::GetVertExag() {
  if (!m_root) return 1.0f;
  return *m_root->GetScale('z');
}

void Qk_GLWorkArea::SetVertExag(float exaggeration) {
  if (!m_root) return;
  // Zero, negative or non-finite values would flatten, mirror or poison
  // every transform of the scene.
  if (!std::isfinite(exaggeration) || !(exaggeration > 0.0f)) return;
  *m_root->GetScale('z') = exaggeration;
  if (m_overlay) m_overlay->VertExagChanged();
  emit VertExagChangedSG();
}

void Qk_GLWorkArea::SetObjectVertExagSL(SVfloat exaggeration) { SetVertExag(exaggeration); }
