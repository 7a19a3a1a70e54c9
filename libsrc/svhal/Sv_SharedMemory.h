#ifndef SV_SHAREDMEMORY_H
#define SV_SHAREDMEMORY_H

#include <cstddef>

// A named shared-memory block written by another program. The viewer only
// attaches; it never creates a block.
class Sv_SharedMemory {
 public:
  Sv_SharedMemory();
  // Closes the handle but leaves the view mapped (see Close).
  ~Sv_SharedMemory();

  // Opens the existing block of that name for reading and writing and maps
  // size bytes of it (the whole block when size <= 0). Returns 1 on success;
  // 0 when the block does not exist, is smaller than size or cannot be
  // mapped, and the view stays null.
  int AttachToMemory(const char* name, int size);

  void* GetMemory() const { return m_view; }
  size_t GetSize() const { return m_size; }

  // Closes the handle of the block; the view stays mapped.
  void Close();
  // Unmaps the view and closes the handle: the view becomes null and the
  // size 0. Safe to call again and when nothing is attached. Whoever still
  // holds a pointer into the view must not use it afterwards.
  void DetachFromMemory();

 private:
  void* m_view;
  size_t m_size;
  int m_handle;
};

#endif
