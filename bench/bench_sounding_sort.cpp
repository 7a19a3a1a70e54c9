// Sounding data sets: re-ordering the selection window's list of 10 million
// FSD soundings by z (a double) and by their frame's id (an integer reached
// through the frame table), against std::sort of the same keys gathered
// into one array beforehand.
//
// Target: SortRecords takes at most 1.5 times the std::sort, for either
// key, although it also gathers the keys from the records. Every iteration
// puts the list back into the order the window listed it in (cell by cell,
// each cell's soundings by falling z) and orders it by the other key, as a
// list stands when it is sorted anew; then it gathers the keys for
// std::sort untimed and times std::sort and SortRecords back to back. The
// counters are the medians of the per-iteration ratios, each with its
// ceiling as a counter of the same name with "_target" appended.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_Sounding.h"

namespace {

using orvanta_bench::Clock;

// The data set with access to the window's list.
struct Survey : Sd_Sounding {
  std::vector<int>& List() { return m_selection.Indices(); }
};

// n soundings on survey lines 2 m apart, 1 m along each line, depths
// random between 20 and 60 m, 100 soundings a frame and frames with ids in
// random order; cells so large that the window of radius 1 round the grid's
// middle cell holds them all.
struct Data {
  std::unique_ptr<Survey> set;
  std::vector<int> listed;  // the list as the window made it

  Data() : set(new Survey()) {
    const int n = orvanta_bench::Size(10000000, 20000);
    const int perLine = orvanta_bench::Size(5000, 200);
    const int frames = (n + 99) / 100;
    std::mt19937 random(17);
    std::vector<FsdFrameRecord> frame(static_cast<size_t>(frames), FsdFrameRecord{});
    std::vector<int> ids(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) ids[static_cast<size_t>(i)] = i;
    std::shuffle(ids.begin(), ids.end(), random);
    for (int i = 0; i < frames; ++i) frame[static_cast<size_t>(i)].id = ids[static_cast<size_t>(i)];
    std::vector<FsdSndRecord> r(static_cast<size_t>(n), FsdSndRecord{});
    std::uniform_real_distribution<float> depth(20.0f, 60.0f);
    const int lines = (n + perLine - 1) / perLine;
    for (int i = 0; i < n; ++i) {
      FsdSndRecord& s = r[static_cast<size_t>(i)];
      s.id = i;
      s.frameIdx = i / 100;
      s.x = 500000.0 + i % perLine;
      s.y = 6000000.0 + 2.0 * (i / perLine);
      s.depth = -depth(random);
      s.nbaDepth = s.depth;
      s.z = s.depth;
    }
    if (set->SetFrames(frame.data(), frames) != 0 || set->SetSoundings(r.data(), n) != 0) abort();
    std::vector<FsdSndRecord>().swap(r);
    // Three cells across the data's longer side.
    set->SetCellSize(static_cast<float>(std::max(perLine, 2 * lines)) / 2.5f);
    if (set->UpdateCellStatistics(0) != 0) abort();
    set->SelectWindow(set->GetRows() / 2, set->GetCols() / 2, 0);
    listed = set->List();
    if (static_cast<int>(listed.size()) != n) abort();
  }
};

Data& TheData() {
  static Data data;
  return data;
}

// key's value of sounding i, as std::sort is given it.
template <class Key>
void SortRatio(benchmark::State& state, int key, int earlierKey, Key keyOf) {
  Data& d = TheData();
  const Sd_Sounding& set = *d.set;
  orvanta_bench::SpanPairs spans;
  using Value = decltype(keyOf(set, 0));
  std::vector<Value> keys(d.listed.size());
  for (auto _ : state) {
    d.set->List() = d.listed;
    d.set->SortRecords(earlierKey, 1);
    const std::vector<int>& list = d.set->List();
    for (size_t k = 0; k < keys.size(); ++k) keys[k] = keyOf(set, list[k]);
    const auto t0 = Clock::now();
    std::sort(keys.begin(), keys.end());
    const auto t1 = Clock::now();
    d.set->SortRecords(key, 1);
    spans.Add(t0, t1, Clock::now());
    benchmark::DoNotOptimize(keys.data());
  }
  state.counters["sort_records_over_std_sort"] = spans.Ratio();
  state.counters["sort_records_over_std_sort_target"] = 1.5;
  state.counters["std_sort_ms"] = spans.FirstMs();
  state.counters["sort_records_ms"] = spans.SecondMs();
  state.counters["soundings"] = static_cast<double>(keys.size());
}

void BM_SortSoundingsByZ(benchmark::State& state) {
  SortRatio(state, 30, 32, [](const Sd_Sounding& s, int i) { return s.GetRecords()[i].z; });
}

void BM_SortSoundingsByFrameId(benchmark::State& state) {
  SortRatio(state, 32, 30, [](const Sd_Sounding& s, int i) { return s.GetFrames()[s.GetRecords()[i].frameIdx].id; });
}

const bool g_registered = orvanta_bench::RegisterFixedRuns(
    {{"BM_SortSoundingsByZ", BM_SortSoundingsByZ}, {"BM_SortSoundingsByFrameId", BM_SortSoundingsByFrameId}}, 5);

}  // namespace

ORVANTA_BENCH_MAIN()
