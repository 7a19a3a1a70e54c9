// 2-D lines: drawing.
#include <GL/gl.h>

#include "Sd_Lines2D.h"

void Sd_Lines2D::Render() {
  glPushMatrix();
  ApplyTransform();
  glColor4ubv(m_colour);
  // OpenGL refuses widths below 1 (a damaged or odd setting draws thin).
  glLineWidth(m_lineWidth >= 1 ? static_cast<float>(m_lineWidth) : 1.0f);
  // One strip per run of points between pen-up markers; a strip of a single
  // point draws nothing, so markers first, last or in a row add nothing.
  glBegin(GL_LINE_STRIP);
  for (int i = 0; i < m_count; ++i) {
    const float* p = m_points + 2 * i;
    if (p[0] == kPenUp) {
      glEnd();
      glBegin(GL_LINE_STRIP);
    } else {
      glVertex2fv(p);
    }
  }
  glEnd();
  glLineWidth(1.0f);
  glPopMatrix();
}

int Sd_Lines2D::StepRender() { return StepRenderWhole(); }
