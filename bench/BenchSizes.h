#ifndef ORVANTA_BENCHSIZES_H
#define ORVANTA_BENCHSIZES_H

#include <cstdlib>

// The test suite runs every benchmark once as a smoke test with
// ORVANTA_BENCH_SMOKE set; benchmarks then use their small sizes.
namespace orvanta_bench {
inline bool Smoke() { return std::getenv("ORVANTA_BENCH_SMOKE") != nullptr; }
inline int Size(int full, int smoke) { return Smoke() ? smoke : full; }
}  // namespace orvanta_bench

#endif
