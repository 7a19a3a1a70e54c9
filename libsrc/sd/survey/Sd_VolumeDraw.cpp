// Scalar volume: whole and progressive drawing of the iso-surface.
#include <GL/gl.h>

#include "Sd_Volume.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"

namespace {

constexpr const char* kNoLightsMessage = "ERROR:  Required light manager for rendering not defined!";

}  // namespace

void Sd_Volume::DrawTriangles(const Sd_IsoSurface* list, size_t first, size_t count) const {
  if (!list || count == 0) return;
  glBegin(GL_TRIANGLES);
  for (size_t t = first; t < first + count; ++t) {
    for (unsigned int index : list->Triangle(t).v) {
      const Sd_IsoVertex& v = list->Vertex(index);
      const unsigned int c = m_colours[v.colour];
      glNormal3fv(v.normal);
      glColor4ub(static_cast<GLubyte>(ColourRed(c)), static_cast<GLubyte>(ColourGreen(c)),
                 static_cast<GLubyte>(ColourBlue(c)), static_cast<GLubyte>(ColourAlpha(c)));
      glVertex3fv(v.position);
    }
  }
  glEnd();
}

void Sd_Volume::DrawClipBox() const {
  if (!m_boxDisplay) return;
  glColor3f(1.0f, 0.0f, 0.0f);
  for (int face = 0; face < 2; ++face) {
    glBegin(GL_LINE_LOOP);
    for (int c = 0; c < 4; ++c) glVertex3fv(m_boxCorners[4 * face + c]);
    glEnd();
  }
  glBegin(GL_LINES);
  for (int c = 0; c < 4; ++c) {
    glVertex3fv(m_boxCorners[c]);
    glVertex3fv(m_boxCorners[c + 4]);
  }
  glEnd();
}

void Sd_Volume::Render() {
  glPushMatrix();
  ApplyTransform();
  DrawBoundingBox();
  glTranslatef(-0.5f, -0.5f, -0.5f);
  Sv_Lighting* lights = Sv_Lighting::GetGlobal();
  if (!lights) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kNoLightsMessage);
    glPopMatrix();
    return;
  }
  lights->SetLighting(1);
  lights->SetColorMaterial(1);
  const Sd_IsoSurface* list = RenderList();
  if (list) DrawTriangles(list, 0, list->TriangleCount());
  DrawClipBox();
  lights->SetColorMaterial(0);
  lights->SetLighting(0);
  glPopMatrix();
}

void Sd_Volume::ClosePass() {
  if (Sv_Lighting* lights = Sv_Lighting::GetGlobal()) {
    lights->SetColorMaterial(0);
    lights->SetLighting(0);
  }
  if (m_pushed) glPopMatrix();
  m_pushed = 0;
  m_stepState = 0;
}

int Sd_Volume::StepRender() {
  if (GetRedrawPending()) {
    SetRedrawPending(0);
    SetDrawn(0);
    ClosePass();
    return 0;
  }
  Sv_Lighting* lights = Sv_Lighting::GetGlobal();
  if (!lights) {
    // Nothing can be drawn: the pass ends.
    Sv_Debug::Message(SV_LEVEL_DEBUG, kNoLightsMessage);
    ClosePass();
    SetDrawn(1);
    return 1;
  }
  switch (m_stepState) {
    case 0:
      lights->SetLighting(1);
      lights->SetColorMaterial(1);
      glPushMatrix();
      ApplyTransform();
      glTranslatef(-0.5f, -0.5f, -0.5f);
      SetDrawn(0);
      m_stepState = 1;
      m_pushed = 1;
      m_cursor = 0;
      break;
    case 1: {
      // The full list, whatever the step; a list rebuilt meanwhile (which
      // also asks for a redraw) is never read past its end.
      const size_t total = m_fullList ? m_fullList->TriangleCount() : 0;
      const size_t first = m_cursor < total ? m_cursor : total;
      const size_t count = total - first < static_cast<size_t>(kTrianglesPerStep) ? total - first : kTrianglesPerStep;
      DrawTriangles(m_fullList, first, count);
      DrawClipBox();
      m_cursor = first + count;
      if (m_cursor >= total) m_stepState = 2;
      break;
    }
    default:
      ClosePass();
      SetDrawn(1);
      break;
  }
  return GetDrawn();
}
