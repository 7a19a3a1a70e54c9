// The lit cube: settings and its six faces.
#include "Sd_Cube.h"

#include <GL/gl.h>

#include <cstring>

#include "Sv_Colour.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


// Each face: its outward normal and its four corners.
struct CubeFace {
  float normal[3];
  int corner[4];
};
constexpr CubeFace kFaces[6] = {
    {{0, 0, 1}, {0, 1, 2, 3}},  {{0, 0, -1}, {4, 5, 6, 7}}, {{-1, 0, 0}, {0, 4, 5, 1}},
    {{0, 1, 0}, {1, 5, 6, 2}},  {{1, 0, 0}, {2, 6, 7, 3}},  {{0, -1, 0}, {3, 7, 4, 0}},
};

}  // namespace

Sd_Cube::Sd_Cube()
    : Sd_SimpleSolid(kTypeId, TDR_TAG_SD_CUBE, TDR_TAG_SD_CUBE_ATB, kLit),
      m_corners{{-0.5f, -0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},  {0.5f, -0.5f, 0.5f},
                {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}} {}

Sd_Cube::~Sd_Cube() {}

const char* Sd_Cube::className() const { return "Sd_Cube"; }

void Sd_Cube::SetColour(unsigned packed) { StoreColour(packed, false); }

bool Sd_Cube::ReadSettingsFields(TDR_PayloadReader& in, const float*) {
  unsigned char colour[4];
  if (!ReadColour(in, colour)) return false;
  memcpy(m_colour, colour, sizeof(m_colour));
  return true;
}

void Sd_Cube::WriteSettingsFields(TDR_PayloadWriter& out) const { WriteColour(out, m_colour); }

void Sd_Cube::DrawShape() {
  for (const CubeFace& face : kFaces) {
    glBegin(GL_POLYGON);
    glNormal3fv(face.normal);
    for (int c : face.corner) glVertex3fv(m_corners[c]);
    glEnd();
  }
}

int Sd_Cube::WriteSample(TDR_Manager* manager) {
  Sd_Cube cube;
  cube.SetColour(PackColour(200, 60, 20, 255));
  cube.SetBounds(0, 10.0f, 20.0f);
  cube.SetBounds(1, 30.0f, 40.0f);
  cube.SetBounds(2, -5.0f, 5.0f);
  return cube.SaveObject(manager, 1, 0);
}
