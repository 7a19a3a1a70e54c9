// The work area's picking: scene objects and depth-buffer points under the
// pointer, and the status texts of picks.
//
// Every pick reads the picture on show: the shown framebuffer object as the
// last frame left it, also while a best pass is drawn hidden (its coarse
// frame stays on show until the pass is done), and a copy of the coarse
// frame while a best pass refines it in place. It uses that frame's
// matrices: the projection of the view the frames draw (the left eye in
// stereo, whose picture is the left half in split screen), the overlay's
// camera and the global scale; a pass keeps the camera of its coarse frame.
// Pixels are device pixels, counted from the bottom left, as in the event
// record.
#include "Qk_WorkAreaPicking.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>

#include "DepthPicker.h"
#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"

namespace {

// Half size of the block the depth search looks at (9 x 9 pixels).
const int kDepthSearchRadius = 4;
// Narrowest axis NormalizePoint divides by.
const double kMinAxisExtent = 1e-6;
// Picker size until the first resize.
const float kPickerWidth = 320.0f;
const float kPickerHeight = 200.0f;

}  // namespace

Qk_WorkAreaPicking::Qk_WorkAreaPicking(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area), m_picker(new DepthPicker(kPickerWidth, kPickerHeight)), m_pickRequest(), m_pickText{} {
  m_pickRequest.picker = m_picker;
}

Qk_WorkAreaPicking::~Qk_WorkAreaPicking() {
  delete m_picker;
  m_picker = nullptr;
}

void Qk_WorkAreaPicking::SetSize(int w, int h) {
  if (m_picker) m_picker->SetSize(static_cast<float>(w), static_cast<float>(h));
}

bool Qk_WorkAreaPicking::StorePickRequest(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!out) return false;
  if (x < 0 || y < 0 || x >= m_area->GetViewportWidth() || y >= m_area->GetViewportHeight()) {
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

int Qk_WorkAreaPicking::PickScene(SDN_PickIn* request, SDN_PickOut* out) {
  if (!out) return 0;
  // A record that is not asked must not go on reporting an earlier hit.
  out->found = 0;
  if (!request || !m_area->IsInitialised()) return 0;
  const float s = m_area->GetGlobalScale();
  Qk_ShownPictureScope shown(m_area);

  // The left eye's picture in split-screen stereo, else the whole view.
  const int w = m_area->GetViewportWidth();
  const int h = m_area->GetViewportHeight();
  GLint saved[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, saved);
  glViewport(0, 0, w, h);
  SetSize(w, h);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  m_area->LoadFrameProjection();
  m_area->PushFrameView(s);

  int result = 0;
  if (Sd_Node* root = m_area->GetRoot()) {
    out->value = SD_PICK_NO_VALUE;
    result = root->QueryPoint(request, out);
    if (!result && m_area->GetScene().GetOrthographic()) result = PickOrthographic(request, out);
  }

  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glViewport(saved[0], saved[1], saved[2], saved[3]);
  return result;
}

int Qk_WorkAreaPicking::PickOrthographic(SDN_PickIn* request, SDN_PickOut* out) {
  Sd_Node* root = m_area->GetRoot();
  if (!root || !request || !out) return 0;
  const float* bx = root->GetBounds(0);
  const float* by = root->GetBounds(1);
  GLint viewport[4];
  double modelview[16];
  double projection[16];
  glPushMatrix();
  root->ApplyTransform();
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glPopMatrix();

  double ox = 0.0, oy = 0.0, oz = 0.0;
  if (gluUnProject(request->x, request->y, 0.0, modelview, projection, viewport, &ox, &oy, &oz) != GL_TRUE) return 0;
  if (!(ox > -0.5 && ox < 0.5 && oy > -0.5 && oy < 0.5)) return 0;
  out->x = (ox + 0.5) * (static_cast<double>(bx[1]) - bx[0]) + bx[0];
  out->y = (oy + 0.5) * (static_cast<double>(by[1]) - by[0]) + by[0];
  out->z = SD_PICK_NO_SURFACE;
  // The point belongs to the scene as a whole, not to the object of an
  // earlier hit.
  out->node = nullptr;
  out->found = 1;
  return 1;
}

int Qk_WorkAreaPicking::Pick(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!StorePickRequest(x, y, kind, action, out)) return 0;
  return PickScene(&m_pickRequest, out);
}

int Qk_WorkAreaPicking::PickRefreshed(int x, int y, int kind, int action, SDN_PickOut* out) {
  if (!StorePickRequest(x, y, kind, action, out)) return 0;
  int result = PickScene(&m_pickRequest, out);
  if (!result && ShownPictureIncomplete()) {
    // A pass is refining the picture on show and its depth buffer is
    // incomplete: draw one whole frame (exploring) and ask again.
    m_area->BeginExploring();
    DrawFrameForPick();
    result = PickScene(&m_pickRequest, out);
    m_area->EndExploring();
  }
  return result && out->found ? 1 : 0;
}

void Qk_WorkAreaPicking::GeoPickPoint(double x, double y, double* z, unsigned* color) {
  unsigned c = 0;
  Sd_Node* root = m_area->GetRoot();
  const double h = root ? root->GeoPickPoint(x, y, &c) : SD_PICK_NO_SURFACE;
  if (z) *z = h;
  if (color) *color = h == SD_PICK_NO_SURFACE ? 0u : c;
}

// ---------------------------------------------------------------------------
// Depth picks

int Qk_WorkAreaPicking::DepthSearch(int x, int y, double* wx, double* wy, double* wz) {
  Qk_ShownPictureScope shown(m_area);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  m_area->LoadFrameProjection();
  if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->ApplyCamera();
  SetSize(m_area->GetViewportWidth(), m_area->GetViewportHeight());
  const int r = m_picker->PickNear(x, y, wx, wy, wz, kDepthSearchRadius);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  return r;
}

bool Qk_WorkAreaPicking::ShownPictureIncomplete() const {
  // A pass drawn hidden leaves its whole coarse frame on show, and one
  // refining it in place keeps a copy of it for the reads: what is missed
  // there is missed in the picture the user sees. What remains is a pass
  // that cleared the colour on show too (the front-and-back mode), or one
  // whose copy could not be made.
  return m_area->IsInitialised() && !m_area->GetIdleSuspended() && !m_area->ReadingWholeFrame();
}

void Qk_WorkAreaPicking::DrawFrameForPick() {
  // Every matrix pushed here is popped in the mode it was pushed in.
  m_area->MakeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  m_area->RenderStepInMode();
  m_area->MakeCurrent();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

int Qk_WorkAreaPicking::PickDepth(short x, short y, double* wx, double* wy, double* wz) {
  if (!m_area->IsInitialised() || !m_picker) return 0;
  double px = 0.0, py = 0.0, pz = 0.0;
  int r = DepthSearch(x, y, &px, &py, &pz);
  if (r != 0 && ShownPictureIncomplete()) {
    // The picture is being refined: draw one whole frame and look again.
    m_area->BeginExploring();
    DrawFrameForPick();
    r = DepthSearch(x, y, &px, &py, &pz);
    m_area->EndExploring();
  }
  if (r != 0) return 0;
  if (wx) *wx = px;
  if (wy) *wy = py;
  if (wz) *wz = pz;
  return 1;
}

// ---------------------------------------------------------------------------
// Helpers

void Qk_WorkAreaPicking::NormalizePoint(const double in[3], Sd_Node* node, double out[3]) {
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

void Qk_WorkAreaPicking::ForgetHit() {
  SDN_PickOut* pick = Sd_Node::GetSharedPick();
  pick->node = nullptr;
  pick->found = 0;
}

// ---------------------------------------------------------------------------
// Pick texts

int Qk_WorkAreaPicking::FormatPickText(const SDN_PickOut* pick, int coordinateType, char* text, size_t size) {
  if (!text || size == 0) return 0;
  text[0] = '\0';
  if (!pick || !pick->found) return 0;

  // Geographic coordinates need eight decimals; heights and projected
  // coordinates two (three for heights of type 3).
  const bool flat = pick->z == SD_PICK_NO_SURFACE;
  int n = 0;
  switch (coordinateType) {
    case SD_COORDS_UNDECIDED:
    case SD_COORDS_PROJECTED:
      n = flat ? snprintf(text, size, "Geo Coords (x,y) -> (%.2lf, %.2lf)", pick->x, pick->y)
               : snprintf(text, size, "Geo Coords (x,y,z) -> (%.2lf, %.2lf, %.2lf)", pick->x, pick->y, pick->z);
      break;
    case SD_COORDS_PROJECTED_3_DECIMALS:
      n = flat ? snprintf(text, size, "Geo Coords (x,y) -> (%.2lf, %.2lf)", pick->x, pick->y)
               : snprintf(text, size, "Geo Coords (x,y,z) -> (%.2lf, %.2lf, %.3lf)", pick->x, pick->y, pick->z);
      break;
    default:
      n = flat ? snprintf(text, size, "Geo Coords (x,y) -> (%.8lf, %.8lf)", pick->x, pick->y)
               : snprintf(text, size, "Geo Coords (x,y,z) -> (%.8lf, %.8lf, %.2lf)", pick->x, pick->y, pick->z);
      break;
  }
  if (n < 0) {
    text[0] = '\0';
    return 0;
  }
  size_t used = static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
  if (pick->value != SD_PICK_NO_VALUE && used < size - 1) {
    const int m = snprintf(text + used, size - used, ", Scalar = %.2lf", pick->value);
    if (m > 0) used += static_cast<size_t>(m) < size - used ? static_cast<size_t>(m) : size - used - 1;
  }
  return static_cast<int>(used);
}

void Qk_WorkAreaPicking::ShowPickText(SDN_PickOut* pick) {
  FormatPickText(pick, Sd_Node::GetCoordinateType(), m_pickText, sizeof(m_pickText));
  emit m_area->SetPickInfoSG(m_pickText);
}

void Qk_WorkAreaPicking::ClearPickText() {
  m_pickText[0] = '\0';
  emit m_area->SetPickInfoSG(m_pickText);
}
