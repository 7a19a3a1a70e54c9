#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "GLTestFixture.h"
#include "Sv_GLRaster.h"
#include "TestSupport.h"

using orvanta_test::GLTest;

namespace {

// A scene of flat rectangles on pixel edges, seen through the part x0 .. x1
// of the framebuffer's width (in pixels) into the current viewport.
void DrawScene(double x0, double x1) {
  glClearColor(0.0f, 0.0f, 0.4f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(x0, x1, 0.0, GLTest::kHeight, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glColor3ub(255, 0, 0);
  glRecti(20, 30, 200, 100);
  glColor3ub(0, 255, 0);
  glRecti(100, 80, 240, 220);
  glColor3ub(255, 255, 255);
  glRecti(127, 0, 129, 256);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

// The scene drawn in two halves through a half-width viewport and read at
// (0, 0) and (w, 0) is the scene drawn whole; a viewport that does not fit
// at its destination fills only what lies inside the image.
TEST_F(GLTest, ViewportReadsTileOneImageAndAreClipped) {
  const int w = kWidth / 2, h = kHeight;
  DrawScene(0.0, kWidth);
  std::vector<unsigned char> whole(static_cast<size_t>(kWidth) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, h, GL_RGBA, GL_UNSIGNED_BYTE, whole.data());

  Sv_GLRaster raster(2 * w, h, nullptr, SV_2D_RGBA);
  ASSERT_EQ(raster.GetWidth(), 2 * w);
  glViewport(0, 0, w, h);
  DrawScene(0.0, w);
  ASSERT_EQ(raster.LoadFromViewport(0, 0), 0);
  DrawScene(w, 2.0 * w);
  ASSERT_EQ(raster.LoadFromViewport(w, 0), 0);
  EXPECT_EQ(std::memcmp(raster.GetData(), whole.data(), whole.size()), 0);

  // Clipping: the viewport (w x h, red) read at (150, 100) into a 200 x 150
  // image, then at (-100, -120); pixels outside stay as they were.
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  std::vector<unsigned char> marked(200 * 150 * 4, 7);
  Sv_GLRaster target(200, 150, marked.data(), SV_2D_RGBA);
  ASSERT_EQ(target.LoadFromViewport(150, 100), 0);
  ASSERT_EQ(target.LoadFromViewport(-100, -120), 0);
  ASSERT_EQ(target.LoadFromViewport(200, 0), 0);  // nothing of it inside
  int wrong = 0;
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 200; ++x) {
      const bool read = (x >= 150 && y >= 100) || (x < w - 100 && y < h - 120);
      const unsigned char* p = target.GetRow(y) + 4 * x;
      const bool ok = read ? p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255
                           : p[0] == 7 && p[1] == 7 && p[2] == 7 && p[3] == 7;
      if (!ok && ++wrong <= 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ") read " << read;
    }
  }
  glViewport(0, 0, kWidth, kHeight);

  orvanta_test::MessageCapture messages;  // "Bad raster size"
  Sv_GLRaster empty(0, 0, nullptr, SV_2D_RGBA);
  EXPECT_EQ(empty.LoadFromViewport(0, 0), -1);
}

}  // namespace
