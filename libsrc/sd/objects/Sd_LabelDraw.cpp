// Text labels: drawing.
#include <GL/gl.h>

#include "Sd_Label.h"

void Sd_Label::Render() {
  glPushMatrix();
  ApplyTransform();
  DrawBoundingBox();
  glColor4ubv(m_colour);
  // OpenGL refuses widths below 1 (a damaged or odd setting draws thin).
  glLineWidth(m_lineWidth >= 1 ? static_cast<float>(m_lineWidth) : 1.0f);
  // Centred on the origin (alignment 1), baseline through it (alignment 1).
  m_font.DrawString(m_text, 0.0f, 0.0f, 0.0f, 1, 1, 0);
  glLineWidth(1.0f);
  glPopMatrix();
}

int Sd_Label::StepRender() { return StepRenderWhole(); }
