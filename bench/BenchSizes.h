#ifndef ORVANTA_BENCHSIZES_H
#define ORVANTA_BENCHSIZES_H

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <initializer_list>
#include <utility>

// The test suite runs every benchmark once as a smoke test with
// ORVANTA_BENCH_SMOKE set; benchmarks then use their small sizes.
namespace orvanta_bench {
inline bool Smoke() { return std::getenv("ORVANTA_BENCH_SMOKE") != nullptr; }
inline int Size(int full, int smoke) { return Smoke() ? smoke : full; }

// Registers the benchmarks, reported in milliseconds and run the given
// number of iterations each (once in a smoke run); true, for a static
// initialiser.
using BenchFunction = void (*)(benchmark::State&);
inline bool RegisterFixedRuns(std::initializer_list<std::pair<const char*, BenchFunction>> benches, int iterations) {
  for (const auto& b : benches) {
    benchmark::internal::Benchmark* r = benchmark::RegisterBenchmark(b.first, b.second);
    r->Unit(benchmark::kMillisecond);
    if (!Smoke()) r->Iterations(iterations);
  }
  return true;
}
}  // namespace orvanta_bench

#endif
