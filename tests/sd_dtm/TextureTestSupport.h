#ifndef ORVANTA_TESTS_SD_DTM_TEXTURETESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_TEXTURETESTSUPPORT_H

// Textured test terrains: a checker image draped over a terrain with a gap
// (also used by the drawing and main-window tests).

#include <memory>
#include <vector>

#include "SonarTestSupport.h"
#include "Sd_TextureDTM.h"
#include "Sv_ImageIO.h"

namespace dtm_test {

// The checker: squares of 64 x 64 pixels, red where (column / 64 + row /
// 64) is even, blue elsewhere.
constexpr int kSquare = 64;
inline bool CheckerRed(int px, int py) { return (px / kSquare + py / kSquare) % 2 == 0; }

inline std::unique_ptr<Sv_ImageIO> MakeChecker(int width, int height) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      const bool red = CheckerRed(x, y);
      p[0] = red ? 230 : 30;
      p[1] = 30;
      p[2] = red ? 30 : 230;
    }
  }
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (image->SetData(width, height, rgb.data(), 1) != 0) return nullptr;
  return image;
}

// A textured terrain of n x n nodes with the test bounds, heights from fn,
// the nodes of rows [r0, r1] x columns [c0, c1] empty (code 0), under a
// width x height checker; grey colours (no colour record) when grey is set.
inline std::unique_ptr<Sd_TextureDTM> MakeTextured(int n, int width, int height, int r0, int r1, int c0, int c1,
                                                   unsigned short (*fn)(int, int, int, int) = HillCode,
                                                   bool grey = false) {
  std::unique_ptr<Sd_TextureDTM> dtm(new Sd_TextureDTM());
  if (dtm->CreateGrids(n, n) != 0) return nullptr;
  unsigned short** h = dtm->GetElevationGrid();
  unsigned int** colours = dtm->GetColorGrid();
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const bool gap = r >= r0 && r <= r1 && c >= c0 && c <= c1;
      h[r][c] = gap ? 0 : fn(r, c, n, n);
      colours[r][c] = PackColour((10 * c) & 255, (10 * r) & 255, 200, 255);
    }
  }
  if (grey) dtm->MakeGreyColours();
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, kXMin, kXMax);
  dtm->SetBounds(1, kYMin, kYMax);
  dtm->SetBounds(2, kZMin, kZMax);
  const float imageBounds[6] = {kXMin, kXMax, kYMin, kYMax, 0.0f, 0.0f};
  dtm->SetImageBounds(imageBounds);
  if (dtm->SetImage(MakeChecker(width, height)) != 0) return nullptr;
  return dtm;
}

}  // namespace dtm_test

#endif
