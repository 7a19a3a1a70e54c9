#ifndef QK_WORKAREASELECTION_H
#define QK_WORKAREASELECTION_H

#include "Qk_WorkAreaPart.h"
#include "Sd_Node.h"

class Qk_GLWorkArea;

// One vertex of the selection polygon. The list is doubly linked with the
// newest vertex at its head.
struct Qk_PolygonVertex {
  double x, y, z;              // the picked point, in the data units of node
  Sd_Node* node;               // the object the point was picked on (null: the scene)
  Qk_PolygonVertex* next;      // the next older vertex
  Qk_PolygonVertex* previous;  // the next newer vertex
};

// What the mouse tools have selected in the work area's scene (a point, a
// polygon with the rubber band of the one being built, an extraction
// rectangle) and its outline over the picture. The outline is drawn with
// XOR, so drawing it twice restores the picture exactly: the tools erase it
// before a selection changes and draw it again afterwards, on a finished
// picture only. It never writes depth, so picks see the scene and not the
// outline. All node pointers are reset when the tree is released (Forget).
class Qk_WorkAreaSelection : private Qk_WorkAreaPart {
 public:
  explicit Qk_WorkAreaSelection(Qk_GLWorkArea* area);
  // Frees the polygon.
  ~Qk_WorkAreaSelection();

  // The work area's operations of the same names.
  void AddPolygonVertex(const double point[3], Sd_Node* node);
  void FreePolygon();
  void ResetSelection();
  const double* GetSelectedPoints(int* count) const;
  // GetPolygon for the interaction mode in force (ends polygon building;
  // the mouse tools end a drag).
  int GetPolygon(Qk_PolygonVertex** head, int* closed, int interactionMode);
  // SelectPointSL: the point pt (x, y, z), as if it had been picked.
  void SelectPoint(const double pt[3]);
  // Ends every selection (the scene it belongs to goes).
  void Forget();

  // The tools' steps. A click that hit: the point selected
  // (SelectPicked); the rubber band's end (MoveRubberBand) or back to the
  // newest vertex (CollapseRubberBand). A polygon click that hit
  // (ClickPolygon) starts a polygon when none is being built and adds the
  // point (true), or finishes the polygon after a double click asked for
  // it (false: closed with more than 2 vertices); one that hit nothing
  // (MissPolygon) ends a polygon whose finish was asked for. The rectangle
  // starts (StartRectangle) and follows its second corner
  // (MoveRectangleCorner).
  void SelectPicked(const SDN_PickOut* pick);
  void MoveRubberBand(const SDN_PickOut* pick);
  void CollapseRubberBand();
  void RequestFinish() { m_finishRequest = 1; }
  bool ClickPolygon(const SDN_PickOut* pick);
  void MissPolygon();
  void StopRectangle() { m_rectangleActive = 0; }
  void StartRectangle(double x, double y);
  void MoveRectangleCorner(double x, double y);

  // The outline: DrawOverPicture is AfterPass's drawing (both eyes in
  // stereo, into the front buffer), DrawOutline the work area's operation.
  void DrawOverPicture();
  void DrawOutline(int xorMode);

  int GetPointSelected() const { return m_pointSelected; }
  Sd_Node* GetSelectedNode() const { return m_selectedNode; }
  Qk_PolygonVertex* GetPolygonHead() const { return m_polygon; }
  int GetPolygonSize() const;
  int GetPolygonActive() const { return m_polygonActive; }
  int GetPolygonClosed() const { return m_polygonClosed; }
  int GetFinishRequest() const { return m_finishRequest; }
  const double* GetMovingPoint() const { return m_movingPoint; }
  Sd_Node* GetMovingNode() const { return m_movingNode; }
  int GetRectangleActive() const { return m_rectangleActive; }
  // x0, x1, y0, y1 of the extraction rectangle.
  void GetRectangle(double out[4]) const;

 private:
  // Draws the point marker, the polygon and the rectangle (of node).
  void DrawPointMarker();
  void DrawPolygonOutline();
  void DrawRectangleOutline(Sd_Node* node);

  int m_pointSelected;
  double m_selectedPoint[3];
  Sd_Node* m_selectedNode;
  Qk_PolygonVertex* m_polygon;
  int m_polygonActive;
  int m_polygonClosed;
  int m_finishRequest;  // a double click asked the next release to finish the polygon
  double m_movingPoint[3];
  Sd_Node* m_movingNode;
  double m_rectangle[4];  // x0, x1, y0, y1
  int m_rectangleActive;
};

#endif
