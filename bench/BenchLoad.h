#ifndef ORVANTA_BENCHLOAD_H
#define ORVANTA_BENCHLOAD_H

// Loading an SD file through the object factory, as the viewer does, and
// the benchmark bodies that time it: alone, and against one fread of the
// file's bytes into a buffer that is already paged in (the file in the page
// cache), reported as the median of the per-iteration ratios next to its
// ceiling of 2 ("load_over_fread" and "load_over_fread_target"); and a
// temporary SD file of one object, written once.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchFreshPair.h"
#include "BenchMeasure.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace orvanta_bench {

// A temporary SD file holding one object with its common tags, written on
// construction (the program aborts when it cannot be written) and removed
// with this.
struct SDFile {
  std::string path;
  long long bytes = 0;
  SDFile(const std::string& stem, Sd_Node& object) : path(TempPath(stem)) {
    TDR_Manager m;
    if (m.OpenFile(path.c_str(), "wb") != 0 || m.WriteHeader() != 0 || object.SaveObject(&m, 1, 0) != 0 ||
        m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) != 0 || m.CloseFile() != 0) {
      abort();
    }
    bytes = FileBytes(path);
    if (bytes < 0) abort();
  }
  ~SDFile() { unlink(path.c_str()); }
  SDFile(const SDFile&) = delete;
  SDFile& operator=(const SDFile&) = delete;
};

// The file's objects under a fresh root, which the caller deletes with
// Sd_GroupNode::DeleteTree; null when nothing was loaded.
inline Sd_Node* LoadThroughFactory(const std::string& path) {
  Sd_Parent* root = new Sd_Parent();
  if (!Sd_IOSupport(root).ReadSDFile(path.c_str())) {
    Sd_GroupNode::DeleteTree(root);
    return nullptr;
  }
  return root;
}

// Times loads of the file (deleting each tree outside the timing).
inline void LoadBody(benchmark::State& state, const std::string& path, long long bytes) {
  for (auto _ : state) {
    Sd_Node* root = LoadThroughFactory(path);
    if (!root) state.SkipWithError("load failed");
    state.PauseTiming();
    Sd_GroupNode::DeleteTree(root);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// Times an fread of the file and a load back to back in every iteration;
// also reports the median of each ("fread_ms", "load_ms").
inline void LoadOverFreadBody(benchmark::State& state, const std::string& path, long long bytes) {
  std::vector<unsigned char> buffer(static_cast<size_t>(bytes), 1);
  SpanPairs spans;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const bool ok = FreadWhole(path, bytes, buffer.data());
    const auto t1 = Clock::now();
    Sd_Node* root = LoadThroughFactory(path);
    const auto t2 = Clock::now();
    if (!ok || !root) state.SkipWithError("read");
    Sd_GroupNode::DeleteTree(root);
    spans.Add(t0, t1, t2);
  }
  // Ceiling 2: a load takes at most twice the fread into the paged-in buffer.
  state.counters["load_over_fread"] = spans.Ratio();
  state.counters["load_over_fread_target"] = 2.0;
  state.counters["fread_ms"] = spans.FirstMs();
  state.counters["load_ms"] = spans.SecondMs();
}

// Registers the fresh-process loader name (BenchFreshPair.h): an SD file
// loaded through the object factory, as the viewer opens it.
inline bool RegisterFactoryFreshLoad(const char* name) {
  return RegisterFreshLoad(
      name,
      [](const char* path, void** made) {
        Sd_RegisterAllClasses();
        *made = LoadThroughFactory(path);
        return *made != nullptr;
      },
      [](void* made) { Sd_GroupNode::DeleteTree(static_cast<Sd_Node*>(made)); });
}

}  // namespace orvanta_bench

#endif
