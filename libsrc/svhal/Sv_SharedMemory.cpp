#include "Sv_SharedMemory.h"

#include <cerrno>
#include <utility>

#include "Sv_Debug.h"
#include "Sv_Platform.h"

Sv_SharedMemory::Sv_SharedMemory() : m_view(nullptr), m_size(0), m_handle(-1), m_writable(false) {}

// The view is left mapped: callers keep using it after Close and after the
// object is gone, for as long as the process runs.
Sv_SharedMemory::~Sv_SharedMemory() { Close(); }

int Sv_SharedMemory::AttachToMemory(const char* name, int size) { return Attach(name, size, true, true); }

int Sv_SharedMemory::AttachForReading(const char* name, int size) { return Attach(name, size, false, false); }

int Sv_SharedMemory::Attach(const char* name, int size, bool writable, bool readOnlyWhenRefused) {
  DetachFromMemory();
  void* view = nullptr;
  size_t viewSize = 0;
  int fd = -1;
  int r = Sv_PlatformShmAttach(name, size, writable ? 1 : 0, &view, &viewSize, &fd);
  // A block its owner published read-only can still be read.
  if (r == -1 && writable && readOnlyWhenRefused && errno == EACCES) {
    writable = false;
    r = Sv_PlatformShmAttach(name, size, 0, &view, &viewSize, &fd);
  }
  if (r == -1) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "AttachToMemory: Error starting shared server memory!\n");
    return 0;
  }
  if (r != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "AttachToMemory: Error getting shared memory view!\n");
    return 0;
  }
  m_view = view;
  m_size = viewSize;
  m_handle = fd;
  m_writable = writable;
  return 1;
}

long long Sv_SharedMemory::CurrentSize() const { return Sv_PlatformDescriptorSize(m_handle); }

bool Sv_SharedMemory::WasRemoved() const { return Sv_PlatformDescriptorUnlinked(m_handle); }

int Sv_SharedMemory::Read(size_t offset, void* buffer, size_t bytes) const {
  if (m_handle < 0 || !buffer) return 0;
  const long long got = Sv_PlatformReadAt(m_handle, buffer, bytes, static_cast<long long>(offset));
  return got >= 0 && static_cast<size_t>(got) == bytes ? 1 : 0;
}

int Sv_SharedMemory::Write(size_t offset, const void* data, size_t bytes) {
  if (m_handle < 0 || !m_writable || !data) return 0;
  // A write past the end would make the block longer.
  const long long size = CurrentSize();
  if (size < 0 || static_cast<unsigned long long>(size) < offset + bytes) return 0;
  const long long put = Sv_PlatformWriteAt(m_handle, data, bytes, static_cast<long long>(offset));
  return put >= 0 && static_cast<size_t>(put) == bytes ? 1 : 0;
}

void Sv_SharedMemory::Swap(Sv_SharedMemory& other) {
  std::swap(m_view, other.m_view);
  std::swap(m_size, other.m_size);
  std::swap(m_handle, other.m_handle);
  std::swap(m_writable, other.m_writable);
}

void Sv_SharedMemory::DetachFromMemory() {
  Sv_PlatformShmDetach(m_view, m_size);
  m_view = nullptr;
  m_size = 0;
  m_writable = false;
  Close();
}

void Sv_SharedMemory::Close() {
  Sv_PlatformCloseHandle(m_handle);
  m_handle = -1;
}
