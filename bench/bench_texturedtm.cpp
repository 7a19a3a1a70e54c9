// The textured terrain: a 4096 x 4096 terrain under an 8192 x 8192 RGB
// image (129 x 129 under 512 x 512 in the smoke run).
//
// - load_over_fread (ceiling 2 in load_over_fread_target): loading the '.sd'
//   file through the object factory against one fread of its bytes into
//   fresh memory (load_over_paged_in_fread: into memory already paged in);
//   the tiles are read straight from the image, so loading copies no pixels.
// - detail_over_full (ceiling 0.1 in detail_over_full_target): a frame of
//   the whole terrain at detail budget 25000, in the texture mode the load
//   gives it, against a frame at full detail (full-resolution tiles, stride
//   1), textures already uploaded; the upload of every tile at the first
//   bind is reported apart (first_upload_ms).

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchLoad.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_DTMClasses.h"
#include "Sd_TextureDTM.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"

namespace {

int GridSide() { return orvanta_bench::Size(4096, 129); }
int ImageSide() { return orvanta_bench::Size(8192, 512); }

// The terrain: a gentle dome with scattered empty nodes, under an image of
// noise.
std::unique_ptr<Sd_TextureDTM> MakeTerrain() {
  const int n = GridSide(), side = ImageSide();
  std::unique_ptr<Sd_TextureDTM> dtm(new Sd_TextureDTM());
  if (dtm->CreateGrids(n, n) != 0) return nullptr;
  for (int r = 0; r < n; ++r) {
    unsigned short* h = dtm->GetElevationGrid()[r];
    unsigned int* c = dtm->GetColorGrid()[r];
    for (int k = 0; k < n; ++k) {
      const double x = 2.0 * k / (n - 1) - 1.0, y = 2.0 * r / (n - 1) - 1.0;
      h[k] = ((r * 131 + k * 71) % 997 == 0) ? 0 : static_cast<unsigned short>(1 + 60000.0 * (1.0 - 0.5 * (x * x + y * y)));
      c[k] = 0xFF808080u;
    }
  }
  dtm->SetCodeRange(1, 60001);
  dtm->SetBounds(0, 500000.0f, 540950.0f);
  dtm->SetBounds(1, 6000000.0f, 6040950.0f);
  dtm->SetBounds(2, -200.0f, 0.0f);
  std::vector<unsigned char> rgb(static_cast<size_t>(side) * side * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (image->SetData(side, side, rgb.data(), 1) != 0 || dtm->SetImage(std::move(image)) != 0) return nullptr;
  return dtm;
}

// The terrain's file, written once (the program aborts when it cannot be).
orvanta_bench::SDFile& TheFile() {
  static orvanta_bench::SDFile file("orvanta_bench_texturedtm", [] () -> Sd_Node& {
    static std::unique_ptr<Sd_TextureDTM> dtm = MakeTerrain();
    if (!dtm) abort();
    return *dtm;
  }());
  return file;
}

// One fread of the file's bytes into fresh memory from the allocator the
// image and the grids come from, as the load's own reads go; and one into a
// buffer already paged in.
double TimedFread(const orvanta_bench::SDFile& file, unsigned char* warm) {
  const auto t0 = orvanta_bench::Clock::now();
  unsigned char* target = warm ? warm : static_cast<unsigned char*>(calloc(static_cast<size_t>(file.bytes), 1));
  if (!target || !orvanta_bench::FreadWhole(file.path, file.bytes, target)) abort();
  const double seconds = orvanta_bench::Seconds(t0, orvanta_bench::Clock::now());
  if (!warm) free(target);
  return seconds;
}

void BM_LoadTexturedTerrainOverFread(benchmark::State& state) {
  Sd_RegisterTerrainClasses();
  orvanta_bench::SDFile& file = TheFile();
  std::vector<unsigned char> warm(static_cast<size_t>(file.bytes), 1);
  std::vector<double> fresh, paged, load, ratio, warmRatio;
  for (auto _ : state) {
    fresh.push_back(TimedFread(file, nullptr));
    paged.push_back(TimedFread(file, warm.data()));
    const auto t0 = orvanta_bench::Clock::now();
    Sd_Node* root = orvanta_bench::LoadThroughFactory(file.path);
    load.push_back(orvanta_bench::Seconds(t0, orvanta_bench::Clock::now()));
    if (!root || !dynamic_cast<Sd_TextureDTM*>(root->GetFirstChild())) state.SkipWithError("load");
    Sd_GroupNode::DeleteTree(root);
    ratio.push_back(load.back() / fresh.back());
    warmRatio.push_back(load.back() / paged.back());
  }
  // Ceiling 2: a load takes at most twice an fread into fresh memory.
  state.counters["load_over_fread"] = orvanta_bench::Median(ratio);
  state.counters["load_over_fread_target"] = 2.0;
  state.counters["load_over_paged_in_fread"] = orvanta_bench::Median(warmRatio);
  state.counters["load_ms"] = 1e3 * orvanta_bench::Median(load);
  state.counters["fread_ms"] = 1e3 * orvanta_bench::Median(fresh);
  state.counters["paged_in_fread_ms"] = 1e3 * orvanta_bench::Median(paged);
}
BENCHMARK(BM_LoadTexturedTerrainOverFread)->Unit(benchmark::kMillisecond)->Iterations(5);

constexpr int kViewWidth = 1024, kViewHeight = 768;

// The whole terrain from the south and above.
void Frame(Sd_Node* node) {
  orvanta_bench::BeginSouthAboveFrame(kViewWidth, kViewHeight);
  node->Render();
  glFinish();
}

void BM_TexturedFrameDetailOverFull(benchmark::State& state) {
  static orvanta_bench::GLContext gl(kViewWidth, kViewHeight);
  if (!gl.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  Sd_RegisterTerrainClasses();
  Sd_Node* root = orvanta_bench::LoadThroughFactory(TheFile().path);
  Sd_TextureDTM* dtm = root ? dynamic_cast<Sd_TextureDTM*>(root->GetFirstChild()) : nullptr;
  if (!dtm) {
    state.SkipWithError("load");
    Sd_GroupNode::DeleteTree(root);
    return;
  }
  Sd_Node::SetDetailBudget(25000.0f);
  const int loadedMode = dtm->GetTextureMode();
  // The first bind uploads every tile.
  const auto t0 = orvanta_bench::Clock::now();
  dtm->GetTexture()->BindTile(0, 0);
  glFinish();
  const double uploadMs = 1e3 * orvanta_bench::Seconds(t0, orvanta_bench::Clock::now());
  dtm->GetTexture()->Unbind();
  orvanta_bench::DetailOverFullBody(
      state, [dtm] { dtm->ResetSettings(); },
      [dtm, loadedMode] {
        dtm->SetLODStep(10);
        dtm->SetAutoLOD(1);
        dtm->SetTextureMode(loadedMode);
      },
      [dtm] { Frame(dtm); });
  state.counters["detail_over_full_target"] = 0.1;
  state.counters["first_upload_ms"] = uploadMs;
  state.counters["loaded_texture_mode"] = loadedMode;
  dtm->GetTexture()->ReleaseTextures();
  Sd_GroupNode::DeleteTree(root);
}
BENCHMARK(BM_TexturedFrameDetailOverFull)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

ORVANTA_BENCH_MAIN()
