#ifndef SD_GRIDDTM_H
#define SD_GRIDDTM_H

#include "Sd_BaseDTM.h"

// The terrain models drawn as strips of their grid over the visible window
// (the uniform and the non-contiguous model, and the models derived from
// them): everything they do alike, once.
//
// - Drawing: Render draws the visible window at the chosen stride, strip by
//   strip; StepRender draws the same strips progressively, from the row
//   under the view centre outwards, up to five strips upwards and five
//   downwards per call. A model supplies only its strips (DrawStrip).
// - Picking: QueryPoint (screen pick through the depth picker), ValueAt
//   (value query through the query callback) and GeoPickPoint (height at a
//   geographic point) blend the four corners of a cell bilinearly. A model
//   says which cells answer (CellFilled) and what value a node carries
//   besides its height (AltValueAt).
// - Detail settings: the stride and the automatic level-of-detail flag are
//   kept in and restored from the node's data buffer; full detail is
//   stride 1 without automatic choice.
// - Records: the elevation and colour SCALAR records after the object's own
//   record, and the settings record (draw mode, alpha, stride, automatic
//   level of detail) among the common tags.
//
// What differs between the models is data (GridRules, given to the
// constructor) or one of the hooks above.
class Sd_GridDTM : public Sd_BaseDTM {
 public:
  ~Sd_GridDTM() override;

  // The whole visible window at the chosen stride (Optimize); the window
  // fields are left as they were before the call.
  void Render() override;
  // One step of a progressive pass: the first call pushes the matrix and
  // chooses the window and the stride (the least stride while the best-pass
  // flag is set, else half the stride); then each call draws up to five
  // strips upwards and five downwards from the row under the view centre;
  // the call after the last strip pops the matrix and returns 1 (0 before).
  // The redraw-pending flag abandons the pass: the matrix is popped if the
  // pass pushed it, and 0 is returned.
  int StepRender() override;

  // Screen pick through the request's depth picker: 1 on a hit in a cell
  // that answers (not on the last row or column), with the bilinear height
  // and colour (and the node's alternate value, if any) in out unless the
  // request's mode asks for the hit test only.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // 1 when (x, y) lies in the grid's bounds inside a cell that answers (the
  // height goes to the query callback), or on the last row or column (no
  // value); 0 otherwise.
  int ValueAt(double x, double y, int user) override;
  // Height (and colour) at a geographic point; SD_PICK_NO_SURFACE outside
  // the bounds or in a cell that does not answer. On the top or right edge
  // the edge node's own height answers.
  double GeoPickPoint(double x, double y, unsigned* colour) override;

  // --- drawing settings ---
  int GetAlpha() const { return m_alpha; }
  // Alpha 0 ... 255 of the colours, written into the alpha byte of every
  // colour (by the model's rule, also for 255 or not); values below 255
  // draw blended.
  void SetAlpha(int alpha);
  // 0 wire frame, 1 solid; other values draw nothing but the bounding box.
  void SetDrawMode(short mode) { m_drawMode = mode; }
  short GetDrawMode() const { return m_drawMode; }
  // Grid column, row and code of the last screen pick; column -1 after a miss.
  const float* GetPickPosition() const { return m_pickPos; }
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }

 protected:
  // What sets one grid model apart from another.
  struct GridRules {
    // The settings record (among the common tags) and the debug message of
    // a damaged one, which is skipped with the settings kept.
    int settingsTag;
    const char* damagedSettings;
    // A screen pick on the grid whose cell does not answer keeps its grid
    // position in the pick position (else the column becomes -1).
    bool keepRefusedPickPosition;
    // SetAlpha(255) also writes 255 into every colour's alpha byte (else
    // the colours keep their alpha bytes).
    bool writeOpaqueAlpha;
  };
  explicit Sd_GridDTM(const GridRules& rules);

  // --- records ---
  // Takes the settings record; nothing else.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The node's common tags and the settings record (version 2: draw mode,
  // alpha, stride, automatic level of detail, 0).
  int WriteCommonTags(TDR_Manager* manager) override;

  // --- drawing ---
  // Draws the strip between rows r and r2 (r < r2) with column stride s
  // over the visible window, as a surface or a mesh by the draw mode. Only
  // called while HasDrawableGrids() holds, inside grid space.
  virtual void DrawStrip(int r, int r2, int s) = 0;
  // Grid space, Optimize's window and DrawStrip, for the drawing passes.
  PassHooks GridPassHooks();

 private:
  // Reads one settings record; a damaged one is skipped with the message.
  void ReadSettingsRecord(TDR_Manager* manager);

  GridRules m_rules;
};

#endif
