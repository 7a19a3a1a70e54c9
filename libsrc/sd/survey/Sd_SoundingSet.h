#ifndef SD_SOUNDINGSET_H
#define SD_SOUNDINGSET_H

#include <cfloat>
#include <cmath>
#include <string>

#include "Sd_Node.h"

class TDR_PayloadReader;
class TDR_PayloadWriter;

// A record filter of a sounding class: while switched on it hides the
// soundings whose flags byte has bit set (hidesWhenSet 1) or clear (0).
struct Sd_SoundingFilter {
  unsigned char bit;
  unsigned char hidesWhenSet;
  int defaultOn;
};

// What tells the two sounding classes apart, as data: their tags and names,
// the shape of their object record, their filters and their configuration.
struct Sd_SoundingClass {
  const char* className;
  int typeId;
  int objectTag;
  int attributeTag;
  int editsTag;  // skipped whole wherever it stands
  // Record counts in the object record: 1 (soundings) or 3 (runs, frames,
  // soundings, in that order).
  int countFields;
  int storedSoundingSize;
  // Filters in the order of the attribute record; the first three are
  // stored there.
  int filterCount;
  Sd_SoundingFilter filters[4];
  const char* configName;  // class configuration file
  // Message of an attribute record of a wrong version (null: none).
  const char* versionText;
  const char* versionDetail;
};

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

// The header of an object record: the format version (tag version 0 only),
// the cell size (tag version 2 and later), the record counts, and its size
// in bytes.
struct Sd_SoundingHeader {
  int hasVersion = 0;
  float version = 0.0f;
  int hasCellSize = 0;
  float cellSize = 0.0f;
  int runCount = 0;
  int frameCount = 0;
  int sndCount = 0;
  int size = 0;
};

// The data set of depth soundings of a hydrographic survey, common to both
// record formats (Sd_HTFSounding: one list of soundings; Sd_Sounding: runs,
// frames and soundings). Everything that does not depend on the record
// layout lives here: the object record's header, the bounds, the attribute
// record and its settings, the class configuration, the two colour maps,
// saving and the drawing of the base plate. The records are held by
// Sd_SoundingCore (Sd_SoundingCore.h).
//
// Records in the file: the object record (header and records), then in any
// order the common tags (georeference, colour map), the attribute record
// and edits records, which are skipped (docs/file-formats.md). The object
// saves itself as a file-pointer record naming the file its records were
// read from, followed by the common tags and the attribute record; it never
// writes its records into a file of its own.
//
// Note: m_colorMap here is the object's colour map 1 (256 colours held in
// the object); the node's colour-table pointer of Sd_Node, which the
// colour-map common tag fills, is Sd_Node::m_colorMap.
class Sd_SoundingSet : public Sd_Node {
 public:
  static constexpr int kAttributeCount = 23;
  static constexpr float kDefaultCellSize = 100.0f;
  static constexpr int kStoredRunSize = 108;
  static constexpr int kStoredFrameSize = 36;
  // Height of a cell that has none.
  static constexpr float kNoHeight = 1.0e12f;
  // Limits of the cell grid: at most kCellsPerSounding cells for every
  // sounding of the data set and kMinCellLimit cells whatever the count,
  // and never more than kMaxCells. A cell size that asks for more is
  // refused.
  static constexpr int kCellsPerSounding = 16;
  static constexpr int kMinCellLimit = 256;
  static constexpr int kMaxCells = 1 << 24;

  ~Sd_SoundingSet() override;

  // Releases the colour-map names; the records stay.
  void FreeData() override;
  // Reads the object record whose header the factory has read, then the
  // common tags, attribute and edits records that follow, and then bins
  // the soundings into the cell grid with the filters and surface mode
  // those records set (UpdateCellStatistics). 0 when loaded (also when a
  // later record was damaged: the object keeps its settings); -1 for a
  // payload of a format version below 2.0, and for a damaged or truncated
  // object record or counts the payload cannot hold (nothing is changed
  // then, and nothing beyond the payload allocated); -1 too when the
  // soundings cannot be laid on a grid (BuildCellGrid; the records are
  // then loaded, without a grid).
  int LoadObject(TDR_Manager* manager) override;
  // Writes a file-pointer record (object tag, tag version 1) naming the
  // file the records were read from and, when withAttributes is non-zero,
  // the common tags and the attribute record. 0, or -1 for an object that
  // was not read from a file, when that file is the one being written, or
  // when a write fails.
  int SaveObject(TDR_Manager* manager, int withAttributes, int unused) override;
  // The common tags, attribute and edits records, in any order, a later
  // record winning. 0, or -1 when a common tag was damaged or an attribute
  // record had a wrong version (it is skipped; the settings stay as they
  // were).
  int ReadCommonTags(TDR_Manager* manager) override;
  // The common tags of Sd_Node, then the attribute record (tag version 1).
  int WriteCommonTags(TDR_Manager* manager) override;
  const char* className() const override;

  // The grey base plate, and the run lines of a data set that has runs
  // while they are switched on; StepRender draws it whole and returns 1.
  void Render() override;
  int StepRender() override;

  // --- the object record ---
  // Reads the header of the object record (as LoadObject does) without
  // records or bounds. Sets the header size and, when the record stores
  // one, the cell size; the counts go to *header (when given), never into
  // the object, whose counts always describe the records it holds. -1 for
  // a format version below 2.0 or a damaged header, else 0.
  int ReadPayloadHeader(TDR_Manager* manager, Sd_SoundingHeader* header = nullptr);
  // Writes the object record with this object's records in it (not a file
  // pointer): the data file the object points at when it is saved. At tag
  // version 0 the format version is written first, from tag version 2 on
  // the cell size. 0, or -1 when a write fails.
  int WriteDataRecord(TDR_Manager* manager, int tagVersion = 2, float formatVersion = 2.0f) const;

  // --- class configuration and colour maps ---
  // Applies the class configuration file (Sd_SoundingClass::configName) in
  // its version 1, 2 or 3 layout. A missing file keeps the defaults; a
  // file that ends early keeps the defaults of the fields it lacks.
  void ReadClassConfiguration();
  // Kind 0: colour map 1 becomes the default ramp (red 255, green, blue
  // and alpha i at entry i). Any other kind changes nothing.
  void SetDefaultColorMap(int kind);
  // Reads colour map 1 (2) from a colour-map file. A missing file is
  // reported once per process at debug level, a damaged one with "Error
  // loading color map: %s"; either way the map keeps its colours and the
  // path is stored as the map's name. With recolour the cells are coloured
  // again. The colour-range listener is told.
  void LoadColorMap(const char* path, int recolour);
  void LoadColorMap2(const char* path, int recolour);
  const unsigned* GetColorMap1() const { return m_colorMap; }
  const unsigned* GetColorMap2() const { return m_colorMap2; }
  // Paths of the maps, null when none was loaded.
  const char* GetColorMapName() const { return m_colorMapName.empty() ? nullptr : m_colorMapName.c_str(); }
  const char* GetColorMap2Name() const { return m_colorMap2Name.empty() ? nullptr : m_colorMap2Name.c_str(); }

  // --- settings ---
  void SetProgressive(int on) { m_progressive = on; }
  void SetPreShaded(int on) { m_preShaded = on; }
  int GetProgressive() const { return m_progressive; }
  int GetPreShaded() const { return m_preShaded; }
  int GetLodStep() const { return m_lodStep; }
  int GetEmptyCellAlpha() const { return m_emptyCellAlpha; }
  float GetSymbolSize() const { return m_symbolSize; }
  // Configured colour range of attribute i (0 ... 22): 1 with the range
  // when one is configured, else 0 (and 0, 0).
  int GetAttributeRange(int i, float* low, float* high) const;
  // Data range of attribute i over the records (ComputeAttributeRanges):
  // 1 with the range; 0 (and 0, 0) for an attribute outside 0 ... 22.
  int GetAttributeDataRange(int i, float* low, float* high) const;
  // Filter i in the order of the class's filters (0 when out of range).
  int GetFilter(int i) const { return i >= 0 && i < m_class.filterCount ? m_filters[i] : 0; }
  void SetFilter(int i, int on) {
    if (i >= 0 && i < m_class.filterCount) m_filters[i] = on;
  }
  int GetSurfaceMode() const { return m_surfaceMode; }
  float GetGridLineZ() const { return m_gridLineZ; }
  int GetCellAlpha() const { return m_cellAlpha; }
  int GetColorMode() const { return m_colorMode; }
  int GetShowGridLines() const { return m_showGridLines; }
  int GetShowSurface() const { return m_showSurface; }
  int GetShowCellSoundings() const { return m_showCellSoundings; }
  int GetShowBase() const { return m_showBase; }
  // The attribute record's last integer: the run-line switch of FSD
  // soundings, a spare value of HTF soundings.
  int GetLastSwitch() const { return m_lastSwitch; }

  // --- data ---
  const Sd_SoundingClass& GetClass() const { return m_class; }
  int GetSoundingCount() const { return m_sndCount; }
  int GetRunCount() const { return m_runCount; }
  int GetFrameCount() const { return m_frameCount; }
  float GetCellSize() const { return m_cellSize; }
  // The cell size that the object record stores from tag version 2 on.
  void SetCellSize(float size) { m_cellSize = size; }
  int GetPayloadHeaderSize() const { return m_payloadHeaderSize; }
  int GetMaxCellCount() const { return m_maxCellCount; }
  // Data bounds {x min, x max, y min, y max, z min, z max} as loading left
  // them, and ranges {x, y, z}: the data's, or once binned the spans of the
  // node's bounds (the grid's edges).
  void GetDataBounds(double bounds[6]) const;
  void GetDataRanges(double ranges[3]) const;
  // The file the records were read from ("" when none).
  const char* GetDataPath() const { return m_dataPath.c_str(); }

  // --- the cell grid ---
  // Bins every sounding in the grid (inGrid non-zero) into the square
  // cells of m_cellSize laid from the data's x and y minima less a tenth
  // of a cell, and sets the node's x and y bounds to the grid's edges. A
  // cell size that is not a positive finite number is derived (about ten
  // soundings a cell) and stored. 0 when built, and when no sounding lies
  // in the grid (then there is no grid); -1 after a debug message when no
  // cell size can be derived (the soundings lie on one line or point) or
  // the grid would exceed its limits (kCellsPerSounding, kMaxCells), or
  // out of memory: no grid then, and no sounding chained.
  virtual int BuildCellGrid() = 0;
  // 1 unless a switched-on filter hides sounding index (0 for an index
  // outside the records).
  virtual int IsSoundingShown(int index) const = 0;
  // Whether a sounding with this flags byte passes the switched-on filters.
  int IsShownByFlags(unsigned char flags) const;
  // Every cell's height by the surface mode (0 deep: the last shown
  // sounding of its list; 1 shallow: the first; 2 average: the mean of the
  // shown soundings, summed in a float); kNoHeight for a cell without a
  // shown sounding. Another mode leaves the heights as they are.
  void ComputeCellHeights();
  // The unit normal of the face between cell (row, col) and the two
  // neighbours that quadrant q (0 ... 3) names, rows as the first
  // component and columns as the second, heights in data units and steps
  // in cells. 1 with the normal in n; 0 when a neighbour lies outside the
  // grid or has no height.
  int ComputeFaceNormal(float* n, int row, int col, int q) const;
  // Every cell's normal: the mean of its face normals, (0, 0, 1) when it
  // has none, (0, 0, 0) for a cell without height.
  void ComputeNormals();
  // Stores the surface mode and recomputes the heights, colours and
  // normals.
  void SetSurfaceMode(int mode);
  // Spread (standard deviation) of z of the shown soundings of a cell,
  // sums in float; 0 for a cell without shown soundings, for a variance
  // that rounding makes negative, and for a cell outside the grid.
  float CellStdDev(int row, int col) const;
  // Rebins the soundings and recomputes the cells' spreads and their range,
  // heights, normals, with withRanges the attribute data ranges, and the
  // colours; the busy callback is told (1, 1) before and (0, 0) after.
  // What BuildCellGrid returned.
  int UpdateCellStatistics(int withRanges);
  // The data range of every colour attribute over the records (23
  // entries, (1e12, -1e12) where nothing feeds one): 19 the spread of the
  // cells, 20 the z range, 21 0 to the largest cell count, the others per
  // class from the records.
  void ComputeAttributeRanges();

  // The grid: rows x cols cells, row by row (none: 0 x 0).
  int GetRows() const { return m_rows; }
  int GetCols() const { return m_cols; }
  // Cell (row, col), its height (kNoHeight when none) and normal; null
  // (kNoHeight) outside the grid.
  const Sd_SoundingCell* GetCell(int row, int col) const {
    return IsCell(row, col) ? &m_cells[CellIndex(row, col)] : nullptr;
  }
  float GetCellHeight(int row, int col) const {
    return IsCell(row, col) ? m_cellHeights[CellIndex(row, col)] : kNoHeight;
  }
  const float* GetCellNormal(int row, int col) const {
    return IsCell(row, col) ? &m_cellNormals[3 * CellIndex(row, col)] : nullptr;
  }
  // The record indices of a cell's soundings in list order (count in
  // *count); null for a cell outside the grid or without soundings.
  const int* GetCellSoundings(int row, int col, int* count) const;
  void GetStdDevRange(float* low, float* high) const {
    *low = m_stdDevMin;
    *high = m_stdDevMax;
  }
  // Bytes of the per-cell arrays (not of the per-sounding run arrays).
  size_t GetCellGridBytes() const;

 protected:
  explicit Sd_SoundingSet(const Sd_SoundingClass& cls);

  // --- what the record-holding classes provide ---
  // Reads the records the header announces (the caller has checked that
  // the payload holds them) into new arrays and, only when all were read,
  // replaces the object's records with them and sets the counts and the
  // data bounds. 0, or -1 (after a debug message) with nothing changed.
  virtual int ReadRecords(TDR_PayloadReader& in, const Sd_SoundingHeader& header) = 0;
  // Writes the counts and records of the object record.
  virtual bool WriteRecords(TDR_PayloadWriter& out, int byteOrder) const = 0;
  // Draws the survey run lines (data sets with runs).
  virtual void DrawRunLines() {}

  // Recolours the cells by the colour mode and tells the colour-range
  // listener. Without a cell grid only the listener is told.
  virtual void ColorCells();
  // Shades the cells again with the node's six shading parameters while
  // pre-shaded; the cells carry no shading in this class.
  virtual void Reshade() {}
  // Widens range[k] (low, high) by the values attribute k takes in every
  // record, for the attributes the records feed.
  virtual void WidenAttributeRanges(float range[][2]) const = 0;
  static void Widen(float range[2], float v) {
    if (v < range[0]) range[0] = v;
    if (v > range[1]) range[1] = v;
  }

  // The cell grid's storage: rows x cols cells, each grid one block.
  // Cells are cleared (no soundings), heights kNoHeight, normals and
  // colours 0. 0, or -1 when out of memory (no grid then).
  int AllocCellGrids(int rows, int cols);
  // Releases the grid and the run arrays; rows and cols become 0.
  void FreeCellGrids();
  // Room for the run arrays of count binned soundings. false when out of
  // memory.
  bool AllocCellRuns(int count);

  // Where the grid goes: the cell size and the origin (node x and y
  // minima), rows and columns.
  struct CellGridShape {
    float size;
    float originX, originY;
    int rows, cols;
  };
  // The shape of the grid for the soundings' bounds; derives and stores
  // the cell size when it is not a positive finite number. 0 with the
  // shape; 1 when no sounding lies in the grid; -1 (after a debug message)
  // when no grid can be laid.
  int PlanCellGrid(CellGridShape* shape);
  // Sets the node's bounds to the grid's edges and the z range, and the
  // ranges to the grid's spans.
  void SetGridBounds(const CellGridShape& shape);

  bool IsCell(int row, int col) const { return row >= 0 && row < m_rows && col >= 0 && col < m_cols; }
  size_t CellIndex(int row, int col) const { return static_cast<size_t>(row) * m_cols + col; }
  size_t CellCount() const { return static_cast<size_t>(m_rows) * m_cols; }

  // The attribute and edits records among the records after the object's
  // own.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

  // Bounds accumulated while records are decoded: a sounding widens them
  // only when x, y and z are finite and within float range (the node's
  // bounds are floats); others are kept out of the grid.
  struct BoundsAccumulator {
    double min[3] = {1e15, 1e15, 1e15};
    double max[3] = {-1e15, -1e15, -1e15};
    // 1 when the point counts (and widened the bounds), else 0.
    int Add(double x, double y, double z) {
      // Written so that NaN fails too.
      if (!(std::fabs(x) <= FLT_MAX && std::fabs(y) <= FLT_MAX && std::fabs(z) <= FLT_MAX)) return 0;
      const double v[3] = {x, y, z};
      for (int a = 0; a < 3; ++a) {
        if (v[a] < min[a]) min[a] = v[a];
        if (v[a] > max[a]) max[a] = v[a];
      }
      return 1;
    }
  };
  // Stores the data bounds and ranges from accumulated bounds (the z
  // minimum lowered by 5 % of the z range) and copies them into the node's
  // bounds.
  void SetDataBounds(const BoundsAccumulator& bounds);
  // The normalised position of (x, y) in the unit box of the node's
  // bounds, with the ranges of the data; 0 on an axis without extent.
  void NormalisedXY(double x, double y, float out[2]) const;

  // Settings of the factory's samples: a cell size and attribute values
  // other than the defaults, and no colour-map name; then the soundings
  // are binned as loading bins them, so that the georeference the sample
  // writes holds the grid's edges, as a loaded object's does. What
  // UpdateCellStatistics returned.
  int SetSampleSettings();

  // Reads the header of the object record (tag version from the reader).
  // 0; -1 for a format version below 2.0 (nothing read after it); -2 for a
  // damaged header or counts that the payload cannot hold.
  static int ReadHeader(TDR_PayloadReader& in, const Sd_SoundingClass& cls, Sd_SoundingHeader* header);

  const Sd_SoundingClass& m_class;

  // --- records (held by the record classes) ---
  int m_sndCount;
  int m_runCount;
  int m_frameCount;
  std::string m_dataPath;

  // --- data bounds ---
  double m_xMin, m_xMax, m_yMin, m_yMax, m_zMin, m_zMax;
  double m_xRange, m_yRange, m_zRange;
  float m_cellSize;
  int m_payloadHeaderSize;
  int m_maxCellCount;

  // --- cell grid (each array one block of rows x cols entries) ---
  int m_rows, m_cols;
  Sd_SoundingCell* m_cells;
  float* m_cellHeights;      // kNoHeight for a cell without height
  float* m_cellNormals;      // three floats a cell
  unsigned* m_cellColors;    // lit colours
  unsigned* m_shadedColors;  // pre-shaded colours
  // Row buffers of the hill shading: heights as 16-bit codes, a spare row
  // and colours, cols entries each (one block).
  unsigned short* m_shadeHeightRow;
  unsigned short* m_shadeSpareRow;
  unsigned* m_shadeColorRow;
  // The run arrays: the soundings of every cell in list order, cell after
  // cell: record index, z as float, and flags as binned (a change of a
  // record's flags or position needs a rebin).
  int m_binnedCount;  // entries of the run arrays
  int* m_cellRun;
  float* m_cellRunZ;
  unsigned char* m_cellRunFlags;
  float m_stdDevMin, m_stdDevMax;
  float m_attrDataRange[kAttributeCount][2];

  // --- attribute record ---
  int m_filters[4];  // the class's filters, in its table's order
  int m_surfaceMode;
  float m_gridLineZ;
  int m_cellAlpha;
  int m_colorMode;
  int m_showGridLines;
  int m_showSurface;
  int m_showCellSoundings;
  int m_showBase;
  int m_lastSwitch;

  // --- class configuration ---
  int m_preShaded;
  int m_progressive;
  int m_lodStep;
  int m_emptyCellAlpha;
  float m_symbolSize;
  unsigned char m_attrRangeSet[kAttributeCount];
  float m_attrRange[kAttributeCount][2];

  // --- colour maps ---
  unsigned m_colorMap[256];
  unsigned m_colorMap2[256];
  std::string m_colorMapName;
  std::string m_colorMap2Name;
  float m_colorRange[2];

 private:
  // shown[f] is IsShownByFlags(f) for every flags byte f.
  void ShownTable(unsigned char shown[256]) const;
  // The spread of a cell's shown soundings (CellStdDev).
  float Spread(const Sd_SoundingCell& cell, const unsigned char shown[256]) const;

  // One attribute record's payload; applied only when read whole.
  void ReadAttributeRecord(TDR_Manager* manager);
  void LoadMap(const char* path, int recolour, unsigned* colours, std::string* name);

  int m_attributeVersionError;  // set while reading the records after the object's own
};

#endif
