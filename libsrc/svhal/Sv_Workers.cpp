// Worker threads for the passes over large data.
#include "Sv_Workers.h"

#include <sched.h>

#include <algorithm>
#include <atomic>

namespace sv_workers {

namespace {

std::atomic<size_t> g_minShare{kDefaultMinShare};
std::atomic<int> g_workerLimit{0};
std::atomic<int> g_failingShare{-1};

}  // namespace

int ProcessorCount() {
  // The processors this process may run on (a container or a task set may
  // allow fewer than the machine has), read once.
  static const int count = [] {
    int n = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
    if (n < 1) n = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(n, 1, kMaxWorkers);
  }();
  return count;
}

size_t SetMinShare(size_t items) { return g_minShare.exchange(items ? items : kDefaultMinShare); }

size_t MinShare() { return g_minShare.load(); }

int SetFailingShare(int w) { return g_failingShare.exchange(w); }

int FailingShare() { return g_failingShare.load(std::memory_order_relaxed); }

int SetWorkerLimit(int workers) { return g_workerLimit.exchange(std::clamp(workers, 0, kMaxWorkers)); }

int WorkerCount(size_t items) {
  const int limit = g_workerLimit.load();
  const size_t most = static_cast<size_t>(limit > 0 ? limit : ProcessorCount());
  return static_cast<int>(std::clamp<size_t>(items / std::max<size_t>(MinShare(), 1), 1, most));
}

}  // namespace sv_workers
