// The work area: mouse handling and the tools of the interaction modes.
//
// Every mouse event is offered to the current overlay first; what it does
// not consume drives the tool of the interaction mode:
//   0  coordinate readout: the status text follows the pointer;
//   1  point selection (left click) and object drag (left drag of more than
//      4 pixels that starts on an object);
//   2  polygon selection: left clicks add vertices, a rubber band follows
//      the pointer, a left double click finishes the polygon;
//   4  extraction rectangle: left drag draws it, a right click extracts.
// In every mode but 4 a right-button drag defines a profile line.
//
// Query kinds and action codes handed to the objects with each pick:
//   readout, polygon, profile, selection test   kind 0, action 0
//   rectangle                                    kind 0, action 2
//   drag start on an object                      kind 1, action 3
//   drag to                                      kind 1, action 2
//   release in mode 1                            kind 1, action 1
//   drag end                                     kind 1, action 4
#include <cstdlib>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Sd_Node.h"

namespace {

// A press that moves further than this (pixels, along x or y) starts a drag.
const double kDragThreshold = 4.0;
// Shortest profile drag, |dx| + |dy| in pixels.
const int kMinProfileDrag = 10;

enum { READOUT = 0, SELECT = 1, POLYGON = 2, RECTANGLE = 4 };

// Keeps the point of a pick and the object it was picked on.
void KeepPick(const SDN_PickOut* pick, double point[3], Sd_Node** node) {
  *node = pick->node;
  point[0] = pick->x;
  point[1] = pick->y;
  point[2] = pick->z;
}

}  // namespace

void Qk_GLWorkArea::MousePress(Qk_GLEventRecord* event) {
  if (!event) return;
  if (m_overlay && m_overlay->MousePress(event)) return;
  SDN_PickOut* pick = GetPickRecord();

  if (m_interactionMode == RECTANGLE && event->button == QK_BUTTON_LEFT) {
    ToggleOutline();
    m_rectangleActive = 0;
    m_dragNode = m_root ? m_root->GetFirstChild() : nullptr;
    if (Pick(event->x, event->y, 0, 2, pick) && m_dragNode) {
      m_rectX0 = m_rectX1 = pick->x;
      m_rectY0 = m_rectY1 = pick->y;
      m_rectangleActive = 1;
    }
    // Drawn again at once: the outline also holds the profile line, which
    // must stay on screen, and the next erase expects the new rectangle.
    ToggleOutline();
  }
}

void Qk_GLWorkArea::MouseMove(Qk_GLEventRecord* event) {
  if (!event) return;
  if (m_overlay && m_overlay->MouseMove(event)) return;
  SDN_PickOut* pick = GetPickRecord();
  const int x = event->x;
  const int y = event->y;

  switch (m_interactionMode) {
    case READOUT:
      Pick(x, y, 0, 0, pick);
      ShowPickText(pick);
      break;
    case SELECT:
      if (event->button != QK_BUTTON_LEFT) break;
      if (!m_dragStarted) {
        const bool moved = std::abs(event->pressX - x) > kDragThreshold || std::abs(event->pressY - y) > kDragThreshold;
        if (moved && Pick(event->pressX, event->pressY, 0, 0, pick)) {
          m_dragStarted = 1;
          m_dragNode = pick->node;
          m_dragPixelX = event->pressX;
          m_dragPixelY = event->pressY;
          Pick(event->pressX, event->pressY, 1, 3, pick);
        }
      } else if (Pick(x, y, 0, 0, pick) && pick->node == m_dragNode) {
        Pick(x, y, 1, 2, pick);
      }
      break;
    case POLYGON:
      if (!m_polygonActive) break;
      if (!Pick(x, y, 0, 0, pick)) {
        CollapseRubberBand();
      } else if (pick->found) {
        ToggleOutline();
        KeepPick(pick, m_movingPoint, &m_movingNode);
        ToggleOutline();
      }
      ShowPickText(pick);
      break;
    case RECTANGLE: {
      const int hit = Pick(x, y, 0, 2, pick);
      ShowPickText(pick);
      if (event->button == QK_BUTTON_LEFT && hit && m_dragNode) {
        ToggleOutline();
        m_rectX1 = pick->x;
        m_rectY1 = pick->y;
        ToggleOutline();
      }
      break;
    }
    default:
      break;
  }

  if (m_interactionMode != RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    AfterPass();
    Profile(event);
    AfterPass();
  }
}

void Qk_GLWorkArea::MouseRelease(Qk_GLEventRecord* event) {
  if (!event) return;
  // The profile ends before the overlay sees the release.
  if (m_interactionMode != RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    AfterPass();
    if (Profile(event) == 2) emit ProfileFailedSG();
    AfterPass();
  }
  if (m_overlay && m_overlay->MouseRelease(event)) return;
  SDN_PickOut* pick = GetPickRecord();
  const int x = event->x;
  const int y = event->y;

  if (m_interactionMode == SELECT && event->button == QK_BUTTON_LEFT) {
    Pick(x, y, 1, 1, pick);
    if (!m_dragStarted) {
      if (PickRefreshed(x, y, 0, 0, pick)) {
        ToggleOutline();
        m_pointSelected = 1;
        KeepPick(pick, m_selectedPoint, &m_selectedNode);
        Sd_Node::SetQueryPoint(pick->x, pick->y, pick->z);
        ShowPickText(pick);
        ToggleOutline();
        emit PickPointSG(pick);
      }
    } else {
      Pick(x, y, 1, 4, pick);
    }
    m_dragStarted = 0;
  } else if (m_interactionMode == POLYGON && event->button == QK_BUTTON_LEFT) {
    if (!PickRefreshed(x, y, 0, 0, pick)) {
      if (m_finishRequest) {
        m_polygonActive = 0;
        m_finishRequest = 0;
      }
    } else {
      ToggleOutline();
      if (!m_finishRequest) {
        if (!m_polygonActive) {
          FreePolygon();
          m_polygonActive = 1;
          KeepPick(pick, m_movingPoint, &m_movingNode);
          m_polygonClosed = 0;
        }
        const double point[3] = {pick->x, pick->y, pick->z};
        AddPolygonVertex(point, pick->node);
        ShowPickText(pick);
      } else {
        m_polygonActive = 0;
        m_finishRequest = 0;
        m_polygonClosed = GetPolygonSize() > 2 ? 1 : 0;
      }
      ToggleOutline();
    }
  } else if (m_interactionMode == RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    if (!m_rectangleActive) {
      if (Pick(x, y, 0, 2, pick)) emit ExtractAreaCentreSG(pick->x, pick->y);
    } else {
      emit ExtractAreaSG();
    }
  }
}

void Qk_GLWorkArea::MouseDoubleClick(Qk_GLEventRecord* event) {
  if (!event) return;
  if (m_overlay && m_overlay->MouseDoubleClick(event)) return;
  if (m_interactionMode == POLYGON && event->button == QK_BUTTON_LEFT) m_finishRequest = 1;
}

void Qk_GLWorkArea::Enter() {
  if (m_overlay) m_overlay->Enter();
}

void Qk_GLWorkArea::Leave() {
  CollapseRubberBand();
  if (m_interactionMode == READOUT) {
    m_pickText[0] = '\0';
    emit SetPickInfoSG(m_pickText);
  }
  if (m_overlay) m_overlay->Leave();
}

void Qk_GLWorkArea::CollapseRubberBand() {
  if (m_interactionMode != POLYGON || !m_polygonActive) return;
  ToggleOutline();
  if (m_polygon) {
    m_movingPoint[0] = m_polygon->x;
    m_movingPoint[1] = m_polygon->y;
    m_movingPoint[2] = m_polygon->z;
    m_movingNode = m_polygon->node;
  }
  ToggleOutline();
}

int Qk_GLWorkArea::Profile(Qk_GLEventRecord* event) {
  if (!event) return 1;
  // A pass in progress has an incomplete depth buffer: start afresh, the
  // picks below draw a whole frame when they need one.
  if (IsRunning()) UpdateGL();
  MakeCurrent();
  if (std::abs(event->x - event->pressX) + std::abs(event->y - event->pressY) < kMinProfileDrag) return 1;
  SDN_PickOut* pick = GetPickRecord();
  if (!PickRefreshed(event->pressX, event->pressY, 0, 0, pick)) return 2;
  const double first[2] = {pick->x, pick->y};
  if (PickRefreshed(event->x, event->y, 0, 0, pick)) {
    m_profilePoint1[0] = first[0];
    m_profilePoint1[1] = first[1];
    m_profilePoint2[0] = pick->x;
    m_profilePoint2[1] = pick->y;
    m_profileActive = 1;
    emit ProfileSG(m_profilePoint1, m_profilePoint2);
  }
  return 0;
}
