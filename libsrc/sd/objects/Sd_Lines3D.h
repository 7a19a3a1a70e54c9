#ifndef SD_LINES3D_H
#define SD_LINES3D_H

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Sd_Node.h"

class Sv_HersheyFont;
class TDR_Manager;

// One point of a point list: the lists AddLineFromPointList takes and the
// point-list hook hands out (the hook's owner keeps the list).
struct Sd_LinePoint {
  double x, y, z;
  Sd_LinePoint* next;
};

class Sd_LinesSink;

// A set of 3-D polylines ("Sd_Lines3D", node type 35, record SD_LINES3D
// 10525 with the settings record 10526): survey lines, tracks, labelled
// contour lines and outlines of areas.
//
// Each line may carry text labels, each drawn in a gap of the line that
// begins at its vertex; lines are coloured by the object's colour, by the
// height of their first vertex or by an integer attribute through the
// node's colour map, or keep a colour of their own (AddColouredLine). In
// polygon mode every line is a ring, filled through a triangulation made
// when the object is loaded.
//
// Data space: the vertices are kept in their data units; drawing maps the
// data bounds into the unit box (-0.5 ... 0.5 on each axis, z moved by the
// z offset) and the node transform places that box.
class Sd_Lines3D : public Sd_Node {
 public:
  static constexpr int kTypeId = 35;
  // Longest label text kept; longer texts are refused in records and cut
  // by the add operations.
  static constexpr int kMaxLabelLength = 255;
  // Lines drawn per call of a progressive pass.
  static constexpr int kLinesPerStep = 1000;
  // The "no height" argument of DrapeOnSurface: take the surface's heights.
  static constexpr double kDrapeOnSurface = 999999.9;

  // One polyline. Its vertices lie in one block of (segments + 1) x {x, y, z}.
  struct Line {
    int segments = 0;                         // vertex count - 1
    unsigned char colour[3] = {255, 255, 255};  // colour in colour modes 1 and 2
    int ownColour = 0;                        // 1: colour is the line's own, kept in every mode
    int attribute = 0;                        // value of colour mode 2
    std::unique_ptr<double[]> xyz;
    // Label l begins its gap at vertex labelPositions[l] (0 ... segments - 1,
    // never decreasing); its text is labelTexts[l].
    std::vector<int> labelPositions;
    std::vector<std::string> labelTexts;
    // Polygon mode: the ring's triangles as 0-based vertex indices, three
    // a triangle; valid only when the triangulation succeeded.
    int triangleCount = 0;
    std::unique_ptr<int[]> triangles;
    int triangleValid = 0;

    int VertexCount() const { return segments + 1; }
    const double* Vertex(int i) const { return &xyz[3 * static_cast<size_t>(i)]; }
    double* Vertex(int i) { return &xyz[3 * static_cast<size_t>(i)]; }
    int LabelCount() const { return static_cast<int>(labelPositions.size()); }
  };

  // What one drawing call emits: the step (every step-th vertex or
  // triangle), whether lines are thinned out, polygon mode and fill.
  struct EmitPlan {
    int step = 1;
    bool thin = false;
    bool polygon = false;
    bool fill = false;
  };

  Sd_Lines3D();
  ~Sd_Lines3D() override;

  // --- records ---
  // Reads the object record, builds the rings' triangles in polygon mode,
  // reads the trailing records and colours the lines. 0 when loaded; 1
  // when the record is refused (a version it does not read, or counts,
  // lengths, label places or bounds that do not fit), leaving the object as
  // it was; -1 when a common tag is damaged (the object is left empty).
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record (tag version 3) and, with withCommonTags, the
  // common tags and the settings record. 0 or -1.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record (tag version 6).
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small object of every kind of line (labels, attributes, a ring in
  // polygon mode), its common tags and settings: the factory's sample.
  static int WriteSample(TDR_Manager* manager);

  // --- settings kept across the passes of the renderer ---
  void SaveSettings() override;
  void RestoreSettings() override;
  // Full detail: step 1, level of detail off. Returns 1.
  int ResetSettings() override;

  // --- drawing ---
  void Render() override;
  int StepRender() override;
  const char* className() const override;

  // The pure part of drawing: emits the lines from index first on, at
  // most maxLines of them (lines skipped by thinning count too), into the
  // sink; returns the index after the last line handled.
  static size_t EmitLines(const std::deque<Line>& lines, size_t first, size_t maxLines, const EmitPlan& plan,
                          Sd_LinesSink& sink);
  // Thinning applies when the step is above 1 and above the mean segment
  // count of the lines (integer division).
  static bool ThinsLines(int step, int segments, int lines);
  // One line cut into parts by its labels: each part one strip of every
  // step-th vertex from its start, always ending with its end vertex, then
  // the part's label.
  static void DrawLabelledLine(const Line& line, int step, Sd_LinesSink& sink);
  // One ring: its every step-th triangle when it is filled (fill and a
  // valid triangle record), else one strip of every step-th vertex of each
  // part (the part's end left out), followed by the middle vertex when the
  // step passes over the whole ring.
  static void DrawPolygonLine(const Line& line, int step, bool fill, Sd_LinesSink& sink);

  // --- editing ---
  // A white polyline of n >= 2 vertices at the head of the list (n < 2 adds
  // nothing); the bounds follow.
  void AddLine(int n, const double* x, const double* y, const double* z);
  // A polyline with k labels placed in gaps (positions measured along the
  // line from its first vertex, see docs/design/sd-objects.md); texts longer than
  // kMaxLabelLength are cut. A line shorter than its first label is added
  // without labels.
  void AddLabelledLine(int n, const double* x, const double* y, const double* z, int k, const double* positions,
                       const char* const* texts);
  // A polyline with its own colour (packed, red in the low byte): with
  // mode 1 and a colour given the line keeps that colour whatever the
  // object's colour mode; otherwise it is added as AddLine adds it. value
  // is accepted for the contouring that calls this and is not used.
  void AddColouredLine(int n, const double* x, const double* y, const double* z, int mode, const double* value,
                       const unsigned* colour);
  // Copies at most count points of the list (fewer when it ends) and adds them as a line.
  void AddLineFromPointList(const Sd_LinePoint* list, int count);
  // Asks the point-list hook for a list and adds it as a line, closed by
  // its first point again when the hook reports the list closed.
  void AddLineFromPickedPoints();
  // Removes the first line; 1 when lines remain, else 0.
  int RemoveFirstLine();
  void RemoveFirstLineAndRebound();
  void RemoveAllLines();
  // Data bounds from every vertex; an axis flatter than 0.0001 gets its
  // maximum raised by 1. Nothing without lines.
  void RecomputeBounds();
  // z bounds (data and node) from the parent node's z bounds.
  void SetZRangeFromParent();
  // Sets every vertex's height: to height, or with kDrapeOnSurface to the
  // scene's surface height under it (the lower of the scene's and the
  // object's z minimum where there is no surface).
  void DrapeOnSurface(double height);
  // Inserts vertices every step along the segments longer than 1.5 x step
  // (in x and y); label gaps are left as they are.
  void Densify(double step);
  // Replaces the lines by the polyline of an ASCII line file (one "x y z"
  // vertex per text line; lines that do not hold three numbers are
  // skipped; the first kMaxLineFileVertices vertices are taken). 0, or -1
  // when the file cannot be read, is larger than kMaxLineFileBytes, was
  // given up at an over-long line or holds fewer than two vertices (in the
  // last two cases the object is left without lines).
  int ReadLineFile(const char* path);
  static constexpr long long kMaxLineFileBytes = 1LL << 30;
  static constexpr int kMaxLineFileVertices = 1 << 23;
  // Writes every line to an ASCII line file, "9999 9999 9999" between two
  // lines. 0, or -1 when the file cannot be written (an existing file is
  // then left as it was).
  int WriteLineFile(const char* path) const;
  // ReadLineFile of the description, when it is not empty.
  int ReloadFromDescription();

  // --- settings ---
  void SetFillPolygons(bool on);
  int GetFillPolygons() const { return m_fill; }
  int GetEffectiveFill() const { return m_effectiveFill; }
  unsigned GetColour() const;
  void SetColour(unsigned packed);
  int GetColourMode() const { return m_colourMode; }
  // Stores the mode and colours the lines again.
  void SetColourMode(int mode);
  // Colours the lines by the colour mode (lines with their own colour keep it).
  void UpdateLineColours();
  int GetPolygonMode() const { return m_polygonMode; }
  // Polygon mode of the object; rings are triangulated when the object is
  // loaded (turning it off drops the triangles).
  void SetPolygonMode(int on);
  double GetLabelScale() const { return m_labelScale; }
  void SetLabelScale(double scale) { m_labelScale = scale; }
  int GetAttributePresent() const { return m_attributePresent; }
  int GetAttributeMaximum() const { return m_attributeMaximum; }
  void SetAttributes(int present, int maximum);
  // The attribute of line i (0 = the head of the list); nothing outside the list.
  void SetLineAttribute(int i, int value);
  double GetZOffset() const { return m_zOffset; }
  void SetZOffset(double offset) { m_zOffset = offset; }
  int GetDetailStep() const { return m_detailStep; }
  void SetDetailStep(int step) { m_detailStep = UsableStep(step); }
  int GetLevelOfDetail() const { return m_levelOfDetail; }
  void SetLevelOfDetail(int on) { m_levelOfDetail = on; }
  int GetLineWidth() const { return m_lineWidth; }
  void SetLineWidth(int width) { m_lineWidth = width < 1 ? 1 : width; }
  int GetFileVertexCount() const { return m_fileVertexCount; }

  // --- the data ---
  int GetLineCount() const { return static_cast<int>(m_lines.size()); }
  int GetSegmentCount() const { return m_segments; }
  const std::deque<Line>& GetLines() const { return m_lines; }
  // x min, x max, y min, y max, z min, z max of the data.
  const double* GetDataBounds() const { return m_dataBounds; }
  const double* GetDataCentres() const { return m_dataCentres; }
  const double* GetDataExtents() const { return m_dataExtents; }
  // Progressive pass: stage (0 set-up, 1 drawing, 2 finishing) and whether
  // it holds a pushed matrix.
  int GetStepStage() const { return m_stepStage; }
  int GetMatrixPushed() const { return m_matrixPushed; }
  // The stroke font of the labels (loaded on first use); never null.
  Sv_HersheyFont* LabelFont() const;
  // Width of a label text in data units.
  double LabelWidth(const char* text) const;

 protected:
  // Takes the settings record among the common tags.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  friend class Sd_Lines3DGLSink;

  void ReadLineClass();
  // Reads the object record into lines (and the header fields); false when
  // the record is refused.
  bool ReadLinesRecord(TDR_Manager* manager, std::deque<Line>* lines);
  void ReadSettingsRecord(TDR_Manager* manager);
  // Loop removal and triangles of every line (polygon mode).
  void BuildPolygons();
  static void RemoveLoops(Line* line, int* removed);
  static void BuildTriangles(Line* line);
  // Puts a new line at the head of the list and counts it.
  void PushLine(Line&& line);
  // Extents, centres and inverse extents from the data bounds.
  void UpdateDerived();
  // The node's float box and the derived values from the data bounds.
  void ApplyDataBounds();
  // Folds the vertices of line into the vertex box (the bounds without
  // widening) and sets the bounds from it.
  void ExtendBounds(const Line& line);
  void FoldIntoVertexBox(const Line& line);
  void BoundsFromVertexBox();
  void ClearLines();
  // The colour map UpdateLineColours colours with: the node's, else
  // step32.cmap under WRUHOME (kept as the node's), else the built-in ramp.
  const unsigned* ColoursForLines(unsigned fallback[256]);
  bool Degenerate() const;
  // Node transform, bounding box and the visibility test with the choice
  // of the detail step; false when the object is off the screen.
  bool EnterObjectSpace(bool chooseStep);
  void DrawParentFrame() const;

  std::deque<Line> m_lines;
  int m_segments;
  double m_dataBounds[6];
  unsigned char m_colour[4];
  mutable std::unique_ptr<Sv_HersheyFont> m_font;
  double m_labelScale;
  int m_polygonMode;
  int m_colourMode;
  int m_attributePresent;
  int m_attributeMaximum;
  int m_fileVertexCount;
  int m_lineWidth;
  int m_fill;
  int m_effectiveFill;
  double m_dataCentres[3];
  double m_dataExtents[3];
  double m_inverseExtents[3];
  double m_zOffset;
  int m_detailStep;
  int m_levelOfDetail;
  float m_screenBox[6];
  size_t m_stepCursor;
  int m_stepStage;
  int m_matrixPushed;
  // Smallest and largest vertex coordinates (x, y, z min, then max) of all
  // lines, kept while valid so that adding a line costs only its own vertices.
  double m_vertexBox[6];
  bool m_vertexBoxValid;
};

// Receives what Sd_Lines3D::EmitLines emits: per line, its colour, then
// line strips and triangles of its vertices (by index), and its labels.
class Sd_LinesSink {
 public:
  virtual ~Sd_LinesSink() = default;
  virtual void BeginLine(const Sd_Lines3D::Line& line) = 0;
  virtual void BeginStrip() = 0;
  virtual void BeginTriangles() = 0;
  virtual void Vertex(int index) = 0;
  // Ends the strip or the triangles begun last.
  virtual void End() = 0;
  // Label l of the line, drawn after the part of the line before it.
  virtual void Label(int l) = 0;
};

#endif
