// Scalar volume: extracting the iso-surface of a 512^3 volume of smooth
// blobs (the full list, every cell) against one pass that sums the volume's
// samples, back to back in every iteration; the medians of the
// per-iteration ratios are reported.
//
// Targets: the extraction, on as many workers as the machine has cores,
// costs at most 64 / cores x the summing pass, and never more than 20 x
// (iso_over_sum, ceiling in iso_over_sum_target; 8 x with 8 cores; the
// cores in "cores", the workers in "workers"), and its working memory
// beyond the grids and the triangle list stays within a few slabs a worker:
// at most 4 planes of a whole-grid edge-vertex and gradient table (28 bytes
// a lattice point: three vertex pointers and a float), which a pass that
// keeps such tables for the whole grid needs 512 of (working_slabs, the
// working memory over the workers, ceiling in working_slabs_target).
// Working memory is the heap's peak during the pass less the heap after it
// (the pass's tables are released, the grids and the list stay): this
// program counts every block it allocates (the malloc family is replaced by
// counting wrappers around glibc's; not in sanitizer builds, which have
// their own allocator, and so report no memory).
//
// Also reported: samples and triangles per second of the extraction, the
// triangles and vertices made, the list's size, and the heap's peak during
// a pass (grids, list and working memory).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_Volume.h"
#include "Sv_Workers.h"

#include "BenchHeapWatch.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

// side^3 samples: six smooth blobs (sums of Gaussians) of radius side / 12
// to side / 5, from -60 in the empty space to +127 in their cores.
std::vector<signed char> Blobs(int side) {
  struct Blob {
    double c[3], r;
  };
  const Blob blobs[] = {{{0.30, 0.30, 0.35}, 0.16}, {{0.68, 0.35, 0.50}, 0.20}, {{0.50, 0.70, 0.40}, 0.12},
                        {{0.25, 0.72, 0.70}, 0.09}, {{0.75, 0.75, 0.75}, 0.14}, {{0.50, 0.40, 0.78}, 0.10}};
  // exp(-(d / r)^2) factorises per axis: one table per blob and axis.
  std::vector<std::vector<double>> axis(6 * 3, std::vector<double>(side));
  for (int b = 0; b < 6; ++b) {
    for (int a = 0; a < 3; ++a) {
      for (int n = 0; n < side; ++n) {
        const double d = (n + 0.5) / side - blobs[b].c[a];
        axis[3 * b + a][n] = std::exp(-(d * d) / (blobs[b].r * blobs[b].r));
      }
    }
  }
  std::vector<signed char> s(static_cast<size_t>(side) * side * side);
  size_t at = 0;
  for (int k = 0; k < side; ++k) {
    for (int i = 0; i < side; ++i) {
      for (int j = 0; j < side; ++j) {
        double v = 0.0;
        for (int b = 0; b < 6; ++b) v += axis[3 * b + 2][k] * axis[3 * b][i] * axis[3 * b + 1][j];
        s[at++] = static_cast<signed char>(std::clamp(std::lround(187.0 * v - 60.0), -128L, 127L));
      }
    }
  }
  return s;
}

// One pass summing every sample: the yardstick of the volume benchmarks.
// The sum in int per row (a row of 512 samples cannot overflow it), so the
// loop runs in vector registers.
void SumPass(const signed char* grid, size_t samples, int side) {
  long long sum = 0;
  for (size_t row = 0; row < samples; row += side) {
    int part = 0;
    for (int j = 0; j < side; ++j) part += grid[row + j];
    sum += part;
  }
  benchmark::DoNotOptimize(sum);
}

// The blobs volume of the benchmarks at iso-value 0.5 (the default, 150,
// builds nothing here), or null after telling state.
std::unique_ptr<Sd_Volume> BlobVolume(benchmark::State& state, int side) {
  auto volume = std::make_unique<Sd_Volume>();
  const std::vector<signed char> samples = Blobs(side);
  if (volume->SetSamples(side, side, side, samples.data()) != 0) {
    state.SkipWithError("no memory for the volume");
    return nullptr;
  }
  volume->SetIsoValue(0.0f);
  return volume;
}

void BM_IsoSurfaceOverSum(benchmark::State& state) {
  const int side = orvanta_bench::Size(512, 48);
  std::unique_ptr<Sd_Volume> volume = BlobVolume(state, side);
  if (!volume) return;
  const float iso = volume->GetSampleIsoValue();
  const int slices = volume->GetSlices();
  const signed char* grid = volume->GetWorkingGrid();
  const size_t samples = static_cast<size_t>(side) * side * slices;

  std::vector<double> ratio, isoSeconds, working;
  double passPeak = 0.0;
  size_t triangles = 0, vertices = 0, listBytes = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    SumPass(grid, samples, side);
    const Clock::time_point t1 = Clock::now();

    auto list = std::make_unique<Sd_IsoSurface>();
    const HeapMark heap;
    const Clock::time_point t2 = Clock::now();
    if (volume->BuildIsoSurface(list.get(), iso, side, side, slices, 1, 1, 1) != 0) {
      state.SkipWithError("extraction failed");
      return;
    }
    const Clock::time_point t3 = Clock::now();
    working.push_back(static_cast<double>(heap.Peak() - heap.Kept()));
    passPeak = std::max(passPeak, static_cast<double>(heap.before + heap.Peak()));
    triangles = list->TriangleCount();
    vertices = list->VertexCount();
    listBytes = list->Bytes();
    ratio.push_back(Seconds(t2, t3) / std::max(Seconds(t0, t1), 1e-9));
    isoSeconds.push_back(Seconds(t2, t3));
  }
  const double slab = 28.0 * side * side;
  const int cores = sv_workers::ProcessorCount();
  const int workers = sv_workers::WorkerCount(samples);
  state.counters["iso_over_sum"] = Median(ratio);
  state.counters["iso_over_sum_target"] = std::min(20.0, 64.0 / cores);
  state.counters["cores"] = cores;
  state.counters["workers"] = workers;
  state.counters["iso_ms"] = 1e3 * Median(isoSeconds);
  state.counters["samples_per_s"] = samples / Median(isoSeconds);
  state.counters["triangles_per_s"] = triangles / Median(isoSeconds);
  state.counters["triangles"] = static_cast<double>(triangles);
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["list_MiB"] = listBytes / (1024.0 * 1024.0);
  if (HeapWatched() && !working.empty()) {
    const double w = *std::max_element(working.begin(), working.end());
    state.counters["working_MiB"] = w / (1024.0 * 1024.0);
    state.counters["working_slabs"] = w / workers / slab;
    state.counters["working_slabs_target"] = 4.0;
  }
  state.counters["pass_peak_heap_MiB"] = passPeak / (1024.0 * 1024.0);
}
BENCHMARK(BM_IsoSurfaceOverSum)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// The measures of the region at or above the iso-value against one summing
// pass, same run: the sample count (ceiling 2) and the cell measure with one
// sub-sample a cut cell (ceiling 20); with 4 x 4 x 4 sub-samples reported.
void BM_MeasuresOverSum(benchmark::State& state) {
  const int side = orvanta_bench::Size(512, 48);
  std::unique_ptr<Sd_Volume> volume = BlobVolume(state, side);
  if (!volume) return;
  const size_t samples = static_cast<size_t>(side) * side * volume->GetSlices();
  std::vector<double> coarse, fine, sums;
  float v = 0, s = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    SumPass(volume->GetWorkingGrid(), samples, side);
    const Clock::time_point t1 = Clock::now();
    volume->GetCoarseIsoVolume(&v, &s);
    const Clock::time_point t2 = Clock::now();
    volume->GetIsoVolume(&v, &s, 1);
    const Clock::time_point t3 = Clock::now();
    const double sum = std::max(Seconds(t0, t1), 1e-9);
    sums.push_back(sum);
    coarse.push_back(Seconds(t1, t2) / sum);
    fine.push_back(Seconds(t2, t3) / sum);
  }
  const Clock::time_point t4 = Clock::now();
  volume->GetIsoVolume(&v, &s, 4);
  state.counters["sum_ms"] = 1e3 * Median(sums);
  state.counters["coarse_over_sum"] = Median(coarse);
  state.counters["coarse_over_sum_target"] = 2.0;
  state.counters["cells_n1_over_sum"] = Median(fine);
  state.counters["cells_n1_over_sum_target"] = 20.0;
  state.counters["cores"] = sv_workers::ProcessorCount();
  state.counters["cells_n4_over_sum"] = Seconds(t4, Clock::now()) / Median(sums);
}
BENCHMARK(BM_MeasuresOverSum)->Unit(benchmark::kMillisecond)->Iterations(3);

ORVANTA_BENCH_MAIN()
