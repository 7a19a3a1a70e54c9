// Reading large images from the page cache: the image record of a TDR file
// against one fread of its pixel bytes, and TIFF (LZW and uncompressed) and
// JPEG files against the library's own plain decode loop into one buffer;
// with the heap each read takes at its peak and keeps, over the image's
// bytes.
//
// The ratio counters are medians of per-iteration ratios, each iteration
// timing the plain read and the image read back to back, so that load on
// the machine hits both alike; a counter's ceiling is the sibling counter
// named "<name>_target". Both reads put the pixels into new memory from the
// same allocator (the plain read into one buffer it allocates, the image
// read into its image), so both pay the same page faults and the ratio
// shows what the image read adds.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_Platform.h"
#include "Sv_Workers.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"

#include "BenchHeapWatch.h"

namespace {

using orvanta_bench::Clock;
using orvanta_bench::Median;
using orvanta_bench::Seconds;

// A photograph-like picture: smooth gradients with a little noise.
unsigned char Sample(int x, int y, int k) {
  const unsigned hash = (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u) ^
                        (static_cast<unsigned>(k) * 83492791u);
  return static_cast<unsigned char>((x / 16 + y / 24 + 60 * k + static_cast<int>(hash % 9)) & 0xFF);
}

void Fill(Sv_ImageIO* image, int side, int format) {
  if (image->Allocate(side, side, format) != 0) abort();
  const int channels = image->GetChannels();
  for (int y = 0; y < side; ++y) {
    unsigned char* row = image->GetRow(y);
    for (int x = 0; x < side; ++x)
      for (int k = 0; k < channels; ++k) row[x * channels + k] = k == 3 ? 255 : Sample(x, y, k);
  }
}

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
  }
  return bytes;
}

struct Files {
  int side = 0;
  std::string base, record, lzw, raw, jpeg;
  long recordPixels = 0;    // offset of the record's pixels
  size_t recordBytes = 0;   // RGBA bytes
  size_t rgbBytes = 0;

  Files() {
    Sv_Debug::SetLevel(-99);
    side = orvanta_bench::Size(8192, 256);
    base = orvanta_bench::TempPath("bench_image", "");
    record = base + ".sd";
    lzw = base + "_lzw.tif";
    raw = base + "_raw.tif";
    jpeg = base + ".jpg";
    {
      Sv_ImageIO rgba;
      Fill(&rgba, side, SV_2D_RGBA);
      recordBytes = rgba.GetByteSize();
      TDR_Manager m;
      if (m.OpenFile(record.c_str(), "wb") != 0 || m.WriteHeader() != 0 || rgba.SaveToTDR(&m) != 0 ||
          m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) {
        abort();
      }
    }
    {
      TDR_Manager m;
      TDR_Scalar s;
      int format;
      if (m.OpenFile(record.c_str(), "rb") != 0 || m.ReadHeader() != 0 || m.ReadTag(nullptr) != TDR_TAG_SCALAR ||
          s.Read(&m) != 0 || !TDR_PayloadReader(&m).Int32(&format)) {
        abort();
      }
      recordPixels = ftell(m.GetFilePtr());
    }
    Sv_ImageIO rgb;
    Fill(&rgb, side, SV_2D_RGB);
    rgbBytes = rgb.GetByteSize();
    if (rgb.WriteImage(lzw.c_str(), SV_IMAGE_TIFF, COMPRESSION_LZW) != 0 ||
        rgb.WriteImage(raw.c_str(), SV_IMAGE_TIFF, COMPRESSION_NONE) != 0 ||
        rgb.WriteImage(jpeg.c_str(), SV_IMAGE_JPEG, 90) != 0) {
      abort();
    }
    for (const std::string* p : {&record, &lzw, &raw, &jpeg}) ReadWhole(*p);  // into the page cache
  }
  ~Files() {
    for (const std::string* p : {&record, &lzw, &raw, &jpeg}) unlink(p->c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// ---------------------------------------------------------- plain reads

// New memory for a plain read, from the allocator the images use.
struct FreshBuffer {
  explicit FreshBuffer(size_t bytes) : data(static_cast<unsigned char*>(Sv_PlatformAllocLarge(bytes))) {
    if (!data) abort();
  }
  ~FreshBuffer() { free(data); }
  FreshBuffer(const FreshBuffer&) = delete;
  FreshBuffer& operator=(const FreshBuffer&) = delete;
  unsigned char* data;
};

// Times a plain read into new memory (the release is not timed).
double TimedPlainRead(size_t bytes, const std::function<bool(unsigned char*)>& read, benchmark::State& state) {
  const auto t0 = Clock::now();
  FreshBuffer* buffer = new FreshBuffer(bytes);
  if (!read(buffer->data)) state.SkipWithError("plain read");
  const auto t1 = Clock::now();
  delete buffer;
  return Seconds(t0, t1);
}

bool FreadPixels(const Files& f, unsigned char* buffer) {
  FILE* file = fopen(f.record.c_str(), "rb");
  if (!file) return false;
  fseek(file, f.recordPixels, SEEK_SET);
  const bool ok = fread(buffer, 1, f.recordBytes, file) == f.recordBytes;
  fclose(file);
  benchmark::DoNotOptimize(buffer);
  return ok;
}

// libtiff's own loop: every strip decoded into one buffer, one after another.
bool TiffStrips(const std::string& path, unsigned char* buffer, size_t bytes) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return false;
  size_t done = 0;
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  for (tstrip_t s = 0; s < strips; ++s) {
    const tmsize_t n = TIFFReadEncodedStrip(tif, s, buffer + done, static_cast<tmsize_t>(bytes - done));
    if (n < 0) break;
    done += static_cast<size_t>(n);
  }
  TIFFClose(tif);
  benchmark::DoNotOptimize(buffer);
  return done == bytes;
}

// libjpeg's own loop: RGB rows into one buffer, top row first.
bool JpegRows(const std::string& path, unsigned char* buffer) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * 3;
  JSAMPROW rows[16];
  while (cinfo.output_scanline < cinfo.output_height) {
    const int n = std::min(cinfo.rec_outbuf_height, 16);
    for (int i = 0; i < n; ++i) rows[i] = buffer + (cinfo.output_scanline + i) * rowBytes;
    jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  fclose(file);
  benchmark::DoNotOptimize(buffer);
  return true;
}

// ---------------------------------------------------------- image reads

struct HeapUse {
  long long peak = 0;  // above the bytes in use before the read
  long long kept = 0;  // still in use after it, the image included
};

// Reads with the image alive until the heap figures are taken; the time
// covers the read only.
double TimedImageRead(const std::function<int(Sv_ImageIO*)>& read, HeapUse* heap) {
  Sv_ImageIO* image = new Sv_ImageIO;
  const HeapMark mark;
  const auto t0 = Clock::now();
  const int result = read(image);
  const auto t1 = Clock::now();
  heap->peak = mark.Peak();
  heap->kept = mark.Kept();
  if (result != 0) abort();
  delete image;
  return Seconds(t0, t1);
}

// One ratio benchmark: per iteration the plain read into new memory, the
// image read, and, for comparison, the plain read into memory it has
// touched before (no page faults). Counters, with name = the counter's
// stem: <name>_over_plain (ceiling <name>_over_plain_target when target >
// 0), <name>_over_touched, the median times <name>_ms and plain_ms, and,
// outside sanitizer builds, the heap the image read takes at its peak and
// keeps over the image's bytes (<name>_heap_over_image, ceiling 1.01, and
// <name>_kept_over_image).
void RatioBench(benchmark::State& state, const std::string& name, double target, size_t bytes,
                const std::function<bool(unsigned char*)>& plain, const std::function<int(Sv_ImageIO*)>& read) {
  std::vector<unsigned char> touched(bytes, 1);
  orvanta_bench::SpanPairs overPlain;  // the plain read, then the image read
  std::vector<double> overTouched;
  HeapUse heap;
  for (auto _ : state) {
    const double base = TimedPlainRead(bytes, plain, state);
    const double t = TimedImageRead(read, &heap);
    const auto t0 = Clock::now();
    if (!plain(touched.data())) state.SkipWithError("plain read");
    const double warm = Seconds(t0, Clock::now());
    overPlain.Add(base, t);
    overTouched.push_back(t / warm);
  }
  state.counters[name + "_over_plain"] = overPlain.Ratio();
  if (target > 0) state.counters[name + "_over_plain_target"] = target;
  state.counters[name + "_over_touched"] = Median(overTouched);
  state.counters[name + "_ms"] = overPlain.SecondMs();
  state.counters["plain_ms"] = overPlain.FirstMs();
  if (HeapWatched()) {
    state.counters[name + "_heap_over_image"] = static_cast<double>(heap.peak) / static_cast<double>(bytes);
    state.counters[name + "_heap_over_image_target"] = 1.01;
    state.counters[name + "_kept_over_image"] = static_cast<double>(heap.kept) / static_cast<double>(bytes);
  }
}

// Ceiling 1.5: LoadFromTDR of the RGBA record takes at most 1.5 x one fread of its pixel bytes.
void BM_ImageRecord(benchmark::State& state) {
  Files& f = TheFiles();
  RatioBench(state, "record", 1.5, f.recordBytes, [&](unsigned char* buffer) { return FreadPixels(f, buffer); },
             [&](Sv_ImageIO* image) {
               TDR_Manager m;
               if (m.OpenFile(f.record.c_str(), "rb") != 0 || m.ReadHeader() != 0) return -1;
               return image->LoadFromTDR(&m);
             });
}

// ReadImage of the RGB LZW TIFF, its strips decoded on the machine's cores,
// takes at most 4 / cores x libtiff's strip loop into one buffer on one
// thread, and never more than 1.1 x (0.5 x with 8 cores; the cores in
// "cores").
void BM_TiffLzw(benchmark::State& state) {
  Files& f = TheFiles();
  const int cores = sv_workers::ProcessorCount();
  RatioBench(state, "lzw_tiff", std::min(1.10, 4.0 / cores), f.rgbBytes,
             [&](unsigned char* buffer) { return TiffStrips(f.lzw, buffer, f.rgbBytes); },
             [&](Sv_ImageIO* image) { return image->ReadImage(f.lzw.c_str()); });
  state.counters["cores"] = cores;
}

// No ceiling: the uncompressed TIFF, for comparison.
void BM_TiffUncompressed(benchmark::State& state) {
  Files& f = TheFiles();
  RatioBench(state, "raw_tiff", 0.0, f.rgbBytes,
             [&](unsigned char* buffer) { return TiffStrips(f.raw, buffer, f.rgbBytes); },
             [&](Sv_ImageIO* image) { return image->ReadImage(f.raw.c_str()); });
}

// Ceiling 1.10: ReadImage of the RGB JPEG takes at most 1.1 x libjpeg's row loop into one buffer.
void BM_Jpeg(benchmark::State& state) {
  Files& f = TheFiles();
  RatioBench(state, "jpeg", 1.10, f.rgbBytes, [&](unsigned char* buffer) { return JpegRows(f.jpeg, buffer); },
             [&](Sv_ImageIO* image) { return image->ReadImage(f.jpeg.c_str()); });
}

const bool g_registered = orvanta_bench::RegisterFixedRuns({{"BM_ImageRecord", BM_ImageRecord},
                                                            {"BM_TiffLzw", BM_TiffLzw},
                                                            {"BM_TiffUncompressed", BM_TiffUncompressed},
                                                            {"BM_Jpeg", BM_Jpeg}},
                                                           7);

// The uncompressed TIFF read first in a fresh process, against a plain
// fread of the file in another (BenchFreshPair.h).
const bool g_fresh = [] {
  orvanta_bench::RegisterFreshLoad(
      "image",
      [](const char* path, void** made) {
        Sv_ImageIO* image = new Sv_ImageIO();
        *made = image;
        return image->ReadImage(path) == 0;
      },
      [](void* made) { delete static_cast<Sv_ImageIO*>(made); });
  orvanta_bench::RegisterFreshPairs("BM_TiffFreshLoadRatio", "image", [] { return TheFiles().raw; });
  return true;
}();

}  // namespace

ORVANTA_BENCH_MAIN()
