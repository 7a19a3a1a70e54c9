// The seismic curtain: loading an '.sd' file with a curtain of 4000 traces
// x 2000 samples (RGB) through the object factory against one fread of the
// file's bytes (load_over_fread, ceiling in load_over_fread_target), and in
// an OpenGL context of its own the first upload of the tiles and the frame
// times of the low-resolution (mode 0) and full-resolution (mode 1) curtain.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchLoad.h"
#include "BenchSizes.h"
#include "Sd_Seismic.h"
#include "Sd_SurveyClasses.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

int Traces() { return orvanta_bench::Size(4000, 300); }
int Samples() { return orvanta_bench::Size(2000, 200); }

// A curtain of Traces() x Samples() pixels along a curved track.
std::unique_ptr<Sd_Seismic> MakeCurtain() {
  const int w = Traces(), h = Samples();
  std::vector<double> xy;
  for (int k = 0; k < w; ++k) {
    xy.push_back(500000.0 + 12.5 * k);
    xy.push_back(6000000.0 + 2000.0 * std::sin(3.0 * k / w));
  }
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  std::unique_ptr<Sd_Seismic> curtain(new Sd_Seismic());
  if (image->SetData(w, h, rgb.data(), 1) != 0 ||
      curtain->SetCurtain(xy.data(), w, -4000.0, 0.0, std::move(image)) != 0) {
    return nullptr;
  }
  return curtain;
}

// The file, written once per process and removed at its end.
struct TempFile {
  std::string path;
  ~TempFile() {
    if (!path.empty()) unlink(path.c_str());
  }
};

const std::string& CurtainFile(long long* bytes) {
  static TempFile file;
  std::string& path = file.path;
  static long long size = 0;
  if (path.empty()) {
    char name[] = "/tmp/orvanta_bench_seismicXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
      *bytes = 0;
      return path;
    }
    close(fd);
    path = name;
    std::unique_ptr<Sd_Seismic> curtain = MakeCurtain();
    TDR_Manager m;
    if (curtain && m.OpenFile(name, "wb") == 0 && m.WriteHeader() == 0 && curtain->SaveObject(&m, 1, 0) == 0 &&
        m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0) {
      FILE* f = fopen(name, "rb");
      if (f) {
        fseek(f, 0, SEEK_END);
        size = ftell(f);
        fclose(f);
      }
    }
    if (size == 0) {
      unlink(name);
      path.clear();
    }
  }
  *bytes = size;
  return path;
}

void BM_LoadCurtainOverFread(benchmark::State& state) {
  Sd_RegisterSurveyClasses();
  long long bytes = 0;
  const std::string& path = CurtainFile(&bytes);
  if (path.empty()) {
    state.SkipWithError("write");
    return;
  }
  orvanta_bench::LoadOverFreadBody(state, path, bytes);
}
BENCHMARK(BM_LoadCurtainOverFread)->Unit(benchmark::kMillisecond)->Iterations(5);

// Frames of the whole curtain in a 1024 x 768 view, from the side.
void FrameBody(benchmark::State& state, int mode) {
  static orvanta_bench::GLContext gl(1024, 768);
  if (!gl.ok) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  std::unique_ptr<Sd_Seismic> curtain = MakeCurtain();
  if (!curtain) {
    state.SkipWithError("curtain");
    return;
  }
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-0.6, 0.6, -0.6, 0.6, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(-80.0f, 1.0f, 0.0f, 0.0f);
  Sd_Node::SetDetailBudget(0.0f);
  curtain->SetTextureMode(mode);
  curtain->SetLodStep(1);
  // The first frame uploads the textures.
  const auto t0 = std::chrono::steady_clock::now();
  curtain->Render();
  glFinish();
  const auto t1 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    curtain->Render();
    glFinish();
  }
  state.counters["first_frame_ms"] = std::chrono::duration<double, std::milli>(t1 - t0).count();
  curtain->GetTexture()->ReleaseTextures();
}

void BM_CurtainFrameLowRes(benchmark::State& state) { FrameBody(state, 0); }
void BM_CurtainFrameTiles(benchmark::State& state) { FrameBody(state, 1); }
BENCHMARK(BM_CurtainFrameLowRes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CurtainFrameTiles)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

ORVANTA_BENCH_MAIN()
