#ifndef ORVANTA_BENCHFRESHPAIR_H
#define ORVANTA_BENCHFRESHPAIR_H

// The first read of a file in a fresh process, as a user opens most files:
// the load of the file (by a loader the benchmark program registers) against
// a plain fread of the same bytes into freshly malloc'ed memory, each in a
// process of its own (this program run again), the two alternated 20 times.
// Both pay for fresh pages; the ratio shows what the load adds. Counters:
// the median ratio ("fresh_load_over_fread", ceiling 1.25), the worst pair
// ("fresh_load_over_fread_worst", ceiling 2) and the median times.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "BenchMeasure.h"
#include "BenchSizes.h"

namespace orvanta_bench {

// Set in a child: "<loader> <path>", where the loader "read" is the plain
// fread.
constexpr const char* kFreshVariable = "ORVANTA_BENCH_FRESH";

// A load of the file at path, everything the viewer does to have it in
// memory; false when it failed. What it made is released after the timing.
using FreshLoad = bool (*)(const char* path, void** made);
using FreshRelease = void (*)(void* made);

struct FreshLoader {
  FreshLoad load;
  FreshRelease release;
};

inline std::map<std::string, FreshLoader>& FreshLoaders() {
  static std::map<std::string, FreshLoader> loaders;
  return loaders;
}

// For a static initialiser: true.
inline bool RegisterFreshLoad(const char* name, FreshLoad load, FreshRelease release) {
  FreshLoaders()[name] = {load, release};
  return true;
}

// The plain read: the file's bytes into new malloc'ed memory.
inline bool FreshFread(const char* path, void** made) {
  const long long bytes = FileBytes(path);
  if (bytes <= 0) return false;
  void* buffer = malloc(static_cast<size_t>(bytes));
  *made = buffer;
  FILE* f = buffer ? fopen(path, "rb") : nullptr;
  if (!f) return false;
  const bool ok = fread(buffer, 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
  fclose(f);
  return ok;
}

// In a child: runs the loader named by the variable's value on its file and
// prints the seconds it took. The process's exit status.
inline int FreshChild(const char* request) {
  const std::string s(request);
  const size_t space = s.find(' ');
  if (space == std::string::npos) return 2;
  const std::string name = s.substr(0, space), path = s.substr(space + 1);
  FreshLoader loader{FreshFread, free};
  if (name != "read") {
    const auto it = FreshLoaders().find(name);
    if (it == FreshLoaders().end()) return 2;
    loader = it->second;
  }
  void* made = nullptr;
  const auto t0 = Clock::now();
  const bool ok = loader.load(path.c_str(), &made);
  const double seconds = Seconds(t0, Clock::now());
  loader.release(made);
  if (!ok) return 1;
  printf("%.9f\n", seconds);
  return 0;
}

// Runs this program as a child with the loader on path; its seconds, or a
// negative value when it failed.
inline double RunFreshChild(const std::string& loader, const std::string& path) {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n <= 0) return -1.0;
  exe[n] = '\0';
  const std::string command = std::string(kFreshVariable) + "='" + loader + " " + path + "' '" + exe + "'";
  FILE* child = popen(command.c_str(), "r");
  if (!child) return -1.0;
  double seconds = -1.0;
  const int fields = fscanf(child, "%lf", &seconds);
  return pclose(child) == 0 && fields == 1 ? seconds : -1.0;
}

// The benchmark body: pairs of fresh processes, the plain read and the load
// in turn (which goes first alternates), one pair per ratio.
inline void FreshPairsBody(benchmark::State& state, const std::string& loader, const std::string& path) {
  const int pairs = Smoke() ? 2 : 20;
  std::vector<double> ratio, reads, loads;
  for (auto _ : state) {
    for (int i = 0; i < pairs; ++i) {
      double read = 0.0, load = 0.0;
      if (i % 2 == 0) {
        read = RunFreshChild("read", path);
        load = RunFreshChild(loader, path);
      } else {
        load = RunFreshChild(loader, path);
        read = RunFreshChild("read", path);
      }
      if (read <= 0.0 || load <= 0.0) {
        state.SkipWithError("a child process failed");
        return;
      }
      reads.push_back(read);
      loads.push_back(load);
      ratio.push_back(load / read);
    }
  }
  state.counters["fresh_load_over_fread"] = Median(ratio);
  state.counters["fresh_load_over_fread_target"] = 1.25;
  state.counters["fresh_load_over_fread_worst"] = *std::max_element(ratio.begin(), ratio.end());
  state.counters["fresh_load_over_fread_worst_target"] = 2.0;
  state.counters["fresh_fread_ms"] = 1e3 * Median(reads);
  state.counters["fresh_load_ms"] = 1e3 * Median(loads);
  state.counters["pairs"] = static_cast<double>(ratio.size());
}

// Registers the benchmark bench: fresh-process pairs of the loader on the
// file whose path file() gives (made when the benchmark runs).
inline void RegisterFreshPairs(const char* bench, const char* loader, std::string (*file)()) {
  benchmark::RegisterBenchmark(bench, [loader, file](benchmark::State& state) {
    FreshPairsBody(state, loader, file());
  })->Unit(benchmark::kMillisecond)->Iterations(1);
}

}  // namespace orvanta_bench

#endif
