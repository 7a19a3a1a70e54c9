// VR terrain: loading a 4096 x 4096 terrain (heights and colours, a block of
// no-data nodes) through the object factory against one fread of the file's
// bytes.
//
// Target: a load takes at most twice the fread of the file (in the page
// cache) into a buffer that is already paged in (load_over_fread, ceiling in
// load_over_fread_target; the median of the per-iteration ratios).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "BenchMain.h"
#include "BenchLoad.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_VRDTM.h"

namespace {

// A tilted, rippled terrain with a no-data block in one quarter; written once.
orvanta_bench::SDFile& TheFile() {
  static std::unique_ptr<orvanta_bench::SDFile> file = [] {
    Sd_RegisterAllClasses();
    const int side = orvanta_bench::Size(4096, 256);
    Sd_VRDTM dtm;
    if (dtm.CreateGrids(side, side) != 0) abort();
    dtm.SetNoDataCode(1);
    for (int r = 0; r < side; ++r) {
      unsigned short* h = dtm.GetElevationGrid()[r];
      unsigned int* c = dtm.GetColorGrid()[r];
      for (int k = 0; k < side; ++k) {
        const bool hole = r > side / 2 && r < side / 2 + side / 8 && k < side / 4;
        h[k] = hole ? 1 : static_cast<unsigned short>(2 + 7 * r + 3 * k + ((r * k) & 255));
        c[k] = PackColour(static_cast<unsigned>(k) & 255u, 160, static_cast<unsigned>(r) & 255u, 255);
      }
    }
    dtm.SetCodeRange(1, 65535);
    dtm.SetBounds(0, 500000.0f, 540960.0f);
    dtm.SetBounds(1, 6200000.0f, 6240960.0f);
    dtm.SetBounds(2, -200.0f, 0.0f);
    return std::make_unique<orvanta_bench::SDFile>("vrdtm", dtm);
  }();
  return *file;
}

void BM_VRDTMLoadOverFread(benchmark::State& state) {
  orvanta_bench::LoadOverFreadBody(state, TheFile().path, TheFile().bytes);
}
BENCHMARK(BM_VRDTMLoadOverFread)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

ORVANTA_BENCH_MAIN()
