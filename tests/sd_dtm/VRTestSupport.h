#ifndef ORVANTA_TESTS_SD_DTM_VRTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_VRTESTSUPPORT_H

// VR terrains and texture images for the VR terrain tests (also included by
// the drawing and main-window tests).

#include <memory>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_VRDTM.h"
#include "Sv_ImageIO.h"

namespace vr_test {

// The no-data code of the test terrains.
constexpr unsigned short kNoData = 5;

inline unsigned Olive(int, int) { return PackColour(200, 180, 40, 255); }

// A VR terrain of rows x cols nodes with the test bounds, a flat height of
// 30000 but for a gentle rise along the rows, colours from colour, and the
// nodes of rows [r0, r1] x columns [c0, c1] without value (none when
// r1 < r0).
inline std::unique_ptr<Sd_VRDTM> MakeVR(int rows, int cols, int r0 = 0, int r1 = -1, int c0 = 0, int c1 = -1,
                                        unsigned (*colour)(int r, int c) = Olive) {
  std::unique_ptr<Sd_VRDTM> dtm(new Sd_VRDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  dtm->SetNoDataCode(kNoData);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const bool hole = r >= r0 && r <= r1 && c >= c0 && c <= c1;
      dtm->GetElevationGrid()[r][c] = hole ? kNoData : static_cast<unsigned short>(30000 + 10 * r);
      dtm->GetColorGrid()[r][c] = colour(r, c);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, dtm_test::kXMin, dtm_test::kXMax);
  dtm->SetBounds(1, dtm_test::kYMin, dtm_test::kYMax);
  dtm->SetBounds(2, dtm_test::kZMin, dtm_test::kZMax);
  return dtm;
}

// An RGBA PNG image of side x side pixels, a checkerboard of four squares:
// white at the bottom left and top right, black elsewhere.
inline bool WriteCheckerImage(const std::string& path, int side = 4) {
  Sv_ImageIO image;
  if (image.Allocate(side, side, SV_2D_RGBA) != 0) return false;
  unsigned char* p = image.GetData();
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x, p += 4) {
      const unsigned char v = (x < side / 2) == (y < side / 2) ? 255 : 0;
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  }
  return image.WriteImage(path.c_str(), SV_IMAGE_PNG) == 0;
}

}  // namespace vr_test

#endif
