// Terrain contouring: tracing 20 contour levels of a 4096 x 4096 terrain
// into one 3-D line set against one pass over the terrain's height codes.
//
// Target:
// - ContourRatio: the 20 levels cost at most 10 x one pass that reads every
//   code (contour_over_pass, ceiling in contour_over_pass_target). Scanning
//   every cell once per level cannot meet it (20 passes and more); the
//   levels are traced in one sweep that visits only the cells a level
//   crosses, and the line set keeps its bounds as lines are added.
// The pass and the contouring (on as many workers as the machine has cores,
// "cores") are timed back to back in every iteration, in wall-clock time
// (the workers' time does not show in the calling thread's processor time);
// the counters are the medians of the per-iteration spans and ratios.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_BasicDTM.h"
#include "Sd_Lines3D.h"
#include "Sv_Workers.h"

namespace {

// Wall-clock time, in seconds.
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Rolling hills on a slope: heights 0 ... 1000 m over 40 km, every node a
// height.
std::unique_ptr<Sd_BasicDTM> MakeTerrain(int n) {
  std::unique_ptr<Sd_BasicDTM> dtm(new Sd_BasicDTM());
  if (dtm->CreateGrids(n, n) != 0) return nullptr;
  unsigned short** h = dtm->GetElevationGrid();
  for (int r = 0; r < n; ++r) {
    const double y = static_cast<double>(r) / (n - 1);
    for (int c = 0; c < n; ++c) {
      const double x = static_cast<double>(c) / (n - 1);
      const double v = 0.5 + 0.25 * x + 0.12 * std::sin(9.0 * x + 2.0) * std::cos(7.0 * y) +
                       0.08 * std::sin(23.0 * y + 13.0 * x);
      h[r][c] = static_cast<unsigned short>(1.0 + 65534.0 * std::min(1.0, std::max(0.0, v)));
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, 0.0f, 40000.0f);
  dtm->SetBounds(1, 0.0f, 40000.0f);
  dtm->SetBounds(2, 0.0f, 1000.0f);
  return dtm;
}

void BM_ContourRatio(benchmark::State& state) {
  const int n = orvanta_bench::Size(4096, 256);
  auto dtm = MakeTerrain(n);
  if (!dtm) {
    state.SkipWithError("no memory for the terrain");
    return;
  }
  std::vector<float> levels;
  for (int k = 1; k <= 20; ++k) levels.push_back(47.5f * k);
  orvanta_bench::SpanPairs spans;
  long long lines = 0, vertices = 0;
  for (auto _ : state) {
    Sd_Lines3D set;
    const double t0 = WallSeconds();
    uint64_t sum = 0;
    unsigned short** h = dtm->GetElevationGrid();
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) sum += h[r][c];
    }
    benchmark::DoNotOptimize(sum);
    const double t1 = WallSeconds();
    dtm->ContourLevels(levels.data(), static_cast<int>(levels.size()), &set, 0);
    const double t2 = WallSeconds();
    spans.Add(t1 - t0, t2 - t1);
    lines = set.GetLineCount();
    vertices = set.GetSegmentCount() + lines;
  }
  state.counters["contour_over_pass"] = spans.Ratio();
  state.counters["contour_over_pass_target"] = 10.0;
  state.counters["cores"] = sv_workers::ProcessorCount();
  state.counters["pass_ms"] = spans.FirstMs();
  state.counters["contour_ms"] = spans.SecondMs();
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["vertices"] = static_cast<double>(vertices);
}

const bool registered = orvanta_bench::RegisterFixedRuns({{"BM_ContourRatio", BM_ContourRatio}}, 5);

}  // namespace

ORVANTA_BENCH_MAIN()
