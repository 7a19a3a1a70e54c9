#ifndef SD_SONARDTM_H
#define SD_SONARDTM_H

#include <vector>

#include "Sd_GridDTM.h"

// The "Non-Cont. DTM" (object tag 10005, settings tag 10007, node type 12):
// a terrain grid whose nodes may be empty, as survey grids with gaps are. A
// node is empty when its code equals the DTM's empty code (stored in the
// object record). Drawing breaks its strips at empty nodes; picks and queries
// answer only inside cells whose four corners hold heights.
//
// Besides heights and colours the DTM may carry a grid of alternate values
// (16-bit codes standing for values between the alternate range's minimum
// and maximum), which a pick reports as its value, and it keeps a default
// colour map of 256 colours ($WRUHOME/cmaps/step16.cmap) for its analysis
// operations.
//
// Records: the object record 10005 (the empty code), the elevation SCALAR,
// the colour SCALAR, the common tags, the settings record 10007 and, when
// present, the alternate-value SCALAR (docs/file-formats.md). A record that
// cannot be read makes LoadObject fail (-1) and leaves the object without
// grids: it draws only its bounding box and answers no pick.
//
// Drawing, level of detail, picking and the settings record are those of
// the grid models (Sd_GridDTM), as in the uniform DTM (Sd_BasicDTM), with the
// strips, corner tests and alternate values of this class; its own rules: a
// pick whose cell is refused clears its pick position, and SetAlpha writes
// the alpha byte of every colour, also for 255. The node's z scale starts
// at 0.2 and the progressive stride at 10.
class Sd_SonarDTM : public Sd_GridDTM {
 public:
  Sd_SonarDTM();
  ~Sd_SonarDTM() override;

  // Releases the float height grid, then every grid of the base class.
  void FreeData() override;
  // Reads the object record's payload (the factory has read its header: an
  // f32 at tag version 0, then the empty code), the two SCALAR records and
  // the common tags with the settings and alternate values. 0 on success; -1
  // for a missing, damaged or mismatched record, with the record found
  // instead left for the caller.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record, the two SCALAR records and, when
  // withCommonTags is non-zero, the common tags, the settings record and the
  // alternate values. 0 on success, -1 without grids or when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The common tags, the settings record and the alternate values.
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small non-contiguous DTM with a gap, alternate values, common tags and
  // settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  const char* className() const override;

  // --- alternate values ---
  // Reads the payload of an alternate-value SCALAR record whose header the
  // caller has read. The grid must have the DTM's rows and columns. 0 on
  // success; -1 (after a debug message, alternate values unchanged) for a
  // record of another size, a short record or a DTM without grids.
  int LoadAltValues(TDR_Manager* manager);
  // Writes the whole alternate-value record (header, payload, end). 0, or -1
  // without alternate values or when a write fails.
  int SaveAltValues(TDR_Manager* manager);
  // A new, zeroed alternate-value grid of the DTM's size, which replaces any
  // earlier one. rows and cols must be the DTM's; null otherwise or when out
  // of memory.
  unsigned short** AllocAltValues(int rows, int cols);
  int HasAltValues() const { return GetAltValues() != nullptr; }
  void GetAltRange(double* min, double* max) const;
  void SetAltRange(double min, double max);
  // The value an alternate code stands for: code / 65535 (max - min) + min.
  double AltCodeToValue(double code) const;

  // --- empty nodes ---
  unsigned short GetEmptyCode() const { return m_emptyCode; }
  void SetEmptyCode(unsigned short code) { m_emptyCode = code; }
  bool IsEmpty(int row, int col) const;

  // --- default colour map ---
  // Reads $WRUHOME/cmaps/step16.cmap into the default colour map. 1 on
  // success; 0 when WRUHOME is unset or the file cannot be read, and the
  // map then holds the built-in ramp (TDR_UtlBuiltInColormap). A missing
  // WRUHOME or file is reported once per process. The constructor calls it.
  int LoadDefaultColorMap();
  int IsColorMapLoaded() const { return m_colorMapLoaded; }
  const unsigned* GetDefaultColorMap() const { return m_defaultColorMap; }

  // --- query polygon (filled by the caller for the analysis operations) ---
  // Vertex arrays of n points each, replacing earlier ones; n below 1
  // releases them. 0 on success, -1 when out of memory.
  int SetQueryPolygonSize(int n);
  int GetQueryPolygonSize() const { return m_polygonCount; }
  void GetQueryPolygon(float** x, float** y);

  // --- copies ---
  // Takes the minimum and maximum code of another DTM and gives this node a
  // new georeference spanning this node's bounds.
  void SetupFrom(const Sd_BaseDTM* other);
  // Makes this DTM a copy of other: node flags, transform, auxiliary data,
  // bounds, own copies of the height and colour grids, codes, settings,
  // empty code and georeference (alternate values are not copied). -1 (and
  // no grids) when out of memory; 0 otherwise.
  int CopyFrom(const Sd_SonarDTM* other);

  // Releases a float grid of rows rows (each row, then the table).
  static void FreeFloatGrid(float** grid, int rows);
  float** GetFloatGrid() const { return m_floatGrid; }
  float GetFloatNoValue() const { return m_floatNoValue; }

 protected:
  // Draws the strip from row r to row r2 over the visible window's columns
  // at stride s, as a surface or a mesh by the draw mode; the nodes of row
  // r - s (when there is one) stand in for empty ones of row r.
  void DrawStrip(int r, int r2, int s) override;
  void DrawSolidStrip(int r, int r2, int rPrev, int s);
  void DrawWireStrip(int r, int r2, int rPrev, int s);
  // The columns a strip visits: the window's at the stride, then its last.
  void StripColumns(int s);
  // Picks and queries answer only in cells whose four corners hold heights.
  bool CellFilled(int row, int col) const override;
  // The alternate value of node (row, col), when there are alternate values.
  bool AltValueAt(int row, int col, double* value) const override;
  // Takes the alternate-value SCALAR record and the settings record among
  // the records after the object's own.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  void ReleaseQueryPolygon();

  int m_queryType;
  double m_altRange[2];
  float** m_floatGrid;
  unsigned short m_emptyCode;
  float m_floatNoValue;
  unsigned m_defaultColorMap[256];
  int m_colorMapLoaded;
  int m_polygonCount;
  float* m_polygonX;
  float* m_polygonY;

 private:
  // The columns a strip visits and the (first, count) pairs of its pieces
  // between gaps.
  std::vector<int> m_stripColumns;
  std::vector<int> m_stripPieces;
};

#endif
