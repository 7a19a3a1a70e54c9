// The GLU quadric: shape records and drawing.
#include "Sd_Quadratic.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>

#include "Sv_Colour.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


bool DivisionsInRange(int n) { return n >= 1 && n <= Sd_Quadratic::kMaxDivisions; }

}  // namespace

Sd_Quadratic::Sd_Quadratic()
    : Sd_SimpleSolid(kTypeId, TDR_TAG_SD_QUADRATIC, TDR_TAG_SD_QUADRATIC_ATB, kLitShapeOnly),
      m_kind(kCylinder),
      m_slices(10),
      m_stacks(8),
      m_loops(8),
      m_quadric(gluNewQuadric()),
      m_radius(0.25),
      m_topRadius(0.25),
      m_baseRadius(0.25),
      m_innerRadius(0.1),
      m_outerRadius(0.25),
      m_height(0.25),
      m_startAngle(90.0),
      m_sweepAngle(90.0) {}

Sd_Quadratic::~Sd_Quadratic() {
  if (m_quadric) gluDeleteQuadric(m_quadric);
}

const char* Sd_Quadratic::className() const { return "Sd_Quadratic"; }

void Sd_Quadratic::SetColour(unsigned packed) { StoreColour(packed, false); }

bool Sd_Quadratic::ReadShape(TDR_PayloadReader& in) {
  unsigned char colour[4];
  double d[8];
  int counts[4];  // slices, stacks, loops, kind
  ReadColour(in, colour);
  in.Float64s(d, 8);
  in.Int32s(counts, 4);
  if (!in.Ok() || !DivisionsInRange(counts[0]) || !DivisionsInRange(counts[1]) || !DivisionsInRange(counts[2])) {
    return false;
  }
  memcpy(m_colour, colour, sizeof(m_colour));
  m_radius = d[0];
  m_topRadius = d[1];
  m_baseRadius = d[2];
  m_innerRadius = d[3];
  m_outerRadius = d[4];
  m_height = d[5];
  m_startAngle = d[6];
  m_sweepAngle = d[7];
  m_slices = counts[0];
  m_stacks = counts[1];
  m_loops = counts[2];
  m_kind = counts[3];
  return true;
}

void Sd_Quadratic::WriteShape(TDR_PayloadWriter& out) const {
  WriteColour(out, m_colour);
  const double d[8] = {m_radius,      m_topRadius, m_baseRadius, m_innerRadius,
                       m_outerRadius, m_height,    m_startAngle, m_sweepAngle};
  out.Float64s(d, 8);
  const int counts[4] = {m_slices, m_stacks, m_loops, m_kind};
  out.Int32s(counts, 4);
}

bool Sd_Quadratic::ReadObjectFields(TDR_PayloadReader& in, const float*) { return ReadShape(in); }

void Sd_Quadratic::WriteObjectFields(TDR_PayloadWriter& out) const { WriteShape(out); }

bool Sd_Quadratic::ReadSettingsFields(TDR_PayloadReader& in, const float*) { return ReadShape(in); }

void Sd_Quadratic::WriteSettingsFields(TDR_PayloadWriter& out) const { WriteShape(out); }

void Sd_Quadratic::DrawShape() {
  if (!m_quadric) return;
  gluQuadricDrawStyle(m_quadric, GLU_FILL);
  gluQuadricNormals(m_quadric, GLU_SMOOTH);
  switch (m_kind) {
    case kDisk:
      gluDisk(m_quadric, m_innerRadius, m_outerRadius, m_slices, m_loops);
      break;
    case kPartialDisk:
      gluPartialDisk(m_quadric, m_innerRadius, m_outerRadius, m_slices, m_loops, m_startAngle, m_sweepAngle);
      break;
    case kSphere:
      gluSphere(m_quadric, m_radius, m_slices, m_stacks);
      break;
    case kCylinder:
      gluCylinder(m_quadric, m_baseRadius, m_topRadius, m_height, m_slices, m_stacks);
      break;
    default:
      break;  // no shape: only the bounding box
  }
}

int Sd_Quadratic::WriteSample(TDR_Manager* manager) {
  Sd_Quadratic quadric;
  quadric.SetColour(PackColour(40, 200, 90, 200));
  quadric.SetKind(kSphere);
  quadric.SetRadius(0.4);
  quadric.SetSlices(16);
  quadric.SetStacks(12);
  quadric.SetBounds(0, 0.0f, 10.0f);
  quadric.SetBounds(1, 0.0f, 10.0f);
  quadric.SetBounds(2, 0.0f, 10.0f);
  return quadric.SaveObject(manager, 1, 0);
}
