#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sv_Matrix4.h"

using orvanta_test::GLTest;

namespace {

const float kQuadZ = 0.25f;

// Perspective camera and an object frame that is translated, turned about
// two axes and scaled unevenly; the unit quad at z = kQuadZ of that frame
// is drawn. Leaves the object frame on the model-view matrix.
void DrawQuadUnderKnownTransform() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, 1.0, 1.0, 20.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.3f, -0.2f, -6.0f);
  glRotatef(25.0f, 1.0f, 0.0f, 0.0f);
  glRotatef(-30.0f, 0.0f, 1.0f, 0.0f);
  glScalef(2.0f, 1.5f, 1.0f);
  glColor3ub(255, 255, 255);
  glBegin(GL_QUADS);
  glVertex3f(-0.5f, -0.5f, kQuadZ);
  glVertex3f(0.5f, -0.5f, kQuadZ);
  glVertex3f(0.5f, 0.5f, kQuadZ);
  glVertex3f(-0.5f, 0.5f, kQuadZ);
  glEnd();
}

struct Point3 {
  double x, y, z;
};

// The object-space point where the ray through the centre of pixel (px, py)
// meets the plane z = kQuadZ, from the current GL matrices.
Point3 RayHitOnQuadPlane(int px, int py) {
  GLdouble mv[16], pr[16];
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  Point3 a, b;
  gluUnProject(px + 0.5, py + 0.5, 0.0, mv, pr, vp, &a.x, &a.y, &a.z);
  gluUnProject(px + 0.5, py + 0.5, 1.0, mv, pr, vp, &b.x, &b.y, &b.z);
  const double t = (kQuadZ - a.z) / (b.z - a.z);
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), kQuadZ};
}

// Window position of an object-space point under the current GL matrices.
void Project(double x, double y, double z, int* px, int* py) {
  GLdouble mv[16], pr[16], wx, wy, wz;
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  gluProject(x, y, z, mv, pr, vp, &wx, &wy, &wz);
  *px = int(std::floor(wx));
  *py = int(std::floor(wy));
}

// Picks at (x, y) and expects a miss with the outputs at -1e10.
void ExpectMiss(DepthPicker& picker, int x, int y) {
  float wx = 0, wy = 0, wz = 0;
  EXPECT_EQ(picker.Pick(x, y, &wx, &wy, &wz), -1) << x << ", " << y;
  EXPECT_EQ(wx, -1e10f);
  EXPECT_EQ(wy, -1e10f);
  EXPECT_EQ(wz, -1e10f);
}

}  // namespace

TEST_F(GLTest, PickReturnsObjectPointOfQuadCentrePixel) {
  DrawQuadUnderKnownTransform();
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  DepthPicker picker{float(kWidth), float(kHeight)};
  ASSERT_EQ(picker.SetModelMatrix(modelView), 0);

  int cx = 0, cy = 0;
  Project(0.0, 0.0, kQuadZ, &cx, &cy);
  float wx = 0, wy = 0, wz = 0;
  ASSERT_EQ(picker.Pick(cx, cy, &wx, &wy, &wz), 0);
  const Point3 expect = RayHitOnQuadPlane(cx, cy);
  EXPECT_NEAR(wx, expect.x, 1e-3);
  EXPECT_NEAR(wy, expect.y, 1e-3);
  EXPECT_NEAR(wz, kQuadZ, 1e-3);
  EXPECT_LT(std::fabs(wx), 0.02);  // the centre pixel lies at the quad's centre
  EXPECT_LT(std::fabs(wy), 0.02);

  // Points across the quad, away from its edges.
  for (double u = -0.4; u <= 0.41; u += 0.2) {
    for (double v = -0.4; v <= 0.41; v += 0.2) {
      int px = 0, py = 0;
      Project(u, v, kQuadZ, &px, &py);
      ASSERT_EQ(picker.Pick(px, py, &wx, &wy, &wz), 0) << u << ", " << v;
      const Point3 e = RayHitOnQuadPlane(px, py);
      EXPECT_NEAR(wx, e.x, 1e-3);
      EXPECT_NEAR(wy, e.y, 1e-3);
      EXPECT_NEAR(wz, kQuadZ, 1e-3);
    }
  }
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(GLTest, PickMissesBackgroundAndPixelsOutsideTheWindow) {
  DrawQuadUnderKnownTransform();
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  DepthPicker picker{float(kWidth), float(kHeight)};
  picker.SetModelMatrix(modelView);
  float wx = 0, wy = 0, wz = 0;
  ASSERT_EQ(ReadDepth(2, 2), 1.0f);
  ExpectMiss(picker, 2, 2);
  ExpectMiss(picker, -1, 100);
  ExpectMiss(picker, 100, -1);
  ExpectMiss(picker, kWidth, 100);
  ExpectMiss(picker, 100, kHeight);

  // The window is the picker's size, not the framebuffer's.
  int cx = 0, cy = 0;
  Project(0.0, 0.0, kQuadZ, &cx, &cy);
  EXPECT_EQ(picker.Pick(cx, cy, &wx, &wy, &wz), 0);
  picker.SetSize(float(cx), float(kHeight));
  ExpectMiss(picker, cx, cy);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(GLTest, PickAfterSingularModelMatrixMisses) {
  DrawQuadUnderKnownTransform();
  int cx = 0, cy = 0;
  Project(0.0, 0.0, kQuadZ, &cx, &cy);
  glScalef(1.0f, 0.0f, 1.0f);
  Sv_Matrix4 flat;
  flat.LoadFromGL();
  DepthPicker picker{float(kWidth), float(kHeight)};
  EXPECT_EQ(picker.SetModelMatrix(flat), -1);
  ExpectMiss(picker, cx, cy);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

// Split-screen stereo draws and picks in the left half of the window: the
// un-projection follows the GL viewport.
TEST_F(GLTest, PickFollowsTheCurrentViewport) {
  glViewport(0, 0, kWidth / 2, kHeight);
  SetPixelProjection();  // x 0..256 squeezed into 128 pixels
  glTranslatef(100.0f, 80.0f, 0.0f);
  glBegin(GL_QUADS);
  glVertex3f(0, 0, 0);
  glVertex3f(60, 0, 0);
  glVertex3f(60, 40, 0);
  glVertex3f(0, 40, 0);
  glEnd();
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  DepthPicker picker{float(kWidth), float(kHeight)};
  picker.SetModelMatrix(modelView);
  float wx = 0, wy = 0, wz = 0;
  // Window pixel 65 spans eye x 130..132 (two units a pixel): its centre is
  // eye x 131, object x 31.
  ASSERT_EQ(picker.Pick(65, 100, &wx, &wy, &wz), 0);
  EXPECT_NEAR(wx, 131.0f - 100.0f, 1e-3);
  EXPECT_NEAR(wy, 100.5f - 80.0f, 1e-3);
  EXPECT_NEAR(wz, 0.0f, 1e-3);
  glLoadIdentity();
  glViewport(0, 0, kWidth, kHeight);
}

namespace {

// A square of pixels x0..x1-1, y0..y1-1 at depth z (pixel projection).
void DrawPixelSquare(int x0, int y0, int x1, int y1, float z) {
  glBegin(GL_QUADS);
  glVertex3f(float(x0), float(y0), z);
  glVertex3f(float(x1), float(y0), z);
  glVertex3f(float(x1), float(y1), z);
  glVertex3f(float(x0), float(y1), z);
  glEnd();
}

}  // namespace

TEST_F(GLTest, PickNearFindsHitBesideAnEdge) {
  SetPixelProjection();
  DrawPixelSquare(50, 50, 100, 100, 0.0f);
  DepthPicker picker{float(kWidth), float(kHeight)};
  double wx = 0, wy = 0, wz = 0;

  // On the square: the centre pixel itself.
  ASSERT_EQ(picker.PickNear(70, 60, &wx, &wy, &wz, 4), 0);
  EXPECT_NEAR(wx, 70.5, 1e-3);
  EXPECT_NEAR(wy, 60.5, 1e-3);
  EXPECT_NEAR(wz, 0.0, 1e-3);

  // One pixel right of the right edge (x = 99 is the last drawn column).
  ASSERT_EQ(ReadDepth(100, 75), 1.0f);
  ASSERT_EQ(picker.PickNear(100, 75, &wx, &wy, &wz, 1), 0);
  EXPECT_NEAR(wx, 99.5, 1e-3);
  EXPECT_NEAR(wy, 74.5, 1e-3);  // the first drawn pixel of the block, bottom row first
  EXPECT_NEAR(wz, 0.0, 1e-3);

  // One pixel below the bottom edge.
  ASSERT_EQ(picker.PickNear(75, 49, &wx, &wy, &wz, 1), 0);
  EXPECT_NEAR(wy, 50.5, 1e-3);

  // Two pixels away with a radius of 1: only background; outputs untouched.
  wx = wy = wz = 7.0;
  EXPECT_NE(picker.PickNear(101, 75, &wx, &wy, &wz, 1), 0);
  EXPECT_EQ(wx, 7.0);
  EXPECT_EQ(wy, 7.0);
  EXPECT_EQ(wz, 7.0);
  EXPECT_EQ(picker.PickNear(101, 75, &wx, &wy, &wz, 2), 0);
  EXPECT_NEAR(wx, 99.5, 1e-3);

  // Radius 0 and negative radii look at the pixel alone.
  EXPECT_NE(picker.PickNear(100, 75, &wx, &wy, &wz, 0), 0);
  EXPECT_NE(picker.PickNear(100, 75, &wx, &wy, &wz, -3), 0);
}

TEST_F(GLTest, PickNearUsesCurrentMatricesAndClipsToTheWindow) {
  SetPixelProjection();
  DrawPixelSquare(0, 0, 10, 10, 0.5f);
  DepthPicker picker{float(kWidth), float(kHeight)};
  double wx = 0, wy = 0, wz = 0;
  // The block around (-3, 5) reaches into the window at x = 0..1.
  ASSERT_EQ(picker.PickNear(-3, 5, &wx, &wy, &wz, 4), 0);
  EXPECT_NEAR(wx, 0.5, 1e-3);
  EXPECT_NEAR(wy, 1.5, 1e-3);
  EXPECT_NEAR(wz, 0.5, 1e-3);
  // Entirely outside, or a picker without a size.
  EXPECT_NE(picker.PickNear(-20, 5, &wx, &wy, &wz, 4), 0);
  EXPECT_NE(picker.PickNear(5, 100000, &wx, &wy, &wz, 4), 0);
  DepthPicker empty(0.0f, 0.0f);
  EXPECT_NE(empty.PickNear(5, 5, &wx, &wy, &wz, 4), 0);

  // Un-projection through the current model-view: an object frame shifted
  // by (5, 0, 0) sees the pixel centre at x - 5.
  glTranslatef(5.0f, 0.0f, 0.0f);
  ASSERT_EQ(picker.PickNear(3, 3, &wx, &wy, &wz, 0), 0);
  EXPECT_NEAR(wx, 3.5 - 5.0, 1e-3);
  EXPECT_NEAR(wy, 3.5, 1e-3);
  glLoadIdentity();

  // The viewport is the picker's, not GL's: a picker of half the width
  // stretches x by two.
  DepthPicker half{float(kWidth / 2), float(kHeight)};
  ASSERT_EQ(half.PickNear(3, 3, &wx, &wy, &wz, 0), 0);
  EXPECT_NEAR(wx, 7.0, 1e-3);
}
