#ifndef SD_BOREHOLE_H
#define SD_BOREHOLE_H

#include <memory>
#include <vector>

#include "Sd_DrillHole.h"
#include "Sd_Node.h"

// A set of drill holes ("Borehole", type id 33, record SD_BOREHOLE 10070):
// each hole a path of points with a class per point that picks its colour
// from the object's 256-entry colour map. Render draws the holes as
// coloured lines, StepRender as coloured hexagonal tubes. The data are a
// text in the BORE_DATA (1020) record that must follow SD_BOREHOLE, and
// the colour map that follows BORE_DATA's payload (docs/file-formats.md).
//
// The viewer writes no borehole: SaveObject writes nothing. WriteRecords
// writes the records (tests, samples).
class Sd_Borehole : public Sd_Node {
 public:
  static constexpr int kTypeId = 33;
  Sd_Borehole();
  ~Sd_Borehole() override;

  // Reads SD_BOREHOLE, then BORE_DATA and its colour map. 0 when the
  // borehole loaded (also with no holes); -1 when it is refused: no
  // BORE_DATA next (that record is left for the caller), a damaged record,
  // a hole announcing no points or more points than the text holds, or a
  // point line that is not x, y, z and class. A refused object keeps what
  // it held; reading goes on after the colour map either way.
  int LoadObject(TDR_Manager* manager) override;
  // Writes nothing: the viewer keeps no borehole data. 0.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // Lines through the holes' points.
  void Render() override;
  // Tubes around the holes, all in one call. Returns 1.
  int StepRender() override;
  const char* className() const override;

  // Writes SD_BOREHOLE and BORE_DATA (with tagVersion; an SD_BOREHOLE of
  // tag version 0 holds the format version 1.0) holding an int32 and the
  // size bytes of text, then the 256 colours (red in the low byte) after
  // it. 0 or -1.
  static int WriteRecords(TDR_Manager* manager, const char* text, int size, const unsigned* colours,
                          short tagVersion);
  // A small borehole of two holes (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Gives every hole the radius.
  void SetTubeRadius(float radius);
  // Values below 3 are ignored; others go to every hole.
  void SetTubeSides(int sides);
  float GetTubeRadius() const { return m_tubeRadius; }
  int GetTubeSides() const { return m_tubeSides; }

  int GetHoleCount() const { return static_cast<int>(m_holes.size()); }
  const Sd_DrillHole* GetHole(int i) const;
  int GetPointCount() const { return m_pointCount; }
  // x min, x max, y min, y max, z min, z max of all points.
  const double* GetDataBounds() const { return m_dataBounds; }
  int GetLowestClass() const { return m_lowestClass; }
  int GetHighestClass() const { return m_highestClass; }
  // The 256 colours read with the record (red in the low byte).
  const unsigned* GetColours() const { return m_colours; }

 private:
  // What one read of the BORE_DATA text gives.
  struct Holes;
  // The passes over the text; 0, or -1 after an error message.
  static int ParseText(const char* text, size_t size, const unsigned* colours, Holes* out);
  // Push, transform, bounding box, the data box onto the unit box; then
  // draws every hole with draw; pop.
  void DrawInFrame(void (Sd_DrillHole::*draw)(const double*) const);

  std::vector<std::unique_ptr<Sd_DrillHole>> m_holes;
  int m_pointCount;
  double m_dataBounds[6];
  int m_lowestClass, m_highestClass;
  unsigned m_colours[256];
  float m_tubeRadius;
  int m_tubeSides;
};

#endif
