#ifndef SD_BASEDTM_H
#define SD_BASEDTM_H

#include <functional>
#include <vector>

#include "Sd_Node.h"
#include "Sd_StripArrays.h"

class TDR_Manager;
class TDR_PayloadReader;
class TDR_PayloadWriter;
class TDR_Scalar;
class Sd_Lines3D;

// The base class of every terrain model (DTM).
//
// A DTM is a regular grid of rows x columns nodes: node (r, c) lies at
// x = xmin + c (xmax - xmin) / (cols - 1), y = ymin + r (ymax - ymin) /
// (rows - 1) of the node's bounds, row 0 at ymin. Heights are 16-bit codes:
// 0 is "no value", a code k stands for k / 65535 (zmax - zmin) + zmin.
// Every node also has a packed colour (red in the low byte), and a DTM may
// carry a third grid of 16-bit alternate values.
//
// The grids are row-pointer tables. They are private to this class, which
// keeps the one invariant every terrain model relies on: whatever grids
// exist all have GetRows() x GetCols() nodes, and a load that fails leaves
// the grids as they were or none at all, never a half-read grid. Derived
// classes read and write the nodes through ElevationRows(), ColourRows()
// and AltValueRows(), and change the grids only through the operations
// below. The rows of a grid are either the DTM's own (allocated with
// Sv_UtlAlloc2D*, in either of its layouts) or, for the height and colour
// grids, rows that belong to something else (HoldRows: a shared-memory
// block, a frame of a series), of which the DTM owns only its row tables.
//
// Drawing space: node transform, then translate (-0.5, -0.5, -0.5) and scale
// (1 / (cols - 1), 1 / (rows - 1), 1 / CodeDivisor()), so a vertex is
// (column, row, code) (EnterGridSpace).
//
// This class has Sd_Node's drawing and picking operations, and the toolkit
// every model draws and picks with (grid records, strip arrays, blending,
// the progressive pass's matrix count, the bilinear blend of a cell); the
// models drawn as strips over the visible window derive from Sd_GridDTM,
// which adds the drawing and picking passes themselves.
class Sd_BaseDTM : public Sd_Node {
 public:
  // Largest number of rows or columns a grid may have.
  static constexpr int kMaxGridSide = 1 << 20;

  typedef unsigned short (*SurfaceFunction)(int row, int col, int rows, int cols);

  Sd_BaseDTM();
  // Releases the grids (unless they belong to another DTM, type 26; the row
  // tables of held rows are released in any case).
  ~Sd_BaseDTM() override;

  // Releases the grids and row buffers and sets rows and columns to 0; safe
  // to call any number of times. Held rows are left to their owner; only the
  // row tables go. A DTM of node type 26 (its grids belong to another DTM)
  // frees nothing and says so.
  void FreeData() override;
  const char* className() const override;
  // No value queries in the base class: 0.
  int ValueAt(double x, double y, int user) override;
  // Detail settings: the stride and the automatic level-of-detail flag are
  // kept in and restored from the node's data buffer; ResetSettings draws
  // at full detail (stride 1, no automatic choice) and returns 1. Models
  // with more settings override them.
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;
  // Colours the grid by hill shading the heights (or the alternate values
  // for the colour index) with a colour map: the given file, or the default
  // WRUHOME/cmaps/step16.cmap. The six parameters are kept in the node's
  // shading fields. Reports progress (row, rows) after each row; a cancel
  // request (SetCancel) made then stops the sweep.
  void ShadeWithColorMap(float p1, float p2, float p3, float p4, float p5, float p6, double altMin,
                         double altMax, const char* colorMapFile) override;
  virtual unsigned short** GetElevationGrid();
  virtual unsigned int** GetColorGrid();

  // --- grids ---
  // Height and colour grids (and row buffers) of rows x cols; existing grids
  // of another size (and held rows) are released first. -1 when a size is
  // below 1 (or above kMaxGridSide) or an allocation fails, leaving no grid;
  // 0 otherwise.
  int CreateGrids(int rows, int cols);
  int CreateElevationGrid(int rows, int cols);
  int CreateColorGrid(int rows, int cols);
  // A new grid of the current size, which the caller stores (or releases
  // with Sv_UtlFree2D); the height variant also renews the row buffers.
  unsigned short** AllocElevationGrid();
  unsigned int** AllocColorGrid();

  // --- grids whose rows belong to something else ---
  // Holds height and colour grids of rows x cols whose rows lie in a block
  // that belongs to the caller (a shared-memory block, a frame of a series):
  // row r of the heights is elevationRows[r], of the colours colourRows[r],
  // each of at least cols elements. The DTM keeps its own row tables with
  // those pointers (the caller's arrays may go), reads and writes the rows
  // in place, and never frees or moves them; releasing the grids (FreeData,
  // another load, the destructor) frees only the row tables. The block must
  // outlive the grids, or be replaced first by another HoldRows or a
  // FreeData. Called again with the same size while holding rows, it only
  // points the tables at the new rows (the next frame of a series), keeping
  // the alternate values. -1 (and no grids) for a size below 1 or above
  // kMaxGridSide, a null table or row, or no memory for the tables; 0
  // otherwise.
  int HoldRows(unsigned short* const* elevationRows, unsigned int* const* colourRows, int rows, int cols);
  // True while the height and colour rows are held rather than owned.
  bool HoldsRows() const { return m_heldRows; }

  // Reads the payload of an elevation SCALAR record whose header the caller
  // has read: the descriptor (columns, rows, USHORT), the minimum and
  // maximum code, then the rows. 0 on success; -1 after a debug message for
  // a record that is not such a grid or is shorter than its grid.
  int LoadElevations(TDR_Manager* manager);
  // Reads the payload of a 32-bit colour SCALAR record. -1 when it is not
  // such a grid or its size differs from the height grid's.
  int LoadColors(TDR_Manager* manager);
  // Writes the elevation payload (the caller writes the tag header and
  // ends the tag) / the whole colour record. 0, or -1 without a grid or on a
  // failed write.
  int SaveElevations(TDR_Manager* manager);
  int SaveColors(TDR_Manager* manager);

  // Builds a grid of trunc(width / cellSize) columns and trunc(height /
  // cellSize) rows from fn, coloured grey by code (code / 257). Nothing
  // happens for a cell size of 0 (with a message), a size below one cell or
  // a null function.
  void CreateSurface(int width, int height, double cellSize, SurfaceFunction fn);

  // --- nodes and rows ---
  // Code and colour of node (row, col); -1 (nothing written) outside the grid.
  int GetCell(int row, int col, unsigned short* code, unsigned int* colour) const;
  // Row r of the heights / alternate values, copied into the row buffer;
  // null outside the grid or without the grid.
  unsigned short* GetElevationRow(int r);
  unsigned short* GetAltValueRow(int r);
  // The shader's row sources; dtm is the Sd_BaseDTM.
  static unsigned short* ElevationRowSource(int row, void* dtm);
  static unsigned short* AltValueRowSource(int row, void* dtm);

  // --- level of detail ---
  int GetLODStep() const { return m_lodStep; }
  // Stride of drawing, kept within 1 ... kMaxSettingsStep.
  void SetLODStep(int step);
  int GetAutoLOD() const { return m_autoLod; }
  void SetAutoLOD(int on) { m_autoLod = on; }
  void SetUseAltValues(int on) { m_useAltValues = on; }
  int GetMinStep() const { return m_minStep; }
  int GetStepIncrement() const { return m_stepIncrement; }

  // Computes the visible window of the grid and the drawing stride from the
  // frame's view (Sd_FrameState::CurrentView: OpenGL's current state, in grid
  // space, unless a fixed view was handed in). 1 on success; 0, leaving the window
  // as it was, when no part of the grid box is in view.
  int Optimize();
  int Optimize(const Sd_DTMView& view);
  // The row under the view centre: the eye-space point (0, 0, -5000)
  // through the projection and back through inverse (of projection x
  // model-view) into grid space, floored and kept within the grid.
  int GetViewCentreRow(const float projection[16], const float inverse[16]) const;
  // The same point at the depth of (0, 0, -5000) on the view axis, as a
  // fractional row and column (not limited to the grid).
  void GetViewCentre(const float projection[16], const float inverse[16], float* row, float* col) const;

  // --- contour lines ---
  // One piece of a contour line inside a cell, in grid units (x a column
  // position, y a row position, both fractional).
  struct ContourSegment {
    float x1, y1, x2, y2;
  };
  typedef std::vector<ContourSegment> ContourSegmentList;

  // Traces the contour line of height z (map units, within the z bounds)
  // through the height grid and adds its polylines to lines at height z:
  // with their own colour color (packed, red in the low byte) when it is not
  // 0. A height outside the z bounds is refused with a message. 0, or -1
  // (a warning said) when memory runs out: the lines of the heights before
  // stay, none of that height is added part-way.
  int Contour(float z, Sd_Lines3D* lines, int color);
  // Contour for count heights in one sweep over the grid; the polylines of
  // each height follow those of the heights before it. 0, or -1 as Contour.
  int ContourLevels(const float* z, int count, Sd_Lines3D* lines, int color);
  // The level code of height z, (z - zmin) / (zmax - zmin) x 65534 + 1;
  // false, with a message, outside the z bounds (or with flat ones).
  bool ContourLevel(float z, float* level) const;
  // Case of cell (row, col) at level: bit value 1 when code(r, c) >= level,
  // 2 for (r, c + 1), 4 for (r + 1, c), 8 for (r + 1, c + 1); 0 for a cell
  // outside the grid.
  int ContourCellCase(int row, int col, float level) const;
  // Appends the segments of a cell of the given case to list (none for
  // cases 0 and 15; a saddle, 6 or 9, gets two, paired by its neighbours).
  void ContourCell(int cellCase, int row, int col, float level, ContourSegmentList* list) const;
  // The point of level on the grid edge from node (r1, c1) to node (r2, c2)
  // (one row or one column, (r1, c1) the lower end); false for any other
  // edge ("Error in interpolation.") or without the grid.
  bool ContourEdgePoint(int r1, int c1, int r2, int c2, float level, float* x, float* y) const;
  static void AddContourSegment(ContourSegmentList* list, float x1, float y1, float x2, float y2);
  // Order of segments for joining: by x1, then y1, x2, y2.
  static bool CompareSegments(const ContourSegment& a, const ContourSegment& b);
  // Joins the segments of list into polylines at height z (map units) and
  // adds them to lines; the list is reordered.
  void ChainContourSegments(ContourSegmentList* list, float z, Sd_Lines3D* lines);

  // --- accessors ---
  int GetRows() const { return m_rows; }
  int GetCols() const { return m_cols; }
  unsigned short GetMinCode() const { return m_minCode; }
  unsigned short GetMaxCode() const { return m_maxCode; }
  // The z extent of grid space, by which drawing and picking divide a code:
  // the largest code, or 65535 (the top code of the height rule) when it
  // is stored as 0, so that a code stands as high as its height.
  unsigned CodeDivisor() const { return m_maxCode > 0 ? m_maxCode : 65535u; }
  void SetCodeRange(unsigned short minCode, unsigned short maxCode);
  unsigned short** GetAltValues() const { return m_altValues; }
  // The visible window: columns [start, end), rows [start, end).
  void GetWindow(int* colStart, int* colEnd, int* rowStart, int* rowEnd) const;
  // Progressive cursors (rows drawn next upwards and downwards).
  int GetUpRow() const { return m_upRow; }
  int GetDownRow() const { return m_downRow; }
  // The cancel byte of a shading sweep, set by whatever the progress hook calls.
  void SetCancel(unsigned char on) { m_cancel = on; }
  unsigned char GetCancel() const { return m_cancel; }
  int GetShadeRow() const { return m_shadeRow; }

  // Height of a code with the node's z bounds: code / 65535 (zmax - zmin) + zmin.
  double CodeToHeight(double code) const;

 protected:
  // --- contour lines ---
  // One sweep over the height grid that appends the segments of every
  // level levels[k] (code units, in any order) to lists[k]. False when
  // memory ran out (the lists then hold part of the segments).
  bool ContourScan(const float* levels, int count, ContourSegmentList* lists) const;
  // Polylines of one contour height: their vertex counts and vertices.
  struct ContourPolylines {
    std::vector<int> counts;
    std::vector<double> x, y, z;
  };
  // ChainContourSegments into polylines (false, adding none, when there are
  // too many segments to number); AddContourPolylines adds them to lines.
  bool JoinContourSegments(ContourSegmentList* list, float z, ContourPolylines* out) const;
  // ContourScan and ContourLevels without their catch: they may throw
  // std::bad_alloc, and give false when a worker's share ran out of memory.
  bool ScanLevels(const float* levels, int count, ContourSegmentList* lists) const;
  bool TraceLevels(const float* z, int count, Sd_Lines3D* lines);
  void AddContourPolylines(const ContourPolylines& polylines, Sd_Lines3D* lines) const;
  // For a DTM whose data are not kept in grids (a contour set): releases
  // the grids and sets the size that grid space and grid positions use.
  void SetGridShape(int rows, int cols);

  // --- the nodes, for derived classes ---
  // Row tables of the grids (null without the grid): cells may be read and
  // written, the tables themselves belong to this class.
  unsigned short* const* ElevationRows() const { return m_elevation; }
  unsigned int* const* ColourRows() const { return m_colors; }
  unsigned short* const* AltValueRows() const { return m_altValues; }
  // 1 when the height and colour grids exist and span at least 2 x 2 nodes
  // (the least a surface can be drawn or picked from).
  bool HasDrawableGrids() const;

  // --- changing the grids ---
  // Stores grid (rows x cols, from Sv_UtlAlloc2D*) as the height / colour
  // grid in place of the current one, releasing every grid of another size
  // (and held rows) first; the height grid also renews the row buffers, and
  // when that fails no grid is left (false).
  bool InstallElevationGrid(unsigned short** grid, int rows, int cols);
  void InstallColorGrid(unsigned int** grid, int rows, int cols);
  // Stores grid as the alternate values in place of the current ones; false
  // (grid left to the caller) unless rows x cols is the DTM's size and the
  // DTM has a height grid.
  bool InstallAltValues(unsigned short** grid, int rows, int cols);
  // Releases every grid and buffer (the body of FreeData for DTMs whose
  // grids are their own or held).
  void ReleaseGrids();

  // --- 16-bit grid records ---
  // The debug messages of a 16-bit grid payload that cannot be read.
  struct CodeGridMessages {
    const char* shortRecord;
    const char* outOfMemory;
    const char* readFailed;
  };
  // Columns and rows of a SCALAR descriptor; false unless it describes a
  // grid of two dimensions (further dimensions of size 1 allowed).
  static bool GridDimensions(const TDR_Scalar& scalar, int* rows, int* cols);
  // The payload of a 16-bit grid after its SCALAR descriptor: two u16
  // words, then rows x cols codes, row 0 first. Returns the new grid (the
  // caller stores it), or null after the fitting message (detail where)
  // when the record is shorter than that, memory runs out or a read fails.
  static unsigned short** ReadCodeGrid(TDR_PayloadReader& in, int rows, int cols, unsigned short words[2],
                                       const CodeGridMessages& messages, const char* where);
  // Writes the descriptor (columns, rows, USHORT, the range), the two words
  // and the rows of grid. 0, or -1 when a write fails.
  static int WriteCodeGrid(TDR_Manager* manager, unsigned short* const* grid, int rows, int cols, double rangeMin,
                           double rangeMax, const unsigned short words[2]);
  // The descriptor and the two words alone, for writers that then write
  // the rows themselves as they make them. 0, or -1 when a write fails.
  static int WriteCodeGridHead(TDR_Manager* manager, int rows, int cols, double rangeMin, double rangeMax,
                               const unsigned short words[2]);

  // --- samples ---
  // Grids of rows x cols nodes of a smooth surface (a tilted plane with
  // bumps, every node a height) with bounds, for the classes' sample writers.
  int FillSample(int rows, int cols);
  // A small sample of class T: its grids filled by FillSample, saved with
  // its common tags.
  template <class T>
  static int WriteGridSample(TDR_Manager* manager, int rows, int cols) {
    T dtm;
    if (dtm.FillSample(rows, cols) != 0) return -1;
    return dtm.SaveObject(manager, 1, 0);
  }

  // --- records after the object's own ---
  // The elevation and colour SCALAR records (each announced by its tag,
  // else the tag's message), a grid of at least 2 x 2 nodes (else
  // sizeMessage) and ReadCommonTags (a model takes its own settings record
  // there through ReadOwnRecord). 0 on success; -1 with the DTM emptied
  // (FreeData) otherwise.
  int LoadGridRecords(TDR_Manager* manager, const char* elevationTagMessage, const char* colourTagMessage,
                      const char* sizeMessage);
  // False, after a message naming file, when a bound is not a finite
  // number; any code range and any finite (flat or inverted) range is kept.
  bool RangesUsable(const char* file) const;
  // The elevation and colour SCALAR records, then WriteCommonTags when
  // withCommonTags is non-zero. 0, or -1 when a write fails.
  int SaveGridRecords(TDR_Manager* manager, int withCommonTags);
  // The fields that open the settings record of the grid and sphere models:
  // the draw mode (int16), the alpha, the detail step, the automatic level
  // of detail and a reserved 0 (int32 each).
  void WriteDrawSettings(TDR_PayloadWriter& out) const;

  // --- drawing toolkit ---
  // Blending (source alpha, one minus source alpha) when m_alpha is not 255.
  void BeginBlending();
  static void EndBlending();
  // Ends an open progressive pass: pops the m_pushCount matrices it pushed
  // and resets blending.
  void CloseStepPass();
  // Ends a progressive pass that a redraw request abandoned: closes it, the
  // pass counts as not drawn, and its state and the request are cleared.
  // Returns 0, what StepRender returns then.
  int AbandonStepPass();
  // The visible window and the progressive cursors (m_colStart ...
  // m_downRow): a whole frame keeps them and puts them back, so a pass
  // under way goes on where it was.
  struct WindowFields {
    int colStart, colEnd, rowStart, rowEnd, upRow, downRow;
  };
  WindowFields KeepWindow() const { return {m_colStart, m_colEnd, m_rowStart, m_rowEnd, m_upRow, m_downRow}; }
  void RestoreWindow(const WindowFields& w);
  // What a model plugs into the drawing passes below: enter its drawing
  // space and compute its visible window (m_rowStart ... m_rowEnd, the
  // stride m_lodStep, m_minStep and the cursors m_upRow, m_downRow; false
  // when nothing is in view), draw the strip between rows r and r2 (r < r2)
  // at column stride s, and optionally draw what ends a pass.
  struct PassHooks {
    std::function<bool()> enter;
    std::function<void(int r, int r2, int s)> strip;
    std::function<void()> finish;
  };
  // The visible window whole at stride m_lodStep, inside a pushed matrix;
  // the window fields are left as they were, so a progressive pass in
  // progress is not disturbed.
  void DrawWholePass(const PassHooks& hooks);
  // One step of a progressive pass: the first call pushes the matrix and
  // enters (stride m_minStep while the best-pass flag is set, else half
  // m_lodStep); each further call draws up to five strips upwards and five
  // downwards from the row under the view centre; the call after the last
  // strip finishes, pops the matrix and returns 1 (0 before). The
  // redraw-pending flag abandons the pass: its matrix is popped and 0
  // returned.
  int StepPass(const PassHooks& hooks);

  // --- picking toolkit ---
  // True when cell (row, col) answers picks and queries; in this class
  // every cell does.
  virtual bool CellFilled(int row, int col) const;
  // The value node (row, col) carries besides its height: false (and
  // nothing written) in this class.
  virtual bool AltValueAt(int row, int col, double* value) const;
  // Bilinear height and colour inside cell (row, col) at the fractions fy,
  // fx; false when the cell does not answer or its base height is outside
  // the z bounds.
  bool Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const;

  // --- geometry ---
  // Node transform, bounding box (when asked) and grid space.
  void EnterGridSpace(bool boundingBox);
  // Row and column position of a geographic point (fractional).
  void GridPosition(double x, double y, double* ry, double* cx) const;
  // True when a height lies within the node's z bounds (allowing rounding).
  bool HeightInRange(double height) const;

  // Drawing state shared by the models: draw mode (0 wire frame, 1 solid),
  // alpha 0 ... 255, grid column, row and code of the last screen pick
  // (column -1 after a miss), progressive state and matrices pushed by an
  // open progressive pass, and the strip arrays.
  short m_drawMode;
  int m_alpha;
  float m_pickPos[3];
  int m_stepState;
  int m_pushCount;
  Sd_StripArrays m_strip;

  unsigned short m_minCode;
  unsigned short m_maxCode;
  int m_useAltValues;
  int m_lodStep;
  int m_autoLod;
  int m_stepIncrement;
  int m_minStep;
  int m_colStart, m_colEnd, m_rowStart, m_rowEnd;
  int m_upRow, m_downRow;
  int m_shadeRow;
  int m_contourColor;
  unsigned char m_cancel;

 private:
  // Releases the grids when their size is not rows x cols, or when the
  // rows are held (held and own rows never mix).
  void KeepOnlyOwnGridsOfSize(int rows, int cols);
  // Releases one height or colour grid: the table only for held rows.
  void DropGrid(void* table);
  // Renews both row buffers for m_cols entries; false when out of memory.
  bool AllocRowBuffers();

  unsigned short** m_elevation;
  unsigned short** m_altValues;
  unsigned int** m_colors;
  int m_rows;
  int m_cols;
  unsigned short* m_rowBuffer;
  unsigned short* m_altRowBuffer;
  // The height and colour rows belong to someone else (HoldRows).
  bool m_heldRows;
};

#endif
