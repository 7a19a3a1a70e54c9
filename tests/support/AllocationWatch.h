#ifndef ORVANTA_ALLOCATIONWATCH_H
#define ORVANTA_ALLOCATIONWATCH_H

#include <cstddef>

namespace orvanta_test {

// Watches the heap blocks that the calling thread allocates while the watch
// runs: the largest single block, and how many of them are still held (not
// freed by any thread) when asked. Readers of hostile files are held to
// allocate no more than the file could describe, and to give back all they
// took once their objects are gone.
//
// The sizes come from the AddressSanitizer runtime, which reports every
// allocation to a hook; in builds without it nothing is watched
// (Available() is false, Largest() and Held() stay 0). One watch at a time.
class AllocationWatch {
 public:
  // Allocations of a reader that do not depend on the file: stdio buffers,
  // header lines, message texts.
  static constexpr size_t kFixedAllocations = 16384;

  static bool Available();

  AllocationWatch();  // starts watching
  ~AllocationWatch();
  AllocationWatch(const AllocationWatch&) = delete;
  AllocationWatch& operator=(const AllocationWatch&) = delete;

  // Stops recording new blocks; frees of the blocks recorded are still seen.
  void Stop();
  size_t Largest() const;
  // Blocks recorded and not freed since; -1 when there were too many blocks
  // to follow.
  long Held() const;
};

}  // namespace orvanta_test

#endif
