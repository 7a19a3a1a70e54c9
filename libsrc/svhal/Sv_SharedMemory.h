#ifndef SV_SHAREDMEMORY_H
#define SV_SHAREDMEMORY_H

#include <cstddef>

// A named shared-memory block written by another program. The viewer only
// attaches; it never creates a block.
class Sv_SharedMemory {
 public:
  Sv_SharedMemory();
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

 private:
  void* m_view;
  size_t m_size;
  int m_handle;
};

#endif
