#ifndef ORVANTA_TESTS_SD_DTM_SONARTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_SONARTESTSUPPORT_H

// Non-contiguous test terrains (also used by the drawing tests in
// sd_dtm_gl and by the corpus seeds).

#include <memory>
#include <string>

#include "DTMTestSupport.h"
#include "Sd_SonarDTM.h"

namespace dtm_test {

// The empty code of the test terrains (not 0, so that code 0 is a height).
constexpr unsigned short kEmpty = 7;

// A non-contiguous DTM of rows x cols nodes with the test bounds, heights
// from fn (kEmpty bumped to kEmpty + 1), colour (10 c, 10 r, 200) at node
// (r, c), and the nodes of rows [r0, r1] x columns [c0, c1] empty (no gap
// when r1 < r0).
inline std::unique_ptr<Sd_SonarDTM> MakeSonar(int rows, int cols, int r0 = 0, int r1 = -1, int c0 = 0, int c1 = -1,
                                              unsigned short (*fn)(int, int, int, int) = HillCode) {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  if (dtm->CreateGrids(rows, cols) != 0) return nullptr;
  dtm->SetEmptyCode(kEmpty);
  unsigned short** h = dtm->GetElevationGrid();
  unsigned int** colours = dtm->GetColorGrid();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      unsigned short code = fn(r, c, rows, cols);
      if (code == kEmpty) ++code;
      const bool gap = r >= r0 && r <= r1 && c >= c0 && c <= c1;
      h[r][c] = gap ? kEmpty : code;
      colours[r][c] = PackColour((10 * c) & 255, (10 * r) & 255, 200, 255);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, kXMin, kXMax);
  dtm->SetBounds(1, kYMin, kYMax);
  dtm->SetBounds(2, kZMin, kZMax);
  return dtm;
}

// Alternate values of a test terrain: code 1000 (r + 1) + c, range
// [-50, 150].
inline bool AddAltValues(Sd_SonarDTM* dtm) {
  unsigned short** alt = dtm->AllocAltValues(dtm->GetRows(), dtm->GetCols());
  if (!alt) return false;
  for (int r = 0; r < dtm->GetRows(); ++r) {
    for (int c = 0; c < dtm->GetCols(); ++c) alt[r][c] = static_cast<unsigned short>(1000 * (r + 1) + c);
  }
  dtm->SetAltRange(-50.0, 150.0);
  return true;
}

}  // namespace dtm_test

#endif
