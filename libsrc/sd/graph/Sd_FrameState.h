#ifndef SD_FRAMESTATE_H
#define SD_FRAMESTATE_H

// What drawing needs of the OpenGL view: projection and model-view matrices
// (OpenGL's column-major order) and the viewport (x, y, width, height).
struct Sd_DTMView {
  float projection[16];
  float modelview[16];
  int viewport[4];

  // The current OpenGL state (needs a current context).
  static Sd_DTMView FromGL();
};

// The drawing state of one frame, shared by every node of the tree: set
// once per frame by whoever draws the tree (the work area), read by the
// nodes while they draw. Sd_Node holds the one record of the process
// (Sd_Node::FrameState) and keeps its named accessors (SetDetailBudget,
// GetBestPass, ...) for each field.
struct Sd_FrameState {
  // Detail factor of automatic level of detail; 0 switches it off.
  float detailBudget = 0.0f;
  // Detail-request bits the nodes add while drawing: 1 more detail is
  // possible, 2 less detail is possible. Cleared when a frame begins.
  unsigned detailFlags = 0;
  // 1 only while the progressive renderer draws its best pass.
  int bestPass = 0;
  // 1 once a node has drawn with blending since the frame began: its
  // pixels mix with what lay under them.
  int blended = 0;
  // The work area's global scale, which the group fit rewrites, and its
  // base value.
  float* globalScale = nullptr;
  float globalScaleBase = 0.0f;
  // A fixed view that objects draw and window with instead of OpenGL's
  // state (tests hand in synthetic views); null for OpenGL's.
  const Sd_DTMView* view = nullptr;

  // The view an object windows its data with now.
  Sd_DTMView CurrentView() const { return view ? *view : Sd_DTMView::FromGL(); }
};

#endif
