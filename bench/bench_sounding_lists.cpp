// Sounding editing tools: ThinSoundings and FindSpikes on 10 million HTF
// soundings (the survey of bench_sounding: lines 2 m apart, 1 m along each
// line, depths rolling between 40 and 60 m, every 31st rejected, about 10
// soundings a cell), against one pass over the soundings' z in the same
// run.
//
// Targets: each tool takes at most 10 times the pass over z. The ratios are
// the medians of the per-iteration ratios (the alternatives timed back to
// back), each next to a counter of the same name with "_target" appended
// holding its ceiling. The thinning runs with blocks of one cell and the
// default radius (1000 m), the spike search with the default threshold and
// cluster radius; a shallow spike is planted in every 50th cell so that the
// search has candidates to peel and prune.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_HTFSounding.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Seconds;

Sd_HTFSounding& Survey() {
  static std::unique_ptr<Sd_HTFSounding> set;
  if (set) return *set;
  const int n = orvanta_bench::Size(10000000, 20000);
  const int perLine = 5000;
  std::vector<HTFSndRecord> r(static_cast<size_t>(n), HTFSndRecord{});
  for (int i = 0; i < n; ++i) {
    HTFSndRecord& s = r[static_cast<size_t>(i)];
    s.id = i;
    s.x = 500000.0 + i % perLine;
    s.y = 6000000.0 + 2.0 * (i / perLine);
    s.depth = 40.0f + 20.0f * static_cast<float>((7919LL * i) % 1000) / 1000.0f;
    if (i % 499 == 0) s.depth = 5.0f;
    s.z = -s.depth;
    s.flags = static_cast<unsigned char>(i % 31 == 0 ? HTF_REJECTED_FLAG : HTF_PLOTTED_FLAG);
  }
  set.reset(new Sd_HTFSounding());
  if (set->SetSoundings(r.data(), n) != 0) abort();
  set->SetCellSize(std::sqrt(20.0f));
  if (set->UpdateCellStatistics(1) != 0) abort();
  return *set;
}

double PassOverZ(const Sd_HTFSounding& set) {
  const HTFSndRecord* r = set.GetRecords();
  double sum = 0.0;
  for (int i = 0; i < set.GetSoundingCount(); ++i) sum += r[i].z;
  return sum;
}

void ToolRatio(benchmark::State& state, bool spikes) {
  Sd_HTFSounding& set = Survey();
  std::vector<double> ratios, tool, pass;
  int marked = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(PassOverZ(set));
    const auto t1 = Clock::now();
    if (spikes) {
      set.FindSpikes();
    } else {
      set.ThinSoundings();
    }
    const auto t2 = Clock::now();
    set.GetMarkedList(&marked);
    ratios.push_back(Seconds(t1, t2) / Seconds(t0, t1));
    tool.push_back(Seconds(t1, t2));
    pass.push_back(Seconds(t0, t1));
  }
  state.counters["tool_over_z_pass"] = orvanta_bench::Median(ratios);
  state.counters["tool_over_z_pass_target"] = 10.0;
  state.counters["tool_s"] = orvanta_bench::Median(tool);
  state.counters["z_pass_s"] = orvanta_bench::Median(pass);
  state.counters["marked"] = marked;
}

void BM_ThinSoundings(benchmark::State& state) { ToolRatio(state, false); }
void BM_FindSpikes(benchmark::State& state) { ToolRatio(state, true); }

const bool g_registered =
    orvanta_bench::RegisterFixedRuns({{"BM_ThinSoundings", BM_ThinSoundings}, {"BM_FindSpikes", BM_FindSpikes}}, 5);

}  // namespace

ORVANTA_BENCH_MAIN()
