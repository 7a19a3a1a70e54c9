// Terrain analysis of the non-contiguous DTM on a 4096 x 4096 grid with a
// query polygon of 100 vertices (a round shape with five shallow lobes, so
// somewhat concave) covering about half of it: building the polygon window
// and emptying the nodes outside it (ApplyQueryWindow), and the volume
// inside the window with partial cells sampled 8 x 8
// (GetGridVolumeWithWindow), each against one pass that sums the grid's
// codes, back to back in every iteration; the medians of the per-iteration
// ratios are reported.
//
// Targets: each costs at most 10 x the summing pass (apply_over_pass,
// volume_over_pass; ceilings in the "_target" counters). A binary search
// over the runs for every node and cell corner cannot meet that; walking
// each row's runs once can.
//
// ApplyQueryWindow is timed with the float height grid already built (the
// grid's codes are put back, untimed, before each call); building that grid
// (MakeFloatGrid, 64 MiB of fresh floats for this size) is reported on its
// own without a ceiling (float_grid_over_pass).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSonarTerrain.h"
#include "BenchSizes.h"
#include "Sd_PolygonWindow.h"
#include "Sd_SonarDTM.h"
#include "Sv_Colour.h"
#include "Sv_Workers.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

using orvanta_bench::MakeSmoothSonar;

// 100 vertices around the grid's centre, radius 0.398 of the side with
// lobes of 10 %: about half of the grid's area.
void SetHalfPolygon(Sd_SonarDTM* dtm) {
  const int n = 100;
  dtm->SetQueryPolygonSize(n);
  float *x = nullptr, *y = nullptr;
  dtm->GetQueryPolygon(&x, &y);
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * i / n;
    const double rad = 0.398 * (1.0 + 0.1 * std::sin(5.0 * a));
    x[i] = static_cast<float>(510000.0 + 20000.0 * rad * std::cos(a));
    y[i] = static_cast<float>(6010000.0 + 20000.0 * rad * std::sin(a));
  }
}

// One pass over the codes: their sum, in int per row (a row of 4096 codes
// cannot overflow it).
long long SumCodes(const Sd_SonarDTM& dtm) {
  long long sum = 0;
  unsigned short** codes = const_cast<Sd_SonarDTM&>(dtm).GetElevationGrid();
  for (int r = 0; r < dtm.GetRows(); ++r) {
    const unsigned short* row = codes[r];
    int part = 0;
    for (int c = 0; c < dtm.GetCols(); ++c) part += row[c];
    sum += part;
  }
  return sum;
}

struct Grids {
  std::vector<unsigned short> codes;
  std::vector<unsigned> colours;
  void Take(Sd_SonarDTM& d) {
    const size_t cols = static_cast<size_t>(d.GetCols());
    codes.resize(cols * d.GetRows());
    colours.resize(cols * d.GetRows());
    for (int r = 0; r < d.GetRows(); ++r) {
      memcpy(&codes[r * cols], d.GetElevationGrid()[r], cols * sizeof(unsigned short));
      memcpy(&colours[r * cols], d.GetColorGrid()[r], cols * sizeof(unsigned));
    }
  }
  void Restore(Sd_SonarDTM& d) const {
    const size_t cols = static_cast<size_t>(d.GetCols());
    for (int r = 0; r < d.GetRows(); ++r) {
      memcpy(d.GetElevationGrid()[r], &codes[r * cols], cols * sizeof(unsigned short));
      memcpy(d.GetColorGrid()[r], &colours[r * cols], cols * sizeof(unsigned));
    }
  }
};

void BM_QueryWindowOverPass(benchmark::State& state) {
  const int side = orvanta_bench::Size(4096, 64);
  std::unique_ptr<Sd_SonarDTM> dtm = MakeSmoothSonar(side);
  if (!dtm) {
    state.SkipWithError("no memory for the terrain");
    return;
  }
  SetHalfPolygon(dtm.get());
  Grids original;
  original.Take(*dtm);

  std::vector<double> applyRatio, volumeRatio, floatRatio, applyMs, volumeMs;
  double volume = 0.0;
  int runs = 0, partial = 0;
  for (auto _ : state) {
    state.PauseTiming();
    original.Restore(*dtm);
    state.ResumeTiming();

    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(SumCodes(*dtm));
    const auto t1 = Clock::now();
    if (dtm->MakeFloatGrid() != 0) {
      state.SkipWithError("no memory for the float grid");
      return;
    }
    const auto t2 = Clock::now();
    if (dtm->ApplyQueryWindow() != 1) {
      state.SkipWithError("the window was refused");
      return;
    }
    const auto t3 = Clock::now();
    volume = dtm->GetGridVolumeWithWindow(8);
    const auto t4 = Clock::now();
    const double pass = std::max(Seconds(t0, t1), 1e-9);
    floatRatio.push_back(Seconds(t1, t2) / pass);
    applyRatio.push_back(Seconds(t2, t3) / pass);
    volumeRatio.push_back(Seconds(t3, t4) / pass);
    applyMs.push_back(1e3 * Seconds(t2, t3));
    volumeMs.push_back(1e3 * Seconds(t3, t4));
    runs = dtm->GetPolygonWindow()->GetRunCount();
    partial = 0;
    for (int code = 1; code < 15; ++code) partial += dtm->GetCornerCount(code);
  }
  state.counters["apply_over_pass"] = Median(applyRatio);
  state.counters["apply_over_pass_target"] = 10.0;
  state.counters["volume_over_pass"] = Median(volumeRatio);
  state.counters["volume_over_pass_target"] = 10.0;
  state.counters["cores"] = sv_workers::ProcessorCount();
  state.counters["float_grid_over_pass"] = Median(floatRatio);
  state.counters["apply_ms"] = Median(applyMs);
  state.counters["volume_ms"] = Median(volumeMs);
  state.counters["runs"] = runs;
  state.counters["partial_cells"] = partial;
  state.counters["volume_km3"] = volume / 1e9;
}

const bool g_registered = orvanta_bench::RegisterFixedRuns({{"BM_QueryWindowOverPass", BM_QueryWindowOverPass}}, 7);

}  // namespace

ORVANTA_BENCH_MAIN()
