#ifndef SD_BASEDTM_H
#define SD_BASEDTM_H

#include "Sd_Node.h"

class TDR_Manager;

// What drawing needs of the OpenGL view: projection and model-view matrices
// (OpenGL's column-major order) and the viewport (x, y, width, height).
struct Sd_DTMView {
  float projection[16];
  float modelview[16];
  int viewport[4];

  // The current OpenGL state (needs a current context).
  static Sd_DTMView FromGL();
};

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
  // current OpenGL view (in grid space). 1 on success; 0, leaving the window
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

 protected:
  // Releases every grid and buffer (the body of FreeData for DTMs that own
  // their grids).
  void ReleaseGrids();
  // Releases the grids when their size is not rows x cols.
  void KeepOnlySize(int rows, int cols);
  // Renews both row buffers for m_cols entries; false when out of memory.
  bool AllocRowBuffers();
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
};

#endif
