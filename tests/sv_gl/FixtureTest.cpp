// Checks of the GL test fixture itself: every drawing test relies on it.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "GLTestFixture.h"
#include "Sv_Stdio.h"
#include "TestSupport.h"

using orvanta_test::GLTest;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;

TEST_F(GLTest, ContextIsCompatibilityProfileWithDepthBuffer) {
  const std::string version = GLVersion();
  EXPECT_NE(version.find("Compatibility"), std::string::npos) << version;
  GLint depthBits = 0, samples = -1;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  glGetIntegerv(GL_SAMPLES, &samples);
  EXPECT_GE(depthBits, 24);
  EXPECT_EQ(samples, 0);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], kWidth);
  EXPECT_EQ(viewport[3], kHeight);
}

TEST_F(GLTest, StartsClearedAndReadsBackColourAndDepth) {
  EXPECT_EQ(CountInk(), 0);
  EXPECT_EQ(ReadDepth(10, 10), 1.0f);
  SetPixelProjection();
  glColor3ub(10, 200, 30);
  glBegin(GL_QUADS);  // pixels 20..39 x 50..59 at depth 0.5 (z = 0)
  glVertex3f(20, 50, 0);
  glVertex3f(40, 50, 0);
  glVertex3f(40, 60, 0);
  glVertex3f(20, 60, 0);
  glEnd();
  const orvanta_test::GLPixel p = ReadPixel(25, 55);
  EXPECT_EQ(p.r, 10);
  EXPECT_EQ(p.g, 200);
  EXPECT_EQ(p.b, 30);
  EXPECT_NEAR(ReadDepth(25, 55), 0.5f, 1e-6f);
  EXPECT_EQ(ReadDepth(45, 55), 1.0f);
  const orvanta_test::GLPixelBox box = InkBox();
  ASSERT_FALSE(box.empty);
  EXPECT_EQ(box.xMin, 20);
  EXPECT_EQ(box.xMax, 39);
  EXPECT_EQ(box.yMin, 50);
  EXPECT_EQ(box.yMax, 59);
  EXPECT_EQ(CountInk(), 200);
}

TEST_F(GLTest, StackDepthHelpersFollowPushAndPop) {
  EXPECT_EQ(ModelViewStackDepth(), 1);
  EXPECT_EQ(ProjectionStackDepth(), 1);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glPushMatrix();
  EXPECT_EQ(ModelViewStackDepth(), 3);
  EXPECT_EQ(ProjectionStackDepth(), 2);
  glPopMatrix();
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_TRUE(ExpectNoGLError("balanced stacks"));
}

TEST_F(GLTest, DumpWritesPngOnlyWhenAsked) {
  TempDir dir;
  ScopedEnv out("ORVANTA_TEST_OUT", dir.path().c_str());
  {
    ScopedEnv off("ORVANTA_TEST_DUMP", nullptr);
    EXPECT_EQ(DumpPNG("nothing"), "");
    EXPECT_EQ(Sv_UtlFileExists(dir.file("nothing.png").c_str()), 0);
  }
  ScopedEnv on("ORVANTA_TEST_DUMP", "1");
  const std::string path = DumpPNG("picture/one");
  EXPECT_EQ(path, dir.file("picture_one.png"));
  const std::string bytes = orvanta_test::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
}
