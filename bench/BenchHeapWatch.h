#ifndef ORVANTA_BENCHHEAPWATCH_H
#define ORVANTA_BENCHHEAPWATCH_H

// The heap a benchmark program takes: g_inUse (bytes in use) and g_peak
// (their largest value since it was last set). For programs of one source
// file only: this header defines the program's malloc family.

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

// ------------------------------------------------------------ heap watch
// Outside sanitizer builds the program's malloc family is wrapped to follow
// the bytes in use and their peak (the libraries' allocations included).
#if defined(__SANITIZE_ADDRESS__)
#define BENCH_NO_HEAP_WATCH 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BENCH_NO_HEAP_WATCH 1
#endif
#endif

namespace {
std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};
// Blocks of 1 MiB and more count with the size asked for: an aligned block
// carries up to its alignment in unused address space, which takes no
// memory. Smaller blocks count with their usable size.
constexpr size_t kLarge = 1 << 20;
constexpr int kLargeSlots = 256;
std::atomic<void*> g_largeBlock[kLargeSlots];
std::atomic<long long> g_largeSize[kLargeSlots];
[[maybe_unused]] void Taken(void* p, size_t asked) {
  if (!p) return;
  long long n = static_cast<long long>(malloc_usable_size(p));
  if (asked >= kLarge) {
    for (int i = 0; i < kLargeSlots; ++i) {
      void* empty = nullptr;
      if (g_largeBlock[i].compare_exchange_strong(empty, p)) {
        g_largeSize[i] = static_cast<long long>(asked);
        n = static_cast<long long>(asked);
        break;
      }
    }
  }
  const long long now = g_inUse += n;
  long long peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}
[[maybe_unused]] void Given(void* p) {
  if (!p) return;
  long long n = static_cast<long long>(malloc_usable_size(p));
  if (static_cast<size_t>(n) >= kLarge) {
    for (int i = 0; i < kLargeSlots; ++i) {
      void* block = p;
      if (g_largeBlock[i].load() == p && g_largeBlock[i].compare_exchange_strong(block, nullptr)) {
        n = g_largeSize[i];
        break;
      }
    }
  }
  g_inUse -= n;
}
}  // namespace

#ifndef BENCH_NO_HEAP_WATCH
extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  Taken(p, n);
  return p;
}
void free(void* p) {
  Given(p);
  __libc_free(p);
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  Taken(p, n * size);
  return p;
}
void* realloc(void* p, size_t n) {
  const size_t old = p ? malloc_usable_size(p) : 0;
  Given(p);
  void* q = __libc_realloc(p, n);
  if (q) {
    Taken(q, n);
  } else if (n) {
    Taken(p, old);  // failed: p is still held
  }
  return q;
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  Taken(p, n);
  return p;
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}
#endif

namespace {

bool HeapWatched() {
#ifdef BENCH_NO_HEAP_WATCH
  return false;
#else
  return true;
#endif
}

// The heap a step takes: made just before the step, it restarts the peak;
// Peak() is the most in use above the level it found since then, Kept()
// what is in use above that level now (both 0 when the heap is not watched).
struct HeapMark {
  long long before = g_inUse.load();
  HeapMark() { g_peak = before; }
  long long Peak() const { return g_peak.load() - before; }
  long long Kept() const { return g_inUse.load() - before; }
};

}  // namespace

#endif
