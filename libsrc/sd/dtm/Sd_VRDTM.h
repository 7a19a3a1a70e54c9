#ifndef SD_VRDTM_H
#define SD_VRDTM_H

#include <memory>

#include "Sd_BaseDTM.h"

class Sv_Texture;

// The "VR-DTM" (object tag 10045, settings tag 10046, node type 29): a
// terrain grid drawn whole in the unit cube of its grid space, for walking
// through. One code value of the object record marks nodes without a value,
// which solid drawing leaves out; an optional texture repeats over the
// surface; a full-resolution window of cells can follow the picked cell
// while the rest is drawn coarsely; a grey cross marks the last pick.
//
// Drawing modes: 0 wire frame (no-data nodes drawn like the others), 1 and 2
// solid (strips broken at no-data nodes), 4 solid with the texture when one
// is loaded and enabled; any other mode draws no surface. Render draws at
// the draw step (and the window at stride 1 in window mode); a progressive
// pass draws from row 0 upwards at the pass step (stride 1 in the best
// pass), without the window.
//
// Records: the object record (the no-data code), the elevation and colour
// SCALAR records, the common tags and the settings record 10046
// (docs/file-formats.md). A loaded object is saved as a file-pointer record
// naming the file it came from, without its grids; one made in memory, or
// saved into the file it came from, writes its records.
class Sd_VRDTM : public Sd_BaseDTM {
 public:
  static constexpr int kTypeId = 29;
  // Grey of the pick marker.
  static constexpr float kMarkerGrey = 0.67f;

  Sd_VRDTM();
  // Switches the texture off and deletes it (needs the context the texture
  // was used in to be current when it was ever applied).
  ~Sd_VRDTM() override;

  // Reads the object record's payload (the factory has read its header),
  // the two SCALAR records and the common tags with the settings. 0; -1 for
  // a missing, damaged or mismatched record or a grid below 2 x 2 nodes,
  // with no grids kept.
  int LoadObject(TDR_Manager* manager) override;
  // A file-pointer record naming the description (the file the object was
  // read from) when that is another existing file, else the object's own
  // records (SaveDataRecords); then, with withCommonTags, the common tags
  // and the settings record. 0, or -1 without grids or on a failed write.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The object record, the two SCALAR records and (withCommonTags) the
  // common tags with the settings. 0, or -1.
  int SaveDataRecords(TDR_Manager* manager, int withCommonTags);
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small terrain with a hole of no-data nodes and its settings.
  static int WriteSample(TDR_Manager* manager);
  const char* className() const override;

  // --- detail settings: the draw step; full detail is step 1 ---
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // --- drawing ---
  void Render() override;
  int StepRender() override;
  // Screen pick: a point on a cell of rows and columns from 1 up becomes the
  // marker (window mode off, drawn at once into the current draw buffer) or
  // the window's centre (window mode on) and goes to the query callback as
  // (x, y, z) of the bounds; any other point clears the marker. Always 0:
  // the terrain never answers a pick as the hit object.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;

  // --- settings ---
  // Mode 4 turns texturing on when a texture is loaded (else a message, the
  // mode staying 4 and drawing solid); any other mode turns it off.
  void SetMode(short mode);
  short GetMode() const { return m_drawMode; }
  // Strides of Render and of ordinary progressive passes, at least 1.
  void SetDrawStep(int step);
  void SetPassStep(int step);
  int GetDrawStep() const { return m_drawStep; }
  int GetPassStep() const { return m_passStep; }
  void SetSpareSetting(int value) { m_spareSetting = value; }
  int GetSpareSetting() const { return m_spareSetting; }
  // Alpha 0 ... 255; below 255 the surface is drawn blended and every
  // colour but those of the last row and the last column gets the alpha.
  void SetAlpha(int alpha);
  int GetAlpha() const { return m_alpha; }
  unsigned short GetNoDataCode() const { return m_noDataCode; }
  void SetNoDataCode(unsigned short code) { m_noDataCode = code; }

  // --- texture, window, matrix and cells ---
  // Loads an image file as the texture (RGBA): 0; -1 with a message, the
  // previous texture kept, when it cannot be read or its name is longer
  // than 255 characters.
  virtual int LoadTexture(const char* file);
  // Frees the texture's pixels (the texture stays loaded) and turns
  // texturing off.
  virtual void ReleaseTexture();
  virtual void EnableTexture();
  virtual void DisableTexture();
  virtual bool HasTexture();
  // Copies the texture's file name (at most 255 characters: LoadTexture
  // refuses a longer one) into out (room for 256), and returns out.
  virtual char* GetTextureFileName(char* out);
  virtual void EnableWindowMode();
  virtual void DisableWindowMode();
  virtual unsigned char GetWindowMode();
  virtual void SetWindowSize(int rows, int cols);
  // The model-view matrix of the grid space at the last drawing.
  virtual void GetMatrix(double out[16]);
  virtual void MultMatrix();
  // Code of node (row, col): 0.0 outside the grid, -maximum code on a
  // no-data node.
  virtual double GetElevationCode(int col, int row);
  virtual void GetPickedCell(int* row, int* col);
  virtual void SetWindowMargin(int margin);
  virtual void SetWindowCenter(int row, int col);

  bool TextureOn() const { return m_textureOn != 0; }
  // The window: rows [rowStart, rowEnd), columns [colStart, colEnd).
  void GetFullResWindow(int* rowStart, int* rowEnd, int* colStart, int* colEnd) const;
  // Marker in grid space (column, row, code); column -1 when none.
  const float* GetPickPosition() const { return m_pickPos; }
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }

 protected:
  // The settings record 10046; nothing else.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  // Vertex ranges drawn at stride 1 in window mode: rows [rowStart, rowEnd),
  // columns [colStart, colEnd), widened by the coarse pairs left out.
  struct FullResBounds {
    int rowStart, rowEnd, colStart, colEnd;
  };

  void RecomputeWindow();
  // True when the surface is drawn textured now.
  bool Textured() const;
  // The drawing passes: node transform, bounding box and grid space; the
  // strips of a pass at the given column stride; what ends the pass.
  PassHooks VRPassHooks(bool whole, FullResBounds* window);
  // Rows r and r2 (r < r2) over the given columns (start, start + s, ...,
  // and the last column end - 1), as the draw mode wants; in window mode
  // (window not null) the pairs inside the grown window are left out and
  // widen it.
  void DrawStrip(int r, int r2, int colStart, int colEnd, int s, FullResBounds* window);
  // Solid strips broken at no-data nodes (and at pairs of the window).
  void DrawSolidStrip(int r, int r2, int colStart, int colEnd, int s, FullResBounds* window);
  void DrawWireStrip(int r, int r2, int colStart, int colEnd, int s);
  // The full-resolution window, clamped to the grid.
  void DrawFullResWindow(FullResBounds window);
  // Grey lines through the marker, halfLength codes along z and halfWidth
  // cells along x and y.
  void DrawMarker(float halfLength, float halfWidth) const;
  // Whether the pair of column c between rows r and r2 (next: the column
  // of the next pair) lies in the window grown by the margin.
  bool InGrownWindow(int r, int r2, int c, int next) const;
  // A node holds the no-data code.
  bool NoData(int r, int c) const { return ElevationRows()[r][c] == m_noDataCode; }

  double m_viewMatrix[16];
  unsigned char m_windowMode;
  int m_windowCols, m_windowRows;
  int m_windowMargin;
  int m_windowCentreRow, m_windowCentreCol;
  int m_windowRowStart, m_windowRowEnd, m_windowColStart, m_windowColEnd;
  float m_textureRepeatX, m_textureRepeatY;
  int m_drawStep;
  int m_passStep;
  int m_spareSetting;
  int m_pickCell[2];
  std::unique_ptr<Sv_Texture> m_texture;
  unsigned char m_textureOn;
  char m_textureFile[256];
  int m_texEnvMode;
  unsigned short m_noDataCode;
};

#endif
