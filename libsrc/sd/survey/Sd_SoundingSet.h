#ifndef SD_SOUNDINGSET_H
#define SD_SOUNDINGSET_H

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Sd_Node.h"
#include "Sd_SoundingEditor.h"
#include "Sd_SoundingExport.h"
#include "Sd_SoundingGrid.h"
#include "Sd_SoundingPainter.h"
#include "Sd_SoundingPoint.h"
#include "Sd_SoundingSelection.h"
#include "Sd_SoundingStyle.h"

class TDR_PayloadReader;
class TDR_PayloadWriter;
class Sd_SonarDTM;

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
// frames and soundings). The records are held by Sd_SoundingCore
// (Sd_SoundingCore.h); what does not depend on the record layout is held
// here and in the parts the data set owns, each with its own state:
//
//   Sd_SoundingGrid       the cell grid: shape, cells, runs, statistics and
//                         the worker passes over them
//   Sd_SoundingStyle      class configuration, colour maps and colouring
//   Sd_SoundingSelection  the selection window, its order and the selected
//                         list
//   Sd_SoundingEditor     the marked, edit and candidate lists, thinning and
//                         the spike search
//   Sd_SoundingPainter    what is shown and how it is drawn
//   Sd_SoundingExport     the surface as a terrain and the grid points
//
// The data set itself keeps the object record's header, the counts, the
// data's box, the filters and the attribute record, and is the node: it
// ties the parts to the node's callbacks, transform and pass protocol.
// Its interface below is the one the rest of the viewer uses; where a part
// does the work, the function hands over to it.
//
// Records in the file: the object record (header and records), then in any
// order the common tags (georeference, colour map), the attribute record
// and edits records, which are skipped (docs/file-formats.md). The object
// saves itself as a file-pointer record naming the file its records were
// read from, followed by the common tags and the attribute record; it never
// writes its records into a file of its own.
//
// Note: colour map 1 is the object's own (256 colours held in the style);
// the node's colour-table pointer of Sd_Node, which the colour-map common
// tag fills, is Sd_Node::m_colorMap.
class Sd_SoundingSet : public Sd_Node, protected Sd_SoundingPoints, protected Sd_SoundingSelection::Records {
 public:
  static constexpr int kAttributeCount = Sd_SoundingStyle::kAttributeCount;
  static constexpr float kDefaultCellSize = Sd_SoundingGrid::kDefaultCellSize;
  static constexpr int kStoredRunSize = 108;
  static constexpr int kStoredFrameSize = 36;
  // Height of a cell that has none.
  static constexpr float kNoHeight = Sd_SoundingGrid::kNoHeight;
  // Limits of the cell grid (Sd_SoundingGrid).
  static constexpr int kMaxCells = Sd_SoundingGrid::kMaxCells;

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
  void SetDefaultColorMap(int kind) { m_style.SetDefaultColorMap(kind); }
  // Reads colour map 1 (2) from a colour-map file. A missing file is
  // reported once per process at debug level, a damaged one with "Error
  // loading color map: %s"; either way the map keeps its colours and the
  // path is stored as the map's name. With recolour the cells are coloured
  // again. The colour-range listener is told.
  void LoadColorMap(const char* path, int recolour) { LoadMap(0, path, recolour); }
  void LoadColorMap2(const char* path, int recolour) { LoadMap(1, path, recolour); }
  const unsigned* GetColorMap1() const { return m_style.Map(0); }
  const unsigned* GetColorMap2() const { return m_style.Map(1); }
  // Paths of the maps, null when none was loaded.
  const char* GetColorMapName() const { return MapName(0); }
  const char* GetColorMap2Name() const { return MapName(1); }

  // --- settings ---
  void SetProgressive(int on) { m_style.SetProgressive(on); }
  // Stores the switch; switching it on shades the cells at once with the
  // node's six shading parameters.
  void SetPreShaded(int on) {
    m_style.SetPreShaded(on);
    if (on) Reshade();
  }
  int GetProgressive() const { return m_style.Progressive(); }
  int GetPreShaded() const { return m_style.PreShaded(); }
  int GetLodStep() const { return m_style.LodStep(); }
  int GetEmptyCellAlpha() const { return m_style.EmptyCellAlpha(); }
  float GetSymbolSize() const { return m_style.SymbolSize(); }
  // Configured colour range of attribute i (0 ... 22): 1 with the range
  // when one is configured, else 0 (and 0, 0).
  int GetAttributeRange(int i, float* low, float* high) const { return m_style.GetAttributeRange(i, low, high); }
  // Data range of attribute i over the records (ComputeAttributeRanges):
  // 1 with the range; 0 (and 0, 0) for an attribute outside 0 ... 22.
  int GetAttributeDataRange(int i, float* low, float* high) const;
  // Filter i in the order of the class's filters (0 when out of range).
  int GetFilter(int i) const { return i >= 0 && i < m_class.filterCount ? m_filters[i] : 0; }
  void SetFilter(int i, int on) {
    if (i >= 0 && i < m_class.filterCount) m_filters[i] = on;
  }
  int GetSurfaceMode() const { return m_grid.SurfaceMode(); }
  float GetGridLineZ() const { return m_painter.GridLineZ(); }
  int GetCellAlpha() const { return m_style.CellAlpha(); }
  int GetColorMode() const { return m_style.ColourMode(); }
  int GetShowGridLines() const { return m_painter.ShowGridLines(); }
  int GetShowSurface() const { return m_painter.ShowSurface(); }
  int GetShowCellSoundings() const { return m_painter.ShowCellSoundings(); }
  int GetShowBase() const { return m_painter.ShowBase(); }
  // The attribute record's last integer: the run-line switch of FSD
  // soundings, a spare value of HTF soundings.
  int GetLastSwitch() const { return m_lastSwitch; }

  // --- data ---
  const Sd_SoundingClass& GetClass() const { return m_class; }
  int GetSoundingCount() const { return m_sndCount; }
  int GetRunCount() const { return m_runCount; }
  int GetFrameCount() const { return m_frameCount; }
  float GetCellSize() const { return m_grid.CellSize(); }
  // The cell size that the object record stores from tag version 2 on.
  void SetCellSize(float size) { m_grid.SetCellSize(size); }
  int GetPayloadHeaderSize() const { return m_payloadHeaderSize; }
  int GetMaxCellCount() const { return m_grid.MaxCellCount(); }
  // Data bounds {x min, x max, y min, y max, z min, z max} as loading left
  // them, and ranges {x, y, z}: the data's, or once binned the spans of the
  // node's bounds (the grid's edges).
  void GetDataBounds(double bounds[6]) const;
  void GetDataRanges(double ranges[3]) const;
  // The file the records were read from ("" when none).
  const char* GetDataPath() const { return m_dataPath.c_str(); }

  // --- the cell grid ---
  // Bins every sounding in the grid (inGrid non-zero) into the square
  // cells of the cell size laid from the data's x and y minima less a
  // tenth of a cell, and sets the node's x and y bounds to the grid's
  // edges. A cell size that is not a positive finite number is derived
  // (about ten soundings a cell) and stored. 0 when built, and when no
  // sounding lies in the grid (then there is no grid); -1 after a debug
  // message naming the file when no cell size can be derived (the
  // soundings lie on one line or point) or the grid would exceed its bound
  // (kMaxCells), or out of memory: no grid then, and no sounding chained.
  virtual int BuildCellGrid() = 0;
  // 1 unless a switched-on filter hides sounding index (0 for an index
  // outside the records).
  int IsSoundingShown(int index) const override = 0;
  // Whether a sounding with this flags byte passes the switched-on filters.
  int IsShownByFlags(unsigned char flags) const;
  // Every cell's height by the surface mode (0 deep: the last shown
  // sounding of its list; 1 shallow: the first; 2 average: the mean of the
  // shown soundings, summed in a float); kNoHeight for a cell without a
  // shown sounding. Another mode leaves the heights as they are. False
  // when a worker's share failed.
  bool ComputeCellHeights();
  // The unit normal of the face between cell (row, col) and the two
  // neighbours that quadrant q (0 ... 3) names, rows as the first
  // component and columns as the second, heights in data units and steps
  // in cells. 1 with the normal in n; 0 when a neighbour lies outside the
  // grid or has no height.
  int ComputeFaceNormal(float* n, int row, int col, int q) const { return m_grid.FaceNormal(n, row, col, q); }
  // Every cell's normal: the mean of its face normals, (0, 0, 1) when it
  // has none, (0, 0, 0) for a cell without height. False when a worker's
  // share failed.
  bool ComputeNormals() { return m_grid.ComputeNormals(); }
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
  // What BuildCellGrid returned, or -1 (after a debug message) when a
  // worker's share of a pass failed.
  int UpdateCellStatistics(int withRanges);
  // The debug message of a pass over the cells that came back failed.
  void ReportFailedPass() const;
  // The data range of every colour attribute over the records (23
  // entries, (1e12, -1e12) where nothing feeds one): 19 the spread of the
  // cells, 20 the z range, 21 0 to the largest cell count, the others per
  // class from the records. False when a worker's share failed.
  bool ComputeAttributeRanges();

  // The grid: rows x cols cells, row by row (none: 0 x 0).
  int GetRows() const { return m_grid.Rows(); }
  int GetCols() const { return m_grid.Cols(); }
  // Cell (row, col), its height (kNoHeight when none) and normal; null
  // (kNoHeight) outside the grid.
  const Sd_SoundingCell* GetCell(int row, int col) const { return m_grid.Cell(row, col); }
  float GetCellHeight(int row, int col) const { return m_grid.Height(row, col); }
  const float* GetCellNormal(int row, int col) const { return m_grid.Normal(row, col); }
  // The record indices of a cell's soundings in list order (count in
  // *count); null for a cell outside the grid or without soundings.
  const int* GetCellSoundings(int row, int col, int* count) const { return m_grid.CellSoundings(row, col, count); }
  void GetStdDevRange(float* low, float* high) const { m_grid.GetStdDevRange(low, high); }
  // Bytes of the per-cell arrays (not of the per-sounding run arrays).
  size_t GetCellGridBytes() const { return m_grid.Bytes(); }

  // --- picking and the selection window (Sd_SoundingPick.cpp) ---
  // Told before (phase 0) and after (phase 1) every change of the window's
  // soundings or of their order, with the window's record indices.
  typedef Sd_SoundingSelection::Callback SelectCallback;
  void SetSelectCallback(SelectCallback fn, void* data) { m_selection.SetCallback(fn, data); }
  // Mode 0 (query): the geographic point and height of the cell under the
  // request's pixel, with its colour, into *out; 1 when the four cells
  // there hold a height. Mode 1 (the selecting tool): selects the window
  // around the cell under the pixel when the class selects on the
  // request's action (SelectsOnAction); 1 when it did. Nothing else
  // writes *out; 0 for a miss.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // Bilinear height at a geographic point from the cell and its neighbours
  // towards +x and +y, reported to the query callback; 1 when all four
  // hold a height, 0 outside the node's bounds or the grid's last row or
  // column.
  int ValueAt(double x, double y, int user) override;
  // Height at (rowPos, colPos) in cell (row, col), which lies in the grid:
  // bilinear when the cell and its neighbours (row + 1, col), (row, col +
  // 1), (row + 1, col + 1) all hold heights, else the highest of those that
  // do (-1e8 when none). 1 when any of the four holds one.
  int InterpolateCell(int row, int col, float rowPos, float colPos, float* z) const {
    return m_grid.Interpolate(row, col, rowPos, colPos, z);
  }
  // Selects the window of (2r + 1) x (2r + 1) cells around (row, col),
  // moved inside the grid, r the selection radius (shrunk to fit the
  // grid); marks its cells, lists its soundings in the current sort order
  // and rebuilds the outline. With centre non-zero the cell-select callback
  // is told the centre cell. Nothing on a grid without cells.
  void SelectWindow(int row, int col, int centre);
  // The outline of the window: 4 s vertices (s the window's edge in cells)
  // round the window's cell borders, x and y in the unit box, z in data
  // units a quarter unit above the corners' mean height.
  void BuildWindowOutline() { m_selection.BuildOutline(m_grid, m_extent.zMin); }
  // Mean height of the cells around corner (row, col) (the floor of the
  // data for a cell without height), plus 0.25.
  double CornerHeight(int row, int col) const {
    return Sd_SoundingSelection::CornerHeight(m_grid, m_extent.zMin, row, col);
  }
  // The keyboard commands of the window (codes 1 to 19): resize, move by a
  // window, a cell or a radius, toggle the pre-shaded surface.
  void HandleSelectionCommand(int code);
  // First and last row and column of the window (all -1 when none).
  void GetWindow(int* firstRow, int* lastRow, int* firstCol, int* lastCol) const;
  // The window's record indices in their sort order (count in *count).
  const int* GetSelection(int* count) const;
  int GetSelectionRadius() const { return m_selection.Radius(); }
  // The centre cell of the window (-1, -1 when none).
  void GetSelectionCentre(int* row, int* col) const {
    *row = m_selection.CentreRow();
    *col = m_selection.CentreCol();
  }
  // The outline's vertices, three floats each (count in *count; none
  // without a window).
  const float* GetWindowOutline(int* count) const;
  // The selected list: records whose mark is set (count in *count).
  const int* GetSelectedList(int* count) const;
  // When the select callback is set, tells it (phase 1) the window's list.
  void NotifySelection() const { m_selection.Notify(1); }

  // --- the order of the window's list (Sd_SoundingSort.cpp) ---
  // Orders the window's list by key (the class's key table): ascending by
  // the table's comparison, descending with the direction flag set, equal
  // keys in their previous order, and soundings without the frame or run
  // the key needs (or without a number for it) last in their previous
  // order. An unknown key leaves the order. With keepDirection 0 the flag
  // toggles when key is the current key, else clears. The select callback
  // is told the new order when the list is not empty.
  void SortRecords(int key, int keepDirection) { m_selection.Sort(key, keepDirection); }
  // 1 when the entries at list positions a and b (a before b) stand in the
  // wrong order for the current key and direction, else 0.
  int CompareRecords(int a, int b) const { return m_selection.Compare(a, b); }
  int GetSortKey() const { return m_selection.SortKey(); }
  int GetSortDescending() const { return m_selection.SortDescending(); }
  // Day and hour of a count of hours: day = floor((hours + 23) / 24), hour =
  // hours - (day - 1) * 24, so 24 is day 1 hour 24 and 25 day 2 hour 1.
  static void SplitHours(int hours, int* day, int* hour) { Sd_SoundingSelection::SplitHours(hours, day, hour); }

  // --- colouring (Sd_SoundingColour.cpp) ---
  // The colour a cell gets: an entry of a 256-colour map with the cell's
  // alpha as the top byte. Colour modes: 0 depth, 1 spread, 2 sounding
  // count, 3 the attribute SetColorAttribute chose; any other colours
  // nothing.
  // Stores the mode and recolours (and shades again while pre-shaded).
  void SetColorMode(int mode);
  // Makes (low, high) the configured colour range of the attribute the
  // current mode colours by (20 depth, 19 spread, 21 count, or the colour
  // attribute in mode 3; no other), recolours and shades again while
  // pre-shaded.
  void SetColorRange(float low, float high);
  // Chooses the attribute mode 3 colours by (0 ... 22, per class) and
  // recolours.
  void SetColorAttribute(int attribute);
  int GetColorAttribute() const { return m_style.ColourAttribute(); }
  void GetColorRange(float* low, float* high) const {
    *low = m_style.ColourRange()[0];
    *high = m_style.ColourRange()[1];
  }
  // Colours cell (row, col) from value v through table (made the node's
  // colour map): with a configured range of attribute k the entry is
  // (v - low) / (high - low) * 255, else (v - offset) * scale. A cell
  // without height takes the entry of the z minimum in a configured range
  // (else 0) and the empty-cell alpha, and its pre-shaded colour only that
  // alpha.
  void SetCellColor(int row, int col, int attribute, float value, float offset, float scale, const unsigned* table);
  // Colours cell (row, col) from colour map 2 by a flag state: entry 255
  // (the range's high end when attribute k has a configured range) when
  // flagged, else 0 (its low end).
  void SetCellFlagColor(int row, int col, int attribute, int flagged);
  // The value a cell keeps while its soundings are walked: the smaller.
  static float PickCellValue(float candidate, float current) {
    return Sd_SoundingStyle::PickCellValue(candidate, current);
  }
  // v limited to 0 ... 255.
  static int ClampColorIndex(int v) { return Sd_SoundingStyle::ClampColorIndex(v); }
  // A colour-map entry from a real index: truncated toward zero and
  // limited to 0 ... 255; infinite and not-a-number indices give 0.
  static int ColorIndex(double index) { return Sd_SoundingStyle::ColorIndex(index); }
  // The alpha word of an alpha value: a (limited to 0 ... 255) in the top
  // byte, the colour bytes 0.
  static unsigned AlphaWord(int alpha) { return Sd_SoundingStyle::AlphaWord(alpha); }
  // Hill-shades the cells' colours into the pre-shaded colours with the
  // six shading parameters (kept in the node, in the order of
  // Sv_Shader::SetSun), then recolours. The last argument is unused.
  void ShadeCells(float azimuth, float strength, float ambient, float relief, float elevation, float highlight,
                  int unused = 0);
  // Packed colours of cell (row, col): lit and pre-shaded (0 outside the
  // grid).
  unsigned GetCellColor(int row, int col) const {
    return m_grid.IsCell(row, col) ? m_grid.Colours()[m_grid.CellIndex(row, col)] : 0u;
  }
  unsigned GetShadedColor(int row, int col) const {
    return m_grid.IsCell(row, col) ? m_grid.ShadedColours()[m_grid.CellIndex(row, col)] : 0u;
  }

  // --- drawing ---
  // Which flag state of a sounding is shown with the flagged symbol
  // (an attribute number of mode 3's flags; -1: none).
  void SetHighlightAttribute(int attribute) { m_style.SetHighlightAttribute(attribute); }
  // 1 when record index is on the edit list.
  int IsInEditList(int index) const { return m_editor.IsInEditList(index); }
  // The marked list (record indices; a negative index ends it) and the
  // edit list, as drawing reads them.
  void SetMarkedList(const int* indices, int count) { m_editor.SetMarkedList(indices, count); }
  void SetEditList(const int* indices, int count) { m_editor.SetEditList(indices, count); }
  void SetShowMarked(int on) { m_painter.SetShowMarked(on); }
  void SetLodStep(int step) { m_style.SetLodStep(step); }

  // --- editing lists, thinning and spike search (Sd_SoundingEditor) ---
  // None of these changes a record beyond its mark byte, and none writes a
  // file. Soundings whose excluding flag is set (ExcludedFlags) take no
  // part in the tools; the tools read the flags and heights as the grid
  // binned them.
  //
  // The candidate array that the tools fill: record indices (an index
  // outside the records is ignored). Thin candidates reserve room for one
  // entry per thinning block on first use; both grow as needed.
  void AddThinCandidate(int index) { m_editor.AddThinCandidate(m_grid, index); }
  void AddSpikeCandidate(int index) { m_editor.AddSpikeCandidate(index); }
  const int* GetCandidates(int* count) const { return ListOf(m_editor.Candidates(), count); }
  // Orders the candidates by z, greatest first, and puts on the marked list
  // each one that lies no closer than the thinning radius to a candidate
  // marked before it (every one when the radius is not above 0); releases
  // the candidate array.
  void ThinCandidatesByDistance() { m_editor.ThinCandidatesByDistance(); }
  // Drops, in array order, every candidate that lies closer than the
  // cluster radius to an earlier candidate not dropped before it, and that
  // earlier one too; marks the rest in array order and releases the array.
  // Candidates dropped already are no one's neighbours.
  void PruneCandidateClusters() { m_editor.PruneCandidateClusters(); }
  // Orders n record indices by z, greatest first, equal z in their previous
  // order.
  void SortCandidatesByZ(int* indices, int n) const { m_editor.SortCandidatesByZ(indices, n); }
  // sqrt(dx^2 + dy^2) of two records (0 when either lies outside).
  double HorizontalDistance(int a, int b) const { return m_editor.HorizontalDistance(a, b); }
  // The first sounding of cell (row, col)'s list that is not excluded, or
  // -1 (also outside the grid).
  int FirstValidRecord(int row, int col) const { return m_editor.FirstValidRecord(m_grid, row, col); }
  // 1 when the first valid sounding of any of the eight neighbours of cell
  // (row, col) inside the grid lies higher than record index, else 0.
  int HasHigherNeighbour(int index, int row, int col) const {
    return m_editor.HasHigherNeighbour(m_grid, index, row, col);
  }
  // The marked list, in the order of marking; a record is on it at most
  // once (an index outside the records is ignored).
  void AddMarked(int index) { m_editor.AddMarked(index); }
  void RemoveMarked(int index) { m_editor.RemoveMarked(index); }
  int IsMarked(int index) const { return m_editor.IsMarked(index); }
  // Empties the marked list and the candidate array.
  void ClearMarkedList() { m_editor.ClearMarkedList(); }
  const int* GetMarkedList(int* count) const { return ListOf(m_editor.MarkedList(), count); }
  // The selected list: adding sets the record's mark (an index outside the
  // records is ignored); removing clears it and moves the list's last
  // entry into the removed one's place.
  void AddToSelectedList(int index) { m_selection.AddSelected(index); }
  void RemoveFromSelectedList(int index) { m_selection.RemoveSelected(index); }
  void ClearSelectedList() { m_selection.ClearSelected(); }
  // The edit list: appended to (room for the marked list's count on the
  // first entry), the first equal entry replaced by the last on removal.
  void AddToEditList(int index) { m_editor.AddToEditList(index); }
  void RemoveFromEditList(int index) { m_editor.RemoveFromEditList(index); }
  void ClearEditList() { m_editor.ClearEditList(); }
  const int* GetEditList(int* count) const { return ListOf(m_editor.EditList(), count); }
  // For n of 1 or more: empties the edit list and gives it room for n plus
  // the selected list's count.
  void ReserveEditList(int n) { m_editor.ReserveEditList(n, m_selection.Selected().size()); }

  // The depth window of the thinning: each setter switches its limit on
  // for good; InDepthWindow is 1 when z passes the limits that are on,
  // inclusive.
  void SetDepthWindowLow(double z) { m_editor.SetDepthWindowLow(z); }
  void SetDepthWindowHigh(double z) { m_editor.SetDepthWindowHigh(z); }
  int InDepthWindow(double z) const { return m_editor.InDepthWindow(z); }
  // 0 none, 1 low only, 2 high only, 3 both.
  int GetDepthWindowState() const { return m_editor.DepthWindowState(); }
  // Marks the highest sounding in the depth window of every block of
  // thinning-block x thinning-block cells, thinned by distance.
  void ThinSoundings();
  // Marks the isolated spikes: per cell, soundings peeled off the top of
  // its list while each lies at least the spike threshold above the mean
  // of those below it and no neighbouring cell's first sounding is higher,
  // without those lying closer than the cluster radius to another.
  void FindSpikes();
  void SetGridLineZ(float z) { m_painter.SetGridLineZ(z); }
  // Block edge of the thinning in cells (below 1 counts as 1), thinning
  // radius, spike threshold and cluster radius.
  void SetThinBlock(int cells) { m_editor.SetThinBlock(cells); }
  void SetThinRadius(float radius) { m_editor.SetThinRadius(radius); }
  void SetSpikeThreshold(float height) { m_editor.SetSpikeThreshold(height); }
  void SetClusterRadius(float radius) { m_editor.SetClusterRadius(radius); }
  int GetThinBlock() const { return m_editor.ThinBlock(); }
  float GetThinRadius() const { return m_editor.ThinRadius(); }
  float GetSpikeThreshold() const { return m_editor.SpikeThreshold(); }
  float GetClusterRadius() const { return m_editor.ClusterRadius(); }

  // --- the surface as a terrain, terrain files, grid points (Sd_SoundingExport.cpp) ---
  // None of it runs in the viewer. Each builds the surface of a surface
  // mode (0 deep, 1 shallow, 2 average; any other keeps the heights as
  // they are) as a non-contiguous terrain: one node a cell, at the cell's
  // centre, so the terrain's x and y bounds are the outer cell centres; a
  // node's code is Sd_SonarDTM::HeightFileCode of the cell's height over
  // the surface height range (GetSurfaceHeightRange), 0 (the empty code)
  // for a cell without a height; its colour is the cell's lit colour. The
  // surface mode and its heights are restored afterwards on every path.
  // Problems are reported at error level.
  //
  // Adds the terrain as the next child of this object's parent, named by
  // the mode ("Deep Surface", "Shallow Surface", "Average Surface", else
  // "Unknown Surface"), described "Internal", with the height range as its
  // z bounds; then calls the tree-change callback. The terrain (owned by
  // the parent), or null without a parent or a cell grid, or out of memory.
  Sd_SonarDTM* CreateSurfaceDTM(int mode);
  // Writes baseName + ".dtm" (a SCALAR record of the codes over the height
  // range, code words 1 and 65535) and baseName + ".geo" (a GEOREF record
  // of the terrain's bounds), each atomically. 0, or -1 when either cannot
  // be written (a ".dtm" written before a failed ".geo" stays).
  int ExportDTM(const char* baseName, int mode);
  // Writes one text line "%lf %lf %f\n" (x, y, z) per cell that has a
  // sounding IsSoundingShown accepts: its list entry at position (shown
  // count) / 2, counting every entry of the list. Atomically; 0 or -1.
  int WriteGridPoints(const char* path);
  // The height range of the surface's codes: attribute 20's configured
  // range when both its ends are non-zero (and it is a finite, increasing
  // range), else the data's z range.
  void GetSurfaceHeightRange(float* low, float* high) const;

 protected:
  explicit Sd_SoundingSet(const Sd_SoundingClass& cls);

  using SoundingPoint = Sd_SoundingPoint;
  using ValueAttribute = Sd_SoundingStyle::ValueAttribute;

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
  // Widens range[k] (low, high) by the values attribute k takes in every
  // record, for the attributes the records feed. False when a worker's
  // share failed.
  virtual bool WidenAttributeRanges(float range[][2]) const = 0;
  static void Widen(float range[2], float v) {
    if (v < range[0]) range[0] = v;
    if (v > range[1]) range[1] = v;
  }
  // The records as the parts read them (Sd_SoundingPoints); the flag bits
  // that exclude a sounding from the editing tools (none by default).
  int SoundingCount() const override { return m_sndCount; }
  unsigned char ExcludedFlags() const override { return 0; }
  // The mark byte of sounding index (null outside the records).
  unsigned char* SoundingMark(int) override { return nullptr; }
  // Whether the selecting tool's action code selects a window.
  virtual bool SelectsOnAction(int action) const { return action != 2; }

  // --- colouring ---
  // Recolours the cells by the colour mode and tells the colour-range
  // listener. Without a cell grid only the listener is told.
  virtual void ColorCells();
  // Shades the cells again with the node's six shading parameters
  // (ShadeCells).
  void Reshade();
  // Mode 3: colours the cells by the colour attribute, per the class's
  // table of attributes; an attribute the class has none of colours
  // nothing.
  virtual void ColorCellsByAttribute() = 0;
  // Colours every cell by attribute k from value(record index, float*),
  // which returns false for a sounding that has no such value.
  template <class Value>
  void ColourByValue(int k, const ValueAttribute& a, Value value);
  // Colours every cell by whether any of its soundings has bit set in its
  // flags (flags(record index)); cells without soundings are coloured as
  // unflagged when emptyCalled, else left as they are.
  template <class Flags>
  void ColourByFlag(int k, unsigned char bit, int emptyCalled, Flags flags);
  // Makes a copy of table the node's colour map (unless it holds it
  // already).
  void UseNodeColorMap(const unsigned* table);

  // --- drawing (Sd_SoundingDraw.cpp) ---
  void DrawCellSoundings(int row, int col) { m_painter.DrawCellSoundings(DrawingScene(), row, col); }
  void DrawMarkedSoundings() { m_painter.DrawMarkedSoundings(DrawingScene()); }
  void DrawSoundingSymbol(int index, int onMarkedList) {
    m_painter.DrawSoundingSymbol(DrawingScene(), index, onMarkedList);
  }
  void DrawFlaggedSymbol(int index) { m_painter.DrawFlaggedSymbol(DrawingScene(), index); }
  // Steps 3 to 9 of a drawing: base plate, run lines, grid lines (every
  // stride-th and the outer ones), window outline, soundings, and the grid
  // frame with its matrices kept.
  void DrawOverlays(int stride);
  // false when the surface is to be drawn lit and there is no light set:
  // then nothing is drawn, and the object says so once (NoLightsMessage at
  // error level, else at debug level).
  bool HasLightsToDraw();
  virtual const char* NoLightsMessage() const { return nullptr; }
  // Ends a progressive pass: pops its matrix, switches the surface state
  // off and resets the pass.
  void ClosePass();

  // --- the grid ---
  // The cell grid's storage (Sd_SoundingGrid::Alloc), and its release with
  // the selection that refers to it.
  int AllocCellGrids(int rows, int cols);
  void FreeCellGrids();
  // Sets the node's bounds to the grid's edges and the z range, and the
  // ranges to the grid's spans.
  void SetGridBounds(const Sd_SoundingGrid::Shape& shape);
  // Forgets the window, its lists and its outline, clearing the marks they
  // set, without telling anyone: the cell grid they refer to is going.
  void DropSelection() { m_selection.Drop(); }

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
  void NormalisedXY(double x, double y, float out[2]) const { m_extent.NormalisedXY(m_bounds, x, y, out); }

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
  int m_payloadHeaderSize;
  Sd_SoundingExtent m_extent;

  // --- the attribute record's own values; the rest lives in the parts ---
  int m_filters[4];  // the class's filters, in its table's order
  int m_lastSwitch;

  // --- the parts ---
  Sd_SoundingGrid m_grid;
  Sd_SoundingStyle m_style;
  Sd_SoundingSelection m_selection;
  Sd_SoundingEditor m_editor;
  Sd_SoundingPainter m_painter;

 private:
  // shown[f] is IsShownByFlags(f) for every flags byte f.
  void ShownTable(unsigned char shown[256]) const;
  // What a drawing reads of the parts.
  Sd_SoundingPainter::Scene DrawingScene() const;
  // The surface the export writes, with its table of shown flag bytes.
  Sd_SoundingExport::Surface ExportSurface(unsigned char shown[256]);
  // Colour map 0 (1) from a file (LoadColorMap), and its name (null when
  // none).
  void LoadMap(int map, const char* path, int recolour);
  const char* MapName(int map) const {
    return m_style.MapName(map).empty() ? nullptr : m_style.MapName(map).c_str();
  }
  // A list's entries (count in *count).
  static const int* ListOf(const std::vector<int>& list, int* count) {
    if (count) *count = static_cast<int>(list.size());
    return list.data();
  }

  // One attribute record's payload; applied only when read whole.
  void ReadAttributeRecord(TDR_Manager* manager);

  int m_attributeVersionError;  // set while reading the records after the object's own
};

#endif
