// Tiled textures of a large image (8192 x 8192 RGBA; 512 x 512 in the smoke
// run): Sv_TexturedSurface::SetImage against one memcpy of the image's
// bytes, with the heap it takes; and the first BindTile, which uploads
// every tile (1024) straight from the image through the pixel-store row
// length and skips, against uploading as many 256 x 256 textures from one
// contiguous buffer of the same pixels, in the same run.
//
// The ratio counters are medians of per-iteration ratios, each iteration
// timing the plain operation and the surface's back to back; a counter's
// ceiling is the sibling counter named "<name>_target".
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "BenchMain.h"
#include "BenchGLContext.h"
#include "BenchHeapWatch.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sv_2DData.h"
#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

const int kTile = Sv_TexturedSurface::kTileSide;

// The image is held as the image readers hold what they read (the image
// library's allocator: huge pages where the system gives them).
struct Picture {
  int side = 0;
  Sv_ImageIO image;
  Picture() {
    Sv_Debug::SetLevel(-99);
    side = orvanta_bench::Size(8192, 512);
    if (image.AllocatePixels(side, side, SV_2D_RGBA, "bench_texture") != 0) abort();
    for (int y = 0; y < side; ++y) {
      unsigned char* row = image.GetRow(y);
      for (int x = 0; x < side; ++x) {
        row[4 * x] = static_cast<unsigned char>(x / 16 + y / 24);
        row[4 * x + 1] = static_cast<unsigned char>(x ^ y);
        row[4 * x + 2] = static_cast<unsigned char>(3 * x + y);
        row[4 * x + 3] = 255;
      }
    }
  }
};

Picture& ThePicture() {
  static Picture picture;
  return picture;
}

// Ceilings: SetImage takes at most 2 x one memcpy of the image's bytes (into
// memory touched before), and the heap it takes at its peak is at most the
// low-resolution copy + 1 MiB.
void BM_SetImage(benchmark::State& state) {
  Picture& p = ThePicture();
  const size_t bytes = p.image.GetByteSize();
  unsigned char* copy = static_cast<unsigned char*>(malloc(bytes));
  if (!copy) abort();
  memset(copy, 1, bytes);
  const double allowance = static_cast<double>(kTile) * kTile * 4 + (1 << 20);
  orvanta_bench::SpanPairs spans;
  long long peak = 0, kept = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    memcpy(copy, p.image.GetData(), bytes);
    benchmark::DoNotOptimize(copy);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    std::unique_ptr<Sv_TexturedSurface> surface(new Sv_TexturedSurface());
    const HeapMark heap;
    const auto t2 = Clock::now();
    if (surface->SetImage(&p.image) != 0 || !surface->GetLowRes()) state.SkipWithError("SetImage");
    const auto t3 = Clock::now();
    peak = std::max(peak, heap.Peak());
    kept = heap.Kept();
    spans.Add(Seconds(t0, t1), Seconds(t2, t3));
  }
  free(copy);
  state.counters["set_image_over_memcpy"] = spans.Ratio();
  state.counters["set_image_over_memcpy_target"] = 2.0;
  state.counters["set_image_ms"] = spans.SecondMs();
  state.counters["memcpy_ms"] = spans.FirstMs();
  if (HeapWatched()) {
    state.counters["set_image_heap_over_allowance"] = static_cast<double>(peak) / allowance;
    state.counters["set_image_heap_over_allowance_target"] = 1.0;
    state.counters["set_image_heap_peak_kib"] = static_cast<double>(peak) / 1024;
    state.counters["set_image_heap_kept_kib"] = static_cast<double>(kept) / 1024;
  }
}

// Uploads count textures of 256 x 256 from tight buffers (tile k from
// tiles + k * stride) with the tiles' filtering and wrap, and waits for
// them; the textures are deleted afterwards, untimed.
double TimedPlainUploads(const unsigned char* tiles, size_t stride, int count) {
  std::vector<GLuint> names(count);
  const auto t0 = Clock::now();
  glGenTextures(count, names.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int k = 0; k < count; ++k) {
    glBindTexture(GL_TEXTURE_2D, names[k]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTile, kTile, 0, GL_RGBA, GL_UNSIGNED_BYTE, tiles + k * stride);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glFinish();
  const auto t1 = Clock::now();
  glDeleteTextures(count, names.data());
  glFinish();
  return Seconds(t0, t1);
}

// Ceiling 1.25: the first BindTile (every tile uploaded from the image)
// takes at most 1.25 x uploading as many 256 x 256 textures from one
// contiguous buffer that holds the same pixels tile after tile (as many
// bytes as the image, each texture's pixels in one piece):
// <name>_over_contiguous. For comparison, without a ceiling, the same
// uploads all from one 256 x 256 buffer (<name>_over_cached_tile): that
// buffer stays in the processor's cache, while the image's bytes come from
// memory, so that ratio shows the memory's speed more than the upload's.
void BM_FirstBindTile(benchmark::State& state) {
  static orvanta_bench::GLContext gl(64, 64);
  if (!gl.ok) {
    state.SkipWithError("no OpenGL context (run under xvfb-run)");
    return;
  }
  Picture& p = ThePicture();
  const int across = p.side / kTile, count = across * across;
  const size_t tileBytes = static_cast<size_t>(kTile) * kTile * 4;
  std::vector<unsigned char> one(tileBytes);
  std::vector<unsigned char> tileMajor(tileBytes * count);
  for (int k = 0; k < count; ++k)
    for (int r = 0; r < kTile; ++r)
      memcpy(&tileMajor[k * tileBytes + r * kTile * 4],
             p.image.GetRow((k / across) * kTile + r) + (k % across) * kTile * 4, kTile * 4);
  memcpy(one.data(), tileMajor.data(), tileBytes);

  Sv_TexturedSurface surface;
  if (surface.SetImage(&p.image) != 0) abort();
  orvanta_bench::SpanPairs overContiguous;  // the contiguous uploads, then the first bind
  std::vector<double> overCached;
  for (auto _ : state) {
    const double contiguous = TimedPlainUploads(tileMajor.data(), tileBytes, count);
    const auto t0 = Clock::now();
    if (surface.BindTile(0, 0) != 0) state.SkipWithError("BindTile");
    glFinish();
    const auto t1 = Clock::now();
    surface.ReleaseTextures();
    glFinish();
    const double cached = TimedPlainUploads(one.data(), 0, count);
    const double bind = Seconds(t0, t1);
    overContiguous.Add(contiguous, bind);
    overCached.push_back(bind / cached);
  }
  state.counters["first_bind_over_contiguous"] = overContiguous.Ratio();
  state.counters["first_bind_over_contiguous_target"] = 1.25;
  state.counters["first_bind_over_cached_tile"] = Median(overCached);
  state.counters["first_bind_ms"] = overContiguous.SecondMs();
  state.counters["contiguous_ms"] = overContiguous.FirstMs();
  state.counters["tiles"] = count;
}

const bool g_registered =
    orvanta_bench::RegisterFixedRuns({{"BM_SetImage", BM_SetImage}, {"BM_FirstBindTile", BM_FirstBindTile}}, 9);

}  // namespace

ORVANTA_BENCH_MAIN()
