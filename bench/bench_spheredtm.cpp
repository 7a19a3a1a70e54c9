// Spherical terrain model: a global grid of 4096 x 4096 nodes (256 x 256 in
// smoke runs) drawn at the viewer's default detail budget (25000) against
// the whole grid drawn at full detail (stride 1, every node of the globe),
// for a view of the whole globe and for a close-up of about three degrees;
// and the time the visible window of one view takes to compute.
//
// Targets: a frame at budget 25000 costs at most a tenth of the full-detail
// frame, for the whole globe and for the close-up (counters
// "detail_over_full" and "detail_over_full_target"). The close-up also
// reports its own full-detail frame ("closeup_full_detail_ms": stride 1 over
// its visible window only). The ratios are the medians of per-iteration
// ratios, the frames timed back to back.
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the benchmarks are skipped with an error.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_SphereDTM.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

constexpr int kViewSize = 512;
constexpr double kPi = 3.14159265358979323846;

// A global grid of side x side nodes (longitudes -180 ... 180, latitudes
// -90 ... 90, heights -8000 ... 6000 m) of rolling relief, coloured by height.
std::unique_ptr<Sd_SphereDTM> MakeGlobe(int side) {
  std::unique_ptr<Sd_SphereDTM> dtm(new Sd_SphereDTM());
  if (dtm->CreateGrids(side, side) != 0) return nullptr;
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      const double u = 2.0 * kPi * c / (side - 1), v = kPi * r / (side - 1);
      const double h = 0.5 + 0.25 * std::sin(7.0 * u) * std::sin(5.0 * v) + 0.2 * std::cos(13.0 * u + 3.0 * v);
      const unsigned code = static_cast<unsigned>(1.0 + 65534.0 * std::fmin(1.0, std::fmax(0.0, h)));
      dtm->GetElevationGrid()[r][c] = static_cast<unsigned short>(code);
      dtm->GetColorGrid()[r][c] = PackColour(code >> 8, 255 - (code >> 8), 120, 255);
    }
  }
  dtm->SetCodeRange(1, 65535);
  dtm->SetBounds(0, -180.0f, 180.0f);
  dtm->SetBounds(1, -90.0f, 90.0f);
  dtm->SetBounds(2, -8000.0f, 6000.0f);
  dtm->RebuildSinCosTables();
  dtm->SetExaggeration(12.0f);
  return dtm;
}

struct Scene {
  orvanta_bench::GLContext gl{kViewSize, kViewSize};
  std::unique_ptr<Sd_SphereDTM> dtm;
  Scene() {
    if (gl.ok) dtm = MakeGlobe(orvanta_bench::Size(4096, 256));
  }
};

Scene* TheScene() {
  static Scene* scene = new Scene();
  return scene;
}

// The whole globe from 2.5 radii out, or a close-up looking straight down
// from 0.05 above the surface (about three degrees across) at longitude 30,
// latitude 20.
void SetView(bool closeUp) {
  const double lo = 30.0 * kPi / 180.0, la = 20.0 * kPi / 180.0;
  const double d[3] = {std::cos(lo) * std::cos(la), std::sin(lo) * std::cos(la), std::sin(la)};
  const double eye = closeUp ? 0.55 : 2.5, at = closeUp ? 0.5 : 0.0;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(closeUp ? 30.0 : 40.0, 1.0, closeUp ? 0.001 : 0.1, closeUp ? 2.0 : 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(eye * d[0], eye * d[1], eye * d[2], at * d[0], at * d[1], at * d[2], 0.0, 0.0, 1.0);
}

double Frame(Sd_SphereDTM* dtm, bool closeUp) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SetView(closeUp);
  glFinish();
  const auto t0 = Clock::now();
  dtm->Render();
  glFinish();
  return Seconds(t0, Clock::now());
}

void FullDetail(Sd_SphereDTM* dtm) { dtm->ResetSettings(); }

void ViewerDetail(Sd_SphereDTM* dtm) {
  Sd_Node::SetDetailBudget(25000.0f);
  dtm->SetLODStep(10);
  dtm->SetAutoLOD(1);
}

// The frame at budget 25000 of the view against a full-detail frame of the
// whole globe.
void DetailOverFull(benchmark::State& state, bool closeUp) {
  Scene* scene = TheScene();
  if (!scene->dtm) {
    state.SkipWithError("no OpenGL context (run under an X server)");
    return;
  }
  Sd_SphereDTM* dtm = scene->dtm.get();
  std::vector<double> ratio, full, detail, closeFull;
  int stride = 0;
  for (auto _ : state) {
    FullDetail(dtm);
    const double f = Frame(dtm, false);
    ViewerDetail(dtm);
    const double d = Frame(dtm, closeUp);
    stride = dtm->GetLODStep();
    full.push_back(f);
    detail.push_back(d);
    ratio.push_back(d / f);
    if (closeUp) {
      FullDetail(dtm);
      closeFull.push_back(Frame(dtm, true));
    }
  }
  state.counters["detail_over_full"] = Median(ratio);
  // Ceiling 0.1: a frame at budget 25000 costs at most a tenth of a full-detail frame.
  state.counters["detail_over_full_target"] = 0.1;
  state.counters["full_frame_ms"] = 1e3 * Median(full);
  state.counters["detail_frame_ms"] = 1e3 * Median(detail);
  state.counters["stride"] = stride;
  if (closeUp) state.counters["closeup_full_detail_ms"] = 1e3 * Median(closeFull);
}

void BM_SphereGlobeFrameRatio(benchmark::State& state) { DetailOverFull(state, false); }
void BM_SphereCloseUpFrameRatio(benchmark::State& state) { DetailOverFull(state, true); }

// The visible window, strides and centre row of one view (no drawing).
void VisibleWindow(benchmark::State& state, bool closeUp) {
  Scene* scene = TheScene();
  if (!scene->dtm) {
    state.SkipWithError("no OpenGL context (run under an X server)");
    return;
  }
  Sd_SphereDTM* dtm = scene->dtm.get();
  ViewerDetail(dtm);
  SetView(closeUp);
  const Sd_DTMView view = Sd_DTMView::FromGL();
  for (auto _ : state) benchmark::DoNotOptimize(dtm->ComputeVisibleWindow(view));
  int c0, c1, r0, r1;
  dtm->GetWindow(&c0, &c1, &r0, &r1);
  state.counters["window_cols"] = c0 <= c1 ? c1 - c0 : dtm->GetCols() - c0 + c1;
  state.counters["window_rows"] = r1 - r0;
}

void BM_SphereVisibleWindowGlobe(benchmark::State& state) { VisibleWindow(state, false); }
void BM_SphereVisibleWindowCloseUp(benchmark::State& state) { VisibleWindow(state, true); }

const bool g_registered = [] {
  for (auto bench : {BM_SphereGlobeFrameRatio, BM_SphereCloseUpFrameRatio}) {
    benchmark::RegisterBenchmark(bench == BM_SphereGlobeFrameRatio ? "BM_SphereGlobeFrameRatio"
                                                                   : "BM_SphereCloseUpFrameRatio",
                                 bench)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(orvanta_bench::Smoke() ? 1 : 5);
  }
  benchmark::RegisterBenchmark("BM_SphereVisibleWindowGlobe", BM_SphereVisibleWindowGlobe)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_SphereVisibleWindowCloseUp", BM_SphereVisibleWindowCloseUp)
      ->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace

ORVANTA_BENCH_MAIN()
