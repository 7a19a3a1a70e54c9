// Contoured terrain model: drawing.
#include <GL/gl.h>

#include "Sd_ContourDTM.h"

void Sd_ContourDTM::Render() {
  glPushMatrix();
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  EnterGridSpace(true);
  // The z offset lifts the lines in the unit box; grid space counts codes.
  const float codes = static_cast<float>(CodeDivisor());
  glTranslatef(0.0f, 0.0f, m_lineZOffset * codes);
  for (const ContourRecord& contour : m_contours) {
    const unsigned c = m_colourMode != 0 ? contour.colour : 0xFFFFFFFFu;
    glColor4ub(static_cast<GLubyte>(c >> 24), static_cast<GLubyte>(c >> 16), static_cast<GLubyte>(c >> 8),
               static_cast<GLubyte>(c));
    glBegin(GL_LINES);
    for (const ContourSegment& s : contour.segments) {
      glVertex3f(s.x1, s.y1, contour.level);
      glVertex3f(s.x2, s.y2, contour.level);
    }
    glEnd();
  }
  glPopAttrib();
  glPopMatrix();
}

int Sd_ContourDTM::StepRender() { return StepRenderWhole(); }
