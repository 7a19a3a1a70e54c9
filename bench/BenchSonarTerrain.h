#ifndef ORVANTA_BENCHSONARTERRAIN_H
#define ORVANTA_BENCHSONARTERRAIN_H

// The smooth non-contiguous terrain the terrain analysis and terrain file
// benchmarks work on.

#include <cmath>
#include <memory>

#include "Sd_SonarDTM.h"
#include "Sv_Colour.h"

namespace orvanta_bench {

// A smooth terrain of side x side nodes over 20 x 20 km, heights -200 ...
// 800 m, every node a value (empty code 0), all grey; null when out of memory.
inline std::unique_ptr<Sd_SonarDTM> MakeSmoothSonar(int side) {
  std::unique_ptr<Sd_SonarDTM> dtm(new Sd_SonarDTM());
  if (dtm->CreateGrids(side, side) != 0) return nullptr;
  dtm->SetEmptyCode(0);
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, 500000.0f, 520000.0f);
  dtm->SetBounds(1, 6000000.0f, 6020000.0f);
  dtm->SetBounds(2, -200.0f, 800.0f);
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      const double x = static_cast<double>(c) / (side - 1) - 0.5, y = static_cast<double>(r) / (side - 1) - 0.5;
      const double v = 0.5 + 0.4 * std::sin(6.0 * x) * std::cos(5.0 * y);
      dtm->GetElevationGrid()[r][c] = static_cast<unsigned short>(1.0 + 65534.0 * v);
      dtm->GetColorGrid()[r][c] = PackColour(128, 128, 128, 255);
    }
  }
  return dtm;
}

}  // namespace orvanta_bench

#endif
