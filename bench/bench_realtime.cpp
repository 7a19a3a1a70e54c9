// Real-time terrain model: attaching to a 4096 x 4096 block (the grid laid
// over the block's rows, nothing copied) against loading the same grid from
// a '.sd' file in the page cache, both through the object factory.
//
// Target: attaching costs at most 1/100 of the load ("attach_over_load",
// with its ceiling as "attach_over_load_target").
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "BenchMain.h"
#include "BenchMeasure.h"
#include "BenchSizes.h"
#include "Sd_AllClasses.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "Sd_RealTimeDTM.h"
#include "Sv_Colour.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

using orvanta_bench::Clock;

// A block of side x side nodes published by this process for as long as it
// lives.
struct Block {
  std::string name;
  void* view = MAP_FAILED;
  size_t bytes = 0;
  explicit Block(int side) {
    name = "orvanta-bench-realtime-" + std::to_string(getpid());
    const Sd_RealTimeLayout layout = Sd_RealTimeLayout::Of(side, side);
    bytes = layout.bytes;
    const int fd = shm_open(("/" + name).c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0) return;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
      view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    close(fd);
    if (view == MAP_FAILED) return;
    unsigned char* b = static_cast<unsigned char*>(view);
    const int header[2] = {side, side};
    const unsigned short codes[3] = {1, 65535, 0};
    const float bounds[6] = {0.0f, 4095.0f, 0.0f, 4095.0f, -100.0f, 0.0f};
    memcpy(b, header, 8);
    memcpy(b + 8, codes, 6);
    memcpy(b + 16, bounds, 24);
    for (int r = 0; r < side; ++r) {
      unsigned short* e = reinterpret_cast<unsigned short*>(b + layout.ElevationRow(r));
      unsigned int* c = reinterpret_cast<unsigned int*>(b + layout.ColourRow(r));
      for (int k = 0; k < side; ++k) {
        e[k] = static_cast<unsigned short>(1 + (r + k) % 60000);
        c[k] = PackColour(static_cast<unsigned>(r) & 0xFF, static_cast<unsigned>(k) & 0xFF, 90, 255);
      }
    }
  }
  ~Block() {
    if (view != MAP_FAILED) munmap(view, bytes);
    shm_unlink(("/" + name).c_str());
  }
  bool Ok() const { return view != MAP_FAILED; }
};

// The objects a file gives, read into a root that goes with it.
double ReadSeconds(const std::string& path, int* objects) {
  Sd_Parent* root = new Sd_Parent();
  const auto t0 = Clock::now();
  Sd_IOSupport(root).ReadSDFile(path.c_str());
  const double s = orvanta_bench::Seconds(t0, Clock::now());
  *objects = 0;
  for (Sd_Node* c = root->GetFirstChild(); c; c = c->GetNext()) ++*objects;
  Sd_GroupNode::DeleteTree(root);
  return s;
}

void BM_AttachOverLoad(benchmark::State& state) {
  Sd_RegisterAllClasses();
  const int side = orvanta_bench::Size(4096, 256);
  Block block(side);
  if (!block.Ok()) {
    state.SkipWithError("no shared memory");
    return;
  }
  const std::string record = orvanta_bench::TempPath("realtime");
  const std::string grid = orvanta_bench::TempPath("realtime-grid");
  {
    TDR_Manager m;
    bool ok = m.OpenFile(record.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
              Sd_RealTimeDTM::WriteRecord(&m, block.name.c_str(), 0) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
    ok = m.CloseFile() == 0 && ok;
    // The same grid as an ordinary file: what the attached terrain saves.
    Sd_Parent* root = new Sd_Parent();
    Sd_IOSupport(root).ReadSDFile(record.c_str());
    TDR_Manager g;
    ok = ok && root->GetFirstChild() && g.OpenFile(grid.c_str(), "wb") == 0 && g.WriteHeader() == 0 &&
         root->GetFirstChild()->SaveObject(&g, 1, 0) == 0 && g.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
    ok = g.CloseFile() == 0 && ok;
    Sd_GroupNode::DeleteTree(root);
    if (!ok) {
      state.SkipWithError("writing the files");
      return;
    }
  }
  int objects = 0;
  ReadSeconds(grid, &objects);  // into the page cache
  orvanta_bench::SpanPairs spans;
  for (auto _ : state) {
    int a = 0, b = 0;
    const double load = ReadSeconds(grid, &b);
    const double attach = ReadSeconds(record, &a);
    if (a != 1 || b != 1) state.SkipWithError("nothing read");
    spans.Add(load, attach);
  }
  state.counters["load_ms"] = spans.FirstMs();
  state.counters["attach_ms"] = spans.SecondMs();
  state.counters["attach_over_load"] = spans.Ratio();
  state.counters["attach_over_load_target"] = 0.01;
  unlink(record.c_str());
  unlink(grid.c_str());
}
BENCHMARK(BM_AttachOverLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

ORVANTA_BENCH_MAIN()
