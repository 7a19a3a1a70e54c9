// The work area's selection: the selected point, the polygon and the
// extraction rectangle, and their outline drawn over the scene.
#include "Qk_WorkAreaSelection.h"

#include <GL/gl.h>

#include <cmath>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Qk_WorkAreaMouseTools.h"
#include "Sv_Perspective.h"

namespace {

// Screen size of the point marker's arms (pixels), mono and stereo.
const double kMarkerSize = 75.0;
const double kStereoMarkerSize = 40.0;

// Keeps the point of a pick and the object it was picked on.
void KeepPick(const SDN_PickOut* pick, double point[3], Sd_Node** node) {
  *node = pick->node;
  point[0] = pick->x;
  point[1] = pick->y;
  point[2] = pick->z;
}

}  // namespace

Qk_WorkAreaSelection::Qk_WorkAreaSelection(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area),
      m_pointSelected(0),
      m_selectedPoint{0.0, 0.0, 0.0},
      m_selectedNode(nullptr),
      m_polygon(nullptr),
      m_polygonActive(0),
      m_polygonClosed(0),
      m_finishRequest(0),
      m_movingPoint{0.0, 0.0, 0.0},
      m_movingNode(nullptr),
      m_rectangle{0.0, 0.0, 0.0, 0.0},
      m_rectangleActive(0) {}

Qk_WorkAreaSelection::~Qk_WorkAreaSelection() { FreePolygon(); }

// ---------------------------------------------------------------------------
// Selection state

void Qk_WorkAreaSelection::AddPolygonVertex(const double point[3], Sd_Node* node) {
  if (!point) return;
  if (m_polygon && m_polygon->x == point[0] && m_polygon->y == point[1] && m_polygon->z == point[2]) return;
  Qk_PolygonVertex* v = new Qk_PolygonVertex{point[0], point[1], point[2], node, m_polygon, nullptr};
  if (m_polygon) m_polygon->previous = v;
  m_polygon = v;
}

void Qk_WorkAreaSelection::FreePolygon() {
  while (m_polygon) {
    Qk_PolygonVertex* next = m_polygon->next;
    delete m_polygon;
    m_polygon = next;
  }
}

int Qk_WorkAreaSelection::GetPolygonSize() const {
  int n = 0;
  for (const Qk_PolygonVertex* v = m_polygon; v; v = v->next) ++n;
  return n;
}

void Qk_WorkAreaSelection::ResetSelection() {
  FreePolygon();
  m_pointSelected = 0;
}

void Qk_WorkAreaSelection::Forget() {
  FreePolygon();
  m_polygonActive = 0;
  m_polygonClosed = 0;
  m_finishRequest = 0;
  m_movingNode = nullptr;
  m_pointSelected = 0;
  m_selectedNode = nullptr;
  m_rectangleActive = 0;
}

int Qk_WorkAreaSelection::GetPolygon(Qk_PolygonVertex** head, int* closed, int interactionMode) {
  if (head) *head = m_polygon;
  if (closed) *closed = m_polygonClosed;
  m_polygonActive = 0;
  if (!m_polygon) return 0;
  return interactionMode == 2 ? 1 : -1;
}

const double* Qk_WorkAreaSelection::GetSelectedPoints(int* count) const {
  if (count) *count = m_pointSelected ? 1 : 0;
  return m_selectedPoint;
}

void Qk_WorkAreaSelection::GetRectangle(double out[4]) const {
  if (!out) return;
  for (int i = 0; i < 4; ++i) out[i] = m_rectangle[i];
}

void Qk_WorkAreaSelection::SelectPoint(const double pt[3]) {
  if (!pt) return;
  SDN_PickOut* pick = m_area->GetPickRecord();
  pick->node = nullptr;
  pick->x = pt[0];
  pick->y = pt[1];
  pick->z = pt[2];
  // A scalar of an earlier pick does not belong to this point.
  pick->value = SD_PICK_NO_VALUE;
  m_pointSelected = 1;
  m_selectedPoint[0] = pt[0];
  m_selectedPoint[1] = pt[1];
  m_selectedPoint[2] = pt[2];
  m_selectedNode = nullptr;
  Sd_Node::SetQueryPoint(pt[0], pt[1], pt[2]);
  m_area->ShowPickText(pick);
  emit m_area->PickPointSG(pick);
  m_area->UpdateGL();
}

// ---------------------------------------------------------------------------
// The tools' steps

void Qk_WorkAreaSelection::SelectPicked(const SDN_PickOut* pick) {
  m_pointSelected = 1;
  KeepPick(pick, m_selectedPoint, &m_selectedNode);
}

void Qk_WorkAreaSelection::MoveRubberBand(const SDN_PickOut* pick) { KeepPick(pick, m_movingPoint, &m_movingNode); }

void Qk_WorkAreaSelection::CollapseRubberBand() {
  if (!m_polygon) return;
  m_movingPoint[0] = m_polygon->x;
  m_movingPoint[1] = m_polygon->y;
  m_movingPoint[2] = m_polygon->z;
  m_movingNode = m_polygon->node;
}

bool Qk_WorkAreaSelection::ClickPolygon(const SDN_PickOut* pick) {
  if (m_finishRequest) {
    m_polygonActive = 0;
    m_finishRequest = 0;
    m_polygonClosed = GetPolygonSize() > 2 ? 1 : 0;
    return false;
  }
  if (!m_polygonActive) {
    FreePolygon();
    m_polygonActive = 1;
    KeepPick(pick, m_movingPoint, &m_movingNode);
    m_polygonClosed = 0;
  }
  const double point[3] = {pick->x, pick->y, pick->z};
  AddPolygonVertex(point, pick->node);
  return true;
}

void Qk_WorkAreaSelection::MissPolygon() {
  if (!m_finishRequest) return;
  m_polygonActive = 0;
  m_finishRequest = 0;
}

void Qk_WorkAreaSelection::StartRectangle(double x, double y) {
  m_rectangle[0] = m_rectangle[1] = x;
  m_rectangle[2] = m_rectangle[3] = y;
  m_rectangleActive = 1;
}

void Qk_WorkAreaSelection::MoveRectangleCorner(double x, double y) {
  m_rectangle[1] = x;
  m_rectangle[3] = y;
}

// ---------------------------------------------------------------------------
// Outline

void Qk_WorkAreaSelection::DrawOverPicture() {
  m_area->MakeCurrent();
  const GLenum buffer = m_area->GetDrawBuffer();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  // The outline of one view, with the projection the frame used for it
  // (in stereo the camera's stereo scale in use).
  auto outline = [this](int view) {
    m_area->LoadViewProjection(view);
    if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->ApplyCamera();
    m_area->DrawOutline(1);
  };
  if (!m_area->GetStereo()) {
    m_area->SelectDrawBuffer(GL_FRONT);
    outline(SV_VIEW_MONO);
  } else {
    m_area->SelectLeft(1);
    outline(SV_VIEW_LEFT);
    m_area->SelectRight(1);
    outline(SV_VIEW_RIGHT);
    // Frames leave the left half selected.
    if (m_area->GetStereoMode() == QK_STEREO_SPLIT_SCREEN) m_area->SelectLeft(0);
  }

  m_area->SelectDrawBuffer(buffer);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glFlush();
}

void Qk_WorkAreaSelection::DrawOutline(int xorMode) {
  if (!m_area->IsInitialised()) return;
  const Qk_WorkAreaMouseTools& tools = m_area->GetMouseTools();
  const int m = tools.GetLastInteractionMode();
  const bool point = m == 1 && m_pointSelected;
  const bool polygon = m == 2 && m_polygon;
  if (!point && !polygon && m != 4 && !tools.GetProfileActive()) return;
  const short type = Sd_Node::GetCoordinateType();
  if (type == SD_COORDS_UNDECIDED || type == SD_COORDS_SPHERE) return;

  const float s = m_area->GetGlobalScale();
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

  m_area->PushFrameView(s);
  if (Sd_Node* root = m_area->GetRoot()) root->ApplyTransform();
  glColor3f(1.0f, 1.0f, 1.0f);
  glLineWidth(2.0f);

  if (point) {
    DrawPointMarker();
  } else if (polygon) {
    DrawPolygonOutline();
  } else if (m == 4) {
    DrawRectangleOutline(tools.GetDragNode());
  }
  emit m_area->RenderProfileLineSG();

  glLineWidth(1.0f);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  if (xorMode) EndXorMode();
  glPopAttrib();
  glDepthFunc(static_cast<GLenum>(depthFunc));
  glFlush();
}

void Qk_WorkAreaSelection::DrawPointMarker() {
  double n[3];
  glPushMatrix();
  if (m_selectedNode) {
    m_selectedNode->ApplyTransform();
    Qk_GLWorkArea::NormalizePoint(m_selectedPoint, m_selectedNode, n);
  } else {
    // A point selected from outside has no object: it lies in the scene's
    // frame, normalised with the scene's bounds.
    Qk_GLWorkArea::NormalizePoint(m_selectedPoint, m_area->GetRoot(), n);
  }
  glTranslated(n[0], n[1], n[2]);

  // Undo the scale of the model-view matrix so the marker keeps its size
  // on screen.
  const double size = m_area->GetStereo() ? kStereoMarkerSize : kMarkerSize;
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

void Qk_WorkAreaSelection::DrawPolygonOutline() {
  Sd_Node* root = m_area->GetRoot();
  glBegin(GL_LINE_STRIP);
  if (m_polygonActive && m_area->GetIdleSuspended()) PolygonVertex(m_movingPoint, m_movingNode, root);
  for (const Qk_PolygonVertex* v = m_polygon; v; v = v->next) {
    const double p[3] = {v->x, v->y, v->z};
    PolygonVertex(p, v->node, root);
  }
  if (m_polygonClosed && m_polygon) {
    const double p[3] = {m_polygon->x, m_polygon->y, m_polygon->z};
    PolygonVertex(p, m_polygon->node, root);
  }
  glEnd();
}

void Qk_WorkAreaSelection::DrawRectangleOutline(Sd_Node* node) {
  if (!m_rectangleActive || !node) return;
  const double a[3] = {m_rectangle[0], m_rectangle[2], 0.0};
  const double b[3] = {m_rectangle[1], m_rectangle[3], 0.0};
  double an[3];
  double bn[3];
  Qk_GLWorkArea::NormalizePoint(a, node, an);
  Qk_GLWorkArea::NormalizePoint(b, node, bn);
  glBegin(GL_LINE_LOOP);
  glVertex2f(static_cast<float>(an[0]), static_cast<float>(an[1]));
  glVertex2f(static_cast<float>(an[0]), static_cast<float>(bn[1]));
  glVertex2f(static_cast<float>(bn[0]), static_cast<float>(bn[1]));
  glVertex2f(static_cast<float>(bn[0]), static_cast<float>(an[1]));
  glEnd();
}
