#ifndef SD_SONARDTM_H
#define SD_SONARDTM_H

#include <memory>
#include <vector>

#include "Sd_GridDTM.h"

class Sd_Plane;
class Sd_PolygonWindow;

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
  static constexpr int kTypeId = 12;
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

  // --- terrain analysis (Sd_SonarDTMQuery.cpp) ---
  // None of it runs in the viewer. The operations work on a float copy of
  // the heights in map units (the float grid): a node's height is (code -
  // min code) (zmax - zmin) / (max code - min code) + zmin, and an empty
  // node holds the float no-value marker (1e6). A height h is a value when
  // h <= marker - 1 for quantising and colouring, h < marker - 1 for
  // interpolation and resampling.
  //
  // A derived model is made by calling one of the Query operations on a
  // fresh DTM: it gets grids of its own (codes over the first input's code
  // range, colours from the default colour map), bounds spanning its values
  // and a georeference, and then draws, picks and saves as any other.

  // A float grid of rows x cols (one row each; FreeFloatGrid releases it);
  // null for a size below 1 or when out of memory.
  static float** AllocFloatGrid(int rows, int cols);
  // Builds the float grid from the codes, replacing any earlier one. 0, or
  // -1 without a height grid or when out of memory.
  int MakeFloatGrid();
  // Codes from the float grid: trunc((h - zmin) (max code - min code) /
  // (zmax - zmin)) + min code, kept within the code range and never the
  // empty code; nodes without a value get the empty code. -1 unless both
  // grids exist.
  int QuantiseFloatGrid();
  // Colours from the float grid: entry trunc((h - zmin) 255 / (zmax -
  // zmin)) of the default colour map when it was read from its file, else
  // that grey; opaque black for nodes without a value. -1 unless both grids
  // exist.
  int ColourFromFloatGrid();
  // Releases the float grid.
  void ReleaseFloatGrid();
  // True when the float grid exists and has the height grid's size (the
  // operations that need it make it anew otherwise).
  bool FloatGridFits() const { return m_floatGrid && m_floatRows == GetRows() && m_floatCols == GetCols(); }

  // Query type of the next resample (see ResampleToPlane and
  // ResampleDifference); the Query operations set it.
  void SetQueryType(int type) { m_queryType = type; }
  int GetQueryType() const { return m_queryType; }

  // 1 when dtm's query polygon has vertices and every one lies within
  // dtm's x and y bounds (inclusive), else 0.
  static int IsQueryWindowInside(const Sd_SonarDTM* dtm);
  // Rows and columns spanned by dtm's query polygon at the spacing dx, dy:
  // trunc((y - ymin) / dy) and trunc((x - xmin) / dx) over the vertices,
  // their minimum and their maximum + 1. 0, or -1 (outputs 0) without
  // vertices or for a spacing that is not positive.
  static int GetQueryWindowExtent(const Sd_SonarDTM* dtm, double dx, double dy, int* rowMin, int* rowMax,
                                  int* colMin, int* colMax);
  // Builds the polygon window from the query polygon and empties every
  // node outside it (empty code, opaque black; the float grid, made when
  // there is none, keeps its heights). 1 on success; 0 with nothing changed
  // when the polygon leaves the bounds, has fewer than 3 vertices or its
  // runs cannot be extracted, or the DTM has no grids of 2 x 2 or more.
  int ApplyQueryWindow();
  // The window ApplyQueryWindow built (null before).
  const Sd_PolygonWindow* GetPolygonWindow() const { return m_window.get(); }

  // Height inside cell (row, col) of source's float grid at the fractions
  // fy (along rows) and fx (along columns), from the corners that hold
  // values; the marker when none does or outside the grid.
  static float InterpolateInCell(const Sd_SonarDTM* source, float fy, float fx, int row, int col);

  // Volume and area above and below height 0 by cells: each cell adds the
  // sum of its corners' heights (an empty corner adds 0) / 4 times the cell
  // area to one side by the sign of the sum, and its area when all four
  // corners hold values. Makes the float grid when there is none.
  void GetGridVolume(float* upVolume, float* downVolume, float* upArea, float* downArea);
  // The same by nodes: each node with a value adds height x cell area and
  // the cell area, to the upper side when its height is above 0.
  void GetNodeVolume(float* upVolume, float* downVolume, float* upArea, float* downArea);
  // Volume of the heights inside the polygon window, over the cells of the
  // window's extent: whole cells as in GetGridVolume, cells that the
  // outline cuts from n x n samples (GetPartialVolume). Counts the cells by
  // corner code (GetCornerCount). 0 without a window of this grid.
  double GetGridVolumeWithWindow(int n);
  // Mean of the samples (n x n, row i = fy (i + 0.5) / n, column j) of cell
  // (row, col) that lie on the inside of the window's edge crossing the
  // cell's sides named by its corner code: the sum of the kept samples / n².
  // dx, dy: the grid spacing. Cells with two diagonal corners inside, and
  // cells no edge crosses, add 0 and log their message.
  double GetPartialVolume(int code, int row, int col, int n, double dx, double dy, const float* samples) const;
  // Cells of corner code 0 ... 15 met by the last GetGridVolumeWithWindow.
  int GetCornerCount(int code) const { return code >= 0 && code < 16 ? m_cornerCounts[code] : 0; }

  // Fills this DTM with source's grid, each node's value against the
  // plane's geo height h0 by the query type: 0 |h - h0|, 1 h - h0 above the
  // plane, 2 h0 - h below it (nodes at or beyond the plane empty), 3 h - h0,
  // 4 h0 - h. 1, or 0 when the plane does not use its geo height.
  int ResampleToPlane(Sd_SonarDTM* source, const Sd_Plane* plane);
  // Fills this DTM with a - b on the finer of the two grids (a's on equal
  // spacing), the other sampled in its cells: query type 0 a - b, 1 b - a
  // where a is below b (else 0), 2 a - b where a is above b (else 0). 1, or
  // 0 for inputs without grids.
  int ResampleDifference(Sd_SonarDTM* a, Sd_SonarDTM* b);
  // The same over the window extent of the base grid's query polygon. 1, or
  // 0 after its message.
  int ResampleDifferenceInWindow(Sd_SonarDTM* a, Sd_SonarDTM* b);
  static double MaxOf(double a, double b) { return b > a ? b : a; }

  // Derived models (query types 0, 1, 2): mode 0 over the window, any other
  // over the whole grid. 1, or 0 after "Error: Query failed.".
  int QueryDifference(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode);
  int QueryBelow(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode);
  int QueryAbove(Sd_SonarDTM* a, Sd_SonarDTM* b, int mode);
  // Derived models against a plane (query types 0 ... 4).
  int QueryPlaneAbsolute(Sd_SonarDTM* dtm, const Sd_Plane* plane);
  int QueryPlaneAbove(Sd_SonarDTM* dtm, const Sd_Plane* plane);
  int QueryPlaneBelow(Sd_SonarDTM* dtm, const Sd_Plane* plane);
  int QueryPlaneDifference(Sd_SonarDTM* dtm, const Sd_Plane* plane);
  int QueryPlaneInverse(const Sd_Plane* plane, Sd_SonarDTM* dtm);

  // --- terrain files (Sd_SonarDTMWrite.cpp) ---
  // None of it runs in the viewer. The heights of the float grid (made
  // with MakeFloatGrid when it is missing or does not fit) go to a
  // stand-alone scalar file: the text header, one SCALAR record of the
  // columns x rows 16-bit codes (HeightFileCode, row 0 first) over the z
  // bounds with the code words 1 and 65535, and the end tag. The bounds go
  // to a georeference file: the text header, one GEOREF record, the end
  // tag. Both are written atomically; a failure leaves any old file as it
  // was. Each returns 0, or -1 after its debug message.
  //
  // The scalar file at name with its extension replaced by ".dtm" (added
  // when it has none).
  int WriteDTMFile(const char* name);
  // The same at name with the extension ".scalar".
  int WriteScalarFile(const char* name);
  // The scalar file at exactly path.
  int OutputDTM(const char* path);
  // The georeference file at name with the extension ".geo": x, y and z
  // bounds from the node's bounds, colour resolution 0, every other field
  // at TDR_GeoRef's defaults.
  int WriteGeoFile(const char* name);
  // The scalar-file code of height h over the z bounds zmin ... zmax:
  // trunc((h - zmin) / (zmax - zmin) x 65534 + 1), so that zmin is 1 and
  // zmax 65535; 0 for a height outside the bounds (the float no-value
  // marker among them) or not a number. A height within float rounding of
  // a bound counts as that bound. Equal bounds give 1 to their height.
  static unsigned short HeightFileCode(float h, float zmin, float zmax);

 private:
  struct PolygonWindowDeleter {
    void operator()(Sd_PolygonWindow* window) const;
  };
  // Grids of rows x cols with the given x and y bounds, every node empty,
  // for a resample to fill; false when out of memory or too small.
  bool PrepareDerived(int rows, int cols, double xmin, double xmax, double ymin, double ymax);
  // Empties node (r, c) of a derived model.
  void SetEmptyNode(int r, int c);
  // z bounds from the values of the float grid (1e10 / -1e10 without any),
  // then codes and colours.
  void FinishResample();
  int PairQuery(int type, Sd_SonarDTM* a, Sd_SonarDTM* b, int mode);
  int PlaneQuery(int type, Sd_SonarDTM* dtm, const Sd_Plane* plane);
  int FinishQuery(int ok, const Sd_SonarDTM* first);

  std::unique_ptr<Sd_PolygonWindow, PolygonWindowDeleter> m_window;
  int m_cornerCounts[16] = {};
  // Size of the float grid (FreeFloatGrid needs its rows).
  int m_floatRows = 0;
  int m_floatCols = 0;

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
