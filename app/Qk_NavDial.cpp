#include "Qk_NavDial.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "Sv_Geo.h"
#include "Sv_HersheyFont.h"

namespace {

const double kPi = 3.141592653589793;
const double kDegreesToRadians = 0.017453292519943295;

// --- the grip and its two arrow tips, shared by every dial ---

const int kGripVertices = 26;
const int kGripFaces = 20;

const double kGripVertex[kGripVertices][3] = {
    {-0.054, -0.207, 1.006}, {0.0, -0.215, 1.006},   {0.054, -0.207, 1.006},  {-0.054, -0.207, 1.034},
    {0.0, -0.215, 1.034},    {0.054, -0.207, 1.034}, {-0.062, -0.2, 1.003},   {0.0, -0.209, 1.003},
    {0.062, -0.2, 1.003},    {-0.062, -0.2, 1.037},  {0.0, -0.209, 1.037},    {0.062, -0.2, 1.037},
    {-0.06, -0.195, 1.003},  {0.0, -0.202, 1.003},   {0.06, -0.195, 1.003},   {-0.06, -0.195, 1.037},
    {0.0, -0.202, 1.037},    {0.06, -0.195, 1.037},  {0.075, -0.188, 1.035},  {0.075, -0.19, 1.005},
    {0.091, -0.19, 1.02},    {0.11, -0.171, 1.02},   {-0.075, -0.188, 1.035}, {-0.075, -0.19, 1.005},
    {-0.091, -0.19, 1.02},   {-0.11, -0.171, 1.02}};

// Four vertex indices per face; a repeated last index makes a triangle.
// Faces 0 to 13 are the grip block, 14 to 16 the tip on the +x side, 17 to
// 19 the tip on the -x side.
const int kGripFace[kGripFaces][4] = {
    {0, 1, 4, 3},     {1, 2, 5, 4},     {6, 7, 1, 0},     {7, 8, 2, 1},     {8, 11, 5, 2},
    {11, 10, 4, 5},   {10, 9, 3, 4},    {9, 6, 0, 3},     {12, 13, 7, 6},   {13, 14, 8, 7},
    {14, 17, 11, 8},  {17, 16, 10, 11}, {16, 15, 9, 10},  {15, 12, 6, 9},   {18, 19, 20, 20},
    {19, 21, 20, 20}, {21, 18, 20, 20}, {22, 25, 24, 24}, {25, 23, 24, 24}, {23, 22, 24, 24}};

// First and one-past-last face of each grip part.
const int kGripPartFaces[3][2] = {{0, 14}, {14, 17}, {17, 20}};

struct GripNormals {
  double n[kGripFaces][3];
  GripNormals() {
    for (int f = 0; f < kGripFaces; ++f) {
      const double* a = kGripVertex[kGripFace[f][0]];
      const double* b = kGripVertex[kGripFace[f][1]];
      const double* c = kGripVertex[kGripFace[f][2]];
      const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
      const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
      const double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
      for (int i = 0; i < 3; ++i) n[f][i] = len > 0.0 ? w[i] / len : 0.0;
    }
  }
};

// The face normals, computed once for every dial of the process.
const GripNormals& Normals() {
  static const GripNormals normals;
  return normals;
}

// --- further ring and body constants ---

const double kRingInner = 0.198;
const double kRingOuter = 0.202;
const double kRingBottom = 0.998;
const double kRingLine1 = 1.012;
const double kRingLine2 = 1.028;
const double kRingTop = 1.042;
const double kRingHitTop = 1.161;
const double kRingHitWidth = 0.05;
const double kSeatRadius = 0.06;
const double kSeatBottom = 0.888;
const double kSeatTop = 0.932;
const double kTickHalfWidth = 0.031;
const double kTickDepth = 0.02;
const double kLabelHitLeft = 0.011;
const double kLabelHitRight = 0.411;
const double kLabelHitHeight = 0.05;
const double kLabelOffset = 0.021;
const double kLabelScale = 2.1;
const double kMarkerHalf = 0.005;
// Width in pixels of the outline drawn under the labels' strokes.
const float kOutlineWidth = 3.0f;
// Positions along the scale are compared with this much slack, so that a
// tick that falls on the scale's end by rounding is not drawn.
const double kScaleEpsilon = 1e-9;

const int kRingSegments = 32;
const int kShaftSegments = 8;  // per half
const int kConeSegments = 16;

void Material(const float ambient[3], const float diffuse[3], const float specular[3]) {
  const float a[4] = {ambient[0], ambient[1], ambient[2], 1.0f};
  const float d[4] = {diffuse[0], diffuse[1], diffuse[2], 1.0f};
  const float s[4] = {specular[0], specular[1], specular[2], 1.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, a);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, d);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, s);
}

const float kGrey02[3] = {0.2f, 0.2f, 0.2f};
const float kGrey03[3] = {0.3f, 0.3f, 0.3f};
const float kGrey04[3] = {0.4f, 0.4f, 0.4f};
const float kGrey06[3] = {0.6f, 0.6f, 0.6f};
const float kGrey08[3] = {0.8f, 0.8f, 0.8f};
const float kGrey01[3] = {0.1f, 0.1f, 0.1f};
const float kWhite[3] = {1.0f, 1.0f, 1.0f};
const float kRedAmbient[3] = {0.4f, 0.2f, 0.2f};
const float kRedDiffuse[3] = {1.0f, 0.2f, 0.2f};
const float kBlueAmbient[3] = {0.2f, 0.2f, 0.4f};
const float kBlueDiffuse[3] = {0.4f, 0.4f, 1.0f};

void BodyMaterial() { Material(kGrey02, kGrey06, kGrey01); }

// Blue while the cone is held, else grey.
void ConeMaterial(bool grabbed) {
  if (grabbed) {
    Material(kBlueAmbient, kBlueDiffuse, kGrey01);
  } else {
    Material(kGrey02, kGrey08, kGrey03);
  }
}

// (x, y) turned about the z axis by degrees.
void Turn(double degrees, double x, double y, double* ox, double* oy) {
  const double a = degrees * kDegreesToRadians;
  *ox = x * std::cos(a) - y * std::sin(a);
  *oy = x * std::sin(a) + y * std::cos(a);
}

// A quad strip around the z axis at radius r between heights z0 and z1,
// over the angles a0 to a1 (radians); the normals point outwards (sign 1)
// or inwards (sign -1).
void Band(double r, double z0, double z1, double a0, double a1, int segments, double sign) {
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= segments; ++i) {
    const double a = a0 + (a1 - a0) * i / segments;
    const double c = std::cos(a), s = std::sin(a);
    glNormal3d(sign * c, sign * s, 0.0);
    glVertex3d(r * c, r * s, z1);
    glVertex3d(r * c, r * s, z0);
  }
  glEnd();
}

// A flat ring between radii r0 and r1 at height z, over the angles a0 to a1,
// with the normal (0, 0, nz).
void Annulus(double r0, double r1, double z, double a0, double a1, int segments, double nz) {
  glNormal3d(0.0, 0.0, nz);
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= segments; ++i) {
    const double a = a0 + (a1 - a0) * i / segments;
    const double c = std::cos(a), s = std::sin(a);
    glVertex3d(r1 * c, r1 * s, z);
    glVertex3d(r0 * c, r0 * s, z);
  }
  glEnd();
}

// A small outlined diamond (the degree marker of the angle readout).
void Diamond(double x, double y) {
  glBegin(GL_LINE_LOOP);
  glVertex3d(x - kMarkerHalf, y, 0.0);
  glVertex3d(x, y + kMarkerHalf, 0.0);
  glVertex3d(x + kMarkerHalf, y, 0.0);
  glVertex3d(x, y - kMarkerHalf, 0.0);
  glEnd();
}

// Strokes of the labels: layer 0 their outline, black and wide enough to
// frame the white strokes of layer 1 over any background.
void StrokeLayer(int layer) {
  if (layer == 0) {
    glColor3f(0.0f, 0.0f, 0.0f);
    glLineWidth(kOutlineWidth);
  } else {
    glColor3f(1.0f, 1.0f, 1.0f);
    glLineWidth(1.0f);
  }
}

// Depth of a dial point along the viewing direction in the model-view
// matrix m (column-major), up to a constant: larger is farther.
double ViewDepth(const double m[16], double x, double y, double z) { return -(m[2] * x + m[6] * y + m[10] * z); }

}  // namespace

Qk_NavDial::Qk_NavDial()
    : m_dragOffset(0.0),
      m_horizontal(1),
      m_grabbed(0),
      m_coneGrabbed(0),
      m_firstPartShown(1),
      m_coneShown(0),
      m_secondPartShown(0),
      m_thirdPartShown(0),
      m_value(0.0),
      m_angleReadout(0),
      m_exaggeration(1.0),
      m_spinning(0),
      m_singlePass(1),
      m_footprint(0),
      m_distancesOn(0),
      m_distance(0.0),
      m_step(0.0),
      m_font(nullptr),
      m_tilt(0.0),
      m_bodyShown(1) {
  Normals();
}

Qk_NavDial::~Qk_NavDial() {}

int Qk_NavDial::Hit(double, double, double) { return 0; }

void Qk_NavDial::Motion(int button, int x, int y) {
  if (m_motionCallback) m_motionCallback(this, button, x, y, m_owner);
}

void Qk_NavDial::Release(int button, int x, int y) {
  m_grabbed = 0;
  m_coneGrabbed = 0;
  if (m_releaseCallback) m_releaseCallback(this, button, x, y, m_owner);
}

int Qk_NavDial::Press(int button, int x, int y, double px, double py, double pz) {
  const int part = DialHitTest(px, py, pz);
  if (part == PART_RING) {
    if (button == 1) {
      m_grabbed = 1;
      if (m_pressCallback) m_pressCallback(this, button, x, y, m_owner);
    }
    return 1;
  }
  if (part == PART_CONE) {
    if (button == 1) {
      m_coneGrabbed = 1;
      if (m_pressCallback) m_pressCallback(this, button, x, y, m_owner);
    }
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Geometry

double Qk_NavDial::ConeLength(double exaggeration) {
  if (!(exaggeration >= 0.0001)) return 0.0001;
  return (std::log(exaggeration + 5.0) - 1.5) * 0.075 * 1.5;
}

double Qk_NavDial::ScaleStep(double distance) {
  if (!std::isfinite(distance) || !(distance > 0.0)) return 0.0;
  double step = Sv_Geo::NiceStepBelow(distance / 1.2);
  while (step > 0.0 && std::isfinite(step) && distance / step > 4.0) step *= 2.0;
  if (!std::isfinite(step) || !(step > 0.0)) return 0.0;
  return step;
}

void Qk_NavDial::UpdateScale() { m_step = ScaleStep(m_distance); }

double Qk_NavDial::GetSpacing() const {
  const double step = ScaleStep(m_distance);
  if (!(step > 0.0)) return 0.0;
  const double s = kScaleLength * step / m_distance;
  return std::isfinite(s) && s > 0.0 ? s : 0.0;
}

void Qk_NavDial::FormatLabel(char* out, size_t size, double value, double step) {
  if (!out || size == 0) return;
  if (step < 1.0) {
    snprintf(out, size, "%g", value);
  } else {
    snprintf(out, size, "%.1f", value);
  }
}

int Qk_NavDial::ReadoutAngle() const {
  if (!std::isfinite(m_value)) return m_horizontal ? 0 : -90;
  // Whole degrees, brought into 0..359 (fmod first keeps huge values in
  // the integer range).
  int n = static_cast<int>(std::fmod(m_value, 360.0));
  while (n < 0) n += 360;
  n %= 360;
  if (!m_horizontal) {
    if (n > 270) n -= 360;
    n -= 90;
  }
  return n;
}

int Qk_NavDial::DialHitTest(double x, double y, double z) const {
  if (!m_horizontal) {
    const double tx = z;
    const double tz = -x;
    x = tx;
    z = tz;
  }
  const double a = z;
  const double r = std::sqrt(x * x + y * y);

  if (a >= kRingBottom && a <= kRingHitTop && std::fabs(r - kRingRadius) < kRingHitWidth) return PART_RING;
  if (m_coneShown) {
    const double length = GetConeLength();
    if (a >= kConeBase - 0.002 && a <= kConeBase + length + 0.002 && r < kConeRadius) return PART_CONE;
  }
  if ((!m_coneShown || !m_bodyShown) && a >= kSeatBottom && a <= kSeatTop && r < kSeatRadius) return PART_OTHER;
  if (a >= -kShaftEnd && a <= kShaftEnd && r < kShaftRadius) return PART_OTHER;

  if (m_distancesOn && y >= -kTickDepth && y <= kTickDepth) {
    const double s = GetSpacing();
    if (s > 0.0) {
      if (x > -kTickHalfWidth && x < kTickHalfWidth) {
        for (int k = 1; k * s / 2.0 < kScaleLength - kScaleEpsilon; ++k) {
          const double t = k * s / 2.0;
          if (std::fabs(a - t) <= kTickDepth || std::fabs(a + t) <= kTickDepth) return PART_OTHER;
        }
      }
      if (m_horizontal && x > kLabelHitLeft && x < kLabelHitRight) {
        for (int k = 1; k * s < kScaleLength - kScaleEpsilon; ++k) {
          const double t = k * s;
          if (std::fabs(a - t) <= kLabelHitHeight || std::fabs(a + t) <= kLabelHitHeight) return PART_OTHER;
        }
      }
    }
  }
  return PART_NONE;
}

// ---------------------------------------------------------------------------
// Drawing pieces

void Qk_NavDial::DrawRingLine() const {
  glColor3f(0.85f, 0.85f, 0.85f);
  const double heights[2] = {kRingLine1, kRingLine2};
  for (double h : heights) {
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < kRingSegments; ++i) {
      const double a = 2.0 * kPi * i / kRingSegments;
      glVertex3d(kRingOuter * std::cos(a), kRingOuter * std::sin(a), h);
    }
    glEnd();
  }
}

void Qk_NavDial::DrawBodyHalf(int side) const {
  // Side -1 covers the angles pi .. 2 pi (y <= 0), side +1 covers 0 .. pi.
  const double a0 = side < 0 ? kPi : 0.0;
  const double a1 = a0 + kPi;
  Band(kShaftRadius, -kShaftEnd, kShaftEnd, a0, a1, kShaftSegments, 1.0);
  if (!m_coneShown) {
    // The seat that ends the shaft where there is no cone.
    Band(kSeatRadius, kSeatBottom, kSeatTop, a0, a1, kShaftSegments, 1.0);
    Annulus(0.0, kSeatRadius, kSeatTop, a0, a1, kShaftSegments, 1.0);
    Annulus(kShaftRadius, kSeatRadius, kSeatBottom, a0, a1, kShaftSegments, -1.0);
  }
  Band(kRingOuter, kRingBottom, kRingTop, a0, a1, kRingSegments / 2, 1.0);
  Band(kRingInner, kRingBottom, kRingTop, a0, a1, kRingSegments / 2, -1.0);
  Annulus(kRingInner, kRingOuter, kRingTop, a0, a1, kRingSegments / 2, 1.0);
  Annulus(kRingInner, kRingOuter, kRingBottom, a0, a1, kRingSegments / 2, -1.0);
}

void Qk_NavDial::DrawCone() const {
  const double length = GetConeLength();
  const double apex = kConeBase + length;
  // Outward normal of the cone's side: perpendicular to the slant line.
  const double slant = std::sqrt(length * length + kConeRadius * kConeRadius);
  const double nr = length / slant;
  const double nz = kConeRadius / slant;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < kConeSegments; ++i) {
    const double a0 = 2.0 * kPi * i / kConeSegments;
    const double a1 = 2.0 * kPi * (i + 1) / kConeSegments;
    const double am = 0.5 * (a0 + a1);
    glNormal3d(nr * std::cos(am), nr * std::sin(am), nz);
    glVertex3d(0.0, 0.0, apex);
    glNormal3d(nr * std::cos(a0), nr * std::sin(a0), nz);
    glVertex3d(kConeRadius * std::cos(a0), kConeRadius * std::sin(a0), kConeBase);
    glNormal3d(nr * std::cos(a1), nr * std::sin(a1), nz);
    glVertex3d(kConeRadius * std::cos(a1), kConeRadius * std::sin(a1), kConeBase);
  }
  glEnd();
  // The base disk, facing down the axis.
  glNormal3d(0.0, -1.0, 0.0);
  glBegin(GL_POLYGON);
  for (int i = kConeSegments; i > 0; --i) {
    const double a = 2.0 * kPi * i / kConeSegments;
    glVertex3d(kConeRadius * std::cos(a), kConeRadius * std::sin(a), kConeBase);
  }
  glEnd();
  glPopAttrib();
}

void Qk_NavDial::GripMaterial() const {
  if (m_spinning) {
    Material(kRedAmbient, kRedDiffuse, kGrey01);
  } else if (m_grabbed || m_coneGrabbed) {
    Material(kBlueAmbient, kBlueDiffuse, kGrey01);
  } else {
    Material(kGrey04, kWhite, kGrey01);
  }
}

void Qk_NavDial::DrawGripPart(int part) const {
  if (part < 0 || part > 2) return;
  const GripNormals& normals = Normals();
  glPushMatrix();
  glRotated(m_dragOffset, 0.0, 0.0, 1.0);
  glBegin(GL_QUADS);
  for (int f = kGripPartFaces[part][0]; f < kGripPartFaces[part][1]; ++f) {
    glNormal3dv(normals.n[f]);
    for (int i = 0; i < 4; ++i) glVertex3dv(kGripVertex[kGripFace[f][i]]);
  }
  glEnd();
  glPopMatrix();
}

void Qk_NavDial::DrawDecoration(int which) const {
  const double h = 0.5 * (kRingLine1 + kRingLine2);
  if (which == 2) {
    // A short tick outside the ring at +x, not turned.
    glColor3f(0.85f, 0.85f, 0.85f);
    glBegin(GL_LINES);
    glVertex3d(kRingOuter, 0.0, h);
    glVertex3d(kRingOuter + 0.04, 0.0, h);
    glEnd();
    return;
  }
  const double sign = which == 0 ? -1.0 : 1.0;
  glPushMatrix();
  glRotated(m_value, 0.0, 0.0, 1.0);
  // A pointer on the inside of the ring: white towards -y, red towards +y.
  if (which == 0) {
    glColor3f(0.9f, 0.9f, 0.9f);
  } else {
    glColor3f(1.0f, 0.25f, 0.25f);
  }
  glBegin(GL_TRIANGLES);
  glVertex3d(-0.025, sign * kRingInner, h);
  glVertex3d(0.025, sign * kRingInner, h);
  glVertex3d(0.0, sign * 0.15, h);
  glEnd();
  if (which == 1 && m_secondPartShown) {
    // An "N" inside the pointer, upright when seen from -y.
    const double w = 0.0175, y0 = 0.085, y1 = 0.135;
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINE_STRIP);
    glVertex3d(-w, y0, h);
    glVertex3d(-w, y1, h);
    glVertex3d(w, y0, h);
    glVertex3d(w, y1, h);
    glEnd();
  }
  glPopMatrix();
}

void Qk_NavDial::DrawLabels() const {
  // All outlines first, so that no outline covers a neighbouring stroke.
  for (int layer = 0; layer < 2; ++layer) {
    StrokeLayer(layer);
    DrawScale();
    if (m_angleReadout) DrawReadout();
  }
}

void Qk_NavDial::DrawOverEverything() const {
  if (!m_footprint) glDisable(GL_DEPTH_TEST);
}

void Qk_NavDial::DrawScale() const {
  const double s = GetSpacing();
  const double step = m_step;
  if (!m_distancesOn || !(s > 0.0)) return;
  // Ticks across the shaft at every half spacing, longer at the labels,
  // drawn over the shaft they cross.
  glPushAttrib(GL_ENABLE_BIT);
  DrawOverEverything();
  glBegin(GL_LINES);
  for (int k = 1; k * s / 2.0 < kScaleLength - kScaleEpsilon; ++k) {
    const double t = k * s / 2.0;
    const double half = (k % 2 == 0) ? 0.03 : 0.018;
    glVertex3d(-half, 0.0, t);
    glVertex3d(half, 0.0, t);
    glVertex3d(-half, 0.0, -t);
    glVertex3d(half, 0.0, -t);
  }
  glEnd();
  glPopAttrib();

  if (!m_font || !(step > 0.0)) return;
  const float textHeight = m_font->GetHeight(static_cast<float>(kLabelScale));
  glPushAttrib(GL_ENABLE_BIT);
  glPushMatrix();
  if (m_horizontal) {
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  } else {
    DrawOverEverything();
    glRotated(90.0, 0.0, 1.0, 0.0);
    glRotated(90.0, 1.0, 0.0, 0.0);
  }
  char text[64];
  for (int k = 1; k * s < kScaleLength - kScaleEpsilon; ++k) {
    for (int sign = 1; sign >= -1; sign -= 2) {
      const double position = sign * k * s;
      FormatLabel(text, sizeof(text), sign * k * step, step);
      const float sc = static_cast<float>(kLabelScale);
      if (m_horizontal) {
        m_font->DrawString(sc, sc, text, static_cast<float>(kLabelOffset),
                           static_cast<float>(position) - 0.5f * textHeight, 0.0f, 0, 0, 0);
      } else {
        m_font->DrawString(sc, sc, text, static_cast<float>(position), static_cast<float>(kLabelHitLeft), 0.0f, 1,
                           0, 0);
      }
    }
  }
  glPopMatrix();
  glPopAttrib();
}

void Qk_NavDial::DrawReadout() const {
  if (!m_font) return;
  char text[32];
  snprintf(text, sizeof(text), "%d", ReadoutAngle());
  const float sc = static_cast<float>(kLabelScale);
  const float capHeight = m_font->GetHeight(sc) * 0.6f;
  glPushAttrib(GL_ENABLE_BIT);
  glPushMatrix();
  if (m_horizontal) {
    glTranslatef(0.0f, 0.0f, 1.05f);
    glRotated(m_tilt, -1.0, 0.0, 0.0);
    const float x = -0.22f;
    m_font->DrawString(sc, sc, text, x, 0.0f, 0.0f, 0, 1, 0);
    Diamond(x + m_font->GetStringWidth(text, sc) + 0.01, capHeight);
  } else {
    DrawOverEverything();
    glRotated(90.0, 0.0, 1.0, 0.0);
    glRotated(90.0, 1.0, 0.0, 0.0);
    const float x = -1.1f, y = 0.2f;
    m_font->DrawString(sc, sc, text, x, y, 0.0f, 0, 1, 0);
    Diamond(x + m_font->GetStringWidth(text, sc) + 0.01, y + capHeight);
  }
  glPopMatrix();
  glPopAttrib();
}

// ---------------------------------------------------------------------------
// Draw

void Qk_NavDial::Draw() {
  UpdateScale();
  // The caller's depth test orders what is not drawn over everything
  // behind it (GL_ALWAYS).
  GLint depthTest = GL_LEQUAL;
  glGetIntegerv(GL_DEPTH_FUNC, &depthTest);
  glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT |
               GL_LINE_BIT);
  glPushMatrix();
  if (!m_horizontal) {
    glRotated(-90.0, 1.0, 0.0, 0.0);
    glRotated(-90.0, 0.0, 1.0, 0.0);
  }
  glShadeModel(GL_SMOOTH);
  const bool texts = (m_distancesOn && m_step > 0.0) || m_angleReadout;

  if (m_singlePass) {
    glDisable(GL_LIGHTING);
    DrawRingLine();
    if (m_bodyShown) {
      glEnable(GL_LIGHTING);
      BodyMaterial();
      DrawBodyHalf(-1);
      DrawBodyHalf(1);
      if (m_coneShown) {
        ConeMaterial(m_coneGrabbed != 0);
        DrawCone();
      }
      GripMaterial();
      for (int part = 0; part < 3; ++part) DrawGripPart(part);
      glDisable(GL_LIGHTING);
      if (m_firstPartShown) {
        DrawDecoration(0);
        DrawDecoration(1);
      }
      if (m_thirdPartShown) DrawDecoration(2);
    }
    glDisable(GL_LIGHTING);
    if (texts) DrawLabels();
  } else {
    // The parts are ordered by their depth along the view, read from the
    // current model-view matrix, instead of by the depth buffer: the dials
    // cut through the scene, so the depth buffer cannot order them. Parts
    // behind the reference point on the ring go first.
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    const double reference = ViewDepth(m, -kRingRadius, 0.0, 1.0);
    const bool shaftLow = ViewDepth(m, 0.0, -kRingRadius, 1.0) > reference;
    bool gripLow[3];
    const double gripPoints[3][2] = {{0.0, -0.215}, {0.091, -0.19}, {-0.091, -0.19}};
    for (int i = 0; i < 3; ++i) {
      double x, y;
      Turn(m_dragOffset, gripPoints[i][0], gripPoints[i][1], &x, &y);
      gripLow[i] = ViewDepth(m, x, y, 1.006) > reference;
    }
    bool decorationLow[2];
    for (int i = 0; i < 2; ++i) {
      double x, y;
      Turn(m_value, 0.0, i == 0 ? -kRingInner : kRingInner, &x, &y);
      decorationLow[i] = ViewDepth(m, x, y, 1.006) > reference;
    }
    const int lowSide = shaftLow ? -1 : 1;

    // Pass 1: what lies behind.
    if (m_bodyShown) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      glEnable(GL_LIGHTING);
      GripMaterial();
      for (int part = 0; part < 3; ++part) {
        if (gripLow[part]) DrawGripPart(part);
      }
      glDisable(GL_CULL_FACE);
      glDepthFunc(GL_ALWAYS);
      BodyMaterial();
      glEnable(GL_LIGHTING);
      DrawBodyHalf(lowSide);
      if (m_firstPartShown) {
        glDisable(GL_LIGHTING);
        for (int i = 0; i < 2; ++i) {
          if (decorationLow[i]) DrawDecoration(i);
        }
        glEnable(GL_LIGHTING);
      }
      if (m_coneShown) {
        ConeMaterial(m_coneGrabbed != 0);
        DrawCone();
      }
      glDisable(GL_LIGHTING);
      if (m_thirdPartShown) DrawDecoration(2);
    }

    glDepthFunc(static_cast<GLenum>(depthTest));
    glDisable(GL_LIGHTING);
    DrawRingLine();
    glEnable(GL_LIGHTING);
    glDepthFunc(GL_ALWAYS);

    // Pass 2: what lies in front.
    if (m_bodyShown) {
      BodyMaterial();
      DrawBodyHalf(-lowSide);
      if (m_firstPartShown) {
        glDisable(GL_LIGHTING);
        for (int i = 0; i < 2; ++i) {
          if (!decorationLow[i]) DrawDecoration(i);
        }
        glEnable(GL_LIGHTING);
      }
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      GripMaterial();
      for (int part = 0; part < 3; ++part) {
        if (!gripLow[part]) DrawGripPart(part);
      }
      glDisable(GL_CULL_FACE);
    }

    glDepthFunc(static_cast<GLenum>(depthTest));
    glDisable(GL_LIGHTING);
    if (texts) DrawLabels();
  }

  glPopMatrix();
  glPopAttrib();
}
