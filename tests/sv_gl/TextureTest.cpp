#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>

#include "GLTestFixture.h"
#include "Sv_ImageIO.h"
#include "Sv_Texture.h"
#include "Sv_TextureUpload.h"
#include "TestSupport.h"

using orvanta_test::GLTest;

namespace {

// A 300 x 200 picture, red left of column 150 and blue from it on, as a
// PNG file.
std::string WritePicture(const orvanta_test::TempDir& dir) {
  Sv_ImageIO image;
  EXPECT_EQ(image.Allocate(300, 200, SV_2D_RGB), 0);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) image.GetRow(y)[3 * x + (x < 150 ? 0 : 2)] = 255;
  const std::string path = dir.file("picture.png");
  EXPECT_EQ(image.WriteImage(path.c_str(), SV_IMAGE_PNG), 0);
  return path;
}

GLint BoundTextureParameter(GLenum name) {
  GLint value = 0;
  if (name == GL_TEXTURE_WIDTH || name == GL_TEXTURE_HEIGHT) {
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
  } else {
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
  }
  return value;
}

// The whole framebuffer with texture coordinates 0 to 2 across: the
// picture twice, red, blue, red, blue in quarters.
void DrawTwiceAcross() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, 0.0f);
  glTexCoord2f(2.0f, 0.0f);
  glVertex2f(1.0f, 0.0f);
  glTexCoord2f(2.0f, 1.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(0.0f, 1.0f);
  glEnd();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void ExpectRepeatedPicture() {
  const int red[2] = {32, 160}, blue[2] = {96, 224};
  for (int k = 0; k < 2; ++k) {
    const orvanta_test::GLPixel r = GLTest::ReadPixel(red[k], 128), b = GLTest::ReadPixel(blue[k], 128);
    EXPECT_EQ(r.r * 65536 + r.g * 256 + r.b, 255 * 65536) << "column " << red[k];
    EXPECT_EQ(b.r * 65536 + b.g * 256 + b.b, 255) << "column " << blue[k];
  }
}

// A 300 x 200 image file becomes a 256 x 256 repeating texture at the first
// Apply; a context limit below that makes it smaller; a failed load keeps
// what the texture had; Free leaves nothing to apply.
TEST_F(GLTest, TextureFromFileIsAPowerOfTwoAndRepeats) {
  orvanta_test::TempDir dir;
  const std::string path = WritePicture(dir);
  Sv_Texture texture;
  ASSERT_EQ(texture.LoadTexture(path.c_str(), SV_2D_RGBA), 0);
  ASSERT_NE(texture.GetPixels(), nullptr);
  EXPECT_EQ(texture.GetPixels()->GetWidth(), 256);
  EXPECT_EQ(texture.GetPixels()->GetHeight(), 256);
  EXPECT_EQ(texture.GetPixels()->GetFormat(), SV_2D_RGBA);

  ASSERT_EQ(texture.Apply(GL_REPLACE), 0);
  EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WIDTH), 256);
  EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_HEIGHT), 256);
  EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(Sv_Texture::GetCurrent(), &texture);
  DrawTwiceAcross();
  ExpectRepeatedPicture();
  texture.Disable();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(Sv_Texture::GetCurrent(), nullptr);

  EXPECT_EQ(texture.LoadTexture(dir.file("missing.png").c_str(), SV_2D_RGBA), -1);
  ASSERT_NE(texture.GetPixels(), nullptr);

  {
    Sv_SetTextureSideCap(128);
    Sv_Texture smaller;
    ASSERT_EQ(smaller.LoadTexture(path.c_str(), SV_2D_RGBA), 0);
    Clear();
    ASSERT_EQ(smaller.Apply(GL_REPLACE), 0);
    Sv_SetTextureSideCap(0);
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WIDTH), 128);
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_HEIGHT), 128);
    DrawTwiceAcross();
    ExpectRepeatedPicture();
  }
  EXPECT_EQ(Sv_Texture::GetCurrent(), nullptr);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  GLint name = 0;
  ASSERT_EQ(texture.Apply(GL_MODULATE), 0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  texture.Free();
  EXPECT_FALSE(glIsTexture(static_cast<GLuint>(name)));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(texture.GetPixels(), nullptr);
  EXPECT_EQ(texture.Apply(GL_MODULATE), -1);
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace
