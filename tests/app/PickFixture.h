#ifndef ORVANTA_PICKFIXTURE_H
#define ORVANTA_PICKFIXTURE_H

// The shown work area with a scene of known geometry for the picking,
// selection and mouse-tool tests.
//
// Scene: three pick tiles side by side, together 500000 ... 501000 east and
// 6000000 ... 6001000 north (a projected scene): blue west (x < 500250,
// heights -10 ... 0), red in the middle (-20 ... 0), green east
// (x > 500750, -40 ... 0). Each tile lies at the middle of its height range.
// The test overlay looks straight down at the scene in the window plane,
// which fills 120 pixels of the 200 x 150 view, so one pixel is 1000 / 120 m and the view's centre
// (100, 75) lies over the scene's centre. Pixel columns: blue 40-69, red
// 70-129, green 130-159; rows 15-134.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "PickTestSupport.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

namespace pick_test {

// Metres per pixel and the data point under the centre of pixel (px, py).
constexpr double kMetresPerPixel = 1000.0 / 120.0;
inline double DataX(int px) { return 500500.0 + (px + 0.5 - 100.0) * kMetresPerPixel; }
inline double DataY(int py) { return 6000500.0 + (py + 0.5 - 75.0) * kMetresPerPixel; }

// The shown work area with the scene in the window plane, where display
// units are pixels: the point marker's arms are 75 pixels long.
class PickFixture : public workarea_test::ShownAreaFixture<PickArea, PickTileClasses> {
 protected:
  PickFixture() : ShownAreaFixture(0.0) {}

  // A shown work area (stereo kind given for split-screen tests) with the
  // scene (the tile scene unless another file is given) loaded and the
  // picture finished.
  void Make(int width = 200, int height = 150, int stereoMode = 0, const std::string& file = "") {
    ShownAreaFixture::Make(width, height, stereoMode, file.empty() ? scene : file);
  }

  // The tiles in file order: red, green, blue.
  PickTile* TileAt(int i) { return static_cast<PickTile*>(workarea_test::Children(area->GetRoot()).at(i)); }

  // The whole picture (RGBA rows from the bottom).
  std::vector<unsigned char> Grab() {
    area->makeCurrent();
    const int w = area->GetWidth();
    const int h = area->GetHeight();
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }

  orvanta_apptest::Rgb PixelAt(int x, int y) {
    area->makeCurrent();
    return orvanta_apptest::ReadPixel(x, y);
  }
};

inline bool IsWhite(const orvanta_apptest::Rgb& p) { return p.r == 255 && p.g == 255 && p.b == 255; }
inline bool IsBlack(const orvanta_apptest::Rgb& p) { return p.r == 0 && p.g == 0 && p.b == 0; }

// Number of pixels in which two pictures differ.
inline int Differences(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (size_t i = 0; i + 3 < a.size(); i += 4) {
    if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) ++n;
  }
  return n;
}

}  // namespace pick_test

#endif
