// Uniform and non-contiguous terrain models: loading a terrain '.sd' file
// (heights and colours) against reading the file's bytes with fread, the
// heap that loading keeps, and the cost of a frame of the whole terrain at
// full detail against one at the viewer's default detail budget (25000).
// The non-contiguous terrain ("Sonar" benchmarks) has the same heights with
// gaps: empty blocks and survey lines without data, about a sixth of the
// nodes.
//
// Targets (both terrains): a load takes at most twice the fread time and
// keeps at most 1.25 x rows x cols x 6 bytes of heap; a frame at budget
// 25000 costs at most a tenth of a full-detail frame. The load time is
// compared with an fread of the file (in the page cache) into a buffer that
// is already paged in. The ratio benchmarks time the alternatives back to
// back in every iteration and report the medians of the per-iteration
// ratios. Every ratio with a ceiling is reported next to it, as a counter of
// the same name with "_target" appended.
//
// Two more costs of the terrain path, both with a ceiling:
// - BestPassRatio: the best pass drawn step by step as the renderer drives it
//   (best-pass flag set, StepRender then glFlush per idle step, until the
//   pass reports finished) against one whole frame (Render) at the same
//   stride, the median of five; ceiling 1.2.
// - FreshLoadRatio: the first load of the 4096-square file in a fresh
//   process against a plain fread of its bytes into new memory in another
//   (BenchFreshPair.h); ceilings 1.25 (median) and 2 (worst pair).
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the frame benchmarks are skipped with an error.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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
#include "Sd_BasicDTM.h"
#include "Sd_GroupNode.h"
#include "Sd_SonarDTM.h"
#include "TDR_Colormap.h"
#include "TDR_Manager.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::HeapInUse;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

// True for the empty nodes of the non-contiguous terrain: blocks of a
// sixteenth of the side (one row of blocks in four, every second block of
// it) and rows 59 and 60 of every 61 (survey lines without data); about a
// sixth of the nodes.
bool InGap(int r, int c, int side) {
  const int block = std::max(1, side / 16);
  const bool inBlock = (r / block) % 4 == 1 && (c / block) % 2 == 1;
  return inBlock || r % 61 == 60 || r % 61 == 59;
}

// A shaded hill of side x side nodes, written once to a temporary '.sd'
// file: a uniform terrain, or a non-contiguous one with gaps (empty code 0).
struct TerrainFile {
  int side = 0;
  bool gaps = false;
  std::string path;
  std::string cmap;
  long long bytes = 0;

  explicit TerrainFile(bool withGaps) : gaps(withGaps) {
    side = orvanta_bench::Size(4096, 64);
    const char* tmp = getenv("TMPDIR");
    const std::string base =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_dtm_" + (gaps ? "gaps_" : "") + std::to_string(getpid());
    path = base + ".sd";
    cmap = base + ".cmap";
    std::vector<unsigned> colours(256);
    for (unsigned i = 0; i < 256; ++i) colours[i] = PackColour(i, 160, 255 - i, 255);
    if (TDR_UtlWriteColormap(cmap.c_str(), colours.data()) != 0) abort();

    std::unique_ptr<Sd_BaseDTM> dtm;
    if (gaps) {
      dtm.reset(new Sd_SonarDTM());
    } else {
      dtm.reset(new Sd_BasicDTM());
    }
    Fill(dtm.get());

    TDR_Manager m;
    if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0 || dtm->SaveObject(&m, 1, 0) != 0 ||
        m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) {
      abort();
    }
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) abort();
    fseek(f, 0, SEEK_END);
    bytes = ftell(f);
    fclose(f);
    Sd_RegisterAllClasses();
  }
  ~TerrainFile() {
    unlink(path.c_str());
    unlink(cmap.c_str());
  }

  void Fill(Sd_BaseDTM* dtm) const {
    if (dtm->CreateGrids(side, side) != 0) abort();
    unsigned short** h = dtm->GetElevationGrid();
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) {
        const double x = static_cast<double>(c) / (side - 1) - 0.5;
        const double y = static_cast<double>(r) / (side - 1) - 0.5;
        const double ripple = 0.08 * std::sin(40.0 * x) * std::cos(33.0 * y);
        const double v = std::exp(-(x * x + y * y) / 0.06) * 0.85 + 0.1 + ripple;
        h[r][c] = static_cast<unsigned short>(1.0 + 65534.0 * std::clamp(v, 0.0, 1.0));
        if (gaps && InGap(r, c, side)) h[r][c] = 0;
      }
    }
    dtm->SetCodeRange(1, 65535);
    dtm->SetBounds(0, 500000.0f, 520000.0f);
    dtm->SetBounds(1, 6000000.0f, 6020000.0f);
    dtm->SetBounds(2, -200.0f, 800.0f);
    const float* d = dtm->GetShadingParameters();
    dtm->ShadeWithColorMap(d[0], d[1], d[2], d[3], d[4], d[5], 0.0, 1.0, cmap.c_str());
  }
};

TerrainFile& TheFile() {
  static TerrainFile file(false);
  return file;
}

TerrainFile& TheGapFile() {
  static TerrainFile file(true);
  return file;
}

// fread of the whole file into buffer (allocated fresh when null).
bool FreadFile(const TerrainFile& t, unsigned char* buffer) {
  return orvanta_bench::FreadWhole(t.path, t.bytes, buffer);
}

// Loads the file through the object factory; the caller deletes the root.
Sd_Node* LoadTerrain(const TerrainFile& t) { return orvanta_bench::LoadThroughFactory(t.path); }

// fread of the uniform terrain's file, into a fresh buffer every time or
// into one warm buffer.
void FreadBench(benchmark::State& state, bool warmBuffer) {
  TerrainFile& t = TheFile();
  std::vector<unsigned char> buffer(warmBuffer ? static_cast<size_t>(t.bytes) : 0, 1);
  for (auto _ : state) {
    if (!FreadFile(t, warmBuffer ? buffer.data() : nullptr)) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * t.bytes);
}
void BM_FreadFreshBuffer(benchmark::State& state) { FreadBench(state, false); }
BENCHMARK(BM_FreadFreshBuffer)->Unit(benchmark::kMillisecond);
void BM_FreadWarmBuffer(benchmark::State& state) { FreadBench(state, true); }
BENCHMARK(BM_FreadWarmBuffer)->Unit(benchmark::kMillisecond);

void LoadTerrainBench(benchmark::State& state, TerrainFile& t) {
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
  // Heap kept by a load, in units of rows x cols x 6 bytes; ceiling 1.25.
  state.counters["heap_growth_over_6_bytes_a_node"] = growth / (6.0 * t.side * t.side);
  state.counters["heap_growth_over_6_bytes_a_node_target"] = 1.25;
  state.counters["heap_growth_MiB"] = growth / (1024.0 * 1024.0);
}
void BM_LoadTerrain(benchmark::State& state) { LoadTerrainBench(state, TheFile()); }
BENCHMARK(BM_LoadTerrain)->Unit(benchmark::kMillisecond);
void BM_LoadSonarTerrain(benchmark::State& state) { LoadTerrainBench(state, TheGapFile()); }
BENCHMARK(BM_LoadSonarTerrain)->Unit(benchmark::kMillisecond);

void LoadRatio(benchmark::State& state, TerrainFile& t) {
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
  // Ceiling 2: a load takes at most twice the fread into the paged-in buffer.
  state.counters["load_over_fread"] = Median(warm);
  state.counters["load_over_fread_target"] = 2.0;
  // No ceiling: the fread into a new buffer also pays for paging the buffer in.
  state.counters["load_over_fresh_buffer_fread"] = Median(fresh);
}

// Registers a benchmark of the uniform terrain ("BM_<name>") and one of the
// non-contiguous terrain ("BM_Sonar<name>"); run gets gaps false for the
// first, true for the second. A minTime above 0 applies outside smoke runs.
void RegisterBothTerrains(const std::string& name, void (*run)(benchmark::State&, bool gaps), double minTime = 0.0) {
  for (bool gaps : {false, true}) {
    benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(
        ((gaps ? "BM_Sonar" : "BM_") + name).c_str(), [run, gaps](benchmark::State& state) { run(state, gaps); });
    b->Unit(benchmark::kMillisecond);
    if (minTime > 0.0 && !orvanta_bench::Smoke()) b->MinTime(minTime);
  }
}

const bool g_loadRatio = [] {
  RegisterBothTerrains(
      "LoadRatio", [](benchmark::State& state, bool gaps) { LoadRatio(state, gaps ? TheGapFile() : TheFile()); }, 3.0);
  return true;
}();

// --- frames ---

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// One compatibility-profile context drawing into a framebuffer object of
// the view's size, with both terrains loaded; ok is false when no context
// can be made.
struct GLView {
  orvanta_bench::GLContext gl{kViewWidth, kViewHeight};
  Sd_Node* terrain = nullptr;  // the loaded files' roots
  Sd_Node* gapTerrain = nullptr;
  Sd_BasicDTM* dtm = nullptr;
  Sd_SonarDTM* sonar = nullptr;
  bool ok = false;

  GLView() {
    if (!gl.ok) return;
    terrain = LoadTerrain(TheFile());
    gapTerrain = LoadTerrain(TheGapFile());
    dtm = terrain ? dynamic_cast<Sd_BasicDTM*>(terrain->GetFirstChild()) : nullptr;
    sonar = gapTerrain ? dynamic_cast<Sd_SonarDTM*>(gapTerrain->GetFirstChild()) : nullptr;
    ok = dtm && sonar;
  }
  ~GLView() {
    Sd_GroupNode::DeleteTree(terrain);
    Sd_GroupNode::DeleteTree(gapTerrain);
  }

  // The whole terrain, seen from the south and above.
  static void Frame(Sd_Node* node) {
    Clear();
    Camera();
    node->Render();
    glFinish();
  }
  static void Clear() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static void Camera() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(kViewWidth) / kViewHeight, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, -1.3, 1.1, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
  }
  // A cleared view with the camera set, the clear done before any timing.
  static void Setup() {
    Clear();
    Camera();
    glFinish();
  }
  static void FullDetail(Sd_BaseDTM* node) {
    node->SaveSettings();
    node->ResetSettings();
  }
  static void ViewerDetail(Sd_BaseDTM* node) {
    node->SetLODStep(10);
    node->SetAutoLOD(1);
  }
};

GLView& TheView() {
  static GLView view;
  return view;
}

// The uniform terrain of the view, or the non-contiguous one, with the
// viewer's detail budget; null, with the benchmark skipped, when there is no
// OpenGL context.
Sd_BaseDTM* ViewTerrain(benchmark::State& state, bool gaps) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return nullptr;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  return gaps ? static_cast<Sd_BaseDTM*>(v.sonar) : v.dtm;
}

// Frames at one detail setting; the stride it comes to.
void FramesAt(benchmark::State& state, bool gaps, void (*detail)(Sd_BaseDTM*)) {
  Sd_BaseDTM* dtm = ViewTerrain(state, gaps);
  if (!dtm) return;
  detail(dtm);
  for (auto _ : state) GLView::Frame(dtm);
  state.counters["stride"] = dtm->GetLODStep();
}

void FrameRatio(benchmark::State& state, bool gaps) {
  Sd_BaseDTM* dtm = ViewTerrain(state, gaps);
  if (!dtm) return;
  std::vector<double> ratio;
  for (auto _ : state) {
    GLView::FullDetail(dtm);
    const auto t0 = Clock::now();
    GLView::Frame(dtm);
    const auto t1 = Clock::now();
    GLView::ViewerDetail(dtm);
    GLView::Frame(dtm);
    const auto t2 = Clock::now();
    ratio.push_back(Seconds(t1, t2) / Seconds(t0, t1));
  }
  // Ceiling 0.1: a frame at detail budget 25000 costs at most a tenth of a full-detail frame.
  state.counters["detail_over_full"] = Median(ratio);
  state.counters["detail_over_full_target"] = 0.1;
}

// The best pass as the work area drives it: the best-pass flag set, one
// StepRender and a glFlush per idle step until the pass reports finished;
// then one whole frame at the stride the pass drew with.
void BestPassRatio(benchmark::State& state, bool gaps) {
  Sd_BaseDTM* dtm = ViewTerrain(state, gaps);
  if (!dtm) return;
  std::vector<double> ratio, stepped, whole;
  int steps = 0;
  int stride = 0;
  for (auto _ : state) {
    GLView::ViewerDetail(dtm);
    Sd_Node::SetBestPass(1);
    GLView::Setup();
    const auto t0 = Clock::now();
    steps = 0;
    for (bool finished = false; !finished && steps < 1000000; ++steps) {
      finished = dtm->StepRender() != 0;
      glFlush();
    }
    glFinish();
    const auto t1 = Clock::now();
    Sd_Node::SetBestPass(0);
    stride = dtm->GetStepIncrement();
    dtm->SetLODStep(stride);
    dtm->SetAutoLOD(0);
    GLView::Setup();
    const auto t2 = Clock::now();
    dtm->Render();
    glFinish();
    const auto t3 = Clock::now();
    stepped.push_back(Seconds(t0, t1));
    whole.push_back(Seconds(t2, t3));
    ratio.push_back(Seconds(t0, t1) / Seconds(t2, t3));
  }
  GLView::ViewerDetail(dtm);
  // Ceiling 1.2: the pass drawn in steps costs at most 1.2 x one frame at its stride.
  state.counters["best_pass_over_frame"] = Median(ratio);
  state.counters["best_pass_over_frame_target"] = 1.2;
  state.counters["best_pass_ms"] = 1e3 * Median(stepped);
  state.counters["frame_ms"] = 1e3 * Median(whole);
  state.counters["steps"] = steps;
  state.counters["stride"] = stride;
}

const bool g_frames = [] {
  RegisterBothTerrains("FrameFullDetail",
                       [](benchmark::State& state, bool gaps) { FramesAt(state, gaps, GLView::FullDetail); });
  RegisterBothTerrains("FrameDetail25000",
                       [](benchmark::State& state, bool gaps) { FramesAt(state, gaps, GLView::ViewerDetail); });
  RegisterBothTerrains("FrameRatio", FrameRatio);
  // A pass and a frame take a second or more each: a fixed number of them,
  // so that the median ratio is not one sample taken on a busy machine.
  for (bool gaps : {false, true}) {
    benchmark::RegisterBenchmark(gaps ? "BM_SonarBestPassRatio" : "BM_BestPassRatio",
                                 [gaps](benchmark::State& state) { BestPassRatio(state, gaps); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(orvanta_bench::Smoke() ? 1 : 5);
  }
  return true;
}();

// --- the first load in a fresh process ---

const bool g_freshLoad = [] {
  orvanta_bench::RegisterFactoryFreshLoad("terrain");
  orvanta_bench::RegisterFreshPairs("BM_FreshLoadRatio", "terrain", [] { return TheFile().path; });
  orvanta_bench::RegisterFreshPairs("BM_SonarFreshLoadRatio", "terrain", [] { return TheGapFile().path; });
  return true;
}();

}  // namespace

ORVANTA_BENCH_MAIN()
