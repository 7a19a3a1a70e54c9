// Surface series: loading a series of 32 frames of 1024 x 1024 nodes
// through the object factory against one fread of the file's bytes, and the
// heap the loaded series keeps.
//
// Targets: a load takes at most twice the fread of the file (in the page
// cache) into a buffer that is already paged in (load_over_fread, ceiling in
// load_over_fread_target; the median of the per-iteration ratios), and the
// series keeps at most 1.25 x frames x rows x cols x 6 bytes of heap
// (heap_over_6_bytes_a_node, ceiling in heap_over_6_bytes_a_node_target).
// The heap is counted by this program's malloc wrappers (not in sanitizer
// builds, which then report no heap figures).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "BenchMain.h"
#include "BenchLoad.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_SurfaceSeries.h"

#include "BenchHeapWatch.h"

namespace {

struct Shape {
  int frames, side;
  double Nodes() const { return static_cast<double>(frames) * side * side; }
};

Shape TheShape() { return {orvanta_bench::Size(32, 4), orvanta_bench::Size(1024, 64)}; }

// A rolling swell that moves from frame to frame, a few empty nodes, a
// colour ramp per frame; written once.
orvanta_bench::SDFile& TheFile() {
  static std::unique_ptr<orvanta_bench::SDFile> file = [] {
    Sd_RegisterAllClasses();
    const Shape s = TheShape();
    Sd_SurfaceSeries series;
    if (series.AllocateFrames(s.frames, s.side, s.side) != 0) abort();
    for (int f = 0; f < s.frames; ++f) {
      for (int r = 0; r < s.side; ++r) {
        unsigned short* h = series.FrameHeights(f, r);
        unsigned int* c = series.FrameColours(f, r);
        for (int k = 0; k < s.side; ++k) {
          const int wave = (r * 7 + k * 3 + f * 97) & 0x3FFF;
          h[k] = (r + k) % 97 == 0 ? 0 : static_cast<unsigned short>(1 + 20000 + 2 * wave);
          c[k] = PackColour(static_cast<unsigned>(wave) & 255u, 128, static_cast<unsigned>(f * 8) & 255u, 255);
        }
      }
    }
    series.SetBounds(0, 500000.0f, 510000.0f);
    series.SetBounds(1, 6200000.0f, 6210000.0f);
    series.SetBounds(2, -50.0f, 10.0f);
    return std::make_unique<orvanta_bench::SDFile>("series", series);
  }();
  return *file;
}

void BM_SeriesLoadOverFread(benchmark::State& state) {
  orvanta_bench::SDFile& file = TheFile();
  orvanta_bench::LoadOverFreadBody(state, file.path, file.bytes);
  state.counters["file_MiB"] = file.bytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_SeriesLoadOverFread)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SeriesHeap(benchmark::State& state) {
  orvanta_bench::SDFile& file = TheFile();
  long long kept = 0;
  for (auto _ : state) {
    const HeapMark mark;
    Sd_Node* root = orvanta_bench::LoadThroughFactory(file.path);
    kept = std::max(kept, mark.Kept());
    if (!root) state.SkipWithError("load failed");
    Sd_GroupNode::DeleteTree(root);
  }
  if (HeapWatched()) {
    state.counters["heap_over_6_bytes_a_node"] = kept / (6.0 * TheShape().Nodes());
    state.counters["heap_over_6_bytes_a_node_target"] = 1.25;
    state.counters["heap_MiB"] = kept / (1024.0 * 1024.0);
  }
}
BENCHMARK(BM_SeriesHeap)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

ORVANTA_BENCH_MAIN()
