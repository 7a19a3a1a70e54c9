#ifndef SD_QUADRATIC_H
#define SD_QUADRATIC_H

#include "Sd_SimpleSolid.h"

struct GLUquadric;

// A lit, translucent GLU quadric in the node's box ("Sd_Quadratic", type id
// 1002, records SD_QUADRATIC 10535 and SD_QUADRATIC_ATB 10536): a disk, a
// partial disk, a sphere or a cylinder. Drawn through the scene's light
// set; without one it draws nothing. Any other kind draws only the
// bounding box.
//
// Both records hold every shape field; a settings record replaces them all
// again. Slice, stack and loop counts are 1 ... kMaxDivisions: a record
// with others is refused (it would stall drawing), and the setters clamp.
class Sd_Quadratic : public Sd_SimpleSolid {
 public:
  static constexpr int kTypeId = 1002;
  enum Kind { kDisk = 0, kPartialDisk = 1, kSphere = 2, kCylinder = 3 };
  static constexpr int kMaxDivisions = 1024;

  Sd_Quadratic();
  ~Sd_Quadratic() override;
  const char* className() const override;
  // A small quadric with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Replaces the whole colour (packed, red in the low byte).
  void SetColour(unsigned packed);

  void SetKind(int kind) { m_kind = kind; }
  int GetKind() const { return m_kind; }
  void SetSlices(int n) { m_slices = ClampDivisions(n); }
  int GetSlices() const { return m_slices; }
  void SetStacks(int n) { m_stacks = ClampDivisions(n); }
  int GetStacks() const { return m_stacks; }
  // The loops count changes only through the records.
  int GetLoops() const { return m_loops; }
  void SetRadius(double v) { m_radius = v; }
  double GetRadius() const { return m_radius; }
  void SetTopRadius(double v) { m_topRadius = v; }
  double GetTopRadius() const { return m_topRadius; }
  void SetBaseRadius(double v) { m_baseRadius = v; }
  double GetBaseRadius() const { return m_baseRadius; }
  void SetInnerRadius(double v) { m_innerRadius = v; }
  double GetInnerRadius() const { return m_innerRadius; }
  void SetOuterRadius(double v) { m_outerRadius = v; }
  double GetOuterRadius() const { return m_outerRadius; }
  void SetHeight(double v) { m_height = v; }
  double GetHeight() const { return m_height; }
  // Degrees.
  void SetStartAngle(double v) { m_startAngle = v; }
  double GetStartAngle() const { return m_startAngle; }
  void SetSweepAngle(double v) { m_sweepAngle = v; }
  double GetSweepAngle() const { return m_sweepAngle; }

 protected:
  // Both records: colour; doubles sphere radius, top, base, inner and outer
  // radius, height, start and sweep angle; int32 slices, stacks, loops and
  // kind.
  bool ReadObjectFields(TDR_PayloadReader& in, const float* formatVersion) override;
  void WriteObjectFields(TDR_PayloadWriter& out) const override;
  bool ReadSettingsFields(TDR_PayloadReader& in, const float* formatVersion) override;
  void WriteSettingsFields(TDR_PayloadWriter& out) const override;
  // The quadric of the kind, filled with smooth normals.
  void DrawShape() override;

 private:
  static int ClampDivisions(int n) { return n < 1 ? 1 : (n > kMaxDivisions ? kMaxDivisions : n); }
  // Reads all shape fields; keeps them only when whole and acceptable.
  bool ReadShape(TDR_PayloadReader& in);
  void WriteShape(TDR_PayloadWriter& out) const;

  int m_kind;
  int m_slices;
  int m_stacks;
  int m_loops;
  GLUquadric* m_quadric;  // owned
  double m_radius;
  double m_topRadius;
  double m_baseRadius;
  double m_innerRadius;
  double m_outerRadius;
  double m_height;
  double m_startAngle;
  double m_sweepAngle;
};

#endif
