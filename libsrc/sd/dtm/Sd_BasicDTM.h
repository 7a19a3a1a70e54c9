#ifndef SD_BASICDTM_H
#define SD_BASICDTM_H

#include <vector>

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
  // The common tags, then every settings record that follows (a later one
  // wins); the first other tag is left for the caller. -1 when a common tag
  // is damaged.
  int ReadCommonTags(TDR_Manager* manager) override;
  int WriteCommonTags(TDR_Manager* manager) override;

  // Keeps / restores the stride and the automatic level-of-detail flag in
  // the node's data buffer; ResetSettings draws at full detail (stride 1,
  // no automatic choice) and returns 1.
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // The whole visible window at the chosen stride.
  void Render() override;
  // One step of a progressive pass: 0 begins (matrix pushed, window chosen),
  // then up to five strips upwards and five downwards from the view-centre
  // row per call; returns 1 when the pass is finished (matrix popped), 0
  // otherwise. The redraw-pending flag abandons the pass: the matrix is
  // popped if the pass pushed it and 0 is returned.
  int StepRender() override;
  const char* className() const override;

  // Screen pick through the request's depth picker: 1 on a hit (on the
  // grid, not on its last row or column), with the bilinear height and
  // colour in out unless the request's mode asks for the hit test only.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // 1 when (x, y) lies in the grid's bounds and its height is valid; the
  // height goes to the query callback (not on the last row or column).
  int ValueAt(double x, double y, int user) override;
  // Height (and colour) at a geographic point; 1e12 outside the bounds.
  double GeoPickPoint(double x, double y, unsigned* colour) override;
  int Hook2(int a, int b, int c, int d, unsigned char* flag) override;

  // Alpha 0 ... 255 of the colours; any value but 255 replaces the alpha
  // byte of every colour and draws blended.
  void SetAlpha(int alpha);
  int GetAlpha() const { return m_alpha; }
  // 0 wire frame, 1 solid; other values draw nothing but the bounding box.
  void SetDrawMode(short mode) { m_drawMode = mode; }
  short GetDrawMode() const { return m_drawMode; }
  void SetAutoLOD(int on) { m_autoLod = on; }
  // Grid column, row and code of the last screen pick; column -1 after a miss.
  const float* GetPickPosition() const { return m_pickPos; }
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }

 private:
  // Node transform, bounding box (when asked) and grid space.
  void EnterGridSpace(bool boundingBox);
  void BeginBlending();
  static void EndBlending();
  // Draws the strip between rows r and r2 with column stride s over the
  // visible window, as a surface or a mesh by the draw mode.
  void DrawStrip(int r, int r2, int s);
  void DrawSolidStrip(int r, int r2, int s);
  void DrawWireStrip(int r, int r2, int s);
  // Reads one settings record; a damaged one is skipped with a message.
  void ReadSettings(TDR_Manager* manager);
  // Bilinear height and colour inside the cell (row, col) at the fractions
  // fy, fx; false when the cell's base height is outside the z bounds.
  bool Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const;
  bool HeightInRange(double height) const;
  // Row and column position of a geographic point (fractional).
  void GridPosition(double x, double y, double* ry, double* cx) const;
  // Ends an open progressive pass: pops what it pushed, resets blending.
  void CloseStepPass();

  short m_drawMode;
  int m_alpha;
  float m_pickPos[3];
  int m_stepState;
  int m_pushCount;

  // Vertex and colour arrays of one strip.
  std::vector<float> m_stripVertices;
  std::vector<unsigned int> m_stripColours;
};

#endif
