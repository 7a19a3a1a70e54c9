// Drawing of the borehole: its holes as lines or as tubes in the unit box.
#include <GL/gl.h>

#include <cmath>

#include "Sd_Borehole.h"

void Sd_Borehole::DrawInFrame(void (Sd_DrillHole::*draw)(const double*) const) {
  glPushMatrix();
  ApplyTransform();
  DrawBoundingBox();
  // The data box onto the unit box. An axis without range lies in the
  // middle of the box, at the scale of the widest axis (so that tube rings
  // keep their shape), or at scale 1 when no axis has a range.
  double range[3], widest = 0.0;
  for (int a = 0; a < 3; ++a) {
    range[a] = std::fabs(m_dataBounds[2 * a + 1] - m_dataBounds[2 * a]);
    if (!std::isfinite(range[a])) range[a] = 0.0;
    if (range[a] > widest) widest = range[a];
  }
  double shift[3], scale[3];
  for (int a = 0; a < 3; ++a) {
    shift[a] = range[a] > 0.0 ? -0.5 : 0.0;
    scale[a] = range[a] > 0.0 ? 1.0 / range[a] : (widest > 0.0 ? 1.0 / widest : 1.0);
  }
  glTranslated(shift[0], shift[1], shift[2]);
  glScaled(scale[0], scale[1], scale[2]);
  // The holes subtract the box's lowest corner themselves, in double
  // precision: map coordinates are too large for the float matrix.
  const double origin[3] = {m_dataBounds[0], m_dataBounds[2], m_dataBounds[4]};
  for (const auto& hole : m_holes) ((*hole).*draw)(origin);
  glPopMatrix();
}

void Sd_Borehole::Render() { DrawInFrame(&Sd_DrillHole::DrawLines); }

int Sd_Borehole::StepRender() {
  // One call draws everything.
  DrawInFrame(&Sd_DrillHole::DrawTube);
  SetDrawn(1);
  return 1;
}
