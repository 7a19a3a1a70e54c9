// Loading an SD file of many small records (plain group records) through
// the SD reader: the time per record must not grow with the number of
// records already read. Each iteration loads files of n, 10 n and 100 n
// records back to back; the counters are the medians of the time per
// record of the larger files over that of the smallest (1 for linear
// loading), each next to its ceiling ("<name>_target").
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_AlignmentNode.h"
#include "Sd_AllClasses.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

struct RecordFiles {
  int counts[3];
  std::string path[3];

  RecordFiles() {
    Sd_RegisterAllClasses();
    const int n = orvanta_bench::Size(10000, 100);
    const std::string base = orvanta_bench::TempPath("bench_load_records", "");
    Sd_Parent group;
    for (int i = 0; i < 3; ++i) {
      counts[i] = n * (i == 0 ? 1 : i == 1 ? 10 : 100);
      path[i] = base + "_" + std::to_string(i) + ".sd";
      TDR_Manager m;
      if (m.OpenFile(path[i].c_str(), "wb") != 0 || m.WriteHeader() != 0) abort();
      for (int k = 0; k < counts[i]; ++k) {
        if (group.SaveObject(&m, 0, 0) != 0) abort();
      }
      if (m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) abort();
    }
  }
  ~RecordFiles() {
    for (const std::string& p : path) unlink(p.c_str());
  }
};

RecordFiles& Files() {
  static RecordFiles files;
  return files;
}

// Seconds per record of loading file i into a fresh root (and releasing it).
double SecondsPerRecord(int i) {
  RecordFiles& f = Files();
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  const auto t0 = Clock::now();
  Sd_IOSupport(root).ReadSDFile(f.path[i].c_str());
  const auto t1 = Clock::now();
  if (root->GetChildCount() != f.counts[i]) abort();
  Sd_GroupNode::DeleteTree(root);
  return Seconds(t0, t1) / f.counts[i];
}

void BM_LoadRecordsGrowth(benchmark::State& state) {
  Files();
  std::vector<double> tenfold, hundredfold;
  double smallest = 0.0;
  for (auto _ : state) {
    const double a = SecondsPerRecord(0);
    const double b = SecondsPerRecord(1);
    const double c = SecondsPerRecord(2);
    smallest = a;
    tenfold.push_back(b / a);
    hundredfold.push_back(c / a);
  }
  state.counters["records_smallest"] = Files().counts[0];
  state.counters["us_per_record_smallest"] = smallest * 1e6;
  // Ceiling 1.5: a record of a file ten times larger costs at most 1.5 x as much.
  state.counters["per_record_10x_over_1x"] = Median(tenfold);
  state.counters["per_record_10x_over_1x_target"] = 1.5;
  // Ceiling 2: a record of a file a hundred times larger costs at most 2 x as much.
  state.counters["per_record_100x_over_1x"] = Median(hundredfold);
  state.counters["per_record_100x_over_1x_target"] = 2.0;
}
BENCHMARK(BM_LoadRecordsGrowth)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

ORVANTA_BENCH_MAIN()
