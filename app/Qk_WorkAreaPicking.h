#ifndef QK_WORKAREAPICKING_H
#define QK_WORKAREAPICKING_H

#include <cstddef>

#include "Qk_WorkAreaPart.h"
#include "Sd_Node.h"

class DepthPicker;
class Qk_GLWorkArea;

// Picking for the work area: the depth picker, the pick request handed to
// the scene tree, and the status text of the last pick. Every pick reads
// the framebuffer object as the last frame left it, with that frame's
// projection, camera and global scale; the result goes into the scene's
// shared pick record.
class Qk_WorkAreaPicking : private Qk_WorkAreaPart {
 public:
  explicit Qk_WorkAreaPicking(Qk_GLWorkArea* area);
  ~Qk_WorkAreaPicking();

  // The work area's operations of the same names.
  int PickScene(SDN_PickIn* request, SDN_PickOut* out);
  int Pick(int x, int y, int kind, int action, SDN_PickOut* out);
  int PickRefreshed(int x, int y, int kind, int action, SDN_PickOut* out);
  int PickDepth(short x, short y, double* wx, double* wy, double* wz);
  int PickOrthographic(SDN_PickIn* request, SDN_PickOut* out);
  void ShowPickText(SDN_PickOut* pick);
  static void NormalizePoint(const double in[3], Sd_Node* node, double out[3]);
  // GeoPickPointSL: *z := the scene's height at (x, y) and *color its
  // packed colour (0 where no object has data; *z is then SD_PICK_NO_SURFACE).
  void GeoPickPoint(double x, double y, double* z, unsigned* color);

  // The status text of a pick record for a coordinate type ("Geo Coords
  // (x,y,z) -> (...)", the two-dimensional form when z is
  // SD_PICK_NO_SURFACE, ", Scalar = ..." unless the value is
  // SD_PICK_NO_VALUE); empty when the record's found flag is 0. Returns the
  // length written (cut to size - 1).
  static int FormatPickText(const SDN_PickOut* pick, int coordinateType, char* text, size_t size);
  // Emits SetPickInfoSG with an empty text.
  void ClearPickText();
  // The shared pick record drops its node and found flag (the tree goes).
  static void ForgetHit();

  // The picker's size follows the view.
  void SetSize(int w, int h);
  DepthPicker* GetPicker() const { return m_picker; }
  SDN_PickIn* GetPickRequest() { return &m_pickRequest; }

 private:
  // One 9 x 9 depth search with the frame's projection and camera; 0 found.
  int DepthSearch(int x, int y, double* wx, double* wy, double* wz);
  // Stores pixel, query kind and action code in the pick request; false
  // (nobody is to be asked) without a record, or for a pixel outside the
  // viewport, whose found flag is then cleared.
  bool StorePickRequest(int x, int y, int kind, int action, SDN_PickOut* out);
  // One whole frame for a pick that missed while a pass was refining the
  // picture (the caller has begun exploring), with the model-view matrix
  // kept as it was.
  void DrawFrameForPick();
  // Whether a pass is drawing into the picture the reads see, whose depth
  // buffer it cleared (a pass drawn hidden leaves a whole frame on show, and
  // one drawn in place keeps a copy of it for the reads).
  bool ShownPictureIncomplete() const;

  DepthPicker* m_picker;
  SDN_PickIn m_pickRequest;
  char m_pickText[256];
};

#endif
