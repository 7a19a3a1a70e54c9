// Point sets: loading a file of 1 000 000 points with values (and a colour
// map, so that loading also colours them) against reading the file's bytes
// with fread, and the cost of a frame of the whole set at the viewer's
// default detail budget (25000) against a full-detail frame.
//
// Targets: a load takes at most twice the fread time (into a buffer that is
// already paged in, the file in the page cache); a frame at budget 25000
// costs at most a tenth of a full-detail frame. The ratio benchmarks time
// the alternatives back to back in every iteration and report the medians
// of the per-iteration ratios, each next to its ceiling (a counter of the
// same name with "_target" appended).
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the frame benchmarks are skipped with an error.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchLoad.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_Point3D.h"

namespace {

// A survey of points over 20 km x 20 km with depths and a value each,
// written once to a temporary '.sd' file.
std::unique_ptr<orvanta_bench::SDFile> WritePointFile() {
  const int count = orvanta_bench::Size(1000000, 2000);
  std::vector<double> xyz(3 * static_cast<size_t>(count));
  std::vector<const double*> rows(static_cast<size_t>(count));
  std::vector<double> values(static_cast<size_t>(count));
  const int side = static_cast<int>(std::sqrt(static_cast<double>(count)));
  for (int i = 0; i < count; ++i) {
    const double u = static_cast<double>(i % side) / side;
    const double v = static_cast<double>(i / side) / side;
    double* p = &xyz[3 * static_cast<size_t>(i)];
    p[0] = 500000.0 + 20000.0 * u + 3.0 * std::sin(i * 0.7);
    p[1] = 6000000.0 + 20000.0 * v + 3.0 * std::cos(i * 1.3);
    p[2] = -200.0 + 150.0 * std::sin(6.0 * u) * std::cos(5.0 * v);
    values[static_cast<size_t>(i)] = 20.0 + 10.0 * std::sin(9.0 * u + 4.0 * v);
    rows[static_cast<size_t>(i)] = p;
  }
  Sd_Point3D set(count, 3, rows.data(), values.data(), nullptr);
  unsigned* map = static_cast<unsigned*>(malloc(256 * sizeof(unsigned)));
  for (unsigned c = 0; c < 256; ++c) map[c] = PackColour(c, 160, 255 - c, 255);
  set.SetColorMap(map);
  set.SetColourMode(2);
  Sd_RegisterAllClasses();
  return std::make_unique<orvanta_bench::SDFile>("bench_points", set);
}

orvanta_bench::SDFile& TheFile() {
  static const std::unique_ptr<orvanta_bench::SDFile> file = WritePointFile();
  return *file;
}

void BM_LoadPoints(benchmark::State& state) { orvanta_bench::LoadBody(state, TheFile().path, TheFile().bytes); }
BENCHMARK(BM_LoadPoints)->Unit(benchmark::kMillisecond);

void BM_LoadRatio(benchmark::State& state) {
  orvanta_bench::LoadOverFreadBody(state, TheFile().path, TheFile().bytes);
}
BENCHMARK(BM_LoadRatio)->Unit(benchmark::kMillisecond);

// --- frames ---

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// The context with the set loaded; ok is false when no context can be made.
struct GLView {
  orvanta_bench::GLContext gl{kViewWidth, kViewHeight};
  Sd_Node* root = nullptr;
  Sd_Point3D* set = nullptr;
  bool ok = false;

  GLView() {
    if (!gl.ok) return;
    root = orvanta_bench::LoadThroughFactory(TheFile().path);
    set = root ? dynamic_cast<Sd_Point3D*>(root->GetFirstChild()) : nullptr;
    ok = set != nullptr;
  }
  ~GLView() { Sd_GroupNode::DeleteTree(root); }

  // The whole set, seen from the south and above.
  void Frame() const {
    orvanta_bench::BeginSouthAboveFrame(kViewWidth, kViewHeight);
    set->Render();
    glFinish();
  }
  void FullDetail() const { set->ResetSettings(); }
  void ViewerDetail() const { set->SetLevelOfDetail(1); }
};

GLView& TheView() {
  static GLView view;
  return view;
}

// The view with the viewer's detail budget; null, with the benchmark
// skipped, when there is no OpenGL context.
GLView* View(benchmark::State& state) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return nullptr;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  return &v;
}

// Frames at full detail or at the viewer's detail budget.
void Frames(benchmark::State& state, bool full) {
  GLView* v = View(state);
  if (!v) return;
  full ? v->FullDetail() : v->ViewerDetail();
  for (auto _ : state) v->Frame();
  state.counters["step"] = v->set->GetDetailStep();
}
void BM_FrameFullDetail(benchmark::State& state) { Frames(state, true); }
BENCHMARK(BM_FrameFullDetail)->Unit(benchmark::kMillisecond);
void BM_FrameDetail25000(benchmark::State& state) { Frames(state, false); }
BENCHMARK(BM_FrameDetail25000)->Unit(benchmark::kMillisecond);

void BM_FrameRatio(benchmark::State& state) {
  GLView* v = View(state);
  if (!v) return;
  orvanta_bench::DetailOverFullBody(
      state, [v] { v->FullDetail(); }, [v] { v->ViewerDetail(); }, [v] { v->Frame(); });
  // Ceiling 0.1: a frame at detail budget 25000 costs at most a tenth of a
  // full-detail frame.
  state.counters["detail_over_full_target"] = 0.1;
}
BENCHMARK(BM_FrameRatio)->Unit(benchmark::kMillisecond);

}  // namespace

ORVANTA_BENCH_MAIN()
