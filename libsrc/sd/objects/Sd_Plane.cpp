// The translucent plane: settings, geographic height and volume split.
#include "Sd_Plane.h"

#include <GL/gl.h>

#include <cstring>

#include "Sv_Colour.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


}  // namespace

Sd_Plane::Sd_Plane()
    : Sd_SimpleSolid(kTypeId, TDR_TAG_SD_PLANE, TDR_TAG_SD_PLANE_ATB, kUnlit),
      m_corners{{-0.5f, -0.5f, 0.0f}, {-0.5f, 0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}, {0.5f, -0.5f, 0.0f}},
      m_useGeoHeight(1),
      m_geoHeight(0.0f) {}

Sd_Plane::~Sd_Plane() {}

const char* Sd_Plane::className() const { return "Sd_Plane"; }

void Sd_Plane::SetUseGeoHeight(int on) {
  m_useGeoHeight = on;
  if (!on) {
    for (float* corner : m_corners) corner[2] = 0.0f;
  }
}

void Sd_Plane::SetColour(unsigned packed) { StoreColour(packed, true); }

float Sd_Plane::GeoHeightInBox() const {
  const double range = static_cast<double>(m_bounds[5]) - m_bounds[4];
  // A box without z range holds every height in its middle.
  if (!(range > 0.0 || range < 0.0)) return 0.0f;
  return static_cast<float>((m_geoHeight - m_bounds[4]) / range - 0.5);
}

void Sd_Plane::SplitVolume(double* volumeAbove, double* volumeBelow, double* areaAbove, double* areaBelow) const {
  const double area = (static_cast<double>(m_bounds[1]) - m_bounds[0]) * (static_cast<double>(m_bounds[3]) - m_bounds[2]);
  const double volume = area * m_geoHeight;
  const bool above = volume > 0.0;
  if (volumeAbove) *volumeAbove = above ? volume : 0.0;
  if (areaAbove) *areaAbove = above ? area : 0.0;
  if (volumeBelow) *volumeBelow = above ? 0.0 : volume;
  if (areaBelow) *areaBelow = above ? 0.0 : area;
}

bool Sd_Plane::ReadSettingsFields(TDR_PayloadReader& in, const float* formatVersion) {
  unsigned char colour[4];
  int useGeoHeight = m_useGeoHeight;
  float geoHeight = m_geoHeight;
  ReadColour(in, colour);
  // Records of format 1.0 and before hold the colour only.
  if (!(formatVersion && *formatVersion <= 1.0f)) {
    in.Int32(&useGeoHeight);
    in.Float32(&geoHeight);
  }
  if (!in.Ok()) return false;
  memcpy(m_colour, colour, sizeof(m_colour));
  m_useGeoHeight = useGeoHeight;
  m_geoHeight = geoHeight;
  return true;
}

void Sd_Plane::WriteSettingsFields(TDR_PayloadWriter& out) const {
  WriteColour(out, m_colour);
  out.Int32(m_useGeoHeight);
  out.Float32(m_geoHeight);
}

void Sd_Plane::DrawShape() {
  if (m_useGeoHeight) {
    const float z = GeoHeightInBox();
    for (float* corner : m_corners) corner[2] = z;
  }
  glBegin(GL_POLYGON);
  for (const float* corner : m_corners) glVertex3fv(corner);
  glEnd();
}

int Sd_Plane::WriteSample(TDR_Manager* manager) {
  Sd_Plane plane;
  plane.SetColour(PackColour(0, 120, 255, 0));
  plane.SetAlpha(128);
  plane.SetGeoHeight(-20.0f);
  plane.SetBounds(0, 0.0f, 1000.0f);
  plane.SetBounds(1, 0.0f, 500.0f);
  plane.SetBounds(2, -50.0f, 10.0f);
  return plane.SaveObject(manager, 1, 0);
}
