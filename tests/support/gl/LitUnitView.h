#ifndef ORVANTA_TESTS_SD_GL_LITUNITVIEW_H
#define ORVANTA_TESTS_SD_GL_LITUNITVIEW_H

// A GL test of objects drawn in the unit box, some of them lit: orthographic
// -1 ... 1 across the 256 x 256 framebuffer (128 pixels per unit, the box's
// centre at pixel (128, 128)) and depth -2 ... 2 (z maps to depth
// 0.5 - z / 4). Light() registers a light set with one white directional
// light, from the viewer unless told another direction; the scene's light
// set is unset again after each test.

#include <GL/gl.h>

#include <cstdlib>

#include "GLTestFixture.h"
#include "Sd_Node.h"
#include "Sv_Lighting.h"

namespace orvanta_test {

class LitUnitViewTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1, 1, -1, 1, -2, 2);
    glMatrixMode(GL_MODELVIEW);
  }
  void TearDown() override {
    Sd_Node::SetLighting(nullptr);
    GLTest::TearDown();
  }

  // The light shines from direction (x, y, z) in eye space.
  void Light(float x = 0.0f, float y = 0.0f, float z = 1.0f) {
    m_lights.SetLightModelAmbient(0.1f, 0.1f, 0.1f, 1.0f);
    m_lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 1.0f, 1.0f, 1.0f, 1.0f);
    m_lights.SetLightParam(1, SV_LIGHT_POSITION, x, y, z, 0.0f);
    m_lights.Apply();
    Sd_Node::SetLighting(&m_lights);
  }

  // Whether the pixel has the colour (r, g, b), each channel within
  // tolerance.
  static bool Is(const GLPixel& p, int r, int g, int b, int tolerance = 2) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
  }

  Sv_Lighting m_lights;
};

}  // namespace orvanta_test

#endif
