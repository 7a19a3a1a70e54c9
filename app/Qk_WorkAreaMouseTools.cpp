// The work area's mouse tools.
//
// Query kinds and action codes handed to the objects with each pick:
//   readout, polygon, profile, selection test   kind 0, action 0
//   rectangle                                    kind 0, action 2
//   drag start on an object                      kind 1, action 3
//   drag to                                      kind 1, action 2
//   release in mode 1                            kind 1, action 1
//   drag end                                     kind 1, action 4
#include "Qk_WorkAreaMouseTools.h"

#include <cstdlib>

#include "Qk_GLOverlay.h"
#include "Qk_GLWorkArea.h"
#include "Qk_WorkAreaSelection.h"
#include "Sd_Node.h"

namespace {

// A press that moves further than this (pixels, along x or y) starts a drag.
const double kDragThreshold = 4.0;
// Shortest profile drag, |dx| + |dy| in pixels.
const int kMinProfileDrag = 10;

enum { READOUT = 0, SELECT = 1, POLYGON = 2, RECTANGLE = 4 };

}  // namespace

Qk_WorkAreaMouseTools::Qk_WorkAreaMouseTools(Qk_GLWorkArea* area)
    : Qk_WorkAreaPart(area),
      m_interactionMode(0),
      m_lastInteractionMode(0),
      m_dragStarted(0),
      m_dragNode(nullptr),
      m_dragPixelX(-1),
      m_dragPixelY(-1),
      m_profileActive(0),
      m_profilePoint1{0.0, 0.0},
      m_profilePoint2{0.0, 0.0},
      m_profileRequest(0) {}

void Qk_WorkAreaMouseTools::SetInteractionMode(int mode) {
  // The outline is drawn with XOR: drawn once on a finished picture it
  // erases the old outline, drawn again it shows the new one.
  ToggleOutline();
  m_interactionMode = mode;
  if (mode != 0) m_lastInteractionMode = mode;
  // The press pixel of an object drag belongs to the tool that took it.
  m_dragPixelX = -1;
  m_dragPixelY = -1;
  ToggleOutline();
}

void Qk_WorkAreaMouseTools::ToggleOutline() {
  if (m_area->IsInitialised() && m_area->GetIdleSuspended()) m_area->AfterPass();
}

void Qk_WorkAreaMouseTools::Forget() {
  m_dragStarted = 0;
  m_dragNode = nullptr;
  m_dragPixelX = -1;
  m_dragPixelY = -1;
  m_profileActive = 0;
}

int Qk_WorkAreaMouseTools::GetProfileLine(double* point1, double* point2) {
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

void Qk_WorkAreaMouseTools::RequestProfile(const double first[2], const double second[2]) {
  m_profilePoint1[0] = first[0];
  m_profilePoint1[1] = first[1];
  m_profilePoint2[0] = second[0];
  m_profilePoint2[1] = second[1];
  m_profileRequest = 1;
}

void Qk_WorkAreaMouseTools::EmitPendingProfile() {
  if (!m_profileRequest) return;
  m_profileRequest = 0;
  emit m_area->ProfileSG(m_profilePoint1, m_profilePoint2);
}

// ---------------------------------------------------------------------------
// Mouse events

void Qk_WorkAreaMouseTools::MousePress(Qk_GLEventRecord* event) {
  if (!event) return;
  Qk_GLOverlay* overlay = m_area->GetOverlay();
  if (overlay && overlay->MousePress(event)) return;
  SDN_PickOut* pick = m_area->GetPickRecord();

  if (m_interactionMode == RECTANGLE && event->button == QK_BUTTON_LEFT) {
    Qk_WorkAreaSelection& selection = m_area->GetSelection();
    Sd_Node* root = m_area->GetRoot();
    ToggleOutline();
    selection.StopRectangle();
    m_dragNode = root ? root->GetFirstChild() : nullptr;
    if (m_area->Pick(event->x, event->y, 0, 2, pick) && m_dragNode) selection.StartRectangle(pick->x, pick->y);
    // Drawn again at once: the outline also holds the profile line, which
    // must stay on screen, and the next erase expects the new rectangle.
    ToggleOutline();
  }
}

void Qk_WorkAreaMouseTools::MouseMove(Qk_GLEventRecord* event) {
  if (!event) return;
  Qk_GLOverlay* overlay = m_area->GetOverlay();
  if (overlay && overlay->MouseMove(event)) return;
  Qk_GLWorkArea* area = m_area;
  Qk_WorkAreaSelection& selection = area->GetSelection();
  SDN_PickOut* pick = area->GetPickRecord();
  const int x = event->x;
  const int y = event->y;

  switch (m_interactionMode) {
    case READOUT:
      area->Pick(x, y, 0, 0, pick);
      area->ShowPickText(pick);
      break;
    case SELECT:
      if (event->button != QK_BUTTON_LEFT) break;
      if (!m_dragStarted) {
        const bool moved = std::abs(event->pressX - x) > kDragThreshold || std::abs(event->pressY - y) > kDragThreshold;
        if (moved && area->Pick(event->pressX, event->pressY, 0, 0, pick)) {
          m_dragStarted = 1;
          m_dragNode = pick->node;
          m_dragPixelX = event->pressX;
          m_dragPixelY = event->pressY;
          area->Pick(event->pressX, event->pressY, 1, 3, pick);
        }
      } else if (area->Pick(x, y, 0, 0, pick) && pick->node == m_dragNode) {
        area->Pick(x, y, 1, 2, pick);
      }
      break;
    case POLYGON:
      if (!selection.GetPolygonActive()) break;
      if (!area->Pick(x, y, 0, 0, pick)) {
        CollapseRubberBand();
      } else if (pick->found) {
        ToggleOutline();
        selection.MoveRubberBand(pick);
        ToggleOutline();
      }
      area->ShowPickText(pick);
      break;
    case RECTANGLE: {
      const int hit = area->Pick(x, y, 0, 2, pick);
      area->ShowPickText(pick);
      if (event->button == QK_BUTTON_LEFT && hit && m_dragNode) {
        ToggleOutline();
        selection.MoveRectangleCorner(pick->x, pick->y);
        ToggleOutline();
      }
      break;
    }
    default:
      break;
  }

  if (m_interactionMode != RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    area->AfterPass();
    Profile(event);
    area->AfterPass();
  }
}

void Qk_WorkAreaMouseTools::MouseRelease(Qk_GLEventRecord* event) {
  if (!event) return;
  Qk_GLWorkArea* area = m_area;
  // The profile ends before the overlay sees the release.
  if (m_interactionMode != RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    area->AfterPass();
    if (Profile(event) == 2) emit area->ProfileFailedSG();
    area->AfterPass();
  }
  Qk_GLOverlay* overlay = area->GetOverlay();
  if (overlay && overlay->MouseRelease(event)) return;
  Qk_WorkAreaSelection& selection = area->GetSelection();
  SDN_PickOut* pick = area->GetPickRecord();
  const int x = event->x;
  const int y = event->y;

  if (m_interactionMode == SELECT && event->button == QK_BUTTON_LEFT) {
    area->Pick(x, y, 1, 1, pick);
    if (!m_dragStarted) {
      if (area->PickRefreshed(x, y, 0, 0, pick)) {
        ToggleOutline();
        selection.SelectPicked(pick);
        Sd_Node::SetQueryPoint(pick->x, pick->y, pick->z);
        area->ShowPickText(pick);
        ToggleOutline();
        emit area->PickPointSG(pick);
      }
    } else {
      area->Pick(x, y, 1, 4, pick);
    }
    m_dragStarted = 0;
  } else if (m_interactionMode == POLYGON && event->button == QK_BUTTON_LEFT) {
    if (!area->PickRefreshed(x, y, 0, 0, pick)) {
      selection.MissPolygon();
    } else {
      ToggleOutline();
      if (selection.ClickPolygon(pick)) area->ShowPickText(pick);
      ToggleOutline();
    }
  } else if (m_interactionMode == RECTANGLE && event->button == QK_BUTTON_RIGHT) {
    if (!selection.GetRectangleActive()) {
      if (area->Pick(x, y, 0, 2, pick)) emit area->ExtractAreaCentreSG(pick->x, pick->y);
    } else {
      emit area->ExtractAreaSG();
    }
  }
}

void Qk_WorkAreaMouseTools::MouseDoubleClick(Qk_GLEventRecord* event) {
  if (!event) return;
  Qk_GLOverlay* overlay = m_area->GetOverlay();
  if (overlay && overlay->MouseDoubleClick(event)) return;
  if (m_interactionMode == POLYGON && event->button == QK_BUTTON_LEFT) m_area->GetSelection().RequestFinish();
}

void Qk_WorkAreaMouseTools::Leave() {
  CollapseRubberBand();
  if (m_interactionMode == READOUT) m_area->GetPicking().ClearPickText();
  if (Qk_GLOverlay* overlay = m_area->GetOverlay()) overlay->Leave();
}

void Qk_WorkAreaMouseTools::CollapseRubberBand() {
  if (m_interactionMode != POLYGON || !m_area->GetSelection().GetPolygonActive()) return;
  ToggleOutline();
  m_area->GetSelection().CollapseRubberBand();
  ToggleOutline();
}

int Qk_WorkAreaMouseTools::Profile(Qk_GLEventRecord* event) {
  if (!event) return 1;
  // A pass in progress has an incomplete depth buffer: start afresh, the
  // picks below draw a whole frame when they need one.
  if (m_area->IsRunning()) m_area->UpdateGL();
  m_area->MakeCurrent();
  if (std::abs(event->x - event->pressX) + std::abs(event->y - event->pressY) < kMinProfileDrag) return 1;
  SDN_PickOut* pick = m_area->GetPickRecord();
  if (!m_area->PickRefreshed(event->pressX, event->pressY, 0, 0, pick)) return 2;
  const double first[2] = {pick->x, pick->y};
  if (m_area->PickRefreshed(event->x, event->y, 0, 0, pick)) {
    m_profilePoint1[0] = first[0];
    m_profilePoint1[1] = first[1];
    m_profilePoint2[0] = pick->x;
    m_profilePoint2[1] = pick->y;
    m_profileActive = 1;
    emit m_area->ProfileSG(m_profilePoint1, m_profilePoint2);
  }
  return 0;
}
