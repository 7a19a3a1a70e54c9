#ifndef ORVANTA_TESTS_SD_DTM_PLOTTESTSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_PLOTTESTSUPPORT_H

// Surface plots and spectra for the plot tests (also included by the
// drawing and main-window tests).

#include <memory>

#include "DTMTestSupport.h"
#include "Sd_SurfacePlot.h"

namespace plot_test {

// Left half of the columns red, right half blue.
inline unsigned Halves(int, int c, int cols) {
  return c < cols / 2 ? PackColour(230, 20, 20, 255) : PackColour(20, 20, 230, 255);
}

// A plot of kind T of rows x cols nodes with the test bounds, a flat
// surface at code 20000 rising to 40000 along the rows, colours from
// colour, texts and ranges.
template <class T>
std::unique_ptr<T> MakePlot(int rows, int cols, unsigned (*colour)(int r, int c, int cols) = Halves) {
  std::unique_ptr<T> plot(new T());
  if (plot->CreateGrids(rows, cols) != 0) return nullptr;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      plot->GetElevationGrid()[r][c] = static_cast<unsigned short>(20000 + 20000 * r / (rows - 1));
      plot->GetColorGrid()[r][c] = colour(r, c, cols);
    }
  }
  plot->SetCodeRange(1, 65535);
  plot->SetBounds(0, dtm_test::kXMin, dtm_test::kXMax);
  plot->SetBounds(1, dtm_test::kYMin, dtm_test::kYMax);
  plot->SetBounds(2, dtm_test::kZMin, dtm_test::kZMax);
  plot->SetText(Sd_PlotDTM::kTitle, "Power");
  plot->SetText(Sd_PlotDTM::kXLabel, "Hz");
  plot->SetText(Sd_PlotDTM::kYLabel, "Time");
  plot->SetText(Sd_PlotDTM::kZLabel, "dB");
  plot->SetRange(0, 1.0, 1000.0);
  plot->SetRange(1, -2.5, 7.5);
  plot->SetRange(2, 0.0, 60.0);
  return plot;
}

}  // namespace plot_test

#endif
