#include "Sv_Glyphs.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// Nine points on the circle of radius 0.5, the last equal to the first.
const float kRing[9][2] = {
    {0.5f, 0.0f},        {0.35355339f, 0.35355339f},   {0.0f, 0.5f},
    {-0.35355339f, 0.35355339f}, {-0.5f, 0.0f}, {-0.35355339f, -0.35355339f},
    {0.0f, -0.5f},       {0.35355339f, -0.35355339f},  {0.5f, 0.0f}};

// Grey factors of the cube faces: +z, -z, +x, -x, +y, -y.
const float kCubeShade[6] = {1.0f, 0.4f, 0.8f, 0.6f, 0.7f, 0.9f};
// Grey factors of the octahedron faces: four upper, then four lower.
const float kDiamondShade[8] = {1.0f, 0.85f, 0.7f, 0.85f, 0.65f, 0.5f, 0.35f, 0.5f};
// Grey factors of the cylinder's eight sides, its top and its bottom.
const float kCylinderShade[8] = {0.9f, 1.0f, 0.9f, 0.75f, 0.6f, 0.5f, 0.6f, 0.75f};
const float kCylinderTop = 1.0f;
const float kCylinderBottom = 0.4f;
// Scales the sum of two neighbouring ring points to a unit normal:
// 1 / (2 * 0.5 * cos(22.5 degrees)).
const float kSideNormal = 1.0823922f;
// Grey factors of the sphere's six bands, from +z to -z.
const float kSphereShade[6] = {1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f};

void SetColour(const unsigned char* colour) {
  if (colour) glColor3ubv(colour);
}

// The colour times a grey factor in 0..1.
void SetShade(const unsigned char* colour, float factor) {
  if (!colour) return;
  unsigned char c[3];
  for (int i = 0; i < 3; ++i) c[i] = (unsigned char)std::lround(colour[i] * factor);
  glColor3ubv(c);
}

}  // namespace

void DrawPointGlyph(const unsigned char* colour) {
  SetColour(colour);
  glBegin(GL_POINTS);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glEnd();
}

void DrawSquareGlyph(const unsigned char* colour) {
  SetColour(colour);
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glVertex3f(-0.5f, -0.5f, 0.0f);
  glVertex3f(0.5f, -0.5f, 0.0f);
  glVertex3f(0.5f, 0.5f, 0.0f);
  glVertex3f(-0.5f, 0.5f, 0.0f);
  glEnd();
}

void DrawCircleGlyph(const unsigned char* colour) {
  SetColour(colour);
  glBegin(GL_LINE_STRIP);
  for (int i = 0; i < 9; ++i) glVertex3f(kRing[i][0], kRing[i][1], 0.0f);
  glEnd();
}

void DrawCrossGlyph(const unsigned char* colour) {
  SetColour(colour);
  glBegin(GL_LINES);
  glVertex3f(-0.5f, 0.0f, 0.0f);
  glVertex3f(0.5f, 0.0f, 0.0f);
  glVertex3f(0.0f, -0.5f, 0.0f);
  glVertex3f(0.0f, 0.5f, 0.0f);
  glEnd();
}

void DrawShadedCubeGlyph(const unsigned char* colour) {
  // Each face counter-clockwise seen from outside: normal, then 4 corners.
  static const float faces[6][3][3] = {
      // normal, u axis, v axis; corners are normal/2 +- u/2 +- v/2
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
  static const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  glBegin(GL_QUADS);
  for (int f = 0; f < 6; ++f) {
    const float* n = faces[f][0];
    const float* u = faces[f][1];
    const float* v = faces[f][2];
    SetShade(colour, kCubeShade[f]);
    glNormal3fv(n);
    for (int c = 0; c < 4; ++c) {
      float p[3];
      for (int k = 0; k < 3; ++k) p[k] = 0.5f * (n[k] + corners[c][0] * u[k] + corners[c][1] * v[k]);
      glVertex3fv(p);
    }
  }
  glEnd();
}

void DrawShadedDiamondGlyph(const unsigned char* colour) {
  static const float equator[5][3] = {
      {0.5f, 0.0f, 0.0f}, {0.0f, 0.5f, 0.0f}, {-0.5f, 0.0f, 0.0f}, {0.0f, -0.5f, 0.0f}, {0.5f, 0.0f, 0.0f}};
  const float k = 0.57735027f;  // 1 / sqrt(3)
  glBegin(GL_TRIANGLES);
  for (int half = 0; half < 2; ++half) {
    const float apexZ = half == 0 ? 0.5f : -0.5f;
    for (int i = 0; i < 4; ++i) {
      const float* a = equator[i];
      const float* b = equator[i + 1];
      SetShade(colour, kDiamondShade[half * 4 + i]);
      glNormal3f((a[0] + b[0]) * 2.0f * k, (a[1] + b[1]) * 2.0f * k, half == 0 ? k : -k);
      if (half == 0) {
        glVertex3fv(a);
        glVertex3fv(b);
      } else {
        glVertex3fv(b);
        glVertex3fv(a);
      }
      glVertex3f(0.0f, 0.0f, apexZ);
    }
  }
  glEnd();
}

void DrawShadedCylinderGlyph(const unsigned char* colour) {
  glBegin(GL_QUADS);
  for (int i = 0; i < 8; ++i) {
    const float* a = kRing[i];
    const float* b = kRing[i + 1];
    SetShade(colour, kCylinderShade[i]);
    glNormal3f((a[0] + b[0]) * kSideNormal, (a[1] + b[1]) * kSideNormal, 0.0f);
    glVertex3f(a[0], a[1], -0.5f);
    glVertex3f(b[0], b[1], -0.5f);
    glVertex3f(b[0], b[1], 0.5f);
    glVertex3f(a[0], a[1], 0.5f);
  }
  glEnd();
  SetShade(colour, kCylinderTop);
  glBegin(GL_POLYGON);
  glNormal3f(0.0f, 0.0f, 1.0f);
  for (int i = 0; i < 8; ++i) glVertex3f(kRing[i][0], kRing[i][1], 0.5f);
  glEnd();
  SetShade(colour, kCylinderBottom);
  glBegin(GL_POLYGON);
  glNormal3f(0.0f, 0.0f, -1.0f);
  for (int i = 8; i > 0; --i) glVertex3f(kRing[i][0], kRing[i][1], -0.5f);
  glEnd();
}

void DrawShadedSphereGlyph(const unsigned char* colour) {
  const int bands = 6;
  const int sectors = 8;
  const double pi = 3.14159265358979323846;
  for (int b = 0; b < bands; ++b) {
    const double t0 = pi * b / bands;  // polar angle from +z
    const double t1 = pi * (b + 1) / bands;
    SetShade(colour, kSphereShade[b]);
    glBegin(GL_QUAD_STRIP);
    for (int s = 0; s <= sectors; ++s) {
      const double phi = 2.0 * pi * (s % sectors) / sectors;
      const float c = float(std::cos(phi)), sn = float(std::sin(phi));
      const float r0 = float(std::sin(t0)), z0 = float(std::cos(t0));
      const float r1 = float(std::sin(t1)), z1 = float(std::cos(t1));
      glNormal3f(r0 * c, r0 * sn, z0);
      glVertex3f(0.5f * r0 * c, 0.5f * r0 * sn, 0.5f * z0);
      glNormal3f(r1 * c, r1 * sn, z1);
      glVertex3f(0.5f * r1 * c, 0.5f * r1 * sn, 0.5f * z1);
    }
    glEnd();
  }
}
