// Writing the scalar file of a 4096 x 4096 non-contiguous terrain
// (OutputDTM: every float height quantised into a 16-bit code, rows written
// through the atomic writer) against one fwrite of the same number of bytes
// to a file of its own, flushed to disk as the atomic writer flushes its
// file (fsync before close), back to back in every iteration; the median of
// the per-iteration ratios is reported (write_over_fwrite).
//
// Target: the file costs at most 2 x the fwrite (ceiling in
// write_over_fwrite_target). The float grid is built once, untimed, as a
// terrain that has run a query holds it. The spans of both steps are
// reported too, and the fwrite without the flush to disk, for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "BenchSonarTerrain.h"
#include "Sd_SonarDTM.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

// The smooth terrain with one node in 50 empty, and its float grid.
std::unique_ptr<Sd_SonarDTM> MakeTerrain(int side) {
  std::unique_ptr<Sd_SonarDTM> dtm = orvanta_bench::MakeSmoothSonar(side);
  if (!dtm) return nullptr;
  for (int r = 0; r < side; ++r) {
    for (int c = r % 50; c < side; c += 50) dtm->GetElevationGrid()[r][c] = 0;
  }
  if (dtm->MakeFloatGrid() != 0) return nullptr;
  return dtm;
}

// One fwrite of bytes to path, then (when sync) the flush to disk, and close.
bool FwriteWhole(const std::string& path, const std::vector<unsigned char>& bytes, bool sync) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fflush(f) == 0 && ok;
  if (sync) ok = fsync(fileno(f)) == 0 && ok;
  return fclose(f) == 0 && ok;
}

void BM_TerrainWriteRatio(benchmark::State& state) {
  const int side = orvanta_bench::Size(4096, 64);
  std::unique_ptr<Sd_SonarDTM> dtm = MakeTerrain(side);
  if (!dtm) {
    state.SkipWithError("terrain");
    return;
  }
  const std::string target = orvanta_bench::TempPath("bench_terrain_write", ".dtm");
  const std::string plain = orvanta_bench::TempPath("bench_terrain_write_plain", ".bin");
  if (dtm->OutputDTM(target.c_str()) != 0) {
    state.SkipWithError("write");
    return;
  }
  const long long size = orvanta_bench::FileBytes(target);
  std::vector<unsigned char> bytes(static_cast<size_t>(size), 0x5a);
  orvanta_bench::SpanPairs spans;
  std::vector<double> unsynced;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    bool ok = FwriteWhole(plain, bytes, true);
    const auto t1 = Clock::now();
    ok = dtm->OutputDTM(target.c_str()) == 0 && ok;
    const auto t2 = Clock::now();
    ok = FwriteWhole(plain, bytes, false) && ok;
    unsynced.push_back(Seconds(t2, Clock::now()));
    if (!ok) state.SkipWithError("write");
    spans.Add(t0, t1, t2);
  }
  unlink(target.c_str());
  unlink(plain.c_str());
  // Ceiling 2: the scalar file costs at most 2 x an fwrite of its bytes.
  state.counters["write_over_fwrite"] = spans.Ratio();
  state.counters["write_over_fwrite_target"] = 2.0;
  state.counters["fwrite_ms"] = spans.FirstMs();
  state.counters["write_ms"] = spans.SecondMs();
  state.counters["fwrite_unsynced_ms"] = 1e3 * Median(unsynced);
  state.counters["file_mib"] = static_cast<double>(size) / (1024.0 * 1024.0);
}

const bool g_registered = orvanta_bench::RegisterFixedRuns({{"BM_TerrainWriteRatio", BM_TerrainWriteRatio}}, 9);

}  // namespace

ORVANTA_BENCH_MAIN()
