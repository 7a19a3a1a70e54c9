#include <gtest/gtest.h>

#include <GL/gl.h>

#include "GLTestFixture.h"
#include "Sv_Matrix4.h"

using orvanta_test::GLTest;

namespace {

void ExpectSame(const float* a, const float* b, float tolerance, const char* what) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << what << ", element " << i;
}

}  // namespace

// The row-major builders, transposed, give what glRotatef leaves on the stack.
TEST_F(GLTest, SetRotationTransposedMatchesGlRotate) {
  const struct {
    int degrees;
    char axis;
    float x, y, z;
  } cases[] = {{30, 'x', 1, 0, 0}, {-75, 'y', 0, 1, 0}, {120, 'z', 0, 0, 1}, {90, 'Z', 0, 0, 1}, {400, 'X', 1, 0, 0}};
  for (const auto& c : cases) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(float(c.degrees), c.x, c.y, c.z);
    Sv_Matrix4 fromGL;
    fromGL.LoadFromGL();
    GLfloat raw[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, raw);
    ExpectSame(fromGL.GetMatrixPTR(), raw, 0.0f, "LoadFromGL copies the GL matrix as it stands");

    Sv_Matrix4 built;
    built.SetRotation(c.degrees, c.axis);
    built.Transpose();
    ExpectSame(built.GetMatrixPTR(), fromGL.GetMatrixPTR(), 1e-6f, "rotation");
  }
  glLoadIdentity();
}

// A composed transform: translate * rotate * scale built with the row-major
// builders equals the GL product after one transposition.
TEST_F(GLTest, ComposedBuildersMatchGlStack) {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1.5f, -2.0f, 3.0f);
  glRotatef(40.0f, 0.0f, 0.0f, 1.0f);
  glScalef(2.0f, 3.0f, 0.5f);
  Sv_Matrix4 fromGL;
  fromGL.LoadFromGL();

  Sv_Matrix4 t, r, s;
  t.SetTranslation(1.5, -2.0, 3.0);
  r.SetRotation(40, 'z');
  s.SetScale(2.0, 3.0, 0.5);
  Sv_Matrix4 built = t * r * s;
  built.Transpose();
  ExpectSame(built.GetMatrixPTR(), fromGL.GetMatrixPTR(), 1e-5f, "translate * rotate * scale");
  glLoadIdentity();
}

TEST_F(GLTest, GLLoadAndMultMatrixRoundTrip) {
  Sv_Matrix4 m;
  for (int i = 0; i < 16; ++i) m.GetMatrixPTR()[i] = float(i + 1) * 0.25f;

  glMatrixMode(GL_PROJECTION);
  m.GLLoadMatrix();
  Sv_Matrix4 back;
  back.LoadFromGL();  // reads the projection matrix in projection mode
  ExpectSame(back.GetMatrixPTR(), m.GetMatrixPTR(), 0.0f, "projection load");
  glLoadIdentity();

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -4.0f);
  Sv_Matrix4 before;
  before.LoadFromGL();
  m.GLMultMatrix();
  Sv_Matrix4 after;
  after.LoadFromGL();
  // GL multiplies column-major arrays: current = current * m. As row-major
  // objects the same arrays give transpose(m) * transpose(current), so
  // compare the transposed product.
  Sv_Matrix4 a = before, b = m;
  a.Transpose();
  b.Transpose();
  Sv_Matrix4 expect = a * b;
  expect.Transpose();
  ExpectSame(after.GetMatrixPTR(), expect.GetMatrixPTR(), 1e-5f, "glMultMatrix");
  glLoadIdentity();
}
