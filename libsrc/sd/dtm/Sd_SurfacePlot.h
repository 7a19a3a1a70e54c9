#ifndef SD_SURFACEPLOT_H
#define SD_SURFACEPLOT_H

#include <string>
#include <vector>

#include "Sd_BaseDTM.h"
#include "Sv_HersheyFont.h"

// A grid shown as a labelled plot rather than as terrain: the surface of the
// height grid, coloured by the colour grid, in the unit box of the node, with
// a title, axis labels and numbered ticks drawn with the stroke font in the
// label plane (z = GetLabelZ()) of the node's frame.
//
// Two kinds share this one implementation and differ only by a table of
// their kind (Sd_SurfacePlot.cpp): the surface plot (Sd_SurfacePlot, linear
// x and y axes, picks) and the spectrum (Sd_SpectrumDTM, a logarithmic x
// axis with ticks at 1, 2 and 4 times each power of ten).
//
// Records: the object record (a text header of lines: one ignored line, then
// the texts and the axis ranges of the kind), the elevation and colour
// SCALAR records, the common tags and the attribute record
// (docs/file-formats.md). A loaded plot is saved as a file-pointer record
// naming the file it came from; one made in memory, or saved into the file
// it came from, writes its records.
//
// Drawing: Render draws the axes and the whole surface at the drawing step;
// a progressive pass draws the axes, then one row of the surface per call at
// the progressive step (step 1 in the best pass). Rows r = 0, s, 2s, ...
// below rows - s are drawn, each to row r + s, over the columns c = 0, s,
// 2s, ... below cols - s. Column c lies at x = X(c): c for the surface plot,
// log(c + 1) / log(cols + 1) * cols for the spectrum.
class Sd_PlotDTM : public Sd_BaseDTM {
 public:
  // The kind's differences (defined in Sd_SurfacePlot.cpp).
  struct Kind;
  // The texts of a plot.
  enum Text { kTitle = 0, kXLabel, kYLabel, kZLabel, kTextCount };
  // Longest text kept; longer texts keep their first kMaxText characters.
  static constexpr int kMaxText = 255;

  // A tick of an axis: its position in the node's unit box (along the axis)
  // and its label.
  struct Tick {
    float position;
    std::string label;
  };

  ~Sd_PlotDTM() override;

  // Does nothing: the grids stay until the plot is deleted or loaded again.
  void FreeData() override;
  // Reads the object record's payload (the factory has read its header),
  // the two SCALAR records and the common tags with the attribute records.
  // 0; -1 for a missing, damaged or mismatched record or a grid below 2 x 2
  // nodes, with no grids kept.
  int LoadObject(TDR_Manager* manager) override;
  // A file-pointer record naming the description (the file the plot was
  // read from) when that is another existing file, else the plot's own
  // records (SaveDataRecords); then, with withCommonTags, the common tags
  // and the attribute record. 0, or -1.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The object record, the two SCALAR records and (withCommonTags) the
  // common tags with the attribute record. 0, or -1 without grids or on a
  // failed write.
  int SaveDataRecords(TDR_Manager* manager, int withCommonTags);
  int WriteCommonTags(TDR_Manager* manager) override;
  const char* className() const override;

  // --- detail settings: the drawing step; full detail is step 1 ---
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // --- drawing ---
  void Render() override;
  int StepRender() override;

  // --- axes ---
  // Position of grid column c along x in grid space (X(c)).
  double ColumnPosition(int c) const;
  // Ticks of the x and y axes with their labels. A spectrum whose x range
  // starts at 0 or below has no x ticks.
  std::vector<Tick> XTicks() const;
  std::vector<Tick> YTicks() const;

  // --- texts and ranges ---
  const char* GetText(Text which) const;
  // Keeps the first line of text (at most kMaxText characters); null gives
  // an empty text.
  void SetText(Text which, const char* text);
  // Range of axis 0 x, 1 y, 2 z: {min, max}. A spectrum's x range is whole
  // numbers (SetRange truncates it).
  const double* GetRange(int axis) const;
  void SetRange(int axis, double min, double max);

  // --- attributes ---
  short GetDrawMode() const { return m_drawMode; }
  void SetDrawMode(short mode) { m_drawMode = mode; }
  int GetDrawStep() const { return m_drawStep; }
  int GetPassStep() const { return m_passStep; }
  int GetThirdStep() const { return m_thirdStep; }
  // Steps below 1 count as 1.
  void SetSteps(int drawStep, int passStep, int thirdStep);
  float GetLabelZ() const { return m_labelZ; }
  void SetLabelZ(float z) { m_labelZ = z; }
  int GetLineWidth() const { return m_lineWidth; }
  void SetLineWidth(int width) { m_lineWidth = width; }
  // R, G, B, A.
  const unsigned char* GetAxisColour() const { return m_axisColour; }
  void SetAxisColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

  // --- progressive state ---
  int GetStepState() const { return m_stepState; }
  int GetPushCount() const { return m_pushCount; }
  int GetCurrentRow() const { return m_currentRow; }
  int GetStepInUse() const { return m_stepInUse; }
  bool IsSpectrum() const;

 protected:
  explicit Sd_PlotDTM(const Kind& kind);
  // The attribute record of the kind; nothing else.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // A small plot of the kind with texts, ranges and attributes.
  static int WritePlotSample(Sd_PlotDTM* plot, TDR_Manager* manager);

 private:
  // Reads the object record's text header into the texts and ranges; false
  // after a message when the record is damaged or lacks a line.
  bool ReadTextHeader(TDR_Manager* manager);
  // The text header as written into the object record.
  std::string TextHeader() const;
  // Node transform, then the axes, ticks and labels in the label plane
  // (the caller pushes and pops the matrix).
  void DrawAxes();
  // One vertex of node (r, c) into the strip arrays at index i.
  void PutVertex(int i, int r, int c);
  // Columns 0, s, 2s, ... below cols - s.
  int StrideColumns(int s) const;
  // The whole surface at stride s, in grid space.
  void DrawSurface(int s);
  // The strip between rows r and r + s at stride s (mode 1), or the line
  // along row r with its links to row r + s (mode 0).
  void DrawProgressiveRow(int r, int s);
  // Wire lines along row r at stride s.
  void DrawRowLine(int r, int s);
  // Nodes (r, c) and (r + s, c) of the columns at stride s into the strip
  // arrays, pointed at; returns the number of columns.
  int PutColumnPairs(int r, int s);
  void DrawQuadStrip(int r, int s);

  const Kind& m_kind;
  int m_drawStep;
  int m_passStep;
  int m_thirdStep;
  float m_labelZ;
  // Title, tick-label and axis-label fonts.
  Sv_HersheyFont m_titleFont;
  Sv_HersheyFont m_tickFont;
  Sv_HersheyFont m_axisFont;
  int m_stepInUse;
  int m_currentRow;
  char m_texts[kTextCount][kMaxText + 1];
  double m_ranges[3][2];
  int m_lineWidth;
  unsigned char m_axisColour[4];
};

// The "Sd_SurfacePlot" (object tag 10035, attribute tag 10036, node type
// 30): linear axes with five ticks each, texts title, x, y and z label.
// Loading sets all three steps to 1 and the node's scale to (cols / rows, y,
// 0.2). A screen pick on the surface marks the point.
class Sd_SurfacePlot : public Sd_PlotDTM {
 public:
  static constexpr int kTypeId = 30;
  // Grey of the pick marker.
  static constexpr float kMarkerGrey = 0.67f;

  Sd_SurfacePlot();
  static int WriteSample(TDR_Manager* manager);
  // Screen pick: a point on a cell of columns and rows from 1 up becomes the
  // picked point (grid column, row and code) and is marked at once in the
  // picture being picked in (grey lines along z, x and y); any other point
  // clears it (x -1). Always 0: the plot never answers as the hit object.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // Grid column, row and code of the last pick; column -1 when none.
  const float* GetPickPosition() const { return m_pickPos; }
};

// The "Sd_SpectrumDTM" (object tag 10010, attribute tag 10012, node type
// 13): a logarithmic x axis over a whole-number x range, texts x label, y
// label and title. Keeps its recorded steps; no screen picks.
class Sd_SpectrumDTM : public Sd_PlotDTM {
 public:
  static constexpr int kTypeId = 13;
  Sd_SpectrumDTM();
  static int WriteSample(TDR_Manager* manager);
};

#endif
