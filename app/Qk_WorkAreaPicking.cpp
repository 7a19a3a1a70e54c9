// The work area: picking scene objects and depth-buffer points under the
// pointer.
//
// Every pick reads the framebuffer object as the last frame left it, so it
// uses that frame's matrices: the projection of the view the frames draw
// (the left eye in stereo, whose picture is the left half in split screen),
// the overlay's camera and the global scale. Pixels are device pixels,
// counted from the bottom left, as in the event record.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "DepthPicker.h"
#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Perspective.h"

namespace {

// Preset value of a pick: no scalar at the point.
const double kNoValue = -1e20;
// Height of a hit that has none (a two-dimensional hit).
const double kNoHeight = 1e12;
// Half size of the block the depth search looks at (9 x 9 pixels).
const int kDepthSearchRadius = 4;
// Narrowest axis NormalizePoint divides by.
const double kMinAxisExtent = 1e-6;

}  // namespace

void Qk_GLWorkArea::LoadViewProjection(int view) {
  if (!m_camera) return;
  double m[16];
  m_camera->GetProjectionMatrix(view, m);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(m);
  glMatrixMode(GL_MODELVIEW);
}

void Qk_GLWorkArea::LoadFrameProjection() { LoadViewProjection(m_stereoOn ? SV_VIEW_LEFT : SV_VIEW_MONO); }

void Qk_GLWorkArea::PushFrameView(float scale) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  if (m_overlay) m_overlay->ApplyCamera();
  glMatrixMode(GL_MODELVIEW);
  glScalef(scale, scale, scale);
}

bool Qk_GLWorkArea::StorePickRequest(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!out) return false;
  if (x < 0 || y < 0 || x >= m_viewportWidth || y >= m_viewportHeight) {
    out->found = 0;
    return false;
  }
  m_pickRequest.picker = m_picker;
  m_pickRequest.x = x;
  m_pickRequest.y = y;
  m_pickRequest.mode = kind;
  m_pickRequest.subMode = action;
  return true;
}

// ---------------------------------------------------------------------------
// Scene picks

int Qk_GLWorkArea::PickScene(SDN_PickIn* request, SDN_PickOut* out) {
  if (!out) return 0;
  // A record that is not asked must not go on reporting an earlier hit.
  out->found = 0;
  if (!request || !m_initialised) return 0;
  const float s = m_globalScale;
  MakeCurrent();

  // The left eye's picture in split-screen stereo, else the whole view.
  GLint saved[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, saved);
  glViewport(0, 0, m_viewportWidth, m_viewportHeight);
  if (m_picker) m_picker->SetSize(static_cast<float>(m_viewportWidth), static_cast<float>(m_viewportHeight));

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  LoadFrameProjection();
  PushFrameView(s);

  int result = 0;
  if (m_root) {
    out->value = kNoValue;
    result = m_root->QueryPoint(request, out);
    if (!result && m_orthographic) result = PickOrthographic(request, out);
  }

  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glViewport(saved[0], saved[1], saved[2], saved[3]);
  return result;
}

int Qk_GLWorkArea::PickOrthographic(SDN_PickIn* request, SDN_PickOut* out) {
  const float* bx = m_root->GetBounds(0);
  const float* by = m_root->GetBounds(1);
  GLint viewport[4];
  double modelview[16];
  double projection[16];
  glPushMatrix();
  m_root->ApplyTransform();
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glPopMatrix();

  double ox = 0.0, oy = 0.0, oz = 0.0;
  if (gluUnProject(request->x, request->y, 0.0, modelview, projection, viewport, &ox, &oy, &oz) != GL_TRUE) return 0;
  if (!(ox > -0.5 && ox < 0.5 && oy > -0.5 && oy < 0.5)) return 0;
  out->x = (ox + 0.5) * (static_cast<double>(bx[1]) - bx[0]) + bx[0];
  out->y = (oy + 0.5) * (static_cast<double>(by[1]) - by[0]) + by[0];
  out->z = kNoHeight;
  // The point belongs to the scene as a whole, not to the object of an
  // earlier hit.
  out->node = nullptr;
  out->found = 1;
  return 1;
}

int Qk_GLWorkArea::Pick(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!StorePickRequest(x, y, kind, action, out)) return 0;
  return PickScene(&m_pickRequest, out);
}

int Qk_GLWorkArea::PickRefreshed(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!StorePickRequest(x, y, kind, action, out)) return 0;
  int result = PickScene(&m_pickRequest, out);
  if (!result && m_initialised && !m_idleSuspended) {
    // A pass is refining the picture and its depth buffer is incomplete:
    // draw one whole frame (exploring) and ask again.
    BeginExploring();
    DrawFrameForPick();
    result = PickScene(&m_pickRequest, out);
    EndExploring();
  }
  return result && out->found ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Depth picks

int Qk_GLWorkArea::DepthSearch(int x, int y, double* wx, double* wy, double* wz) {
  MakeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  LoadFrameProjection();
  if (m_overlay) m_overlay->ApplyCamera();
  m_picker->SetSize(static_cast<float>(m_viewportWidth), static_cast<float>(m_viewportHeight));
  const int r = m_picker->PickNear(x, y, wx, wy, wz, kDepthSearchRadius);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  return r;
}

void Qk_GLWorkArea::DrawFrameForPick() {
  // Every matrix pushed here is popped in the mode it was pushed in.
  MakeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  RenderStepInMode();
  MakeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

int Qk_GLWorkArea::PickDepth(short x, short y, double* wx, double* wy, double* wz) {
  if (!m_initialised || !m_picker) return 0;
  double px = 0.0, py = 0.0, pz = 0.0;
  int r = DepthSearch(x, y, &px, &py, &pz);
  if (r != 0 && !m_idleSuspended) {
    // The picture is being refined: draw one whole frame and look again.
    BeginExploring();
    DrawFrameForPick();
    r = DepthSearch(x, y, &px, &py, &pz);
    EndExploring();
  }
  if (r != 0) return 0;
  if (wx) *wx = px;
  if (wy) *wy = py;
  if (wz) *wz = pz;
  return 1;
}

int Qk_GLWorkArea::PickOverlayWidget(int x, int y, double* px, double* py, double* pz) {
  return m_overlay ? m_overlay->PickWidget(x, y, px, py, pz) : 0;
}

// ---------------------------------------------------------------------------
// Helpers

void Qk_GLWorkArea::NormalizePoint(const double in[3], Sd_Node* node, double out[3]) {
  if (!out) return;
  for (int i = 0; i < 3; ++i) {
    out[i] = 0.0;
    if (!in || !node) continue;
    const float* b = node->GetBounds(i);
    const double min = b[0];
    const double max = b[1];
    if (std::fabs(max - min) > kMinAxisExtent) out[i] = (in[i] - min) / (max - min) - 0.5;
  }
}

void Qk_GLWorkArea::NotifyExaggeration() {
  if (m_root && m_overlay) m_overlay->VertExagChanged();
}
