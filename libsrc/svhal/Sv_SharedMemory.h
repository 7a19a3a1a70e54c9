#ifndef SV_SHAREDMEMORY_H
#define SV_SHAREDMEMORY_H

#include <cstddef>

// A named shared-memory block written by another program. The viewer only
// attaches; it never creates a block.
//
// The other program may shrink the block or make it anew at any moment
// (a writer that restarts truncates it). Touching a mapped page beyond the
// block's end then ends the process with a bus error, so readers that must
// survive that take their bytes with Read and Write, which go through the
// block's handle and see a short block as a short count, never as a
// signal. The view stays for callers that own both sides.
class Sv_SharedMemory {
 public:
  Sv_SharedMemory();
  // Closes the handle but leaves the view mapped (see Close).
  ~Sv_SharedMemory();

  // Opens the existing block of that name and maps size bytes of it (the
  // whole block when size <= 0): for reading and writing, or for reading
  // only when the block may only be read. Returns 1 on success; 0 when the
  // block does not exist, is smaller than size or cannot be mapped, and
  // the view stays null. An earlier attachment is let go first (its view
  // is unmapped).
  int AttachToMemory(const char* name, int size);
  // The same for a reader: the block is opened and mapped read-only.
  int AttachForReading(const char* name, int size);

  void* GetMemory() const { return m_view; }
  size_t GetSize() const { return m_size; }
  // Whether the attachment may write into the block.
  bool IsWritable() const { return m_writable; }
  // The block's size at this moment (it may differ from the mapped size);
  // -1 when nothing is attached or the handle is closed.
  long long CurrentSize() const;
  // Whether the block's writer removed it since it was attached (the
  // name, if any, now names another block).
  bool WasRemoved() const;

  // Copies bytes at offset out of the block. 1 when the block still held
  // all of them; 0 when it is shorter now, nothing is attached or the
  // handle is closed (buffer may then hold part of them).
  int Read(size_t offset, void* buffer, size_t bytes) const;
  // Writes bytes at offset into the block. 1 when written; 0 when the
  // attachment is read-only, nothing is attached, or the block is shorter
  // than offset + bytes (it is never made longer).
  int Write(size_t offset, const void* data, size_t bytes);

  // Exchanges the attachments of the two objects.
  void Swap(Sv_SharedMemory& other);

  // Closes the handle of the block; the view stays mapped.
  void Close();
  // Unmaps the view and closes the handle: the view becomes null and the
  // size 0. Safe to call again and when nothing is attached. Whoever still
  // holds a pointer into the view must not use it afterwards.
  void DetachFromMemory();

 private:
  int Attach(const char* name, int size, bool writable, bool readOnlyWhenRefused);

  void* m_view;
  size_t m_size;
  int m_handle;
  bool m_writable;
};

#endif
