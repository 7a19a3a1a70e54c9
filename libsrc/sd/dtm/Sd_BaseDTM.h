#ifndef SD_BASEDTM_H
#define SD_BASEDTM_H

#include <cstddef>
#include <vector>

#include "Sd_Node.h"

class TDR_Manager;
class TDR_PayloadReader;
class TDR_Scalar;

// The base class of every terrain model (DTM).
//
// A DTM is a regular grid of m_rows x m_cols nodes: node (r, c) lies at
// x = xmin + c (xmax - xmin) / (m_cols - 1), y = ymin + r (ymax - ymin) /
// (m_rows - 1) of the node's bounds, row 0 at ymin. Heights are 16-bit
// codes: 0 is "no value", a code k stands for k / 65535 (zmax - zmin) + zmin.
// Every node also has a packed colour (red in the low byte). Grids are
// row-pointer tables of separately allocated rows.
//
// Whatever grids exist always have m_rows x m_cols nodes; a load that fails
// leaves the grids as they were or none at all, never a half-read grid.
//
// Drawing space of the derived classes: node transform, then translate
// (-0.5, -0.5, -0.5) and scale (1 / (m_cols - 1), 1 / (m_rows - 1),
// 1 / m_maxCode), so a vertex is (column, row, code).
//
// The grid DTMs (uniform and non-contiguous) share their drawing passes,
// picking, detail settings and the frame of their records through the
// protected helpers below; a derived class supplies its strips (DrawStrip)
// and, where its nodes may be empty or carry values, the hooks CellFilled,
// AltValueAt and ReadOwnRecord.
class Sd_BaseDTM : public Sd_Node {
 public:
  // Largest number of rows or columns a grid may have.
  static constexpr int kMaxGridSide = 1 << 20;

  typedef unsigned short (*SurfaceFunction)(int row, int col, int rows, int cols);

  Sd_BaseDTM();
  // Releases the grids (unless they belong to another DTM, type 26).
  ~Sd_BaseDTM() override;

  // Releases the grids and row buffers and sets rows and columns to 0; safe
  // to call any number of times. A DTM of node type 26 (its grids belong to
  // another DTM) frees nothing and says so.
  void FreeData() override;
  const char* className() const override;
  // No value queries in the base class: 0.
  int ValueAt(double x, double y, int user) override;
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
  // of another size are released first. -1 when a size is below 1 (or above
  // kMaxGridSide) or an allocation fails, leaving no grid; 0 otherwise.
  int CreateGrids(int rows, int cols);
  int CreateElevationGrid(int rows, int cols);
  int CreateColorGrid(int rows, int cols);
  // A new grid of the current size, which the caller stores (or releases
  // with Sv_UtlFree2D); the height variant also renews the row buffers.
  unsigned short** AllocElevationGrid();
  unsigned int** AllocColorGrid();

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
  // Stride of drawing; values below 1 count as 1.
  void SetLODStep(int step);
  int GetAutoLOD() const { return m_autoLod; }
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

  // --- accessors ---
  int GetRows() const { return m_rows; }
  int GetCols() const { return m_cols; }
  unsigned short GetMinCode() const { return m_minCode; }
  unsigned short GetMaxCode() const { return m_maxCode; }
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

  // --- drawing settings of the grid DTMs ---
  int GetAlpha() const { return m_alpha; }
  // 0 wire frame, 1 solid; other values draw nothing but the bounding box.
  void SetDrawMode(short mode) { m_drawMode = mode; }
  short GetDrawMode() const { return m_drawMode; }
  void SetAutoLOD(int on) { m_autoLod = on; }
  // Grid column, row and code of the last screen pick; column -1 after a miss.
  const float* GetPickPosition() const { return m_pickPos; }
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }

 protected:
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
  static int WriteCodeGrid(TDR_Manager* manager, unsigned short** grid, int rows, int cols, double rangeMin,
                           double rangeMax, const unsigned short words[2]);

  // --- records of the grid DTMs ---
  // After the object record's payload: the elevation and colour SCALAR
  // records (each announced by its tag, else the tag's message), a grid of
  // at least 2 x 2 nodes (else sizeMessage) and ReadCommonTags. 0 on
  // success; -1 with the DTM emptied (FreeData) otherwise.
  int LoadGridRecords(TDR_Manager* manager, const char* elevationTagMessage, const char* colourTagMessage,
                      const char* sizeMessage);
  // After the object record: the elevation and colour SCALAR records, then
  // WriteCommonTags when withCommonTags is non-zero. 0, or -1 when a write
  // fails.
  int SaveGridRecords(TDR_Manager* manager, int withCommonTags);
  // The class's settings record (read among the common tags) and the
  // message of a damaged one, which is skipped with the defaults kept.
  void SetSettingsRecord(int tag, const char* damagedMessage);
  // Takes the settings record; nothing else.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The node's common tags and the settings record (version 2: draw mode,
  // alpha, stride, automatic level of detail, 0).
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small sample of class T with its grids, for the factory's sample
  // writers: rows x cols nodes of a smooth surface.
  template <class T>
  static int WriteGridSample(TDR_Manager* manager, int rows, int cols) {
    T dtm;
    if (dtm.FillSample(rows, cols) != 0) return -1;
    return dtm.SaveObject(manager, 1, 0);
  }
  int FillSample(int rows, int cols);

  // --- detail settings of the grid DTMs ---
  // The stride and the automatic level-of-detail flag into / from the
  // node's data buffer; full detail is stride 1 without automatic choice
  // (returns 1).
  void SaveDetail();
  void RestoreDetail();
  int ResetDetail();
  // Writes m_alpha into the alpha byte of every colour.
  void WriteAlphaToColours();

  // --- drawing of the grid DTMs ---
  // Node transform, bounding box (when asked) and grid space.
  void EnterGridSpace(bool boundingBox);
  // Blending (source alpha, one minus source alpha) when m_alpha is not 255.
  void BeginBlending();
  static void EndBlending();
  // Draws the strip between rows r and r2 (r < r2) with column stride s
  // over the visible window, as a surface or a mesh by the draw mode. The
  // base class draws nothing.
  virtual void DrawStrip(int r, int r2, int s);
  // Grows the strip arrays to hold at least n vertices.
  void ReserveStripArrays(size_t n);
  // The whole visible window at the chosen stride (the body of Render): the
  // window fields are restored afterwards.
  void RenderGrid();
  // One step of a progressive pass (the body of StepRender): 0 begins
  // (matrix pushed, window chosen), then up to five strips upwards and five
  // downwards from the view-centre row per call; returns 1 when the pass is
  // finished (matrix popped), 0 otherwise. The redraw-pending flag abandons
  // the pass: the matrix is popped if the pass pushed it and 0 is returned.
  int StepRenderGrid();
  // Ends an open progressive pass: pops what it pushed, resets blending.
  void CloseStepPass();

  // --- picking of the grid DTMs ---
  // True when the four corners of cell (row, col) hold heights; in the base
  // class every node holds one.
  virtual bool CellFilled(int row, int col) const;
  // The value node (row, col) carries besides its height: false (and
  // nothing written) in the base class.
  virtual bool AltValueAt(int row, int col, double* value) const;
  bool HeightInRange(double height) const;
  // Bilinear height and colour inside cell (row, col) at the fractions fy,
  // fx; false when the cell is not filled or its base height is outside
  // the z bounds.
  bool Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const;
  // Row and column position of a geographic point (fractional).
  void GridPosition(double x, double y, double* ry, double* cx) const;
  // Screen pick through the request's depth picker (the body of
  // QueryPoint): 1 on a hit in a cell that Blend accepts (not on the last
  // row or column), with the bilinear height and colour (and the node's
  // alternate value, if any) in out unless the request's mode asks for the
  // hit test only. m_pickPos gets the grid point of a hit, or column -1;
  // with keepRejectedPosition a point on the grid whose cell Blend refuses
  // also keeps its position.
  int PickGrid(SDN_PickIn* request, SDN_PickOut* out, bool keepRejectedPosition);
  // The body of ValueAt: 1 when (x, y) lies in the grid's bounds inside a
  // cell that Blend accepts (the height goes to the query callback), or on
  // the last row or column (no value); 0 otherwise.
  int GridValueAt(double x, double y, int user);
  // The body of GeoPickPoint: the height (and colour) at a geographic
  // point; 1e12 outside the bounds or in a cell that Blend refuses.
  double GridGeoPick(double x, double y, unsigned* colour);

  // Releases every grid and buffer (the body of FreeData for DTMs that own
  // their grids).
  void ReleaseGrids();
  // Releases the grids when their size is not rows x cols.
  void KeepOnlySize(int rows, int cols);
  // Renews both row buffers for m_cols entries; false when out of memory.
  bool AllocRowBuffers();
  // Stores grid (rows x cols) as the height / colour grid in place of the
  // current one, releasing every grid of another size first; the height
  // grid also renews the row buffers, and when that fails no grid is left
  // (false).
  bool InstallElevationGrid(unsigned short** grid, int rows, int cols);
  void InstallColorGrid(unsigned int** grid, int rows, int cols);
  // 1 when the height and colour grids exist and span at least 2 x 2 nodes
  // (the least a surface can be drawn or picked from).
  bool HasDrawableGrids() const;

  unsigned short** m_elevation;
  unsigned short** m_altValues;
  unsigned int** m_colors;
  unsigned short m_minCode;
  unsigned short m_maxCode;
  int m_rows;
  int m_cols;
  int m_useAltValues;
  int m_lodStep;
  int m_autoLod;
  int m_stepIncrement;
  int m_minStep;
  int m_colStart, m_colEnd, m_rowStart, m_rowEnd;
  int m_upRow, m_downRow;
  unsigned short* m_rowBuffer;
  unsigned short* m_altRowBuffer;
  int m_shadeRow;
  int m_contourColor;
  unsigned char m_cancel;

  // Drawing state of the grid DTMs.
  short m_drawMode;
  int m_alpha;
  float m_pickPos[3];
  int m_stepState;
  int m_pushCount;
  // Vertex and colour arrays of one strip.
  std::vector<float> m_stripVertices;
  std::vector<unsigned int> m_stripColours;

 private:
  // Reads one settings record; a damaged one is skipped with the message.
  void ReadSettingsRecord(TDR_Manager* manager);

  int m_settingsTag;
  const char* m_settingsDamaged;
};

#endif
