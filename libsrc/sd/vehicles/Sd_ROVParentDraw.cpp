// The ROV node's drawing: the vehicle and its marker line.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "Sd_ROVParent.h"
#include "Sv_Lighting.h"

namespace {

// The vehicle body: a unit cube about the origin, and its faces as corner
// indices after each face's normal.
const float kCorners[8][3] = {{-0.5f, -0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},  {0.5f, -0.5f, 0.5f},
                              {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}};
const struct {
  float normal[3];
  int corners[4];
} kFaces[6] = {{{0, 0, 1}, {0, 1, 2, 3}},  {{0, 0, -1}, {4, 5, 6, 7}}, {{-1, 0, 0}, {0, 4, 5, 1}},
               {{0, 1, 0}, {1, 5, 6, 2}},  {{1, 0, 0}, {2, 6, 7, 3}},  {{0, -1, 0}, {3, 7, 4, 0}}};

// Quadric divisions.
const int kSlices = 15, kStacks = 8, kLoops = 8;

// Whether v holds a number that a float can carry.
bool Drawable(double v) { return std::isfinite(static_cast<float>(v)); }

// Lighting and colour material through the scene's light set; without one
// the vehicle is drawn unlit.
void Lit(Sv_Lighting* lights, int on) {
  if (!lights) return;
  lights->SetLighting(on);
  lights->SetColorMaterial(on);
}

// A thruster or its end at (x, y, z): grey, turned along x, a cylinder
// when asked, a grey ring and a white cap.
void Thruster(GLUquadric* quadric, float x, float y, float z, bool withCylinder) {
  glPushMatrix();
  glTranslatef(x, y, z);
  glColor3f(0.5f, 0.5f, 0.5f);
  glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
  if (withCylinder) gluCylinder(quadric, 0.2, 0.2, 1.2, kSlices, kStacks);
  gluDisk(quadric, 0.1, 0.2, kSlices, kLoops);
  glColor3f(1.0f, 1.0f, 1.0f);
  gluDisk(quadric, 0.0, 0.1, kSlices, kLoops);
  glPopMatrix();
}

}  // namespace

void Sd_ROVParent::DrawOwn() {
  // One copy of the pose for the whole draw.
  if (!TakePose()) return;
  const Pose pose = m_pose;
  // The vehicle lives in the node's scaled frame; the group scales only
  // after this.
  glPushMatrix();
  glScalef(m_scale[0], m_scale[1], m_scale[2]);
  glColor3f(1.0f, 1.0f, 1.0f);
  DrawVehicle(pose);
  glPopMatrix();
}

void Sd_ROVParent::DrawVehicle(const Pose& pose) {
  const double* v = pose.v;
  // The place in the node's box: data coordinates normalised through the
  // node's bounds in coordinate mode 1, else the values as they stand.
  double p[3];
  for (int a = 0; a < 3; ++a) {
    p[a] = v[kPosition + a];
    if (v[kCoordinateMode] == 1.0) {
      const double lo = m_bounds[2 * a], hi = m_bounds[2 * a + 1];
      p[a] = (p[a] - lo) / (hi - lo) - 0.5;
    }
  }
  m_attitude.GetTransform(m_vehicleTransform, v[kAngles], v[kAngles + 1], v[kAngles + 2], p[0], p[1], p[2],
                          v[kVehicleScale]);
  m_vehicleTransform.Transpose();
  // Nothing of a pose that does not give finite numbers is drawn (an axis
  // without range in mode 1 divides by zero).
  bool drawable = Drawable(p[0]) && Drawable(p[1]) && Drawable(p[2]);
  for (int i = kScaleXYZ; i < kOffset + 3; ++i) drawable = drawable && Drawable(v[i]);
  for (int i = 0; i < 16; ++i) drawable = drawable && std::isfinite(m_vehicleTransform.GetData()[i]);
  if (!drawable) return;

  // The marker: a yellow vertical line through the whole box.
  glColor3f(1.0f, 1.0f, 0.0f);
  glBegin(GL_LINES);
  glVertex3d(p[0], p[1], -0.5);
  glVertex3d(p[0], p[1], 0.5);
  glEnd();

  Sv_Lighting* lights = GetLighting();
  Lit(lights, 1);
  glPushMatrix();
  GLUquadric* quadric = gluNewQuadric();
  glTranslated(v[kOffset], v[kOffset + 1], v[kOffset + 2]);
  m_vehicleTransform.GLMultMatrix();
  glScaled(v[kScaleXYZ], v[kScaleXYZ + 1], v[kScaleXYZ + 2]);
  glScalef(0.2f, 0.2f, 0.2f);
  glTranslatef(0.0f, 0.0f, 0.05f);

  if (quadric) {
    Thruster(quadric, -0.6f, 0.5f, -0.5f, true);
    Thruster(quadric, -0.6f, -0.5f, -0.5f, true);
    Thruster(quadric, 0.6f, -0.5f, -0.5f, false);
    Thruster(quadric, 0.6f, 0.5f, -0.5f, false);
    glPushMatrix();
    glColor3f(0.0f, 0.5f, 0.5f);
    glTranslatef(0.5f, 0.0f, 0.0f);
    gluSphere(quadric, 0.2, kSlices, kStacks);
    glPopMatrix();
  }

  Lit(lights, 1);
  glPushMatrix();
  glColor3f(0.0f, 0.7f, 0.8f);
  for (const auto& face : kFaces) {
    glNormal3fv(face.normal);
    glBegin(GL_POLYGON);
    for (int c : face.corners) glVertex3fv(kCorners[c]);
    glEnd();
  }
  glPopMatrix();
  Lit(lights, 0);

  glPopMatrix();
  if (quadric) gluDeleteQuadric(quadric);
  Lit(lights, 0);
}
