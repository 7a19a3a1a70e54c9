#ifndef ORVANTA_BENCHMEASURE_H
#define ORVANTA_BENCHMEASURE_H

// Measures shared by the benchmarks: wall-clock spans, medians of
// per-iteration ratios, pairs of steps timed back to back, the heap in use,
// temporary file names, the size of a file and one fread of a whole file.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace orvanta_bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Spans of two steps timed in every iteration (the first, then the second)
// and the ratio of the second over the first.
struct SpanPairs {
  std::vector<double> first, second, ratio;
  void Add(double a, double b) {
    first.push_back(a);
    second.push_back(b);
    ratio.push_back(b / a);
  }
  // The steps t0 ... t1 and t1 ... t2.
  void Add(Clock::time_point t0, Clock::time_point t1, Clock::time_point t2) { Add(Seconds(t0, t1), Seconds(t1, t2)); }
  double Ratio() const { return Median(ratio); }
  double FirstMs() const { return 1e3 * Median(first); }
  double SecondMs() const { return 1e3 * Median(second); }
};

// Times a frame at full detail and then one at reduced detail in every
// iteration (the switches between them untimed) and reports the median of
// the second's span over the first's ("detail_over_full") with each frame's
// median ("full_frame_ms", "detail_frame_ms"). The caller adds the ceiling.
template <class Full, class Detail, class Frame>
void DetailOverFullBody(benchmark::State& state, Full full, Detail detail, Frame frame) {
  SpanPairs spans;
  for (auto _ : state) {
    full();
    const auto t0 = Clock::now();
    frame();
    const auto t1 = Clock::now();
    detail();
    frame();
    spans.Add(t0, t1, Clock::now());
  }
  state.counters["detail_over_full"] = spans.Ratio();
  state.counters["full_frame_ms"] = spans.FirstMs();
  state.counters["detail_frame_ms"] = spans.SecondMs();
}

// A path for a temporary file of this process: $TMPDIR (or /tmp), then
// <stem>_<process id><suffix>.
inline std::string TempPath(const std::string& stem, const std::string& suffix = ".sd") {
  const char* tmp = getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "_" + std::to_string(getpid()) + suffix;
}

// Heap in use (all arenas, small and mapped blocks).
inline size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// One fread of the bytes of the file at path into buffer, or into a fresh
// buffer when buffer is null.
inline bool FreadWhole(const std::string& path, long long bytes, unsigned char* buffer) {
  unsigned char* own = buffer ? nullptr : static_cast<unsigned char*>(malloc(static_cast<size_t>(bytes)));
  unsigned char* into = buffer ? buffer : own;
  FILE* f = fopen(path.c_str(), "rb");
  const bool ok = f && into && fread(into, 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
  if (f) fclose(f);
  benchmark::DoNotOptimize(into);
  free(own);
  return ok;
}

// Bytes of the file at path; -1 when it cannot be opened.
inline long long FileBytes(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
  fseek(f, 0, SEEK_END);
  const long long bytes = ftell(f);
  fclose(f);
  return bytes;
}

}  // namespace orvanta_bench

#endif
