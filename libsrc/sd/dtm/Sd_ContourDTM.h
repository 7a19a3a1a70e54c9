#ifndef SD_CONTOURDTM_H
#define SD_CONTOURDTM_H

#include <deque>
#include <vector>

#include "Sd_BaseDTM.h"

// The "Contoured DTM" (object tag 10030, settings tag 10031, node type 26):
// a terrain model shown as sets of contour lines. Each contour is a level
// (in height codes, 1 ... 65535) and a list of line segments in grid units
// of a rows x cols grid; it is drawn flat at its level, in grid space like
// every terrain (column, row, code), lifted by the line z offset.
//
// The object keeps no height grid of its own. Contours are made from the
// grids of another terrain lent to it (LendGrids): they are held, never
// freed, and must outlive the loan (ReturnGrids ends it; FreeData and the
// destructor end it too).
//
// Contour colours are packed with red in the top byte (r << 24 | g << 16 |
// b << 8 | a), as the object record stores them.
class Sd_ContourDTM : public Sd_BaseDTM {
 public:
  static constexpr int kTypeId = 26;
  // One contour: its level, colour and segments.
  struct ContourRecord {
    float level = 0.0f;
    unsigned colour = 0;
    std::vector<ContourSegment> segments;
  };

  Sd_ContourDTM();
  ~Sd_ContourDTM() override;

  // --- records ---
  // Reads the object record (the factory has read its header), then the
  // common tags with the settings records. 0 when loaded; -1 when the
  // record is refused (sizes below 2 x 2, a maximum code of 0, counts the
  // payload cannot hold, a short record) or a common tag is damaged: the
  // object then holds no contours.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record (tag version 1) and, with withCommonTags, the
  // common tags and the settings record. 0, or -1 without a grid size of
  // at least 2 x 2 or when a write fails.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small contour set with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);
  // "ContourDTMClass": the line z offset, then the colour mode.
  void ReadClassConfiguration();

  // Ends a loan of grids; the contours stay. Its grids are another DTM's,
  // so nothing else is released ("Noted! don't deleted alias DTM data!").
  void FreeData() override;

  // --- drawing ---
  void Render() override;
  // The whole set in one call: 1 (0 when the pass was abandoned).
  int StepRender() override;
  const char* className() const override;

  // --- contours ---
  // Lends the height and colour grids of source for AddContour and
  // ColourContours. The set takes the source's grid size, code range and
  // bounds; while it holds contours, a source of another size is refused.
  // -1 (nothing lent) for that, a source without both grids or of fewer
  // than 2 x 2 nodes; 0 otherwise.
  int LendGrids(Sd_BaseDTM* source);
  void ReturnGrids();
  bool HasLentGrids() const { return ElevationRows() != nullptr; }
  // Makes the contour of height z (map units, within the z bounds) from the
  // lent heights and puts it at the front of the list; 0. Reports and does
  // nothing (-1) without lent grids or for a height out of range; refuses
  // (-1, a warning said, the list as it was) when memory runs out.
  int AddContour(float z);
  // Colours every contour: from the node's colour map by its level between
  // the minimum and maximum code, else from the lent colour grid at the
  // first point of its first segment; a contour neither reaches keeps its
  // colour.
  void ColourContours();
  // Writes every segment as a two-point line of a 3-D lines file (record
  // 10525, tag version 2) in map coordinates. 0, or -1 after a message
  // when the file cannot be written (an existing file is then left as it was).
  int ExportContours(const char* path);

  // Puts a contour at the end of the list (as loading does).
  void AppendContour(ContourRecord contour);
  const std::deque<ContourRecord>& GetContours() const { return m_contours; }
  void ClearContours() { m_contours.clear(); }
  float GetCurrentLevel() const { return m_currentLevel; }
  float GetLineZOffset() const { return m_lineZOffset; }
  void SetLineZOffset(float offset) { m_lineZOffset = offset; }
  int GetColourMode() const { return m_colourMode; }
  void SetColourMode(int mode) { m_colourMode = mode; }
  // Sets the grid size of the contours and their maximum code (no grids);
  // false for a size below 2 x 2.
  bool SetContourGrid(int rows, int cols, unsigned short maxCode);

  // A packed colour (red in the low byte) in the contour layout (red in
  // the top byte), and back: the four bytes reversed.
  static unsigned ReverseColour(unsigned colour);

 protected:
  // Takes the settings record 10031 among the common tags.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  bool ReadContourRecord(TDR_Manager* manager, std::deque<ContourRecord>* contours);

  std::deque<ContourRecord> m_contours;
  float m_currentLevel;
  float m_lineZOffset;
  int m_colourMode;
};

#endif
