// The work area: drawing a frame, the progressive steps, exploring and
// stereo.
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"

namespace {

// The near plane stands at this share of the distance to the nearest part
// of the scene's box in view, and never beyond this share of the distance
// to the plane kWidgetDepth units behind the window, where overlays draw
// their widgets (the navigator's dials).
const double kNearShare = 0.5;
const double kWidgetDepth = 5000.0;

// Solves [u v w] s = r (columns u, v, w); false when they span no volume.
bool Solve3(const double u[3], const double v[3], const double w[3], const double r[3], double s[3]) {
  auto det = [](const double a[3], const double b[3], const double c[3]) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - b[0] * (a[1] * c[2] - a[2] * c[1]) + c[0] * (a[1] * b[2] - a[2] * b[1]);
  };
  const double d = det(u, v, w);
  if (!(std::fabs(d) > 0.0) || !std::isfinite(d)) return false;
  s[0] = det(r, v, w) / d;
  s[1] = det(u, r, w) / d;
  s[2] = det(u, v, r) / d;
  return std::isfinite(s[0]) && std::isfinite(s[1]) && std::isfinite(s[2]);
}

// (p, 1) through the column-major matrix m: four components.
void ToClip(const double m[16], const double p[3], double out[4]) {
  for (int r = 0; r < 4; ++r) out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

// The smallest eye distance (clip w) of the part of the box (corners in
// display space, as GetSceneBox orders them) that the projection p shows;
// 0 when the eye lies inside the box, -1 when no part is in view.
double NearestInView(const double p[16], const double box[8][3]) {
  // The eye: the point whose clip x, y and w are all 0 (the columns of
  // those three rows of p, and their constant terms).
  const double cx[3] = {p[0], p[1], p[3]}, cy[3] = {p[4], p[5], p[7]}, cz[3] = {p[8], p[9], p[11]};
  const double rhs[3] = {-p[12], -p[13], -p[15]};
  double eye[3];
  if (Solve3(cx, cy, cz, rhs, eye)) {
    double u[3], v[3], w[3], d[3], s[3];
    for (int k = 0; k < 3; ++k) {
      u[k] = box[1][k] - box[0][k];
      v[k] = box[2][k] - box[0][k];
      w[k] = box[4][k] - box[0][k];
      d[k] = eye[k] - box[0][k];
    }
    if (Solve3(u, v, w, d, s) && s[0] >= 0.0 && s[0] <= 1.0 && s[1] >= 0.0 && s[1] <= 1.0 && s[2] >= 0.0 &&
        s[2] <= 1.0) {
      return 0.0;
    }
  }

  // Each face of the box, clipped in clip space to the sides of the view
  // and to one unit in front of the eye; its remaining corners bound the
  // distance.
  static const int kFaces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
  double nearest = -1.0;
  for (const auto& face : kFaces) {
    std::vector<std::array<double, 4>> poly(4);
    for (int k = 0; k < 4; ++k) ToClip(p, box[face[k]], poly[k].data());
    // Planes as weights on (x, y, z, w) and an offset: inside when >= 0.
    const double planes[5][5] = {{-1, 0, 0, 1, 0}, {1, 0, 0, 1, 0}, {0, -1, 0, 1, 0}, {0, 1, 0, 1, 0}, {0, 0, 0, 1, -1}};
    for (const auto& plane : planes) {
      std::vector<std::array<double, 4>> out;
      const size_t n = poly.size();
      auto value = [&](const std::array<double, 4>& q) {
        return plane[0] * q[0] + plane[1] * q[1] + plane[2] * q[2] + plane[3] * q[3] + plane[4];
      };
      for (size_t i = 0; i < n; ++i) {
        const auto& prev = poly[(i + n - 1) % n];
        const auto& cur = poly[i];
        const double vp = value(prev), vc = value(cur);
        if ((vc >= 0.0) != (vp >= 0.0)) {
          const double t = vp / (vp - vc);
          std::array<double, 4> x;
          for (int k = 0; k < 4; ++k) x[k] = prev[k] + t * (cur[k] - prev[k]);
          out.push_back(x);
        }
        if (vc >= 0.0) out.push_back(cur);
      }
      poly.swap(out);
      if (poly.empty()) break;
    }
    for (const auto& q : poly) {
      if (nearest < 0.0 || q[3] < nearest) nearest = q[3];
    }
  }
  return nearest;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pieces of a frame

void Qk_GLWorkArea::FitNearPlane(int view) {
  Sv_Perspective* camera = GetCamera();
  if (!camera) return;
  double box[8][3];
  double limit = 0.0;
  if (GetSceneBox(box)) {
    // The box in display space, where the projections take it.
    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    double display[8][3];
    for (int c = 0; c < 8; ++c) {
      double h[4];
      ToClip(modelview, box[c], h);
      for (int k = 0; k < 3; ++k) display[c][k] = h[k];
    }

    const bool stereo = view == SV_VIEW_LEFT;
    const int views[2] = {view, SV_VIEW_RIGHT};
    double nearest = -1.0;
    camera->SetNearLimit(0.0);
    for (int v = 0; v < (stereo ? 2 : 1); ++v) {
      double p[16];
      camera->GetProjectionMatrix(views[v], p);
      const double d = NearestInView(p, display);
      if (d >= 0.0 && (nearest < 0.0 || d < nearest)) nearest = d;
    }
    const double widgets = Sv_Perspective::kDefaultEyeDistance + kWidgetDepth;
    if (nearest > 0.0) limit = std::min(kNearShare * nearest, kNearShare * widgets);
  }
  camera->SetNearLimit(limit);
  // Again, with the limit (the left eye also notes its depth range anew).
  if (view == SV_VIEW_LEFT) {
    camera->SetLeftEyeProjection();
  } else {
    camera->SetMonoProjection();
  }
}

void Qk_GLWorkArea::RenderTree(float scale) {
  glPushMatrix();
  glScalef(scale, scale, scale);
  Sd_Node::BeginFrame(GetDetailBudget());
  if (Sd_Node* root = GetRoot()) root->Render();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  SetDetailRequest(static_cast<int>(Sd_Node::GetDetailFlags()));
}

void Qk_GLWorkArea::DrawView(float scale, int view) {
  if (Qk_GLOverlay* overlay = GetOverlay()) {
    overlay->UpdatePlacement();
    overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  FitNearPlane(view);
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

void Qk_GLWorkArea::PushPassScene(float scale, bool place, int view) {
  if (Qk_GLOverlay* overlay = GetOverlay()) {
    if (place) overlay->UpdatePlacement();
    overlay->ApplyCamera();
  }
  glMatrixMode(GL_MODELVIEW);
  if (place) FitNearPlane(view);
  ApplyLights();
  glPushMatrix();
  AddPushedMatrices(1);
  glScalef(scale, scale, scale);
}

void Qk_GLWorkArea::ClearPixelsThePassLeft() {
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  // Without a depth buffer nothing tells drawn pixels from left ones.
  if (depthBits <= 0) return;
  GLfloat background[4];
  GLdouble clearDepth = 1.0;
  glGetFloatv(GL_COLOR_CLEAR_VALUE, background);
  glGetDoublev(GL_DEPTH_CLEAR_VALUE, &clearDepth);

  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_VIEWPORT_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT |
               GL_POLYGON_BIT | GL_LIGHTING_BIT);
  for (GLenum cap : {GL_LIGHTING, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_BLEND, GL_FOG, GL_ALPHA_TEST, GL_CULL_FACE,
                     GL_COLOR_LOGIC_OP, GL_POLYGON_OFFSET_FILL}) {
    glDisable(cap);
  }
  for (int plane = 0; plane < 6; ++plane) glDisable(GL_CLIP_PLANE0 + plane);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  // A quad over the whole view at the cleared depth passes only where the
  // depth is still the cleared one; it leaves the depth as it is.
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_FALSE);
  glDepthRange(clearDepth, clearDepth);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor4fv(background);
  glBegin(GL_QUADS);
  glVertex2f(-1.0f, -1.0f);
  glVertex2f(1.0f, -1.0f);
  glVertex2f(1.0f, 1.0f);
  glVertex2f(-1.0f, 1.0f);
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

bool Qk_GLWorkArea::OutlineInFrame() const {
  // A coarse frame that the best pass refines in place draws no outline: the
  // outline is drawn once, on the finished picture.
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
  DrawView(s, SV_VIEW_MONO);
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
  DrawView(s, SV_VIEW_LEFT);
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
    PushPassScene(s, true, SV_VIEW_MONO);
    if (GetOverlay()) GetOverlay()->DrawBeforePass();
    Sd_Node::SetBestPass(1);
    m_stepCounter = 1;
  } else if (m_stepCounter == 1) {
    if (!GetRoot() || GetRoot()->StepRender()) m_stepCounter = 2;
    glFlush();
  } else {
    if (m_drawBufferMode == BEST_TO_FRONT && !DrawingHidden()) ClearPixelsThePassLeft();
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
      PushPassScene(s, true, SV_VIEW_LEFT);
      if (GetOverlay()) {
        // The overlay in both halves at once: the right one shows nothing
        // else until the left eye is done.
        GetOverlay()->DrawBeforePass();
        if (split && camera) {
          SelectRight(0);
          camera->SetRightEyeProjection();
          GetOverlay()->DrawBeforePass();
          SelectLeft(0);
          camera->SetLeftEyeProjection();
        }
      }
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
      PushPassScene(s, false, SV_VIEW_RIGHT);
      if (GetOverlay()) GetOverlay()->DrawBeforePass();
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
    // Each eye's view is half as wide as the mono one: the zoom is fitted
    // anew to the scene, as the first view of a scene is.
    if (m_initialised && GetOverlay()) GetOverlay()->FitView();
  }
  UpdateGL();
}
