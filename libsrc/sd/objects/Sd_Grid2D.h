#ifndef SD_GRID2D_H
#define SD_GRID2D_H

#include "Sd_Node.h"

// A flat reference grid of evenly spaced lines over the unit square of its
// node ("2D Grid", type id 10, record SD_GRID2D 10100): the node's box and
// transform give it its extent. It lies in the middle of the box, at its
// top or at its bottom (z placement 1, 0 or any other value).
//
// The grid colour is one 32-bit word with red in bits 24-31, green in
// 16-23, blue in 8-15 and alpha in 0-7: the reverse of the shared packed
// colour (Sv_Colour.h). "Grid2DClass" sets the line counts, the colour and
// the z placement of every new grid.
class Sd_Grid2D : public Sd_Node {
 public:
  // Fewest and most lines each way; counts outside are clamped.
  static constexpr int kMinLines = 2;
  static constexpr int kMaxLines = 10000;

  // 50 lines each way, opaque white, in the middle of the box; then
  // "Grid2DClass".
  Sd_Grid2D();
  // "Grid2DClass", then the two counts and the colour given in the shared
  // packed layout (red in the low byte), in the middle of the box.
  Sd_Grid2D(int firstLines, int secondLines, unsigned packedColour);
  ~Sd_Grid2D() override;

  // Reads SD_GRID2D, then the common tags (SD_GRID2D_ATB records are
  // taken and stepped over). Non-zero for a record that is cut short
  // (the grid is then left as it was) or a damaged common tag.
  int LoadObject(TDR_Manager* manager) override;
  // SD_GRID2D (tag version 1, four int32), then the common tags when asked.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  void Render() override;
  // The whole grid in one call (Sd_Node::StepRenderWhole).
  int StepRender() override;

  static constexpr int kTypeId = 10;
  const char* className() const override;

  // A small grid with its common tags (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Lines parallel to the x axis (spread across y) and to the y axis.
  int GetFirstLineCount() const { return m_firstLines; }
  int GetSecondLineCount() const { return m_secondLines; }
  // Red in the high byte (layout above).
  unsigned GetGridColour() const { return m_colour; }
  int GetZPlacement() const { return m_zPlacement; }
  // Normalised z of the grid in the unit box: 0, 0.5 or -0.5.
  float PlacementZ() const;

  // A line count within kMinLines ... kMaxLines.
  static int ClampLines(int count);

 protected:
  // Takes SD_GRID2D_ATB records without reading them.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  void ReadGridClass();

  int m_firstLines;
  int m_secondLines;
  unsigned m_colour;
  int m_zPlacement;
};

#endif
