#ifndef SV_WORKERS_H
#define SV_WORKERS_H

// Worker threads for the passes over large data (sounding decoding and
// binning, iso-surfaces, image decoding, terrain contours and volumes). A
// pass splits its items into one contiguous share per worker; worker w
// takes share w, and whatever the workers gather is combined in share order
// afterwards, so a pass gives exactly what one loop over all items in order
// gives, on any number of processors.

#include <atomic>
#include <cstddef>
#include <new>
#include <thread>
#include <vector>

namespace sv_workers {

// Processors this process may run on (at least 1, at most kMaxWorkers).
constexpr int kMaxWorkers = 16;
int ProcessorCount();

// Items a worker takes at the least: smaller passes run on fewer workers,
// and a pass of fewer items runs on the calling thread alone.
constexpr size_t kDefaultMinShare = size_t(1) << 16;
// The least share from now on (0 restores the default); the one before.
// Tests lower it to run the worker paths on small data sets.
size_t SetMinShare(size_t items);
size_t MinShare();

// The most workers a pass uses from now on (0 restores the processor
// count; at most kMaxWorkers); the limit before. Tests set it to run the
// worker paths, with uneven shares, on any machine.
int SetWorkerLimit(int workers);

// Test hook: from now on share w of every pass throws std::bad_alloc before
// its work, as when memory runs out there (-1, the default: none); the
// share before. Tests make a pass fail on a worker thread with it.
int SetFailingShare(int w);
int FailingShare();

// Workers for a pass over items (1 when the pass is small), never more
// than the processors (or the limit set).
int WorkerCount(size_t items);

// First item of share w of items split among workers shares.
inline size_t ShareBegin(size_t items, int workers, int w) {
  return static_cast<size_t>(static_cast<unsigned long long>(items) * static_cast<unsigned>(w) /
                             static_cast<unsigned>(workers));
}

// Runs work(w) for w = 0 ... workers - 1, on worker threads and the
// calling thread, and returns once all have finished: true when every
// share ran to its end. A share that throws ends there; its exception is
// caught where it ran, the other shares run to their end, every thread is
// joined and the result is false, so a failed pass comes back to its
// caller as a failure (never as std::terminate). A thread that cannot be
// started leaves its share to the calling thread.
template <class Work>
[[nodiscard]] bool RunWorkers(int workers, Work work) {
  std::atomic<bool> failed{false};
  const auto share = [&](int w) noexcept {
    try {
      if (w == FailingShare()) throw std::bad_alloc();
      work(w);
    } catch (...) {
      failed.store(true);
    }
  };
  if (workers <= 1) {
    share(0);
    return !failed.load();
  }
  std::vector<std::thread> threads;
  std::vector<int> left;
  try {
    threads.reserve(static_cast<size_t>(workers));
    left.reserve(static_cast<size_t>(workers));
  } catch (...) {
    // No room to keep threads: the calling thread runs every share.
    for (int w = 0; w < workers; ++w) share(w);
    return !failed.load();
  }
  for (int w = 1; w < workers; ++w) {
    try {
      threads.emplace_back([&share, w] { share(w); });
    } catch (...) {
      left.push_back(w);
    }
  }
  share(0);
  for (int w : left) share(w);
  for (std::thread& t : threads) t.join();
  return !failed.load();
}

// Runs work(w, begin, end) over the shares of items; the result is
// RunWorkers'.
template <class Work>
[[nodiscard]] bool RunShares(size_t items, int workers, Work work) {
  return RunWorkers(workers,
                    [&](int w) { work(w, ShareBegin(items, workers, w), ShareBegin(items, workers, w + 1)); });
}

}  // namespace sv_workers

#endif
