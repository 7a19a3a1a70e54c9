// The work area: pick texts, the selection state (selected point, polygon,
// extraction rectangle, profile line), the point slots and the selection
// outline drawn over the scene.
//
// The outline is drawn with XOR, so drawing it twice restores the picture
// exactly: the tools erase it (one AfterPass) before a selection changes and
// draw it again (a second AfterPass) afterwards, on a finished picture only.
// It never writes depth, so picks see the scene and not the outline.
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"
#include "Sv_Perspective.h"

namespace {

const double kNoValue = -1e20;
const double kNoHeight = 1e12;
// Screen size of the point marker's arms (pixels), mono and stereo.
const double kMarkerSize = 75.0;
const double kStereoMarkerSize = 40.0;

}  // namespace

// ---------------------------------------------------------------------------
// Pick texts

int Qk_GLWorkArea::FormatPickText(const SDN_PickOut* pick, int coordinateType, char* text, size_t size) {
  if (!text || size == 0) return 0;
  text[0] = '\0';
  if (!pick || !pick->found) return 0;

  // Geographic coordinates need eight decimals; heights and projected
  // coordinates two (three for heights of type 3).
  const bool flat = pick->z == kNoHeight;
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
  if (pick->value != kNoValue && used < size - 1) {
    const int m = snprintf(text + used, size - used, ", Scalar = %.2lf", pick->value);
    if (m > 0) used += static_cast<size_t>(m) < size - used ? static_cast<size_t>(m) : size - used - 1;
  }
  return static_cast<int>(used);
}

void Qk_GLWorkArea::ShowPickText(SDN_PickOut* pick) {
  FormatPickText(pick, Sd_Node::GetCoordinateType(), m_pickText, sizeof(m_pickText));
  emit SetPickInfoSG(m_pickText);
}

// ---------------------------------------------------------------------------
// Selection state

void Qk_GLWorkArea::AddPolygonVertex(const double point[3], Sd_Node* node) {
  if (!point) return;
  if (m_polygon && m_polygon->x == point[0] && m_polygon->y == point[1] && m_polygon->z == point[2]) return;
  Qk_PolygonVertex* v = new Qk_PolygonVertex{point[0], point[1], point[2], node, m_polygon, nullptr};
  if (m_polygon) m_polygon->previous = v;
  m_polygon = v;
}

void Qk_GLWorkArea::FreePolygon() {
  while (m_polygon) {
    Qk_PolygonVertex* next = m_polygon->next;
    delete m_polygon;
    m_polygon = next;
  }
}

int Qk_GLWorkArea::GetPolygonSize() const {
  int n = 0;
  for (const Qk_PolygonVertex* v = m_polygon; v; v = v->next) ++n;
  return n;
}

void Qk_GLWorkArea::ResetSelection() {
  FreePolygon();
  m_pointSelected = 0;
}

void Qk_GLWorkArea::ForgetSelections() {
  FreePolygon();
  m_polygonActive = 0;
  m_polygonClosed = 0;
  m_finishRequest = 0;
  m_movingNode = nullptr;
  m_pointSelected = 0;
  m_selectedNode = nullptr;
  m_dragStarted = 0;
  m_dragNode = nullptr;
  m_dragPixelX = -1;
  m_dragPixelY = -1;
  m_rectangleActive = 0;
  m_profileActive = 0;
}

int Qk_GLWorkArea::GetPolygon(Qk_PolygonVertex** head, int* closed) {
  if (head) *head = m_polygon;
  if (closed) *closed = m_polygonClosed;
  m_polygonActive = 0;
  m_dragStarted = 0;
  if (!m_polygon) return 0;
  return m_interactionMode == 2 ? 1 : -1;
}

int Qk_GLWorkArea::GetProfileLine(double* point1, double* point2) {
  if (m_profileActive) {
    if (point1) {
      point1[0] = m_profilePoint1[0];
      point1[1] = m_profilePoint1[1];
    }
    if (point2) {
      point2[0] = m_profilePoint2[0];
      point2[1] = m_profilePoint2[1];
    }
  }
  return m_profileActive;
}

const double* Qk_GLWorkArea::GetSelectedPoints(int* count) const {
  if (count) *count = m_pointSelected ? 1 : 0;
  return m_selectedPoint;
}

void Qk_GLWorkArea::GetRectangle(double out[4]) const {
  if (!out) return;
  out[0] = m_rectX0;
  out[1] = m_rectX1;
  out[2] = m_rectY0;
  out[3] = m_rectY1;
}

// ---------------------------------------------------------------------------
// Slots

void Qk_GLWorkArea::GeoPickPointSL(SVdouble x, SVdouble y, SVdouble* z, SVuint* color) {
  unsigned c = 0;
  const double h = m_root ? m_root->GeoPickPoint(x, y, &c) : kNoHeight;
  if (z) *z = h;
  if (color) *color = h == kNoHeight ? 0u : c;
}

void Qk_GLWorkArea::RedrawSelectionSL() { AfterPass(); }

void Qk_GLWorkArea::TransformPointSL(SVdouble* in, SVdouble* out) {
  if (!in || !out) return;
  NormalizePoint(in, m_root, out);
}

void Qk_GLWorkArea::SelectPointSL(SVdouble* pt) {
  if (!pt) return;
  SDN_PickOut* pick = GetPickRecord();
  pick->node = nullptr;
  pick->x = pt[0];
  pick->y = pt[1];
  pick->z = pt[2];
  // A scalar of an earlier pick does not belong to this point.
  pick->value = kNoValue;
  m_pointSelected = 1;
  m_selectedPoint[0] = pt[0];
  m_selectedPoint[1] = pt[1];
  m_selectedPoint[2] = pt[2];
  m_selectedNode = nullptr;
  Sd_Node::SetQueryPoint(pt[0], pt[1], pt[2]);
  ShowPickText(pick);
  emit PickPointSG(pick);
  UpdateGL();
}

void Qk_GLWorkArea::ClearPolygonSelectionSL() {
  FreePolygon();
  UpdateGL();
}

// ---------------------------------------------------------------------------
// Outline

bool Qk_GLWorkArea::OutlineInFrame() const {
  // A coarse frame that the best pass refines in place keeps what it drew
  // wherever the best pass draws nothing (the background): an XOR outline
  // drawn there would be cancelled by the one drawn on the finished picture.
  return !(m_running && m_pass == 0 && m_exploreCount == 0 && m_drawBufferMode == BEST_TO_FRONT);
}

void Qk_GLWorkArea::ToggleOutline() {
  if (m_initialised && m_idleSuspended) AfterPass();
}

void Qk_GLWorkArea::AfterPass() {
  if (!m_initialised) return;
  MakeCurrent();
  const GLenum buffer = GetDrawBuffer();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  // The outline of one view, with the projection the frame used for it
  // (in stereo the camera's stereo scale in use).
  auto outline = [this](int view) {
    LoadViewProjection(view);
    if (m_overlay) m_overlay->ApplyCamera();
    DrawOutline(1);
  };
  if (!m_stereoOn) {
    SelectDrawBuffer(GL_FRONT);
    outline(SV_VIEW_MONO);
  } else {
    SelectLeft(1);
    outline(SV_VIEW_LEFT);
    SelectRight(1);
    outline(SV_VIEW_RIGHT);
    // Frames leave the left half selected.
    if (m_stereoMode == QK_STEREO_SPLIT_SCREEN) SelectLeft(0);
  }

  SelectDrawBuffer(buffer);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glFlush();
  Present();
}

void Qk_GLWorkArea::DrawOutline(int xorMode) {
  if (!m_initialised) return;
  const int m = m_lastInteractionMode;
  const bool point = m == 1 && m_pointSelected;
  const bool polygon = m == 2 && m_polygon;
  if (!point && !polygon && m != 4 && !m_profileActive) return;
  const short type = Sd_Node::GetCoordinateType();
  if (type == SD_COORDS_UNDECIDED || type == SD_COORDS_SPHERE) return;

  const float s = m_globalScale;
  GLint depthFunc = GL_LEQUAL;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // Plain white lines whatever the objects left enabled.
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_LINE_SMOOTH);
  glDisable(GL_LINE_STIPPLE);
  glDisable(GL_FOG);
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_FALSE);
  if (xorMode) BeginXorMode();

  PushFrameView(s);
  if (m_root) m_root->ApplyTransform();
  glColor3f(1.0f, 1.0f, 1.0f);
  glLineWidth(2.0f);

  if (point) {
    DrawPointMarker();
  } else if (polygon) {
    DrawPolygonOutline();
  } else if (m == 4) {
    DrawRectangleOutline();
  }
  emit RenderProfileLineSG();

  glLineWidth(1.0f);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  if (xorMode) EndXorMode();
  glPopAttrib();
  glDepthFunc(static_cast<GLenum>(depthFunc));
  glFlush();
}

void Qk_GLWorkArea::DrawPointMarker() {
  double n[3];
  glPushMatrix();
  if (m_selectedNode) {
    m_selectedNode->ApplyTransform();
    NormalizePoint(m_selectedPoint, m_selectedNode, n);
  } else {
    // A point selected from outside has no object: it lies in the scene's
    // frame, normalised with the scene's bounds.
    NormalizePoint(m_selectedPoint, m_root, n);
  }
  glTranslated(n[0], n[1], n[2]);

  // Undo the scale of the model-view matrix so the marker keeps its size
  // on screen.
  const double size = m_stereoOn ? kStereoMarkerSize : kMarkerSize;
  float mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  double f[3];
  for (int c = 0; c < 3; ++c) {
    const double len = std::sqrt(static_cast<double>(mv[4 * c]) * mv[4 * c] +
                                 static_cast<double>(mv[4 * c + 1]) * mv[4 * c + 1] +
                                 static_cast<double>(mv[4 * c + 2]) * mv[4 * c + 2]);
    f[c] = len > 0.0 && std::isfinite(len) ? size / len : 0.0;
  }
  glScaled(f[0], f[1], f[2]);
  glBegin(GL_LINES);
  glVertex3f(1.0f, 0.0f, 0.0f);
  glVertex3f(-1.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, 1.0f, 0.0f);
  glVertex3f(0.0f, -1.0f, 0.0f);
  glVertex3f(0.0f, 0.0f, 1.0f);
  glVertex3f(0.0f, 0.0f, -1.0f);
  glEnd();
  glPopMatrix();
}

namespace {

// A polygon point in the scene's frame: the point in its object's unit box,
// scaled and moved as the object is (or in the scene's own box).
void PolygonVertex(const double point[3], Sd_Node* node, Sd_Node* root) {
  double n[3];
  if (node) {
    Qk_GLWorkArea::NormalizePoint(point, node, n);
    const char axes[3] = {'x', 'y', 'z'};
    for (int i = 0; i < 3; ++i) n[i] = *node->GetScale(axes[i]) * n[i] + *node->GetPosition(axes[i]);
  } else {
    Qk_GLWorkArea::NormalizePoint(point, root, n);
  }
  glVertex3d(n[0], n[1], n[2]);
}

}  // namespace

void Qk_GLWorkArea::DrawPolygonOutline() {
  glBegin(GL_LINE_STRIP);
  if (m_polygonActive && m_idleSuspended) PolygonVertex(m_movingPoint, m_movingNode, m_root);
  for (const Qk_PolygonVertex* v = m_polygon; v; v = v->next) {
    const double p[3] = {v->x, v->y, v->z};
    PolygonVertex(p, v->node, m_root);
  }
  if (m_polygonClosed && m_polygon) {
    const double p[3] = {m_polygon->x, m_polygon->y, m_polygon->z};
    PolygonVertex(p, m_polygon->node, m_root);
  }
  glEnd();
}

void Qk_GLWorkArea::DrawRectangleOutline() {
  if (!m_rectangleActive || !m_dragNode) return;
  const double a[3] = {m_rectX0, m_rectY0, 0.0};
  const double b[3] = {m_rectX1, m_rectY1, 0.0};
  double an[3];
  double bn[3];
  NormalizePoint(a, m_dragNode, an);
  NormalizePoint(b, m_dragNode, bn);
  glBegin(GL_LINE_LOOP);
  glVertex2f(static_cast<float>(an[0]), static_cast<float>(an[1]));
  glVertex2f(static_cast<float>(an[0]), static_cast<float>(bn[1]));
  glVertex2f(static_cast<float>(bn[0]), static_cast<float>(bn[1]));
  glVertex2f(static_cast<float>(bn[0]), static_cast<float>(an[1]));
  glEnd();
}
