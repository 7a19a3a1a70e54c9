#include "AllocationWatch.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define ORVANTA_WATCH_ALLOCATIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANTA_WATCH_ALLOCATIONS 1
#endif
#endif

#ifdef ORVANTA_WATCH_ALLOCATIONS
// The AddressSanitizer runtime calls these hooks on every allocation and free.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));
#endif

namespace orvanta_test {

namespace {

// The blocks recorded, in an open-addressing table that the hooks fill and
// empty without allocating. A block that finds no free slot within the probe
// window marks the count as lost.
constexpr size_t kSlots = size_t(1) << 16;
constexpr size_t kProbe = 64;
std::atomic<uintptr_t> g_blocks[kSlots];
std::atomic<bool> g_on{false};
pthread_t g_thread;
std::atomic<size_t> g_largest{0};
std::atomic<long> g_held{0};
std::atomic<bool> g_overflow{false};

size_t SlotOf(uintptr_t p) { return static_cast<size_t>(((p >> 4) * 0x9E3779B97F4A7C15ull) >> 48) % kSlots; }

[[maybe_unused]] void OnMalloc(const volatile void* block, size_t size) {
  if (!g_on.load(std::memory_order_relaxed) || !pthread_equal(pthread_self(), g_thread)) return;
  size_t prev = g_largest.load(std::memory_order_relaxed);
  while (size > prev && !g_largest.compare_exchange_weak(prev, size)) {
  }
  const uintptr_t p = reinterpret_cast<uintptr_t>(block);
  const size_t slot = SlotOf(p);
  for (size_t i = 0; i < kProbe; ++i) {
    uintptr_t empty = 0;
    if (g_blocks[(slot + i) % kSlots].compare_exchange_strong(empty, p)) {
      g_held.fetch_add(1);
      return;
    }
  }
  g_overflow = true;
}

[[maybe_unused]] void OnFree(const volatile void* block) {
  if (!block || g_held.load(std::memory_order_relaxed) == 0) return;
  uintptr_t p = reinterpret_cast<uintptr_t>(block);
  const size_t slot = SlotOf(p);
  for (size_t i = 0; i < kProbe; ++i) {
    if (g_blocks[(slot + i) % kSlots].compare_exchange_strong(p, 0)) {
      g_held.fetch_sub(1);
      return;
    }
    p = reinterpret_cast<uintptr_t>(block);
  }
}

bool InstallHooks() {
#ifdef ORVANTA_WATCH_ALLOCATIONS
  static const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  return installed > 0;
#else
  return false;
#endif
}

}  // namespace

bool AllocationWatch::Available() { return InstallHooks(); }

AllocationWatch::AllocationWatch() {
  InstallHooks();
  g_largest = 0;
  g_overflow = false;
  g_thread = pthread_self();
  g_on = true;
}

AllocationWatch::~AllocationWatch() {
  g_on = false;
  // An empty count means an empty table, unless blocks were lost.
  if (g_held.load() != 0 || g_overflow.load()) {
    for (auto& b : g_blocks) b.store(0);
    g_held = 0;
  }
}

void AllocationWatch::Stop() { g_on = false; }

size_t AllocationWatch::Largest() const { return g_largest.load(); }

long AllocationWatch::Held() const { return g_overflow.load() ? -1 : g_held.load(); }

}  // namespace orvanta_test
