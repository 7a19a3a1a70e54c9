#ifndef ORVANTA_GLTESTFIXTURE_H
#define ORVANTA_GLTESTFIXTURE_H

// OpenGL test fixture: one compatibility-profile context per test process,
// drawing into a 256 x 256 framebuffer object with a 24-bit depth buffer.
//
// Usage (a test folder registered with orvanta_test(... LIBS <libs>
// orvanta_gltest GL OWN_MAIN); orvanta_gltest brings the main() that sets up
// the context around RUN_ALL_TESTS):
//
//   #include "GLTestFixture.h"
//   using orvanta_test::GLTest;
//   TEST_F(GLTest, SomethingDraws) {
//     SetPixelProjection();                 // 1 unit = 1 pixel, origin bottom left
//     glColor3ub(255, 0, 0);
//     ...draw...
//     EXPECT_EQ(ReadPixel(10, 10).r, 255);
//   }
//
// Every test starts with a cleared framebuffer (black, depth 1.0), identity
// projection and model-view matrices, the viewport on the whole framebuffer,
// depth test on (GL_LESS), lighting, colour material, lights 0 to 7, blending
// and texturing off, colour white. After every test the fixture expects no
// pending glGetError, the model-view and projection stacks at depth 1 and the
// attribute stacks empty. With ORVANTA_TEST_DUMP set, the picture is written
// as "<Suite>.<Test>.png" into $ORVANTA_TEST_OUT (or the working directory).
//
// Requires an X server (run under xvfb-run); QT_QPA_PLATFORM defaults to xcb.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>

namespace orvanta_test {

struct GLPixel {
  unsigned char r, g, b, a;
};

// A box of framebuffer pixels, inclusive; empty when nothing was found.
struct GLPixelBox {
  bool empty = true;
  int xMin = 0, yMin = 0, xMax = -1, yMax = -1;
  double CentreX() const { return 0.5 * (xMin + xMax); }
  double CentreY() const { return 0.5 * (yMin + yMax); }
};

class GLTest : public ::testing::Test {
 public:
  static constexpr int kWidth = 256;
  static constexpr int kHeight = 256;

  // Colour of a framebuffer pixel (origin bottom left). Outside the
  // framebuffer: all zero and a test failure.
  static GLPixel ReadPixel(int x, int y);
  // Depth in 0..1 of a framebuffer pixel; 1.0 where nothing was drawn.
  static float ReadDepth(int x, int y);
  // Luminance-like brightness (r + g + b) of a pixel.
  static int Brightness(int x, int y);
  // Smallest box holding every pixel whose r + g + b exceeds threshold.
  static GLPixelBox InkBox(int threshold = 0);
  // Number of pixels whose r + g + b exceeds threshold.
  static int CountInk(int threshold = 0);

  // Adds a failure for every pending GL error; returns true when there was none.
  static bool ExpectNoGLError(const char* where = "");
  static int ModelViewStackDepth();
  static int ProjectionStackDepth();

  // Projection glOrtho(0, width, 0, height, -1, 1) and identity model-view:
  // (x + 0.5, y + 0.5) is the centre of pixel (x, y).
  static void SetPixelProjection();
  // Clears colour (black) and depth (1.0).
  static void Clear();
  // Waits until drawing has finished.
  static void Finish();

  // Writes the current picture as <name>.png when ORVANTA_TEST_DUMP is set;
  // returns the path written, or "" when dumping is off or failed.
  static std::string DumpPNG(const std::string& name);

  // GL_VERSION of the context.
  static std::string GLVersion();

 protected:
  void SetUp() override;
  void TearDown() override;
};

// Runs the tests of a GL test binary: creates the application object and the
// context once, runs every test, tears them down. The main() of
// orvanta_gltest calls it.
int RunGLTests(int argc, char** argv);

}  // namespace orvanta_test

#endif
