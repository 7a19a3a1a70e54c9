// The cable-sphere node: the globe, latitude rings, axes and the cable.
#include <GL/gl.h>

#include "Sd_CableSphParent.h"
#include "Sd_VectorPipe.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"

namespace {

// The latitude rings: the rows of the globe's mesh at radius 0.481, green
// in the south, white at the equator, red in the north. They are the same
// for every node.
struct RingMesh {
  float vertex[Sd_CableSphParent::kRows][Sd_CableSphParent::kColumns][3];
  unsigned char colour[Sd_CableSphParent::kRows][4];
};

RingMesh MakeRings() {
  RingMesh mesh;
  for (int i = 0; i < Sd_CableSphParent::kRows; ++i) {
    const unsigned char green[4] = {0, 255, 0, 255}, white[4] = {255, 255, 255, 255}, red[4] = {255, 0, 0, 255};
    const unsigned char* c = i < 8 ? green : (i == 8 ? white : red);
    for (int k = 0; k < 4; ++k) mesh.colour[i][k] = c[k];
    for (int j = 0; j < Sd_CableSphParent::kColumns; ++j) {
      double v[3];
      Sd_CableSphParent::OnSphere(0.481, 10.0 * i - 80.0, 10.0 * j, v);
      for (int k = 0; k < 3; ++k) mesh.vertex[i][j][k] = static_cast<float>(v[k]);
    }
  }
  return mesh;
}

const RingMesh& Rings() {
  static const RingMesh rings = MakeRings();
  return rings;
}

}  // namespace

int Sd_CableSphParent::StepRender() { return StepRenderGroup(false, true); }

void Sd_CableSphParent::DrawOwn() {
  glPushMatrix();
  glScalef(m_scale[0], m_scale[1], m_scale[2]);
  DrawSphere();
  glPopMatrix();
}

void Sd_CableSphParent::DrawSphere() {
  glPushMatrix();
  // Styles 0, 2 and 3 draw the globe (style 1 and unknown styles none):
  // style 0 in its vertex colours, 2 and 3 in one colour with the stored
  // colours on the closing pair of each strip.
  const int style = m_globeStyle;
  if (m_showGlobe && (style == 0 || style == 2 || style == 3)) {
    for (int i = 0; i + 1 < kRows; ++i) {
      glBegin(GL_QUAD_STRIP);
      for (int j = 0; j < kColumns; ++j) {
        for (int row : {i, i + 1}) {
          if (style == 0) {
            glColor4ubv(m_globeColours[row][j]);
          } else if (style == 2) {
            glColor3f(0.0f, 0.0f, 1.0f);
          } else {
            glColor3f(0.8f, 0.8f, 0.8f);
          }
          glVertex3fv(m_globe[row][j]);
        }
      }
      for (int row : {i, i + 1}) {
        glColor4ubv(m_globeColours[row][0]);
        glVertex3fv(m_globe[row][0]);
      }
      glEnd();
    }
  }
  if (m_showRings) {
    const RingMesh& rings = Rings();
    glLineWidth(2.0f);
    for (int i = 0; i < kRows; ++i) {
      glColor4ubv(rings.colour[i]);
      glBegin(GL_LINE_LOOP);
      for (int j = 0; j < kColumns; ++j) glVertex3fv(rings.vertex[i][j]);
      glEnd();
    }
    glLineWidth(1.0f);
  }
  if (m_showAxes) {
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(-0.54f, 0.0f, 0.0f);
    glVertex3f(0.54f, 0.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.54f, 0.0f);
    glVertex3f(0.0f, -0.54f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.54f);
    glVertex3f(0.0f, 0.0f, -0.54f);
    glEnd();
    glLineWidth(1.0f);
  }
  Sv_Lighting* lights = GetLighting();
  if (m_showCable && m_points && m_points->HasRings()) {
    if (lights) {
      lights->SetLighting(1);
      lights->SetColorMaterial(1);
      Sd_VectorPipe::DrawPipe(m_points, m_cableColour);
    } else if (!m_lightMissingReported) {
      // The globe needs no light; the lit cable is left out.
      Sv_Debug::Message(SV_LEVEL_ERROR, "Required light manager for render not defined!");
      m_lightMissingReported = 1;
    }
  }
  glPopMatrix();
  if (lights) {
    lights->SetColorMaterial(0);
    lights->SetLighting(0);
  }
}
