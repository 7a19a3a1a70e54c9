// The ship node: its markers, the animated track and picking.
#include <GL/gl.h>

#include <cmath>

#include "Sd_ShipParent.h"

namespace {

// Height of the track markers in the box.
constexpr float kTrackHeight = 0.1f;

// The pyramid of a marker: its base corners, each face running from one
// corner through the apex at the origin to the next, in the face's colour.
constexpr float kBase[4][3] = {{-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}};
constexpr float kFaceColours[4][3] = {{0.0f, 0.0f, 0.8f}, {0.0f, 0.8f, 0.0f}, {0.8f, 0.0f, 0.0f}, {0.8f, 0.8f, 0.0f}};

}  // namespace

float Sd_ShipParent::MapIntoBox(float v, int axis) const {
  const double lo = m_bounds[2 * axis];
  const double range = static_cast<double>(m_bounds[2 * axis + 1]) - lo;
  if (range == 0.0 || !std::isfinite(range)) return 0.0f;
  return static_cast<float>((v - lo) / range - 0.5);
}

void Sd_ShipParent::DrawMarker() {
  if (m_markerKind == 0) {
    glScalef(0.0004f, 0.0004f, 0.004f);
  } else {
    glScalef(0.00075f, 0.002f, 0.035f);
  }
  glBegin(GL_TRIANGLES);
  for (int f = 0; f < 4; ++f) {
    glColor3fv(kFaceColours[f]);
    glVertex3fv(kBase[f]);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3fv(kBase[(f + 1) % 4]);
  }
  glEnd();
}

void Sd_ShipParent::NextAnimationWindow(int* first, int* last) {
  const int count = m_positions.trackCount;
  *first = m_animationPosition;
  const long long end = static_cast<long long>(m_animationPosition) + m_window;
  *last = static_cast<int>(end < count - 1 ? end : count - 1);
  if (++m_animationPosition >= count) m_animationPosition = 0;
}

void Sd_ShipParent::Render() {
  m_wholeRender = 1;
  RenderGroup(true);
  m_wholeRender = 0;
}

int Sd_ShipParent::StepRender() { return StepRenderGroup(false, true); }

void Sd_ShipParent::DrawOwn() {
  const bool track = m_showTrack != 0.0f;
  if (!track && !m_showSonobuoys) return;
  glPushMatrix();
  glScalef(m_scale[0], m_scale[1], m_scale[2]);
  if (track) {
    m_markerKind = 0;
    int first = 0, last = m_positions.trackCount - 1;
    if (m_animate && m_wholeRender) NextAnimationWindow(&first, &last);
    for (int i = first; i <= last; ++i) {
      glPushMatrix();
      glTranslatef(MapIntoBox(m_positions.track[i][0], 0), MapIntoBox(m_positions.track[i][1], 1), kTrackHeight);
      DrawMarker();
      glPopMatrix();
    }
  }
  if (m_showSonobuoys) {
    m_markerKind = 1;
    for (int i = 0; i < m_positions.sonobuoyCount; ++i) {
      const float* b = m_positions.sonobuoys[i];
      glPushMatrix();
      glTranslatef(MapIntoBox(b[0], 0), MapIntoBox(b[1], 1), MapIntoBox(b[2], 2));
      DrawMarker();
      glPopMatrix();
    }
  }
  glPopMatrix();
}

int Sd_ShipParent::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  glPushMatrix();
  ApplyTransform();
  // The ship answers no picks itself (its markers are too small to aim at),
  // so there is no depth to read here; its children answer in its frame.
  if (m_visible == 1) {
    for (Sd_Node* c = m_children; c; c = c->GetNext()) {
      if (c->GetVisible() == 1) c->QueryPoint(request, out);
    }
  }
  glPopMatrix();
  return 0;
}
