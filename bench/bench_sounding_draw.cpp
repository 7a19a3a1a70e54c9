// Sounding surfaces in OpenGL: a 2000 x 2000-cell lit surface drawn whole
// at full detail (stride 1) and as the coarse drawing of a progressive data
// set (progressive, level-of-detail step 4), and the colouring of its cells by
// depth.
//
// Target: a coarse frame costs at most a tenth of a full-detail frame. The
// ratio benchmark draws both back to back in every iteration and reports
// the median of the per-iteration ratios, with its ceiling as a counter of
// the same name with "_target" appended, and both frame times in
// milliseconds. The colouring benchmark reports one ColorCells over the
// grid in milliseconds.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_HTFSounding.h"
#include "Sv_Lighting.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Seconds;

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// A surface of side x side cells laid directly into the cell grid (drawing
// and colouring read only the grid): rolling depths between -60 and -20 m.
struct Surface : Sd_HTFSounding {
  explicit Surface(int side) {
    if (AllocCellGrids(side, side) != 0) return;
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) {
        m_grid.Heights()[m_grid.CellIndex(r, c)] = static_cast<float>(-40.0 + 20.0 * std::sin(r * 0.01) * std::cos(c * 0.013));
      }
    }
    m_extent.zMin = -60.0;
    m_extent.zMax = -20.0;
    ComputeNormals();
    ColorCells();
  }
  void Progressive(int on) {
    SetProgressive(on);
    SetLodStep(4);
  }
  using Sd_HTFSounding::ColorCells;
};

struct View {
  orvanta_bench::GLContext gl{kViewWidth, kViewHeight};
  Sv_Lighting lights;
  std::unique_ptr<Surface> surface;
  bool ok = false;

  View() {
    if (!gl.ok) return;
    surface.reset(new Surface(orvanta_bench::Size(2000, 64)));
    lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 1.0f, 1.0f, 1.0f, 1.0f);
    lights.SetLightParam(1, SV_LIGHT_POSITION, 0.3f, -0.5f, 1.0f, 0.0f);
    lights.Apply();
    Sd_Node::SetLighting(&lights);
    ok = surface->GetRows() > 0;
  }
  ~View() { Sd_Node::SetLighting(nullptr); }

  // The whole surface, seen from the south and above; seconds.
  double Frame() {
    orvanta_bench::BeginSouthAboveFrame(kViewWidth, kViewHeight);
    glFinish();
    const auto t0 = Clock::now();
    surface->Render();
    glFinish();
    return Seconds(t0, Clock::now());
  }
};

View& TheView() {
  static View view;
  return view;
}

void CoarseFrameRatio(benchmark::State& state) {
  View& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  std::vector<double> ratios, full, coarse;
  for (auto _ : state) {
    v.surface->Progressive(0);
    const double f = v.Frame();
    v.surface->Progressive(1);
    const double c = v.Frame();
    full.push_back(f);
    coarse.push_back(c);
    ratios.push_back(c / f);
  }
  // Ceiling 0.1: the coarse drawing sends a sixteenth of the vertices.
  state.counters["coarse_over_full"] = orvanta_bench::Median(ratios);
  state.counters["coarse_over_full_target"] = 0.1;
  state.counters["full_ms"] = 1e3 * orvanta_bench::Median(full);
  state.counters["coarse_ms"] = 1e3 * orvanta_bench::Median(coarse);
}

void Colouring(benchmark::State& state) {
  View& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  std::vector<double> times;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    v.surface->ColorCells();
    times.push_back(Seconds(t0, Clock::now()));
  }
  state.counters["colour_ms"] = 1e3 * orvanta_bench::Median(times);
}

const bool g_registered =
    orvanta_bench::RegisterFixedRuns({{"CoarseFrameRatio", CoarseFrameRatio}, {"Colouring", Colouring}}, 9);

}  // namespace

ORVANTA_BENCH_MAIN()
