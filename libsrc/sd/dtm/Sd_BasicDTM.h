#ifndef SD_BASICDTM_H
#define SD_BASICDTM_H

#include "Sd_BaseDTM.h"

// The "Uniform DTM" (object tag 10000, settings tag 10002, node type 11): a
// terrain grid in which every node holds a height, drawn as a coloured
// surface (solid) or a mesh of lines (wire frame) over the visible window of
// the grid at the stride that Optimize chooses.
//
// Records: the empty object record 10000, the elevation SCALAR, the colour
// SCALAR, the common tags and the settings record 10002 (docs/file-formats.md).
// A record that cannot be read makes LoadObject fail (-1) and leaves the
// object without grids: it draws only its bounding box and answers no pick.
class Sd_BasicDTM : public Sd_BaseDTM {
 public:
  Sd_BasicDTM();
  ~Sd_BasicDTM() override;

  // Reads the object record's payload (the factory has read its header),
  // the two SCALAR records and the common tags with the settings. 0 on
  // success; -1 for a missing, damaged or mismatched record, with the
  // following record left for the caller.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record, the two SCALAR records and, when
  // withCommonTags is non-zero, the common tags with the settings record.
  // 0 on success, -1 without grids or when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // A small uniform DTM with its common tags and settings (the factory's
  // sample).
  static int WriteSample(TDR_Manager* manager);

  // Keeps / restores the stride and the automatic level-of-detail flag in
  // the node's data buffer; ResetSettings draws at full detail (stride 1,
  // no automatic choice) and returns 1.
  void SaveSettings() override { SaveDetail(); }
  void RestoreSettings() override { RestoreDetail(); }
  int ResetSettings() override { return ResetDetail(); }

  // The whole visible window at the chosen stride.
  void Render() override { RenderGrid(); }
  // One step of a progressive pass (Sd_BaseDTM::StepRenderGrid): returns 1
  // when the pass is finished (matrix popped), 0 otherwise; the
  // redraw-pending flag abandons the pass.
  int StepRender() override { return StepRenderGrid(); }
  const char* className() const override;

  // Screen pick through the request's depth picker: 1 on a hit (on the
  // grid, not on its last row or column), with the bilinear height and
  // colour in out unless the request's mode asks for the hit test only. A
  // point on the grid keeps its pick position even when its height is out
  // of range.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override { return PickGrid(request, out, true); }
  // 1 when (x, y) lies in the grid's bounds and its height is valid; the
  // height goes to the query callback (not on the last row or column).
  int ValueAt(double x, double y, int user) override { return GridValueAt(x, y, user); }
  // Height (and colour) at a geographic point; 1e12 outside the bounds.
  double GeoPickPoint(double x, double y, unsigned* colour) override { return GridGeoPick(x, y, colour); }
  int Hook2(int a, int b, int c, int d, unsigned char* flag) override;

  // Alpha 0 ... 255 of the colours; any value but 255 replaces the alpha
  // byte of every colour and draws blended.
  void SetAlpha(int alpha);

 private:
  // Draws the strip between rows r and r2 with column stride s over the
  // visible window, as a surface or a mesh by the draw mode.
  void DrawStrip(int r, int r2, int s) override;
  void DrawSolidStrip(int r, int r2, int s);
  void DrawWireStrip(int r, int r2, int s);
};

#endif
