#ifndef SD_POINT3D_H
#define SD_POINT3D_H

#include <cstddef>
#include <cstdint>

#include "Sd_Node.h"
#include "TDR_Tags.h"

class Sv_HersheyFont;
class TDR_PayloadReader;
class TDR_PayloadWriter;

// One text per point of a set, or none, all kept in one block: the labels
// of a point set, the commands of an active point set. Texts are added
// while a set is built; a point can be given a text more than once (the
// last one counts).
class Sd_PointTexts {
 public:
  Sd_PointTexts() = default;
  ~Sd_PointTexts() { Clear(); }
  Sd_PointTexts(const Sd_PointTexts&) = delete;
  Sd_PointTexts& operator=(const Sd_PointTexts&) = delete;

  // Starts a table of count points without texts; false when it cannot
  // be had (the table is then empty).
  bool Reset(int count);
  // No table (no point has a text).
  void Clear();
  int Count() const { return m_count; }
  // The text of point i; null when it has none (or i is outside the table).
  const char* Get(int i) const;
  // Room for a text of length bytes for point i, terminated, to be filled
  // by the caller (valid until the next Add); null when i is outside the
  // table or the memory cannot be had. At most moreAtMost further text
  // bytes will follow in later calls, so the block grows no further than
  // that; a negative moreAtMost means no limit is known.
  char* Add(int i, size_t length, long long moreAtMost = -1);
  // Add and copy text (null: no text for the point).
  bool Set(int i, const char* text);
  void Swap(Sd_PointTexts& other);

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  char* m_pool = nullptr;
  size_t m_used = 0;
  size_t m_capacity = 0;
  uint32_t* m_offset = nullptr;
  int m_count = 0;
};

// One record of the point list that SetPoints takes; next links the list
// (null ends it).
struct Sd_PointListRecord {
  double x, y, z, value;
  const char* label;  // null: no label
  Sd_PointListRecord* next;
};

// A set of georeferenced points (object record SD_POINT3D 10520, settings
// record SD_POINT3D_ATB 10521, node type 34), drawn as small symbols in the
// object colour or coloured by height or by a value per point through the
// node's colour map, optionally labelled with stroke-font texts.
//
// The set is drawn in the unit box around the node's origin: a point (x, y,
// z) lies at ((x - cx) / ex, (y - cy) / ey, (z - cz) / ez + z offset), with
// the centres c and extents e of the set's own bounds. Symbols keep their
// size in data units whatever the vertical exaggeration. Large sets stay
// interactive through a detail step (every n-th point; chosen per frame
// from the screen size when level of detail is on), culling of unlabelled
// symbols outside the visible part of the box and a progressive pass that
// draws at most 500 points per step.
//
// Records: docs/file-formats.md. A record that cannot be read (a dimension
// other than 2 or 3, negative counts or lengths, counts the payload cannot
// hold) is refused before anything is allocated, and the object is left
// without points. Labels whose font cannot be loaded leave usable points
// (LoadObject returns 0; the labels are not drawn).
class Sd_Point3D : public Sd_Node {
 public:
  // Position and value of a point (value 0 in sets without values).
  struct Position {
    double x, y, z, value;
  };

  static constexpr int kTypeId = 34;  // active point sets share it
  // Points drawn per step of a progressive pass.
  static constexpr int kPointsPerStep = 500;
  // Symbol codes: 0 circle, 1 square, 2 plus, 3 shaded cube, 4 shaded
  // diamond, 5 shaded cylinder, 6 shaded sphere, 7 GL point; any other code
  // draws no symbol (labels only).
  enum { kCircle = 0, kSquare, kCross, kCube, kDiamond, kCylinder, kSphere, kGLPoint };

  // An empty set with the defaults and the "PointClass" settings.
  Sd_Point3D();
  // A set of count points of dimension 2 or 3: xyz[i] points at the x, y
  // and z of point i (z is not read for dimension 2); values (count
  // doubles) and labels (count texts, null entries allowed) may be null.
  // An impossible count or dimension gives an empty set.
  Sd_Point3D(int count, int dimension, const double* const* xyz, const double* values, const char* const* labels);
  ~Sd_Point3D() override;

  // Releases the points with their labels; the set is empty afterwards.
  void FreeData() override;
  // Reads the object record (the factory has read its header), then the
  // common tags and settings records. 0 for a usable set (also when the
  // labels' font cannot be loaded); -1 for a record that cannot be read or
  // damaged common tags, leaving the set without points.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record and, when withCommonTags is non-zero, the
  // common tags with the settings record. 0, or -1 when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  // The common tags, then the settings record (version 5).
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small labelled set with values and its settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Keep / restore the detail step and the level-of-detail flag;
  // ResetSettings draws every point (step 1, level of detail off), returns 1.
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;

  // Draws the whole set at the detail step.
  void Render() override;
  // One step of a progressive pass: 0 while the pass goes on, 1 when it is
  // finished (matrix popped). The redraw-pending flag abandons a pass.
  int StepRender() override;
  const char* className() const override;

  // Bounds from the points (nothing for an empty set); an axis whose range
  // is below 0.0001 gets max + 1.
  void ComputeBounds() override;

  // Replaces the content by the first count records of the list (fewer
  // when the list is shorter), as a three-dimensional set. 0, or -1 when
  // the memory cannot be had (the set is then empty).
  int SetPoints(const Sd_PointListRecord* list, int count, int valueFlag, int labelFlag);
  // Symbol size = factor x the larger horizontal extent of the node's box
  // / 5, and the per-axis scales of the unit symbol, which keep it the same
  // size in data units whatever the parent's z scale (the exaggeration).
  void SetSymbolSize(float factor);
  // 0 object colour, 1 by height, 2 by value (through the node's colour
  // map; the colour-range hook is told the range).
  void SetColourMode(int mode);
  // Colours the points by height or value from the colour map (nothing
  // without one, or in mode 0). Flat data or an empty value range give
  // entry 0. SetColourMode leaves this to the next drawing (or
  // GetPointColour), so that loading a large set does not pay for colours
  // that its settings records may change again.
  void UpdatePointColours();
  // Draws point i (normalised, culled against the visible box when the set
  // has no labels) with its label and symbol; the caller has applied the
  // node transform.
  void DrawPoint(int i);
  // Puts every point on the surface below it (the scene root's height at
  // its x and y); needs a parent.
  void DrapeOnSurface();
  // Writes "x y z" lines (eight decimals for geographic sets, else two)
  // through the atomic writer. 0 on success.
  int WriteASCII(const char* path);
  // Releases the points and counts the usable lines (longer than two
  // characters with the line end) of a track file; the set stays without
  // points. Returns 0, or -1 when the file cannot be opened, is larger than
  // kMaxTrackFileBytes or was given up at an over-long line.
  int ReadTrackFile(const char* path);
  static constexpr long long kMaxTrackFileBytes = 1LL << 30;
  // Loads every object record of this class in a TDR file into this set
  // (a later record replaces an earlier one).
  void ReadTDRFile(const char* path);

  // --- accessors ---
  int GetCount() const { return m_count; }
  int GetDimension() const { return m_dimension; }
  const Position* GetPositions() const { return m_points; }
  // The point's colour (packed, red in the low byte) as colour modes 1 and
  // 2 draw it: from the colour map, else the object colour; 0 outside the
  // set.
  unsigned GetPointColour(int i);
  const char* GetLabel(int i) const { return m_labels.Get(i); }
  int GetValueFlag() const { return m_valueFlag; }
  int GetLabelFlag() const { return m_labelFlag; }
  // xmin, xmax, ymin, ymax, zmin, zmax of the points' data bounds.
  const double* GetPointBounds() const { return m_pointBounds; }
  const double* GetValueRange() const { return m_valueRange; }
  void SetDetailStep(int step) { m_detailStep = step < 1 ? 1 : step; }
  int GetDetailStep() const { return m_detailStep; }
  void SetLevelOfDetail(int on) { m_lodOn = on; }
  int GetLevelOfDetail() const { return m_lodOn; }
  void SetShowLabels(int on) { m_showLabels = on; }
  // -1 when the set has no labels, else 1 or 0.
  int GetShowLabels() const { return m_labelFlag ? (m_showLabels ? 1 : 0) : -1; }
  void SetLabelSize(float size) { m_labelSize = size; }
  float GetLabelSize() const { return m_labelSize; }
  void SetSymbolCode(int code) { m_symbolCode = code; }
  int GetSymbolCode() const { return m_symbolCode; }
  void SetZOffset(float offset) { m_zOffset = offset; }
  float GetZOffset() const { return m_zOffset; }
  float GetSymbolSizeFactor() const { return m_symbolFactor; }
  float GetSymbolSize() const { return m_symbolSize; }
  const float* GetSymbolScales() const { return m_symbolScale; }
  void SetUserIndex(int index) { m_userIndex = index; }
  int GetUserIndex() const { return m_userIndex; }
  int GetColourMode() const { return m_colourMode; }
  // Replaces red, green and blue of the object colour (packed, red in the
  // low byte) by the low 24 bits of rgb; alpha stays.
  void SetColour(unsigned rgb) { m_colour = (m_colour & 0xFF000000u) | (rgb & 0x00FFFFFFu); }
  unsigned GetColour() const { return m_colour; }
  int GetAlpha() const { return static_cast<int>(m_colour >> 24); }
  void SetAlpha(int alpha) { m_colour = (m_colour & 0x00FFFFFFu) | (static_cast<unsigned>(alpha & 0xFF) << 24); }
  // Progressive pass state: stage 0 set-up, 1 drawing, 2 finishing.
  int GetStepStage() const { return m_stepStage; }
  int GetStepCursor() const { return m_stepCursor; }
  int GetStepStride() const { return m_stepStride; }
  int GetMatrixPushed() const { return m_matrixPushed; }
  // The label font; null when the set has no labels or the font failed.
  const Sv_HersheyFont* GetFont() const { return m_font; }

 protected:
  // The fields the object record gives before its point block.
  struct RecordHead {
    int count = 0;
    int dimension = 0;
    int valueFlag = 0;
    int labelFlag = 0;
    double bounds[6] = {0, 0, 0, 0, 0, 0};
    double valueRange[2] = {0, 0};
  };
  // How the point block stores its texts: label lengths of 4 (int32) or 2
  // (uint16) bytes, and whether every point carries a command.
  struct BlockLayout {
    int lengthBytes;
    bool commands;
  };
  // The content of a point block, read whole before it replaces the set's.
  struct Block {
    Block() = default;
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    Position* points = nullptr;
    Sd_PointTexts labels;
    Sd_PointTexts commands;
  };

  // The set's settings record SD_POINT3D_ATB; every other tag is not ours.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The object record's tag: the records ReadTDRFile loads.
  virtual int ObjectTag() const { return TDR_TAG_SD_POINT3D; }

  // Reads fields 1 to 7 of an object record; false (with a message) for a
  // damaged record or impossible counts (checked against the payload).
  static bool ReadHead(TDR_PayloadReader& in, const BlockLayout& layout, RecordHead* head, const char* file);
  // Reads the head's point block into block; false (with a message) when
  // the block is damaged.
  static bool ReadBlock(TDR_PayloadReader& in, const RecordHead& head, const BlockLayout& layout, Block* block,
                        const char* file);
  // ReadHead, ReadBlock and Install: the record replaces the set's points
  // (the block keeps the commands). False when the record cannot be read;
  // the set is then without points.
  bool ReadRecord(TDR_Manager* manager, const BlockLayout& layout, RecordHead* head, Block* block);
  // Writes the head and point block of this set (commands: one text per
  // point, or null). False when a write fails or a text does not fit the
  // layout's length field.
  bool WriteRecord(TDR_PayloadWriter& out, const BlockLayout& layout, const Sd_PointTexts* commands) const;
  // Takes over the head's fields and the block's points and labels (the
  // block's commands stay with it).
  void Install(const RecordHead& head, Block* block);
  // After the points and bounds are in place: extents, centres, detail
  // step, symbol size and the node's box (from the bounds when it is zero).
  void PrepareDrawing();
  // The colour-mode rule (mode 2 needs values), colours and the label font.
  void ApplyColoursAndFont();
  // The end of every load: PrepareDrawing, the common tags, then
  // ApplyColoursAndFont. 0, or -1 for damaged common tags (the set is
  // then emptied).
  int FinishLoad(TDR_Manager* manager);
  // The head's bounds and value range from the block's points (all 0 for
  // a block without points).
  static void Measure(RecordHead* head, const Block& block);
  // Gives every axis whose min equals its max one unit of extent.
  void WidenFlatAxes();
  // A two-dimensional set has no heights: its z range is 0 ... 1.
  void FlatZRange();
  // The position of point i in the unit box.
  void Normalise(int i, float out[3]) const;

  // --- drawing (Sd_Point3DDraw.cpp) ---
  // Fills the visible box and, with level of detail on, chooses the detail
  // step; false when no part of the unit box is in view.
  bool VisibilityTest();
  // Whether the set can be drawn at all: points, and bounds with extent.
  bool Drawable() const;
  // Draws points first, first + stride, ... below end, at most maxCount of
  // them, with culling and point size set for the symbol; returns the next
  // index.
  int DrawPoints(int first, int end, int stride, int maxCount);
  // Abandons a progressive pass: pops a pushed matrix, clears the stage.
  void CloseStepPass();

  Position* m_points;
  // Colours of modes 1 and 2, made when first needed; null before.
  unsigned* m_pointColours;
  // The colours are to be computed again before they are used.
  int m_coloursStale;
  Sd_PointTexts m_labels;
  int m_count;
  int m_dimension;
  double m_pointBounds[6];
  double m_pointCentre[3];
  double m_pointExtent[3];
  double m_valueRange[2];
  int m_valueFlag;
  int m_labelFlag;
  unsigned m_colour;
  int m_detailStep;
  int m_lodOn;
  int m_colourMode;
  int m_userIndex;
  int m_symbolCode;
  float m_symbolSize;
  float m_symbolScale[3];
  float m_symbolFactor;
  float m_zOffset;
  Sv_HersheyFont* m_font;
  int m_showLabels;
  float m_labelSize;
  int m_stepCursor;
  int m_stepStage;
  int m_matrixPushed;
  int m_stepStride;
  float m_screenBox[6];

 private:
  void Init();
  void ReadPointClass();
  void ReleasePoints();
  void LoadFont();
  void ReadSettingsRecord(TDR_Manager* manager);
};

#endif
