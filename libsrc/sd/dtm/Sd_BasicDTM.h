#ifndef SD_BASICDTM_H
#define SD_BASICDTM_H

#include "Sd_GridDTM.h"

// The "Uniform DTM" (object tag 10000, settings tag 10002, node type 11): a
// terrain grid in which every node holds a height, drawn as a coloured
// surface (solid) or a mesh of lines (wire frame) over the visible window of
// the grid at the stride that Optimize chooses.
//
// Records: the empty object record 10000, the elevation SCALAR, the colour
// SCALAR, the common tags and the settings record 10002 (docs/file-formats.md).
// A record that cannot be read makes LoadObject fail (-1) and leaves the
// object without grids: it draws only its bounding box and answers no pick.
//
// Drawing, picking, detail settings and the settings record are those of
// the grid models (Sd_GridDTM); its own rules: every cell answers picks, a
// pick on the grid whose height is out of range keeps its pick position,
// and SetAlpha(255) leaves the colours' alpha bytes as they are.
class Sd_BasicDTM : public Sd_GridDTM {
 public:
  static constexpr int kTypeId = 11;
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

  const char* className() const override;
  int Hook2(int a, int b, int c, int d, unsigned char* flag) override;

 private:
  // Draws the strip between rows r and r2 with column stride s over the
  // visible window, as a surface or a mesh by the draw mode.
  void DrawStrip(int r, int r2, int s) override;
  void DrawSolidStrip(int r, int r2, int s);
  void DrawWireStrip(int r, int r2, int s);
};

#endif
