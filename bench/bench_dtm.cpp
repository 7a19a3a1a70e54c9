// Uniform terrain model: loading a terrain '.sd' file (heights and colours)
// against reading the file's bytes with fread, the heap that loading keeps,
// and the cost of a frame of the whole terrain at full detail against one
// at the viewer's default detail budget (25000).
//
// Targets: a load takes at most twice the fread time and keeps at most
// 1.25 x rows x cols x 6 bytes of heap; a frame at budget 25000 costs at
// most a tenth of a full-detail frame. The ratio benchmarks time the
// alternatives back to back in every iteration and report the medians of
// the per-iteration ratios.
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the frame benchmarks are skipped with an error.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchSizes.h"
#include "Sd_BasicDTM.h"
#include "Sd_DTMClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Heap in use (all arenas, small and mapped blocks).
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// A shaded hill of side x side nodes, written once to a temporary '.sd' file.
struct TerrainFile {
  int side = 0;
  std::string path;
  std::string cmap;
  long long bytes = 0;

  TerrainFile() {
    side = orvanta_bench::Size(4096, 64);
    const char* tmp = getenv("TMPDIR");
    const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_dtm_" + std::to_string(getpid());
    path = base + ".sd";
    cmap = base + ".cmap";
    std::vector<unsigned> colours(256);
    for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, 160, 255 - i, 255);
    if (TDR_UtlWriteColormap(cmap.c_str(), colours.data()) != 0) abort();

    Sd_BasicDTM dtm;
    if (dtm.CreateGrids(side, side) != 0) abort();
    unsigned short** h = dtm.GetElevationGrid();
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) {
        const double x = static_cast<double>(c) / (side - 1) - 0.5;
        const double y = static_cast<double>(r) / (side - 1) - 0.5;
        const double ripple = 0.08 * std::sin(40.0 * x) * std::cos(33.0 * y);
        const double v = std::exp(-(x * x + y * y) / 0.06) * 0.85 + 0.1 + ripple;
        h[r][c] = static_cast<unsigned short>(1.0 + 65534.0 * std::clamp(v, 0.0, 1.0));
      }
    }
    dtm.SetCodeRange(1, 65535);
    dtm.SetBounds(0, 500000.0f, 520000.0f);
    dtm.SetBounds(1, 6000000.0f, 6020000.0f);
    dtm.SetBounds(2, -200.0f, 800.0f);
    const float* d = dtm.GetShadingParameters();
    dtm.ShadeWithColorMap(d[0], d[1], d[2], d[3], d[4], d[5], 0.0, 1.0, cmap.c_str());

    TDR_Manager m;
    if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0 || dtm.SaveObject(&m, 1, 0) != 0 ||
        m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) {
      abort();
    }
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) abort();
    fseek(f, 0, SEEK_END);
    bytes = ftell(f);
    fclose(f);
    Sd_RegisterTerrainClasses();
  }
  ~TerrainFile() {
    unlink(path.c_str());
    unlink(cmap.c_str());
  }
};

TerrainFile& TheFile() {
  static TerrainFile file;
  return file;
}

// fread of the whole file into buffer (allocated fresh when null).
bool FreadFile(const TerrainFile& t, unsigned char* buffer) {
  unsigned char* own = buffer ? nullptr : static_cast<unsigned char*>(malloc(static_cast<size_t>(t.bytes)));
  unsigned char* into = buffer ? buffer : own;
  FILE* f = fopen(t.path.c_str(), "rb");
  bool ok = f && into && fread(into, 1, static_cast<size_t>(t.bytes), f) == static_cast<size_t>(t.bytes);
  if (f) fclose(f);
  benchmark::DoNotOptimize(into);
  free(own);
  return ok;
}

// Loads the file through the object factory; the caller deletes the root.
Sd_Node* LoadTerrain(const TerrainFile& t) {
  Sd_Parent* root = new Sd_Parent();
  Sd_Node* dtm = Sd_IOSupport(root).ReadSDFile(t.path.c_str());
  if (!dtm) {
    Sd_GroupNode::DeleteTree(root);
    return nullptr;
  }
  return root;
}

void BM_FreadFreshBuffer(benchmark::State& state) {
  TerrainFile& t = TheFile();
  for (auto _ : state) {
    if (!FreadFile(t, nullptr)) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.bytes);
}
BENCHMARK(BM_FreadFreshBuffer)->Unit(benchmark::kMillisecond);

void BM_FreadWarmBuffer(benchmark::State& state) {
  TerrainFile& t = TheFile();
  std::vector<unsigned char> buffer(static_cast<size_t>(t.bytes), 1);
  for (auto _ : state) {
    if (!FreadFile(t, buffer.data())) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.bytes);
}
BENCHMARK(BM_FreadWarmBuffer)->Unit(benchmark::kMillisecond);

void BM_LoadTerrain(benchmark::State& state) {
  TerrainFile& t = TheFile();
  double growth = 0.0;
  for (auto _ : state) {
    const size_t before = HeapInUse();
    Sd_Node* root = LoadTerrain(t);
    const size_t after = HeapInUse();
    if (!root) {
      state.SkipWithError("load failed");
      break;
    }
    state.PauseTiming();
    growth = std::max(growth, static_cast<double>(after) - static_cast<double>(before));
    Sd_GroupNode::DeleteTree(root);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.bytes);
  // Heap kept by a load, in units of rows x cols x 6 bytes.
  state.counters["heap_growth_per_6_bytes_a_node"] = growth / (6.0 * t.side * t.side);
  state.counters["heap_growth_MiB"] = growth / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadTerrain)->Unit(benchmark::kMillisecond);

void BM_LoadRatio(benchmark::State& state) {
  TerrainFile& t = TheFile();
  std::vector<unsigned char> buffer(static_cast<size_t>(t.bytes), 1);
  std::vector<double> fresh, warm;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    bool ok = FreadFile(t, nullptr);
    const auto t1 = Clock::now();
    ok = FreadFile(t, buffer.data()) && ok;
    const auto t2 = Clock::now();
    Sd_Node* root = LoadTerrain(t);
    const auto t3 = Clock::now();
    if (!ok || !root) state.SkipWithError("read");
    Sd_GroupNode::DeleteTree(root);
    fresh.push_back(Seconds(t2, t3) / Seconds(t0, t1));
    warm.push_back(Seconds(t2, t3) / Seconds(t1, t2));
  }
  state.counters["load_over_fread_fresh"] = Median(fresh);
  state.counters["load_over_fread_warm"] = Median(warm);
}
const bool g_loadRatio = [] {
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark("BM_LoadRatio", BM_LoadRatio);
  b->Unit(benchmark::kMillisecond);
  if (!orvanta_bench::Smoke()) b->MinTime(3.0);
  return true;
}();

// --- frames ---

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// One compatibility-profile context drawing into a framebuffer object of
// the view's size; null when no context can be made.
struct GLView {
  std::unique_ptr<QGuiApplication> app;
  std::unique_ptr<QOffscreenSurface> surface;
  std::unique_ptr<QOpenGLContext> context;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
  Sd_Node* terrain = nullptr;  // the loaded file's root
  Sd_BasicDTM* dtm = nullptr;
  bool ok = false;

  GLView() {
    static int argc = 1;
    static char name[] = "bench_dtm";
    static char* argv[] = {name, nullptr};
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) return;
    app.reset(new QGuiApplication(argc, argv));
    QSurfaceFormat format;
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    surface.reset(new QOffscreenSurface());
    surface->setFormat(format);
    surface->create();
    context.reset(new QOpenGLContext());
    context->setFormat(format);
    if (!context->create() || !context->makeCurrent(surface.get())) return;
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    fbo.reset(new QOpenGLFramebufferObject(kViewWidth, kViewHeight, fboFormat));
    if (!fbo->isValid() || !fbo->bind()) return;
    glViewport(0, 0, kViewWidth, kViewHeight);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    terrain = LoadTerrain(TheFile());
    dtm = terrain ? dynamic_cast<Sd_BasicDTM*>(terrain->GetFirstChild()) : nullptr;
    ok = dtm != nullptr;
  }
  ~GLView() {
    Sd_GroupNode::DeleteTree(terrain);
    if (context) context->doneCurrent();
  }

  // The whole terrain, seen from the south and above.
  void Frame() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(kViewWidth) / kViewHeight, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, -1.3, 1.1, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
    dtm->Render();
    glFinish();
  }
  void FullDetail() {
    dtm->SaveSettings();
    dtm->ResetSettings();
  }
  void ViewerDetail() {
    dtm->SetLODStep(10);
    dtm->SetAutoLOD(1);
  }
};

GLView& TheView() {
  static GLView view;
  return view;
}

void BM_FrameFullDetail(benchmark::State& state) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  v.FullDetail();
  for (auto _ : state) v.Frame();
  state.counters["stride"] = v.dtm->GetLODStep();
}
BENCHMARK(BM_FrameFullDetail)->Unit(benchmark::kMillisecond);

void BM_FrameDetail25000(benchmark::State& state) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  v.ViewerDetail();
  for (auto _ : state) v.Frame();
  state.counters["stride"] = v.dtm->GetLODStep();
}
BENCHMARK(BM_FrameDetail25000)->Unit(benchmark::kMillisecond);

void BM_FrameRatio(benchmark::State& state) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  std::vector<double> ratio;
  for (auto _ : state) {
    v.FullDetail();
    const auto t0 = Clock::now();
    v.Frame();
    const auto t1 = Clock::now();
    v.ViewerDetail();
    v.Frame();
    const auto t2 = Clock::now();
    ratio.push_back(Seconds(t1, t2) / Seconds(t0, t1));
  }
  state.counters["detail_over_full"] = Median(ratio);
}
BENCHMARK(BM_FrameRatio)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
