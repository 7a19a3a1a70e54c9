// Byte swapping of element blocks, the inner loop of every reader of a file
// written on a machine of the other byte order.
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchMain.h"
#include "BenchSizes.h"
#include "Sv_Stdio.h"

static void BM_SwapBytes(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const int count = orvanta_bench::Size(1 << 22, 1024) / size;
  std::vector<unsigned char> data(static_cast<size_t>(count) * static_cast<size_t>(size), 7);
  for (auto _ : state) {
    Sv_UtlSwapBytes(data.data(), size, count);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_SwapBytes)->Arg(2)->Arg(4)->Arg(8);

ORVANTA_BENCH_MAIN()
