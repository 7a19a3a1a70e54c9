#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include "GLTestFixture.h"
#include "Sv_Lighting.h"

using orvanta_test::GLTest;

namespace {

void ExpectLight(GLenum light, GLenum pname, float r, float g, float b, float a) {
  GLfloat v[4] = {-9, -9, -9, -9};
  glGetLightfv(light, pname, v);
  EXPECT_NEAR(v[0], r, 1e-5f) << "light 0x" << std::hex << light << " param 0x" << pname;
  EXPECT_NEAR(v[1], g, 1e-5f) << "light 0x" << std::hex << light << " param 0x" << pname;
  EXPECT_NEAR(v[2], b, 1e-5f) << "light 0x" << std::hex << light << " param 0x" << pname;
  EXPECT_NEAR(v[3], a, 1e-5f) << "light 0x" << std::hex << light << " param 0x" << pname;
}

// The light set of the work area: a grey directional light from the right
// and slightly in front, on a dim ambient.
void SetUpLights(Sv_Lighting& lights) {
  lights.SetLightModelAmbient(0.1f, 0.1f, 0.1f, 1.0f);
  ASSERT_EQ(lights.SetLightParam(1, SV_LIGHT_AMBIENT, 0.1f, 0.1f, 0.1f, 1.0f), 0);
  ASSERT_EQ(lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 0.9f, 0.9f, 0.9f, 1.0f), 0);
  ASSERT_EQ(lights.SetLightParam(1, SV_LIGHT_POSITION, 1.0f, 0.0f, 0.5f, 0.0f), 0);
}

void DrawWhiteSphere() {
  glColor3ub(255, 255, 255);
  GLUquadric* q = gluNewQuadric();
  gluSphere(q, 1.0, 48, 24);
  gluDeleteQuadric(q);
}

// Projection in which the unit sphere at the origin fills the middle of the
// framebuffer: x = +-0.7 lands on pixels 187 and 68.
void SetSphereProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1.5, 1.5, -1.5, 1.5, -5.0, 5.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

}  // namespace

TEST_F(GLTest, LitSphereIsDarkerAwayFromTheLight) {
  SetSphereProjection();
  Sv_Lighting lights;
  SetUpLights(lights);
  lights.Apply();
  lights.SetLighting(1);
  lights.SetColorMaterial(1);
  DrawWhiteSphere();
  lights.SetColorMaterial(0);
  lights.SetLighting(0);
  const int towards = Brightness(187, 128);
  const int away = Brightness(68, 128);
  EXPECT_GT(towards, away + 300) << "towards " << towards << ", away " << away;
  EXPECT_GT(away, 0) << "the ambient light still shows the far side";
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
}

// The stored position is re-sent under the model-view matrix of the moment:
// turned half way round, the light comes from the left.
TEST_F(GLTest, ApplyLightPositionResendsPositionUnderCurrentMatrix) {
  SetSphereProjection();
  Sv_Lighting lights;
  SetUpLights(lights);
  lights.Apply();
  glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
  EXPECT_EQ(lights.ApplyLightPosition(1, SV_LIGHT_POSITION), 0);
  glLoadIdentity();
  ExpectLight(GL_LIGHT0, GL_POSITION, -1.0f, 0.0f, -0.5f, 0.0f);
  lights.SetLighting(1);
  lights.SetColorMaterial(1);
  DrawWhiteSphere();
  lights.SetColorMaterial(0);
  lights.SetLighting(0);
  EXPECT_GT(Brightness(68, 128), Brightness(187, 128) + 150);

  EXPECT_EQ(lights.ApplyLightPosition(0, SV_LIGHT_POSITION), -1);
  EXPECT_EQ(lights.ApplyLightPosition(9, SV_LIGHT_POSITION), -1);
  EXPECT_EQ(lights.ApplyLightPosition(2, SV_LIGHT_POSITION), -1) << "light 2 is not defined";
  EXPECT_EQ(lights.ApplyLightPosition(1, 12), -1);
}

TEST_F(GLTest, ApplySendsDefinedLightsAndEnablesOnlyThem) {
  Sv_Lighting lights;
  lights.SetLightModelAmbient(0.3f, 0.3f, 0.3f, 1.0f);
  lights.SetLightParam(3, SV_LIGHT_DIFFUSE, 0.5f, 0.6f, 0.7f, 1.0f);
  lights.SetLightParam(3, SV_LIGHT_POSITION, 1.0f, 0.0f, 0.0f, 0.0f);
  lights.SetLightParam(8, SV_LIGHT_AMBIENT, 0.2f, 0.2f, 0.2f, 1.0f);
  EXPECT_EQ(lights.IsLightDefined(3), 1);
  EXPECT_EQ(lights.IsLightDefined(1), 0);

  glRotatef(90.0f, 0.0f, 0.0f, 1.0f);  // positions are taken under the model-view
  lights.Apply();
  glLoadIdentity();

  GLfloat ambient[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
  EXPECT_NEAR(ambient[0], 0.3f, 1e-6f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT2));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT7));
  for (GLenum off : {GL_LIGHT1, GL_LIGHT3, GL_LIGHT4, GL_LIGHT5, GL_LIGHT6}) EXPECT_FALSE(glIsEnabled(off));
  ExpectLight(GL_LIGHT2, GL_DIFFUSE, 0.5f, 0.6f, 0.7f, 1.0f);
  ExpectLight(GL_LIGHT2, GL_AMBIENT, 0.0f, 0.0f, 0.0f, 1.0f);
  ExpectLight(GL_LIGHT2, GL_POSITION, 0.0f, 1.0f, 0.0f, 0.0f);
  ExpectLight(GL_LIGHT7, GL_AMBIENT, 0.2f, 0.2f, 0.2f, 1.0f);
  ExpectLight(GL_LIGHT7, GL_DIFFUSE, 0.0f, 0.0f, 0.0f, 1.0f);
  ExpectLight(GL_LIGHT7, GL_POSITION, 0.0f, 0.0f, 1.0f, 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << "Apply does not switch lighting";
}

TEST_F(GLTest, LightParamsOutOfRangeAreRefused) {
  Sv_Lighting lights;
  EXPECT_EQ(lights.SetLightParam(0, SV_LIGHT_DIFFUSE, 1, 1, 1, 1), -1);
  EXPECT_EQ(lights.SetLightParam(9, SV_LIGHT_DIFFUSE, 1, 1, 1, 1), -1);
  EXPECT_EQ(lights.SetLightParam(1, 12, 1, 1, 1, 1), -1);
  EXPECT_EQ(lights.IsLightDefined(1), 0);
  EXPECT_EQ(lights.IsLightDefined(0), 0);
  EXPECT_EQ(lights.IsLightDefined(99), 0);
  lights.Apply();
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(glIsEnabled(GLenum(GL_LIGHT0 + i)));
}

TEST_F(GLTest, LightingAndColourMaterialSwitchesRememberTheirFlag) {
  Sv_Lighting lights;
  EXPECT_EQ(lights.GetLighting(), 0);
  EXPECT_EQ(lights.GetColorMaterial(), 0);
  lights.SetLighting(1);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(lights.GetLighting(), 1);
  lights.SetLighting(2);  // only 1 switches on
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(lights.GetLighting(), 2);
  lights.SetColorMaterial(1);
  EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
  lights.SetColorMaterial(-1);
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_EQ(lights.GetColorMaterial(), -1);
}

TEST(LightingGlobal, GlobalPointerIsNullUntilSetAndClearedWithItsLightSet) {
  EXPECT_EQ(Sv_Lighting::GetGlobal(), nullptr);
  Sv_Lighting* lights = new Sv_Lighting();
  Sv_Lighting::SetGlobal(lights);
  EXPECT_EQ(Sv_Lighting::GetGlobal(), lights);
  {
    Sv_Lighting other;  // another light set going away leaves the global alone
  }
  EXPECT_EQ(Sv_Lighting::GetGlobal(), lights);
  delete lights;
  EXPECT_EQ(Sv_Lighting::GetGlobal(), nullptr);
}
