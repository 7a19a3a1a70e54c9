// Sounding data sets: drawing of the base plate and the run lines.
#include <GL/gl.h>

#include "Sd_Sounding.h"
#include "Sd_SoundingSet.h"

void Sd_SoundingSet::Render() {
  glPushMatrix();
  ApplyTransform();
  if (m_showBase) {
    // A grey plate just below the unit box.
    glColor3f(0.5f, 0.5f, 0.5f);
    glBegin(GL_POLYGON);
    glVertex3f(-0.5f, -0.5f, -0.525f);
    glVertex3f(0.5f, -0.5f, -0.525f);
    glVertex3f(0.5f, 0.5f, -0.525f);
    glVertex3f(-0.5f, 0.5f, -0.525f);
    glEnd();
  }
  DrawRunLines();
  glPopMatrix();
}

int Sd_SoundingSet::StepRender() {
  Render();
  SetDrawn(1);
  return 1;
}

void Sd_Sounding::DrawRunLines() {
  if (!m_showRunLines || m_runCount < 1) return;
  glColor3f(1.0f, 1.0f, 0.0f);
  glBegin(GL_LINES);
  for (int i = 0; i < m_runCount; ++i) {
    const FsdRunRecord& r = m_runs[i];
    float from[2], to[2];
    NormalisedXY(r.xStart, r.yStart, from);
    NormalisedXY(r.xEnd, r.yEnd, to);
    glVertex3f(from[0], from[1], m_gridLineZ);
    glVertex3f(to[0], to[1], m_gridLineZ);
  }
  glEnd();
}
