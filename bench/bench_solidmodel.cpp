// Solid models: loading a model of 1 000 000 triangles (a wavy surface of
// 501 x 1001 vertices with a normal each and one material) against reading
// the file's bytes with fread, and the cost of a frame of it at the
// viewer's default detail budget (25000) against a full-detail frame.
//
// Targets: a load takes at most twice the fread of the same bytes into a
// buffer that is already paged in; a frame at budget 25000 costs at most a
// tenth of a full-detail frame. Each ratio benchmark times the two
// alternatives back to back in every iteration and reports the median of
// the per-iteration ratios, next to its ceiling as a counter of the same
// name with "_target" appended.
//
// The frames need an OpenGL context (an X server, e.g. xvfb-run); without
// one the frame benchmarks are skipped with an error.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchLoad.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_SolidModel.h"
#include "Sv_Lighting.h"

namespace {

// The model, written once to a temporary '.sd' file: rows x cols cells of
// two triangles each over 1000 x 500 m, heights a few metres of waves.
struct ModelFile {
  int rows = 0, cols = 0;
  std::unique_ptr<orvanta_bench::SDFile> file;

  ModelFile() {
    rows = orvanta_bench::Size(500, 20);
    cols = 2 * rows;
    const int w = cols + 1;
    std::vector<double> v;
    std::vector<float> n;
    v.reserve(3u * (rows + 1) * w);
    n.reserve(3u * (rows + 1) * w);
    for (int r = 0; r <= rows; ++r) {
      for (int c = 0; c <= cols; ++c) {
        const double x = 1000.0 * c / cols, y = 500.0 * r / rows;
        const double z = 5.0 * std::sin(x / 40.0) * std::cos(y / 30.0);
        const double dx = 5.0 / 40.0 * std::cos(x / 40.0) * std::cos(y / 30.0);
        const double dy = -5.0 / 30.0 * std::sin(x / 40.0) * std::sin(y / 30.0);
        const double len = std::sqrt(dx * dx + dy * dy + 1.0);
        v.insert(v.end(), {x, y, z});
        n.insert(n.end(), {static_cast<float>(-dx / len), static_cast<float>(-dy / len), static_cast<float>(1.0 / len)});
      }
    }
    std::vector<Sd_SolidModel::Face> faces;
    faces.reserve(2u * rows * cols);
    auto corner = [&](int r, int c) { return r * w + c; };
    auto face = [&](int a, int b, int c) {
      const unsigned short na = static_cast<unsigned short>(a % 65536), nb = static_cast<unsigned short>(b % 65536),
                           nc = static_cast<unsigned short>(c % 65536);
      faces.push_back({a, b, c, {na, nb, nc}, {65535, 65535, 65535}, 0});
    };
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        face(corner(r, c), corner(r, c + 1), corner(r + 1, c + 1));
        face(corner(r, c), corner(r + 1, c + 1), corner(r + 1, c));
      }
    }
    // Normal indices are 16 bits wide, so a model addresses at most 65536
    // normals: this one keeps the first 65536 and each corner takes the one
    // its vertex number wraps to (the shading is off, the cost the same).
    const int normalCount = std::min(static_cast<int>(n.size() / 3), 65536);
    Sd_SolidModel model;
    const unsigned char ambient[4] = {50, 50, 60, 255}, diffuse[4] = {160, 160, 190, 255}, specular[4] = {40, 40, 40, 255};
    model.AddMaterial("Hull", ambient, diffuse, specular, 10, 0);
    if (model.SetGeometry(static_cast<int>(v.size() / 3), v.data(), normalCount, n.data(), 0, nullptr,
                          static_cast<int>(faces.size()), faces.data()) != 0) {
      abort();
    }
    file = std::make_unique<orvanta_bench::SDFile>("bench_solidmodel", model);
    Sd_RegisterAllClasses();
  }
};

ModelFile& TheFile() {
  static ModelFile file;
  return file;
}

void BM_LoadRatio(benchmark::State& state) {
  ModelFile& t = TheFile();
  orvanta_bench::LoadOverFreadBody(state, t.file->path, t.file->bytes);
  state.counters["triangles"] = 2.0 * t.rows * t.cols;
  state.counters["file_MiB"] = t.file->bytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadRatio)->Unit(benchmark::kMillisecond);

// --- frames ---

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// The model loaded, drawn in a context of the view's size with a light
// set registered; ok is false when no context can be made.
struct GLView {
  orvanta_bench::GLContext gl{kViewWidth, kViewHeight};
  Sv_Lighting lights;
  Sd_Node* root = nullptr;
  Sd_SolidModel* model = nullptr;
  bool ok = false;

  GLView() {
    if (!gl.ok) return;
    lights.SetLightParam(1, SV_LIGHT_DIFFUSE, 0.8f, 0.8f, 0.8f, 1.0f);
    lights.SetLightParam(1, SV_LIGHT_POSITION, -0.5f, 0.5f, 0.7071f, 0.0f);
    lights.Apply();
    Sd_Node::SetLighting(&lights);
    root = orvanta_bench::LoadThroughFactory(TheFile().file->path);
    model = root ? dynamic_cast<Sd_SolidModel*>(root->GetFirstChild()) : nullptr;
    ok = model != nullptr;
  }
  ~GLView() {
    Sd_Node::SetLighting(nullptr);
    Sd_GroupNode::DeleteTree(root);
  }

  // The whole model, seen from the south and above, drawn and finished.
  void Frame() const {
    orvanta_bench::BeginSouthAboveFrame(kViewWidth, kViewHeight);
    model->Render();
    glFinish();
  }
};

GLView& TheView() {
  static GLView view;
  return view;
}

// The view's model with the viewer's detail budget, or null (benchmark
// skipped) without an OpenGL context.
Sd_SolidModel* ViewModel(benchmark::State& state) {
  GLView& v = TheView();
  if (!v.ok) {
    state.SkipWithError("no OpenGL context");
    return nullptr;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  return v.model;
}

void BM_FrameRatio(benchmark::State& state) {
  Sd_SolidModel* model = ViewModel(state);
  if (!model) return;
  orvanta_bench::DetailOverFullBody(
      state, [model] { model->ResetSettings(); },  // every face
      [model] { model->SetLevelOfDetail(1); }, [] { TheView().Frame(); });
  // Ceiling 0.1: a frame at detail budget 25000 costs at most a tenth of a full-detail frame.
  state.counters["detail_over_full_target"] = 0.1;
  state.counters["step"] = model->GetDetailStep();
}
BENCHMARK(BM_FrameRatio)->Unit(benchmark::kMillisecond);

}  // namespace

ORVANTA_BENCH_MAIN()
