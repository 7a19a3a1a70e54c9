#ifndef QK_WORKAREAMOUSETOOLS_H
#define QK_WORKAREAMOUSETOOLS_H

#include "Qk_WorkAreaPart.h"

struct Qk_GLEventRecord;
class Qk_GLWorkArea;
class Sd_Node;

// The tools of the work area's interaction modes. Every mouse event is
// offered to the current overlay first; what it does not consume drives the
// tool of the interaction mode:
//   0  coordinate readout: the status text follows the pointer;
//   1  point selection (left click) and object drag (left drag of more than
//      4 pixels that starts on an object);
//   2  polygon selection: left clicks add vertices, a rubber band follows
//      the pointer, a left double click finishes the polygon;
//   4  extraction rectangle: left drag draws it, a right click extracts.
// In every mode but 4 a right-button drag defines a profile line, which
// whoever shows the profile draws (RenderProfileLineSG).
//
// The tools keep the interaction mode, the object drag and the profile
// line; what they select is the work area's selection.
class Qk_WorkAreaMouseTools : private Qk_WorkAreaPart {
 public:
  explicit Qk_WorkAreaMouseTools(Qk_GLWorkArea* area);

  // The work area's mouse and leave handlers.
  void MousePress(Qk_GLEventRecord* event);
  void MouseDoubleClick(Qk_GLEventRecord* event);
  void MouseMove(Qk_GLEventRecord* event);
  void MouseRelease(Qk_GLEventRecord* event);
  void Leave();
  // The work area's operations of the same names.
  int Profile(Qk_GLEventRecord* event);
  int GetProfileLine(double* point1, double* point2);
  void SetInteractionMode(int mode);
  void SetLastInteractionMode(int mode) { m_lastInteractionMode = mode; }
  int GetInteractionMode() const { return m_interactionMode; }
  int GetLastInteractionMode() const { return m_lastInteractionMode; }

  // "Erase" and "redraw" of the tools: the work area's AfterPass, only on
  // a finished picture (the idle timer suspended).
  void ToggleOutline();
  // A profile to be reported after the next frame (EmitPendingProfile
  // emits it once).
  void RequestProfile(const double first[2], const double second[2]);
  void EmitPendingProfile();
  // Ends an object drag (the polygon was handed out).
  void EndDrag() { m_dragStarted = 0; }
  // Ends the drag and the profile (the scene they belong to goes).
  void Forget();

  int GetDragStarted() const { return m_dragStarted; }
  // Mode 1: the dragged object; mode 4: the rectangle's object.
  Sd_Node* GetDragNode() const { return m_dragNode; }
  int GetProfileActive() const { return m_profileActive; }

 private:
  // The rubber band of the polygon tool goes back to the newest vertex.
  void CollapseRubberBand();

  int m_interactionMode;
  int m_lastInteractionMode;
  int m_dragStarted;
  Sd_Node* m_dragNode;
  int m_dragPixelX;
  int m_dragPixelY;
  int m_profileActive;
  double m_profilePoint1[2];
  double m_profilePoint2[2];
  int m_profileRequest;
};

#endif
