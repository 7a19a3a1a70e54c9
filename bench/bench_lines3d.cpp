// 3-D lines: loading a file of many lines against reading its bytes with
// fread, a frame at the viewer's detail budget against a full-detail frame,
// and the growth of a polygon-mode load (triangulation included) with the
// size of a jagged ring.
//
// Targets:
// - LoadRatio: 10 000 lines of 100 vertices load in at most 2 x the time of
//   an fread of the file's bytes into a paged-in buffer (load_over_fread).
// - FrameRatio: a frame at detail budget 25000 costs at most 0.1 x a frame
//   at full detail (detail_over_full), for 10 000 contour rings of 100
//   vertices scattered over the view, as terrain contouring makes them.
//   SurveyFrameRatio reports the same for the 10 000 survey lines of the
//   load benchmarks, which cross the whole view two pixels apart: there the
//   pixels of the lines, which no thinning of vertices reduces, cost most of
//   a frame in a software renderer (no ceiling).
// - PolygonGrowth: a ring of 100 000 vertices loads in polygon mode in at
//   most 20 x the time of a ring of 10 000 (large_over_small): no quadratic
//   growth in loop removal or triangulation.
// The ratio benchmarks time the alternatives back to back in every
// iteration and report the medians of the per-iteration ratios; each ratio
// with a ceiling has a sibling counter "<name>_target" holding the ceiling.
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the frame benchmarks are skipped with an error.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

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
#include "Sd_Lines3D.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::LoadThroughFactory;

// A file of one line set, written once and removed at exit; the object
// classes are registered for loading it.
struct LinesFile : orvanta_bench::SDFile {
  LinesFile(const std::string& name, Sd_Lines3D& lines) : SDFile("bench_lines3d_" + name, lines) {
    Sd_RegisterAllClasses();
  }
};

// Wavy survey lines across a 20 km square: lines x vertices of them.
void FillSurvey(Sd_Lines3D* lines, int count, int vertices) {
  std::vector<double> x(vertices), y(vertices), z(vertices);
  for (int i = 0; i < count; ++i) {
    for (int k = 0; k < vertices; ++k) {
      x[k] = 500000.0 + 20000.0 * k / (vertices - 1);
      y[k] = 6000000.0 + 20000.0 * i / count + 30.0 * std::sin(0.3 * k + i);
      z[k] = -100.0 - 0.5 * (i % 200) - 3.0 * std::cos(0.1 * k);
    }
    lines->AddLine(vertices, x.data(), y.data(), z.data());
  }
}

// Contour rings of 100 vertices, 60 to 250 m across, scattered over the same
// square.
void FillContours(Sd_Lines3D* lines, int count) {
  const int vertices = 100;
  std::vector<double> x(vertices), y(vertices), z(vertices);
  for (int i = 0; i < count; ++i) {
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const double cx = 500000.0 + 20000.0 * (h % 10007) / 10007.0;
    const double cy = 6000000.0 + 20000.0 * (h / 10007 % 10009) / 10009.0;
    const double r = 60.0 + 190.0 * (h % 101) / 100.0;
    for (int k = 0; k < vertices; ++k) {
      const double a = 2.0 * M_PI * (k % (vertices - 1)) / (vertices - 1);
      x[k] = cx + r * (1.0 + 0.1 * std::sin(5.0 * a)) * std::cos(a);
      y[k] = cy + r * (1.0 + 0.1 * std::sin(5.0 * a)) * std::sin(a);
      z[k] = -10.0 * (i % 40);
    }
    lines->AddLine(vertices, x.data(), y.data(), z.data());
  }
}

LinesFile& ContourFile() {
  static const std::unique_ptr<LinesFile> file = [] {
    Sd_Lines3D lines;
    FillContours(&lines, orvanta_bench::Size(10000, 200));
    return std::make_unique<LinesFile>("contours", lines);
  }();
  return *file;
}

LinesFile& SurveyFile() {
  static const std::unique_ptr<LinesFile> file = [] {
    Sd_Lines3D lines;
    FillSurvey(&lines, orvanta_bench::Size(10000, 200), 100);
    return std::make_unique<LinesFile>("survey", lines);
  }();
  return *file;
}

// The file of a coastline-like ring, the small one for n 0, else the large
// one: bays at two scales and a jagged edge whose teeth are as long as the
// edges between the vertices.
LinesFile& RingFile(int n) {
  auto make = [](int count) {
    Sd_Lines3D* ring = new Sd_Lines3D();
    ring->SetPolygonMode(1);
    std::vector<double> x(count + 1), y(count + 1), z(count + 1, -5.0);
    const double edge = 2.0 * M_PI / count;
    for (int i = 0; i < count; ++i) {
      const double a = edge * i;
      const unsigned h = static_cast<unsigned>(i) * 2654435761u;
      const double r = 1.0 + 0.15 * std::sin(5.0 * a) + 0.05 * std::sin(23.0 * a) + (h % 1000 / 1000.0 - 0.5) * edge;
      x[i] = 500000.0 + 5000.0 * r * std::cos(a);
      y[i] = 6000000.0 + 5000.0 * r * std::sin(a);
    }
    x[count] = x[0];
    y[count] = y[0];
    ring->AddLine(count + 1, x.data(), y.data(), z.data());
    return ring;
  };
  static const std::unique_ptr<LinesFile> smallFile = [&make] {
    std::unique_ptr<Sd_Lines3D> ring(make(orvanta_bench::Size(10000, 1000)));
    return std::make_unique<LinesFile>("ring_small", *ring);
  }();
  static const std::unique_ptr<LinesFile> largeFile = [&make] {
    std::unique_ptr<Sd_Lines3D> ring(make(orvanta_bench::Size(100000, 10000)));
    return std::make_unique<LinesFile>("ring_large", *ring);
  }();
  return n == 0 ? *smallFile : *largeFile;
}

void BM_LoadLines(benchmark::State& state) { orvanta_bench::LoadBody(state, SurveyFile().path, SurveyFile().bytes); }
BENCHMARK(BM_LoadLines)->Unit(benchmark::kMillisecond);

void BM_LoadRatio(benchmark::State& state) {
  LinesFile& f = SurveyFile();
  orvanta_bench::LoadOverFreadBody(state, f.path, f.bytes);
  state.counters["MiB"] = f.bytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadRatio)->Unit(benchmark::kMillisecond);

void BM_PolygonGrowth(benchmark::State& state) {
  LinesFile& small = RingFile(0);
  LinesFile& large = RingFile(1);
  orvanta_bench::SpanPairs spans;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    Sd_Node* a = LoadThroughFactory(small.path);
    const auto t1 = Clock::now();
    Sd_Node* b = LoadThroughFactory(large.path);
    const auto t2 = Clock::now();
    const Sd_Lines3D* ring = b ? dynamic_cast<const Sd_Lines3D*>(b->GetFirstChild()) : nullptr;
    if (!a || !ring || !ring->GetLines()[0].triangleValid) state.SkipWithError("the ring was not triangulated");
    Sd_GroupNode::DeleteTree(a);
    Sd_GroupNode::DeleteTree(b);
    spans.Add(t0, t1, t2);
  }
  // Ceiling 20 for ten times the vertices.
  state.counters["large_over_small"] = spans.Ratio();
  state.counters["large_over_small_target"] = 20.0;
  state.counters["small_ms"] = spans.FirstMs();
  state.counters["large_ms"] = spans.SecondMs();
}
BENCHMARK(BM_PolygonGrowth)->Unit(benchmark::kMillisecond);

// --- frames ---

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// One compatibility-profile context drawing into a framebuffer object of
// the view's size, with the contours and the survey lines loaded; ok is
// false without one.
struct GLView {
  orvanta_bench::GLContext gl{kViewWidth, kViewHeight};
  Sd_Node* roots[2] = {nullptr, nullptr};
  Sd_Lines3D* contours = nullptr;
  Sd_Lines3D* survey = nullptr;
  bool ok = false;

  GLView() {
    if (!gl.ok) return;
    roots[0] = LoadThroughFactory(ContourFile().path);
    roots[1] = LoadThroughFactory(SurveyFile().path);
    contours = roots[0] ? dynamic_cast<Sd_Lines3D*>(roots[0]->GetFirstChild()) : nullptr;
    survey = roots[1] ? dynamic_cast<Sd_Lines3D*>(roots[1]->GetFirstChild()) : nullptr;
    ok = contours && survey;
  }
  ~GLView() {
    for (Sd_Node* root : roots) Sd_GroupNode::DeleteTree(root);
  }

  // The whole line set seen from above, as the viewer shows a file it has
  // just read: most of the view's height.
  static void Frame(Sd_Lines3D* lines) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.7 * kViewWidth / kViewHeight, 0.7 * kViewWidth / kViewHeight, -0.7, 0.7, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Sd_Node::BeginFrame(25000.0f);
    lines->Render();
    glFinish();
  }
  static void FullDetail(Sd_Lines3D* lines) { lines->ResetSettings(); }
  static void ViewerDetail(Sd_Lines3D* lines) {
    lines->SetDetailStep(1);
    lines->SetLevelOfDetail(1);
  }
};

GLView& TheView() {
  static GLView view;
  return view;
}

// The contours (or the survey lines) of the view; null, with the benchmark
// skipped, without an OpenGL context.
Sd_Lines3D* ViewLines(benchmark::State& state, bool survey) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return nullptr;
  }
  return survey ? v.survey : v.contours;
}

void Frames(benchmark::State& state, bool full) {
  Sd_Lines3D* lines = ViewLines(state, false);
  if (!lines) return;
  for (auto _ : state) {
    full ? GLView::FullDetail(lines) : GLView::ViewerDetail(lines);
    GLView::Frame(lines);
  }
  state.counters["step"] = lines->GetDetailStep();
}
void BM_FrameFullDetail(benchmark::State& state) { Frames(state, true); }
BENCHMARK(BM_FrameFullDetail)->Unit(benchmark::kMillisecond);
void BM_FrameDetail25000(benchmark::State& state) { Frames(state, false); }
BENCHMARK(BM_FrameDetail25000)->Unit(benchmark::kMillisecond);

void FrameRatio(benchmark::State& state, bool survey) {
  Sd_Lines3D* lines = ViewLines(state, survey);
  if (!lines) return;
  orvanta_bench::DetailOverFullBody(
      state, [lines] { GLView::FullDetail(lines); }, [lines] { GLView::ViewerDetail(lines); },
      [lines] { GLView::Frame(lines); });
  state.counters["step"] = lines->GetDetailStep();
}
void BM_FrameRatio(benchmark::State& state) {
  FrameRatio(state, false);
  // Ceiling 0.1: a frame at detail budget 25000 costs at most a tenth of a full-detail frame.
  state.counters["detail_over_full_target"] = 0.1;
}
BENCHMARK(BM_FrameRatio)->Unit(benchmark::kMillisecond);
void BM_SurveyFrameRatio(benchmark::State& state) { FrameRatio(state, true); }
BENCHMARK(BM_SurveyFrameRatio)->Unit(benchmark::kMillisecond);

}  // namespace

ORVANTA_BENCH_MAIN()
