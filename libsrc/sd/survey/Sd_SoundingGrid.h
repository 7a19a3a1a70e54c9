#ifndef SD_SOUNDINGGRID_H
#define SD_SOUNDINGGRID_H

#include <cstddef>
#include <cstdint>

// One cell of the sounding grid. The soundings of a cell are chained
// through their records' nextInCell from first, in the cell's list order:
// z not increasing, and of equal z the later record first. The same list
// is held contiguously in the grid's run arrays from run on, so that the
// cell's heights and spread read memory in order.
struct Sd_SoundingCell {
  unsigned short mark;  // set by the window selection
  float stdDev;         // spread of z of the shown soundings
  int count;            // soundings binned, shown or not
  int first;            // record index of the first sounding, -1 for none
  int run;              // index of the cell's first entry in the run arrays
};

// The box of a sounding data set: bounds {min, max} per axis as loading
// left them (the z minimum lowered by 5 % of the z range), and the ranges:
// the data's, or once binned the spans of the grid's edges.
struct Sd_SoundingExtent {
  double xMin = 0.0, xMax = 0.0, yMin = 0.0, yMax = 0.0, zMin = 0.0, zMax = 0.0;
  double xRange = 0.0, yRange = 0.0, zRange = 0.0;

  // The bounds and ranges of the accumulated box min ... max.
  void SetBox(const double min[3], const double max[3]);
  // The normalised position of (x, y) in the unit box of the node's
  // bounds (nodeBounds, as Sd_Node holds them), with the ranges; 0 on an
  // axis without extent.
  void NormalisedXY(const float* nodeBounds, double x, double y, float out[2]) const;
};

// The cell grid of a sounding data set: its cell size and surface mode, the
// cells with their per-cell arrays (heights, normals, lit and pre-shaded
// colours, the shading rows), the run arrays of the binned soundings, and
// the statistics derived from them. Every pass over all cells or all
// soundings (binning, heights, normals, spreads) lives here and runs on
// worker threads for a large grid (Sd_SoundingWorkers.h), giving exactly
// what one loop in order gives. The grid reads no records but through the
// binning, and knows nothing of filters beyond the table of shown flag
// bytes that its passes are given.
class Sd_SoundingGrid {
 public:
  static constexpr float kDefaultCellSize = 100.0f;
  // Height of a cell that has none.
  static constexpr float kNoHeight = 1.0e12f;
  // Bound of the cell grid by the memory its arrays take (about 44 bytes a
  // cell): never more than kMaxCells cells, however many soundings lie in
  // them. A cell size that asks for more is refused.
  static constexpr int kMaxCells = 1 << 24;
  // Lowers the bound for this process (1 ... kMaxCells): a program that
  // reads many hostile files, a fuzzer, keeps each grid small and each
  // input quick. The bound in force is returned by CellLimit.
  static void SetCellLimit(int cells);
  static int CellLimit();
  // The bytes Alloc takes for rows x cols cells (what a load is charged).
  static long long Bytes(int rows, int cols);

  // Where the grid goes: the cell size and the origin (node x and y
  // minima), rows and columns.
  struct Shape {
    float size;
    float originX, originY;
    int rows, cols;
  };

  Sd_SoundingGrid() = default;
  ~Sd_SoundingGrid() { Free(); }
  Sd_SoundingGrid(const Sd_SoundingGrid&) = delete;
  Sd_SoundingGrid& operator=(const Sd_SoundingGrid&) = delete;

  // --- storage ---
  // rows x cols cells, each per-cell array one block. Cells are cleared
  // (no soundings), heights kNoHeight, normals and colours 0. 0, or -1
  // when out of memory (no grid then).
  int Alloc(int rows, int cols);
  // Releases the grid and the run arrays; rows and cols become 0.
  void Free();
  // Clears every cell (no soundings) for a rebin of the same shape.
  void ClearCells();
  // Room for the run arrays of count binned soundings. false when out of
  // memory.
  bool AllocRuns(int count);
  // Bytes of the per-cell arrays (not of the per-sounding run arrays).
  size_t Bytes() const;

  // --- shape ---
  float CellSize() const { return m_cellSize; }
  void SetCellSize(float size) { m_cellSize = size; }
  // The shape of the grid for the soundings' box (count soundings; where
  // names the file, or the class, in messages); derives and stores the cell size when it
  // is not a positive finite number. 0 with the shape; 1 when no sounding
  // lies in the grid; -1 (after a debug message) when no grid can be laid.
  int Plan(const Sd_SoundingExtent& data, int count, const char* where, Shape* shape);

  // --- binning ---
  // Bins count records (HTFSndRecord or FsdSndRecord) into the grid of
  // shape, whose storage is allocated: the cells' counts and lists, the
  // run arrays, the largest count, and each record's nextInCell. false
  // when out of memory (Sd_SoundingBinning.cpp).
  template <class Rec>
  bool Bin(Rec* records, int count, const Shape& shape);
  // Largest number of soundings in a cell since the last binning (0 when
  // forgotten).
  int MaxCellCount() const { return m_maxCellCount; }
  void ForgetMaxCellCount() { m_maxCellCount = 0; }

  // --- per cell, from the binned soundings ---
  // shown[f] tells whether a sounding of flags byte f is shown.
  int SurfaceMode() const { return m_surfaceMode; }
  void SetSurfaceMode(int mode) { m_surfaceMode = mode; }
  // Every cell's height by the surface mode (0 deep: the last shown
  // sounding of its list; 1 shallow: the first; 2 average: the mean of the
  // shown soundings, summed in a float); kNoHeight for a cell without a
  // shown sounding. Another mode, or no grid, leaves the heights. False
  // when a worker's share failed (the heights are then incomplete).
  bool ComputeHeights(const unsigned char shown[256]);
  // The unit normal of the face between cell (row, col) and the two
  // neighbours that quadrant q (0 ... 3) names, rows as the first
  // component and columns as the second. 1 with the normal in n; 0 when a
  // neighbour lies outside the grid or has no height.
  int FaceNormal(float* n, int row, int col, int q) const;
  // Every cell's normal: the mean of its face normals, (0, 0, 1) when it
  // has none, (0, 0, 0) for a cell without height. False when a worker's
  // share failed.
  bool ComputeNormals();
  // Spread (standard deviation) of z of the shown soundings of cell, sums
  // in float; 0 without shown soundings or for a variance that rounding
  // makes negative.
  float Spread(const Sd_SoundingCell& cell, const unsigned char shown[256]) const;
  // Every cell's spread and their range, then the heights and normals.
  // False when a worker's share of any of them failed.
  bool UpdateStatistics(const unsigned char shown[256]);
  void GetStdDevRange(float* low, float* high) const {
    *low = m_stdDevMin;
    *high = m_stdDevMax;
  }
  // Height at (rowPos, colPos) in cell (row, col): bilinear when the cell
  // and its neighbours (row + 1, col), (row, col + 1), (row + 1, col + 1)
  // all hold heights, else the highest of those that do (-1e8 when none).
  // 1 when any of the four holds one.
  int Interpolate(int row, int col, float rowPos, float colPos, float* z) const;

  // --- access ---
  int Rows() const { return m_rows; }
  int Cols() const { return m_cols; }
  bool HasCells() const { return m_cells != nullptr; }
  bool IsCell(int row, int col) const { return row >= 0 && row < m_rows && col >= 0 && col < m_cols; }
  size_t CellIndex(int row, int col) const { return static_cast<size_t>(row) * m_cols + col; }
  size_t CellCount() const { return static_cast<size_t>(m_rows) * m_cols; }
  const Sd_SoundingCell* Cell(int row, int col) const {
    return IsCell(row, col) ? &m_cells[CellIndex(row, col)] : nullptr;
  }
  float Height(int row, int col) const { return IsCell(row, col) ? m_cellHeights[CellIndex(row, col)] : kNoHeight; }
  const float* Normal(int row, int col) const {
    return IsCell(row, col) ? &m_cellNormals[3 * CellIndex(row, col)] : nullptr;
  }
  // The record indices of a cell's soundings in list order (count in
  // *count); null for a cell outside the grid or without soundings.
  const int* CellSoundings(int row, int col, int* count) const;
  // The arrays, cell by cell (null without a grid).
  Sd_SoundingCell* Cells() { return m_cells; }
  const Sd_SoundingCell* Cells() const { return m_cells; }
  float* Heights() { return m_cellHeights; }
  const float* Heights() const { return m_cellHeights; }
  const float* Normals() const { return m_cellNormals; }
  // The colours handed out for writing are scanned again by SeeThrough.
  unsigned* Colours() {
    m_seeThrough[0] = kUnknown;
    return m_cellColors;
  }
  const unsigned* Colours() const { return m_cellColors; }
  unsigned* ShadedColours() {
    m_seeThrough[1] = kUnknown;
    return m_shadedColors;
  }
  const unsigned* ShadedColours() const { return m_shadedColors; }
  // Whether any cell's lit (or, with shaded, pre-shaded) colour has an
  // alpha below 255: a surface drawn at full detail then blends somewhere.
  // The answer is kept until the colours are next handed out for writing.
  bool SeeThrough(bool shaded) const;
  // Row buffers of the hill shading: heights as 16-bit codes and colours,
  // cols entries each.
  unsigned short* ShadeHeightRow() const { return m_shadeHeightRow; }
  unsigned* ShadeColourRow() const { return m_shadeColorRow; }
  // The run arrays: the soundings of every cell in list order, cell after
  // cell: record index, z as float, and flags as binned.
  const int* RunIndices() const { return m_cellRun; }
  const float* RunZ() const { return m_cellRunZ; }
  const unsigned char* RunFlags() const { return m_cellRunFlags; }

 private:
  // Heights of cells from ... to - 1, normals of rows from ... to - 1: the
  // shares of their workers.
  void CellHeights(size_t from, size_t to, const unsigned char shown[256]);
  void RowNormals(int from, int to);
  // Places the binned soundings (cell, z as float and flags of each
  // record) in their cells' lists and runs, with entries of type Entry,
  // worker w (of workers) its share of the records from next[w * cells +
  // c] on in cell c; hands each binned record's successor in its list (-1
  // for the last) to link(index, successor). exactZ(i) is record i's z as a
  // double (for entries that need it).
  template <class Entry, class ExactZ, class Link>
  bool Place(size_t n, const uint32_t* cellOf, const float* zOf, const unsigned char* flagsOf, uint32_t* next,
             int workers, ExactZ exactZ, Link link);

  float m_cellSize = kDefaultCellSize;
  int m_surfaceMode = 1;
  int m_rows = 0, m_cols = 0;
  Sd_SoundingCell* m_cells = nullptr;
  float* m_cellHeights = nullptr;      // kNoHeight for a cell without height
  float* m_cellNormals = nullptr;      // three floats a cell
  unsigned* m_cellColors = nullptr;    // lit colours
  unsigned* m_shadedColors = nullptr;  // pre-shaded colours
  // SeeThrough's answers for the lit and the pre-shaded colours.
  enum : signed char { kUnknown = -1 };
  mutable signed char m_seeThrough[2] = {kUnknown, kUnknown};
  // Row buffers of the hill shading: heights as 16-bit codes, a spare row
  // and colours, cols entries each (one block).
  unsigned short* m_shadeHeightRow = nullptr;
  unsigned short* m_shadeSpareRow = nullptr;
  unsigned* m_shadeColorRow = nullptr;
  // The run arrays (a change of a record's flags or position needs a
  // rebin).
  int m_binnedCount = 0;  // entries of the run arrays
  int* m_cellRun = nullptr;
  float* m_cellRunZ = nullptr;
  unsigned char* m_cellRunFlags = nullptr;
  float m_stdDevMin = 1e19f, m_stdDevMax = -1e19f;
  int m_maxCellCount = 0;
};

#endif
