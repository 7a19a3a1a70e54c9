// Sounding data sets: loading 10 million HTF soundings, and 10 million FSD
// soundings with their runs and frames, from a '.sd' file in the page cache
// through the object factory (records, then binning into the cell grid and
// the cell statistics), at about 10 and about 1000 soundings a cell,
// against one fread of the file's bytes into a buffer that is already
// paged in; and the heap that a load keeps.
//
// Targets (both classes, both densities): a load takes at most 3 times the
// fread, and keeps at most 1.5 times the bytes of the records in the file
// beyond the bytes of the cell grid. The ratio benchmarks time the
// alternatives back to back in every iteration (five) and report the
// medians of the per-iteration ratios; every ratio with a ceiling is
// reported next to it, as a counter of the same name with "_target"
// appended. The binning
// (BuildCellGrid) and the statistics (the rest of UpdateCellStatistics) of
// the loaded object are timed again on their own (best of three), and
// reported with the rest of the load in seconds.
//
// FreshLoadRatio (HTF and FSD, about 10 soundings a cell): the first load in
// a fresh process against a plain fread of the file's bytes into new memory
// in another (BenchFreshPair.h); ceilings 1.25 (median) and 2 (worst pair).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchLoad.h"
#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_HTFSounding.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sd_Sounding.h"
#include "TDR_Manager.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Seconds;

// A survey of n soundings on lines 2 m apart, 1 m along each line, depths
// rolling between 20 and 60 m, in cells of about perCell soundings,
// written to a temporary '.sd' file.
struct SurveyFile {
  bool fsd = false;
  int perCell = 0;
  int n = 0;
  std::string path;
  long long bytes = 0;         // of the file
  long long recordBytes = 0;   // of the stored records

  SurveyFile(bool withRuns, int soundingsPerCell) : fsd(withRuns), perCell(soundingsPerCell) {
    n = orvanta_bench::Size(10000000, 20000);
    const char* tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_sounding_" + (fsd ? "fsd_" : "htf_") +
           std::to_string(getpid()) + ".sd";
    const int perLine = 5000;
    // Each sounding covers 2 square metres.
    const float cellSize = std::sqrt(2.0f * static_cast<float>(perCell));
    TDR_Manager m;
    if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0) abort();
    if (fsd) {
      const int lines = (n + perLine - 1) / perLine;
      const int frames = n / 100;
      std::vector<FsdRunRecord> runs(static_cast<size_t>(lines), FsdRunRecord{});
      for (int i = 0; i < lines; ++i) {
        runs[static_cast<size_t>(i)].id = i;
        runs[static_cast<size_t>(i)].xEnd = perLine;
        runs[static_cast<size_t>(i)].yStart = runs[static_cast<size_t>(i)].yEnd = 2.0 * i;
      }
      std::vector<FsdFrameRecord> frame(static_cast<size_t>(frames), FsdFrameRecord{});
      for (int i = 0; i < frames; ++i) frame[static_cast<size_t>(i)].runIdx = i * 100 / perLine;
      std::vector<FsdSndRecord> r(static_cast<size_t>(n), FsdSndRecord{});
      for (int i = 0; i < n; ++i) {
        FsdSndRecord& s = r[static_cast<size_t>(i)];
        s.id = i;
        s.frameIdx = i / 100;
        s.x = 500000.0 + i % perLine;
        s.y = 6000000.0 + 2.0 * (i / perLine);
        s.depth = -(40.0f + 20.0f * static_cast<float>((7919LL * i) % 1000) / 1000.0f);
        s.nbaDepth = s.depth;
        s.z = s.depth;
        s.flags = static_cast<unsigned char>(i % 97 == 0 ? FSD_NBA_FLAG : 0);
      }
      Sd_Sounding set;
      if (set.SetRuns(runs.data(), lines) != 0 || set.SetFrames(frame.data(), frames) != 0 ||
          set.SetSoundings(r.data(), n) != 0) {
        abort();
      }
      std::vector<FsdSndRecord>().swap(r);
      set.SetCellSize(cellSize);
      if (set.WriteDataRecord(&m) != 0 || set.WriteCommonTags(&m) != 0) abort();
      recordBytes = 108LL * lines + 36LL * frames + 77LL * n;
    } else {
      std::vector<HTFSndRecord> r(static_cast<size_t>(n), HTFSndRecord{});
      for (int i = 0; i < n; ++i) {
        HTFSndRecord& s = r[static_cast<size_t>(i)];
        s.id = i;
        s.lineName = i / perLine;
        s.x = 500000.0 + i % perLine;
        s.y = 6000000.0 + 2.0 * (i / perLine);
        s.depth = 40.0f + 20.0f * static_cast<float>((7919LL * i) % 1000) / 1000.0f;
        s.z = -s.depth;
        s.flags = static_cast<unsigned char>(i % 31 == 0 ? HTF_REJECTED_FLAG : HTF_PLOTTED_FLAG);
      }
      Sd_HTFSounding set;
      if (set.SetSoundings(r.data(), n) != 0) abort();
      std::vector<HTFSndRecord>().swap(r);
      set.SetCellSize(cellSize);
      if (set.WriteDataRecord(&m) != 0 || set.WriteCommonTags(&m) != 0) abort();
      recordBytes = 89LL * n;
    }
    if (m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) abort();
    bytes = orvanta_bench::FileBytes(path);
    if (bytes < 0) abort();
    Sd_RegisterAllClasses();
  }
  ~SurveyFile() { unlink(path.c_str()); }
};

// The file of a class and density, written once: the benchmarks run one
// after the other, so one file at a time is kept.
SurveyFile& File(bool fsd, int perCell) {
  static std::unique_ptr<SurveyFile> file;
  if (!file || file->fsd != fsd || file->perCell != perCell) {
    file.reset();
    file.reset(new SurveyFile(fsd, perCell));
  }
  return *file;
}

// Loads the file through the object factory; the caller deletes the root.
Sd_Node* LoadSurvey(const SurveyFile& t) {
  Sd_Parent* root = new Sd_Parent();
  if (!Sd_IOSupport(root).ReadSDFile(t.path.c_str())) {
    Sd_GroupNode::DeleteTree(root);
    return nullptr;
  }
  return root;
}

void LoadRatio(benchmark::State& state, bool fsd, int perCell) {
  SurveyFile& t = File(fsd, perCell);
  std::vector<unsigned char> buffer(static_cast<size_t>(t.bytes), 1);
  std::vector<double> fresh, warm, freads, loads, bins, stats;
  double growth = 0.0, gridBytes = 0.0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    bool ok = orvanta_bench::FreadWhole(t.path, t.bytes, nullptr);
    const auto t1 = Clock::now();
    ok = orvanta_bench::FreadWhole(t.path, t.bytes, buffer.data()) && ok;
    const size_t before = orvanta_bench::HeapInUse();
    const auto t2 = Clock::now();
    Sd_Node* root = LoadSurvey(t);
    const auto t3 = Clock::now();
    const size_t after = orvanta_bench::HeapInUse();
    Sd_SoundingSet* set = root ? dynamic_cast<Sd_SoundingSet*>(root->GetFirstChild()) : nullptr;
    if (!ok || !set || set->GetRows() == 0) {
      state.SkipWithError("read");
      if (root) Sd_GroupNode::DeleteTree(root);
      break;
    }
    growth = std::max(growth, static_cast<double>(after) - static_cast<double>(before));
    gridBytes = static_cast<double>(set->GetCellGridBytes());
    // The binning, and the binning with the statistics, again, the best
    // of three (the machine may be busy).
    double bin = 1e30, update = 1e30;
    for (int repeat = 0; repeat < 3; ++repeat) {
      const auto t4 = Clock::now();
      set->BuildCellGrid();
      const auto t5 = Clock::now();
      set->UpdateCellStatistics(1);
      const auto t6 = Clock::now();
      bin = std::min(bin, Seconds(t4, t5));
      update = std::min(update, Seconds(t5, t6));
    }
    Sd_GroupNode::DeleteTree(root);
    fresh.push_back(Seconds(t2, t3) / Seconds(t0, t1));
    warm.push_back(Seconds(t2, t3) / Seconds(t1, t2));
    freads.push_back(Seconds(t1, t2));
    loads.push_back(Seconds(t2, t3) - update);
    bins.push_back(bin);
    stats.push_back(update - bin);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.bytes);
  // Ceiling 3: a load takes at most three times the fread into the
  // paged-in buffer.
  state.counters["load_over_fread"] = orvanta_bench::Median(warm);
  state.counters["load_over_fread_target"] = 3.0;
  // No ceiling: the fread into a new buffer also pays for paging it in.
  state.counters["load_over_fresh_buffer_fread"] = orvanta_bench::Median(fresh);
  // The parts of a load, in seconds: the fread it is compared with, the
  // records (everything but the binning and statistics), the binning, and
  // the statistics.
  state.counters["fread_s"] = orvanta_bench::Median(freads);
  state.counters["records_s"] = orvanta_bench::Median(loads);
  state.counters["binning_s"] = orvanta_bench::Median(bins);
  state.counters["statistics_s"] = orvanta_bench::Median(stats);
  // Heap a load keeps beyond the cell grid, in units of the records'
  // bytes in the file.
  state.counters["heap_growth_less_grid_over_record_bytes"] = (growth - gridBytes) / static_cast<double>(t.recordBytes);
  state.counters["heap_growth_less_grid_over_record_bytes_target"] = 1.5;
  state.counters["grid_bytes_over_record_bytes"] = gridBytes / static_cast<double>(t.recordBytes);
  state.counters["soundings"] = t.n;
}

const bool g_registered = [] {
  for (int perCell : {10, 1000}) {
    for (bool fsd : {false, true}) {
      const std::string name = std::string(fsd ? "BM_LoadFSDSoundings" : "BM_LoadHTFSoundings") + "/" +
                               std::to_string(perCell) + "_per_cell";
      auto* b = benchmark::RegisterBenchmark(name.c_str(), LoadRatio, fsd, perCell);
      b->Unit(benchmark::kMillisecond);
      // Five loads: the median then stands whatever one load meets (the
      // file just written still being flushed, memory just handed back).
      if (!orvanta_bench::Smoke()) b->Iterations(5);
    }
  }
  // The first load of the HTF file, and of the FSD file, in a fresh
  // process, against a plain fread of it in another (BenchFreshPair.h).
  orvanta_bench::RegisterFactoryFreshLoad("soundings");
  orvanta_bench::RegisterFreshPairs("BM_HTFFreshLoadRatio", "soundings", [] { return File(false, 10).path; });
  orvanta_bench::RegisterFreshPairs("BM_FSDFreshLoadRatio", "soundings", [] { return File(true, 10).path; });
  return true;
}();

}  // namespace

ORVANTA_BENCH_MAIN()
